#include "builtins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "evaluator.h"
#include "lexer.h"
#include "script_fixture.h"
#include "test_matrices.h"
#include "workspace.h"

namespace {

// Runs a primary on one script line with a freshly seeded workspace and
// captures what it prints.
class BuiltinTest : public ScriptFixture {
 protected:
  // Makes text the input line and runs handler with its keyword pending.
  int run(int (*handler)(Value&), const std::string& text) {
    feed(text);
    resultName = "unset";
    result = Value();
    return handler(result);
  }
  // As run, for a line that must succeed and be taken up to its end.
  Value value(int (*handler)(Value&), const std::string& text) {
    EXPECT_EQ(run(handler, text), 0) << text << "\n" << output.str();
    EXPECT_EQ(peekNonSpace(), kEol) << text;
    EXPECT_EQ(resultName, "ans") << text;
    return result;
  }

  Value result;
};

// The largest absolute element of a - b (same sizes).
double maxDifference(const GenMatrixD& a, const GenMatrixD& b) {
  double d = 0.0;
  for (int k = 0; k < a.Size(); ++k) d = std::fmax(d, std::fabs(a[k] - b[k]));
  return d;
}

// ---- Sizes: eye, zeros, ones and parseSizeArgs ------------------------------

struct SizeCase {
  int (*handler)(Value&);
  const char* text;
  Value expected;
};

TEST_F(BuiltinTest, SizeFormsBuildTheirMatrices) {
  const std::vector<SizeCase> cases = {
      {primaryEye, "eye(2)", matrixValue(2, 2, {1, 0, 0, 1})},
      {primaryEye, "eye(2, 3)", matrixValue(2, 3, {1, 0, 0, 0, 1, 0})},
      {primaryEye, "eye( [2 3] )", matrixValue(2, 3, {1, 0, 0, 0, 1, 0})},
      {primaryEye, "eye([3; 2])", matrixValue(3, 2, {1, 0, 0, 1, 0, 0})},
      {primaryEye, "eye(1)", Value(1.0)},
      {primaryEye, "eye(2.9)", matrixValue(2, 2, {1, 0, 0, 1})},
      {primaryEye, "eye(1,1)", Value(1.0)},
      {primaryZeros, "zeros(2, 3)", matrixValue(2, 3, {0, 0, 0, 0, 0, 0})},
      {primaryZeros, "zeros(1,2)", matrixValue(1, 2, {0, 0})},
      {primaryOnes, "ones(3)", Value(3, 3, 1.0)},
      {primaryOnes, "ones(1, 1)", Value(1.0)},
      {primaryOnes, "ones(2,1+1)", matrixValue(2, 2, {1, 1, 1, 1})},
  };
  for (const SizeCase& c : cases) EXPECT_TRUE(sameValue(value(c.handler, c.text), c.expected)) << c.text;
}

struct ErrorCase {
  int (*handler)(Value&);
  std::string text;
  std::string message;
};

TEST_F(BuiltinTest, BadSizesAreReported) {
  const char* belowOne = "Matrix size must be greater than one.";
  const char* invalid = "Invalid size.";
  const std::vector<ErrorCase> cases = {
      {primaryEye, "eye", "Expected '('."},
      {primaryEye, "eye (2)", "Expected '('."},
      {primaryZeros, "zeros", "Expected '('."},
      {primaryOnes, "ones ;", "Expected '('."},
      {primaryEye, "eye(0)", belowOne},
      {primaryEye, "eye(0.9)", belowOne},
      {primaryEye, "eye(-3)", belowOne},
      {primaryEye, "eye(2, 0)", belowOne},
      {primaryEye, "eye([2 0])", belowOne},
      {primaryEye, "eye([0; 2])", belowOne},
      {primaryEye, "eye([])", invalid},
      {primaryEye, "eye([1 2 3])", invalid},
      {primaryZeros, "zeros(2, [1 2])", "Expected integer."},
      {primaryZeros, "zeros([2 3], 4)", "Expected )."},
      {primaryZeros, "zeros(2 3)", "Expected )."},
      // Sizes are checked as numbers before they become ints.
      {primaryZeros, "zeros(0/0)", invalid},
      {primaryZeros, "zeros(1/0)", invalid},
      {primaryZeros, "zeros(-1/0)", belowOne},
      {primaryZeros, "zeros([2 0/0])", invalid},
      {primaryOnes, "ones(3e9, 1)", invalid},
      // The element count must be allocatable, too.
      {primaryZeros, "zeros(100000)", invalid},
      {primaryOnes, "ones(50000, 50000)", invalid},
      {primaryEye, "eye([65536 65536])", invalid},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(run(c.handler, c.text), 1) << c.text;
    EXPECT_EQ(lastMessage(), c.message) << c.text;
  }
}

// The size parser on its own: the optional "(" must follow directly, and
// one number leaves n at 0 for the callers to read as square.
TEST_F(BuiltinTest, ParseSizeArgsReportsWhatWasWritten) {
  struct Case {
    const char* text;
    int m, n;
    int pending;  // the kind left at the front afterwards
  };
  const Case cases[] = {
      {"(4)", 4, 0, kEol},    {"(4, 2)", 4, 2, kEol}, {"([4 2])", 4, 2, kEol},
      {" (4)", 0, 0, kSpace}, {"= 3", 0, 0, kAssign}, {"(2.5,3.99) x", 2, 3, kSpace},
  };
  for (const Case& c : cases) {
    feed(c.text);
    int m = -1, n = -1;
    EXPECT_EQ(parseSizeArgs(m, n), 0) << c.text;
    EXPECT_EQ(m, c.m) << c.text;
    EXPECT_EQ(n, c.n) << c.text;
    EXPECT_EQ(peekKind(0), c.pending) << c.text;
  }
}

// ---- One-argument functions ---------------------------------------------

TEST_F(BuiltinTest, OneArgumentFunctionsComputeTheirValues) {
  const std::vector<SizeCase> cases = {
      {primarySqrt, "sqrt([4 9; 16 0])", matrixValue(2, 2, {2, 3, 4, 0})},
      {primarySqrt, "sqrt( 16 )", Value(4.0)},
      {primarySqrt, "sqrt([])", Value()},
      {primaryInv, "inv([2 0; 0 4])", matrixValue(2, 2, {0.5, 0, 0, 0.25})},
      {primaryInv, "inv(4)", Value(0.25)},
      {primaryInv, "inv([])", Value()},
      {primaryChol, "chol(4)", Value(2.0)},
      {primaryChol, "chol([])", Value()},
      {primaryNull, "null(0)", Value(1.0)},
      {primaryNull, "null(3)", Value(0.0)},
      {primaryNull, "null([1 0; 0 1])", Value()},
      {primaryEig, "eig(5)", Value(5.0)},
      {primaryEigvec, "eigvec(5)", Value(1.0)},
      {primaryEigvec, "eigvec(0/0)", Value(1.0)},
      {primaryEig, "eig([])", Value()},
      {primaryTrace, "trace([1 2; 3 4])", Value(5.0)},
      {primaryTrace, "trace(7)", Value(7.0)},
      {primaryTrace, "trace([])", Value()},
      {primaryFind, "find([1 0; 1 1])", matrixValue(1, 3, {1, 2, 4})},
      {primaryFind, "find([0 1; 1 0])", matrixValue(1, 2, {3, 2})},
      {primaryFind, "find([0 0])", Value()},
      {primaryFind, "find(5)", Value(1.0)},
      {primaryDiag, "diag([1 2 3])", matrixValue(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3})},
      {primaryDiag, "diag([1; 2; 3])", matrixValue(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3})},
      {primaryDiag, "diag([1 2; 3 4])", matrixValue(2, 1, {1, 4})},
      {primaryDiag, "diag([1 2 3; 4 5 6])", matrixValue(2, 1, {1, 5})},
      {primaryDiag, "diag([1 2; 3 4; 5 6])", matrixValue(2, 1, {1, 4})},
      {primaryDiag, "diag(5)", Value(5.0)},
      {primaryDiag, "diag([])", Value()},
      {primarySize, "size([1 2 3; 4 5 6])", matrixValue(1, 2, {2, 3})},
      {primarySize, "size(7)", matrixValue(1, 2, {1, 1})},
      {primarySize, "size([])", matrixValue(1, 2, {0, 0})},
      {primarySize, "size([1 2 3], 2)", Value(3.0)},
      {primarySize, "size([1 2 3] , 1.7 )", Value(1.0)},
  };
  for (const SizeCase& c : cases) EXPECT_TRUE(sameValue(value(c.handler, c.text), c.expected)) << c.text;
}

TEST_F(BuiltinTest, FactorisationsSatisfyTheirDefiningIdentities) {
  const GenMatrixD A = make(3, 3, {4, 1, 2, 1, 5, 3, 2, 3, 6});
  setParameter("A", Value(A));

  const GenMatrixD X = asMatrix(value(primaryInv, "inv(A)"));
  EXPECT_LT(maxDifference(A * X, identityMatrix(3)), 1e-12);

  const GenMatrixD R = asMatrix(value(primaryChol, "chol(A)"));
  EXPECT_LT(maxDifference(transpose(R) * R, A), 1e-12);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < i; ++j) EXPECT_EQ(R(i, j), 0.0);

  const GenMatrixD N = asMatrix(value(primaryNull, "null([1 1 1; 2 2 2])"));
  ASSERT_EQ(N.Rows(), 3);
  ASSERT_EQ(N.Cols(), 2);
  EXPECT_LT(maxDifference(make(2, 3, {1, 1, 1, 2, 2, 2}) * N, GenMatrixD(2, 2, 0.0, 0)), 1e-12);
  EXPECT_LT(maxDifference(transpose(N) * N, identityMatrix(2)), 1e-12);

  // A symmetric matrix has real eigenvalues: a column; each one makes
  // A - lambda I singular, and each eigenvector column v satisfies A v = lambda v.
  const GenMatrixD lambda = asMatrix(value(primaryEig, "eig(A)"));
  ASSERT_EQ(lambda.Rows(), 3);
  ASSERT_EQ(lambda.Cols(), 1);
  const GenMatrixD V = asMatrix(value(primaryEigvec, "eigvec(A)"));
  ASSERT_EQ(V.Rows(), 3);
  ASSERT_EQ(V.Cols(), 3);
  for (int j = 0; j < 3; ++j) {
    GenMatrixD v(3, 1);
    for (int i = 0; i < 3; ++i) v[i] = V(i, j);
    EXPECT_LT(maxDifference(A * v, lambda[j] * v), 1e-10) << "eigenpair " << j;
  }
}

TEST_F(BuiltinTest, OneArgumentFunctionErrors) {
  const std::vector<ErrorCase> cases = {
      {primaryInv, "inv([1 2 3])", "Can not invert nonsquare matrices!"},
      {primaryInv, "inv([1 2; 2 4])", "'inv' failed. Matrix may be ill conditionated or singular."},
      {primaryChol, "chol([1 2; 3 4])", "Can only compute cholesky factorization of square symmetric matrices!"},
      {primaryChol, "chol([1 2 3])", "Can only compute cholesky factorization of square symmetric matrices!"},
      {primaryChol, "chol([1 2; 2 1])", "'chol' failed. Matrix may be not positive definite."},
      {primaryEig, "eig([1 2 3])", "Can only compute eigenvalues of square matrices!"},
      {primaryEigvec, "eigvec([1 2 3])", "Can only compute eigenvectors of square matrices!"},
      {primaryTrace, "trace([1 2 3])", "Trace argument must be a square matrix"},
      {primarySize, "size([1 2], 0)", "Invalid size."},
      {primarySize, "size([1 2], 3)", "Invalid size."},
      {primarySize, "size([1 2], [1 2])", "Expected integer."},
      {primaryDiag, "sym(1)", "'sym' is not a primary."},
      {primaryDiag, "scl(1)", "'scl' is not a primary."},
      {primaryDiag, "gen", "'gen' is not a primary."},
      // A diagonal matrix too large to allocate is refused, not attempted.
      {primaryDiag, "diag(1:50000)", "Invalid size."},
      // The parenthesis must follow the keyword directly, and close the call.
      {primarySqrt, "sqrt (4)", "Expected (."},
      {primaryInv, "inv 4", "Expected (."},
      {primaryFind, "find(1", "Expected )."},
      {primarySize, "size(1 2)", "Expected )."},
      {primaryTrace, "trace(1,2)", "Expected )."},
      // A matrix with a NaN or an infinity has no eigen decomposition; the
      // solver would otherwise stop the process.
      {primaryEig, "eig([0/0 1; 1 1])", "'eig' failed."},
      {primaryEig, "eig([1 2; 1/0 1])", "'eig' failed."},
      {primaryEigvec, "eigvec([1 0/0; 1 1])", "'eigvec' failed."},
      // An error in the argument is the argument's own.
      {primaryEig, "eig(nosuchname)", "Unknown command, variable or parameter 'nosuchname'."},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(run(c.handler, c.text), 1) << c.text;
    EXPECT_EQ(lastMessage(), c.message) << c.text;
  }
}

TEST_F(BuiltinTest, SqrtWarnsAboutNegativeElementsAndKeepsThem) {
  EXPECT_TRUE(sameValue(value(primarySqrt, "sqrt([4 -1])"), matrixValue(1, 2, {2, -1})));
  EXPECT_EQ(output.str(), "#> Warning at line 1: Matrix contains negative elements which were ignored.\n");
  EXPECT_TRUE(sameValue(value(primarySqrt, "sqrt(-4)"), Value(-4.0)));
  EXPECT_NE(output.str().find("Warning"), std::string::npos);
}

TEST_F(BuiltinTest, ArgumentsAreReadWithoutTheBracketRule) {
  // At the top of a literal's element a sign before a digit starts a new
  // element; a function argument is a whole expression of its own.
  insideBrackets = 1;
  EXPECT_TRUE(sameValue(value(evalExpression, "trace(1 -2)"), Value(-1.0)));
  EXPECT_TRUE(sameValue(value(evalExpression, "size([1 2], 1 +1)"), Value(2.0)));
  EXPECT_EQ(insideBrackets, 1);
}

TEST_F(BuiltinTest, WorkspaceValuesAreNotChangedByTheFunctions) {
  setParameter("p", matrixValue(2, 2, {4, 9, 1, 16}));
  value(primarySqrt, "sqrt(p)");
  value(primaryDiag, "diag(p)");
  value(primaryTrace, "trace(p)");
  EXPECT_TRUE(sameValue(parameterTable.Lookup("p"), matrixValue(2, 2, {4, 9, 1, 16})));
}

// ---- null and the reserved parameters -----------------------------------

TEST_F(BuiltinTest, NullTakesItsToleranceFromTheValidatedRankEps) {
  // Singular values 1 and 0.1: nothing below the default 1e-10, the second
  // one below 0.5.
  EXPECT_TRUE(sameValue(value(primaryNull, "null([1 0; 0 0.1])"), Value()));
  setParameter("rank_eps", Value(0.5));
  const GenMatrixD N = asMatrix(value(primaryNull, "null([1 0; 0 0.1])"));
  ASSERT_EQ(N.Rows(), 2);
  ASSERT_EQ(N.Cols(), 1);
  EXPECT_EQ(N[0], 0.0);
  EXPECT_DOUBLE_EQ(std::fabs(N[1]), 1.0);
  EXPECT_EQ(solverSettings.rank_eps, 0.5);
}

TEST_F(BuiltinTest, NullChecksTheReservedParametersBeforeItsArgument) {
  const struct {
    const char* name;
    Value value;
    const char* message;
  } cases[] = {
      {"rank_eps", Value(-1.0), "Parameter 'rank_eps' must be a positive scalar."},
      {"rank_eps", Value(std::nan("")), "Parameter 'rank_eps' must be a positive scalar."},
      {"eps", matrixValue(1, 2, {1, 2}), "Parameter 'eps' must be a scalar."},
      {"max_iter", Value(0.0), "Parameter 'max_iter' must be a positive scalar."},
  };
  for (const auto& c : cases) {
    resetWorkspace();
    setParameter(c.name, c.value);
    // The unknown name is never evaluated: the parameter check comes first.
    EXPECT_EQ(run(primaryNull, "null(nosuchname)"), 1) << c.name;
    EXPECT_EQ(lastMessage(), c.message) << c.name;
    EXPECT_EQ(solverSettings.rank_eps, 1e-10) << c.name;
  }
}

// ---- Result names, cputime ------------------------------------------------

TEST_F(BuiltinTest, FunctionsOfANamedValueAreShownAsAns) {
  setParameter("x", matrixValue(1, 2, {1, 2}));
  const struct {
    int (*handler)(Value&);
    const char* text;
  } cases[] = {{primaryDiag, "diag(x)"}, {primarySqrt, "sqrt(x)"}, {primaryTrace, "trace(x(1))"},
               {primarySize, "size(x)"}, {primaryFind, "find(x)"}, {primaryDiag, "diag((x))"}};
  for (const auto& c : cases) value(c.handler, c.text);  // checks resultName
}

TEST_F(BuiltinTest, CputimeIsTheProcessorTimeUsedSoFar) {
  const Value first = value(primaryCputime, "cputime");
  ASSERT_TRUE(first.IsScalar());
  EXPECT_GE(*first.Scalar(), 0.0);
  // Burn some processor time, then read the clock again.
  volatile double sink = 0.0;
  const std::clock_t start = std::clock();
  while (std::clock() - start < CLOCKS_PER_SEC / 20) sink = sink + 1.0;
  const Value second = value(primaryCputime, "cputime");
  EXPECT_GE(*second.Scalar() - *first.Scalar(), 0.04);
  EXPECT_LT(*second.Scalar() - *first.Scalar(), 5.0);
}

TEST_F(BuiltinTest, CputimeTakesNoParentheses) {
  ASSERT_EQ(run(primaryCputime, "cputime(1)"), 0);
  EXPECT_EQ(peekKind(0), kLeftParen);
}

}  // namespace
