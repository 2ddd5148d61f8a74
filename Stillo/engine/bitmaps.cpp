#include "engine/bitmaps.h"

#include <algorithm>
#include <bit>
#include <cstdint>

void BuildBitCountTable(uint16_t* table, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        table[i] = static_cast<uint16_t>(std::popcount(static_cast<uint32_t>(i)));
    }
}

void PackBitRows(IMAGE2D features, int32_t rows, int32_t cols, IMAGE2D packedRows,
                 uint16_t* rowCounts, int32_t* packedRows_out, int32_t* wordCount_out) {
    *packedRows_out = rows;
    *wordCount_out = cols >> 4;
    if (rows < 1) {
        return;
    }
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* src = features[y];
        auto* dst = reinterpret_cast<uint16_t*>(packedRows[y]);
        unsigned count = 0;
        for (int32_t x = 0; x < cols; x += 16) {
            const int32_t group = std::min<int32_t>(16, cols - x);
            unsigned word = 0;
            for (int32_t k = 0; k < group; ++k) {
                word |= static_cast<unsigned>(src[x + k] != 0) << (15 - k);
            }
            count += static_cast<unsigned>(std::popcount(word));
            dst[x >> 4] = static_cast<uint16_t>(word);
        }
        rowCounts[y] = static_cast<uint16_t>(count);
    }
}

namespace {

// Upper bound on the 64-bit word pairs one search may compare: room for a +-60 x +-60 window
// over a full-size frame, the widest the tracker asks for in a steady run. A window widened further
// after a gross error is narrowed about its centre to fit, so no frame stalls the run.
constexpr int64_t kMaxSearchWork = 90'000'000;

// Both maps are re-laid into 64-bit words of 64 pixels, pixel x at bit 63 - (x mod 64) of word
// x / 64, the same order as the 16-bit words, so a shift along the row is one shift across
// the word sequence. Only the first 16 W pixels of a row are taken; the rest stays 0.
struct WideMaps {
    int32_t rows = 0;
    int32_t stride = 0; // 64-bit words a row
    HeapBlock<uint64_t> prev;
    HeapBlock<uint64_t> cur;
    HeapBlock<uint64_t> work; // the previous map shifted by the column being visited
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

// work = previous map moved by dx pixels towards higher x (dx > 0) or lower x (dx < 0); bits
// that leave the row are lost, bits that enter are 0. Bits pushed into the padding beyond
// 16 W are harmless: the current map holds 0 there.
void ShiftRows(const WideMaps& m, int32_t dx, uint64_t* work) {
    const int32_t stride = m.stride;
    const int32_t q = (dx < 0 ? -dx : dx) >> 6;
    const int32_t r = (dx < 0 ? -dx : dx) & 63;
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
    }
}

// Coinciding set bits of n word pairs, four running sums so the counts do not wait on each
// other. Inlined into each caller below, so the hardware form counts with its own instruction.
template <class Popcount>
[[gnu::always_inline]] inline uint64_t CountAnd(const uint64_t* a, const uint64_t* b, size_t n,
                                                Popcount popcount) {
    uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += popcount(a[i] & b[i]);
        s1 += popcount(a[i + 1] & b[i + 1]);
        s2 += popcount(a[i + 2] & b[i + 2]);
        s3 += popcount(a[i + 3] & b[i + 3]);
    }
    for (; i < n; ++i) {
        s0 += popcount(a[i] & b[i]);
    }
    return s0 + s1 + s2 + s3;
}

uint64_t CountAndPlain(const uint64_t* a, const uint64_t* b, size_t n) {
    return CountAnd(a, b, n, [](uint64_t v) { return static_cast<uint64_t>(std::popcount(v)); });
}

using CountFn = uint64_t (*)(const uint64_t*, const uint64_t*, size_t);

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("popcnt"))) uint64_t CountAndHardware(const uint64_t* a, const uint64_t* b,
                                                            size_t n) {
    return CountAnd(
        a, b, n, [](uint64_t v) __attribute__((target("popcnt"))) {
            return static_cast<uint64_t>(__builtin_popcountll(v));
        });
}

CountFn PickCounter() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("popcnt") ? CountAndHardware : CountAndPlain;
}
#else
CountFn PickCounter() {
    return CountAndPlain;
}
#endif

CountFn Counter() {
    static const CountFn fn = PickCounter();
    return fn;
}

// Coinciding set bits of the current map and the shifted previous one at row offset dy.
uint64_t CountPairs(const WideMaps& m, const uint64_t* work, int32_t dy) {
    const int32_t first = std::max(0, dy);
    const int32_t pairs = m.rows - (dy < 0 ? -dy : dy);
    const size_t stride = static_cast<size_t>(m.stride);
    return Counter()(m.cur.get() + first * stride, work + (first - dy) * stride,
                     static_cast<size_t>(pairs) * stride);
}

struct Window {
    int32_t xmin, xmax, ymin, ymax;
    bool Empty() const { return xmin > xmax || ymin > ymax; }
};

// Drops the candidates that share no pixel with the previous map (they score 0 and can never
// win), then narrows a window too large for the work bound about its centre.
Window BoundWindow(Window w, int32_t rows, int32_t words, int32_t stride) {
    const int32_t maxDx = 16 * words - 1;
    const int32_t maxDy = rows - 1;
    w.xmin = std::max(w.xmin, -maxDx);
    w.xmax = std::min(w.xmax, maxDx);
    w.ymin = std::max(w.ymin, -maxDy);
    w.ymax = std::min(w.ymax, maxDy);
    if (w.Empty()) {
        return w;
    }
    const int64_t perCandidate = static_cast<int64_t>(rows) * stride;
    const int64_t maxCandidates = std::max<int64_t>(1, kMaxSearchWork / perCandidate);
    const int64_t cx2 = static_cast<int64_t>(w.xmin) + w.xmax;
    const int64_t cy2 = static_cast<int64_t>(w.ymin) + w.ymax;
    int64_t nx = static_cast<int64_t>(w.xmax) - w.xmin + 1;
    int64_t ny = static_cast<int64_t>(w.ymax) - w.ymin + 1;
    while (nx * ny > maxCandidates) {
        // Trim the longer side at the end farther from the centre.
        if (nx >= ny && nx > 1) {
            if (2 * static_cast<int64_t>(w.xmax) - cx2 >= cx2 - 2 * static_cast<int64_t>(w.xmin)) {
                --w.xmax;
            } else {
                ++w.xmin;
            }
            --nx;
        } else if (ny > 1) {
            if (2 * static_cast<int64_t>(w.ymax) - cy2 >= cy2 - 2 * static_cast<int64_t>(w.ymin)) {
                --w.ymax;
            } else {
                ++w.ymin;
            }
            --ny;
        } else {
            break;
        }
    }
    return w;
}

bool MakeWideMaps(IMAGE2D prevRows, IMAGE2D curRows, int32_t rows, int32_t words, WideMaps& m) {
    m.rows = rows;
    m.stride = (words + 3) >> 2;
    const size_t total = static_cast<size_t>(rows) * static_cast<size_t>(m.stride);
    m.prev = ZeroedBlock<uint64_t>(total);
    m.cur = ZeroedBlock<uint64_t>(total);
    m.work = ZeroedBlock<uint64_t>(total);
    if (!m.prev || !m.cur || !m.work) {
        return false;
    }
    Widen(prevRows, rows, words, m.stride, m.prev.get());
    Widen(curRows, rows, words, m.stride, m.cur.get());
    return true;
}

// Calls visit(dx) for every column in the search order: outwards from the column nearest to
// zero, the non-positive side first when the window straddles zero (0 is then visited twice).
template <typename Visit> void ForEachColumn(const Window& w, Visit visit) {
    if (w.xmin < 0 && w.xmax >= 1) {
        for (int32_t dx = 0; dx >= w.xmin; --dx) {
            visit(dx);
        }
        for (int32_t dx = 0; dx <= w.xmax; ++dx) {
            visit(dx);
        }
    } else if (w.xmin >= 0 && w.xmax >= 1) {
        for (int32_t dx = w.xmin; dx <= w.xmax; ++dx) {
            visit(dx);
        }
    } else {
        for (int32_t dx = w.xmax; dx >= w.xmin; --dx) {
            visit(dx);
        }
    }
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
    if (rows < 1 || words < 1) {
        return 1; // no pixel takes part: no candidate
    }
    WideMaps m;
    const Window w = BoundWindow({xmin, xmax, ymin, ymax}, rows, words, (words + 3) >> 2);
    if (w.Empty()) {
        return 1;
    }
    if (!MakeWideMaps(prevRows, curRows, rows, words, m)) {
        return 0;
    }
    uint32_t best = 0;
    ForEachColumn(w, [&](int32_t x) {
        ShiftRows(m, x, m.work.get());
        for (int32_t y = w.ymin; y <= w.ymax; ++y) {
            const uint32_t score =
                ScoreDisplacement(CountPairs(m, m.work.get(), y), rows, words, x, y);
            if (score > best) {
                best = score;
                *dy = y;
                *dx = x;
            }
        }
    });
    return 1;
}

int MatchBitmapsCentred(const MOSAIC_TABLES* /*tables*/, IMAGE2D prevRows, IMAGE2D curRows,
                        const uint16_t* /*prevCounts*/, const uint16_t* curCounts, int32_t rows,
                        int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                        int32_t* dy, int32_t* dx) {
    const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(xmin) + xmax) / 2);
    const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(ymin) + ymax) / 2);
    if (rows < 1 || words < 1) {
        *dy = cy;
        *dx = cx;
        return 1;
    }
    WideMaps m;
    if (!MakeWideMaps(prevRows, curRows, rows, words, m)) {
        return 0;
    }
    const int32_t stride = m.stride;
    const size_t strideSz = static_cast<size_t>(stride);
    uint32_t best = 0;
    if (cx > -16 * words && cx < 16 * words && cy > -rows && cy < rows) {
        ShiftRows(m, cx, m.work.get());
        best = ScoreDisplacement(CountPairs(m, m.work.get(), cy), rows, words, cx, cy);
    }
    *dy = cy;
    *dx = cx;

    const Window w = BoundWindow({xmin, xmax, ymin, ymax}, rows, words, stride);
    if (w.Empty()) {
        return 1;
    }
    // The set pixels of the current map at or above each row: whatever a candidate has not
    // counted yet can add at most this many coincidences.
    const HeapBlock<uint64_t> remaining = ZeroedBlock<uint64_t>(static_cast<size_t>(rows) + 1);
    if (!remaining) {
        return 0;
    }
    for (int32_t y = rows - 1; y >= 0; --y) {
        remaining[y] = remaining[y + 1] + curCounts[y];
    }
    const uint64_t total = 16ull * static_cast<uint64_t>(words) * static_cast<uint64_t>(rows);
    const CountFn count = Counter();
    ForEachColumn(w, [&](int32_t x) {
        ShiftRows(m, x, m.work.get());
        const uint64_t cols = static_cast<uint64_t>(16 * words - (x < 0 ? -x : x));
        for (int32_t y = w.ymin; y <= w.ymax; ++y) {
            const uint64_t overlap = cols * static_cast<uint64_t>(rows - (y < 0 ? -y : y));
            const int32_t first = std::max(0, y);
            const int32_t last = rows - 1 + std::min(0, y);
            uint64_t n = 0;
            bool cut = false;
            for (int32_t r = first; r <= last; ++r) {
                // Even a full match of every remaining current pixel could not beat the best:
                // the bound is scaled exactly as the score is.
                if (total * (n + remaining[r]) / overlap <= best) {
                    cut = true;
                    break;
                }
                n += count(m.cur.get() + r * strideSz, m.work.get() + (r - y) * strideSz, strideSz);
            }
            if (!cut) {
                const uint32_t score = static_cast<uint32_t>(total * n / overlap);
                if (score > best) {
                    best = score;
                    *dy = y;
                    *dx = x;
                }
            }
        }
    });
    return 1;
}

int WriteMosaicHeaderStub(std::FILE* /*file*/, uint8_t** /*stripRows*/, int32_t /*width*/,
                          int32_t /*rows*/) {
    return 1;
}
