#include "numeric/bessel_fractional.h"

#include "numeric/vectors.h"

#include <cmath>
#include <cstdint>

namespace numeric {

namespace {

// Chebyshev coefficients of gam1 and gam2 on [-1, 1] in 8x^2 - 1; only the first five of each
// are summed.
constexpr float kGam1Coefficients[7] = {-1.1420227f,   0.006516511f, 0.00030870902f, -3.470627e-06f,
                                        6.943764e-09f, 3.678e-11f,   -1.36e-13f};
constexpr float kGam2Coefficients[8] = {1.8437406f,     -0.07685284f, 0.0012719271f, -4.971737e-06f,
                                        -3.312612e-08f, 2.4231e-10f,  -1.7e-13f,     -1e-15f};
constexpr int kGammaTerms = 5;

constexpr double kTolerance = 1.0e-10;
constexpr double kSmallest = 1.0e-30;
constexpr int kMaxRounds = 10000;
constexpr double kSeriesBelow = 2.0;
constexpr double kPi = 3.141592653589793;

// The first continued fraction starts from xnu / x raised to this floor. It must be far below
// any ratio I'_nu / I_nu can take (x / 2 for nu = 0, down to about 7e-46 for the smallest
// float x): a floor of 1e-30 made I'_0(1e-30) three times too large.
constexpr double kRatioFloor = 1.0e-300;
// The downward recurrence starts from kSmallest and grows by about 2 nu / x a step, so for a
// high order at a small argument it would leave the double range: it rescales (as often as a
// step needs) whenever its value passes this bound, and counts the rescales.
constexpr double kRescaleAbove = 1e10;
constexpr double kRescaleBy = 1e-10;
constexpr double kLnRescaleAbove = 23.025850929940457; // ln 1e10
// Both recurrences take one step per unit of order: the order is bounded as the iterations
// are, so that no argument makes the routine run long.
constexpr float kLargestOrder = 10000.0f;

// I'_nu / I_nu by its continued fraction (modified Lentz).
double RatioOfIDerivative(double xnu, double xi, double xi2) {
    double h = xnu * xi;
    if (h < kRatioFloor) {
        h = kRatioFloor;
    }
    double b = xi2 * xnu;
    double d = 0.0;
    double c = h;
    for (int i = 1; i <= kMaxRounds; ++i) {
        b += xi2;
        d = 1.0 / (b + d);
        c = b + 1.0 / c;
        const double del = c * d;
        h = del * h;
        if (std::fabs(del - 1.0) < kTolerance) {
            return h;
        }
    }
    numeric_error("x too large in bessik; try asymptotic expansion");
}

// K_mu and K_mu+1 for |mu| <= 1/2.
struct KPair {
    double rkmu;
    double rk1;
};

// By the series, for x below 2.
KPair KBySeries(double x, double xmu, double xi2) {
    const double xmu2 = xmu * xmu;
    const double x2 = 0.5 * x;
    const double pimu = kPi * xmu;
    const double fact = std::fabs(pimu) < kTolerance ? 1.0 : pimu / std::sin(pimu);
    double d = -std::log(x2);
    double e = xmu * d;
    const double fact2 = std::fabs(e) < kTolerance ? 1.0 : std::sinh(e) / e;
    double gam1 = 0.0;
    double gam2 = 0.0;
    double gampl = 0.0;
    double gammi = 0.0;
    reciprocal_gamma_terms(xmu, &gam1, &gam2, &gampl, &gammi);
    double ff = fact * (gam1 * std::cosh(e) + gam2 * fact2 * d);
    double sum = ff;
    e = std::exp(e);
    double p = 0.5 * e / gampl;
    double q = 0.5 / (e * gammi);
    double c = 1.0;
    d = x2 * x2;
    double sum1 = p;
    for (int i = 1; i <= kMaxRounds; ++i) {
        ff = (i * ff + p + q) / (static_cast<double>(i) * i - xmu2);
        c *= d / i;
        p /= i - xmu;
        q /= i + xmu;
        const double del = c * ff;
        sum += del;
        const double del1 = c * (p - i * ff);
        sum1 += del1;
        if (std::fabs(del) < std::fabs(sum) * kTolerance) {
            return {sum, sum1 * xi2};
        }
    }
    numeric_error("bessk series failed to converge");
}

// By the second continued fraction (Steed's method), for x from 2 up; both times e^x, which
// would underflow a double from x = 745 on.
KPair KByContinuedFraction(double x, double xmu, double xi) {
    const double xmu2 = xmu * xmu;
    double b = 2.0 * (1.0 + x);
    double d = 1.0 / b;
    double delh = d;
    double h = delh;
    double q1 = 0.0;
    double q2 = 1.0;
    const double a1 = 0.25 - xmu2;
    double q = a1;
    double c = a1;
    double a = -a1;
    double s = 1.0 + q * delh;
    for (int i = 2; i <= kMaxRounds; ++i) {
        a -= 2 * (i - 1);
        c = -a * c / i;
        const double qnew = (q1 - b * q2) / a;
        q1 = q2;
        q2 = qnew;
        q += c * qnew;
        b += 2.0;
        d = 1.0 / (b + a * d);
        delh = (b * d - 1.0) * delh;
        h += delh;
        const double dels = q * delh;
        s += dels;
        if (std::fabs(dels / s) < kTolerance) {
            const double rkmu = std::sqrt(kPi / (2.0 * x)) / s;
            return {rkmu, rkmu * (xmu + x + 0.5 - a1 * h) * xi};
        }
    }
    numeric_error("bessik: failure to converge in cf2");
}

} // namespace

float chebev(float a, float b, const float* c, int m, float x) {
    if ((x - a) * (x - b) > 0.0f) {
        numeric_error("x not in range in routine chebev");
    }
    const float y = (2.0f * x - a - b) / (b - a);
    const float y2 = 2.0f * y;
    float d = 0.0f;
    float dd = 0.0f;
    for (int j = m - 1; j >= 1; --j) {
        const float sv = d;
        d = y2 * d - dd + c[j];
        dd = sv;
    }
    return y * d - dd + 0.5f * c[0];
}

void reciprocal_gamma_terms(double x, double* gam1, double* gam2, double* gampl, double* gammi) {
    const float xx = static_cast<float>(8.0 * x * x - 1.0);
    *gam1 = chebev(-1.0f, 1.0f, kGam1Coefficients, kGammaTerms, xx);
    *gam2 = chebev(-1.0f, 1.0f, kGam2Coefficients, kGammaTerms, xx);
    *gampl = *gam2 - x * *gam1;
    *gammi = *gam2 + x * *gam1;
}

void bessik(float x, float xnu, float* ri, float* rk, float* rip, float* rkp) {
    // Written so that a value that is not a number fails too.
    if (!(x > 0.0f && xnu >= 0.0f && xnu <= kLargestOrder)) {
        numeric_error("bad arguments in bessik");
    }
    const int nl = static_cast<int>(xnu + 0.5);
    const double xmu = xnu - nl;
    const double xi = 1.0 / x;
    const double xi2 = 2.0 * xi;
    const double h = RatioOfIDerivative(xnu, xi, xi2);

    // Downward recurrence to order xmu from an arbitrary start; ril1 and rip1 keep the start.
    // rilAbove follows one order above ril, on the same scale: it starts as I_nu+1 by
    // I_nu+1 / I_nu = I'_nu / I_nu - nu / x.
    double ril = kSmallest;
    double ripl = h * ril;
    const double ril1 = ril;
    const double rip1 = ripl;
    double rilAbove = (h - xnu * xi) * ril;
    int64_t rescales = 0;
    double fact = xnu * xi;
    for (int l = nl; l >= 1; --l) {
        const double ritemp = fact * ril + ripl;
        fact -= xi;
        ripl = fact * ritemp + ril;
        rilAbove = ril;
        ril = ritemp;
        while (std::fabs(ril) > kRescaleAbove) {
            ril *= kRescaleBy;
            ripl *= kRescaleBy;
            rilAbove *= kRescaleBy;
            ++rescales;
        }
    }
    // I_xmu+1 / I_xmu from the recurrence's own values. Taken as ripl / ril - xmu / x, it
    // cancels to rounding noise at small x when xmu < 0 (and I came out infinite or negative).
    const double ratio = rilAbove / ril;

    const bool bySeries = x < kSeriesBelow;
    const KPair k = bySeries ? KBySeries(x, xmu, xi2) : KByContinuedFraction(x, xmu, xi);
    // K comes times e^scale and I times e^-scale; the rescales are put back with the scale.
    const double scale = bySeries ? 0.0 : double{x};
    double rkmu = k.rkmu;
    double rk1 = k.rk1;
    // The Wronskian I_mu K_mu+1 + I_mu+1 K_mu = 1 / x.
    const double rimu = xi / (rk1 + ratio * rkmu);
    const double iExponent = scale - static_cast<double>(rescales) * kLnRescaleAbove;
    // The exponents are summed before they are applied, so that factors beyond the double range
    // (e^x, the rescales) meet there: the results overflow to infinity or underflow to 0, never
    // NaN. The values they scale lie well inside it.
    const auto rescaled = [](double value, double exponent) {
        return static_cast<float>(value * std::exp(exponent));
    };
    *ri = rescaled(rimu * ril1 / ril, iExponent);
    *rip = rescaled(rimu * rip1 / ril, iExponent);

    // Upward recurrence for K, rescaled as the downward one.
    double kExponent = -scale;
    for (int i = 1; i <= nl; ++i) {
        const double rktemp = (xmu + i) * xi2 * rk1 + rkmu;
        rkmu = rk1;
        rk1 = rktemp;
        while (rk1 > kRescaleAbove) {
            rkmu *= kRescaleBy;
            rk1 *= kRescaleBy;
            kExponent += kLnRescaleAbove;
        }
    }
    *rk = rescaled(rkmu, kExponent);
    // K'_nu = -(K_nu-1 + K_nu+1) / 2 = -(K_nu+1 - (nu / x) K_nu).
    *rkp = -rescaled(rk1 - xnu * xi * rkmu, kExponent);
}

} // namespace numeric
