#include "engine/bitmaps.h"

#include "engine/cpu_dispatch.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// Set bits of a 16-bit value by two byte lookups: the baseline instruction set has no
// population count of its own.
struct BitCount16 {
    uint8_t table[256];
    constexpr BitCount16() : table() {
        for (int i = 0; i < 256; ++i) {
            table[i] = static_cast<uint8_t>((i & 1) + ((i >> 1) & 1) + ((i >> 2) & 1) +
                                            ((i >> 3) & 1) + ((i >> 4) & 1) + ((i >> 5) & 1) +
                                            ((i >> 6) & 1) + ((i >> 7) & 1));
        }
    }
    unsigned Count(unsigned v) const { return table[v & 0xFF] + table[(v >> 8) & 0xFF]; }
};
constexpr BitCount16 kBitCount16;

} // namespace

void BuildBitCountTable(uint16_t* table, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        table[i] = static_cast<uint16_t>(std::popcount(static_cast<uint32_t>(i)));
    }
}

namespace {

// The word of sixteen pixels from a mask with bit k set for pixel k: pixel k goes to bit 15 - k.
struct ReversedBytes {
    uint8_t table[256];
    constexpr ReversedBytes() : table() {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b) {
                r |= ((i >> b) & 1) << (7 - b);
            }
            table[i] = static_cast<uint8_t>(r);
        }
    }
};
constexpr ReversedBytes kReversed;

inline uint16_t WordFromMask(unsigned mask) {
    return static_cast<uint16_t>(kReversed.table[mask & 0xFF] << 8 | kReversed.table[mask >> 8]);
}

// The last group of a row, shorter than a vector: pixel by pixel.
unsigned PackTail(const uint8_t* src, int32_t x, int32_t cols, uint16_t* dst) {
    unsigned count = 0;
    for (; x < cols; x += 16) {
        const int32_t group = std::min<int32_t>(16, cols - x);
        unsigned word = 0;
        for (int32_t k = 0; k < group; ++k) {
            word |= static_cast<unsigned>(src[x + k] != 0) << (15 - k);
        }
        count += kBitCount16.Count(word);
        dst[x >> 4] = static_cast<uint16_t>(word);
    }
    return count;
}

#if defined(__SSE2__)
unsigned PackRowSse2(const uint8_t* src, int32_t cols, uint16_t* dst) {
    unsigned count = 0;
    int32_t x = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= cols; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        const unsigned set =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))) ^ 0xFFFFu;
        count += kBitCount16.Count(set);
        dst[x >> 4] = WordFromMask(set);
    }
    return count + PackTail(src, x, cols, dst);
}
#endif

#if STILLO_X86_DISPATCH
// Thirty-two pixels at a time: the bytes of each half reversed, so the sign mask has pixel k of
// a half at bit 15 - k of that half's 16 bits, which are the two words in memory order.
STILLO_TARGET_AVX2 unsigned PackRowAvx2(const uint8_t* src, int32_t cols, uint16_t* dst) {
    unsigned count = 0;
    int32_t x = 0;
    const __m256i reverse = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
                                             15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i zero = _mm256_setzero_si256();
    for (; x + 32 <= cols; x += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x));
        const __m256i empty = _mm256_shuffle_epi8(_mm256_cmpeq_epi8(v, zero), reverse);
        const uint32_t set = ~static_cast<uint32_t>(_mm256_movemask_epi8(empty));
        count += static_cast<unsigned>(__builtin_popcount(set));
        std::memcpy(dst + (x >> 4), &set, sizeof set);
    }
    return count + PackTail(src, x, cols, dst);
}
#endif

unsigned PackRow(const uint8_t* src, int32_t cols, uint16_t* dst) {
#if STILLO_X86_DISPATCH
    if (UseAvx2()) {
        return PackRowAvx2(src, cols, dst);
    }
#endif
#if defined(__SSE2__)
    return PackRowSse2(src, cols, dst);
#else
    return PackTail(src, 0, cols, dst);
#endif
}

} // namespace

void PackBitRows(IMAGE2D features, int32_t rows, int32_t cols, IMAGE2D packedRows,
                 uint16_t* rowCounts, int32_t* packedRows_out, int32_t* wordCount_out) {
    *packedRows_out = rows;
    *wordCount_out = cols >> 4;
    for (int32_t y = 0; y < rows; ++y) {
        auto* dst = reinterpret_cast<uint16_t*>(packedRows[y]);
        rowCounts[y] = static_cast<uint16_t>(PackRow(features[y], cols, dst));
    }
}

namespace {

// Both maps are re-laid into 64-bit words of 64 pixels, pixel x at bit 63 - (x mod 64) of word
// x / 64, the same order as the 16-bit words, so a shift along the row is one shift across
// the word sequence. Only the first 16 W pixels of a row are taken; the rest stays 0.
struct WideMaps {
    int32_t rows = 0;
    int32_t pixels = 0; // 16 W, the pixels of a row that are compared
    int32_t stride = 0; // 64-bit words a row
    HeapBlock<uint64_t> prev;
    HeapBlock<uint64_t> cur;
    HeapBlock<uint64_t> work; // the previous map shifted by the column being visited
    // Set pixels of each row, for the column being visited: of the current map within the
    // columns that can meet the shifted previous map, and of the shifted previous map. A row
    // holds at most 16 W < 2^15 pixels.
    HeapBlock<int16_t> curRow;
    HeapBlock<int16_t> workRow;
    HeapBlock<uint64_t> columnMask; // stride words: the current map's columns that can meet it
};

void Widen(IMAGE2D packed, int32_t rows, int32_t words, int32_t stride, uint64_t* out) {
    for (int32_t y = 0; y < rows; ++y) {
        const auto* src = reinterpret_cast<const uint16_t*>(packed[y]);
        uint64_t* dst = out + static_cast<size_t>(y) * stride;
        for (int32_t w = 0; w < words; ++w) {
            dst[w >> 2] |= static_cast<uint64_t>(src[w]) << (48 - 16 * (w & 3));
        }
    }
}

// The bits of a 64-bit word for pixels lo .. hi - 1 of the row (word k holds 64 k .. 64 k + 63).
uint64_t PixelMask(int32_t k, int32_t lo, int32_t hi) {
    const int32_t a = std::max(lo - 64 * k, 0);
    const int32_t b = std::min(hi - 64 * k, 64);
    if (a >= b) {
        return 0;
    }
    const uint64_t fromA = ~uint64_t{0} >> a;
    const uint64_t belowB = b == 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> b);
    return fromA & belowB;
}

// work = previous map moved by dx pixels towards higher x (dx > 0) or lower x (dx < 0); bits
// that leave the row's 16 W pixels are lost, bits that enter are 0.
void ShiftRows(const WideMaps& m, int32_t dx, uint64_t* work) {
    const int32_t stride = m.stride;
    const int32_t q = (dx < 0 ? -dx : dx) >> 6;
    const int32_t r = (dx < 0 ? -dx : dx) & 63;
    const uint64_t lastMask = PixelMask(stride - 1, 0, m.pixels);
    for (int32_t y = 0; y < m.rows; ++y) {
        const uint64_t* in = m.prev.get() + static_cast<size_t>(y) * stride;
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

bool MakeWideMaps(IMAGE2D prevRows, IMAGE2D curRows, int32_t rows, int32_t words, WideMaps& m) {
    m.rows = rows;
    m.pixels = 16 * words;
    m.stride = (words + 3) >> 2;
    const size_t total = static_cast<size_t>(rows) * static_cast<size_t>(m.stride);
    m.prev = ZeroedBlock<uint64_t>(total);
    m.cur = ZeroedBlock<uint64_t>(total);
    m.work = ZeroedBlock<uint64_t>(total);
    m.curRow = ZeroedBlock<int16_t>(static_cast<size_t>(rows));
    m.workRow = ZeroedBlock<int16_t>(static_cast<size_t>(rows));
    m.columnMask = ZeroedBlock<uint64_t>(static_cast<size_t>(m.stride));
    if (!m.prev || !m.cur || !m.work || !m.curRow || !m.workRow || !m.columnMask) {
        return false;
    }
    Widen(prevRows, rows, words, m.stride, m.prev.get());
    Widen(curRows, rows, words, m.stride, m.cur.get());
    return true;
}

struct Window {
    int32_t xmin, xmax, ymin, ymax;
    bool Empty() const { return xmin > xmax || ymin > ymax; }
};

// Drops the candidates that share no pixel with the previous map: they score 0 and never win.
Window OverlappingPart(Window w, int32_t rows, int32_t words) {
    const int32_t maxDx = 16 * words - 1;
    const int32_t maxDy = rows - 1;
    w.xmin = std::max(w.xmin, -maxDx);
    w.xmax = std::min(w.xmax, maxDx);
    w.ymin = std::max(w.ymin, -maxDy);
    w.ymax = std::min(w.ymax, maxDy);
    return w;
}

// Every column in the search order: outwards from the column nearest to zero, the non-positive
// side first when the window straddles zero (0 is then visited twice).
std::vector<int32_t> ColumnOrder(const Window& w) {
    std::vector<int32_t> order;
    if (w.xmin < 0 && w.xmax >= 1) {
        for (int32_t dx = 0; dx >= w.xmin; --dx) {
            order.push_back(dx);
        }
        for (int32_t dx = 0; dx <= w.xmax; ++dx) {
            order.push_back(dx);
        }
    } else if (w.xmin >= 0 && w.xmax >= 1) {
        for (int32_t dx = w.xmin; dx <= w.xmax; ++dx) {
            order.push_back(dx);
        }
    } else {
        for (int32_t dx = w.xmax; dx >= w.xmin; --dx) {
            order.push_back(dx);
        }
    }
    return order;
}

// Set bits of a word without a population-count instruction (baseline x86-64 has none).
struct PlainPopcount {
    [[gnu::always_inline]] static uint64_t Count(uint64_t v) {
        v = v - ((v >> 1) & 0x5555555555555555ull);
        v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
        v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        return (v * 0x0101010101010101ull) >> 56;
    }
};

// The instruction, where the function it is inlined into is compiled for it.
struct HardwarePopcount {
    [[gnu::always_inline]] static uint64_t Count(uint64_t v) {
        return static_cast<uint64_t>(__builtin_popcountll(v));
    }
};

// Coinciding set bits of n word pairs, four running sums so the counts do not wait on each
// other.
template <typename Pop>
[[gnu::always_inline]] inline uint64_t CountAnd(const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += Pop::Count(a[i] & b[i]);
        s1 += Pop::Count(a[i + 1] & b[i + 1]);
        s2 += Pop::Count(a[i + 2] & b[i + 2]);
        s3 += Pop::Count(a[i + 3] & b[i + 3]);
    }
    for (; i < n; ++i) {
        s0 += Pop::Count(a[i] & b[i]);
    }
    return s0 + s1 + s2 + s3;
}

struct SearchState {
    const WideMaps* maps;
    uint64_t total;   // T = 16 W R
    uint32_t best;    // the best score so far; only a higher one replaces it
    uint32_t reached; // a score some candidate of the window is known to reach (0: none)
    int32_t* dy;
    int32_t* dx;
    SearchObserver observer;
    void* context;
};

// The whole search over the window, in the visiting order, counting bits with Pop::Count.
// A candidate is passed over, or its count given up, only when even a coincidence for every
// pixel it has not counted yet could not lift its score to max(best + 1, reached): it then
// scores less than the best so far, or less than a score some candidate of the window reaches,
// so it cannot be the first-visited best. A row pair coincides in at most as many pixels as
// the fewer of its two rows holds (of the current row only the columns that meet the shifted
// previous map count), which bounds what the rows not yet counted can add.
//
// A small window is counted in full: there the bounds would cost more than they save.
template <typename Pop, bool kBounded>
[[gnu::always_inline]] inline void SearchBody(const Window& w, SearchState& st,
                                              const std::vector<int32_t>& order) {
    const WideMaps& m = *st.maps;
    const int32_t rows = m.rows;
    const size_t stride = static_cast<size_t>(m.stride);
    int16_t* curRow = m.curRow.get();
    int16_t* workRow = m.workRow.get();
    uint64_t* mask = m.columnMask.get();
    for (const int32_t x : order) {
        ShiftRows(m, x, m.work.get());
        for (size_t k = 0; k < stride && kBounded; ++k) {
            mask[k] = PixelMask(static_cast<int32_t>(k), std::max(0, x), m.pixels + std::min(0, x));
        }
        for (int32_t y = 0; y < rows && kBounded; ++y) {
            const uint64_t* c = m.cur.get() + static_cast<size_t>(y) * stride;
            const uint64_t* s = m.work.get() + static_cast<size_t>(y) * stride;
            uint64_t nc = 0;
            uint64_t ns = 0;
            for (size_t k = 0; k < stride; ++k) {
                nc += Pop::Count(c[k] & mask[k]);
                ns += Pop::Count(s[k]);
            }
            curRow[y] = static_cast<int16_t>(nc);
            workRow[y] = static_cast<int16_t>(ns);
        }
        const uint64_t cols = static_cast<uint64_t>(m.pixels - (x < 0 ? -x : x));
        for (int32_t y = w.ymin; y <= w.ymax; ++y) {
            const int32_t first = std::max(0, y);
            const int32_t last = rows - 1 + std::min(0, y);
            const uint64_t overlap = cols * static_cast<uint64_t>(last - first + 1);
            const uint64_t wanted = std::max<uint64_t>(uint64_t{st.best} + 1, st.reached);
            // The fewest coincidences that score `wanted`: T n / overlap >= wanted.
            const uint64_t need = (wanted * overlap + st.total - 1) / st.total;
            const int16_t* paired = workRow - y; // paired[r]: the previous row met by row r
            uint64_t left = 0;
            for (int32_t r = first; r <= last && kBounded; ++r) {
                left += static_cast<uint64_t>(std::min(curRow[r], paired[r]));
            }
            uint64_t n = 0;
            bool passed = kBounded && left < need;
            const uint64_t* a = m.cur.get() + static_cast<size_t>(first) * stride;
            const uint64_t* b = m.work.get() + static_cast<size_t>(first - y) * stride;
            if constexpr (kBounded) {
                for (int32_t r = first; r <= last && !passed; ++r, a += stride, b += stride) {
                    n += CountAnd<Pop>(a, b, stride);
                    left -= static_cast<uint64_t>(std::min(curRow[r], paired[r]));
                    passed = n + left < need;
                }
            } else {
                n = CountAnd<Pop>(a, b, static_cast<size_t>(last - first + 1) * stride);
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

// The full score of one candidate, counted without any bound.
template <typename Pop>
[[gnu::always_inline]] inline uint32_t ScoreBody(const WideMaps& m, int32_t x, int32_t y) {
    ShiftRows(m, x, m.work.get());
    const size_t stride = static_cast<size_t>(m.stride);
    const int32_t first = std::max(0, y);
    const int32_t last = m.rows - 1 + std::min(0, y);
    if (first > last) {
        return 0;
    }
    const uint64_t n = CountAnd<Pop>(m.cur.get() + static_cast<size_t>(first) * stride,
                                     m.work.get() + static_cast<size_t>(first - y) * stride,
                                     static_cast<size_t>(last - first + 1) * stride);
    return ScoreDisplacement(n, m.rows, m.pixels / 16, x, y);
}

// Windows with more candidates than this are searched with bounds, after a guess at a high
// score to measure the others against.
constexpr int64_t kBoundedFromCandidates = 64;

int64_t Candidates(const Window& w) {
    return (int64_t{w.xmax} - w.xmin + 1) * (int64_t{w.ymax} - w.ymin + 1);
}

void SearchPlain(const Window& w, SearchState& st, const std::vector<int32_t>& order) {
    if (Candidates(w) > kBoundedFromCandidates) {
        SearchBody<PlainPopcount, true>(w, st, order);
    } else {
        SearchBody<PlainPopcount, false>(w, st, order);
    }
}
uint32_t ScorePlain(const WideMaps& m, int32_t x, int32_t y) {
    return ScoreBody<PlainPopcount>(m, x, y);
}

#if STILLO_X86_DISPATCH
STILLO_TARGET_AVX2 void SearchHardware(const Window& w, SearchState& st,
                                       const std::vector<int32_t>& order) {
    if (Candidates(w) > kBoundedFromCandidates) {
        SearchBody<HardwarePopcount, true>(w, st, order);
    } else {
        SearchBody<HardwarePopcount, false>(w, st, order);
    }
}
STILLO_TARGET_AVX2 uint32_t ScoreHardware(const WideMaps& m, int32_t x, int32_t y) {
    return ScoreBody<HardwarePopcount>(m, x, y);
}
#endif

void RunSearch(const Window& w, SearchState& st) {
    const std::vector<int32_t> order = ColumnOrder(w);
#if STILLO_X86_DISPATCH
    if (UseAvx2()) {
        SearchHardware(w, st, order);
        return;
    }
#endif
    SearchPlain(w, st, order);
}

uint32_t Score(const WideMaps& m, int32_t x, int32_t y) {
#if STILLO_X86_DISPATCH
    if (UseAvx2()) {
        return ScoreHardware(m, x, y);
    }
#endif
    return ScorePlain(m, x, y);
}

// Pixels of each column (along the rows) and of each row of a wide map.
void Projections(const WideMaps& m, const uint64_t* map, std::vector<uint32_t>& columns,
                 std::vector<uint32_t>& rowCounts) {
    columns.assign(static_cast<size_t>(m.pixels), 0);
    rowCounts.assign(static_cast<size_t>(m.rows), 0);
    for (int32_t y = 0; y < m.rows; ++y) {
        const uint64_t* row = map + static_cast<size_t>(y) * m.stride;
        for (int32_t k = 0; k < m.stride; ++k) {
            for (uint64_t v = row[k]; v != 0; v &= v - 1) {
                ++columns[static_cast<size_t>(64 * k + 63 - std::countr_zero(v))];
                ++rowCounts[static_cast<size_t>(y)];
            }
        }
    }
}

// The shift along one axis at which the two projections agree best, scaled to the whole
// length like a score: a guess at where the best candidate lies.
int32_t BestProjectedShift(const std::vector<uint32_t>& cur, const std::vector<uint32_t>& prev,
                           int32_t lo, int32_t hi) {
    const int64_t length = static_cast<int64_t>(cur.size());
    int32_t bestShift = lo;
    double bestValue = -1;
    for (int32_t d = lo; d <= hi; ++d) {
        uint64_t sum = 0;
        for (int64_t i = std::max<int64_t>(0, d); i < length + std::min<int64_t>(0, d); ++i) {
            sum += uint64_t{cur[static_cast<size_t>(i)]} * prev[static_cast<size_t>(i - d)];
        }
        const double value = static_cast<double>(sum) / static_cast<double>(length - std::abs(d));
        if (value > bestValue) {
            bestValue = value;
            bestShift = d;
        }
    }
    return bestShift;
}

// A score that some candidate of the window reaches, as high as a cheap guess finds: the
// window's centre and the candidate where the maps' row and column projections agree best.
// Small windows, searched without bounds, need none.
uint32_t ReachedScore(const WideMaps& m, const Window& w) {
    if (Candidates(w) <= kBoundedFromCandidates) {
        return 0;
    }
    const int32_t cx = static_cast<int32_t>((int64_t{w.xmin} + w.xmax) / 2);
    const int32_t cy = static_cast<int32_t>((int64_t{w.ymin} + w.ymax) / 2);
    uint32_t reached = Score(m, cx, cy);
    std::vector<uint32_t> curColumns, curRows, prevColumns, prevRows;
    Projections(m, m.cur.get(), curColumns, curRows);
    Projections(m, m.prev.get(), prevColumns, prevRows);
    const int32_t gx = BestProjectedShift(curColumns, prevColumns, w.xmin, w.xmax);
    const int32_t gy = BestProjectedShift(curRows, prevRows, w.ymin, w.ymax);
    for (const auto& [x, y] : {std::pair{gx, gy}, std::pair{gx, cy}, std::pair{cx, gy}}) {
        reached = std::max(reached, Score(m, x, y));
    }
    return reached;
}

int Match(IMAGE2D prevRows, IMAGE2D curRows, int32_t rows, int32_t words, Window w, bool centred,
          int32_t* dy, int32_t* dx, SearchObserver observer, void* context) {
    const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(w.xmin) + w.xmax) / 2);
    const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(w.ymin) + w.ymax) / 2);
    if (rows < 1 || words < 1) {
        if (centred) {
            *dy = cy;
            *dx = cx;
        }
        return 1; // no pixel takes part: no candidate
    }
    WideMaps m;
    if (!MakeWideMaps(prevRows, curRows, rows, words, m)) {
        return 0;
    }
    SearchState st{&m,       16ull * static_cast<uint64_t>(words) * static_cast<uint64_t>(rows),
                   0,        0,
                   dy,       dx,
                   observer, context};
    if (centred) {
        const bool overlaps = cx > -m.pixels && cx < m.pixels && cy > -rows && cy < rows;
        st.best = overlaps ? Score(m, cx, cy) : 0;
        *dy = cy;
        *dx = cx;
    }
    const Window part = OverlappingPart(w, rows, words);
    if (part.Empty()) {
        return 1;
    }
    st.reached = ReachedScore(m, part);
    RunSearch(part, st);
    return 1;
}

} // namespace

uint32_t ScoreDisplacement(uint64_t n, int32_t rows, int32_t words, int32_t dx, int32_t dy) {
    const int64_t cols = 16 * int64_t{words} - (dx < 0 ? -int64_t{dx} : dx);
    const int64_t pairs = int64_t{rows} - (dy < 0 ? -int64_t{dy} : dy);
    if (words < 1 || rows < 1 || cols < 1 || pairs < 1) {
        return 0;
    }
    const uint64_t total = 16ull * static_cast<uint64_t>(words) * static_cast<uint64_t>(rows);
    const uint64_t overlap = static_cast<uint64_t>(cols) * static_cast<uint64_t>(pairs);
    return static_cast<uint32_t>(total * n / overlap);
}

int MatchBitmapsExhaustive(const MOSAIC_TABLES* /*tables*/, IMAGE2D prevRows, IMAGE2D curRows,
                           const uint16_t* /*prevCounts*/, const uint16_t* /*curCounts*/,
                           int32_t rows, int32_t words, int32_t xmin, int32_t xmax, int32_t ymin,
                           int32_t ymax, int32_t* dy, int32_t* dx) {
    return Match(prevRows, curRows, rows, words, {xmin, xmax, ymin, ymax}, false, dy, dx, nullptr,
                 nullptr);
}

int MatchBitmapsCentred(const MOSAIC_TABLES* /*tables*/, IMAGE2D prevRows, IMAGE2D curRows,
                        const uint16_t* /*prevCounts*/, const uint16_t* /*curCounts*/, int32_t rows,
                        int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                        int32_t* dy, int32_t* dx) {
    return Match(prevRows, curRows, rows, words, {xmin, xmax, ymin, ymax}, true, dy, dx, nullptr,
                 nullptr);
}

int MatchBitmapsObserved(bool centred, IMAGE2D prevRows, IMAGE2D curRows, int32_t rows,
                         int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                         int32_t* dy, int32_t* dx, SearchObserver observer, void* context) {
    return Match(prevRows, curRows, rows, words, {xmin, xmax, ymin, ymax}, centred, dy, dx,
                 observer, context);
}

int WriteMosaicHeaderStub(std::FILE* /*file*/, uint8_t** /*stripRows*/, int32_t /*width*/,
                          int32_t /*rows*/) {
    return 1;
}
