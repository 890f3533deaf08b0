// Points and directions of the solver phases: a direction d over the free
// parameters is expanded into the unknowns, written into the problem's
// variables (where the block kernels read it) and evaluated; the point the
// phase leaves behind is kept apart, so that a failure never writes a value
// that was not computed or is not finite.
#ifndef VARNEL_DIRECTIONS_H
#define VARNEL_DIRECTIONS_H

#include "block_diagonal.h"
#include "built_problem.h"
#include "free_parameters.h"
#include "gen_matrix.h"

int isFiniteVector(const GenMatrixD& v);

// x := the unknowns that the problem's variables hold (nvt entries).
void loadUnknowns(const ConstraintSet& problem, GenMatrixD& x);

// F := the value of every inequality at the unknowns the variables hold:
// C x on the diagonal part, the upper triangle of each block.
void evaluateUpper(const ConstraintSet& problem, BlockDiagonalMatrix& F);

// x := T d, written into the variables; then F := the value there.
void evaluateDirection(BuiltProblem& problem, const FreeParameterMap& map, const GenMatrixD& d, GenMatrixD& x,
                       BlockDiagonalMatrix& F);

// to := from, diagonal part and upper triangles of the blocks; both of the
// same shape.
void copyValues(const BlockDiagonalMatrix& from, BlockDiagonalMatrix& to);

// The point a phase writes back at its exit: the last one offered whose
// homogenising entry is positive and whose normalisation is finite, or,
// when none was, the point the variables held when the phase began.
class PointKeeper {
 public:
  PointKeeper(BuiltProblem& problem, const FreeParameterMap& map);

  // Keeps y / y[0] (with entry 0 exactly 1.0) when y[0] > 0 and every
  // quotient is finite; returns 0 then, 1 when y is refused.
  int Offer(const GenMatrixD& y);
  // y := the free parameters of the point WriteBack would write: the kept
  // one (entry 0 is 1.0), or the entry point's.
  void Current(GenMatrixD& y) const;
  // Writes the kept point into the variables.
  void WriteBack();
  // y := the free parameters of the point the variables held when the
  // phase began.
  void EntryParameters(GenMatrixD& y) const;
  // q'y at that point.
  double EntryObjective(const GenMatrixD& q) const;

 private:
  BuiltProblem& problem;
  const FreeParameterMap& map;
  GenMatrixD entry;  // the unknowns at the start
  GenMatrixD kept;   // the normalised free parameters
  int haveKept;
};

#endif
