// Feature extraction of a 720 x 576 frame in Regions and in Edges mode, and the edge detector
// and thinning pass on their own. Run on one core:
//   taskset -c 2 build-release/bin/bench_edges
#include "engine/edges.h"
#include "engine/feature_extraction.h"
#include "engine/records.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kRows = 576;
constexpr int kCols = 720;

// Overlapping rectangles of random brightness over a slow shading, with some noise: sharp
// outlines for both feature kinds to find, as a textured scene gives them.
void FillTexture(IMAGE2D image) {
    std::mt19937 random(42);
    std::vector<int> level(static_cast<size_t>(kRows) * kCols);
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kCols; ++x) {
            level[y * kCols + x] = static_cast<int>(100.0 + 40.0 * std::sin((x + 2 * y) * 0.013));
        }
    }
    for (int k = 0; k < 400; ++k) {
        const int w = 8 + static_cast<int>(random() % 60);
        const int h = 8 + static_cast<int>(random() % 60);
        const int x0 = static_cast<int>(random() % (kCols - w));
        const int y0 = static_cast<int>(random() % (kRows - h));
        const int delta = static_cast<int>(random() % 121) - 60;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                level[y * kCols + x] += delta;
            }
        }
    }
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kCols; ++x) {
            const int v = level[y * kCols + x] + static_cast<int>(random() % 9) - 4;
            image[y][x] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

struct FrameFixture {
    IMAGE2D grey = AllocImage2D(kRows, kCols);
    IMAGE2D pristine = AllocImage2D(kRows, kCols);
    IMAGE2D features = AllocImage2D(kRows, kCols);
    IMAGE2D mask = AllocImage2D(kRows, MaskRowBytes(kCols));
    std::vector<uint16_t> counts = std::vector<uint16_t>(kRows);
    MOSAIC_FRAME frame{};
    MOSAIC_TABLES tables{};
    MOSAIC_SETTINGS settings{};

    explicit FrameFixture(int mode) {
        FillTexture(pristine);
        settings.nReduction = 1;
        settings.nFeatureMode = mode;
        settings.nNormWindow = 51;
        settings.nSmoothWindow = 5;
        settings.nEdgeThreshold = 15;
    }
    ~FrameFixture() {
        FreeImage2D(grey, kRows);
        FreeImage2D(pristine, kRows);
        FreeImage2D(features, kRows);
        FreeImage2D(mask, kRows);
    }
    // What the engine does before every frame: a fresh grey image and a cleared feature image.
    void Reset() {
        for (int y = 0; y < kRows; ++y) {
            std::memcpy(grey[y], pristine[y], kCols);
            std::memset(features[y], 0, kCols);
        }
        frame.nRows = kRows;
        frame.nCols = kCols;
        frame.ppGreyRows = grey;
        frame.ppCurFeatures = features;
        frame.ppCurMask = mask;
        frame.pCurCounts = counts.data();
    }
};

void Extract(benchmark::State& state, int mode) {
    FrameFixture f(mode);
    for (auto _ : state) {
        state.PauseTiming();
        f.Reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ExtractFrameFeatures(&f.frame, &f.tables, &f.settings));
        benchmark::ClobberMemory();
    }
    state.counters["edges"] = f.frame.nCurEdgeCount;
}

void BM_ExtractRegions(benchmark::State& state) {
    Extract(state, 0);
}
void BM_ExtractEdges(benchmark::State& state) {
    Extract(state, 1);
}

void BM_DetectEdges(benchmark::State& state) {
    FrameFixture f(1);
    f.Reset();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DetectEdges(f.grey, kRows, kCols, 5, 15.0f, f.features));
        benchmark::ClobberMemory();
    }
}

void BM_ThinEdges(benchmark::State& state) {
    FrameFixture f(1);
    f.Reset();
    DetectEdges(f.grey, kRows, kCols, 5, 15.0f, f.pristine);
    for (auto _ : state) {
        state.PauseTiming();
        for (int y = 0; y < kRows; ++y) {
            std::memcpy(f.features[y], f.pristine[y], kCols);
        }
        state.ResumeTiming();
        int percent = 0;
        int count = 0;
        ThinEdges(f.features, kRows, kCols, &percent, &count);
        benchmark::DoNotOptimize(count);
    }
}

} // namespace

BENCHMARK(BM_ExtractRegions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractEdges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectEdges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinEdges)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
