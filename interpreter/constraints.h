// The statements that state the LMI problem, and the listings of what they
// stored:
//
//   lmi = e                 a matrix inequality e > 0 (square or a column)
//   lmi = block(B11; B21, B22; ...)
//                           a block matrix inequality given by its lower
//                           triangle, rows separated by ";" or line ends
//   lme = e                 a matrix equality e = 0
//   obj = e                 the objective (1 x 1)
//   lmi, lme                list every stored LMI (LME)
//   lmi(k), lme(k)          list number k (from 1)
//   obj                     show the objective
//
// Each right-hand side is an affine expression in the declared variables;
// its block and its recorded text are stored in the workspace lists. A
// block LMI of r block rows takes r(r+1)/2 consecutive entries of lmiBlocks,
// the lower triangle row by row, and one entry of lmiStarts; a stored block
// LMI is always a complete triangle.
#ifndef VARNEL_CONSTRAINTS_H
#define VARNEL_CONSTRAINTS_H

#include "vlmi_block.h"

// The statement handlers: 0, or 1 after an error report. A successful store
// marks the problem for a rebuild and lists the new entry unless ";" follows;
// a failing statement stores nothing.
int lmiStatement();
int lmeStatement();
int objStatement();

// Print LMI (LME) k, counted from 0, in the listing layout of the current
// output format. Numbers are written without a format of their own.
void listLmi(int k);
void listLme(int k);

// The position of block (i, j), j <= i, of a block LMI whose first block is
// at start: start + i(i+1)/2 + j.
int packedLowerIndex(int start, int i, int j);
// The number of block rows of an LMI of n blocks (n = r(r+1)/2).
int lmiBlockRowCount(int n);
// The number of blocks of LMI k (0-based).
int lmiBlockCount(int k);

// How VLmiBlock::Eval reads a 1 x 1 term of a stored block. Every LMI block
// is read as the scalar times the identity: Eval does that for square
// blocks only, so a column-vector LMI gets the scalar on every element, and
// an off-diagonal sub-block larger than 1 x 1 never holds such a term (see
// holdsScalarTerm), so the one reading is right at every position. LMEs and
// the objective get the scalar on every element.
constexpr ScalarReading kLmiReading = kScalarTimesIdentity;
constexpr ScalarReading kLmeReading = kScalarEverywhere;
constexpr ScalarReading kObjectiveReading = kScalarEverywhere;

// 1 when a term of block has a 1 x 1 value at the current variables, other
// than a constant that is exactly 0. Such a term has no single meaning in an
// off-diagonal sub-block of a block LMI, where it is refused with
// "LMI off-diagonal blocks must not have scalar terms." unless the
// sub-block itself is 1 x 1.
int holdsScalarTerm(const VLmiBlock& block);

#endif
