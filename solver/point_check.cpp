#include "point_check.h"

#include <algorithm>
#include <cmath>

#include "directions.h"

namespace {

double largestAbsoluteUpper(const SymMatrixD& block) {
  const int n = block.Rows();
  const double* a = block.Data();
  double m = 0.0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) m = std::max(m, std::fabs(a[i + j * n]));
  return m;
}

}  // namespace

PointCheck::PointCheck(BuiltProblem& problem, const FreeParameterMap& map, const ScalingShape& shape)
    : eigen(shape), values(problem.SumSizes() + 1, 1) {
  BlockDiagonalMatrix constant(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
  GenMatrixD unit(map.Nv(), 1, 0.0, 0);
  unit[0] = 1.0;
  GenMatrixD x(map.Nvt(), 1);
  evaluateDirection(problem, map, unit, x, constant);
  for (int r = 0; r < shape.diagonalLength; ++r) constantScale.push_back(std::fabs(constant.Diagonal()[r]));
  for (int k = 0; k < shape.blockCount; ++k) constantScale.push_back(largestAbsoluteUpper(constant.Block(k)));
}

int PointCheck::Holds(const BlockDiagonalMatrix& D, double h) {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  if (eigen.Fill(D, h, values)) return 0;
  return HoldsWith(D, h, values);
}

int PointCheck::HoldsWith(const BlockDiagonalMatrix& D, double h, const GenMatrixD& eigenvalues) const {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  // D / h against the scales of the normalised point: D against h times
  // the constant parts' scales.
  const int td = D.DiagonalLength();
  for (int r = 0; r < td; ++r) {
    const double value = D.Diagonal()[r];
    const double scale = std::max(std::fabs(value), h * constantScale[r]);
    if (!(value >= -kPointTolerance * scale)) return 0;
  }
  int offset = td;
  for (int k = 0; k < D.BlockCount(); ++k) {
    const int n = D.BlockSize(k);
    if (n == 0) continue;
    // Eigenvalues ascend within a block.
    const double smallest = eigenvalues[offset];
    const double scale = std::max({std::fabs(smallest), std::fabs(eigenvalues[offset + n - 1]), h * constantScale[td + k]});
    if (!(smallest >= -kPointTolerance * n * scale)) return 0;
    offset += n;
  }
  return 1;
}

int PointCheck::HoldsStrictly(const BlockDiagonalMatrix& D, double h) {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  if (eigen.Fill(D, h, values)) return 0;
  return smallestEntry(values) > 0.0;
}
