#include "report.h"

#include <gtest/gtest.h>

#include <string>

#include "script_fixture.h"
#include "workspace.h"

namespace {

const char kMessage[] = "Expected separator: colon, semicolon or end of line.";

// Sets the globals the reports read, in prompt mode; the output is captured.
class ReportTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    modeFlags = kModePrompt;
    columnNumber = 7;
    statementText = "x = 1 2";
    inputFileName = "demo.lmi";
    execFileName = "sub dir/inner.lmi";
  }

  std::string error(const std::string& message, int blankFirst = 0) {
    output.str("");
    reportError(message, blankFirst);
    return output.str();
  }
  std::string warning(const std::string& message) {
    output.str("");
    reportWarning(message);
    return output.str();
  }
};

TEST_F(ReportTest, PromptExample) {
  EXPECT_EQ(error(kMessage),
            "#> Error at:\n"
            "x = 1 2\n"
            "------^\n"
            "#> Expected separator: colon, semicolon or end of line.\n");
}

struct HeaderCase {
  int modeFlags;
  int lineNumber;
  const char* header;
};

TEST_F(ReportTest, HeaderFollowsTheMode) {
  const HeaderCase cases[] = {
      {kModePrompt, 9, "#> Error at:\n"},
      {kModePrompt | kModeExec, 12, "#> Error executing file \"sub dir/inner.lmi\" (line 12) at:\n"},
      {kModeScript, 3, "#> Error in \"demo.lmi\" (line 3) at:\n"},
      {kModeScript | kModeExec, 105, "#> Error in \"demo.lmi\", executing file \"sub dir/inner.lmi\" (line 105) at:\n"},
  };
  for (const HeaderCase& c : cases) {
    modeFlags = c.modeFlags;
    lineNumber = c.lineNumber;
    EXPECT_EQ(error("Oops."), std::string(c.header) + "x = 1 2\n------^\n#> Oops.\n") << "mode " << c.modeFlags;
  }
}

struct CaretCase {
  int column;
  const char* caretLine;
};

TEST_F(ReportTest, CaretStandsUnderTheLastScannedCharacter) {
  const CaretCase cases[] = {{0, "^"}, {1, "^"}, {2, "-^"}, {7, "------^"}};
  for (const CaretCase& c : cases) {
    columnNumber = c.column;
    EXPECT_EQ(error("m"), std::string("#> Error at:\nx = 1 2\n") + c.caretLine + "\n#> m\n") << "column " << c.column;
  }
}

TEST_F(ReportTest, EchoOfSeveralLinesWithCaretOnTheLast) {
  statementText = "x = [1 2 ...\n3 4";
  columnNumber = 3;
  EXPECT_EQ(error("m"), "#> Error at:\nx = [1 2 ...\n3 4\n--^\n#> m\n");
}

TEST_F(ReportTest, BlankFirstWritesAnEmptyLineBeforeTheReport) {
  EXPECT_EQ(error("m", 1), "\n#> Error at:\nx = 1 2\n------^\n#> m\n");
  modeFlags = kModeScript;
  lineNumber = 4;
  EXPECT_EQ(error("m", 1), "\n#> Error in \"demo.lmi\" (line 4) at:\nx = 1 2\n------^\n#> m\n");
}

TEST_F(ReportTest, ReportsLookTheSameInBothFormats) {
  const std::string verboseError = error(kMessage);
  const std::string verboseWarning = warning("w");
  verboseFormat = 0;
  EXPECT_EQ(error(kMessage), verboseError);
  EXPECT_EQ(warning("w"), verboseWarning);
}

TEST_F(ReportTest, ReportsChangeNoGlobals) {
  modeFlags = kModeScript | kModeExec;
  lineNumber = 8;
  error("m", 1);
  warning("w");
  EXPECT_EQ(modeFlags, kModeScript | kModeExec);
  EXPECT_EQ(lineNumber, 8);
  EXPECT_EQ(columnNumber, 7);
  EXPECT_EQ(statementText, "x = 1 2");
  EXPECT_EQ(inputFileName, "demo.lmi");
  EXPECT_EQ(execFileName, "sub dir/inner.lmi");
}

struct WarningCase {
  int modeFlags;
  const char* text;
};

TEST_F(ReportTest, WarningNamesTheLineOnlyOutsideThePrompt) {
  lineNumber = 4;
  const WarningCase cases[] = {
      {kModePrompt, "<> Warning: Matrix is singular.\n"},
      {kModePrompt | kModeExec, "<> Warning: Matrix is singular.\n"},
      {kModeScript, "#> Warning at line 4: Matrix is singular.\n"},
      {kModeScript | kModeExec, "#> Warning at line 4: Matrix is singular.\n"},
  };
  for (const WarningCase& c : cases) {
    modeFlags = c.modeFlags;
    EXPECT_EQ(warning("Matrix is singular."), c.text) << "mode " << c.modeFlags;
  }
}

TEST_F(ReportTest, NewlineUnlessCompact) {
  newlineUnlessCompact();
  EXPECT_EQ(output.str(), "\n");
  output.str("");
  verboseFormat = 0;
  newlineUnlessCompact();
  EXPECT_EQ(output.str(), "");
}

}  // namespace
