#include "engine/edges.h"

#include "engine/regions.h"
#include "numeric/gamma.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Every row ring of one gradient pass: one zeroed block each, so rows before the first image
// row read as zero.
struct GradientRings {
    int slots = 0;
    int cols = 0;
    HeapBlock<uint8_t> bytes;
    HeapBlock<float> floats;
    HeapBlock<float*> pointers;
    HeapBlock<int32_t> ints;

    bool Allocate(int slotCount, int columns, int window) {
        slots = slotCount;
        cols = columns;
        const size_t ring = static_cast<size_t>(slots) * static_cast<size_t>(cols);
        bytes = ZeroedBlock<uint8_t>(ring);
        // gxRaw, vMean, gx, gy rings, then the gyRaw row and the kernel.
        floats = ZeroedBlock<float>(4 * ring + static_cast<size_t>(cols) + window);
        pointers = ZeroedBlock<float*>(4 * static_cast<size_t>(slots));
        ints = ZeroedBlock<int32_t>(2 * static_cast<size_t>(cols));
        if (!bytes || !floats || !pointers || !ints) {
            return false;
        }
        for (int k = 0; k < 4 * slots; ++k) {
            pointers.get()[k] = floats.get() + static_cast<size_t>(k) * cols;
        }
        return true;
    }
    uint8_t* ByteRow(int slot) const { return bytes.get() + static_cast<size_t>(slot) * cols; }
    float* const* GxRaw() const { return pointers.get(); }
    float* const* VMean() const { return pointers.get() + slots; }
    float* const* Gx() const { return pointers.get() + 2 * slots; }
    float* const* Gy() const { return pointers.get() + 3 * slots; }
    float* GyRaw() const { return floats.get() + 4 * static_cast<size_t>(slots) * cols; }
    float* Kernel() const { return GyRaw() + cols; }
    int32_t* HorizontalMean() const { return ints.get(); }
    int32_t* ColumnSums() const { return ints.get() + cols; }
};

// One streaming pass of the gradient over an image: the sizes its window gives, its rings, and
// the steps each source row goes through.
struct GradientStream {
    int M;     // the odd window
    int half;  // M / 2
    int g;     // rows and columns of a running mean
    int q;     // half the distance between the two means of the horizontal gradient
    int slots; // ring rows in use
    int rows;
    int cols;
    GradientRings rings;

    GradientStream(int window, int nRows, int nCols)
        : M(window), half(window / 2), g(half + 1), q(g / 2), slots(window + 1), rows(nRows),
          cols(nCols) {}

    int Slot(int k) const { return ((k % slots) + slots) % slots; }

    // Source row r into the byte ring, its raw horizontal gradient, and into the column sums.
    void TakeRow(const uint8_t* source, int r) const {
        const int s = Slot(r);
        uint8_t* bytes = rings.ByteRow(s);
        int32_t* H = rings.HorizontalMean();
        int32_t* colSums = rings.ColumnSums();
        std::memcpy(bytes, source, static_cast<size_t>(cols));
        RunningMeanRow(cols, g, bytes, H);
        // Left mean minus right mean, 2q apart; columns without both means hold 0.
        float* raw = rings.GxRaw()[s];
        const int first = std::min(q, cols);
        const int last = std::max(first, cols - q);
        for (int c = 0; c < first; ++c) {
            raw[c] = 0.0f;
        }
        for (int c = first; c < last; ++c) {
            raw[c] = static_cast<float>(H[c - q] - H[c + q]);
        }
        for (int c = last; c < cols; ++c) {
            raw[c] = 0.0f;
        }
        for (int c = 0; c < cols; ++c) {
            colSums[c] += bytes[c];
        }
    }

    // The vertical gradient at row r - half, smoothed along the row.
    void VerticalGradient(int r) const {
        int32_t* colSums = rings.ColumnSums();
        // The vertical window holds the g rows ending at r, as far as they lie in the image.
        if (r >= g && r - g < rows) {
            const uint8_t* leaving = rings.ByteRow(Slot(r - g));
            for (int c = 0; c < cols; ++c) {
                colSums[c] -= leaving[c];
            }
        }
        const int windowRows = std::min(r, rows - 1) - std::max(0, r - g + 1) + 1;
        const float divisor = static_cast<float>(windowRows);
        float* mean = rings.VMean()[Slot(r)];
        const float* earlier = rings.VMean()[Slot(r - half)];
        float* gyRaw = rings.GyRaw();
        for (int c = 0; c < cols; ++c) {
            mean[c] = static_cast<float>(colSums[c]) / divisor;
        }
        for (int c = 0; c < cols; ++c) {
            gyRaw[c] = mean[c] - earlier[c];
        }
        SymmetricConvolveRow(cols, M, rings.Kernel(), gyRaw, rings.Gy()[Slot(r)]);
    }

    // The horizontal gradient smoothed across rows r - 2 half .. r; rows outside the image
    // contribute nothing.
    void SmoothAcrossRows(int r) const {
        const float* kernel = rings.Kernel();
        float* smooth = rings.Gx()[Slot(r)];
        for (int c = 0; c < cols; ++c) {
            smooth[c] = 0.0f;
        }
        for (int j = -half; j <= half; ++j) {
            const int k = r - half + j;
            if (k < 0 || k >= rows) {
                continue;
            }
            const float weight = kernel[half + j];
            const float* raw = rings.GxRaw()[Slot(k)];
            for (int c = 0; c < cols; ++c) {
                smooth[c] += weight * raw[c];
            }
        }
    }
};

struct DetectEdgesContext {
    IMAGE2D output;
    float threshold;
};

void SuppressIntoOutput(void* context, const EDGE_GRADIENT_ROWS& rows) {
    const auto* edges = static_cast<const DetectEdgesContext*>(context);
    uint8_t* out = edges->output[rows.outputRow];
    SuppressNonMaxima(rows.gx, rows.gy, rows.cols, rows.prevSlot, rows.centreSlot, rows.nextSlot,
                      out, edges->threshold);
    // The raw horizontal gradient of the q outermost columns has no full pair of means.
    const int q = std::min((rows.window / 2 + 1) / 2, rows.cols);
    std::memset(out, 0, static_cast<size_t>(q));
    std::memset(out + rows.cols - q, 0, static_cast<size_t>(q));
}

inline float SquaredMagnitude(float* const* gx, float* const* gy, int slot, int c) {
    const float x = gx[slot][c];
    const float y = gy[slot][c];
    return x * x + y * y;
}

} // namespace

void BinomialKernel(int n, float* kernel) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        kernel[i] = numeric::binomial_coefficient(n - 1, i);
        sum += kernel[i];
    }
    for (int i = 0; i < n; ++i) {
        kernel[i] /= sum;
    }
}

void RunningMeanRow(int n, int window, const uint8_t* source, int32_t* output) {
    // Every output is the mean of the samples of [i - h, i + h] that lie in the row, divided by
    // their number, for any row length and any window. The quotients are at most 255 with
    // divisors of at most 2h + 1, so a float division truncates to the exact integer quotient.
    const int h = std::max(window, 0) / 2;
    int32_t sum = 0;
    int lo = 0;  // first sample in the window
    int hi = -1; // last sample in the window
    auto clipped = [&](int i) {
        const int last = std::min(n - 1, i + h);
        while (hi < last) {
            sum += source[++hi];
        }
        while (lo < i - h) {
            sum -= source[lo++];
        }
        output[i] = static_cast<int32_t>(static_cast<float>(sum) / static_cast<float>(hi - lo + 1));
    };
    // Windows clipped on the left, then whole windows (one sample in, one out), then windows
    // clipped on the right.
    const int leftEnd = std::min(h, n);
    const int rightStart = std::max(leftEnd, n - h);
    int i = 0;
    for (; i < leftEnd; ++i) {
        clipped(i);
    }
    if (i < rightStart) {
        clipped(i++);
        const float full = static_cast<float>(2 * h + 1);
        for (; i < rightStart; ++i) {
            sum += source[i + h] - source[i - h - 1];
            output[i] = static_cast<int32_t>(static_cast<float>(sum) / full);
        }
        hi = rightStart - 1 + h;
        lo = rightStart - 1 - h;
    }
    for (; i < n; ++i) {
        clipped(i);
    }
}

void SymmetricConvolveRow(int n, int window, const float* kernel, const float* source,
                          float* output) {
    RequireOdd(window);
    const int half = window / 2;
    // Left end: every tap whose sample lies in the row, renormalised by the weight used.
    const int leftEnd = std::min(half, n);
    for (int i = 0; i < leftEnd; ++i) {
        float sum = 0.0f;
        float weight = 0.0f;
        const int last = std::min(i + half, n - 1);
        for (int t = 0; t <= last; ++t) {
            sum += source[t] * kernel[t - i + half];
            weight += kernel[t - i + half];
        }
        output[i] = sum / weight;
    }
    // Middle: the whole kernel, taken as symmetric pairs.
    const int middleEnd = std::max(leftEnd, n - half);
    if (leftEnd < middleEnd) {
        for (int i = leftEnd; i < middleEnd; ++i) {
            output[i] = kernel[half] * source[i];
        }
        for (int d = 1; d <= half; ++d) {
            const float k = kernel[half + d];
            for (int i = leftEnd; i < middleEnd; ++i) {
                output[i] += k * (source[i - d] + source[i + d]);
            }
        }
    }
    // Right end: only pairs whose outer sample lies in the row, renormalised likewise.
    for (int i = middleEnd; i < n; ++i) {
        float sum = kernel[half] * source[i];
        float pairWeight = 0.0f;
        for (int d = 1; d <= n - 1 - i; ++d) {
            sum += kernel[half + d] * (source[i - d] + source[i + d]);
            pairWeight += kernel[half + d];
        }
        output[i] = sum / (kernel[half] + 2.0f * pairWeight);
    }
}

int StreamSmoothedGradient(const IMAGE2D source, uint16_t rows, uint16_t cols, int window,
                           EdgeGradientSink sink, void* context) {
    if (window > 64 || window < 0) {
        std::exit(1);
    }
    const int M = (window % 2 == 0) ? window + 1 : window;
    if (rows == 0 || cols == 0) {
        return 1;
    }
    // The rings need M + 1 rows; they are sized for the window, so the largest window (64,
    // taken as 65) fits as well.
    GradientStream stream(M, rows, cols);
    if (!stream.rings.Allocate(stream.slots, cols, M)) {
        return 0;
    }
    BinomialKernel(M, stream.rings.Kernel());
    for (int r = 0; r < stream.rows + stream.half; ++r) {
        if (r < stream.rows) {
            stream.TakeRow(source[r], r);
        }
        stream.VerticalGradient(r);
        stream.SmoothAcrossRows(r);
        if (r >= stream.g) {
            const EDGE_GRADIENT_ROWS out{
                stream.rings.Gx(),  stream.rings.Gy(),  stream.cols,    M,
                stream.Slot(r - 2), stream.Slot(r - 1), stream.Slot(r), r - stream.g};
            sink(context, out);
        }
    }
    return 1;
}

int DetectEdges(const IMAGE2D source, uint16_t rows, uint16_t cols, int window, float threshold,
                IMAGE2D output) {
    // Below 3 the rings hold fewer than three rows, and the rows either side of an edge pixel
    // would be one and the same; above 63 the window does not fit the 64-row rings.
    if (window < kMinEdgeWindow || window > kMaxEdgeWindow) {
        std::exit(1);
    }
    DetectEdgesContext context{output, threshold};
    return StreamSmoothedGradient(source, rows, cols, window, SuppressIntoOutput, &context);
}

float GradientNeighbour(float* const* gx, float* const* gy, int prevSlot, int centreSlot,
                        int nextSlot, int c, int side) {
    const float x = gx[centreSlot][c];
    const float y = gy[centreSlot][c];
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const bool sameSign = x * y >= 0.0f;
    auto m = [&](int slot, int col) { return SquaredMagnitude(gx, gy, slot, col); };
    if (ay <= ax) {
        // Mostly horizontal gradient: neighbours left and right, leaning up or down.
        const float w = ay / ax;
        if (side == 0) {
            return (1.0f - w) * m(centreSlot, c + 1) + w * m(sameSign ? prevSlot : nextSlot, c + 1);
        }
        return w * m(sameSign ? nextSlot : prevSlot, c - 1) + (1.0f - w) * m(centreSlot, c - 1);
    }
    // Mostly vertical gradient: neighbours above and below, leaning left or right.
    const float w = ax / ay;
    if (side == 0) {
        return (1.0f - w) * m(prevSlot, c) + w * m(prevSlot, sameSign ? c + 1 : c - 1);
    }
    return w * m(nextSlot, sameSign ? c - 1 : c + 1) + (1.0f - w) * m(nextSlot, c);
}

void SuppressNonMaxima(float* const* gx, float* const* gy, int cols, int prevSlot, int centreSlot,
                       int nextSlot, uint8_t* outputRow, float threshold) {
    if (cols <= 0) {
        return;
    }
    outputRow[0] = 0;
    outputRow[cols - 1] = 0;
    const float limit = threshold * threshold;
    const float* cx = gx[centreSlot];
    const float* cy = gy[centreSlot];
    // Most pixels fail the strength tests; those tests run first over a block of columns
    // without branches, and only the candidates are compared with their neighbours.
    constexpr int kBlock = 256;
    uint8_t candidate[kBlock];
    for (int start = 1; start < cols - 1; start += kBlock) {
        const int count = std::min(kBlock, cols - 1 - start);
        for (int k = 0; k < count; ++k) {
            const float x = cx[start + k];
            const float y = cy[start + k];
            const bool weak = std::fabs(x) < 0.01f && std::fabs(y) < 0.01f;
            candidate[k] = static_cast<uint8_t>(!weak & (x * x + y * y > limit));
        }
        std::fill(outputRow + start, outputRow + start + count, uint8_t{0});
        for (int k = 0; k < count; ++k) {
            if (candidate[k] == 0) {
                continue;
            }
            const int c = start + k;
            const float x = cx[c];
            const float y = cy[c];
            const float mag = x * x + y * y;
            if (mag > GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, c, 0) &&
                mag > GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, c, 1)) {
                outputRow[c] = 255;
            }
        }
    }
}

bool ThinningRemoves(const uint8_t* below, const uint8_t* row, const uint8_t* above, int c) {
    // Neighbour-code templates: a pixel whose set neighbours match one of these only thickens
    // a line, and removing it keeps every line connected and every end in place.
    static constexpr uint8_t kMask[8] = {0xce, 0x57, 0xec, 0x75, 0x3b, 0x5d, 0xb3, 0xd5};
    static constexpr uint8_t kValue[8] = {0xc0, 0x50, 0x0c, 0x05, 0x03, 0x41, 0x30, 0x14};
    const unsigned code = (row[c + 1] != 0 ? 0x01u : 0u) | (above[c + 1] != 0 ? 0x02u : 0u) |
                          (above[c] != 0 ? 0x04u : 0u) | (above[c - 1] != 0 ? 0x08u : 0u) |
                          (row[c - 1] != 0 ? 0x10u : 0u) | (below[c - 1] != 0 ? 0x20u : 0u) |
                          (below[c] != 0 ? 0x40u : 0u) | (below[c + 1] != 0 ? 0x80u : 0u);
    for (int k = 0; k < 8; ++k) {
        if ((code & kMask[k]) == kValue[k]) {
            return true;
        }
    }
    return false;
}

void ThinEdges(IMAGE2D image, uint16_t rows, uint16_t cols, int* percentRemoved, int* pixelCount) {
    int64_t count = 0;
    int64_t removed = 0;
    if (rows > 0) {
        std::memset(image[0], 0, cols);
    }
    // The templates take the row above (r + 1) as already thinned and the row below (r - 1)
    // as not yet visited, so the rows are visited from the top down. Visited from the bottom
    // up, each removal would expose the next row to the same template, and a vertical band two
    // pixels wide would be eaten away to its last row.
    for (int r = rows - 2; r >= 1; --r) {
        uint8_t* row = image[r];
        for (int c = 1; c + 1 < cols; ++c) {
            if (row[c] == 0) {
                continue;
            }
            ++count;
            if (ThinningRemoves(image[r - 1], row, image[r + 1], c)) {
                row[c] = 0;
                ++removed;
            }
        }
    }
    if (rows > 0) {
        std::memset(image[rows - 1], 0, cols);
    }
    // Counts held in 64 bits: the largest images have more pixels than an int holds.
    *pixelCount = static_cast<int>(std::min<int64_t>(count, INT32_MAX));
    *percentRemoved = count == 0 ? 0 : static_cast<int>(removed * 100 / count);
}
