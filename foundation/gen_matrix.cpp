#include "gen_matrix.h"

#include <climits>
#include <new>
#include <utility>

#include "allocation.h"
#include "kernels.h"

namespace {
// Every constructor but the wrapping one makes a 0-row or 0-column request
// a 0 x 0 matrix. The count is formed without wrapping around: callers pass
// only sizes that isAllocatableCount has let through, and a count no
// storage can index fails as an allocation does (the program's new handler,
// else std::bad_alloc) rather than giving a matrix too small for its sizes.
int storageCount(int rows, int cols) {
  if (rows == 0 || cols == 0) return 0;
  const double count = elementCount(rows, cols);
  if (!(count > 0.0 && count <= INT_MAX)) {
    if (const std::new_handler handler = std::get_new_handler()) handler();
    throw std::bad_alloc();
  }
  return static_cast<int>(count);
}
int normalised(int size, int other) { return size == 0 || other == 0 ? 0 : size; }
}  // namespace

GenMatrixD::GenMatrixD(int shallow) : storage(0), rows(0), cols(0), shallow(shallow) {}

GenMatrixD::GenMatrixD(int rows, int cols, int shallow)
    : storage(storageCount(rows, cols)), rows(normalised(rows, cols)), cols(normalised(cols, rows)), shallow(shallow) {}

GenMatrixD::GenMatrixD(int rows, int cols, double fill, int shallow) : GenMatrixD(rows, cols, shallow) {
  storage.Fill(fill);
}

GenMatrixD::GenMatrixD(int rows, int cols, double* data, int shallow)
    : storage(rows * cols, data), rows(rows), cols(cols), shallow(shallow) {}

GenMatrixD::GenMatrixD(const GenMatrixD& m, int shallow) : storage(m.storage), rows(m.rows), cols(m.cols), shallow(shallow) {}

GenMatrixD::GenMatrixD(const GenMatrixD& m) : GenMatrixD(m, 0) {}

GenMatrixD::GenMatrixD(GenMatrixD&& m) noexcept : storage(0), rows(m.rows), cols(m.cols), shallow(0) {
  if (m.storage.RefCount() == 1 && m.storage.IsStatic() == 0) {
    storage.Share(m.storage);
    m.storage.Release();
    m.rows = m.cols = 0;
  } else {
    storage.CopyFrom(m.storage);
  }
}

GenMatrixD& GenMatrixD::operator=(const GenMatrixD& m) {
  rows = m.rows;
  cols = m.cols;
  if (m.shallow)
    storage.Share(m.storage);
  else
    storage.CopyFrom(m.storage);
  return *this;
}

// A source that is not shallow and holds its block alone is going away:
// taking its block is indistinguishable from copying its elements.
GenMatrixD& GenMatrixD::operator=(GenMatrixD&& m) {
  if (this == &m) return *this;
  if (!m.shallow && m.storage.RefCount() == 1 && m.storage.IsStatic() == 0) {
    rows = m.rows;
    cols = m.cols;
    storage.Share(m.storage);
    m.storage.Release();
    m.rows = m.cols = 0;
    return *this;
  }
  return *this = static_cast<const GenMatrixD&>(m);
}

void GenMatrixD::Copy(const GenMatrixD& m) {
  rows = m.rows;
  cols = m.cols;
  storage.CopyFrom(m.storage);
}

void GenMatrixD::Resize(int newRows, int newCols) {
  rows = normalised(newRows, newCols);
  cols = normalised(newCols, newRows);
  storage.Resize(storageCount(newRows, newCols));
}

void GenMatrixD::Share(const GenMatrixD& m) {
  rows = m.rows;
  cols = m.cols;
  storage.Share(m.storage);
}

GenMatrixD GenMatrixD::operator+(const GenMatrixD& B) const {
  GenMatrixD C(rows, cols);
  addGen(*this, B, C);
  return C;
}

GenMatrixD GenMatrixD::operator-(const GenMatrixD& B) const {
  GenMatrixD C(rows, cols);
  subtractGen(*this, B, C);
  return C;
}

GenMatrixD GenMatrixD::operator*(const GenMatrixD& B) const {
  GenMatrixD C(rows, B.cols);
  multiplyGen(*this, B, C);
  return C;
}

GenMatrixD operator+(double s, const GenMatrixD& A) {
  GenMatrixD C(A.Rows(), A.Cols());
  addScalarGen(s, A, C);
  return C;
}

GenMatrixD operator-(double s, const GenMatrixD& A) {
  GenMatrixD C(A.Rows(), A.Cols());
  subtractFromScalarGen(s, A, C);
  return C;
}

GenMatrixD operator*(double s, const GenMatrixD& A) {
  GenMatrixD C(A.Rows(), A.Cols());
  scaleGen(s, A, C);
  return C;
}

GenMatrixD transpose(const GenMatrixD& A) {
  GenMatrixD B(A.Cols(), A.Rows());
  transposeGen(A, B);
  return B;
}

std::ostream& operator<<(std::ostream& out, const GenMatrixD& A) {
  if (A.Rows() == 0 || A.Cols() == 0) return out << "NULL GenMatrixD.\n";
  for (int i = 0; i < A.Rows(); ++i) {
    for (int j = 0; j < A.Cols(); ++j) out << A(i, j) << "  ";
    out << '\n';
  }
  return out;
}

std::ostream& operator<<(std::ostream& out, const MatrixDescription<GenMatrixD>& d) {
  const GenMatrixD& A = d.matrix;
  out << "Object type: GenMatrixD\n";
  out << "  Size: (" << A.Rows() << ", " << A.Cols() << ")\n";
  out << "  Address: " << (A.Data() != nullptr ? 1 : 0) << std::endl;
  out << "  Number of references:" << A.Storage().RefCount() << std::endl;
  out << "  Shallow copy: " << (A.IsShallow() ? "Yes" : "No") << std::endl;
  return out;
}
