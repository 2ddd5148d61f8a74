// The clipped-window means of one row of column sums: the inner loop of every box mean of the
// region features, on vector lanes (engine/kernels/window_means.h) or exact in 64 bits.
#pragma once

#include <cstdint>

// Single-precision division gives the integer quotient of a byte mean exactly while its divisor
// stays below this: with s <= 255 d < 2^24 the quotient q + f / d lies at least 1 / d below
// q + 1, more than one rounding (at most 2^-16 below 256), so truncation gives q.
constexpr int64_t kExactMeanDivisors = 65536;

// out[i] = (sum of colSums over the window i - window / 2 .. i + window / 2, clipped to the
// row) / (the window's columns * count), by integer division; or, with src, the source row
// normalised by those means: min(255, 128 src[i] / mean), 255 where the mean is 0. The caller
// keeps to the limits under which the fast form is exact: an odd window, count >= 1, every
// column sum a sum of count bytes (0 .. 255 count), and min(n, window) * count below
// kExactMeanDivisors.
void ByteWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                     const uint8_t* src, uint8_t* out);

// The same means through exact 64-bit sums and integer division, for any column sums and any
// window of at least 0 (an even window sums one column more than it divides by). It takes no
// source row: a caller that normalises divides the source row by these means itself.
void ExactWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                      uint8_t* out);

namespace {

// min(255, 128 src / mean), 255 where the mean is 0, in single precision: the normalisation of
// one pixel, exact for byte operands. Each file has a copy of its own, compiled for its own
// instruction set: the kernels use it too.
inline uint8_t NormalisedPixel(int32_t src, int32_t mean) {
    const float q = (128.0f * static_cast<float>(src)) / static_cast<float>(mean + (mean == 0));
    const int32_t v = static_cast<int32_t>(q);
    const int32_t clipped = v - ((v - 255) & -static_cast<int32_t>(v > 255));
    return static_cast<uint8_t>(clipped | -static_cast<int32_t>(mean == 0));
}

} // namespace
