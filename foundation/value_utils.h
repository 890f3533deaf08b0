// Helpers over values, masks, index lists and sorted name arrays that the
// expression evaluator and the problem builder share. None keeps state or
// prints. Out arguments are replaced, not appended to.
#ifndef VARNEL_VALUE_UTILS_H
#define VARNEL_VALUE_UTILS_H

#include <string>

#include "factor.h"
#include "gen_matrix.h"
#include "shared_array.h"
#include "value.h"

// Mask kinds, with what checkIndexVector leaves in counts:
// a zero/one mask (largest entry at most 1): one count, the nonzero entries;
// a numbered mask using every number 1..largest: n + 1 counts, counts[e] the
// entries equal to e; a numbered mask with a gap: the same counts.
enum MaskKind : int { kMaskWithGap = 0, kZeroOneMask = 1, kNumberedMask = 2 };

// Classifies a mask of n entries, which lie in 0..n. Entries outside that
// range are not counted, and an empty mask is a zero/one mask without a
// nonzero entry.
int checkIndexVector(const SharedArray<int>& mask, SharedArray<int>& counts);

// The mask shown as a value of the variable's size (mask entries in
// column-major order); empty when there is no mask.
void maskToValue(const SharedArray<int>& mask, const Value& variableValue, Value& result);
// The same for a declared variable's record (anything with GetMask() and
// GetValue()).
template <class Record>
void maskToValue(const Record& variable, Value& result) {
  maskToValue(variable.GetMask(), variable.GetValue(), result);
}

// The number of leading diagonal entries of the factored matrix with
// |R(i, i)| >= tol; counting stops at the first smaller one (a NaN counts).
int diagonalRank(const QRFactor& factorisation, double tol);

// A scalar as 1 x 1, a matrix as a private copy; never shares the value's
// storage. The empty value gives a 0 x 0 matrix.
GenMatrixD valueToMatrix(const Value& v);

// Writes v down column col of m from row on, v's elements taken row by
// row; a scalar goes to m(row, col), an empty value writes nothing. No
// bounds checks.
GenMatrixD& insertValue(GenMatrixD& m, const Value& v, int row, int col);

// Binary search by compareNames in the n distinct ascending names; the
// position of key, or -1 when it is absent.
int searchIndex(const std::string& key, const std::string* names, int n);

// 1 for a 1 x 1 shape; for a matrix, a value or an affine block alike
// (anything with Rows() and Cols()). A scalar value is 1 x 1.
template <class Shaped>
int isOneByOne(const Shaped& m) {
  return m.Rows() == 1 && m.Cols() == 1;
}

// Exact tests (no tolerance) on the off-diagonal pairs of a square value;
// a scalar passes, a non-square value fails, the empty value is 0 x 0 and
// passes. A NaN in a pair fails.
int isSymmetric(const Value& v);
int isDiagonal(const Value& v);

#endif
