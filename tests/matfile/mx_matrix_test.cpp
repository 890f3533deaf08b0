// The matrix record: creation, names, the storage-form queries and the two
// sparse forms, including triplets that describe no sparse matrix.
#include "mx_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<double> doubles(const double* p, long n) { return std::vector<double>(p, p + n); }
std::vector<int> ints(const int* p, long n) { return std::vector<int>(p, p + n); }

TEST(MxMatrixTest, CreationGivesZeroFilledArraysOrNone) {
  MxMatrix* empty = mxCreateFull(0, 5, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->m, 0);
  EXPECT_EQ(empty->n, 0);
  EXPECT_EQ(empty->pr, nullptr);
  EXPECT_STREQ(mxGetName(empty), "");
  mxFreeMatrix(empty);

  MxMatrix* x = mxCreateFull(2, 3, 1);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(doubles(x->pr, 6), std::vector<double>(6, 0.0));
  EXPECT_EQ(doubles(x->pi, 6), std::vector<double>(6, 0.0));
  EXPECT_TRUE(mxIsFull(x));
  EXPECT_TRUE(mxIsComplex(x));
  EXPECT_EQ(mxGetNumEl(x), 6);
  mxFreeMatrix(x);

  MxMatrix* ones = mxOnes(2.5, -1.0, 1, 1, 2);
  ASSERT_NE(ones, nullptr);
  EXPECT_EQ(doubles(ones->pr, 2), (std::vector<double>{2.5, 2.5}));
  EXPECT_EQ(doubles(ones->pi, 2), (std::vector<double>{-1.0, -1.0}));
  mxFreeMatrix(ones);
}

TEST(MxMatrixTest, ASizeBeyondTheIntRangeIsRefused) {
  EXPECT_EQ(mxCreateFull(65536, 65536, 0), nullptr);
  mxFreeMatrix(nullptr);
}

TEST(MxMatrixTest, NamesAreCutAtTwentyCharacters) {
  MxMatrix x = {};
  mxSetName(&x, "abc");
  EXPECT_STREQ(mxGetName(&x), "abc");
  mxSetName(&x, nullptr);
  EXPECT_STREQ(mxGetName(&x), "");
  mxSetName(&x, "abcdefghijklmnopqrstuvwxy");
  EXPECT_EQ(std::string(x.name, sizeof x.name), "abcdefghijklmnopqrst");
}

TEST(MxMatrixTest, StorageFormQueries) {
  MxMatrix x = {};
  const struct {
    int struc;
    int full, sparse, spam;
  } cases[] = {{kMxFull, 1, 0, 0}, {kMxSparse, 0, 1, 0}, {kMxUnassigned, 1, 0, 0}, {kMxTriplet, 1, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.struc);
    mxSetStruc(&x, c.struc);
    EXPECT_EQ(mxIsFull(&x), c.full);
    EXPECT_EQ(mxIsSparse(&x), c.sparse);
    EXPECT_EQ(mxIsSpam(&x), c.spam);
  }
  mxSetDispMode(&x, 1);
  EXPECT_TRUE(mxIsString(&x));
}

TEST(MxMatrixTest, SpzerosHoldsNoEntry) {
  MxMatrix* x = spzeros(0, 4, 4, 0);
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(mxIsSparse(x));
  EXPECT_EQ(x->nzmax, 1);
  EXPECT_EQ(ints(x->jc, 5), std::vector<int>(5, 0));
  EXPECT_EQ(mxGetNonZero(x), 0);
  mxFreeMatrix(x);
  MxMatrix* flat = spzeros(1, 0, 7, 3);
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->m, 0);
  EXPECT_EQ(flat->n, 0);
  EXPECT_NE(flat->pi, nullptr);
  mxFreeMatrix(flat);
}

// A triplet-form record from its rows [row, column, real (, imaginary)].
MxMatrix* triplets(const std::vector<std::vector<double>>& rows) {
  const int columns = int(rows.front().size());
  MxMatrix* s = mxCreateFull(int(rows.size()), columns, 0);
  s->struc = kMxTriplet;
  mxSetName(s, "S");
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < columns; ++c) s->pr[c * rows.size() + r] = rows[r][c];
  return s;
}

TEST(MxMatrixTest, SparseAndTripletFormsConvertBothWays) {
  // 3 x 3 with (1,1) = 5 and (3,2) = 7.
  MxMatrix* x = spzeros(0, 3, 3, 2);
  mxSetName(x, "S");
  const int jc[] = {0, 1, 2, 2}, ir[] = {0, 2};
  std::copy(jc, jc + 4, x->jc);
  std::copy(ir, ir + 2, x->ir);
  x->pr[0] = 5;
  x->pr[1] = 7;
  MxMatrix* s = sp2spam(x);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(mxIsSpam(s));
  EXPECT_STREQ(mxGetName(s), "S");
  EXPECT_EQ(s->m, 3);
  EXPECT_EQ(s->n, 3);
  // Rows [1 1 5], [3 2 7], [3 3 0], column-major.
  EXPECT_EQ(doubles(s->pr, 9), (std::vector<double>{1, 3, 3, 1, 2, 3, 5, 7, 0}));
  MxMatrix* back = spam2sp(s);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->m, 3);
  EXPECT_EQ(back->n, 3);
  EXPECT_EQ(ints(back->jc, 4), (std::vector<int>{0, 1, 2, 2}));
  EXPECT_EQ(ints(back->ir, 2), (std::vector<int>{0, 2}));
  EXPECT_EQ(doubles(back->pr, 2), (std::vector<double>{5, 7}));
  EXPECT_EQ(back->pi, nullptr);
  EXPECT_STREQ(mxGetName(back), "S");
  mxFreeMatrix(x);
  mxFreeMatrix(s);
  mxFreeMatrix(back);
}

TEST(MxMatrixTest, ComplexSparseMatricesUseFourTripletColumns) {
  MxMatrix* x = spzeros(1, 2, 2, 1);
  x->jc[1] = 0;
  x->jc[2] = 1;
  x->ir[0] = 1;
  x->pr[0] = 2;
  x->pi[0] = -3;
  MxMatrix* s = sp2spam(x);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->n, 4);
  // Rows [2 2 2 -3] and [2 2 0 0].
  EXPECT_EQ(doubles(s->pr, 8), (std::vector<double>{2, 2, 2, 2, 2, 0, -3, 0}));
  MxMatrix* back = spam2sp(s);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(ints(back->jc, 3), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(back->pi[0], -3);
  mxFreeMatrix(x);
  mxFreeMatrix(s);
  mxFreeMatrix(back);
}

TEST(MxMatrixTest, TripletsThatDescribeNoSparseMatrixAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    std::vector<std::vector<double>> rows;
  } cases[] = {
      {"two columns", {{1, 1}, {2, 2}}},
      {"five columns", {{1, 1, 1, 1, 1}, {2, 2, 0, 0, 0}}},
      {"fractional size", {{1, 1, 5}, {2.5, 2, 0}}},
      {"negative size", {{-2, 1, 0}}},
      {"NaN size", {{1, 1, 5}, {nan, 2, 0}}},
      {"size beyond int", {{3e9, 1, 0}}},
      {"columns beyond the limit", {{1, 2e8, 0}}},
      {"row 0", {{0, 1, 5}, {2, 2, 0}}},
      {"row beyond m", {{3, 1, 5}, {2, 2, 0}}},
      {"column beyond n", {{1, 3, 5}, {2, 2, 0}}},
      {"fractional index", {{1.5, 1, 5}, {2, 2, 0}}},
      {"entries in an empty matrix", {{1, 1, 5}, {0, 0, 0}}},
      {"columns out of order", {{1, 2, 5}, {1, 1, 6}, {2, 2, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MxMatrix* s = triplets(c.rows);
    const std::vector<double> before = doubles(s->pr, long(s->m) * s->n);
    EXPECT_EQ(spam2sp(s), nullptr);
    EXPECT_EQ(std::memcmp(s->pr, before.data(), before.size() * sizeof(double)), 0);
    mxFreeMatrix(s);
  }
  MxMatrix noRows = {};
  noRows.n = 3;
  noRows.struc = kMxTriplet;
  EXPECT_EQ(spam2sp(&noRows), nullptr);
}

TEST(MxMatrixTest, TripletsOfAnEmptySparseMatrix) {
  MxMatrix* s = triplets({{0, 5, 0}});
  MxMatrix* x = spam2sp(s);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->m, 0);
  EXPECT_EQ(x->n, 0);
  EXPECT_EQ(mxGetNonZero(x), 0);
  mxFreeMatrix(s);
  mxFreeMatrix(x);
}

}  // namespace
