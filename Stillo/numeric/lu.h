// Square linear systems A x = b through an LU decomposition with scaled partial pivoting:
// decompose once, then solve for one right-hand side at a time. Matrices and vectors are
// one-based over 1..n.
#pragma once

#include "numeric/vectors.h"

#include <cstdint>

namespace numeric {

// Replaces a by the LU decomposition of its row-permuted self: L below the diagonal (its unit
// diagonal not stored), U on and above it. pivot_rows[j] is the row swapped with row j at step
// j; *d is +1 or -1 by the parity of the swaps, so the determinant is *d times the product of
// the diagonal. A row of zeros and a negative n are fatal; a zero pivot becomes 1e-20 and the
// decomposition goes on.
void LUDCMP(one_based_matrix<float> a, int32_t n, one_based_vector<int32_t> pivot_rows, float* d);

// Solves with a decomposition from LUDCMP: b[1..n] becomes the solution.
void lu_back_substitute(one_based_matrix<float> a, int32_t n, const int32_t* pivot_rows,
                        one_based_vector<float> b);

} // namespace numeric
