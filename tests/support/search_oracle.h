// What the displacement search must find, worked out the plain way, for the tests of the search.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace stillo_test {

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
// overlap to the whole map; 0 where the maps share no pixel. Map: rows, cols and Get(x, y).
template <class Map>
uint32_t ScoreByDefinition(const Map& prev, const Map& cur, int32_t dx, int32_t dy) {
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
