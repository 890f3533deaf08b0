// The layout of stored block LMIs and the shape rules that the lmi
// statement, `eval` and the builder all apply through one function.
#include "constraint_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

VLmiBlock sized(int rows, int cols) {
  VLmiBlock block(1);
  block.Rows() = rows;
  block.Cols() = cols;
  return block;
}

// The walk visits the lower triangle row by row, and block b of the walk is
// the block that packedLowerIndex places at b.
TEST(BlockTrianglePosition, WalksTheLowerTriangleInStoredOrder) {
  const int expected[][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}, {3, 0}};
  BlockTrianglePosition at;
  for (int b = 0; b < 7; ++b, at.Advance()) {
    EXPECT_EQ(at.row, expected[b][0]) << b;
    EXPECT_EQ(at.col, expected[b][1]) << b;
    EXPECT_EQ(at.OnDiagonal(), expected[b][0] == expected[b][1]) << b;
    EXPECT_EQ(packedLowerIndex(0, at.row, at.col), b);
  }
}

// The starts of stored LMIs of 3, 1 and 6 blocks (10 in all): each LMI's
// count, read from the list the statements keep and from the builder's
// vector of the same starts.
TEST(LmiBlockCount, IsTheDistanceToTheNextStartOrTheEnd) {
  const std::vector<int> starts = {0, 3, 4};
  List<int> list;
  for (int start : starts) list.PushBack(start);
  const int expected[] = {3, 1, 6};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(lmiBlockCount(list, 10, k), expected[k]) << k;
    EXPECT_EQ(lmiBlockCount(starts, 10, k), expected[k]) << k;
  }
}

struct ShapeCase {
  const char* name;
  std::vector<VLmiBlock> blocks;  // the last one is checked
  BlockTrianglePosition at;
  int blockForm;
  const char* message;  // null: no rule broken
};

TEST(LmiBlockShapeError, TheFirstRuleABlockBreaks) {
  const char* rows = "LMI blocks have different number of rows.";
  const char* cols = "LMI blocks have different number of colums.";
  const char* square = "LMI diagonal blocks must be square.";
  const char* plain = "LMI must be a square matrix or a column vector.";
  const ShapeCase cases[] = {
      {"square alone", {sized(3, 3)}, {0, 0}, 0, nullptr},
      {"column alone", {sized(3, 1)}, {0, 0}, 0, nullptr},
      {"wide alone", {sized(2, 3)}, {0, 0}, 0, plain},
      {"column in block form", {sized(3, 1)}, {0, 0}, 1, square},
      {"wide in block form", {sized(2, 3)}, {0, 0}, 1, square},
      {"below the first block", {sized(2, 2), sized(3, 2)}, {1, 0}, 1, nullptr},
      {"below, columns differ", {sized(2, 2), sized(3, 1)}, {1, 0}, 1, cols},
      {"second diagonal block", {sized(2, 2), sized(3, 2), sized(3, 3)}, {1, 1}, 1, nullptr},
      {"row's rows differ", {sized(2, 2), sized(3, 2), sized(2, 2)}, {1, 1}, 1, rows},
      {"second diagonal not square", {sized(2, 2), sized(3, 2), sized(3, 4)}, {1, 1}, 1, square},
      // Row 2: (2, 1) sits below (1, 1), whose columns it must have.
      {"third row, below the second diagonal",
       {sized(2, 2), sized(3, 2), sized(3, 3), sized(1, 2), sized(1, 2)},
       {2, 1},
       1,
       cols},
  };
  for (const ShapeCase& c : cases) {
    const int b = static_cast<int>(c.blocks.size()) - 1;
    const char* got = lmiBlockShapeError(c.blocks, b, c.at, c.blockForm);
    EXPECT_EQ(std::string(got ? got : "none"), std::string(c.message ? c.message : "none")) << c.name;
  }
}

}  // namespace
