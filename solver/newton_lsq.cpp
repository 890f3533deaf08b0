#include "newton_lsq.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "kernels.h"
#include "lapack.h"
#include "oriented_term.h"
#include "packed.h"

namespace {

// Reflectors per block of the QR factorisation: at nv = 1830 a block of 64
// factors about 5 % faster than LAPACK's usual 32 (fewer, larger matrix
// products), and no slower on the smaller systems.
constexpr int kReflectorBlock = 64;

// The factor U of a block matrix inequality as a full matrix, with the
// block rows' offsets.
struct BlockFactor {
  const GenMatrixD& Uf;
  const BlockLmi& block;

  int Offset(int i) const { return block.RowOffset(i); }
  int Height(int i) const { return block.Height(i); }

  // U_Jx op(F); U_Jx itself when F is the identity.
  GenMatrixD Left(int J, int x, const Factor& F) const {
    if (F.m == nullptr) {
      GenMatrixD C(Height(J), Height(x));
      copySubBlock(C, Uf, Height(J), Height(x), Offset(J), Offset(x), 0);
      return C;
    }
    GenMatrixD C(Height(J), F.Cols());
    multiplySubBlockLeft(Uf, *F.m, C, 0, F.trans, Height(J), Height(x), Offset(J), Offset(x));
    return C;
  }

  // op(F) U_Ky'; U_Ky' itself when F is the identity.
  GenMatrixD Right(const Factor& F, int K, int y) const {
    if (F.m == nullptr) {
      GenMatrixD C(Height(y), Height(K));
      copySubBlock(C, Uf, Height(K), Height(y), Offset(K), Offset(y), 1);
      return C;
    }
    GenMatrixD C(F.Rows(), Height(K));
    multiplySubBlockRight(*F.m, Uf, C, F.trans, 1, Height(K), Height(y), Offset(K), Offset(y));
    return C;
  }
};

// The svec entries of the diagonal block J of U M U' that the terms of one
// entry add through M_xy (x = y for a diagonal entry: mirror 0; x < y for
// an off-diagonal one, whose transpose M_yx adds the mirror image).
void addDiagonalBlockRows(const BlockFactor& U, const TermList& entry, GenMatrixD& A, int row, int J, int x, int y,
                          int mirror, const UnknownPlacement& at) {
  const int D = U.block.Size();
  forEachOrientedTerm(entry, 0, [&](const OrientedTerm& t) {
    const GenMatrixD P = U.Left(J, x, t.L);
    const GenMatrixD Q = U.Right(t.R, J, y);
    if (t.symmetric) {
      const GenMatrixD P2 = U.Left(J, x, t.R.Transposed());
      const GenMatrixD Q2 = U.Right(t.L.Transposed(), J, y);
      svecAccumulateGen4(A, row, P, Q, P2, Q2, t.base, t.p, t.q, t.transposed, U.Offset(J), D, U.Height(J), mirror,
                         t.scale, at);
    } else {
      svecAccumulateGen2(A, row, P, Q, t.base, t.p, t.q, t.transposed, U.Offset(J), D, U.Height(J), mirror, t.scale,
                         at);
    }
  });
}

// The svec entries of the block (J, K), J > K, of U M U' that the terms of
// one entry add through M_xy, the entry being flipped when M_xy is the
// transpose of its value.
void addOffDiagonalBlockRows(const BlockFactor& U, const TermList& entry, int flipped, GenMatrixD& A, int row, int J,
                             int K, int x, int y, const UnknownPlacement& at) {
  const int D = U.block.Size();
  forEachOrientedTerm(entry, flipped, [&](const OrientedTerm& t) {
    const GenMatrixD P = U.Left(J, x, t.L);
    const GenMatrixD Q = U.Right(t.R, K, y);
    if (t.symmetric) {
      const GenMatrixD P2 = U.Left(J, x, t.R.Transposed());
      const GenMatrixD Q2 = U.Right(t.L.Transposed(), K, y);
      svecAccumulateGen4Offset(A, row, P, Q, P2, Q2, t.base, t.p, t.q, U.Offset(J), U.Offset(K), D, U.Height(J),
                               U.Height(K), t.transposed, t.scale, at);
    } else {
      svecAccumulateGen2Offset(A, row, P, Q, t.base, t.p, t.q, U.Offset(J), U.Offset(K), D, U.Height(J), U.Height(K),
                               t.transposed, t.scale, at);
    }
  });
}

// The Euclidean norms of A's first n columns.
void columnNorms(const GenMatrixD& A, int n, std::vector<double>& norms) {
  norms.resize(n);
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int i = 0; i < A.Rows(); ++i) sum += A(i, j) * A(i, j);
    norms[j] = std::sqrt(sum);
  }
}

// A is rank deficient when a diagonal entry of its triangular factor R (in
// A's upper triangle) is zero. A direction that no row sees usually leaves a
// rounding residue there instead, whose size depends on the BLAS, and the
// solution then explodes along it: a column negligible against the largest,
// and a diagonal entry negligible against its own column (what is left of a
// column that the others span), count as zero too. Its own column, not the
// largest: the constants of a problem can make the column of the
// homogenising parameter many orders larger than the others, and a pivot
// small against it is not a dependence.
int hasNegligiblePivot(const GenMatrixD& R, int n, const std::vector<double>& norms) {
  const int diagonal = std::min(R.Rows(), n);
  const double rounding = DBL_EPSILON * std::max(R.Rows(), n);
  const double largest = *std::max_element(norms.begin(), norms.end());
  for (int i = 0; i < diagonal; ++i)
    if (norms[i] <= rounding * largest || std::fabs(R(i, i)) <= rounding * norms[i]) return 1;
  return 0;
}

UTrMatrixD identityFactor(int d) {
  UTrMatrixD I(d);
  for (int j = 0; j < d; ++j)
    for (int i = 0; i <= j; ++i) I(i, j) = i == j ? 1.0 : 0.0;
  return I;
}

}  // namespace

void addTermBlockRows(const TermBlock& block, GenMatrixD& A, UTrMatrixD& U, int& row, const UnknownPlacement& at) {
  const int d = U.Rows();
  const int start = row;
  const GenMatrixD Uf = U.ToGenMatrixD();
  GenMatrixD Ut(d, d);
  transposeGen(Uf, Ut);
  forEachOrientedTerm(block, 0, [&](const OrientedTerm& t) {
    // P = U L and Q = R U' (U and U' without factors).
    GenMatrixD P(0);
    GenMatrixD Q(0);
    if (t.L.m != nullptr) {
      P = GenMatrixD(d, t.L.Cols());
      multiplyUTrGen(U, *t.L.m, P);
    }
    if (t.R.m != nullptr) {
      Q = GenMatrixD(t.R.Rows(), d);
      multiplyGenUTrT(*t.R.m, U, Q, 0, 1);
    }
    int local = start;
    svecAccumulateSym(A, local, t.L.m != nullptr ? P : Uf, t.R.m != nullptr ? Q : Ut, t.base, t.p, t.q, t.transposed,
                      t.symmetric, t.scale, at);
  });
  row = start + svecLength(d);
}

void addBlockLmiRows(const BlockLmi& block, GenMatrixD& A, UTrMatrixD& U, int& row, const UnknownPlacement& at) {
  const int n = block.N();
  const GenMatrixD Uf = U.ToGenMatrixD();
  const BlockFactor factor{Uf, block};
  // Z = U M U' has the blocks Z_JK = sum over x >= J, y >= K of
  // U_Jx M_xy U_Ky', U being upper triangular.
  for (int J = 0; J < n; ++J) {
    for (int l = J; l < n; ++l)
      for (int k = J; k < l; ++k) addDiagonalBlockRows(factor, block.SubBlockAt(l, k), A, row, J, k, l, 1, at);
    for (int k = J; k < n; ++k) addDiagonalBlockRows(factor, block.SubBlockAt(k, k), A, row, J, k, k, 0, at);
  }
  for (int J = 1; J < n; ++J)
    for (int K = 0; K < J; ++K)
      for (int y = K; y < n; ++y)
        for (int x = J; x < n; ++x) {
          // M_xy is the value of the entry stored at (y, x) when y >= x, and
          // the transpose of the one stored at (x, y) otherwise.
          if (y >= x)
            addOffDiagonalBlockRows(factor, block.SubBlockAt(y, x), 0, A, row, J, K, x, y, at);
          else
            addOffDiagonalBlockRows(factor, block.SubBlockAt(x, y), 1, A, row, J, K, x, y, at);
        }
  row += svecLength(block.Size());
}

void addTermBlockRowsObjective(const TermBlock& block, GenMatrixD& A0, int& row) {
  UTrMatrixD I = identityFactor(block.Size());
  addTermBlockRows(block, A0, I, row);
}

void addBlockLmiRowsObjective(const BlockLmi& block, GenMatrixD& A0, int& row) {
  UTrMatrixD I = identityFactor(block.Size());
  addBlockLmiRows(block, A0, I, row);
}

void fillInequalityRows(BuiltProblem& problem, ScalingFactor& U, GenMatrixD& R, const UnknownPlacement& at) {
  R.Fill(0.0);
  const int td = problem.Td();
  if (td > 0) {
    const GenMatrixD& C = problem.Linear().Coefficients();
    for (int r = 0; r < td; ++r) {
      const double s = U.Diagonal()[r];
      for (int u = 0; u < C.Cols(); ++u) {
        const int column = at.Column(u);
        if (column >= 0 && C(r, u) != 0.0) R(r, column) += at.Weight(u) * (s * C(r, u) * s);
      }
    }
  }
  int row = td;
  const int termBlocks = problem.NumTermBlocks();
  for (int k = 0; k < termBlocks; ++k) addTermBlockRows(problem.TermBlockAt(k), R, U.Block(k), row, at);
  for (int j = 0; j < problem.NumBlockLmis(); ++j)
    addBlockLmiRows(problem.BlockLmiAt(j), R, U.Block(termBlocks + j), row, at);
}

void fillReducedRows(BuiltProblem& problem, const FreeParameterMap& map, ScalingFactor& U, GenMatrixD& A) {
  if (map.IsSingle()) {
    fillInequalityRows(problem, U, A, map.Placement());
    return;
  }
  const int nt = problem.Nt();
  GenMatrixD R(nt, problem.Nvt(), problem.Work().Data(), 0);
  fillInequalityRows(problem, U, R);
  map.ReduceColumns(R.Data(), nt, nt, A.Data(), A.Rows());
}

void solveMinimumNorm(int m, int n, int nrhs, double* A, double* B, int ldb) {
  std::vector<LapackInt> pivots(n, 0);
  const double rcond = DBL_EPSILON * std::max(m, n);
  LapackInt rank = 0;
  LapackInt info = 0;
  LapackInt lwork = -1;
  double best = 0.0;
  dgelsy_(&m, &n, &nrhs, A, &m, B, &ldb, pivots.data(), &rcond, &rank, &best, &lwork, &info);
  std::vector<double> work(std::max<LapackInt>(static_cast<LapackInt>(best), 1));
  lwork = static_cast<LapackInt>(work.size());
  dgelsy_(&m, &n, &nrhs, A, &m, B, &ldb, pivots.data(), &rcond, &rank, work.data(), &lwork, &info);
}

LeastSquaresSystem::LeastSquaresSystem(BuiltProblem& problem, const FreeParameterMap& map, int rhsCount)
    : problem(problem),
      map(map),
      nt(problem.Nt()),
      nv(map.Nv()),
      t(1.0),
      deficient(0),
      scaling(nullptr),
      rhs(std::max(nt + 1, nv), rhsCount),
      blockSize(std::max(1, std::min({kReflectorBlock, nt + 1, nv}))),
      triangular(static_cast<size_t>(blockSize) * std::max(nv, 1)),
      work(static_cast<size_t>(blockSize) * std::max({nv, rhsCount, 1})) {
  A.Share(problem.LeastSquaresMatrix());
}

void LeastSquaresSystem::Fill() {
  fillReducedRows(problem, map, *scaling, A);
  A(nt, 0) = t;
  for (int k = 1; k < nv; ++k) A(nt, k) = 0.0;
}

void LeastSquaresSystem::Build(ScalingFactor& U, double weight) {
  scaling = &U;
  t = weight;
  Fill();
}

void LeastSquaresSystem::Factor() {
  const LapackInt m = nt + 1;
  const LapackInt n = nv;
  deficient = m < n;
  if (!deficient) {
    columnNorms(A, nv, norms);
    const LapackInt nb = blockSize;
    LapackInt info = 0;
    dgeqrt_(&m, &n, &nb, A.Data(), &m, triangular.data(), &nb, work.data(), &info);
    deficient = hasNegligiblePivot(A, n, norms);
    if (!deficient) return;
    Fill();
  }
  // The minimum-norm solves overwrite their matrix: each starts from a copy
  // of the rows, made only for such a system.
  if (reduced.Size() != A.Size()) reduced = GenMatrixD(A.Rows(), A.Cols());
  std::copy(A.Data(), A.Data() + A.Size(), reduced.Data());
}

void LeastSquaresSystem::Triangular(char trans, double* b, int ldb, int nrhs) const {
  const LapackInt m = nt + 1;
  const LapackInt n = nv;
  const LapackInt columns = nrhs;
  const LapackInt ld = ldb;
  const char upper = 'U';
  const char unit = 'N';
  LapackInt info = 0;
  dtrtrs_(&upper, &trans, &unit, &n, &columns, A.Data(), &m, b, &ld, &info, 1, 1, 1);
}

void LeastSquaresSystem::ApplyQ(char trans, double* c, int ldc, int ncols) {
  const LapackInt m = nt + 1;
  const LapackInt n = nv;
  const LapackInt columns = ncols;
  const LapackInt ld = ldc;
  const LapackInt nb = blockSize;
  const char side = 'L';
  LapackInt info = 0;
  dgemqrt_(&side, &trans, &m, &columns, &n, &nb, A.Data(), &m, triangular.data(), &nb, c, &ld, work.data(), &info, 1,
           1);
}

void LeastSquaresSystem::Solve(const GenMatrixD& B, GenMatrixD& X) {
  const LapackInt m = nt + 1;
  const LapackInt n = nv;
  const LapackInt nrhs = B.Cols();
  const LapackInt ldb = rhs.Rows();
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < m; ++i) rhs(i, j) = B(i, j);
  if (deficient) {
    std::copy(reduced.Data(), reduced.Data() + reduced.Size(), A.Data());
    solveMinimumNorm(m, n, nrhs, A.Data(), rhs.Data(), ldb);
  } else {
    ApplyQ('T', rhs.Data(), ldb, nrhs);
    Triangular('N', rhs.Data(), ldb, nrhs);
  }
  for (int j = 0; j < nrhs; ++j)
    for (int i = 0; i < nv; ++i) X(i, j) = rhs(i, j);
}

void LeastSquaresSystem::SolveNormal(GenMatrixD& r) const {
  if (deficient) {
    // No triangular factor: the minimum-norm solution of (A'A) z = r, from
    // the rows kept for the rank-deficient solves.
    GenMatrixD gram(nv, nv);
    multiplyGenT(reduced, reduced, gram, 1, 0);
    solveMinimumNorm(nv, nv, 1, gram.Data(), r.Data(), nv);
    return;
  }
  Triangular('T', r.Data(), nv, 1);
  Triangular('N', r.Data(), nv, 1);
}

void LeastSquaresSystem::RangeOf(const GenMatrixD& r, GenMatrixD& out) {
  if (deficient) {
    GenMatrixD c(r);
    SolveNormal(c);
    multiplyGen(reduced, c, out);
    return;
  }
  for (int i = 0; i < nv; ++i) out[i] = r[i];
  for (int i = nv; i <= nt; ++i) out[i] = 0.0;
  Triangular('T', out.Data(), nt + 1, 1);
  ApplyQ('N', out.Data(), nt + 1, 1);
}
