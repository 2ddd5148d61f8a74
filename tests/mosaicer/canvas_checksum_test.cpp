// Three whole runs whose every output is fixed by a checksum: the packed map of every frame,
// every measured shift and the finished canvas with its extents. The sums were taken from the
// engine before its per-frame work was made fast; any change to a single output bit since
// fails here. The pans stay inside the windows the search is asked for, so they measure the
// true motion, which is checked as well.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

using stillo_test::FrameBuffer;
using stillo_test::Rgb;

namespace {

// 64-bit FNV-1a over everything a run produces.
struct Checksum {
    uint64_t value = 14695981039346656037ull;
    void Add(const void* data, size_t bytes) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < bytes; ++i) {
            value = (value ^ p[i]) * 1099511628211ull;
        }
    }
    void Add(int32_t v) { Add(&v, sizeof v); }
};

// Disks of many sizes and colours over a smooth ramp, from raw generator output only, so the
// picture is the same with every standard library.
std::vector<Rgb> MakeTexture(int width, int height, unsigned seed) {
    std::vector<Rgb> t(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            t[static_cast<size_t>(y) * width + x] = {static_cast<uint8_t>(40 + (x + y) % 50),
                                                     static_cast<uint8_t>(60 + y % 40),
                                                     static_cast<uint8_t>(30 + x % 70)};
        }
    }
    std::mt19937 rng(seed);
    const int disks = width * height / 500;
    for (int i = 0; i < disks; ++i) {
        const int cx = static_cast<int>(rng() % static_cast<unsigned>(width));
        const int cy = static_cast<int>(rng() % static_cast<unsigned>(height));
        const int r = 4 + static_cast<int>(rng() % 33u);
        const Rgb c{static_cast<uint8_t>(rng() % 256u), static_cast<uint8_t>(rng() % 256u),
                    static_cast<uint8_t>(rng() % 256u)};
        for (int y = std::max(0, cy - r); y <= std::min(height - 1, cy + r); ++y) {
            for (int x = std::max(0, cx - r); x <= std::min(width - 1, cx + r); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                    t[static_cast<size_t>(y) * width + x] = c;
                }
            }
        }
    }
    return t;
}

struct Pan {
    const char* name;
    int width, height;
    int rowStart, rowEnd, colStart, colEnd; // rows from the bottom
    int frames;
    int featureMode;
    bool thick;
    bool blend;
    std::function<std::pair<int, int>(int)> path; // texture offset of frame t
    uint64_t expected;
};

uint64_t RunPan(const Pan& pan) {
    SCOPED_TRACE(pan.name);
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int t = 0; t < pan.frames; ++t) {
        const auto [x, y] = pan.path(t);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    const int texW = pan.width + maxX - minX;
    const int texH = pan.height + maxY - minY;
    const std::vector<Rgb> tex = MakeTexture(texW, texH, 2024);
    FrameBuffer frame(pan.width, pan.height);
    auto cut = [&](int t) {
        const auto [ox, oy] = pan.path(t);
        for (int y = 0; y < pan.height; ++y) {
            for (int x = 0; x < pan.width; ++x) {
                frame.Set(x, y, tex[static_cast<size_t>(oy - minY + y) * texW + (ox - minX + x)]);
            }
        }
    };

    CMosaicer m;
    m.SetFeatureMode(pan.featureMode);
    m.SetThickBrush(pan.thick ? 1 : 0);
    m.SetBlend(pan.blend ? 1 : 0);
    EXPECT_EQ(m.Init("c:", pan.width, pan.height, pan.rowStart, pan.rowEnd, pan.colStart,
                     pan.colEnd, pan.frames, 0),
              1);
    Checksum sum;
    const int maskWords = (m.m_nWorkCols + 15) / 16;
    auto addMap = [&] {
        for (int r = 0; r < m.m_nWorkRows; ++r) {
            sum.Add(m.m_frame.ppCurMask[r], 2 * static_cast<size_t>(maskWords));
            sum.Add(m.m_frame.pCurCounts[r]);
        }
    };
    cut(0);
    EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    addMap();
    int wrong = 0;
    for (int t = 1; t < pan.frames; ++t) {
        cut(t);
        m.NextFrame();
        EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
        addMap();
        EXPECT_EQ(m.Compose(t), 0);
        sum.Add(m.m_frame.nLastDx);
        sum.Add(m.m_frame.nLastDy);
        const int dx = -(pan.path(t).first - pan.path(t - 1).first);
        const int dy = pan.path(t).second - pan.path(t - 1).second;
        if ((m.m_frame.nLastDx != dx || m.m_frame.nLastDy != dy) && ++wrong <= 3) {
            ADD_FAILURE() << "frame " << t << " measured (" << m.m_frame.nLastDx << ", "
                          << m.m_frame.nLastDy << "), moved (" << dx << ", " << dy << ")";
        }
    }
    const MOSAIC_PARAMS& c = m.m_canvas;
    for (int32_t v : {c.nTop, c.nBottom, c.nLeft, c.nRight, c.nRows, c.nCols}) {
        sum.Add(v);
    }
    uint8_t** rows = CurrentCanvasRows(c);
    for (int r = 0; r < c.nRows; ++r) {
        sum.Add(rows[r], static_cast<size_t>(c.nCols) * c.nBytesPerPixel);
    }
    return sum.value;
}

int Triangle(int t, int period) {
    const int p = t % (2 * period);
    return p < period ? p : 2 * period - p;
}

// The position after t frames at speed `from`, turning round from frame `turn` on by one
// pixel of speed every three frames until the speed is `to`.
int Turning(int t, int from, int turn, int to) {
    int p = 0;
    for (int i = 1; i <= t; ++i) {
        const int change = i < turn ? 0 : (i - turn) / 3;
        p += from < to ? std::min(to, from + change) : std::max(to, from - change);
    }
    return p;
}

} // namespace

TEST(CanvasChecksum, ThreePansPaintExactlyWhatTheyAlwaysPainted) {
    const Pan pans[] = {
        // Regions, thick brush: right at 3 px a frame, then back left at 4 past the start,
        // with a slow drift down and up, so the canvas grows on every side.
        {"regions thick", 320, 240, 6, 233, 7, 312, 100, kFeatureRegions, true, false,
         [](int t) {
             return std::pair{Turning(t, 3, 40, -4), Triangle(t, 30) / 3};
         },
         0x125e7fd2ca9a7e75ull},
        // Edges, thin brush, blending onto what is painted: left at 2 px a frame with a
        // vertical zigzag.
        {"edges thin blend", 288, 224, 5, 220, 4, 280, 70, kFeatureEdges, false, true,
         [](int t) {
             return std::pair{-2 * t, Triangle(t, 12) / 2};
         },
         0x77cedec3681168c4ull},
        // Mostly vertical: row bands, up at 3 px a frame, then down at 2, creeping sideways.
        {"vertical thin", 240, 256, 8, 247, 6, 233, 80, kFeatureRegions, false, false,
         [](int t) {
             return std::pair{t / 8, Turning(t, -3, 40, 2)};
         },
         0xbc3be96afaa031ccull},
    };
    for (const Pan& pan : pans) {
        const uint64_t got = RunPan(pan);
        EXPECT_EQ(got, pan.expected) << pan.name << ": 0x" << std::hex << got;
    }
}
