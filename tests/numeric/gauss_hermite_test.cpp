// Gauss-Hermite abscissas and weights against known values, the standard library's Hermite
// polynomials and the moments of e^(-x^2).
#include "numeric/gauss_hermite.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using numeric_test::FatalLines;

namespace {

// x[1..n] and w[1..n] (index 0 unused).
struct Rule {
    std::vector<float> x, w;
};

Rule Compute(int n) {
    Rule r{std::vector<float>(n + 1, 99.0f), std::vector<float>(n + 1, 99.0f)};
    numeric::gauher(r.x.data(), r.w.data(), n);
    return r;
}

} // namespace

TEST(GaussHermite, SmallRulesHaveTheirKnownAbscissasAndWeights) {
    // n = 1, 2, 3 (for n = 1 the lone root is stored as minus itself).
    const std::vector<std::vector<float>> xs = {
        {0.0f}, {0.70710677f, -0.70710677f}, {1.224744871f, 0.0f, -1.224744871f}};
    const std::vector<std::vector<float>> ws = {
        {1.7724539f}, {0.88622695f, 0.88622695f}, {0.2954089752f, 1.181635901f, 0.2954089752f}};
    for (int n = 1; n <= 3; ++n) {
        const Rule r = Compute(n);
        for (int i = 1; i <= n; ++i) {
            EXPECT_NEAR(r.x[i], xs[n - 1][i - 1], 1e-7) << "n " << n << ", i " << i;
            EXPECT_FLOAT_EQ(r.w[i], ws[n - 1][i - 1]) << "n " << n << ", i " << i;
        }
    }
    const Rule none = Compute(0); // writes nothing
    EXPECT_EQ(none.x[0], 99.0f);
    EXPECT_EQ(none.w[0], 99.0f);
}

TEST(GaussHermite, RootsAreSymmetricZerosAndTheRuleIsExactUpToDegreeTwoNMinusOne) {
    for (int n = 1; n <= 176; n += (n < 24 ? 1 : 19)) {
        const Rule r = Compute(n);
        double weights = 0.0;
        for (int i = 1; i <= n; ++i) {
            weights += r.w[i];
            // Exact but for the middle root of an odd rule, zero within the tolerance.
            EXPECT_NEAR(r.x[n + 1 - i], -r.x[i], 6e-14) << n << ", " << i;
            EXPECT_EQ(r.w[n + 1 - i], r.w[i]) << n << ", " << i;
            if (i > 1) {
                EXPECT_LT(r.x[i], r.x[i - 1]) << n << ", " << i;
            }
            // The Newton step H_n / H_n' is the distance to the true root; H_n' = 2n H_n-1.
            const double xi = r.x[i]; // the double form of std::hermite
            const double step = std::hermite(n, xi) / (2.0 * n * std::hermite(n - 1, xi));
            EXPECT_LT(std::fabs(step), 2e-7 * std::max(1.0f, std::fabs(r.x[i]))) << n << ", " << i;
        }
        EXPECT_NEAR(weights, std::sqrt(M_PI), 3e-7) << n;
        // The integral of x^k e^(-x^2) is Gamma((k + 1)/2) for even k and 0 for odd k.
        for (int k = 0; k <= 2 * n - 1 && n <= 20; ++k) {
            double sum = 0.0;
            double scale = 0.0;
            for (int i = 1; i <= n; ++i) {
                sum += r.w[i] * std::pow(r.x[i], k);
                scale += r.w[i] * std::pow(std::fabs(r.x[i]), k);
            }
            const double exact = k % 2 == 1 ? 0.0 : std::tgamma((k + 1) / 2.0);
            EXPECT_NEAR(sum, exact, 1e-5 * scale) << "n " << n << ", x^" << k;
        }
    }
}

TEST(GaussHermiteDeathTest, ARootThatDoesNotSettleEndsTheProcess) {
    float x[178], w[178];
    EXPECT_EXIT(numeric::gauher(x, w, 177), testing::ExitedWithCode(1),
                FatalLines("too many iterations in gauher"));
}
