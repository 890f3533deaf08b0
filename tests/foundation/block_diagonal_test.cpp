#include "block_diagonal.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

int refCount(const GenMatrixD& m) { return m.Storage().RefCount(); }
int refCount(const SymMatrixD& m) { return refCount(m.AsGenMatrixD()); }

// Every stored element gets its own value, base + storage position.
void fillDistinct(GenMatrixD& m, double base) {
  for (int k = 0; k < m.Size(); ++k) m[k] = base + k;
}

// Reads the raw storage, so the symmetric mapping cannot hide a lower-part write.
void expectUpperIdentity(const SymMatrixD& block) {
  const GenMatrixD& stored = block.AsGenMatrixD();
  for (int j = 0; j < block.Cols(); ++j)
    for (int i = 0; i <= j; ++i) EXPECT_EQ(stored(i, j), i == j ? 1.0 : 0.0) << "element (" << i << ", " << j << ")";
}

void expectAllOnes(const GenMatrixD& m) {
  for (int k = 0; k < m.Size(); ++k) EXPECT_EQ(m[k], 1.0) << "element " << k;
}

// --- BlockDiagonalMatrix: construction and identity --------------------------

TEST(BlockDiagonalMatrixTest, EmptyConstructorHasNoParts) {
  const BlockDiagonalMatrix m(3);
  EXPECT_EQ(m.DiagonalLength(), 0);
  EXPECT_EQ(m.BlockCount(), 0);
  EXPECT_EQ(m.Diagonal().Rows(), 0);
  EXPECT_EQ(m.Diagonal().Cols(), 0);
  EXPECT_EQ(m.Diagonal().Size(), 0);
  EXPECT_EQ(m.Flag(), 3);
}

TEST(BlockDiagonalMatrixTest, ConstructionBySizesGivesFreshPartsOfTheRequestedShape) {
  const int sizes[] = {2, 0, 4};
  const BlockDiagonalMatrix m(3, sizes, 5, 0);
  EXPECT_EQ(m.BlockCount(), 3);
  EXPECT_EQ(m.DiagonalLength(), 5);
  EXPECT_EQ(m.Diagonal().Cols(), 1);
  EXPECT_EQ(refCount(m.Diagonal()), 1);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m.BlockSize(i), sizes[i]);
    EXPECT_EQ(m.Block(i).Rows(), sizes[i]);
    EXPECT_EQ(m.Block(i).Cols(), sizes[i]);
    EXPECT_EQ(m.Block(i).AsGenMatrixD().Size(), sizes[i] * sizes[i]);
    EXPECT_EQ(m.Block(i).Uplo(), 'U');
    EXPECT_EQ(refCount(m.Block(i)), 1);
  }
}

TEST(BlockDiagonalMatrixTest, ZeroDiagonalLengthKeepsAnEmptyDiagonalPartUnderSetIdentity) {
  const int sizes[] = {3, 1};
  BlockDiagonalMatrix m(2, sizes, 0, 0);
  m.SetIdentity();
  EXPECT_EQ(m.DiagonalLength(), 0);
  EXPECT_EQ(m.Diagonal().Cols(), 0);
  EXPECT_EQ(m.Diagonal().Size(), 0);
  expectUpperIdentity(m.Block(0));
  expectUpperIdentity(m.Block(1));
}

TEST(BlockDiagonalMatrixTest, SetIdentityLeavesTheStrictlyLowerTriangleAsItWas) {
  const int sizes[] = {3};
  BlockDiagonalMatrix m(1, sizes, 2, 0);
  GenMatrixD& stored = m.Block(0).AsGenMatrixD();
  fillDistinct(stored, 10.0);
  const std::vector<double> before(stored.Data(), stored.Data() + stored.Size());

  m.SetIdentity();

  expectAllOnes(m.Diagonal());
  expectUpperIdentity(m.Block(0));
  for (int j = 0; j < 3; ++j)
    for (int i = j + 1; i < 3; ++i) EXPECT_EQ(stored(i, j), before[i + 3 * j]) << "element (" << i << ", " << j << ")";
}

TEST(IdentityBlockDiagonalTest, EmptyTargetTakesTheIdentityOfTheShapeAlone) {
  const int sizes[] = {2, 3};
  BlockDiagonalMatrix target(0);
  identityBlockDiagonal(2, sizes, 4, target);

  EXPECT_EQ(target.BlockCount(), 2);
  EXPECT_EQ(target.DiagonalLength(), 4);
  EXPECT_EQ(target.Diagonal().Cols(), 1);
  expectAllOnes(target.Diagonal());
  EXPECT_EQ(refCount(target.Diagonal()), 1);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(target.BlockSize(i), sizes[i]);
    expectUpperIdentity(target.Block(i));
    EXPECT_EQ(refCount(target.Block(i)), 1);
  }
}

TEST(IdentityBlockDiagonalTest, StorageTheTargetSharedBeforeStaysWithItsOtherHolder) {
  const int sizes[] = {2};
  BlockDiagonalMatrix other(1, sizes, 1, 0);
  other.Diagonal().Fill(7.0);
  other.Block(0).AsGenMatrixD().Fill(7.0);
  BlockDiagonalMatrix target(4);
  target = other;

  identityBlockDiagonal(1, sizes, 1, target);

  EXPECT_EQ(target.Flag(), 4);
  expectAllOnes(target.Diagonal());
  expectUpperIdentity(target.Block(0));
  EXPECT_EQ(other.Diagonal()(0, 0), 7.0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(other.Block(0)[k], 7.0);
  EXPECT_EQ(refCount(other.Diagonal()), 1);
  EXPECT_EQ(refCount(other.Block(0)), 1);
  EXPECT_EQ(refCount(target.Block(0)), 1);
}

// --- BlockDiagonalMatrix: assignment shares ----------------------------------

class BlockDiagonalAssignmentTest : public ::testing::Test {
 protected:
  BlockDiagonalAssignmentTest() : source(2, sourceSizes, 2, 0) {
    fillDistinct(source.Diagonal(), 100.0);
    fillDistinct(source.Block(0).AsGenMatrixD(), 200.0);
    fillDistinct(source.Block(1).AsGenMatrixD(), 300.0);
  }

  void expectSharesWithSource(const BlockDiagonalMatrix& target) {
    EXPECT_EQ(target.DiagonalLength(), 2);
    EXPECT_EQ(target.Diagonal().Data(), source.Diagonal().Data());
    EXPECT_EQ(refCount(source.Diagonal()), 2);
    ASSERT_EQ(target.BlockCount(), 2);
    for (int i = 0; i < 2; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(target.BlockSize(i), sourceSizes[i]);
      EXPECT_EQ(target.Block(i).Data(), source.Block(i).Data());
      EXPECT_EQ(refCount(source.Block(i)), 2);
    }
  }

  const int sourceSizes[2] = {2, 3};
  BlockDiagonalMatrix source;
};

TEST_F(BlockDiagonalAssignmentTest, EqualCountsKeepTheArrayAndShareEveryPartBothWays) {
  const int targetSizes[] = {1, 1};
  BlockDiagonalMatrix target(2, targetSizes, 0, 0);
  const SymMatrixD* array = &target.Block(0);

  target = source;

  EXPECT_EQ(&target.Block(0), array);
  expectSharesWithSource(target);
  target.Block(0)(0, 0) = 5.0;
  EXPECT_EQ(source.Block(0)(0, 0), 5.0);
  source.Block(1)(1, 2) = -3.0;
  EXPECT_EQ(target.Block(1)(1, 2), -3.0);
  target.Diagonal()(1, 0) = 5.0;
  EXPECT_EQ(source.Diagonal()(1, 0), 5.0);
}

TEST_F(BlockDiagonalAssignmentTest, DifferentCountsReshapeTheTargetToShare) {
  const int targetSizes[] = {4};
  BlockDiagonalMatrix target(1, targetSizes, 3, 0);
  target = source;
  expectSharesWithSource(target);
  target.Block(1)(2, 2) = 8.0;
  EXPECT_EQ(source.Block(1)(2, 2), 8.0);
}

TEST_F(BlockDiagonalAssignmentTest, SourceWithoutBlocksReleasesTheTargetsBlocks) {
  const int targetSizes[] = {1, 2, 3};
  BlockDiagonalMatrix target(3, targetSizes, 1, 0);
  BlockDiagonalMatrix keeper(0);
  keeper = target;
  ASSERT_EQ(refCount(keeper.Block(2)), 2);

  const BlockDiagonalMatrix empty(0);
  target = empty;

  EXPECT_EQ(target.BlockCount(), 0);
  EXPECT_EQ(target.DiagonalLength(), 0);
  EXPECT_EQ(refCount(keeper.Diagonal()), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(refCount(keeper.Block(i)), 1) << "block " << i;
}

TEST_F(BlockDiagonalAssignmentTest, FlagsAreLeftAsTheyWere) {
  BlockDiagonalMatrix target(9);
  target = source;
  EXPECT_EQ(target.Flag(), 9);
  EXPECT_EQ(source.Flag(), 0);
}

TEST_F(BlockDiagonalAssignmentTest, SelfAssignmentChangesNothing) {
  const SymMatrixD* array = &source.Block(0);
  const BlockDiagonalMatrix& alias = source;

  source = alias;

  EXPECT_EQ(&source.Block(0), array);
  EXPECT_EQ(refCount(source.Diagonal()), 1);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(source.BlockSize(i), sourceSizes[i]);
    EXPECT_EQ(refCount(source.Block(i)), 1);
    for (int k = 0; k < sourceSizes[i] * sourceSizes[i]; ++k) EXPECT_EQ(source.Block(i)[k], 200.0 + 100.0 * i + k);
  }
  EXPECT_EQ(source.Diagonal()(1, 0), 101.0);
}

TEST_F(BlockDiagonalAssignmentTest, SharedStorageOutlivesTheObjectItCameFrom) {
  auto temporary = std::make_unique<BlockDiagonalMatrix>(0);
  *temporary = source;
  BlockDiagonalMatrix target(0);
  target = *temporary;
  temporary.reset();

  expectSharesWithSource(target);
  EXPECT_EQ(target.Block(1)[8], 308.0);
}

// --- GenBlockDiagonalMatrix ---------------------------------------------------

class GenBlockDiagonalTest : public ::testing::Test {
 protected:
  GenBlockDiagonalTest() : source(3, sizes, 2, 5) {
    fillDistinct(source.Diagonal(), 10.0);
    for (int i = 0; i < 3; ++i) fillDistinct(source.Block(i), 100.0 * (i + 1));
  }

  static void expectSameValues(const GenMatrixD& a, const GenMatrixD& b) {
    ASSERT_EQ(a.Rows(), b.Rows());
    ASSERT_EQ(a.Cols(), b.Cols());
    for (int k = 0; k < a.Size(); ++k) EXPECT_EQ(a[k], b[k]) << "element " << k;
  }

  const int sizes[3] = {2, 0, 3};
  GenBlockDiagonalMatrix source;
};

TEST_F(GenBlockDiagonalTest, ConstructionBySizesGivesSquareBlocksOfTheirOwn) {
  EXPECT_EQ(source.Flag(), 5);
  EXPECT_EQ(source.DiagonalLength(), 2);
  EXPECT_EQ(source.Diagonal().Cols(), 1);
  ASSERT_EQ(source.BlockCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(source.Block(i).Rows(), sizes[i]);
    EXPECT_EQ(source.Block(i).Cols(), sizes[i]);
    EXPECT_EQ(refCount(source.Block(i)), 1);
  }
  const GenBlockDiagonalMatrix noDiagonal(0, nullptr, 0, 0);
  EXPECT_EQ(noDiagonal.Diagonal().Rows(), 0);
  EXPECT_EQ(noDiagonal.Diagonal().Cols(), 0);
  EXPECT_EQ(noDiagonal.BlockCount(), 0);
}

TEST_F(GenBlockDiagonalTest, CopyIsDeepAndIndependent) {
  GenBlockDiagonalMatrix copy(source);
  EXPECT_EQ(copy.Flag(), 0);
  EXPECT_EQ(GenBlockDiagonalMatrix(source, 2).Flag(), 2);

  expectSameValues(copy.Diagonal(), source.Diagonal());
  ASSERT_EQ(copy.BlockCount(), 3);
  for (int i = 0; i < 3; ++i) expectSameValues(copy.Block(i), source.Block(i));

  EXPECT_EQ(refCount(source.Diagonal()), 1);
  EXPECT_EQ(refCount(copy.Diagonal()), 1);
  copy.Diagonal()(0, 0) = -1.0;
  copy.Block(0)(1, 0) = -1.0;
  copy.Block(2)(2, 2) = -1.0;
  EXPECT_EQ(source.Diagonal()(0, 0), 10.0);
  EXPECT_EQ(source.Block(0)(1, 0), 101.0);
  EXPECT_EQ(source.Block(2)(2, 2), 308.0);
}

TEST_F(GenBlockDiagonalTest, CopyOfASourceWithoutBlocksHasNone) {
  GenBlockDiagonalMatrix noBlocks(0, nullptr, 2, 0);
  fillDistinct(noBlocks.Diagonal(), 1.0);
  const GenBlockDiagonalMatrix copy(noBlocks);
  EXPECT_EQ(copy.BlockCount(), 0);
  expectSameValues(copy.Diagonal(), noBlocks.Diagonal());
}

TEST_F(GenBlockDiagonalTest, MoveHandsOverThePartsAndLeavesTheSourceEmpty) {
  const double* diagonalData = source.Diagonal().Data();
  const double* blockData = source.Block(2).Data();

  const GenBlockDiagonalMatrix moved(std::move(source));

  EXPECT_EQ(moved.Flag(), 5);
  EXPECT_EQ(moved.Diagonal().Data(), diagonalData);
  EXPECT_EQ(moved.Block(2).Data(), blockData);
  EXPECT_EQ(refCount(moved.Diagonal()), 1);
  EXPECT_EQ(refCount(moved.Block(2)), 1);
  EXPECT_EQ(source.BlockCount(), 0);  // NOLINT(bugprone-use-after-move): the moved-from state is specified
  EXPECT_EQ(source.DiagonalLength(), 0);
}

// --- transpose -----------------------------------------------------------------

TEST(GenBlockDiagonalTransposeTest, TransposesTheBlockAndCopiesTheDiagonal) {
  const int sizes[] = {2};
  GenBlockDiagonalMatrix source(1, sizes, 2, 7);
  GenMatrixD& block = source.Block(0);
  block(0, 0) = 1.0;
  block(0, 1) = 2.0;
  block(1, 0) = 3.0;
  block(1, 1) = 4.0;
  source.Diagonal()(0, 0) = 5.0;
  source.Diagonal()(1, 0) = 6.0;

  GenBlockDiagonalMatrix result = transpose(source);

  EXPECT_EQ(result.Flag(), 0);
  ASSERT_EQ(result.BlockCount(), 1);
  const GenMatrixD& t = result.Block(0);
  ASSERT_EQ(t.Rows(), 2);
  ASSERT_EQ(t.Cols(), 2);
  EXPECT_EQ(t(0, 0), 1.0);
  EXPECT_EQ(t(0, 1), 3.0);
  EXPECT_EQ(t(1, 0), 2.0);
  EXPECT_EQ(t(1, 1), 4.0);
  ASSERT_EQ(result.DiagonalLength(), 2);
  EXPECT_EQ(result.Diagonal().Cols(), 1);
  EXPECT_EQ(result.Diagonal()(0, 0), 5.0);
  EXPECT_EQ(result.Diagonal()(1, 0), 6.0);

  EXPECT_EQ(refCount(result.Diagonal()), 1);
  EXPECT_EQ(refCount(result.Block(0)), 1);
  result.Diagonal()(0, 0) = 0.0;
  result.Block(0)(0, 1) = 0.0;
  EXPECT_EQ(source.Diagonal()(0, 0), 5.0);
  EXPECT_EQ(block(1, 0), 3.0);
  EXPECT_EQ(block(0, 1), 2.0);
}

TEST(GenBlockDiagonalTransposeTest, EveryBlockIsTheTransposeOfItsSource) {
  const int sizes[] = {3, 0, 1, 4};
  GenBlockDiagonalMatrix source(4, sizes, 0, 0);
  for (int b = 0; b < 4; ++b) fillDistinct(source.Block(b), 10.0 * b);

  const GenBlockDiagonalMatrix result = transpose(source);

  EXPECT_EQ(result.DiagonalLength(), 0);
  ASSERT_EQ(result.BlockCount(), 4);
  for (int b = 0; b < 4; ++b) {
    SCOPED_TRACE(b);
    const GenMatrixD& s = source.Block(b);
    const GenMatrixD& t = result.Block(b);
    ASSERT_EQ(t.Rows(), sizes[b]);
    ASSERT_EQ(t.Cols(), sizes[b]);
    for (int j = 0; j < sizes[b]; ++j)
      for (int i = 0; i < sizes[b]; ++i) EXPECT_EQ(t(i, j), s(j, i));
  }
}

TEST(GenBlockDiagonalTransposeTest, SourceWithoutBlocksGivesResultWithoutBlocks) {
  GenBlockDiagonalMatrix source(0, nullptr, 3, 0);
  fillDistinct(source.Diagonal(), 1.0);

  GenBlockDiagonalMatrix result = transpose(source);

  EXPECT_EQ(result.BlockCount(), 0);
  ASSERT_EQ(result.DiagonalLength(), 3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(result.Diagonal()[k], 1.0 + k);
  result.Diagonal()[2] = 0.0;
  EXPECT_EQ(source.Diagonal()[2], 3.0);
}

}  // namespace
