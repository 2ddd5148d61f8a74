// What the displacement search must find, worked out the plain way, for the tests of the search.
#pragma once

#include "engine/bitmaps.h"
#include "engine/image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace stillo_test {

// A byte feature image with its packed map, owned together: what the tests hand the search.
struct FeatureMap {
    int32_t rows = 0;
    int32_t cols = 0;
    std::vector<uint8_t> pixels; // rows * cols, row-major
    IMAGE2D features = nullptr;
    IMAGE2D packed = nullptr;
    std::vector<uint16_t> counts;
    int32_t packedRows = -1;
    int32_t words = -1;

    FeatureMap(int32_t r, int32_t c) : rows(r), cols(c), pixels(static_cast<size_t>(r) * c, 0) {}
    ~FeatureMap() {
        FreeImage2D(features, rows);
        FreeImage2D(packed, rows);
    }
    FeatureMap(const FeatureMap&) = delete;
    FeatureMap& operator=(const FeatureMap&) = delete;

    uint8_t& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * cols + x]; }
    uint8_t Get(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * cols + x]; }

    void Pack() {
        FreeImage2D(features, rows);
        FreeImage2D(packed, rows);
        features = AllocImage2D(rows, cols);
        packed = AllocImage2D(rows, MaskRowBytes(cols));
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(features[y], &pixels[static_cast<size_t>(y) * cols], cols);
            // Stale words from an earlier frame must not survive packing.
            std::memset(packed[y], 0xA5, MaskRowBytes(cols));
        }
        counts.assign(rows, 0xFFFF);
        PackBitRows(features, rows, cols, packed, counts.data(), &packedRows, &words);
    }
};

// The order in which the search walks the columns of its window: outwards from zero, the
// non-positive side first (0 twice when the window straddles it); a window on one side of zero
// from its end nearest zero.
inline std::vector<int32_t> SearchColumnOrder(int32_t xmin, int32_t xmax) {
    std::vector<int32_t> order;
    if (xmin < 0 && xmax >= 1) {
        for (int32_t x = 0; x >= xmin; --x) {
            order.push_back(x);
        }
        for (int32_t x = 0; x <= xmax; ++x) {
            order.push_back(x);
        }
    } else if (xmin >= 0) {
        for (int32_t x = xmin; x <= xmax; ++x) {
            order.push_back(x);
        }
    } else {
        for (int32_t x = xmax; x >= xmin; --x) {
            order.push_back(x);
        }
    }
    return order;
}

// The score of displacement (dx, dy) straight from its definition, pixel by pixel: the set
// pixels of cur that fall on set pixels of prev over the first 16 W columns, scaled from the
// overlap to the whole map; 0 where the maps share no pixel.
inline uint32_t ScoreByDefinition(const FeatureMap& prev, const FeatureMap& cur, int32_t dx,
                                  int32_t dy) {
    const int64_t w = 16 * (cur.cols / 16), r = cur.rows;
    if (w == 0 || std::abs(dx) >= w || std::abs(dy) >= r) {
        return 0;
    }
    uint64_t n = 0;
    for (int32_t y = std::max(0, dy); y < r + std::min(0, dy); ++y) {
        for (int32_t x = std::max(0, dx); x < w + std::min(0, dx); ++x) {
            n += cur.Get(x, y) != 0 && prev.Get(x - dx, y - dy) != 0;
        }
    }
    const int64_t overlap = (w - std::abs(dx)) * (r - std::abs(dy));
    return static_cast<uint32_t>(static_cast<uint64_t>(w * r) * n / overlap);
}

} // namespace stillo_test
