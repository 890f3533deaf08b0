// The workspace listings who and whos, and the directory listing ls/dir.
#include "listings.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lexer.h"
#include "report.h"
#include "script_fixture.h"
#include "workspace.h"

namespace {

class ListingTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    resetConstraints();
    variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  }
  void TearDown() override {
    resetConstraints();
    ScriptFixture::TearDown();
  }

  // Runs a listing on one line with its keyword pending; returns its output.
  std::string list(int (*handler)(), const std::string& line) {
    feed(line);
    EXPECT_EQ(handler(), 0) << line;
    EXPECT_EQ(peekNonSpace(), kEol) << line;
    return output.str();
  }

  static void declare(const std::string& name, int type, const Value& value) {
    variableTable.Insert(name, VarRecord(type, value));
  }
};

const char* const kStartParameterGrid =
    "- Parameters:\n"
    "        ans  display      eps     fact max_iter   noprog rank_eps\n"
    "  Total: 7\n";

const char* const kEmptyProblem =
    "- Number of LMIs: none.\n"
    "- Number of LMEs: none.\n"
    "- Linear objective function: none.\n";

TEST_F(ListingTest, WhoAtTheStartOfARun) {
  EXPECT_EQ(list(whoStatement, "who"), std::string("\nCurrent workspace: \n") + kStartParameterGrid +
                                           "- Variables:\n"
                                           "    There are no user defined variables.\n" +
                                           kEmptyProblem + "\n");
}

TEST_F(ListingTest, WhoInTheCompactFormatHasNoFramingLines) {
  verboseFormat = 0;
  EXPECT_EQ(list(whoStatement, "who"), std::string("Current workspace: \n") + kStartParameterGrid +
                                           "- Variables:\n"
                                           "    There are no user defined variables.\n" +
                                           kEmptyProblem);
}

// Names of nine or more characters take more cells; a line that passes seven
// cells is ended with the indent of the next one already written.
TEST_F(ListingTest, WhoGridCellsAndLineBreaks) {
  const struct {
    std::vector<std::string> variables;
    const char* grid;
  } cases[] = {
      {{"x"}, "          x\n  Total: 1\n"},
      {{"abcdefghi"}, "           abcdefghi\n  Total: 1\n"},
      {{"abcdefghijklmnopq"}, "   abcdefghijklmnopq\n  Total: 1\n"},
      {{"abcdefghijklmnopqr"}, "           abcdefghijklmnopqr\n  Total: 1\n"},
      // Eight one-cell names: the eighth passes seven cells.
      {{"a", "b", "c", "d", "e", "f", "g", "h"},
       "          a        b        c        d        e        f        g        h\n"
       "    Total: 8\n"},
      // Nine names: the ninth begins the second line.
      {{"a", "b", "c", "d", "e", "f", "g", "h", "i"},
       "          a        b        c        d        e        f        g        h\n"
       "          i\n"
       "  Total: 9\n"},
      // Six cells, then a two-cell name: eight cells end the line.
      {{"a", "b", "c", "d", "e", "f", "ghijklmnop"},
       "          a        b        c        d        e        f        ghijklmnop\n"
       "    Total: 7\n"},
      // Seven cells stay on one line.
      {{"a", "b", "c", "d", "e", "fghijklmno"},
       "          a        b        c        d        e        fghijklmno\n"
       "  Total: 6\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.grid);
    variableTable.Clear();
    variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
    for (const std::string& name : c.variables) declare(name, kScl, Value(1.0));
    const std::string out = list(whoStatement, "who");
    const std::string variables = std::string("- Variables:\n") + c.grid;
    EXPECT_NE(out.find(variables + kEmptyProblem), std::string::npos) << out;
  }
}

TEST_F(ListingTest, WhoListsParametersAndVariablesInNameOrder) {
  setParameter("Zeta", Value(1.0));
  setParameter("_p", Value(1.0));
  declare("b", kScl, Value(1.0));
  declare("B", kGen, Value(2, 2, 0.0));
  declare("a_", kSym, Value(2, 2, 0.0));
  EXPECT_EQ(list(whoStatement, "who"),
            "\nCurrent workspace: \n"
            "- Parameters:\n"
            "       Zeta       _p      ans  display      eps     fact max_iter   noprog\n"
            "   rank_eps\n"
            "  Total: 9\n"
            "- Variables:\n"
            "          B       a_        b\n"
            "  Total: 3\n" +
                std::string(kEmptyProblem) + "\n");
}

TEST_F(ListingTest, ProblemSummaryCountsConstraintsAndTheObjective) {
  for (int i = 0; i < 3; ++i) {
    lmiStarts.PushBack(lmiBlocks.Count());
    lmiBlocks.PushBack(VLmiBlock(1));
  }
  lmiBlocks.PushBack(VLmiBlock(1));  // a second block of the last LMI
  lmeBlocks.PushBack(VLmiBlock(1));
  objective = VLmiBlock(2);
  const std::string summary =
      "- Number of LMIs: 3\n"
      "- Number of LMEs: 1\n"
      "- Linear objective function: defined.\n\n";
  for (int (*handler)() : {whoStatement, whosStatement}) {
    const std::string out = list(handler, handler == whoStatement ? "who" : "whos");
    ASSERT_GE(out.size(), summary.size());
    EXPECT_EQ(out.substr(out.size() - summary.size()), summary);
  }
}

TEST_F(ListingTest, WhosAtTheStartOfARun) {
  EXPECT_EQ(list(whosStatement, "whos"),
            "\nCurrent workspace: \n"
            "- Parameters:\n"
            "      rows     columns  inline  name\n"
            "         0           0  no      ans\n"
            "         1           1  no      display\n"
            "         1           1  no      eps\n"
            "         1           1  no      fact\n"
            "         1           1  no      max_iter\n"
            "         1           1  no      noprog\n"
            "         1           1  no      rank_eps\n"
            "  Total: 7\n"
            "- Variables:\n"
            "  There are no user defined variables.\n" +
                std::string(kEmptyProblem) + "\n");
}

TEST_F(ListingTest, WhosShowsSizesInlineStateTypesAndMasks) {
  verboseFormat = 0;
  setParameter("M", Value(3, 12, 0.0));
  setParameter("p", Value(2.0));
  inlineNames.PushBack("p");
  declare("P", kSym, Value(3, 3, 0.0));
  declare("D", kDiag, Value(123456, 1, 0.0));
  declare("G", kGen, Value(2, 5, 0.0));
  declare("s", kScl, Value(1.0));
  declare("E", kGen, Value());
  variableTable.Lookup("G").GetMask() = SharedArray<int>(10, 1);
  EXPECT_EQ(list(whosStatement, "whos"),
            "Current workspace: \n"
            "- Parameters:\n"
            "      rows     columns  inline  name\n"
            "         3          12  no      M\n"
            "         0           0  no      ans\n"
            "         1           1  no      display\n"
            "         1           1  no      eps\n"
            "         1           1  no      fact\n"
            "         1           1  no      max_iter\n"
            "         1           1  no      noprog\n"
            "         1           1  yes     p\n"
            "         1           1  no      rank_eps\n"
            "  Total: 9\n"
            "- Variables:\n"
            "      rows     columns  type  mask  name\n"
            "    123456           1  diag  no    D\n"
            "         0           0  gen   no    E\n"
            "         2           5  gen   yes   G\n"
            "         3           3  sym   no    P\n"
            "         1           1  scl   no    s\n"
            "  Total: 5\n" +
                std::string(kEmptyProblem));
}

TEST_F(ListingTest, ListingsChangeNothingAndLeaveTheSeparator) {
  setParameter("p", Value(2.0));
  needsRebuild = 0;
  for (const char* line : {"who; x", "whos , x"}) {
    feed(line);
    EXPECT_EQ((line[3] == 's' ? whosStatement : whoStatement)(), 0);
    const int separator = peekNonSpace();
    EXPECT_TRUE(separator == kSemicolon || separator == kComma) << line;
  }
  EXPECT_EQ(needsRebuild, 0);
  EXPECT_EQ(parameterTable.Count(), 8);
}

// ls and dir run in a directory of their own, made fresh for each test.
class DirectoryListingTest : public ListingTest {
 protected:
  void SetUp() override {
    ListingTest::SetUp();
    home = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    char pattern[] = "/tmp/varnel_ls_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    ASSERT_EQ(chdir(folder.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(fchdir(home), 0);
    close(home);
    std::system(("rm -rf '" + folder + "'").c_str());
    ListingTest::TearDown();
  }

  static void touch(const std::string& name) { std::ofstream(name).put('x'); }

  int home = -1;
  std::string folder;
};

TEST_F(DirectoryListingTest, NamesSortedInColumnsOfTheLongestNamePlusTwo) {
  // The longest name has 8 characters: 8 names per line in columns of 10.
  for (const char* name : {"zeta", "alpha", "Beta", "_under", "a1234567", "b", ".hidden", "a"}) touch(name);
  ASSERT_EQ(mkdir("sub", 0755), 0);
  const std::string expected =
      "\nCurrent directory: \n\n"
      ".         ..        .hidden   Beta      _under    a         a1234567  alpha     \n"
      "b         sub       zeta      \n"
      "\n";
  EXPECT_EQ(list(dirStatement, "ls"), expected);
  EXPECT_EQ(list(dirStatement, "dir"), expected);
}

TEST_F(DirectoryListingTest, FullLastLineEndsOnceAndCompactHasNoFraming) {
  // Two-character columns of width 4 hold 20 names a line: "." and ".."
  // and 18 more fill exactly one line.
  for (int i = 0; i < 18; ++i) touch(std::string(1, static_cast<char>('a' + i)) + "x");
  verboseFormat = 0;
  std::string line = ".   ..  ";
  for (int i = 0; i < 18; ++i) line += std::string(1, static_cast<char>('a' + i)) + "x  ";
  EXPECT_EQ(list(dirStatement, "ls"), "Current directory: \n" + line + "\n");
}

TEST_F(DirectoryListingTest, NameTooLongForTwoColumnsGetsALineOfItsOwn) {
  for (const int length : {78, 79, 120}) {
    SCOPED_TRACE(length);
    const std::string longName(length, 'n');
    touch(longName);
    const std::string pad(2, ' ');
    const std::string expected = "\nCurrent directory: \n\n" + std::string(".") + std::string(length + 1, ' ') +
                                 "\n" + ".." + std::string(length, ' ') + "\n" + longName + pad + "\n\n";
    EXPECT_EQ(list(dirStatement, "ls"), expected);
    unlink(longName.c_str());
  }
}

TEST_F(DirectoryListingTest, UnopenableDirectoryIsReportedButTheStatementSucceeds) {
  // With every file descriptor below the limit in use, opendir must fail.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  const int lowestFree = open("/dev/null", O_RDONLY);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  feed("ls");
  // Everything but opendir runs once before the limit: a sanitizer's runtime
  // needs descriptors for its first check of a call.
  peekKind(0);
  reportError("");
  output.str("");
  struct rlimit tight = old;
  tight.rlim_cur = lowestFree;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  const int status = dirStatement();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(lastMessage(), "Couldn't open the current directory.");
  EXPECT_EQ(output.str().find("Current directory"), std::string::npos);
}

}  // namespace
