// The lexer: scans the current input line into tokens on demand and hands
// them out through the queue operations that every parser uses. Names are
// classified late: the queue keeps the kind "name" and each operation that
// hands a token out reports it as a variable or a parameter as the workspace
// tables stand at that moment.
#ifndef VARNEL_LEXER_H
#define VARNEL_LEXER_H

#include <cstdint>
#include <string>

#include "token.h"
#include "workspace.h"

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
inline int peekKind(int n);
// A copy of the n-th pending token with its kind classified.
Token peekToken(int n);
// The kind of the first pending token that is not a blank.
inline int peekNonSpace();
// Takes the blanks at the front; while recording, writes one blank instead.
inline void skipSpaces();

// Take the front token (recording it while recordingText is set) and
// require its kind: on a mismatch "Expected <kind name>." is reported and 1
// returned, the token taken all the same.
int expectToken(int kind);
// As expectToken; text receives the token's text whatever its kind.
int expectTokenText(int kind, std::string& text);
// As expectToken(kLiteral); number receives the number the literal's text
// stands for (parseNumber).
int expectNumber(double& number);
// The number a literal's text stands for (the lexer decides which texts are
// literals).
double parseNumber(const std::string& text);
// As expectTokenText(kParameter, name); stored receives the parameter's
// stored value (null when the token is no parameter).
int expectParameter(std::string& name, Value*& stored);
// As expectTokenText(kVariable, name); record receives the variable's
// record (null when the token is no variable).
int expectVariable(std::string& name, VarRecord*& record);
// Takes the front token and sets name to the name of its kind.
std::string& takeTokenName(std::string& name);

// Writes a taken token to textRecorder: its text, or for a parameter on the
// inline list its current number (a negative one in parentheses). A name
// that is no plain identifier (a keyword, a quoted text) is written between
// double quotes, so that the text reads back as the same tokens.
void recordToken(const Token& token);

// kVariable, kParameter or kName as name stands in the workspace tables.
int classifyName(const std::string& name);
// The kind a token is handed out with: a name's classifyName of its text,
// any other token's own kind. The classification is remembered in the token
// and worked out again only once either workspace table has gained or lost
// a key since, so it is always the tables' current answer.
inline int classifiedKind(Token& token);
// Sets token's kind to word's keyword kind and returns 1; 0 when word is
// not a keyword.
int lookupKeyword(const std::string& word, Token& token);
// 1 and the 0-based position when name is on the inline list, else 0.
int findInlineName(const std::string& name, int& position);

TokenQueue& saveTokenQueue(TokenQueue& saved);
TokenQueue& restoreTokenQueue(TokenQueue& saved);
void discardTokenQueue();

// ---- The common cases, inline ----------------------------------------------
// The parsers look at the pending tokens several times for every token they
// take, so a look at a token that is already pending, and already classified
// or no name, costs no call. Everything else is done by the lexer proper.

// Out of line: the classification of a name when either table has changed
// since the token's last one; the kind of the n-th pending token, and of
// the first non-blank one, once they have been scanned; taking the blanks.
int reclassifyName(Token& token);
int scanAndPeekKind(int n);
int scanAndPeekNonSpace();
void takeSpaces();

// The stamp of the workspace's names: the tables' generations only grow, so
// their sum moves with every change of either key set. 0 is never a stamp.
inline std::uint64_t namesStamp() { return 1 + variableTable.Generation() + parameterTable.Generation(); }

inline int classifiedKind(Token& token) {
  if (token.kind != kName) return token.kind;
  return token.namesStamp == namesStamp() ? token.nameKind : reclassifyName(token);
}

inline int peekKind(int n) {
  ListNode<Token>* node = n == 0 ? tokenQueue.Front() : tokenQueue.NodeAt(n);
  return node != nullptr ? classifiedKind(node->value) : scanAndPeekKind(n);
}

inline int peekNonSpace() {
  for (ListNode<Token>* node = tokenQueue.Front(); node != nullptr; node = node->next) {
    if (node->value.kind != kSpace) return classifiedKind(node->value);
  }
  return scanAndPeekNonSpace();
}

inline void skipSpaces() {
  // Nothing to take and nothing to record: the front token is no blank.
  ListNode<Token>* front = tokenQueue.Front();
  if (front != nullptr && front->value.kind != kSpace && !recordingText) return;
  takeSpaces();
}

#endif
