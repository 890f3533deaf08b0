#include "phase_support.h"

#include <algorithm>
#include <iostream>
#include <memory>

#include "directions.h"
#include "packed.h"
#include "step_length.h"

void printFactorizationFailure() { std::cout << " Factorization error:: Chol.\n"; }

void printNotFinite() { std::cout << " Error:: Newton step is not finite.\n"; }

int newtonFailure(NewtonForm form) {
  if (form == NewtonForm::kCholesky) return kDegenerate;
  printNotFinite();
  return kAbnormal;
}

int stepLengthOrFallback(const GenMatrixD& v, double c, double& alpha) {
  if (stepLength(v, alpha, 1e-12, 50) == 0) return 0;
  std::cout << "Step size calculation failed.\n";
  alpha = 1.0 / (std::max(c, 0.0) + 1.0);
  return 1;
}

void identityRightSide(const BuiltProblem& problem, GenMatrixD& b, int column) {
  const int nt = problem.Nt();
  for (int i = 0; i <= nt; ++i) b(i, column) = 0.0;
  int row = 0;
  for (; row < problem.Td(); ++row) b(row, column) = 1.0;
  for (int k = 0; k < problem.Nb(); ++k) {
    const int n = problem.BlockSizes()[k];
    for (int i = 0; i < n; ++i) b(row + i, column) = 1.0;
    row += n * (n + 1) / 2;
  }
  b(nt, column) = 1.0;
}

void rowsToValue(const BuiltProblem& problem, const GenMatrixD& rows, BlockDiagonalMatrix& out) {
  int row = 0;
  for (; row < problem.Td(); ++row) out.Diagonal()[row] = rows[row];
  for (int k = 0; k < problem.Nb(); ++k) {
    smat(rows.Data() + row, out.Block(k));
    row += svecLength(problem.BlockSizes()[k]);
  }
}

DualBound::Direction newtonDirection(BuiltProblem& problem, const FreeParameterMap& map, const NormalSystem* normal,
                                     LeastSquaresSystem* leastSquares) {
  if (leastSquares != nullptr) {
    auto range = std::make_shared<GenMatrixD>(problem.Nt() + 1, 1);
    return [&problem, leastSquares, range](const GenMatrixD& r, BlockDiagonalMatrix& out) {
      leastSquares->RangeOf(r, *range);
      rowsToValue(problem, *range, out);
    };
  }
  auto z = std::make_shared<GenMatrixD>(map.Nv(), 1);
  auto x = std::make_shared<GenMatrixD>(map.Nvt(), 1);
  return [&problem, &map, normal, z, x](const GenMatrixD& r, BlockDiagonalMatrix& out) {
    z->Copy(r);
    normal->Solve(*z);
    evaluateDirection(problem, map, *z, *x, out);
  };
}
