// Gamma, factorial and binomial functions against the standard library's gamma and error
// functions and closed forms.
#include "numeric/gamma.h"
#include "numeric/vectors.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double RelativeError(double value, double truth) {
    return std::fabs(value - truth) / std::fabs(truth);
}

} // namespace

TEST(LogGamma, MatchesTheStandardLibrary) {
    // The six-term series is good to about 1.2e-10, relative once ln gamma exceeds 1.
    double worst = 0.0;
    for (double x = 0.5; x < 200.0; x *= 1.07) {
        const double truth = std::lgamma(x);
        const double error = std::fabs(numeric::log_gamma(x) - truth);
        worst = std::max(worst, error / std::max(1.0, std::fabs(truth)));
    }
    EXPECT_LT(worst, 1.5e-10);
}

TEST(Factorials, CacheAndTableGiveTheExactValues) {
    EXPECT_EQ(numeric::FACTLN(0), 0.0f);
    EXPECT_EQ(numeric::FACTLN(1), 0.0f);
    for (int n = 2; n <= 120; ++n) {
        const float first = numeric::FACTLN(n);
        EXPECT_NEAR(first, std::lgamma(n + 1.0), 1e-6 * std::lgamma(n + 1.0)) << n;
        EXPECT_EQ(numeric::FACTLN(n), first) << n; // the cached value is the computed one
    }
    EXPECT_EQ(numeric::FACTRL(5), 120.0f);
    EXPECT_EQ(numeric::FACTRL(3), 6.0f);
    EXPECT_EQ(numeric::FACTRL(12), 479001600.0f);
    EXPECT_EQ(numeric::FACTRL(20), static_cast<float>(2432902008176640000.0));
    // Up to 32 the table's products in float, which stray from the exponential of ln 32! in the
    // last digit; from 33 that exponential.
    float product = 1.0f;
    for (int k = 2; k <= 32; ++k) {
        product *= static_cast<float>(k);
    }
    EXPECT_EQ(numeric::FACTRL(32), product);
    EXPECT_NEAR(numeric::FACTRL(33), std::tgamma(34.0), 1e-6 * std::tgamma(34.0));
}

TEST(BinomialCoefficient, IsTheWholeNumberOfTheClosedForm) {
    EXPECT_EQ(numeric::binomial_coefficient(4, 2), 6.0f);
    const float fiveTaps[5] = {1, 4, 6, 4, 1};
    for (int k = 0; k <= 4; ++k) {
        EXPECT_EQ(numeric::binomial_coefficient(4, k), fiveTaps[k]);
    }
    // Exact for every n the collection promises (up to 21), by Pascal's rule.
    double row[22] = {1.0};
    for (int n = 1; n <= 21; ++n) {
        for (int k = n; k >= 1; --k) {
            row[k] += row[k - 1];
        }
        for (int k = 0; k <= n; ++k) {
            EXPECT_EQ(numeric::binomial_coefficient(n, k), static_cast<float>(row[k]))
                << n << " over " << k;
        }
    }
}

TEST(IncompleteGamma, MatchesClosedForms) {
    // P(1, x) = 1 - e^-x and P(1/2, x^2) = erf x, on both sides of the a + 1 switch between
    // the series and the continued fraction.
    for (double x = 0.01; x < 12.0; x += 0.05) {
        EXPECT_NEAR(numeric::GAMMP(1.0, x), 1.0 - std::exp(-x), 2.5e-7) << x;
        EXPECT_NEAR(numeric::GAMMQ(1.0, x), std::exp(-x), 4e-7 + 4e-6 * std::exp(-x)) << x;
        EXPECT_NEAR(numeric::GAMMP(0.5, x * x), std::erf(x), 2.5e-7) << x;
    }
    for (double a : {0.5, 2.0, 3.0, 7.5}) {
        EXPECT_EQ(numeric::GAMMP(a, 0.0), 0.0f);
        EXPECT_EQ(numeric::GAMMQ(a, 0.0), 1.0f);
    }
    // Integer a: Q(n, x) = e^-x * sum x^k / k!, k < n.
    for (int n = 1; n <= 6; ++n) {
        for (double x : {0.3, 1.0, n + 1.0, 4.0, 9.0}) {
            double term = 1.0;
            double sum = 0.0;
            for (int k = 0; k < n; ++k) {
                sum += term;
                term *= x / (k + 1);
            }
            const double q = std::exp(-x) * sum;
            EXPECT_NEAR(numeric::GAMMQ(n, x), q, 1e-6) << n << ", " << x;
        }
    }
    // From x = a + 1 on the values are the fraction's, below it the series' (they differ in the
    // last digits).
    for (double a : {1.0, 2.0, 20.0}) {
        float series = 0, fraction = 0, ln = 0;
        numeric::GCF(&fraction, a, a + 1.0, &ln);
        EXPECT_EQ(numeric::GAMMQ(a, a + 1.0), fraction) << a;
        EXPECT_EQ(numeric::GAMMP(a, a + 1.0), 1.0f - fraction) << a;
        const double below = std::nextafter(a + 1.0, 0.0);
        numeric::GSER(&series, a, below, &ln);
        EXPECT_EQ(numeric::GAMMP(a, below), series) << a;
        EXPECT_EQ(numeric::GAMMQ(a, below), 1.0f - series) << a;
    }
    float value = -1.0f;
    float lnGamma = 0.0f;
    numeric::GCF(&value, 2.0, 3.0, &lnGamma);
    EXPECT_NEAR(value, 4.0 * std::exp(-3.0), 1e-6);
    EXPECT_NEAR(lnGamma, 0.0, 1e-6);
    numeric::GSER(&value, 3.0, 1.0, &lnGamma);
    EXPECT_NEAR(value, 1.0 - 2.5 * std::exp(-1.0), 1e-6);
    EXPECT_NEAR(lnGamma, std::log(2.0), 1e-6);
}

TEST(ComplementaryErrorFunction, MatchesTheStandardLibrary) {
    EXPECT_EQ(numeric::complementary_error_function(0.0), 1.0f);
    double worst = 0.0;
    for (int i = -300; i <= 300; ++i) {
        const double x = i * 0.01;
        const float value = numeric::complementary_error_function(x);
        worst = std::max(worst, RelativeError(value, std::erfc(x)));
        if (x < 0.0) {
            EXPECT_GT(value, 1.0f);
            EXPECT_LE(value, 2.0f);
        }
    }
    EXPECT_LT(worst, 3e-6);
    for (double x : {10.5, 11.0, 4.3e9, 1e200}) {
        EXPECT_EQ(numeric::complementary_error_function(x), 0.0f) << x;
        EXPECT_EQ(numeric::complementary_error_function(-x), 2.0f) << -x;
    }
}

TEST(ChiSquareOneSample, GivesDegreesStatisticAndProbability) {
    float* observed = numeric::vector(1, 4);
    float* expected = numeric::vector(1, 4);
    const float o[4] = {12, 8, 10, 10};
    for (int j = 1; j <= 4; ++j) {
        observed[j] = o[j - 1];
        expected[j] = 10.0f;
    }
    float degrees = 0, chi = 0, prob = 0;
    numeric::CHSONE(observed, expected, 4, 1, &degrees, &chi, &prob);
    EXPECT_EQ(degrees, 2.0f);
    EXPECT_FLOAT_EQ(chi, 0.8f);
    // Two degrees of freedom: Q = e^(-chi/2).
    EXPECT_NEAR(prob, std::exp(-0.4), 1e-6);
    numeric::release_vector(observed, 1, 4);
    numeric::release_vector(expected, 1, 4);
}

TEST(GammaFamilyDeathTest, SeriesAndFractionGiveUpJustPastTheirLastRound) {
    // Rounds counted by experiment: the series takes 100 at a = x = 392 and 101 at 400; the
    // fraction 200 at a = 8609, x = a + 1, and 201 at a = 9335. At such a its float ln Gamma(a)
    // (ulp 0.008) limits the value to about 1e-3.
    float value = -1.0f, lnGamma = 0.0f;
    numeric::GSER(&value, 392.0, 392.0, &lnGamma);
    EXPECT_NEAR(value, 0.5067, 1e-3); // Wilson and Hilferty's approximation
    numeric::GCF(&value, 8609.0, 8610.0, &lnGamma);
    EXPECT_NEAR(value, 0.4943, 2e-3);
    EXPECT_EXIT(numeric::GSER(&value, 400.0, 400.0, &lnGamma), testing::ExitedWithCode(1),
                numeric_test::FatalLines("a too large, ITMAX too small in routine GSER"));
    EXPECT_EXIT(numeric::GCF(&value, 9335.0, 9336.0, &lnGamma), testing::ExitedWithCode(1),
                numeric_test::FatalLines("a too large, ITMAX too small in routine GCF"));
}

TEST(GammaFamilyDeathTest, InvalidArgumentsEndTheProcessWithTheirMessages) {
    float value = 0, lnGamma = 0;
    float expected[3] = {0, 1, 0}; // one-based: expected[2] is zero
    float observed[3] = {0, 1, 1};
    float d = 0, chi = 0, prob = 0;
    const std::string notFinite = " is not a finite number";
    numeric_test::ExpectRefusals({
        {[] { numeric::FACTLN(-1); }, "Negative factorial in routine FACTLN"},
        // k above n reaches FACTLN with a negative argument.
        {[] { numeric::binomial_coefficient(3, 4); }, "Negative factorial in routine FACTLN"},
        {[] { numeric::FACTRL(-2); }, "Negative factorial in routine FACTRL"},
        {[] { numeric::GAMMP(0.0, 1.0); }, "Invalid arguments in routine GAMMP"},
        {[] { numeric::GAMMQ(1.0, -1.0); }, "Invalid arguments in routine GAMMQ"},
        {[&] { numeric::GSER(&value, 1.0, -0.5, &lnGamma); }, "x less than 0 in routine GSER"},
        {[&] { numeric::CHSONE(observed, expected, 2, 0, &d, &chi, &prob); },
         "Bad expected number in CHSONE"},
        {[] { numeric::GAMMP(std::nan(""), 1.0); }, "GAMMP: a or x" + notFinite},
        {[] { numeric::GAMMQ(0.5, HUGE_VAL); }, "GAMMQ: a or x" + notFinite},
        {[] { numeric::complementary_error_function(std::nan("")); },
         "complementary_error_function: x" + notFinite},
    });
}
