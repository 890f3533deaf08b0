// Tokens of the script language and the queue of pending tokens.
#ifndef VARNEL_TOKEN_H
#define VARNEL_TOKEN_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "list.h"

// The 82 kinds of token; they index the handler tables of the statement loop
// and of both expression evaluators.
enum TokenKind {
  kNothing, kVariable, kParameter, kName, kLmi, kLme, kObj, kVar, kEval, kWho,
  kWhos, kBuild, kSolve, kFeas, kMask, kClear, kFormat, kCompact, kVerbose, kImport,
  kExport, kInline, kOn, kOff, kPause, kExec, kEcho, kHelp, kHome, kCd,
  kPwd, kDir, kCputime, kSpace, kLiteral, kType, kNot, kEqual, kNotEqual, kAnd,
  kOr, kLess, kLessEqual, kGreater, kGreaterEqual, kAssign, kPlus, kMinus, kTimes, kBackslash,
  kSlash, kPower, kSqrt, kLeftParen, kRightParen, kLeftBracket, kRightBracket, kComma, kSemicolon, kColon,
  kQuote, kEye, kOnes, kZeros, kTrace, kBlock, kSize, kInv, kEig, kEigvec,
  kNull, kChol, kDet, kFor, kIf, kElse, kBreak, kWhile, kFind, kEol,
  kEnd, kUnknown,
  kTokenKindCount
};

extern const char* const TokenNames[kTokenKindCount];

// 1 for the kinds that end a statement: ",", ";" and the end of the line.
int isStatementSeparator(int kind);

class Value;
class VarRecord;

struct Token {
  int kind = kNothing;
  std::string text;
  // What the lexer has worked out about the text, kept with every copy of
  // the token (a loop's saved body keeps it from pass to pass). A name's
  // kind as the workspace tables stood at namesStamp (0: not yet known;
  // see classifiedKind), with the parameter's stored value or the
  // variable's record it then named; a literal's number when numberKnown is
  // set.
  int nameKind = kName;
  std::uint64_t namesStamp = 0;
  Value* parameter = nullptr;
  VarRecord* variable = nullptr;
  double number = 0.0;
  bool numberKnown = false;
};

// A stretch of tokens that several holders share without copying them: a
// loop's body, saved once, and every part of it that a loop nested in it
// replays. The tokens are [next, end) of the shared array.
struct TokenRun {
  std::shared_ptr<std::vector<Token>> tokens;
  int next = 0;
  int end = 0;

  int Size() const { return end - next; }
  Token& At(int i) const { return (*tokens)[i]; }
};

// The pending tokens: the list of those scanned or copied so far, then its
// rest, tokens of a loop's body that are copied into the list only as the
// lexer reaches them. Copying a queue copies its list and shares its rest.
// Positions count the list's tokens first and the rest's after them.
class TokenQueue : public List<Token> {
 public:
  TokenRun rest;

  // Nothing is pending: the next token must be scanned from the input.
  bool NothingPending() const { return Size() == 0 && rest.Size() == 0; }
  // Empties the list and the rest.
  void Clear();
  // Moves the first count pending tokens into first (emptied before; list
  // nodes are relinked and a stretch of the rest shared), so that this
  // queue keeps what followed them. count is at most the list's size and
  // the rest's together.
  void SplitPending(int count, TokenQueue& first);
  // Drops the pending tokens at positions from..count-1; from is 0 or a
  // position in the list.
  void DropPending(int from, int count);
  // Appends copies of the rest's tokens to the list and empties the rest.
  void MaterializeRest();
};

#endif
