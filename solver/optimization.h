// The optimisation phase of the projective method: minimises the reduced
// objective over the free parameters, going on from the scaling W and the
// weight t that the feasibility phase left.
//
// Each iteration factors one Newton matrix and takes from it the Newton
// step d_g and d_e, the response to the homogenising parameter. For a level
// L the point y(L) = d_g - lambda(L) z(L), z(L) the response to q - L e0,
// is the Newton step projected onto the points whose objective is L; its
// value D(L) is the combined direction. The bound, a level that never
// grows, is lowered each iteration to a level proposed from the largest
// admissible multiplier (`computeMuMax`) or, when that level's direction
// is not admissible, to the first admissible of ten levels between it and
// the bound; W and t then move along the chosen direction by a step of
// `stepLength`.
//
// Every bound is the objective of a point the phase has checked (see
// PointCheck): a level whose point fails the check is not admissible. The
// printed bound is therefore always attained, and the variables receive at
// every exit the point of the last bound.
//
// A success is a proof: the run ends with 0 only when a dual point of the
// iteration's Newton matrix (DualBound) bounds the optimum from below within
// eps of the bound. It is looked for only where a run would otherwise end:
// the relative change of the bound below eps, a proposal that the rounding
// alone puts above the bound or within eps of it, max_iter and noprog.
// Where it is not found the run goes on (a proposal's rule takes the step
// of the bound's own level, mark 0), or ends with 1 or 2.
//
// Outcome (SolverStatus): 0 the bound proved within eps of the optimum;
// 1 max_iter exceeded; 2 no bound update for noprog iterations; 3 the
// Newton matrix not positive definite (normal equations), a scaling that
// cannot be factored (least squares), or a step that is not finite; 4 the
// objective unbounded below on the feasible set (a family of points along
// which every level is admissible, confirmed at a point far below, or an
// objective that changes along a direction no inequality sees); 99 a
// scaling that cannot be factored (normal equations, " Factorization
// error:: Chol."). A pencil whose leading coefficient is singular puts its
// root at its own level, and a search that finds no level ends the
// iteration without one, never the run.
//
// The objective is given as the reduced objective vector; bound is in the
// units of the objective scaled by its largest absolute entry. An
// objective that is zero ends the phase at once with 0, the variables
// keeping the feasible point.
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
