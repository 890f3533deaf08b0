// Number formats: the host probe, byte order, and the conversion of VAX D,
// VAX G and Cray doubles into IEEE, checked against an encoder written from
// the formats' definitions.
#include "number_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "mat_bytes.h"

namespace {

using matbytes::encodeDouble;

double decoded(const std::string& bytes) {
  double x;
  std::memcpy(&x, bytes.data(), 8);
  return x;
}

// Converts one stored double of format `from` into the host's format.
double toHost(std::string bytes, int from) {
  EXPECT_EQ(utDoubleConvert(from, utGetFormatType(), &bytes[0], 1), 0);
  return decoded(bytes);
}

std::string cray(std::uint64_t word) {
  std::string out;
  matbytes::putBytes(out, word, 8, true);
  return out;
}

std::string vax(std::uint32_t b, std::uint32_t c) {
  std::string out;
  matbytes::putWord(out, b, false);
  matbytes::putWord(out, c, false);
  return out;
}

bool identical(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(NumberFormatTest, HostProbeFindsTheHostsIeeeByteOrder) {
  const std::uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  EXPECT_EQ(utGetFormatType(), first == 1 ? kIeeeLittleEndian : kIeeeBigEndian);
  EXPECT_EQ(utIsIEEE(), 1);
  EXPECT_EQ(utGetNumFormatTypes(), 6);
}

TEST(NumberFormatTest, TableLookupsUseTheUnknownRowOutsideTheTable) {
  const struct {
    int format;
    int bigEndian;
    const char* name;
  } cases[] = {{0, 0, "ieee-le"}, {1, 1, "ieee-be"}, {2, 0, "vaxd"},    {3, 0, "vaxg"},
               {4, 1, "cray"},    {5, 0, "unknown"}, {7, 0, "unknown"}, {-1, 0, "unknown"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(utGetFormatEndian(c.format), c.bigEndian);
    EXPECT_STREQ(utGetFormatTypeName(c.format), c.name);
  }
}

TEST(NumberFormatTest, FlipsReverseEachItemInPlace) {
  unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  utFlipTwoBytes(4, data);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 8), std::string("\2\1\4\3\6\5\10\7", 8));
  utFlipTwoBytes(4, data);
  utFlipFourBytes(2, data);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 8), std::string("\4\3\2\1\10\7\6\5", 8));
  utFlipFourBytes(2, data);
  utFlipEightBytes(1, data);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 8), std::string("\10\7\6\5\4\3\2\1", 8));
}

TEST(NumberFormatTest, IeeeDoublesChangeByteOrderOnlyBetweenByteOrders) {
  const double values[] = {1.0, -0.0, 3.5e-310, std::numeric_limits<double>::infinity(), 0.1};
  for (double x : values) {
    SCOPED_TRACE(x);
    std::string be = encodeDouble(x, matbytes::kBE);
    EXPECT_EQ(utDoubleConvert(kIeeeBigEndian, kIeeeBigEndian, &be[0], 1), 0);
    EXPECT_EQ(be, encodeDouble(x, matbytes::kBE));
    EXPECT_EQ(utDoubleConvert(kIeeeBigEndian, kIeeeLittleEndian, &be[0], 1), 0);
    EXPECT_EQ(be, encodeDouble(x, matbytes::kLE));
    EXPECT_EQ(utDoubleConvert(kIeeeLittleEndian, kIeeeBigEndian, &be[0], 1), 0);
    EXPECT_EQ(be, encodeDouble(x, matbytes::kBE));
  }
}

TEST(NumberFormatTest, VaxDoublesBecomeTheSameIeeeValues) {
  // Every double is exact in VAX D (55 fraction bits) within its exponent
  // range, and in VAX G; G reaches below IEEE's normal range, where the
  // value becomes a subnormal.
  const double dValues[] = {1.0, -1.0, 0.5, 3.141592653589793, -2.5e-30, 1.7e38, 123456789.125, std::ldexp(1.0, -128)};
  for (double x : dValues) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(identical(toHost(encodeDouble(x, matbytes::kVaxD), kVaxD), x));
  }
  const double gValues[] = {1.0, -3.75, 1e300, -1e-300, 0.1, std::ldexp(1.0, -1022), std::ldexp(1.0, -1023),
                            std::ldexp(1.5, -1024), -std::ldexp(1.25, -1023)};
  for (double x : gValues) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(identical(toHost(encodeDouble(x, matbytes::kVaxG), kVaxG), x));
  }
}

TEST(NumberFormatTest, VaxSpecialPatterns) {
  const double inf = std::numeric_limits<double>::infinity();
  // Largest magnitude: exponent and fraction all ones.
  EXPECT_EQ(toHost(vax(0xffff7fffu, 0xffffffffu), kVaxD), inf);
  EXPECT_EQ(toHost(vax(0xffffffffu, 0xffffffffu), kVaxD), -inf);
  EXPECT_EQ(toHost(vax(0xffff7fffu, 0xffffffffu), kVaxG), inf);
  EXPECT_TRUE(std::isnan(toHost(vax(0x9bd3ff5eu, 0x4de97a6fu), kVaxD)));
  EXPECT_TRUE(std::isnan(toHost(vax(0xd37affebu, 0xe9bd6f4du), kVaxG)));
  // A zero exponent: +0 whatever the fraction, the reserved operand (sign
  // set) no number.
  EXPECT_TRUE(identical(toHost(vax(0x0000007fu, 0x12345678u), kVaxD), 0.0));
  EXPECT_TRUE(identical(toHost(vax(0x0000000fu, 0x12345678u), kVaxG), 0.0));
  EXPECT_TRUE(std::isnan(toHost(vax(0x00008000u, 0u), kVaxD)));
  EXPECT_TRUE(std::isnan(toHost(vax(0x00008000u, 0u), kVaxG)));
}

TEST(NumberFormatTest, VaxDDropsItsThreeLowestFractionBits) {
  // 1 + 2^-55 exists in VAX D only: the IEEE value is 1.
  std::string bytes = encodeDouble(1.0, matbytes::kVaxD);
  bytes[6] = 1;  // lowest bit of the last word
  EXPECT_EQ(toHost(bytes, kVaxD), 1.0);
}

TEST(NumberFormatTest, CrayDoublesBecomeIeeeValues) {
  const double values[] = {1.0, -2.5, 0.0, 1e10, 3 * std::ldexp(1.0, -1000), std::ldexp(1.0, 1000), -0.15625};
  for (double x : values) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(identical(toHost(encodeDouble(x, matbytes::kCray), kCray), x));
  }
  // 1.0: exponent field one above the bias, only the leading mantissa bit.
  EXPECT_EQ(toHost(cray(0x4001800000000000ull), kCray), 1.0);
  // Beyond IEEE's range: an infinity or a zero, each with its sign.
  const std::uint64_t leading = std::uint64_t(1) << 47;
  EXPECT_EQ(toHost(cray(std::uint64_t(16384 + 1100) << 48 | leading), kCray), std::numeric_limits<double>::infinity());
  const double tiny = toHost(cray(std::uint64_t(1) << 63 | std::uint64_t(16384 - 1100) << 48 | leading), kCray);
  EXPECT_TRUE(identical(tiny, -0.0));
  EXPECT_TRUE(std::isnan(toHost(cray(0xdffdde9bd37a6f50ull), kCray)));
}

TEST(NumberFormatTest, ConversionsIntoOtherThanIeeeAreRefused) {
  std::string bytes = encodeDouble(1.0, matbytes::kLE);
  const std::string before = bytes;
  EXPECT_EQ(utDoubleConvert(kIeeeLittleEndian, kVaxD, &bytes[0], 1), 1);
  EXPECT_EQ(utDoubleConvert(kUnknownFormat, kIeeeLittleEndian, &bytes[0], 1), 1);
  EXPECT_EQ(bytes, before);
}

TEST(NumberFormatTest, SinglesConvertBetweenIeeeOrdersOnly) {
  const float x = -1.25f;
  std::string be;
  std::uint32_t bits;
  std::memcpy(&bits, &x, 4);
  matbytes::putBytes(be, bits, 4, true);
  std::string data = be;
  EXPECT_EQ(utSingleConvert(kIeeeBigEndian, kIeeeLittleEndian, &data[0], 1), 0);
  std::string le;
  matbytes::putBytes(le, bits, 4, false);
  EXPECT_EQ(data, le);
  // VAX and Cray singles have no conversion: refused, data unchanged.
  for (int format : {kVaxD, kVaxG, kCray}) {
    SCOPED_TRACE(format);
    data = be;
    EXPECT_EQ(utSingleConvert(format, kIeeeLittleEndian, &data[0], 1), 1);
    EXPECT_EQ(data, be);
  }
}

TEST(NumberFormatTest, IntegersSwapOnlyBetweenDifferentByteOrders) {
  unsigned char two[4] = {1, 2, 3, 4};
  utTwoByteIntConvert(kIeeeLittleEndian, kVaxG, two, 2);  // both little-endian
  EXPECT_EQ(std::string(reinterpret_cast<char*>(two), 4), std::string("\1\2\3\4", 4));
  utTwoByteUIntConvert(kCray, kIeeeLittleEndian, two, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(two), 4), std::string("\2\1\4\3", 4));
  unsigned char four[4] = {1, 2, 3, 4};
  utFourByteIntConvert(kIeeeBigEndian, kCray, four, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(four), 4), std::string("\1\2\3\4", 4));
  utFourByteIntConvert(kIeeeBigEndian, kVaxD, four, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(four), 4), std::string("\4\3\2\1", 4));
}

TEST(NumberFormatTest, FiniteAndNaNTests) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(utFinite(1.0), 1);
  EXPECT_EQ(utFinite(4.9e-324), 1);
  EXPECT_EQ(utFinite(inf), 0);
  EXPECT_EQ(utFinite(-inf), 0);
  EXPECT_EQ(utFinite(nan), 0);
  EXPECT_EQ(utIsNaN(nan), 1);
  EXPECT_EQ(utIsNaN(inf), 0);
  EXPECT_EQ(utIsNaN(0.0), 0);
}

TEST(NumberFormatTest, DoubleToIntChecksTheRange) {
  const struct {
    double x;
    int result;
    int error;
  } cases[] = {{3.9, 3, 0},
               {-3.9, -3, 0},
               {2147483647.0, INT_MAX, 0},
               {-2147483648.0, INT_MIN, 0},
               {2147483647.5, INT_MAX, ERANGE},
               {1e300, INT_MAX, ERANGE},
               {-2147483649.0, INT_MIN, ERANGE},
               {-std::numeric_limits<double>::infinity(), INT_MIN, ERANGE},
               {std::numeric_limits<double>::quiet_NaN(), INT_MAX, EDOM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    errno = 12345;
    EXPECT_EQ(mlCheckInt(c.x), c.result);
    EXPECT_EQ(errno, c.error);
  }
}

}  // namespace
