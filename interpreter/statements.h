// The statement loop: reads input lines, hands every statement to the
// handler that its first token selects, requires a separator after it and
// applies the stop-on-error rule of the current mode.
#ifndef VARNEL_STATEMENTS_H
#define VARNEL_STATEMENTS_H

#include <iosfwd>
#include <string>

#include "token.h"

// A statement handler is called with the statement's first token still
// pending and takes its tokens itself; it leaves the separator that ends the
// statement pending. 0 after success, 1 after it has reported an error.
using StatementHandler = int (*)();

// The error for a token that stands where a statement must end.
extern const char kExpectedSeparatorMessage[];

// Whether a failing statement ends the run: in a script and inside exec the
// first failure does; at the prompt only the rest of the line is dropped.
bool failureEndsRun();

// The handler of each token kind when that token begins a statement: one
// entry for each of the kTokenKindCount kinds (a missing one fails to
// compile).
extern const StatementHandler StatementDispatchTable[];

// One interpreter run: seeds the workspace, runs the statement loop over the
// current input and frees what the run left. Returns the status of the last
// statement run.
int runSession();

// Runs script (named name, as typed) as the program runs the script named on
// its command line: "Input file: " and the name, the interpreter run in
// script mode, and the end message that tells whether it failed. The
// workspace is expected fresh. Returns the run's status.
int runScript(std::istream& script, const std::string& name);

// Runs statements until end or quit, the end of the input, or (in a script
// or inside exec) the first failing statement. Returns the status of the
// last statement dispatched, 0 when none was; 1 when the input stream failed.
int runStatements();

// Runs the one statement at the front of the token queue.
int dispatchStatement();

// A statement that begins with a value: evaluates it, keeps an unnamed
// result in ans and shows it unless ';' follows.
int exprStatement();

// Reports "'<kind name>' is not a statement." for a token that cannot begin
// a statement.
int notAStatement();
// Reports "'<text>' is not a valid token." for a character that begins no
// token.
int invalidTokenStatement();

#endif
