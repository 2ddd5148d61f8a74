// Frame registration: the search window, its re-search, the radius rule and the tracker.
#include "engine/bitmaps.h"
#include "engine/registration.h"
#include "tests/support/engine_records.h"
#include "tests/support/temp_dir.h"
#include "tests/support/texture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100;
constexpr int kCols = 160;

// Packed maps cut from one large feature texture: the previous map at one offset, the current
// at another, so the true shift is known. A current pixel (x, y) matches the previous pixel
// (x - dx, y - dy).
class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(r.ok, 1);
        // Disks of 10 to 25 pixels: the score then rises towards the true shift, so a search
        // whose window misses the truth stops on the window's nearer edge.
        const stillo_test::Texture disks =
            stillo_test::DiskTexture(kTexCols, kTexRows, 11, {90, 10, 25});
        texture.assign(kTexRows, std::vector<uint8_t>(kTexCols));
        for (int y = 0; y < kTexRows; ++y) {
            for (int x = 0; x < kTexCols; ++x) {
                texture[y][x] = disks.At(x, y) == stillo_test::kTextureGround ? 0 : 255;
            }
        }
        r.frame.nReducedRows = kRows;
        r.frame.nReducedCols = kCols;
    }

    void Cut(int ox, int oy, IMAGE2D mask, uint16_t* counts) {
        for (int y = 0; y < kRows; ++y) {
            for (int x = 0; x < kCols; ++x) {
                image[y][x] = texture[kOrigin + oy + y][kOrigin + ox + x];
            }
        }
        PackBitRows(image.get(), kRows, kCols, mask, counts, &r.frame.nMaskRows,
                    &r.frame.nMaskWords);
    }
    // The camera moves so that the current frame shows the texture shifted by (dx, dy).
    int Step(int dx, int dy, int frameIndex) {
        Cut(ox, oy, r.frame.ppPrevMask, r.frame.pPrevCounts);
        ox -= dx;
        oy -= dy;
        Cut(ox, oy, r.frame.ppCurMask, r.frame.pCurCounts);
        return RegisterFrame(&r.canvas, &r.frame, &r.settings, &r.tables, frameIndex);
    }

    static constexpr int kTexRows = 400;
    static constexpr int kTexCols = 500;
    static constexpr int kOrigin = 150;
    stillo_test::EngineRecords r{kRows, kCols, stillo_test::ProgramSettings(kRows, kCols)};
    std::vector<std::vector<uint8_t>> texture;
    RowImage image{kRows, kCols};
    int ox = 0;
    int oy = 0;
};

} // namespace

TEST_F(Registration, FirstFrameMeasuresTheShiftAndMovesThePosition) {
    ASSERT_EQ(Step(25, -12, 1), 0);
    const MOSAIC_FRAME& f = r.frame;
    EXPECT_EQ(f.nLastDx, 25);
    EXPECT_EQ(f.nLastDy, -12);
    EXPECT_EQ(f.nPosX, -25);
    EXPECT_EQ(f.nPosY, -12);
    EXPECT_EQ(f.nStripFrames, 1);
    EXPECT_EQ(f.nFirstFrameIndex, 1);
    EXPECT_EQ(f.nLastFrameIndex, 1);
    EXPECT_EQ(f.pErrRingX[0], 0);
    EXPECT_EQ(f.pErrRingY[0], 0);
    EXPECT_EQ(f.nRingIndex, 1);
    EXPECT_EQ(f.nRadiusX, 40); // the early floor 40 / 1
    EXPECT_EQ(f.nRadiusY, 40);
    EXPECT_FLOAT_EQ(f.fEstX, 20.0f); // 0 + 0.8 * 25
    EXPECT_FLOAT_EQ(f.fEstY, -9.6f);
    EXPECT_EQ(f.fVelX, 0.0f); // the default predictor keeps no velocity
}

TEST_F(Registration, AResultOnTheWindowsEdgeIsSearchedAgainFurtherOut) {
    // -45 lies beyond the first window's -30: the search stops on -30, the window moves to
    // -60 .. 15 and the second search finds it. The error is then taken against the previous
    // measured shift (0).
    ASSERT_EQ(Step(-45, 0, 1), 0);
    const MOSAIC_FRAME& f = r.frame;
    EXPECT_EQ(f.nLastDx, -45);
    EXPECT_EQ(f.nLastDy, 0);
    EXPECT_EQ(f.pErrRingX[0], 45);
    EXPECT_EQ(f.nRadiusX, 67); // 45 * 6 / 4
    EXPECT_EQ(f.nRadiusY, 40);
    EXPECT_EQ(f.nPosX, 45);

    // Downwards too, on the other bound: 36 is beyond +30.
    ASSERT_EQ(Step(0, 36, 2), 0);
    EXPECT_EQ(r.frame.nLastDy, 36);
}

TEST_F(Registration, WindowsReachHalfTheMapAlongEachAxis) {
    // The map is 160 columns by 100 rows: a window reaches 80 along the rows and 50 across them.
    // The tracker expects about (-56, 50): along the rows -58 is found, across them the search
    // stops on the bound at 50.
    r.frame.fEstX = -56.0f;
    r.frame.fEstY = 50.0f;
    r.frame.nRadiusX = r.frame.nRadiusY = 8;
    ASSERT_EQ(Step(-58, 52, 9), 0);
    EXPECT_EQ(r.frame.nLastDx, -58);
    EXPECT_EQ(r.frame.nLastDy, 50);
}

TEST_F(Registration, RadiiFollowTheErrorsWithEarlyFloors) {
    const int expected[] = {40, 20, 13, 10, 8, 2, 2};
    for (int i = 1; i <= 7; ++i) {
        ASSERT_EQ(Step(0, 0, i), 0);
        EXPECT_EQ(r.frame.nRadiusX, expected[i - 1]) << "frame " << i;
        EXPECT_EQ(r.frame.nRadiusY, expected[i - 1]) << "frame " << i;
        EXPECT_EQ(r.frame.nRingIndex, i % 5) << "frame " << i;
    }
    // An error of one pixel gives radius 1 (6 / 4), tighter than the 2 of no error.
    ASSERT_EQ(Step(1, 0, 8), 0);
    EXPECT_EQ(r.frame.nLastDx, 1);
    EXPECT_EQ(r.frame.nRadiusX, 1);
    EXPECT_EQ(r.frame.nRadiusY, 2);
    EXPECT_EQ(r.frame.nPosX, -1);
}

TEST_F(Registration, PredictionsRoundHalvesDown) {
    for (int i = 1; i <= 6; ++i) {
        ASSERT_EQ(Step(0, 0, i), 0);
    }
    // The window centre is round(2.5) = 2: a true shift of 2 has no error.
    r.frame.fEstX = 2.5f;
    r.frame.fEstY = -2.5f; // rounds to -3
    const int ring = r.frame.nRingIndex;
    ASSERT_EQ(Step(2, -3, 7), 0);
    EXPECT_EQ(r.frame.pErrRingX[ring], 0);
    EXPECT_EQ(r.frame.pErrRingY[ring], 0);
    EXPECT_EQ(r.frame.nLastDx, 2);
    EXPECT_EQ(r.frame.nLastDy, -3);
}

TEST_F(Registration, VelocityPredictorLeadsTheWindow) {
    r.settings.nPredictor = 0;
    ASSERT_EQ(Step(10, 0, 1), 0);
    EXPECT_FLOAT_EQ(r.frame.fEstX, 8.0f);
    EXPECT_FLOAT_EQ(r.frame.fVelX, 7.0f); // 0.7 * 10
    ASSERT_EQ(Step(10, 0, 2), 0);
    EXPECT_FLOAT_EQ(r.frame.fPredX, 15.0f);
    EXPECT_EQ(r.frame.pErrRingX[1], 5);
    EXPECT_EQ(r.frame.nLastDx, 10);
}

TEST_F(Registration, AFrameThatCannotBePaintedIsReportedNotDropped) {
    r.settings.fBrushFactor = 1.0f;
    r.frame.bExtendStrip = 1;
    r.canvas.nGrowStep = INT_MAX / 2; // no growth step can be made
    EXPECT_EQ(Step(3, 0, 1), kRegisterFailed);
    EXPECT_EQ(r.canvas.nRows, 200);
    EXPECT_EQ(r.canvas.nCols, 300);
}

TEST_F(Registration, PaintingOffOnlyTracks) {
    r.settings.bPaint = 0;
    r.canvas.nGrowStep = INT_MAX / 2; // would fail if anything were painted
    EXPECT_EQ(Step(4, 1, 1), 0);
    EXPECT_EQ(r.frame.nPosX, -4);
    EXPECT_EQ(r.frame.nPosY, 1);
}

TEST_F(Registration, AFinishedStripWritesItsCountersAndStartsAClearCanvas) {
    // The program's strip length (400) never finishes a strip; a length of 0 does at once.
    const stillo_test::TempDir dir;
    const std::string prefix = dir.File("strip-");
    std::snprintf(r.settings.szStripPrefix, sizeof r.settings.szStripPrefix, "%s", prefix.c_str());
    ASSERT_EQ(Step(-5, 0, 1), 0); // moves right: painted
    r.canvas.nStripLength = 0;
    r.frame.fEstY = 0;
    ASSERT_EQ(Step(-5, 2, 2), 1);
    EXPECT_EQ(r.canvas.nStripNumber, -1);
    EXPECT_EQ(r.frame.nStripFrames, 0);
    EXPECT_EQ(r.frame.fPrevStripEnd, 2.0f);
    EXPECT_EQ(r.frame.nPosY, 0);
    EXPECT_EQ(r.canvas.bRowsACurrent, 1);
    // Position 10 is above 0 for direction 0: back to the origin, nothing painted.
    EXPECT_EQ(r.frame.nPosX, 0);
    uint8_t** rows = CurrentCanvasRows(r.canvas);
    long painted = 0;
    for (int row = 0; row < r.canvas.nRows; ++row) {
        for (int b = 0; b < r.canvas.nCols * 3; ++b) {
            painted += rows[row][b] != 0;
        }
    }
    EXPECT_EQ(painted, 0);

    const std::string name = prefix + "00.jpg";
    std::FILE* file = std::fopen(name.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    int32_t counters[4] = {};
    EXPECT_EQ(std::fread(counters, sizeof(int32_t), 4, file), 3u);
    std::fclose(file);
    std::remove(name.c_str());
    EXPECT_EQ(counters[0], 2); // frames of the strip
    EXPECT_EQ(counters[1], 1); // first frame index
    EXPECT_EQ(counters[2], 2); // last frame index

    // A strip file that cannot be written stops the run instead of ending the process.
    std::snprintf(r.settings.szStripPrefix, sizeof r.settings.szStripPrefix, "%s",
                  "/no-such-folder/strip");
    EXPECT_EQ(Step(0, 0, 3), kRegisterFailed);
}
