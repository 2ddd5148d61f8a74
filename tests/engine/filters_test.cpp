// The further filters against plain clipped-window versions written from their definitions,
// on random images of every shape from 1 x 1 to 70 x 90.
#include "engine/edges.h"
#include "engine/filters.h"
#include "engine/image.h"
#include "engine/regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

const std::pair<int, int> kShapes[] = {{1, 1}, {1, 9},   {7, 1},   {2, 2},   {3, 3},  {4, 6},
                                       {9, 5}, {13, 17}, {24, 31}, {51, 52}, {70, 90}};

// A rows x cols image of random bytes drawn from pick(rng).
RowImage RandomImage(int rows, int cols, std::mt19937& rng,
                     const std::function<uint8_t(std::mt19937&)>& pick) {
    RowImage image(rows, cols);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            image[r][c] = pick(rng);
        }
    }
    return image;
}
uint8_t AnyByte(std::mt19937& rng) {
    return static_cast<uint8_t>(rng());
}
// Mostly 0 and 255, now and then another value.
uint8_t Binaryish(std::mt19937& rng) {
    const unsigned v = rng() % 10;
    return v < 5 ? 255 : (v < 9 ? 0 : 100);
}

// The pixels of the clipped (2 hr + 1) x (2 hc + 1) window of (r, c).
std::vector<uint8_t> Window(const RowImage& image, int rows, int cols, int r, int c, int hr,
                            int hc) {
    std::vector<uint8_t> pixels;
    for (int y = std::max(0, r - hr); y <= std::min(rows - 1, r + hr); ++y) {
        for (int x = std::max(0, c - hc); x <= std::min(cols - 1, c + hc); ++x) {
            pixels.push_back(image[y][x]);
        }
    }
    return pixels;
}

// Checks filter(src) == want(window of each pixel) at every pixel of every shape.
void ExpectEveryPixel(const char* what, int hr, int hc, const RowImage& src, int rows, int cols,
                      const RowImage& got,
                      const std::function<int(const std::vector<uint8_t>&, int, int)>& want) {
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            ASSERT_EQ(got[r][c], want(Window(src, rows, cols, r, c, hr, hc), r, c))
                << what << " " << rows << "x" << cols << " window " << 2 * hr + 1 << "x"
                << 2 * hc + 1 << " at row " << r << " column " << c;
        }
    }
}

uint16_t U16(int v) {
    return static_cast<uint16_t>(v);
}

} // namespace

TEST(FilterRows, MeansOfClippedWindowsTruncatedRoundedAndByTable) {
    // 3 / 2 = 1.5 rounds up where the truncated mean gives 1.
    const int32_t sums[] = {1, 2, 2};
    uint8_t rounded[3], truncated[3];
    BoxMeanRowRounded(sums, 3, 3, rounded, 1);
    BoxMeanRow(sums, 3, 3, truncated, 1);
    EXPECT_EQ(rounded[0], 2);
    EXPECT_EQ(truncated[0], 1);

    std::mt19937 rng(11);
    for (int n : {1, 2, 4, 5, 6, 30, 97}) {
        for (int window : {1, 3, 5, 9}) {
            // A table of exactly W * W * 256 entries: a lookup past it is caught by the sanitizer.
            std::vector<uint8_t> table(static_cast<size_t>(256 * window * window));
            for (size_t i = 0; i < table.size(); ++i) {
                table[i] = static_cast<uint8_t>(i / (window * window));
            }
            for (int count : {1, window - 1, window, window + 3}) {
                if (count < 1) {
                    continue;
                }
                std::vector<uint8_t> bytes(n);
                std::vector<int32_t> colSums(n);
                for (int i = 0; i < n; ++i) {
                    bytes[i] = static_cast<uint8_t>(rng());
                    colSums[i] = static_cast<int32_t>(rng() % (255 * count + 1));
                }
                std::vector<float> floatMeans(n);
                std::vector<uint8_t> round(n), byTable(n);
                RunningMeanRowFloat(n, window, bytes.data(), floatMeans.data());
                BoxMeanRowRounded(colSums.data(), n, window, round.data(), count);
                BoxMeanRowTable(colSums.data(), n, window, byTable.data(), count, table.data());
                for (int i = 0; i < n; ++i) {
                    int64_t byteSum = 0, colSum = 0, samples = 0;
                    for (int j = std::max(0, i - window / 2); j <= std::min(n - 1, i + window / 2);
                         ++j) {
                        byteSum += bytes[j];
                        colSum += colSums[j];
                        ++samples;
                    }
                    const int64_t d = samples * count;
                    ASSERT_EQ(floatMeans[i],
                              static_cast<float>(byteSum) / static_cast<float>(samples))
                        << n << " " << window << " at " << i;
                    ASSERT_EQ(round[i], (2 * colSum + d) / (2 * d)) << n << " " << window;
                    ASSERT_EQ(byTable[i], colSum / d) << n << " " << window << " " << count;
                }
            }
        }
    }
}

TEST(FilterRows, ZeroPaddedConvolutionTakesOnlySamplesInTheRow) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    for (int n : {1, 2, 3, 8, 40}) {
        for (int window : {1, 3, 5, 7, 11}) {
            std::vector<float> kernel(window), src(n), out(n);
            for (float& k : kernel) {
                k = value(rng);
            }
            for (float& s : src) {
                s = value(rng);
            }
            ConvolveRowZeroPadded(n, window, kernel.data(), src.data(), out.data());
            for (int i = 0; i < n; ++i) {
                double want = 0;
                for (int k = 0; k < window; ++k) {
                    const int j = i - window / 2 + k;
                    want += j >= 0 && j < n ? double{kernel[k]} * src[j] : 0.0;
                }
                ASSERT_NEAR(out[i], want, 1e-4) << n << " " << window << " at " << i;
            }
        }
    }
}

TEST(FilterRows, SineSquaredKernelIsANormalisedSymmetricRaisedCosine) {
    for (int n = 1; n <= 40; ++n) {
        std::vector<float> kernel(n);
        SineSquaredKernel(n, kernel.data());
        double sum = 0, raw = 0;
        for (int k = 1; k <= n; ++k) {
            raw += std::pow(std::sin(k * std::numbers::pi / (n + 1)), 2);
        }
        for (int k = 1; k <= n; ++k) {
            sum += kernel[k - 1];
            EXPECT_EQ(kernel[k - 1], kernel[n - k]) << "n " << n << " k " << k;
            EXPECT_NEAR(kernel[k - 1], std::pow(std::sin(k * std::numbers::pi / (n + 1)), 2) / raw,
                        1e-6)
                << "n " << n << " k " << k;
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << n;
    }
}

TEST(FilterRows, FloatsBecomeClippedMagnitudes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float in;
        uint8_t out;
    } cases[] = {{-3.7f, 3},    {300.0f, 255}, {254.99f, 254}, {255.0f, 255},
                 {0.99f, 0},    {-0.0f, 0},    {nan, 0},       {2147483648.0f, 255},
                 {-1e30f, 255}, {inf, 255},    {-inf, 255},    {17.0f, 17}};
    for (const auto& c : cases) {
        uint8_t out = 77;
        FloatRowToBytes(1, &c.in, &out);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(ImageFilters, GlobalMeanNormalisation) {
    std::mt19937 rng(13);
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng, AnyByte);
        RowImage dst(rows, cols);
        NormaliseGlobalMean(src.get(), U16(rows), U16(cols), dst.get());
        int64_t sum = 0;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                sum += src[r][c];
            }
        }
        const int64_t mean = sum / (rows * cols);
        ExpectEveryPixel(
            "global mean", 0, 0, src, rows, cols, dst,
            [&](const std::vector<uint8_t>& w, int, int) {
                return mean == 0 ? 0 : static_cast<int>(std::min<int64_t>(255, 128 * w[0] / mean));
            });
    }
    // A dark image whose mean truncates to 0 gives 0, not a division by zero.
    RowImage dark(4, 4), out(4, 4);
    dark[1][2] = 5;
    out[1][2] = 99;
    NormaliseGlobalMean(dark.get(), 4, 4, out.get());
    EXPECT_EQ(out[1][2], 0);
    // 255 over more pixels than a 32-bit sum holds: the mean is still 255, so 255 maps to 128.
    const int big = 4200;
    RowImage white(big, big), norm(big, big);
    ClearImage(white.get(), big, big);
    for (int r = 0; r < big; ++r) {
        std::memset(white[r], 255, big);
    }
    NormaliseGlobalMean(white.get(), U16(big), U16(big), norm.get());
    EXPECT_EQ(norm[0][0], 128);
    EXPECT_EQ(norm[big - 1][big - 1], 128);
}

TEST(ImageFilters, BoxMeanMedianAndMajorityEqualNaiveClippedWindows) {
    std::mt19937 rng(14);
    const std::pair<int, int> windows[] = {{1, 1}, {3, 3}, {5, 5},  {3, 7},
                                           {7, 3}, {1, 9}, {51, 51}};
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng, AnyByte);
        const RowImage binary = RandomImage(rows, cols, rng, Binaryish);
        for (auto [wr, wc] : windows) {
            const int hr = wr / 2, hc = wc / 2;
            RowImage dst(rows, cols);
            if (wr == wc) {
                ASSERT_EQ(BoxMeanImage(src.get(), U16(rows), U16(cols), wr, dst.get()), 1);
                ExpectEveryPixel("box mean", hr, hc, src, rows, cols, dst,
                                 [](const std::vector<uint8_t>& w, int, int) {
                                     int64_t s = 0;
                                     for (uint8_t v : w) {
                                         s += v;
                                     }
                                     return static_cast<int>(s / static_cast<int64_t>(w.size()));
                                 });
            }
            if (wr > 9) {
                continue; // the naive median and majority are too slow for the widest window
            }
            ASSERT_EQ(MedianFilter(src.get(), U16(rows), U16(cols), wr, wc, dst.get()), 1);
            ExpectEveryPixel("median", hr, hc, src, rows, cols, dst,
                             [](std::vector<uint8_t> w, int, int) {
                                 std::sort(w.begin(), w.end());
                                 return static_cast<int>(w[w.size() / 2]); // the upper middle
                             });
            auto majority = [](const std::vector<uint8_t>& w, int, int) {
                const auto set = std::count_if(w.begin(), w.end(), [](uint8_t v) { return v; });
                return set > static_cast<std::ptrdiff_t>(w.size() / 2) ? 255 : 0;
            };
            if (wr == wc && wr >= 3) {
                MajorityFilter(binary.get(), dst.get(), U16(rows), U16(cols), wr);
                ExpectEveryPixel("majority", hr, hc, binary, rows, cols, dst, majority);
            }
            RowImage inPlace(rows, cols);
            for (int r = 0; r < rows; ++r) {
                std::memcpy(inPlace[r], binary[r], cols);
            }
            ASSERT_EQ(MajorityFilterInPlace(inPlace.get(), U16(rows), U16(cols), wr, wc), 1);
            ExpectEveryPixel("majority in place", hr, hc, binary, rows, cols, inPlace, majority);
        }
    }
}

TEST(ImageFilters, MedianAndMajorityCornerCases) {
    const int32_t fourValues[256] = {0, 1, 1, 1, 1};
    EXPECT_EQ(HistogramMedian(fourValues, 4), 3); // of 1, 2, 3, 4 the upper middle
    const int32_t none[256] = {};
    EXPECT_EQ(HistogramMedian(none, 0), 0);
    EXPECT_EQ(HistogramMedian(fourValues, 9), 0); // no level reaches the share

    RowImage dot(6, 6), out(6, 6);
    dot[3][3] = 255; // 1 of 9 is no majority
    MajorityFilter(dot.get(), out.get(), 6, 6, 3);
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(std::count(out[r], out[r] + 6, 0), 6) << r;
    }
    RowImage corner(6, 6);
    corner[0][0] = corner[0][1] = corner[1][0] = corner[1][1] = 255; // 4 of the corner's 4
    MajorityFilter(corner.get(), out.get(), 6, 6, 3);
    EXPECT_EQ(out[0][0], 255);
    EXPECT_EQ(out[0][1], 255); // 4 of the edge window's 6
    EXPECT_EQ(out[1][1], 0);   // 4 of 9 is no majority
}

TEST(FiltersDeathTest, WindowsOutsideTheirLimitsEndTheProcess) {
    RowImage img(8, 8), dst(8, 8);
    float kernel[4] = {}, row[8] = {}, out[8] = {};
    const struct {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"box mean, even", [&] { BoxMeanImage(img.get(), 8, 8, 4, dst.get()); }},
        {"median, even height", [&] { MedianFilter(img.get(), 8, 8, 2, 3, dst.get()); }},
        {"median, even width", [&] { MedianFilter(img.get(), 8, 8, 3, 4, dst.get()); }},
        {"majority, even", [&] { MajorityFilter(img.get(), dst.get(), 8, 8, 4); }},
        {"majority, below 3", [&] { MajorityFilter(img.get(), dst.get(), 8, 8, 1); }},
        {"majority in place, even height", [&] { MajorityFilterInPlace(img.get(), 8, 8, 2, 3); }},
        {"majority in place, even width", [&] { MajorityFilterInPlace(img.get(), 8, 8, 3, 0); }},
        {"zero-padded convolution, even", [&] { ConvolveRowZeroPadded(8, 4, kernel, row, out); }},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(c.call(), testing::ExitedWithCode(1), "") << c.what;
    }
}

namespace {

// A w x h rectangle of 255 at (x0, y0) in a rows x cols image.
RowImage Rectangle(int rows, int cols, int x0, int y0, int w, int h) {
    RowImage image(rows, cols);
    for (int y = y0; y < y0 + h; ++y) {
        std::memset(image[y] + x0, 255, w);
    }
    return image;
}

int SetPixels(const RowImage& image, int rows, int cols) {
    int n = 0;
    for (int r = 0; r < rows; ++r) {
        n += static_cast<int>(cols - std::count(image[r], image[r] + cols, 0));
    }
    return n;
}

// The eight-neighbour outline of the non-zero pixels, border cleared, from the definition.
RowImage NaiveOutline(const RowImage& src, int rows, int cols) {
    RowImage out(rows, cols);
    for (int r = 1; r + 1 < rows; ++r) {
        for (int c = 1; c + 1 < cols; ++c) {
            bool zeroNeighbour = false;
            for (int dr = -1; dr <= 1; ++dr) {
                for (int dc = -1; dc <= 1; ++dc) {
                    zeroNeighbour |= src[r + dr][c + dc] == 0;
                }
            }
            out[r][c] = src[r][c] != 0 && zeroNeighbour ? 255 : 0;
        }
    }
    return out;
}

} // namespace

TEST(Outlines, ARectangleGivesItsRing) {
    // A 12 x 7 rectangle: both outline rules keep its inner ring of 2w + 2h - 4 pixels; the
    // thinning pass then takes its four corners, which only thicken the ring.
    const int w = 12, h = 7;
    const RowImage rect = Rectangle(20, 30, 8, 5, w, h);
    RowImage four(20, 30), eight(20, 30), listed(20, 30);
    RegionBoundariesToImage(rect.get(), 20, 30, four.get());
    OutlineAndThin(rect.get(), 20, 30, eight.get());
    int32_t count = -1;
    ASSERT_EQ(OutlinePointsAndThin(rect.get(), 20, 30, listed.get(), &count), 1);
    EXPECT_EQ(count, 2 * w + 2 * h - 8);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            const bool inside = x >= 8 && x < 8 + w && y >= 5 && y < 5 + h;
            const bool sideX = x == 8 || x == 7 + w, sideY = y == 5 || y == 4 + h;
            const bool ring = inside && (sideX || sideY);
            const bool corner = inside && sideX && sideY;
            ASSERT_EQ(four[y][x], ring ? 255 : 0) << x << "," << y;
            ASSERT_EQ(eight[y][x], ring && !corner ? 255 : 0) << x << "," << y;
            ASSERT_EQ(listed[y][x], eight[y][x]) << x << "," << y;
        }
    }
}

TEST(Outlines, EqualTheNeighbourRulesAndTheThinningPassAtAnySize) {
    std::mt19937 rng(15);
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng, Binaryish);
        // The four-neighbour rule is the region features' own, written to a second image.
        RowImage four(rows, cols), inPlace(rows, cols);
        std::memset(four[0], 9, cols); // stale contents must not survive
        RegionBoundariesToImage(src.get(), U16(rows), U16(cols), four.get());
        for (int r = 0; r < rows; ++r) {
            std::memcpy(inPlace[r], src[r], cols);
        }
        ASSERT_EQ(ExtractRegionBoundaries(inPlace.get(), rows, cols), 1);
        // The eight-neighbour outline, thinned by the engine's one thinning pass.
        RowImage want = NaiveOutline(src, rows, cols);
        const int outlinePoints = SetPixels(want, rows, cols);
        int percent = 0, pixels = 0;
        ThinEdges(want.get(), U16(rows), U16(cols), &percent, &pixels);
        ASSERT_EQ(pixels, outlinePoints);
        RowImage thinned(rows, cols), listed(rows, cols);
        std::memset(thinned[rows - 1], 9, cols);
        OutlineAndThin(src.get(), U16(rows), U16(cols), thinned.get());
        int32_t count = -1;
        ASSERT_EQ(OutlinePointsAndThin(src.get(), U16(rows), U16(cols), listed.get(), &count), 1);
        EXPECT_EQ(count, SetPixels(want, rows, cols)) << rows << "x" << cols;
        for (int r = 0; r < rows; ++r) {
            ASSERT_EQ(std::memcmp(four[r], inPlace[r], cols), 0) << rows << "x" << cols << " " << r;
            ASSERT_EQ(std::memcmp(thinned[r], want[r], cols), 0) << rows << "x" << cols << " " << r;
            ASSERT_EQ(std::memcmp(listed[r], want[r], cols), 0) << rows << "x" << cols << " " << r;
        }
    }
}

namespace {

// The direction code of one interior pixel, from the definition; 0 where none is formed.
int NaiveDirectionCode(const RowImage& grey, const RowImage& edges, int r, int c) {
    const int dr[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    const int dc[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    if (edges[r][c] != 255) {
        return 0;
    }
    std::vector<int> found;
    for (int k = 0; k < 8 && found.size() < 2; ++k) {
        if (edges[r + dr[k]][c + dc[k]] == 255) {
            found.push_back(k);
        }
    }
    if (found.size() < 2) {
        return 0;
    }
    const int k1 = found[0], k2 = found[1];
    const int a = (k1 + 2) % 8, b = (k2 + 2) % 8;
    const int angle =
        ((k1 + k2) * 45 / 2 + (grey[r + dr[a]][c + dc[a]] < grey[r + dr[b]][c + dc[b]] ? 180 : 0)) %
        360;
    return static_cast<int>(static_cast<float>(angle) * 0.6981317f);
}

} // namespace

TEST(EdgeDirectionCodes, HalfwayBetweenTheFirstTwoNeighboursFacingTheBrighterSide) {
    // A horizontal line: neighbours at directions 0 and 4, angle 90, code 62; brighter on the
    // far side of direction 2 (the next row) it turns to 270, code 188.
    for (const auto& [brightAbove, code] : {std::pair{false, 62}, std::pair{true, 188}}) {
        RowImage grey(5, 7), edges(5, 7), dst(5, 7);
        std::memset(edges[2], 255, 7);
        std::memset(grey[brightAbove ? 3 : 1], 200, 7);
        EdgeDirectionCodes(grey.get(), edges.get(), 5, 7, dst.get());
        EXPECT_EQ(dst[2][3], code) << brightAbove;
        EXPECT_EQ(dst[2][0], 0);
    }
    std::mt19937 rng(16);
    for (auto [rows, cols] : kShapes) {
        const RowImage grey = RandomImage(rows, cols, rng, AnyByte);
        const RowImage edges = RandomImage(rows, cols, rng, [](std::mt19937& g) {
            return static_cast<uint8_t>(g() % 4 == 0 ? 255 : 0);
        });
        RowImage dst = RandomImage(rows, cols, rng, AnyByte); // every pixel must be written
        EdgeDirectionCodes(grey.get(), edges.get(), U16(rows), U16(cols), dst.get());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                const bool border = r == 0 || c == 0 || r == rows - 1 || c == cols - 1;
                ASSERT_EQ(dst[r][c], border ? 0 : NaiveDirectionCode(grey, edges, r, c))
                    << rows << "x" << cols << " at " << r << "," << c;
            }
        }
    }
}
