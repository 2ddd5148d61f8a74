// Chebyshev sums against the plain definition, the reciprocal gamma terms against the standard
// library's gamma function, and I, K and their derivatives of any order against its
// cylindrical Bessel functions.
#include "numeric/bessel_fractional.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
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

namespace {

// I_nu, I'_nu, K_nu and K'_nu of x <= 0.1 by their power series in long double. For nu not
// whole, K_nu = pi / (2 sin(nu pi)) (I_-nu - I_nu); for nu = 0 the logarithmic series of K_0
// and K_1 = -K'_0.
struct SeriesBessik {
    long double i = 0, ip = 0, k = 0, kp = 0;
};

// I_nu and I'_nu of any real order by the series.
std::pair<long double, long double> SeriesI(long double x, long double nu) {
    long double i = 0, ip = 0;
    for (int m = 0; m < 30; ++m) {
        const long double term =
            std::pow(x / 2, 2 * m + nu) / (std::tgamma(m + 1.0L) * std::tgamma(m + nu + 1));
        i += term;
        ip += term * (2 * m + nu) / x;
    }
    return {i, ip};
}

SeriesBessik BySeries(long double x, long double nu) {
    SeriesBessik r;
    std::tie(r.i, r.ip) = SeriesI(x, nu);
    if (nu != 0) {
        const auto [iMinus, ipMinus] = SeriesI(x, -nu);
        const long double c =
            std::numbers::pi_v<long double> / (2 * std::sin(nu * std::numbers::pi_v<long double>));
        r.k = c * (iMinus - r.i);
        r.kp = c * (ipMinus - r.ip);
        return r;
    }
    // psi(m + 1) = -gamma + 1 + 1/2 + ... + 1/m.
    const long double q = x * x / 4, lnHalf = std::log(x / 2);
    long double psi = -std::numbers::egamma_v<long double>, power = 1, k1Sum = 0;
    for (int m = 0; m < 30; ++m) {
        const long double m1 = m + 1;
        r.k += psi * power / (std::tgamma(m1) * std::tgamma(m1));
        k1Sum += (2 * psi + 1 / m1) * power / (std::tgamma(m1) * std::tgamma(m1 + 1));
        psi += 1 / m1;
        power *= q;
    }
    r.k -= lnHalf * r.i;
    r.kp = -(1 / x + lnHalf * r.ip - x / 4 * k1Sum); // I_1 = I'_0
    return r;
}

// Within 1e-6 of the truth where it is a normal float; beyond the float range 0 or infinite.
void ExpectFloatOf(float value, long double truth, const std::string& what) {
    if (std::fabs(truth) > FLT_MAX) {
        EXPECT_EQ(value, truth > 0 ? HUGE_VALF : -HUGE_VALF) << what;
    } else {
        EXPECT_NEAR(value, truth, 1e-6 * std::fabs(truth) + FLT_MIN) << what;
    }
}

} // namespace

TEST(Bessik, SmallArgumentsMatchTheirPowerSeries) {
    // Orders with a fractional part in [0.5, 1) met cancellation in the Wronskian; order 0 met
    // the floor of the first continued fraction.
    for (const float nu : {0.0f, 0.3f, 0.5f, 0.6f, 1.5f, 2.5f, 7.75f}) {
        for (int e = 1; e <= 36; ++e) {
            const float x = std::pow(10.0f, -static_cast<float>(e));
            const Bessik r = Evaluate(x, nu);
            const SeriesBessik truth = BySeries(x, nu);
            const std::string at = "x 1e-" + std::to_string(e) + ", nu " + std::to_string(nu);
            ExpectFloatOf(r.ri, truth.i, "I at " + at);
            ExpectFloatOf(r.rip, truth.ip, "I' at " + at);
            ExpectFloatOf(r.rk, truth.k, "K at " + at);
            ExpectFloatOf(r.rkp, truth.kp, "K' at " + at);
        }
    }
}

TEST(Bessik, ResultsBeyondTheFloatRangeAreZeroOrInfiniteNeverNaN) {
    // High orders at small arguments: I and I' below the smallest float, K and -K' above the
    // largest (beyond a double for K_nu+1); the largest order accepted among them. Large
    // arguments: e^-x below the smallest double, I above the largest float.
    struct Case {
        float x, nu;
        float i, k; // I' comes out as I, K' as -K
    };
    const float inf = HUGE_VALF;
    const Case cases[] = {{1.0f, 200.0f, 0, inf},  {0.1f, 150.0f, 0, inf}, {0.01f, 100.0f, 0, inf},
                          {1e-30f, 30.0f, 0, inf}, {1.0f, 1e4f, 0, inf},   {1e-45f, 1e4f, 0, inf},
                          {1000.0f, 0.0f, inf, 0}, {800.0f, 3.5f, inf, 0}, {1e4f, 1e4f, inf, 0}};
    for (const Case& c : cases) {
        const Bessik r = Evaluate(c.x, c.nu);
        EXPECT_EQ(r.ri, c.i) << c.x << ", " << c.nu;
        EXPECT_EQ(r.rip, c.i) << c.x << ", " << c.nu;
        EXPECT_EQ(r.rk, c.k) << c.x << ", " << c.nu;
        EXPECT_EQ(r.rkp, -c.k) << c.x << ", " << c.nu;
    }
    // x = 1000 with e^-x beyond a double, nu = 1500 with results inside a float: I and I' by
    // their power series (in 60-digit decimal arithmetic), K and K' by Debye's expansion to
    // its third term (they satisfy the Wronskian to 3e-13).
    const Bessik r = Evaluate(1000.0f, 1500.0f);
    EXPECT_NEAR(r.ri, 388.89959418735878, 1e-6 * 388.9);
    EXPECT_NEAR(r.rip, 701.03890364202022, 1e-6 * 701.0);
    EXPECT_NEAR(r.rk, 7.131663138212704e-07, 1e-6 * 7.13e-7);
    EXPECT_NEAR(r.rkp, -1.2857886115553198e-06, 1e-6 * 1.29e-6);
}

TEST(ChebyshevAndBesselDeathTest, ArgumentsOutsideTheirRangesEndTheProcess) {
    const float c[2] = {1.0f, 1.0f};
    EXPECT_EXIT(numeric::chebev(0.0f, 1.0f, c, 2, 1.0001f), testing::ExitedWithCode(1),
                FatalLines("x not in range in routine chebev"));
    double g1, g2, gp, gm;
    EXPECT_EXIT(numeric::reciprocal_gamma_terms(0.51, &g1, &g2, &gp, &gm),
                testing::ExitedWithCode(1), FatalLines("x not in range in routine chebev"));
    // An order above 10000 would take as many recurrence steps.
    const float bad[][2] = {{0.0f, 1.0f},          {1.0f, -0.5f}, {std::nanf(""), 1.0f},
                            {1.0f, std::nanf("")}, {1.0f, 3e9f},  {1.0f, 10000.001f}};
    for (const auto& b : bad) {
        EXPECT_EXIT(Evaluate(b[0], b[1]), testing::ExitedWithCode(1),
                    FatalLines("bad arguments in bessik"))
            << b[0] << ", " << b[1];
    }
    // The first fraction takes 10000 rounds at x = 4096000 and 10001 at 4096832 (counted by
    // experiment).
    EXPECT_EQ(Evaluate(4096000.0f, 0.0f).rk, 0.0f);
    EXPECT_EXIT(Evaluate(4096832.0f, 0.0f), testing::ExitedWithCode(1),
                FatalLines("x too large in bessik; try asymptotic expansion"));
}
