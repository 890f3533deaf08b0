#include <gtest/gtest.h>

#include "test_matrices.h"

#include <cmath>
#include <limits>
#include <vector>

#include "value.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

GenMatrixD product(const GenMatrixD& A, const GenMatrixD& B, bool transposeA = false) {
  const int rows = transposeA ? A.Cols() : A.Rows();
  const int inner = transposeA ? A.Rows() : A.Cols();
  GenMatrixD C(rows, B.Cols(), 0.0, 0);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < B.Cols(); ++j)
      for (int k = 0; k < inner; ++k) C(i, j) += (transposeA ? A(k, i) : A(i, k)) * B(k, j);
  return C;
}

void expectNear(const GenMatrixD& actual, const GenMatrixD& expected, double tol) {
  ASSERT_EQ(actual.Rows(), expected.Rows());
  ASSERT_EQ(actual.Cols(), expected.Cols());
  for (int k = 0; k < expected.Size(); ++k) EXPECT_NEAR(actual[k], expected[k], tol) << "element " << k;
}

// Element-for-element identity, NaNs and the sign of zeros included.
void expectSame(const Value& actual, const GenMatrixD& expected) {
  const GenMatrixD A = asMatrix(actual);
  ASSERT_EQ(A.Rows(), expected.Rows());
  ASSERT_EQ(A.Cols(), expected.Cols());
  for (int k = 0; k < expected.Size(); ++k) {
    if (std::isnan(expected[k])) {
      EXPECT_TRUE(std::isnan(A[k])) << "element " << k;
    } else {
      EXPECT_EQ(A[k], expected[k]) << "element " << k;
      EXPECT_EQ(std::signbit(A[k]), std::signbit(expected[k])) << "element " << k;
    }
  }
}

// A sentinel that a failing built-in must leave in its output.
const double kUntouched = 123.0;

TEST(SqrtValue, RootsInPlaceAndKeepsNegativesAndNaNs) {
  struct Case {
    GenMatrixD in, expected;
    int status;
  };
  const Case cases[] = {
      {make(2, 2, {4, -1, 9, 0}), make(2, 2, {2, -1, 3, 0}), 1},
      {make(1, 1, {16}), make(1, 1, {4}), 0},
      {make(1, 1, {-4}), make(1, 1, {-4}), 1},
      {make(1, 1, {kNaN}), make(1, 1, {kNaN}), 1},
      {make(1, 2, {-0.0, kInf}), make(1, 2, {-0.0, kInf}), 0},
      {make(1, 2, {kNaN, 2.25}), make(1, 2, {kNaN, 1.5}), 1},
  };
  for (const Case& c : cases) {
    Value v(c.in);
    EXPECT_EQ(sqrtValue(v), c.status);
    expectSame(v, c.expected);
  }
  Value empty;
  EXPECT_EQ(sqrtValue(empty), 0);
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(SqrtValue, WritesThroughSharedStorageAndSquaresBack) {
  const GenMatrixD original = make(2, 3, {0.5, 2, 3, 1e-8, 7, 1e6});
  Value v(GenMatrixD(original, 0));
  Value sharer(v);
  ASSERT_EQ(sqrtValue(v), 0);
  const GenMatrixD seen = asMatrix(sharer);
  for (int k = 0; k < original.Size(); ++k) EXPECT_NEAR(seen[k] * seen[k], original[k], 1e-15 * original[k]);
}

TEST(InvValue, InvertsMatricesAndScalars) {
  Value out;
  ASSERT_EQ(invValue(matrixValue(2, 2, {2, 0, 0, 4}), out), 0);
  expectNear(asMatrix(out), make(2, 2, {0.5, 0, 0, 0.25}), 0.0);

  const GenMatrixD A = make(3, 3, {4, -2, 1, 3, 6, -4, 2, 1, 8});
  const Value in(A);
  ASSERT_EQ(invValue(in, out), 0);
  expectNear(product(asMatrix(out), A), identityMatrix(3), 1e-14);
  expectNear(product(A, asMatrix(out)), identityMatrix(3), 1e-14);
  expectSame(in, make(3, 3, {4, -2, 1, 3, 6, -4, 2, 1, 8}));
  EXPECT_EQ(out.Matrix()->Storage().RefCount(), 1);

  ASSERT_EQ(invValue(Value(4.0), out), 0);
  expectSame(out, make(1, 1, {0.25}));
  ASSERT_EQ(invValue(Value(0.0), out), 0);
  expectSame(out, make(1, 1, {kInf}));
  out = kUntouched;
  ASSERT_EQ(invValue(Value(), out), 0);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(InvValue, SingularMatrixFailsAndLeavesOutAlone) {
  Value out(kUntouched);
  EXPECT_EQ(invValue(matrixValue(2, 2, {1, 2, 2, 4}), out), 1);
  expectSame(out, make(1, 1, {kUntouched}));
  EXPECT_EQ(invValue(matrixValue(3, 3, {0, 0, 0, 0, 1, 0, 0, 0, 1}), out), 1);
  expectSame(out, make(1, 1, {kUntouched}));
}

TEST(CholValue, FactorIsUpperTriangularWithRTransposeRIsA) {
  Value out;
  ASSERT_EQ(cholValue(matrixValue(2, 2, {4, 2, 2, 5}), out), 0);
  expectSame(out, make(2, 2, {2, 1, 0, 2}));

  const GenMatrixD A = make(4, 4, {10, 2, -1, 3, 2, 8, 1, 0, -1, 1, 6, 2, 3, 0, 2, 9});
  const Value in(A);
  ASSERT_EQ(cholValue(in, out), 0);
  const GenMatrixD R = asMatrix(out);
  for (int j = 0; j < 4; ++j)
    for (int i = j + 1; i < 4; ++i) EXPECT_EQ(R(i, j), 0.0);
  expectNear(product(R, R, true), A, 1e-13);
  expectSame(in, make(4, 4, {10, 2, -1, 3, 2, 8, 1, 0, -1, 1, 6, 2, 3, 0, 2, 9}));
}

TEST(CholValue, ReadsOnlyTheUpperTriangle) {
  Value symmetric, lopsided;
  ASSERT_EQ(cholValue(matrixValue(2, 2, {4, 2, 2, 5}), symmetric), 0);
  ASSERT_EQ(cholValue(matrixValue(2, 2, {4, 2, kNaN, 5}), lopsided), 0);
  expectSame(lopsided, asMatrix(symmetric));
}

TEST(CholValue, NotPositiveDefiniteFailsAndLeavesOutAlone) {
  Value out(kUntouched);
  EXPECT_EQ(cholValue(matrixValue(2, 2, {1, 2, 2, 1}), out), 1);
  EXPECT_EQ(cholValue(matrixValue(2, 2, {-1, 0, 0, 1}), out), 1);
  expectSame(out, make(1, 1, {kUntouched}));
}

TEST(CholValue, ScalarsAndEmpty) {
  Value out;
  ASSERT_EQ(cholValue(Value(4.0), out), 0);
  expectSame(out, make(1, 1, {2}));
  ASSERT_EQ(cholValue(Value(-4.0), out), 0);  // no sign test
  expectSame(out, make(1, 1, {kNaN}));
  ASSERT_EQ(cholValue(Value(), out), 0);
  EXPECT_TRUE(out.IsEmpty());
}

// N spans the null space of A: A N = 0, N'N = I, and it has the expected
// number of columns.
void expectNullBasis(const GenMatrixD& A, double tol, int nullity) {
  Value out(kUntouched);
  ASSERT_EQ(nullValue(Value(A), out, tol), 0);
  if (nullity == 0) {
    EXPECT_TRUE(out.IsEmpty());
    return;
  }
  const GenMatrixD N = asMatrix(out);
  ASSERT_EQ(N.Rows(), A.Cols());
  ASSERT_EQ(N.Cols(), nullity);
  expectNear(product(A, N), GenMatrixD(A.Rows(), nullity, 0.0, 0), 1e-12);
  expectNear(product(N, N, true), identityMatrix(nullity), 1e-12);
}

TEST(NullValue, OrthonormalBasisOfTheNullSpace) {
  Value out;
  ASSERT_EQ(nullValue(matrixValue(1, 2, {1, 1}), out, 1e-10), 0);
  const GenMatrixD N = asMatrix(out);
  ASSERT_EQ(N.Rows(), 2);
  ASSERT_EQ(N.Cols(), 1);
  EXPECT_NEAR(std::fabs(N[0]), std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(N[0] + N[1], 0.0, 1e-15);

  expectNullBasis(make(2, 2, {1, 0, 0, 1}), 1e-10, 0);
  expectNullBasis(make(1, 2, {0, 0}), 1e-10, 2);
  expectNullBasis(make(3, 4, {1, 2, 3, 4, 2, 4, 6, 8, 1, 0, 1, 0}), 1e-10, 2);  // rank 2
  expectNullBasis(make(4, 2, {1, 2, 2, 4, 3, 6, -1, -2}), 1e-10, 1);            // tall, rank 1
  expectNullBasis(make(4, 2, {1, 0, 0, 1, 1, 1, 2, 3}), 1e-10, 0);              // tall, full rank
  expectNullBasis(make(2, 5, {1, 2, 3, 4, 5, 5, 4, 3, 2, 1}), 1e-10, 3);        // wide
}

TEST(NullValue, SquareMatricesGetEnoughWorkspace) {
  // A 12 x 12 matrix of rank 9: the work length max(3k + K, 5k - 4) alone
  // is too short for current LAPACK when k = K.
  GenMatrixD A(12, 12);
  unsigned state = 12345;
  for (int j = 0; j < 12; ++j) {
    for (int i = 0; i < 12; ++i) {
      state = state * 1103515245u + 12345u;
      A(i, j) = j < 9 ? (state >> 8) % 1000 / 100.0 - 5.0 : A(i, j - 9) + 2 * A(i, j - 8);
    }
  }
  expectNullBasis(A, 1e-10, 3);
}

TEST(NullValue, ToleranceIsAStrictThreshold) {
  const Value A = matrixValue(2, 2, {1, 0, 0, 1e-3});
  Value out;
  ASSERT_EQ(nullValue(A, out, 1e-3), 0);  // a singular value equal to tol is kept
  EXPECT_TRUE(out.IsEmpty());
  ASSERT_EQ(nullValue(A, out, kNaN), 0);  // nothing is below a NaN
  EXPECT_TRUE(out.IsEmpty());
  ASSERT_EQ(nullValue(A, out, 1.0000001e-3), 0);
  const GenMatrixD N = asMatrix(out);
  ASSERT_EQ(N.Rows(), 2);
  ASSERT_EQ(N.Cols(), 1);
  EXPECT_EQ(N[0], 0.0);
  EXPECT_EQ(std::fabs(N[1]), 1.0);
}

TEST(NullValue, ScalarsAndEmpty) {
  Value out;
  ASSERT_EQ(nullValue(Value(0.0), out, 1e-10), 0);
  expectSame(out, make(1, 1, {1.0}));
  ASSERT_EQ(nullValue(Value(3.0), out, 1e-10), 0);
  expectSame(out, make(1, 1, {0.0}));
  ASSERT_EQ(nullValue(Value(kNaN), out, 1e-10), 0);
  expectSame(out, make(1, 1, {0.0}));
  ASSERT_EQ(nullValue(Value(), out, 1e-10), 0);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(EigValue, RealEigenvaluesGiveAColumn) {
  Value out;
  ASSERT_EQ(eigValue(matrixValue(2, 2, {2, 0, 0, 3}), out), 0);
  expectSame(out, make(2, 1, {2, 3}));

  // Upper triangular: the eigenvalues are the diagonal, in some order.
  const Value in = matrixValue(3, 3, {1, 5, -2, 0, 4, 7, 0, 0, -3});
  ASSERT_EQ(eigValue(in, out), 0);
  ASSERT_EQ(out.Rows(), 3);
  ASSERT_EQ(out.Cols(), 1);
  std::vector<double> values(out.Matrix()->Data(), out.Matrix()->Data() + 3);
  std::sort(values.begin(), values.end());
  EXPECT_NEAR(values[0], -3, 1e-13);
  EXPECT_NEAR(values[1], 1, 1e-13);
  EXPECT_NEAR(values[2], 4, 1e-13);
  expectSame(in, make(3, 3, {1, 5, -2, 0, 4, 7, 0, 0, -3}));
}

TEST(EigValue, ComplexPairsGiveRealAndImaginaryColumns) {
  Value out;
  ASSERT_EQ(eigValue(matrixValue(2, 2, {0, 1, -1, 0}), out), 0);
  expectNear(asMatrix(out), make(2, 2, {0, 1, 0, -1}), 1e-15);
}

TEST(EigValue, ImaginaryPartsBelowTheBoundAreDropped) {
  // [a b; c a] with bc < 0 has eigenvalues a +- i sqrt(-bc); two of them
  // sum their imaginary parts to 2 sqrt(-bc) against the bound 2e-6.
  Value out;
  ASSERT_EQ(eigValue(matrixValue(2, 2, {5, 1e-6, -0.9801e-6, 5}), out), 0);  // sum 1.98e-6
  expectNear(asMatrix(out), make(2, 1, {5, 5}), 1e-14);
  ASSERT_EQ(eigValue(matrixValue(2, 2, {5, 1e-6, -1.0201e-6, 5}), out), 0);  // sum 2.02e-6
  ASSERT_EQ(out.Cols(), 2);
  EXPECT_NEAR(std::fabs((*out.Matrix())(0, 1)), 1.01e-6, 1e-15);
}

TEST(EigValue, ScalarsAndEmptyComeBackUnchanged) {
  Value out;
  ASSERT_EQ(eigValue(Value(-2.5), out), 0);
  expectSame(out, make(1, 1, {-2.5}));
  out = kUntouched;
  ASSERT_EQ(eigValue(Value(), out), 0);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(EigvecValue, RightEigenvectorsSatisfyAVEqualsVLambda) {
  const GenMatrixD A = make(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
  const Value in(A);
  Value vectors, values;
  ASSERT_EQ(eigvecValue(in, vectors), 0);
  ASSERT_EQ(eigValue(in, values), 0);
  const GenMatrixD V = asMatrix(vectors);
  const GenMatrixD L = asMatrix(values);
  ASSERT_EQ(V.Rows(), 3);
  ASSERT_EQ(V.Cols(), 3);
  ASSERT_EQ(L.Cols(), 1);
  const GenMatrixD AV = product(A, V);
  for (int j = 0; j < 3; ++j) {
    double norm = 0.0;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(AV(i, j), V(i, j) * L[j], 1e-12);
      norm += V(i, j) * V(i, j);
    }
    EXPECT_NEAR(norm, 1.0, 1e-14);
  }
  expectSame(in, make(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4}));
}

TEST(EigvecValue, ComplexPairHoldsRealAndImaginaryParts) {
  // Rotation-like block plus a real eigenvalue: A (x + iy) = (a + ib)(x + iy)
  // splits into A x = a x - b y and A y = b x + a y.
  const GenMatrixD A = make(3, 3, {1, -2, 0, 2, 1, 0, 0, 0, 3});
  Value vectors, values;
  ASSERT_EQ(eigvecValue(Value(A), vectors), 0);
  ASSERT_EQ(eigValue(Value(A), values), 0);
  const GenMatrixD V = asMatrix(vectors);
  const GenMatrixD W = asMatrix(values);
  ASSERT_EQ(W.Cols(), 2);
  const GenMatrixD AV = product(A, V);
  for (int j = 0; j < 3; ++j) {
    if (W(j, 1) > 0) {  // first of a pair: columns j and j + 1
      const double a = W(j, 0);
      const double b = W(j, 1);
      for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(AV(i, j), a * V(i, j) - b * V(i, j + 1), 1e-12);
        EXPECT_NEAR(AV(i, j + 1), b * V(i, j) + a * V(i, j + 1), 1e-12);
      }
      ++j;
    } else {
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(AV(i, j), W(j, 0) * V(i, j), 1e-12);
    }
  }
}

TEST(EigvecValue, ScalarGivesOneEmptyStaysEmpty) {
  Value out;
  ASSERT_EQ(eigvecValue(Value(7.0), out), 0);
  expectSame(out, make(1, 1, {1.0}));
  out = kUntouched;
  ASSERT_EQ(eigvecValue(Value(), out), 0);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(NotValue, ZerosBecomeOnesInPlace) {
  Value v = matrixValue(1, 4, {0, 2, -0.0, kNaN});
  Value sharer(v);
  EXPECT_EQ(&notValue(v), &v);
  expectSame(sharer, make(1, 4, {1, 0, 1, 0}));
  Value scalar(0.0);
  notValue(scalar);
  expectSame(scalar, make(1, 1, {1}));
  Value empty;
  EXPECT_TRUE(notValue(empty).IsEmpty());
}

TEST(Elementwise, CallbacksOnNumbersAndNaN) {
  struct Case {
    const char* name;
    ElementwiseOp op;
    double lt, eq, gt, withNaN;  // (1, 2), (2, 2), (3, 2), (NaN, 1)
  };
  const Case cases[] = {
      {"==", compareEq, 0, 1, 0, 0},   {"~=", compareNe, 1, 0, 1, 1}, {"<", compareLt, 1, 0, 0, 0},
      {"<=", compareLe, 1, 1, 0, 0},   {">", compareGt, 0, 0, 1, 0},  {">=", compareGe, 0, 1, 1, 0},
      {"&", logicalAnd, 1, 1, 1, 1},   {"|", logicalOr, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.op(1, 2), c.lt) << c.name;
    EXPECT_EQ(c.op(2, 2), c.eq) << c.name;
    EXPECT_EQ(c.op(3, 2), c.gt) << c.name;
    EXPECT_EQ(c.op(kNaN, 1), c.withNaN) << c.name;
  }
  EXPECT_EQ(compareEq(kNaN, kNaN), 0.0);
  EXPECT_EQ(compareNe(kNaN, kNaN), 1.0);
  EXPECT_EQ(compareEq(0.0, -0.0), 1.0);
  EXPECT_EQ(logicalAnd(0, 1), 0.0);
  EXPECT_EQ(logicalAnd(-0.0, kNaN), 0.0);
  EXPECT_EQ(logicalOr(0, 0), 0.0);
  EXPECT_EQ(logicalOr(0, kNaN), 1.0);
}

TEST(Elementwise, ShapesOfTheOperands) {
  const Value M = matrixValue(2, 2, {1, 2, 3, 4});
  const Value two(2.0);
  expectSame(elementwiseValues(M, two, compareGt), make(2, 2, {0, 0, 1, 1}));
  expectSame(elementwiseValues(two, M, compareGt), make(2, 2, {1, 0, 0, 0}));
  expectSame(elementwiseValues(M, matrixValue(2, 2, {1, 0, 5, 4}), compareEq), make(2, 2, {1, 0, 0, 1}));
  expectSame(elementwiseValues(matrixValue(1, 3, {1, 2, 3}), matrixValue(1, 3, {3, 2, 1}), compareLe),
             make(1, 3, {1, 1, 0}));
  expectSame(elementwiseValues(Value(1.0), Value(0.0), logicalOr), make(1, 1, {1}));
  const Value result = elementwiseValues(M, M, compareGe);
  EXPECT_EQ(result.Matrix()->Storage().RefCount(), 1);
  expectSame(M, make(2, 2, {1, 2, 3, 4}));
  const Value operands[] = {Value(), two, M};
  for (const Value& other : operands) {
    EXPECT_TRUE(elementwiseValues(Value(), other, compareEq).IsEmpty());
    EXPECT_TRUE(elementwiseValues(other, Value(), compareNe).IsEmpty());
  }
}

TEST(FindValue, RowByRowLinearIndicesOfNonzeros) {
  struct Case {
    const char* name;
    Value in;
    GenMatrixD expected;  // 0 x 0 for the empty value
  };
  const Case cases[] = {
      {"[1 0; 1 1]", matrixValue(2, 2, {1, 0, 1, 1}), make(1, 3, {1, 2, 4})},
      {"[0 1; 1 0]", matrixValue(2, 2, {0, 1, 1, 0}), make(1, 2, {3, 2})},
      {"zeros", matrixValue(2, 3, {0, 0, -0.0, 0, 0, 0}), GenMatrixD(0)},
      {"one at (2,1)", matrixValue(2, 2, {0, 0, 1, 0}), make(1, 1, {2})},
      {"NaN counts", matrixValue(3, 1, {0, kNaN, 0}), make(1, 1, {2})},
      {"2 x 3", matrixValue(2, 3, {0, 5, 6, 7, 0, 8}), make(1, 4, {3, 5, 2, 6})},
      {"5", Value(5.0), make(1, 1, {1})},
      {"0", Value(0.0), GenMatrixD(0)},
      {"empty", Value(), GenMatrixD(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Value out(kUntouched);
    findValue(c.in, out);
    if (c.expected.Size() == 0)
      EXPECT_TRUE(out.IsEmpty());
    else
      expectSame(out, c.expected);
  }
}

}  // namespace
