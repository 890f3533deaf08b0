#include "matrix_literal.h"

#include <algorithm>
#include <utility>

#include "allocation.h"
#include "evaluator.h"
#include "lexer.h"
#include "line_input.h"
#include "primaries.h"
#include "report.h"
#include "workspace.h"

namespace {

// Writes element with its top left corner at (row, col) of m.
void place(const Value& element, GenMatrixD& m, int row, int col) {
  if (element.IsScalar()) {
    m(row, col) = *element.Scalar();
    return;
  }
  const GenMatrixD& e = *element.Matrix();
  const int rows = e.Rows();
  for (int l = 0; l < e.Cols(); ++l) {
    const double* column = &e(0, l);
    std::copy(column, column + rows, &m(row, col + l));
  }
}

// Takes the end-of-line token at the front, then reads the next input line
// when no token is pending, and the blanks. 0, or 1 after reporting that the
// input ended inside the literal.
int takeLiteralLineEnd() {
  expectToken(kEol);
  if (tokenQueue.NothingPending() && !readLine()) {
    // A failed input stream has been reported where it failed.
    if (!inputFailed()) reportError("End of file reached inside a matrix definition.");
    return 1;
  }
  skipSpaces();
  return 0;
}

// After an element: a row end (";" and/or line ends), a comma, or nothing,
// when the next element follows after blanks or starts with a sign.
int readSeparator(MatrixLiteralBuilder& builder) {
  skipSpaces();
  const int kind = peekKind(0);
  if (kind == kSemicolon || kind == kEol) {
    if (takeLiteralRowEnd()) return 1;
    if (builder.EndRow()) return reportLiteralFailure(kLiteralTooWide);
  } else if (kind == kComma) {
    expectToken(kComma);
    skipSpaces();
  }
  return 0;
}

// Everything after "[" up to and including "]", with insideBrackets set.
int readLiteral(Value& result) {
  if (skipLiteralLineEnds()) return 1;
  MatrixLiteralBuilder builder;
  while (peekKind(0) != kRightBracket) {
    if (evalExpression(result)) return 1;
    const int added = builder.Add(result);
    if (added != kLiteralAdded) return reportLiteralFailure(added);
    if (readSeparator(builder)) return 1;
  }
  expectToken(kRightBracket);
  Value assembled;
  if (builder.Assemble(assembled)) return reportLiteralFailure(kLiteralTooWide);
  result = std::move(assembled);
  resultName = kAnsName;
  return 0;
}

}  // namespace

MatrixLiteralBuilder::MatrixLiteralBuilder()
    : elements(Value()), rowEnds(0), rowHeight(0), rowWidth(0), totalRows(0), width(0), elementTotal(0), room(0.0) {}

MatrixLiteralBuilder::~MatrixLiteralBuilder() = default;

int MatrixLiteralBuilder::Add(Value element) {
  if (element.IsEmpty()) return kLiteralAdded;
  const int rows = element.Rows();
  const int cols = element.Cols();
  if (width != 0 && static_cast<long long>(rowWidth) + cols > width) return kLiteralTooWide;
  if (rowHeight != 0 && rows != rowHeight) return kLiteralRowMismatch;
  // The assembled matrix holds exactly the elements of the elements, so
  // the memory gate's bound also keeps every row and column count within an
  // int. Asking the gate may read files: it is asked for room to double
  // whenever the elements outgrow what it granted, so a literal asks a
  // number of times that grows with the logarithm of its size.
  const long long total = elementTotal + element.ElementCount();
  if (total > room) {
    const double granted = allocatableCount(static_cast<double>(total), 2.0 * total);
    if (granted < 0.0) return kLiteralTooLarge;
    room = granted;
  }
  elements.Append(element);
  if (rowHeight == 0) rowHeight = rows;
  rowWidth += cols;
  elementTotal = total;
  return kLiteralAdded;
}

int MatrixLiteralBuilder::EndRow() {
  if (rowHeight == 0) return 0;
  if (width == 0)
    width = rowWidth;
  else if (rowWidth != width)
    return 1;
  totalRows += rowHeight;
  rowEnds.Append(elements.Size());
  rowWidth = 0;
  rowHeight = 0;
  return 0;
}

int MatrixLiteralBuilder::Assemble(Value& out) {
  out.Release();
  if (EndRow()) return 1;
  if (totalRows == 0 || width == 0) return 0;
  const List<Value>::Node* node = elements.NodeAt(0);
  if (totalRows == 1 && width == 1) {
    out = node->value;
    return 0;
  }
  GenMatrixD m(totalRows, width);  // every element is written below
  int row = 0;
  int index = 0;
  for (const List<int>::Node* end = rowEnds.NodeAt(0); end != nullptr; end = end->next) {
    const int height = node->value.Rows();
    for (int col = 0; index < end->value; ++index, node = node->next) {
      place(node->value, m, row, col);
      col += node->value.Cols();
    }
    row += height;
  }
  out = m;
  return 0;
}

int primaryMatrixLiteral(Value& result) {
  expectToken(kLeftBracket);
  skipSpaces();
  const int saved = insideBrackets;
  insideBrackets = 1;
  const int status = readLiteral(result);
  insideBrackets = saved;
  return status;
}

int skipLiteralLineEnds() {
  // These line ends add no row, so a recorded text leaves them out: written
  // as ";" they would read back as a missing element.
  const int recording = recordingText;
  recordingText = 0;
  int status = 0;
  while (status == 0 && peekKind(0) == kEol) status = takeLiteralLineEnd();
  recordingText = recording;
  return status;
}

int takeLiteralRowEnd() {
  if (peekKind(0) == kSemicolon) {
    expectToken(kSemicolon);
    skipSpaces();
  } else if (takeLiteralLineEnd()) {  // recorded as ";"
    return 1;
  }
  return skipLiteralLineEnds();
}

int reportLiteralFailure(int code) {
  switch (code) {
    case kLiteralTooWide:
      reportError("Can not concatenate matrices with different column sizes.");
      break;
    case kLiteralRowMismatch:
      reportError("Can not concatenate matrices with different row sizes.");
      break;
    default:
      reportError("Invalid size.");
  }
  return 1;
}
