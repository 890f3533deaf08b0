#include "vmat_term.h"

#include <ostream>

#include "report.h"
#include "var_record.h"

namespace {

int isScalarZero(const Value& v) { return v.IsScalar() && *v.Scalar() == 0.0; }

// The implicit constant of a block made of variables: it stays the scalar 0.0
// under every product, whatever the other factor's size.
int isZeroConstant(const VMatTerm& t) { return t.IsConstant() && isScalarZero(t.left); }

void reportIfSymmetryLost(const VMatTerm& t, const Value& c, const char* operation) {
  if (t.symmetric && !c.IsScalar()) reportError(std::string(operation) + ": Simetry lost!");
}

// c * t without the symmetry diagnostic.
VMatTerm leftProduct(const Value& c, const VMatTerm& t) {
  VMatTerm r(t);
  if (isZeroConstant(t)) return r;
  if (!t.leftIsIdentity) {
    r.left = multiplyValues(c, t.left);
  } else if (c.IsScalar() && !t.rightIsIdentity) {
    r.right = multiplyValues(t.right, c);
  } else {
    r.leftIsIdentity = 0;
    r.left = c;
  }
  return r;
}

// t * c without the symmetry diagnostic.
VMatTerm rightProduct(const VMatTerm& t, const Value& c) {
  VMatTerm r(t);
  if (isZeroConstant(t)) return r;
  if (t.IsConstant()) {
    r.left = multiplyValues(t.left, c);
  } else if (!t.rightIsIdentity) {
    r.right = multiplyValues(t.right, c);
  } else if (c.IsScalar() && !t.leftIsIdentity) {
    r.left = multiplyValues(c, t.left);
  } else {
    r.rightIsIdentity = 0;
    r.right = c;
  }
  return r;
}

// k / c and c \ k for a coefficient k; a scalar k stands for k I beside a
// matrix divisor.
Value coefficientOver(const Value& k, const Value& c, const Value& inverse) {
  return k.IsScalar() && c.IsMatrix() ? multiplyValues(k, inverse) : rightDivideValues(k, c);
}

Value coefficientUnder(const Value& c, const Value& inverse, const Value& k) {
  return k.IsScalar() && c.IsMatrix() ? multiplyValues(inverse, k) : leftDivideValues(c, k);
}

std::ostream& printCoefficient(std::ostream& out, int isIdentity, const Value& coefficient) {
  if (isIdentity) return out << "Identity" << std::endl;
  return printValue(out, coefficient);
}

}  // namespace

void reportNotLinear(const char* operation) { reportError(std::string(operation) + ": Not a linear operation"); }

Value VMatTerm::Eval(HashTable<VarRecord>& vartbl) const {
  if (IsConstant()) return left;
  const Value& x = vartbl.Lookup(name).GetValue();
  Value v = transposed ? transposeValue(x) : x;
  if (!leftIsIdentity) v = multiplyValues(left, v);
  if (!rightIsIdentity) v = multiplyValues(v, right);
  if (symmetric) v = addValues(v, transposeValue(v));
  return v;
}

VMatTerm VMatTerm::Transpose(const VMatTerm& t) {
  if (t.symmetric) return t;
  VMatTerm r;
  if (t.IsConstant()) {
    r.left = transposeValue(t.left);
    r.leftIsIdentity = 0;
    return r;
  }
  r.name = t.name;
  r.transposed = 1 - t.transposed;
  r.leftIsIdentity = t.rightIsIdentity;
  if (!t.rightIsIdentity) r.left = transposeValue(t.right);
  r.rightIsIdentity = t.leftIsIdentity;
  if (!t.leftIsIdentity) r.right = transposeValue(t.left);
  return r;
}

VMatTerm VMatTerm::Sym(const VMatTerm& t) {
  VMatTerm r(t);
  if (t.symmetric) return r;
  if (t.IsConstant()) {
    r.left = addValues(t.left, transposeValue(t.left));
    r.leftIsIdentity = 0;
  } else {
    r.symmetric = 1;
  }
  return r;
}

VMatTerm operator+(const VMatTerm& t1, const VMatTerm& t2) {
  VMatTerm r(t1);
  if (!t1.IsConstant() || !t2.IsConstant())
    reportError("VMatTerm::operator+(): Illegal operation");
  else
    r.left = addValues(t1.left, t2.left);
  return r;
}

VMatTerm operator-(const VMatTerm& t1, const VMatTerm& t2) {
  VMatTerm r(t1);
  if (!t1.IsConstant() || !t2.IsConstant())
    reportError("VMatTerm::operator-(): Illegal operation");
  else
    r.left = subtractValues(t1.left, t2.left);
  return r;
}

VMatTerm operator*(const Value& c, const VMatTerm& t) {
  reportIfSymmetryLost(t, c, "VMatTerm::operator*()");
  return leftProduct(c, t);
}

VMatTerm operator*(const VMatTerm& t, const Value& c) {
  reportIfSymmetryLost(t, c, "VMatTerm::operator*()");
  return rightProduct(t, c);
}

int invertDivisor(const Value& c, Value& inverse) {
  if (c.IsMatrix() && c.Rows() != c.Cols()) {
    reportError("Can not invert nonsquare matrices!");
    return 1;
  }
  if (isScalarZero(c) || invValue(c, inverse) != 0) {
    reportError("'inv' failed. Matrix may be ill conditionated or singular.");
    return 1;
  }
  return 0;
}

VMatTerm divideRight(const VMatTerm& t, const Value& c, const Value& inverse) {
  VMatTerm r(t);
  if (isZeroConstant(t)) return r;
  if (t.IsConstant()) {
    r.left = coefficientOver(t.left, c, inverse);
  } else if (!t.rightIsIdentity) {
    r.right = coefficientOver(t.right, c, inverse);
  } else if (c.IsScalar() && !t.leftIsIdentity) {
    r.left = coefficientOver(t.left, c, inverse);
  } else {
    r.rightIsIdentity = 0;
    r.right = inverse;
  }
  return r;
}

VMatTerm divideLeft(const Value& c, const Value& inverse, const VMatTerm& t) {
  VMatTerm r(t);
  if (isZeroConstant(t)) return r;
  if (!t.leftIsIdentity) {
    r.left = coefficientUnder(c, inverse, t.left);
  } else if (c.IsScalar() && !t.rightIsIdentity) {
    r.right = coefficientOver(t.right, c, inverse);
  } else {
    r.leftIsIdentity = 0;
    r.left = inverse;
  }
  return r;
}

int VMatTerm::Slash(const VMatTerm& t, const Value& c, VMatTerm& out) {
  if (t.IsConstant()) {
    VMatTerm r(t);
    r.left = rightDivideValues(t.left, c);
    out = r;
    return 0;
  }
  reportIfSymmetryLost(t, c, "VMatTerm::operator/()");
  Value inverse;
  if (invertDivisor(c, inverse)) return 1;
  out = divideRight(t, c, inverse);
  return 0;
}

int VMatTerm::Slash(const Value& c, const VMatTerm& t, VMatTerm& out) {
  if (!t.IsConstant()) {
    reportNotLinear("VMatTerm::operator/()");
    return 1;
  }
  VMatTerm r(t);
  r.left = rightDivideValues(c, t.left);
  out = r;
  return 0;
}

int VMatTerm::BackSlash(const Value& c, const VMatTerm& t, VMatTerm& out) {
  if (t.IsConstant()) {
    VMatTerm r(t);
    r.left = leftDivideValues(c, t.left);
    out = r;
    return 0;
  }
  reportIfSymmetryLost(t, c, "VMatTerm::BackSlash()");
  Value inverse;
  if (invertDivisor(c, inverse)) return 1;
  out = divideLeft(c, inverse, t);
  return 0;
}

int VMatTerm::BackSlash(const VMatTerm& t, const Value& c, VMatTerm& out) {
  if (!t.IsConstant()) {
    reportNotLinear("VMatTerm::BackSlash()");
    return 1;
  }
  VMatTerm r(t);
  r.left = leftDivideValues(t.left, c);
  out = r;
  return 0;
}

std::ostream& VMatTerm::Print(std::ostream& out, const VMatTerm& t) {
  out << "      Name: " << (t.IsConstant() ? "Null name" : t.name) << std::endl;
  out << " Left term: ";
  printCoefficient(out, t.leftIsIdentity, t.left);
  out << "Right term: ";
  printCoefficient(out, t.rightIsIdentity, t.right);
  out << (t.transposed ? "Transpose" : "Straight") << std::endl;
  out << (t.symmetric ? "Symmetric" : "Flat") << std::endl;
  return out;
}
