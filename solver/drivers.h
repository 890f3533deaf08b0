// The entry points of the solver: each runs one phase of the projective
// method on the workspace's built problem with the current solver settings
// and turns the phase's outcome into a one-line warning. The normal-equation
// drivers fall back to least squares on numerical degeneracy (the
// optimisation driver also when no progress is made), going on with the
// same iteration count, scaling and weight (and bound).
#ifndef VARNEL_DRIVERS_H
#define VARNEL_DRIVERS_H

#include <ctime>

#include "block_diagonal.h"

// The outcome of every solver phase and driver.
enum SolverStatus {
  kSolved = 0,          // strictly feasible point found, or bound within eps
  kMaxIterations = 1,   // max_iter iterations done
  kNoProgress = 2,      // nothing changed for noprog iterations
  kDegenerate = 3,      // a Cholesky factorisation failed
  kUnbounded = 4,       // unboundedness detected
  kAbnormal = 99        // abnormal termination, named by the phase's own line
};

// W: the scaling (any state on entry; the feasibility phase resets it);
// t: the homogenising weight; start, end and cpuSeconds: the times of the
// phase that ran last; counter: the first iteration's number less one (0 on
// a fresh start); bound: the objective bound to go on from (0.0 fresh).
int runFindFeasibleQR(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                      int counter);
int runFindFeasibleCholesky(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                            int counter);
int runOptimizeQR(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds, int counter,
                  double bound);
int runOptimizeCholesky(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                        int counter, double bound);

#endif
