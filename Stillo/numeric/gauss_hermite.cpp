#include "numeric/gauss_hermite.h"

#include "numeric/vectors.h"

#include <cmath>

namespace numeric {

namespace {

constexpr double kTolerance = 3.0e-14;
constexpr int kNewtonRounds = 10;
constexpr double kPiToMinusQuarter = 0.7511255444649425;

// The root near z by Newton's method on the normalised Hermite polynomial of degree n; pp
// receives its derivative there.
double RefineRoot(double z, int n, double* pp) {
    for (int round = 1; round <= kNewtonRounds; ++round) {
        double p1 = kPiToMinusQuarter;
        double p2 = 0.0;
        for (int j = 1; j <= n; ++j) {
            const double p3 = p2;
            p2 = p1;
            p1 = z * std::sqrt(2.0 / j) * p2 - std::sqrt(static_cast<double>(j - 1) / j) * p3;
        }
        *pp = std::sqrt(2.0 * n) * p2;
        const double z1 = z;
        z = z1 - p1 / *pp;
        if (std::fabs(z - z1) <= kTolerance) {
            return z;
        }
    }
    numeric_error("too many iterations in gauher");
}

} // namespace

void gauher(float* x, float* w, int n) {
    // Only the m largest roots are found; the rest follow by symmetry. Each guess starts from
    // the root before it (read back as stored, in float).
    const int m = (n + 1) / 2;
    double z = 0.0;
    for (int i = 1; i <= m; ++i) {
        if (i == 1) {
            z = std::sqrt(2.0 * n + 1.0) - 1.85575 * std::pow(2.0 * n + 1.0, -0.16667);
        } else if (i == 2) {
            z -= 1.14 * std::pow(static_cast<double>(n), 0.426) / z;
        } else if (i == 3) {
            z = 1.86 * z - 0.86 * x[1];
        } else if (i == 4) {
            z = 1.91 * z - 0.91 * x[2];
        } else {
            z = 2.0 * z - x[i - 2];
        }
        double pp = 0.0;
        z = RefineRoot(z, n, &pp);
        x[i] = static_cast<float>(z);
        x[n + 1 - i] = static_cast<float>(-z);
        w[i] = static_cast<float>(2.0 / (pp * pp));
        w[n + 1 - i] = w[i];
    }
}

} // namespace numeric
