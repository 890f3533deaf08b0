#include "drivers.h"

#include "feasibility.h"
#include "optimization.h"

namespace {

std::string noProgressMessage(const SolverJob& job) {
  return "No progress after " + std::to_string(job.settings.noprog) + " iterations.";
}

// The warning of a phase's nonzero outcome, for the codes that every
// driver words the same way.
void warnCommon(const SolverJob& job, int status, const char* maxIterMessage, const char* abnormalMessage) {
  switch (status) {
    case kMaxIterations:
      job.warn(maxIterMessage);
      break;
    case kNoProgress:
      job.warn(noProgressMessage(job));
      break;
    default:
      job.warn(abnormalMessage);
      break;
  }
}

}  // namespace

int runFindFeasibleQR(const SolverJob& job, SolverRun& run, int counter) {
  const SolverSettings& s = job.settings;
  const int status = findFeasibleQR(job.problem, s.eps, s.max_iter, s.noprog, s.display, counter, run.start, run.end,
                                    run.cpuSeconds, run.W, run.t);
  if (status == kDegenerate)
    job.warn("Stopping due to numerical degeneracy.");
  else if (status == kUnbounded)
    job.warn("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(job, status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runFindFeasibleCholesky(const SolverJob& job, SolverRun& run, int counter) {
  const SolverSettings& s = job.settings;
  const int status = findFeasibleCholesky(job.problem, s.eps, s.max_iter, s.noprog, s.display, counter, run.start,
                                          run.end, run.cpuSeconds, run.W, run.t);
  if (status == kDegenerate) {
    job.warn("Numerical degeneracy. Switching to QR.");
    return runFindFeasibleQR(job, run, counter);
  }
  if (status == kUnbounded)
    job.warn("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(job, status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runOptimizeQR(const SolverJob& job, SolverRun& run, int counter, double bound) {
  const SolverSettings& s = job.settings;
  const int status = optimizeQR(job.problem, job.objective, bound, s.eps, s.max_iter, s.noprog, s.display, counter,
                                run.start, run.end, run.cpuSeconds, run.W, run.t);
  if (status == kDegenerate)
    job.warn("Stopping due to numerical degeneracy.");
  else if (status == kUnbounded)
    job.warn("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(job, status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runOptimizeCholesky(const SolverJob& job, SolverRun& run, int counter, double bound) {
  const SolverSettings& s = job.settings;
  const int status = optimizeCholesky(job.problem, job.objective, bound, s.eps, s.max_iter, s.noprog, s.display,
                                      counter, run.start, run.end, run.cpuSeconds, run.W, run.t);
  if (status == kNoProgress || status == kDegenerate) {
    job.warn(status == kNoProgress ? noProgressMessage(job) : "Numerical degeneracy. Switching to QR.");
    return runOptimizeQR(job, run, counter, bound);
  }
  if (status == kUnbounded)
    job.warn("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(job, status, "Stopping. 'max_iter' exceeded. Solution may be not optimal.",
               "Abnormal termination. Please report it!");
  return status;
}
