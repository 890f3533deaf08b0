// The dense general matrix of doubles, column-major, over shared storage.
//
// Whether a copy shares or duplicates the elements is decided by explicit
// Share()/Copy() and by the source's shallow mark: assignment from a matrix
// marked shallow shares its block, from any other matrix it copies. Copy
// construction is always deep. Nothing here checks sizes or indices: callers
// test shapes before they combine matrices.
#ifndef VARNEL_GEN_MATRIX_H
#define VARNEL_GEN_MATRIX_H

#include <ostream>

#include "shared_array.h"

class GenMatrixD {
 public:
  explicit GenMatrixD(int shallow = 0);
  GenMatrixD(int rows, int cols, int shallow = 0);
  GenMatrixD(int rows, int cols, double fill, int shallow);
  // Views data (rows*cols doubles, column-major) without copying it; the
  // sizes are kept as given, even 0, and data is never freed here.
  GenMatrixD(int rows, int cols, double* data, int shallow);
  GenMatrixD(const GenMatrixD& m, int shallow);
  // Shares m's storage, as Share() on an empty matrix, not marked shallow.
  GenMatrixD(const GenMatrixD& m, ShareTag) : storage(m.storage, ShareTag{}), rows(m.rows), cols(m.cols), shallow(0) {}
  GenMatrixD(const GenMatrixD& m);
  // A temporary that holds its block alone hands it over; otherwise this is
  // the deep copy, so the result never shares with anyone.
  GenMatrixD(GenMatrixD&& m) noexcept;
  ~GenMatrixD() = default;

  // Shares when m is marked shallow, copies otherwise; own mark unchanged.
  GenMatrixD& operator=(const GenMatrixD& m);
  GenMatrixD& operator=(GenMatrixD&& m);

  void Copy(const GenMatrixD& m);
  void Share(const GenMatrixD& m);
  // Gives the matrix the sizes rows x cols, keeping its block only when it
  // holds it alone with that many elements; elements are then not set.
  void Resize(int rows, int cols);

  double& operator()(int i, int j) const { return storage[i + j * rows]; }
  double& operator[](int k) const { return storage[k]; }
  double* Data() const { return storage.Data(); }
  int Rows() const { return rows; }
  int Cols() const { return cols; }
  int Size() const { return storage.Size(); }
  int IsShallow() const { return shallow; }
  const SharedArray<double>& Storage() const { return storage; }

  void Fill(double v) { storage.Fill(v); }
  double Min() const { return storage.Min(); }
  double Max() const { return storage.Max(); }

  GenMatrixD operator+(const GenMatrixD& B) const;
  GenMatrixD operator-(const GenMatrixD& B) const;
  GenMatrixD operator*(const GenMatrixD& B) const;

 private:
  SharedArray<double> storage;
  int rows;
  int cols;
  int shallow;
};

GenMatrixD operator+(double s, const GenMatrixD& A);
GenMatrixD operator-(double s, const GenMatrixD& A);
GenMatrixD operator*(double s, const GenMatrixD& A);
GenMatrixD transpose(const GenMatrixD& A);

std::ostream& operator<<(std::ostream& out, const GenMatrixD& A);

// A debugging aid: `out << describe(A)` writes the matrix's bookkeeping.
template <class M>
struct MatrixDescription {
  const M& matrix;
};
inline MatrixDescription<GenMatrixD> describe(const GenMatrixD& A) { return {A}; }
std::ostream& operator<<(std::ostream& out, const MatrixDescription<GenMatrixD>& d);

#endif
