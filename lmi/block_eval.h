// The value of one constraint block at the current values of its variables:
// the sum of its terms' values, each coefficient * S(L op(X) R). A term whose
// value is 1 x 1 adds its scalar on the diagonal of a larger block (the
// scalar times the identity). The caller writes the point into the
// variables first; the kernels write only their output.
//
// Every kernel shapes out to the block's dimension. It keeps out's storage
// when out holds it alone at that size and takes fresh storage otherwise,
// so a matrix that shared out's old storage keeps the old values. The
// products go to the constraint set's scratch, bound to the terms by
// ConstraintSet::SetUp: with out already shaped nothing is allocated.
#ifndef VARNEL_BLOCK_EVAL_H
#define VARNEL_BLOCK_EVAL_H

#include "built_problem.h"
#include "tri_matrix.h"

// The full value of a matrix inequality.
void evalTermBlock(const TermBlock& block, SymMatrixD& out);
// The same value on and above the diagonal; nothing is written below it.
void evalTermBlockUpper(const TermBlock& block, SymMatrixD& out);
// The block-diagonal part of a block matrix inequality's value: the
// diagonal positions in full, every off-diagonal region 0.0.
void evalBlockLmi(const BlockLmi& block, SymMatrixD& out);
// The upper triangle of the full value: the diagonal positions on and above
// their diagonals, position (i, j), i < j, from the entry stored at (j, i).
// Nothing is written below the diagonal.
void evalBlockLmiUpper(const BlockLmi& block, SymMatrixD& out);

#endif
