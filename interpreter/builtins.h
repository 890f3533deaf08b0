// The built-in functions of the matrix language. Each primary is called with
// its keyword still pending, takes it and its arguments, and returns 0 with
// the value in result, or 1 after it has reported an error. Every one of
// them leaves resultName at "ans" on success.
//
// sqrt, inv, chol, null, eig, eigvec, trace, find and diag take one argument
// in parentheses that must follow the keyword directly; eye, zeros and ones
// take a size (see parseSizeArgs); size takes a value and an optional
// dimension; cputime takes nothing.
#ifndef VARNEL_BUILTINS_H
#define VARNEL_BUILTINS_H

#include "value.h"

int primaryCputime(Value& result);
// The handler of the type keywords: only "diag" is a function, the other
// three are reported as not being a primary.
int primaryDiag(Value& result);
int primarySqrt(Value& result);
int primaryEye(Value& result);
int primaryOnes(Value& result);
int primaryZeros(Value& result);
int primaryTrace(Value& result);
int primarySize(Value& result);
int primaryInv(Value& result);
int primaryEig(Value& result);
int primaryEigvec(Value& result);
// Validates the reserved parameters before it reads its argument, and takes
// its tolerance from the validated rank_eps.
int primaryNull(Value& result);
int primaryChol(Value& result);
int primaryFind(Value& result);

// An optional size written directly after a keyword or a name: (m), (m, n)
// or a two-element vector ([m n]). m = n = 0 when no "(" follows (nothing is
// taken); m > 0 and n = 0 for one number (the callers read it as m x m);
// m, n > 0 for two. Sizes are truncated toward zero and must be at least 1;
// a NaN, an infinity or a matrix too large to allocate is "Invalid size.".
// 0, or 1 after an error report.
int parseSizeArgs(int& m, int& n);

// Reads a size with parseSizeArgs and sets result to the m x n value (a
// scalar for 1 x 1) with every element fill; "Expected '('." when no size
// follows. Leaves resultName alone. 0, or 1 after an error report.
int makeFilled(Value& result, double fill);

#endif
