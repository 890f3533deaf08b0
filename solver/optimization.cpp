#include "optimization.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <memory>

#include "directions.h"
#include "dual_bound.h"
#include "free_parameters.h"
#include "interrupt_flag.h"
#include "kernels.h"
#include "mu_max.h"
#include "newton_lsq.h"
#include "newton_normal.h"
#include "phase_support.h"
#include "point_check.h"
#include "scaling.h"
#include "tables.h"

namespace {

// A level is admissible when the scaled combined direction keeps every
// eigenvalue of U D U' - I at or above this (the unscaled D(prev) is
// tested against it too), a trial level of the grid when D itself is
// positive semidefinite to rounding, relative to its own scale (an
// absolute threshold passes a point of large data that is far from
// feasible). Either way its point must pass the direct check of
// PointCheck, which for the grid is that test.
constexpr double kLevelThreshold = -1.00000001;
// The largest change of the scaled objective (largest entry 1) along the
// directions that enter no inequality that still counts as none.
constexpr double kObjectiveResidual = 1e-8;
// A proposed level above the bound by no more than this, relative, is the
// bound itself: the new directions cannot lower it, and the rounding of
// the multiplier is all that puts the proposal above.
constexpr double kRoundingSlack = 64.0 * DBL_EPSILON;
// How far below its anchor an unbounded family is tested, relative.
constexpr double kUnboundedReach = 1e6;

double dot(const GenMatrixD& a, const GenMatrixD& b) {
  double sum = 0.0;
  for (int i = 0; i < a.Rows(); ++i) sum += a[i] * b[i];
  return sum;
}

// The point of the combined direction at a level L: the Newton step d_g
// projected, in the metric of the Newton matrix H, onto the hyperplane
// where the objective equals L times the homogenising parameter:
//   y = d_g - lambda z,  z = H^-1 (q - L e0),
//   kappa2 = (q - L e0)'z,  lambda = (q - L e0)'d_g / kappa2,
// with D = F(T y), its homogenising component h = y[0] and, for a pencil
// anchored here, Fz = F(T z). z is solved for at each level: combined
// from the solutions for q and e0, it would lose its digits near the
// optimum, where those two are huge and nearly parallel.
struct LevelPoint {
  LevelPoint(const ScalingShape& shape, int nv)
      : z(nv, 1),
        y(nv, 1),
        D(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
        Fz(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0) {}

  double level = 0.0;
  double kappa2 = 0.0;
  double lambda = 0.0;
  double h = 0.0;
  GenMatrixD z;
  GenMatrixD y;
  BlockDiagonalMatrix D;
  BlockDiagonalMatrix Fz;
};

// What the search for a bound found in an iteration.
enum class Search { kFound, kNone, kUnbounded };

// The accuracy's allowance for a bound near zero: a relative change below
// sqrt(eps) in magnitude is measured against |bound + 1|.
double accuracyScale(double bound, double eps) {
  return std::fabs(bound + (std::fabs(bound) < std::sqrt(eps) ? 1.0 : 0.0));
}

// The levels an iteration proposed (from the Newton step's family, and from
// the bound's own family when it ran), none of which need have passed.
class Proposals {
 public:
  void Add(double level) { levels[count++] = level; }
  // 1 when a proposal lies within eps of the bound, above or below it.
  int Within(double bound, double eps) const {
    for (int i = 0; i < count; ++i)
      if (std::fabs(levels[i] - bound) < eps * accuracyScale(bound, eps)) return 1;
    return 0;
  }

 private:
  double levels[2] = {0.0, 0.0};
  int count = 0;
};

class OptimizationRun {
 public:
  OptimizationRun(NewtonForm form, BuiltProblem& problem, const GenMatrixD& objective, BlockDiagonalMatrix& W,
                  double& t);

  double Scale() const { return m; }
  int SetUpObjective();
  int RowsAreDeficient(BlockDiagonalMatrix& identity, GenMatrixD& yK);
  int Run(double eps, int maxIter, int noprog, int display, int& counter, double& bound);
  void WriteBack() { keeper.WriteBack(); }
  double Previous() const { return prev; }
  double Accuracy() const { return rel; }
  int Mark() const { return mark; }

 private:
  int Directions();
  void LeastSquaresDirections();
  void ScaledObjective();
  void SolveLevel(double L, GenMatrixD& z);
  int FormLevel(double L, LevelPoint& p, int withFz);
  int Proven(double bound, double eps);
  int StepFromBound();
  int FormFamilyPoint(const LevelPoint& anchor, double delta, LevelPoint& p);
  Search Candidate(LevelPoint& anchor, double& bound);
  int ChooseDirection(double estimate, double eps, double& bound);
  int FirstTest(double bound);
  int GridTest(double L);
  int SearchGrid(double& bound);
  int TestScaled(const LevelPoint& p);
  void Accept(const LevelPoint& p, double& bound);
  int Lift(const LevelPoint& p);
  double StepLength(double eps);

  NewtonForm form;
  BuiltProblem& problem;
  BlockDiagonalMatrix& W;
  double& t;
  ScalingShape shape;
  FreeParameterMap map;
  PointKeeper keeper;  // before the check, which overwrites the variables
  PointCheck check;
  ScalingFactor U;
  BlockDiagonalMatrix Fe;
  BlockDiagonalMatrix V;  // the chosen direction, scaled and shifted
  BlockDiagonalMatrix K;  // the objective's representation (least squares)
  double gamma = 0.0;
  EigenvalueSolver eigen;
  std::unique_ptr<NormalSystem> normal;
  std::unique_ptr<LeastSquaresSystem> leastSquares;
  GenMatrixD b;              // (nt + 1) x 2: the right sides of d_g and d_e
  GenMatrixD objectiveSide;  // the objective's right side (least squares)
  GenMatrixD solutions;      // nv x 2 (least squares)
  GenMatrixD rightSide;      // one level's right side
  GenMatrixD q;
  GenMatrixD dg;
  GenMatrixD de;
  GenMatrixD x;
  GenMatrixD v;
  LevelPoint trial;
  LevelPoint atPrev;
  DualBound dual;
  GenMatrixD zDual;
  DualBound::Direction direction;  // the values of the Newton system's solutions
  GenMatrixD lifted;   // an accepted point, made strictly feasible
  int proofTried = 0;  // in this iteration
  int proofHolds = 0;
  double a = 0.0;  // q'd_g
  double e = 0.0;  // d_e[0]
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
      keeper(problem, map),
      check(problem, map, shape),
      U(shape),
      Fe(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      V(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      K(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0),
      eigen(shape),
      q(map.Nv(), 1),
      dg(map.Nv(), 1),
      de(map.Nv(), 1),
      x(map.Nvt(), 1),
      v(problem.SumSizes() + 1, 1),
      trial(shape, map.Nv()),
      atPrev(shape, map.Nv()),
      dual(problem, map, shape),
      zDual(map.Nv(), 1),
      lifted(map.Nv(), 1) {
  // The point the phase begins at (the feasibility phase's, strictly
  // feasible) is where accepted points are lifted toward.
  keeper.EntryParameters(lifted);
  check.SetInterior(lifted);
  for (int i = 0; i < objective.Rows(); ++i)
    if (std::fabs(objective[i]) > m) m = std::fabs(objective[i]);
  if (m == 0.0) return;
  divideGen(objective, m, q);
  if (form == NewtonForm::kCholesky) {
    normal.reset(new NormalSystem(problem, map));
    rightSide = GenMatrixD(map.Nv(), 1);
    direction = newtonDirection(problem, map, normal.get(), nullptr);
    return;
  }
  leastSquares.reset(new LeastSquaresSystem(problem, map, 2));
  b = GenMatrixD(problem.Nt() + 1, 2, 0.0, 0);
  identityRightSide(problem, b, 0);
  objectiveSide = GenMatrixD(problem.Nt() + 1, 1);
  solutions = GenMatrixD(map.Nv(), 2);
  rightSide = GenMatrixD(problem.Nt() + 1, 1);
  direction = newtonDirection(problem, map, nullptr, leastSquares.get());
}

// K, a block-diagonal value whose inner products with the reduced
// coefficient matrices of the free parameters 1 .. nv-1 are the scaled
// objective: the value at yK with (A0'A0 + e0 e0') yK = q, A0 the unscaled
// rows reduced to the free parameters; gamma = yK[0]. That matrix is the
// Newton matrix of the normal equations at W = I and t = 1 (the svec rows'
// inner products are the trace inner products), built as in that form.
// Returns 1 when the objective changes along a direction that changes no
// inequality: it is then unbounded below on the feasible set.
int OptimizationRun::SetUpObjective() {
  const int nv = map.Nv();
  BlockDiagonalMatrix identity(shape.blockCount, shape.blockSizes, shape.diagonalLength, 0);
  identityBlockDiagonal(shape.blockCount, shape.blockSizes, shape.diagonalLength, identity);
  // On the problem's Newton matrix, which shares its storage with the
  // least-squares matrix: the first Newton step refills that after this.
  NormalSystem system(problem, map);
  system.Build(identity, 1.0);
  GenMatrixD yK(q);
  if (system.Factor() == 0) {
    system.Solve(yK);
  } else if (RowsAreDeficient(identity, yK)) {
    // A free parameter that enters no inequality makes the matrix singular:
    // the minimum-norm solution stands for it, from the matrix built anew
    // (the factorisation overwrote it) and made full.
    system.Build(identity, 1.0);
    GenMatrixD normalMatrix(nv, nv);
    for (int j = 0; j < nv; ++j)
      for (int i = 0; i < nv; ++i) normalMatrix(i, j) = system.Matrix()(i, j);
    GenMatrixD H0(normalMatrix);
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

// 1 when the rows at W = I and t = 1 (the Newton matrix at W = I is their
// Gram matrix) are rank deficient; otherwise yK := that matrix's inverse
// times yK, through the rows' QR factorisation. The Cholesky factorisation
// of the Gram matrix fails on more than a deficiency: large constants make
// the homogenising parameter's column many orders larger than the others,
// and the squared system is singular to rounding where the rows are not.
int OptimizationRun::RowsAreDeficient(BlockDiagonalMatrix& identity, GenMatrixD& yK) {
  ScalingFactor unit(shape);
  unit.Factor(identity);
  LeastSquaresSystem rows(problem, map, 1);
  rows.Build(unit, 1.0);
  rows.Factor();
  if (rows.IsDeficient()) return 1;
  rows.SolveNormal(yK);
  return 0;
}

// The objective's right side: its representation in the scaled
// coordinates, U^-T K U^-1 (K_r / w_r on the linear rows), in svec, with
// gamma / t in the row of the weight: its solution is H^-1 q.
void OptimizationRun::ScaledObjective() {
  int row = 0;
  const GenMatrixD& s = U.Diagonal();
  for (; row < problem.Td(); ++row) objectiveSide[row] = K.Diagonal()[row] / s[row] / s[row];
  for (int k = 0; k < shape.blockCount; ++k) {
    const int n = shape.blockSizes[k];
    GenMatrixD Kk = K.Block(k).ToGenMatrixD();
    U.Block(k).Solve(Kk, 'T');
    GenMatrixD& scaled = U.Work(k);
    transposeGen(Kk, scaled);
    U.Block(k).Solve(scaled, 'T');
    for (int i = 0; i < n; ++i) objectiveSide[row + i] = scaled(i, i);
    // The same sqrt(2) as the rows': A'b must give q, and near the optimum
    // the scaled objective's off-diagonal terms grow large and cancel, so
    // a root rounded differently (even by 1e-14) moves the bound below
    // the optimum.
    const double root2 = std::sqrt(2.0);
    for (int kk = 1; kk < n; ++kk)
      for (int l = 0; l < kk; ++l) objectiveSide[row + n + kk * (kk - 1) / 2 + l] = scaled(l, kk) * root2;
    row += n * (n + 1) / 2;
  }
  objectiveSide[problem.Nt()] = gamma / t;
}

// d_g and d_e (the solution for e0: the right side 1/t in the row of the
// weight), from one factorisation that the levels' solves reuse.
void OptimizationRun::LeastSquaresDirections() {
  leastSquares->Build(U, t);
  leastSquares->Factor();
  ScaledObjective();
  b(problem.Nt(), 1) = 1.0 / t;
  leastSquares->Solve(b, solutions);
  for (int i = 0; i < map.Nv(); ++i) {
    dg[i] = solutions(i, 0);
    de[i] = solutions(i, 1);
  }
}

// The directions d_g and d_e and the value F_e: kSolved, or the phase's
// result.
int OptimizationRun::Directions() {
  if (U.Factor(W)) {
    if (form == NewtonForm::kLeastSquares) return kDegenerate;
    printFactorizationFailure();
    return kAbnormal;
  }
  if (form == NewtonForm::kCholesky) {
    normal->Build(W, t);
    if (normal->Factor()) return kDegenerate;
    dg.Copy(normal->RightSide());
    normal->Solve(dg);
    de.Fill(0.0);
    de[0] = 1.0;
    normal->Solve(de);
  } else {
    LeastSquaresDirections();
  }
  if (!isFiniteVector(dg) || !isFiniteVector(de)) return kDegenerate;
  evaluateDirection(problem, map, de, x, Fe);
  return kSolved;
}

// z := H^-1 (q - L e0).
void OptimizationRun::SolveLevel(double L, GenMatrixD& z) {
  if (form == NewtonForm::kCholesky) {
    rightSide.Copy(q);
    rightSide[0] -= L;
    normal->Solve(rightSide);
    z.Copy(rightSide);
  } else {
    rightSide.Copy(objectiveSide);
    rightSide[problem.Nt()] = (gamma - L) / t;
    leastSquares->Solve(rightSide, z);
  }
}

// The point at level L (and F(T z) when asked): 0, or 1 when it is not
// finite.
int OptimizationRun::FormLevel(double L, LevelPoint& p, int withFz) {
  const int nv = map.Nv();
  SolveLevel(L, p.z);
  p.level = L;
  p.kappa2 = dot(q, p.z) - L * p.z[0];
  p.lambda = (a - L * dg[0]) / p.kappa2;
  for (int i = 0; i < nv; ++i) p.y[i] = dg[i] - p.lambda * p.z[i];
  p.h = p.y[0];
  if (!std::isfinite(p.lambda) || !isFiniteVector(p.y) || !isFiniteVector(p.z)) return 1;
  evaluateDirection(problem, map, p.y, x, p.D);
  if (withFz) evaluateDirection(problem, map, p.z, x, p.Fz);
  return 0;
}

// The point delta below the anchor on the family of the anchor's point
// y_A: y = y_A - lambda' (z_A + delta d_e), lambda' = delta h_A /
// kappa2(A - delta), which keeps the objective at (A - delta) y0.
int OptimizationRun::FormFamilyPoint(const LevelPoint& anchor, double delta, LevelPoint& p) {
  const int nv = map.Nv();
  const double kappa2 = anchor.kappa2 + 2.0 * delta * anchor.z[0] + delta * delta * e;
  const double lambda = delta * anchor.h / kappa2;
  for (int i = 0; i < nv; ++i) p.y[i] = anchor.y[i] - lambda * (anchor.z[i] + delta * de[i]);
  p.level = anchor.level - delta;
  p.h = p.y[0];
  if (!std::isfinite(lambda) || !isFiniteVector(p.y)) return 1;
  evaluateDirection(problem, map, p.y, x, p.D);
  return 0;
}

// 1 when a dual point of this iteration's Newton matrix proves the bound
// within eps of the optimum (DualBound). Its level is the one where
// z = H^-1 (q - L e0) has no homogenising component, L = (H^-1 q)_0 / e:
// there the point's bound is the level itself. Tried once an iteration.
int OptimizationRun::Proven(double bound, double eps) {
  if (proofTried) return proofHolds;
  proofTried = 1;
  if (!(e > 0.0)) return 0;
  SolveLevel(0.0, zDual);
  const double level = zDual[0] / e;
  if (!std::isfinite(level)) return 0;
  const int scaled = form == NewtonForm::kLeastSquares;
  // Measured from the point the run would write back, whose objective the
  // bound is: a bound that no point attains proves nothing. A dual bound
  // above that objective by more than the accuracy contradicts it and is
  // not trusted either.
  keeper.Current(lifted);
  const double objective = dot(q, lifted);
  double lower = 0.0;
  if (!dual.Find(U, W, scaled, direction, level, q, lifted, lower)) return 0;
  const double allowed = eps * accuracyScale(bound, eps);
  proofHolds = std::fabs(objective - lower) <= allowed;
  return proofHolds;
}

// No admissible level: the direction of the bound's own level (mark 0).
int OptimizationRun::StepFromBound() {
  mark = 0;
  if (FormLevel(prev, atPrev, 0) != 0) return kDegenerate;
  if (TestScaled(atPrev)) return kDegenerate;
  return kSolved;
}

// The level at which the family of the anchor's point first turns
// singular below the anchor's level, from the largest admissible
// multiplier. With z_A solved at the anchor's level A, the pencil
//   kappa2(A - delta) D_A - delta h_A F(T (z_A + delta d_e)),
// singular exactly where the family is, is computeMuMax's pencil at the
// level 0 in the directions z_A and d_e (mu = 1/delta). A singular leading
// coefficient (the anchor itself singular) puts the root at the anchor.
// No root below an anchor that is itself feasible: every level below is
// admissible, which a far point of the family, feasible and with its
// objective that far below, confirms before the objective is called
// unbounded.
Search OptimizationRun::Candidate(LevelPoint& anchor, double& bound) {
  if (!(anchor.h > 0.0) || !(anchor.kappa2 > 0.0)) return Search::kNone;
  const double z0 = anchor.z[0];
  double mu = 0.0;
  if (computeMuMax(anchor.D, anchor.Fz, Fe, anchor.h, z0, e, anchor.kappa2, z0, e, anchor.h, 0.0, mu) != 0) {
    bound = anchor.level;
    return Search::kFound;
  }
  if (mu > 0.0) {
    bound = anchor.level - 1.0 / mu;
    return std::isfinite(bound) ? Search::kFound : Search::kNone;
  }
  if (!check.Holds(anchor.D, anchor.h)) return Search::kNone;
  const double delta = kUnboundedReach * (1.0 + std::fabs(anchor.level));
  LevelPoint& far = &anchor == &trial ? atPrev : trial;
  if (FormFamilyPoint(anchor, delta, far) || !check.Holds(far.D, far.h)) return Search::kNone;
  // The far point must also have the far level's objective, which the
  // rounding of a family built from huge directions need not give it.
  if (!(dot(q, far.y) / far.h <= anchor.level - 0.5 * delta)) return Search::kNone;
  return Search::kUnbounded;
}

// V := U D U' - I for the point, with its eigenvalues in v: 0, or 1 when
// they are not finite.
int OptimizationRun::TestScaled(const LevelPoint& p) {
  copyValues(p.D, V);
  scaleAndShift(U, V);
  return eigen.Fill(V, t * p.h - 1.0, v);
}

// The proposed level: admissible when the scaled direction passes and its
// point passes the check; V and v then hold the scaled direction.
int OptimizationRun::FirstTest(double bound) {
  if (FormLevel(bound, trial, 0) || TestScaled(trial)) return 0;
  return smallestEntry(v) >= kLevelThreshold && check.Holds(trial.D, trial.h);
}

// A level of the grid: D itself, unscaled, and its point.
int OptimizationRun::GridTest(double L) {
  if (FormLevel(L, trial, 0) || eigen.Fill(trial.D, trial.h, v)) return 0;
  if (!check.HoldsWith(trial.D, trial.h, v)) return 0;
  return TestScaled(trial) == 0;
}

// After a failed first test: when D(prev) itself passes (unscaled, at the
// first test's threshold), the first of the ten levels between the
// rejected bound and prev that passes the grid's test becomes the bound
// (mark 1 + j); 1 then, else 0.
int OptimizationRun::SearchGrid(double& bound) {
  if (eigen.Fill(atPrev.D, atPrev.h, v) != 0 || smallestEntry(v) < kLevelThreshold) return 0;
  const double delta = (prev - bound) / 11.0;
  double L = bound;
  for (int j = 1; j <= 10; ++j) {
    L = L + delta;
    ++mark;
    if (GridTest(L)) {
      mark = 1 + j;
      Accept(trial, bound);
      return 1;
    }
  }
  return 0;
}

// The accepted point, lifted to strict feasibility, becomes the bound: its
// own objective, which the rounding of the solves and the lift put a little
// off its level. A point no lower than the bound, or one that cannot be
// lifted, leaves the bound (and its point) as they are.
void OptimizationRun::Accept(const LevelPoint& p, double& bound) {
  bound = prev;
  if (!Lift(p)) return;
  const double objective = dot(q, lifted);
  if (objective < prev && keeper.Offer(lifted) == 0) bound = objective;
}

// lifted := the point p made strictly feasible (PointCheck::Lift): 1, or 0
// when it cannot be. The point the phase began at may lie too near the
// boundary to lift toward (a run that goes on after a fallback begins at
// the last bound's point); the Newton step's own point then takes its
// place when it is strictly feasible.
int OptimizationRun::Lift(const LevelPoint& p) {
  if (check.Lift(p.D, p.h, p.y, lifted) == 0) return 1;
  if (!(dg[0] > 0.0)) return 0;
  for (int k = 0; k < map.Nv(); ++k) lifted[k] = dg[k] / dg[0];
  lifted[0] = 1.0;
  if (!isFiniteVector(lifted) || check.SetInterior(lifted)) return 0;
  return check.Lift(p.D, p.h, p.y, lifted) == 0;
}

// Steps from the proposed level to the chosen direction, scaled, in V with
// its eigenvalues in v; sets the mark and, when a level is accepted, the
// bound. Returns kSolved, or kUnbounded when the objective is unbounded
// below (or the phase's result when no direction can be formed).
int OptimizationRun::ChooseDirection(double estimate, double eps, double& bound) {
  Search found = Search::kNone;
  Proposals proposals;
  if (dg[0] > 0.0 && std::isfinite(estimate) && FormLevel(estimate, trial, 1) == 0) {
    found = Candidate(trial, bound);
    if (found == Search::kFound) proposals.Add(bound);
    if (found == Search::kUnbounded) return kUnbounded;
    if (found == Search::kFound && bound > prev && bound - prev <= kRoundingSlack * std::max(std::fabs(prev), 1.0)) {
      bound = prev;
      if (!Proven(prev, eps)) return StepFromBound();
      mark = 1;
      rel = 0.0;
      return kSolved;
    }
  }
  int prevFormed = 0;
  if (found == Search::kNone || bound > prev) {
    prevFormed = FormLevel(prev, atPrev, 1) == 0;
    found = prevFormed ? Candidate(atPrev, bound) : Search::kNone;
    if (found == Search::kFound && bound <= prev) proposals.Add(bound);
    if (found == Search::kUnbounded) return kUnbounded;
  }

  mark = 0;
  // A proposed level more than eps below the bound whose point is feasible
  // although its scaled test failed: the bound may still fall.
  int lowerFeasible = 0;
  if (found == Search::kFound && bound <= prev) {
    mark = 1;
    if (FirstTest(bound)) {
      Accept(trial, bound);
      return kSolved;
    }
    lowerFeasible = prev - bound >= eps * accuracyScale(prev, eps) && check.Holds(trial.D, trial.h);
    if (!prevFormed) prevFormed = FormLevel(prev, atPrev, 0) == 0;
    if (prevFormed && SearchGrid(bound)) return kSolved;
    mark = 0;
  }
  // No admissible level. When a level proposed was within the accuracy of
  // the bound, its family cannot lower the bound by more than eps: unless a
  // feasible lower level showed itself, the bound has converged, and the
  // rounding of the proposal is what kept its level from passing.
  if (proposals.Within(prev, eps) && !lowerFeasible && Proven(prev, eps)) {
    bound = prev;
    mark = 1;
    rel = 0.0;
    return kSolved;
  }
  // Otherwise the direction of the bound's own level.
  bound = prev;
  if (!prevFormed) return StepFromBound();
  if (TestScaled(atPrev)) return kDegenerate;
  return kSolved;
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
  for (; counter <= maxIter && !interruptRequested(); ++counter) {
    proofTried = 0;
    proofHolds = 0;
    int result = Directions();
    if (result != kSolved) return result;
    a = dot(q, dg);
    e = de[0];
    const double estimate = a / dg[0];
    if (counter == 1) {
      // The bound starts at the objective of the Newton step, the point
      // the feasibility phase found, once it is checked; else at the
      // objective of the point the phase began with.
      prev = keeper.EntryObjective(q);
      if (dg[0] > 0.0 && std::isfinite(estimate) && FormLevel(estimate, trial, 0) == 0 &&
          check.Holds(trial.D, trial.h) && Lift(trial) && keeper.Offer(lifted) == 0)
        prev = dot(q, lifted);
    }
    const double before = prev;
    result = ChooseDirection(estimate, eps, bound);
    if (result != 0) return result;

    if (mark != 0) {
      rel = (before - bound) / accuracyScale(before, eps);
      noProgress = 0;
      prev = bound;
    } else {
      ++noProgress;
      bound = prev;
    }
    if (isDisplayed(counter, display)) printOptimizationLine(eps, counter, m * prev, rel, mark);
    // The relative change of the bound stops the run only when a dual
    // bound proves it; so do the last iteration and a run without
    // progress, which otherwise end as they are.
    if (mark != 0 && 0.0 <= rel && rel < eps && Proven(prev, eps)) return kSolved;
    if (noProgress >= noprog) return Proven(prev, eps) ? kSolved : kNoProgress;
    if (counter == maxIter && Proven(prev, eps)) return kSolved;

    const double alpha = StepLength(eps);
    const double h = mark != 0 ? trial.h : atPrev.h;
    updateScaling(W, U, V, alpha);
    t = t * (1.0 - alpha * (t * h - 1.0));
  }
  return kMaxIterations;
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
    return unbounded ? kUnbounded : kSolved;
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
