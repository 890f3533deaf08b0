#include "gen_matrix.h"

#include <gtest/gtest.h>

#include "test_matrices.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

std::string print(const GenMatrixD& m) {
  std::ostringstream out;
  out << m;
  return out.str();
}

TEST(GenMatrix, ZeroSizedRequestsAreZeroByZero) {
  const GenMatrixD cases[] = {GenMatrixD(0, 5), GenMatrixD(5, 0), GenMatrixD(0, 3, 1.0, 0), GenMatrixD(0)};
  for (const GenMatrixD& m : cases) {
    EXPECT_EQ(m.Rows(), 0);
    EXPECT_EQ(m.Cols(), 0);
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(print(m), "NULL GenMatrixD.\n");
  }
}

TEST(GenMatrix, ColumnMajorLayout) {
  GenMatrixD m = make(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(m[0], 1.0);
  EXPECT_EQ(m[1], 4.0);
  EXPECT_EQ(m[2], 2.0);
  EXPECT_EQ(m[5], 6.0);
  EXPECT_EQ(&m(1, 2), &m[1 + 2 * 2]);
}

TEST(GenMatrix, ShareAliasesCopyDuplicates) {
  GenMatrixD a = make(2, 2, {1, 2, 3, 4});
  GenMatrixD shared(0), copied(0);
  shared.Share(a);
  copied.Copy(a);
  EXPECT_EQ(a.Storage().RefCount(), 2);
  shared(0, 0) = 10.0;
  EXPECT_EQ(a(0, 0), 10.0);
  copied(0, 1) = 20.0;
  EXPECT_EQ(a(0, 1), 2.0);
  EXPECT_EQ(copied(0, 0), 1.0);
  a.Fill(0.5);  // a fill is seen by every holder
  EXPECT_EQ(shared(1, 1), 0.5);
  EXPECT_EQ(copied(1, 1), 4.0);
}

// Assignment shares only from a source marked shallow; the target's own
// mark never changes.
TEST(GenMatrix, AssignmentFollowsTheSourcesShallowMark) {
  struct Case {
    int sourceShallow;
    int targetShallow;
    bool shares;
  };
  const Case cases[] = {{0, 0, false}, {0, 1, false}, {1, 0, true}, {1, 1, true}};
  for (const Case& c : cases) {
    GenMatrixD source = make(1, 2, {1, 2}, c.sourceShallow);
    GenMatrixD target(3, 3, 0.0, c.targetShallow);
    target = source;
    EXPECT_EQ(target.Rows(), 1);
    EXPECT_EQ(target.Cols(), 2);
    EXPECT_EQ(target.IsShallow(), c.targetShallow);
    EXPECT_EQ(target.Data() == source.Data(), c.shares);
    EXPECT_EQ(source.Storage().RefCount(), c.shares ? 2 : 1);
  }
}

TEST(GenMatrix, CopyIntoASharedBlockLeavesTheOtherHolder) {
  GenMatrixD other = make(1, 2, {1, 2});
  GenMatrixD target(0);
  target.Share(other);
  target.Copy(make(1, 2, {7, 8}));
  EXPECT_EQ(other(0, 0), 1.0);
  EXPECT_EQ(target(0, 0), 7.0);
  EXPECT_EQ(other.Storage().RefCount(), 1);
}

TEST(GenMatrix, CopyReusesASoleBlockOfTheSameCountWhateverTheShape) {
  GenMatrixD target(3, 2, 0.0, 0);
  double* block = target.Data();
  target.Copy(make(2, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(target.Data(), block);
  EXPECT_EQ(target.Rows(), 2);
  EXPECT_EQ(target(1, 2), 6.0);
}

TEST(GenMatrix, CopyConstructionIsDeepAndUnmarked) {
  GenMatrixD shallow = make(1, 1, {3}, 1);
  GenMatrixD copy(shallow);
  EXPECT_NE(copy.Data(), shallow.Data());
  EXPECT_EQ(copy.IsShallow(), 0);
  GenMatrixD marked(shallow, 1);
  EXPECT_EQ(marked.IsShallow(), 1);
  EXPECT_EQ(marked(0, 0), 3.0);
}

TEST(GenMatrix, SelfAssignmentKeepsTheElements) {
  GenMatrixD a = make(2, 1, {1, 2});
  GenMatrixD& alias = a;
  a = alias;
  a.Copy(alias);
  a.Share(alias);
  EXPECT_EQ(a.Storage().RefCount(), 1);
  EXPECT_EQ(a(1, 0), 2.0);
}

TEST(GenMatrix, OperatorsReturnUnmarkedResults) {
  GenMatrixD a = make(2, 2, {1, 2, 3, 4}, 1);
  GenMatrixD b = make(2, 2, {5, 6, 7, 8}, 1);
  struct Case {
    GenMatrixD result;
    GenMatrixD expected;
  };
  const Case cases[] = {
      {a + b, make(2, 2, {6, 8, 10, 12})},
      {a - b, make(2, 2, {-4, -4, -4, -4})},
      {a * b, make(2, 2, {19, 22, 43, 50})},
      {2.0 + a, make(2, 2, {3, 4, 5, 6})},
      {10.0 - a, make(2, 2, {9, 8, 7, 6})},
      {3.0 * a, make(2, 2, {3, 6, 9, 12})},
      {transpose(make(2, 3, {1, 2, 3, 4, 5, 6})), make(3, 2, {1, 4, 2, 5, 3, 6})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.IsShallow(), 0);
    ASSERT_EQ(c.result.Rows(), c.expected.Rows());
    ASSERT_EQ(c.result.Cols(), c.expected.Cols());
    for (int k = 0; k < c.expected.Size(); ++k) EXPECT_EQ(c.result[k], c.expected[k]);
    GenMatrixD target(0);
    target = c.result;
    EXPECT_NE(target.Data(), c.result.Data());
  }
}

TEST(GenMatrix, MinAndMaxKeepTheFirstOfTies) {
  GenMatrixD zeros = make(1, 2, {0.0, -0.0});
  EXPECT_FALSE(std::signbit(zeros.Min()));
  GenMatrixD nanFirst = make(1, 2, {std::numeric_limits<double>::quiet_NaN(), 1.0});
  EXPECT_TRUE(std::isnan(nanFirst.Max()));
  EXPECT_EQ(make(1, 3, {2, -5, 9}).Min(), -5.0);
}

TEST(GenMatrix, WrappingKeepsSizesAndNeverFreesTheArray) {
  double raw[6] = {1, 2, 3, 4, 5, 6};
  {
    GenMatrixD view(2, 3, raw, 0);
    EXPECT_EQ(view(1, 2), 6.0);
    EXPECT_EQ(view.Storage().RefCount(), 2);
    view(0, 0) = -1.0;
  }
  EXPECT_EQ(raw[0], -1.0);
  GenMatrixD empty(0, 4, static_cast<double*>(nullptr), 0);
  EXPECT_EQ(empty.Cols(), 4);
}

TEST(GenMatrix, PrintUsesTheStreamSettings) {
  EXPECT_EQ(print(make(2, 2, {1, 2, 3, 4})), "1  2  \n3  4  \n");
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(2);
  out << make(1, 1, {0.5});
  EXPECT_EQ(out.str(), "0.50  \n");
}

TEST(GenMatrix, Describe) {
  GenMatrixD a(2, 3, 0.0, 1);
  GenMatrixD b(0);
  b.Share(a);
  std::ostringstream out;
  out << describe(a) << describe(GenMatrixD(0));
  EXPECT_EQ(out.str(),
            "Object type: GenMatrixD\n  Size: (2, 3)\n  Address: 1\n  Number of references:2\n  Shallow copy: Yes\n"
            "Object type: GenMatrixD\n  Size: (0, 0)\n  Address: 0\n  Number of references:1\n  Shallow copy: No\n");
}

TEST(GenMatrix, ResizeKeepsOnlyASoleBlockOfTheRightCount) {
  GenMatrixD a(2, 3, 1.0, 1);
  double* block = a.Data();
  a.Resize(3, 2);
  EXPECT_EQ(a.Data(), block);
  EXPECT_EQ(a.IsShallow(), 1);
  GenMatrixD b(0);
  b.Share(a);
  a.Resize(3, 2);
  EXPECT_NE(a.Data(), b.Data());
  a.Resize(0, 7);
  EXPECT_EQ(a.Rows(), 0);
  EXPECT_EQ(a.Cols(), 0);
}

}  // namespace
