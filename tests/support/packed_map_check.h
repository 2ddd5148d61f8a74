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

} // namespace stillo_test
