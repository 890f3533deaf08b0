#include "kernels.h"

#include <algorithm>

// Every product here sums, for each result element, the same terms in the
// same order as the plain triple loop (increasing inner index t), so the
// results are bit for bit those of that loop; only the order in which
// elements are visited changes, for the caches' sake.

namespace {

// ---------------------------------------------------------------------------
// Element-wise walks. Each reads element p of its operands before writing
// element p of the result, so the result may be one of the operands.

template <class Op>
void mapElements(int count, const double* a, double* c, Op op) {
  for (int p = 0; p < count; ++p) c[p] = op(a[p]);
}

template <class Op>
void zipElements(int count, const double* a, const double* b, double* c, Op op) {
  for (int p = 0; p < count; ++p) c[p] = op(a[p], b[p]);
}

// The upper triangle of n x n storage, column by column (rows 0..j).
template <class F>
void forUpper(int n, F f) {
  for (int j = 0; j < n; ++j)
    for (int p = j * n; p <= j * n + j; ++p) f(p);
}

// The lower triangle of n x n storage, column by column (rows j..n-1).
template <class F>
void forLower(int n, F f) {
  for (int j = 0; j < n; ++j)
    for (int p = j * n + j; p < (j + 1) * n; ++p) f(p);
}

// All n x n elements in storage order: kept(p) on the upper triangle,
// other(p) strictly below it.
template <class Kept, class Other>
void forUpperAndBelow(int n, Kept kept, Other other) {
  for (int j = 0; j < n; ++j) {
    for (int p = j * n; p <= j * n + j; ++p) kept(p);
    for (int p = j * n + j + 1; p < (j + 1) * n; ++p) other(p);
  }
}

// All n x n elements in storage order: other(p) strictly above the
// diagonal, kept(p) on the lower triangle.
template <class Kept, class Other>
void forLowerAndAbove(int n, Kept kept, Other other) {
  for (int j = 0; j < n; ++j) {
    for (int p = j * n; p < j * n + j; ++p) other(p);
    for (int p = j * n + j; p < (j + 1) * n; ++p) kept(p);
  }
}

// ---------------------------------------------------------------------------
// General product C = op(A) op(B), m x n with inner size k, C(i, j) at
// i + j*m. Each element starts from 0.0 and adds op(A)(i, t) * op(B)(t, j)
// for t = 0, 1, ..., k-1. The work is cut into blocks of the inner index
// (kept in order) and of rows, so that a panel of A stays in cache, and each
// block into small tiles of C whose partial sums stay in registers.

constexpr int kInnerBlock = 256;
constexpr int kRowBlock = 128;
constexpr int kTileRows = 4;
constexpr int kTileCols = 4;

// op(A) and op(B) of column-major A and B (column strides lda and ldb).
template <bool TA>
inline double opA(const double* a, int lda, int i, int t) {
  return TA ? a[t + i * lda] : a[i + t * lda];
}
template <bool TB>
inline double opB(const double* b, int ldb, int t, int j) {
  return TB ? b[j + t * ldb] : b[t + j * ldb];
}

// One tile of C, rows i0.., columns j0.., over inner indices t0..t1-1. The
// tile continues the partial sums that C holds unless t0 is 0, where it
// starts them from 0.0. Full tiles have their sizes fixed at compile time.
template <bool TA, bool TB, bool Full>
void productTile(const double* __restrict a, int lda, const double* __restrict b, int ldb, double* __restrict c,
                 int ldc, int i0, int j0, int rowCount, int colCount, int t0, int t1) {
  const int rows = Full ? kTileRows : std::min(rowCount, kTileRows);
  const int cols = Full ? kTileCols : std::min(colCount, kTileCols);
  double sum[kTileCols][kTileRows];
  for (int q = 0; q < cols; ++q)
    for (int r = 0; r < rows; ++r) sum[q][r] = t0 == 0 ? 0.0 : c[(i0 + r) + (j0 + q) * ldc];
  for (int t = t0; t < t1; ++t) {
    double x[kTileRows];
    for (int r = 0; r < rows; ++r) x[r] = opA<TA>(a, lda, i0 + r, t);
    for (int q = 0; q < cols; ++q) {
      const double y = opB<TB>(b, ldb, t, j0 + q);
      for (int r = 0; r < rows; ++r) sum[q][r] += x[r] * y;
    }
  }
  for (int q = 0; q < cols; ++q)
    for (int r = 0; r < rows; ++r) c[(i0 + r) + (j0 + q) * ldc] = sum[q][r];
}

template <bool TA, bool TB>
void productBlocked(const double* a, int lda, const double* b, int ldb, double* c, int m, int n, int k) {
  // One pass even for k = 0, which writes the zeros.
  for (int t0 = 0; t0 == 0 || t0 < k; t0 += kInnerBlock) {
    const int t1 = std::min(k, t0 + kInnerBlock);
    for (int ib = 0; ib < m; ib += kRowBlock) {
      const int iEnd = std::min(m, ib + kRowBlock);
      for (int j0 = 0; j0 < n; j0 += kTileCols) {
        const int colCount = std::min(kTileCols, n - j0);
        for (int i0 = ib; i0 < iEnd; i0 += kTileRows) {
          const int rowCount = std::min(kTileRows, iEnd - i0);
          if (rowCount == kTileRows && colCount == kTileCols)
            productTile<TA, TB, true>(a, lda, b, ldb, c, m, i0, j0, rowCount, colCount, t0, t1);
          else
            productTile<TA, TB, false>(a, lda, b, ldb, c, m, i0, j0, rowCount, colCount, t0, t1);
        }
      }
    }
  }
}

void product(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transposeA, int transposeB) {
  const int m = transposeA ? A.Cols() : A.Rows();
  const int k = transposeA ? A.Rows() : A.Cols();  // B's inner size is not read
  const int n = transposeB ? B.Rows() : B.Cols();
  multiplyArrays(A.Data(), A.Rows(), transposeA, B.Data(), B.Rows(), transposeB, C.Data(), m, n, k);
}

// ---------------------------------------------------------------------------
// Products with a triangular operand. C(i, j), for the rows of column j that
// the kernel writes, is the sum over t from lo(i, j) to hi(i, j) of
// X(i, t) * Y(t, j), started with the first product and continued in
// increasing t. Starting from -0.0 and adding every product gives exactly
// that: -0.0 + x is x for every x, the sign of a zero included.

// X(i, t) at data[i*rowStep + t*innerStep]; Y(t, j) at
// data[t*innerStep + j*colStep].
struct LeftView {
  const double* data;
  int rowStep;
  int innerStep;
};

// Strides of op(M) for a column-major M with column stride ld, as the left
// operand X and as the right operand Y.
LeftView leftOperand(const double* data, int ld, int transpose) {
  return transpose ? LeftView{data, ld, 1} : LeftView{data, 1, ld};
}
struct RightView {
  const double* data;
  int innerStep;
  int colStep;
};
RightView rightOperand(const double* data, int ld, int transpose) {
  return transpose ? RightView{data, ld, 1} : RightView{data, 1, ld};
}

// The range of t for C(i, j): from max of i (fromRow), j (fromCol) and 0 to
// min of i (toRow), j (toCol) and inner-1.
struct InnerRange {
  bool fromRow;
  bool fromCol;
  bool toRow;
  bool toCol;
};

// Which rows of column j are written: all, 0..j, or j..m-1.
enum class Written { All, UpToDiagonal, FromDiagonal };

struct RangedProduct {
  LeftView x;
  RightView y;
  int m;  // rows of the product, also C's column stride
  int n;
  int inner;
  InnerRange range;
  Written written;
};

int firstWrittenRow(const RangedProduct& p, int j) { return p.written == Written::FromDiagonal ? j : 0; }
int endWrittenRow(const RangedProduct& p, int j) {
  return p.written == Written::UpToDiagonal ? std::min(j + 1, p.m) : p.m;
}

// c(i, q) += x[i] * y[q] for rows iBegin..iEnd-1 of Width columns of C.
template <int Width>
void addScaledColumn(int iBegin, int iEnd, const double* __restrict x, const double* y, double* __restrict c, int ldc) {
  for (int i = iBegin; i < iEnd; ++i) {
    const double xi = x[i];
    for (int q = 0; q < Width; ++q) c[i + q * ldc] += xi * y[q];
  }
}

// Column form for columns j0..j0+Width-1: for each t, the rows whose range
// holds t get their next term from column t of X, which is contiguous. The
// rows and the range of t are those of column j0, so a group wider than one
// column needs ranges that do not depend on the column; the group then reads
// each column of X once for all its columns.
template <int Width>
void columnsByAxpy(const RangedProduct& p, double* c, int j0) {
  const int rowBegin = firstWrittenRow(p, j0);
  const int rowEnd = endWrittenRow(p, j0);
  double* cj = c + j0 * p.m;
  for (int q = 0; q < Width; ++q)
    for (int i = rowBegin; i < rowEnd; ++i) cj[i + q * p.m] = -0.0;
  const int tBegin = p.range.fromCol ? j0 : 0;
  const int tEnd = p.range.toCol ? std::min(j0 + 1, p.inner) : p.inner;
  for (int t = tBegin; t < tEnd; ++t) {
    double y[Width];
    for (int q = 0; q < Width; ++q) y[q] = p.y.data[t * p.y.innerStep + (j0 + q) * p.y.colStep];
    // t <= hi(i) needs i >= t under toRow; t >= lo(i) needs i <= t under fromRow.
    const int iBegin = p.range.toRow ? std::max(rowBegin, t) : rowBegin;
    const int iEnd = p.range.fromRow ? std::min(rowEnd, t + 1) : rowEnd;
    addScaledColumn<Width>(iBegin, iEnd, p.x.data + t * p.x.innerStep, y, cj, p.m);
  }
}

void rangedProductByColumns(const RangedProduct& p, double* c) {
  constexpr int kGroup = 4;
  const bool sameRangesInEveryColumn = !p.range.fromCol && !p.range.toCol && p.written == Written::All;
  int j = 0;
  if (sameRangesInEveryColumn)
    for (; j + kGroup <= p.n; j += kGroup) columnsByAxpy<kGroup>(p, c, j);
  for (; j < p.n; ++j) columnsByAxpy<1>(p, c, j);
}

// Dot form, for an X whose rows are contiguous or strided alike.
void rangedProductByDots(const RangedProduct& p, double* __restrict c) {
  for (int j = 0; j < p.n; ++j) {
    const double* yj = p.y.data + j * p.y.colStep;
    const int rowEnd = endWrittenRow(p, j);
    for (int i = firstWrittenRow(p, j); i < rowEnd; ++i) {
      const double* xi = p.x.data + i * p.x.rowStep;
      int lo = 0;
      if (p.range.fromRow) lo = std::max(lo, i);
      if (p.range.fromCol) lo = std::max(lo, j);
      int hi = p.inner - 1;
      if (p.range.toRow) hi = std::min(hi, i);
      if (p.range.toCol) hi = std::min(hi, j);
      double sum = -0.0;
      for (int t = lo; t <= hi; ++t) sum += xi[t * p.x.innerStep] * yj[t * p.y.innerStep];
      c[i + j * p.m] = sum;
    }
  }
}

void rangedProduct(const RangedProduct& p, double* c) {
  if (p.x.rowStep == 1)
    rangedProductByColumns(p, c);
  else
    rangedProductByDots(p, c);
}

// Zeros in the triangle of an n x n result that a triangular product leaves
// out: strictly below the diagonal, or strictly above it.
void zeroBelow(int n, double* c) {
  for (int j = 0; j < n; ++j)
    for (int i = j + 1; i < n; ++i) c[i + j * n] = 0.0;
}
void zeroAbove(int n, double* c) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < j; ++i) c[i + j * n] = 0.0;
}

constexpr InnerRange kFromRow{true, false, false, false};
constexpr InnerRange kToRow{false, false, true, false};
constexpr InnerRange kFromCol{false, true, false, false};
constexpr InnerRange kToCol{false, false, false, true};
constexpr InnerRange kColToRow{false, true, true, false};     // t = j..i
constexpr InnerRange kRowToCol{true, false, false, true};     // t = i..j
constexpr InnerRange kToMinimum{false, false, true, true};    // t = 0..min(i, j)
constexpr InnerRange kFromMaximum{true, true, false, false};  // t = max(i, j)..inner-1

// op(A) op(B) of two n x n triangular matrices with all n x n elements
// written. rangeOf[transposeA][transposeB] gives the terms that can be
// nonzero. With equal flags the product is triangular again: a range from i
// to j is empty below the diagonal, one from j to i above it, and the other
// triangle gets zeros.
void triangularProductFull(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transposeA, int transposeB,
                           const InnerRange (&rangeOf)[2][2]) {
  const int n = A.Cols();
  const int ta = transposeA ? 1 : 0;
  const int tb = transposeB ? 1 : 0;
  Written written = Written::All;
  if (ta == tb) {
    const InnerRange& r = rangeOf[ta][tb];
    written = r.fromRow ? Written::UpToDiagonal : Written::FromDiagonal;
  }
  const RangedProduct p{
      leftOperand(A.Data(), A.Rows(), ta), rightOperand(B.Data(), B.Rows(), tb), n, n, n, rangeOf[ta][tb], written};
  rangedProduct(p, C.Data());
  if (written == Written::UpToDiagonal) zeroBelow(n, C.Data());
  if (written == Written::FromDiagonal) zeroAbove(n, C.Data());
}

}  // namespace

void multiplyArrays(const double* a, int lda, int transposeA, const double* b, int ldb, int transposeB, double* c,
                    int m, int n, int k) {
  if (m == 0 || n == 0) return;
  if (transposeA) {
    if (transposeB)
      productBlocked<true, true>(a, lda, b, ldb, c, m, n, k);
    else
      productBlocked<true, false>(a, lda, b, ldb, c, m, n, k);
  } else {
    if (transposeB)
      productBlocked<false, true>(a, lda, b, ldb, c, m, n, k);
    else
      productBlocked<false, false>(a, lda, b, ldb, c, m, n, k);
  }
}

// ---------------------------------------------------------------------------
// General matrices.

void addGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C) {
  zipElements(A.Size(), A.Data(), B.Data(), C.Data(), [](double a, double b) { return a + b; });
}

void subtractGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C) {
  zipElements(A.Size(), A.Data(), B.Data(), C.Data(), [](double a, double b) { return a - b; });
}

// The inner size is cols(A): the walk along row i of A's storage ends at
// its element count, which is rows(A)*cols(A).
void multiplyGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C) { product(A, B, C, 0, 0); }

void multiplyGenT(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transposeA, int transposeB) {
  product(A, B, C, transposeA, transposeB);
}

// B(j, i) := A(i, j), by square tiles so that both sides stay in cache.
void transposeGen(const GenMatrixD& A, GenMatrixD& B) {
  constexpr int kTile = 32;
  const int rows = A.Rows();
  const int cols = A.Cols();
  const int lda = rows;
  const int ldb = B.Rows();
  const double* __restrict a = A.Data();
  double* __restrict b = B.Data();
  for (int i0 = 0; i0 < rows; i0 += kTile) {
    const int i1 = std::min(rows, i0 + kTile);
    for (int j0 = 0; j0 < cols; j0 += kTile) {
      const int j1 = std::min(cols, j0 + kTile);
      for (int i = i0; i < i1; ++i)
        for (int j = j0; j < j1; ++j) b[j + i * ldb] = a[i + j * lda];
    }
  }
}

void addScalarGen(double s, const GenMatrixD& A, GenMatrixD& C) {
  mapElements(A.Size(), A.Data(), C.Data(), [s](double a) { return s + a; });
}

void subtractFromScalarGen(double s, const GenMatrixD& A, GenMatrixD& C) {
  mapElements(A.Size(), A.Data(), C.Data(), [s](double a) { return s - a; });
}

void scaleGen(double s, const GenMatrixD& A, GenMatrixD& C) {
  mapElements(A.Size(), A.Data(), C.Data(), [s](double a) { return s * a; });
}

void divideGen(const GenMatrixD& A, double s, GenMatrixD& C) {
  mapElements(A.Size(), A.Data(), C.Data(), [s](double a) { return a / s; });
}

// ---------------------------------------------------------------------------
// Symmetric matrices.

void addSym(const SymMatrixD& A, const SymMatrixD& B, SymMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = a[p] + b[p]; });
}

void subtractSym(const SymMatrixD& A, const SymMatrixD& B, SymMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = a[p] - b[p]; });
}

void addScalarSym(double s, const SymMatrixD& A, SymMatrixD& C) {
  const double* a = A.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = s + a[p]; });
}

void subtractFromScalarSym(double s, const SymMatrixD& A, SymMatrixD& C) {
  const double* a = A.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = s - a[p]; });
}

void scaleSym(double s, const SymMatrixD& A, SymMatrixD& C) {
  const double* a = A.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = s * a[p]; });
}

void divideSym(const SymMatrixD& A, double s, SymMatrixD& C) {
  const double* a = A.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = a[p] / s; });
}

// ---------------------------------------------------------------------------
// Upper triangular matrices.

void addUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C) {
  const double* u = U.Data();
  const double* g = G.Data();
  double* c = C.Data();
  forUpperAndBelow(
      U.Cols(), [=](int p) { c[p] = u[p] + g[p]; }, [=](int p) { c[p] = g[p]; });
}

void subtractUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C) {
  const double* u = U.Data();
  const double* g = G.Data();
  double* c = C.Data();
  forUpperAndBelow(
      U.Cols(), [=](int p) { c[p] = u[p] - g[p]; }, [=](int p) { c[p] = -g[p]; });
}

void subtractGenUTr(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C) {
  const double* g = G.Data();
  const double* u = U.Data();
  double* c = C.Data();
  forUpperAndBelow(
      G.Cols(), [=](int p) { c[p] = g[p] - u[p]; }, [=](int p) { c[p] = g[p]; });
}

void multiplyUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C) { multiplyUTrGenT(U, G, C, 0, 0); }

void multiplyGenUTr(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C) { multiplyGenUTrT(G, U, C, 0, 0); }

// Without transposeU: t = i..cols(U)-1 of U(i, t); with it: t = 0..i of U(t, i).
void multiplyUTrGenT(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C, int transposeU, int transposeG) {
  const RangedProduct p{leftOperand(U.Data(), U.Rows(), transposeU),
                        rightOperand(G.Data(), G.Rows(), transposeG),
                        transposeU ? U.Cols() : U.Rows(),
                        transposeG ? G.Rows() : G.Cols(),
                        U.Cols(),
                        transposeU ? kToRow : kFromRow,
                        Written::All};
  rangedProduct(p, C.Data());
}

// Without transposeU: t = 0..j of U(t, j); with it: t = j..cols(U)-1 of U(j, t).
void multiplyGenUTrT(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C, int transposeG, int transposeU) {
  const RangedProduct p{leftOperand(G.Data(), G.Rows(), transposeG),
                        rightOperand(U.Data(), U.Rows(), transposeU),
                        transposeG ? G.Cols() : G.Rows(),
                        transposeU ? U.Rows() : U.Cols(),
                        U.Cols(),
                        transposeU ? kFromCol : kToCol,
                        Written::All};
  rangedProduct(p, C.Data());
}

void addUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = a[p] + b[p]; });
}

void subtractUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forUpper(A.Cols(), [=](int p) { c[p] = a[p] - b[p]; });
}

// C(i, j) for i <= j over t = i..j; C's column stride is cols(B).
void multiplyUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C) {
  const RangedProduct p{leftOperand(A.Data(), A.Rows(), 0),
                        rightOperand(B.Data(), B.Rows(), 0),
                        B.Cols(),
                        B.Cols(),
                        B.Cols(),
                        kRowToCol,
                        Written::UpToDiagonal};
  rangedProduct(p, C.Data());
}

void multiplyUTrT(const UTrMatrixD& A, const UTrMatrixD& B, GenMatrixD& C, int transposeA, int transposeB) {
  // [transposeA][transposeB]: U U upper, U' U full, U U' full, U' U' lower.
  static constexpr InnerRange kRanges[2][2] = {{kRowToCol, kFromMaximum}, {kToMinimum, kColToRow}};
  triangularProductFull(A.AsGenMatrixD(), B.AsGenMatrixD(), C, transposeA, transposeB, kRanges);
}

void addScalarUTr(double s, const UTrMatrixD& U, GenMatrixD& C) {
  const double* u = U.Data();
  double* c = C.Data();
  forUpperAndBelow(
      U.Cols(), [=](int p) { c[p] = s + u[p]; }, [=](int p) { c[p] = s; });
}

void subtractFromScalarUTr(double s, const UTrMatrixD& U, GenMatrixD& C) {
  const double* u = U.Data();
  double* c = C.Data();
  forUpperAndBelow(
      U.Cols(), [=](int p) { c[p] = s - u[p]; }, [=](int p) { c[p] = s; });
}

void scaleUTr(double s, const UTrMatrixD& U, UTrMatrixD& C) {
  const double* u = U.Data();
  double* c = C.Data();
  forUpper(U.Cols(), [=](int p) { c[p] = s * u[p]; });
}

void divideUTr(const UTrMatrixD& U, double s, UTrMatrixD& C) {
  const double* u = U.Data();
  double* c = C.Data();
  forUpper(U.Cols(), [=](int p) { c[p] = u[p] / s; });
}

// ---------------------------------------------------------------------------
// Lower triangular matrices.

void addLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C) {
  const double* l = L.Data();
  const double* g = G.Data();
  double* c = C.Data();
  forLowerAndAbove(
      L.Cols(), [=](int p) { c[p] = l[p] + g[p]; }, [=](int p) { c[p] = g[p]; });
}

void subtractLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C) {
  const double* l = L.Data();
  const double* g = G.Data();
  double* c = C.Data();
  forLowerAndAbove(
      L.Cols(), [=](int p) { c[p] = l[p] - g[p]; }, [=](int p) { c[p] = -g[p]; });
}

void subtractGenLTr(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C) {
  const double* g = G.Data();
  const double* l = L.Data();
  double* c = C.Data();
  forLowerAndAbove(
      G.Cols(), [=](int p) { c[p] = g[p] - l[p]; }, [=](int p) { c[p] = g[p]; });
}

void multiplyLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C) { multiplyLTrGenT(L, G, C, 0, 0); }

void multiplyGenLTr(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C) { multiplyGenLTrT(G, L, C, 0, 0); }

// Without transposeL: t = 0..i of L(i, t); with it: t = i..rows(L)-1 of L(t, i).
void multiplyLTrGenT(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C, int transposeL, int transposeG) {
  const RangedProduct p{leftOperand(L.Data(), L.Rows(), transposeL),
                        rightOperand(G.Data(), G.Rows(), transposeG),
                        transposeL ? L.Cols() : L.Rows(),
                        transposeG ? G.Rows() : G.Cols(),
                        L.Rows(),
                        transposeL ? kFromRow : kToRow,
                        Written::All};
  rangedProduct(p, C.Data());
}

// Without transposeL: t = j..rows(L)-1 of L(t, j); with it: t = 0..j of L(j, t).
void multiplyGenLTrT(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C, int transposeG, int transposeL) {
  const RangedProduct p{leftOperand(G.Data(), G.Rows(), transposeG),
                        rightOperand(L.Data(), L.Rows(), transposeL),
                        transposeG ? G.Cols() : G.Rows(),
                        transposeL ? L.Rows() : L.Cols(),
                        L.Rows(),
                        transposeL ? kToCol : kFromCol,
                        Written::All};
  rangedProduct(p, C.Data());
}

void addLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forLower(A.Cols(), [=](int p) { c[p] = a[p] + b[p]; });
}

void subtractLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C) {
  const double* a = A.Data();
  const double* b = B.Data();
  double* c = C.Data();
  forLower(A.Cols(), [=](int p) { c[p] = a[p] - b[p]; });
}

// C(i, j) for i >= j over t = j..i.
void multiplyLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C) {
  const RangedProduct p{leftOperand(A.Data(), A.Rows(), 0),
                        rightOperand(B.Data(), B.Rows(), 0),
                        A.Rows(),
                        B.Cols(),
                        A.Rows(),
                        kColToRow,
                        Written::FromDiagonal};
  rangedProduct(p, C.Data());
}

void multiplyLTrT(const LTrMatrixD& A, const LTrMatrixD& B, GenMatrixD& C, int transposeA, int transposeB) {
  // [transposeA][transposeB]: L L lower, L' L full, L L' full, L' L' upper.
  static constexpr InnerRange kRanges[2][2] = {{kColToRow, kToMinimum}, {kFromMaximum, kRowToCol}};
  triangularProductFull(A.AsGenMatrixD(), B.AsGenMatrixD(), C, transposeA, transposeB, kRanges);
}

void addScalarLTr(double s, const LTrMatrixD& L, GenMatrixD& C) {
  const double* l = L.Data();
  double* c = C.Data();
  forLowerAndAbove(
      L.Cols(), [=](int p) { c[p] = s + l[p]; }, [=](int p) { c[p] = s; });
}

void subtractFromScalarLTr(double s, const LTrMatrixD& L, GenMatrixD& C) {
  const double* l = L.Data();
  double* c = C.Data();
  forLowerAndAbove(
      L.Cols(), [=](int p) { c[p] = s - l[p]; }, [=](int p) { c[p] = s; });
}

void scaleLTr(double s, const LTrMatrixD& L, LTrMatrixD& C) {
  const double* l = L.Data();
  double* c = C.Data();
  forLower(L.Cols(), [=](int p) { c[p] = s * l[p]; });
}

void divideLTr(const LTrMatrixD& L, double s, LTrMatrixD& C) {
  const double* l = L.Data();
  double* c = C.Data();
  forLower(L.Cols(), [=](int p) { c[p] = l[p] / s; });
}
