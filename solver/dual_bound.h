// A lower bound on the optimum from a point of the dual problem.
//
// The reduced problem is: minimise q'y over y with y0 = 1 and
// F(y) = sum over k of y_k F_k >= 0, F_k the value of free parameter k's
// unit direction. Any block-diagonal Z >= 0 (of F's shape) whose inner
// products <F_k, Z> equal q_k for every k >= 1 bounds it from below: for a
// feasible y, q'y = <F(y), Z> - <F_0, Z> >= -<F_0, Z>.
//
// The Newton matrix H of the scaling W (H(k, m) = <F_k, W F_m W>, with t^2
// added at (0, 0)) gives such points: for z = H^-1 (q - L e0) the matrix
// Z = W F(z) W has <F_k, Z> = q_k for every k >= 1, and it is positive
// semidefinite exactly when F(z) is. Its bound -<F_0, Z> is L + t^2 z_0.
// At the level where z_0 vanishes the bound is the level itself; when F(z)
// is not quite semidefinite there, lower levels add tau F(T d_e)
// (d_e = H^-1 e0) until it is.
//
// The least-squares form has the Newton matrix as R'R from a QR
// factorisation of the scaled rows A; there U F(z) U' is formed as
// A H^-1 (q - L e0) = Q R^-T (q - L e0), in the scaled coordinates, through
// the orthogonal factor: evaluating F at z would cancel its digits away
// where z is large and F(z) small. Z is then U' (U F(z) U') U.
//
// Nothing is taken on trust: Z is formed, its eigenvalues are computed, its
// inner products with every F_k are compared with q, and the bound is its
// own -<F_0, Z>. Both comparisons allow rounding only: Z's eigenvalues may
// fall below zero by the rounding of its largest, and the misses of the
// inner products may change the objective at the bound's point by no more
// than the rounding of the objective there, amplified by the conditioning
// of H; that change is taken off the bound. A miss above that is
// corrected through H (W F(c) W with H c the miss) while that makes it
// smaller.
#ifndef VARNEL_DUAL_BOUND_H
#define VARNEL_DUAL_BOUND_H

#include <functional>
#include <vector>

#include "block_diagonal.h"
#include "built_problem.h"
#include "free_parameters.h"
#include "gen_matrix.h"
#include "scaling.h"

class DualBound {
 public:
  // out := the value of the Newton system's solution for the right side r
  // (nv entries): F(T H^-1 r), or U F(T H^-1 r) U' in the scaled
  // coordinates (w_r times the linear rows). Upper triangles.
  using Direction = std::function<void(const GenMatrixD& r, BlockDiagonalMatrix& out)>;

  DualBound(BuiltProblem& problem, const FreeParameterMap& map, const ScalingShape& shape);

  // For the scaling W = U'U, the values of the Newton system's solutions
  // (`scaled` saying in which coordinates `direction` gives them), a level
  // L and the point whose objective is the bound (normalised, point[0] =
  // 1): the dual point described above, from z = H^-1 (q - L e0). Returns 1
  // with `lower` its bound when it passes, else 0. The problem's variables
  // are overwritten.
  int Find(ScalingFactor& U, BlockDiagonalMatrix& W, int scaled, const Direction& direction, double level,
           const GenMatrixD& q, const GenMatrixD& point, double& lower);

 private:
  // The smallest tau >= 0 that makes every part of Fz + tau Fe positive
  // semidefinite with a margin of rounding: 0, or 1 when none does.
  int Shift(double& tau);
  int ShiftBlock(int k, double& tau);
  // M += A, from A's upper triangles; M's blocks are kept full.
  void Add(const BlockDiagonalMatrix& A, double s);
  // Z := W M W, or U' M U when M is scaled, part by part.
  void Form(ScalingFactor& U, BlockDiagonalMatrix& W, int scaled);
  // 1 when Z is positive semidefinite up to the rounding of its largest
  // absolute eigenvalue.
  int IsSemidefinite();
  // The misses of <F_k, Z> against q_k weighed by the point's parameters
  // (their effect on the objective there, in `effect`), in units of the
  // rounding allowed for q'point: at most 1 passes.
  double Miss(const GenMatrixD& q, const GenMatrixD& point, double& effect) const;

  BuiltProblem& problem;
  const FreeParameterMap& map;
  BlockDiagonalMatrix M;  // Z = W M W (or U' M U); its blocks full
  BlockDiagonalMatrix Z;
  BlockDiagonalMatrix Fz;
  BlockDiagonalMatrix Fe;
  EigenvalueSolver eigen;
  GenMatrixD values;
  GenMatrixD traces;
  GenMatrixD rightSide;
  GenMatrixD full;
  GenMatrixD product;
  std::vector<double> eigenvalues;
  std::vector<double> work;
};

#endif
