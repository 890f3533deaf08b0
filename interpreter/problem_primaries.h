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

#include <string>

#include "value.h"

int primaryBuild(Value& result);
int primaryEval(Value& result);
int primaryMask(Value& result);

// mask(v), as the primary and the clear statement write it: the keyword,
// the parenthesis directly after it, and the variable v, whose name is
// returned. Returns 0, or 1 after an error report.
int takeMaskVariable(std::string& name);

#endif
