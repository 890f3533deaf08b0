#include "lmi_evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "affine_test_support.h"
#include "lexer.h"
#include "line_input.h"
#include "sum_chain.h"

namespace {

// Scripts read through readLine and the lexer, with the variables of the
// affine fixture, its constants as parameters and a few inline parameters.
class LmiEvaluatorTest : public AffineTest {
 protected:
  void SetUp() override {
    AffineTest::SetUp();
    modeFlags = kModeScript;
    inputFileName = "t.lmi";
    inputStream = &input;
    lineNumber = 0;
    recordingText = 0;
    textRecorder = nullptr;
    insideBrackets = 0;
    tokenQueue.Clear();
    inlineNames.Clear();
    parameterTable.Clear();
    solverSettings = SolverSettings();
    seedReservedParameters();
    setParameter("A", A);
    setParameter("B", B);
    setParameter("C", C);
    setParameter("M", M);
    setParameter("S", S);
    setParameter("P", matrixValue(2, 2, {1, 2, 3, 4}));
    setParameter("q", Value(3.0));
    setParameter("my p", Value(matrixValue(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3})));  // quoted names
    setParameter("eye", Value(4.0));
    setInline("p", 2.0);
    setInline("h", 0.5);
    setInline("r", 12.5);
    setInline("g", 3e9);
    setInline("n", -2.0);
    setInline("k", -0.25);
    setInline("z", std::numeric_limits<double>::quiet_NaN());
    redraw();
  }
  void TearDown() override {
    inputStream = &std::cin;
    tokenQueue.Clear();
    inlineNames.Clear();
    parameterTable.Clear();
    insideBrackets = 0;
    recordingText = 0;
    textRecorder = nullptr;
    releaseLineBuffer();
    AffineTest::TearDown();
  }

  static void setParameter(const std::string& name, const Value& v) {
    parameterTable.Remove(name);
    parameterTable.Insert(name, v);
  }
  static void setInline(const std::string& name, double x) {
    setParameter(name, Value(x));
    int position;
    if (!findInlineName(name, position)) inlineNames.PushBack(name);
  }

  // Makes source (one or more lines) the script and reads its first line.
  void feed(const std::string& source) {
    input.str(source + "\n");
    input.clear();
    tokenQueue.Clear();
    statementText.clear();
    lineNumber = 0;
    ASSERT_EQ(readLine(), 1);
    out.str("");
  }

  // Evaluates and records the expression at the start of source.
  int record(const std::string& source) {
    feed(source);
    block = VLmiBlock(1);
    text.clear();
    return evalLmiRecording(block, text);
  }

  // The stored text evaluated again.
  int reread(const std::string& stored, VLmiBlock& again) {
    again = VLmiBlock(1);
    return evalLmiText(again, stored);
  }

  Value eval(const VLmiBlock& b) { return b.Eval(variableTable); }

  std::istringstream input;
  VLmiBlock block;
  std::string text;
};

std::vector<std::string> termNames(const VLmiBlock& b) {
  std::vector<std::string> names;
  for (int i = 0; i < b.NumTerms(); ++i) names.push_back(b[i].name);
  return names;
}

// ---- recorded texts ----------------------------------------------------------

struct TextCase {
  const char* source;
  const char* text;
};

TEST_F(LmiEvaluatorTest, RecordedTextHasOneBlankAroundOperatorsAndAfterOpenings) {
  const std::vector<TextCase> cases = {
      {"A*X*A'+W", "A * X * A' + W"},
      {"A * X   *A' +W", "A * X * A' + W"},  // blanks typed or not: one text
      {"sym(X)", "sym( X )"},
      {"P(1,2)*x", "P( 1 , 2 ) * x"},
      {"-X+ -x", "- X + - x"},
      {"~[0 1]", "~ [ 0 1 ]"},
      {"(X)'", "( X )'"},
      {"1:2:5", "1 : 2 : 5"},
      {"[1,2;3,4]", "[ 1 , 2 ; 3 , 4 ]"},
      {"X + q", "X + q"},                      // not on the inline list: its name
      {"p*X", "2 * X"},                        // inline: its number
      {"h*X", "5.000000000000e-01 * X"},
      {"X/r", "X / 1.250000000000e01"},
      {"g*x", "3.000000000000e09 * x"},
      {"-n*X", "- (-2) * X"},                  // a negative number in parentheses
      {"X*k", "X * (-2.500000000000e-01)"},
      {"z*x", "(0/0) * x"},
      {"[1 -2]", "[ 1 -2 ]"},                  // a glued sign stays glued in brackets
      {"[1 - 2]", "[ 1 - 2 ]"},
      {"[1 -n]", "[ 1 -(-2) ]"},
      {"[1 2;\n3 4]", "[ 1 2 ; 3 4 ]"},        // a row end over a line end is one ";"
      {"[1 2\n3 4]", "[ 1 2 ; 3 4 ]"},
      {"[\n1 2\n\n  3 4\n]", "[ 1 2 ; 3 4 ; ]"},
      {"size([1 -2])", "size( [ 1 -2 ] )"},    // the matrix evaluator's literals too
      {"size([1\n2])", "size( [ 1 ; 2 ] )"},
      {"\"my p\"*X - \"eye\"*X", "\"my p\" * X - \"eye\" * X"},  // quoted as they must be
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(0, record(c.source)) << out.str();
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(kEol, peekKind(0));  // the whole expression was taken
    EXPECT_EQ(0, recordingText);
    EXPECT_EQ(nullptr, textRecorder);
  }
}

// The texts that build and eval read again give the block they were
// recorded from: same terms, same size, the same value at any point.
TEST_F(LmiEvaluatorTest, RecordedTextsEvaluateAgainToTheSameBlock) {
  const char* const sources[] = {
      "A'*W*A - X + x",
      "-p*X + h*X' - r*sym(X) + g*x",
      "-n*X + n*x - k",
      "X*k + z*x",
      "[1 -2; -3 4]*W - [p -n]'*[h r]",
      "[1 -n; -k 4]*W",
      "[1 2;\n3 4]*W",
      "[\n1, 2\n\n3 -4\n]*W + W'",
      "-[1 2]*V + x*[1 p]*A",
      "B\\X*C + (C'*X/B)'",
      "trace(X)*eye(2) + trace([1 2; 3 4]) - W",
      "(1:3)*V' + (0:0.5:1)*V'",
      "2^-1*X + -2^2*X + (1 < 0 == 0)*X",
      "zeros(3) - X + ones(3,3)*Y - eye(3)*x",
      "P(2,:)*V + P(:,2)'*V + size(V)*[1 0 0; 0 1 0]*x",
      "size([1 -2])*P + sqrt([4 9])*P",
      "\"my p\"*X + \"eye\"*X",
      "inv(M)*V + null([1 1])'*[1; 1]*x",
  };
  for (const char* source : sources) {
    SCOPED_TRACE(source);
    ASSERT_EQ(0, record(source)) << out.str();
    VLmiBlock again;
    ASSERT_EQ(0, reread(text, again)) << text << "\n" << out.str();
    EXPECT_EQ(block.Rows(), again.Rows());
    EXPECT_EQ(block.Cols(), again.Cols());
    EXPECT_EQ(termNames(block), termNames(again));
    for (int draw = 0; draw < 3; ++draw) {
      redraw();
      EXPECT_TRUE(sameBits(eval(block), eval(again))) << text;
    }
  }
}

TEST_F(LmiEvaluatorTest, InlineParametersKeepTheirNumberInTheStoredText) {
  ASSERT_EQ(0, record("p*X + q*X"));
  EXPECT_EQ("2 * X + q * X", text);
  setParameter("p", Value(5.0));
  setParameter("q", Value(7.0));
  VLmiBlock again;
  ASSERT_EQ(0, reread(text, again));
  const Value x = var("X");
  EXPECT_TRUE(valuesNear(eval(again), multiplyValues(Value(2.0 + 7.0), x)));
}

TEST_F(LmiEvaluatorTest, NestedRecordingAppendsToTheOuterText) {
  std::ostringstream outer;
  outer << "outer:";
  textRecorder = &outer;
  recordingText = 1;
  feed("X  +  1");
  ASSERT_EQ(0, evalLmiRecording(block, text));
  EXPECT_EQ("X + 1", text);
  EXPECT_EQ("outer:X + 1", outer.str());
  EXPECT_EQ(1, recordingText);
  EXPECT_EQ(&outer, textRecorder);
}

TEST_F(LmiEvaluatorTest, FailedRecordingKeepsTheTextUpToTheError) {
  EXPECT_EQ(1, record("X + X*X"));
  EXPECT_EQ("X + X * X", text);
  EXPECT_EQ(std::vector<std::string>{"Not a linear operation."}, messages());
  EXPECT_EQ(0, recordingText);
  EXPECT_EQ(nullptr, textRecorder);
}

// ---- the stored text's evaluation leaves the input as it was ------------------

class StoredTextTest : public LmiEvaluatorTest {
 protected:
  // A statement half read: "X" taken, a blank and "+ 1 ..." pending.
  void SetUp() override {
    LmiEvaluatorTest::SetUp();
    feed("X + 1, rest");
    expectToken(kVariable);
    peekKind(3);
    beforeQueue = queued();
    beforeStatement = statementText;
    beforeInput = lineInput;
    beforeBuffer = lineBuffer;
    beforeColumn = columnNumber;
    beforeLine = lineNumber;
  }

  static std::vector<std::string> queued() {
    std::vector<std::string> tokens;
    for (ListNode<Token>* node = tokenQueue.NodeAt(0); node != nullptr; node = node->next)
      tokens.push_back(std::string(TokenNames[node->value.kind]) + ":" + node->value.text);
    return tokens;
  }

  void expectInputRestored() {
    EXPECT_EQ(beforeQueue, queued());
    EXPECT_EQ(beforeStatement, statementText);
    EXPECT_EQ(beforeInput, lineInput);
    EXPECT_EQ(beforeBuffer, lineBuffer);
    EXPECT_EQ(beforeColumn, columnNumber);
    EXPECT_EQ(beforeLine, lineNumber);
    // The rest of the statement reads on where it stopped.
    skipSpaces();
    std::string rest;
    for (int kind = peekKind(0); kind != kEol; kind = peekKind(0)) {
      std::string token;
      expectTokenText(kind, token);
      rest += token;
    }
    EXPECT_EQ("+1,rest", rest);
  }

  std::vector<std::string> beforeQueue;
  std::string beforeStatement;
  std::istream* beforeInput = nullptr;
  std::istringstream* beforeBuffer = nullptr;
  int beforeColumn = 0;
  int beforeLine = 0;
};

TEST_F(StoredTextTest, SuccessRestoresTheInput) {
  VLmiBlock again;
  EXPECT_EQ(0, reread("A * X * A'", again));
  EXPECT_EQ(2, again.Rows());
  EXPECT_EQ("", out.str());
  expectInputRestored();
}

TEST_F(StoredTextTest, FailureIsReportedWithinTheStoredTextAndRestoresTheInput) {
  lineNumber = 7;
  beforeLine = 7;
  VLmiBlock again;
  EXPECT_EQ(1, reread("X + [ 1 2 3 ] * 2", again));
  // The header names the line before the current one; the echo is the
  // stored text up to the point scanned (the ";" that ends it, looked at
  // after the last operand), the caret under that point.
  const std::string expected =
      "#> Error in \"t.lmi\" (line 6) at:\n"
      "X + [ 1 2 3 ] * 2;\n"
      "-----------------^\n"
      "#> Can not add or subtract LMI with different sizes!\n";
  EXPECT_EQ(expected, out.str());
  expectInputRestored();
}

TEST_F(StoredTextTest, TextIsNeitherRecordedOutsideNorReadUnderAnOuterBracketRule) {
  std::ostringstream outer;
  textRecorder = &outer;
  recordingText = 1;
  insideBrackets = 1;
  VLmiBlock again;
  EXPECT_EQ(0, reread("X - [ 1 -2 3 ; 3 4 5 ; 6 7 8 ]'", again));
  EXPECT_EQ(3, again.Rows());
  EXPECT_EQ("", outer.str());
  EXPECT_EQ(1, recordingText);
  EXPECT_EQ(1, insideBrackets);
  recordingText = 0;
  textRecorder = nullptr;
  insideBrackets = 0;
  expectInputRestored();
}

// ---- values -------------------------------------------------------------------

struct ValueCase {
  const char* source;
  Value expected;
};

TEST_F(LmiEvaluatorTest, ConstantExpressions) {
  setParameter("big", Value(std::numeric_limits<double>::infinity()));
  const std::vector<ValueCase> cases = {
      {"1:3", matrixValue(1, 3, {1, 2, 3})},
      {"1:0.5:2", matrixValue(1, 3, {1, 1.5, 2})},
      {"0:0.1:0.3", matrixValue(1, 4, {0, 0.1, 0.2, 0.30000000000000004})},  // the tolerant count
      {"3:1", Value(0.0)},
      {"5:-2:1", matrixValue(1, 3, {5, 3, 1})},
      {"2:3:3", Value(2.0)},
      {"[1 2] < 3", matrixValue(1, 2, {1, 1})},
      {"[1 2] >= 2", matrixValue(1, 2, {0, 1})},
      {"[1 2] == [1 3]", matrixValue(1, 2, {1, 0})},
      {"[1 0] | [0 0]", matrixValue(1, 2, {1, 0})},
      {"[1 0] & 1", matrixValue(1, 2, {1, 0})},
      {"1 < 0 == 0", Value(0.0)},  // "==" binds tighter
      {"~[0 2]", matrixValue(1, 2, {1, 0})},
      {"-2^2", Value(4.0)},
      {"2^3^2", Value(64.0)},
      {"2^-1", Value(0.5)},
      {"[1 -2]", matrixValue(1, 2, {1, -2})},
      {"[1-2]", matrixValue(1, 2, {1, -2})},
      {"[1 - 2]", Value(-1.0)},
      {"[1 2]'", matrixValue(2, 1, {1, 2})},
      {"[1 2, ]", matrixValue(1, 2, {1, 2})},
      {"[]", Value()},
      {"[1 trace(P)]", matrixValue(1, 2, {1, 5})},
      {"trace([1 big; 3 4])", Value(5.0)},
      {"trace(7)", Value(7.0)},
      {"trace([])", Value(0.0)},
      {"inv([2 0; 0 4])", matrixValue(2, 2, {0.5, 0, 0, 0.25})},
      {"find([0 3 0 1])", matrixValue(1, 2, {2, 4})},
      {"size(V)", matrixValue(1, 2, {2, 3})},
      {"size(V, 2)", Value(3.0)},
      {"eye(2)", matrixValue(2, 2, {1, 0, 0, 1})},
      {"zeros(1, 2)", matrixValue(1, 2, {0, 0})},
      {"ones([2 1])", matrixValue(2, 1, {1, 1})},
      {"P(2)", Value(3.0)},
      {"P(:, 1)'", matrixValue(1, 2, {1, 3})},
      {"[] + 1", Value()},
      {"p + h", Value(2.5)},
      {"(1 + 2)*3", Value(9.0)},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.source);
    ASSERT_EQ(0, record(c.source)) << out.str();
    EXPECT_EQ(1, block.NumTerms());
    EXPECT_TRUE(valuesNear(lmiConstantPart(block), c.expected));
    EXPECT_EQ(c.expected.Rows(), block.Rows());
    EXPECT_EQ(c.expected.Cols(), block.Cols());
    EXPECT_EQ(kEol, peekKind(0));
  }
}

TEST_F(LmiEvaluatorTest, SquareRootWarnsAndSucceedsWithoutChangingTheParameter) {
  setParameter("v", matrixValue(1, 2, {4, -1}));
  ASSERT_EQ(0, record("sqrt(v)"));
  EXPECT_TRUE(valuesNear(lmiConstantPart(block), matrixValue(1, 2, {2, -1})));
  EXPECT_NE(std::string::npos,
            out.str().find("#> Warning at line 1: Matrix contains negative elements which were ignored.\n"));
  EXPECT_TRUE(valuesNear(parameterTable.Lookup("v"), matrixValue(1, 2, {4, -1})));
}

TEST_F(LmiEvaluatorTest, InlineParameterTakesNoSubscript) {
  ASSERT_EQ(0, record("q(1)"));
  EXPECT_TRUE(valuesNear(lmiConstantPart(block), Value(3.0)));
  EXPECT_EQ(kEol, peekKind(0));
  ASSERT_EQ(0, record("p(1)"));
  EXPECT_TRUE(valuesNear(lmiConstantPart(block), Value(2.0)));
  EXPECT_EQ(kLeftParen, peekKind(0));  // left to the caller
}

TEST_F(LmiEvaluatorTest, TransposeTakesOneQuote) {
  ASSERT_EQ(0, record("V''"));
  EXPECT_EQ(3, block.Rows());
  EXPECT_EQ(2, block.Cols());
  EXPECT_EQ(kQuote, peekKind(0));
  ASSERT_EQ(0, record("X:3"));  // a ":" after a variable is the caller's
  EXPECT_EQ(kColon, peekKind(0));
}

// trace of a variable block: one term per diagonal entry of each term.
TEST_F(LmiEvaluatorTest, TraceOfVariableTerms) {
  ASSERT_EQ(0, record("trace(X)"));
  EXPECT_EQ(1, block.Rows());
  EXPECT_EQ(1, block.Cols());
  EXPECT_EQ(4, block.NumTerms());
  ASSERT_EQ(0, record("trace(A*sym(X)*A' + W) + 1"));
  EXPECT_EQ(1, block.Rows());
  for (int draw = 0; draw < 3; ++draw) {
    redraw();
    const Value x = var("X");
    const Value inner = addValues(multiplyValues(multiplyValues(A, addValues(x, transposeValue(x))), transposeValue(A)),
                                  var("W"));
    const GenMatrixD m = asMatrix(inner);
    EXPECT_TRUE(valuesNear(eval(block), Value(m(0, 0) + m(1, 1) + 1.0)));
  }
}

// ---- cost of sums ----------------------------------------------------------------

// The terms copied or moved while a stored text is evaluated again.
long long termCopiesToEvaluate(const std::string& text, VLmiBlock& block) {
  const long long before = VMatTerm::CopyCount();
  block = VLmiBlock(1);
  EXPECT_EQ(0, evalLmiText(block, text)) << text.substr(0, 40);
  return VMatTerm::CopyCount() - before;
}

// A chain of sums handles each of its terms a constant number of times: twice
// the operands cost about twice the term copies, not four times.
TEST_F(LmiEvaluatorTest, SumChainsCopyTermsInProportionToTheirLength) {
  struct Case {
    const char* label;
    std::function<std::string(int)> text;
    int termsPerOperand;  // variable terms each operand adds
  };
  const std::vector<Case> cases = {
      {"X + X + ...", [](int n) { return sumChain("X", "X", "+", n); }, 1},
      {"X - X - ...", [](int n) { return sumChain("X", "X", "-", n); }, 1},
      {"X - 2 * Y' + ...", [](int n) { return sumChain("X", "2 * Y'", "-+", n); }, 1},
      // Scalars spread over a block that is not square.
      {"V + t - t ...", [](int n) { return sumChain("V", "t", "+-", n); }, 1},
      {"x + sym( X ) ...", [](int n) { return sumChain("x", "sym( X )", "+-", n); }, 1},
      {"A * ( X + ... ) * C", [](int n) { return "A * ( " + sumChain("X", "X", "+-", n) + " ) * C"; }, 1},
      {"( x + ... ) + ( x - ... )",
       [](int n) { return "( " + sumChain("x", "x", "+", n / 2) + " ) + ( " + sumChain("x", "x", "-", n / 2) + " )"; },
       1},
  };
  for (const Case& c : cases) {
    VLmiBlock block;
    const long long small = termCopiesToEvaluate(c.text(1000), block);
    EXPECT_EQ(1 + 1000 * c.termsPerOperand, block.NumTerms()) << c.label;
    const long long large = termCopiesToEvaluate(c.text(2000), block);
    EXPECT_EQ(1 + 2000 * c.termsPerOperand, block.NumTerms()) << c.label;
    EXPECT_LT(large, 2.5 * small) << c.label << ": " << small << " copies, then " << large;
  }
}

// trace of an n x n block adds n diagonal selections, each at a constant
// cost in terms.
TEST_F(LmiEvaluatorTest, TraceCopiesTermsInProportionToTheSize) {
  const int sizes[] = {200, 400};
  long long copies[2];
  for (int k = 0; k < 2; ++k) {
    variableTable.Remove("T");
    declare("T", kGen, sizes[k], sizes[k]);
    VLmiBlock block;
    copies[k] = termCopiesToEvaluate("trace( T - T )", block);
    EXPECT_EQ(1 + 2 * sizes[k], block.NumTerms()) << sizes[k];
  }
  EXPECT_LT(copies[1], 2.5 * copies[0]) << copies[0] << " copies, then " << copies[1];
}

// ---- errors ---------------------------------------------------------------------

struct ErrorCase {
  const char* source;
  const char* message;
};

TEST_F(LmiEvaluatorTest, EachErrorIsReportedOnceAndFails) {
  declare("E", kGen, 0, 0);
  const char* const kNotLinear = "Not a linear operation.";
  const char* const kAddSizes = "Can not add or subtract LMI with different sizes!";
  const std::vector<ErrorCase> cases = {
      {"X*X", kNotLinear},
      {"2/X", kNotLinear},
      {"X\\2", kNotLinear},
      {"X | 1", kNotLinear},
      {"1 & X", kNotLinear},
      {"X < 1", kNotLinear},
      {"X == 1", kNotLinear},
      {"X^2", kNotLinear},
      {"2^x", kNotLinear},
      {"~X", kNotLinear},
      {"sqrt(X)", kNotLinear},
      {"inv(X)", kNotLinear},
      {"find(X)", kNotLinear},
      {"null(X)", kNotLinear},
      {"X + [1 2 3]", kAddSizes},
      {"V - X", kAddSizes},
      {"x + []", kAddSizes},
      {"A*V", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      {"x*[]", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      {"[]*x", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      {"x/[]", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      {"[]\\x", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      {"x*P([])", "Can not multiply or divide LMI by matrices with different number of collumns/lines!"},
      // Blocks whose value could not be held, and null's work matrix for
      // 65536 columns: more elements than an int counts.
      {"ones(65536, 1)*x*ones(1, 65536)", "Invalid size."},
      {"ones(65536, 1)*ones(1, 65536)", "Invalid size."},
      {"x + ones(65536, 1)*ones(1, 65536)", "Invalid size."},
      {"null(ones(1, 65536))", "Invalid size."},
      {"[1 2] | [1 2 3]", "Can not perform '|' on matrices with different sizes!"},
      {"[1 2] & [1 2 3]", "Can not perform '&' on matrices with different sizes!"},
      {"[1 2] < [1 2 3]", "Can not compare matrices with different sizes!"},
      {"[1 2] == [1 2 3]", "Cannot compare matrices with different sizes!"},
      {"[1 2]^2", "Not yet implemented function."},
      {"2^[1 2]", "Undefined operation: Matrix ^ Matrix"},
      {"2^[]", "Undefined operation: Matrix ^ Matrix"},
      {"[1 2]^[1 2]", "Not implemented operation."},
      {"1:[2 3]", "Expected scalar."},
      {"1:1:[2 3]", "Expected scalar expression."},
      {"- -2", "'-' is not a primary."},
      {"~~1", "'~' is not a primary."},
      {"trace([1 2])", "Argument of trace must be a square matrix."},
      {"inv([1 2])", "Can not invert nonsquare matrices!"},
      {"inv([1 2; 2 4])", "'inv' failed. Matrix may be ill conditionated or singular."},
      {"X/C", "Can not invert nonsquare matrices!"},
      {"X/S", "'inv' failed. Matrix may be ill conditionated or singular."},
      {"S\\X", "'inv' failed. Matrix may be ill conditionated or singular."},
      {"X/0", "'inv' failed. Matrix may be ill conditionated or singular."},
      {"sym(V)", "VLmiBlock::Sym(): Symmetrizing a nonsquare block"},
      {"eig(A)", "'eig' is not a primary."},
      {"det(A)", "'det' is not a primary."},
      {"diag(A)", "'diag' is not a primary."},
      {"scl(x)", "'scl' is not a primary."},
      {"foo", "Unknown command, variable or parameter 'foo'."},
      {"[X 1]", "Can not pack variables into matrices. Try \"block\"."},
      {"[1; 2 3]", "Cannot concatenate matrices with different column sizes."},
      {"[1 2; 3\n4 5]", "Cannot concatenate matrices with different column sizes."},
      {"[1 2; 3]", "Can not concatenate matrices with different column sizes."},
      {"[[1; 2] 3]", "Cannot concatenate matrices with different row sizes."},
      {"[(1 -2)]", "Expected )."},
      {"X +", "Primary expected."},
      {"sym X", "Expected (."},
      {"sqrt (4)", "Expected (."},
      {"trace(X", "Expected )."},
      {"$", "'$' is not a valid token!"},
      {"E + 1", "Variable 'E' is empty and can not enter a constraint."},
      {"eye", "Expected '('."},
      {"zeros(0)", "Matrix size must be greater than one."},
      {"P(3, 1)", "Subscript out of range."},
      {"[1 2", "End of file reached inside a matrix definition."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.source);
    EXPECT_EQ(1, record(c.source));
    EXPECT_EQ(std::vector<std::string>{c.message}, messages());
    EXPECT_EQ(0, insideBrackets);
    EXPECT_EQ("", errText());
  }
}

// Nesting is bounded before the recursion could exhaust the stack; the
// refusal leaves the evaluator usable, outside any literal.
TEST_F(LmiEvaluatorTest, DeepNestingIsRefused) {
  const std::string deep = std::string(999, '(') + "X" + std::string(999, ')');
  ASSERT_EQ(0, record(deep)) << out.str();
  EXPECT_EQ(3, block.Rows());
  for (const std::string& opening : {std::string(1000, '('), std::string(20000, '['), "[" + std::string(5000, '(')}) {
    EXPECT_EQ(1, record(opening + "X"));
    EXPECT_EQ(std::vector<std::string>{"Too many nested expressions."}, messages());
    EXPECT_EQ(0, insideBrackets);
  }
  ASSERT_EQ(0, record("(X)"));
}

// The reserved parameters are validated as soon as "(" is taken, so the
// report's echo ends there.
TEST_F(LmiEvaluatorTest, NullValidatesTheReservedParametersFirst) {
  setParameter("rank_eps", Value(-1.0));
  EXPECT_EQ(1, record("null(  [1 1])"));
  EXPECT_EQ(
      "#> Error in \"t.lmi\" (line 1) at:\n"
      "null(\n"
      "----^\n"
      "#> Parameter 'rank_eps' must be a positive scalar.\n",
      out.str());
}

// ---- precedence on affine blocks --------------------------------------------------

struct AffineCase {
  const char* source;
  std::function<Value()> reference;
};

// The eleven levels over affine blocks, against the same expression written
// with explicit grouping in plain matrix arithmetic at random points.
TEST_F(LmiEvaluatorTest, PrecedenceMatchesMatrixArithmetic) {
  auto X = [&] { return var("X"); };
  auto Y = [&] { return var("Y"); };
  auto V = [&] { return var("V"); };
  auto W = [&] { return var("W"); };
  auto x = [&] { return var("x"); };
  auto t = [&] { return var("t"); };
  auto tr = transposeValue;
  auto mul = multiplyValues;
  auto add = addValues;
  auto sub = subtractValues;
  auto s = [](double v) { return Value(v); };
  const std::vector<AffineCase> cases = {
      {"X + 2*Y'", [&] { return add(X(), mul(s(2), tr(Y()))); }},
      {"X - Y - X", [&] { return sub(sub(X(), Y()), X()); }},
      {"X - (Y - X)", [&] { return sub(X(), sub(Y(), X())); }},
      {"-X' + Y", [&] { return add(mul(s(-1), tr(X())), Y()); }},
      {"-2^2*X", [&] { return mul(s(4), X()); }},
      {"2^-1*X", [&] { return mul(s(0.5), X()); }},
      {"2^3^2*x", [&] { return mul(s(64), x()); }},
      {"B\\X*C", [&] { return mul(mul(inverse(B), X()), C); }},
      {"X/B*2", [&] { return mul(mul(X(), inverse(B)), s(2)); }},
      {"A*X*A' - W", [&] { return sub(mul(mul(A, X()), tr(A)), W()); }},
      {"A*sym(X)*A'", [&] { return mul(mul(A, add(X(), tr(X()))), tr(A)); }},
      {"(1 < 0 == 0)*X + (1 < 2)*Y", [&] { return Y(); }},
      {"(1:2+1)*[1; 1; 1]*x", [&] { return mul(s(6), x()); }},
      {"~0*X - ~1*Y", [&] { return X(); }},
      {"trace(X)*eye(2) + W", [&] {
         const GenMatrixD m = asMatrix(X());
         return add(mul(s(m(0, 0) + m(1, 1) + m(2, 2)), matrixValue(2, 2, {1, 0, 0, 1})), W());
       }},
      {"(V + x)'*M", [&] { return mul(tr(add(V(), x())), M); }},
      {"x*A - t*A/2", [&] { return sub(mul(x(), A), mul(mul(t(), A), s(0.5))); }},
      {"X + x - 1", [&] { return sub(add(X(), x()), s(1)); }},
      {"[1 2; 3 4]*W*[1; -1]", [&] { return mul(mul(matrixValue(2, 2, {1, 2, 3, 4}), W()), matrixValue(2, 1, {1, -1})); }},
      {"-(X - A'*W*A)'", [&] { return mul(s(-1), tr(sub(X(), mul(mul(tr(A), W()), A)))); }},
      {"+X*3 - -n*Y", [&] { return sub(mul(X(), s(3)), mul(s(2), Y())); }},
  };
  for (const AffineCase& c : cases) {
    SCOPED_TRACE(c.source);
    ASSERT_EQ(0, record(c.source)) << out.str();
    EXPECT_EQ(kEol, peekKind(0));
    EXPECT_LT(1, block.NumTerms());
    for (int draw = 0; draw < 3; ++draw) {
      redraw();
      EXPECT_TRUE(valuesNear(eval(block), c.reference()));
    }
  }
}

}  // namespace
