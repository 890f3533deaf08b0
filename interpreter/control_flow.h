// Control flow: the statements for, while and if (with else), each closed by
// `end`, and break, which leaves the innermost for or while.
//
// A loop first makes sure that every token of its body is pending in the
// token queue, reading further input lines as needed, sets those tokens
// aside and replays a copy of them on every pass: a body is read and scanned
// once, however many passes run. An if reads and runs its branch as it goes.
// The statements of a body run through dispatchStatement exactly as the
// statement loop runs them; a break found in a branch of an if is left in
// front of the queue for the enclosing loop to see.
//
// A loop leaves the queue going on after its end whether its passes ran or
// one failed. At the prompt a construct that fails before its end has been
// read reads on to that end and drops what it read, so that none of its
// lines runs as a statement of its own.
#ifndef VARNEL_CONTROL_FLOW_H
#define VARNEL_CONTROL_FLOW_H

#include "value.h"

// The statement handlers of the keywords for, while and if; each is called
// with its keyword pending and returns 0, or 1 after an error report.
int forStatement();
int whileStatement();
int ifStatement();

// An else or a break where a statement begins, outside the constructs that
// take them: reported, 1.
int elseOutsideIf();
int breakOutsideLoop();

// for, while, if and exec run further statements through the recursion of
// the statement handlers. Each of them holds a NestingLevel while it runs;
// past kMaxNestingDepth levels a further one is refused, before the stack
// outgrows the process. A construct whose text nests deeper than that is
// refused as soon as the scan of an enclosing construct meets it.
constexpr int kMaxNestingDepth = 1000;

class NestingLevel {
 public:
  NestingLevel() { ++depth; }
  ~NestingLevel() { --depth; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

  // The levels running now.
  static int Depth() { return depth; }
  // Whether one more level would pass the limit.
  static bool Full() { return depth >= kMaxNestingDepth; }
  // As Full, after reporting "Too many nested statements." when it is.
  static bool Refuses();

 private:
  static int depth;
};

// The truth of a condition: a scalar that is not 0 (NaN included), a matrix
// with an element that is not 0; the empty value is false.
bool conditionHolds(const Value& condition);

#endif
