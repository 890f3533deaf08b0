// The feasibility phase of the projective method: the search for a strictly
// feasible point of the built problem (free parameters at which every
// linear inequality is positive and every matrix inequality positive
// definite).
//
// Each iteration takes as Newton step d the free parameters that bring the
// scaled constraint value U F(d) U' (and t d0) closest to the identity
// (to 1), measures the scaled step V = U F(d) U' - I by its eigenvalues v
// and their norm, the feasibility radius, stops when they show d strictly
// feasible, and otherwise moves W and t by a step of `stepLength`.
//
// Outcome (SolverStatus): 0 found (radius below 1, or every entry of v
// above -1 + 1e-8, and the step's own value positive definite beyond
// rounding); 1 max_iter exceeded (99 after a failed step length); 2 the
// radius unchanged for noprog iterations; 3 (normal equations only) the
// Newton matrix not positive definite, or a step that is not finite; 4
// unboundedness: the largest entry c of v with c <= eps or 1/c <= eps, and
// a checked certificate that no point is feasible (DualBound), without
// which the run steps on; 99 a scaling that cannot be factored
// (" Factorization error:: Chol."), or a step that is not finite in the
// least-squares form.
//
// W and t are reset to the identity and 1.0 and left as the exiting
// iteration began (as updated last after max_iter). counter goes on from
// the value given (1 when 0 is given, with a new table head; else a
// separator continues the table) and is left at the last iteration run.
// At every exit the problem's variables get d/d0 of the last step whose
// d0 is positive and whose quotient is finite (the point they held at
// the start when there is none).
#ifndef VARNEL_FEASIBILITY_H
#define VARNEL_FEASIBILITY_H

#include <ctime>

#include "block_diagonal.h"
#include "built_problem.h"

int findFeasibleCholesky(BuiltProblem& problem, const double& eps, const int& max_iter, const int& noprog,
                         const int& display, int& counter, time_t& start, time_t& end, double& cpuSeconds,
                         BlockDiagonalMatrix& W, double& t);
int findFeasibleQR(BuiltProblem& problem, const double& eps, const int& max_iter, const int& noprog,
                   const int& display, int& counter, time_t& start, time_t& end, double& cpuSeconds,
                   BlockDiagonalMatrix& W, double& t);

#endif
