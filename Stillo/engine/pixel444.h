// The 16-bit 4-4-4 pixel of pixel format 2: one little-endian word whose bits 8-11, 4-7 and
// 0-3 hold three 4-bit channels. Self-contained, so the saving library can read such canvases
// without linking the engine.
#pragma once

#include <cstdint>

struct PIXEL444 {
    unsigned high;   // bits 8-11
    unsigned middle; // bits 4-7
    unsigned low;    // bits 0-3
};

inline unsigned ReadWord444(const uint8_t* pixel) {
    return pixel[0] | (static_cast<unsigned>(pixel[1]) << 8);
}

inline PIXEL444 Unpack444(unsigned word) {
    return {(word >> 8) & 15, (word >> 4) & 15, word & 15};
}

inline unsigned Pack444(PIXEL444 p) {
    return (p.high & 15) << 8 | (p.middle & 15) << 4 | (p.low & 15);
}

// A 4-bit channel on the 8-bit scale: 0 .. 15 to 0 .. 255.
constexpr unsigned kExpand4To8 = 17;
