#include "numeric/roots.h"

#include "numeric/vectors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace numeric {

void bracket_roots(real_function fx, double x1, double x2, int n, float* lower_ends,
                   float* upper_ends, int* count) {
    const int capacity = *count;
    *count = 0;
    // The capacity is tested before anything is stored: with room for none, nothing is.
    if (capacity <= 0) {
        return;
    }
    const double step = (x2 - x1) / n;
    double x = x1;
    float fPrev = fx(x1);
    for (int i = 1; i <= n; ++i) {
        x += step;
        const float fCurr = fx(x);
        // In double, so that two small values of opposite sign cannot underflow to 0.
        if (double{fCurr} * fPrev < 0.0) {
            ++*count;
            lower_ends[*count] = static_cast<float>(x - step);
            upper_ends[*count] = static_cast<float>(x);
            if (*count == capacity) {
                return;
            }
        }
        fPrev = fCurr;
    }
}

float RTNEWT(value_and_slope_function value_and_slope, double x1, double x2, double tolerance) {
    constexpr int kMaxIterations = 200;
    double root = 0.5 * (x1 + x2);
    for (int j = 1; j <= kMaxIterations; ++j) {
        float f = 0.0f;
        float df = 0.0f;
        value_and_slope(root, &f, &df);
        const double step = double{f} / df;
        root -= step;
        if ((x1 - root) * (root - x2) < 0.0) {
            numeric_error("Jumped out of brackets in RTNEWT");
        }
        if (std::fabs(step) < tolerance) {
            return static_cast<float>(root);
        }
    }
    numeric_error("Maximum number of iterations exceeded in RTNEWT");
}

float RTSAFE(value_and_slope_function value_and_slope, double x1, double x2, double tolerance) {
    constexpr int kMaxIterations = 100;
    float fLo = 0.0f;
    float fHi = 0.0f;
    float df = 0.0f;
    value_and_slope(x1, &fLo, &df);
    value_and_slope(x2, &fHi, &df);
    // A zero at an end is refused too, and so is a value that is not a number.
    if (!(double{fLo} * fHi < 0.0)) {
        numeric_error("Root must be bracketed in RTSAFE");
    }
    // The function is negative at xNeg and positive at xPos.
    double xNeg = x2;
    double xPos = x1;
    if (fLo < 0.0f) {
        xNeg = x1;
        xPos = x2;
    }
    double root = 0.5 * (x1 + x2);
    double stepOld = std::fabs(x2 - x1);
    double step = stepOld;
    float f = 0.0f;
    value_and_slope(root, &f, &df);
    for (int j = 1; j <= kMaxIterations; ++j) {
        const bool newtonLeaves = ((root - xPos) * df - f) * ((root - xNeg) * df - f) >= 0.0;
        const bool newtonSlow = std::fabs(2.0 * f) > std::fabs(stepOld * df);
        if (newtonLeaves || newtonSlow) {
            stepOld = step;
            step = 0.5 * (xPos - xNeg);
            root = xNeg + step;
            if (root == xNeg) {
                return static_cast<float>(root);
            }
        } else {
            stepOld = step;
            step = double{f} / df;
            const double before = root;
            root -= step;
            if (root == before) {
                return static_cast<float>(root);
            }
        }
        if (std::fabs(step) < tolerance) {
            return static_cast<float>(root);
        }
        value_and_slope(root, &f, &df);
        if (f < 0.0f) {
            xNeg = root;
        } else {
            xPos = root;
        }
    }
    numeric_error("Maximum number of iterations exceeded in RTSAFE");
}

void quadratic_roots(double a, double b, double c, float* roots) {
    const double s = b >= 0.0 ? 1.0 : -1.0;
    const double q = -0.5 * (b + s * std::sqrt(b * b - 4.0 * a * c));
    roots[1] = static_cast<float>(q / a);
    roots[2] = static_cast<float>(c / q);
}

int cubic_roots(double a, double b, double c, double d, float* x) {
    constexpr double kThird = 0.3333333333333333;
    const double a1 = b / a;
    const double a2 = c / a;
    const double a3 = d / a;
    const float q = static_cast<float>((a1 * a1 - 3.0 * a2) * 0.1111111111111111);
    const float r =
        static_cast<float>((2.0 * a1 * a1 * a1 - 9.0 * a1 * a2 + 27.0 * a3) * 0.018518518518518517);
    // Q^3 from the float Q, in double: rounded to float it would lose precision once the roots
    // lie within about 1e-6 of one another and be 0 below about 1e-7 (the cubic would then
    // print its line).
    const double q3 = double{q} * q * q;
    const double discriminant = q3 - double{r} * r;
    // What rounding can make of a zero Q^3 - R^2: the float rounding of Q and R, and the
    // double rounding of the terms that cancel in them (a1^2 against 3 a2, and so on).
    const double qScale = (a1 * a1 + 3.0 * std::fabs(a2)) * 0.1111111111111111;
    const double rScale =
        (2.0 * std::fabs(a1 * a1 * a1) + 9.0 * std::fabs(a1 * a2) + 27.0 * std::fabs(a3)) *
        0.018518518518518517;
    const double rounding =
        8.0 * (FLT_EPSILON * (3.0 * std::fabs(q3) + 2.0 * double{r} * r) +
               DBL_EPSILON * (3.0 * double{q} * q * qScale + 2.0 * std::fabs(r) * rScale));
    if (discriminant < -rounding) {
        std::printf("Only one real root ");
        std::fflush(stdout);
        return 1;
    }
    const double shift = a1 * kThird;
    if (q <= 0.0f) {
        // Q^3 - R^2 is zero to rounding and Q is not positive, so R is zero too: a triple root.
        x[1] = x[2] = x[3] = static_cast<float>(-shift);
        return 3;
    }
    double ratio = std::clamp(r / (q * std::sqrt(double{q})), -1.0, 1.0);
    if (std::fabs(discriminant) <= rounding) {
        ratio = r < 0.0f ? -1.0 : 1.0; // a double root
    }
    const double theta = std::acos(ratio);
    const double scale = -2.0 * std::sqrt(double{q});
    x[1] = static_cast<float>(scale * std::cos(theta * kThird) - shift);
    x[2] = static_cast<float>(scale * std::cos((theta + 6.2831854) * kThird) - shift);
    x[3] = static_cast<float>(scale * std::cos((theta + 12.5663708) * kThird) - shift);
    return 3;
}

} // namespace numeric
