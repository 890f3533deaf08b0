#include "line_input.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include <readline/history.h>
#include <readline/readline.h>

#include "report.h"
#include "workspace.h"

std::istream* lineInput = nullptr;
std::istringstream* lineBuffer = nullptr;
int maxHistoryLines = -1;
int historyLinesAdded = 0;

namespace {

int lastReadFailed = 0;

// Reads the next line of inputStream into line. Returns 0 at the end of the
// stream, and also when the stream fails: a failed stream never reaches its
// end, so going on would read empty lines for ever.
int readStreamLine(std::string& line) {
  std::istream& in = *inputStream;
  if (in.peek() == std::char_traits<char>::eof() && in.eof()) return 0;
  if (in.good()) std::getline(in, line);
  if (in.bad() || (in.fail() && !in.eof())) {
    lastReadFailed = 1;
    reportError("Error reading the input.");
    return 0;
  }
  return 1;
}

// Reads the next line at the prompt into line; 0 at the end of the input.
int readPromptLine(std::string& line) {
  char* text = readInputLine(promptText());
  if (text == nullptr) return 0;
  if (*text != '\0') {
    addHistoryLine(text);
    line = text;
  }
  std::free(text);
  return 1;
}

// Makes line, completed by a line end, the scanner's input. No NUL ends
// it: a NUL read from the input is one of its characters.
void installLine(std::string& line) {
  line += '\n';
  if (lineBuffer == nullptr) lineBuffer = new std::istringstream;
  lineBuffer->str(line);
  lineBuffer->clear();
  lineInput = lineBuffer;
}

}  // namespace

int readLine() {
  if (!statementText.empty()) statementText += '\n';
  columnNumber = 0;
  ++lineNumber;
  lastReadFailed = 0;
  std::string line;
  if (modeFlags & (kModeScript | kModeExec)) {
    // At the end of a file the old line stays the scanner's input.
    if (!readStreamLine(line)) return 0;
  } else if (!readPromptLine(line)) {
    installLine(line);
    return 0;
  }
  if (echoInput) std::cout << " > " << line << '\n';
  installLine(line);
  return 1;
}

int inputFailed() { return lastReadFailed; }

const char* promptText() {
  if (newStatement) {
    newStatement = 0;
    return ">> ";
  }
  return "   ";
}

char* readInputLine(const char* prompt) { return readline(prompt); }

void addHistoryLine(const char* line) {
  if (maxHistoryLines == 0) return;
  add_history(line);
  ++historyLinesAdded;
  if (maxHistoryLines != -1 && historyLinesAdded > maxHistoryLines) {
    // history_base - 1 is the offset of the oldest entry.
    HIST_ENTRY* oldest = remove_history(history_base - 1);
    if (oldest != nullptr) free_history_entry(oldest);
    --historyLinesAdded;
  }
}

void setHistoryLimit(int n) { maxHistoryLines = n; }

int historyLimit() { return maxHistoryLines; }

void releaseLineBuffer() {
  if (lineInput == lineBuffer) lineInput = nullptr;
  delete lineBuffer;
  lineBuffer = nullptr;
}
