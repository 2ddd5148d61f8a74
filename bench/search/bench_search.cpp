// Times the displacement search at several radii and the Regions extraction with packing, on a
// 720 x 576 frame trimmed by 2 % at every side. Prints one line per figure: the median of
// several runs on one core.
#include "engine/bitmaps.h"
#include "engine/feature_extraction.h"
#include "engine/image.h"
#include "engine/records.h"

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

// A textured grey picture: smooth blobs plus grain, shifted by (sx, sy).
uint8_t Texture(int32_t x, int32_t y) {
    const double v = 128 + 50 * std::sin(x * 0.071) * std::cos(y * 0.053) +
                     30 * std::sin((x + 2 * y) * 0.023) + ((x * 7919 + y * 104729) % 23) - 11;
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

struct Frame {
    MOSAIC_FRAME f{};
    MOSAIC_TABLES t{};
    MOSAIC_SETTINGS s{};
    Frame(int32_t sx, int32_t sy) {
        f.nRows = kRows;
        f.nCols = kCols;
        f.ppGreyRows = AllocImage2D(kRows, kCols);
        f.ppCurFeatures = AllocImage2D(kRows, kCols);
        f.ppCurMask = AllocImage2D(kRows, MaskRowBytes(kCols));
        f.pCurCounts = static_cast<uint16_t*>(std::calloc(kRows, sizeof(uint16_t)));
        s.nReduction = 1;
        s.nFeatureMode = 0;
        s.nNormWindow = 51;
        s.nSmoothWindow = 5;
        for (int32_t y = 0; y < kRows; ++y) {
            for (int32_t x = 0; x < kCols; ++x) {
                f.ppGreyRows[y][x] = Texture(x - sx, y - sy);
            }
        }
    }
    ~Frame() {
        FreeImage2D(f.ppGreyRows, kRows);
        FreeImage2D(f.ppCurFeatures, kRows);
        FreeImage2D(f.ppCurMask, kRows);
        std::free(f.pCurCounts);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
};

} // namespace

int main() {
    Frame prev(0, 0), cur(5, -3);
    if (ExtractFrameFeatures(&prev.f, &prev.t, &prev.s) != 1 ||
        ExtractFrameFeatures(&cur.f, &cur.t, &cur.s) != 1) {
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

    const double extract = MedianMs(21, [&] {
        Frame& fr = cur;
        ExtractFrameFeatures(&fr.f, &fr.t, &fr.s);
    });
    std::printf("regions extraction + packing: %.2f ms\n", extract);

    std::vector<uint16_t> table(65536);
    BuildBitCountTable(table.data());
    MOSAIC_TABLES tables{};
    tables.pBitCount = table.data();
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
