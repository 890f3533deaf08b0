#include "equality_basis.h"

EqualityBasis::EqualityBasis(int cols, const std::vector<Row>& rowList)
    : rows(static_cast<int>(rowList.size())), cols(cols), columnStart(cols + 1, 0) {
  for (const Row& row : rowList)
    for (const std::pair<int, double>& entry : row)
      if (entry.second != 0.0) ++columnStart[entry.first + 1];
  for (int k = 0; k < cols; ++k) columnStart[k + 1] += columnStart[k];
  rowOf.resize(columnStart[cols]);
  valueOf.resize(columnStart[cols]);
  std::vector<int> next(columnStart.begin(), columnStart.end() - 1);
  // Rows in ascending order, so every column's entries come out sorted.
  for (int i = 0; i < rows; ++i)
    for (const std::pair<int, double>& entry : rowList[i])
      if (entry.second != 0.0) {
        const int e = next[entry.first]++;
        rowOf[e] = i;
        valueOf[e] = entry.second;
      }
}

std::vector<int> EqualityBasis::RowCounts() const {
  std::vector<int> counts(rows, 0);
  for (int r : rowOf) ++counts[r];
  return counts;
}
