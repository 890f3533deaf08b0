#include "declarations.h"

#include <string>

#include "builtins.h"
#include "evaluator.h"
#include "lexer.h"
#include "line_input.h"
#include "report.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

int failFor(const std::string& name, const char* tail) { return fail("Variable '" + name + tail); }

// A token that can begin an item: a type keyword or a name that is neither a
// variable nor a parameter.
int beginsItem(int kind) { return kind == kType || kind == kName; }

// Completes a written size (one number is square) and checks it against the
// type, which a 1 x 1 size makes scl.
int checkWrittenSize(const std::string& name, int& type, int m, int& n) {
  if (n == 0) n = m;
  if (m == 1 && n == 1) type = kScl;
  if (type == kScl && (m != 1 || n != 1)) return failFor(name, "' is not a scalar.");
  if ((type == kSym || type == kDiag) && m != n) return failFor(name, "' must be square.");
  return 0;
}

// Reads "= expression" and fits the value to the size: no written size
// (m = 0) takes the value's, a scalar fills a larger written size, any other
// difference is an error.
int readInitialValue(int& m, int& n, Value& value) {
  skipSpaces();
  if (expectToken(kAssign)) return 1;
  skipSpaces();
  if (evalExpression(value)) return 1;
  if (m == 0) {
    m = value.Rows();
    n = value.Cols();
  } else if (value.IsScalar() && (m > 1 || n > 1)) {
    value = Value(m, n, *value.Scalar());
  } else if (m != value.Rows() || n != value.Cols()) {
    return fail("Initialization does not match variable size.");
  }
  return 0;
}

// The structure tests of a declared value. An scl variable must be 1 x 1
// (also when its value alone gave the size), so no scalar variable is ever
// empty or a matrix.
int checkStructure(const std::string& name, int type, const Value& value) {
  if (type == kScl && !value.IsScalar()) return failFor(name, "' is not a scalar.");
  if (type == kSym && !isSymmetric(value)) return failFor(name, "' must be symmetric.");
  if (type == kDiag && !isDiagonal(value)) return failFor(name, "' must be diagonal.");
  return 0;
}

// The error for a name that already stands for a variable or a parameter.
int reportRedefinition(int kind, const std::string& name) {
  if (kind == kVariable) return fail("Trying to redefine variable '" + name + "'.");
  return fail("Trying to redefine parameter '" + name + "' as a variable.");
}

// The error for the token that stands where an item or a separator is due;
// the token is taken.
int reportNotAnItem() {
  const int kind = peekKind(0);
  std::string text;
  if (kind == kVariable || kind == kParameter) {
    expectTokenText(kind, text);
    return reportRedefinition(kind, text);
  }
  return fail("'" + takeTokenName(text) + "' is not a name or type.");
}

}  // namespace

int parseVarType() {
  if (peekKind(0) != kType) return kGen;
  std::string word;
  expectTokenText(kType, word);
  for (int type = kScl; type <= kDiag; ++type)
    if (word == VarTypeNames[type]) return type;
  return kGen;
}

int declareVariable(int type) {
  std::string name;
  expectTokenText(kName, name);
  int m, n;
  if (parseSizeArgs(m, n)) return 1;
  if (m != 0 && checkWrittenSize(name, type, m, n)) return 1;

  Value value;
  if (peekNonSpace() == kAssign) {
    if (readInitialValue(m, n, value)) return 1;
    // The initial value may itself have assigned the name (var x = (x = 1)).
    const int kind = classifyName(name);
    if (kind != kName) return reportRedefinition(kind, name);
  } else {
    if (m == 0) m = n = 1;
    value = Value(m, n, 0.0);
  }
  // A Ctrl-C dropped the line while the declaration looked for its value.
  if (inputAbandoned()) return 1;
  if (m == 1 && n == 1) type = kScl;
  if (checkStructure(name, type, value)) return 1;
  variableTable.Insert(name, VarRecord(type, value));
  return 0;
}

int varStatement() {
  expectToken(kVar);
  skipSpaces();
  if (beginsItem(peekKind(0))) {
    needsRebuild = 1;
    while (beginsItem(peekKind(0))) {
      const int type = parseVarType();
      skipSpaces();
      if (peekKind(0) == kName && declareVariable(type)) return 1;
      skipSpaces();
    }
    if (isStatementSeparator(peekKind(0))) return 0;
  }
  return reportNotAnItem();
}
