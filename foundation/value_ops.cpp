// The arithmetic operators of the language on values. Each dispatches on the
// pair of operand tags; the scalar-scalar case computes inline.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <ostream>

#include "allocation.h"
#include "factor.h"
#include "value.h"

namespace {

// The pair of tags as one number, for a single switch per operator.
constexpr int pairOf(int a, int b) { return a * 3 + b; }
constexpr int kScalarScalar = pairOf(kScalarTag, kScalarTag);
constexpr int kScalarMatrix = pairOf(kScalarTag, kMatrixTag);
constexpr int kMatrixScalar = pairOf(kMatrixTag, kScalarTag);
constexpr int kMatrixMatrix = pairOf(kMatrixTag, kMatrixTag);

// M / N = X with X N = M, solved as N' X' = M'.
GenMatrixD rightDivide(const GenMatrixD& M, const GenMatrixD& N) {
  GenMatrixD P = transpose(M);
  if (N.Rows() == N.Cols()) {
    solveLinear(N, P, 'T');
    return transpose(P);
  }
  GenMatrixD Q(N.Rows(), M.Rows());
  solveLeastSquares(N, P, Q, 'T');
  return transpose(Q);
}

// M \ N = X with M X = N.
GenMatrixD leftDivide(const GenMatrixD& M, const GenMatrixD& N) {
  if (M.Rows() == M.Cols()) {
    GenMatrixD P(N);
    solveLinear(M, P, 'N');
    return P;
  }
  GenMatrixD Q(M.Cols(), N.Cols());
  solveLeastSquares(M, N, Q, 'N');
  return Q;
}

// M / N: the transpose of M (P) lives throughout; a square N adds its LU
// copy while the solve runs and then the result, any other N the
// least-squares solution Q for good, the solve's own arrays while it runs
// and then the result.
double rightDivideCount(const GenMatrixD& M, const GenMatrixD& N) {
  const double P = M.Size();
  const double result = elementCount(M.Rows(), N.Rows());
  if (N.Rows() == N.Cols()) return P + std::max(solveLinearWorkCount(N), result);
  return P + result + std::max(solveLeastSquaresWorkCount(N, M.Rows(), 'T'), result);
}

// M \ N: a square M solves in the copy of N that becomes the result; any
// other M solves into the result Q.
double leftDivideCount(const GenMatrixD& M, const GenMatrixD& N) {
  if (M.Rows() == M.Cols()) return N.Size() + solveLinearWorkCount(M);
  return elementCount(M.Cols(), N.Cols()) + solveLeastSquaresWorkCount(M, N.Cols(), 'N');
}

// A division with at most one matrix operand holds the scaled copy of the
// matrix, nothing when either operand is empty.
double scaledCount(const Value& a, const Value& b) {
  if (a.IsEmpty() || b.IsEmpty()) return 0.0;
  return std::max(a.ElementCount(), b.ElementCount());
}

// Either division with exactly one scalar operand s scales the matrix by
// 1 / s, whichever side s stands on. Empty if neither pairing applies.
Value divideValues(const Value& a, const Value& b, int pair) {
  Value result;
  if (pair == kScalarMatrix)
    result = (1.0 / *a.Scalar()) * *b.Matrix();
  else if (pair == kMatrixScalar)
    result = (1.0 / *b.Scalar()) * *a.Matrix();
  return result;
}

}  // namespace

Value transposeValue(const Value& a) {
  Value result;
  if (a.IsMatrix())
    result = transpose(*a.Matrix());
  else if (a.IsScalar())
    result = *a.Scalar();
  return result;
}

Value addValues(const Value& a, const Value& b) {
  Value result;
  switch (pairOf(a.Tag(), b.Tag())) {
    case kScalarScalar: result = *a.Scalar() + *b.Scalar(); break;
    case kScalarMatrix: result = *a.Scalar() + *b.Matrix(); break;
    case kMatrixScalar: result = *b.Scalar() + *a.Matrix(); break;
    case kMatrixMatrix: result = *a.Matrix() + *b.Matrix(); break;
    default: break;
  }
  return result;
}

Value subtractValues(const Value& a, const Value& b) {
  Value result;
  switch (pairOf(a.Tag(), b.Tag())) {
    case kScalarScalar: result = *a.Scalar() - *b.Scalar(); break;
    case kScalarMatrix: result = *a.Scalar() - *b.Matrix(); break;
    case kMatrixScalar: result = -*b.Scalar() + *a.Matrix(); break;
    case kMatrixMatrix: result = *a.Matrix() - *b.Matrix(); break;
    default: break;
  }
  return result;
}

Value multiplyValues(const Value& a, const Value& b) {
  Value result;
  switch (pairOf(a.Tag(), b.Tag())) {
    case kScalarScalar: result = *a.Scalar() * *b.Scalar(); break;
    case kScalarMatrix: result = *a.Scalar() * *b.Matrix(); break;
    case kMatrixScalar: result = *b.Scalar() * *a.Matrix(); break;
    case kMatrixMatrix: result = *a.Matrix() * *b.Matrix(); break;
    default: break;
  }
  return result;
}

Value rightDivideValues(const Value& a, const Value& b) {
  const int pair = pairOf(a.Tag(), b.Tag());
  if (pair == kScalarScalar) return Value(*a.Scalar() / *b.Scalar());
  if (pair != kMatrixMatrix) return divideValues(a, b, pair);
  Value result;
  result = rightDivide(*a.Matrix(), *b.Matrix());
  return result;
}

Value leftDivideValues(const Value& a, const Value& b) {
  const int pair = pairOf(a.Tag(), b.Tag());
  if (pair == kScalarScalar) return Value(*b.Scalar() / *a.Scalar());
  if (pair != kMatrixMatrix) return divideValues(a, b, pair);
  Value result;
  result = leftDivide(*a.Matrix(), *b.Matrix());
  return result;
}

double rightDivideElementCount(const Value& a, const Value& b) {
  if (pairOf(a.Tag(), b.Tag()) != kMatrixMatrix) return scaledCount(a, b);
  return rightDivideCount(*a.Matrix(), *b.Matrix());
}

double leftDivideElementCount(const Value& a, const Value& b) {
  if (pairOf(a.Tag(), b.Tag()) != kMatrixMatrix) return scaledCount(a, b);
  return leftDivideCount(*a.Matrix(), *b.Matrix());
}

Value powerValues(const Value& a, const Value& b) {
  Value result;
  if (!b.IsScalar())
    std::cerr << "Undefined operation: Matrix ^ Matrix";
  else if (a.IsScalar())
    result = std::pow(*a.Scalar(), *b.Scalar());
  else if (a.IsMatrix())
    std::cerr << "Not yet implemented function.";
  return result;
}

Value orValues(const Value& a, const Value& b) { return elementwiseValues(a, b, logicalOr); }
Value andValues(const Value& a, const Value& b) { return elementwiseValues(a, b, logicalAnd); }
Value ltValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareLt); }
Value leValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareLe); }
Value gtValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareGt); }
Value geValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareGe); }
Value eqValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareEq); }
Value neValues(const Value& a, const Value& b) { return elementwiseValues(a, b, compareNe); }

const char* powerOperandError(const Value& base, const Value& exponent) {
  if (!base.IsScalar() && !exponent.IsScalar()) return "Not implemented operation.";
  if (base.IsMatrix()) return "Not yet implemented function.";
  if (!exponent.IsScalar()) return "Undefined operation: Matrix ^ Matrix";
  return nullptr;
}

std::ostream& printValue(std::ostream& out, const Value& a) {
  if (a.IsEmpty()) return out << "Empty container!" << std::endl;
  if (a.IsScalar()) return out << *a.Scalar();
  return out << std::endl << *a.Matrix();
}
