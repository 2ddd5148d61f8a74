// Region features: local-contrast normalisation, box smoothing, a moment-preserving threshold
// and the outlines of the bright regions it leaves. Shared with the edge features and the line
// detection.
//
// Every mean uses clipped windows: at a border the window shrinks to the pixels inside the
// image and the sum is divided (truncating) by their number. Any image of at least 1 x 1
// works with any window; no routine reads or writes outside its image.
#pragma once

#include "engine/image.h"

#include <cstdint>

// The engine's end for a window outside its limits: the process ends with status 1, without a
// message, unless the window is odd and at least `smallest`.
void RequireOdd(int32_t window, int32_t smallest = 1);

// The clipped W x W means of src, one row at a time from row 0 up: sink(context, r, means)
// receives the cols means of row r, valid until it returns. W must be odd (an even W ends the
// process with status 1). 1, or 0 when memory ran out (the sink is then never called).
using BoxMeanSink = void (*)(void* context, int32_t row, const uint8_t* means);
int StreamBoxMeans(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, BoxMeanSink sink,
                   void* context);

// dst = min(255, 128 * src / clipped W x W mean of src); 255 where the mean is 0. W must be
// odd (an even W ends the process with status 1). 1, or 0 when memory ran out.
int NormaliseLocalMean(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst);

// The n clipped-window means of one row: colSums[i] holds the sum of `count` pixels of column
// i; out[i] = (sum of colSums over the clipped window of i) / (its columns * count).
void BoxMeanRow(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count);

// out = min(255, 128 * src / mean) per pixel, 255 where the mean is 0.
void DivideRowByMean(int32_t n, const uint8_t* src, const uint8_t* mean, uint8_t* out);

// Replaces the image by its clipped M x M mean. M must be odd (an even M ends the process with
// status 1). 1, or 0 when memory ran out (the image is then untouched or partly filtered).
int BoxFilterInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t window);

// The moment-preserving threshold: the grey level splitting the image into two classes whose
// first three moments match the image's. 256 when there is no split (a uniform image).
void ComputeMomentThreshold(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t* threshold);

// Pixels below the threshold become 0, the others 255.
void ThresholdInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t threshold);

// Keeps a pixel (as 255) only when it is exactly 255, lies off the image's outer border and has
// an exact 0 among its four neighbours; every other pixel becomes 0. Images narrower or lower
// than 3 pixels are all border and come out empty. 1, or 0 when memory ran out.
int ExtractRegionBoundaries(IMAGE2D image, int32_t rows, int32_t cols);

// ThresholdInPlace followed by ExtractRegionBoundaries, in one pass: a pixel becomes 255 when it
// is at or above the threshold, lies off the image's outer border and has a 4-neighbour below
// the threshold; every other pixel becomes 0. 1, or 0 when memory ran out (the image is then
// untouched).
int ThresholdRegionBoundaries(IMAGE2D image, int32_t rows, int32_t cols, int32_t threshold);
