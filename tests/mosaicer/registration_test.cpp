// Frame registration: the search window, its re-search, the radius rule and the tracker.
#include "Mosaicer.h"
#include "engine/bitmaps.h"
#include "engine/registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRows = 100;
constexpr int kCols = 160;

// Packed maps cut from one large random feature texture: the previous map at one offset, the
// current at another, so the true shift is known. A current pixel (x, y) matches the
// previous pixel (x - dx, y - dy).
class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m.Init("c:", kCols, kRows, 0, kRows - 1, 0, kCols - 1, 1000, 0), 1);
        // Disks of 10 to 25 pixels: the score then rises towards the true shift, so a search
        // whose window misses the truth stops on the window's nearer edge.
        std::mt19937 rng(11);
        std::uniform_int_distribution<int> row(0, kTexRows - 1);
        std::uniform_int_distribution<int> col(0, kTexCols - 1);
        std::uniform_int_distribution<int> radius(10, 25);
        texture.assign(kTexRows, std::vector<uint8_t>(kTexCols));
        for (int i = 0; i < 90; ++i) {
            const int cy = row(rng);
            const int cx = col(rng);
            const int r = radius(rng);
            for (int y = std::max(0, cy - r); y <= std::min(kTexRows - 1, cy + r); ++y) {
                for (int x = std::max(0, cx - r); x <= std::min(kTexCols - 1, cx + r); ++x) {
                    if ((y - cy) * (y - cy) + (x - cx) * (x - cx) <= r * r) {
                        texture[y][x] = 255;
                    }
                }
            }
        }
        image = AllocImage2D(kRows, kCols);
        m.m_frame.nReducedRows = kRows;
        m.m_frame.nReducedCols = kCols;
    }
    void TearDown() override { FreeImage2D(image, kRows); }

    void Cut(int ox, int oy, IMAGE2D mask, uint16_t* counts) {
        for (int y = 0; y < kRows; ++y) {
            for (int x = 0; x < kCols; ++x) {
                image[y][x] = texture[kOrigin + oy + y][kOrigin + ox + x];
            }
        }
        PackBitRows(image, kRows, kCols, mask, counts, &m.m_frame.nMaskRows, &m.m_frame.nMaskWords);
    }
    // The camera moves so that the current frame shows the texture shifted by (dx, dy).
    int Step(int dx, int dy, int frameIndex) {
        Cut(ox, oy, m.m_frame.ppPrevMask, m.m_frame.pPrevCounts);
        ox -= dx;
        oy -= dy;
        Cut(ox, oy, m.m_frame.ppCurMask, m.m_frame.pCurCounts);
        return RegisterFrame(&m.m_canvas, &m.m_frame, &m.m_settings, &m.m_tables, frameIndex);
    }

    static constexpr int kTexRows = 400;
    static constexpr int kTexCols = 500;
    static constexpr int kOrigin = 150;
    CMosaicer m;
    std::vector<std::vector<uint8_t>> texture;
    IMAGE2D image = nullptr;
    int ox = 0;
    int oy = 0;
};

} // namespace

TEST_F(Registration, FirstFrameMeasuresTheShiftAndMovesThePosition) {
    ASSERT_EQ(Step(25, -12, 1), 0);
    const MOSAIC_FRAME& f = m.m_frame;
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
    const MOSAIC_FRAME& f = m.m_frame;
    EXPECT_EQ(f.nLastDx, -45);
    EXPECT_EQ(f.nLastDy, 0);
    EXPECT_EQ(f.pErrRingX[0], 45);
    EXPECT_EQ(f.nRadiusX, 67); // 45 * 6 / 4
    EXPECT_EQ(f.nRadiusY, 40);
    EXPECT_EQ(f.nPosX, 45);

    // Downwards too, on the other bound: 36 is beyond +30.
    ASSERT_EQ(Step(0, 36, 2), 0);
    EXPECT_EQ(m.m_frame.nLastDy, 36);
}

TEST_F(Registration, RadiiFollowTheErrorsWithEarlyFloors) {
    const int expected[] = {40, 20, 13, 10, 8, 2, 2};
    for (int i = 1; i <= 7; ++i) {
        ASSERT_EQ(Step(0, 0, i), 0);
        EXPECT_EQ(m.m_frame.nRadiusX, expected[i - 1]) << "frame " << i;
        EXPECT_EQ(m.m_frame.nRadiusY, expected[i - 1]) << "frame " << i;
        EXPECT_EQ(m.m_frame.nRingIndex, i % 5) << "frame " << i;
    }
    // An error of one pixel gives radius 1 (6 / 4), tighter than the 2 of no error.
    ASSERT_EQ(Step(1, 0, 8), 0);
    EXPECT_EQ(m.m_frame.nLastDx, 1);
    EXPECT_EQ(m.m_frame.nRadiusX, 1);
    EXPECT_EQ(m.m_frame.nRadiusY, 2);
    EXPECT_EQ(m.m_frame.nPosX, -1);
}

TEST_F(Registration, PredictionsRoundHalvesDown) {
    for (int i = 1; i <= 6; ++i) {
        ASSERT_EQ(Step(0, 0, i), 0);
    }
    // The window centre is round(2.5) = 2: a true shift of 2 has no error.
    m.m_frame.fEstX = 2.5f;
    m.m_frame.fEstY = -2.5f; // rounds to -3
    const int ring = m.m_frame.nRingIndex;
    ASSERT_EQ(Step(2, -3, 7), 0);
    EXPECT_EQ(m.m_frame.pErrRingX[ring], 0);
    EXPECT_EQ(m.m_frame.pErrRingY[ring], 0);
    EXPECT_EQ(m.m_frame.nLastDx, 2);
    EXPECT_EQ(m.m_frame.nLastDy, -3);
}

TEST_F(Registration, VelocityPredictorLeadsTheWindow) {
    m.m_settings.nPredictor = 0;
    ASSERT_EQ(Step(10, 0, 1), 0);
    EXPECT_FLOAT_EQ(m.m_frame.fEstX, 8.0f);
    EXPECT_FLOAT_EQ(m.m_frame.fVelX, 7.0f); // 0.7 * 10
    ASSERT_EQ(Step(10, 0, 2), 0);
    EXPECT_FLOAT_EQ(m.m_frame.fPredX, 15.0f);
    EXPECT_EQ(m.m_frame.pErrRingX[1], 5);
    EXPECT_EQ(m.m_frame.nLastDx, 10);
}

TEST_F(Registration, AFrameThatCannotBePaintedIsReportedNotDropped) {
    m.m_settings.fBrushFactor = 1.0f;
    m.m_frame.bExtendStrip = 1;
    m.m_canvas.nGrowStep = INT_MAX / 2; // no growth step can be made
    EXPECT_EQ(Step(3, 0, 1), kRegisterFailed);
    EXPECT_EQ(m.m_canvas.nRows, 200);
    EXPECT_EQ(m.m_canvas.nCols, 300);

    // Through the owner the failure is told apart from "no strip completed".
    EXPECT_EQ(m.Compose(2), kComposeFailed);
}

TEST_F(Registration, PaintingOffOnlyTracks) {
    m.m_settings.bPaint = 0;
    m.m_canvas.nGrowStep = INT_MAX / 2; // would fail if anything were painted
    EXPECT_EQ(Step(4, 1, 1), 0);
    EXPECT_EQ(m.m_frame.nPosX, -4);
    EXPECT_EQ(m.m_frame.nPosY, 1);
}

TEST_F(Registration, AFinishedStripWritesItsCountersAndStartsAClearCanvas) {
    // The program's strip length (400) never finishes a strip; a length of 0 does at once.
    const std::string prefix = ::testing::TempDir() + "strip-" + std::to_string(::getpid()) + "-";
    std::snprintf(m.m_settings.szStripPrefix, sizeof m.m_settings.szStripPrefix, "%s",
                  prefix.c_str());
    ASSERT_EQ(Step(-5, 0, 1), 0); // moves right: painted
    m.m_canvas.nStripLength = 0;
    m.m_frame.fEstY = 0;
    ASSERT_EQ(Step(-5, 2, 2), 1);
    EXPECT_EQ(m.m_canvas.nStripNumber, -1);
    EXPECT_EQ(m.m_frame.nStripFrames, 0);
    EXPECT_EQ(m.m_frame.fPrevStripEnd, 2.0f);
    EXPECT_EQ(m.m_frame.nPosY, 0);
    EXPECT_EQ(m.m_canvas.bRowsACurrent, 1);
    // Position 10 is above 0 for direction 0: back to the origin, nothing painted.
    EXPECT_EQ(m.m_frame.nPosX, 0);
    uint8_t** rows = CurrentCanvasRows(m.m_canvas);
    long painted = 0;
    for (int r = 0; r < m.m_canvas.nRows; ++r) {
        for (int b = 0; b < m.m_canvas.nCols * 3; ++b) {
            painted += rows[r][b] != 0;
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
    std::snprintf(m.m_settings.szStripPrefix, sizeof m.m_settings.szStripPrefix, "%s",
                  "/no-such-folder/strip");
    EXPECT_EQ(Step(0, 0, 3), kRegisterFailed);
}
