// The step length: the root lambda above max v of
//   sum v_i^2 / (lambda - v_i) = sum v_i^2,
// and alpha = 1 / lambda.
#include "step_length.h"

#include <cmath>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "gen_matrix.h"

namespace {

GenMatrixD column(std::initializer_list<double> values) {
  GenMatrixD v(static_cast<int>(values.size()), 1);
  int i = 0;
  for (double x : values) v[i++] = x;
  return v;
}

// The equation's left side minus its right side at lambda.
double residual(const GenMatrixD& v, double lambda) {
  double left = 0.0;
  double right = 0.0;
  for (int i = 0; i < v.Rows(); ++i) {
    left += v[i] * v[i] / (lambda - v[i]);
    right += v[i] * v[i];
  }
  return (left - right) / right;
}

struct StepCase {
  std::vector<double> v;
  double alpha;
};

TEST(StepLength, KnownRoots) {
  // A single entry c: the root is c + 1, found at the first value.
  // Equal entries c: the root is c + 1 as well.
  const StepCase cases[] = {
      {{0.5}, 0.6666666666666666},
      {{3.0}, 0.25},
      {{2.0, 2.0, 2.0}, 0.3333333333333333},
      {{0.5, -2.0}, 1.6881821356017896},
      {{1.0, -1.5, 0.25}, 0.7129030462153068},
  };
  for (const StepCase& c : cases) {
    GenMatrixD v(static_cast<int>(c.v.size()), 1);
    for (size_t i = 0; i < c.v.size(); ++i) v[static_cast<int>(i)] = c.v[i];
    double alpha = 0.0;
    EXPECT_EQ(stepLength(v, alpha, 1e-12, 50), 0);
    // Exactly: alpha comes from the last update itself, also when the
    // tolerance test stops the iteration (for (0.5, -2.0) the update before
    // it gives 1.6881821356017912).
    EXPECT_EQ(alpha, c.alpha);
    EXPECT_NEAR(residual(v, 1.0 / alpha), 0.0, 1e-12);
  }
}

TEST(StepLength, RootLiesAboveTheLargestEntry) {
  const GenMatrixD v = column({0.9, -0.999, 0.3, 0.899, -0.5, 0.0, 1e-9});
  double alpha = 0.0;
  ASSERT_EQ(stepLength(v, alpha, 1e-12, 50), 0);
  EXPECT_GT(1.0 / alpha, 0.9);
  EXPECT_NEAR(residual(v, 1.0 / alpha), 0.0, 1e-10);
}

TEST(StepLength, CounterAllowsMaxIterPlusTwoUpdates) {
  // Three entries 2.0 reach the root 3.0 at the seventh update and stop by
  // the repeated value at the eighth. The sixth update gives
  // 2.999999999994628: with maxIter 4 the counter stops the iteration
  // there, with maxIter 5 one update later, at the root.
  const GenMatrixD v = column({2.0, 2.0, 2.0});
  double alpha = 0.0;
  EXPECT_EQ(stepLength(v, alpha, 1e-12, 4), 0);
  EXPECT_EQ(alpha, 1.0 / 2.999999999994628);
  EXPECT_EQ(stepLength(v, alpha, 1e-12, 5), 0);
  EXPECT_EQ(alpha, 1.0 / 3.0);
}

TEST(StepLength, FailsWhenTheRootIsNotANumber) {
  // The sum of squares overflows: lambda cannot be computed.
  const GenMatrixD v = column({1e200, -1e200});
  double alpha = 0.0;
  EXPECT_EQ(stepLength(v, alpha, 1e-12, 50), 1);
}

}  // namespace
