#include "builtins.h"

#include <cmath>
#include <ctime>
#include <string>

#include "allocation.h"
#include "evaluator.h"
#include "lexer.h"
#include "primaries.h"
#include "report.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

const char* const kInvalidSize = "Invalid size.";
const char* const kSizeBelowOne = "Matrix size must be greater than one.";

// ---- The frame of the one-argument functions ------------------------------

// Takes the "(" that must follow the keyword directly and the blanks after it.
int openArgument() {
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  return 0;
}

// Takes the keyword, the "(" and evaluates the argument into argument.
int readArgument(int keyword, Value& argument) {
  if (expectToken(keyword) || openArgument()) return 1;
  return evalExpression(argument);
}

// Takes the closing ")" of a call; the call's value is then shown as "ans".
int closeCall() {
  skipSpaces();
  if (expectToken(kRightParen)) return 1;
  resultName = kAnsName;
  return 0;
}

int isSquare(const Value& v) { return v.Rows() == v.Cols(); }

// A function computed by a value built-in after a test of its argument and
// the memory gate's test of what the computation holds.
struct CheckedBuiltin {
  int keyword;
  int (*accepts)(const Value&);
  const char* rejected;
  double (*held)(const Value& in);
  int (*compute)(const Value& in, Value& out);
  const char* failed;
};

// clang-format off
const CheckedBuiltin invBuiltin = {kInv, isSquare, "Can not invert nonsquare matrices!", invElementCount, invValue,
                                   "'inv' failed. Matrix may be ill conditionated or singular."};
const CheckedBuiltin cholBuiltin = {kChol, isSymmetric,
                                    "Can only compute cholesky factorization of square symmetric matrices!",
                                    cholElementCount, cholValue, "'chol' failed. Matrix may be not positive definite."};
const CheckedBuiltin eigBuiltin = {kEig, isSquare, "Can only compute eigenvalues of square matrices!", eigElementCount,
                                   eigValue, "'eig' failed."};
const CheckedBuiltin eigvecBuiltin = {kEigvec, isSquare, "Can only compute eigenvectors of square matrices!",
                                      eigvecElementCount, eigvecValue, "'eigvec' failed."};
// clang-format on

int callChecked(const CheckedBuiltin& builtin, Value& result) {
  Value argument;
  if (readArgument(builtin.keyword, argument)) return 1;
  if (!builtin.accepts(argument)) return fail(builtin.rejected);
  if (checkAllocatable(builtin.held(argument))) return 1;
  if (builtin.compute(argument, result)) return fail(builtin.failed);
  return closeCall();
}

// ---- Sizes ----------------------------------------------------------------

// Converts one written size, checked as a double before it becomes an int:
// at least 1 after truncation, and countable by an int.
int sizeFromDouble(double x, int& size) {
  if (std::isnan(x) || x >= 2147483648.0) return fail(kInvalidSize);
  if (x < 1.0) return fail(kSizeBelowOne);
  size = static_cast<int>(x);
  return 0;
}

// The m x n matrix (m x m when n is 0) must be one that can be allocated.
int checkElementCount(int m, int n) {
  if (!isAllocatableCount(static_cast<double>(m) * (n != 0 ? n : m))) return fail(kInvalidSize);
  return 0;
}

// The size written after the first one: ", n".
int parseSecondSize(int& n) {
  skipSpaces();
  if (expectToken(kComma)) return 1;
  skipSpaces();
  if (parseIntegerArg(n)) return 1;
  if (n < 1) return fail(kSizeBelowOne);
  return 0;
}

// The sizes inside the parentheses, up to the ")" (not taken).
int parseSizes(int& m, int& n) {
  Value e;
  if (evalExpression(e)) return 1;
  const int count = e.ElementCount();
  if (count == 0 || count > 2) return fail(kInvalidSize);
  if (count == 2) {
    const GenMatrixD& v = *e.Matrix();
    if (sizeFromDouble(v[0], m) || sizeFromDouble(v[1], n)) return 1;
  } else {
    if (sizeFromDouble(*e.Scalar(), m)) return 1;
    if (peekNonSpace() == kComma && parseSecondSize(n)) return 1;
  }
  return checkElementCount(m, n);
}

// ---- diag and trace -------------------------------------------------------

// The n x n matrix with the vector's elements on its diagonal.
int diagonalFromVector(const GenMatrixD& v, Value& result) {
  const int n = v.Size();
  if (!isAllocatableCount(static_cast<double>(n) * n)) return fail(kInvalidSize);
  GenMatrixD d(n, n, 0.0, 0);
  for (int i = 0; i < n; ++i) d(i, i) = v[i];
  result = d;
  return 0;
}

// The column of the diagonal elements of a matrix that is not a vector.
void diagonalOfMatrix(const GenMatrixD& a, Value& result) {
  const int k = a.Rows() < a.Cols() ? a.Rows() : a.Cols();
  GenMatrixD d(k, 1);
  for (int i = 0; i < k; ++i) d[i] = a(i, i);
  result = d;
}

int applyDiag(Value& result) {
  if (!result.IsMatrix()) return 0;
  const GenMatrixD a(*result.Matrix(), ShareTag{});  // outlives result's old content
  if (a.Rows() == 1 || a.Cols() == 1) return diagonalFromVector(a, result);
  diagonalOfMatrix(a, result);
  return 0;
}

}  // namespace

int parseSizeArgs(int& m, int& n) {
  m = n = 0;
  if (peekKind(0) != kLeftParen) return 0;
  if (openArgument()) return 1;
  if (parseSizes(m, n)) return 1;
  skipSpaces();
  return expectToken(kRightParen);
}

int makeFilled(Value& result, double fill) {
  int m, n;
  if (parseSizeArgs(m, n)) return 1;
  if (m == 0) return fail("Expected '('.");
  if (n == 0) n = m;
  result = Value(m, n, fill);
  return 0;
}

int primaryCputime(Value& result) {
  expectToken(kCputime);
  result = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
  resultName = kAnsName;
  return 0;
}

int primaryDiag(Value& result) {
  std::string text;
  expectTokenText(kType, text);
  if (text != "diag") {
    reportError("'" + text + "' is not a primary.");
    return 1;
  }
  if (openArgument() || evalExpression(result) || applyDiag(result)) return 1;
  return closeCall();
}

int primarySqrt(Value& result) {
  if (readArgument(kSqrt, result)) return 1;
  // sqrtValue writes in place; the argument may share a stored value's
  // elements.
  if (makeWritable(result)) return 1;
  if (sqrtValue(result)) reportWarning("Matrix contains negative elements which were ignored.");
  return closeCall();
}

int primaryEye(Value& result) {
  expectToken(kEye);
  int m, n;
  if (parseSizeArgs(m, n)) return 1;
  if (m == 0) return fail("Expected '('.");
  if (n == 0) n = m;
  GenMatrixD identity(m, n, 0.0, 0);
  const int k = m < n ? m : n;
  for (int i = 0; i < k; ++i) identity(i, i) = 1.0;
  result = identity;
  resultName = kAnsName;
  return 0;
}

int primaryOnes(Value& result) {
  expectToken(kOnes);
  if (makeFilled(result, 1.0)) return 1;
  resultName = kAnsName;
  return 0;
}

int primaryZeros(Value& result) {
  expectToken(kZeros);
  if (makeFilled(result, 0.0)) return 1;
  resultName = kAnsName;
  return 0;
}

int primaryTrace(Value& result) {
  if (readArgument(kTrace, result)) return 1;
  if (result.IsMatrix()) {
    const GenMatrixD& a = *result.Matrix();
    if (a.Rows() != a.Cols()) return fail("Trace argument must be a square matrix");
    double sum = 0.0;
    for (int i = 0; i < a.Rows(); ++i) sum += a(i, i);
    result = sum;
  }
  return closeCall();
}

int primarySize(Value& result) {
  if (readArgument(kSize, result)) return 1;
  const int rows = result.Rows();
  const int cols = result.Cols();
  if (peekNonSpace() == kComma) {
    skipSpaces();
    expectToken(kComma);
    skipSpaces();
    int k;
    if (parseIntegerArg(k)) return 1;
    if (k != 1 && k != 2) return fail(kInvalidSize);
    result = static_cast<double>(k == 1 ? rows : cols);
  } else {
    GenMatrixD shape(1, 2);
    shape[0] = rows;
    shape[1] = cols;
    result = shape;
  }
  return closeCall();
}

int primaryInv(Value& result) { return callChecked(invBuiltin, result); }
int primaryEig(Value& result) { return callChecked(eigBuiltin, result); }
int primaryEigvec(Value& result) { return callChecked(eigvecBuiltin, result); }
int primaryChol(Value& result) { return callChecked(cholBuiltin, result); }

int primaryNull(Value& result) {
  // The reserved parameters are checked as soon as the "(" is taken, before
  // anything of the argument is read.
  if (expectToken(kNull) || expectToken(kLeftParen) || checkReservedParameters()) return 1;
  skipSpaces();
  Value argument;
  if (evalExpression(argument)) return 1;
  if (!nullValueFits(argument)) return fail(kInvalidSize);
  if (nullValue(argument, result, solverSettings.rank_eps)) return fail("'svd' failed.");
  return closeCall();
}

int primaryFind(Value& result) {
  Value argument;
  if (readArgument(kFind, argument)) return 1;
  if (checkAllocatable(nonzeroCount(argument))) return 1;
  findValue(argument, result);
  return closeCall();
}
