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

// The smallest value of each part, linear rows and then blocks (their
// eigenvalues ascend within a block), from eigenvalues laid out as
// EigenvalueSolver::Fill lays them out; the allowances of those parts, the
// rounding of D against h times the constant parts' scales.
void smallestAndAllowance(const BlockDiagonalMatrix& D, double h, const GenMatrixD& eigenvalues,
                          const std::vector<double>& constantScale, std::vector<double>& smallest,
                          std::vector<double>& allowance) {
  smallest.clear();
  allowance.clear();
  const int td = D.DiagonalLength();
  for (int r = 0; r < td; ++r) {
    const double value = D.Diagonal()[r];
    smallest.push_back(value);
    allowance.push_back(kPointTolerance * std::max(std::fabs(value), h * constantScale[r]));
  }
  int offset = td;
  for (int k = 0; k < D.BlockCount(); ++k) {
    const int n = D.BlockSize(k);
    const double least = n > 0 ? eigenvalues[offset] : 0.0;
    const double most = n > 0 ? eigenvalues[offset + n - 1] : 0.0;
    smallest.push_back(least);
    allowance.push_back(kPointTolerance * n * std::max({std::fabs(least), std::fabs(most), h * constantScale[td + k]}));
    offset += n;
  }
}

}  // namespace

PointCheck::PointCheck(BuiltProblem& problem, const FreeParameterMap& map, const ScalingShape& shape)
    : problem(problem),
      map(map),
      eigen(shape),
      values(problem.SumSizes() + 1, 1),
      interior(0),
      value(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      x(map.Nvt(), 1) {
  BlockDiagonalMatrix& constant = value;
  GenMatrixD unit(map.Nv(), 1, 0.0, 0);
  unit[0] = 1.0;
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
  return Clears(D, h, eigenvalues, -1.0);
}

int PointCheck::HoldsBeyondRounding(const BlockDiagonalMatrix& D, double h) {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  if (eigen.Fill(D, h, values)) return 0;
  return Clears(D, h, values, 1.0);
}

int PointCheck::Clears(const BlockDiagonalMatrix& D, double h, const GenMatrixD& eigenvalues,
                       double allowances) const {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  std::vector<double> smallest;
  std::vector<double> allowance;
  smallestAndAllowance(D, h, eigenvalues, constantScale, smallest, allowance);
  for (size_t i = 0; i < smallest.size(); ++i) {
    const double least = allowances * allowance[i];
    if (allowances > 0.0 ? !(smallest[i] > least) : !(smallest[i] >= least)) return 0;
  }
  return 1;
}

int PointCheck::HoldsStrictly(const BlockDiagonalMatrix& D, double h) {
  if (!(h > 0.0) || !std::isfinite(h)) return 0;
  if (eigen.Fill(D, h, values)) return 0;
  return smallestEntry(values) > 0.0;
}

int PointCheck::SetInterior(const GenMatrixD& y) {
  evaluateDirection(problem, map, y, x, value);
  if (!HoldsStrictly(value, 1.0)) return 1;
  interior = y;
  std::vector<double> allowance;
  smallestAndAllowance(value, 1.0, values, constantScale, interiorSmallest, allowance);
  return 0;
}

int PointCheck::Lift(const BlockDiagonalMatrix& D, double h, const GenMatrixD& y, GenMatrixD& lifted) {
  if (interior.Rows() == 0 || !(h > 0.0) || eigen.Fill(D, h, values)) return 1;
  std::vector<double> smallest;
  std::vector<double> allowance;
  smallestAndAllowance(D, h, values, constantScale, smallest, allowance);
  // The least lift first: to zero, then by the allowance of rounding once
  // and twice, until the value computed at the lifted point is positive.
  for (double margins = 0.0; margins <= 2.0; margins += 1.0) {
    double theta = 0.0;
    for (size_t i = 0; i < smallest.size(); ++i) {
      // Per unit of the homogenising parameter, as the interior point is.
      const double a = smallest[i] / h;
      const double target = margins * allowance[i] / h;
      if (a > target) continue;
      const double b = interiorSmallest[i];
      if (!(b > target)) return 1;
      theta = std::max(theta, (target - a) / (b - a));
    }
    if (!(theta < 1.0)) return 1;
    for (int k = 0; k < map.Nv(); ++k) lifted[k] = (1.0 - theta) * (y[k] / h) + theta * interior[k];
    lifted[0] = 1.0;
    evaluateDirection(problem, map, lifted, x, value);
    if (HoldsStrictly(value, 1.0)) return 0;
  }
  return 1;
}
