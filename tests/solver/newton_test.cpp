// The Newton systems, checked against their definition on built problems
// that use every form of term: the coefficient matrix F_a of each unknown a
// is taken from the block evaluation at the unit point e_a, and then
//   H(a, b) = sum_r w_r^2 C(r,a) C(r,b) + sum_k tr(F_a W_k F_b W_k),
//   g(a)    = sum_r w_r C(r,a)          + sum_k tr(F_a W_k),
// the least-squares rows are svec(U_k F_a U_k'), and the reduced systems of
// both forms solve (T'HT + t^2 e0 e0') d = T'g + t e0.
#include <algorithm>
#include <memory>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "block_diagonal.h"
#include "block_eval.h"
#include "factor.h"
#include "free_parameters.h"
#include "newton_lsq.h"
#include "newton_normal.h"
#include "phase_support.h"
#include "scaling.h"
#include "solver_fixture.h"

namespace {

// Every form of term: factors on either side, transposes, symmetric pairs,
// scalar variables with matrix factors, 1 x 1 factors (S/2, 2*x),
// constants, structure and masks (equalities), an LME, linear rows. Every
// free parameter enters some inequality, so the Newton matrix is regular.
const char* const kTermBlocks =
    "A = [1 2; 3 4]; B = [0 1; -1 2]; C = [1 0 2; 0 1 1];\n"
    "var X(2,2) Y(2,3) x y\n"
    "var sym S(2)\n"
    "lmi = A*X + X'*A' + S + x*eye(2) - 3;\n"
    "lmi = B'*S*B + C*Y' + Y*C' + y*[1 2; 2 1] + 2*x + S/2;\n"
    "lmi = x*[2 1; 1 3] + y - 1;\n"
    "D = [2 1 0; 1 -1 3];\n"
    "lmi = D*Y' + Y*D' + B*X + X'*B' + 5*eye(2);\n"
    "lmi = B*X + X'*B' + 4*eye(2);\n"
    "G = [0 1 1; 1 0 -1];\n"
    "lmi = G*Y' + Y*G' + 6;";

const char* const kBlockLmis =
    "var sym P(2)\n"
    "var Q(3,2) z\n"
    "E = [1 0; 0 1; 1 1];\n"
    "lmi = block(P + eye(2); Q + E*P, z*eye(3) + [2 1 0; 1 2 0; 0 0 1]);\n"
    "lmi = block(z; E*P*[1;2], E*P*E'*3 + 2*z);\n"
    "lmi = block(P; zeros(2), z*eye(2); Q'*E, P, P + eye(2));";

const char* const kLinearAndEqualities =
    "var v(3,1) w x\n"
    "var sym S(2)\n"
    "lmi = v + w*[1;2;3] - [1;1;1];\n"
    "lmi = [1 2 3]*v + w;\n"
    "lmi = S + x*eye(2) + [1 2; 2 0]*w;\n"
    "lme = w - x + 1;\n"
    "mask(S) = [1 2; 2 1];";

// Terms whose value is a single number in a larger block: that number
// times the identity.
const char* const kScalarValues =
    "var X(2,2) x\n"
    "var sym S(2)\n"
    "lmi = S + [1 2]*X*[3;4] + [1 2]*x*[3;4] + [2 1]*X'*[1;1] + 1;\n"
    "A = [1 2; 3 4]; B = [0 1; -1 2];\n"
    "lmi = A*X + X'*A' + x*[1 0; 0 2];\n"
    "lmi = B*X + X'*B' - S;\n"
    "lmi = block(x; [1 2]*X*[1;1]*[1;1], [1 1]*X*[1;0] + [2 1; 1 2]);";

// Entries tied in threes and fours by a numbered mask, entries fixed at
// zero by the mask and by a diagonal structure, and an LME that makes x a
// multiple (2) of the homogenising parameter: every unknown is a multiple
// of one free parameter, so the systems accumulate straight into the
// reduced space, with a multiple other than 1 among them.
const char* const kTiesAndMultiples =
    "var X(3,3) x y\n"
    "var diag D(2)\n"
    "mask(X) = [1 1 0; 2 1 2; 0 2 3];\n"
    "lme = x - 2;\n"
    "lmi = X + X' + x*eye(3) + y*[1 0 0; 0 2 0; 0 0 3] + 2;\n"
    "M = [1 2; 2 1];\n"
    "lmi = D*M + M*D + 3*eye(2) + y*M;\n"
    "lmi = [1; 2]*x + [0; 1]*y + [1; 1];";

// Symmetric variables in Lyapunov-like sums and products from both sides,
// one with entries tied and fixed at zero by a mask, a general variable in
// the same block: the reduced parameters of one variable pair up through
// terms on both sides of it, in both orders.
const char* const kSymmetricProducts =
    "var sym P(3) sym R(2)\n"
    "var Y(3,2)\n"
    "A = [1 2 0; 0 -1 1; 2 0 3]; B = [0 1 1; 1 0 2; -1 1 0];\n"
    "mask(P) = [1 2 0; 2 1 3; 0 3 4];\n"
    "lmi = -A'*P - P*A + B'*P*B + 7*eye(3);\n"
    "lmi = block(P + eye(3); Y' + [1 0 1; 0 1 1]*P, R*[2 1; 1 2] + [2 1; 1 2]*R + 4*eye(2));\n"
    "lmi = R + [1 2; 3 4]*R*[1 0; 1 1] + [1 1; 0 1]*R*[1 3; 2 4] + 5*eye(2);";

struct NewtonCase {
  const char* script;
  int single;  // every unknown a multiple of one free parameter
};

const NewtonCase kProblems[] = {
    {kTermBlocks, 1},  {kBlockLmis, 1},        {kLinearAndEqualities, 0}, {kScalarValues, 1},
    {kTiesAndMultiples, 1}, {kSymmetricProducts, 1}};

double trace(const GenMatrixD& A, const GenMatrixD& B) {
  double sum = 0.0;
  for (int i = 0; i < A.Rows(); ++i)
    for (int j = 0; j < A.Cols(); ++j) sum += A(i, j) * B(j, i);
  return sum;
}

GenMatrixD product(const GenMatrixD& A, const GenMatrixD& B) { return A * B; }

// The full symmetric matrix of an upper triangle (of a scaling block).
GenMatrixD full(const SymMatrixD& S) {
  const int n = S.Rows();
  GenMatrixD M(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) M(i, j) = S(i, j);
  return M;
}

std::vector<double> svecOf(const GenMatrixD& S) {
  const int d = S.Rows();
  std::vector<double> v(d * (d + 1) / 2);
  for (int k = 0; k < d; ++k) v[k] = S(k, k);
  for (int k = 1; k < d; ++k)
    for (int l = 0; l < k; ++l) v[d + k * (k - 1) / 2 + l] = std::sqrt(2.0) * S(k, l);
  return v;
}

class NewtonTest : public SolverFixture {
 protected:
  // Builds script's problem and takes every block's coefficient matrix of
  // every unknown, a scaling W and its factor.
  void Build(const std::string& script) {
    ASSERT_EQ(run(script + "\nbuild;"), 0) << output.str();
    problem = builtProblem;
    nvt = problem->Nvt();
    nb = problem->Nb();
    const ScalingShape shape = problemShape(*problem);
    W.reset(new BlockDiagonalMatrix(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0));
    F.assign(nb, std::vector<GenMatrixD>());
    // The full coefficient matrices: a term need not be symmetric on its
    // own (a symmetric variable's entries are tied only through the basis).
    BlockDiagonalMatrix value(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
    BlockDiagonalMatrix upper(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
    for (int a = 0; a < nvt; ++a) {
      GenMatrixD x(nvt, 1, 0.0, 0);
      x[a] = 1.0;
      problem->StoreUnknowns(x);
      const int termBlocks = problem->NumTermBlocks();
      for (int k = 0; k < termBlocks; ++k) {
        evalTermBlock(problem->TermBlockAt(k), value.Block(k));
        F[k].push_back(value.Block(k).AsGenMatrixD());
      }
      for (int j = 0; j < problem->NumBlockLmis(); ++j) {
        const BlockLmi& block = problem->BlockLmiAt(j);
        evalBlockLmi(block, value.Block(termBlocks + j));
        evalBlockLmiUpper(block, upper.Block(termBlocks + j));
        GenMatrixD M = value.Block(termBlocks + j).AsGenMatrixD();
        for (int I = 0; I < block.N(); ++I)
          for (int J = I + 1; J < block.N(); ++J)
            for (int r = block.RowOffset(I); r < block.RowOffset(I + 1); ++r)
              for (int c = block.RowOffset(J); c < block.RowOffset(J + 1); ++c)
                M(r, c) = M(c, r) = upper.Block(termBlocks + j)(r, c);
        F[termBlocks + j].push_back(M);
      }
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int r = 0; r < problem->Td(); ++r) W->Diagonal()[r] = 1.0 + 0.25 * r;
    for (int k = 0; k < nb; ++k) {
      const int n = problem->BlockSizes()[k];
      GenMatrixD M(n, n);
      for (int e = 0; e < n * n; ++e) M[e] = uniform(random);
      GenMatrixD Wk = M * transpose(M);
      for (int i = 0; i < n; ++i) Wk(i, i) += 1.0;
      for (int e = 0; e < n * n; ++e) W->Block(k)[e] = Wk[e];
    }
  }

  const GenMatrixD& LinearC() const { return problem->Linear().Coefficients(); }

  double ReferenceH(int a, int b) const {
    double h = 0.0;
    for (int r = 0; r < problem->Td(); ++r) {
      const double w = W->Diagonal()[r];
      h += w * w * LinearC()(r, a) * LinearC()(r, b);
    }
    for (int k = 0; k < nb; ++k) h += BlockH(k, a, b);
    return h;
  }
  double ReferenceG(int a) const {
    double g = 0.0;
    for (int r = 0; r < problem->Td(); ++r) g += W->Diagonal()[r] * LinearC()(r, a);
    for (int k = 0; k < nb; ++k) g += BlockG(k, a);
    return g;
  }
  double BlockH(int k, int a, int b) const {
    const GenMatrixD Wk = full(W->Block(k));
    return trace(product(F[k][a], Wk), product(F[k][b], Wk));
  }
  double BlockG(int k, int a) const { return trace(F[k][a], full(W->Block(k))); }

  // The reduced system by its definition: Hred = T'HT + t^2 e0 e0' and
  // gred = T'g + t e0, T column by column the expansion of each unit free
  // parameter.
  void ReducedReference(const FreeParameterMap& map, double t, GenMatrixD& Hred, GenMatrixD& gred) const {
    const int nv = map.Nv();
    GenMatrixD T(nvt, nv, 0.0, 0);
    for (int k = 0; k < nv; ++k) {
      GenMatrixD y(nv, 1, 0.0, 0);
      y[k] = 1.0;
      map.Expand(y.Data(), T.Data() + k * nvt);
    }
    GenMatrixD H(nvt, nvt), g(nvt, 1);
    for (int a = 0; a < nvt; ++a) {
      g[a] = ReferenceG(a);
      for (int b = 0; b < nvt; ++b) H(a, b) = ReferenceH(a, b);
    }
    Hred = transpose(T) * H * T;
    gred = transpose(T) * g;
    Hred(0, 0) += t * t;
    gred[0] += t;
  }

  BuiltProblem* problem = nullptr;
  int nvt = 0;
  int nb = 0;
  std::unique_ptr<BlockDiagonalMatrix> W;
  std::vector<std::vector<GenMatrixD>> F;  // F[k][a]
};

TEST_F(NewtonTest, BlockShareOfTheNormalEquationsIsTheTraceFormula) {
  for (const NewtonCase& c : kProblems) {
    const char* const script = c.script;
    SCOPED_TRACE(script);
    freshWorkspace();
    ASSERT_NO_FATAL_FAILURE(Build(script));
    for (int k = 0; k < nb; ++k) {
      SCOPED_TRACE(k);
      SymMatrixD H(nvt);
      H.AsGenMatrixD().Fill(0.0);
      std::vector<double> g(nvt, 0.0);
      if (k < problem->NumTermBlocks())
        addTermBlockNormal(problem->TermBlockAt(k), H, g.data(), W->Block(k), problem->Scratch());
      else
        addBlockLmiNormal(problem->BlockLmiAt(k - problem->NumTermBlocks()), H, g.data(), W->Block(k),
                          problem->Scratch());
      for (int a = 0; a < nvt; ++a) {
        const double expectedG = BlockG(k, a);
        EXPECT_NEAR(g[a], expectedG, 1e-10 * (1.0 + std::fabs(expectedG))) << "g " << a;
        for (int b = 0; b < nvt; ++b) {
          const double h = H.AsGenMatrixD()(a, b);
          if (a > b) {
            EXPECT_EQ(h, 0.0) << "below the diagonal at " << a << ", " << b;
            continue;
          }
          const double expected = BlockH(k, a, b);
          EXPECT_NEAR(h, expected, 1e-10 * (1.0 + std::fabs(expected))) << "H " << a << ", " << b;
        }
      }
    }
  }
}

TEST_F(NewtonTest, LeastSquaresRowsAreTheScaledSvecOfEachCoefficient) {
  for (const NewtonCase& c : kProblems) {
    const char* const script = c.script;
    SCOPED_TRACE(script);
    freshWorkspace();
    ASSERT_NO_FATAL_FAILURE(Build(script));
    ScalingFactor U(problemShape(*problem));
    ASSERT_EQ(U.Factor(*W), 0);
    for (int scaled = 0; scaled < 2; ++scaled) {
      SCOPED_TRACE(scaled);
      int row = 3;  // rows before the block's stay untouched
      for (int k = 0; k < nb; ++k) {
        const int n = problem->BlockSizes()[k];
        GenMatrixD R(row + n * (n + 1) / 2 + 2, nvt, 0.0, 0);
        const int start = row;
        const int termBlocks = problem->NumTermBlocks();
        if (k < termBlocks && scaled)
          addTermBlockRows(problem->TermBlockAt(k), R, U.Block(k), row);
        else if (k < termBlocks)
          addTermBlockRowsObjective(problem->TermBlockAt(k), R, row);
        else if (scaled)
          addBlockLmiRows(problem->BlockLmiAt(k - termBlocks), R, U.Block(k), row);
        else
          addBlockLmiRowsObjective(problem->BlockLmiAt(k - termBlocks), R, row);
        EXPECT_EQ(row, start + n * (n + 1) / 2);
        const GenMatrixD Uk = U.Block(k).ToGenMatrixD();
        for (int a = 0; a < nvt; ++a) {
          const GenMatrixD value = scaled ? Uk * F[k][a] * transpose(Uk) : F[k][a];
          const std::vector<double> expected = svecOf(value);
          for (int i = 0; i < R.Rows(); ++i) {
            const int inside = i >= start && i < row;
            const double want = inside ? expected[i - start] : 0.0;
            EXPECT_NEAR(R(i, a), want, 1e-12 * (1.0 + std::fabs(want))) << "row " << i << " unknown " << a;
          }
        }
        row = 3;
      }
    }
  }
}

// The normal equations' reduced system entry by entry (the kernels that
// accumulate straight into it write its upper triangle alone; the general
// path's reduction leaves the rest as it was), then the solutions of both
// forms.
TEST_F(NewtonTest, BothFormsSolveTheReducedNewtonSystem) {
  for (const NewtonCase& c : kProblems) {
    SCOPED_TRACE(c.script);
    freshWorkspace();
    ASSERT_NO_FATAL_FAILURE(Build(c.script));
    const double t = 0.75;
    const FreeParameterMap map(*problem);
    EXPECT_EQ(map.IsSingle(), c.single);
    const int nv = map.Nv();
    GenMatrixD Hred, expected;
    ReducedReference(map, t, Hred, expected);

    NormalSystem normal(*problem, map);
    normal.Build(*W, t);
    const GenMatrixD& h = normal.Matrix().AsGenMatrixD();
    for (int b = 0; b < nv; ++b) {
      EXPECT_NEAR(normal.RightSide()[b], expected[b], 1e-10 * (1.0 + std::fabs(expected[b]))) << "g " << b;
      for (int a = 0; a < nv; ++a) {
        if (a <= b) {
          EXPECT_NEAR(h(a, b), Hred(a, b), 1e-10 * (1.0 + std::fabs(Hred(a, b)))) << "H " << a << ", " << b;
        } else if (c.single) {
          EXPECT_EQ(h(a, b), 0.0) << "below the diagonal at " << a << ", " << b;
        }
      }
    }

    ASSERT_EQ(solveLinear(Hred, expected, 'N'), 0);
    ASSERT_EQ(normal.Factor(), 0);
    GenMatrixD d(normal.RightSide());
    normal.Solve(d);

    ScalingFactor U(problemShape(*problem));
    ASSERT_EQ(U.Factor(*W), 0);
    LeastSquaresSystem leastSquares(*problem, map, 1);
    leastSquares.Build(U, t);
    leastSquares.Factor();
    GenMatrixD b(problem->Nt() + 1, 1);
    identityRightSide(*problem, b, 0);
    GenMatrixD dq(nv, 1);
    leastSquares.Solve(b, dq);

    for (int i = 0; i < nv; ++i) {
      const double tolerance = 1e-8 * (1.0 + std::fabs(expected[i]));
      EXPECT_NEAR(d[i], expected[i], tolerance) << i;
      EXPECT_NEAR(dq[i], expected[i], tolerance) << i;
    }
  }
}

// The inner products of a block-diagonal matrix with every free
// parameter's coefficient: with the scaling itself, the right side of the
// normal equations without the weight's term, T'g.
TEST_F(NewtonTest, TracesAreTheRightSideWithoutTheWeight) {
  for (const NewtonCase& c : kProblems) {
    SCOPED_TRACE(c.script);
    freshWorkspace();
    ASSERT_NO_FATAL_FAILURE(Build(c.script));
    const FreeParameterMap map(*problem);
    GenMatrixD Hred, expected;
    ReducedReference(map, 0.0, Hred, expected);
    GenMatrixD traces(map.Nv(), 1);
    reducedTraces(*problem, map, *W, traces);
    for (int k = 0; k < map.Nv(); ++k)
      EXPECT_NEAR(traces[k], expected[k], 1e-10 * (1.0 + std::fabs(expected[k]))) << k;
  }
}

// The least-squares form's solves with the normal equations' matrix
// through its triangular factor, and the scaled value of such a solution
// formed through its orthogonal factor: U F(T c) U' for c = H^-1 r.
TEST_F(NewtonTest, LeastSquaresSolvesTheNormalEquationsAndFormsTheirValue) {
  for (const NewtonCase& c : kProblems) {
    SCOPED_TRACE(c.script);
    freshWorkspace();
    ASSERT_NO_FATAL_FAILURE(Build(c.script));
    const double t = 0.75;
    const FreeParameterMap map(*problem);
    const int nv = map.Nv();
    GenMatrixD Hred, unused;
    ReducedReference(map, t, Hred, unused);
    GenMatrixD r(nv, 1);
    for (int k = 0; k < nv; ++k) r[k] = 1.0 + 0.5 * k - 0.1 * k * k;
    GenMatrixD expected(r);
    ASSERT_EQ(solveLinear(Hred, expected, 'N'), 0);

    ScalingFactor U(problemShape(*problem));
    ASSERT_EQ(U.Factor(*W), 0);
    LeastSquaresSystem leastSquares(*problem, map, 1);
    leastSquares.Build(U, t);
    leastSquares.Factor();
    GenMatrixD solved(r);
    leastSquares.SolveNormal(solved);
    for (int k = 0; k < nv; ++k) EXPECT_NEAR(solved[k], expected[k], 1e-8 * (1.0 + std::fabs(expected[k]))) << k;

    GenMatrixD rows(problem->Nt() + 1, 1);
    leastSquares.RangeOf(r, rows);
    const ScalingShape shape = problemShape(*problem);
    BlockDiagonalMatrix value(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
    rowsToValue(*problem, rows, value);
    GenMatrixD x(nvt, 1);
    map.Expand(expected.Data(), x.Data());
    for (int k = 0; k < nb; ++k) {
      const int n = problem->BlockSizes()[k];
      GenMatrixD Fx(n, n, 0.0, 0);
      for (int a = 0; a < nvt; ++a)
        for (int e = 0; e < n * n; ++e) Fx[e] += x[a] * F[k][a][e];
      const GenMatrixD Uk = U.Block(k).ToGenMatrixD();
      const GenMatrixD want = Uk * Fx * transpose(Uk);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i)
          EXPECT_NEAR(value.Block(k)(i, j), want(i, j), 1e-8 * (1.0 + std::fabs(want(i, j))))
              << "block " << k << " (" << i << ", " << j << ")";
    }
    for (int row = 0; row < problem->Td(); ++row) {
      double want = 0.0;
      for (int a = 0; a < nvt; ++a) want += LinearC()(row, a) * x[a];
      want *= W->Diagonal()[row];
      EXPECT_NEAR(value.Diagonal()[row], want, 1e-8 * (1.0 + std::fabs(want))) << "row " << row;
    }
    // The row of the homogenising weight: t times the solution's first entry.
    EXPECT_NEAR(rows[problem->Nt()], t * expected[0], 1e-8 * (1.0 + std::fabs(t * expected[0])));
  }
}

}  // namespace
