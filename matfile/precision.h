// Precisions of stored MAT-file elements: widening them to doubles,
// narrowing doubles for writing, the matrix-wide conversions that reading
// applies, and the choice of the precision a matrix is written in.
#ifndef VARNEL_PRECISION_H
#define VARNEL_PRECISION_H

#include <cstddef>

#include "mx_matrix.h"

// The precision digit of a record's type code.
enum Precision {
  kPrecisionDouble = 0,
  kPrecisionSingle = 1,
  kPrecisionInt32 = 2,
  kPrecisionInt16 = 3,
  kPrecisionUInt16 = 4,
  kPrecisionUInt8 = 5
};

constexpr int kPrecisionCount = 6;
// Element size in bytes, indexed by precision.
extern const int PrecisionSizes[kPrecisionCount];

// Widens n elements of precision P (host byte order) into doubles, exactly.
void ConvertToDoubles(const void* src, double* dst, std::size_t n, int P);
// Narrows n doubles into precision P in host byte order: a float as the
// host rounds (beyond the float range the infinity IEEE rounding gives),
// the integer precisions truncated toward zero, int32 clamped to its range
// with a NaN as 0x7fffffff, the 16-bit precisions as the low 16 bits and
// uint8 as the low 8 bits of the truncated value, a NaN as all ones. P = 0
// copies.
void ConvertFromDoubles(void* dst, const double* src, std::size_t n, int P);

// Puts count stored elements of precision P, in place, from format `from`
// into format `to`. Returns 1, data unchanged, when the formats have no
// conversion for P (utSingleConvert, utDoubleConvert).
int ConvertArrayNumericFormat(void* data, std::size_t count, int from, int to, int P);
// On a record whose arrays hold m*n stored elements of precision P (not yet
// doubles): puts both arrays from format `from` into format `to`. Returns 1,
// arrays unchanged, when the formats have no conversion for P.
int ConvertMatrixNumericFormat(MxMatrix* x, int from, int to, int P);
// Replaces both arrays, stored in precision P, by arrays of doubles.
// Returns 1, record unchanged, when the new storage cannot be had.
int ConvertMatrixToDoubles(MxMatrix* x, int P);
// src holds an m x n matrix row by row; dst receives it column-major.
void TransposeData(const double* src, double* dst, int m, int n);
// Puts both arrays of a record read row by row into column-major order.
// Returns 1, record unchanged, when the new storage cannot be had.
int TransposeMatrixData(MxMatrix* x);

// The precision a record is written in: double unless the matrix has more
// than 10000 elements and a smaller integer precision holds every real and
// imaginary part exactly (a negative zero included, which only a double
// holds).
int chooseDataFormat(const MxMatrix* x);

#endif
