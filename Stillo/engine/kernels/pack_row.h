// One row of a byte feature image packed sixteen pixels to a word, the first pixel of a group
// at the word's top bit (PackBitRows in engine/bitmaps.h).
#pragma once

#include "engine/kernels/lanes.h"

namespace {

// Packs the row into ceil(cols / 16) words and returns its set pixels.
unsigned PackRow(const uint8_t* src, int32_t cols, uint16_t* dst) {
    uint64_t count = 0;
    int32_t x = 0;
    for (; x + kByteLanes <= cols; x += kByteLanes) {
        const uint32_t set = SetBytesFirstOnTop(src + x);
        count += BitCount(set);
        for (int32_t w = 0; w < kByteLanes / 16; ++w) {
            dst[(x >> 4) + w] = static_cast<uint16_t>(set >> (16 * w));
        }
    }
    // The last pixels, fewer than a register holds.
    for (; x < cols; x += 16) {
        const int32_t group = Least<int32_t>(16, cols - x);
        unsigned word = 0;
        for (int32_t k = 0; k < group; ++k) {
            word |= static_cast<unsigned>(src[x + k] != 0) << (15 - k);
        }
        count += BitCount(word);
        dst[x >> 4] = static_cast<uint16_t>(word);
    }
    return static_cast<unsigned>(count);
}

} // namespace
