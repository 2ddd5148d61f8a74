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

void PutCanvasPixel(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                    int y, int x, const MOSAIC_SETTINGS* settings) {
    const int n = settings->nReduction;
    const int b = canvas->nBytesPerPixel;
    uint8_t* dst = CurrentCanvasRows(*canvas)[canvas->nRows - 1 - (y - canvas->nTop)] +
                   static_cast<size_t>(x - canvas->nLeft) * b;
    const uint8_t* src = colourRows[n * r] + static_cast<size_t>(n) * b * k;

    if (settings->bShowFeatures == 1) {
        if (features[r][k] != 0) {
            std::memset(dst, 255, b);
        } else {
            std::memcpy(dst, src, b);
        }
        return;
    }
    if (settings->bBlend == 0) {
        std::memcpy(dst, src, b);
        return;
    }
    if (b == 3) {
        if (dst[0] == 0 && dst[1] == 0 && dst[2] == 0) {
            std::memcpy(dst, src, 3);
        } else {
            for (int i = 0; i < 3; ++i) {
                dst[i] = static_cast<uint8_t>((src[i] >> 1) + (dst[i] >> 1));
            }
        }
        return;
    }
    // Two bytes a pixel: the input's 4-4-4 word, each field blended on the 8-bit scale.
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

int PaintStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows, int cols,
               int posX, int posY, int angle, int width, const MOSAIC_SETTINGS* settings) {
    if (angle < 0) {
        angle += 360;
    }
    const int h = width / 2;
    const int hr = rows / 2;
    const int hc = cols / 2;
    const bool extend = frame->bExtendStrip != 0;
    IMAGE2D colour = frame->ppColourRows;

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
            const int y = posY + hr - r;
            for (int k = 0; k < cols; ++k) {
                const int x = posX + k - hc;
                while (!(canvas->nTop < y && y < canvas->nBottom && canvas->nLeft < x &&
                         x < canvas->nRight)) {
                    if (GrowCanvasToFit(y, x, canvas) == 0) {
                        return 0;
                    }
                }
                PutCanvasPixel(canvas, features, colour, r, k, y, x, settings);
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
            const int y = posY + hr - r;
            for (int k = start; k < end; ++k) {
                const int x = posX + k - hc;
                while (!(canvas->nTop <= y && y < canvas->nBottom && canvas->nLeft <= x &&
                         x < canvas->nRight)) {
                    if (GrowCanvasToFit(y, x, canvas) == 0) {
                        return 0;
                    }
                }
                PutCanvasPixel(canvas, features, colour, r, k, y, x, settings);
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
