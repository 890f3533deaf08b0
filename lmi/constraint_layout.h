// How the stored constraints are laid out and read, for the statements that
// store them, for `eval` and for the builder that reads them again.
//
// A block LMI of r block rows is stored as the lower triangle of its blocks,
// r(r+1)/2 of them row by row, from the position that its entry of the list
// of starts gives; every other LMI is one block. The shape rules below hold
// each block against those read before it.
#ifndef VARNEL_CONSTRAINT_LAYOUT_H
#define VARNEL_CONSTRAINT_LAYOUT_H

#include <vector>

#include "hash_table.h"
#include "list.h"
#include "var_record.h"
#include "vlmi_block.h"

// The position of block (i, j), j <= i, of a block LMI whose first block is
// at start: start + i(i+1)/2 + j.
int packedLowerIndex(int start, int i, int j);
// The number of block rows of an LMI of n blocks (n = r(r+1)/2).
int lmiBlockRowCount(int n);
// The number of blocks of LMI k (0-based), given the first block of every
// LMI (starts) and the number of blocks stored (total).
int lmiBlockCount(const List<int>& starts, int total, int k);
// The same from the starts in a vector, without walking a list: what a loop
// over every LMI uses.
int lmiBlockCount(const std::vector<int>& starts, int total, int k);

// The position of a block while the blocks of an LMI are read in stored
// order: block row `row`, block column `col` <= row.
struct BlockTrianglePosition {
  int row = 0;
  int col = 0;

  bool OnDiagonal() const { return col == row; }
  // The next block: after a diagonal block the next row begins.
  void Advance() {
    if (col == row) {
      ++row;
      col = 0;
    } else {
      ++col;
    }
  }
};

// How VLmiBlock::Eval reads a 1 x 1 term of a stored block. Every LMI block
// is read as the scalar times the identity: Eval does that for square
// blocks only, so a column-vector LMI gets the scalar on every element, and
// an off-diagonal sub-block larger than 1 x 1 never holds such a term (see
// holdsScalarTerm), so the one reading is right at every position. LMEs and
// the objective get the scalar on every element.
constexpr ScalarReading kLmiReading = kScalarTimesIdentity;
constexpr ScalarReading kLmeReading = kScalarEverywhere;
constexpr ScalarReading kObjectiveReading = kScalarEverywhere;

// 1 when a term of block has a 1 x 1 value at the variables' current values
// (vartbl), other than a constant that is exactly 0. Such a term has no
// single meaning in an off-diagonal sub-block of a block LMI, where it is
// refused with "LMI off-diagonal blocks must not have scalar terms." unless
// the sub-block itself is 1 x 1.
int holdsScalarTerm(const VLmiBlock& block, HashTable<VarRecord>& vartbl);

// The shape rules of block b at `at`, blocks 0 .. b - 1 being those read
// before it: the message of the first rule it breaks, or null. The blocks of
// a row have its first block's rows, a block below the first row has the
// columns of the block above it, and a diagonal block is square; one
// written without `block(...)` (blockForm 0) may instead be a column.
const char* lmiBlockShapeError(const std::vector<VLmiBlock>& blocks, int b, BlockTrianglePosition at, int blockForm);
// The shape rules, then the rule of the scalar terms below the diagonal.
const char* lmiBlockError(const std::vector<VLmiBlock>& blocks, int b, BlockTrianglePosition at, int blockForm,
                          HashTable<VarRecord>& vartbl);

#endif
