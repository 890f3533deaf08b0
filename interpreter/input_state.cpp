#include "input_state.h"

#include <iterator>
#include <sstream>

#include "lexer.h"
#include "line_input.h"
#include "workspace.h"

void InputState::Save() {
  saveTokenQueue(tokens);
  discardTokenQueue();
  stream = inputStream;
  line = lineNumber;
  mode = modeFlags;
  execFile = execFileName;
  statementBegins = newStatement;
  scannerInput = lineInput;
  if (lineInput != nullptr && lineInput == lineBuffer)
    unscanned.assign(std::istreambuf_iterator<char>(lineBuffer->rdbuf()), std::istreambuf_iterator<char>());
  echo = statementText;
  column = columnNumber;
  recording = recordingText;
  brackets = insideBrackets;
}

void InputState::Restore() {
  inputStream = stream;
  lineNumber = line;
  modeFlags = mode;
  execFileName = execFile;
  newStatement = statementBegins;
  if (scannerInput != nullptr && scannerInput == lineBuffer) {
    lineBuffer->str(unscanned);
    lineBuffer->clear();
  }
  lineInput = scannerInput;
  statementText = echo;
  columnNumber = column;
  recordingText = recording;
  insideBrackets = brackets;
  restoreTokenQueue(tokens);
}
