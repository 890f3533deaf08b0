// The display of values on the standard output: how the user sees the result
// of every expression statement.
#ifndef VARNEL_DISPLAY_H
#define VARNEL_DISPLAY_H

#include "gen_matrix.h"
#include "value.h"

// Writes value, starting on a new line: "  []" for the empty value; numbers
// in a fixed form with four decimals when their magnitude lies in (0.1, 10000)
// or is zero, otherwise as mantissas with seven decimals under one power of
// ten; matrices in groups of at most six columns. Leaves std::cout in fixed
// notation with the precision it used last (4 or 7).
void printValueFormatted(const Value& value);

// The largest absolute value of m's elements, 0.0 for none; NaN elements are
// never taken.
double maxAbs(const GenMatrixD& m);

#endif
