#include "subscripts.h"

#include "report.h"

namespace {

// Element k of a subscript, in column-major order.
double elementAt(const Value& subscript, int k) {
  return subscript.IsScalar() ? *subscript.Scalar() : (*subscript.Matrix())[k];
}

// The 0-based row or column that x selects in a dimension of `size`, or -1
// after reporting an x out of range. The range test comes before the
// conversion, so a NaN or a huge x is never converted.
int selected(double x, int size) {
  if (x >= 1.0 && x <= static_cast<double>(size)) return static_cast<int>(x) - 1;
  reportError("Subscript out of range.");
  return -1;
}

}  // namespace

int subscriptIndices(const Value& rowSubscript, const Value& columnSubscript, const Value& target,
                     SharedArray<int>& indices) {
  const int rowCount = rowSubscript.ElementCount();
  const int columnCount = columnSubscript.ElementCount();
  const int rows = target.Rows();
  const int cols = target.Cols();
  indices.Resize(rowCount * columnCount);
  int next = 0;
  if (rowCount == 1 && columnCount == 1) {
    const int j = selected(elementAt(columnSubscript, 0), cols);
    if (j < 0) return 1;
    const int i = selected(elementAt(rowSubscript, 0), rows);
    if (i < 0) return 1;
    indices[0] = i + j * rows;
  } else if (rowCount == 1) {
    const int i = selected(elementAt(rowSubscript, 0), rows);
    if (i < 0) return 1;
    for (int b = 0; b < columnCount; ++b) {
      const int j = selected(elementAt(columnSubscript, b), cols);
      if (j < 0) return 1;
      indices[next++] = i + j * rows;
    }
  } else if (columnCount == 1) {
    const int j = selected(elementAt(columnSubscript, 0), cols);
    if (j < 0) return 1;
    for (int a = 0; a < rowCount; ++a) {
      const int i = selected(elementAt(rowSubscript, a), rows);
      if (i < 0) return 1;
      indices[next++] = i + j * rows;
    }
  } else {
    for (int b = 0; b < columnCount; ++b) {
      const int j = selected(elementAt(columnSubscript, b), cols);
      if (j < 0) return 1;
      for (int a = 0; a < rowCount; ++a) {
        const int i = selected(elementAt(rowSubscript, a), rows);
        if (i < 0) return 1;
        indices[next++] = i + j * rows;
      }
    }
  }
  return 0;
}

int columnSubscriptIndices(const Value& columnSubscript, const Value& target, SharedArray<int>& indices) {
  const int columnCount = columnSubscript.ElementCount();
  const int rows = target.Rows();
  indices.Resize(rows * columnCount);
  int next = 0;
  for (int b = 0; b < columnCount; ++b) {
    const int j = selected(elementAt(columnSubscript, b), target.Cols());
    if (j < 0) return 1;
    for (int k = 0; k < rows; ++k) indices[next++] = j * rows + k;
  }
  return 0;
}

int rowSubscriptIndices(const Value& rowSubscript, const Value& target, SharedArray<int>& indices) {
  const int rowCount = rowSubscript.ElementCount();
  const int rows = target.Rows();
  const int cols = target.Cols();
  indices.Resize(rowCount * cols);
  if (rowCount == 1) {
    const int i = selected(elementAt(rowSubscript, 0), rows);
    if (i < 0) return 1;
    for (int k = 0; k < cols; ++k) indices[k] = k * rows + i;
    return 0;
  }
  int next = 0;
  for (int k = 0; k < cols; ++k) {
    for (int a = 0; a < rowCount; ++a) {
      const int i = selected(elementAt(rowSubscript, a), rows);
      if (i < 0) return 1;
      indices[next++] = k * rows + i;
    }
  }
  return 0;
}
