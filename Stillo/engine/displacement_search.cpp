#include "engine/displacement_search.h"

#include "engine/kernels.h"
#include "engine/search_state.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// The storage behind SEARCH_MAPS.
struct WideMaps {
    HeapBlock<uint64_t> prev;
    HeapBlock<uint64_t> cur;
    HeapBlock<uint64_t> work;
    HeapBlock<int16_t> curRow;
    HeapBlock<int16_t> workRow;
    HeapBlock<uint64_t> columnMask;
    SEARCH_MAPS view{};
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

bool MakeWideMaps(IMAGE2D prevRows, IMAGE2D curRows, int32_t rows, int32_t words, WideMaps& m) {
    const int32_t stride = (words + 3) >> 2;
    const size_t total = static_cast<size_t>(rows) * static_cast<size_t>(stride);
    m.prev = ZeroedBlock<uint64_t>(total);
    m.cur = ZeroedBlock<uint64_t>(total);
    m.work = ZeroedBlock<uint64_t>(total);
    m.curRow = ZeroedBlock<int16_t>(static_cast<size_t>(rows));
    m.workRow = ZeroedBlock<int16_t>(static_cast<size_t>(rows));
    m.columnMask = ZeroedBlock<uint64_t>(static_cast<size_t>(stride));
    if (!m.prev || !m.cur || !m.work || !m.curRow || !m.workRow || !m.columnMask) {
        return false;
    }
    Widen(prevRows, rows, words, stride, m.prev.get());
    Widen(curRows, rows, words, stride, m.cur.get());
    m.view = {rows,         16 * words,     stride,          m.prev.get(),      m.cur.get(),
              m.work.get(), m.curRow.get(), m.workRow.get(), m.columnMask.get()};
    return true;
}

bool Empty(const SEARCH_WINDOW& w) {
    return w.xmin > w.xmax || w.ymin > w.ymax;
}

// Drops the candidates that share no pixel with the previous map: they score 0 and never win.
SEARCH_WINDOW OverlappingPart(SEARCH_WINDOW w, int32_t rows, int32_t words) {
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
std::vector<int32_t> ColumnOrder(const SEARCH_WINDOW& w) {
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

// Windows with more candidates than this are searched with bounds, after a guess at a high
// score to measure the others against; in a smaller one the bounds would cost more than they
// save, and every candidate is counted in full.
constexpr int64_t kBoundedFromCandidates = 64;

int64_t Candidates(const SEARCH_WINDOW& w) {
    return (int64_t{w.xmax} - w.xmin + 1) * (int64_t{w.ymax} - w.ymin + 1);
}

// Pixels of each column (along the rows) and of each row of a wide map.
void Projections(const SEARCH_MAPS& m, const uint64_t* map, std::vector<uint32_t>& columns,
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
uint32_t ReachedScore(const SEARCH_MAPS& m, const SEARCH_WINDOW& w) {
    if (Candidates(w) <= kBoundedFromCandidates) {
        return 0;
    }
    const KERNEL_FORM& kernels = Kernels();
    const int32_t cx = static_cast<int32_t>((int64_t{w.xmin} + w.xmax) / 2);
    const int32_t cy = static_cast<int32_t>((int64_t{w.ymin} + w.ymax) / 2);
    uint32_t reached = kernels.scoreCandidate(m, cx, cy);
    std::vector<uint32_t> curColumns, curRows, prevColumns, prevRows;
    Projections(m, m.cur, curColumns, curRows);
    Projections(m, m.prev, prevColumns, prevRows);
    const int32_t gx = BestProjectedShift(curColumns, prevColumns, w.xmin, w.xmax);
    const int32_t gy = BestProjectedShift(curRows, prevRows, w.ymin, w.ymax);
    for (const auto& [x, y] : {std::pair{gx, gy}, std::pair{gx, cy}, std::pair{cx, gy}}) {
        reached = std::max(reached, kernels.scoreCandidate(m, x, y));
    }
    return reached;
}

int Match(IMAGE2D prevRows, IMAGE2D curRows, int32_t rows, int32_t words, SEARCH_WINDOW w,
          bool centred, int32_t* dy, int32_t* dx, SearchObserver observer, void* context) {
    const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(w.xmin) + w.xmax) / 2);
    const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(w.ymin) + w.ymax) / 2);
    if (rows < 1 || words < 1) {
        if (centred) {
            *dy = cy;
            *dx = cx;
        }
        return 1; // no pixel takes part: no candidate
    }
    WideMaps wide;
    if (!MakeWideMaps(prevRows, curRows, rows, words, wide)) {
        return 0;
    }
    const SEARCH_MAPS& m = wide.view;
    SEARCH_STATE st{};
    st.total = 16ull * static_cast<uint64_t>(words) * static_cast<uint64_t>(rows);
    st.dy = dy;
    st.dx = dx;
    st.observer = observer;
    st.context = context;
    if (centred) {
        const bool overlaps = cx > -m.pixels && cx < m.pixels && cy > -rows && cy < rows;
        st.best = overlaps ? Kernels().scoreCandidate(m, cx, cy) : 0;
        *dy = cy;
        *dx = cx;
    }
    st.window = OverlappingPart(w, rows, words);
    if (Empty(st.window)) {
        return 1;
    }
    st.bounded = Candidates(st.window) > kBoundedFromCandidates;
    st.reached = ReachedScore(m, st.window);
    const std::vector<int32_t> order = ColumnOrder(st.window);
    Kernels().searchColumns(m, st, order.data(), order.size());
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
