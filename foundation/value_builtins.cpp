// The element-wise and numerical built-ins of the language on values.
#include <algorithm>
#include <cmath>
#include <limits>

#include "allocation.h"
#include "factor.h"
#include "lapack.h"
#include "tri_matrix.h"
#include "value.h"

namespace {

// Writes op(x) over the scalar or every element of the storage of v.
template <class Op>
void applyInPlace(Value& v, Op op) {
  if (v.IsScalar()) {
    op(*v.Scalar());
  } else if (v.IsMatrix()) {
    const GenMatrixD& M = *v.Matrix();
    for (int k = 0; k < M.Size(); ++k) op(M[k]);
  }
}

// The work length for DGESVD: what the linked LAPACK asks for in its
// workspace query, never below max(3k + K, 5k - 4) for k = min and K = max
// of the sizes.
LapackInt svdWorkLength(const char* jobu, const char* jobvt, LapackInt m, LapackInt n, GenMatrixD& A, GenMatrixD& S,
                        GenMatrixD& U, double* vt, LapackInt ldvt) {
  const LapackInt k = std::min(m, n);
  const LapackInt formula = std::max(3 * k + std::max(m, n), 5 * k - 4);
  const LapackInt query = -1;
  double optimal = 0.0;
  LapackInt info = 0;
  dgesvd_(jobu, jobvt, &m, &n, A.Data(), &m, S.Data(), U.Data(), &m, vt, &ldvt, &optimal, &query, &info, 1, 1);
  // The answer is a whole number held as a double; anything else (or one
  // beyond the int range) falls back on the formula.
  if (info != 0 || !(optimal >= formula && optimal <= std::numeric_limits<LapackInt>::max())) return formula;
  return static_cast<LapackInt>(optimal);
}

// Columns r..n-1 of the orthogonal U of the SVD of A' (its left singular
// vectors, the right ones of A), r being the number of leading singular
// values not below tol. Returns DGESVD's status; out changes only on 0.
int nullSpace(const GenMatrixD& A, Value& out, double tol) {
  GenMatrixD B = transpose(A);
  const LapackInt m = B.Rows();  // the columns of A
  const LapackInt n = B.Cols();
  const LapackInt k = std::min(m, n);
  GenMatrixD S(k, 1);
  GenMatrixD U(m, m);
  double unusedVt = 0.0;  // JOBVT 'N': never referenced
  const char jobu = 'A';
  const char jobvt = 'N';
  const LapackInt lwork = svdWorkLength(&jobu, &jobvt, m, n, B, S, U, &unusedVt, n);
  GenMatrixD work(lwork, 1);
  LapackInt info = 0;
  dgesvd_(&jobu, &jobvt, &m, &n, B.Data(), &m, S.Data(), U.Data(), &m, &unusedVt, &n, work.Data(), &lwork, &info, 1,
          1);
  if (info != 0) return 1;
  int rank = 0;
  while (rank < k && !(S[rank] < tol)) ++rank;  // a NaN counts as nonzero
  GenMatrixD basis(m, m - rank);
  for (int j = rank; j < m; ++j)
    for (int i = 0; i < m; ++i) basis(i, j - rank) = U(i, j);
  out = basis;
  return 0;
}

// The copy of in that LAPACK overwrites and the n x 2 eigenvalues.
double eigenBaseCount(const Value& in) { return in.ElementCount() + 2.0 * in.Rows(); }

}  // namespace

int sqrtValue(Value& v) {
  int status = 0;
  applyInPlace(v, [&status](double& x) {
    if (x < 0.0 || std::isnan(x))
      status = 1;
    else
      x = std::sqrt(x);
  });
  return status;
}

int invValue(const Value& in, Value& out) {
  if (in.IsScalar()) {
    out = 1.0 / *in.Scalar();
  } else if (in.IsMatrix()) {
    LUFactor lu(*in.Matrix(), 0);
    if (lu.Factor() != 0 || lu.Invert() != 0) return 1;
    out = lu.Matrix();
  } else {
    out.Release();
  }
  return 0;
}

double invElementCount(const Value& in) { return in.IsMatrix() ? inverseWorkCount(*in.Matrix()) : 0.0; }

int cholValue(const Value& in, Value& out) {
  if (in.IsScalar()) {
    out = std::sqrt(*in.Scalar());
  } else if (in.IsMatrix()) {
    SymMatrixD upper;
    upper.Share(*in.Matrix());
    CholeskyFactor cholesky(upper, 0);
    if (cholesky.Factor() != 0) return 1;
    GenMatrixD R(0);
    R = cholesky.Matrix().AsGenMatrixD();  // marked shallow: takes the factor's storage
    for (int j = 0; j < R.Cols(); ++j)
      for (int i = j + 1; i < R.Rows(); ++i) R(i, j) = 0.0;
    out = R;
  } else {
    out.Release();
  }
  return 0;
}

int nullValue(const Value& in, Value& out, double tol) {
  if (in.IsScalar()) {
    out = *in.Scalar() == 0.0 ? 1.0 : 0.0;
  } else if (in.IsMatrix()) {
    return nullSpace(*in.Matrix(), out, tol);
  } else {
    out.Release();
  }
  return 0;
}

int nullValueFits(const Value& in) {
  return isAllocatableCount(2.0 * elementCount(in.Cols(), in.Cols()) + elementCount(in.Rows(), in.Cols()));
}

double cholElementCount(const Value& in) { return in.IsMatrix() ? in.ElementCount() : 0.0; }

double eigElementCount(const Value& in) {
  if (!in.IsMatrix()) return 0.0;
  return eigenBaseCount(in) + in.Rows() + eigenvalueWorkCount(*in.Matrix());  // with the column of real parts
}

double eigvecElementCount(const Value& in) {
  if (!in.IsMatrix()) return 0.0;
  return eigenBaseCount(in) + in.ElementCount() + eigenvectorWorkCount(*in.Matrix());  // with the n x n vectors
}

int eigValue(const Value& in, Value& out) {
  out.DeepCopy(in);
  if (!out.IsMatrix()) return 0;
  const int n = out.Rows();
  GenMatrixD W(n, 2);
  GenMatrixD R(n, 1);
  if (computeEigenvalues(*out.Matrix(), W) != 0) return 1;
  // The sum never decreases, so while it stays below the bound every real
  // part up to i has been taken into R.
  const double bound = n * 1e-6;
  double total = 0.0;
  for (int i = 0; i < n; ++i) {
    total += std::fabs(W(i, 1));
    if (total < bound) R(i, 0) = W(i, 0);
  }
  if (total < bound)
    out = R;
  else
    out = W;
  return 0;
}

int eigvecValue(const Value& in, Value& out) {
  out.DeepCopy(in);
  if (out.IsScalar()) out = 1.0;
  if (!out.IsMatrix()) return 0;
  const int n = out.Rows();
  GenMatrixD W(n, 2);
  GenMatrixD V(n, n);
  if (computeEigenvectors(*out.Matrix(), W, V) != 0) return 1;
  out = V;
  return 0;
}

Value& notValue(Value& v) {
  applyInPlace(v, [](double& x) { x = x == 0.0 ? 1.0 : 0.0; });
  return v;
}

Value elementwiseValues(const Value& a, const Value& b, ElementwiseOp op) {
  Value result;
  if (a.IsEmpty() || b.IsEmpty()) return result;
  if (a.IsScalar() && b.IsScalar()) {
    result = op(*a.Scalar(), *b.Scalar());
    return result;
  }
  const GenMatrixD& shape = a.IsMatrix() ? *a.Matrix() : *b.Matrix();
  GenMatrixD R(shape.Rows(), shape.Cols());
  if (!b.IsMatrix()) {
    const double t = *b.Scalar();
    for (int k = 0; k < R.Size(); ++k) R[k] = op(shape[k], t);
  } else if (!a.IsMatrix()) {
    const double s = *a.Scalar();
    for (int k = 0; k < R.Size(); ++k) R[k] = op(s, shape[k]);
  } else {
    const GenMatrixD& N = *b.Matrix();
    for (int k = 0; k < R.Size(); ++k) R[k] = op(shape[k], N[k]);
  }
  result = R;
  return result;
}

double compareEq(double x, double y) { return x == y ? 1.0 : 0.0; }
double compareNe(double x, double y) { return x == y ? 0.0 : 1.0; }
double compareLt(double x, double y) { return x < y ? 1.0 : 0.0; }
double compareLe(double x, double y) { return x <= y ? 1.0 : 0.0; }
double compareGt(double x, double y) { return x > y ? 1.0 : 0.0; }
double compareGe(double x, double y) { return x >= y ? 1.0 : 0.0; }
double logicalAnd(double x, double y) { return x != 0.0 && y != 0.0 ? 1.0 : 0.0; }
double logicalOr(double x, double y) { return x != 0.0 || y != 0.0 ? 1.0 : 0.0; }

void findValue(const Value& in, Value& out) {
  if (in.IsScalar()) {
    if (*in.Scalar() != 0.0)
      out = 1.0;
    else
      out.Release();
    return;
  }
  if (!in.IsMatrix()) {
    out.Release();
    return;
  }
  const GenMatrixD& M = *in.Matrix();
  GenMatrixD indices(1, nonzeroCount(in));  // 1 x 0 is the empty value
  int next = 0;
  for (int i = 0; i < M.Rows(); ++i)
    for (int j = 0; j < M.Cols(); ++j)
      if (M(i, j) != 0.0) indices[next++] = j * M.Rows() + i + 1.0;
  out = indices;
}

int nonzeroCount(const Value& in) {
  if (in.IsScalar()) return *in.Scalar() != 0.0;
  if (!in.IsMatrix()) return 0;
  const GenMatrixD& M = *in.Matrix();
  int count = 0;
  for (int k = 0; k < M.Size(); ++k)
    if (M[k] != 0.0) ++count;
  return count;
}
