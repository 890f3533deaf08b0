// The scaling of the projective method: its factor, the scaled step
// U F U' - I, the update W := U'(I - alpha V)U and the eigenvalue vector,
// each against its definition.
#include "scaling.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "block_diagonal.h"
#include "test_matrices.h"

namespace {

const int kSizes[] = {3, 1};
const ScalingShape kShape{2, kSizes, 2};

void setBlock(BlockDiagonalMatrix& M, int k, const GenMatrixD& value) {
  for (int e = 0; e < value.Rows() * value.Cols(); ++e) M.Block(k)[e] = value[e];
}

GenMatrixD upperFactor(ScalingFactor& U, int k) { return U.Block(k).ToGenMatrixD(); }

::testing::AssertionResult upperNear(const SymMatrixD& actual, const GenMatrixD& expected, double tol) {
  for (int j = 0; j < expected.Cols(); ++j)
    for (int i = 0; i <= j; ++i)
      if (!(std::fabs(actual(i, j) - expected(i, j)) <= tol))
        return ::testing::AssertionFailure() << "(" << i << ", " << j << ") is " << actual(i, j) << ", expected "
                                             << expected(i, j);
  return ::testing::AssertionSuccess();
}

class ScalingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    W.Diagonal()[0] = 4.0;
    W.Diagonal()[1] = 0.25;
    setBlock(W, 0, make(3, 3, {4, 1, 0.5, 1, 3, -1, 0.5, -1, 2}));
    setBlock(W, 1, make(1, 1, {9}));
    F.Diagonal()[0] = 1.5;
    F.Diagonal()[1] = -2.0;
    setBlock(F, 0, make(3, 3, {1, 2, 3, 2, -1, 0.5, 3, 0.5, 2}));
    setBlock(F, 1, make(1, 1, {0.5}));
  }

  BlockDiagonalMatrix W{2, kSizes, 2, 0};
  BlockDiagonalMatrix F{2, kSizes, 2, 0};
};

TEST_F(ScalingTest, FactorIsTheCholeskyFactorOfEachPart) {
  ScalingFactor U(kShape);
  ASSERT_EQ(U.Factor(W), 0);
  EXPECT_EQ(U.Diagonal()[0], 2.0);
  EXPECT_EQ(U.Diagonal()[1], 0.5);
  for (int k = 0; k < 2; ++k) {
    const GenMatrixD Uk = upperFactor(U, k);
    const GenMatrixD product = transpose(Uk) * Uk;
    for (int i = 0; i < kSizes[k]; ++i)
      for (int j = 0; j < kSizes[k]; ++j) EXPECT_NEAR(product(i, j), W.Block(k)(i, j), 1e-14);
  }
}

TEST_F(ScalingTest, FactorRefusesNegativeWeightsAndIndefiniteBlocks) {
  ScalingFactor U(kShape);
  W.Diagonal()[1] = 0.0;
  EXPECT_EQ(U.Factor(W), 0);  // a zero weight has the factor 0
  EXPECT_EQ(U.Diagonal()[1], 0.0);
  W.Diagonal()[1] = -1e-300;
  EXPECT_EQ(U.Factor(W), 1);
  W.Diagonal()[1] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(U.Factor(W), 1);
  W.Diagonal()[1] = 1.0;
  setBlock(W, 0, make(3, 3, {1, 2, 0, 2, 1, 0, 0, 0, 1}));
  EXPECT_EQ(U.Factor(W), 1);
}

TEST_F(ScalingTest, ScaledStepAndUpdate) {
  ScalingFactor U(kShape);
  ASSERT_EQ(U.Factor(W), 0);
  const GenMatrixD U0 = upperFactor(U, 0);
  const GenMatrixD F0(F.Block(0).AsGenMatrixD());
  GenMatrixD expectedV = U0 * F0 * transpose(U0);
  for (int i = 0; i < 3; ++i) expectedV(i, i) -= 1.0;

  scaleAndShift(U, F);
  EXPECT_DOUBLE_EQ(F.Diagonal()[0], 4.0 * 1.5 - 1.0);
  EXPECT_DOUBLE_EQ(F.Diagonal()[1], 0.25 * -2.0 - 1.0);
  EXPECT_TRUE(upperNear(F.Block(0), expectedV, 1e-13));
  EXPECT_DOUBLE_EQ(F.Block(1)(0, 0), 9.0 * 0.5 - 1.0);

  const double alpha = 0.3;
  GenMatrixD M = -alpha * expectedV;
  for (int i = 0; i < 3; ++i) M(i, i) += 1.0;
  const GenMatrixD expectedW = transpose(U0) * M * U0;
  const double w0 = W.Diagonal()[0];
  const double v0 = F.Diagonal()[0];
  updateScaling(W, U, F, alpha);
  EXPECT_DOUBLE_EQ(W.Diagonal()[0], w0 * (1.0 - alpha * v0));
  EXPECT_TRUE(upperNear(W.Block(0), expectedW, 1e-13));
  EXPECT_DOUBLE_EQ(W.Block(1)(0, 0), 9.0 * (1.0 - alpha * 3.5));
}

TEST_F(ScalingTest, EigenvaluesOfEveryPartThenTheLastEntry) {
  // Block 0 with eigenvalues 1, 2 and 4 in a rotated basis.
  const double c = std::cos(0.4), s = std::sin(0.4);
  const GenMatrixD Q = make(3, 3, {c, -s, 0, s, c, 0, 0, 0, 1});
  const GenMatrixD D = make(3, 3, {4, 0, 0, 0, 1, 0, 0, 0, 2});
  setBlock(F, 0, Q * D * transpose(Q));
  EigenvalueSolver eigen(kShape);
  GenMatrixD v(2 + 3 + 1 + 1, 1);
  ASSERT_EQ(eigen.Fill(F, -0.75, v), 0);
  const double expected[] = {1.5, -2.0, 1.0, 2.0, 4.0, 0.5, -0.75};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(v[i], expected[i], 1e-14) << i;
  // The blocks stay as they were.
  EXPECT_NEAR(F.Block(0)(0, 0), c * c * 4 + s * s, 1e-15);
  EXPECT_EQ(smallestEntry(v), -2.0);
  EXPECT_EQ(largestEntry(v), v[4]);

  F.Block(0)(0, 2) = std::numeric_limits<double>::infinity();
  EXPECT_EQ(eigen.Fill(F, -0.75, v), 1);
  F.Block(0)(0, 2) = 0.0;
  EXPECT_EQ(eigen.Fill(F, std::numeric_limits<double>::quiet_NaN(), v), 1);
}

}  // namespace
