// The loops of the matrix library. Each kernel writes into a result that the
// caller made at the right size; nothing is allocated or checked. The
// element-wise kernels read element k of every operand before writing
// element k of the result, so the result may be one of the operands; a
// product or a transpose needs a result distinct from its operands.
// Transpose flags: nonzero means the transpose of that operand is used.
#ifndef VARNEL_KERNELS_H
#define VARNEL_KERNELS_H

#include "gen_matrix.h"
#include "tri_matrix.h"

// General matrices.
void addGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C);
void subtractGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C);
void multiplyGen(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C);
void multiplyGenT(const GenMatrixD& A, const GenMatrixD& B, GenMatrixD& C, int transposeA, int transposeB);
void transposeGen(const GenMatrixD& A, GenMatrixD& B);
// C := op(A) op(B) on bare column-major arrays: A and B with column strides
// lda and ldb (so a sub-block is read in place), C m x n with column stride
// m, k the inner size. Each element starts from 0.0 and adds its products in
// increasing inner index.
void multiplyArrays(const double* a, int lda, int transposeA, const double* b, int ldb, int transposeB, double* c,
                    int m, int n, int k);
void addScalarGen(double s, const GenMatrixD& A, GenMatrixD& C);
void subtractFromScalarGen(double s, const GenMatrixD& A, GenMatrixD& C);
void scaleGen(double s, const GenMatrixD& A, GenMatrixD& C);
void divideGen(const GenMatrixD& A, double s, GenMatrixD& C);

// Symmetric matrices: upper triangle only; the strictly lower part of the
// result is not touched.
void addSym(const SymMatrixD& A, const SymMatrixD& B, SymMatrixD& C);
void subtractSym(const SymMatrixD& A, const SymMatrixD& B, SymMatrixD& C);
void addScalarSym(double s, const SymMatrixD& A, SymMatrixD& C);
void subtractFromScalarSym(double s, const SymMatrixD& A, SymMatrixD& C);
void scaleSym(double s, const SymMatrixD& A, SymMatrixD& C);
void divideSym(const SymMatrixD& A, double s, SymMatrixD& C);

// Upper triangular matrices: only elements with row <= column are read.
void addUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C);
void subtractUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C);
void subtractGenUTr(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C);
void multiplyUTrGen(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C);
void multiplyGenUTr(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C);
void multiplyUTrGenT(const UTrMatrixD& U, const GenMatrixD& G, GenMatrixD& C, int transposeU, int transposeG);
void multiplyGenUTrT(const GenMatrixD& G, const UTrMatrixD& U, GenMatrixD& C, int transposeG, int transposeU);
void addUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C);
void subtractUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C);
void multiplyUTr(const UTrMatrixD& A, const UTrMatrixD& B, UTrMatrixD& C);
void multiplyUTrT(const UTrMatrixD& A, const UTrMatrixD& B, GenMatrixD& C, int transposeA, int transposeB);
void addScalarUTr(double s, const UTrMatrixD& U, GenMatrixD& C);
void subtractFromScalarUTr(double s, const UTrMatrixD& U, GenMatrixD& C);
void scaleUTr(double s, const UTrMatrixD& U, UTrMatrixD& C);
void divideUTr(const UTrMatrixD& U, double s, UTrMatrixD& C);

// Lower triangular matrices: the mirror image, elements with row >= column.
void addLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C);
void subtractLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C);
void subtractGenLTr(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C);
void multiplyLTrGen(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C);
void multiplyGenLTr(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C);
void multiplyLTrGenT(const LTrMatrixD& L, const GenMatrixD& G, GenMatrixD& C, int transposeL, int transposeG);
void multiplyGenLTrT(const GenMatrixD& G, const LTrMatrixD& L, GenMatrixD& C, int transposeG, int transposeL);
void addLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C);
void subtractLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C);
void multiplyLTr(const LTrMatrixD& A, const LTrMatrixD& B, LTrMatrixD& C);
void multiplyLTrT(const LTrMatrixD& A, const LTrMatrixD& B, GenMatrixD& C, int transposeA, int transposeB);
void addScalarLTr(double s, const LTrMatrixD& L, GenMatrixD& C);
void subtractFromScalarLTr(double s, const LTrMatrixD& L, GenMatrixD& C);
void scaleLTr(double s, const LTrMatrixD& L, LTrMatrixD& C);
void divideLTr(const LTrMatrixD& L, double s, LTrMatrixD& C);

#endif
