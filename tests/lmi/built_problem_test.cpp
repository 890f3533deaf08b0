#include "built_problem.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "reference_matrices.h"
#include "test_matrices.h"

namespace {

// The basis that keeps the nonzero entries of a dense Z.
EqualityBasis sparseBasis(const GenMatrixD& Z) {
  std::vector<EqualityBasis::Row> rows(Z.Rows());
  for (int i = 0; i < Z.Rows(); ++i)
    for (int k = 0; k < Z.Cols(); ++k) rows[i].push_back({k, Z(i, k)});
  return EqualityBasis(Z.Cols(), rows);
}

// M + M'
GenMatrixD plusTranspose(const GenMatrixD& M) {
  GenMatrixD S(M.Rows(), M.Cols());
  for (int i = 0; i < M.Rows(); ++i)
    for (int j = 0; j < M.Cols(); ++j) S(i, j) = M(i, j) + M(j, i);
  return S;
}

// The problem's variables share the storage of `values`, as the workspace's
// builtVariableValues do.
class BuiltProblemTest : public ::testing::Test {
 protected:
  void Make(const std::vector<GenMatrixD>& shapes, int termBlocks, int blockLmis, int withLinear) {
    values.clear();
    for (const GenMatrixD& m : shapes) values.push_back(GenMatrixD(m));
    problem = std::make_unique<BuiltProblem>(static_cast<int>(values.size()), termBlocks, blockLmis, withLinear);
    for (int v = 0; v < static_cast<int>(values.size()); ++v) problem->SetVariable(v, values[v]);
  }

  std::vector<GenMatrixD> values;
  std::unique_ptr<BuiltProblem> problem;
};

GenMatrixD zeros(int rows, int cols) { return GenMatrixD(rows, cols, 0.0, 0); }

// ---------------------------------------------------------------------------
// Dimensions

TEST_F(BuiltProblemTest, TermDimensionsTreatOneByOneOperandsAsScalars) {
  // x0, X 2 x 3, x 1 x 1.
  Make({zeros(1, 1), zeros(2, 3), zeros(1, 1)}, 1, 0, 0);
  struct Case {
    const char* name;
    std::function<void(TermBlock&)> set;
    int rows;
    int cols;
  };
  const Case cases[] = {
      {"X", [](TermBlock& b) { b.SetVariable(0, 1); }, 2, 3},
      {"X'",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetTransposed(0);
       },
       3, 2},
      {"L X",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetLeftFactor(0, zeros(4, 2));
       },
       4, 3},
      {"X R",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetRightFactor(0, zeros(3, 5));
       },
       2, 5},
      {"L X' R",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetTransposed(0);
         b.SetLeftFactor(0, zeros(4, 3));
         b.SetRightFactor(0, zeros(2, 1));
       },
       4, 1},
      {"X * 2",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetRightFactor(0, make(1, 1, {2}));
       },
       2, 3},
      {"3 * X' / 2",
       [](TermBlock& b) {
         b.SetVariable(0, 1);
         b.SetTransposed(0);
         b.SetLeftFactor(0, make(1, 1, {3}));
         b.SetRightFactor(0, make(1, 1, {0.5}));
       },
       3, 2},
      {"x", [](TermBlock& b) { b.SetVariable(0, 2); }, 1, 1},
      {"x L R",
       [](TermBlock& b) {
         b.SetVariable(0, 2);
         b.SetLeftFactor(0, zeros(2, 1));
         b.SetRightFactor(0, zeros(1, 2));
       },
       2, 2},
      {"x L",
       [](TermBlock& b) {
         b.SetVariable(0, 2);
         b.SetLeftFactor(0, zeros(3, 3));
       },
       3, 3},
      {"x R",
       [](TermBlock& b) {
         b.SetVariable(0, 2);
         b.SetRightFactor(0, zeros(1, 4));
       },
       1, 4},
      // a 1 x 1 right factor is a scalar, also on a 1 x 1 variable
      {"x L * 2",
       [](TermBlock& b) {
         b.SetVariable(0, 2);
         b.SetLeftFactor(0, zeros(2, 2));
         b.SetRightFactor(0, make(1, 1, {2}));
       },
       2, 2},
  };
  for (const Case& c : cases) {
    TermBlock& block = problem->TermBlockAt(0);
    block.Resize(1);
    c.set(block);
    EXPECT_EQ(block.Term(0).Rows(block.Variables()), c.rows) << c.name;
    EXPECT_EQ(block.Term(0).Cols(block.Variables()), c.cols) << c.name;
  }
}

// A 1 x 1 term in a larger block stands for the scalar times the identity,
// wherever it is written: the block keeps its stated size.
TEST_F(BuiltProblemTest, BlockSizeIsTheStatedSizeWhateverTermComesFirst) {
  Make({zeros(1, 1), zeros(3, 3), zeros(1, 1)}, 2, 1, 0);
  TermBlock& scalarFirst = problem->TermBlockAt(0);  // x + X - 1
  scalarFirst.Resize(3);
  scalarFirst.SetVariable(0, 2);
  scalarFirst.SetVariable(1, 1);
  scalarFirst.SetVariable(2, 0);
  scalarFirst.SetCoefficient(2, -1.0);
  TermBlock& scalarOnly = problem->TermBlockAt(1);  // x - 1 (a 1 x 1 inequality)
  scalarOnly.Resize(2);
  scalarOnly.SetVariable(0, 2);
  scalarOnly.SetVariable(1, 0);
  BlockLmi& block = problem->BlockLmiAt(0);  // [x + X, *; X, x]
  block.Allocate(2);
  block.SubBlockAt(0, 0).Resize(2);
  block.SubBlockAt(0, 0).SetVariable(0, 2);
  block.SubBlockAt(0, 0).SetVariable(1, 1);
  block.SubBlockAt(1, 0).Resize(1);
  block.SubBlockAt(1, 0).SetVariable(0, 1);
  block.SubBlockAt(1, 1).Resize(2);
  block.SubBlockAt(1, 1).SetVariable(0, 2);
  block.SubBlockAt(1, 1).SetVariable(1, 1);
  problem->FinalizeSizes();
  EXPECT_EQ(scalarFirst.Size(), 3);
  EXPECT_EQ(scalarOnly.Size(), 1);
  EXPECT_EQ(block.RowOffset(1), 3);
  EXPECT_EQ(block.Size(), 6);
  const int* sizes = problem->BlockSizes();
  EXPECT_EQ(sizes[0], 3);
  EXPECT_EQ(sizes[1], 1);
  EXPECT_EQ(sizes[2], 6);
  EXPECT_EQ(problem->MaxDimension(), 3);
  EXPECT_EQ(problem->Scratch().Rows(), 9);
  EXPECT_EQ(problem->Scratch().Cols(), 6);
}

TEST_F(BuiltProblemTest, BlockLmiRowOffsetsAndPackedEntries) {
  Make({zeros(1, 1), zeros(2, 2), zeros(2, 3), zeros(3, 3)}, 0, 1, 0);
  BlockLmi& block = problem->BlockLmiAt(0);
  block.Allocate(2);
  block.SubBlockAt(0, 0).Resize(1);
  block.SubBlockAt(0, 0).SetVariable(0, 1);  // 2 x 2
  block.SubBlockAt(1, 0).Resize(1);
  block.SubBlockAt(1, 0).SetVariable(0, 2);  // 2 x 3
  block.SubBlockAt(1, 1).Resize(1);
  block.SubBlockAt(1, 1).SetVariable(0, 3);  // 3 x 3
  problem->FinalizeSizes();
  EXPECT_EQ(block.N(), 2);
  EXPECT_EQ(block.RowOffset(0), 0);
  EXPECT_EQ(block.RowOffset(1), 2);
  EXPECT_EQ(block.RowOffset(2), 5);
  EXPECT_EQ(block.Height(1), 3);
  EXPECT_EQ(block.Size(), 5);
  EXPECT_EQ(&block.SubBlockAt(0, 1), &block.SubBlockAt(1, 0));
  EXPECT_NE(&block.SubBlockAt(1, 1), &block.SubBlockAt(1, 0));
  EXPECT_EQ(problem->BlockSizes()[0], 5);
  EXPECT_EQ(block.MaxDimension(), 3);  // the whole dimension 5 does not enter
}

TEST_F(BuiltProblemTest, MaxDimensionCoversFactorsLargerThanTheBlock) {
  Make({zeros(1, 1), zeros(5, 5)}, 1, 0, 0);
  TermBlock& block = problem->TermBlockAt(0);  // L X R, 2 x 2 through 5 x 5
  block.Resize(1);
  block.SetVariable(0, 1);
  block.SetLeftFactor(0, zeros(2, 5));
  block.SetRightFactor(0, zeros(5, 2));
  problem->FinalizeSizes();
  EXPECT_EQ(block.Size(), 2);
  EXPECT_EQ(problem->MaxDimension(), 5);
  EXPECT_EQ(problem->Scratch().Rows(), 25);

  Make({zeros(1, 1), zeros(5, 2)}, 1, 0, 0);  // L X, 2 x 2 through a 2 x 5 factor
  problem->TermBlockAt(0).Resize(1);
  problem->TermBlockAt(0).SetVariable(0, 1);
  problem->TermBlockAt(0).SetLeftFactor(0, zeros(2, 5));
  problem->FinalizeSizes();
  EXPECT_EQ(problem->MaxDimension(), 5);

  Make({zeros(1, 1), zeros(2, 2)}, 0, 0, 1);  // no matrix inequality at all
  problem->Linear().SetCoefficients(zeros(1, 5));
  problem->FinalizeSizes();
  EXPECT_EQ(problem->MaxDimension(), 0);
  EXPECT_EQ(problem->Scratch().Size(), 0);
}

// ---------------------------------------------------------------------------
// Sizes and unknowns

TEST_F(BuiltProblemTest, UnknownsAreNumberedVariableByVariableColumnByColumn) {
  Make({zeros(1, 1), zeros(2, 2), zeros(3, 1)}, 0, 0, 1);
  problem->Linear().SetCoefficients(zeros(1, 8));
  problem->FinalizeSizes();
  EXPECT_EQ(problem->Offset(0), 0);
  EXPECT_EQ(problem->Offset(1), 1);
  EXPECT_EQ(problem->Offset(2), 5);
  EXPECT_EQ(problem->Nvt(), 8);
  GenMatrixD x(8, 1);
  for (int u = 0; u < 8; ++u) x[u] = u;
  problem->StoreUnknowns(x);
  EXPECT_EQ(values[1](1, 0), 2.0);
  EXPECT_EQ(values[1](0, 1), 3.0);
  EXPECT_EQ(values[2](2, 0), 7.0);
  EXPECT_EQ(values[0](0, 0), 0.0);
}

TEST_F(BuiltProblemTest, SizesOfTheSolver) {
  struct Case {
    int withLinear;
    int nt, sumSizes, workRows;
  };
  // Blocks of dimensions 3 and 2 over 8 unknowns, with and without 4 linear rows.
  const Case cases[] = {{1, 13, 9, 13}, {0, 9, 5, 9}};
  for (const Case& c : cases) {
    Make({zeros(1, 1), zeros(3, 3), zeros(2, 2)}, 2, 0, c.withLinear);
    problem->TermBlockAt(0).Resize(1);
    problem->TermBlockAt(0).SetVariable(0, 1);
    problem->TermBlockAt(1).Resize(1);
    problem->TermBlockAt(1).SetVariable(0, 2);
    if (c.withLinear) problem->Linear().SetCoefficients(zeros(4, 14));
    problem->FinalizeSizes();
    EXPECT_EQ(problem->Nvt(), 14);
    EXPECT_EQ(problem->Nb(), 2);
    EXPECT_EQ(problem->Td(), c.withLinear ? 4 : 0);
    EXPECT_EQ(problem->Nt(), c.nt);
    EXPECT_EQ(problem->SumSizes(), c.sumSizes);
    EXPECT_EQ(problem->Nv(), 14);
    EXPECT_EQ(problem->Work().Rows(), std::max(c.workRows, 14));
    EXPECT_EQ(problem->Work().Cols(), 15);
    EXPECT_EQ(problem->NewtonMatrix().Rows(), 14);
    EXPECT_EQ(problem->NewtonMatrix().Cols(), 14);
    EXPECT_EQ(problem->LeastSquaresMatrix().Rows(), c.nt + 1);
    EXPECT_EQ(problem->LeastSquaresMatrix().Cols(), 14);
    // Kept, and one block for both: every phase of the build works on the
    // same storage.
    const double* newton = problem->NewtonMatrix().Data();
    EXPECT_EQ(problem->NewtonMatrix().Data(), newton);
    EXPECT_EQ(problem->LeastSquaresMatrix().Data(), newton);
  }
}

TEST_F(BuiltProblemTest, ExampleSizesWithFourLinearRows) {
  // 8 unknowns; block 0 is L b R (3 x 3), block 1 is A (2 x 2).
  Make({zeros(1, 1), zeros(3, 1), zeros(2, 2)}, 2, 0, 1);
  problem->TermBlockAt(0).Resize(1);
  problem->TermBlockAt(0).SetVariable(0, 1);
  problem->TermBlockAt(0).SetLeftFactor(0, zeros(3, 3));
  problem->TermBlockAt(0).SetRightFactor(0, zeros(1, 3));
  problem->TermBlockAt(1).Resize(1);
  problem->TermBlockAt(1).SetVariable(0, 2);
  problem->Linear().SetCoefficients(zeros(4, 8));
  problem->FinalizeSizes();
  EXPECT_EQ(problem->Nvt(), 8);
  EXPECT_EQ(problem->Nt(), 13);
  EXPECT_EQ(problem->SumSizes(), 9);
  EXPECT_EQ(problem->Work().Rows(), 13);
  EXPECT_EQ(problem->Work().Cols(), 9);
}

// ---------------------------------------------------------------------------
// Sharing

TEST_F(BuiltProblemTest, FactorsAndVariablesShareTheirStorage) {
  Make({zeros(1, 1), zeros(2, 2)}, 1, 0, 0);
  GenMatrixD L = make(2, 2, {1, 2, 3, 4});
  TermBlock& block = problem->TermBlockAt(0);
  block.Resize(1);
  block.SetVariable(0, 1);
  block.SetLeftFactor(0, L);
  L(0, 0) = 9.0;
  EXPECT_EQ(block.Term(0).left(0, 0), 9.0);
  EXPECT_EQ(block.Term(0).leftIsIdentity, 0);
  EXPECT_EQ(block.Term(0).rightIsIdentity, 1);
  problem->Variable(1)(1, 1) = 5.0;
  EXPECT_EQ(values[1](1, 1), 5.0);
}

// ---------------------------------------------------------------------------
// Expansion of the free parameters

TEST_F(BuiltProblemTest, ExpansionIsTheBasisTimesTheFreeParameters) {
  std::mt19937 rng(31);
  Make({zeros(1, 1), zeros(2, 2), zeros(3, 1)}, 0, 0, 1);
  problem->Linear().SetCoefficients(zeros(1, 8));
  const GenMatrixD Z = randomMatrix(3, 5, rng);
  SharedArray<int> freeIndex(5);
  SharedArray<int> dependentIndex(3);
  const int freeList[] = {0, 3, 1, 6, 4};
  const int dependentList[] = {7, 2, 5};
  for (int j = 0; j < 5; ++j) freeIndex[j] = freeList[j];
  for (int i = 0; i < 3; ++i) dependentIndex[i] = dependentList[i];
  problem->SetBasis(sparseBasis(Z));
  problem->SetFreeIndex(freeIndex);
  problem->SetDependentIndex(dependentIndex);
  problem->FinalizeSizes();
  EXPECT_EQ(problem->Nv(), 5);
  const GenMatrixD y = randomMatrix(5, 1, rng);
  problem->ExpandFreeParameters(y);

  // x = T y with T the nvt x nv expansion: unit rows for the free unknowns,
  // rows of Z for the dependent ones.
  GenMatrixD T(8, 5, 0.0, 0);
  for (int j = 0; j < 5; ++j) T(freeList[j], j) = 1.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 5; ++j) T(dependentList[i], j) = Z(i, j);
  const GenMatrixD x = naiveProduct(T, y);
  GenMatrixD stored(8, 1);
  int u = 0;
  for (const GenMatrixD& v : values)
    for (int e = 0; e < v.Rows() * v.Cols(); ++e) stored[u++] = v[e];
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(stored[k], x[k], 1e-14) << k;
}

TEST_F(BuiltProblemTest, WithoutEqualitiesEveryUnknownIsFree) {
  Make({zeros(1, 1), zeros(2, 2)}, 0, 0, 1);
  problem->Linear().SetCoefficients(zeros(1, 5));
  problem->FinalizeSizes();
  EXPECT_EQ(problem->Nv(), 5);
  ASSERT_EQ(problem->FreeIndex().Size(), 5);
  EXPECT_EQ(problem->DependentIndex().Size(), 0);
  problem->ExpandFreeParameters(make(5, 1, {1, 2, 3, 4, 5}));
  EXPECT_EQ(values[0](0, 0), 1.0);
  EXPECT_EQ(values[1](0, 0), 2.0);
  EXPECT_EQ(values[1](1, 0), 3.0);
  EXPECT_EQ(values[1](0, 1), 4.0);
  EXPECT_EQ(values[1](1, 1), 5.0);
}

// ---------------------------------------------------------------------------
// Evaluation of all constraints

// x0, B (2 x 3), X (2 x 2, its entry (1, 0) tied to (0, 1)), y (1 x 1):
// unknowns 0 | 1..6 | 7..10 | 11, unknown 8 dependent on unknown 9.
class EvaluateAtTest : public BuiltProblemTest {
 protected:
  void SetUp() override {
    std::mt19937 rng(37);
    Make({zeros(1, 1), zeros(2, 3), zeros(2, 2), zeros(1, 1)}, 2, 1, 1);
    C = randomMatrix(3, 12, rng);
    A = randomMatrix(2, 2, rng);
    N = randomMatrix(3, 2, rng);
    C0 = randomMatrix(2, 2, rng);
    w = randomMatrix(2, 1, rng);
    problem->Linear().SetCoefficients(C);
    // A X + (A X)' - 2
    TermBlock& first = problem->TermBlockAt(0);
    first.Resize(2);
    first.SetVariable(0, 2);
    first.SetLeftFactor(0, A);
    first.SetSymmetric(0);
    first.SetVariable(1, 0);
    first.SetCoefficient(1, -2.0);
    // y + B N + (B N)' + C0
    TermBlock& second = problem->TermBlockAt(1);
    second.Resize(3);
    second.SetVariable(0, 3);
    second.SetVariable(1, 1);
    second.SetRightFactor(1, N);
    second.SetSymmetric(1);
    second.SetVariable(2, 0);
    second.SetLeftFactor(2, C0);
    // [X - 1, X w; (X w)', y + 3]
    BlockLmi& block = problem->BlockLmiAt(0);
    block.Allocate(2);
    block.SubBlockAt(0, 0).Resize(2);
    block.SubBlockAt(0, 0).SetVariable(0, 2);
    block.SubBlockAt(0, 0).SetVariable(1, 0);
    block.SubBlockAt(0, 0).SetCoefficient(1, -1.0);
    block.SubBlockAt(1, 0).Resize(1);
    block.SubBlockAt(1, 0).SetVariable(0, 2);
    block.SubBlockAt(1, 0).SetRightFactor(0, w);
    block.SubBlockAt(1, 1).Resize(2);
    block.SubBlockAt(1, 1).SetVariable(0, 3);
    block.SubBlockAt(1, 1).SetVariable(1, 0);
    block.SubBlockAt(1, 1).SetCoefficient(1, 3.0);

    GenMatrixD Z(1, 11, 0.0, 0);
    Z(0, 8) = 1.0;  // free parameter 8 is unknown 9
    SharedArray<int> freeIndex(11);
    for (int j = 0; j < 11; ++j) freeIndex[j] = j < 8 ? j : j + 1;
    SharedArray<int> dependentIndex(1, 8);
    problem->SetBasis(sparseBasis(Z));
    problem->SetFreeIndex(freeIndex);
    problem->SetDependentIndex(dependentIndex);
    problem->FinalizeSizes();
    y = randomMatrix(11, 1, rng);
  }

  GenMatrixD C, A, N, C0, w, y;
};

TEST_F(EvaluateAtTest, EveryConstraintTakesItsValueAtTheExpandedPoint) {
  ASSERT_EQ(problem->Nv(), 11);
  BlockDiagonalMatrix out(problem->Nb(), problem->BlockSizes(), problem->Td(), 0);
  problem->EvaluateAt(y, out);

  // The point, unknown by unknown.
  GenMatrixD x(12, 1);
  for (int u = 0; u < 12; ++u) x[u] = u < 8 ? y[u] : (u == 8 ? y[8] : y[u - 1]);
  const double x0 = x[0];
  const double yy = x[11];
  GenMatrixD B(2, 3);
  for (int e = 0; e < 6; ++e) B[e] = x[1 + e];
  GenMatrixD X(2, 2);
  for (int e = 0; e < 4; ++e) X[e] = x[7 + e];
  EXPECT_EQ(values[0](0, 0), y[0]);
  EXPECT_EQ(values[2](1, 0), values[2](0, 1));

  const GenMatrixD linear = naiveProduct(C, x);
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(out.Diagonal()[r], linear[r], 1e-13);

  GenMatrixD first = plusTranspose(naiveProduct(A, X));
  for (int k = 0; k < 2; ++k) first(k, k) -= 2 * x0;
  GenMatrixD second = plusTranspose(naiveProduct(B, N));
  for (int e = 0; e < 4; ++e) second[e] += x0 * C0[e];
  for (int k = 0; k < 2; ++k) second(k, k) += yy;
  const GenMatrixD* want[] = {&first, &second};
  for (int b = 0; b < 2; ++b)
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        EXPECT_NEAR(out.Block(b).AsGenMatrixD()(i, j), (*want[b])(i, j), 1e-13) << b << ": " << i << "," << j;

  // The block matrix inequality gives its block-diagonal part.
  GenMatrixD third(3, 3, 0.0, 0);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) third(i, j) = X(i, j) - (i == j ? x0 : 0.0);
  third(2, 2) = yy + 3 * x0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(out.Block(2).AsGenMatrixD()(i, j), third(i, j), 1e-13);
}

TEST_F(EvaluateAtTest, TheVariablesKeepThePointAfterTheProblemIsGone) {
  BlockDiagonalMatrix out(problem->Nb(), problem->BlockSizes(), problem->Td(), 0);
  problem->EvaluateAt(y, out);
  problem.reset();
  EXPECT_EQ(values[0](0, 0), y[0]);
  EXPECT_EQ(values[1](1, 2), y[6]);
  EXPECT_EQ(values[3](0, 0), y[10]);
}

TEST_F(BuiltProblemTest, WithoutLinearRowsTheDiagonalPartIsLeftAlone) {
  Make({zeros(1, 1), make(2, 2, {1, 2, 2, 1})}, 1, 0, 0);
  problem->TermBlockAt(0).Resize(1);
  problem->TermBlockAt(0).SetVariable(0, 1);
  problem->FinalizeSizes();
  EXPECT_EQ(problem->Td(), 0);
  const int sizes[] = {2};
  BlockDiagonalMatrix out(1, sizes, 2, 0);
  out.Diagonal().Fill(-4.0);
  problem->EvaluateAt(make(5, 1, {1, 1, 2, 3, 4}), out);
  EXPECT_EQ(out.Diagonal()[0], -4.0);
  EXPECT_EQ(out.Diagonal()[1], -4.0);
  EXPECT_EQ(out.Block(0).AsGenMatrixD()(1, 0), 2.0);
  EXPECT_EQ(out.Block(0).AsGenMatrixD()(0, 1), 3.0);
}

}  // namespace
