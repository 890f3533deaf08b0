// The symmetry of a built problem's matrix inequalities along every free
// parameter. Their values are linear in the free parameters y, so they are
// symmetric for every y exactly when they are along each unit direction
// y = e_k; a test at a single point misses, for example, a general variable
// X in the inequality X > 0, which is symmetric at X = ones only.
#ifndef VARNEL_SYMMETRY_CHECK_H
#define VARNEL_SYMMETRY_CHECK_H

#include "built_problem.h"

// 1 when the value of some matrix inequality, or of some diagonal block of
// a block matrix inequality, at the unknowns x = T e_k has an entry pair
// with |a(i, j) - a(j, i)| > tol, for some k; else 0. The value is formed
// from the terms at the few unknowns that e_k makes nonzero, without
// touching the variables. Needs the problem's sizes (FinalizeSizes).
int hasAsymmetricDirection(const BuiltProblem& problem, double tol);

#endif
