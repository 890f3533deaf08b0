#include "feasibility.h"

#include <cmath>
#include <memory>

#include "directions.h"
#include "dual_bound.h"
#include "free_parameters.h"
#include "interrupt_flag.h"
#include "newton_lsq.h"
#include "newton_normal.h"
#include "phase_support.h"
#include "point_check.h"
#include "scaling.h"
#include "tables.h"

namespace {

// A point counts as strictly feasible when every eigenvalue of its scaled
// value U F U' clears this margin above zero: a point on the boundary of
// the feasible set (an eigenvalue at 0, v_i at -1) is not found feasible.
constexpr double kFeasibilityMargin = 1e-8;

class FeasibilityRun {
 public:
  FeasibilityRun(NewtonForm form, BuiltProblem& problem, BlockDiagonalMatrix& W, double& t)
      : form(form),
        problem(problem),
        W(W),
        t(t),
        shape(problemShape(problem)),
        map(problem),
        U(shape),
        F(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
        eigen(shape),
        keeper(problem, map),
        check(problem, map, shape),
        Fd(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
        d(map.Nv(), 1, 0.0, 0),
        x(map.Nvt(), 1),
        v(problem.SumSizes() + 1, 1) {
    identityBlockDiagonal(shape.blockCount, shape.blockSizes, shape.diagonalLength, W);
    t = 1.0;
    if (form == NewtonForm::kCholesky) {
      normal.reset(new NormalSystem(problem, map));
    } else {
      leastSquares.reset(new LeastSquaresSystem(problem, map, 1));
      b = GenMatrixD(problem.Nt() + 1, 1);
      identityRightSide(problem, b, 0);
    }
    direction = newtonDirection(problem, map, normal.get(), leastSquares.get());
  }

  int Run(double eps, int maxIter, int noprog, int display, int& counter);
  void WriteBack() { keeper.WriteBack(); }
  double Radius() const { return radius; }

 private:
  // Steps of one iteration: 0 to go on, else the phase's result.
  int NewtonStep();
  int ScaledStep();
  // 1 when the residual of the step certifies that no point is feasible.
  int CertifiesInfeasibility();

  NewtonForm form;
  BuiltProblem& problem;
  BlockDiagonalMatrix& W;
  double& t;
  ScalingShape shape;
  FreeParameterMap map;
  ScalingFactor U;
  BlockDiagonalMatrix F;
  EigenvalueSolver eigen;
  PointKeeper keeper;  // before the check, which overwrites the variables
  PointCheck check;
  BlockDiagonalMatrix Fd;  // F at the step, unscaled
  std::unique_ptr<DualBound> certificate;  // made where it is first needed
  std::unique_ptr<NormalSystem> normal;
  std::unique_ptr<LeastSquaresSystem> leastSquares;
  DualBound::Direction direction;  // the values of the Newton system's solutions
  GenMatrixD b;
  GenMatrixD d;
  GenMatrixD x;
  GenMatrixD v;
  double radius = 1.0;
};

int FeasibilityRun::NewtonStep() {
  if (form == NewtonForm::kLeastSquares) {
    if (U.Factor(W)) {
      printFactorizationFailure();
      return kAbnormal;
    }
    leastSquares->Build(U, t);
    leastSquares->Factor();
    leastSquares->Solve(b, d);
  } else {
    normal->Build(W, t);
    if (normal->Factor()) return kDegenerate;
    d.Copy(normal->RightSide());
    normal->Solve(d);
  }
  if (!isFiniteVector(d)) return newtonFailure(form);
  keeper.Offer(d);
  evaluateDirection(problem, map, d, x, F);
  copyValues(F, Fd);
  return kSolved;
}

// V = U F(d) U' - I, its eigenvalues and the radius.
int FeasibilityRun::ScaledStep() {
  if (form == NewtonForm::kCholesky && U.Factor(W)) {
    printFactorizationFailure();
    return kAbnormal;
  }
  scaleAndShift(U, F);
  if (eigen.Fill(F, t * d[0] - 1.0, v)) return newtonFailure(form);
  double sum = 0.0;
  for (int i = 0; i < v.Rows(); ++i) sum += v[i] * v[i];
  radius = std::sqrt(sum);
  return kSolved;
}

int FeasibilityRun::CertifiesInfeasibility() {
  if (!certificate) certificate.reset(new DualBound(problem, map, shape));
  return certificate->CertifiesInfeasibility(U, W, F, form == NewtonForm::kLeastSquares, direction);
}

int FeasibilityRun::Run(double eps, int maxIter, int noprog, int display, int& counter) {
  int result = kMaxIterations;
  int noProgress = 0;
  int first = 1;
  double previousRadius = 0.0;
  // An interrupt ends the phase as max_iter would, before the next iteration.
  for (; counter <= maxIter && !interruptRequested(); ++counter) {
    const int failure = NewtonStep();
    if (failure != kSolved) return failure;
    const double d0 = d[0];
    const int scaledFailure = ScaledStep();
    if (scaledFailure != kSolved) return scaledFailure;
    if (isDisplayed(counter, display)) printFeasibilityLine(eps, counter, radius);
    if (!first && radius == previousRadius) {
      ++noProgress;
    } else {
      noProgress = 0;
      previousRadius = radius;
    }
    first = 0;

    // The scaled tests promise a strictly feasible step; its own value
    // must show it, beyond rounding, before success is claimed. The test of
    // unboundedness is no evidence on its own either: large constants meet
    // it while the step's point is plainly feasible, and otherwise the run
    // ends there only with a checked certificate of infeasibility.
    const double c = largestEntry(v);
    const int scaledFeasible = radius < 1.0 || smallestEntry(v) > -1.0 + kFeasibilityMargin;
    const int unbounded = c <= eps || 1.0 / c <= eps;
    if ((scaledFeasible || unbounded) && check.HoldsBeyondRounding(Fd, d0)) return kSolved;
    if (noProgress >= noprog) return kNoProgress;
    if (unbounded && CertifiesInfeasibility()) return kUnbounded;

    double alpha = 0.0;
    // Recorded, then replaced by the code of a later exit; W stays positive
    // definite with the fallback step.
    if (stepLengthOrFallback(v, c, alpha)) result = kAbnormal;
    updateScaling(W, U, F, alpha);
    t = t * (1.0 - alpha * (t * d0 - 1.0));
  }
  return result;
}

int findFeasible(NewtonForm form, BuiltProblem& problem, double eps, int maxIter, int noprog, int display,
                 int& counter, time_t& start, time_t& end, double& cpuSeconds, BlockDiagonalMatrix& W, double& t) {
  FeasibilityRun run(form, problem, W, t);
  const PhaseClock clock(start);
  if (counter == 0) {
    counter = 1;
    if (display != 0) printFeasibilityHead(eps);
  } else if (display != 0) {
    printFeasibilitySeparator(tablePrecision(eps));
  }
  const int result = run.Run(eps, maxIter, noprog, display, counter);
  clock.Stop(end, cpuSeconds);
  if (display != 0) {
    if (!isDisplayed(counter, display)) printFeasibilityLine(eps, counter, run.Radius());
    printFeasibilitySeparator(tablePrecision(eps));
  }
  run.WriteBack();
  return result;
}

}  // namespace

int findFeasibleCholesky(BuiltProblem& problem, const double& eps, const int& max_iter, const int& noprog,
                         const int& display, int& counter, time_t& start, time_t& end, double& cpuSeconds,
                         BlockDiagonalMatrix& W, double& t) {
  return findFeasible(NewtonForm::kCholesky, problem, eps, max_iter, noprog, display, counter, start, end, cpuSeconds,
                      W, t);
}

int findFeasibleQR(BuiltProblem& problem, const double& eps, const int& max_iter, const int& noprog,
                   const int& display, int& counter, time_t& start, time_t& end, double& cpuSeconds,
                   BlockDiagonalMatrix& W, double& t) {
  return findFeasible(NewtonForm::kLeastSquares, problem, eps, max_iter, noprog, display, counter, start, end,
                      cpuSeconds, W, t);
}
