// Packing of feature maps and the displacement search, checked against a pixel-level scorer
// that works on the unpacked feature images.
#include "engine/bitmaps.h"
#include "engine/displacement_search.h"
#include "engine/image.h"
#include "engine/records.h"
#include "tests/support/search_oracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using stillo_test::ScoreByDefinition;
using Map = stillo_test::FeatureMap;

namespace {

void FillRandom(Map& m, std::mt19937& rng, double density) {
    std::bernoulli_distribution set(density);
    std::uniform_int_distribution<int> value(1, 255);
    for (auto& p : m.pixels) {
        p = set(rng) ? static_cast<uint8_t>(value(rng)) : 0;
    }
}

// cur(x, y) = prev(x - sx, y - sy), with a share of pixels flipped.
void FillShifted(const Map& prev, Map& cur, int32_t sx, int32_t sy, std::mt19937& rng,
                 double noise) {
    std::bernoulli_distribution flip(noise);
    for (int32_t y = 0; y < cur.rows; ++y) {
        for (int32_t x = 0; x < cur.cols; ++x) {
            const int32_t px = x - sx;
            const int32_t py = y - sy;
            uint8_t v = 0;
            if (px >= 0 && px < prev.cols && py >= 0 && py < prev.rows) {
                v = prev.Get(px, py);
            }
            if (flip(rng)) {
                v = v ? 0 : 255;
            }
            cur.At(x, y) = v;
        }
    }
}

struct Found {
    int32_t dx, dy;
    uint32_t score;
};

Found NaiveSearch(const Map& prev, const Map& cur, int32_t xmin, int32_t xmax, int32_t ymin,
                  int32_t ymax, Found start) {
    Found best = start;
    uint32_t bestScore = 0;
    for (int32_t x : stillo_test::SearchColumnOrder(xmin, xmax)) {
        for (int32_t y = ymin; y <= ymax; ++y) {
            const uint32_t s = ScoreByDefinition(prev, cur, x, y);
            if (s > bestScore) {
                bestScore = s;
                best = {x, y, s};
            }
        }
    }
    best.score = bestScore;
    return best;
}

constexpr int32_t kUntouched = 12345;

struct SearchResult {
    int ok;
    int32_t dx, dy;
};

SearchResult Exhaustive(const Map& prev, const Map& cur, int32_t xmin, int32_t xmax, int32_t ymin,
                        int32_t ymax) {
    static std::vector<uint16_t> table(65536);
    BuildBitCountTable(table.data());
    MOSAIC_TABLES tables{};
    tables.pBitCount = table.data();
    SearchResult r{0, kUntouched, kUntouched};
    r.ok = MatchBitmapsExhaustive(&tables, prev.packed, cur.packed, prev.counts.data(),
                                  cur.counts.data(), cur.packedRows, cur.words, xmin, xmax, ymin,
                                  ymax, &r.dy, &r.dx);
    return r;
}

SearchResult Centred(const Map& prev, const Map& cur, int32_t xmin, int32_t xmax, int32_t ymin,
                     int32_t ymax) {
    MOSAIC_TABLES tables{};
    SearchResult r{0, kUntouched, kUntouched};
    r.ok =
        MatchBitmapsCentred(&tables, prev.packed, cur.packed, prev.counts.data(), cur.counts.data(),
                            cur.packedRows, cur.words, xmin, xmax, ymin, ymax, &r.dy, &r.dx);
    return r;
}

} // namespace

TEST(BitCountTable, CountsTheBitsOfEveryIndex) {
    std::vector<uint16_t> table(65536, 99);
    BuildBitCountTable(table.data(), 65536);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[0xFFFF], 16);
    EXPECT_EQ(table[0x8001], 2);
    for (uint32_t i = 0; i < 65536; i += 97) {
        unsigned bits = 0;
        for (uint32_t v = i; v; v >>= 1) {
            bits += v & 1;
        }
        ASSERT_EQ(table[i], bits) << i;
    }

    std::vector<uint16_t> small(8, 99);
    BuildBitCountTable(small.data(), 4);
    EXPECT_EQ(small[3], 2);
    EXPECT_EQ(small[4], 99);
    BuildBitCountTable(small.data(), 0);
    EXPECT_EQ(small[0], 0);
}

TEST(PackBitRows, LaysPixelsOutMostSignificantBitFirstAndCountsWholeRows) {
    Map m(3, 20);
    m.At(0, 0) = 255;
    m.At(15, 0) = 1; // any nonzero byte is a feature pixel
    m.At(16, 1) = 7;
    m.At(19, 1) = 255;
    m.At(1, 2) = 128;
    m.Pack();
    EXPECT_EQ(m.packedRows, 3);
    EXPECT_EQ(m.words, 1); // 20 pixels: one whole word, the rest only counted
    auto word = [&](int y, int w) { return reinterpret_cast<uint16_t*>(m.packed[y])[w]; };
    EXPECT_EQ(word(0, 0), 0x8001);
    EXPECT_EQ(word(0, 1), 0x0000); // bits beyond the row's end are cleared
    EXPECT_EQ(word(1, 0), 0x0000);
    EXPECT_EQ(word(1, 1), 0x9000);
    EXPECT_EQ(word(2, 0), 0x4000);
    EXPECT_EQ(m.counts[0], 2);
    EXPECT_EQ(m.counts[1], 2);
    EXPECT_EQ(m.counts[2], 1);

    Map exact(2, 32);
    exact.At(31, 1) = 255;
    exact.Pack();
    EXPECT_EQ(exact.words, 2);
    EXPECT_EQ(reinterpret_cast<uint16_t*>(exact.packed[1])[1], 0x0001);
}

TEST(PackBitRows, RandomImagesRoundTrip) {
    std::mt19937 rng(7);
    for (int32_t cols : {1, 8, 15, 16, 17, 31, 33, 47, 64, 100, 691}) {
        Map m(5, cols);
        FillRandom(m, rng, 0.4);
        m.Pack();
        ASSERT_EQ(m.words, cols >> 4);
        for (int32_t y = 0; y < m.rows; ++y) {
            const auto* row = reinterpret_cast<uint16_t*>(m.packed[y]);
            unsigned count = 0;
            for (int32_t x = 0; x < (cols + 15) / 16 * 16; ++x) {
                const bool bit = (row[x / 16] >> (15 - x % 16)) & 1;
                const bool want = x < cols && m.Get(x, y) != 0;
                ASSERT_EQ(bit, want) << "cols " << cols << " x " << x << " y " << y;
                count += want;
            }
            ASSERT_EQ(m.counts[y], count);
        }
    }
}

TEST(PackBitRows, NoRowsWritesOnlyTheSizes) {
    int32_t rows = -1, words = -1;
    PackBitRows(nullptr, 0, 40, nullptr, nullptr, &rows, &words);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(words, 2);
}

TEST(ScoreDisplacement, ScalesTheCountToTheFullMapArea) {
    // W = 2, R = 10: T = 320; (3, -2) overlaps 29 x 8 = 232; 16000 / 232 = 68.97.
    EXPECT_EQ(ScoreDisplacement(50, 10, 2, 3, -2), 68u);
    EXPECT_EQ(ScoreDisplacement(50, 10, 2, -3, 2), 68u);
    EXPECT_EQ(ScoreDisplacement(50, 10, 2, 0, 0), 50u);
    // Full-size maps: T * n passes 2^32 and must not wrap.
    const int32_t rows = 553, words = 43;
    const uint64_t n = 150000;
    const uint64_t want = 16ull * words * rows * n / ((16ull * words - 5) * (rows - 4));
    EXPECT_EQ(ScoreDisplacement(n, rows, words, 5, -4), want);
    EXPECT_GT(16ull * words * rows * n, 1ull << 32);
    EXPECT_LT(ScoreDisplacement(n - 1000, rows, words, 0, 0),
              ScoreDisplacement(n, rows, words, 0, 0));
    // No overlap: nothing to divide by.
    EXPECT_EQ(ScoreDisplacement(5, 10, 2, 32, 0), 0u);
    EXPECT_EQ(ScoreDisplacement(5, 10, 2, 0, -10), 0u);
    EXPECT_EQ(ScoreDisplacement(5, 10, 0, 0, 0), 0u);
}

TEST(WriteMosaicHeaderStub, WritesNothing) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteMosaicHeaderStub(file, nullptr, 400, 200), 1);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

TEST(MatchBitmapsExhaustive, EqualsThePixelScorerOnShiftedRandomMaps) {
    std::mt19937 rng(11);
    struct Case {
        int32_t rows, cols, sx, sy, xmin, xmax, ymin, ymax;
        double noise;
    };
    const Case cases[] = {
        {10, 32, 3, -2, -5, 5, -4, 4, 0.0},    {24, 37, -4, 1, -6, 6, -3, 3, 0.05},
        {30, 100, 17, 3, -20, 20, -5, 5, 0.1}, {18, 64, -1, -6, -8, 8, -8, 8, 0.1},
        {20, 80, 6, 2, 2, 9, 0, 4, 0.02},      {20, 80, -6, -2, -9, -1, -4, 0, 0.02},
        {16, 48, 0, 0, -3, 0, -2, 2, 0.2},     {40, 130, 9, -7, -12, 12, -9, 9, 0.15},
        {12, 20, 1, 1, -30, 30, -20, 20, 0.0}, // reaches beyond the map on both axes
    };
    for (const Case& c : cases) {
        Map prev(c.rows, c.cols), cur(c.rows, c.cols);
        FillRandom(prev, rng, 0.2);
        FillShifted(prev, cur, c.sx, c.sy, rng, c.noise);
        prev.Pack();
        cur.Pack();
        const Found want =
            NaiveSearch(prev, cur, c.xmin, c.xmax, c.ymin, c.ymax, {kUntouched, kUntouched, 0});
        const SearchResult got = Exhaustive(prev, cur, c.xmin, c.xmax, c.ymin, c.ymax);
        SCOPED_TRACE(testing::Message()
                     << c.rows << "x" << c.cols << " shift " << c.sx << "," << c.sy);
        EXPECT_EQ(got.ok, 1);
        EXPECT_EQ(got.dx, want.dx);
        EXPECT_EQ(got.dy, want.dy);
        if (c.noise <= 0.05 && c.cols % 16 == 0) {
            EXPECT_EQ(got.dx, c.sx);
            EXPECT_EQ(got.dy, c.sy);
        }
    }
}

TEST(MatchBitmapsExhaustive, FullSizeMapsFindTheirShift) {
    std::mt19937 rng(5);
    Map prev(553, 691), cur(553, 691);
    FillRandom(prev, rng, 0.2);
    FillShifted(prev, cur, -2, 3, rng, 0.3);
    prev.Pack();
    cur.Pack();
    const Found want = NaiveSearch(prev, cur, -3, 3, 1, 4, {kUntouched, kUntouched, 0});
    const SearchResult got = Exhaustive(prev, cur, -3, 3, 1, 4);
    EXPECT_EQ(got.dx, want.dx);
    EXPECT_EQ(got.dy, want.dy);
    EXPECT_EQ(got.dx, -2);
    EXPECT_EQ(got.dy, 3);
}

TEST(MatchBitmapsExhaustive, TiesGoToTheFirstCandidateVisited) {
    // One previous pixel, two current copies: both candidates coincide once and score 1.
    Map prev(10, 64), cur(10, 64);
    prev.At(30, 5) = 255;
    cur.At(27, 5) = 255; // dx = -3
    cur.At(32, 5) = 255; // dx = 2
    prev.Pack();
    cur.Pack();
    const SearchResult cols = Exhaustive(prev, cur, -5, 5, -2, 2);
    EXPECT_EQ(cols.dx, -3); // the non-positive side is walked first
    EXPECT_EQ(cols.dy, 0);
    const SearchResult positive = Exhaustive(prev, cur, 1, 5, 0, 0);
    EXPECT_EQ(positive.dx, 2);

    Map prev2(10, 64), cur2(10, 64);
    prev2.At(30, 5) = 255;
    cur2.At(30, 4) = 255; // dy = -1
    cur2.At(30, 9) = 255; // dy = 4
    prev2.Pack();
    cur2.Pack();
    ASSERT_EQ(ScoreDisplacement(1, 10, 4, 0, -1), ScoreDisplacement(1, 10, 4, 0, 4));
    const SearchResult rows = Exhaustive(prev2, cur2, -2, 2, -5, 5);
    EXPECT_EQ(rows.dx, 0);
    EXPECT_EQ(rows.dy, -1);
}

TEST(MatchBitmapsExhaustive, NothingToFindLeavesTheOutputs) {
    Map prev(10, 32), cur(10, 32);
    prev.Pack();
    cur.Pack();
    SearchResult r = Exhaustive(prev, cur, -5, 5, -3, 3);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.dx, kUntouched);
    EXPECT_EQ(r.dy, kUntouched);

    Map a(10, 32), b(10, 32);
    std::mt19937 rng(3);
    FillRandom(a, rng, 0.5);
    FillRandom(b, rng, 0.5);
    a.Pack();
    b.Pack();
    for (const auto& w : {std::array{3, 2, -1, 1}, std::array{-1, 1, 4, -4}}) {
        r = Exhaustive(a, b, w[0], w[1], w[2], w[3]);
        EXPECT_EQ(r.ok, 1);
        EXPECT_EQ(r.dx, kUntouched);
        EXPECT_EQ(r.dy, kUntouched);
    }
    // Entirely outside the map: no pixel is shared.
    r = Exhaustive(a, b, 40, 60, 0, 0);
    EXPECT_EQ(r.dx, kUntouched);
}

TEST(MatchBitmapsExhaustive, PartialLastWordNeverTakesPart) {
    // 20 columns: W = 1; the only coinciding pixels lie in columns 16..19.
    Map prev(8, 20), cur(8, 20);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 16; x < 20; ++x) {
            prev.At(x, y) = 255;
            cur.At(x, y) = 255;
        }
    }
    prev.Pack();
    cur.Pack();
    EXPECT_EQ(cur.counts[0], 4);
    const SearchResult r = Exhaustive(prev, cur, -3, 3, -2, 2);
    EXPECT_EQ(r.dx, kUntouched);
    EXPECT_EQ(r.dy, kUntouched);
}

TEST(MatchBitmapsExhaustive, NarrowMapsWithoutWholeWordsAreSafe) {
    std::mt19937 rng(9);
    Map prev(6, 8), cur(6, 8);
    FillRandom(prev, rng, 0.5);
    FillRandom(cur, rng, 0.5);
    prev.Pack();
    cur.Pack();
    ASSERT_EQ(cur.words, 0);
    SearchResult r = Exhaustive(prev, cur, -4, 4, -3, 3);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.dx, kUntouched);
    r = Centred(prev, cur, -4, 4, -3, 3);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.dx, 0);
    EXPECT_EQ(r.dy, 0);
}

TEST(MatchBitmapsCentred, FindsTheExhaustiveBestScore) {
    std::mt19937 rng(21);
    for (int trial = 0; trial < 40; ++trial) {
        const int32_t rows = 8 + static_cast<int32_t>(rng() % 30);
        const int32_t cols = 16 + static_cast<int32_t>(rng() % 90);
        const int32_t sx = static_cast<int32_t>(rng() % 15) - 7;
        const int32_t sy = static_cast<int32_t>(rng() % 9) - 4;
        Map prev(rows, cols), cur(rows, cols);
        FillRandom(prev, rng, 0.05 + 0.05 * (trial % 6));
        FillShifted(prev, cur, sx, sy, rng, 0.1 * (trial % 4));
        prev.Pack();
        cur.Pack();
        const int32_t xmin = -8 - trial % 3, xmax = 6 + trial % 4;
        const int32_t ymin = -5, ymax = 3 + trial % 3;
        const Found want = NaiveSearch(prev, cur, xmin, xmax, ymin, ymax, {0, 0, 0});
        const SearchResult got = Centred(prev, cur, xmin, xmax, ymin, ymax);
        const SearchResult exhaustive = Exhaustive(prev, cur, xmin, xmax, ymin, ymax);
        SCOPED_TRACE(trial);
        ASSERT_EQ(got.ok, 1);
        const int32_t cx = (xmin + xmax) / 2, cy = (ymin + ymax) / 2;
        const uint32_t centreScore = ScoreByDefinition(prev, cur, cx, cy);
        // The reported candidate carries the best score of the window, never a partial count.
        EXPECT_EQ(ScoreByDefinition(prev, cur, got.dx, got.dy), want.score);
        if (centreScore < want.score) {
            EXPECT_EQ(got.dx, exhaustive.dx);
            EXPECT_EQ(got.dy, exhaustive.dy);
        } else {
            EXPECT_EQ(got.dx, cx);
            EXPECT_EQ(got.dy, cy);
        }
    }
}

TEST(MatchBitmapsCentred, EmptyMapsReportTheCentre) {
    Map prev(10, 32), cur(10, 32);
    prev.Pack();
    cur.Pack();
    SearchResult r = Centred(prev, cur, -7, 4, -3, 6);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.dx, -1); // -3 / 2 truncates toward zero
    EXPECT_EQ(r.dy, 1);
    r = Centred(prev, cur, 5, 2, 0, 0); // no candidate: still the centre
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.dx, 3);
    EXPECT_EQ(r.dy, 0);
}

TEST(MatchBitmapsExhaustive, TheWidestWindowIsSearchedWhole) {
    // Half the map either way on a full-size map, the widest window the tracker can ask for:
    // every candidate takes part.
    std::mt19937 rng(17);
    Map prev(552, 692), cur(552, 692);
    FillRandom(prev, rng, 0.03);
    FillShifted(prev, cur, 6, -4, rng, 0.01);
    prev.Pack();
    cur.Pack();
    const SearchResult wide = Exhaustive(prev, cur, -344, 344, -276, 276);
    EXPECT_EQ(wide.ok, 1);
    EXPECT_EQ(wide.dx, 6);
    EXPECT_EQ(wide.dy, -4);

    // A corner of the map copied at (300, 250) scores higher than the noisy true shift, far
    // from the window's centre: the whole window is searched, so the corner wins.
    Map corner(552, 692);
    FillShifted(prev, corner, 6, -4, rng, 0.3);
    for (int32_t y = 250; y < 552; ++y) {
        for (int32_t x = 300; x < 692; ++x) {
            corner.At(x, y) = prev.Get(x - 300, y - 250);
        }
    }
    corner.Pack();
    ASSERT_GT(ScoreByDefinition(prev, corner, 300, 250), ScoreByDefinition(prev, corner, 6, -4));
    const SearchResult whole = Exhaustive(prev, corner, -344, 344, -276, 276);
    EXPECT_EQ(whole.dx, 300);
    EXPECT_EQ(whole.dy, 250);
    const SearchResult centred = Centred(prev, corner, -344, 344, -276, 276);
    EXPECT_EQ(centred.dx, 300);
    EXPECT_EQ(centred.dy, 250);
    // A window that leaves the corner out finds the true shift.
    const SearchResult near = Exhaustive(prev, corner, -20, 20, -20, 20);
    EXPECT_EQ(near.dx, 6);
    EXPECT_EQ(near.dy, -4);
    // An off-centre window.
    Map far(552, 692);
    FillShifted(prev, far, 200, 2, rng, 0.0);
    far.Pack();
    const SearchResult shifted = Exhaustive(prev, far, 0, 400, -276, 276);
    EXPECT_EQ(shifted.dx, 200);
    EXPECT_EQ(shifted.dy, 2);
}
