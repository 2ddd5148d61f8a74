// Gauss-Jordan inversion and Cholesky factors against the matrices they came from: hand cases,
// random well-conditioned and positive-definite systems, and the Hilbert inverse.
#include "numeric/elimination.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using numeric_test::FatalLines;
using numeric_test::Grid;

TEST(GaussJordan, HandCasesPivotSwapAndLeaveRightHandSidesAlone) {
    struct Case {
        Grid<float> a;
        int m;
        Grid<float> inverse;
        std::vector<float> solution; // b[1..2][1] afterwards
    };
    const Case cases[] = {
        // The identity: no exchange, b unchanged.
        {{2, 2, {1, 0, 0, 1}}, 1, {2, 2, {1, 0, 0, 1}}, {3, -4}},
        // The last maximal element is the pivot; the exchange matrix is its own inverse.
        {{2, 2, {0, 1, 1, 0}}, 1, {2, 2, {0, 1, 1, 0}}, {-4, 3}},
        // m = 0 inverts a and reads and writes no column of b.
        {{2, 2, {4, 7, 2, 6}}, 0, {2, 2, {0.6, -0.7, -0.2, 0.4}}, {3, -4}},
    };
    for (Case c : cases) {
        Grid<float> b(2, 1, {3, -4});
        numeric::GAUSSJ(c.a.get(), 2, b.get(), c.m);
        for (size_t k = 0; k < c.a.cells.size(); ++k) {
            EXPECT_FLOAT_EQ(c.a.cells[k], c.inverse.cells[k]) << c.inverse[1][2] << " at " << k;
        }
        EXPECT_EQ(b[1][1], c.solution[0]) << c.inverse[1][2];
        EXPECT_EQ(b[2][1], c.solution[1]) << c.inverse[1][2];
    }
}

TEST(GaussJordan, InvertsAndSolvesRandomWellConditionedSystems) {
    // With the identity as right-hand sides, both a and b become the inverse.
    std::mt19937 random(123);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + trial % 12;
        const Grid<float> original = numeric_test::WellConditioned<float>(n, random);
        Grid<float> a(original);
        Grid<float> b(n, n);
        for (int i = 1; i <= n; ++i) {
            b[i][i] = 1.0f;
        }
        numeric::GAUSSJ(a.get(), n, b.get(), n);
        double worst = 0.0;
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                double byA = i == j ? -1.0 : 0.0;
                double byB = byA;
                for (int k = 1; k <= n; ++k) {
                    byA += double{original[i][k]} * a[k][j];
                    byB += double{original[i][k]} * b[k][j];
                }
                worst = std::max({worst, std::fabs(byA), std::fabs(byB)});
            }
        }
        EXPECT_LT(worst, 1e-4) << n << ", " << trial;
    }
}

TEST(GaussJordan, InvertsTheHilbertMatrix) {
    Grid<float> a(numeric_test::kHilbert);
    Grid<float> b(3, 1);
    numeric::GAUSSJ(a.get(), 3, b.get(), 0);
    for (size_t k = 0; k < a.cells.size(); ++k) {
        EXPECT_NEAR(a.cells[k], numeric_test::kHilbertInverse.cells[k], 1e-3) << k;
    }
}

TEST(GaussJordanDeathTest, ZeroPivotsAndPivotsNotFoundAreFatal) {
    struct Case {
        Grid<float> a;
        const char* message;
    };
    const Case cases[] = {
        // The first step pivots on a[1][2] and exchanges the rows; the second finds only zeros.
        {{2, 2, {1, 2, 0, 0}}, "GAUSSJ: Singular Matrix-2"},
        // The first step pivots on a[2][2], leaving a[1][1] = NaN - 1 as the only candidate of
        // the second, which no comparison selects.
        {{2, 2, {NAN, 1, 1, 1}}, "GAUSSJ: Singular Matrix-1"},
    };
    for (Case c : cases) {
        Grid<float> b(2, 1);
        EXPECT_EXIT(numeric::GAUSSJ(c.a.get(), 2, b.get(), 0), testing::ExitedWithCode(1),
                    FatalLines(c.message));
    }
}

template <class T> class CholeskyOf : public testing::Test {};
using ElementTypes = testing::Types<float, double>;
TYPED_TEST_SUITE(CholeskyOf, ElementTypes);

TYPED_TEST(CholeskyOf, RandomPositiveDefiniteMatricesFactorAndSolve) {
    using T = TypeParam;
    const double tolerance = std::is_same_v<T, float> ? 1e-5 : 1e-13;
    std::mt19937 random(1123);
    for (int trial = 0; trial < 50; ++trial) {
        const int n = 1 + trial % 10;
        // Diagonally dominant with a positive diagonal: positive definite.
        const Grid<T> original = numeric_test::RandomSymmetric<T>(n, random, n + 1.0);
        Grid<T> a(original);
        std::vector<T> p(n + 1);
        numeric::choldc(a.get(), n, p.data());
        // L L^T = A, and the diagonal and upper triangle are as they were.
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                double sum = 0.0;
                for (int k = 1; k <= std::min(i, j); ++k) {
                    sum += (k == i ? p[i] : a[i][k]) * double{k == j ? p[j] : a[j][k]};
                }
                EXPECT_NEAR(sum, original[i][j], tolerance * n) << n << ": " << i << ", " << j;
                if (j >= i) {
                    EXPECT_EQ(a[i][j], original[i][j]);
                }
            }
        }
        // Into a vector of its own, and in place.
        std::vector<T> b(n + 1);
        for (int i = 1; i <= n; ++i) {
            b[i] = static_cast<T>(numeric_test::Uniform(random));
        }
        std::vector<T> x(n + 1);
        std::vector<T> bx(b);
        numeric::cholesky_solve(a.get(), n, p.data(), b.data(), x.data());
        numeric::cholesky_solve(a.get(), n, p.data(), bx.data(), bx.data());
        EXPECT_LT(numeric_test::Residual(original, x.data(), b.data()), tolerance * n) << n;
        EXPECT_EQ(bx, x);
    }
}

TEST(CholeskyDeathTest, AMatrixThatIsNotPositiveDefiniteIsFatal) {
    // Semidefinite (float): the second pivot's sum is exactly 0. Indefinite (double): it is -3.
    Grid<float> semidefinite(2, 2, {1, 1, 1, 1});
    std::vector<float> p(3);
    EXPECT_EXIT(numeric::choldc(semidefinite.get(), 2, p.data()), testing::ExitedWithCode(1),
                FatalLines("choldc failed"));
    Grid<double> indefinite(2, 2, {1, 2, 2, 1});
    std::vector<double> q(3);
    EXPECT_EXIT(numeric::choldc(indefinite.get(), 2, q.data()), testing::ExitedWithCode(1),
                FatalLines("choldc failed"));
}
