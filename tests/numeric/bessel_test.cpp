// Bessel functions of integer order against the standard library's cylindrical Bessel functions.
#include "numeric/bessel.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using numeric_test::FatalLines;

namespace {

// The standard library takes x >= 0; order 1 is odd in x.
double Truth(bool modified, int order, double x) {
    const double v =
        modified ? std::cyl_bessel_i(order, std::fabs(x)) : std::cyl_bessel_j(order, std::fabs(x));
    return order == 1 && x < 0.0 ? -v : v;
}

struct Range {
    const char* name;
    double (*routine)(double);
    bool modified;
    int order;
    double limit; // |x| up to this
    double tolerance;
};

} // namespace

TEST(BesselIntegerOrder, MatchesTheStandardLibraryOnEitherSideOfEachBranch) {
    // J is measured absolutely (its largest error, 5.02e-9, is J1's asymptotic form at x = 8
    // itself), I relatively; I's large-argument series loses accuracy slowly beyond |x| = 20.
    const Range ranges[] = {
        {"J0", numeric::bessel_j0, false, 0, 40.0, 5.1e-9},
        {"J1", numeric::bessel_j1, false, 1, 40.0, 5.1e-9},
        {"I0", numeric::bessel_i0, true, 0, 20.0, 1.1e-7},
        {"I1", numeric::bessel_i1, true, 1, 20.0, 1.1e-7},
        {"I0", numeric::bessel_i0, true, 0, 700.0, 6e-7},
        {"I1", numeric::bessel_i1, true, 1, 700.0, 6e-7},
    };
    for (const Range& r : ranges) {
        double worst = 0.0;
        for (int i = -100 * static_cast<int>(r.limit); i <= 100 * r.limit; ++i) {
            const double x = i / 100.0; // reaches 3.75 and 8 exactly
            const double truth = Truth(r.modified, r.order, x);
            const double error = std::fabs(r.routine(x) - truth);
            worst = std::max(worst, r.modified && truth != 0.0 ? error / std::fabs(truth) : error);
        }
        EXPECT_LT(worst, r.tolerance) << r.name << " up to " << r.limit;
    }
    EXPECT_EQ(numeric::bessel_j1(0.0), 0.0);
    EXPECT_EQ(numeric::bessel_i0(0.0), 1.0);
}

TEST(BesselIntegerOrder, BessiMatchesTheStandardLibraryAndIsEvenOrOddWithN) {
    // The recurrence starts at an index fixed by n alone, so accuracy fades beyond x = 40.
    EXPECT_EQ(numeric::BESSI(2, 0.0), 0.0f);
    double worst = 0.0;
    for (int n = 2; n <= 30; ++n) {
        for (double x = 0.001; x <= 40.0; x *= 1.02) {
            const double truth = std::cyl_bessel_i(n, x);
            const float value = numeric::BESSI(n, x);
            EXPECT_EQ(numeric::BESSI(n, -x), n % 2 == 1 ? -value : value) << n << ", " << x;
            if (truth > FLT_MIN) {
                worst = std::max(worst, std::fabs(value - truth) / truth);
            }
        }
    }
    EXPECT_LT(worst, 2e-6);
}

TEST(BesselIntegerOrder, BessiOfTinyArgumentsIsTheLeadingTermAndNeverNaN) {
    // Down there In(x) = (x/2)^n / n! to far below float precision; values under the smallest
    // float are zero. The recurrence's own values grow by about 2j/x a step.
    const double arguments[] = {1e-7,  1e-8,  5e-9,  1e-10, 5e-11, 1e-11,  1e-15, 1e-20,
                                1e-21, 1e-22, 1e-25, 1e-29, 1e-40, 1e-300, 5e-324};
    for (int n : {2, 3, 10, 30}) {
        for (double x : arguments) {
            const double lead = std::exp(n * std::log(x / 2.0) - std::lgamma(n + 1.0));
            const float value = numeric::BESSI(n, x);
            EXPECT_TRUE(std::isfinite(value)) << n << ", " << x;
            EXPECT_NEAR(value, lead, 2e-6 * lead + FLT_TRUE_MIN) << n << ", " << x;
            EXPECT_EQ(numeric::BESSI(n, -x), n % 2 == 1 ? -value : value) << n << ", " << x;
        }
    }
}

TEST(BesselIntegerOrderDeathTest, BessiBelowOrderTwoEndsTheProcess) {
    EXPECT_EXIT(numeric::BESSI(1, 1.0), testing::ExitedWithCode(1),
                FatalLines("Index n less than 2 in BESSI"));
}
