#include "constraint_layout.h"

#include <cmath>

int packedLowerIndex(int start, int i, int j) { return start + i * (i + 1) / 2 + j; }

int lmiBlockRowCount(int n) { return (static_cast<int>(std::sqrt(8.0 * n + 1.0)) - 1) / 2; }

int lmiBlockCount(const List<int>& starts, int total, int k) {
  const ListNode<int>* start = starts.NodeAt(k);
  const int end = start->next != nullptr ? start->next->value : total;
  return end - start->value;
}

int lmiBlockCount(const std::vector<int>& starts, int total, int k) {
  const int end = k + 1 < static_cast<int>(starts.size()) ? starts[k + 1] : total;
  return end - starts[k];
}

int holdsScalarTerm(const VLmiBlock& block, HashTable<VarRecord>& vartbl) {
  const Value constant = lmiConstantPart(block);
  if (constant.IsScalar() && *constant.Scalar() != 0.0) return 1;
  for (int t = 1; t < block.NumTerms(); ++t)
    if (block[t].Eval(vartbl).IsScalar()) return 1;
  return 0;
}

const char* lmiBlockShapeError(const std::vector<VLmiBlock>& blocks, int b, BlockTrianglePosition at, int blockForm) {
  const VLmiBlock& block = blocks[b];
  if (at.col > 0 && block.Rows() != blocks[packedLowerIndex(0, at.row, 0)].Rows())
    return "LMI blocks have different number of rows.";
  if (at.col < at.row && block.Cols() != blocks[packedLowerIndex(0, at.row - 1, at.col)].Cols())
    return "LMI blocks have different number of colums.";
  if (at.OnDiagonal() && block.Rows() != block.Cols()) {
    if (blockForm) return "LMI diagonal blocks must be square.";
    if (block.Cols() != 1) return "LMI must be a square matrix or a column vector.";
  }
  return nullptr;
}

const char* lmiBlockError(const std::vector<VLmiBlock>& blocks, int b, BlockTrianglePosition at, int blockForm,
                          HashTable<VarRecord>& vartbl) {
  if (const char* shapeError = lmiBlockShapeError(blocks, b, at, blockForm)) return shapeError;
  if (at.col < at.row && isMatrixBlock(blocks[b]) && holdsScalarTerm(blocks[b], vartbl))
    return "LMI off-diagonal blocks must not have scalar terms.";
  return nullptr;
}
