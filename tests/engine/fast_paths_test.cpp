// The fast forms of the per-frame routines against plain references written from their
// definitions, on random inputs of awkward sizes from 1 x 1 up, in both instruction forms: the
// baseline x86-64 form and the AVX2 form (where the processor has it). The blends onto the
// canvas, case by case.
#include "engine/bitmaps.h"
#include "engine/canvas.h"
#include "engine/frame_copy.h"
#include "engine/image.h"
#include "engine/regions.h"
#include "tests/support/byte_image.h"
#include "tests/support/engine_records.h"
#include "tests/support/instruction_forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Widths that are no multiple of 8, 16, 32 or 64, around every vector length, and a few that
// are.
const int32_t kWidths[] = {1,  2,  3,  5,  7,  8,  9,  15, 16,  17,  23,  31,  32,  33,
                           47, 48, 49, 63, 64, 65, 95, 97, 100, 127, 129, 200, 255, 691};

using Image = stillo_test::ByteImage;

// ---- References, written straight from the definitions --------------------------------------

// Mean of colSums over the window of i clipped to the row, divided by its columns times count.
std::vector<uint8_t> WindowMeansReference(const std::vector<int32_t>& colSums, int32_t window,
                                          int32_t count) {
    const int32_t n = static_cast<int32_t>(colSums.size());
    const int32_t h = window / 2;
    std::vector<uint8_t> out(colSums.size());
    for (int32_t i = 0; i < n; ++i) {
        int64_t s = 0, columns = 0;
        for (int32_t j = std::max(0, i - h); j <= std::min(n - 1, i + h); ++j) {
            s += colSums[j];
            ++columns;
        }
        out[i] = static_cast<uint8_t>(s / (columns * count));
    }
    return out;
}

uint8_t ClippedMeanReference(const std::vector<uint8_t>& img, int32_t rows, int32_t cols, int32_t x,
                             int32_t y, int32_t window) {
    const int32_t h = window / 2;
    uint64_t s = 0, n = 0;
    for (int32_t yy = std::max(0, y - h); yy <= std::min(rows - 1, y + h); ++yy) {
        for (int32_t xx = std::max(0, x - h); xx <= std::min(cols - 1, x + h); ++xx) {
            s += img[static_cast<size_t>(yy) * cols + xx];
            ++n;
        }
    }
    return static_cast<uint8_t>(s / n);
}

// Threshold, then keep the interior pixels at or above it with a 4-neighbour below it.
std::vector<uint8_t> OutlineReference(const std::vector<uint8_t>& img, int32_t rows, int32_t cols,
                                      int32_t threshold) {
    auto bright = [&](int32_t x, int32_t y) {
        return img[static_cast<size_t>(y) * cols + x] >= threshold;
    };
    std::vector<uint8_t> out(img.size(), 0);
    for (int32_t y = 1; y + 1 < rows; ++y) {
        for (int32_t x = 1; x + 1 < cols; ++x) {
            const bool keep = bright(x, y) && (!bright(x + 1, y) || !bright(x - 1, y) ||
                                               !bright(x, y + 1) || !bright(x, y - 1));
            out[static_cast<size_t>(y) * cols + x] = keep ? 255 : 0;
        }
    }
    return out;
}

// A feature image's pixel x of a row is bit 15 - x % 16 of word x / 16.
void PackRowReference(const uint8_t* row, int32_t cols, std::vector<uint16_t>& words,
                      unsigned& count) {
    words.assign(static_cast<size_t>((cols + 15) / 16), 0);
    count = 0;
    for (int32_t x = 0; x < cols; ++x) {
        if (row[x] != 0) {
            words[x / 16] = static_cast<uint16_t>(words[x / 16] | (0x8000u >> (x % 16)));
            ++count;
        }
    }
}

// The frame copy pixel by pixel, grey through the division table.
void CopyRowReference(const uint8_t* src, int32_t n, int32_t bytesPerPixel, uint8_t* colour,
                      uint8_t* grey, const std::vector<uint8_t>& greyDiv) {
    for (int32_t j = 0; j < n; ++j) {
        const uint8_t* p = src + bytesPerPixel * j;
        if (bytesPerPixel == 2) {
            const unsigned w = p[0] | p[1] << 8;
            colour[2 * j] = p[0];
            colour[2 * j + 1] = p[1];
            grey[j] = greyDiv[17 * (((w >> 8) & 15) + ((w >> 4) & 15) + (w & 15))];
        } else {
            colour[3 * j] = p[2];
            colour[3 * j + 1] = p[1];
            colour[3 * j + 2] = p[0];
            grey[j] = greyDiv[p[0] + p[1] + p[2]];
        }
    }
}

// One canvas pixel: the overlay, a copy, or the blend (3 bytes: halves of both unless the canvas
// pixel is black; 2 bytes: each 4-bit field averaged on the 8-bit scale unless the word is 0).
void PutPixelReference(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                       int y, int x, const MOSAIC_SETTINGS* s) {
    const int n = s->nReduction;
    const int b = canvas->nBytesPerPixel;
    uint8_t* dst = CurrentCanvasRows(*canvas)[canvas->nRows - 1 - (y - canvas->nTop)] +
                   (x - canvas->nLeft) * b;
    const uint8_t* src = colourRows[n * r] + n * b * k;
    if (s->bShowFeatures == 1) {
        for (int i = 0; i < b; ++i) {
            dst[i] = features[r][k] != 0 ? 255 : src[i];
        }
        return;
    }
    const bool black = std::all_of(dst, dst + b, [](uint8_t v) { return v == 0; });
    if (s->bBlend == 0 || black) {
        std::memcpy(dst, src, static_cast<size_t>(b));
        return;
    }
    if (b == 3) {
        for (int i = 0; i < 3; ++i) {
            dst[i] = static_cast<uint8_t>(src[i] / 2 + dst[i] / 2);
        }
        return;
    }
    const unsigned a = src[0] | src[1] << 8;
    const unsigned d = dst[0] | dst[1] << 8;
    unsigned word = 0;
    for (int shift : {8, 4, 0}) {
        const unsigned sum = 17 * ((a >> shift) & 15) + 17 * ((d >> shift) & 15);
        word |= static_cast<unsigned>((sum / 2) * static_cast<double>(1.0f / 255.0f) * 15.0)
                << shift;
    }
    dst[0] = static_cast<uint8_t>(word & 0xFF);
    dst[1] = static_cast<uint8_t>(word >> 8);
}

// Strip painting pixel by pixel: every pixel tested against the canvas and the canvas grown
// until it is inside, then written.
int PaintStripReference(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows,
                        int cols, int posX, int posY, int angle, int width,
                        const MOSAIC_SETTINGS* s) {
    const int h = width / 2, hr = rows / 2, hc = cols / 2;
    const bool extend = frame->bExtendStrip != 0;
    // The band of a strip across its length: centre +- h, carried to the end (toEnd) or the
    // start with the extend flag, within 0 .. length - 2.
    auto band = [&](int centre, int length, bool toEnd, int& lo, int& hi) {
        lo = centre - h;
        hi = centre + h;
        if (extend && toEnd) {
            hi = length;
        } else if (extend) {
            lo = 0;
        }
        lo = std::max(lo, 0);
        hi = std::min(hi, length - 1);
    };
    int r0 = 0, r1 = 0, k0 = 0, k1 = cols;
    const bool strict = angle == 0 || angle == 180;
    if (strict) {
        band(hr, rows, angle == 180, r0, r1);
    } else {
        r1 = s->nReduction == 1 ? rows - 4 : s->nReduction == 2 ? rows - 2 : rows - 1;
        band(hc, cols, angle == 90, k0, k1);
    }
    for (int r = r0; r < r1; ++r) {
        for (int k = k0; k < k1; ++k) {
            const int y = posY + hr - r;
            const int x = posX + k - hc;
            auto inside = [&] {
                const bool low = strict ? canvas->nTop < y && canvas->nLeft < x
                                        : canvas->nTop <= y && canvas->nLeft <= x;
                return low && y < canvas->nBottom && x < canvas->nRight;
            };
            while (!inside()) {
                if (GrowCanvasToFit(y, x, canvas) == 0) {
                    return 0;
                }
            }
            PutPixelReference(canvas, features, frame->ppColourRows, r, k, y, x, s);
        }
    }
    return 1;
}

// ---- Both instruction forms -------------------------------------------------------------------

class FastPaths : public stillo_test::InstructionForms {};

} // namespace

TEST_P(FastPaths, WindowMeansAreTheClippedIntegerMeans) {
    std::mt19937 rng(41);
    // The last counts give divisors of 65,536 and more (a window of 257), which take the exact
    // integer form: single precision no longer holds their sums or their quotients exactly.
    for (int32_t n : kWidths) {
        for (int32_t window : {1, 3, 5, 7, 51, 257}) {
            for (int32_t count : {1, 2, 26, 51, 256, 257, 1000}) {
                std::vector<int32_t> sums(static_cast<size_t>(n));
                for (auto& v : sums) {
                    v = static_cast<int32_t>(rng() % (255u * count + 1));
                }
                // A row of full sums somewhere: the largest means and window sums.
                if (n > 4) {
                    std::fill(sums.begin() + n / 2, sums.end(), 255 * count);
                }
                std::vector<uint8_t> got(static_cast<size_t>(n), 0xEE);
                BoxMeanRow(sums.data(), n, window, got.data(), count);
                ASSERT_EQ(got, WindowMeansReference(sums, window, count))
                    << "n " << n << " window " << window << " count " << count;
            }
        }
    }
}

TEST_P(FastPaths, WindowMeansJustBelowAWholeQuotientStayBelowIt) {
    // Whole rows one short of 255 times their divisor: the mean is 254 however large the
    // divisor, where single precision would round the sum up to the multiple.
    for (int32_t count : {1, 51, 257, 1000, 4000}) {
        for (int32_t window : {51, 257}) {
            std::vector<int32_t> sums(static_cast<size_t>(window), 255 * count);
            sums[0] -= 1;
            std::vector<uint8_t> got(sums.size());
            BoxMeanRow(sums.data(), window, window, got.data(), count);
            ASSERT_EQ(got, WindowMeansReference(sums, window, count))
                << "window " << window << " count " << count;
            ASSERT_EQ(got[static_cast<size_t>(window / 2)], 254);
        }
    }
}

TEST_P(FastPaths, WindowMeansOfSumsThatAreNoByteSumsStayExact) {
    // Column sums above 255 * count (no mean of bytes): exact integer means, wrapped to a byte.
    std::mt19937 rng(42);
    for (int32_t n : {5, 33, 100}) {
        std::vector<int32_t> sums(static_cast<size_t>(n));
        for (auto& v : sums) {
            v = static_cast<int32_t>(rng() % 100000u);
        }
        std::vector<uint8_t> got(static_cast<size_t>(n));
        BoxMeanRow(sums.data(), n, 5, got.data(), 3);
        ASSERT_EQ(got, WindowMeansReference(sums, 5, 3)) << n;
    }
}

TEST_P(FastPaths, NormalisationAndBoxFilterEqualTheirDefinitions) {
    std::mt19937 rng(43);
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {1, 33},  {2, 17},  {7, 1},   {9, 64},
                                                 {26, 95}, {51, 52}, {53, 97}, {60, 129}};
    for (auto [rows, cols] : sizes) {
        Image src(rows, cols);
        src.Random(rng);
        const std::vector<uint8_t> in = src.Copy();
        for (int32_t window : {1, 5, 51}) {
            Image dst(rows, cols);
            ASSERT_EQ(NormaliseLocalMean(src.px, static_cast<uint16_t>(rows),
                                         static_cast<uint16_t>(cols), window, dst.px),
                      1);
            for (int32_t y = 0; y < rows; ++y) {
                for (int32_t x = 0; x < cols; ++x) {
                    const uint32_t m = ClippedMeanReference(in, rows, cols, x, y, window);
                    const uint32_t p = in[static_cast<size_t>(y) * cols + x];
                    const uint32_t want = m == 0 ? 255 : std::min<uint32_t>(255, 128 * p / m);
                    ASSERT_EQ(dst.px[y][x], want)
                        << rows << "x" << cols << " w " << window << " at " << x << "," << y;
                }
            }
            Image box(rows, cols);
            for (int32_t y = 0; y < rows; ++y) {
                std::memcpy(box.px[y], src.px[y], static_cast<size_t>(cols));
            }
            ASSERT_EQ(BoxFilterInPlace(box.px, static_cast<uint16_t>(rows),
                                       static_cast<uint16_t>(cols), window),
                      1);
            for (int32_t y = 0; y < rows; ++y) {
                for (int32_t x = 0; x < cols; ++x) {
                    ASSERT_EQ(box.px[y][x], ClippedMeanReference(in, rows, cols, x, y, window))
                        << rows << "x" << cols << " w " << window << " at " << x << "," << y;
                }
            }
        }
    }
    // Dark pictures: means of 0 normalise to 255 and dark pixels next to bright ones clip.
    Image sparse(30, 70);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 70; ++x) {
            sparse.px[y][x] = (x * 7 + y * 3) % 23 == 0 ? 255 : 0;
        }
    }
    const std::vector<uint8_t> in = sparse.Copy();
    Image dst(30, 70);
    ASSERT_EQ(NormaliseLocalMean(sparse.px, 30, 70, 3, dst.px), 1);
    int zeroMeans = 0;
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 70; ++x) {
            const uint32_t m = ClippedMeanReference(in, 30, 70, x, y, 3);
            zeroMeans += m == 0;
            const uint32_t p = in[static_cast<size_t>(y) * 70 + x];
            ASSERT_EQ(dst.px[y][x], m == 0 ? 255 : std::min<uint32_t>(255, 128 * p / m));
        }
    }
    EXPECT_GT(zeroMeans, 100);
}

TEST_P(FastPaths, ThresholdedOutlineIsThresholdThenBoundaries) {
    std::mt19937 rng(44);
    for (int32_t cols : kWidths) {
        for (int32_t rows : {1, 2, 3, 4, 11}) {
            for (int32_t threshold : {0, 1, 77, 128, 255, 256}) {
                Image img(rows, cols);
                img.Random(rng);
                const std::vector<uint8_t> in = img.Copy();
                ASSERT_EQ(ThresholdRegionBoundaries(img.px, rows, cols, threshold), 1);
                ASSERT_EQ(img.Copy(), OutlineReference(in, rows, cols, threshold))
                    << rows << "x" << cols << " t " << threshold;
            }
        }
    }
}

TEST_P(FastPaths, BoundariesKeepOnlyExact255NextToExact0) {
    std::mt19937 rng(45);
    for (int32_t cols : kWidths) {
        Image img(9, cols);
        img.Fill([&](int32_t, int32_t) {
            const uint32_t v = rng() % 10;
            return v < 6 ? 255 : (v < 9 ? 0 : 77);
        });
        const std::vector<uint8_t> in = img.Copy();
        ASSERT_EQ(ExtractRegionBoundaries(img.px, 9, cols), 1);
        for (int32_t y = 0; y < 9; ++y) {
            for (int32_t x = 0; x < cols; ++x) {
                auto at = [&](int32_t xx, int32_t yy) { return in[yy * cols + xx]; };
                const bool border = x == 0 || y == 0 || x == cols - 1 || y == 8;
                const bool keep = !border && at(x, y) == 255 &&
                                  (at(x + 1, y) == 0 || at(x - 1, y) == 0 || at(x, y + 1) == 0 ||
                                   at(x, y - 1) == 0);
                ASSERT_EQ(img.px[y][x], keep ? 255 : 0) << cols << " at " << x << "," << y;
            }
        }
    }
}

TEST_P(FastPaths, PackedRowsEqualTheBitLayout) {
    std::mt19937 rng(46);
    for (int32_t cols : kWidths) {
        Image img(3, cols);
        // Any nonzero byte is set, not only 255; row 1 is dense, row 2 empty.
        img.Fill([&](int32_t, int32_t y) {
            const uint32_t v = rng() % 4;
            return y == 2 ? 0u : (y == 1 || v == 0) ? 1 + v : 0u;
        });
        const int32_t wordsAllocated = MaskRowBytes(cols) / 2;
        IMAGE2D packed = AllocImage2D(3, MaskRowBytes(cols));
        std::vector<uint16_t> counts(3);
        int32_t rowsOut = 0, words = 0;
        PackBitRows(img.px, 3, cols, packed, counts.data(), &rowsOut, &words);
        EXPECT_EQ(rowsOut, 3);
        EXPECT_EQ(words, cols >> 4);
        for (int32_t y = 0; y < 3; ++y) {
            std::vector<uint16_t> want;
            unsigned count = 0;
            PackRowReference(img.px[y], cols, want, count);
            const auto* got = reinterpret_cast<const uint16_t*>(packed[y]);
            ASSERT_EQ(std::vector<uint16_t>(got, got + want.size()), want) << cols << " row " << y;
            ASSERT_EQ(counts[y], count) << cols << " row " << y;
            // Nothing is written past the row's words.
            for (size_t w = want.size(); w < static_cast<size_t>(wordsAllocated); ++w) {
                ASSERT_EQ(got[w], 0) << cols;
            }
        }
        FreeImage2D(packed, 3);
    }
}

TEST_P(FastPaths, FrameRowsCopyColourAndGreyOfEveryFormat) {
    std::vector<uint8_t> greyDiv(768);
    for (int i = 0; i < 768; ++i) {
        greyDiv[i] = static_cast<uint8_t>(i / 3);
    }
    std::mt19937 rng(47);
    for (int32_t n : kWidths) {
        for (int32_t b : {2, 3, 4}) {
            std::vector<uint8_t> src(static_cast<size_t>(b) * n + 1);
            for (auto& v : src) {
                v = static_cast<uint8_t>(rng());
            }
            if (n > 2) { // the brightest and darkest pixels
                std::fill(src.begin(), src.begin() + b, 255);
                std::fill(src.begin() + b, src.begin() + 2 * b, 0);
            }
            const size_t colourBytes = static_cast<size_t>(b == 2 ? 2 : 3) * n;
            std::vector<uint8_t> colour(colourBytes + 4, 0xA5), grey(n + 4, 0xA5);
            std::vector<uint8_t> wantColour = colour, wantGrey = grey;
            CopyRowReference(src.data(), n, b, wantColour.data(), wantGrey.data(), greyDiv);
            if (b == 2) {
                Copy444Row(src.data(), n, colour.data(), grey.data());
            } else {
                CopyBgrRow(src.data(), n, b, colour.data(), grey.data());
            }
            ASSERT_EQ(colour, wantColour) << "n " << n << " b " << b;
            ASSERT_EQ(grey, wantGrey) << "n " << n << " b " << b;
        }
    }
}

TEST(GreyFromSum, EqualsTheDivisionTableForEverySum) {
    for (uint32_t sum = 0; sum <= 765; ++sum) {
        ASSERT_EQ(GreyFromSum(sum), sum / 3) << sum;
    }
}

namespace {

struct PaintCase {
    int angle;
    int width;
    bool extend;
    int blend;
    int overlay;
    int reduction;
    int bytes;
};

// A canvas as a run starts it, pre-painted in a pattern so blends meet black and painted
// pixels.
struct TestCanvas {
    stillo_test::EngineRecords run;
    MOSAIC_PARAMS& p = run.canvas;
    // Black.
    explicit TestCanvas(int bytes) : run(1, 1, stillo_test::ProgramSettings(1, 1), bytes) {
        EXPECT_EQ(run.ok, 1);
    }
    // Rows of random bytes with black runs, each row one of eight patterns.
    TestCanvas(int bytes, std::mt19937& rng) : TestCanvas(bytes) {
        std::vector<uint8_t> patterns(static_cast<size_t>(8 * bytes * p.nCols));
        for (size_t i = 0; i < patterns.size(); ++i) {
            patterns[i] = (i / 11) % 3 == 0 ? 0 : static_cast<uint8_t>(rng());
        }
        for (int r = 0; r < p.nRows; ++r) {
            std::memcpy(p.ppRowsA[r], &patterns[static_cast<size_t>(r % 8 * bytes * p.nCols)],
                        static_cast<size_t>(bytes * p.nCols));
        }
    }
    uint8_t* At(int x, int y) {
        return CurrentCanvasRows(p)[p.nRows - 1 - (y - p.nTop)] + (x - p.nLeft) * p.nBytesPerPixel;
    }
    TestCanvas(const TestCanvas&) = delete;
    TestCanvas& operator=(const TestCanvas&) = delete;
    bool SameAs(const TestCanvas& o) const {
        if (p.nTop != o.p.nTop || p.nBottom != o.p.nBottom || p.nLeft != o.p.nLeft ||
            p.nRight != o.p.nRight || p.nRows != o.p.nRows || p.nCols != o.p.nCols ||
            p.bRowsACurrent != o.p.bRowsACurrent) {
            return false;
        }
        for (int r = 0; r < p.nRows; ++r) {
            if (std::memcmp(CurrentCanvasRows(p)[r], CurrentCanvasRows(o.p)[r],
                            static_cast<size_t>(p.nBytesPerPixel) * p.nCols) != 0) {
                return false;
            }
        }
        return true;
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

// Blending new pixels onto the canvas, case by case: only an all-black pixel (every byte 0) is
// empty, and a painted pixel becomes the sum of both halves, each halved first.
TEST(CanvasBlend, ThreeBytePixelsOneByOneAndAsARun) {
    MOSAIC_SETTINGS s = Blending();
    // One pixel at a time.
    for (const Blend3Case& c : kBlend3) {
        TestCanvas canvas(3);
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
    TestCanvas canvas(3);
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
    TestCanvas run(2);
    std::vector<uint8_t> src;
    for (size_t i = 0; i < std::size(kBlend444); ++i) {
        const Blend444Case& c = kBlend444[i];
        TestCanvas canvas(2);
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

TEST_P(FastPaths, StripsPaintAndGrowExactlyAsPixelByPixel) {
    std::mt19937 rng(48);
    const PaintCase cases[] = {
        {0, 10, false, 0, 0, 1, 3},  {0, 300, true, 0, 0, 1, 3},    {180, 21, true, 1, 0, 1, 3},
        {180, 9, false, 1, 0, 1, 2}, {270, 14, true, 0, 0, 1, 3},   {90, 14, true, 1, 0, 1, 3},
        {90, 7, false, 0, 1, 1, 3},  {270, 400, false, 1, 1, 1, 2}, {270, 30, true, 1, 0, 2, 3},
        {90, 12, true, 0, 0, 3, 2},  {0, 15, true, 0, 1, 2, 3},     {-90, 8, false, 0, 0, 1, 3},
    };
    for (const PaintCase& c : cases) {
        for (int trial = 0; trial < 6; ++trial) {
            const int rows = 5 + static_cast<int>(rng() % 90);
            const int cols = 5 + static_cast<int>(rng() % 130);
            // Positions inside the canvas, on its edges and beyond them on every side.
            const int posX = -150 + static_cast<int>(rng() % 600);
            const int posY = -250 + static_cast<int>(rng() % 500);
            const int n = c.reduction;
            MOSAIC_FRAME frame{};
            frame.bExtendStrip = c.extend ? 1 : 0;
            const int colourRows = rows * n, colourBytes = c.bytes * cols * n;
            frame.ppColourRows = AllocImage2D(colourRows, colourBytes);
            IMAGE2D features = AllocImage2D(rows, cols);
            for (int r = 0; r < colourRows; ++r) {
                for (int k = 0; k < colourBytes; ++k) {
                    frame.ppColourRows[r][k] = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
                }
            }
            for (int r = 0; r < rows; ++r) {
                for (int k = 0; k < cols; ++k) {
                    features[r][k] = rng() % 5 == 0 ? 255 : 0;
                }
            }
            MOSAIC_SETTINGS s{};
            s.nReduction = n;
            s.bPaint = 1;
            s.bBlend = c.blend;
            s.bShowFeatures = c.overlay;
            std::mt19937 canvasRng(static_cast<unsigned>(trial));
            TestCanvas fast(c.bytes, canvasRng);
            canvasRng.seed(static_cast<unsigned>(trial));
            TestCanvas plain(c.bytes, canvasRng);
            const int a =
                PaintStrip(&fast.p, &frame, features, rows, cols, posX, posY, c.angle, c.width, &s);
            const int b = PaintStripReference(&plain.p, &frame, features, rows, cols, posX, posY,
                                              c.angle < 0 ? c.angle + 360 : c.angle, c.width, &s);
            EXPECT_EQ(a, b);
            EXPECT_TRUE(fast.SameAs(plain))
                << "angle " << c.angle << " width " << c.width << " frame " << rows << "x" << cols
                << " at " << posX << "," << posY << " blend " << c.blend << " overlay " << c.overlay
                << " N " << n << " b " << c.bytes;
            FreeImage2D(frame.ppColourRows, colourRows);
            FreeImage2D(features, rows);
        }
    }
}

TEST_P(FastPaths, StripsEndingOnEveryCanvasEdgeGrowAsPixelByPixel) {
    // A small frame swept across each edge of the canvas one pixel at a time, so that some strip
    // ends exactly on the edge, where a row band must grow and a column band paints in place.
    const int rows = 12, cols = 16;
    MOSAIC_FRAME frame{};
    frame.ppColourRows = AllocImage2D(rows, 3 * cols);
    IMAGE2D features = AllocImage2D(rows, cols);
    for (int r = 0; r < rows; ++r) {
        for (int k = 0; k < 3 * cols; ++k) {
            frame.ppColourRows[r][k] = static_cast<uint8_t>(1 + (r * 31 + k) % 250);
        }
    }
    MOSAIC_SETTINGS s{};
    s.nReduction = 1;
    s.bPaint = 1;
    int grown = 0;
    for (int angle : {0, 180, 90, 270}) {
        for (bool extend : {false, true}) {
            frame.bExtendStrip = extend ? 1 : 0;
            // Around the left (0) and right (299) edges, and the top (-100) and bottom (99).
            std::vector<std::pair<int, int>> positions;
            for (int d = -12; d <= 12; ++d) {
                positions.push_back({d, 0});
                positions.push_back({299 + d, 0});
                positions.push_back({150, -100 + d});
                positions.push_back({150, 99 + d});
            }
            for (auto [posX, posY] : positions) {
                std::mt19937 rngA(1), rngB(1);
                TestCanvas fast(3, rngA), plain(3, rngB);
                const int a =
                    PaintStrip(&fast.p, &frame, features, rows, cols, posX, posY, angle, 6, &s);
                const int b = PaintStripReference(&plain.p, &frame, features, rows, cols, posX,
                                                  posY, angle, 6, &s);
                EXPECT_EQ(a, b);
                ASSERT_TRUE(fast.SameAs(plain))
                    << "angle " << angle << " extend " << extend << " at " << posX << "," << posY;
                grown += plain.p.nRows != 200 || plain.p.nCols != 300;
            }
        }
    }
    EXPECT_GT(grown, 100); // the sweeps do cross the edges
    FreeImage2D(frame.ppColourRows, rows);
    FreeImage2D(features, rows);
}

STILLO_INSTRUCTION_FORMS(FastPaths);
