// Square matrices kept by one triangle of full n x n column-major storage:
// symmetric (upper triangle), upper triangular and lower triangular. The
// other triangle of the storage has no meaning for the class and is never
// read by its kernels.
#ifndef VARNEL_TRI_MATRIX_H
#define VARNEL_TRI_MATRIX_H

#include <ostream>

#include "gen_matrix.h"

class SymMatrixD {
 public:
  SymMatrixD() : matrix(0), uplo('U') {}
  explicit SymMatrixD(int n, int shallow = 0) : matrix(n, n, shallow), uplo('U') {}
  SymMatrixD(const SymMatrixD& m) : matrix(0), uplo('U') { *this = m; }

  // Copies the upper triangle, whatever the flags; never shares.
  SymMatrixD& operator=(const SymMatrixD& m);

  void Share(const SymMatrixD& m) { matrix.Share(m.matrix); }
  void Share(const GenMatrixD& m) { matrix.Share(m); }

  GenMatrixD& AsGenMatrixD() { return matrix; }
  const GenMatrixD& AsGenMatrixD() const { return matrix; }

  // Element (i, j) is the stored (min(i, j), max(i, j)).
  double& operator()(int i, int j) const { return i <= j ? matrix(i, j) : matrix(j, i); }
  double& operator[](int k) const { return matrix[k]; }
  double* Data() const { return matrix.Data(); }
  int Rows() const { return matrix.Rows(); }
  int Cols() const { return matrix.Cols(); }
  char Uplo() const { return uplo; }

  void Fill(double v);
  // The full matrix; mirrors the upper triangle into this storage first.
  GenMatrixD ToGenMatrixD();

 private:
  GenMatrixD matrix;
  char uplo;
};

class UTrMatrixD {
 public:
  UTrMatrixD() : matrix(0) {}
  explicit UTrMatrixD(int n, int shallow = 0) : matrix(n, n, shallow) {}
  UTrMatrixD(const UTrMatrixD& m) : matrix(0) { *this = m; }

  UTrMatrixD& operator=(const UTrMatrixD& m);  // copies the upper triangle

  double& operator()(int i, int j) const { return matrix(i, j); }
  double& operator[](int k) const { return matrix[k]; }
  double* Data() const { return matrix.Data(); }
  int Rows() const { return matrix.Rows(); }
  int Cols() const { return matrix.Cols(); }
  const GenMatrixD& AsGenMatrixD() const { return matrix; }

  // The full matrix; writes zeros below the diagonal of this storage first.
  GenMatrixD ToGenMatrixD();
  // Solves op(U) X = B in place of B (LAPACK DTRTRS); returns its INFO.
  int Solve(GenMatrixD& B, char trans) const;

 private:
  GenMatrixD matrix;
};

class LTrMatrixD {
 public:
  LTrMatrixD() : matrix(0) {}
  explicit LTrMatrixD(int n, int shallow = 0) : matrix(n, n, shallow) {}

  double& operator()(int i, int j) const { return matrix(i, j); }
  double& operator[](int k) const { return matrix[k]; }
  double* Data() const { return matrix.Data(); }
  int Rows() const { return matrix.Rows(); }
  int Cols() const { return matrix.Cols(); }
  const GenMatrixD& AsGenMatrixD() const { return matrix; }

 private:
  GenMatrixD matrix;
};

int isNotSymmetric(const GenMatrixD& A, double tol);
int isNotUpperTriangular(const GenMatrixD& A);

std::ostream& operator<<(std::ostream& out, const SymMatrixD& S);
std::ostream& operator<<(std::ostream& out, const UTrMatrixD& U);

inline MatrixDescription<SymMatrixD> describe(const SymMatrixD& S) { return {S}; }
inline MatrixDescription<UTrMatrixD> describe(const UTrMatrixD& U) { return {U}; }
std::ostream& operator<<(std::ostream& out, const MatrixDescription<SymMatrixD>& d);
std::ostream& operator<<(std::ostream& out, const MatrixDescription<UTrMatrixD>& d);

#endif
