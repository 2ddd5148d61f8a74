// All eigenvalues and eigenvectors of a real symmetric matrix by cyclic Jacobi rotations, for
// float and for double elements.
#pragma once

#include "numeric/vectors.h"

#include <cstdint>

namespace numeric {

// a[1..n][1..n] is symmetric; only its diagonal and upper triangle are read. The upper triangle
// is driven to zero, the diagonal and lower triangle come back unchanged. On return d[j] is an
// eigenvalue (unsorted), column j of v its normalised eigenvector and *nrot the number of
// rotations. More than 50 sweeps, a negative n and a value in the part read that is not a
// finite number are fatal. T is float or double; the float form keeps its rotation quantities
// in single precision and forms sums in double.
template <class T>
void JACOBI(one_based_matrix<T> a, int32_t n, one_based_vector<T> d, one_based_matrix<T> v,
            int32_t* nrot);

extern template void JACOBI<float>(one_based_matrix<float>, int32_t, one_based_vector<float>,
                                   one_based_matrix<float>, int32_t*);
extern template void JACOBI<double>(one_based_matrix<double>, int32_t, one_based_vector<double>,
                                    one_based_matrix<double>, int32_t*);

} // namespace numeric
