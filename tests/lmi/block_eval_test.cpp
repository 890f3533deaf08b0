#include "block_eval.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "reference_matrices.h"
#include "test_matrices.h"

// Every allocation of this test program is counted, so that a test can show
// that a kernel allocates nothing. The counting operator new and its operator
// delete forward to the library's aligned pair, which allocates and frees
// with each other: every block goes back the way it came, and the compiler
// can see that it does.
namespace {
long allocationCount = 0;
constexpr std::align_val_t kPlainAlignment{__STDCPP_DEFAULT_NEW_ALIGNMENT__};
}  // namespace

void* operator new(std::size_t size) {
  ++allocationCount;
  return ::operator new(size, kPlainAlignment);
}
void operator delete(void* p) noexcept { ::operator delete(p, kPlainAlignment); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p, kPlainAlignment); }

namespace {

// Marks entries a kernel must leave alone (finite, so that an addition shows).
const double kSentinel = -12345.0;

// ---------------------------------------------------------------------------
// A plain dense reference: the value of a term straight from its
// definition, coefficient * S(L op(X) R), with every 1 x 1 operand a scalar
// and a 1 x 1 result the scalar times the identity of the position.

struct TermRecipe {
  TermRecipe(int v, double c = 1.0, std::vector<GenMatrixD> l = {}, std::vector<GenMatrixD> r = {}, int t = 0,
             int sym = 0)
      : variable(v), coefficient(c), left(l), right(r), transposed(t), symmetric(sym) {}

  int variable;
  double coefficient;
  std::vector<GenMatrixD> left;  // zero or one factor
  std::vector<GenMatrixD> right;
  int transposed;
  int symmetric;
};

GenMatrixD referenceValue(const TermRecipe& recipe, const GenMatrixD* variables, int rows, int cols) {
  double scale = recipe.coefficient;
  GenMatrixD product(0);
  bool hasProduct = false;
  auto apply = [&](const GenMatrixD& F) {
    if (F.Rows() == 1 && F.Cols() == 1) {
      scale *= F(0, 0);
    } else if (!hasProduct) {
      product = GenMatrixD(F);
      hasProduct = true;
    } else {
      product = naiveProduct(product, F);
    }
  };
  for (const GenMatrixD& L : recipe.left) apply(L);
  const GenMatrixD& X = variables[recipe.variable];
  apply(recipe.transposed ? naiveTranspose(X) : GenMatrixD(X));
  for (const GenMatrixD& R : recipe.right) apply(R);
  GenMatrixD value(rows, cols, 0.0, 0);
  if (!hasProduct || (product.Rows() == 1 && product.Cols() == 1)) {
    const double s = hasProduct ? product(0, 0) : 1.0;
    for (int k = 0; k < std::min(rows, cols); ++k) value(k, k) = scale * (recipe.symmetric ? 2 * s : s);
    return value;
  }
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
      value(i, j) = scale * (recipe.symmetric ? product(i, j) + product(j, i) : product(i, j));
  return value;
}

GenMatrixD referenceList(const std::vector<TermRecipe>& recipes, const GenMatrixD* variables, int rows, int cols) {
  GenMatrixD sum(rows, cols, 0.0, 0);
  for (const TermRecipe& recipe : recipes) {
    const GenMatrixD v = referenceValue(recipe, variables, rows, cols);
    for (int e = 0; e < rows * cols; ++e) sum[e] += v[e];
  }
  return sum;
}

void fill(TermList& list, const std::vector<TermRecipe>& recipes) {
  list.Resize(static_cast<int>(recipes.size()));
  for (int k = 0; k < static_cast<int>(recipes.size()); ++k) {
    const TermRecipe& recipe = recipes[k];
    list.SetVariable(k, recipe.variable);
    list.SetCoefficient(k, recipe.coefficient);
    if (!recipe.left.empty()) list.SetLeftFactor(k, recipe.left[0]);
    if (!recipe.right.empty()) list.SetRightFactor(k, recipe.right[0]);
    if (recipe.transposed) list.SetTransposed(k);
    if (recipe.symmetric) list.SetSymmetric(k);
  }
}

// Entry (i, j) of out, i <= j read from the kept triangle's storage.
double stored(const SymMatrixD& out, int i, int j) { return out.AsGenMatrixD()(i, j); }

void expectWhole(const SymMatrixD& out, const GenMatrixD& want, const char* what) {
  ASSERT_EQ(out.Rows(), want.Rows()) << what;
  for (int i = 0; i < want.Rows(); ++i)
    for (int j = 0; j < want.Cols(); ++j)
      EXPECT_NEAR(stored(out, i, j), want(i, j), 1e-12) << what << " (" << i << ", " << j << ")";
}

// ---------------------------------------------------------------------------
// A constraint set with chosen variables. Variable 0 is the affine one,
// holding the homogenising unknown.

class BlockEvalTest : public ::testing::Test {
 protected:
  void MakeProblem(const std::vector<GenMatrixD>& values, int termBlocks, int blockLmis) {
    variables = values;
    problem = std::make_unique<BuiltProblem>(static_cast<int>(values.size()), termBlocks, blockLmis, 0);
    for (int v = 0; v < static_cast<int>(values.size()); ++v) problem->SetVariable(v, variables[v]);
  }
  const GenMatrixD* Variables() const { return &problem->Variable(0); }

  std::vector<GenMatrixD> variables;
  std::unique_ptr<BuiltProblem> problem;
};

// x0 = 1.5, X 2 x 2, W 2 x 3, x (1 x 1).
std::vector<GenMatrixD> smallVariables() {
  return {make(1, 1, {1.5}), make(2, 2, {1, 2, 3, 4}), make(2, 3, {1, -2, 0.5, 3, 0, -1}), make(1, 1, {-0.75})};
}

TEST_F(BlockEvalTest, SingleTermsFollowTheirDefinitions) {
  const GenMatrixD A = make(2, 2, {1, 2, 3, 4});
  const GenMatrixD L23 = make(2, 3, {1, 0, 2, -1, 1, 0});
  const GenMatrixD R22 = make(2, 2, {0, 1, 1, 1});
  const GenMatrixD col = make(2, 1, {2, -1});
  const GenMatrixD row = make(1, 2, {1, 3});
  const GenMatrixD half = make(1, 1, {0.5});
  struct Case {
    const char* name;
    TermRecipe recipe;
    GenMatrixD want;  // written out by hand from the definition
  };
  // X = [1 2; 3 4], W = [1 -2 0.5; 3 0 -1], x = -0.75, x0 = 1.5.
  const std::vector<Case> cases = {
      {"X", {1, 1.0, {}, {}, 0, 0}, make(2, 2, {1, 2, 3, 4})},
      {"2 X", {1, 2.0, {}, {}, 0, 0}, make(2, 2, {2, 4, 6, 8})},
      {"-X", {1, -1.0, {}, {}, 0, 0}, make(2, 2, {-1, -2, -3, -4})},
      {"X'", {1, 1.0, {}, {}, 1, 0}, make(2, 2, {1, 3, 2, 4})},
      // L W' R with L 2 x 3, W' 3 x 2, R 2 x 2: L W' = [2 1; -3 -3].
      {"L W' R", {2, 1.0, {L23}, {R22}, 1, 0}, make(2, 2, {1, 3, -3, -6})},
      // A X = [7 10; 15 22]; A X + (A X)'.
      {"A X sym", {1, 1.0, {A}, {}, 0, 1}, make(2, 2, {14, 25, 25, 44})},
      // x L R = -0.75 [2 6; -1 -3].
      {"x L R", {3, 1.0, {col}, {row}, 0, 0}, make(2, 2, {-1.5, -4.5, 0.75, 2.25})},
      {"X / 2", {1, 1.0, {}, {half}, 0, 0}, make(2, 2, {0.5, 1, 1.5, 2})},
      // The constant -1 on the affine variable: -x0 I.
      {"-1", {0, -1.0, {}, {}, 0, 0}, make(2, 2, {-1.5, 0, 0, -1.5})},
      {"x alone", {3, 2.0, {}, {}, 0, 1}, make(2, 2, {-3, 0, 0, -3})},
      {"constant matrix", {0, 2.0, {A}, {}, 0, 0}, make(2, 2, {3, 6, 9, 12})},
  };
  for (const Case& c : cases) {
    // A 2 x 2 block: a first term of that size fixes it where needed.
    MakeProblem(smallVariables(), 1, 0);
    std::vector<TermRecipe> recipes = {TermRecipe{1, 0.0, {}, {}, 0, 0}, c.recipe};
    fill(problem->TermBlockAt(0), recipes);
    problem->FinalizeSizes();
    SymMatrixD out;
    evalTermBlock(problem->TermBlockAt(0), out);
    expectWhole(out, c.want, c.name);
  }
}

// Every element is rounded as the definition rounds it: a 1 x 1 variable
// multiplies the product of the factors, a 1 x 1 left factor multiplies
// op(X) before the right factor, the symmetric sum comes next and the
// coefficient last. Each case is built so that another order of the same
// products gives a different double somewhere.
TEST_F(BlockEvalTest, ElementsAreRoundedInTheOrderOfTheDefinition) {
  const double c = 0.1;
  const double x = 0.3;
  const double l = 0.3;
  const GenMatrixD L = make(2, 2, {0.7, 0.9, 0.9, 0.7});
  const GenMatrixD X = make(2, 2, {0.1, 0.7, 0.2, 0.9});
  const GenMatrixD R = make(2, 2, {0.3, 0.6, 0.7, 0.1});
  // P of each case, element by element in the defined order.
  GenMatrixD xL(2, 2);
  GenMatrixD lXR(2, 2);
  GenMatrixD lX(2, 2);
  for (int e = 0; e < 4; ++e) {
    xL[e] = x * L[e];
    lX[e] = l * X[e];
  }
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) lXR(i, j) = 0.0 + lX(i, 0) * R(0, j) + lX(i, 1) * R(1, j);
  struct Case {
    const char* name;
    TermRecipe recipe;
    GenMatrixD P;
    int symmetric;
  };
  const std::vector<Case> cases = {
      {"c x L", TermRecipe{2, c, {L}}, xL, 0},
      {"c sym(x L)", TermRecipe{2, c, {L}, {}, 0, 1}, xL, 1},
      {"(l X) R", TermRecipe{1, 1.0, {make(1, 1, {l})}, {R}}, lXR, 0},
  };
  for (const Case& k : cases) {
    MakeProblem({make(1, 1, {1.0}), X, make(1, 1, {x})}, 1, 0);
    fill(problem->TermBlockAt(0), {k.recipe});
    problem->FinalizeSizes();
    SymMatrixD out;
    evalTermBlock(problem->TermBlockAt(0), out);
    ASSERT_EQ(out.Rows(), 2) << k.name;
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j) {
        const double p = k.symmetric ? k.P(i, j) + k.P(j, i) : k.P(i, j);
        EXPECT_EQ(stored(out, i, j), k.recipe.coefficient * p) << k.name << " (" << i << ", " << j << ")";
      }
  }
}

TEST_F(BlockEvalTest, XMinusOneChangesOnlyTheDiagonal) {
  MakeProblem(smallVariables(), 1, 0);
  fill(problem->TermBlockAt(0), {TermRecipe{1}, TermRecipe{0, -1.0}});
  problem->FinalizeSizes();
  SymMatrixD out;
  evalTermBlock(problem->TermBlockAt(0), out);
  expectWhole(out, make(2, 2, {-0.5, 2, 3, 2.5}), "X - 1");
}

// A scalar variable written first (x + A) does not make the block 1 x 1:
// the block keeps its stated size and x stands for x I.
TEST_F(BlockEvalTest, ScalarFirstTermStandsForTheIdentity) {
  MakeProblem(smallVariables(), 1, 0);
  const GenMatrixD A = make(2, 2, {1, 2, 3, 4});
  fill(problem->TermBlockAt(0), {TermRecipe{3, 2.0}, TermRecipe{0, 1.0, {A}}});
  problem->FinalizeSizes();
  EXPECT_EQ(problem->TermBlockAt(0).Size(), 2);
  SymMatrixD out;
  evalTermBlock(problem->TermBlockAt(0), out);
  expectWhole(out, make(2, 2, {0, 3, 4.5, 4.5}), "2 x + x0 A");
}

TEST_F(BlockEvalTest, UpperKernelWritesOnlyTheUpperTriangle) {
  MakeProblem(smallVariables(), 1, 0);
  const GenMatrixD A = make(2, 2, {1, 2, 3, 4});
  fill(problem->TermBlockAt(0), {TermRecipe{1, 1.0, {A}, {}, 0, 1}, TermRecipe{1, 1.0, {}, {}, 1, 0}});
  problem->FinalizeSizes();
  SymMatrixD out(2);
  out.AsGenMatrixD().Fill(kSentinel);
  evalTermBlockUpper(problem->TermBlockAt(0), out);
  // A X + (A X)' + X' = [15 28; 27 48] on and above the diagonal.
  EXPECT_EQ(stored(out, 0, 0), 15);
  EXPECT_EQ(stored(out, 0, 1), 28);
  EXPECT_EQ(stored(out, 1, 1), 48);
  EXPECT_EQ(stored(out, 1, 0), kSentinel);
}

TEST_F(BlockEvalTest, OutputGetsStorageOfItsOwn) {
  MakeProblem(smallVariables(), 1, 0);
  fill(problem->TermBlockAt(0), {TermRecipe{1}});
  problem->FinalizeSizes();
  SymMatrixD out(2);
  out.AsGenMatrixD().Fill(7.0);
  GenMatrixD holder;
  holder.Share(out.AsGenMatrixD());
  evalTermBlock(problem->TermBlockAt(0), out);
  for (int e = 0; e < 4; ++e) EXPECT_EQ(holder[e], 7.0);  // the other holder keeps the old values
  variables[1](0, 0) = 100.0;                             // a later change of X does not reach out
  EXPECT_EQ(stored(out, 0, 0), 1.0);
}

// Random term lists of every kind in a d x d block against the reference.
TEST_F(BlockEvalTest, RandomTermBlocksMatchTheirDefinition) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const int d = 1 + round % 5;
    const int p = 1 + static_cast<int>(rng() % 4);
    const int q = 1 + static_cast<int>(rng() % 4);
    std::vector<GenMatrixD> values = {make(1, 1, {0.5 + round * 0.1}), randomMatrix(d, d, rng), randomMatrix(p, q, rng),
                                      randomMatrix(1, 1, rng), randomMatrix(d, q, rng)};
    MakeProblem(values, 1, 0);
    std::uniform_real_distribution<double> coefficient(-2.0, 2.0);
    std::vector<TermRecipe> recipes = {
        TermRecipe{3, coefficient(rng)},                                                              // x I, first
        TermRecipe{1, 1.0, {}, {}, static_cast<int>(round % 2), static_cast<int>(rng() % 2)},         // X or X'
        TermRecipe{2, coefficient(rng), {randomMatrix(d, p, rng)}, {randomMatrix(q, d, rng)}, 0, 0},  // L Y R
        TermRecipe{2, coefficient(rng), {randomMatrix(d, q, rng)}, {randomMatrix(p, d, rng)}, 1, 1},  // L Y' R sym
        TermRecipe{4, 1.0, {}, {randomMatrix(q, d, rng)}, 0, 1},                                      // Z R sym
        TermRecipe{4, coefficient(rng), {randomMatrix(d, d, rng)}, {}, 1, 0},  // L Z' (d x d when q = d)
        TermRecipe{3, coefficient(rng), {randomMatrix(d, 1, rng)}, {randomMatrix(1, d, rng)}, 0, 0},  // x L R
        TermRecipe{1, coefficient(rng), {make(1, 1, {0.25})}, {make(1, 1, {-3.0})}, 0, 1},            // scalar factors
        TermRecipe{0, coefficient(rng), {randomMatrix(d, d, rng)}},                                   // constant matrix
        TermRecipe{0, coefficient(rng)},                                                              // scalar constant
    };
    if (q != d) recipes.erase(recipes.begin() + 5);  // L Z' needs Z square
    fill(problem->TermBlockAt(0), recipes);
    problem->FinalizeSizes();
    ASSERT_EQ(problem->TermBlockAt(0).Size(), d);
    const GenMatrixD want = referenceList(recipes, Variables(), d, d);
    SymMatrixD full;
    evalTermBlock(problem->TermBlockAt(0), full);
    expectWhole(full, want, "evalTermBlock");
    SymMatrixD upper(d);
    upper.AsGenMatrixD().Fill(kSentinel);
    evalTermBlockUpper(problem->TermBlockAt(0), upper);
    for (int j = 0; j < d; ++j)
      for (int i = 0; i < d; ++i) {
        if (i <= j) {
          EXPECT_NEAR(stored(upper, i, j), want(i, j), 1e-12);
        } else {
          EXPECT_EQ(stored(upper, i, j), kSentinel);
        }
      }
  }
}

// ---------------------------------------------------------------------------
// Block matrix inequalities.

class BlockLmiEvalTest : public BlockEvalTest {
 protected:
  // Three block rows of heights 2, 3 and 3 over x0, X (2 x 2), Y (3 x 3),
  // W (2 x 3) and x (1 x 1). Entry (i, j), i > j, holds block (j, i).
  void SetUp() override {
    std::mt19937 rng(11);
    MakeProblem({make(1, 1, {1.25}), randomMatrix(2, 2, rng), randomMatrix(3, 3, rng), randomMatrix(2, 3, rng),
                 make(1, 1, {0.4})},
                0, 1);
    const GenMatrixD R23 = randomMatrix(2, 3, rng);
    recipes = {
        {TermRecipe{4, 2.0}, TermRecipe{1, 1.0, {}, {}, 0, 1}, TermRecipe{0, -1.0}},    // (0, 0): 2x I + X + X'
        {TermRecipe{3, 1.0}, TermRecipe{1, 0.5, {}, {randomMatrix(2, 3, rng)}, 0, 0}},  // (1, 0): 2 x 3
        {TermRecipe{2, 1.0, {randomMatrix(3, 3, rng)}, {}, 0, 1}, TermRecipe{0, 3.0}},  // (1, 1)
        {TermRecipe{3, -1.0, {}, {randomMatrix(3, 3, rng)}, 0, 0}},                     // (2, 0): 2 x 3
        {TermRecipe{2, 1.0, {}, {}, 1, 0}, TermRecipe{4, 1.5}},                         // (2, 1): Y' + 1.5 x I
        {TermRecipe{2, 1.0}, TermRecipe{3, 1.0, {}, {R23}, 1, 1},
         TermRecipe{0, 1.0, {randomMatrix(3, 3, rng)}}},  // (2, 2)
    };
    BlockLmi& block = problem->BlockLmiAt(0);
    block.Allocate(3);
    int e = 0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j <= i; ++j) fill(block.SubBlockAt(i, j), recipes[e++]);
    problem->FinalizeSizes();
  }
  GenMatrixD Reference(int i, int j) const {
    const int e = i * (i + 1) / 2 + j;
    const int h[] = {2, 3, 3};
    return referenceList(recipes[e], Variables(), h[j], h[i]);
  }

  std::vector<std::vector<TermRecipe>> recipes;
  const int offsets[3] = {0, 2, 5};
  const int heights[3] = {2, 3, 3};
};

TEST_F(BlockLmiEvalTest, FullKernelGivesTheBlockDiagonalPart) {
  const BlockLmi& block = problem->BlockLmiAt(0);
  ASSERT_EQ(block.Size(), 8);
  SymMatrixD out;
  evalBlockLmi(block, out);
  ASSERT_EQ(out.Rows(), 8);
  for (int bi = 0; bi < 3; ++bi)
    for (int bj = 0; bj < 3; ++bj) {
      const GenMatrixD want = bi == bj ? Reference(bi, bi) : GenMatrixD(heights[bi], heights[bj], 0.0, 0);
      for (int k = 0; k < heights[bi]; ++k)
        for (int l = 0; l < heights[bj]; ++l)
          EXPECT_NEAR(stored(out, offsets[bi] + k, offsets[bj] + l), want(k, l), 1e-12) << bi << "," << bj;
    }
}

TEST_F(BlockLmiEvalTest, UpperKernelAssemblesTheUpperTriangle) {
  SymMatrixD out(8);
  out.AsGenMatrixD().Fill(kSentinel);
  evalBlockLmiUpper(problem->BlockLmiAt(0), out);
  for (int bi = 0; bi < 3; ++bi)
    for (int bj = bi; bj < 3; ++bj) {
      // Block (bi, bj) of the upper triangle is the value of entry (bj, bi), unchanged.
      const GenMatrixD want = Reference(bj, bi);
      for (int k = 0; k < heights[bi]; ++k)
        for (int l = 0; l < heights[bj]; ++l) {
          const int row = offsets[bi] + k;
          const int column = offsets[bj] + l;
          if (row <= column) {
            EXPECT_NEAR(stored(out, row, column), want(k, l), 1e-12) << row << "," << column;
          }
        }
    }
  for (int column = 0; column < 8; ++column)
    for (int row = column + 1; row < 8; ++row) EXPECT_EQ(stored(out, row, column), kSentinel);
}

// A scalar in an off-diagonal position of two different heights is the
// scalar on the entries (k, k) below both dimensions, and nothing is read or
// written past the position.
TEST_F(BlockEvalTest, ScalarInRectangularPositionFillsItsLeadingDiagonal) {
  MakeProblem({make(1, 1, {2.0}), make(2, 2, {1, 0, 0, 1}), make(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1})}, 0, 1);
  BlockLmi& block = problem->BlockLmiAt(0);
  block.Allocate(2);
  fill(block.SubBlockAt(0, 0), {TermRecipe{1}});
  fill(block.SubBlockAt(1, 0), {TermRecipe{1, 1.0, {}, {make(2, 3, {1, 1, 1, 1, 1, 1})}}, TermRecipe{0, 5.0}});
  fill(block.SubBlockAt(1, 1), {TermRecipe{2}});
  problem->FinalizeSizes();
  SymMatrixD out(5);
  out.AsGenMatrixD().Fill(kSentinel);
  evalBlockLmiUpper(block, out);
  // Block (0, 1) = X [1 1 1; 1 1 1] + 10 [1 0 0; 0 1 0].
  const GenMatrixD want = make(2, 3, {11, 1, 1, 1, 11, 1});
  for (int k = 0; k < 2; ++k)
    for (int l = 0; l < 3; ++l) EXPECT_EQ(stored(out, k, 2 + l), want(k, l));
}

// With the output shaped once, evaluating a block allocates nothing: the
// products go to the scratch that the set-up bound to the terms.
TEST_F(BlockEvalTest, KernelsAllocateNothingOnceTheOutputIsShaped) {
  MakeProblem(smallVariables(), 1, 0);
  const GenMatrixD A = make(2, 2, {1, 2, 3, 4});
  const GenMatrixD L23 = make(2, 3, {1, 0, 2, -1, 1, 0});
  fill(problem->TermBlockAt(0), {TermRecipe{1, 1.0, {A}, {A}, 0, 1}, TermRecipe{2, 1.0, {L23}, {}, 1, 0},
                                 TermRecipe{3, 1.0, {A}, {A}}, TermRecipe{0, -1.0}});
  problem->FinalizeSizes();
  SymMatrixD out(2);
  const long before = allocationCount;
  evalTermBlockUpper(problem->TermBlockAt(0), out);
  evalTermBlock(problem->TermBlockAt(0), out);
  EXPECT_EQ(allocationCount, before);
}

TEST_F(BlockLmiEvalTest, KernelsAllocateNothingOnceTheOutputIsShaped) {
  SymMatrixD out(8);
  const long before = allocationCount;
  evalBlockLmiUpper(problem->BlockLmiAt(0), out);
  evalBlockLmi(problem->BlockLmiAt(0), out);
  EXPECT_EQ(allocationCount, before);
}

TEST_F(BlockEvalTest, EmptyTermListsGiveEmptyOrZeroValues) {
  MakeProblem(smallVariables(), 1, 1);
  problem->BlockLmiAt(0).Allocate(0);
  problem->FinalizeSizes();
  SymMatrixD out(3);
  evalTermBlock(problem->TermBlockAt(0), out);
  EXPECT_EQ(out.Rows(), 0);
  evalBlockLmi(problem->BlockLmiAt(0), out);
  EXPECT_EQ(out.Rows(), 0);
}

}  // namespace
