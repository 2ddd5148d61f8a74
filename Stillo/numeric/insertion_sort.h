// Straight insertion sorts for short one-based float vectors, and the search of an ordered
// table that starts from a guessed position. No state.
#pragma once

namespace numeric {

// Sorts arr[1..n] ascending in place; stable (an element never passes an equal one).
// Quadratic: meant for small n.
void insertion_sort(int n, float* arr);
// The same, compared on arr only, with brr[1..n] permuted alongside.
void insertion_sort_pair(int n, float* arr, float* brr);

// For a monotonic table xx[1..n] (ascending exactly when xx[n] > xx[1]) sets *jlo to the j
// with x between xx[j] and xx[j+1]: 0 below the table, n above it. The entry value of *jlo is
// the guess; the search doubles its steps away from it, then bisects, so a look-up near the
// previous one costs a few comparisons. A guess outside 1..n starts a full bisection. An x
// equal to an entry may give either neighbouring interval, depending on the guess. n < 1
// gives 0 without reading the table.
void locate_from_guess(const float* xx, int n, double x, int* jlo);

} // namespace numeric
