#include "problem_primaries.h"

#include <cmath>
#include <iostream>
#include <vector>

#include "allocation.h"
#include "builder.h"
#include "constraints.h"
#include "evaluator.h"
#include "lexer.h"
#include "lmi_evaluator.h"
#include "primaries.h"
#include "report.h"
#include "value_utils.h"
#include "vlmi_block.h"
#include "workspace.h"

namespace {

// Evaluates the texts of LMI k (0-based) into blocks, checking each block's
// shape as it comes; n is the sum of the diagonal blocks' rows (a double:
// it may pass the int range).
int evaluateLmiBlocks(int k, std::vector<VLmiBlock>& blocks, double& n) {
  const int count = lmiBlockCount(lmiStarts, lmiBlocks.Size(), k);
  const ListNode<std::string>* text = lmiTexts.NodeAt(lmiStarts.NodeAt(k)->value);
  blocks.assign(count, VLmiBlock(1));
  n = 0;
  BlockTrianglePosition at;
  for (int b = 0; b < count; ++b, text = text->next, at.Advance()) {
    if (evalLmiText(blocks[b], text->value)) return 1;
    const char* shapeError = lmiBlockShapeError(blocks, b, at, count > 1);
    if (shapeError != nullptr) return fail(shapeError);
    if (at.OnDiagonal()) n += blocks[b].Rows();
  }
  return 0;
}

// The value of LMI k: a column for a column-vector LMI, else the symmetric
// matrix that the lower-triangle blocks describe. Each block's own value is
// shown as it is taken.
int evaluateLmi(int k, Value& result) {
  std::vector<VLmiBlock> blocks;
  double n = 0.0;
  if (evaluateLmiBlocks(k, blocks, n)) return 1;
  const int count = static_cast<int>(blocks.size());
  const int column = count == 1 && blocks[0].Cols() == 1;
  if (!isAllocatableCount(column ? n : n * n)) return fail("Invalid size.");
  GenMatrixD out(static_cast<int>(n), column ? 1 : static_cast<int>(n), 0.0, 0);
  int r0 = 0;
  int c0 = 0;
  BlockTrianglePosition at;
  for (int b = 0; b < count; ++b, at.Advance()) {
    const VLmiBlock& block = blocks[b];
    const Value v = block.Eval(variableTable, kLmiReading);
    std::cout << "tmpLmi(" << b << ").Eval(vartbl)\n";
    printValue(std::cout, v) << "\n";
    const GenMatrixD m = valueToMatrix(v);
    if (m.Rows() == block.Rows() && m.Cols() == block.Cols()) {
      for (int p = 0; p < m.Rows(); ++p)
        for (int q = 0; q < m.Cols(); ++q) {
          out(r0 + p, c0 + q) = m(p, q);
          if (!column) out(c0 + q, r0 + p) = m(p, q);
        }
    }
    if (at.OnDiagonal()) {
      r0 += block.Rows();
      c0 = 0;
    } else {
      c0 += block.Cols();
    }
  }
  result = out;
  return 0;
}

// The value of a stored LME or objective text; message when the text no
// longer involves a variable, or when nothing was stated (an objective's
// text is then empty, and reading it would report on a line never typed).
int evaluateText(const std::string& text, const char* constantMessage, ScalarReading reading, Value& result) {
  if (text.empty()) return fail(constantMessage);
  VLmiBlock block(1);
  if (evalLmiText(block, text)) return 1;
  if (block.NumTerms() == 1) return fail(constantMessage);
  result = block.Eval(variableTable, reading);
  return 0;
}

// lmi(k) or lme(k) after eval(: the keyword, then the index directly.
int readConstraintIndex(int kind, const char* missingIndex, int stored, int& k) {
  expectToken(kind);
  if (parseIndexArg(k)) return 1;
  if (k == 0) return fail(missingIndex);
  if (k - 1 >= stored) return fail("Subscript out of range.");
  return 0;
}

int isNumberEverywhere(const Value& m) {
  if (m.IsScalar()) return !std::isnan(*m.Scalar());
  if (!m.IsMatrix()) return 1;
  const GenMatrixD& matrix = *m.Matrix();
  for (int e = 0; e < matrix.Size(); ++e)
    if (std::isnan(matrix[e])) return 0;
  return 1;
}

// The checks of a mask M for a matrix variable; 0, or 1 after a report.
int checkMatrixMask(const std::string& name, const VarRecord& record, const Value& M) {
  const Value& value = record.GetValue();
  if (M.Rows() != value.Rows() || M.Cols() != value.Cols())
    return fail("Can not assign mask to a variable with different size.");
  // An empty variable has no entry that a mask could select.
  if (M.IsEmpty()) return fail("Can not assign an empty mask.");
  if (record.GetType() == kSym && !isSymmetric(M)) return fail("Mask of variable \"" + name + "\" must be symmetric!");
  if (record.GetType() == kDiag && !isDiagonal(M)) return fail("Mask of variable \"" + name + "\" must be diagonal!");
  return 0;
}

// The mask's int entries, M's elements truncated toward zero in
// column-major order.
void maskEntries(const Value& M, SharedArray<int>& mask) {
  const int count = M.ElementCount();
  mask.Resize(count);
  if (M.IsScalar()) {
    mask[0] = static_cast<int>(*M.Scalar());
    return;
  }
  const GenMatrixD& m = *M.Matrix();
  for (int e = 0; e < count; ++e) mask[e] = static_cast<int>(m[e]);
}

int assignMask(const std::string& name, Value& result) {
  skipSpaces();
  expectToken(kAssign);
  skipSpaces();
  if (evalExpression(result)) return 1;
  const Value& M = result;
  VarRecord& record = variableTable.Lookup(name);
  if (M.Min() < 0.0 || M.Max() > record.GetValue().ElementCount() || !isNumberEverywhere(M))
    return fail("Mask subscript out of range.");
  // The mask's entries and, for a matrix mask, a count for each number it
  // may hold, all ints.
  if (checkAllocatable(intsAsElements(2.0 * M.ElementCount() + 1.0))) return 1;
  SharedArray<int> mask;
  if (record.GetType() == kScl) {
    if (!M.IsScalar()) return fail("Can not assign a matrix mask to a scalar variable.");
    maskEntries(M, mask);
  } else {
    if (checkMatrixMask(name, record, M)) return 1;
    maskEntries(M, mask);
    SharedArray<int> counts;
    if (checkIndexVector(mask, counts) == kMaskWithGap) return fail("Mask has noncontiguous subscripts.");
  }
  record.GetMask().Share(mask);
  needsRebuild = 1;
  return 0;
}

}  // namespace

int primaryBuild(Value& result) {
  expectToken(kBuild);
  if (checkReservedParameters()) return 1;
  newlineUnlessCompact();
  if (needsRebuild) {
    std::cout << "Building...\n";
    if (buildProblem()) return 1;
    std::cout << "Succesfully built.\n";
  } else {
    std::cout << "There is no need to rebuild the problem.\n";
  }
  newlineUnlessCompact();
  result = 0.0;
  resultName = kAnsName;
  return 0;
}

int primaryEval(Value& result) {
  expectToken(kEval);
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  int k = 0;
  switch (peekNonSpace()) {
    case kLmi:
      if (readConstraintIndex(kLmi, "Expected 'lmi' index.", lmiStarts.Size(), k)) return 1;
      if (evaluateLmi(k - 1, result)) return 1;
      break;
    case kLme:
      if (readConstraintIndex(kLme, "Expected 'lme' index.", lmeBlocks.Size(), k)) return 1;
      if (evaluateText(lmeTexts.NodeAt(k - 1)->value, "LME does not involve any variables.", kLmeReading, result))
        return 1;
      break;
    case kObj:
      expectToken(kObj);
      if (evaluateText(objectiveText, "Objective does not involve any variables.", kObjectiveReading, result))
        return 1;
      break;
    default:
      break;
  }
  skipSpaces();
  if (expectToken(kRightParen)) return 1;
  resultName = kAnsName;
  return 0;
}

int takeMaskVariable(std::string& name) {
  expectToken(kMask);
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  if (expectTokenText(kVariable, name)) return 1;
  skipSpaces();
  return expectToken(kRightParen);
}

int primaryMask(Value& result) {
  std::string name;
  if (takeMaskVariable(name)) return 1;
  if (peekNonSpace() != kAssign) {
    const VarRecord& record = variableTable.Lookup(name);
    if (checkAllocatable(record.GetMask().Size())) return 1;  // shown at the variable's size
    maskToValue(record, result);
  } else if (assignMask(name, result)) {
    return 1;
  }
  resultName = kAnsName;
  return 0;
}
