// Whole runs through the engine owner on frames cut from a seeded texture along known paths.
// Three of them are fixed by a checksum of every output: the packed map of every frame, every
// measured shift and the finished canvas with its extents. The sums were taken from the engine
// before its per-frame work was made fast; any change to a single output bit since fails here.
// Those pans stay inside the windows the search is asked for, so they measure the true motion,
// which is checked as well. High-definition pans check that the first frame's search window is
// searched whole.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"
#include "tests/support/texture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using stillo_test::CutFrame;
using stillo_test::FrameBuffer;
using stillo_test::Rgb;
using stillo_test::Texture;

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

// Disks of many sizes and colours over a smooth ramp, from raw generator output only (no
// distribution, whose draws the standard libraries may make differently), so the picture and
// the checksums are the same with every standard library.
Texture RampAndDisks(int width, int height, unsigned seed) {
    Texture tex{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height)};
    std::vector<Rgb>& t = tex.pixels;
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
    return tex;
}

// Frame t of a pan: the texture window whose top-left corner is at offset(t) - (minX, minY).
struct PanFrames {
    int minX = 0, minY = 0;
    Texture tex;
    std::function<std::pair<int, int>(int)> offset;
    FrameBuffer frame;
    PanFrames(int w, int h, int frames, std::function<std::pair<int, int>(int)> path)
        : offset(std::move(path)), frame(w, h) {
        int maxX = 0, maxY = 0;
        for (int t = 0; t < frames; ++t) {
            const auto [x, y] = offset(t);
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        tex = RampAndDisks(w + maxX - minX, h + maxY - minY, 2024);
    }
    const FrameBuffer& Cut(int t) {
        const auto [ox, oy] = offset(t);
        CutFrame(tex, {ox - minX, oy - minY}, &frame);
        return frame;
    }
    // The shift the engine should measure between frames t - 1 and t.
    std::pair<int, int> Shift(int t) const {
        return {-(offset(t).first - offset(t - 1).first), offset(t).second - offset(t - 1).second};
    }
};

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
    PanFrames frames(pan.width, pan.height, pan.frames, pan.path);
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
    const FrameBuffer& first = frames.Cut(0);
    EXPECT_EQ(m.AddFrame(first.bytes.data(), first.bytes.size()), 1);
    addMap();
    int wrong = 0;
    for (int t = 1; t < pan.frames; ++t) {
        const FrameBuffer& frame = frames.Cut(t);
        m.NextFrame();
        EXPECT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
        addMap();
        EXPECT_EQ(m.Compose(t), 0);
        sum.Add(m.m_frame.nLastDx);
        sum.Add(m.m_frame.nLastDy);
        const auto [dx, dy] = frames.Shift(t);
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

TEST(HighDefinitionPans, TheFirstFramesShiftIsMeasuredExactly) {
    // 1920 x 1080 frames trimmed by 1 %: the first registered frame's window is +-30 both ways,
    // and a pan of 28 pixels a frame lies near its edge along the rows, with or without a drift
    // of 5 rows a frame across them.
    const std::function<std::pair<int, int>(int)> paths[] = {
        [](int t) {
            return std::pair{28 * t, 0};
        },
        [](int t) {
            return std::pair{-28 * t, -5 * t};
        },
    };
    for (const auto& path : paths) {
        PanFrames frames(1920, 1080, 4, path);
        CMosaicer m;
        ASSERT_EQ(m.Init("c:", 1920, 1080, 10, 1069, 19, 1900, 4, 0), 1);
        const FrameBuffer& first = frames.Cut(0);
        ASSERT_EQ(m.AddFrame(first.bytes.data(), first.bytes.size()), 1);
        for (int t = 1; t < 4; ++t) {
            const FrameBuffer& frame = frames.Cut(t);
            m.NextFrame();
            ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
            ASSERT_EQ(m.Compose(t), 0);
            const auto [dx, dy] = frames.Shift(t);
            EXPECT_EQ(m.m_frame.nLastDx, dx) << "frame " << t;
            EXPECT_EQ(m.m_frame.nLastDy, dy) << "frame " << t;
        }
    }
}
