// The logarithm of the gamma function and what is built on it: factorials, binomial
// coefficients, the regularised incomplete gamma functions, the complementary error function
// and the chi-square test of one binned distribution. Real arguments are double; results and
// outputs are float except log_gamma. FACTLN and FACTRL keep process-wide tables, so these
// routines are for one thread at a time.
#pragma once

#include <cstdint>

namespace numeric {

// ln Γ(xx) for xx > 0.
double log_gamma(double xx);
// ln n!; values for n up to 100 are cached.
float FACTLN(int32_t n);
// n!; the table of exact values grows up to 32.
float FACTRL(int32_t n);
// n over k, rounded to the nearest whole number.
float binomial_coefficient(int32_t n, int32_t k);

// P(a, x) and Q(a, x) = 1 - P(a, x). x < 0 or a <= 0 is fatal, and so is a value that is not a
// finite number.
float GAMMP(double a, double x);
float GAMMQ(double a, double x);
// P(a, x) by its series, for x < a + 1.
void GSER(float* series_value, double a, double x, float* ln_gamma_a);
// Q(a, x) by its continued fraction, for x >= a + 1.
void GCF(float* fraction_value, double a, double x, float* ln_gamma_a);

// erfc(x) for finite x; any other x is fatal.
float complementary_error_function(double x);

// Chi-square of observed[1..count] against expected[1..count], its degrees of freedom and the
// probability of a chi-square at least as large.
void CHSONE(const float* observed, const float* expected, int32_t count, int32_t constraints,
            float* degrees, float* chi_square, float* probability);

} // namespace numeric
