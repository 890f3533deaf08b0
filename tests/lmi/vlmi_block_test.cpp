#include "vlmi_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "affine_test_support.h"

namespace {

VLmiBlock slash(const VLmiBlock& a, const VLmiBlock& b) {
  VLmiBlock r;
  EXPECT_EQ(0, VLmiBlock::Slash(a, b, r));
  return r;
}

VLmiBlock backSlash(const VLmiBlock& a, const VLmiBlock& b) {
  VLmiBlock r;
  EXPECT_EQ(0, VLmiBlock::BackSlash(a, b, r));
  return r;
}

VLmiBlock sym(const VLmiBlock& a) {
  VLmiBlock r;
  EXPECT_EQ(0, VLmiBlock::Sym(a, r));
  return r;
}

VLmiBlock transpose(const VLmiBlock& a) { return VLmiBlock::Transpose(a); }

std::string printed(const VLmiBlock& b) {
  std::ostringstream s;
  VLmiBlock::Print(s, b);
  return s.str();
}

int sum(const VLmiBlock& a, const VLmiBlock& b, int subtract, VLmiBlock& out) {
  return subtract ? VLmiBlock::Subtract(a, b, out) : VLmiBlock::Add(a, b, out);
}

class VLmiBlockTest : public AffineTest {
 protected:
  void SetUp() override {
    AffineTest::SetUp();
    X = varBlock("X");
    Y = varBlock("Y");
    V = varBlock("V");
    W = varBlock("W");
    x = varBlock("x");
    t = varBlock("t");
  }

  Value eval(const VLmiBlock& b, ScalarReading reading = kScalarEverywhere) {
    return b.Eval(variableTable, reading);
  }
  // The unit column e_i of length n.
  static Value unit(int n, int i) {
    GenMatrixD e(n, 1, 0.0, 0);
    e(i, 0) = 1.0;
    return Value(e);
  }

  VLmiBlock X, Y, V, W, x, t;
};

// The algebra against the same expression in plain matrix arithmetic, at
// several random values of the variables. Where no 1 x 1 term is left in a
// larger square block, both readings of such a term must give that value.
TEST_F(VLmiBlockTest, AlgebraMatchesMatrixArithmetic) {
  const VLmiBlock cA = constBlock(A), cB = constBlock(B), cC = constBlock(C), cM = constBlock(M);
  const VLmiBlock one = constBlock(1.0), two = constBlock(2.0), zero = constBlock(0.0);
  auto X_ = [&] { return var("X"); };
  auto Y_ = [&] { return var("Y"); };
  auto V_ = [&] { return var("V"); };
  auto x_ = [&] { return var("x"); };
  auto t_ = [&] { return var("t"); };
  auto tr = transposeValue;
  auto mul = multiplyValues;
  auto add = addValues;
  auto sub = subtractValues;
  auto symOf = [&](const Value& v) { return add(v, tr(v)); };
  auto traceOf = [](const Value& v) {
    const GenMatrixD m = asMatrix(v);
    double sum = 0.0;
    for (int i = 0; i < m.Rows(); ++i) sum += m(i, i);
    return Value(sum);
  };

  VLmiBlock traceX(1);
  for (int i = 0; i < 3; ++i) {
    const VLmiBlock e = constBlock(unit(3, i));
    traceX = traceX + (transpose(e) * X) * e;
  }

  struct Case {
    std::string label;
    VLmiBlock block;
    int rows, cols, terms;  // terms -1: not checked
    int readingsAgree;
    std::function<Value()> reference;
  };
  const std::vector<Case> cases = {
      {"X", X, 3, 3, 2, 1, X_},
      {"X + X", X + X, 3, 3, 3, 1, [&] { return add(X_(), X_()); }},
      {"X - Y", X - Y, 3, 3, 3, 1, [&] { return sub(X_(), Y_()); }},
      {"Y - X + Y", Y - X + Y, 3, 3, 4, 1, [&] { return add(sub(Y_(), X_()), Y_()); }},
      {"x + M", x + cM, 2, 2, 2, 0, [&] { return add(x_(), M); }},
      {"t - M", t - cM, 2, 2, 2, 0, [&] { return sub(t_(), M); }},
      {"(X + x)'", transpose(X + x), 3, 3, 3, 0, [&] { return tr(add(X_(), x_())); }},
      {"x + t", x + t, 1, 1, 3, 1, [&] { return add(x_(), t_()); }},
      {"A*X", cA * X, 2, 3, 2, 1, [&] { return mul(A, X_()); }},
      {"x*A", x * cA, 2, 3, 2, 1, [&] { return mul(x_(), A); }},
      {"A*x", cA * x, 2, 3, 2, 1, [&] { return mul(A, x_()); }},
      {"(x + 1)*M", (x + one) * cM, 2, 2, 2, 1, [&] { return mul(add(x_(), 1.0), M); }},
      {"2*X", two * X, 3, 3, 2, 1, [&] { return mul(2.0, X_()); }},
      {"X/2", slash(X, two), 3, 3, 2, 1, [&] { return rightDivideValues(X_(), 2.0); }},
      {"2\\X", backSlash(two, X), 3, 3, 2, 1, [&] { return leftDivideValues(2.0, X_()); }},
      {"x/B", slash(x, cB), 3, 3, 2, 1, [&] { return mul(x_(), inverse(B)); }},
      {"V'", transpose(V), 3, 2, 2, 1, [&] { return tr(V_()); }},
      {"A*X*B", (cA * X) * cB, 2, 3, 2, 1, [&] { return mul(mul(A, X_()), B); }},
      {"A*(X + Y')*C", (cA * (X + transpose(Y))) * cC, 2, 2, 3, 1,
       [&] { return mul(mul(A, add(X_(), tr(Y_()))), C); }},
      {"(X - 2*Y')/B", slash(X - two * transpose(Y), cB), 3, 3, 3, 1,
       [&] { return rightDivideValues(sub(X_(), mul(2.0, tr(Y_()))), B); }},
      {"B\\(X + Y)*C", backSlash(cB, X + Y) * cC, 3, 2, 3, 1,
       [&] { return mul(leftDivideValues(B, add(X_(), Y_())), C); }},
      {"-(X - A'*W*A)", VLmiBlock::Negate(X - (transpose(cA) * W) * cA), 3, 3, 3, 1,
       [&] { return sub(mul(mul(tr(A), var("W")), A), X_()); }},
      // A symmetric term met by a matrix is split into P and P'.
      {"A*sym(X)*A'", (cA * sym(X)) * transpose(cA), 2, 2, 3, 1, [&] { return mul(mul(A, symOf(X_())), tr(A)); }},
      {"sym(X)/B", slash(sym(X), cB), 3, 3, 3, 1, [&] { return rightDivideValues(symOf(X_()), B); }},
      {"B\\sym(X - Y)", backSlash(cB, sym(X - Y)), 3, 3, 5, 1,
       [&] { return leftDivideValues(B, symOf(sub(X_(), Y_()))); }},
      {"2*sym(X)", two * sym(X), 3, 3, 2, 1, [&] { return mul(2.0, symOf(X_())); }},
      {"sym(V*C)", sym(V * cC), 2, 2, 2, 1, [&] { return symOf(mul(V_(), C)); }},
      // A zero factor keeps every term at the block's size.
      {"0*(A*X*C)", zero * ((cA * X) * cC), 2, 2, 2, 1, [&] { return Value(2, 2, 0.0); }},
      {"trace(X)", traceX, 1, 1, 4, 1,
       [&] {
         Value sum(0.0);
         for (int i = 0; i < 3; ++i) sum = add(sum, mul(tr(unit(3, i)), mul(X_(), unit(3, i))));
         return sum;
       }},
      // A 1 x 1 term with matrix coefficients times a matrix is s M, one
      // term per column (or row) of M.
      {"trace(X)*M", traceX * cM, 2, 2, 7, 1, [&] { return mul(traceOf(X_()), M); }},
      {"A'*trace(X)", transpose(cA) * traceX, 3, 2, 7, 1, [&] { return mul(tr(A), traceOf(X_())); }},
      {"M*(trace(X) + W)", cM * (traceX + W), 2, 2, 8, 1,
       [&] { return add(mul(traceOf(X_()), M), mul(M, var("W"))); }},
      {"sym(e1'*X*e2)*C'", sym((transpose(constBlock(unit(3, 0))) * X) * constBlock(unit(3, 1))) * transpose(cC),
       2, 3, 5, 1, [&] { return mul(2.0 * asMatrix(X_())(0, 1), tr(C)); }},
      // In a block that is not square a 1 x 1 term means every element.
      {"(V + 1)*C", (V + one) * cC, 2, 2, 2, 1, [&] { return mul(add(V_(), 1.0), C); }},
      {"M*(V - x)", cM * (V - x), 2, 3, 3, 1, [&] { return mul(M, sub(V_(), x_())); }},
      {"(x - V)*C", (x - V) * cC, 2, 2, 3, 1, [&] { return mul(sub(x_(), V_()), C); }},
      {"(V + x)'*M", transpose(V + x) * cM, 3, 2, 3, 1, [&] { return mul(tr(add(V_(), x_())), M); }},
      // Two constants combine by the matrix language's rules.
      {"M*0", cM * zero, 2, 2, 1, 1, [&] { return mul(M, 0.0); }},
      {"A/B", slash(cA, cB), 2, 3, 1, 1, [&] { return rightDivideValues(A, B); }},
      {"B\\C", backSlash(cB, cC), 3, 2, 1, 1, [&] { return leftDivideValues(B, C); }},
      {"2/M", slash(two, cM), 2, 2, 1, 1, [&] { return rightDivideValues(2.0, M); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.rows, c.block.Rows()) << c.label;
    EXPECT_EQ(c.cols, c.block.Cols()) << c.label;
    if (c.terms >= 0) {
      EXPECT_EQ(c.terms, c.block.NumTerms()) << c.label;
    }
    for (int draw = 0; draw < 4; ++draw) {
      redraw();
      const Value expected = c.reference();
      EXPECT_TRUE(valuesNear(eval(c.block), expected)) << c.label << ", draw " << draw;
      if (c.readingsAgree) {
        EXPECT_TRUE(valuesNear(eval(c.block, kScalarTimesIdentity), expected)) << c.label << ", draw " << draw;
      }
    }
  }
  EXPECT_TRUE(messages().empty());
}

// Matrix inequalities read a 1 x 1 term of a square block as that scalar
// times the identity; products already follow that reading.
TEST_F(VLmiBlockTest, IdentityReadingOfScalarTerms) {
  const VLmiBlock shifted = X - t - constBlock(1.0);
  const VLmiBlock framed = (constBlock(A) * (X - t)) * constBlock(C);
  for (int draw = 0; draw < 3; ++draw) {
    redraw();
    const Value shift = addValues(var("t"), 1.0);
    EXPECT_TRUE(valuesNear(eval(shifted, kScalarTimesIdentity), subtractValues(var("X"), multiplyValues(shift, identity(3)))));
    EXPECT_TRUE(valuesNear(eval(shifted), subtractValues(var("X"), shift)));
    const Value expected = multiplyValues(multiplyValues(A, subtractValues(var("X"), multiplyValues(var("t"), identity(3)))), C);
    EXPECT_TRUE(valuesNear(eval(framed, kScalarTimesIdentity), expected));
    EXPECT_TRUE(valuesNear(eval(framed), expected));
  }
}

// The value always has the size that the block states, even when every term
// is 1 x 1.
TEST_F(VLmiBlockTest, ValueHasTheBlocksSize) {
  redraw();
  VLmiBlock b(1);
  b.AddTerm("x", 1, 1);
  b.Rows() = 2;
  b.Cols() = 2;
  const double s = *var("x").Scalar();
  EXPECT_TRUE(valuesNear(eval(b), Value(2, 2, s)));
  EXPECT_TRUE(valuesNear(eval(b, kScalarTimesIdentity), multiplyValues(s, identity(2))));

  // Outside square blocks the scalar can only mean every element.
  VLmiBlock wide = varBlock("V");
  wide.AddTerm("x", 1, 1);
  EXPECT_TRUE(valuesNear(eval(wide, kScalarTimesIdentity), addValues(var("V"), s)));

  // A constant block yields its constant, sharing its elements.
  const VLmiBlock k = constBlock(M);
  EXPECT_EQ(M.Matrix()->Data(), eval(k).Matrix()->Data());
}

// The value of a block with variable terms is new storage: a caller that
// works on it in place (sqrt of an evaluated LME) must not reach the
// variable.
TEST_F(VLmiBlockTest, ValueNeverSharesAVariablesElements) {
  redraw();
  const double* storage = var("X").Matrix()->Data();
  for (const ScalarReading reading : {kScalarEverywhere, kScalarTimesIdentity}) {
    const Value v = eval(X, reading);
    EXPECT_TRUE(valuesNear(v, var("X")));
    EXPECT_NE(storage, v.Matrix()->Data());
  }
}

// The terms are added in their order, the constant first: (X + x) + Y, not
// (X + Y) + x, which rounds differently.
TEST_F(VLmiBlockTest, TermsAreAddedInTheirOrder) {
  variableTable.Lookup("X").GetValue() = Value(3, 3, 1e16);
  variableTable.Lookup("Y").GetValue() = Value(3, 3, -1e16);
  variableTable.Lookup("x").GetValue() = Value(1.0);
  const Value expected = addValues(addValues(addValues(0.0, var("X")), var("x")), var("Y"));
  const Value v = eval(X + x + Y);
  ASSERT_TRUE(v.IsMatrix());
  const GenMatrixD got = asMatrix(v), want = asMatrix(expected);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(want[k], got[k]) << k;
}

TEST_F(VLmiBlockTest, IdentityReadingLeavesTheVariableAlone) {
  redraw();
  Value before;
  before.DeepCopy(var("X"));
  const Value sum = eval(X + t, kScalarTimesIdentity);
  EXPECT_TRUE(valuesNear(var("X"), before));
  EXPECT_TRUE(valuesNear(sum, addValues(before, multiplyValues(var("t"), identity(3)))));
}

TEST_F(VLmiBlockTest, ZeroBlockAndVariableBlocks) {
  const VLmiBlock zero(1);
  EXPECT_EQ(1, zero.NumTerms());
  EXPECT_EQ(0, isMatrixBlock(zero));
  EXPECT_TRUE(valuesNear(eval(zero), Value(0.0)));
  EXPECT_EQ(0, isMatrixBlock(x));
  EXPECT_EQ(1, isMatrixBlock(V));
  EXPECT_EQ(1, isMatrixBlock(transpose(V)));

  ASSERT_EQ(2, W.NumTerms());
  EXPECT_TRUE(valuesNear(lmiConstantPart(W), Value(0.0)));
  EXPECT_EQ("W", W[1].name);
  redraw();
  EXPECT_TRUE(valuesNear(eval(W), var("W")));

  // X - Y negates Y's term with the scalar -1 as its left coefficient.
  const VLmiBlock d = X - Y;
  EXPECT_EQ("Y", d[2].name);
  EXPECT_EQ(0, d[2].leftIsIdentity);
  EXPECT_TRUE(valuesNear(d[2].left, Value(-1.0)));
}

// Dividing a block of variables keeps its zero constant exactly 0 (no
// infinities or NaN from dividing 0 by the matrix).
TEST_F(VLmiBlockTest, ZeroConstantSurvivesDivision) {
  const VLmiBlock cB = constBlock(B);
  for (const VLmiBlock& q : {slash(X, cB), backSlash(cB, X), slash(sym(X), cB)}) {
    const Value c = lmiConstantPart(q);
    ASSERT_TRUE(c.IsScalar());
    EXPECT_EQ(0.0, *c.Scalar());
  }
}

TEST_F(VLmiBlockTest, SumAndProductMessages) {
  struct Case {
    std::string label;
    std::function<VLmiBlock()> operation;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"X + V", [&] { return X + V; }, "VLmiBlock::operator+(): Summing different sizes"},
      {"X - V", [&] { return X - V; }, "VLmiBlock::operator-(): Subtracting different sizes"},
      {"X*Y", [&] { return X * Y; }, "VLmiBlock::operator*(): Not a linear operation"},
      {"M*X", [&] { return constBlock(M) * X; }, "VLmiBlock::operator*(): Multiplying different sizes"},
      {"X*A", [&] { return X * constBlock(A); }, "VLmiBlock::operator*(): Multiplying different sizes"},
      {"M*B", [&] { return constBlock(M) * constBlock(B); }, "VLmiBlock::operator*(): Multiplying different sizes"},
  };
  for (const Case& c : cases) {
    const VLmiBlock r = c.operation();
    EXPECT_EQ(std::vector<std::string>{c.message}, messages()) << c.label;
    EXPECT_EQ(1, r.NumTerms()) << c.label;
    EXPECT_EQ(1, r.Rows()) << c.label;
  }
}

// The status forms fail after the same reports and leave the destination
// as it was.
TEST_F(VLmiBlockTest, SumAndProductStatus) {
  struct Case {
    std::string label;
    std::function<int(VLmiBlock&)> operation;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"X + V", [&](VLmiBlock& r) { return VLmiBlock::Add(X, V, r); }, "VLmiBlock::operator+(): Summing different sizes"},
      {"X - V", [&](VLmiBlock& r) { return VLmiBlock::Subtract(X, V, r); },
       "VLmiBlock::operator-(): Subtracting different sizes"},
      {"X*Y", [&](VLmiBlock& r) { return VLmiBlock::Multiply(X, Y, r); }, "VLmiBlock::operator*(): Not a linear operation"},
      {"M*X", [&](VLmiBlock& r) { return VLmiBlock::Multiply(constBlock(M), X, r); },
       "VLmiBlock::operator*(): Multiplying different sizes"},
      // An empty constant has no element for a variable to enter, whatever
      // the size of the variable side: the product is refused, not made an
      // empty block that still names variables.
      {"x*[]", [&](VLmiBlock& r) { return VLmiBlock::Multiply(x, constBlock(Value()), r); },
       "VLmiBlock::operator*(): Multiplying different sizes"},
      {"[]*x", [&](VLmiBlock& r) { return VLmiBlock::Multiply(constBlock(Value()), x, r); },
       "VLmiBlock::operator*(): Multiplying different sizes"},
      {"[]*X", [&](VLmiBlock& r) { return VLmiBlock::Multiply(constBlock(Value()), X, r); },
       "VLmiBlock::operator*(): Multiplying different sizes"},
  };
  for (const Case& c : cases) {
    VLmiBlock r = W;
    const VMatTerm* before = r.Terms().Data();
    EXPECT_EQ(1, c.operation(r)) << c.label;
    EXPECT_EQ(std::vector<std::string>{c.message}, messages()) << c.label;
    EXPECT_EQ(before, r.Terms().Data()) << c.label;
    EXPECT_EQ(2, r.Rows()) << c.label;
  }
  VLmiBlock r;
  EXPECT_EQ(0, VLmiBlock::Add(X, x, r));
  EXPECT_EQ(3, r.NumTerms());
  EXPECT_EQ(0, VLmiBlock::Multiply(constBlock(A), X, r));
  EXPECT_EQ(2, r.Rows());
  EXPECT_TRUE(messages().empty());
}

// Two constants combine by the matrix language's rules, an empty one
// included: every operation with an empty operand gives the empty value.
TEST_F(VLmiBlockTest, EmptyConstantsGiveTheEmptyConstant) {
  const VLmiBlock empty = constBlock(Value());
  struct Case {
    std::string label;
    std::function<int(VLmiBlock&)> operation;
  };
  const std::vector<Case> cases = {
      {"[]*2", [&](VLmiBlock& r) { return VLmiBlock::Multiply(empty, constBlock(2.0), r); }},
      {"2*[]", [&](VLmiBlock& r) { return VLmiBlock::Multiply(constBlock(2.0), empty, r); }},
      {"[]/2", [&](VLmiBlock& r) { return VLmiBlock::Slash(empty, constBlock(2.0), r); }},
      {"2\\[]", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(constBlock(2.0), empty, r); }},
      {"[]+[]", [&](VLmiBlock& r) { return VLmiBlock::Add(empty, empty, r); }},
      {"sym([])", [&](VLmiBlock& r) { return VLmiBlock::Sym(empty, r); }},
      {"-[]", [&](VLmiBlock& r) {
         r = VLmiBlock::Negate(empty);
         return 0;
       }},
      {"[]'", [&](VLmiBlock& r) {
         r = VLmiBlock::Transpose(empty);
         return 0;
       }},
  };
  for (const Case& c : cases) {
    VLmiBlock r = X;
    ASSERT_EQ(0, c.operation(r)) << c.label;
    EXPECT_TRUE(r.IsConstant()) << c.label;
    EXPECT_TRUE(lmiConstantPart(r).IsEmpty()) << c.label;
    EXPECT_EQ(0, r.Rows()) << c.label;
    EXPECT_EQ(0, r.Cols()) << c.label;
    EXPECT_TRUE(eval(r).IsEmpty()) << c.label;
  }
  EXPECT_TRUE(messages().empty());
}

// Two constants add by the matrix language's rules, sizes included: a 1 x 1
// side beside an empty one gives the empty value.
TEST_F(VLmiBlockTest, ConstantSumTakesTheSizeOfItsValue) {
  VLmiBlock r;
  ASSERT_EQ(0, VLmiBlock::Add(constBlock(1.0), constBlock(Value()), r));
  EXPECT_TRUE(lmiConstantPart(r).IsEmpty());
  EXPECT_EQ(0, r.Rows());
  EXPECT_EQ(0, r.Cols());
  ASSERT_EQ(0, VLmiBlock::Subtract(constBlock(Value()), constBlock(2.0), r));
  EXPECT_TRUE(lmiConstantPart(r).IsEmpty());
  ASSERT_EQ(0, VLmiBlock::Add(constBlock(2.0), constBlock(A), r));
  EXPECT_TRUE(valuesNear(lmiConstantPart(r), addValues(2.0, A)));
  EXPECT_EQ(2, r.Rows());
  EXPECT_EQ(3, r.Cols());
}

// A quotient divides each coefficient as the matrix language divides it
// (X c = K by factorisation, not K times the inverse), bit for bit; a scalar
// coefficient beside a matrix divisor stands for itself times the identity.
TEST_F(VLmiBlockTest, QuotientsDivideTheCoefficients) {
  const VLmiBlock cB = constBlock(B), three = constBlock(3.0);
  const Value K = random(3, 3);
  const VLmiBlock shifted = X + constBlock(K);

  const VLmiBlock over = slash(shifted, cB);
  EXPECT_TRUE(sameBits(lmiConstantPart(over), rightDivideValues(K, B)));
  const VLmiBlock under = backSlash(cB, shifted);
  EXPECT_TRUE(sameBits(lmiConstantPart(under), leftDivideValues(B, K)));
  const VLmiBlock framed = backSlash(cB, constBlock(K) * X);
  EXPECT_TRUE(sameBits(framed[1].left, leftDivideValues(B, K)));
  const VLmiBlock scaled = slash(constBlock(5.0) * X, three);
  EXPECT_TRUE(sameBits(scaled[1].left, Value(5.0 / 3.0)));

  const VLmiBlock one = slash(X + constBlock(1.0), cB);
  EXPECT_TRUE(sameBits(lmiConstantPart(one), inverse(B)));
  redraw();
  const Value expected = multiplyValues(multiplyValues(var("X"), 2.0), inverse(B));
  EXPECT_TRUE(valuesNear(eval(slash(X * constBlock(2.0), cB)), expected));
  EXPECT_TRUE(messages().empty());
}

// A failed quotient reports once and leaves the destination as it was.
TEST_F(VLmiBlockTest, QuotientFailures) {
  const char* kNonsquare = "Can not invert nonsquare matrices!";
  const char* kSingular = "'inv' failed. Matrix may be ill conditionated or singular.";
  struct Case {
    std::string label;
    std::function<int(VLmiBlock&)> operation;
    const char* message;
  };
  const VLmiBlock cM = constBlock(M), cC = constBlock(C), cS = constBlock(S), two = constBlock(2.0);
  const std::vector<Case> cases = {
      {"X/Y", [&](VLmiBlock& r) { return VLmiBlock::Slash(X, Y, r); }, "VLmiBlock::operator/(): Not a linear operation"},
      {"2/X", [&](VLmiBlock& r) { return VLmiBlock::Slash(two, X, r); }, "VLmiBlock::operator/(): Not a linear operation"},
      {"X/M", [&](VLmiBlock& r) { return VLmiBlock::Slash(X, cM, r); }, "VLmiBlock::operator/(): Dividing different sizes"},
      {"A/M", [&](VLmiBlock& r) { return VLmiBlock::Slash(constBlock(A), cM, r); },
       "VLmiBlock::operator/(): Dividing different sizes"},
      {"X/C", [&](VLmiBlock& r) { return VLmiBlock::Slash(X, cC, r); }, kNonsquare},
      {"x/C", [&](VLmiBlock& r) { return VLmiBlock::Slash(x, cC, r); }, kNonsquare},
      {"X/S", [&](VLmiBlock& r) { return VLmiBlock::Slash(X, cS, r); }, kSingular},
      {"X/0", [&](VLmiBlock& r) { return VLmiBlock::Slash(X, constBlock(0.0), r); }, kSingular},
      {"Y\\X", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(Y, X, r); }, "VLmiBlock::BackSlash: Not a linear operation"},
      {"X\\2", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(X, two, r); }, "VLmiBlock::BackSlash: Not a linear operation"},
      {"M\\X", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(cM, X, r); }, "VLmiBlock::BackSlash: Dividing different sizes"},
      {"C\\M", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(cC, cM, r); }, "VLmiBlock::BackSlash: Dividing different sizes"},
      {"C'\\X", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(transpose(cC), X, r); }, kNonsquare},
      {"S\\X", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(cS, X, r); }, kSingular},
      {"sym(V)", [&](VLmiBlock& r) { return VLmiBlock::Sym(V, r); }, "VLmiBlock::Sym(): Symmetrizing a nonsquare block"},
      {"x/[]", [&](VLmiBlock& r) { return VLmiBlock::Slash(x, constBlock(Value()), r); },
       "VLmiBlock::operator/(): Dividing different sizes"},
      {"[]\\x", [&](VLmiBlock& r) { return VLmiBlock::BackSlash(constBlock(Value()), x, r); },
       "VLmiBlock::BackSlash: Dividing different sizes"},
  };
  for (const Case& c : cases) {
    VLmiBlock r = W;
    const VMatTerm* before = r.Terms().Data();
    EXPECT_EQ(1, c.operation(r)) << c.label;
    EXPECT_EQ(std::vector<std::string>{c.message}, messages()) << c.label;
    EXPECT_EQ(before, r.Terms().Data()) << c.label;
    EXPECT_EQ(2, r.Rows()) << c.label;
  }
}

TEST_F(VLmiBlockTest, PowerOfConstants) {
  VLmiBlock r;
  EXPECT_EQ(0, VLmiBlock::Pow(constBlock(2.0), constBlock(3.0), r));
  EXPECT_TRUE(valuesNear(lmiConstantPart(r), Value(8.0)));
  EXPECT_EQ(1, r.Rows());
  EXPECT_EQ(0, VLmiBlock::Pow(constBlock(Value()), constBlock(2.0), r));
  EXPECT_TRUE(lmiConstantPart(r).IsEmpty());
  EXPECT_EQ(0, r.Rows());
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ("", errText());

  // What powerValues does not compute fails with the power operator's
  // message, and nothing is stored.
  VLmiBlock kept = constBlock(8.0);
  EXPECT_EQ(1, VLmiBlock::Pow(constBlock(M), constBlock(2.0), kept));
  EXPECT_EQ(1, VLmiBlock::Pow(constBlock(2.0), constBlock(M), kept));
  EXPECT_EQ(1, VLmiBlock::Pow(constBlock(M), constBlock(M), kept));
  const std::vector<std::string> refused = {"Not yet implemented function.", "Undefined operation: Matrix ^ Matrix",
                                            "Not implemented operation."};
  EXPECT_EQ(refused, messages());
  EXPECT_TRUE(valuesNear(lmiConstantPart(kept), Value(8.0)));
  EXPECT_EQ("", errText());

  // Variables take no power: their terms would be dropped.
  EXPECT_EQ(1, VLmiBlock::Pow(X, constBlock(2.0), r));
  EXPECT_EQ(1, VLmiBlock::Pow(constBlock(2.0), x, r));
  EXPECT_EQ(std::vector<std::string>(2, "VLmiBlock::Pow(VLmiBlock,VLmiBlock): Not a linear operation"), messages());
}

TEST_F(VLmiBlockTest, SquareRootInPlace) {
  VLmiBlock k = constBlock(matrixValue(1, 2, {4, -1}));
  VLmiBlock holder(1);
  holder = k;  // shares the term array
  const Value elements = lmiConstantPart(k);
  EXPECT_EQ(1, VLmiBlock::Sqrt(k));
  const Value expected = matrixValue(1, 2, {2, -1});
  EXPECT_TRUE(valuesNear(lmiConstantPart(k), expected));
  EXPECT_TRUE(valuesNear(lmiConstantPart(holder), expected));
  EXPECT_TRUE(valuesNear(elements, expected));
  EXPECT_EQ(1, k.Rows());
  EXPECT_EQ(2, k.Cols());

  VLmiBlock s = constBlock(9.0);
  VLmiBlock scalarHolder(1);
  scalarHolder = s;
  EXPECT_EQ(0, VLmiBlock::Sqrt(s));
  EXPECT_TRUE(valuesNear(lmiConstantPart(s), Value(3.0)));
  EXPECT_TRUE(valuesNear(lmiConstantPart(scalarHolder), Value(3.0)));
  EXPECT_TRUE(messages().empty());

  VLmiBlock v = X;
  EXPECT_EQ(1, VLmiBlock::Sqrt(v));
  EXPECT_EQ(std::vector<std::string>{"VLmiBlock::Sqrt(VLmiBlock,VLmiBlock): Not a linear operation"}, messages());
  EXPECT_EQ(2, v.NumTerms());
}

TEST_F(VLmiBlockTest, AddTermChecksTheSize) {
  VLmiBlock b = W;
  VLmiBlock sharer(1);
  sharer = b;
  b.AddTerm("X", 3, 3);
  EXPECT_EQ("VLmiBlock::AddTerm(): Adding term with a different size", errText());
  EXPECT_EQ(2, b.NumTerms());
  EXPECT_EQ(2, b.Rows());

  b.AddTerm("x", 1, 1);
  EXPECT_EQ("", errText());
  EXPECT_EQ(3, b.NumTerms());
  EXPECT_EQ(2, b.Rows());
  EXPECT_EQ(2, b.Cols());
  EXPECT_EQ("x", b[2].name);
  EXPECT_EQ(1, b[2].leftIsIdentity);
  EXPECT_EQ(2, sharer.NumTerms());  // a block that shared the old array keeps it

  VLmiBlock grown(1);
  grown.AddTerm("V", 2, 3);
  EXPECT_EQ(2, grown.Rows());
  EXPECT_EQ(3, grown.Cols());
}

// Assignment shares the term array, so a term written through one block is
// seen through the other; a copy has its own array but shares coefficient
// elements.
TEST_F(VLmiBlockTest, AssignmentSharesCopyDoesNot) {
  VLmiBlock a = constBlock(M);
  VLmiBlock assigned(1);
  assigned = a;
  const VLmiBlock copied(a);
  EXPECT_EQ(M.Matrix()->Data(), copied[0].left.Matrix()->Data());

  assigned[0] = VMatTerm(Value(5.0));
  EXPECT_TRUE(valuesNear(lmiConstantPart(a), Value(5.0)));
  EXPECT_TRUE(valuesNear(lmiConstantPart(copied), M));

  VLmiBlock copy2(a);
  copy2[0] = VMatTerm(Value(7.0));
  EXPECT_TRUE(valuesNear(lmiConstantPart(a), Value(5.0)));
  EXPECT_EQ(2, a.Terms().RefCount());
}

// A sum into its own left operand gives, term for term, the block that a sum
// into a new block gives, whether the operand's terms stay (and b's are
// appended to them) or change (spread over a result that is not square).
TEST_F(VLmiBlockTest, SumIntoTheLeftOperandIsTheSumIntoANewBlock) {
  struct Case {
    std::string label;
    VLmiBlock a, b;
    int subtract;
  };
  const std::vector<Case> cases = {
      {"X + Y", X, Y, 0},
      {"X - sym(Y)", X, sym(Y), 1},
      {"(X + Y) - X'", X + Y, transpose(X), 1},
      {"V + t", V, t, 0},
      {"V - t", V, t, 1},
      {"x + V", x, V, 0},
      {"x - t", x, t, 1},
      {"W + 1", W, constBlock(1.0), 0},
      {"2 - W", constBlock(2.0), W, 1},
      {"M + 1", constBlock(M), constBlock(1.0), 0},
  };
  for (const Case& c : cases) {
    VLmiBlock fresh;
    ASSERT_EQ(0, sum(c.a, c.b, c.subtract, fresh)) << c.label;
    VLmiBlock into(c.a);
    ASSERT_EQ(0, sum(into, c.b, c.subtract, into)) << c.label;
    EXPECT_EQ(printed(fresh), printed(into)) << c.label;
  }
  EXPECT_TRUE(messages().empty());
}

// A block that shares the left operand's terms keeps them as they were; a
// block summed with itself counts its terms twice.
TEST_F(VLmiBlockTest, SumIntoTheLeftOperandSparesItsSharers) {
  VLmiBlock a = X + Y;
  VLmiBlock sharer(1);
  sharer = a;
  const std::string before = printed(sharer);
  ASSERT_EQ(0, VLmiBlock::Add(a, X, a));
  EXPECT_EQ(4, a.NumTerms());
  EXPECT_EQ(before, printed(sharer));
  EXPECT_EQ(1, sharer.Terms().RefCount());

  VLmiBlock twice;
  ASSERT_EQ(0, VLmiBlock::Subtract(sharer, sharer, twice));
  ASSERT_EQ(0, VLmiBlock::Subtract(sharer, sharer, sharer));
  EXPECT_EQ(printed(twice), printed(sharer));
  EXPECT_EQ(5, sharer.NumTerms());
}

TEST_F(VLmiBlockTest, SetConstantReplacesTheTerms) {
  VLmiBlock b = X + Y;
  VLmiBlock sharer(1);
  sharer = b;
  setLmiConstant(b, M);
  EXPECT_EQ(1, b.NumTerms());
  EXPECT_EQ(2, b.Rows());
  EXPECT_EQ(M.Matrix()->Data(), lmiConstantPart(b).Matrix()->Data());
  EXPECT_EQ(3, sharer.NumTerms());

  setLmiConstant(b, Value());
  EXPECT_EQ(0, b.Rows());
  EXPECT_EQ(0, b.Cols());
  EXPECT_TRUE(eval(b).IsEmpty());
  setLmiConstant(b, 4.0);
  EXPECT_EQ(1, b.Rows());
  EXPECT_EQ(1, b.Cols());
  EXPECT_EQ(0, isMatrixBlock(b));
}

TEST_F(VLmiBlockTest, VariableNamesInOrderOfFirstUse) {
  struct Case {
    std::string label;
    VLmiBlock block;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"constant", constBlock(M), {"Only a constant term."}},
      {"X + X", X + X, {"X"}},
      {"Y - X + Y", Y - X + Y, {"Y", "X"}},
      {"A*sym(X) + V*C", constBlock(A) * sym(X) * constBlock(C) + V * constBlock(C), {"X", "V"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = {"stale"};
    termVariableNames(c.block, names);
    EXPECT_EQ(c.names, names) << c.label;
  }
}

TEST_F(VLmiBlockTest, PrintListsTheTerms) {
  std::ostringstream s;
  VLmiBlock::Print(s, W);
  EXPECT_EQ(
      ">> VLmiBlock (2, 2) : \n"
      "Affine term: \n"
      "      Name: Null name\n Left term: 0Right term: Identity\nStraight\nFlat\n\n"
      "    Term 1 : \n"
      "      Name: W\n Left term: Identity\nRight term: Identity\nStraight\nFlat\n\n",
      s.str());

  std::ostringstream empty;
  TermVec::Print(empty, TermVec());
  EXPECT_EQ("Empty TermVec!\n", empty.str());

  VLmiBlock sharer(1);
  sharer = W;
  std::ostringstream d;
  d << TermVec::Describe(W.Terms());
  std::ostringstream address;
  address << static_cast<const void*>(W.Terms().Data());
  EXPECT_EQ("Object type: TermVec\n  Length: 2\n  Address: " + address.str() + "\n  Number of references:2\n", d.str());
}

}  // namespace
