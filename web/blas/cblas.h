// The routines of the C interface to the BLAS that the engine calls
// (numeric/packed.cc, pareto/box_qp.cc), for the WebAssembly build, which
// has no system BLAS. The declarations are those of the reference CBLAS
// with 32-bit integers; the definitions (cblas.cc) are plain sequential
// loops in the reference routines' order, which give their results bit for
// bit.
#ifndef FOURFIFTHS_WEB_BLAS_CBLAS_H_
#define FOURFIFTHS_WEB_BLAS_CBLAS_H_

extern "C" {

// The reference CBLAS's enumerations, with its values.
enum CBLAS_LAYOUT { CblasRowMajor = 101, CblasColMajor = 102 };
enum CBLAS_TRANSPOSE { CblasNoTrans = 111, CblasTrans = 112, CblasConjTrans = 113 };
enum CBLAS_UPLO { CblasUpper = 121, CblasLower = 122 };
enum CBLAS_DIAG { CblasNonUnit = 131, CblasUnit = 132 };

/// The dot product of x and y, n entries each, summed in order from the
/// first pair to the last (from the far end for a negative increment).
double cblas_ddot(int n, const double* x, int incx, const double* y, int incy);

/// y := alpha x + y; nothing at all when n <= 0 or alpha is 0.
void cblas_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy);

/// x := alpha x; nothing when n <= 0 or incx <= 0.
void cblas_dscal(int n, double alpha, double* x, int incx);

/// x := inv(A) x or inv(A') x for a triangular A of order n packed by
/// columns (by rows for CblasRowMajor); nothing when n <= 0 or incx is 0.
void cblas_dtpsv(CBLAS_LAYOUT layout, CBLAS_UPLO uplo, CBLAS_TRANSPOSE trans, CBLAS_DIAG diag,
                 int n, const double* ap, double* x, int incx);

}  // extern "C"

#endif  // FOURFIFTHS_WEB_BLAS_CBLAS_H_
