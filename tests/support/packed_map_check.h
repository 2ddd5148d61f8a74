// Checks of a frame record after feature extraction, for the engine's tests.
#pragma once

#include "engine/records.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace stillo_test {

// Expects the frame's packed map and its row counts to describe its feature image of rows x
// cols, which holds only 0 and 255: one bit a pixel, most significant first in 16-bit words,
// whole words only. The set pixels are counted into total when given.
inline void ExpectPackedMapOfFeatures(const MOSAIC_FRAME& f, int32_t rows, int32_t cols,
                                      int* total = nullptr) {
    ASSERT_EQ(f.nMaskRows, rows);
    ASSERT_EQ(f.nMaskWords, cols >> 4);
    int sum = 0;
    for (int32_t y = 0; y < rows; ++y) {
        const auto* words = reinterpret_cast<const uint16_t*>(f.ppCurMask[y]);
        unsigned count = 0;
        for (int32_t x = 0; x < cols; ++x) {
            const uint8_t feature = f.ppCurFeatures[y][x];
            ASSERT_TRUE(feature == 0 || feature == 255);
            const bool bit = (words[x / 16] >> (15 - x % 16)) & 1;
            ASSERT_EQ(bit, feature == 255) << x << "," << y;
            count += bit;
        }
        ASSERT_EQ(f.pCurCounts[y], count) << y;
        sum += static_cast<int>(count);
    }
    if (total) {
        *total = sum;
    }
}

// Inclusive ranges of rows or columns where a rectangle's outline is looked for.
struct Span {
    int32_t from, to;
};
struct OutlineBands {
    Span rows;        // along these rows a feature lies in the left and the right band
    Span left, right; // columns
    Span cols;        // along these columns a feature lies in the bottom and the top band
    Span bottom, top; // rows
    Span insideCols, insideRows; // and no feature lies in this box
};

// True when a feature pixel lies in the box of columns xs and rows ys.
inline bool AnyFeatureIn(const MOSAIC_FRAME& f, Span xs, Span ys) {
    for (int32_t y = ys.from; y <= ys.to; ++y) {
        for (int32_t x = xs.from; x <= xs.to; ++x) {
            if (f.ppCurFeatures[y][x] != 0) {
                return true;
            }
        }
    }
    return false;
}

// Expects the frame's features to outline a rectangle within the bands given.
inline void ExpectOutline(const MOSAIC_FRAME& f, const OutlineBands& b) {
    for (int32_t k = b.rows.from; k <= b.rows.to; ++k) {
        EXPECT_TRUE(AnyFeatureIn(f, b.left, {k, k})) << "left side, row " << k;
        EXPECT_TRUE(AnyFeatureIn(f, b.right, {k, k})) << "right side, row " << k;
    }
    for (int32_t k = b.cols.from; k <= b.cols.to; ++k) {
        EXPECT_TRUE(AnyFeatureIn(f, {k, k}, b.bottom)) << "bottom side, column " << k;
        EXPECT_TRUE(AnyFeatureIn(f, {k, k}, b.top)) << "top side, column " << k;
    }
    EXPECT_FALSE(AnyFeatureIn(f, b.insideCols, b.insideRows));
}

// The outline of the square of columns xs and rows ys: along every row and column at least
// `along` pixels in from its corners, a feature within `reach` pixels outside each side (or
// one inside it), and none at least `clear` pixels inside.
inline void ExpectSquareOutline(const MOSAIC_FRAME& f, Span xs, Span ys, int32_t reach,
                                int32_t along, int32_t clear) {
    ExpectOutline(f, {.rows = {ys.from + along, ys.to - along},
                      .left = {xs.from - reach, xs.from + 1},
                      .right = {xs.to - 1, xs.to + reach},
                      .cols = {xs.from + along, xs.to - along},
                      .bottom = {ys.from - reach, ys.from + 1},
                      .top = {ys.to - 1, ys.to + reach},
                      .insideCols = {xs.from + clear, xs.to - clear},
                      .insideRows = {ys.from + clear, ys.to - clear}});
}

} // namespace stillo_test
