// The interpreter's input as a nested reading finds it: the pending tokens,
// the input stream and mode, the line being scanned with its echo, column
// and number, and the flags of the expression being read. An `exec` file's
// statement loop and the evaluation of a stored constraint text each take
// the input over for a while; saving and restoring it through this one type
// means no part of it can be missed by one of them.
#ifndef VARNEL_INPUT_STATE_H
#define VARNEL_INPUT_STATE_H

#include <istream>
#include <string>

#include "token.h"

class InputState {
 public:
  // Takes a copy of the current input and leaves the token queue empty.
  void Save();
  // Puts the saved input back: the same tokens pending, the same streams,
  // and the caller's line with the part not scanned yet (a nested reading
  // reads its lines into the same buffer).
  void Restore();

 private:
  TokenQueue tokens;
  std::istream* stream = nullptr;  // inputStream
  int line = 0;
  int mode = 0;
  std::string execFile;
  int statementBegins = 0;
  std::istream* scannerInput = nullptr;  // lineInput
  std::string unscanned;                 // the rest of lineBuffer, when the scanner reads it
  std::string echo;                      // statementText
  int column = 0;
  int recording = 0;
  int brackets = 0;
};

#endif
