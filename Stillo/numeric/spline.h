// Interpolating cubic splines through a table x[1..n], y[1..n] (n >= 2, x strictly
// increasing): first the second derivatives at the knots, then the spline's value anywhere.
#pragma once

#include "numeric/vectors.h"

#include <cstdint>

namespace numeric {

// An end derivative above this selects a natural end (zero second derivative) instead.
constexpr double kNaturalSplineEnd = 9.9e29;

// Writes the spline's second derivatives to y2[1..n]. yp1 and ypn are the first derivatives
// at x[1] and x[n]; either above kNaturalSplineEnd makes that end natural. n < 2 ends the
// process with "Fewer than two points in routine spline_second_derivatives".
void spline_second_derivatives(const float* x, const float* y, int32_t n, double yp1, double ypn,
                               one_based_vector<float> y2);

// *y = the spline's value at x, by bisection for the bracketing interval. An x outside
// [xa[1], xa[n]] follows the end interval's cubic. Two equal abscissas around x, or n < 2, end
// the process with "Bad XA input to routine SPLINT".
void SPLINT(const float* xa, const float* ya, const float* y2a, int32_t n, double x, float* y);

} // namespace numeric
