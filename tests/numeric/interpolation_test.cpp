// Polynomial interpolation, Romberg integration, Gauss-Legendre quadrature and the Chebyshev
// fit against polynomials and closed forms.
#include "numeric/interpolation.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// p(x) = sum of coefficients[k] x^k.
double Polynomial(const std::vector<double>& coefficients, double x) {
    double value = 0.0;
    for (size_t k = coefficients.size(); k-- > 0;) {
        value = value * x + coefficients[k];
    }
    return value;
}

// The value at x of the polynomial through (xs[i], ys[i]) for i in [first, last], by Lagrange's
// formula in double.
double Lagrange(const std::vector<float>& xs, const std::vector<float>& ys, int first, int last,
                double x) {
    double sum = 0.0;
    for (int i = first; i <= last; ++i) {
        double term = ys[i];
        for (int j = first; j <= last; ++j) {
            term *= j == i ? 1.0 : (x - xs[j]) / (double(xs[i]) - xs[j]);
        }
        sum += term;
    }
    return sum;
}

int g_evaluations = 0;

float CountedCube(double x) {
    ++g_evaluations;
    return float(x * x * x);
}

} // namespace

TEST(InterpolatePolynomial, ReproducesPolynomialsOfItsDegreeAndEstimatesItsLastCorrection) {
    // The estimate is the last correction: the value less that of the polynomial through all
    // points but the last one, or but the first one when x lies nearest the last abscissa.
    struct Case {
        std::vector<double> coefficients; // degree n - 1 through n points
        std::vector<float> xs;
    };
    const Case cases[] = {
        {{2.5}, {0.3f}},
        {{1.0, -2.0}, {-1.0f, 2.0f}},
        {{0.5, 0.0, 3.0}, {-1.0f, 0.25f, 2.0f}},
        {{-6.0, 11.0, -6.0, 1.0}, {0.0f, 1.5f, 2.5f, 4.0f}},
        {{1.0, -1.0, 0.5, 0.25, -0.125}, {-2.0f, -0.5f, 0.75f, 1.0f, 3.0f}},
    };
    for (const Case& c : cases) {
        const int n = static_cast<int>(c.xs.size());
        std::vector<float> xs{0.0f}, ys{0.0f};
        for (float x : c.xs) {
            xs.push_back(x);
            ys.push_back(static_cast<float>(Polynomial(c.coefficients, x)));
        }
        for (double x = -2.5; x <= 3.5; x += 0.125) {
            float y = 0.0f, err = 0.0f;
            numeric::interpolate_polynomial(xs.data(), ys.data(), n, x, &y, &err);
            const double truth = Polynomial(c.coefficients, x);
            EXPECT_NEAR(y, truth, 2e-5 * (1.0 + std::fabs(truth))) << "n " << n << ", x " << x;
            int nearest = 1;
            for (int i = 2; i <= n; ++i) {
                nearest = std::fabs(x - xs[i]) < std::fabs(x - xs[nearest]) ? i : nearest;
            }
            const double fewer = n == 1         ? truth
                                 : nearest == n ? Lagrange(xs, ys, 2, n, x)
                                                : Lagrange(xs, ys, 1, n - 1, x);
            EXPECT_NEAR(err, truth - fewer, 2e-5 * (1.0 + std::fabs(truth))) << n << ", " << x;
        }
    }
}

TEST(GaussLegendre, ThreePointsAndExactnessUpToDegreeTwoNMinusOne) {
    double x[4], w[4];
    numeric::gauss_legendre(-1.0, 1.0, x, w, 3);
    const double xs[] = {-0.7745966692, 0.0, 0.7745966692}, ws[] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_NEAR(x[i], xs[i - 1], 1e-10);
        EXPECT_NEAR(w[i], ws[i - 1], 1e-12);
    }
    const double a = -0.5, b = 2.0;
    for (int n = 1; n <= 12; ++n) {
        std::vector<double> xn(n + 1), wn(n + 1);
        numeric::gauss_legendre(a, b, xn.data(), wn.data(), n);
        for (int k = 0; k <= 2 * n - 1; ++k) {
            double sum = 0.0;
            for (int i = 1; i <= n; ++i) {
                sum += wn[i] * std::pow(xn[i], k);
            }
            // Exact but for the weights' slope, taken one Newton step before the last.
            const double exact = (std::pow(b, k + 1) - std::pow(a, k + 1)) / (k + 1);
            EXPECT_NEAR(sum, exact, 1e-9 * std::fabs(exact)) << n << ", x^" << k;
        }
    }
}

TEST(Romberg, IntegratesToTheStatedTolerance) {
    struct Case {
        const char* name;
        numeric::real_function f;
        double a, b, exact;
        bool open; // QROMO over midpoint_sqrt_stage
    };
    const Case cases[] = {
        {"e^x", [](double x) { return float(std::exp(x)); }, 0.0, 1.0, std::exp(1.0) - 1, false},
        {"sin", [](double x) { return float(std::sin(x)); }, 0.0, M_PI, 2.0, false},
        {"x, a zero integral", [](double x) { return float(x); }, -1.0, 1.0, 0.0, false},
        {"x^3 - 2x", [](double x) { return float(x * x * x - 2 * x); }, 0.0, 3.0, 11.25, false},
        {"1/sqrt(x)", [](double x) { return float(1 / std::sqrt(x)); }, 0.0, 1.0, 2.0, true},
        {"cos(x)/sqrt(x)", [](double x) { return float(std::cos(x) / std::sqrt(x)); }, 0.0, 1.0,
         1.8090484758005438, true},
        {"e^x, open", [](double x) { return float(std::exp(x)); }, 1.0, 2.0,
         std::exp(2.0) - std::exp(1.0), true},
    };
    for (const Case& c : cases) {
        const float got = c.open ? numeric::QROMO(c.f, c.a, c.b, numeric::midpoint_sqrt_stage)
                                 : numeric::QROMB(c.f, c.a, c.b);
        EXPECT_NEAR(got, c.exact, 2e-6 * std::fabs(c.exact) + 1e-7) << c.name;
    }
    // A cubic is exact at the first extrapolation: stages 1 to 5 make 2 + 1 + 2 + 4 + 8
    // evaluations.
    g_evaluations = 0;
    EXPECT_FLOAT_EQ(numeric::QROMB(CountedCube, 0.0, 2.0), 4.0f);
    EXPECT_EQ(g_evaluations, 17);
}

TEST(ChebyshevFit, CoefficientsReproduceTheFunction) {
    // e^x on [0, 2], summed by Clenshaw's recurrence: sum c[k] T_k(y) - c[0] / 2.
    const int n = 12;
    float c[n];
    numeric::chebyshev_fit(0.0, 2.0, c, n, [](double x) { return float(std::exp(x)); });
    for (double x = 0.0; x <= 2.0; x += 0.1) {
        const double y = x - 1.0;
        double d = 0.0, dd = 0.0;
        for (int k = n - 1; k >= 1; --k) {
            const double sv = d;
            d = 2.0 * y * d - dd + c[k];
            dd = sv;
        }
        EXPECT_NEAR(y * d - dd + 0.5 * c[0], std::exp(x), 1e-6 * std::exp(x)) << x;
    }
}

TEST(InterpolationDeathTest, TwoEqualAbscissasEndWithoutAMessage) {
    const float xs[] = {0, 1, 2, 1}, ys[] = {0, 1, 4, 1};
    float y = 0.0f, err = 0.0f;
    EXPECT_EXIT(numeric::interpolate_polynomial(xs, ys, 3, 0.5, &y, &err),
                testing::ExitedWithCode(1), "^$");
}

TEST(InterpolationDeathTest, RombergGivesUpAfterItsLastStage) {
    using numeric_test::g_callMarks;
    // The trapezoid's stage j >= 2 makes 2^(j-2) evaluations after 2^(j-2) + 1 before it, the
    // midpoint stage 2 * 3^(j-2) after 3^(j-2): the marks fall on the first evaluation of
    // QROMB's stage 20 and 21, and of QROMO's stage 14 and 15. The singularity at 0 keeps the
    // trapezoid estimates from settling, the oscillation the midpoint ones.
    g_callMarks = {0, (1 << 18) + 2, (1 << 19) + 2};
    EXPECT_EXIT(
        {
            numeric::QROMB(
                [](double x) {
                    g_callMarks.Count();
                    return float(1 / std::sqrt(x + 1e-30));
                },
                0.0, 1.0);
        },
        testing::ExitedWithCode(1), g_callMarks.Expected("Too many steps in routine QROMB"));
    g_callMarks = {0, 531441 + 1, 1594323 + 1};
    EXPECT_EXIT(
        {
            numeric::QROMO(
                [](double x) {
                    g_callMarks.Count();
                    return float(std::sin(1 / x) / x);
                },
                0.0, 1.0, numeric::midpoint_sqrt_stage);
        },
        testing::ExitedWithCode(1), g_callMarks.Expected("Too many steps in routing QROMO"));
}
