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

#include "constraint_layout.h"

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

#endif
