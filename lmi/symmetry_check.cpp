#include "symmetry_check.h"

#include <utility>
#include <vector>

#include "tri_matrix.h"
#include "value_utils.h"

namespace {

// A term whose part in its list's value can be asymmetric.
struct DirectionTerm {
  int list;
  const ReducedTerm* term;
  // On a 1 x 1 variable: the term's value per unit of the variable.
  GenMatrixD perUnit;
};

// A list's value along the current direction.
struct ListValue {
  GenMatrixD sum;
  int touched = 0;
};

// The term's value per unit of its 1 x 1 variable: the factors' product.
GenMatrixD perUnitValue(const ReducedTerm& t) {
  GenMatrixD product;
  if (t.HasLeftMatrix() && t.HasRightMatrix()) {
    product = t.left * t.right;
  } else if (t.HasLeftMatrix()) {
    product = GenMatrixD(t.left);
  } else {
    product = GenMatrixD(t.right);
  }
  const double scale = t.FactorScale();
  double* p = product.Data();
  for (int e = 0; e < product.Rows() * product.Cols(); ++e) p[e] *= scale;
  return product;
}

// Adds x times the term's value at the unit entry e of its matrix variable
// X: s L(:, a) R(b, :) with op(E) = e_a e_b', a 1 x 1 factor taken into the
// scale s and a missing one as the identity.
void addEntryValue(const ReducedTerm& t, const GenMatrixD& X, int e, double x, GenMatrixD& sum) {
  const int r = e % X.Rows();
  const int c = e / X.Rows();
  const int a = t.transposed ? c : r;
  const int b = t.transposed ? r : c;
  const double s = x * t.FactorScale();
  const int n = sum.Rows();
  if (t.HasLeftMatrix() && t.HasRightMatrix()) {
    for (int j = 0; j < n; ++j) {
      const double w = s * t.right(b, j);
      if (w == 0.0) continue;
      for (int i = 0; i < n; ++i) sum(i, j) += t.left(i, a) * w;
    }
  } else if (t.HasLeftMatrix()) {
    for (int i = 0; i < n; ++i) sum(i, b) += s * t.left(i, a);
  } else if (t.HasRightMatrix()) {
    for (int j = 0; j < n; ++j) sum(a, j) += s * t.right(b, j);
  } else {
    sum(a, b) += s;
  }
}

void addTermValue(const DirectionTerm& dt, const GenMatrixD& X, int e, double x, GenMatrixD& sum) {
  if (!isOneByOne(X)) {
    addEntryValue(*dt.term, X, e, x, sum);
    return;
  }
  const double* p = dt.perUnit.Data();
  double* q = sum.Data();
  for (int k = 0; k < sum.Rows() * sum.Cols(); ++k) q[k] += x * p[k];
}

// The lists whose value can be asymmetric: every matrix inequality and the
// diagonal blocks of the block matrix inequalities larger than 1 x 1.
std::vector<const TermList*> squareLists(const BuiltProblem& problem) {
  std::vector<const TermList*> lists;
  for (int k = 0; k < problem.NumTermBlocks(); ++k) lists.push_back(&problem.TermBlockAt(k));
  for (int k = 0; k < problem.NumBlockLmis(); ++k) {
    const BlockLmi& block = problem.BlockLmiAt(k);
    for (int i = 0; i < block.N(); ++i) lists.push_back(&block.SubBlockAt(i, i));
  }
  return lists;
}

// The terms of the lists by variable, leaving out those whose part is
// always symmetric: symmetrised terms and 1 x 1 values, which stand for a
// multiple of the identity.
std::vector<std::vector<DirectionTerm>> termsByVariable(const BuiltProblem& problem,
                                                        const std::vector<const TermList*>& lists,
                                                        std::vector<ListValue>& values) {
  std::vector<std::vector<DirectionTerm>> byVariable(problem.NumVariables());
  values.resize(lists.size());
  for (size_t l = 0; l < lists.size(); ++l) {
    const TermList& list = *lists[l];
    const int d = list.Rows();
    values[l].sum = GenMatrixD(d, d, 0.0, 0);
    if (d <= 1 || list.Cols() != d) continue;
    for (int k = 0; k < list.NumTerms(); ++k) {
      const ReducedTerm& t = list.Term(k);
      if (t.symmetric || t.IsScalar(list.Variables())) continue;
      if (t.Rows(list.Variables()) != d || t.Cols(list.Variables()) != d) continue;
      DirectionTerm dt{static_cast<int>(l), &t, GenMatrixD()};
      if (isOneByOne(problem.Variable(t.variable))) dt.perUnit = perUnitValue(t);
      byVariable[t.variable].push_back(std::move(dt));
    }
  }
  return byVariable;
}

}  // namespace

int hasAsymmetricDirection(const BuiltProblem& problem, double tol) {
  const std::vector<const TermList*> lists = squareLists(problem);
  std::vector<ListValue> values;
  const std::vector<std::vector<DirectionTerm>> byVariable = termsByVariable(problem, lists, values);

  // The variable of each unknown.
  std::vector<int> variableOf(problem.Nvt());
  for (int v = 0; v < problem.NumVariables(); ++v) {
    const int count = problem.Variable(v).Rows() * problem.Variable(v).Cols();
    for (int e = 0; e < count; ++e) variableOf[problem.Offset(v) + e] = v;
  }

  std::vector<std::pair<int, double>> unknowns;  // the nonzero unknowns of T e_k
  std::vector<int> touched;
  for (int k = 0; k < problem.Nv(); ++k) {
    problem.ExpansionColumn(k, unknowns);
    touched.clear();
    for (const std::pair<int, double>& unknown : unknowns) {
      const int v = variableOf[unknown.first];
      const GenMatrixD& X = problem.Variable(v);
      for (const DirectionTerm& dt : byVariable[v]) {
        ListValue& value = values[dt.list];
        addTermValue(dt, X, unknown.first - problem.Offset(v), unknown.second, value.sum);
        if (!value.touched) touched.push_back(dt.list);
        value.touched = 1;
      }
    }
    for (int l : touched) {
      if (isNotSymmetric(values[l].sum, tol)) return 1;
      values[l].sum.Fill(0.0);
      values[l].touched = 0;
    }
  }
  return 0;
}
