// The primaries that reach the LMI problem from an expression:
//
//   build            builds the problem when something changed since the
//                    last successful build; its value is 0
//   eval(lmi(k))     the value of a stored constraint, or of the objective,
//   eval(lme(k))     at the variables' current values
//   eval(obj)
//   mask(v)          the mask of variable v (empty when it has none)
//   mask(v) = M      sets it; the value is M
//
// Each takes its own keyword and returns 0, or 1 after an error report.
#ifndef VARNEL_PROBLEM_PRIMARIES_H
#define VARNEL_PROBLEM_PRIMARIES_H

#include "value.h"

int primaryBuild(Value& result);
int primaryEval(Value& result);
int primaryMask(Value& result);

#endif
