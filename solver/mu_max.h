// The largest admissible multiplier of the optimisation phase.
//
// For a direction value Y (homogenising component y0), two further
// directions Fc and Fe (fc0, fe0), scalars b, c, d, e and a level L, with
// k2 = c - 2 L d + L^2 e and k1 = 2 (d - L e), every part of the
// block-diagonal structure (each diagonal entry, each block, and the
// homogenising component) defines the quadratic pencil
//   A mu^2 + B mu + C,  A = k2 Y,  B = k1 Y - b (Fc - L Fe),  C = e Y - b Fe.
// muMax is the largest real root over all parts: a root marks the level
// L - 1/mu at which the combined direction becomes singular.
#ifndef VARNEL_MU_MAX_H
#define VARNEL_MU_MAX_H

#include "block_diagonal.h"

// The smallest value muMax can take: no root found.
constexpr double kNoRoot = -3.4028234663852886e+38;

// Returns 0 with muMax set, or 1 when a block's A is singular to the LU
// factorisation (muMax then holds a partial maximum). A scalar part with
// A = 0 contributes its linear root -C/B (nothing when B = 0 too); a block
// whose companion matrix is not finite contributes nothing. Eigenvalues
// with an imaginary part below 1e-8 in magnitude count as real.
int computeMuMax(const BlockDiagonalMatrix& Y, const BlockDiagonalMatrix& Fc, const BlockDiagonalMatrix& Fe, double y0,
                 double fc0, double fe0, double c, double d, double e, double b, double L, double& muMax);

#endif
