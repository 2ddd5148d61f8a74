// Edge features: the row routines against brute force, the detector on profiles whose answer
// is known, and the thinning pass by its properties.
#include "engine/edges.h"
#include "engine/feature_extraction.h"
#include "engine/records.h"
#include "tests/support/engine_records.h"
#include "tests/support/packed_map_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

// A byte image that releases itself.
class Image {
public:
    Image(int rows, int cols, uint8_t fill = 0)
        : m_rows(rows), m_cols(cols), m_data(AllocImage2D(rows, std::max(cols, 1))) {
        for (int r = 0; r < rows; ++r) {
            std::fill(m_data[r], m_data[r] + cols, fill);
        }
    }
    ~Image() { FreeImage2D(m_data, m_rows); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    IMAGE2D get() const { return m_data; }
    uint8_t* operator[](int r) const { return m_data[r]; }
    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    void Fill(const std::function<uint8_t(int, int)>& value) {
        for (int r = 0; r < m_rows; ++r) {
            for (int c = 0; c < m_cols; ++c) {
                m_data[r][c] = value(r, c);
            }
        }
    }
    int Count() const {
        int n = 0;
        for (int r = 0; r < m_rows; ++r) {
            n += static_cast<int>(
                std::count_if(m_data[r], m_data[r] + m_cols, [](uint8_t v) { return v != 0; }));
        }
        return n;
    }

private:
    int m_rows;
    int m_cols;
    IMAGE2D m_data;
};

int Detect(const Image& source, Image& output, int window = 5, float threshold = 15.0f) {
    return DetectEdges(source.get(), static_cast<uint16_t>(source.rows()),
                       static_cast<uint16_t>(source.cols()), window, threshold, output.get());
}

// 8-connected components of the non-zero pixels.
int Components(const Image& image) {
    std::vector<int> seen(static_cast<size_t>(image.rows() * image.cols()), 0);
    int components = 0;
    for (int r0 = 0; r0 < image.rows(); ++r0) {
        for (int c0 = 0; c0 < image.cols(); ++c0) {
            if (image[r0][c0] == 0 || seen[r0 * image.cols() + c0]) {
                continue;
            }
            ++components;
            std::vector<std::pair<int, int>> stack{{r0, c0}};
            seen[r0 * image.cols() + c0] = 1;
            while (!stack.empty()) {
                auto [r, c] = stack.back();
                stack.pop_back();
                for (int dr = -1; dr <= 1; ++dr) {
                    for (int dc = -1; dc <= 1; ++dc) {
                        const int rr = r + dr;
                        const int cc = c + dc;
                        if (rr < 0 || cc < 0 || rr >= image.rows() || cc >= image.cols() ||
                            image[rr][cc] == 0 || seen[rr * image.cols() + cc]) {
                            continue;
                        }
                        seen[rr * image.cols() + cc] = 1;
                        stack.push_back({rr, cc});
                    }
                }
            }
        }
    }
    return components;
}

int Neighbours(const Image& image, int r, int c) {
    int n = 0;
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
            const int rr = r + dr;
            const int cc = c + dc;
            if ((dr != 0 || dc != 0) && rr >= 0 && cc >= 0 && rr < image.rows() &&
                cc < image.cols() && image[rr][cc] != 0) {
                ++n;
            }
        }
    }
    return n;
}

} // namespace

TEST(EdgeRowRoutines, BinomialKernelIsTheNormalisedRowOfPascalsTriangle) {
    float k1[1];
    BinomialKernel(1, k1);
    EXPECT_EQ(k1[0], 1.0f);
    float k3[3];
    BinomialKernel(3, k3);
    EXPECT_EQ(k3[0], 0.25f);
    EXPECT_EQ(k3[1], 0.5f);
    EXPECT_EQ(k3[2], 0.25f);
    float k5[5];
    BinomialKernel(5, k5);
    const float expected[5] = {1 / 16.0f, 4 / 16.0f, 6 / 16.0f, 4 / 16.0f, 1 / 16.0f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(k5[i], expected[i]);
    }
}

TEST(EdgeRowRoutines, RunningMeanIsTheClippedWindowMeanForAnyLengthAndWindow) {
    std::mt19937 random(7);
    for (int n = 1; n <= 40; ++n) {
        for (int window = 1; window <= 10; ++window) {
            std::vector<uint8_t> row(static_cast<size_t>(n));
            for (auto& v : row) {
                v = static_cast<uint8_t>(random() % 256);
            }
            std::vector<int32_t> out(static_cast<size_t>(n), -1);
            RunningMeanRow(n, window, row.data(), out.data());
            const int h = window / 2;
            for (int i = 0; i < n; ++i) {
                int sum = 0;
                int count = 0;
                for (int t = std::max(0, i - h); t <= std::min(n - 1, i + h); ++t) {
                    sum += row[t];
                    ++count;
                }
                ASSERT_EQ(out[i], sum / count) << "n " << n << " window " << window << " i " << i;
            }
        }
    }
    // An even window still gives a mean: a bright row stays at 255.
    std::vector<uint8_t> bright(20, 255);
    std::vector<int32_t> out(20);
    RunningMeanRow(20, 4, bright.data(), out.data());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int32_t v) { return v == 255; }));
}

TEST(EdgeRowRoutines, SymmetricConvolutionRenormalisesAtBothEnds) {
    float kernel[5];
    BinomialKernel(5, kernel);
    // Against the three rules written out directly, on a row long enough for all of them.
    std::mt19937 random(3);
    std::vector<float> row(12);
    for (auto& v : row) {
        v = static_cast<float>(random() % 100) - 50.0f;
    }
    std::vector<float> out(12);
    SymmetricConvolveRow(12, 5, kernel, row.data(), out.data());
    const int n = 12;
    const int half = 2;
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        double weight = 0.0;
        if (i < half) {
            for (int t = 0; t <= i + half; ++t) {
                sum += row[t] * kernel[t - i + half];
                weight += kernel[t - i + half];
            }
        } else {
            const int pairs = std::min(half, n - 1 - i);
            sum = kernel[half] * row[i];
            weight = kernel[half];
            for (int d = 1; d <= pairs; ++d) {
                sum += kernel[half + d] * (row[i - d] + row[i + d]);
                weight += 2.0 * kernel[half + d];
            }
        }
        EXPECT_NEAR(out[i], sum / weight, 1e-4) << i;
    }
    // The right end keeps only whole pairs: the last sample is its own mean.
    EXPECT_EQ(out[n - 1], row[n - 1]);
    // Any row length, shorter than the kernel included, keeps a constant row constant.
    for (int length = 1; length <= 8; ++length) {
        std::vector<float> constant(static_cast<size_t>(length), 3.5f);
        std::vector<float> smoothed(static_cast<size_t>(length), 0.0f);
        SymmetricConvolveRow(length, 5, kernel, constant.data(), smoothed.data());
        for (float v : smoothed) {
            EXPECT_FLOAT_EQ(v, 3.5f) << length;
        }
    }
}

TEST(EdgeRowRoutinesDeathTest, WindowsOutsideTheirLimitsEndTheProcess) {
    float kernel[4] = {0.25f, 0.25f, 0.25f, 0.25f};
    float row[8] = {};
    float out[8];
    EXPECT_EXIT(SymmetricConvolveRow(8, 4, kernel, row, out), testing::ExitedWithCode(1), "");
    // Edge windows outside 3 .. 63: below 3 both neighbour rows of an edge pixel would be one
    // row, above 63 the window does not fit the rings.
    Image source(10, 10), output(10, 10);
    for (int window : {-1, 0, 1, 2, 64, 65, 1000}) {
        EXPECT_EXIT(Detect(source, output, window), testing::ExitedWithCode(1), "")
            << "window " << window;
    }
}

TEST(DetectEdges, UniformSourceHasNoEdges) {
    Image source(30, 40, 120), output(30, 40, 9);
    ASSERT_EQ(Detect(source, output), 1);
    for (int r = 0; r < 29; ++r) {
        for (int c = 0; c < 40; ++c) {
            ASSERT_EQ(output[r][c], 0);
        }
    }
    EXPECT_EQ(output[29][0], 9); // the last row is left as it was
    int percent = -1, count = -1;
    ThinEdges(output.get(), 29, 40, &percent, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(percent, 0);
}

TEST(DetectEdges, RampMarksOnlyItsCentreColumn) {
    // 0, 45, 90 across three columns: the raw gradient is -15, -45, -60, -45, -15 about the
    // centre, so the centre is the one strict maximum, and the outer -15 columns have exactly
    // the squared threshold, which is not enough.
    const int rows = 20, cols = 30, centre = 14;
    Image source(rows, cols), output(rows, cols, 7);
    source.Fill([&](int, int c) { return c < centre ? 0 : c == centre ? 45 : 90; });
    ASSERT_EQ(Detect(source, output), 1);
    for (int r = 0; r < rows - 1; ++r) {
        for (int c = 0; c < cols; ++c) {
            EXPECT_EQ(output[r][c], c == centre ? 255 : 0) << r << ", " << c;
        }
    }
    for (int c = 0; c < cols; ++c) {
        EXPECT_EQ(output[rows - 1][c], 7);
    }
    // The centre gradient is -60: a threshold of 60 is not passed, 59.9 is on the inner rows
    // (the first and last rows have fewer rows to smooth over and a weaker gradient).
    Image strict(rows, cols);
    ASSERT_EQ(Detect(source, strict, 5, 60.0f), 1);
    EXPECT_EQ(strict.Count(), 0);
    Image loose(rows, cols);
    ASSERT_EQ(Detect(source, loose, 5, 59.9f), 1);
    for (int r = 2; r < rows - 3; ++r) {
        EXPECT_EQ(loose[r][centre], 255) << r;
    }
    // An even window is taken as the next odd one.
    Image even(rows, cols, 7);
    ASSERT_EQ(Detect(source, even, 4), 1);
    for (int r = 0; r < rows; ++r) {
        EXPECT_TRUE(std::equal(even[r], even[r] + cols, output[r])) << r;
    }
}

TEST(DetectEdges, SharpStepIsATieAndMarksNothing) {
    // Uniform halves meeting between two columns: the two columns beside the step have exactly
    // equal magnitudes and neither is strictly greater than the other. Any change in the order
    // of the float arithmetic breaks the tie.
    Image source(24, 32), output(24, 32);
    source.Fill([](int, int c) { return c < 16 ? 30 : 120; });
    ASSERT_EQ(Detect(source, output), 1);
    EXPECT_EQ(output.Count(), 0);
    Image horizontal(32, 24), out2(32, 24);
    horizontal.Fill([](int r, int) { return r < 16 ? 30 : 120; });
    ASSERT_EQ(Detect(horizontal, out2), 1);
    EXPECT_EQ(out2.Count(), 0);
}

TEST(DetectEdges, BrightRectangleGivesAClosedOutline) {
    // Rows 8..15 and columns 10..19 at 200 on 40. Across columns the truncated running means
    // favour the rectangle's own outermost columns; across rows the float means favour the rows
    // just outside it. Together they make one closed outline and nothing else.
    const int rows = 24, cols = 30;
    Image source(rows, cols), output(rows, cols);
    source.Fill([](int r, int c) { return (r >= 8 && r < 16 && c >= 10 && c < 20) ? 200 : 40; });
    ASSERT_EQ(Detect(source, output), 1);
    auto expected = [](int r, int c) {
        const bool sides = (c == 10 || c == 19) && r >= 8 && r <= 15;
        const bool ends = (r == 7 || r == 16) && c >= 12 && c <= 17;
        const bool corners = (r == 8 || r == 15) && (c == 11 || c == 18);
        return sides || ends || corners;
    };
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            EXPECT_EQ(output[r][c] != 0, expected(r, c)) << r << ", " << c;
        }
    }
    EXPECT_EQ(Components(output), 1);
}

TEST(DetectEdges, AnyImageSizeAndWindowStaysInsideTheImage) {
    // Under the sanitizers any read past a row, a ring or the image is reported; the borders
    // of every written row are 0.
    std::mt19937 random(11);
    for (int rows : {1, 2, 3, 5, 7, 14, 40}) {
        for (int cols : {1, 2, 3, 4, 8, 18, 33}) {
            for (int window : {3, 4, 5, 7, 31, 62, 63}) {
                Image source(rows, cols), output(rows, cols, 1);
                source.Fill([&](int, int) { return static_cast<uint8_t>(random() % 256); });
                ASSERT_EQ(Detect(source, output, window), 1);
                const int m = window % 2 == 0 ? window + 1 : window;
                const int q = std::min((m / 2 + 1) / 2, cols);
                for (int r = 0; r + 1 < rows; ++r) {
                    for (int c = 0; c < cols; ++c) {
                        const uint8_t v = output[r][c];
                        ASSERT_TRUE(v == 0 || v == 255);
                        if (c == 0 || c == cols - 1 || c < q || c >= cols - q) {
                            ASSERT_EQ(v, 0) << rows << "x" << cols << " M " << window;
                        }
                    }
                }
                ASSERT_EQ(output[rows - 1][0], 1);
            }
        }
    }
}

TEST(ThinEdges, BandsBecomeOnePixelLines) {
    for (int width : {2, 3}) {
        const int rows = 20, cols = 30;
        Image band(rows, cols);
        band.Fill([&](int r, int c) { return (r >= 8 && r < 8 + width && c >= 4 && c < 26); });
        int percent = 0, count = 0;
        ThinEdges(band.get(), rows, cols, &percent, &count);
        EXPECT_EQ(count, 22 * width);
        EXPECT_EQ(percent, (22 * width - band.Count()) * 100 / (22 * width));
        for (int c = 6; c < 24; ++c) {
            int set = 0;
            for (int r = 0; r < rows; ++r) {
                set += band[r][c] != 0;
            }
            EXPECT_EQ(set, 1) << "width " << width << " column " << c;
        }
        EXPECT_EQ(Components(band), 1);

        Image column(cols, rows);
        column.Fill([&](int r, int c) { return (c >= 8 && c < 8 + width && r >= 4 && r < 26); });
        ThinEdges(column.get(), cols, rows, &percent, &count);
        for (int r = 6; r < 24; ++r) {
            EXPECT_EQ(std::count_if(column[r], column[r] + rows, [](uint8_t v) { return v; }), 1)
                << "width " << width << " row " << r;
        }
        EXPECT_EQ(Components(column), 1);
    }
}

TEST(ThinEdges, RectangleRingLosesOnlyItsCorners) {
    Image ring(20, 30);
    ring.Fill([](int r, int c) {
        const bool inside = r >= 4 && r <= 15 && c >= 5 && c <= 24;
        return inside && (r == 4 || r == 15 || c == 5 || c == 24);
    });
    const int before = ring.Count();
    int percent = 0, count = 0;
    ThinEdges(ring.get(), 20, 30, &percent, &count);
    EXPECT_EQ(count, before);
    EXPECT_EQ(ring.Count(), before - 4);
    EXPECT_EQ(ring[4][5], 0);
    EXPECT_EQ(ring[4][24], 0);
    EXPECT_EQ(ring[15][5], 0);
    EXPECT_EQ(ring[15][24], 0);
    EXPECT_EQ(Components(ring), 1);
}

TEST(ThinEdges, KeepsConnectivityEndpointsAndRemovesOnlySetPixels) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 300; ++trial) {
        const int rows = 6 + static_cast<int>(random() % 20);
        const int cols = 6 + static_cast<int>(random() % 20);
        const int density = 20 + static_cast<int>(random() % 50);
        Image image(rows, cols);
        // The first and last rows are cleared by the pass itself, so they start empty.
        image.Fill([&](int r, int c) {
            return (r > 0 && r < rows - 1 && c > 0 && c < cols - 1 &&
                    static_cast<int>(random() % 100) < density)
                       ? 255
                       : 0;
        });
        Image before(rows, cols);
        before.Fill([&](int r, int c) { return image[r][c]; });
        int percent = 0, count = 0;
        ThinEdges(image.get(), rows, cols, &percent, &count);
        ASSERT_EQ(count, before.Count());
        ASSERT_EQ(percent, (count - image.Count()) * 100 / std::max(count, 1));
        ASSERT_EQ(Components(image), Components(before)) << "trial " << trial;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                ASSERT_LE(image[r][c], before[r][c]);
                if (before[r][c] != 0 && Neighbours(before, r, c) <= 1) {
                    ASSERT_NE(image[r][c], 0) << "end or lone pixel removed, trial " << trial;
                }
            }
        }
    }
}

TEST(ThinEdges, TinyImagesAreSafe) {
    for (int rows = 0; rows <= 3; ++rows) {
        for (int cols = 0; cols <= 3; ++cols) {
            Image image(std::max(rows, 1), cols, 255);
            int percent = -1, count = -1;
            ThinEdges(image.get(), static_cast<uint16_t>(rows), static_cast<uint16_t>(cols),
                      &percent, &count);
            EXPECT_EQ(count, rows == 3 && cols == 3 ? 1 : 0);
            EXPECT_GE(percent, 0);
        }
    }
}

TEST(EdgesMode, FrameFeaturesAreTheThinnedEdgesPackedForTheSearch) {
    // A 40 x 40 square at 180 on 60 in a frame of 120 columns and 100 rows.
    const int rows = 100, cols = 120;
    stillo_test::EngineRecords run(rows, cols,
                                   stillo_test::ProgramSettings(rows, cols, kFeatureEdges));
    ASSERT_EQ(run.ok, 1);
    MOSAIC_FRAME& frame = run.frame;
    const IMAGE2D mask = frame.ppCurMask;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            frame.ppGreyRows[y][x] = x >= 40 && x < 80 && y >= 30 && y < 70 ? 180 : 60;
        }
        frame.pCurCounts[y] = 999;
    }
    std::memset(mask[7], 0xFF, static_cast<size_t>(MaskRowBytes(cols))); // stale map
    ASSERT_EQ(ExtractFrameFeatures(&frame, &run.tables, &run.settings), 1);

    // The packed map and its counts describe the feature image.
    int total = 0;
    ASSERT_NO_FATAL_FAILURE(stillo_test::ExpectPackedMapOfFeatures(frame, rows, cols, &total));
    // Each side of the square has an edge pixel within two pixels of it along its middle, the
    // inside is free of features, and the count is taken before thinning.
    stillo_test::ExpectSquareOutline(frame, {40, 79}, {30, 69}, 2, 4, 3);
    EXPECT_GE(frame.nCurEdgeCount, total);
    EXPECT_GT(total, 4 * 30);
}
