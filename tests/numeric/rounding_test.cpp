// Rounding to the nearest whole number, the median and the heap sort behind it.
#include "numeric/rounding.h"
#include "numeric/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using numeric::heap_sort;
using numeric::median_by_sort;
using numeric::round_nearest;

namespace {

// A one-based vector: element 0 is a guard that no routine may touch.
std::vector<float> OneBased(std::initializer_list<float> values) {
    std::vector<float> v{-12345.0f};
    v.insert(v.end(), values);
    return v;
}

} // namespace

TEST(RoundNearest, HalvesGoDownAndEverythingElseToTheNearest) {
    EXPECT_EQ(round_nearest(2.5), 2.0);
    EXPECT_EQ(round_nearest(-2.5), -3.0);
    EXPECT_EQ(round_nearest(0.5), 0.0);
    EXPECT_EQ(round_nearest(-0.5), -1.0);
    EXPECT_EQ(round_nearest(1.5), 1.0);
    EXPECT_EQ(round_nearest(3.5), 3.0);
    EXPECT_EQ(round_nearest(7.0), 7.0);
    EXPECT_EQ(round_nearest(2.50001), 3.0);
    EXPECT_EQ(round_nearest(2.4999), 2.0);
    EXPECT_EQ(round_nearest(-2.4999), -2.0);
    EXPECT_EQ(round_nearest(-2.5001), -3.0);
    const double negZero = round_nearest(-0.4);
    EXPECT_EQ(negZero, 0.0);
    EXPECT_TRUE(std::signbit(negZero));
    EXPECT_TRUE(std::isnan(round_nearest(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(round_nearest(-std::numeric_limits<double>::infinity()),
              -std::numeric_limits<double>::infinity());
}

TEST(HeapSort, SortsAscendingInPlaceWithoutTouchingOutsideTheRange) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (int n : {0, 1, 2, 3, 4, 5, 16, 17, 100, 1001}) {
        std::vector<float> v(static_cast<size_t>(n) + 2);
        for (float& x : v) {
            x = std::round(value(rng)); // whole numbers give many ties
        }
        const float guardLow = v[0];
        const float guardHigh = v[n + 1];
        std::vector<float> expected(v.begin() + 1, v.begin() + 1 + n);
        std::sort(expected.begin(), expected.end());
        heap_sort(n, v.data());
        EXPECT_EQ(std::vector<float>(v.begin() + 1, v.begin() + 1 + n), expected) << "n " << n;
        EXPECT_EQ(v[0], guardLow);
        EXPECT_EQ(v[n + 1], guardHigh);
    }
    auto falling = OneBased({9, 3});
    heap_sort(2, falling.data());
    EXPECT_EQ(falling, OneBased({3, 9}));
    auto equal = OneBased({4, 4, 4, 4, 4});
    heap_sort(5, equal.data());
    EXPECT_EQ(equal, OneBased({4, 4, 4, 4, 4}));
    auto reversed = OneBased({6, 5, 4, 3, 2, 1});
    heap_sort(6, reversed.data());
    EXPECT_EQ(reversed, OneBased({1, 2, 3, 4, 5, 6}));
}

TEST(MedianBySort, OddEvenAndDegenerateCounts) {
    float med = -1.0f;
    auto odd = OneBased({3, 1, 2});
    median_by_sort(odd.data(), 3, &med);
    EXPECT_EQ(med, 2.0f);
    EXPECT_EQ(odd, OneBased({1, 2, 3}));

    auto even = OneBased({4, 1, 3, 2});
    median_by_sort(even.data(), 4, &med);
    EXPECT_EQ(med, 2.5f);
    EXPECT_EQ(even, OneBased({1, 2, 3, 4}));

    auto one = OneBased({42});
    median_by_sort(one.data(), 1, &med);
    EXPECT_EQ(med, 42.0f);

    med = 17.0f;
    auto none = OneBased({});
    median_by_sort(none.data(), 0, &med);
    EXPECT_EQ(med, 17.0f);
    median_by_sort(none.data(), -3, &med);
    EXPECT_EQ(med, 17.0f);

    auto same = OneBased({5, 5, 5, 5});
    median_by_sort(same.data(), 4, &med);
    EXPECT_EQ(med, 5.0f);

    // The two middle values are summed in double precision: no overflow to infinity.
    auto large = OneBased({3.0e38f, 3.0e38f});
    median_by_sort(large.data(), 2, &med);
    EXPECT_EQ(med, 3.0e38f);
}
