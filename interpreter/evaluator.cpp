#include "evaluator.h"

#include <cmath>
#include <iterator>

#include "allocation.h"
#include "builtins.h"
#include "lexer.h"
#include "line_input.h"
#include "matrix_literal.h"
#include "primaries.h"
#include "problem_primaries.h"
#include "report.h"
#include "solve_primaries.h"
#include "workspace.h"

const PrimaryHandler MatrixPrimaryTable[] = {
    // nothing, variable, parameter, name, lmi, lme, obj, var, eval, who
    primaryNotAPrimary, primaryVariable, primaryParameter, primaryNewName, primaryNotAPrimary,
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryEval, primaryNotAPrimary,
    // whos, build, solve, feas, mask, clear, format, compact, verbose, import
    primaryNotAPrimary, primaryBuild, primarySolve, primaryFeas, primaryMask,
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    // export, inline, on, off, pause, exec, echo, help, home, cd
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    // pwd, dir, cputime, space, literal, type, ~, ==, ~=, &
    primaryNotAPrimary, primaryNotAPrimary, primaryCputime, primaryNotAPrimary, primaryNumber,
    primaryDiag, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    // |, <, <=, >, >=, =, +, -, *, backslash
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    // /, ^, sqrt, (, ), [, ], ",", ;, :
    primaryNotAPrimary, primaryNotAPrimary, primarySqrt, primaryParen, primaryNotAPrimary,
    primaryMatrixLiteral, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    // ', eye, ones, zeros, trace, block, size, inv, eig, eigvec
    primaryNotAPrimary, primaryEye, primaryOnes, primaryZeros, primaryTrace,
    primaryNotAPrimary, primarySize, primaryInv, primaryEig, primaryEigvec,
    // null, chol, det, for, if, else, break, while, find, eol
    primaryNull, primaryChol, primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary,
    primaryNotAPrimary, primaryNotAPrimary, primaryNotAPrimary, primaryFind, primaryEol,
    // end, unknown
    primaryNotAPrimary, primaryInvalidToken};
static_assert(std::size(MatrixPrimaryTable) == kTokenKindCount, "one handler for every token kind");

namespace {

using Level = int (*)(Value&);
using Operation = Value (*)(const Value&, const Value&);
// The message that refuses the operator `kind` between a and b, or null.
using SizeTest = const char* (*)(int kind, const Value& a, const Value& b);
// The elements an operation holds at once, its result included.
using HeldCount = double (*)(const Value& a, const Value& b);

struct BinaryOperator {
  int kind;
  Operation apply;
  HeldCount held = nullptr;  // null: the result alone (resultElementCount)
};

// Two matrices (not a scalar, not the empty value) of different shapes.
bool matricesDiffer(const Value& a, const Value& b) {
  return a.IsMatrix() && b.IsMatrix() && (a.Rows() != b.Rows() || a.Cols() != b.Cols());
}

const char* orSizeTest(int, const Value& a, const Value& b) {
  return matricesDiffer(a, b) ? "Can not perform '|' on matrices with different sizes!" : nullptr;
}

const char* andSizeTest(int, const Value& a, const Value& b) {
  return matricesDiffer(a, b) ? "Can not perform '&' on matrices with different sizes!" : nullptr;
}

const char* compareSizeTest(int, const Value& a, const Value& b) {
  return matricesDiffer(a, b) ? "Can not compare matrices with different sizes!" : nullptr;
}

// An empty operand fails against a matrix and passes against a scalar or
// another empty value.
const char* addSizeTest(int, const Value& a, const Value& b) {
  if (a.IsScalar() || b.IsScalar()) return nullptr;
  if (a.Rows() == b.Rows() && a.Cols() == b.Cols()) return nullptr;
  return "Can not add or subtract matrices with different sizes!";
}

const char* multiplySizeTest(int kind, const Value& a, const Value& b) {
  if (a.IsScalar() || b.IsScalar()) return nullptr;
  bool fits;
  switch (kind) {
    case kTimes: fits = a.Cols() == b.Rows(); break;
    case kBackslash: fits = a.Rows() == b.Rows(); break;
    default: fits = a.Cols() == b.Cols(); break;
  }
  return fits ? nullptr : "Can not multiply or divide matrices with incompatible dimensions";
}

const char* powerSizeTest(int, const Value& a, const Value& b) { return powerOperandError(a, b); }

const BinaryOperator kOrOperators[] = {{kOr, orValues}};
const BinaryOperator kAndOperators[] = {{kAnd, andValues}};
const BinaryOperator kRelationalOperators[] = {
    {kLess, ltValues}, {kLessEqual, leValues}, {kGreater, gtValues}, {kGreaterEqual, geValues}};
const BinaryOperator kEqualityOperators[] = {{kEqual, eqValues}, {kNotEqual, neValues}};
const BinaryOperator kAdditiveOperators[] = {{kPlus, addValues}, {kMinus, subtractValues}};
const BinaryOperator kMultiplicativeOperators[] = {{kTimes, multiplyValues},
                                                   {kBackslash, leftDivideValues, leftDivideElementCount},
                                                   {kSlash, rightDivideValues, rightDivideElementCount}};
const BinaryOperator kPowerOperators[] = {{kPower, powerValues}};

// result = result op right after the level's size test and the memory
// gate's test of what the operation holds.
int applyOperator(const BinaryOperator& op, SizeTest test, Value& result, const Value& right) {
  if (const char* message = test(op.kind, result, right)) {
    reportError(message);
    return 1;
  }
  if (checkAllocatable(op.held != nullptr ? op.held(result, right) : resultElementCount(op.kind, result, right)))
    return 1;
  result = op.apply(result, right);
  resultName = kAnsName;
  return 0;
}

// The end or the step of a range: an additive operand that must be a scalar.
int evalRangeBound(Value& bound, double& x) {
  if (evalAdditive(bound)) return 1;
  if (!bound.IsScalar()) {
    reportError("Expected scalar.");
    return 1;
  }
  x = *bound.Scalar();
  return 0;
}

// An additive operand with the bracket rule off, so that parentheses,
// arguments and subscripts inside it are read as ordinary expressions.
int evalAdditiveOperand(Value& operand) {
  const int saved = insideBrackets;
  insideBrackets = 0;
  const int status = evalMultiplicative(operand);
  insideBrackets = saved;
  return status;
}

// ---- The levels -------------------------------------------------------------
// Every operand passes all the levels looser than itself on its way up, and
// each of them looks for its operators after it. The levels are therefore
// inline functions: a level function evaluates its left operand through the
// tighter levels compiled into it, without a call for each, while right
// operands are evaluated through the level functions themselves.
#define VARNEL_LEVEL [[gnu::always_inline]] inline

// The operators of a left-associative level, once its left operand is in
// result; the right operands come from next.
template <int N>
VARNEL_LEVEL int binaryOperations(Value& result, Level next, const BinaryOperator (&operators)[N], SizeTest test) {
  for (;;) {
    const BinaryOperator* op = findOperator(peekNonSpace(), operators);
    if (op == nullptr) return 0;
    takeOperator(op->kind);
    Value right;
    if (next(right)) return 1;
    if (applyOperator(*op, test, result, right)) return 1;
  }
}

VARNEL_LEVEL int powerLevel(Value& result) {
  if (evalUnarySign(result)) return 1;
  return binaryOperations(result, evalUnarySign, kPowerOperators, powerSizeTest);
}

VARNEL_LEVEL int multiplicativeLevel(Value& result) {
  if (powerLevel(result)) return 1;
  return binaryOperations(result, evalPower, kMultiplicativeOperators, multiplySizeTest);
}

VARNEL_LEVEL int additiveLevel(Value& result) {
  const int bracketRule = insideBrackets;
  insideBrackets = 0;
  const int status = multiplicativeLevel(result);
  insideBrackets = bracketRule;
  if (status) return 1;
  for (;;) {
    const BinaryOperator* op = findOperator(peekNonSpace(), kAdditiveOperators);
    if (op == nullptr) return 0;
    skipSpaces();
    // In a literal's element a sign glued to what follows begins the next
    // element as a unary sign.
    if (bracketRule && peekKind(1) != kSpace) return 0;
    expectToken(op->kind);
    skipSpaces();
    Value right;
    if (evalAdditiveOperand(right)) return 1;
    if (applyOperator(*op, addSizeTest, result, right)) return 1;
  }
}

VARNEL_LEVEL int rangeLevel(Value& result) {
  if (additiveLevel(result)) return 1;
  if (!result.IsScalar() || peekNonSpace() != kColon) return 0;
  takeOperator(kColon);
  const double start = *result.Scalar();
  double step = 1.0;
  double end;
  Value bound;
  if (evalRangeBound(bound, end)) return 1;
  if (peekNonSpace() == kColon) {
    takeOperator(kColon);
    step = end;
    if (evalRangeBound(bound, end)) return 1;
  }
  if (makeRange(start, step, end, result)) return 1;
  resultName = kAnsName;
  return 0;
}

VARNEL_LEVEL int equalityLevel(Value& result) {
  if (rangeLevel(result)) return 1;
  return binaryOperations(result, evalRange, kEqualityOperators, compareSizeTest);
}

VARNEL_LEVEL int relationalLevel(Value& result) {
  if (equalityLevel(result)) return 1;
  return binaryOperations(result, evalEquality, kRelationalOperators, compareSizeTest);
}

VARNEL_LEVEL int andLevel(Value& result) {
  if (relationalLevel(result)) return 1;
  return binaryOperations(result, evalRelational, kAndOperators, andSizeTest);
}

VARNEL_LEVEL int orLevel(Value& result) {
  if (andLevel(result)) return 1;
  return binaryOperations(result, evalAnd, kOrOperators, orSizeTest);
}

#undef VARNEL_LEVEL

}  // namespace

const char kTooManyNestedExpressions[] = "Too many nested expressions.";

int checkAllocatable(double count) {
  if (isAllocatableCount(count)) return 0;
  reportError("Invalid size.");
  return 1;
}

int makeWritable(Value& value) {
  if (value.IsShared() && checkAllocatable(value.ElementCount())) return 1;
  value.MakePrivate();
  return 0;
}

int evalExpression(Value& result) {
  if (ExpressionNesting::Full()) {
    reportError(kTooManyNestedExpressions);
    return 1;
  }
  ExpressionNesting level;
  if (orLevel(result)) return 1;
  // An expression whose rest a Ctrl-C dropped has no value: what was read of
  // it is not assigned or stored.
  return inputAbandoned();
}

int evalOr(Value& result) { return orLevel(result); }
int evalAnd(Value& result) { return andLevel(result); }
int evalRelational(Value& result) { return relationalLevel(result); }
int evalEquality(Value& result) { return equalityLevel(result); }
int evalRange(Value& result) { return rangeLevel(result); }
int evalAdditive(Value& result) { return additiveLevel(result); }
int evalMultiplicative(Value& result) { return multiplicativeLevel(result); }
int evalPower(Value& result) { return powerLevel(result); }

int evalUnarySign(Value& result) {
  const int kind = peekKind(0);
  if (kind != kMinus && kind != kPlus) return evalNot(result);
  expectToken(kind);
  // Blanks are skipped only where there are some: a recorded constraint
  // text then keeps a sign glued to its operand, which in a literal begins
  // an element ([1 -2] must not read back as [1 - 2]).
  if (peekKind(0) == kSpace) skipSpaces();
  if (evalNot(result)) return 1;
  if (kind == kMinus) {
    if (checkAllocatable(result.ElementCount())) return 1;
    result = multiplyValues(Value(-1.0), result);
    resultName = kAnsName;
  }
  return 0;
}

int evalNot(Value& result) {
  if (peekKind(0) != kNot) return evalPostfix(result);
  expectToken(kNot);
  skipSpaces();
  if (evalPostfix(result)) return 1;
  // notValue writes in place; the operand may share a stored value's
  // elements.
  if (makeWritable(result)) return 1;
  notValue(result);
  resultName = kAnsName;
  return 0;
}

int evalPostfix(Value& result) {
  if (MatrixPrimaryTable[peekKind(0)](result)) return 1;
  if (peekKind(0) == kQuote) {
    expectToken(kQuote);
    // A scalar and the empty value are their own transposes.
    if (result.IsMatrix()) {
      if (checkAllocatable(result.ElementCount())) return 1;
      result = transposeValue(result);
    }
    resultName = kAnsName;
  }
  return 0;
}

int rangeElementCount(double start, double step, double end) {
  if (std::isnan(step) || step == 0.0 || !std::isfinite(start) || !std::isfinite(end)) return 0;
  if (std::isinf(step)) return (start == end || (end > start) == (step > 0.0)) ? 1 : 0;
  // The difference of two finite bounds may overflow to an infinite count.
  const double count = std::floor((end - start) / step + 1e-10) + 1.0;
  if (count < 1.0) return 0;
  return isAllocatableCount(count) ? static_cast<int>(count) : -1;
}

int makeRange(double start, double step, double end, Value& result) {
  const int count = rangeElementCount(start, step, end);
  if (count < 0) {
    reportError("Invalid size.");
    return 1;
  }
  if (count <= 1) {
    if (count == 1)
      result = start;
    else
      result.Release();
    return 0;
  }
  GenMatrixD row(1, count);
  double x = start;
  for (int i = 0; i < count; ++i) {
    row[i] = x;
    x += step;
  }
  result = row;
  return 0;
}

void takeOperator(int kind) {
  skipSpaces();
  expectToken(kind);
  skipSpaces();
}
