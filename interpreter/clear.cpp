#include "clear.h"

#include <string>

#include "lexer.h"
#include "primaries.h"
#include "problem_primaries.h"
#include "report.h"
#include "workspace.h"

namespace {

const char* const kItemMessage = "Expected variable, parameter, lmi, lme, obj or [separator].";

bool isClearItem(int kind) {
  switch (kind) {
    case kLmi:
    case kLme:
    case kObj:
    case kVar:
    case kMask:
    case kVariable:
    case kParameter:
      return true;
    default:
      return false;
  }
}

bool isReservedParameter(const std::string& name) {
  for (const char* reserved : {"eps", "rank_eps", "max_iter", "noprog", "display", "fact"})
    if (name == reserved) return true;
  return false;
}

// The variables table always holds the hidden variable of constant terms.
void seedAffineVariable() { variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0))); }

// Removes elements start..end-1 in one walk; end may be the list's size.
template <class T>
void removeRange(List<T>& list, int start, int end) {
  List<T> removed;
  if (end >= list.Count())
    list.SplitAt(removed, start);
  else
    list.MoveRange(removed, start, end);
}

// lmi(k) removes the blocks of LMI k and renumbers the later ones.
int clearLmi() {
  expectToken(kLmi);
  int k;
  if (parseIndexArg(k)) return 1;
  if (k == 0) {
    lmiStarts.Clear();
    lmiBlocks.Clear();
    lmiTexts.Clear();
    return 0;
  }
  const int count = lmiStarts.Count();
  if (k - 1 >= count) {
    reportError("Subscript out of range.");
    return 1;
  }
  const int start = lmiStarts[k - 1];
  const int end = k < count ? lmiStarts[k] : lmiBlocks.Count();
  removeRange(lmiBlocks, start, end);
  removeRange(lmiTexts, start, end);
  lmiStarts.Remove(k - 1);
  for (ListNode<int>* later = lmiStarts.NodeAt(k - 1); later != nullptr; later = later->next)
    later->value -= end - start;
  return 0;
}

int clearLme() {
  expectToken(kLme);
  int k;
  if (parseIndexArg(k)) return 1;
  if (k == 0) {
    lmeBlocks.Clear();
    lmeTexts.Clear();
    return 0;
  }
  if (k - 1 >= lmeBlocks.Count()) {
    reportError("Subscript out of range.");
    return 1;
  }
  lmeBlocks.Remove(k - 1);
  lmeTexts.Remove(k - 1);
  return 0;
}

// ans is emptied, the reserved parameters stay, any other goes.
int clearParameter() {
  std::string name;
  expectTokenText(kParameter, name);
  if (name == kAnsName) {
    parameterTable.Lookup(kAnsName) = Value();
    return 0;
  }
  if (isReservedParameter(name)) {
    reportError("'" + name + "' is a reserved parameter.");
    return 1;
  }
  parameterTable.Remove(name);
  return 0;
}

int clearVariable() {
  std::string name;
  expectTokenText(kVariable, name);
  // The hidden variable is no user's variable (a quoted name can reach it);
  // the builder cannot do without it.
  if (name != kAffineVariableName) variableTable.Remove(name);
  return 0;
}

int clearMask() {
  std::string name;
  if (takeMaskVariable(name)) return 1;
  variableTable.Lookup(name).GetMask() = SharedArray<int>();
  return 0;
}

int clearItem(int kind) {
  switch (kind) {
    case kLmi:
      return clearLmi();
    case kLme:
      return clearLme();
    case kObj:
      expectToken(kObj);
      clearObjective();
      return 0;
    case kVar:
      expectToken(kVar);
      variableTable.Clear();
      seedAffineVariable();
      return 0;
    case kMask:
      return clearMask();
    case kParameter:
      return clearParameter();
    default:
      return clearVariable();
  }
}

int clearItems() {
  needsRebuild = 1;
  int kind;
  while (isClearItem(kind = peekNonSpace())) {
    skipSpaces();
    if (clearItem(kind)) return 1;
  }
  if (isStatementSeparator(kind)) return 0;
  reportError(kItemMessage);
  return 1;
}

// Back to the state of a fresh run. What goes before the settings are
// checked stays gone when the check fails.
int clearEverything() {
  builtVariableCount = 0;
  releaseBuiltResults();
  objectiveVector = GenMatrixD();
  clearStoredConstraints();
  if (checkReservedParameters()) return 1;
  parameterTable.Clear();
  seedReservedParameters();
  parameterTable.Insert(kAnsName, Value());
  variableTable.Clear();
  seedAffineVariable();
  needsRebuild = 1;
  return 0;
}

}  // namespace

int clearStatement() {
  expectToken(kClear);
  const int first = peekNonSpace();
  if (isClearItem(first)) return clearItems();
  if (isStatementSeparator(first)) return clearEverything();
  reportError(kItemMessage);
  return 1;
}
