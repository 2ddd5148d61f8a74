// The regularised incomplete beta function and the tests that compare two samples: mean and
// variance, Student's t with pooled variance, the F test of two variances and the two-sample
// Kolmogorov-Smirnov test. Samples are one-based float vectors data[1..n]. No state; callable
// from any thread.
#pragma once

namespace numeric {

// I_x(a, b) for a, b > 0 and x in [0, 1]; any other x ends the process.
double BETAI(double a, double b, double x);
// The continued fraction of I_x(a, b), good for x < (a + 1) / (a + b + 2).
float BETACF(double a, double b, double x);

// Two-pass mean and variance of data[1..n]; n must be at least 2.
void mean_and_variance(const float* data, int n, float* ave, float* var);
// The two tests below need at least two values in each sample and a variance that is a finite
// number; otherwise, and where the statistic would be 0 / 0, the process ends with a message
// that names the routine, the sample and the cause.
// t of the difference of the means with pooled variance, and its two-sided significance. Two
// samples without spread have no t when their means are equal too.
void student_t_test(const float* data1, int n1, const float* data2, int n2, float* t, float* prob);
// The larger variance over the smaller and its two-sided significance. A variance of 0 in
// either sample is fatal.
void f_test(const float* data1, int n1, const float* data2, int n2, float* f, float* prob);
// The largest distance d between the two empirical distributions and its significance. Sorts
// both samples ascending in place. A value that is not a number in either sample ends the
// process with "ks_two_sample_test: a sample holds a value that is not a number".
void ks_two_sample_test(float* data1, int n1, float* data2, int n2, float* d, float* prob);
// Q_KS(alam), the probability of a distance at least as large; within [0, 1].
float ks_probability(double alam);

} // namespace numeric
