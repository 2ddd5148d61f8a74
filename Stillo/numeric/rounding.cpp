#include "numeric/rounding.h"

#include "numeric/sort.h"

#include <cmath>

namespace numeric {

double round_nearest(double x) {
    const double lower = std::floor(x);
    const double upper = std::ceil(x);
    // An unordered comparison (NaN) is false, so NaN yields the floor.
    if (std::fabs(x - lower) <= std::fabs(x - upper) || std::isnan(x)) {
        return lower;
    }
    return upper;
}

void median_by_sort(float* x, int n, float* xmed) {
    if (n <= 0) {
        return;
    }
    if (n >= 2) {
        heap_sort(n, x);
    }
    const int h = n / 2;
    if (n % 2 == 1) {
        *xmed = x[h + 1];
    } else {
        *xmed =
            static_cast<float>(0.5 * (static_cast<double>(x[h]) + static_cast<double>(x[h + 1])));
    }
}

} // namespace numeric
