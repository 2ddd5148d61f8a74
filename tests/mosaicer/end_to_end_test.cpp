// A whole run through the engine owner: frames cut from a large seeded texture along a known
// path, laid out as the video source lays them out. Every measured shift must be the true
// one, and every painted canvas pixel the texture pixel it came from.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using stillo_test::CutFrame;
using stillo_test::DiskTexture;
using stillo_test::FrameBuffer;
using stillo_test::Point;
using stillo_test::Rgb;
using stillo_test::Texture;

namespace {

struct RunCase {
    std::string name;
    int width;
    int height;
    int rowStart; // from the bottom
    int rowEnd;
    int colStart;
    int colEnd;
    int frames;
    bool thick;
    bool blend;
    std::function<Point(int)> path; // top-left of frame t in the texture, before offsetting
    int featureMode = kFeatureRegions;
};

void RunAndCheck(const RunCase& c) {
    SCOPED_TRACE(c.name);
    std::vector<Point> path(c.frames);
    for (int t = 0; t < c.frames; ++t) {
        path[t] = c.path(t);
    }
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const Point& p : path) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    for (Point& p : path) {
        p.x -= minX;
        p.y -= minY;
    }
    const Texture tex = DiskTexture(c.width + maxX - minX, c.height + maxY - minY, 1234);

    FrameBuffer frame(c.width, c.height);
    auto cut = [&](const Point& p) { CutFrame(tex, p, &frame); };

    CMosaicer m;
    m.SetThickBrush(c.thick ? 1 : 0);
    m.SetBlend(c.blend ? 1 : 0);
    m.SetFeatureMode(c.featureMode);
    ASSERT_EQ(
        m.Init("c:", c.width, c.height, c.rowStart, c.rowEnd, c.colStart, c.colEnd, c.frames, 0),
        1);
    cut(path[0]);
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    int wrong = 0;
    for (int t = 1; t < c.frames; ++t) {
        cut(path[t]);
        ASSERT_EQ(m.NextFrame(), 1);
        ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
        ASSERT_EQ(m.Compose(t), 0) << "frame " << t;
        const int dx = -(path[t].x - path[t - 1].x);
        const int dy = path[t].y - path[t - 1].y;
        if (m.m_frame.nLastDx != dx || m.m_frame.nLastDy != dy) {
            ADD_FAILURE() << "frame " << t << ": measured (" << m.m_frame.nLastDx << ", "
                          << m.m_frame.nLastDy << "), true (" << dx << ", " << dy << ")";
            if (++wrong > 5) {
                return;
            }
        }
        ASSERT_EQ(m.m_frame.nPosX, path[t].x - path[0].x);
        ASSERT_EQ(m.m_frame.nPosY, path[t].y - path[0].y);
    }

    // The run really went through the mode asked for: only Edges counts edge pixels.
    EXPECT_EQ(m.m_settings.nFeatureMode, c.featureMode);
    EXPECT_EQ(m.m_frame.nCurEdgeCount > 0, c.featureMode == kFeatureEdges);

    // Canvas point (x, y) shows texture pixel (x + X0 + colStart + hc,
    // y + Y0 + H - 1 - rowStart - hr).
    const MOSAIC_PARAMS& canvas = m.m_canvas;
    const int hr = (c.rowEnd - c.rowStart + 1) / 2;
    const int hc = (c.colEnd - c.colStart + 1) / 2;
    const int offX = path[0].x + c.colStart + hc;
    const int offY = path[0].y + c.height - 1 - c.rowStart - hr;
    uint8_t** rows = CurrentCanvasRows(canvas);
    long painted = 0;
    int mismatches = 0;
    for (int y = canvas.nTop; y <= canvas.nBottom; ++y) {
        const uint8_t* row = rows[canvas.nRows - 1 - (y - canvas.nTop)];
        for (int x = canvas.nLeft; x <= canvas.nRight; ++x) {
            const uint8_t* px = row + static_cast<size_t>(x - canvas.nLeft) * 3;
            if (px[0] == 0 && px[1] == 0 && px[2] == 0) {
                continue;
            }
            ++painted;
            const int tx = x + offX;
            const int ty = y + offY;
            const bool inside = tx >= 0 && ty >= 0 && tx < tex.width && ty < tex.height;
            const Rgb want = inside ? tex.At(tx, ty) : Rgb{0, 0, 0};
            const int tolerance = c.blend ? 1 : 0;
            if (!inside || std::abs(px[0] - want.r) > tolerance ||
                std::abs(px[1] - want.g) > tolerance || std::abs(px[2] - want.b) > tolerance) {
                if (++mismatches <= 5) {
                    ADD_FAILURE() << "canvas (" << x << ", " << y << ") differs from the texture";
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);

    // The band through every frame is covered without a gap from the first position to the
    // last: a row that lies in the painted part of every frame.
    int lowPos = 0, highPos = 0, lowY = 0, highY = 0;
    for (const Point& p : path) {
        lowPos = std::min(lowPos, p.x - path[0].x);
        highPos = std::max(highPos, p.x - path[0].x);
        lowY = std::min(lowY, p.y - path[0].y);
        highY = std::max(highY, p.y - path[0].y);
    }
    const int y = (lowY + highY) / 2;
    ASSERT_GT(y, canvas.nTop);
    ASSERT_LT(y, canvas.nBottom);
    const uint8_t* row = rows[canvas.nRows - 1 - (y - canvas.nTop)];
    for (int x = lowPos; x <= highPos; ++x) {
        const uint8_t* px = row + static_cast<size_t>(x - canvas.nLeft) * 3;
        ASSERT_TRUE(px[0] != 0 || px[1] != 0 || px[2] != 0) << "gap at x " << x << " y " << y;
    }
    EXPECT_GT(painted, static_cast<long>(highPos - lowPos) * (c.rowEnd - c.rowStart) / 2);
}

// Speeds that start still, speed up, turn round and speed up the other way, changing by one
// pixel every few frames.
int ReversingX(int t) {
    int x = 0;
    int speed = 0;
    for (int i = 1; i <= t; ++i) {
        if (i < 10) {
            speed = 0;
        } else if (i < 100) {
            speed = std::min(4, (i - 10) / 4 + 1);
        } else if (i < 150) {
            speed = 4;
        } else {
            speed = std::max(-4, 4 - (i - 150) / 4);
        }
        x += speed;
    }
    return x;
}

} // namespace

TEST(EndToEnd, SteadyPanSmallFrames) {
    RunAndCheck({"steady 360x288", 360, 288, 11, 270, 13, 340, 300, true, false, [](int t) {
                     return Point{3 * t, 0};
                 }});
}

TEST(EndToEnd, PanWithVerticalDriftBothWaysThinBrush) {
    RunAndCheck({"drift 360x288", 360, 288, 7, 279, 21, 333, 300, false, false, [](int t) {
                     return Point{2 * t, t < 150 ? t / 4 : (300 - t) / 4 - 1};
                 }});
}

TEST(EndToEnd, SlowStartAndReversalWithBlend) {
    RunAndCheck({"reversal 360x288", 360, 288, 20, 267, 9, 350, 320, true, true, [](int t) {
                     return Point{ReversingX(t), t / 5};
                 }});
}

TEST(EndToEnd, SteadyPanWithDriftLargeFrames) {
    RunAndCheck({"steady 720x576", 720, 576, 11, 564, 17, 701, 300, true, false, [](int t) {
                     return Point{4 * t, -(t / 3)};
                 }});
}

TEST(EndToEnd, ReversalLargeFramesThinBrush) {
    RunAndCheck({"reversal 720x576", 720, 576, 23, 551, 30, 690, 300, false, false, [](int t) {
                     return Point{-ReversingX(t), (t % 40 < 20 ? t % 20 : 20 - t % 20) / 3};
                 }});
}

TEST(EndToEnd, EdgesModeRegistersTheSamePans) {
    RunAndCheck({"edges steady 360x288", 360, 288, 11, 270, 13, 340, 300, true, false,
                 [](int t) {
                     return Point{3 * t, 0};
                 },
                 kFeatureEdges});
    RunAndCheck({"edges drift 360x288", 360, 288, 7, 279, 21, 333, 300, false, false,
                 [](int t) {
                     return Point{2 * t, t < 150 ? t / 4 : (300 - t) / 4 - 1};
                 },
                 kFeatureEdges});
    RunAndCheck({"edges reversal 720x576", 720, 576, 23, 551, 30, 690, 300, false, false,
                 [](int t) {
                     return Point{-ReversingX(t), (t % 40 < 20 ? t % 20 : 20 - t % 20) / 3};
                 },
                 kFeatureEdges});
}

namespace {

// A short run of the owner over a steady pan, for the brush and saving checks.
struct ShortRun {
    CMosaicer m;
    Texture tex = DiskTexture(400, 200, 77);
    FrameBuffer frame{160, 120};
    void Cut(int t) { CutFrame(tex, Point{2 * t, 10}, &frame); }
    bool Start(int runFrames, bool thick) {
        m.SetThickBrush(thick ? 1 : 0);
        if (m.Init("c:", 160, 120, 5, 110, 3, 150, runFrames, 0) != 1) {
            return false;
        }
        Cut(0);
        return m.AddFrame(frame.bytes.data(), frame.bytes.size()) == 1;
    }
    int Step(int t, int frameIndex, bool last = false) {
        Cut(t);
        m.NextFrame();
        m.AddFrame(frame.bytes.data(), frame.bytes.size());
        return m.Compose(frameIndex, last);
    }
};

} // namespace

TEST(EngineOwner, BrushesChooseFactorAndExtension) {
    ShortRun thin;
    ASSERT_TRUE(thin.Start(100, false));
    ASSERT_EQ(thin.Step(1, 1), 0);
    EXPECT_EQ(thin.m.m_settings.fBrushFactor, 0.0f);
    EXPECT_EQ(thin.m.m_frame.bExtendStrip, 0);
    ASSERT_EQ(thin.Step(2, 98), 0);
    EXPECT_EQ(thin.m.m_frame.bExtendStrip, 0);
    ASSERT_EQ(thin.Step(3, 99), 0); // the run's last frame with a step of one
    EXPECT_EQ(thin.m.m_frame.bExtendStrip, 1);

    // A run that ends early (a step above one, the frame limit): the caller's flag extends the
    // last frame, which paints its trailing part: about half a window more canvas pixels.
    ShortRun early, unflagged;
    ASSERT_TRUE(early.Start(100, false));
    ASSERT_TRUE(unflagged.Start(100, false));
    for (int t = 1; t <= 3; ++t) {
        ASSERT_EQ(early.Step(t, t, t == 3), 0);
        ASSERT_EQ(unflagged.Step(t, t), 0);
    }
    EXPECT_EQ(early.m.m_frame.bExtendStrip, 1);
    EXPECT_EQ(unflagged.m.m_frame.bExtendStrip, 0);
    auto painted = [](CMosaicer& m) {
        std::unique_ptr<uint8_t, decltype(&free)> px(m.CopyCanvas32(), &free);
        long n = 0;
        for (long i = 0; px && i < long(m.m_canvas.nCols) * m.m_canvas.nRows; ++i) {
            n += px.get()[4 * i] | px.get()[4 * i + 1] | px.get()[4 * i + 2] ? 1 : 0;
        }
        return n;
    };
    const long rows = 110 - 5 + 1;
    EXPECT_GE(painted(early.m), painted(unflagged.m) + 50 * rows);

    ShortRun thick;
    ASSERT_TRUE(thick.Start(100, true));
    ASSERT_EQ(thick.Step(1, 1), 0);
    EXPECT_EQ(thick.m.m_settings.fBrushFactor, 1.0f);
    EXPECT_EQ(thick.m.m_frame.bExtendStrip, 1);
    ASSERT_EQ(thick.Step(2, 2), 0);
    EXPECT_EQ(thick.m.m_settings.fBrushFactor, 0.0f);
    EXPECT_EQ(thick.m.m_frame.bExtendStrip, 1);
}

TEST(EngineOwner, AFrameThatWasNotTakenStopsTheRunInsteadOfBeingSkipped) {
    ShortRun run;
    ASSERT_TRUE(run.Start(100, true));
    ASSERT_EQ(run.Step(1, 1), 0);
    const int posX = run.m.m_frame.nPosX;
    run.Cut(2);
    run.m.NextFrame();
    EXPECT_EQ(run.m.AddFrame(run.frame.bytes.data(), run.frame.bytes.size() - 1), 0);
    EXPECT_EQ(run.m.Compose(2), kComposeFailed);
    EXPECT_EQ(run.m.m_frame.nPosX, posX);

    CMosaicer idle; // no run at all
    EXPECT_EQ(idle.Compose(1), kComposeFailed);
    const stillo_test::TempDir dir;
    std::string path = dir.File("never-written.jpg");
    EXPECT_EQ(idle.Save(0, 0, 10, 10, 90, path.data()), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(idle.CopyCanvas32(), nullptr);
}

TEST(EngineOwner, AFrameThatCannotBePaintedIsToldApartFromNoStripCompleted) {
    ShortRun run;
    ASSERT_TRUE(run.Start(100, true));
    run.m.m_canvas.nGrowStep = INT_MAX / 2; // no growth step can be made
    // The first registered frame is painted whole, which needs the canvas to grow.
    EXPECT_EQ(run.Step(1, 1), kComposeFailed);
    EXPECT_EQ(run.m.m_canvas.nRows, 200);
    EXPECT_EQ(run.m.m_canvas.nCols, 300);
}

TEST(EngineOwner, SavesAndCopiesTheWholeCanvas) {
    ShortRun run;
    ASSERT_TRUE(run.Start(30, true));
    for (int t = 1; t < 30; ++t) {
        ASSERT_EQ(run.Step(t, t), 0);
    }
    const MOSAIC_PARAMS& canvas = run.m.m_canvas;
    uint8_t* copy = run.m.CopyCanvas32();
    ASSERT_NE(copy, nullptr);
    uint8_t** rows = CurrentCanvasRows(canvas);
    int differences = 0;
    for (int r = 0; r < canvas.nRows; ++r) {
        for (int k = 0; k < canvas.nCols; ++k) {
            const uint8_t* px = copy + (static_cast<size_t>(r) * canvas.nCols + k) * 4;
            differences += std::memcmp(px, rows[r] + 3 * k, 3) != 0 || px[3] != 0;
        }
    }
    std::free(copy);
    EXPECT_EQ(differences, 0);

    const stillo_test::TempDir dir;
    std::string path = dir.File("owner-save.jpg");
    ASSERT_NE(run.m.Save(0, 0, canvas.nCols - 1, canvas.nRows - 1, 90, path.data()), 0);
    // The JPEG's frame header holds its size: height then width, big-endian.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<unsigned char> bytes(1 << 20);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    std::remove(path.c_str());
    int height = -1, width = -1;
    for (size_t i = 2; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            height = bytes[i + 5] << 8 | bytes[i + 6];
            width = bytes[i + 7] << 8 | bytes[i + 8];
            break;
        }
    }
    EXPECT_EQ(width, canvas.nCols);
    EXPECT_EQ(height, canvas.nRows);
}
