// Blending new pixels onto the canvas, case by case: only an all-black pixel (every byte 0) is
// empty, and a painted pixel becomes the sum of both halves, each halved first.
#include "engine/canvas.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

struct Canvas {
    MOSAIC_PARAMS p{};
    explicit Canvas(int bytes) {
        p.nTop = -10;
        p.nBottom = 9;
        p.nLeft = 0;
        p.nRight = 39;
        p.nRows = 20;
        p.nCols = 40;
        p.bRowsACurrent = 1;
        p.nGrowStep = 100;
        p.nBytesPerPixel = bytes;
        p.ppRowsA = AllocImage2D(p.nRows, bytes * p.nCols);
    }
    ~Canvas() { FreeImage2D(CurrentCanvasRows(p), p.nRows); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    uint8_t* At(int x, int y) {
        return CurrentCanvasRows(p)[p.nRows - 1 - (y - p.nTop)] + x * p.nBytesPerPixel;
    }
};

MOSAIC_SETTINGS Blending() {
    MOSAIC_SETTINGS s{};
    s.nReduction = 1;
    s.bPaint = 1;
    s.bBlend = 1;
    return s;
}

struct Blend3Case {
    std::array<uint8_t, 3> canvas, pixel, want;
};

// Black is only all three bytes 0; a 0 in one channel of a painted pixel still blends; odd
// values lose both low bits, so 3 onto 5 gives 1 + 2, not (3 + 5) / 2.
const Blend3Case kBlend3[] = {
    {{0, 0, 0}, {201, 3, 77}, {201, 3, 77}},      // onto black: a copy
    {{0, 10, 20}, {100, 100, 100}, {50, 55, 60}}, // red 0, the rest painted
    {{10, 0, 0}, {100, 100, 100}, {55, 50, 50}},
    {{0, 0, 1}, {9, 9, 9}, {4, 4, 4}},
    {{5, 3, 255}, {3, 5, 255}, {3, 3, 254}}, // odd pairs
    {{1, 1, 1}, {1, 1, 1}, {0, 0, 0}},
    {{200, 10, 0}, {101, 11, 255}, {150, 10, 127}},
    {{7, 9, 11}, {0, 0, 0}, {3, 4, 5}}, // black onto paint halves it
};

struct Blend444Case {
    uint16_t canvas, pixel, want;
};

// Fields on the 8-bit scale, halved together and brought back to 4 bits, truncating.
const Blend444Case kBlend444[] = {
    {0x0000, 0x0A5F, 0x0A5F},                           // onto 0: a copy
    {0x0500, 0x0000, 0x0200},                           // low byte 0, high byte not: painted
    {0x0050, 0x0F00, 0x0720}, {0x0A5F, 0x0A5F, 0x0A5F}, // equal fields give themselves back
    {0x035F, 0x053F, 0x044F}, {0x0A5F, 0x000F, 0x052F},
};

} // namespace

TEST(CanvasBlend, ThreeBytePixelsOneByOneAndAsARun) {
    MOSAIC_SETTINGS s = Blending();
    // One pixel at a time.
    for (const Blend3Case& c : kBlend3) {
        Canvas canvas(3);
        std::memcpy(canvas.At(4, 2), c.canvas.data(), 3);
        uint8_t src[3];
        std::memcpy(src, c.pixel.data(), 3);
        uint8_t* rows[1] = {src};
        PutCanvasPixel(&canvas.p, rows, rows, 0, 0, 2, 4, &s);
        const uint8_t* got = canvas.At(4, 2);
        EXPECT_EQ((std::array<uint8_t, 3>{got[0], got[1], got[2]}), c.want)
            << int(c.canvas[0]) << "," << int(c.canvas[1]) << "," << int(c.canvas[2]);
    }
    // All cases side by side in one run, as strips paint them.
    Canvas canvas(3);
    std::vector<uint8_t> src;
    for (size_t i = 0; i < std::size(kBlend3); ++i) {
        std::memcpy(canvas.At(3 + static_cast<int>(i), -4), kBlend3[i].canvas.data(), 3);
        src.insert(src.end(), kBlend3[i].pixel.begin(), kBlend3[i].pixel.end());
    }
    uint8_t* rows[1] = {src.data()};
    PutCanvasRun(&canvas.p, rows, rows, 0, 0, static_cast<int>(std::size(kBlend3)), -4, 3, &s);
    for (size_t i = 0; i < std::size(kBlend3); ++i) {
        const uint8_t* got = canvas.At(3 + static_cast<int>(i), -4);
        EXPECT_EQ((std::array<uint8_t, 3>{got[0], got[1], got[2]}), kBlend3[i].want) << i;
    }
}

TEST(CanvasBlend, SixteenBitPixelsOneByOneAndAsARun) {
    MOSAIC_SETTINGS s = Blending();
    Canvas run(2);
    std::vector<uint8_t> src;
    for (size_t i = 0; i < std::size(kBlend444); ++i) {
        const Blend444Case& c = kBlend444[i];
        Canvas canvas(2);
        const uint8_t onCanvas[2] = {static_cast<uint8_t>(c.canvas & 0xFF),
                                     static_cast<uint8_t>(c.canvas >> 8)};
        uint8_t pixel[2] = {static_cast<uint8_t>(c.pixel & 0xFF),
                            static_cast<uint8_t>(c.pixel >> 8)};
        std::memcpy(canvas.At(0, 0), onCanvas, 2);
        std::memcpy(run.At(static_cast<int>(i), 5), onCanvas, 2);
        src.insert(src.end(), pixel, pixel + 2);
        uint8_t* rows[1] = {pixel};
        PutCanvasPixel(&canvas.p, rows, rows, 0, 0, 0, 0, &s);
        const uint8_t* got = canvas.At(0, 0);
        EXPECT_EQ(got[0] | got[1] << 8, c.want) << std::hex << c.canvas << " " << c.pixel;
    }
    uint8_t* rows[1] = {src.data()};
    PutCanvasRun(&run.p, rows, rows, 0, 0, static_cast<int>(std::size(kBlend444)), 5, 0, &s);
    for (size_t i = 0; i < std::size(kBlend444); ++i) {
        const uint8_t* got = run.At(static_cast<int>(i), 5);
        EXPECT_EQ(got[0] | got[1] << 8, kBlend444[i].want) << i;
    }
}
