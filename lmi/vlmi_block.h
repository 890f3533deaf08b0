// Affine matrix expressions: a block is a constant term followed by terms
// L * X * R (X or X', optionally plus its own transpose) in matrix
// variables X. Every stored LMI block, LME and the objective is one.
//
// A product needs at least one constant block (a block that holds nothing
// but its constant term), a quotient a constant divisor, a power two
// constant blocks; two constant blocks combine by the matrix language's
// rules.
#ifndef VARNEL_VLMI_BLOCK_H
#define VARNEL_VLMI_BLOCK_H

#include <iosfwd>
#include <string>
#include <vector>

#include "hash_table.h"
#include "shared_array.h"
#include "value.h"
#include "vmat_term.h"

// The reference-counted array of a block's terms. A copy has an array of
// its own (the terms' coefficient matrices are still shared); assignment
// shares the source's array, and there is no copy-on-write: a term written
// through one holder is seen by every holder.
class TermVec : public SharedArray<VMatTerm> {
 public:
  // n placeholder terms.
  explicit TermVec(int n = 0) : SharedArray<VMatTerm>(n) {}
  TermVec(const TermVec& other) = default;
  TermVec& operator=(const TermVec& other) {
    Share(other);
    return *this;
  }

  // Term i := other's term i for i below the smaller size; the rest of
  // either array is left as it is.
  void CopyLeading(const TermVec& other);

  static std::ostream& Print(std::ostream& out, const TermVec& terms);

  // `out << TermVec::Describe(terms)` lists the array's length, address and
  // reference count.
  struct Description {
    const TermVec& terms;
  };
  static Description Describe(const TermVec& terms) { return Description{terms}; }
};

std::ostream& operator<<(std::ostream& out, const TermVec::Description& d);

// How a term whose value is 1 x 1 stands in a larger block. Matrix
// inequalities read it as that scalar times the identity; equalities,
// column-vector inequalities and the objective add it to every element.
// The identity reading applies to square blocks only: in any other block the
// scalar can only mean every element. Products with a matrix already take a
// 1 x 1 term of a square block as the scalar times the identity (A * (X + t)
// becomes A X + t A), so after such a product both readings agree.
enum ScalarReading { kScalarEverywhere, kScalarTimesIdentity };

class VLmiBlock {
 public:
  // n terms: term 0 the constant 0.0, the others placeholders; 1 x 1.
  explicit VLmiBlock(int n = 1) : terms(n), rows(1), cols(1) { terms[0] = VMatTerm(Value(0.0)); }
  // Copy construction gives the copy its own term array.
  VLmiBlock(const VLmiBlock& other) = default;
  // Assignment shares the source's term array.
  VLmiBlock& operator=(const VLmiBlock& other) {
    terms.Share(other.terms);
    rows = other.rows;
    cols = other.cols;
    return *this;
  }

  int& Rows() { return rows; }
  int& Cols() { return cols; }
  int Rows() const { return rows; }
  int Cols() const { return cols; }
  int NumTerms() const { return terms.Size(); }
  VMatTerm& operator[](int i) const { return terms[i]; }
  const TermVec& Terms() const { return terms; }
  int IsConstant() const { return NumTerms() == 1; }

  // Appends the plain term of the m x n variable `name`. It is accepted in a
  // 1 x 1 block, as a 1 x 1 term, or at the block's size; otherwise
  // "VLmiBlock::AddTerm(): Adding term with a different size" goes to the
  // standard error stream and the block is unchanged. The block gets a new
  // term array: blocks that shared the old one keep it.
  void AddTerm(const std::string& name, int m, int n);

  // The block's value at the variables' current values, always of the
  // block's size (a block whose terms are all 1 x 1 is spread to it): the
  // terms added in their order, in new elements unless the block is
  // constant (whose value shares its constant's). A placeholder term, or a
  // term of neither 1 x 1 nor the block's size, makes the value empty. Every
  // named variable must be in vartbl.
  Value Eval(HashTable<VarRecord>& vartbl, ScalarReading reading = kScalarEverywhere) const;

  static VLmiBlock Transpose(const VLmiBlock& block);
  // block + block'. A block that is not square fails with
  // "VLmiBlock::Sym(): Symmetrizing a nonsquare block".
  static int Sym(const VLmiBlock& block, VLmiBlock& out);
  static VLmiBlock Negate(const VLmiBlock& block);

  // Sum and difference: one side 1 x 1 or equal sizes, else the message
  // "...: Summing different sizes" / "...: Subtracting different sizes".
  // Terms: the constant, a's variable terms, then b's (negated for -). A
  // 1 x 1 side keeps its 1 x 1 terms in a square result; in a result that is
  // not square they are spread over every element, which is then their only
  // reading. Two constant blocks give the constant block of the matrix
  // language's sum (so [] + 1 is empty). Status 0 with the result in out, or
  // 1 after the report with out unchanged. out may be a itself: a block that
  // holds its term array alone then has b's terms appended to its own, so a
  // chain of sums costs time in proportion to its terms.
  static int Add(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  static int Subtract(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  // Product: when neither side is constant "VLmiBlock::operator*(): Not a
  // linear operation", on a size mismatch "...: Multiplying different sizes";
  // status as for the sum, and out may be a itself as there. A symmetric
  // term met by a matrix is split into P and P', so the product stays exact.
  static int Multiply(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  // The same operations as values; a refused operation gives the zero block.
  VLmiBlock operator+(const VLmiBlock& b) const;
  VLmiBlock operator-(const VLmiBlock& b) const;
  VLmiBlock operator*(const VLmiBlock& b) const;

  // a / b and a \ b: the divisor (b for /, a for \) must be constant, else
  // "...: Not a linear operation"; sizes as for the product, else "...:
  // Dividing different sizes". A block with variable terms has each term
  // divided (divideRight, divideLeft); it needs the divisor's inverse, so it
  // fails when the divisor is not square or is singular. Status 0 with the
  // result in out, or 1 after the report; out may be a itself.
  static int Slash(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  static int BackSlash(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  // a ^ b of two constant blocks, else "VLmiBlock::Pow(VLmiBlock,VLmiBlock):
  // Not a linear operation" and 1. A power that powerValues does not compute
  // (a matrix base or a matrix exponent) fails with the power operator's
  // message, as in the matrix language. out may be a itself.
  static int Pow(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out);
  // The element-wise square root of a constant block, in place on the
  // constant's elements (every holder sees it): 1 when some element was
  // negative (left as it is), else 0. A block with variable terms is left
  // unchanged, reported with "VLmiBlock::Sqrt(VLmiBlock,VLmiBlock): Not a
  // linear operation", and gives 1.
  static int Sqrt(VLmiBlock& block);

  static std::ostream& Print(std::ostream& out, const VLmiBlock& block);

 private:
  // The sum (subtract 0) or difference of blocks whose sizes fit.
  static void Sum(const VLmiBlock& a, const VLmiBlock& b, int subtract, VLmiBlock& out);

  TermVec terms;  // term 0 is the constant term
  int rows;
  int cols;
};

// The constant term's value (a matrix shares its elements).
Value lmiConstantPart(const VLmiBlock& block);
// 1 when the block has more than one row or column.
int isMatrixBlock(const VLmiBlock& block);
// The block becomes the constant block of v, of v's size (0 x 0 when empty);
// blocks that shared its old term array keep it.
void setLmiConstant(VLmiBlock& block, const Value& v);
// The distinct variable names of the block in order of first use; a
// constant block gives the one entry "Only a constant term.".
void termVariableNames(const VLmiBlock& block, std::vector<std::string>& names);

class BuiltProblem;

#endif
