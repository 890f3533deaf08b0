#include "newton_normal.h"

#include <algorithm>
#include <vector>

#include "kernels.h"
#include "lapack.h"
#include "oriented_term.h"
#include "packed.h"

namespace {

// A term at one position (row block P, column block Q) of its block.
struct PlacedTerm : OrientedTerm {
  int P;
  int Q;

  int OnDiagonal() const { return P == Q; }
};

void placeList(const TermList& list, int P, int Q, int flipped, std::vector<PlacedTerm>& placed) {
  forEachOrientedTerm(list, flipped, [&](const OrientedTerm& term) { placed.push_back(PlacedTerm{term, P, Q}); });
}

// The products of a block's factors with a full symmetric matrix W laid
// out in the block's block rows, in the scratch columns of the constraint
// set's work area.
class BlockProducts {
 public:
  BlockProducts(const GenMatrixD& Wf, const int* rowOffsets, GenMatrixD& scratch)
      : Wf(Wf), rowOffsets(rowOffsets) {
    const int length = scratch.Rows();
    for (int c = 0; c < 4; ++c) column[c] = scratch.Data() + static_cast<long>(2 + c) * length;
  }

  // tr(F_a W) for the unknowns a of tau, added into g.
  void AddTraces(const PlacedTerm& tau, double* g, const UnknownPlacement& at) {
    const int P = tau.P, Q = tau.Q;
    GenMatrixD M = Product(tau.R, Q, P, tau.L, column[0]);
    if (tau.OnDiagonal()) {
      accumulateScaledSubBlock(g, M, tau.base, tau.p, tau.q, tau.transposed, (1 + tau.symmetric) * tau.scale, at);
      return;
    }
    accumulateScaledSubBlock(g, M, tau.base, tau.p, tau.q, tau.transposed, tau.scale, at);
    if (tau.symmetric) {
      GenMatrixD N = Product(tau.L.Transposed(), Q, P, tau.R.Transposed(), column[0]);
      accumulateScaledSubBlock(g, N, tau.base, tau.p, tau.q, !tau.transposed, tau.scale, at);
    }
  }

 protected:
  int Offset(int block) const { return rowOffsets[block]; }
  int Height(int block) const { return rowOffsets[block + 1] - rowOffsets[block]; }

  // op(X) W[I, J] op(Y) in a view on out, a missing factor being the
  // identity; column[2] holds the intermediate product of two factors.
  GenMatrixD Product(const Factor& X, int I, int J, const Factor& Y, double* out) {
    const int m = Height(I), n = Height(J), rowOff = Offset(I), colOff = Offset(J);
    const int rows = X.m != nullptr ? X.Rows() : m;
    const int cols = Y.m != nullptr ? Y.Cols() : n;
    GenMatrixD C(rows, cols, out, 0);
    if (X.m == nullptr && Y.m == nullptr) {
      copySubBlockToArray(out, m, Wf, m, n, rowOff, colOff, 0);
    } else if (Y.m == nullptr) {
      multiplySubBlockRight(*X.m, Wf, C, X.trans, 0, m, n, rowOff, colOff);
    } else if (X.m == nullptr) {
      multiplySubBlockLeft(Wf, *Y.m, C, 0, Y.trans, m, n, rowOff, colOff);
    } else {
      GenMatrixD T(rows, n, column[2], 0);
      multiplySubBlockRight(*X.m, Wf, T, X.trans, 0, m, n, rowOff, colOff);
      multiplyGenT(T, *Y.m, C, 0, Y.trans);
    }
    return C;
  }

  const GenMatrixD& Wf;
  const int* rowOffsets;
  double* column[4];
};

// The pairs of a block's terms: tr(F_a W F_b W) into H, with the right side
// tr(F_a W) into g.
class PairAccumulator : public BlockProducts {
 public:
  PairAccumulator(SymMatrixD& H, double* g, const GenMatrixD& Wf, const int* rowOffsets, GenMatrixD& scratch,
                  const UnknownPlacement& at)
      : BlockProducts(Wf, rowOffsets, scratch), H(H), g(g), at(at) {}

  // Every component of tr(F_a W F_b W) for the unknowns a of tau and b of
  // sigma, a <= b.
  void AddPair(const PlacedTerm& tau, const PlacedTerm& sigma, int same) {
    const int Pt = tau.P, Qt = tau.Q, Ps = sigma.P, Qs = sigma.Q;
    const double cc = tau.scale * sigma.scale;
    const int st = tau.symmetric, ss = sigma.symmetric;
    const int tt = tau.transposed, ts = sigma.transposed;
    if (tau.OnDiagonal() && sigma.OnDiagonal()) {
      // W[Q_sigma, P_tau] is the transpose of W[Q_tau, P_sigma]: the cross
      // components of the two transposes equal the plain ones.
      const double f = (1 + (st && ss)) * cc;
      Accumulate(tau, sigma, tau.R, Qt, Ps, sigma.L, same ? nullptr : &sigma.R, Qs, Pt, tau.L, tt, ts, f);
      if (st || ss)
        Accumulate(tau, sigma, tau.L.Transposed(), Qt, Ps, sigma.L, &sigma.R, Qs, Pt, tau.R.Transposed(), !tt, ts,
                   (st + ss) * cc);
      return;
    }
    Accumulate(tau, sigma, tau.R, Qt, Ps, sigma.L, &sigma.R, Qs, Pt, tau.L, tt, ts, cc);
    if (st)
      Accumulate(tau, sigma, tau.L.Transposed(), Qt, Ps, sigma.L, &sigma.R, Qs, Pt, tau.R.Transposed(), !tt, ts, cc);
    if (ss) {
      const Factor sL = sigma.L.Transposed();
      Accumulate(tau, sigma, tau.R, Qt, Ps, sigma.R.Transposed(), &sL, Qs, Pt, tau.L, tt, !ts, cc);
    }
    if (st && ss) {
      const Factor sL = sigma.L.Transposed();
      Accumulate(tau, sigma, tau.L.Transposed(), Qt, Ps, sigma.R.Transposed(), &sL, Qs, Pt, tau.R.Transposed(), !tt,
                 !ts, cc);
    }
  }

  void AddRightSide(const PlacedTerm& tau) { AddTraces(tau, g, at); }

 private:
  // A = a1 W[I1, J1] a2 and B = b1 W[I2, J2] b2 (B = A when b1 is null),
  // then the pair accumulation with the orientations t1, t2 and factor f:
  // straight over the reduced parameters when both terms are on one
  // variable that has them.
  void Accumulate(const PlacedTerm& tau, const PlacedTerm& sigma, const Factor& a1, int I1, int J1,
                  const Factor& a2, const Factor* b1, int I2, int J2, const Factor& b2, int t1, int t2, double f) {
    const GenMatrixD A = Product(a1, I1, J1, a2, column[0]);
    const GenMatrixD B = b1 != nullptr ? Product(*b1, I2, J2, b2, column[1]) : GenMatrixD(A, ShareTag{});
    // (A term with a single-number value stands as 1 x 1 terms on its
    // variable's unknowns: those take the general path.)
    const int oneVariable = tau.base == sigma.base && !tau.IsScalar() && !sigma.IsScalar();
    const VariableParameters* shared = oneVariable ? at.Variable(tau.base) : nullptr;
    if (shared != nullptr)
      accumulateReducedSymmetric(H, A, B, *shared, t1, t2, f, column[3]);
    else
      accumulateScaledSymmetric(H, A, B, tau.base, sigma.base, tau.p, tau.q, sigma.p, sigma.q, t1, t2, f, at);
  }

  SymMatrixD& H;
  double* g;
  const UnknownPlacement& at;
};

// Every pair of placed terms whose second variable does not come before the
// first (the other pairs only reach H's lower triangle), and the right side
// of every term. With scalarsDone set, the pairs of two terms on 1 x 1
// variables and their right sides are left out: addScalarTerms added them.
void addPlacedTerms(PairAccumulator& pairs, const std::vector<PlacedTerm>& placed, int scalarsDone) {
  const int count = static_cast<int>(placed.size());
  for (int i = 0; i < count; ++i) {
    const PlacedTerm& tau = placed[i];
    const int scalarTau = scalarsDone && tau.IsScalar();
    if (!scalarTau) pairs.AddRightSide(tau);
    for (int j = 0; j < count; ++j) {
      const PlacedTerm& sigma = placed[j];
      if (sigma.variable < tau.variable || (scalarTau && sigma.IsScalar())) continue;
      pairs.AddPair(tau, sigma, i == j);
    }
  }
}

// The coefficient matrix F of a term on a 1 x 1 variable in a block of
// dimension n, and G = W F W: for two such terms the trace tr(F W F' W) is
// the inner product of G with F' transposed, which saves the products of
// every pair.
struct ScalarTerm {
  GenMatrixD F;  // F itself
  GenMatrixD G;  // W F W, stored transposed for the inner product
  int base;
};

ScalarTerm scalarTerm(const PlacedTerm& term, const GenMatrixD& Wf) {
  const int n = Wf.Rows();
  ScalarTerm s{GenMatrixD(n, n, 0.0, 0), GenMatrixD(n, n), term.base};
  if (term.L.m != nullptr && term.R.m != nullptr)
    multiplyGen(*term.L.m, *term.R.m, s.F);
  else if (term.L.m != nullptr)
    s.F.Copy(*term.L.m);
  else if (term.R.m != nullptr)
    s.F.Copy(*term.R.m);
  else
    for (int i = 0; i < n; ++i) s.F(i, i) = 1.0;
  scaleGen(term.scale, s.F, s.F);
  if (term.symmetric) addOwnTranspose(s.F, 1);
  GenMatrixD WF(n, n);
  multiplyGen(Wf, s.F, WF);
  GenMatrixD WFW(n, n);
  multiplyGen(WF, Wf, WFW);
  transposeGen(WFW, s.G);
  return s;
}

double innerProduct(const GenMatrixD& A, const GenMatrixD& B) {
  const int count = A.Rows() * A.Cols();
  double sum = 0.0;
  for (int e = 0; e < count; ++e) sum += A[e] * B[e];
  return sum;
}

void addScalarTerms(const std::vector<ScalarTerm>& terms, const GenMatrixD& Wf, SymMatrixD& H, double* g,
                    const UnknownPlacement& at) {
  GenMatrixD& h = H.AsGenMatrixD();
  for (const ScalarTerm& tau : terms) {
    at.Add(g, tau.base, innerProduct(tau.F, Wf));
    for (const ScalarTerm& sigma : terms)
      if (sigma.base >= tau.base) at.AddPair(h, tau.base, sigma.base, innerProduct(tau.G, sigma.F));
  }
}


// The placed terms of a block matrix inequality, each stored sub-block also
// as its transpose, and the offsets of its block rows.
void placeBlockLmi(const BlockLmi& block, std::vector<PlacedTerm>& placed, std::vector<int>& rowOffsets) {
  const int n = block.N();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      const SubBlock& entry = block.SubBlockAt(i, j);
      if (i == j) {
        placeList(entry, i, i, 0, placed);
      } else {
        // Stored at (i, j): block (j, i) of the upper triangle, and its
        // transpose at (i, j).
        placeList(entry, j, i, 0, placed);
        placeList(entry, i, j, 1, placed);
      }
    }
  rowOffsets.resize(n + 1);
  for (int i = 0; i <= n; ++i) rowOffsets[i] = block.RowOffset(i);
}

void addTraces(const std::vector<PlacedTerm>& placed, const int* rowOffsets, double* g, SymMatrixD& Zk,
               GenMatrixD& scratch, const UnknownPlacement& at) {
  const GenMatrixD Zf = Zk.ToGenMatrixD();
  BlockProducts products(Zf, rowOffsets, scratch);
  for (const PlacedTerm& term : placed) products.AddTraces(term, g, at);
}

}  // namespace

void addTermBlockNormal(const TermBlock& block, SymMatrixD& H, double* g, SymMatrixD& Wk, GenMatrixD& scratch,
                        const UnknownPlacement& at) {
  const int n = block.Size();
  if (block.NumTerms() == 0 || n == 0) return;
  const GenMatrixD Wf = Wk.ToGenMatrixD();
  std::vector<PlacedTerm> placed;
  placeList(block, 0, 0, 0, placed);
  std::vector<ScalarTerm> scalars;
  for (const PlacedTerm& term : placed)
    if (term.IsScalar()) scalars.push_back(scalarTerm(term, Wf));
  addScalarTerms(scalars, Wf, H, g, at);
  if (scalars.size() == placed.size()) return;
  const int rowOffsets[2] = {0, n};
  PairAccumulator pairs(H, g, Wf, rowOffsets, scratch, at);
  addPlacedTerms(pairs, placed, 1);
}

void addBlockLmiNormal(const BlockLmi& block, SymMatrixD& H, double* g, SymMatrixD& Wk, GenMatrixD& scratch,
                       const UnknownPlacement& at) {
  if (block.N() == 0 || block.Size() == 0) return;
  const GenMatrixD Wf = Wk.ToGenMatrixD();
  std::vector<PlacedTerm> placed;
  std::vector<int> rowOffsets;
  placeBlockLmi(block, placed, rowOffsets);
  PairAccumulator pairs(H, g, Wf, rowOffsets.data(), scratch, at);
  addPlacedTerms(pairs, placed, 0);
}

void addTermBlockTraces(const TermBlock& block, double* g, SymMatrixD& Zk, GenMatrixD& scratch,
                        const UnknownPlacement& at) {
  const int n = block.Size();
  if (block.NumTerms() == 0 || n == 0) return;
  std::vector<PlacedTerm> placed;
  placeList(block, 0, 0, 0, placed);
  const int rowOffsets[2] = {0, n};
  addTraces(placed, rowOffsets, g, Zk, scratch, at);
}

void addBlockLmiTraces(const BlockLmi& block, double* g, SymMatrixD& Zk, GenMatrixD& scratch,
                       const UnknownPlacement& at) {
  if (block.N() == 0 || block.Size() == 0) return;
  std::vector<PlacedTerm> placed;
  std::vector<int> rowOffsets;
  placeBlockLmi(block, placed, rowOffsets);
  addTraces(placed, rowOffsets.data(), g, Zk, scratch, at);
}

void reducedTraces(BuiltProblem& problem, const FreeParameterMap& map, BlockDiagonalMatrix& Z,
                   GenMatrixD& traces) {
  const int single = map.IsSingle();
  const UnknownPlacement at = single ? map.Placement() : UnknownPlacement();
  std::vector<double> g(single ? map.Nv() : map.Nvt(), 0.0);
  if (problem.HasLinear()) {
    const GenMatrixD& C = problem.Linear().Coefficients();
    for (int r = 0; r < C.Rows(); ++r)
      for (int u = 0; u < C.Cols(); ++u)
        if (C(r, u) != 0.0) at.Add(g.data(), u, C(r, u) * Z.Diagonal()[r]);
  }
  const int termBlocks = problem.NumTermBlocks();
  for (int k = 0; k < termBlocks; ++k)
    addTermBlockTraces(problem.TermBlockAt(k), g.data(), Z.Block(k), problem.Scratch(), at);
  for (int j = 0; j < problem.NumBlockLmis(); ++j)
    addBlockLmiTraces(problem.BlockLmiAt(j), g.data(), Z.Block(termBlocks + j), problem.Scratch(), at);
  if (single)
    for (int k = 0; k < map.Nv(); ++k) traces[k] = g[k];
  else
    map.ReduceVector(g.data(), traces.Data());
}

NormalSystem::NormalSystem(BuiltProblem& problem, const FreeParameterMap& map)
    : problem(problem), map(map), gred(map.Nv(), 1), rowStart(1, 0) {
  Hred.Share(problem.NewtonMatrix());
  if (!map.IsSingle()) product = GenMatrixD(map.Nvt(), map.Nv());
  if (!problem.HasLinear()) return;
  const GenMatrixD& C = problem.Linear().Coefficients();
  for (int r = 0; r < C.Rows(); ++r) {
    for (int u = 0; u < C.Cols(); ++u)
      if (C(r, u) != 0.0) {
        column.push_back(u);
        coefficient.push_back(C(r, u));
      }
    rowStart.push_back(static_cast<int>(column.size()));
  }
}

void NormalSystem::AddLinearRows(const BlockDiagonalMatrix& W, GenMatrixD& h, double* g,
                                 const UnknownPlacement& at) {
  const GenMatrixD& w = W.Diagonal();
  std::vector<double> a;
  for (int r = 0; r + 1 < static_cast<int>(rowStart.size()); ++r) {
    const int first = rowStart[r];
    const int count = rowStart[r + 1] - first;
    a.resize(count);
    for (int e = 0; e < count; ++e) {
      a[e] = w[r] * coefficient[first + e];
      at.Add(g, column[first + e], a[e]);
    }
    // The columns ascend, so (column e, column f) for e <= f is on or
    // above the diagonal.
    for (int f = 0; f < count; ++f)
      for (int e = 0; e <= f; ++e) at.AddPair(h, column[first + e], column[first + f], a[e] * a[f]);
  }
}

void NormalSystem::Accumulate(BlockDiagonalMatrix& W, SymMatrixD& H, double* g, const UnknownPlacement& at) {
  AddLinearRows(W, H.AsGenMatrixD(), g, at);
  const int termBlocks = problem.NumTermBlocks();
  for (int k = 0; k < termBlocks; ++k)
    addTermBlockNormal(problem.TermBlockAt(k), H, g, W.Block(k), problem.Scratch(), at);
  for (int j = 0; j < problem.NumBlockLmis(); ++j)
    addBlockLmiNormal(problem.BlockLmiAt(j), H, g, W.Block(termBlocks + j), problem.Scratch(), at);
}

void NormalSystem::Build(BlockDiagonalMatrix& W, double t) {
  if (map.IsSingle()) {
    // Every unknown a multiple of one free parameter: straight into H_red.
    Hred.AsGenMatrixD().Fill(0.0);
    gred.Fill(0.0);
    Accumulate(W, Hred, gred.Data(), map.Placement());
  } else {
    const int nvt = map.Nvt();
    GenMatrixD& work = problem.Work();
    double* h = work.Data();
    double* g = work.Data() + static_cast<long>(nvt) * work.Rows();
    SymMatrixD H;
    H.Share(GenMatrixD(nvt, nvt, h, 0));
    std::fill(h, h + static_cast<long>(nvt) * nvt, 0.0);
    std::fill(g, g + nvt, 0.0);
    Accumulate(W, H, g, UnknownPlacement());
    // H as a full symmetric matrix for the reduction.
    for (int j = 0; j < nvt; ++j)
      for (int i = j + 1; i < nvt; ++i) h[i + static_cast<long>(j) * nvt] = h[j + static_cast<long>(i) * nvt];
    map.ReduceSymmetric(h, nvt, Hred, product);
    map.ReduceVector(g, gred.Data());
  }
  Hred(0, 0) += t * t;
  gred[0] += t;
}

int NormalSystem::Factor() {
  const char uplo = 'U';
  const LapackInt n = map.Nv();
  LapackInt info = 0;
  dpotrf_(&uplo, &n, Hred.Data(), &n, &info, 1);
  return info;
}

void NormalSystem::Solve(GenMatrixD& rhs) const {
  const char uplo = 'U';
  const LapackInt n = map.Nv();
  const LapackInt nrhs = 1;
  LapackInt info = 0;
  dpotrs_(&uplo, &n, &nrhs, Hred.Data(), &n, rhs.Data(), &n, &info, 1);
}
