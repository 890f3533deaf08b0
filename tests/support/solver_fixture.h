// A fixture for the builder and solver tests: runs script lines through the statement
// loop on a fresh workspace (the hidden affine variable included) with the
// standard output captured, and clears every stored constraint and the
// built problem before and after each case.
#ifndef VARNEL_SOLVER_FIXTURE_H
#define VARNEL_SOLVER_FIXTURE_H

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "built_problem.h"
#include "script_fixture.h"
#include "statements.h"
#include "test_matrices.h"
#include "workspace.h"

class SolverFixture : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    freshWorkspace();
  }

  // A fresh workspace with the hidden affine variable, and no problem.
  void freshWorkspace() {
    ScriptFixture::resetWorkspace();
    resetProblem();
    variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  }
  void TearDown() override {
    resetProblem();
    ScriptFixture::TearDown();
  }

  static void resetProblem() {
    resetConstraints();
    releaseBuiltResults();
    builtVariableCount = 0;
    objectiveVector = GenMatrixD();
    needsRebuild = 1;
  }

  // Runs the lines of script until its end or its first failure; the status
  // of the last statement. The output holds what the script printed.
  int run(const std::string& script) { return runLines(script + "\n"); }

  // The workspace value of a name (variable or parameter) as a matrix.
  static GenMatrixD valueOf(const std::string& name) {
    if (variableTable.Find(name).index >= 0) return asMatrix(variableTable.Lookup(name).GetValue());
    return asMatrix(parameterTable.Lookup(name));
  }
};

#endif
