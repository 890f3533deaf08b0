// The settings a build and a solve run with: the validated values of the
// reserved parameters, which the interpreter keeps in its workspace.
#ifndef VARNEL_SOLVER_SETTINGS_H
#define VARNEL_SOLVER_SETTINGS_H

struct SolverSettings {
  double eps = 1e-4;        // the solver's accuracy
  double rank_eps = 1e-10;  // the builder's rank, consistency and symmetry tolerance
  int max_iter = 100;       // iterations of one phase
  int noprog = 10;          // iterations without progress before a phase stops
  int display = 1;          // iteration tables shown (0: none)
  int fact = 1;             // 1: least squares through QR; 2: normal equations through Cholesky
};

#endif
