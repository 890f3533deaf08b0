#include "number_format.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

const NumberFormat NumberFormats[kNumberFormatCount] = {
    {11, 52, 1, 0, 0, "ieee-le"}, {11, 52, 1, 1, 0, "ieee-be"}, {8, 55, 0, 0, -1, "vaxd"},
    {11, 52, 0, 0, -1, "vaxg"},   {15, 43, 0, 1, -1, "cray"},   {0, 0, 1, 0, 0, "unknown"}};

namespace {

const NumberFormat& formatRow(int format) {
  return NumberFormats[format >= 0 && format < kNumberFormatCount ? format : kUnknownFormat];
}

// The host's format once a probe has identified it.
int hostFormat = kUnknownFormat;

// The bytes of 1.0 in the formats 0 .. 4: the biased exponent of 1.0 is
// 2^(exponent bits - 1) - IEEE flag - bias adjustment (1023, 129, 1025 and
// 0x4001 with the explicit leading mantissa bit for Cray), laid out in each
// format's word and byte order.
const unsigned char kOneBytes[kUnknownFormat][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xf0, 0x3f},
    {0x3f, 0xf0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x80, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x10, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x40, 0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00}};

void flipBytes(std::size_t n, void* data, std::size_t width) {
  unsigned char* p = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i, p += width) {
    for (std::size_t lo = 0, hi = width - 1; lo < hi; ++lo, --hi) {
      const unsigned char t = p[lo];
      p[lo] = p[hi];
      p[hi] = t;
    }
  }
}

std::uint32_t loadLittle32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint32_t loadBig32(const unsigned char* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

void storeLittle32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// A little-endian IEEE double from its high and low words.
void storeIeeeLittle(unsigned char* p, std::uint32_t high, std::uint32_t low) {
  storeLittle32(p, low);
  storeLittle32(p + 4, high);
}

const std::uint32_t kIeeeNaNHigh = 0x7ff80000u;
const std::uint32_t kIeeeInfinityHigh = 0x7ff00000u;

// One VAX D or G double, given as its two little-endian words, into the
// high and low words of the IEEE double.
void vaxToIeee(std::uint32_t b, std::uint32_t c, bool gFloat, std::uint32_t& high, std::uint32_t& low) {
  const std::uint32_t sign = (b >> 15 & 1u) << 31;
  low = 0;
  if ((b & 0xffff7fffu) == 0xffff7fffu && c == 0xffffffffu) {
    high = sign | kIeeeInfinityHigh;
    return;
  }
  const bool nanPattern = gFloat ? (b == 0xd37affebu && c == 0xe9bd6f4du) : (b == 0x9bd3ff5eu && c == 0x4de97a6fu);
  const int f = gFloat ? int(b >> 4 & 0x7ffu) : int(b >> 7 & 0xffu);
  // A zero exponent with the sign set is the VAX reserved operand, which
  // stands for no number at all.
  if (nanPattern || (f == 0 && sign != 0)) {
    high = kIeeeNaNHigh;
    return;
  }
  if (f == 0) {
    high = 0;
    return;
  }
  const std::uint32_t w0 = b & 0xffffu, w1 = b >> 16, w2 = c & 0xffffu, w3 = c >> 16;
  std::uint32_t fractionHigh, fractionLow;
  int exponent;
  if (gFloat) {
    exponent = f - 2;
    fractionHigh = (w0 & 0xfu) << 16 | w1;
    fractionLow = w2 << 16 | w3;
  } else {
    exponent = f + 894;
    fractionHigh = (w0 & 0x7fu) << 13 | w1 >> 3;
    fractionLow = (w1 & 7u) << 29 | w2 << 13 | w3 >> 3;
  }
  if (exponent > 0) {
    high = sign | std::uint32_t(exponent) << 20 | fractionHigh;
    low = fractionLow;
    return;
  }
  // The two smallest G exponents lie below IEEE's normal range: the value
  // becomes a subnormal (its lowest bits dropped, as the D fraction's are).
  const std::uint64_t significand =
      (std::uint64_t(1) << 52 | std::uint64_t(fractionHigh) << 32 | fractionLow) >> (1 - exponent);
  high = sign | std::uint32_t(significand >> 32);
  low = std::uint32_t(significand);
}

void crayToIeee(std::uint32_t b, std::uint32_t c, std::uint32_t& high, std::uint32_t& low) {
  low = 0;
  if (b == 0 && c == 0) {
    high = 0;
    return;
  }
  if (b == 0xdffdde9bu && c == 0xd37a6f50u) {
    high = kIeeeNaNHigh;
    return;
  }
  const std::uint32_t sign = b & 0x80000000u;
  const int exponent = int(b >> 16 & 0x7fffu) - 15362;
  if (exponent <= 0) {
    high = sign;
  } else if (exponent >= 2047) {
    high = sign | kIeeeInfinityHigh;
  } else {
    high = sign | std::uint32_t(exponent) << 20 | ((b << 5) & 0xfffffu) | c >> 27;
    low = c << 5;
  }
}

bool isIeeeFormat(int format) { return format == kIeeeLittleEndian || format == kIeeeBigEndian; }

void convertIntegerOrder(int from, int to, void* data, std::size_t n, std::size_t width) {
  if (utGetFormatEndian(from) == utGetFormatEndian(to)) return;
  flipBytes(n, data, width);
}

}  // namespace

int utGetNumFormatTypes() { return kNumberFormatCount; }

int utGetFormatType() {
  if (hostFormat != kUnknownFormat) return hostFormat;
  const double one = 1.0;
  unsigned char bytes[8];
  std::memcpy(bytes, &one, sizeof bytes);
  for (int format = 0; format < kUnknownFormat; ++format) {
    if (std::memcmp(bytes, kOneBytes[format], sizeof bytes) == 0) {
      hostFormat = format;
      break;
    }
  }
  return hostFormat;
}

int utGetFormatEndian(int format) { return formatRow(format).bigEndian; }

const char* utGetFormatTypeName(int format) { return formatRow(format).name; }

int utIsIEEE() { return formatRow(utGetFormatType()).isIEEE; }

void utFlipTwoBytes(std::size_t n, void* data) { flipBytes(n, data, 2); }
void utFlipFourBytes(std::size_t n, void* data) { flipBytes(n, data, 4); }
void utFlipEightBytes(std::size_t n, void* data) { flipBytes(n, data, 8); }

void utTwoByteIntConvert(int from, int to, void* data, std::size_t n) { convertIntegerOrder(from, to, data, n, 2); }
void utTwoByteUIntConvert(int from, int to, void* data, std::size_t n) { convertIntegerOrder(from, to, data, n, 2); }
void utFourByteIntConvert(int from, int to, void* data, std::size_t n) { convertIntegerOrder(from, to, data, n, 4); }

void dp_ieee_be2ieee_le(std::size_t n, void* data) { utFlipEightBytes(n, data); }
void dp_ieee_le2ieee_be(std::size_t n, void* data) { utFlipEightBytes(n, data); }
void sp_ieee_be2ieee_le(std::size_t n, void* data) { utFlipFourBytes(n, data); }
void sp_ieee_le2ieee_be(std::size_t n, void* data) { utFlipFourBytes(n, data); }

void dp_VAX2ieee_le(std::size_t n, void* data, int format) {
  unsigned char* p = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i, p += 8) {
    std::uint32_t high, low;
    vaxToIeee(loadLittle32(p), loadLittle32(p + 4), format == kVaxG, high, low);
    storeIeeeLittle(p, high, low);
  }
}

void dp_Cray2ieee_le(std::size_t n, void* data) {
  unsigned char* p = static_cast<unsigned char*>(data);
  for (std::size_t i = 0; i < n; ++i, p += 8) {
    std::uint32_t high, low;
    crayToIeee(loadBig32(p), loadBig32(p + 4), high, low);
    storeIeeeLittle(p, high, low);
  }
}

int utSingleConvert(int from, int to, void* data, std::size_t n) {
  if (from == to) return 0;
  if (!isIeeeFormat(from) || !isIeeeFormat(to)) return 1;
  // Two different IEEE formats differ in byte order only.
  sp_ieee_be2ieee_le(n, data);
  return 0;
}

int utDoubleConvert(int from, int to, void* data, std::size_t n) {
  if (from == to) return 0;
  if (!isIeeeFormat(to)) return 1;
  switch (from) {
    case kIeeeLittleEndian:
      break;
    case kIeeeBigEndian:
      dp_ieee_be2ieee_le(n, data);
      break;
    case kVaxD:
    case kVaxG:
      dp_VAX2ieee_le(n, data, from);
      break;
    case kCray:
      dp_Cray2ieee_le(n, data);
      break;
    default:
      return 1;
  }
  if (to == kIeeeBigEndian) dp_ieee_le2ieee_be(n, data);
  return 0;
}

int utFinite(double x) { return std::isfinite(x) ? 1 : 0; }

int utIsNaN(double x) { return std::isnan(x) ? 1 : 0; }

int mlDbl2Int(double x) {
  if (x >= -2147483648.0 && x <= 2147483647.0) return static_cast<int>(x);
  if (std::isnan(x)) {
    errno = EDOM;
    return 2147483647;
  }
  errno = ERANGE;
  return x > 0 ? 2147483647 : -2147483647 - 1;
}

int mlCheckInt(double x) {
  errno = 0;
  return mlDbl2Int(x);
}
