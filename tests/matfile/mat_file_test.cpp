// MAT-files: reading records of every format, precision and order, the
// header checks against malformed files, listing, sparse records, writing
// big-endian records in the chosen precision, replacing records, and
// failures that must leave a file as it was.
#include "mat_file.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "mat_bytes.h"
#include "mat_record.h"

namespace {

using matbytes::Matrix;
using matbytes::doubles;
using matbytes::readFile;
using matbytes::record;
using matbytes::writeFile;

const std::vector<std::string> kNoList = {"<null>"};

struct Read {
  int status = -1;
  int m = -5;
  int n = -5;
  std::vector<double> real;
  std::vector<double> imag;
  bool hasReal = false;
  bool hasImag = false;
};

class MatFileTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name = "f.mat") const { return dir.file(name); }

  // The names matGetDir lists, or kNoList when it gives null.
  static std::vector<std::string> names(const std::string& file) {
    MATFile* f = matOpen(file.c_str(), "r");
    if (f == nullptr) return {"<unopened>"};
    int count = -3;
    char** list = matGetDir(f, &count);
    std::vector<std::string> result = kNoList;
    if (list != nullptr) {
      result.assign(list, list + count);
      mxFree(list);
    } else {
      EXPECT_EQ(count, -3);
    }
    matClose(f);
    return result;
  }

  // matGetFull on a file opened for reading; on failure the outputs must be
  // untouched.
  static Read get(const std::string& file, const char* name) {
    Read r;
    MATFile* f = matOpen(file.c_str(), "r");
    if (f == nullptr) return r;
    double sentinel = 0;
    double* pr = &sentinel;
    double* pi = &sentinel;
    r.status = matGetFull(f, name, &r.m, &r.n, &pr, &pi);
    if (r.status != 0) {
      EXPECT_EQ(pr, &sentinel);
      EXPECT_EQ(pi, &sentinel);
      EXPECT_EQ(r.m, -5);
      EXPECT_EQ(r.n, -5);
    } else {
      const long count = long(r.m) * r.n;
      r.hasReal = pr != nullptr;
      r.hasImag = pi != nullptr;
      if (pr != nullptr) r.real.assign(pr, pr + count);
      if (pi != nullptr) r.imag.assign(pi, pi + count);
      mxFree(pr);
      mxFree(pi);
    }
    matClose(f);
    return r;
  }

  // Writes matrices with matPutFull into a file opened in mode.
  static int put(const std::string& file, const char* mode, const char* name, const Matrix& a) {
    MATFile* f = matOpen(file.c_str(), mode);
    if (f == nullptr) return -1;
    const int status = matPutFull(f, name, a.rows, a.cols, a.real.data(), a.imag.empty() ? nullptr : a.imag.data());
    return matClose(f) != 0 ? -2 : status;
  }

  std::vector<std::string> dirEntries() const {
    std::vector<std::string> entries;
    DIR* d = opendir(dir.path().c_str());
    for (dirent* e = readdir(d); e != nullptr; e = readdir(d)) {
      if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.')) entries.push_back(e->d_name);
    }
    closedir(d);
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  matbytes::TempDir dir;
};

// Values each precision holds exactly (and Cray's 48 significant bits).
std::vector<double> valuesFor(int P) {
  switch (P) {
    case 0:
      return {1.5, -0.25, 3e10, 7, -1024.125, 0};
    case 1:
      return {1.5, -0.25, 1024, 7, -0.125, 0};
    case 2:
      return {-2147483648.0, 2147483647.0, -1, 0, 70000, 3};
    case 3:
      return {-32768, 32767, -1, 0, 5, 7};
    case 4:
      return {0, 300, 65535, 1, 2, 3};
    default:
      return {0, 1, 2, 100, 200, 255};
  }
}

TEST_F(MatFileTest, ReadsEveryFormatPrecisionAndOrder) {
  for (int M = 0; M <= 4; ++M) {
    for (int P = 0; P <= 5; ++P) {
      if (P == 1 && M >= 2) continue;  // refused, below
      for (int O = 0; O <= 1; ++O) {
        SCOPED_TRACE("M " + std::to_string(M) + " P " + std::to_string(P) + " O " + std::to_string(O));
        const Matrix a{2, 3, valuesFor(P), {}};
        writeFile(path(), record(M, O, P, 0, "x", a) + record(M, O, P, 0, "y", a));
        EXPECT_EQ(names(path()), (std::vector<std::string>{"x", "y"}));
        const Read r = get(path(), "y");
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.m, 2);
        EXPECT_EQ(r.n, 3);
        EXPECT_EQ(r.real, a.real);
        EXPECT_FALSE(r.hasImag);
      }
    }
  }
}

TEST_F(MatFileTest, VaxAndCraySinglesAreRefusedNotMisread) {
  for (int M = 2; M <= 4; ++M) {
    SCOPED_TRACE(M);
    writeFile(path(),
              record(M, 0, 1, 0, "s", Matrix{1, 2, {1, 2}, {}}) + record(M, 0, 0, 0, "d", Matrix{1, 1, {4}, {}}));
    EXPECT_EQ(names(path()), (std::vector<std::string>{"s", "d"}));
    EXPECT_EQ(get(path(), "s").status, 1);
    EXPECT_EQ(get(path(), "d").real, std::vector<double>{4});
  }
}

TEST_F(MatFileTest, ComplexRecordsGiveBothPartsInColumnOrder) {
  const Matrix a{2, 2, {1, 2, 3, 4}, {-1, -2, -3, -4}};
  for (int O = 0; O <= 1; ++O) {
    SCOPED_TRACE(O);
    writeFile(path(), record(matbytes::kLE, O, 3, 0, "z", a));
    const Read r = get(path(), "z");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.real, a.real);
    EXPECT_EQ(r.imag, a.imag);
  }
}

TEST_F(MatFileTest, TextRecordsGiveCharacterCodes) {
  writeFile(path(), record(matbytes::kLE, 0, 5, 1, "t", Matrix{1, 3, {'h', 'i', '!'}, {}}));
  const Read r = get(path(), "t");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.real, (std::vector<double>{104, 105, 33}));
}

TEST_F(MatFileTest, EmptyRecordsKeepTheirSizeWithoutArrays) {
  writeFile(path(), doubles("e", Matrix{0, 0, {}, {}}) + doubles("f", Matrix{0, 3, {}, {}}) +
                        doubles("g", Matrix{1, 1, {9}, {}}));
  EXPECT_EQ(names(path()), (std::vector<std::string>{"e", "f", "g"}));
  const Read e = get(path(), "e"), f = get(path(), "f");
  ASSERT_EQ(e.status, 0);
  EXPECT_EQ(e.m, 0);
  EXPECT_FALSE(e.hasReal);
  ASSERT_EQ(f.status, 0);
  EXPECT_EQ(f.m, 0);
  EXPECT_EQ(f.n, 3);
  EXPECT_FALSE(f.hasReal);
  EXPECT_EQ(get(path(), "g").real, std::vector<double>{9});
}

TEST_F(MatFileTest, SearchesFindTheFirstRecordOfANameExactly) {
  writeFile(path(), doubles("A", Matrix{1, 1, {1}, {}}) + doubles("a", Matrix{1, 1, {2}, {}}) +
                        doubles("A", Matrix{1, 1, {3}, {}}));
  EXPECT_EQ(get(path(), "A").real, std::vector<double>{1});
  EXPECT_EQ(get(path(), "a").real, std::vector<double>{2});
  EXPECT_EQ(get(path(), "b").status, 1);
  EXPECT_EQ(get(path(), "").status, 1);
}

TEST_F(MatFileTest, FilesWithoutRecordsListNothing) {
  writeFile(path(), "");
  EXPECT_EQ(names(path()), kNoList);
  writeFile(path(), "abc");
  EXPECT_EQ(names(path()), kNoList);
  EXPECT_EQ(get(path(), "abc").status, 1);
}

// Builds a header (big-endian ints) followed by the given bytes.
std::string badRecord(std::uint32_t type, std::int32_t rows, std::int32_t cols, std::int32_t namlen,
                      const std::string& rest) {
  return matbytes::header(type, rows, cols, 0, namlen, true) + rest;
}

TEST_F(MatFileTest, MalformedRecordsEndTheListingAndTheRecordsBeforeThemStayReadable) {
  const std::string good = doubles("ok", Matrix{1, 2, {5, 6}, {}});
  const std::string after = doubles("after", Matrix{1, 1, {1}, {}});
  const std::string eightBytes(8, '\0');
  const std::string nameB("b\0", 2);
  const struct {
    const char* what;
    std::string bytes;
    bool followed;  // false: the bad record must end the file to be bad
    bool listed;    // a valid header whose data the file does not hold
  } cases[] = {
      {"truncated header", std::string("\0\0\3\xe8\0\0\0\1\0\0", 10), false, false},
      {"name length 0", badRecord(1000, 1, 1, 0, eightBytes), true, false},
      {"name length -1", badRecord(1000, 1, 1, -1, nameB + eightBytes), true, false},
      {"name length 21", badRecord(1000, 1, 1, 21, nameB + std::string(19, 'x') + eightBytes), true, false},
      {"negative rows", badRecord(1000, -1, 1, 2, nameB + eightBytes), true, false},
      {"negative columns", badRecord(1000, 1, -2, 2, nameB + eightBytes), true, false},
      {"100000001 elements", badRecord(1000, 10000, 10001, 2, nameB + eightBytes), true, false},
      {"product overflowing 32 bits", badRecord(1000, 65536, 65536, 2, nameB + eightBytes), true, false},
      {"largest int rows", badRecord(1000, 2147483647, 1, 2, nameB + eightBytes), true, false},
      {"precision digit 6", badRecord(1060, 1, 1, 2, nameB + eightBytes), true, false},
      {"format digit 5", badRecord(5000, 1, 1, 2, nameB + eightBytes), true, false},
      {"type beyond 9999 both ways", badRecord(0x00ffff00u, 1, 1, 2, nameB + eightBytes), true, false},
      {"name without its NUL", badRecord(1000, 1, 1, 3, "bad" + eightBytes), true, false},
      {"name cut short", badRecord(1000, 1, 1, 10, "b"), false, false},
      // The data claimed runs past the end of the file: the record after it
      // is out of reach, and the truncated one is named but cannot be read.
      {"more data than the file holds", badRecord(1000, 1000, 1000, 2, nameB + eightBytes), true, true},
      {"data one byte short", badRecord(1000, 1, 2, 2, nameB + std::string(15, '\0')), false, true},
      {"imaginary part missing", matbytes::header(1000, 1, 1, 1, 2, true) + nameB + eightBytes, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string rest = c.followed ? after : "";
    writeFile(path(), good + c.bytes + rest);
    EXPECT_EQ(names(path()), c.listed ? (std::vector<std::string>{"ok", "b"}) : (std::vector<std::string>{"ok"}));
    EXPECT_EQ(get(path(), "ok").real, (std::vector<double>{5, 6}));
    EXPECT_EQ(get(path(), "b").status, 1);
    EXPECT_EQ(get(path(), "after").status, 1);
    // A file that begins with the bad record lists nothing else.
    writeFile(path(), c.bytes + rest);
    EXPECT_EQ(names(path()), c.listed ? std::vector<std::string>{"b"} : kNoList);
  }
}

// A field of /proc/self/status in kB, such as "VmPeak:"; -1 when missing.
long statusKb(const std::string& field) {
  std::istringstream lines(readFile("/proc/self/status"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
  }
  return -1;
}

TEST_F(MatFileTest, AHeaderAloneNeverMakesTheReaderReserveMemory) {
  // Headers that claim the most a record may hold, 1e8 complex doubles
  // (1.6 GB), in either byte order, in a file of a few bytes.
  const std::string claims[] = {
      matbytes::header(1000, 10000, 10000, 1, 2, true) + std::string("b\0", 2) + std::string(16, '\0'),
      matbytes::header(0, 10000, 10000, 1, 2, false) + std::string("b\0", 2) + std::string(16, '\0'),
  };
  const long sizeBefore = statusKb("VmSize:"), peakBefore = statusKb("VmPeak:");
  if (sizeBefore < 0 || peakBefore < 0) GTEST_SKIP() << "no /proc/self/status";
  for (const std::string& bytes : claims) {
    writeFile(path(), bytes);
    EXPECT_EQ(names(path()), std::vector<std::string>{"b"});
    EXPECT_EQ(get(path(), "b").status, 1);
  }
  // Reserving the claimed data, even without touching it, raises the peak
  // of the address space by that much.
  EXPECT_LE(statusKb("VmPeak:"), std::max(peakBefore, sizeBefore + 256 * 1024));
}

TEST_F(MatFileTest, ANameEndsAtItsFirstNulWithinItsLength) {
  writeFile(path(), badRecord(1000, 1, 1, 6, std::string("ab\0xyz", 6) + matbytes::encodeDouble(2, 1)) +
                        doubles("next", Matrix{1, 1, {3}, {}}));
  EXPECT_EQ(names(path()), (std::vector<std::string>{"ab", "next"}));
  EXPECT_EQ(get(path(), "ab").real, std::vector<double>{2});
  EXPECT_EQ(get(path(), "next").real, std::vector<double>{3});
}

TEST_F(MatFileTest, HeadersInEitherByteOrder) {
  // A little-endian header whose type reads beyond 9999 big-endian.
  writeFile(path(), record(matbytes::kLE, 0, 0, 0, "le", Matrix{1, 1, {2}, {}}) +
                        record(matbytes::kVaxD, 0, 0, 0, "vax", Matrix{1, 1, {-3}, {}}) +
                        record(matbytes::kCray, 0, 0, 0, "cray", Matrix{1, 1, {0.5}, {}}));
  EXPECT_EQ(names(path()), (std::vector<std::string>{"le", "vax", "cray"}));
  EXPECT_EQ(get(path(), "cray").real, std::vector<double>{0.5});
  EXPECT_EQ(get(path(), "vax").real, std::vector<double>{-3});
}

// A triplet-form (T = 2) record from its rows.
std::string tripletRecord(const std::string& name, const std::vector<std::vector<double>>& rows) {
  Matrix a{int(rows.size()), int(rows.front().size()), {}, {}};
  for (int c = 0; c < a.cols; ++c)
    for (const auto& row : rows) a.real.push_back(row[c]);
  return record(matbytes::kBE, 0, 0, 2, name, a);
}

TEST_F(MatFileTest, SparseRecordsAreConvertedByMatGetMatrixAndRefusedByMatGetFull) {
  writeFile(path(), tripletRecord("S", {{1, 1, 5}, {3, 2, 7}, {3, 3, 0}}) + doubles("x", Matrix{1, 1, {1}, {}}));
  EXPECT_EQ(names(path()), (std::vector<std::string>{"S", "x"}));
  EXPECT_EQ(get(path(), "S").status, 1);
  EXPECT_EQ(get(path(), "x").real, std::vector<double>{1});
  MATFile* f = matOpen(path().c_str(), "r");
  MxMatrix* s = matGetMatrix(f, "S");
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(mxIsSparse(s));
  EXPECT_EQ(std::vector<int>(s->jc, s->jc + 4), (std::vector<int>{0, 1, 2, 2}));
  EXPECT_EQ(std::vector<int>(s->ir, s->ir + 2), (std::vector<int>{0, 2}));
  EXPECT_EQ(std::vector<double>(s->pr, s->pr + 2), (std::vector<double>{5, 7}));
  mxFreeMatrix(s);
  MxMatrix* x = matGetMatrix(f, "x");
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(mxIsFull(x));
  mxFreeMatrix(x);
  matClose(f);
}

TEST_F(MatFileTest, SparseRecordsWithBadDimensionsAreRefused) {
  const struct {
    const char* what;
    std::vector<std::vector<double>> rows;
  } cases[] = {
      {"two columns", {{1, 1}, {2, 2}}},
      {"columns without bound", {{1, 1, 5}, {2, 2147483647.0, 0}}},
      {"negative rows", {{-1, 2, 0}}},
      {"row beyond the size", {{9, 1, 5}, {2, 2, 0}}},
      {"fractional column", {{1, 1.5, 5}, {2, 2, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(path(), tripletRecord("S", c.rows));
    MATFile* f = matOpen(path().c_str(), "r");
    EXPECT_EQ(matGetMatrix(f, "S"), nullptr);
    matClose(f);
    EXPECT_EQ(get(path(), "S").status, 1);
  }
}

// What one call of matGetNextFull gave.
struct Next {
  int result;
  std::string name;  // "<null>" when no name was given
  std::vector<double> real;
  bool operator==(const Next& o) const { return result == o.result && name == o.name && real == o.real; }
};

std::ostream& operator<<(std::ostream& out, const Next& n) {
  out << "{" << n.result << " " << n.name << " [";
  for (double x : n.real) out << " " << x;
  return out << " ]}";
}

// Every call of matGetNextFull on a file opened for reading, up to its end
// or the first record that cannot be read.
std::vector<Next> readInTurn(const std::string& file) {
  std::vector<Next> calls;
  MATFile* f = matOpen(file.c_str(), "r");
  if (f == nullptr) return calls;
  for (;;) {
    const char* name = nullptr;
    int m = -5, n = -5;
    double* pr = nullptr;
    double* pi = nullptr;
    Next next{matGetNextFull(f, &name, &m, &n, &pr, &pi), name != nullptr ? name : "<null>", {}};
    if (next.result == kMatNextFull) {
      if (pr != nullptr) next.real.assign(pr, pr + long(m) * n);
      mxFree(pr);
      mxFree(pi);
    } else {
      EXPECT_EQ(m, -5);
      EXPECT_EQ(pr, nullptr);
    }
    calls.push_back(next);
    if (next.result == kMatNextEnd || next.result == kMatNextUnreadable || calls.size() > 20) break;
  }
  matClose(f);
  return calls;
}

TEST_F(MatFileTest, RecordsAreReadInTurnPassingOverTheOnesThatCannotBeHandedOut) {
  const std::string longName = "abcdefghijklmnopqrstuvwxyz";
  // A short name in a name field longer than a record here holds counts as
  // a long name, as a search by name refuses it.
  const std::string shortInLongField = badRecord(1000, 1, 1, 21, std::string("s\0", 2) + std::string(19 + 8, '\0'));
  writeFile(path(), doubles("a", Matrix{1, 2, {1, 2}, {}}) + shortInLongField +
                        record(matbytes::kLE, 0, 0, 0, longName, Matrix{1, 1, {3}, {}}) +
                        tripletRecord("sp", {{1, 1, 5}, {3, 2, 7}, {3, 3, 0}}) +
                        record(matbytes::kBE, 0, 5, 1, "t", Matrix{1, 2, {'h', 'i'}, {}}) +
                        doubles("abcdefghijklmnopqrst", Matrix{1, 1, {4}, {}}) +
                        record(matbytes::kLE, 1, 3, 0, "abcdefghijklmnopqrs", Matrix{2, 2, {1, 2, 3, 4}, {}}) +
                        doubles("e", Matrix{0, 3, {}, {}}));
  EXPECT_EQ(readInTurn(path()), (std::vector<Next>{{kMatNextFull, "a", {1, 2}},
                                                   {kMatNextLongName, "s", {}},
                                                   {kMatNextLongName, longName, {}},
                                                   {kMatNextSparse, "sp", {}},
                                                   {kMatNextFull, "t", {'h', 'i'}},
                                                   {kMatNextLongName, "abcdefghijklmnopqrst", {}},
                                                   {kMatNextFull, "abcdefghijklmnopqrs", {1, 2, 3, 4}},
                                                   {kMatNextFull, "e", {}},
                                                   {kMatNextEnd, "<null>", {}}}));
  // The listing and the search by name still end at a long name.
  EXPECT_EQ(names(path()), std::vector<std::string>{"a"});
}

TEST_F(MatFileTest, ReadingInTurnStopsAtTheFirstRecordThatCannotBeRead) {
  const std::string good = doubles("ok", Matrix{1, 1, {5}, {}});
  const std::string after = doubles("after", Matrix{1, 1, {1}, {}});
  const std::string nameB("b\0", 2);
  const std::string eightBytes(8, '\0');
  const struct {
    const char* what;
    std::string bytes;
    bool followed;
    const char* name;  // "<null>": the header could not be read
  } cases[] = {
      {"cut header", std::string("\0\0\3\xe8\0\0", 6), false, "<null>"},
      {"name field past the end of the file",
       badRecord(1000, 1, 1, 1000000, std::string(300, 'n') + std::string(1, '\0') + eightBytes), true, "<null>"},
      {"name field one byte past the end", badRecord(1000, 0, 0, 302, std::string(300, 'n') + std::string(1, '\0')),
       false, "<null>"},
      {"precision digit 6", badRecord(1060, 1, 1, 2, nameB + eightBytes), true, "<null>"},
      {"data one byte short", badRecord(1000, 1, 2, 2, nameB + std::string(15, '\0')), false, "b"},
      {"long name, data beyond the end", badRecord(1000, 100, 1, 21, std::string(20, 'n') + '\0' + eightBytes),
       true, "nnnnnnnnnnnnnnnnnnnn"},
      {"sparse, data beyond the end", badRecord(1002, 100, 3, 2, nameB + eightBytes), true, "b"},
      {"VAX single precision", matbytes::header(2010, 1, 1, 0, 2, false) + nameB + std::string(4, '\0'), true, "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(path(), good + c.bytes + (c.followed ? after : ""));
    EXPECT_EQ(readInTurn(path()),
              (std::vector<Next>{{kMatNextFull, "ok", {5}}, {kMatNextUnreadable, c.name, {}}}));
  }
  // A name field of any length the file holds is passed over with the
  // data behind it, the whole name given.
  for (const std::size_t field : {256, 257, 301}) {
    SCOPED_TRACE(field);
    const std::string name(field - 1, 'n');
    writeFile(
        path(),
        badRecord(1000, 1, 2, std::int32_t(field), name + std::string(1, '\0') + eightBytes + eightBytes) + after);
    EXPECT_EQ(
        readInTurn(path()),
        (std::vector<Next>{{kMatNextLongName, name, {}}, {kMatNextFull, "after", {1}}, {kMatNextEnd, "<null>", {}}}));
  }
  // Nothing is read from a file with a version line.
  std::string versionLine = "MAT-file V02.0 (ieee-be)";
  versionLine.resize(24, ' ');
  writeFile(path(), versionLine + good);
  EXPECT_EQ(readInTurn(path()), (std::vector<Next>{{kMatNextUnreadable, "<null>", {}}}));
  writeFile(path(), "");
  EXPECT_EQ(readInTurn(path()), (std::vector<Next>{{kMatNextEnd, "<null>", {}}}));
}

TEST_F(MatFileTest, SparseRecordsAreWrittenAsTriplets) {
  MxMatrix* x = spzeros(0, 3, 3, 2);
  mxSetName(x, "S");
  x->jc[1] = 1;
  x->jc[2] = 2;
  x->jc[3] = 2;
  x->ir[1] = 2;
  x->pr[0] = 5;
  x->pr[1] = 7;
  MATFile* f = matOpen(path().c_str(), "w");
  EXPECT_EQ(matPutMatrix(f, x), 0);
  EXPECT_EQ(matClose(f), 0);
  mxFreeMatrix(x);
  EXPECT_EQ(readFile(path()), tripletRecord("S", {{1, 1, 5}, {3, 2, 7}, {3, 3, 0}}));
}

TEST_F(MatFileTest, AWrittenRecordIsBigEndianIeeeInColumnOrder) {
  const Matrix a{2, 3, {1, 4, 2, 5, 3, 6}, {}};
  const std::vector<double> before = a.real;
  ASSERT_EQ(put(path(), "w", "A", a), 0);
  const std::string bytes = readFile(path());
  ASSERT_EQ(bytes.size(), 20u + 2 + 48);
  EXPECT_EQ(bytes.substr(0, 20), matbytes::header(1000, 2, 3, 0, 2, true));
  EXPECT_EQ(bytes, doubles("A", a));
  EXPECT_EQ(a.real, before);
}

TEST_F(MatFileTest, ComplexMatricesAreWrittenWithTheirImaginaryParts) {
  const Matrix a{1, 2, {1.5, -2}, {0.25, 3}};
  ASSERT_EQ(put(path(), "w", "z", a), 0);
  EXPECT_EQ(readFile(path()), record(matbytes::kBE, 0, 0, 0, "z", a));
  const Read r = get(path(), "z");
  EXPECT_EQ(r.real, a.real);
  EXPECT_EQ(r.imag, a.imag);
}

TEST_F(MatFileTest, LargeIntegralMatricesAreWrittenInTheSmallestPrecision) {
  const struct {
    const char* what;
    double low;
    double high;
    std::uint32_t type;
  } cases[] = {{"uint8", 0, 255, 1050},           {"uint16", 0, 65535, 1040},   {"int16", -32768, 32767, 1030},
               {"int32", -40000, 40000, 1020},    {"int32 unsigned", 0, 70000, 1020},
               {"double", -0.5, 10, 1000},        {"beyond int32", 0, 4294967296.0, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Matrix a{200, 100, std::vector<double>(20000), {}};
    for (int k = 0; k < 20000; ++k) a.real[k] = k % 2 ? c.high : c.low;
    a.real[7] = 1;
    const std::vector<double> before = a.real;
    ASSERT_EQ(put(path(), "w", "big", a), 0);
    EXPECT_EQ(a.real, before);
    const std::string bytes = readFile(path());
    EXPECT_EQ(bytes.substr(0, 20), matbytes::header(c.type, 200, 100, 0, 4, true));
    const int size = std::vector<int>{8, 4, 4, 2, 2, 1}[(c.type % 100) / 10];
    EXPECT_EQ(bytes.size(), 20u + 4 + 20000u * size);
    EXPECT_EQ(get(path(), "big").real, a.real);
  }
}

TEST_F(MatFileTest, NamesAndSizesTheReaderWouldRefuseAreNotWritten) {
  const Matrix a{1, 1, {1}, {}};
  EXPECT_EQ(put(path(), "w", "abcdefghijklmnopqrs", a), 0);
  EXPECT_EQ(names(path()), (std::vector<std::string>{"abcdefghijklmnopqrs"}));
  const std::string kept = readFile(path());
  for (const char* name : {"abcdefghijklmnopqrst", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(put(path(), "u", name, a), 1);
    EXPECT_EQ(readFile(path()), kept);
  }
  // Appending takes the same names and sizes as replacing.
  for (auto* putFull : {matPutFull, matPutNextFull}) {
    MATFile* f = matOpen(path().c_str(), "u");
    EXPECT_EQ(putFull(f, "abcdefghijklmnopqrst", 1, 1, a.real.data(), nullptr), 1);
    EXPECT_EQ(putFull(f, "neg", -1, 2, a.real.data(), nullptr), 1);
    EXPECT_EQ(putFull(f, "huge", 10001, 10000, a.real.data(), nullptr), 1);
    EXPECT_EQ(putFull(f, nullptr, 1, 1, a.real.data(), nullptr), 1);
    EXPECT_EQ(matClose(f), 0);
    EXPECT_EQ(readFile(path()), kept);
  }
}

TEST_F(MatFileTest, FilesOpenedForReadingAreNotWritten) {
  writeFile(path(), doubles("a", Matrix{1, 1, {1}, {}}));
  MATFile* f = matOpen(path().c_str(), "r");
  EXPECT_EQ(matPutFull(f, "b", 1, 1, std::vector<double>{2}.data(), nullptr), 1);
  EXPECT_EQ(matDeleteMatrix(f, "a"), 1);
  matClose(f);
  EXPECT_EQ(names(path()), (std::vector<std::string>{"a"}));
}

TEST_F(MatFileTest, WriteModeStartsAnEmptyFileAndUpdateModeAppends) {
  writeFile(path(), doubles("old", Matrix{1, 1, {1}, {}}));
  ASSERT_EQ(put(path(), "w", "new", Matrix{1, 1, {2}, {}}), 0);
  EXPECT_EQ(names(path()), (std::vector<std::string>{"new"}));
  ASSERT_EQ(put(path(), "u", "more", Matrix{1, 1, {3}, {}}), 0);
  EXPECT_EQ(names(path()), (std::vector<std::string>{"new", "more"}));
  // Too short for a record: an update starts the file anew.
  writeFile(path(), "xy");
  ASSERT_EQ(put(path(), "u", "a", Matrix{1, 1, {4}, {}}), 0);
  EXPECT_EQ(names(path()), (std::vector<std::string>{"a"}));
  EXPECT_EQ(matOpen(path().c_str(), nullptr), nullptr);
}

TEST_F(MatFileTest, ReplacingARecordKeepsOneAtTheEndAndTheOthersInOrder) {
  const std::string original = doubles("A", Matrix{1, 1, {1}, {}}) + doubles("B", Matrix{1, 2, {2, 2}, {}}) +
                               doubles("C", Matrix{1, 1, {3}, {}});
  writeFile(path(), original);
  chmod(path().c_str(), 0640);
  MATFile* f = matOpen(path().c_str(), "u");
  const std::vector<double> b{7, 8, 9};
  EXPECT_EQ(matPutFull(f, "B", 3, 1, b.data(), nullptr), 0);
  // The handle goes on with the new file.
  EXPECT_EQ(matPutFull(f, "D", 1, 1, b.data(), nullptr), 0);
  EXPECT_EQ(matDeleteMatrix(f, "A"), 0);
  EXPECT_EQ(matDeleteMatrix(f, "A"), 1);
  EXPECT_EQ(matClose(f), 0);
  EXPECT_EQ(readFile(path()), doubles("C", Matrix{1, 1, {3}, {}}) + doubles("B", Matrix{3, 1, b, {}}) +
                                  doubles("D", Matrix{1, 1, {7}, {}}));
  struct stat status;
  ASSERT_EQ(stat(path().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
}

TEST_F(MatFileTest, AnExportWritingANameTwiceKeepsTheLastMatrix) {
  MATFile* f = matOpen(path().c_str(), "w");
  const std::vector<double> one{1}, two{2};
  EXPECT_EQ(matPutFull(f, "x", 1, 1, one.data(), nullptr), 0);
  EXPECT_EQ(matPutFull(f, "x", 1, 1, two.data(), nullptr), 0);
  EXPECT_EQ(matClose(f), 0);
  EXPECT_EQ(names(path()), std::vector<std::string>{"x"});
  EXPECT_EQ(get(path(), "x").real, two);
}

// Appending goes to the end without a look at the records already there:
// a name written twice is in the file twice.
TEST_F(MatFileTest, AppendingReadsNoRecordBeforeIt) {
  MATFile* f = matOpen(path().c_str(), "w");
  const std::vector<double> one{1}, two{2};
  const long before = fiHeaderReads();
  EXPECT_EQ(matPutNextFull(f, "x", 1, 1, one.data(), nullptr), 0);
  EXPECT_EQ(matPutNextFull(f, "y", 1, 1, two.data(), nullptr), 0);
  EXPECT_EQ(matPutNextFull(f, "x", 1, 1, two.data(), nullptr), 0);
  EXPECT_EQ(fiHeaderReads(), before);
  EXPECT_EQ(matClose(f), 0);
  EXPECT_EQ(readFile(path()), doubles("x", Matrix{1, 1, one, {}}) + doubles("y", Matrix{1, 1, two, {}}) +
                                  doubles("x", Matrix{1, 1, two, {}}));
}

// The new file of a write is named apart from its target, so that a target
// whose name is as long as a folder takes can still be written, replaced and
// updated, a name written twice included.
TEST_F(MatFileTest, TargetsWithTheLongestNamesAreWrittenAndReplaced) {
  for (const std::size_t length : {250, 255}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    writeFile(path(name), doubles("old", Matrix{1, 1, {9}, {}}));
    MATFile* f = matOpen(path(name).c_str(), "w");
    ASSERT_NE(f, nullptr);
    const std::vector<double> one{1}, two{2};
    EXPECT_EQ(matPutFull(f, "x", 1, 1, one.data(), nullptr), 0);
    EXPECT_EQ(matPutFull(f, "x", 1, 1, two.data(), nullptr), 0);
    EXPECT_EQ(matPutFull(f, "y", 1, 1, one.data(), nullptr), 0);
    EXPECT_EQ(matClose(f), 0);
    EXPECT_EQ(put(path(name), "u", "x", Matrix{1, 1, {3}, {}}), 0);
    EXPECT_EQ(readFile(path(name)), doubles("y", Matrix{1, 1, {1}, {}}) + doubles("x", Matrix{1, 1, {3}, {}}));
    EXPECT_EQ(dirEntries(), std::vector<std::string>{name});
    std::remove(path(name).c_str());
  }
}

TEST_F(MatFileTest, OnlyRegularFilesAreOpened) {
  const std::string sub = path("data");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  for (const char* mode : {"r", "w", "u"}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(matOpen(sub.c_str(), mode), nullptr);
    struct stat status;
    EXPECT_EQ(stat(sub.c_str(), &status), 0);
  }
  EXPECT_EQ(matOpen("/dev/null", "r"), nullptr);
  const std::string fifo = path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(matOpen(fifo.c_str(), "r"), nullptr);
  EXPECT_EQ(matOpen(fifo.c_str(), "u"), nullptr);
  EXPECT_EQ(matOpen(path("missing").c_str(), "r"), nullptr);
}

TEST_F(MatFileTest, WritingThroughALinkReplacesTheLinkOnly) {
  const std::string target = path("target.mat"), link = path("link.mat");
  writeFile(target, doubles("t", Matrix{1, 1, {1}, {}}));
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(put(link, "w", "l", Matrix{1, 1, {2}, {}}), 0);
  EXPECT_EQ(names(target), std::vector<std::string>{"t"});
  EXPECT_EQ(names(link), std::vector<std::string>{"l"});
}

TEST_F(MatFileTest, FilesWithAVersionLineAreNeitherReadNorExtended) {
  std::string versionLine = "MAT-file V02.0 (ieee-be)";
  versionLine.resize(24, ' ');
  const std::string bytes = versionLine + doubles("a", Matrix{1, 1, {1}, {}});
  writeFile(path(), bytes);
  EXPECT_EQ(names(path()), kNoList);
  EXPECT_EQ(get(path(), "a").status, 1);
  EXPECT_EQ(put(path(), "u", "b", Matrix{1, 1, {2}, {}}), 1);
  EXPECT_EQ(readFile(path()), bytes);
}

// Limits the size of files this process writes; a write beyond the limit
// fails (instead of raising SIGXFSZ) until the limit is lifted again.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_;
  void (*previous_)(int);
};

TEST_F(MatFileTest, AFailedAppendLeavesTheFileAsItWas) {
  ASSERT_EQ(put(path(), "w", "A", Matrix{1, 1, {1}, {}}), 0);
  const std::string before = readFile(path());
  {
    const FileSizeLimit limit(before.size() + 100);
    const Matrix big{1, 1000, std::vector<double>(1000, 0.5), {}};
    EXPECT_EQ(put(path(), "u", "big", big), 1);
  }
  EXPECT_EQ(readFile(path()), before);
  EXPECT_EQ(names(path()), std::vector<std::string>{"A"});
}

TEST_F(MatFileTest, AFailedReplacementLeavesTheFileAsItWas) {
  const Matrix b{1, 100, std::vector<double>(100, 0.5), {}};
  writeFile(path(), doubles("A", Matrix{1, 1, {1}, {}}) + doubles("B", b));
  const std::string before = readFile(path());
  {
    // The new file holds as many bytes as the old one: more than allowed.
    const FileSizeLimit limit(before.size() - 10);
    EXPECT_EQ(put(path(), "u", "B", b), 1);
  }
  EXPECT_EQ(readFile(path()), before);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
}

// A file opened with "w" is written beside its path and replaces it only
// when closed after every write succeeded.
TEST_F(MatFileTest, AFileOpenedForWritingReplacesItsPathOnlyWhenClosed) {
  const std::string old = doubles("old", Matrix{1, 1, {1}, {}});
  writeFile(path(), old);
  MATFile* f = matOpen(path().c_str(), "w");
  ASSERT_NE(f, nullptr);
  const std::vector<double> one{1}, two{2};
  EXPECT_EQ(matPutFull(f, "x", 1, 1, one.data(), nullptr), 0);
  EXPECT_EQ(matPutFull(f, "x", 1, 1, two.data(), nullptr), 0);
  EXPECT_EQ(matPutFull(f, "y", 1, 1, one.data(), nullptr), 0);
  EXPECT_EQ(readFile(path()), old);
  EXPECT_EQ(dirEntries().size(), 2u);
  EXPECT_EQ(matClose(f), 0);
  EXPECT_EQ(readFile(path()), doubles("x", Matrix{1, 1, {2}, {}}) + doubles("y", Matrix{1, 1, {1}, {}}));
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
}

TEST_F(MatFileTest, AFailedWriteKeepsTheFileOpenedForWritingFromReplacingItsPath) {
  const std::string old = doubles("old", Matrix{1, 1, {1}, {}});
  const Matrix a{1, 1, {1}, {}};
  const struct {
    const char* what;
    const char* name;
    int rows;
  } refusals[] = {{"name of 20 characters", "abcdefghijklmnopqrst", 1},
                  {"empty name", "", 1},
                  {"negative size", "neg", -1}};
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.what);
    writeFile(path(), old);
    MATFile* f = matOpen(path().c_str(), "w");
    EXPECT_EQ(matPutFull(f, "fine", 1, 1, a.real.data(), nullptr), 0);
    EXPECT_EQ(matPutFull(f, c.name, c.rows, 1, a.real.data(), nullptr), 1);
    EXPECT_EQ(matPutFull(f, "later", 1, 1, a.real.data(), nullptr), 0);
    EXPECT_NE(matClose(f), 0);
    EXPECT_EQ(readFile(path()), old);
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
  }
  // A write that fails on the way, as on a full disk.
  writeFile(path(), old);
  {
    const FileSizeLimit limit(1000);
    MATFile* f = matOpen(path().c_str(), "w");
    const Matrix big{1, 1000, std::vector<double>(1000, 0.5), {}};
    EXPECT_EQ(matPutFull(f, "big", big.rows, big.cols, big.real.data(), nullptr), 1);
    EXPECT_NE(matClose(f), 0);
  }
  EXPECT_EQ(readFile(path()), old);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
  // Without an earlier file none is left.
  std::remove(path().c_str());
  MATFile* f = matOpen(path().c_str(), "w");
  EXPECT_EQ(matPutFull(f, "", 1, 1, a.real.data(), nullptr), 1);
  EXPECT_NE(matClose(f), 0);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{});
}

TEST_F(MatFileTest, APathThatCannotBeReplacedAtTheCloseIsLeftAlone) {
  MATFile* f = matOpen(path().c_str(), "w");
  ASSERT_NE(f, nullptr);
  const std::vector<double> one{1};
  EXPECT_EQ(matPutFull(f, "x", 1, 1, one.data(), nullptr), 0);
  // Something that a file cannot replace takes the path meanwhile.
  ASSERT_EQ(mkdir(path().c_str(), 0755), 0);
  writeFile(path() + "/inside", "kept");
  EXPECT_NE(matClose(f), 0);
  EXPECT_EQ(readFile(path() + "/inside"), "kept");
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
}

// While a file opened with "w" is written, a hang-up, Ctrl-C or kill whose
// action is the default one removes the new file before it ends the
// process: the file it was to replace keeps its bytes, nothing is left.
TEST_F(MatFileTest, ASignalEndingTheProcessDuringAWriteRemovesTheNewFile) {
  const std::string old = doubles("old", Matrix{1, 1, {1}, {}});
  const std::vector<double> data(1000, 0.5);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal));
    writeFile(path(), old);
    EXPECT_EXIT(
        {
          MATFile* f = matOpen(path().c_str(), "w");
          // The new file is there, written to, when the signal comes.
          const bool writing = f != nullptr && matPutFull(f, "x", 1, 1000, data.data(), nullptr) == 0;
          if (!writing || dirEntries().size() != 2) std::_Exit(3);
          raise(signal);
          std::_Exit(4);
        },
        ::testing::KilledBySignal(signal), "");
    EXPECT_EQ(readFile(path()), old);
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
  }
}

volatile sig_atomic_t interruptsCaught = 0;
extern "C" void catchInterrupt(int) { interruptsCaught = interruptsCaught + 1; }

// A signal that the process handles itself (Ctrl-C at the prompt) stays
// its own while a file is written; the write it stops is abandoned, which
// leaves nothing. With no write left the default actions are back.
TEST_F(MatFileTest, AHandledSignalIsLeftToTheProcessAndAnAbandonedWriteLeavesNothing) {
  const std::string old = doubles("old", Matrix{1, 1, {1}, {}});
  writeFile(path(), old);
  struct sigaction own = {}, previous;
  own.sa_handler = catchInterrupt;
  sigemptyset(&own.sa_mask);
  ASSERT_EQ(sigaction(SIGINT, &own, &previous), 0);
  interruptsCaught = 0;
  MATFile* f = matOpen(path().c_str(), "w");
  ASSERT_NE(f, nullptr);
  const std::vector<double> one{1};
  EXPECT_EQ(matPutFull(f, "x", 1, 1, one.data(), nullptr), 0);
  raise(SIGINT);
  EXPECT_EQ(interruptsCaught, 1);
  EXPECT_EQ(dirEntries().size(), 2u);
  matAbandon(f);
  sigaction(SIGINT, &previous, nullptr);
  EXPECT_EQ(readFile(path()), old);
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"f.mat"});
  struct sigaction termination;
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &termination), 0);
  EXPECT_EQ(termination.sa_handler, SIG_DFL);
}

// The folder is synced after a file takes its path; a folder that cannot
// be opened for that (here: not readable) fails neither a write nor a
// replacement, since the file is in place already.
TEST_F(MatFileTest, AFolderThatCannotBeSyncedFailsNoWrite) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser reads every folder";
  const std::string folder = path("locked");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string file = folder + "/f.mat";
  writeFile(file, doubles("old", Matrix{1, 1, {1}, {}}));
  ASSERT_EQ(chmod(folder.c_str(), 0300), 0);
  const int written = put(file, "w", "x", Matrix{1, 1, {2}, {}});
  const int replaced = put(file, "u", "x", Matrix{1, 1, {3}, {}});
  const std::string bytes = readFile(file);
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(bytes, doubles("x", Matrix{1, 1, {3}, {}}));
  EXPECT_EQ(dirEntries(), std::vector<std::string>{"locked"});
}

TEST_F(MatFileTest, ANewFileGetsThePermissionsOfAFileCreatedThere) {
  const mode_t saved = umask(027);
  writeFile(path(), doubles("old", Matrix{1, 1, {1}, {}}));
  chmod(path().c_str(), 0600);
  const int status = put(path(), "w", "x", Matrix{1, 1, {1}, {}});
  umask(saved);
  EXPECT_EQ(status, 0);
  struct stat info;
  ASSERT_EQ(stat(path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
