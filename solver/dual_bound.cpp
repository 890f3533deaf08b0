#include "dual_bound.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "directions.h"
#include "kernels.h"
#include "lapack.h"
#include "newton_normal.h"

namespace {

// Rounding allowances in units of DBL_EPSILON: Z's eigenvalues may fall
// below zero by this many times the order of their block and Z's largest
// absolute eigenvalue (a level aims at twice as much above), and the misses
// of the inner products may change the objective by this many times the
// size of its terms: the rounding of the solves, which the conditioning of
// H amplifies, and not more (2^20 units is about 2e-10 of the objective).
constexpr double kMargin = 64.0;
constexpr double kResidual = 1048576.0;
// Newton steps on the smallest eigenvalue of a block along tau.
constexpr int kShiftSteps = 16;
// Corrections of the inner products' misses through H.
constexpr int kCorrections = 2;

double margin(int n, double scale) { return kMargin * n * DBL_EPSILON * scale; }

// The full symmetric matrix of A + s B from their upper triangles.
void fullSum(const SymMatrixD& A, const SymMatrixD& B, double s, GenMatrixD& out) {
  const int n = A.Rows();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) out(i, j) = out(j, i) = A.Data()[i + j * n] + s * B.Data()[i + j * n];
}

// v'Bv for B's upper triangle.
double quadraticForm(const SymMatrixD& B, const double* v) {
  const int n = B.Rows();
  double sum = 0.0;
  for (int j = 0; j < n; ++j) {
    sum += B.Data()[j + j * n] * v[j] * v[j];
    for (int i = 0; i < j; ++i) sum += 2.0 * B.Data()[i + j * n] * v[i] * v[j];
  }
  return sum;
}

// The Frobenius norm of A from its upper triangles.
double frobeniusNorm(const BlockDiagonalMatrix& A) {
  double sum = 0.0;
  for (int r = 0; r < A.DiagonalLength(); ++r) sum += A.Diagonal()[r] * A.Diagonal()[r];
  for (int k = 0; k < A.BlockCount(); ++k) {
    const int n = A.BlockSize(k);
    const double* a = A.Block(k).Data();
    for (int j = 0; j < n; ++j) {
      sum += a[j + j * n] * a[j + j * n];
      for (int i = 0; i < j; ++i) sum += 2.0 * a[i + j * n] * a[i + j * n];
    }
  }
  return std::sqrt(sum);
}

}  // namespace

DualBound::DualBound(BuiltProblem& problem, const FreeParameterMap& map, const ScalingShape& shape)
    : problem(problem),
      map(map),
      M(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Z(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Fz(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Fe(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      eigen(shape),
      values(problem.SumSizes() + 1, 1),
      traces(map.Nv(), 1),
      rightSide(map.Nv(), 1) {
  int largest = 1;
  for (int k = 0; k < shape.blockCount; ++k) largest = std::max(largest, shape.blockSizes[k]);
  full = GenMatrixD(largest, largest);
  product = GenMatrixD(largest, largest);
  eigenvalues.resize(largest);
  work.resize(3 * largest * (largest + 2));
}

int DualBound::ShiftBlock(int k, double& tau) {
  const LapackInt n = Fz.BlockSize(k);
  if (n == 0) return 0;
  GenMatrixD vectors(n, n, full.Data(), 0);
  const char jobz = 'V';
  const char uplo = 'U';
  const LapackInt lwork = static_cast<LapackInt>(work.size());
  for (int step = 0; step < kShiftSteps; ++step) {
    fullSum(Fz.Block(k), Fe.Block(k), tau, vectors);
    LapackInt info = 0;
    dsyev_(&jobz, &uplo, &n, vectors.Data(), &n, eigenvalues.data(), work.data(), &lwork, &info, 1, 1);
    if (info != 0) return 1;
    const double smallest = eigenvalues[0];
    const double target = margin(n, std::max(std::fabs(smallest), std::fabs(eigenvalues[n - 1])));
    if (smallest >= target) return 0;
    // The smallest eigenvalue is concave in tau, so a Newton step toward
    // twice the margin never passes that level and the next one is closer.
    const double slope = quadraticForm(Fe.Block(k), vectors.Data());
    if (!(slope > 0.0)) return 1;
    tau += (2.0 * target - smallest) / slope;
    if (!std::isfinite(tau)) return 1;
  }
  return 1;
}

int DualBound::Shift(double& tau) {
  tau = 0.0;
  for (int r = 0; r < Fz.DiagonalLength(); ++r) {
    const double b = Fz.Diagonal()[r];
    const double e = Fe.Diagonal()[r];
    if (b >= 0.0) continue;
    if (!(e > 0.0)) return 1;
    tau = std::max(tau, -b / e * (1.0 + kMargin * DBL_EPSILON));
  }
  for (int k = 0; k < Fz.BlockCount(); ++k) {
    double blockTau = 0.0;
    if (ShiftBlock(k, blockTau)) return 1;
    tau = std::max(tau, blockTau);
  }
  return !std::isfinite(tau);
}

void DualBound::ClearM() {
  for (int r = 0; r < M.DiagonalLength(); ++r) M.Diagonal()[r] = 0.0;
  for (int k = 0; k < M.BlockCount(); ++k) M.Block(k).AsGenMatrixD().Fill(0.0);
}

void DualBound::Add(const BlockDiagonalMatrix& A, double s) {
  for (int r = 0; r < A.DiagonalLength(); ++r) M.Diagonal()[r] += s * A.Diagonal()[r];
  for (int k = 0; k < A.BlockCount(); ++k) {
    const int n = A.BlockSize(k);
    GenMatrixD& Mk = M.Block(k).AsGenMatrixD();
    const double* a = A.Block(k).Data();
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < j; ++i) {
        Mk(i, j) += s * a[i + j * n];
        Mk(j, i) += s * a[i + j * n];
      }
    for (int i = 0; i < n; ++i) Mk(i, i) += s * a[i + i * n];
  }
}

void DualBound::Form(ScalingFactor& U, BlockDiagonalMatrix& W, int scaled, int accumulate) {
  for (int r = 0; r < M.DiagonalLength(); ++r) {
    const double w = W.Diagonal()[r];
    const double z = scaled ? w * M.Diagonal()[r] : w * M.Diagonal()[r] * w;
    Z.Diagonal()[r] = accumulate ? Z.Diagonal()[r] + z : z;
  }
  for (int k = 0; k < M.BlockCount(); ++k) {
    const int n = M.BlockSize(k);
    if (n == 0) continue;
    GenMatrixD T(n, n, product.Data(), 0);
    GenMatrixD sum(n, n, full.Data(), 0);
    GenMatrixD& Zk = Z.Block(k).AsGenMatrixD();
    GenMatrixD& out = accumulate ? sum : Zk;
    if (scaled) {
      multiplyUTrGenT(U.Block(k), M.Block(k).AsGenMatrixD(), T, 1, 0);
      multiplyGenUTr(T, U.Block(k), out);
    } else {
      const GenMatrixD Wk = W.Block(k).ToGenMatrixD();
      multiplyGen(Wk, M.Block(k).AsGenMatrixD(), T);
      multiplyGen(T, Wk, out);
    }
    if (accumulate)
      for (int e = 0; e < n * n; ++e) Zk[e] += sum[e];
  }
}

int DualBound::IsSemidefinite() {
  if (eigen.Fill(Z, 0.0, values)) return 0;
  const int td = Z.DiagonalLength();
  double scale = 0.0;
  for (int i = 0; i < values.Rows() - 1; ++i) scale = std::max(scale, std::fabs(values[i]));
  for (int r = 0; r < td; ++r)
    if (!(values[r] >= -margin(1, scale))) return 0;
  int offset = td;
  for (int k = 0; k < Z.BlockCount(); ++k) {
    const int n = Z.BlockSize(k);
    if (n == 0) continue;
    if (!(values[offset] >= -margin(n, scale))) return 0;
    offset += n;
  }
  return 1;
}

double DualBound::Miss(const GenMatrixD& q, const GenMatrixD& point, double& effect) const {
  effect = 0.0;
  double size = 0.0;
  for (int k = 1; k < map.Nv(); ++k) {
    effect += std::fabs(traces[k] - q[k]) * std::fabs(point[k]);
    size += std::fabs(q[k] * point[k]);
  }
  return effect / (kResidual * DBL_EPSILON * size);
}

int DualBound::Find(ScalingFactor& U, BlockDiagonalMatrix& W, int scaled, const Direction& direction, double level,
                    const GenMatrixD& q, const GenMatrixD& point, double& lower) {
  rightSide.Copy(q);
  rightSide[0] -= level;
  direction(rightSide, Fz);
  rightSide.Fill(0.0);
  rightSide[0] = 1.0;
  direction(rightSide, Fe);
  double tau = 0.0;
  if (Shift(tau)) tau = 0.0;
  ClearM();
  Add(Fz, 1.0);
  Add(Fe, tau);
  double previous = HUGE_VAL;
  double effect = 0.0;
  for (int round = 0;; ++round) {
    Form(U, W, scaled, 0);
    if (!IsSemidefinite()) return 0;
    reducedTraces(problem, map, Z, traces);
    const double miss = Miss(q, point, effect);
    if (miss <= 1.0) break;
    if (round == kCorrections || !(miss < previous)) return 0;
    previous = miss;
    rightSide[0] = 0.0;
    for (int k = 1; k < map.Nv(); ++k) rightSide[k] = q[k] - traces[k];
    direction(rightSide, Fz);
    Add(Fz, 1.0);
  }
  // The misses, small as they are, count against the bound.
  lower = -traces[0] - effect;
  return std::isfinite(lower);
}

double DualBound::Trace() const {
  double sum = 0.0;
  for (int r = 0; r < Z.DiagonalLength(); ++r) sum += Z.Diagonal()[r];
  for (int k = 0; k < Z.BlockCount(); ++k) {
    const int n = Z.BlockSize(k);
    for (int i = 0; i < n; ++i) sum += Z.Block(k).Data()[i + i * n];
  }
  return sum;
}

void DualBound::CoefficientNorms() {
  if (norms.Rows() > 0) return;
  norms = GenMatrixD(map.Nv(), 1);
  GenMatrixD unit(map.Nv(), 1, 0.0, 0);
  GenMatrixD x(map.Nvt(), 1);
  for (int k = 0; k < map.Nv(); ++k) {
    unit[k] = 1.0;
    evaluateDirection(problem, map, unit, x, Fz);
    norms[k] = frobeniusNorm(Fz);
    unit[k] = 0.0;
  }
}

double DualBound::CertificateMiss(double trace) const {
  double miss = 0.0;
  for (int k = 1; k < map.Nv(); ++k)
    if (traces[k] != 0.0) miss = std::max(miss, std::fabs(traces[k]) / (kResidual * DBL_EPSILON * trace * norms[k]));
  return miss;
}

int DualBound::CertifiesInfeasibility(ScalingFactor& U, BlockDiagonalMatrix& W, const BlockDiagonalMatrix& V,
                                      int scaled, const Direction& direction) {
  CoefficientNorms();
  ClearM();
  Add(V, -1.0);
  Form(U, W, 1, 0);
  double previous = HUGE_VAL;
  for (int round = 0;; ++round) {
    // Measured against Z's trace rather than dividing Z by it: the same
    // tests as for Z normalised to trace 1.
    const double trace = Trace();
    if (!(trace > 0.0) || !std::isfinite(trace) || !IsSemidefinite()) return 0;
    reducedTraces(problem, map, Z, traces);
    const double miss = CertificateMiss(trace);
    if (miss <= 1.0) return traces[0] <= kResidual * DBL_EPSILON * trace * norms[0];
    if (round == kCorrections || !(miss < previous)) return 0;
    previous = miss;
    // Z -= W F(c) W with H c the misses: F_0's own inner product is left
    // free, and the others vanish but for the rounding of a small term.
    rightSide[0] = 0.0;
    for (int k = 1; k < map.Nv(); ++k) rightSide[k] = traces[k];
    direction(rightSide, Fz);
    ClearM();
    Add(Fz, -1.0);
    Form(U, W, scaled, 1);
  }
}
