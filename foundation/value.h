// The value of the matrix language: nothing, one double, or a dense matrix.
//
// Sharing rule: copying or assigning a matrix value gives the destination a
// matrix object of its own over the same element storage, so an element
// written through either value is seen through both (the class itself does
// not copy on write). DeepCopy alone gives private elements, and MakePrivate
// gives them only when another holder shares them: code that writes elements
// in place calls it first wherever others may hold them, which is how the
// interpreter's values copy on write. A scalar is held inline and is never
// shared.
//
// Canonical forms: a matrix with 0 rows or 0 columns is held as the empty
// value and a 1 x 1 matrix as a scalar, so a matrix value always has at least
// two elements. Every computed result goes through the assignment from a
// matrix, which makes these forms.
//
// The class checks nothing: Scalar() and Matrix() are called only after the
// caller has tested the tag.
#ifndef VARNEL_VALUE_H
#define VARNEL_VALUE_H

#include <iosfwd>

#include "gen_matrix.h"

enum ValueTag : int { kEmptyTag = 0, kScalarTag = 1, kMatrixTag = 2 };

class Value {
 public:
  Value() : tag(kEmptyTag), matrix(nullptr) {}
  Value(double x) : tag(kScalarTag), scalar(x) {}
  // rows = cols = 1 gives a scalar, a size of 0 the empty value, anything
  // else a matrix of fresh storage filled with fill.
  Value(int rows, int cols, double fill);
  // Shares m's elements; a 1 x 1 m gives a scalar, a 0-size one empty.
  Value(const GenMatrixD& m) : Value() { *this = m; }
  Value(const Value& v) : tag(v.tag) { copyContent(v); }
  // Takes v's matrix object (and so its hold on the storage); v is left
  // empty. A scalar is copied.
  Value(Value&& v) noexcept : tag(v.tag) {
    if (tag == kMatrixTag) {
      matrix = v.matrix;
      v.tag = kEmptyTag;
      v.matrix = nullptr;
    } else {
      copyContent(v);
    }
  }
  ~Value() { Release(); }

  // Assignment from a value shares a matrix's elements; assigning a value
  // to itself changes nothing.
  Value& Assign(const Value& src);
  Value& operator=(const Value& src) { return Assign(src); }
  Value& operator=(Value&& src) noexcept;
  // As Assign, but a matrix gets its own copy of the elements (also when
  // src is this value).
  Value& DeepCopy(const Value& src);
  // 0 rows or columns: empty; 1 x 1: the scalar; else shares m's elements.
  // m may be this value's own matrix.
  Value& operator=(const GenMatrixD& m);
  Value& operator=(double x) {
    Release();
    tag = kScalarTag;
    scalar = x;
    return *this;
  }

  void Release() {
    if (tag == kMatrixTag) delete matrix;
    tag = kEmptyTag;
    matrix = nullptr;
  }
  // Sets the scalar or every element of the (possibly shared) storage.
  Value& Fill(double x);
  // A matrix whose elements have another holder trades them for a copy of
  // its own, so that writing them in place reaches nobody else.
  Value& MakePrivate() {
    if (IsShared()) DeepCopy(*this);
    return *this;
  }
  // 1 for a matrix whose elements have another holder: MakePrivate copies
  // them.
  int IsShared() const { return tag == kMatrixTag && matrix->Storage().RefCount() > 1; }

  int Tag() const { return tag; }
  int IsEmpty() const { return tag == kEmptyTag; }
  int IsScalar() const { return tag == kScalarTag; }
  int IsMatrix() const { return tag == kMatrixTag; }

  double* Scalar() { return &scalar; }
  const double* Scalar() const { return &scalar; }
  GenMatrixD* Matrix() { return matrix; }
  const GenMatrixD* Matrix() const { return matrix; }

  // Empty 0 x 0 with no element, scalar 1 x 1: the tag itself.
  int Rows() const { return tag == kMatrixTag ? matrix->Rows() : tag; }
  int Cols() const { return tag == kMatrixTag ? matrix->Cols() : tag; }
  int ElementCount() const { return tag == kMatrixTag ? matrix->Size() : tag; }
  // Empty: 0.0; scalar: the number; matrix: the first smallest / largest
  // element (a later NaN never wins).
  double Min() const;
  double Max() const;

 private:
  // A new matrix object, not marked shallow, over m's element storage.
  static GenMatrixD* sharingMatrix(const GenMatrixD& m);
  // Fills the data of a value whose tag was just set to v's tag.
  void copyContent(const Value& v) {
    if (tag == kScalarTag)
      scalar = v.scalar;
    else
      matrix = tag == kMatrixTag ? sharingMatrix(*v.matrix) : nullptr;
  }
  void installMatrix(GenMatrixD* m) {
    Release();
    tag = kMatrixTag;
    matrix = m;
  }

  int tag;
  union {
    double scalar;
    GenMatrixD* matrix;
  };
};

// Arithmetic of the language. Operands are left unchanged; a result's matrix
// lies in storage of its own. Sizes of two matrix operands are the caller's
// to check (equal for + and -, inner sizes for *, cols for /, rows for \).
// An empty operand gives the empty value. Division by zero and singular
// matrix divisors give infinities and NaNs, without a status.
Value transposeValue(const Value& a);
Value addValues(const Value& a, const Value& b);
Value subtractValues(const Value& a, const Value& b);
Value multiplyValues(const Value& a, const Value& b);
// With one scalar operand s, either division scales the matrix by 1 / s,
// whichever side s stands on.
Value rightDivideValues(const Value& a, const Value& b);
Value leftDivideValues(const Value& a, const Value& b);
// The elements that a / b (a \ b) holds at once at its peak, the result and
// the work arrays of the solve included, for the memory gate to pass before
// the division runs: with two matrices it holds a transposed or copied
// operand, a copy of the divisor and what LAPACK works in; with one, the
// scaled copy of the matrix.
double rightDivideElementCount(const Value& a, const Value& b);
double leftDivideElementCount(const Value& a, const Value& b);
// Only scalar ^ scalar computes; a non-scalar exponent or a matrix base
// writes its message to the standard error stream and gives empty.
Value powerValues(const Value& a, const Value& b);
// The message that refuses base ^ exponent, or null when the power can be
// computed: two non-scalars are not implemented at all, and of the mixed
// pairs only scalar ^ scalar is (a matrix base, or an exponent that is a
// matrix or empty, fails). An empty base under a scalar exponent is left to
// powerValues, which gives the empty value.
const char* powerOperandError(const Value& base, const Value& exponent);
// The element-wise operators: 1.0 where the relation holds, 0.0 elsewhere; a
// scalar operand meets every element of a matrix operand; an empty operand
// gives the empty value.
Value orValues(const Value& a, const Value& b);
Value andValues(const Value& a, const Value& b);
Value ltValues(const Value& a, const Value& b);
Value leValues(const Value& a, const Value& b);
Value gtValues(const Value& a, const Value& b);
Value geValues(const Value& a, const Value& b);
Value eqValues(const Value& a, const Value& b);
Value neValues(const Value& a, const Value& b);

// "Empty container!" and a line end; a scalar with nothing after it; a
// matrix after a line end, row by row.
std::ostream& printValue(std::ostream& out, const Value& a);

// Built-ins. The numerical ones return 0 for success and 1 for failure and
// print nothing; on failure invValue, cholValue and nullValue leave out
// unchanged, while eigValue and eigvecValue leave LAPACK's overwritten
// working copy in it.
//
// In place, through the shared storage: negative and NaN elements are left
// as they are, and the result is then 1.
int sqrtValue(Value& v);
int invValue(const Value& in, Value& out);
// The elements that invValue, cholValue, eigValue and eigvecValue make for
// a square in, all held at once, the result included, for the memory gate
// to pass first: a copy of in for the factorisation, and the pivots and
// work array of the inverse, or the eigenvalues and eigenvectors with
// their work array. 0 for a scalar or the empty value.
double invElementCount(const Value& in);
double cholElementCount(const Value& in);
double eigElementCount(const Value& in);
double eigvecElementCount(const Value& in);
// Reads only the upper triangle; out is R with R' R = in.
int cholValue(const Value& in, Value& out);
// An orthonormal basis of the null space: the right singular vectors whose
// singular values are below tol.
int nullValue(const Value& in, Value& out, double tol);
// 1 when nullValue can make its work matrices for in, all held at once:
// in's transpose, the n x n singular vectors for in's n columns and a null
// basis that can be as large (isAllocatableCount of their sum).
int nullValueFits(const Value& in);
// The eigenvalues as a column of real parts when the imaginary parts sum to
// less than n * 1e-6 in absolute value, otherwise n x 2 (real, imaginary).
int eigValue(const Value& in, Value& out);
// The right eigenvectors as LAPACK stores them (a complex pair as its real
// and imaginary columns); a scalar gives 1.
int eigvecValue(const Value& in, Value& out);
// In place: 1.0 for every zero, 0.0 for everything else (NaN included).
Value& notValue(Value& v);

// An element-wise operator: 1.0 when it holds for (left, right), else 0.0.
using ElementwiseOp = double (*)(double, double);
// op between two scalars, two matrices of a's size (element by element), or
// a scalar and every element of a matrix.
Value elementwiseValues(const Value& a, const Value& b, ElementwiseOp op);
// Every comparison is false with a NaN operand, except compareNe, which is
// true. The logical ones count a NaN as nonzero.
double compareEq(double x, double y);
double compareNe(double x, double y);
double compareLt(double x, double y);
double compareLe(double x, double y);
double compareGt(double x, double y);
double compareGe(double x, double y);
double logicalAnd(double x, double y);
double logicalOr(double x, double y);
// The 1-based column-major indices of the nonzero elements (NaN counts as
// nonzero), listed row by row, as a 1 x k row; empty when there is none.
void findValue(const Value& in, Value& out);
// The number of nonzero elements (NaN counts as nonzero): the elements of
// findValue's result.
int nonzeroCount(const Value& in);

#endif
