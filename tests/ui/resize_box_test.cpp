#include "ResizeBox.h"
#include "platform/ui/gdi.h"
#include "platform/ui/services.h"

#include <gtest/gtest.h>

using ui::CursorKind;

namespace {

QRgb At(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
constexpr QRgb kRed = 0xFF0000, kYellow = 0xFFFF00, kBlack = 0;

// A box over a canvas of width x height with the given edges.
void Place(CResizeBox& box, int width, int height, int left, int top, int right, int bottom) {
    box.Init(width, height);
    box.m_nLeft = left;
    box.m_nTop = top;
    box.m_nRight = right;
    box.m_nBottom = bottom;
}

} // namespace

TEST(CropBox, InitCoversTheCanvasAndHitTestsFindHandlesInOrder) {
    CResizeBox box;
    EXPECT_EQ(box.m_nRight, 0);
    box.Init(300, 200);
    EXPECT_EQ(box.m_nLeft, 0);
    EXPECT_EQ(box.m_nTop, 0);
    EXPECT_EQ(box.m_nRight, 299);
    EXPECT_EQ(box.m_nBottom, 199);
    EXPECT_EQ(box.m_nMaxX, 299);
    EXPECT_EQ(box.m_nMaxY, 199);

    ui::SetCursor(CursorKind::None);
    EXPECT_EQ(box.HitTest(150, 100, 1.0f, true), -1);
    EXPECT_EQ(box.m_bDragging, 0);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::None); // a miss leaves the cursor alone

    EXPECT_EQ(box.HitTest(5, 5, 1.0f, false), 0);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNWSE);
    EXPECT_EQ(box.m_bDragging, 0);
    EXPECT_EQ(box.HitTest(150, 2, 1.0f, false), 4);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNS);
    EXPECT_EQ(box.HitTest(2, 195, 1.0f, false), 1);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNESW);
    EXPECT_EQ(box.HitTest(295, 3, 1.0f, false), 2);
    EXPECT_EQ(box.HitTest(296, 196, 1.0f, false), 3);
    EXPECT_EQ(box.HitTest(150, 197, 1.0f, false), 5);
    EXPECT_EQ(box.HitTest(1, 100, 1.0f, false), 6);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeWE);
    EXPECT_EQ(box.HitTest(302, 100, 1.0f, false), 7);
    // Band edges: from edge - 4z inclusive to edge + 4z exclusive.
    EXPECT_EQ(box.HitTest(150, 4, 1.0f, false), -1);
    EXPECT_EQ(box.HitTest(150, 195, 1.0f, false), 5);
    // Squares include their far side: (8, 8) is still the top-left corner, not the band.
    EXPECT_EQ(box.HitTest(8, 8, 1.0f, false), 0);
    EXPECT_EQ(box.HitTest(9, 3, 1.0f, false), 4);
    // At zoom 2 the squares and bands double.
    EXPECT_EQ(box.HitTest(16, 16, 2.0f, false), 0);
    EXPECT_EQ(box.HitTest(150, 7, 2.0f, false), 4);
}

TEST(CropBox, EdgeGrabsFromTheBandStartAndCornersKeepTheirOffset) {
    CResizeBox box;
    box.Init(300, 200);
    box.m_nTop = 50;
    ASSERT_EQ(box.HitTest(150, 50, 1.0f, true), 4);
    EXPECT_EQ(box.m_bDragging, 1);
    EXPECT_EQ(box.m_nGrabDY, 4);
    box.Drag(150, 51, 1.0f);
    EXPECT_EQ(box.m_nTop, 47); // three rows above where it was
    box.EndDrag();
    EXPECT_EQ(box.m_bDragging, 0);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::Arrow);

    box.Init(300, 200);
    ASSERT_EQ(box.HitTest(3, 2, 1.0f, true), 0);
    EXPECT_EQ(box.m_nGrabDX, 3);
    EXPECT_EQ(box.m_nGrabDY, 2);
    box.Drag(23, 12, 1.0f);
    EXPECT_EQ(box.m_nLeft, 20);
    EXPECT_EQ(box.m_nTop, 10);
    // Above and left of the canvas it stops at column 0 and row 0.
    box.Drag(-50, -70, 1.0f);
    EXPECT_EQ(box.m_nLeft, 0);
    EXPECT_EQ(box.m_nTop, 0);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNWSE);

    // The bottom-right corner dragged outwards is held inside the canvas.
    box.EndDrag();
    ASSERT_EQ(box.HitTest(295, 195, 1.0f, true), 3);
    EXPECT_EQ(box.m_nGrabDX, 295 - 291);
    box.Drag(400, 400, 1.0f);
    EXPECT_EQ(box.m_nRight, 299);
    EXPECT_EQ(box.m_nBottom, 199);
    box.Drag(200, 100, 1.0f);
    EXPECT_EQ(box.m_nRight, 200 - 4 + 8);
    EXPECT_EQ(box.m_nBottom, 100 - 4 + 8);
}

TEST(CropBox, EveryHandleMovesItsOwnEdgesWithThePointer) {
    // A corner keeps the exact offset at which it was grabbed; an edge is held from the start of
    // its band, t4 before the edge, so it first moves t4 towards smaller coordinates.
    for (const float z : {1.0f, 2.0f}) {
        const int e8 = static_cast<int>(8.0f * z);
        const int t4 = static_cast<int>(4.0f * z);
        for (int h = 0; h < 8; ++h) {
            CResizeBox box;
            Place(box, 300, 200, 100, 60, 200, 140);
            // Inside the handle's square or band, off its edge.
            const int cx = h == 2 || h == 3 ? 200 - e8 : 100;
            const int cy = h == 1 || h == 3 ? 140 - e8 : 60;
            const QPoint grab[8] = {{cx + 3, cy + 2}, {cx + 3, cy + 2}, {cx + 3, cy + 2},
                                    {cx + 3, cy + 2}, {150, 61},        {150, 141},
                                    {101, 100},       {201, 100}};
            ASSERT_EQ(box.HitTest(grab[h].x(), grab[h].y(), z, true), h);
            box.Drag(grab[h].x() + 7, grab[h].y() + 5, z);
            const int dx = h < 4 ? 7 : 7 - t4;
            const int dy = h < 4 ? 5 : 5 - t4;
            const bool left = h == 0 || h == 1 || h == 6;
            const bool right = h == 2 || h == 3 || h == 7;
            const bool top = h == 0 || h == 2 || h == 4;
            const bool bottom = h == 1 || h == 3 || h == 5;
            EXPECT_EQ(box.m_nLeft, 100 + (left ? dx : 0)) << "handle " << h << " zoom " << z;
            EXPECT_EQ(box.m_nRight, 200 + (right ? dx : 0)) << "handle " << h << " zoom " << z;
            EXPECT_EQ(box.m_nTop, 60 + (top ? dy : 0)) << "handle " << h << " zoom " << z;
            EXPECT_EQ(box.m_nBottom, 140 + (bottom ? dy : 0)) << "handle " << h << " zoom " << z;
        }
    }
}

TEST(CropBox, OppositeEdgesStayApartByEightViewPixels) {
    CResizeBox box;
    box.Init(300, 200);
    ASSERT_EQ(box.HitTest(0, 100, 2.0f, true), 6);
    box.Drag(295, 100, 2.0f); // left edge dragged past the right edge
    EXPECT_EQ(box.m_nLeft, 299 - 16);
    EXPECT_EQ(box.m_nRight - box.m_nLeft, 16);
    box.EndDrag();

    box.Init(300, 200);
    ASSERT_EQ(box.HitTest(299, 100, 2.0f, true), 7);
    box.Drag(-40, 100, 2.0f);
    EXPECT_EQ(box.m_nRight, 16);
    box.EndDrag();

    box.Init(300, 200);
    ASSERT_EQ(box.HitTest(150, 199, 1.0f, true), 5);
    box.Drag(150, -30, 1.0f);
    EXPECT_EQ(box.m_nBottom, 8);
    EXPECT_EQ(box.m_nTop, 0);

    // Drag without a grab only restores the handle's cursor.
    box.EndDrag();
    int before = box.m_nBottom;
    box.Drag(150, 150, 1.0f);
    EXPECT_EQ(box.m_nBottom, before);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNS);
    box.SetHandleCursor(12);
    EXPECT_EQ(ui::CurrentCursor(), CursorKind::SizeNS);
}

TEST(CropBox, DrawsRedOutlineWhileDraggingYellowAfterAndYellowSquares) {
    CResizeBox box;
    Place(box, 200, 100, 20, 10, 120, 60);
    box.m_bDragging = 1;
    QImage view = ui::NewImage(960, 300, 0xFF000000);
    box.Draw(view, 0, 0, 2.0f); // x 10..60, y 5..30
    EXPECT_EQ(At(view, 30, 5), kRed);
    EXPECT_EQ(At(view, 60, 20), kRed);
    EXPECT_EQ(At(view, 30, 30), kRed);
    EXPECT_EQ(At(view, 10, 20), kRed);
    EXPECT_EQ(At(view, 35, 20), kBlack);
    for (QPoint p :
         {QPoint(10, 5), QPoint(17, 12), QPoint(10, 22), QPoint(52, 5), QPoint(59, 29)}) {
        EXPECT_EQ(At(view, p.x(), p.y()), kYellow) << p.x() << "," << p.y();
    }
    EXPECT_EQ(At(view, 18, 13), kBlack); // the squares are 8 x 8

    box.m_bDragging = 0;
    QImage after = ui::NewImage(960, 300, 0xFF000000);
    box.Draw(after, 5, 0, 2.0f); // scrolled 5 to the right
    EXPECT_EQ(At(after, 25, 5), kYellow);
    EXPECT_EQ(At(after, 55, 20), kYellow);

    // Scrolled past the box's left: what is inside the view is drawn, nothing outside.
    QImage clip = ui::NewImage(50, 50, 0xFF000000);
    box.Draw(clip, 20, 0, 2.0f);
    EXPECT_EQ(At(clip, 10, 5), kYellow);
    EXPECT_EQ(At(clip, 40, 20), kYellow);
}

TEST(CropBox, DrawsIntoSixteenBitViewsInTheirOwnForm) {
    CResizeBox box;
    Place(box, 200, 100, 20, 10, 120, 60);
    for (int dragging : {1, 0}) {
        box.m_bDragging = dragging;
        QImage wide = ui::NewImage(300, 100, 0xFF000000);
        QImage narrow(300, 100, QImage::Format_RGB16);
        narrow.fill(0);
        box.Draw(wide, 3, 0, 2.0f);
        box.Draw(narrow, 3, 0, 2.0f);
        // Drawn in place, pixel for pixel where the 32-bit view gets its outline and squares.
        ASSERT_EQ(narrow.format(), QImage::Format_RGB16);
        EXPECT_EQ(narrow, wide.convertToFormat(QImage::Format_RGB16)) << dragging;
        auto word = [&](int x, int y) {
            return reinterpret_cast<const uint16_t*>(narrow.constScanLine(y))[x];
        };
        EXPECT_EQ(word(27, 5), dragging ? 0xF800 : 0xFFE0);  // top edge
        EXPECT_EQ(word(57, 20), dragging ? 0xF800 : 0xFFE0); // right edge
        EXPECT_EQ(word(7, 5), 0xFFE0);                       // a corner square
        EXPECT_EQ(word(32, 20), 0);                          // inside stays as it was
    }
}

TEST(CropBox, DrawIgnoresAZoomWithoutViewPositions) {
    CResizeBox box;
    box.Init(300, 200);
    QImage view = ui::NewImage(100, 100, 0xFF000000);
    box.Draw(view, 0, 0, 0.0f);
    box.Draw(view, 0, 0, -1.0f);
    EXPECT_EQ(At(view, 0, 0), kBlack);
    box.Draw(view, 0, 0, 1e-30f); // far outside the view: nothing inside it is drawn
    EXPECT_EQ(At(view, 50, 50), kBlack);
}
