// Times the displacement search at several radii and the Regions extraction with packing, on a
// 720 x 576 frame trimmed by 2 % at every side. Prints one line per figure: the median of
// several single-threaded runs.
#include "engine/displacement_search.h"
#include "engine/feature_extraction.h"
#include "engine/image.h"
#include "engine/records.h"
#include "tests/support/engine_records.h"
#include "tests/support/texture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int32_t kRows = 576 - 2 * 12; // 2 % of 576, rounded, at top and bottom
constexpr int32_t kCols = 720 - 2 * 14; // 2 % of 720, rounded, at left and right
// The texture reaches this far beyond the frame on every side, room for the shift.
constexpr int32_t kMargin = 10;
constexpr unsigned kSeed = 42;

template <typename Work> double MedianMs(int runs, Work work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// A grey frame cut from the texture at (margin - sx, margin - sy), among the records of a run:
// the texture seen shifted by (sx, sy).
struct Frame {
    stillo_test::EngineRecords r{kRows, kCols, stillo_test::ProgramSettings(kRows, kCols)};
    MOSAIC_FRAME& f = r.frame;
    Frame(const stillo_test::Texture& tex, int32_t sx, int32_t sy) {
        for (int32_t y = 0; y < kRows; ++y) {
            for (int32_t x = 0; x < kCols; ++x) {
                f.ppGreyRows[y][x] = tex.Grey(x - sx + kMargin, y - sy + kMargin);
            }
        }
    }
};

} // namespace

int main() {
    const stillo_test::Texture tex =
        stillo_test::DiskTexture(kCols + 2 * kMargin, kRows + 2 * kMargin, kSeed);
    Frame prev(tex, 0, 0), cur(tex, 5, -3);
    if (prev.r.ok != 1 || cur.r.ok != 1 ||
        ExtractFrameFeatures(&prev.f, &prev.r.tables, &prev.r.settings) != 1 ||
        ExtractFrameFeatures(&cur.f, &cur.r.tables, &cur.r.settings) != 1) {
        std::printf("feature extraction failed\n");
        return 1;
    }
    std::printf("frame %d x %d, %d words a row, %d feature pixels\n", kCols, kRows,
                cur.f.nMaskWords, [&] {
                    int n = 0;
                    for (int32_t y = 0; y < kRows; ++y) {
                        n += cur.f.pCurCounts[y];
                    }
                    return n;
                }());

    const double extract =
        MedianMs(21, [&] { ExtractFrameFeatures(&cur.f, &cur.r.tables, &cur.r.settings); });
    std::printf("regions extraction + packing: %.2f ms\n", extract);

    MOSAIC_TABLES& tables = cur.r.tables;
    for (int32_t radius : {2, 10, 30, 40, 60}) {
        int32_t dx = 0, dy = 0;
        const double ms = MedianMs(radius > 20 ? 3 : 11, [&] {
            MatchBitmapsExhaustive(&tables, prev.f.ppCurMask, cur.f.ppCurMask, prev.f.pCurCounts,
                                   cur.f.pCurCounts, cur.f.nMaskRows, cur.f.nMaskWords, -radius,
                                   radius, -radius, radius, &dy, &dx);
        });
        std::printf("search +-%d x +-%d: %.2f ms (found %d, %d)\n", radius, radius, ms, dx, dy);
    }
    // The widest window the tracker can ask for: half the map either way.
    {
        int32_t dx = 0, dy = 0;
        const int32_t hx = 16 * cur.f.nMaskWords / 2, hy = kRows / 2;
        const double ms = MedianMs(3, [&] {
            MatchBitmapsExhaustive(&tables, prev.f.ppCurMask, cur.f.ppCurMask, prev.f.pCurCounts,
                                   cur.f.pCurCounts, cur.f.nMaskRows, cur.f.nMaskWords, -hx, hx,
                                   -hy, hy, &dy, &dx);
        });
        std::printf("search +-%d x +-%d (whole): %.2f ms (found %d, %d)\n", hx, hy, ms, dx, dy);
    }
    {
        int32_t dx = 0, dy = 0;
        const double ms = MedianMs(11, [&] {
            MatchBitmapsCentred(&tables, prev.f.ppCurMask, cur.f.ppCurMask, prev.f.pCurCounts,
                                cur.f.pCurCounts, cur.f.nMaskRows, cur.f.nMaskWords, -10, 10, -10,
                                10, &dy, &dx);
        });
        std::printf("centred search +-10 x +-10: %.2f ms (found %d, %d)\n", ms, dx, dy);
    }
    return 0;
}
