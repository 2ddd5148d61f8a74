#include "ResizeBox.h"

#include "platform/ui/gdi.h"
#include "platform/ui/services.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr ui::COLORREF kRed = ui::RGB(255, 0, 0);
constexpr ui::COLORREF kYellow = ui::RGB(255, 255, 0);

bool InSquare(int cx, int cy, int x, int y, float z) {
    return cx <= x && static_cast<float>(x) <= static_cast<float>(cx) + 8.0f * z && cy <= y &&
           static_cast<float>(y) <= static_cast<float>(cy) + 8.0f * z;
}

bool InBand(int edge, int v, float z) {
    float fv = static_cast<float>(v), fe = static_cast<float>(edge);
    return fe - 4.0f * z <= fv && fv < fe + 4.0f * z;
}

// trunc(v / z), held inside the int range (a tiny zoom must not overflow the conversion).
int ToView(int v, float z) {
    float f = std::trunc(static_cast<float>(v) / z);
    constexpr float kLimit = 1.0e9f;
    return static_cast<int>(std::clamp(f, -kLimit, kLimit));
}

} // namespace

void CResizeBox::Init(int width, int height) {
    m_nMaxX = m_nRight = width - 1;
    m_nMaxY = m_nBottom = height - 1;
    m_nLeft = m_nTop = 0;
    m_bDragging = 0;
    m_nHandle = 0;
    m_nGrabDX = m_nGrabDY = 0;
}

int CResizeBox::HitTest(int x, int y, float z, bool bBegin) {
    const int e8 = static_cast<int>(8.0f * z);
    const int t4 = static_cast<int>(4.0f * z);
    // Corner squares first, so a corner wins where it overlaps an edge band.
    const int cornerX[4] = {m_nLeft, m_nLeft, m_nRight - e8, m_nRight - e8};
    const int cornerY[4] = {m_nTop, m_nBottom - e8, m_nTop, m_nBottom - e8};
    int hit = -1;
    for (int h = 0; h < 4 && hit < 0; ++h) {
        if (InSquare(cornerX[h], cornerY[h], x, y, z)) {
            hit = h;
        }
    }
    if (hit < 0) {
        if (InBand(m_nTop, y, z)) {
            hit = 4;
        } else if (InBand(m_nBottom, y, z)) {
            hit = 5;
        } else if (InBand(m_nLeft, x, z)) {
            hit = 6;
        } else if (InBand(m_nRight, x, z)) {
            hit = 7;
        }
    }
    if (hit < 0) {
        return -1;
    }
    if (bBegin) {
        m_bDragging = 1;
        m_nHandle = hit;
        switch (hit) {
        case 0:
        case 1:
        case 2:
        case 3:
            m_nGrabDX = x - cornerX[hit];
            m_nGrabDY = y - cornerY[hit];
            break;
        case 4:
            m_nGrabDY = y + t4 - m_nTop;
            break;
        case 5:
            m_nGrabDY = y + t4 - m_nBottom;
            break;
        case 6:
            m_nGrabDX = x + t4 - m_nLeft;
            break;
        case 7:
            m_nGrabDX = x + t4 - m_nRight;
            break;
        }
    }
    SetHandleCursor(hit);
    return hit;
}

namespace {

// The edges each handle moves: the corners 0 top-left, 1 bottom-left, 2 top-right and
// 3 bottom-right, then the top, bottom, left and right edges.
struct MovedEdges {
    bool left, top, right, bottom;
};
constexpr MovedEdges kHandleEdges[8] = {
    {true, true, false, false},  {true, false, false, true},  {false, true, true, false},
    {false, false, true, true},  {false, true, false, false}, {false, false, false, true},
    {true, false, false, false}, {false, false, true, false},
};

} // namespace

void CResizeBox::Drag(int x, int y, float z) {
    if (m_bDragging && m_nHandle >= 0 && m_nHandle < 8) {
        const MovedEdges& moved = kHandleEdges[m_nHandle];
        MoveEdges(moved.left, moved.top, moved.right, moved.bottom, x, y, z);
        KeepInsideCanvas(moved.left, moved.top, moved.right, moved.bottom);
    }
    SetHandleCursor(m_nHandle);
}

void CResizeBox::MoveEdges(bool left, bool top, bool right, bool bottom, int x, int y, float z) {
    const int e8 = static_cast<int>(8.0f * z);
    // A corner keeps the offset at which its square was grabbed; the right and bottom edges of
    // a square lie e8 beyond its start.
    const int reach = m_nHandle < 4 ? e8 : 0;
    // Opposite edges stay at least e8 apart: the moved one stops short of the other.
    if (left) {
        m_nLeft = std::min(x - m_nGrabDX, m_nRight - e8);
    }
    if (top) {
        m_nTop = std::min(y - m_nGrabDY, m_nBottom - e8);
    }
    if (right) {
        m_nRight = std::max(x - m_nGrabDX + reach, m_nLeft + e8);
    }
    if (bottom) {
        m_nBottom = std::max(y - m_nGrabDY + reach, m_nTop + e8);
    }
}

void CResizeBox::KeepInsideCanvas(bool left, bool top, bool right, bool bottom) {
    if (left) {
        m_nLeft = std::max(m_nLeft, 0);
    }
    if (top) {
        m_nTop = std::max(m_nTop, 0);
    }
    if (right) {
        m_nRight = std::min(m_nRight, m_nMaxX);
    }
    if (bottom) {
        m_nBottom = std::min(m_nBottom, m_nMaxY);
    }
}

void CResizeBox::EndDrag() {
    m_bDragging = 0;
    ui::SetCursor(ui::CursorKind::Arrow);
}

void CResizeBox::SetHandleCursor(int handle) {
    switch (handle) {
    case 0:
    case 3:
        ui::SetCursor(ui::CursorKind::SizeNWSE);
        break;
    case 1:
    case 2:
        ui::SetCursor(ui::CursorKind::SizeNESW);
        break;
    case 4:
    case 5:
        ui::SetCursor(ui::CursorKind::SizeNS);
        break;
    case 6:
    case 7:
        ui::SetCursor(ui::CursorKind::SizeWE);
        break;
    default:
        break;
    }
}

void CResizeBox::Draw(QImage& bitmap, int sx, int sy, float z) const {
    // A zoom that is not a positive number has no view position to draw at.
    if (!(z > 0.0f) || !std::isfinite(z)) {
        return;
    }
    // The view's own 32-bit or 16-bit screen form is drawn into as it is: converting it would
    // hand the view a picture of another form (and a new one at every redraw).
    if (bitmap.format() != QImage::Format_ARGB32 && bitmap.format() != QImage::Format_RGB32 &&
        bitmap.format() != QImage::Format_RGB16) {
        bitmap = bitmap.convertToFormat(QImage::Format_ARGB32);
    }
    const int x0 = ToView(m_nLeft, z) - sx;
    const int x1 = ToView(m_nRight, z) - sx;
    const int y0 = ToView(m_nTop, z) - sy;
    const int y1 = ToView(m_nBottom, z) - sy;
    ui::ClosedOutline(bitmap, x0, y0, x1, y1, m_bDragging ? kRed : kYellow);
    ui::FillRect(bitmap, {x0, y0, x0 + 8, y0 + 8}, kYellow);
    ui::FillRect(bitmap, {x0, y1 - 8, x0 + 8, y1}, kYellow);
    ui::FillRect(bitmap, {x1 - 8, y0, x1, y0 + 8}, kYellow);
    ui::FillRect(bitmap, {x1 - 8, y1 - 8, x1, y1}, kYellow);
}
