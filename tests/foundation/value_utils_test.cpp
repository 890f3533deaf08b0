#include "value_utils.h"

#include <gtest/gtest.h>

#include "test_matrices.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "hash_table.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

SharedArray<int> intArray(std::initializer_list<int> entries) {
  SharedArray<int> a(static_cast<int>(entries.size()));
  int k = 0;
  for (int e : entries) a[k++] = e;
  return a;
}

std::vector<int> toVector(const SharedArray<int>& a) { return std::vector<int>(a.Data(), a.Data() + a.Size()); }

TEST(CheckIndexVector, ClassifiesMasksAndCountsEntries) {
  struct Case {
    std::initializer_list<int> mask;
    int kind;
    std::vector<int> counts;
  };
  const Case cases[] = {
      {{0, 1, 1, 0}, kZeroOneMask, {2}},
      {{0, 0}, kZeroOneMask, {0}},
      {{1}, kZeroOneMask, {1}},
      {{2, 0, 1, 2}, kNumberedMask, {1, 1, 2, 0, 0}},
      {{3, 1, 2}, kNumberedMask, {0, 1, 1, 1}},
      {{0, 2, 2, 0}, kMaskWithGap, {2, 0, 2, 0, 0}},
      {{1, 3, 0}, kMaskWithGap, {1, 1, 0, 1}},
  };
  for (const Case& c : cases) {
    SharedArray<int> counts = intArray({7, 7, 7, 7, 7, 7, 7, 7});  // replaced, not appended to
    const SharedArray<int> mask = intArray(c.mask);
    SCOPED_TRACE(::testing::PrintToString(toVector(mask)));
    EXPECT_EQ(checkIndexVector(mask, counts), c.kind);
    EXPECT_EQ(toVector(counts), c.counts);
  }
}

TEST(CheckIndexVector, GivesTheCountsTheBuilderReadsEquationsFrom) {
  // A 2 x 2 numbered mask [1 2; 2 0]: one zero entry and one repeated
  // number give 1 + (2 - 1) mask equations.
  SharedArray<int> counts;
  ASSERT_EQ(checkIndexVector(intArray({1, 2, 2, 0}), counts), kNumberedMask);
  int equations = counts[0];
  for (int e = 1; e < counts.Size(); ++e)
    if (counts[e] > 1) equations += counts[e] - 1;
  EXPECT_EQ(equations, 2);
  // An empty mask has nothing nonzero.
  ASSERT_EQ(checkIndexVector(SharedArray<int>(0), counts), kZeroOneMask);
  EXPECT_EQ(toVector(counts), std::vector<int>{0});
}

struct FakeRecord {
  Value value;
  SharedArray<int> mask;
  const Value& GetValue() const { return value; }
  const SharedArray<int>& GetMask() const { return mask; }
};

TEST(MaskToValue, ShowsTheMaskInTheVariablesShape) {
  Value result(5.0);
  maskToValue(SharedArray<int>(0), matrixValue(2, 2, {1, 2, 3, 4}), result);
  EXPECT_TRUE(result.IsEmpty());

  maskToValue(intArray({1}), Value(3.0), result);
  ASSERT_TRUE(result.IsScalar());
  EXPECT_EQ(*result.Scalar(), 1.0);

  const FakeRecord record{matrixValue(2, 2, {9, 9, 9, 9}), intArray({0, 1, 1, 0})};
  maskToValue(record, result);
  ASSERT_TRUE(result.IsMatrix());
  const GenMatrixD& shown = *result.Matrix();
  EXPECT_EQ(shown(0, 0), 0.0);
  EXPECT_EQ(shown(0, 1), 1.0);
  EXPECT_EQ(shown(1, 0), 1.0);
  EXPECT_EQ(shown(1, 1), 0.0);

  maskToValue(intArray({1, 2, 3, 4, 5, 6}), matrixValue(2, 3, {0, 0, 0, 0, 0, 0}), result);
  ASSERT_EQ(result.Rows(), 2);
  ASSERT_EQ(result.Cols(), 3);
  EXPECT_EQ((*result.Matrix())(1, 2), 6.0);  // column-major position 5
  EXPECT_EQ((*result.Matrix())(0, 1), 3.0);
}

TEST(DiagonalRank, CountsLeadingDiagonalEntriesUpToTheFirstSmallOne) {
  GenMatrixD R(4, 4, 1.0, 0);
  const double diagonal[] = {5, -1e-3, 1e-12, 7};
  for (int i = 0; i < 4; ++i) R(i, i) = diagonal[i];
  EXPECT_EQ(diagonalRank(QRFactor(R, 0), 1e-10), 2);
  EXPECT_EQ(diagonalRank(QRFactor(R, 0), 1e-3), 2);  // equal to tol counts
  EXPECT_EQ(diagonalRank(QRFactor(R, 0), 2e-3), 1);
  R(0, 0) = kNaN;
  EXPECT_EQ(diagonalRank(QRFactor(R, 0), 1e-10), 2);  // a NaN counts
  EXPECT_EQ(diagonalRank(QRFactor(GenMatrixD(0), 0), 1e-10), 0);
  // Wide and tall: at most min(rows, cols).
  EXPECT_EQ(diagonalRank(QRFactor(GenMatrixD(2, 5, 1.0, 0), 0), 1e-10), 2);
  EXPECT_EQ(diagonalRank(QRFactor(GenMatrixD(5, 3, 1.0, 0), 0), 1e-10), 3);
}

TEST(DiagonalRank, RankOfAPivotedQRFactorisation) {
  // Rank 2: the third column is the sum of the first two.
  GenMatrixD A = make(4, 3, {1, 2, 3, 0, 1, 1, 4, -1, 3, 2, 2, 4});
  QRFactor qr(A, 0);
  ASSERT_EQ(qr.Factor(), 0);
  EXPECT_EQ(diagonalRank(qr, 1e-10), 2);
}

TEST(ValueToMatrix, GivesAPrivateUnmarkedMatrix) {
  const Value v = matrixValue(2, 3, {1, 2, 3, 4, 5, 6});
  GenMatrixD m = valueToMatrix(v);
  ASSERT_EQ(m.Rows(), 2);
  ASSERT_EQ(m.Cols(), 3);
  EXPECT_EQ(m.IsShallow(), 0);
  EXPECT_EQ(m(1, 2), 6.0);
  m(0, 0) = 9.0;
  EXPECT_EQ((*v.Matrix())(0, 0), 1.0);
  GenMatrixD other(0);
  other = m;  // an unmarked matrix is copied on assignment
  EXPECT_NE(other.Data(), m.Data());

  const GenMatrixD s = valueToMatrix(Value(2.5));
  ASSERT_EQ(s.Rows(), 1);
  ASSERT_EQ(s.Cols(), 1);
  EXPECT_EQ(s(0, 0), 2.5);
  EXPECT_EQ(valueToMatrix(Value()).Size(), 0);
}

TEST(InsertValue, LaysAValueRowByRowDownOneColumn) {
  GenMatrixD column(4, 1, 0.0, 0);
  EXPECT_EQ(&insertValue(column, matrixValue(2, 2, {1, 2, 3, 4}), 0, 0), &column);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(column(i, 0), i + 1.0);

  GenMatrixD m(6, 3, 0.0, 0);
  insertValue(m, matrixValue(2, 3, {1, 2, 3, 4, 5, 6}), 0, 2);
  const double expected[] = {1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(m(i, 2), expected[i]);
  insertValue(m, Value(-1.0), 4, 1);
  insertValue(m, Value(), 0, 0);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(m(i, 0), 0.0);
    EXPECT_EQ(m(i, 1), i == 4 ? -1.0 : 0.0);
  }
  GenMatrixD offset(5, 2, 0.0, 0);
  insertValue(offset, matrixValue(3, 1, {7, 8, 9}), 2, 1);
  EXPECT_EQ(offset(1, 1), 0.0);
  EXPECT_EQ(offset(2, 1), 7.0);
  EXPECT_EQ(offset(4, 1), 9.0);
}

TEST(SearchIndex, FindsNamesInCompareNamesOrder) {
  // Characters compare as signed bytes: a byte of 0x80 or more sorts before
  // the blank, the blank before digits and capitals, '_' before lower case,
  // and a prefix before its extensions.
  const std::vector<std::string> names = {"\xe9t", " Affine Variable", "A", "B_x", "X1", "_a", "a", "ab"};
  for (std::size_t k = 1; k < names.size(); ++k) ASSERT_LT(compareNames(names[k - 1], names[k]), 0);
  for (std::size_t k = 0; k < names.size(); ++k)
    EXPECT_EQ(searchIndex(names[k], names.data(), static_cast<int>(names.size())), static_cast<int>(k)) << k;
  for (const char* absent : {"", "B", "abc", "\xff", "~"})
    EXPECT_EQ(searchIndex(absent, names.data(), static_cast<int>(names.size())), -1) << absent;
  EXPECT_EQ(searchIndex("a", names.data(), 0), -1);
}

TEST(StructureTests, SymmetryAndDiagonalityAreExact) {
  struct Case {
    const char* name;
    Value v;
    int symmetric, diagonal;
  };
  const Case cases[] = {
      {"empty", Value(), 1, 1},
      {"scalar", Value(kNaN), 1, 1},
      {"2 x 3", matrixValue(2, 3, {1, 0, 0, 0, 1, 0}), 0, 0},
      {"1 x 2", matrixValue(1, 2, {0, 0}), 0, 0},
      {"symmetric", matrixValue(3, 3, {1, 2, 3, 2, 4, 5, 3, 5, 6}), 1, 0},
      {"off by an ulp", matrixValue(2, 2, {1, 0.1, 0.1 + 1.4e-17, 1}), 0, 0},
      {"lower corner differs", matrixValue(3, 3, {1, 2, 3, 2, 4, 5, 3.5, 5, 6}), 0, 0},
      {"NaN on the diagonal", matrixValue(2, 2, {kNaN, 1, 1, kNaN}), 1, 0},
      {"NaN off the diagonal", matrixValue(2, 2, {1, kNaN, kNaN, 1}), 0, 0},
      {"signed zeros", matrixValue(2, 2, {3, -0.0, 0.0, kNaN}), 1, 1},
      {"diagonal", matrixValue(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3}), 1, 1},
      {"only lower nonzero", matrixValue(2, 2, {1, 0, 4, 1}), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSymmetric(c.v), c.symmetric) << c.name;
    EXPECT_EQ(isDiagonal(c.v), c.diagonal) << c.name;
  }
}

}  // namespace
