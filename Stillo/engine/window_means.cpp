#include "engine/window_means.h"

#include "engine/kernels.h"

#include <algorithm>

void ByteWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                     const uint8_t* src, uint8_t* out) {
    Kernels().byteWindowMeans(colSums, n, window, count, src, out);
}

void ExactWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                      uint8_t* out) {
    const int32_t half = window / 2;
    int64_t s = 0;
    for (int32_t i = 0; i < std::min(half, n); ++i) {
        s += colSums[i];
    }
    for (int32_t i = 0; i < n; ++i) {
        if (i + half < n) {
            s += colSums[i + half];
        }
        if (i - half - 1 >= 0) {
            s -= colSums[i - half - 1];
        }
        const int64_t columns = std::min(n - 1, i + half) - std::max(0, i - half) + 1;
        out[i] = static_cast<uint8_t>(s / (columns * count));
    }
}
