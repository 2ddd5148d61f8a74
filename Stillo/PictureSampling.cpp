#include "PictureSampling.h"

#include "ScreenFormat.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

namespace sampling {

namespace {

// The byte offsets, in a source row, of the columns that picture columns 0, 1, ... show
// (column(x) pixels of bytesPerPixel each), up to the first column outside the row's nCols.
// Returns how many there are.
template <class Column>
int ColumnOffsets(uint32_t* offsets, int width, int nCols, int bytesPerPixel, Column column) {
    const int most = std::min(width, kMaxWidth);
    int n = 0;
    for (; n < most; ++n) {
        const int cx = column(n);
        if (cx < 0 || cx >= nCols) {
            break;
        }
        offsets[n] = static_cast<uint32_t>(cx) * static_cast<uint32_t>(bytesPerPixel);
    }
    return n;
}

// line(y, row(y)) for the picture's lines y = 0, 1, ... up to height or the first whose source
// row lies outside the source's nRows.
template <class Row, class Line> void ForEachLine(int height, int nRows, Row row, Line line) {
    for (int y = 0; y < height; ++y) {
        const int r = row(y);
        if (r < 0 || r >= nRows) {
            break;
        }
        line(y, r);
    }
}

// The positions 0, s, 2s, ... summed in double steps and truncated, one a call; one past the
// int range comes as INT_MAX, beyond every picture's edge.
class Steps {
public:
    explicit Steps(double step) : m_step(step) {}
    int operator()(int) {
        const double at = m_at;
        m_at += m_step;
        return at < static_cast<double>(INT_MAX) ? static_cast<int>(at) : INT_MAX;
    }

private:
    double m_step;
    double m_at = 0.0;
};

// Red, green and blue as pixel x of a work view picture's line of B bytes a pixel.
template <int B>
inline void PutPicturePixel(uint8_t* line, int x, uint8_t r, uint8_t g, uint8_t b) {
    if constexpr (B == screen::kBytes565) {
        reinterpret_cast<uint16_t*>(line)[x] = screen::To565(r, g, b);
    } else {
        reinterpret_cast<uint32_t*>(line)[x] =
            0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    }
}

template <int B, class Column, class Row>
void SampleCanvasAs(const Canvas& canvas, const Lines& picture, int yOffset, Column column,
                    Row row) {
    uint32_t offsets[kMaxWidth];
    const int n = ColumnOffsets(offsets, picture.width, canvas.nCols, canvas.bytesPerPixel, column);
    ForEachLine(picture.height - yOffset, canvas.nRows, row, [&](int y, int cy) {
        uint8_t* line = picture.top + picture.pitch * (y + yOffset);
        const uint8_t* source = canvas.rows[canvas.nRows - 1 - cy];
        for (int x = 0; x < n; ++x) {
            const uint8_t* p = source + offsets[x];
            PutPicturePixel<B>(line, x, p[0], p[1], p[2]);
        }
    });
}

template <class Column, class Row>
void SampleCanvas(const Canvas& canvas, const Lines& picture, int yOffset, Column column, Row row) {
    if (!canvas.rows || canvas.nRows <= 0 || canvas.nCols <= 0 || !picture.top) {
        return;
    }
    if (picture.bytesPerPixel == screen::kBytes565) {
        SampleCanvasAs<screen::kBytes565>(canvas, picture, yOffset, column, row);
    } else {
        SampleCanvasAs<screen::kBytes32>(canvas, picture, yOffset, column, row);
    }
}

void PreviewLine565(uint8_t* out, const uint8_t* row, const uint32_t* columns, int n) {
    for (int x = 0; x < n; ++x) {
        const uint8_t* p = row + columns[x];
        const unsigned v = screen::To565(p[2], p[1], p[0]);
        out[2 * x] = static_cast<uint8_t>(v & 0xFF);
        out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
    }
}

// The first nWord columns' pixels are followed by at least one more byte of their row, so each
// can be read as one 4-byte word.
void PreviewLine32(uint8_t* out, const uint8_t* row, const uint32_t* columns, int n, int nWord) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Two pixels at a time, one 8-byte store: each word keeps the byte 3 it held, so only
        // blue, green and red change.
        for (; x + 1 < nWord; x += 2) {
            uint32_t a = 0, b = 0;
            uint64_t q = 0;
            std::memcpy(&a, row + columns[x], 4);
            std::memcpy(&b, row + columns[x + 1], 4);
            std::memcpy(&q, out + 4 * x, 8);
            q = (q & 0xFF000000FF000000ull) | (a & 0xFFFFFFu) |
                (static_cast<uint64_t>(b & 0xFFFFFFu) << 32);
            std::memcpy(out + 4 * x, &q, 8);
        }
    }
    for (; x < n; ++x) {
        const uint8_t* p = row + columns[x];
        uint8_t* q = out + 4 * x;
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
    }
}

} // namespace

void SampleMosaicView(const Canvas& canvas, const Lines& picture, int sx, int sy, float z) {
    SampleCanvas(
        canvas, picture, 0, [&](int x) { return static_cast<int>((x + sx) * z); },
        [&](int y) { return static_cast<int>((y + sy) * z); });
}

void SampleResults(const Canvas& canvas, const Lines& picture, float scale, int yOffset) {
    auto scaled = [&](int v) { return static_cast<int>(v * scale); };
    SampleCanvas(canvas, picture, yOffset, scaled, scaled);
}

void ShowPreview(const uint8_t* preview, ptrdiff_t previewPitch, const Lines& picture) {
    if (!preview || !picture.top) {
        return;
    }
    const int width = picture.width;
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* p = preview + previewPitch * y;
        uint8_t* line = picture.top + picture.pitch * y;
        if (picture.bytesPerPixel == screen::kBytes565) {
            // 16-bit words, low byte first.
            auto* words = reinterpret_cast<uint16_t*>(line);
            for (int x = 0; x < width; ++x, p += 2) {
                words[x] = static_cast<uint16_t>(p[0] | p[1] << 8);
            }
        } else {
            for (int x = 0; x < width; ++x, p += 4) {
                PutPicturePixel<screen::kBytes32>(line, x, p[2], p[1], p[0]);
            }
        }
    }
}

void SamplePreview(const uint8_t* top, ptrdiff_t pitch, int width, int height, double step,
                   const Lines& preview) {
    if (!top || !preview.top || width <= 0 || height <= 0 || !(step > 0.0) ||
        !std::isfinite(step)) {
        return;
    }
    uint32_t columns[kMaxWidth];
    const int n = ColumnOffsets(columns, preview.width, width, 3, Steps(step));
    const uint32_t rowBytes = 3 * static_cast<uint32_t>(width);
    int nWord = 0;
    while (nWord < n && columns[nWord] + 4 <= rowBytes) {
        ++nWord;
    }
    ForEachLine(preview.height, height, Steps(step), [&](int y, int r) {
        const uint8_t* row = top + pitch * r;
        uint8_t* out = preview.top + preview.pitch * y;
        if (preview.bytesPerPixel == screen::kBytes565) {
            PreviewLine565(out, row, columns, n);
        } else {
            PreviewLine32(out, row, columns, n, nWord);
        }
    });
}

} // namespace sampling
