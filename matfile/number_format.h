// Number formats of MAT-file data: the byte order and floating-point layout
// of the machine that wrote a file, the host's own format, and the
// conversions of stored numbers into the host's doubles.
//
// Every function here works on raw bytes (through memcpy), so data of any
// format may sit in any buffer; counts are numbers of items.
#ifndef VARNEL_NUMBER_FORMAT_H
#define VARNEL_NUMBER_FORMAT_H

#include <cstddef>

// The format digit of a record's type code.
enum NumberFormatIndex {
  kIeeeLittleEndian = 0,
  kIeeeBigEndian = 1,
  kVaxD = 2,
  kVaxG = 3,
  kCray = 4,
  kUnknownFormat = 5
};

struct NumberFormat {
  int exponentBits;
  int mantissaBits;
  int isIEEE;
  int bigEndian;
  int biasAdjustment;
  const char* name;
};

constexpr int kNumberFormatCount = 6;
extern const NumberFormat NumberFormats[kNumberFormatCount];

int utGetNumFormatTypes();
// The index of the row that describes the host's doubles, 0 .. 4, or
// kUnknownFormat when none does (the probe then runs again next time).
int utGetFormatType();
// The big-endian flag and the name of a format; an index outside 0 .. 5
// answers for the "unknown" row.
int utGetFormatEndian(int format);
const char* utGetFormatTypeName(int format);
// The is-IEEE flag of the host's format.
int utIsIEEE();

// Reverse the bytes of each of n consecutive items, in place.
void utFlipTwoBytes(std::size_t n, void* data);
void utFlipFourBytes(std::size_t n, void* data);
void utFlipEightBytes(std::size_t n, void* data);

// Put n integers, in place, from the byte order of format `from` into that
// of format `to` (signed and unsigned items alike).
void utTwoByteIntConvert(int from, int to, void* data, std::size_t n);
void utTwoByteUIntConvert(int from, int to, void* data, std::size_t n);
void utFourByteIntConvert(int from, int to, void* data, std::size_t n);

// Convert n singles or doubles in place from format `from` to format `to`.
// Every conversion passes through little-endian IEEE; the targets are the
// IEEE formats only. Returns 0, or 1 (data unchanged) for a pair that has
// no conversion: a non-IEEE or unknown target, an unknown source, and
// singles in the VAX and Cray layouts, whose bits would otherwise be read
// as IEEE singles.
int utSingleConvert(int from, int to, void* data, std::size_t n);
int utDoubleConvert(int from, int to, void* data, std::size_t n);

// The single steps of those conversions, n items each.
void dp_ieee_be2ieee_le(std::size_t n, void* data);
void dp_ieee_le2ieee_be(std::size_t n, void* data);
// format is kVaxD or kVaxG.
void dp_VAX2ieee_le(std::size_t n, void* data, int format);
void dp_Cray2ieee_le(std::size_t n, void* data);
void sp_ieee_be2ieee_le(std::size_t n, void* data);
void sp_ieee_le2ieee_be(std::size_t n, void* data);

// 1 when x is neither infinite nor a NaN; 1 when x is a NaN.
int utFinite(double x);
int utIsNaN(double x);

// x truncated toward zero when it lies in [-2147483648, 2147483647];
// otherwise errno is set (EDOM for a NaN, which gives 2147483647; ERANGE
// for the rest, which gives the bound on x's side).
int mlDbl2Int(double x);
// mlDbl2Int with errno cleared first.
int mlCheckInt(double x);

#endif
