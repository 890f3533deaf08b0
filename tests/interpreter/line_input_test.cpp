#include "line_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <readline/history.h>
#include <readline/readline.h>

#include "script_fixture.h"
#include "workspace.h"

namespace {

// The characters the scanner will see for the current line.
std::string currentLine() {
  if (lineInput == nullptr) return "<none>";
  lineInput->clear();
  lineInput->seekg(0);
  return std::string(std::istreambuf_iterator<char>(*lineInput), std::istreambuf_iterator<char>());
}

// A line as the scanner sees it: its characters and one line end, with no
// NUL after it (a NUL is a character of the line).
std::string withEnds(const std::string& line) { return line + '\n'; }

class LineInputTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    inputFileName.clear();  // the error reports below name no file
  }
};

TEST_F(LineInputTest, ReadsScriptLinesAndCountsThem) {
  setInput("first\n\n  third\nlast without end");
  const std::vector<std::string> lines = {"first", "", "  third", "last without end"};
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(readLine(), 1);
    EXPECT_EQ(lineNumber, static_cast<int>(i) + 1);
    EXPECT_EQ(currentLine(), withEnds(lines[i]));
  }
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 0);
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(output.str(), "");
}

TEST_F(LineInputTest, EmptyInputHasNoLine) {
  setInput("");
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 0);
}

TEST_F(LineInputTest, KeepsCarriageReturnsAndNulsAsCharacters) {
  setInput(std::string("a\r\nb\0c\n", 7));
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds("a\r"));
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds(std::string("b\0c", 3)));
}

TEST_F(LineInputTest, StartsTheColumnAndSeparatesEchoedLines) {
  setInput("one\ntwo\n");
  columnNumber = 9;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(columnNumber, 0);
  EXPECT_EQ(statementText, "");  // nothing echoed yet: no newline
  statementText = "x = [1 2";
  columnNumber = 8;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(columnNumber, 0);
  EXPECT_EQ(statementText, "x = [1 2\n");
}

TEST_F(LineInputTest, EchoRepeatsEveryLineRead) {
  setInput("a = 1\n\n");
  echoInput = 1;
  ASSERT_EQ(readLine(), 1);
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(output.str(), " > a = 1\n > \n");
}

TEST_F(LineInputTest, ReadsExecFilesLikeScripts) {
  modeFlags = kModePrompt | kModeExec;
  setInput("inner\n");
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds("inner"));
  EXPECT_EQ(readLine(), 0);
}

TEST_F(LineInputTest, AFailedStreamEndsTheInputWithAnError) {
  setInput("first\nsecond\nthird\n");
  ASSERT_EQ(readLine(), 1);
  input.setstate(std::ios::failbit);  // fails before its end
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 1);
  EXPECT_EQ(output.str(), "#> Error in \"\" (line 2) at:\n\n^\n#> Error reading the input.\n");
  // Asking again does not hand out lines of a broken stream.
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 1);
}

TEST_F(LineInputTest, ABadStreamEndsTheInputWithAnError) {
  setInput("first\n");
  input.setstate(std::ios::badbit);
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 1);
  EXPECT_NE(output.str().find("#> Error reading the input.\n"), std::string::npos);
}

TEST_F(LineInputTest, AtTheEndOfAFileTheOldLineStays) {
  setInput("last\n");
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(lineNumber, 2);
  EXPECT_EQ(currentLine(), withEnds("last"));
}

TEST_F(LineInputTest, PromptShowsNewStatementOnceThenContinuation) {
  newStatement = 1;
  EXPECT_STREQ(promptText(), ">> ");
  EXPECT_EQ(newStatement, 0);
  EXPECT_STREQ(promptText(), "   ");
}

TEST_F(LineInputTest, HistoryLimitAccessors) {
  const int saved = historyLimit();
  setHistoryLimit(40);
  EXPECT_EQ(historyLimit(), 40);
  EXPECT_EQ(maxHistoryLines, 40);
  setHistoryLimit(saved);
}

// The prompt goes through the line editor; its input comes from a file and
// its output (prompts and echoed lines) goes to another.
class PromptTest : public LineInputTest {
 protected:
  void SetUp() override {
    LineInputTest::SetUp();
    modeFlags = kModePrompt;
    editorIn = std::tmpfile();
    editorOut = std::tmpfile();
    ASSERT_NE(editorIn, nullptr);
    ASSERT_NE(editorOut, nullptr);
    rl_instream = editorIn;
    rl_outstream = editorOut;
    clear_history();
    historyLinesAdded = 0;
    setHistoryLimit(40);
  }
  void TearDown() override {
    rl_instream = nullptr;
    rl_outstream = nullptr;
    std::fclose(editorIn);
    std::fclose(editorOut);
    clear_history();
    historyLinesAdded = 0;
    setHistoryLimit(-1);
    LineInputTest::TearDown();
  }

  void type(const std::string& keys) {
    std::fputs(keys.c_str(), editorIn);
    std::rewind(editorIn);
  }

  std::string editorOutput() {
    std::fflush(editorOut);
    std::rewind(editorOut);
    std::string text;
    for (int c = std::fgetc(editorOut); c != EOF; c = std::fgetc(editorOut)) text += static_cast<char>(c);
    return text;
  }

  static std::vector<std::string> historyLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < history_length; ++i) lines.push_back(history_get(history_base + i)->line);
    return lines;
  }

  FILE* editorIn = nullptr;
  FILE* editorOut = nullptr;
};

TEST_F(PromptTest, ReadsEditedLinesWithTheirPrompts) {
  type("x = [1 2\n3 4]\n\n");
  newStatement = 1;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds("x = [1 2"));
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds("3 4]"));
  newStatement = 1;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(currentLine(), withEnds(""));
  EXPECT_EQ(lineNumber, 3);
  const std::string shown = editorOutput();
  EXPECT_EQ(shown.find(">> "), 0u);
  EXPECT_NE(shown.find("   3 4]"), std::string::npos);
  // Empty lines stay out of the history.
  EXPECT_EQ(historyLines(), (std::vector<std::string>{"x = [1 2", "3 4]"}));
  EXPECT_EQ(historyLinesAdded, 2);
}

TEST_F(PromptTest, EndOfInputEndsTheRunWithAnEmptyLine) {
  type("a\n");
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(readLine(), 0);
  EXPECT_EQ(inputFailed(), 0);
  EXPECT_EQ(currentLine(), withEnds(""));
}

TEST_F(PromptTest, EchoAlsoRepeatsPromptLines) {
  type("b = 2\n");
  echoInput = 1;
  ASSERT_EQ(readLine(), 1);
  EXPECT_EQ(output.str(), " > b = 2\n");
}

TEST_F(PromptTest, HistoryKeepsTheLast40Lines) {
  std::string keys;
  for (int i = 1; i <= 41; ++i) keys += "line " + std::to_string(i) + "\n";
  type(keys);
  for (int i = 1; i <= 41; ++i) ASSERT_EQ(readLine(), 1);
  const std::vector<std::string> lines = historyLines();
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(lines.front(), "line 2");
  EXPECT_EQ(lines.back(), "line 41");
  EXPECT_EQ(historyLinesAdded, 40);
}

TEST_F(PromptTest, HistoryLimitZeroKeepsNothingAndMinusOneEverything) {
  setHistoryLimit(0);
  addHistoryLine("a");
  EXPECT_EQ(history_length, 0);
  EXPECT_EQ(historyLinesAdded, 0);
  setHistoryLimit(-1);
  for (int i = 0; i < 50; ++i) addHistoryLine("b");
  EXPECT_EQ(history_length, 50);
  EXPECT_EQ(historyLinesAdded, 50);
}

}  // namespace
