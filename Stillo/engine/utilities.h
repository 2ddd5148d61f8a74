// Small spare routines of the engine: integer square roots, image shifts by whole and by
// rounded offsets, a mirrored row convolution, an anti-transpose of RGB images and an argument
// check. Images are row-pointer byte images (engine/image.h) whose sizes travel beside them.
#pragma once

#include "engine/image.h"

#include <cstdint>

// floor(sqrt(x)) from a 256-entry table estimate refined by Newton steps; -1 for x < 0.
int32_t IntSqrtByTable(int32_t x);

// The table estimate alone: never above floor(sqrt(x)), at most 6 % below it, exact below
// 256; -1 for x < 0.
int32_t IntSqrtTableEstimate(int32_t x);

// Forms the refined estimate without its last correction and hands it to DiscardResult.
void IntSqrtByTableDiscard(int32_t x);
void DiscardResult(int32_t value, int32_t argument);

// floor(sqrt(x)) by sixteen restoring steps, one a bit of the root.
uint32_t IntSqrtBitwise(uint32_t x);

// floor(sqrt(x)) by Newton's iteration from x downwards; 0 for 0.
uint32_t IntSqrtNewton(uint32_t x);

// 1 for a value of 1, 2 or 3; any other value ends the process with status 1.
int32_t RequireOneToThree(int32_t value);

// Count the third argument down to zero and do nothing else.
void IdleRowLoop(void* image, int32_t rows, uint16_t count, int32_t cols);
void IdleRowLoop2(void* image, int32_t rows, uint16_t count, int32_t cols);
// Take nothing, do nothing.
void IdleRoutine();
void IdleRoutine2();

// dst = the pixels of src that are exactly 255, column c moved to round(c + dx) and row r to
// round(r - dy); those landing outside are dropped, every other pixel is 0. Returns rows.
int32_t ShiftMarkedPixels(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t dx, int32_t dy,
                          IMAGE2D dst);

// The same with fractional offsets for a pair: each pixel marked in src1 moves as above, dst1
// receiving src1's byte and dst2 src2's byte of the same pixel. Returns rows.
int32_t ShiftMarkedPixelPair(IMAGE2D src1, IMAGE2D src2, uint16_t rows, uint16_t cols, float dx,
                             float dy, IMAGE2D dst1, IMAGE2D dst2);

// dst(x, y) = src(x - dx, y + dy) where both lie in the image, else 0: columns move towards
// higher x by dx, rows towards row 0 by dy. Offsets of the image's size or more clear dst.
// Returns 1.
int32_t ShiftImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t dx, int32_t dy, IMAGE2D dst);

// ShiftImage of both images by the offsets rounded to the nearest whole numbers. An offset
// that is not a number leaves both destinations clear.
void ShiftImagePairRounded(IMAGE2D src1, IMAGE2D src2, uint16_t rows, uint16_t cols, float dx,
                           float dy, IMAGE2D dst1, IMAGE2D dst2);

// dst[i] = kernel[h] * src[i] + sum over d = 1 .. h of kernel[h + d] * (src[i - d] + src[i + d]),
// h = M / 2, the row reflected about its end samples where i - d or i + d leaves it. M must be
// odd (an even M ends the process with status 1).
void ConvolveRowMirrored(int32_t n, int32_t window, const float* kernel, const float* src,
                         float* dst);

// Reflects an image of 3-byte pixels about its anti-diagonal: src(r, c) goes to
// dst(cols - 1 - c, rows - 1 - r); dst has cols rows of 3 * rows bytes.
void AntiTransposeRGB(IMAGE2D src, int32_t rows, int32_t cols, IMAGE2D dst);
