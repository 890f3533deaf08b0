#include "control_flow.h"

#include <cstdint>
#include <string>

#include "evaluator.h"
#include "interrupts.h"
#include "lexer.h"
#include "line_input.h"
#include "report.h"
#include "statements.h"
#include "workspace.h"

namespace {

const char kElseMessage[] = "'else' found outside of an if statement.";
const char kForEndOfInput[] = "End of file reached inside a for loop.";
const char kWhileEndOfInput[] = "End of file reached inside a while loop.";
const char kIfEndOfInput[] = "End of file reached inside an if statement.";
const char kTooDeepMessage[] = "Too many nested statements.";
const char kTooManyPassesMessage[] = "Too many loop passes.";

using TokenNode = ListNode<Token>;

// The input ended where a construct needed more of it. A stream that failed
// has already been reported by readLine.
int reportEndOfInput(const char* message) {
  if (!inputFailed()) reportError(message);
  return 1;
}

// Reads the next line once the line end that was pending has been taken and
// nothing else is pending; 1 after reporting message at the end of the input.
int readLineIfNothingPending(const char* message) {
  if (tokenQueue.NothingPending() && !readLine()) return reportEndOfInput(message);
  return 0;
}

// The token scanned after node (the front one when node is null), which is
// the list's last. A line end that is the last pending token has the next
// input line read first, since the scanner would only repeat the line end.
// Null when the input has no further line.
TokenNode* scanAfter(TokenNode* node) {
  if (node != nullptr && node->value.kind == kEol && !readLine()) return nullptr;
  peekKind(tokenQueue.Size());
  // The end token made for a construct dropped by Ctrl-C closes nothing.
  if (inputAbandoned()) return nullptr;
  return tokenQueue.NodeAt(tokenQueue.Size() - 1);
}

// A walk over the pending tokens from the front that takes none of them:
// the queue's list, then its rest (read where it lies, not copied), then
// tokens scanned as the walk needs them, reading lines. Scanned tokens go to
// the end of the list, after the rest's, so a walk that runs past the rest
// first moves the rest's tokens into the list.
class PendingWalk {
 public:
  // The next token, null when the input has no further line.
  const Token* Next() {
    if (inRest) {
      if (index < tokenQueue.rest.end) return &tokenQueue.rest.At(index++);
      tokenQueue.MaterializeRest();
      inRest = false;
      node = tokenQueue.NodeAt(tokenQueue.Size() - 1);
    }
    TokenNode* following = node != nullptr ? node->next : tokenQueue.Front();
    if (following == nullptr && tokenQueue.rest.Size() > 0) {
      inRest = true;
      index = tokenQueue.rest.next;
      return Next();
    }
    node = following != nullptr ? following : scanAfter(node);
    return node != nullptr ? &node->value : nullptr;
  }

 private:
  TokenNode* node = nullptr;  // the last list token walked
  bool inRest = false;
  int index = 0;  // of the next rest token
};

// What a scan to the matching end does with an else at the construct's own
// depth.
enum ElseRule {
  kElseIgnored,     // a loop: the body's own statements deal with it
  kElseStops,       // skipping the first branch of an if
  kElseRefused,     // after a branch of an if: a second else
  kElsePassedOnce,  // after a first branch left by break: the if's own else
};

enum ScanResult { kScanAtEnd, kScanAtElse, kScanStrayElse, kScanInputEnded, kScanTooDeep };

// Whether a walk to the matching end refuses a construct nested past the
// limit: one that is to run does; one that is being dropped runs nothing.
enum NestingCheck { kNestingChecked, kNestingUnchecked };

// Walks the pending tokens from the front, scanning and reading lines as
// needed but taking nothing, to the end that closes the construct the walk
// begins in: for, if and while open a construct, end closes one. count
// receives the number of tokens walked, the closing end (or the else that
// stopped the walk) included. A checked walk stops at a construct that would
// run past the nesting limit and reports it there.
ScanResult scanToMatchingEnd(ElseRule rule, int& count, NestingCheck check = kNestingChecked) {
  int depth = 1;
  count = 0;
  PendingWalk walk;
  for (const Token* token = walk.Next(); token != nullptr; token = walk.Next()) {
    ++count;
    switch (token->kind) {
      case kFor:
      case kIf:
      case kWhile:
        if (check == kNestingChecked && NestingLevel::Depth() + depth > kMaxNestingDepth) {
          reportError(kTooDeepMessage);
          return kScanTooDeep;
        }
        ++depth;
        break;
      case kEnd:
        if (--depth == 0) return kScanAtEnd;
        break;
      case kElse:
        if (depth != 1 || rule == kElseIgnored) break;
        if (rule == kElseStops) return kScanAtElse;
        if (rule == kElseRefused) return kScanStrayElse;
        rule = kElseRefused;
        break;
      default:
        break;
    }
  }
  return kScanInputEnded;
}

// A construct that failed before its closing end was taken. At the prompt
// the rest of it is read on to that end (with the continuation prompt, as a
// loop's body is read) and dropped, so that none of its lines runs as a
// statement of its own: the statement loop drops only what is pending, and
// the construct's end would end the session. Nothing is read once the input
// has ended, nor where a failure ends the run (a script, exec). Returns 1.
int abandonConstruct() {
  if (failureEndsRun() || promptInputEnded()) return 1;
  int count;
  if (scanToMatchingEnd(kElseIgnored, count, kNestingUnchecked) == kScanAtEnd) tokenQueue.DropPending(0, count);
  return 1;
}

// The report of a scan that did not reach the end of its construct (or the
// else it looked for): 1. A construct nested too deep was reported by the
// scan itself.
int reportScanFailure(ScanResult result, const char* endOfInputMessage) {
  if (result == kScanTooDeep) return 1;
  if (result == kScanStrayElse) {
    reportError(kElseMessage);
    return 1;
  }
  return reportEndOfInput(endOfInputMessage);
}

// The end of a header (or of an else): blanks, an optional ";" or ",", and
// an optional line end, after which the next line is read when nothing else
// is pending. The first statement of the body may follow on the same line.
int takeHeaderEnd(const char* endOfInputMessage) {
  skipSpaces();
  const int kind = peekKind(0);
  if (kind == kSemicolon || kind == kComma) {
    expectToken(kind);
    skipSpaces();
  } else if (kind != kEol) {
    reportError(kExpectedSeparatorMessage);
    return 1;
  }
  if (peekKind(0) == kEol) {
    expectToken(kEol);
    if (readLineIfNothingPending(endOfInputMessage)) return 1;
  }
  skipSpaces();
  return 0;
}

// After an else: a ";" or "," directly after it belongs to the else.
void takeElseSeparator() {
  skipSpaces();
  const int kind = peekKind(0);
  if (kind == kSemicolon || kind == kComma) expectToken(kind);
}

// After a statement of a body: a ";" or "," is taken, a line end is left for
// the body to take; anything else is an error.
int takeStatementSeparator() {
  skipSpaces();
  const int kind = peekKind(0);
  if (kind == kSemicolon || kind == kComma) {
    expectToken(kind);
    return 0;
  }
  if (kind == kEol) return 0;
  reportError(kExpectedSeparatorMessage);
  return 1;
}

// The pending tokens of a loop, set aside while it runs: the construct itself
// (a while's condition, the body and the closing end), whose copy every pass
// replays, and the tokens that were already pending after it, which follow
// once the loop is over.
//
// The construct's tokens are kept once, in an array that its passes and the
// loops nested in it share: a nested loop's construct is a stretch of the
// same array, so the tokens held for all levels together grow with the
// script, not with its depth.
class LoopTokens {
 public:
  // Scans to the loop's end and moves its tokens out of the queue; 1 after
  // reporting endOfInputMessage when the input ends first, or the nesting
  // limit when the body nests too deep.
  int Take(const char* endOfInputMessage) {
    int count;
    const ScanResult scan = scanToMatchingEnd(kElseIgnored, count);
    if (scan != kScanAtEnd) return reportScanFailure(scan, endOfInputMessage);
    tokenQueue.SplitPending(count, construct);
    tokenQueue.SplitPending(tokenQueue.Size() + tokenQueue.rest.Size(), after);
    if (construct.rest.Size() == 0) share();
    return 0;
  }

  // Makes the construct the pending tokens: a copy of the few tokens kept in
  // its list, the shared rest after them. A name is classified in the saved
  // tokens first, so that the classification carries over to every pass
  // for as long as the workspace keeps its names.
  void Replay() {
    discardTokenQueue();
    for (TokenNode* node = construct.NodeAt(0); node != nullptr; node = node->next) {
      classifiedKind(node->value);
      tokenQueue.Append(node->value);
    }
    tokenQueue.rest = construct.rest;
  }

  // Drops what is left of the last pass (after a break, a false condition or
  // a failure) and lets the queue go on with what followed the loop's end.
  void Finish() {
    discardTokenQueue();
    after.SplitAt(tokenQueue, 0);
    tokenQueue.rest = after.rest;
  }

 private:
  // A construct read from the input (none of it from an enclosing loop's
  // array) moves into an array of its own.
  void share() {
    auto tokens = std::make_shared<std::vector<Token>>();
    tokens->reserve(construct.Size());
    for (TokenNode* node = construct.NodeAt(0); node != nullptr; node = node->next)
      tokens->push_back(std::move(node->value));
    construct.Clear();
    construct.rest.end = static_cast<int>(tokens->size());
    construct.rest.tokens = std::move(tokens);
  }

  TokenQueue construct;
  TokenQueue after;
};

enum PassResult { kPassComplete, kPassBroken, kPassFailed };

// Runs one pass of a loop body from the front of the queue to the loop's end.
// A pass past runLimits.loopPasses, or after an interrupt, fails before it
// begins.
PassResult runPass() {
  if (stopIfInterrupted()) return kPassFailed;
  if (++loopPassesRun > runLimits.loopPasses) {
    reportError(kTooManyPassesMessage);
    return kPassFailed;
  }
  for (;;) {
    // Every pass ends with its end; were it taken by a statement, the scanner
    // would give line ends for ever.
    if (tokenQueue.NothingPending()) return kPassComplete;
    skipSpaces();
    const int kind = peekKind(0);
    if (kind == kEol) {
      expectToken(kEol);
      continue;
    }
    if (kind == kEnd || kind == kBreak) {
      expectToken(kind);
      return kind == kEnd ? kPassComplete : kPassBroken;
    }
    if (dispatchStatement()) return kPassFailed;
    if (peekKind(0) == kBreak) {
      expectToken(kBreak);
      return kPassBroken;
    }
    if (takeStatementSeparator()) return kPassFailed;
  }
}

// The elements a for loop runs over: a scalar's one, a matrix's in
// column-major order, none for the empty value. The loop holds the header's
// value itself rather than a copy of its elements: the first pass replaces
// the parameter's value, after which the loop's hold is the only way to the
// elements, so nothing the body does changes the element of a later pass.
class LoopElements {
 public:
  explicit LoopElements(const Value& header) : value(header) {}

  int Count() const { return value.ElementCount(); }
  double operator[](int k) const { return value.IsScalar() ? *value.Scalar() : value.Matrix()->Data()[k]; }

 private:
  const Value value;
};

// The parameter a for loop runs: gives it the element of every pass. The
// body may have cleared the parameter; it is then created again. The place
// of its value is looked up again only once the parameters have gained or
// lost a name, which is the only way an entry's value moves.
class LoopVariable {
 public:
  explicit LoopVariable(const std::string& name) : name(name) {}

  // A parameter that constraints may use has changed, so the next build
  // must not reuse the last one.
  void Store(double element) {
    if (slot == nullptr || generation != parameterTable.Generation()) {
      parameterTable.Insert(name, Value());
      slot = &parameterTable.Lookup(name);
      generation = parameterTable.Generation();
    }
    *slot = element;
    needsRebuild = 1;
  }

 private:
  const std::string& name;
  Value* slot = nullptr;
  std::uint64_t generation = 0;
};

void removeInlineName(const std::string& name) {
  int position;
  if (findInlineName(name, position)) inlineNames.Remove(position);
}

// Puts name on the inline list unless it is there already.
void ensureInlineName(const std::string& name) {
  int position;
  if (!findInlineName(name, position)) inlineNames.PushBack(name);
}

// The kind of the first pending token from position n on that is not a blank.
int kindAfterBlanks(int n) {
  int kind;
  while ((kind = peekKind(n)) == kSpace) ++n;
  return kind;
}

// The passes of a for loop over the value its header assigned to name, up
// to a break; 1 after a failed pass.
int runForPasses(const std::string& name, LoopTokens& tokens) {
  const LoopElements elements(parameterTable.Lookup(name));
  if (elements.Count() > 0) ensureInlineName(name);
  LoopVariable variable(name);
  for (int k = 0; k < elements.Count(); ++k) {
    variable.Store(elements[k]);
    tokens.Replay();
    const PassResult pass = runPass();
    if (pass != kPassComplete) return pass == kPassFailed;
  }
  return 0;
}

// A for loop from its header's assignment on; name is off the inline list.
int runForLoop(const std::string& name) {
  // The header assigns the loop variable without showing it.
  const int shown = showResults;
  showResults = 0;
  const int status = exprStatement();
  showResults = shown;
  LoopTokens tokens;
  if (status || takeHeaderEnd(kForEndOfInput) || tokens.Take(kForEndOfInput)) return abandonConstruct();
  const int failed = runForPasses(name, tokens);
  tokens.Finish();
  return failed;
}

// The branch of an if that runs, up to its end, the else that ends a first
// branch, or a break; the break stays pending.
enum BranchEnd { kBranchAtEnd, kBranchAtElse, kBranchAtBreak, kBranchFailed };

BranchEnd runBranch(bool firstBranch) {
  for (;;) {
    skipSpaces();
    const int kind = peekKind(0);
    if (kind == kEol) {
      expectToken(kEol);
      if (readLineIfNothingPending(kIfEndOfInput)) return kBranchFailed;
      continue;
    }
    if (kind == kElse && firstBranch) {
      expectToken(kElse);
      return kBranchAtElse;
    }
    if (kind == kEnd) {
      expectToken(kEnd);
      return kBranchAtEnd;
    }
    if (kind == kBreak) return kBranchAtBreak;
    if (dispatchStatement()) return kBranchFailed;
    if (peekKind(0) == kBreak) return kBranchAtBreak;
    if (takeStatementSeparator()) return kBranchFailed;
  }
}

// Skips the first branch of an if whose condition is false. Returns 1 after
// an error, 0 otherwise; elseFound tells whether a second branch follows.
int skipFirstBranch(bool& elseFound) {
  int count;
  const ScanResult skipped = scanToMatchingEnd(kElseStops, count);
  if (skipped != kScanAtEnd && skipped != kScanAtElse) return reportScanFailure(skipped, kIfEndOfInput);
  tokenQueue.DropPending(0, count);
  elseFound = skipped == kScanAtElse;
  if (elseFound) takeElseSeparator();
  return 0;
}

// Drops the rest of an if after its branch ended at an else or a break. A
// break stays in front, followed by what followed the if's end.
int dropRestOfIf(BranchEnd branchEnd, bool firstBranch) {
  const bool broken = branchEnd == kBranchAtBreak;
  int count;
  const ScanResult rest = scanToMatchingEnd(broken && firstBranch ? kElsePassedOnce : kElseRefused, count);
  if (rest != kScanAtEnd) return reportScanFailure(rest, kIfEndOfInput);
  tokenQueue.DropPending(broken ? 1 : 0, count);
  return 0;
}

int forConstruct() {
  skipSpaces();
  const Token loopName = peekToken(0);
  if (loopName.kind != kName && loopName.kind != kParameter) {
    reportError("'" + loopName.text + "' is not a name or a parameter.");
    return abandonConstruct();
  }
  if (kindAfterBlanks(1) != kAssign) {
    reportError("Expected assignment.");
    return abandonConstruct();
  }
  // Off the inline list while the header assigns it (which may make it a
  // matrix); on it while the body runs.
  int position;
  const bool wasInline = findInlineName(loopName.text, position);
  if (wasInline) inlineNames.Remove(position);
  if (runForLoop(loopName.text)) {
    // A loop that fails leaves the inline list as it found it.
    if (wasInline)
      ensureInlineName(loopName.text);
    else
      removeInlineName(loopName.text);
    return 1;
  }
  if (!wasInline) removeInlineName(loopName.text);
  return 0;
}

// The passes of a while loop, each after its condition, up to a false
// condition or a break; 1 after a failed condition or pass.
int runWhilePasses(LoopTokens& tokens) {
  for (;;) {
    tokens.Replay();
    Value condition;
    if (evalExpression(condition) || takeHeaderEnd(kWhileEndOfInput)) return 1;
    if (!conditionHolds(condition)) return 0;
    const PassResult pass = runPass();
    if (pass != kPassComplete) return pass == kPassFailed;
  }
}

int whileConstruct() {
  skipSpaces();
  LoopTokens tokens;
  if (tokens.Take(kWhileEndOfInput)) return abandonConstruct();
  const int failed = runWhilePasses(tokens);
  tokens.Finish();
  return failed;
}

// An if from its condition on; 1 after a failure, which always comes before
// the if's end has been taken.
int runIf() {
  skipSpaces();
  Value condition;
  if (evalExpression(condition)) return 1;
  if (takeHeaderEnd(kIfEndOfInput)) return 1;
  const bool firstBranch = conditionHolds(condition);
  if (!firstBranch) {
    bool elseFound = false;
    if (skipFirstBranch(elseFound)) return 1;
    if (!elseFound) return 0;
  }
  const BranchEnd branchEnd = runBranch(firstBranch);
  if (branchEnd == kBranchFailed) return 1;
  if (branchEnd == kBranchAtEnd) return 0;
  return dropRestOfIf(branchEnd, firstBranch);
}

int ifConstruct() { return runIf() ? abandonConstruct() : 0; }

// Runs a construct whose keyword has been taken one nesting level deeper.
int runNested(int (*construct)()) {
  if (NestingLevel::Refuses()) return abandonConstruct();
  NestingLevel level;
  return construct();
}

}  // namespace

int NestingLevel::depth = 0;

bool NestingLevel::Refuses() {
  if (!Full()) return false;
  reportError(kTooDeepMessage);
  return true;
}

bool conditionHolds(const Value& condition) {
  if (condition.IsScalar()) return *condition.Scalar() != 0.0;
  if (!condition.IsMatrix()) return false;
  const GenMatrixD& m = *condition.Matrix();
  const double* element = m.Data();
  for (const double* end = element + m.Rows() * m.Cols(); element != end; ++element)
    if (*element != 0.0) return true;
  return false;
}

int forStatement() {
  expectToken(kFor);
  return runNested(forConstruct);
}

int whileStatement() {
  expectToken(kWhile);
  return runNested(whileConstruct);
}

int ifStatement() {
  expectToken(kIf);
  return runNested(ifConstruct);
}

int elseOutsideIf() {
  expectToken(kElse);
  reportError(kElseMessage);
  return 1;
}

int breakOutsideLoop() {
  expectToken(kBreak);
  reportError("'break' found outside of a loop.");
  return 1;
}
