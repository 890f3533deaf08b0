#include "builder.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>
#include <vector>

#include "affine_coefficients.h"
#include "allocation.h"
#include "block_diagonal.h"
#include "built_problem.h"
#include "constraint_layout.h"
#include "equality_basis.h"
#include "factor.h"
#include "lmi_evaluator.h"
#include "report.h"
#include "symmetry_check.h"
#include "tri_matrix.h"
#include "value_utils.h"
#include "vlmi_block.h"
#include "workspace.h"

namespace {

// What the steps of one build share.
struct BuildWork {
  // The stored constraints, element by element (the lists are linked).
  std::vector<VLmiBlock*> lmis;
  std::vector<std::string*> lmiTextList;
  std::vector<int> starts;
  std::vector<VLmiBlock*> lmes;
  std::vector<std::string*> lmeTextList;

  std::vector<int> offsets;  // the first unknown of each variable
  int nvt = 0;               // unknowns: every entry of every variable, the hidden constant 1 first
  std::vector<int> referenceCounts;

  // The equality basis: dependent unknown i = sum over k of Z(i, k) y[k].
  EqualityBasis basis;
  SharedArray<int> freeIndex;
  SharedArray<int> dependentIndex;

  // The LMIs by kind, as stored positions in lmis.
  std::vector<int> vectorLmis;
  std::vector<int> matrixLmis;
  std::vector<int> blockLmiStarts;
  std::vector<int> blockLmiCounts;
};

template <class T>
std::vector<T*> listElements(List<T>& list) {
  std::vector<T*> elements;
  elements.reserve(list.Size());
  for (ListNode<T>* node = list.NodeAt(0); node != nullptr; node = node->next) elements.push_back(&node->value);
  return elements;
}

// A build error may follow a progress line left open ("  Evaluating
// LMIs."): its report starts with an empty line.
constexpr int kBlankFirst = 1;

int variableIndex(const std::string& name) {
  return searchIndex(name, builtVariableNames.data(), builtVariableCount);
}

// Every variable's current value becomes zero. A matrix first gets storage
// of its own, so that nothing that shared its elements changes with it.
void zeroVariableValues() {
  for (const std::string& name : builtVariableNames) {
    Value& v = variableTable.Lookup(name).GetValue();
    if (v.IsMatrix()) v.DeepCopy(v);
    v.Fill(0.0);
  }
}

// ---------------------------------------------------------------------------
// Coefficients of affine blocks over the unknowns

// The coefficients of every variable term of block (a value of
// blockRows x blockCols) into out from row firstRow, column u for unknown u.
// Column 0 is that of the affine unknown, the constant 1: a term that names
// " Affine Variable" (a quoted name can) adds to the constants there.
void addBlockCoefficients(const VLmiBlock& block, int blockRows, int blockCols, GenMatrixD& out, int firstRow,
                          const BuildWork& work, const std::vector<int>* columnOf = nullptr) {
  for (int t = 1; t < block.NumTerms(); ++t) {
    const int v = variableIndex(block[t].name);
    if (v < 0) continue;
    addTermCoefficients(block[t], builtVariableValues[v], blockRows, blockCols, out, firstRow, work.offsets[v],
                        columnOf);
  }
}

// Raises the reference count of every variable that block names.
void countNamedVariables(const VLmiBlock& block, BuildWork& work) {
  if (block.NumTerms() == 1) return;
  std::vector<std::string> names;
  termVariableNames(block, names);
  for (const std::string& name : names) {
    const int v = variableIndex(name);
    if (v >= 0) ++work.referenceCounts[v];
  }
}

// ---------------------------------------------------------------------------
// The stored texts, evaluated again, and the shapes of the LMIs

// The shape rules, and a 1 x 1 term in an off-diagonal block, which has no
// single meaning there: the statement refused it, but a parameter may have
// changed its size since.
int checkLmiBlock(const std::vector<VLmiBlock>& fresh, int b, BlockTrianglePosition at, int count) {
  if (const char* message = lmiBlockError(fresh, b, at, count > 1, variableTable)) return fail(message, kBlankFirst);
  return 0;
}

// A value that holds an infinity or a NaN.
int isNotFinite(const Value& v) {
  const double* a = v.IsMatrix() ? v.Matrix()->Data() : v.Scalar();
  for (int i = 0; i < v.ElementCount(); ++i)
    if (!std::isfinite(a[i])) return 1;
  return 0;
}

// The constants and coefficients of a block must be numbers the solver can
// work with: one infinity or NaN would make every Newton step meaningless.
int checkFinite(const VLmiBlock& block, const char* message) {
  for (int t = 0; t < block.NumTerms(); ++t) {
    const VMatTerm& term = block[t];
    if ((!term.leftIsIdentity && isNotFinite(term.left)) || (!term.rightIsIdentity && isNotFinite(term.right)))
      return fail(message, kBlankFirst);
  }
  return 0;
}

int evaluateLmi(BuildWork& work, int k) {
  const int start = work.starts[k];
  const int count = lmiBlockCount(work.starts, static_cast<int>(work.lmis.size()), k);
  std::vector<VLmiBlock> fresh(count);
  BlockTrianglePosition at;
  for (int b = 0; b < count; ++b, at.Advance()) {
    if (evalLmiText(fresh[b], *work.lmiTextList[start + b])) return 1;
    if (checkLmiBlock(fresh, b, at, count)) return 1;
    if (checkFinite(fresh[b], "LMI coefficients must be finite.")) return 1;
  }
  for (int c = 0; c < count; ++c) *work.lmis[start + c] = fresh[c];
  return 0;
}

int evaluateStoredTexts(BuildWork& work) {
  printBuildStep("- Evaluating algebraic expressions.\n");
  printBuildStep("  Evaluating LMIs.");
  for (int k = 0; k < static_cast<int>(work.starts.size()); ++k)
    if (evaluateLmi(work, k)) return 1;
  printBuildStep(" Ok.\n");

  printBuildStep("  Evaluating LMEs.");
  for (size_t k = 0; k < work.lmes.size(); ++k) {
    VLmiBlock fresh(1);
    if (evalLmiText(fresh, *work.lmeTextList[k])) return 1;
    if (fresh.NumTerms() == 1) return fail("LME does not involve any variables.", kBlankFirst);
    if (checkFinite(fresh, "LME coefficients must be finite.")) return 1;
    *work.lmes[k] = fresh;
  }
  printBuildStep(" Ok.\n");

  if (objective.NumTerms() == 1) return 0;
  printBuildStep("  Evaluating objective.");
  VLmiBlock fresh(1);
  if (evalLmiText(fresh, objectiveText)) return 1;
  if (fresh.NumTerms() == 1) return fail("Objective does not involve any variables.", kBlankFirst);
  // A parameter in the text may have changed its size since `obj` took it.
  if (isMatrixBlock(fresh)) return fail("Objective must be a scalar function.", kBlankFirst);
  if (checkFinite(fresh, "Objective coefficients must be finite.")) return 1;
  objective = fresh;
  printBuildStep(" Ok.\n");
  return 0;
}

// ---------------------------------------------------------------------------
// The variables numbered, and their entries as unknowns

int numberVariables(BuildWork& work) {
  printBuildStep("- Variables.");
  builtVariableNames = variableTable.SortedKeys(1);
  std::vector<GenMatrixD> values(builtVariableCount);
  builtVariableValues.swap(values);
  work.referenceCounts.assign(builtVariableCount, 0);
  if (variableIndex(kAffineVariableName) != 0) return fail("Affine Variable name error. Please report.", kBlankFirst);

  work.offsets.resize(builtVariableCount);
  double total = 0.0;  // not an int: the count of every unknown may pass the int range
  for (int i = 0; i < builtVariableCount; ++i) {
    builtVariableValues[i] = valueToMatrix(variableTable.Lookup(builtVariableNames[i]).GetValue());
    work.offsets[i] = static_cast<int>(total);
    total += elementCount(builtVariableValues[i].Rows(), builtVariableValues[i].Cols());
    if (!isAllocatableCount(total)) return fail("Invalid size.", kBlankFirst);
  }
  work.nvt = static_cast<int>(total);
  printBuildStep(" Ok.\n");
  return 0;
}

// ---------------------------------------------------------------------------
// The equality basis: structural equations, then the LMEs

// x[plus] - x[minus] = 0, or x[plus] = 0 when minus is -1.
struct StructuralEquation {
  int plus;
  int minus;
};

class StructuralEquations {
 public:
  StructuralEquations(int offset, int rows, std::vector<StructuralEquation>& list)
      : offset(offset), rows(rows), list(list) {}

  int Unknown(int r, int c) const { return offset + c * rows + r; }
  void Zero(int r, int c) { list.push_back({Unknown(r, c), -1}); }
  void Tie(int r1, int c1, int r2, int c2) { list.push_back({Unknown(r1, c1), Unknown(r2, c2)}); }

 private:
  int offset;
  int rows;
  std::vector<StructuralEquation>& list;
};

void symmetricEquations(int n, StructuralEquations& eq) {
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) eq.Tie(j, i, i, j);
}

void diagonalEquations(int n, StructuralEquations& eq) {
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      eq.Zero(j, i);
      eq.Zero(i, j);
    }
}

void maskedSymmetricEquations(int n, const SharedArray<int>& mask, StructuralEquations& eq) {
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) {
      if (mask[i + j * n] != 0) {
        if (i < j) eq.Tie(j, i, i, j);
      } else {
        eq.Zero(i, j);
        if (i < j) eq.Zero(j, i);
      }
    }
}

void maskedDiagonalEquations(int n, const SharedArray<int>& mask, StructuralEquations& eq) {
  diagonalEquations(n, eq);
  for (int i = 0; i < n; ++i)
    if (mask[i + i * n] == 0) eq.Zero(i, i);
}

void maskedGeneralEquations(int rows, int cols, const SharedArray<int>& mask, StructuralEquations& eq) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      if (mask[r + c * rows] == 0) eq.Zero(r, c);
}

// Entries sharing a number are tied to the first of them in row order.
void numberedMaskEquations(int rows, int cols, const SharedArray<int>& mask, StructuralEquations& eq) {
  std::vector<int> first(rows * cols + 1, -1);  // the entry (r + c * rows) first seen with a number
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int v = mask[r + c * rows];
      if (v == 0) {
        eq.Zero(r, c);
      } else if (v < 0 || v > rows * cols) {
        continue;
      } else if (first[v] < 0) {
        first[v] = r + c * rows;
      } else {
        eq.Tie(first[v] % rows, first[v] / rows, r, c);
      }
    }
}

// The equations that variable i's structure and mask imply, in the order
// of the structural rules.
void variableEquations(int i, const BuildWork& work, std::vector<StructuralEquation>& list) {
  const VarRecord& record = variableTable.Lookup(builtVariableNames[i]);
  const GenMatrixD& X = builtVariableValues[i];
  const int rows = X.Rows();
  const int cols = X.Cols();
  const SharedArray<int>& mask = record.GetMask();
  const int masked = mask.Size() > 0;
  StructuralEquations eq(work.offsets[i], rows, list);
  if (record.GetType() == kScl) {
    // A scalar's mask is read only as zero or nonzero.
    if (masked && mask[0] == 0)
      for (int e = 0; e < rows * cols; ++e) eq.Zero(e % rows, e / rows);
    return;
  }
  if (masked && mask.Size() != rows * cols) return;  // a mask of another size never fits
  const int square = rows == cols;
  if (!masked) {
    if (record.GetType() == kSym && square) symmetricEquations(rows, eq);
    if (record.GetType() == kDiag && square) diagonalEquations(rows, eq);
    return;
  }
  SharedArray<int> counts;
  if (checkIndexVector(mask, counts) != kZeroOneMask) {
    numberedMaskEquations(rows, cols, mask, eq);
  } else if (record.GetType() == kSym && square) {
    maskedSymmetricEquations(rows, mask, eq);
  } else if (record.GetType() == kDiag && square) {
    maskedDiagonalEquations(rows, mask, eq);
  } else {
    maskedGeneralEquations(rows, cols, mask, eq);
  }
}

// The structural equations, eliminated by substitution: each ties one
// entry to another or fixes one at zero, so they split the unknowns into
// groups of entries that are equal. A group with an entry fixed at zero is
// zero; in any other group its last unknown stays free and every other
// member is a copy of it. source[u]: u itself for a free unknown, the
// group's last unknown for a copy, -1 for an entry that is zero.
std::vector<int> substituteStructural(int nvt, const std::vector<StructuralEquation>& structural) {
  std::vector<int> parent(nvt);  // a tree per group, rooted at its last unknown
  std::vector<char> zero(nvt, 0);
  for (int u = 0; u < nvt; ++u) parent[u] = u;
  auto root = [&parent](int u) {
    while (parent[u] != u) u = parent[u] = parent[parent[u]];
    return u;
  };
  for (const StructuralEquation& eq : structural) {
    const int a = root(eq.plus);
    if (eq.minus < 0) {
      zero[a] = 1;
      continue;
    }
    const int b = root(eq.minus);
    if (a == b) continue;
    const int last = std::max(a, b);
    const int other = std::min(a, b);
    parent[other] = last;
    zero[last] = zero[last] || zero[other];
  }
  std::vector<int> source(nvt);
  for (int u = 0; u < nvt; ++u) {
    const int r = root(u);
    source[u] = zero[r] ? -1 : r;
  }
  return source;
}

// Stacks the LMEs' equations [B A], B + A x' = 0, over the unknowns left
// free by the structure: column 0 holds the constants B (the affine unknown,
// the constant 1, adds to them wherever it appears) and column c + 1 the
// coefficients of unknown columns[c], every copy of it adding into its
// column and entries fixed at zero dropping out. Rows: the LMEs' entries row
// by row. The coefficients go straight to their columns: nothing as large as
// the LMEs' rows times all the unknowns is made.
void stackEqualities(const BuildWork& work, const std::vector<Value>& constants, const std::vector<int>& source,
                     const std::vector<int>& columns, GenMatrixD& system) {
  std::vector<int> columnOf(work.nvt, -1);
  for (size_t c = 0; c < columns.size(); ++c) columnOf[columns[c]] = static_cast<int>(c) + 1;
  columnOf[0] = 0;
  std::vector<int> columnOfUnknown(work.nvt, -1);
  for (int u = 0; u < work.nvt; ++u)
    if (source[u] >= 0) columnOfUnknown[u] = columnOf[source[u]];
  int row = 0;
  for (size_t j = 0; j < constants.size(); ++j) {
    const Value& c = constants[j];
    insertValue(system, c, row, 0);
    addBlockCoefficients(*work.lmes[j], c.Rows(), c.Cols(), system, row, work, &columnOfUnknown);
    row += c.ElementCount();
  }
}

// What the LMEs leave of the free unknowns.
struct LmeSolution {
  std::vector<int> dependent;  // unknowns in pivot order, one per row of Z
  std::vector<int> free;       // the free unknowns after unknown 0, in pivot order
  GenMatrixD Z;                // rank x (free + 1): dependent i over 1 and the free ones
};

// Factors A P = Q R with column pivoting and derives Z = -R11^-1 [Q'B | R12]
// over the first r = rank pivots; column c of A stands for unknown
// columns[c]. 0, or 1 after "LME set is ill conditionated." when Q'B has an
// entry beyond the rank. A is factored in the system's own storage.
int solveEqualities(GenMatrixD& system, const std::vector<int>& columns, LmeSolution& out) {
  const double eps = solverSettings.rank_eps;
  const int m = system.Rows();
  const int n = static_cast<int>(columns.size());
  GenMatrixD B(m, 1);
  for (int i = 0; i < m; ++i) B[i] = system[i];
  GenMatrixD A(m, n, system.Data() + m, 0);
  std::vector<int> pivots(n);  // unknown numbers in pivot order
  int rank = 0;
  if (n > 0) {
    QRFactor qr(A, 1);
    qr.Factor();
    rank = diagonalRank(qr, eps);
    qr.ApplyQ(B, 'L', 'T');
    for (int j = 0; j < n; ++j) pivots[j] = columns[static_cast<int>(qr.Pivots()[j]) - 1];
  }
  for (int i = rank; i < m; ++i)
    if (std::fabs(B[i]) > eps) return fail("LME set is ill conditionated.", kBlankFirst);

  out.dependent.assign(pivots.begin(), pivots.begin() + rank);
  out.free.assign(pivots.begin() + rank, pivots.end());
  if (rank == 0) return 0;
  GenMatrixD Z(rank, n - rank + 1);
  for (int i = 0; i < rank; ++i) Z(i, 0) = B[i];
  for (int j = rank; j < n; ++j)
    for (int i = 0; i < rank; ++i) Z(i, 1 + j - rank) = A(i, j);
  UTrMatrixD U(rank);
  for (int j = 0; j < rank; ++j)
    for (int i = 0; i <= j; ++i) U(i, j) = -A(i, j);
  U.Solve(Z, 'N');
  double* z = Z.Data();
  for (int e = 0; e < rank * (n - rank + 1); ++e)
    if (std::fabs(z[e]) < eps) z[e] = 0.0;
  out.Z = Z;
  return 0;
}

// The basis from both eliminations: the free parameters are unknown 0 and
// the free unknowns that the LMEs leave; the LMEs' dependent unknowns come
// first with their rows of Z, then every copy and zero of the structure,
// each row a copy of its source's (one entry 1.0 for a free source).
void assembleBasis(const std::vector<int>& source, const LmeSolution& lme, BuildWork& work) {
  const int nv = 1 + static_cast<int>(lme.free.size());
  std::vector<int> parameterOf(work.nvt, -1);
  std::vector<int> lmeRowOf(work.nvt, -1);
  work.freeIndex.Resize(nv);
  work.freeIndex[0] = 0;
  parameterOf[0] = 0;
  for (int k = 1; k < nv; ++k) {
    work.freeIndex[k] = lme.free[k - 1];
    parameterOf[lme.free[k - 1]] = k;
  }
  std::vector<EqualityBasis::Row> rows;
  std::vector<int> dependent;
  for (int i = 0; i < lme.Z.Rows(); ++i) {
    EqualityBasis::Row row;
    for (int k = 0; k < nv; ++k)
      if (lme.Z(i, k) != 0.0) row.push_back({k, lme.Z(i, k)});
    rows.push_back(std::move(row));
    dependent.push_back(lme.dependent[i]);
    lmeRowOf[lme.dependent[i]] = i;
  }
  for (int u = 1; u < work.nvt; ++u) {
    const int s = source[u];
    if (s == u) continue;
    if (s < 0)
      rows.emplace_back();
    else if (parameterOf[s] >= 0)
      rows.push_back({{parameterOf[s], 1.0}});
    else
      rows.push_back(EqualityBasis::Row(rows[lmeRowOf[s]]));
    dependent.push_back(u);
  }
  work.dependentIndex.Resize(static_cast<int>(dependent.size()));
  for (size_t i = 0; i < dependent.size(); ++i) work.dependentIndex[static_cast<int>(i)] = dependent[i];
  work.basis = EqualityBasis(nv, rows);
}

int computeEqualityBasis(BuildWork& work) {
  printBuildStep("- LME basis.\n");
  std::vector<Value> constants;  // each LME's value at zero
  double rows = 0.0;
  if (work.lmes.empty()) {
    printBuildStep("  No LMEs defined by user.\n");
  } else {
    printBuildStep("  Processing LMEs.");
    zeroVariableValues();
    for (VLmiBlock* lme : work.lmes) {
      constants.push_back(lme->Eval(variableTable, kLmeReading));
      rows += constants.back().ElementCount();
      countNamedVariables(*lme, work);
    }
    printBuildStep(" Ok.\n");
  }

  printBuildStep("  Processing structural LMEs.");
  std::vector<StructuralEquation> structural;
  for (int i = 0; i < builtVariableCount; ++i) variableEquations(i, work, structural);
  const std::vector<int> source = substituteStructural(work.nvt, structural);
  printBuildStep(" Ok.\n");

  printBuildStep("  Processing LME basis.");
  // A zero mask on the hidden variable asks for 1 = 0.
  if (source[0] < 0) return fail("LME set is ill conditionated.", kBlankFirst);
  std::vector<int> columns;  // the unknowns after 0 that the structure leaves free
  for (int u = 1; u < work.nvt; ++u)
    if (source[u] == u) columns.push_back(u);
  LmeSolution lme;
  if (rows == 0) {
    lme.free = columns;
  } else {
    if (!isAllocatableCount(rows * (columns.size() + 1.0))) return fail("Invalid size.", kBlankFirst);
    GenMatrixD system(static_cast<int>(rows), static_cast<int>(columns.size()) + 1, 0.0, 0);
    stackEqualities(work, constants, source, columns, system);
    if (solveEqualities(system, columns, lme)) return 1;
  }
  assembleBasis(source, lme, work);
  printBuildStep(" Ok.\n");
  return 0;
}

// ---------------------------------------------------------------------------
// The inequalities, sorted by kind and reduced into the built problem

int sortLmis(BuildWork& work) {
  printBuildStep("- LMI basis.\n");
  printBuildStep("  Gathering LMIs.");
  for (int k = 0; k < static_cast<int>(work.starts.size()); ++k) {
    const int start = work.starts[k];
    const int count = lmiBlockCount(work.starts, static_cast<int>(work.lmis.size()), k);
    const VLmiBlock& first = *work.lmis[start];
    if (count > 1) {
      work.blockLmiStarts.push_back(start);
      work.blockLmiCounts.push_back(count);
    } else if (first.Cols() == 1) {
      work.vectorLmis.push_back(start);
    } else if (first.Rows() == first.Cols()) {
      work.matrixLmis.push_back(start);
    } else {
      return fail("LMIs must be square.", kBlankFirst);
    }
  }
  printBuildStep(" Ok.\n");
  printBuildStep("  Simplifying LMIs.");
  printBuildStep(" Not implemented yet...\n");
  return 0;
}

void makeProblem(const BuildWork& work) {
  delete builtProblem;
  builtProblem = new BuiltProblem(builtVariableCount, static_cast<int>(work.matrixLmis.size()),
                                  static_cast<int>(work.blockLmiStarts.size()), work.vectorLmis.empty() ? 0 : 1);
  for (int i = 0; i < builtVariableCount; ++i) builtProblem->SetVariable(i, builtVariableValues[i]);
}

int reduceLinearInequalities(BuildWork& work) {
  if (work.vectorLmis.empty()) {
    printBuildStep("  No linear inequalities defined by user.\n");
    return 0;
  }
  printBuildStep("  Processing linear inequalities basis.");
  if (work.lmes.empty()) zeroVariableValues();
  std::vector<Value> constants;
  double rows = 0.0;
  for (int position : work.vectorLmis) {
    constants.push_back(work.lmis[position]->Eval(variableTable, kLmiReading));
    rows += constants.back().ElementCount();
  }
  if (!isAllocatableCount(rows * work.nvt)) return fail("Invalid size.", kBlankFirst);
  // Column 0 holds the constants, column u the coefficients of unknown u.
  GenMatrixD C(static_cast<int>(rows), work.nvt, 0.0, 0);
  int row = 0;
  for (size_t k = 0; k < constants.size(); ++k) {
    const VLmiBlock& block = *work.lmis[work.vectorLmis[k]];
    insertValue(C, constants[k], row, 0);
    countNamedVariables(block, work);
    addBlockCoefficients(block, constants[k].Rows(), constants[k].Cols(), C, row, work);
    row += constants[k].ElementCount();
  }
  builtProblem->Linear().SetCoefficients(C);
  printBuildStep(" Ok.\n");
  return 0;
}

// A term on its way into a term list.
struct PendingTerm {
  int variable = 0;
  double coefficient = 1.0;
  GenMatrixD left;
  GenMatrixD right;
  int hasLeft = 0;
  int hasRight = 0;
  int transposed = 0;
  int symmetric = 0;
};

PendingTerm constantTerm(double c) {
  PendingTerm term;
  term.coefficient = c;
  return term;
}

PendingTerm constantTerm(GenMatrixD&& c) {
  PendingTerm term;
  term.left = std::move(c);
  term.hasLeft = 1;
  return term;
}

void setTerms(TermList& list, const std::vector<PendingTerm>& terms) {
  list.Resize(static_cast<int>(terms.size()));
  for (int k = 0; k < static_cast<int>(terms.size()); ++k) {
    const PendingTerm& term = terms[k];
    list.SetVariable(k, term.variable);
    list.SetCoefficient(k, term.coefficient);
    if (term.hasLeft) list.SetLeftFactor(k, term.left);
    if (term.hasRight) list.SetRightFactor(k, term.right);
    if (term.transposed) list.SetTransposed(k);
    if (term.symmetric) list.SetSymmetric(k);
  }
}

// Fills list with terms and keeps the stated rows x cols: when only 1 x 1
// terms are left of a larger block (its other terms were negligible), a
// zero term of the stated shape gives the list its dimension, the 1 x 1
// terms then standing for their scalars times the identity.
void fillTermList(TermList& list, std::vector<PendingTerm>& terms, int rows, int cols) {
  if (terms.empty()) terms.push_back(constantTerm(0.0));
  setTerms(list, terms);
  if (list.Rows() == rows && list.Cols() == cols) return;
  if (list.Rows() != 1 || list.Cols() != 1) return;
  terms.push_back(constantTerm(GenMatrixD(rows, cols, 0.0, 0)));
  setTerms(list, terms);
}

// The variable terms of block in its order, each variable counted as
// referenced. Below the diagonal of a block matrix inequality (below set)
// a term stands for its transpose: (c L op(X) R)' = c R' op(X)' L'. A term
// whose scalar coefficient is below dropBelow in magnitude is dropped whole
// (without its right factor it could take another shape than the block's);
// its variable still counts as referenced, as every written term's does.
void variableTerms(const VLmiBlock& block, int below, double dropBelow, BuildWork& work,
                   std::vector<PendingTerm>& terms) {
  for (int t = 1; t < block.NumTerms(); ++t) {
    const VMatTerm& written = block[t];
    PendingTerm term;
    term.variable = variableIndex(written.name);
    if (term.variable < 0) continue;
    ++work.referenceCounts[term.variable];
    if (!written.leftIsIdentity) {
      if (written.left.IsScalar()) {
        if (std::fabs(*written.left.Scalar()) < dropBelow) continue;
        term.coefficient = *written.left.Scalar();
      } else if (below) {
        term.right = transpose(valueToMatrix(written.left));
        term.hasRight = 1;
      } else {
        term.left = valueToMatrix(written.left);
        term.hasLeft = 1;
      }
    }
    if (!written.rightIsIdentity) {
      if (below) {
        term.left = transpose(valueToMatrix(written.right));
        term.hasLeft = 1;
      } else {
        term.right = valueToMatrix(written.right);
        term.hasRight = 1;
      }
    }
    term.transposed = below ? !written.transposed : written.transposed;
    term.symmetric = written.symmetric;
    terms.push_back(std::move(term));
  }
}

// A matrix inequality: the variable terms in the block's order, then the
// constant on the affine variable. A term whose scalar coefficient, or a
// scalar constant, is below rank_eps in magnitude is left out.
void reduceMatrixInequality(const VLmiBlock& block, TermBlock& target, BuildWork& work) {
  const double eps = solverSettings.rank_eps;
  std::vector<PendingTerm> terms;
  variableTerms(block, 0, eps, work, terms);
  const Value c = lmiConstantPart(block);
  if (c.IsScalar() && std::fabs(*c.Scalar()) >= eps) terms.push_back(constantTerm(*c.Scalar()));
  if (c.IsMatrix()) terms.push_back(constantTerm(valueToMatrix(c)));
  fillTermList(target, terms, block.Rows(), block.Cols());
}

// One position (i, j), j <= i, of a block matrix inequality. Below the
// diagonal the sub-block holds the transpose of the written block. No term
// is dropped for a small coefficient.
void reduceSubBlock(const VLmiBlock& block, int below, SubBlock& target, BuildWork& work) {
  std::vector<PendingTerm> terms;
  variableTerms(block, below, 0.0, work, terms);
  const Value c = lmiConstantPart(block);
  if (c.IsScalar() && (block.NumTerms() == 1 || *c.Scalar() != 0.0)) terms.push_back(constantTerm(*c.Scalar()));
  if (c.IsMatrix()) terms.push_back(constantTerm(below ? transpose(valueToMatrix(c)) : valueToMatrix(c)));
  if (below)
    fillTermList(target, terms, block.Cols(), block.Rows());
  else
    fillTermList(target, terms, block.Rows(), block.Cols());
}

void reduceMatrixInequalities(BuildWork& work) {
  if (work.matrixLmis.empty()) {
    printBuildStep("  No matrix inequalities defined by user.\n");
    return;
  }
  printBuildStep("  Processing matrix inequalities basis.");
  for (size_t k = 0; k < work.matrixLmis.size(); ++k)
    reduceMatrixInequality(*work.lmis[work.matrixLmis[k]], builtProblem->TermBlockAt(static_cast<int>(k)), work);
  printBuildStep(" Ok.\n");
}

void reduceBlockMatrixInequalities(BuildWork& work) {
  if (work.blockLmiStarts.empty()) {
    printBuildStep("  No block matrix inequalities defined by user.\n");
    return;
  }
  printBuildStep("  Processing block matrix inequalities basis.");
  for (size_t k = 0; k < work.blockLmiStarts.size(); ++k) {
    BlockLmi& target = builtProblem->BlockLmiAt(static_cast<int>(k));
    const int n = lmiBlockRowCount(work.blockLmiCounts[k]);
    target.Allocate(n);
    int position = work.blockLmiStarts[k];
    for (int i = 0; i < n; ++i)
      for (int j = 0; j <= i; ++j) reduceSubBlock(*work.lmis[position++], j < i, target.SubBlockAt(i, j), work);
  }
  printBuildStep(" Ok.\n");
}

int reduceInequalities(BuildWork& work) {
  if (sortLmis(work)) return 1;
  makeProblem(work);
  if (reduceLinearInequalities(work)) return 1;
  reduceMatrixInequalities(work);
  reduceBlockMatrixInequalities(work);
  return 0;
}

// ---------------------------------------------------------------------------
// The objective over the free parameters

void reduceObjective(const BuildWork& work) {
  printBuildStep("- Objective basis.\n");
  if (objective.NumTerms() == 1) {
    printBuildStep("  No objective function defined. Going for feasibility problem.\n");
    objectiveVector = GenMatrixD();
    return;
  }
  printBuildStep("  Processing objective.");
  if (work.lmes.empty() && work.vectorLmis.empty()) zeroVariableValues();
  // c over the unknowns; its constant, in c[0], is not kept.
  GenMatrixD c(1, work.nvt, 0.0, 0);
  addBlockCoefficients(objective, 1, 1, c, 0, work);
  // g = c over the free unknowns + Z' c over the dependent ones, without
  // the constant's entry 0.
  const int nv = work.freeIndex.Size();
  const EqualityBasis& Z = work.basis;
  GenMatrixD g(nv, 1, 0.0, 0);
  for (int k = 1; k < nv; ++k) {
    double sum = c[work.freeIndex[k]];
    for (int e = Z.ColumnBegin(k); e < Z.ColumnEnd(k); ++e) sum += c[work.dependentIndex[Z.RowOf(e)]] * Z.ValueOf(e);
    g[k] = sum;
  }
  objectiveVector = std::move(g);
  printBuildStep(" Ok.\n");
}

// ---------------------------------------------------------------------------
// Last checks: unreferenced variables, the sizes, symmetry

int hasAsymmetricBlock(const BlockDiagonalMatrix& values) {
  for (int k = 0; k < values.BlockCount(); ++k)
    if (isNotSymmetric(values.Block(k).AsGenMatrixD(), solverSettings.rank_eps)) return 1;
  return 0;
}

// At the point of all free parameters 1, which stays in the variables, and
// along every free parameter.
int checkSymmetry(BuiltProblem& problem) {
  BlockDiagonalMatrix values(0);
  identityBlockDiagonal(problem.Nb(), problem.BlockSizes(), problem.Td(), values);
  const GenMatrixD ones(problem.Nv(), 1, 1.0, 0);
  problem.EvaluateAt(ones, values);
  if (hasAsymmetricBlock(values) || hasAsymmetricDirection(problem, solverSettings.rank_eps))
    return fail("Constraint set is not symmetric.", kBlankFirst);
  return 0;
}

int runLastChecks(const BuildWork& work) {
  printBuildStep("- Last checks.\n");
  printBuildStep("  Checking unreferenced variables.");
  for (int i = 1; i < builtVariableCount; ++i)
    if (work.referenceCounts[i] == 0)
      return fail("Variable \"" + builtVariableNames[i] + "\" is never referenced.", kBlankFirst);
  printBuildStep(" Ok.\n");

  builtProblem->SetBasis(work.basis);
  builtProblem->SetFreeIndex(work.freeIndex);
  builtProblem->SetDependentIndex(work.dependentIndex);
  if (builtProblem->FinalizeSizes()) return fail("Invalid size.", kBlankFirst);

  printBuildStep("  Checking symmetry.");
  if (checkSymmetry(*builtProblem)) return 1;
  printBuildStep(" Ok.\n");
  needsRebuild = 0;
  return 0;
}

}  // namespace

void printBuildStep(const std::string& text) {
  if (verboseFormat == 1) std::cout << text;
}

int buildProblem() {
  builtVariableCount = variableTable.Count();
  if (builtVariableCount == 1) {
    reportError("Cannot build problem without variables...", 0);
    return 1;
  }
  BuildWork work;
  work.lmis = listElements(lmiBlocks);
  work.lmiTextList = listElements(lmiTexts);
  for (int* start : listElements(lmiStarts)) work.starts.push_back(*start);
  work.lmes = listElements(lmeBlocks);
  work.lmeTextList = listElements(lmeTexts);

  if (evaluateStoredTexts(work)) return 1;
  if (numberVariables(work)) return 1;
  if (computeEqualityBasis(work)) return 1;
  if (work.starts.empty()) return fail("Cannot build problem without inequalities...", kBlankFirst);
  if (reduceInequalities(work)) return 1;
  reduceObjective(work);
  return runLastChecks(work);
}
