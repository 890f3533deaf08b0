#include "scaling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels.h"
#include "lapack.h"

namespace {

// The strictly lower triangle of a square matrix := its upper triangle.
void mirrorUpper(GenMatrixD& M) {
  const int n = M.Rows();
  double* a = M.Data();
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) a[i + j * n] = a[j + i * n];
}

LapackInt eigenWorkLength(int n) {
  const LapackInt ispec = 1;
  const LapackInt order = n;
  const LapackInt unused = -1;
  const LapackInt nb = ilaenv_(&ispec, "DSYTRD", "U", &order, &order, &unused, &unused, 6, 1);
  return std::max((nb + 2) * order, 3 * order);
}

int isFiniteUpper(const SymMatrixD& S) {
  const int n = S.Rows();
  const double* a = S.Data();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i)
      if (!std::isfinite(a[i + j * n])) return 0;
  return 1;
}

}  // namespace

ScalingFactor::ScalingFactor(const ScalingShape& shape) : s(shape.diagonalLength, 1) {
  blocks.reserve(shape.blockCount);
  work.reserve(shape.blockCount);
  for (int k = 0; k < shape.blockCount; ++k) {
    blocks.emplace_back(shape.blockSizes[k]);
    work.emplace_back(shape.blockSizes[k], shape.blockSizes[k]);
  }
}

int ScalingFactor::Factor(const BlockDiagonalMatrix& W) {
  const GenMatrixD& w = W.Diagonal();
  for (int r = 0; r < s.Rows(); ++r) {
    if (!(w[r] >= 0.0)) return 1;
    s[r] = std::sqrt(w[r]);
  }
  const char uplo = 'U';
  for (int k = 0; k < BlockCount(); ++k) {
    const LapackInt n = blocks[k].Rows();
    if (n == 0) continue;
    std::memcpy(blocks[k].Data(), W.Block(k).Data(), sizeof(double) * n * n);
    LapackInt info = 0;
    dpotrf_(&uplo, &n, blocks[k].Data(), &n, &info, 1);
    if (info != 0) return 1;
  }
  return 0;
}

void scaleAndShift(ScalingFactor& U, BlockDiagonalMatrix& F) {
  const GenMatrixD& s = U.Diagonal();
  GenMatrixD& f = F.Diagonal();
  for (int r = 0; r < s.Rows(); ++r) f[r] = s[r] * f[r] * s[r] - 1.0;
  for (int k = 0; k < U.BlockCount(); ++k) {
    GenMatrixD& Fk = F.Block(k).AsGenMatrixD();
    const int n = Fk.Rows();
    mirrorUpper(Fk);
    multiplyUTrGen(U.Block(k), Fk, U.Work(k));
    multiplyGenUTrT(U.Work(k), U.Block(k), Fk, 0, 1);
    for (int i = 0; i < n; ++i) Fk(i, i) -= 1.0;
  }
}

void updateScaling(BlockDiagonalMatrix& W, ScalingFactor& U, BlockDiagonalMatrix& V, double alpha) {
  const GenMatrixD& s = U.Diagonal();
  GenMatrixD& v = V.Diagonal();
  GenMatrixD& w = W.Diagonal();
  for (int r = 0; r < s.Rows(); ++r) {
    v[r] = -(alpha * v[r] - 1.0);
    w[r] = s[r] * v[r] * s[r];
  }
  for (int k = 0; k < U.BlockCount(); ++k) {
    GenMatrixD& M = V.Block(k).AsGenMatrixD();
    const int n = M.Rows();
    mirrorUpper(M);
    double* m = M.Data();
    for (int e = 0; e < n * n; ++e) m[e] = -(alpha * m[e]);
    for (int i = 0; i < n; ++i) M(i, i) += 1.0;
    multiplyUTrGenT(U.Block(k), M, U.Work(k), 1, 0);
    multiplyGenUTr(U.Work(k), U.Block(k), W.Block(k).AsGenMatrixD());
  }
}

EigenvalueSolver::EigenvalueSolver(const ScalingShape& shape) {
  int largest = 0;
  LapackInt length = 1;
  for (int k = 0; k < shape.blockCount; ++k) {
    largest = std::max(largest, shape.blockSizes[k]);
    length = std::max(length, eigenWorkLength(shape.blockSizes[k]));
  }
  copy.resize(static_cast<size_t>(largest) * largest);
  work.resize(length);
}

int EigenvalueSolver::Fill(const BlockDiagonalMatrix& F, double last, GenMatrixD& v) {
  const GenMatrixD& diagonal = F.Diagonal();
  const int td = F.DiagonalLength();
  for (int r = 0; r < td; ++r) v[r] = diagonal[r];
  int offset = td;
  const char jobz = 'N';
  const char uplo = 'U';
  for (int k = 0; k < F.BlockCount(); ++k) {
    const SymMatrixD& block = F.Block(k);
    const LapackInt n = block.Rows();
    if (n == 0) continue;
    // LAPACK is given finite numbers only: its reductions do not promise
    // to stop on anything else.
    if (!isFiniteUpper(block)) return 1;
    std::memcpy(copy.data(), block.Data(), sizeof(double) * n * n);
    const LapackInt lwork = eigenWorkLength(n);
    LapackInt info = 0;
    dsyev_(&jobz, &uplo, &n, copy.data(), &n, v.Data() + offset, work.data(), &lwork, &info, 1, 1);
    offset += n;
  }
  v[offset] = last;
  for (int i = 0; i <= offset; ++i)
    if (!std::isfinite(v[i])) return 1;
  return 0;
}

double smallestEntry(const GenMatrixD& v) {
  const int n = v.Rows() * v.Cols();
  double m = v[0];
  for (int i = 1; i < n; ++i)
    if (v[i] < m) m = v[i];
  return m;
}

double largestEntry(const GenMatrixD& v) {
  const int n = v.Rows() * v.Cols();
  double m = v[0];
  for (int i = 1; i < n; ++i)
    if (v[i] > m) m = v[i];
  return m;
}
