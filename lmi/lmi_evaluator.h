// The affine-expression evaluator: the matrix language's grammar, level for
// level, over affine blocks instead of values. A variable name yields a term,
// so an operation accepts variable terms only where its result stays affine
// in the variables; every other operation needs constant blocks and works on
// their constant parts.
//
// Every function evaluates into the block it is given, which must be a zero
// block (the constant 0.0, 1 x 1) on entry, and returns 0, or 1 after an
// error has been reported (once, where it was found); after a failure the
// block's content is unspecified. The first token no level accepts is left
// pending for the caller.
//
// The constraint statements, `eval` and the builder reach the evaluator
// through the two entry points: evalLmiRecording reads an expression from the
// token stream and records its text; evalLmiText evaluates such a text again.
// A recorded text reads back as the expression that was written, so it
// evaluates again to the same block.
#ifndef VARNEL_LMI_EVALUATOR_H
#define VARNEL_LMI_EVALUATOR_H

#include <string>

#include "token.h"
#include "value.h"
#include "vlmi_block.h"

// Evaluates the expression at the front of the token queue into block and
// sets text to its recorded text (every run of blanks reduced to one blank);
// the text is set on failure too. Inside another recording the text is also
// appended to the outer one. 0, or 1 after a reported error.
int evalLmiRecording(VLmiBlock& block, std::string& text);

// Evaluates a recorded text into block as if the text followed by ";" were
// the input line. The token queue, the statement text, the line streams and
// the line and column numbers are the same afterwards as before, on success
// and on failure. 0, or 1 after a reported error (shown with the text and a
// caret within it).
int evalLmiText(VLmiBlock& block, const std::string& text);

// One whole affine expression (the loosest level). Expressions nested more
// than 1000 deep (groups, arguments, literal elements) are refused with
// "Too many nested expressions.".
int evalLmiExpression(VLmiBlock& block);

int evalLmiOr(VLmiBlock& block);
int evalLmiAnd(VLmiBlock& block);
int evalLmiRelational(VLmiBlock& block);
// Binds tighter than the relational operators.
int evalLmiEquality(VLmiBlock& block);
// Only after a scalar block; a ":" after anything else stays pending.
int evalLmiRange(VLmiBlock& block);
// While a literal reads its elements, a sign followed directly by a
// non-blank ends the element instead of being an operator.
int evalLmiAdditive(VLmiBlock& block);
int evalLmiMultiplicative(VLmiBlock& block);
int evalLmiPower(VLmiBlock& block);
// At most one prefix sign, looser than "^": -2^2 is 4.
int evalLmiUnarySign(VLmiBlock& block);
int evalLmiNot(VLmiBlock& block);
// A primary and at most one transpose quote directly after it.
int evalLmiPostfix(VLmiBlock& block);

// The element-wise operations on constant blocks: the constant block of the
// 0/1 result.
VLmiBlock lmiOr(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiAnd(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareLt(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareLe(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareGt(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareGe(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareEq(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiCompareNe(const VLmiBlock& a, const VLmiBlock& b);
VLmiBlock lmiNot(const VLmiBlock& a);

// Reads an optional subscript directly after a parameter's name and, when
// one was present, replaces v by the selected elements. 0, or 1 after a
// reported error.
int applyLmiSubscript(Value& v);

// The affine primaries, indexed by the kind of the front token. Each takes
// its own first token and returns 0, or 1 after an error report.
// One entry for each of the kTokenKindCount kinds (a missing one fails to
// compile).
using LmiPrimaryHandler = int (*)(VLmiBlock&);
extern const LmiPrimaryHandler LmiTermPrimaryTable[];

#endif
