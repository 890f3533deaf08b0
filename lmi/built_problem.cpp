#include "built_problem.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

#include "allocation.h"
#include "block_eval.h"
#include "value_utils.h"

namespace {

constexpr long kLargePage = 2L << 20;

// count doubles (at least one), left as the system gives them. A block of
// a large page or more is aligned to large pages and marked for them where
// the system has them: a first touch of fresh memory costs more than the
// Newton systems' arithmetic on it, and a large page takes one fault where
// its 4 KB pages take 512. Freed with std::free.
double* allocateLarge(long count) {
  const long bytes = std::max(count, 1L) * static_cast<long>(sizeof(double));
  void* block = nullptr;
  if (bytes < kLargePage) {
    block = std::malloc(bytes);
  } else {
    const long rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    block = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
    if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  }
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<double*>(block);
}

// op(X), the variable as it enters a term.
int opRows(const GenMatrixD& X, int transposed) { return transposed ? X.Cols() : X.Rows(); }
int opCols(const GenMatrixD& X, int transposed) { return transposed ? X.Rows() : X.Cols(); }

// The variable of a term; a term that names none reads as a 1 x 1 one.
const GenMatrixD* termVariable(const ReducedTerm& term, const GenMatrixD* variables) {
  return term.variable >= 0 ? &variables[term.variable] : nullptr;
}

int isMatrixVariable(const GenMatrixD* X) { return X != nullptr && !isOneByOne(*X); }

// A view of rows x cols elements on a scratch column (empty when the product
// is not formed).
void shapeView(GenMatrixD& view, int rows, int cols, double* column) {
  GenMatrixD shaped(rows, cols, column, 0);
  view.Share(shaped);
}

}  // namespace

// ---------------------------------------------------------------------------
// ReducedTerm

int ReducedTerm::HasLeftMatrix() const { return !leftIsIdentity && !isOneByOne(left); }
int ReducedTerm::HasRightMatrix() const { return !rightIsIdentity && !isOneByOne(right); }

double ReducedTerm::FactorScale() const {
  double scale = coefficient;
  if (!leftIsIdentity && isOneByOne(left)) scale *= left[0];
  if (!rightIsIdentity && isOneByOne(right)) scale *= right[0];
  return scale;
}

int ReducedTerm::Rows(const GenMatrixD* variables) const {
  if (HasLeftMatrix()) return left.Rows();
  const GenMatrixD* X = termVariable(*this, variables);
  if (isMatrixVariable(X)) return opRows(*X, transposed);
  return HasRightMatrix() ? right.Rows() : 1;
}

int ReducedTerm::Cols(const GenMatrixD* variables) const {
  if (HasRightMatrix()) return right.Cols();
  const GenMatrixD* X = termVariable(*this, variables);
  if (isMatrixVariable(X)) return opCols(*X, transposed);
  return HasLeftMatrix() ? left.Cols() : 1;
}

int ReducedTerm::MaxDimension(const GenMatrixD* variables) const {
  int m = std::max({left.Rows(), left.Cols(), right.Rows(), right.Cols(), Rows(variables), Cols(variables)});
  const GenMatrixD* X = termVariable(*this, variables);
  if (isMatrixVariable(X) && HasLeftMatrix() && HasRightMatrix()) m = std::max(m, opCols(*X, transposed));
  return m;
}

void ReducedTerm::BindScratch(const GenMatrixD* variables, double* valueColumn, double* firstColumn) {
  const GenMatrixD* X = termVariable(*this, variables);
  const int lm = HasLeftMatrix();
  const int rm = HasRightMatrix();
  int firstRows = 0;
  int firstCols = 0;
  // On a 1 x 1 variable the product of both factors (a 1 x 1 one as a
  // scalar); otherwise L op(X) R, formed through L op(X), or through
  // l op(X) for a 1 x 1 left factor l, when a right factor follows.
  int formed = !leftIsIdentity && !rightIsIdentity;
  if (isMatrixVariable(X)) {
    formed = lm || rm;
    if (rm && !leftIsIdentity) {
      firstRows = lm ? left.Rows() : opRows(*X, transposed);
      firstCols = opCols(*X, transposed);
    }
  }
  shapeView(product, formed ? Rows(variables) : 0, formed ? Cols(variables) : 0, valueColumn);
  shapeView(firstProduct, firstRows, firstCols, firstColumn);
}

// ---------------------------------------------------------------------------
// TermList, BlockLmi

void TermList::Bind(const GenMatrixD* variableArray, const int* offsetArray) {
  variables = variableArray;
  offsets = offsetArray;
}

void TermList::Resize(int n) {
  terms.reset(n > 0 ? new ReducedTerm[n] : nullptr);
  numTerms = n > 0 ? n : 0;
}

void TermList::SetLeftFactor(int k, const GenMatrixD& L) {
  terms[k].left.Share(L);
  terms[k].leftIsIdentity = 0;
}

void TermList::SetRightFactor(int k, const GenMatrixD& R) {
  terms[k].right.Share(R);
  terms[k].rightIsIdentity = 0;
}

const ReducedTerm* TermList::FirstMatrixTerm() const {
  for (int k = 0; k < numTerms; ++k)
    if (!terms[k].IsScalar(variables)) return &terms[k];
  return nullptr;
}

int TermList::Rows() const {
  if (numTerms == 0) return 0;
  const ReducedTerm* term = FirstMatrixTerm();
  return term != nullptr ? term->Rows(variables) : 1;
}

int TermList::Cols() const {
  if (numTerms == 0) return 0;
  const ReducedTerm* term = FirstMatrixTerm();
  return term != nullptr ? term->Cols(variables) : 1;
}

int TermList::MaxDimension() const {
  int m = std::max(Rows(), Cols());
  for (int k = 0; k < numTerms; ++k) m = std::max(m, terms[k].MaxDimension(variables));
  return m;
}

void TermList::BindScratch(double* valueColumn, double* firstColumn) {
  for (int k = 0; k < numTerms; ++k) terms[k].BindScratch(variables, valueColumn, firstColumn);
}

void BlockLmi::Bind(const GenMatrixD* variableArray, const int* offsetArray) {
  variables = variableArray;
  offsets = offsetArray;
}

void BlockLmi::Allocate(int count) {
  n = count > 0 ? count : 0;
  const int entries = n * (n + 1) / 2;
  subBlocks.reset(entries > 0 ? new SubBlock[entries] : nullptr);
  for (int e = 0; e < entries; ++e) subBlocks[e].Bind(variables, offsets);
  rowOffsets.reset(new int[n + 1]());
}

void BlockLmi::ComputeRowOffsets() {
  for (int i = 0; i <= n; ++i) rowOffsets[i] = 0;
  for (int i = 0; i < n; ++i) {
    int height = 0;  // a row without any term has no height
    for (int j = 0; j < n; ++j) {
      const SubBlock& entry = SubBlockAt(i, j);
      if (entry.NumTerms() == 0) continue;
      // Entry (i, j) holds block (i, j) of the upper triangle when i < j,
      // block (j, i) (or the diagonal block) otherwise.
      height = i < j ? entry.Rows() : entry.Cols();
      break;
    }
    rowOffsets[i + 1] = rowOffsets[i] + height;
  }
}

int BlockLmi::MaxDimension() const {
  int m = 0;
  const int entries = n * (n + 1) / 2;
  for (int e = 0; e < entries; ++e) m = std::max(m, subBlocks[e].MaxDimension());
  return m;
}

void BlockLmi::BindScratch(double* valueColumn, double* firstColumn) {
  const int entries = n * (n + 1) / 2;
  for (int e = 0; e < entries; ++e) subBlocks[e].BindScratch(valueColumn, firstColumn);
}

// ---------------------------------------------------------------------------
// LinearInequalities

void LinearInequalities::Value(GenMatrixD& out) const {
  const int rows = C.Rows();
  const int columns = C.Cols();
  if (rows == 0 || columns == 0) return;
  double* y = out.Data();
  const double* c = C.Data();
  const double x0 = variables[0][0];
  for (int r = 0; r < rows; ++r) y[r] = c[r] * x0;
  int u = 1;
  for (int v = 1; v < numVariables; ++v) {
    const GenMatrixD& X = variables[v];
    const int count = X.Rows() * X.Cols();
    for (int e = 0; e < count && u < columns; ++e, ++u) {
      const double x = X[e];
      const double* column = c + u * rows;
      for (int r = 0; r < rows; ++r) y[r] += x * column[r];
    }
  }
}

// ---------------------------------------------------------------------------
// ConstraintSet

ConstraintSet::ConstraintSet(int variableCount, int termBlockCount, int blockLmiCount, int withLinear)
    : numTermBlocks(termBlockCount),
      numBlockLmis(blockLmiCount),
      hasLinear(withLinear),
      numVariables(variableCount),
      variables(new GenMatrixD[variableCount > 0 ? variableCount : 0]),
      offsets(new int[variableCount > 0 ? variableCount : 0]()) {
  if (numTermBlocks > 0) {
    termBlocks.reset(new TermBlock[numTermBlocks]);
    for (int k = 0; k < numTermBlocks; ++k) termBlocks[k].Bind(variables.get(), offsets.get());
  }
  if (numBlockLmis > 0) {
    blockLmis.reset(new BlockLmi[numBlockLmis]);
    for (int k = 0; k < numBlockLmis; ++k) blockLmis[k].Bind(variables.get(), offsets.get());
  }
  if (hasLinear) linear.reset(new LinearInequalities(numVariables, variables.get()));
}

GenMatrixD& ConstraintSet::SetVariable(int i, const GenMatrixD& m) {
  variables[i].Share(m);
  return variables[i];
}

int ConstraintSet::SetUp() {
  int total = 0;
  for (int v = 0; v < numVariables; ++v) {
    offsets[v] = total;
    total += variables[v].Rows() * variables[v].Cols();
  }
  for (int k = 0; k < numBlockLmis; ++k) blockLmis[k].ComputeRowOffsets();
  const int m = MaxDimension();
  if (!isAllocatableCount(6.0 * elementCount(m, m))) return 1;
  scratch = GenMatrixD(m * m, 6);
  double* valueColumn = scratch.Data();
  double* firstColumn = valueColumn + m * m;
  for (int k = 0; k < numTermBlocks; ++k) termBlocks[k].BindScratch(valueColumn, firstColumn);
  for (int k = 0; k < numBlockLmis; ++k) blockLmis[k].BindScratch(valueColumn, firstColumn);
  return 0;
}

int ConstraintSet::MaxDimension() const {
  int m = 0;
  for (int k = 0; k < numTermBlocks; ++k) m = std::max(m, termBlocks[k].MaxDimension());
  for (int k = 0; k < numBlockLmis; ++k) m = std::max(m, blockLmis[k].MaxDimension());
  return m;
}

void ConstraintSet::StoreUnknowns(const GenMatrixD& x) {
  int i = 0;
  for (int v = 0; v < numVariables; ++v) {
    GenMatrixD& X = variables[v];
    const int count = X.Rows() * X.Cols();
    for (int e = 0; e < count; ++e) X[e] = x[i++];
  }
}

void ConstraintSet::EvaluateBlocks(BlockDiagonalMatrix& out) const {
  if (hasLinear) linear->Value(out.Diagonal());
  for (int k = 0; k < numTermBlocks; ++k) evalTermBlock(termBlocks[k], out.Block(k));
  for (int k = 0; k < numBlockLmis; ++k) evalBlockLmi(blockLmis[k], out.Block(numTermBlocks + k));
}

// ---------------------------------------------------------------------------
// BuiltProblem

int BuiltProblem::FinalizeSizes() {
  if (SetUp()) return 1;
  nvt = 0;
  for (int v = 0; v < NumVariables(); ++v) nvt += Variable(v).Rows() * Variable(v).Cols();
  nb = NumTermBlocks() + NumBlockLmis();
  blockSizes.reset(nb > 0 ? new int[nb] : nullptr);
  for (int k = 0; k < NumTermBlocks(); ++k) blockSizes[k] = TermBlockAt(k).Size();
  for (int j = 0; j < NumBlockLmis(); ++j) blockSizes[NumTermBlocks() + j] = BlockLmiAt(j).Size();
  td = HasLinear() ? Linear().Rows() : 0;
  if (freeIndex.Size() == 0) {
    freeIndex.Resize(nvt);
    for (int u = 0; u < nvt; ++u) freeIndex[u] = u;
  }
  nv = freeIndex.Size();
  // The solver holds every block as a square matrix, the packed triangles of
  // all of them (nt), the reduced Newton matrix, the least-squares matrix
  // and, when a dependent unknown combines several free parameters, the
  // work matrix over all unknowns: each must be one it can make.
  double triangles = td;
  for (int k = 0; k < nb; ++k) {
    if (!isAllocatableSize(blockSizes[k], blockSizes[k])) return 1;
    triangles += elementCount(blockSizes[k], blockSizes[k] + 1) / 2.0;
  }
  if (!isAllocatableSize(nv, nv) || !isAllocatableCount((triangles + 1.0) * nv)) return 1;
  const std::vector<int> counts = basis.RowCounts();
  singleEntryRows = std::none_of(counts.begin(), counts.end(), [](int c) { return c > 1; });
  if (!singleEntryRows && !isAllocatableCount(std::max(triangles, static_cast<double>(nvt)) * (nvt + 1.0))) return 1;
  nt = static_cast<int>(triangles);
  sumSizes = td;
  for (int k = 0; k < nb; ++k) sumSizes += blockSizes[k];
  work = GenMatrixD();
  newtonMatrix = GenMatrixD();
  leastSquaresMatrix = GenMatrixD();
  newtonStorage.reset();
  return 0;
}

GenMatrixD& BuiltProblem::Work() {
  if (work.Rows() == 0) work = GenMatrixD(std::max(nt, nvt), nvt + 1);
  return work;
}

GenMatrixD& BuiltProblem::NewtonMatrix() {
  MakeNewtonStorage();
  return newtonMatrix;
}

GenMatrixD& BuiltProblem::LeastSquaresMatrix() {
  MakeNewtonStorage();
  return leastSquaresMatrix;
}

void BuiltProblem::MakeNewtonStorage() {
  if (newtonStorage != nullptr) return;
  newtonStorage.reset(allocateLarge(static_cast<long>(std::max(nv, nt + 1)) * nv));
  newtonMatrix.Share(GenMatrixD(nv, nv, newtonStorage.get(), 0));
  leastSquaresMatrix.Share(GenMatrixD(nt + 1, nv, newtonStorage.get(), 0));
}

void BuiltProblem::ExpansionColumn(int k, std::vector<std::pair<int, double>>& column) const {
  column.assign(1, {freeIndex[k], 1.0});
  if (k >= basis.Cols()) return;
  for (int e = basis.ColumnBegin(k); e < basis.ColumnEnd(k); ++e)
    column.push_back({dependentIndex[basis.RowOf(e)], basis.ValueOf(e)});
}

void BuiltProblem::ExpandInto(const GenMatrixD& y, GenMatrixD& x) const {
  for (int i = 0; i < basis.Rows(); ++i) x[dependentIndex[i]] = 0.0;
  for (int j = 0; j < nv; ++j) {
    const double yj = y[j];
    x[freeIndex[j]] = yj;
    if (j >= basis.Cols()) continue;
    for (int e = basis.ColumnBegin(j); e < basis.ColumnEnd(j); ++e)
      x[dependentIndex[basis.RowOf(e)]] += basis.ValueOf(e) * yj;
  }
}

void BuiltProblem::ExpandFreeParameters(const GenMatrixD& y) {
  GenMatrixD x(nvt, 1);
  ExpandInto(y, x);
  StoreUnknowns(x);
}

void BuiltProblem::EvaluateAt(const GenMatrixD& y, BlockDiagonalMatrix& out) {
  ExpandFreeParameters(y);
  EvaluateBlocks(out);
}
