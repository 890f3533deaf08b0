#include "affine_coefficients.h"

#include "value.h"

namespace {

// A column of a left factor, a row of a right factor, or a scaled unit
// vector where the factor is an identity or a scalar.
struct FactorVector {
  const double* data = nullptr;  // null: the unit vector at `unit`
  int stride = 1;
  int length = 0;
  int unit = 0;
  double scale = 1.0;

  int First() const { return data != nullptr ? 0 : unit; }
  int End() const { return data != nullptr ? length : unit + 1; }
  double At(int i) const { return data != nullptr ? data[i * stride] : scale; }
};

// op(E) = e_a e_b' of the unit entry, met by the left factor: L(:, a), or
// l e_a for a scalar l or no factor (length: the rows of op(X)). 0 when the
// factor does not fit.
int leftVector(const VMatTerm& term, int a, int opRows, FactorVector& u) {
  u = FactorVector();
  u.length = opRows;
  u.unit = a;
  if (term.leftIsIdentity) return 1;
  if (term.left.IsScalar()) {
    u.scale = *term.left.Scalar();
    return 1;
  }
  if (!term.left.IsMatrix() || term.left.Matrix()->Cols() != opRows) return 0;
  const GenMatrixD& L = *term.left.Matrix();
  u.data = L.Data() + a * L.Rows();
  u.length = L.Rows();
  return 1;
}

// The same on the right: R(b, :), or r e_b'.
int rightVector(const VMatTerm& term, int b, int opCols, FactorVector& w) {
  w = FactorVector();
  w.length = opCols;
  w.unit = b;
  if (term.rightIsIdentity) return 1;
  if (term.right.IsScalar()) {
    w.scale = *term.right.Scalar();
    return 1;
  }
  if (!term.right.IsMatrix() || term.right.Matrix()->Rows() != opCols) return 0;
  const GenMatrixD& R = *term.right.Matrix();
  w.data = R.Data() + b;
  w.stride = R.Rows();
  w.length = R.Cols();
  return 1;
}

// Where the coefficients of one unknown go: down column `column` of out from
// row firstRow, the block's entries row by row. A 1 x 1 term value in a
// larger block stands on every entry, as the block's value reads it.
struct CoefficientColumn {
  GenMatrixD& out;
  int firstRow;
  int column;
  int blockRows;
  int blockCols;

  double& Entry(int i, int j) const { return out(firstRow + i * blockCols + j, column); }
  void AddEverywhere(double s) const {
    for (int e = 0; e < blockRows * blockCols; ++e) out(firstRow + e, column) += s;
  }
};

// The coefficients of a term on a 1 x 1 variable: the product of its factors.
void addScalarVariableTerm(const VMatTerm& term, const CoefficientColumn& target) {
  Value k(1.0);
  if (!term.leftIsIdentity) k = term.left;
  if (!term.rightIsIdentity) k = multiplyValues(k, term.right);
  if (term.symmetric) k = addValues(k, transposeValue(k));
  if (k.IsScalar()) {
    target.AddEverywhere(*k.Scalar());
  } else if (k.IsMatrix() && k.Rows() == target.blockRows && k.Cols() == target.blockCols) {
    const GenMatrixD& m = *k.Matrix();
    for (int i = 0; i < m.Rows(); ++i)
      for (int j = 0; j < m.Cols(); ++j) target.Entry(i, j) += m(i, j);
  }
}

// The coefficients of entry (a, b) of op(X) in a term on a matrix variable:
// the outer product u w' of the factor vectors (plus its transpose when the
// term is symmetric). Only the nonzero entries of u and w are visited.
void addOuterProduct(const FactorVector& u, const FactorVector& w, int symmetric, const CoefficientColumn& target) {
  if (u.length * w.length == 1) {
    const double s = u.At(u.First()) * w.At(w.First());
    target.AddEverywhere(symmetric ? 2.0 * s : s);
    return;
  }
  if (u.length != target.blockRows || w.length != target.blockCols) return;
  if (symmetric && u.length != w.length) return;
  for (int i = u.First(); i < u.End(); ++i) {
    const double ui = u.At(i);
    if (ui == 0.0) continue;
    for (int j = w.First(); j < w.End(); ++j) {
      const double v = ui * w.At(j);
      target.Entry(i, j) += v;
      if (symmetric) target.Entry(j, i) += v;
    }
  }
}

}  // namespace

void addTermCoefficients(const VMatTerm& term, const GenMatrixD& X, int blockRows, int blockCols, GenMatrixD& out,
                         int firstRow, int firstColumn, const std::vector<int>* columnOf) {
  auto column = [&](int unknown) { return columnOf != nullptr ? (*columnOf)[unknown] : unknown; };
  const int rows = X.Rows();
  const int cols = X.Cols();
  if (rows * cols == 1) {
    if (column(firstColumn) >= 0)
      addScalarVariableTerm(term, {out, firstRow, column(firstColumn), blockRows, blockCols});
    return;
  }
  const int opRows = term.transposed ? cols : rows;
  const int opCols = term.transposed ? rows : cols;
  FactorVector u;
  FactorVector w;
  for (int c = 0; c < cols; ++c) {
    for (int r = 0; r < rows; ++r) {
      const int a = term.transposed ? c : r;
      const int b = term.transposed ? r : c;
      if (!leftVector(term, a, opRows, u) || !rightVector(term, b, opCols, w)) return;
      const int target = column(firstColumn + c * rows + r);
      if (target >= 0) addOuterProduct(u, w, term.symmetric, {out, firstRow, target, blockRows, blockCols});
    }
  }
}
