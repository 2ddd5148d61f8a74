// Timed runs of the whole engine on frames cut from a seeded texture along a steady pan.
//   engine_run_bench            frames a second at 360x288, 640x480, 720x576, 1280x720, both
//                               brushes, and the time of saving a 10,000 x 576 canvas at
//                               quality 90
//   engine_run_bench 640x480    frames a second at that size only, both brushes
//   engine_run_bench --long     one 1,500-frame pan at 720x576: time and peak memory
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/texture.h"
#include "tiler2/SaverApp.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace stillo_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kSeed = 99;

struct RunResult {
    double seconds = 0;       // engine calls only
    double steadySeconds = 0; // frames after the first ten
    int steadyFrames = 0;
    int failures = 0;
    int canvasCols = 0;
    int canvasRows = 0;
};

RunResult Run(const Texture& tex, int width, int height, int frames, int speed, bool thick,
              CMosaicer& m) {
    FrameBuffer frame(width, height);
    auto cut = [&](int t) { CutFrame(tex, Point{t * speed, (t / 7) % 20}, &frame); };
    RunResult result;
    m.SetThickBrush(thick ? 1 : 0);
    m.SetFeatureMode(kFeatureRegions);
    const int trimRows = height * 2 / 100;
    const int trimCols = width * 2 / 100;
    if (m.Init("c:", width, height, trimRows, height - 1 - trimRows, trimCols, width - 1 - trimCols,
               frames, 0) != 1) {
        result.failures = frames;
        return result;
    }
    cut(0);
    auto start = Clock::now();
    m.AddFrame(frame.bytes.data(), frame.bytes.size());
    result.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    for (int t = 1; t < frames; ++t) {
        cut(t);
        start = Clock::now();
        m.NextFrame();
        m.AddFrame(frame.bytes.data(), frame.bytes.size());
        if (m.Compose(t) == kComposeFailed) {
            ++result.failures;
        }
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        result.seconds += s;
        if (t > 10) {
            result.steadySeconds += s;
            ++result.steadyFrames;
        }
    }
    result.canvasCols = m.m_canvas.nCols;
    result.canvasRows = m.m_canvas.nRows;
    return result;
}

void Rates(const char* only) {
    const Texture tex = DiskTexture(1280 + 400 * 4, 720 + 20, kSeed);
    std::printf("%-9s %-6s %10s %12s\n", "size", "brush", "frames/s", "steady f/s");
    for (const auto& size :
         {std::pair{360, 288}, std::pair{640, 480}, std::pair{720, 576}, std::pair{1280, 720}}) {
        if (only != nullptr &&
            std::to_string(size.first) + "x" + std::to_string(size.second) != only) {
            continue;
        }
        for (bool thick : {true, false}) {
            CMosaicer m;
            const RunResult r = Run(tex, size.first, size.second, 400, 4, thick, m);
            std::printf("%3dx%-5d %-6s %10.1f %12.1f%s\n", size.first, size.second,
                        thick ? "thick" : "thin", 399 / r.seconds, r.steadyFrames / r.steadySeconds,
                        r.failures ? "  (failures)" : "");
        }
    }
}

void Saving() {
    // A 10,000 x 576 canvas painted with texture.
    const Texture tex = DiskTexture(10000, 576, kSeed);
    std::vector<std::vector<uint8_t>> storage(576, std::vector<uint8_t>(10000 * 3));
    std::vector<uint8_t*> rows;
    for (int r = 0; r < 576; ++r) {
        for (int k = 0; k < 10000; ++k) {
            const Rgb c = tex.At(k, 575 - r);
            storage[r][3 * k] = c.r;
            storage[r][3 * k + 1] = c.g;
            storage[r][3 * k + 2] = c.b;
        }
        rows.push_back(storage[r].data());
    }
    MOSAIC_PARAMS canvas{};
    canvas.nRows = 576;
    canvas.nCols = 10000;
    canvas.nBottom = 575;
    canvas.nRight = 9999;
    canvas.bRowsACurrent = 1;
    canvas.nBytesPerPixel = 3;
    canvas.ppRowsA = rows.data();
    const stillo_test::TempDir temp("stillo-engine-bench");
    std::string path = temp.File("canvas.jpg");
    double best = 1e9;
    CSaverApp saver;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        const int ok = saver.Save(&canvas, 0, 0, 9999, 575, 90, path.data());
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
        if (!ok) {
            std::printf("save failed\n");
            return;
        }
    }
    std::remove(path.c_str());
    std::printf("save 10000x576 q90: %.1f ms (best of 5)\n", best * 1000);
}

void LongPan() {
    const int frames = 1500;
    const int speed = 6;
    const Texture tex = DiskTexture(720 + frames * speed, 576 + 20, kSeed);
    CMosaicer m;
    const RunResult r = Run(tex, 720, 576, frames, speed, true, m);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("1500-frame pan 720x576, %d px/frame: %.2f s engine time (%.1f frames/s), "
                "canvas %d x %d, peak resident %.0f MB (texture %.0f MB of it)%s\n",
                speed, r.seconds, (frames - 1) / r.seconds, r.canvasCols, r.canvasRows,
                usage.ru_maxrss / 1024.0, tex.pixels.size() * 3 / 1e6,
                r.failures ? ", with failures" : "");
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--long") == 0) {
        LongPan();
        return 0;
    }
    if (argc > 1) {
        Rates(argv[1]);
        return 0;
    }
    Rates(nullptr);
    Saving();
    return 0;
}
