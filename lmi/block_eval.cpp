#include "block_eval.h"

#include <algorithm>

#include "kernels.h"
#include "value_utils.h"

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

// A term's value: scale * S(P), P(i, j) = (pre * op(M)(i, j)) * post with
// op(M) = M' when transposed, S(P) = P + P' when symmetric. A null M stands
// for the 1 x 1 matrix [1]. The factors come in the order in which the
// value is defined (a 1 x 1 variable first multiplies the product of the
// factors, a 1 x 1 left factor multiplies op(X) before a right factor, the
// coefficient comes last), so that every element is rounded as that
// definition rounds it.
struct TermValue {
  const double* data;
  int ld;
  int rows;  // of M
  int cols;
  int transposed;
  int symmetric;
  double pre;
  double post;
  double scale;
};

void useMatrix(TermValue& value, const GenMatrixD& M, int transposed) {
  value.data = M.Data();
  value.ld = M.Rows();
  value.rows = M.Rows();
  value.cols = M.Cols();
  value.transposed = transposed;
}

// out := s * M, element by element.
void scaleInto(double s, const GenMatrixD& M, int transposed, GenMatrixD& out) {
  const int rows = out.Rows();
  const int cols = out.Cols();
  const int ld = M.Rows();
  const double* m = M.Data();
  double* o = out.Data();
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) o[i + j * rows] = s * (transposed ? m[j + i * ld] : m[i + j * ld]);
}

// L R, a 1 x 1 factor multiplying as a scalar.
void multiplyFactors(const GenMatrixD& L, const GenMatrixD& R, GenMatrixD& out) {
  if (isOneByOne(L)) {
    scaleInto(L[0], R, 0, out);
  } else if (isOneByOne(R)) {
    const double r = R[0];
    const int count = out.Rows() * out.Cols();
    for (int e = 0; e < count; ++e) out[e] = L[e] * r;
  } else {
    multiplyGen(L, R, out);
  }
}

// Forms the products the term needs in its scratch views; factors and
// variables that enter alone are read in place.
TermValue formTermValue(const ReducedTerm& term, const GenMatrixD* variables) {
  TermValue value{nullptr, 1, 1, 1, 0, term.symmetric, 1.0, 1.0, term.coefficient};
  const GenMatrixD& X = variables[term.variable];
  const int hasLeft = !term.leftIsIdentity;
  const int hasRight = !term.rightIsIdentity;
  if (isOneByOne(X)) {
    // x (L R), x L, x R or x.
    value.pre = X[0];
    if (hasLeft && hasRight) {
      multiplyFactors(term.left, term.right, term.product);
      useMatrix(value, term.product, 0);
    } else if (hasLeft) {
      useMatrix(value, term.left, 0);
    } else if (hasRight) {
      useMatrix(value, term.right, 0);
    }
    return value;
  }
  const int t = term.transposed;
  const int lm = term.HasLeftMatrix();
  const int rm = term.HasRightMatrix();
  if (hasLeft && rm) {
    // (L op(X)) R, or (l op(X)) R for a 1 x 1 left factor l.
    if (lm)
      multiplyGenT(term.left, X, term.firstProduct, 0, t);
    else
      scaleInto(term.left[0], X, t, term.firstProduct);
    multiplyGen(term.firstProduct, term.right, term.product);
    useMatrix(value, term.product, 0);
    return value;
  }
  if (lm) {
    multiplyGenT(term.left, X, term.product, 0, t);
    useMatrix(value, term.product, 0);
  } else if (rm) {
    multiplyGenT(X, term.right, term.product, t, 0);
    useMatrix(value, term.product, 0);
  } else {
    useMatrix(value, X, t);
    if (hasLeft) value.pre = term.left[0];
  }
  if (hasRight && !rm) value.post = term.right[0];
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

// The element (i, j) of P, read from op(M).
template <bool Transposed, bool Scaled>
inline double element(const TermValue& value, int i, int j) {
  const double m = Transposed ? value.data[j + i * value.ld] : value.data[i + j * value.ld];
  return Scaled ? (value.pre * m) * value.post : m;
}

// Adds scale * S(P) over the first rows x cols entries of the region.
template <bool Transposed, bool Symmetric, bool Scaled>
void addMatrixValue(const Region& region, const TermValue& value, int rows, int cols) {
  const double scale = value.scale;
  for (int j = 0; j < cols; ++j) {
    double* out = region.data + j * region.ld;
    const int end = rowsWritten(region, j, rows);
    for (int i = 0; i < end; ++i) {
      double p = element<Transposed, Scaled>(value, i, j);
      if (Symmetric) p += element<Transposed, Scaled>(value, j, i);
      out[i] += scale * p;
    }
  }
}

template <bool Transposed, bool Symmetric>
void addMatrixValue(const Region& region, const TermValue& value, int rows, int cols) {
  // Multiplying by 1.0 changes no element, so it is left out.
  if (value.pre == 1.0 && value.post == 1.0)
    addMatrixValue<Transposed, Symmetric, false>(region, value, rows, cols);
  else
    addMatrixValue<Transposed, Symmetric, true>(region, value, rows, cols);
}

void addTermValue(const Region& region, const TermValue& value) {
  const int valueRows = value.transposed ? value.cols : value.rows;
  const int valueCols = value.transposed ? value.rows : value.cols;
  if (valueRows == 1 && valueCols == 1) {
    // A scalar: that number times the identity of the region.
    double s = (value.pre * (value.data != nullptr ? value.data[0] : 1.0)) * value.post;
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
