#include "platform/ui/gdi.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace ui {

namespace {

// A colour as a 16-bit 5-6-5 pixel, the way QPainter stores it, so lines and fills agree with
// what a painter draws into the same picture.
inline uint16_t To565(QRgb v) {
    return static_cast<uint16_t>((qRed(v) >> 3) << 11 | (qGreen(v) >> 2) << 5 | qBlue(v) >> 3);
}

// Bytes of one pixel of a picture these primitives can draw into; 0 for any other form, into
// which nothing is written (a 32-bit store would run past its lines).
inline int PixelBytes(const QImage& img) {
    if (img.format() == QImage::Format_RGB16) {
        return 2;
    }
    return img.depth() == 32 ? 4 : 0;
}

inline void Put(QImage& dst, int x, int y, QRgb v) {
    if (x < 0 || y < 0 || x >= dst.width() || y >= dst.height()) {
        return;
    }
    const int bytes = PixelBytes(dst);
    if (bytes == 2) {
        reinterpret_cast<uint16_t*>(dst.scanLine(y))[x] = To565(v);
    } else if (bytes == 4) {
        reinterpret_cast<QRgb*>(dst.scanLine(y))[x] = v;
    }
}

// Bresenham from a to b, b excluded.
void LineExclusive(QImage& dst, QPoint a, QPoint b, QRgb v) {
    // Straight lines, the common case, are clipped to the image first, so far-off end points
    // cost nothing.
    if (a.y() == b.y() && a.x() != b.x()) {
        if (a.y() < 0 || a.y() >= dst.height()) {
            return;
        }
        int step = a.x() < b.x() ? 1 : -1;
        int from = std::clamp(a.x(), -1, dst.width());
        int to = std::clamp(b.x(), -1, dst.width()); // excluded
        for (int x = from; x != to; x += step) {
            Put(dst, x, a.y(), v);
        }
        return;
    }
    if (a.x() == b.x() && a.y() != b.y()) {
        if (a.x() < 0 || a.x() >= dst.width()) {
            return;
        }
        int step = a.y() < b.y() ? 1 : -1;
        int from = std::clamp(a.y(), -1, dst.height());
        int to = std::clamp(b.y(), -1, dst.height());
        for (int y = from; y != to; y += step) {
            Put(dst, a.x(), y, v);
        }
        return;
    }
    int x = a.x(), y = a.y();
    int dx = std::abs(b.x() - x), sx = x < b.x() ? 1 : -1;
    int dy = -std::abs(b.y() - y), sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    while (!(x == b.x() && y == b.y())) {
        Put(dst, x, y, v);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

} // namespace

QImage NewImage(int w, int h, QRgb fill) {
    QImage img(std::max(w, 0), std::max(h, 0), QImage::Format_ARGB32);
    img.fill(fill);
    return img;
}

void FillRect(QImage& dst, const Rect& r, COLORREF c) {
    QRgb v = ToQRgb(c);
    int x0 = std::max(r.left, 0), x1 = std::min(r.right, dst.width());
    int y0 = std::max(r.top, 0), y1 = std::min(r.bottom, dst.height());
    const int bytes = PixelBytes(dst);
    if (bytes == 0) {
        return;
    }
    if (bytes == 2) {
        const uint16_t w = To565(v);
        for (int y = y0; y < y1; ++y) {
            uint16_t* row = reinterpret_cast<uint16_t*>(dst.scanLine(y));
            std::fill(row + x0, row + std::max(x0, x1), w);
        }
        return;
    }
    for (int y = y0; y < y1; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(dst.scanLine(y));
        std::fill(row + x0, row + std::max(x0, x1), v);
    }
}

void FrameRect(QImage& dst, const Rect& r, COLORREF c) {
    if (r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    FillRect(dst, {r.left, r.top, r.right, r.top + 1}, c);
    FillRect(dst, {r.left, r.bottom - 1, r.right, r.bottom}, c);
    FillRect(dst, {r.left, r.top, r.left + 1, r.bottom}, c);
    FillRect(dst, {r.right - 1, r.top, r.right, r.bottom}, c);
}

void Polyline(QImage& dst, const std::vector<QPoint>& pts, COLORREF c) {
    for (size_t i = 1; i < pts.size(); ++i) {
        LineExclusive(dst, pts[i - 1], pts[i], ToQRgb(c));
    }
}

void ClosedOutline(QImage& dst, int x0, int y0, int x1, int y1, COLORREF c) {
    Polyline(dst, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}, c);
}

void Draw3dRect(QImage& dst, int x, int y, int cx, int cy, COLORREF tl, COLORREF br) {
    FillRect(dst, {x, y, x + cx - 1, y + 1}, tl);
    FillRect(dst, {x, y, x + 1, y + cy - 1}, tl);
    FillRect(dst, {x + cx - 1, y, x + cx, y + cy}, br);
    FillRect(dst, {x, y + cy - 1, x + cx, y + cy}, br);
}

void BitBlt(QImage& dst, int x, int y, const QImage& src, Rop rop) {
    QImage s =
        src.format() == QImage::Format_ARGB32 ? src : src.convertToFormat(QImage::Format_ARGB32);
    int x0 = std::max(0, -x), y0 = std::max(0, -y);
    int x1 = std::min(s.width(), dst.width() - x), y1 = std::min(s.height(), dst.height() - y);
    for (int sy = y0; sy < y1; ++sy) {
        const QRgb* in = reinterpret_cast<const QRgb*>(s.constScanLine(sy));
        QRgb* out = reinterpret_cast<QRgb*>(dst.scanLine(sy + y)) + x;
        for (int sx = x0; sx < x1; ++sx) {
            switch (rop) {
            case Rop::SrcCopy:
                out[sx] = in[sx];
                break;
            case Rop::SrcAnd:
                out[sx] &= in[sx];
                break;
            case Rop::SrcPaint:
                out[sx] |= in[sx];
                break;
            }
        }
    }
}

QImage MakeMask(QImage& image, COLORREF transparent, bool blackenSource) {
    if (image.isNull()) {
        return {};
    }
    if (image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(QImage::Format_ARGB32);
    }
    QImage mask = NewImage(image.width(), image.height(), 0xFF000000);
    if (mask.isNull()) {
        return {};
    }
    QRgb key = ToQRgb(transparent) & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* px = reinterpret_cast<QRgb*>(image.scanLine(y));
        QRgb* m = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((px[x] & 0xFFFFFF) == key) {
                m[x] = 0xFFFFFFFF;
                if (blackenSource) {
                    px[x] = 0;
                }
            }
        }
    }
    return mask;
}

void DrawStateDisabled(QImage& dst, int x, int y, const QImage& image, COLORREF light,
                       COLORREF dark) {
    QImage s = image.convertToFormat(QImage::Format_ARGB32);
    for (int pass = 0; pass < 2; ++pass) {
        int off = pass == 0 ? 1 : 0;
        QRgb v = ToQRgb(pass == 0 ? light : dark);
        for (int sy = 0; sy < s.height(); ++sy) {
            const QRgb* in = reinterpret_cast<const QRgb*>(s.constScanLine(sy));
            for (int sx = 0; sx < s.width(); ++sx) {
                if (qAlpha(in[sx]) >= 128 && (in[sx] & 0xFFFFFF) != 0xFFFFFF) {
                    Put(dst, x + sx + off, y + sy + off, v);
                }
            }
        }
    }
}

void DrawStateNormal(QImage& dst, int x, int y, const QImage& image) {
    QPainter p(&dst);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(x, y, image);
}

int DrawText(QImage& dst, const QString& text, Rect& r, unsigned flags, const QFont& font,
             COLORREF color) {
    int qflags = Qt::AlignTop;
    qflags |= (flags & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
    if (flags & DT_WORDBREAK) {
        qflags |= Qt::TextWordWrap;
    }
    QFontMetrics fm(font);
    if (flags & DT_CALCRECT) {
        // Only the size counts: Qt may shift the bounding box sideways while centring.
        QRect b =
            fm.boundingRect(QRect(r.left, r.top, std::max(r.Width(), 1), 0x7FFF), qflags, text);
        r.right = r.left + b.width();
        r.bottom = r.top + b.height();
        return b.height();
    }
    QPainter p(&dst);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(font);
    p.setPen(ToQColor(color));
    QRect drawn;
    p.drawText(r.ToQRect(), qflags, text, &drawn);
    return drawn.height();
}

} // namespace ui
