// The statement loop over a script held in memory: dispatch of the first
// token, separators, the stop-on-error rule of each mode and the seeding of
// the workspace by a run.
#include "statements.h"

#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "lexer.h"
#include "script_fixture.h"
#include "workspace.h"

namespace {

using StatementLoopTest = ScriptFixture;

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
    EXPECT_EQ(runScript(std::string(c.line) + "\n"), 1);
    EXPECT_EQ(output.str(), FirstLineError(c.line, std::string("'") + c.name + "' is not a statement."));
  }
}

TEST_F(StatementLoopTest, CharacterThatBeginsNoTokenIsNotAValidToken) {
  for (const char* line : {"$", "!", "#", "?", "{", "_"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(runScript(std::string(line) + " 1\n"), 1);
    EXPECT_EQ(output.str(), FirstLineError(line, std::string("'") + line + "' is not a valid token."));
  }
}

TEST_F(StatementLoopTest, BlankCommentAndEmptyLinesRunNothing) {
  EXPECT_EQ(runScript("\n   \n\t\n% comment\n// comment\n/* a\n comment */\n"), 0);
  EXPECT_EQ(output.str(), "");
}

TEST_F(StatementLoopTest, SemicolonSilencesAndTheStatementsAfterASeparatorRun) {
  EXPECT_EQ(runScript("a = 1; b = 2, c = 3;\nb\n"), 0);
  EXPECT_EQ(output.str(), "\nb = \n\n     2.0000\n\n\nb = \n\n     2.0000\n\n");
  EXPECT_TRUE(parameterTable.Lookup("c").IsScalar());
}

TEST_F(StatementLoopTest, UnnamedValueGoesToAnsAndANamedOneLeavesIt) {
  EXPECT_EQ(runScript("7;\nx = 5;\nx;\n(x);\n"), 0);
  ASSERT_TRUE(parameterTable.Lookup(kAnsName).IsScalar());
  EXPECT_EQ(*parameterTable.Lookup(kAnsName).Scalar(), 7.0);
  EXPECT_EQ(output.str(), "");
}

TEST_F(StatementLoopTest, MissingSeparatorFailsAfterTheStatementTookEffect) {
  EXPECT_EQ(runScript("x = 4 5\nx = 6\n"), 1);
  EXPECT_EQ(output.str(), "\nx = \n\n     4.0000\n\n" +
                          FirstLineError("x = 4 5", "Expected separator: colon, semicolon or end of line."));
  EXPECT_EQ(*parameterTable.Lookup("x").Scalar(), 4.0);
}

TEST_F(StatementLoopTest, EndAndQuitStopTheRunWhereAStatementMayBegin) {
  for (const char* script : {"x = 1; quit\nx = 2\n", "x = 1, end\nx = 2\n", "x = 1;\nquit\nx = 2\n"}) {
    SCOPED_TRACE(script);
    EXPECT_EQ(runScript(script), 0);
    EXPECT_EQ(*parameterTable.Lookup("x").Scalar(), 1.0);
  }
}

TEST_F(StatementLoopTest, InsideExecTheFirstFailureEndsTheLoopAlsoAtThePrompt) {
  modeFlags = kModePrompt | kModeExec;
  execFileName = "inner.lmi";
  EXPECT_EQ(runScript("a = 1;\n);\na = 2;\n"), 1);
  EXPECT_EQ(*parameterTable.Lookup("a").Scalar(), 1.0);
  EXPECT_EQ(output.str(), "#> Error executing file \"inner.lmi\" (line 2) at:\n)\n^\n#> ')' is not a statement.\n");
}

TEST_F(StatementLoopTest, FailedInputStreamCountsAsAFailedRun) {
  setInput("x = 1;\n");
  input.setstate(std::ios::badbit);
  EXPECT_EQ(runSession(), 1);
  EXPECT_FALSE(parameterTable.Lookup("x").IsScalar());
}

TEST_F(StatementLoopTest, RunSeedsTheHiddenVariableAndTheReservedParameters) {
  solverSettings.max_iter = 50;
  EXPECT_EQ(runScript(""), 0);
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

// A script run as the program runs the file named on its command line: the
// name as given frames the output and heads the error reports, and the end
// message tells whether the last statement failed.
TEST_F(StatementLoopTest, ScriptRunFramesItsOutputWithTheScriptName) {
  const struct {
    const char* text;
    int status;
    const char* ending;
  } cases[] = {
      {"x = 1;\n", 0, "\nFile \"demo\" succesfully processed.\n"},
      {"x = 1;\ny = )\nz = 3;\n", 1, "\nFile \"demo\" presents errors.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ::resetWorkspace();
    output.str("");
    std::istringstream script(c.text);
    EXPECT_EQ(::runScript(script, "demo"), c.status);
    const std::string out = output.str();
    const std::string opening = "Input file: \"demo\"\n\n";
    EXPECT_EQ(out.substr(0, opening.size()), opening);
    ASSERT_GE(out.size(), std::string(c.ending).size());
    EXPECT_EQ(out.substr(out.size() - std::string(c.ending).size()), c.ending);
    if (c.status != 0) {
      EXPECT_NE(out.find("#> Error in \"demo\" (line 2) at:\n"), std::string::npos) << out;
    }
    EXPECT_EQ(scalar("x"), 1.0);
    EXPECT_FALSE(has("z"));
    EXPECT_EQ(inputStream, &std::cin);
  }
}

}  // namespace
