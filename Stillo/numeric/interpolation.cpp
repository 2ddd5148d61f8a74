#include "numeric/interpolation.h"

#include "numeric/vectors.h"

#include <cmath>
#include <cstdint>
#include <unistd.h>

namespace numeric {

namespace {

// Each stage routine's number of points so far and its estimate, kept between calls.
int64_t g_trapezoidPoints = 0;
float g_trapezoidSum = 0.0f;
int64_t g_midpointPoints = 0;
float g_midpointSum = 0.0f;

constexpr double kRombergEpsilon = 1e-6;
constexpr int kRombergPoints = 5;

// Romberg extrapolation to step size 0 over the estimates of stages 1, 2, ...; the step of
// each stage is the previous one times stepFactor. s and h hold maxStages + 1 entries from
// index 1.
float Romberg(real_function func, double a, double b, integration_stage stage, int maxStages,
              double stepFactor, float* s, float* h, const char* failure) {
    h[1] = 1.0f;
    for (int j = 1; j <= maxStages; ++j) {
        s[j] = stage(func, a, b, j);
        if (j >= kRombergPoints) {
            float ss = 0.0f;
            float errSs = 0.0f;
            // The last five pairs as one-based vectors: element 1 is stage j - 4.
            interpolate_polynomial(h + j - kRombergPoints, s + j - kRombergPoints, kRombergPoints,
                                   0.0, &ss, &errSs);
            // An error estimate of exactly 0 (a zero integral) is converged too; the strict
            // relative test alone would never accept it.
            if (std::fabs(errSs) < kRombergEpsilon * std::fabs(ss) || errSs == 0.0f) {
                return ss;
            }
        }
        s[j + 1] = s[j];
        h[j + 1] = static_cast<float>(stepFactor * h[j]);
    }
    numeric_error(failure);
}

} // namespace

void interpolate_polynomial(const float* xs, const float* ys, int n, double x, float* y,
                            float* err) {
    // The nearest abscissa is looked for from xs[1] on, which needs one point at least.
    if (n < 1) {
        numeric_error("interpolate_polynomial: the count n must be at least 1");
    }
    float* cu = vector(1, n);
    float* cl = vector(1, n);
    int nearest = 1;
    double dif = std::fabs(x - xs[1]);
    for (int i = 1; i <= n; ++i) {
        const double difI = std::fabs(x - xs[i]);
        if (difI < dif) {
            nearest = i;
            dif = difI;
        }
        cu[i] = ys[i];
        cl[i] = ys[i];
    }
    float value = ys[nearest];
    float correction = 0.0f;
    --nearest;
    for (int m = 1; m < n; ++m) {
        for (int i = 1; i <= n - m; ++i) {
            const double dLo = xs[i] - x;
            const double dHi = xs[i + m] - x;
            const float w = cu[i + 1] - cl[i];
            double denom = dLo - dHi;
            if (denom == 0.0) {
                // Two equal abscissas end the process here, with no message.
                _exit(1);
            }
            denom = w / denom;
            cl[i] = static_cast<float>(dHi * denom);
            cu[i] = static_cast<float>(dLo * denom);
        }
        if (2 * nearest < n - m) {
            correction = cu[nearest + 1];
        } else {
            correction = cl[nearest];
            --nearest;
        }
        value += correction;
    }
    *y = value;
    *err = correction;
    release_vector(cl, 1, n);
    release_vector(cu, 1, n);
}

float trapezoid_stage(real_function func, double a, double b, int n) {
    if (n == 1) {
        g_trapezoidPoints = 1;
        g_trapezoidSum = static_cast<float>(0.5 * (b - a) * (double{func(a)} + func(b)));
    } else {
        const int64_t count = g_trapezoidPoints;
        const double step = (b - a) / static_cast<double>(count);
        double x = a + 0.5 * step;
        double sum = 0.0;
        for (int64_t k = 0; k < count; ++k, x += step) {
            sum += func(x);
        }
        g_trapezoidPoints = 2 * g_trapezoidPoints;
        g_trapezoidSum =
            static_cast<float>(0.5 * (g_trapezoidSum + (b - a) * sum / static_cast<double>(count)));
    }
    return g_trapezoidSum;
}

float midpoint_sqrt_stage(real_function func, double lower, double upper, int n) {
    const double b = std::sqrt(upper - lower);
    // The integrand after x = lower + t^2.
    auto transformed = [func, lower](double t) { return 2.0 * t * func(lower + t * t); };
    if (n == 1) {
        g_midpointPoints = 1;
        const double t = 0.5 * b;
        g_midpointSum = static_cast<float>(b * transformed(t));
    } else {
        const int64_t count = g_midpointPoints;
        const double step = b / (3.0 * static_cast<double>(count));
        const double step2 = 2.0 * step;
        double t = 0.5 * step;
        double sum = 0.0;
        for (int64_t k = 0; k < count; ++k) {
            sum += transformed(t);
            t += step2;
            sum += transformed(t);
            t += step;
        }
        g_midpointPoints = 3 * g_midpointPoints;
        g_midpointSum = static_cast<float>((g_midpointSum + b * sum / static_cast<double>(count)) *
                                           0.3333333333333333);
    }
    return g_midpointSum;
}

float QROMB(real_function func, double a, double b) {
    constexpr int kStages = 20;
    float s[kStages + 2];
    float h[kStages + 2];
    return Romberg(func, a, b, trapezoid_stage, kStages, 0.25, s, h,
                   "Too many steps in routine QROMB");
}

float QROMO(real_function func, double a, double b, integration_stage choose) {
    constexpr int kStages = 14;
    float s[kStages + 2];
    float h[kStages + 2];
    return Romberg(func, a, b, choose, kStages, 0.1111111111111111, s, h,
                   "Too many steps in routing QROMO");
}

void gauss_legendre(double x1, double x2, double* x, double* w, int n) {
    const int m = (n + 1) / 2;
    const double mid = 0.5 * (x2 + x1);
    const double half = 0.5 * (x2 - x1);
    for (int i = 1; i <= m; ++i) {
        double z = std::cos(3.141592654 * (i - 0.25) / (n + 0.5));
        double slope = 0.0;
        double zPrev = 0.0;
        do {
            // The Legendre polynomial P_n(z) by its recurrence, then its slope.
            double p1 = 1.0;
            double p2 = 0.0;
            for (int j = 1; j <= n; ++j) {
                const double p3 = p2;
                p2 = p1;
                p1 = ((2.0 * j - 1.0) * z * p2 - (j - 1.0) * p3) / j;
            }
            slope = n * (z * p1 - p2) / (z * z - 1.0);
            zPrev = z;
            z = zPrev - p1 / slope;
        } while (std::fabs(z - zPrev) > 3e-11);
        x[i] = mid - half * z;
        x[n + 1 - i] = mid + half * z;
        w[i] = 2.0 * half / ((1.0 - z * z) * slope * slope);
        w[n + 1 - i] = w[i];
    }
}

void chebyshev_fit(double a, double b, float* c, int n, real_function func) {
    constexpr double kPi = 3.141592653589793;
    refuse_negative_count("chebyshev_fit", n);
    float* f = vector(0, n - 1);
    const double halfWidth = 0.5 * (b - a);
    const double centre = 0.5 * (b + a);
    for (int k = 0; k < n; ++k) {
        f[k] = func(std::cos(kPi * (k + 0.5) / n) * halfWidth + centre);
    }
    const double fac = 2.0 / n;
    for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k) {
            sum += f[k] * std::cos(kPi * j * (k + 0.5) / n);
        }
        c[j] = static_cast<float>(fac * sum);
    }
    release_vector(f, 0, n - 1);
}

} // namespace numeric
