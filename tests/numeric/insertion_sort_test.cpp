// The insertion sorts against std::stable_sort, and the table search from a guess against a
// plain bisection.
#include "numeric/insertion_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr float kGuard = -12345.0f;

int Locate(const std::vector<float>& xx, double x, int guess) {
    numeric::locate_from_guess(xx.data(), static_cast<int>(xx.size()) - 1, x, &guess);
    return guess;
}

} // namespace

TEST(InsertionSort, SortsLikeStdStableSortAndCarriesThePairAlong) {
    std::mt19937 rng(128);
    std::uniform_int_distribution<int> value(-5, 5); // many equal keys
    for (int n = 0; n <= 40; ++n) {
        std::vector<float> arr(n + 2, kGuard), brr(n + 2, kGuard);
        std::vector<std::pair<float, float>> pairs;
        for (int i = 1; i <= n; ++i) {
            arr[i] = value(rng) * 0.5f;
            brr[i] = float(i);
            pairs.emplace_back(arr[i], brr[i]);
        }
        std::vector<float> single = arr;
        numeric::insertion_sort(n, single.data());
        numeric::insertion_sort_pair(n, arr.data(), brr.data());
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](auto& a, auto& b) { return a.first < b.first; });
        for (int i = 1; i <= n; ++i) {
            EXPECT_EQ(single[i], pairs[i - 1].first) << n << ", " << i;
            EXPECT_EQ(arr[i], pairs[i - 1].first) << n << ", " << i;
            EXPECT_EQ(brr[i], pairs[i - 1].second) << n << ", " << i; // stable
        }
        for (const auto* v : {&single, &arr, &brr}) {
            EXPECT_TRUE(v->front() == kGuard && v->back() == kGuard) << n;
        }
    }
}

TEST(LocateFromGuess, TheCasesOfThePart) {
    const std::vector<float> up{kGuard, 1, 2, 3, 4, 5}, down{kGuard, 5, 4, 3, 2, 1};
    // {x, guess, result} on the ascending table; x equal to an entry depends on the guess.
    const double cases[][3] = {{3.5, 1, 3}, {0.5, 1, 0}, {9, 1, 5}, {0.5, 0, 0}, {9, 6, 5},
                               {5, 5, 5},   {3, 1, 2},   {3, 0, 2}, {3, 3, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(Locate(up, c[0], int(c[1])), int(c[2])) << "x " << c[0] << ", guess " << c[1];
    }
    EXPECT_EQ(Locate(down, 3.5, 1), 2);
    EXPECT_EQ(Locate({kGuard}, 1.0, 4), 0); // an empty table
}

TEST(LocateFromGuess, AnyGuessGivesTheBisectionsInterval) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> step(0.1f, 2.0f);
    for (int n : {1, 2, 3, 7, 64, 100}) {
        std::vector<float> up{kGuard, -10.0f};
        for (int i = 2; i <= n; ++i) {
            up.push_back(up.back() + step(rng));
        }
        std::vector<float> down{kGuard};
        down.insert(down.end(), up.rbegin(), up.rend() - 1);
        for (const auto* table : {&up, &down}) {
            const std::vector<float>& xx = *table;
            const bool ascending = xx[n] > xx[1]; // a table of one entry counts as descending
            // The bisection's answer for an x that is no entry: how many entries lie before it.
            const auto bisection = [&](double x) {
                return int(std::count_if(xx.begin() + 1, xx.end(),
                                         [&](float e) { return ascending ? e < x : e > x; }));
            };
            // Inside (between entries) and beyond both ends.
            const float low = std::min(xx[1], xx[n]), high = std::max(xx[1], xx[n]);
            std::vector<double> xs{low - 100.0, low - 1e-3, high + 1e-3, high + 1e6};
            for (int i = 1; i < n; ++i) {
                xs.push_back(0.5 * (double(xx[i]) + xx[i + 1]));
                xs.push_back(double(xx[i]) + 1e-4 * (double(xx[i + 1]) - xx[i]));
            }
            for (int guess = -1; guess <= n + 2; ++guess) {
                for (double x : xs) {
                    EXPECT_EQ(Locate(xx, x, guess), bisection(x))
                        << n << ", " << x << ", " << guess;
                }
                // At an entry, the ends included: either interval the entry bounds.
                for (int e = 1; e <= n; ++e) {
                    const int j = Locate(xx, xx[e], guess);
                    EXPECT_TRUE(j == e - 1 || j == e) << n << ", entry " << e << ", " << guess;
                }
            }
        }
    }
}
