// Tokens of the script language and the queue of pending tokens.
#ifndef VARNEL_TOKEN_H
#define VARNEL_TOKEN_H

#include <cstdint>
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

using TokenQueue = List<Token>;

#endif
