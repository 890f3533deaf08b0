#include "drivers.h"

#include "feasibility.h"
#include "optimization.h"

namespace {

enum Driver { kFeasibleQR, kFeasibleCholesky, kOptimizeQR, kOptimizeCholesky };

// What a driver says of the outcomes whose wording differs between drivers.
// No progress and unboundedness are worded alike by all four.
struct DriverWarnings {
  const char* maxIterations;
  const char* degenerate;
  const char* abnormal;  // any other nonzero outcome
};

// clang-format off
const DriverWarnings kWarnings[] = {
    // kFeasibleQR
    {"Stopping. 'max_iter' exceeded.", "Stopping due to numerical degeneracy.",
     "Abnormal termination. Please report!"},
    // kFeasibleCholesky
    {"Stopping. 'max_iter' exceeded.", "Numerical degeneracy. Switching to QR.",
     "Abnormal termination. Please report!"},
    // kOptimizeQR
    {"Stopping. 'max_iter' exceeded.", "Stopping due to numerical degeneracy.",
     "Abnormal termination. Please report!"},
    // kOptimizeCholesky
    {"Stopping. 'max_iter' exceeded. Solution may be not optimal.", "Numerical degeneracy. Switching to QR.",
     "Abnormal termination. Please report it!"},
};
// clang-format on

// The driver's warning of a nonzero outcome of its phase.
std::string outcomeWarning(const SolverJob& job, Driver driver, int status) {
  const DriverWarnings& words = kWarnings[driver];
  switch (status) {
    case kMaxIterations:
      return words.maxIterations;
    case kNoProgress:
      return "No progress after " + std::to_string(job.settings.noprog) + " iterations.";
    case kDegenerate:
      return words.degenerate;
    case kUnbounded:
      return "Unboundness detected.";
    default:
      return words.abnormal;
  }
}

// One warning for every outcome but success.
void warnOutcome(const SolverJob& job, Driver driver, int status) {
  if (status != kSolved) job.warn(outcomeWarning(job, driver, status));
}

}  // namespace

int runFindFeasibleQR(const SolverJob& job, SolverRun& run, int counter) {
  const SolverSettings& s = job.settings;
  const int status = findFeasibleQR(job.problem, s.eps, s.max_iter, s.noprog, s.display, counter, run.start, run.end,
                                    run.cpuSeconds, run.W, run.t);
  warnOutcome(job, kFeasibleQR, status);
  return status;
}

int runFindFeasibleCholesky(const SolverJob& job, SolverRun& run, int counter) {
  const SolverSettings& s = job.settings;
  const int status = findFeasibleCholesky(job.problem, s.eps, s.max_iter, s.noprog, s.display, counter, run.start,
                                          run.end, run.cpuSeconds, run.W, run.t);
  warnOutcome(job, kFeasibleCholesky, status);
  if (status == kDegenerate) return runFindFeasibleQR(job, run, counter);
  return status;
}

int runOptimizeQR(const SolverJob& job, SolverRun& run, int counter, double bound) {
  const SolverSettings& s = job.settings;
  const int status = optimizeQR(job.problem, job.objective, bound, s.eps, s.max_iter, s.noprog, s.display, counter,
                                run.start, run.end, run.cpuSeconds, run.W, run.t);
  warnOutcome(job, kOptimizeQR, status);
  return status;
}

int runOptimizeCholesky(const SolverJob& job, SolverRun& run, int counter, double bound) {
  const SolverSettings& s = job.settings;
  const int status = optimizeCholesky(job.problem, job.objective, bound, s.eps, s.max_iter, s.noprog, s.display,
                                      counter, run.start, run.end, run.cpuSeconds, run.W, run.t);
  warnOutcome(job, kOptimizeCholesky, status);
  if (status == kNoProgress || status == kDegenerate) return runOptimizeQR(job, run, counter, bound);
  return status;
}
