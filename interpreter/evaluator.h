// The matrix-expression evaluator: a recursive descent over the pending
// tokens that computes a Value directly, one function per precedence level.
//
// Every level evaluates into the Value it is given and returns 0, or 1 after
// an error has been reported (once, where it was found); on failure the
// Value's content is unspecified. The first token no level accepts is left
// pending for the caller. Operations that compute a new value set
// resultName to "ans"; the primaries set it as they say.
//
// Precedence, loosest first: "|", "&", the relational operators, "==" and
// "~=", the range a:b and a:s:b, "+" "-", "*" "\" "/", "^", a unary sign,
// "~", and a primary with at most one transpose.
#ifndef VARNEL_EVALUATOR_H
#define VARNEL_EVALUATOR_H

#include <algorithm>

#include "allocation.h"
#include "token.h"
#include "value.h"
#include "value_utils.h"

// The entry of a level's operator table (each entry has a `kind`) for the
// token kind, or null when the level has no such operator.
template <class Operator, int N>
const Operator* findOperator(int kind, const Operator (&operators)[N]) {
  for (const Operator& op : operators) {
    if (op.kind == kind) return &op;
  }
  return nullptr;
}

// Takes the operator or separator that peekNonSpace has seen, with the blanks
// around it.
void takeOperator(int kind);

// The element count of the value of a kind b (a Value or an affine block
// each, anything with Rows() and Cols()), as the shape rules give it: a 1 x 1
// operand takes the other's shape, a product has a's rows and b's columns,
// a / b a's rows and b's rows, a \ b a's columns and b's columns, and an
// element-wise operator the larger sizes. A double, so that no product of
// sizes wraps around; the operands' shapes must have passed their tests.
template <class Operand>
double resultElementCount(int kind, const Operand& a, const Operand& b) {
  if (isOneByOne(a)) return elementCount(b.Rows(), b.Cols());
  if (isOneByOne(b)) return elementCount(a.Rows(), a.Cols());
  switch (kind) {
    case kTimes: return elementCount(a.Rows(), b.Cols());
    case kSlash: return elementCount(a.Rows(), b.Rows());
    case kBackslash: return elementCount(a.Cols(), b.Cols());
    default: return elementCount(std::max(a.Rows(), b.Rows()), std::max(a.Cols(), b.Cols()));
  }
}

// The memory gate as the evaluator asks it before it makes a matrix: 0 when
// count elements (of every buffer that lives at once) can be made now, else
// 1 after reporting "Invalid size.".
int checkAllocatable(double count);
// Makes value's elements private (Value::MakePrivate) for a write in place,
// once the gate lets the copy through; 0, or 1 after "Invalid size." with
// value unchanged.
int makeWritable(Value& value);

// One whole expression (the loosest level). Nested more than
// kMaxExpressionNesting deep, it is refused with "Too many nested
// expressions.".
int evalExpression(Value& result);

// Every parenthesis, argument, subscript and literal element is an
// expression of its own, evaluated by recursion. Each expression holds an
// ExpressionNesting while it is evaluated; past kMaxExpressionNesting levels
// a further one is refused with kTooManyNestedExpressions before the
// recursion outgrows the stack.
constexpr int kMaxExpressionNesting = 1000;
extern const char kTooManyNestedExpressions[];

class ExpressionNesting {
 public:
  ExpressionNesting() { ++depth; }
  ~ExpressionNesting() { --depth; }
  ExpressionNesting(const ExpressionNesting&) = delete;
  ExpressionNesting& operator=(const ExpressionNesting&) = delete;

  // Whether one more level would pass the limit.
  static bool Full() { return depth >= kMaxExpressionNesting; }

 private:
  static inline int depth = 0;
};

int evalOr(Value& result);
int evalAnd(Value& result);
int evalRelational(Value& result);
// Binds tighter than the relational operators: a < b == c is a < (b == c).
int evalEquality(Value& result);
// Not associative; a ":" after an operand that is not a scalar stays pending.
int evalRange(Value& result);
// While a matrix literal reads its elements (insideBrackets), a sign followed
// directly by a non-blank ends the element instead of being an operator.
int evalAdditive(Value& result);
int evalMultiplicative(Value& result);
// Left-associative: 2^3^2 is 64.
int evalPower(Value& result);
// At most one prefix sign, looser than "^": -2^2 is 4.
int evalUnarySign(Value& result);
int evalNot(Value& result);
// A primary and at most one transpose quote directly after it.
int evalPostfix(Value& result);

// The number of elements of the range start:step:end, counted with a
// tolerance of 1e-10 steps so that 0:0.1:0.3 has four elements. 0 for an
// empty range, which includes a step of 0 or NaN and a bound that is not
// finite; -1 when the count is too large for a matrix.
int rangeElementCount(double start, double step, double end);
// Sets result to the range start:step:end as a row built by repeated
// addition (one element gives a scalar, none the empty value). 0, or 1
// after reporting "Invalid size." for a range too large to hold.
int makeRange(double start, double step, double end, Value& result);

// The primary handlers, indexed by the kind of the front token. Each takes
// its own first token and returns 0, or 1 after an error report.
// One entry for each of the kTokenKindCount kinds (a missing one fails to
// compile).
using PrimaryHandler = int (*)(Value&);
extern const PrimaryHandler MatrixPrimaryTable[];

#endif
