#include "engine/filters.h"

#include "engine/edges.h"
#include "engine/regions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Slides the clipped window [i - half, i + half] along 0 .. n - 1: add(j) as position j enters
// the window, remove(j) as it leaves, then emit(i, samples) with the window's size. Each
// position enters and leaves once, so the cost does not depend on the window.
template <class Add, class Remove, class Emit>
void SlideClippedWindow(int32_t n, int32_t half, Add add, Remove remove, Emit emit) {
    int64_t lo = 0;  // first position in the window
    int64_t hi = -1; // last position in the window
    for (int32_t i = 0; i < n; ++i) {
        const int64_t last = std::min<int64_t>(n - 1, int64_t{i} + half);
        while (hi < last) {
            add(static_cast<int32_t>(++hi));
        }
        while (lo < int64_t{i} - half) {
            remove(static_cast<int32_t>(lo++));
        }
        emit(i, static_cast<int32_t>(hi - lo + 1));
    }
}

// The running sums of values over the clipped windows of a row: emit(i, sum, samples).
template <class T, class Emit>
void ClippedWindowSums(int32_t n, int32_t window, const T* values, Emit emit) {
    int64_t sum = 0;
    SlideClippedWindow(
        n, std::max(window, 0) / 2, [&](int32_t j) { sum += values[j]; },
        [&](int32_t j) { sum -= values[j]; },
        [&](int32_t i, int32_t samples) { emit(i, sum, samples); });
}

// The rows of the clipped vertical window of row r.
struct RowSpan {
    int32_t first;
    int32_t last;
    int32_t Count() const { return last - first + 1; }
};
RowSpan ClippedRows(int32_t r, int32_t rows, int32_t half) {
    return {static_cast<int32_t>(std::max<int64_t>(0, int64_t{r} - half)),
            static_cast<int32_t>(std::min<int64_t>(rows - 1, int64_t{r} + half))};
}

// The majority over the clipped windowRows x windowCols window of src, written into a separate
// dst: the non-zero pixels of each column of the vertical window are counted as the column
// enters and leaves the window along the row.
void MajorityInto(IMAGE2D src, IMAGE2D dst, int32_t rows, int32_t cols, int32_t windowRows,
                  int32_t windowCols) {
    for (int32_t r = 0; r < rows; ++r) {
        const RowSpan span = ClippedRows(r, rows, windowRows / 2);
        auto columnCount = [&](int32_t c) {
            int64_t set = 0;
            for (int32_t y = span.first; y <= span.last; ++y) {
                set += src[y][c] != 0;
            }
            return set;
        };
        int64_t set = 0;
        SlideClippedWindow(
            cols, windowCols / 2, [&](int32_t c) { set += columnCount(c); },
            [&](int32_t c) { set -= columnCount(c); },
            [&](int32_t c, int32_t samples) {
                const int64_t area = int64_t{samples} * span.Count();
                dst[r][c] = set > area / 2 ? 255 : 0;
            });
    }
}

// Writes keep(below, row, above, c) ? 255 : 0 over the interior of dst and 0 on its border;
// returns the pixels kept. Images with fewer than 3 rows or columns are all border.
template <class Keep>
int64_t OutlineInto(IMAGE2D src, int32_t rows, int32_t cols, IMAGE2D dst, Keep keep) {
    ClearImage(dst, rows, cols);
    int64_t kept = 0;
    for (int32_t r = 1; r + 1 < rows; ++r) {
        for (int32_t c = 1; c + 1 < cols; ++c) {
            if (keep(src[r - 1], src[r], src[r + 1], c)) {
                dst[r][c] = 255;
                ++kept;
            }
        }
    }
    return kept;
}

// A non-zero pixel with a 0 among its eight neighbours.
bool EightNeighbourOutline(const uint8_t* below, const uint8_t* row, const uint8_t* above,
                           int32_t c) {
    if (row[c] == 0) {
        return false;
    }
    for (int32_t d = -1; d <= 1; ++d) {
        if (below[c + d] == 0 || above[c + d] == 0) {
            return true;
        }
    }
    return row[c - 1] == 0 || row[c + 1] == 0;
}

} // namespace

void RunningMeanRowFloat(int32_t n, int32_t window, const uint8_t* source, float* output) {
    ClippedWindowSums(n, window, source, [&](int32_t i, int64_t sum, int32_t samples) {
        output[i] = static_cast<float>(sum) / static_cast<float>(samples);
    });
}

void BoxMeanRowRounded(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out,
                       int32_t count) {
    if (count < 1) {
        return;
    }
    ClippedWindowSums(n, window, colSums, [&](int32_t i, int64_t sum, int32_t samples) {
        const double divisor = static_cast<double>(samples) * count;
        out[i] =
            static_cast<uint8_t>(static_cast<int64_t>(static_cast<double>(sum) / divisor + 0.5));
    });
}

void BoxMeanRowTable(const int32_t* colSums, int32_t n, int32_t window, uint8_t* out, int32_t count,
                     const uint8_t* table) {
    if (count < 1) {
        return;
    }
    // The table divides by W * W: right only for a window whole both ways, and only its
    // W * W * 256 entries exist.
    const int64_t entries = int64_t{256} * window * window;
    ClippedWindowSums(n, window, colSums, [&](int32_t i, int64_t sum, int32_t samples) {
        if (samples == window && count == window && sum >= 0 && sum < entries) {
            out[i] = table[sum];
        } else {
            out[i] = static_cast<uint8_t>(sum / (int64_t{samples} * count));
        }
    });
}

void ConvolveRowZeroPadded(int32_t n, int32_t window, const float* kernel, const float* source,
                           float* output) {
    RequireOdd(window);
    const int32_t half = window / 2;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t first = std::max(0, half - i);
        const int32_t last =
            static_cast<int32_t>(std::min<int64_t>(window - 1, int64_t{n} - 1 - i + half));
        float sum = 0.0f;
        for (int32_t k = first; k <= last; ++k) {
            sum += kernel[k] * source[i - half + k];
        }
        output[i] = sum;
    }
}

void SineSquaredKernel(int32_t n, float* kernel) {
    if (n < 1) {
        return;
    }
    // sin(k theta) and sin((n + 1 - k) theta) are equal in exact arithmetic but not always in
    // floats, so each pair is computed once and mirrored.
    const float theta = 2.0f * 1.5707964f / static_cast<float>(n + 1);
    for (int32_t k = 1; k <= (n + 1) / 2; ++k) {
        const float s = std::sin(static_cast<float>(k) * theta);
        kernel[k - 1] = s * s;
        kernel[n - k] = s * s;
    }
    float sum = 0.0f;
    for (int32_t k = 0; k < n; ++k) {
        sum += kernel[k];
    }
    for (int32_t k = 0; k < n; ++k) {
        kernel[k] /= sum;
    }
}

void FloatRowToBytes(int32_t n, const float* source, uint8_t* output) {
    for (int32_t i = 0; i < n; ++i) {
        const float a = std::fabs(source[i]);
        // Clipped as a float: converting a value beyond the int range (or not a number) first
        // would be undefined.
        if (std::isnan(a)) {
            output[i] = 0;
        } else if (a >= 255.0f) {
            output[i] = 255;
        } else {
            output[i] = static_cast<uint8_t>(static_cast<int32_t>(a));
        }
    }
}

void NormaliseGlobalMean(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst) {
    const uint64_t pixels = uint64_t{rows} * cols;
    if (pixels == 0) {
        return;
    }
    uint64_t sum = 0;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            sum += src[r][c];
        }
    }
    const uint64_t mean = sum / pixels;
    uint8_t table[256] = {};
    if (mean != 0) {
        for (uint64_t i = 0; i < 256; ++i) {
            table[i] = static_cast<uint8_t>(std::min<uint64_t>(255, 128 * i / mean));
        }
    }
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            dst[r][c] = table[src[r][c]];
        }
    }
}

namespace {

struct CopyContext {
    IMAGE2D dst;
    int32_t cols;
};

void CopyIntoDestination(void* context, int32_t row, const uint8_t* means) {
    const auto* copy = static_cast<const CopyContext*>(context);
    std::memcpy(copy->dst[row], means, static_cast<size_t>(copy->cols));
}

} // namespace

int BoxMeanImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t window, IMAGE2D dst) {
    CopyContext context{dst, cols};
    return StreamBoxMeans(src, rows, cols, window, CopyIntoDestination, &context);
}

int32_t HistogramMedian(const int32_t* histogram, int32_t count) {
    int64_t total = 0;
    for (int32_t level = 0; level < 256; ++level) {
        total += histogram[level];
        if (total > count / 2) {
            return level;
        }
    }
    return 0;
}

int MedianFilter(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t windowRows, int32_t windowCols,
                 IMAGE2D dst) {
    // An even side would centre the window between pixels and count a lopsided set of them.
    RequireOdd(windowRows);
    RequireOdd(windowCols);
    int32_t histogram[256];
    for (int32_t r = 0; r < rows; ++r) {
        const RowSpan span = ClippedRows(r, rows, windowRows / 2);
        auto column = [&](int32_t c, int32_t step) {
            for (int32_t y = span.first; y <= span.last; ++y) {
                histogram[src[y][c]] += step;
            }
        };
        std::fill(histogram, histogram + 256, 0);
        SlideClippedWindow(
            cols, windowCols / 2, [&](int32_t c) { column(c, 1); },
            [&](int32_t c) { column(c, -1); },
            [&](int32_t c, int32_t samples) {
                dst[r][c] =
                    static_cast<uint8_t>(HistogramMedian(histogram, samples * span.Count()));
            });
    }
    return 1;
}

void MajorityFilter(IMAGE2D src, IMAGE2D dst, uint16_t rows, uint16_t cols, int32_t window) {
    RequireOdd(window, 3);
    MajorityInto(src, dst, rows, cols, window, window);
}

int MajorityFilterInPlace(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t windowRows,
                          int32_t windowCols) {
    RequireOdd(windowRows);
    RequireOdd(windowCols);
    if (rows < 1 || cols < 1) {
        return 1;
    }
    const RowImage result(rows, cols);
    if (!result) {
        return 0;
    }
    MajorityInto(image, result.get(), rows, cols, windowRows, windowCols);
    for (int32_t r = 0; r < rows; ++r) {
        std::memcpy(image[r], result[r], cols);
    }
    return 1;
}

void RegionBoundariesToImage(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst) {
    OutlineInto(src, rows, cols, dst,
                [](const uint8_t* below, const uint8_t* row, const uint8_t* above, int32_t c) {
                    return row[c] == 255 &&
                           (row[c + 1] == 0 || above[c] == 0 || row[c - 1] == 0 || below[c] == 0);
                });
}

void OutlineAndThin(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst) {
    OutlineInto(src, rows, cols, dst, EightNeighbourOutline);
    int percentRemoved = 0;
    int pixelCount = 0;
    ThinEdges(dst, rows, cols, &percentRemoved, &pixelCount);
}

int OutlinePointsAndThin(IMAGE2D src, uint16_t rows, uint16_t cols, IMAGE2D dst,
                         int32_t* pointCount) {
    *pointCount = 0;
    const int64_t points = OutlineInto(src, rows, cols, dst, EightNeighbourOutline);
    const HeapBlock<uint16_t> list = ZeroedBlock<uint16_t>(2 * static_cast<size_t>(points));
    if (!list) {
        return 0;
    }
    // Listed in the order ThinEdges visits pixels, so the two passes thin alike.
    uint16_t* next = list.get();
    for (int32_t r = rows - 2; r >= 1; --r) {
        for (int32_t c = 1; c + 1 < cols; ++c) {
            if (dst[r][c] != 0) {
                *next++ = static_cast<uint16_t>(r);
                *next++ = static_cast<uint16_t>(c);
            }
        }
    }
    int64_t removed = 0;
    for (int64_t k = 0; k < points; ++k) {
        const int32_t r = list[2 * k];
        const int32_t c = list[2 * k + 1];
        if (ThinningRemoves(dst[r - 1], dst[r], dst[r + 1], c)) {
            dst[r][c] = 0;
            ++removed;
        }
    }
    *pointCount = static_cast<int32_t>(std::min<int64_t>(points - removed, INT32_MAX));
    return 1;
}

void EdgeDirectionCodes(IMAGE2D grey, IMAGE2D edges, uint16_t rows, uint16_t cols, IMAGE2D dst) {
    // Direction k in steps of 45 degrees, 0 to the right, the previous row counted as up.
    static constexpr int32_t kRowStep[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    static constexpr int32_t kColStep[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    auto isEdge = [&](int32_t r, int32_t c, int32_t k) {
        return edges[r + kRowStep[k]][c + kColStep[k]] == 255;
    };
    auto greyAt = [&](int32_t r, int32_t c, int32_t k) {
        return grey[r + kRowStep[k % 8]][c + kColStep[k % 8]];
    };
    // Every pixel is written: the border and every pixel that is no edge with two edge
    // neighbours get 0.
    ClearImage(dst, rows, cols);
    for (int32_t r = 1; r + 1 < rows; ++r) {
        for (int32_t c = 1; c + 1 < cols; ++c) {
            if (edges[r][c] != 255) {
                continue;
            }
            int32_t k1 = 0;
            while (k1 < 7 && !isEdge(r, c, k1)) {
                ++k1;
            }
            int32_t k2 = k1 + 1;
            while (k2 < 8 && !isEdge(r, c, k2)) {
                ++k2;
            }
            if (k1 == 7 || k2 == 8) {
                continue;
            }
            int32_t angle = (k1 + k2) * 45 / 2;
            // Turned to face the brighter side, across the line through the two neighbours.
            if (greyAt(r, c, k1 + 2) < greyAt(r, c, k2 + 2)) {
                angle += 180;
            }
            if (angle >= 360) {
                angle -= 360;
            }
            dst[r][c] = static_cast<uint8_t>(static_cast<float>(angle) * 0.6981317f);
        }
    }
}
