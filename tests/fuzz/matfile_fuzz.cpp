// Fuzz target: every input is the contents of a MAT-file, which the reader
// reads record by record in one pass, as an import of the whole file does,
// then lists and reads matrix by matrix, in full and in its stored form. A
// full matrix that was read must also come back unchanged, size and bits,
// from a file that the writer made of it. The process aborts when it does
// not, so that the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "mat_file.h"
#include "scratch_directory.h"

namespace {

ScratchDirectory* scratch = nullptr;

[[noreturn]] void fail(const char* what, const char* name) {
  std::fprintf(stderr, "matrix \"%s\": %s\n", name, what);
  std::abort();
}

bool sameElements(const double* a, const double* b, long count) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::memcmp(a, b, count * sizeof(double)) == 0;
}

// A matrix as matGetFull gives it; the arrays are the reader's to free.
struct FullMatrix {
  int m = 0;
  int n = 0;
  double* pr = nullptr;
  double* pi = nullptr;

  FullMatrix() = default;
  FullMatrix(const FullMatrix&) = delete;
  FullMatrix& operator=(const FullMatrix&) = delete;
  ~FullMatrix() {
    mxFree(pr);
    mxFree(pi);
  }
  // 0 when the file holds a full matrix of that name.
  int Read(MATFile* file, const char* name) { return matGetFull(file, name, &m, &n, &pr, &pi); }
};

// Writes the matrix alone into a new file and reads it back.
void checkRoundTrip(const char* name, const FullMatrix& read) {
  const std::string path = scratch->PathOf("copy.mat");
  MATFile* out = matOpen(path.c_str(), "w");
  if (out == nullptr) fail("the copy cannot be created", name);
  if (matPutFull(out, name, read.m, read.n, read.pr, read.pi) != 0) fail("the copy cannot be written", name);
  if (matClose(out) != 0) fail("the copy cannot be closed", name);
  MATFile* in = matOpen(path.c_str(), "r");
  if (in == nullptr) fail("the copy cannot be opened", name);
  FullMatrix again;
  if (again.Read(in, name) != 0) fail("the copy cannot be read", name);
  matClose(in);
  const long count = long(read.m) * read.n;
  if (again.m != read.m || again.n != read.n) fail("the copy has another size", name);
  if (!sameElements(read.pr, again.pr, count)) fail("the copy has other real parts", name);
  if (!sameElements(read.pi, again.pi, count)) fail("the copy has other imaginary parts", name);
}

void checkFull(const char* name, const FullMatrix& matrix) {
  if (matrix.m < 0 || matrix.n < 0) fail("negative size", name);
  const std::size_t length = std::strlen(name);
  // The writer takes names of 1 to 19 characters only.
  if (length > 0 && length < kMxNameSize) checkRoundTrip(name, matrix);
}

void readFull(MATFile* file, const char* name) {
  FullMatrix matrix;
  if (matrix.Read(file, name) == 0) checkFull(name, matrix);
}

// Every record from the stream's position on, up to the end of the file or
// the first record that cannot be read.
void readInTurn(MATFile* file) {
  for (;;) {
    const char* name = nullptr;
    FullMatrix matrix;
    const int found = matGetNextFull(file, &name, &matrix.m, &matrix.n, &matrix.pr, &matrix.pi);
    if (found == kMatNextEnd || found == kMatNextUnreadable) return;
    if (name == nullptr) fail("a record passed without its name", "");
    if (found == kMatNextFull) checkFull(name, matrix);
  }
}

// The stored form: a triplet-form record is turned into a sparse one, which
// goes back into triplets.
void readStored(MATFile* file, const char* name) {
  MxMatrix* record = matGetMatrix(file, name);
  if (record == nullptr) return;
  if (mxIsSparse(record)) mxFreeMatrix(sp2spam(record));
  mxFreeMatrix(record);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static ScratchDirectory folder;
  scratch = &folder;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = scratch->PathOf("input.mat");
  {
    std::ofstream input(path, std::ios::binary | std::ios::trunc);
    input.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  MATFile* file = matOpen(path.c_str(), "r");
  if (file == nullptr) return 0;
  // First, while the stream stands at the first record.
  readInTurn(file);
  int count = 0;
  char** names = matGetDir(file, &count);
  for (int k = 0; names != nullptr && k < count; ++k) {
    readFull(file, names[k]);
    readStored(file, names[k]);
  }
  mxFree(names);
  matClose(file);
  return 0;
}
