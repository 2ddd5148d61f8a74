// One row of a frame buffer copied into the engine's colour and grey rows, on vector lanes
// (engine/kernels/frame_rows.h).
#pragma once

#include <cstdint>

namespace {

// The grey level of a pixel from the sum of its three channels (at most 765): the sum divided
// by 3, rounded down, by a multiply and a shift (equal to the grey division table's entries).
// Each file has a copy of its own, compiled for its own instruction set: the kernels use it too.
inline uint8_t GreyFromSum(uint32_t sum) {
    return static_cast<uint8_t>((sum * 21846u) >> 16);
}

} // namespace

// n pixels of blue, green and red bytes (bytesPerPixel 3) or blue, green, red and one ignored
// byte (bytesPerPixel 4) into colour as red, green, blue and grey as (red + green + blue) / 3.
void CopyBgrRow(const uint8_t* src, int32_t n, int32_t bytesPerPixel, uint8_t* colour,
                uint8_t* grey);

// n 16-bit 4-4-4 words copied unchanged into colour, and grey as 17 (h + m + l) / 3 of their
// three 4-bit fields.
void Copy444Row(const uint8_t* src, int32_t n, uint8_t* colour, uint8_t* grey);
