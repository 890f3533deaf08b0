// The build operation: the reduced problem it leaves for a table of small
// problems, checked against the definitions (the equality basis solves every
// equality, the built constraints evaluate to what `eval` shows, the
// objective vector is the objective's gradient over the free parameters),
// and what each failure leaves behind.
#include "builder.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "affine_coefficients.h"
#include "block_diagonal.h"
#include "built_problem.h"
#include "constraints.h"
#include "solver_fixture.h"
#include "statements.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

double maxAbs(const GenMatrixD& m) {
  double largest = 0.0;
  for (int e = 0; e < m.Rows() * m.Cols(); ++e) largest = std::max(largest, std::fabs(m[e]));
  return largest;
}

// Every entry of Z, kept or not.
GenMatrixD dense(const EqualityBasis& Z) {
  GenMatrixD m(Z.Rows(), Z.Cols(), 0.0, 0);
  for (int k = 0; k < Z.Cols(); ++k)
    for (int e = Z.ColumnBegin(k); e < Z.ColumnEnd(k); ++e) m(Z.RowOf(e), k) = Z.ValueOf(e);
  return m;
}

class BuilderTest : public SolverFixture {
 protected:
  int build() {
    output.str("");
    return buildProblem();
  }

  static BuiltProblem& problem() { return *builtProblem; }

  // Runs script with no problem built and no variable but the hidden one.
  int runAfresh(const std::string& script) {
    resetProblem();
    variableTable.Clear();
    variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
    return run(script);
  }

  // x = T y by the definition of the basis.
  static GenMatrixD expand(const GenMatrixD& y) {
    const BuiltProblem& p = problem();
    GenMatrixD x(p.Nvt(), 1, 0.0, 0);
    const GenMatrixD Z = dense(p.Basis());
    for (int k = 0; k < p.Nv(); ++k) x[p.FreeIndex()[k]] = y[k];
    for (int i = 0; i < Z.Rows(); ++i) {
      double sum = 0.0;
      for (int k = 0; k < p.Nv(); ++k) sum += Z(i, k) * y[k];
      x[p.DependentIndex()[i]] = sum;
    }
    return x;
  }

  // The variables' current values := the unknowns x, variable by variable
  // in name order, each column by column.
  static void setVariables(const GenMatrixD& x) {
    int u = 0;
    for (int i = 0; i < builtVariableCount; ++i) {
      Value& v = variableTable.Lookup(builtVariableNames[i]).GetValue();
      if (v.IsScalar()) {
        *v.Scalar() = x[u++];
      } else if (v.IsMatrix()) {
        v.DeepCopy(v);
        for (int e = 0; e < v.ElementCount(); ++e) (*v.Matrix())[e] = x[u++];
      }
    }
  }

  GenMatrixD randomPoint() {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    GenMatrixD y(problem().Nv(), 1);
    y[0] = 1.0;
    for (int k = 1; k < problem().Nv(); ++k) y[k] = uniform(random);
    return y;
  }

  Value evalLmi(int k) {
    EXPECT_EQ(run("eval(lmi(" + std::to_string(k + 1) + "));"), 0) << output.str();
    return parameterTable.Lookup(kAnsName);
  }

  std::mt19937 random{12345};
};

// ---------------------------------------------------------------------------
// The reduced problem of small problems

struct ProblemCase {
  const char* name;
  const char* script;
  int nvt;
  int nv;
  int td;
  std::vector<int> blockSizes;
};

void PrintTo(const ProblemCase& c, std::ostream* out) { *out << c.name; }

class BuiltProblemTest : public BuilderTest, public ::testing::WithParamInterface<ProblemCase> {
 protected:
  // Every equality holds at x = T y: the LMEs evaluate to zero and every
  // variable has its structure and obeys its mask.
  static void expectEqualitiesHold() {
    for (ListNode<VLmiBlock>* lme = lmeBlocks.NodeAt(0); lme != nullptr; lme = lme->next) {
      const GenMatrixD value = asMatrix(lme->value.Eval(variableTable, kLmeReading));
      EXPECT_LE(maxAbs(value), 1e-9) << "an LME is not solved";
    }
    for (int i = 1; i < builtVariableCount; ++i) {
      SCOPED_TRACE(builtVariableNames[i]);
      const VarRecord& record = variableTable.Lookup(builtVariableNames[i]);
      const GenMatrixD X = asMatrix(record.GetValue());
      const int n = X.Rows();
      const SharedArray<int>& mask = record.GetMask();
      for (int r = 0; r < n; ++r)
        for (int c = 0; c < X.Cols(); ++c) {
          if (record.GetType() == kSym) {
            EXPECT_NEAR(X(r, c), X(c, r), 1e-12);
          }
          if (record.GetType() == kDiag && r != c) {
            EXPECT_EQ(X(r, c), 0.0);
          }
          if (mask.Size() > 0 && mask[r + c * n] == 0) {
            EXPECT_EQ(X(r, c), 0.0);
          }
          for (int e = 0; mask.Size() > 1 && e < mask.Size(); ++e) {
            if (mask[e] > 1 && mask[e] == mask[r + c * n]) {
              EXPECT_NEAR(X[e], X(r, c), 1e-12);
            }
          }
        }
    }
  }

  // The built constraints at y equal `eval` of each LMI at the expanded
  // variables: linear rows, whole matrix inequalities, and the diagonal
  // blocks of block matrix inequalities.
  void expectValuesMatchEval(const GenMatrixD& y) {
    BuiltProblem& p = problem();
    BlockDiagonalMatrix values(0);
    identityBlockDiagonal(p.Nb(), p.BlockSizes(), p.Td(), values);
    p.EvaluateAt(y, values);
    const GenMatrixD x = expand(y);
    setVariables(x);
    int row = 0;
    int block = 0;
    std::vector<int> blockLmis;
    for (int k = 0; k < lmiStarts.Size(); ++k) {
      SCOPED_TRACE("lmi " + std::to_string(k + 1));
      const int count = lmiBlockCount(lmiStarts, lmiBlocks.Size(), k);
      const GenMatrixD value = asMatrix(evalLmi(k));
      if (count == 1 && value.Cols() == 1) {
        for (int r = 0; r < value.Rows(); ++r, ++row) EXPECT_NEAR(values.Diagonal()[row], value[r], 1e-10);
      } else if (count == 1) {
        EXPECT_TRUE(nearMatrix(values.Block(block++).AsGenMatrixD(), value, 1e-10));
      } else {
        blockLmis.push_back(k);
      }
    }
    for (int k : blockLmis) {
      SCOPED_TRACE("block lmi " + std::to_string(k + 1));
      const GenMatrixD value = asMatrix(evalLmi(k));
      const GenMatrixD built = values.Block(block++).AsGenMatrixD();
      ASSERT_EQ(built.Rows(), value.Rows());
      // Diagonal blocks: the stated blocks (i, i) of the LMI.
      const int rowsOfBlocks = lmiBlockRowCount(lmiBlockCount(lmiStarts, lmiBlocks.Size(), k));
      int o = 0;
      for (int i = 0; i < rowsOfBlocks; ++i) {
        const int h = lmiBlocks[packedLowerIndex(lmiStarts[k], i, i)].Rows();
        for (int a = 0; a < h; ++a)
          for (int b = 0; b < h; ++b) EXPECT_NEAR(built(o + a, o + b), value(o + a, o + b), 1e-10);
        o += h;
      }
    }
    EXPECT_EQ(row, p.Td());
  }

  // objectiveVector' y is the objective at T y less its value at T e0.
  void expectObjectiveReduced(const GenMatrixD& y) {
    if (objective.NumTerms() == 1) {
      EXPECT_EQ(objectiveVector.Rows() * objectiveVector.Cols(), 0);
      return;
    }
    ASSERT_EQ(objectiveVector.Rows(), problem().Nv());
    EXPECT_EQ(objectiveVector[0], 0.0);
    GenMatrixD e0(problem().Nv(), 1, 0.0, 0);
    e0[0] = 1.0;
    setVariables(expand(e0));
    const double f0 = asMatrix(objective.Eval(variableTable))[0];
    setVariables(expand(y));
    const double f = asMatrix(objective.Eval(variableTable))[0];
    double linear = 0.0;
    for (int k = 0; k < problem().Nv(); ++k) linear += objectiveVector[k] * y[k];
    EXPECT_NEAR(linear, f - f0, 1e-10);
  }
};

TEST_P(BuiltProblemTest, ReducesTheStatedProblem) {
  const ProblemCase& c = GetParam();
  ASSERT_EQ(run(c.script), 0) << output.str();
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(needsRebuild, 0);
  BuiltProblem& p = problem();
  EXPECT_EQ(p.Nvt(), c.nvt);
  EXPECT_EQ(p.Nv(), c.nv);
  EXPECT_EQ(p.Td(), c.td);
  ASSERT_EQ(p.Nb(), static_cast<int>(c.blockSizes.size()));
  for (int k = 0; k < p.Nb(); ++k) EXPECT_EQ(p.BlockSizes()[k], c.blockSizes[k]) << "block " << k;

  // Every unknown is free or dependent, exactly once; unknown 0 is the
  // homogenising parameter.
  ASSERT_EQ(p.FreeIndex().Size(), p.Nv());
  ASSERT_EQ(p.DependentIndex().Size(), p.Nvt() - p.Nv());
  EXPECT_EQ(p.FreeIndex()[0], 0);
  std::vector<int> seen(p.Nvt(), 0);
  for (int k = 0; k < p.Nv(); ++k) ++seen[p.FreeIndex()[k]];
  for (int i = 0; i < p.DependentIndex().Size(); ++i) ++seen[p.DependentIndex()[i]];
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), p.Nvt());

  for (int trial = 0; trial < 3; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const GenMatrixD y = randomPoint();
    setVariables(expand(y));
    expectEqualitiesHold();
    expectValuesMatchEval(y);
    expectObjectiveReduced(y);
  }
}

// Sizes by hand: nvt counts the affine unknown; every structural or LME rank
// removes a free parameter.
const ProblemCase kProblems[] = {
    {"symmetric", "var sym X(2)\nlmi = X - 0.5*eye(2);", 5, 4, 0, {2}},
    {"diagonal", "var diag D(3)\nlmi = D;", 10, 4, 0, {3}},
    {"numbered_mask", "var X(2)\nmask(X) = [1 1; 2 2];\nlmi = X + X';", 5, 3, 0, {2}},
    {"symmetric_mask", "var sym X(2)\nmask(X) = [1 0; 0 1];\nlmi = X;", 5, 3, 0, {2}},
    {"diagonal_mask", "var diag D(2)\nmask(D) = [1 0; 0 0];\nlmi = D + 1;", 5, 2, 0, {2}},
    {"scalar_mask", "var x\nvar y\nmask(x) = 0;\nlmi = [1; 0]*(x + y) + [0; 1]*y;", 3, 2, 2, {}},
    {"lme_and_columns", "var x\nvar y\nlme = x + y - 1;\nlmi = [1; 0]*x + [0; 1]*y;", 3, 2, 2, {}},
    {"two_columns", "var x\nvar y\nlmi = [1; 0; 0]*x + [0; 1; 0]*y + [0; 0; 1];\nlmi = [1; 0]*(x - y) + [0; 2] + 1;", 3, 3, 5, {}},
    {"lme_makes_symmetric", "var X(2)\nlme = X - X';\nlmi = X;", 5, 4, 0, {2}},
    {"lme_rank_zero", "var x\nlme = 0*x;\nlmi = x;", 2, 2, 1, {}},
    {"block", "var sym P(2)\nvar X(1,2)\nvar x\nlmi = block(P; X, x);", 8, 7, 0, {3}},
    {"block_transposes", "var X(2,3)\nvar sym P(3)\nvar sym Q(2)\nA = [1 2; 3 4];\nlmi = block(Q; X'*A, P);", 20,
     16, 0, {5}},
    {"block_factors_both_sides",
     "var X(2)\nvar sym P(2)\nC = [1 2; 0 1];\nD = [2 0; 1 1];\nlmi = block(P; C*X*D + 1*eye(2), P);", 9, 8, 0, {4}},
    {"block_scalars", "var x\nvar y\nlmi = block(x; 1, y);", 3, 3, 0, {2}},
    {"block_scalar_first_term", "var x\nvar sym P(2)\nlmi = block(x + P; [1 2], x);", 6, 5, 0, {3}},
    {"scalar_first_term", "var x\nvar sym X(2)\nlmi = x + X;", 6, 5, 0, {2}},
    {"scalar_factors", "var sym X(2)\nlmi = X*2 + eye(2);\nlmi = X/2 - 1;", 5, 4, 0, {2, 2}},
    {"both_factors", "var sym X(2)\nC = [1 2; 3 4];\nlmi = C*X*C' + eye(2);", 5, 4, 0, {2}},
    {"scalar_between_factors", "var x\nvar sym P(2)\nlmi = [1; 2]*x*[1 2] + P;", 6, 5, 0, {2}},
    {"lyapunov", "var sym X(2)\nA = [1 2; 0 1];\nlmi = -A'*X - X*A + eye(2);\nlmi = X;", 5, 4, 0, {2, 2}},
    {"symmetrised", "var X(2)\nA = [1 2; 3 4];\nlme = X - X';\nlmi = A*X + X'*A';", 5, 4, 0, {2}},
    // sym(e) = e + e': symmetric terms in LMEs, in matrix inequalities and
    // on a 1 x 1 variable. A X + (A X)' = I for invertible A fixes X but for
    // one direction.
    {"symmetric_terms", "var X(2)\nA = [1 2; 3 4];\nlme = sym(A*X) - eye(2);\nlmi = sym(X) + 3*eye(2);", 5, 2, 0,
     {2}},
    {"scalar_symmetric", "var x\nvar y\nB = [1 2; 0 1];\nlme = sym(x*B) - sym(y*B');\nlmi = [1; 0]*x + [0; 1]*y;\nlmi = sym(x*B) + eye(2);", 3,
     2, 2, {2}},
    {"objective", "var sym X(2)\nvar x\nlmi = X - eye(2);\nlmi = x;\nobj = trace(X) + 3*x + 5;", 6, 5, 1, {2}},
    {"objective_with_lme", "var x\nvar y\nvar z\nlme = x - 2*y;\nlmi = [1; 0; 0]*x + [0; 1; 0]*y + [0; 0; 1]*z;\nobj = x + y + z;", 4, 3, 3, {}},
    // LMEs on entries that the structure ties or fixes: the LMEs see one
    // column per group of tied entries, none for an entry fixed at zero.
    // X(0,1) and X(1,0) are one unknown; the LME fixes it, and both follow.
    {"lme_on_tied_entries", "var sym X(3)\nlme = [1 0 0]*X*[0; 1; 0] - 2;\nlmi = X;", 10, 6, 0, {3}},
    // X(0,0), X(1,0), X(0,1) tied, X(1,1) on its own; the trace ties them.
    {"lme_on_masked_group", "var X(2)\nmask(X) = [1 1; 1 2];\nlme = trace(X) - 1;\nlmi = X + X';", 5, 2, 0, {2}},
    // The zero entries' equations 0 = 0 add no rank.
    {"lme_on_zero_entries", "var X(2)\nmask(X) = [1 0; 0 1];\nlme = X - eye(2);\nlmi = X + eye(2);", 5, 1, 0, {2}},
    {"mixed", "var sym P(2)\nvar x\nlme = [1 0]*P*[1; 0] - x;\nlmi = [1; -1]*x + [0; 1];\nlmi = P;\nlmi = block(P; [1 2], x);", 6,
     4, 2, {2, 3}},
};

INSTANTIATE_TEST_SUITE_P(Problems, BuiltProblemTest, ::testing::ValuesIn(kProblems),
                         [](const ::testing::TestParamInfo<ProblemCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The basis in detail

TEST_F(BuilderTest, SymmetricVariableMakesItsLowerEntryDependent) {
  ASSERT_EQ(run("var sym X(2)\nlmi = X;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const BuiltProblem& p = problem();
  // X(1,0) is unknown 2, X(0,1) unknown 3: the later entry of the tied
  // pair stays free, and X(1,0) = X(0,1).
  ASSERT_EQ(p.DependentIndex().Size(), 1);
  EXPECT_EQ(p.DependentIndex()[0], 2);
  const GenMatrixD Z = dense(p.Basis());
  for (int k = 0; k < p.Nv(); ++k) EXPECT_EQ(Z(0, k), p.FreeIndex()[k] == 3 ? 1.0 : 0.0) << k;
}

// Tied entries are copies of one free parameter, not the result of a
// solve: at any point they are equal to the last bit, and entries fixed at
// zero are zero. A basis row of the structure holds a single 1 or nothing.
TEST_F(BuilderTest, TiedEntriesComeOutExactlyEqual) {
  ASSERT_EQ(run("var sym P(4)\nvar X(3)\nmask(X) = [1 1 0; 2 1 2; 0 2 1];\nlmi = P;\nlmi = X + X';"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const BuiltProblem& p = problem();
  const std::vector<int> counts = p.Basis().RowCounts();
  const GenMatrixD Z = dense(p.Basis());
  for (int i = 0; i < p.Basis().Rows(); ++i) {
    EXPECT_LE(counts[i], 1) << i;
    for (int k = 0; k < p.Nv() && counts[i] == 1; ++k)
      EXPECT_TRUE(Z(i, k) == 0.0 || Z(i, k) == 1.0) << i << ", " << k;
  }
  for (int trial = 0; trial < 3; ++trial) {
    const GenMatrixD y = randomPoint();
    GenMatrixD x(p.Nvt(), 1);
    p.ExpandInto(y, x);
    // P is unknowns 1 .. 16 (4 x 4), X 17 .. 25: variables in name order.
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) EXPECT_EQ(x[1 + r + 4 * c], x[1 + c + 4 * r]) << r << ", " << c;
    const int X = 17;
    EXPECT_EQ(x[X + 0], x[X + 3]);  // mask 1: (0,0), (0,1), (1,1), (2,2)
    EXPECT_EQ(x[X + 0], x[X + 4]);
    EXPECT_EQ(x[X + 0], x[X + 8]);
    EXPECT_EQ(x[X + 1], x[X + 5]);  // mask 2: (1,0), (2,1), (1,2)
    EXPECT_EQ(x[X + 1], x[X + 7]);
    EXPECT_EQ(x[X + 2], 0.0);  // mask 0: (2,0), (0,2)
    EXPECT_EQ(x[X + 6], 0.0);
    EXPECT_NE(x[X + 0], x[X + 1]);
  }
}

// An LME that asks of tied entries what their tie forbids.
TEST_F(BuilderTest, LmeAgainstTheStructureIsIllConditioned) {
  const char* const scripts[] = {
      // X(0,1) - X(1,0) = 1 for a symmetric X.
      "var sym X(2)\nlme = [1 0]*X*[0; 1] - [0 1]*X*[1; 0] - 1;\nlmi = X;",
      // X(1,0) = 1 where the mask fixes it at zero.
      "var X(2)\nmask(X) = [1 0; 0 1];\nlme = [0 1]*X*[1; 0] - 1;\nlmi = X + X';",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    freshWorkspace();
    ASSERT_EQ(run(script), 0) << output.str();
    EXPECT_EQ(build(), 1);
    EXPECT_EQ(lastMessage(), "LME set is ill conditionated.");
  }
}

TEST_F(BuilderTest, DiagonalVariableFixesItsOffDiagonalEntriesToZero) {
  ASSERT_EQ(run("var diag D(3)\nlmi = D;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const BuiltProblem& p = problem();
  ASSERT_EQ(p.DependentIndex().Size(), 6);
  EXPECT_EQ(maxAbs(dense(p.Basis())), 0.0);
  std::vector<int> dependent;
  for (int i = 0; i < 6; ++i) dependent.push_back(p.DependentIndex()[i]);
  std::sort(dependent.begin(), dependent.end());
  // D(r, c) is unknown 1 + c * 3 + r; the diagonal is 1, 5, 9.
  EXPECT_EQ(dependent, (std::vector<int>{2, 3, 4, 6, 7, 8}));
}

TEST_F(BuilderTest, RankZeroLeavesEveryUnknownFree) {
  // Every equality row is zero: nothing to solve, no triangular system.
  ASSERT_EQ(run("var x\nvar y\nlme = 0*x;\nlme = 0*([1; 0]*x + [0; 1]*y);\nlmi = [1; 0]*x + [0; 1]*y;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(problem().Basis().Rows(), 0);
  EXPECT_EQ(problem().DependentIndex().Size(), 0);
  EXPECT_EQ(problem().Nv(), problem().Nvt());
}

TEST_F(BuilderTest, RepeatedLmeAddsNoRank) {
  ASSERT_EQ(run("var x\nvar y\nlme = x - 2*y + 1;\nlme = 2*x - 4*y + 2;\nlmi = [1; 0]*x + [0; 1]*y;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(problem().DependentIndex().Size(), 1);
}

TEST_F(BuilderTest, NegligibleBasisEntriesAreZero) {
  ASSERT_EQ(run("var x\nvar y\nlme = x - 1e-12*y;\nlmi = [1; 0]*x + [0; 1]*y;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const GenMatrixD Z = dense(problem().Basis());
  for (int e = 0; e < Z.Rows() * Z.Cols(); ++e) EXPECT_TRUE(Z[e] == 0.0 || std::fabs(Z[e]) >= 1e-10);
}

// ---------------------------------------------------------------------------
// The inequalities in detail

TEST_F(BuilderTest, MatrixInequalityKeepsItsConstantLast) {
  ASSERT_EQ(run("var sym X(2)\nlmi = X - 0.5*eye(2);\nlmi = 2*X + 1e-12;\nlmi = X + 1e-3;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const TermBlock& first = problem().TermBlockAt(0);
  ASSERT_EQ(first.NumTerms(), 2);
  EXPECT_EQ(first.Term(0).variable, 1);
  EXPECT_EQ(first.Term(1).variable, 0);
  EXPECT_TRUE(nearMatrix(first.Term(1).left, make(2, 2, {-0.5, 0, 0, -0.5}), 0.0));
  // A scalar left side is the coefficient; a constant below rank_eps goes.
  const TermBlock& second = problem().TermBlockAt(1);
  ASSERT_EQ(second.NumTerms(), 1);
  EXPECT_EQ(second.Term(0).coefficient, 2.0);
  EXPECT_EQ(second.Term(0).leftIsIdentity, 1);
  const TermBlock& third = problem().TermBlockAt(2);
  ASSERT_EQ(third.NumTerms(), 2);
  EXPECT_EQ(third.Term(1).coefficient, 1e-3);
}

TEST_F(BuilderTest, NegligibleTermIsDroppedWhole) {
  // The X term of the first LMI goes with its right factor; what is left is
  // 1 x 1 and still stands in a block of the stated size 2.
  ASSERT_EQ(run("var x\nvar X(2,3)\nvar sym Y(2)\nB = ones(3,2);\nlmi = x + 1e-12*X*B;\nlmi = Y + X*B + B'*X';"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const TermBlock& first = problem().TermBlockAt(0);
  for (int k = 0; k < first.NumTerms(); ++k) EXPECT_NE(first.Term(k).variable, 2) << k;
  EXPECT_EQ(first.Size(), 2);
  EXPECT_EQ(problem().BlockSizes()[0], 2);
}

// The written term names X: the variable is referenced although the term
// is too small to be kept.
TEST_F(BuilderTest, NegligibleTermStillReferencesItsVariable) {
  ASSERT_EQ(run("var sym X(2)\nvar sym Y(2)\nlmi = Y + 1e-12*X;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const TermBlock& block = problem().TermBlockAt(0);
  ASSERT_EQ(block.NumTerms(), 1);
  EXPECT_EQ(block.Term(0).variable, 2);
}

// A quoted name reaches the hidden variable. It is the constant 1: in an
// LME its coefficient joins the constants, and a zero mask on it asks for
// 1 = 0.
TEST_F(BuilderTest, HiddenVariableInEqualitiesIsTheConstantOne) {
  ASSERT_EQ(run("var x\nvar y\nlme = \" Affine Variable\" + x - 3;\nlmi = [1; 0]*x + [0; 1]*y;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const BuiltProblem& p = problem();
  ASSERT_EQ(p.DependentIndex().Size(), 1);
  EXPECT_EQ(p.DependentIndex()[0], 1);
  // x = 3 - 1 whatever y is.
  const GenMatrixD Z = dense(p.Basis());
  EXPECT_NEAR(Z(0, 0), 2.0, 1e-14);
  for (int k = 1; k < p.Nv(); ++k) EXPECT_EQ(Z(0, k), 0.0) << k;

  ASSERT_EQ(run("mask(\" Affine Variable\") = 0;"), 0) << output.str();
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "LME set is ill conditionated.");
}

TEST_F(BuilderTest, LowerBlockIsStoredTransposed) {
  // Written block (1, 0) is C X D; the sub-block holds D' X' C'.
  ASSERT_EQ(run("var X(2)\nvar sym P(2)\nC = [1 2; 0 1];\nD = [2 0; 1 1];\nlmi = block(P; C*X*D, P);"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const SubBlock& lower = problem().BlockLmiAt(0).SubBlockAt(1, 0);
  ASSERT_GE(lower.NumTerms(), 1);
  const ReducedTerm& term = lower.Term(0);
  EXPECT_EQ(term.transposed, 1);
  EXPECT_TRUE(nearMatrix(term.left, make(2, 2, {2, 1, 0, 1}), 0.0));
  EXPECT_TRUE(nearMatrix(term.right, make(2, 2, {1, 0, 2, 1}), 0.0));
}

TEST_F(BuilderTest, ColumnVectorConstantsFillColumnZero) {
  ASSERT_EQ(run("var x\nvar y\nlmi = [1; 0]*x + [0; 1]*y;\np = 1;\nlmi = [p; 2*p] + x;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const GenMatrixD& C = problem().Linear().Coefficients();
  // Unknowns: 0 the constant, 1 x, 2 y.
  EXPECT_TRUE(nearMatrix(C, make(4, 3, {0, 1, 0, 0, 0, 1, 1, 1, 0, 2, 1, 0}), 0.0));
}

TEST_F(BuilderTest, ObjectiveOfSymmetricVariable) {
  ASSERT_EQ(run("var sym X(2)\nlmi = X;\nobj = trace(X) + 5;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  const BuiltProblem& p = problem();
  ASSERT_EQ(objectiveVector.Rows(), p.Nv());
  // Free parameters X(0,0) (unknown 1), X(0,1) (3), X(1,1) (4).
  for (int k = 1; k < p.Nv(); ++k) {
    const int u = p.FreeIndex()[k];
    EXPECT_EQ(objectiveVector[k], u == 1 || u == 4 ? 1.0 : 0.0) << u;
  }
}

// ---------------------------------------------------------------------------
// Variables, progress and what each failure leaves

TEST_F(BuilderTest, VariablesAreZeroAfterABuildThatNeedsCoefficients) {
  ASSERT_EQ(run("var X(2) = [1 2; 3 4]\nvar y = 3\nlme = X - X';\nlmi = X + y;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(maxAbs(asMatrix(variableTable.Lookup("X").GetValue())), 0.0);
  EXPECT_EQ(asMatrix(variableTable.Lookup("y").GetValue())[0], 0.0);
  // The built values hold the point of all free parameters 1.
  EXPECT_EQ(builtVariableValues[0][0], 1.0);
  for (int k = 0; k < problem().Nv(); ++k) {
    const int u = problem().FreeIndex()[k];
    const int v = u == 0 ? 0 : (u <= 4 ? 1 : 2);
    const int offset = v == 0 ? 0 : (v == 1 ? 1 : 5);
    EXPECT_EQ(builtVariableValues[v][u - offset], 1.0) << u;
  }
}

TEST_F(BuilderTest, VariablesKeepTheirValuesWithoutEqualitiesOrColumns) {
  ASSERT_EQ(run("var sym X(2) = [1 2; 2 4]\nlmi = X;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_TRUE(nearMatrix(asMatrix(variableTable.Lookup("X").GetValue()), make(2, 2, {1, 2, 2, 4}), 0.0));
}

TEST_F(BuilderTest, ZeroingNeverReachesStorageSharedWithTheVariable) {
  ASSERT_EQ(run("var X(2) = [1 2; 3 4]\nlme = X - X';\nlmi = X;"), 0);
  // A parameter holding the variable's very elements.
  const Value shared = variableTable.Lookup("X").GetValue();
  setParameter("p", shared);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_TRUE(nearMatrix(asMatrix(parameterTable.Lookup("p")), make(2, 2, {1, 2, 3, 4}), 0.0));
  EXPECT_EQ(maxAbs(asMatrix(variableTable.Lookup("X").GetValue())), 0.0);
}

TEST_F(BuilderTest, CompactFormatPrintsNothing) {
  ASSERT_EQ(run("var sym X(2)\nlmi = X;\nobj = trace(X);"), 0);
  verboseFormat = 0;
  ASSERT_EQ(build(), 0);
  EXPECT_EQ(output.str(), "");
}

TEST_F(BuilderTest, NamesSortByteWise) {
  ASSERT_EQ(run("var b\nvar a\nvar B\nlmi = [1; 0; 0]*a + [0; 1; 0]*b + [0; 0; 1]*B;"), 0);
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(builtVariableNames, (std::vector<std::string>{kAffineVariableName, "B", "a", "b"}));
  // Row 0 is a: unknown 2.
  EXPECT_EQ(problem().Linear().Coefficients()(0, 2), 1.0);
}

TEST_F(BuilderTest, IllConditionedLmesKeepThePreviousProblem) {
  ASSERT_EQ(run("var x = 5\nlmi = x;"), 0);
  ASSERT_EQ(build(), 0);
  BuiltProblem* previous = builtProblem;
  ASSERT_EQ(run("lme = x - 1;\nlme = x - 2;"), 0);
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "LME set is ill conditionated.");
  EXPECT_EQ(builtProblem, previous);
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(asMatrix(variableTable.Lookup("x").GetValue())[0], 0.0);
}

TEST_F(BuilderTest, AsymmetricConstraintLeavesTheNewProblemAtTheTestPoint) {
  ASSERT_EQ(run("var sym X(2)\nA = [1 2; 3 4];\nlmi = A*X;"), 0);
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "Constraint set is not symmetric.");
  ASSERT_NE(builtProblem, nullptr);
  EXPECT_EQ(problem().Nb(), 1);
  EXPECT_TRUE(nearMatrix(builtVariableValues[1], make(2, 2, {1, 1, 1, 1}), 0.0));
  EXPECT_EQ(needsRebuild, 1);
}

// Symmetric at the point of all free parameters 1, but not along a single
// one of them.
TEST_F(BuilderTest, AsymmetryAlongAFreeParameterIsRefused) {
  const char* scripts[] = {
      "var X(2)\nlmi = X;",
      "var x\nvar y\nA = [1 2; 3 4];\nlmi = x*A - y*A + eye(2);",
      "var X(2)\nvar sym P(2)\nlmi = block(X; eye(2), P);",
      "var X(2)\nvar Y(2)\nlmi = X - Y' + eye(2);",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    ASSERT_EQ(runAfresh(script), 0) << output.str();
    EXPECT_EQ(build(), 1);
    EXPECT_EQ(lastMessage(), "Constraint set is not symmetric.");
    // The test point stays in the variables.
    for (const GenMatrixD& value : builtVariableValues) EXPECT_EQ(value.Rows() * value.Cols() > 0 ? value[0] : 1.0, 1.0);
  }
}

TEST_F(BuilderTest, AsymmetryBelowRankEpsPasses) {
  ASSERT_EQ(run("var sym X(2)\nA = [1 1e-12; 0 1];\nlmi = A*X;"), 0);
  EXPECT_EQ(build(), 0) << output.str();
}

TEST_F(BuilderTest, MissingAffineVariableIsReported) {
  ASSERT_EQ(run("var x\nlmi = x;"), 0);
  variableTable.Remove(kAffineVariableName);
  variableTable.Insert("  before", VarRecord(kScl, Value(0.0)));
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "Affine Variable name error. Please report.");
}

TEST_F(BuilderTest, NoVariablesIsReportedWithoutProgress) {
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "Cannot build problem without variables...");
  EXPECT_EQ(output.str().find("- "), std::string::npos);
  EXPECT_NE(output.str().rfind("#> Error", 0), std::string::npos) << "no blank line before the report";
}

// The objective text gives a 1 x 2 value once its parameter has grown.
TEST_F(BuilderTest, ObjectiveThatIsNoLongerScalarIsRefused) {
  ASSERT_EQ(run("var x\nlmi = x;\np = 1;\nobj = p*x;\np = [1 2];"), 0);
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "Objective must be a scalar function.");
}

// A constraint that breaks a rule of its shape is refused with that rule,
// whatever its coefficients hold: the shape is checked first, as the
// statement checked it.
TEST_F(BuilderTest, ShapeRuleComesBeforeTheFinitenessOfTheCoefficients) {
  ASSERT_EQ(runAfresh("var x\nA = [1 2; 2 4];\nlmi = x*A;\nA = [1 2 3; 4 5 1/0];"), 0) << output.str();
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "LMI must be a square matrix or a column vector.");
}

// A parameter that has become empty since its constraint was stated leaves
// a product with no element for the variable to enter: the build refuses
// the text as the statement would have, instead of building an empty block
// that names a variable.
TEST_F(BuilderTest, ConstraintWhoseParameterBecameEmptyIsRefused) {
  const char* scripts[] = {
      "var x\nlmi = x;\np = 1;\nlme = x*p;\np = [];",
      "var x\nlmi = x;\np = 1;\nlme = p*x;\np = [];",
      "var x\np = 1;\nlmi = x*p;\np = [];",
      "var x\nlmi = x;\np = 1;\nobj = x/p;\np = [];",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    ASSERT_EQ(runAfresh(script), 0) << output.str();
    EXPECT_EQ(build(), 1);
    EXPECT_EQ(lastMessage(), "Can not multiply or divide LMI by matrices with different number of collumns/lines!");
    EXPECT_EQ(needsRebuild, 1);
  }
}

// A 20000 x 20000 inequality of one term holds only its two factors, but
// the work areas of the build would count 20000^2 * 6 elements, past the
// int range: the build refuses it instead of making them too small.
TEST_F(BuilderTest, WorkMatricesTooLargeToHoldAreRefused) {
  ASSERT_EQ(run("var x\nlmi = ones(20000, 1)*x*ones(1, 20000);"), 0) << output.str();
  EXPECT_EQ(build(), 1);
  EXPECT_EQ(lastMessage(), "Invalid size.");
  EXPECT_EQ(needsRebuild, 1);
}

// The LMEs' equations are stacked over the unknowns the structure leaves
// free: 3000 equations over a diagonal 1000 x 1000 variable, whose million
// unknowns would make a matrix of all of them 3e9 elements, past what a
// matrix counts. The build needs only the thousand free entries, and the
// equations fix every one of them: X = I.
TEST_F(BuilderTest, LmesOverAVariableOfManyEntriesNeedOnlyItsFreeOnes) {
  ASSERT_EQ(run("var diag X(1000)\nlme = X*ones(1000, 3) - ones(1000, 3);\nlmi = X;"), 0) << output.str();
  ASSERT_EQ(build(), 0) << output.str().substr(0, 2000);
  EXPECT_EQ(problem().Nv(), 1);
  GenMatrixD y(1, 1, 1.0, 0);
  setVariables(expand(y));
  EXPECT_LE(maxAbs(asMatrix(lmeBlocks[0].Eval(variableTable))), 1e-12);
}

// eval(lmi(k)) of a block LMI assembles the whole symmetric matrix: 47
// diagonal blocks of 1000 would make it 47000 x 47000, more elements than an
// int counts, though every block is small. It is refused before any block
// is shown.
TEST_F(BuilderTest, EvalOfAnLmiTooLargeToAssembleIsRefused) {
  const int blocks = 47;
  const std::string term = "ones(1000, 1)*x*ones(1, 1000)";
  std::string script = "var x\nlmi = block(";
  for (int i = 0; i < blocks; ++i) {
    for (int j = 0; j <= i; ++j) script += term + (j < i ? ", " : "");
    script += i + 1 < blocks ? ";\n" : ");";
  }
  ASSERT_EQ(run(script), 0) << output.str().substr(0, 400);
  output.str("");
  EXPECT_EQ(run("eval(lmi(1));"), 1);
  EXPECT_EQ(lastMessage(), "Invalid size.");
  EXPECT_EQ(output.str().find("tmpLmi"), std::string::npos);
}

// The coefficient code meets only terms the algebra made, which have no
// empty coefficient; one that had would add nothing rather than read a
// matrix that is not there.
TEST(AffineCoefficients, TermWithAnEmptyCoefficientAddsNothing) {
  VMatTerm term;
  term.name = "z";
  term.leftIsIdentity = 0;  // left stays the empty value
  const GenMatrixD z(1, 1, 0.0, 0);
  for (int size : {0, 2}) {
    SCOPED_TRACE(size);
    GenMatrixD out(4, 3, 0.0, 0);
    addTermCoefficients(term, z, size, size, out, 0, 1);
    EXPECT_EQ(maxAbs(out), 0.0);
  }
}

// ---------------------------------------------------------------------------
// A larger problem stays fast: a 12 x 12 symmetric variable, a Lyapunov
// inequality and an equality.

TEST_F(BuilderTest, LargerProblemSolvesItsEqualities) {
  std::string script = "var sym X(12)\nA = zeros(12);\n";
  for (int i = 1; i <= 12; ++i) {
    script += "A(" + std::to_string(i) + "," + std::to_string(i) + ") = -" + std::to_string(i) + ";\n";
    if (i < 12) script += "A(" + std::to_string(i) + "," + std::to_string(i + 1) + ") = 1;\n";
  }
  script += "lme = trace(X) - 1;\nlmi = -A'*X - X*A;\nlmi = X;\nobj = [1 zeros(1,11)]*X*[1; zeros(11,1)];";
  ASSERT_EQ(run(script), 0) << output.str();
  ASSERT_EQ(build(), 0) << output.str();
  EXPECT_EQ(problem().Nv(), 1 + 78 - 1);
  const GenMatrixD y = randomPoint();
  setVariables(expand(y));
  EXPECT_LE(maxAbs(asMatrix(lmeBlocks[0].Eval(variableTable))), 1e-9);
}

}  // namespace
