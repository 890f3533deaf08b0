// The Newton system of the projective method by least squares.
//
// The rows of the least-squares matrix are the svec coordinates of the
// scaled constraint value: the td linear rows w_r C(r, :), then for each
// block svec(U_k F_k,i U_k') in the column of unknown i (off-diagonal
// entries times sqrt(2), so that the system's normal equations are those of
// the normal-equation form). The phase reduces the columns to the free
// parameters, appends the row [t 0 ... 0] of the homogenising weight and
// solves with LAPACK's QR least squares.
#ifndef VARNEL_NEWTON_LSQ_H
#define VARNEL_NEWTON_LSQ_H

#include <vector>

#include "built_problem.h"
#include "free_parameters.h"
#include "gen_matrix.h"
#include "scaling.h"
#include "shared_array.h"
#include "tri_matrix.h"

// Block k's svec rows, scaled by its factor U (d x d, upper triangle read),
// added into A (one column per unknown, or per place of `at`, packed.h)
// from `row` on; row advances by d(d+1)/2. A column that no term touches is
// left as it is.
void addTermBlockRows(const TermBlock& block, GenMatrixD& A, UTrMatrixD& U, int& row,
                      const UnknownPlacement& at = {});
void addBlockLmiRows(const BlockLmi& block, GenMatrixD& A, UTrMatrixD& U, int& row, const UnknownPlacement& at = {});
// The same rows unscaled (U the identity): the rows whose Gram matrix the
// optimisation's objective set-up forms, as the normal equations at W = I
// and t = 1, without writing them.
void addTermBlockRowsObjective(const TermBlock& block, GenMatrixD& A0, int& row);
void addBlockLmiRowsObjective(const BlockLmi& block, GenMatrixD& A0, int& row);

// R := the rows of every inequality in its first nt rows, scaled by U, the
// linear rows first; one column per unknown, or per place of `at`.
void fillInequalityRows(BuiltProblem& problem, ScalingFactor& U, GenMatrixD& R, const UnknownPlacement& at = {});
// The rows reduced to the free parameters, R T, into the first nt rows of A
// (nv columns): straight when every unknown is a multiple of one free
// parameter, otherwise over all the unknowns in the problem's work matrix
// (nt x nvt) and reduced from there.
void fillReducedRows(BuiltProblem& problem, const FreeParameterMap& map, ScalingFactor& U, GenMatrixD& A);

// The minimum-norm least-squares solution of A X = B through a complete
// orthogonal factorisation with column pivoting (LAPACK DGELSY), the
// columns whose pivots are negligible against the largest (relative size
// below DBL_EPSILON * max(m, n)) counting as dependent. A (m x n, leading
// dimension m) is overwritten; B (ldb >= max(m, n) rows, nrhs columns)
// receives X in its first n rows.
void solveMinimumNorm(int m, int n, int nrhs, double* A, double* B, int ldb);

// The reduced system of one phase call: A ((nt + 1) x nv), factored once
// per Newton matrix and solved for as many right sides as the phase needs.
class LeastSquaresSystem {
 public:
  // rhsCount: the most right sides one Solve takes.
  LeastSquaresSystem(BuiltProblem& problem, const FreeParameterMap& map, int rhsCount);

  // The scaled rows, reduced through the basis, and the row of the weight t.
  void Build(ScalingFactor& U, double t);
  // A = QR (LAPACK DGEQRT, which keeps the triangular factor of each block
  // of reflectors, so that a solve applies Q' without forming them anew).
  // A rank-deficient A (a diagonal entry of R zero or negligible against
  // the largest, or fewer rows than columns) has no such solution: Solve
  // then gives the minimum-norm one of solveMinimumNorm.
  void Factor();
  // X (nv x k) := the least-squares solution of A X = B, B being
  // (nt + 1) x k with k <= rhsCount, after Factor.
  void Solve(const GenMatrixD& B, GenMatrixD& X);
  // 1 when the last Factor found A rank deficient.
  int IsDeficient() const { return deficient; }
  // r := (A'A)^-1 r through the triangular factor, after Factor; for a
  // rank-deficient A the minimum-norm solution.
  void SolveNormal(GenMatrixD& r) const;
  // out ((nt + 1) x 1) := A (A'A)^-1 r, the rows' combination whose inner
  // products with the columns of A are r, formed as Q R^-T r: through the
  // orthogonal factor, without the cancellation of evaluating A at a large
  // solution. After Factor.
  void RangeOf(const GenMatrixD& r, GenMatrixD& out);

 private:
  // The reduced rows for the scaling of the last Build, and the row of t.
  void Fill();
  // b := op(R)^-1 b (nv rows of nrhs columns, leading dimension ldb), R
  // the triangular factor.
  void Triangular(char trans, double* b, int ldb, int nrhs) const;
  // c := op(Q) c ((nt + 1) rows of ncols columns, leading dimension ldc).
  void ApplyQ(char trans, double* c, int ldc, int ncols);

  BuiltProblem& problem;
  const FreeParameterMap& map;
  int nt;
  int nv;
  double t;
  int deficient;
  ScalingFactor* scaling;
  GenMatrixD A;        // on the problem's least-squares matrix
  GenMatrixD reduced;  // a rank-deficient A's rows, kept for its solves
  GenMatrixD rhs;      // max(nt + 1, nv) rows
  int blockSize;                   // reflectors per block
  std::vector<double> triangular;  // blockSize x nv: the blocks' factors
  std::vector<double> norms;       // A's column norms before the factorisation
  std::vector<double> work;
};

#endif
