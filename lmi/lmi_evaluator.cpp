#include "lmi_evaluator.h"

#include <iterator>
#include <sstream>

#include "builtins.h"
#include "evaluator.h"
#include "input_state.h"
#include "lexer.h"
#include "line_input.h"
#include "matrix_literal.h"
#include "primaries.h"
#include "report.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

const char* const kNotLinear = "Not a linear operation.";
const char* const kColumnsDiffer = "Cannot concatenate matrices with different column sizes.";

int isEmptySized(const VLmiBlock& block) { return block.Rows() == 0 || block.Cols() == 0; }
int sameSize(const VLmiBlock& a, const VLmiBlock& b) { return a.Rows() == b.Rows() && a.Cols() == b.Cols(); }
int isScalarBlock(const VLmiBlock& block) { return block.IsConstant() && lmiConstantPart(block).IsScalar(); }

VLmiBlock constantBlock(const Value& v) {
  VLmiBlock block(1);
  setLmiConstant(block, v);
  return block;
}

// ---- infix levels ----------------------------------------------------------

// The message that refuses the operator `kind` between a and b, or null.
using LmiCheck = const char* (*)(int kind, const VLmiBlock& a, const VLmiBlock& b);
using LmiLevel = int (*)(VLmiBlock&);

// An operator works either element-wise on two constant blocks, or as an
// operation of the affine algebra (which may still refuse its operands).
struct LmiOperator {
  int kind;
  VLmiBlock (*elementwise)(const VLmiBlock&, const VLmiBlock&);
  int (*affine)(const VLmiBlock&, const VLmiBlock&, VLmiBlock&);
};

// Two constant operands; two matrix blocks must have one size.
const char* constantsOfOneSize(const VLmiBlock& a, const VLmiBlock& b, const char* sizeMessage) {
  if (!a.IsConstant() || !b.IsConstant()) return kNotLinear;
  if (isMatrixBlock(a) && isMatrixBlock(b) && !sameSize(a, b)) return sizeMessage;
  return nullptr;
}

const char* orCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  return constantsOfOneSize(a, b, "Can not perform '|' on matrices with different sizes!");
}

const char* andCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  return constantsOfOneSize(a, b, "Can not perform '&' on matrices with different sizes!");
}

const char* relationalCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  return constantsOfOneSize(a, b, "Can not compare matrices with different sizes!");
}

const char* equalityCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  return constantsOfOneSize(a, b, "Cannot compare matrices with different sizes!");
}

// An empty side beside a side with variable terms: an expression with
// variable terms has no empty value to become.
int emptyWithVariables(const VLmiBlock& a, const VLmiBlock& b) {
  return (isEmptySized(a) || isEmptySized(b)) && !(a.IsConstant() && b.IsConstant());
}

// A 1 x 1 side stands for its value on every element of the other side,
// except beside an empty side.
const char* additiveCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  if (sameSize(a, b)) return nullptr;
  if ((isOneByOne(a) || isOneByOne(b)) && !emptyWithVariables(a, b)) return nullptr;
  return "Can not add or subtract LMI with different sizes!";
}

// A product needs one constant side, a quotient a constant divisor; neither
// takes an empty side beside variable terms.
const char* multiplicativeCheck(int kind, const VLmiBlock& a, const VLmiBlock& b) {
  int linear;
  switch (kind) {
    case kTimes: linear = a.IsConstant() || b.IsConstant(); break;
    case kSlash: linear = b.IsConstant(); break;
    default: linear = a.IsConstant(); break;
  }
  if (!linear) return kNotLinear;
  if (!emptyWithVariables(a, b) && (isOneByOne(a) || isOneByOne(b) || a.Cols() == b.Rows())) return nullptr;
  return "Can not multiply or divide LMI by matrices with different number of collumns/lines!";
}

const char* powerCheck(int, const VLmiBlock& a, const VLmiBlock& b) {
  return a.IsConstant() && b.IsConstant() ? nullptr : kNotLinear;
}

const LmiOperator kOrOperators[] = {{kOr, lmiOr, nullptr}};
const LmiOperator kAndOperators[] = {{kAnd, lmiAnd, nullptr}};
const LmiOperator kRelationalOperators[] = {{kLess, lmiCompareLt, nullptr},
                                            {kLessEqual, lmiCompareLe, nullptr},
                                            {kGreater, lmiCompareGt, nullptr},
                                            {kGreaterEqual, lmiCompareGe, nullptr}};
const LmiOperator kEqualityOperators[] = {{kEqual, lmiCompareEq, nullptr}, {kNotEqual, lmiCompareNe, nullptr}};
const LmiOperator kAdditiveOperators[] = {{kPlus, nullptr, VLmiBlock::Add},
                                          {kMinus, nullptr, VLmiBlock::Subtract}};
const LmiOperator kMultiplicativeOperators[] = {{kTimes, nullptr, VLmiBlock::Multiply},
                                                {kBackslash, nullptr, VLmiBlock::BackSlash},
                                                {kSlash, nullptr, VLmiBlock::Slash}};
const LmiOperator kPowerOperators[] = {{kPower, nullptr, VLmiBlock::Pow}};

// block = block op right after the level's check and the test of the
// result's size: a block whose value could not be held is refused before
// a constant of that size is computed or the build meets it.
int applyOperator(const LmiOperator& op, LmiCheck check, VLmiBlock& block, const VLmiBlock& right) {
  if (const char* message = check(op.kind, block, right)) return fail(message);
  if (!isAllocatableCount(resultElementCount(op.kind, block, right))) return fail("Invalid size.");
  if (op.elementwise != nullptr) {
    block = op.elementwise(block, right);
    resultName = kAnsName;
    return 0;
  }
  // Into block itself, so that a sum appends to the block's own terms.
  return op.affine(block, right, block);
}

// The loop of a left-associative level whose operands come from `next`.
template <int N>
int evalLevel(VLmiBlock& block, LmiLevel next, const LmiOperator (&operators)[N], LmiCheck check) {
  if (next(block)) return 1;
  for (;;) {
    const LmiOperator* op = findOperator(peekNonSpace(), operators);
    if (op == nullptr) return 0;
    takeOperator(op->kind);
    VLmiBlock right(1);
    if (next(right)) return 1;
    if (applyOperator(*op, check, block, right)) return 1;
  }
}

// The end or the step of a range: an additive operand that must be a
// scalar block.
int evalRangeBound(double& x, const char* message) {
  VLmiBlock bound(1);
  if (evalLmiAdditive(bound)) return 1;
  if (!isScalarBlock(bound)) return fail(message);
  x = *lmiConstantPart(bound).Scalar();
  return 0;
}

// Takes the blanks after a prefix sign. In a literal a sign glued to its
// operand begins an element, so the recorded text keeps it glued: written
// with a blank it would read back as an infix operator.
void skipSpacesAfterSign() {
  if (insideBrackets && peekKind(0) != kSpace) return;
  skipSpaces();
}

// ---- primaries -------------------------------------------------------------

// "(" directly after a function's keyword, and the blanks after it.
int openArgument() {
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  return 0;
}

int closeArgument() {
  skipSpaces();
  return expectToken(kRightParen);
}

// Takes keyword and "(" and evaluates the argument into argument (a zero
// block), which must be constant.
int readConstantArgument(int keyword, VLmiBlock& argument) {
  if (expectToken(keyword) || openArgument() || evalLmiExpression(argument)) return 1;
  return argument.IsConstant() ? 0 : fail(kNotLinear);
}

int lmiPrimaryNotAPrimary(VLmiBlock&) {
  Value unused;
  return primaryNotAPrimary(unused);
}

int lmiPrimaryEol(VLmiBlock&) {
  Value unused;
  return primaryEol(unused);
}

int lmiPrimaryInvalidToken(VLmiBlock&) {
  Value unused;
  return primaryInvalidToken(unused);
}

// A variable is a term of its current size. An empty variable has no entry
// that a constraint could bind.
int lmiPrimaryVariable(VLmiBlock& block) {
  std::string name;
  expectTokenText(kVariable, name);
  const Value& value = variableTable.Lookup(name).GetValue();
  if (value.IsEmpty()) return fail("Variable '" + name + "' is empty and can not enter a constraint.");
  block.AddTerm(name, value.Rows(), value.Cols());
  return 0;
}

// A private copy of the parameter's value (subscripted unless the parameter
// is on the inline list), so that later changes of the parameter do not
// reach the block.
int lmiPrimaryParameter(VLmiBlock& block) {
  std::string name;
  expectTokenText(kParameter, name);
  Value value;
  value.DeepCopy(parameterTable.Lookup(name));
  int position;
  if (!findInlineName(name, position) && applyLmiSubscript(value)) return 1;
  setLmiConstant(block, value);
  return 0;
}

// No name is created inside a constraint.
int lmiPrimaryNewName(VLmiBlock&) {
  std::string name;
  expectTokenText(kName, name);
  return fail("Unknown command, variable or parameter '" + name + "'.");
}

int lmiPrimaryNumber(VLmiBlock& block) {
  std::string text;
  expectTokenText(kLiteral, text);
  setLmiConstant(block, Value(parseNumber(text)));
  return 0;
}

// Of the type keywords only "sym" is a function here: sym(e) = e + e'.
int lmiPrimarySym(VLmiBlock& block) {
  std::string word;
  expectTokenText(kType, word);
  if (word != "sym") return fail("'" + word + "' is not a primary.");
  VLmiBlock argument(1);
  if (openArgument() || evalLmiExpression(argument)) return 1;
  if (VLmiBlock::Sym(argument, block)) return 1;
  return closeArgument();
}

// In place on the argument's private constant; negative elements stay.
int lmiPrimarySqrt(VLmiBlock& block) {
  if (readConstantArgument(kSqrt, block)) return 1;
  if (VLmiBlock::Sqrt(block)) reportWarning("Matrix contains negative elements which were ignored.");
  return closeArgument();
}

int lmiPrimaryParen(VLmiBlock& block) {
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  if (evalLmiExpression(block)) return 1;
  return closeArgument();
}

// Reads the next separator of a literal: a row end, a comma, or nothing
// (a blank or a sign begins the next element).
int readLiteralSeparator(MatrixLiteralBuilder& builder) {
  skipSpaces();
  const int kind = peekKind(0);
  if (kind == kSemicolon || kind == kEol) {
    if (takeLiteralRowEnd()) return 1;
    if (builder.EndRow()) return fail(kColumnsDiffer);
  } else if (kind == kComma) {
    expectToken(kComma);
    skipSpaces();
  }
  return 0;
}

int addLiteralElement(MatrixLiteralBuilder& builder, const VLmiBlock& element) {
  if (!element.IsConstant()) return fail("Can not pack variables into matrices. Try \"block\".");
  switch (builder.Add(lmiConstantPart(element))) {
    case kLiteralAdded: return 0;
    case kLiteralTooWide: return fail(kColumnsDiffer);
    case kLiteralRowMismatch: return fail("Cannot concatenate matrices with different row sizes.");
    default: return reportLiteralFailure(kLiteralTooLarge);
  }
}

// Everything after "[" up to and including "]", with insideBrackets set.
int readLiteral(VLmiBlock& block) {
  if (skipLiteralLineEnds()) return 1;
  MatrixLiteralBuilder builder;
  while (peekKind(0) != kRightBracket) {
    VLmiBlock element(1);
    if (evalLmiExpression(element) || addLiteralElement(builder, element)) return 1;
    if (readLiteralSeparator(builder)) return 1;
  }
  expectToken(kRightBracket);
  Value assembled;
  if (builder.Assemble(assembled)) return fail("Can not concatenate matrices with different column sizes.");
  setLmiConstant(block, assembled);
  return 0;
}

// A literal of constants; a block matrix of affine blocks is the `block`
// form of the `lmi` statement.
int lmiPrimaryMatrixLiteral(VLmiBlock& block) {
  expectToken(kLeftBracket);
  skipSpaces();
  const int saved = insideBrackets;
  insideBrackets = 1;
  const int status = readLiteral(block);
  insideBrackets = saved;
  return status;
}

int lmiPrimaryEye(VLmiBlock& block) {
  Value v;
  if (primaryEye(v)) return 1;
  setLmiConstant(block, v);
  return 0;
}

int lmiPrimaryFilled(int keyword, double fill, VLmiBlock& block) {
  expectToken(keyword);
  Value v;
  if (makeFilled(v, fill)) return 1;
  setLmiConstant(block, v);
  return 0;
}

int lmiPrimaryZeros(VLmiBlock& block) { return lmiPrimaryFilled(kZeros, 0.0, block); }
int lmiPrimaryOnes(VLmiBlock& block) { return lmiPrimaryFilled(kOnes, 1.0, block); }

// The unit column e_i of length n (the scalar 1 for n = 1).
Value unitColumn(int n, int i) {
  if (n == 1) return Value(1.0);
  GenMatrixD e(n, 1, 0.0, 0);
  e(i, 0) = 1.0;
  return Value(e);
}

// The sum of the diagonal selections (e_i' B) e_i of a block with variable
// terms: each term of B contributes one term per diagonal entry.
int traceOfTerms(const VLmiBlock& argument, VLmiBlock& block) {
  for (int i = 0; i < argument.Rows(); ++i) {
    const VLmiBlock e = constantBlock(unitColumn(argument.Rows(), i));
    VLmiBlock row, entry;
    if (VLmiBlock::Multiply(VLmiBlock::Transpose(e), argument, row) || VLmiBlock::Multiply(row, e, entry) ||
        VLmiBlock::Add(block, entry, block))
      return 1;
  }
  return 0;
}

// A constant's diagonal summed in order from 0.0, as the selections would
// sum it, without multiplying the other elements by 0 (which would turn an
// infinite element into a NaN).
void traceOfConstant(const VLmiBlock& argument, VLmiBlock& block) {
  const Value k = lmiConstantPart(argument);
  double sum = 0.0;
  if (k.IsScalar()) sum = *k.Scalar();
  if (k.IsMatrix()) {
    for (int i = 0; i < k.Rows(); ++i) sum += (*k.Matrix())(i, i);
  }
  setLmiConstant(block, Value(sum));
}

int lmiPrimaryTrace(VLmiBlock& block) {
  VLmiBlock argument(1);
  if (expectToken(kTrace) || openArgument() || evalLmiExpression(argument)) return 1;
  if (argument.Rows() != argument.Cols()) return fail("Argument of trace must be a square matrix.");
  if (argument.IsConstant())
    traceOfConstant(argument, block);
  else if (traceOfTerms(argument, block))
    return 1;
  return closeArgument();
}

int lmiPrimarySize(VLmiBlock& block) {
  Value v;
  if (primarySize(v)) return 1;
  setLmiConstant(block, v);
  return 0;
}

int lmiPrimaryInv(VLmiBlock& block) {
  VLmiBlock argument(1);
  if (readConstantArgument(kInv, argument)) return 1;
  const Value k = lmiConstantPart(argument);
  if (k.Rows() != k.Cols()) return fail("Can not invert nonsquare matrices!");
  Value inverse;
  if (invValue(k, inverse)) return fail("'inv' failed. Matrix may be ill conditionated or singular.");
  setLmiConstant(block, inverse);
  if (closeArgument()) return 1;
  resultName = kAnsName;
  return 0;
}

// Validates the reserved parameters right after the "(", before anything
// else of the argument is read, and takes its tolerance from the validated
// rank_eps.
int lmiPrimaryNull(VLmiBlock& block) {
  if (expectToken(kNull) || expectToken(kLeftParen) || checkReservedParameters()) return 1;
  skipSpaces();
  VLmiBlock argument(1);
  if (evalLmiExpression(argument)) return 1;
  if (!argument.IsConstant()) return fail(kNotLinear);
  if (!nullValueFits(lmiConstantPart(argument))) return fail("Invalid size.");
  Value basis;
  if (nullValue(lmiConstantPart(argument), basis, solverSettings.rank_eps)) return fail("'svd' failed.");
  setLmiConstant(block, basis);
  if (closeArgument()) return 1;
  resultName = kAnsName;
  return 0;
}

int lmiPrimaryFind(VLmiBlock& block) {
  if (readConstantArgument(kFind, block)) return 1;
  Value found;
  findValue(lmiConstantPart(block), found);
  setLmiConstant(block, found);
  return closeArgument();
}

// ---- entry points ----------------------------------------------------------

// Every run of blanks becomes one blank.
std::string collapseBlanks(const std::string& text) {
  std::string collapsed;
  collapsed.reserve(text.size());
  for (const char c : text) {
    if (c != ' ' || collapsed.empty() || collapsed.back() != ' ') collapsed += c;
  }
  return collapsed;
}

}  // namespace

const LmiPrimaryHandler LmiTermPrimaryTable[] = {
    // nothing, variable, parameter, name, lmi, lme, obj, var, eval, who
    lmiPrimaryNotAPrimary, lmiPrimaryVariable, lmiPrimaryParameter, lmiPrimaryNewName, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary,
    // whos, build, solve, feas, mask, clear, format, compact, verbose, import
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    // export, inline, on, off, pause, exec, echo, help, home, cd
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    // pwd, dir, cputime, space, literal, type, ~, ==, ~=, &
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNumber,
    lmiPrimarySym, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    // |, <, <=, >, >=, =, +, -, *, backslash
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    // /, ^, sqrt, (, ), [, ], ",", ;, :
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimarySqrt, lmiPrimaryParen, lmiPrimaryNotAPrimary,
    lmiPrimaryMatrixLiteral, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary,
    // ', eye, ones, zeros, trace, block, size, inv, eig, eigvec
    lmiPrimaryNotAPrimary, lmiPrimaryEye, lmiPrimaryOnes, lmiPrimaryZeros, lmiPrimaryTrace,
    lmiPrimaryNotAPrimary, lmiPrimarySize, lmiPrimaryInv, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    // null, chol, det, for, if, else, break, while, find, eol
    lmiPrimaryNull, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary,
    lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryNotAPrimary, lmiPrimaryFind, lmiPrimaryEol,
    // end, unknown
    lmiPrimaryNotAPrimary, lmiPrimaryInvalidToken};
static_assert(std::size(LmiTermPrimaryTable) == kTokenKindCount, "one handler for every token kind");

int evalLmiRecording(VLmiBlock& block, std::string& text) {
  const int outerRecording = recordingText;
  std::ostream* const outerRecorder = textRecorder;
  std::ostringstream recorder;
  textRecorder = &recorder;
  recordingText = 1;
  const int status = evalLmiExpression(block);
  text = collapseBlanks(recorder.str());
  textRecorder = outerRecorder;
  recordingText = outerRecording;
  if (outerRecording && outerRecorder != nullptr) *outerRecorder << text;
  return status;
}

int evalLmiText(VLmiBlock& block, const std::string& text) {
  InputState saved;
  saved.Save();
  statementText.clear();
  columnNumber = 0;
  --lineNumber;
  // A stored text is a whole expression of its own: no outer recording
  // takes its tokens, and no outer literal's bracket rule applies to it.
  recordingText = 0;
  insideBrackets = 0;
  std::istringstream stream(text + ";");
  lineInput = &stream;
  const int status = evalLmiExpression(block);
  saved.Restore();
  return status;
}

// Shares the matrix evaluator's nesting count: an affine expression and the
// matrix subscripts inside it are one recursion.
int evalLmiExpression(VLmiBlock& block) {
  if (ExpressionNesting::Full()) return fail(kTooManyNestedExpressions);
  ExpressionNesting level;
  if (evalLmiOr(block)) return 1;
  // As an expression of the matrix evaluator: dropped by a Ctrl-C, no block.
  return inputAbandoned();
}

int evalLmiOr(VLmiBlock& block) { return evalLevel(block, evalLmiAnd, kOrOperators, orCheck); }

int evalLmiAnd(VLmiBlock& block) { return evalLevel(block, evalLmiRelational, kAndOperators, andCheck); }

int evalLmiRelational(VLmiBlock& block) {
  return evalLevel(block, evalLmiEquality, kRelationalOperators, relationalCheck);
}

int evalLmiEquality(VLmiBlock& block) {
  return evalLevel(block, evalLmiRange, kEqualityOperators, equalityCheck);
}

// The count is the tolerant one of the matrix language's ranges; a range
// without elements is the scalar 0.
int evalLmiRange(VLmiBlock& block) {
  if (evalLmiAdditive(block)) return 1;
  if (!isScalarBlock(block) || peekNonSpace() != kColon) return 0;
  takeOperator(kColon);
  const double start = *lmiConstantPart(block).Scalar();
  double step = 1.0;
  double end;
  if (evalRangeBound(end, "Expected scalar.")) return 1;
  if (peekNonSpace() == kColon) {
    takeOperator(kColon);
    step = end;
    if (evalRangeBound(end, "Expected scalar expression.")) return 1;
  }
  Value range(0.0);
  if (rangeElementCount(start, step, end) != 0 && makeRange(start, step, end, range)) return 1;
  setLmiConstant(block, range);
  return 0;
}

// The bracket rule holds at every additive level while a literal is read,
// within parentheses and arguments too.
int evalLmiAdditive(VLmiBlock& block) {
  if (evalLmiMultiplicative(block)) return 1;
  for (;;) {
    const LmiOperator* op = findOperator(peekNonSpace(), kAdditiveOperators);
    if (op == nullptr) return 0;
    skipSpaces();
    if (insideBrackets && peekKind(1) != kSpace) return 0;
    expectToken(op->kind);
    skipSpaces();
    VLmiBlock right(1);
    if (evalLmiMultiplicative(right)) return 1;
    if (applyOperator(*op, additiveCheck, block, right)) return 1;
  }
}

int evalLmiMultiplicative(VLmiBlock& block) {
  return evalLevel(block, evalLmiPower, kMultiplicativeOperators, multiplicativeCheck);
}

int evalLmiPower(VLmiBlock& block) { return evalLevel(block, evalLmiUnarySign, kPowerOperators, powerCheck); }

int evalLmiUnarySign(VLmiBlock& block) {
  const int kind = peekKind(0);
  if (kind != kMinus && kind != kPlus) return evalLmiNot(block);
  expectToken(kind);
  skipSpacesAfterSign();
  if (kind == kPlus) return evalLmiNot(block);
  VLmiBlock operand(1);
  if (evalLmiNot(operand)) return 1;
  block = VLmiBlock::Negate(operand);
  return 0;
}

int evalLmiNot(VLmiBlock& block) {
  if (peekKind(0) != kNot) return evalLmiPostfix(block);
  expectToken(kNot);
  skipSpaces();
  if (evalLmiPostfix(block)) return 1;
  if (!block.IsConstant()) return fail(kNotLinear);
  block = lmiNot(block);
  resultName = kAnsName;
  return 0;
}

int evalLmiPostfix(VLmiBlock& block) {
  if (LmiTermPrimaryTable[peekKind(0)](block)) return 1;
  if (peekKind(0) == kQuote) {
    expectToken(kQuote);
    block = VLmiBlock::Transpose(block);
  }
  return 0;
}

VLmiBlock lmiOr(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(orValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiAnd(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(andValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareLt(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(ltValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareLe(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(leValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareGt(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(gtValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareGe(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(geValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareEq(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(eqValues(lmiConstantPart(a), lmiConstantPart(b)));
}
VLmiBlock lmiCompareNe(const VLmiBlock& a, const VLmiBlock& b) {
  return constantBlock(neValues(lmiConstantPart(a), lmiConstantPart(b)));
}

// notValue works in place: the constant gets private elements first.
VLmiBlock lmiNot(const VLmiBlock& a) {
  Value v;
  v.DeepCopy(lmiConstantPart(a));
  return constantBlock(notValue(v));
}

int applyLmiSubscript(Value& v) {
  SharedArray<int> indices;
  int rows, cols, mode;
  if (parseSubscript(v, indices, rows, cols, mode)) return 1;
  return readSubscript(v, indices, rows, cols, mode);
}
