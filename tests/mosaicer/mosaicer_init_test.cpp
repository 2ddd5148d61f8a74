// The engine owner's run set-up and the trim copy of each frame.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"

#include <gtest/gtest.h>

#include <climits>

using stillo_test::FrameBuffer;
using stillo_test::MakeFrame;
using stillo_test::Rgb;

namespace {

// A picture in which every pixel tells where it came from.
Rgb Coded(int x, int yFromTop) {
    return {static_cast<uint8_t>(x * 7 + 3), static_cast<uint8_t>(yFromTop * 5 + 1),
            static_cast<uint8_t>((x + yFromTop) * 3)};
}

} // namespace

TEST(MosaicerSetup, DefaultsMatchTheEngineRecord) {
    CMosaicer m;
    const MOSAIC_SETTINGS& s = m.m_settings;
    EXPECT_EQ(s.nSmoothWindow, 5);
    EXPECT_EQ(s.nReduction, 1);
    EXPECT_EQ(s.nMatcher, 1);
    EXPECT_EQ(s.nPredictor, 1);
    EXPECT_EQ(s.bPaint, 1);
    EXPECT_EQ(s.bShowFeatures, 0);
    EXPECT_EQ(s.bNoPause, 1);
    EXPECT_EQ(s.nFeatureMode, kFeatureRegions);
    EXPECT_EQ(s.nEdgeThreshold, 15);
    EXPECT_FLOAT_EQ(s.fAlpha, 0.8f);
    EXPECT_EQ(s.fBeta, 0.0f); // only an Init sets the velocity gain
    EXPECT_EQ(s.nRowStart, 20);
    EXPECT_EQ(s.nRowEnd, 580);
    EXPECT_EQ(s.nColStart, 20);
    EXPECT_EQ(s.nColEnd, 700);
    EXPECT_EQ(s.nNormWindow, 51);
    EXPECT_EQ(s.bBlend, 0);
    EXPECT_EQ(s.nDirection, 0);
    EXPECT_EQ(s.bThickBrush, 1);
    EXPECT_STREQ(s.szStripPrefix, "");
    EXPECT_EQ(m.m_nWorkCols, 596);
    EXPECT_EQ(m.m_nWorkRows, 720);
    EXPECT_FALSE(m.IsReady());
}

TEST(MosaicerSetup, InitBuildsAFreshCanvasAndFrameImages) {
    CMosaicer m;
    // A window of 681 x 561: colour rows round 2043 up to 2044, mask rows are 86 bytes.
    ASSERT_EQ(m.Init("c:", 720, 576, 5, 565, 20, 700, 100, 0), 1);
    EXPECT_EQ(m.m_nWorkCols, 681);
    EXPECT_EQ(m.m_nWorkRows, 561);
    EXPECT_EQ(ColourRowBytes(681), 2044);
    EXPECT_EQ(MaskRowBytes(681), 86);
    EXPECT_EQ(m.m_frame.nRows, 561);
    EXPECT_EQ(m.m_frame.nCols, 681);

    const MOSAIC_PARAMS& c = m.m_canvas;
    EXPECT_EQ(c.nRows, 200);
    EXPECT_EQ(c.nCols, 300);
    EXPECT_EQ(c.nTop, -100);
    EXPECT_EQ(c.nBottom, 99);
    EXPECT_EQ(c.nLeft, 0);
    EXPECT_EQ(c.nRight, 299);
    EXPECT_EQ(c.bRowsACurrent, 1);
    EXPECT_EQ(c.bRowsBCurrent, 0);
    EXPECT_EQ(c.nGrowStep, 100);
    EXPECT_EQ(c.nStripLength, 400);
    EXPECT_EQ(c.nBytesPerPixel, 3);
    ASSERT_NE(c.ppRowsA, nullptr);
    EXPECT_EQ(c.ppRowsB, nullptr);
    for (int r = 0; r < c.nRows; ++r) {
        for (int k = 0; k < 3 * c.nCols; ++k) {
            ASSERT_EQ(c.ppRowsA[r][k], 0);
        }
    }

    const MOSAIC_FRAME& f = m.m_frame;
    EXPECT_EQ(f.nRadiusX, 25);
    EXPECT_EQ(f.nRadiusY, 10);
    EXPECT_EQ(f.nRingIndex, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.pErrRingX[i], 0);
        EXPECT_EQ(f.pErrRingY[i], 0);
    }
    EXPECT_FLOAT_EQ(m.m_settings.fBeta, 0.7f);
    EXPECT_STREQ(m.m_settings.szStripPrefix, "c:");
    ASSERT_NE(m.m_tables.pGreyDiv, nullptr);
    EXPECT_EQ(m.m_tables.pGreyDiv[767], 255);
    EXPECT_EQ(m.m_tables.pGreyDiv[5], 1);
    ASSERT_NE(m.m_tables.pSmoothDiv, nullptr);
    EXPECT_EQ(m.m_tables.pSmoothDiv[25 * 256 - 1], 255);
    EXPECT_EQ(m.m_tables.pSmoothDiv[24], 0);
    ASSERT_NE(m.m_tables.pBitCount, nullptr);
    EXPECT_EQ(m.m_tables.pBitCount[0], 0);
    EXPECT_EQ(m.m_tables.pBitCount[0xFFFF], 16);
    EXPECT_EQ(m.m_tables.pBitCount[0x8001], 2);
}

TEST(MosaicerSetup, SecondInitReallocatesAndKeepsTheUsersChoices) {
    CMosaicer m;
    ASSERT_EQ(m.Init("c:", 360, 288, 10, 270, 8, 350, 50, 0), 1);
    m.m_settings.fBeta = 0.1f;
    m.SetFeatureMode(kFeatureEdges);
    m.SetBlend(1);
    m.SetThickBrush(0);
    m.m_canvas.nTop = -500; // as if the canvas had grown
    ASSERT_EQ(m.Init("c:", 720, 576, 11, 564, 20, 700, 80, 0), 1);
    EXPECT_EQ(m.m_settings.nFeatureMode, kFeatureEdges);
    EXPECT_EQ(m.m_settings.bBlend, 1);
    EXPECT_EQ(m.m_settings.bThickBrush, 0);
    EXPECT_FLOAT_EQ(m.m_settings.fBeta, 0.7f);
    EXPECT_EQ(m.m_canvas.nTop, -100);
    EXPECT_EQ(m.m_nWorkRows, 554);
    EXPECT_EQ(m.m_nWorkCols, 681);
    EXPECT_EQ(m.m_nRunFrames, 80);
    // The new frame images have the new size: a full copy reaches their last byte.
    const FrameBuffer frame = MakeFrame(720, 576, Coded);
    m.SetFeatureMode(kFeatureRegions); // the copy is under test here, with the default features
    EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
}

TEST(MosaicerSetup, UnusableWindowsAndSizesAreRefusedWithNothingLeft) {
    CMosaicer m;
    struct Case {
        int w, h, rowStart, rowEnd, colStart, colEnd, format;
    };
    const Case bad[] = {
        {720, 576, 0, 576, 0, 719, 0},  // row past the top
        {720, 576, 0, 575, 0, 720, 0},  // column past the right
        {720, 576, -1, 500, 0, 700, 0}, // negative start
        {720, 576, 300, 200, 0, 700, 0},
        {720, 576, 0, 500, 400, 300, 0},
        {720, 576, 0, 500, 0, 14, 0}, // under one 16-pixel word
        {720, 576, 0, 4, 0, 700, 0},  // too few rows
        {0, 576, 0, 500, 0, 0, 0},
        {720, 0, 0, 0, 0, 700, 0},
        {40000, 576, 0, 500, 0, 700, 0},
        {720, 576, 0, 500, 0, 700, 3}, // unknown pixel format
        // Ends whose difference with the start overflows 32 bits.
        {720, 576, 5, INT_MIN, 0, 700, 0},
        {720, 576, 0, 500, 5, INT_MIN, 0},
        {720, 576, INT_MAX, INT_MIN, 0, 700, 0},
    };
    ASSERT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, 10, 0), 1);
    for (const Case& c : bad) {
        EXPECT_EQ(m.Init("c:", c.w, c.h, c.rowStart, c.rowEnd, c.colStart, c.colEnd, 10, c.format),
                  0);
        EXPECT_FALSE(m.IsReady());
        EXPECT_EQ(m.m_canvas.ppRowsA, nullptr);
        EXPECT_EQ(m.m_frame.ppGreyRows, nullptr);
        EXPECT_EQ(m.m_tables.pGreyDiv, nullptr);
    }
    // After a refused Init every per-frame call does nothing.
    const FrameBuffer frame = MakeFrame(360, 288, Coded);
    EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 0);
    EXPECT_EQ(m.NextFrame(), 0);

    // A run needs at least one frame.
    for (const int frames : {0, -1, INT_MIN}) {
        ASSERT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, 10, 0), 1);
        EXPECT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, frames, 0), 0) << frames;
        EXPECT_FALSE(m.IsReady());
    }
    EXPECT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, 1, 0), 1);

    m.m_settings.nDirection = 1;
    EXPECT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, 10, 0), 0);
    m.m_settings.nDirection = 0;
    EXPECT_EQ(m.Init("c:", 360, 288, 0, 287, 0, 359, 10, 0), 1);
}

TEST(MosaicerFrameCopy, AsymmetricTrimLandsBottomUpWithColoursSwapped) {
    const int W = 720, H = 576;
    const int rowStart = 11, rowEnd = 564, colStart = 13, colEnd = 690;
    CMosaicer m;
    ASSERT_EQ(m.Init("c:", W, H, rowStart, rowEnd, colStart, colEnd, 10, 0), 1);
    const FrameBuffer frame = MakeFrame(W, H, Coded);
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);

    for (int i = 0; i <= rowEnd - rowStart; ++i) {
        // Engine row i is the picture's row rowStart + i from the bottom, buffer row H - rowStart -
        // i.
        const int yFromTop = H - 1 - (rowStart + i);
        for (int j = 0; j <= colEnd - colStart; ++j) {
            const Rgb want = Coded(colStart + j, yFromTop);
            const uint8_t* got = m.m_frame.ppColourRows[i] + 3 * j;
            ASSERT_EQ(got[0], want.r) << "row " << i << " col " << j;
            ASSERT_EQ(got[1], want.g);
            ASSERT_EQ(got[2], want.b);
            ASSERT_EQ(m.m_frame.ppGreyRows[i][j], (want.r + want.g + want.b) / 3);
        }
    }
    // Buffer row 565 is engine row 0, buffer row 12 engine row 553.
    EXPECT_EQ(m.m_frame.ppColourRows[0][1], Coded(colStart, 564).g);
    EXPECT_EQ(m.m_frame.ppColourRows[553][1], Coded(colStart, 11).g);
}

TEST(MosaicerFrameCopy, ShortBuffersAreRefused) {
    CMosaicer m;
    ASSERT_EQ(m.Init("c:", 64, 48, 0, 47, 0, 63, 10, 0), 1);
    const FrameBuffer frame = MakeFrame(64, 48, Coded);
    EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size() - 1), 0);
    EXPECT_EQ(m.AddFrame(nullptr, frame.bytes.size()), 0);
    EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    EXPECT_EQ(m.RequiredFrameBytes(), size_t{3} * 64 * 49);
}

TEST(MosaicerFrameCopy, FourByteAndSixteenBitInputs) {
    const int W = 32, H = 16;
    std::vector<uint8_t> bgrx(static_cast<size_t>(4) * W * (H + 1));
    for (size_t i = 0; i < bgrx.size(); ++i) {
        bgrx[i] = static_cast<uint8_t>(i * 13 + 7);
    }
    CMosaicer m;
    ASSERT_EQ(m.Init("c:", W, H, 0, H - 1, 0, W - 1, 10, 1), 1);
    ASSERT_EQ(m.AddFrame(bgrx.data(), bgrx.size()), 1);
    for (int i = 0; i < H; ++i) {
        for (int j = 0; j < W; ++j) {
            const uint8_t* p = bgrx.data() + static_cast<size_t>(4) * (W * (H - i) + j);
            const uint8_t* c = m.m_frame.ppColourRows[i] + 3 * j;
            ASSERT_EQ(c[0], p[2]);
            ASSERT_EQ(c[1], p[1]);
            ASSERT_EQ(c[2], p[0]);
            ASSERT_EQ(m.m_frame.ppGreyRows[i][j], (p[0] + p[1] + p[2]) / 3);
        }
    }

    std::vector<uint8_t> words(static_cast<size_t>(2) * W * (H + 1));
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint8_t>(i * 29 + 1);
    }
    ASSERT_EQ(m.Init("c:", W, H, 0, H - 1, 0, W - 1, 10, 2), 1);
    EXPECT_EQ(m.m_canvas.nBytesPerPixel, 2);
    ASSERT_EQ(m.AddFrame(words.data(), words.size()), 1);
    for (int i = 0; i < H; ++i) {
        for (int j = 0; j < W; ++j) {
            const uint8_t* p = words.data() + static_cast<size_t>(2) * (W * (H - i) + j);
            const unsigned word = p[0] | (p[1] << 8);
            ASSERT_EQ(m.m_frame.ppColourRows[i][2 * j], p[0]);
            ASSERT_EQ(m.m_frame.ppColourRows[i][2 * j + 1], p[1]);
            const unsigned sum = ((word >> 8) & 15) + ((word >> 4) & 15) + (word & 15);
            ASSERT_EQ(m.m_frame.ppGreyRows[i][j], 17 * sum / 3);
        }
    }
}

TEST(MosaicerFrameCopy, NextFrameMovesCurrentToPrevious) {
    CMosaicer m;
    ASSERT_EQ(m.Init("c:", 64, 32, 0, 31, 0, 39, 10, 0), 1);
    MOSAIC_FRAME& f = m.m_frame;
    for (int r = 0; r < 32; ++r) {
        for (int k = 0; k < 40; ++k) {
            f.ppCurFeatures[r][k] = (r + k) % 3 == 0 ? 255 : 0;
        }
        for (int k = 0; k < MaskRowBytes(40); ++k) {
            f.ppCurMask[r][k] = static_cast<uint8_t>(r * 11 + k + 1);
        }
        f.pCurCounts[r] = static_cast<uint16_t>(r * 3);
    }
    f.nCurEdgeCount = 1234;
    ASSERT_EQ(m.NextFrame(), 1);
    EXPECT_EQ(f.nReducedRows, 32);
    EXPECT_EQ(f.nReducedCols, 40);
    for (int r = 0; r < 32; ++r) {
        for (int k = 0; k < 40; ++k) {
            ASSERT_EQ(f.ppPrevFeatures[r][k], (r + k) % 3 == 0 ? 255 : 0);
            ASSERT_EQ(f.ppCurFeatures[r][k], 0);
        }
        // Only whole 16-pixel words travel: 40 columns are two words, four bytes.
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(f.ppPrevMask[r][k], static_cast<uint8_t>(r * 11 + k + 1));
        }
        EXPECT_EQ(f.ppPrevMask[r][4], 0);
        EXPECT_EQ(f.pPrevCounts[r], r * 3);
    }
    EXPECT_EQ(f.nPrevEdgeCount, 1234);
}
