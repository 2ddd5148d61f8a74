#include "numeric/beta_tests.h"

#include "numeric/gamma.h"
#include "numeric/sort.h"
#include "numeric/vectors.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace numeric {

namespace {

constexpr int kFractionRounds = 100;
constexpr double kFractionTolerance = 3.0e-7;
constexpr int kSeriesTerms = 100;
constexpr float kTermRatio = 0.001f;
constexpr float kSumRatio = 1.0e-8f;

// The mean and variance of each of two samples.
struct TwoSamples {
    float ave1, var1, ave2, var2;
};

[[noreturn]] void RefuseSample(const char* routine, int which, const char* cause) {
    numeric_error(
        (std::string(routine) + ": sample " + std::to_string(which) + " " + cause).c_str());
}

// A variance that cannot enter a test ends the process naming the routine and the sample,
// before the test divides by it: otherwise the quotient reaches BETAI as a value that is not a
// number, whose message then blames x, or comes out infinite and is handed back as a result.
// One value leaves the variance 0/0; a value that is not a finite number, or squares beyond
// the float range, leave it infinite or not a number.
void DescribeSample(const char* routine, int which, const float* data, int n, float* ave,
                    float* var) {
    if (n < 2) {
        RefuseSample(routine, which, "has fewer than two values");
    }
    mean_and_variance(data, n, ave, var);
    if (!std::isfinite(*var)) {
        RefuseSample(routine, which, "has a variance that is not a finite number");
    }
}

TwoSamples Describe(const char* routine, const float* data1, int n1, const float* data2, int n2) {
    TwoSamples s{};
    DescribeSample(routine, 1, data1, n1, &s.ave1, &s.var1);
    DescribeSample(routine, 2, data2, n2, &s.ave2, &s.var2);
    return s;
}

} // namespace

double BETAI(double a, double b, double x) {
    // Written so that a value that is not a number fails too.
    if (!(x >= 0.0 && x <= 1.0)) {
        numeric_error("Bad x in routine BETAI");
    }
    float bt = 0.0f;
    if (x != 0.0 && x != 1.0) {
        const float lnGammaSum = static_cast<float>(log_gamma(a + b));
        const float lnRatio = static_cast<float>(lnGammaSum - log_gamma(a));
        bt = static_cast<float>(
            std::exp(lnRatio - log_gamma(b) + a * std::log(x) + b * std::log(1.0 - x)));
    }
    if (x < (a + 1.0) / (a + b + 2.0)) {
        return bt * BETACF(a, b, x) / a;
    }
    return 1.0 - bt * BETACF(b, a, 1.0 - x) / b;
}

float BETACF(double a, double b, double x) {
    const float qab = static_cast<float>(a + b);
    const float qap = static_cast<float>(a + 1.0);
    const float qam = static_cast<float>(a - 1.0);
    float am = 1.0f;
    float bm = 1.0f;
    double az = 1.0;
    float bz = static_cast<float>(1.0 - qab * x / qap);
    for (int m = 1; m <= kFractionRounds; ++m) {
        const double em = m;
        const double tem = 2 * m;
        double d = em * (b - em) * x / ((qam + tem) * (a + tem));
        const float ap = static_cast<float>(az + d * am);
        const float bp = static_cast<float>(bz + d * bm);
        d = -(a + em) * (qab + em) * x / ((a + tem) * (qap + tem));
        const double app = ap + d * az;
        const double bpp = bp + d * bz;
        const float aold = static_cast<float>(az);
        am = static_cast<float>(ap / bpp);
        bm = static_cast<float>(bp / bpp);
        az = app / bpp;
        bz = 1.0f;
        if (std::fabs(az - aold) < kFractionTolerance * std::fabs(az)) {
            return static_cast<float>(az);
        }
    }
    numeric_error("a or b too big, or ITMAX too small in BETACF");
}

void mean_and_variance(const float* data, int n, float* ave, float* var) {
    *var = 0.0f;
    *ave = 0.0f;
    for (int j = 1; j <= n; ++j) {
        *ave += data[j];
    }
    *ave /= static_cast<float>(n);
    for (int j = 1; j <= n; ++j) {
        const float s = data[j] - *ave;
        *var += s * s;
    }
    *var /= static_cast<float>(n - 1);
}

void student_t_test(const float* data1, int n1, const float* data2, int n2, float* t, float* prob) {
    const TwoSamples s = Describe("student_t_test", data1, n1, data2, n2);
    // Constant samples with different means give an infinite t and a significance of 0; with
    // the same mean t would be 0 / 0.
    if (s.var1 == 0.0f && s.var2 == 0.0f && s.ave1 == s.ave2) {
        numeric_error("student_t_test: both samples have variance 0 and the same mean");
    }
    const double df = n1 + n2 - 2;
    const double svar = ((n1 - 1) * static_cast<double>(s.var1) + (n2 - 1) * s.var2) / df;
    const double tValue =
        (static_cast<double>(s.ave1) - s.ave2) / std::sqrt(svar * (1.0 / n1 + 1.0 / n2));
    *t = static_cast<float>(tValue);
    *prob = static_cast<float>(BETAI(0.5 * df, 0.5, df / (df + tValue * tValue)));
}

void f_test(const float* data1, int n1, const float* data2, int n2, float* f, float* prob) {
    const TwoSamples s = Describe("f_test", data1, n1, data2, n2);
    if (s.var1 == 0.0f) {
        RefuseSample("f_test", 1, "has variance 0");
    }
    if (s.var2 == 0.0f) {
        RefuseSample("f_test", 2, "has variance 0");
    }
    double df1;
    double df2;
    if (s.var1 > s.var2) {
        *f = s.var1 / s.var2;
        df1 = n1 - 1;
        df2 = n2 - 1;
    } else {
        *f = s.var2 / s.var1;
        df1 = n2 - 1;
        df2 = n1 - 1;
    }
    const double p = 2.0 * BETAI(0.5 * df2, 0.5 * df1, df2 / (df2 + df1 * *f));
    *prob = static_cast<float>(p > 1.0 ? 2.0 - p : p);
}

void ks_two_sample_test(float* data1, int n1, float* data2, int n2, float* d, float* prob) {
    // A value that is not a number has no place in an ordering: the walk below could never step
    // past it.
    const auto anyNaN = [](const float* data, int n) {
        return std::any_of(data + 1, data + 1 + std::max(n, 0),
                           [](float v) { return std::isnan(v); });
    };
    if (anyNaN(data1, n1) || anyNaN(data2, n2)) {
        numeric_error("ks_two_sample_test: a sample holds a value that is not a number");
    }
    *d = 0.0f;
    heap_sort(n1, data1);
    heap_sort(n2, data2);
    const float en1 = static_cast<float>(n1);
    const float en2 = static_cast<float>(n2);
    float fn1 = 0.0f;
    float fn2 = 0.0f;
    int j1 = 1;
    int j2 = 1;
    while (j1 <= n1 && j2 <= n2) {
        // Both distributions step past every value equal to the smaller of the two next ones
        // before they are compared: a run of equal values is one step of its distribution, so
        // equal samples never open a gap, within one sample or across the two.
        const float next = std::min(data1[j1], data2[j2]);
        while (j1 <= n1 && data1[j1] <= next) {
            fn1 = static_cast<float>(j1++) / en1;
        }
        while (j2 <= n2 && data2[j2] <= next) {
            fn2 = static_cast<float>(j2++) / en2;
        }
        const float dt = std::fabs(fn2 - fn1);
        if (dt > *d) {
            *d = dt;
        }
    }
    const float en = std::sqrt(en1 * en2 / (en1 + en2));
    *prob = ks_probability(en * *d);
}

float ks_probability(double alam) {
    const float a2 = static_cast<float>(-2.0 * alam * alam);
    float fac = 2.0f;
    float sum = 0.0f;
    float termbf = 0.0f;
    for (int j = 1; j <= kSeriesTerms; ++j) {
        const float term = fac * std::exp(a2 * static_cast<float>(j * j));
        sum += term;
        if (std::fabs(term) <= kTermRatio * termbf || std::fabs(term) < kSumRatio * sum) {
            // Rounding of the alternating sum can lift it just above 1 at small alam.
            return sum > 1.0f ? 1.0f : sum;
        }
        fac = -fac;
        termbf = std::fabs(term);
    }
    // The terms hardly shrink only where alam is small, that is where Q is 1 within rounding.
    return 1.0f;
}

} // namespace numeric
