// The displacement search's counting (engine/displacement_search.cpp): the previous map shifted
// column by column, and each candidate's coinciding bits.
#pragma once

#include "engine/kernels/lanes.h"
#include "engine/search_state.h"

namespace {

// The bits of a 64-bit word for pixels lo .. hi - 1 of the row (word k holds 64 k .. 64 k + 63).
uint64_t PixelMask(int32_t k, int32_t lo, int32_t hi) {
    const int32_t a = Most(lo - 64 * k, 0);
    const int32_t b = Least(hi - 64 * k, 64);
    if (a >= b) {
        return 0;
    }
    const uint64_t fromA = ~uint64_t{0} >> a;
    const uint64_t belowB = b == 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> b);
    return fromA & belowB;
}

// work = previous map moved by dx pixels towards higher x (dx > 0) or lower x (dx < 0); bits
// that leave the row's 16 W pixels are lost, bits that enter are 0.
void ShiftRows(const SEARCH_MAPS& m, int32_t dx, uint64_t* work) {
    const int32_t stride = m.stride;
    const int32_t q = (dx < 0 ? -dx : dx) >> 6;
    const int32_t r = (dx < 0 ? -dx : dx) & 63;
    const uint64_t lastMask = PixelMask(stride - 1, 0, m.pixels);
    for (int32_t y = 0; y < m.rows; ++y) {
        const uint64_t* in = m.prev + static_cast<size_t>(y) * stride;
        uint64_t* out = work + static_cast<size_t>(y) * stride;
        for (int32_t k = 0; k < stride; ++k) {
            uint64_t v = 0;
            if (dx >= 0) {
                const int32_t a = k - q;
                if (a >= 0) {
                    v = in[a] >> r;
                    if (r != 0 && a >= 1) {
                        v |= in[a - 1] << (64 - r);
                    }
                }
            } else {
                const int32_t a = k + q;
                if (a < stride) {
                    v = in[a] << r;
                    if (r != 0 && a + 1 < stride) {
                        v |= in[a + 1] >> (64 - r);
                    }
                }
            }
            out[k] = v;
        }
        out[stride - 1] &= lastMask;
    }
}

// Coinciding set bits of n word pairs, four running sums so the counts do not wait on each
// other. Inlined: a row pair is a few words, and a call would cost as much as their count.
[[gnu::always_inline]] inline uint64_t CountAnd(const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += BitCount(a[i] & b[i]);
        s1 += BitCount(a[i + 1] & b[i + 1]);
        s2 += BitCount(a[i + 2] & b[i + 2]);
        s3 += BitCount(a[i + 3] & b[i + 3]);
    }
    for (; i < n; ++i) {
        s0 += BitCount(a[i] & b[i]);
    }
    return s0 + s1 + s2 + s3;
}

// The set pixels of every row for column x: of the current map within the columns that meet
// the shifted previous map, and of the shifted previous map.
void CountRows(const SEARCH_MAPS& m, int32_t x) {
    const size_t stride = static_cast<size_t>(m.stride);
    for (size_t k = 0; k < stride; ++k) {
        m.columnMask[k] = PixelMask(static_cast<int32_t>(k), Most(0, x), m.pixels + Least(0, x));
    }
    for (int32_t y = 0; y < m.rows; ++y) {
        const uint64_t* c = m.cur + static_cast<size_t>(y) * stride;
        const uint64_t* s = m.work + static_cast<size_t>(y) * stride;
        uint64_t nc = 0;
        uint64_t ns = 0;
        for (size_t k = 0; k < stride; ++k) {
            nc += BitCount(c[k] & m.columnMask[k]);
            ns += BitCount(s[k]);
        }
        m.curRow[y] = static_cast<int16_t>(nc);
        m.workRow[y] = static_cast<int16_t>(ns);
    }
}

// Every candidate of the window, column by column in the order given. A candidate is passed
// over, or its count given up, only when even a coincidence for every pixel it has not counted
// yet could not lift its score to max(best + 1, reached): it then scores less than the best so
// far, or less than a score some candidate of the window reaches, so it cannot be the
// first-visited best. A row pair coincides in at most as many pixels as the fewer of its two
// rows holds (of the current row only the columns that meet the shifted previous map count),
// which bounds what the rows not yet counted can add.
template <bool kBounded>
void SearchColumnsCounting(const SEARCH_MAPS& m, SEARCH_STATE& st, const int32_t* columns,
                           size_t count) {
    const SEARCH_WINDOW& w = st.window;
    const int32_t rows = m.rows;
    const size_t stride = static_cast<size_t>(m.stride);
    for (size_t c = 0; c < count; ++c) {
        const int32_t x = columns[c];
        ShiftRows(m, x, m.work);
        if constexpr (kBounded) {
            CountRows(m, x);
        }
        const uint64_t cols = static_cast<uint64_t>(m.pixels - (x < 0 ? -x : x));
        for (int32_t y = w.ymin; y <= w.ymax; ++y) {
            const int32_t first = Most(0, y);
            const int32_t last = rows - 1 + Least(0, y);
            const uint64_t overlap = cols * static_cast<uint64_t>(last - first + 1);
            const uint64_t wanted = Most<uint64_t>(uint64_t{st.best} + 1, st.reached);
            // The fewest coincidences that score `wanted`: T n / overlap >= wanted.
            const uint64_t need = (wanted * overlap + st.total - 1) / st.total;
            const int16_t* paired = m.workRow - y; // paired[r]: the previous row met by row r
            uint64_t left = 0;
            for (int32_t r = first; r <= last && kBounded; ++r) {
                left += static_cast<uint64_t>(Least(m.curRow[r], paired[r]));
            }
            uint64_t n = 0;
            bool passed = kBounded && left < need;
            const uint64_t* a = m.cur + static_cast<size_t>(first) * stride;
            const uint64_t* b = m.work + static_cast<size_t>(first - y) * stride;
            if constexpr (kBounded) {
                for (int32_t r = first; r <= last && !passed; ++r, a += stride, b += stride) {
                    n += CountAnd(a, b, stride);
                    left -= static_cast<uint64_t>(Least(m.curRow[r], paired[r]));
                    passed = n + left < need;
                }
            } else {
                n = CountAnd(a, b, static_cast<size_t>(last - first + 1) * stride);
            }
            const uint32_t score = passed ? 0 : static_cast<uint32_t>(st.total * n / overlap);
            if (st.observer != nullptr) {
                st.observer(st.context,
                            {x, y, !passed, passed ? static_cast<uint32_t>(wanted) : score});
            }
            if (!passed && score > st.best) {
                st.best = score;
                *st.dy = y;
                *st.dx = x;
            }
        }
    }
}

void SearchColumns(const SEARCH_MAPS& m, SEARCH_STATE& st, const int32_t* columns, size_t count) {
    if (st.bounded) {
        SearchColumnsCounting<true>(m, st, columns, count);
    } else {
        SearchColumnsCounting<false>(m, st, columns, count);
    }
}

uint32_t ScoreCandidate(const SEARCH_MAPS& m, int32_t x, int32_t y) {
    ShiftRows(m, x, m.work);
    const size_t stride = static_cast<size_t>(m.stride);
    const int32_t first = Most(0, y);
    const int32_t last = m.rows - 1 + Least(0, y);
    if (first > last) {
        return 0;
    }
    const uint64_t n = CountAnd(m.cur + static_cast<size_t>(first) * stride,
                                m.work + static_cast<size_t>(first - y) * stride,
                                static_cast<size_t>(last - first + 1) * stride);
    return ScoreDisplacement(n, m.rows, m.pixels / 16, x, y);
}

} // namespace
