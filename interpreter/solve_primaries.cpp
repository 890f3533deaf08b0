#include "solve_primaries.h"

#include <iomanip>
#include <iostream>

#include "builder.h"
#include "drivers.h"
#include "interrupts.h"
#include "lexer.h"
#include "report.h"
#include "workspace.h"

namespace {

// The drivers' job: the workspace's built problem and objective, the
// current settings, and the reporter's warnings.
SolverJob currentJob() { return SolverJob{*builtProblem, objectiveVector, solverSettings, reportWarning}; }

// Validates the settings and builds the problem when something changed:
// 0, or 1 after a report.
int prepareProblem(int keyword) {
  expectToken(keyword);
  if (checkReservedParameters()) return 1;
  newlineUnlessCompact();
  // Only a successful build clears needsRebuild, so a problem is there
  // whenever the flag is clear; the test keeps a solver from ever seeing none.
  if (needsRebuild || builtProblem == nullptr) {
    std::cout << "Building...\n";
    if (buildProblem()) return 1;
    newlineUnlessCompact();
  }
  // A Ctrl-C during the build stops the statement once the build is done,
  // before the solver starts.
  return stopIfInterrupted();
}

int findFeasiblePoint(SolverRun& run) {
  std::cout << "Searching feasible point...\n";
  const int status = solverSettings.fact == 1 ? runFindFeasibleQR(currentJob(), run, 0)
                                              : runFindFeasibleCholesky(currentJob(), run, 0);
  if (status != kSolved) reportWarning("Problem may have no feasible solution.");
  return status;
}

int optimizeObjective(SolverRun& run) {
  newlineUnlessCompact();
  std::cout << "Optimizing...\n";
  const int status = solverSettings.fact == 1 ? runOptimizeQR(currentJob(), run, 0, 0.0)
                                              : runOptimizeCholesky(currentJob(), run, 0, 0.0);
  // The variables hold the best point the run checked, but its objective
  // is not known to be within eps of the optimum: say so, as a failed
  // feasibility search says what it means.
  if (status != kSolved && status != kUnbounded) reportWarning("Accuracy 'eps' not reached.");
  return status;
}

// A phase that an interrupt ended ended as on max_iter, and the drivers and
// the statement have acted on that; then the statement stops.
int finish(const SolverRun& run, int status, Value& result) {
  newlineUnlessCompact();
  if (verboseFormat == 1) printTiming(run.start, run.end, run.cpuSeconds);
  if (stopIfInterrupted()) return 1;
  result = static_cast<double>(status);
  resultName = kAnsName;
  return 0;
}

}  // namespace

int primaryFeas(Value& result) {
  if (prepareProblem(kFeas)) return 1;
  SolverRun run;
  const int status = findFeasiblePoint(run);
  if (status == kSolved) storeSolution();
  return finish(run, status, result);
}

int primarySolve(Value& result) {
  if (prepareProblem(kSolve)) return 1;
  SolverRun run;
  int status = findFeasiblePoint(run);
  if (status == kSolved && objective.NumTerms() > 1) {
    status = optimizeObjective(run);
    storeSolution();
  }
  return finish(run, status, result);
}

void storeSolution() {
  for (int i = 0; i < builtVariableCount; ++i)
    variableTable.Lookup(builtVariableNames[i]).GetValue() = builtVariableValues[i];
}

void printTiming(const time_t& start, const time_t& end, const double& cpuSeconds) {
  newlineUnlessCompact();
  std::cout << "- Timing information.\n";
  newlineUnlessCompact();
  std::cout << "  Start time: " << std::asctime(std::localtime(&start));
  std::cout << "    End time: " << std::asctime(std::localtime(&end));
  std::cout << std::fixed << std::setprecision(2) << "    CPU time: " << cpuSeconds << " seconds\n";
  newlineUnlessCompact();
}
