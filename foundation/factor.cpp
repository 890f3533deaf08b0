#include "factor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "allocation.h"
#include "lapack.h"

namespace {

// One-letter options are compared as LAPACK compares them, regardless of
// case, so that the sizes computed here agree with what LAPACK does.
bool isOption(char option, char upper) { return option == upper || option == upper - 'A' + 'a'; }

// Work arrays are made unset, as LAPACK writes before it reads them.
GenMatrixD workArray(LapackInt length) { return GenMatrixD(length, 1); }

// Writes v into the leading rows x cols block of X.
void fillBlock(GenMatrixD& X, int rows, int cols, double v) {
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) X(i, j) = v;
}

// Copies the leading rows x cols block of `from` into `to`.
void copyBlock(const GenMatrixD& from, GenMatrixD& to, int rows, int cols) {
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) to(i, j) = from(i, j);
}

// The block-size query's option string and LAPACK's least work length per
// row of DGEEV, without and with the right vectors.
constexpr const char* kEigenvalueOptions = "NE";
constexpr const char* kEigenvectorOptions = "SV";
constexpr LapackInt kEigenvalueWorkFactor = 3;
constexpr LapackInt kEigenvectorWorkFactor = 4;

// The work length DGEEV gets for the square A.
LapackInt eigenWorkLength(const GenMatrixD& A, const char* opts, LapackInt minimumFactor) {
  const LapackInt n = A.Rows();
  return std::max((lapackBlockSize("DGEHRD", opts, A) + 2) * n, minimumFactor * n);
}

// The work length DGELS gets for op(A) X = B with nrhs columns in B: the
// block-size length, but never below LAPACK's least.
LapackInt leastSquaresWorkLength(const GenMatrixD& A, LapackInt nrhs, char trans) {
  const LapackInt m = A.Rows();
  const LapackInt n = A.Cols();
  const LapackInt mn = std::min(m, n);
  const char options[2] = {trans, '\0'};
  const LapackInt nb = lapackBlockSize("DGELS", options, A);
  return std::max(mn + std::max({m, n, nrhs}) * nb, mn + std::max(mn, nrhs));
}

// The work length DGETRI gets for the square A.
LapackInt inverseWorkLength(const GenMatrixD& A) { return A.Cols() * std::max(lapackBlockSize("DGETRI", "", A), 1); }

// DGEEV on the square A: values into W, and right vectors into V when
// vectors is nonzero. opts and minimumFactor are those of eigenWorkLength.
int runDgeev(GenMatrixD& A, GenMatrixD& W, GenMatrixD* vectors, const char* opts, LapackInt minimumFactor) {
  const LapackInt n = A.Rows();
  LapackInt info = 0;
  if (n == 0) return info;  // no eigenvalue to compute
  // DGEEV's balancing stops the process on a NaN and an infinity gives
  // nothing meaningful: report that no eigenvalue converged instead.
  for (int k = 0; k < A.Size(); ++k)
    if (!std::isfinite(A[k])) return n;
  const LapackInt lwork = eigenWorkLength(A, opts, minimumFactor);
  GenMatrixD work = workArray(lwork);
  const char jobvl = 'N';
  const char jobvr = vectors != nullptr ? 'V' : 'N';
  // The left vectors are never asked for, and neither are the right ones
  // without `vectors`: the work array stands in for the unreferenced arrays.
  double* right = vectors != nullptr ? vectors->Data() : work.Data();
  dgeev_(&jobvl, &jobvr, &n, A.Data(), &n, W.Data(), W.Data() + n, work.Data(), &n, right, &n, work.Data(), &lwork,
         &info, 1, 1);
  return info;
}

}  // namespace

int lapackBlockSize(const char* name, const char* opts, const GenMatrixD& A) {
  const LapackInt ispec = 1;
  const LapackInt n1 = A.Rows();
  const LapackInt n2 = A.Cols();
  const LapackInt unused = -1;
  return ilaenv_(&ispec, name, opts, &n1, &n2, &unused, &unused, std::strlen(name), std::strlen(opts));
}

QRFactor::QRFactor(const GenMatrixD& A, int share)
    : matrix(0), tau(std::max(A.Rows(), A.Cols()), 1, 0.0, 0), pivots(A.Cols(), 0) {
  if (share)
    matrix.Share(A);
  else
    matrix.Copy(A);
}

int QRFactor::Factor() {
  const LapackInt m = matrix.Rows();
  const LapackInt n = matrix.Cols();
  LapackInt info = 0;
  if (n == 0) return info;  // no column: no reflector and no pivot
  // A matrix without rows has no reflector either, but its pivots are still
  // set: LAPACK accepts M = 0 with a leading dimension of at least 1.
  const LapackInt lda = std::max(m, 1);
  GenMatrixD work = workArray(3 * n);
  dgeqpf_(&m, &n, matrix.Data(), &lda, pivots.Data(), tau.Data(), work.Data(), &info);
  return info;
}

int QRFactor::ApplyQ(GenMatrixD& C, char side, char trans) const {
  const LapackInt m = C.Rows();
  const LapackInt n = C.Cols();
  const LapackInt k = std::min(matrix.Rows(), matrix.Cols());
  LapackInt info = 0;
  // Nothing to transform, or Q is the identity (no reflector).
  if (m == 0 || n == 0 || k == 0) return info;
  const LapackInt lda = matrix.Rows();  // the order of Q
  // DORMQR needs at least the length of C's side that Q does not act on.
  const LapackInt workFactor = isOption(side, 'L') ? n : m;
  const char options[3] = {side, trans, '\0'};
  const LapackInt lwork = std::max(lapackBlockSize("DORMQR", options, matrix), 1) * workFactor;
  GenMatrixD work = workArray(lwork);
  dormqr_(&side, &trans, &m, &n, &k, matrix.Data(), &lda, tau.Data(), C.Data(), &m, work.Data(), &lwork, &info, 1,
          1);
  return info;
}

LUFactor::LUFactor(const GenMatrixD& A, int share) : matrix(0), pivots(A.Rows(), 0) {
  if (share)
    matrix.Share(A);
  else
    matrix.Copy(A);
}

int LUFactor::Factor() {
  const LapackInt m = matrix.Rows();
  const LapackInt n = matrix.Cols();
  LapackInt info = 0;
  if (m == 0 || n == 0) return info;  // nothing to factor
  dgetf2_(&m, &n, matrix.Data(), &m, pivots.Data(), &info);
  return info;
}

int LUFactor::Invert() {
  const LapackInt n = matrix.Cols();
  LapackInt info = 0;
  if (n == 0) return info;  // the empty matrix is its own inverse
  const LapackInt lwork = inverseWorkLength(matrix);
  GenMatrixD work = workArray(lwork);
  dgetri_(&n, matrix.Data(), &n, pivots.Data(), work.Data(), &lwork, &info);
  return info;
}

CholeskyFactor::CholeskyFactor(const SymMatrixD& A, int share) : matrix(0, 1), uplo(A.Uplo()) {
  if (share)
    matrix.Share(A);
  else
    matrix = A;
}

int CholeskyFactor::Factor() {
  const LapackInt n = matrix.Cols();
  LapackInt info = 0;
  if (n == 0) return info;  // nothing to factor
  dpotf2_(&uplo, &n, matrix.Data(), &n, &info, 1);
  return info;
}

int solveLinear(const GenMatrixD& A, GenMatrixD& B, char trans) {
  const LapackInt m = A.Rows();
  const LapackInt n = A.Cols();
  const LapackInt nrhs = B.Cols();
  const LapackInt ldb = B.Rows();
  LapackInt info = 0;
  if (n == 0 || nrhs == 0) return info;  // no unknown or no right-hand side
  GenMatrixD factored(A);
  SharedArray<LapackInt> pivots(m, 0);
  dgetf2_(&m, &n, factored.Data(), &m, pivots.Data(), &info);
  dgetrs_(&trans, &n, &nrhs, factored.Data(), &m, pivots.Data(), B.Data(), &ldb, &info, 1);
  return info;
}

int solveLeastSquaresInPlace(GenMatrixD& A, const GenMatrixD& B, GenMatrixD& X, char trans) {
  const LapackInt m = A.Rows();
  const LapackInt n = A.Cols();
  const LapackInt nrhs = B.Cols();
  const LapackInt solutionRows = isOption(trans, 'N') ? n : m;
  LapackInt info = 0;
  if (m == 0 || n == 0 || nrhs == 0) {
    // Without equations the minimum-norm solution is zero (and without
    // unknowns or right-hand sides X has no element to set).
    fillBlock(X, solutionRows, nrhs, 0.0);
    return info;
  }
  const LapackInt ldb = std::max(m, n);
  const LapackInt lwork = leastSquaresWorkLength(A, nrhs, trans);
  GenMatrixD work = workArray(lwork);
  // DGELS needs room for the max(m, n) rows of the solution; the rows below
  // B's are not read.
  GenMatrixD rhs(ldb, nrhs);
  copyBlock(B, rhs, B.Rows(), nrhs);
  dgels_(&trans, &m, &n, &nrhs, A.Data(), &m, rhs.Data(), &ldb, work.Data(), &lwork, &info, 1);
  if (info > 0)
    fillBlock(X, solutionRows, nrhs, std::numeric_limits<double>::quiet_NaN());  // rank deficient: no solution
  else
    copyBlock(rhs, X, solutionRows, nrhs);
  return info;
}

int solveLeastSquares(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& X, char trans) {
  GenMatrixD factored(A);
  return solveLeastSquaresInPlace(factored, B, X, trans);
}

int computeEigenvalues(GenMatrixD& A, GenMatrixD& W) {
  return runDgeev(A, W, nullptr, kEigenvalueOptions, kEigenvalueWorkFactor);
}

int computeEigenvectors(GenMatrixD& A, GenMatrixD& W, GenMatrixD& V) {
  return runDgeev(A, W, &V, kEigenvectorOptions, kEigenvectorWorkFactor);
}

double solveLinearWorkCount(const GenMatrixD& A) { return A.Size() + intsAsElements(A.Rows()); }

double solveLeastSquaresWorkCount(const GenMatrixD& A, int nrhs, char trans) {
  const double copy = A.Size();
  if (A.Rows() == 0 || A.Cols() == 0 || nrhs == 0) return copy;
  return copy + leastSquaresWorkLength(A, nrhs, trans) + elementCount(std::max(A.Rows(), A.Cols()), nrhs);
}

double inverseWorkCount(const GenMatrixD& A) { return A.Size() + intsAsElements(A.Rows()) + inverseWorkLength(A); }

double eigenvalueWorkCount(const GenMatrixD& A) {
  return eigenWorkLength(A, kEigenvalueOptions, kEigenvalueWorkFactor);
}

double eigenvectorWorkCount(const GenMatrixD& A) {
  return eigenWorkLength(A, kEigenvectorOptions, kEigenvectorWorkFactor);
}

int UTrMatrixD::Solve(GenMatrixD& B, char trans) const {
  const LapackInt n = matrix.Cols();
  const LapackInt nrhs = B.Cols();
  const LapackInt ldb = B.Rows();
  LapackInt info = 0;
  if (n == 0 || nrhs == 0) return info;  // nothing to solve
  const char uplo = 'U';
  const char diag = 'N';
  dtrtrs_(&uplo, &trans, &diag, &n, &nrhs, matrix.Data(), &n, B.Data(), &ldb, &info, 1, 1, 1);
  return info;
}
