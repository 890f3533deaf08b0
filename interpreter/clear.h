// The clear statement. Bare, it resets the whole problem (constraints,
// objective, built results, variables and parameters) to the state of a
// fresh run, keeping the accepted settings of the reserved parameters.
// With items it removes single LMIs or LMEs or all of them, the objective,
// all variables, a variable's mask, single variables and parameters.
#ifndef VARNEL_CLEAR_H
#define VARNEL_CLEAR_H

// 0, or 1 after an error report; items handled before a failing one stay
// done.
int clearStatement();

#endif
