// A test fixture that feeds script text to the interpreter through readLine
// and the lexer (or runs it as a whole script), with a freshly seeded
// workspace and the standard output captured.
#ifndef VARNEL_SCRIPT_FIXTURE_H
#define VARNEL_SCRIPT_FIXTURE_H

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "allocation.h"
#include "line_input.h"
#include "statements.h"
#include "workspace.h"

// How often part occurs in text (overlapping occurrences counted).
inline int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class ScriptFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    savedOut = std::cout.rdbuf(output.rdbuf());
    resetCoutFormat();
    resetWorkspace();
  }
  void TearDown() override {
    std::cout.rdbuf(savedOut);
    resetCoutFormat();
    inputStream = &std::cin;
    resetWorkspace();
    releaseLineBuffer();
  }

  // Every case starts with std::cout in its default state (general notation,
  // precision 6), whatever the one before left behind.
  static void resetCoutFormat() {
    std::cout.flags(std::ios::dec | std::ios::skipws);
    std::cout.precision(6);
  }

  // The state a script run starts from: no variables, the reserved
  // parameters and an empty `ans`, script mode reading `input`, no limits
  // on the run.
  void resetWorkspace() {
    ::resetWorkspace();
    runLimits = RunLimits();
    setElementCap(HUGE_VAL);
    modeFlags = kModeScript;
    inputFileName = "t.lmi";
    inputStream = &input;
    seedReservedParameters();
    parameterTable.Insert(kAnsName, Value());
    needsRebuild = 0;
  }

  // Empties the stored constraints: no LMI, no LME and a zero objective.
  static void resetConstraints() { clearStoredConstraints(); }

  // Makes text, as it stands, what the script reads next.
  void setInput(const std::string& text) {
    input.str(text);
    input.clear();
  }

  // Makes text the input, read from its first line with nothing pending; the
  // output captured so far is dropped.
  void restartInput(const std::string& text) {
    setInput(text);
    output.str("");
    tokenQueue.Clear();
    statementText.clear();
    lineNumber = 0;
  }

  // Makes text (one or more lines) the input and reads its first line;
  // the output captured so far is dropped.
  void feed(const std::string& text) { feedExactly(text + "\n"); }

  // As feed, with no line end added: the input may end inside a line.
  void feedExactly(const std::string& text) {
    restartInput(text);
    ASSERT_EQ(readLine(), 1);
  }

  // As feed, for the next line of the same script: the line count goes on
  // from the lines read before.
  void feedNext(const std::string& text) {
    const int linesBefore = lineNumber;
    feed(text);
    lineNumber += linesBefore;
  }

  // Runs text (whole lines, as it stands) through the statement loop of a
  // script run, which stops at the first failing statement; returns the
  // loop's status. The output holds what text printed.
  int runLines(const std::string& text) {
    restartInput(text);
    return runStatements();
  }

  // Runs text as a whole script, the way the program runs one: the tables
  // start empty (the run seeds them) and the output so far is dropped; the
  // mode stays as the case set it. Returns the run's status.
  int runScript(const std::string& text) {
    restartInput(text);
    columnNumber = 0;
    variableTable.Clear();
    parameterTable.Clear();
    return runSession();
  }

  // The message of the last "#> " line that is not an error header; "" when
  // nothing was reported.
  std::string lastMessage() const {
    std::istringstream lines(output.str());
    std::string line, message;
    while (std::getline(lines, line)) {
      if (line.rfind("#> Error", 0) == 0) continue;
      if (line.rfind("#> ", 0) == 0) message = line.substr(3);
    }
    return message;
  }

  // Whether name is a parameter.
  static bool has(const std::string& name) { return parameterTable.Find(name).index >= 0; }
  // The parameter's value when it is a scalar, else NaN.
  static double scalar(const std::string& name) {
    const Value& v = parameterTable.Lookup(name);
    return v.IsScalar() ? *v.Scalar() : NAN;
  }

  static void setParameter(const std::string& name, const Value& v) {
    parameterTable.Remove(name);
    parameterTable.Insert(name, v);
  }

  std::istringstream input;
  std::ostringstream output;
  std::streambuf* savedOut = nullptr;
};

#endif
