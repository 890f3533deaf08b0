#include "mat_file.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "mat_record.h"
#include "pending_file.h"

namespace {

bool isRegularFile(FILE* fp) {
  struct stat status;
  return fstat(fileno(fp), &status) == 0 && S_ISREG(status.st_mode);
}

// The stream for path opened for reading or update, or null. Only regular
// files are opened, so a directory or a device of that name is never read
// or extended.
FILE* openStream(const char* path, int mode) {
  struct stat status;
  // Tested before opening too: opening a fifo would wait for a writer.
  if (stat(path, &status) == 0 && !S_ISREG(status.st_mode)) return nullptr;
  FILE* fp = std::fopen(path, mode == kMatRead ? "rb" : "a+b");
  if (fp != nullptr && !isRegularFile(fp)) {
    std::fclose(fp);
    return nullptr;
  }
  return fp;
}

// The name of a new file in the folder of the file it is to replace: short
// and fixed, so that it can be made whatever the length of that file's own
// name (up to the longest a folder takes), and hidden from listings.
const char kNewFilePattern[] = ".varnel-XXXXXX";

// The length of the folder part of path, its last slash included; 0 for a
// path in the working folder.
std::size_t folderLength(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? std::size_t(slash - path) + 1 : 0;
}

// Writes the folder of path to the disk, so that a file just renamed into
// it keeps its new name through a crash. A folder that cannot be opened or
// synced is passed over: the rename itself has succeeded, and the data is
// in place.
void syncFolderOf(const char* path) {
  const std::size_t length = folderLength(path);
  const std::string folder = length > 0 ? std::string(path, length) : std::string(".");
  const int fd = open(folder.c_str(), O_DIRECTORY | O_RDONLY);
  if (fd < 0) return;
  static_cast<void>(fsync(fd) == 0);
  close(fd);
}

// A new, empty file in the folder of path, named by kNewFilePattern made
// unique, opened for appending and reading, and pending until it is renamed
// or removed; newPath receives its name (to be freed with mxFree once it is
// no longer pending). Null, nothing left behind, when it cannot be made.
FILE* createFileBeside(const char* path, char*& newPath) {
  const std::size_t folder = folderLength(path);
  newPath = static_cast<char*>(mxMalloc(folder + sizeof kNewFilePattern, 1));
  if (newPath == nullptr) return nullptr;
  std::memcpy(newPath, path, folder);
  std::memcpy(newPath + folder, kNewFilePattern, sizeof kNewFilePattern);
  const int fd = fiCreatePendingFile(newPath);
  FILE* fp = fd >= 0 ? fdopen(fd, "a+b") : nullptr;
  if (fp == nullptr) {
    if (fd >= 0) {
      close(fd);
      fiRemovePendingFile(newPath);
    }
    mxFree(newPath);
    newPath = nullptr;
  }
  return fp;
}

// The file a write to path starts: a new one beside it, with the
// permissions a newly created file gets. Something at path other than a
// regular file or a link is refused, since it could not be replaced.
FILE* createReplacement(const char* path, char*& newPath) {
  struct stat status;
  newPath = nullptr;
  if (lstat(path, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return nullptr;
  FILE* fp = createFileBeside(path, newPath);
  if (fp != nullptr) {
    const mode_t mask = umask(0);
    umask(mask);
    static_cast<void>(fchmod(fileno(fp), 0666 & ~mask) == 0);
  }
  return fp;
}

// The size of the file, the stream left at its start; -1 when it cannot be
// taken.
long streamSize(FILE* fp) {
  const bool sized = std::fseek(fp, 0, SEEK_END) == 0;
  const long size = sized ? std::ftell(fp) : -1;
  const bool rewound = std::fseek(fp, 0, SEEK_SET) == 0;
  std::clearerr(fp);
  return rewound ? size : -1;
}

// A file shorter than this holds no record.
constexpr long kShortestRecordFile = 5;

char* copyOfPath(const char* path) {
  const std::size_t size = std::strlen(path) + 1;
  char* copy = static_cast<char*>(mxMalloc(size, 1));
  if (copy != nullptr) std::memcpy(copy, path, size);
  return copy;
}

// Where a record lies in the file: its first byte and the byte after it.
struct RecordPlace {
  long start;
  long end;
};

enum SearchResult { kFound, kNotFound, kSearchFailed };

// Finds the first record called name; its header is left in header and the
// stream stands behind its header (at its data).
SearchResult findRecord(MATFile* file, const char* name, MxMatrix& header, long& start) {
  if (fiSkipMatVerNo(file->info, file->fp)) return kSearchFailed;
  for (;;) {
    start = std::ftell(file->fp);
    if (start < 0) return kSearchFailed;
    if (fiReadMatHeader(&header, file->info, file->fp)) {
      return std::ferror(file->fp) ? kSearchFailed : kNotFound;
    }
    if (std::strcmp(header.name, name) == 0) return kFound;
    if (fiSkipMatData(&header, file->info, file->fp)) return kSearchFailed;
  }
}

SearchResult findRecordPlace(MATFile* file, const char* name, RecordPlace& place) {
  MxMatrix header = {};
  const SearchResult found = findRecord(file, name, header, place.start);
  if (found != kFound) return found;
  if (fiSkipMatData(&header, file->info, file->fp)) return kSearchFailed;
  place.end = std::ftell(file->fp);
  return place.end < 0 ? kSearchFailed : kFound;
}

// The record of the header just read, with its data as host doubles;
// null when it cannot be read.
MxMatrix* readRecordData(MATFile* file, const MxMatrix& header) {
  MxMatrix* x = mxCreateFull(0, 0, 0);
  if (x == nullptr) return nullptr;
  *x = header;
  if (fiReadMatData(x, file->info, file->fp)) {
    mxFreeMatrix(x);
    return nullptr;
  }
  return x;
}

// The first record called name with its data as host doubles, triplets
// kept as they are; null when it cannot be read.
MxMatrix* readNamedRecord(MATFile* file, const char* name) {
  if (file == nullptr || name == nullptr) return nullptr;
  MxMatrix header = {};
  long start;
  if (findRecord(file, name, header, start) != kFound) return nullptr;
  return readRecordData(file, header);
}

// Writes x at the stream's end; a sparse record goes in triplet form.
int writeRecord(MatInfo* info, FILE* fp, const MxMatrix* x) {
  if (!mxIsSparse(x)) return fiWriteMatrix(x, info, fp);
  MxMatrix* triplets = sp2spam(x);
  if (triplets == nullptr) return 1;
  const int result = fiWriteMatrix(triplets, info, fp);
  mxFreeMatrix(triplets);
  return result;
}

// The file that the handle's stream writes: the new file of a write, else
// the file at its path.
const char* workingPath(const MATFile* file) { return file->newPath != nullptr ? file->newPath : file->path; }

// Marks a failed write (see MATFile::failed); 1.
int failWrite(MATFile* file) {
  file->failed = 1;
  return 1;
}

// Writes the file less the record at place, plus x when given, into a new
// file beside it and renames that over it; the new file's stream becomes the
// handle's. Any failure leaves the original file and stream as they were.
int rewriteWithout(MATFile* file, const RecordPlace& place, const MxMatrix* x) {
  struct stat status;
  if (std::fflush(file->fp) != 0 || fstat(fileno(file->fp), &status) != 0) return failWrite(file);
  const char* path = workingPath(file);
  char* tempPath;
  FILE* temp = createFileBeside(path, tempPath);
  if (temp == nullptr) return failWrite(file);
  fchmod(fileno(temp), status.st_mode & 07777);
  const bool failed = (place.start > 0 && fcopy(temp, file->fp, 0, place.start)) ||
                      fcopy(temp, file->fp, place.end, -1) || (x != nullptr && writeRecord(file->info, temp, x)) ||
                      std::fflush(temp) != 0 || fsync(fileno(temp)) != 0 || std::rename(tempPath, path) != 0;
  if (failed) {
    std::fclose(temp);
    fiRemovePendingFile(tempPath);
    std::clearerr(file->fp);
  } else {
    fiReleasePendingFile(tempPath);
    std::fclose(file->fp);
    file->fp = temp;
    // A file that is not yet visible has its folder synced when it takes
    // its path.
    if (file->newPath == nullptr) syncFolderOf(path);
  }
  mxFree(tempPath);
  return failed ? failWrite(file) : 0;
}

// Hands the size and arrays of a full record to the caller and frees the
// record.
void handOver(MxMatrix* x, int* m, int* n, double** pr, double** pi) {
  *m = x->m;
  *n = x->n;
  *pr = x->pr;
  *pi = x->pi;
  x->pr = nullptr;
  x->pi = nullptr;
  mxFreeMatrix(x);
}

// Closes the new file of a write and moves it over the handle's path; when
// a write failed, or this does, the new file is removed instead. 0 when the
// path was replaced.
int finishNewFile(MATFile* file) {
  bool written = file->failed == 0 && std::fflush(file->fp) == 0 && fsync(fileno(file->fp)) == 0;
  written = std::fclose(file->fp) == 0 && written;
  written = written && std::rename(file->newPath, file->path) == 0;
  if (written) {
    fiReleasePendingFile(file->newPath);
    syncFolderOf(file->path);
  } else {
    fiRemovePendingFile(file->newPath);
  }
  return written ? 0 : 1;
}

// Writes the caller's arrays as the record `name` through put (matPutMatrix
// or matPutNextMatrix), after the checks of matPutFull. The record only
// lends the arrays, which the writer never changes, so it is neither
// created nor freed on the heap.
int putLentRecord(MATFile* file, const char* name, int m, int n, const double* pr, const double* pi,
                  int (*put)(MATFile*, const MxMatrix*)) {
  if (file == nullptr) return 1;
  if (name == nullptr) return failWrite(file);
  const std::size_t length = std::strlen(name);
  if (length == 0 || length >= std::size_t(kMxNameSize) || m < 0 || n < 0) return failWrite(file);
  MxMatrix x = {};
  mxSetName(&x, name);
  x.m = m;
  x.n = n;
  x.pr = const_cast<double*>(pr);
  x.pi = const_cast<double*>(pi);
  return put(file, &x);
}

}  // namespace

MATFile* matOpen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  const int openMode = mode[0] == 'r' ? kMatRead : mode[0] == 'w' ? kMatWrite : kMatUpdate;
  char* newPath = nullptr;
  FILE* fp = openMode == kMatWrite ? createReplacement(path, newPath) : openStream(path, openMode);
  MATFile* file = fp != nullptr ? matCreateMATFile(path, fp, openMode) : nullptr;
  if (file != nullptr) {
    file->newPath = newPath;
  } else if (newPath != nullptr) {
    fiRemovePendingFile(newPath);
    mxFree(newPath);
  }
  return file;
}

MATFile* matCreateMATFile(const char* path, FILE* fp, int mode) {
  MATFile* file = static_cast<MATFile*>(mxCalloc(1, sizeof(MATFile)));
  MatInfo* info = fiCreateMatInfo();
  char* pathCopy = copyOfPath(path);
  if (file == nullptr || info == nullptr || pathCopy == nullptr) {
    std::fclose(fp);
    mxFree(file);
    fiDestroyMatInfo(info);
    mxFree(pathCopy);
    return nullptr;
  }
  file->fp = fp;
  file->path = pathCopy;
  file->info = info;
  file->writable = mode != kMatRead;
  const long size = mode == kMatUpdate ? streamSize(fp) : 0;
  // An update of a file too short for a record starts it anew, so that the
  // records written next do not sit behind bytes that end every listing. A
  // file whose size is unknown is not touched.
  if (size < 0 || (mode == kMatUpdate && size < kShortestRecordFile && ftruncate(fileno(fp), 0) != 0)) {
    matClose(file);
    return nullptr;
  }
  if (mode == kMatWrite || (mode == kMatUpdate && size < kShortestRecordFile)) {
    fiWriteMatVerNo(info);
    return file;
  }
  fiReadMatVerNo(info, fp);
  if (fiSkipMatVerNo(info, fp)) {
    matClose(file);
    return nullptr;
  }
  return file;
}

void matAbandon(MATFile* file) {
  if (file == nullptr) return;
  file->failed = 1;
  matClose(file);
}

int matClose(MATFile* file) {
  if (file == nullptr) return 0;
  int result = 0;
  if (file->newPath != nullptr)
    result = finishNewFile(file);
  else if (file->fp != nullptr && file->fp != stdin && file->fp != stdout)
    result = std::fclose(file->fp);
  fiDestroyMatInfo(file->info);
  mxFree(file->path);
  mxFree(file->newPath);
  mxFree(file);
  return result;
}

char** matGetDir(MATFile* file, int* count) {
  if (file == nullptr || count == nullptr || fiSkipMatVerNo(file->info, file->fp)) return nullptr;
  MxMatrix header = {};
  int records = 0;
  std::size_t nameBytes = 0;
  while (fiReadMatHeader(&header, file->info, file->fp) == 0) {
    ++records;
    nameBytes += std::strlen(header.name) + 1;
    if (fiSkipMatData(&header, file->info, file->fp)) return nullptr;
  }
  if (std::ferror(file->fp) || records == 0) return nullptr;

  char** block = static_cast<char**>(mxCalloc(1, records * sizeof(char*) + nameBytes));
  if (block == nullptr) return nullptr;
  char* next = reinterpret_cast<char*>(block + records);
  char* const end = next + nameBytes;
  int copied = 0;
  bool failed = fiSkipMatVerNo(file->info, file->fp) != 0;
  while (!failed && copied < records && fiReadMatHeader(&header, file->info, file->fp) == 0) {
    const std::size_t size = std::strlen(header.name) + 1;
    if (size > std::size_t(end - next)) break;
    std::memcpy(next, header.name, size);
    block[copied++] = next;
    next += size;
    failed = fiSkipMatData(&header, file->info, file->fp) != 0;
  }
  if (failed || copied != records || std::ferror(file->fp)) {
    mxFree(block);
    return nullptr;
  }
  *count = copied;
  return block;
}

MxMatrix* matGetMatrix(MATFile* file, const char* name) {
  MxMatrix* x = readNamedRecord(file, name);
  if (x == nullptr || !mxIsSpam(x)) return x;
  MxMatrix* sparse = spam2sp(x);
  mxFreeMatrix(x);
  return sparse;
}

int matGetFull(MATFile* file, const char* name, int* m, int* n, double** pr, double** pi) {
  MxMatrix* x = readNamedRecord(file, name);
  if (x == nullptr) return 1;
  if (mxIsSpam(x) || !mxIsFull(x)) {
    mxFreeMatrix(x);
    return 1;
  }
  handOver(x, m, n, pr, pi);
  return 0;
}

int matGetNextFull(MATFile* file, const char** name, int* m, int* n, double** pr, double** pi) {
  *name = nullptr;
  if (file == nullptr || file->info->version != 0 || fiTakeFileSize(file->info, file->fp)) return kMatNextUnreadable;
  const long start = std::ftell(file->fp);
  if (start < 0) return kMatNextUnreadable;
  if (start == file->info->fileSize) return kMatNextEnd;
  MxMatrix header = {};
  const int read = fiReadRecordHeader(&header, file->info, file->fp);
  if (read == kHeaderInvalid) return kMatNextUnreadable;
  *name = file->info->name;
  if (read == kHeaderLongName || mxIsSpam(&header)) {
    // Passed over only when its data is all there: a seek past the end of
    // the file would succeed.
    if (!fiDataInFile(&header, file->info, file->fp) || fiSkipMatData(&header, file->info, file->fp))
      return kMatNextUnreadable;
    return read == kHeaderLongName ? kMatNextLongName : kMatNextSparse;
  }
  MxMatrix* x = readRecordData(file, header);
  if (x == nullptr) return kMatNextUnreadable;
  handOver(x, m, n, pr, pi);
  return kMatNextFull;
}

int matPutFull(MATFile* file, const char* name, int m, int n, const double* pr, const double* pi) {
  return putLentRecord(file, name, m, n, pr, pi, matPutMatrix);
}

int matPutNextFull(MATFile* file, const char* name, int m, int n, const double* pr, const double* pi) {
  return putLentRecord(file, name, m, n, pr, pi, matPutNextMatrix);
}

int matPutMatrix(MATFile* file, const MxMatrix* x) {
  if (file == nullptr) return 1;
  if (!file->writable) return failWrite(file);
  RecordPlace place;
  const SearchResult found = findRecordPlace(file, x->name, place);
  if (found == kSearchFailed) return failWrite(file);
  if (found == kNotFound) return matPutNextMatrix(file, x);
  return rewriteWithout(file, place, x);
}

int matPutNextMatrix(MATFile* file, const MxMatrix* x) {
  if (file == nullptr) return 1;
  if (!file->writable || std::fseek(file->fp, 0, SEEK_END) != 0) return failWrite(file);
  const long end = std::ftell(file->fp);
  if (end < 0) return failWrite(file);
  if (writeRecord(file->info, file->fp, x) == 0 && std::fflush(file->fp) == 0) return 0;
  // A record written in part would end every listing in garbage: what is
  // still buffered is dropped and the file cut back to its former end.
  // Nothing more can be done when the cut itself fails.
  __fpurge(file->fp);
  std::clearerr(file->fp);
  static_cast<void>(ftruncate(fileno(file->fp), end) == 0);
  return failWrite(file);
}

int matDeleteMatrix(MATFile* file, const char* name) {
  if (file == nullptr || name == nullptr || !file->writable) return 1;
  RecordPlace place;
  if (findRecordPlace(file, name, place) != kFound) return 1;
  return rewriteWithout(file, place, nullptr);
}
