// In-place sorting of one-based float vectors, and the index and rank tables that sort by
// reference. Keys compare with < only; none of these sorts is stable.
#pragma once

#include <cstdint>

namespace numeric {

// Sorts keys[1..n] ascending in place (heap sort, not stable, no extra memory). n < 2 leaves
// the vector as it is.
void heap_sort(int n, float* keys);

// As heap_sort; second[1..n] undergoes the same moves, so each pair stays together.
void heap_sort_paired(int n, float* keys, float* second);

// Sorts keys[1..n] ascending and permutes second and third the same way (through an index
// table and one work vector). A negative n is fatal.
void sort_three_by_first(int n, float* keys, float* second, float* third);

// Fills index[1..n] so that keys[index[1]] <= keys[index[2]] <= ...; keys is unchanged.
void index_table(int n, const float* keys, int32_t* index);

// rank[index[j]] = j for j = 1..n: with an index table, each element's place in sorted order.
void rank_table(int n, const int32_t* index, int32_t* rank);

// Sorts values[1..n] ascending in place (Shell's method, increments n/2, n/4, ..., 1). n < 2
// leaves the vector as it is.
void shell_sort(int n, float* values);

} // namespace numeric
