// The test that a point of the optimisation phase really satisfies the
// inequalities before its objective is taken as a bound.
//
// The phase forms its points by combining Newton directions whose entries
// can be many orders of magnitude larger than the point itself, so the
// scaled tests of the method can pass a point that is not feasible once its
// value is computed on its own. Here the value D = F(T y) of a point y
// (unnormalised, homogenising entry h = y[0]) is evaluated directly and
// every part of D / h must be positive semidefinite up to rounding: the
// smallest eigenvalue of each block no lower than kPointTolerance times
// its order and its scale, and each linear row no lower than
// kPointTolerance times its scale. A part's scale is the larger of its
// largest absolute eigenvalue (its value) and the largest absolute entry of
// its constant part (the value at y0 = 1, every other free parameter 0),
// which stands for the size of the terms when they cancel: at a degenerate
// optimum a block is zero up to the rounding of its terms. A looser test
// lets a bound fall below the optimum: a block whose smallest eigenvalue is
// -1e-10 of its largest allows an objective that much below.
#ifndef VARNEL_POINT_CHECK_H
#define VARNEL_POINT_CHECK_H

#include <cfloat>
#include <vector>

#include "block_diagonal.h"
#include "built_problem.h"
#include "free_parameters.h"
#include "gen_matrix.h"
#include "scaling.h"

constexpr double kPointTolerance = 64.0 * DBL_EPSILON;

class PointCheck {
 public:
  // Evaluates the constant part: the problem's variables are overwritten.
  PointCheck(BuiltProblem& problem, const FreeParameterMap& map, const ScalingShape& shape);

  // 1 when h > 0 and D / h passes; D's eigenvalues are computed here.
  int Holds(const BlockDiagonalMatrix& D, double h);
  // The same with the eigenvalues of D already in `values` (laid out as
  // EigenvalueSolver::Fill lays them out).
  int HoldsWith(const BlockDiagonalMatrix& D, double h, const GenMatrixD& values) const;
  // 1 when h > 0 and every linear row and every eigenvalue of D is
  // positive: the point is strictly feasible.
  int HoldsStrictly(const BlockDiagonalMatrix& D, double h);
  // 1 when h > 0 and every part of D / h is positive by more than the
  // rounding allowance of Holds: strictly feasible whatever the rounding of
  // its value. A point of huge entries can have eigenvalues that are
  // positive as computed and yet nothing but rounding, where no point is
  // feasible at all.
  int HoldsBeyondRounding(const BlockDiagonalMatrix& D, double h);

  // The point toward which Lift moves: y (normalised, y[0] = 1), taken
  // when its value is positive definite: 0 then, else 1 with the point
  // before kept. Overwrites the problem's variables.
  int SetInterior(const GenMatrixD& y);
  // A point y (unnormalised, homogenising entry h) whose value D passed
  // Holds may still be infeasible by its rounding allowance, and in an
  // ill-conditioned problem that allowance buys an objective below the
  // optimum. lifted := the normalised point (1 - theta) y / h + theta
  // interior with the least theta that makes the value computed there
  // positive definite: theta puts every part's smallest eigenvalue at
  // zero, or at once or twice its allowance, by the concavity of the
  // smallest eigenvalue, the least that passes. Returns 0, or 1 when no
  // such point exists (no interior point, or theta would reach 1).
  // Overwrites the problem's variables.
  int Lift(const BlockDiagonalMatrix& D, double h, const GenMatrixD& y, GenMatrixD& lifted);

 private:
  // 1 when h > 0 and every part's smallest value reaches `allowances`
  // times its rounding allowance: at least -1 of it for a point feasible
  // to rounding, more than +1 of it for one feasible beyond rounding.
  int Clears(const BlockDiagonalMatrix& D, double h, const GenMatrixD& eigenvalues, double allowances) const;

  BuiltProblem& problem;
  const FreeParameterMap& map;
  EigenvalueSolver eigen;
  GenMatrixD values;
  std::vector<double> constantScale;  // per linear row, then per block
  GenMatrixD interior;                // 0 x 0 when none is set
  std::vector<double> interiorSmallest;  // per linear row, then per block
  BlockDiagonalMatrix value;             // a lifted point's
  GenMatrixD x;
};

#endif
