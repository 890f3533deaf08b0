// for, while, if/else and break over scripts held in memory: the passes a
// loop makes and the values it leaves, break through nested ifs, the bodies
// read over several lines and replayed without reading them again, the loop
// variable's stay on the inline list, and every report of the constructs.
#include "control_flow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lexer.h"
#include "process_memory.h"
#include "script_fixture.h"
#include "statements.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

class ControlFlowTest : public ScriptFixture {
 protected:
  // Runs script (whole lines) through the statement loop of a script run;
  // returns the loop's status.
  int run(const std::string& script) { return runLines(script); }

  static GenMatrixD matrix(const std::string& name) { return asMatrix(parameterTable.Lookup(name)); }
  static bool isInline(const std::string& name) {
    int position;
    return findInlineName(name, position) != 0;
  }
  static void putInline(const std::string& name) { inlineNames.PushBack(name); }
};

void expectRow(const GenMatrixD& m, std::initializer_list<double> elements) {
  ASSERT_EQ(m.Rows(), 1);
  ASSERT_EQ(m.Cols(), static_cast<int>(elements.size()));
  int j = 0;
  for (double x : elements) EXPECT_EQ(m(0, j++), x) << "element " << j;
}

// The report of an error in t.lmi: header, echo, caret, message.
std::string errorReport(int line, const std::string& echo, int column, const std::string& message) {
  return "#> Error in \"t.lmi\" (line " + std::to_string(line) + ") at:\n" + echo + "\n" +
         std::string(column > 1 ? column - 1 : 0, '-') + "^\n#> " + message + "\n";
}

TEST_F(ControlFlowTest, ForRunsOnePassPerElementDownEachColumnInTurn) {
  EXPECT_EQ(run("v = []; for i = [1 2; 3 4]; v = [v i]; end\n"), 0);
  expectRow(matrix("v"), {1, 3, 2, 4});
  EXPECT_EQ(scalar("i"), 4.0);
  EXPECT_EQ(output.str(), "");  // the header's value is never shown

  EXPECT_EQ(run("v = []; for k = 1:3; v = [v k]; end\n"), 0);
  expectRow(matrix("v"), {1, 2, 3});
  EXPECT_EQ(scalar("k"), 3.0);
}

TEST_F(ControlFlowTest, ForOverAScalarRunsOnceAndOverEmptyNotAtAll) {
  EXPECT_EQ(run("n = 0; for i = 5; n = n + 1; end\n"), 0);
  EXPECT_EQ(scalar("n"), 1.0);
  EXPECT_EQ(scalar("i"), 5.0);

  EXPECT_EQ(run("i = 7; for i = []; z = 1; end; after = 1\n"), 0);
  EXPECT_FALSE(has("z"));
  EXPECT_TRUE(parameterTable.Lookup("i").IsEmpty());
  EXPECT_EQ(scalar("after"), 1.0);
}

TEST_F(ControlFlowTest, AssigningTheLoopVariableChangesNoLaterElement) {
  EXPECT_EQ(run("v = []; r = 1:3; for i = r; v = [v i]; i = 100; r = 0; end\n"), 0);
  expectRow(matrix("v"), {1, 2, 3});
  EXPECT_EQ(scalar("i"), 100.0);

  // Neither does writing into the elements the header named, nor giving
  // the loop variable a matrix of its own.
  EXPECT_EQ(run("v = []; r = 1:3; for i = r; v = [v i]; r(3) = 50; i = [7 8 9]; i(2) = 0; end\n"), 0);
  expectRow(matrix("v"), {1, 2, 3});
  expectRow(matrix("r"), {1, 2, 50});
}

TEST_F(ControlFlowTest, BodyOverSeveralLinesIsReadOnceAndReplayed) {
  // The continuation mark and the comment are taken when the body is read;
  // no pass reads a line again: the line after the loop runs once, and the
  // line count ends one past the last line (the end of the input).
  EXPECT_EQ(run("s = 0; n = 0;\n"
                "for i = 1:4\n"
                "  s = s + ...\n"
                "      i;  % running sum\n"
                "\n"
                "end\n"
                "n = n + 1;\n"),
            0);
  EXPECT_EQ(scalar("s"), 10.0);
  EXPECT_EQ(scalar("n"), 1.0);
  EXPECT_EQ(lineNumber, 8);
}

TEST_F(ControlFlowTest, StatementsAfterTheEndOnItsLineRunOnce) {
  EXPECT_EQ(run("n = 0; m = 0;\nfor i = 1:3\n n = n + 1;\nend, m = m + 1\n"), 0);
  EXPECT_EQ(scalar("n"), 3.0);
  EXPECT_EQ(scalar("m"), 1.0);
  EXPECT_NE(output.str().find("m = "), std::string::npos);
}

TEST_F(ControlFlowTest, NestedConstructsCountTowardsTheMatchingEnd) {
  EXPECT_EQ(run("n = 0; for i = 1:2; for j = 1:2; n = n + 1; end; end\n"), 0);
  EXPECT_EQ(scalar("n"), 4.0);

  EXPECT_EQ(run("n = 0; t = 0;\n"
                "for i = 1:3\n"
                "  for j = 1:2, t = t + 10*i + j; end\n"
                "  while 0; end\n"
                "  if 0; else; end\n"
                "  n = n + 1;\n"
                "end\n"),
            0);
  EXPECT_EQ(scalar("n"), 3.0);
  EXPECT_EQ(scalar("t"), (11 + 12) + (21 + 22) + (31 + 32));
}

TEST_F(ControlFlowTest, BreakLeavesTheLoopAndWhatFollowsItsEndRuns) {
  EXPECT_EQ(run("x = 0; for i = 1:5; if i == 3; break; end; x = i; end; y = 1\n"), 0);
  EXPECT_EQ(scalar("x"), 2.0);
  EXPECT_EQ(scalar("i"), 3.0);
  EXPECT_EQ(scalar("y"), 1.0);
}

TEST_F(ControlFlowTest, BreakFromEitherBranchOfAnIfWithElse) {
  EXPECT_EQ(run("for i = 1:5; if i == 3; break; else; x = i; end; end\n"), 0);
  EXPECT_EQ(scalar("x"), 2.0);
  EXPECT_EQ(scalar("i"), 3.0);
  EXPECT_EQ(output.str(), "");

  EXPECT_EQ(run("for i = 1:5; if i < 3; x = i; else; break; end; y = i; end\n"), 0);
  EXPECT_EQ(scalar("x"), 2.0);
  EXPECT_EQ(scalar("y"), 2.0);
  EXPECT_EQ(scalar("i"), 3.0);
}

TEST_F(ControlFlowTest, BreakPassesThroughNestedIfsToTheInnermostLoop) {
  EXPECT_EQ(run("x = 0;\n"
                "for i = 1:5\n"
                "  if i > 1\n"
                "    if i == 3, break, end\n"
                "    z = i;\n"
                "  end\n"
                "  x = i;\n"
                "end\n"),
            0);
  EXPECT_EQ(scalar("x"), 2.0);
  EXPECT_EQ(scalar("z"), 2.0);
  EXPECT_EQ(scalar("i"), 3.0);

  EXPECT_EQ(run("n = 0; for i = 1:3; for j = 1:3; if j == 2; break; end; n = n + 1; end; end\n"), 0);
  EXPECT_EQ(scalar("n"), 3.0);
  EXPECT_EQ(scalar("i"), 3.0);

  EXPECT_EQ(run("k = 0; while 1; k = k + 1; if k == 4; if 1; break; end; end; end\n"), 0);
  EXPECT_EQ(scalar("k"), 4.0);
}

TEST_F(ControlFlowTest, WhileEvaluatesItsConditionOnceMoreThanItsPasses) {
  // The condition counts its own evaluations in c.
  EXPECT_EQ(run("c = 0; i = 0; while (c = c + 1) & i < 3; i = i + 1; end\n"), 0);
  EXPECT_EQ(scalar("i"), 3.0);
  EXPECT_EQ(scalar("c"), 4.0);

  EXPECT_EQ(run("w = 1; while 0; w = 2; end\n"), 0);
  EXPECT_EQ(scalar("w"), 1.0);
}

TEST_F(ControlFlowTest, ConditionTruth) {
  EXPECT_TRUE(conditionHolds(Value(2.0)));
  EXPECT_TRUE(conditionHolds(Value(-0.5)));
  EXPECT_TRUE(conditionHolds(Value(NAN)));
  EXPECT_FALSE(conditionHolds(Value(0.0)));
  EXPECT_FALSE(conditionHolds(Value(-0.0)));
  EXPECT_FALSE(conditionHolds(Value()));
  EXPECT_TRUE(conditionHolds(matrixValue(1, 2, {1, 0})));
  EXPECT_TRUE(conditionHolds(matrixValue(2, 2, {0, 0, 0, NAN})));
  EXPECT_FALSE(conditionHolds(matrixValue(2, 2, {0, 0, 0, 0})));

  const struct {
    const char* condition;
    double branch;
  } cases[] = {{"[1 0]", 1}, {"[0 0]", 2}, {"[]", 2}, {"0/0", 1}, {"0", 2}, {"-3", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.condition);
    EXPECT_EQ(run(std::string("if ") + c.condition + "; b = 1; else; b = 2; end\n"), 0);
    EXPECT_EQ(scalar("b"), c.branch);
  }
}

TEST_F(ControlFlowTest, IfRunsOneBranchWithAnySeparatorsAroundElse) {
  const struct {
    const char* script;
    double a;
  } cases[] = {
      {"if 0; a = 1; else; a = 2; end\n", 2},
      {"if 1; a = 1; else; a = 2; end\n", 1},
      {"if 0, a = 1, else, a = 2, end\n", 2},
      {"if 0; a = 1; else a = 2; end\n", 2},
      {"if 0\n a = 1;\nelse\n a = 2;\nend\n", 2},
      {"if 1\n a = 1;\nelse;\n a = 2;\nend\n", 1},
      {"a = 5; if 0; a = 1; end\n", 5},
      {"if 1; if 0; a = 1; else; a = 3; end; else; a = 2; end\n", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(run(c.script), 0);
    EXPECT_EQ(scalar("a"), c.a);
    EXPECT_EQ(lastMessage(), "");
  }
}

TEST_F(ControlFlowTest, HeadersMayEndTheirLine) {
  EXPECT_EQ(run("n = 0;\nfor i = 1:2\nn = n + 1;\nend\n"
                "k = 0;\nwhile k < 2\nk = k + 1;\nend\n"
                "if k == 2\nok = 1;\nend\n"),
            0);
  EXPECT_EQ(scalar("n"), 2.0);
  EXPECT_EQ(scalar("k"), 2.0);
  EXPECT_EQ(scalar("ok"), 1.0);
}

TEST_F(ControlFlowTest, QuitClosesAConstructLikeEnd) {
  EXPECT_EQ(run("n = 0; for i = 1:2\nn = n + 1;\nquit\nz = 1\n"), 0);
  EXPECT_EQ(scalar("n"), 2.0);
  EXPECT_EQ(scalar("z"), 1.0);
}

TEST_F(ControlFlowTest, ErrorsOfTheConstructs) {
  const std::string separator = "Expected separator: colon, semicolon or end of line.";
  const std::string strayElse = "'else' found outside of an if statement.";
  const std::string forEnd = "End of file reached inside a for loop.";
  const std::string ifEnd = "End of file reached inside an if statement.";
  const struct {
    const char* script;
    std::string report;
  } cases[] = {
      {"break\n", errorReport(1, "break", 5, "'break' found outside of a loop.")},
      {"else\n", errorReport(1, "else", 4, strayElse)},
      {"if 1; a = 1; else; a = 2; else; a = 3; end\n",
       errorReport(1, "if 1; a = 1; else; a = 2; else", 30, strayElse)},
      {"if 0; a = 1; else; a = 2; else; a = 3; end\n",
       errorReport(1, "if 0; a = 1; else; a = 2; else", 30, strayElse)},
      {"if 1; break; end\n", errorReport(1, "if 1; break; end", 16, separator)},
      {"for x 1:3; end\n", errorReport(1, "for x 1", 7, "Expected assignment.")},
      {"for 3 = 1; end\n", errorReport(1, "for 3", 5, "'3' is not a name or a parameter.")},
      {"for = 1; end\n", errorReport(1, "for =", 5, "'=' is not a name or a parameter.")},
      {"for i = 1:3\n", errorReport(2, "for i = 1:3\n", 0, forEnd)},
      {"for i = 1:3; x = i;\n", errorReport(2, "for i = 1:3; x = i;\n", 0, forEnd)},
      {"while 1 < 2\n", errorReport(2, "while 1 < 2\n", 0, "End of file reached inside a while loop.")},
      {"if 1\n", errorReport(2, "if 1\n", 0, ifEnd)},
      {"if 1; x = 1;\n", errorReport(2, "if 1; x = 1;\n", 0, ifEnd)},
      {"if 0; x = 1;\n", errorReport(2, "if 0; x = 1;\n", 0, ifEnd)},
      {"if 1; x = 1; else\n", errorReport(2, "if 1; x = 1; else\n", 0, ifEnd)},
      {"for i = 1:2 x = i; end\n", errorReport(1, "for i = 1:2 x", 13, separator)},
      {"if 1 2; end\n", errorReport(1, "if 1 2", 6, separator)},
      {"for i = 1:2; if 0; end 5; end\n", errorReport(1, "for i = 1:2; if 0; end 5; end", 29, separator)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(run(c.script), 1);
    EXPECT_EQ(output.str(), c.report);
  }
}

TEST_F(ControlFlowTest, DeclaredVariableCannotBeTheLoopVariable) {
  variableTable.Insert("x", VarRecord(kScl, Value(0.0)));
  EXPECT_EQ(run("for x = 1:3; end\n"), 1);
  EXPECT_EQ(lastMessage(), "'x' is not a name or a parameter.");
}

TEST_F(ControlFlowTest, FailingBodyStopsTheLoopAndKeepsEarlierPasses) {
  EXPECT_EQ(run("for i = 1:3; if i == 2; y = ); end; x = i; end\nafter = 1\n"), 1);
  EXPECT_EQ(scalar("x"), 1.0);
  EXPECT_EQ(scalar("i"), 2.0);
  EXPECT_FALSE(has("after"));
  EXPECT_EQ(lastMessage(), "')' is not a primary.");
}

TEST_F(ControlFlowTest, LoopVariableIsInlineOnlyWhileTheBodyRuns) {
  // Assigning a matrix to an inline scalar warns: the body sees i inline.
  EXPECT_EQ(run("for i = 1:2; i = [1 2]; end\n"), 0);
  // Off the list from then on: the second pass assigns without a warning.
  EXPECT_EQ(output.str(), "#> Warning at line 1: Turning matrix \"i\" inline off.\n");
  EXPECT_FALSE(isInline("i"));

  EXPECT_EQ(run("for j = 1:2; end\n"), 0);
  EXPECT_FALSE(isInline("j"));
}

TEST_F(ControlFlowTest, InlineParameterStaysInlineAndItsHeaderDoesNotWarn) {
  setParameter("p", Value(1.0));
  putInline("p");
  EXPECT_EQ(run("for p = [3 4]; end\n"), 0);
  EXPECT_EQ(output.str(), "");
  EXPECT_TRUE(isInline("p"));
  EXPECT_EQ(scalar("p"), 4.0);
}

TEST_F(ControlFlowTest, ConstraintsStatedInTheBodyRecordTheLoopVariableAsItsNumber) {
  lmiStarts.Clear();
  lmiBlocks.Clear();
  lmiTexts.Clear();
  EXPECT_EQ(run("var sym X(2)\nfor k = 1:2; lmi = X - k*eye(2); end\nlmi = X - 2*eye(2);\n"), 0);
  ASSERT_EQ(lmiTexts.Size(), 3);
  EXPECT_EQ(lmiTexts[0].find('k'), std::string::npos) << lmiTexts[0];
  EXPECT_NE(lmiTexts[0], lmiTexts[1]);
  EXPECT_EQ(lmiTexts[1], lmiTexts[2]);
  lmiStarts.Clear();
  lmiBlocks.Clear();
  lmiTexts.Clear();
}

TEST_F(ControlFlowTest, FailingLoopLeavesTheInlineListAsItFoundIt) {
  const char* failures[] = {
      "for p = ); end\n",              // the header fails
      "for p = 1:2; y = ); end\n",     // the body fails
      "for p = 1:2; x = 1\n",          // the input ends in the body
  };
  for (const char* script : failures) {
    SCOPED_TRACE(script);
    setParameter("p", Value(1.0));
    inlineNames.Clear();
    putInline("p");
    EXPECT_EQ(run(script), 1);
    EXPECT_TRUE(isInline("p"));

    inlineNames.Clear();
    EXPECT_EQ(run(script), 1);
    EXPECT_FALSE(isInline("p"));
  }
}

TEST_F(ControlFlowTest, ClearedLoopVariableIsCreatedAgainForTheNextPass) {
  EXPECT_EQ(run("v = []; for i = 1:3; v = [v i]; clear i; end\n"), 0);
  expectRow(matrix("v"), {1, 2, 3});
  EXPECT_FALSE(has("i"));

  EXPECT_EQ(run("n = 0; for i = 1:3; clear i; n = n + 1; end; i = n\n"), 0);
  EXPECT_EQ(scalar("i"), 3.0);
}

// A loop's body is scanned once, but every pass sees each name as the
// workspace stands then: a name a pass binds, clears or declares has its new
// meaning in the next pass.
TEST_F(ControlFlowTest, EachPassSeesTheNamesAsTheWorkspaceStandsThen) {
  EXPECT_EQ(run("for i = 1:2; if i == 2; w = z; end; z = 5; end\n"), 0);
  EXPECT_EQ(scalar("w"), 5.0);

  EXPECT_EQ(run("for i = 1:2; if i == 2; u = v; end; if i == 1; var v = 3; end; end\n"), 0) << output.str();
  EXPECT_EQ(scalar("u"), 3.0);

  EXPECT_EQ(run("n = 0; while n < 2; n = n + 1; if n == 2; t = m; end; m = 10 * n; end\n"), 0);
  EXPECT_EQ(scalar("t"), 10.0);

  EXPECT_EQ(run("y = 1; for i = 1:2; if i == 2; y = y + 1; end; clear y; end\n"), 1);
  EXPECT_EQ(lastMessage(), "Unknown command, variable or parameter 'y'.");
}

TEST_F(ControlFlowTest, ExprStatementsInABodyShowTheirValues) {
  EXPECT_EQ(run("for i = 1:2; i, end\n"), 0);
  EXPECT_EQ(output.str(), "\ni = \n\n     1.0000\n\n\ni = \n\n     2.0000\n\n");
}

// Every pass changes a parameter that stored constraints may name, so a
// build in the body must build again on the next pass.
TEST_F(ControlFlowTest, EveryPassMakesTheNextBuildRebuild) {
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  lmiStarts.Clear();
  lmiBlocks.Clear();
  lmiTexts.Clear();
  EXPECT_EQ(run("var scl x\nlmi = x;\nfor k = 1:3; b = build; end\n"), 0);
  const std::string out = output.str();
  int builds = 0;
  for (std::size_t at = out.find("Building..."); at != std::string::npos; at = out.find("Building...", at + 1)) ++builds;
  EXPECT_EQ(builds, 3) << out;
  EXPECT_EQ(out.find("There is no need to rebuild the problem."), std::string::npos) << out;
  lmiStarts.Clear();
  lmiBlocks.Clear();
  lmiTexts.Clear();
  releaseBuiltResults();
}

// Constructs nest through the recursion of the handlers; far past any
// script's needs a further level is refused instead of running out of stack.
TEST_F(ControlFlowTest, NestingIsBounded) {
  auto nestedIfs = [](int depth) {
    std::string script;
    for (int i = 0; i < depth; ++i) script += "if 1; ";
    script += "x = 1; ";
    for (int i = 0; i < depth; ++i) script += "end; ";
    return script + "\n";
  };
  EXPECT_EQ(run(nestedIfs(kMaxNestingDepth)), 0);
  EXPECT_EQ(scalar("x"), 1.0);

  parameterTable.Remove("x");
  EXPECT_EQ(run(nestedIfs(kMaxNestingDepth + 1) + "y = 1\n"), 1);
  EXPECT_EQ(lastMessage(), "Too many nested statements.");
  EXPECT_FALSE(has("x"));
  EXPECT_FALSE(has("y"));

  // The levels are given back after the failure.
  EXPECT_EQ(run("for i = 1:2; while 1; if 1; break; end; end; end; z = 1\n"), 0);
  EXPECT_EQ(scalar("z"), 1.0);
}

// Loops, and ifs that skip their branch, read ahead to their end before
// anything runs. Text nested deeper than the limit is refused where the
// reading meets it: nothing of the enclosing loop has run, and the input
// after that line is never read (this script has no end at all).
TEST_F(ControlFlowTest, TooDeepNestingIsRefusedWhereTheReadingMeetsIt) {
  const struct {
    const char* opening;
    const char* label;
  } constructs[] = {{"for i = 1:1\n", "for"}, {"while k < 1\n", "while"}, {"if 0\n", "if skipping"}};
  for (const auto& construct : constructs) {
    SCOPED_TRACE(construct.label);
    parameterTable.Remove("y");
    setParameter("k", Value(0.0));
    std::string script = std::string(construct.opening) + "y = 1;\n";
    for (int level = 1; level <= kMaxNestingDepth; ++level) script += "for j = 1:1\n";
    script += "x = 1;\n";
    EXPECT_EQ(run(script), 1);
    EXPECT_EQ(lastMessage(), "Too many nested statements.");
    EXPECT_EQ(lineNumber, 2 + kMaxNestingDepth) << "the line of the construct past the limit";
    EXPECT_FALSE(has("y"));
    EXPECT_FALSE(has("x"));
  }
}

// At the limit itself every level runs.
TEST_F(ControlFlowTest, LoopsNestedToTheLimitRun) {
  std::string script = "n = 0;\n";
  for (int level = 1; level <= kMaxNestingDepth; ++level) script += level % 2 ? "for i = 1:1\n" : "while n < 1\n";
  script += "n = n + 1;\n";
  for (int level = 1; level <= kMaxNestingDepth; ++level) script += "end\n";
  EXPECT_EQ(run(script + "after = n\n"), 0) << lastMessage();
  EXPECT_EQ(scalar("after"), 1.0);
}

// The tokens of a loop's body are held once for all the loops nested in it:
// 990 nested loops around a body of 2000 statements hold a few megabytes
// (a copy of the body per level would be gigabytes). Measured in a child
// process, whose peak starts at what it holds when it begins.
TEST_F(ControlFlowTest, NestedLoopsShareTheirBodysTokens) {
  std::string script;
  for (int level = 0; level < 990; ++level) script += "for i = 1:1\n";
  for (int k = 0; k < 2000; ++k) script += "z = z + 1;\n";
  for (int level = 0; level < 990; ++level) script += "end\n";
  setParameter("z", Value(0.0));
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the process has BLAS threads
  EXPECT_EXIT(
      {
        const double before = peakResidentBytes();
        const int status = run(script);
        const double rise = peakResidentBytes() - before;
        std::_Exit(status == 0 && scalar("z") == 2000.0 && rise < 64e6 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(ControlFlowTest, LongBodyRunsWithoutQuadraticTokenWalks) {
  // A body of 20000 statements on one line; each walk of the pending tokens
  // from their front would make this run for minutes.
  std::string body;
  for (int k = 0; k < 20000; ++k) body += "n = n + 1; ";
  EXPECT_EQ(run("n = 0; for i = 1:2; " + body + "end\n"), 0);
  EXPECT_EQ(scalar("n"), 40000.0);
}

// A host's limit on loop passes counts the passes of every loop of the run
// together; the pass past it fails before its body runs.
TEST_F(ControlFlowTest, LoopPassLimitOfTheRunEndsTheLoopThatPassesIt) {
  const struct {
    long limit;
    const char* script;
    int status;
    double n;  // the counter when the run ended
  } cases[] = {
      {10, "n = 0; while n < 10; n = n + 1; end\n", 0, 10},
      {3, "n = 0; while n < 10; n = n + 1; end\n", 1, 3},
      {5, "n = 0; for i = 1:2; n = n + 1; for j = 1:2; n = n + 1; end; end\n", 1, 5},
      {4, "n = 0; for i = 1:2; n = n + 1; end; for i = 1:3; n = n + 1; end\n", 1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    resetWorkspace();
    runLimits.loopPasses = c.limit;
    EXPECT_EQ(run(c.script), c.status);
    EXPECT_EQ(scalar("n"), c.n);
    EXPECT_EQ(lastMessage(), c.status != 0 ? "Too many loop passes." : "");
  }
}

}  // namespace
