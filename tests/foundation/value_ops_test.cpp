#include <gtest/gtest.h>

#include "reference_matrices.h"
#include "test_matrices.h"

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "value.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using Operator = Value (*)(const Value&, const Value&);

void expectNear(const GenMatrixD& actual, const GenMatrixD& expected, double tol) {
  ASSERT_EQ(actual.Rows(), expected.Rows());
  ASSERT_EQ(actual.Cols(), expected.Cols());
  for (int k = 0; k < expected.Size(); ++k) EXPECT_NEAR(actual[k], expected[k], tol) << "element " << k;
}

void expectEqual(const Value& actual, const GenMatrixD& expected) { expectNear(asMatrix(actual), expected, 0.0); }

GenMatrixD elementwise(const GenMatrixD& A, const std::function<double(double)>& f) {
  GenMatrixD R(A.Rows(), A.Cols());
  for (int k = 0; k < A.Size(); ++k) R[k] = f(A[k]);
  return R;
}

TEST(ValueArithmetic, ScalarsCombineAsNumbers) {
  struct Case {
    const char* name;
    Operator op;
    double a, b, expected;
  };
  const Case cases[] = {
      {"+", addValues, 2, 3, 5},           {"-", subtractValues, 2, 3, -1},     {"*", multiplyValues, 2, 3, 6},
      {"/", rightDivideValues, 6, 2, 3},   {"\\", leftDivideValues, 2, 6, 3},   {"^", powerValues, 2, 3, 8},
      {"/ by 0", rightDivideValues, 1, 0, std::numeric_limits<double>::infinity()},
      {"\\ by 0", leftDivideValues, 0, -1, -std::numeric_limits<double>::infinity()},
  };
  for (const Case& c : cases) {
    const Value result = c.op(Value(c.a), Value(c.b));
    ASSERT_TRUE(result.IsScalar()) << c.name;
    EXPECT_EQ(*result.Scalar(), c.expected) << c.name;
  }
  EXPECT_TRUE(std::isnan(*rightDivideValues(Value(0.0), Value(0.0)).Scalar()));
}

TEST(ValueArithmetic, AnEmptyOperandGivesEmptySilently) {
  const Operator ops[] = {addValues, subtractValues, multiplyValues, rightDivideValues, leftDivideValues};
  const Value empty;
  const Value operands[] = {Value(), Value(2.0), matrixValue(2, 2, {1, 2, 3, 4})};
  for (Operator op : ops) {
    for (const Value& other : operands) {
      CaptureStderr();
      EXPECT_TRUE(op(empty, other).IsEmpty());
      EXPECT_TRUE(op(other, empty).IsEmpty());
      EXPECT_EQ(GetCapturedStderr(), "");
    }
  }
}

TEST(ValueArithmetic, ScalarAndMatrixInEitherOrder) {
  const GenMatrixD M = make(2, 3, {2, -4, 6, 8, 0.5, -1});
  const double s = 2.0;
  struct Case {
    const char* name;
    Operator op;
    bool scalarFirst;
    std::function<double(double)> element;
  };
  const Case cases[] = {
      {"s + M", addValues, true, [s](double x) { return s + x; }},
      {"M + s", addValues, false, [s](double x) { return x + s; }},
      {"s - M", subtractValues, true, [s](double x) { return s - x; }},
      {"M - s", subtractValues, false, [s](double x) { return x - s; }},
      {"s * M", multiplyValues, true, [s](double x) { return s * x; }},
      {"M * s", multiplyValues, false, [s](double x) { return x * s; }},
      // The scalar is the divisor on either side.
      {"s / M", rightDivideValues, true, [s](double x) { return x / s; }},
      {"M / s", rightDivideValues, false, [s](double x) { return x / s; }},
      {"s \\ M", leftDivideValues, true, [s](double x) { return x / s; }},
      {"M \\ s", leftDivideValues, false, [s](double x) { return x / s; }},
  };
  const Value matrix(M);
  const Value scalar(s);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Value result = c.scalarFirst ? c.op(scalar, matrix) : c.op(matrix, scalar);
    ASSERT_TRUE(result.IsMatrix());
    expectEqual(result, elementwise(M, c.element));
    EXPECT_EQ(result.Matrix()->Storage().RefCount(), 1);
  }
  expectEqual(matrix, make(2, 3, {2, -4, 6, 8, 0.5, -1}));
  EXPECT_EQ(*scalar.Scalar(), 2.0);
}

TEST(ValueArithmetic, ScalarDivisorsFromTheExamples) {
  const Value row = matrixValue(1, 2, {2, 4});
  const Value two(2.0);
  for (const Value& result : {rightDivideValues(row, two), rightDivideValues(two, row), leftDivideValues(row, two),
                              leftDivideValues(two, row)})
    expectEqual(result, make(1, 2, {1, 2}));
  const Value zero(0.0);
  const Value quotient = rightDivideValues(row, zero);
  EXPECT_TRUE(std::isinf((*quotient.Matrix())[0]));
}

TEST(ValueArithmetic, MatrixSumsDifferencesAndProducts) {
  const GenMatrixD A = make(2, 3, {1, 2, 3, 4, 5, 6});
  const GenMatrixD B = make(2, 3, {0.5, -1, 2, 7, 0, -3});
  const GenMatrixD C = make(3, 2, {1, -1, 2, 0, 0.5, 3});
  const Value a(A), b(B), c(C);
  expectEqual(addValues(a, b), make(2, 3, {1.5, 1, 5, 11, 5, 3}));
  expectEqual(subtractValues(a, b), make(2, 3, {0.5, 3, 1, -3, 5, 9}));
  expectEqual(multiplyValues(a, c), naiveProduct(A, C));
  expectEqual(multiplyValues(c, a), naiveProduct(C, A));
  // A 1 x 3 row times a 3 x 1 column is a scalar; the reverse a 3 x 3.
  const Value row = matrixValue(1, 3, {1, 2, 3});
  const Value column = matrixValue(3, 1, {4, 5, 6});
  const Value inner = multiplyValues(row, column);
  ASSERT_TRUE(inner.IsScalar());
  EXPECT_EQ(*inner.Scalar(), 32.0);
  expectEqual(multiplyValues(column, row), naiveProduct(make(3, 1, {4, 5, 6}), make(1, 3, {1, 2, 3})));
  // A difference of equal matrices is still a matrix of zeros.
  expectEqual(subtractValues(a, a), GenMatrixD(2, 3, 0.0, 0));
  // Operands unchanged (a still shares A's storage), results private.
  expectEqual(a, make(2, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(a.Matrix()->Storage().RefCount(), 2);
  EXPECT_EQ(addValues(a, b).Matrix()->Storage().RefCount(), 1);
}

TEST(ValueArithmetic, SquareDivisionsSolveTheSystem) {
  const Value A = matrixValue(2, 2, {1, 2, 3, 4});
  const GenMatrixD identity = make(2, 2, {1, 0, 0, 1});
  expectNear(asMatrix(rightDivideValues(A, A)), identity, 1e-12);
  expectNear(asMatrix(leftDivideValues(A, A)), identity, 1e-12);

  const GenMatrixD N = make(3, 3, {4, 1, 0, 1, 3, 1, 2, 0, 5});
  const GenMatrixD M = make(2, 3, {1, 2, 3, -1, 0, 4});
  const Value right = rightDivideValues(Value(M), Value(N));  // X N = M
  expectNear(naiveProduct(asMatrix(right), N), M, 1e-12);
  const GenMatrixD B = make(3, 2, {1, 0, 2, 1, -1, 3});
  const Value left = leftDivideValues(Value(N), Value(B));  // N X = B
  expectNear(naiveProduct(N, asMatrix(left)), B, 1e-12);
  expectEqual(Value(N), make(3, 3, {4, 1, 0, 1, 3, 1, 2, 0, 5}));
}

TEST(ValueArithmetic, RectangularDivisionsAreLeastSquares) {
  // Overdetermined: M \ N satisfies the normal equations M'(M X - N) = 0,
  // and N' / M' is its transpose.
  const GenMatrixD M = make(3, 2, {1, 1, 1, 2, 1, 4});
  const GenMatrixD N = make(3, 1, {1, 2, 2});
  const Value x = leftDivideValues(Value(M), Value(N));
  ASSERT_EQ(x.Rows(), 2);
  ASSERT_EQ(x.Cols(), 1);
  GenMatrixD residual = naiveProduct(M, asMatrix(x));
  for (int i = 0; i < 3; ++i) residual[i] -= N[i];
  expectNear(naiveProduct(naiveTranspose(M), residual), GenMatrixD(2, 1, 0.0, 0), 1e-12);
  const Value xt = rightDivideValues(Value(naiveTranspose(N)), Value(naiveTranspose(M)));
  expectNear(asMatrix(xt), naiveTranspose(asMatrix(x)), 1e-12);

  // Underdetermined: the minimum-norm solution solves W X = c and lies in
  // the row space of W, so it is orthogonal to W's null vector [1 -2 1]'.
  const GenMatrixD W = make(2, 3, {1, 2, 3, 4, 5, 6});
  const GenMatrixD c = make(2, 1, {1, 1});
  const Value y = leftDivideValues(Value(W), Value(c));
  ASSERT_EQ(y.Rows(), 3);
  expectNear(naiveProduct(W, asMatrix(y)), c, 1e-12);
  const GenMatrixD Y = asMatrix(y);
  EXPECT_NEAR(Y[0] - 2 * Y[1] + Y[2], 0.0, 1e-12);

  // A 1 x 2 by 1 x 2 right division has one element: a scalar 11 / 25.
  const Value q = rightDivideValues(matrixValue(1, 2, {1, 2}), matrixValue(1, 2, {3, 4}));
  ASSERT_TRUE(q.IsScalar());
  EXPECT_NEAR(*q.Scalar(), 0.44, 1e-15);
}

TEST(ValueArithmetic, SingularDivisorGivesNonFiniteResultsSilently) {
  CaptureStderr();
  const Value x = leftDivideValues(matrixValue(2, 2, {1, 2, 2, 4}), matrixValue(2, 1, {1, 1}));
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_TRUE(x.IsMatrix());
  const GenMatrixD X = asMatrix(x);
  EXPECT_FALSE(std::isfinite(X[0]) && std::isfinite(X[1]));
}

TEST(ValueArithmetic, PowerComputesOnlyScalarToScalar) {
  struct Case {
    const char* name;
    Value base, exponent;
    const char* message;
  };
  const Value matrix = matrixValue(2, 2, {1, 2, 3, 4});
  const Value row = matrixValue(1, 2, {1, 2});
  const Case cases[] = {
      {"matrix ^ scalar", matrix, Value(2.0), "Not yet implemented function."},
      {"scalar ^ matrix", Value(2.0), row, "Undefined operation: Matrix ^ Matrix"},
      {"scalar ^ empty", Value(2.0), Value(), "Undefined operation: Matrix ^ Matrix"},
      {"matrix ^ matrix", matrix, matrix, "Undefined operation: Matrix ^ Matrix"},
      {"empty ^ empty", Value(), Value(), "Undefined operation: Matrix ^ Matrix"},
      {"empty ^ scalar", Value(), Value(2.0), ""},
  };
  for (const Case& c : cases) {
    CaptureStderr();
    const Value result = powerValues(c.base, c.exponent);
    EXPECT_EQ(GetCapturedStderr(), c.message) << c.name;
    EXPECT_TRUE(result.IsEmpty()) << c.name;
  }
  EXPECT_EQ(*powerValues(Value(4.0), Value(0.5)).Scalar(), 2.0);
}

TEST(ValueArithmetic, Transpose) {
  const Value column = transposeValue(matrixValue(1, 3, {1, 2, 3}));
  expectEqual(column, make(3, 1, {1, 2, 3}));
  const GenMatrixD A = make(2, 3, {1, 2, 3, 4, 5, 6});
  const Value a(A);
  const Value t = transposeValue(a);
  expectEqual(t, naiveTranspose(A));
  (*t.Matrix())(0, 0) = 9.0;
  EXPECT_EQ((*a.Matrix())(0, 0), 1.0);
  EXPECT_EQ(*transposeValue(Value(5.0)).Scalar(), 5.0);
  EXPECT_TRUE(transposeValue(Value()).IsEmpty());
}

TEST(ValueArithmetic, PrintValue) {
  std::ostringstream empty, scalar, matrix;
  printValue(empty, Value());
  printValue(scalar, Value(2.0));
  printValue(matrix, matrixValue(2, 2, {1, 2, 3, 4}));
  EXPECT_EQ(empty.str(), "Empty container!\n");
  EXPECT_EQ(scalar.str(), "2");
  EXPECT_EQ(matrix.str(), "\n1  2  \n3  4  \n");
}

}  // namespace
