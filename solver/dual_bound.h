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
//
// The same dual points prove a problem infeasible. A block-diagonal Z >= 0,
// not zero, whose inner products with every F_k, k >= 1, vanish and whose
// inner product with F_0 is not positive leaves no y with F(y) > 0: for
// y0 = 1, <F(y), Z> = <F_0, Z> <= 0, where a positive definite F(y) would
// make it positive. The feasibility phase's Newton step d offers one: the
// least-squares residual I - U F(d) U' is orthogonal to every scaled
// coefficient matrix U F_k U' but the homogenising one, and Z = U' (I - U
// F(d) U') U. Here too nothing is taken on trust: Z, normalised to trace 1,
// must be positive semidefinite by its eigenvalues up to the rounding of
// the largest, each <F_k, Z> must vanish to the rounding allowed of the
// size of F_k (its Frobenius norm) and <F_0, Z> must not exceed it. Then
// no point makes the inequalities positive definite beyond rounding. Where
// d is large, its value cancels digits and the misses exceed that; they
// are corrected through H as above.
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
  // For the scaling W = U'U and the scaled value V = U F(d) U' - I of the
  // feasibility phase's Newton step (upper triangles, w_r F_r - 1 on the
  // linear rows): 1 when Z = -U' V U, its misses corrected through the
  // Newton system (`direction`, as for Find), certifies that the problem is
  // infeasible, as above. The problem's variables are overwritten.
  int CertifiesInfeasibility(ScalingFactor& U, BlockDiagonalMatrix& W, const BlockDiagonalMatrix& V, int scaled,
                             const Direction& direction);

 private:
  // The smallest tau >= 0 that makes every part of Fz + tau Fe positive
  // semidefinite with a margin of rounding: 0, or 1 when none does.
  int Shift(double& tau);
  int ShiftBlock(int k, double& tau);
  void ClearM();
  // M += A, from A's upper triangles; M's blocks are kept full.
  void Add(const BlockDiagonalMatrix& A, double s);
  // Z := W M W, or U' M U when M is scaled, part by part; added to Z when
  // accumulating.
  void Form(ScalingFactor& U, BlockDiagonalMatrix& W, int scaled, int accumulate);
  // 1 when Z is positive semidefinite up to the rounding of its largest
  // absolute eigenvalue.
  int IsSemidefinite();
  // The misses of <F_k, Z> against q_k weighed by the point's parameters
  // (their effect on the objective there, in `effect`), in units of the
  // rounding allowed for q'point: at most 1 passes.
  double Miss(const GenMatrixD& q, const GenMatrixD& point, double& effect) const;
  // Z's trace, linear rows included.
  double Trace() const;
  // The largest miss |<F_k, Z>|, k >= 1, in units of the rounding allowed
  // of Z's trace times the norm of F_k: at most 1 passes.
  double CertificateMiss(double trace) const;
  // norms[k] := the Frobenius norm of F_k, once.
  void CoefficientNorms();

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
  GenMatrixD norms;  // 0 x 0 until needed
};

#endif
