#include "lexer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <utility>

#include "line_input.h"
#include "report.h"
#include "workspace.h"

const Keyword KeywordTable[kKeywordCount] = {
    {"scl", kType},       {"gen", kType},       {"sym", kType},       {"diag", kType},
    {"lmi", kLmi},        {"lme", kLme},        {"block", kBlock},    {"obj", kObj},
    {"var", kVar},        {"eval", kEval},      {"who", kWho},        {"whos", kWhos},
    {"build", kBuild},    {"solve", kSolve},    {"feas", kFeas},      {"mask", kMask},
    {"size", kSize},      {"import", kImport},  {"export", kExport},  {"clear", kClear},
    {"format", kFormat},  {"compact", kCompact}, {"verbose", kVerbose}, {"inline", kInline},
    {"on", kOn},          {"off", kOff},        {"pause", kPause},    {"exec", kExec},
    {"echo", kEcho},      {"help", kHelp},      {"home", kHome},      {"cd", kCd},
    {"pwd", kPwd},        {"ls", kDir},         {"dir", kDir},        {"cputime", kCputime},
    {"eye", kEye},        {"ones", kOnes},      {"zeros", kZeros},    {"sqrt", kSqrt},
    {"trace", kTrace},    {"inv", kInv},        {"eig", kEig},        {"eigvec", kEigvec},
    {"null", kNull},      {"chol", kChol},      {"det", kDet},        {"for", kFor},
    {"if", kIf},          {"else", kElse},      {"break", kBreak},    {"while", kWhile},
    {"find", kFind},      {"end", kEnd},        {"quit", kEnd}};

namespace {

using Traits = std::char_traits<char>;
const int kNoChar = Traits::eof();

// The buffer of lineInput, fetched again whenever the line may have changed
// (a new scan, or readLine from inside the scanner).
std::streambuf* source = nullptr;

void attachSource() { source = lineInput != nullptr ? lineInput->rdbuf() : nullptr; }

// The next character (0..255) without taking it, or kNoChar.
int nextChar() { return source != nullptr ? source->sgetc() : kNoChar; }

// Takes the next character, echoing and counting it.
int takeChar() {
  const int c = source->sbumpc();
  statementText += static_cast<char>(c);
  ++columnNumber;
  return c;
}

// Takes the line end that ends a comment: echoed as one blank.
void takeCommentLineEnd() {
  source->sbumpc();
  statementText += ' ';
  ++columnNumber;
}

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool isLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
// A NUL is no line end: it is a character the scanner refuses, like "$".
bool isLineEnd(int c) { return c == '\n' || c == kNoChar; }

void setToken(Token& token, int kind, const char* text) {
  token.kind = kind;
  token.text.assign(text);
}

void setEndOfInput(Token& token) { setToken(token, kEnd, "end;"); }

void takeDigits(std::string& text) {
  while (isDigit(nextChar())) text += static_cast<char>(takeChar());
}

// An optional exponent: "e" or "E", an optional "-" and digits. A "+" is
// not part of a number.
void takeExponent(std::string& text) {
  const int e = nextChar();
  if (e != 'e' && e != 'E') return;
  text += static_cast<char>(takeChar());
  if (nextChar() == '-') text += static_cast<char>(takeChar());
  takeDigits(text);
}

// A number whose first digit c has been taken.
void scanNumber(Token& token, int c) {
  token.kind = kLiteral;
  token.text.assign(1, static_cast<char>(c));
  takeDigits(token.text);
  if (nextChar() == '.') {
    token.text += static_cast<char>(takeChar());
    takeDigits(token.text);
  }
  takeExponent(token.text);
}

// An identifier or keyword whose first letter c has been taken.
void scanWord(Token& token, int c) {
  token.text.assign(1, static_cast<char>(c));
  for (int d = nextChar(); isLetter(d) || isDigit(d) || d == '_'; d = nextChar()) {
    token.text += static_cast<char>(takeChar());
  }
  if (!lookupKeyword(token.text, token)) token.kind = kName;
}

// A text between double quotes, read as a name; the opening quote is taken.
// A NUL inside it is refused where it stands: a name is handed to the C
// library (file names), which would read it only up to the NUL.
void scanQuoted(Token& token) {
  token.text.clear();
  for (;;) {
    const int d = nextChar();
    if (isLineEnd(d)) {
      reportWarning("End of line found inside a string.");
      setToken(token, kEol, ";");
      return;
    }
    takeChar();
    if (d == '\0') {
      token.kind = kUnknown;
      token.text.assign(1, '\0');
      return;
    }
    if (d == '"') break;
    token.text += static_cast<char>(d);
  }
  token.kind = kName;
}

// "%" or "//" up to the end of the line: a blank to every parser.
void scanLineComment(Token& token) {
  for (int d = nextChar(); d != '\n' && d != kNoChar; d = nextChar()) takeChar();
  if (nextChar() == '\n') takeCommentLineEnd();
  setToken(token, kSpace, "");
}

// "/*" up to "*/", reading further lines as needed.
void scanBlockComment(Token& token) {
  int previous = 0;
  for (;;) {
    const int d = nextChar();
    if (d == '\n' || d == kNoChar) {
      if (d == '\n') takeCommentLineEnd();
      if (!readLine()) {
        reportWarning("End of file found inside a comment.");
        setEndOfInput(token);
        return;
      }
      attachSource();
      previous = 0;
      continue;
    }
    takeChar();
    if (previous == '*' && d == '/') break;
    previous = d;
  }
  setToken(token, kSpace, "");
}

// "=", "~", "<" or ">", possibly followed by "=".
void scanRelation(Token& token, int c) {
  const bool withEqual = nextChar() == '=';
  if (withEqual) takeChar();
  switch (c) {
    case '=': setToken(token, withEqual ? kEqual : kAssign, withEqual ? "==" : "="); break;
    case '~': setToken(token, withEqual ? kNotEqual : kNot, withEqual ? "~=" : "~"); break;
    case '<': setToken(token, withEqual ? kLessEqual : kLess, withEqual ? "<=" : "<"); break;
    default: setToken(token, withEqual ? kGreaterEqual : kGreater, withEqual ? ">=" : ">"); break;
  }
}

// The kind of a character that is a token by itself, or kUnknown.
int singleCharKind(int c) {
  switch (c) {
    case '&': return kAnd;
    case '\'': return kQuote;
    case '(': return kLeftParen;
    case ')': return kRightParen;
    case '*': return kTimes;
    case '+': return kPlus;
    case ',': return kComma;
    case '-': return kMinus;
    case ':': return kColon;
    case ';': return kSemicolon;
    case '[': return kLeftBracket;
    case '\\': return kBackslash;
    case ']': return kRightBracket;
    case '^': return kPower;
    case '|': return kOr;
    default: return kUnknown;
  }
}

enum DotResult { kDotToken, kDotContinued };

// Everything that begins with "." (taken): "..", a continuation mark "...",
// a number such as .5, or an unknown token.
DotResult scanDot(Token& token) {
  const int d = nextChar();
  if (d == '.') {
    takeChar();
    if (nextChar() != '.') {
      setToken(token, kName, "..");
      return kDotToken;
    }
    takeChar();
    if (!readLine()) {
      setEndOfInput(token);
      return kDotToken;
    }
    return kDotContinued;
  }
  if (isDigit(d)) {
    token.kind = kLiteral;
    token.text.assign(1, '.');
    takeDigits(token.text);
    takeExponent(token.text);
    return kDotToken;
  }
  if (isLineEnd(d)) {
    // A "." at the end of the line leaves the line end to end the line.
    setToken(token, kUnknown, ".");
    return kDotToken;
  }
  takeChar();
  token.kind = kUnknown;
  token.text.assign(1, static_cast<char>(d));
  return kDotToken;
}

// Scans the next token into token.
void scanInto(Token& token) {
  for (;;) {
    attachSource();
    const int c = nextChar();
    if (isLineEnd(c)) {
      if (c != kNoChar) source->sbumpc();
      setToken(token, kEol, ";");
      return;
    }
    takeChar();
    if (isBlank(c)) return setToken(token, kSpace, "");
    if (isLetter(c)) return scanWord(token, c);
    if (isDigit(c)) return scanNumber(token, c);
    switch (c) {
      case '"': return scanQuoted(token);
      case '.':
        if (scanDot(token) == kDotContinued) continue;
        return;
      case '%': return scanLineComment(token);
      case '/': {
        const int d = nextChar();
        if (d == '/' || d == '*') {
          takeChar();
          return d == '/' ? scanLineComment(token) : scanBlockComment(token);
        }
        return setToken(token, kSlash, "/");
      }
      case '=':
      case '~':
      case '<':
      case '>': return scanRelation(token, c);
      default:
        token.kind = singleCharKind(c);
        token.text.assign(1, static_cast<char>(c));
        return;
    }
  }
}

// Scans the next token into token, with a literal's number worked out once
// for every copy of the token.
void scanAndNote(Token& token) {
  scanInto(token);
  if (token.kind == kLiteral) {
    token.number = parseNumber(token.text);
    token.numberKnown = true;
  }
}

// Puts the next token onto the end of the queue's list and returns its
// node: a copy of the first token of the queue's rest, or else a token
// scanned from the input. A name of the rest is classified there first, so
// that the classification carries over to every later copy for as long as
// the workspace keeps its names.
ListNode<Token>* appendScanned() {
  TokenRun& rest = tokenQueue.rest;
  if (rest.Size() > 0) {
    Token& shared = rest.At(rest.next++);
    classifiedKind(shared);
    return tokenQueue.Append(shared);
  }
  ListNode<Token>* node = tokenQueue.AppendDefault();
  scanAndNote(node->value);
  return node;
}

// Scans tokens onto the queue until the n-th is pending; returns it.
Token& scanUpTo(int n) {
  ListNode<Token>* node = nullptr;
  while (tokenQueue.Size() <= n) node = appendScanned();
  return node->value;
}

// The n-th pending token, scanning the missing ones.
Token& pending(int n) {
  ListNode<Token>* node = tokenQueue.NodeAt(n);
  return node != nullptr ? node->value : scanUpTo(n);
}

// The front token, scanned when nothing is pending.
Token& front() {
  ListNode<Token>* node = tokenQueue.Front();
  return node != nullptr ? node->value : appendScanned()->value;
}

// Writes a non-integral inline number so that the scanner reads it back as
// one number: the exponent loses its "+" ("1.25e+01" would scan as 1.25e,
// "+", 01). Values without a literal are written as the division that gives
// them. A negative number stands in parentheses, so that it reads back as
// one operand behind a prefix sign, an operator or a literal's blank.
void writeInlineNumber(std::ostream& out, double x) {
  if (std::isnan(x)) {
    out << "(0/0)";
    return;
  }
  if (std::isinf(x)) {
    out << (x > 0 ? "(1/0)" : "(-1/0)");
    return;
  }
  if (x < 0) out << '(';
  const int integral = x >= -2147483648.0 && x <= 2147483647.0 && static_cast<int>(x) == x;
  if (integral) {
    out << static_cast<int>(x);
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%.12e", x);
    for (const char* p = text; *p != '\0'; ++p) {
      if (*p != '+') out << *p;
    }
  }
  if (x < 0) out << ')';
}

// 1 when the scanner reads text back as the same name: an identifier that is
// not a keyword. A quoted name (blanks, signs, a keyword) is not one.
int readsBackAsName(const std::string& text) {
  if (text.empty() || !isLetter(text[0])) return 0;
  for (const char c : text) {
    if (!isLetter(c) && !isDigit(c) && c != '_') return 0;
  }
  Token probe;
  return !lookupKeyword(text, probe);
}

void recordText(int kind, const std::string& text) {
  if (textRecorder == nullptr) return;
  const int isName = kind == kVariable || kind == kParameter || kind == kName;
  if (isName && !readsBackAsName(text)) {
    *textRecorder << '"' << text << '"';
    return;
  }
  int position;
  if (kind == kParameter && findInlineName(text, position)) {
    // A name that went back on the table as a matrix has no number to write.
    const Value& value = parameterTable.Lookup(text);
    if (value.IsScalar()) {
      writeInlineNumber(*textRecorder, *value.Scalar());
      return;
    }
  }
  *textRecorder << text;
}

// What a taken token leaves behind besides its kind, for the parts given.
struct TakenParts {
  std::string* text = nullptr;
  double* number = nullptr;  // a literal's number
  Value** parameter = nullptr;  // a parameter's stored value, else null
  VarRecord** variable = nullptr;  // a variable's record, else null
};

// Takes the front token, classified and recorded, and returns its kind.
// Inline: each caller wants other parts.
[[gnu::always_inline]] inline int takeFront(const TakenParts& parts = TakenParts()) {
  Token& token = front();
  const int kind = classifiedKind(token);
  if (recordingText) recordText(kind, token.text);
  if (parts.number != nullptr) *parts.number = token.numberKnown ? token.number : parseNumber(token.text);
  if (parts.parameter != nullptr) *parts.parameter = kind == kParameter ? token.parameter : nullptr;
  if (parts.variable != nullptr) *parts.variable = kind == kVariable ? token.variable : nullptr;
  if (parts.text != nullptr) *parts.text = std::move(token.text);
  tokenQueue.Remove(0);
  return kind;
}

// classifyName, with where the name's value or record is stored.
int lookUpName(const std::string& name, Value*& parameter, VarRecord*& variable) {
  variable = variableTable.Get(name);
  parameter = variable == nullptr ? parameterTable.Get(name) : nullptr;
  if (variable != nullptr) return kVariable;
  return parameter != nullptr ? kParameter : kName;
}

int requireKind(int found, int kind) {
  if (found == kind) return 0;
  reportError(std::string("Expected ") + TokenNames[kind] + ".");
  return 1;
}

}  // namespace

Token scanToken() {
  Token token;
  scanAndNote(token);
  return token;
}

int scanAndPeekKind(int n) { return classifiedKind(scanUpTo(n)); }

Token peekToken(int n) {
  Token& queued = pending(n);
  const int kind = classifiedKind(queued);
  Token token = queued;
  token.kind = kind;
  return token;
}

int scanAndPeekNonSpace() {
  for (;;) {
    ListNode<Token>* node = appendScanned();
    if (node->value.kind != kSpace) return classifiedKind(node->value);
  }
}

void takeSpaces() {
  if (recordingText && textRecorder != nullptr) *textRecorder << ' ';
  while (front().kind == kSpace) tokenQueue.Remove(0);
}

int expectToken(int kind) { return requireKind(takeFront(), kind); }

int expectTokenText(int kind, std::string& text) {
  TakenParts parts;
  parts.text = &text;
  return requireKind(takeFront(parts), kind);
}

int expectNumber(double& number) {
  TakenParts parts;
  parts.number = &number;
  return requireKind(takeFront(parts), kLiteral);
}

int expectParameter(std::string& name, Value*& stored) {
  TakenParts parts;
  parts.text = &name;
  parts.parameter = &stored;
  return requireKind(takeFront(parts), kParameter);
}

int expectVariable(std::string& name, VarRecord*& record) {
  TakenParts parts;
  parts.text = &name;
  parts.variable = &record;
  return requireKind(takeFront(parts), kVariable);
}

std::string& takeTokenName(std::string& name) {
  name = TokenNames[takeFront()];
  return name;
}

void recordToken(const Token& token) { recordText(token.kind, token.text); }

int reclassifyName(Token& token) {
  token.nameKind = lookUpName(token.text, token.parameter, token.variable);
  token.namesStamp = namesStamp();
  return token.nameKind;
}

int classifyName(const std::string& name) {
  Value* parameter;
  VarRecord* variable;
  return lookUpName(name, parameter, variable);
}

int lookupKeyword(const std::string& word, Token& token) {
  for (const Keyword& keyword : KeywordTable) {
    if (keyword.word[0] == word[0] && word == keyword.word) {
      token.kind = keyword.kind;
      return 1;
    }
  }
  return 0;
}

int findInlineName(const std::string& name, int& position) {
  int i = 0;
  for (ListNode<std::string>* node = inlineNames.NodeAt(0); node != nullptr; node = node->next, ++i) {
    if (node->value == name) {
      position = i;
      return 1;
    }
  }
  return 0;
}

TokenQueue& saveTokenQueue(TokenQueue& saved) {
  saved = tokenQueue;
  return saved;
}

TokenQueue& restoreTokenQueue(TokenQueue& saved) {
  tokenQueue = saved;
  return saved;
}

void discardTokenQueue() { tokenQueue.Clear(); }

double parseNumber(const std::string& text) { return std::atof(text.c_str()); }
