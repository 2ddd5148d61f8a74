// Further filters of the engine's image library: float and rounded row means, a zero-padded
// convolution and a raised-cosine kernel, global-mean normalisation, box means, medians,
// majority filters, binary outlines with thinning and an edge-direction coder.
//
// Windows are clipped at the borders as in the region features (engine/regions.h): a window
// shrinks to the pixels inside the image and means and majorities count only those. Every
// routine works on images of any size from 1 x 1 and never reads or writes outside them. A
// window that breaks its stated limit ends the process with status 1 and no message.
#pragma once

#include "engine/image.h"

#include <cstdint>

// Row primitives. h = W / 2; position i's window is [i - h, i + h] clipped to the row.

// out[i] = (sum of source over the clipped window) / (its number of samples), as a float.
void RunningMeanRowFloat(int32_t n, int32_t window, const uint8_t* source, float* output);

// As BoxMeanRow, each mean rounded to nearest with halves up instead of truncated.
void BoxMeanRowRounded(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out,
                       int32_t count);

// As BoxMeanRow; where the window is whole both ways (all W columns, count == W) the mean is
// looked up as table[sum], table holding W * W * 256 entries i / (W * W) (such as pSmoothDiv
// for W = nSmoothWindow). Any other window divides, so the lookup never leaves the table.
void BoxMeanRowTable(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count,
                     const uint8_t* table);

// out[i] = sum over k of kernel[k] * source[i - h + k], only samples inside the row taken and
// nothing renormalised. M must be odd.
void ConvolveRowZeroPadded(int32_t n, int32_t window, const float* kernel, const float* source,
                           float* output);

// kernel[k - 1] = sin^2(k * pi / (n + 1)), k = 1 .. n, divided by their sum: a raised-cosine
// window without its zero ends, symmetric for every n.
void SineSquaredKernel(int32_t n, float* kernel);

// out[i] = |source[i]| truncated and clipped to 0 .. 255; not-a-number gives 0.
void FloatRowToBytes(int32_t n, const float* source, uint8_t* output);

// Image filters.

// dst = min(255, 128 * src / mean), mean the truncated mean of the whole image; 0 everywhere
// when that mean is 0.
void NormaliseGlobalMean(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst);

// dst = the clipped W x W mean of src (W odd). 1, or 0 when memory ran out.
int BoxMeanImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst);

// dst = the median of src over the clipped Wr x Wc window, the upper of the two middle values
// when the window holds an even number of pixels. Both sides odd. 1, or 0 when memory ran out.
int MedianFilter(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t windowRows, int32_t windowCols,
                 IMAGE2D dst);

// The first grey level at which the running total of histogram[0..255] exceeds count / 2; 0
// when none does.
int32_t HistogramMedian(const int32_t* histogram, int32_t count);

// dst = 255 where more than half (count > area / 2) of the pixels in the clipped W x W window
// are non-zero, else 0. W odd and at least 3.
void MajorityFilter(IMAGE2D src, IMAGE2D dst, uint16_t rows, uint16_t cols, int32_t window);

// The same majority over the clipped Wr x Wc window (both sides odd), in place. 1, or 0 when
// memory ran out (the image is then untouched).
int MajorityFilterInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t windowRows,
                          int32_t windowCols);

// Binary outlines, thinning and directions. The outer border of every result is 0.

// dst = 255 where src is exactly 255 with an exact 0 among its four edge neighbours, else 0.
void RegionBoundariesToImage(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst);

// dst = 255 where src is non-zero with a 0 among its eight neighbours, else 0; then one
// thinning pass over dst in the order of ThinEdges.
void OutlineAndThin(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst);

// As OutlineAndThin, with the outline points listed in the thinning order (rows from the top
// down, columns left to right) and the pass visiting only them. pointCount receives the
// points left after thinning. 1, or 0 when the list could not be had (dst then holds the
// outline unthinned and pointCount is 0).
int OutlinePointsAndThin(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst,
                         int32_t* pointCount);

// One code per pixel of a 0 / 255 edge image: trunc(0.6981317 * angle), 0 .. 250 for angles of
// 0 .. 359 degrees. For an edge pixel (exactly 255), k1 and k2 are its first two neighbours that
// are exactly 255, in directions of 45 k degrees (0 to the right, 90 towards the previous row);
// the angle lies halfway between them, (k1 + k2) * 45 / 2, plus 180 when the grey image is
// darker at direction k1 + 2 than at k2 + 2. 0 on the border, off edges and at edge pixels with
// fewer than two such neighbours.
void EdgeDirectionCodes(IMAGE2D grey, IMAGE2D edges, uint16_t rows, uint16_t cols, IMAGE2D dst);
