#include "numeric/gamma.h"

#include "numeric/vectors.h"

#include <cmath>

namespace numeric {

namespace {

constexpr double kLogGammaCoefficients[6] = {76.18009173,  -86.50532033,  24.01409822,
                                             -1.231739516, 0.00120858003, -5.36382e-06};
constexpr double kSqrtTwoPi = 2.50662827465;

// 0.0 marks an entry not yet computed; computed entries (n >= 2) are never 0.
float g_factlnCache[101] = {};

float g_factrlTable[33] = {1.0f, 1.0f, 2.0f, 6.0f, 24.0f};
int32_t g_factrlTop = 4;

constexpr int kSeriesIterations = 100;
constexpr double kSeriesEpsilon = 3e-7;
constexpr int kFractionIterations = 200;
constexpr double kFractionEpsilon = 3e-9;

// P and Q are for a > 0 and x >= 0. A value that is not a finite number passes that test but
// would keep the series or the fraction going to its round limit, whose message blames a.
void CheckIncompleteGammaArguments(double a, double x, const char* invalid, const char* notFinite) {
    if (x < 0.0 || a <= 0.0) {
        numeric_error(invalid);
    }
    if (!std::isfinite(a) || !std::isfinite(x)) {
        numeric_error(notFinite);
    }
}

} // namespace

double log_gamma(double xx) {
    const double x = xx - 1.0;
    double tmp = x + 5.5;
    tmp -= (x + 0.5) * std::log(tmp);
    double series = 1.0;
    for (int j = 0; j < 6; ++j) {
        series += kLogGammaCoefficients[j] / (x + (j + 1));
    }
    return std::log(kSqrtTwoPi * series) - tmp;
}

float FACTLN(int32_t n) {
    if (n < 0) {
        numeric_error("Negative factorial in routine FACTLN");
    }
    if (n <= 1) {
        return 0.0f;
    }
    if (n > 100) {
        return static_cast<float>(log_gamma(n + 1.0));
    }
    if (g_factlnCache[n] == 0.0f) {
        g_factlnCache[n] = static_cast<float>(log_gamma(n + 1.0));
    }
    return g_factlnCache[n];
}

float FACTRL(int32_t n) {
    if (n < 0) {
        numeric_error("Negative factorial in routine FACTRL");
    }
    if (n > 32) {
        return static_cast<float>(std::exp(log_gamma(n + 1.0)));
    }
    while (g_factrlTop < n) {
        ++g_factrlTop;
        g_factrlTable[g_factrlTop] =
            g_factrlTable[g_factrlTop - 1] * static_cast<float>(g_factrlTop);
    }
    return g_factrlTable[n];
}

float binomial_coefficient(int32_t n, int32_t k) {
    const float f = FACTLN(n) - FACTLN(k);
    const double e = std::exp(static_cast<double>(f) - FACTLN(n - k));
    return static_cast<float>(std::floor(0.5 + e));
}

float GAMMP(double a, double x) {
    CheckIncompleteGammaArguments(a, x, "Invalid arguments in routine GAMMP",
                                  "GAMMP: a or x is not a finite number");
    float value = 0.0f;
    float lnGamma = 0.0f;
    if (x < a + 1.0) {
        GSER(&value, a, x, &lnGamma);
        return value;
    }
    GCF(&value, a, x, &lnGamma);
    return 1.0f - value;
}

float GAMMQ(double a, double x) {
    CheckIncompleteGammaArguments(a, x, "Invalid arguments in routine GAMMQ",
                                  "GAMMQ: a or x is not a finite number");
    float value = 0.0f;
    float lnGamma = 0.0f;
    if (x < a + 1.0) {
        GSER(&value, a, x, &lnGamma);
        return 1.0f - value;
    }
    GCF(&value, a, x, &lnGamma);
    return value;
}

void GSER(float* series_value, double a, double x, float* ln_gamma_a) {
    *ln_gamma_a = static_cast<float>(log_gamma(a));
    if (x <= 0.0) {
        if (x < 0.0) {
            numeric_error("x less than 0 in routine GSER");
        }
        *series_value = 0.0f;
        return;
    }
    float ak = static_cast<float>(a);
    float term = static_cast<float>(1.0 / a);
    float sum = term;
    for (int n = 1; n <= kSeriesIterations; ++n) {
        ak += 1.0f;
        term = static_cast<float>(term * x / ak);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * kSeriesEpsilon) {
            *series_value = static_cast<float>(sum * std::exp(-x + a * std::log(x) - *ln_gamma_a));
            return;
        }
    }
    numeric_error("a too large, ITMAX too small in routine GSER");
}

void GCF(float* fraction_value, double a, double x, float* ln_gamma_a) {
    *ln_gamma_a = static_cast<float>(log_gamma(a));
    float gPrev = 0.0f;
    float a0 = 1.0f;
    float a1 = static_cast<float>(x);
    float b0 = 0.0f;
    float b1 = 1.0f;
    float fac = 1.0f;
    for (int n = 1; n <= kFractionIterations; ++n) {
        const float ana = static_cast<float>(n - a);
        a0 = (a1 + a0 * ana) * fac;
        b0 = (b1 + b0 * ana) * fac;
        const float anf = static_cast<float>(n) * fac;
        a1 = static_cast<float>(x * a0 + anf * a1);
        b1 = static_cast<float>(x * b0 + anf * b1);
        if (a1 != 0.0f) {
            fac = 1.0f / a1;
            const float g = b1 * fac;
            if (std::fabs((g - gPrev) / g) < kFractionEpsilon) {
                *fraction_value =
                    static_cast<float>(std::exp(-x + a * std::log(x) - *ln_gamma_a) * g);
                return;
            }
            gPrev = g;
        }
    }
    numeric_error("a too large, ITMAX too small in routine GCF");
}

float complementary_error_function(double x) {
    // Checked here, so that the message names the routine the caller called.
    if (!std::isfinite(x)) {
        numeric_error("complementary_error_function: x is not a finite number");
    }
    // The float result is 0 (or 2) from |x| = 10.5 on, and x * x would overflow the fraction
    // for the largest x.
    if (std::fabs(x) >= 11.0) {
        return x < 0.0 ? 2.0f : 0.0f;
    }
    if (x < 0.0) {
        return 1.0f + GAMMP(0.5, x * x);
    }
    return GAMMQ(0.5, x * x);
}

void CHSONE(const float* observed, const float* expected, int32_t count, int32_t constraints,
            float* degrees, float* chi_square, float* probability) {
    *degrees = static_cast<float>(count - 1 - constraints);
    *chi_square = 0.0f;
    for (int32_t j = 1; j <= count; ++j) {
        if (expected[j] <= 0.0f) {
            numeric_error("Bad expected number in CHSONE");
        }
        const float d = observed[j] - expected[j];
        *chi_square += d * d / expected[j];
    }
    *probability = GAMMQ(0.5 * *degrees, 0.5 * *chi_square);
}

} // namespace numeric
