#include "exec.h"

#include <sys/stat.h>

#include <fstream>

#include "control_flow.h"
#include "input_state.h"
#include "lexer.h"
#include "line_input.h"
#include "report.h"
#include "statements.h"
#include "workspace.h"

namespace {

// base, else base.lmi, as a script; path receives the one that opened.
bool openWithSuffix(const std::string& base, std::ifstream& file, std::string& path) {
  for (const std::string& candidate : {base, base + ".lmi"}) {
    if (openScriptFile(candidate, file)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

// The first of name, name.lmi and, in each directory of searchPath, name and
// name.lmi that opens as a script; path receives it.
bool openExecFile(const std::string& name, std::ifstream& file, std::string& path) {
  if (openWithSuffix(name, file, path)) return true;
  for (const std::string& directory : searchPath)
    if (openWithSuffix(directory + name, file, path)) return true;
  return false;
}

// Runs the statements of the file that the input now reads, one nesting
// level deeper than the exec statement.
int runNestedFile() {
  NestingLevel level;
  return runStatements();
}

}  // namespace

bool openScriptFile(const std::string& path, std::ifstream& script) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  script.open(path);
  return script.is_open();
}

int takeFileName(int keyword, std::string& fileName) {
  expectToken(keyword);
  skipSpaces();
  if (peekKind(0) != kName) {
    reportError("Expected file name.");
    return 1;
  }
  if (expectTokenText(kName, fileName)) return 1;
  if (runLimits.confineFiles && (fileName.find('/') != std::string::npos || fileName == "..")) {
    reportError("File \"" + fileName + "\" is outside the working directory.");
    return 1;
  }
  return 0;
}

int execStatement() {
  std::string name;
  if (takeFileName(kExec, name)) return 1;
  std::ifstream file;
  std::string path;
  // A file that executes itself would nest until the stack overflows: past
  // the nesting limit a further file is refused, as a further loop is.
  if (NestingLevel::Refuses()) return 1;
  if (!openExecFile(name, file, path)) {
    reportError("Can't open file \"" + name + "\".");
    return 1;
  }
  InputState saved;
  saved.Save();
  inputStream = &file;
  lineNumber = 0;
  modeFlags |= kModeExec;
  execFileName = path;
  const int status = runNestedFile();
  saved.Restore();
  file.close();
  return status;
}
