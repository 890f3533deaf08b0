#include "line_input.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include <readline/history.h>
#include <readline/readline.h>

#include "interrupt_flag.h"
#include "interrupts.h"
#include "report.h"
#include "workspace.h"

std::istream* lineInput = nullptr;
std::istringstream* lineBuffer = nullptr;
int maxHistoryLines = -1;
int historyLinesAdded = 0;

namespace {

int lastReadFailed = 0;
int statementAbandoned = 0;
int promptGaveNoLine = 0;

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

// Before a prompt: a new statement begins with nothing left to stop, so an
// interrupt requested since is void. A statement that asks for a further
// line gets none once a Ctrl-C dropped it, and stops, reported, when an
// interrupt came while it ran. False when no line is to be read.
bool promptMayRead(bool startsStatement) {
  if (startsStatement) {
    clearInterrupt();
    statementAbandoned = 0;
    return true;
  }
  if (!statementAbandoned && stopIfInterrupted()) statementAbandoned = 1;
  return !statementAbandoned;
}

// Reads the next line at the prompt into line; 0 at the end of the input,
// and when the statement that asked for the line was dropped or stopped
// (statementAbandoned is then set). A Ctrl-C at the prompt of a new
// statement gives a fresh prompt.
int readPromptLine(std::string& line) {
  for (;;) {
    const bool startsStatement = newStatement != 0;
    if (!promptMayRead(startsStatement)) return 0;
    char* text = readInputLine(promptText());
    if (text != nullptr) {
      if (*text != '\0') {
        addHistoryLine(text);
        line = text;
      }
      std::free(text);
      return 1;
    }
    if (!interruptRequested()) return 0;
    clearInterrupt();
    if (!startsStatement) {
      statementAbandoned = 1;
      return 0;
    }
    newStatement = 1;
  }
}

// The line the editor hands over once it is complete, null at the end of the
// input; lineComplete tells that it came.
char* completedLine = nullptr;
bool lineComplete = false;

extern "C" void takeCompletedLine(char* line) {
  completedLine = line;
  lineComplete = true;
  rl_callback_handler_remove();
}

// After a Ctrl-C, which the editor has acted on (it forgot the line being
// typed and echoed the key): the editor lets go of the terminal, and the
// next prompt starts on a line of its own.
void dropEditedLine() {
  rl_callback_handler_remove();
  std::FILE* out = rl_outstream != nullptr ? rl_outstream : stdout;
  std::fputc('\n', out);
  std::fflush(out);
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
  } else {
    promptGaveNoLine = !readPromptLine(line);
    if (promptGaveNoLine) {
      installLine(line);
      return 0;
    }
  }
  if (echoInput) std::cout << " > " << line << '\n';
  installLine(line);
  return 1;
}

int inputFailed() { return lastReadFailed; }

int inputAbandoned() { return statementAbandoned; }

int promptInputEnded() { return promptGaveNoLine; }

const char* promptText() {
  if (newStatement) {
    newStatement = 0;
    return ">> ";
  }
  return "   ";
}

// The editor is driven a key at a time, so that a Ctrl-C can end the wait
// for the next key. Its signal handling stays in force while it waits, as
// when it reads a whole line itself: it drops the line at a Ctrl-C and
// passes the signal on to the interpreter's handler, and it gives the
// terminal its settings back before a signal ends the process.
char* readInputLine(const char* prompt) {
  completedLine = nullptr;
  lineComplete = false;
  rl_persistent_signal_handlers = 1;
  rl_callback_handler_install(prompt, takeCompletedLine);
  const int fd = fileno(rl_instream != nullptr ? rl_instream : stdin);
  while (!lineComplete) {
    if (waitForInput(fd)) {
      rl_callback_read_char();
      continue;
    }
    rl_check_signals();
    if (interruptRequested()) {
      dropEditedLine();
      return nullptr;
    }
  }
  return completedLine;
}

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
