// The certificate of infeasibility that the feasibility phase needs before
// it calls a problem infeasible, checked where the phase's scaled step
// meets its test of unboundedness.
#include "dual_bound.h"

#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "bounded_real_lemma.h"
#include "directions.h"
#include "feasibility.h"
#include "phase_support.h"
#include "solver_fixture.h"

namespace {

class CertificateTest : public SolverFixture {
 protected:
  // Builds the script's problem and takes the Newton step of the normal
  // equations at the scaling that `steps` iterations of the feasibility
  // phase leave (the identity and t = 1 for none): whether the residual of
  // that step, as the phase forms it, certifies that no point is feasible.
  // `largest` gets the step's largest scaled eigenvalue, which the phase's
  // test of unboundedness reads.
  int CertifiesAfter(const std::string& script, int steps) {
    EXPECT_EQ(run(script + "\nbuild;"), 0) << output.str();
    BuiltProblem& problem = *builtProblem;
    const ScalingShape shape = problemShape(problem);
    BlockDiagonalMatrix W(0);
    double t = 1.0;
    identityBlockDiagonal(shape.blockCount, shape.blockSizes, shape.diagonalLength, W);
    if (steps > 0) {
      int counter = 0;
      time_t start = 0;
      time_t end = 0;
      double seconds = 0.0;
      EXPECT_EQ(findFeasibleCholesky(problem, 1e-4, steps, 10, 0, counter, start, end, seconds, W, t), kMaxIterations);
    }
    FreeParameterMap map(problem);
    NormalSystem normal(problem, map);
    normal.Build(W, t);
    EXPECT_EQ(normal.Factor(), 0);
    GenMatrixD d = normal.RightSide();
    normal.Solve(d);
    GenMatrixD x(map.Nvt(), 1);
    BlockDiagonalMatrix V(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
    evaluateDirection(problem, map, d, x, V);
    ScalingFactor U(shape);
    EXPECT_EQ(U.Factor(W), 0);
    scaleAndShift(U, V);
    EigenvalueSolver eigen(shape);
    GenMatrixD v(problem.SumSizes() + 1, 1);
    EXPECT_EQ(eigen.Fill(V, t * d[0] - 1.0, v), 0);
    largest = largestEntry(v);
    DualBound dual(problem, map, shape);
    return dual.CertifiesInfeasibility(U, W, V, 0, newtonDirection(problem, map, &normal, nullptr));
  }

  double largest = 0.0;
};

// At the identity the step of P > 0 with P < 0 is P = 0: its residual is
// the identity in both blocks, orthogonal to (P, -P) for every P.
TEST_F(CertificateTest, HoldsForAPairOfOppositeInequalities) {
  EXPECT_EQ(CertifiesAfter("var sym P(3)\nlmi = P;\nlmi = -P;", 0), 1);
  freshWorkspace();
  EXPECT_EQ(CertifiesAfter("var x\nlmi = x - 1;\nlmi = -x;", 0), 1);
}

// The bounded real lemma with a large input matrix is feasible, yet its
// third scaled step meets the test of unboundedness: the residual there is
// nearly, but not within rounding, semidefinite.
TEST_F(CertificateTest, FailsWhereAFeasibleProblemLooksUnbounded) {
  EXPECT_EQ(CertifiesAfter(schurLemmaScript(largeInputSystem()), 2), 0);
  EXPECT_LE(largest, 1e-4);
}

}  // namespace
