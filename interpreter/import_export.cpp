#include "import_export.h"

#include <cstring>
#include <vector>

#include "exec.h"
#include "lexer.h"
#include "primaries.h"
#include "mat_file.h"
#include "report.h"
#include "value_utils.h"
#include "workspace.h"

namespace {

// A MAT-file record holds a name of at most this many characters.
constexpr std::size_t kLongestMatName = kMxNameSize - 1;

bool isNameKind(int kind) { return kind == kVariable || kind == kParameter || kind == kName; }

// Whether a script could name the matrix, if need be in double quotes
// (which hold any text but a quote and a line end). The hidden affine
// variable is never a target, and an empty name is no name.
bool isImportableName(const std::string& name) {
  return !name.empty() && name.find_first_of("\"\n") == std::string::npos && name != kAffineVariableName;
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

// Imports the matrix called name into the variable or parameter of that
// name. A name no script could use is skipped with a warning; a matrix that
// cannot be read leaves its target as it was (a new name stays unknown).
int importInto(MATFile* file, const std::string& path, const std::string& name) {
  if (!isImportableName(name)) {
    reportWarning("Skipping matrix '" + name + "': not a valid name.");
    return 0;
  }
  GenMatrixD m;
  if (importMatrix(file, name, m)) {
    reportError("Can't read matrix '" + name + "' from matlab file \"" + path + "\".");
    return 1;
  }
  if (classifyName(name) == kVariable) {
    if (storeInVariable(name, m)) return 1;
  } else {
    storeInParameter(name, m);
  }
  needsRebuild = 1;
  return 0;
}

// The names that follow the file name, up to the first other token.
int importNamed(MATFile* file, const std::string& path) {
  for (int kind = peekNonSpace(); isNameKind(kind); kind = peekNonSpace()) {
    skipSpaces();
    std::string name;
    expectTokenText(kind, name);
    if (importInto(file, path, name)) return 1;
  }
  return 0;
}

int importAll(MATFile* file, const std::string& path) {
  int count = 0;
  char** names = matGetDir(file, &count);
  if (names == nullptr) {
    reportError("No matrix found in matlab file \"" + path + "\".");
    return 1;
  }
  const std::vector<std::string> list(names, names + count);
  mxFree(names);
  for (const std::string& name : list) {
    if (importInto(file, path, name)) return 1;
  }
  return 0;
}

int reportWriteFailure(const std::string& path) {
  reportError("Can't write matlab file \"" + path + "\".");
  return 1;
}

// Writes a value under name; an empty value is skipped.
int exportValue(MATFile* file, const std::string& path, const std::string& name, const Value& value) {
  if (value.IsEmpty()) return 0;
  if (name.size() > kLongestMatName) {
    reportError("Name '" + name + "' is too long for a matlab file.");
    return 1;
  }
  const double* data = value.IsScalar() ? value.Scalar() : value.Matrix()->Data();
  if (matPutFull(file, name.c_str(), value.Rows(), value.Cols(), data, nullptr)) return reportWriteFailure(path);
  return 0;
}

int exportNamed(MATFile* file, const std::string& path) {
  for (int kind = peekNonSpace(); kind == kVariable || kind == kParameter; kind = peekNonSpace()) {
    skipSpaces();
    std::string name;
    expectTokenText(kind, name);
    const Value& value = kind == kVariable ? variableTable.Lookup(name).GetValue() : parameterTable.Lookup(name);
    if (exportValue(file, path, name, value)) return 1;
  }
  return 0;
}

int exportParameters(MATFile* file, const std::string& path) {
  for (const std::string& name : parameterTable.SortedKeys(1)) {
    if (exportValue(file, path, name, parameterTable.Lookup(name))) return 1;
  }
  return 0;
}

}  // namespace

int importMatrix(MATFile* file, const std::string& name, GenMatrixD& result) {
  int m, n;
  double* pr;
  double* pi;
  if (matGetFull(file, name.c_str(), &m, &n, &pr, &pi)) return 1;
  if (pi != nullptr) {
    reportWarning("Matrix '" + name + "' contains imaginary part.");
    mxFree(pi);
  }
  GenMatrixD matrix(m, n);
  if (matrix.Size() > 0) std::memcpy(matrix.Data(), pr, std::size_t(matrix.Size()) * sizeof(double));
  mxFree(pr);
  result = std::move(matrix);
  return 0;
}

int importStatement() {
  std::string fileName;
  if (takeFileName(kImport, fileName)) return 1;
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
  const int status = isNameKind(peekNonSpace()) ? importNamed(file, path) : importAll(file, path);
  matClose(file);
  return status;
}

int exportStatement() {
  std::string fileName;
  if (takeFileName(kExport, fileName)) return 1;
  if (fileName.find('.') == std::string::npos) fileName += ".mat";
  MATFile* file = matOpen(fileName.c_str(), "w");
  if (file == nullptr) {
    reportError("Can't open matlab file \"" + fileName + "\".");
    return 1;
  }
  const int kind = peekNonSpace();
  int status = kind == kVariable || kind == kParameter ? exportNamed(file, fileName) : exportParameters(file, fileName);
  // The last buffered records reach the file only when it is closed.
  if (matClose(file) != 0 && status == 0) status = reportWriteFailure(fileName);
  return status;
}
