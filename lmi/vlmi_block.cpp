#include "vlmi_block.h"

#include <algorithm>
#include <iostream>
#include <ostream>

#include "report.h"
#include "value_utils.h"
#include "var_record.h"

namespace {

// A 1 x 1 term standing in a square block (or making up a 1 x 1 block) whose
// coefficient is a matrix cannot take a matrix factor into that coefficient:
// the sizes do not fit. Such a term is a scalar s = L Y R, and c s is written
// as one term per column of c, sum_j (c_j L) Y (R e_j'), or per row when c
// has fewer rows, sum_i (e_i L) Y (R c_i).
int spreadsOver(const VMatTerm& t, const Value& c, int square) {
  if (!square || !c.IsMatrix() || t.IsConstant()) return 0;
  return (!t.leftIsIdentity && t.left.IsMatrix() && t.left.Rows() == 1) ||
         (!t.rightIsIdentity && t.right.IsMatrix() && t.right.Cols() == 1);
}

int spreadCount(const Value& c) { return std::min(c.Rows(), c.Cols()); }

// The constant side of a product or a quotient. A product multiplies the
// terms by factor; a quotient divides them by its divisor, and its factor is
// the divisor's inverse, by which the spread terms are multiplied.
struct ConstantSide {
  Value factor;
  const Value* divisor;  // null for a product
  int onLeft;
};

ConstantSide productSide(const Value& c, int onLeft) { return ConstantSide{c, nullptr, onLeft}; }

// The one term that t becomes (t not spread, not symmetric when the factor is
// a matrix).
VMatTerm applySide(const VMatTerm& t, const ConstantSide& side) {
  if (side.divisor == nullptr) return side.onLeft ? side.factor * t : t * side.factor;
  return side.onLeft ? divideLeft(*side.divisor, side.factor, t) : divideRight(t, *side.divisor, side.factor);
}

// The terms that t becomes in a product with c.
int pieceCount(const VMatTerm& t, const Value& c, int square) {
  if (t.symmetric && !c.IsScalar()) {
    VMatTerm plain(t);
    plain.symmetric = 0;
    return pieceCount(plain, c, square) + pieceCount(VMatTerm::Transpose(plain), c, square);
  }
  return spreadsOver(t, c, square) ? spreadCount(c) : 1;
}

// The number of terms that terms first .. n-1 of block become in a product
// with c.
int productTermCount(const VLmiBlock& block, int first, const Value& c) {
  const int square = block.Rows() == block.Cols();
  int count = 0;
  for (int i = first; i < block.NumTerms(); ++i) count += pieceCount(block[i], c, square);
  return count;
}

// Column j of c (by column) or row j (otherwise), and the matching unit
// vector of the other side; a 1 x 1 result is a scalar.
Value sliceOf(const Value& c, int j, int byColumn) {
  const GenMatrixD& m = *c.Matrix();
  GenMatrixD slice(byColumn ? m.Rows() : 1, byColumn ? 1 : m.Cols());
  for (int k = 0; k < slice.Size(); ++k) slice[k] = byColumn ? m(k, j) : m(j, k);
  return Value(slice);
}

Value unitOf(const Value& c, int j, int byColumn) {
  GenMatrixD unit(byColumn ? 1 : c.Rows(), byColumn ? c.Cols() : 1, 0.0, 0);
  unit[j] = 1.0;
  return Value(unit);
}

// left := u left and right := right v, an absent coefficient becoming the
// factor itself; the scalar 1 changes nothing.
void joinFactors(VMatTerm& t, const Value& u, const Value& v) {
  if (!(u.IsScalar() && *u.Scalar() == 1.0)) {
    t.left = t.leftIsIdentity ? u : multiplyValues(u, t.left);
    t.leftIsIdentity = 0;
  }
  if (!(v.IsScalar() && *v.Scalar() == 1.0)) {
    t.right = t.rightIsIdentity ? v : multiplyValues(t.right, v);
    t.rightIsIdentity = 0;
  }
}

// Writes what the term t (not symmetric when the factor is a matrix) becomes
// at position k and returns the position after it.
int putProduct(const VMatTerm& t, const ConstantSide& side, int square, VLmiBlock& out, int k) {
  const Value& c = side.factor;
  if (!spreadsOver(t, c, square)) {
    out[k++] = applySide(t, side);
    return k;
  }
  const int byColumn = c.Cols() <= c.Rows();
  for (int j = 0; j < spreadCount(c); ++j) {
    VMatTerm piece(t);
    const Value slice = sliceOf(c, j, byColumn);
    const Value unit = unitOf(c, j, byColumn);
    joinFactors(piece, byColumn ? slice : unit, byColumn ? unit : slice);
    out[k++] = piece;
  }
  return k;
}

// Writes what terms first .. n-1 of block become into out from position k on
// and returns the position after them. c (P + P') is no single term for a
// matrix c, so a symmetric term is split into c P and c P' first.
int putProducts(const VLmiBlock& block, int first, const ConstantSide& side, VLmiBlock& out, int k) {
  const int square = block.Rows() == block.Cols();
  for (int i = first; i < block.NumTerms(); ++i) {
    const VMatTerm& t = block[i];
    if (t.symmetric && !side.factor.IsScalar()) {
      VMatTerm plain(t);
      plain.symmetric = 0;
      k = putProduct(plain, side, square, out, k);
      k = putProduct(VMatTerm::Transpose(plain), side, square, out, k);
    } else {
      k = putProduct(t, side, square, out, k);
    }
  }
  return k;
}

int putCopies(const VLmiBlock& block, VLmiBlock& out, int k) {
  for (int i = 1; i < block.NumTerms(); ++i) out[k++] = block[i];
  return k;
}

// c * block (or block / c) for a block with variable terms, c on the left
// when side.onLeft is set. The result has c's outer size and the block's, or
// the other side's whole size when one side is 1 x 1.
VLmiBlock productWithConstant(const VLmiBlock& block, const ConstantSide& side) {
  const Value& c = side.factor;
  VLmiBlock result(productTermCount(block, 0, c));
  putProducts(block, 0, side, result, 0);
  if (side.onLeft) {
    result.Rows() = c.IsScalar() ? block.Rows() : c.Rows();
    result.Cols() = !c.IsScalar() && isOneByOne(block) ? c.Cols() : block.Cols();
  } else {
    result.Rows() = !c.IsScalar() && isOneByOne(block) ? c.Rows() : block.Rows();
    result.Cols() = c.IsScalar() ? block.Cols() : c.Cols();
  }
  return result;
}

// The size rule of a product c * block (constantOnLeft) or block * c. An
// empty c fits no block with variable terms: the product would be an empty
// block that still names variables, with no element for them to enter.
int productFits(const VLmiBlock& block, const Value& c, int constantOnLeft) {
  if (c.IsEmpty()) return 0;
  if (c.IsScalar() || isOneByOne(block)) return 1;
  return constantOnLeft ? c.Cols() == block.Rows() : block.Cols() == c.Rows();
}

// How the variable terms of a sum or difference (not of two constant blocks,
// sizes already checked) enter the result. In a result that is not square,
// the terms of a 1 x 1 side can only mean their scalar on every element;
// they are written as products with a matrix of ones so that they hold the
// result's size and later products stay exact.
struct SumPlan {
  int rows, cols;
  // a's terms become products with onesA when spreadA is set; b's become
  // products with factorB (ones, negated for a difference) when scaleB is
  // set, spreadB telling whether factorB is the matrix of the result's size.
  int spreadA, spreadB, scaleB;
  Value onesA, factorB;
  int countA, countB;  // the variable terms that each side gives
};

SumPlan planSum(const VLmiBlock& a, const VLmiBlock& b, int subtract) {
  SumPlan plan;
  plan.rows = std::max(a.Rows(), b.Rows());
  plan.cols = std::max(a.Cols(), b.Cols());
  const int notSquare = plan.rows != plan.cols;
  plan.spreadA = notSquare && isOneByOne(a);
  plan.spreadB = notSquare && isOneByOne(b);
  const double sign = subtract ? -1.0 : 1.0;
  plan.onesA = plan.spreadA ? Value(plan.rows, plan.cols, 1.0) : Value(1.0);
  plan.scaleB = plan.spreadB || subtract;
  plan.factorB = plan.spreadB ? Value(plan.rows, plan.cols, sign) : Value(sign);
  plan.countA = plan.spreadA ? productTermCount(a, 1, plan.onesA) : a.NumTerms() - 1;
  plan.countB = plan.scaleB ? productTermCount(b, 1, plan.factorB) : b.NumTerms() - 1;
  return plan;
}

// The sum of two constant blocks, of the sum's own size: a 1 x 1 side
// beside an empty one gives empty.
VLmiBlock constantSum(const VLmiBlock& a, const VLmiBlock& b, int subtract) {
  const Value ka = lmiConstantPart(a), kb = lmiConstantPart(b);
  VLmiBlock sum;
  setLmiConstant(sum, subtract ? subtractValues(ka, kb) : addValues(ka, kb));
  return sum;
}

// The result's constant term, a nonzero scalar spread over a result that is
// not square.
VMatTerm sumConstant(const VLmiBlock& a, const VLmiBlock& b, int subtract, const SumPlan& plan) {
  VMatTerm constant = subtract ? a[0] - b[0] : a[0] + b[0];
  if (plan.rows != plan.cols && constant.left.IsScalar() && *constant.left.Scalar() != 0.0)
    constant.left = Value(plan.rows, plan.cols, *constant.left.Scalar());
  return constant;
}

// Writes a's variable terms as the sum takes them from position 1 on.
void putFirstSide(const VLmiBlock& a, const SumPlan& plan, VLmiBlock& out) {
  if (plan.spreadA)
    putProducts(a, 1, productSide(plan.onesA, 0), out, 1);
  else
    putCopies(a, out, 1);
}

// Writes b's variable terms as the sum takes them, behind a's.
void putSecondSide(const VLmiBlock& b, const SumPlan& plan, VLmiBlock& out) {
  const int k = 1 + plan.countA;
  if (plan.scaleB)
    putProducts(b, 1, productSide(plan.factorB, plan.spreadB ? 0 : 1), out, k);
  else
    putCopies(b, out, k);
}

// The size rule of a sum: one side 1 x 1, or both of one size.
int addable(const VLmiBlock& a, const VLmiBlock& b) {
  return isOneByOne(a) || isOneByOne(b) || (a.Rows() == b.Rows() && a.Cols() == b.Cols());
}

// a + s I, in new elements.
Value addToDiagonal(const Value& a, double s) {
  Value sum;
  sum.DeepCopy(a);
  GenMatrixD& m = *sum.Matrix();
  for (int i = 0; i < m.Rows(); ++i) m(i, i) += s;
  return sum;
}

// sum + v, a 1 x 1 side standing for itself on every element or, with
// identity, times the identity. The result never shares v's elements.
Value addTermValue(const Value& sum, const Value& v, int identity) {
  if (identity && sum.IsScalar() && v.IsMatrix()) return addToDiagonal(v, *sum.Scalar());
  if (identity && sum.IsMatrix() && v.IsScalar()) return addToDiagonal(sum, *v.Scalar());
  return addValues(sum, v);
}

// s on every element of a rows x cols value, or s times the identity.
Value spreadScalar(double s, int rows, int cols, int identity) {
  if (!identity || rows <= 1) return Value(rows, cols, s);
  GenMatrixD m(rows, cols, 0.0, 0);
  for (int i = 0; i < rows; ++i) m(i, i) = s;
  return Value(m);
}

}  // namespace

void TermVec::CopyLeading(const TermVec& other) {
  const int n = std::min(Size(), other.Size());
  for (int i = 0; i < n; ++i) (*this)[i] = other[i];
}

std::ostream& TermVec::Print(std::ostream& out, const TermVec& terms) {
  if (terms.Size() == 0) return out << "Empty TermVec!" << std::endl;
  out << "Affine term: " << std::endl;
  VMatTerm::Print(out, terms[0]) << std::endl;
  for (int i = 1; i < terms.Size(); ++i) {
    out << "    Term " << i << " : " << std::endl;
    VMatTerm::Print(out, terms[i]) << std::endl;
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const TermVec::Description& d) {
  out << "Object type: TermVec" << std::endl;
  out << "  Length: " << d.terms.Size() << std::endl;
  out << "  Address: " << static_cast<const void*>(d.terms.Data()) << std::endl;
  out << "  Number of references:" << d.terms.RefCount() << std::endl;
  return out;
}

void VLmiBlock::AddTerm(const std::string& name, int m, int n) {
  const int accepted = isOneByOne(*this) || (m == 1 && n == 1) || (m == rows && n == cols);
  if (!accepted) {
    std::cerr << "VLmiBlock::AddTerm(): Adding term with a different size";
    return;
  }
  TermVec grown(NumTerms() + 1);
  grown.CopyLeading(terms);
  grown[NumTerms()].name = name;
  terms = grown;
  rows = std::max(rows, m);
  cols = std::max(cols, n);
}

Value VLmiBlock::Eval(HashTable<VarRecord>& vartbl, ScalarReading reading) const {
  // The terms are added in their order, so that the sum is rounded the same
  // whatever the reading; only a constant block shares its elements.
  const int identity = reading == kScalarTimesIdentity && rows == cols && rows > 1;
  Value sum;
  for (int i = 0; i < NumTerms(); ++i) {
    const Value v = terms[i].Eval(vartbl);
    if (v.IsEmpty() || (!v.IsScalar() && (v.Rows() != rows || v.Cols() != cols))) return Value();
    sum = i == 0 ? v : addTermValue(sum, v, identity);
  }
  if (sum.IsScalar() && (rows > 1 || cols > 1)) return spreadScalar(*sum.Scalar(), rows, cols, identity);
  return sum;
}

VLmiBlock VLmiBlock::Transpose(const VLmiBlock& block) {
  VLmiBlock result(block.NumTerms());
  for (int i = 0; i < block.NumTerms(); ++i) result[i] = VMatTerm::Transpose(block[i]);
  result.rows = block.cols;
  result.cols = block.rows;
  return result;
}

int VLmiBlock::Sym(const VLmiBlock& block, VLmiBlock& out) {
  if (block.rows != block.cols) {
    reportError("VLmiBlock::Sym(): Symmetrizing a nonsquare block");
    return 1;
  }
  VLmiBlock result(block.NumTerms());
  for (int i = 0; i < block.NumTerms(); ++i) result[i] = VMatTerm::Sym(block[i]);
  result.rows = block.rows;
  result.cols = block.cols;
  out = result;
  return 0;
}

VLmiBlock VLmiBlock::Negate(const VLmiBlock& block) {
  VLmiBlock result(block.NumTerms());
  const Value minusOne(-1.0);
  for (int i = 0; i < block.NumTerms(); ++i) result[i] = minusOne * block[i];
  result.rows = block.rows;
  result.cols = block.cols;
  return result;
}

// A sum into a itself keeps a's terms where they are when a holds them alone
// and the sum leaves them as they were: b's terms are appended to them, so a
// chain of n sums handles each term a constant number of times, not n.
void VLmiBlock::Sum(const VLmiBlock& a, const VLmiBlock& b, int subtract, VLmiBlock& out) {
  if (a.IsConstant() && b.IsConstant()) {
    out = constantSum(a, b, subtract);
    return;
  }
  const SumPlan plan = planSum(a, b, subtract);
  const int count = 1 + plan.countA + plan.countB;
  // b must not be a: its terms are read while they are appended.
  const int inPlace = &out == &a && &b != &a && !plan.spreadA && out.terms.Grow(count) == 0;
  VLmiBlock result(inPlace ? 1 : count);
  if (inPlace)
    result = out;
  else
    putFirstSide(a, plan, result);
  result[0] = sumConstant(a, b, subtract, plan);
  putSecondSide(b, plan, result);
  result.rows = plan.rows;
  result.cols = plan.cols;
  out = result;
}

int VLmiBlock::Add(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!addable(a, b)) {
    reportError("VLmiBlock::operator+(): Summing different sizes");
    return 1;
  }
  Sum(a, b, 0, out);
  return 0;
}

int VLmiBlock::Subtract(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!addable(a, b)) {
    reportError("VLmiBlock::operator-(): Subtracting different sizes");
    return 1;
  }
  Sum(a, b, 1, out);
  return 0;
}

int VLmiBlock::Multiply(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!a.IsConstant() && !b.IsConstant()) {
    reportNotLinear("VLmiBlock::operator*()");
    return 1;
  }
  const int constantOnLeft = a.IsConstant();
  const VLmiBlock& other = constantOnLeft ? b : a;
  const Value c = lmiConstantPart(constantOnLeft ? a : b);
  if (!other.IsConstant() && productFits(other, c, constantOnLeft)) {
    out = productWithConstant(other, productSide(c, constantOnLeft));
    return 0;
  }
  const Value right = lmiConstantPart(b);
  if (other.IsConstant() && (c.IsScalar() || right.IsScalar() || c.Cols() == right.Rows())) {
    setLmiConstant(out, multiplyValues(c, right));
    return 0;
  }
  reportError("VLmiBlock::operator*(): Multiplying different sizes");
  return 1;
}

VLmiBlock VLmiBlock::operator+(const VLmiBlock& b) const {
  VLmiBlock result;
  Add(*this, b, result);
  return result;
}

VLmiBlock VLmiBlock::operator-(const VLmiBlock& b) const {
  VLmiBlock result;
  Subtract(*this, b, result);
  return result;
}

VLmiBlock VLmiBlock::operator*(const VLmiBlock& b) const {
  VLmiBlock result;
  Multiply(*this, b, result);
  return result;
}

int VLmiBlock::Slash(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!b.IsConstant()) {
    reportNotLinear("VLmiBlock::operator/()");
    return 1;
  }
  const Value c = lmiConstantPart(b);
  if (a.IsConstant()) {
    // The matrix language's X with X c = a needs equal column counts.
    const Value dividend = lmiConstantPart(a);
    if (dividend.IsScalar() || c.IsScalar() || dividend.Cols() == c.Cols()) {
      setLmiConstant(out, rightDivideValues(dividend, c));
      return 0;
    }
  } else if (productFits(a, c, 0)) {
    ConstantSide side{Value(), &c, 0};
    if (invertDivisor(c, side.factor)) return 1;
    out = productWithConstant(a, side);
    return 0;
  }
  reportError("VLmiBlock::operator/(): Dividing different sizes");
  return 1;
}

int VLmiBlock::BackSlash(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!a.IsConstant()) {
    reportNotLinear("VLmiBlock::BackSlash");
    return 1;
  }
  const Value c = lmiConstantPart(a);
  if (b.IsConstant()) {
    // The matrix language's X with c X = b needs equal row counts.
    const Value dividend = lmiConstantPart(b);
    if (dividend.IsScalar() || c.IsScalar() || dividend.Rows() == c.Rows()) {
      setLmiConstant(out, leftDivideValues(c, dividend));
      return 0;
    }
  } else if (productFits(b, c, 1)) {
    ConstantSide side{Value(), &c, 1};
    if (invertDivisor(c, side.factor)) return 1;
    out = productWithConstant(b, side);
    return 0;
  }
  reportError("VLmiBlock::BackSlash: Dividing different sizes");
  return 1;
}

int VLmiBlock::Pow(const VLmiBlock& a, const VLmiBlock& b, VLmiBlock& out) {
  if (!a.IsConstant() || !b.IsConstant()) {
    reportNotLinear("VLmiBlock::Pow(VLmiBlock,VLmiBlock)");
    return 1;
  }
  const Value base = lmiConstantPart(a);
  const Value exponent = lmiConstantPart(b);
  if (const char* message = powerOperandError(base, exponent)) {
    reportError(message);
    return 1;
  }
  setLmiConstant(out, powerValues(base, exponent));
  return 0;
}

int VLmiBlock::Sqrt(VLmiBlock& block) {
  if (!block.IsConstant()) {
    reportNotLinear("VLmiBlock::Sqrt(VLmiBlock,VLmiBlock)");
    return 1;
  }
  Value root = lmiConstantPart(block);
  const int negative = sqrtValue(root);
  block[0] = VMatTerm(root);
  return negative;
}

std::ostream& VLmiBlock::Print(std::ostream& out, const VLmiBlock& block) {
  out << ">> VLmiBlock (" << block.rows << ", " << block.cols << ") : " << std::endl;
  return TermVec::Print(out, block.terms);
}

Value lmiConstantPart(const VLmiBlock& block) { return block[0].left; }

int isMatrixBlock(const VLmiBlock& block) { return block.Rows() > 1 || block.Cols() > 1; }

void setLmiConstant(VLmiBlock& block, const Value& v) {
  VLmiBlock constant(1);
  constant[0] = VMatTerm(v);
  constant.Rows() = v.Rows();
  constant.Cols() = v.Cols();
  block = constant;
}

void termVariableNames(const VLmiBlock& block, std::vector<std::string>& names) {
  names.clear();
  if (block.IsConstant()) {
    names.push_back("Only a constant term.");
    return;
  }
  for (int i = 1; i < block.NumTerms(); ++i) {
    const std::string& name = block[i].name;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
}
