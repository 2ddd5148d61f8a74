// How a stored picture is turned upright for showing. Phones record a portrait video as
// landscape pictures and write a display matrix into the file that tells a player how to turn
// them: a quarter turn, a half turn, or none, possibly with a mirror. Pictures are only ever
// turned by whole quarter turns, never resampled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// Where the upright picture's pixels lie in the stored one. Upright pixel (x, y), counted from
// the top left, is the stored pixel at column p and row q:
//   axes kept:    p = x, q = y;   axes swapped: p = y, q = x;
// then p counted from the right when reverseColumns, q from the bottom when reverseRows.
struct Orientation {
    bool swapAxes = false;
    bool reverseColumns = false;
    bool reverseRows = false;

    bool Upright() const { return !swapAxes && !reverseColumns && !reverseRows; }
};

// The orientation a display matrix asks for (nine 32-bit values as FFmpeg stores them: the
// 2 x 2 part in 16.16 fixed point maps a stored point (p, q), rows counted downwards, to
// (a p + c q, b p + d q)). A turn between quarter turns goes to the nearest one; a matrix that
// maps both axes onto one, or none at all, leaves the picture as stored. Translation and
// perspective terms place the picture and are ignored.
Orientation OrientationOf(const int32_t matrix[9]);

// The upright size of a stored picture of width x height.
inline int UprightWidth(Orientation o, int width, int height) {
    return o.swapAxes ? height : width;
}
inline int UprightHeight(Orientation o, int width, int height) {
    return o.swapAxes ? width : height;
}

// Writes the upright picture of a stored 24-bit picture (width x height pixels, row q at
// src + q * srcPitch) into rows of 3 * UprightWidth bytes, row y at dst + y * dstPitch. Either
// pitch may be negative (bottom row first in memory); nothing beyond those bytes is written.
void TurnUpright(const uint8_t* src, ptrdiff_t srcPitch, int width, int height, Orientation o,
                 uint8_t* dst, ptrdiff_t dstPitch);

} // namespace media
