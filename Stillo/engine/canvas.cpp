#include "engine/canvas.h"

#include "engine/canvas_mutex.h"
#include "engine/pixel444.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// 1/255 held in single precision, used in double: an average of two equal 4-bit fields then
// gives the field back.
constexpr double kInv255 = static_cast<double>(1.0f / 255.0f);

// Rows of the canvas must stay addressable by int sizes.
constexpr int64_t kMaxCanvasSide = std::numeric_limits<int32_t>::max() / 4;

void FreeRows(uint8_t** rows, int64_t count) {
    if (rows == nullptr) {
        return;
    }
    for (int64_t i = 0; i < count; ++i) {
        std::free(rows[i]);
    }
    std::free(rows);
}

// Adds step zeroed rows, at the end of storage (the picture's top) or at its front (the
// bottom). Every row is moved to a new block so the buffer that is not current becomes the
// canvas; on failure nothing of the canvas changes.
bool GrowRows(MOSAIC_PARAMS* canvas, bool atTop) {
    const int64_t step = canvas->nGrowStep;
    const int64_t oldRows = canvas->nRows;
    const int64_t newRows = oldRows + step;
    const int64_t rowBytes = static_cast<int64_t>(canvas->nBytesPerPixel) * canvas->nCols;
    if (step < 1 || newRows > kMaxCanvasSide || rowBytes < 1) {
        return false;
    }
    auto** rows =
        static_cast<uint8_t**>(std::calloc(static_cast<size_t>(newRows), sizeof(uint8_t*)));
    if (rows == nullptr) {
        return false;
    }
    uint8_t** old = CurrentCanvasRows(*canvas);
    const int64_t oldOffset = atTop ? 0 : step;
    for (int64_t i = 0; i < newRows; ++i) {
        const bool isOld = i >= oldOffset && i < oldOffset + oldRows;
        rows[i] = static_cast<uint8_t*>(isOld ? std::malloc(static_cast<size_t>(rowBytes))
                                              : std::calloc(static_cast<size_t>(rowBytes), 1));
        if (rows[i] == nullptr) {
            FreeRows(rows, newRows);
            return false;
        }
        if (isOld) {
            std::memcpy(rows[i], old[i - oldOffset], static_cast<size_t>(rowBytes));
        }
    }
    FreeRows(old, oldRows);
    if (canvas->bRowsACurrent == 1) {
        canvas->ppRowsB = rows;
    } else {
        canvas->ppRowsA = rows;
    }
    std::swap(canvas->bRowsACurrent, canvas->bRowsBCurrent);
    canvas->nRows = static_cast<int32_t>(newRows);
    if (atTop) {
        canvas->nTop -= canvas->nGrowStep;
    } else {
        canvas->nBottom += canvas->nGrowStep;
    }
    return true;
}

// Adds step zeroed columns at the left or the right of every row.
bool GrowCols(MOSAIC_PARAMS* canvas, bool atLeft) {
    const int64_t step = canvas->nGrowStep;
    const int64_t b = canvas->nBytesPerPixel;
    const int64_t newCols = static_cast<int64_t>(canvas->nCols) + step;
    const int64_t rowCount = canvas->nRows;
    if (step < 1 || newCols > kMaxCanvasSide || rowCount < 1) {
        return false;
    }
    const size_t oldBytes = static_cast<size_t>(b * canvas->nCols);
    const size_t newBytes = static_cast<size_t>(b * newCols);
    const size_t offset = atLeft ? static_cast<size_t>(b * step) : 0;
    auto** rows =
        static_cast<uint8_t**>(std::calloc(static_cast<size_t>(rowCount), sizeof(uint8_t*)));
    if (rows == nullptr) {
        return false;
    }
    uint8_t** old = CurrentCanvasRows(*canvas);
    for (int64_t i = 0; i < rowCount; ++i) {
        rows[i] = static_cast<uint8_t*>(std::malloc(newBytes));
        if (rows[i] == nullptr) {
            FreeRows(rows, rowCount);
            return false;
        }
        std::memset(rows[i], 0, offset);
        std::memcpy(rows[i] + offset, old[i], oldBytes);
        std::memset(rows[i] + offset + oldBytes, 0, newBytes - offset - oldBytes);
    }
    FreeRows(old, rowCount);
    if (canvas->bRowsACurrent == 1) {
        canvas->ppRowsB = rows;
    } else {
        canvas->ppRowsA = rows;
    }
    std::swap(canvas->bRowsACurrent, canvas->bRowsBCurrent);
    canvas->nCols = static_cast<int32_t>(newCols);
    if (atLeft) {
        canvas->nLeft -= canvas->nGrowStep;
    } else {
        canvas->nRight += canvas->nGrowStep;
    }
    return true;
}

} // namespace

int GrowCanvasToFit(int y, int x, MOSAIC_PARAMS* canvas) {
    std::lock_guard<std::recursive_mutex> lock(g_hCanvasMutex);
    if (y <= canvas->nTop && !GrowRows(canvas, true)) {
        return 0;
    }
    if (y >= canvas->nBottom && !GrowRows(canvas, false)) {
        return 0;
    }
    if (x <= canvas->nLeft && !GrowCols(canvas, true)) {
        return 0;
    }
    if (x >= canvas->nRight && !GrowCols(canvas, false)) {
        return 0;
    }
    return 1;
}

namespace {

// Blends a new 3-byte pixel onto the canvas: a copy onto black, else the halves of both.
inline void Blend3(uint8_t* dst, const uint8_t* src) {
    if (dst[0] == 0 && dst[1] == 0 && dst[2] == 0) {
        std::memcpy(dst, src, 3);
    } else {
        for (int i = 0; i < 3; ++i) {
            dst[i] = static_cast<uint8_t>((src[i] >> 1) + (dst[i] >> 1));
        }
    }
}

// Blends a new 4-4-4 word onto the canvas: a copy onto 0, else each field averaged on the 8-bit
// scale.
inline void Blend444(uint8_t* dst, const uint8_t* src) {
    const unsigned d = ReadWord444(dst);
    if (d == 0) {
        std::memcpy(dst, src, 2);
        return;
    }
    const PIXEL444 a = Unpack444(ReadWord444(src));
    const PIXEL444 e = Unpack444(d);
    auto blend = [](unsigned x, unsigned y) {
        return static_cast<unsigned>(((kExpand4To8 * x + kExpand4To8 * y) >> 1) * kInv255 * 15.0);
    };
    const unsigned word =
        Pack444({blend(a.high, e.high), blend(a.middle, e.middle), blend(a.low, e.low)});
    dst[0] = static_cast<uint8_t>(word & 0xFF);
    dst[1] = static_cast<uint8_t>(word >> 8);
}

} // namespace

void PutCanvasPixel(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                    int y, int x, const MOSAIC_SETTINGS* settings) {
    PutCanvasRun(canvas, features, colourRows, r, k, 1, y, x, settings);
}

void PutCanvasRun(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                  int count, int y, int x, const MOSAIC_SETTINGS* settings) {
    if (count < 1) {
        return;
    }
    const int n = settings->nReduction;
    const size_t b = static_cast<size_t>(canvas->nBytesPerPixel);
    uint8_t* dst = CurrentCanvasRows(*canvas)[canvas->nRows - 1 - (y - canvas->nTop)] +
                   static_cast<size_t>(x - canvas->nLeft) * b;
    const size_t step = static_cast<size_t>(n) * b; // the frame is sampled every n pixels
    const uint8_t* src = colourRows[n * r] + step * static_cast<size_t>(k);

    if (settings->bShowFeatures == 1) {
        const uint8_t* feature = features[r] + k;
        for (int i = 0; i < count; ++i, dst += b, src += step) {
            if (feature[i] != 0) {
                std::memset(dst, 255, b);
            } else {
                std::memcpy(dst, src, b);
            }
        }
        return;
    }
    if (settings->bBlend == 0) {
        if (n == 1) {
            std::memcpy(dst, src, b * static_cast<size_t>(count));
        } else {
            for (int i = 0; i < count; ++i, dst += b, src += step) {
                std::memcpy(dst, src, b);
            }
        }
        return;
    }
    if (b == 3) {
        for (int i = 0; i < count; ++i, dst += 3, src += step) {
            Blend3(dst, src);
        }
        return;
    }
    for (int i = 0; i < count; ++i, dst += 2, src += step) {
        Blend444(dst, src);
    }
}

namespace {

// Paints frame columns k0 .. k1 - 1 of row r at mosaic row y, as runs of pixels that lie inside
// the canvas: at the first pixel of each run the canvas is grown until that pixel lies inside,
// exactly as a pixel-by-pixel walk would grow it, and the run goes on while its pixels stay
// left of the right edge. `strict` makes the top and left edges outside as well (row bands).
bool PaintRowRuns(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int r, int k0,
                  int k1, int y, int xOfK0, bool strict, const MOSAIC_SETTINGS* settings) {
    auto inside = [&](int x) {
        const bool top = strict ? canvas->nTop < y : canvas->nTop <= y;
        const bool left = strict ? canvas->nLeft < x : canvas->nLeft <= x;
        return top && y < canvas->nBottom && left && x < canvas->nRight;
    };
    int k = k0;
    while (k < k1) {
        const int x = xOfK0 + (k - k0);
        while (!inside(x)) {
            if (GrowCanvasToFit(y, x, canvas) == 0) {
                return false;
            }
        }
        const int run = std::min(k1 - k, canvas->nRight - x);
        PutCanvasRun(canvas, features, frame->ppColourRows, r, k, run, y, x, settings);
        k += run;
    }
    return true;
}

} // namespace

int PaintStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows, int cols,
               int posX, int posY, int angle, int width, const MOSAIC_SETTINGS* settings) {
    if (angle < 0) {
        angle += 360;
    }
    const int h = width / 2;
    const int hr = rows / 2;
    const int hc = cols / 2;
    const bool extend = frame->bExtendStrip != 0;

    if (angle == 0 || angle == 180) {
        int start = hr - h;
        int end = hr + h;
        if (extend) {
            if (angle == 180) {
                end = rows;
            } else {
                start = 0;
            }
        }
        start = std::max(start, 0);
        if (end >= rows) {
            end = rows - 1;
        }
        for (int r = start; r < end; ++r) {
            if (!PaintRowRuns(canvas, frame, features, r, 0, cols, posY + hr - r, posX - hc, true,
                              settings)) {
                return 0;
            }
        }
        return 1;
    }
    if (angle == 90 || angle == 270) {
        const int limit = settings->nReduction == 1   ? rows - 4
                          : settings->nReduction == 2 ? rows - 2
                                                      : rows - 1;
        int start = hc - h;
        int end = hc + h;
        if (extend) {
            if (angle == 90) {
                end = cols;
            } else {
                start = 0;
            }
        }
        start = std::max(start, 0);
        if (end >= cols) {
            end = cols - 1;
        }
        for (int r = 0; r < limit; ++r) {
            if (!PaintRowRuns(canvas, frame, features, r, start, end, posY + hr - r,
                              posX + start - hc, false, settings)) {
                return 0;
            }
        }
    }
    return 1;
}

int PaintFrameStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows,
                    int cols, int dx, int dy, const MOSAIC_SETTINGS* settings) {
    if (settings->bPaint != 1) {
        return 1;
    }
    canvas->nCurrentX = frame->nPosX;
    canvas->nCurrentY = -frame->nPosY;
    const float factor = settings->fBrushFactor;
    int angle;
    int width;
    if (std::abs(frame->fEstX) < std::abs(frame->fEstY)) {
        angle = dy >= 0 ? 0 : 180;
        width = factor != 0 ? static_cast<int>(rows * factor) : 2 * std::abs(dy) + 2;
    } else {
        angle = dx >= 0 ? 270 : 90;
        width = factor != 0 ? static_cast<int>(cols * factor) : 2 * std::abs(dx) + 2;
    }
    // A failed growth is passed on, so the run can stop instead of losing the frame quietly.
    return PaintStrip(canvas, frame, features, rows, cols, frame->nPosX, frame->nPosY, angle, width,
                      settings);
}

int Min4(int a, int b, int c, int d) {
    return std::min(std::min(a, b), std::min(c, d));
}

int Max4(int a, int b, int c, int d) {
    return std::max(std::max(a, b), std::max(c, d));
}

void ClampInt(int* value, int lo, int hi) {
    if (*value > hi) {
        *value = hi;
    }
    if (*value < lo) {
        *value = lo;
    }
}
