// Dense references written from the definitions, and random matrices to
// check the kernels against them.
#ifndef VARNEL_REFERENCE_MATRICES_H
#define VARNEL_REFERENCE_MATRICES_H

#include <gtest/gtest.h>

#include <random>

#include "gen_matrix.h"

// Elements drawn uniformly from [-1, 1].
inline GenMatrixD randomMatrix(int rows, int cols, std::mt19937& rng) {
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  GenMatrixD m(rows, cols);
  for (int e = 0; e < rows * cols; ++e) m[e] = value(rng);
  return m;
}

// A B by the sum over the inner index in increasing order.
inline GenMatrixD naiveProduct(const GenMatrixD& A, const GenMatrixD& B) {
  if (A.Cols() != B.Rows()) {
    ADD_FAILURE() << "the test multiplies " << A.Rows() << " x " << A.Cols() << " by " << B.Rows() << " x " << B.Cols();
  }
  GenMatrixD C(A.Rows(), B.Cols(), 0.0, 0);
  for (int i = 0; i < A.Rows(); ++i)
    for (int j = 0; j < B.Cols(); ++j)
      for (int t = 0; t < A.Cols(); ++t) C(i, j) += A(i, t) * B(t, j);
  return C;
}

inline GenMatrixD naiveTranspose(const GenMatrixD& A) {
  GenMatrixD T(A.Cols(), A.Rows());
  for (int i = 0; i < A.Rows(); ++i)
    for (int j = 0; j < A.Cols(); ++j) T(j, i) = A(i, j);
  return T;
}

#endif
