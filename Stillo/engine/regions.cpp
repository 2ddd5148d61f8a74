#include "engine/regions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

void RequireOdd(int32_t window, int32_t smallest) {
    if (window < smallest || window % 2 == 0) {
        std::exit(1);
    }
}

void BoxMeanRow(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count) {
    if (n < 1 || count < 1) {
        return;
    }
    const int32_t half = window / 2;
    // A running sum over the clipped window [i - half, i + half] of each position.
    int64_t s = 0;
    for (int32_t i = 0; i < std::min(half, n); ++i) {
        s += colSums[i];
    }
    auto clipped = [&](int32_t i) {
        if (i + half < n) {
            s += colSums[i + half];
        }
        if (i - half - 1 >= 0) {
            s -= colSums[i - half - 1];
        }
        const int64_t columns = std::min(n - 1, i + half) - std::max(0, i - half) + 1;
        out[i] = static_cast<uint8_t>(s / (columns * count));
    };
    // Positions whose window lies wholly inside the row share one divisor.
    const int32_t innerFirst = std::min(half, n);
    const int32_t innerEnd = std::max(innerFirst, n - half);
    const uint64_t divisor = static_cast<uint64_t>(window) * static_cast<uint64_t>(count);
    const Divider inner(divisor);
    for (int32_t i = 0; i < innerFirst; ++i) {
        clipped(i);
    }
    // The window sums are formed serially a chunk at a time and then divided on vector lanes
    // in single precision. That is exact for a byte mean (s <= 255 d, s < 2^24, d < 2^16):
    // the quotient stays more than 1 / d below the next integer, far beyond one rounding.
    constexpr int32_t kChunk = 256;
    int32_t sums[kChunk];
    const bool floatDivides = divisor < 65536;
    const float fd = static_cast<float>(divisor);
    const int64_t floatLimit =
        std::min<int64_t>(int64_t{255} * static_cast<int64_t>(divisor), (int64_t{1} << 24) - 1);
    for (int32_t i0 = innerFirst; i0 < innerEnd; i0 += kChunk) {
        const int32_t len = std::min(kChunk, innerEnd - i0);
        int64_t largest = 0;
        int32_t k = 0;
        if (i0 - half - 1 < 0) { // the first inner window has nothing to drop yet
            s += colSums[i0 + half];
            sums[k++] = static_cast<int32_t>(s);
            largest = s;
        }
        for (; k < len; ++k) {
            s += colSums[i0 + k + half] - colSums[i0 + k - half - 1];
            sums[k] = static_cast<int32_t>(s);
            largest = std::max(largest, s);
        }
        if (floatDivides && largest <= floatLimit) {
            for (int32_t k = 0; k < len; ++k) {
                out[i0 + k] =
                    static_cast<uint8_t>(static_cast<int32_t>(static_cast<float>(sums[k]) / fd));
            }
        } else {
            for (int32_t k = 0; k < len; ++k) {
                out[i0 + k] = static_cast<uint8_t>(inner(static_cast<uint64_t>(sums[k])));
            }
        }
    }
    for (int32_t i = innerEnd; i < n; ++i) {
        clipped(i);
    }
}

void DivideRowByMean(int32_t n, const uint8_t* src, const uint8_t* mean, uint8_t* out) {
    // Single-precision division is exact here: below 255 the quotient 128 s / m stays at least
    // 1 / m under the next integer, far more than one rounding, so truncation gives the integer
    // quotient; from 255 on, rounding cannot take it below 255, and it clips to 255.
    // Written without branches so that the loop runs on vector lanes: a clip to 255, and all
    // bits set where the mean is 0.
    for (int32_t i = 0; i < n; ++i) {
        const int32_t m = mean[i];
        const float q = (128.0f * static_cast<float>(src[i])) / static_cast<float>(m + (m == 0));
        const int32_t v = static_cast<int32_t>(q);
        const int32_t clipped = v - ((v - 255) & -static_cast<int32_t>(v > 255));
        out[i] = static_cast<uint8_t>(clipped | -static_cast<int32_t>(m == 0));
    }
}

int StreamBoxMeans(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, BoxMeanSink sink,
                   void* context) {
    RequireOdd(window);
    if (rows < 1 || cols < 1) {
        return 1;
    }
    const HeapBlock<uint8_t> meanRow = ZeroedBlock<uint8_t>(cols);
    const HeapBlock<int32_t> sums = ZeroedBlock<int32_t>(cols);
    if (!meanRow || !sums) {
        return 0;
    }
    const int32_t half = window / 2;
    int32_t count = 0;
    for (int32_t r = 0; r < std::min<int32_t>(half, rows); ++r) {
        AddRow(sums.get(), src[r], cols);
        ++count;
    }
    for (int32_t r = 0; r < rows; ++r) {
        if (r + half < rows) {
            AddRow(sums.get(), src[r + half], cols);
            ++count;
        }
        if (r - half - 1 >= 0) {
            SubtractRow(sums.get(), src[r - half - 1], cols);
            --count;
        }
        BoxMeanRow(sums.get(), cols, window, meanRow.get(), count);
        sink(context, r, meanRow.get());
    }
    return 1;
}

namespace {

struct NormaliseContext {
    IMAGE2D src;
    IMAGE2D dst;
    int32_t cols;
};

void DivideIntoDestination(void* context, int32_t row, const uint8_t* means) {
    const auto* norm = static_cast<const NormaliseContext*>(context);
    DivideRowByMean(norm->cols, norm->src[row], means, norm->dst[row]);
}

} // namespace

int NormaliseLocalMean(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst) {
    NormaliseContext context{src, dst, cols};
    return StreamBoxMeans(src, rows, cols, window, DivideIntoDestination, &context);
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
    const RowImage ring(slots, cols);
    const HeapBlock<int32_t> sums = ZeroedBlock<int32_t>(cols);
    if (!ring || !sums) {
        return 0;
    }
    int32_t count = 0;
    for (int32_t r = 0; r < std::min<int32_t>(half, rows); ++r) {
        AddRow(sums.get(), image[r], cols);
        ++count;
    }
    for (int32_t r = 0; r < rows; ++r) {
        if (r + half < rows) {
            AddRow(sums.get(), image[r + half], cols);
            ++count;
        }
        if (r - half - 1 >= 0) {
            SubtractRow(sums.get(), image[r - half - 1], cols);
            --count;
            // Its slot is the one row r's mean is about to take.
            std::memcpy(image[r - half - 1], ring[(r - half - 1) % slots], cols);
        }
        BoxMeanRow(sums.get(), cols, window, ring[r % slots], count);
    }
    for (int32_t k = std::max(0, rows - half - 1); k < rows; ++k) {
        std::memcpy(image[k], ring[k % slots], cols);
    }
    return 1;
}

void ComputeMomentThreshold(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t* threshold) {
    *threshold = 256;
    // Four interleaved histograms keep consecutive equal pixels from waiting on each other.
    uint32_t parts[4][256] = {};
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* row = image[r];
        int32_t c = 0;
        for (; c + 4 <= cols; c += 4) {
            ++parts[0][row[c]];
            ++parts[1][row[c + 1]];
            ++parts[2][row[c + 2]];
            ++parts[3][row[c + 3]];
        }
        for (; c < cols; ++c) {
            ++parts[0][row[c]];
        }
    }
    uint64_t h[256];
    for (int i = 0; i < 256; ++i) {
        h[i] = uint64_t{parts[0][i]} + parts[1][i] + parts[2][i] + parts[3][i];
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
    const HeapBlock<uint8_t> aboveBlock = ZeroedBlock<uint8_t>(static_cast<size_t>(cols));
    const HeapBlock<uint8_t> hereBlock = ZeroedBlock<uint8_t>(static_cast<size_t>(cols));
    if (!aboveBlock || !hereBlock) {
        return 0;
    }
    uint8_t* above = aboveBlock.get();
    uint8_t* here = hereBlock.get();
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
    return 1;
}
