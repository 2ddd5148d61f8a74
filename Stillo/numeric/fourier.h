// The radix-2 fast Fourier transform of complex and of real data, and spectral smoothing
// built on it. Data are one-based float vectors transformed in place. No state.
#pragma once

namespace numeric {

// data[1..2nn]: nn complex values, real part at the odd index, imaginary part after it.
// isign = 1 replaces them by sum_k data_k exp(+2 pi i j k / nn), isign = -1 by the conjugate
// sum; no scaling, so forward then inverse gives nn times the data. nn must be a power of 2
// (1 included): any other length ends the process with "Length not a power of 2 in routine
// complex_fft".
void complex_fft(float* data, int nn, int isign);

// data[1..2n]: 2n real values. The forward transform (isign = 1) leaves the zero-frequency
// term in data[1], the highest frequency in data[2] (both real), and frequency k, k = 1..n-1,
// as real and imaginary parts in data[2k+1], data[2k+2]. Any other isign is the inverse, and
// forward then inverse gives n times the data. n must be a power of 2: "Length not a power of
// 2 in routine real_fft".
void real_fft(float* data, int n, int isign);

// Smooths y[1..n] in place: removes the line through the end points, damps frequencies with
// a quadratic window pts samples wide (pts = 0 changes nothing but rounding) and puts the
// line back. The transform is padded in a work vector of its own, so y needs only its n
// elements. n >= 2 and 0 <= pts with n + 2 pts within 2^30, else "Invalid arguments in routine
// fft_smooth".
void fft_smooth(float* y, int n, double pts);

} // namespace numeric
