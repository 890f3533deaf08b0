// Factorisations and dense solves through LAPACK.
//
// The factor objects (QR with column pivoting, LU with partial pivoting,
// Cholesky) are built on one matrix, either sharing its storage (so the
// factorisation lands in the caller's matrix) or on a private copy, then
// factored once and read, applied or inverted. The free functions make and
// release their own copies and work arrays.
//
// Nothing here checks shapes or prints: callers check the sizes stated with
// each operation and turn the returned LAPACK status (0 success, i > 0 a
// numerical failure) into their own messages. An operand without rows or
// columns never reaches LAPACK, which would reject it and stop the process.
#ifndef VARNEL_FACTOR_H
#define VARNEL_FACTOR_H

#include "gen_matrix.h"
#include "shared_array.h"
#include "tri_matrix.h"

// QR factorisation with column pivoting, A P = Q R, of an m x n matrix.
class QRFactor {
 public:
  // share nonzero: factor A's own storage; 0: factor a private copy.
  // tau starts as max(m, n) zeros and the pivots as n zeros (every column
  // free to move).
  QRFactor(const GenMatrixD& A, int share);
  QRFactor(const QRFactor&) = delete;
  QRFactor& operator=(const QRFactor&) = delete;

  // Leaves R on and above the diagonal, the reflectors below it, their
  // min(m, n) scalar factors at the head of tau, and in pivot j the 1-based
  // column of A standing in column j of A P. A nonzero pivot on entry fixes
  // that column to the front; Factor does not reset the pivots.
  int Factor();
  // C := op(Q) C (side 'L') or C op(Q) (side 'R'); op(Q) = Q' for trans
  // 'T', Q for 'N'. The order of Q is the factored matrix's row count.
  int ApplyQ(GenMatrixD& C, char side, char trans) const;

  GenMatrixD& Matrix() { return matrix; }
  const GenMatrixD& Matrix() const { return matrix; }
  GenMatrixD& Tau() { return tau; }
  const GenMatrixD& Tau() const { return tau; }
  SharedArray<LapackInt>& Pivots() { return pivots; }
  const SharedArray<LapackInt>& Pivots() const { return pivots; }

 private:
  GenMatrixD matrix;
  GenMatrixD tau;
  SharedArray<LapackInt> pivots;
};

// LU factorisation with partial pivoting, A = P L U, of an m x n matrix.
class LUFactor {
 public:
  // share as for QRFactor; the pivots start as m zeros (one per row).
  LUFactor(const GenMatrixD& A, int share);
  LUFactor(const LUFactor&) = delete;
  LUFactor& operator=(const LUFactor&) = delete;

  // L (unit diagonal, not stored) below the diagonal, U on and above, the
  // row interchanges in the first min(m, n) pivots. i > 0: U(i, i) (1-based)
  // is exactly zero; the factorisation is complete all the same.
  int Factor();
  // After a successful Factor of a square matrix, replaces it by its
  // inverse. i > 0: U(i, i) is zero and no inverse is computed.
  int Invert();

  GenMatrixD& Matrix() { return matrix; }
  SharedArray<LapackInt>& Pivots() { return pivots; }

 private:
  GenMatrixD matrix;
  SharedArray<LapackInt> pivots;
};

// Cholesky factorisation A = R' R of a symmetric positive definite matrix
// kept by its upper triangle.
class CholeskyFactor {
 public:
  // The factored matrix is marked shallow, so assigning it to a general
  // matrix hands over its storage. share nonzero: A's storage; 0: a private
  // copy of A's upper triangle (the lower part of that copy is never set).
  CholeskyFactor(const SymMatrixD& A, int share);
  CholeskyFactor(const CholeskyFactor&) = delete;
  CholeskyFactor& operator=(const CholeskyFactor&) = delete;

  // R replaces the upper triangle; the strictly lower part is neither read
  // nor written. k > 0: the leading minor of order k is not positive
  // definite and the factorisation stopped there.
  int Factor();

  SymMatrixD& Matrix() { return matrix; }
  char* Uplo() { return &uplo; }

 private:
  SymMatrixD matrix;
  char uplo;
};

// Solves op(A) X = B in place of B for a square A (LU of a copy of A). The
// result is the status of the solve step: the factorisation is not
// examined, so a singular A gives non-finite entries in B and still 0.
int solveLinear(const GenMatrixD& A, GenMatrixD& B, char trans);

// X := the least-squares solution of op(A) X = B when op(A) has at least as
// many rows as columns, the minimum-norm solution otherwise. X must already
// be (cols of op(A)) x cols(B). A is overwritten by its factorisation.
// Returns LAPACK's status; i > 0 means op(A) is rank deficient, and X is
// then filled with NaN.
int solveLeastSquaresInPlace(GenMatrixD& A, const GenMatrixD& B, GenMatrixD& X, char trans);
// The same on a private copy of A, which is left unchanged.
int solveLeastSquares(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& X, char trans);

// Eigenvalues of a square A (destroyed) into the n x 2 W: real parts in
// column 0, imaginary parts in column 1; a complex pair stands in two
// consecutive rows, the positive imaginary part first. i > 0: the QR
// algorithm failed and only eigenvalues i+1..n (1-based) are valid.
int computeEigenvalues(GenMatrixD& A, GenMatrixD& W);
// The same, with the right eigenvectors in the n x n V: column j for a real
// eigenvalue j; for a complex pair j, j+1, columns j and j+1 hold the real
// and imaginary parts of the eigenvector of eigenvalue j.
int computeEigenvectors(GenMatrixD& A, GenMatrixD& W, GenMatrixD& V);

// The elements the routines above make for themselves, for the memory gate
// to pass first (an int counting as intsAsElements): solveLinear the LU
// copy of A and its pivots; solveLeastSquares the copy of A, DGELS's work
// array and room for the max(m, n) x nrhs solution; LUFactor on a copy of
// A with Invert the copy, the pivots and DGETRI's work array; and
// computeEigenvalues or computeEigenvectors on A their work array.
double solveLinearWorkCount(const GenMatrixD& A);
double solveLeastSquaresWorkCount(const GenMatrixD& A, int nrhs, char trans);
double inverseWorkCount(const GenMatrixD& A);
double eigenvalueWorkCount(const GenMatrixD& A);
double eigenvectorWorkCount(const GenMatrixD& A);

// LAPACK's optimal block size (ILAENV, ISPEC 1) for routine name with
// options opts on A's sizes; sizes the work arrays.
int lapackBlockSize(const char* name, const char* opts, const GenMatrixD& A);

#endif
