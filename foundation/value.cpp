#include "value.h"

Value::Value(int rows, int cols, double fill) : Value() {
  if (rows == 1 && cols == 1)
    *this = fill;
  else if (rows > 0 && cols > 0)
    installMatrix(new GenMatrixD(rows, cols, fill, 0));
}

GenMatrixD* Value::sharingMatrix(const GenMatrixD& m) {
  return new GenMatrixD(m, ShareTag{});
}

// Each assignment makes the new content before it releases the old one, so
// a source that is (or lives in) the destination is still intact when read.
Value& Value::Assign(const Value& src) {
  if (this == &src) return *this;
  if (src.tag == kMatrixTag)
    installMatrix(sharingMatrix(*src.matrix));
  else if (src.tag == kScalarTag)
    *this = src.scalar;
  else
    Release();
  return *this;
}

Value& Value::operator=(Value&& src) noexcept {
  if (this == &src) return *this;
  if (src.tag == kMatrixTag) {
    installMatrix(src.matrix);
    src.tag = kEmptyTag;
    src.matrix = nullptr;
    return *this;
  }
  return Assign(src);
}

// From itself, a matrix value trades its shared storage for a private copy.
Value& Value::DeepCopy(const Value& src) {
  if (src.tag == kMatrixTag) {
    installMatrix(new GenMatrixD(*src.matrix));
    return *this;
  }
  return Assign(src);
}

Value& Value::operator=(const GenMatrixD& m) {
  if (m.Rows() == 0 || m.Cols() == 0)
    Release();
  else if (m.Rows() == 1 && m.Cols() == 1)
    *this = m[0];
  else
    installMatrix(sharingMatrix(m));
  return *this;
}

Value& Value::Fill(double x) {
  if (tag == kScalarTag)
    scalar = x;
  else if (tag == kMatrixTag)
    matrix->Fill(x);
  return *this;
}

double Value::Min() const {
  if (tag == kMatrixTag) return matrix->Min();
  return tag == kScalarTag ? scalar : 0.0;
}

double Value::Max() const {
  if (tag == kMatrixTag) return matrix->Max();
  return tag == kScalarTag ? scalar : 0.0;
}
