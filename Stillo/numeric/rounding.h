// Rounding to the nearest whole number and the median of a vector.
#pragma once

namespace numeric {

// The whole number nearest to x; an exact half goes to the lower neighbour (2.5 -> 2,
// -2.5 -> -3). Not-a-number gives floor(x).
double round_nearest(double x);

// The median of x[1..n] (x is one-based: x[1] is the first element). Sorts x[1..n] ascending
// in place. For an even n the mean of the two middle values, summed in double precision so
// that two large floats do not overflow. n <= 0 reads and writes nothing.
void median_by_sort(float* x, int n, float* xmed);

} // namespace numeric
