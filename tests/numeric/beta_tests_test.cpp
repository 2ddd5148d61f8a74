// The incomplete beta function against its closed forms, and the two-sample tests against
// closed-form distributions and plain recomputations of their statistics.
#include "numeric/beta_tests.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

using numeric_test::FatalLines;

namespace {

// A one-based copy: element 0 is unused.
std::vector<float> OneBased(std::vector<float> values) {
    values.insert(values.begin(), 0.0f);
    return values;
}

// Q_KS by its other series where the alternating one converges slowly.
double KsReference(double lambda) {
    double sum = 0.0;
    for (int k = 1; k < 50; ++k) {
        sum += lambda < 0.5 ? std::exp(-std::pow((2 * k - 1) * M_PI / lambda, 2) / 8)
                            : (k % 2 == 1 ? 2 : -2) * std::exp(-2.0 * k * k * lambda * lambda);
    }
    return lambda >= 0.5 ? sum : lambda == 0.0 ? 1.0 : 1.0 - std::sqrt(2 * M_PI) / lambda * sum;
}

// I_x(a, b) for whole a and b: the chance of at least a successes in a + b - 1 trials.
long double BinomialTail(int a, int b, long double x) {
    const int n = a + b - 1;
    long double sum = 0;
    for (int j = a; j <= n; ++j) {
        sum += std::exp(std::lgamma(n + 1.0L) - std::lgamma(j + 1.0L) - std::lgamma(n - j + 1.0L)) *
               std::pow(x, j) * std::pow(1 - x, n - j);
    }
    return sum;
}

// A row of a table of refusals: a two-sample test of one-based copies of the samples.
numeric_test::Refusal Refused(std::function<void(float*, int, float*, int, float*, float*)> test,
                              std::vector<float> one, std::vector<float> two, const char* message) {
    return {[=] {
                float statistic, prob;
                test(OneBased(one).data(), int(one.size()), OneBased(two).data(), int(two.size()),
                     &statistic, &prob);
            },
            message};
}

} // namespace

TEST(IncompleteBeta, MatchesItsClosedForms) {
    for (int i = 0; i <= 100; ++i) { // both ends, and both sides of the branch point
        const double x = i / 100.0;
        EXPECT_NEAR(numeric::BETAI(1, 1, x), x, 1e-6) << x;
        EXPECT_NEAR(numeric::BETAI(1, 2.5, x), 1 - std::pow(1 - x, 2.5), 1e-6) << x;
        EXPECT_NEAR(numeric::BETAI(0.5, 1, x), std::sqrt(x), 1e-6) << x;
        EXPECT_NEAR(numeric::BETAI(10, 1, x), std::pow(x, 10), 1e-6) << x;
        for (int a = 1; a <= 8; a += 3) {
            for (int b = 2; b <= 8; b += 3) {
                EXPECT_NEAR(numeric::BETAI(a, b, x), BinomialTail(a, b, x), 1e-6)
                    << a << ", " << b << ", " << x;
            }
        }
    }
    EXPECT_NEAR(numeric::BETAI(2, 3, 0.4), 0.5248, 1e-6);
    // ln Gamma(a + b) is rounded to float on the way, so large parameters lose a few digits.
    for (double a : {0.3, 1.0, 2.5, 40.0, 900.0}) {
        EXPECT_NEAR(numeric::BETAI(a, a, 0.5), 0.5, 1e-6 + 1.5e-7 * std::lgamma(2 * a)) << a;
        for (double b : {0.7, 3.3, 15.0}) {
            for (double x : {0.05, 0.3, 0.62, 0.97}) {
                EXPECT_NEAR(numeric::BETAI(a, b, x), 1 - numeric::BETAI(b, a, 1 - x),
                            1e-6 + 1.5e-7 * std::fabs(std::lgamma(a + b)))
                    << a << ", " << b << ", " << x;
            }
        }
    }
}

TEST(IncompleteBeta, TheContinuedFractionMatchesTheBinomialSumForLargeParameters) {
    // For whole a and b the fraction is a B(a, b) I_x(a, b) / (x^a (1 - x)^b), in long double.
    // Its single-precision recurrences err by up to 4e-6 near the branch point; a tolerance a
    // hundred times looser than 3e-7 shows in the mean.
    double squares = 0.0;
    int count = 0;
    for (int a : {2, 7, 30, 100, 300}) {
        for (int b : {2, 7, 30, 100, 300}) {
            for (double f : {0.5, 0.8, 0.9, 0.97, 0.999}) {
                const long double x = f * (a + 1.0) / (a + b + 2.0);
                const long double lnBeta =
                    std::lgamma(a * 1.0L) + std::lgamma(b * 1.0L) - std::lgamma(a + b * 1.0L);
                const long double truth = a * BinomialTail(a, b, x) *
                                          std::exp(lnBeta - a * std::log(x) - b * std::log1p(-x));
                const long double error = (numeric::BETACF(a, b, double(x)) - truth) / truth;
                EXPECT_LT(std::fabs(error), 5e-6) << a << ", " << b << ", " << x;
                squares += double(error * error);
                ++count;
            }
        }
    }
    EXPECT_LT(std::sqrt(squares / count), 1e-6);
}

TEST(TwoSampleTests, MeanVarianceAndStudentsTMatchClosedForms) {
    std::vector<float> four = OneBased({1, 2, 3, 4});
    float ave = 0, var = 0;
    numeric::mean_and_variance(four.data(), 4, &ave, &var);
    EXPECT_EQ(ave, 2.5f);
    EXPECT_FLOAT_EQ(var, 1.6666666f);
    // Unequal sizes and either order, against the pooled sums of squares and the closed forms
    // of Student's distribution for df = 2, 3 and 4, with theta = atan(|t| / sqrt(df)).
    const auto twoSided = [](int df, double t) {
        const double theta = std::atan(std::fabs(t) / std::sqrt(df));
        const double s = std::sin(theta), c = std::cos(theta);
        return df == 2 ? 1 - s : df == 3 ? 1 - 2 / M_PI * (theta + s * c) : 1 - s * (1 + c * c / 2);
    };
    const std::vector<float> samples[][2] = {{{1, 3}, {2, 6}},
                                             {{5, 5.5f, 7}, {-1, 2}},
                                             {{0.1f, 0.3f}, {0.2f, 0.25f, 0.4f}},
                                             {{1, 2, 4, 8}, {3, 5}}};
    for (const auto& pair : samples) {
        const auto& a = pair[0];
        const auto& b = pair[1];
        const auto mean = [](const std::vector<float>& v) {
            return std::accumulate(v.begin(), v.end(), 0.0) / v.size();
        };
        double squares = 0.0;
        for (const auto* v : {&a, &b}) {
            for (float x : *v) {
                squares += (x - mean(*v)) * (x - mean(*v));
            }
        }
        const int df = int(a.size() + b.size()) - 2;
        const double t =
            (mean(a) - mean(b)) / std::sqrt(squares / df * (1.0 / a.size() + 1.0 / b.size()));
        std::vector<float> one = OneBased(a), two = OneBased(b);
        float tValue = 0, prob = 0;
        numeric::student_t_test(one.data(), int(a.size()), two.data(), int(b.size()), &tValue,
                                &prob);
        EXPECT_NEAR(tValue, t, 1e-5 * std::fabs(t)) << a.size() << " and " << b.size();
        EXPECT_NEAR(prob, twoSided(df, t), 1e-6) << a.size() << " and " << b.size();
    }
    // The t test's probability at df = 1 is 1 - (2/pi) atan|t|.
    for (double t : {0.0, 0.1, 0.7, 1.0, 3.0, 25.0, -4.0}) {
        EXPECT_NEAR(numeric::BETAI(0.5, 0.5, 1 / (1 + t * t)),
                    1 - 2 / M_PI * std::atan(std::fabs(t)), 1e-6)
            << t;
    }
    float t = 1, prob = 0;
    numeric::student_t_test(four.data(), 4, four.data(), 4, &t, &prob);
    EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(prob, 1.0f);
}

TEST(TwoSampleTests, FTestFollowsTheFDistributionWithTwoDegreesInTheSmallerSample) {
    // With df2 = 2 for the smaller variance, prob = 2 BETAI(1, df1/2, x) = 2 (1 - (1-x)^(df1/2)),
    // folded back below 1; either sample may hold the larger variance.
    std::mt19937 random(11);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    const std::pair<int, float> cases[] = {{3, 3.0f}, {5, 3.0f}, {10, 3.0f}, {10, 1.3f}};
    for (const auto& [n, spread] : cases) { // the last one folds p above 1 back
        std::vector<float> wide(n + 1), narrow(4);
        std::generate(wide.begin() + 1, wide.end(), [&, s = spread] { return s * normal(random); });
        std::generate(narrow.begin() + 1, narrow.end(), [&] { return normal(random); });
        float ave, varWide, varNarrow;
        numeric::mean_and_variance(wide.data(), n, &ave, &varWide);
        numeric::mean_and_variance(narrow.data(), 3, &ave, &varNarrow);
        ASSERT_GT(varWide, varNarrow);
        const double f = double(varWide) / varNarrow;
        const double p = 2.0 * (1.0 - std::pow(1.0 - 2.0 / (2.0 + (n - 1) * f), (n - 1) / 2.0));
        float fs[2], probs[2];
        numeric::f_test(wide.data(), n, narrow.data(), 3, &fs[0], &probs[0]);
        numeric::f_test(narrow.data(), 3, wide.data(), n, &fs[1], &probs[1]);
        for (int order = 0; order < 2; ++order) {
            EXPECT_FLOAT_EQ(fs[order], float(f)) << n;
            EXPECT_NEAR(probs[order], p > 1.0 ? 2.0 - p : p, 2e-6) << n << ", " << order;
        }
    }
    std::vector<float> a = OneBased({1, 2, 3}), b = OneBased({7, 8, 9});
    float f = 0, prob = 0;
    numeric::f_test(a.data(), 3, b.data(), 3, &f, &prob);
    EXPECT_EQ(f, 1.0f);
    EXPECT_EQ(prob, 1.0f);
}

TEST(TwoSampleTests, KolmogorovSmirnovProbabilityIsTheSeriesClampedToAProbability) {
    EXPECT_NEAR(numeric::ks_probability(0.5), 0.9639452, 1e-7);
    EXPECT_NEAR(numeric::ks_probability(1.0), 0.2699997, 1e-7);
    EXPECT_FLOAT_EQ(numeric::ks_probability(3.0), 2.0 * std::exp(-18.0)); // after two terms
    // Where the alternating series does not settle (below about 0.031) Q is 1.
    for (int i = 0; i <= 30000; ++i) {
        const float q = numeric::ks_probability(i * 1e-4);
        EXPECT_LE(q, 1.0f) << i * 1e-4;
        EXPECT_NEAR(q, KsReference(i * 1e-4), 1e-6) << i * 1e-4;
    }
}

TEST(TwoSampleTests, KolmogorovSmirnovDistanceIsTheLargestGapOfTheEmpiricalDistributions) {
    // Values drawn from a small pool, so they repeat within a sample and across the two.
    std::mt19937 random(3);
    std::vector<float> pool(13);
    std::iota(pool.begin(), pool.end(), 0.0f);
    const auto draw = [&](int n) {
        std::vector<float> sample(n);
        for (float& v : sample) {
            v = pool[random() % 6]; // six values: runs of equal ones are common
        }
        return sample;
    };
    const auto below = [](const std::vector<float>& s, float t) {
        return double(std::count_if(s.begin(), s.end(), [t](float v) { return v <= t; })) /
               s.size();
    };
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<float> first = draw(1 + trial % 9), second = draw(1 + trial % 7);
        double gap = 0.0;
        for (float t : pool) {
            gap = std::max(gap, std::fabs(below(first, t) - below(second, t)));
        }
        const int n1 = int(first.size()), n2 = int(second.size());
        std::vector<float> one = OneBased(first), two = OneBased(second);
        float d = 0, prob = 0;
        numeric::ks_two_sample_test(one.data(), n1, two.data(), n2, &d, &prob);
        EXPECT_NEAR(d, gap, 1e-6) << trial;
        EXPECT_EQ(prob, numeric::ks_probability(std::sqrt(float(n1) * n2 / (n1 + n2)) * d));
        std::sort(first.begin(), first.end());
        EXPECT_EQ(one, OneBased(first)) << "the samples come back sorted";
    }
    std::vector<float> a = OneBased({3, 1, 2, 5}), b = OneBased({5, 2, 3, 1});
    float d = 1, prob = 0;
    numeric::ks_two_sample_test(a.data(), 4, b.data(), 4, &d, &prob);
    EXPECT_EQ(d, 0.0f);
    EXPECT_EQ(prob, 1.0f);
    std::vector<float> twice = OneBased({1, 1}), once = OneBased({1});
    numeric::ks_two_sample_test(twice.data(), 2, once.data(), 1, &d, &prob);
    EXPECT_EQ(d, 0.0f) << "a run of equal values is one step of its distribution";
    std::vector<float> low = OneBased({1, 2}), high = OneBased({3, 4});
    numeric::ks_two_sample_test(low.data(), 2, high.data(), 2, &d, &prob);
    EXPECT_EQ(d, 1.0f);
}

TEST(IncompleteBetaDeathTest, BadXAndAFractionThatDoesNotSettleEndTheProcess) {
    for (double x : {-0.1, 1.1, std::nan("")}) {
        EXPECT_EXIT(numeric::BETAI(2, 3, x), testing::ExitedWithCode(1),
                    FatalLines("Bad x in routine BETAI"))
            << x;
    }
    // The fraction takes 100 rounds at a = b = 15034, x = 1/2 (where it is about sqrt(pi a)),
    // and 101 at a = b = 13258 (counted by experiment).
    EXPECT_NEAR(numeric::BETACF(15034, 15034, 0.5), std::sqrt(M_PI * 15034), 0.01);
    EXPECT_EXIT(numeric::BETAI(13258, 13258, 0.5), testing::ExitedWithCode(1),
                FatalLines("a or b too big, or ITMAX too small in BETACF"));
}

// A value that is not a number, or a variance that cannot enter the test.
TEST(TwoSampleTestsDeathTest, SamplesTheTestsCannotTakeAreRefusedWithTheirCause) {
    using numeric::f_test;
    using numeric::ks_two_sample_test;
    using numeric::student_t_test;
    const float nan = std::nanf("");
    const char* const notANumber = "ks_two_sample_test: a sample holds a value that is not a number";
    numeric_test::ExpectRefusals({
        Refused(ks_two_sample_test, {2, nan, 5}, {1, 2, 3}, notANumber),
        Refused(ks_two_sample_test, {1, 2, 3}, {2, nan, 5}, notANumber),
        Refused(f_test, {3, 3, 3, 3}, {5, 5, 5, 5}, "f_test: sample 1 has variance 0"),
        Refused(f_test, {1, 2, 3}, {5, 5}, "f_test: sample 2 has variance 0"),
        Refused(f_test, {1, 2}, {7}, "f_test: sample 2 has fewer than two values"),
        Refused(f_test, {3e20f, -3e20f}, {1, 2},
                "f_test: sample 1 has a variance that is not a finite number"),
        Refused(student_t_test, {}, {1, 2}, "student_t_test: sample 1 has fewer than two values"),
        Refused(student_t_test, {4, 4}, {4, 4, 4},
                "student_t_test: both samples have variance 0 and the same mean"),
    });
}
