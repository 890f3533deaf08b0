#include "kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint64_t bitsOf(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

double fromBits(std::uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// A quiet NaN with a payload of its own: an element still holding it was
// never written. Another one marks elements a kernel must not read.
const double kUnwritten = fromBits(0x7FF80000DEADBEEFull);
const double kUnread = fromBits(0x7FF8000000BADBADull);

const double kInf = std::numeric_limits<double>::infinity();

// Full-mantissa values, so that a different summation order shows in the
// last bits, with exact zeros of both signs among them.
double randomValue(std::mt19937& rng) {
  const int kind = static_cast<int>(rng() % 10);
  if (kind == 0) return 0.0;
  if (kind == 1) return -0.0;
  return std::uniform_real_distribution<double>(-1.0, 1.0)(rng);
}

GenMatrixD randomGen(int rows, int cols, std::mt19937& rng) {
  GenMatrixD m(rows, cols);
  for (int k = 0; k < m.Size(); ++k) m[k] = randomValue(rng);
  return m;
}

GenMatrixD unwrittenGen(int rows, int cols) { return GenMatrixD(rows, cols, kUnwritten, 0); }

std::vector<double> contents(const GenMatrixD& m) { return std::vector<double>(m.Data(), m.Data() + m.Size()); }

void expectSameBits(double got, double want, const std::string& where) {
  EXPECT_EQ(bitsOf(got), bitsOf(want)) << where << ": got " << got << ", want " << want;
}

void expectSameBits(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < got.size(); ++k) expectSameBits(got[k], want[k], "element " + std::to_string(k));
}

// The sum of a triangular product: the first product of the range, then
// the others in increasing t.
template <class Term>
double edgeSum(int lo, int hi, Term term) {
  double sum = term(lo);
  for (int t = lo + 1; t <= hi; ++t) sum = sum + term(t);
  return sum;
}

// ---------------------------------------------------------------------------
// Element-wise general kernels.

const double kScalar = -1.7;

struct ElementwiseCase {
  const char* name;
  std::function<void(const GenMatrixD&, const GenMatrixD&, GenMatrixD&)> run;
  std::function<double(double, double)> expected;
};

const ElementwiseCase kElementwiseCases[] = {
    {"addGen", [](const GenMatrixD& a, const GenMatrixD& b, GenMatrixD& c) { addGen(a, b, c); },
     [](double a, double b) { return a + b; }},
    {"subtractGen", [](const GenMatrixD& a, const GenMatrixD& b, GenMatrixD& c) { subtractGen(a, b, c); },
     [](double a, double b) { return a - b; }},
    {"addScalarGen", [](const GenMatrixD& a, const GenMatrixD&, GenMatrixD& c) { addScalarGen(kScalar, a, c); },
     [](double a, double) { return kScalar + a; }},
    {"subtractFromScalarGen",
     [](const GenMatrixD& a, const GenMatrixD&, GenMatrixD& c) { subtractFromScalarGen(kScalar, a, c); },
     [](double a, double) { return kScalar - a; }},
    {"scaleGen", [](const GenMatrixD& a, const GenMatrixD&, GenMatrixD& c) { scaleGen(kScalar, a, c); },
     [](double a, double) { return kScalar * a; }},
    {"divideGen", [](const GenMatrixD& a, const GenMatrixD&, GenMatrixD& c) { divideGen(a, kScalar, c); },
     [](double a, double) { return a / kScalar; }},
};

void PrintTo(const ElementwiseCase& c, std::ostream* out) { *out << c.name; }

class ElementwiseKernel : public ::testing::TestWithParam<ElementwiseCase> {};

TEST_P(ElementwiseKernel, MatchesElementByElementDefinition) {
  const ElementwiseCase& kernel = GetParam();
  std::mt19937 rng(7);
  const int shapes[][2] = {{1, 1}, {1, 7}, {7, 1}, {5, 3}, {33, 17}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE(std::to_string(shape[0]) + "x" + std::to_string(shape[1]));
    GenMatrixD a = randomGen(shape[0], shape[1], rng);
    GenMatrixD b = randomGen(shape[0], shape[1], rng);
    a[0] = kInf;  // special values propagate like any other
    b[a.Size() - 1] = std::nan("");
    std::vector<double> want(a.Size());
    for (int k = 0; k < a.Size(); ++k) want[k] = kernel.expected(a[k], b[k]);

    GenMatrixD c = unwrittenGen(shape[0], shape[1]);
    kernel.run(a, b, c);
    expectSameBits(contents(c), want);

    GenMatrixD onA(a);  // the result may be the first operand...
    kernel.run(onA, b, onA);
    expectSameBits(contents(onA), want);

    GenMatrixD onB(b);  // ...or the second
    kernel.run(a, onB, onB);
    expectSameBits(contents(onB), want);
  }
}

TEST_P(ElementwiseKernel, FirstOperandBoundsTheLoop) {
  const ElementwiseCase& kernel = GetParam();
  std::mt19937 rng(8);
  const GenMatrixD big = randomGen(3, 3, rng);

  GenMatrixD c = unwrittenGen(3, 3);
  kernel.run(GenMatrixD(0), big, c);  // 0 x 0: nothing at all is written
  for (int k = 0; k < c.Size(); ++k) expectSameBits(c[k], kUnwritten, "element " + std::to_string(k));

  const GenMatrixD small = randomGen(2, 2, rng);
  kernel.run(small, big, c);
  for (int k = 0; k < 4; ++k) expectSameBits(c[k], kernel.expected(small[k], big[k]), "element " + std::to_string(k));
  for (int k = 4; k < c.Size(); ++k) expectSameBits(c[k], kUnwritten, "element " + std::to_string(k));
}

INSTANTIATE_TEST_SUITE_P(Kernels, ElementwiseKernel, ::testing::ValuesIn(kElementwiseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Kernels, DivideGenByZeroGivesInfinitiesAndNaN) {
  GenMatrixD a(1, 5);
  const double values[] = {2.0, -3.0, 0.0, -0.0, kInf};
  for (int k = 0; k < 5; ++k) a[k] = values[k];
  GenMatrixD c(1, 5);

  divideGen(a, 0.0, c);
  EXPECT_EQ(c[0], kInf);
  EXPECT_EQ(c[1], -kInf);
  EXPECT_TRUE(std::isnan(c[2]));
  EXPECT_TRUE(std::isnan(c[3]));
  EXPECT_EQ(c[4], kInf);

  divideGen(a, -0.0, c);
  EXPECT_EQ(c[0], -kInf);
  EXPECT_EQ(c[1], kInf);
  EXPECT_EQ(c[4], -kInf);
}

// ---------------------------------------------------------------------------
// Transpose.

TEST(Kernels, TransposeGenCopiesEveryElementBitForBit) {
  std::mt19937 rng(11);
  const int shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {3, 5}, {40, 70}, {70, 33}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE(std::to_string(shape[0]) + "x" + std::to_string(shape[1]));
    GenMatrixD a = randomGen(shape[0], shape[1], rng);
    a[a.Size() - 1] = kUnread;  // a NaN payload survives the copy
    GenMatrixD b = unwrittenGen(shape[1], shape[0]);
    transposeGen(a, b);
    for (int i = 0; i < a.Rows(); ++i)
      for (int j = 0; j < a.Cols(); ++j)
        expectSameBits(b(j, i), a(i, j), "(" + std::to_string(i) + ", " + std::to_string(j) + ")");
  }
}

TEST(Kernels, TransposeGenOfEmptyWritesNothing) {
  GenMatrixD b = unwrittenGen(2, 2);
  transposeGen(GenMatrixD(0), b);
  for (int k = 0; k < b.Size(); ++k) expectSameBits(b[k], kUnwritten, "element " + std::to_string(k));
}

// ---------------------------------------------------------------------------
// General products.

// C = op(A) op(B) straight from its definition: each element starts from
// 0.0 and adds the terms in increasing t; the sizes come from A (rows and
// inner size) and B (columns).
std::vector<double> naiveProduct(const GenMatrixD& A, const GenMatrixD& B, int transposeA, int transposeB) {
  const int rows = transposeA ? A.Cols() : A.Rows();
  const int inner = transposeA ? A.Rows() : A.Cols();
  const int cols = transposeB ? B.Rows() : B.Cols();
  std::vector<double> c;
  for (int j = 0; j < cols; ++j)
    for (int i = 0; i < rows; ++i) {
      double sum = 0.0;
      for (int t = 0; t < inner; ++t) sum = sum + (transposeA ? A(t, i) : A(i, t)) * (transposeB ? B(j, t) : B(t, j));
      c.push_back(sum);
    }
  return c;
}

// Runs a product into a column of spare room: the kernel must write the
// m*n leading elements and nothing after them, whatever C's shape says.
std::vector<double> productIntoColumn(const GenMatrixD& A, const GenMatrixD& B, int transposeA, int transposeB,
                                      bool useMultiplyGen) {
  const int rows = transposeA ? A.Cols() : A.Rows();
  const int cols = transposeB ? B.Rows() : B.Cols();
  GenMatrixD c = unwrittenGen(rows * cols + 3, 1);
  if (useMultiplyGen)
    multiplyGen(A, B, c);
  else
    multiplyGenT(A, B, c, transposeA, transposeB);
  std::vector<double> written = contents(c);
  for (int k = rows * cols; k < c.Size(); ++k)
    expectSameBits(written[k], kUnwritten, "spare element " + std::to_string(k));
  written.resize(rows * cols);
  return written;
}

struct ProductShape {
  int rows;
  int inner;
  int cols;
};

// Crossing the sizes at which the work is cut up matters as much as the
// thin shapes.
const ProductShape kProductShapes[] = {{0, 0, 0},    {1, 1, 1},   {1, 5, 7},    {6, 4, 1},    {5, 1, 6},
                                       {1, 9, 1},    {2, 3, 4},   {9, 9, 9},    {37, 41, 43}, {9, 300, 5},
                                       {131, 20, 7}, {5, 513, 6}, {130, 258, 9}};

TEST(Kernels, MultiplyGenTMatchesDefinitionForEveryFlagAndShape) {
  std::mt19937 rng(3);
  for (const ProductShape& s : kProductShapes)
    for (int transposeA = 0; transposeA < 2; ++transposeA)
      for (int transposeB = 0; transposeB < 2; ++transposeB) {
        SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.inner) + "x" + std::to_string(s.cols) + " flags " +
                     std::to_string(transposeA) + std::to_string(transposeB));
        const GenMatrixD A = transposeA ? randomGen(s.inner, s.rows, rng) : randomGen(s.rows, s.inner, rng);
        const GenMatrixD B = transposeB ? randomGen(s.cols, s.inner, rng) : randomGen(s.inner, s.cols, rng);
        const std::vector<double> want = naiveProduct(A, B, transposeA, transposeB);
        expectSameBits(productIntoColumn(A, B, transposeA, transposeB, false), want);
        if (!transposeA && !transposeB) expectSameBits(productIntoColumn(A, B, 0, 0, true), want);
      }
}

TEST(Kernels, MultiplyGenTWithTheSameMatrixTwice) {
  std::mt19937 rng(4);
  const GenMatrixD A = randomGen(23, 6, rng);
  expectSameBits(productIntoColumn(A, A, 1, 0, false), naiveProduct(A, A, 1, 0));  // A'A
  expectSameBits(productIntoColumn(A, A, 0, 1, false), naiveProduct(A, A, 0, 1));  // AA'
}

TEST(Kernels, MultiplyGenWritesTheProductColumnMajorWhateverCsShape) {
  GenMatrixD A(2, 3), B(3, 4, 0.0, 0);
  const double a[] = {1, 2, 3, 4, 5, 6};  // rows (1 2 3) and (4 5 6)
  for (int k = 0; k < 6; ++k) A(k / 3, k % 3) = a[k];
  for (int t = 0; t < 3; ++t) B(t, t) = B(t, 3) = 1.0;  // [I | ones]
  // 8 elements, but 4 x 2 where the product is 2 x 4.
  GenMatrixD C = unwrittenGen(4, 2);
  multiplyGen(A, B, C);
  const std::vector<double> want = {1, 4, 2, 5, 3, 6, 6, 15};
  expectSameBits(contents(C), want);
}

TEST(Kernels, ProductWithEmptyInnerSizeIsZero) {
  double none[1] = {0.0};
  const GenMatrixD A(3, 0, none, 0);  // a viewed 3 x 0 keeps its sizes
  const GenMatrixD B(0, 2, none, 0);
  GenMatrixD C = unwrittenGen(3, 2);
  multiplyGen(A, B, C);
  for (int k = 0; k < 6; ++k) expectSameBits(C[k], 0.0, "element " + std::to_string(k));
}

TEST(Kernels, ProductsDoNotSkipZeroMultipliers) {
  // inf * 0 and 0 * NaN are NaN and must reach the result.
  for (int transposeA = 0; transposeA < 2; ++transposeA)
    for (int transposeB = 0; transposeB < 2; ++transposeB) {
      SCOPED_TRACE("flags " + std::to_string(transposeA) + std::to_string(transposeB));
      GenMatrixD A(3, 3, 0.0, 0), B(3, 3, 0.0, 0);
      A(0, 0) = kInf;          // op(A)(0, 0) whatever the flag
      B(2, 2) = std::nan("");  // op(B)(2, 2) whatever the flag
      GenMatrixD C(3, 3);
      multiplyGenT(A, B, C, transposeA, transposeB);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(std::isnan(C(i, j)), i == 0 || j == 2) << "(" << i << ", " << j << ")";
    }
}

TEST(Kernels, GeneralProductsStartFromZeroTriangularOnesFromTheFirstProduct) {
  // -1 * 0 is -0.0: added to 0.0 it becomes +0.0, taken as the start it stays.
  GenMatrixD A(1, 1, -1.0, 0), B(1, 1, 0.0, 0), C(1, 1);
  multiplyGen(A, B, C);
  EXPECT_FALSE(std::signbit(C[0]));
  UTrMatrixD U(1);
  U(0, 0) = -1.0;
  multiplyUTrGen(U, B, C);
  EXPECT_TRUE(std::signbit(C[0]));
  EXPECT_EQ(C[0], 0.0);
}

// ---------------------------------------------------------------------------
// Symmetric kernels.

struct SymCase {
  const char* name;
  std::function<void(const SymMatrixD&, const SymMatrixD&, SymMatrixD&)> run;
  std::function<double(double, double)> expected;
};

const SymCase kSymCases[] = {
    {"addSym", [](const SymMatrixD& a, const SymMatrixD& b, SymMatrixD& c) { addSym(a, b, c); },
     [](double a, double b) { return a + b; }},
    {"subtractSym", [](const SymMatrixD& a, const SymMatrixD& b, SymMatrixD& c) { subtractSym(a, b, c); },
     [](double a, double b) { return a - b; }},
    {"addScalarSym", [](const SymMatrixD& a, const SymMatrixD&, SymMatrixD& c) { addScalarSym(kScalar, a, c); },
     [](double a, double) { return kScalar + a; }},
    {"subtractFromScalarSym",
     [](const SymMatrixD& a, const SymMatrixD&, SymMatrixD& c) { subtractFromScalarSym(kScalar, a, c); },
     [](double a, double) { return kScalar - a; }},
    {"scaleSym", [](const SymMatrixD& a, const SymMatrixD&, SymMatrixD& c) { scaleSym(kScalar, a, c); },
     [](double a, double) { return kScalar * a; }},
    {"divideSym", [](const SymMatrixD& a, const SymMatrixD&, SymMatrixD& c) { divideSym(a, kScalar, c); },
     [](double a, double) { return a / kScalar; }},
};

// Upper triangle random, strictly lower part holding `lower`.
void fillSym(SymMatrixD& s, double lower, std::mt19937& rng) {
  const int n = s.Cols();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) s[i + j * n] = i <= j ? randomValue(rng) : lower;
}

void PrintTo(const SymCase& c, std::ostream* out) { *out << c.name; }

class SymKernel : public ::testing::TestWithParam<SymCase> {};

TEST_P(SymKernel, WritesTheUpperTriangleOnly) {
  const SymCase& kernel = GetParam();
  std::mt19937 rng(5);
  for (int n : {0, 1, 2, 5, 12}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    SymMatrixD a(n), b(n), c(n);
    fillSym(a, kUnread, rng);
    fillSym(b, kUnread, rng);
    for (int k = 0; k < n * n; ++k) c[k] = kUnwritten;
    kernel.run(a, b, c);
    SymMatrixD onA(n);  // in place: the strictly lower part stays as it was
    for (int k = 0; k < n * n; ++k) onA[k] = a[k];
    kernel.run(onA, b, onA);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int p = i + j * n;
        const std::string where = "(" + std::to_string(i) + ", " + std::to_string(j) + ")";
        expectSameBits(c[p], i <= j ? kernel.expected(a[p], b[p]) : kUnwritten, where);
        expectSameBits(onA[p], i <= j ? kernel.expected(a[p], b[p]) : kUnread, where);
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, SymKernel, ::testing::ValuesIn(kSymCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Triangular kernels. The operands hold kUnread in the triangle that counts
// as zero, so a kernel that reads it shows a NaN.

struct TriOperands {
  TriOperands(int n, int p, unsigned seed) : n(n), p(p), U(n), U2(n), L(n), L2(n), Gsq(n, n), Gnp(n, p), Gpn(p, n) {
    std::mt19937 rng(seed);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        U(i, j) = i <= j ? randomValue(rng) : kUnread;
        U2(i, j) = i <= j ? randomValue(rng) : kUnread;
        L(i, j) = i >= j ? randomValue(rng) : kUnread;
        L2(i, j) = i >= j ? randomValue(rng) : kUnread;
      }
    for (GenMatrixD* g : {&Gsq, &Gnp, &Gpn})
      for (int k = 0; k < g->Size(); ++k) (*g)[k] = randomValue(rng);
  }
  int n;
  int p;
  UTrMatrixD U, U2;
  LTrMatrixD L, L2;
  GenMatrixD Gsq;  // n x n
  GenMatrixD Gnp;  // n x p
  GenMatrixD Gpn;  // p x n
};

// What a kernel left in its result: the rows x cols leading elements, then
// any spare room that must be untouched.
struct TriResult {
  int rows;
  int cols;
  std::vector<double> storage;
};

template <class Kernel>
TriResult intoGen(int rows, int cols, Kernel kernel) {
  GenMatrixD c = unwrittenGen(rows * cols + 2, 1);
  kernel(c);
  return {rows, cols, contents(c)};
}

template <class Matrix, class Kernel>
TriResult intoTriangular(int n, Kernel kernel) {
  Matrix c(n);
  for (int k = 0; k < n * n; ++k) c[k] = kUnwritten;
  kernel(c);
  return {n, n, contents(c.AsGenMatrixD())};
}

using Expected = std::optional<double>;  // nullopt: the element is not written

struct TriCase {
  std::string name;
  std::function<TriResult(const TriOperands&)> run;
  std::function<Expected(const TriOperands&, int, int)> expected;
};

std::string flagged(const char* name, int first, int second) {
  return std::string(name) + "_" + std::to_string(first) + std::to_string(second);
}

std::vector<TriCase> upperCases() {
  using O = TriOperands;
  const double s = kScalar;
  std::vector<TriCase> cases = {
      {"addUTrGen", [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { addUTrGen(o.U, o.Gsq, c); }); },
       [](const O& o, int i, int j) -> Expected { return i <= j ? o.U(i, j) + o.Gsq(i, j) : o.Gsq(i, j); }},
      {"subtractUTrGen",
       [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractUTrGen(o.U, o.Gsq, c); }); },
       [](const O& o, int i, int j) -> Expected { return i <= j ? o.U(i, j) - o.Gsq(i, j) : -o.Gsq(i, j); }},
      {"subtractGenUTr",
       [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractGenUTr(o.Gsq, o.U, c); }); },
       [](const O& o, int i, int j) -> Expected { return i <= j ? o.Gsq(i, j) - o.U(i, j) : o.Gsq(i, j); }},
      {"addScalarUTr", [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { addScalarUTr(s, o.U, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i <= j ? s + o.U(i, j) : s; }},
      {"subtractFromScalarUTr",
       [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractFromScalarUTr(s, o.U, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i <= j ? s - o.U(i, j) : s; }},
      {"addUTr",
       [](const O& o) { return intoTriangular<UTrMatrixD>(o.n, [&](UTrMatrixD& c) { addUTr(o.U, o.U2, c); }); },
       [](const O& o, int i, int j) -> Expected { return i <= j ? Expected(o.U(i, j) + o.U2(i, j)) : std::nullopt; }},
      {"subtractUTr",
       [](const O& o) { return intoTriangular<UTrMatrixD>(o.n, [&](UTrMatrixD& c) { subtractUTr(o.U, o.U2, c); }); },
       [](const O& o, int i, int j) -> Expected { return i <= j ? Expected(o.U(i, j) - o.U2(i, j)) : std::nullopt; }},
      {"scaleUTr",
       [=](const O& o) { return intoTriangular<UTrMatrixD>(o.n, [&](UTrMatrixD& c) { scaleUTr(s, o.U, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i <= j ? Expected(s * o.U(i, j)) : std::nullopt; }},
      {"divideUTr",
       [=](const O& o) { return intoTriangular<UTrMatrixD>(o.n, [&](UTrMatrixD& c) { divideUTr(o.U, s, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i <= j ? Expected(o.U(i, j) / s) : std::nullopt; }},
      {"multiplyUTr",
       [](const O& o) { return intoTriangular<UTrMatrixD>(o.n, [&](UTrMatrixD& c) { multiplyUTr(o.U, o.U2, c); }); },
       [](const O& o, int i, int j) -> Expected {
         if (i > j) return std::nullopt;
         return edgeSum(i, j, [&](int t) { return o.U(i, t) * o.U2(t, j); });
       }},
      {"multiplyUTrGen",
       [](const O& o) { return intoGen(o.n, o.p, [&](GenMatrixD& c) { multiplyUTrGen(o.U, o.Gnp, c); }); },
       [](const O& o, int i, int j) -> Expected {
         return edgeSum(i, o.n - 1, [&](int t) { return o.U(i, t) * o.Gnp(t, j); });
       }},
      {"multiplyGenUTr",
       [](const O& o) { return intoGen(o.p, o.n, [&](GenMatrixD& c) { multiplyGenUTr(o.Gpn, o.U, c); }); },
       [](const O& o, int i, int j) -> Expected {
         return edgeSum(0, j, [&](int t) { return o.Gpn(i, t) * o.U(t, j); });
       }},
  };
  for (int tu = 0; tu < 2; ++tu)
    for (int tg = 0; tg < 2; ++tg) {
      // op(U) op(G) with op(G) n x p, and op(G) op(U) with op(G) p x n.
      cases.push_back({flagged("multiplyUTrGenT", tu, tg),
                       [=](const O& o) {
                         return intoGen(o.n, o.p,
                                        [&](GenMatrixD& c) { multiplyUTrGenT(o.U, tg ? o.Gpn : o.Gnp, c, tu, tg); });
                       },
                       [=](const O& o, int i, int j) -> Expected {
                         auto g = [&](int t) { return tg ? o.Gpn(j, t) : o.Gnp(t, j); };
                         if (!tu) return edgeSum(i, o.n - 1, [&](int t) { return o.U(i, t) * g(t); });
                         return edgeSum(0, i, [&](int t) { return o.U(t, i) * g(t); });
                       }});
      cases.push_back({flagged("multiplyGenUTrT", tg, tu),
                       [=](const O& o) {
                         return intoGen(o.p, o.n,
                                        [&](GenMatrixD& c) { multiplyGenUTrT(tg ? o.Gnp : o.Gpn, o.U, c, tg, tu); });
                       },
                       [=](const O& o, int i, int j) -> Expected {
                         auto g = [&](int t) { return tg ? o.Gnp(t, i) : o.Gpn(i, t); };
                         if (!tu) return edgeSum(0, j, [&](int t) { return g(t) * o.U(t, j); });
                         return edgeSum(j, o.n - 1, [&](int t) { return g(t) * o.U(j, t); });
                       }});
      // Upper times upper: U U is upper, U' U' lower, the mixed ones full.
      const int ta = tu, tb = tg;
      cases.push_back(
          {flagged("multiplyUTrT", ta, tb),
           [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { multiplyUTrT(o.U, o.U2, c, ta, tb); }); },
           [=](const O& o, int i, int j) -> Expected {
             if (!ta && !tb) return i <= j ? edgeSum(i, j, [&](int t) { return o.U(i, t) * o.U2(t, j); }) : 0.0;
             if (ta && tb) return i >= j ? edgeSum(j, i, [&](int t) { return o.U(t, i) * o.U2(j, t); }) : 0.0;
             if (ta) return edgeSum(0, std::min(i, j), [&](int t) { return o.U(t, i) * o.U2(t, j); });
             return edgeSum(std::max(i, j), o.n - 1, [&](int t) { return o.U(i, t) * o.U2(j, t); });
           }});
    }
  return cases;
}

std::vector<TriCase> lowerCases() {
  using O = TriOperands;
  const double s = kScalar;
  std::vector<TriCase> cases = {
      {"addLTrGen", [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { addLTrGen(o.L, o.Gsq, c); }); },
       [](const O& o, int i, int j) -> Expected { return i >= j ? o.L(i, j) + o.Gsq(i, j) : o.Gsq(i, j); }},
      {"subtractLTrGen",
       [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractLTrGen(o.L, o.Gsq, c); }); },
       [](const O& o, int i, int j) -> Expected { return i >= j ? o.L(i, j) - o.Gsq(i, j) : -o.Gsq(i, j); }},
      {"subtractGenLTr",
       [](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractGenLTr(o.Gsq, o.L, c); }); },
       [](const O& o, int i, int j) -> Expected { return i >= j ? o.Gsq(i, j) - o.L(i, j) : o.Gsq(i, j); }},
      {"addScalarLTr", [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { addScalarLTr(s, o.L, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i >= j ? s + o.L(i, j) : s; }},
      {"subtractFromScalarLTr",
       [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { subtractFromScalarLTr(s, o.L, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i >= j ? s - o.L(i, j) : s; }},
      {"addLTr",
       [](const O& o) { return intoTriangular<LTrMatrixD>(o.n, [&](LTrMatrixD& c) { addLTr(o.L, o.L2, c); }); },
       [](const O& o, int i, int j) -> Expected { return i >= j ? Expected(o.L(i, j) + o.L2(i, j)) : std::nullopt; }},
      {"subtractLTr",
       [](const O& o) { return intoTriangular<LTrMatrixD>(o.n, [&](LTrMatrixD& c) { subtractLTr(o.L, o.L2, c); }); },
       [](const O& o, int i, int j) -> Expected { return i >= j ? Expected(o.L(i, j) - o.L2(i, j)) : std::nullopt; }},
      {"scaleLTr",
       [=](const O& o) { return intoTriangular<LTrMatrixD>(o.n, [&](LTrMatrixD& c) { scaleLTr(s, o.L, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i >= j ? Expected(s * o.L(i, j)) : std::nullopt; }},
      {"divideLTr",
       [=](const O& o) { return intoTriangular<LTrMatrixD>(o.n, [&](LTrMatrixD& c) { divideLTr(o.L, s, c); }); },
       [=](const O& o, int i, int j) -> Expected { return i >= j ? Expected(o.L(i, j) / s) : std::nullopt; }},
      {"multiplyLTr",
       [](const O& o) { return intoTriangular<LTrMatrixD>(o.n, [&](LTrMatrixD& c) { multiplyLTr(o.L, o.L2, c); }); },
       [](const O& o, int i, int j) -> Expected {
         if (i < j) return std::nullopt;
         return edgeSum(j, i, [&](int t) { return o.L(i, t) * o.L2(t, j); });
       }},
      {"multiplyLTrGen",
       [](const O& o) { return intoGen(o.n, o.p, [&](GenMatrixD& c) { multiplyLTrGen(o.L, o.Gnp, c); }); },
       [](const O& o, int i, int j) -> Expected {
         return edgeSum(0, i, [&](int t) { return o.L(i, t) * o.Gnp(t, j); });
       }},
      {"multiplyGenLTr",
       [](const O& o) { return intoGen(o.p, o.n, [&](GenMatrixD& c) { multiplyGenLTr(o.Gpn, o.L, c); }); },
       [](const O& o, int i, int j) -> Expected {
         return edgeSum(j, o.n - 1, [&](int t) { return o.Gpn(i, t) * o.L(t, j); });
       }},
  };
  for (int tl = 0; tl < 2; ++tl)
    for (int tg = 0; tg < 2; ++tg) {
      cases.push_back({flagged("multiplyLTrGenT", tl, tg),
                       [=](const O& o) {
                         return intoGen(o.n, o.p,
                                        [&](GenMatrixD& c) { multiplyLTrGenT(o.L, tg ? o.Gpn : o.Gnp, c, tl, tg); });
                       },
                       [=](const O& o, int i, int j) -> Expected {
                         auto g = [&](int t) { return tg ? o.Gpn(j, t) : o.Gnp(t, j); };
                         if (!tl) return edgeSum(0, i, [&](int t) { return o.L(i, t) * g(t); });
                         return edgeSum(i, o.n - 1, [&](int t) { return o.L(t, i) * g(t); });
                       }});
      cases.push_back({flagged("multiplyGenLTrT", tg, tl),
                       [=](const O& o) {
                         return intoGen(o.p, o.n,
                                        [&](GenMatrixD& c) { multiplyGenLTrT(tg ? o.Gnp : o.Gpn, o.L, c, tg, tl); });
                       },
                       [=](const O& o, int i, int j) -> Expected {
                         auto g = [&](int t) { return tg ? o.Gnp(t, i) : o.Gpn(i, t); };
                         if (!tl) return edgeSum(j, o.n - 1, [&](int t) { return g(t) * o.L(t, j); });
                         return edgeSum(0, j, [&](int t) { return g(t) * o.L(j, t); });
                       }});
      // Lower times lower: L L is lower, L' L' upper, the mixed ones full.
      const int ta = tl, tb = tg;
      cases.push_back(
          {flagged("multiplyLTrT", ta, tb),
           [=](const O& o) { return intoGen(o.n, o.n, [&](GenMatrixD& c) { multiplyLTrT(o.L, o.L2, c, ta, tb); }); },
           [=](const O& o, int i, int j) -> Expected {
             if (!ta && !tb) return i >= j ? edgeSum(j, i, [&](int t) { return o.L(i, t) * o.L2(t, j); }) : 0.0;
             if (ta && tb) return i <= j ? edgeSum(i, j, [&](int t) { return o.L(t, i) * o.L2(j, t); }) : 0.0;
             if (ta) return edgeSum(std::max(i, j), o.n - 1, [&](int t) { return o.L(t, i) * o.L2(t, j); });
             return edgeSum(0, std::min(i, j), [&](int t) { return o.L(i, t) * o.L2(j, t); });
           }});
    }
  return cases;
}

void PrintTo(const TriCase& c, std::ostream* out) { *out << c.name; }

class TriangularKernel : public ::testing::TestWithParam<TriCase> {};

TEST_P(TriangularKernel, MatchesDefinitionAndIgnoresTheZeroTriangle) {
  const TriCase& kernel = GetParam();
  const int shapes[][2] = {{0, 0}, {1, 1}, {1, 4}, {4, 1}, {3, 5}, {5, 3}, {2, 7}, {6, 2}, {40, 33}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE("n = " + std::to_string(shape[0]) + ", p = " + std::to_string(shape[1]));
    const TriOperands o(shape[0], shape[1], 17u + shape[0]);
    const TriResult r = kernel.run(o);
    const int written = r.rows * r.cols;
    for (int k = 0; k < static_cast<int>(r.storage.size()); ++k) {
      const std::string where = "element " + std::to_string(k);
      if (k >= written) {
        expectSameBits(r.storage[k], kUnwritten, where);
        continue;
      }
      const Expected want = kernel.expected(o, k % r.rows, k / r.rows);
      if (!want) {
        expectSameBits(r.storage[k], kUnwritten, where);
        continue;
      }
      ASSERT_FALSE(std::isnan(*want)) << where << ": the reference read the zero triangle";
      expectSameBits(r.storage[k], *want, where);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Upper, TriangularKernel, ::testing::ValuesIn(upperCases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Lower, TriangularKernel, ::testing::ValuesIn(lowerCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Kernels, SubtractUTrGenNegatesZerosBelowTheDiagonal) {
  UTrMatrixD U(3);
  for (int k = 0; k < 9; ++k) U[k] = 1.0;
  GenMatrixD G(3, 3, 0.0, 0), C(3, 3);
  subtractUTrGen(U, G, C);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(C(i, j), i <= j ? 1.0 : 0.0);
      EXPECT_EQ(std::signbit(C(i, j)), i > j) << "(" << i << ", " << j << ")";
    }
}

TEST(Kernels, MultiplyUTrGenDoesNotDependOnWhatLiesBelowTheDiagonal) {
  std::mt19937 rng(21);
  const GenMatrixD G = randomGen(6, 4, rng);
  UTrMatrixD U(6);
  for (int k = 0; k < 36; ++k) U[k] = randomValue(rng);
  GenMatrixD first(6, 4), second(6, 4);
  multiplyUTrGen(U, G, first);
  for (int j = 0; j < 6; ++j)
    for (int i = j + 1; i < 6; ++i) U(i, j) = 1e300;
  multiplyUTrGen(U, G, second);
  expectSameBits(contents(second), contents(first));
}

TEST(Kernels, TriangularKernelsWorkInPlace) {
  const TriOperands o(7, 3, 29);
  GenMatrixD separate(7, 7), inPlace(o.Gsq);
  addUTrGen(o.U, o.Gsq, separate);
  addUTrGen(o.U, inPlace, inPlace);
  expectSameBits(contents(inPlace), contents(separate));

  GenMatrixD separateL(7, 7), inPlaceL(o.Gsq);
  subtractGenLTr(o.Gsq, o.L, separateL);
  subtractGenLTr(inPlaceL, o.L, inPlaceL);
  expectSameBits(contents(inPlaceL), contents(separateL));

  UTrMatrixD scaled(7);
  for (int k = 0; k < 49; ++k) scaled[k] = o.U[k];
  scaleUTr(kScalar, scaled, scaled);
  for (int j = 0; j < 7; ++j)
    for (int i = 0; i < 7; ++i) expectSameBits(scaled(i, j), i <= j ? kScalar * o.U(i, j) : kUnread, "scaled");
}

}  // namespace
