// One term of an affine matrix expression: either the expression's constant,
// or L * Y * R with Y a matrix variable X or its transpose X', optionally
// symmetrised into P + P' (P the product).
//
// A term owns its name and its two coefficients. Copying a term copies the
// record and shares the coefficients' matrix elements; no operation writes
// into a coefficient's elements, every changed coefficient is a new Value.
// The operations take their operands by constant reference and leave them
// unchanged.
#ifndef VARNEL_VMAT_TERM_H
#define VARNEL_VMAT_TERM_H

#include <iosfwd>
#include <string>

#include "hash_table.h"
#include "value.h"

class VarRecord;

// Counts the copies and moves of the records that hold one, so that the
// work of the block operations can be measured in terms handled.
struct CopyTally {
  CopyTally() = default;
  CopyTally(const CopyTally&) { ++count; }
  CopyTally(CopyTally&&) noexcept { ++count; }
  CopyTally& operator=(const CopyTally&) {
    ++count;
    return *this;
  }
  CopyTally& operator=(CopyTally&&) noexcept {
    ++count;
    return *this;
  }
  inline static long long count = 0;
};

struct VMatTerm {
  // A placeholder: the constant term's empty name, but no constant (its
  // value is the empty value). Arrays of terms start full of them.
  VMatTerm() = default;
  // The constant term holding c.
  explicit VMatTerm(const Value& c) : left(c), leftIsIdentity(0) {}

  // The empty name alone marks the constant term.
  int IsConstant() const { return name.empty(); }

  // The term's value at the variables' current values. A plain term X
  // yields the variable's value itself, sharing its elements. Every named
  // variable must be in vartbl.
  Value Eval(HashTable<VarRecord>& vartbl) const;

  // (L Y R)' = R' Y' L'; a symmetric term is its own transpose.
  static VMatTerm Transpose(const VMatTerm& t);
  // t + t': a constant K becomes K + K' (not halved), a variable term is
  // flagged symmetric, a symmetric term is returned unchanged.
  static VMatTerm Sym(const VMatTerm& t);

  // Division by a constant is the product with its inverse. A variable term
  // fails (status 1, out unchanged) when c cannot be inverted; a constant
  // term follows the matrix language's division. c / t and t \ c are
  // linear only for a constant term t; a variable t is refused.
  static int Slash(const VMatTerm& t, const Value& c, VMatTerm& out);      // t / c
  static int Slash(const Value& c, const VMatTerm& t, VMatTerm& out);      // c / t
  static int BackSlash(const Value& c, const VMatTerm& t, VMatTerm& out);  // c \ t
  static int BackSlash(const VMatTerm& t, const Value& c, VMatTerm& out);  // t \ c

  // The diagnostic listing of the term's fields.
  static std::ostream& Print(std::ostream& out, const VMatTerm& t);

  // How many times a term has been copied or moved since the program began.
  static long long CopyCount() { return CopyTally::count; }

  std::string name;  // "" marks the constant term
  Value left;        // in the constant term, the constant itself
  Value right;
  // A set flag makes the matching coefficient meaningless, whatever it holds.
  int leftIsIdentity = 1;
  int rightIsIdentity = 1;
  int transposed = 0;  // the variable enters as X'
  int symmetric = 0;   // the value is P + P'
  CopyTally tally;     // counts, holds nothing of the term
};

// Reports "operation: Not a linear operation", the refusal of every affine
// operation (on terms and on blocks) whose result would not stay affine.
void reportNotLinear(const char* operation);

// Sum and difference of two constant terms; with a variable term the
// message "...: Illegal operation" is reported and the result is t1.
VMatTerm operator+(const VMatTerm& t1, const VMatTerm& t2);
VMatTerm operator-(const VMatTerm& t1, const VMatTerm& t2);

// c * t and t * c. A scalar joins the coefficient on the side where one
// exists (the left one when the term has both) and otherwise becomes the
// coefficient on its own side; a matrix always becomes, or multiplies, the
// coefficient on its own side. A term multiplied by 0 keeps its factors, so
// its shape is kept; only the constant term holding the scalar 0.0 stays
// that scalar under any product.
//
// c (P + P') is no single term when c is not a scalar: a symmetric t is then
// reported with "...: Simetry lost!" and the result is c P + (c P)'. Callers
// that need the exact product split the term into P and P' first.
VMatTerm operator*(const Value& c, const VMatTerm& t);
VMatTerm operator*(const VMatTerm& t, const Value& c);

// The inverse of a divisor of a variable term, which the quotient needs
// whatever the term's coefficients: 0, or 1 after reporting "Can not invert
// nonsquare matrices!" or "'inv' failed. Matrix may be ill conditionated or
// singular." (also for the scalar 0, whose inverse would make every
// coefficient infinite). The empty value inverts to itself.
int invertDivisor(const Value& c, Value& inverse);

// t / c and c \ t for a divisor c that invertDivisor has inverted into
// inverse. A coefficient is divided as the matrix language divides, except
// that a scalar coefficient divided by a matrix stands for the scalar times
// the identity and becomes the scalar times the inverse; the constant 0.0
// stays 0.0. Without a coefficient to take it, c enters as its inverse. No
// diagnostic is given.
VMatTerm divideRight(const VMatTerm& t, const Value& c, const Value& inverse);
VMatTerm divideLeft(const Value& c, const Value& inverse, const VMatTerm& t);

#endif
