#include "factor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <vector>

#include "lapack.h"
#include "test_matrices.h"

// LAPACK reports an illegal argument through XERBLA, whose stock version
// stops the process with a zero exit status: a test would vanish and still
// pass. This one, which the executable's symbol puts in place of the
// library's, counts the reports instead so that every test can check that
// none was made.
namespace {
int illegalArguments = 0;
}
extern "C" void xerbla_(const char*, const LapackInt*, std::size_t) { ++illegalArguments; }

namespace {

using Rows = std::initializer_list<std::initializer_list<double>>;

GenMatrixD fromRows(Rows rows) {
  const int m = static_cast<int>(rows.size());
  const int n = static_cast<int>(rows.begin()->size());
  GenMatrixD A(m, n);
  int i = 0;
  for (const auto& row : rows) {
    int j = 0;
    for (double v : row) A(i, j++) = v;
    ++i;
  }
  return A;
}

double maxAbsDifference(const GenMatrixD& A, const GenMatrixD& B) {
  EXPECT_EQ(A.Rows(), B.Rows());
  EXPECT_EQ(A.Cols(), B.Cols());
  double d = 0.0;
  for (int j = 0; j < A.Cols(); ++j)
    for (int i = 0; i < A.Rows(); ++i) d = std::max(d, std::fabs(A(i, j) - B(i, j)));
  return d;
}

double maxAbs(const GenMatrixD& A) { return maxAbsDifference(A, GenMatrixD(A.Rows(), A.Cols(), 0.0, 0)); }

// The leading rows x cols part of F on and above the diagonal, zeros below.
GenMatrixD upperPart(const GenMatrixD& F, int rows, int cols) {
  GenMatrixD R(rows, cols, 0.0, 0);
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i <= std::min(j, rows - 1); ++i) R(i, j) = F(i, j);
  return R;
}

double columnNorm(const GenMatrixD& A, int j) {
  double s = 0.0;
  for (int i = 0; i < A.Rows(); ++i) s += A(i, j) * A(i, j);
  return std::sqrt(s);
}

bool isPermutation(const SharedArray<LapackInt>& p, int n) {
  if (p.Size() != n) return false;
  std::vector<int> seen(n, 0);
  for (int j = 0; j < n; ++j) {
    if (p[j] < 1 || p[j] > n || seen[p[j] - 1]) return false;
    seen[p[j] - 1] = 1;
  }
  return true;
}

GenMatrixD permuteColumns(const GenMatrixD& A, const SharedArray<LapackInt>& pivots) {
  GenMatrixD AP(A.Rows(), A.Cols());
  for (int j = 0; j < A.Cols(); ++j)
    for (int i = 0; i < A.Rows(); ++i) AP(i, j) = A(i, pivots[j] - 1);
  return AP;
}

bool allNaN(const GenMatrixD& X) {
  for (int k = 0; k < X.Size(); ++k)
    if (!std::isnan(X[k])) return false;
  return X.Size() > 0;
}

class LapackTest : public ::testing::Test {
 protected:
  void SetUp() override { illegalArguments = 0; }
  void TearDown() override { EXPECT_EQ(illegalArguments, 0) << "LAPACK rejected an argument"; }
};

// The guard above only helps if our XERBLA is the one LAPACK calls.
TEST(XerblaGuard, IllegalArgumentIsCounted) {
  illegalArguments = 0;
  const LapackInt m = 2, lda = 0;
  LapackInt pivots[2] = {0, 0}, info = 0;
  double a[4] = {1, 2, 3, 4};
  dgetf2_(&m, &m, a, &lda, pivots, &info);
  EXPECT_EQ(info, -4);
  EXPECT_EQ(illegalArguments, 1);
  illegalArguments = 0;
}

// ---------------------------------------------------------------- QR

struct QRCase {
  const char* name;
  GenMatrixD A;
};

class QRFactorTest : public LapackTest, public ::testing::WithParamInterface<int> {
 protected:
  static std::vector<QRCase> cases() {
    return {{"tall 5x3", fromRows({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}, {2, -1, 0}, {0, 3, -2}})},
            {"wide 2x4", fromRows({{1, -2, 3, 0.5}, {4, 0, -1, 2}})},
            {"square 4x4", fromRows({{2, -1, 0, 3}, {1, 4, -2, 0}, {0, 5, 1, -1}, {3, 0, 2, 7}})}};
  }
};

TEST_P(QRFactorTest, FactorsWithColumnPivotingAndAppliesQ) {
  const QRCase c = cases()[GetParam()];
  SCOPED_TRACE(c.name);
  const GenMatrixD& A = c.A;
  const int m = A.Rows(), n = A.Cols(), k = std::min(m, n);
  QRFactor qr(A, 0);
  ASSERT_EQ(qr.Factor(), 0);

  // Sizes: tau has max(m, n) entries of which only the first k are written.
  ASSERT_EQ(qr.Tau().Rows(), std::max(m, n));
  for (int i = k; i < std::max(m, n); ++i) EXPECT_EQ(qr.Tau()(i, 0), 0.0);
  ASSERT_TRUE(isPermutation(qr.Pivots(), n));

  const GenMatrixD AP = permuteColumns(A, qr.Pivots());
  const GenMatrixD R = upperPart(qr.Matrix(), m, n);
  const double tol = 1e-12 * (1.0 + maxAbs(A));

  // Q' (A P) = R, zeros below the diagonal included.
  GenMatrixD QtAP(AP);
  ASSERT_EQ(qr.ApplyQ(QtAP, 'L', 'T'), 0);
  EXPECT_LT(maxAbsDifference(QtAP, R), tol);

  // Q R = A P.
  GenMatrixD QR(R);
  ASSERT_EQ(qr.ApplyQ(QR, 'L', 'N'), 0);
  EXPECT_LT(maxAbsDifference(QR, AP), tol);

  // Applied from the right to I, Q comes out explicitly; it is orthogonal
  // and the same as when applied from the left.
  GenMatrixD Q = identityMatrix(m);
  ASSERT_EQ(qr.ApplyQ(Q, 'R', 'N'), 0);
  GenMatrixD QLeft = identityMatrix(m);
  ASSERT_EQ(qr.ApplyQ(QLeft, 'L', 'N'), 0);
  EXPECT_LT(maxAbsDifference(transpose(Q) * Q, identityMatrix(m)), 1e-13);
  EXPECT_LT(maxAbsDifference(Q, QLeft), 1e-13);

  // Pivoting takes the column of largest norm first, and the diagonal of R
  // does not grow in magnitude.
  double largest = 0.0;
  for (int j = 0; j < n; ++j) largest = std::max(largest, columnNorm(A, j));
  EXPECT_NEAR(std::fabs(R(0, 0)), largest, tol);
  for (int i = 1; i < k; ++i) EXPECT_LE(std::fabs(R(i, i)), std::fabs(R(i - 1, i - 1)) + tol);
}

INSTANTIATE_TEST_SUITE_P(Shapes, QRFactorTest, ::testing::Values(0, 1, 2));

TEST_F(LapackTest, QRTallColumnGetsExactlyTheReflectorsOfTheFactorisation) {
  // A 5 x 3 factorisation has three reflectors; Q'C for a column C keeps its
  // norm and Q(Q'C) gives C back.
  const GenMatrixD A = fromRows({{1, 0, 2}, {0, 1, 1}, {3, 1, 0}, {1, 1, 1}, {2, -1, 4}});
  QRFactor qr(A, 0);
  ASSERT_EQ(qr.Factor(), 0);
  const GenMatrixD C = fromRows({{1}, {-2}, {0.5}, {3}, {1}});
  GenMatrixD QtC(C);
  ASSERT_EQ(qr.ApplyQ(QtC, 'L', 'T'), 0);
  EXPECT_NEAR(columnNorm(QtC, 0), columnNorm(C, 0), 1e-13);
  GenMatrixD back(QtC);
  ASSERT_EQ(qr.ApplyQ(back, 'L', 'N'), 0);
  EXPECT_LT(maxAbsDifference(back, C), 1e-13);
  GenMatrixD head(5, 1, 0.0, 0);
  for (int i = 0; i < 3; ++i) head(i, 0) = QtC(i, 0);
  // The first three entries of Q'C are C's coordinates on the columns of Q
  // that span range(A): mapped back alone they give C's projection, whose
  // residual is orthogonal to A.
  ASSERT_EQ(qr.ApplyQ(head, 'L', 'N'), 0);
  const GenMatrixD residual = C - head;
  EXPECT_LT(maxAbs(transpose(A) * residual), 1e-12);
}

TEST_F(LapackTest, QRPivotsStartFreeAndANonzeroPivotFixesAColumnToTheFront) {
  const GenMatrixD A = fromRows({{1, 0, 0.1}, {0, 5, 0.2}, {2, 1, 0.3}});
  QRFactor fresh(A, 0);
  ASSERT_EQ(fresh.Pivots().Size(), 3);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(fresh.Pivots()[j], 0);

  QRFactor fixed(A, 0);
  fixed.Pivots()[2] = 1;  // column 3, the smallest, must come first
  ASSERT_EQ(fixed.Factor(), 0);
  ASSERT_TRUE(isPermutation(fixed.Pivots(), 3));
  EXPECT_EQ(fixed.Pivots()[0], 3);
  const GenMatrixD R = upperPart(fixed.Matrix(), 3, 3);
  GenMatrixD QR(R);
  ASSERT_EQ(fixed.ApplyQ(QR, 'L', 'N'), 0);
  EXPECT_LT(maxAbsDifference(QR, permuteColumns(A, fixed.Pivots())), 1e-13);
}

TEST_F(LapackTest, QRWithShareFactorsTheCallersMatrixAndWithoutLeavesItAlone) {
  const GenMatrixD original = fromRows({{3, 1}, {4, 2}, {0, 5}});
  GenMatrixD shared(original);
  QRFactor inPlace(shared, 1);
  ASSERT_EQ(inPlace.Factor(), 0);
  EXPECT_EQ(shared.Data(), inPlace.Matrix().Data());
  EXPECT_EQ(inPlace.Matrix().IsShallow(), 0);
  EXPECT_NE(maxAbsDifference(shared, original), 0.0);

  GenMatrixD kept(original);
  QRFactor copied(kept, 0);
  ASSERT_EQ(copied.Factor(), 0);
  EXPECT_EQ(maxAbsDifference(kept, original), 0.0);
  EXPECT_EQ(maxAbsDifference(copied.Matrix(), shared), 0.0);
}

// ---------------------------------------------------------------- LU

class LUFactorTest : public LapackTest, public ::testing::WithParamInterface<int> {
 protected:
  static std::vector<GenMatrixD> cases() {
    return {fromRows({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}), fromRows({{0, 2, 1}, {3, -1, 4}, {1, 1, 1}, {5, 0, 2}}),
            fromRows({{2, 1, 0, 4}, {6, 3, 1, -1}, {-2, 5, 7, 0}})};
  }
};

TEST_P(LUFactorTest, RowInterchangesTimesLTimesUGiveA) {
  const GenMatrixD A = cases()[GetParam()];
  const int m = A.Rows(), n = A.Cols(), k = std::min(m, n);
  LUFactor lu(A, 0);
  ASSERT_EQ(lu.Pivots().Size(), m);
  ASSERT_EQ(lu.Factor(), 0);
  for (int i = k; i < m; ++i) EXPECT_EQ(lu.Pivots()[i], 0);

  const GenMatrixD& F = lu.Matrix();
  GenMatrixD L(m, k, 0.0, 0);
  for (int j = 0; j < k; ++j) {
    L(j, j) = 1.0;
    for (int i = j + 1; i < m; ++i) L(i, j) = F(i, j);
  }
  GenMatrixD PLU = L * upperPart(F, k, n);
  // A = P_1 P_2 ... P_k L U: undo the interchanges last to first.
  for (int i = k - 1; i >= 0; --i) {
    const int other = lu.Pivots()[i] - 1;
    ASSERT_GE(other, i);
    ASSERT_LT(other, m);
    for (int j = 0; j < n; ++j) std::swap(PLU(i, j), PLU(other, j));
  }
  EXPECT_LT(maxAbsDifference(PLU, A), 1e-13);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LUFactorTest, ::testing::Values(0, 1, 2));

TEST_F(LapackTest, LUOfASingularMatrixReportsTheZeroPivot) {
  LUFactor lu(fromRows({{1, 2}, {2, 4}}), 0);
  EXPECT_EQ(lu.Factor(), 2);
}

TEST_F(LapackTest, LUInvertGivesTheInverseInTheSharedMatrix) {
  const GenMatrixD A = fromRows({{4, -2, 1}, {3, 6, -4}, {2, 1, 8}});
  GenMatrixD B(A);
  LUFactor lu(B, 1);
  ASSERT_EQ(lu.Factor(), 0);
  ASSERT_EQ(lu.Invert(), 0);
  EXPECT_LT(maxAbsDifference(B * A, identityMatrix(3)), 1e-14);
  EXPECT_LT(maxAbsDifference(A * B, identityMatrix(3)), 1e-14);
}

// ---------------------------------------------------------------- Cholesky

SymMatrixD symmetricFromRows(Rows rows) {
  const GenMatrixD full = fromRows(rows);
  SymMatrixD S(full.Rows());
  for (int j = 0; j < full.Cols(); ++j)
    for (int i = 0; i <= j; ++i) S(i, j) = full(i, j);
  return S;
}

TEST_F(LapackTest, CholeskyOfAPrivateCopyGivesRTransposeRAndNeverTouchesTheLowerPart) {
  const GenMatrixD A = fromRows({{4, 2, -2}, {2, 10, 2}, {-2, 2, 6}});
  const SymMatrixD S = symmetricFromRows({{4, 2, -2}, {2, 10, 2}, {-2, 2, 6}});
  CholeskyFactor ch(S, 0);
  EXPECT_EQ(*ch.Uplo(), 'U');
  GenMatrixD& F = ch.Matrix().AsGenMatrixD();
  ASSERT_NE(F.Data(), S.Data());
  for (int j = 0; j < 3; ++j)
    for (int i = j + 1; i < 3; ++i) F(i, j) = std::nan("");

  ASSERT_EQ(ch.Factor(), 0);
  const GenMatrixD R = upperPart(F, 3, 3);
  EXPECT_LT(maxAbsDifference(transpose(R) * R, A), 1e-14);
  for (int j = 0; j < 3; ++j)
    for (int i = j + 1; i < 3; ++i) EXPECT_TRUE(std::isnan(F(i, j)));
  EXPECT_EQ(S(0, 0), 4.0);  // the argument is untouched
}

TEST_F(LapackTest, CholeskySharedFactorsTheCallersStorageAndHandsItOverOnAssignment) {
  SymMatrixD S = symmetricFromRows({{9, 3}, {3, 5}});
  CholeskyFactor ch(S, 1);
  ASSERT_EQ(ch.Factor(), 0);
  // R = [[3, 1], [0, 2]] satisfies R'R = S.
  EXPECT_DOUBLE_EQ(S(0, 0), 3.0);
  EXPECT_DOUBLE_EQ(S(0, 1), 1.0);
  EXPECT_DOUBLE_EQ(S.AsGenMatrixD()(1, 1), 2.0);
  EXPECT_EQ(ch.Matrix().AsGenMatrixD().IsShallow(), 1);
  GenMatrixD taken;
  taken = ch.Matrix().AsGenMatrixD();
  EXPECT_EQ(taken.Data(), S.Data());
}

struct CholeskyFailure {
  double a00, a01, a11;
  int info;
};

class CholeskyFailureTest : public LapackTest, public ::testing::WithParamInterface<CholeskyFailure> {};

TEST_P(CholeskyFailureTest, ReportsTheFirstMinorThatIsNotPositiveDefinite) {
  const CholeskyFailure c = GetParam();
  CholeskyFactor ch(symmetricFromRows({{c.a00, c.a01}, {c.a01, c.a11}}), 0);
  EXPECT_EQ(ch.Factor(), c.info);
}

INSTANTIATE_TEST_SUITE_P(Indefinite, CholeskyFailureTest,
                         ::testing::Values(CholeskyFailure{1, 2, 1, 2}, CholeskyFailure{-1, 0, 1, 1}));

// ---------------------------------------------------------------- solves

class SolveLinearTest : public LapackTest, public ::testing::WithParamInterface<char> {};

TEST_P(SolveLinearTest, SolvesTheSystemAndLeavesAAlone) {
  const char trans = GetParam();
  const GenMatrixD A = fromRows({{0, 2, 1}, {3, -1, 4}, {1, 1, 5}});
  const GenMatrixD B = fromRows({{1, -1}, {2, 0}, {3, 7}});
  GenMatrixD X(B);
  GenMatrixD kept(A);
  ASSERT_EQ(solveLinear(kept, X, trans), 0);
  const GenMatrixD opA = trans == 'N' ? A : transpose(A);
  EXPECT_LT(maxAbsDifference(opA * X, B), 1e-13);
  EXPECT_EQ(maxAbsDifference(kept, A), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Trans, SolveLinearTest, ::testing::Values('N', 'T'));

TEST_F(LapackTest, SolveLinearWithASingularMatrixReturnsZeroAndNonFiniteEntries) {
  GenMatrixD B = fromRows({{1}, {1}});
  EXPECT_EQ(solveLinear(fromRows({{1, 2}, {2, 4}}), B, 'N'), 0);
  EXPECT_FALSE(std::isfinite(B(0, 0)) && std::isfinite(B(1, 0)));
}

struct LeastSquaresCase {
  const char* name;
  GenMatrixD A;
  char trans;
  GenMatrixD B;
  GenMatrixD nullVector;  // spans the null space of op(A), or 0 x 0
};

class LeastSquaresTest : public LapackTest, public ::testing::WithParamInterface<int> {
 protected:
  static std::vector<LeastSquaresCase> cases() {
    const GenMatrixD tall = fromRows({{1, 1}, {1, 2}, {1, 3}});
    const GenMatrixD wide = fromRows({{1, 2, 3}, {4, 5, 6}});
    // wide's rows (1,2,3) x (4,5,6) = (-3, 6, -3) spans its null space;
    // tall's columns (1,1,1) x (1,2,3) = (1, -2, 1) spans that of tall'.
    return {{"overdetermined", tall, 'N', fromRows({{1}, {2}, {2}}), GenMatrixD()},
            {"minimum norm", wide, 'N', fromRows({{1}, {2}}), fromRows({{-3}, {6}, {-3}})},
            {"overdetermined transposed", wide, 'T', fromRows({{1, 0}, {2, 1}, {2, 5}}), GenMatrixD()},
            {"minimum norm transposed", tall, 'T', fromRows({{1}, {2}}), fromRows({{1}, {-2}, {1}})}};
  }
};

TEST_P(LeastSquaresTest, SatisfiesTheNormalEquationsWithTheMinimumNorm) {
  const LeastSquaresCase c = cases()[GetParam()];
  SCOPED_TRACE(c.name);
  const GenMatrixD opA = c.trans == 'N' ? c.A : transpose(c.A);
  GenMatrixD X(opA.Cols(), c.B.Cols(), 0.0, 0);
  GenMatrixD kept(c.A);
  ASSERT_EQ(solveLeastSquares(kept, c.B, X, c.trans), 0);
  EXPECT_EQ(maxAbsDifference(kept, c.A), 0.0);
  // op(A)' (op(A) X - B) = 0 characterises a least-squares solution ...
  EXPECT_LT(maxAbs(transpose(opA) * (opA * X - c.B)), 1e-12);
  // ... and the one of minimum norm has no part in the null space.
  if (c.nullVector.Rows() > 0) {
    EXPECT_LT(maxAbs(transpose(c.nullVector) * X), 1e-12);
  }

  GenMatrixD destroyed(c.A);
  GenMatrixD Y(X.Rows(), X.Cols(), 0.0, 0);
  ASSERT_EQ(solveLeastSquaresInPlace(destroyed, c.B, Y, c.trans), 0);
  EXPECT_NE(maxAbsDifference(destroyed, c.A), 0.0);
  EXPECT_EQ(maxAbsDifference(Y, X), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LeastSquaresTest, ::testing::Values(0, 1, 2, 3));

struct RankDeficientCase {
  GenMatrixD A;
  GenMatrixD B;
  int solutionRows;
};

class RankDeficientLeastSquaresTest : public LapackTest, public ::testing::WithParamInterface<int> {
 protected:
  static std::vector<RankDeficientCase> cases() {
    return {{fromRows({{1, 0}, {2, 0}, {3, 0}}), fromRows({{1}, {2}, {4}}), 2},
            {fromRows({{1, 2, 3}, {0, 0, 0}}), fromRows({{1}, {2}}), 3}};
  }
};

TEST_P(RankDeficientLeastSquaresTest, ReportsTheZeroDiagonalAndGivesNaN) {
  const RankDeficientCase c = cases()[GetParam()];
  GenMatrixD X(c.solutionRows, 1, 0.0, 0);
  EXPECT_EQ(solveLeastSquares(c.A, c.B, X, 'N'), 2);
  EXPECT_TRUE(allNaN(X));
}

INSTANTIATE_TEST_SUITE_P(ZeroColumnOrRow, RankDeficientLeastSquaresTest, ::testing::Values(0, 1));

TEST_F(LapackTest, TriangularSolveReadsOnlyTheUpperTriangle) {
  UTrMatrixD U(3);
  const double upper[3][3] = {{2, 1, -1}, {0, 3, 2}, {0, 0, 4}};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) U(i, j) = i <= j ? upper[i][j] : std::nan("");
  const GenMatrixD full = fromRows({{2, 1, -1}, {0, 3, 2}, {0, 0, 4}});
  const GenMatrixD B = fromRows({{1, 5}, {-2, 0}, {3, 1}});
  for (char trans : {'N', 'T'}) {
    GenMatrixD X(B);
    ASSERT_EQ(U.Solve(X, trans), 0);
    const GenMatrixD opU = trans == 'N' ? full : transpose(full);
    EXPECT_LT(maxAbsDifference(opU * X, B), 1e-14) << trans;
  }
}

TEST_F(LapackTest, TriangularSolveWithAZeroDiagonalReportsItAndLeavesBUnchanged) {
  UTrMatrixD U(3);
  const double upper[3][3] = {{2, 1, -1}, {0, 0, 2}, {0, 0, 4}};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) U(i, j) = upper[i][j];
  const GenMatrixD B = fromRows({{1}, {2}, {3}});
  GenMatrixD X(B);
  EXPECT_EQ(U.Solve(X, 'N'), 2);
  EXPECT_EQ(maxAbsDifference(X, B), 0.0);
}

// ---------------------------------------------------------------- eigen

TEST_F(LapackTest, EigenvaluesOfARotationAreAConjugatePairPositiveFirst) {
  GenMatrixD A = fromRows({{0, -1}, {1, 0}});
  GenMatrixD W(2, 2);
  ASSERT_EQ(computeEigenvalues(A, W), 0);
  EXPECT_NEAR(W(0, 0), 0.0, 1e-15);
  EXPECT_NEAR(W(0, 1), 1.0, 1e-15);
  EXPECT_NEAR(W(1, 0), 0.0, 1e-15);
  EXPECT_NEAR(W(1, 1), -1.0, 1e-15);
}

TEST_F(LapackTest, EigenvectorsSatisfyAVEqualsVLambdaForRealAndComplexEigenvalues) {
  // Block triangular: eigenvalues 1 +- 2i from the leading block, and 3.
  const GenMatrixD A = fromRows({{1, -2, 0.5}, {2, 1, 0.3}, {0, 0, 3}});
  GenMatrixD work(A);
  GenMatrixD W(3, 2), V(3, 3);
  ASSERT_EQ(computeEigenvectors(work, W, V), 0);

  GenMatrixD valuesOnly(A);
  GenMatrixD W2(3, 2);
  ASSERT_EQ(computeEigenvalues(valuesOnly, W2), 0);
  EXPECT_LT(maxAbsDifference(W, W2), 1e-13);

  const GenMatrixD AV = A * V;
  int complexPairs = 0;
  for (int j = 0; j < 3; ++j) {
    const double re = W(j, 0), im = W(j, 1);
    if (im == 0.0) {
      EXPECT_NEAR(re, 3.0, 1e-13);
      EXPECT_NEAR(columnNorm(V, j), 1.0, 1e-13);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(AV(i, j), re * V(i, j), 1e-13);
      continue;
    }
    // A (x + iy) = (re + i im)(x + iy), the conjugate in the next row.
    ASSERT_GT(im, 0.0);
    ASSERT_LT(j + 1, 3);
    EXPECT_NEAR(re, 1.0, 1e-13);
    EXPECT_NEAR(im, 2.0, 1e-13);
    EXPECT_EQ(W(j + 1, 0), re);
    EXPECT_EQ(W(j + 1, 1), -im);
    const double norm = std::hypot(columnNorm(V, j), columnNorm(V, j + 1));
    EXPECT_NEAR(norm, 1.0, 1e-13);
    for (int i = 0; i < 3; ++i) {
      const double x = V(i, j), y = V(i, j + 1);
      EXPECT_NEAR(AV(i, j), re * x - im * y, 1e-13);
      EXPECT_NEAR(AV(i, j + 1), im * x + re * y, 1e-13);
    }
    ++complexPairs;
    ++j;
  }
  EXPECT_EQ(complexPairs, 1);
}

TEST_F(LapackTest, BlockSizeQueryAcceptsEmptyOptions) {
  EXPECT_GE(lapackBlockSize("DGETRI", "", GenMatrixD(100, 100)), 1);
}

// ---------------------------------------------------------------- empty operands

// LAPACK rejects a leading dimension of 0: every entry point must return
// before calling it on operands without rows or columns.
TEST_F(LapackTest, EmptyOperandsReturnWithoutCallingLapack) {
  double dummy[1] = {0.0};
  const GenMatrixD empty;

  QRFactor qr(empty, 0);
  EXPECT_EQ(qr.Factor(), 0);
  GenMatrixD C;
  EXPECT_EQ(qr.ApplyQ(C, 'L', 'T'), 0);

  QRFactor tall(fromRows({{1, 2}, {3, 4}, {5, 6}}), 0);
  ASSERT_EQ(tall.Factor(), 0);
  GenMatrixD noColumns(3, 0, dummy, 0);
  EXPECT_EQ(tall.ApplyQ(noColumns, 'L', 'T'), 0);

  LUFactor lu(empty, 0);
  EXPECT_EQ(lu.Factor(), 0);
  EXPECT_EQ(lu.Invert(), 0);

  CholeskyFactor ch(SymMatrixD(), 0);
  EXPECT_EQ(ch.Factor(), 0);

  GenMatrixD B;
  EXPECT_EQ(solveLinear(empty, B, 'N'), 0);
  GenMatrixD noRightHandSide(2, 0, dummy, 0);
  EXPECT_EQ(solveLinear(identityMatrix(2), noRightHandSide, 'N'), 0);

  GenMatrixD A(empty), W, V;
  EXPECT_EQ(computeEigenvalues(A, W), 0);
  EXPECT_EQ(computeEigenvectors(A, W, V), 0);

  EXPECT_EQ(UTrMatrixD().Solve(B, 'N'), 0);
  EXPECT_EQ(UTrMatrixD(2).Solve(noRightHandSide, 'N'), 0);
}

TEST_F(LapackTest, QROfAMatrixWithoutRowsStillGivesPivots) {
  double dummy[1] = {0.0};
  QRFactor qr(GenMatrixD(0, 3, dummy, 0), 0);
  EXPECT_EQ(qr.Factor(), 0);
  EXPECT_TRUE(isPermutation(qr.Pivots(), 3));
}

TEST_F(LapackTest, LeastSquaresWithoutEquationsGivesTheZeroSolution) {
  double dummy[1] = {0.0};
  for (char trans : {'N', 'T'}) {
    // op(A) has no rows and two columns.
    const GenMatrixD A = trans == 'N' ? GenMatrixD(0, 2, dummy, 0) : GenMatrixD(2, 0, dummy, 0);
    const GenMatrixD B(0, 1, dummy, 0);
    GenMatrixD X(2, 1, std::nan(""), 0);
    EXPECT_EQ(solveLeastSquares(A, B, X, trans), 0);
    EXPECT_EQ(X(0, 0), 0.0);
    EXPECT_EQ(X(1, 0), 0.0);
  }
}

}  // namespace

// DGEEV stops the process on a NaN; the layer reports failure instead.
TEST_F(LapackTest, EigenvaluesOfANonFiniteMatrixFailWithoutCallingLapack) {
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (double x : bad) {
    GenMatrixD A(2, 2, 1.0, 0);
    A(1, 0) = x;
    GenMatrixD W(2, 2), V(2, 2);
    GenMatrixD B(A);
    EXPECT_NE(computeEigenvalues(A, W), 0);
    EXPECT_NE(computeEigenvectors(B, W, V), 0);
  }
}
