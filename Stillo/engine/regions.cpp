#include "regions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Exact truncating division by a divisor fixed for a whole row: q = (s * m) >> 40 with
// m = ceil(2^40 / d) equals s / d whenever s * d < 2^40, which every byte mean meets
// (s <= 255 d, d < 65536). Any other sum falls back to plain division.
struct Divider {
    uint64_t d;
    uint64_t m;
    uint64_t limit; // sums below it divide exactly by the multiply-shift
    explicit Divider(uint64_t divisor)
        : d(divisor), m(((uint64_t{1} << 40) + divisor - 1) / divisor),
          limit((uint64_t{1} << 40) / divisor) {}
    uint64_t operator()(uint64_t s) const { return s < limit ? (s * m) >> 40 : s / d; }
};

// 128 * src / mean for every mean 1..255 through the same exact multiply-shift.
struct MeanReciprocals {
    uint64_t m[256];
    MeanReciprocals() {
        m[0] = 0;
        for (uint64_t d = 1; d < 256; ++d) {
            m[d] = ((uint64_t{1} << 40) + d - 1) / d;
        }
    }
};

const MeanReciprocals& Reciprocals() {
    static const MeanReciprocals table;
    return table;
}

void RequireOdd(int32_t window) {
    if (window < 1 || window % 2 == 0) {
        std::exit(1);
    }
}

void AddRow(int32_t* sums, const uint8_t* row, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        sums[i] += row[i];
    }
}

void SubtractRow(int32_t* sums, const uint8_t* row, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        sums[i] -= row[i];
    }
}

} // namespace

void BoxMeanRow(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count) {
    if (n < 1 || count < 1) {
        return;
    }
    const int32_t half = window / 2;
    // Running sum over the clipped window [i - half, i + half] of each position.
    int64_t s = 0;
    for (int32_t i = 0; i < std::min(half, n); ++i) {
        s += colSums[i];
    }
    // Positions whose window lies wholly inside the row share one divisor.
    const int32_t innerFirst = half;
    const int32_t innerLast = n - 1 - half;
    const Divider inner(static_cast<uint64_t>(window) * static_cast<uint64_t>(count));
    for (int32_t i = 0; i < n; ++i) {
        if (i + half < n) {
            s += colSums[i + half];
        }
        if (i - half - 1 >= 0) {
            s -= colSums[i - half - 1];
        }
        if (i >= innerFirst && i <= innerLast) {
            out[i] = static_cast<uint8_t>(inner(static_cast<uint64_t>(s)));
        } else {
            const int64_t columns = std::min(n - 1, i + half) - std::max(0, i - half) + 1;
            out[i] = static_cast<uint8_t>(s / (columns * count));
        }
    }
}

void DivideRowByMean(int32_t n, const uint8_t* src, const uint8_t* mean, uint8_t* out) {
    const uint64_t* m = Reciprocals().m;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t q = static_cast<uint32_t>((uint64_t{128} * src[i] * m[mean[i]]) >> 40);
        out[i] = mean[i] == 0 ? 255 : static_cast<uint8_t>(std::min<uint32_t>(q, 255));
    }
}

int NormaliseLocalMean(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst) {
    RequireOdd(window);
    if (rows < 1 || cols < 1) {
        return 1;
    }
    auto* meanRow = static_cast<uint8_t*>(std::malloc(cols));
    auto* sums = static_cast<int32_t*>(std::calloc(cols, sizeof(int32_t)));
    if (meanRow == nullptr || sums == nullptr) {
        std::free(meanRow);
        std::free(sums);
        return 0;
    }
    const int32_t half = window / 2;
    int32_t count = 0;
    for (int32_t r = 0; r < std::min<int32_t>(half, rows); ++r) {
        AddRow(sums, src[r], cols);
        ++count;
    }
    for (int32_t r = 0; r < rows; ++r) {
        if (r + half < rows) {
            AddRow(sums, src[r + half], cols);
            ++count;
        }
        if (r - half - 1 >= 0) {
            SubtractRow(sums, src[r - half - 1], cols);
            --count;
        }
        BoxMeanRow(sums, cols, window, meanRow, count);
        DivideRowByMean(cols, src[r], meanRow, dst[r]);
    }
    std::free(meanRow);
    std::free(sums);
    return 1;
}

int BoxFilterInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t window) {
    RequireOdd(window);
    if (rows < 1 || cols < 1) {
        return 1;
    }
    const int32_t half = window / 2;
    // A row is written back only after its last use as an input (its subtraction), so the
    // filtered rows wait in a ring of half + 1 slots.
    const int32_t slots = std::min<int32_t>(half + 1, rows);
    IMAGE2D ring = AllocImage2D(slots, cols);
    auto* sums = static_cast<int32_t*>(std::calloc(cols, sizeof(int32_t)));
    if (ring == nullptr || sums == nullptr) {
        FreeImage2D(ring, slots);
        std::free(sums);
        return 0;
    }
    int32_t count = 0;
    for (int32_t r = 0; r < std::min<int32_t>(half, rows); ++r) {
        AddRow(sums, image[r], cols);
        ++count;
    }
    for (int32_t r = 0; r < rows; ++r) {
        if (r + half < rows) {
            AddRow(sums, image[r + half], cols);
            ++count;
        }
        if (r - half - 1 >= 0) {
            SubtractRow(sums, image[r - half - 1], cols);
            --count;
            // Its slot is the one row r's mean is about to take.
            std::memcpy(image[r - half - 1], ring[(r - half - 1) % slots], cols);
        }
        BoxMeanRow(sums, cols, window, ring[r % slots], count);
    }
    for (int32_t k = std::max(0, rows - half - 1); k < rows; ++k) {
        std::memcpy(image[k], ring[k % slots], cols);
    }
    FreeImage2D(ring, slots);
    std::free(sums);
    return 1;
}

void ComputeMomentThreshold(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t* threshold) {
    *threshold = 256;
    uint64_t h[256] = {};
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* row = image[r];
        for (int32_t c = 0; c < cols; ++c) {
            ++h[row[c]];
        }
    }
    const uint64_t total = static_cast<uint64_t>(rows) * cols;
    if (total == 0) {
        return;
    }
    double p[256];
    double m1 = 0, m2 = 0, m3 = 0;
    for (int i = 0; i < 256; ++i) {
        p[i] = static_cast<double>(h[i]) / static_cast<double>(total);
        const int64_t i3 = int64_t{i} * i * i;
        m1 += i * p[i];
        m2 += static_cast<double>(i * i) * p[i];
        m3 += static_cast<double>(i3) * p[i];
    }
    const double d = m2 - m1 * m1;
    if (d == 0) {
        return; // one grey level: no split
    }
    const double c0 = (m1 * m3 - m2 * m2) / d;
    const double c1 = (m1 * m2 - m3) / d;
    const double s = std::sqrt(c1 * c1 - 4 * c0);
    const double z0 = (-c1 - s) * 0.5;
    const double z1 = (s - c1) * 0.5;
    const double p0 = (z1 - m1) / (z1 - z0);
    if (std::isnan(p0)) {
        return;
    }
    // The share below the split is compared with a margin far above rounding and far below
    // one pixel's share: on an image of exactly two levels p0 comes out a hair under the
    // darker level's true share, and without the margin every pixel would pass the threshold.
    const double limit = p0 + 1e-9;
    uint64_t below = 0;
    for (int t = 0; t < 256; ++t) {
        below += h[t];
        if (static_cast<double>(below) / static_cast<double>(total) > limit) {
            *threshold = t;
            return;
        }
    }
}

void ThresholdInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t threshold) {
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* row = image[r];
        for (int32_t c = 0; c < cols; ++c) {
            row[c] = row[c] < threshold ? 0 : 255;
        }
    }
}

int ExtractRegionBoundaries(IMAGE2D image, int32_t rows, int32_t cols) {
    if (rows < 1 || cols < 1) {
        return 1;
    }
    if (rows < 3 || cols < 3) {
        for (int32_t r = 0; r < rows; ++r) {
            std::memset(image[r], 0, static_cast<size_t>(cols));
        }
        return 1;
    }
    // The unmodified rows above and at the row being rewritten; the row below is still intact
    // in the image.
    auto* above = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(cols)));
    auto* here = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(cols)));
    if (above == nullptr || here == nullptr) {
        std::free(above);
        std::free(here);
        return 0;
    }
    std::memcpy(above, image[0], static_cast<size_t>(cols));
    std::memcpy(here, image[1], static_cast<size_t>(cols));
    for (int32_t r = 1; r <= rows - 2; ++r) {
        const uint8_t* below = image[r + 1];
        uint8_t* out = image[r];
        out[0] = 0;
        out[cols - 1] = 0;
        for (int32_t c = 1; c <= cols - 2; ++c) {
            const bool touchesZero =
                here[c + 1] == 0 || above[c] == 0 || here[c - 1] == 0 || below[c] == 0;
            out[c] = here[c] == 255 && touchesZero ? 255 : 0;
        }
        std::swap(above, here);
        std::memcpy(here, below, static_cast<size_t>(cols));
    }
    std::memset(image[0], 0, static_cast<size_t>(cols));
    std::memset(image[rows - 1], 0, static_cast<size_t>(cols));
    std::free(above);
    std::free(here);
    return 1;
}
