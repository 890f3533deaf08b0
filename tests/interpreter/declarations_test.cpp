// The var statement: the variables it declares (type, size, value), the
// order of its checks, and what stays declared after a failing item.
#include "declarations.h"

#include <string>

#include <gtest/gtest.h>

#include "lexer.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

class DeclarationTest : public ScriptFixture {
 protected:
  // Runs the var statement of line; returns its status.
  int declare(const std::string& line) {
    feed(line);
    return varStatement();
  }

  static int declared(const std::string& name) { return variableTable.Find(name).index >= 0; }
  static VarRecord& variable(const std::string& name) { return variableTable.Lookup(name); }

  void expectVariable(const std::string& name, int type, const GenMatrixD& value) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(declared(name));
    VarRecord& record = variable(name);
    EXPECT_EQ(record.GetType(), type);
    EXPECT_EQ(record.GetMask().Size(), 0);
    EXPECT_TRUE(sameMatrix(asMatrix(record.GetValue()), value));
    // The canonical forms: 1 x 1 as a scalar, 0-size as empty.
    if (value.Rows() == 1 && value.Cols() == 1) {
      EXPECT_TRUE(record.GetValue().IsScalar());
    }
  }
};

TEST_F(DeclarationTest, DeclaresTypeSizeAndValue) {
  const struct {
    const char* line;
    const char* name;
    int type;
    GenMatrixD value;
  } cases[] = {
      {"var x", "x", kScl, make(1, 1, {0})},
      {"var X(3)", "X", kGen, GenMatrixD(3, 3, 0.0, 0)},
      {"var X(2,3)", "X", kGen, GenMatrixD(2, 3, 0.0, 0)},
      {"var X([3 2])", "X", kGen, GenMatrixD(3, 2, 0.0, 0)},
      {"var gen x(1)", "x", kScl, make(1, 1, {0})},
      {"var sym s(1,1)", "s", kScl, make(1, 1, {0})},
      {"var diag d = 4", "d", kScl, make(1, 1, {4})},
      {"var sym P(3) = 1", "P", kSym, GenMatrixD(3, 3, 1.0, 0)},
      {"var x(1,3) = 2", "x", kGen, make(1, 3, {2, 2, 2})},
      {"var x = [1 2; 3 4]", "x", kGen, make(2, 2, {1, 2, 3, 4})},
      {"var sym S = [1 2; 2 5]", "S", kSym, make(2, 2, {1, 2, 2, 5})},
      {"var diag D(2) = [3 0; 0 -1]", "D", kDiag, make(2, 2, {3, 0, 0, -1})},
      {"var scl s = 7", "s", kScl, make(1, 1, {7})},
      {"var x = []", "x", kGen, GenMatrixD(0)},
      {"var sym  S(2)  =  [1 0;0 1]", "S", kSym, make(2, 2, {1, 0, 0, 1})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    resetWorkspace();
    ASSERT_EQ(declare(c.line), 0) << output.str();
    EXPECT_EQ(output.str(), "");
    expectVariable(c.name, c.type, c.value);
    EXPECT_EQ(needsRebuild, 1);
    EXPECT_EQ(peekKind(0), kEol);
  }
}

TEST_F(DeclarationTest, ATypeKeywordAppliesToTheOneNameAfterIt) {
  ASSERT_EQ(declare("var sym a(2) b c(2,3)"), 0) << output.str();
  expectVariable("a", kSym, GenMatrixD(2, 2, 0.0, 0));
  expectVariable("b", kScl, make(1, 1, {0}));
  expectVariable("c", kGen, GenMatrixD(2, 3, 0.0, 0));
}

TEST_F(DeclarationTest, TheSeparatorEndsTheStatementAndStaysPending) {
  ASSERT_EQ(declare("var x, y"), 0);
  EXPECT_TRUE(declared("x"));
  EXPECT_FALSE(declared("y"));
  EXPECT_EQ(peekKind(0), kComma);

  resetWorkspace();
  ASSERT_EQ(declare("var x = 1; y"), 0);
  EXPECT_EQ(peekKind(0), kSemicolon);
}

TEST_F(DeclarationTest, ATypeWithoutANameDeclaresNothing) {
  const int before = variableTable.Count();
  ASSERT_EQ(declare("var sym"), 0);
  EXPECT_EQ(variableTable.Count(), before);
  EXPECT_EQ(needsRebuild, 1);
}

TEST_F(DeclarationTest, FailingItemsStoreNothingAndKeepEarlierItems) {
  const struct {
    const char* line;
    const char* message;
    const char* kept;    // declared before the failing item, or ""
    const char* failed;  // never declared
  } cases[] = {
      {"var diag D(3) = 1", "Variable 'D' must be diagonal.", "", "D"},
      {"var diag D = [1 2; 0 1]", "Variable 'D' must be diagonal.", "", "D"},
      {"var x(2,2) = [1 2 3]", "Initialization does not match variable size.", "", "x"},
      {"var x(2) = []", "Initialization does not match variable size.", "", "x"},
      {"var sym S = [1 2; 3 4]", "Variable 'S' must be symmetric.", "", "S"},
      {"var sym S = [1 2; 2.000000001 4]", "Variable 'S' must be symmetric.", "", "S"},
      {"var sym S = [1 2 3]", "Variable 'S' must be symmetric.", "", "S"},
      {"var scl s(2)", "Variable 's' is not a scalar.", "", "s"},
      {"var scl s(1,2) = 3", "Variable 's' is not a scalar.", "", "s"},
      {"var scl s = [1 2]", "Variable 's' is not a scalar.", "", "s"},
      {"var scl s = []", "Variable 's' is not a scalar.", "", "s"},
      {"var sym S(2,3)", "Variable 'S' must be square.", "", "S"},
      {"var diag D([3 2])", "Variable 'D' must be square.", "", "D"},
      {"var x(0)", "Matrix size must be greater than one.", "", "x"},
      {"var x(1/0)", "Invalid size.", "", "x"},
      {"var a b(2) c(2) = [1 2]", "Initialization does not match variable size.", "b", "c"},
      {"var a x = nowhere", "Unknown command, variable or parameter 'nowhere'.", "a", "x"},
      {"var x (2)", "'(' is not a name or type.", "x", ""},
      {"var x 3", "'literal' is not a name or type.", "x", ""},
      {"var", "'eol' is not a name or type.", "", ""},
      {"var = 1", "'=' is not a name or type.", "", ""},
      {"var eps", "Trying to redefine parameter 'eps' as a variable.", "", ""},
      {"var a eps", "Trying to redefine parameter 'eps' as a variable.", "a", ""},
      {"var x = (x = 1)", "Trying to redefine parameter 'x' as a variable.", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    resetWorkspace();
    EXPECT_EQ(declare(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
    if (*c.kept) {
      EXPECT_TRUE(declared(c.kept));
    }
    if (*c.failed) {
      EXPECT_FALSE(declared(c.failed));
    }
  }
}

TEST_F(DeclarationTest, DeclaringAnExistingVariableAgainFails) {
  ASSERT_EQ(declare("var x(2)"), 0);
  for (const char* line : {"var x", "var sym x", "var y x"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(declare(line), 1);
    EXPECT_EQ(lastMessage(), "Trying to redefine variable 'x'.");
    EXPECT_TRUE(sameMatrix(asMatrix(variable("x").GetValue()), GenMatrixD(2, 2, 0.0, 0)));
  }
}

TEST_F(DeclarationTest, RebuildIsMarkedOnlyOnceAnItemIsReached) {
  const struct {
    const char* line;
    int marked;
  } cases[] = {{"var", 0}, {"var eps", 0}, {"var 3", 0}, {"var scl s(2)", 1}, {"var sym", 1}, {"var x", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    resetWorkspace();
    declare(c.line);
    EXPECT_EQ(needsRebuild, c.marked);
  }
}

TEST_F(DeclarationTest, TheInitialValueIsTheVariablesOwn) {
  setParameter("p", matrixValue(2, 2, {1, 2, 3, 4}));
  ASSERT_EQ(declare("var x = p"), 0);
  ASSERT_EQ(runLines("p(1,1) = 9;\n"), 0) << output.str();
  EXPECT_TRUE(sameMatrix(asMatrix(variable("x").GetValue()), make(2, 2, {1, 2, 3, 4})));
}

TEST_F(DeclarationTest, ParseVarTypeTakesOnlyATypeKeyword) {
  const struct {
    const char* line;
    int type;
    int next;
  } cases[] = {{"scl", kScl, kEol}, {"gen", kGen, kEol}, {"sym x", kSym, kSpace},
               {"diag", kDiag, kEol}, {"x", kGen, kName}, {"(", kGen, kLeftParen}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    feed(c.line);
    EXPECT_EQ(parseVarType(), c.type);
    EXPECT_EQ(peekKind(0), c.next);
  }
}

}  // namespace
