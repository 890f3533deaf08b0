#include "free_parameters.h"

#include <algorithm>

FreeParameterMap::FreeParameterMap(const BuiltProblem& problem)
    : nv(problem.Nv()), nvt(problem.Nvt()), freeIndex(nv), columnStart(nv + 1, 0) {
  for (int l = 0; l < problem.Basis().Rows(); ++l) dependentIndex.push_back(problem.DependentIndex()[l]);
  std::vector<std::pair<int, double>> column;
  for (int k = 0; k < nv; ++k) {
    problem.ExpansionColumn(k, column);
    freeIndex[k] = column[0].first;
    columnStart[k] = static_cast<int>(dependent.size());
    for (size_t e = 1; e < column.size(); ++e) {
      dependent.push_back(column[e].first);
      weight.push_back(column[e].second);
    }
  }
  columnStart[nv] = static_cast<int>(dependent.size());

  single = problem.SingleEntryRows();
  if (!single) return;
  parameterOf.assign(nvt, -1);
  multipleOf.assign(nvt, 0.0);
  for (int k = 0; k < nv; ++k) {
    parameterOf[freeIndex[k]] = k;
    multipleOf[freeIndex[k]] = 1.0;
    for (int e = columnStart[k]; e < columnStart[k + 1]; ++e) {
      parameterOf[dependent[e]] = k;
      multipleOf[dependent[e]] = weight[e];
    }
  }
  ListVariableParameters(problem);
}

void FreeParameterMap::ListVariableParameters(const BuiltProblem& problem) {
  std::vector<int> entries;
  for (int v = 0; v < problem.NumVariables(); ++v) {
    const int p = problem.Variable(v).Rows();
    const int count = p * problem.Variable(v).Cols();
    if (count <= 1) continue;
    const int base = problem.Offset(v);
    entries.clear();
    for (int e = 0; e < count; ++e)
      if (parameterOf[base + e] >= 0) entries.push_back(e);
    std::stable_sort(entries.begin(), entries.end(),
                     [&](int e, int f) { return parameterOf[base + e] < parameterOf[base + f]; });
    VariableParameters list;
    list.base = base;
    for (int e : entries) {
      const int k = parameterOf[base + e];
      if (list.parameter.empty() || list.parameter.back() != k) {
        list.parameter.push_back(k);
        list.start.push_back(static_cast<int>(list.i.size()));
      }
      list.i.push_back(e % p);
      list.j.push_back(e / p);
      list.multiple.push_back(multipleOf[base + e]);
    }
    list.start.push_back(static_cast<int>(list.i.size()));
    list.FindSymmetricLayout(p, problem.Variable(v).Cols());
    variables.push_back(std::move(list));
  }
}

void FreeParameterMap::Expand(const double* y, double* x) const {
  for (int u : dependentIndex) x[u] = 0.0;
  for (int k = 0; k < nv; ++k) {
    const double yk = y[k];
    x[freeIndex[k]] = yk;
    for (int e = columnStart[k]; e < columnStart[k + 1]; ++e) x[dependent[e]] += weight[e] * yk;
  }
}

void FreeParameterMap::ReduceLeading(const double* x, double* a, int count) const {
  for (int k = 0; k < count; ++k) {
    double sum = x[freeIndex[k]];
    for (int e = columnStart[k]; e < columnStart[k + 1]; ++e) sum += weight[e] * x[dependent[e]];
    a[k] = sum;
  }
}

void FreeParameterMap::ReduceVector(const double* x, double* a) const { ReduceLeading(x, a, nv); }

void FreeParameterMap::ReduceColumns(const double* R, int ldR, int rows, double* A, int ldA) const {
  for (int k = 0; k < nv; ++k) {
    double* a = A + static_cast<long>(k) * ldA;
    const double* source = R + static_cast<long>(freeIndex[k]) * ldR;
    for (int i = 0; i < rows; ++i) a[i] = source[i];
    for (int e = columnStart[k]; e < columnStart[k + 1]; ++e) {
      const double z = weight[e];
      const double* column = R + static_cast<long>(dependent[e]) * ldR;
      for (int i = 0; i < rows; ++i) a[i] += z * column[i];
    }
  }
}

void FreeParameterMap::ReduceSymmetric(const double* H, int ldH, SymMatrixD& Hred, GenMatrixD& work) const {
  ReduceColumns(H, ldH, nvt, work.Data(), nvt);
  GenMatrixD& h = Hred.AsGenMatrixD();
  // Column m of T'(H T), on and above the diagonal.
  for (int m = 0; m < nv; ++m) ReduceLeading(work.Data() + static_cast<long>(m) * nvt, &h(0, m), m + 1);
}
