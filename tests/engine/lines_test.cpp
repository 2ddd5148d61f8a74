// Line detection: the detectors on strips whose lines are known, degenerate strips, and the
// stages against plain references (erosion, suppression, thinning, votes, clustering, the fit).
#include "engine/edges.h"
#include "engine/lines.h"

#include "numeric/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr int kWindow = 31;
constexpr int kThreshold = 15;

// A grey strip whose pixel at column x and row Y counted from the bottom is value(Y, x).
RowImage Strip(int rows, int cols, const std::function<int(int, int)>& value) {
    RowImage image(rows, cols);
    for (int r = 0; r < rows; ++r) {
        for (int x = 0; x < cols; ++x) {
            image[r][x] = static_cast<uint8_t>(value(rows - 1 - r, x));
        }
    }
    return image;
}

RowImage RandomImage(std::mt19937& rng, int rows, int cols, double setShare) {
    std::bernoulli_distribution set(setShare);
    std::uniform_int_distribution<int> value(1, 255);
    return Strip(rows, cols, [&](int, int) { return set(rng) ? value(rng) : 0; });
}

bool SameImage(const RowImage& a, const RowImage& b, int rows, int cols) {
    for (int r = 0; r < rows; ++r) {
        if (!std::equal(a[r], a[r] + cols, b[r])) {
            return false;
        }
    }
    return true;
}

// Three ring rows (previous, centre, next) of gx and gy.
struct Rings {
    explicit Rings(int cols) : gxRows(3, std::vector<float>(cols)), gyRows(gxRows) {}
    std::vector<std::vector<float>> gxRows;
    std::vector<std::vector<float>> gyRows;
    std::vector<float*> gx() { return {gxRows[0].data(), gxRows[1].data(), gxRows[2].data()}; }
    std::vector<float*> gy() { return {gyRows[0].data(), gyRows[1].data(), gyRows[2].data()}; }
};

struct Line {
    float a;
    float b;
};

// Non-maximum suppression of the centre ring row written out from its definition: a pixel's
// squared magnitude against the squared magnitudes interpolated on both sides along its
// gradient, between the two pixels the gradient passes between.
std::vector<uint8_t> PlainSuppression(const std::vector<float*>& gx, const std::vector<float*>& gy,
                                      int cols, float threshold) {
    auto m = [&](int row, int c) { return gx[row][c] * gx[row][c] + gy[row][c] * gy[row][c]; };
    std::vector<uint8_t> out(static_cast<size_t>(cols), 0);
    for (int c = 1; c + 1 < cols; ++c) {
        const float x = gx[1][c];
        const float y = gy[1][c];
        const float mag = x * x + y * y;
        if ((std::fabs(x) < 0.01f && std::fabs(y) < 0.01f) || mag <= threshold * threshold) {
            continue;
        }
        float first = 0.0f;
        float second = 0.0f;
        if (std::fabs(y) <= std::fabs(x)) { // left and right, leaning to the row before or after
            const float w = std::fabs(y) / std::fabs(x);
            const int lean = x * y >= 0 ? 0 : 2;
            first = (1 - w) * m(1, c + 1) + w * m(lean, c + 1);
            second = w * m(2 - lean, c - 1) + (1 - w) * m(1, c - 1);
        } else { // above and below, leaning to the column after or before
            const float w = std::fabs(x) / std::fabs(y);
            const int lean = x * y >= 0 ? 1 : -1;
            first = (1 - w) * m(0, c) + w * m(0, c + lean);
            second = w * m(2, c - lean) + (1 - w) * m(2, c);
        }
        out[static_cast<size_t>(c)] = mag > first && mag > second ? 255 : 0;
    }
    return out;
}

// The median of the values, the middle two's mean for an even count.
float Median(std::vector<float> v) {
    std::sort(v.begin(), v.end());
    const size_t h = v.size() / 2;
    return v.size() % 2 == 1 ? v[h] : static_cast<float>(0.5 * (double{v[h - 1]} + v[h]));
}

float Mean(const std::vector<float>& v) {
    double sum = 0.0;
    for (float f : v) {
        sum += f;
    }
    return static_cast<float>(sum / static_cast<double>(v.size()));
}

} // namespace

TEST(DetectDominantLine, FindsTheStepOfAStrip) {
    struct Case {
        const char* name;
        float a;
        float b;
        int below;
        int above;
        int blackLeftColumns;
        int cols = 100;
    };
    const Case cases[] = {
        {"rising", 0.2f, 25.0f, 60, 200, 0},
        {"falling, dark above", -0.15f, 40.0f, 200, 60, 0},
        {"nearly level", 0.05f, 28.0f, 90, 30, 0},
        // Unpainted canvas beside the strip makes a strong edge of its own, masked away.
        {"black margin at the left", 0.2f, 25.0f, 60, 200, 15},
        // Rings and lists are sized by the image, not by a fixed width.
        {"wider than 780 columns", 0.02f, 20.0f, 60, 200, 0, 1000},
    };
    for (const Case& c : cases) {
        RowImage strip = Strip(60, c.cols, [&](int y, int x) {
            if (x < c.blackLeftColumns) {
                return 0;
            }
            return y >= c.a * x + c.b ? c.above : c.below;
        });
        float a = 0.0f;
        float b = 0.0f;
        ASSERT_EQ(DetectDominantLine(strip.get(), 60, static_cast<uint16_t>(c.cols), kWindow,
                                     kThreshold, 1, &a, &b),
                  1);
        EXPECT_NEAR(a, c.a, 0.01) << c.name;
        EXPECT_NEAR(b, c.b, 1.0) << c.name;
    }
}

TEST(DetectLinePair, FindsBothEdgesOfABand) {
    RowImage strip = Strip(
        60, 100, [](int y, int x) { return y >= 0.1 * x + 20 && y < 0.1 * x + 50 ? 200 : 60; });
    Line lines[2];
    ASSERT_EQ(DetectLinePair(strip.get(), 60, 100, kWindow, kThreshold, 1, &lines[0].a, &lines[0].b,
                             &lines[1].a, &lines[1].b),
              1);
    std::sort(lines, lines + 2, [](Line p, Line q) { return p.b < q.b; });
    EXPECT_NEAR(lines[0].a, 0.1, 0.01);
    EXPECT_NEAR(lines[0].b, 20.0, 1.0);
    EXPECT_NEAR(lines[1].a, 0.1, 0.01);
    EXPECT_NEAR(lines[1].b, 50.0, 1.0);
    // The clusters' own lines: slopes from whole degrees of the votes, rows at the centre column
    // from whole rows.
    RowImage again = Strip(
        60, 100, [](int y, int x) { return y >= 0.1 * x + 20 && y < 0.1 * x + 50 ? 200 : 60; });
    ASSERT_EQ(DetectLinePairByAccumulator(again.get(), 60, 100, kWindow, kThreshold, 1, &lines[0].a,
                                          &lines[0].b, &lines[1].a, &lines[1].b),
              1);
    std::sort(lines, lines + 2, [](Line p, Line q) { return p.b < q.b; });
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(lines[i].a, 0.1, 0.15) << i;
        EXPECT_NEAR(lines[i].a * 50 + lines[i].b, 25.0 + 30 * i, 2.0) << i; // at the centre
    }
}

TEST(SplitEdgesBetweenLines, EachPixelGoesToTheNearerLineAndATieToTheSecond) {
    // Slopes and intercepts in halves and quarters: many pixels lie at equal distances. Rows of a
    // line below 0 are truncated towards zero.
    const Line cases[][2] = {{{0.0f, 10.0f}, {0.0f, 20.0f}},
                             {{0.25f, 3.5f}, {-0.5f, 30.0f}},
                             {{0.0f, -3.5f}, {0.0f, 12.0f}},
                             {{-0.75f, 8.0f}, {0.125f, -6.5f}}};
    constexpr int kRows = 30;
    constexpr int kCols = 40;
    std::mt19937 rng(81);
    int ties = 0;
    for (const auto& lines : cases) {
        const RowImage edges = RandomImage(rng, kRows, kCols, 0.6);
        RowImage first(kRows, kCols);
        RowImage second(kRows, kCols);
        SplitEdgesBetweenLines(edges.get(), kRows, kCols, lines[0].a, lines[0].b, lines[1].a,
                               lines[1].b, first.get(), second.get());
        for (int y = 0; y < kRows; ++y) {
            for (int x = 0; x < kCols; ++x) {
                const int up = kRows - 1 - y;
                const double d1 = std::fabs(up - std::trunc(x * lines[0].a + lines[0].b));
                const double d2 = std::fabs(up - std::trunc(x * lines[1].a + lines[1].b));
                const bool set = edges[y][x] != 0;
                ties += set && d1 == d2;
                ASSERT_EQ(first[y][x], set && d1 < d2 ? 255 : 0) << y << "," << x;
                ASSERT_EQ(second[y][x], set && d1 >= d2 ? 255 : 0) << y << "," << x;
            }
        }
    }
    EXPECT_GT(ties, 100);
}

TEST(LineDetectors, StripsWithoutAUsableLineGiveTheLevelLineThroughTheMiddle) {
    struct Case {
        const char* name;
        int rows;
        int cols;
        int factor;
        std::function<int(int, int)> value;
    };
    const Case cases[] = {
        {"all black", 60, 100, 1, [](int, int) { return 0; }},
        {"uniform", 60, 100, 1, [](int, int) { return 90; }},
        {"one pixel", 1, 1, 1, [](int, int) { return 90; }},
        {"reduced to nothing", 1, 1, 2, [](int, int) { return 90; }},
        // All edge pixels in one column: no slope can be fitted.
        {"vertical step", 60, 100, 1, [](int, int x) { return x < 50 ? 60 : 200; }},
        // Fewer rows than the support window: every edge is masked.
        {"four rows", 4, 100, 1, [](int, int x) { return x < 50 ? 60 : 200; }},
        // The only edges lie along unpainted canvas.
        {"black top", 60, 100, 1, [](int y, int) { return y >= 45 ? 0 : 120; }},
        {"black left", 60, 100, 1, [](int, int x) { return x < 20 ? 0 : 120; }},
        {"black wedge", 60, 100, 1, [](int y, int x) { return y >= 0.3 * x + 30 ? 0 : 120; }},
    };
    for (const Case& c : cases) {
        const float middle = (static_cast<float>(c.rows / c.factor) - 1.0f) / 2.0f;
        RowImage one = Strip(c.rows, c.cols, c.value);
        float a = -9.0f;
        float b = -9.0f;
        ASSERT_EQ(DetectDominantLine(one.get(), static_cast<uint16_t>(c.rows),
                                     static_cast<uint16_t>(c.cols), kWindow, kThreshold, c.factor,
                                     &a, &b),
                  1);
        EXPECT_EQ(a, 0.0f) << c.name;
        EXPECT_EQ(b, middle) << c.name;
        RowImage two = Strip(c.rows, c.cols, c.value);
        float p[4] = {-9.0f, -9.0f, -9.0f, -9.0f};
        ASSERT_EQ(DetectLinePair(two.get(), static_cast<uint16_t>(c.rows),
                                 static_cast<uint16_t>(c.cols), kWindow, kThreshold, c.factor,
                                 &p[0], &p[1], &p[2], &p[3]),
                  1);
        EXPECT_EQ(p[0], 0.0f) << c.name;
        EXPECT_EQ(p[1], middle) << c.name;
        EXPECT_EQ(p[2], 0.0f) << c.name;
        EXPECT_EQ(p[3], middle) << c.name;
        RowImage three = Strip(c.rows, c.cols, c.value);
        ASSERT_EQ(DetectLinePairByAccumulator(three.get(), static_cast<uint16_t>(c.rows),
                                              static_cast<uint16_t>(c.cols), kWindow, kThreshold,
                                              c.factor, &p[0], &p[1], &p[2], &p[3]),
                  1);
        for (float v : p) {
            EXPECT_TRUE(std::isfinite(v)) << c.name;
        }
    }
}

TEST(ErodeBinary, MarksExactlyThePixelsWhoseWholeWindowIsSet) {
    std::mt19937 rng(21);
    for (int size : {1, 3, 5}) {
        for (auto [rows, cols] : {std::pair{1, 1}, {4, 9}, {5, 5}, {17, 23}}) {
            const RowImage src = RandomImage(rng, rows, cols, 0.93);
            RowImage dst = Strip(rows, cols, [](int, int) { return 7; });
            ErodeBinary(src.get(), dst.get(), static_cast<uint16_t>(rows),
                        static_cast<uint16_t>(cols), size);
            const int h = size / 2;
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < cols; ++x) {
                    int expected = 7; // nearer the border than h: not written
                    if (y >= h && y < rows - h && x >= h && x < cols - h) {
                        expected = 255;
                        for (int dy = -h; dy <= h; ++dy) {
                            for (int dx = -h; dx <= h; ++dx) {
                                expected = src[y + dy][x + dx] == 0 ? 0 : expected;
                            }
                        }
                    }
                    ASSERT_EQ(dst[y][x], expected) << size << " at " << y << "," << x;
                }
            }
            // Masking with the result keeps exactly the pixels the mask keeps.
            RowImage masked = RandomImage(rng, rows, cols, 1.0);
            MaskImage(masked.get(), dst.get(), static_cast<uint16_t>(rows),
                      static_cast<uint16_t>(cols));
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < cols; ++x) {
                    ASSERT_EQ(masked[y][x] != 0, dst[y][x] != 0);
                }
            }
        }
    }
    RowImage img(5, 5);
    EXPECT_EXIT(ErodeBinary(img.get(), img.get(), 5, 5, 4), ::testing::ExitedWithCode(1), "");
}

TEST(SuppressNonMaximaWithDirection, KeepsTheEdgesModesPixelsWithMagnitudeAndDirection) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> g(-40.0f, 40.0f);
    constexpr int kCols = 64;
    for (int trial = 0; trial < 200; ++trial) {
        Rings rings(kCols);
        for (int s = 0; s < 3; ++s) {
            for (int c = 0; c < kCols; ++c) {
                rings.gxRows[s][c] = g(rng);
                rings.gyRows[s][c] = trial % 2 == 0 ? g(rng) : 0.3f * g(rng);
            }
        }
        std::vector<float*> gx = rings.gx();
        std::vector<float*> gy = rings.gy();
        const std::vector<uint8_t> plain = PlainSuppression(gx, gy, kCols, 15.0f);
        std::vector<uint8_t> edges(kCols, 9);
        SuppressNonMaxima(gx.data(), gy.data(), kCols, 0, 1, 2, edges.data(), 15.0f);
        ASSERT_EQ(edges, plain);
        std::vector<uint8_t> mag[3];
        std::vector<uint8_t> dir[3];
        for (int v = 0; v < 3; ++v) {
            mag[v].assign(kCols, 9);
            dir[v].assign(kCols, 9);
        }
        const int window = 5;
        SuppressNonMaximaWithDirection(gx.data(), gy.data(), 6, kCols, 0, 1, 2, window,
                                       mag[0].data(), dir[0].data(), 15.0);
        SuppressNonMaximaDirection255(gx.data(), gy.data(), 6, kCols, 0, 1, 2, window,
                                      mag[1].data(), dir[1].data(), 15.0);
        SuppressNonMaximaDirectionEager(gx.data(), gy.data(), 6, kCols, 0, 1, 2, window,
                                        mag[2].data(), dir[2].data(), 15.0);
        for (int c = 0; c < kCols; ++c) {
            const bool inside = c >= window / 2 && c < kCols - window / 2;
            const bool kept = inside && plain[c] == 255;
            const float x = gx[1][c];
            const float y = gy[1][c];
            const double m2 = double{x * x + y * y};
            ASSERT_EQ(mag[0][c], kept ? std::clamp(std::trunc(0.025 * m2), 1.0, 255.0) : 0) << c;
            ASSERT_EQ(mag[1][c], kept ? 255 : 0);
            ASSERT_EQ(mag[2][c], kept ? 255 : 0);
            ASSERT_EQ(dir[1][c], dir[0][c]);
            ASSERT_EQ(dir[2][c], dir[0][c]);
            if (!kept) {
                ASSERT_EQ(dir[0][c], 0);
                continue;
            }
            // The direction is the line's angle across the gradient, in a half turn.
            const double theta = dir[0][c] / 81.1 - 1.5707964897155762;
            const double line = std::atan2(double{y}, double{x}) + std::numbers::pi / 2;
            ASSERT_LE(std::fabs(std::remainder(theta - line, std::numbers::pi)), 1.0 / 81.1 + 1e-6);
            ASSERT_LE(dir[0][c], 254);
        }
    }
}

TEST(SuppressNonMaximaWithDirection, MagnitudesAreClampedNotWrapped) {
    // A lone peak in the centre row, everything else 0.
    struct Case {
        float gx;
        double threshold;
        int magnitude;
    };
    const Case cases[] = {{20.0f, 15.0, 10},
                          {300.0f, 15.0, 255},
                          {1000.0f, 15.0, 255},
                          {0.5f, 0.0, 1},
                          {15.0f, 15.0, 0}};
    for (const Case& c : cases) {
        Rings rings(8);
        rings.gxRows[1][4] = c.gx;
        std::vector<float*> gx = rings.gx();
        std::vector<float*> gy = rings.gy();
        std::vector<uint8_t> mag(8, 9);
        std::vector<uint8_t> dir(8, 9);
        SuppressNonMaximaWithDirection(gx.data(), gy.data(), 2, 8, 0, 1, 2, 1, mag.data(),
                                       dir.data(), c.threshold);
        EXPECT_EQ(mag[4], c.magnitude) << c.gx;
    }
}

TEST(DetectEdgesWithDirection, MarksTheEdgesModesPixelsWithTheLinesAngle) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 6; ++trial) {
        const int rows = 20 + 7 * trial;
        const int cols = 30 + 5 * trial;
        const RowImage src = RandomImage(rng, rows, cols, 0.5);
        RowImage edges = Strip(rows, cols, [](int, int) { return 0; });
        RowImage mag = Strip(rows, cols, [](int, int) { return 0; });
        RowImage dir = Strip(rows, cols, [](int, int) { return 0; });
        const auto r = static_cast<uint16_t>(rows);
        const auto c = static_cast<uint16_t>(cols);
        ASSERT_EQ(DetectEdges(src.get(), r, c, 5, 15.0f, edges.get()), 1);
        ASSERT_EQ(DetectEdgesWithDirection(src.get(), r, c, 5, 15.0, mag.get(), dir.get()), 1);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                const bool inside = x >= 2 && x < cols - 2;
                ASSERT_EQ(mag[y][x] != 0, inside && edges[y][x] != 0) << y << "," << x;
            }
        }
    }
    // On smooth edges the kept pixels' angle follows the line's: level near 0, rising lines
    // positive, falling ones negative, steep ones beyond a quarter turn's half. (The box
    // differences of the gradient bend the angle of sharp or narrow edges somewhat.)
    for (double a : {-0.3, 0.0, 0.2, 3.0}) {
        RowImage edge = Strip(60, 100, [a](int y, int x) {
            return static_cast<int>(60 +
                                    140 / (1 + std::exp(-(y - a * x - (a > 1 ? -120 : 25.3)) / 4)));
        });
        RowImage mag(60, 100);
        RowImage dir(60, 100);
        ASSERT_EQ(
            DetectEdgesWithDirection(edge.get(), 60, 100, kWindow, 15.0, mag.get(), dir.get()), 1);
        std::vector<double> angles;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (mag[y][x] != 0) {
                    angles.push_back(dir[y][x] / 81.1 - 1.5707964897155762);
                }
            }
        }
        ASSERT_GT(angles.size(), 40u) << a;
        std::nth_element(angles.begin(), angles.begin() + angles.size() / 2, angles.end());
        const double median = angles[angles.size() / 2];
        EXPECT_NEAR(median, std::atan(a), 0.2) << a;
        if (a != 0.0) {
            EXPECT_EQ(median > 0, a > 0) << a;
        }
    }
}

TEST(ThinEdgeImage, IsTheEdgesModesPassOnAnyByteImage) {
    std::mt19937 rng(51);
    for (int trial = 0; trial < 20; ++trial) {
        const int rows = 3 + trial;
        const int cols = 4 + 2 * trial;
        const RowImage base = RandomImage(rng, rows, cols, 0.4);
        RowImage a = Strip(rows, cols, [&](int y, int x) { return base[rows - 1 - y][x]; });
        RowImage b = Strip(rows, cols, [&](int y, int x) { return base[rows - 1 - y][x]; });
        int percentA = -1;
        int percentB = -1;
        int count = 0;
        ThinEdgeImage(a.get(), static_cast<uint16_t>(rows), static_cast<uint16_t>(cols), &percentA);
        ThinEdges(b.get(), static_cast<uint16_t>(rows), static_cast<uint16_t>(cols), &percentB,
                  &count);
        ASSERT_TRUE(SameImage(a, b, rows, cols));
        ASSERT_EQ(percentA, percentB);
    }
    // A vertical band two pixels wide thins to one, not to nothing.
    RowImage band = Strip(12, 8, [](int, int x) { return x == 3 || x == 4 ? 200 : 0; });
    int percent = 0;
    ThinEdgeImage(band.get(), 12, 8, &percent);
    for (int r = 1; r < 11; ++r) {
        EXPECT_EQ((band[r][3] != 0) + (band[r][4] != 0), 1) << r;
    }
    EXPECT_EQ(percent, 50);
}

TEST(AccumulateHoughLines, OneVotePerPixelInto32BitCells) {
    // 600 pixels of direction 127 (nearly level) on a staircase that follows that direction
    // through row 10.5 at the centre column: all vote for one cell, far more than a byte counts.
    // Two pixels whose steep lines cross the centre column outside the image cast none.
    constexpr int kRows = 20;
    constexpr int kCols = 600;
    RowImage edges(kRows, kCols);
    RowImage dir(kRows, kCols);
    const double slope = std::tan(127 * 0.012330456226880395 - 1.5707964897155762);
    for (int x = 0; x < kCols; ++x) {
        // Rounded so that the vote's row, 10.5 plus the rounding, lies in [10, 11).
        const auto y = static_cast<int>(std::ceil(10.5 + (x - kCols / 2) * slope - 0.5));
        edges[kRows - 1 - y][x] = 255;
        dir[kRows - 1 - y][x] = 127;
    }
    edges[2][0] = edges[2][kCols - 1] = 255;
    dir[2][0] = dir[2][kCols - 1] = 230;
    int32_t** acc = AllocArray2DInt(kRows, 180);
    AccumulateHoughLines(edges.get(), dir.get(), kRows, kCols, acc);
    int64_t total = 0;
    for (int b = 0; b < kRows; ++b) {
        for (int d = 0; d < 180; ++d) {
            total += acc[b][d];
        }
    }
    EXPECT_EQ(total, kCols);
    EXPECT_EQ(acc[10][89], kCols);
    FreeArray2DInt(acc, kRows);
}

TEST(ClusterTwoMedians, SplitsTwoGroupsIntoTheirMediansTheSameEveryTime) {
    std::mt19937 rng(61);
    std::normal_distribution<float> spread(0.0f, 2.0f);
    std::vector<float> xs{0.0f};
    std::vector<float> ys{0.0f};
    std::vector<float> groups[2][2];
    const float centres[2][2] = {{10.0f, 40.0f}, {50.0f, 120.0f}};
    for (int i = 0; i < 202; ++i) {
        const int g = i < 67 ? 1 : 0; // 67 and 135 points: odd counts
        xs.push_back(centres[g][0] + spread(rng));
        ys.push_back(centres[g][1] + spread(rng));
        groups[g][0].push_back(xs.back());
        groups[g][1].push_back(ys.back());
    }
    const int n = static_cast<int>(xs.size()) - 1;
    float c[4];
    ASSERT_EQ(ClusterTwoMedians(xs.data(), ys.data(), n, &c[0], &c[1], &c[2], &c[3]), 1);
    const bool firstIsA = c[0] < 30.0f;
    for (int g = 0; g < 2; ++g) {
        const int k = (g == 0) == firstIsA ? 0 : 2;
        EXPECT_EQ(c[k], Median(groups[g][0]));
        EXPECT_EQ(c[k + 1], Median(groups[g][1]));
    }
    // The generator is reseeded on every call: other draws in between change nothing, even
    // for points without clusters, whose split depends on the start.
    std::uniform_real_distribution<float> anywhere(0.0f, 100.0f);
    std::vector<float> ux(302);
    std::vector<float> uy(302);
    for (size_t i = 1; i < ux.size(); ++i) {
        ux[i] = anywhere(rng);
        uy[i] = anywhere(rng);
    }
    float once[4];
    float again[4];
    ClusterTwoMedians(ux.data(), uy.data(), 301, &once[0], &once[1], &once[2], &once[3]);
    int32_t seed = -9;
    numeric::RAN1(&seed);
    ClusterTwoMedians(ux.data(), uy.data(), 301, &again[0], &again[1], &again[2], &again[3]);
    EXPECT_TRUE(std::equal(once, once + 4, again));
    // Means of the same groups.
    ASSERT_EQ(ClusterTwoMeans(xs.data(), ys.data(), n, &c[0], &c[1], &c[2], &c[3]), 1);
    const int k = c[0] < 30.0f ? 0 : 2;
    EXPECT_NEAR(c[k], Mean(groups[0][0]), 1e-4);
    // No points, or all at one place: finite centres.
    for (int count : {0, 5}) {
        std::vector<float> same(6, 3.0f);
        for (auto cluster : {ClusterTwoMedians, ClusterTwoMeans}) {
            cluster(same.data(), same.data(), count, &c[0], &c[1], &c[2], &c[3]);
            for (float v : c) {
                EXPECT_EQ(v, count == 0 ? 0.0f : 3.0f);
            }
        }
    }
}

TEST(ClusterTwoMedians, SettledCentresAreTheCentresOfTheClassesTheyDraw) {
    // Settled, each centre is the median (or mean) of the points nearer to it than to the other,
    // a point at equal distances counting for the second. Points on a small grid lie at equal
    // distances often.
    std::mt19937 rng(62);
    std::uniform_int_distribution<int> grid(0, 6);
    int settled = 0;
    for (int trial = 0; trial < 100; ++trial) {
        const int n = 5 + trial % 20;
        std::vector<float> xs(static_cast<size_t>(n) + 1);
        std::vector<float> ys(xs.size());
        for (int i = 1; i <= n; ++i) {
            xs[i] = static_cast<float>(grid(rng));
            ys[i] = static_cast<float>(grid(rng));
        }
        for (bool medians : {true, false}) {
            float c[4];
            if ((medians ? ClusterTwoMedians : ClusterTwoMeans)(xs.data(), ys.data(), n, &c[0],
                                                                &c[1], &c[2], &c[3]) == 0) {
                continue;
            }
            ++settled;
            std::vector<float> members[2][2];
            for (int i = 1; i <= n; ++i) {
                const double d1 = std::hypot(double{xs[i]} - c[0], double{ys[i]} - c[1]);
                const double d2 = std::hypot(double{xs[i]} - c[2], double{ys[i]} - c[3]);
                const int k = d2 > d1 ? 0 : 1;
                members[k][0].push_back(xs[i]);
                members[k][1].push_back(ys[i]);
            }
            for (int k = 0; k < 2; ++k) {
                for (int axis = 0; axis < 2 && !members[k][0].empty(); ++axis) {
                    const std::vector<float>& v = members[k][axis];
                    ASSERT_EQ(c[2 * k + axis], medians ? Median(v) : Mean(v))
                        << "trial " << trial << (medians ? " medians" : " means");
                }
            }
        }
    }
    EXPECT_GT(settled, 100);
}

TEST(FitLineRobust, FitsThePixelsOfThePrevailingDirectionOnly) {
    constexpr int kRows = 80;
    constexpr int kCols = 90;
    struct Case {
        double a;
        double b;
    };
    std::mt19937 rng(71);
    std::uniform_int_distribution<int> anywhere(0, kRows * kCols - 1);
    for (const Case c : {Case{0.5, 10.0}, Case{-0.25, 60.0}, Case{0.0, 33.0}, Case{1.0, -5.0}}) {
        RowImage mag(kRows, kCols);
        RowImage dir(kRows, kCols);
        const auto direction =
            static_cast<uint8_t>(std::lround((std::atan(c.a) + std::numbers::pi / 2) * 81.1));
        int onLine = 0;
        for (int x = 0; x < kCols; x += 2) {
            const double y = c.a * x + c.b;
            if (y == std::floor(y) && y >= 0 && y < kRows) {
                const int r = kRows - 1 - static_cast<int>(y);
                mag[r][x] = 40;
                dir[r][x] = direction;
                ++onLine;
            }
        }
        // Fewer pixels elsewhere, all of another direction.
        for (int i = 0; i < onLine / 3; ++i) {
            const int p = anywhere(rng);
            if (mag[p / kCols][p % kCols] == 0) {
                mag[p / kCols][p % kCols] = 40;
                dir[p / kCols][p % kCols] = static_cast<uint8_t>((direction + 90) % 255);
            }
        }
        float a = 0.0f;
        float b = 0.0f;
        FitLineRobust(mag.get(), dir.get(), kRows, kCols, &a, &b);
        EXPECT_NEAR(a, c.a, 1e-4) << c.a;
        EXPECT_NEAR(b, c.b, 1e-3) << c.a;
    }
    // No pixels, or all in one column: the level line through the middle.
    for (int pixels : {0, 7}) {
        RowImage mag(kRows, kCols);
        RowImage dir(kRows, kCols);
        for (int i = 0; i < pixels; ++i) {
            mag[10 + 3 * i][40] = 9;
        }
        float a = 1.0f;
        float b = 1.0f;
        FitLineRobust(mag.get(), dir.get(), kRows, kCols, &a, &b);
        EXPECT_EQ(a, 0.0f);
        EXPECT_EQ(b, 39.5f);
    }
}
