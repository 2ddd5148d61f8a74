#include "engine/regions.h"

#include "engine/kernels.h"
#include "engine/window_means.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Moves the column sums of a clipped vertical window of half-height `half` from row r - 1 to
// row r: row r + half enters (when there is one), row r - half - 1 leaves (when there is one).
void UpdateVerticalWindow(int32_t* sums, IMAGE2D image, int32_t rows, int32_t cols, int32_t half,
                          int32_t r, int32_t& count) {
    const bool enters = r + half < rows;
    const bool leaves = r - half - 1 >= 0;
    if (enters && leaves) {
        Kernels().slideRows(sums, image[r + half], image[r - half - 1], cols);
    } else if (enters) {
        Kernels().addRow(sums, image[r + half], cols);
        ++count;
    } else if (leaves) {
        Kernels().subtractRow(sums, image[r - half - 1], cols);
        --count;
    }
}

// True when every column sum is a sum of `count` bytes, so every window sum s of a row lies in
// 0 .. 255 d for its divisor d.
bool ByteColumnSums(const int32_t* colSums, int32_t n, int32_t count) {
    const int32_t most = 255 * count;
    int32_t low = 0;
    int32_t high = 0;
    for (int32_t i = 0; i < n; ++i) {
        low = std::min(low, colSums[i]);
        high = std::max(high, colSums[i]);
    }
    return low >= 0 && high <= most;
}

// Whether the vector form of the means is exact for this row shape (the column sums being sums
// of count bytes).
bool FastMeansExact(int32_t n, int32_t window, int32_t count) {
    return window % 2 == 1 && count >= 1 &&
           std::min<int64_t>(n, window) * count < kExactMeanDivisors;
}

// One row of NormaliseLocalMean from column sums of count source rows: the clipped means, and
// the source row divided by them.
void NormaliseRow(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                  const uint8_t* src, uint8_t* meanRow, uint8_t* dst) {
    if (FastMeansExact(n, window, count)) {
        ByteWindowMeans(colSums, n, window, count, src, dst);
    } else {
        ExactWindowMeans(colSums, n, window, count, meanRow);
        DivideRowByMean(n, src, meanRow, dst);
    }
}

// One row of BoxFilterInPlace from column sums of count image rows.
void MeanRow(const int32_t* colSums, int32_t n, int32_t window, int32_t count, uint8_t* out) {
    if (FastMeansExact(n, window, count)) {
        ByteWindowMeans(colSums, n, window, count, nullptr, out);
    } else {
        ExactWindowMeans(colSums, n, window, count, out);
    }
}

} // namespace

void RequireOdd(int32_t window, int32_t smallest) {
    if (window < smallest || window % 2 == 0) {
        std::exit(1);
    }
}

void BoxMeanRow(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count) {
    if (n < 1 || count < 1 || window < 0) {
        return;
    }
    if (FastMeansExact(n, window, count) && ByteColumnSums(colSums, n, count)) {
        ByteWindowMeans(colSums, n, window, count, nullptr, out);
    } else {
        ExactWindowMeans(colSums, n, window, count, out);
    }
}

void DivideRowByMean(int32_t n, const uint8_t* src, const uint8_t* mean, uint8_t* out) {
    // Single-precision division is exact here: below 255 the quotient 128 s / m stays at least
    // 1 / m under the next integer, far more than one rounding, so truncation gives the integer
    // quotient; from 255 on, rounding cannot take it below 255, and it clips to 255.
    // Written without branches so that the loop runs on vector lanes.
    for (int32_t i = 0; i < n; ++i) {
        out[i] = NormalisedPixel(src[i], mean[i]);
    }
}

namespace {

// The column sums of the clipped vertical window of every row of the image in turn, from row 0
// up: rowDone(r, sums, count, scratch) sees the sums of the `count` rows of row r's window and
// a scratch row of cols bytes. The image's rows may be rewritten by rowDone once they have left
// the window. An even window ends the process with status 1. 1, or 0 when memory ran out.
template <typename RowDone>
int SlideVerticalWindow(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t window,
                        RowDone rowDone) {
    RequireOdd(window);
    if (rows < 1 || cols < 1) {
        return 1;
    }
    const HeapBlock<int32_t> sums = ZeroedBlock<int32_t>(cols);
    const HeapBlock<uint8_t> scratch = ZeroedBlock<uint8_t>(cols);
    if (!sums || !scratch) {
        return 0;
    }
    const int32_t half = window / 2;
    int32_t count = 0;
    for (int32_t r = 0; r < std::min<int32_t>(half, rows); ++r) {
        Kernels().addRow(sums.get(), image[r], cols);
        ++count;
    }
    for (int32_t r = 0; r < rows; ++r) {
        UpdateVerticalWindow(sums.get(), image, rows, cols, half, r, count);
        rowDone(r, sums.get(), count, scratch.get());
    }
    return 1;
}

} // namespace

int StreamBoxMeans(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, BoxMeanSink sink,
                   void* context) {
    return SlideVerticalWindow(
        src, rows, cols, window,
        [&](int32_t r, const int32_t* sums, int32_t count, uint8_t* meanRow) {
            MeanRow(sums, cols, window, count, meanRow);
            sink(context, r, meanRow);
        });
}

int NormaliseLocalMean(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst) {
    // The means go straight into the division; the scratch row serves only the exact form.
    return SlideVerticalWindow(
        src, rows, cols, window,
        [&](int32_t r, const int32_t* sums, int32_t count, uint8_t* meanRow) {
            NormaliseRow(sums, cols, window, count, src[r], meanRow, dst[r]);
        });
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
    if (!ring) {
        return 0;
    }
    const int ok = SlideVerticalWindow(
        image, rows, cols, window, [&](int32_t r, const int32_t* sums, int32_t count, uint8_t*) {
            if (r - half - 1 >= 0) {
                // That row has left the window, and its slot is the one row r's mean is about
                // to take.
                std::memcpy(image[r - half - 1], ring[(r - half - 1) % slots], cols);
            }
            MeanRow(sums, cols, window, count, ring[r % slots]);
        });
    if (ok == 0) {
        return 0;
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

namespace {

// The two byte masks of one row that an outline is decided from: `bright` (0xFF) where a pixel
// may be kept, `dark` where it makes its neighbours boundary pixels.
struct OutlineMasks {
    uint8_t* bright;
    uint8_t* dark;
};

// The outline of every row from its masks and its neighbours', in place: each row's masks are
// taken before the row is rewritten, so every test reads the image as it was. `masks(row,
// bright, dark)` fills the masks of one image row.
template <typename Masks>
int OutlineInPlace(IMAGE2D image, int32_t rows, int32_t cols, Masks masks) {
    if (rows < 1 || cols < 1) {
        return 1;
    }
    if (rows < 3 || cols < 3) {
        for (int32_t r = 0; r < rows; ++r) {
            std::memset(image[r], 0, static_cast<size_t>(cols));
        }
        return 1;
    }
    const size_t n = static_cast<size_t>(cols);
    const HeapBlock<uint8_t> block = ZeroedBlock<uint8_t>(6 * n);
    if (!block) {
        return 0;
    }
    OutlineMasks ring[3];
    for (int k = 0; k < 3; ++k) {
        ring[k] = {block.get() + 2 * k * n, block.get() + (2 * k + 1) * n};
    }
    masks(image[0], ring[0]);
    masks(image[1], ring[1]);
    for (int32_t r = 1; r <= rows - 2; ++r) {
        const OutlineMasks& below = ring[(r - 1) % 3];
        const OutlineMasks& here = ring[r % 3];
        const OutlineMasks& above = ring[(r + 1) % 3];
        masks(image[r + 1], above);
        uint8_t* out = image[r];
        out[0] = 0;
        out[cols - 1] = 0;
        Kernels().outlineRow(below.dark, here.bright, here.dark, above.dark, out, cols);
    }
    std::memset(image[0], 0, n);
    std::memset(image[rows - 1], 0, n);
    return 1;
}

} // namespace

int ExtractRegionBoundaries(IMAGE2D image, int32_t rows, int32_t cols) {
    return OutlineInPlace(image, rows, cols, [cols](const uint8_t* row, const OutlineMasks& m) {
        Kernels().exactLevelMasks(row, m.bright, m.dark, cols);
    });
}

int ThresholdRegionBoundaries(IMAGE2D image, int32_t rows, int32_t cols, int32_t threshold) {
    if (threshold <= 0 || threshold > 255) {
        // Everything at or above, or everything below: no pixel has a neighbour of the other
        // kind, and the outline is empty.
        for (int32_t r = 0; r < rows; ++r) {
            std::memset(image[r], 0, static_cast<size_t>(std::max(cols, 0)));
        }
        return 1;
    }
    const auto level = static_cast<uint8_t>(threshold);
    return OutlineInPlace(image, rows, cols,
                          [cols, level](const uint8_t* row, const OutlineMasks& m) {
                              Kernels().thresholdMasks(row, m.bright, m.dark, cols, level);
                          });
}
