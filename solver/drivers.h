// The entry points of the solver: each runs one phase of the projective
// method on a built problem with the given settings and turns the phase's
// outcome into a one-line warning, which it hands to the caller's reporter.
// The normal-equation drivers fall back to least squares on numerical
// degeneracy (the optimisation driver also when no progress is made), going
// on with the same iteration count, scaling and weight (and bound).
#ifndef VARNEL_DRIVERS_H
#define VARNEL_DRIVERS_H

#include <ctime>
#include <string>

#include "block_diagonal.h"
#include "built_problem.h"
#include "gen_matrix.h"
#include "solver_settings.h"
#include "solver_status.h"

// What the drivers work on: the built problem and, to optimise, its
// objective over the free parameters; the settings (eps, max_iter, noprog
// and display; fact is the caller's choice of driver); and the function
// that reports a warning.
struct SolverJob {
  BuiltProblem& problem;
  const GenMatrixD& objective;
  const SolverSettings& settings;
  void (*warn)(const std::string& message);
};

// The solver's state between its phases, and the times of the phase that
// ran last.
struct SolverRun {
  BlockDiagonalMatrix W{0};  // the scaling (any state on entry; the feasibility phase resets it)
  double t = 0.0;            // the homogenising weight
  time_t start = 0;
  time_t end = 0;
  double cpuSeconds = 0.0;
};

// counter: the first iteration's number less one (0 on a fresh start);
// bound: the objective bound to go on from (0.0 fresh).
int runFindFeasibleQR(const SolverJob& job, SolverRun& run, int counter);
int runFindFeasibleCholesky(const SolverJob& job, SolverRun& run, int counter);
int runOptimizeQR(const SolverJob& job, SolverRun& run, int counter, double bound);
int runOptimizeCholesky(const SolverJob& job, SolverRun& run, int counter, double bound);

#endif
