// Strip painting into the canvas and the canvas's growth.
#include "engine/canvas.h"
#include "engine/canvas_mutex.h"
#include "tests/support/engine_records.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace {

// A canvas as a run starts it: 200 x 300, y from -100 to 99, x from 0 to 299.
struct Canvas {
    stillo_test::EngineRecords run;
    MOSAIC_PARAMS& p = run.canvas;
    explicit Canvas(int bytesPerPixel = 3)
        : run(1, 1, stillo_test::ProgramSettings(1, 1), bytesPerPixel) {
        EXPECT_EQ(run.ok, 1);
    }

    bool Inside(int x, int y) const {
        return x >= p.nLeft && x <= p.nRight && y >= p.nTop && y <= p.nBottom;
    }
    // The pixel at mosaic point (x, y).
    uint8_t* At(int x, int y) {
        return CurrentCanvasRows(p)[p.nRows - 1 - (y - p.nTop)] +
               static_cast<size_t>(x - p.nLeft) * p.nBytesPerPixel;
    }
    std::array<uint8_t, 3> Rgb(int x, int y) {
        const uint8_t* px = At(x, y);
        return {px[0], px[1], px[2]};
    }
};

// A frame record with colour rows whose every pixel tells where it came from, never black.
struct Frame {
    MOSAIC_FRAME f{};
    int rows;
    int cols;
    IMAGE2D features;
    Frame(int r, int c) : rows(r), cols(c) {
        f.ppColourRows = AllocImage2D(rows, ColourRowBytes(cols));
        features = AllocImage2D(rows, cols);
        for (int i = 0; i < rows; ++i) {
            for (int k = 0; k < cols; ++k) {
                const auto c3 = Colour(i, k);
                std::memcpy(f.ppColourRows[i] + 3 * k, c3.data(), 3);
            }
        }
    }
    ~Frame() {
        FreeImage2D(f.ppColourRows, rows);
        FreeImage2D(features, rows);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    static std::array<uint8_t, 3> Colour(int r, int k) {
        return {static_cast<uint8_t>(1 + r % 251), static_cast<uint8_t>(1 + k % 253),
                static_cast<uint8_t>(1 + (r * 7 + k) % 250)};
    }
};

MOSAIC_SETTINGS Settings() {
    MOSAIC_SETTINGS s{};
    s.nReduction = 1;
    s.bPaint = 1;
    return s;
}

void ExpectConsistent(const MOSAIC_PARAMS& p) {
    EXPECT_EQ(p.nRows, p.nBottom - p.nTop + 1);
    EXPECT_EQ(p.nCols, p.nRight - p.nLeft + 1);
    EXPECT_NE(p.bRowsACurrent == 1, p.bRowsBCurrent == 1);
}

} // namespace

TEST(CanvasPainting, WholeFrameAtTheOriginGrowsOnEverySideItReaches) {
    Canvas canvas;
    Frame frame(554, 681);
    frame.f.bExtendStrip = 1;
    const MOSAIC_SETTINGS s = Settings();
    ASSERT_EQ(PaintStrip(&canvas.p, &frame.f, frame.features, 554, 681, 0, 0, 0, 554, &s), 1);

    EXPECT_EQ(canvas.p.nRows, 600);
    EXPECT_EQ(canvas.p.nCols, 800);
    EXPECT_EQ(canvas.p.nTop, -300);
    EXPECT_EQ(canvas.p.nBottom, 299);
    EXPECT_EQ(canvas.p.nLeft, -400);
    EXPECT_EQ(canvas.p.nRight, 399);
    ExpectConsistent(canvas.p);

    // Rows 0..552 are painted (the top row is not): y = 277 - r from 277 down to -275, and
    // every column, x = k - 340. Everything else stays black.
    for (int y = canvas.p.nTop; y <= canvas.p.nBottom; ++y) {
        for (int x = canvas.p.nLeft; x <= canvas.p.nRight; ++x) {
            const int r = 277 - y;
            const int k = x + 340;
            const bool painted = r >= 0 && r <= 552 && k >= 0 && k < 681;
            const auto expected = painted ? Frame::Colour(r, k) : std::array<uint8_t, 3>{0, 0, 0};
            ASSERT_EQ(canvas.Rgb(x, y), expected) << "x " << x << " y " << y;
        }
    }
}

TEST(CanvasPainting, RowBandsGrowOnTheTopEdgeAndColumnBandsPaintThere) {
    // A 9-row frame whose row-band row r = 4 (the centre) lands on y = posY: posY = nTop.
    {
        Canvas canvas;
        Frame frame(9, 20);
        const MOSAIC_SETTINGS s = Settings();
        // Width 2 at angle 0: rows hr - 1 .. hr, i.e. y = posY + 1 and posY.
        ASSERT_EQ(PaintStrip(&canvas.p, &frame.f, frame.features, 9, 20, 150, -100, 0, 2, &s), 1);
        EXPECT_EQ(canvas.p.nTop, -200);
        EXPECT_EQ(canvas.p.nRows, 300);
        EXPECT_EQ(canvas.Rgb(150, -100), Frame::Colour(4, 10));
    }
    {
        Canvas canvas;
        Frame frame(9, 20);
        const MOSAIC_SETTINGS s = Settings();
        // Column bands paint rows 0..4 (rows - 4), y = posY + 4 - r; r = 4 lies on nTop.
        ASSERT_EQ(PaintStrip(&canvas.p, &frame.f, frame.features, 9, 20, 150, -100, 270, 4, &s), 1);
        EXPECT_EQ(canvas.p.nTop, -100);
        EXPECT_EQ(canvas.p.nRows, 200);
        EXPECT_EQ(canvas.Rgb(150, -100), Frame::Colour(4, 10));
    }
}

TEST(CanvasPainting, BandsLeaveTheFramesTopRowsAndLastColumnUnpainted) {
    Canvas canvas;
    Frame frame(20, 30);
    frame.f.bExtendStrip = 1;
    const MOSAIC_SETTINGS s = Settings();
    // Angle 90 extended: columns hc - h .. cols - 2, rows 0 .. rows - 5.
    ASSERT_EQ(PaintStrip(&canvas.p, &frame.f, frame.features, 20, 30, 100, 0, 90, 4, &s), 1);
    const int hr = 10;
    const int hc = 15;
    for (int r = 0; r < 20; ++r) {
        for (int k = 0; k < 30; ++k) {
            const int x = 100 + k - hc;
            const int y = hr - r;
            const bool painted = r < 16 && k >= hc - 2 && k <= 28;
            EXPECT_EQ(canvas.Rgb(x, y) != (std::array<uint8_t, 3>{0, 0, 0}), painted)
                << "r " << r << " k " << k;
        }
    }
    // Angle 270 extended, thin: columns 0 .. hc + h - 1.
    Canvas other;
    ASSERT_EQ(PaintStrip(&other.p, &frame.f, frame.features, 20, 30, 100, 0, -90, 4, &s), 1);
    EXPECT_EQ(other.Rgb(100 - hc, hr), Frame::Colour(0, 0));
    EXPECT_EQ(other.Rgb(100 + 1, hr), Frame::Colour(0, hc + 1));
    EXPECT_EQ(other.Rgb(100 + 2, hr), (std::array<uint8_t, 3>{0, 0, 0}));
}

TEST(CanvasPainting, FrameStripFollowsTheMainMotionAndTheBrush) {
    Canvas canvas;
    Frame frame(40, 60);
    MOSAIC_SETTINGS s = Settings();
    frame.f.fEstX = -3.0f;
    frame.f.fEstY = 1.0f;
    frame.f.nPosX = 120;
    frame.f.nPosY = 5;
    // Motion along rows, dx = -3 < 0: angle 90, width 2*3 + 2 = 8: columns 26..33.
    ASSERT_EQ(PaintFrameStrip(&canvas.p, &frame.f, frame.features, 40, 60, -3, 1, &s), 1);
    EXPECT_EQ(canvas.p.nCurrentX, 120);
    EXPECT_EQ(canvas.p.nCurrentY, -5);
    const int y = 5 + 20 - 10; // row r = 10
    EXPECT_EQ(canvas.Rgb(120 + 26 - 30, y), Frame::Colour(10, 26));
    EXPECT_EQ(canvas.Rgb(120 + 33 - 30, y), Frame::Colour(10, 33));
    EXPECT_EQ(canvas.Rgb(120 + 25 - 30, y), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(canvas.Rgb(120 + 34 - 30, y), (std::array<uint8_t, 3>{0, 0, 0}));

    // Painting off: nothing happens.
    Canvas off;
    s.bPaint = 0;
    ASSERT_EQ(PaintFrameStrip(&off.p, &frame.f, frame.features, 40, 60, -3, 1, &s), 1);
    EXPECT_EQ(off.p.nCurrentX, 0);
    EXPECT_EQ(off.Rgb(120 + 26 - 30, y), (std::array<uint8_t, 3>{0, 0, 0}));

    // Motion across rows with a brush factor: angle 0, width trunc(40 * 0.5) = 20.
    Canvas across;
    s.bPaint = 1;
    s.fBrushFactor = 0.5f;
    frame.f.fEstX = 0.5f;
    frame.f.fEstY = 2.0f;
    ASSERT_EQ(PaintFrameStrip(&across.p, &frame.f, frame.features, 40, 60, 0, 2, &s), 1);
    EXPECT_EQ(across.Rgb(120 - 30, 5 + 20 - 10), Frame::Colour(10, 0));
    EXPECT_EQ(across.Rgb(120 - 30, 5 + 20 - 29), Frame::Colour(29, 0));
    EXPECT_EQ(across.Rgb(120 - 30, 5 + 20 - 30), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(across.Rgb(120 - 30, 5 + 20 - 9), (std::array<uint8_t, 3>{0, 0, 0}));
}

TEST(CanvasPixels, BlendCopiesOntoBlackAndAveragesOntoPaint) {
    Canvas canvas;
    MOSAIC_SETTINGS s = Settings();
    s.bBlend = 1;
    uint8_t first[3] = {200, 10, 0};
    uint8_t second[3] = {101, 11, 255};
    uint8_t* rowA[1] = {first};
    uint8_t* rowB[1] = {second};
    uint8_t feature[1] = {0};
    uint8_t* features[1] = {feature};
    PutCanvasPixel(&canvas.p, features, rowA, 0, 0, 5, 7, &s);
    EXPECT_EQ(canvas.Rgb(7, 5), (std::array<uint8_t, 3>{200, 10, 0}));
    PutCanvasPixel(&canvas.p, features, rowB, 0, 0, 5, 7, &s);
    EXPECT_EQ(canvas.Rgb(7, 5), (std::array<uint8_t, 3>{150, 10, 127}));

    // Without blend the new pixel replaces the old one.
    s.bBlend = 0;
    PutCanvasPixel(&canvas.p, features, rowA, 0, 0, 5, 7, &s);
    EXPECT_EQ(canvas.Rgb(7, 5), (std::array<uint8_t, 3>{200, 10, 0}));

    // The feature overlay paints feature pixels white and copies the others, blend or not.
    s.bShowFeatures = 1;
    s.bBlend = 1;
    feature[0] = 255;
    PutCanvasPixel(&canvas.p, features, rowB, 0, 0, 5, 7, &s);
    EXPECT_EQ(canvas.Rgb(7, 5), (std::array<uint8_t, 3>{255, 255, 255}));
    feature[0] = 0;
    PutCanvasPixel(&canvas.p, features, rowB, 0, 0, 5, 7, &s);
    EXPECT_EQ(canvas.Rgb(7, 5), (std::array<uint8_t, 3>{101, 11, 255}));
}

TEST(CanvasPixels, ReductionSamplesEveryNthColourPixel) {
    Canvas canvas;
    Frame frame(8, 8);
    MOSAIC_SETTINGS s = Settings();
    s.nReduction = 2;
    PutCanvasPixel(&canvas.p, frame.features, frame.f.ppColourRows, 1, 3, 0, 0, &s);
    EXPECT_EQ(canvas.Rgb(0, 0), Frame::Colour(2, 6));
}

TEST(CanvasPixels, SixteenBitBlendAveragesEachField) {
    Canvas canvas(2);
    MOSAIC_SETTINGS s = Settings();
    s.bBlend = 1;
    auto put = [&](uint16_t word) {
        uint8_t src[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
        uint8_t* rows[1] = {src};
        PutCanvasPixel(&canvas.p, rows, rows, 0, 0, 0, 0, &s);
        const uint8_t* px = canvas.At(0, 0);
        return static_cast<uint16_t>(px[0] | (px[1] << 8));
    };
    EXPECT_EQ(put(0x0A5F), 0x0A5F); // onto black: a copy
    EXPECT_EQ(put(0x0A5F), 0x0A5F); // equal fields average to themselves
    // Fields (0, 0, 15) onto (10, 5, 15): 5, 2, 15.
    EXPECT_EQ(put(0x000F), 0x052F);
}

TEST(CanvasGrowth, EachSideKeepsThePaintedPixelsInPlace) {
    Canvas canvas;
    const std::array<std::array<int, 2>, 4> marks{{{0, -100}, {299, 99}, {150, 0}, {10, 98}}};
    for (size_t i = 0; i < marks.size(); ++i) {
        canvas.At(marks[i][0], marks[i][1])[0] = static_cast<uint8_t>(i + 1);
    }
    // One call on a corner beyond the canvas grows two sides by one step each.
    ASSERT_EQ(GrowCanvasToFit(-150, -20, &canvas.p), 1);
    EXPECT_EQ(canvas.p.nTop, -200);
    EXPECT_EQ(canvas.p.nLeft, -100);
    EXPECT_EQ(canvas.p.nBottom, 99);
    EXPECT_EQ(canvas.p.nRight, 299);
    ASSERT_EQ(GrowCanvasToFit(99, 299, &canvas.p), 1); // on the edges: grows there
    EXPECT_EQ(canvas.p.nBottom, 199);
    EXPECT_EQ(canvas.p.nRight, 399);
    ExpectConsistent(canvas.p);
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(canvas.At(marks[i][0], marks[i][1])[0], i + 1);
    }
    EXPECT_EQ(canvas.Rgb(-100, -200), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(canvas.Rgb(399, 199), (std::array<uint8_t, 3>{0, 0, 0}));
}

TEST(CanvasGrowth, AGrowthThatCannotBeMadeLeavesTheCanvasAsItWas) {
    Canvas canvas;
    canvas.At(5, 5)[1] = 77;
    canvas.p.nGrowStep = INT_MAX / 2; // far beyond what the sizes can address
    uint8_t** rows = canvas.p.ppRowsA;
    EXPECT_EQ(GrowCanvasToFit(-150, 5, &canvas.p), 0);
    EXPECT_EQ(canvas.p.nTop, -100);
    EXPECT_EQ(canvas.p.nRows, 200);
    EXPECT_EQ(canvas.p.bRowsACurrent, 1);
    EXPECT_EQ(canvas.p.ppRowsA, rows);
    EXPECT_EQ(GrowCanvasToFit(5, 400, &canvas.p), 0);
    EXPECT_EQ(canvas.p.nRight, 299);
    EXPECT_EQ(canvas.p.nCols, 300);
    EXPECT_EQ(canvas.At(5, 5)[1], 77);

    // Painting stops with the failure instead of going on quietly.
    Frame frame(554, 681);
    const MOSAIC_SETTINGS s = Settings();
    EXPECT_EQ(PaintStrip(&canvas.p, &frame.f, frame.features, 554, 681, 0, 0, 0, 554, &s), 0);
    EXPECT_EQ(canvas.p.nRows, 200);
    frame.f.fEstY = 1.0f;
    EXPECT_EQ(PaintFrameStrip(&canvas.p, &frame.f, frame.features, 554, 681, 0, 400, &s), 0);
}

TEST(CanvasGrowth, GrowthWaitsForTheCanvasMutex) {
    Canvas canvas;
    std::unique_lock<std::recursive_mutex> held(g_hCanvasMutex);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        GrowCanvasToFit(500, 5, &canvas.p);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load());
    EXPECT_EQ(canvas.p.nRows, 200);
    held.unlock();
    worker.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(canvas.p.nBottom, 199);
}
