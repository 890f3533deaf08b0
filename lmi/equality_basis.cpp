#include "equality_basis.h"

EqualityBasis::EqualityBasis(const GenMatrixD& Z) : rows(Z.Rows()), cols(Z.Cols()) {
  columnStart.assign(1, 0);
  for (int k = 0; k < cols; ++k) {
    for (int i = 0; i < rows; ++i)
      if (Z(i, k) != 0.0) {
        rowOf.push_back(i);
        valueOf.push_back(Z(i, k));
      }
    columnStart.push_back(static_cast<int>(rowOf.size()));
  }
}

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

double EqualityBasis::operator()(int i, int k) const {
  for (int e = columnStart[k]; e < columnStart[k + 1]; ++e)
    if (rowOf[e] == i) return valueOf[e];
  return 0.0;
}

std::vector<int> EqualityBasis::RowCounts() const {
  std::vector<int> counts(rows, 0);
  for (int r : rowOf) ++counts[r];
  return counts;
}
