// The Newton system of the projective method by normal equations.
//
// For the scaling W (blocks W_k = U_k'U_k, weights w_r) and the weight t of
// the homogenising parameter y0, the Newton step minimises over the free
// parameters y the sum of |U_k F_k(y) U_k' - I|^2 over the blocks, of
// (w_r f_r(y) - 1)^2 over the linear rows and (t y0 - 1)^2. Over the
// unknowns its normal equations are H x = g with
//   H(a, b) = sum_r w_r^2 C(r, a) C(r, b) + sum_k tr(F_k,a W_k F_k,b W_k),
//   g(a)    = sum_r w_r C(r, a)           + sum_k tr(F_k,a W_k),
// F_k,a being block k's coefficient matrix of unknown a; the phase reduces
// them to the free parameters, H_red = T'HT and g_red = T'g, and adds t^2
// and t at (0, 0).
//
// The block routines never form F_k,a: they pair the terms of a block and
// multiply their factors with W, and the packed kernels scatter the traces
// into H (upper triangle only, unknowns a <= b) and g. They only add.
#ifndef VARNEL_NEWTON_NORMAL_H
#define VARNEL_NEWTON_NORMAL_H

#include <vector>

#include "block_diagonal.h"
#include "built_problem.h"
#include "free_parameters.h"
#include "gen_matrix.h"
#include "packed.h"
#include "tri_matrix.h"

// Block k's share of H and g for the scaling block Wk (upper triangle read;
// its lower triangle is made equal to it). scratch: the constraint set's
// work area. The unknowns are placed by `at` (packed.h): the identity over
// all the unknowns, or straight into the reduced system.
void addTermBlockNormal(const TermBlock& block, SymMatrixD& H, double* g, SymMatrixD& Wk, GenMatrixD& scratch,
                        const UnknownPlacement& at = {});
void addBlockLmiNormal(const BlockLmi& block, SymMatrixD& H, double* g, SymMatrixD& Wk, GenMatrixD& scratch,
                       const UnknownPlacement& at = {});

// g(a) += tr(F_a Zk) for the unknowns a of block k (upper triangle of Zk
// read), placed by `at`: the right side of the normal equations with Zk in
// place of the scaling block.
void addTermBlockTraces(const TermBlock& block, double* g, SymMatrixD& Zk, GenMatrixD& scratch,
                        const UnknownPlacement& at = {});
void addBlockLmiTraces(const BlockLmi& block, double* g, SymMatrixD& Zk, GenMatrixD& scratch,
                       const UnknownPlacement& at = {});
// traces[k] := the inner product of Z with the value of free parameter k's
// unit direction, F(T e_k) (nv entries): on the linear rows the sum of
// C(r, .) z_r, on the blocks tr(F_k Z_k).
void reducedTraces(BuiltProblem& problem, const FreeParameterMap& map, BlockDiagonalMatrix& Z,
                   GenMatrixD& traces);

// The reduced system of one phase call. When every unknown is a multiple
// of one free parameter (the equalities of structures and masks) the
// blocks add straight into H_red and g_red; otherwise H and g over the
// unknowns live in the problem's work matrix (its first nvt * nvt elements
// and its column nvt) and are reduced after.
class NormalSystem {
 public:
  NormalSystem(BuiltProblem& problem, const FreeParameterMap& map);

  // H_red and g_red for the scaling W and the weight t.
  void Build(BlockDiagonalMatrix& W, double t);
  // Cholesky factorisation of H_red in place: 0, or LAPACK's info > 0 when
  // H_red is not positive definite.
  int Factor();
  // rhs := H_red^-1 rhs, after a successful Factor.
  void Solve(GenMatrixD& rhs) const;
  const GenMatrixD& RightSide() const { return gred; }
  // H_red (its upper triangle) after Build, its factor after Factor.
  const SymMatrixD& Matrix() const { return Hred; }

 private:
  void AddLinearRows(const BlockDiagonalMatrix& W, GenMatrixD& h, double* g, const UnknownPlacement& at);
  // Every block's share, placed by at.
  void Accumulate(BlockDiagonalMatrix& W, SymMatrixD& H, double* g, const UnknownPlacement& at);

  BuiltProblem& problem;
  const FreeParameterMap& map;
  SymMatrixD Hred;  // on the problem's Newton matrix
  GenMatrixD gred;
  GenMatrixD product;  // H T, nvt x nv, without a single-parameter placement
  // The nonzero entries of C, row by row.
  std::vector<int> rowStart;
  std::vector<int> column;
  std::vector<double> coefficient;
};

#endif
