// The LU decomposition against the matrix it came from, random well-conditioned systems and
// the Hilbert inverse.
#include "numeric/lu.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using numeric_test::Grid;

namespace {

struct Decomposed {
    explicit Decomposed(const Grid<float>& matrix) : lu(matrix), pivots(matrix.rows + 1) {
        numeric::LUDCMP(lu.get(), matrix.rows, pivots.data(), &parity);
    }
    std::vector<float> Solve(std::vector<float> b) {
        numeric::lu_back_substitute(lu.get(), lu.rows, pivots.data(), b.data());
        return b;
    }
    Grid<float> lu;
    std::vector<int32_t> pivots;
    float parity = 0.0f;
};

} // namespace

TEST(LuDecomposition, HandCasesGivePivotsParityAndFactors) {
    struct Case {
        Grid<float> matrix;
        std::vector<int32_t> pivots; // from index 1
        float parity;
        Grid<float> factors; // L below the diagonal, U on and above it
    };
    const Case cases[] = {
        {{3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}}, {1, 2, 3}, 1, {3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}}},
        // A zero first-column entry: the rows are swapped.
        {{2, 2, {0, 2, 1, 3}}, {2, 2}, -1, {2, 2, {1, 3, 0, 2}}},
        // Equal scores go to the later row; the zero pivot left over becomes 1e-20.
        {{2, 2, {1, 1, 1, 1}}, {2, 2}, -1, {2, 2, {1, 1, 1, 1e-20}}},
        // Scaled by its largest element, row 2 (score 1) beats row 1 (score 0.5).
        {{2, 2, {2, 4, 1, 1}}, {2, 2}, -1, {2, 2, {1, 1, 2, 2}}},
        // A swapped row takes its scale along: step 2 ties at score 1 and goes to row 3.
        {{3, 3, {0, 1, 0, 0, 1, 1, 2, 0, 0}}, {3, 3, 3}, 1, {3, 3, {2, 0, 0, 0, 1, 0, 0, 1, 1}}},
        // No score of a column of NaN passes the comparison: the row stays in place.
        {{2, 2, {NAN, 1, NAN, 2}}, {1, 2}, 1, {2, 2, {NAN, 1, NAN, NAN}}},
    };
    for (const Case& c : cases) {
        Decomposed d(c.matrix);
        EXPECT_EQ(d.parity, c.parity) << c.matrix[1][2];
        EXPECT_EQ(std::vector<int32_t>(d.pivots.begin() + 1, d.pivots.end()), c.pivots);
        for (size_t k = 0; k < d.lu.cells.size(); ++k) {
            EXPECT_TRUE(d.lu.cells[k] == c.factors.cells[k] ||
                        (std::isnan(d.lu.cells[k]) && std::isnan(c.factors.cells[k])))
                << c.matrix[1][2] << ": " << d.lu.cells[k] << " at " << k;
        }
    }
}

TEST(LuDecomposition, FactorsReassembleThePermutedMatrixAndSolve) {
    std::mt19937 random(109);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + trial % 12;
        Grid<float> a = numeric_test::WellConditioned<float>(n, random);
        // Leading zeros of b are skipped by the forward pass; an all-zero b stays zero.
        const int leadingZeros = trial % (n + 1);
        std::vector<float> b(n + 1);
        for (int i = leadingZeros + 1; i <= n; ++i) {
            b[i] = static_cast<float>(numeric_test::Uniform(random));
        }
        Decomposed d(a);
        const std::vector<float> x = d.Solve(b);
        EXPECT_LT(numeric_test::Residual(a, x.data(), b.data()), 1e-4) << n << ", " << trial;
        if (leadingZeros == n) {
            EXPECT_EQ(x, b);
        }
        // L U is a with its rows swapped as pivot_rows records.
        for (int j = 1; j <= n; ++j) {
            ASSERT_GE(d.pivots[j], j);
            ASSERT_LE(d.pivots[j], n);
            std::swap_ranges(a[j] + 1, a[j] + n + 1, a[d.pivots[j]] + 1);
        }
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                double sum = 0.0;
                for (int k = 1; k <= std::min(i, j); ++k) {
                    sum += (k == i ? 1.0 : d.lu[i][k]) * d.lu[k][j];
                }
                EXPECT_NEAR(sum, a[i][j], 1e-5 * n) << n << ": " << i << ", " << j;
            }
        }
    }
}

TEST(LuDecomposition, InvertsTheHilbertMatrix) {
    Decomposed d(numeric_test::kHilbert);
    for (int col = 1; col <= 3; ++col) {
        std::vector<float> unit(4);
        unit[col] = 1.0f;
        const std::vector<float> x = d.Solve(unit);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_NEAR(x[i], numeric_test::kHilbertInverse[i][col], 1e-3) << i << ", " << col;
        }
    }
}

TEST(LuDecompositionDeathTest, ARowOfZerosIsFatal) {
    EXPECT_EXIT(Decomposed({3, 3, {1, 2, 3, 0, 0, 0, 4, 5, 6}}), testing::ExitedWithCode(1),
                numeric_test::FatalLines("Singular matrix in routine LUDCMP"));
}
