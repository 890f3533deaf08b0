#include "block_diagonal.h"

#include <utility>
#include <vector>

#include "kernels.h"

namespace {

// Gives m fresh storage of order n (0 x 0 for order 0), elements not set.
void makeSquare(SymMatrixD& m, int n) { m.Share(SymMatrixD(n)); }
void makeSquare(GenMatrixD& m, int n) { m.Share(GenMatrixD(n, n)); }

// A diagonal part of length n: n x 1, or 0 x 0 when n is 0.
std::unique_ptr<GenMatrixD> newDiagonal(int n) { return std::make_unique<GenMatrixD>(n, 1, 0); }

// One array of `count` empty 0 x 0 matrices, or null when count is 0.
template <class M>
std::unique_ptr<M[]> newEmptyBlocks(int count) {
  return count != 0 ? std::make_unique<M[]>(count) : nullptr;
}

template <class M>
std::unique_ptr<M[]> newBlocks(int count, const int* sizes) {
  std::unique_ptr<M[]> blocks = newEmptyBlocks<M>(count);
  for (int i = 0; i < count; ++i) makeSquare(blocks[i], sizes[i]);
  return blocks;
}

}  // namespace

BlockDiagonalMatrix::BlockDiagonalMatrix(int flagValue)
    : diagonal(newDiagonal(0)), blocks(), nblocks(0), flag(flagValue) {}

BlockDiagonalMatrix::BlockDiagonalMatrix(int count, const int* sizes, int diagLength, int flagValue)
    : diagonal(newDiagonal(diagLength)),
      blocks(newBlocks<SymMatrixD>(count, sizes)),
      nblocks(count),
      flag(flagValue) {}

BlockDiagonalMatrix& BlockDiagonalMatrix::operator=(const BlockDiagonalMatrix& source) {
  if (this == &source) return *this;
  diagonal->Share(*source.diagonal);
  if (nblocks != source.nblocks) {
    blocks.reset();  // the old blocks release their storage, last to first
    nblocks = source.nblocks;
    blocks = newEmptyBlocks<SymMatrixD>(nblocks);
  }
  for (int i = 0; i < nblocks; ++i) blocks[i].Share(source.blocks[i]);
  return *this;
}

void BlockDiagonalMatrix::SetIdentity() {
  if (DiagonalLength() != 0) diagonal->Fill(1.0);
  for (int b = 0; b < nblocks; ++b) {
    SymMatrixD& block = blocks[b];
    block.Fill(0.0);
    for (int j = 0; j < block.Rows(); ++j) block(j, j) = 1.0;
  }
}

void identityBlockDiagonal(int nblocks, const int* sizes, int diagLength, BlockDiagonalMatrix& target) {
  {
    // Once the fresh matrix is gone, target is the only holder of its storage.
    const BlockDiagonalMatrix fresh(nblocks, sizes, diagLength, 0);
    target = fresh;
  }
  target.SetIdentity();
}

GenBlockDiagonalMatrix::GenBlockDiagonalMatrix(int count, const int* sizes, int diagLength, int flagValue)
    : diagonal(newDiagonal(diagLength)),
      blocks(newBlocks<GenMatrixD>(count, sizes)),
      nblocks(count),
      flag(flagValue) {}

GenBlockDiagonalMatrix::GenBlockDiagonalMatrix(const GenBlockDiagonalMatrix& source, int flagValue)
    : diagonal(std::make_unique<GenMatrixD>(*source.diagonal)),
      blocks(newEmptyBlocks<GenMatrixD>(source.nblocks)),
      nblocks(source.nblocks),
      flag(flagValue) {
  for (int i = 0; i < nblocks; ++i) blocks[i].Copy(source.blocks[i]);
}

GenBlockDiagonalMatrix::GenBlockDiagonalMatrix(GenBlockDiagonalMatrix&& source)
    : diagonal(std::exchange(source.diagonal, newDiagonal(0))),
      blocks(std::move(source.blocks)),
      nblocks(std::exchange(source.nblocks, 0)),
      flag(source.flag) {}

GenBlockDiagonalMatrix transpose(const GenBlockDiagonalMatrix& source) {
  const int count = source.BlockCount();
  std::vector<int> orders(count);
  for (int i = 0; i < count; ++i) orders[i] = source.Block(i).Rows();
  GenBlockDiagonalMatrix result(count, orders.data(), source.DiagonalLength(), 0);
  result.Diagonal().Copy(source.Diagonal());
  for (int i = 0; i < count; ++i) transposeGen(source.Block(i), result.Block(i));
  return result;
}
