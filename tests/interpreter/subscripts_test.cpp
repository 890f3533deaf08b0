#include "subscripts.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const std::string kMessage = "#> Subscript out of range.\n";

// A subscript or target given by its elements in column-major order.
Value valueOf(int rows, int cols, std::initializer_list<double> columnMajor) {
  GenMatrixD m(rows, cols);
  int k = 0;
  for (double x : columnMajor) m[k++] = x;
  return Value(m);
}

Value row(std::initializer_list<double> elements) {
  return valueOf(1, static_cast<int>(elements.size()), elements);
}

const Value kEmpty;

std::vector<int> toVector(const SharedArray<int>& a) { return std::vector<int>(a.Data(), a.Data() + a.Size()); }

// Runs one subscript function with stdout captured; checks that it reports
// exactly when it fails, once, without a blank line first.
template <class Call>
int run(Call call, SharedArray<int>& indices) {
  CaptureStdout();
  const int status = call(indices);
  const std::string output = GetCapturedStdout();
  if (status == 0) {
    EXPECT_EQ(output, "");
  } else {
    EXPECT_EQ(output.rfind("#> ", 0), 0u) << output;
    EXPECT_GE(output.size(), kMessage.size());
    EXPECT_EQ(output.substr(output.size() - kMessage.size()), kMessage);
    EXPECT_EQ(output.find("Subscript"), output.rfind("Subscript")) << output;
  }
  return status;
}

struct Case {
  const char* name;
  Value first;   // the row subscript, or the column subscript for A(:,J)
  Value second;  // the column subscript of A(I,J); unused otherwise
  Value target;
  int status;
  std::vector<int> indices;  // checked in full on success
  int size;                  // the list's size, also on failure
};

TEST(SubscriptIndices, SelectsInColumnMajorOrderOfTheResult) {
  const Value A = valueOf(2, 2, {1, 2, 3, 4});
  const Case cases[] = {
      {"A(1.9, 2)", Value(1.9), Value(2.0), A, 0, {2}, 1},
      {"A(2, 2)", Value(2.0), Value(2.0), A, 0, {3}, 1},
      {"A([1 2], [2 1])", row({1, 2}), row({2, 1}), A, 0, {2, 3, 0, 1}, 4},
      {"A(2, [1 2 1])", Value(2.0), row({1, 2, 1}), A, 0, {1, 3, 1}, 3},
      {"A([2; 1], 2)", valueOf(2, 1, {2, 1}), Value(2.0), A, 0, {3, 2}, 2},
      {"matrix subscript", valueOf(2, 2, {1, 2, 2, 1}), Value(1.0), A, 0, {0, 1, 1, 0}, 4},
      {"A([1 2], [])", row({1, 2}), kEmpty, A, 0, {}, 0},
      {"A([], [])", kEmpty, kEmpty, A, 0, {}, 0},
      {"A([5 6], []): empty J tests nothing", row({5, 6}), kEmpty, A, 0, {}, 0},
      {"A(1, 1) of a scalar", Value(1.0), Value(1.0), Value(8.0), 0, {0}, 1},
      {"3 x 2 target", row({3, 1}), row({2}), valueOf(3, 2, {1, 2, 3, 4, 5, 6}), 0, {5, 3}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedArray<int> indices(9, 7);
    const int status = run([&](SharedArray<int>& out) { return subscriptIndices(c.first, c.second, c.target, out); },
                           indices);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(toVector(indices), c.indices);
  }
}

TEST(SubscriptIndices, AnElementOutOfRangeIsReported) {
  const Value A = valueOf(2, 2, {1, 2, 3, 4});
  const Case cases[] = {
      {"A(0.5, 1)", Value(0.5), Value(1.0), A, 1, {}, 1},
      {"A(3, 1)", Value(3.0), Value(1.0), A, 1, {}, 1},
      // The range test compares the untruncated element with the size.
      {"A(2.5, 1)", Value(2.5), Value(1.0), A, 1, {}, 1},
      {"A(2.9, 1)", Value(2.9), Value(1.0), A, 1, {}, 1},
      {"A(NaN, 1)", Value(kNaN), Value(1.0), A, 1, {}, 1},
      {"A(1, NaN)", Value(1.0), Value(kNaN), A, 1, {}, 1},
      {"A(1, inf)", Value(1.0), Value(kInf), A, 1, {}, 1},
      {"A(-inf, 1)", Value(-kInf), Value(1.0), A, 1, {}, 1},
      {"A(1e300, 1)", Value(1e300), Value(1.0), A, 1, {}, 1},
      {"A(0, 1)", Value(0.0), Value(1.0), A, 1, {}, 1},
      {"A([], 3): the column is tested", kEmpty, Value(3.0), A, 1, {}, 0},
      {"A(5, []): the row is tested", Value(5.0), kEmpty, A, 1, {}, 0},
      {"A([], [1 3]): every column is tested", kEmpty, row({1, 3}), A, 1, {}, 0},
      {"A([1 NaN], [1 2])", row({1, kNaN}), row({1, 2}), A, 1, {}, 4},
      {"A(1, 2) of a scalar", Value(1.0), Value(2.0), Value(8.0), 1, {}, 1},
      {"A(1, 1) of the empty value", Value(1.0), Value(1.0), kEmpty, 1, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedArray<int> indices;
    const int status = run([&](SharedArray<int>& out) { return subscriptIndices(c.first, c.second, c.target, out); },
                           indices);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(indices.Size(), c.size);
  }
}

TEST(SubscriptIndices, EntriesBeforeTheFailingElementAreWritten) {
  const Value A = valueOf(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  SharedArray<int> indices;
  // J outer, I inner: (1,2) and (3,2) are written before 4 fails.
  ASSERT_EQ(run([&](SharedArray<int>& out) { return subscriptIndices(row({1, 3, 4}), row({2, 3}), A, out); },
                indices),
            1);
  ASSERT_EQ(indices.Size(), 6);
  EXPECT_EQ(indices[0], 3);
  EXPECT_EQ(indices[1], 5);
  // One row, columns tested one by one after the row.
  ASSERT_EQ(run([&](SharedArray<int>& out) { return subscriptIndices(Value(2.0), row({3, 1, 0}), A, out); }, indices),
            1);
  EXPECT_EQ(indices[0], 7);
  EXPECT_EQ(indices[1], 1);
}

TEST(ColumnSubscriptIndices, EveryRowOfEachSelectedColumn) {
  const Value A = valueOf(3, 2, {1, 2, 3, 4, 5, 6});
  const Case cases[] = {
      {"A(:, [2 1])", row({2, 1}), kEmpty, A, 0, {3, 4, 5, 0, 1, 2}, 6},
      {"A(:, 1.5)", Value(1.5), kEmpty, A, 0, {0, 1, 2}, 3},
      {"A(:, [])", kEmpty, kEmpty, A, 0, {}, 0},
      {"A(:, 1) of a scalar", Value(1.0), kEmpty, Value(4.0), 0, {0}, 1},
      {"A(:, 3)", Value(3.0), kEmpty, A, 1, {}, 3},
      {"A(:, [1 NaN])", row({1, kNaN}), kEmpty, A, 1, {}, 6},
      {"A(:, 1) of the empty value", Value(1.0), kEmpty, kEmpty, 1, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedArray<int> indices;
    const int status =
        run([&](SharedArray<int>& out) { return columnSubscriptIndices(c.first, c.target, out); }, indices);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(indices.Size(), c.size);
    if (c.status == 0) {
      EXPECT_EQ(toVector(indices), c.indices);
    }
  }
}

TEST(RowSubscriptIndices, SelectedRowsOfEveryColumn) {
  const Value A = valueOf(2, 3, {1, 2, 3, 4, 5, 6});
  const Case cases[] = {
      {"A([2 1], :)", row({2, 1}), kEmpty, A, 0, {1, 0, 3, 2, 5, 4}, 6},
      {"A(2, :)", Value(2.0), kEmpty, A, 0, {1, 3, 5}, 3},
      {"A([], :)", kEmpty, kEmpty, A, 0, {}, 0},
      {"A([1 2], :) of the empty value: nothing tested", row({1, 2}), kEmpty, kEmpty, 0, {}, 0},
      {"A(1, :) of the empty value: the row is tested", Value(1.0), kEmpty, kEmpty, 1, {}, 0},
      {"A(3, :)", Value(3.0), kEmpty, A, 1, {}, 3},
      {"A([1 -1], :)", row({1, -1}), kEmpty, A, 1, {}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedArray<int> indices;
    const int status = run([&](SharedArray<int>& out) { return rowSubscriptIndices(c.first, c.target, out); }, indices);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(indices.Size(), c.size);
    if (c.status == 0) {
      EXPECT_EQ(toVector(indices), c.indices);
    }
  }
}

}  // namespace
