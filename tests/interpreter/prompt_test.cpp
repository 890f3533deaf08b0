// The program at its prompt, driven through a pseudo-terminal as a user at a
// terminal would drive it: the line editor only runs on a terminal, and
// Ctrl-C only becomes SIGINT there. What needs no terminal is also run with
// the prompt's input from a pipe.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "prompt_session.h"
#include "script_fixture.h"

#ifndef VARNEL_PROGRAM
#error "VARNEL_PROGRAM must name the varnel executable"
#endif

namespace {

const char* const kBanner =
    "-------------------------------------------------------------\n"
    " V a r n e l          -          Version 1.0 (alpha)\n"
    " Send comments and suggestions to varnel@example.org\n"
    "-------------------------------------------------------------\n";

class PromptTest : public ::testing::Test {
 protected:
  PromptTest() = default;
  explicit PromptTest(PromptSession::ControlKeyEcho echo) : session(VARNEL_PROGRAM, nullptr, echo) {}

  void SetUp() override {
    ASSERT_TRUE(session.Started());
    EXPECT_EQ(session.Await("Interpreter mode.\n\n>> "), kBanner);
  }

  PromptSession session{VARNEL_PROGRAM};
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

// At the terminal a NUL is the key Ctrl-@, a command of the line editor (set
// the mark), and never a character of the line: nothing after it is lost.
TEST_F(PromptTest, NulKeyLeavesTheRestOfTheLine) {
  session.Type(std::string("x = 1; \0y = 2\r", 15));
  EXPECT_EQ(session.Await(">> "), "x = 1; y = 2\n\ny = \n\n     2.0000\n\n");
  session.Type("x\r");
  EXPECT_EQ(session.Await(">> "), "x\n\nx = \n\n     1.0000\n\n");
}

// A construct that nests past the limit is refused where the reading meets
// it, and read on to its closing end: the failure drops the construct whole,
// so none of its lines runs on its own (the `while 1` would never stop, an
// `end` would end the session).
TEST_F(PromptTest, ConstructNestedTooDeepIsDroppedWhole) {
  const int levels = 1000;  // the nesting limit: the for and these pass it
  std::string seen;
  auto typeLine = [&](const std::string& line, const char* prompt) {
    session.Type(line + "\r");
    seen += session.Await(prompt);
  };
  typeLine("for i = 1:2", "   ");
  for (int level = 0; level < levels; ++level) typeLine("while 1", "   ");
  typeLine("x = 7", "   ");
  for (int level = 0; level < levels; ++level) typeLine("end", "   ");
  typeLine("end", ">> ");
  const std::string refusal = "#> Too many nested statements.\n";
  ASSERT_NE(seen.find(refusal), std::string::npos);
  EXPECT_EQ(seen.find(refusal), seen.rfind(refusal)) << "refused more than once";
  EXPECT_EQ(seen.find("x = \n"), std::string::npos) << "a line of the construct ran";
  session.Type("after = 1\r");
  EXPECT_EQ(session.Await(">> "), "after = 1\n\nafter = \n\n     1.0000\n\n");
}

TEST_F(PromptTest, ErrorStatusDoesNotChangeTheExitStatus) {
  session.Type(")\r");
  session.Await(">> ");
  session.Type("quit\r");
  session.Await("quit\n\nExiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_EQ(session.Unread(), kBanner);
}

// Ctrl-C at the prompt drops what is being typed, with every line a
// statement still waits for, and shows a fresh prompt on a line of its own;
// nothing of the dropped statement takes effect, the workspace stays, and
// the session ends normally afterwards.
TEST_F(PromptTest, CtrlCAtThePromptDropsTheStatementBeingTyped) {
  session.Type("x = 5;\r");
  session.Await(">> ");
  session.Type("\x03");
  EXPECT_EQ(session.Await(">> "), "^C\n") << "at an empty prompt";
  session.Type("x = 6");
  session.Await("x = 6");
  session.Type("\x03");
  EXPECT_EQ(session.Await(">> "), "^C\n") << "on a half-typed line";
  // Statements whose first lines were entered and that wait for more.
  const char* const waiting[][2] = {
      {"x = 7 ...", "a continuation mark"},       {"while 1\rx = 7", "an open loop"},
      {"if 1\rx = 7 /* open", "an open comment"}, {"x = [7 7", "an open matrix literal"},
      {"var sym x2(2) ...", "a declaration"},     {"if zz\rx = 7", "the rest of a failed if"},
  };
  for (const auto& lines : waiting) {
    const std::string typed = lines[0];
    session.Type(typed + "\r");
    session.Await(typed.substr(typed.rfind('\r') + 1) + "\n   ");
    session.Type("\x03");
    EXPECT_EQ(session.Await(">> "), "^C\n") << lines[1];
  }
  session.Type("x, who\r");
  const std::string workspace = session.Await(">> ");
  EXPECT_EQ(workspace.find("x, who\n\nx = \n\n     5.0000\n"), 0u) << workspace;
  EXPECT_NE(workspace.find("There are no user defined variables."), std::string::npos) << workspace;
  session.Type("\x04");
  session.Await("\nExiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
}

// Ctrl-C while a statement runs. The terminal's "^C" is hidden: it would
// come before or after the program's reply, as the timing goes.
class PromptInterruptTest : public PromptTest {
 protected:
  PromptInterruptTest() : PromptTest(PromptSession::kControlKeysHidden) {}
};

// Ctrl-C while a statement runs stops it between two passes of its loop
// with an error report; the passes done are kept.
TEST_F(PromptInterruptTest, CtrlCStopsARunningLoop) {
  session.Type("x = 5;\r");
  session.Await(">> ");
  session.Type("while 1\rx = x + 1; if x == 1000, reached = 1, end\rend\r");
  session.Await("reached = \n");
  session.Type("\x03");
  const std::string report = session.Await(">> ");
  EXPECT_NE(report.find("#> Error at:\nwhile 1\n"), std::string::npos) << report;
  EXPECT_EQ(report.substr(report.size() - 16), "#> Interrupted.\n") << report;
  session.Type("x >= 1000\r");
  EXPECT_EQ(session.Await(">> "), "x >= 1000\n\nans = \n\n     1.0000\n\n");
  session.Type("\x04");
  session.Await("\nExiting interpreter.\n");
  EXPECT_EQ(session.ExitStatus(), 0);
}

// A Ctrl-C that comes while the program writes to the terminal stops the
// statement as anywhere else, and nothing the program writes afterwards is
// lost. Ctrl-S holds the output, so that the loop, which writes without a
// pause, waits in a write when the key comes; Ctrl-C releases the output.
TEST_F(PromptInterruptTest, CtrlCWhileTheProgramWritesLosesNoLaterOutput) {
  session.Type("while 1, x = 1, end\r");
  session.Await("x = \n");
  session.Type("\x13");
  session.AwaitSleeping();
  session.Type("\x03");
  session.Await("#> Interrupted.\n>> ");
  session.Type("y = 2\r");
  EXPECT_EQ(session.Await(">> "), "y = 2\n\ny = \n\n     2.0000\n\n");
}

// Ctrl-C during solve ends the running phase as max_iter would, with its
// warnings and the solution stored, and then stops the statement. The
// tolerance leaves this problem unsolved for as long as the test waits.
TEST_F(PromptInterruptTest, CtrlCStopsASolveAsMaxIterWould) {
  for (const char* line :
       {"format compact", "n = 30; A = -2*eye(n); for i = 1:n-1, A(i, i+1) = 1; end", "var sym P(30)",
        "lmi = -A'*P - P*A - eye(n); obj = trace(P);", "eps = 1e-300; noprog = 1e9; max_iter = 1e9; display = 0;"}) {
    session.Type(std::string(line) + "\r");
    session.Await(">> ");
  }
  session.Type("solve\r");
  session.Await("Optimizing...\n");
  session.Type("\x03");
  EXPECT_EQ(session.Await(">> "),
            "<> Warning: Stopping. 'max_iter' exceeded.\n<> Warning: Accuracy 'eps' not reached.\n"
            "#> Error at:\nsolve\n----^\n#> Interrupted.\n");
  session.Type("trace(P) > 0\r");
  EXPECT_EQ(session.Await(">> "), "trace(P) > 0\nans = \n     1.0000\n");
}

// A construct that fails at the prompt before its end has been read is read
// on to that end, at the continuation prompt, and dropped whole: after the
// one error report nothing of it runs, and its end does not end the session.
// A failure inside a loop's body, which is read before it runs, stops the
// loop at once.
TEST(PromptFailedConstructTest, IsDroppedUpToItsEnd) {
  const std::string unknown = "Unknown command, variable or parameter 'zz'.";
  const struct {
    const char* construct;  // every line of it that runs would show x
    std::string message;
  } cases[] = {
      {"if zz > 1\n  x = 1\nend\n", unknown},
      {"for i = zz\n  x = 1\nend\n", unknown},
      {"if x > 1\n  y = zz;\n  x = 1\nend\n", unknown},
      {"for x 1:3\n  x = 1\nend\n", "Expected assignment."},
      {"if x > 1\n  y = 1;\nelse\n  x = 2\nelse\n  x = 3\nend\n", "'else' found outside of an if statement."},
      {"if x > 1\n  if zz\n    x = 1\n  end\n  x = 2\nend\n", unknown},
      {"if x > 1\n  for i = zz\n    x = 1\n  end\n  x = 2\nend\n", unknown},
      {"if x > 1\n  for i = 1:2\n    y = zz;\n  end\n  x = 1\nend\n", unknown},
      {"if x > 1\n  while 1\n    y = zz;\n  end, x = 1\n  x = 2\nend\n", unknown},
      {"for i = 1:2\n  if zz\n    x = 1\n  end\n  x = 2\nend\n", unknown},
      {"if x > 1, for i = 1:2, y = zz; end, x = 1, end\n", unknown},
  };
  const std::string sessionGoesOn =
      ">> x\n\nx = \n\n    42.0000\n\n>> after = 3\n\nafter = \n\n     3.0000\n\n>> \nExiting interpreter.\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.construct);
    const std::string out =
        runWithPipedInput(VARNEL_PROGRAM, std::string("x = 42;\n") + c.construct + "x\nafter = 3\n");
    EXPECT_EQ(occurrences(out, "#> Error at:\n"), 1) << out;
    EXPECT_EQ(occurrences(out, "\n#> " + c.message + "\n"), 1) << out;
    // The statements read at ">> ": x = 42;, the construct's first line, x,
    // after = 3, and the end of the input.
    EXPECT_EQ(occurrences(out, ">> "), 5) << out;
    EXPECT_EQ(occurrences(out, " = \n"), 2) << out;
    EXPECT_NE(out.find(sessionGoesOn), std::string::npos) << out;
  }
}

// The end of the input while the rest of a failed construct is read ends the
// run as after any failed statement, with nothing more reported.
TEST(PromptFailedConstructTest, EndOfInputWhileDroppingEndsTheRun) {
  const std::string out = runWithPipedInput(VARNEL_PROGRAM, "x = 42;\nif zz > 1\n  x = 1\n");
  EXPECT_EQ(occurrences(out, "#> "), 2) << out;
  EXPECT_NE(out.find("\n#> Unknown command, variable or parameter 'zz'.\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(" = \n"), std::string::npos) << out;
  const std::string end = std::string("\nExiting interpreter.\n") + kBanner;
  EXPECT_EQ(out.find(end), out.size() - end.size()) << out;
}

// A script named on the command line keeps the default action of SIGINT.
TEST(ScriptInterruptTest, CtrlCEndsAScriptRun) {
  char path[] = "/tmp/varnel_interrupt_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "started = 1\nwhile 1\nend\n";
  {
    PromptSession script(VARNEL_PROGRAM, path);
    script.Await("started = ");
    script.Type("\x03");
    EXPECT_EQ(script.EndingSignal(), SIGINT);
  }
  std::remove(path);
}

}  // namespace
