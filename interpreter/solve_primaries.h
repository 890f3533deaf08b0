// The primaries that run the solver from an expression:
//
//   feas    builds the problem when needed, searches a strictly feasible
//           point and stores it into the variables after success
//   solve   the same, then minimises the objective (when it involves
//           variables) and stores the solution whatever the outcome
//
// The value of either is the solver's last outcome code. Each takes its own
// keyword and returns 0, or 1 after an error report (invalid reserved
// parameters, a failed build); a failed solver run is no error.
#ifndef VARNEL_SOLVE_PRIMARIES_H
#define VARNEL_SOLVE_PRIMARIES_H

#include <ctime>

#include "value.h"

int primaryFeas(Value& result);
int primarySolve(Value& result);

// Copies the built problem's variable values into the workspace variables.
void storeSolution();
// The timing report of a solver run.
void printTiming(const time_t& start, const time_t& end, const double& cpuSeconds);

#endif
