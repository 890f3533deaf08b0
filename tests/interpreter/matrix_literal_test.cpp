#include "matrix_literal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "allocation.h"
#include "evaluator.h"
#include "lexer.h"
#include "primaries.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

// ---- The builder on its own -------------------------------------------------

TEST(MatrixLiteralBuilder, ConcatenatesRowsOfBlocks) {
  // [eye(2) [5; 6]; 7 8 9]
  MatrixLiteralBuilder builder;
  EXPECT_EQ(builder.Add(matrixValue(2, 2, {1, 0, 0, 1})), kLiteralAdded);
  EXPECT_EQ(builder.Add(matrixValue(2, 1, {5, 6})), kLiteralAdded);
  EXPECT_EQ(builder.EndRow(), 0);
  EXPECT_EQ(builder.Add(Value(7.0)), kLiteralAdded);
  EXPECT_EQ(builder.Add(Value()), kLiteralAdded);  // dropped
  EXPECT_EQ(builder.Add(matrixValue(1, 2, {8, 9})), kLiteralAdded);
  Value out(3.0);
  EXPECT_EQ(builder.Assemble(out), 0);
  EXPECT_TRUE(sameValue(out, matrixValue(3, 3, {1, 0, 5, 0, 1, 6, 7, 8, 9})));
}

TEST(MatrixLiteralBuilder, EmptyRowsVanishAndSizesCollapse) {
  {
    MatrixLiteralBuilder builder;
    EXPECT_EQ(builder.EndRow(), 0);
    builder.Add(Value());
    EXPECT_EQ(builder.EndRow(), 0);
    Value out(1.0);
    EXPECT_EQ(builder.Assemble(out), 0);
    EXPECT_TRUE(out.IsEmpty());
  }
  {
    MatrixLiteralBuilder builder;  // [[]; 5; []]
    builder.EndRow();
    builder.Add(Value(5.0));
    builder.EndRow();
    builder.EndRow();
    Value out;
    EXPECT_EQ(builder.Assemble(out), 0);
    EXPECT_TRUE(sameValue(out, Value(5.0)));
  }
}

TEST(MatrixLiteralBuilder, RefusesMismatchedSizesAndChangesNothing) {
  MatrixLiteralBuilder builder;
  builder.Add(matrixValue(1, 2, {1, 2}));
  EXPECT_EQ(builder.Add(matrixValue(2, 1, {3, 4})), kLiteralRowMismatch);
  EXPECT_EQ(builder.EndRow(), 0);
  builder.Add(Value(3.0));
  EXPECT_EQ(builder.EndRow(), 1);  // narrower than the first row: stays open
  EXPECT_EQ(builder.Add(matrixValue(1, 2, {4, 5})), kLiteralTooWide);
  EXPECT_EQ(builder.Add(Value(4.0)), kLiteralAdded);
  EXPECT_EQ(builder.Add(Value(5.0)), kLiteralTooWide);
  Value out;
  EXPECT_EQ(builder.Assemble(out), 0);
  EXPECT_TRUE(sameValue(out, matrixValue(2, 2, {1, 2, 3, 4})));
}

TEST(MatrixLiteralBuilder, AssembleFailsOnANarrowLastRow) {
  MatrixLiteralBuilder builder;
  builder.Add(matrixValue(1, 2, {1, 2}));
  builder.EndRow();
  builder.Add(Value(3.0));
  Value out(1.0);
  EXPECT_EQ(builder.Assemble(out), 1);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(MatrixLiteralBuilder, ResultOwnsItsElements) {
  Value element = matrixValue(1, 2, {1, 2});
  MatrixLiteralBuilder builder;
  builder.Add(element);
  builder.Add(element);
  Value out;
  ASSERT_EQ(builder.Assemble(out), 0);
  (*element.Matrix())[0] = 9.0;
  EXPECT_TRUE(sameValue(out, matrixValue(1, 4, {1, 2, 1, 2})));
}

TEST(MatrixLiteralBuilder, ManyElementsAssembleInLinearTime) {
  // A quadratic walk over the element list would take minutes here.
  const int n = 300000;
  MatrixLiteralBuilder builder;
  for (int i = 0; i < n; ++i) {
    builder.Add(Value(static_cast<double>(i)));
    if (i % 3 == 2) builder.EndRow();
  }
  Value out;
  ASSERT_EQ(builder.Assemble(out), 0);
  ASSERT_EQ(out.Rows(), n / 3);
  ASSERT_EQ(out.Cols(), 3);
  const GenMatrixD& m = *out.Matrix();
  for (int i = 0; i < n; ++i) ASSERT_EQ(m(i / 3, i % 3), i);
}

TEST(MatrixLiteralBuilder, RefusesAResultTooLargeToAllocate) {
  // One 2^20-element column added 2^11 times would be 2^31 elements, more
  // than a matrix can count; the builder stops where allocation would fail,
  // sooner when the memory available is less than those 16 GiB. (Where
  // exactly follows the memory available at each step, which moves.)
  const Value column(1 << 20, 1, 1.0);
  MatrixLiteralBuilder builder;
  int accepted = 0;
  int code = kLiteralAdded;
  while (accepted < 4096 && (code = builder.Add(column)) == kLiteralAdded) ++accepted;
  EXPECT_EQ(code, kLiteralTooLarge);
  EXPECT_LT(accepted, 2048);
}

// Past 2^20 elements the memory gate asks the system, which reads files: a
// literal asks it each time its elements outgrow what it was granted, a
// number of times that grows with the logarithm of its size, not once for
// each element.
TEST(MatrixLiteralBuilder, AsksTheSystemForMemoryLogarithmicallyOften) {
  const struct {
    int rows;
    int cols;
    int count;  // elements added, side by side
  } cases[] = {
      {1, 1, (1 << 20) + 50000},
      {1, 1000, 4000},
      {1000, 1, 4000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cols);
    const Value element(c.rows, c.cols, 1.0);
    MatrixLiteralBuilder builder;
    const long before = memoryQueryCount();
    for (int k = 0; k < c.count; ++k) ASSERT_EQ(builder.Add(element), kLiteralAdded);
    const double total = static_cast<double>(c.count) * c.rows * c.cols;
    // One ask past 2^20 elements, then one at each doubling.
    EXPECT_LE(memoryQueryCount() - before, 1 + std::ceil(std::log2(total / (1 << 20))));
  }
}

// ---- Literals read from script lines --------------------------------------

// Evaluates script text as one expression with a freshly seeded workspace
// and captures what is printed.
class LiteralTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    inputFileName.clear();  // the error reports below name no file
  }

  int run(const std::string& text) {
    feed(text);
    resultName = "unset";
    result = Value(42.0);
    return evalExpression(result);
  }

  Value result;
};

struct LiteralCase {
  const char* text;
  Value expected;
};

TEST_F(LiteralTest, ElementsAndRowsInEveryWriting) {
  const Value twoByTwo = matrixValue(2, 2, {1, 2, 3, 4});
  const std::vector<LiteralCase> cases = {
      {"[]", Value()},
      {"[ ]", Value()},
      {"[[] []]", Value()},
      {"[[]; []]", Value()},
      {"[1 []]", Value(1.0)},
      {"[1; []; 2]", matrixValue(2, 1, {1, 2})},
      {"[5]", Value(5.0)},
      {"[1 2; 3 4]", twoByTwo},
      {"[1, 2; 3, 4]", twoByTwo},
      {"[1,2;3,4]", twoByTwo},
      {"[ 1 2 ; 3 4 ]", twoByTwo},
      {"[1 2\n3 4]", twoByTwo},
      {"[1 2;\n3 4]", twoByTwo},
      {"[1 2\n\n  \n3 4\n]", twoByTwo},
      {"[\n1 2; 3 4]", twoByTwo},
      {"[1 2 % first row\n3 4]", twoByTwo},
      {"[1 ...\n 2; 3 4]", twoByTwo},
      {"[eye(2) [5; 6]]", matrixValue(2, 3, {1, 0, 5, 0, 1, 6})},
      {"[eye(2); 7 8]", matrixValue(3, 2, {1, 0, 0, 1, 7, 8})},
      {"[[1 2; 3 4] [5; 6]; 7 8 9]", matrixValue(3, 3, {1, 2, 5, 3, 4, 6, 7, 8, 9})},
      {"[1 2, ]", matrixValue(1, 2, {1, 2})},
      {"[1 2]'", matrixValue(2, 1, {1, 2})},
      {"[1:3; 4:6]", matrixValue(2, 3, {1, 2, 3, 4, 5, 6})},
      // The sign rule: a sign followed directly by a non-blank starts an
      // element; one followed by a blank is an operator.
      {"[1 -2]", matrixValue(1, 2, {1, -2})},
      {"[1-2]", matrixValue(1, 2, {1, -2})},
      {"[1, -2]", matrixValue(1, 2, {1, -2})},
      {"[1 +2]", matrixValue(1, 2, {1, 2})},
      {"[1 - 2]", Value(-1.0)},
      {"[1- 2]", Value(-1.0)},
      {"[1 -2 * 3]", matrixValue(1, 2, {1, -6})},
      {"[(1 -2)]", Value(-1.0)},
      {"[size([1 2], 1 +1)]", Value(2.0)},
      {"[[1 -2] -3]", matrixValue(1, 3, {1, -2, -3})},
      {"[-1 -2]", matrixValue(1, 2, {-1, -2})},
      {"1 -2", Value(-1.0)},
  };
  for (const LiteralCase& c : cases) {
    EXPECT_EQ(run(c.text), 0) << c.text << "\n" << output.str();
    EXPECT_TRUE(sameValue(result, c.expected)) << c.text;
    EXPECT_EQ(peekNonSpace(), kEol) << c.text;
    EXPECT_EQ(insideBrackets, 0) << c.text;
  }
}

TEST_F(LiteralTest, NamesAndTransposesAsElements) {
  setParameter("a", Value(1.0));
  setParameter("b", matrixValue(2, 1, {2, 3}));
  EXPECT_EQ(run("[a -b']"), 0) << output.str();
  EXPECT_TRUE(sameValue(result, matrixValue(1, 3, {1, -2, -3})));
  EXPECT_EQ(resultName, "ans");
  EXPECT_EQ(run("[a - b']"), 0) << output.str();
  EXPECT_TRUE(sameValue(result, matrixValue(1, 2, {-1, -2})));
  EXPECT_EQ(run("[b' -a b']"), 0) << output.str();
  EXPECT_TRUE(sameValue(result, matrixValue(1, 5, {2, 3, -1, 2, 3})));
  EXPECT_EQ(run("[b' - b]"), 1);
  EXPECT_EQ(lastMessage(), "Can not add or subtract matrices with different sizes!");
  // A literal made of a stored matrix is a copy of it.
  EXPECT_EQ(run("[b]"), 0);
  (*result.Matrix())[0] = 9.0;
  EXPECT_TRUE(sameValue(parameterTable.Lookup("b"), matrixValue(2, 1, {2, 3})));
}

TEST_F(LiteralTest, SizeErrors) {
  const char* columns = "Can not concatenate matrices with different column sizes.";
  const char* rows = "Can not concatenate matrices with different row sizes.";
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"[1 2; 3]", columns},
      {"[1 2 3; 4 5]", columns},
      {"[1 2; 3\n4 5]", columns},
      {"[1; 2 3]", columns},
      {"[[1; 2] 3]", rows},
      {"[1 [2; 3]]", rows},
      {"[1,,2]", "',' is not a primary."},
      {"[1;;2]", "';' is not a primary."},
      {"[1 2", "End of file reached inside a matrix definition."},
      {"[1 2;", "End of file reached inside a matrix definition."},
      {"[", "End of file reached inside a matrix definition."},
      {"[1 2\n\n", "End of file reached inside a matrix definition."},
      {"[1 +", "Primary expected."},
      {"[1 [2 ,,]]", "',' is not a primary."},
      {"[(1 2)]", "Expected )."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.text), 1) << c.text;
    EXPECT_EQ(lastMessage(), c.message) << c.text;
    EXPECT_EQ(insideBrackets, 0) << c.text;  // restored on every exit
  }
}

TEST_F(LiteralTest, ColumnSizeErrorShowsTheLinesOfTheLiteral) {
  ASSERT_EQ(run("[1 2\n3]"), 1);
  EXPECT_EQ(output.str(),
            "#> Error in \"\" (line 2) at:\n"
            "[1 2\n"
            "3]\n"
            "-^\n"
            "#> Can not concatenate matrices with different column sizes.\n");
}

TEST_F(LiteralTest, TheBracketRuleEndsWithTheLiteral) {
  ASSERT_EQ(run("[1 2"), 1);
  EXPECT_EQ(insideBrackets, 0);
  ASSERT_EQ(run("1 -2"), 0);
  EXPECT_TRUE(sameValue(result, Value(-1.0)));
}

TEST_F(LiteralTest, RestOfTheLastLineStaysPending) {
  ASSERT_EQ(run("[1\n2], 7"), 0);
  EXPECT_TRUE(sameValue(result, matrixValue(2, 1, {1, 2})));
  EXPECT_EQ(peekNonSpace(), kComma);
  EXPECT_EQ(lineNumber, 2);
}

}  // namespace
