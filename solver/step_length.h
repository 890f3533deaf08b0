// The length of the step that moves the scaling of the projective method.
#ifndef VARNEL_STEP_LENGTH_H
#define VARNEL_STEP_LENGTH_H

#include "gen_matrix.h"

// v: the n >= 1 eigenvalues of a scaled step (a column). Finds by Newton's
// method the root lambda above c = max v of
//   sum v_i^2 / (lambda - v_i) = sum v_i^2,
// starting from c + c^2 / sum v_i^2, and sets alpha = 1 / lambda (also on
// failure). The iteration stops when lambda repeats exactly, when
// sqrt(-f' f^2) <= tol, or after maxIter + 2 updates. Returns 0 when the
// root lies above c, 1 otherwise (a root that is not a number included).
// Callers pass c > 0.
int stepLength(const GenMatrixD& v, double& alpha, double tol, int maxIter);

#endif
