#include "platform/media/orientation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace media {

namespace {

// A quarter turn reads the stored picture down its columns, one pixel from each row: done in
// square tiles, the rows a tile reads and the rows it writes stay in the cache together.
constexpr int kTile = 64;

// Moves count pixels, the source stepping by step bytes, into consecutive 3-byte pixels. As
// words, each pixel goes as 4 bytes: the byte after it is read from the next pixel of its
// stored row and written over the next upright pixel, before that is written itself. Both must
// be there.
template <bool AsWords>
void MovePixels(const uint8_t* src, ptrdiff_t at, ptrdiff_t step, uint8_t* out, int count) {
    for (int i = 0; i < count; ++i, at += step, out += 3) {
        if constexpr (AsWords) {
            uint32_t word = 0;
            std::memcpy(&word, src + at, 4);
            std::memcpy(out, &word, 4);
        } else {
            std::memcpy(out, src + at, 3);
        }
    }
}

} // namespace

Orientation OrientationOf(const int32_t matrix[9]) {
    // The stored column axis goes to (a, b), the row axis to (c, d).
    const int64_t a = matrix[0];
    const int64_t b = matrix[1];
    const int64_t c = matrix[3];
    const int64_t d = matrix[4];
    // Each axis goes to the upright axis it lies nearest: a turn between quarter turns is taken
    // to the nearest quarter turn.
    const bool columnsStayColumns = std::llabs(a) >= std::llabs(b);
    const bool rowsStayRows = std::llabs(d) >= std::llabs(c);
    Orientation o;
    if (columnsStayColumns && rowsStayRows && a != 0 && d != 0) {
        o.reverseColumns = a < 0;
        o.reverseRows = d < 0;
    } else if (!columnsStayColumns && !rowsStayRows) {
        // Stored columns run down the upright picture, stored rows across it.
        o.swapAxes = true;
        o.reverseColumns = b < 0;
        o.reverseRows = c < 0;
    }
    // Anything else folds the picture onto one line: shown as stored.
    return o;
}

void TurnUpright(const uint8_t* src, ptrdiff_t srcPitch, int width, int height, Orientation o,
                 uint8_t* dst, ptrdiff_t dstPitch) {
    if (!src || !dst || width <= 0 || height <= 0) {
        return;
    }
    // Offsets in the stored picture: of the pixel a stored column step and a stored row step
    // lead to, and of the upright picture's top left pixel.
    const ptrdiff_t column = o.reverseColumns ? -3 : 3;
    const ptrdiff_t row = o.reverseRows ? -srcPitch : srcPitch;
    const ptrdiff_t origin = (o.reverseColumns ? static_cast<ptrdiff_t>(3) * (width - 1) : 0) +
                             (o.reverseRows ? srcPitch * (height - 1) : 0);
    const ptrdiff_t stepX = o.swapAxes ? row : column;
    const ptrdiff_t stepY = o.swapAxes ? column : row;
    const int outWidth = UprightWidth(o, width, height);
    const int outHeight = UprightHeight(o, width, height);
    if (!o.swapAxes && !o.reverseColumns) {
        // Whole rows, as they are or bottom row first.
        for (int y = 0; y < outHeight; ++y) {
            std::memcpy(dst + dstPitch * y, src + origin + stepY * y,
                        static_cast<size_t>(3) * outWidth);
        }
        return;
    }
    // A mirror reads the stored rows along, whole.
    const int tileWidth = o.swapAxes ? kTile : outWidth;
    const int tileHeight = o.swapAxes ? kTile : outHeight;
    for (int y0 = 0; y0 < outHeight; y0 += tileHeight) {
        const int y1 = std::min(outHeight, y0 + tileHeight);
        for (int x0 = 0; x0 < outWidth; x0 += tileWidth) {
            const int x1 = std::min(outWidth, x0 + tileWidth);
            for (int y = y0; y < y1; ++y) {
                // Pixels a to b go as words: not the upright row's last pixel, nor a stored row's
                // last (the whole upright row, turned; its first pixel, mirrored).
                int a = x0;
                int b = std::min(x1, outWidth - 1);
                if (!o.swapAxes) {
                    a = std::max(a, 1);
                } else if ((o.reverseColumns ? width - 1 - y : y) == width - 1) {
                    b = a;
                }
                a = std::min(a, x1);
                b = std::max(a, b);
                const ptrdiff_t at = origin + stepY * y + stepX * x0;
                uint8_t* out = dst + dstPitch * y + static_cast<ptrdiff_t>(3) * x0;
                MovePixels<false>(src, at, stepX, out, a - x0);
                MovePixels<true>(src, at + stepX * (a - x0), stepX, out + 3 * (a - x0), b - a);
                MovePixels<false>(src, at + stepX * (b - x0), stepX, out + 3 * (b - x0), x1 - b);
            }
        }
    }
}

} // namespace media
