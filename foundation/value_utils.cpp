#include "value_utils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "hash_table.h"

namespace {

// Whether every pair (v(i, j), v(j, i)) with i < j of the square v passes.
template <class Pair>
int allOffDiagonalPairs(const Value& v, Pair passes) {
  if (v.Rows() != v.Cols()) return 0;
  if (!v.IsMatrix()) return 1;
  const GenMatrixD& M = *v.Matrix();
  for (int j = 1; j < M.Cols(); ++j)
    for (int i = 0; i < j; ++i)
      if (!passes(M(i, j), M(j, i))) return 0;
  return 1;
}

}  // namespace

int checkIndexVector(const SharedArray<int>& mask, SharedArray<int>& counts) {
  const int n = mask.Size();
  if (n == 0 || mask.Max() <= 1) {
    int nonzero = 0;
    for (int k = 0; k < n; ++k)
      if (mask[k] != 0) ++nonzero;
    counts.Resize(1);
    counts[0] = nonzero;
    return kZeroOneMask;
  }
  counts.Resize(n + 1);
  counts.Fill(0);
  for (int k = 0; k < n; ++k)
    if (mask[k] >= 0 && mask[k] <= n) ++counts[mask[k]];
  int gap = 0;
  for (int e = 1; e <= n; ++e) {
    if (gap == 0 && counts[e] == 0)
      gap = e;
    else if (gap != 0 && counts[e] != 0)
      return kMaskWithGap;
  }
  return kNumberedMask;
}

void maskToValue(const SharedArray<int>& mask, const Value& variableValue, Value& result) {
  if (mask.Size() == 0) {
    result.Release();
    return;
  }
  GenMatrixD shown(variableValue.Rows(), variableValue.Cols());
  for (int k = 0; k < shown.Size(); ++k) shown[k] = mask[k];
  result = shown;
}

int diagonalRank(const QRFactor& factorisation, double tol) {
  const GenMatrixD& R = factorisation.Matrix();
  const int k = std::min(R.Rows(), R.Cols());
  int rank = 0;
  while (rank < k && !(std::fabs(R(rank, rank)) < tol)) ++rank;
  return rank;
}

GenMatrixD valueToMatrix(const Value& v) {
  if (v.IsMatrix()) return GenMatrixD(*v.Matrix());
  if (v.IsScalar()) return GenMatrixD(1, 1, *v.Scalar(), 0);
  return GenMatrixD(0);
}

GenMatrixD& insertValue(GenMatrixD& m, const Value& v, int row, int col) {
  if (v.IsScalar()) {
    m(row, col) = *v.Scalar();
  } else if (v.IsMatrix()) {
    const GenMatrixD& M = *v.Matrix();
    for (int i = 0; i < M.Rows(); ++i)
      for (int j = 0; j < M.Cols(); ++j) m(row++, col) = M(i, j);
  }
  return m;
}

int searchIndex(const std::string& key, const std::string* names, int n) {
  const void* found = std::bsearch(&key, names, n, sizeof(std::string), [](const void* a, const void* b) {
    return compareNames(*static_cast<const std::string*>(a), *static_cast<const std::string*>(b));
  });
  return found != nullptr ? static_cast<int>(static_cast<const std::string*>(found) - names) : -1;
}

int isSymmetric(const Value& v) {
  return allOffDiagonalPairs(v, [](double upper, double lower) { return upper == lower; });
}

int isDiagonal(const Value& v) {
  return allOffDiagonalPairs(v, [](double upper, double lower) { return upper == 0.0 && lower == 0.0; });
}
