// The primaries that stand for themselves or for a workspace entry: the
// error primaries, parentheses, numbers, new names, parameters and variables
// with their subscripts and assignments; the subscript machinery; and the
// two small argument parsers that statements and built-ins share.
//
// Each primary takes its own first token and returns 0, or 1 after an error
// report. An assignment is an expression: the primary that meets "=" after
// its name (and subscript) evaluates the rest as the right-hand side, stores
// the new value and yields the value itself. A value read from the
// workspace, the value of an assignment and the stored value share their
// elements instead of copying them (the solver's point alone is read as a
// copy: the solver writes it in place), so whatever writes the elements of
// an expression's result in place first makes them private (makeWritable),
// and every write into a stored value does the same: the values copy on
// write. Nothing done to a result reaches a stored value, and no later
// assignment reaches a result.
#ifndef VARNEL_PRIMARIES_H
#define VARNEL_PRIMARIES_H

#include <string>

#include "shared_array.h"
#include "value.h"

// How a subscript selects from a value.
enum SubscriptMode : int {
  kWholeValue = 0,    // no subscript, or (:,:)
  kAllElements = 1,   // (:): every element as one column
  kIndexedElements = 2  // a list of 0-based column-major element indices
};

int primaryNotAPrimary(Value& result);
int primaryEol(Value& result);
int primaryInvalidToken(Value& result);
int primaryParen(Value& result);
int primaryNumber(Value& result);
int primaryNewName(Value& result);
int primaryParameter(Value& result);
int primaryVariable(Value& result);

// Reads an optional subscript directly after a name and checks it against
// value: sets mode, the shape rows x cols of the selection and, for
// kIndexedElements, the index list. 0 also when there is no subscript
// (kWholeValue, nothing taken); 1 after an error report.
int parseSubscript(const Value& value, SharedArray<int>& indices, int& rows, int& cols, int& mode);
// Replaces value by the selection parseSubscript described (kWholeValue
// leaves it unchanged). The result never shares the old value's storage.
// 0, or 1 after "Invalid size." for a selection the memory gate refuses,
// with value unchanged.
int readSubscript(Value& value, const SharedArray<int>& indices, int rows, int cols, int mode);
// Writes source's elements (column-major) into target at the listed
// indices; the counts must agree, else "Assignment with different number of
// terms." and 1 with target unchanged.
int assignSubscript(Value& target, const Value& source, const SharedArray<int>& indices);
// Writes source's elements into all of target's, column-major, keeping
// target's shape; the same count test as assignSubscript.
int assignAll(Value& target, const Value& source);

// An optional (k), k >= 1, directly after a keyword: k = 0 when no "("
// follows. 0, or 1 after an error report.
int parseIndexArg(int& k);
// One expression that must be a scalar within the int range: k = its value
// truncated toward zero. 0, or 1 after reporting "Expected integer.".
int parseIntegerArg(int& k);

// A scalar parameter on the inline list that becomes a matrix leaves the
// list, with a warning.
void turnInlineOff(const std::string& name, const Value& current, const Value& next);

#endif
