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
// A large x ends it with "x too large in bessik; try asymptotic expansion", where the first
// continued fraction needs more than its 10000 rounds: for nu = 0 from x = 4096727.5 on
// (rounding decides up to 4096729.5; 4096000 is served, 4096832 is not), the bound rising by
// about 819 per unit of order (4916034 at nu = 1000, 12289775 at 10000). The values are
// beyond the float range long before (infinite I, zero K from x = 92 at nu = 0, 6683 at
// 10000).
// Just below x = 2, K and K' of orders below 1 are less accurate than elsewhere: the series
// for K starts from 1/Gamma by a five-term Chebyshev series in float, whose rounding the
// series magnifies as x nears 2. Near nu = 1/2 K errs by up to 2.6e-6 relative (42 units of
// the float) and K' by 1.9e-6, against 1.5e-6 at x = 1.8, 7e-7 at 1.5 and 3e-7 below 0.5.
// Orders from 1 up err by 1.1e-6 at most there; from x = 2 up all are within a unit.
void bessik(float x, float xnu, float* ri, float* rk, float* rip, float* rkp);

} // namespace numeric
