#include "report.h"

#include <iostream>

#include "line_input.h"
#include "workspace.h"

namespace {
void writeHeader() {
  const bool prompt = modeFlags & kModePrompt;
  const bool inExec = modeFlags & kModeExec;
  std::cout << "#> ";
  if (prompt && !inExec) {
    std::cout << "Error at:\n";
    return;
  }
  if (prompt)
    std::cout << "Error executing file \"" << execFileName << "\"";
  else if (inExec)
    std::cout << "Error in \"" << inputFileName << "\", executing file \"" << execFileName << "\"";
  else
    std::cout << "Error in \"" << inputFileName << "\"";
  std::cout << " (line " << lineNumber << ") at:\n";
}
}  // namespace

void reportError(const std::string& message, int blankFirst) {
  // The user dropped the statement: what its parsers find missing is no error.
  if (inputAbandoned()) return;
  if (blankFirst) std::cout << '\n';
  writeHeader();
  std::cout << statementText << '\n';
  if (columnNumber > 1) std::cout << std::string(columnNumber - 1, '-');
  std::cout << "^\n";
  std::cout << "#> " << message << '\n';
}

int fail(const std::string& message, int blankFirst) {
  reportError(message, blankFirst);
  return 1;
}

void reportWarning(const std::string& message) {
  if (inputAbandoned()) return;
  if (modeFlags & kModePrompt)
    std::cout << "<> Warning: " << message << '\n';
  else
    std::cout << "#> Warning at line " << lineNumber << ": " << message << '\n';
}

void newlineUnlessCompact() {
  if (verboseFormat) std::cout << '\n';
}
