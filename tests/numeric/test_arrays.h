// One-based storage, random fills, the fatal message and call marks for the tests of the
// numerical routines. Index 0 of every dimension is left unused.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace numeric_test {

// m[1..rows][1..cols].
template <class T> struct Grid {
    Grid(int rows, int cols) : rows(rows), cols(cols), cells((rows + 1) * (cols + 1)) {
        for (int i = 0; i <= rows; ++i) {
            starts.push_back(cells.data() + i * (cols + 1));
        }
    }
    // Rows given one after another.
    Grid(int rows, int cols, std::initializer_list<double> values) : Grid(rows, cols) {
        auto it = values.begin();
        for (int i = 1; i <= rows; ++i) {
            for (int j = 1; j <= cols; ++j) {
                starts[i][j] = static_cast<T>(*it++);
            }
        }
    }
    Grid(const Grid& other) : Grid(other.rows, other.cols) {
        std::copy(other.cells.begin(), other.cells.end(), cells.begin());
    }
    Grid& operator=(const Grid&) = delete;

    T** get() { return starts.data(); }
    T* operator[](int i) const { return starts[i]; }

    int rows;
    int cols;
    std::vector<T> cells;
    std::vector<T*> starts;
};

inline double Uniform(std::mt19937& random, double lo = -1.0, double hi = 1.0) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
}

// Well conditioned but in need of pivoting: entries in [-1, 1], n + 1 added to the diagonal,
// then the rows shuffled.
template <class T> Grid<T> WellConditioned(int n, std::mt19937& random) {
    Grid<T> a(n, n);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            a[i][j] = static_cast<T>(Uniform(random) + (i == j ? n + 1.0 : 0.0));
        }
    }
    for (int i = n; i > 1; --i) {
        const int other = 1 + static_cast<int>(random() % i);
        std::swap_ranges(a[i] + 1, a[i] + n + 1, a[other] + 1);
    }
    return a;
}

// Symmetric, entries in [-1, 1], `shift` added to the diagonal.
template <class T> Grid<T> RandomSymmetric(int n, std::mt19937& random, double shift) {
    Grid<T> a(n, n);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= i; ++j) {
            a[i][j] = a[j][i] = static_cast<T>(Uniform(random) + (i == j ? shift : 0.0));
        }
    }
    return a;
}

inline const Grid<float>
    kHilbert(3, 3, {1, 1 / 2., 1 / 3., 1 / 2., 1 / 3., 1 / 4., 1 / 3., 1 / 4., 1 / 5.});
inline const Grid<double> kHilbertInverse(3, 3, {9, -36, 30, -36, 192, -180, 30, -180, 180});

// The largest |(a x - b)[i]|, formed in double.
template <class T> double Residual(const Grid<T>& a, const T* x, const T* b) {
    double worst = 0.0;
    for (int i = 1; i <= a.rows; ++i) {
        double sum = -double{b[i]};
        for (int j = 1; j <= a.cols; ++j) {
            sum += double{a[i][j]} * x[j];
        }
        worst = std::max(worst, std::fabs(sum));
    }
    return worst;
}

// The three lines of the fatal routine around a message free of regular-expression syntax.
inline std::string FatalLines(const std::string& text) {
    return "^Numerical routines run-time error\\.\\.\\.\n" + text +
           "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
}

// Death tests of a table of calls, each to end through the fatal routine with its message.
struct Refusal {
    std::function<void()> call;
    std::string message;
};
inline void ExpectRefusals(const std::vector<Refusal>& table) {
    for (const Refusal& r : table) {
        EXPECT_EXIT(r.call(), testing::ExitedWithCode(1), FatalLines(r.message)) << r.message;
    }
}

// For the death tests of iteration limits: a function under test counts its calls and writes
// "call N" to the error stream at two counts, the first call a routine's last round makes and
// the first one a round past its limit would make. The expected output holds the first only.
struct CallMarks {
    int64_t calls = 0;
    int64_t reached = 0;
    int64_t beyond = 0;
    void Count() {
        ++calls;
        if (calls == reached || calls == beyond) {
            std::fprintf(stderr, "call %lld\n", static_cast<long long>(calls));
        }
    }
    std::string Expected(const std::string& text) const {
        return "^call " + std::to_string(reached) + "\n" + FatalLines(text).substr(1);
    }
};
inline CallMarks g_callMarks;

} // namespace numeric_test
