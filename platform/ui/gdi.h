// Device-context style drawing on QImage: the rectangle, line and bit-block rules of the
// window system the program was designed on, so layouts and pixel tests carry over exactly.
// Every image here is QImage::Format_ARGB32, except that the fills and lines (FillRect,
// FrameRect, Polyline, ClosedOutline, Draw3dRect) also draw into Format_RGB32 and the 16-bit
// Format_RGB16 pictures of a 16-bit screen; colours are 0x00BBGGRR values (COLORREF).
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

namespace ui {

using COLORREF = uint32_t;

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return c & 0xFF;
}
constexpr int GetGValue(COLORREF c) {
    return (c >> 8) & 0xFF;
}
constexpr int GetBValue(COLORREF c) {
    return (c >> 16) & 0xFF;
}
inline QRgb ToQRgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline COLORREF FromQRgb(QRgb c) {
    return RGB(qRed(c), qGreen(c), qBlue(c));
}
inline QColor ToQColor(COLORREF c) {
    return QColor(ToQRgb(c));
}

// A rectangle as left, top, right, bottom with right and bottom exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void Deflate(int d) {
        left += d;
        top += d;
        right -= d;
        bottom -= d;
    }
    void Offset(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    QRect ToQRect() const { return QRect(left, top, Width(), Height()); }
    bool operator==(const Rect&) const = default;
};

// Raster operations of a bit-block transfer, applied to the 32-bit pixel values.
enum class Rop { SrcCopy, SrcAnd, SrcPaint };

QImage NewImage(int w, int h, QRgb fill = 0);

void FillRect(QImage& dst, const Rect& r, COLORREF c);
// One-pixel frame just inside the rectangle.
void FrameRect(QImage& dst, const Rect& r, COLORREF c);
// Lines between consecutive points; each segment excludes its end point.
void Polyline(QImage& dst, const std::vector<QPoint>& pts, COLORREF c);
// Closed outline through (x0,y0) (x1,y0) (x1,y1) (x0,y1) back to (x0,y0): every corner drawn.
void ClosedOutline(QImage& dst, int x0, int y0, int x1, int y1, COLORREF c);
// Top and left lines in topLeft, right and bottom lines in bottomRight, inside (x, y, cx, cy).
void Draw3dRect(QImage& dst, int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
// Pixels outside dst are skipped.
void BitBlt(QImage& dst, int x, int y, const QImage& src, Rop rop);

// Monochrome mask of an image: 0xFFFFFFFF where the pixel has the transparent colour, 0xFF000000
// elsewhere. With `blackenSource` the transparent pixels of `image` become 0x00000000 in place,
// so SrcAnd with the mask then SrcPaint with the image keeps what lies under them.
QImage MakeMask(QImage& image, COLORREF transparent, bool blackenSource);

// The disabled (embossed) state drawing: the image's silhouette (opaque pixels that are not
// white) once in `light` one pixel down and right, then in `dark` in place.
void DrawStateDisabled(QImage& dst, int x, int y, const QImage& image, COLORREF light,
                       COLORREF dark);
// Normal state drawing: alpha-composites the image.
void DrawStateNormal(QImage& dst, int x, int y, const QImage& image);

// Text layout flags of the window system.
enum : unsigned { DT_CENTER = 0x1, DT_WORDBREAK = 0x10, DT_CALCRECT = 0x400 };
// Lays out or draws text in r. With DT_CALCRECT nothing is drawn: r keeps its left and top and
// takes the size of the laid-out text. Returns the text height.
int DrawText(QImage& dst, const QString& text, Rect& r, unsigned flags, const QFont& font,
             COLORREF color);

} // namespace ui
