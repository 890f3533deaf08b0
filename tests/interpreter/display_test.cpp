#include "display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <string>

#include "script_fixture.h"
#include "workspace.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A matrix value from its elements listed row by row.
Value matrix(int rows, int cols, std::initializer_list<double> rowMajor) {
  GenMatrixD m(rows, cols);
  auto it = rowMajor.begin();
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m(i, j) = *it++;
  return Value(m);
}

GenMatrixD rawMatrix(int rows, int cols, std::initializer_list<double> rowMajor) {
  return *matrix(rows, cols, rowMajor).Matrix();
}

// Shows values in the verbose format; the output is captured.
class DisplayTest : public ScriptFixture {
 protected:
  std::string show(const Value& v) {
    output.str("");
    printValueFormatted(v);
    return output.str();
  }
};

struct ScalarCase {
  double x;
  const char* line;  // the line after the opening empty line
};

TEST_F(DisplayTest, Scalars) {
  const ScalarCase cases[] = {
      // The worked examples.
      {3, "     3.0000"},
      {-2.5, "    -2.5000"},
      {123.456, "   123.4560"},
      {12345.678, "  1.2345678e4"},
      {-0.001234, " -1.2340000e-3"},
      {0.0001, "  10.0000000e-5"},
      // Zero, and a negative zero that must not show its sign.
      {0.0, "     0.0000"},
      {-0.0, "     0.0000"},
      // Padding before the decimal point shrinks with the integer digits.
      {9.5, "     9.5000"},
      {10, "    10.0000"},
      {-99.99, "   -99.9900"},
      {100, "   100.0000"},
      {1000, "  1000.0000"},
      {-1000, " -1000.0000"},
      // Padding is decided before rounding: the field grows by one.
      {9.99996, "     10.0000"},
      {9999.99999, "  10000.0000"},
      // Edges of the fixed range.
      {0.11, "     0.1100"},
      {0.1, "  10.0000000e-2"},
      {-0.1, " -10.0000000e-2"},
      {0.05, "  5.0000000e-2"},
      {0.001, "  10.0000000e-4"},
      {-0.0004, " -4.0000000e-4"},
      {10000, "  1.0000000e4"},
      {-250000, " -2.5000000e5"},
      // The ends of the double range.
      {1e308, "  1.0000000e308"},
      {1.5e-300, "  1.5000000e-300"},
      {std::numeric_limits<double>::denorm_min(), "  4.9406565e-324"},
      // Non-finite numbers, right-aligned in the element's field.
      {kInf, "        Inf"},
      {-kInf, "       -Inf"},
      {kNaN, "        NaN"},
      {-kNaN, "        NaN"},
  };
  for (const ScalarCase& c : cases)
    EXPECT_EQ(show(Value(c.x)), std::string("\n") + c.line + "\n") << "value " << c.x;
}

TEST_F(DisplayTest, EmptyValue) { EXPECT_EQ(show(Value()), "\n  []\n"); }

struct MatrixCase {
  const char* what;
  Value value;
  const char* text;
};

TEST_F(DisplayTest, Matrices) {
  const MatrixCase cases[] = {
      {"fixed 2 x 2", matrix(2, 2, {1, 2, 3, 4}),
       "\n"
       "     1.0000     2.0000\n"
       "     3.0000     4.0000\n"},
      {"one scale for all elements", matrix(2, 2, {100000, 2, 3, 400000}),
       "\n"
       "  1e5 *\n"
       "  1.0000000  0.0000200\n"
       "  0.0000300  4.0000000\n"},
      {"zero thresholds in the fixed form", matrix(1, 4, {12.5, -12.5, 0.0004, -0.0006}),
       "\n"
       "    12.5000   -12.5000     0.0000    -0.0006\n"},
      {"zero threshold of mantissas", matrix(1, 3, {100000, 3, 0.0000003}),
       "\n"
       "  1e5 *\n"
       "  1.0000000  0.0000300  0.0000000\n"},
      {"negative largest magnitude", matrix(1, 2, {-100000, 1}),
       "\n"
       "  1e5 *\n"
       " -1.0000000  0.0000100\n"},
      {"zeros select the fixed form", matrix(2, 2, {0, -0.0, 0, 0}),
       "\n"
       "     0.0000     0.0000\n"
       "     0.0000     0.0000\n"},
      {"column", matrix(3, 1, {1, -2, 30}),
       "\n"
       "     1.0000\n"
       "    -2.0000\n"
       "    30.0000\n"},
      {"small magnitudes", matrix(1, 2, {0.001, -0.002}),
       "\n"
       "  1e-3 *\n"
       "  1.0000000 -2.0000000\n"},
      {"exact negative power of ten gives mantissa 10", matrix(1, 2, {0.1, 0.01}),
       "\n"
       "  1e-2 *\n"
       "  10.0000000  1.0000000\n"},
      {"six columns make one group", matrix(1, 6, {1, 2, 3, 4, 5, 6}),
       "\n"
       "     1.0000     2.0000     3.0000     4.0000     5.0000     6.0000\n"},
      {"eight columns", matrix(1, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
       "\n"
       " Columns 1 to 6\n"
       "\n"
       "     1.0000     2.0000     3.0000     4.0000     5.0000     6.0000\n"
       "\n"
       " Columns 7 to 8\n"
       "\n"
       "     7.0000     8.0000\n"},
      {"seven columns, scale line in every group",
       matrix(2, 7, {1e5, 0, 0, 0, 0, 0, 7e5, -1e5, 0, 0, 0, 0, 0, 2}),
       "\n"
       " Columns 1 to 6\n"
       "\n"
       "  1e5 *\n"
       "  1.0000000  0.0000000  0.0000000  0.0000000  0.0000000  0.0000000\n"
       " -1.0000000  0.0000000  0.0000000  0.0000000  0.0000000  0.0000000\n"
       "\n"
       " Columns 7 to 7\n"
       "\n"
       "  1e5 *\n"
       "  7.0000000\n"
       "  0.0000200\n"},
      {"non-finite elements in the fixed form", matrix(2, 2, {1, kInf, kNaN, -kInf}),
       "\n"
       "     1.0000        Inf\n"
       "        NaN       -Inf\n"},
      {"infinities do not set the scale", matrix(2, 2, {1e6, kInf, kNaN, -2e6}),
       "\n"
       "  1e6 *\n"
       "  1.0000000        Inf\n"
       "        NaN -2.0000000\n"},
      {"a small scale survives an infinity", matrix(1, 2, {-kInf, 1e-6}),
       "\n"
       "  1e-7 *\n"
       "       -Inf  10.0000000\n"},
      {"nothing finite", matrix(1, 2, {kNaN, kInf}),
       "\n"
       "        NaN        Inf\n"},
  };
  for (const MatrixCase& c : cases) EXPECT_EQ(show(c.value), c.text) << c.what;
}

TEST_F(DisplayTest, CompactFormatDropsTheEmptyLinesAfterHeaders) {
  verboseFormat = 0;
  EXPECT_EQ(show(matrix(1, 8, {1, 2, 3, 4, 5, 6, 7, 8})),
            "\n"
            " Columns 1 to 6\n"
            "     1.0000     2.0000     3.0000     4.0000     5.0000     6.0000\n"
            "\n"
            " Columns 7 to 8\n"
            "     7.0000     8.0000\n");
  EXPECT_EQ(show(matrix(1, 13, {2e-5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3e-6})),
            "\n"
            " Columns 1 to 6\n"
            "  1e-5 *\n"
            "  2.0000000  0.0000000  0.0000000  0.0000000  0.0000000  0.0000000\n"
            "\n"
            " Columns 7 to 12\n"
            "  1e-5 *\n"
            "  0.0000000  0.0000000  0.0000000  0.0000000  0.0000000  0.0000000\n"
            "\n"
            " Columns 13 to 13\n"
            "  1e-5 *\n"
            "  0.3000000\n");
  // Values without column groups look the same in both formats.
  EXPECT_EQ(show(matrix(2, 2, {1, 2, 3, 4})), "\n     1.0000     2.0000\n     3.0000     4.0000\n");
  EXPECT_EQ(show(Value(3.0)), "\n     3.0000\n");
  EXPECT_EQ(show(Value()), "\n  []\n");
}

TEST_F(DisplayTest, ManyColumnGroupsKeepTheirRowsTogether) {
  GenMatrixD m(2, 20);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 20; ++j) m(i, j) = (i + 1) * 100 + j + 1;
  const std::string text = show(Value(m));
  EXPECT_NE(text.find("\n Columns 19 to 20\n\n   119.0000   120.0000\n   219.0000   220.0000\n"), std::string::npos);
  EXPECT_NE(text.find(" Columns 13 to 18\n\n   113.0000   114.0000"), std::string::npos);
  EXPECT_EQ(text.find("Columns 21"), std::string::npos);
}

// Later output that sets no format of its own relies on the state the
// display leaves: fixed notation, the precision of the last form.
TEST_F(DisplayTest, LeavesFixedNotationWithTheLastPrecision) {
  const std::ios::fmtflags fixedOnly = std::ios::fixed;
  show(Value(12345.678));
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, fixedOnly);
  EXPECT_EQ(std::cout.precision(), 7);

  show(Value(2.0));
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, fixedOnly);
  EXPECT_EQ(std::cout.precision(), 4);

  show(matrix(1, 2, {1e5, 1}));
  EXPECT_EQ(std::cout.precision(), 7);
  show(matrix(1, 2, {1, 2}));
  EXPECT_EQ(std::cout.precision(), 4);

  output.str("");
  std::cout << 0.5;
  EXPECT_EQ(output.str(), "0.5000");
}

TEST_F(DisplayTest, EmptyValueLeavesTheStreamAlone) {
  show(Value());
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, std::ios::fmtflags());
  EXPECT_EQ(std::cout.precision(), 6);

  show(Value(1e-9));
  show(Value());
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, std::ios::fixed);
  EXPECT_EQ(std::cout.precision(), 7);
}

TEST(MaxAbs, LargestMagnitude) {
  EXPECT_EQ(maxAbs(rawMatrix(2, 2, {1, -7, 3, 6.5})), 7.0);
  EXPECT_EQ(maxAbs(rawMatrix(1, 2, {-0.0, 0.0})), 0.0);
  EXPECT_EQ(maxAbs(rawMatrix(1, 3, {kNaN, 2, kNaN})), 2.0);
  EXPECT_EQ(maxAbs(rawMatrix(1, 2, {kNaN, kNaN})), 0.0);
  EXPECT_EQ(maxAbs(rawMatrix(1, 2, {3, -kInf})), kInf);
}

}  // namespace
