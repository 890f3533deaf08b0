#include "directions.h"

#include <cmath>

#include "block_eval.h"

int isFiniteVector(const GenMatrixD& v) {
  const int n = v.Rows() * v.Cols();
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return 0;
  return 1;
}

void loadUnknowns(const ConstraintSet& problem, GenMatrixD& x) {
  int i = 0;
  for (int v = 0; v < problem.NumVariables(); ++v) {
    const GenMatrixD& X = problem.Variable(v);
    const int count = X.Rows() * X.Cols();
    for (int e = 0; e < count; ++e) x[i++] = X[e];
  }
}

void evaluateUpper(const ConstraintSet& problem, BlockDiagonalMatrix& F) {
  if (problem.HasLinear()) problem.Linear().Value(F.Diagonal());
  const int termBlocks = problem.NumTermBlocks();
  for (int k = 0; k < termBlocks; ++k) evalTermBlockUpper(problem.TermBlockAt(k), F.Block(k));
  for (int j = 0; j < problem.NumBlockLmis(); ++j) evalBlockLmiUpper(problem.BlockLmiAt(j), F.Block(termBlocks + j));
}

void evaluateDirection(BuiltProblem& problem, const FreeParameterMap& map, const GenMatrixD& d, GenMatrixD& x,
                       BlockDiagonalMatrix& F) {
  map.Expand(d.Data(), x.Data());
  problem.StoreUnknowns(x);
  evaluateUpper(problem, F);
}

void copyValues(const BlockDiagonalMatrix& from, BlockDiagonalMatrix& to) {
  const int td = from.DiagonalLength();
  for (int r = 0; r < td; ++r) to.Diagonal()[r] = from.Diagonal()[r];
  for (int k = 0; k < from.BlockCount(); ++k) {
    const int n = from.BlockSize(k);
    const double* a = from.Block(k).Data();
    double* b = to.Block(k).Data();
    for (int j = 0; j < n; ++j)
      for (int i = 0; i <= j; ++i) b[i + j * n] = a[i + j * n];
  }
}

PointKeeper::PointKeeper(BuiltProblem& problem, const FreeParameterMap& map)
    : problem(problem), map(map), entry(map.Nvt(), 1), kept(map.Nv(), 1), haveKept(0) {
  loadUnknowns(problem, entry);
}

int PointKeeper::Offer(const GenMatrixD& y) {
  const double y0 = y[0];
  if (!(y0 > 0.0) || !std::isfinite(y0)) return 1;
  const int nv = map.Nv();
  for (int i = 1; i < nv; ++i)
    if (!std::isfinite(y[i] / y0)) return 1;
  for (int i = 1; i < nv; ++i) kept[i] = y[i] / y0;
  kept[0] = 1.0;
  haveKept = 1;
  return 0;
}

void PointKeeper::WriteBack() {
  if (haveKept) {
    GenMatrixD x(map.Nvt(), 1);
    map.Expand(kept.Data(), x.Data());
    problem.StoreUnknowns(x);
  } else {
    problem.StoreUnknowns(entry);
  }
}

void PointKeeper::Current(GenMatrixD& y) const {
  if (haveKept)
    y.Copy(kept);
  else
    EntryParameters(y);
}

void PointKeeper::EntryParameters(GenMatrixD& y) const {
  for (int k = 0; k < map.Nv(); ++k) y[k] = entry[problem.FreeIndex()[k]];
}

double PointKeeper::EntryObjective(const GenMatrixD& q) const {
  GenMatrixD y(map.Nv(), 1);
  EntryParameters(y);
  double sum = 0.0;
  for (int k = 0; k < map.Nv(); ++k) sum += q[k] * y[k];
  return sum;
}
