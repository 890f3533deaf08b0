// Builders of MAT-file bytes for the tests, written from the record layout
// and the number formats themselves (not through the library), plus a
// scratch directory and whole-file helpers.
#ifndef VARNEL_TEST_MAT_BYTES_H
#define VARNEL_TEST_MAT_BYTES_H

#include <ftw.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace matbytes {

enum Format { kLE = 0, kBE = 1, kVaxD = 2, kVaxG = 3, kCray = 4 };

inline bool bigEndian(int format) { return format == kBE || format == kCray; }

inline void putWord(std::string& out, std::uint32_t v, bool big) {
  for (int i = 0; i < 4; ++i) {
    const int shift = big ? 24 - 8 * i : 8 * i;
    out += static_cast<char>((v >> shift) & 0xffu);
  }
}

inline void putBytes(std::string& out, std::uint64_t v, int width, bool big) {
  for (int i = 0; i < width; ++i) {
    const int shift = big ? 8 * (width - 1 - i) : 8 * i;
    out += static_cast<char>((v >> shift) & 0xffu);
  }
}

// The sign, exponent field and significand of a nonzero finite x in a
// format that reads its numbers as 0.1fff... * 2^(E - bias): fractionBits
// bits follow the leading 1, which Cray stores and VAX leaves out.
inline std::uint64_t packed(double x, int fractionBits, int bias, int exponentShift, bool explicitLeading) {
  int e;
  const double f = std::frexp(std::fabs(x), &e);  // f in [0.5, 1)
  const std::uint64_t sign = std::signbit(x) ? 1 : 0;
  std::uint64_t significand = static_cast<std::uint64_t>(std::ldexp(f, fractionBits + 1));
  if (!explicitLeading) significand -= std::uint64_t(1) << fractionBits;
  return sign << 63 | std::uint64_t(e + bias) << exponentShift | significand;
}

// The 8 bytes of x in a format; x must be exact in it (Cray keeps 48
// significant bits).
inline std::string encodeDouble(double x, int format) {
  std::string out;
  if (format == kLE || format == kBE) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, 8);
    putBytes(out, bits, 8, format == kBE);
    return out;
  }
  std::uint64_t logical = 0;
  if (x != 0) {
    if (format == kVaxD) logical = packed(x, 55, 128, 55, false);
    if (format == kVaxG) logical = packed(x, 52, 1024, 52, false);
    if (format == kCray) logical = packed(x, 47, 16384, 48, true);
  }
  if (format == kCray) {
    putBytes(out, logical, 8, true);
  } else {
    // VAX: four 16-bit words, most significant first, each little-endian.
    for (int w = 3; w >= 0; --w) putBytes(out, logical >> (16 * w) & 0xffffu, 2, false);
  }
  return out;
}

// One element in precision P (0 double ... 5 uint8), in the format's byte
// order.
inline std::string encodeElement(double x, int format, int P) {
  std::string out;
  const bool big = bigEndian(format);
  switch (P) {
    case 0:
      return encodeDouble(x, format);
    case 1: {
      const float f = static_cast<float>(x);
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      putBytes(out, bits, 4, big);
      return out;
    }
    case 2:
      putBytes(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(x)), 4, big);
      return out;
    case 3:
      putBytes(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(x)), 2, big);
      return out;
    case 4:
      putBytes(out, static_cast<std::uint16_t>(x), 2, big);
      return out;
    default:
      putBytes(out, static_cast<std::uint8_t>(x), 1, big);
      return out;
  }
}

// The 20 header bytes with the ints in the given byte order.
inline std::string header(std::uint32_t type, std::int32_t mrows, std::int32_t ncols, std::int32_t imagf,
                          std::int32_t namlen, bool big) {
  std::string out;
  for (std::int32_t v : {std::int32_t(type), mrows, ncols, imagf, namlen}) putWord(out, std::uint32_t(v), big);
  return out;
}

struct Matrix {
  int rows;
  int cols;
  std::vector<double> real;  // column-major
  std::vector<double> imag;  // empty for a real matrix
};

// A whole record of type M O P T; the elements are written row by row when
// O is not 0.
inline std::string record(int M, int O, int P, int T, const std::string& name, const Matrix& a) {
  std::string out = header(std::uint32_t(M * 1000 + O * 100 + P * 10 + T), a.rows, a.cols, a.imag.empty() ? 0 : 1,
                           std::int32_t(name.size() + 1), bigEndian(M));
  out += name;
  out += '\0';
  for (const std::vector<double>* part : {&a.real, &a.imag}) {
    if (part->empty()) continue;
    for (int k = 0; k < a.rows * a.cols; ++k) {
      const int index = O == 0 ? k : (k % a.cols) * a.rows + k / a.cols;
      out += encodeElement((*part)[index], M, P);
    }
  }
  return out;
}

// A real matrix in big-endian IEEE doubles, as the system writes it.
inline std::string doubles(const std::string& name, const Matrix& a) { return record(kBE, 0, 0, 0, name, a); }

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// A fresh directory below /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/varnel-matfile-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    if (!path_.empty()) nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  static int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }
  std::string path_;
};

}  // namespace matbytes

#endif
