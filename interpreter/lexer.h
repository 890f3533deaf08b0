// The lexer: scans the current input line into tokens on demand and hands
// them out through the queue operations that every parser uses. Names are
// classified late: the queue keeps the kind "name" and each operation that
// hands a token out reports it as a variable or a parameter as the workspace
// tables stand at that moment.
#ifndef VARNEL_LEXER_H
#define VARNEL_LEXER_H

#include <string>

#include "token.h"

struct Keyword {
  const char* word;
  int kind;
};

constexpr int kKeywordCount = 55;
extern const Keyword KeywordTable[kKeywordCount];

// Reads the next token from lineInput, echoing the characters it takes into
// statementText and counting them in columnNumber. Never fails.
Token scanToken();

// The kind of the n-th pending token (0 the front), scanning as needed.
int peekKind(int n);
// A copy of the n-th pending token with its kind classified.
Token peekToken(int n);
// The kind of the first pending token that is not a blank.
int peekNonSpace();
// Takes the blanks at the front; while recording, writes one blank instead.
void skipSpaces();

// Take the front token (recording it while recordingText is set) and
// require its kind: on a mismatch "Expected <kind name>." is reported and 1
// returned, the token taken all the same.
int expectToken(int kind);
// As expectToken; text receives the token's text whatever its kind.
int expectTokenText(int kind, std::string& text);
// Takes the front token and sets name to the name of its kind.
std::string& takeTokenName(std::string& name);

// Writes a taken token to textRecorder: its text, or for a parameter on the
// inline list its current number (a negative one in parentheses). A name
// that is no plain identifier (a keyword, a quoted text) is written between
// double quotes, so that the text reads back as the same tokens.
void recordToken(const Token& token);

// kVariable, kParameter or kName as name stands in the workspace tables.
int classifyName(const std::string& name);
// Sets token's kind to word's keyword kind and returns 1; 0 when word is
// not a keyword.
int lookupKeyword(const std::string& word, Token& token);
// 1 and the 0-based position when name is on the inline list, else 0.
int findInlineName(const std::string& name, int& position);

TokenQueue& saveTokenQueue(TokenQueue& saved);
TokenQueue& restoreTokenQueue(TokenQueue& saved);
void discardTokenQueue();

#endif
