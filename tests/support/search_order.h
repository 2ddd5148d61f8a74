// The order in which the displacement search walks the columns of its window, for the tests of
// the search.
#pragma once

#include <cstdint>
#include <vector>

namespace stillo_test {

// Outwards from zero, the non-positive side first (0 twice when the window straddles it); a
// window on one side of zero from its end nearest zero.
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

} // namespace stillo_test
