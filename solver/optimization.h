// The optimisation phase of the projective method: minimises the reduced
// objective over the free parameters, going on from the scaling W and the
// weight t that the feasibility phase left.
//
// Each iteration computes three Newton directions from one Newton matrix:
// d_g (the feasibility phase's step), d_c (the response to the scaled
// objective q) and d_e (the response to the homogenising parameter). For a
// level L they give the combined direction D(L) = F_g - lambda(L) (F_c -
// L F_e). The bound, a level that never grows, is lowered each iteration to
// a level proposed from the largest admissible multiplier (`computeMuMax`)
// or, when that level's direction is not admissible, to the first
// admissible of ten levels between it and the bound; W and t then move
// along the chosen direction by a step of `stepLength`.
//
// Outcome (SolverStatus): 0 the relative change of the bound below eps;
// 1 max_iter exceeded; 2 no bound update for noprog iterations; 3 the
// Newton matrix not positive definite (normal equations), a scaling that
// cannot be factored (least squares), or a step that is not finite
// (normal equations); 99 a scaling that cannot be factored (normal
// equations, " Factorization error:: Chol."), a singular pencil in
// computeMuMax (" Factorization error:: muMax."), a multiplier that is not
// positive (" Error:: muMax is negative."), or a step that is not finite
// (least squares).
//
// The objective is given as the reduced objective vector; bound is in the
// units of the objective scaled by its largest absolute entry. An
// objective that is zero ends the phase at once with 0, the variables
// keeping the feasible point. At every exit the problem's variables get the
// point of the last accepted bound, y = d_g - lambda (d_c - bound d_e)
// normalised by y0, with the directions of its own iteration; when no bound
// was accepted (or y0 was not positive), the point they held at the start.
#ifndef VARNEL_OPTIMIZATION_H
#define VARNEL_OPTIMIZATION_H

#include <ctime>

#include "block_diagonal.h"
#include "built_problem.h"
#include "gen_matrix.h"

int optimizeCholesky(BuiltProblem& problem, const GenMatrixD& objective, double& bound, const double& eps,
                     const int& max_iter, const int& noprog, const int& display, int& counter, time_t& start,
                     time_t& end, double& cpuSeconds, BlockDiagonalMatrix& W, double& t);
int optimizeQR(BuiltProblem& problem, const GenMatrixD& objective, double& bound, const double& eps,
               const int& max_iter, const int& noprog, const int& display, int& counter, time_t& start, time_t& end,
               double& cpuSeconds, BlockDiagonalMatrix& W, double& t);

#endif
