// computeMuMax: the largest real root of the pencils A mu^2 + B mu + C of
// every part, checked against the pencil's definition.
#include "mu_max.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "block_diagonal.h"

namespace {

// The scalars and the level of a call.
struct Scalars {
  double c;
  double d;
  double e;
  double b;
  double L;
};

// A block-diagonal value with the given diagonal part and blocks (full
// matrices, row by row).
struct Parts {
  std::vector<double> diagonal;
  std::vector<std::vector<double>> blocks;  // each n*n, symmetric
};

void fill(const Parts& parts, BlockDiagonalMatrix& M) {
  std::vector<int> sizes;
  for (const auto& block : parts.blocks) sizes.push_back(static_cast<int>(std::lround(std::sqrt(block.size()))));
  BlockDiagonalMatrix shaped(static_cast<int>(sizes.size()), sizes.data(), static_cast<int>(parts.diagonal.size()), 0);
  M = shaped;
  for (size_t r = 0; r < parts.diagonal.size(); ++r) M.Diagonal()[static_cast<int>(r)] = parts.diagonal[r];
  for (size_t k = 0; k < sizes.size(); ++k) {
    const int n = sizes[k];
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) M.Block(static_cast<int>(k)).AsGenMatrixD()(i, j) = parts.blocks[k][i * n + j];
  }
}

int muMaxOf(const Parts& y, const Parts& fc, const Parts& fe, double y0, double fc0, double fe0, const Scalars& s,
            double& mu) {
  BlockDiagonalMatrix Y(0), Fc(0), Fe(0);
  fill(y, Y);
  fill(fc, Fc);
  fill(fe, Fe);
  return computeMuMax(Y, Fc, Fe, y0, fc0, fe0, s.c, s.d, s.e, s.b, s.L, mu);
}

// The pencil of one scalar part at mu.
double pencil(double y, double fc, double fe, const Scalars& s, double mu) {
  const double k2 = s.c - 2.0 * s.L * s.d + s.L * s.L * s.e;
  const double k1 = 2.0 * (s.d - s.L * s.e);
  return k2 * y * mu * mu + (k1 * y - s.b * (fc - s.L * fe)) * mu + (s.e * y - s.b * fe);
}

const Parts kNone{};

TEST(MuMax, HomogenisingPartAlone) {
  // L = 0, c = 1, d = e = 0, b = 1: mu^2 - fc0 mu - fe0 with y0 = 1.
  // fc0 = 1, fe0 = 2: (mu - 2)(mu + 1).
  const Scalars s{1.0, 0.0, 0.0, 1.0, 0.0};
  double mu = 0.0;
  ASSERT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, 1.0, 2.0, s, mu), 0);
  EXPECT_NEAR(mu, 2.0, 1e-15);
  // fc0 = 6, fe0 = -9: (mu - 3)^2, a double root.
  ASSERT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, 6.0, -9.0, s, mu), 0);
  EXPECT_EQ(mu, 3.0);
}

// A negative leading coefficient: the larger root is still the one taken.
TEST(MuMax, LargerRootWhateverTheSignOfTheLeadingCoefficient) {
  // y0 = -1, L = 0, c = 1, d = e = 0, b = 1: -mu^2 - fc0 mu - fe0.
  // fc0 = 1, fe0 = -2: -(mu + 2)(mu - 1), roots -2 and 1.
  const Scalars s{1.0, 0.0, 0.0, 1.0, 0.0};
  double mu = 0.0;
  ASSERT_EQ(muMaxOf(kNone, kNone, kNone, -1.0, 1.0, -2.0, s, mu), 0);
  EXPECT_NEAR(mu, 1.0, 1e-15);
  // The same roots with a positive leading coefficient (y0 = 1, fc0 = -1,
  // fe0 = 2): (mu + 2)(mu - 1).
  ASSERT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, -1.0, 2.0, s, mu), 0);
  EXPECT_NEAR(mu, 1.0, 1e-15);
  // A root far from the other, where the plain formula would cancel:
  // (mu - 1e9)(mu - 1e-9) = mu^2 - (1e9 + 1e-9) mu + 1.
  ASSERT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, 1e9 + 1e-9, -1.0, s, mu), 0);
  EXPECT_NEAR(mu, 1e9, 1e-6);
}

TEST(MuMax, LargestRootOverTheDiagonalPartIsARootOfItsPencil) {
  const Scalars s{2.0, 0.3, 1.5, 0.7, -0.4};
  const Parts y{{1.0, 0.5, 2.0}, {}};
  const Parts fc{{0.2, -1.0, 3.0}, {}};
  const Parts fe{{-0.5, 0.8, 0.1}, {}};
  double mu = 0.0;
  ASSERT_EQ(muMaxOf(y, fc, fe, 1.0, 0.0, 0.0, s, mu), 0);
  // mu is a root of one entry's pencil and no entry has a larger one: past
  // its largest root each pencil keeps the sign of its leading coefficient.
  double smallest = HUGE_VAL;
  for (int i = 0; i < 3; ++i) {
    smallest = std::min(smallest, std::fabs(pencil(y.diagonal[i], fc.diagonal[i], fe.diagonal[i], s, mu)));
    const double k2 = s.c - 2.0 * s.L * s.d + s.L * s.L * s.e;
    for (double later : {mu + 1e-6, mu + 1.0, mu + 100.0})
      EXPECT_GT(pencil(y.diagonal[i], fc.diagonal[i], fe.diagonal[i], s, later) * k2 * y.diagonal[i], 0.0);
  }
  EXPECT_LT(smallest, 1e-12);
}

TEST(MuMax, BlockRootMakesThePencilSingular) {
  const Scalars s{1.0, 0.2, 0.5, 1.3, 0.25};
  const Parts y{{}, {{2.0, 0.5, 0.5, 1.0}}};
  const Parts fc{{}, {{0.3, -0.2, -0.2, 0.1}}};
  // A positive definite, C negative definite: real roots of both signs.
  const Parts fe{{}, {{3.0, 0.4, 0.4, 2.0}}};
  double mu = 0.0;
  // The homogenising part (all zero) has no root.
  ASSERT_EQ(muMaxOf(y, fc, fe, 0.0, 0.0, 0.0, s, mu), 0);
  ASSERT_GT(mu, kNoRoot);
  // det(A mu^2 + B mu + C) = 0, and past mu the determinant keeps the sign
  // it has for large mu (A is positive definite): mu is the largest root.
  auto det = [&](double at) {
    double P[2][2];
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j)
        P[i][j] = pencil(y.blocks[0][i * 2 + j], fc.blocks[0][i * 2 + j], fe.blocks[0][i * 2 + j], s, at);
    return P[0][0] * P[1][1] - P[0][1] * P[1][0];
  };
  EXPECT_NEAR(det(mu) / (1.0 + mu * mu * mu * mu), 0.0, 1e-12);
  for (double later : {mu + 1e-3, mu + 1.0, mu + 100.0}) EXPECT_GT(det(later), 0.0);
}

TEST(MuMax, DiagonalBlockGivesTheLargestRootOfItsEntries) {
  const Scalars s{1.0, 0.0, 0.0, 1.0, 0.0};
  // Entry 1: mu^2 - mu - 2 (roots 2, -1); entry 2: mu^2 - 5 mu + 4 (roots 4, 1).
  const Parts y{{}, {{1.0, 0.0, 0.0, 1.0}}};
  const Parts fc{{}, {{1.0, 0.0, 0.0, 5.0}}};
  const Parts fe{{}, {{2.0, 0.0, 0.0, -4.0}}};
  double mu = 0.0;
  // Homogenising part y0 = 0, fc0 = fe0 = 0: no root.
  ASSERT_EQ(muMaxOf(y, fc, fe, 0.0, 0.0, 0.0, s, mu), 0);
  EXPECT_NEAR(mu, 4.0, 1e-12);
}

TEST(MuMax, OnlyComplexRootsLeaveNoRoot) {
  // mu^2 + 2 everywhere: c = 1, e = 1, b = 1, L = 0, y = 1, fc = 0, fe = -1.
  const Scalars s{1.0, 0.0, 1.0, 1.0, 0.0};
  const Parts y{{1.0}, {{1.0}}};
  const Parts fc{{0.0}, {{0.0}}};
  const Parts fe{{-1.0}, {{-1.0}}};
  double mu = 0.0;
  ASSERT_EQ(muMaxOf(y, fc, fe, 1.0, 0.0, -1.0, s, mu), 0);
  EXPECT_EQ(mu, kNoRoot);
}

TEST(MuMax, SingularQuadraticCoefficient) {
  // c = d = e = 0: k2 = 0. A block's A is singular: failure.
  const Scalars s{0.0, 0.0, 0.0, 1.0, 0.0};
  const Parts block{{}, {{1.0}}};
  double mu = 0.0;
  EXPECT_EQ(muMaxOf(block, block, block, 1.0, 0.0, 0.0, s, mu), 1);
  // A scalar part takes its linear root: B = -b fc0 = -1, C = -b fe0 = 2.
  EXPECT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, 1.0, -2.0, s, mu), 0);
  EXPECT_EQ(mu, 2.0);
  // No quadratic and no linear coefficient: nothing.
  EXPECT_EQ(muMaxOf(kNone, kNone, kNone, 1.0, 0.0, -2.0, s, mu), 0);
  EXPECT_EQ(mu, kNoRoot);
}

}  // namespace
