// Version-4 MAT-file records in a stream: the 20-byte header (type, rows,
// columns, imaginary flag, name length), the name, and the real and
// imaginary data; plus the byte-level helpers of the file layer.
//
// A record's type is M*1000 + O*100 + P*10 + T: M the number format of the
// header ints and the data, O the element order (0 column-major, otherwise
// row by row), P the precision, T 0 numeric, 1 text, 2 sparse triplets.
// Written records are always big-endian IEEE, column-major.
//
// The header is checked completely before anything is allocated for it,
// and a long name or the data is read only when the file holds all of it,
// so no header can make the reader allocate more than the file's own size.
#ifndef VARNEL_MAT_RECORD_H
#define VARNEL_MAT_RECORD_H

#include <cstdio>

#include "mx_matrix.h"

// The most elements a record may have.
constexpr long kMaxRecordElements = 100000000;

// Per-file state.
struct MatInfo {
  // 0: records from the start of the file. Any other value: the file
  // begins with a version line, whose records this reader does not read.
  int version;
  int M, O, P;    // digits of the header read last (P also of the record written)
  int imagf;      // of the header read last
  long fileSize;  // as last taken (fiTakeFileSize, fiSkipMatVerNo)
  // The whole name of the header read last, NUL included: other programs
  // write names of any length, and a record with a name too long for a
  // record here is still read far enough to be passed over by name.
  char* name;
  std::size_t nameCapacity;  // bytes allocated for name
};

MatInfo* fiCreateMatInfo();
void fiDestroyMatInfo(MatInfo* info);

// Reads (write = 0) or writes count elements of size bytes: 0 when all
// were transferred, otherwise 1 for a write and 2 for a read.
int errfreadwrite(int write, void* buffer, std::size_t size, std::size_t count, FILE* fp);
// Copies count bytes of src from offset on to dst, or everything from
// offset to the end when count is -1. 0 on success, 1 on any failure (a
// short source included).
int fcopy(FILE* dst, FILE* src, long offset, long count);

// Reads a header and the name at the stream's position into x (size, name,
// storage form, text flag) and info (M, O, P, imagf, name). 1 (x's size and
// name unset) for a short read or an invalid header: type beyond 9999 in
// both byte orders, a format digit beyond 4, a precision digit beyond 5, a
// negative size, more than kMaxRecordElements elements, a name length
// outside 1 .. 20, or a name without its NUL within the name length. A
// record whose data ends early passes: it is listed, and fails when read.
int fiReadMatHeaderV1(MxMatrix* x, MatInfo* info, FILE* fp);

// How many record headers this process has begun to read so far, valid or
// not: every search, listing and read in turn counts the records it looks
// at, so a caller can tell how often a file was gone through.
long fiHeaderReads();

// What fiReadRecordHeader found.
enum RecordHeaderResult { kHeaderRead = 0, kHeaderInvalid = 1, kHeaderLongName = 2 };
// As fiReadMatHeaderV1, but a name length of any size passes when the file
// (of the size last taken) holds the whole name. kHeaderLongName when the
// name length is beyond what fiReadMatHeaderV1 takes (more than 20),
// however short the name up to its first NUL: that name is in info->name,
// x has an empty name, and everything else is set as for a record read, so
// that its data can be skipped.
int fiReadRecordHeader(MxMatrix* x, MatInfo* info, FILE* fp);
// Reads the data of the header just read into x as column-major host
// doubles. 1 when the file ends before the data does (found before any
// allocation), for a failed allocation, or for single-precision data in
// the VAX or Cray formats (which have no conversion).
int fiReadMatDataV1(MxMatrix* x, MatInfo* info, FILE* fp);
// The bytes of a record's data as the header just read describes it.
long fiDataSizeV1(const MxMatrix* x, const MatInfo* info);
// Whether the file, of the size last taken, holds all of the data of the
// header just read from the stream's position on.
bool fiDataInFile(const MxMatrix* x, const MatInfo* info, FILE* fp);
// Seeks over the data of the header just read. 1 when the seek fails.
int fiSkipMatData(const MxMatrix* x, const MatInfo* info, FILE* fp);
// Write a record as big-endian IEEE, column-major, in the precision
// chooseDataFormat picks (stored in info). The caller's arrays are only
// read: every number is converted in a scratch buffer. 1 when a write
// fails or the record cannot be written (a name of 20 characters or more,
// a host whose doubles are not IEEE).
int fiWriteMatHeaderV1(const MxMatrix* x, MatInfo* info, FILE* fp);
int fiWriteMatDataV1(const MxMatrix* x, MatInfo* info, FILE* fp);
int fiWriteMatrixV1(const MxMatrix* x, MatInfo* info, FILE* fp);

// The record functions of the file's version: the V1 ones for version 0;
// for any other version reading and writing fail and the data size is 0.
int fiReadMatHeader(MxMatrix* x, MatInfo* info, FILE* fp);
int fiReadMatData(MxMatrix* x, MatInfo* info, FILE* fp);
int fiWriteMatrix(const MxMatrix* x, MatInfo* info, FILE* fp);
long fiDataSize(const MxMatrix* x, const MatInfo* info);

// Probes the start of the stream for the version line "MAT-file V02.0":
// version 1 when it is there, else 0. Returns 0 when 14 bytes were read.
int fiReadMatVerNo(MatInfo* info, FILE* fp);
// A new file carries no version line: version 0, nothing written.
void fiWriteMatVerNo(MatInfo* info);
// Positions the stream at the first record, clears its end-of-file and
// error flags and takes the file's size. 1 when that fails.
int fiSkipMatVerNo(MatInfo* info, FILE* fp);
// Takes the file's size into info. 1 when it cannot be taken.
int fiTakeFileSize(MatInfo* info, FILE* fp);

#endif
