// Feature extraction of a 720 x 576 frame in Regions and in Edges mode, and the edge detector
// and thinning pass on their own. Single-threaded; pinned to one core it is steadier:
//   taskset -c 2 build/bin/bench_edges
#include "engine/edges.h"
#include "engine/feature_extraction.h"
#include "engine/records.h"
#include "tests/support/engine_records.h"
#include "tests/support/texture.h"

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

// The grey of a seeded disk texture: sharp outlines for both feature kinds to find, as a
// textured scene gives them.
void FillTexture(const RowImage& image) {
    const stillo_test::Texture tex = stillo_test::DiskTexture(kCols, kRows, 42);
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kCols; ++x) {
            image[y][x] = tex.Grey(x, y);
        }
    }
}

// The records of a run over full-size frames, with a pristine grey frame to start each from.
struct FrameFixture {
    stillo_test::EngineRecords r;
    RowImage pristine{kRows, kCols};
    MOSAIC_FRAME& frame = r.frame;

    explicit FrameFixture(int mode)
        : r(kRows, kCols, stillo_test::ProgramSettings(kRows, kCols, mode)) {
        FillTexture(pristine);
    }
    // What the engine does before every frame: a fresh grey image and a cleared feature image.
    void Reset() {
        for (int y = 0; y < kRows; ++y) {
            std::memcpy(frame.ppGreyRows[y], pristine[y], kCols);
            std::memset(frame.ppCurFeatures[y], 0, kCols);
        }
        frame.nRows = kRows;
        frame.nCols = kCols;
    }
};

void Extract(benchmark::State& state, int mode) {
    FrameFixture f(mode);
    for (auto _ : state) {
        state.PauseTiming();
        f.Reset();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ExtractFrameFeatures(&f.frame, &f.r.tables, &f.r.settings));
        benchmark::ClobberMemory();
    }
    state.counters["edges"] = f.frame.nCurEdgeCount;
}

void BM_ExtractRegions(benchmark::State& state) {
    Extract(state, kFeatureRegions);
}
void BM_ExtractEdges(benchmark::State& state) {
    Extract(state, kFeatureEdges);
}

void BM_DetectEdges(benchmark::State& state) {
    FrameFixture f(1);
    f.Reset();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            DetectEdges(f.frame.ppGreyRows, kRows, kCols, 5, 15.0f, f.frame.ppCurFeatures));
        benchmark::ClobberMemory();
    }
}

void BM_ThinEdges(benchmark::State& state) {
    FrameFixture f(1);
    f.Reset();
    DetectEdges(f.frame.ppGreyRows, kRows, kCols, 5, 15.0f, f.pristine.get());
    for (auto _ : state) {
        state.PauseTiming();
        for (int y = 0; y < kRows; ++y) {
            std::memcpy(f.frame.ppCurFeatures[y], f.pristine[y], kCols);
        }
        state.ResumeTiming();
        int percent = 0;
        int count = 0;
        ThinEdges(f.frame.ppCurFeatures, kRows, kCols, &percent, &count);
        benchmark::DoNotOptimize(count);
    }
}

} // namespace

BENCHMARK(BM_ExtractRegions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractEdges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectEdges)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinEdges)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
