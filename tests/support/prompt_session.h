// A run of a program at a pseudo-terminal, driven as a user at a terminal
// would drive it: the line editor and the terminal modes only exist there.
// Also a run at the prompt with its standard input from a pipe, no terminal.
#ifndef VARNEL_PROMPT_SESSION_H
#define VARNEL_PROMPT_SESSION_H

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

// Everything the program writes is collected with the terminal's carriage
// returns (and its raw echo of Ctrl-C, below) removed; `Await` consumes the
// output up to and including a text that is expected next.
class PromptSession {
 public:
  // How the terminal echoes a control key itself. It does so only while the
  // program runs a statement (the line editor and pause turn the terminal's
  // echo off and show what they mean to show), and then the echo reaches
  // the test before or after the program's reply to the key's signal,
  // whichever comes first: a case about that reply hides the echo. With
  // "^C" hidden the terminal echoes the key's own byte, which is dropped
  // like the carriage returns (the program never writes it); the line
  // editor then shows no "^C" either.
  enum ControlKeyEcho { kControlKeysShown, kControlKeysHidden };

  // argument, when given, is the program's one argument (a script).
  explicit PromptSession(const char* program, const char* argument = nullptr, ControlKeyEcho echo = kControlKeysShown) {
    struct winsize size = {24, 200, 0, 0};
    pid_ = forkpty(&terminal_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      // A plain terminal and no user key bindings keep the editor's output
      // free of control sequences.
      setenv("TERM", "dumb", 1);
      setenv("INPUTRC", "/dev/null", 1);
      // The terminal keeps what the program wrote when a Ctrl-C makes its
      // signal: the test reads the output later than a user would see it,
      // and the flush would drop what the program wrote just before.
      struct termios settings;
      if (tcgetattr(0, &settings) == 0) {
        settings.c_lflag |= NOFLSH;
        if (echo == kControlKeysHidden) settings.c_lflag &= ~ECHOCTL;
        tcsetattr(0, TCSANOW, &settings);
      }
      unsetenv("VARNEL_PATH");
      // As a shell starts a job in the foreground of a terminal: a test run
      // from a background job (a shell without job control ignores SIGINT
      // there) would otherwise hand that on to a script run, which keeps it.
      signal(SIGINT, SIG_DFL);
      execl(program, program, argument, static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  ~PromptSession() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }

  PromptSession(const PromptSession&) = delete;
  PromptSession& operator=(const PromptSession&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // A descriptor of the program's side of the terminal, for reading its
  // settings; the caller closes it. Holding it keeps the settings readable
  // after the program has ended.
  int OpenProgramSide() const { return open(ptsname(terminal_), O_RDWR | O_NOCTTY); }

  // Types text at the terminal ("\r" is the Enter key, "\x04" Ctrl-D, "\x03"
  // Ctrl-C, which the terminal turns into SIGINT).
  void Type(const std::string& text) {
    ASSERT_EQ(write(terminal_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // Waits until the unread output contains text; returns the unread output
  // before it and marks everything up to the end of text as read. Fails the
  // test and returns what was seen when text does not come within the time.
  std::string Await(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string::size_type at;
    while ((at = output_.find(text, read_)) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !Receive(static_cast<int>(left.count()))) {
        ADD_FAILURE() << "expected \"" << text << "\" in the output, got \"" << output_.substr(read_) << "\"";
        return output_.substr(read_);
      }
    }
    std::string before = output_.substr(read_, at - read_);
    read_ = at + text.size();
    return before;
  }

  // Waits until the program sleeps in a system call: one that computes
  // without a pause sleeps only where it waits, as in a write that the
  // terminal holds after Ctrl-S. Fails the test when it does not within 20
  // seconds.
  void AwaitSleeping() {
    for (int tries = 0; tries < 2000; ++tries) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string pid, name, state;  // the name holds no blank
      stat >> pid >> name >> state;
      if (state == "S") return;
      usleep(10000);
    }
    ADD_FAILURE() << "the program never slept";
  }

  // The output received and not read yet; marks it read.
  std::string Unread() {
    std::string rest = output_.substr(read_);
    read_ = output_.size();
    return rest;
  }

  // Collects the output until the program ends and returns its exit status;
  // -1 when it was ended by a signal or is still running after 20 seconds.
  int ExitStatus() { return Wait(false); }
  // The signal that ended the program, 0 when it exited or is still running
  // after 20 seconds.
  int EndingSignal() { return Wait(true); }

 private:
  int Wait(bool signal) {
    for (int tries = 0; tries < 200; ++tries) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        while (Receive(100)) {
        }
        if (signal) return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (done < 0) return signal ? 0 : -1;
      if (!Receive(100)) usleep(100000);
    }
    return signal ? 0 : -1;
  }

  // Appends what the program writes within timeoutMs; false when nothing
  // came or the terminal closed.
  bool Receive(int timeoutMs) {
    struct pollfd ready = {terminal_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(terminal_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO once the program has closed the terminal
    for (ssize_t i = 0; i < n; ++i)
      if (buffer[i] != '\r' && buffer[i] != kCtrlC) output_ += buffer[i];
    return true;
  }

  static constexpr char kCtrlC = '\x03';

  pid_t pid_ = -1;
  int terminal_ = -1;
  bool exited_ = false;
  std::string output_;
  std::string::size_type read_ = 0;
};

// Runs program at its prompt (no argument) with input for its standard
// input, through a pipe, and VARNEL_PATH unset; returns everything it wrote
// to its standard output. Fails the test when it does not exit with 0.
inline std::string runWithPipedInput(const char* program, const std::string& input) {
  char inputPath[] = "/tmp/varnel_input_XXXXXX";
  char outputPath[] = "/tmp/varnel_output_XXXXXX";
  const int inputFile = mkstemp(inputPath);
  const int outputFile = mkstemp(outputPath);
  EXPECT_TRUE(inputFile >= 0 && outputFile >= 0);
  if (inputFile >= 0) close(inputFile);
  if (outputFile >= 0) close(outputFile);
  std::ofstream(inputPath) << input;
  const std::string command =
      std::string("cat ") + inputPath + " | env -u VARNEL_PATH '" + program + "' > " + outputPath;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::stringstream output;
  output << std::ifstream(outputPath).rdbuf();
  std::remove(inputPath);
  std::remove(outputPath);
  return output.str();
}

#endif
