#include "evaluator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "allocation.h"
#include "builtins.h"
#include "lexer.h"
#include "matrix_literal.h"
#include "primaries.h"
#include "process_memory.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

// Runs expressions from script lines through the lexer; `ans` starts out
// holding 42 so that a statement that stores nothing shows.
class EvaluatorTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    setParameter(kAnsName, Value(42.0));
  }

  // Evaluates line, the script's next line, as an expression statement
  // does; the value lands in result and the report, if any, in the output.
  int run(const std::string& line) {
    feedNext(line);
    resultName = kAnsName;
    result = Value();
    return evalExpression(result);
  }

  int errorCount() const {
    const std::string out = output.str();
    int n = 0;
    for (size_t at = out.find("#> Error"); at != std::string::npos; at = out.find("#> Error", at + 1)) ++n;
    return n;
  }

  static const Value& parameter(const std::string& name) { return parameterTable.Lookup(name); }
  static void declare(const std::string& name, int type, const Value& v) {
    variableTable.Remove(name);
    variableTable.Insert(name, VarRecord(type, v));
  }
  static const Value& variable(const std::string& name) { return variableTable.Lookup(name).GetValue(); }

  Value result;
};

Value row(std::initializer_list<double> xs) { return matrixValue(1, static_cast<int>(xs.size()), xs); }
Value column(std::initializer_list<double> xs) { return matrixValue(static_cast<int>(xs.size()), 1, xs); }

struct ValueCase {
  const char* line;
  Value expected;
};

struct ErrorCase {
  const char* line;
  const char* message;
};

// Parameters the operator tests combine.
class OperatorTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    EvaluatorTest::SetUp();
    setParameter("A", matrixValue(2, 2, {1, 2, 3, 4}));
    setParameter("R", row({1, 2}));
    setParameter("R3", row({1, 2, 3}));
    setParameter("C", column({3, 4}));
    setParameter("E", Value());
  }
  void expectValues(const std::vector<ValueCase>& cases) {
    for (const ValueCase& c : cases) {
      SCOPED_TRACE(c.line);
      ASSERT_EQ(run(c.line), 0) << output.str();
      EXPECT_TRUE(sameValue(result, c.expected));
      EXPECT_EQ(peekNonSpace(), kEol) << "the whole line is one expression";
      EXPECT_EQ(errorCount(), 0);
    }
  }
  void expectErrors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
      SCOPED_TRACE(c.line);
      EXPECT_EQ(run(c.line), 1);
      EXPECT_EQ(lastMessage(), c.message);
      EXPECT_EQ(errorCount(), 1) << "an error is reported once";
    }
  }
};

TEST_F(OperatorTest, PrecedenceAndAssociativity) {
  expectValues({
      {"-2^2", Value(4.0)},
      {"2^-1", Value(0.5)},
      {"2^3^2", Value(64.0)},
      {"-2'", Value(-2.0)},
      {"1 < 0 == 0", Value(0.0)},  // 1 < (0 == 0); (1 < 0) == 0 would be 1
      {"1 | 0 & 0", Value(1.0)},
      {"2 == 1 | 1", Value(1.0)},
      {"0 & 1 < 2", Value(0.0)},
      {"1 + 2 * 3", Value(7.0)},
      {"2 * 3 ^ 2", Value(18.0)},
      {"8 / 2 / 2", Value(2.0)},
      {"2 \\ 8", Value(4.0)},
      {"1 - 2 - 3", Value(-4.0)},
      {"- 3 + 1", Value(-2.0)},
      {"3 - -1", Value(4.0)},
      {"~0 + 1", Value(2.0)},
      {"~1 == 0", Value(1.0)},
      {"+5", Value(5.0)},
      {"1 -2", Value(-1.0)},
      {"2^ 3", Value(8.0)},
      {"1:3 == 1:3", row({1, 1, 1})},
      {"1:3+1", row({1, 2, 3, 4})},
      {"(1 + 2) * 3", Value(9.0)},
  });
}

TEST_F(OperatorTest, OperationsOnShapes) {
  expectValues({
      {"R + 1", row({2, 3})},
      {"E + 1", Value()},
      {"E + E", Value()},
      {"R == 1", row({1, 0})},
      {"E == R", Value()},
      {"A > 2", matrixValue(2, 2, {0, 0, 1, 1})},
      {"2 > A", matrixValue(2, 2, {1, 0, 0, 0})},
      {"R * C", Value(11.0)},
      {"C * R", matrixValue(2, 2, {3, 6, 4, 8})},
      {"E * 5", Value()},
      {"R / 2", row({0.5, 1})},
      {"A - A", matrixValue(2, 2, {0, 0, 0, 0})},
      {"R' ", column({1, 2})},
      {"R | 0", row({1, 1})},
      {"R & E", Value()},
      {"E ^ 2", Value()},
      {"R ~= R", row({0, 0})},
      {"~R", row({0, 0})},
  });
}

TEST_F(OperatorTest, SizeTestsReportTheLevelsMessage) {
  expectErrors({
      {"R + R3", "Can not add or subtract matrices with different sizes!"},
      {"E + R", "Can not add or subtract matrices with different sizes!"},
      {"R - R3", "Can not add or subtract matrices with different sizes!"},
      {"R == R3", "Can not compare matrices with different sizes!"},
      {"R ~= R3", "Can not compare matrices with different sizes!"},
      {"R < R3", "Can not compare matrices with different sizes!"},
      {"R >= R3", "Can not compare matrices with different sizes!"},
      {"R | R3", "Can not perform '|' on matrices with different sizes!"},
      {"R & R3", "Can not perform '&' on matrices with different sizes!"},
      {"R * R", "Can not multiply or divide matrices with incompatible dimensions"},
      {"A \\ R", "Can not multiply or divide matrices with incompatible dimensions"},
      {"A / R3", "Can not multiply or divide matrices with incompatible dimensions"},
      {"R ^ R", "Not implemented operation."},
      {"E ^ R", "Not implemented operation."},
      {"1 + *", "'*' is not a primary."},
      {"R + R3 + )", "Can not add or subtract matrices with different sizes!"},
  });
}

// A matrix power that powerValues cannot compute fails the statement with
// the same words, instead of yielding an empty value; an empty exponent is
// no scalar either. Nothing goes to the error stream.
TEST_F(OperatorTest, UnimplementedPowersFailTheExpression) {
  std::ostringstream errors;
  std::streambuf* const savedErrors = std::cerr.rdbuf(errors.rdbuf());
  expectErrors({
      {"A ^ 2", "Not yet implemented function."},
      {"2 ^ R", "Undefined operation: Matrix ^ Matrix"},
      {"2 ^ E", "Undefined operation: Matrix ^ Matrix"},
      {"2 ^ []", "Undefined operation: Matrix ^ Matrix"},
  });
  std::cerr.rdbuf(savedErrors);
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(powerOperandError(Value(2.0), Value(3.0)), nullptr);
  EXPECT_EQ(powerOperandError(Value(), Value(3.0)), nullptr);
}

// A result with more elements than a matrix can count is refused before it
// is made, whatever its operands' sizes: the statement fails and assigns
// nothing.
TEST_F(OperatorTest, ResultTooLargeToHoldIsRefused) {
  setParameter("V", Value(65536, 1, 1.0));
  setParameter("H", Value(1, 65536, 1.0));
  setParameter("S", Value(46341, 1, 1.0));  // 46341^2 is just past the largest int
  const char* lines[] = {"w = V * V'", "w = S * S'", "w = V / V", "w = H \\ H", "w = null(H)", "w = 1 + V * H"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "Invalid size.");
    EXPECT_EQ(errorCount(), 1);
    EXPECT_FALSE(has("w"));
  }
  // Sizes the operators keep within an operand's are made.
  EXPECT_EQ(run("w = V' * V"), 0) << output.str();
  EXPECT_TRUE(sameValue(parameter("w"), Value(65536.0)));
}

// ones(20000, 20000) would take 3.2 GB: where a limit on the process leaves
// it 64 MiB, the matrix is refused as too large instead of ending the
// process in a failed allocation.
TEST_F(EvaluatorTest, MatrixBeyondTheMemoryLeftIsRefused) {
  if (processStatusKb("VmSize:") < 0) GTEST_SKIP() << "no /proc/self/status";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the process has BLAS threads
  EXPECT_EXIT(
      {
        if (leaveAddressSpace(64.0 * 1024 * 1024)) std::_Exit(2);
        const int status = run("z = ones(20000, 20000)");
        std::_Exit(status == 1 && lastMessage() == "Invalid size." && !has("z") ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// With room left for half a copy of a large matrix, every statement that
// would make a matrix of its size, a temporary included, fails with
// "Invalid size." instead of ending the process, and the workspace stays
// as it was; reading and assigning the matrix by name share its elements
// and fit. Each statement is followed by one that must run.
TEST_F(EvaluatorTest, StatementsBeyondTheMemoryLeftFailAndTheRunGoesOn) {
  if (processStatusKb("VmSize:") < 0) GTEST_SKIP() << "no /proc/self/status";
  const int n = 3000;  // 72 MB of elements
  const char* const kInvalid = "Invalid size.";
  const struct {
    const char* statement;
    const char* message;  // "" for a statement that fits
  } cases[] = {
      {"b = a; c = a;", ""},
      {"a;", ""},
      {"b = (a(:,:));", ""},
      {"a(1,1) = 1;", ""},  // written in place
      {"b = a + a;", kInvalid},
      {"-a;", kInvalid},
      {"a';", kInvalid},
      {"a == a;", kInvalid},
      {"a & a;", kInvalid},
      {"a - a;", kInvalid},
      {"find(a);", kInvalid},
      {"b = a + 1;", kInvalid},
      {"~a;", kInvalid},
      {"sqrt(a);", kInvalid},
      {"a(:);", kInvalid},
      {"[a a];", kInvalid},
      {"b = a; b(1,1) = 5;", kInvalid},
      {"b = a; a(2,2) = 5;", kInvalid},
      {"a / a;", kInvalid},
      {"inv(a);", kInvalid},
      {"eig(a);", kInvalid},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the process has BLAS threads
  EXPECT_EXIT(
      {
        setParameter("a", Value(n, n, 1.0));
        const double* elements = parameter("a").Matrix()->Data();
        if (leaveAddressSpace(0.5 * n * n * sizeof(double))) std::_Exit(2);
        int failures = 0;
        for (const auto& c : cases) {
          const int status = runLines(std::string(c.statement) + "\n");
          const std::string message = lastMessage();
          parameterTable.Remove("b");
          parameterTable.Remove("c");
          const Value& a = parameter("a");
          const bool intact = a.Matrix()->Data() == elements && a.Rows() == n && a.Cols() == n &&
                              (*a.Matrix())[0] == 1.0 && (*a.Matrix())[n * n - 1] == 1.0;
          const bool goesOn = runLines("x = 7;\n") == 0 && scalar("x") == 7.0;
          if (status != (*c.message != '\0') || message != c.message || !intact || !goesOn) {
            std::fprintf(stderr, "%s: status %d, message \"%s\", intact %d, goes on %d\n", c.statement, status,
                         message.c_str(), intact, goesOn);
            ++failures;
          }
        }
        std::_Exit(failures == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Assigning a value just computed stores its elements as they are: the
// 160 MB of 1:2e7 are held once, not copied into the parameter while the
// result still holds them. (Measured in a child process, whose peak starts
// at what it holds when it begins.)
TEST_F(EvaluatorTest, FreshValueIsStoredWithoutACopy) {
  const double bytes = 2e7 * sizeof(double);
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the process has BLAS threads
  EXPECT_EXIT(
      {
        const double before = peakResidentBytes();
        const int status = run("x = 1:2e7;");
        const double rise = peakResidentBytes() - before;
        const Value& x = parameter("x");
        const bool stored = status == 0 && x.ElementCount() == 20000000 && (*x.Matrix())[19999999] == 2e7;
        std::_Exit(stored && rise > 0.9 * bytes && rise < 1.5 * bytes ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(OperatorTest, PrefixOperatorsTakeOneOperatorOnly) {
  expectErrors({
      {"- -1", "'-' is not a primary."},
      {"~~1", "'~' is not a primary."},
      {"~-1", "'-' is not a primary."},
      {"det(1)", "'det' is not a primary."},
      {"for", "'for' is not a primary."},
      {"1 +", "Primary expected."},
      {"$", "'$' is not a valid token!"},
      {")", "')' is not a primary."},
  });
}

TEST_F(OperatorTest, TransposeTakesOneQuoteDirectlyAfterThePrimary) {
  ASSERT_EQ(run("R''"), 0);
  EXPECT_TRUE(sameValue(result, column({1, 2})));
  EXPECT_EQ(peekKind(0), kQuote);

  ASSERT_EQ(run("R '"), 0);
  EXPECT_TRUE(sameValue(result, row({1, 2})));
  EXPECT_EQ(resultName, "R");
  EXPECT_EQ(peekNonSpace(), kQuote);
}

TEST_F(OperatorTest, ResultNameFollowsTheOutermostOperation) {
  const struct {
    const char* line;
    const char* name;
  } cases[] = {
      {"R", "R"},   {"(R)", "R"},   {"+R", "R"},     {"((+R))", "R"}, {"R'", "ans"}, {"-R", "ans"},
      {"~R", "ans"}, {"R + 0", "ans"}, {"R(1)", "ans"}, {"1:2", "ans"}, {"3", "ans"}, {"R(:,:)", "R"},
      {"R == R", "ans"}, {"R | R", "ans"}, {"R * 1", "ans"}, {"2 ^ 1", "ans"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(run(c.line), 0);
    EXPECT_EQ(resultName, c.name);
  }
}

TEST_F(EvaluatorTest, MissingOperandsAndParentheses) {
  ASSERT_EQ(run("(1 + )"), 1);
  EXPECT_EQ(lastMessage(), "')' is not a primary.");
  ASSERT_EQ(run("(1"), 1);
  EXPECT_EQ(lastMessage(), "Expected ).");
}

TEST_F(OperatorTest, Ranges) {
  expectValues({
      {"1:4", row({1, 2, 3, 4})},
      {"5:-2:1", row({5, 3, 1})},
      {"3:-1:1", row({3, 2, 1})},
      {"0:0.5:1", row({0, 0.5, 1})},
      {"1 : 3", row({1, 2, 3})},
      {"1:0", Value()},
      {"1:-1:5", Value()},
      {"1:3:2", Value(1.0)},
      {"2:2", Value(2.0)},
      // Elements are made by repeated addition, and the count tolerates
      // the rounding of (end - start) / step.
      {"0:0.1:0.3", row({0, 0.1, 0.1 + 0.1, 0.1 + 0.1 + 0.1})},
      {"1:0:5", Value()},
      {"1:(0/0):5", Value()},
      {"(0/0):3", Value()},
      {"1:(1/0)", Value()},
      {"(-1/0):1", Value()},
      {"1:(1/0):5", Value(1.0)},
      {"1:(-1/0):5", Value()},
  });
  expectErrors({
      {"1:R", "Expected scalar."},
      {"1:2:R", "Expected scalar."},
      {"1:E", "Expected scalar."},
      {"1:3e9", "Invalid size."},
      {"-1e308:1e308", "Invalid size."},
  });
}

TEST_F(OperatorTest, AColonAfterANonScalarOrAWholeRangeStaysPending) {
  ASSERT_EQ(run("R:3"), 0);
  EXPECT_TRUE(sameValue(result, row({1, 2})));
  EXPECT_EQ(peekNonSpace(), kColon);

  ASSERT_EQ(run("1:2:3:4"), 0);
  EXPECT_TRUE(sameValue(result, row({1, 3})));
  EXPECT_EQ(peekNonSpace(), kColon);
}

TEST(RangeElementCount, CountsWithToleranceAndRefusesWhatCannotBeHeld) {
  EXPECT_EQ(rangeElementCount(1, 1, 4), 4);
  EXPECT_EQ(rangeElementCount(0, 0.1, 0.3), 4);
  EXPECT_EQ(rangeElementCount(0, 0.1, 1.0), 11);
  EXPECT_EQ(rangeElementCount(5, -2, 1), 3);
  EXPECT_EQ(rangeElementCount(1, 1, 0), 0);
  EXPECT_EQ(rangeElementCount(1, 1, 1.5), 1);
  EXPECT_EQ(rangeElementCount(1, 0, 5), 0);
  EXPECT_EQ(rangeElementCount(1, NAN, 5), 0);
  EXPECT_EQ(rangeElementCount(INFINITY, 1, 5), 0);
  EXPECT_EQ(rangeElementCount(1, 1, NAN), 0);
  EXPECT_EQ(rangeElementCount(1, INFINITY, 5), 1);
  EXPECT_EQ(rangeElementCount(5, -INFINITY, 5), 1);
  EXPECT_EQ(rangeElementCount(1, 1, 3e9), -1);
  EXPECT_EQ(rangeElementCount(-1e308, 1, 1e308), -1);
}

// Inside a literal's element a sign glued to what follows ends the element.
TEST_F(EvaluatorTest, BracketRuleSplitsElementsAtGluedSigns) {
  const struct {
    const char* line;
    double value;
    int pending;
  } cases[] = {
      {"1 -2", 1, kMinus}, {"1-2", 1, kMinus},   {"1 - 2", -1, kEol},
      {"1- 2", -1, kEol},  {"(1 -2)", -1, kEol}, {"1 +2", 1, kPlus},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    feed(c.line);
    insideBrackets = 1;
    Value v;
    ASSERT_EQ(evalExpression(v), 0);
    EXPECT_TRUE(sameValue(v, Value(c.value)));
    EXPECT_EQ(peekKind(0), c.pending);
    EXPECT_EQ(insideBrackets, 1) << "the flag is restored";
  }
}

TEST(PrimaryTable, EveryKindHasAHandler) {
  for (int kind = 0; kind < kTokenKindCount; ++kind) EXPECT_NE(MatrixPrimaryTable[kind], nullptr) << kind;
  EXPECT_EQ(MatrixPrimaryTable[kVariable], primaryVariable);
  EXPECT_EQ(MatrixPrimaryTable[kParameter], primaryParameter);
  EXPECT_EQ(MatrixPrimaryTable[kName], primaryNewName);
  EXPECT_EQ(MatrixPrimaryTable[kLiteral], primaryNumber);
  EXPECT_EQ(MatrixPrimaryTable[kLeftParen], primaryParen);
  EXPECT_EQ(MatrixPrimaryTable[kEol], primaryEol);
  EXPECT_EQ(MatrixPrimaryTable[kUnknown], primaryInvalidToken);
  EXPECT_EQ(MatrixPrimaryTable[kLeftBracket], primaryMatrixLiteral);
  EXPECT_EQ(MatrixPrimaryTable[kType], primaryDiag);
  EXPECT_EQ(MatrixPrimaryTable[kCputime], primaryCputime);
  EXPECT_EQ(MatrixPrimaryTable[kSqrt], primarySqrt);
  EXPECT_EQ(MatrixPrimaryTable[kEye], primaryEye);
  EXPECT_EQ(MatrixPrimaryTable[kOnes], primaryOnes);
  EXPECT_EQ(MatrixPrimaryTable[kZeros], primaryZeros);
  EXPECT_EQ(MatrixPrimaryTable[kTrace], primaryTrace);
  EXPECT_EQ(MatrixPrimaryTable[kSize], primarySize);
  EXPECT_EQ(MatrixPrimaryTable[kInv], primaryInv);
  EXPECT_EQ(MatrixPrimaryTable[kEig], primaryEig);
  EXPECT_EQ(MatrixPrimaryTable[kEigvec], primaryEigvec);
  EXPECT_EQ(MatrixPrimaryTable[kNull], primaryNull);
  EXPECT_EQ(MatrixPrimaryTable[kChol], primaryChol);
  EXPECT_EQ(MatrixPrimaryTable[kFind], primaryFind);
  for (int kind : {kNothing, kLmi, kVar, kClear, kSpace, kNot, kMinus, kRightParen, kRightBracket, kComma,
                   kSemicolon, kColon, kQuote, kBlock, kDet, kFor, kWhile, kEnd}) {
    EXPECT_EQ(MatrixPrimaryTable[kind], primaryNotAPrimary) << TokenNames[kind];
  }
}

TEST_F(EvaluatorTest, NumbersAreTheirLiteralsValue) {
  const struct {
    const char* line;
    double value;
  } cases[] = {{"3.5e-2", 0.035}, {".5", 0.5}, {"1E7", 1e7}, {"3.", 3}, {"1e", 1}, {"12e-", 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(run(c.line), 0);
    EXPECT_TRUE(sameValue(result, Value(c.value)));
  }
}

TEST_F(EvaluatorTest, AssignmentToANewNameCreatesAParameter) {
  ASSERT_EQ(run("x = 3"), 0);
  EXPECT_TRUE(sameValue(parameter("x"), Value(3.0)));
  EXPECT_TRUE(sameValue(result, Value(3.0)));
  EXPECT_EQ(resultName, "x");
  EXPECT_EQ(needsRebuild, 0);
  EXPECT_TRUE(sameValue(parameter(kAnsName), Value(42.0)));

  ASSERT_EQ(run("a = b = 3"), 0);
  EXPECT_TRUE(sameValue(parameter("a"), Value(3.0)));
  EXPECT_TRUE(sameValue(parameter("b"), Value(3.0)));

  ASSERT_EQ(run("1 + (z = 2)"), 0);
  EXPECT_TRUE(sameValue(result, Value(3.0)));
  EXPECT_TRUE(sameValue(parameter("z"), Value(2.0)));
  EXPECT_EQ(resultName, kAnsName);
}

TEST_F(EvaluatorTest, AnUnboundNameWithoutAssignmentIsAnError) {
  EXPECT_EQ(run("y(2) = 1"), 1);
  EXPECT_EQ(lastMessage(), "Unknown command, variable or parameter 'y'.");
  EXPECT_EQ(parameterTable.Find("y").index, -1);
  EXPECT_EQ(run("y == 1"), 1);
  EXPECT_EQ(lastMessage(), "Unknown command, variable or parameter 'y'.");
}

// A name that the right-hand side binds or changes is stored with the value
// of the whole assignment, which is also what is shown.
TEST_F(EvaluatorTest, TheRightHandSideMayAssignTheSameName) {
  ASSERT_EQ(run("x = 1 + (x = 2)"), 0);
  EXPECT_TRUE(sameValue(result, Value(3.0)));
  EXPECT_TRUE(sameValue(parameter("x"), Value(3.0)));

  ASSERT_EQ(run("x = 10 * (x = 4)"), 0);
  EXPECT_TRUE(sameValue(result, Value(40.0)));
  EXPECT_TRUE(sameValue(parameter("x"), Value(40.0)));

}

// A subscripted assignment writes into the value as it stood before its
// subscript and right-hand side were evaluated, whatever they assigned to
// the name meanwhile; a subscripted read selects from that value too.
TEST_F(EvaluatorTest, SubscriptsWorkOnTheValueBeforeTheirExpressions) {
  setParameter("p", row({1, 2}));
  ASSERT_EQ(run("p(2) = (p = 5)"), 0) << output.str();
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 5})));
  EXPECT_TRUE(sameValue(result, row({1, 5})));

  setParameter("p", row({1, 2}));
  ASSERT_EQ(run("p(2) = 9 + 0 * (p = [7 8]) * [1; 1]"), 0) << output.str();
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 9})));

  setParameter("p", matrixValue(2, 2, {1, 2, 3, 4}));
  ASSERT_EQ(run("p(1) = trace(p(2,2) = 9)"), 0) << output.str();
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {10, 2, 3, 4})));

  setParameter("p", row({1, 2, 3}));
  ASSERT_EQ(run("p(p = 2)"), 0) << output.str();
  EXPECT_TRUE(sameValue(result, Value(2.0)));
  EXPECT_TRUE(sameValue(parameter("p"), Value(2.0)));

  setParameter("p", row({1, 2, 3}));
  ASSERT_EQ(run("p(:, size(p = [7 8 9], 2))"), 0) << output.str();
  EXPECT_TRUE(sameValue(result, Value(3.0)));

  setParameter("p", row({1, 2, 3}));
  ASSERT_EQ(run("p(1, 3) = (p(1) = 7) * [0 0 1]'"), 0) << output.str();
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 2, 3})));

  // A failed write leaves the value the right-hand side stored.
  setParameter("p", row({1, 2}));
  ASSERT_EQ(run("p(1) = (p = [5 6])"), 1);
  EXPECT_EQ(lastMessage(), "Assignment with different number of terms.");
  EXPECT_TRUE(sameValue(parameter("p"), row({5, 6})));

  variableTable.Insert("X", VarRecord(kSym, Value(2, 2, 0.0)));
  ASSERT_EQ(run("X(1,1) = trace(X = 1)"), 0) << output.str();
  EXPECT_TRUE(sameValue(variableTable.Lookup("X").GetValue(), matrixValue(2, 2, {2, 0, 0, 0})));
}

class SubscriptTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    EvaluatorTest::SetUp();
    setParameter("p", matrixValue(2, 2, {1, 2, 3, 4}));
    setParameter("s", Value(5.0));
    setParameter("e", Value());
  }
};

TEST_F(SubscriptTest, ReadsSelectInColumnMajorOrder) {
  const std::vector<ValueCase> cases = {
      {"p(3)", Value(2.0)},
      {"p(2,:)", row({3, 4})},
      {"p(:,1)", column({1, 3})},
      {"p(:)", column({1, 3, 2, 4})},
      {"p([1 4])", row({1, 4})},
      {"p(1.9)", Value(1.0)},
      {"p(2:3)", row({3, 2})},
      {"p((1:2)')", column({1, 3})},
      {"p([1 2; 3 4])", matrixValue(2, 2, {1, 3, 2, 4})},
      {"p(2, [2 1])", row({4, 3})},
      {"p([2 1], [2 1])", matrixValue(2, 2, {4, 3, 2, 1})},
      {"p( 1 , 2 )", Value(2.0)},
      {"p(1,[])", Value()},
      {"p([])", Value()},
      {"s(1)", Value(5.0)},
      {"s([1 1 1])", row({5, 5, 5})},
      {"s(:)", Value(5.0)},
      {"e(:)", Value()},
      {"p(:,:)", matrixValue(2, 2, {1, 2, 3, 4})},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(run(c.line), 0) << output.str();
    EXPECT_TRUE(sameValue(result, c.expected));
    EXPECT_EQ(resultName, std::string(c.line) == "p(:,:)" ? "p" : kAnsName);
  }
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {1, 2, 3, 4})));
  EXPECT_TRUE(sameValue(parameter(kAnsName), Value(42.0))) << "reads store nothing";
}

TEST_F(SubscriptTest, IndicesOutsideTheValueAreRefused) {
  for (const char* line : {"p(5)", "p(0)", "p(0.5)", "p(4.5)", "p(0/0)", "p(1/0)", "p(3,1)", "p(1,3)", "p(:,3)",
                           "p(3,:)", "e(1)", "s(2)"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "Subscript out of range.");
  }
}

TEST_F(SubscriptTest, MalformedSubscriptsFailAtTheirToken) {
  EXPECT_EQ(run("p(1"), 1);
  EXPECT_EQ(lastMessage(), "Expected ).");
  EXPECT_EQ(run("p(:+1)"), 1);
  EXPECT_EQ(lastMessage(), "Expected ).");
  EXPECT_EQ(run("p(1,)"), 1);
  EXPECT_EQ(lastMessage(), "')' is not a primary.");
}

TEST_F(SubscriptTest, ABlankBeforeTheParenthesisEndsTheName) {
  ASSERT_EQ(run("p (1)"), 0);
  EXPECT_TRUE(sameValue(result, matrixValue(2, 2, {1, 2, 3, 4})));
  EXPECT_EQ(peekNonSpace(), kLeftParen);
}

// Selections with more elements than a matrix can hold are refused before
// any index is converted or any list is made.
TEST_F(SubscriptTest, SelectionsTooLargeToHoldAreRefused) {
  EXPECT_EQ(run("p(1:50000, 1:50000)"), 1);
  EXPECT_EQ(lastMessage(), "Invalid size.");
  setParameter("big", Value(50000, 2, 1.0));
  EXPECT_EQ(run("big(:, ones(1, 50000))"), 1);
  EXPECT_EQ(lastMessage(), "Invalid size.");
}

TEST_F(SubscriptTest, AssignmentsWriteTheSelectedElements) {
  const std::vector<ValueCase> cases = {
      {"p(2,2) = 7", matrixValue(2, 2, {1, 2, 3, 7})},
      {"p(1:2) = [8 9]", matrixValue(2, 2, {8, 2, 9, 4})},
      {"p(:) = 1:4", matrixValue(2, 2, {1, 3, 2, 4})},
      {"p(:, 2) = [5; 6]", matrixValue(2, 2, {1, 5, 3, 6})},
      {"p(2, :) = [5 6]", matrixValue(2, 2, {1, 2, 5, 6})},
      {"p([4 1]) = [0 -1]", matrixValue(2, 2, {-1, 2, 3, 0})},
      {"p(:,:) = 3", Value(3.0)},
      {"p(1,[]) = []", matrixValue(2, 2, {1, 2, 3, 4})},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.line);
    setParameter("p", matrixValue(2, 2, {1, 2, 3, 4}));
    needsRebuild = 0;
    ASSERT_EQ(run(c.line), 0) << output.str();
    EXPECT_TRUE(sameValue(parameter("p"), c.expected));
    EXPECT_TRUE(sameValue(result, c.expected)) << "the whole new value is the result";
    EXPECT_EQ(resultName, "p");
    EXPECT_EQ(needsRebuild, 1);
  }
  ASSERT_EQ(run("s(1) = 2"), 0);
  EXPECT_TRUE(sameValue(parameter("s"), Value(2.0)));
  ASSERT_EQ(run("s(:) = 4"), 0);
  EXPECT_TRUE(sameValue(parameter("s"), Value(4.0)));
}

TEST_F(SubscriptTest, FailedAssignmentsChangeNothing) {
  const std::vector<ErrorCase> cases = {
      {"p(1:2) = 0", "Assignment with different number of terms."},
      {"p(:) = 1:3", "Assignment with different number of terms."},
      {"p(1) = []", "Assignment with different number of terms."},
      {"p(3,1) = 0", "Subscript out of range."},
      {"p(1) = q", "Unknown command, variable or parameter 'q'."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.line);
    needsRebuild = 0;
    EXPECT_EQ(run(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {1, 2, 3, 4})));
    EXPECT_EQ(needsRebuild, 0);
  }
}

// In-place operations on an expression's value leave the workspace alone,
// and what is done to one name does not reach the name it was assigned
// from.
TEST_F(SubscriptTest, StoredValuesArePrivate) {
  setParameter("q", row({1, 0}));
  ASSERT_EQ(run("~(r = q)"), 0);
  EXPECT_TRUE(sameValue(result, row({0, 1})));
  EXPECT_TRUE(sameValue(parameter("r"), row({1, 0})));

  ASSERT_EQ(run("~(p = q)"), 0);
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 0})));
  EXPECT_TRUE(sameValue(parameter("q"), row({1, 0})));

  ASSERT_EQ(run("~(p(2) = 5)"), 0);
  EXPECT_TRUE(sameValue(result, row({0, 0})));
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 5})));

  ASSERT_EQ(run("~p"), 0);
  EXPECT_TRUE(sameValue(parameter("p"), row({1, 5})));

  ASSERT_EQ(run("sqrt(p = [4 9])"), 0);
  EXPECT_TRUE(sameValue(result, row({2, 3})));
  EXPECT_TRUE(sameValue(parameter("p"), row({4, 9})));

  // An assignment from a name shares the elements until one of the two is
  // written, which then writes its own copy.
  ASSERT_EQ(run("p = q"), 0);
  result.Release();
  EXPECT_EQ(parameter("p").Matrix()->Data(), parameter("q").Matrix()->Data());
  ASSERT_EQ(run("p(1) = 7"), 0);
  ASSERT_EQ(run("q(2) = 8"), 0);
  EXPECT_TRUE(sameValue(parameter("p"), row({7, 0})));
  EXPECT_TRUE(sameValue(parameter("q"), row({1, 8})));
}

// A subscripted write into a parameter whose storage someone else holds too
// does not reach that other holder.
TEST_F(SubscriptTest, WritesDoNotReachOtherHoldersOfTheStorage) {
  const Value other = parameter("p");
  ASSERT_EQ(run("p(1) = 0"), 0);
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {0, 2, 3, 4})));
  EXPECT_TRUE(sameValue(other, matrixValue(2, 2, {1, 2, 3, 4})));
}

// The value of a subscripted assignment is the parameter's new value; it
// stays apart from the parameter both ways: what is done to the value does
// not reach the parameter, and later writes into the parameter (or into a
// copy stored elsewhere) do not reach the value.
TEST_F(SubscriptTest, TheValueOfASubscriptedAssignmentStaysApartFromTheParameter) {
  const Value before = matrixValue(2, 2, {1, 2, 3, 4});
  ASSERT_EQ(run("~(p(2) = 0)"), 0);
  EXPECT_TRUE(sameValue(result, matrixValue(2, 2, {0, 0, 1, 0})));
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {1, 2, 0, 4})));

  setParameter("p", before);
  ASSERT_EQ(run("sqrt(p(1) = 16)"), 0);
  EXPECT_TRUE(sameValue(result, matrixValue(2, 2, {4, std::sqrt(2.0), std::sqrt(3.0), 2})));
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {16, 2, 3, 4})));

  setParameter("p", before);
  ASSERT_EQ(run("(p(1) = 5) + (p(1) = 7)"), 0);
  EXPECT_TRUE(sameValue(result, matrixValue(2, 2, {12, 4, 6, 8})));
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {7, 2, 3, 4})));

  setParameter("p", before);
  ASSERT_EQ(run("p(4) = 0"), 0);
  const Value held = result;
  EXPECT_TRUE(sameValue(held, matrixValue(2, 2, {1, 2, 3, 0})));
  ASSERT_EQ(run("p(1) = 9"), 0);
  EXPECT_TRUE(sameValue(held, matrixValue(2, 2, {1, 2, 3, 0})));
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {9, 2, 3, 0})));

  ASSERT_EQ(run("q = (p(2) = 8)"), 0);
  ASSERT_EQ(run("p(1) = 1"), 0);
  ASSERT_EQ(run("q(4) = 6"), 0);
  EXPECT_TRUE(sameValue(parameter("q"), matrixValue(2, 2, {9, 2, 8, 6})));
  EXPECT_TRUE(sameValue(parameter("p"), matrixValue(2, 2, {1, 2, 8, 0})));
}

// Whole scripts: a declaration and the answer of a statement take the value
// of a subscripted assignment, and every name keeps its own elements.
TEST_F(EvaluatorTest, CopiesOfASubscriptedAssignmentsValueKeepTheirOwnElements) {
  ASSERT_EQ(runScript("p = [1 2]; var x = (p(1) = 5); q = (p(2) = 6); x(2) = 8; p(1) = 7; q(1) = 9;\n"
                      "r = [0 0]; -(r(1) = 3); r(2) = 4; ans(1) = 0;\n"),
            0)
      << output.str();
  EXPECT_TRUE(sameValue(parameter("p"), row({7, 6})));
  EXPECT_TRUE(sameValue(variable("x"), row({5, 8})));
  EXPECT_TRUE(sameValue(parameter("q"), row({9, 6})));
  EXPECT_TRUE(sameValue(parameter("r"), row({3, 4})));
  EXPECT_TRUE(sameValue(parameter(kAnsName), row({0, 0})));
}

// A name assigned from another shares its elements until one of the two
// is written: a write through either name, by subscript or whole, leaves
// the other as it was.
TEST_F(EvaluatorTest, AWriteAfterAnAssignmentFromANameReachesThatNameOnly) {
  const Value given = matrixValue(2, 2, {1, 2, 3, 4});
  const struct {
    const char* script;
    const char* other;  // the name that must keep `given`
  } cases[] = {
      {"a = [1 2; 3 4]; b = a; a(1,1) = 5;", "b"},
      {"a = [1 2; 3 4]; b = a; b(1,1) = 5;", "a"},
      {"a = [1 2; 3 4]; b = a; b(:) = [5 6 7 8];", "a"},
      {"a = [1 2; 3 4]; b = (a); c = b; c(2,2) = 0; b(1,2) = 0;", "a"},
      {"a = [1 2; 3 4]; b = a(:,:); b(4) = 0;", "a"},
      {"a = [1 2; 3 4]; b = a; a = a'; a(1) = 0;", "b"},
      {"a = [1 2; 3 4]; for i = 1:2; b = a; b(i) = 0; end", "a"},
      {"var X(2); a = [1 2; 3 4]; X = a; X(1,1) = 5;", "a"},
      {"var X(2) = [1 2; 3 4]; a = X; X(1,1) = 5;", "a"},
      {"var X(2) = [1 2; 3 4]; a = X; X = 0;", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    ASSERT_EQ(runScript(std::string(c.script) + "\n"), 0) << output.str();
    EXPECT_TRUE(sameValue(parameter(c.other), given));
  }
}

// After a solve a matrix variable shares its elements with the built
// problem, whose later phases write their points into them: the variable
// follows them, and a name assigned from the variable keeps what it got.
TEST_F(EvaluatorTest, ANameAssignedFromTheSolversPointKeepsItsValue) {
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));  // as a run seeds it
  ASSERT_EQ(runLines("format compact; var sym X(2); lmi = X; feas; p = X;\n"), 0) << output.str();
  Value given;
  given.DeepCopy(variable("X"));
  ASSERT_TRUE(given.IsMatrix());
  ASSERT_TRUE(sameValue(parameter("p"), given));
  const int k = searchIndex("X", builtVariableNames.data(), builtVariableCount);
  ASSERT_GE(k, 0);
  builtVariableValues[k](0, 0) = 123.0;  // as a phase writes its point
  EXPECT_EQ((*variable("X").Matrix())(0, 0), 123.0);
  EXPECT_TRUE(sameValue(parameter("p"), given));
}

// Every parenthesis, argument, subscript and literal element is an expression
// of its own; past kMaxExpressionNesting of them one inside the other the
// expression is refused, at once and once, and the evaluator is then as
// usable as before.
TEST_F(SubscriptTest, NestingDeeperThanTheLimitIsRefused) {
  const int inner = kMaxExpressionNesting - 1;  // run() itself is the outermost
  auto nest = [](int depth, const std::string& open, const std::string& close) {
    std::string line;
    for (int k = 0; k < depth; ++k) line += open;
    line += "1";
    for (int k = 0; k < depth; ++k) line += close;
    return line;
  };
  for (const auto& shape : {std::make_pair("(", ")"), std::make_pair("[", "]"), std::make_pair("sqrt(", ")"),
                            std::make_pair("p(", ")"), std::make_pair("-(~(", "))")}) {
    SCOPED_TRACE(shape.first);
    const int depth = std::string(shape.first) == "-(~(" ? inner / 2 : inner;
    ASSERT_EQ(run(nest(depth, shape.first, shape.second)), 0) << lastMessage();
    EXPECT_EQ(run(nest(depth + 1, shape.first, shape.second)), 1);
    EXPECT_EQ(lastMessage(), "Too many nested expressions.");
    EXPECT_EQ(errorCount(), 1);
  }
  EXPECT_EQ(run(nest(100000, "(", ")")), 1);
  EXPECT_EQ(lastMessage(), "Too many nested expressions.");
  ASSERT_EQ(run(nest(inner, "(", ")") + " + " + nest(inner, "(", ")")), 0);
  EXPECT_TRUE(sameValue(result, Value(2.0)));
}

TEST_F(EvaluatorTest, AScalarOnTheInlineListThatBecomesAMatrixLeavesIt) {
  setParameter("q", Value(2.0));
  setParameter("m", row({1, 2}));
  inlineNames.Append("q");
  ASSERT_EQ(run("q = 3"), 0);
  EXPECT_EQ(lastMessage(), "");
  EXPECT_EQ(inlineNames.Size(), 1);

  ASSERT_EQ(run("q = m"), 0);
  EXPECT_EQ(output.str(), "#> Warning at line 2: Turning matrix \"q\" inline off.\n");
  EXPECT_EQ(inlineNames.Size(), 0);
  EXPECT_TRUE(sameValue(parameter("q"), row({1, 2})));
}

class VariableTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    EvaluatorTest::SetUp();
    declare("X", kSym, Value(2, 2, 0.0));
    declare("D", kDiag, Value(3, 3, 0.0));
    declare("S", kScl, Value(0.0));
    declare("G", kGen, Value(2, 3, 0.0));
    setParameter("symmetric", matrixValue(2, 2, {1, 2, 2, 3}));
    setParameter("unsymmetric", matrixValue(2, 2, {1, 2, 3, 4}));
    setParameter("three", Value(3, 3, 1.0));
    setParameter("e", Value());
  }
};

TEST_F(VariableTest, AcceptedAssignments) {
  const struct {
    const char* line;
    const char* name;
    Value expected;
  } cases[] = {
      {"X = 0", "X", Value(2, 2, 0.0)},
      {"X = 1", "X", Value(2, 2, 1.0)},
      {"X = symmetric", "X", matrixValue(2, 2, {1, 2, 2, 3})},
      {"X(:) = [1 2 2 5]", "X", matrixValue(2, 2, {1, 2, 2, 5})},
      {"D = 2", "D", matrixValue(3, 3, {2, 0, 0, 0, 2, 0, 0, 0, 2})},
      {"D(2,2) = 7", "D", matrixValue(3, 3, {2, 0, 0, 0, 7, 0, 0, 0, 2})},
      {"S = 4", "S", Value(4.0)},
      {"S(1,[]) = []", "S", Value(4.0)},
      {"G(2,3) = 1", "G", matrixValue(2, 3, {0, 0, 0, 0, 0, 1})},
      {"G = 5", "G", Value(2, 3, 5.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    needsRebuild = 0;
    ASSERT_EQ(run(c.line), 0) << output.str();
    EXPECT_TRUE(sameValue(variable(c.name), c.expected));
    EXPECT_TRUE(sameValue(result, c.expected));
    EXPECT_EQ(resultName, c.name);
    EXPECT_EQ(needsRebuild, 1);
  }
  ASSERT_EQ(run("G(2,:)"), 0);
  EXPECT_TRUE(sameValue(result, row({5, 5, 5})));
  EXPECT_EQ(resultName, kAnsName);
  ASSERT_EQ(run("G"), 0);
  EXPECT_EQ(resultName, "G");
}

TEST_F(VariableTest, RefusedAssignmentsLeaveTheVariable) {
  ASSERT_EQ(run("X = 0"), 0);
  ASSERT_EQ(run("D = 1"), 0);
  const std::vector<ErrorCase> cases = {
      {"X = unsymmetric", "Variable \"X\" must be symmetric!"},
      {"X = three", "Can not change variable size."},
      {"X = e", "Can not change variable size."},
      {"X(1,2) = 5", "Variable \"X\" must be symmetric!"},
      {"X(1:3) = 0", "Assignment with different number of terms."},
      {"D(1,2) = 1", "Variable \"D\" must be diagonal!"},
      {"S = [1 2]", "Can not assign a matrix to a scalar variable."},
      {"S = e", "Can not assign a matrix to a scalar variable."},
      {"G = symmetric", "Can not change variable size."},
      {"G(3,1) = 0", "Subscript out of range."},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.line);
    needsRebuild = 0;
    EXPECT_EQ(run(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
    EXPECT_EQ(needsRebuild, 0);
  }
  EXPECT_TRUE(sameValue(variable("X"), Value(2, 2, 0.0)));
  EXPECT_TRUE(sameValue(variable("D"), matrixValue(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1})));
  EXPECT_TRUE(sameValue(variable("S"), Value(0.0)));
  EXPECT_TRUE(sameValue(variable("G"), Value(2, 3, 0.0)));
}

TEST_F(VariableTest, ReadsArePrivateCopies) {
  ASSERT_EQ(run("X = symmetric"), 0);
  ASSERT_EQ(run("~X"), 0);
  EXPECT_TRUE(sameValue(variable("X"), matrixValue(2, 2, {1, 2, 2, 3})));
  ASSERT_EQ(run("~(X = 1)"), 0);
  EXPECT_TRUE(sameValue(variable("X"), Value(2, 2, 1.0)));
}

class ArgumentTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    EvaluatorTest::SetUp();
    setParameter("R", row({1, 2}));
  }
};

TEST_F(ArgumentTest, IndexArgument) {
  const struct {
    const char* text;
    int k;
    int pending;
  } accepted[] = {{"(1.5)", 1, kEol}, {"( 3 )", 3, kEol}, {"", 0, kEol}, {" (2)", 0, kSpace}, {"x", 0, kName}};
  for (const auto& c : accepted) {
    SCOPED_TRACE(c.text);
    feed(c.text);
    int k = -7;
    ASSERT_EQ(parseIndexArg(k), 0);
    EXPECT_EQ(k, c.k);
    EXPECT_EQ(peekKind(0), c.pending);
  }
  const ErrorCase refused[] = {
      {"(0)", "Index must be greater than one."}, {"(-1)", "Index must be greater than one."},
      {"(0.9)", "Index must be greater than one."}, {"(-1/0)", "Index must be greater than one."},
      {"(R)", "Invalid index."},  {"([])", "Invalid index."},
      {"(0/0)", "Invalid index."}, {"(1/0)", "Invalid index."},
      {"(3e9)", "Invalid index."}, {"(1", "Expected )."},
  };
  for (const ErrorCase& c : refused) {
    SCOPED_TRACE(c.line);
    feed(c.line);
    int k;
    EXPECT_EQ(parseIndexArg(k), 1);
    EXPECT_EQ(lastMessage(), c.message);
  }
}

TEST_F(ArgumentTest, IntegerArgument) {
  const struct {
    const char* text;
    int k;
  } accepted[] = {{"2.7", 2}, {"-2.7", -2}, {"1 + 1", 2}, {"2147483647", 2147483647}};
  for (const auto& c : accepted) {
    SCOPED_TRACE(c.text);
    feed(c.text);
    int k = -7;
    ASSERT_EQ(parseIntegerArg(k), 0);
    EXPECT_EQ(k, c.k);
  }
  for (const char* text : {"R", "[]", "0/0", "1/0", "-1/0", "3e9", "-3e9"}) {
    SCOPED_TRACE(text);
    feed(text);
    int k;
    EXPECT_EQ(parseIntegerArg(k), 1);
    EXPECT_EQ(lastMessage(), "Expected integer.");
  }
}

// The subscript functions on their own, as the affine-term evaluator uses
// them: parse against a value, then read the selection out of it.
TEST_F(EvaluatorTest, SubscriptParseAndReadOnTheirOwn) {
  const Value v = matrixValue(2, 3, {1, 2, 3, 4, 5, 6});
  feed("(2, [3 1]) rest");
  SharedArray<int> indices;
  int rows = -1, cols = -1, mode = -1;
  ASSERT_EQ(parseSubscript(v, indices, rows, cols, mode), 0);
  EXPECT_EQ(mode, kIndexedElements);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(cols, 2);
  Value selection = v;
  readSubscript(selection, indices, rows, cols, mode);
  EXPECT_TRUE(sameValue(selection, row({6, 4})));
  EXPECT_TRUE(sameValue(v, matrixValue(2, 3, {1, 2, 3, 4, 5, 6})));
  EXPECT_EQ(peekNonSpace(), kName);

  feed("+1");
  ASSERT_EQ(parseSubscript(v, indices, rows, cols, mode), 0);
  EXPECT_EQ(mode, kWholeValue);
  EXPECT_EQ(peekKind(0), kPlus);
}

TEST_F(EvaluatorTest, AssignSubscriptAndAssignAllKeepTheTargetsShape) {
  Value target = matrixValue(2, 2, {1, 2, 3, 4});
  SharedArray<int> indices(2);
  indices[0] = 3;
  indices[1] = 0;
  ASSERT_EQ(assignSubscript(target, row({9, 8}), indices), 0);
  EXPECT_TRUE(sameValue(target, matrixValue(2, 2, {8, 2, 3, 9})));
  EXPECT_EQ(assignSubscript(target, Value(1.0), indices), 1);
  EXPECT_EQ(lastMessage(), "Assignment with different number of terms.");

  ASSERT_EQ(assignAll(target, row({1, 2, 3, 4})), 0);
  EXPECT_TRUE(sameValue(target, matrixValue(2, 2, {1, 3, 2, 4})));
  output.str("");
  EXPECT_EQ(assignAll(target, Value(1.0)), 1);
  EXPECT_EQ(lastMessage(), "Assignment with different number of terms.");

  Value empty;
  ASSERT_EQ(assignAll(empty, Value()), 0);
  EXPECT_TRUE(empty.IsEmpty());
}

// A host's element limit bounds every matrix of computed size, as the
// machine's memory does: the sizes a user writes are refused up to it.
TEST_F(OperatorTest, ElementLimitOfTheRunRefusesLargerResults) {
  setElementCap(100);
  EXPECT_EQ(isAllocatableCount(100), 1);
  EXPECT_EQ(isAllocatableCount(101), 0);
  expectValues({
      {"size(ones(10,10))", row({10, 10})},
      {"size(1:100)", row({1, 100})},
      {"size([1:60 1:40])", row({1, 100})},
  });
  expectErrors({
      {"ones(10,11)", "Invalid size."},
      {"zeros(101)", "Invalid size."},
      {"1:101", "Invalid size."},
      {"[1:60 1:41]", "Invalid size."},
  });
  // A division or a factorisation holds copies and work arrays beside its
  // result: they count against the bound together, so these are refused
  // though each result alone would fit.
  setParameter("M", Value(10, 10, 1.0));
  setParameter("S", matrixValue(2, 2, {2, 1, 1, 2}));
  setElementCap(150);
  expectValues({{"size(M * M)", row({10, 10})}, {"size(M')", row({10, 10})}, {"size(chol(eye(10)))", row({10, 10})}});
  expectErrors({{"M / M", "Invalid size."},
                {"M \\ M", "Invalid size."},
                {"M(:, 1:9) \\ M", "Invalid size."},
                {"M / M(1:9, :)", "Invalid size."},
                {"inv(M)", "Invalid size."},
                {"eig(M)", "Invalid size."},
                {"eigvec(M)", "Invalid size."}});
  // Small operands fit with everything they hold.
  expectValues({{"size(S / S)", row({2, 2})}, {"size(inv(S))", row({2, 2})}, {"size(eigvec(S))", row({2, 2})}});
  setElementCap(100);
  // null holds the argument's transpose, its n x n singular vectors and a
  // basis up to n x n at once: 2 * 36 + 6 elements fit, 2 * 49 + 7 do not,
  // though each of them alone would.
  expectValues({{"size(null(ones(1,6)))", row({6, 5})}});
  expectErrors({{"null(ones(1,7))", "Invalid size."}});
}

}  // namespace
