#include "numeric/spline.h"

namespace numeric {

void spline_second_derivatives(const float* x, const float* y, int32_t n, double yp1, double ypn,
                               one_based_vector<float> y2) {
    // With one point the work vector is empty and the left end would be written past it.
    if (n < 2) {
        numeric_error("Fewer than two points in routine spline_second_derivatives");
    }
    float* u = vector(1, n - 1);
    // A derivative that is not a number fails the test and so clamps the end.
    if (yp1 > kNaturalSplineEnd) {
        y2[1] = u[1] = 0.0f;
    } else {
        const double h = double{x[2]} - x[1];
        y2[1] = -0.5f;
        u[1] = static_cast<float>((3.0 / h) * ((double{y[2]} - y[1]) / h - yp1));
    }
    for (int32_t i = 2; i < n; ++i) {
        const double sig = (double{x[i]} - x[i - 1]) / (double{x[i + 1]} - x[i - 1]);
        const double p = sig * y2[i - 1] + 2.0;
        y2[i] = static_cast<float>((sig - 1.0) / p);
        const double slope_change = (double{y[i + 1]} - y[i]) / (double{x[i + 1]} - x[i]) -
                                    (double{y[i]} - y[i - 1]) / (double{x[i]} - x[i - 1]);
        u[i] = static_cast<float>(
            (6.0 * slope_change / (double{x[i + 1]} - x[i - 1]) - sig * u[i - 1]) / p);
    }
    double qn = 0.0;
    double un = 0.0;
    if (!(ypn > kNaturalSplineEnd)) {
        const double h = double{x[n]} - x[n - 1];
        qn = 0.5;
        un = (3.0 / h) * (ypn - (double{y[n]} - y[n - 1]) / h);
    }
    y2[n] = static_cast<float>((un - qn * u[n - 1]) / (qn * y2[n - 1] + 1.0));
    for (int32_t k = n - 1; k >= 1; --k) {
        y2[k] = static_cast<float>(double{y2[k]} * y2[k + 1] + u[k]);
    }
    release_vector(u, 1, n - 1);
}

void SPLINT(const float* xa, const float* ya, const float* y2a, int32_t n, double x, float* y) {
    // One point is an interval of zero width; none would be read from before the table.
    if (n < 2) {
        numeric_error("Bad XA input to routine SPLINT");
    }
    int32_t klo = 1;
    int32_t khi = n;
    while (khi - klo > 1) {
        const int32_t k = (khi + klo) >> 1;
        if (xa[k] > x) {
            khi = k;
        } else {
            klo = k;
        }
    }
    const double h = double{xa[khi]} - xa[klo];
    if (h == 0.0) {
        numeric_error("Bad XA input to routine SPLINT");
    }
    const double a = (xa[khi] - x) / h;
    const double b = (x - xa[klo]) / h;
    *y = static_cast<float>(a * ya[klo] + b * ya[khi] +
                            ((a * a * a - a) * y2a[klo] + (b * b * b - b) * y2a[khi]) * (h * h) *
                                0.16666666666666666);
}

} // namespace numeric
