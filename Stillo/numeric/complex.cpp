#include "numeric/complex.h"

#include <cmath>

namespace numeric {

namespace {

complex_float Rounded(double re, double im) {
    return {static_cast<float>(re), static_cast<float>(im)};
}

} // namespace

complex_float complex_add(complex_float a, complex_float b) {
    return Rounded(double{a.r} + b.r, double{a.i} + b.i);
}

complex_float complex_sub(complex_float a, complex_float b) {
    return Rounded(double{a.r} - b.r, double{a.i} - b.i);
}

complex_float complex_mul(complex_float a, complex_float b) {
    return Rounded(double{a.r} * b.r - double{a.i} * b.i, double{a.i} * b.r + double{a.r} * b.i);
}

complex_float complex_make(double re, double im) {
    return Rounded(re, im);
}

complex_float complex_conj(complex_float z) {
    return {z.r, -z.i};
}

complex_float complex_div(complex_float a, complex_float b) {
    if (std::fabs(b.r) >= std::fabs(b.i)) {
        const double r = double{b.i} / b.r;
        const double den = b.r + r * b.i;
        return Rounded((a.r + r * a.i) / den, (a.i - r * a.r) / den);
    }
    const double r = double{b.r} / b.i;
    const double den = b.i + r * b.r;
    return Rounded((a.r * r + a.i) / den, (a.i * r - a.r) / den);
}

float complex_abs(complex_float z) {
    const double x = std::fabs(z.r);
    const double y = std::fabs(z.i);
    if (x == 0.0) {
        return static_cast<float>(y);
    }
    if (y == 0.0) {
        return static_cast<float>(x);
    }
    if (x > y) {
        const double q = y / x;
        return static_cast<float>(x * std::sqrt(1.0 + q * q));
    }
    const double q = x / y;
    return static_cast<float>(y * std::sqrt(1.0 + q * q));
}

complex_float complex_sqrt(complex_float z) {
    if (z.r == 0.0f && z.i == 0.0f) {
        return {0.0f, 0.0f};
    }
    const double x = std::fabs(z.r);
    const double y = std::fabs(z.i);
    double w;
    if (x >= y) {
        const double r = y / x;
        w = std::sqrt(x) * std::sqrt(0.5 * (1.0 + std::sqrt(1.0 + r * r)));
    } else {
        const double r = x / y;
        w = std::sqrt(y) * std::sqrt(0.5 * (r + std::sqrt(1.0 + r * r)));
    }
    if (z.r >= 0.0f) {
        return Rounded(w, z.i / (2.0 * w));
    }
    const double v = z.i >= 0.0f ? w : -w;
    return Rounded(z.i / (2.0 * v), v);
}

complex_float complex_scale(double x, complex_float a) {
    return Rounded(x * a.r, x * a.i);
}

} // namespace numeric
