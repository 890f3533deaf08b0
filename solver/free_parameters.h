// The expansion x = T y of the free parameters y into the unknowns x
// through the equality basis Z (x[free k] = y[k], x[dep l] = sum over k of
// Z(l, k) y[k]), and its transpose, which reduces the Newton systems from
// the unknowns to the free parameters.
//
// Only Z's nonzero entries are kept, column by column: the equalities that
// structures and masks imply tie single entries together, so their columns
// hold one entry each, and a dense basis costs what a matrix product would.
#ifndef VARNEL_FREE_PARAMETERS_H
#define VARNEL_FREE_PARAMETERS_H

#include <vector>

#include "built_problem.h"
#include "gen_matrix.h"
#include "packed.h"
#include "tri_matrix.h"

class FreeParameterMap {
 public:
  explicit FreeParameterMap(const BuiltProblem& problem);

  int Nv() const { return nv; }
  int Nvt() const { return nvt; }
  // 1 when every unknown is a multiple of one free parameter, or zero (no
  // unknown depends on two): the Newton systems then accumulate straight
  // into the reduced space through Placement().
  int IsSingle() const { return single; }
  // Unknown u's parameter and multiple (parameter -1 for a zero unknown);
  // meaningful when IsSingle().
  UnknownPlacement Placement() const {
    return UnknownPlacement{parameterOf.data(), multipleOf.data(), variables.data(),
                            static_cast<int>(variables.size())};
  }

  // x := T y (nvt entries from nv).
  void Expand(const double* y, double* x) const;
  // a := T' x (nv entries from nvt).
  void ReduceVector(const double* x, double* a) const;
  // A := R T over the first `rows` rows: column k of A is column free k of
  // R plus Z(l, k) times column dep l. Leading dimensions ldR and ldA.
  void ReduceColumns(const double* R, int ldR, int rows, double* A, int ldA) const;
  // The upper triangle of Hred := T' H T, H a full symmetric nvt x nvt
  // matrix (both triangles set). work: nvt x nv, for H T.
  void ReduceSymmetric(const double* H, int ldH, SymMatrixD& Hred, GenMatrixD& work) const;

 private:
  // a[k] := x[free k] + sum of Z(l, k) x[dep l], for k < count.
  void ReduceLeading(const double* x, double* a, int count) const;
  // The parameters of every variable of more than one entry, when single.
  void ListVariableParameters(const BuiltProblem& problem);

  int nv;
  int nvt;
  std::vector<int> freeIndex;
  std::vector<int> dependentIndex;
  std::vector<int> columnStart;  // nv + 1 entries into dependent and weight
  std::vector<int> dependent;    // the unknown of each nonzero
  std::vector<double> weight;    // its entry of Z
  int single = 1;
  std::vector<int> parameterOf;    // nvt entries, when single
  std::vector<double> multipleOf;  // nvt entries, when single
  std::vector<VariableParameters> variables;
};

#endif
