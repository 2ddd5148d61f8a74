// Jacobi rotations on random symmetric matrices (A v = λ v, V^T V = I, what is left of a), the
// tridiagonal matrix with known eigenvalues and the small cases whose rotations are known.
#include "numeric/jacobi.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using numeric_test::Grid;

namespace {

template <class T> struct Eigen {
    explicit Eigen(const Grid<T>& matrix) : a(matrix), d(a.rows + 1), v(a.rows, a.rows) {
        numeric::JACOBI(a.get(), a.rows, d.data(), v.get(), &rotations);
    }
    Grid<T> a;
    std::vector<T> d;
    Grid<T> v;
    int32_t rotations = -1;
};

template <class T> class JacobiOf : public testing::Test {};
using ElementTypes = testing::Types<float, double>;
TYPED_TEST_SUITE(JacobiOf, ElementTypes);

} // namespace

TYPED_TEST(JacobiOf, RandomSymmetricMatricesGiveOrthonormalEigenvectors) {
    using T = TypeParam;
    const double tolerance = std::is_same_v<T, float> ? 2e-5 : 1e-12;
    std::mt19937 random(122);
    for (int trial = 0; trial < 50; ++trial) {
        const int n = 2 + trial % 9;
        const Grid<T> original = numeric_test::RandomSymmetric<T>(n, random, 0.0);
        Grid<T> given(original); // the lower triangle marked, as it may not be read
        for (int i = 2; i <= n; ++i) {
            for (int j = 1; j < i; ++j) {
                given[i][j] = static_cast<T>(100 * i + j);
            }
        }
        const Eigen<T> e(given);
        EXPECT_GT(e.rotations, 0);
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                double av = 0.0;
                double vv = 0.0;
                for (int k = 1; k <= n; ++k) {
                    av += double{original[i][k]} * e.v[k][j];
                    vv += double{e.v[k][i]} * e.v[k][j];
                }
                EXPECT_NEAR(av, e.d[j] * double{e.v[i][j]}, tolerance * n) << n << ": " << i << j;
                EXPECT_NEAR(vv, i == j ? 1.0 : 0.0, tolerance * n) << n << ": " << i << j;
                // Upper triangle zero; diagonal and lower triangle untouched.
                EXPECT_EQ(e.a[i][j], j > i ? T{0} : given[i][j]) << n << ": " << i << j;
            }
        }
    }
}

TYPED_TEST(JacobiOf, TridiagonalMatrixHasItsKnownEigenvalues) {
    using T = TypeParam;
    constexpr int n = 12;
    Grid<T> a(n, n);
    for (int i = 1; i <= n; ++i) {
        a[i][i] = 2;
        if (i < n) {
            a[i][i + 1] = a[i + 1][i] = -1;
        }
    }
    const double tolerance = std::is_same_v<T, float> ? 1e-5 : 1e-13;
    const Eigen<T> e(a);
    std::vector<T> found(e.d.begin() + 1, e.d.end());
    std::sort(found.begin(), found.end());
    for (int k = 1; k <= n; ++k) {
        EXPECT_NEAR(found[k - 1], 2.0 - 2.0 * std::cos(k * std::numbers::pi / (n + 1)), tolerance)
            << k;
    }
}

TYPED_TEST(JacobiOf, SmallCasesTakeTheirKnownRotations) {
    using T = TypeParam;
    const double r = std::numbers::sqrt2 / 2;
    struct Case {
        Grid<T> a;
        int rotations;
        std::vector<double> values;  // d[1..n]
        std::vector<double> vectors; // v row by row
    };
    const Case cases[] = {
        // Diagonal: no rotation, v the identity.
        {{3, 3, {5, 0, 0, 0, -2, 0, 0, 0, 7}}, 0, {5, -2, 7}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {{1, 1, {-3}}, 0, {-3}, {1}},
        // One rotation, eigenvalues 1 then 3; the second sweep finds the sum zero.
        {{2, 2, {2, 1, 1, 2}}, 1, {1, 3}, {r, r, -r, r}},
        // Two such blocks: one rotation each in the first sweep; the zero pairs between them
        // are left alone.
        {{4, 4, {2, 1, 0, 0, 1, 2, 0, 0, 0, 0, 5, 2, 0, 0, 2, 5}},
         2,
         {1, 3, 3, 7},
         {r, r, 0, 0, -r, r, 0, 0, 0, 0, r, r, 0, 0, -r, r}},
    };
    for (const Case& c : cases) {
        const Eigen<T> e(c.a);
        const int n = c.a.rows;
        EXPECT_EQ(e.rotations, c.rotations) << n;
        for (int i = 1; i <= n; ++i) {
            EXPECT_NEAR(e.d[i], c.values[i - 1], 1e-6) << n;
            for (int j = 1; j <= n; ++j) {
                EXPECT_NEAR(e.v[i][j], c.vectors[(i - 1) * n + j - 1], 1e-6) << n;
            }
        }
    }
}

TEST(JacobiDeathTest, AValueThatIsNotAFiniteNumberIsRefusedWhereItIsRead) {
    std::vector<numeric_test::Refusal> table;
    for (const Grid<double>& a : {Grid<double>(2, 2, {1, NAN, NAN, 2}), Grid<double>(1, 1, {NAN}),
                                  Grid<double>(3, 3, {1, 0, 0, 0, 2, -INFINITY, 0, 0, 3})}) {
        table.push_back({[a] { Eigen<double>{a}; },
                         "JACOBI: the matrix holds a value that is not a finite number"});
    }
    numeric_test::ExpectRefusals(table);
    EXPECT_EQ(Eigen<double>({2, 2, {1, 0, NAN, 2}}).d[2], 2.0) << "the lower part is not read";
}
