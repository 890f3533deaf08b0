// The bounded real lemma in its Schur-complement form, min g s.t.
// [-A'P - PA - C'C, -PB; -B'P, g] >= 0, P >= 0, whose optimum is the squared
// H-infinity norm of C (sI - A)^-1 B, and systems whose input matrices are
// large enough to make it hard: the blocks' entries span many orders.
#ifndef VARNEL_BOUNDED_REAL_LEMMA_H
#define VARNEL_BOUNDED_REAL_LEMMA_H

#include <cstdio>
#include <string>

#include "gen_matrix.h"
#include "test_matrices.h"

// A matrix as the language reads it back exactly.
inline std::string literal(const GenMatrixD& m) {
  std::string text = "[";
  char number[40];
  for (int i = 0; i < m.Rows(); ++i) {
    if (i > 0) text += "; ";
    for (int j = 0; j < m.Cols(); ++j) {
      std::snprintf(number, sizeof number, "%s%.17g", j > 0 ? " " : "", m(i, j));
      text += number;
    }
  }
  return text + "]";
}

struct StateSpace {
  GenMatrixD A;  // stable
  GenMatrixD B;  // one input
  GenMatrixD C;  // one output
};

// The lemma for a 4-state system, up to (not including) solve.
inline std::string schurLemmaScript(const StateSpace& s) {
  return "A = " + literal(s.A) + ";\nB = " + literal(s.B) + ";\nC = " + literal(s.C) +
         ";\nvar sym P(4)\nvar g\nlmi = block(-A'*P - P*A - C'*C; -B'*P, g);\nlmi = P;\nobj = g;";
}

// An input matrix of norm 1.3e4 puts the optimum near 7.9e7. The
// feasibility phase's scaled step meets the test of unboundedness at its
// third iteration, while the problem is plainly feasible.
inline StateSpace largeInputSystem() {
  return {make(4, 4,
               {-1.7866496669994687, 0.18423593356884393, 0.99773817544883359, 1.1169590406661698,
                -0.94400054145026013, -0.34593912877709931, 0.19334599692989032, -1.1182635832284737,
                0.51184558178019923, -2.2705662890578728, -0.61418228675543829, 2.471313493673772,
                -1.0198852016126243, 0.018752614968776279, -1.8942642236062688, -1.6323474885263525}),
          make(4, 1, {7561.9773958342375, -10424.62005800141, -342.58142958278927, -3551.6829912535632}),
          make(1, 4, {-0.37842836792647139, 0.19064868848462149, 0.48439629391143707, 1.2302677544535274})};
}

#endif
