#include "shared_array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

SharedArray<double> ramp(int n) {
  SharedArray<double> a(n);
  for (int i = 0; i < n; ++i) a[i] = i + 1.0;
  return a;
}

// Counts live elements of a class type, so that construction and
// destruction of whole blocks can be observed.
struct Tracked {
  static int alive;
  std::string text = "default";
  Tracked() { ++alive; }
  Tracked(const Tracked& o) : text(o.text) { ++alive; }
  Tracked& operator=(const Tracked& o) = default;
  ~Tracked() { --alive; }
};
int Tracked::alive = 0;

// Counts the elements that a reallocation carries over.
struct Carried {
  static int count;
  int value = 0;
  Carried() = default;
  Carried(const Carried&) = default;
  Carried& operator=(const Carried& o) {
    ++count;
    value = o.value;
    return *this;
  }
  Carried& operator=(Carried&& o) noexcept {
    ++count;
    value = o.value;
    return *this;
  }
};
int Carried::count = 0;

TEST(SharedArray, EmptyBlockHasNoElementsAndOneHold) {
  SharedArray<double> a(0);
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(a.Data(), nullptr);
}

TEST(SharedArray, SharedBlockSeesWritesAndCountsHolds) {
  SharedArray<double> a = ramp(3);
  {
    SharedArray<double> b(5);
    b.Share(a);
    EXPECT_EQ(a.RefCount(), 2);
    EXPECT_EQ(b.RefCount(), 2);
    b[1] = 42.0;
    EXPECT_EQ(a[1], 42.0);
    EXPECT_EQ(b.Size(), 3);
  }
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(a[1], 42.0);
}

TEST(SharedArray, ResizeRules) {
  // Same size, held alone: the block and its elements stay.
  SharedArray<double> a = ramp(3);
  double* before = a.Data();
  a.Resize(3);
  EXPECT_EQ(a.Data(), before);
  EXPECT_EQ(a[2], 3.0);

  // Other size: a fresh block.
  a.Resize(4);
  EXPECT_EQ(a.Size(), 4);
  EXPECT_EQ(a.RefCount(), 1);

  // Same size but shared: the resizing handle leaves, the other keeps.
  SharedArray<double> b = ramp(3);
  SharedArray<double> c(0);
  c.Share(b);
  c.Resize(3);
  EXPECT_NE(c.Data(), b.Data());
  EXPECT_EQ(b.RefCount(), 1);
  EXPECT_EQ(c.RefCount(), 1);
  EXPECT_EQ(b[0], 1.0);
}

TEST(SharedArray, CopyFromDetachesASharer) {
  SharedArray<double> b = ramp(3);
  SharedArray<double> a(0);
  a.Share(b);
  a.CopyFrom(b);
  EXPECT_EQ(b.RefCount(), 1);
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_NE(a.Data(), b.Data());
  EXPECT_EQ(a[2], 3.0);
  a[0] = -1.0;
  b[1] = -2.0;
  EXPECT_EQ(b[0], 1.0);
  EXPECT_EQ(a[1], 2.0);
}

TEST(SharedArray, CopyFromReusesASoleBlockOfTheSameSize) {
  SharedArray<double> a = ramp(3);
  SharedArray<double> b(3, 7.0);
  double* before = a.Data();
  a.CopyFrom(b);
  EXPECT_EQ(a.Data(), before);
  EXPECT_EQ(a[0], 7.0);
}

TEST(SharedArray, IntAssignmentCopies) {
  SharedArray<int> b(3, 5);
  SharedArray<int> a(0);
  a.Share(b);
  a = b;
  EXPECT_EQ(b.RefCount(), 1);
  EXPECT_EQ(a.RefCount(), 1);
  a[0] = 9;
  EXPECT_EQ(b[0], 5);
}

TEST(SharedArray, SelfOperationsKeepTheElements) {
  SharedArray<int> a(3);
  for (int i = 0; i < 3; ++i) a[i] = 10 + i;
  SharedArray<int>& alias = a;
  a = alias;
  a.CopyFrom(alias);
  a.Share(alias);
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(a[0], 10);
  EXPECT_EQ(a[2], 12);

  // Copying onto itself while the block is shared still detaches cleanly.
  SharedArray<int> other(0);
  other.Share(a);
  a.CopyFrom(alias);
  EXPECT_EQ(a[1], 11);
  EXPECT_EQ(other[1], 11);
}

TEST(SharedArray, ReleaseIsIdempotent) {
  SharedArray<double> a = ramp(2);
  SharedArray<double> b(0);
  b.Share(a);
  b.Release();
  b.Release();
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(b.Size(), 0);
  b.Share(a);  // a released handle can hold a block again
  EXPECT_EQ(a.RefCount(), 2);
}  // destructors: no hold is dropped twice (the sanitizer build checks)

TEST(SharedArray, WrappingLeavesTheCallersArray) {
  double raw[3] = {1.0, 2.0, 3.0};
  {
    SharedArray<double> view(3, raw);
    EXPECT_EQ(view.RefCount(), 2);
    view[1] = 20.0;
    SharedArray<double> second(0);
    second.Share(view);
    EXPECT_EQ(view.RefCount(), 3);
  }
  EXPECT_EQ(raw[0], 1.0);
  EXPECT_EQ(raw[1], 20.0);
}

// Growing one element at a time carries fewer than two elements over per
// element grown, whatever the length, and keeps every element.
TEST(SharedArray, GrowingElementByElementCarriesEachElementAFewTimes) {
  for (const int n : {1000, 4000}) {
    Carried::count = 0;
    SharedArray<Carried> a(0);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(0, a.Grow(i + 1));
      a[i].value = i;
    }
    EXPECT_LT(Carried::count, 2 * n) << n;
    ASSERT_EQ(n, a.Size());
    for (int i = 0; i < n; ++i) ASSERT_EQ(i, a[i].value);
  }
}

TEST(SharedArray, GrowNewElementsAreFresh) {
  ASSERT_EQ(Tracked::alive, 0);
  {
    SharedArray<Tracked> a(1);
    a[0].text = "kept";
    ASSERT_EQ(0, a.Grow(3));
    EXPECT_EQ("kept", a[0].text);
    EXPECT_EQ("default", a[1].text);
    EXPECT_EQ("default", a[2].text);
    ASSERT_EQ(0, a.Grow(4));  // within the room left by the last growth
    EXPECT_EQ("default", a[3].text);
  }
  EXPECT_EQ(Tracked::alive, 0);
}

// A block with another holder, a caller's array, or a shorter length: the
// block stays as it was, for every holder.
TEST(SharedArray, GrowRefusesWhatItCannotLengthenAlone) {
  SharedArray<double> shared = ramp(2);
  SharedArray<double> sharer(0);
  sharer.Share(shared);
  EXPECT_EQ(1, shared.Grow(3));
  EXPECT_EQ(2, sharer.Size());

  double raw[2] = {1.0, 2.0};
  SharedArray<double> view(2, raw);
  EXPECT_EQ(1, view.Grow(3));
  EXPECT_EQ(raw, view.Data());

  SharedArray<double> alone = ramp(3);
  EXPECT_EQ(1, alone.Grow(2));
  EXPECT_EQ(3, alone.Size());
  EXPECT_EQ(3.0, alone[2]);
}

TEST(SharedArray, MinAndMax) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  SharedArray<int> ints(4);
  const int values[] = {3, 7, 7, 2};
  for (int i = 0; i < 4; ++i) ints[i] = values[i];
  EXPECT_EQ(ints.Max(), 7);

  SharedArray<double> d(3);
  d[0] = 2.0;
  d[1] = nan;
  d[2] = 1.0;
  EXPECT_EQ(d.Min(), 1.0);
  SharedArray<double> e(2);
  e[0] = nan;
  e[1] = 1.0;
  EXPECT_TRUE(std::isnan(e.Min()));
  EXPECT_TRUE(std::isnan(e.Max()));
}

TEST(SharedArray, ClassElementsLiveWithTheirBlock) {
  ASSERT_EQ(Tracked::alive, 0);
  {
    SharedArray<Tracked> a(3);
    EXPECT_EQ(Tracked::alive, 3);
    a[0].text = "x";
    SharedArray<Tracked> copy(a);  // copy construction is deep
    EXPECT_EQ(Tracked::alive, 6);
    EXPECT_EQ(copy[0].text, "x");
    copy[0].text = "y";
    EXPECT_EQ(a[0].text, "x");
    SharedArray<Tracked> sharer(0);
    sharer.Share(a);
    EXPECT_EQ(Tracked::alive, 6);
  }
  EXPECT_EQ(Tracked::alive, 0);
}

}  // namespace
