// The matrix record of the MAT-file library: a full (dense, column-major),
// sparse (compressed columns) or triplet-form matrix, with its creation,
// access, release and the conversions between the two sparse forms.
//
// Records and their arrays live in malloc storage: a record owns its four
// arrays and mxFreeMatrix frees them with it. Code that lends an array to a
// record takes it out again before the record goes; code that hands an
// array out sets the field to null first. Every allocation is checked: a
// creation that cannot get its storage returns null and leaves nothing
// behind.
#ifndef VARNEL_MX_MATRIX_H
#define VARNEL_MX_MATRIX_H

#include <cstddef>

// Storage forms (MxMatrix::struc).
enum MxStruc { kMxFull = 0, kMxSparse = 1, kMxUnassigned = 4, kMxTriplet = 9 };

// The longest name a record holds with its terminating NUL: 19 characters.
constexpr int kMxNameSize = 20;

struct MxMatrix {
  char name[kMxNameSize];
  int struc;
  int type;      // 0 = double, the only element type
  int dispmode;  // 1: one character code per element
  char tag[4];
  int m;
  int n;
  double* pr;  // full and triplet: m*n, column-major; sparse: nzmax
  double* pi;  // the same length as pr; null for a real matrix
  int nzmax;
  int* jc;  // sparse: n + 1 column starts
  int* ir;  // sparse: the 0-based row of every stored entry
};

void* mxMalloc(std::size_t count, std::size_t size);
void* mxCalloc(std::size_t count, std::size_t size);
void mxFree(void* p);

// The name is the field up to its first NUL, at most 20 characters.
// mxSetName copies at most 20 characters (a null name gives the empty
// one); the writer refuses a record whose name leaves no room for the NUL.
inline const char* mxGetName(const MxMatrix* x) { return x->name; }
void mxSetName(MxMatrix* x, const char* name);
inline int mxGetM(const MxMatrix* x) { return x->m; }
inline void mxSetM(MxMatrix* x, int m) { x->m = m; }
inline int mxGetN(const MxMatrix* x) { return x->n; }
inline void mxSetN(MxMatrix* x, int n) { x->n = n; }
// Setting an array does not free the old one.
inline double* mxGetPr(const MxMatrix* x) { return x->pr; }
inline void mxSetPr(MxMatrix* x, double* pr) { x->pr = pr; }
inline double* mxGetPi(const MxMatrix* x) { return x->pi; }
inline void mxSetPi(MxMatrix* x, double* pi) { x->pi = pi; }
inline int* mxGetJc(const MxMatrix* x) { return x->jc; }
inline void mxSetJc(MxMatrix* x, int* jc) { x->jc = jc; }
inline int* mxGetIr(const MxMatrix* x) { return x->ir; }
inline void mxSetIr(MxMatrix* x, int* ir) { x->ir = ir; }
inline int mxGetNzmax(const MxMatrix* x) { return x->nzmax; }
inline void mxSetNzmax(MxMatrix* x, int nzmax) { x->nzmax = nzmax; }
inline int mxGetStruc(const MxMatrix* x) { return x->struc; }
inline void mxSetStruc(MxMatrix* x, int struc) { x->struc = struc; }
inline void mxSetType(MxMatrix* x, int type) { x->type = type; }
inline int mxGetDispMode(const MxMatrix* x) { return x->dispmode; }
inline void mxSetDispMode(MxMatrix* x, int dispmode) { x->dispmode = dispmode; }
// A triplet-form record counts as full.
inline int mxIsFull(const MxMatrix* x) { return x->struc != kMxSparse; }
inline int mxIsSparse(const MxMatrix* x) { return x->struc == kMxSparse; }
inline int mxIsSpam(const MxMatrix* x) { return x->struc == kMxTriplet; }
inline int mxIsComplex(const MxMatrix* x) { return x->pi != nullptr; }
inline int mxIsString(const MxMatrix* x) { return x->dispmode == 1; }
inline long mxGetNumEl(const MxMatrix* x) { return long(x->m) * x->n; }
// Sparse: the stored entries (jc[n], 0 without columns); otherwise m*n.
long mxGetNonZero(const MxMatrix* x);
inline std::size_t mxSizeofMatrix() { return sizeof(MxMatrix); }

// A zero-filled m x n record (empty name, full, real unless complex);
// m <= 0 or n <= 0 gives a 0 x 0 record without arrays. mxOnes sets every
// real part to re and, when complex, every imaginary part to im. Null when
// m*n exceeds the int range or the storage cannot be had.
MxMatrix* mxCreateFull(int m, int n, int complex);
MxMatrix* mxZeros(int complex, int m, int n);
MxMatrix* mxOnes(double re, double im, int complex, int m, int n);
// The imaginary array, allocated zero-filled (nzmax elements for a sparse
// record, m*n for any other) when there is none yet; null when it cannot
// be allocated.
double* mxCallocImag(MxMatrix* x);
// A sparse record with room for nzmax entries (at least 1) and no entry;
// m or n 0 makes both 0. Null when m, n or nzmax is negative or the
// storage cannot be had.
MxMatrix* spzeros(int complex, int m, int n, int nzmax);
void mxFreeMatrix(MxMatrix* x);

// The sparse record that a triplet-form record describes, or null when the
// triplets do not form a sparse matrix: at least one row, 3 or 4 columns,
// integral sizes (the column count at most kMaxSparseColumns), integral
// 1-based indices within them, entries ordered by column. Nothing is
// allocated before the triplets have passed these tests; s is unchanged.
MxMatrix* spam2sp(const MxMatrix* s);
// The triplet-form record of a sparse record, or null when it cannot be
// allocated.
MxMatrix* sp2spam(const MxMatrix* x);

// The most columns spam2sp accepts: the column starts of a sparse record
// take n + 1 ints, which a few bytes of a file must not make unbounded.
constexpr int kMaxSparseColumns = 100000000;

#endif
