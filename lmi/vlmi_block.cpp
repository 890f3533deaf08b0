#include "vlmi_block.h"

#include <algorithm>
#include <iostream>
#include <ostream>

#include "evaluator.h"
#include "report.h"
#include "workspace.h"

namespace {

int isOneByOne(const VLmiBlock& block) { return block.Rows() == 1 && block.Cols() == 1; }

void reportNotLinear(const char* operation) {
  reportError(std::string(operation) + ": Not a linear operation");
}

VMatTerm product(const Value& c, const VMatTerm& t, int constantOnLeft) {
  return constantOnLeft ? c * t : t * c;
}

// The number of terms that terms first .. n-1 of block become in a product
// with c: a symmetric term met by a matrix becomes two.
int productTermCount(const VLmiBlock& block, int first, const Value& c) {
  int count = block.NumTerms() - first;
  if (!c.IsScalar())
    for (int i = first; i < block.NumTerms(); ++i) count += block[i].symmetric;
  return count;
}

// Writes the products of terms first .. n-1 of block with c into out from
// position k on and returns the position after them. c (P + P') is no single
// term for a matrix c, so a symmetric term is split into c P and c P' first.
int putProducts(const VLmiBlock& block, int first, const Value& c, int constantOnLeft, VLmiBlock& out,
                int k) {
  for (int i = first; i < block.NumTerms(); ++i) {
    const VMatTerm& t = block[i];
    if (t.symmetric && !c.IsScalar()) {
      VMatTerm plain(t);
      plain.symmetric = 0;
      out[k++] = product(c, plain, constantOnLeft);
      out[k++] = product(c, VMatTerm::Transpose(plain), constantOnLeft);
    } else {
      out[k++] = product(c, t, constantOnLeft);
    }
  }
  return k;
}

int putCopies(const VLmiBlock& block, VLmiBlock& out, int k) {
  for (int i = 1; i < block.NumTerms(); ++i) out[k++] = block[i];
  return k;
}

// c * block for a block with variable terms (c on the left when
// constantOnLeft is set). The result has c's outer size and the block's, or
// the other side's whole size when one side is 1 x 1.
VLmiBlock productWithConstant(const VLmiBlock& block, const Value& c, int constantOnLeft) {
  VLmiBlock result(productTermCount(block, 0, c));
  putProducts(block, 0, c, constantOnLeft, result, 0);
  if (constantOnLeft) {
    result.Rows() = c.IsScalar() ? block.Rows() : c.Rows();
    result.Cols() = !c.IsScalar() && isOneByOne(block) ? c.Cols() : block.Cols();
  } else {
    result.Rows() = !c.IsScalar() && isOneByOne(block) ? c.Rows() : block.Rows();
    result.Cols() = c.IsScalar() ? block.Cols() : c.Cols();
  }
  return result;
}

// The size rule of a product c * block (constantOnLeft) or block * c.
int productFits(const VLmiBlock& block, const Value& c, int constantOnLeft) {
  if (c.IsScalar() || isOneByOne(block)) return 1;
  return constantOnLeft ? c.Cols() == block.Rows() : block.Cols() == c.Rows();
}

// The result of a sum or difference, its sizes already checked. In a result
// that is not square, the terms of a 1 x 1 side can only mean their scalar on
// every element; they are written as products with a matrix of ones so that
// they hold the result's size and later products stay exact.
VLmiBlock combine(const VLmiBlock& a, const VLmiBlock& b, int subtract) {
  const int rows = std::max(a.Rows(), b.Rows());
  const int cols = std::max(a.Cols(), b.Cols());
  const int spreadA = rows != cols && isOneByOne(a);
  const int spreadB = rows != cols && isOneByOne(b);
  const double sign = subtract ? -1.0 : 1.0;
  const Value onesA = spreadA ? Value(rows, cols, 1.0) : Value(1.0);
  const Value factorB = spreadB ? Value(rows, cols, sign) : Value(sign);
  const int scaleB = spreadB || subtract;

  const int countA = spreadA ? productTermCount(a, 1, onesA) : a.NumTerms() - 1;
  const int countB = scaleB ? productTermCount(b, 1, factorB) : b.NumTerms() - 1;
  VLmiBlock result(1 + countA + countB);
  VMatTerm constant = subtract ? a[0] - b[0] : a[0] + b[0];
  if (rows != cols && constant.left.IsScalar() && *constant.left.Scalar() != 0.0)
    constant.left = Value(rows, cols, *constant.left.Scalar());
  result[0] = constant;
  int k = spreadA ? putProducts(a, 1, onesA, 0, result, 1) : putCopies(a, result, 1);
  if (scaleB)
    putProducts(b, 1, factorB, spreadB ? 0 : 1, result, k);
  else
    putCopies(b, result, k);
  result.Rows() = rows;
  result.Cols() = cols;
  return result;
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
  // The matrix terms are summed apart from the 1 x 1 ones, whose sum is then
  // read as the block's reading says.
  Value matrixSum;
  int ownsSum = 0;  // 0 while matrixSum may share a term's elements
  double scalarSum = 0.0;
  for (int i = 0; i < NumTerms(); ++i) {
    const Value v = terms[i].Eval(vartbl);
    if (v.IsEmpty()) return Value();
    if (v.IsScalar()) {
      scalarSum += *v.Scalar();
    } else if (v.Rows() != rows || v.Cols() != cols) {
      return Value();
    } else if (matrixSum.IsEmpty()) {
      matrixSum = v;
    } else {
      matrixSum = addValues(matrixSum, v);
      ownsSum = 1;
    }
  }
  const int identity = reading == kScalarTimesIdentity && rows == cols;
  if (matrixSum.IsEmpty()) return spreadScalar(scalarSum, rows, cols, identity);
  if (scalarSum == 0.0) return matrixSum;
  if (!identity) return addValues(matrixSum, Value(scalarSum));
  if (!ownsSum) matrixSum.DeepCopy(matrixSum);
  GenMatrixD& m = *matrixSum.Matrix();
  for (int i = 0; i < rows; ++i) m(i, i) += scalarSum;
  return matrixSum;
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

VLmiBlock VLmiBlock::operator+(const VLmiBlock& b) const {
  if (isOneByOne(*this) || isOneByOne(b) || (rows == b.rows && cols == b.cols)) return combine(*this, b, 0);
  reportError("VLmiBlock::operator+(): Summing different sizes");
  return VLmiBlock(1);
}

VLmiBlock VLmiBlock::operator-(const VLmiBlock& b) const {
  if (isOneByOne(*this) || isOneByOne(b) || (rows == b.rows && cols == b.cols)) return combine(*this, b, 1);
  reportError("VLmiBlock::operator-(): Subtracting different sizes");
  return VLmiBlock(1);
}

VLmiBlock VLmiBlock::operator*(const VLmiBlock& b) const {
  const VLmiBlock& a = *this;
  if (!a.IsConstant() && !b.IsConstant()) {
    reportNotLinear("VLmiBlock::operator*()");
    return VLmiBlock(1);
  }
  const int constantOnLeft = a.IsConstant();
  const VLmiBlock& other = constantOnLeft ? b : a;
  const Value c = lmiConstantPart(constantOnLeft ? a : b);
  if (!other.IsConstant() && productFits(other, c, constantOnLeft))
    return productWithConstant(other, c, constantOnLeft);
  const Value right = lmiConstantPart(b);
  if (other.IsConstant() && (c.IsScalar() || right.IsScalar() || c.Cols() == right.Rows())) {
    VLmiBlock result;
    setLmiConstant(result, multiplyValues(c, right));
    return result;
  }
  reportError("VLmiBlock::operator*(): Multiplying different sizes");
  return VLmiBlock(1);
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
    Value inverse;
    if (invertDivisor(c, inverse)) return 1;
    out = productWithConstant(a, inverse, 0);
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
    Value inverse;
    if (invertDivisor(c, inverse)) return 1;
    out = productWithConstant(b, inverse, 1);
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
