// The complex family against std::complex<double>, over random operands of many magnitudes
// with zero components among them.
#include "numeric/complex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

using numeric::complex_float;
using Reference = std::complex<double>;

namespace {

// Equal to the reference rounded to float or, given ulps, within that many float units of its
// modulus.
void ExpectNear(complex_float value, Reference truth, double ulps = 0.0) {
    const double tolerance = std::abs(truth) * ulps * std::ldexp(1.0, -23);
    EXPECT_NEAR(value.r, ulps == 0.0 ? static_cast<float>(truth.real()) : truth.real(), tolerance)
        << truth;
    EXPECT_NEAR(value.i, ulps == 0.0 ? static_cast<float>(truth.imag()) : truth.imag(), tolerance)
        << truth;
}

} // namespace

TEST(ComplexArithmetic, MatchesTheStandardComplexType) {
    std::mt19937 random(108);
    // Random sign, magnitude 10^lo .. 10^hi, and one component in eight exactly zero.
    auto component = [&](double lo, double hi) {
        const double exponent = std::uniform_real_distribution<double>(lo, hi)(random);
        const double sign = random() % 2 == 0 ? 1.0 : -1.0;
        return random() % 8 == 0 ? 0.0f : static_cast<float>(sign * std::pow(10.0, exponent));
    };
    for (int trial = 0; trial < 4000; ++trial) {
        const complex_float a{component(-6, 6), component(-6, 6)};
        const complex_float b{component(-6, 6), component(-6, 6)};
        const double x = std::uniform_real_distribution<double>(-50.0, 50.0)(random);
        const auto wa = Reference(a.r, a.i);
        const auto wb = Reference(b.r, b.i);
        // Sums and products of floats are exact or rounded once in double, then once to float.
        ExpectNear(numeric::complex_add(a, b), wa + wb);
        ExpectNear(numeric::complex_sub(a, b), wa - wb);
        ExpectNear(numeric::complex_mul(a, b), wa * wb);
        ExpectNear(numeric::complex_scale(x, a), x * wa);
        ExpectNear(numeric::complex_conj(a), std::conj(wa));
        ExpectNear(numeric::complex_make(x, a.i / 3.0), Reference(x, a.i / 3.0));
        if (b.r != 0.0f || b.i != 0.0f) {
            ExpectNear(numeric::complex_div(a, b), wa / wb, 1.0);
        }
        // Modulus and root up to where squaring a component would leave the float range.
        const complex_float z{component(-37, 38.2), component(-37, 38.2)};
        const auto wz = Reference(z.r, z.i);
        ExpectNear(numeric::complex_sqrt(z), std::sqrt(wz), 1.0);
        EXPECT_NEAR(numeric::complex_abs(z), std::abs(wz), std::abs(wz) * std::ldexp(1.0, -24));
    }
}

TEST(ComplexArithmetic, DivisionByEqualMagnitudesTakesTheFirstBranch) {
    // With |b.r| = |b.i| both branches give the same value but for the sign of a zero part:
    // (1 + i) / (1 - i) is (1 - 1) / 2 + i = +0 + i by the first and (-1 + 1) / -2 = -0 by the
    // second.
    struct Case {
        complex_float a, b, quotient;
    };
    const Case cases[] = {{{1, 1}, {1, -1}, {0.0f, 1}},
                          {{1, -1}, {2, -2}, {0.5f, 0.0f}},
                          {{-1, 1}, {-1, 1}, {1, -0.0f}},
                          {{1, 1}, {-1, 1}, {-0.0f, -1}}};
    for (const Case& c : cases) {
        const complex_float q = numeric::complex_div(c.a, c.b);
        EXPECT_EQ(q.r, c.quotient.r);
        EXPECT_EQ(q.i, c.quotient.i);
        EXPECT_EQ(std::signbit(q.r), std::signbit(c.quotient.r)) << c.a.r << ", " << c.a.i;
        EXPECT_EQ(std::signbit(q.i), std::signbit(c.quotient.i)) << c.a.r << ", " << c.a.i;
    }
}
