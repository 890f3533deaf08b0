#include "tri_matrix.h"

#include <cmath>

namespace {
// Copies the upper triangle of m into target, reusing target's block only
// when target holds it alone at n*n elements. The lower part of a fresh
// block stays unset.
void copyUpperTriangle(const GenMatrixD& m, GenMatrixD& target) {
  const int n = m.Cols();
  if (&m == &target) return;
  target.Resize(n, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) target(i, j) = m(i, j);
}

template <class M>
void writeDescription(std::ostream& out, const char* type, const M& m) {
  out << "Object type: " << type << "\n";
  out << "  Size: (" << m.Rows() << ", " << m.Cols() << ')' << std::endl;
  out << "  Address: " << (m.Data() != nullptr ? 1 : 0) << std::endl;
  out << "  Number of references: " << m.AsGenMatrixD().Storage().RefCount() << std::endl;
  out << "  Shallow copy: " << (m.AsGenMatrixD().IsShallow() ? "Yes" : "No") << std::endl;
}
}  // namespace

SymMatrixD& SymMatrixD::operator=(const SymMatrixD& m) {
  copyUpperTriangle(m.matrix, matrix);
  return *this;
}

void SymMatrixD::Fill(double v) {
  const int n = Cols();
  double* a = Data();
  for (int j = 0; j < n; ++j)
    for (int p = j * n; p <= j * n + j; ++p) a[p] = v;
}

GenMatrixD SymMatrixD::ToGenMatrixD() {
  const int n = Cols();
  double* a = Data();
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) a[j + i * n] = a[i + j * n];
  return GenMatrixD(matrix, 0);
}

UTrMatrixD& UTrMatrixD::operator=(const UTrMatrixD& m) {
  copyUpperTriangle(m.matrix, matrix);
  return *this;
}

GenMatrixD UTrMatrixD::ToGenMatrixD() {
  const int n = Cols();
  double* a = Data();
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) a[i + j * n] = 0.0;
  return GenMatrixD(matrix, 0);
}

int isNotSymmetric(const GenMatrixD& A, double tol) {
  const int n = A.Cols();
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (std::fabs(A(i, j) - A(j, i)) > tol) return 1;
  return 0;
}

int isNotUpperTriangular(const GenMatrixD& A) {
  const int n = A.Rows();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j)
      if (!(A(i, j) == 0.0)) return 1;
  return 0;
}

std::ostream& operator<<(std::ostream& out, const SymMatrixD& S) {
  const int n = S.Cols();
  if (n == 0) return out << "NULL SymMatrixD.\n";
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) out << S(i, j) << "  ";
    out << '\n';
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const UTrMatrixD& U) {
  const int n = U.Cols();
  if (n == 0) return out << "NULL UTrMatrixD.\n";
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (j < i)
        out << "0 ";
      else
        out << U(i, j) << " ";
    }
    out << '\n';
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const MatrixDescription<SymMatrixD>& d) {
  writeDescription(out, "SymMatrixD", d.matrix);
  return out;
}

std::ostream& operator<<(std::ostream& out, const MatrixDescription<UTrMatrixD>& d) {
  writeDescription(out, "UTrMatrixD", d.matrix);
  return out;
}
