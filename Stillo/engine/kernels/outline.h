// The region outline of one row from byte masks (engine/regions.cpp): bright pixels with a dark
// 4-neighbour.
#pragma once

#include <cstdint>

namespace {

void ExactLevelMasks(const uint8_t* __restrict row, uint8_t* __restrict bright,
                     uint8_t* __restrict dark, int32_t n) {
    for (int32_t c = 0; c < n; ++c) {
        bright[c] = row[c] == 255 ? 0xFF : 0;
        dark[c] = row[c] == 0 ? 0xFF : 0;
    }
}

// At or above the threshold is bright, below it dark (0 <= threshold <= 255).
void ThresholdMasks(const uint8_t* __restrict row, uint8_t* __restrict bright,
                    uint8_t* __restrict dark, int32_t n, uint8_t threshold) {
    for (int32_t c = 0; c < n; ++c) {
        const uint8_t b = row[c] >= threshold ? 0xFF : 0;
        bright[c] = b;
        dark[c] = static_cast<uint8_t>(~b);
    }
}

// Interior pixels of one row: bright with a dark 4-neighbour.
void OutlineRow(const uint8_t* __restrict belowDark, const uint8_t* __restrict bright,
                const uint8_t* __restrict dark, const uint8_t* __restrict aboveDark,
                uint8_t* __restrict out, int32_t n) {
    for (int32_t c = 1; c + 1 < n; ++c) {
        out[c] = bright[c] & (dark[c + 1] | dark[c - 1] | belowDark[c] | aboveDark[c]);
    }
}

} // namespace
