// Packed symmetric coordinates and the loop kernels of the Newton systems.
//
// svec of a symmetric d x d matrix S: d(d+1)/2 entries, first the diagonal
// S(k, k) at position k, then the strictly lower triangle row by row,
// sqrt(2) S(k, l) at position d + k(k-1)/2 + l for l < k. With that scaling
// svec(A) . svec(B) = trace(A B). A block matrix of total dimension D uses
// the same layout over the whole D x D matrix.
//
// Variables: a p x q variable whose first unknown is `base` owns unknown
// base + i + j p for its entry (i, j). E_ij is the p x q unit matrix of that
// entry and op(E_ij) its transpose when the term is transposed. A 1 x 1
// variable is a scalar: the kernels then let it multiply the product of the
// two operands (the scalar shortcut) and form no op(E).
//
// The kernels work in place on storage the caller has shaped; they allocate
// nothing and check nothing, except that the sums of a scalar shortcut stop
// at the shorter of the two operands they pair (a 1 x 1 term in a position
// whose operands differ in size is the scalar times the rectangular
// identity). Matrices are column-major with their row count as leading
// dimension; the sub-block (m, n, rowOff, colOff) of M is the m x n matrix
// S(i, j) = M(rowOff + i, colOff + j). Transpose flags are 0 or nonzero.
#ifndef VARNEL_PACKED_H
#define VARNEL_PACKED_H

#include <vector>

#include "gen_matrix.h"
#include "tri_matrix.h"

// The free parameters that the unknowns of one p x q variable (p q > 1)
// are multiples of, when every unknown is a multiple of one: the
// parameters in ascending order, each with the variable's own unknowns of
// it, entry (i, j) and multiple.
struct VariableParameters {
  int base = 0;  // the variable's first unknown
  std::vector<int> parameter;
  std::vector<int> start;  // parameter.size() + 1 offsets into the entries
  std::vector<int> i;
  std::vector<int> j;
  std::vector<double> multiple;
  // A symmetric p x p variable with nothing else tied or fixed has the
  // parameters first, first + 1, ... for the entries (r, c), r <= c, of
  // its upper triangle column by column, each the copy in (c, r) too: then
  // its order p and first, else 0 and -1.
  int symmetricOrder = 0;
  int symmetricFirst = -1;

  int Count() const { return static_cast<int>(parameter.size()); }
  // Sets symmetricOrder and symmetricFirst when the lists are of that form.
  void FindSymmetricLayout(int p, int q);
};

// Where the Newton systems put what unknown u contributes: into row and
// column Column(u) of the system, times Weight(u), and nowhere when
// Column(u) is negative. Without arrays it is the identity, the system over
// all the unknowns; with the equality basis's parameter and multiple of
// each unknown (when every unknown is a multiple of one free parameter) the
// systems come out reduced to the free parameters, T'HT and R T, at once.
struct UnknownPlacement {
  const int* column = nullptr;
  const double* weight = nullptr;
  // With the arrays, each variable's parameters (VariableParameters), for
  // the pairs of terms on one variable.
  const VariableParameters* variables = nullptr;
  int variableCount = 0;

  int Column(int u) const { return column != nullptr ? column[u] : u; }
  double Weight(int u) const { return weight != nullptr ? weight[u] : 1.0; }
  // H(r, t) += v, r <= t, placed into H's upper triangle: the pair of two
  // unknowns of one parameter adds twice to its diagonal (for H(r, t) and
  // H(t, r)).
  void AddPair(GenMatrixD& h, int r, int t, double v) const {
    const int a = Column(r);
    const int b = Column(t);
    if (a < 0 || b < 0) return;
    v *= Weight(r) * Weight(t);
    if (a == b && r != t) v += v;
    if (a <= b)
      h(a, b) += v;
    else
      h(b, a) += v;
  }
  // g[u] += v, placed.
  void Add(double* g, int u, double v) const {
    const int a = Column(u);
    if (a >= 0) g[a] += Weight(u) * v;
  }
  // The parameters of the variable whose first unknown is base, or null
  // (a 1 x 1 variable, or no such arrays).
  const VariableParameters* Variable(int base) const {
    for (int k = 0; k < variableCount; ++k)
      if (variables[k].base == base) return &variables[k];
    return nullptr;
  }
};

inline int svecLength(int d) { return d * (d + 1) / 2; }
// Position of entry (k, l), l <= k, of a d x d symmetric matrix.
inline int svecIndex(int d, int k, int l) { return k == l ? k : d + k * (k - 1) / 2 + l; }
// v := svec(S), S read through its upper triangle; v has svecLength(d) entries.
void svec(const SymMatrixD& S, double* v);
// The upper triangle of S (already d x d) := the matrix of the svec v.
void smat(const double* v, SymMatrixD& S);

// A := A + A' (square A): the whole matrix when full is set; otherwise the
// upper triangle with the diagonal, the strictly lower part unchanged.
void addOwnTranspose(GenMatrixD& A, int full);

// dst(i, j) := S(i, j), or dst(j, i) := S(i, j) when transpose is set, for
// the sub-block S (m, n, rowOff, colOff) of src; dst keeps its shape.
void copySubBlock(GenMatrixD& dst, const GenMatrixD& src, int m, int n, int rowOff, int colOff, int transpose);
// The same into a bare array with column stride ld.
void copySubBlockToArray(double* dst, int ld, const GenMatrixD& src, int m, int n, int rowOff, int colOff,
                         int transpose);

// C := op(S) op(B), S the sub-block (m, n, rowOff, colOff) of A. The result
// (n or m rows, B's rows or columns) is written column by column into C's
// elements with its own row count as leading dimension.
void multiplySubBlockLeft(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transS, int transB, int m, int n,
                          int rowOff, int colOff);
// C := op(A) op(S), S the sub-block (m, n, rowOff, colOff) of B, written as
// in multiplySubBlockLeft.
void multiplySubBlockRight(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transA, int transS, int m,
                           int n, int rowOff, int colOff);

// Right side of the normal equations: g[base + i + j p] += s M(i, j) when
// transposed is set (M p x q), s M(j, i) otherwise (M q x p); a 1 x 1
// variable adds s times the trace of M. Every unknown placed by `at`, as in
// the kernels below.
void accumulateScaledSubBlock(double* g, const GenMatrixD& M, int base, int p, int q, int transposed, double s,
                              const UnknownPlacement& at = {});

// Gram matrix of the normal equations: for entry (i1, j1) of the first
// variable (unknown r) and (i2, j2) of the second (unknown t), r <= t:
// H(r, t) += s P(u, v) Q(w, z) = s trace(Q op1(E_r) P op2(E_t)), with
// (u, z) = (j1, i1), or (i1, j1) when transposed1, and (v, w) = (i2, j2),
// or (j2, i2) when transposed2. Only H's upper triangle is written.
void accumulateScaledSymmetric(SymMatrixD& H, const GenMatrixD& P, const GenMatrixD& Q, int base1, int base2, int p1,
                               int q1, int p2, int q2, int transposed1, int transposed2, double s,
                               const UnknownPlacement& at = {});

// The same for two terms on one variable, straight into the reduced
// system: for every pair of the variable's parameters a <= b,
//   H(a, b) += s sum over r of a, t of b of m_r m_t P(u, v) Q(w, z),
// m being the multiples and (u, z), (v, w) taken from the entries of r and
// t as above. Every ordered pair of unknowns counts, not only r <= t: the
// pairs of terms on one variable come in both orders, and together they
// give T'HT. Column b is written as one stretch, from the matrix
// S = sum over t of b of m_t P(:, v) Q(w, :) in work (P.Rows() x
// Q.Cols() doubles); for a symmetric layout, whose pairs (r, c), (c, r)
// make the orientations alike, from two outer products without S.
void accumulateReducedSymmetric(SymMatrixD& H, const GenMatrixD& P, const GenMatrixD& Q,
                                const VariableParameters& variable, int transposed1, int transposed2, double s,
                                double* work);

// Least-squares rows of a whole block of dimension d = U.Rows(): for every
// entry, s svec(S) into its column of A from `row`, T = U op(E_ij) V and
// S = T + T' when symmetric, else T read through its lower triangle.
// row += d(d+1)/2.
void svecAccumulateSym(GenMatrixD& A, int& row, const GenMatrixD& U, const GenMatrixD& V, int base, int p, int q,
                       int transposed, int symmetric, double s, const UnknownPlacement& at = {});

// The svec entries of an m x m diagonal block at rows and columns rowOff of
// a block matrix of dimension D, T = P op(E_ij) Q, S = T + T' when mirror.
void svecAccumulateGen2(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, int base, int p, int q,
                        int transposed, int rowOff, int D, int m, int mirror, double s,
                        const UnknownPlacement& at = {});
// The same with T = P op(E_ij) Q + R op(E_ij)' S4.
void svecAccumulateGen4(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD& R,
                        const GenMatrixD& S4, int base, int p, int q, int transposed, int rowOff, int D, int m,
                        int mirror, double s, const UnknownPlacement& at = {});
// The svec entries of an mA x mB block at rows rowOffA and columns rowOffB,
// wholly below the diagonal: every entry s sqrt(2) T(k, l), T = P op(E_ij) Q.
void svecAccumulateGen2Offset(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, int base, int p, int q,
                              int rowOffA, int rowOffB, int D, int mA, int mB, int transposed, double s,
                              const UnknownPlacement& at = {});
// The same with T = P op(E_ij) Q + R op(E_ij)' S4.
void svecAccumulateGen4Offset(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD& R,
                              const GenMatrixD& S4, int base, int p, int q, int rowOffA, int rowOffB, int D, int mA,
                              int mB, int transposed, double s, const UnknownPlacement& at = {});

#endif
