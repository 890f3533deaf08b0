#include "allocation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "gen_matrix.h"
#include "process_memory.h"

namespace {

TEST(IsAllocatableCount, AcceptsWhatAMatrixCanHold) {
  EXPECT_EQ(isAllocatableCount(0), 1);
  EXPECT_EQ(isAllocatableCount(1e6), 1);
  EXPECT_EQ(isAllocatableCount(2147483648.0), 0);
  EXPECT_EQ(isAllocatableCount(NAN), 0);
  EXPECT_EQ(isAllocatableCount(INFINITY), 0);
  EXPECT_EQ(isAllocatableCount(-1), 0);
}

// Storage that grows asks for room ahead of its need: the grant is as much
// of it as fits, the system is asked once at most, and not at all for a
// need that is small enough to pass unasked.
TEST(AllocatableCount, GrantsRoomAheadOfTheNeedAskingTheSystemOnce) {
  const double small = 1 << 20;  // the largest need that passes unasked
  const struct {
    double needed;
    double wanted;
    double granted;  // NAN: any count from needed up to wanted
    long queries;
  } cases[] = {
      {10, 20, 20, 0},
      {10, 4 * small, small, 0},
      {small + 1, 2 * small, 2 * small, 1},
      {small + 1, 1e18, NAN, 1},  // what the memory left allows
      {1e18, 2e18, -1, 0},        // beyond what an int counts
      {NAN, NAN, -1, 0},
      {-1, 1, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.needed);
    const long before = memoryQueryCount();
    const double granted = allocatableCount(c.needed, c.wanted);
    EXPECT_EQ(memoryQueryCount() - before, c.queries);
    if (std::isnan(c.granted)) {
      EXPECT_GE(granted, c.needed);
      EXPECT_LE(granted, 2147483647.0);
    } else {
      EXPECT_EQ(granted, c.granted);
    }
  }
  // A host's cap bounds the grant as it bounds a single count.
  setElementCap(100);
  EXPECT_EQ(allocatableCount(10, 1000), 100);
  EXPECT_EQ(allocatableCount(101, 1000), -1);
  setElementCap(INFINITY);
}

// rows * cols in int wraps around for these sizes (65536^2 to 0, 46341^2
// past the largest int); the count does not.
TEST(ElementCount, IsTheExactProductOfTheSizes) {
  EXPECT_EQ(elementCount(65536, 65536), 4294967296.0);
  EXPECT_EQ(elementCount(46341, 46341), 2147488281.0);
  EXPECT_EQ(elementCount(0, 65536), 0.0);
  EXPECT_FALSE(isAllocatableSize(65536, 65536));
  EXPECT_FALSE(isAllocatableSize(46341, 46341));
  EXPECT_TRUE(isAllocatableSize(1000, 1000));
}

// A matrix asked for with more elements than storage can index fails as an
// allocation fails, instead of getting storage too small for its sizes.
TEST(GenMatrixSize, CountNoStorageCanIndexFailsAsAnAllocation) {
  EXPECT_THROW(GenMatrixD(65536, 65536), std::bad_alloc);
  EXPECT_THROW(GenMatrixD(46341, 46341, 0.0, 0), std::bad_alloc);
  GenMatrixD m(2, 2);
  EXPECT_THROW(m.Resize(65536, 65536), std::bad_alloc);
  EXPECT_EQ(GenMatrixD(0, 65536).Size(), 0);
}

// The program's answer to an allocation that fails is its new handler (a
// message, then exit): such a count reaches it too, rather than an uncaught
// exception that would end the process without it.
int newHandlerCalls = 0;
void countingHandler() {
  ++newHandlerCalls;
  throw std::bad_alloc();
}

TEST(GenMatrixSize, CountNoStorageCanIndexReachesTheNewHandler) {
  const std::new_handler saved = std::set_new_handler(countingHandler);
  newHandlerCalls = 0;
  EXPECT_THROW(GenMatrixD(65536, 65536), std::bad_alloc);
  std::set_new_handler(saved);
  EXPECT_EQ(newHandlerCalls, 1);
}

// A limit set on the process's address space is memory the system does not
// give it, whatever the machine has: with 64 MiB left under the limit, 256
// MiB of elements are refused and 16 MiB are not.
TEST(IsAllocatableCountDeathTest, FollowsWhatTheProcessLimitLeaves) {
  if (processStatusKb("VmSize:") < 0) GTEST_SKIP() << "no /proc/self/status";
  const double mib = 1024.0 * 1024.0;
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the process has BLAS threads
  EXPECT_EXIT(
      {
        if (leaveAddressSpace(64.0 * mib)) std::_Exit(2);
        const int refused = !isAllocatableCount(256.0 * mib / sizeof(double));
        const int accepted = isAllocatableCount(16.0 * mib / sizeof(double));
        std::_Exit(refused && accepted ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
