// Direct solvers for dense linear systems: Gauss-Jordan elimination with full pivoting, and the
// Cholesky factor of a symmetric positive-definite matrix with its solve. Matrices and vectors
// are one-based over 1..n.
#pragma once

#include "numeric/vectors.h"

#include <cstdint>

namespace numeric {

// Replaces a[1..n][1..n] by its inverse and b[1..n][1..m] by the solutions of a x = b for
// every column of b (m = 0 only inverts). An exactly zero pivot, a matrix whose elements leave
// no pivot to choose (not numbers) and a negative n are fatal.
void GAUSSJ(one_based_matrix<float> a, int32_t n, one_based_matrix<float> b, int32_t m);

// Factors a = L L^T: the strict lower triangle of a receives L below its diagonal and p[1..n]
// its diagonal; the diagonal and upper triangle of a are only read. A matrix that is not
// positive definite is fatal. T is float or double.
template <class T> void choldc(one_based_matrix<T> a, int32_t n, one_based_vector<T> p);

// Solves A x = b with a factor that choldc completed. b and x may be the same vector.
template <class T>
void cholesky_solve(one_based_matrix<T> a, int32_t n, const T* p, const T* b,
                    one_based_vector<T> x);

extern template void choldc<float>(one_based_matrix<float>, int32_t, one_based_vector<float>);
extern template void choldc<double>(one_based_matrix<double>, int32_t, one_based_vector<double>);
extern template void cholesky_solve<float>(one_based_matrix<float>, int32_t, const float*,
                                           const float*, one_based_vector<float>);
extern template void cholesky_solve<double>(one_based_matrix<double>, int32_t, const double*,
                                            const double*, one_based_vector<double>);

} // namespace numeric
