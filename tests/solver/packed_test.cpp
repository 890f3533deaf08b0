#include "packed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "reference_matrices.h"
#include "test_matrices.h"

namespace {

const double kSentinel = std::numeric_limits<double>::quiet_NaN();
const double kRoot2 = std::sqrt(2.0);

// ---------------------------------------------------------------------------
// Dense references, written from the definitions.

GenMatrixD subBlock(const GenMatrixD& M, int m, int n, int rowOff, int colOff) {
  GenMatrixD S(m, n);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) S(i, j) = M(rowOff + i, colOff + j);
  return S;
}

GenMatrixD op(const GenMatrixD& M, int transpose) { return transpose ? naiveTranspose(M) : GenMatrixD(M); }

// op(E_ij) of a p x q variable; for a 1 x 1 variable the rectangular
// identity of the shape its neighbours need.
GenMatrixD opUnit(int p, int q, int i, int j, int transposed) {
  GenMatrixD E(p, q, 0.0, 0);
  E(i, j) = 1.0;
  return op(E, transposed);
}

GenMatrixD identity(int rows, int cols) {
  GenMatrixD I(rows, cols, 0.0, 0);
  for (int k = 0; k < std::min(rows, cols); ++k) I(k, k) = 1.0;
  return I;
}

double trace(const GenMatrixD& M) {
  double sum = 0.0;
  for (int k = 0; k < std::min(M.Rows(), M.Cols()); ++k) sum += M(k, k);
  return sum;
}

GenMatrixD sum(const GenMatrixD& A, const GenMatrixD& B) {
  GenMatrixD C(A);
  for (int e = 0; e < C.Rows() * C.Cols(); ++e) C[e] += B[e];
  return C;
}

// Checks that after - before equals want everywhere.
void expectChange(const GenMatrixD& before, const GenMatrixD& after, const GenMatrixD& want, const std::string& what) {
  for (int i = 0; i < want.Rows(); ++i)
    for (int j = 0; j < want.Cols(); ++j)
      EXPECT_NEAR(after(i, j) - before(i, j), want(i, j), 1e-12) << what << " at (" << i << ", " << j << ")";
}

// ---------------------------------------------------------------------------
// svec layout

TEST(SvecTest, LayoutPutsTheDiagonalFirstThenTheLowerTriangleByRows) {
  const int positions[3][3] = {{0, -1, -1}, {3, 1, -1}, {4, 5, 2}};
  for (int k = 0; k < 3; ++k)
    for (int l = 0; l <= k; ++l) EXPECT_EQ(svecIndex(3, k, l), positions[k][l]);
  EXPECT_EQ(svecLength(3), 6);
  SymMatrixD S(3);
  S.AsGenMatrixD() = make(3, 3, {1, 2, 3, 2, 4, 5, 3, 5, 6});
  double v[6];
  svec(S, v);
  const double want[6] = {1, 4, 6, kRoot2 * 2, kRoot2 * 3, kRoot2 * 5};
  for (int k = 0; k < 6; ++k) EXPECT_DOUBLE_EQ(v[k], want[k]);

  SymMatrixD one(1);
  one.AsGenMatrixD()(0, 0) = -3.0;
  svec(one, v);
  EXPECT_EQ(v[0], -3.0);  // no factor sqrt(2) for a single entry
}

TEST(SvecTest, RoundTripAndInnerProductAsTrace) {
  std::mt19937 rng(3);
  for (int d = 1; d <= 6; ++d) {
    SymMatrixD A(d);
    SymMatrixD B(d);
    A.AsGenMatrixD() = randomMatrix(d, d, rng);
    B.AsGenMatrixD() = randomMatrix(d, d, rng);
    std::vector<double> a(svecLength(d));
    std::vector<double> b(svecLength(d));
    svec(A, a.data());
    svec(B, b.data());
    double dot = 0.0;
    for (int k = 0; k < svecLength(d); ++k) dot += a[k] * b[k];
    EXPECT_NEAR(dot, trace(naiveProduct(A.ToGenMatrixD(), B.ToGenMatrixD())), 1e-12) << d;

    SymMatrixD back(d);
    smat(a.data(), back);
    for (int j = 0; j < d; ++j)
      for (int i = 0; i <= j; ++i) EXPECT_NEAR(back.AsGenMatrixD()(i, j), A.AsGenMatrixD()(i, j), 1e-15);
  }
}

// ---------------------------------------------------------------------------
// Whole-matrix and sub-block kernels

TEST(AddOwnTransposeTest, FullAndUpperForms) {
  GenMatrixD one = make(1, 1, {2.5});
  addOwnTranspose(one, 0);
  EXPECT_EQ(one(0, 0), 5.0);

  const GenMatrixD A = make(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  const GenMatrixD sym = make(3, 3, {2, 6, 10, 6, 10, 14, 10, 14, 18});
  GenMatrixD full(A);
  addOwnTranspose(full, 1);
  expectChange(GenMatrixD(3, 3, 0.0, 0), full, sym, "full");
  GenMatrixD upper(A);
  addOwnTranspose(upper, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(upper(i, j), i <= j ? sym(i, j) : A(i, j));
}

TEST(SubBlockTest, CopiesAddressTheDestinationWithItsOwnRowCount) {
  std::mt19937 rng(5);
  const GenMatrixD src = randomMatrix(5, 6, rng);
  for (int transpose = 0; transpose <= 1; ++transpose) {
    GenMatrixD dst(4, 4, kSentinel, 0);
    copySubBlock(dst, src, 2, 3, 1, 2, transpose);
    const GenMatrixD want = op(subBlock(src, 2, 3, 1, 2), transpose);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        if (i < want.Rows() && j < want.Cols()) {
          EXPECT_EQ(dst(i, j), want(i, j));
        } else {
          EXPECT_TRUE(std::isnan(dst(i, j)));
        }
      }
    std::vector<double> array(3 * 7, kSentinel);
    copySubBlockToArray(array.data(), 7, src, 2, 3, 1, 2, transpose);
    for (int i = 0; i < want.Rows(); ++i)
      for (int j = 0; j < want.Cols(); ++j) EXPECT_EQ(array[i + j * 7], want(i, j));
  }
}

TEST(SubBlockTest, ProductsWithSubBlocksMatchThePlainProducts) {
  std::mt19937 rng(9);
  const GenMatrixD big = randomMatrix(7, 8, rng);
  const int m = 3;
  const int n = 4;
  for (int transS = 0; transS <= 1; ++transS)
    for (int transOther = 0; transOther <= 1; ++transOther) {
      const GenMatrixD S = op(subBlock(big, m, n, 2, 3), transS);
      // op(S) op(B)
      const GenMatrixD B = op(randomMatrix(S.Cols(), 5, rng), transOther);
      GenMatrixD C(60, 1, kSentinel, 0);
      multiplySubBlockLeft(big, B, C, transS, transOther, m, n, 2, 3);
      const GenMatrixD want = naiveProduct(S, op(B, transOther));
      for (int i = 0; i < want.Rows(); ++i)
        for (int j = 0; j < want.Cols(); ++j) EXPECT_NEAR(C[i + j * want.Rows()], want(i, j), 1e-14);
      EXPECT_TRUE(std::isnan(C[want.Rows() * want.Cols()]));
      // op(A) op(S)
      const GenMatrixD A = op(randomMatrix(6, S.Rows(), rng), transOther);
      GenMatrixD D(60, 1, kSentinel, 0);
      multiplySubBlockRight(A, big, D, transOther, transS, m, n, 2, 3);
      const GenMatrixD wantRight = naiveProduct(op(A, transOther), S);
      for (int i = 0; i < wantRight.Rows(); ++i)
        for (int j = 0; j < wantRight.Cols(); ++j) EXPECT_NEAR(D[i + j * wantRight.Rows()], wantRight(i, j), 1e-14);
      EXPECT_TRUE(std::isnan(D[wantRight.Rows() * wantRight.Cols()]));
    }
}

// ---------------------------------------------------------------------------
// Normal equations: right side and Gram matrix

TEST(NormalEquationKernelTest, RightSideIsTheTraceAgainstEachUnitMatrix) {
  std::mt19937 rng(13);
  struct Case {
    int p, q, transposed, mRows, mCols;
  };
  // A 1 x 1 variable takes the trace over M's diagonal, M not square included.
  const Case cases[] = {{1, 1, 0, 3, 3}, {1, 1, 1, 3, 2}, {2, 3, 0, 3, 2}, {2, 3, 1, 2, 3}, {3, 3, 0, 3, 3}};
  for (const Case& c : cases) {
    const GenMatrixD M = randomMatrix(c.mRows, c.mCols, rng);
    std::vector<double> g(20, 0.5);
    const int base = 4;
    accumulateScaledSubBlock(g.data(), M, base, c.p, c.q, c.transposed, -1.5);
    for (int u = 0; u < 20; ++u) {
      double want = 0.5;
      const int e = u - base;
      if (c.p == 1 && c.q == 1 && e == 0) {
        want += -1.5 * trace(M);
      } else if (e >= 0 && e < c.p * c.q && !(c.p == 1 && c.q == 1)) {
        want += -1.5 * trace(naiveProduct(M, opUnit(c.p, c.q, e % c.p, e / c.p, c.transposed)));
      }
      EXPECT_NEAR(g[u], want, 1e-14) << c.p << "x" << c.q << " t" << c.transposed << " unknown " << u;
    }
  }
}

// s trace(Q op1(E_r) P op2(E_t)), op(E) of a 1 x 1 variable being the
// rectangular identity its neighbours need.
double pairReference(const GenMatrixD& P, const GenMatrixD& Q, int p1, int q1, int e1, int t1, int p2, int q2, int e2,
                     int t2, double s) {
  const GenMatrixD E1 = p1 == 1 && q1 == 1 ? identity(Q.Cols(), P.Rows()) : opUnit(p1, q1, e1 % p1, e1 / p1, t1);
  const GenMatrixD E2 = p2 == 1 && q2 == 1 ? identity(P.Cols(), Q.Rows()) : opUnit(p2, q2, e2 % p2, e2 / p2, t2);
  return s * trace(naiveProduct(naiveProduct(naiveProduct(Q, E1), P), E2));
}

TEST(NormalEquationKernelTest, GramMatrixGetsEachPairOnceInItsUpperTriangle) {
  std::mt19937 rng(17);
  struct Case {
    int base1, p1, q1, t1, base2, p2, q2, t2, pRows, pCols, qRows, qCols;
  };
  const Case cases[] = {
      // var1 2 x 3, var2 3 x 2 transposed: op1(E) 2 x 3, op2(E) 2 x 3.
      {1, 2, 3, 0, 7, 3, 2, 1, 3, 2, 3, 2},
      // the same variable twice: only its 10 pairs r <= t of 16
      {3, 2, 2, 0, 3, 2, 2, 0, 2, 2, 2, 2},
      {3, 2, 2, 1, 3, 2, 2, 0, 2, 2, 2, 2},
      // the second variable before the first: only pairs with r <= t
      {6, 2, 2, 0, 4, 3, 1, 1, 2, 1, 3, 2},
      // scalar shortcuts, P and Q of unequal sizes (sums stop at the shorter side)
      {0, 1, 1, 0, 2, 2, 3, 0, 3, 2, 3, 2},
      {0, 1, 1, 0, 2, 2, 3, 0, 3, 2, 3, 4},
      {5, 2, 3, 1, 12, 1, 1, 0, 2, 4, 3, 3},
      {5, 2, 3, 1, 7, 1, 1, 0, 2, 4, 3, 3},
      {0, 1, 1, 0, 12, 1, 1, 0, 3, 4, 2, 5},
      {12, 1, 1, 0, 0, 1, 1, 0, 3, 3, 3, 3},
  };
  for (const Case& c : cases) {
    const GenMatrixD P = randomMatrix(c.pRows, c.pCols, rng);
    const GenMatrixD Q = randomMatrix(c.qRows, c.qCols, rng);
    SymMatrixD H(14);
    GenMatrixD& h = H.AsGenMatrixD();
    for (int j = 0; j < 14; ++j)
      for (int i = 0; i < 14; ++i) h(i, j) = i <= j ? 0.25 : -7.0;
    accumulateScaledSymmetric(H, P, Q, c.base1, c.base2, c.p1, c.q1, c.p2, c.q2, c.t1, c.t2, 0.75);
    GenMatrixD want(14, 14, 0.25, 0);
    for (int e1 = 0; e1 < c.p1 * c.q1; ++e1)
      for (int e2 = 0; e2 < c.p2 * c.q2; ++e2) {
        const int r = c.base1 + e1;
        const int t = c.base2 + e2;
        if (r > t) continue;  // the lower triangle stays as it was
        want(r, t) += pairReference(P, Q, c.p1, c.q1, e1, c.t1, c.p2, c.q2, e2, c.t2, 0.75);
      }
    for (int j = 0; j < 14; ++j)
      for (int i = 0; i < 14; ++i) {
        if (i <= j) {
          EXPECT_NEAR(h(i, j), want(i, j), 1e-13)
              << "case base " << c.base1 << "/" << c.base2 << " (" << i << ", " << j << ")";
        } else {
          EXPECT_EQ(h(i, j), -7.0);
        }
      }
  }
}

// ---------------------------------------------------------------------------
// Least-squares rows

// The change an svec kernel should make: for every entry of the variable,
// s svec of the block matrix whose region holds T (T + T' when mirrored),
// T = P op(E) Q (+ R op(E)' S4); a 1 x 1 variable uses P Q (+ R S4).
struct RowsCase {
  int p, q, transposed;
  int D, rowOffA, rowOffB, mA, mB;  // rowOffA == rowOffB: a diagonal block
  int mirror;
  bool four;
};

GenMatrixD expectedRows(const RowsCase& c, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD& R,
                        const GenMatrixD& S4, int rows, int cols, int row, int base, double s) {
  GenMatrixD want(rows, cols, 0.0, 0);
  const bool scalar = c.p == 1 && c.q == 1;
  const bool diagonal = c.rowOffA == c.rowOffB;
  for (int e = 0; e < (scalar ? 1 : c.p * c.q); ++e) {
    GenMatrixD T = scalar ? naiveProduct(P, Q)
                          : naiveProduct(naiveProduct(P, opUnit(c.p, c.q, e % c.p, e / c.p, c.transposed)), Q);
    if (c.four) {
      T = sum(T, scalar ? naiveProduct(R, S4)
                        : naiveProduct(naiveProduct(R, opUnit(c.p, c.q, e % c.p, e / c.p, !c.transposed)), S4));
    }
    if (c.mirror) T = sum(T, naiveTranspose(T));
    for (int k = 0; k < c.mA; ++k)
      for (int l = 0; l < c.mB; ++l) {
        const int K = c.rowOffA + k;
        const int L = c.rowOffB + l;
        if (diagonal && l > k) continue;  // only the lower triangle is read
        const double factor = K == L ? 1.0 : kRoot2;
        want(row + svecIndex(c.D, K, L), base + e) += s * factor * T(k, l);
      }
  }
  return want;
}

// Operand shapes for a p x q variable: P op(E) Q is mA x mB.
void makeOperands(const RowsCase& c, std::mt19937& rng, GenMatrixD& P, GenMatrixD& Q, GenMatrixD& R, GenMatrixD& S4) {
  const bool scalar = c.p == 1 && c.q == 1;
  const int inner1 = scalar ? 3 : (c.transposed ? c.q : c.p);  // rows of op(E)
  const int inner2 = scalar ? 3 : (c.transposed ? c.p : c.q);  // its columns
  P = randomMatrix(c.mA, inner1, rng);
  Q = randomMatrix(inner2, c.mB, rng);
  R = randomMatrix(c.mA, scalar ? 3 : inner2, rng);
  S4 = randomMatrix(scalar ? 3 : inner1, c.mB, rng);
}

TEST(SvecRowsTest, WholeBlockRowsMatchTheDefinition) {
  std::mt19937 rng(19);
  const RowsCase cases[] = {
      {2, 3, 0, 3, 0, 0, 3, 3, 0, false}, {2, 3, 1, 3, 0, 0, 3, 3, 1, false}, {1, 1, 0, 4, 0, 0, 4, 4, 1, false},
      {1, 1, 0, 4, 0, 0, 4, 4, 0, false}, {3, 3, 1, 1, 0, 0, 1, 1, 1, false}, {2, 2, 0, 2, 0, 0, 2, 2, 1, false},
  };
  for (const RowsCase& c : cases) {
    GenMatrixD P, Q, R, S4;
    makeOperands(c, rng, P, Q, R, S4);
    const int rows = 3 + svecLength(c.D) + 2;
    const GenMatrixD before = randomMatrix(rows, 14, rng);
    GenMatrixD A(before);
    int row = 3;
    svecAccumulateSym(A, row, P, Q, 2, c.p, c.q, c.transposed, c.mirror, -0.5);
    EXPECT_EQ(row, 3 + svecLength(c.D));
    expectChange(before, A, expectedRows(c, P, Q, R, S4, rows, 14, 3, 2, -0.5), "svecAccumulateSym");
  }
}

TEST(SvecRowsTest, UnitColumnTimesUnitRowShowsWhichTriangleIsRead) {
  const GenMatrixD U = make(2, 1, {1, 0});  // e_0
  const GenMatrixD V = make(1, 2, {0, 1});  // e_1': T has its one entry at (0, 1)
  for (int symmetric = 0; symmetric <= 1; ++symmetric) {
    GenMatrixD A(3, 1, 0.0, 0);
    int row = 0;
    svecAccumulateSym(A, row, U, V, 0, 1, 1, 0, symmetric, 2.0);
    EXPECT_EQ(A(0, 0), 0.0);
    EXPECT_EQ(A(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(A(2, 0), symmetric ? 2.0 * kRoot2 : 0.0);  // position d: the pair (1, 0)
  }
}

TEST(SvecRowsTest, DiagonalBlocksOfABlockMatrix) {
  std::mt19937 rng(23);
  const RowsCase cases[] = {
      {2, 3, 0, 6, 2, 2, 3, 3, 0, false}, {2, 3, 1, 6, 2, 2, 3, 3, 1, false}, {3, 2, 0, 6, 0, 0, 2, 2, 1, true},
      {3, 2, 1, 6, 3, 3, 3, 3, 0, true},  {1, 1, 0, 5, 1, 1, 3, 3, 1, false}, {1, 1, 0, 5, 2, 2, 3, 3, 1, true},
      {1, 1, 0, 5, 0, 0, 2, 2, 0, true},
  };
  for (const RowsCase& c : cases) {
    GenMatrixD P, Q, R, S4;
    makeOperands(c, rng, P, Q, R, S4);
    const int rows = 1 + svecLength(c.D);
    const GenMatrixD before = randomMatrix(rows, 12, rng);
    GenMatrixD A(before);
    if (c.four)
      svecAccumulateGen4(A, 1, P, Q, R, S4, 5, c.p, c.q, c.transposed, c.rowOffA, c.D, c.mA, c.mirror, 1.25);
    else
      svecAccumulateGen2(A, 1, P, Q, 5, c.p, c.q, c.transposed, c.rowOffA, c.D, c.mA, c.mirror, 1.25);
    expectChange(before, A, expectedRows(c, P, Q, R, S4, rows, 12, 1, 5, 1.25), c.four ? "Gen4" : "Gen2");
  }
}

TEST(SvecRowsTest, OffDiagonalBlocksNeverReachTheDiagonalPositions) {
  std::mt19937 rng(29);
  const RowsCase cases[] = {
      {2, 3, 0, 6, 3, 0, 3, 2, 0, false}, {2, 3, 1, 6, 3, 1, 3, 2, 0, false}, {3, 2, 0, 6, 2, 0, 4, 2, 0, true},
      {2, 2, 1, 5, 3, 0, 2, 3, 0, true},  {1, 1, 0, 5, 2, 0, 3, 2, 0, false}, {1, 1, 0, 5, 2, 0, 3, 2, 0, true},
  };
  for (const RowsCase& c : cases) {
    GenMatrixD P, Q, R, S4;
    makeOperands(c, rng, P, Q, R, S4);
    const int rows = svecLength(c.D);
    const GenMatrixD before = randomMatrix(rows, 12, rng);
    GenMatrixD A(before);
    if (c.four)
      svecAccumulateGen4Offset(A, 0, P, Q, R, S4, 3, c.p, c.q, c.rowOffA, c.rowOffB, c.D, c.mA, c.mB, c.transposed,
                               0.5);
    else
      svecAccumulateGen2Offset(A, 0, P, Q, 3, c.p, c.q, c.rowOffA, c.rowOffB, c.D, c.mA, c.mB, c.transposed, 0.5);
    expectChange(before, A, expectedRows(c, P, Q, R, S4, rows, 12, 0, 3, 0.5), c.four ? "Gen4Offset" : "Gen2Offset");
    for (int k = 0; k < c.D; ++k)
      for (int column = 0; column < 12; ++column) EXPECT_EQ(A(k, column), before(k, column));
  }
}

}  // namespace
