#include "optimization.h"

#include <cmath>
#include <iostream>
#include <memory>

#include "directions.h"
#include "free_parameters.h"
#include "kernels.h"
#include "lapack.h"
#include "mu_max.h"
#include "newton_lsq.h"
#include "newton_normal.h"
#include "phase_support.h"
#include "scaling.h"
#include "tables.h"

namespace {

// A level is admissible when the scaled combined direction keeps every
// eigenvalue of U D U' - I at or above this (the unscaled D(prev) is
// tested against it too); a trial level of the grid when every eigenvalue
// of D itself is at or above kGridThreshold.
constexpr double kLevelThreshold = -1.00000001;
constexpr double kGridThreshold = -1e-10;
// The largest change of the scaled objective (largest entry 1) along the
// directions that enter no inequality that still counts as none.
constexpr double kObjectiveResidual = 1e-8;

double dot(const GenMatrixD& a, const GenMatrixD& b) {
  double sum = 0.0;
  for (int i = 0; i < a.Rows(); ++i) sum += a[i] * b[i];
  return sum;
}

// The scalars of one iteration: a = q.d_g, b = d_g[0], c = q.d_c,
// d = d_c[0], e = d_e[0].
struct IterationScalars {
  double a;
  double b;
  double c;
  double d;
  double e;

  double Lambda(double L) const { return (a - L * b) / (c - 2.0 * L * d + L * L * e); }
  // The homogenising component of D(L) for the multiplier lambda.
  double H(double lambda, double L) const { return b - lambda * (d - L * e); }
};

class OptimizationRun {
 public:
  OptimizationRun(NewtonForm form, BuiltProblem& problem, const GenMatrixD& objective, BlockDiagonalMatrix& W,
                  double& t);

  double Scale() const { return m; }
  int SetUpObjective();
  int Run(double eps, int maxIter, int noprog, int display, int& counter, double& bound);
  void WriteBack() { keeper.WriteBack(); }
  double Previous() const { return prev; }
  double Accuracy() const { return rel; }
  int Mark() const { return mark; }

 private:
  int Directions();
  void LeastSquaresDirections();
  void ScaledObjective();
  int ChooseDirection(const IterationScalars& s, double estimate, double& bound, double& h, double& lambda);
  int TestScaled(double h);
  void KeepPoint(double lambda, double bound);
  double StepLength(double eps);

  NewtonForm form;
  BuiltProblem& problem;
  BlockDiagonalMatrix& W;
  double& t;
  ScalingShape shape;
  FreeParameterMap map;
  ScalingFactor U;
  BlockDiagonalMatrix Fg;
  BlockDiagonalMatrix Fc;
  BlockDiagonalMatrix Fe;
  BlockDiagonalMatrix saved;
  BlockDiagonalMatrix Dprev;
  BlockDiagonalMatrix K;  // the objective's representation (least squares)
  double gamma = 0.0;
  EigenvalueSolver eigen;
  PointKeeper keeper;
  std::unique_ptr<NormalSystem> normal;
  std::unique_ptr<LeastSquaresSystem> leastSquares;
  GenMatrixD b;           // (nt + 1) x 3 right sides (least squares)
  GenMatrixD solutions;   // nv x 3 (least squares)
  GenMatrixD q;
  GenMatrixD e0;
  GenMatrixD dg;
  GenMatrixD dc;
  GenMatrixD de;
  GenMatrixD x;
  GenMatrixD v;
  double m = 0.0;
  double prev = 0.0;
  double rel = -1.0;  // no value before the first bound update
  int mark = 0;
};

OptimizationRun::OptimizationRun(NewtonForm form, BuiltProblem& problem, const GenMatrixD& objective,
                                 BlockDiagonalMatrix& W, double& t)
    : form(form),
      problem(problem),
      W(W),
      t(t),
      shape(problemShape(problem)),
      map(problem),
      U(shape),
      Fg(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Fc(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Fe(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      saved(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      Dprev(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      K(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      eigen(shape),
      keeper(problem, map),
      q(map.Nv(), 1),
      e0(map.Nv(), 1, 0.0, 0),
      dg(map.Nv(), 1),
      dc(map.Nv(), 1),
      de(map.Nv(), 1),
      x(map.Nvt(), 1),
      v(problem.SumSizes() + 1, 1) {
  e0[0] = 1.0;
  for (int i = 0; i < objective.Rows(); ++i)
    if (std::fabs(objective[i]) > m) m = std::fabs(objective[i]);
  if (m == 0.0) return;
  divideGen(objective, m, q);
  if (form == NewtonForm::kCholesky) {
    normal.reset(new NormalSystem(problem, map));
    return;
  }
  leastSquares.reset(new LeastSquaresSystem(problem, map, 3));
  b = GenMatrixD(problem.Nt() + 1, 3, 0.0, 0);
  identityRightSide(problem, b, 0);
  solutions = GenMatrixD(map.Nv(), 3);
}

// K, a block-diagonal value whose inner products with the reduced
// coefficient matrices of the free parameters 1 .. nv-1 are the scaled
// objective: the value at yK with (A0'A0 + e0 e0') yK = q, A0 the unscaled
// rows reduced to the free parameters; gamma = yK[0]. Returns 1 when the
// objective changes along a direction that changes no inequality: it is
// then unbounded below on the feasible set.
int OptimizationRun::SetUpObjective() {
  const int nt = problem.Nt();
  const LapackInt nv = map.Nv();
  GenMatrixD A0(nt, nv);
  fillReducedRows(problem, map, nullptr, A0);
  // H0 = A0'A0: its upper triangle by BLAS, the lower one mirrored for the
  // minimum-norm fallback and the residual below.
  GenMatrixD H0(nv, nv);
  const char upper = 'U';
  const char transposed = 'T';
  const LapackInt rows = nt;
  const LapackInt ld = std::max(nt, 1);
  const double alpha = 1.0;
  const double beta = 0.0;
  dsyrk_(&upper, &transposed, &nv, &rows, &alpha, A0.Data(), &ld, &beta, H0.Data(), &nv, 1, 1);
  for (int j = 0; j < nv; ++j)
    for (int i = j + 1; i < nv; ++i) H0(i, j) = H0(j, i);
  H0(0, 0) += 1.0;
  GenMatrixD yK(q);
  const GenMatrixD normalMatrix(H0);
  const char uplo = 'U';
  const LapackInt one = 1;
  LapackInt info = 0;
  dpotrf_(&uplo, &nv, H0.Data(), &nv, &info, 1);
  if (info == 0) {
    dpotrs_(&uplo, &nv, &one, H0.Data(), &nv, yK.Data(), &nv, &info, 1);
  } else {
    // A free parameter that enters no inequality makes the matrix singular:
    // the minimum-norm solution stands for it.
    H0.Copy(normalMatrix);
    solveMinimumNorm(nv, nv, 1, H0.Data(), yK.Data(), nv);
    // The residual is q's part in the null space of the matrix: the
    // objective along the directions that no inequality sees.
    GenMatrixD residual(nv, 1);
    multiplyGen(normalMatrix, yK, residual);
    for (int i = 0; i < nv; ++i)
      if (!(std::fabs(residual[i] - q[i]) <= kObjectiveResidual)) return 1;
  }
  evaluateDirection(problem, map, yK, x, K);
  gamma = yK[0];
  return 0;
}

// Column 1 of b: the objective's representation in the scaled
// coordinates, U^-T K U^-1 (K_r / w_r on the linear rows), in svec.
void OptimizationRun::ScaledObjective() {
  int row = 0;
  const GenMatrixD& s = U.Diagonal();
  for (; row < problem.Td(); ++row) b(row, 1) = K.Diagonal()[row] / s[row] / s[row];
  for (int k = 0; k < shape.blockCount; ++k) {
    const int n = shape.blockSizes[k];
    GenMatrixD Kk = K.Block(k).ToGenMatrixD();
    U.Block(k).Solve(Kk, 'T');
    GenMatrixD& scaled = U.Work(k);
    transposeGen(Kk, scaled);
    U.Block(k).Solve(scaled, 'T');
    for (int i = 0; i < n; ++i) b(row + i, 1) = scaled(i, i);
    // The same sqrt(2) as the rows': A'b must give q, and near the optimum
    // the scaled objective's off-diagonal terms grow large and cancel, so
    // a root rounded differently (even by 1e-14) moves the bound below
    // the optimum.
    const double root2 = std::sqrt(2.0);
    for (int kk = 1; kk < n; ++kk)
      for (int l = 0; l < kk; ++l) b(row + n + kk * (kk - 1) / 2 + l, 1) = scaled(l, kk) * root2;
    row += n * (n + 1) / 2;
  }
  b(problem.Nt(), 1) = gamma / t;
  b(problem.Nt(), 2) = 1.0 / t;
}

void OptimizationRun::LeastSquaresDirections() {
  leastSquares->Build(U, t);
  ScaledObjective();
  leastSquares->Solve(b, solutions);
  for (int i = 0; i < map.Nv(); ++i) {
    dg[i] = solutions(i, 0);
    dc[i] = solutions(i, 1);
    de[i] = solutions(i, 2);
  }
}

// The three directions and their values: 0, or the phase's result.
int OptimizationRun::Directions() {
  if (U.Factor(W)) {
    if (form == NewtonForm::kLeastSquares) return 3;
    printFactorizationFailure();
    return 99;
  }
  if (form == NewtonForm::kCholesky) {
    normal->Build(W, t);
    if (normal->Factor()) return 3;
    dg.Copy(normal->RightSide());
    dc.Copy(q);
    de.Copy(e0);
    normal->Solve(dg);
    normal->Solve(dc);
    normal->Solve(de);
  } else {
    LeastSquaresDirections();
  }
  if (!isFiniteVector(dg) || !isFiniteVector(dc) || !isFiniteVector(de)) return newtonFailure(form);
  evaluateDirection(problem, map, dg, x, Fg);
  evaluateDirection(problem, map, dc, x, Fc);
  evaluateDirection(problem, map, de, x, Fe);
  return 0;
}

// Fg := U Fg U' - I and its eigenvalues with the homogenising entry t h - 1.
int OptimizationRun::TestScaled(double h) {
  scaleAndShift(U, Fg);
  return eigen.Fill(Fg, t * h - 1.0, v);
}

void OptimizationRun::KeepPoint(double lambda, double bound) {
  GenMatrixD y(map.Nv(), 1);
  for (int i = 0; i < map.Nv(); ++i) y[i] = dg[i] - lambda * (dc[i] - bound * de[i]);
  keeper.Offer(y);
}

// The multiplier muMax of a direction with its level, as a candidate bound
// level - 1/muMax: 0, or 99 after the phase's line.
int candidateBound(const BlockDiagonalMatrix& Y, const BlockDiagonalMatrix& Fc, const BlockDiagonalMatrix& Fe,
                   double y0, const IterationScalars& s, double level, double& bound) {
  double mu = 0.0;
  if (computeMuMax(Y, Fc, Fe, y0, s.d, s.e, s.c, s.d, s.e, y0, level, mu)) {
    std::cout << " Factorization error:: muMax.\n";
    return 99;
  }
  if (mu <= 0.0) {
    std::cout << " Error:: muMax is negative.\n";
    return 99;
  }
  bound = level - 1.0 / mu;
  return 0;
}

// Steps from the proposed level to the chosen direction, scaled, in Fg with
// its eigenvalues in v; sets the mark, the bound (when a level is
// accepted), h and the multiplier of the accepted level.
int OptimizationRun::ChooseDirection(const IterationScalars& s, double estimate, double& bound, double& h,
                                     double& lambda) {
  int result = candidateBound(Fg, Fc, Fe, s.b, s, estimate, bound);
  if (result != 0) return result;

  int prevFormed = 0;
  double lambdaPrev = 0.0;
  double hPrev = 0.0;
  auto formPrev = [&]() {
    lambdaPrev = s.Lambda(prev);
    combineDirections(saved, Fc, Fe, lambdaPrev, prev, Dprev);
    hPrev = s.H(lambdaPrev, prev);
    prevFormed = 1;
  };
  if (bound > prev) {
    formPrev();
    result = candidateBound(Dprev, Fc, Fe, hPrev, s, prev, bound);
    if (result != 0) return result;
  }

  lambda = s.Lambda(bound);
  combineDirections(saved, Fc, Fe, lambda, bound, Fg);
  h = s.H(lambda, bound);
  if (TestScaled(h)) return newtonFailure(form);
  mark = 1;
  if (smallestEntry(v) >= kLevelThreshold) return 0;

  if (!prevFormed) formPrev();
  if (eigen.Fill(Dprev, hPrev, v)) return newtonFailure(form);
  if (smallestEntry(v) < kLevelThreshold) {
    mark = 0;
  } else {
    const double delta = (prev - bound) / 11.0;
    double L = bound;
    int accepted = 0;
    for (int j = 1; j <= 10 && !accepted; ++j) {
      L = L + delta;
      lambda = s.Lambda(L);
      combineDirections(saved, Fc, Fe, lambda, L, Fg);
      h = s.H(lambda, L);
      ++mark;
      if (eigen.Fill(Fg, h, v)) return newtonFailure(form);
      if (smallestEntry(v) >= kGridThreshold) {
        bound = L;
        mark = 1 + j;
        accepted = 1;
      }
    }
    if (!accepted) mark = 0;
  }
  if (mark == 0) {
    copyValues(Dprev, Fg);
    h = hPrev;
  }
  if (TestScaled(h)) return newtonFailure(form);
  return 0;
}

double OptimizationRun::StepLength(double eps) {
  const double cmax = largestEntry(v);
  double alpha = 0.0;
  if (cmax > eps && 1.0 / cmax > eps) {
    stepLengthOrFallback(v, cmax, alpha);
    return alpha;
  }
  const double cmin = smallestEntry(v);
  return std::fabs(cmin) > std::fabs(cmax) ? 1.0 / (std::fabs(cmin) + 1.0) : 1.0 / (std::fabs(cmax) + 1.0);
}

int OptimizationRun::Run(double eps, int maxIter, int noprog, int display, int& counter, double& bound) {
  int noProgress = 0;
  prev = bound;
  for (; counter <= maxIter; ++counter) {
    int result = Directions();
    if (result != 0) return result;
    copyValues(Fg, saved);
    const IterationScalars s{dot(q, dg), dg[0], dot(q, dc), dc[0], de[0]};
    const double estimate = s.a / s.b;
    if (!std::isfinite(estimate)) return newtonFailure(form);
    if (counter == 1) prev = estimate;
    double h = 0.0;
    double lambda = 0.0;
    result = ChooseDirection(s, estimate, bound, h, lambda);
    if (result != 0) return result;

    if (mark != 0) {
      const double delta = std::fabs(prev) < std::sqrt(eps) ? 1.0 : 0.0;
      rel = (prev - bound) / std::fabs(prev + delta);
      noProgress = 0;
      prev = bound;
      KeepPoint(lambda, bound);
    } else {
      ++noProgress;
      bound = prev;
    }
    if (isDisplayed(counter, display)) printOptimizationLine(eps, counter, m * prev, rel, mark);
    if (mark != 0 && 0.0 <= rel && rel < eps) return 0;
    if (noProgress >= noprog) return 2;

    const double alpha = StepLength(eps);
    updateScaling(W, U, Fg, alpha);
    t = t * (1.0 - alpha * (t * h - 1.0));
  }
  return 1;
}

int optimize(NewtonForm form, BuiltProblem& problem, const GenMatrixD& objective, double& bound, double eps,
             int maxIter, int noprog, int display, int& counter, time_t& start, time_t& end, double& cpuSeconds,
             BlockDiagonalMatrix& W, double& t) {
  OptimizationRun run(form, problem, objective, W, t);
  const int unbounded = run.Scale() != 0.0 && form == NewtonForm::kLeastSquares && run.SetUpObjective();
  const PhaseClock clock(start);
  if (run.Scale() == 0.0 || unbounded) {
    // Nothing to minimise (every feasible point is optimal), or nothing to
    // stop the objective: the variables keep the feasible point.
    clock.Stop(end, cpuSeconds);
    run.WriteBack();
    if (!unbounded) return 0;
    std::cout << " Error:: objective is unbounded.\n";
    return 99;
  }
  if (counter == 0) {
    counter = 1;
    if (display != 0) printOptimizationHead(eps);
  } else if (display != 0) {
    printOptimizationSeparator(tablePrecision(eps));
  }
  const int result = run.Run(eps, maxIter, noprog, display, counter, bound);
  clock.Stop(end, cpuSeconds);
  if (display != 0) {
    if (!isDisplayed(counter, display))
      printOptimizationLine(eps, counter, run.Scale() * run.Previous(), run.Accuracy(), run.Mark());
    printOptimizationSeparator(tablePrecision(eps));
  }
  run.WriteBack();
  return result;
}

}  // namespace

int optimizeCholesky(BuiltProblem& problem, const GenMatrixD& objective, double& bound, const double& eps,
                     const int& max_iter, const int& noprog, const int& display, int& counter, time_t& start,
                     time_t& end, double& cpuSeconds, BlockDiagonalMatrix& W, double& t) {
  return optimize(NewtonForm::kCholesky, problem, objective, bound, eps, max_iter, noprog, display, counter, start,
                  end, cpuSeconds, W, t);
}

int optimizeQR(BuiltProblem& problem, const GenMatrixD& objective, double& bound, const double& eps,
               const int& max_iter, const int& noprog, const int& display, int& counter, time_t& start, time_t& end,
               double& cpuSeconds, BlockDiagonalMatrix& W, double& t) {
  return optimize(NewtonForm::kLeastSquares, problem, objective, bound, eps, max_iter, noprog, display, counter, start,
                  end, cpuSeconds, W, t);
}
