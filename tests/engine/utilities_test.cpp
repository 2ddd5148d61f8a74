// The spare engine routines: square roots against an exact root, the shifts against their
// per-pixel rule, the mirrored convolution against an explicitly reflected row, and the
// anti-transpose by its round trip.
#include "engine/image.h"
#include "engine/utilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// Every square root at x; the table estimate by its bounds.
void ExpectRoots(uint64_t x) {
    auto root = static_cast<uint64_t>(std::sqrt(static_cast<double>(x)));
    root -= root * root > x;
    root += (root + 1) * (root + 1) <= x;
    ASSERT_EQ(IntSqrtBitwise(static_cast<uint32_t>(x)), root) << x;
    ASSERT_EQ(IntSqrtNewton(static_cast<uint32_t>(x)), root) << x;
    if (x <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        const auto sx = static_cast<int32_t>(x);
        ASSERT_EQ(IntSqrtByTable(sx), static_cast<int32_t>(root)) << x;
        ASSERT_LE(IntSqrtTableEstimate(sx), static_cast<int32_t>(root)) << x;
        ASSERT_GE(IntSqrtTableEstimate(sx), x < 256 ? root : 0.94 * root) << x;
    }
}

// Random bytes, about one in markEvery of them 255 and none of the others.
RowImage RandomImage(int rows, int bytesPerRow, std::mt19937& rng, unsigned markEvery = 256) {
    RowImage image(rows, bytesPerRow);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < bytesPerRow; ++c) {
            image[r][c] = static_cast<uint8_t>(rng() % markEvery == 0 ? 255 : rng() % 255);
        }
    }
    return image;
}

// got(x, y) = src(x - wx, y + wy) where that lies inside (only marked pixels when marked;
// from `values` at that place when given), else 0.
void ExpectShifted(const RowImage& got, const RowImage& src, int rows, int cols, int64_t wx,
                   int64_t wy, bool marked, const RowImage* values = nullptr) {
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const int64_t sx = x - wx, sy = y + wy;
            const bool inside = sx >= 0 && sx < cols && sy >= 0 && sy < rows;
            const bool moves = inside && (!marked || src[sy][sx] == 255);
            ASSERT_EQ(got[y][x], moves ? (values ? *values : src)[sy][sx] : 0)
                << rows << "x" << cols << " by " << wx << "," << wy << " at " << x << "," << y;
        }
    }
}

} // namespace

TEST(IntegerSquareRoots, ExhaustiveBelowTwoToTheTwentyAndAroundEverySquare) {
    EXPECT_EQ(IntSqrtByTable(-5), -1);
    EXPECT_EQ(IntSqrtByTable(std::numeric_limits<int32_t>::min()), -1);
    EXPECT_EQ(IntSqrtTableEstimate(-1), -1);
    EXPECT_EQ(IntSqrtByTable(2147483647), 46340);
    EXPECT_EQ(IntSqrtNewton(4294967295u), 65535u);
    for (uint64_t x = 0; x <= (1u << 20); ++x) {
        ExpectRoots(x);
    }
    for (uint64_t k = 1; k <= 65535; ++k) {
        ExpectRoots(k * k - 1);
        ExpectRoots(k * k);
        ExpectRoots(k * k + 1);
    }
    ExpectRoots(4294967295u);
    std::mt19937 rng(21);
    for (int i = 0; i < 2000000; ++i) {
        ExpectRoots(rng());
    }
}

TEST(UtilitiesDeathTest, ValuesOutsideTheirLimitsEndTheProcessWithStatusOne) {
    for (int32_t v : {1, 2, 3}) {
        EXPECT_EQ(RequireOneToThree(v), 1);
    }
    for (int32_t v : {0, 4, -1}) {
        EXPECT_EXIT(RequireOneToThree(v), testing::ExitedWithCode(1), "") << v;
    }
    float kernel[2] = {}, row[4] = {}, out[4] = {};
    EXPECT_EXIT(ConvolveRowMirrored(4, 2, kernel, row, out), testing::ExitedWithCode(1), "");
}

TEST(ImageShifts, WholeOffsetsOfAnySize) {
    std::mt19937 rng(22);
    const int kMax = std::numeric_limits<int32_t>::max(),
              kMin = std::numeric_limits<int32_t>::min();
    for (auto [rows, cols] : {std::pair{1, 1}, {1, 7}, {6, 1}, {5, 8}, {23, 17}}) {
        const RowImage src = RandomImage(rows, cols, rng, 3);
        for (auto [dx, dy] : {std::pair{0, 0},
                              {1, 0},
                              {0, 1},
                              {-3, 2},
                              {4, -5},
                              {7, 0},
                              {-7, 0},
                              {0, 23},
                              {0, -23},
                              {8, 5},
                              {kMax, 0},
                              {kMin, 0},
                              {0, kMax},
                              {0, kMin}}) {
            // Stale destinations: every pixel without a source must come out 0.
            RowImage shifted = RandomImage(rows, cols, rng), marked = RandomImage(rows, cols, rng);
            ASSERT_EQ(ShiftImage(src.get(), rows, cols, dx, dy, shifted.get()), 1);
            ASSERT_EQ(ShiftMarkedPixels(src.get(), rows, cols, dx, dy, marked.get()), rows);
            ExpectShifted(shifted, src, rows, cols, dx, dy, false);
            ExpectShifted(marked, src, rows, cols, dx, dy, true);
        }
    }
}

TEST(ImageShifts, FractionalOffsetsRoundToNearestWithHalvesDown) {
    std::mt19937 rng(23);
    const int rows = 9, cols = 11;
    const RowImage a = RandomImage(rows, cols, rng, 3), b = RandomImage(rows, cols, rng);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The pair of images moves by the rounded offsets, a marked pixel of row r to round(r - dy),
    // which differs at halves; 99 moves every pixel out.
    const struct {
        float dx, dy;
        int wx, wy, markedWy;
    } cases[] = {{0.4f, -0.4f, 0, 0, 0}, {2.5f, 1.5f, 2, 1, 2}, {-2.5f, -1.5f, -3, -2, -1},
                 {1.6f, 2.7f, 2, 3, 3},  {1e20f, 0, 99, 0, 0},  {0, -1e20f, 0, 99, 99},
                 {nan, 0, 99, 0, 0},     {0, nan, 0, 99, 99}};
    for (const auto& t : cases) {
        RowImage p1 = RandomImage(rows, cols, rng), p2 = RandomImage(rows, cols, rng);
        RowImage m1 = RandomImage(rows, cols, rng), m2 = RandomImage(rows, cols, rng);
        ShiftImagePairRounded(a.get(), b.get(), rows, cols, t.dx, t.dy, p1.get(), p2.get());
        ASSERT_EQ(
            ShiftMarkedPixelPair(a.get(), b.get(), rows, cols, t.dx, t.dy, m1.get(), m2.get()),
            rows);
        ExpectShifted(p1, a, rows, cols, t.wx, t.wy, false);
        ExpectShifted(p2, b, rows, cols, t.wx, t.wy, false);
        ExpectShifted(m1, a, rows, cols, t.wx, t.markedWy, true);
        ExpectShifted(m2, a, rows, cols, t.wx, t.markedWy, true, &b);
    }
}

TEST(ConvolveRowMirrored, EqualsTheConvolutionOfTheReflectedRow) {
    std::mt19937 rng(24);
    std::uniform_real_distribution<float> value(-5.0f, 5.0f);
    for (int n : {1, 2, 3, 4, 9, 30}) {
        for (int window : {1, 3, 5, 9, 13}) {
            const int h = window / 2;
            std::vector<float> kernel(window), src(n), out(n, 1e9f), wide;
            std::generate(kernel.begin(), kernel.end(), [&] { return value(rng); });
            std::generate(src.begin(), src.end(), [&] { return value(rng); });
            // The row reflected about its end samples, again and again, h samples each way.
            for (int j = -h; j < n + h; ++j) {
                int k = j;
                while (k < 0 || k >= n) {
                    k = n == 1 ? 0 : (k < 0 ? -k : 2 * (n - 1) - k);
                }
                wide.push_back(src[k]);
            }
            ConvolveRowMirrored(n, window, kernel.data(), src.data(), out.data());
            for (int i = 0; i < n; ++i) {
                double want = double{kernel[h]} * src[i];
                for (int d = 1; d <= h; ++d) {
                    want += double{kernel[h + d]} * (wide[i + h - d] + wide[i + h + d]);
                }
                ASSERT_NEAR(out[i], want, 1e-3) << n << " " << window << " at " << i;
            }
        }
    }
}

TEST(AntiTransposeRGB, ReflectsAboutTheAntiDiagonalAndTwiceIsTheIdentity) {
    std::mt19937 rng(25);
    for (auto [rows, cols] : {std::pair{1, 1}, {1, 6}, {5, 1}, {4, 7}, {31, 18}}) {
        const RowImage src = RandomImage(rows, 3 * cols, rng);
        RowImage once(cols, 3 * rows), twice(rows, 3 * cols);
        AntiTransposeRGB(src.get(), rows, cols, once.get());
        AntiTransposeRGB(once.get(), cols, rows, twice.get());
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                ASSERT_EQ(std::memcmp(once[cols - 1 - c] + 3 * (rows - 1 - r), src[r] + 3 * c, 3),
                          0)
                    << rows << "x" << cols << " at " << r << "," << c;
            }
            ASSERT_EQ(std::memcmp(twice[r], src[r], 3 * cols), 0) << rows << "x" << cols;
        }
    }
}
