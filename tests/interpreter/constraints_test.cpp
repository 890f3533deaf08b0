// The lmi, lme and obj statements: what they store (blocks, texts, the
// packed lower triangle of a block LMI), what they refuse, and the exact
// listings in both output formats.
#include "constraints.h"

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lexer.h"
#include "script_fixture.h"
#include "statements.h"
#include "sum_chain.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

class ConstraintTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    resetConstraints();
  }
  void TearDown() override {
    resetConstraints();
    ScriptFixture::TearDown();
  }

  // Runs script (one or more lines) through the statement loop, which stops
  // at the first failing statement; returns the loop's status. The output
  // holds what this script printed.
  int run(const std::string& script) { return runLines(script + "\n"); }

  // Runs setup, then script from a clean output and rebuild flag.
  int runAfter(const std::string& setup, const std::string& script) {
    EXPECT_EQ(run(setup), 0) << output.str();
    needsRebuild = 0;
    return run(script);
  }

  static std::string text(const List<std::string>& texts, int i) { return texts.NodeAt(i)->value; }
  static const VLmiBlock& block(const List<VLmiBlock>& blocks, int i) { return blocks.NodeAt(i)->value; }
  static int start(int k) { return lmiStarts.NodeAt(k)->value; }
  static void setVariable(const std::string& name, const Value& v) { variableTable.Lookup(name).GetValue() = v; }
};

const char* const kDeclarations =
    "var sym X(2) Z(3); var Y(3,2) x y; var sym W(2)";

// ---- single LMIs and LMEs ------------------------------------------------------

TEST_F(ConstraintTest, AnLmiIsStoredWithItsTextAndListedAtOnce) {
  ASSERT_EQ(runAfter(kDeclarations, "lmi = X"), 0) << output.str();
  ASSERT_EQ(lmiStarts.Size(), 1);
  EXPECT_EQ(start(0), 0);
  ASSERT_EQ(lmiBlocks.Size(), 1);
  EXPECT_EQ(text(lmiTexts, 0), "X");
  EXPECT_EQ(block(lmiBlocks, 0).Rows(), 2);
  EXPECT_EQ(block(lmiBlocks, 0).Cols(), 2);
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(output.str(), "\nlmi(1) = \n\n X\n\n");
}

TEST_F(ConstraintTest, ASemicolonStoresSilently) {
  ASSERT_EQ(runAfter(kDeclarations, "lmi = X; lme = X - W; obj = x;"), 0) << output.str();
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(lmiStarts.Size(), 1);
  EXPECT_EQ(lmeBlocks.Size(), 1);
  EXPECT_EQ(objective.NumTerms(), 2);
  EXPECT_EQ(needsRebuild, 1);
}

TEST_F(ConstraintTest, TextsAreRecordedWithSingleBlanks) {
  ASSERT_EQ(runAfter(kDeclarations + std::string("; A = [1 2; 3 4]"),
                     "lmi = A'*X+X*A;lme = -X   +  W;obj = trace(X);"),
            0)
      << output.str();
  EXPECT_EQ(text(lmiTexts, 0), "A' * X + X * A");
  EXPECT_EQ(text(lmeTexts, 0), "- X + W");
  EXPECT_EQ(objectiveText, "trace( X )");
}

TEST_F(ConstraintTest, AnLmiMustBeSquareOrAColumn) {
  ASSERT_EQ(runAfter(kDeclarations, "lmi = x*[1; 1]; lmi = Y*[1; 1]; lmi = [1 0; 0 1; 0 0]'*Y;"), 0) << output.str();
  EXPECT_EQ(lmiStarts.Size(), 3);

  needsRebuild = 0;
  EXPECT_EQ(run("lmi = x*[1 1]"), 1);
  EXPECT_EQ(lastMessage(), "LMI must be a square matrix or a column vector.");
  EXPECT_EQ(run("lmi = Y"), 1);
  EXPECT_EQ(lastMessage(), "LMI must be a square matrix or a column vector.");
  EXPECT_EQ(lmiStarts.Size(), 3);
  EXPECT_EQ(lmiBlocks.Size(), 3);
  EXPECT_EQ(needsRebuild, 0);
}

TEST_F(ConstraintTest, RefusedStatementsStoreNothing) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"lmi = 1", "LMI does not involve any variables."},
      {"lmi = [1 2; 3 4]", "LMI does not involve any variables."},
      {"lme = 2*eye(2)", "LME does not involve any variables."},
      {"obj = 3", "Objective does not involve any variables."},
      {"obj = X", "Objective must be a scalar function."},
      {"obj = Y'*[1; 1; 1]", "Objective must be a scalar function."},
      {"lmi x", "Expected [separator], lmi index or assignment."},
      {"lme 1", "Expected [separator], lme index or assignment."},
      {"lmi (1)", "Extra space."},
      {"lme (1)", "Extra space."},
      {"lmi(1)", "Subscript out of range."},
      {"lme(1)", "Subscript out of range."},
      {"lmi(0)", "Index must be greater than one."},
      {"lme([1 2])", "Invalid index."},
      {"lmi = X + nowhere", "Unknown command, variable or parameter 'nowhere'."},
  };
  ASSERT_EQ(run(kDeclarations), 0) << output.str();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    needsRebuild = 0;
    EXPECT_EQ(run(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(lmiStarts.Size(), 0);
    EXPECT_EQ(lmiBlocks.Size(), 0);
    EXPECT_EQ(lmiTexts.Size(), 0);
    EXPECT_EQ(lmeBlocks.Size(), 0);
    EXPECT_EQ(objective.NumTerms(), 1);
    EXPECT_EQ(needsRebuild, 0);
  }
}

TEST_F(ConstraintTest, AnEmptyVariableIsRefusedInEveryConstraint) {
  ASSERT_EQ(run("var e = [] X(2)"), 0) << output.str();
  for (const char* line : {"lmi = e", "lmi = block(X; e, X)", "lme = e", "obj = e"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "Variable 'e' is empty and can not enter a constraint.");
  }
  EXPECT_EQ(lmiStarts.Size(), 0);
  EXPECT_EQ(lmiBlocks.Size(), 0);
  EXPECT_EQ(lmeBlocks.Size(), 0);
  EXPECT_EQ(objective.NumTerms(), 1);
}

// ---- listings ------------------------------------------------------------------

TEST_F(ConstraintTest, ListingsInBothFormats) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = X; lmi = block(X; Y, Z); lme = X - W; lme = x - y;")), 0)
      << output.str();
  const struct {
    const char* line;
    const char* verbose;
    const char* compact;
  } cases[] = {
      {"lmi(1)", "\nlmi(1) = \n\n X\n\n", "lmi(1) = \n X\n"},
      {"lmi(2)", "\nlmi(2) = \n\n (1, 1): X\n\n (2, 1): Y\n (2, 2): Z\n\n",
       "lmi(2) = \n (1, 1): X\n (2, 1): Y\n (2, 2): Z\n"},
      {"lmi", "\nlmi(1) = \n\n X\n\n\nlmi(2) = \n\n (1, 1): X\n\n (2, 1): Y\n (2, 2): Z\n\n",
       "lmi(1) = \n X\nlmi(2) = \n (1, 1): X\n (2, 1): Y\n (2, 2): Z\n"},
      {"lme(2)", "\nlme(2) = \n\n x - y\n\n", "lme(2) = \n x - y\n"},
      {"lme", "\nlme(1) = \n\n X - W\n\n\nlme(2) = \n\n x - y\n\n", "lme(1) = \n X - W\nlme(2) = \n x - y\n"},
      {"obj = x - 2*y", "\nobj = \n\n x - 2 * y\n\n", "obj = \n x - 2 * y\n"},
      {"obj", "\nobj = \n\n x - 2 * y\n\n", "obj = \n x - 2 * y\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    verboseFormat = 1;
    EXPECT_EQ(run(c.line), 0);
    EXPECT_EQ(output.str(), c.verbose);
    verboseFormat = 0;
    EXPECT_EQ(run(c.line), 0);
    EXPECT_EQ(output.str(), c.compact);
  }
}

TEST_F(ConstraintTest, ListingsWithNothingStored) {
  ASSERT_EQ(run("lmi, lme"), 0);
  EXPECT_EQ(output.str(), "");
  ASSERT_EQ(run("obj"), 0);
  EXPECT_EQ(output.str(), "\nobj = \n\n []\n\n");
  ASSERT_EQ(run("obj;"), 0);
  EXPECT_EQ(output.str(), "");
}

TEST_F(ConstraintTest, ListingsKeepTheStreamStateOfTheLastDisplay) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = X;")), 0);
  ASSERT_EQ(run("1e5"), 0);  // the display leaves fixed notation, precision 7
  ASSERT_EQ(run("lmi(1)"), 0);
  EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
  EXPECT_EQ(std::cout.precision(), 7);
  std::cout.unsetf(std::ios::floatfield);
  std::cout.precision(6);
}

TEST_F(ConstraintTest, NumbersCountLmisNotBlocks) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = block(X; Y, Z); lmi = W;")), 0) << output.str();
  ASSERT_EQ(lmiStarts.Size(), 2);
  EXPECT_EQ(start(1), 3);
  EXPECT_EQ(lmiBlockCount(lmiStarts, lmiBlocks.Size(), 0), 3);
  EXPECT_EQ(lmiBlockCount(lmiStarts, lmiBlocks.Size(), 1), 1);
  ASSERT_EQ(run("lmi(2)"), 0);
  EXPECT_EQ(output.str(), "\nlmi(2) = \n\n W\n\n");
  EXPECT_EQ(run("lmi(3)"), 1);
  EXPECT_EQ(lastMessage(), "Subscript out of range.");
}

// Long sums in the entries of a block LMI, in an LME and in the objective:
// twice the operands cost about twice the term copies, not four times.
TEST_F(ConstraintTest, LongSumsCopyTermsInProportionToTheirLength) {
  ASSERT_EQ(run(kDeclarations), 0) << output.str();
  const struct {
    const char* label;
    std::function<std::string(int)> statement;
  } cases[] = {
      {"block",
       [](int n) {
         return "lmi = block(" + sumChain("X", "W", "+-", n) + "; " + sumChain("[1 2] * x", "y * [3 4]", "-+", n) +
                ", " + sumChain("x", "y", "+-", n) + ");";
       }},
      {"lme", [](int n) { return "lme = " + sumChain("X", "W", "-", n) + ";"; }},
      {"obj", [](int n) { return "obj = " + sumChain("x", "y", "+-", n) + ";"; }},
  };
  for (const auto& c : cases) {
    std::vector<long long> copies;
    for (const int n : {1000, 2000}) {
      const long long before = VMatTerm::CopyCount();
      ASSERT_EQ(run(c.statement(n)), 0) << c.label << ": " << output.str();
      copies.push_back(VMatTerm::CopyCount() - before);
    }
    EXPECT_LT(copies[1], 2.5 * copies[0]) << c.label << ": " << copies[0] << " copies, then " << copies[1];
  }
}

// ---- block LMIs ------------------------------------------------------------------

TEST_F(ConstraintTest, ABlockLmiStoresItsLowerTriangleRowByRow) {
  ASSERT_EQ(runAfter(kDeclarations + std::string("\nlmi = x;"), "lmi = block(X; Y, Z; [1 2], y*[1 1 1], x);"), 0)
      << output.str();
  ASSERT_EQ(lmiStarts.Size(), 2);
  EXPECT_EQ(start(1), 1);
  ASSERT_EQ(lmiBlocks.Size(), 7);
  const char* const texts[] = {"X", "Y", "Z", "[ 1 2 ]", "y * [ 1 1 1 ]", "x"};
  const int rows[] = {2, 3, 3, 1, 1, 1};
  const int cols[] = {2, 2, 3, 2, 3, 1};
  for (int t = 0; t < 6; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(text(lmiTexts, 1 + t), texts[t]);
    EXPECT_EQ(block(lmiBlocks, 1 + t).Rows(), rows[t]);
    EXPECT_EQ(block(lmiBlocks, 1 + t).Cols(), cols[t]);
  }
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(lmiBlockRowCount(lmiBlockCount(lmiStarts, lmiBlocks.Size(), 1)), 3);
  // Block (i, j) of the LMI stands at its packed position.
  EXPECT_EQ(text(lmiTexts, packedLowerIndex(1, 2, 1)), "y * [ 1 1 1 ]");
}

TEST_F(ConstraintTest, BlocksOfARowMayBeSeparatedByBlanksOrCommas) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = block(X;Y Z); lmi = block( X ; Y , Z );")), 0)
      << output.str();
  ASSERT_EQ(lmiBlocks.Size(), 6);
  for (int t = 0; t < 3; ++t) EXPECT_EQ(text(lmiTexts, t), text(lmiTexts, 3 + t));
}

TEST_F(ConstraintTest, ABlockListRunsOverLines) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = block(\n\n  X\n  Y, Z;\n\n);")), 0) << output.str();
  ASSERT_EQ(lmiStarts.Size(), 1);
  EXPECT_EQ(lmiBlocks.Size(), 3);
  EXPECT_EQ(text(lmiTexts, 2), "Z");
}

TEST_F(ConstraintTest, TheBlockSizeIsTheExpressionsSize) {
  // Each block below begins with a 1 x 1 term; the blocks are 2 x 2.
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = block(x + X; y*ones(2) + W, y + W);")), 0) << output.str();
  ASSERT_EQ(lmiBlocks.Size(), 3);
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(block(lmiBlocks, t).Rows(), 2);
    EXPECT_EQ(block(lmiBlocks, t).Cols(), 2);
  }
}

TEST_F(ConstraintTest, BlockErrorsStoreNothing) {
  const struct {
    const char* lines;
    const char* message;
  } cases[] = {
      {"lmi = block(X; Z, Z)", "LMI blocks have different number of colums."},
      {"lmi = block(X; Y, X)", "LMI blocks have different number of rows."},
      {"lmi = block(Y)", "LMI diagonal blocks must be square."},
      {"lmi = block(X; Y, Y)", "LMI diagonal blocks must be square."},
      {"lmi = block(X Y)", "Expected semicolon or end of line."},
      {"lmi = block(X; Y, Z, Y)", "Expected semicolon or end of line."},
      {"lmi = block (X)", "Expected (."},
      {"lmi = block()", "Empty block lmi."},
      {"lmi = block(\n)", "Empty block lmi."},
      {"lmi = block(X; Y)", "Missing diagonal block in block lmi."},
      {"lmi = block(X; Y, Z; [1 2])", "Missing diagonal block in block lmi."},
      {"lmi = block(X;", "End of file reached inside a block lmi loop."},
      {"lmi = block(", "End of file reached inside a block lmi loop."},
      {"lmi = block(X; Y, nowhere)", "Unknown command, variable or parameter 'nowhere'."},
  };
  ASSERT_EQ(run(kDeclarations), 0) << output.str();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    needsRebuild = 0;
    EXPECT_EQ(run(c.lines), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(lmiStarts.Size(), 0);
    EXPECT_EQ(lmiBlocks.Size(), 0);
    EXPECT_EQ(lmiTexts.Size(), 0);
    EXPECT_EQ(needsRebuild, 0);
  }
}

TEST_F(ConstraintTest, ABlockLmiNeedsNoVariableInEveryBlock) {
  ASSERT_EQ(run(kDeclarations + std::string("\nlmi = block(eye(2); zeros(3,2), Z);")), 0) << output.str();
  EXPECT_EQ(lmiBlocks.Size(), 3);
}

// ---- scalar terms ----------------------------------------------------------------

TEST_F(ConstraintTest, OffDiagonalBlocksRefuseScalarTermsUnlessOneByOne) {
  ASSERT_EQ(run(kDeclarations), 0) << output.str();
  for (const char* line : {"lmi = block(X; x + zeros(2), W)", "lmi = block(X; W + 1, W)",
                           "lmi = block(X; W + y, W)", "lmi = block(X; x*ones(2) + y, W)"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "LMI off-diagonal blocks must not have scalar terms.");
    EXPECT_EQ(lmiBlocks.Size(), 0);
  }
  // A constant 0, terms of the block's size, and 1 x 1 blocks are accepted.
  for (const char* line : {"lmi = block(X; W + 0, W);", "lmi = block(X; x*eye(2) - W, W);",
                           "lmi = block(x; y + 1, x + y);"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 0) << output.str();
  }
  EXPECT_EQ(lmiStarts.Size(), 3);
}

TEST_F(ConstraintTest, AScalarTermReadsByTheConstraintsKind) {
  ASSERT_EQ(run("var X(2) x; lmi = X + x; lmi = x*[1; 1] + 1; lme = X + x;"), 0) << output.str();
  setVariable("X", matrixValue(2, 2, {1, 2, 3, 4}));
  setVariable("x", Value(5.0));
  // In a square inequality the scalar stands for itself times the identity.
  EXPECT_TRUE(sameMatrix(asMatrix(block(lmiBlocks, 0).Eval(variableTable, kLmiReading)),
                         make(2, 2, {6, 2, 3, 9})));
  // In a column and in an equality it is added to every element.
  EXPECT_TRUE(sameMatrix(asMatrix(block(lmiBlocks, 1).Eval(variableTable, kLmiReading)), make(2, 1, {6, 6})));
  EXPECT_TRUE(sameMatrix(asMatrix(block(lmeBlocks, 0).Eval(variableTable, kLmeReading)),
                         make(2, 2, {6, 7, 8, 9})));
}

TEST_F(ConstraintTest, HoldsScalarTermLooksAtEveryTermsValue) {
  ASSERT_EQ(run("var X(2) x; lmi = X + x; lmi = X + 0; lmi = X + x*eye(2); lmi = 2*X + 3;"), 0)
      << output.str();
  EXPECT_EQ(holdsScalarTerm(block(lmiBlocks, 0), variableTable), 1);
  EXPECT_EQ(holdsScalarTerm(block(lmiBlocks, 1), variableTable), 0);
  EXPECT_EQ(holdsScalarTerm(block(lmiBlocks, 2), variableTable), 0);
  EXPECT_EQ(holdsScalarTerm(block(lmiBlocks, 3), variableTable), 1);
}

// ---- objective --------------------------------------------------------------------

TEST_F(ConstraintTest, TheObjectiveIsReplacedAndShown) {
  ASSERT_EQ(runAfter(kDeclarations, "obj = trace(X)"), 0) << output.str();
  EXPECT_EQ(output.str(), "\nobj = \n\n trace( X )\n\n");
  EXPECT_EQ(needsRebuild, 1);
  ASSERT_EQ(run("obj = x + y;"), 0);
  EXPECT_EQ(objectiveText, "x + y");
  EXPECT_EQ(objective.NumTerms(), 3);
  EXPECT_EQ(run("obj = X"), 1);
  EXPECT_EQ(objectiveText, "x + y");
  EXPECT_EQ(objective.NumTerms(), 3);
}

TEST_F(ConstraintTest, PackedLowerIndex) {
  EXPECT_EQ(packedLowerIndex(0, 0, 0), 0);
  EXPECT_EQ(packedLowerIndex(0, 1, 0), 1);
  EXPECT_EQ(packedLowerIndex(0, 1, 1), 2);
  EXPECT_EQ(packedLowerIndex(5, 2, 0), 8);
  EXPECT_EQ(packedLowerIndex(5, 3, 3), 14);
  for (int r = 1; r <= 40; ++r) EXPECT_EQ(lmiBlockRowCount(r * (r + 1) / 2), r);
}

}  // namespace
