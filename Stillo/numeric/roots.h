// Roots of a function of one variable (bracket search, Newton-Raphson, Newton-Raphson
// safeguarded by bisection) and closed-form roots of quadratics and cubics. Vectors are
// one-based. No state.
#pragma once

#include "numeric/interpolation.h" // real_function

namespace numeric {

// Fills *f and *df with the function's value and its derivative at x.
using value_and_slope_function = void (*)(double x, float* f, float* df);

// Splits [x1, x2] into n equal steps and records the steps over which fx changes sign,
// lowest first, in lower_ends[1..] and upper_ends[1..]. *count is the capacity on entry (at
// most that many are recorded; none when it is 0 or below) and the number found on return.
void bracket_roots(real_function fx, double x1, double x2, int n, float* lower_ends,
                   float* upper_ends, int* count);

// Newton-Raphson from the middle of [x1, x2] until a step is shorter than tolerance. Leaving
// the bracket: "Jumped out of brackets in RTNEWT"; after 200 steps: "Maximum number of
// iterations exceeded in RTNEWT".
float RTNEWT(value_and_slope_function value_and_slope, double x1, double x2, double tolerance);

// Newton-Raphson that bisects whenever a step would leave the bracket or shrink it too
// slowly. The function must change sign strictly over [x1, x2] ("Root must be bracketed in
// RTSAFE", a zero at an end included); after 100 steps: "Maximum number of iterations
// exceeded in RTSAFE".
float RTSAFE(value_and_slope_function value_and_slope, double x1, double x2, double tolerance);

// Both roots of a x^2 + b x + c, the one of larger magnitude first (roots[1..2]). Needs a
// non-zero a, a non-negative discriminant and b, c not both zero.
void quadratic_roots(double a, double b, double c, float* roots);

// The real roots of a x^3 + b x^2 + c x + d (a non-zero) by the trigonometric method.
// Returns 3 with the roots in x[1..3] (a double root twice, a triple root three times).
// Returns 1 when there is only one real root: then it prints "Only one real root " (no line
// end) to the standard output and leaves x unchanged.
int cubic_roots(double a, double b, double c, double d, float* x);

} // namespace numeric
