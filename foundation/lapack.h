// Prototypes of the Fortran LAPACK routines the system calls.
//
// Fortran passes every argument by address. A CHARACTER argument also has a
// hidden length, a size_t passed by value after all the visible arguments,
// one per CHARACTER argument in the order of those arguments; our options
// are single letters, so their lengths are 1. Integers are 32-bit INTEGER.
// Arguments LAPACK only reads are declared const; DORMQR's A is not, as it
// overwrites diagonal elements for a while and restores them.
//
// A routine that detects an illegal argument calls XERBLA, which prints a
// report and stops the process: callers never pass a leading dimension
// below 1 nor an array of 0 elements where elements are read.
//
// Later subsystems add their routines here.
#ifndef VARNEL_LAPACK_H
#define VARNEL_LAPACK_H

#include <cstddef>

#include "shared_array.h"

extern "C" {

// LU factorisation with partial pivoting (unblocked and blocked), solve and
// inverse.
void dgetf2_(const LapackInt* m, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* ipiv,
             LapackInt* info);
void dgetrf_(const LapackInt* m, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* ipiv,
             LapackInt* info);
void dgetrs_(const char* trans, const LapackInt* n, const LapackInt* nrhs, const double* a, const LapackInt* lda,
             const LapackInt* ipiv, double* b, const LapackInt* ldb, LapackInt* info, std::size_t trans_len);
void dgetri_(const LapackInt* n, double* a, const LapackInt* lda, const LapackInt* ipiv, double* work,
             const LapackInt* lwork, LapackInt* info);

// Cholesky factorisation (unblocked and blocked) and solve.
void dpotf2_(const char* uplo, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* info,
             std::size_t uplo_len);
void dpotrf_(const char* uplo, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* info,
             std::size_t uplo_len);
void dpotrs_(const char* uplo, const LapackInt* n, const LapackInt* nrhs, const double* a, const LapackInt* lda,
             double* b, const LapackInt* ldb, LapackInt* info, std::size_t uplo_len);

// Least squares: through QR/LQ of a full-rank matrix, and rank-revealing
// through a complete orthogonal factorisation.
void dgels_(const char* trans, const LapackInt* m, const LapackInt* n, const LapackInt* nrhs, double* a,
            const LapackInt* lda, double* b, const LapackInt* ldb, double* work, const LapackInt* lwork,
            LapackInt* info, std::size_t trans_len);
void dgelsy_(const LapackInt* m, const LapackInt* n, const LapackInt* nrhs, double* a, const LapackInt* lda,
             double* b, const LapackInt* ldb, LapackInt* jpvt, const double* rcond, LapackInt* rank, double* work,
             const LapackInt* lwork, LapackInt* info);

// Triangular solve.
void dtrtrs_(const char* uplo, const char* trans, const char* diag, const LapackInt* n, const LapackInt* nrhs,
             const double* a, const LapackInt* lda, double* b, const LapackInt* ldb, LapackInt* info,
             std::size_t uplo_len, std::size_t trans_len, std::size_t diag_len);

// Eigenvalues: symmetric, and general with optional eigenvectors.
void dsyev_(const char* jobz, const char* uplo, const LapackInt* n, double* a, const LapackInt* lda, double* w,
            double* work, const LapackInt* lwork, LapackInt* info, std::size_t jobz_len, std::size_t uplo_len);
void dgeev_(const char* jobvl, const char* jobvr, const LapackInt* n, double* a, const LapackInt* lda, double* wr,
            double* wi, double* vl, const LapackInt* ldvl, double* vr, const LapackInt* ldvr, double* work,
            const LapackInt* lwork, LapackInt* info, std::size_t jobvl_len, std::size_t jobvr_len);

// Singular value decomposition.
void dgesvd_(const char* jobu, const char* jobvt, const LapackInt* m, const LapackInt* n, double* a,
             const LapackInt* lda, double* s, double* u, const LapackInt* ldu, double* vt, const LapackInt* ldvt,
             double* work, const LapackInt* lwork, LapackInt* info, std::size_t jobu_len, std::size_t jobvt_len);

// QR with the triangular factor T (nb x min(m, n)) of each block of nb
// reflectors kept, and the product of its Q (or Q') with C.
void dgeqrt_(const LapackInt* m, const LapackInt* n, const LapackInt* nb, double* a, const LapackInt* lda, double* t,
             const LapackInt* ldt, double* work, LapackInt* info);
void dgemqrt_(const char* side, const char* trans, const LapackInt* m, const LapackInt* n, const LapackInt* k,
              const LapackInt* nb, const double* v, const LapackInt* ldv, const double* t, const LapackInt* ldt,
              double* c, const LapackInt* ldc, double* work, LapackInt* info, std::size_t side_len,
              std::size_t trans_len);
// QR factorisation with column pivoting (the older routine and its
// successor; both read nonzero JPVT entries as columns fixed to the front),
// and application of the orthogonal factor.
void dgeqpf_(const LapackInt* m, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* jpvt, double* tau,
             double* work, LapackInt* info);
void dgeqp3_(const LapackInt* m, const LapackInt* n, double* a, const LapackInt* lda, LapackInt* jpvt, double* tau,
             double* work, const LapackInt* lwork, LapackInt* info);
void dormqr_(const char* side, const char* trans, const LapackInt* m, const LapackInt* n, const LapackInt* k,
             double* a, const LapackInt* lda, const double* tau, double* c, const LapackInt* ldc, double* work,
             const LapackInt* lwork, LapackInt* info, std::size_t side_len, std::size_t trans_len);

// Tuning parameters (ISPEC 1: the optimal block size) for a routine.
LapackInt ilaenv_(const LapackInt* ispec, const char* name, const char* opts, const LapackInt* n1,
                  const LapackInt* n2, const LapackInt* n3, const LapackInt* n4, std::size_t name_len,
                  std::size_t opts_len);
}

#endif
