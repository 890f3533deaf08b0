// InputState: what an exec file or a stored constraint text takes over must
// come back exactly, every part of it, and the token queue must be empty
// while the nested reading runs.
#include "input_state.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "lexer.h"
#include "line_input.h"
#include "script_fixture.h"
#include "workspace.h"

namespace {

// Every part of the input, as the globals hold it.
struct InputSnapshot {
  std::istream* stream;
  int line;
  int mode;
  std::string execFile;
  int statementBegins;
  std::istream* scannerInput;
  std::string echo;
  int column;
  int recording;
  int brackets;
  int pending;

  static InputSnapshot Take() {
    return {inputStream,   lineNumber,   modeFlags,     execFileName,   newStatement,     lineInput,
            statementText, columnNumber, recordingText, insideBrackets, tokenQueue.Size()};
  }
};

void expectSame(const InputSnapshot& a, const InputSnapshot& b) {
  EXPECT_EQ(a.stream, b.stream);
  EXPECT_EQ(a.line, b.line);
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.execFile, b.execFile);
  EXPECT_EQ(a.statementBegins, b.statementBegins);
  EXPECT_EQ(a.scannerInput, b.scannerInput);
  EXPECT_EQ(a.echo, b.echo);
  EXPECT_EQ(a.column, b.column);
  EXPECT_EQ(a.recording, b.recording);
  EXPECT_EQ(a.brackets, b.brackets);
  EXPECT_EQ(a.pending, b.pending);
}

class InputStateTest : public ScriptFixture {};

// Every global that Save took is changed by the nested reading; Restore
// brings each one back, and the pending token after it.
TEST_F(InputStateTest, RestoreBringsBackEveryPartOfTheInput) {
  std::istringstream outer("x = 1\n");
  std::istringstream text("2 + 3;");
  feed("a + b");
  ASSERT_EQ(peekKind(0), kName);  // "a" scanned and pending
  inputStream = &outer;
  lineNumber = 7;
  modeFlags = kModeScript | kModeExec;
  execFileName = "outer.lmi";
  newStatement = 1;
  statementText = "a";
  columnNumber = 2;
  recordingText = 1;
  insideBrackets = 1;
  const InputSnapshot before = InputSnapshot::Take();

  InputState saved;
  saved.Save();
  EXPECT_EQ(tokenQueue.Size(), 0) << "the nested reading starts with no pending token";
  inputStream = &text;
  lineNumber = 1;
  modeFlags = kModeScript;
  execFileName = "inner.lmi";
  newStatement = 0;
  lineInput = &text;
  statementText = "2 + 3;";
  columnNumber = 6;
  recordingText = 0;
  insideBrackets = 0;
  peekKind(0);

  saved.Restore();
  expectSame(InputSnapshot::Take(), before);
  EXPECT_EQ(peekKind(0), kName);
}

// A nested reading reads its lines into the caller's line buffer; the part
// of the caller's line not scanned yet is what the scanner reads afterwards.
TEST_F(InputStateTest, TheCallersUnscannedRestComesBackAfterTheBufferWasReused) {
  setInput("first line\nsecond line\n");
  ASSERT_EQ(readLine(), 1);
  ASSERT_EQ(lineInput, static_cast<std::istream*>(lineBuffer));
  std::string word;
  for (int i = 0; i < 5; ++i) word += static_cast<char>(lineInput->get());
  ASSERT_EQ(word, "first");

  InputState saved;
  saved.Save();
  ASSERT_EQ(readLine(), 1);  // the nested reading takes the next line into the same buffer
  saved.Restore();

  std::string rest;
  std::getline(*lineInput, rest);
  EXPECT_EQ(rest, " line");
}

}  // namespace
