// Strip straightening: line rasterising by its defining properties, and each straightener on
// strips whose lines are known, read back through source rows coded into the pixels.
#include "engine/straighten.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

std::vector<std::pair<int, int>> Rasterise(int x0, int y0, int x1, int y1) {
    const int64_t count = RasterisedPointCount(x0, y0, x1, y1);
    std::vector<int32_t> xs(static_cast<size_t>(count) + 1);
    std::vector<int32_t> ys(static_cast<size_t>(count) + 1);
    int n = -1;
    RasteriseLine(x0, y0, x1, y1, xs.data(), ys.data(), &n);
    EXPECT_EQ(n, count);
    std::vector<std::pair<int, int>> points;
    for (int i = 1; i <= n; ++i) {
        points.emplace_back(xs[i], ys[i]);
    }
    return points;
}

constexpr int kRows = 120;
constexpr int kCols = 200;
constexpr int kMiddle = kRows - 1 - kRows / 2; // storage row of the middle row from the top
constexpr uint8_t kSentinel[3] = {1, 7, 1};

// Source pixel of row s: red and blue hold s (so each destination pixel tells which source row
// it shows), green the grey picture `grey(s, x)`.
RowImage Source(const std::function<int(int, int)>& grey) {
    RowImage rows(kRows, 3 * kCols);
    for (int s = 0; s < kRows; ++s) {
        for (int x = 0; x < kCols; ++x) {
            rows[s][3 * x] = static_cast<uint8_t>(s & 0xFF);
            rows[s][3 * x + 1] = static_cast<uint8_t>(grey(s, x));
            rows[s][3 * x + 2] = static_cast<uint8_t>(s >> 8);
        }
    }
    return rows;
}

RowImage Destination(int rows = kRows, int cols = kCols) {
    RowImage d(rows, 3 * cols);
    for (int k = 0; k < rows; ++k) {
        for (int x = 0; x < cols; ++x) {
            std::copy(kSentinel, kSentinel + 3, d[k] + 3 * x);
        }
    }
    return d;
}

bool Is(const uint8_t* p, const uint8_t* q) {
    return p[0] == q[0] && p[1] == q[1] && p[2] == q[2];
}

// L(v): storage row v counted from the top.
int64_t FromTop(double v) {
    return static_cast<int64_t>(std::trunc(kRows - v - 1));
}

using Straightener = int (*)(IMAGE2D, IMAGE2D, uint16_t, uint16_t, int, int, int, int, int, float*,
                             float*, int, const MOSAIC_SETTINGS*);

struct TrueLine {
    double a;
    double b;
    double At(int x) const { return a * x + b; }
};

// Checks that every destination pixel shows source row k + u(x) of its own column, with
// u(x) = trunc((1 - t) s0 + t s1), or is untouched where that row lies outside the strip (white
// marks aside, when allowed).
void ExpectShifted(const RowImage& dst, const RowImage& src, int64_t s0, int64_t s1,
                   bool marksAllowed) {
    static const uint8_t kWhite[3] = {0xFF, 0xFF, 0xFF};
    for (int x = 0; x < kCols; ++x) {
        const double t = x / static_cast<double>(kCols - 1);
        const auto u = static_cast<int64_t>(std::trunc((1.0 - t) * s0 + t * s1));
        for (int k = 0; k < kRows; ++k) {
            const uint8_t* p = dst[k] + 3 * x;
            if (marksAllowed && Is(p, kWhite)) {
                continue;
            }
            const int64_t s = k + u;
            if (s >= 0 && s < kRows) {
                ASSERT_TRUE(Is(p, src[s] + 3 * x)) << "column " << x << " row " << k;
            } else {
                ASSERT_TRUE(Is(p, kSentinel)) << "column " << x << " row " << k;
            }
        }
    }
}

} // namespace

TEST(RasteriseLine, KnownLines) {
    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Rasterise(0, 0, 3, 3), (P{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    // The minor step is taken when the decision value reaches 0.
    EXPECT_EQ(Rasterise(0, 0, 4, 1), (P{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(Rasterise(5, 2, 5, 2), (P{{5, 2}}));
    EXPECT_EQ(Rasterise(2, 5, -1, 5), (P{{2, 5}, {1, 5}, {0, 5}, {-1, 5}}));
    EXPECT_EQ(Rasterise(0, 0, -1, -3), (P{{0, 0}, {0, -1}, {-1, -2}, {-1, -3}}));
}

TEST(RasteriseLine, ConnectedPointsWithinHalfAPixelOfTheLineForAnyEnds) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> near(-40, 40);
    std::uniform_int_distribution<int> far(-30000, 30000);
    for (int trial = 0; trial < 400; ++trial) {
        const bool wide = trial % 4 == 0;
        const int x0 = near(rng);
        const int y0 = near(rng);
        const int x1 = wide ? near(rng) : x0 + near(rng);
        const int y1 = wide ? far(rng) : y0 + near(rng);
        const auto points = Rasterise(x0, y0, x1, y1);
        const int64_t dx = x1 - x0;
        const int64_t dy = y1 - y0;
        ASSERT_EQ(static_cast<int64_t>(points.size()),
                  std::max(std::llabs(dx), std::llabs(dy)) + 1);
        ASSERT_EQ(points.front(), std::make_pair(x0, y0));
        ASSERT_EQ(points.back(), std::make_pair(x1, y1));
        const bool xMajor = std::llabs(dy) < std::llabs(dx);
        for (size_t i = 0; i < points.size(); ++i) {
            const auto [x, y] = points[i];
            if (i > 0) {
                const auto [px, py] = points[i - 1];
                ASSERT_EQ(std::max(std::abs(x - px), std::abs(y - py)), 1); // 8-connected
            }
            // Distance along the minor axis, exactly: |cross| <= |major| / 2.
            const int64_t cross = (y - y0) * dx - (x - x0) * dy;
            const int64_t major = xMajor ? std::llabs(dx) : std::llabs(dy);
            ASSERT_LE(2 * std::llabs(cross), std::max<int64_t>(major, 0))
                << x0 << "," << y0 << " " << x1 << "," << y1;
        }
    }
}

namespace {

struct StraightenCase {
    const char* name;
    Straightener straighten;
    int direction;
    int stripNumber; // 0 is the first strip; 100 leaves its chained end unmoved
};

} // namespace

TEST(Straighteners, LevelTheLineAndChainItsEnd) {
    const TrueLine truth{0.2, 50.3};
    const TrueLine previous{0.1, 40.4};
    constexpr int kPrevEnd = 7;
    const StraightenCase cases[] = {
        {"line, first", StraightenStripOnLine, 0, 0},
        {"line, chained", StraightenStripOnLine, 0, 5},
        {"line, strip 100", StraightenStripOnLine, 0, 100},
        {"reverse, first", StraightenStripOnLineReverse, 1, 0},
        {"reverse, chained", StraightenStripOnLineReverse, 1, 5},
        {"reverse, strip 100", StraightenStripOnLineReverse, 1, 100},
    };
    MOSAIC_SETTINGS settings{};
    settings.nFirstStripNumber = 0;
    for (const StraightenCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RowImage src = Source([&](int s, int x) { return s >= truth.At(x) ? 200 : 60; });
        RowImage dst = Destination();
        float slope = static_cast<float>(previous.a);
        float intercept = static_cast<float>(previous.b);
        ASSERT_EQ(c.straighten(src.get(), dst.get(), kRows, kCols, 2, 31, 15, 999, kPrevEnd, &slope,
                               &intercept, c.stripNumber, &settings),
                  1);
        // The record now holds this strip's line.
        EXPECT_NEAR(slope, truth.a, 0.01);
        EXPECT_NEAR(intercept, truth.b, 1.5);

        const int64_t h = kRows / 2;
        const TrueLine found{slope, intercept};
        const int chainedColumn = c.direction == 0 ? kCols - 1 : 0;
        const int freshColumn = kCols - 1 - chainedColumn;
        const int64_t fresh = h - FromTop(static_cast<float>(found.At(freshColumn)));
        int64_t chained = 0;
        if (c.stripNumber == 0) {
            chained = h - FromTop(static_cast<float>(found.At(chainedColumn)));
        } else if (c.stripNumber != 100) {
            // The previous strip's line at its end next to this strip's chained end.
            chained = h - FromTop(static_cast<float>(previous.At(freshColumn))) + kPrevEnd;
        }
        const int64_t s0 = c.direction == 0 ? fresh : chained;
        const int64_t s1 = c.direction == 0 ? chained : fresh;
        ExpectShifted(dst, src, s0, s1, false);
        // The true line comes to the middle row at the fresh end, and at both on a first strip.
        EXPECT_NEAR(truth.At(freshColumn) - (freshColumn == 0 ? s0 : s1), kMiddle, 1.0);
        if (c.stripNumber == 0) {
            EXPECT_NEAR(truth.At(chainedColumn) - (chainedColumn == 0 ? s0 : s1), kMiddle, 1.0);
        }
    }
}

TEST(Straighteners, PairLevelsTheMiddleLineAndMarksBothLines) {
    const TrueLine lower{0.1, 40.2};
    const TrueLine upper{0.1, 100.3};
    const TrueLine previous{-0.05, 60.6};
    constexpr int kPrevEnd = -3;
    MOSAIC_SETTINGS settings{};
    settings.nFirstStripNumber = 4;
    for (int stripNumber : {4, 9, 100}) {
        SCOPED_TRACE(stripNumber);
        const RowImage src =
            Source([&](int s, int x) { return s >= lower.At(x) && s < upper.At(x) ? 200 : 60; });
        RowImage dst = Destination();
        float slope = static_cast<float>(previous.a);
        float intercept = static_cast<float>(previous.b);
        ASSERT_EQ(StraightenStripOnLinePair(src.get(), dst.get(), kRows, kCols, 2, 31, 15, 0,
                                            kPrevEnd, &slope, &intercept, stripNumber, &settings),
                  1);
        EXPECT_NEAR(slope, 0.1, 0.01);
        EXPECT_NEAR(intercept, (lower.b + upper.b) / 2, 1.5);

        const int64_t h = kRows / 2;
        const TrueLine middle{slope, intercept};
        int64_t s0 = 0;
        if (stripNumber == 4) {
            s0 = h - FromTop(middle.b);
        } else if (stripNumber != 100) {
            s0 = h - FromTop(static_cast<float>(previous.At(kCols - 1))) + kPrevEnd;
        }
        const int64_t s1 = h - FromTop(static_cast<float>(middle.At(kCols - 1)));
        ExpectShifted(dst, src, s0, s1, true);
        EXPECT_NEAR((lower.At(kCols - 1) + upper.At(kCols - 1)) / 2 - s1, kMiddle, 1.0);
        if (stripNumber == 4) {
            EXPECT_NEAR((lower.b + upper.b) / 2 - s0, kMiddle, 1.0);
        }

        // The marks lie on both lines where the shift has taken them, at both ends.
        auto whiteNear = [&](int x, double row) {
            for (int k = 0; k < kRows; ++k) {
                if (dst[k][3 * x] == 0xFF && dst[k][3 * x + 1] == 0xFF &&
                    std::fabs(k - row) <= 2.0) {
                    return true;
                }
            }
            return false;
        };
        for (const TrueLine& line : {lower, upper}) {
            EXPECT_TRUE(whiteNear(0, line.At(0) - s0));
            EXPECT_TRUE(whiteNear(kCols - 1, line.At(kCols - 1) - s1));
        }
    }
}

TEST(Straighteners, NothingIsDoneWithoutTwoColumnsOrAnyRow) {
    MOSAIC_SETTINGS settings{};
    for (Straightener straighten :
         {StraightenStripOnLine, StraightenStripOnLineReverse, StraightenStripOnLinePair}) {
        for (int cols : {0, 1}) {
            const RowImage src = Source([](int, int) { return 90; });
            RowImage dst = Destination(kRows, 1);
            float slope = 0.25f;
            float intercept = 3.0f;
            EXPECT_EQ(straighten(src.get(), dst.get(), kRows, static_cast<uint16_t>(cols), 2, 31,
                                 15, 0, 0, &slope, &intercept, 0, &settings),
                      1);
            EXPECT_EQ(slope, 0.25f);
            EXPECT_EQ(intercept, 3.0f);
            for (int k = 0; k < kRows; ++k) {
                ASSERT_TRUE(Is(dst[k], kSentinel));
            }
        }
        float slope = 0.25f;
        float intercept = 3.0f;
        EXPECT_EQ(straighten(nullptr, nullptr, 0, kCols, 2, 31, 15, 0, 0, &slope, &intercept, 0,
                             &settings),
                  1);
    }
}
