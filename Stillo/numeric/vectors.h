// Arrays with a caller-chosen index range (most often 1..n), their releases, two matrix views
// over existing storage, and the one fatal error routine of the numerical routines.
#pragma once

#include <cstdint>

namespace numeric {

// A pointer offset so that v[lo] .. v[hi] are the elements of one heap block. The vector does
// not know its bounds; the caller keeps them and gives the same lower bound to the release.
template <class T> using one_based_vector = T*;
// Row pointers (each a one_based_vector of its own block) in a one_based_vector of their own.
template <class T> using one_based_matrix = T**;

// Writes the three-line message to standard error and ends the process with status 1.
[[noreturn]] void numeric_error(const char* text);

// For routines that size their work arrays from a caller's count n: a negative n ends the
// process with "<routine>: the count n must not be negative", where the allocator would blame
// an exhausted memory.
void refuse_negative_count(const char* routine, int64_t n);

one_based_vector<float> vector(int32_t lo, int32_t hi);
one_based_vector<int32_t> ivector(int32_t lo, int32_t hi);
one_based_vector<double> dvector(int32_t lo, int32_t hi);

one_based_matrix<float> matrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi);
one_based_matrix<double> dmatrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi);
one_based_matrix<int32_t> imatrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi);

// A view whose element [dst_row_lo + k][dst_col_lo + c] is a[src_row_lo + k][src_col_lo + c].
// Only the row-pointer array belongs to the view.
one_based_matrix<float> submatrix(one_based_matrix<float> a, int32_t src_row_lo, int32_t src_row_hi,
                                  int32_t src_col_lo, int32_t src_col_hi, int32_t dst_row_lo,
                                  int32_t dst_col_lo);
// A view of a flat row-major array of (row_hi - row_lo + 1) x (col_hi - col_lo + 1) floats.
one_based_matrix<float> convert_matrix(float* a, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                                       int32_t col_hi);

// The upper bounds belong to the calling convention and are not read.
void release_vector(one_based_vector<float> v, int32_t lo, int32_t hi);
void release_ivector(one_based_vector<int32_t> v, int32_t lo, int32_t hi);
void release_dvector(one_based_vector<double> v, int32_t lo, int32_t hi);
void release_matrix(one_based_matrix<float> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                    int32_t col_hi);
void release_dmatrix(one_based_matrix<double> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                     int32_t col_hi);
void release_imatrix(one_based_matrix<int32_t> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                     int32_t col_hi);
void release_submatrix(one_based_matrix<float> b, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                       int32_t col_hi);
void release_convert_matrix(one_based_matrix<float> b, int32_t row_lo, int32_t row_hi,
                            int32_t col_lo, int32_t col_hi);

} // namespace numeric
