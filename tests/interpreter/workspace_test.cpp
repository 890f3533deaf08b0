#include "workspace.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "script_fixture.h"

namespace {

// Runs checkReservedParameters on a fresh set of settings with some reserved
// parameters assigned, capturing what it reports.
using ReservedParameters = ScriptFixture;

TEST_F(ReservedParameters, MessagesAndAcceptedValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  GenMatrixD pair(1, 2, 1.0, 0);
  struct Case {
    const char* name;
    Value value;
    const char* expected;  // "" when accepted
  };
  const Case cases[] = {
      {"eps", Value(0.0), "Parameter 'eps' must be a positive scalar."},
      {"eps", Value(1.0), ""},
      {"eps", Value(1.5), "Parameter 'eps' must be a less than 1.0."},
      {"eps", Value(pair), "Parameter 'eps' must be a scalar."},
      {"eps", Value(nan), "Parameter 'eps' must be a positive scalar."},
      {"rank_eps", Value(inf), "Parameter 'rank_eps' must be a less than 1.0."},
      {"rank_eps", Value(-1.0), "Parameter 'rank_eps' must be a positive scalar."},
      {"max_iter", Value(0.9), "Parameter 'max_iter' must be a positive scalar."},
      {"max_iter", Value(50.7), ""},
      {"max_iter", Value(nan), "Parameter 'max_iter' must be a positive scalar."},
      {"max_iter", Value(1e20), "Parameter 'max_iter' must be a positive scalar."},
      {"noprog", Value(Value()), "Parameter 'noprog' must be a scalar."},
      {"display", Value(0.0), ""},
      {"display", Value(-1.0), "Parameter 'display' must be a positive scalar."},
      {"fact", Value(3.0), "Parameter 'fact' must be equal to '1' or '2'."},
      {"fact", Value(2.5), ""},
      {"fact", Value(-inf), "Parameter 'fact' must be equal to '1' or '2'."},
  };
  for (const Case& c : cases) {
    resetWorkspace();
    output.str("");
    setParameter(c.name, c.value);
    const int status = checkReservedParameters();
    EXPECT_EQ(status, c.expected[0] ? 1 : 0) << c.name;
    EXPECT_EQ(lastMessage(), c.expected) << c.name;
  }
}

TEST_F(ReservedParameters, AcceptedChangesReachTheSettingsOnly) {
  setParameter("max_iter", Value(50.7));
  setParameter("fact", Value(2.5));
  EXPECT_EQ(checkReservedParameters(), 0);
  EXPECT_EQ(solverSettings.max_iter, 50);
  EXPECT_EQ(solverSettings.fact, 2);
  EXPECT_EQ(*parameterTable.Lookup("max_iter").Scalar(), 50.7);
  EXPECT_EQ(needsRebuild, 1);
}

TEST_F(ReservedParameters, ATruncationEqualToTheSettingChangesNothing) {
  setParameter("max_iter", Value(100.9));
  EXPECT_EQ(checkReservedParameters(), 0);
  EXPECT_EQ(needsRebuild, 0);
}

TEST_F(ReservedParameters, EarlierValidChangesStayWhenALaterOneFails) {
  setParameter("eps", Value(1e-3));
  setParameter("rank_eps", Value(-1.0));
  setParameter("fact", Value(2.0));
  EXPECT_EQ(checkReservedParameters(), 1);
  EXPECT_EQ(solverSettings.eps, 1e-3);
  EXPECT_EQ(solverSettings.fact, 1);  // never looked at
  EXPECT_EQ(lastMessage(), "Parameter 'rank_eps' must be a positive scalar.");
}

TEST(VarRecord, AssignmentSharesTheValueAndCopiesTheMask) {
  GenMatrixD m(2, 2, 1.0, 0);
  VarRecord first(kGen, Value(m));
  first.GetMask() = SharedArray<int>(4, 1);
  VarRecord second;
  second = first;
  second.GetMask()[0] = 0;
  EXPECT_EQ(first.GetMask()[0], 1);
  (*second.GetValue().Matrix())(0, 0) = 5.0;
  EXPECT_EQ((*first.GetValue().Matrix())(0, 0), 5.0);
  EXPECT_EQ(second.GetType(), kGen);

  VarRecord& alias = second;
  second = alias;
  EXPECT_EQ(second.GetMask().Size(), 4);
  EXPECT_EQ((*second.GetValue().Matrix())(1, 1), 1.0);
}

// After a run that leaves something in every part of the workspace, a reset
// gives the state of a process that has run nothing; what the host set up
// (the search path, the limits of a run) stays.
TEST_F(ReservedParameters, ResetReturnsEveryPartToItsStartingValue) {
  searchPath.assign(1, "ex/");
  runLimits.loopPasses = 50;
  const std::string script =
      "format compact; echo on; eps = 1e-3; p = 2; inline p; var sym X(2); var y\n"
      "lmi = X - p*eye(2); lme = y - 1; obj = trace(X) + y; for i = 1:2; end; build\n"
      "[1 ...\n";
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  runLines(script);
  ASSERT_NE(builtProblem, nullptr) << output.str();
  ::resetWorkspace();

  EXPECT_EQ(variableTable.Count(), 0);
  EXPECT_EQ(parameterTable.Count(), 0);
  EXPECT_EQ(tokenQueue.Count(), 0);
  EXPECT_EQ(inlineNames.Count(), 0);
  EXPECT_EQ(lmiStarts.Count(), 0);
  EXPECT_EQ(lmiBlocks.Count(), 0);
  EXPECT_EQ(lmiTexts.Count(), 0);
  EXPECT_EQ(lmeBlocks.Count(), 0);
  EXPECT_EQ(lmeTexts.Count(), 0);
  EXPECT_EQ(objective.NumTerms(), 1);
  EXPECT_EQ(objectiveText, "");
  EXPECT_EQ(objectiveVector.Rows(), 0);
  EXPECT_EQ(builtProblem, nullptr);
  EXPECT_EQ(builtVariableCount, 0);
  EXPECT_TRUE(builtVariableNames.empty());
  EXPECT_TRUE(builtVariableValues.empty());
  EXPECT_EQ(statementText, "");
  EXPECT_EQ(inputFileName, "");
  EXPECT_EQ(execFileName, "");
  EXPECT_EQ(lineNumber, 0);
  EXPECT_EQ(columnNumber, 0);
  EXPECT_EQ(verboseFormat, 1);
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(showResults, 1);
  EXPECT_EQ(insideBrackets, 0);
  EXPECT_EQ(recordingText, 0);
  EXPECT_EQ(echoInput, 0);
  EXPECT_EQ(solverSettings.eps, SolverSettings().eps);
  EXPECT_EQ(modeFlags, 0);
  EXPECT_EQ(inputStream, &std::cin);
  EXPECT_EQ(loopPassesRun, 0);

  ASSERT_EQ(searchPath.size(), 1u);
  EXPECT_EQ(runLimits.loopPasses, 50);
  searchPath.clear();
}

}  // namespace
