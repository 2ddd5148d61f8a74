// A completed strip is straightened along its line before its file is written: the line found
// in the canvas reaches the frame record. (The program's strip length never completes a strip;
// these tests give it one that does.)
#include "engine/bitmaps.h"
#include "engine/registration.h"
#include "tests/support/engine_records.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

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
        stillo_test::EngineRecords r(kRows, kCols, stillo_test::ProgramSettings(kRows, kCols));
        ASSERT_EQ(r.ok, 1);
        const stillo_test::TempDir dir("straighten");
        const std::string prefix = dir.File("strip-");
        std::snprintf(r.settings.szStripPrefix, sizeof r.settings.szStripPrefix, "%s",
                      prefix.c_str());
        r.settings.nDirection = c.direction;
        uint8_t** rows = CurrentCanvasRows(r.canvas);
        for (int s = 0; s < r.canvas.nRows; ++s) {
            for (int x = 0; x < r.canvas.nCols; ++x) {
                const uint8_t grey = c.bright(s, x) ? 200 : 60;
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

        // A negative length reads as a strip far wider than the canvas; the straightener is
        // held to the canvas's columns.
        r.canvas.nStripLength = -1;
        EXPECT_EQ(RegisterFrame(&r.canvas, &r.frame, &r.settings, &r.tables, 1), 1);
        EXPECT_NEAR(r.frame.fLineSlope, c.slope, 0.01);
        EXPECT_NEAR(r.frame.fLineIntercept, c.intercept, 1.5);
        EXPECT_TRUE(std::filesystem::exists(prefix + std::to_string(c.direction) + "0.jpg"));
    }
}
