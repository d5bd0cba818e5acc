// Forced into a second compilation of numeric/packed.cc and web/blas/cblas.cc
// for the test of the sequential BLAS loops (sequential_blas_test.cc): their
// functions take other names, so that they sit in one program beside the
// system BLAS and the engine's own packed routines.
#ifndef FOURFIFTHS_TESTS_WEB_SEQUENTIAL_NAMES_H_
#define FOURFIFTHS_TESTS_WEB_SEQUENTIAL_NAMES_H_

#define cblas_ddot sequential_ddot
#define cblas_daxpy sequential_daxpy
#define cblas_dscal sequential_dscal
#define cblas_dtpsv sequential_dtpsv
#define dppfa sequential_dppfa
#define dppdi sequential_dppdi

#endif  // FOURFIFTHS_TESTS_WEB_SEQUENTIAL_NAMES_H_
