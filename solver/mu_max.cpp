#include "mu_max.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "lapack.h"

namespace {

// The coefficients of the pencil that do not depend on the part.
struct Pencil {
  double k2;
  double k1;
  double b;
  double e;
  double L;
  // A, B and C of one scalar part.
  double A(double y) const { return k2 * y; }
  double B(double y, double fc, double fe) const { return k1 * y - b * (fc - L * fe); }
  double C(double y, double fe) const { return e * y - b * fe; }
};

// The larger root of A mu^2 + B mu + C, when real, raises muMax. Both
// roots come from the form that does not cancel, w = -(B + sign(B)
// sqrt(disc)) / 2 giving w / A and C / w, and the larger is taken whatever
// the sign of A: (sqrt(disc) - B) / 2A alone is the smaller root when A is
// negative.
void scalarRoot(double A, double B, double C, double& muMax) {
  const double disc = B * B - (C * 4.0) * A;
  if (!(disc >= 0.0)) return;
  double mu;
  if (A == 0.0) {
    if (B == 0.0) return;  // no root, or every mu a root: nothing to bound
    mu = -C / B;
  } else {
    const double w = -0.5 * (B + std::copysign(std::sqrt(disc), B));
    mu = w / A;
    if (w != 0.0 && C / w > mu) mu = C / w;
  }
  if (mu > muMax) muMax = mu;
}

int isFiniteArray(const std::vector<double>& a) {
  for (double x : a)
    if (!std::isfinite(x)) return 0;
  return 1;
}

// Block k: the eigenvalues of the companion matrix
//   G = [0, -C; inv(A), -inv(A) B]
// are the roots of det(A mu^2 + B mu + C) = 0.
int blockRoots(const Pencil& pencil, const SymMatrixD& Y, const SymMatrixD& Fc, const SymMatrixD& Fe, double& muMax) {
  const int n = Y.Rows();
  if (n == 0) return 0;
  const int n2 = 2 * n;
  std::vector<double> G(static_cast<size_t>(n2) * n2, 0.0);
  std::vector<double> A(static_cast<size_t>(n) * n);
  std::vector<double> B(static_cast<size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double y = Y(i, j);
      const double fc = Fc(i, j);
      const double fe = Fe(i, j);
      G[i + (n + j) * n2] = pencil.b * fe - pencil.e * y;  // -C
      A[i + j * n] = pencil.A(y);
      B[i + j * n] = pencil.B(y, fc, fe);
    }
  std::vector<LapackInt> pivots(n);
  LapackInt info = 0;
  const LapackInt order = n;
  dgetrf_(&order, &order, A.data(), &order, pivots.data(), &info);
  if (info != 0) return 1;
  const char trans = 'N';
  dgetrs_(&trans, &order, &order, A.data(), &order, pivots.data(), B.data(), &order, &info, 1);
  const LapackInt ispec = 1;
  const LapackInt unused = -1;
  const LapackInt nbInverse = ilaenv_(&ispec, "DGETRI", "", &order, &order, &unused, &unused, 6, 0);
  LapackInt lwork = order * std::max<LapackInt>(nbInverse, 1);
  std::vector<double> work(lwork);
  dgetri_(&order, A.data(), &order, pivots.data(), work.data(), &lwork, &info);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      G[(n + i) + j * n2] = A[i + j * n];
      G[(n + i) + (n + j) * n2] = -B[i + j * n];
    }
  if (!isFiniteArray(G)) return 0;

  const LapackInt order2 = n2;
  const LapackInt nbHessenberg = ilaenv_(&ispec, "DGEHRD", "NE", &order2, &order2, &unused, &unused, 6, 2);
  lwork = std::max((nbHessenberg + 2) * order2, 3 * order2);
  work.assign(lwork, 0.0);
  std::vector<double> wr(n2);
  std::vector<double> wi(n2);
  const char no = 'N';
  dgeev_(&no, &no, &order2, G.data(), &order2, wr.data(), wi.data(), work.data(), &order2, work.data(), &order2,
         work.data(), &lwork, &info, 1, 1);
  for (int i = 0; i < n2; ++i)
    if (std::fabs(wi[i]) < 1e-8 && wr[i] > muMax) muMax = wr[i];
  return 0;
}

}  // namespace

int computeMuMax(const BlockDiagonalMatrix& Y, const BlockDiagonalMatrix& Fc, const BlockDiagonalMatrix& Fe, double y0,
                 double fc0, double fe0, double c, double d, double e, double b, double L, double& muMax) {
  const Pencil pencil{c - 2.0 * L * d + L * L * e, 2.0 * (d - L * e), b, e, L};
  muMax = kNoRoot;

  const int r = Y.DiagonalLength();
  const GenMatrixD& y = Y.Diagonal();
  const GenMatrixD& fc = Fc.Diagonal();
  const GenMatrixD& fe = Fe.Diagonal();
  for (int i = 0; i < r; ++i)
    scalarRoot(pencil.A(y[i]), pencil.B(y[i], fc[i], fe[i]), pencil.C(y[i], fe[i]), muMax);

  for (int k = 0; k < Y.BlockCount(); ++k)
    if (blockRoots(pencil, Y.Block(k), Fc.Block(k), Fe.Block(k), muMax)) return 1;

  scalarRoot(pencil.A(y0), pencil.B(y0, fc0, fe0), pencil.C(y0, fe0), muMax);
  return 0;
}
