// The scaling of the projective method and the steps taken in it.
//
// The scaling W is a BlockDiagonalMatrix of the constraint value's shape:
// weights w_r on the diagonal part (one per linear inequality) and a
// positive definite block W_k per matrix inequality. Its factor U has
// s_r = sqrt(w_r) and the upper Cholesky factors U_k, W_k = U_k' U_k. A
// direction's value F is measured in the scaled coordinates V = U F U' - I,
// and a step of length alpha replaces W by U' (I - alpha V) U part by part.
// Blocks of values and scalings are read and written through their upper
// triangles.
#ifndef VARNEL_SCALING_H
#define VARNEL_SCALING_H

#include <vector>

#include "block_diagonal.h"
#include "gen_matrix.h"
#include "tri_matrix.h"

// W's shape for a problem: td diagonal entries, blocks of the given sizes.
struct ScalingShape {
  int blockCount;
  const int* blockSizes;
  int diagonalLength;
};

class ScalingFactor {
 public:
  explicit ScalingFactor(const ScalingShape& shape);

  // 0, or 1 when a weight is negative (or not a number) or a block is not
  // positive definite. A zero weight gives a zero factor entry.
  int Factor(const BlockDiagonalMatrix& W);

  const GenMatrixD& Diagonal() const { return s; }
  UTrMatrixD& Block(int k) { return blocks[k]; }
  int BlockCount() const { return static_cast<int>(blocks.size()); }
  // A block-sized work matrix for products with the factor.
  GenMatrixD& Work(int k) { return work[k]; }

 private:
  GenMatrixD s;
  std::vector<UTrMatrixD> blocks;
  std::vector<GenMatrixD> work;
};

// F := U F U' - I, part by part (diagonal entries s_r F_r s_r - 1).
void scaleAndShift(ScalingFactor& U, BlockDiagonalMatrix& F);

// W := U' (I - alpha V) U, part by part; V is overwritten by I - alpha V.
void updateScaling(BlockDiagonalMatrix& W, ScalingFactor& U, BlockDiagonalMatrix& V, double alpha);

// Eigenvalues of symmetric blocks (upper triangles, LAPACK DSYEV, values
// only), on copies so that the blocks stay intact.
class EigenvalueSolver {
 public:
  explicit EigenvalueSolver(const ScalingShape& shape);

  // v[0 .. td-1] := the diagonal part of F, then the eigenvalues of each
  // block in order, then v[sumSizes] := last. Returns 1 when F or the
  // result holds a value that is not finite (v is then not complete).
  int Fill(const BlockDiagonalMatrix& F, double last, GenMatrixD& v);

 private:
  std::vector<double> copy;
  std::vector<double> work;
};

double smallestEntry(const GenMatrixD& v);
double largestEntry(const GenMatrixD& v);

#endif
