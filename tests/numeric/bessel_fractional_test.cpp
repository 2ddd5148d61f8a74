// Chebyshev sums against the plain definition, the reciprocal gamma terms against the standard
// library's gamma function, and I, K and their derivatives of any order against its
// cylindrical Bessel functions.
#include "numeric/bessel_fractional.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using numeric_test::FatalLines;

namespace {

struct Bessik {
    float ri, rk, rip, rkp;
};

Bessik Evaluate(float x, float nu) {
    Bessik r{};
    numeric::bessik(x, nu, &r.ri, &r.rk, &r.rip, &r.rkp);
    return r;
}

double RelativeError(double value, double truth) {
    return std::fabs(value - truth) / std::fabs(truth);
}

bool InFloatRange(double v) {
    return std::fabs(v) > FLT_MIN && std::fabs(v) < FLT_MAX;
}

} // namespace

TEST(Chebev, IsTheSeriesOfChebyshevPolynomialsWithHalfTheFirstCoefficient) {
    std::mt19937 random(20);
    std::uniform_real_distribution<float> coefficient(-2.0f, 2.0f);
    const float intervals[][2] = {{-1.0f, 1.0f}, {0.0f, 3.0f}, {-5.0f, -2.0f}};
    for (int m = 1; m <= 8; ++m) {
        std::vector<float> c(m);
        double scale = 0.0;
        for (float& ck : c) {
            ck = coefficient(random);
            scale += std::fabs(ck);
        }
        for (const auto& ab : intervals) {
            for (int step = 0; step <= 20; ++step) { // both ends included
                const float x = ab[0] + (ab[1] - ab[0]) * step / 20.0f;
                const double y = std::clamp((2.0 * x - ab[0] - ab[1]) / (ab[1] - ab[0]), -1.0, 1.0);
                double truth = 0.5 * c[0];
                for (int k = 1; k < m; ++k) {
                    truth += c[k] * std::cos(k * std::acos(y));
                }
                EXPECT_NEAR(numeric::chebev(ab[0], ab[1], c.data(), m, x), truth, 4e-6 * scale)
                    << "m " << m << " on [" << ab[0] << ", " << ab[1] << "] at " << x;
            }
        }
    }
}

TEST(ReciprocalGammaTerms, GiveTheReciprocalGammasNearOne) {
    double worst = 0.0;
    for (int i = -50; i <= 50; ++i) {
        const double x = i / 100.0; // the ends +-0.5 included
        double gam1 = 0, gam2 = 0, gampl = 0, gammi = 0;
        numeric::reciprocal_gamma_terms(x, &gam1, &gam2, &gampl, &gammi);
        const double plus = 1.0 / std::tgamma(1.0 + x);
        const double minus = 1.0 / std::tgamma(1.0 - x);
        const double difference = i == 0 ? -0.57721566490153286 : (minus - plus) / (2.0 * x);
        worst =
            std::max({worst, RelativeError(gampl, plus), RelativeError(gammi, minus),
                      RelativeError(gam2, 0.5 * (plus + minus)), RelativeError(gam1, difference)});
    }
    EXPECT_LT(worst, 1.5e-7);
}

TEST(Bessik, MatchesTheStandardLibraryWithDerivativesByTheRecurrences) {
    // I' = I_nu+1 + (nu/x) I_nu and K' = -K_nu+1 + (nu/x) K_nu. Only the five single-precision
    // Chebyshev terms of the gamma function limit K's series: its error grows towards x = 2
    // (1.25e-6 at nu = 0.5), where the continued fraction takes over.
    const float orders[] = {0.0f, 0.3f, 0.5f, 1.0f, 1.5f, 2.7f, 7.25f, 20.0f, 45.5f};
    std::vector<std::pair<float, float>> cases = {
        {1.999f, 0.5f}, {2.0f, 0.5f}, {50.0f, 120.0f}, {80.0f, 150.0f}};
    for (double x = 0.01; x <= 100.0; x *= 1.05) {
        for (float nu : orders) {
            cases.emplace_back(static_cast<float>(x), nu);
        }
    }
    for (const auto& [xf, nuf] : cases) {
        const Bessik r = Evaluate(xf, nuf);
        const double x = xf; // the double forms of the standard library's functions
        const double nu = nuf;
        const double i = std::cyl_bessel_i(nu, x);
        const double k = std::cyl_bessel_k(nu, x);
        const double ip = std::cyl_bessel_i(nu + 1.0, x) + nu / x * i;
        const double kp = -std::cyl_bessel_k(nu + 1.0, x) + nu / x * k;
        const double kTolerance = x < 2.0 ? 1.3e-6 : 1e-6;
        if (InFloatRange(i) && InFloatRange(ip)) {
            EXPECT_LT(RelativeError(r.ri, i), 1e-6) << x << ", " << nu;
            EXPECT_LT(RelativeError(r.rip, ip), 1e-6) << x << ", " << nu;
        }
        if (InFloatRange(k) && InFloatRange(kp)) {
            EXPECT_LT(RelativeError(r.rk, k), kTolerance) << x << ", " << nu;
            EXPECT_LT(RelativeError(r.rkp, kp), kTolerance) << x << ", " << nu;
        }
    }
}

TEST(Bessik, HighOrdersAtSmallArgumentsGiveZeroAndInfinityNeverNaN) {
    // I and I' lie below the smallest float, K and -K' above the largest (beyond a double for
    // K_nu+1).
    const float cases[][2] = {{1.0f, 200.0f}, {0.1f, 150.0f}, {0.01f, 100.0f}, {1e-30f, 30.0f}};
    for (const auto& c : cases) {
        const Bessik r = Evaluate(c[0], c[1]);
        EXPECT_EQ(r.ri, 0.0f) << c[0] << ", " << c[1];
        EXPECT_EQ(r.rip, 0.0f) << c[0] << ", " << c[1];
        EXPECT_EQ(r.rk, std::numeric_limits<float>::infinity()) << c[0] << ", " << c[1];
        EXPECT_EQ(r.rkp, -std::numeric_limits<float>::infinity()) << c[0] << ", " << c[1];
    }
}

TEST(ChebyshevAndBesselDeathTest, ArgumentsOutsideTheirRangesEndTheProcess) {
    const float c[2] = {1.0f, 1.0f};
    EXPECT_EXIT(numeric::chebev(0.0f, 1.0f, c, 2, 1.0001f), testing::ExitedWithCode(1),
                FatalLines("x not in range in routine chebev"));
    double g1, g2, gp, gm;
    EXPECT_EXIT(numeric::reciprocal_gamma_terms(0.51, &g1, &g2, &gp, &gm),
                testing::ExitedWithCode(1), FatalLines("x not in range in routine chebev"));
    // The order must also fit the whole number of recurrence steps it is rounded to.
    const float bad[][2] = {
        {0.0f, 1.0f}, {1.0f, -0.5f}, {std::nanf(""), 1.0f}, {1.0f, std::nanf("")}, {1.0f, 3e9f}};
    for (const auto& b : bad) {
        EXPECT_EXIT(Evaluate(b[0], b[1]), testing::ExitedWithCode(1),
                    FatalLines("bad arguments in bessik"))
            << b[0] << ", " << b[1];
    }
    EXPECT_EXIT(Evaluate(1e7f, 0.0f), testing::ExitedWithCode(1),
                FatalLines("x too large in bessik; try asymptotic expansion"));
}
