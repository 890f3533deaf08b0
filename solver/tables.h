// The iteration tables that the solver phases print on the standard output:
// the feasibility radius of the feasibility phase, the objective bound and
// its relative accuracy of the optimisation phase.
//
// The number of digits follows the accuracy eps: the table precision is
// a = 1 - K with K = log(eps)/log(10) truncated toward zero (eps = 1e-4
// gives 4, since the quotient falls just short of -4). The feasibility head
// and every optimisation line leave the stream in fixed notation.
#ifndef VARNEL_TABLES_H
#define VARNEL_TABLES_H

#include <ostream>

#include "built_problem.h"

int tablePrecision(double eps);

void printOptimizationSeparator(int precision);
void printFeasibilitySeparator(int precision);
void printOptimizationHead(double eps);
void printFeasibilityHead(double eps);
void printFeasibilityLine(double eps, int counter, double radius);
// mark: 0 when the bound was kept (" *"), 1 when the proposed level was
// taken (no mark), above 1 for a level of the grid (" +"). A negative
// accuracy has no value yet and prints as a run of '-'.
void printOptimizationLine(double eps, int counter, double value, double accuracy, int mark);

// A debugging dump of the sizes of a built problem.
std::ostream& printLme(std::ostream& out, const BuiltProblem& problem);

#endif
