// Every candidate of a search window against a brute-force scorer: the search reports each
// candidate as it meets it, with its score when it counted it in full, or with the score it
// would have needed when it gave the count up; both are checked pixel by pixel, in the
// visiting order, for wide windows reaching beyond the maps, in both instruction forms.
#include "engine/bitmaps.h"
#include "engine/displacement_search.h"
#include "engine/image.h"
#include "engine/records.h"
#include "tests/support/instruction_forms.h"
#include "tests/support/search_oracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

using stillo_test::ScoreByDefinition;
using Map = stillo_test::FeatureMap;

namespace {

// Blobs of set pixels, and the same picture moved by (sx, sy) with some pixels flipped.
void Blobs(Map& m, std::mt19937& rng, int count) {
    for (int i = 0; i < count; ++i) {
        const int32_t cx = static_cast<int32_t>(rng() % static_cast<unsigned>(m.cols));
        const int32_t cy = static_cast<int32_t>(rng() % static_cast<unsigned>(m.rows));
        const int32_t r = 1 + static_cast<int32_t>(rng() % 4);
        for (int32_t y = std::max(0, cy - r); y <= std::min(m.rows - 1, cy + r); ++y) {
            for (int32_t x = std::max(0, cx - r); x <= std::min(m.cols - 1, cx + r); ++x) {
                m.At(x, y) = 255;
            }
        }
    }
}

void Moved(const Map& from, Map& to, int32_t sx, int32_t sy, std::mt19937& rng,
           unsigned flipInThousand) {
    for (int32_t y = 0; y < to.rows; ++y) {
        for (int32_t x = 0; x < to.cols; ++x) {
            const int32_t fx = x - sx, fy = y - sy;
            uint8_t v =
                fx >= 0 && fy >= 0 && fx < from.cols && fy < from.rows ? from.Get(fx, fy) : 0;
            if (rng() % 1000 < flipInThousand) {
                v = v != 0 ? 0 : 255;
            }
            to.At(x, y) = v;
        }
    }
}

struct Visit {
    std::vector<SEARCH_CANDIDATE> seen;
    static void Record(void* context, const SEARCH_CANDIDATE& c) {
        static_cast<Visit*>(context)->seen.push_back(c);
    }
};

// The candidates in the order the search visits them: columns outwards from zero, the
// non-positive side first (0 twice when the window straddles it), rows ascending; only those
// that share pixels with the previous map.
std::vector<std::pair<int32_t, int32_t>> VisitingOrder(int32_t xmin, int32_t xmax, int32_t ymin,
                                                       int32_t ymax, int32_t rows, int32_t words) {
    xmin = std::max(xmin, -(16 * words - 1));
    xmax = std::min(xmax, 16 * words - 1);
    ymin = std::max(ymin, -(rows - 1));
    ymax = std::min(ymax, rows - 1);
    std::vector<std::pair<int32_t, int32_t>> order;
    for (int32_t x : stillo_test::SearchColumnOrder(xmin, xmax)) {
        for (int32_t y = ymin; y <= ymax; ++y) {
            order.push_back({x, y});
        }
    }
    return order;
}

struct WindowCase {
    int32_t rows, cols;
    int32_t sx, sy; // how the current map moved
    unsigned noise; // pixels flipped in a thousand
    int32_t xmin, xmax, ymin, ymax;
    bool centred;
};

class SearchEveryCandidate : public stillo_test::InstructionForms {};

} // namespace

TEST_P(SearchEveryCandidate, ScoresEqualTheBruteForceScorerAndTheFirstBestWins) {
    const WindowCase cases[] = {
        // Half the map either way, the widest the tracker asks for, and beyond the map.
        {40, 160, 23, -6, 5, -80, 80, -20, 20, false},
        {40, 160, 23, -6, 5, -80, 80, -20, 20, true},
        {33, 100, -41, 9, 30, -120, 120, -40, 40, false},
        // Off-centre and one-sided windows; the true shift outside the window.
        {36, 150, 60, 4, 10, 10, 90, -3, 17, false},
        {36, 150, -7, -2, 10, -100, -20, -18, 18, true},
        // The true shift outside the window where the window's centre, or its best guesses
        // along each axis, would lie with x and y exchanged: no score of it counts as reached.
        {60, 150, -2, 45, 10, 30, 60, -8, 4, false},
        {36, 150, 9, 10, 10, 10, 40, -5, 9, false},
        // Windows so small that every candidate is counted in full.
        {36, 150, 2, -1, 10, -2, 2, -2, 2, false},
        {36, 150, 1, 1, 10, -1, 6, 0, 3, true},
        // A partial last word (20 columns: W = 1) and a map with a single word.
        {25, 52, 3, 2, 0, -30, 30, -12, 12, false},
        {30, 20, 1, -1, 0, -15, 15, -10, 10, false},
    };
    std::mt19937 rng(90);
    int passedOver = 0;
    for (const WindowCase& c : cases) {
        Map prev(c.rows, c.cols), cur(c.rows, c.cols);
        Blobs(prev, rng, c.rows * c.cols / 60);
        Moved(prev, cur, c.sx, c.sy, rng, c.noise);
        prev.Pack();
        cur.Pack();
        SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << " moved " << c.sx << ","
                                        << c.sy << (c.centred ? " centred" : ""));
        Visit visit;
        int32_t dx = 777, dy = 777;
        ASSERT_EQ(MatchBitmapsObserved(c.centred, prev.packed, cur.packed, cur.packedRows,
                                       cur.words, c.xmin, c.xmax, c.ymin, c.ymax, &dy, &dx,
                                       Visit::Record, &visit),
                  1);
        const auto order = VisitingOrder(c.xmin, c.xmax, c.ymin, c.ymax, cur.packedRows, cur.words);
        ASSERT_EQ(visit.seen.size(), order.size());
        // The first-visited best of the brute-force scores; the centred search starts from its
        // centre, which wins its ties.
        const int32_t cx = (c.xmin + c.xmax) / 2, cy = (c.ymin + c.ymax) / 2;
        uint32_t best = c.centred ? ScoreByDefinition(prev, cur, cx, cy) : 0;
        std::pair<int32_t, int32_t> winner = c.centred ? std::pair{cx, cy} : std::pair{777, 777};
        for (size_t i = 0; i < order.size(); ++i) {
            const SEARCH_CANDIDATE& got = visit.seen[i];
            ASSERT_EQ(std::pair(got.dx, got.dy), order[i]) << "candidate " << i;
            const uint32_t score = ScoreByDefinition(prev, cur, got.dx, got.dy);
            if (got.counted) {
                ASSERT_EQ(got.score, score) << got.dx << "," << got.dy;
            } else {
                // Given up: it really scores below what it would have needed, which is more
                // than the best so far.
                ASSERT_LT(score, got.score) << got.dx << "," << got.dy;
                ASSERT_GT(got.score, best) << got.dx << "," << got.dy;
                ++passedOver;
            }
            if (score > best) {
                best = score;
                winner = {got.dx, got.dy};
            }
        }
        EXPECT_EQ(std::pair(dx, dy), winner);
    }
    EXPECT_GT(passedOver, 1000); // the bounds did their work
}

TEST_P(SearchEveryCandidate, LastOverlappingRowsCount) {
    // The only coinciding pixels lie in the last row pair each candidate has: the previous
    // map's pixels in its top row (dy >= 0) or the current map's in its top row (dy < 0).
    for (bool centred : {false, true}) {
        for (const auto& [sx, sy] : {std::pair{3, 0}, std::pair{-5, 4}, std::pair{7, -6}}) {
            Map prev(20, 64), cur(20, 64);
            for (int32_t x = 10; x < 40; x += 3) {
                const int32_t curY = sy >= 0 ? 19 : 19 + sy;
                cur.At(x + sx, curY) = 255;
                prev.At(x, curY - sy) = 255;
            }
            prev.Pack();
            cur.Pack();
            ASSERT_GT(ScoreByDefinition(prev, cur, sx, sy), 0u);
            int32_t dx = 99, dy = 99;
            const int ok =
                centred
                    ? MatchBitmapsCentred(nullptr, prev.packed, cur.packed, prev.counts.data(),
                                          cur.counts.data(), 20, 4, -9, 9, -8, 8, &dy, &dx)
                    : MatchBitmapsExhaustive(nullptr, prev.packed, cur.packed, prev.counts.data(),
                                             cur.counts.data(), 20, 4, -9, 9, -8, 8, &dy, &dx);
            ASSERT_EQ(ok, 1);
            EXPECT_EQ(dx, sx) << (centred ? "centred " : "") << sx << "," << sy;
            EXPECT_EQ(dy, sy) << (centred ? "centred " : "") << sx << "," << sy;
        }
    }
}

TEST_P(SearchEveryCandidate, TheCentreIsCountedToItsLastRowAndWinsItsTies) {
    // Window -4..2 across the rows: centre -1, visited after 0. Row 9, the last, gives the
    // centre 63 coincidences and 0 one fewer; two pixels of row 0 meet only at 0. Both score
    // floor(640 n / overlap) = 64, and the centre keeps what it scored first.
    Map prev(10, 64), cur(10, 64);
    for (int32_t x = 0; x < 63; ++x) {
        cur.At(x, 9) = 255;
        prev.At(x + 1, 9) = 255;
    }
    for (int32_t x : {20, 40}) {
        cur.At(x, 0) = 255;
        prev.At(x, 0) = 255;
    }
    prev.Pack();
    cur.Pack();
    ASSERT_EQ(ScoreByDefinition(prev, cur, -1, 0), 64u);
    ASSERT_EQ(ScoreByDefinition(prev, cur, 0, 0), 64u);
    int32_t dx = 99, dy = 99;
    ASSERT_EQ(MatchBitmapsCentred(nullptr, prev.packed, cur.packed, prev.counts.data(),
                                  cur.counts.data(), 10, 4, -4, 2, 0, 0, &dy, &dx),
              1);
    EXPECT_EQ(dx, -1);
    EXPECT_EQ(dy, 0);
    ASSERT_EQ(MatchBitmapsExhaustive(nullptr, prev.packed, cur.packed, prev.counts.data(),
                                     cur.counts.data(), 10, 4, -4, 2, 0, 0, &dy, &dx),
              1);
    EXPECT_EQ(dx, 0); // the first visited of the equal best
}

TEST_P(SearchEveryCandidate, HighDefinitionMapsFindShiftsNearTheFirstWindowsEdge) {
    // A 1880 x 1058 map, the first registered frame's window of +-30: shifts of 28 along the
    // rows, with and without a shift across them, are found exactly.
    std::mt19937 rng(91);
    Map prev(1058, 1880);
    Blobs(prev, rng, 1058 * 1880 / 400);
    prev.Pack();
    for (const auto& [sx, sy] : {std::pair{-28, 0}, std::pair{28, -5}, std::pair{-29, 30}}) {
        Map cur(1058, 1880);
        Moved(prev, cur, sx, sy, rng, 2);
        cur.Pack();
        int32_t dx = 0, dy = 0;
        ASSERT_EQ(MatchBitmapsExhaustive(nullptr, prev.packed, cur.packed, prev.counts.data(),
                                         cur.counts.data(), cur.packedRows, cur.words, -30, 30, -30,
                                         30, &dy, &dx),
                  1);
        EXPECT_EQ(dx, sx);
        EXPECT_EQ(dy, sy);
    }
}

STILLO_INSTRUCTION_FORMS(SearchEveryCandidate);
