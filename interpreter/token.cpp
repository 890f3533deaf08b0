#include "token.h"

const char* const TokenNames[kTokenKindCount] = {
    "nothing", "variable", "parameter", "name", "lmi", "lme", "obj", "var", "eval", "who",
    "whos", "build", "solve", "feas", "mask", "clear", "format", "compact", "verbose", "import",
    "export", "inline", "on", "off", "pause", "exec", "echo", "help", "home", "cd",
    "pwd", "dir", "cputime", "space", "literal", "type", "~", "==", "~=", "&",
    "|", "<", "<=", ">", ">=", "=", "+", "-", "*", "\\",
    "/", "^", "sqrt", "(", ")", "[", "]", ",", ";", ":",
    "'", "eye", "ones", "zeros", "trace", "block", "size", "inv", "eig", "eigvec",
    "null", "chol", "det", "for", "if", "else", "break", "while", "find", "eol",
    "end", "unknown"};

int isStatementSeparator(int kind) { return kind == kComma || kind == kSemicolon || kind == kEol; }

void TokenQueue::Clear() {
  List<Token>::Clear();
  rest = TokenRun();
}

void TokenQueue::SplitPending(int count, TokenQueue& first) {
  first.Clear();
  const int listed = count < Size() ? count : Size();
  if (listed == Size()) {
    SplitAt(first, 0);
  } else {
    List<Token> after;
    SplitAt(after, listed);
    SplitAt(first, 0);
    after.SplitAt(*this, 0);
  }
  const int fromRest = count - listed;
  if (fromRest > 0) {
    first.rest = rest;
    first.rest.end = rest.next + fromRest;
    rest.next += fromRest;
  }
}

void TokenQueue::DropPending(int from, int count) {
  const int listed = count < Size() ? count : Size();
  for (int k = from; k < listed; ++k) Remove(from);
  rest.next += count - (listed > from ? listed : from);
}

void TokenQueue::MaterializeRest() {
  for (int i = rest.next; i < rest.end; ++i) Append(rest.At(i));
  rest = TokenRun();
}
