#include "packed.h"

#include "kernels.h"

#include <algorithm>
#include <cmath>

namespace {

// ---------------------------------------------------------------------------
// svec accumulation. T is given as a function of (k, l); the variants form
// it from one or two outer products of a column and a row.

// x[k] y[l]: column a of the left operand times row b of the right one.
struct OuterProduct {
  const double* x;
  const double* y;
  int yStep;
  double operator()(int k, int l) const { return x[k] * y[l * yStep]; }
};

// x1[k] y1[l] + x2[k] y2[l].
struct TwoOuterProducts {
  OuterProduct first;
  OuterProduct second;
  double operator()(int k, int l) const { return first(k, l) + second(k, l); }
};

OuterProduct outer(const GenMatrixD& left, int a, const GenMatrixD& right, int b) {
  return OuterProduct{left.Data() + a * left.Rows(), right.Data() + b, right.Rows()};
}

// Adds the svec entries of S (T + T' when mirrored, else T read through its
// lower triangle) for an m x m diagonal block at rows and columns rowOff of
// a D x D matrix into col, the column of A from the block matrix's first
// svec row: s S(k, k), then s2 S(k, l) for l < k (s2 = s sqrt(2)).
template <class T>
void addDiagonalSvec(double* col, int D, int rowOff, int m, int mirror, double s, double s2, const T& t) {
  for (int k = 0; k < m; ++k) {
    const double tkk = t(k, k);
    col[rowOff + k] += s * (mirror ? tkk + tkk : tkk);
  }
  for (int k = 1; k < m; ++k) {
    const int K = rowOff + k;
    double* out = col + D + K * (K - 1) / 2 + rowOff;
    if (mirror) {
      for (int l = 0; l < k; ++l) out[l] += s2 * (t(k, l) + t(l, k));
    } else {
      for (int l = 0; l < k; ++l) out[l] += s2 * t(k, l);
    }
  }
}

// Adds s2 T(k, l) for an mA x mB block at rows rowOffA and columns rowOffB
// lying below the diagonal of a D x D matrix.
template <class T>
void addOffDiagonalSvec(double* col, int D, int rowOffA, int rowOffB, int mA, int mB, double s2, const T& t) {
  for (int k = 0; k < mA; ++k) {
    const int K = rowOffA + k;
    double* out = col + D + K * (K - 1) / 2 + rowOffB;
    for (int l = 0; l < mB; ++l) out[l] += s2 * t(k, l);
  }
}

// Calls f(column of A, a, b) for every entry (i, j) of a p x q variable,
// with a and b the indices of E_ij's 1 in op(E_ij) (a its row, b its
// column): T = P op(E_ij) Q is column a of P times row b of Q.
template <class F>
void forEachEntry(int base, int p, int q, int transposed, const F& f) {
  for (int j = 0; j < q; ++j)
    for (int i = 0; i < p; ++i) f(base + i + j * p, transposed ? j : i, transposed ? i : j);
}

double* columnAt(GenMatrixD& A, int c, int row) { return A.Data() + c * A.Rows() + row; }

// The inner length of the product left * right in a scalar shortcut: the
// shorter of the two sides, so that neither is read past.
int innerLength(const GenMatrixD& left, const GenMatrixD& right) { return std::min(left.Cols(), right.Rows()); }

// svec entries of T = P op(E) Q (+ R op(E)' S4 when R is given) on a
// diagonal block, for every entry of the variable.
void diagonalBlockRows(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD* R,
                       const GenMatrixD* S4, int base, int p, int q, int transposed, int rowOff, int D, int m,
                       int mirror, double scale, const UnknownPlacement& at) {
  if (p == 1 && q == 1) {
    // Scalar shortcut: T = P Q (+ R S4), one outer product per inner index.
    if (at.Column(base) < 0) return;
    const double s = scale * at.Weight(base);
    const double s2 = s * std::sqrt(2.0);
    double* col = columnAt(A, at.Column(base), row);
    const int pq = innerLength(P, Q);
    const int rs = R != nullptr ? innerLength(*R, *S4) : 0;
    const int both = std::min(pq, rs);
    for (int a = 0; a < both; ++a)
      addDiagonalSvec(col, D, rowOff, m, mirror, s, s2, TwoOuterProducts{outer(P, a, Q, a), outer(*R, a, *S4, a)});
    for (int a = both; a < pq; ++a) addDiagonalSvec(col, D, rowOff, m, mirror, s, s2, outer(P, a, Q, a));
    for (int a = both; a < rs; ++a) addDiagonalSvec(col, D, rowOff, m, mirror, s, s2, outer(*R, a, *S4, a));
    return;
  }
  forEachEntry(base, p, q, transposed, [&](int c, int a, int b) {
    if (at.Column(c) < 0) return;
    const double s = scale * at.Weight(c);
    const double s2 = s * std::sqrt(2.0);
    double* col = columnAt(A, at.Column(c), row);
    if (R != nullptr)
      addDiagonalSvec(col, D, rowOff, m, mirror, s, s2, TwoOuterProducts{outer(P, a, Q, b), outer(*R, b, *S4, a)});
    else
      addDiagonalSvec(col, D, rowOff, m, mirror, s, s2, outer(P, a, Q, b));
  });
}

// The same for an off-diagonal block below the diagonal.
void offDiagonalBlockRows(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD* R,
                          const GenMatrixD* S4, int base, int p, int q, int rowOffA, int rowOffB, int D, int mA, int mB,
                          int transposed, double s, const UnknownPlacement& at) {
  if (p == 1 && q == 1) {
    if (at.Column(base) < 0) return;
    const double s2 = s * at.Weight(base) * std::sqrt(2.0);
    double* col = columnAt(A, at.Column(base), row);
    const int pq = innerLength(P, Q);
    const int rs = R != nullptr ? innerLength(*R, *S4) : 0;
    const int both = std::min(pq, rs);
    for (int a = 0; a < both; ++a)
      addOffDiagonalSvec(col, D, rowOffA, rowOffB, mA, mB, s2,
                         TwoOuterProducts{outer(P, a, Q, a), outer(*R, a, *S4, a)});
    for (int a = both; a < pq; ++a) addOffDiagonalSvec(col, D, rowOffA, rowOffB, mA, mB, s2, outer(P, a, Q, a));
    for (int a = both; a < rs; ++a) addOffDiagonalSvec(col, D, rowOffA, rowOffB, mA, mB, s2, outer(*R, a, *S4, a));
    return;
  }
  forEachEntry(base, p, q, transposed, [&](int c, int a, int b) {
    if (at.Column(c) < 0) return;
    const double s2 = s * at.Weight(c) * std::sqrt(2.0);
    double* col = columnAt(A, at.Column(c), row);
    if (R != nullptr)
      addOffDiagonalSvec(col, D, rowOffA, rowOffB, mA, mB, s2,
                         TwoOuterProducts{outer(P, a, Q, b), outer(*R, b, *S4, a)});
    else
      addOffDiagonalSvec(col, D, rowOffA, rowOffB, mA, mB, s2, outer(P, a, Q, b));
  });
}

}  // namespace

// ---------------------------------------------------------------------------

void svec(const SymMatrixD& S, double* v) {
  const int d = S.Rows();
  const double root2 = std::sqrt(2.0);
  const GenMatrixD& M = S.AsGenMatrixD();
  for (int k = 0; k < d; ++k) v[k] = M(k, k);
  for (int k = 1; k < d; ++k)
    for (int l = 0; l < k; ++l) v[svecIndex(d, k, l)] = root2 * M(l, k);
}

void smat(const double* v, SymMatrixD& S) {
  const int d = S.Rows();
  const double root2 = std::sqrt(2.0);
  GenMatrixD& M = S.AsGenMatrixD();
  for (int k = 0; k < d; ++k) M(k, k) = v[k];
  for (int k = 1; k < d; ++k)
    for (int l = 0; l < k; ++l) M(l, k) = v[svecIndex(d, k, l)] / root2;
}

void addOwnTranspose(GenMatrixD& A, int full) {
  const int n = A.Rows();
  double* a = A.Data();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      a[i + j * n] += a[j + i * n];
      if (full) a[j + i * n] = a[i + j * n];
    }
}

void copySubBlockToArray(double* dst, int ld, const GenMatrixD& src, int m, int n, int rowOff, int colOff,
                         int transpose) {
  const double* s = src.Data() + rowOff + colOff * src.Rows();
  const int lds = src.Rows();
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      if (transpose)
        dst[j + i * ld] = s[i + j * lds];
      else
        dst[i + j * ld] = s[i + j * lds];
    }
}

void copySubBlock(GenMatrixD& dst, const GenMatrixD& src, int m, int n, int rowOff, int colOff, int transpose) {
  copySubBlockToArray(dst.Data(), dst.Rows(), src, m, n, rowOff, colOff, transpose);
}

void multiplySubBlockLeft(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transS, int transB, int m, int n,
                          int rowOff, int colOff) {
  const int rows = transS ? n : m;
  const int inner = transS ? m : n;
  const int cols = transB ? B.Rows() : B.Cols();
  multiplyArrays(A.Data() + rowOff + colOff * A.Rows(), A.Rows(), transS, B.Data(), B.Rows(), transB, C.Data(), rows,
                 cols, inner);
}

void multiplySubBlockRight(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transA, int transS, int m,
                           int n, int rowOff, int colOff) {
  const int rows = transA ? A.Cols() : A.Rows();
  const int inner = transA ? A.Rows() : A.Cols();
  const int cols = transS ? m : n;
  multiplyArrays(A.Data(), A.Rows(), transA, B.Data() + rowOff + colOff * B.Rows(), B.Rows(), transS, C.Data(), rows,
                 cols, inner);
}

void accumulateScaledSubBlock(double* g, const GenMatrixD& M, int base, int p, int q, int transposed, double s,
                              const UnknownPlacement& at) {
  if (p == 1 && q == 1) {
    const int diagonal = std::min(M.Rows(), M.Cols());
    double trace = 0.0;
    for (int k = 0; k < diagonal; ++k) trace += M(k, k);
    at.Add(g, base, s * trace);
    return;
  }
  for (int j = 0; j < q; ++j)
    for (int i = 0; i < p; ++i) at.Add(g, base + i + j * p, s * (transposed ? M(i, j) : M(j, i)));
}

void accumulateScaledSymmetric(SymMatrixD& H, const GenMatrixD& P, const GenMatrixD& Q, int base1, int base2, int p1,
                               int q1, int p2, int q2, int transposed1, int transposed2, double s,
                               const UnknownPlacement& at) {
  GenMatrixD& h = H.AsGenMatrixD();
  const int scalar1 = p1 == 1 && q1 == 1;
  const int scalar2 = p2 == 1 && q2 == 1;
  if (scalar1 && scalar2) {
    if (base1 > base2) return;
    double sum = 0.0;
    const int kEnd = std::min(Q.Cols(), P.Rows());
    const int lEnd = std::min(P.Cols(), Q.Rows());
    for (int k = 0; k < kEnd; ++k)
      for (int l = 0; l < lEnd; ++l) sum += s * P(k, l) * Q(l, k);
    at.AddPair(h, base1, base2, sum);
    return;
  }
  if (scalar1) {
    // The first variable's entry is summed over the diagonal u = z = k.
    const int kEnd = std::min(Q.Cols(), P.Rows());
    for (int j2 = 0; j2 < q2; ++j2)
      for (int i2 = 0; i2 < p2; ++i2) {
        const int t = base2 + i2 + j2 * p2;
        if (base1 > t) continue;
        const int v = transposed2 ? j2 : i2;
        const int w = transposed2 ? i2 : j2;
        double sum = 0.0;
        for (int k = 0; k < kEnd; ++k) sum += s * P(k, v) * Q(w, k);
        at.AddPair(h, base1, t, sum);
      }
    return;
  }
  if (scalar2) {
    const int kEnd = std::min(P.Cols(), Q.Rows());
    for (int j1 = 0; j1 < q1; ++j1)
      for (int i1 = 0; i1 < p1; ++i1) {
        const int r = base1 + i1 + j1 * p1;
        if (r > base2) continue;
        const int u = transposed1 ? i1 : j1;
        const int z = transposed1 ? j1 : i1;
        double sum = 0.0;
        for (int k = 0; k < kEnd; ++k) sum += s * P(u, k) * Q(k, z);
        at.AddPair(h, r, base2, sum);
      }
    return;
  }
  // Column t of H at a time; its rows r <= t are the first entries of the
  // first variable in storage order.
  const int ld = h.Rows();
  for (int j2 = 0; j2 < q2; ++j2)
    for (int i2 = 0; i2 < p2; ++i2) {
      const int t = base2 + i2 + j2 * p2;
      const int b = at.Column(t);
      if (b < 0) continue;
      const double st = s * at.Weight(t);
      double* columnB = h.Data() + static_cast<long>(b) * ld;
      const int v = transposed2 ? j2 : i2;
      const int w = transposed2 ? i2 : j2;
      const int last = t - base1;  // entries e <= last of the first variable
      for (int j1 = 0; j1 < q1 && j1 * p1 <= last; ++j1) {
        const int iEnd = std::min(p1, last - j1 * p1 + 1);
        const int r0 = base1 + j1 * p1;
        for (int i1 = 0; i1 < iEnd; ++i1) {
          const int r = r0 + i1;
          const int a = at.Column(r);
          if (a < 0) continue;
          const int u = transposed1 ? i1 : j1;
          const int z = transposed1 ? j1 : i1;
          const double value = st * at.Weight(r) * P(u, v) * Q(w, z);
          // As UnknownPlacement::AddPair, with t's place taken once.
          if (a < b)
            columnB[a] += value;
          else if (a > b)
            h.Data()[b + static_cast<long>(a) * ld] += value;
          else
            columnB[a] += r != t ? value + value : value;
        }
      }
    }
}

void VariableParameters::FindSymmetricLayout(int p, int q) {
  symmetricOrder = 0;
  symmetricFirst = -1;
  if (p != q || Count() != p * (p + 1) / 2) return;
  int n = 0;
  for (int c = 0; c < p; ++c)
    for (int r = 0; r <= c; ++r, ++n) {
      if (parameter[n] != parameter[0] + n || start[n + 1] - start[n] != (r == c ? 1 : 2)) return;
      for (int e = start[n]; e < start[n + 1]; ++e) {
        const int upper = i[e] == r && j[e] == c;
        const int lower = i[e] == c && j[e] == r;
        if (multiple[e] != 1.0 || !(upper || lower) || (e > start[n] && i[e] == i[start[n]])) return;
      }
    }
  symmetricOrder = p;
  symmetricFirst = parameter[0];
}

namespace {

// accumulateReducedSymmetric for a symmetric layout. For a = (r, c) and
// b = (k, l), both copies of each, the sum over the four pairs of unknowns
// is S(r, c) + S(c, r) (S(c, c) alone for r = c) with
// S = x1 y1' + x2 y2', x1 = P(:, k), x2 = P(:, l), y1 = Q(l, :)',
// y2 = Q(k, :)' (x2 y2' left out for k = l): both orientations of both
// terms give the same four pairs. Over r, for a fixed c, the column of H is
// a sum of four scaled vectors.
void accumulateSymmetricLayout(GenMatrixD& h, const GenMatrixD& P, const GenMatrixD& Q,
                               const VariableParameters& variable, double s, double* work) {
  const int p = variable.symmetricOrder;
  const long ldh = h.Rows();
  const int ldq = Q.Rows();
  double* y1 = work;
  double* y2 = work + p;
  int b = variable.symmetricFirst;
  for (int l = 0; l < p; ++l) {
    const double* x2 = P.Data() + static_cast<long>(l) * P.Rows();
    for (int z = 0; z < p; ++z) y1[z] = Q.Data()[l + static_cast<long>(z) * ldq];
    for (int k = 0; k <= l; ++k, ++b) {
      const double* x1 = P.Data() + static_cast<long>(k) * P.Rows();
      // y2 = 0 leaves x2 y2' out for k = l.
      if (k < l)
        for (int z = 0; z < p; ++z) y2[z] = Q.Data()[k + static_cast<long>(z) * ldq];
      else
        for (int z = 0; z < p; ++z) y2[z] = 0.0;
      double* out = h.Data() + b * ldh + variable.symmetricFirst;
      // Rows a = (r, c) up to b = (k, l): every c < l whole, then c = l
      // with r <= k.
      for (int c = 0; c <= l; ++c) {
        const int rEnd = c < l ? c : k;
        const double alpha = s * y1[c];
        const double beta = s * y2[c];
        const double gamma = s * x1[c];
        const double delta = s * x2[c];
        const int offEnd = rEnd < c ? rEnd + 1 : c;
        for (int r = 0; r < offEnd; ++r) out[r] += alpha * x1[r] + beta * x2[r] + gamma * y1[r] + delta * y2[r];
        // The diagonal a = (c, c) has one copy: S(c, c) alone.
        if (rEnd == c) out[c] += alpha * x1[c] + beta * x2[c];
        out += c + 1;
      }
    }
  }
}

}  // namespace

void accumulateReducedSymmetric(SymMatrixD& H, const GenMatrixD& P, const GenMatrixD& Q,
                                const VariableParameters& variable, int transposed1, int transposed2, double s,
                                double* work) {
  GenMatrixD& h = H.AsGenMatrixD();
  if (variable.symmetricOrder > 0) {
    accumulateSymmetricLayout(h, P, Q, variable, s, work);
    return;
  }
  const long ldh = h.Rows();
  const int rows = P.Rows();
  const int cols = Q.Cols();
  const int ldq = Q.Rows();
  // Entry (i, j) of r reads S(u, z) at i * iStep + j * jStep.
  const int iStep = transposed1 ? 1 : rows;
  const int jStep = transposed1 ? rows : 1;
  const int* start = variable.start.data();
  const int* entryI = variable.i.data();
  const int* entryJ = variable.j.data();
  const double* multiple = variable.multiple.data();
  for (int nb = 0; nb < variable.Count(); ++nb) {
    for (int e = start[nb]; e < start[nb + 1]; ++e) {
      const int v = transposed2 ? entryJ[e] : entryI[e];
      const int w = transposed2 ? entryI[e] : entryJ[e];
      const double* column = P.Data() + static_cast<long>(v) * rows;
      const double* row = Q.Data() + w;
      const double m = multiple[e];
      for (int z = 0; z < cols; ++z) {
        double* out = work + static_cast<long>(z) * rows;
        const double y = m * row[static_cast<long>(z) * ldq];
        if (e == start[nb])
          for (int u = 0; u < rows; ++u) out[u] = column[u] * y;
        else
          for (int u = 0; u < rows; ++u) out[u] += column[u] * y;
      }
    }
    double* out = h.Data() + variable.parameter[nb] * ldh;
    for (int na = 0; na <= nb; ++na) {
      double sum = 0.0;
      for (int e = start[na]; e < start[na + 1]; ++e) sum += multiple[e] * work[entryI[e] * iStep + entryJ[e] * jStep];
      out[variable.parameter[na]] += s * sum;
    }
  }
}

void svecAccumulateSym(GenMatrixD& A, int& row, const GenMatrixD& U, const GenMatrixD& V, int base, int p, int q,
                       int transposed, int symmetric, double s, const UnknownPlacement& at) {
  const int d = U.Rows();
  diagonalBlockRows(A, row, U, V, nullptr, nullptr, base, p, q, transposed, 0, d, d, symmetric, s, at);
  row += svecLength(d);
}

void svecAccumulateGen2(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, int base, int p, int q,
                        int transposed, int rowOff, int D, int m, int mirror, double s,
                        const UnknownPlacement& at) {
  diagonalBlockRows(A, row, P, Q, nullptr, nullptr, base, p, q, transposed, rowOff, D, m, mirror, s, at);
}

void svecAccumulateGen4(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD& R,
                        const GenMatrixD& S4, int base, int p, int q, int transposed, int rowOff, int D, int m,
                        int mirror, double s, const UnknownPlacement& at) {
  diagonalBlockRows(A, row, P, Q, &R, &S4, base, p, q, transposed, rowOff, D, m, mirror, s, at);
}

void svecAccumulateGen2Offset(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, int base, int p, int q,
                              int rowOffA, int rowOffB, int D, int mA, int mB, int transposed, double s,
                              const UnknownPlacement& at) {
  offDiagonalBlockRows(A, row, P, Q, nullptr, nullptr, base, p, q, rowOffA, rowOffB, D, mA, mB, transposed, s, at);
}

void svecAccumulateGen4Offset(GenMatrixD& A, int row, const GenMatrixD& P, const GenMatrixD& Q, const GenMatrixD& R,
                              const GenMatrixD& S4, int base, int p, int q, int rowOffA, int rowOffB, int D, int mA,
                              int mB, int transposed, double s, const UnknownPlacement& at) {
  offDiagonalBlockRows(A, row, P, Q, &R, &S4, base, p, q, rowOffA, rowOffB, D, mA, mB, transposed, s, at);
}
