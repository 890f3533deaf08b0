#include "block_eval.h"

#include <algorithm>

#include "kernels.h"

namespace {

// A rows x cols region of a column-major array with column stride ld; with
// upperOnly set only its entries on and above the diagonal are written.
struct Region {
  double* data;
  int ld;
  int rows;
  int cols;
  int upperOnly;
};

// A term's value: scale * S(op(M)), op(M) = M' when transposed, S(P) = P + P'
// when symmetric. A null M stands for the 1 x 1 matrix [1].
struct TermValue {
  const double* data;
  int ld;
  int rows;  // of M
  int cols;
  int transposed;
  int symmetric;
  double scale;
};

void useMatrix(TermValue& value, const GenMatrixD& M, int transposed) {
  value.data = M.Data();
  value.ld = M.Rows();
  value.rows = M.Rows();
  value.cols = M.Cols();
  value.transposed = transposed;
}

// Forms the products the term needs in its scratch views; factors and
// variables that enter alone are read in place, scalars go to the scale.
TermValue formTermValue(const ReducedTerm& term, const GenMatrixD* variables) {
  TermValue value{nullptr, 1, 1, 1, 0, term.symmetric, term.FactorScale()};
  const GenMatrixD& X = variables[term.variable];
  const int lm = term.HasLeftMatrix();
  const int rm = term.HasRightMatrix();
  if (X.Rows() == 1 && X.Cols() == 1) {
    value.scale *= X[0];
    if (lm && rm) {
      multiplyGen(term.left, term.right, term.product);
      useMatrix(value, term.product, 0);
    } else if (lm) {
      useMatrix(value, term.left, 0);
    } else if (rm) {
      useMatrix(value, term.right, 0);
    }
    return value;
  }
  const int t = term.transposed;
  if (lm && rm) {
    multiplyGenT(term.left, X, term.firstProduct, 0, t);
    multiplyGen(term.firstProduct, term.right, term.product);
    useMatrix(value, term.product, 0);
  } else if (lm) {
    multiplyGenT(term.left, X, term.product, 0, t);
    useMatrix(value, term.product, 0);
  } else if (rm) {
    multiplyGenT(X, term.right, term.product, t, 0);
    useMatrix(value, term.product, 0);
  } else {
    useMatrix(value, X, t);
  }
  return value;
}

int rowsWritten(const Region& region, int j, int rows) { return region.upperOnly ? std::min(j + 1, rows) : rows; }

void clearRegion(const Region& region) {
  for (int j = 0; j < region.cols; ++j) {
    double* out = region.data + j * region.ld;
    const int end = rowsWritten(region, j, region.rows);
    for (int i = 0; i < end; ++i) out[i] = 0.0;
  }
}

// Adds scale * S(op(M)) over the first rows x cols entries of the region.
template <bool Transposed, bool Symmetric>
void addMatrixValue(const Region& region, const TermValue& value, int rows, int cols) {
  const double* m = value.data;
  const int ld = value.ld;
  const double scale = value.scale;
  for (int j = 0; j < cols; ++j) {
    double* out = region.data + j * region.ld;
    const int end = rowsWritten(region, j, rows);
    for (int i = 0; i < end; ++i) {
      double p = Transposed ? m[j + i * ld] : m[i + j * ld];
      if (Symmetric) p += Transposed ? m[i + j * ld] : m[j + i * ld];
      out[i] += scale * p;
    }
  }
}

void addTermValue(const Region& region, const TermValue& value) {
  const int valueRows = value.transposed ? value.cols : value.rows;
  const int valueCols = value.transposed ? value.rows : value.cols;
  if (valueRows == 1 && valueCols == 1) {
    // A scalar: that number times the identity of the region.
    double s = value.data != nullptr ? value.data[0] : 1.0;
    if (value.symmetric) s += s;
    const double add = value.scale * s;
    const int diagonal = std::min(region.rows, region.cols);
    for (int k = 0; k < diagonal; ++k) region.data[k + k * region.ld] += add;
    return;
  }
  // Only where value and region overlap; S(P) needs P's square part.
  int rows = std::min(region.rows, valueRows);
  int cols = std::min(region.cols, valueCols);
  if (value.symmetric) {
    const int square = std::min(valueRows, valueCols);
    rows = std::min(rows, square);
    cols = std::min(cols, square);
  }
  if (value.transposed) {
    if (value.symmetric)
      addMatrixValue<true, true>(region, value, rows, cols);
    else
      addMatrixValue<true, false>(region, value, rows, cols);
  } else {
    if (value.symmetric)
      addMatrixValue<false, true>(region, value, rows, cols);
    else
      addMatrixValue<false, false>(region, value, rows, cols);
  }
}

// The region := the value of the term list.
void evaluateTermList(const TermList& list, const Region& region) {
  clearRegion(region);
  for (int k = 0; k < list.NumTerms(); ++k) {
    const ReducedTerm& term = list.Term(k);
    if (term.variable >= 0) addTermValue(region, formTermValue(term, list.Variables()));
  }
}

// out becomes n x n, in storage of its own.
double* shapeOutput(SymMatrixD& out, int n) {
  out.AsGenMatrixD().Resize(n, n);
  return out.Data();
}

void evalTermBlockRegion(const TermBlock& block, SymMatrixD& out, int upperOnly) {
  const int d = block.Size();
  double* data = shapeOutput(out, d);
  evaluateTermList(block, Region{data, d, d, d, upperOnly});
}

}  // namespace

void evalTermBlock(const TermBlock& block, SymMatrixD& out) { evalTermBlockRegion(block, out, 0); }

void evalTermBlockUpper(const TermBlock& block, SymMatrixD& out) { evalTermBlockRegion(block, out, 1); }

void evalBlockLmi(const BlockLmi& block, SymMatrixD& out) {
  const int size = block.Size();
  double* data = shapeOutput(out, size);
  clearRegion(Region{data, size, size, size, 0});
  for (int i = 0; i < block.N(); ++i) {
    const int o = block.RowOffset(i);
    const int h = block.Height(i);
    evaluateTermList(block.SubBlockAt(i, i), Region{data + o + o * size, size, h, h, 0});
  }
}

void evalBlockLmiUpper(const BlockLmi& block, SymMatrixD& out) {
  const int size = block.Size();
  double* data = shapeOutput(out, size);
  for (int i = 0; i < block.N(); ++i) {
    const int oi = block.RowOffset(i);
    const int hi = block.Height(i);
    evaluateTermList(block.SubBlockAt(i, i), Region{data + oi + oi * size, size, hi, hi, 1});
    for (int j = i + 1; j < block.N(); ++j) {
      const int oj = block.RowOffset(j);
      evaluateTermList(block.SubBlockAt(j, i), Region{data + oi + oj * size, size, hi, block.Height(j), 0});
    }
  }
}
