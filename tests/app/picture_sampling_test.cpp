// The canvas sampled into pictures, compared pixel for pixel with the plain mapping of each
// picture pixel onto the canvas, on canvases of odd sizes and lines with padding.
#include "PictureSampling.h"
#include "ScreenFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kUntouched = 0xAB;

// A canvas of random pixels, stored bottom-up as the engine stores it.
struct RandomCanvas {
    int cols, rows;
    std::vector<std::vector<uint8_t>> storage;
    std::vector<uint8_t*> pointers;

    RandomCanvas(int c, int r) : cols(c), rows(r), storage(r, std::vector<uint8_t>(3 * c)) {
        std::mt19937 rng(static_cast<uint32_t>(c * 7919 + r));
        for (auto& row : storage) {
            for (uint8_t& b : row) {
                b = static_cast<uint8_t>(rng());
            }
            pointers.push_back(row.data());
        }
    }
    sampling::Canvas View() const { return {pointers.data(), rows, cols, 3}; }
    // The canvas pixel at column x of the picture's row y counted from the top.
    const uint8_t* At(int x, int y) const { return storage[rows - 1 - y].data() + 3 * x; }
};

struct Case {
    int cols, rows;
    bool results;      // the results preview's mapping, else the mosaic view's
    int sx, sy;        // mosaic view: scroll
    float zoomOrScale; // canvas pixels a picture pixel
    int yOffset;       // results preview: the lines the canvas is moved down
    int width, height; // the picture
    int bytesPerPixel;
};

// Each picture pixel is the canvas pixel its mapping names, in the picture's form, or left as
// it was where the mapping falls outside the canvas.
void Check(const Case& c) {
    SCOPED_TRACE(::testing::Message()
                 << (c.results ? "results " : "mosaic ") << c.cols << "x" << c.rows << " scale "
                 << c.zoomOrScale << " bytes " << c.bytesPerPixel);
    const RandomCanvas canvas(c.cols, c.rows);
    // Lines padded past their pixels, and each starting on a 4-byte boundary.
    const int pitch = c.width * c.bytesPerPixel + 8;
    std::vector<uint8_t> picture(static_cast<size_t>(pitch) * c.height, kUntouched);
    const sampling::Lines lines{picture.data(), pitch, c.width, c.height, c.bytesPerPixel};
    if (c.results) {
        sampling::SampleResults(canvas.View(), lines, c.zoomOrScale, c.yOffset);
    } else {
        sampling::SampleMosaicView(canvas.View(), lines, c.sx, c.sy, c.zoomOrScale);
    }
    int wrong = 0, shown = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const int py = c.results ? y - c.yOffset : y + c.sy;
            const int cx = static_cast<int>((c.results ? x : x + c.sx) * c.zoomOrScale);
            const int cy = static_cast<int>(py * c.zoomOrScale);
            std::vector<uint8_t> want(c.bytesPerPixel, kUntouched);
            if (py >= 0 && cx < c.cols && cy < c.rows) {
                const uint8_t* p = canvas.At(cx, cy);
                const uint32_t word = c.bytesPerPixel == 2
                                          ? screen::Pack565(p[0], p[1], p[2])
                                          : 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
                std::memcpy(want.data(), &word, c.bytesPerPixel);
                ++shown;
            }
            const uint8_t* got = picture.data() + static_cast<size_t>(pitch) * y +
                                 static_cast<size_t>(c.bytesPerPixel) * x;
            wrong += std::memcmp(got, want.data(), c.bytesPerPixel) != 0;
        }
        for (int b = c.width * c.bytesPerPixel; b < pitch; ++b) {
            wrong += picture[static_cast<size_t>(pitch) * y + b] != kUntouched;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(shown, 0);
}

} // namespace

TEST(PictureSampling, CanvasPixelsLandWhereTheirMappingSays) {
    const Case cases[] = {
        // Mosaic view scrolled off the origin, at whole and fractional zooms; the canvas ends
        // inside the picture on the right and at the bottom.
        {203, 77, false, 5, 3, 1.0f, 0, 240, 90, 4},
        {203, 77, false, 9, 2, 2.0f, 0, 120, 50, 2},
        {517, 131, false, 0, 7, 1.5f, 0, 300, 80, 4},
        // Results preview: a flat canvas moved down by its offset, a tall one that ends early.
        {400, 60, true, 0, 0, 1.1f, 25, 365, 140, 2},
        {90, 310, true, 0, 0, 2.3f, 0, 365, 140, 4},
    };
    for (const Case& c : cases) {
        Check(c);
    }
}
