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
#include <numeric>
#include <random>
#include <vector>

namespace {

using Pixels = std::vector<uint8_t>;

const std::pair<int, int> kShapes[] = {{1, 1}, {1, 9},   {7, 1},   {2, 2},   {3, 3},  {4, 6},
                                       {9, 5}, {13, 17}, {24, 31}, {51, 52}, {70, 90}};

// A rows x cols image of bytes drawn by pick; by default any byte.
RowImage RandomImage(
    int rows, int cols, std::mt19937& rng,
    const std::function<uint8_t(unsigned)>& pick = [](unsigned v) {
        return static_cast<uint8_t>(v);
    }) {
    RowImage image(rows, cols);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            image[r][c] = pick(rng());
        }
    }
    return image;
}
// Mostly 0 and 255, now and then another value.
uint8_t Binaryish(unsigned v) {
    return v % 10 < 5 ? 255 : (v % 10 < 9 ? 0 : 100);
}

// Checks got(r, c) == want(clipped (2 hr + 1) x (2 hc + 1) window of src about (r, c), r, c).
void ExpectEveryPixel(const char* what, int hr, int hc, const RowImage& src, int rows, int cols,
                      const RowImage& got, const std::function<int(Pixels, int, int)>& want) {
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            Pixels window;
            for (int y = std::max(0, r - hr); y <= std::min(rows - 1, r + hr); ++y) {
                for (int x = std::max(0, c - hc); x <= std::min(cols - 1, c + hc); ++x) {
                    window.push_back(src[y][x]);
                }
            }
            ASSERT_EQ(got[r][c], want(window, r, c))
                << what << " " << rows << "x" << cols << " window " << 2 * hr + 1 << "x"
                << 2 * hc + 1 << " at row " << r << " column " << c;
        }
    }
}

uint16_t U16(int v) {
    return static_cast<uint16_t>(v);
}

int SetPixels(const RowImage& image, int rows, int cols) {
    int n = 0;
    for (int r = 0; r < rows; ++r) {
        n += static_cast<int>(cols - std::count(image[r], image[r] + cols, 0));
    }
    return n;
}

} // namespace

TEST(FilterRows, MeansOfClippedWindowsAsFloatsRoundedAndByTable) {
    const int32_t sums[] = {1, 2, 2}; // 3 / 2 rounds up to 2 where BoxMeanRow gives 1
    uint8_t rounded[3] = {};
    BoxMeanRowRounded(sums, 3, 3, rounded, 1);
    EXPECT_EQ(rounded[0], 2);
    std::mt19937 rng(11);
    for (int n : {1, 2, 4, 5, 6, 30, 97}) {
        for (int window : {1, 3, 5, 9}) {
            // Exactly W * W * 256 entries: a lookup past the table is caught by the sanitizer,
            // and one of a window short of W rows gives a wrong mean.
            std::vector<uint8_t> table(256 * window * window);
            for (size_t i = 0; i < table.size(); ++i) {
                table[i] = static_cast<uint8_t>(i / (window * window));
            }
            for (int count : {1, window, window + 3}) {
                Pixels bytes(n), round(n), byTable(n);
                std::vector<int32_t> colSums(n);
                std::vector<float> floats(n);
                for (int i = 0; i < n; ++i) {
                    bytes[i] = static_cast<uint8_t>(rng());
                    colSums[i] = static_cast<int32_t>(rng() % (255 * count + 1));
                }
                RunningMeanRowFloat(n, window, bytes.data(), floats.data());
                BoxMeanRowRounded(colSums.data(), n, window, round.data(), count);
                BoxMeanRowTable(colSums.data(), n, window, byTable.data(), count, table.data());
                for (int i = 0; i < n; ++i) {
                    int64_t byteSum = 0, colSum = 0, samples = 0;
                    for (int j = std::max(0, i - window / 2); j <= std::min(n - 1, i + window / 2);
                         ++j, ++samples) {
                        byteSum += bytes[j];
                        colSum += colSums[j];
                    }
                    const int64_t d = samples * count;
                    ASSERT_EQ(floats[i], static_cast<float>(byteSum) / static_cast<float>(samples));
                    ASSERT_EQ(round[i], (2 * colSum + d) / (2 * d)) << n << " " << window;
                    ASSERT_EQ(byTable[i], colSum / d) << n << " " << window << " " << count;
                }
            }
        }
    }
}

TEST(FilterRows, ZeroPaddedConvolutionAndSineSquaredKernel) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    for (int n : {1, 2, 3, 8, 40}) {
        for (int window : {1, 3, 5, 11}) {
            std::vector<float> kernel(window), src(n), out(n);
            std::generate(kernel.begin(), kernel.end(), [&] { return value(rng); });
            std::generate(src.begin(), src.end(), [&] { return value(rng); });
            ConvolveRowZeroPadded(n, window, kernel.data(), src.data(), out.data());
            for (int i = 0; i < n; ++i) {
                double want = 0;
                for (int k = 0, j = i - window / 2; k < window; ++k, ++j) {
                    want += j >= 0 && j < n ? double{kernel[k]} * src[j] : 0.0;
                }
                ASSERT_NEAR(out[i], want, 1e-4) << n << " " << window << " at " << i;
            }
        }
    }
    // sin^2(k pi / (n + 1)) normalised: symmetric for even n as for odd.
    for (int n = 1; n <= 40; ++n) {
        std::vector<float> kernel(n);
        SineSquaredKernel(n, kernel.data());
        auto raw = [n](int k) { return std::pow(std::sin(k * std::numbers::pi / (n + 1)), 2); };
        double total = 0;
        for (int k = 1; k <= n; ++k) {
            total += raw(k);
        }
        for (int k = 1; k <= n; ++k) {
            EXPECT_EQ(kernel[k - 1], kernel[n - k]) << "n " << n << " k " << k;
            EXPECT_NEAR(kernel[k - 1], raw(k) / total, 1e-6) << "n " << n << " k " << k;
        }
    }
}

TEST(FilterRows, FloatsBecomeClippedMagnitudes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float in[] = {-3.7f, 300.0f,        254.99f, 255.0f, 0.99f, -0.0f,
                        nan,   2147483648.0f, -1e30f,  inf,    -inf,  17.0f};
    const uint8_t want[] = {3, 255, 254, 255, 0, 0, 0, 255, 255, 255, 255, 17};
    uint8_t out[std::size(in)];
    FloatRowToBytes(std::size(in), in, out);
    for (size_t i = 0; i < std::size(in); ++i) {
        EXPECT_EQ(out[i], want[i]) << in[i];
    }
}

TEST(ImageFilters, GlobalMeanNormalisation) {
    std::mt19937 rng(13);
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng);
        RowImage dst(rows, cols);
        NormaliseGlobalMean(src.get(), U16(rows), U16(cols), dst.get());
        int64_t sum = 0;
        for (int r = 0; r < rows; ++r) {
            sum = std::accumulate(src[r], src[r] + cols, sum);
        }
        const int64_t mean = sum / (rows * cols);
        ExpectEveryPixel("global mean", 0, 0, src, rows, cols, dst, [&](Pixels w, int, int) {
            return mean == 0 ? 0 : static_cast<int>(std::min<int64_t>(255, 128 * w[0] / mean));
        });
    }
    // A dark image whose mean truncates to 0 gives 0, not a division by zero.
    RowImage dark(4, 4), out(4, 4);
    dark[1][2] = 5;
    out[1][2] = 99;
    NormaliseGlobalMean(dark.get(), 4, 4, out.get());
    EXPECT_EQ(out[1][2], 0);
    // 255 over more pixels than a 32-bit sum holds: the mean is still 255, and 255 maps to 128.
    const int big = 4200;
    RowImage white(big, big), norm(big, big);
    for (int r = 0; r < big; ++r) {
        std::memset(white[r], 255, big);
    }
    NormaliseGlobalMean(white.get(), U16(big), U16(big), norm.get());
    EXPECT_EQ(norm[0][0], 128);
    EXPECT_EQ(norm[big - 1][big - 1], 128);
}

TEST(ImageFilters, BoxMeanMedianAndMajorityEqualNaiveClippedWindows) {
    auto mean = [](Pixels w, int, int) {
        return static_cast<int>(std::accumulate(w.begin(), w.end(), 0) / std::ssize(w));
    };
    auto median = [](Pixels w, int, int) {
        std::sort(w.begin(), w.end());
        return static_cast<int>(w[w.size() / 2]); // the upper middle of an even count
    };
    auto majority = [](Pixels w, int, int) {
        return std::count_if(w.begin(), w.end(), [](uint8_t v) { return v; }) > std::ssize(w) / 2
                   ? 255
                   : 0;
    };
    std::mt19937 rng(14);
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng);
        const RowImage binary = RandomImage(rows, cols, rng, Binaryish);
        for (auto [wr, wc] : {std::pair{1, 1}, {3, 3}, {5, 5}, {3, 7}, {7, 3}, {1, 9}, {51, 51}}) {
            const int hr = wr / 2, hc = wc / 2;
            RowImage dst(rows, cols), inPlace(rows, cols);
            if (wr == wc) {
                ASSERT_EQ(BoxMeanImage(src.get(), U16(rows), U16(cols), wr, dst.get()), 1);
                ExpectEveryPixel("box mean", hr, hc, src, rows, cols, dst, mean);
            }
            if (wr > 9) {
                continue; // the naive median and majority are too slow for the widest window
            }
            ASSERT_EQ(MedianFilter(src.get(), U16(rows), U16(cols), wr, wc, dst.get()), 1);
            ExpectEveryPixel("median", hr, hc, src, rows, cols, dst, median);
            if (wr == wc && wr >= 3) {
                MajorityFilter(binary.get(), dst.get(), U16(rows), U16(cols), wr);
                ExpectEveryPixel("majority", hr, hc, binary, rows, cols, dst, majority);
            }
            for (int r = 0; r < rows; ++r) {
                std::memcpy(inPlace[r], binary[r], cols);
            }
            ASSERT_EQ(MajorityFilterInPlace(inPlace.get(), U16(rows), U16(cols), wr, wc), 1);
            ExpectEveryPixel("majority in place", hr, hc, binary, rows, cols, inPlace, majority);
        }
    }
    const int32_t none[256] = {};
    EXPECT_EQ(HistogramMedian(none, 0), 0); // no level exceeds half of nothing
}

TEST(FiltersDeathTest, WindowsOutsideTheirLimitsEndTheProcess) {
    RowImage img(8, 8), dst(8, 8);
    float kernel[4] = {}, row[8] = {}, out[8] = {};
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"box mean, even", [&] { BoxMeanImage(img.get(), 8, 8, 4, dst.get()); }},
        {"median, even height", [&] { MedianFilter(img.get(), 8, 8, 2, 3, dst.get()); }},
        {"median, even width", [&] { MedianFilter(img.get(), 8, 8, 3, 4, dst.get()); }},
        {"majority, even", [&] { MajorityFilter(img.get(), dst.get(), 8, 8, 4); }},
        {"majority, below 3", [&] { MajorityFilter(img.get(), dst.get(), 8, 8, 1); }},
        {"majority in place, even height", [&] { MajorityFilterInPlace(img.get(), 8, 8, 2, 3); }},
        {"majority in place, even width", [&] { MajorityFilterInPlace(img.get(), 8, 8, 3, 0); }},
        {"zero-padded convolution, even", [&] { ConvolveRowZeroPadded(8, 4, kernel, row, out); }},
    };
    for (const auto& [what, call] : cases) {
        EXPECT_EXIT(call(), testing::ExitedWithCode(1), "") << what;
    }
}

TEST(Outlines, ARectangleGivesItsRing) {
    // A 12 x 7 rectangle: both outline rules keep its inner ring of 2w + 2h - 4 pixels; the
    // thinning pass then takes its four corners, which only thicken the ring.
    const int w = 12, h = 7, x0 = 8, y0 = 5;
    RowImage rect(20, 30), four(20, 30), eight(20, 30), listed(20, 30);
    for (int y = y0; y < y0 + h; ++y) {
        std::memset(rect[y] + x0, 255, w);
    }
    RegionBoundariesToImage(rect.get(), 20, 30, four.get());
    OutlineAndThin(rect.get(), 20, 30, eight.get());
    int32_t count = -1;
    ASSERT_EQ(OutlinePointsAndThin(rect.get(), 20, 30, listed.get(), &count), 1);
    EXPECT_EQ(count, 2 * w + 2 * h - 8);
    EXPECT_EQ(SetPixels(four, 20, 30), 2 * w + 2 * h - 4);
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            const bool sideX = x == x0 || x == x0 + w - 1, sideY = y == y0 || y == y0 + h - 1;
            ASSERT_EQ(four[y][x], sideX || sideY ? 255 : 0) << x << "," << y;
            ASSERT_EQ(eight[y][x], (sideX || sideY) && !(sideX && sideY) ? 255 : 0)
                << x << "," << y;
            ASSERT_EQ(listed[y][x], eight[y][x]) << x << "," << y;
        }
    }
    EXPECT_EQ(SetPixels(eight, 20, 30), count);
}

TEST(Outlines, EqualTheNeighbourRulesAndTheThinningPassAtAnySize) {
    std::mt19937 rng(15);
    for (auto [rows, cols] : kShapes) {
        const RowImage src = RandomImage(rows, cols, rng, Binaryish);
        // The four-neighbour rule is the region features' own, here written to a second image.
        RowImage four(rows, cols), inPlace(rows, cols), want(rows, cols);
        for (int r = 0; r < rows; ++r) {
            std::memcpy(inPlace[r], src[r], cols);
            std::memset(four[r], 9, cols); // stale contents must not survive
        }
        RegionBoundariesToImage(src.get(), U16(rows), U16(cols), four.get());
        ASSERT_EQ(ExtractRegionBoundaries(inPlace.get(), rows, cols), 1);
        // The eight-neighbour outline from its definition, thinned by the engine's thinning pass.
        for (int r = 1; r + 1 < rows; ++r) {
            for (int c = 1; c + 1 < cols; ++c) {
                bool zero = false;
                for (int k = 0; k < 9; ++k) {
                    zero |= src[r + k / 3 - 1][c + k % 3 - 1] == 0;
                }
                want[r][c] = src[r][c] != 0 && zero ? 255 : 0;
            }
        }
        int percent = 0, pixels = 0;
        ThinEdges(want.get(), U16(rows), U16(cols), &percent, &pixels);
        RowImage thinned = RandomImage(rows, cols, rng), listed(rows, cols);
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

TEST(EdgeDirectionCodes, HalfwayBetweenTheFirstTwoNeighboursFacingTheBrighterSide) {
    // A horizontal line: neighbours at directions 0 and 4, angle 90, code 62; brighter beyond
    // direction 2 (the next row) it turns to 270, code 188.
    for (const auto& [brightAbove, code] : {std::pair{false, 62}, std::pair{true, 188}}) {
        RowImage grey(5, 7), edges(5, 7), dst(5, 7);
        std::memset(edges[2], 255, 7);
        std::memset(grey[brightAbove ? 3 : 1], 200, 7);
        EdgeDirectionCodes(grey.get(), edges.get(), 5, 7, dst.get());
        EXPECT_EQ(dst[2][3], code) << brightAbove;
    }
    const int dr[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    const int dc[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    std::mt19937 rng(16);
    for (auto [rows, cols] : kShapes) {
        const RowImage grey = RandomImage(rows, cols, rng);
        const RowImage edges = RandomImage(rows, cols, rng, [](unsigned v) {
            return static_cast<uint8_t>(v % 4 == 0 ? 255 : (v % 4 == 1 ? 254 : 0));
        });
        RowImage dst = RandomImage(rows, cols, rng); // every pixel must be written
        EdgeDirectionCodes(grey.get(), edges.get(), U16(rows), U16(cols), dst.get());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                std::vector<int> k; // the first two neighbours on the edge
                const bool interior = r > 0 && c > 0 && r < rows - 1 && c < cols - 1;
                for (int d = 0; interior && edges[r][c] == 255 && d < 8 && k.size() < 2; ++d) {
                    if (edges[r + dr[d]][c + dc[d]] == 255) {
                        k.push_back(d);
                    }
                }
                int want = 0;
                if (k.size() == 2) {
                    const int a = (k[0] + 2) % 8, b = (k[1] + 2) % 8;
                    const bool turn = grey[r + dr[a]][c + dc[a]] < grey[r + dr[b]][c + dc[b]];
                    const int angle = ((k[0] + k[1]) * 45 / 2 + (turn ? 180 : 0)) % 360;
                    want = static_cast<int>(static_cast<float>(angle) * 0.6981317f);
                }
                ASSERT_EQ(dst[r][c], want) << rows << "x" << cols << " at " << r << "," << c;
            }
        }
    }
}
