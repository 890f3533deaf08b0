// The terms of a block as the Newton systems use them: each term's value is
// scale * L op(X) R (plus its transpose when symmetric), with the factors
// that act as matrices; factors of 1 x 1 are folded into the scale. At the
// mirror position of an off-diagonal entry of a block matrix inequality the
// term stands as its transpose, scale * R' op(X)' L'.
//
// A term whose value is a single number stands for that number times the
// identity of its position. The systems see it as what it is: one number
// per unknown it involves, a term on that single unknown without factors
// (a 1 x 1 variable, whose coefficient matrix is the identity).
#ifndef VARNEL_ORIENTED_TERM_H
#define VARNEL_ORIENTED_TERM_H

#include "built_problem.h"
#include "gen_matrix.h"

// A factor as it enters a product: a matrix, transposed or not, or the
// identity of whatever size the product needs (no matrix).
struct Factor {
  const GenMatrixD* m = nullptr;
  int trans = 0;

  Factor Transposed() const { return Factor{m, !trans}; }
  int Rows() const { return trans ? m->Cols() : m->Rows(); }
  int Cols() const { return trans ? m->Rows() : m->Cols(); }
  // Entry (i, j) of op(M); 1.0 for the identity of a single entry.
  double At(int i, int j) const { return m == nullptr ? 1.0 : trans ? (*m)(j, i) : (*m)(i, j); }
};

struct OrientedTerm {
  Factor L;
  Factor R;
  int transposed;
  int symmetric;
  double scale;
  int variable;
  int base;  // the first unknown of the variable
  int p;     // the variable's rows and columns
  int q;

  int IsScalar() const { return p == 1 && q == 1; }
};

// Calls visit(term) for every term of the list, oriented for the mirror
// position when flipped is set; a term with a single-number value comes as
// one term per unknown.
template <class Visit>
void forEachOrientedTerm(const TermList& list, int flipped, const Visit& visit) {
  const GenMatrixD* variables = list.Variables();
  for (int k = 0; k < list.NumTerms(); ++k) {
    const ReducedTerm& term = list.Term(k);
    if (term.variable < 0) continue;
    const GenMatrixD& X = variables[term.variable];
    Factor L;
    Factor R;
    if (term.HasLeftMatrix()) L = Factor{&term.left, 0};
    if (term.HasRightMatrix()) R = Factor{&term.right, 0};
    const int base = list.Offsets()[term.variable];
    OrientedTerm o{flipped ? R.Transposed() : L, flipped ? L.Transposed() : R,
                   flipped ? !term.transposed : term.transposed, term.symmetric, term.FactorScale(),
                   term.variable, base, X.Rows(), X.Cols()};
    const int scalarValue = term.IsScalar(variables);
    if (!scalarValue || (o.IsScalar() && L.m == nullptr && R.m == nullptr)) {
      visit(o);
      continue;
    }
    const double scale = term.symmetric ? 2.0 * o.scale : o.scale;
    if (o.IsScalar()) {
      // x L R: both factors are there (a lone factor of one entry is in the
      // scale already).
      double lr = 0.0;
      for (int c = 0; c < L.Cols(); ++c) lr += L.At(0, c) * R.At(c, 0);
      visit(OrientedTerm{Factor{}, Factor{}, 0, 0, scale * lr, term.variable, base, 1, 1});
      continue;
    }
    // The number is the sum over the entries (i, j) of X of
    // L(0, a) X(i, j) R(b, 0), (a, b) the place of X(i, j) in op(X).
    for (int j = 0; j < o.q; ++j)
      for (int i = 0; i < o.p; ++i) {
        const int a = term.transposed ? j : i;
        const int b = term.transposed ? i : j;
        visit(OrientedTerm{Factor{}, Factor{}, 0, 0, scale * L.At(0, a) * R.At(b, 0), term.variable,
                           base + i + j * o.p, 1, 1});
      }
  }
}

#endif
