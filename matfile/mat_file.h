// MAT-files of version-4 matrix records: opening and closing, the list of
// names, reading a named matrix or the records in turn, and writing a
// matrix, replacing an earlier record of the same name.
//
// Every listing, search and deletion starts at the first record; every
// write goes to the end of the file. Nothing here prints; failures are told
// by the results only (null, or 1).
#ifndef VARNEL_MAT_FILE_H
#define VARNEL_MAT_FILE_H

#include <cstdio>

#include "mx_matrix.h"

struct MatInfo;

// One open file. path is a malloc copy of the path given to matOpen.
struct MATFile {
  FILE* fp;
  char* path;
  // Opened with "w": the new file beside path that the records go to, and
  // that replaces path at matClose (a malloc copy); otherwise null.
  char* newPath;
  MatInfo* info;
  int writable;  // 0 when opened for reading
  int failed;    // a write failed: a new file does not replace path
};

enum MatOpenMode { kMatRead = 0, kMatWrite = 1, kMatUpdate = 2 };

// mode "r" opens a regular file for reading, positioned at its first
// record; "w" starts a new, empty file beside path, which replaces path only
// when it is closed after every write succeeded, so that a failed export
// never damages the file it was to replace (a path that names something
// other than a regular file or a link is refused); any other mode opens a
// regular file for update, keeping its records. Null when mode or path is
// null or the file cannot be opened or created.
MATFile* matOpen(const char* path, const char* mode);
// Closes the stream (not the standard input or output) and frees the
// handle. A file opened with "w" is flushed to the disk and moved over its
// path, and the folder then written to the disk so that the move lasts,
// unless a write failed: then it is removed and path left as it was. 0 when
// the file was flushed and moved, so a failed last flush is reported; a
// folder that cannot be synced after the move is no failure.
int matClose(MATFile* file);
// Closes the file without keeping a write in progress: a file opened with
// "w" is removed, path left as it was; any other is closed as matClose
// closes it.
void matAbandon(MATFile* file);
// The names of the file's matrices in file order, as one block of count
// pointers followed by the names; the caller frees it with mxFree. The list
// ends at the first header that cannot be read or is invalid. Null, count
// untouched, when there is no record or the stream fails.
char** matGetDir(MATFile* file, int* count);
// 0 with the size and the arrays (column-major host doubles; pi null for a
// real matrix, pr null for an empty one) of the first matrix of that name;
// the arrays become the caller's, to be freed with mxFree. A text matrix
// gives its character codes. 1, outputs untouched, when no such matrix can
// be read or it is stored sparse (refused without converting it).
int matGetFull(MATFile* file, const char* name, int* m, int* n, double** pr, double** pi);
// What matGetNextFull found at the stream's position.
enum MatNextResult {
  kMatNextFull = 0,    // a full or text matrix, handed over
  kMatNextEnd,         // the end of the file: no further record
  kMatNextSparse,      // a sparse record, passed over
  kMatNextLongName,    // a record whose name field is too long for a record here, passed over
  kMatNextUnreadable,  // a record that cannot be read: nothing behind it can be found
};
// Reads the records of a file in turn, in one pass: the record at the
// stream's position (matOpen leaves it at the first record) is read and the
// position moved behind it. name receives the record's whole name for
// every result but kMatNextEnd, and for kMatNextUnreadable when the header
// could be read (otherwise null); it stays valid until the next operation
// on the file. m, n, pr and pi are set for kMatNextFull only, as matGetFull
// sets them.
int matGetNextFull(MATFile* file, const char** name, int* m, int* n, double** pr, double** pi);
// Writes the m x n matrix pr (+ i pi, pi null for a real matrix) as the
// record `name`, replacing a record of that name. The arrays are only read.
// 0 on success; 1 when the name is empty or longer than 19 characters, the
// size is negative or beyond the reader's limit, or a write fails (the file
// then holds its earlier records unchanged).
int matPutFull(MATFile* file, const char* name, int m, int n, const double* pr, const double* pi);
// As matPutFull, but the record goes to the end of the file without a
// look for an earlier record of its name: a name written twice this way is
// in the file twice. For a writer that keeps its names distinct, so that a
// file of n records is written in time linear in n.
int matPutNextFull(MATFile* file, const char* name, int m, int n, const double* pr, const double* pi);

// Builds the handle for a stream opened in mode (a MatOpenMode), positioned
// at the first record of a file that is not new. Closes fp and gives null
// when the handle cannot be allocated, when the stream cannot be positioned
// or the file's size cannot be taken, or when a file opened for update that
// is too short for a record cannot be emptied.
MATFile* matCreateMATFile(const char* path, FILE* fp, int mode);
// The first matrix of that name as a new record, a sparse record for a
// triplet-form one; null when it cannot be read (or its triplets are
// invalid).
MxMatrix* matGetMatrix(MATFile* file, const char* name);
// Writes x (a sparse record in triplet form) in place of the first record
// of its name, or at the end of the file when there is none. The rewrite
// goes to a new file beside the old one, which replaces it only when all of
// it was written; on any failure the file is left as it was and the result
// is 1.
int matPutMatrix(MATFile* file, const MxMatrix* x);
// Appends x at the end of the file; on failure the file is cut back to its
// former end and the result is 1 (also when it is not writable).
int matPutNextMatrix(MATFile* file, const MxMatrix* x);
// Removes the first record of that name, as matPutMatrix replaces one. 1
// when the file is not writable, there is no such record or a step fails.
int matDeleteMatrix(MATFile* file, const char* name);

#endif
