// In-place sorting of one-based float vectors.
#pragma once

namespace numeric {

// Sorts keys[1..n] ascending in place (heap sort, not stable, no extra memory). n < 2 leaves
// the vector as it is.
void heap_sort(int n, float* keys);

} // namespace numeric
