// Tokens of the script language and the queue of pending tokens.
#ifndef VARNEL_TOKEN_H
#define VARNEL_TOKEN_H

#include <string>

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

struct Token {
  int kind = kNothing;
  std::string text;
};

using TokenQueue = List<Token>;

#endif
