// A completed strip is straightened along its line before its file is written: the line found
// in the canvas reaches the frame record. (The program's strip length never completes a strip;
// these tests give it one that does.)
#include "Mosaicer.h"
#include "engine/bitmaps.h"
#include "engine/registration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 100;
constexpr int kCols = 160;

struct Case {
    const char* name;
    int direction;
    std::function<bool(int, int)> bright; // at canvas storage row s, column x
    float slope;
    float intercept;
};

} // namespace

TEST(StripCompletion, StraightensTheStripAlongTheCanvassLine) {
    const Case cases[] = {
        {"single line", 0, [](int s, int x) { return s >= 0.2 * x + 90.3; }, 0.2f, 90.3f},
        {"single line, reverse", 1, [](int s, int x) { return s < -0.1 * x + 120.4; }, -0.1f,
         120.4f},
        // Edges of opposite slopes: the record receives their middle line, which no single
        // line fitted to the picture would be.
        {"line pair", 2, [](int s, int x) { return s >= 0.1 * x + 50.2 && s < -0.1 * x + 150.3; },
         0.0f, 100.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMosaicer m;
        ASSERT_EQ(m.Init("", kCols, kRows, 0, kRows - 1, 0, kCols - 1, 1000, 0), 1);
        const std::string prefix =
            ::testing::TempDir() + "straighten-" + std::to_string(::getpid()) + "-";
        std::snprintf(m.m_settings.szStripPrefix, sizeof m.m_settings.szStripPrefix, "%s",
                      prefix.c_str());
        m.m_settings.nDirection = c.direction;
        MOSAIC_PARAMS& canvas = m.m_canvas;
        uint8_t** rows = CurrentCanvasRows(canvas);
        for (int s = 0; s < canvas.nRows; ++s) {
            for (int x = 0; x < canvas.nCols; ++x) {
                const uint8_t grey = c.bright(s, x) ? 200 : 60;
                rows[s][3 * x] = rows[s][3 * x + 1] = rows[s][3 * x + 2] = grey;
            }
        }
        // Empty feature maps: no shift is measured.
        IMAGE2D empty = AllocImage2D(kRows, kCols);
        PackBitRows(empty, kRows, kCols, m.m_frame.ppPrevMask, m.m_frame.pPrevCounts,
                    &m.m_frame.nMaskRows, &m.m_frame.nMaskWords);
        PackBitRows(empty, kRows, kCols, m.m_frame.ppCurMask, m.m_frame.pCurCounts,
                    &m.m_frame.nMaskRows, &m.m_frame.nMaskWords);
        FreeImage2D(empty, kRows);
        m.m_frame.nReducedRows = kRows;
        m.m_frame.nReducedCols = kCols;

        // A negative length reads as a strip far wider than the canvas; the straightener is
        // held to the canvas's columns.
        canvas.nStripLength = -1;
        EXPECT_EQ(RegisterFrame(&canvas, &m.m_frame, &m.m_settings, &m.m_tables, 1), 1);
        EXPECT_NEAR(m.m_frame.fLineSlope, c.slope, 0.01);
        EXPECT_NEAR(m.m_frame.fLineIntercept, c.intercept, 1.5);

        const std::string name = prefix + std::to_string(c.direction) + "0.jpg";
        EXPECT_EQ(std::remove(name.c_str()), 0) << name;
    }
}
