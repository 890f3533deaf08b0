#include "workspace.h"

#include <termios.h>

#include <cmath>
#include <iostream>

#include "built_problem.h"
#include "report.h"

const char* const VarTypeNames[4] = {"scl", "gen", "sym", "diag"};

const std::string kAffineVariableName = " Affine Variable";
const std::string kAnsName = "ans";

HashTable<VarRecord> variableTable;
HashTable<Value> parameterTable;
TokenQueue tokenQueue;
List<std::string> inlineNames("");
List<int> lmiStarts(0);
List<VLmiBlock> lmiBlocks((VLmiBlock(1)));
List<VLmiBlock> lmeBlocks((VLmiBlock(1)));
VLmiBlock objective(1);
List<std::string> lmiTexts("");
List<std::string> lmeTexts("");
std::string objectiveText;
GenMatrixD objectiveVector(0);
std::string statementText;
std::string inputFileName;
std::string resultName;
std::string execFileName;
int builtVariableCount = 0;
std::vector<std::string> builtVariableNames;
std::vector<GenMatrixD> builtVariableValues;
BuiltProblem* builtProblem = nullptr;
int lineNumber = 0;
int columnNumber = 0;
int verboseFormat = 1;
int needsRebuild = 1;
int showResults = 1;
int insideBrackets = 0;
int recordingText = 0;
int echoInput = 0;
int newStatement = 0;
SolverSettings solverSettings;
int modeFlags = 0;
std::vector<std::string> searchPath;
std::istream* inputStream = &std::cin;
std::ostream* textRecorder = nullptr;
struct termios savedTerminal;
RunLimits runLimits;
long loopPassesRun = 0;

namespace {

void reportParameter(const std::string& name, const char* tail) { reportError("Parameter '" + name + tail); }

// eps and rank_eps: a scalar in (0, 1]. NaN fails the positivity test.
int checkTolerance(const std::string& name, double& setting) {
  const Value& v = parameterTable.Lookup(name);
  if (!v.IsScalar()) return reportParameter(name, "' must be a scalar."), 1;
  const double x = *v.Scalar();
  if (x == setting) return 0;
  if (!(x > 0)) return reportParameter(name, "' must be a positive scalar."), 1;
  if (x > 1.0) return reportParameter(name, "' must be a less than 1.0."), 1;
  setting = x;
  needsRebuild = 1;
  return 0;
}

// The integer settings take the scalar truncated toward zero; a value that is
// not finite or lies outside the int range is refused with the setting's own
// message instead of being converted.
int checkCount(const std::string& name, int& setting, int least) {
  const Value& v = parameterTable.Lookup(name);
  if (!v.IsScalar()) return reportParameter(name, "' must be a scalar."), 1;
  const double x = std::trunc(*v.Scalar());
  if (!(x >= least && x <= 2147483647.0)) return reportParameter(name, "' must be a positive scalar."), 1;
  const int n = static_cast<int>(x);
  if (n == setting) return 0;
  setting = n;
  needsRebuild = 1;
  return 0;
}

int checkFactorisation() {
  const std::string name = "fact";
  const Value& v = parameterTable.Lookup(name);
  if (!v.IsScalar()) return reportParameter(name, "' must be a scalar."), 1;
  const double x = std::trunc(*v.Scalar());
  if (x == solverSettings.fact) return 0;
  if (x != 1.0 && x != 2.0) return reportParameter(name, "' must be equal to '1' or '2'."), 1;
  solverSettings.fact = static_cast<int>(x);
  needsRebuild = 1;
  return 0;
}

}  // namespace

int checkReservedParameters() {
  if (checkTolerance("eps", solverSettings.eps)) return 1;
  if (checkTolerance("rank_eps", solverSettings.rank_eps)) return 1;
  if (checkCount("max_iter", solverSettings.max_iter, 1)) return 1;
  if (checkCount("noprog", solverSettings.noprog, 1)) return 1;
  if (checkCount("display", solverSettings.display, 0)) return 1;
  return checkFactorisation();
}

void seedReservedParameters() {
  const struct {
    const char* name;
    double value;
  } reserved[] = {{"eps", solverSettings.eps},           {"rank_eps", solverSettings.rank_eps},
                  {"max_iter", 1.0 * solverSettings.max_iter}, {"noprog", 1.0 * solverSettings.noprog},
                  {"display", 1.0 * solverSettings.display},   {"fact", 1.0 * solverSettings.fact}};
  for (const auto& r : reserved) {
    parameterTable.Remove(r.name);
    parameterTable.Insert(r.name, Value(r.value));
  }
}

bool holdsSolverPoint(const Value& v) {
  if (!v.IsMatrix()) return false;
  for (const GenMatrixD& point : builtVariableValues)
    if (point.Data() == v.Matrix()->Data()) return true;
  return false;
}

void releaseBuiltResults() {
  while (!builtVariableNames.empty()) builtVariableNames.pop_back();
  builtVariableNames.shrink_to_fit();
  while (!builtVariableValues.empty()) builtVariableValues.pop_back();
  builtVariableValues.shrink_to_fit();
  delete builtProblem;
  builtProblem = nullptr;
}

void clearObjective() {
  objective = VLmiBlock(1);
  objectiveText.clear();
}

void clearStoredConstraints() {
  lmiStarts.Clear();
  lmiBlocks.Clear();
  lmiTexts.Clear();
  lmeBlocks.Clear();
  lmeTexts.Clear();
  clearObjective();
}

void resetWorkspace() {
  variableTable.Clear();
  parameterTable.Clear();
  tokenQueue.Clear();
  inlineNames.Clear();
  clearStoredConstraints();
  objectiveVector = GenMatrixD();
  builtVariableCount = 0;
  releaseBuiltResults();
  statementText.clear();
  inputFileName.clear();
  resultName.clear();
  execFileName.clear();
  lineNumber = 0;
  columnNumber = 0;
  verboseFormat = 1;
  needsRebuild = 1;
  showResults = 1;
  insideBrackets = 0;
  recordingText = 0;
  echoInput = 0;
  newStatement = 0;
  solverSettings = SolverSettings();
  modeFlags = 0;
  inputStream = &std::cin;
  textRecorder = nullptr;
  loopPassesRun = 0;
}
