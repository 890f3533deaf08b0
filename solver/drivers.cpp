#include "drivers.h"

#include <string>

#include "feasibility.h"
#include "optimization.h"
#include "report.h"
#include "workspace.h"

namespace {

std::string noProgressMessage() {
  return "No progress after " + std::to_string(solverSettings.noprog) + " iterations.";
}

// The warning of a phase's nonzero outcome, for the codes that every
// driver words the same way.
void warnCommon(int status, const char* maxIterMessage, const char* abnormalMessage) {
  switch (status) {
    case kMaxIterations:
      reportWarning(maxIterMessage);
      break;
    case kNoProgress:
      reportWarning(noProgressMessage());
      break;
    default:
      reportWarning(abnormalMessage);
      break;
  }
}

}  // namespace

int runFindFeasibleQR(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                      int counter) {
  SolverSettings& s = solverSettings;
  const int status =
      findFeasibleQR(*builtProblem, s.eps, s.max_iter, s.noprog, s.display, counter, start, end, cpuSeconds, W, t);
  if (status == kDegenerate)
    reportWarning("Stopping due to numerical degeneracy.");
  else if (status == kUnbounded)
    reportWarning("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runFindFeasibleCholesky(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                            int counter) {
  SolverSettings& s = solverSettings;
  const int status = findFeasibleCholesky(*builtProblem, s.eps, s.max_iter, s.noprog, s.display, counter, start, end,
                                          cpuSeconds, W, t);
  if (status == kDegenerate) {
    reportWarning("Numerical degeneracy. Switching to QR.");
    return runFindFeasibleQR(W, t, start, end, cpuSeconds, counter);
  }
  if (status == kUnbounded)
    reportWarning("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runOptimizeQR(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds, int counter,
                  double bound) {
  SolverSettings& s = solverSettings;
  const int status = optimizeQR(*builtProblem, objectiveVector, bound, s.eps, s.max_iter, s.noprog, s.display, counter,
                                start, end, cpuSeconds, W, t);
  if (status == kDegenerate)
    reportWarning("Stopping due to numerical degeneracy.");
  else if (status == kUnbounded)
    reportWarning("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(status, "Stopping. 'max_iter' exceeded.", "Abnormal termination. Please report!");
  return status;
}

int runOptimizeCholesky(BlockDiagonalMatrix& W, double& t, time_t& start, time_t& end, double& cpuSeconds,
                        int counter, double bound) {
  SolverSettings& s = solverSettings;
  const int status = optimizeCholesky(*builtProblem, objectiveVector, bound, s.eps, s.max_iter, s.noprog, s.display,
                                      counter, start, end, cpuSeconds, W, t);
  if (status == kNoProgress || status == kDegenerate) {
    reportWarning(status == kNoProgress ? noProgressMessage() : "Numerical degeneracy. Switching to QR.");
    return runOptimizeQR(W, t, start, end, cpuSeconds, counter, bound);
  }
  if (status == kUnbounded)
    reportWarning("Unboundness detected.");
  else if (status != kSolved)
    warnCommon(status, "Stopping. 'max_iter' exceeded. Solution may be not optimal.",
               "Abnormal termination. Please report it!");
  return status;
}
