// Single-precision complex arithmetic by value. Every component is formed in double precision
// and rounded to float once. No state: callable from any thread.
#pragma once

namespace numeric {

struct complex_float {
    float r; // real part
    float i; // imaginary part
};

complex_float complex_add(complex_float a, complex_float b);
complex_float complex_sub(complex_float a, complex_float b);
complex_float complex_mul(complex_float a, complex_float b);
complex_float complex_make(double re, double im);
complex_float complex_conj(complex_float z);
// a / b, scaled by the larger component of b so that nothing is squared; b = (0, 0) is the
// caller's to avoid.
complex_float complex_div(complex_float a, complex_float b);
// The modulus, without overflow from squaring.
float complex_abs(complex_float z);
// The principal square root (real part >= 0).
complex_float complex_sqrt(complex_float z);
complex_float complex_scale(double x, complex_float a);

} // namespace numeric
