// The outcome of every solver phase and driver.
#ifndef VARNEL_SOLVER_STATUS_H
#define VARNEL_SOLVER_STATUS_H

enum SolverStatus {
  kSolved = 0,         // strictly feasible point found, or bound within eps
  kMaxIterations = 1,  // max_iter iterations done
  kNoProgress = 2,     // nothing changed for noprog iterations
  kDegenerate = 3,     // a Cholesky factorisation failed
  kUnbounded = 4,      // unboundedness detected
  kAbnormal = 99       // abnormal termination, named by the phase's own line
};

#endif
