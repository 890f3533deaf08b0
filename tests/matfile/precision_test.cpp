// Precisions: widening stored elements, narrowing doubles, the matrix-wide
// conversions of a read, and the precision chosen for writing.
#include "precision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

template <class T>
std::vector<double> widened(std::vector<T> stored, int P) {
  std::vector<double> out(stored.size(), -7.0);
  ConvertToDoubles(stored.data(), out.data(), stored.size(), P);
  return out;
}

template <class T>
std::vector<T> narrowed(const std::vector<double>& values, int P) {
  std::vector<T> out(values.size());
  ConvertFromDoubles(out.data(), values.data(), values.size(), P);
  return out;
}

TEST(PrecisionTest, ElementSizes) {
  EXPECT_EQ(std::vector<int>(PrecisionSizes, PrecisionSizes + kPrecisionCount), (std::vector<int>{8, 4, 4, 2, 2, 1}));
}

TEST(PrecisionTest, WideningIsExactForEveryPrecision) {
  EXPECT_EQ(widened<double>({0.1, -0.0}, kPrecisionDouble), (std::vector<double>{0.1, -0.0}));
  EXPECT_EQ(widened<float>({1.5f, -0.1f}, kPrecisionSingle), (std::vector<double>{1.5, double(-0.1f)}));
  EXPECT_EQ(widened<std::int32_t>({INT32_MIN, -1, INT32_MAX}, kPrecisionInt32),
            (std::vector<double>{-2147483648.0, -1.0, 2147483647.0}));
  EXPECT_EQ(widened<std::int16_t>({-32768, 32767}, kPrecisionInt16), (std::vector<double>{-32768, 32767}));
  EXPECT_EQ(widened<std::uint16_t>({0, 65535}, kPrecisionUInt16), (std::vector<double>{0, 65535}));
  EXPECT_EQ(widened<std::uint8_t>({0, 255}, kPrecisionUInt8), (std::vector<double>{0, 255}));
}

TEST(PrecisionTest, NarrowingTruncatesAndMapsNaNs) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(narrowed<std::int16_t>({3.9, -3.9, 40000, nan}, kPrecisionInt16),
            (std::vector<std::int16_t>{3, -3, -25536, -1}));
  EXPECT_EQ(narrowed<std::uint16_t>({65535.5, 65536, nan}, kPrecisionUInt16),
            (std::vector<std::uint16_t>{65535, 0, 0xffff}));
  EXPECT_EQ(narrowed<std::uint8_t>({255.9, 256, -1, nan}, kPrecisionUInt8),
            (std::vector<std::uint8_t>{255, 0, 255, 255}));
  EXPECT_EQ(narrowed<std::int32_t>({-7.5, nan, 1e300, -1e300, 2147483647.0}, kPrecisionInt32),
            (std::vector<std::int32_t>{-7, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX}));
}

TEST(PrecisionTest, NarrowingToSingleRoundsLikeIeee) {
  const double halfway = double(FLT_MAX) + std::ldexp(1.0, 103);
  const std::vector<float> out =
      narrowed<float>({0.1, 1e300, -1e300, std::nextafter(halfway, 0.0), halfway}, kPrecisionSingle);
  EXPECT_EQ(out[0], 0.1f);
  EXPECT_EQ(out[1], std::numeric_limits<float>::infinity());
  EXPECT_EQ(out[2], -std::numeric_limits<float>::infinity());
  EXPECT_EQ(out[3], FLT_MAX);
  EXPECT_EQ(out[4], std::numeric_limits<float>::infinity());
}

// A real or complex record over vectors the test keeps.
MxMatrix recordOver(int m, int n, std::vector<double>& real, std::vector<double>* imag = nullptr) {
  MxMatrix x = {};
  x.m = m;
  x.n = n;
  x.pr = real.data();
  x.pi = imag != nullptr ? imag->data() : nullptr;
  return x;
}

TEST(PrecisionTest, ChoiceOfThePrecisionWritten) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    std::vector<double> values;  // the first elements; the rest are 0
    int count;
    int expected;
  };
  const Case cases[] = {
      {"10000 elements whatever they are", {1}, 10000, kPrecisionDouble},
      {"10001 zeros", {}, 10001, kPrecisionUInt8},
      {"int16 range", {-32768, 32767}, 10001, kPrecisionInt16},
      {"below int16", {-32769, 5}, 10001, kPrecisionInt32},
      {"above int16 with negatives", {-1, 32768}, 10001, kPrecisionInt32},
      {"int32 range", {-2147483648.0, 2147483647.0}, 10001, kPrecisionInt32},
      {"beyond int32", {-1, 2147483648.0}, 10001, kPrecisionDouble},
      {"beyond int32 below", {-2147483649.0}, 10001, kPrecisionDouble},
      {"uint8", {0, 255}, 10001, kPrecisionUInt8},
      {"uint16", {0, 256}, 10001, kPrecisionUInt16},
      {"uint16 top", {65535}, 10001, kPrecisionUInt16},
      {"int32 from 65536", {0, 65536}, 10001, kPrecisionInt32},
      {"unsigned beyond int32", {2147483648.0}, 10001, kPrecisionDouble},
      {"a half", {0.5}, 20000, kPrecisionDouble},
      {"an infinity", {inf}, 20000, kPrecisionDouble},
      {"a NaN", {std::numeric_limits<double>::quiet_NaN()}, 20000, kPrecisionDouble},
      {"a negative zero", {-0.0}, 20000, kPrecisionDouble},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> real(c.count, 0.0);
    std::copy(c.values.begin(), c.values.end(), real.begin());
    const MxMatrix x = recordOver(1, c.count, real);
    EXPECT_EQ(chooseDataFormat(&x), c.expected);
  }
}

TEST(PrecisionTest, ComplexMatricesAreJudgedOnBothParts) {
  std::vector<double> real(20000, 3.0), imag(20000, 0.0);
  imag[7] = -300;
  const MxMatrix x = recordOver(100, 200, real, &imag);
  EXPECT_EQ(chooseDataFormat(&x), kPrecisionInt16);
  imag[9] = 0.25;
  EXPECT_EQ(chooseDataFormat(&x), kPrecisionDouble);
}

TEST(PrecisionTest, TransposeTurnsRowsIntoColumns) {
  // 2 x 3 [1 2 3; 4 5 6] row by row.
  const double rows[] = {1, 2, 3, 4, 5, 6};
  double columns[6];
  TransposeData(rows, columns, 2, 3);
  EXPECT_EQ(std::vector<double>(columns, columns + 6), (std::vector<double>{1, 4, 2, 5, 3, 6}));
}

double* heapCopy(const std::vector<double>& v) {
  double* p = static_cast<double*>(mxMalloc(v.size(), sizeof(double)));
  std::copy(v.begin(), v.end(), p);
  return p;
}

TEST(PrecisionTest, TransposeMatrixDataTurnsBothParts) {
  MxMatrix* x = mxCreateFull(0, 0, 0);
  x->m = 3;
  x->n = 2;
  x->pr = heapCopy({1, 2, 3, 4, 5, 6});
  x->pi = heapCopy({-1, -2, -3, -4, -5, -6});
  ASSERT_EQ(TransposeMatrixData(x), 0);
  EXPECT_EQ(std::vector<double>(x->pr, x->pr + 6), (std::vector<double>{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(std::vector<double>(x->pi, x->pi + 6), (std::vector<double>{-1, -3, -5, -2, -4, -6}));
  mxFreeMatrix(x);
}

TEST(PrecisionTest, MatrixConversionWidensBothArrays) {
  MxMatrix* x = mxCreateFull(0, 0, 0);
  x->m = 1;
  x->n = 3;
  const std::int16_t real[] = {-2, 0, 300}, imag[] = {5, -6, 7};
  x->pr = static_cast<double*>(mxMalloc(3, sizeof(std::int16_t)));
  x->pi = static_cast<double*>(mxMalloc(3, sizeof(std::int16_t)));
  std::memcpy(x->pr, real, sizeof real);
  std::memcpy(x->pi, imag, sizeof imag);
  ASSERT_EQ(ConvertMatrixToDoubles(x, kPrecisionInt16), 0);
  EXPECT_EQ(std::vector<double>(x->pr, x->pr + 3), (std::vector<double>{-2, 0, 300}));
  EXPECT_EQ(std::vector<double>(x->pi, x->pi + 3), (std::vector<double>{5, -6, 7}));
  mxFreeMatrix(x);
}

}  // namespace
