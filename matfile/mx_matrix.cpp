#include "mx_matrix.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "number_format.h"

void* mxMalloc(std::size_t count, std::size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return std::malloc(count * size);
}

void* mxCalloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }

void mxFree(void* p) { std::free(p); }

void mxSetName(MxMatrix* x, const char* name) {
  std::memset(x->name, 0, sizeof x->name);
  // At most the field's 20 characters; a name that fills it has no NUL.
  if (name != nullptr) std::memcpy(x->name, name, strnlen(name, sizeof x->name));
}

long mxGetNonZero(const MxMatrix* x) {
  if (x->struc != kMxSparse) return mxGetNumEl(x);
  return x->n > 0 ? x->jc[x->n] : 0;
}

MxMatrix* mxCreateFull(int m, int n, int complex) { return mxZeros(complex, m, n); }

MxMatrix* mxZeros(int complex, int m, int n) { return mxOnes(0.0, 0.0, complex, m, n); }

MxMatrix* mxOnes(double re, double im, int complex, int m, int n) {
  MxMatrix* x = static_cast<MxMatrix*>(mxCalloc(1, sizeof(MxMatrix)));
  if (x == nullptr || m <= 0 || n <= 0) return x;
  const int count = mlCheckInt(double(m) * n);
  if (errno != 0) {
    mxFree(x);
    return nullptr;
  }
  x->m = m;
  x->n = n;
  x->pr = static_cast<double*>(mxMalloc(count, sizeof(double)));
  if (x->pr == nullptr || (complex && mxCallocImag(x) == nullptr)) {
    mxFreeMatrix(x);
    return nullptr;
  }
  for (int k = 0; k < count; ++k) x->pr[k] = re;
  if (complex) {
    for (int k = 0; k < count; ++k) x->pi[k] = im;
  }
  return x;
}

double* mxCallocImag(MxMatrix* x) {
  if (x->pi != nullptr) return x->pi;
  const std::size_t count = x->struc == kMxSparse ? std::size_t(x->nzmax) : std::size_t(mxGetNumEl(x));
  x->pi = static_cast<double*>(mxCalloc(count, sizeof(double)));
  return x->pi;
}

MxMatrix* spzeros(int complex, int m, int n, int nzmax) {
  if (m < 0 || n < 0 || nzmax < 0) return nullptr;
  if (m == 0 || n == 0) m = n = 0;
  if (nzmax < 2) nzmax = 1;
  MxMatrix* x = static_cast<MxMatrix*>(mxCalloc(1, sizeof(MxMatrix)));
  if (x == nullptr) return nullptr;
  x->struc = kMxSparse;
  x->m = m;
  x->n = n;
  x->nzmax = nzmax;
  x->pr = static_cast<double*>(mxCalloc(nzmax, sizeof(double)));
  x->ir = static_cast<int*>(mxCalloc(nzmax, sizeof(int)));
  x->jc = static_cast<int*>(mxCalloc(std::size_t(n) + 1, sizeof(int)));
  if (x->pr == nullptr || x->ir == nullptr || x->jc == nullptr || (complex && mxCallocImag(x) == nullptr)) {
    mxFreeMatrix(x);
    return nullptr;
  }
  return x;
}

void mxFreeMatrix(MxMatrix* x) {
  if (x == nullptr) return;
  mxFree(x->pr);
  mxFree(x->pi);
  mxFree(x->ir);
  mxFree(x->jc);
  mxFree(x);
}

namespace {

// 1 when x is an integer in [low, high].
bool isIndexIn(double x, double low, double high) { return x >= low && x <= high && std::floor(x) == x; }

// The tests spam2sp makes before it allocates anything; m and n receive
// the sparse matrix's size.
bool tripletsAreValid(const MxMatrix* s, int& m, int& n) {
  if (s->m < 1 || (s->n != 3 && s->n != 4) || s->pr == nullptr) return false;
  const int rows = s->m;
  const double* rowNumbers = s->pr;
  const double* columnNumbers = s->pr + rows;
  if (!isIndexIn(rowNumbers[rows - 1], 0, INT_MAX) || !isIndexIn(columnNumbers[rows - 1], 0, kMaxSparseColumns)) {
    return false;
  }
  m = int(rowNumbers[rows - 1]);
  n = int(columnNumbers[rows - 1]);
  for (int k = 0; k + 1 < rows; ++k) {
    if (!isIndexIn(rowNumbers[k], 1, m) || !isIndexIn(columnNumbers[k], 1, n)) return false;
    if (k > 0 && columnNumbers[k] < columnNumbers[k - 1]) return false;
  }
  return true;
}

}  // namespace

MxMatrix* spam2sp(const MxMatrix* s) {
  int m, n;
  if (!tripletsAreValid(s, m, n)) return nullptr;
  const int rows = s->m;
  const int nnz = rows - 1;
  const bool complex = s->n == 4;
  MxMatrix* x = spzeros(complex, m, n, nnz);
  if (x == nullptr) return nullptr;
  // A size of 0 either way makes the matrix 0 x 0 (and then it has no entry).
  n = x->n;
  std::memcpy(x->name, s->name, sizeof x->name);
  const double* rowNumbers = s->pr;
  const double* columnNumbers = s->pr + rows;
  const double* real = s->pr + 2 * std::size_t(rows);
  const double* imaginary = complex ? s->pr + 3 * std::size_t(rows) : nullptr;
  int k = 0;
  for (int j = 0; j < n; ++j) {
    x->jc[j] = k;
    for (; k < nnz && columnNumbers[k] == j + 1; ++k) {
      x->ir[k] = int(rowNumbers[k]) - 1;
      x->pr[k] = real[k];
      if (complex) x->pi[k] = imaginary[k];
    }
  }
  x->jc[n] = nnz;
  return x;
}

MxMatrix* sp2spam(const MxMatrix* x) {
  const long nnz = mxGetNonZero(x);
  if (nnz >= INT_MAX) return nullptr;
  const bool complex = x->pi != nullptr;
  const int rows = int(nnz) + 1;
  MxMatrix* s = mxZeros(0, rows, complex ? 4 : 3);
  if (s == nullptr) return nullptr;
  s->struc = kMxTriplet;
  std::memcpy(s->name, x->name, sizeof s->name);
  double* rowNumbers = s->pr;
  double* columnNumbers = s->pr + rows;
  double* real = s->pr + 2 * std::size_t(rows);
  for (long k = 0; k < nnz; ++k) {
    rowNumbers[k] = x->ir[k] + 1;
    real[k] = x->pr[k];
  }
  for (int j = 0; j < x->n; ++j) {
    for (int k = x->jc[j]; k < x->jc[j + 1]; ++k) columnNumbers[k] = j + 1;
  }
  rowNumbers[nnz] = x->m;
  columnNumbers[nnz] = x->n;
  if (complex) {
    double* imaginary = s->pr + 3 * std::size_t(rows);
    for (long k = 0; k < nnz; ++k) imaginary[k] = x->pi[k];
  }
  return s;
}
