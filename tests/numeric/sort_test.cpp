// The sorts and the index and rank tables against std::sort on random vectors with ties,
// including the empty and the one-element vector.
#include "numeric/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

using numeric::heap_sort_paired;
using numeric::index_table;
using numeric::rank_table;
using numeric::shell_sort;
using numeric::sort_three_by_first;

namespace {

constexpr float kGuard = -777.0f;

// A one-based vector of n values from few distinct keys (so ties are common), with a guard
// before and after that no routine may touch.
std::vector<float> RandomOneBased(std::mt19937& rng, int n, int distinct) {
    std::uniform_int_distribution<int> key(0, distinct - 1);
    std::vector<float> v(static_cast<size_t>(n) + 2, kGuard);
    for (int i = 1; i <= n; ++i) {
        v[i] = static_cast<float>(key(rng)) * 0.5f - 3.0f;
    }
    return v;
}

std::vector<float> Inner(const std::vector<float>& v) {
    return std::vector<float>(v.begin() + 1, v.end() - 1);
}

std::vector<float> Sorted(std::vector<float> v) {
    std::sort(v.begin(), v.end());
    return v;
}

bool GuardsIntact(const std::vector<float>& v) {
    return v.front() == kGuard && v.back() == kGuard;
}

// Sizes around the heap's and the Shell increments' turning points, and the degenerate ones.
const int kSizes[] = {0, 1, 2, 3, 4, 7, 8, 9, 16, 31, 100, 1023};

} // namespace

TEST(ShellSort, AgreesWithStdSort) {
    std::mt19937 rng(3);
    for (int n : kSizes) {
        for (int distinct : {1, 3, 1000}) {
            std::vector<float> v = RandomOneBased(rng, n, distinct);
            const std::vector<float> expected = Sorted(Inner(v));
            shell_sort(n, v.data());
            EXPECT_EQ(Inner(v), expected) << "n " << n << " distinct " << distinct;
            EXPECT_TRUE(GuardsIntact(v));
        }
    }
}

TEST(HeapSortPaired, SortsTheKeysAndCarriesEachCompanionAlong) {
    std::mt19937 rng(5);
    for (int n : kSizes) {
        std::vector<float> keys = RandomOneBased(rng, n, 4);
        std::vector<float> second(keys.size(), kGuard);
        std::vector<std::pair<float, float>> pairs;
        for (int i = 1; i <= n; ++i) {
            second[i] = static_cast<float>(i);
            pairs.emplace_back(keys[i], second[i]);
        }
        heap_sort_paired(n, keys.data(), second.data());
        EXPECT_EQ(Inner(keys), Sorted(Inner(keys)));
        std::vector<std::pair<float, float>> after;
        for (int i = 1; i <= n; ++i) {
            after.emplace_back(keys[i], second[i]);
        }
        std::sort(pairs.begin(), pairs.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, pairs) << n;
        EXPECT_TRUE(GuardsIntact(keys) && GuardsIntact(second));
    }
}

TEST(HeapSortPaired, EqualKeysMoveAsTheStepsSay) {
    // Keys 0, 1, 1, 1 traced by hand: of equal children the left one moves up, and a key sinks
    // only past a larger child, so the companions come out 1, 3, 4, 2 (the right child taken
    // gives 1, 2, 4, 3; sinking past an equal child 1, 3, 2, 4). The index table and the
    // three-way sort make the same moves.
    const std::vector<float> keys = {kGuard, 0, 1, 1, 1, kGuard};
    const std::vector<float> order = {kGuard, 1, 3, 4, 2, kGuard};
    std::vector<int32_t> index(6, -1);
    index_table(4, keys.data(), index.data());
    EXPECT_EQ(index, (std::vector<int32_t>{-1, 1, 3, 4, 2, -1}));
    std::vector<float> keysToo = keys, second = {kGuard, 1, 2, 3, 4, kGuard}, third = second;
    sort_three_by_first(4, keysToo.data(), second.data(), third.data());
    EXPECT_EQ(third, order);
    keysToo = keys;
    second = {kGuard, 1, 2, 3, 4, kGuard};
    heap_sort_paired(4, keysToo.data(), second.data());
    EXPECT_EQ(second, order);
}

TEST(SortThreeByFirst, PermutesAllThreeAlike) {
    std::mt19937 rng(7);
    for (int n : kSizes) {
        std::vector<float> keys = RandomOneBased(rng, n, 5);
        std::vector<float> second(keys.size(), kGuard);
        std::vector<float> third(keys.size(), kGuard);
        std::vector<std::tuple<float, float, float>> triples;
        for (int i = 1; i <= n; ++i) {
            second[i] = static_cast<float>(i);
            third[i] = static_cast<float>(-2 * i);
            triples.emplace_back(keys[i], second[i], third[i]);
        }
        sort_three_by_first(n, keys.data(), second.data(), third.data());
        EXPECT_EQ(Inner(keys), Sorted(Inner(keys)));
        std::vector<std::tuple<float, float, float>> after;
        for (int i = 1; i <= n; ++i) {
            after.emplace_back(keys[i], second[i], third[i]);
            EXPECT_EQ(third[i], -2.0f * second[i]);
        }
        std::sort(triples.begin(), triples.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, triples) << n;
        EXPECT_TRUE(GuardsIntact(keys) && GuardsIntact(second) && GuardsIntact(third));
    }
}

TEST(IndexAndRankTables, OrderByReferenceWithoutMovingTheKeys) {
    std::mt19937 rng(9);
    for (int n : kSizes) {
        std::vector<float> keys = RandomOneBased(rng, n, 6);
        const std::vector<float> before = keys;
        std::vector<int32_t> index(static_cast<size_t>(n) + 2, -1);
        std::vector<int32_t> rank(static_cast<size_t>(n) + 2, -1);
        index_table(n, keys.data(), index.data());
        rank_table(n, index.data(), rank.data());
        EXPECT_EQ(keys, before) << n;

        // index is a permutation of 1..n that reads the keys in std::sort's order.
        std::vector<int32_t> perm(index.begin() + 1, index.end() - 1);
        std::sort(perm.begin(), perm.end());
        for (int j = 1; j <= n; ++j) {
            ASSERT_EQ(perm[j - 1], j) << n;
        }
        std::vector<float> byIndex;
        for (int j = 1; j <= n; ++j) {
            byIndex.push_back(keys[index[j]]);
        }
        EXPECT_EQ(byIndex, Sorted(Inner(keys))) << n;

        // rank is index's inverse: each element's place in sorted order.
        for (int i = 1; i <= n; ++i) {
            ASSERT_EQ(index[rank[i]], i) << n;
            ASSERT_EQ(byIndex[rank[i] - 1], keys[i]);
        }
        EXPECT_EQ(index.front(), -1);
        EXPECT_EQ(index.back(), -1);
        EXPECT_EQ(rank.front(), -1);
        EXPECT_EQ(rank.back(), -1);
    }
}
