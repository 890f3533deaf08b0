// The command statements: echo, format, cd, pwd, help, home, inline, and
// pause in a script.
#include "commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lexer.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

class CommandTest : public ScriptFixture {
 protected:
  // Runs a handler on one line with its keyword pending.
  int run(int (*handler)(), const std::string& line) {
    feed(line);
    return handler();
  }

  std::vector<std::string> inlineList() {
    std::vector<std::string> names;
    for (int i = 0; i < inlineNames.Count(); ++i) names.push_back(inlineNames[i]);
    return names;
  }
};

struct SwitchCase {
  const char* line;
  int before;
  int after;
  int status;
};

TEST_F(CommandTest, EchoSwitchesTheEchoOfInputLines) {
  const SwitchCase cases[] = {
      {"echo", 0, 1, 0},       {"echo on", 0, 1, 0},     {"echo off", 1, 0, 0},  {"echo  off ;", 1, 0, 0},
      {"echo on, x", 0, 1, 0}, {"echo maybe", 0, 1, 1},  {"echo off on", 1, 0, 1}, {"echo off 3", 1, 0, 1},
      {"echo compact", 0, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    echoInput = c.before;
    EXPECT_EQ(run(echoStatement, c.line), c.status);
    EXPECT_EQ(echoInput, c.after);
    EXPECT_EQ(lastMessage(), c.status ? "Expected [on], off or separator." : "");
  }
  echoInput = 0;
}

TEST_F(CommandTest, FormatChoosesCompactOrVerbose) {
  const SwitchCase cases[] = {
      {"format", 0, 1, 0},          {"format verbose", 0, 1, 0}, {"format compact", 1, 0, 0},
      {"format compact;", 1, 0, 0}, {"format off", 0, 1, 1},     {"format compact verbose", 1, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    verboseFormat = c.before;
    EXPECT_EQ(run(formatStatement, c.line), c.status);
    EXPECT_EQ(verboseFormat, c.after);
    EXPECT_EQ(lastMessage(), c.status ? "Expected compact, [verbose] or separator." : "");
  }
}

TEST_F(CommandTest, SuccessfulSwitchesLeaveTheSeparatorPending) {
  EXPECT_EQ(run(formatStatement, "format compact ; x = 1"), 0);
  EXPECT_EQ(peekKind(0), kSemicolon);
  EXPECT_EQ(run(echoStatement, "echo off, x = 1"), 0);
  EXPECT_EQ(peekKind(0), kComma);
}

TEST_F(CommandTest, HelpAlwaysFails) {
  for (const char* line : {"help", "help  clear", "help;"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(helpStatement, line), 1);
    EXPECT_EQ(lastMessage(), "Online help is not available yet. Coming soon.");
  }
}

TEST_F(CommandTest, HomeWritesAFormFeed) {
  EXPECT_EQ(run(homeStatement, "home"), 0);
  EXPECT_EQ(output.str(), "\f");
  EXPECT_EQ(peekKind(0), kEol);
}

TEST_F(CommandTest, PauseInAScriptDoesNothing) {
  input.str("pause\nx = 1\n");
  input.clear();
  lineNumber = 0;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(pauseStatement(), 0);
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(peekKind(0), kEol);
  // The next line has not been touched.
  std::string rest;
  std::getline(input, rest);
  EXPECT_EQ(rest, "x = 1");
}

TEST_F(CommandTest, InlineAddsScalarParametersOnce) {
  setParameter("p", Value(1.0));
  setParameter("q", Value(2.0));
  EXPECT_EQ(run(inlineStatement, "inline p q"), 0) << output.str();
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(run(inlineStatement, "inline on q  p"), 0) << output.str();
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"p", "q"}));
}

TEST_F(CommandTest, InlineOffTakesParametersOff) {
  setParameter("p", Value(1.0));
  setParameter("q", Value(2.0));
  setParameter("r", Value(3.0));
  inlineNames.PushBack("p");
  inlineNames.PushBack("q");
  EXPECT_EQ(run(inlineStatement, "inline off p r"), 0) << output.str();
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"q"}));
}

TEST_F(CommandTest, InlineRefusesAMatrixAndKeepsWhatWentBefore) {
  setParameter("p", Value(1.0));
  setParameter("M", matrixValue(1, 2, {1, 2}));
  setParameter("q", Value(2.0));
  EXPECT_EQ(run(inlineStatement, "inline p M q"), 1);
  EXPECT_EQ(lastMessage(), "Parameter \"M\" is not a scalar.");
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"p"}));
  // Taking a matrix off the list needs no scalar.
  inlineNames.PushBack("M");
  EXPECT_EQ(run(inlineStatement, "inline off M"), 0);
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"p"}));
}

TEST_F(CommandTest, InlineWithoutParameterFails) {
  setParameter("p", Value(1.0));
  variableTable.Insert("X", VarRecord(kScl, Value(1.0)));
  for (const char* line : {"inline", "inline on", "inline off", "inline x", "inline X", "inline on off p", "inline 3"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(inlineStatement, line), 1);
    EXPECT_EQ(lastMessage(), "Expected [on|off] parameter.");
  }
  EXPECT_EQ(inlineNames.Count(), 0);
}

TEST_F(CommandTest, InlineStopsAtTheFirstNameThatIsNoParameter) {
  setParameter("p", Value(1.0));
  setParameter("q", Value(1.0));
  EXPECT_EQ(run(inlineStatement, "inline p x q"), 0);
  EXPECT_EQ(inlineList(), (std::vector<std::string>{"p"}));
  EXPECT_EQ(peekNonSpace(), kName);
}

TEST_F(CommandTest, InlineChangesNoValueAndNoBuildState) {
  setParameter("p", Value(1.5));
  needsRebuild = 0;
  EXPECT_EQ(run(inlineStatement, "inline p"), 0);
  EXPECT_EQ(needsRebuild, 0);
  EXPECT_EQ(*parameterTable.Lookup("p").Scalar(), 1.5);
}

// cd and pwd run in a directory tree of their own; the test's working
// directory is restored afterwards.
class DirectoryCommandTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    home = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    char pattern[] = "/tmp/varnel_cd_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(chdir(pattern), 0);
    root = workingDirectory();
    ASSERT_EQ(mkdir("sub", 0755), 0);
    ASSERT_EQ(mkdir("sub/inner", 0755), 0);
    ASSERT_EQ(mkdir("with blank", 0755), 0);
  }
  void TearDown() override {
    EXPECT_EQ(fchdir(home), 0);
    close(home);
    std::system(("rm -rf '" + root + "'").c_str());
    CommandTest::TearDown();
  }

  static std::string workingDirectory() {
    char buffer[8192];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
  }

  int home = -1;
  std::string root;
};

TEST_F(DirectoryCommandTest, CdTakesOneNameToken) {
  const struct {
    const char* line;
    const char* directory;
  } cases[] = {
      {"cd sub", "/sub"},
      {"cd ..", ""},
      {"cd \"sub/inner\"", "/sub/inner"},
      {"cd \"../..\"", ""},
      {"cd   \"with blank\"", "/with blank"},
      {"cd \"..\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run(cdStatement, c.line), 0) << output.str();
    EXPECT_EQ(output.str(), "");
    EXPECT_EQ(workingDirectory(), root + c.directory);
    EXPECT_EQ(peekKind(0), kEol);
  }
}

TEST_F(DirectoryCommandTest, CdWithoutAPlainNameFails) {
  setParameter("p", Value(1.0));
  variableTable.Insert("sub", VarRecord(kScl, Value(1.0)));
  for (const char* line : {"cd", "cd /", "cd p", "cd sub", "cd 3", "cd clear", "cd ;"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(cdStatement, line), 1);
    EXPECT_EQ(lastMessage(), "Expected file name.");
    EXPECT_EQ(workingDirectory(), root);
  }
}

TEST_F(DirectoryCommandTest, CdToAMissingDirectoryFails) {
  EXPECT_EQ(run(cdStatement, "cd \"sub/none\""), 1);
  EXPECT_EQ(lastMessage(), "Unable to change to directory \"sub/none\".");
  EXPECT_EQ(workingDirectory(), root);
}

TEST_F(DirectoryCommandTest, PwdShowsThePath) {
  EXPECT_EQ(run(pwdStatement, "pwd"), 0);
  EXPECT_EQ(output.str(), "\nCurrent path: \n\n" + root + "\n\n");
  verboseFormat = 0;
  EXPECT_EQ(run(pwdStatement, "pwd"), 0);
  EXPECT_EQ(output.str(), "Current path: \n" + root + "\n");
}

TEST_F(DirectoryCommandTest, PwdShowsPathsLongerThanItsFirstBuffers) {
  // Far beyond 100 and 200 bytes, so the buffer has to grow several times.
  std::string path = root;
  const std::string part(60, 'd');
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(mkdir(part.c_str(), 0755), 0);
    ASSERT_EQ(chdir(part.c_str()), 0);
    path += "/" + part;
  }
  ASSERT_GT(path.size(), 500u);
  EXPECT_EQ(run(pwdStatement, "pwd"), 0);
  EXPECT_EQ(output.str(), "\nCurrent path: \n\n" + path + "\n\n");
}

TEST_F(DirectoryCommandTest, PwdInARemovedDirectoryIsReported) {
  ASSERT_EQ(chdir("sub/inner"), 0);
  ASSERT_EQ(rmdir((root + "/sub/inner").c_str()), 0);
  EXPECT_EQ(run(pwdStatement, "pwd"), 1);
  EXPECT_EQ(lastMessage(), "Couldn't read the current path.");
  EXPECT_EQ(output.str().find("Current path"), std::string::npos);
}

}  // namespace
