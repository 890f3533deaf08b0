// The interpreter's state: one set of global objects that live for the whole
// process. The builder reads and writes several of them; the solver gets what
// it needs from the solve primaries.
#ifndef VARNEL_WORKSPACE_H
#define VARNEL_WORKSPACE_H

#include <climits>
#include <cmath>
#include <iosfwd>
#include <string>
#include <vector>

#include "gen_matrix.h"
#include "hash_table.h"
#include "list.h"
#include "shared_array.h"
#include "solver_settings.h"
#include "token.h"
#include "value.h"
#include "var_record.h"
#include "vlmi_block.h"

// The names of the variable types, indexed by VarType.
extern const char* const VarTypeNames[4];

// Bits of modeFlags.
enum ModeFlag { kModeScript = 1, kModePrompt = 2, kModeExec = 4 };

// Names the code uses as table keys.
extern const std::string kAffineVariableName;  // " Affine Variable"
extern const std::string kAnsName;             // "ans"

extern HashTable<VarRecord> variableTable;
extern HashTable<Value> parameterTable;
extern TokenQueue tokenQueue;
extern List<std::string> inlineNames;
extern List<int> lmiStarts;
extern List<VLmiBlock> lmiBlocks;
extern List<VLmiBlock> lmeBlocks;
extern VLmiBlock objective;
extern List<std::string> lmiTexts;
extern List<std::string> lmeTexts;
extern std::string objectiveText;
extern GenMatrixD objectiveVector;
extern std::string statementText;
extern std::string inputFileName;
extern std::string resultName;
extern std::string execFileName;
extern int builtVariableCount;
extern std::vector<std::string> builtVariableNames;
extern std::vector<GenMatrixD> builtVariableValues;
extern BuiltProblem* builtProblem;
extern int lineNumber;
extern int columnNumber;
extern int verboseFormat;
extern int needsRebuild;
extern int showResults;
extern int insideBrackets;
extern int recordingText;
extern int echoInput;
extern int newStatement;
extern SolverSettings solverSettings;
extern int modeFlags;
extern std::vector<std::string> searchPath;
extern std::istream* inputStream;
extern std::ostream* textRecorder;
// The terminal settings that pause saved before it switched the terminal to
// single-key input; pause and the exit handler put them back.
struct termios;
extern struct termios savedTerminal;

// Bounds that a host running scripts it does not trust (the fuzz driver) puts
// on one run, beyond what the machine allows; the program leaves them open.
// (The bound on the elements of one matrix is the foundation's
// setElementCap.)
struct RunLimits {
  // The most passes that the for and while loops of a run make together.
  long loopPasses = LONG_MAX;
  // When set, a file or directory name in a statement must name an entry of
  // the working directory: a name holding "/" and the name ".." are refused.
  int confineFiles = 0;
};
extern RunLimits runLimits;
// Loop passes made since the workspace was last reset.
extern long loopPassesRun;

// Validates the reserved parameters in the order eps, rank_eps, max_iter,
// noprog, display, fact and carries valid changes into solverSettings.
// Returns 0, or 1 after reporting the first invalid one.
int checkReservedParameters();

// Stores the settings' current values as the reserved parameters.
void seedReservedParameters();

// Empties the stored constraints: no LMI, no LME and a zero objective.
void clearStoredConstraints();
void clearObjective();

// Returns every object above to the value it has when the process starts,
// the tables empty (a run seeds them): what one run left cannot reach the
// next. searchPath and runLimits, set up by the host, stay.
void resetWorkspace();

// Whether v's elements are those of a built variable's value
// (builtVariableValues): after a solve a matrix variable holds the solver's
// point, which every later phase writes in place.
bool holdsSolverPoint(const Value& v);

// Frees what the last build left: the arrays of built variable names and
// values (last element first) and the built problem.
void releaseBuiltResults();

#endif
