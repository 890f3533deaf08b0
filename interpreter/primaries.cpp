#include "primaries.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "allocation.h"
#include "evaluator.h"
#include "lexer.h"
#include "report.h"
#include "subscripts.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

// Element k of a value in column-major order; a scalar is its own only
// element.
double elementOf(const Value& v, int k) { return v.IsScalar() ? *v.Scalar() : (*v.Matrix())[k]; }

// One index of a subscript: a bare ":" (colon set) or an expression.
int readSubscriptIndex(Value& index, bool& colon) {
  colon = peekKind(0) == kColon;
  if (colon) return expectToken(kColon);
  return evalExpression(index);
}

// (I): one entry per element of I, in its column-major order; the selection
// has I's shape.
int selectByList(const Value& I, const Value& value, SharedArray<int>& indices, int& rows, int& cols) {
  const int count = I.ElementCount();
  const double total = value.ElementCount();
  if (checkAllocatable(intsAsElements(count))) return 1;
  indices.Resize(count);
  for (int k = 0; k < count; ++k) {
    // Tested as a double before the conversion: a NaN is out of range.
    const double x = elementOf(I, k);
    if (!(x >= 1.0 && x <= total)) {
      reportError("Subscript out of range.");
      return 1;
    }
    indices[k] = static_cast<int>(x) - 1;
  }
  rows = I.Rows();
  cols = I.Cols();
  return 0;
}

// (I,J), (:,J), (I,:) and (:,:).
int selectByPair(const Value& I, bool allRows, const Value& J, bool allColumns, const Value& value,
                 SharedArray<int>& indices, int& rows, int& cols, int& mode) {
  if (allRows && allColumns) {
    rows = value.Rows();
    cols = value.Cols();
    return 0;
  }
  const double r = allRows ? value.Rows() : I.ElementCount();
  const double c = allColumns ? value.Cols() : J.ElementCount();
  // The index list has an entry for every element of the selection, which
  // a read then makes (selectElements asks for it again): counted as a
  // matrix, the list also stays within an int's count.
  if (checkAllocatable(r * c)) return 1;
  rows = static_cast<int>(r);
  cols = static_cast<int>(c);
  mode = kIndexedElements;
  if (allRows) return columnSubscriptIndices(J, value, indices);
  if (allColumns) return rowSubscriptIndices(I, value, indices);
  return subscriptIndices(I, J, value, indices);
}

// out = the selection of source (out may be source itself); never shares
// source's storage. 0, or 1 after "Invalid size." with out unchanged.
int selectElements(const Value& source, const SharedArray<int>& indices, int rows, int cols, int mode, Value& out) {
  const int total = rows * cols;
  if (total == 0) {
    out.Release();
    return 0;
  }
  const bool all = mode == kAllElements;
  if (total == 1) {
    const double x = elementOf(source, all ? 0 : indices[0]);
    out = x;
    return 0;
  }
  if (checkAllocatable(total)) return 1;
  GenMatrixD selection(rows, cols);
  if (source.IsScalar()) {
    selection.Fill(*source.Scalar());
  } else {
    const double* data = source.Matrix()->Data();
    for (int k = 0; k < total; ++k) selection[k] = data[all ? k : indices[k]];
  }
  out = selection;
  return 0;
}

// A subscript after a name, with the value it selects from: the value as it
// stood before the subscript was read. The subscript's expressions and an
// assignment's right-hand side may assign the name themselves; the selection
// still reads, and the assignment writes into, that earlier value.
struct Subscript {
  SharedArray<int> indices;
  int rows = 0;
  int cols = 0;
  int mode = kWholeValue;
  Value before;  // shares the stored value's elements
};

// The workspace entry of a parameter or a variable, found as its name was
// taken. The subscript and an assignment's right-hand side may change the
// workspace, so the entry is asked for again afterwards; the table is
// searched again only when it has gained or lost a name since, which is the
// only way an entry moves or goes.
template <class T>
class Entry {
 public:
  Entry(HashTable<T>& table, const std::string& name, T* found)
      : table(table), name(name), found(found), generation(table.Generation()) {}

  const std::string& Name() const { return name; }
  T& Get() {
    if (found == nullptr || generation != table.Generation()) {
      found = &table.Lookup(name);
      generation = table.Generation();
    }
    return *found;
  }

 private:
  HashTable<T>& table;
  const std::string& name;
  T* found;
  std::uint64_t generation;
};

using ParameterEntry = Entry<Value>;
using VariableEntry = Entry<VarRecord>;

const Value& storedValue(ParameterEntry& entry) { return entry.Get(); }
const Value& storedValue(VariableEntry& entry) { return entry.Get().GetValue(); }

// The write of p(:) = e or p(s) = e into target.
int writeSelection(Value& target, const Value& rhs, const Subscript& subscript) {
  if (subscript.mode == kAllElements) return assignAll(target, rhs);
  return assignSubscript(target, rhs, subscript.indices);
}

// A whole stored value as a read by name gives it: sharing its elements,
// which whatever writes them in place makes private first. The solver's
// point (holdsSolverPoint) is the exception: later phases write it in place,
// so it is read as a private copy, once the memory gate lets it through.
int readWhole(const Value& stored, Value& result) {
  if (!holdsSolverPoint(stored)) {
    result = stored;
    return 0;
  }
  if (checkAllocatable(stored.ElementCount())) return 1;
  result.DeepCopy(stored);
  return 0;
}

// What follows the name of a parameter or variable: an optional subscript,
// then an assignment, which assign stores and yields (subscript null when
// the name has none), or a read. A read is the whole value (shown under the
// name) or the subscript's selection (an "ans").
template <class T>
int readOrAssign(Entry<T>& entry, int (*assign)(Entry<T>&, Subscript*, Value&), Value& result) {
  const std::string& name = entry.Name();
  const Value& stored = storedValue(entry);
  if (peekKind(0) != kLeftParen) {
    // The common case, without an index list to make.
    if (peekNonSpace() == kAssign) return assign(entry, nullptr, result);
    resultName = name;
    return readWhole(stored, result);
  }
  Subscript subscript;
  subscript.before = stored;
  if (parseSubscript(subscript.before, subscript.indices, subscript.rows, subscript.cols, subscript.mode)) return 1;
  resultName = name;
  if (peekNonSpace() == kAssign) return assign(entry, &subscript, result);
  if (subscript.mode == kWholeValue) return readWhole(subscript.before, result);
  resultName = kAnsName;
  return selectElements(subscript.before, subscript.indices, subscript.rows, subscript.cols, subscript.mode, result);
}

// Two matrix values over the same elements.
bool holdSameElements(const Value& a, const Value& b) {
  return a.IsMatrix() && b.IsMatrix() && a.Matrix()->Data() == b.Matrix()->Data();
}

int subscriptMode(const Subscript* subscript) { return subscript != nullptr ? subscript->mode : kWholeValue; }

int assignParameter(ParameterEntry& entry, Subscript* subscript, Value& result) {
  const std::string& name = entry.Name();
  takeOperator(kAssign);
  Value rhs;
  if (evalExpression(rhs)) return 1;
  // Asked for again: the right-hand side may itself have assigned the name.
  Value& stored = entry.Get();
  if (subscriptMode(subscript) == kWholeValue) {
    turnInlineOff(name, stored, rhs);
    result = std::move(rhs);
    stored = result;
  } else {
    // The written value replaces the stored one, so while the stored value
    // still holds the same elements, and nothing else does, they are written
    // in place rather than copied. Every test comes before the first element
    // is written, so a failure writes nothing.
    Value& target = subscript->before;
    const bool sameElements = holdSameElements(stored, target);
    if (sameElements) stored.Release();
    const int failed = makeWritable(target) || writeSelection(target, rhs, *subscript);
    if (!failed || sameElements) stored = target;
    if (failed) return 1;
    result = std::move(target);
  }
  resultName = name;
  needsRebuild = 1;
  return 0;
}

// The m x n matrix of zeros with s on the diagonal.
void makeDiagonal(int m, int n, double s, Value& out) {
  if (m == 1 && n == 1) {
    out = s;
    return;
  }
  GenMatrixD d(m, n, 0.0, 0);
  for (int i = 0; i < std::min(m, n); ++i) d(i, i) = s;
  out = d;
}

// The whole m x n value of a variable of the type that a scalar s assigns,
// once the memory gate lets it through: s on the diagonal of a diagonal
// variable, everywhere else in any other. 0, or 1 after "Invalid size.".
int fillVariable(int type, int m, int n, double s, Value& out) {
  if (checkAllocatable(elementCount(m, n))) return 1;
  if (type == kDiag)
    makeDiagonal(m, n, s, out);
  else
    out = Value(m, n, s);
  return 0;
}

// The declaration's tests of a variable's new value, in their order.
int checkVariableValue(const std::string& name, int type, int m, int n, const Value& v) {
  if (type == kScl) {
    if (v.IsScalar()) return 0;
    reportError("Can not assign a matrix to a scalar variable.");
    return 1;
  }
  if (v.Rows() != m || v.Cols() != n) {
    reportError("Can not change variable size.");
    return 1;
  }
  if (type == kSym && !isSymmetric(v)) {
    reportError("Variable \"" + name + "\" must be symmetric!");
    return 1;
  }
  if (type == kDiag && !isDiagonal(v)) {
    reportError("Variable \"" + name + "\" must be diagonal!");
    return 1;
  }
  return 0;
}

int assignVariable(VariableEntry& entry, Subscript* subscript, Value& result) {
  const std::string& name = entry.Name();
  takeOperator(kAssign);
  Value rhs;
  if (evalExpression(rhs)) return 1;
  VarRecord& record = entry.Get();
  // The declared size; no assignment changes it.
  const int m = record.GetValue().Rows();
  const int n = record.GetValue().Cols();
  // The new value is built aside and stored only once it passes the tests:
  // the subscript's value still holds the elements, so they are copied.
  Value next;
  if (subscriptMode(subscript) != kWholeValue) {
    next = subscript->before;
    if (makeWritable(next) || writeSelection(next, rhs, *subscript)) return 1;
  } else if (!rhs.IsScalar()) {
    next = std::move(rhs);
  } else if (fillVariable(record.GetType(), m, n, *rhs.Scalar(), next)) {
    return 1;
  }
  if (checkVariableValue(name, record.GetType(), m, n, next)) return 1;
  record.GetValue() = next;
  result = std::move(next);
  resultName = name;
  needsRebuild = 1;
  return 0;
}

}  // namespace

void turnInlineOff(const std::string& name, const Value& current, const Value& next) {
  if (!current.IsScalar() || next.IsScalar()) return;
  int position;
  if (!findInlineName(name, position)) return;
  reportWarning("Turning matrix \"" + name + "\" inline off.");
  inlineNames.Remove(position);
}


int primaryNotAPrimary(Value&) {
  std::string name;
  takeTokenName(name);
  reportError("'" + name + "' is not a primary.");
  return 1;
}

int primaryEol(Value&) {
  expectToken(kEol);
  reportError("Primary expected.");
  return 1;
}

int primaryInvalidToken(Value&) {
  std::string text;
  expectTokenText(kUnknown, text);
  reportError("'" + text + "' is not a valid token!");
  return 1;
}

int primaryParen(Value& result) {
  expectToken(kLeftParen);
  skipSpaces();
  if (evalExpression(result)) return 1;
  skipSpaces();
  return expectToken(kRightParen);
}

int primaryNumber(Value& result) {
  double number;
  expectNumber(number);
  result = number;
  resultName = kAnsName;
  return 0;
}

int primaryNewName(Value& result) {
  std::string name;
  expectTokenText(kName, name);
  if (peekNonSpace() != kAssign) {
    reportError("Unknown command, variable or parameter '" + name + "'.");
    return 1;
  }
  takeOperator(kAssign);
  if (evalExpression(result)) return 1;
  // The right-hand side may have bound the name itself (x = 1 + (x = 2));
  // the value of the whole assignment replaces that one.
  if (parameterTable.Find(name).index >= 0)
    parameterTable.Lookup(name) = result;
  else
    parameterTable.Insert(name, result);
  resultName = name;
  return 0;
}

int primaryParameter(Value& result) {
  std::string name;
  Value* stored;
  expectParameter(name, stored);
  ParameterEntry entry(parameterTable, name, stored);
  return readOrAssign(entry, assignParameter, result);
}

int primaryVariable(Value& result) {
  std::string name;
  VarRecord* record;
  expectVariable(name, record);
  VariableEntry entry(variableTable, name, record);
  return readOrAssign(entry, assignVariable, result);
}

int parseSubscript(const Value& value, SharedArray<int>& indices, int& rows, int& cols, int& mode) {
  mode = kWholeValue;
  if (peekKind(0) != kLeftParen) return 0;
  expectToken(kLeftParen);
  skipSpaces();
  Value first;
  Value second;
  bool firstColon;
  bool secondColon = false;
  if (readSubscriptIndex(first, firstColon)) return 1;
  const bool pair = peekNonSpace() == kComma;
  if (pair) {
    takeOperator(kComma);
    if (readSubscriptIndex(second, secondColon)) return 1;
  }
  skipSpaces();
  if (expectToken(kRightParen)) return 1;
  if (pair) return selectByPair(first, firstColon, second, secondColon, value, indices, rows, cols, mode);
  if (firstColon) {
    rows = value.ElementCount();
    cols = 1;
    mode = kAllElements;
    return 0;
  }
  mode = kIndexedElements;
  return selectByList(first, value, indices, rows, cols);
}

int readSubscript(Value& value, const SharedArray<int>& indices, int rows, int cols, int mode) {
  if (mode == kWholeValue) return 0;
  return selectElements(value, indices, rows, cols, mode, value);
}

int assignSubscript(Value& target, const Value& source, const SharedArray<int>& indices) {
  const int count = indices.Size();
  if (count != source.ElementCount()) {
    reportError("Assignment with different number of terms.");
    return 1;
  }
  if (target.IsScalar()) {
    // Every index of a scalar is its only position.
    for (int k = 0; k < count; ++k) *target.Scalar() = elementOf(source, k);
  } else if (target.IsMatrix()) {
    double* data = target.Matrix()->Data();
    for (int k = 0; k < count; ++k) data[indices[k]] = elementOf(source, k);
  }
  return 0;
}

int assignAll(Value& target, const Value& source) {
  const int count = target.ElementCount();
  if (count != source.ElementCount()) {
    reportError("Assignment with different number of terms.");
    return 1;
  }
  if (target.IsScalar()) {
    *target.Scalar() = *source.Scalar();
  } else if (target.IsMatrix()) {
    double* data = target.Matrix()->Data();
    const double* from = source.Matrix()->Data();
    for (int k = 0; k < count; ++k) data[k] = from[k];
  }
  return 0;
}

int parseIndexArg(int& k) {
  k = 0;
  if (peekKind(0) != kLeftParen) return 0;
  expectToken(kLeftParen);
  skipSpaces();
  Value index;
  if (evalExpression(index)) return 1;
  // Tested as a double before the conversion: a NaN or an index beyond the
  // int range names nothing, like a matrix.
  const bool scalar = index.IsScalar();
  const double x = scalar ? *index.Scalar() : 0.0;
  if (!scalar || std::isnan(x) || x >= 2147483648.0) {
    reportError("Invalid index.");
    return 1;
  }
  if (x < 1.0) {
    reportError("Index must be greater than one.");
    return 1;
  }
  k = static_cast<int>(x);
  skipSpaces();
  return expectToken(kRightParen);
}

int parseIntegerArg(int& k) {
  Value argument;
  if (evalExpression(argument)) return 1;
  // A NaN, an infinity or a number beyond the int range is no integer.
  if (!argument.IsScalar() || !(std::fabs(*argument.Scalar()) < 2147483648.0)) {
    reportError("Expected integer.");
    return 1;
  }
  k = static_cast<int>(*argument.Scalar());
  return 0;
}

