// Eigenvalue bounds for checking solver results against their definitions:
// a symmetric matrix is positive definite when its smallest eigenvalue is
// positive, a matrix is stable when its eigenvalues' real parts are negative.
#ifndef VARNEL_EIGENVALUES_H
#define VARNEL_EIGENVALUES_H

#include <gtest/gtest.h>

#include <algorithm>

#include "factor.h"
#include "gen_matrix.h"

// The eigenvalues of a square matrix, real parts in column 0 and imaginary
// parts in column 1; a failure of the QR algorithm fails the test.
inline GenMatrixD eigenvalues(const GenMatrixD& M) {
  GenMatrixD copy(M);
  GenMatrixD W(M.Rows(), 2);
  EXPECT_EQ(computeEigenvalues(copy, W), 0);
  return W;
}

// The smallest eigenvalue of a symmetric matrix.
inline double smallestEigenvalue(const GenMatrixD& M) {
  const GenMatrixD W = eigenvalues(M);
  double smallest = W(0, 0);
  for (int i = 1; i < M.Rows(); ++i) smallest = std::min(smallest, W(i, 0));
  return smallest;
}

// The largest real part of the eigenvalues of a square matrix (for a
// symmetric one, its largest eigenvalue).
inline double largestRealPart(const GenMatrixD& M) {
  const GenMatrixD W = eigenvalues(M);
  double largest = W(0, 0);
  for (int i = 1; i < M.Rows(); ++i) largest = std::max(largest, W(i, 0));
  return largest;
}

#endif
