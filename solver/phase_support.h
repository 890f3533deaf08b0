// What the two phases of the projective method share besides the Newton
// systems: the two forms, the clocks of a run, the messages of a phase and
// the pieces of its set-up.
#ifndef VARNEL_PHASE_SUPPORT_H
#define VARNEL_PHASE_SUPPORT_H

#include <ctime>

#include "block_diagonal.h"
#include "built_problem.h"
#include "dual_bound.h"
#include "free_parameters.h"
#include "gen_matrix.h"
#include "newton_lsq.h"
#include "newton_normal.h"
#include "scaling.h"
#include "solver_status.h"

// How a phase gets its Newton step: Cholesky factorisation of the normal
// equations, or least squares through QR.
enum class NewtonForm { kCholesky, kLeastSquares };

// The wall-clock times and processor seconds of a phase's run.
class PhaseClock {
 public:
  explicit PhaseClock(time_t& start) : clock0(std::clock()) { start = std::time(nullptr); }
  void Stop(time_t& end, double& cpuSeconds) const {
    end = std::time(nullptr);
    cpuSeconds = static_cast<long>(std::clock() - clock0) / 1000000.0;
  }

 private:
  std::clock_t clock0;
};

// The lines a phase prints for a failure that ends it with code 99.
void printFactorizationFailure();
void printNotFinite();

// The result of a Newton step or scaled value that is not usable:
// kDegenerate in the Cholesky form, kAbnormal after the line of a step that
// is not finite in the least-squares form.
int newtonFailure(NewtonForm form);

// alpha from stepLength for the eigenvalues v with the largest c; when that
// fails, after its line, 1 / (c + 1), or 1 for c <= 0 (a step the
// feasibility phase takes when its residual, semidefinite as computed,
// still fails the check of a certificate), which keeps every 1 - alpha v_i
// positive. Returns 1 on that failure, else 0.
int stepLengthOrFallback(const GenMatrixD& v, double c, double& alpha);

inline ScalingShape problemShape(const BuiltProblem& problem) {
  return ScalingShape{problem.Nb(), problem.BlockSizes(), problem.Td()};
}

// The least-squares right side of the identity in svec coordinates: 1.0 at
// the linear rows, at the diagonal entries of every block and at the last
// row (the homogenising weight), 0.0 elsewhere. b has nt + 1 rows; column
// `column` is written.
void identityRightSide(const BuiltProblem& problem, GenMatrixD& b, int column);

// out := the block-diagonal matrix whose rows, in the layout of the
// least-squares rows (the td linear entries, then each block in svec
// coordinates), are the first nt entries of `rows`.
void rowsToValue(const BuiltProblem& problem, const GenMatrixD& rows, BlockDiagonalMatrix& out);

// DualBound's Direction for a phase's Newton system, of which exactly one is
// given: the least-squares form gives the scaled value through its
// orthogonal factor (scaled = 1 for DualBound), the normal form F(T H^-1 r)
// by a solve and an evaluation, which overwrites the problem's variables.
// After the system's Factor.
DualBound::Direction newtonDirection(BuiltProblem& problem, const FreeParameterMap& map, const NormalSystem* normal,
                                     LeastSquaresSystem* leastSquares);

// Whether iteration `counter` gets its table line.
inline int isDisplayed(int counter, int display) {
  return display != 0 && (static_cast<long>(counter) - 1) % display == 0;
}

#endif
