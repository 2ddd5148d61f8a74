// Abscissas and weights of Gauss-Hermite quadrature (weight function e^(-x^2)). No state;
// callable from any thread.
#pragma once

namespace numeric {

// Writes the n roots of the n-th Hermite polynomial to x[1..n] in descending order and their
// weights to w[1..n]. A root that Newton's method does not settle in 10 rounds ends the
// process, which happens for most n from 177 up.
void gauher(float* x, float* w, int n);

} // namespace numeric
