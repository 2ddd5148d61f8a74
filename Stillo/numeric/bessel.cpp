#include "numeric/bessel.h"

#include "numeric/vectors.h"

#include <cmath>
#include <cstdint>

namespace numeric {

namespace {

// c[0] + c[1] y + c[2] y^2 + ... by Horner's rule.
template <int N> double Polynomial(double y, const double (&c)[N]) {
    double sum = c[N - 1];
    for (int k = N - 2; k >= 0; --k) {
        sum = sum * y + c[k];
    }
    return sum;
}

constexpr double kJ0Numerator[6] = {57568490574.0, -13362590354.0, 651619640.7,
                                    -11214424.18,  77392.33017,    -184.9052456};
constexpr double kJ0Denominator[6] = {57568490411.0, 1029532985.0, 9494680.718,
                                      59272.64853,   267.8532712,  1.0};
constexpr double kJ0Amplitude[5] = {1.0, -0.001098628627, 2.734510407e-05, -2.073370639e-06,
                                    2.093887211e-07};
constexpr double kJ0Phase[5] = {-0.01562499995, 0.0001430488765, -6.911147651e-06, 7.621095161e-07,
                                -9.34935152e-08};

constexpr double kJ1Numerator[6] = {72362614232.0, -7895059235.0, 242396853.1,
                                    -2972611.439,  15704.4826,    -30.16036606};
constexpr double kJ1Denominator[6] = {144725228442.0, 2300535178.0, 18583304.74,
                                      99447.43394,    376.9991397,  1.0};
constexpr double kJ1Amplitude[5] = {1.0, 0.00183105, -3.516396496e-05, 2.457520174e-06,
                                    -2.40337019e-07};
constexpr double kJ1Phase[5] = {0.04687499995, -0.0002002690873, 8.449199096e-06, -8.8228987e-07,
                                1.05787412e-07};

constexpr double kI0Small[7] = {1.0,       3.5156229, 3.0899424, 1.2067492,
                                0.2659732, 0.0360768, 0.0045813};
constexpr double kI0Large[9] = {0.39894228,  0.01328592, 0.00225319,  -0.00157565, 0.00916281,
                                -0.02057706, 0.02635537, -0.01647633, 0.00392377};
constexpr double kI1Small[7] = {0.5,        0.87890594, 0.51498869, 0.15084934,
                                0.02658733, 0.00301532, 0.00032411};
constexpr double kI1Large[9] = {0.39894228, -0.03988024, -0.00362018, 0.00163801, -0.01031555,
                                0.02282967, -0.02895312, 0.01787654,  -0.00420059};

// The asymptotic form beyond |x| = 8 shared by J0 and J1: amplitude and phase series in (8/x)^2
// around the phase shift of the order.
double LargeArgumentJ(double x, double phaseShift, const double (&amplitude)[5],
                      const double (&phase)[5]) {
    const double ax = std::fabs(x);
    const double z = 8.0 / ax;
    const double y = z * z;
    const double xx = ax - phaseShift;
    const double a = Polynomial(y, amplitude);
    const double b = Polynomial(y, phase);
    return std::sqrt(0.636619772 / ax) * (std::cos(xx) * a - z * std::sin(xx) * b);
}

// e^|x| / sqrt|x| times a series in 3.75/|x|, shared by I0 and I1.
double LargeArgumentI(double x, const double (&series)[9]) {
    const double ax = std::fabs(x);
    return std::exp(ax) / std::sqrt(ax) * Polynomial(3.75 / ax, series);
}

// Miller's recurrence rescales whenever its values pass this bound.
constexpr double kRescaleAbove = 1e10;
constexpr double kRescaleBy = 1e-10;
// Below this |x|, In(x) <= x^2 / 8 lies under the smallest float for every n >= 2, while 2/|x|
// would carry the recurrence beyond the range of a double.
constexpr double kUnderflowArgument = 1e-30;

} // namespace

double bessel_j0(double x) {
    if (std::fabs(x) < 8.0) {
        const double y = x * x;
        return Polynomial(y, kJ0Numerator) / Polynomial(y, kJ0Denominator);
    }
    return LargeArgumentJ(x, 0.785398164, kJ0Amplitude, kJ0Phase);
}

double bessel_j1(double x) {
    if (std::fabs(x) < 8.0) {
        const double y = x * x;
        return x * Polynomial(y, kJ1Numerator) / Polynomial(y, kJ1Denominator);
    }
    const double r = LargeArgumentJ(x, 2.356194491, kJ1Amplitude, kJ1Phase);
    return x < 0.0 ? -r : r;
}

double bessel_i0(double x) {
    if (std::fabs(x) < 3.75) {
        const double t = x * 0.26666666666666666;
        return Polynomial(t * t, kI0Small);
    }
    return LargeArgumentI(x, kI0Large);
}

double bessel_i1(double x) {
    double r;
    if (std::fabs(x) < 3.75) {
        const double t = x * 0.26666666666666666;
        r = std::fabs(x) * Polynomial(t * t, kI1Small);
    } else {
        r = LargeArgumentI(x, kI1Large);
    }
    return x < 0.0 ? -r : r;
}

float BESSI(int n, double x) {
    if (n < 2) {
        numeric_error("Index n less than 2 in BESSI");
    }
    if (x == 0.0) {
        return 0.0f;
    }
    const bool negate = x < 0.0 && (n & 1) != 0;
    if (std::fabs(x) < kUnderflowArgument) {
        return negate ? -0.0f : 0.0f;
    }
    // The recurrence runs in double: in float its values overflow for small |x| long before
    // the result itself leaves the float range. Each step can grow by far more than the
    // rescaling factor when |x| is small, so it rescales as often as the values need.
    const double twoOverX = 2.0 / std::fabs(x);
    double next = 0.0;
    double current = 1.0;
    double result = 0.0;
    const int64_t start = 2 * (int64_t{n} + static_cast<int64_t>(std::sqrt(40.0 * n)));
    for (int64_t j = start; j > 0; --j) {
        const double previous = next + static_cast<double>(j) * twoOverX * current;
        next = current;
        current = previous;
        while (std::fabs(current) > kRescaleAbove) {
            result *= kRescaleBy;
            current *= kRescaleBy;
            next *= kRescaleBy;
        }
        if (j == n) {
            result = next;
        }
    }
    result = result * bessel_i0(x) / current;
    return static_cast<float>(negate ? -result : result);
}

} // namespace numeric
