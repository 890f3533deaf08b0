#include "tri_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

SymMatrixD symFromUpper(int n, std::initializer_list<double> rowMajor) {
  SymMatrixD s(n);
  s.AsGenMatrixD().Fill(kNaN);  // the lower part means nothing
  auto it = rowMajor.begin();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j, ++it)
      if (i <= j) s.AsGenMatrixD()(i, j) = *it;
  return s;
}

TEST(SymMatrix, BothIndexOrdersNameOneElement) {
  SymMatrixD s(3);
  s(2, 1) = 5.0;
  EXPECT_EQ(s(1, 2), 5.0);
  EXPECT_EQ(&s(2, 1), &s.AsGenMatrixD()(1, 2));
  EXPECT_EQ(s.Uplo(), 'U');
}

TEST(SymMatrix, ToGenMatrixMirrorsIntoItsOwnBlock) {
  SymMatrixD s = symFromUpper(2, {1, 2, 0, 3});
  GenMatrixD viewer(0);
  viewer.Share(s.AsGenMatrixD());
  GenMatrixD g = s.ToGenMatrixD();
  EXPECT_EQ(g(1, 0), 2.0);
  EXPECT_EQ(g(0, 1), 2.0);
  EXPECT_EQ(viewer(1, 0), 2.0);  // the shared block now holds the mirror
  EXPECT_NE(g.Data(), s.Data());
  EXPECT_EQ(g.IsShallow(), 0);
}

TEST(SymMatrix, AssignmentCopiesTheUpperTriangleOnly) {
  SymMatrixD source = symFromUpper(2, {1, 2, 0, 3});
  source.AsGenMatrixD()(1, 0) = 99.0;

  // Into a sole-held block of the right size: the block stays, the lower
  // part keeps what it held.
  SymMatrixD target(2);
  target.AsGenMatrixD().Fill(-7.0);
  double* block = target.Data();
  target = source;
  EXPECT_EQ(target.Data(), block);
  EXPECT_EQ(target(0, 1), 2.0);
  EXPECT_EQ(target(1, 1), 3.0);
  EXPECT_EQ(target.AsGenMatrixD()(1, 0), -7.0);

  // Into a shared block: a fresh block, the other holder keeps its values.
  SymMatrixD holder = symFromUpper(2, {4, 5, 0, 6});
  SymMatrixD sharer;
  sharer.Share(holder);
  sharer = source;
  EXPECT_NE(sharer.Data(), holder.Data());
  EXPECT_EQ(holder(0, 1), 5.0);

  // A shallow source is still copied.
  SymMatrixD marked(2, 1);
  marked.Fill(1.0);
  SymMatrixD copy;
  copy = marked;
  EXPECT_NE(copy.Data(), marked.Data());
  EXPECT_EQ(copy.Rows(), 2);
}

TEST(SymMatrix, FillTouchesTheUpperTriangleOnly) {
  SymMatrixD s(3);
  s.AsGenMatrixD().Fill(kNaN);
  s.Fill(2.0);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::isnan(s.AsGenMatrixD()(i, j)), i > j);
}

TEST(UTrMatrix, ToGenMatrixZeroesBelowTheDiagonal) {
  UTrMatrixD u(2);
  u(0, 0) = 1.0;
  u(0, 1) = 2.0;
  u(1, 0) = kNaN;
  u(1, 1) = 3.0;
  GenMatrixD g = u.ToGenMatrixD();
  EXPECT_EQ(g(1, 0), 0.0);
  EXPECT_EQ(u(1, 0), 0.0);
  EXPECT_EQ(g(0, 1), 2.0);
}

TEST(TriMatrix, Printing) {
  std::ostringstream out;
  out << SymMatrixD() << symFromUpper(2, {1, 2, 0, 3});
  UTrMatrixD u(2);
  u(0, 0) = 1.0;
  u(0, 1) = 2.0;
  u(1, 0) = 9.0;
  u(1, 1) = 3.0;
  out << u << UTrMatrixD();
  EXPECT_EQ(out.str(), "NULL SymMatrixD.\n1  2  \n2  3  \n1 2 \n0 3 \nNULL UTrMatrixD.\n");
}

TEST(TriMatrix, Describe) {
  SymMatrixD s(2, 1);
  std::ostringstream out;
  out << describe(s) << describe(UTrMatrixD());
  EXPECT_EQ(out.str(),
            "Object type: SymMatrixD\n  Size: (2, 2)\n  Address: 1\n  Number of references: 1\n  Shallow copy: Yes\n"
            "Object type: UTrMatrixD\n  Size: (0, 0)\n  Address: 0\n  Number of references: 1\n  Shallow copy: No\n");
}

TEST(StructureTests, IsNotSymmetric) {
  GenMatrixD a(2, 2);
  a(0, 0) = 1.0;
  a(0, 1) = 2.0;
  a(1, 0) = 2.5;
  a(1, 1) = 1.0;
  EXPECT_EQ(isNotSymmetric(a, 0.5), 0);
  EXPECT_EQ(isNotSymmetric(a, 0.49), 1);
  a(1, 0) = kNaN;
  EXPECT_EQ(isNotSymmetric(a, 0.0), 0);
  a(1, 0) = 2.0;
  EXPECT_EQ(isNotSymmetric(a, 0.0), 0);
}

TEST(StructureTests, IsNotUpperTriangular) {
  GenMatrixD a(2, 2, 1.0, 0);
  a(1, 0) = -0.0;
  EXPECT_EQ(isNotUpperTriangular(a), 0);
  a(1, 0) = kNaN;
  EXPECT_EQ(isNotUpperTriangular(a), 1);
  a(1, 0) = 1e-300;
  EXPECT_EQ(isNotUpperTriangular(a), 1);
}

}  // namespace
