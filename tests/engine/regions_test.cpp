// Region features and the feature extraction of a frame, checked against naive clipped-window
// versions written straight from the definitions.
#include "engine/bitmaps.h"
#include "engine/feature_extraction.h"
#include "engine/image.h"
#include "engine/records.h"
#include "engine/regions.h"
#include "tests/support/byte_image.h"
#include "tests/support/engine_records.h"
#include "tests/support/packed_map_check.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Image = stillo_test::ByteImage;

// Truncating mean over the clipped window x0..x1, y0..y1.
uint32_t ClippedMean(const Image& img, int32_t x, int32_t y, int32_t window) {
    const int32_t h = window / 2;
    uint64_t s = 0, n = 0;
    for (int32_t yy = std::max(0, y - h); yy <= std::min(img.rows - 1, y + h); ++yy) {
        for (int32_t xx = std::max(0, x - h); xx <= std::min(img.cols - 1, x + h); ++xx) {
            s += img.at(xx, yy);
            ++n;
        }
    }
    return static_cast<uint32_t>(s / n);
}

const std::pair<int32_t, int32_t> kSizes[] = {{1, 1},   {1, 7},   {6, 1},   {2, 2},   {3, 5},
                                              {6, 8},   {14, 18}, {25, 30}, {51, 51}, {52, 50},
                                              {70, 90}, {90, 70}, {11, 64}};

} // namespace

TEST(BoxMeanRow, ClippedWindowsDivideByTheirOwnSize) {
    const int32_t sums[] = {3, 6, 9};
    uint8_t out[3] = {};
    BoxMeanRow(sums, 3, 3, out, 1);
    EXPECT_EQ(out[0], 4); // (3 + 6) / 2
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], 7); // (6 + 9) / 2

    std::mt19937 rng(1);
    for (int32_t n : {1, 2, 3, 5, 24, 25, 26, 51, 52, 100, 691}) {
        for (int32_t window : {1, 3, 5, 51}) {
            for (int32_t count : {1, 4, 26, 51}) {
                std::vector<int32_t> col(n);
                for (auto& v : col) {
                    v = static_cast<int32_t>(rng() % (255 * count + 1));
                }
                std::vector<uint8_t> got(n, 0xEE);
                BoxMeanRow(col.data(), n, window, got.data(), count);
                for (int32_t i = 0; i < n; ++i) {
                    int64_t s = 0, k = 0;
                    for (int32_t j = std::max(0, i - window / 2);
                         j <= std::min(n - 1, i + window / 2); ++j) {
                        s += col[j];
                        ++k;
                    }
                    ASSERT_EQ(got[i], s / (k * count))
                        << "n " << n << " window " << window << " count " << count << " i " << i;
                }
            }
        }
    }
}

TEST(DivideRowByMean, EveryPairOfPixelAndMean) {
    std::vector<uint8_t> src(256), mean(256), out(256);
    for (int m = 0; m < 256; ++m) {
        for (int s = 0; s < 256; ++s) {
            src[s] = static_cast<uint8_t>(s);
            mean[s] = static_cast<uint8_t>(m);
        }
        DivideRowByMean(256, src.data(), mean.data(), out.data());
        for (int s = 0; s < 256; ++s) {
            const int want = m == 0 ? 255 : std::min(255, 128 * s / m);
            ASSERT_EQ(out[s], want) << s << "/" << m;
        }
    }
    const uint8_t a[] = {0, 50, 100, 100};
    const uint8_t b[] = {0, 25, 100, 101};
    uint8_t o[4];
    DivideRowByMean(4, a, b, o);
    EXPECT_EQ(o[0], 255); // black window
    EXPECT_EQ(o[1], 255); // twice the mean: 256 clipped
    EXPECT_EQ(o[2], 128); // at the mean
    EXPECT_EQ(o[3], 126);
}

TEST(NormaliseLocalMean, EqualsANaiveClippedNormalisationAtAnySize) {
    std::mt19937 rng(2);
    for (auto [rows, cols] : kSizes) {
        for (int32_t window : {1, 3, 5, 51}) {
            Image src(rows, cols), dst(rows, cols);
            src.Random(rng);
            ASSERT_EQ(NormaliseLocalMean(src.px, static_cast<uint16_t>(rows),
                                         static_cast<uint16_t>(cols), window, dst.px),
                      1);
            for (int32_t y = 0; y < rows; ++y) {
                for (int32_t x = 0; x < cols; ++x) {
                    const uint32_t m = ClippedMean(src, x, y, window);
                    const uint32_t want =
                        m == 0 ? 255 : std::min<uint32_t>(255, 128 * src.at(x, y) / m);
                    ASSERT_EQ(dst.at(x, y), want)
                        << rows << "x" << cols << " w " << window << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(BoxFilterInPlace, EqualsANaiveClippedMeanAtAnySize) {
    std::mt19937 rng(3);
    for (auto [rows, cols] : kSizes) {
        for (int32_t window : {1, 3, 5, 7, 31}) {
            Image img(rows, cols), copy(rows, cols);
            img.Random(rng);
            for (int32_t y = 0; y < rows; ++y) {
                std::memcpy(copy.px[y], img.px[y], cols);
            }
            ASSERT_EQ(BoxFilterInPlace(img.px, static_cast<uint16_t>(rows),
                                       static_cast<uint16_t>(cols), window),
                      1);
            for (int32_t y = 0; y < rows; ++y) {
                for (int32_t x = 0; x < cols; ++x) {
                    ASSERT_EQ(img.at(x, y), ClippedMean(copy, x, y, window))
                        << rows << "x" << cols << " w " << window << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(RegionFeaturesDeathTest, EvenWindowsAndBadFactorsEndTheProcess) {
    Image img(8, 8);
    EXPECT_EXIT(BoxFilterInPlace(img.px, 8, 8, 4), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(NormaliseLocalMean(img.px, 8, 8, 50, img.px), testing::ExitedWithCode(1), "");
    std::vector<uint8_t> table(256);
    EXPECT_EXIT(ReduceImage(img.px, 8, 8, 0, table.data()), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(ReduceImage(img.px, 8, 8, 65, table.data()), testing::ExitedWithCode(1), "");
}

TEST(ComputeMomentThreshold, SplitsTwoClassImages) {
    int32_t t = -1;
    Image uniform(20, 30);
    uniform.Fill(77);
    ComputeMomentThreshold(uniform.px, 20, 30, &t);
    EXPECT_EQ(t, 256);
    uniform.Fill(0);
    ComputeMomentThreshold(uniform.px, 20, 30, &t);
    EXPECT_EQ(t, 256);
    ComputeMomentThreshold(uniform.px, 0, 30, &t);
    EXPECT_EQ(t, 256);

    // Exactly two levels: 516 pixels at 50 and 84 at 200. The darker share is 0.86 exactly; a
    // rounded 0.8599999... must not push the threshold down onto the darker level.
    Image two(20, 30);
    for (int32_t i = 0; i < 600; ++i) {
        two(i % 30, i / 30) = i < 516 ? 50 : 200;
    }
    ComputeMomentThreshold(two.px, 20, 30, &t);
    EXPECT_EQ(t, 200);
    ThresholdInPlace(two.px, 20, 30, t);
    int32_t set = 0;
    for (int32_t i = 0; i < 600; ++i) {
        set += two(i % 30, i / 30) == 255;
    }
    EXPECT_EQ(set, 84);

    // The same image as 0 and 255.
    for (int32_t i = 0; i < 600; ++i) {
        two(i % 30, i / 30) = i < 516 ? 0 : 255;
    }
    ComputeMomentThreshold(two.px, 20, 30, &t);
    EXPECT_EQ(t, 255);

    // 30 % around 50, 70 % around 200: the threshold falls between, about 30 % below it.
    std::mt19937 rng(4);
    Image mix(50, 60);
    for (int32_t y = 0; y < 50; ++y) {
        for (int32_t x = 0; x < 60; ++x) {
            const bool dark = (y * 60 + x) % 10 < 3;
            mix(x, y) = static_cast<uint8_t>((dark ? 45 : 195) + rng() % 11);
        }
    }
    ComputeMomentThreshold(mix.px, 50, 60, &t);
    EXPECT_GT(t, 55);
    EXPECT_LE(t, 195);
    int32_t below = 0;
    for (int32_t y = 0; y < 50; ++y) {
        for (int32_t x = 0; x < 60; ++x) {
            below += mix(x, y) < t;
        }
    }
    EXPECT_EQ(below, 900);
}

TEST(Thresholds, BelowIsZeroTheRestFull) {
    Image img(2, 4), dst(2, 4);
    const uint8_t values[] = {0, 99, 100, 255};
    for (int32_t x = 0; x < 4; ++x) {
        img(x, 0) = img(x, 1) = values[x];
    }
    ThresholdToImage(img.px, 2, 4, 100, dst.px);
    EXPECT_EQ(dst(0, 0), 0);
    EXPECT_EQ(dst(1, 1), 0);
    EXPECT_EQ(dst(2, 0), 255);
    EXPECT_EQ(dst(3, 1), 255);
    EXPECT_EQ(img(1, 0), 99); // the source is left alone
    ThresholdToImage(img.px, 2, 4, 0, dst.px);
    EXPECT_EQ(dst(0, 0), 255);
    ThresholdInPlace(img.px, 2, 4, 256);
    EXPECT_EQ(img(3, 0), 0);
}

TEST(ExtractRegionBoundaries, OutlinesBrightRegions) {
    // A 12 x 7 rectangle keeps exactly its inner ring.
    Image img(20, 30);
    for (int32_t y = 5; y < 12; ++y) {
        for (int32_t x = 8; x < 20; ++x) {
            img(x, y) = 255;
        }
    }
    ASSERT_EQ(ExtractRegionBoundaries(img.px, 20, 30), 1);
    int32_t ring = 0;
    for (int32_t y = 0; y < 20; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            const bool inside = x >= 8 && x < 20 && y >= 5 && y < 12;
            const bool edge = inside && (x == 8 || x == 19 || y == 5 || y == 11);
            ASSERT_EQ(img(x, y), edge ? 255 : 0) << x << "," << y;
            ring += edge;
        }
    }
    EXPECT_EQ(ring, 2 * 12 + 2 * 7 - 4);

    // All 255: the border rows are cleared after the tests, so nothing survives.
    Image full(10, 10);
    full.Fill(255);
    ExtractRegionBoundaries(full.px, 10, 10);
    int32_t left = 0;
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            left += full(x, y) != 0;
        }
    }
    EXPECT_EQ(left, 0);

    // A lone interior pixel survives; one on the border does not; other values never do, and
    // a neighbour that is neither 0 nor 255 is no 0 neighbour.
    Image dots(8, 8);
    dots(3, 3) = 255;
    dots(0, 5) = 255;
    dots(5, 5) = 200;
    dots(6, 2) = 255;
    dots(5, 2) = 128;
    dots(7, 2) = 128;
    dots(6, 1) = 128;
    dots(6, 3) = 128;
    ExtractRegionBoundaries(dots.px, 8, 8);
    EXPECT_EQ(dots(3, 3), 255);
    EXPECT_EQ(dots(0, 5), 0);
    EXPECT_EQ(dots(5, 5), 0);
    EXPECT_EQ(dots(6, 2), 0);
}

TEST(ExtractRegionBoundaries, EqualsTheNeighbourRuleAtAnySize) {
    std::mt19937 rng(6);
    for (auto [rows, cols] : kSizes) {
        Image img(rows, cols), copy(rows, cols);
        for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < cols; ++x) {
                const uint32_t v = rng() % 10;
                img(x, y) = copy(x, y) = v < 6 ? 255 : (v < 9 ? 0 : 77);
            }
        }
        ASSERT_EQ(ExtractRegionBoundaries(img.px, rows, cols), 1);
        for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < cols; ++x) {
                const bool border = x == 0 || y == 0 || x == cols - 1 || y == rows - 1;
                const bool keep = !border && copy.at(x, y) == 255 &&
                                  (copy.at(x + 1, y) == 0 || copy.at(x - 1, y) == 0 ||
                                   copy.at(x, y + 1) == 0 || copy.at(x, y - 1) == 0);
                ASSERT_EQ(img(x, y), keep ? 255 : 0)
                    << rows << "x" << cols << " at " << x << "," << y;
            }
        }
    }
}

TEST(ReduceImage, BlockAveragesInPlace) {
    std::vector<uint8_t> div4(4 * 256), div9(9 * 256);
    for (int i = 0; i < 4 * 256; ++i) {
        div4[i] = static_cast<uint8_t>(i / 4);
    }
    for (int i = 0; i < 9 * 256; ++i) {
        div9[i] = static_cast<uint8_t>(i / 9);
    }
    Image img(4, 4);
    const uint8_t v[4][4] = {{1, 2, 10, 11}, {3, 5, 12, 14}, {100, 101, 0, 0}, {102, 104, 0, 3}};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            img(x, y) = v[y][x];
        }
    }
    ReduceImage(img.px, 4, 4, 1, div4.data());
    EXPECT_EQ(img(1, 0), 2);
    ReduceImage(img.px, 4, 4, 2, div4.data());
    EXPECT_EQ(img(0, 0), 2);   // 11 / 4
    EXPECT_EQ(img(1, 0), 11);  // 47 / 4
    EXPECT_EQ(img(0, 1), 101); // 407 / 4
    EXPECT_EQ(img(1, 1), 0);   // 3 / 4

    std::mt19937 rng(8);
    Image big(7, 11), copy(7, 11);
    big.Random(rng);
    for (int y = 0; y < 7; ++y) {
        std::memcpy(copy.px[y], big.px[y], 11);
    }
    ReduceImage(big.px, 7, 11, 3, div9.data());
    for (int by = 0; by < 2; ++by) {
        for (int bx = 0; bx < 3; ++bx) {
            int s = 0;
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < 3; ++x) {
                    s += copy(3 * bx + x, 3 * by + y);
                }
            }
            EXPECT_EQ(big(bx, by), s / 9);
        }
    }
    EXPECT_EQ(big(10, 6), copy(10, 6)); // partial blocks are not read or written
}

namespace {

// An engine frame record of the given size with a grey image filled by picture(x, y), among
// the records of a run with the program's settings (and the given reduction factor).
struct FrameRecord {
    stillo_test::EngineRecords records;
    MOSAIC_FRAME& f = records.frame;
    MOSAIC_TABLES& t = records.tables;
    MOSAIC_SETTINGS& s = records.settings;
    int32_t rows, cols;
    template <typename Picture>
    FrameRecord(int32_t r, int32_t c, Picture picture, int32_t reduction = 1)
        : records(r, c, Settings(r, c, reduction)), rows(r), cols(c) {
        EXPECT_EQ(records.ok, 1);
        for (int32_t y = 0; y < r; ++y) {
            for (int32_t x = 0; x < c; ++x) {
                f.ppGreyRows[y][x] = picture(x, y);
            }
        }
    }
    static MOSAIC_SETTINGS Settings(int32_t r, int32_t c, int32_t reduction) {
        MOSAIC_SETTINGS settings = stillo_test::ProgramSettings(r, c);
        settings.nReduction = reduction;
        return settings;
    }
    int Extract() { return ExtractFrameFeatures(&f, &t, &s); }
    uint8_t Feature(int32_t x, int32_t y) const { return f.ppCurFeatures[y][x]; }
    uint16_t Word(int32_t y, int32_t w) const {
        return reinterpret_cast<const uint16_t*>(f.ppCurMask[y])[w];
    }
    // Checks that the packed map and its counts describe the feature image.
    void ExpectPackedFeatures() const { stillo_test::ExpectPackedMapOfFeatures(f, rows, cols); }
};

} // namespace

TEST(ExtractFrameFeatures, ABrightSquareGivesItsOutline) {
    // A 40 x 40 square at 180 on 60, in a frame of 120 columns and 100 rows.
    FrameRecord fr(100, 120, [](int32_t x, int32_t y) -> uint8_t {
        return x >= 40 && x < 80 && y >= 30 && y < 70 ? 180 : 60;
    });
    ASSERT_EQ(fr.Extract(), 1);
    fr.ExpectPackedFeatures();
    // Along every row and column through the square, an outline pixel lies within two pixels of
    // each of its sides, and the square's inside stays free of features.
    stillo_test::ExpectSquareOutline(fr.f, {40, 79}, {30, 69}, 3, 3, 5);
}

TEST(ExtractFrameFeatures, UniformFramesAreEmpty) {
    FrameRecord fr(40, 50, [](int32_t, int32_t) -> uint8_t { return 90; });
    std::memset(fr.f.ppCurMask[3], 0xFF, MaskRowBytes(50)); // a stale map must not survive
    ASSERT_EQ(fr.Extract(), 1);
    fr.ExpectPackedFeatures();
    EXPECT_EQ(fr.f.pCurCounts[3], 0);
}

TEST(ExtractFrameFeatures, TinyFramesRunInsideTheirImages) {
    std::mt19937 rng(10);
    for (auto [rows, cols] : {std::pair{6, 8}, {14, 18}, {1, 1}, {3, 16}, {2, 40}}) {
        FrameRecord fr(rows, cols, [&](int32_t, int32_t) { return static_cast<uint8_t>(rng()); });
        ASSERT_EQ(fr.Extract(), 1);
        fr.ExpectPackedFeatures();
    }
}

TEST(ExtractFrameFeatures, ModesWithoutAChain) {
    FrameRecord other(30, 32, [](int32_t x, int32_t) -> uint8_t { return x < 16 ? 20 : 200; });
    other.s.nFeatureMode = 2;
    EXPECT_EQ(other.Extract(), 1);
    EXPECT_EQ(other.Feature(16, 10), 0);
}

TEST(ExtractFrameFeatures, ReductionShrinksTheFrameFirst) {
    FrameRecord fr(
        40, 64,
        [](int32_t x, int32_t y) -> uint8_t {
            return x >= 20 && x < 44 && y >= 10 && y < 30 ? 200 : 40;
        },
        2);
    // The run's reduction table divides each 2 x 2 block's sum by 4.
    for (int i = 0; i < 4 * 256; ++i) {
        ASSERT_EQ(fr.t.pReduceDiv[i], i / 4) << i;
    }
    ASSERT_EQ(fr.Extract(), 1);
    EXPECT_EQ(fr.f.nRows, 20);
    EXPECT_EQ(fr.f.nCols, 32);
    EXPECT_EQ(fr.f.nMaskRows, 20);
    EXPECT_EQ(fr.f.nMaskWords, 2);
}
