#include "engine/straighten.h"

#include "engine/lines.h"

#include "numeric/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The strip whose chained end is not moved.
constexpr int kUnchainedStrip = 100;
// A line whose row at an end of the strip lies further out than this is no line of any strip;
// below it every shift and every mark fits 64-bit arithmetic with room to spare.
constexpr double kRowLimit = 1 << 30;
constexpr int kBytesPerPixel = 3;
constexpr int kGreenByte = 1;

struct Line {
    float a;
    float b;
};

int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

// The line's storage row at column x, as the straighteners compute it (in float).
float RowAt(const Line& line, int x) {
    return static_cast<float>(x) * line.a + line.b;
}

// L(v) = trunc(R - v - 1): storage row v counted from the top.
int64_t FromTop(int R, float v) {
    return static_cast<int64_t>(std::trunc(R - static_cast<double>(v) - 1.0));
}

// The line itself when its rows at both ends of the strip are numbers a row can hold, else
// the level line through the middle.
Line UsableOrLevel(const Line& line, int R, int C) {
    const double start = RowAt(line, 0);
    const double end = RowAt(line, C - 1);
    if (std::fabs(start) <= kRowLimit && std::fabs(end) <= kRowLimit && std::isfinite(line.a)) {
        return line;
    }
    return Line{0.0f, (static_cast<float>(R) - 1.0f) / 2.0f};
}

// The upright grey picture of the strip: row k is the green of source row R - 1 - k.
RowImage GreyCopy(IMAGE2D source, int R, int C) {
    RowImage grey(R, C);
    if (!grey) {
        return grey;
    }
    for (int k = 0; k < R; ++k) {
        const uint8_t* in = source[R - 1 - k];
        uint8_t* out = grey[k];
        for (int x = 0; x < C; ++x) {
            out[x] = in[kBytesPerPixel * x + kGreenByte];
        }
    }
    return grey;
}

// Destination row k of column x shows source row k + u, u = trunc((1 - t) S0 + t S1) with
// t = x / (C - 1); a source row outside the strip leaves the destination pixel as it was.
void ShiftColumns(IMAGE2D source, IMAGE2D destination, int R, int C, int64_t s0, int64_t s1) {
    const double first = static_cast<double>(s0);
    const double last = static_cast<double>(s1);
    for (int k = 0; k < R; ++k) {
        uint8_t* out = destination[k];
        for (int x = 0; x < C; ++x) {
            const double t = x / static_cast<double>(C - 1);
            const int64_t u = static_cast<int64_t>(std::trunc((1.0 - t) * first + t * last));
            const int64_t s = k + u;
            if (s >= 0 && s < R) {
                std::memcpy(out + kBytesPerPixel * x, source[s] + kBytesPerPixel * x,
                            kBytesPerPixel);
            }
        }
    }
}

// Paints white the points of the line from (0, y0) to (C - 1, y1) that lie in the strip. A line
// far steeper than the strip is large has one point a row; it is first cut to the rows just
// around the strip, so that its list stays the strip's size however steep it is.
bool MarkLine(IMAGE2D destination, int R, int C, int64_t y0, int64_t y1) {
    if ((y0 < 0 && y1 < 0) || (y0 >= R && y1 >= R)) {
        return true;
    }
    int64_t x0 = 0;
    int64_t x1 = C - 1;
    const int64_t span = std::max<int64_t>(C - 1, std::llabs(y1 - y0));
    if (span > 2 * (int64_t{R} + C)) {
        const double slope = static_cast<double>(x1 - x0) / static_cast<double>(y1 - y0);
        auto columnAt = [&](int64_t y) {
            return static_cast<int64_t>(numeric::round_nearest(x0 + (y - y0) * slope));
        };
        const int64_t ya = std::clamp<int64_t>(y0, -1, R);
        const int64_t yb = std::clamp<int64_t>(y1, -1, R);
        x0 = columnAt(ya);
        x1 = columnAt(yb);
        y0 = ya;
        y1 = yb;
    }
    const int ix0 = static_cast<int>(x0);
    const int ix1 = static_cast<int>(x1);
    const int iy0 = static_cast<int>(y0);
    const int iy1 = static_cast<int>(y1);
    const size_t points = static_cast<size_t>(RasterisedPointCount(ix0, iy0, ix1, iy1)) + 1;
    HeapBlock<int32_t> xs = ZeroedBlock<int32_t>(points);
    HeapBlock<int32_t> ys = ZeroedBlock<int32_t>(points);
    if (!xs || !ys) {
        return false;
    }
    int n = 0;
    RasteriseLine(ix0, iy0, ix1, iy1, xs.get(), ys.get(), &n);
    for (int i = 1; i <= n; ++i) {
        const int x = xs.get()[i];
        const int y = ys.get()[i];
        if (y >= 0 && y < R && x >= 0 && x < C) {
            std::memset(destination[y] + kBytesPerPixel * x, 0xFF, kBytesPerPixel);
        }
    }
    return true;
}

// What the three straighteners share: the strip, its sizes and where its ends come to.
struct Strip {
    IMAGE2D source;
    IMAGE2D destination;
    int R;
    int C;
    int64_t h;   // the middle row, counted from the top
    int64_t end; // the previous strip's end row
    bool first;
    bool chained;
    Line previous;

    Strip(IMAGE2D src, IMAGE2D dst, uint16_t rows, uint16_t cols, int prevStripEnd,
          const float* slope, const float* intercept, int stripNumber,
          const MOSAIC_SETTINGS* settings)
        : source(src), destination(dst), R(rows), C(cols), h(rows >> 1), end(prevStripEnd),
          first(stripNumber == settings->nFirstStripNumber),
          chained(stripNumber != kUnchainedStrip),
          previous(UsableOrLevel(Line{*slope, *intercept}, rows, cols)) {}

    bool Empty() const { return C <= 1 || R == 0; }
    // The shift that brings the line's row at column x to the middle row there.
    int64_t ToMiddle(const Line& line, int x) const { return h - FromTop(R, RowAt(line, x)); }
    // The chained end: the previous line's row at column x brought to the previous end row.
    int64_t Chained(int x) const { return chained ? ToMiddle(previous, x) + end : 0; }
};

// The strip's single line, found in its grey picture and scaled back to the strip's rows.
bool DetectScaled(const Strip& strip, int factor, int window, int threshold, Line* line) {
    RowImage grey = GreyCopy(strip.source, strip.R, strip.C);
    if (!grey) {
        return false;
    }
    const uint16_t R = static_cast<uint16_t>(strip.R);
    const uint16_t C = static_cast<uint16_t>(strip.C);
    if (DetectDominantLine(grey.get(), R, C, window, threshold, factor, &line->a, &line->b) == 0) {
        return false;
    }
    line->b *= static_cast<float>(factor);
    *line = UsableOrLevel(*line, strip.R, strip.C);
    return true;
}

// The single-line straighteners: the line comes to the middle row at freshColumn (0 or C - 1);
// the other end is chained to the previous line's row at that same column.
int StraightenOnOneLine(const Strip& strip, int factor, int window, int threshold, int freshColumn,
                        float* slope, float* intercept) {
    if (strip.Empty()) {
        return 1;
    }
    // The chained end comes from the previous line, read before this strip's replaces it.
    const int64_t chained = strip.Chained(freshColumn);
    Line line{};
    if (!DetectScaled(strip, factor, window, threshold, &line)) {
        return 0;
    }
    const int chainedColumn = strip.C - 1 - freshColumn;
    const int64_t fresh = strip.ToMiddle(line, freshColumn);
    const int64_t other = strip.first ? strip.ToMiddle(line, chainedColumn) : chained;
    ShiftColumns(strip.source, strip.destination, strip.R, strip.C,
                 freshColumn == 0 ? fresh : other, freshColumn == 0 ? other : fresh);
    *slope = line.a;
    *intercept = line.b;
    return 1;
}

} // namespace

int StraightenStripOnLine(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                          int factor, int window, int threshold, int /*posY*/, int prevStripEnd,
                          float* slope, float* intercept, int stripNumber,
                          const MOSAIC_SETTINGS* settings) {
    const Strip strip(source, destination, rows, cols, prevStripEnd, slope, intercept, stripNumber,
                      settings);
    return StraightenOnOneLine(strip, factor, window, threshold, 0, slope, intercept);
}

int StraightenStripOnLineReverse(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                                 int factor, int window, int threshold, int /*posY*/,
                                 int prevStripEnd, float* slope, float* intercept, int stripNumber,
                                 const MOSAIC_SETTINGS* settings) {
    const Strip strip(source, destination, rows, cols, prevStripEnd, slope, intercept, stripNumber,
                      settings);
    return StraightenOnOneLine(strip, factor, window, threshold, strip.C - 1, slope, intercept);
}

int StraightenStripOnLinePair(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                              int factor, int window, int threshold, int /*posY*/, int prevStripEnd,
                              float* slope, float* intercept, int stripNumber,
                              const MOSAIC_SETTINGS* settings) {
    const Strip strip(source, destination, rows, cols, prevStripEnd, slope, intercept, stripNumber,
                      settings);
    if (strip.Empty()) {
        return 1;
    }
    const int64_t chained = strip.Chained(strip.C - 1);
    RowImage grey = GreyCopy(source, strip.R, strip.C);
    if (!grey) {
        return 0;
    }
    Line lines[2]{};
    if (DetectLinePair(grey.get(), rows, cols, window, threshold, factor, &lines[0].a, &lines[0].b,
                       &lines[1].a, &lines[1].b) == 0) {
        return 0;
    }
    for (Line& line : lines) {
        line.b *= static_cast<float>(factor);
        line = UsableOrLevel(line, strip.R, strip.C);
    }
    const Line middle = UsableOrLevel(
        Line{(lines[0].a + lines[1].a) * 0.5f, (lines[0].b + lines[1].b) * 0.5f}, strip.R, strip.C);
    // Fresh shifts and marks in storage rows, as the chained shift: a mark lands where the shift
    // moves its line, s - u.
    const int64_t s0 = strip.first ? strip.ToMiddle(middle, 0) : chained;
    const int64_t s1 = strip.ToMiddle(middle, strip.C - 1);
    ShiftColumns(source, destination, strip.R, strip.C, s0, s1);
    for (const Line& line : lines) {
        const int64_t y0 = static_cast<int64_t>(std::trunc(RowAt(line, 0))) - s0;
        const int64_t y1 = static_cast<int64_t>(std::trunc(RowAt(line, strip.C - 1))) - s1;
        if (!MarkLine(destination, strip.R, strip.C, y0, y1)) {
            return 0;
        }
    }
    *slope = middle.a;
    *intercept = middle.b;
    return 1;
}

int64_t RasterisedPointCount(int x0, int y0, int x1, int y1) {
    return std::max(std::llabs(int64_t{x1} - x0), std::llabs(int64_t{y1} - y0)) + 1;
}

void RasteriseLine(int x0, int y0, int x1, int y1, int32_t* xs, int32_t* ys, int* n) {
    const int64_t dx = int64_t{x1} - x0;
    const int64_t dy = int64_t{y1} - y0;
    // x is the major axis only when strictly longer: 45 degrees and a single point are y-major.
    const bool xMajor = std::llabs(dy) < std::llabs(dx);
    const int64_t major = xMajor ? std::llabs(dx) : std::llabs(dy);
    const int64_t minor = xMajor ? std::llabs(dy) : std::llabs(dx);
    if (major >= std::numeric_limits<int>::max()) {
        *n = 0;
        return;
    }
    const int stepX = Sign(dx);
    const int stepY = Sign(dy);
    int64_t x = x0;
    int64_t y = y0;
    int64_t decision = 2 * minor - major;
    for (int64_t i = 1; i <= major + 1; ++i) {
        xs[i] = static_cast<int32_t>(x);
        ys[i] = static_cast<int32_t>(y);
        if (decision >= 0) {
            // The minor step.
            if (xMajor) {
                y += stepY;
            } else {
                x += stepX;
            }
            decision += 2 * (minor - major);
        } else {
            decision += 2 * minor;
        }
        if (xMajor) {
            x += stepX;
        } else {
            y += stepY;
        }
    }
    *n = static_cast<int>(major + 1);
}
