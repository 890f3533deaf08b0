// pause at the prompt: one key without Enter or echo, and the terminal's
// settings back afterwards, also when a Ctrl-C interrupts it or the program
// is ended while it waits.
// The program runs at a pseudo-terminal; a piped standard input is no
// terminal and must not lose its next line to pause.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "prompt_session.h"

#ifndef VARNEL_PROGRAM
#error "VARNEL_PROGRAM must name the varnel executable"
#endif

namespace {

const char* const kPressAnyKey = "Press any key to continue...\n";

bool isSingleKeyMode(const struct termios& t) {
  return !(t.c_lflag & ICANON) && !(t.c_lflag & ECHO) && t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0;
}

bool isLineMode(const struct termios& t) { return (t.c_lflag & ICANON) && (t.c_lflag & ECHO); }

class PauseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session.Started());
    session.Await("Interpreter mode.\n\n>> ");
    programSide = session.OpenProgramSide();
    ASSERT_GE(programSide, 0);
  }
  void TearDown() override {
    if (programSide >= 0) close(programSide);
  }

  struct termios settings() const {
    struct termios t = {};
    EXPECT_EQ(tcgetattr(programSide, &t), 0);
    return t;
  }

  // A key typed before pause has switched the terminal would be flushed.
  void awaitSingleKeyMode() {
    for (int tries = 0; tries < 2000; ++tries) {
      if (isSingleKeyMode(settings())) return;
      usleep(10000);
    }
    FAIL() << "the terminal never went to single-key mode";
  }

  PromptSession session{VARNEL_PROGRAM};
  int programSide = -1;
};

TEST_F(PauseTest, OneKeyWithoutEnterOrEchoContinues) {
  session.Type("pause\r");
  EXPECT_EQ(session.Await(kPressAnyKey), "pause\n\n");
  awaitSingleKeyMode();
  session.Type("k");
  EXPECT_EQ(session.Await(">> "), "\n") << "the key is neither echoed nor taken as input";
  session.Type("x = 3\r");
  EXPECT_EQ(session.Await(">> "), "x = 3\n\nx = \n\n     3.0000\n\n");
  session.Type("quit\r");
  session.Await("Exiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_TRUE(isLineMode(settings()));
}

TEST_F(PauseTest, CompactFormatHasNoEmptyLines) {
  session.Type("format compact\r");
  session.Await(">> ");
  session.Type("pause\r");
  EXPECT_EQ(session.Await(kPressAnyKey), "pause\n");
  awaitSingleKeyMode();
  session.Type(" ");
  EXPECT_EQ(session.Await(">> "), "");
}

TEST_F(PauseTest, PauseTwiceWaitsTwice) {
  for (int i = 0; i < 2; ++i) {
    session.Type("pause\r");
    session.Await(kPressAnyKey);
    awaitSingleKeyMode();
    session.Type("\r");
    EXPECT_EQ(session.Await(">> "), "\n");
  }
}

// Ctrl-C while pause waits ends the wait and interrupts the statement: the
// rest of its line does not run, and the terminal gets its settings back
// (the line editor, which saves them at every prompt, would otherwise leave
// it in single-key mode at the end).
TEST_F(PauseTest, CtrlCWhileWaitingInterruptsTheStatement) {
  session.Type("x = 5; pause, x = 6\r");
  session.Await(kPressAnyKey);
  awaitSingleKeyMode();
  session.Type("\x03");
  EXPECT_EQ(session.Await(">> "), "#> Error at:\nx = 5; pause\n-----------^\n#> Interrupted.\n");
  session.Type("x\r");
  EXPECT_EQ(session.Await(">> "), "x\n\nx = \n\n     5.0000\n\n");
  session.Type("quit\r");
  session.Await("Exiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_TRUE(isLineMode(settings()));
}

// A hang-up or a kill while pause waits end the program; the terminal is
// left in line mode all the same.
TEST_F(PauseTest, TerminationWhileWaitingRestoresTheTerminal) {
  session.Type("pause\r");
  session.Await(kPressAnyKey);
  awaitSingleKeyMode();
  kill(session.Pid(), SIGTERM);
  EXPECT_EQ(session.EndingSignal(), SIGTERM);
  EXPECT_TRUE(isLineMode(settings()));
}

TEST_F(PauseTest, HangUpWhileWaitingRestoresTheTerminal) {
  session.Type("pause\r");
  session.Await(kPressAnyKey);
  awaitSingleKeyMode();
  kill(session.Pid(), SIGHUP);
  EXPECT_EQ(session.EndingSignal(), SIGHUP);
  EXPECT_TRUE(isLineMode(settings()));
}

// At the prompt with a pipe for input there is no terminal to wait on:
// pause says its text and the next line is read whole.
TEST(PauseWithoutTerminalTest, NextInputLineIsKept) {
  const std::string out = runWithPipedInput(VARNEL_PROGRAM, "pause\nx = 5\n");
  EXPECT_NE(out.find(kPressAnyKey), std::string::npos) << out;
  EXPECT_NE(out.find("x = \n\n     5.0000\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("#> "), std::string::npos) << out;
}

}  // namespace
