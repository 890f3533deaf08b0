// exec over script files in a scratch directory: where the file is looked
// for, the nested statement loop with its error headers, and the caller's
// input (tokens, line, echo, line count, mode) as it was afterwards.
#include "exec.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "control_flow.h"
#include "lexer.h"
#include "script_fixture.h"
#include "statements.h"
#include "workspace.h"

namespace {

// The number of open file descriptors of this process.
int openDescriptors() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (readdir(fds) != nullptr) ++count;
  closedir(fds);
  return count;
}

// Runs in a fresh scratch directory holding an example directory "ex/"
// that searchPath names; the working directory is restored afterwards.
class ExecTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    char pattern[] = "/tmp/varnel-exec-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = pattern;
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previousDirectory = here;
    ASSERT_EQ(chdir(scratch.c_str()), 0);
    ASSERT_EQ(mkdir("ex", 0755), 0);
    searchPath.assign(1, "ex/");
    execFileName.clear();
  }

  void TearDown() override {
    EXPECT_EQ(chdir(previousDirectory.c_str()), 0);
    const std::string removal = "rm -rf '" + scratch + "'";
    EXPECT_EQ(std::system(removal.c_str()), 0);
    searchPath.clear();
    execFileName.clear();
    ScriptFixture::TearDown();
  }

  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }

  // Runs script through the statement loop of a run in the given mode.
  int run(const std::string& script, int mode = kModeScript) {
    modeFlags = mode;
    return runLines(script);
  }

  std::string scratch;
  std::string previousDirectory;
};

TEST_F(ExecTest, SearchesNameThenSuffixThenTheExampleDirectory) {
  // Each candidate that exists says which it is; the first one that opens
  // as a file runs.
  const struct {
    bool plain, suffixed, examplePlain, exampleSuffixed;
    double runs;
  } cases[] = {
      {true, true, true, true, 1},   {false, true, true, true, 2}, {false, false, true, true, 3},
      {false, false, false, true, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.runs);
    std::remove("demo");
    std::remove("demo.lmi");
    std::remove("ex/demo");
    std::remove("ex/demo.lmi");
    if (c.plain) write("demo", "which = 1;\n");
    if (c.suffixed) write("demo.lmi", "which = 2;\n");
    if (c.examplePlain) write("ex/demo", "which = 3;\n");
    if (c.exampleSuffixed) write("ex/demo.lmi", "which = 4;\n");
    EXPECT_EQ(run("exec demo\n"), 0);
    EXPECT_EQ(scalar("which"), c.runs);
  }
}

TEST_F(ExecTest, DirectoriesAreNotScripts) {
  ASSERT_EQ(mkdir("demo", 0755), 0);
  ASSERT_EQ(mkdir("ex/demo.lmi", 0755), 0);
  write("ex/demo", "which = 3;\n");
  EXPECT_EQ(run("exec demo\n"), 0);
  EXPECT_EQ(scalar("which"), 3.0);

  EXPECT_EQ(run("exec \"ex/demo.lmi\"\n"), 1);
  EXPECT_EQ(lastMessage(), "Can't open file \"ex/demo.lmi\".");
}

TEST_F(ExecTest, QuotedPathsAreFileNames) {
  ASSERT_EQ(mkdir("sub", 0755), 0);
  write("sub/inner.lmi", "which = 5;\n");
  EXPECT_EQ(run("exec \"sub/inner.lmi\"\n"), 0);
  EXPECT_EQ(scalar("which"), 5.0);
}

// A name that stands for a parameter or a variable is no file name, quoted
// or not: the lexer classifies a quoted text like an identifier.
TEST_F(ExecTest, NamesOfParametersAndVariablesAreNoFileNames) {
  write("demo.lmi", "which = 6;\n");
  variableTable.Insert("V", VarRecord(kScl, Value(0.0)));
  for (const char* script : {"demo = 1; exec demo\n", "demo = 1; exec \"demo\"\n", "exec V\n", "exec ans\n"}) {
    SCOPED_TRACE(script);
    parameterTable.Remove("demo");
    EXPECT_EQ(run(script), 1);
    EXPECT_EQ(lastMessage(), "Expected file name.");
    EXPECT_FALSE(has("which"));
  }
}

TEST_F(ExecTest, RefusedNames) {
  const struct {
    const char* script;
    std::string report;
  } cases[] = {
      {"exec 3\n", "#> Error in \"t.lmi\" (line 1) at:\nexec 3\n-----^\n#> Expected file name.\n"},
      {"exec\n", "#> Error in \"t.lmi\" (line 1) at:\nexec\n---^\n#> Expected file name.\n"},
      {"exec nothere; x = 1\n",
       "#> Error in \"t.lmi\" (line 1) at:\nexec nothere\n-----------^\n#> Can't open file \"nothere\".\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(run(c.script), 1);
    EXPECT_EQ(output.str(), c.report);
    EXPECT_FALSE(has("x"));
  }
}

TEST_F(ExecTest, ErrorInTheFileNamesItAndItsLineAndStopsBothRuns) {
  write("ex/bad.lmi", "a = 1;\n\nb = );\nc = 3;\n");
  EXPECT_EQ(run("before = 1;\nexec bad\nafter = 1;\n"), 1);
  EXPECT_EQ(output.str(),
            "#> Error in \"t.lmi\", executing file \"ex/bad.lmi\" (line 3) at:\nb = )\n----^\n"
            "#> ')' is not a primary.\n");
  EXPECT_EQ(scalar("a"), 1.0);
  EXPECT_FALSE(has("c"));
  EXPECT_FALSE(has("after"));
  EXPECT_EQ(lineNumber, 2);
  EXPECT_EQ(modeFlags, kModeScript);
  EXPECT_EQ(execFileName, "");
}

TEST_F(ExecTest, AtThePromptTheHeaderNamesOnlyTheFile) {
  write("bad.lmi", "b = );\n");
  EXPECT_EQ(run("exec bad\n", kModePrompt | kModeExec), 1);
  EXPECT_EQ(output.str(), "#> Error executing file \"bad.lmi\" (line 1) at:\nb = )\n----^\n#> ')' is not a primary.\n");
}

TEST_F(ExecTest, TheCallersLineGoesOnAfterTheFile) {
  write("inner.lmi", "a = 5;\nb = a + 1;\n");
  EXPECT_EQ(run("exec inner; c = b * 2, d = 1\ne = 2;\n"), 0);
  EXPECT_EQ(scalar("c"), 12.0);
  EXPECT_EQ(scalar("e"), 2.0);
  EXPECT_NE(output.str().find("c = "), std::string::npos);
}

TEST_F(ExecTest, AnErrorAfterExecOnTheLineShowsTheCallersEchoAndLine) {
  write("inner.lmi", "a = 5;\nb = 6;\nc = 7;\n");
  EXPECT_EQ(run("x = 1;\nexec inner; y = )\n"), 1);
  EXPECT_EQ(output.str(), "#> Error in \"t.lmi\" (line 2) at:\nexec inner; y = )\n----------------^\n"
                          "#> ')' is not a primary.\n");
}

TEST_F(ExecTest, QuitEndsOnlyTheFileAndItsLineNeverReachesTheCaller) {
  write("q.lmi", "x = 1;\nquit; y = 6\nz = 6\n");
  EXPECT_EQ(run("exec q\nw = 2;\n"), 0);
  EXPECT_EQ(run("exec q, w = 3;\n"), 0);
  EXPECT_EQ(scalar("x"), 1.0);
  EXPECT_EQ(scalar("w"), 3.0);
  EXPECT_FALSE(has("y"));
  EXPECT_FALSE(has("z"));
}

TEST_F(ExecTest, NestedFilesEachRestoreTheirCaller) {
  write("outer.lmi", "o1 = 1;\nexec inner, o2 = i2 + 1\n");
  write("inner.lmi", "i1 = 1;\n\ni2 = 2;\n");
  write("failing.lmi", "f1 = 1;\nexec deep\nf2 = 1;\n");
  write("deep.lmi", "d = );\n");
  EXPECT_EQ(run("exec outer\nz = 1;\n"), 0);
  EXPECT_EQ(scalar("o2"), 3.0);
  EXPECT_EQ(scalar("z"), 1.0);
  EXPECT_EQ(lineNumber, 3);

  EXPECT_EQ(run("exec failing\n"), 1);
  EXPECT_EQ(output.str(), "#> Error in \"t.lmi\", executing file \"deep.lmi\" (line 1) at:\nd = )\n----^\n"
                          "#> ')' is not a primary.\n");
  EXPECT_FALSE(has("f2"));
}

TEST_F(ExecTest, FileThatExecutesItselfIsRefusedOnceTheNestingIsDeep) {
  write("self.lmi", "depth = depth + 1;\nexec self\n");
  EXPECT_EQ(run("depth = 0;\nexec self\nafter = 1;\n"), 1);
  EXPECT_EQ(lastMessage(), "Too many nested statements.");
  EXPECT_EQ(scalar("depth"), 1000.0);
  EXPECT_FALSE(has("after"));
  EXPECT_EQ(modeFlags, kModeScript);
  EXPECT_EQ(lineNumber, 2);

  // The depth is counted again from the top after the failure.
  write("once.lmi", "ran = 1;\n");
  EXPECT_EQ(run("exec once\n"), 0);
  EXPECT_EQ(scalar("ran"), 1.0);
}

// Files and the constructs inside them share one nesting limit: a file that
// nests constructs and executes itself stops cleanly, long before the
// thousandth file.
TEST_F(ExecTest, FilesAndConstructsShareTheNestingLimit) {
  write("deep.lmi", "depth = depth + 1;\nif 1; if 1; if 1; if 1; exec deep; end; end; end; end\n");
  EXPECT_EQ(run("depth = 0;\nexec deep\nafter = 1;\n"), 1);
  EXPECT_EQ(scalar("depth"), kMaxNestingDepth / 5.0);
  EXPECT_FALSE(has("after"));
  EXPECT_EQ(lastMessage(), "Too many nested statements.");
  EXPECT_EQ(modeFlags, kModeScript);
}

TEST_F(ExecTest, InsideALoopBodyTheFileRunsOnEveryPass) {
  write("inc.lmi", "n = n + i;\n");
  EXPECT_EQ(run("n = 0; for i = 1:3; exec inc; end; m = n\n"), 0);
  EXPECT_EQ(scalar("n"), 6.0);
  EXPECT_EQ(scalar("m"), 6.0);
}

TEST_F(ExecTest, BreakAndElseDoNotCrossTheFile) {
  write("brk.lmi", "break\n");
  EXPECT_EQ(run("for i = 1:3; exec brk; end\n"), 1);
  EXPECT_EQ(lastMessage(), "'break' found outside of a loop.");
}

TEST_F(ExecTest, FileIsClosedOnEveryPath) {
  write("ok.lmi", "x = 1;\n");
  write("bad.lmi", "x = );\n");
  write("q.lmi", "quit\n");
  const int before = openDescriptors();
  ASSERT_GT(before, 0);
  for (const char* script : {"exec ok\n", "exec bad\n", "exec q\n", "exec nothere\n"}) {
    SCOPED_TRACE(script);
    run(script);
    EXPECT_EQ(openDescriptors(), before);
  }
}

// With the host's confinement, file names of cd, exec, import and export
// reach only entries of the working directory.
TEST_F(ExecTest, ConfinedFileNamesStayInTheWorkingDirectory) {
  runLimits.confineFiles = 1;
  ASSERT_EQ(mkdir("sub", 0755), 0);
  write("sub/inner.lmi", "which = 5;\n");
  for (const char* line : {"cd \"..\"", "cd \"/\"", "cd \"sub/..\"", "exec \"sub/inner\"", "import \"../x\"",
                           "export \"sub/out\"", "export \"/tmp/out\""}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(std::string(line) + "\n"), 1);
    const std::string name = std::string(line).substr(std::string(line).find('"'));
    EXPECT_EQ(lastMessage(), "File " + name + " is outside the working directory.");
  }
  struct stat info;
  EXPECT_NE(stat("sub/out.mat", &info), 0);
  EXPECT_NE(stat("sub/out", &info), 0);

  // The entries of the working directory stay in reach.
  EXPECT_EQ(run("x = 3; export out; clear x; import out\n"), 0);
  EXPECT_EQ(scalar("x"), 3.0);
  write("inner.lmi", "which = 6;\n");
  EXPECT_EQ(run("exec inner\n"), 0);
  EXPECT_EQ(scalar("which"), 6.0);
  EXPECT_EQ(run("cd sub\n"), 0);
  EXPECT_EQ(run("exec inner\n"), 0);
  EXPECT_EQ(scalar("which"), 5.0);
  EXPECT_EQ(chdir(scratch.c_str()), 0);
}

}  // namespace
