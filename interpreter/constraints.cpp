#include "constraints.h"

#include <iostream>
#include <string>
#include <vector>

#include "lexer.h"
#include "line_input.h"
#include "lmi_evaluator.h"
#include "primaries.h"
#include "report.h"
#include "workspace.h"

namespace {

// Reads one right-hand side into block and text; noVariables is the
// statement's message for an expression without variables. (The evaluator
// itself refuses a variable without elements.)
int readConstraint(VLmiBlock& block, std::string& text, const char* noVariables) {
  if (evalLmiRecording(block, text)) return 1;
  if (block.NumTerms() == 1) return fail(noVariables);
  return 0;
}

// ---- the block form --------------------------------------------------------

// The blocks of a block LMI as they are read, row by row.
struct BlockList {
  std::vector<VLmiBlock> blocks;
  std::vector<std::string> texts;
};

// Takes the line ends at the front, reading further input lines while the
// list needs one, and the blanks after them.
int skipBlockLineEnds() {
  while (peekKind(0) == kEol) {
    expectToken(kEol);
    if (tokenQueue.NothingPending() && !readLine()) {
      // A failed input stream has been reported where it failed.
      if (!inputFailed()) reportError("End of file reached inside a block lmi loop.");
      return 1;
    }
    skipSpaces();
  }
  return 0;
}

// Checks block (i, j), the last one read, against the blocks before it.
int checkBlockShape(const BlockList& list, int i, int j) {
  const int b = static_cast<int>(list.blocks.size()) - 1;
  if (const char* message = lmiBlockError(list.blocks, b, {i, j}, 1, variableTable)) return fail(message);
  return 0;
}

// What follows block (i, j): after a diagonal block a row end (";" or line
// ends) starts the next row; within a row a "," may separate the blocks.
int takeBlockSeparator(int& i, int& j) {
  ++j;
  const int next = peekKind(0);
  if (j <= i) {
    if (next == kComma) {
      expectToken(kComma);
      skipSpaces();
    }
    return 0;
  }
  if (next == kRightParen) return 0;
  if (next != kSemicolon && next != kEol) return fail("Expected semicolon or end of line.");
  if (next == kSemicolon) {
    expectToken(kSemicolon);
    skipSpaces();
  }
  if (skipBlockLineEnds()) return 1;
  ++i;
  j = 0;
  return 0;
}

// Reads the lower triangle up to the closing ")", which is left pending.
// The list must hold at least one block and end after a diagonal block.
int readBlockList(BlockList& list) {
  int i = 0, j = 0;
  while (peekKind(0) != kRightParen) {
    list.blocks.emplace_back(1);
    list.texts.emplace_back();
    if (evalLmiRecording(list.blocks.back(), list.texts.back())) return 1;
    skipSpaces();
    if (checkBlockShape(list, i, j) || takeBlockSeparator(i, j)) return 1;
  }
  if (list.blocks.empty()) return fail("Empty block lmi.");
  if (j != 0 && j <= i) return fail("Missing diagonal block in block lmi.");
  return 0;
}

// The block form after "lmi =": block( lower triangle ).
int storeBlockLmi() {
  expectToken(kBlock);
  if (expectToken(kLeftParen)) return 1;
  skipSpaces();
  if (skipBlockLineEnds()) return 1;
  BlockList list;
  if (readBlockList(list)) return 1;
  expectToken(kRightParen);
  lmiStarts.PushBack(lmiBlocks.Size());
  for (size_t t = 0; t < list.blocks.size(); ++t) {
    lmiBlocks.PushBack(list.blocks[t]);
    lmiTexts.PushBack(list.texts[t]);
  }
  return 0;
}

// ---- single constraints ----------------------------------------------------

int storeLmi() {
  if (peekKind(0) == kBlock) return storeBlockLmi();
  VLmiBlock block(1);
  std::string text;
  if (readConstraint(block, text, "LMI does not involve any variables.")) return 1;
  if (block.Cols() > 1 && block.Rows() != block.Cols())
    return fail("LMI must be a square matrix or a column vector.");
  lmiStarts.PushBack(lmiBlocks.Size());
  lmiBlocks.PushBack(block);
  lmiTexts.PushBack(text);
  return 0;
}

int storeLme() {
  VLmiBlock block(1);
  std::string text;
  if (readConstraint(block, text, "LME does not involve any variables.")) return 1;
  lmeBlocks.PushBack(block);
  lmeTexts.PushBack(text);
  return 0;
}

int lmiCount() { return lmiStarts.Size(); }
int lmeCount() { return lmeBlocks.Size(); }

// What distinguishes the two listed kinds of constraint in their common
// statement.
struct ConstraintKind {
  int keyword;
  const char* unexpected;  // the message for any other token after the keyword
  int (*store)();
  int (*count)();
  void (*list)(int);
};

const ConstraintKind kLmiKind = {kLmi, "Expected [separator], lmi index or assignment.", storeLmi, lmiCount,
                                 listLmi};
const ConstraintKind kLmeKind = {kLme, "Expected [separator], lme index or assignment.", storeLme, lmeCount,
                                 listLme};

// Lists number k (from 1).
int listNumbered(const ConstraintKind& kind, int k) {
  if (k - 1 >= kind.count()) return fail("Subscript out of range.");
  kind.list(k - 1);
  return 0;
}

int constraintStatement(const ConstraintKind& kind) {
  expectToken(kind.keyword);
  const int next = peekNonSpace();
  if (next == kLeftParen) {
    int k;
    if (parseIndexArg(k)) return 1;
    // parseIndexArg reads only a "(" at the very front.
    if (k == 0) return fail("Extra space.");
    return listNumbered(kind, k);
  }
  if (next == kAssign) {
    skipSpaces();
    expectToken(kAssign);
    skipSpaces();
    if (kind.store()) return 1;
    needsRebuild = 1;
    if (peekNonSpace() == kSemicolon) return 0;
    return listNumbered(kind, kind.count());
  }
  if (!isStatementSeparator(next)) return fail(kind.unexpected);
  const int count = kind.count();
  for (int k = 0; k < count; ++k) kind.list(k);
  return 0;
}

// The rest of a listing whose body is one line: the optional empty line,
// then the text on a line of its own after one blank.
void listOneLine(const std::string& text) {
  newlineUnlessCompact();
  std::cout << "\n " << text << "\n";
}

}  // namespace

void listLmi(int k) {
  const int n = lmiBlockCount(lmiStarts, lmiBlocks.Size(), k);
  const ListNode<std::string>* text = lmiTexts.NodeAt(lmiStarts.NodeAt(k)->value);
  newlineUnlessCompact();
  std::cout << "lmi(" << k + 1 << ") = ";
  if (n <= 1) {
    listOneLine(text->value);
  } else {
    std::cout << "\n";
    const int rows = lmiBlockRowCount(n);
    for (int i = 0; i < rows; ++i) {
      newlineUnlessCompact();
      for (int j = 0; j <= i; ++j, text = text->next)
        std::cout << " (" << i + 1 << ", " << j + 1 << "): " << text->value << "\n";
    }
  }
  newlineUnlessCompact();
}

void listLme(int k) {
  newlineUnlessCompact();
  std::cout << "lme(" << k + 1 << ") = ";
  listOneLine(lmeTexts.NodeAt(k)->value);
  newlineUnlessCompact();
}

int lmiStatement() { return constraintStatement(kLmiKind); }

int lmeStatement() { return constraintStatement(kLmeKind); }

int objStatement() {
  expectToken(kObj);
  if (peekNonSpace() == kAssign) {
    skipSpaces();
    if (expectToken(kAssign)) return 1;
    skipSpaces();
    VLmiBlock block(1);
    std::string text;
    if (readConstraint(block, text, "Objective does not involve any variables.")) return 1;
    if (block.Rows() > 1 || block.Cols() > 1) return fail("Objective must be a scalar function.");
    objective = block;
    objectiveText = text;
    needsRebuild = 1;
  }
  if (peekNonSpace() == kSemicolon) return 0;
  newlineUnlessCompact();
  std::cout << "obj = ";
  if (objective.NumTerms() < 2)
    listOneLine("[]");
  else
    listOneLine(objectiveText);
  newlineUnlessCompact();
  return 0;
}
