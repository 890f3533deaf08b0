#include "commands.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "exec.h"
#include "interrupt_flag.h"
#include "interrupts.h"
#include "lexer.h"
#include "report.h"
#include "workspace.h"

namespace {

// Set once savedTerminal holds settings worth restoring.
volatile std::sig_atomic_t terminalSaved = 0;

// The signals whose default action ends the process while pause holds the
// terminal in single-key mode.
const int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

extern "C" void restoreTerminalAndEnd(int signal) {
  restoreTerminal();
  // The handler was installed for one delivery: the raised signal takes its
  // default action once this handler returns.
  std::raise(signal);
}

// While it lives, a signal that would end the process first gives the
// terminal its settings back. Signals the process ignores or handles itself
// keep their handling.
class TerminalSignalGuard {
 public:
  TerminalSignalGuard() {
    for (int i = 0; i < kEndingSignalCount; ++i) {
      struct sigaction ending = {};
      ending.sa_handler = restoreTerminalAndEnd;
      ending.sa_flags = SA_RESETHAND;
      sigemptyset(&ending.sa_mask);
      installed[i] = sigaction(kEndingSignals[i], nullptr, &previous[i]) == 0 && previous[i].sa_handler == SIG_DFL &&
                     sigaction(kEndingSignals[i], &ending, nullptr) == 0;
    }
  }
  ~TerminalSignalGuard() {
    for (int i = 0; i < kEndingSignalCount; ++i)
      if (installed[i]) sigaction(kEndingSignals[i], &previous[i], nullptr);
  }
  TerminalSignalGuard(const TerminalSignalGuard&) = delete;
  TerminalSignalGuard& operator=(const TerminalSignalGuard&) = delete;

 private:
  struct sigaction previous[kEndingSignalCount];
  bool installed[kEndingSignalCount];
};

// Waits for one byte of the standard input, which setRawTerminal has put
// into single-key mode; a Ctrl-C ends the wait without one.
void waitForKey() {
  char key;
  while (!interruptRequested()) {
    if (waitForInput(0) && (read(0, &key, 1) >= 0 || errno != EINTR)) return;
  }
}

// The shape of echo and format: the keyword, then an optional word that
// clears the flag or one that keeps it set, then a separator. The flag is
// set by the keyword alone and keeps what was chosen when the check fails.
int switchStatement(int keyword, int clearing, int setting, int& flag, const char* message) {
  expectToken(keyword);
  skipSpaces();
  flag = 1;
  const int word = peekKind(0);
  if (word == clearing || word == setting) {
    expectToken(word);
    skipSpaces();
    if (word == clearing) flag = 0;
  }
  if (!isStatementSeparator(peekKind(0))) {
    reportError(message);
    return 1;
  }
  return 0;
}

// The working directory, asking with a buffer that doubles while it is too
// short. False when the directory cannot be read for any other reason (it
// was removed, or a directory above it may not be searched).
bool currentPath(std::string& path) {
  for (std::size_t size = 100;; size *= 2) {
    std::vector<char> buffer(size);
    if (getcwd(buffer.data(), size) != nullptr) {
      path = buffer.data();
      return true;
    }
    if (errno != ERANGE) return false;
  }
}

// Puts a parameter on the inline list; only a scalar can stand in a
// recorded text as a number.
int addInlineName(const std::string& name) {
  if (!parameterTable.Lookup(name).IsScalar()) {
    reportError("Parameter \"" + name + "\" is not a scalar.");
    return 1;
  }
  inlineNames.PushBack(name);
  return 0;
}

}  // namespace

int setRawTerminal() {
  if (!isatty(0) || tcgetattr(0, &savedTerminal) != 0) return 1;
  static bool exitHandlerRegistered = false;
  if (!exitHandlerRegistered) exitHandlerRegistered = std::atexit(restoreTerminal) == 0;
  terminalSaved = 1;
  struct termios raw = savedTerminal;
  raw.c_lflag &= ~(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(0, TCSAFLUSH, &raw);
  return 0;
}

void restoreTerminal() {
  if (terminalSaved) tcsetattr(0, TCSANOW, &savedTerminal);
}

int pauseStatement() {
  expectToken(kPause);
  if (!(modeFlags & kModePrompt)) return 0;
  newlineUnlessCompact();
  std::cout << "Press any key to continue...\n" << std::flush;
  {
    TerminalSignalGuard guard;
    // Only a terminal is waited on: from a pipe or a file the byte would be
    // taken from the next input line.
    if (setRawTerminal() == 0) {
      waitForKey();
      restoreTerminal();
      terminalSaved = 0;
    }
  }
  if (stopIfInterrupted()) return 1;
  newlineUnlessCompact();
  return 0;
}

int homeStatement() {
  expectToken(kHome);
  std::cout << '\f' << std::flush;
  return 0;
}

int echoStatement() { return switchStatement(kEcho, kOff, kOn, echoInput, "Expected [on], off or separator."); }

int formatStatement() {
  return switchStatement(kFormat, kCompact, kVerbose, verboseFormat, "Expected compact, [verbose] or separator.");
}

int cdStatement() {
  std::string name;
  if (takeFileName(kCd, name)) return 1;
  if (chdir(name.c_str()) != 0) {
    reportError("Unable to change to directory \"" + name + "\".");
    return 1;
  }
  return 0;
}

int pwdStatement() {
  expectToken(kPwd);
  std::string path;
  if (!currentPath(path)) {
    reportError("Couldn't read the current path.");
    return 1;
  }
  newlineUnlessCompact();
  std::cout << "Current path: \n";
  newlineUnlessCompact();
  std::cout << path << '\n';
  newlineUnlessCompact();
  return 0;
}

int helpStatement() {
  expectToken(kHelp);
  skipSpaces();
  reportError("Online help is not available yet. Coming soon.");
  return 1;
}

int inlineStatement() {
  expectToken(kInline);
  bool on = true;
  const int mode = peekNonSpace();
  if (mode == kOn || mode == kOff) {
    skipSpaces();
    expectToken(mode);
    on = mode == kOn;
  }
  if (peekNonSpace() != kParameter) {
    reportError("Expected [on|off] parameter.");
    return 1;
  }
  while (peekNonSpace() == kParameter) {
    skipSpaces();
    std::string name;
    expectTokenText(kParameter, name);
    int position = 0;
    const bool listed = findInlineName(name, position);
    if (listed && !on) inlineNames.Remove(position);
    if (!listed && on && addInlineName(name)) return 1;
  }
  return 0;
}
