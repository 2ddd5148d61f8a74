// The spare engine routines: square roots against a double-precision root, the shifts against
// a per-pixel version of their rule, the mirrored convolution against an explicitly reflected
// row, and the anti-transpose by its round trip.
#include "engine/image.h"
#include "engine/utilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// floor(sqrt(x)), exact for every 32-bit x.
uint32_t Root(uint64_t x) {
    auto r = static_cast<uint64_t>(std::sqrt(static_cast<double>(x)));
    while (r * r > x) {
        --r;
    }
    while ((r + 1) * (r + 1) <= x) {
        ++r;
    }
    return static_cast<uint32_t>(r);
}

// Every square root at x, the table estimate by its bounds.
void ExpectRoots(uint64_t x) {
    const uint32_t root = Root(x);
    ASSERT_EQ(IntSqrtBitwise(static_cast<uint32_t>(x)), root) << x;
    ASSERT_EQ(IntSqrtNewton(static_cast<uint32_t>(x)), root) << x;
    if (x <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        const auto sx = static_cast<int32_t>(x);
        ASSERT_EQ(IntSqrtByTable(sx), static_cast<int32_t>(root)) << x;
        const int32_t estimate = IntSqrtTableEstimate(sx);
        ASSERT_LE(estimate, static_cast<int32_t>(root)) << x;
        ASSERT_GE(estimate, x < 256 ? root : 0.94 * root) << x;
    }
}

RowImage RandomImage(int rows, int bytesPerRow, std::mt19937& rng, unsigned markEvery = 256) {
    RowImage image(rows, bytesPerRow);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < bytesPerRow; ++c) {
            image[r][c] = static_cast<uint8_t>(rng() % markEvery == 0 ? 255 : rng() % 255);
        }
    }
    return image;
}

} // namespace

TEST(IntegerSquareRoots, NamedValues) {
    const struct {
        int32_t x, root;
    } table[] = {{0, 0},       {255, 15},           {256, 16}, {65535, 255},
                 {65536, 256}, {2147483647, 46340}, {-5, -1},  {-2147483647 - 1, -1}};
    for (const auto& t : table) {
        EXPECT_EQ(IntSqrtByTable(t.x), t.root) << t.x;
    }
    EXPECT_EQ(IntSqrtTableEstimate(-1), -1);
    EXPECT_EQ(IntSqrtNewton(0), 0u);
    EXPECT_EQ(IntSqrtNewton(3), 1u);
    EXPECT_EQ(IntSqrtNewton(8), 2u);
    EXPECT_EQ(IntSqrtNewton(15), 3u);
    EXPECT_EQ(IntSqrtNewton(4294967295u), 65535u);
    EXPECT_EQ(IntSqrtBitwise(4294967295u), 65535u);
}

TEST(IntegerSquareRoots, ExhaustiveBelowTwoToTheTwentyAndAroundEverySquare) {
    for (uint64_t x = 0; x <= (1u << 20); ++x) {
        ExpectRoots(x);
    }
    for (uint64_t k = 1; k <= 65535; ++k) {
        ExpectRoots(k * k - 1);
        ExpectRoots(k * k);
        ExpectRoots(k * k + 1);
    }
    ExpectRoots(2147483647);
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

TEST(ImageShifts, EqualThePerPixelRuleForAnyOffset) {
    std::mt19937 rng(22);
    const int kMax = std::numeric_limits<int32_t>::max();
    const int kMin = std::numeric_limits<int32_t>::min();
    const std::pair<int, int> shapes[] = {{1, 1}, {1, 7}, {6, 1}, {5, 8}, {23, 17}};
    const std::pair<int, int> offsets[] = {{0, 0},    {1, 0},    {0, 1},    {-3, 2},   {4, -5},
                                           {7, 0},    {-7, 0},   {0, 23},   {0, -23},  {8, 5},
                                           {kMax, 0}, {kMin, 0}, {0, kMax}, {0, kMin}, {-1, -1}};
    for (auto [rows, cols] : shapes) {
        const RowImage src = RandomImage(rows, cols, rng, 3);
        const RowImage src2 = RandomImage(rows, cols, rng);
        for (auto [dx, dy] : offsets) {
            RowImage shifted = RandomImage(rows, cols, rng), marked = RandomImage(rows, cols, rng);
            ASSERT_EQ(ShiftImage(src.get(), rows, cols, dx, dy, shifted.get()), 1);
            ASSERT_EQ(ShiftMarkedPixels(src.get(), rows, cols, dx, dy, marked.get()), rows);
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < cols; ++x) {
                    const int64_t sx = int64_t{x} - dx, sy = int64_t{y} + dy;
                    const bool inside = sx >= 0 && sx < cols && sy >= 0 && sy < rows;
                    ASSERT_EQ(shifted[y][x], inside ? src[sy][sx] : 0)
                        << rows << "x" << cols << " by " << dx << "," << dy << " at " << x << ","
                        << y;
                    // Only marked pixels move; the rule is the same one (src(x - dx, y + dy)).
                    ASSERT_EQ(marked[y][x], inside && src[sy][sx] == 255 ? 255 : 0)
                        << rows << "x" << cols << " by " << dx << "," << dy;
                }
            }
        }
    }
}

TEST(ImageShifts, FractionalOffsetsRoundToNearestWithHalvesDown) {
    std::mt19937 rng(23);
    const int rows = 9, cols = 11;
    const RowImage a = RandomImage(rows, cols, rng, 3), b = RandomImage(rows, cols, rng);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Whole offsets: the pair of images moves by the rounded offsets, a marked pixel of row r to
    // round(r - dy), which differs at halves; 99 leaves nothing.
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
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                const int sx = x - t.wx, sy = y + t.wy;
                const bool inside = sx >= 0 && sx < cols && sy >= 0 && sy < rows;
                const int my = y + t.markedWy;
                const bool moved = sx >= 0 && sx < cols && my >= 0 && my < rows && a[my][sx] == 255;
                ASSERT_EQ(p1[y][x], inside ? a[sy][sx] : 0) << t.dx << "," << t.dy;
                ASSERT_EQ(p2[y][x], inside ? b[sy][sx] : 0) << t.dx << "," << t.dy;
                ASSERT_EQ(m1[y][x], moved ? 255 : 0) << t.dx << "," << t.dy;
                ASSERT_EQ(m2[y][x], moved ? b[my][sx] : 0) << t.dx << "," << t.dy;
            }
        }
    }
    // A marked pixel is 255 exactly: 254 stays behind.
    RowImage near(3, 3), out(3, 3);
    near[1][1] = 254;
    ShiftMarkedPixels(near.get(), 3, 3, 0, 0, out.get());
    EXPECT_EQ(out[1][1], 0);
}

TEST(ConvolveRowMirrored, EqualsTheConvolutionOfTheReflectedRow) {
    std::mt19937 rng(24);
    std::uniform_real_distribution<float> value(-5.0f, 5.0f);
    for (int n : {1, 2, 3, 4, 9, 30}) {
        for (int window : {1, 3, 5, 9, 13}) {
            const int h = window / 2;
            std::vector<float> kernel(window), src(n), out(n, 1e9f);
            for (float& k : kernel) {
                k = value(rng);
            }
            for (float& s : src) {
                s = value(rng);
            }
            // The row reflected about its end samples, again and again, far enough both ways.
            std::vector<float> wide;
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
