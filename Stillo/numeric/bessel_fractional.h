// Chebyshev series, the reciprocal gamma function near 1, and the modified Bessel functions I
// and K of any real order with their derivatives. No state; callable from any thread.
#pragma once

namespace numeric {

// The Chebyshev series c[0..m-1] on [a, b] at x; c is a plain zero-based array and c[0] enters
// with weight one half. x outside [a, b] ends the process.
float chebev(float a, float b, const float* c, int m, float x);

// For |x| <= 1/2: gampl = 1/Gamma(1 + x), gammi = 1/Gamma(1 - x), gam2 their mean and gam1
// their difference over 2x (minus Euler's constant at x = 0).
void reciprocal_gamma_terms(double x, double* gam1, double* gam2, double* gampl, double* gammi);

// ri = I_nu(x), rk = K_nu(x), rip = I'_nu(x), rkp = K'_nu(x) for x > 0 and 0 <= nu <= 10000.
// Values beyond the float range come back as 0 or as infinities, never as NaN. An order above
// 10000 would take as many recurrence steps as its size: it ends through numeric_error with
// "bad arguments in bessik", as do x <= 0, nu < 0 and values that are not numbers.
void bessik(float x, float xnu, float* ri, float* rk, float* rip, float* rkp);

} // namespace numeric
