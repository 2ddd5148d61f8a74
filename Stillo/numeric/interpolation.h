// Integration of a function of one variable, the polynomial interpolation the Romberg
// integrators extrapolate with, Gauss-Legendre abscissas and weights and a Chebyshev fit.
// Arrays are one-based except chebyshev_fit's coefficients. The two stage routines keep their
// progress in process-wide statics, so one integration at a time in the process.
#pragma once

namespace numeric {

// The integrand, or any real function of one variable.
using real_function = float (*)(double x);
// A refinement stage: the n-th of a sequence of ever finer estimates of the integral over
// [a, b]; called with n = 1, 2, 3, ... in order.
using integration_stage = float (*)(real_function func, double a, double b, int n);

// The value *y at x of the polynomial of degree n - 1 through (xs[i], ys[i]), i = 1..n, and
// *err, the last correction added (an error estimate). n < 1 is fatal; two equal abscissas end
// the process with exit status 1 and no message.
void interpolate_polynomial(const float* xs, const float* ys, int n, double x, float* y,
                            float* err);

// The n-th refinement of the extended trapezoidal rule on [a, b]; stage n uses 2^(n-2)
// new interior points (stage 1 the two ends).
float trapezoid_stage(real_function func, double a, double b, int n);
// The n-th refinement of the extended midpoint rule for an integrand with an inverse square
// root singularity at lower, through x = lower + t^2; each stage triples the points.
float midpoint_sqrt_stage(real_function func, double lower, double upper, int n);

// The integral over [a, b] by Romberg extrapolation of trapezoid_stage, to a relative 1e-6
// (an estimate whose error estimate is exactly 0 is accepted too, so zero integrals end).
// After 20 stages: "Too many steps in routine QROMB".
float QROMB(real_function func, double a, double b);
// The same over the stages of choose (midpoint_sqrt_stage or another stage that triples its
// points). After 14 stages: "Too many steps in routing QROMO".
float QROMO(real_function func, double a, double b, integration_stage choose);

// Abscissas x[1..n] (ascending) and weights w[1..n] of n-point Gauss-Legendre quadrature on
// [x1, x2]; exact for polynomials of degree up to 2n - 1.
void gauss_legendre(double x1, double x2, double* x, double* w, int n);

// The n Chebyshev coefficients c[0..n-1] (zero-based) of func on [a, b]: func is
// sum_k c[k] T_k(y) - c[0] / 2 with y = (x - (a + b) / 2) / ((b - a) / 2). A negative n is
// fatal.
void chebyshev_fit(double a, double b, float* c, int n, real_function func);

} // namespace numeric
