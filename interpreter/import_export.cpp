#include "import_export.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "exec.h"
#include "interrupts.h"
#include "lexer.h"
#include "mat_file.h"
#include "primaries.h"
#include "report.h"
#include "statements.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

// A MAT-file record holds a name of at most this many characters.
constexpr std::size_t kLongestMatName = kMxNameSize - 1;

bool isNameKind(int kind) { return kind == kVariable || kind == kParameter || kind == kName; }
bool isValueKind(int kind) { return kind == kVariable || kind == kParameter; }

// Takes the names that follow the file name (tokens of the accepted kinds,
// blanks between them) and requires the statement to end after them, so
// that a statement is read whole before it opens a file or changes the
// workspace. The separator is left for the statement loop.
int takeNameList(bool (*accepted)(int), std::vector<std::string>& names) {
  for (int kind = peekNonSpace(); accepted(kind); kind = peekNonSpace()) {
    skipSpaces();
    names.emplace_back();
    expectTokenText(kind, names.back());
  }
  skipSpaces();
  if (isStatementSeparator(peekKind(0))) return 0;
  reportError(kExpectedSeparatorMessage);
  return 1;
}

// The bytes a terminal takes as commands rather than text: the C0 controls
// (ESC, which starts escape sequences, among them) and DEL.
bool isControlCharacter(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

// A name from a file as a warning shows it: whole, its control characters
// written as \x and two lowercase hex digits, so that a file cannot write
// to the terminal through the names it holds.
std::string printableName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    if (!isControlCharacter(c)) {
      shown += c;
      continue;
    }
    char escaped[sizeof "\\xff"];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(static_cast<unsigned char>(c)));
    shown += escaped;
  }
  return shown;
}

// Whether a script could name the matrix, if need be in double quotes
// (which hold any text but a quote and a line end; skipsName has refused
// line ends with the other control characters). The hidden affine
// variable is never a target, and an empty name is no name.
bool isImportableName(const std::string& name) {
  return !name.empty() && name.find('"') == std::string::npos && name != kAffineVariableName;
}

// Whether the matrix of that name is passed over, after a warning that
// says why. A name with control characters (a line end among them) would
// reach the terminal raw in every listing of the workspace.
bool skipsName(const std::string& name) {
  if (std::any_of(name.begin(), name.end(), isControlCharacter)) {
    reportWarning("Skipping matrix '" + printableName(name) + "': name holds control characters.");
    return true;
  }
  if (!isImportableName(name)) {
    reportWarning("Skipping matrix '" + name + "': not a valid name.");
    return true;
  }
  return false;
}

// The size and structure tests of a declared variable, then its new value.
int storeInVariable(const std::string& name, const GenMatrixD& m) {
  VarRecord& record = variableTable.Lookup(name);
  const Value value(m);
  if (record.GetValue().Rows() != m.Rows() || record.GetValue().Cols() != m.Cols()) {
    reportError("You can not change the size of variable '" + name + "'.");
    return 1;
  }
  if (record.GetType() == kSym && !isSymmetric(value)) {
    reportError("Variable '" + name + "' must be symmetric.");
    return 1;
  }
  if (record.GetType() == kDiag && !isDiagonal(value)) {
    reportError("Variable '" + name + "' must be diagonal.");
    return 1;
  }
  record.GetValue() = value;
  return 0;
}

// An existing parameter takes the value (a scalar on the inline list that
// becomes a matrix leaves the list, as an assignment makes it); a new name
// becomes a parameter.
void storeInParameter(const std::string& name, const GenMatrixD& m) {
  const Value value(m);
  if (parameterTable.Find(name).index < 0) {
    parameterTable.Insert(name, value);
    return;
  }
  Value& stored = parameterTable.Lookup(name);
  turnInlineOff(name, stored, value);
  stored = value;
}

// Stores a matrix read from the file in the variable or parameter of its
// name.
int storeImported(const std::string& name, const GenMatrixD& m) {
  if (classifyName(name) == kVariable) {
    if (storeInVariable(name, m)) return 1;
  } else {
    storeInParameter(name, m);
  }
  needsRebuild = 1;
  return 0;
}

// The real part of a matrix handed over by the file layer, whose arrays it
// frees; imaginary parts are left out after a warning.
GenMatrixD realPart(const std::string& name, int m, int n, double* pr, double* pi) {
  if (pi != nullptr) {
    reportWarning("Matrix '" + name + "' contains imaginary part.");
    mxFree(pi);
  }
  GenMatrixD matrix(m, n);
  if (matrix.Size() > 0) std::memcpy(matrix.Data(), pr, std::size_t(matrix.Size()) * sizeof(double));
  mxFree(pr);
  return matrix;
}

// Imports the named matrices in turn, each found by its name. A name no
// script could use is skipped with a warning; a matrix that cannot be read
// leaves its target as it was (a new name stays unknown).
int importNamed(MATFile* file, const std::string& path, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (skipsName(name)) continue;
    GenMatrixD m;
    if (importMatrix(file, name, m)) {
      reportError("Can't read matrix '" + name + "' from matlab file \"" + path + "\".");
      return 1;
    }
    if (storeImported(name, m)) return 1;
  }
  return 0;
}

// Imports a full matrix met while importing the whole file, or skips it
// with a warning when its name cannot be used. Only the first full record
// of a name is imported; a later full one of that name is passed over
// without a word. Records skipped with a warning (sparse, name too long)
// do not count, so a full record behind a sparse one of its name is
// imported, where a search by name stops at the sparse one and refuses it.
// 1 after an error report.
int importRecord(const std::string& name, int m, int n, double* pr, double* pi, std::set<std::string>& imported) {
  if (!skipsName(name) && imported.insert(name).second) {
    return storeImported(name, realPart(name, m, n, pr, pi));
  }
  mxFree(pr);
  mxFree(pi);
  return 0;
}

// The warning for a record that cannot be read, named when its header
// could be read.
void warnRestNotRead(const char* name, const std::string& path) {
  const std::string what = name != nullptr ? "Can't read matrix '" + printableName(name) + "'" : "Unreadable record";
  reportWarning(what + ": the rest of matlab file \"" + path + "\" was not read.");
}

// Imports every record of the file in one pass. Records that cannot be
// used are skipped with a warning; a record that cannot be read ends the
// import with a warning, what came before it staying imported.
int importAll(MATFile* file, const std::string& path) {
  std::set<std::string> imported;
  for (int records = 0;; ++records) {
    const char* name;
    int m, n;
    double* pr;
    double* pi;
    const int found = matGetNextFull(file, &name, &m, &n, &pr, &pi);
    // Not even one header could be read: this is no MAT-file.
    if (records == 0 && name == nullptr) {
      reportError("No matrix found in matlab file \"" + path + "\".");
      return 1;
    }
    if (found == kMatNextEnd) return 0;
    if (found == kMatNextUnreadable) {
      warnRestNotRead(name, path);
      return 0;
    }
    if (found == kMatNextSparse) {
      reportWarning("Skipping sparse matrix '" + printableName(name) + "'.");
    } else if (found == kMatNextLongName) {
      reportWarning("Skipping matrix '" + printableName(name) + "': name too long.");
    } else if (importRecord(name, m, n, pr, pi, imported)) {
      return 1;
    }
  }
}

int reportWriteFailure(const std::string& path) {
  reportError("Can't write matlab file \"" + path + "\".");
  return 1;
}

const Value& valueOf(const std::string& name) {
  return classifyName(name) == kVariable ? variableTable.Lookup(name).GetValue() : parameterTable.Lookup(name);
}

// Every value that is to be written has a name a record can hold; empty
// values are not written. Tested before the file is touched.
int checkExportNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (valueOf(name).IsEmpty()) continue;
    if (name.empty()) {
      reportError("Name '' is not valid in a matlab file.");
      return 1;
    }
    if (name.size() > kLongestMatName) {
      reportError("Name '" + name + "' is too long for a matlab file.");
      return 1;
    }
  }
  return 0;
}

// Whether each place of the list is the last place of its name. A later
// record of a name replaces the earlier one, so a name given more than
// once is written at its last place only; deciding that from the names, in
// one pass, spares a search of the file for every record written.
std::vector<bool> lastPlaces(const std::vector<std::string>& names) {
  std::unordered_set<std::string> later;
  std::vector<bool> last(names.size());
  for (std::size_t k = names.size(); k-- > 0;) last[k] = later.insert(names[k]).second;
  return last;
}

// Writes the values in order into the new file; an empty value is
// skipped. Every name is written once, so each record goes to the end of
// the file without a look for an earlier one. An interrupt stops the
// export after the record being written.
int exportValues(MATFile* file, const std::string& path, const std::vector<std::string>& names) {
  const std::vector<bool> last = lastPlaces(names);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (!last[k]) continue;
    const Value& value = valueOf(names[k]);
    if (value.IsEmpty()) continue;
    const double* data = value.IsScalar() ? value.Scalar() : value.Matrix()->Data();
    if (matPutNextFull(file, names[k].c_str(), value.Rows(), value.Cols(), data, nullptr))
      return reportWriteFailure(path);
    if (stopIfInterrupted()) return 1;
  }
  return 0;
}

}  // namespace

int importMatrix(MATFile* file, const std::string& name, GenMatrixD& result) {
  int m, n;
  double* pr;
  double* pi;
  if (matGetFull(file, name.c_str(), &m, &n, &pr, &pi)) return 1;
  result = realPart(name, m, n, pr, pi);
  return 0;
}

int importStatement() {
  std::string fileName;
  std::vector<std::string> names;
  if (takeFileName(kImport, fileName) || takeNameList(isNameKind, names)) return 1;
  std::string path = fileName;
  MATFile* file = matOpen(path.c_str(), "r");
  if (file == nullptr) {
    path = fileName + ".mat";
    file = matOpen(path.c_str(), "r");
  }
  if (file == nullptr) {
    reportError("Can't open matlab file \"" + fileName + "\".");
    return 1;
  }
  const int status = names.empty() ? importAll(file, path) : importNamed(file, path, names);
  matClose(file);
  return status;
}

int exportStatement() {
  std::string fileName;
  std::vector<std::string> names;
  if (takeFileName(kExport, fileName) || takeNameList(isValueKind, names)) return 1;
  if (names.empty()) names = parameterTable.SortedKeys(1);
  if (checkExportNames(names)) return 1;
  if (fileName.find('.') == std::string::npos) fileName += ".mat";
  MATFile* file = matOpen(fileName.c_str(), "w");
  if (file == nullptr) {
    reportError("Can't open matlab file \"" + fileName + "\".");
    return 1;
  }
  // The file replaces an earlier one only when it is closed after every
  // record was written; after a failure or an interrupt the earlier file
  // stays as it was.
  if (exportValues(file, fileName, names)) {
    matAbandon(file);
    return 1;
  }
  return matClose(file) != 0 ? reportWriteFailure(fileName) : 0;
}
