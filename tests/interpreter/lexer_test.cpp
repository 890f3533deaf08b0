#include "lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script_fixture.h"
#include "workspace.h"

namespace {

struct Expected {
  int kind;
  std::string text;
};

bool operator==(const Expected& a, const Expected& b) { return a.kind == b.kind && a.text == b.text; }

std::ostream& operator<<(std::ostream& out, const Expected& t) {
  return out << TokenNames[t.kind] << " \"" << t.text << "\"";
}

// Feeds script lines to the scanner through readLine with every global the
// lexer touches in a clean state; the standard output is captured.
class LexerTest : public ScriptFixture {
 protected:
  // Scans tokens up to and including the first end of line or end token.
  static std::vector<Expected> scanLine() {
    std::vector<Expected> tokens;
    for (int guard = 0; guard < 100; ++guard) {
      const Token token = scanToken();
      tokens.push_back({token.kind, token.text});
      if (token.kind == kEol || token.kind == kEnd) break;
    }
    return tokens;
  }

  // Takes tokens from the queue with expectTokenText up to the first end of
  // line, so that names come out classified.
  static std::vector<Expected> takeLine() {
    std::vector<Expected> tokens;
    for (int guard = 0; guard < 100; ++guard) {
      const int kind = peekKind(0);
      std::string text;
      expectTokenText(kind, text);
      tokens.push_back({kind, text});
      if (kind == kEol || kind == kEnd) break;
    }
    return tokens;
  }
};

const Expected kEolToken{kEol, ";"};
const Expected kBlank{kSpace, ""};
const Expected kNul{kUnknown, std::string(1, '\0')};

struct ScanCase {
  std::string line;
  std::vector<Expected> tokens;  // the end of line is implied
};

TEST_F(LexerTest, ScansEachLineIntoTheTokensOfTheRules) {
  // clang-format off
  const std::vector<ScanCase> cases = {
      {"", {}},
      {"   ", {kBlank, kBlank, kBlank}},
      {"\t\r\v\f", {kBlank, kBlank, kBlank, kBlank}},
      {"x1_a", {{kName, "x1_a"}}},
      {"_x", {{kUnknown, "_"}, {kName, "x"}}},
      {"2x", {{kLiteral, "2"}, {kName, "x"}}},
      {"Solve", {{kName, "Solve"}}},
      {"nothing variable eol", {{kName, "nothing"}, kBlank, {kName, "variable"}, kBlank, {kName, "eol"}}},
      {"3.5e-2", {{kLiteral, "3.5e-2"}}},
      {"3.", {{kLiteral, "3."}}},
      {".5", {{kLiteral, ".5"}}},
      {".25e-3", {{kLiteral, ".25e-3"}}},
      {"1E7", {{kLiteral, "1E7"}}},
      {"1e+5", {{kLiteral, "1e"}, {kPlus, "+"}, {kLiteral, "5"}}},
      {"1.2.3", {{kLiteral, "1.2"}, {kLiteral, ".3"}}},
      {"12e-", {{kLiteral, "12e-"}}},
      {"\"a b\"", {{kName, "a b"}}},
      {"\"\"x", {{kName, ""}, {kName, "x"}}},
      {"\"../dir/f.lmi\"", {{kName, "../dir/f.lmi"}}},
      {"a==b", {{kName, "a"}, {kEqual, "=="}, {kName, "b"}}},
      {"a= =b", {{kName, "a"}, {kAssign, "="}, kBlank, {kAssign, "="}, {kName, "b"}}},
      {"~ =", {{kNot, "~"}, kBlank, {kAssign, "="}}},
      {"~=<=>=<>", {{kNotEqual, "~="}, {kLessEqual, "<="}, {kGreaterEqual, ">="}, {kLess, "<"}, {kGreater, ">"}}},
      {"&'()*+,-:;[\\]^|",
       {{kAnd, "&"}, {kQuote, "'"}, {kLeftParen, "("}, {kRightParen, ")"}, {kTimes, "*"},
        {kPlus, "+"}, {kComma, ","}, {kMinus, "-"}, {kColon, ":"}, {kSemicolon, ";"},
        {kLeftBracket, "["}, {kBackslash, "\\"}, {kRightBracket, "]"}, {kPower, "^"}, {kOr, "|"}}},
      {"a/b", {{kName, "a"}, {kSlash, "/"}, {kName, "b"}}},
      {"cd ..", {{kCd, "cd"}, kBlank, {kName, ".."}}},
      {"a.b", {{kName, "a"}, {kUnknown, "b"}}},
      {"x.", {{kName, "x"}, {kUnknown, "."}}},
      {"% only a comment", {kBlank}},
      {"x // rest", {{kName, "x"}, kBlank, kBlank}},
      {"/* c */x", {kBlank, {kName, "x"}}},
      {"/* text **/y", {kBlank, {kName, "y"}}},
      {"/*/ still */z", {kBlank, {kName, "z"}}},
      {"!#$?{}", {{kUnknown, "!"}, {kUnknown, "#"}, {kUnknown, "$"}, {kUnknown, "?"}, {kUnknown, "{"}, {kUnknown, "}"}}},
      {"\xC3\xA9", {{kUnknown, "\xC3"}, {kUnknown, "\xA9"}}},
      {"ls dir scl diag", {{kDir, "ls"}, kBlank, {kDir, "dir"}, kBlank, {kType, "scl"}, kBlank, {kType, "diag"}}},
      // A NUL begins no token: it neither ends the line (the rest is scanned)
      // nor joins a name, and a comment takes it.
      {std::string(1, '\0'), {kNul}},
      {std::string("x\0y", 3), {{kName, "x"}, kNul, {kName, "y"}}},
      {std::string("1;\0 2", 5), {{kLiteral, "1"}, {kSemicolon, ";"}, kNul, kBlank, {kLiteral, "2"}}},
      {std::string("\"a\0", 3), {kNul}},
      {std::string(".\0x", 3), {kNul, {kName, "x"}}},
      {std::string("% a\0b", 5), {kBlank}},
      {std::string("/* a\0b */z", 10), {kBlank, {kName, "z"}}},
  };
  // clang-format on
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(std::string("line: ") + c.line);
    feed(c.line);
    std::vector<Expected> expected = c.tokens;
    expected.push_back(kEolToken);
    EXPECT_EQ(scanLine(), expected);
  }
}

// The caret of an error report stands under the NUL: it is echoed and
// counted as every other character taken.
TEST_F(LexerTest, NulIsEchoedAndCountedWhereItStands) {
  feed(std::string("x = 1\0y", 7));
  const std::vector<Expected> upToNul = {{kName, "x"}, kBlank, {kAssign, "="}, kBlank, {kLiteral, "1"}, kNul};
  std::vector<Expected> scanned;
  for (size_t i = 0; i < upToNul.size(); ++i) {
    const Token token = scanToken();
    scanned.push_back({token.kind, token.text});
  }
  EXPECT_EQ(scanned, upToNul);
  EXPECT_EQ(statementText, std::string("x = 1\0", 6));
  EXPECT_EQ(columnNumber, 6);
}

TEST_F(LexerTest, EveryFurtherScanOfAFinishedLineGivesAnEndOfLine) {
  feed("x");
  EXPECT_EQ(scanToken().kind, kName);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(scanToken().kind, kEol);
}

TEST_F(LexerTest, KeywordTableGivesEachWordTheKindOfTheSameName) {
  const std::set<std::string> types = {"scl", "gen", "sym", "diag"};
  std::set<std::string> words;
  for (const Keyword& keyword : KeywordTable) {
    SCOPED_TRACE(keyword.word);
    const std::string word = keyword.word;
    words.insert(word);
    int expected = keyword.kind;
    if (types.count(word))
      expected = kType;
    else if (word == "ls")
      expected = kDir;
    else if (word == "quit")
      expected = kEnd;
    else
      EXPECT_EQ(word, TokenNames[keyword.kind]);
    EXPECT_EQ(keyword.kind, expected);

    Token token;
    ASSERT_EQ(lookupKeyword(word, token), 1);
    EXPECT_EQ(token.kind, expected);
    feed(word);
    const Token scanned = scanToken();
    EXPECT_EQ(scanned.kind, expected);
    EXPECT_EQ(scanned.text, word);
  }
  EXPECT_EQ(words.size(), 55u);
}

TEST_F(LexerTest, KeywordLookupIsExactAndLeavesOtherWordsAlone) {
  for (const char* word : {"Solve", "solver", "sol", "", "space", "literal", "type", "unknown", "END"}) {
    Token token;
    token.kind = kLiteral;
    EXPECT_EQ(lookupKeyword(word, token), 0) << word;
    EXPECT_EQ(token.kind, kLiteral) << word;
  }
}

TEST_F(LexerTest, UnterminatedStringWarnsAndEndsTheLine) {
  feed("x = \"abc");
  const std::vector<Expected> expected = {{kName, "x"}, kBlank, {kAssign, "="}, kBlank, kEolToken};
  EXPECT_EQ(scanLine(), expected);
  EXPECT_EQ(output.str(), "#> Warning at line 1: End of line found inside a string.\n");
}

struct EchoCase {
  const char* line;
  const char* echo;
  int column;
};

TEST_F(LexerTest, EchoHoldsTheTakenCharactersAndTheColumnCountsThem) {
  const std::vector<EchoCase> cases = {
      {"x = 1", "x = 1", 5},
      {"x = 1 % note", "x = 1 % note ", 13},  // the comment's line end echoes as a blank
      {"a // b", "a // b ", 7},
      {"\"a b\"+1", "\"a b\"+1", 7},
      {"a.b", "a.b", 3},
      {"x.", "x.", 2},
      {"a\tb", "a\tb", 3},
      {"1e+5", "1e+5", 4},
  };
  for (const EchoCase& c : cases) {
    SCOPED_TRACE(c.line);
    feed(c.line);
    scanLine();
    EXPECT_EQ(statementText, c.echo);
    EXPECT_EQ(columnNumber, c.column);
  }
}

TEST_F(LexerTest, LookAheadEchoesOnlyAsFarAsItScanned) {
  feed("ab + c");
  EXPECT_EQ(peekKind(2), kPlus);
  EXPECT_EQ(statementText, "ab +");
  EXPECT_EQ(columnNumber, 4);
  EXPECT_EQ(tokenQueue.Size(), 3);
}

TEST_F(LexerTest, ContinuationMarkDropsTheRestAndGoesOnWithTheNextLine) {
  feed("x = 1 + ... dropped\n2 * y");
  const std::vector<Expected> expected = {{kName, "x"}, kBlank, {kAssign, "="}, kBlank, {kLiteral, "1"},
                                          kBlank, {kPlus, "+"}, kBlank, {kLiteral, "2"}, kBlank,
                                          {kTimes, "*"}, kBlank, {kName, "y"}, kEolToken};
  EXPECT_EQ(scanLine(), expected);
  EXPECT_EQ(statementText, "x = 1 + ...\n2 * y");
  EXPECT_EQ(columnNumber, 5);
  EXPECT_EQ(lineNumber, 2);
}

TEST_F(LexerTest, ContinuationMarksOnSuccessiveLinesChainAndEndAtTheEndOfInput) {
  feedExactly("a...\n...\n...");
  const std::vector<Expected> expected = {{kName, "a"}, {kEnd, "end;"}};
  EXPECT_EQ(scanLine(), expected);
  EXPECT_EQ(output.str(), "");  // no warning for a continuation
}

TEST_F(LexerTest, BlockCommentOverThreeLinesIsOneBlank) {
  feed("a /* one\ntwo\nthree */ b");
  const std::vector<Expected> expected = {{kName, "a"}, kBlank, kBlank, kBlank, {kName, "b"}, kEolToken};
  EXPECT_EQ(scanLine(), expected);
  EXPECT_EQ(statementText, "a /* one \ntwo \nthree */ b");
  EXPECT_EQ(columnNumber, 10);
  EXPECT_EQ(lineNumber, 3);
}

TEST_F(LexerTest, BlockCommentDoesNotCloseAcrossALineEnd) {
  feed("/* ends with *\n/ still inside */x");
  const std::vector<Expected> expected = {kBlank, {kName, "x"}, kEolToken};
  EXPECT_EQ(scanLine(), expected);
}

TEST_F(LexerTest, EndOfInputInsideACommentWarnsAndGivesTheEndToken) {
  feedExactly("a /* never\nclosed");
  const std::vector<Expected> expected = {{kName, "a"}, kBlank, {kEnd, "end;"}};
  EXPECT_EQ(scanLine(), expected);
  EXPECT_EQ(output.str(), "#> Warning at line 3: End of file found inside a comment.\n");
}

TEST_F(LexerTest, ScansAStreamWithoutLineEnd) {
  // A stored constraint text is scanned from a stream of its own that ends
  // with ";" and no line end.
  std::istringstream stored("A' * X;");
  lineInput = &stored;
  const std::vector<Expected> expected = {{kName, "A"}, {kQuote, "'"}, kBlank, {kTimes, "*"}, kBlank,
                                          {kName, "X"}, {kSemicolon, ";"}, kEolToken};
  EXPECT_EQ(scanLine(), expected);
  lineInput = nullptr;
}

TEST_F(LexerTest, NamesAreClassifiedEachTimeTheyAreHandedOut) {
  feed("x y");
  EXPECT_EQ(peekKind(0), kName);
  variableTable.Insert("x", VarRecord(kScl, Value(1.0)));
  EXPECT_EQ(peekKind(0), kVariable);
  EXPECT_EQ(peekToken(0).kind, kVariable);
  EXPECT_EQ(tokenQueue[0].kind, kName);  // the queue itself keeps the name

  parameterTable.Insert("y", Value(2.0));
  EXPECT_EQ(peekKind(2), kParameter);
  variableTable.Insert("y", VarRecord(kScl, Value(3.0)));
  EXPECT_EQ(peekKind(2), kVariable);  // a name in both tables is a variable
  variableTable.Remove("y");
  parameterTable.Remove("y");
  EXPECT_EQ(peekKind(2), kName);

  std::string text;
  EXPECT_EQ(expectTokenText(kVariable, text), 0);
  EXPECT_EQ(text, "x");
}

// A token remembers its classification, in the queue and in every copy of
// it, and works it out again once either table has gained or lost a name:
// however the tables change between two looks, the second look sees them as
// they stand.
TEST_F(LexerTest, EveryLookSeesTheTablesAsTheyStandThen) {
  feed("x");
  EXPECT_EQ(peekKind(0), kName);
  TokenQueue saved;
  saveTokenQueue(saved);
  const struct {
    void (*change)();
    int kind;
  } steps[] = {
      {[] { parameterTable.Insert("x", Value(1.0)); }, kParameter},
      {[] { variableTable.Insert("x", VarRecord(kScl, Value(2.0))); }, kVariable},
      {[] { variableTable.Clear(); }, kParameter},
      {[] { parameterTable.Insert("other", Value(3.0)); }, kParameter},
      {[] { parameterTable.Remove("x"); }, kName},
      {[] { variableTable.Insert("x", VarRecord(kScl, Value(4.0))); }, kVariable},
      {[] { variableTable.Remove("x"); }, kName},
  };
  for (const auto& step : steps) {
    step.change();
    EXPECT_EQ(peekKind(0), step.kind);
    EXPECT_EQ(peekNonSpace(), step.kind);
    EXPECT_EQ(peekToken(0).kind, step.kind);
  }
  parameterTable.Insert("x", Value(5.0));
  restoreTokenQueue(saved);  // a copy made before all of this
  EXPECT_EQ(peekKind(0), kParameter);
  EXPECT_EQ(expectToken(kParameter), 0);
}

// expectParameter and expectVariable hand out the entry the name stands for
// when it is taken, also after its entry has been replaced by another one.
TEST_F(LexerTest, TakingANameGivesTheEntryItNamesThen) {
  parameterTable.Insert("p", Value(1.0));
  feed("p p p q");
  EXPECT_EQ(peekKind(0), kParameter);
  EXPECT_EQ(peekKind(2), kParameter);
  parameterTable.Remove("p");
  parameterTable.Insert("z", Value(9.0));  // may take the memory p's entry had
  parameterTable.Insert("p", Value(2.0));
  std::string name;
  Value* stored = nullptr;
  EXPECT_EQ(expectParameter(name, stored), 0);
  EXPECT_EQ(name, "p");
  ASSERT_EQ(stored, parameterTable.Get("p"));
  EXPECT_EQ(*stored->Scalar(), 2.0);

  skipSpaces();
  variableTable.Insert("p", VarRecord(kScl, Value(3.0)));
  VarRecord* record = nullptr;
  EXPECT_EQ(expectVariable(name, record), 0);
  ASSERT_EQ(record, variableTable.Get("p"));
  EXPECT_EQ(*record->GetValue().Scalar(), 3.0);

  skipSpaces();
  stored = parameterTable.Get("z");
  EXPECT_EQ(expectParameter(name, stored), 1);  // p is a variable now
  EXPECT_EQ(stored, nullptr);
  EXPECT_EQ(lastMessage(), "Expected parameter.");
  skipSpaces();
  EXPECT_EQ(expectVariable(name, record), 1);
  EXPECT_EQ(name, "q");
  EXPECT_EQ(record, nullptr);
}

TEST_F(LexerTest, ExpectNumberGivesTheNumberOfTheLiteralsText) {
  feed("2.5e-1 .5 1e+5");
  const double numbers[] = {0.25, 0.5, 1.0};
  for (const double expected : numbers) {
    double number = -1.0;
    EXPECT_EQ(expectNumber(number), 0);
    EXPECT_EQ(number, expected);
    skipSpaces();
  }
  expectToken(kPlus);
  double number = -1.0;
  EXPECT_EQ(expectNumber(number), 0);
  EXPECT_EQ(number, 5.0);
  // A literal that was never scanned, put in the queue as it is.
  Token literal;
  literal.kind = kLiteral;
  literal.text = "3.25";
  discardTokenQueue();
  tokenQueue.PushBack(literal);
  EXPECT_EQ(expectNumber(number), 0);
  EXPECT_EQ(number, 3.25);
}

TEST_F(LexerTest, ClassifiesQuotedNamesAndDotsLikeIdentifiers) {
  parameterTable.Insert("a b", Value(1.0));
  feed("\"a b\" ..");
  EXPECT_EQ(peekKind(0), kParameter);
  EXPECT_EQ(peekKind(2), kName);
}

TEST_F(LexerTest, PeekScansOnlyTheMissingTokens) {
  feed("a b");
  EXPECT_EQ(peekKind(0), kName);
  EXPECT_EQ(tokenQueue.Size(), 1);
  EXPECT_EQ(peekKind(3), kEol);
  EXPECT_EQ(tokenQueue.Size(), 4);
  EXPECT_EQ(peekToken(2).text, "b");
  EXPECT_EQ(peekKind(1), kSpace);
  EXPECT_EQ(tokenQueue.Size(), 4);
}

TEST_F(LexerTest, PeekNonSpaceLooksPastBlanksWithoutTakingThem) {
  feed("   x");
  EXPECT_EQ(peekNonSpace(), kName);
  EXPECT_EQ(tokenQueue.Size(), 4);
  EXPECT_EQ(peekKind(0), kSpace);
  skipSpaces();
  EXPECT_EQ(tokenQueue.Size(), 1);
  EXPECT_EQ(peekKind(0), kName);
}

TEST_F(LexerTest, SkipSpacesTakesEveryBlankOfABlankLine) {
  feed("   ");
  skipSpaces();
  EXPECT_EQ(peekKind(0), kEol);
  EXPECT_EQ(tokenQueue.Size(), 1);
  skipSpaces();  // no blank left: nothing happens
  EXPECT_EQ(tokenQueue.Size(), 1);
}

TEST_F(LexerTest, ExpectTokenTakesTheTokenAndReportsAMismatch) {
  feed("x)");
  modeFlags = kModePrompt;
  EXPECT_EQ(expectToken(kLeftParen), 1);
  EXPECT_EQ(output.str(), "#> Error at:\nx\n^\n#> Expected (.\n");
  std::string text;
  EXPECT_EQ(expectTokenText(kRightParen, text), 0);  // x was taken all the same
  EXPECT_EQ(text, ")");
  EXPECT_EQ(expectTokenText(kVariable, text), 1);
  EXPECT_EQ(text, ";");
  EXPECT_NE(output.str().find("#> Expected variable.\n"), std::string::npos);
}

TEST_F(LexerTest, ExpectTokenTakesFromTheQueueBeforeScanning) {
  feed("1 + 2");
  EXPECT_EQ(peekKind(2), kPlus);
  std::string text;
  EXPECT_EQ(expectTokenText(kLiteral, text), 0);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(tokenQueue.Size(), 2);
  EXPECT_EQ(peekKind(0), kSpace);
}

TEST_F(LexerTest, TakeTokenNameGivesTheNameOfTheKind) {
  variableTable.Insert("v", VarRecord(kScl, Value(1.0)));
  feed(") compact v $");
  std::string name;
  EXPECT_EQ(takeTokenName(name), ")");
  skipSpaces();
  EXPECT_EQ(takeTokenName(name), "compact");
  skipSpaces();
  EXPECT_EQ(takeTokenName(name), "variable");
  skipSpaces();
  EXPECT_EQ(&takeTokenName(name), &name);
  EXPECT_EQ(name, "unknown");
}

TEST_F(LexerTest, SavedQueueIsAnIndependentCopy) {
  feed("a + b");
  EXPECT_EQ(peekKind(4), kName);
  TokenQueue saved;
  EXPECT_EQ(&saveTokenQueue(saved), &saved);
  ASSERT_EQ(saved.Size(), 5);

  // Taking and scanning further changes the queue, not the saved copy.
  expectToken(kName);
  expectToken(kSpace);
  peekKind(5);
  EXPECT_EQ(saved.Size(), 5);
  EXPECT_EQ(saved[0].text, "a");

  // A loop body is put back for every pass.
  for (int pass = 0; pass < 3; ++pass) {
    restoreTokenQueue(saved);
    const std::vector<Expected> expected = {{kName, "a"}, kBlank, {kPlus, "+"}, kBlank, {kName, "b"}};
    std::vector<Expected> taken;
    for (int i = 0; i < 5; ++i) {
      const int kind = peekKind(0);
      std::string text;
      expectTokenText(kind, text);
      taken.push_back({kind, text});
    }
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(saved.Size(), 5);
  }

  discardTokenQueue();
  EXPECT_EQ(tokenQueue.Size(), 0);
  EXPECT_EQ(saved.Size(), 5);
}

// The rest of the queue: tokens of a shared run that follow the list's own
// and are handed out after them, before anything is scanned from the input;
// every operation on pending positions counts the list first and the rest
// after it, and copies of the queue share the run instead of copying it.
TEST_F(LexerTest, QueueRestFollowsTheListAndIsShared) {
  feed("tail");
  auto run = std::make_shared<std::vector<Token>>();
  for (const char* text : {"a", "b", "c", "d"}) {
    Token token;
    token.kind = kLiteral;
    token.text = text;
    run->push_back(token);
  }
  auto texts = [](TokenQueue& queue) {
    std::string all;
    for (ListNode<Token>* node = queue.Front(); node != nullptr; node = node->next) all += node->value.text;
    all += "|";
    for (int i = queue.rest.next; i < queue.rest.end; ++i) all += queue.rest.At(i).text;
    return all;
  };
  auto setUp = [&] {
    discardTokenQueue();
    for (const char* text : {"x", "y"}) {
      Token token;
      token.kind = kLiteral;
      token.text = text;
      tokenQueue.Append(token);
    }
    tokenQueue.rest = TokenRun{run, 0, 4};
  };

  setUp();
  EXPECT_FALSE(tokenQueue.NothingPending());
  EXPECT_EQ(peekToken(3).text, "b");  // x y a b: copies into the list as far as looked
  EXPECT_EQ(texts(tokenQueue), "xyab|cd");
  std::string taken;
  for (int i = 0; i < 6; ++i) {
    std::string text;
    expectTokenText(kLiteral, text);
    taken += text;
  }
  EXPECT_EQ(taken, "xyabcd");
  EXPECT_TRUE(tokenQueue.NothingPending());
  EXPECT_EQ(peekToken(0).text, "tail");  // then the input

  const struct {
    int from, count;
    const char* splitOff;  // SplitPending(count)
    const char* kept;
    const char* dropped;  // what DropPending(from, count) leaves
  } cases[] = {
      {0, 1, "x|", "y|abcd", "y|abcd"},
      {0, 2, "xy|", "|abcd", "|abcd"},
      {0, 3, "xy|a", "|bcd", "|bcd"},
      {1, 5, "xy|abc", "|d", "x|d"},
      {1, 6, "xy|abcd", "|", "x|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    setUp();
    TokenQueue first;
    tokenQueue.SplitPending(c.count, first);
    EXPECT_EQ(texts(first), c.splitOff);
    EXPECT_EQ(texts(tokenQueue), c.kept);
    setUp();
    tokenQueue.DropPending(c.from, c.count);
    EXPECT_EQ(texts(tokenQueue), c.dropped);
  }

  setUp();
  TokenQueue saved;
  saveTokenQueue(saved);
  EXPECT_EQ(saved.rest.tokens, run);
  EXPECT_EQ(texts(saved), "xy|abcd");
  tokenQueue.MaterializeRest();
  EXPECT_EQ(texts(tokenQueue), "xyabcd|");
  discardTokenQueue();
  EXPECT_TRUE(tokenQueue.NothingPending());
  restoreTokenQueue(saved);
  EXPECT_EQ(texts(tokenQueue), "xy|abcd");
  discardTokenQueue();
}

TEST_F(LexerTest, QueueSpansLinesWhenALineIsReadWhilePending) {
  feed("a\nb");
  EXPECT_EQ(peekKind(1), kEol);
  ASSERT_EQ(readLine(), 1);
  const std::vector<Expected> first = {{kName, "a"}, kEolToken};
  const std::vector<Expected> second = {{kName, "b"}, kEolToken};
  EXPECT_EQ(takeLine(), first);
  EXPECT_EQ(takeLine(), second);
}

TEST_F(LexerTest, FindInlineNameGivesTheFirstPosition) {
  inlineNames.PushBack("p");
  inlineNames.PushBack("q");
  inlineNames.PushBack("p");
  int position = -7;
  EXPECT_EQ(findInlineName("q", position), 1);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(findInlineName("p", position), 1);
  EXPECT_EQ(position, 0);
  position = -7;
  EXPECT_EQ(findInlineName("r", position), 0);
  EXPECT_EQ(position, -7);
}

// Recording: the evaluator of constraint texts takes tokens with recordingText
// set and keeps what textRecorder receives.
class RecordingTest : public LexerTest {
 protected:
  void SetUp() override {
    LexerTest::SetUp();
    recordingText = 1;
    textRecorder = &recorded;
  }

  // The recorded text of the inline parameter p holding x.
  std::string inlineText(double x) {
    parameterTable.Remove("p");
    parameterTable.Insert("p", Value(x));
    if (inlineNames.Size() == 0) inlineNames.PushBack("p");
    recorded.str("");
    feed("p");
    EXPECT_EQ(expectToken(kParameter), 0);
    discardTokenQueue();
    return recorded.str();
  }

  std::ostringstream recorded;
};

TEST_F(RecordingTest, RecordsTakenTokensAndOneBlankPerSkip) {
  parameterTable.Insert("q", Value(4.0));
  variableTable.Insert("X", VarRecord(kSym, Value(0.0)));
  feed("q  *X' ;");
  EXPECT_EQ(peekNonSpace(), kParameter);  // look-ahead records nothing
  EXPECT_EQ(recorded.str(), "");
  expectToken(kParameter);
  skipSpaces();
  expectToken(kTimes);
  skipSpaces();  // no blank pending: a blank is written all the same
  expectToken(kVariable);
  expectToken(kQuote);
  skipSpaces();
  expectToken(kSemicolon);
  expectToken(kEol);
  EXPECT_EQ(recorded.str(), "q * X' ;;");
}

TEST_F(RecordingTest, RecordsATokenThatFailsTheKindTest) {
  feed("]");
  EXPECT_EQ(expectToken(kRightParen), 1);
  EXPECT_EQ(recorded.str(), "]");
  std::string name;
  takeTokenName(name);
  EXPECT_EQ(recorded.str(), "];");
}

TEST_F(RecordingTest, RecordsNothingWhileNotRecording) {
  recordingText = 0;
  feed("a b");
  expectToken(kName);
  skipSpaces();
  expectToken(kName);
  EXPECT_EQ(recorded.str(), "");
}

TEST_F(RecordingTest, InlineParameterIsRecordedAsItsNumber) {
  parameterTable.Insert("q", Value(0.5));
  inlineNames.PushBack("p");
  parameterTable.Insert("p", Value(3.0));
  feed("p + q");
  expectToken(kParameter);
  skipSpaces();
  expectToken(kPlus);
  skipSpaces();
  expectToken(kParameter);
  EXPECT_EQ(recorded.str(), "3 + q");  // q is not on the inline list

  Token token{kParameter, "p"};
  recorded.str("");
  recordToken(token);
  token.kind = kName;  // the number replaces parameters only
  recordToken(token);
  EXPECT_EQ(recorded.str(), "3p");
}

struct NumberCase {
  double value;
  const char* text;
};

TEST_F(RecordingTest, InlineNumbersUseIntegerOrExponentFormWithoutPlus) {
  const std::vector<NumberCase> cases = {
      {3.0, "3"},
      {-7.0, "(-7)"},
      {0.0, "0"},
      {2147483647.0, "2147483647"},
      {-2147483648.0, "(-2147483648)"},
      {0.5, "5.000000000000e-01"},
      {12.5, "1.250000000000e01"},
      {3e9, "3.000000000000e09"},
      {2147483648.0, "2.147483648000e09"},
      {-2147483649.0, "(-2.147483649000e09)"},
      {-0.25, "(-2.500000000000e-01)"},
      {1e300, "1.000000000000e300"},
      {1e-300, "1.000000000000e-300"},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(inlineText(c.value), c.text);
  }
}

TEST_F(RecordingTest, RecordedFiniteNumbersReadBackAsTheSameNumber) {
  const double values[] = {3.0, -7.0, 0.5, 12.5, 3e9, -3e9, 1.0 / 3.0, 6.02214076e23, -1.5e-8,
                           1e300, 1.7976931348623157e308, 4.9e-324};
  for (double x : values) {
    SCOPED_TRACE(x);
    const std::string text = inlineText(x);
    // The scanner must see a single number, in parentheses after a sign for
    // a negative one.
    recordingText = 0;
    feed(text);
    std::vector<Expected> tokens = scanLine();
    ASSERT_FALSE(tokens.empty());
    const bool negative = tokens[0].kind == kLeftParen;
    EXPECT_EQ(negative, x < 0);
    if (negative) {
      ASSERT_EQ(tokens.size(), 5u) << text;
      EXPECT_EQ(tokens[1].kind, kMinus);
      EXPECT_EQ(tokens[3].kind, kRightParen);
      tokens = {tokens[2], tokens[4]};
    }
    ASSERT_EQ(tokens.size(), 2u) << text;
    EXPECT_EQ(tokens[0].kind, kLiteral);
    const double back = std::strtod(tokens[0].text.c_str(), nullptr);
    // 13 significant digits are written.
    EXPECT_LE(std::fabs(back - std::fabs(x)), 5e-13 * std::fabs(x));
    recordingText = 1;
  }
}

TEST_F(RecordingTest, ValuesWithoutALiteralAreRecordedAsTheDivisionThatGivesThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{std::numeric_limits<double>::quiet_NaN(), "(0/0)"},
               {std::numeric_limits<double>::infinity(), "(1/0)"},
               {-std::numeric_limits<double>::infinity(), "(-1/0)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(inlineText(c.value), c.text);
  }
}

TEST_F(RecordingTest, InlineNameHoldingAMatrixIsRecordedByName) {
  // clear p followed by p = [1 2] leaves the name on the inline list.
  inlineNames.PushBack("p");
  parameterTable.Insert("p", Value(1, 2, 1.0));
  feed("p");
  expectToken(kParameter);
  EXPECT_EQ(recorded.str(), "p");
}

}  // namespace
