// The program at its prompt, driven through a pseudo-terminal as a user at a
// terminal would drive it: the line editor only runs on a terminal.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#ifndef VARNEL_PROGRAM
#error "VARNEL_PROGRAM must name the varnel executable"
#endif

namespace {

const char* const kBanner =
    "-------------------------------------------------------------\n"
    " V a r n e l          -          Version 1.0 (alpha)\n"
    " Send comments and suggestions to varnel@example.org\n"
    "-------------------------------------------------------------\n";

// One run of the program at the prompt. Everything it writes is collected
// with the terminal's carriage returns removed; `Await` consumes the output
// up to and including a text that is expected next.
class PromptSession {
 public:
  PromptSession() {
    struct winsize size = {24, 200, 0, 0};
    pid_ = forkpty(&terminal_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      // A plain terminal and no user key bindings keep the editor's output
      // free of control sequences.
      setenv("TERM", "dumb", 1);
      setenv("INPUTRC", "/dev/null", 1);
      unsetenv("VARNEL_PATH");
      execl(VARNEL_PROGRAM, VARNEL_PROGRAM, static_cast<char*>(nullptr));
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

  bool Started() const { return pid_ > 0; }

  // Types text at the terminal ("\r" is the Enter key, "\x04" Ctrl-D).
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
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !Receive(static_cast<int>(left.count()))) {
        ADD_FAILURE() << "expected \"" << text << "\" in the output, got \"" << output_.substr(read_) << "\"";
        return output_.substr(read_);
      }
    }
    std::string before = output_.substr(read_, at - read_);
    read_ = at + text.size();
    return before;
  }

  // The output received and not read yet; marks it read.
  std::string Unread() {
    std::string rest = output_.substr(read_);
    read_ = output_.size();
    return rest;
  }

  // Reads the rest of the output and returns the exit status, or -1 when
  // the program did not exit normally or is still running after 20 quiet
  // seconds.
  int ExitStatus() {
    while (Receive(20000)) {
    }
    int status = 0;
    for (int tries = 0; tries < 200; ++tries) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (done < 0) return -1;
      usleep(100000);
    }
    return -1;
  }

 private:
  // Appends what the program writes within timeoutMs; false when nothing
  // came or the terminal closed.
  bool Receive(int timeoutMs) {
    struct pollfd ready = {terminal_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(terminal_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO once the program has closed the terminal
    for (ssize_t i = 0; i < n; ++i)
      if (buffer[i] != '\r') output_ += buffer[i];
    return true;
  }

  pid_t pid_ = -1;
  int terminal_ = -1;
  bool exited_ = false;
  std::string output_;
  std::string::size_type read_ = 0;
};

class PromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session.Started());
    EXPECT_EQ(session.Await("Interpreter mode.\n\n>> "), kBanner);
  }

  PromptSession session;
};

TEST_F(PromptTest, EndOfInputEndsTheRunWithTheExitMessageAndBanner) {
  session.Type("\x04");
  session.Await("\nExiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_EQ(session.Unread(), kBanner);
}

TEST_F(PromptTest, ValueIsShownAndThePromptComesBack) {
  session.Type("y = 2\r");
  EXPECT_EQ(session.Await(">> "), "y = 2\n\ny = \n\n     2.0000\n\n");
  session.Type("y + 1;\r");
  EXPECT_EQ(session.Await(">> "), "y + 1;\n");
  session.Type("ans\r");
  EXPECT_EQ(session.Await(">> "), "ans\n\nans = \n\n     3.0000\n\n");
}

TEST_F(PromptTest, EmptyAndCommentLinesGiveANewStatementPrompt) {
  for (const std::string line : {"", "   ", "% nothing here", "/* nor here */"}) {
    session.Type(line + "\r");
    EXPECT_EQ(session.Await(">> "), line + "\n");
  }
}

TEST_F(PromptTest, StatementOverTwoLinesShowsTheContinuationPrompt) {
  session.Type("x = [1 2\r");
  session.Await("x = [1 2\n");
  EXPECT_EQ(session.Await("   "), "") << "the continuation prompt is three blanks";
  session.Type("3 4]\r");
  EXPECT_EQ(session.Await(">> "), "3 4]\n\nx = \n\n     1.0000     2.0000\n     3.0000     4.0000\n\n");
}

TEST_F(PromptTest, ErrorDropsTheRestOfTheLineAndTheLoopGoesOn) {
  session.Type("a = 1, ), c = 3\r");
  EXPECT_EQ(session.Await(">> "),
            "a = 1, ), c = 3\n\na = \n\n     1.0000\n\n"
            "#> Error at:\na = 1, )\n-------^\n#> ')' is not a statement.\n");
  session.Type("$\r");
  EXPECT_EQ(session.Await(">> "), "$\n#> Error at:\n$\n^\n#> '$' is not a valid token.\n");
  session.Type("c\r");
  const std::string c = session.Await(">> ");
  EXPECT_EQ(c.find("c = "), std::string::npos) << "c was assigned after the error: " << c;
  EXPECT_NE(c.find("#> Error at:"), std::string::npos) << c;
  session.Type("a + 1\r");
  EXPECT_EQ(session.Await(">> "), "a + 1\n\nans = \n\n     2.0000\n\n");
}

TEST_F(PromptTest, ErrorStatusDoesNotChangeTheExitStatus) {
  session.Type(")\r");
  session.Await(">> ");
  session.Type("quit\r");
  session.Await("quit\n\nExiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_EQ(session.Unread(), kBanner);
}

}  // namespace
