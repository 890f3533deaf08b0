// The coefficients of an affine block over the scalar unknowns of its
// variables: for every entry e of a term's variable X, the term's value with
// X set to the unit matrix of e. Summed over a block's terms this is the
// block's value at X = unit entry less its value at X = 0, computed from the
// terms' factors as outer products instead of by evaluating the block once
// per entry.
#ifndef VARNEL_AFFINE_COEFFICIENTS_H
#define VARNEL_AFFINE_COEFFICIENTS_H

#include "gen_matrix.h"
#include "vmat_term.h"

#include <vector>

// Adds the coefficients of one variable term of a block of blockRows x
// blockCols entries to out: those of entry e of X (column-major), the
// block's entries row by row, go down column firstColumn + e from row
// firstRow, or, when columnOf is given, down column columnOf[firstColumn +
// e] (none where that is negative). A term whose value is 1 x 1 stands on
// every entry of a larger block, as the block's value reads it with the
// scalar on every element; a term whose factors do not fit X adds nothing.
// X gives only the size.
void addTermCoefficients(const VMatTerm& term, const GenMatrixD& X, int blockRows, int blockCols, GenMatrixD& out,
                         int firstRow, int firstColumn, const std::vector<int>* columnOf = nullptr);

#endif
