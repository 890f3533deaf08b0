#include "vmat_term.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "affine_test_support.h"

namespace {

VMatTerm plain(const std::string& name) {
  VMatTerm t;
  t.name = name;
  return t;
}

VMatTerm slash(const VMatTerm& t, const Value& c) {
  VMatTerm r;
  EXPECT_EQ(0, VMatTerm::Slash(t, c, r));
  return r;
}

VMatTerm backSlash(const Value& c, const VMatTerm& t) {
  VMatTerm r;
  EXPECT_EQ(0, VMatTerm::BackSlash(c, t, r));
  return r;
}


std::string printed(const VMatTerm& t) {
  std::ostringstream s;
  VMatTerm::Print(s, t);
  return s.str();
}

class VMatTermTest : public AffineTest {
 protected:
  // Checks t's value against reference at several random values of the
  // variables.
  void expectValue(const VMatTerm& t, const std::function<Value()>& reference, const std::string& label) {
    for (int draw = 0; draw < 4; ++draw) {
      redraw();
      EXPECT_TRUE(valuesNear(t.Eval(variableTable), reference())) << label << ", draw " << draw;
    }
  }
};

// Where each product or quotient puts its constant, and what the term is
// worth afterwards, against the same expression in plain matrix arithmetic.
TEST_F(VMatTermTest, ProductsAndQuotientsPlaceCoefficientsAndKeepTheValue) {
  const VMatTerm X = plain("X");
  const Value R = random(3, 3);
  struct Case {
    std::string label;
    VMatTerm term;
    int leftIsIdentity, rightIsIdentity, transposed, symmetric;
    Value left, right;  // compared where the flag is 0
    std::function<Value()> reference;
  };
  const Value two(2.0);
  const Value zero(0.0);
  const std::vector<Case> cases = {
      {"2*X", two * X, 0, 1, 0, 0, two, Value(), [&] { return multiplyValues(two, var("X")); }},
      {"2*(X*R)", two * (X * R), 1, 0, 0, 0, Value(), multiplyValues(R, two),
       [&] { return multiplyValues(two, multiplyValues(var("X"), R)); }},
      {"(A*X)*2", (A * X) * two, 0, 1, 0, 0, multiplyValues(two, A), Value(),
       [&] { return multiplyValues(multiplyValues(A, var("X")), two); }},
      {"A*(X*R)", A * (X * R), 0, 0, 0, 0, A, R,
       [&] { return multiplyValues(A, multiplyValues(var("X"), R)); }},
      {"X'*C", VMatTerm::Transpose(X) * C, 1, 0, 1, 0, Value(), C,
       [&] { return multiplyValues(transposeValue(var("X")), C); }},
      {"X*0", X * zero, 1, 0, 0, 0, Value(), zero, [&] { return Value(3, 3, 0.0); }},
      // A zero factor keeps the other factors, so the term keeps its shape.
      {"0*(A*X*C)", zero * ((A * X) * C), 0, 0, 0, 0, Value(2, 3, 0.0), C, [&] { return Value(2, 2, 0.0); }},
      {"2*sym(X)", two * VMatTerm::Sym(X), 0, 1, 0, 1, two, Value(),
       [&] { return multiplyValues(two, addValues(var("X"), transposeValue(var("X")))); }},
      {"X/2", slash(X, two), 1, 0, 0, 0, Value(), Value(0.5), [&] { return rightDivideValues(var("X"), two); }},
      {"(A*X)/2", slash(A * X, two), 0, 1, 0, 0, multiplyValues(0.5, A), Value(),
       [&] { return multiplyValues(multiplyValues(A, var("X")), 0.5); }},
      {"X/B", slash(X, B), 1, 0, 0, 0, Value(), inverse(B),
       [&] { return rightDivideValues(var("X"), B); }},
      {"(X*C)/M", slash(X * C, M), 1, 0, 0, 0, Value(), multiplyValues(C, inverse(M)),
       [&] { return rightDivideValues(multiplyValues(var("X"), C), M); }},
      {"2\\X", backSlash(two, X), 0, 1, 0, 0, Value(0.5), Value(), [&] { return multiplyValues(0.5, var("X")); }},
      {"B\\X", backSlash(B, X), 0, 1, 0, 0, inverse(B), Value(), [&] { return leftDivideValues(B, var("X")); }},
      {"B\\(C*V)", backSlash(B, C * plain("V")), 0, 1, 0, 0, multiplyValues(inverse(B), C), Value(),
       [&] { return leftDivideValues(B, multiplyValues(C, var("V"))); }},
      {"sym(X)/2", slash(VMatTerm::Sym(X), two), 1, 0, 0, 1, Value(), Value(0.5),
       [&] { return multiplyValues(0.5, addValues(var("X"), transposeValue(var("X")))); }},
  };
  for (const Case& c : cases) {
    const VMatTerm& t = c.term;
    EXPECT_FALSE(t.IsConstant()) << c.label;
    EXPECT_EQ(c.leftIsIdentity, t.leftIsIdentity) << c.label;
    EXPECT_EQ(c.rightIsIdentity, t.rightIsIdentity) << c.label;
    EXPECT_EQ(c.transposed, t.transposed) << c.label;
    EXPECT_EQ(c.symmetric, t.symmetric) << c.label;
    if (!c.leftIsIdentity) {
      EXPECT_TRUE(valuesNear(t.left, c.left)) << c.label << " left";
    }
    if (!c.rightIsIdentity) {
      EXPECT_TRUE(valuesNear(t.right, c.right)) << c.label << " right";
    }
    expectValue(t, c.reference, c.label);
  }
  EXPECT_TRUE(messages().empty());
}

// The constant of a block made of variables is the scalar 0.0; a product
// leaves it that scalar instead of a zero matrix of the factor's size. Any
// other constant is multiplied out, a zero factor included.
TEST_F(VMatTermTest, ZeroConstantStaysScalarUnderProducts) {
  const VMatTerm zero(Value(0.0));
  for (const VMatTerm& product : {A * zero, zero * A, Value(0.0) * zero}) {
    ASSERT_TRUE(product.left.IsScalar());
    EXPECT_EQ(0.0, *product.left.Scalar());
    EXPECT_TRUE(product.IsConstant());
  }
  const VMatTerm scaled = Value(0.0) * VMatTerm(A);
  EXPECT_TRUE(valuesNear(scaled.Eval(variableTable), Value(2, 3, 0.0)));
  EXPECT_TRUE(valuesNear((VMatTerm(A) * C).Eval(variableTable), multiplyValues(A, C)));
}

TEST_F(VMatTermTest, TransposeReversesTheProduct) {
  const VMatTerm t = A * (plain("X") * B);
  const VMatTerm tt = VMatTerm::Transpose(t);
  EXPECT_EQ("X", tt.name);
  EXPECT_EQ(1, tt.transposed);
  EXPECT_EQ(0, tt.leftIsIdentity);
  EXPECT_EQ(0, tt.rightIsIdentity);
  EXPECT_TRUE(valuesNear(tt.left, transposeValue(B)));
  EXPECT_TRUE(valuesNear(tt.right, transposeValue(A)));
  expectValue(tt, [&] { return transposeValue(multiplyValues(multiplyValues(A, var("X")), B)); }, "(A*X*B)'");

  const VMatTerm back = VMatTerm::Transpose(tt);
  EXPECT_EQ(0, back.transposed);
  EXPECT_TRUE(valuesNear(back.left, A));
  EXPECT_TRUE(valuesNear(back.right, B));

  // One side without a coefficient stays without one on the other side.
  const VMatTerm half = VMatTerm::Transpose(A * plain("X"));
  EXPECT_EQ(1, half.leftIsIdentity);
  EXPECT_EQ(0, half.rightIsIdentity);

  const VMatTerm s = VMatTerm::Sym(B * plain("X"));
  const VMatTerm st = VMatTerm::Transpose(s);
  EXPECT_EQ(0, st.transposed);
  EXPECT_EQ(1, st.symmetric);
  EXPECT_TRUE(valuesNear(st.left, B));

  const VMatTerm k = VMatTerm::Transpose(VMatTerm(A));
  EXPECT_TRUE(k.IsConstant());
  EXPECT_TRUE(valuesNear(k.Eval(variableTable), transposeValue(A)));
}

TEST_F(VMatTermTest, SymAddsTheTranspose) {
  const VMatTerm k(B);
  const Value kk = addValues(B, transposeValue(B));
  EXPECT_TRUE(valuesNear(VMatTerm::Sym(k).Eval(variableTable), kk));
  // A constant is symmetrised again each time; a variable term only once.
  EXPECT_TRUE(valuesNear(VMatTerm::Sym(VMatTerm::Sym(k)).Eval(variableTable), multiplyValues(2.0, kk)));
  const VMatTerm once = VMatTerm::Sym(plain("X"));
  const VMatTerm twice = VMatTerm::Sym(once);
  EXPECT_EQ(1, twice.symmetric);
  expectValue(twice, [&] { return addValues(var("X"), transposeValue(var("X"))); }, "sym(sym(X))");

  const Value L = random(3, 3);
  const Value R = random(3, 3);
  const VMatTerm t = VMatTerm::Sym((L * VMatTerm::Transpose(plain("X"))) * R);
  expectValue(
      t,
      [&] {
        const Value p = multiplyValues(multiplyValues(L, transposeValue(var("X"))), R);
        return addValues(p, transposeValue(p));
      },
      "sym(L*X'*R)");
}

TEST_F(VMatTermTest, PlainTermSharesTheVariablesElements) {
  redraw();
  const Value v = plain("X").Eval(variableTable);
  ASSERT_TRUE(v.IsMatrix());
  EXPECT_EQ(var("X").Matrix()->Data(), v.Matrix()->Data());
  EXPECT_EQ(*var("x").Scalar(), *plain("x").Eval(variableTable).Scalar());
}

TEST_F(VMatTermTest, SumOfTermsNeedsTwoConstants) {
  EXPECT_TRUE(valuesNear((VMatTerm(A) + VMatTerm(Value(1.0))).left, addValues(A, 1.0)));
  EXPECT_TRUE(valuesNear((VMatTerm(Value(1.0)) - VMatTerm(A)).left, subtractValues(1.0, A)));
  EXPECT_TRUE(messages().empty());

  const VMatTerm sum = plain("X") + VMatTerm(A);
  EXPECT_EQ("X", sum.name);
  EXPECT_EQ(std::vector<std::string>{"VMatTerm::operator+(): Illegal operation"}, messages());
  const VMatTerm difference = VMatTerm(A) - plain("X");
  EXPECT_TRUE(valuesNear(difference.left, A));
  EXPECT_EQ(std::vector<std::string>{"VMatTerm::operator-(): Illegal operation"}, messages());
}

// A symmetric term met by a matrix is no single term any more; the term
// operations say so (the block operations split such a term beforehand).
TEST_F(VMatTermTest, SymmetricTermWithMatrixReportsLostSymmetry) {
  const VMatTerm s = VMatTerm::Sym(plain("X"));
  VMatTerm out;
  const Value two(2.0);
  (void)(two * s);
  (void)(s * two);
  EXPECT_EQ(0, VMatTerm::Slash(s, two, out));
  EXPECT_TRUE(messages().empty());

  (void)(B * s);
  (void)(s * B);
  EXPECT_EQ(0, VMatTerm::Slash(s, B, out));
  EXPECT_EQ(0, VMatTerm::BackSlash(B, s, out));
  const std::vector<std::string> expected = {
      "VMatTerm::operator*(): Simetry lost!", "VMatTerm::operator*(): Simetry lost!",
      "VMatTerm::operator/(): Simetry lost!", "VMatTerm::BackSlash(): Simetry lost!"};
  EXPECT_EQ(expected, messages());
}

// A variable term divided by a constant that cannot be inverted fails and
// stores nothing.
TEST_F(VMatTermTest, DivisionByAnUninvertibleConstantFails) {
  struct Case {
    Value divisor;
    const char* message;
  };
  const Case cases[] = {
      {C, "Can not invert nonsquare matrices!"},
      {S, "'inv' failed. Matrix may be ill conditionated or singular."},
      {Value(0.0), "'inv' failed. Matrix may be ill conditionated or singular."},
  };
  for (const Case& c : cases) {
    VMatTerm out = plain("kept");
    EXPECT_EQ(1, VMatTerm::Slash(plain("X"), c.divisor, out));
    EXPECT_EQ(1, VMatTerm::BackSlash(c.divisor, plain("X"), out));
    EXPECT_EQ("kept", out.name);
    EXPECT_EQ(1, out.leftIsIdentity);
    EXPECT_EQ(std::vector<std::string>(2, c.message), messages());
  }
}

// A quotient divides the coefficient that takes the divisor by the matrix
// language's division, bit for bit: (A X) / 2 has left A / 2, C \ (A' V) has
// left C \ A' (by factorisation, not through the inverse), and a scalar
// coefficient divided by a scalar is its quotient.
TEST_F(VMatTermTest, QuotientsDivideTheCoefficientBitForBit) {
  const Value five(5.0), three(3.0);
  const Value At = transposeValue(A);
  const VMatTerm halved = slash(A * plain("X"), Value(2.0));
  EXPECT_EQ(0, halved.leftIsIdentity);
  EXPECT_TRUE(sameBits(halved.left, rightDivideValues(A, Value(2.0))));
  const VMatTerm solved = backSlash(B, At * plain("V"));
  EXPECT_TRUE(sameBits(solved.left, leftDivideValues(B, At)));
  const VMatTerm framed = slash(plain("X") * B, B);
  EXPECT_TRUE(sameBits(framed.right, rightDivideValues(B, B)));
  EXPECT_TRUE(sameBits(slash(five * plain("X"), three).left, Value(5.0 / 3.0)));
  EXPECT_TRUE(sameBits(backSlash(three, plain("X") * five).right, Value(5.0 / 3.0)));
  // A scalar coefficient beside a matrix divisor is the scalar times the
  // identity: (X 2) / B is X (2 inv(B)), not X (B / 2).
  const VMatTerm scaled = slash(plain("X") * Value(2.0), B);
  EXPECT_TRUE(sameBits(scaled.right, multiplyValues(Value(2.0), inverse(B))));
  EXPECT_TRUE(messages().empty());
}

// A constant term divides by the matrix language's rules, on either side;
// dividing by a variable term is not linear.
TEST_F(VMatTermTest, ConstantTermsDivideAsValues) {
  VMatTerm out;
  EXPECT_EQ(0, VMatTerm::Slash(VMatTerm(A), B, out));
  EXPECT_TRUE(valuesNear(out.left, rightDivideValues(A, B)));
  EXPECT_EQ(0, VMatTerm::Slash(B, VMatTerm(M), out));
  EXPECT_TRUE(valuesNear(out.left, rightDivideValues(B, M)));
  EXPECT_EQ(0, VMatTerm::BackSlash(B, VMatTerm(C), out));
  EXPECT_TRUE(valuesNear(out.left, leftDivideValues(B, C)));
  EXPECT_EQ(0, VMatTerm::BackSlash(VMatTerm(Value(4.0)), M, out));
  EXPECT_TRUE(valuesNear(out.left, leftDivideValues(4.0, M)));
  EXPECT_TRUE(messages().empty());

  out = plain("kept");
  EXPECT_EQ(1, VMatTerm::Slash(Value(2.0), plain("X"), out));
  EXPECT_EQ(1, VMatTerm::BackSlash(plain("X"), Value(2.0), out));
  EXPECT_EQ("kept", out.name);
  const std::vector<std::string> expected = {"VMatTerm::operator/(): Not a linear operation",
                                             "VMatTerm::BackSlash(): Not a linear operation"};
  EXPECT_EQ(expected, messages());
}

TEST_F(VMatTermTest, PrintListsTheFields) {
  // A scalar coefficient ends no line.
  EXPECT_EQ("      Name: Null name\n Left term: 3Right term: Identity\nStraight\nFlat\n", printed(VMatTerm(Value(3.0))));

  const VMatTerm t = VMatTerm::Sym(M * VMatTerm::Transpose(plain("W")));
  std::ostringstream matrix;
  printValue(matrix, M);
  EXPECT_EQ("      Name: W\n Left term: " + matrix.str() + "Right term: Identity\nTranspose\nSymmetric\n", printed(t));
}

}  // namespace
