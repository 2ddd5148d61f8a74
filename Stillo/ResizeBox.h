// The crop box over the mosaic view: eight handles to hit and drag, in canvas coordinates.
#pragma once

#include <QImage>

class CResizeBox {
public:
    CResizeBox() = default;
    virtual ~CResizeBox() = default;

    // The box covers the whole canvas of width x height pixels.
    void Init(int width, int height);
    // Finds the first handle (0..7) under the point; with bBegin starts dragging it. Sets the
    // handle's cursor. Returns the handle, or -1 when none was hit (nothing changes then).
    int HitTest(int x, int y, float zoom, bool bBegin);
    // Moves the dragged handle's edges to the pointer.
    void Drag(int x, int y, float zoom);
    void EndDrag();
    void SetHandleCursor(int handle);
    // Draws the outline and the four corner squares into the view bitmap; sx, sy is the view's
    // scroll in view pixels, zoom its canvas pixels per view pixel. 32-bit and 16-bit 5-6-5
    // bitmaps keep their form; any other is converted to 32 bits first.
    void Draw(QImage& bitmap, int sx, int sy, float zoom) const;

    int m_nMaxX = 0;
    int m_nMaxY = 0;
    int m_nLeft = 0;
    int m_nRight = 0;
    int m_nTop = 0;
    int m_nBottom = 0;
    int m_bDragging = 0;
    int m_nHandle = 0;
    int m_nGrabDX = 0;
    int m_nGrabDY = 0;

private:
    // The steps of a drag, over the edges the dragged handle moves.
    void MoveEdges(bool left, bool top, bool right, bool bottom, int x, int y, float z);
    void KeepInsideCanvas(bool left, bool top, bool right, bool bottom);
};
