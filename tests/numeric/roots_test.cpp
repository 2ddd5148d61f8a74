// Bracketing, Newton-Raphson with and without bisection, and quadratic and cubic roots.
#include "numeric/roots.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using Function = double (*)(double);

// The value and slope the finders see: those of g_f and g_df, rounded to float.
Function g_f = nullptr;
Function g_df = nullptr;
void Current(double x, float* f, float* df) {
    *f = float(g_f(x));
    *df = float(g_df(x));
}
numeric::value_and_slope_function Set(Function f, Function df) {
    g_f = f;
    g_df = df;
    return Current;
}

// atan(x - 0.3): Newton from x = 2 overshoots further at every step.
double Arctangent(double x) {
    return std::atan(x - 0.3);
}
double ArctangentSlope(double x) {
    return 1 / (1 + (x - 0.3) * (x - 0.3));
}

} // namespace

TEST(BracketRoots, FindsSignChangesFromTheLowEndUpToItsCapacity) {
    // sin over [0.5, 10] in 100 steps of 0.095 changes sign at pi, 2 pi and 3 pi; so does
    // 1e-30 sin, whose neighbouring values multiply to below the smallest float.
    const int capacities[] = {10, 3, 2, 1, 0, -1, 10}, found[] = {3, 3, 2, 1, 0, 0, 3};
    for (int k = 0; k < 7; ++k) {
        float lower[5] = {-7, -7, -7, -7, -7}, upper[5] = {-7, -7, -7, -7, -7};
        int count = capacities[k];
        const numeric::real_function sine =
            k < 6 ? [](double x) { return float(std::sin(x)); }
                  : [](double x) { return float(1e-30 * std::sin(x)); };
        numeric::bracket_roots(sine, 0.5, 10.0, 100, lower, upper, &count);
        ASSERT_EQ(count, found[k]) << "capacity " << capacities[k];
        for (int i = 0; i <= 4; ++i) {
            if (i >= 1 && i <= count) {
                EXPECT_TRUE(lower[i] <= i * M_PI && i * M_PI <= upper[i]) << i;
            } else {
                EXPECT_TRUE(lower[i] == -7 && upper[i] == -7) << i; // nothing past the count
            }
        }
    }
}

TEST(NewtonRaphson, BothFindersReachTheirTolerance) {
    struct Case {
        const char* name;
        Function f, df;
        double x1, x2, root;
        bool plainNewtonConverges;
    };
    const Case cases[] = {
        {"x^2 - 2", [](double x) { return x * x - 2; }, [](double x) { return 2 * x; }, 1, 2,
         std::sqrt(2.0), true},
        {"cos x - x", [](double x) { return std::cos(x) - x; },
         [](double x) { return -std::sin(x) - 1; }, 0, 1, 0.7390851332151607, true},
        {"e^x - 3", [](double x) { return std::exp(x) - 3; }, [](double x) { return std::exp(x); },
         0, 4, std::log(3.0), true},
        {"x^3 - 2x - 5", [](double x) { return x * x * x - 2 * x - 5; },
         [](double x) { return 3 * x * x - 2; }, 2, 3, 2.0945514815423265, true},
        {"atan(x - 0.3)", Arctangent, ArctangentSlope, -5, 9, 0.3, false},
        // Values whose product at the ends is below the smallest float.
        {"1e-30 (x^2 - 2)", [](double x) { return 1e-30 * (x * x - 2); },
         [](double x) { return 2e-30 * x; }, 1, 2, std::sqrt(2.0), true},
    };
    for (double tolerance : {1e-3, 1e-6}) {
        for (const Case& c : cases) {
            // Within the tolerance, plus the float the root is returned in.
            const double allowed = tolerance + 1.2e-7 * std::fabs(c.root);
            const auto vs = Set(c.f, c.df);
            EXPECT_NEAR(numeric::RTSAFE(vs, c.x1, c.x2, tolerance), c.root, allowed) << c.name;
            EXPECT_NEAR(numeric::RTSAFE(vs, c.x2, c.x1, tolerance), c.root, allowed) << c.name;
            if (c.plainNewtonConverges) {
                EXPECT_NEAR(numeric::RTNEWT(vs, c.x1, c.x2, tolerance), c.root, allowed) << c.name;
            }
        }
    }
}

TEST(QuadraticRoots, LargerMagnitudeFirst) {
    const double cases[][5] = {{1, -3, 2, 2, 1}, {1, 0, -4, -2, 2}, {2, 4, -6, -3, 1}};
    for (const auto& c : cases) {
        float roots[3] = {-7, 0, 0};
        numeric::quadratic_roots(c[0], c[1], c[2], roots);
        EXPECT_FLOAT_EQ(roots[1], c[3]);
        EXPECT_FLOAT_EQ(roots[2], c[4]);
        EXPECT_EQ(roots[0], -7.0f);
    }
}

TEST(CubicRoots, DistinctDoubleAndTripleRootsAndTheOneRealRootLine) {
    struct Case {
        const char* name;
        double a, b, c, d;
        int count;
        double x1, x2, x3, tolerance; // in the order the routine gives them
    };
    const Case cases[] = {
        {"(x-1)(x-2)(x-3)", 1, -6, 11, -6, 3, 1, 3, 2, 1e-6},
        {"(x-1)^2 (x-2)", 1, -4, 5, -2, 3, 1, 2, 1, 1e-6},
        {"2 (x-1)^2 (x-2)", 2, -8, 10, -4, 3, 1, 2, 1, 1e-6},
        {"(x-1)^3", 1, -3, 3, -1, 3, 1, 1, 1, 1e-6},
        {"(x-0.1)^3, inexact coefficients", 1, -0.3, 0.03, -0.001, 3, 0.1, 0.1, 0.1, 1e-7},
        {"(x-0.1)^2 (x-0.3)", 1, -0.5, 0.07, -0.003, 3, 0.1, 0.3, 0.1, 1e-6},
        {"roots 1e-8, 2e-8, 4e-8", 1, -7e-8, 14e-16, -8e-24, 3, 1e-8, 4e-8, 2e-8, 1e-14},
        {"(x-1)^2 (x-2) + 1e-6", 1, -4, 5, -2 + 1e-6, 3, 0.999, 2, 1.001, 1e-5},
        {"(x-1)^2 (x-2) - 1e-6", 1, -4, 5, -2 - 1e-6, 1, -7, -7, -7, 0},
        {"x^3 + x", 1, 0, 1, 0, 1, -7, -7, -7, 0},
        {"x^3 + 1", 1, 0, 0, 1, 1, -7, -7, -7, 0},
    };
    for (const Case& c : cases) {
        float x[4] = {-7, -7, -7, -7}; // left as they are when there is one real root
        testing::internal::CaptureStdout();
        EXPECT_EQ(numeric::cubic_roots(c.a, c.b, c.c, c.d, x), c.count) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.count == 1 ? "Only one real root " : "")
            << c.name;
        EXPECT_NEAR(x[1], c.x1, c.tolerance) << c.name;
        EXPECT_NEAR(x[2], c.x2, c.tolerance) << c.name;
        EXPECT_NEAR(x[3], c.x3, c.tolerance) << c.name;
        EXPECT_EQ(x[0], -7.0f);
    }
}

TEST(RootFindingDeathTest, RtnewtJumpsOutOfItsBracket) {
    EXPECT_EXIT(numeric::RTNEWT(Set(Arctangent, ArctangentSlope), -5.0, 9.0, 1e-6),
                testing::ExitedWithCode(1), "\nJumped out of brackets in RTNEWT\n");
}

TEST(RootFindingDeathTest, RtnewtCyclesWithoutConvergingForItsTwoHundredSteps) {
    using numeric_test::g_callMarks;
    // x^3 - 2x + 2 from 0: Newton steps 0, 1, 0, 1, ..., one evaluation each.
    g_callMarks = {0, 200, 201};
    const auto vs = [](double x, float* f, float* df) {
        g_callMarks.Count();
        *f = float(x * x * x - 2 * x + 2);
        *df = float(3 * x * x - 2);
    };
    EXPECT_EXIT(numeric::RTNEWT(vs, -1.0, 1.0, 1e-6), testing::ExitedWithCode(1),
                g_callMarks.Expected("Maximum number of iterations exceeded in RTNEWT"));
}

TEST(RootFindingDeathTest, RtsafeRefusesABracketWithoutASignChange) {
    // Zero at x1 counts as no sign change, and so does a value that is not a number.
    EXPECT_EXIT(numeric::RTSAFE(Set(Arctangent, ArctangentSlope), 0.3, 9.0, 1e-6),
                testing::ExitedWithCode(1),
                numeric_test::FatalLines("Root must be bracketed in RTSAFE"));
    const auto notANumberAtOne = [](double x) { return x == 1.0 ? std::nan("") : x - 1.5; };
    for (const auto& [x1, x2] : {std::pair{1.0, 2.0}, std::pair{0.0, 1.0}}) {
        EXPECT_EXIT(numeric::RTSAFE(Set(notANumberAtOne, [](double) { return 1.0; }), x1, x2, 1e-6),
                    testing::ExitedWithCode(1),
                    numeric_test::FatalLines("Root must be bracketed in RTSAFE"))
            << x1;
    }
}

TEST(RootFindingDeathTest, RtsafeRunsOutOfItsHundredSteps) {
    using numeric_test::g_callMarks;
    // tanh is flat (slope 0 in float) far out, so every step bisects, and 100 halvings of 3e35
    // leave a bracket far wider than the tolerance. Three evaluations come before the steps
    // (the ends and the middle), one with each step.
    g_callMarks = {0, 103, 104};
    const auto vs = [](double x, float* f, float* df) {
        g_callMarks.Count();
        *f = float(std::tanh(x));
        *df = float(1 / std::cosh(x) / std::cosh(x));
    };
    EXPECT_EXIT(numeric::RTSAFE(vs, -1e35, 2e35, 1e-6), testing::ExitedWithCode(1),
                g_callMarks.Expected("Maximum number of iterations exceeded in RTSAFE"));
}
