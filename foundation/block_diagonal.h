// Block-diagonal matrices: a diagonal part (a column of D numbers standing
// for a D x D diagonal matrix) followed by square blocks. The whole stands for
// the matrix of order D + n_0 + ... + n_(k-1) with these pieces on its
// diagonal and zeros elsewhere.
//
// BlockDiagonalMatrix has symmetric blocks and holds the value of a whole
// constraint set at one point: one diagonal entry per linear inequality, then
// one block per matrix inequality. GenBlockDiagonalMatrix has general blocks.
//
// Each part keeps its elements in the shared storage of its matrix. Assignment
// of a BlockDiagonalMatrix shares every part with the source; the copy of a
// GenBlockDiagonalMatrix and its transpose share nothing with their source.
#ifndef VARNEL_BLOCK_DIAGONAL_H
#define VARNEL_BLOCK_DIAGONAL_H

#include <memory>

#include "gen_matrix.h"
#include "tri_matrix.h"

class BlockDiagonalMatrix {
 public:
  // Diagonal part 0 x 0 and no blocks.
  explicit BlockDiagonalMatrix(int flagValue);
  // Diagonal part diagLength x 1 (0 x 0 for 0), block i of order sizes[i];
  // fresh storage for every part, elements not set.
  BlockDiagonalMatrix(int count, const int* sizes, int diagLength, int flagValue);

  // Passed by reference and copied only by assignment.
  BlockDiagonalMatrix(const BlockDiagonalMatrix&) = delete;

  // Every part of this matrix shares the source's part: a write through
  // either is seen through the other. The block array is reallocated only
  // when the block counts differ; otherwise the blocks just take the
  // source's orders by sharing. The flag keeps its value.
  BlockDiagonalMatrix& operator=(const BlockDiagonalMatrix& source);

  // The identity of the current shape. Only the kept (upper) triangle of a
  // block is written; its strictly lower part keeps what it held.
  void SetIdentity();

  // No bounds checks. A caller may write any element of a block (both
  // triangles) or give it other storage.
  SymMatrixD& Block(int i) { return blocks[i]; }
  const SymMatrixD& Block(int i) const { return blocks[i]; }
  GenMatrixD& Diagonal() { return *diagonal; }
  const GenMatrixD& Diagonal() const { return *diagonal; }
  int BlockSize(int i) const { return blocks[i].Rows(); }
  int DiagonalLength() const { return diagonal->Rows(); }
  int BlockCount() const { return nblocks; }
  int Flag() const { return flag; }

 private:
  std::unique_ptr<GenMatrixD> diagonal;  // never null
  std::unique_ptr<SymMatrixD[]> blocks;  // null when there are no blocks
  int nblocks;
  int flag;  // kept for the caller; nothing here reads it
};

// Makes target the identity of the given shape, in storage that target alone
// holds (whatever it shared before is left to its other holders). The
// target's flag is unchanged.
void identityBlockDiagonal(int nblocks, const int* sizes, int diagLength, BlockDiagonalMatrix& target);

class GenBlockDiagonalMatrix {
 public:
  // Diagonal part diagLength x 1 (0 x 0 for 0), block i sizes[i] x sizes[i];
  // fresh storage for every part, elements not set.
  GenBlockDiagonalMatrix(int count, const int* sizes, int diagLength, int flagValue);
  // Deep copy: every part gets storage of its own.
  GenBlockDiagonalMatrix(const GenBlockDiagonalMatrix& source, int flagValue = 0);
  // Takes over the source's parts as they are, sharing relations included;
  // the source is left with a 0 x 0 diagonal part and no blocks.
  GenBlockDiagonalMatrix(GenBlockDiagonalMatrix&& source);

  GenBlockDiagonalMatrix& operator=(const GenBlockDiagonalMatrix&) = delete;

  // No bounds checks.
  GenMatrixD& Block(int i) { return blocks[i]; }
  const GenMatrixD& Block(int i) const { return blocks[i]; }
  GenMatrixD& Diagonal() { return *diagonal; }
  const GenMatrixD& Diagonal() const { return *diagonal; }
  int DiagonalLength() const { return diagonal->Rows(); }
  int BlockCount() const { return nblocks; }
  int Flag() const { return flag; }

 private:
  std::unique_ptr<GenMatrixD> diagonal;  // never null
  std::unique_ptr<GenMatrixD[]> blocks;  // null when there are no blocks
  int nblocks;
  int flag;
};

// The transpose of a block-diagonal matrix with square blocks: the same
// diagonal values and each block transposed, in storage shared with nobody.
// The result's flag is 0.
GenBlockDiagonalMatrix transpose(const GenBlockDiagonalMatrix& source);

#endif
