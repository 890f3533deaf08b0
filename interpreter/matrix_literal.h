// Matrix literals [ ... ]: elements side by side within a row, rows stacked.
// The builder checks the sizes and assembles the result; both the matrix
// evaluator and the affine-expression evaluator read their literals with it
// and map its result codes to the same messages.
#ifndef VARNEL_MATRIX_LITERAL_H
#define VARNEL_MATRIX_LITERAL_H

#include "list.h"
#include "value.h"

// Result codes of MatrixLiteralBuilder::Add.
enum LiteralAddResult : int {
  kLiteralAdded = 0,
  kLiteralTooWide = 1,      // the row would become wider than the first row
  kLiteralRowMismatch = 2,  // the element's row count differs from the row's
  kLiteralTooLarge = 3,     // the literal would be too large to allocate
};

class MatrixLiteralBuilder {
 public:
  MatrixLiteralBuilder();
  ~MatrixLiteralBuilder();
  MatrixLiteralBuilder(const MatrixLiteralBuilder&) = delete;
  MatrixLiteralBuilder& operator=(const MatrixLiteralBuilder&) = delete;

  // Adds one element to the current row; it keeps a share of a matrix's
  // storage. An empty element is dropped (result 0). On any code other than
  // kLiteralAdded nothing changes.
  int Add(Value element);
  // Closes the current row: 0 closed (or no element to close, so empty rows
  // vanish); 1 its width differs from the first row's (the row stays open).
  int EndRow();
  // Closes the current row and builds the value: 0 with out set (empty when
  // there is no element, a scalar for 1 x 1); 1 when the last row does not
  // close (out is then empty).
  int Assemble(Value& out);

 private:
  List<Value> elements;    // the non-empty elements, in order
  List<int> rowEnds;       // per closed row: elements added up to its end
  int rowHeight;           // rows of the current row's elements; 0 while it has none
  int rowWidth;            // columns accumulated in the current row
  int totalRows;           // sum of the heights of the closed rows
  int width;               // columns of the first closed row; 0 until one closes
  long long elementTotal;  // elements of every element added so far
  double room;             // elements the memory gate last let through
};

// The primary of "[": reads the literal, over several input lines when a
// row end or a bracket leaves it open. 0, or 1 after an error report;
// insideBrackets has its previous value again on every return.
int primaryMatrixLiteral(Value& result);

// Reports the failure that a nonzero result of Add, EndRow or Assemble
// stands for (the latter two fail only on a row of another width, as
// kLiteralTooWide does) and returns 1.
int reportLiteralFailure(int code);

// Takes the end-of-line tokens at the front, reading further input lines
// while the literal needs one, and the blanks after them; a recorded text
// leaves them out. 0, or 1 after reporting that the input ended inside the
// literal.
int skipLiteralLineEnds();
// Takes the row end at the front, ";" or an end of line (either recorded as
// ";"), with the blanks and further line ends after it. 0, or 1 after
// reporting that the input ended inside the literal.
int takeLiteralRowEnd();

#endif
