#include "statements.h"

#include <iostream>
#include <iterator>
#include <string>

#include "clear.h"
#include "commands.h"
#include "constraints.h"
#include "control_flow.h"
#include "declarations.h"
#include "display.h"
#include "evaluator.h"
#include "exec.h"
#include "import_export.h"
#include "interrupts.h"
#include "lexer.h"
#include "line_input.h"
#include "listings.h"
#include "report.h"
#include "workspace.h"

namespace {

// Drops what is pending after a failure. Returns whether the loop goes on.
bool goesOnAfterFailure() {
  discardTokenQueue();
  return !failureEndsRun();
}

// Runs the statements of the current line, which has been read. Returns
// whether the loop goes on with the next line; result receives the status
// of every statement run.
bool runLineStatements(int& result) {
  for (;;) {
    if (peekKind(0) == kSpace) skipSpaces();
    const int first = peekKind(0);
    if (first == kEol) {
      expectToken(kEol);
      return true;
    }
    if (first == kEnd) {
      expectToken(kEnd);
      // The end of the input that a statement dropped by Ctrl-C met ends
      // only that statement.
      return inputAbandoned() != 0;
    }
    result = dispatchStatement();
    if (result != 0) return goesOnAfterFailure();
    if (peekKind(0) == kSpace) skipSpaces();
    const int separator = peekKind(0);
    if (separator == kSemicolon || separator == kComma) {
      expectToken(separator);
    } else if (separator != kEol) {
      reportError(kExpectedSeparatorMessage);
      result = 1;
      return goesOnAfterFailure();
    }
  }
}

// Frees what a run leaves behind: the last input line, the arrays of the
// last build (destroyed last to first) and the built problem.
void releaseRunResources() {
  releaseLineBuffer();
  releaseBuiltResults();
}

}  // namespace

const char kExpectedSeparatorMessage[] = "Expected separator: colon, semicolon or end of line.";

bool failureEndsRun() { return (modeFlags & (kModeScript | kModeExec)) != 0; }

// clang-format off
const StatementHandler StatementDispatchTable[] = {
    notAStatement,          // nothing
    exprStatement,          // variable
    exprStatement,          // parameter
    exprStatement,          // name
    lmiStatement,           // lmi
    lmeStatement,           // lme
    objStatement,           // obj
    varStatement,           // var
    exprStatement,          // eval
    whoStatement,           // who
    whosStatement,          // whos
    exprStatement,          // build
    exprStatement,          // solve
    exprStatement,          // feas
    exprStatement,          // mask
    clearStatement,         // clear
    formatStatement,        // format
    notAStatement,          // compact
    notAStatement,          // verbose
    importStatement,        // import
    exportStatement,        // export
    inlineStatement,        // inline
    notAStatement,          // on
    notAStatement,          // off
    pauseStatement,         // pause
    execStatement,          // exec
    echoStatement,          // echo
    helpStatement,          // help
    homeStatement,          // home
    cdStatement,            // cd
    pwdStatement,           // pwd
    dirStatement,           // dir (ls, dir)
    exprStatement,          // cputime
    notAStatement,          // space
    exprStatement,          // literal
    exprStatement,          // type
    exprStatement,          // ~
    notAStatement,          // ==
    notAStatement,          // ~=
    notAStatement,          // &
    notAStatement,          // |
    notAStatement,          // <
    notAStatement,          // <=
    notAStatement,          // >
    notAStatement,          // >=
    notAStatement,          // =
    exprStatement,          // +
    exprStatement,          // -
    notAStatement,          // *
    notAStatement,          // backslash
    notAStatement,          // /
    notAStatement,          // ^
    exprStatement,          // sqrt
    exprStatement,          // (
    notAStatement,          // )
    exprStatement,          // [
    notAStatement,          // ]
    notAStatement,          // ,
    notAStatement,          // ;
    notAStatement,          // :
    notAStatement,          // '
    exprStatement,          // eye
    exprStatement,          // ones
    exprStatement,          // zeros
    exprStatement,          // trace
    notAStatement,          // block
    exprStatement,          // size
    exprStatement,          // inv
    exprStatement,          // eig
    exprStatement,          // eigvec
    exprStatement,          // null
    exprStatement,          // chol
    exprStatement,          // det
    forStatement,           // for
    ifStatement,            // if
    elseOutsideIf,          // else
    breakOutsideLoop,       // break
    whileStatement,         // while
    exprStatement,          // find
    notAStatement,          // eol
    notAStatement,          // end
    invalidTokenStatement,  // unknown
};
// clang-format on
static_assert(std::size(StatementDispatchTable) == kTokenKindCount, "one handler for every token kind");

int runSession() {
  variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  seedReservedParameters();
  parameterTable.Insert(kAnsName, Value());
  const int status = runStatements();
  releaseRunResources();
  return status;
}

int runScript(std::istream& script, const std::string& name) {
  inputFileName = name;
  inputStream = &script;
  modeFlags = kModeScript;
  std::cout << "Input file: \"" << name << "\"\n\n";
  const int status = runSession();
  inputStream = &std::cin;
  std::cout << "\nFile \"" << name << "\"" << (status != 0 ? " presents errors." : " succesfully processed.") << '\n';
  return status;
}

int runStatements() {
  int result = 0;
  bool running = true;
  while (running) {
    if (tokenQueue.NothingPending()) {
      newStatement = 1;
      if (!readLine()) {
        // A stream that failed before its end has been reported by readLine;
        // the run counts as failed.
        if (inputFailed()) result = 1;
        break;
      }
    }
    statementText = "";
    running = runLineStatements(result);
  }
  return result;
}

// Before and after every statement, wherever it runs (a line, a loop's body,
// an exec file), is a safe point: a statement interrupted while it ran
// counts as failed, its effects kept.
int dispatchStatement() {
  if (stopIfInterrupted()) return 1;
  const int status = StatementDispatchTable[peekKind(0)]();
  return status != 0 ? status : stopIfInterrupted();
}

int exprStatement() {
  Value result;
  resultName = kAnsName;
  if (evalExpression(result)) return 1;
  if (resultName == kAnsName) parameterTable.Lookup(kAnsName) = result;
  if (peekNonSpace() != kSemicolon && showResults) {
    newlineUnlessCompact();
    std::cout << resultName << " = ";
    newlineUnlessCompact();
    printValueFormatted(result);
    newlineUnlessCompact();
  }
  return 0;
}

int notAStatement() {
  std::string name;
  reportError("'" + takeTokenName(name) + "' is not a statement.");
  return 1;
}

int invalidTokenStatement() {
  std::string text;
  expectTokenText(kUnknown, text);
  reportError("'" + text + "' is not a valid token.");
  return 1;
}
