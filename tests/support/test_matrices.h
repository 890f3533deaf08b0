// Small builders shared by the unit tests: matrices written row by row.
#ifndef VARNEL_TEST_MATRICES_H
#define VARNEL_TEST_MATRICES_H

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "gen_matrix.h"
#include "value.h"

inline GenMatrixD make(int rows, int cols, std::initializer_list<double> rowMajor, int shallow = 0) {
  GenMatrixD m(rows, cols, shallow);
  auto it = rowMajor.begin();
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m(i, j) = *it++;
  return m;
}

// The n x n identity.
inline GenMatrixD identityMatrix(int n) {
  GenMatrixD I(n, n, 0.0, 0);
  for (int i = 0; i < n; ++i) I(i, i) = 1.0;
  return I;
}

inline Value matrixValue(int rows, int cols, std::initializer_list<double> rowMajor) {
  return Value(make(rows, cols, rowMajor));
}

// The value as a matrix (a scalar as 1 x 1, empty as 0 x 0), for comparisons.
inline GenMatrixD asMatrix(const Value& v) {
  if (v.IsScalar()) return GenMatrixD(1, 1, *v.Scalar(), 0);
  return v.IsMatrix() ? GenMatrixD(*v.Matrix()) : GenMatrixD(0);
}

// Same tag, same shape and exactly the same elements (NaNs never match).
inline ::testing::AssertionResult sameValue(const Value& actual, const Value& expected) {
  if (actual.Tag() != expected.Tag() || actual.Rows() != expected.Rows() || actual.Cols() != expected.Cols()) {
    return ::testing::AssertionFailure() << "tag/shape " << actual.Tag() << " " << actual.Rows() << "x"
                                         << actual.Cols() << ", expected " << expected.Tag() << " "
                                         << expected.Rows() << "x" << expected.Cols();
  }
  const GenMatrixD a = asMatrix(actual);
  const GenMatrixD b = asMatrix(expected);
  for (int k = 0; k < a.Size(); ++k) {
    if (!(a[k] == b[k])) return ::testing::AssertionFailure() << "element " << k << ": " << a[k] << " vs " << b[k];
  }
  return ::testing::AssertionSuccess();
}

// Same shape and every element (i, j) matching its expected one; the
// failure names the first element that does not.
template <class Match>
::testing::AssertionResult matrixMatches(const GenMatrixD& actual, const GenMatrixD& expected, Match match) {
  if (actual.Rows() != expected.Rows() || actual.Cols() != expected.Cols())
    return ::testing::AssertionFailure() << actual.Rows() << " x " << actual.Cols() << ", expected "
                                         << expected.Rows() << " x " << expected.Cols();
  for (int i = 0; i < actual.Rows(); ++i)
    for (int j = 0; j < actual.Cols(); ++j)
      if (!match(actual(i, j), expected(i, j)))
        return ::testing::AssertionFailure() << "element (" << i << ", " << j << ") is " << actual(i, j)
                                             << ", expected " << expected(i, j);
  return ::testing::AssertionSuccess();
}

// Same shape and exactly the same elements (NaNs never match).
inline ::testing::AssertionResult sameMatrix(const GenMatrixD& actual, const GenMatrixD& expected) {
  return matrixMatches(actual, expected, [](double a, double b) { return a == b; });
}

// Same shape and every element within tol of its expected one (NaNs and
// infinities never match).
inline ::testing::AssertionResult nearMatrix(const GenMatrixD& actual, const GenMatrixD& expected, double tol) {
  return matrixMatches(actual, expected, [tol](double a, double b) { return std::fabs(a - b) <= tol; });
}

#endif
