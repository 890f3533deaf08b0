#include "mat_record.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "number_format.h"
#include "precision.h"

namespace {

constexpr int kHeaderBytes = 20;
const char kVersionText[] = "MAT-file V02.0";
constexpr std::size_t kVersionTextLength = sizeof kVersionText - 1;
constexpr long kMaxType = 9999;

std::uint32_t loadWord(const unsigned char* p, bool bigEndian) {
  const std::uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
  return bigEndian ? b0 << 24 | b1 << 16 | b2 << 8 | b3 : b3 << 24 | b2 << 16 | b1 << 8 | b0;
}

void storeBigEndianWord(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

// The header ints are 32-bit two's complement.
long loadInt(const unsigned char* p, bool bigEndian) {
  const std::uint32_t v = loadWord(p, bigEndian);
  return v < 0x80000000u ? long(v) : long(v) - 0x100000000L;
}

// The type code, read big-endian and, when that exceeds 9999, in the other
// byte order; -1 when neither order gives a type.
long readType(const unsigned char* header) {
  std::uint32_t type = loadWord(header, true);
  if (type > kMaxType) type = loadWord(header, false);
  return type > kMaxType ? -1 : long(type);
}

// The host's format when it is one of the IEEE formats that data is
// converted into, else -1.
int ieeeHostFormat() {
  const int host = utGetFormatType();
  return host == kIeeeLittleEndian || host == kIeeeBigEndian ? host : -1;
}

// Elements narrowed and put into big-endian order per write: enough to keep
// the calls few, small enough for the stack.
constexpr std::size_t kChunkElements = 1024;

// Writes count doubles in precision P as big-endian IEEE through a scratch
// buffer; data itself is only read.
int writeBigEndian(const double* data, std::size_t count, int P, int host, FILE* fp) {
  unsigned char scratch[kChunkElements * sizeof(double)];
  const std::size_t size = std::size_t(PrecisionSizes[P]);
  for (std::size_t start = 0; start < count; start += kChunkElements) {
    const std::size_t n = count - start < kChunkElements ? count - start : kChunkElements;
    ConvertFromDoubles(scratch, data + start, n, P);
    if (ConvertArrayNumericFormat(scratch, n, host, kIeeeBigEndian, P)) return 1;
    if (errfreadwrite(1, scratch, size, n, fp)) return 1;
  }
  return 0;
}

// Headers begun so far (fiHeaderReads).
long headerReads = 0;

// Whether the file, of the size last taken, holds count bytes from the
// stream's position on.
bool bytesInFile(long count, const MatInfo* info, FILE* fp) {
  const long position = std::ftell(fp);
  return position >= 0 && info->fileSize - position >= count;
}

// Makes info->name hold at least size bytes; false when it cannot.
bool reserveName(MatInfo* info, std::size_t size) {
  if (size <= info->nameCapacity) return true;
  char* name = static_cast<char*>(mxMalloc(size, 1));
  if (name == nullptr) return false;
  mxFree(info->name);
  info->name = name;
  info->nameCapacity = size;
  return true;
}

// Reads a header and its name field: one of at most kMxNameSize bytes, or,
// with anyNameLength, one of any length the file holds (see
// fiReadRecordHeader).
int readHeader(MxMatrix* x, MatInfo* info, FILE* fp, bool anyNameLength) {
  ++headerReads;
  unsigned char header[kHeaderBytes];
  if (errfreadwrite(0, header, 1, kHeaderBytes, fp)) return kHeaderInvalid;
  const long type = readType(header);
  if (type < 0) return kHeaderInvalid;
  const int M = int(type / 1000), O = int(type % 1000 / 100), P = int(type % 100 / 10), T = int(type % 10);
  if (M >= kUnknownFormat || P >= kPrecisionCount) return kHeaderInvalid;
  const bool bigEndian = utGetFormatEndian(M);
  const long mrows = loadInt(header + 4, bigEndian);
  const long ncols = loadInt(header + 8, bigEndian);
  const long imagf = loadInt(header + 12, bigEndian);
  const long namlen = loadInt(header + 16, bigEndian);
  if (mrows < 0 || ncols < 0 || namlen < 1) return kHeaderInvalid;
  if (namlen > kMxNameSize && !(anyNameLength && bytesInFile(namlen, info, fp))) return kHeaderInvalid;
  const long long count = static_cast<long long>(mrows) * ncols;
  if (count > kMaxRecordElements) return kHeaderInvalid;
  if (!reserveName(info, std::size_t(namlen))) return kHeaderInvalid;
  if (errfreadwrite(0, info->name, 1, std::size_t(namlen), fp)) return kHeaderInvalid;
  if (std::memchr(info->name, '\0', std::size_t(namlen)) == nullptr) return kHeaderInvalid;

  info->M = M;
  info->O = O;
  info->P = P;
  info->imagf = imagf != 0;
  x->m = int(mrows);
  x->n = int(ncols);
  x->struc = T == 2 ? kMxTriplet : kMxFull;
  x->dispmode = T == 1 ? 1 : 0;
  x->type = 0;
  // Decided by the length field, as fiReadMatHeaderV1 decides it, so that a
  // short name in a long field is passed over here as a search by name
  // refuses it.
  const bool fits = namlen <= kMxNameSize;
  mxSetName(x, fits ? info->name : "");
  return fits ? kHeaderRead : kHeaderLongName;
}

}  // namespace

MatInfo* fiCreateMatInfo() { return static_cast<MatInfo*>(mxCalloc(1, sizeof(MatInfo))); }

void fiDestroyMatInfo(MatInfo* info) {
  if (info != nullptr) mxFree(info->name);
  mxFree(info);
}

int errfreadwrite(int write, void* buffer, std::size_t size, std::size_t count, FILE* fp) {
  if (count == 0 || size == 0) return 0;
  if (write) return std::fwrite(buffer, size, count, fp) == count ? 0 : 1;
  return std::fread(buffer, size, count, fp) == count ? 0 : 2;
}

int fcopy(FILE* dst, FILE* src, long offset, long count) {
  if (std::fseek(src, offset, SEEK_SET) != 0) return 1;
  char buffer[1024];
  long remaining = count;
  while (count == -1 || remaining > 0) {
    const std::size_t wanted = count == -1 || remaining > long(sizeof buffer) ? sizeof buffer : std::size_t(remaining);
    const std::size_t got = std::fread(buffer, 1, wanted, src);
    if (got > 0 && std::fwrite(buffer, 1, got, dst) != got) return 1;
    if (count != -1) remaining -= long(got);
    if (got < wanted) {
      if (std::ferror(src)) return 1;
      // The end of src: the copy is complete only when it had no count.
      return count == -1 ? 0 : 1;
    }
  }
  return std::ferror(dst) ? 1 : 0;
}

long fiHeaderReads() { return headerReads; }

int fiReadMatHeaderV1(MxMatrix* x, MatInfo* info, FILE* fp) {
  return readHeader(x, info, fp, false) == kHeaderRead ? 0 : 1;
}

int fiReadRecordHeader(MxMatrix* x, MatInfo* info, FILE* fp) { return readHeader(x, info, fp, true); }

int fiReadMatDataV1(MxMatrix* x, MatInfo* info, FILE* fp) {
  const std::size_t count = std::size_t(mxGetNumEl(x));
  if (count == 0) return 0;
  const int host = ieeeHostFormat();
  if (host < 0) return 1;
  // Data the file does not hold is refused before anything is allocated
  // for it, so a few bytes of header cannot claim the reader's memory.
  if (!fiDataInFile(x, info, fp)) return 1;
  const std::size_t size = std::size_t(PrecisionSizes[info->P]);
  x->pr = static_cast<double*>(mxCalloc(count, size));
  if (x->pr == nullptr) return 1;
  if (info->imagf) {
    x->pi = static_cast<double*>(mxCalloc(count, size));
    if (x->pi == nullptr) return 1;
  }
  if (errfreadwrite(0, x->pr, size, count, fp)) return 1;
  if (x->pi != nullptr && errfreadwrite(0, x->pi, size, count, fp)) return 1;
  if (ConvertMatrixNumericFormat(x, info->M, host, info->P)) return 1;
  if (ConvertMatrixToDoubles(x, info->P)) return 1;
  if (info->O != 0 && TransposeMatrixData(x)) return 1;
  return 0;
}

long fiDataSizeV1(const MxMatrix* x, const MatInfo* info) {
  return mxGetNumEl(x) * PrecisionSizes[info->P] * (info->imagf ? 2 : 1);
}

bool fiDataInFile(const MxMatrix* x, const MatInfo* info, FILE* fp) {
  return bytesInFile(fiDataSize(x, info), info, fp);
}

int fiSkipMatData(const MxMatrix* x, const MatInfo* info, FILE* fp) {
  const long size = fiDataSize(x, info);
  if (size == 0) return 0;
  return std::fseek(fp, size, SEEK_CUR) != 0 ? 1 : 0;
}

int fiWriteMatHeaderV1(const MxMatrix* x, MatInfo* info, FILE* fp) {
  const std::size_t length = strnlen(x->name, kMxNameSize);
  if (length >= std::size_t(kMxNameSize)) return 1;
  const int T = x->struc == kMxTriplet ? 2 : x->dispmode == 1 ? 1 : 0;
  unsigned char header[kHeaderBytes + kMxNameSize] = {};
  storeBigEndianWord(header, std::uint32_t(kIeeeBigEndian * 1000 + info->P * 10 + T));
  storeBigEndianWord(header + 4, std::uint32_t(x->m));
  storeBigEndianWord(header + 8, std::uint32_t(x->n));
  storeBigEndianWord(header + 12, x->pi != nullptr ? 1u : 0u);
  storeBigEndianWord(header + 16, std::uint32_t(length + 1));
  std::memcpy(header + kHeaderBytes, x->name, length);
  return errfreadwrite(1, header, 1, kHeaderBytes + length + 1, fp) ? 1 : 0;
}

int fiWriteMatDataV1(const MxMatrix* x, MatInfo* info, FILE* fp) {
  const std::size_t count = std::size_t(mxGetNumEl(x));
  if (count == 0) return 0;
  const int host = ieeeHostFormat();
  if (host < 0) return 1;
  if (writeBigEndian(x->pr, count, info->P, host, fp)) return 1;
  if (x->pi != nullptr && writeBigEndian(x->pi, count, info->P, host, fp)) return 1;
  return 0;
}

int fiWriteMatrixV1(const MxMatrix* x, MatInfo* info, FILE* fp) {
  // A record the reader would refuse is not written.
  if (x->m < 0 || x->n < 0 || mxGetNumEl(x) > kMaxRecordElements) return 1;
  if (mxGetNumEl(x) > 0 && x->pr == nullptr) return 1;
  info->P = chooseDataFormat(x);
  if (fiWriteMatHeaderV1(x, info, fp)) return 1;
  return fiWriteMatDataV1(x, info, fp);
}

int fiReadMatHeader(MxMatrix* x, MatInfo* info, FILE* fp) {
  return info->version == 0 ? fiReadMatHeaderV1(x, info, fp) : 1;
}

int fiReadMatData(MxMatrix* x, MatInfo* info, FILE* fp) {
  return info->version == 0 ? fiReadMatDataV1(x, info, fp) : 1;
}

int fiWriteMatrix(const MxMatrix* x, MatInfo* info, FILE* fp) {
  return info->version == 0 ? fiWriteMatrixV1(x, info, fp) : 1;
}

long fiDataSize(const MxMatrix* x, const MatInfo* info) { return info->version == 0 ? fiDataSizeV1(x, info) : 0; }

int fiReadMatVerNo(MatInfo* info, FILE* fp) {
  info->version = 0;
  char start[kVersionTextLength];
  if (errfreadwrite(0, start, 1, sizeof start, fp)) return 1;
  if (std::memcmp(start, kVersionText, sizeof start) == 0) info->version = 1;
  return 0;
}

void fiWriteMatVerNo(MatInfo* info) { info->version = 0; }

int fiSkipMatVerNo(MatInfo* info, FILE* fp) {
  if (std::fseek(fp, info->version != 0 ? 24 : 0, SEEK_SET) != 0) return 1;
  std::clearerr(fp);
  return fiTakeFileSize(info, fp);
}

int fiTakeFileSize(MatInfo* info, FILE* fp) {
  struct stat status;
  if (fstat(fileno(fp), &status) != 0) return 1;
  info->fileSize = long(status.st_size);
  return 0;
}
