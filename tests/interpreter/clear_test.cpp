// The clear statement: every item form, the bare reset of the problem and
// every message.
#include "clear.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lexer.h"
#include "script_fixture.h"
#include "workspace.h"

namespace {

class ClearTest : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    clearProblem();
    variableTable.Insert(kAffineVariableName, VarRecord(kScl, Value(0.0)));
  }
  void TearDown() override {
    clearProblem();
    ScriptFixture::TearDown();
  }

  static void clearProblem() {
    resetConstraints();
    builtVariableCount = 0;
    builtVariableNames.clear();
    builtVariableValues.clear();
    objectiveVector = GenMatrixD();
  }

  // Runs clear on one line with its keyword pending.
  int run(const std::string& line) {
    feed(line);
    return clearStatement();
  }

  // Adds an LMI of the given blocks; each block is told apart by its row
  // count and its text.
  static void addLmi(const std::vector<std::string>& texts) {
    lmiStarts.PushBack(lmiBlocks.Count());
    for (const std::string& text : texts) {
      VLmiBlock block(1);
      block.Rows() = lmiBlocks.Count() + 1;
      lmiBlocks.PushBack(block);
      lmiTexts.PushBack(text);
    }
  }

  static void addLme(const std::string& text) {
    VLmiBlock block(1);
    block.Rows() = lmeBlocks.Count() + 1;
    lmeBlocks.PushBack(block);
    lmeTexts.PushBack(text);
  }

  static void declare(const std::string& name, int type, const Value& value) {
    variableTable.Insert(name, VarRecord(type, value));
  }

  // Three LMIs of 1, 3 and 1 blocks.
  static void addThreeLmis() {
    addLmi({"a"});
    addLmi({"b1", "b2", "b3"});
    addLmi({"c"});
  }

  static std::vector<int> starts() {
    std::vector<int> s;
    for (int i = 0; i < lmiStarts.Count(); ++i) s.push_back(lmiStarts[i]);
    return s;
  }
  static std::vector<std::string> texts(List<std::string>& list) {
    std::vector<std::string> t;
    for (int i = 0; i < list.Count(); ++i) t.push_back(list[i]);
    return t;
  }
  static std::vector<int> blockRows(List<VLmiBlock>& list) {
    std::vector<int> r;
    for (int i = 0; i < list.Count(); ++i) r.push_back(list[i].Rows());
    return r;
  }
};

using Strings = std::vector<std::string>;

TEST_F(ClearTest, LmiOfIndexRemovesItsBlocksAndRenumbersTheLaterOnes) {
  const struct {
    const char* line;
    std::vector<int> starts;
    Strings texts;
    std::vector<int> rows;
  } cases[] = {
      {"clear lmi(1)", {0, 3}, {"b1", "b2", "b3", "c"}, {2, 3, 4, 5}},
      {"clear lmi(2)", {0, 1}, {"a", "c"}, {1, 5}},
      {"clear lmi(3)", {0, 1}, {"a", "b1", "b2", "b3"}, {1, 2, 3, 4}},
      {"clear lmi( 1 + 1 )", {0, 1}, {"a", "c"}, {1, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    clearProblem();
    addThreeLmis();
    EXPECT_EQ(run(c.line), 0) << output.str();
    EXPECT_EQ(starts(), c.starts);
    EXPECT_EQ(texts(lmiTexts), c.texts);
    EXPECT_EQ(blockRows(lmiBlocks), c.rows);
  }
}

TEST_F(ClearTest, ClearingLmisOneByOneLeavesNone) {
  addThreeLmis();
  EXPECT_EQ(run("clear lmi(2) lmi(2) lmi(1)"), 0) << output.str();
  EXPECT_EQ(lmiStarts.Count(), 0);
  EXPECT_EQ(lmiBlocks.Count(), 0);
  EXPECT_EQ(lmiTexts.Count(), 0);
}

TEST_F(ClearTest, IndexBeyondTheStoredCountRemovesNothing) {
  addThreeLmis();
  addLme("e1");
  for (const char* line : {"clear lmi(4)", "clear lme(2)"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "Subscript out of range.");
  }
  EXPECT_EQ(lmiBlocks.Count(), 5);
  EXPECT_EQ(lmeBlocks.Count(), 1);
}

TEST_F(ClearTest, BadIndexExpressionsGiveTheIndexMessages) {
  addThreeLmis();
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"clear lmi(0)", "Index must be greater than one."},
      {"clear lme([1 2])", "Invalid index."},
      {"clear lmi(1", "Expected )."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
  }
  EXPECT_EQ(lmiBlocks.Count(), 5);
}

TEST_F(ClearTest, LmiAndLmeWithoutIndexRemoveAll) {
  addThreeLmis();
  addLme("e1");
  addLme("e2");
  EXPECT_EQ(run("clear lmi lme"), 0) << output.str();
  EXPECT_EQ(lmiStarts.Count() + lmiBlocks.Count() + lmiTexts.Count(), 0);
  EXPECT_EQ(lmeBlocks.Count() + lmeTexts.Count(), 0);
}

TEST_F(ClearTest, BlankBeforeTheParenthesisClearsAllThenFails) {
  addThreeLmis();
  EXPECT_EQ(run("clear lmi (2)"), 1);
  EXPECT_EQ(lastMessage(), "Expected variable, parameter, lmi, lme, obj or [separator].");
  EXPECT_EQ(lmiBlocks.Count(), 0);
}

TEST_F(ClearTest, LmeOfIndexRemovesThatOne) {
  for (const char* text : {"e1", "e2", "e3"}) addLme(text);
  EXPECT_EQ(run("clear lme(2)"), 0) << output.str();
  EXPECT_EQ(texts(lmeTexts), (Strings{"e1", "e3"}));
  EXPECT_EQ(blockRows(lmeBlocks), (std::vector<int>{1, 3}));
}

TEST_F(ClearTest, ObjLeavesTheConstantTermOnly) {
  objective = VLmiBlock(3);
  objectiveText = "trace(X)";
  EXPECT_EQ(run("clear obj"), 0) << output.str();
  EXPECT_EQ(objective.NumTerms(), 1);
  EXPECT_EQ(objective.Rows(), 1);
  EXPECT_EQ(objective.Cols(), 1);
  EXPECT_EQ(objectiveText, "");
}

TEST_F(ClearTest, ParametersGoExceptAnsWhichIsEmptied) {
  setParameter("p", Value(1.0));
  setParameter("q", Value(2.0));
  setParameter("r", Value(3.0));
  parameterTable.Lookup("ans") = Value(4.0);
  EXPECT_EQ(run("clear p q ans"), 0) << output.str();
  EXPECT_EQ(classifyName("p"), kName);
  EXPECT_EQ(classifyName("q"), kName);
  EXPECT_EQ(classifyName("r"), kParameter);
  EXPECT_EQ(classifyName("ans"), kParameter);
  EXPECT_TRUE(parameterTable.Lookup("ans").IsEmpty());
}

TEST_F(ClearTest, ReservedParametersAreRefused) {
  for (const char* name : {"eps", "rank_eps", "max_iter", "noprog", "display", "fact"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(run(std::string("clear ") + name), 1);
    EXPECT_EQ(lastMessage(), "'" + std::string(name) + "' is a reserved parameter.");
    EXPECT_EQ(classifyName(name), kParameter);
  }
}

TEST_F(ClearTest, ItemsBeforeAFailingOneStayDone) {
  setParameter("p", Value(1.0));
  addThreeLmis();
  EXPECT_EQ(run("clear p lmi(1) eps lmi(1)"), 1);
  EXPECT_EQ(lastMessage(), "'eps' is a reserved parameter.");
  EXPECT_EQ(classifyName("p"), kName);
  EXPECT_EQ(lmiStarts.Count(), 2);
}

TEST_F(ClearTest, VariablesGoOneByOneOrAllButTheHiddenOne) {
  declare("X", kGen, Value(1.0));
  declare("Y", kSym, Value(2.0));
  declare("Z", kScl, Value(3.0));
  EXPECT_EQ(run("clear X"), 0) << output.str();
  EXPECT_EQ(classifyName("X"), kName);
  EXPECT_EQ(classifyName("Y"), kVariable);
  EXPECT_EQ(run("clear var"), 0) << output.str();
  EXPECT_EQ(variableTable.Count(), 1);
  EXPECT_EQ(variableTable.SortedKeys(1), (Strings{kAffineVariableName}));
  EXPECT_EQ(*variableTable.Lookup(kAffineVariableName).GetValue().Scalar(), 0.0);
}

TEST_F(ClearTest, TheHiddenVariableCannotBeClearedByName) {
  EXPECT_EQ(run("clear \" Affine Variable\""), 0) << output.str();
  EXPECT_EQ(variableTable.Count(), 1);
  EXPECT_EQ(classifyName(kAffineVariableName), kVariable);
}

TEST_F(ClearTest, MaskOfAVariableIsRemoved) {
  declare("X", kGen, Value(2, 2, 1.0));
  variableTable.Lookup("X").GetMask() = SharedArray<int>(4, 1);
  EXPECT_EQ(run("clear mask( X )"), 0) << output.str();
  EXPECT_EQ(variableTable.Lookup("X").GetMask().Size(), 0);
  EXPECT_EQ(variableTable.Lookup("X").GetValue().Rows(), 2);
}

TEST_F(ClearTest, MaskNeedsParenthesisVariableParenthesis) {
  declare("X", kGen, Value(2, 2, 1.0));
  variableTable.Lookup("X").GetMask() = SharedArray<int>(4, 1);
  setParameter("p", Value(1.0));
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"clear mask (X)", "Expected (."},
      {"clear mask", "Expected (."},
      {"clear mask(p)", "Expected variable."},
      {"clear mask(Y)", "Expected variable."},
      {"clear mask(X", "Expected )."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run(c.line), 1);
    EXPECT_EQ(lastMessage(), c.message);
  }
  EXPECT_EQ(variableTable.Lookup("X").GetMask().Size(), 4);
}

TEST_F(ClearTest, AnythingElseIsNoItem) {
  for (const char* line : {"clear undefinedName", "clear 3", "clear p, q", "clear (", "clear lmi obj 2"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), 1);
    EXPECT_EQ(lastMessage(), "Expected variable, parameter, lmi, lme, obj or [separator].");
  }
}

TEST_F(ClearTest, SeparatorIsLeftForTheStatementLoop) {
  setParameter("p", Value(1.0));
  for (const char* line : {"clear ; x = 1", "clear p, x = 1", "clear   ", "clear p  ;"}) {
    SCOPED_TRACE(line);
    setParameter("p", Value(1.0));
    EXPECT_EQ(run(line), 0) << output.str();
    const int separator = peekNonSpace();
    EXPECT_TRUE(separator == kSemicolon || separator == kComma || separator == kEol) << separator;
  }
}

TEST_F(ClearTest, ItemFormsSetNeedsRebuildAndKeepTheBuiltResults) {
  builtVariableCount = 1;
  builtVariableNames.push_back("X");
  setParameter("p", Value(1.0));
  needsRebuild = 0;
  EXPECT_EQ(run("clear p"), 0) << output.str();
  EXPECT_EQ(needsRebuild, 1);
  EXPECT_EQ(builtVariableCount, 1);
  EXPECT_EQ(builtVariableNames.size(), 1u);
}

TEST_F(ClearTest, BareClearResetsTheProblemAndKeepsAcceptedSettings) {
  addThreeLmis();
  addLme("e1");
  objective = VLmiBlock(2);
  objectiveText = "x";
  builtVariableCount = 1;
  builtVariableNames.push_back("X");
  builtVariableValues.push_back(GenMatrixD(2, 2, 1.0, 0));
  objectiveVector = GenMatrixD(3, 1, 1.0, 0);
  declare("X", kGen, Value(2, 2, 1.0));
  setParameter("p", Value(1.0));
  setParameter("eps", Value(1e-6));
  setParameter("max_iter", Value(50.7));
  parameterTable.Lookup("ans") = Value(5.0);
  inlineNames.PushBack("p");
  needsRebuild = 0;

  EXPECT_EQ(run("clear"), 0) << output.str();
  EXPECT_EQ(output.str(), "");
  EXPECT_EQ(lmiStarts.Count() + lmiBlocks.Count() + lmiTexts.Count(), 0);
  EXPECT_EQ(lmeBlocks.Count() + lmeTexts.Count(), 0);
  EXPECT_EQ(objective.NumTerms(), 1);
  EXPECT_EQ(objectiveText, "");
  EXPECT_EQ(builtVariableCount, 0);
  EXPECT_TRUE(builtVariableNames.empty());
  EXPECT_TRUE(builtVariableValues.empty());
  EXPECT_EQ(objectiveVector.Rows(), 0);
  EXPECT_EQ(objectiveVector.Cols(), 0);
  EXPECT_EQ(needsRebuild, 1);

  EXPECT_EQ(variableTable.SortedKeys(1), (Strings{kAffineVariableName}));
  EXPECT_EQ(parameterTable.SortedKeys(1),
            (Strings{"ans", "display", "eps", "fact", "max_iter", "noprog", "rank_eps"}));
  EXPECT_TRUE(parameterTable.Lookup("ans").IsEmpty());
  // The accepted settings come back as the parameters; max_iter as its
  // truncated setting.
  EXPECT_EQ(solverSettings.eps, 1e-6);
  EXPECT_EQ(*parameterTable.Lookup("eps").Scalar(), 1e-6);
  EXPECT_EQ(*parameterTable.Lookup("max_iter").Scalar(), 50.0);
  EXPECT_EQ(*parameterTable.Lookup("rank_eps").Scalar(), 1e-10);
  EXPECT_EQ(*parameterTable.Lookup("fact").Scalar(), 1.0);
  EXPECT_EQ(inlineNames.Count(), 1);
}

TEST_F(ClearTest, BareClearWithAnInvalidSettingKeepsVariablesAndParameters) {
  addThreeLmis();
  objective = VLmiBlock(2);
  builtVariableNames.push_back("X");
  declare("X", kGen, Value(2, 2, 1.0));
  setParameter("p", Value(1.0));
  setParameter("eps", Value(-1.0));

  EXPECT_EQ(run("clear"), 1);
  EXPECT_EQ(lastMessage(), "Parameter 'eps' must be a positive scalar.");
  EXPECT_EQ(lmiBlocks.Count(), 0);
  EXPECT_EQ(objective.NumTerms(), 1);
  EXPECT_TRUE(builtVariableNames.empty());
  EXPECT_EQ(classifyName("X"), kVariable);
  EXPECT_EQ(classifyName("p"), kParameter);
  EXPECT_EQ(*parameterTable.Lookup("eps").Scalar(), -1.0);
  EXPECT_EQ(solverSettings.eps, 1e-4);
}

}  // namespace
