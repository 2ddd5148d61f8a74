#include "engine/utilities.h"

#include "engine/regions.h"
#include "numeric/rounding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// t[i] = floor(16 sqrt(i)), the integer square root of 256 i.
constexpr std::array<int32_t, 256> kSqrtTable = [] {
    std::array<int32_t, 256> table{};
    for (int32_t i = 0; i < 256; ++i) {
        int32_t root = 0;
        while ((root + 1) * (root + 1) <= 256 * i) {
            ++root;
        }
        table[i] = root;
    }
    return table;
}();

// The table estimate of a root (x >= 0): below 256 the table itself; above, for x in
// [2^(2j + 8), 2^(2j + 10)), the entry of x's leading bits x >> (2j + 2), scaled by 2^(j - 3).
int32_t TableEstimate(int32_t x) {
    if (x < 256) {
        return kSqrtTable[x] >> 4;
    }
    const int j = (std::bit_width(static_cast<uint32_t>(x)) - 9) / 2;
    const int32_t entry = kSqrtTable[x >> (2 * j + 2)];
    return j < 3 ? entry >> (3 - j) : entry << (j - 3);
}

// The estimate refined up to the root or one above it (x >= 0): exact below 256; one added
// below 65536; one Newton step rounding up below 2^24, two beyond.
int32_t RefinedEstimate(int32_t x) {
    int64_t g = TableEstimate(x);
    if (x < 256) {
        return static_cast<int32_t>(g);
    }
    if (x < 65536) {
        return static_cast<int32_t>(g + 1);
    }
    const int steps = x < (1 << 24) ? 1 : 2;
    for (int k = 0; k < steps; ++k) {
        g = (x / g + g + 1) >> 1;
    }
    return static_cast<int32_t>(g);
}

// Moves the pixels marked (255) in src1 by the rounded offsets; dst2, when given, receives
// src2's byte of each moved pixel.
void ShiftMarked(IMAGE2D src1, IMAGE2D src2, int32_t rows, int32_t cols, double dx, double dy,
                 IMAGE2D dst1, IMAGE2D dst2) {
    ClearImage(dst1, rows, cols);
    if (dst2 != nullptr) {
        ClearImage(dst2, rows, cols);
    }
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            if (src1[r][c] <= 254) {
                continue;
            }
            // Compared as doubles, so no offset can overflow a conversion.
            const double x = numeric::round_nearest(c + dx);
            const double y = numeric::round_nearest(r - dy);
            if (!(x >= 0 && x < cols && y >= 0 && y < rows)) {
                continue;
            }
            const auto tx = static_cast<int32_t>(x);
            const auto ty = static_cast<int32_t>(y);
            dst1[ty][tx] = src1[r][c];
            if (dst2 != nullptr) {
                dst2[ty][tx] = src2[r][c];
            }
        }
    }
}

// Index j reflected about the row's end samples into 0 .. n - 1 (n >= 1).
int32_t Reflect(int64_t j, int32_t n) {
    if (n == 1) {
        return 0;
    }
    const int64_t period = 2 * (int64_t{n} - 1);
    j %= period;
    if (j < 0) {
        j += period;
    }
    return static_cast<int32_t>(j < n ? j : period - j);
}

} // namespace

int32_t IntSqrtByTable(int32_t x) {
    if (x < 0) {
        return -1;
    }
    const int32_t g = RefinedEstimate(x);
    return int64_t{g} * g > x ? g - 1 : g;
}

int32_t IntSqrtTableEstimate(int32_t x) {
    return x < 0 ? -1 : TableEstimate(x);
}

void IntSqrtByTableDiscard(int32_t x) {
    DiscardResult(x < 0 ? -1 : RefinedEstimate(x), x);
}

void DiscardResult(int32_t, int32_t) {}

uint32_t IntSqrtBitwise(uint32_t x) {
    uint64_t root = 0;
    uint64_t remainder = x;
    for (int step = 15; step >= 0; --step) {
        const uint64_t bit = uint64_t{1} << step;
        const uint64_t trial = (bit + 2 * root) << step;
        if (remainder >= trial) {
            remainder -= trial;
            root += bit;
        }
    }
    return static_cast<uint32_t>(root);
}

uint32_t IntSqrtNewton(uint32_t x) {
    if (x == 0) {
        return 0;
    }
    // In 64 bits: x / g + g reaches 2^32 at the first step for the largest x.
    uint64_t g = x;
    for (;;) {
        const uint64_t next = (x / g + g) / 2;
        if (next >= g) {
            return static_cast<uint32_t>(g);
        }
        g = next;
    }
}

int32_t RequireOneToThree(int32_t value) {
    if (value < 1 || value > 3) {
        std::exit(1);
    }
    return 1;
}

void IdleRowLoop(void*, int32_t, uint16_t count, int32_t) {
    for (uint16_t k = count; k > 0; --k) {
    }
}

void IdleRowLoop2(void* image, int32_t rows, uint16_t count, int32_t cols) {
    IdleRowLoop(image, rows, count, cols);
}

void IdleRoutine() {}

void IdleRoutine2() {}

int32_t ShiftMarkedPixels(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t dx, int32_t dy,
                          IMAGE2D dst) {
    ShiftMarked(src, nullptr, rows, cols, dx, dy, dst, nullptr);
    return rows;
}

int32_t ShiftMarkedPixelPair(IMAGE2D src1, IMAGE2D src2, uint16_t rows, uint16_t cols, float dx,
                             float dy, IMAGE2D dst1, IMAGE2D dst2) {
    ShiftMarked(src1, src2, rows, cols, dx, dy, dst1, dst2);
    return rows;
}

int32_t ShiftImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t dx, int32_t dy, IMAGE2D dst) {
    ClearImage(dst, rows, cols);
    // The destination columns with a source column; none once |dx| >= cols.
    const int64_t first = std::max<int64_t>(0, dx);
    const int64_t end = std::min<int64_t>(cols, int64_t{cols} + dx);
    if (first >= end) {
        return 1;
    }
    for (int32_t y = 0; y < rows; ++y) {
        const int64_t sourceRow = int64_t{y} + dy;
        if (sourceRow < 0 || sourceRow >= rows) {
            continue;
        }
        std::memcpy(dst[y] + first, src[sourceRow] + (first - dx),
                    static_cast<size_t>(end - first));
    }
    return 1;
}

void ShiftImagePairRounded(IMAGE2D src1, IMAGE2D src2, uint16_t rows, uint16_t cols, float dx,
                           float dy, IMAGE2D dst1, IMAGE2D dst2) {
    // Any offset of 65536 or more moves every pixel out of an image, so larger ones are taken
    // as that before converting; an offset that is not a number leaves no pixel a source.
    const double rx = numeric::round_nearest(dx);
    const double ry = numeric::round_nearest(dy);
    if (std::isnan(rx) || std::isnan(ry)) {
        ClearImage(dst1, rows, cols);
        ClearImage(dst2, rows, cols);
        return;
    }
    const auto whole = [](double v) {
        return static_cast<int32_t>(std::clamp(v, -65536.0, 65536.0));
    };
    ShiftImage(src1, rows, cols, whole(rx), whole(ry), dst1);
    ShiftImage(src2, rows, cols, whole(rx), whole(ry), dst2);
}

void ConvolveRowMirrored(int32_t n, int32_t window, const float* kernel, const float* src,
                         float* dst) {
    RequireOdd(window);
    const int32_t half = window / 2;
    for (int32_t i = 0; i < n; ++i) {
        float sum = kernel[half] * src[i];
        for (int32_t d = 1; d <= half; ++d) {
            sum += kernel[half + d] *
                   (src[Reflect(int64_t{i} - d, n)] + src[Reflect(int64_t{i} + d, n)]);
        }
        dst[i] = sum;
    }
}

void AntiTransposeRGB(IMAGE2D src, int32_t rows, int32_t cols, IMAGE2D dst) {
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            std::memcpy(dst[cols - 1 - c] + 3 * static_cast<size_t>(rows - 1 - r),
                        src[r] + 3 * static_cast<size_t>(c), 3);
        }
    }
}
