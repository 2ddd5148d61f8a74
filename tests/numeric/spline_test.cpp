// Cubic splines: the second derivatives against the continuity equations they must solve,
// exact reproduction of a cubic inside and beyond the table, and the choice of end conditions.
#include "numeric/spline.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kNatural = 1e30;

struct Spline {
    // x[1..n] from x1 on, by random gaps in [0.2, 2]; y = f(x).
    template <class F>
    Spline(int n, double x1, std::mt19937& random, F f) : x(n + 1), y(n + 1), y2(n + 1) {
        for (int i = 1; i <= n; ++i) {
            x[i] =
                static_cast<float>(i == 1 ? x1 : x[i - 1] + numeric_test::Uniform(random, 0.2, 2));
            y[i] = static_cast<float>(f(x[i]));
        }
    }
    int n() const { return static_cast<int>(x.size()) - 1; }
    void Prepare(double yp1, double ypn) {
        numeric::spline_second_derivatives(x.data(), y.data(), n(), yp1, ypn, y2.data());
    }
    float At(double at) const {
        float value = std::numeric_limits<float>::quiet_NaN();
        numeric::SPLINT(x.data(), y.data(), y2.data(), n(), at, &value);
        return value;
    }
    std::vector<float> x, y, y2;
};

double Cubic(double x) {
    return ((0.3 * x - 1.2) * x + 0.5) * x - 2.0;
}

} // namespace

TEST(CubicSpline, SecondDerivativesSolveTheContinuityEquations) {
    // First derivatives agree at every inner knot; each end is natural or has its slope.
    std::mt19937 random(127);
    const double ends[][2] = {{kNatural, kNatural}, {1.5, -0.5}, {kNatural, 2.0}, {-3.0, kNatural}};
    for (int trial = 0; trial < 16; ++trial) {
        const double yp1 = ends[trial % 4][0];
        const double ypn = ends[trial % 4][1];
        Spline s(2 + trial % 7, -3, random, [&](double) { return numeric_test::Uniform(random); });
        s.Prepare(yp1, ypn);
        const int n = s.n();
        auto h = [&](int i) { return double{s.x[i + 1]} - s.x[i]; };
        auto slope = [&](int i) { return (double{s.y[i + 1]} - s.y[i]) / h(i); };
        for (int i = 2; i < n; ++i) {
            EXPECT_NEAR(h(i - 1) * s.y2[i - 1] + 2 * (h(i - 1) + h(i)) * s.y2[i] +
                            h(i) * s.y2[i + 1],
                        6 * (slope(i) - slope(i - 1)), 1e-4)
                << n << ", knot " << i;
        }
        const double start = slope(1) - h(1) * (2.0 * s.y2[1] + s.y2[2]) / 6.0;
        const double finish = slope(n - 1) + h(n - 1) * (s.y2[n - 1] + 2.0 * s.y2[n]) / 6.0;
        EXPECT_NEAR(yp1 == kNatural ? s.y2[1] : start, yp1 == kNatural ? 0.0 : yp1, 1e-4) << n;
        EXPECT_NEAR(ypn == kNatural ? s.y2[n] : finish, ypn == kNatural ? 0.0 : ypn, 1e-4) << n;
        for (int i = 1; i <= n; ++i) { // at a knot, the tabulated ordinate
            EXPECT_NEAR(s.At(s.x[i]), s.y[i], 1e-6) << n << ", knot " << i;
        }
    }
}

TEST(CubicSpline, ClampedWithExactSlopesReproducesACubicInsideAndOutside) {
    std::mt19937 random(1127);
    Spline s(9, -2.5, random, Cubic);
    auto slope = [](double x) { return (0.9 * x - 2.4) * x + 0.5; };
    s.Prepare(slope(s.x[1]), slope(s.x[9]));
    for (double at = s.x[1] - 1.5; at <= s.x[9] + 1.5; at += 0.05) {
        EXPECT_NEAR(s.At(at), Cubic(at), 2e-4 * std::max(1.0, std::fabs(Cubic(at)))) << at;
    }
}

TEST(CubicSpline, OnlyDerivativesAboveTheLimitMakeAnEndNatural) {
    // Points of the line y = 2x with natural ends: no curvature, and the line beyond the table.
    std::mt19937 random(27);
    Spline line(3, 1, random, [](double x) { return 2 * x; });
    line.Prepare(kNatural, kNatural);
    EXPECT_EQ(line.y2, std::vector<float>(4, 0.0f));
    for (const double at : {-1.0, 1.5, 2.5, 9.0}) {
        EXPECT_NEAR(line.At(at), 2 * at, 1e-5) << at;
    }
    // 9.9e29 itself and NaN are slopes, not the natural end.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double end : {1e30, std::numeric_limits<double>::infinity(), 9.9e29, nan, 5.0}) {
        line.Prepare(end, kNatural);
        EXPECT_EQ(line.y2[1] == 0.0f, end > 9.9e29) << end;
        line.Prepare(kNatural, end);
        EXPECT_EQ(line.y2[3] == 0.0f, end > 9.9e29) << end;
    }
}

TEST(CubicSplineDeathTest, EqualAbscissasAroundThePointOrFewerThanTwoPointsAreFatal) {
    // x = 2 equals an entry, so it lands on the interval that starts there: [2, 2].
    const std::vector<float> x = {0, 1, 2, 2};
    const std::vector<float> y = {0, 1, 2, 3};
    float value = 0.0f;
    for (int n : {3, 1, 0}) {
        EXPECT_EXIT(numeric::SPLINT(x.data(), y.data(), y.data(), n, 2.0, &value),
                    testing::ExitedWithCode(1),
                    numeric_test::FatalLines("Bad XA input to routine SPLINT"))
            << n;
    }
    std::vector<float> y2(2);
    for (int n : {1, 0, -3}) {
        EXPECT_EXIT(
            numeric::spline_second_derivatives(x.data(), y.data(), n, 0.0, 0.0, y2.data()),
            testing::ExitedWithCode(1),
            numeric_test::FatalLines("Fewer than two points in routine spline_second_derivatives"))
            << n;
    }
}
