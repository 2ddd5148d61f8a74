// Bessel functions of the first kind J0 and J1 and modified Bessel functions I0, I1 and In of a
// real argument, by fixed rational and polynomial approximations and, for In, by downward
// recurrence. No state; callable from any thread.
#pragma once

namespace numeric {

double bessel_j0(double x);
double bessel_j1(double x);
double bessel_i0(double x);
double bessel_i1(double x);

// In(x) for n >= 2, normalised by I0. Values below the smallest float come back as zero.
float BESSI(int n, double x);

} // namespace numeric
