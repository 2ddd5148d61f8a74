// A completed strip is straightened along its line before its file is written: the line found
// in the canvas reaches the frame record. (The program's strip length never completes a strip;
// these tests give it one that does.)
#include "engine/bitmaps.h"
#include "engine/canvas.h"
#include "engine/registration.h"
#include "engine/straighten.h"
#include "tests/support/engine_records.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr int kRows = 100;
constexpr int kCols = 160;

using Straightener = int (*)(IMAGE2D, IMAGE2D, uint16_t, uint16_t, int, int, int, int, int, float*,
                             float*, int, const MOSAIC_SETTINGS*);

struct Case {
    const char* name;
    int direction;
    Straightener straighten;
    std::function<bool(int, int)> bright; // at canvas storage row s, column x
    float slope;
    float intercept;
};

} // namespace

TEST(StripCompletion, StraightensTheStripAlongTheCanvassLine) {
    const Case cases[] = {
        {"single line", 0, StraightenStripOnLine, [](int s, int x) { return s >= 0.2 * x + 90.3; },
         0.2f, 90.3f},
        {"single line, reverse", 1, StraightenStripOnLineReverse,
         [](int s, int x) { return s < -0.1 * x + 120.4; }, -0.1f, 120.4f},
        // Edges of opposite slopes: the record receives their middle line, which no single
        // line fitted to the picture would be.
        {"line pair", 2, StraightenStripOnLinePair,
         [](int s, int x) { return s >= 0.1 * x + 50.2 && s < -0.1 * x + 150.3; }, 0.0f, 100.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stillo_test::EngineRecords r(kRows, kCols, stillo_test::ProgramSettings(kRows, kCols));
        ASSERT_EQ(r.ok, 1);
        const stillo_test::TempDir dir("straighten");
        const std::string prefix = dir.File("strip-");
        std::snprintf(r.settings.szStripPrefix, sizeof r.settings.szStripPrefix, "%s",
                      prefix.c_str());
        r.settings.nDirection = c.direction;
        // A growth step at the top: the canvas now lies in ppRowsB, and ppRowsA is gone.
        ASSERT_EQ(GrowCanvasToFit(r.canvas.nTop, 150, &r.canvas), 1);
        ASSERT_EQ(r.canvas.bRowsBCurrent, 1);
        uint8_t** rows = CurrentCanvasRows(r.canvas);
        for (int s = 0; s < r.canvas.nRows; ++s) {
            for (int x = 0; x < r.canvas.nCols; ++x) {
                // Faint edges, from a little below to a little above the edge threshold.
                const int contrast = 13 + 6 * x / r.canvas.nCols;
                const auto grey = static_cast<uint8_t>(c.bright(s, x) ? 60 + contrast : 60);
                rows[s][3 * x] = rows[s][3 * x + 1] = rows[s][3 * x + 2] = grey;
            }
        }
        // Empty feature maps: no shift is measured.
        RowImage empty(kRows, kCols);
        PackBitRows(empty.get(), kRows, kCols, r.frame.ppPrevMask, r.frame.pPrevCounts,
                    &r.frame.nMaskRows, &r.frame.nMaskWords);
        PackBitRows(empty.get(), kRows, kCols, r.frame.ppCurMask, r.frame.pCurCounts,
                    &r.frame.nMaskRows, &r.frame.nMaskWords);
        r.frame.nReducedRows = kRows;
        r.frame.nReducedCols = kCols;

        // The line the straightener finds in this canvas with the strip's picture halved, the
        // edge window 31 and the edge threshold 15.
        const auto canvasRows = static_cast<uint16_t>(r.canvas.nRows);
        const auto canvasCols = static_cast<uint16_t>(r.canvas.nCols);
        RowImage strip(canvasRows, 3 * canvasCols);
        float slope = 0.0f;
        float intercept = 0.0f;
        ASSERT_EQ(c.straighten(rows, strip.get(), canvasRows, canvasCols, 2, 31, 15, 0, 0, &slope,
                               &intercept, 0, &r.settings),
                  1);

        // A negative length reads as a strip far wider than the canvas; the straightener is
        // held to the canvas's columns.
        r.canvas.nStripLength = -1;
        EXPECT_EQ(RegisterFrame(&r.canvas, &r.frame, &r.settings, &r.tables, 1), 1);
        EXPECT_EQ(r.frame.fLineSlope, slope);
        EXPECT_EQ(r.frame.fLineIntercept, intercept);
        EXPECT_NEAR(slope, c.slope, 0.01);
        EXPECT_NEAR(intercept, c.intercept, 1.5);
        EXPECT_TRUE(std::filesystem::exists(prefix + std::to_string(c.direction) + "0.jpg"));
        // The next strip starts on a clear canvas (what the frame painted then is black).
        rows = CurrentCanvasRows(r.canvas);
        for (int s = 0; s < r.canvas.nRows; ++s) {
            ASSERT_TRUE(std::all_of(rows[s], rows[s] + 3 * r.canvas.nCols,
                                    [](uint8_t v) { return v == 0; }));
        }
    }
}
