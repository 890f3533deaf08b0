// The iteration tables: the precision that eps gives, the separators, the
// heads and the two line formats, written exactly.
#include "tables.h"

#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = std::cout.rdbuf(out.rdbuf());
    std::cout.flags(std::ios::dec | std::ios::skipws);
    std::cout.precision(6);
  }
  void TearDown() override {
    std::cout.rdbuf(saved);
    std::cout.flags(std::ios::dec | std::ios::skipws);
    std::cout.precision(6);
  }
  std::string Take() {
    const std::string text = out.str();
    out.str("");
    return text;
  }

  std::ostringstream out;
  std::streambuf* saved = nullptr;
};

struct PrecisionCase {
  double eps;
  int precision;
  int optimizationDashes;
  int feasibilityDashes;
};

TEST_F(TableTest, PrecisionAndSeparatorsFollowEps) {
  // log(eps)/log(10) is truncated as computed: 1e-4 and 1e-6 fall just short
  // of -4 and -6.
  const PrecisionCase cases[] = {
      {1e-4, 4, 37, 26}, {1e-5, 6, 39, 26}, {1e-6, 6, 39, 26}, {1e-2, 2, 35, 26},
      {1e-1, 1, 34, 26}, {1.0, 1, 34, 26},  {1e-10, 11, 49, 28},
  };
  for (const PrecisionCase& c : cases) {
    SCOPED_TRACE(c.eps);
    EXPECT_EQ(tablePrecision(c.eps), c.precision);
    printOptimizationSeparator(c.precision);
    EXPECT_EQ(Take(), std::string(c.optimizationDashes, '-') + "\n");
    printFeasibilitySeparator(c.precision);
    EXPECT_EQ(Take(), std::string(c.feasibilityDashes, '-') + "\n");
  }
}

TEST_F(TableTest, HeadsForEpsOneInTenThousand) {
  printOptimizationHead(1e-4);
  const std::string dashes37(37, '-');
  EXPECT_EQ(Take(), dashes37 + "\n Iteration    Objective     Relative  \n   counter    value         accuracy  \n" +
                        dashes37 + "\n");
  printFeasibilityHead(1e-4);
  const std::string dashes26(26, '-');
  EXPECT_EQ(Take(), dashes26 + "\n Iteration    Feasibility\n   counter    radius\n" + dashes26 + "\n");
  // The head leaves fixed notation for the lines.
  EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
}

TEST_F(TableTest, FeasibilityLine) {
  printFeasibilityHead(1e-4);
  Take();
  printFeasibilityLine(1e-4, 3, 12.5);
  EXPECT_EQ(Take(), "         3    12.5000\n");
  printFeasibilityLine(1e-5, 100, 0.25);
  EXPECT_EQ(Take(), "       100    0.250000\n");
}

struct LineCase {
  double eps;
  int counter;
  double value;
  double accuracy;
  int mark;
  const char* text;
};

TEST_F(TableTest, OptimizationLines) {
  const LineCase cases[] = {
      {1e-4, 12, -1.5, 0.25, 2, "        12   -1.5000e+00    0.2500 +\n"},
      {1e-4, 1, 0.5, 0.125, 1, "         1    5.0000e-01    0.1250\n"},
      {1e-4, 2, 0.5, 0.125, 0, "         2    5.0000e-01    0.1250 *\n"},
      {1e-4, 3, 0.0, 0.5, 11, "         3    0.0000e+00    0.5000 +\n"},
      // No accuracy yet: a run of a + 2 dashes, the mark still follows.
      {1e-4, 4, 2.0, -1.0, 0, "         4    2.0000e+00    ------ *\n"},
      // A three-digit exponent takes one blank of the gap.
      {1e-4, 5, 1.5e-120, 0.5, 1, "         5    1.5000e-120   0.5000\n"},
      {1e-6, 6, -3.0, 1e-7, 1, "         6   -3.000000e+00    0.000000\n"},
  };
  for (const LineCase& c : cases) {
    printOptimizationLine(c.eps, c.counter, c.value, c.accuracy, c.mark);
    EXPECT_EQ(Take(), c.text);
    EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
  }
}

TEST_F(TableTest, ProblemSizesDump) {
  // " Affine Variable" and a 2 x 2 variable X; the inequality X > 0 and
  // three linear rows.
  BuiltProblem problem(2, 1, 0, 1);
  problem.SetVariable(0, GenMatrixD(1, 1, 1.0, 0));
  problem.SetVariable(1, GenMatrixD(2, 2, 0.0, 0));
  problem.TermBlockAt(0).Resize(1);
  problem.TermBlockAt(0).SetVariable(0, 1);
  problem.Linear().SetCoefficients(GenMatrixD(3, 5, 0.0, 0));
  problem.FinalizeSizes();
  std::ostringstream text;
  EXPECT_EQ(&printLme(text, problem), &text);
  EXPECT_EQ(text.str(), "Lme:\n - nv: 5\n - nb: 1 de tamanho: 2 \n - td: 3\n - nt: 6\n - nvt: 5\n");
}

}  // namespace
