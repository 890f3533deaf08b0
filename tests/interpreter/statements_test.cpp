// The statement loop over a script held in memory: dispatch of the first
// token, separators, the stop-on-error rule of each mode and the seeding of
// the workspace by a run.
#include "statements.h"

#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "lexer.h"
#include "workspace.h"

namespace {

class StatementLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::cout.rdbuf(output_.rdbuf());
    modeFlags = kModeScript;
    inputFileName = "t.lmi";
  }

  void TearDown() override {
    std::cout.rdbuf(saved_);
    ResetWorkspace();
    modeFlags = 0;
    inputFileName.clear();
    inputStream = &std::cin;
  }

  // Runs a whole session over script from a fresh workspace and an empty
  // output; returns its status.
  int Run(const std::string& script) {
    ResetWorkspace();
    output_.str("");
    input_.str(script);
    input_.clear();
    inputStream = &input_;
    return runSession();
  }

  std::string Output() const { return output_.str(); }

  static void ResetWorkspace() {
    variableTable.Clear();
    parameterTable.Clear();
    discardTokenQueue();
    statementText.clear();
    lineNumber = 0;
    columnNumber = 0;
  }

  std::istringstream input_;
  std::ostringstream output_;
  std::streambuf* saved_ = nullptr;
};

// The report of an error on line 1 of t.lmi whose echo is the whole line.
std::string FirstLineError(const std::string& line, const std::string& message) {
  const std::string caret = std::string(line.size() - 1, '-') + "^";
  return "#> Error in \"t.lmi\" (line 1) at:\n" + line + "\n" + caret + "\n#> " + message + "\n";
}

TEST_F(StatementLoopTest, TokensThatBeginNoStatementAreReportedByTheirKindName) {
  const struct {
    const char* line;
    const char* name;
  } cases[] = {
      {")", ")"},    {"]", "]"},         {",", ","},         {";", ";"},          {":", ":"},
      {"'", "'"},    {"*", "*"},         {"\\", "\\"},       {"/", "/"},          {"^", "^"},
      {"|", "|"},    {"&", "&"},         {"=", "="},         {"==", "=="},        {"~=", "~="},
      {"<", "<"},    {"<=", "<="},       {">", ">"},         {">=", ">="},        {"compact", "compact"},
      {"verbose", "verbose"}, {"on", "on"}, {"off", "off"}, {"block", "block"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Run(std::string(c.line) + "\n"), 1);
    EXPECT_EQ(Output(), FirstLineError(c.line, std::string("'") + c.name + "' is not a statement."));
  }
}

TEST_F(StatementLoopTest, CharacterThatBeginsNoTokenIsNotAValidToken) {
  for (const char* line : {"$", "!", "#", "?", "{", "_"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(std::string(line) + " 1\n"), 1);
    EXPECT_EQ(Output(), FirstLineError(line, std::string("'") + line + "' is not a valid token."));
  }
}

TEST_F(StatementLoopTest, BlankCommentAndEmptyLinesRunNothing) {
  EXPECT_EQ(Run("\n   \n\t\n% comment\n// comment\n/* a\n comment */\n"), 0);
  EXPECT_EQ(Output(), "");
}

TEST_F(StatementLoopTest, SemicolonSilencesAndTheStatementsAfterASeparatorRun) {
  EXPECT_EQ(Run("a = 1; b = 2, c = 3;\nb\n"), 0);
  EXPECT_EQ(Output(), "\nb = \n\n     2.0000\n\n\nb = \n\n     2.0000\n\n");
  EXPECT_TRUE(parameterTable.Lookup("c").IsScalar());
}

TEST_F(StatementLoopTest, UnnamedValueGoesToAnsAndANamedOneLeavesIt) {
  EXPECT_EQ(Run("7;\nx = 5;\nx;\n(x);\n"), 0);
  ASSERT_TRUE(parameterTable.Lookup(kAnsName).IsScalar());
  EXPECT_EQ(*parameterTable.Lookup(kAnsName).Scalar(), 7.0);
  EXPECT_EQ(Output(), "");
}

TEST_F(StatementLoopTest, MissingSeparatorFailsAfterTheStatementTookEffect) {
  EXPECT_EQ(Run("x = 4 5\nx = 6\n"), 1);
  EXPECT_EQ(Output(), "\nx = \n\n     4.0000\n\n" +
                          FirstLineError("x = 4 5", "Expected separator: colon, semicolon or end of line."));
  EXPECT_EQ(*parameterTable.Lookup("x").Scalar(), 4.0);
}

TEST_F(StatementLoopTest, EndAndQuitStopTheRunWhereAStatementMayBegin) {
  for (const char* script : {"x = 1; quit\nx = 2\n", "x = 1, end\nx = 2\n", "x = 1;\nquit\nx = 2\n"}) {
    SCOPED_TRACE(script);
    EXPECT_EQ(Run(script), 0);
    EXPECT_EQ(*parameterTable.Lookup("x").Scalar(), 1.0);
  }
}

TEST_F(StatementLoopTest, InsideExecTheFirstFailureEndsTheLoopAlsoAtThePrompt) {
  modeFlags = kModePrompt | kModeExec;
  execFileName = "inner.lmi";
  EXPECT_EQ(Run("a = 1;\n);\na = 2;\n"), 1);
  EXPECT_EQ(*parameterTable.Lookup("a").Scalar(), 1.0);
  EXPECT_EQ(Output(), "#> Error executing file \"inner.lmi\" (line 2) at:\n)\n^\n#> ')' is not a statement.\n");
  execFileName.clear();
}

TEST_F(StatementLoopTest, FailedInputStreamCountsAsAFailedRun) {
  input_.str("x = 1;\n");
  input_.setstate(std::ios::badbit);
  inputStream = &input_;
  EXPECT_EQ(runSession(), 1);
  EXPECT_FALSE(parameterTable.Lookup("x").IsScalar());
}

TEST_F(StatementLoopTest, RunSeedsTheHiddenVariableAndTheReservedParameters) {
  solverSettings.max_iter = 50;
  EXPECT_EQ(Run(""), 0);
  solverSettings = SolverSettings();
  ASSERT_EQ(variableTable.Count(), 1);
  const VarRecord& affine = variableTable.Lookup(kAffineVariableName);
  EXPECT_EQ(affine.GetType(), kScl);
  ASSERT_TRUE(affine.GetValue().IsScalar());
  EXPECT_EQ(*affine.GetValue().Scalar(), 0.0);
  EXPECT_EQ(affine.GetMask().Size(), 0);

  ASSERT_EQ(parameterTable.Count(), 7);
  EXPECT_EQ(*parameterTable.Lookup("eps").Scalar(), 1e-4);
  EXPECT_EQ(*parameterTable.Lookup("rank_eps").Scalar(), 1e-10);
  EXPECT_EQ(*parameterTable.Lookup("max_iter").Scalar(), 50.0);
  EXPECT_EQ(*parameterTable.Lookup("noprog").Scalar(), 10.0);
  EXPECT_EQ(*parameterTable.Lookup("display").Scalar(), 1.0);
  EXPECT_EQ(*parameterTable.Lookup("fact").Scalar(), 1.0);
  EXPECT_TRUE(parameterTable.Lookup(kAnsName).IsEmpty());
}

}  // namespace
