// The complex and real FFTs against a naive discrete Fourier transform, their inverses, and
// spectral smoothing.
#include "numeric/fourier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

using Spectrum = std::vector<std::complex<double>>;

// sum_k z_k exp(isign 2 pi i j k / n) for j = 0 .. count - 1, in double, the angles reduced
// exactly (j k mod n) and taken from a table.
Spectrum NaiveDft(const Spectrum& z, int isign, size_t count) {
    const size_t n = z.size();
    Spectrum twiddle(n), out(count);
    for (size_t m = 0; m < n; ++m) {
        twiddle[m] = std::polar(1.0, isign * 2.0 * M_PI * double(m) / double(n));
    }
    for (size_t j = 0; j < count; ++j) {
        for (size_t k = 0; k < n; ++k) {
            out[j] += z[k] * twiddle[j * k % n];
        }
    }
    return out;
}

// The largest error relative to the largest magnitude of the true transform.
double Deviation(const Spectrum& got, const Spectrum& truth) {
    double error = 0.0, scale = 0.0;
    for (size_t j = 0; j < got.size(); ++j) {
        error = std::max(error, std::abs(got[j] - truth[j]));
        scale = std::max(scale, std::abs(truth[j]));
    }
    return error / scale;
}

// fft_smooth's steps in double over a naive DFT of the series padded to m: the line through the
// end points out, every frequency 0 < j < m / 2 times max(0, 1 - (pts / m)^2 j^2), the highest
// times max(0, 1 - pts^2 / 4), the line back in.
std::vector<double> SmoothedByDft(const std::vector<float>& y, int n, double pts, int m) {
    const auto line = [&](int j) { return (y[1] * (n - j) + y[n] * (j - 1)) / (n - 1.0); };
    Spectrum padded(m);
    for (int j = 1; j <= n; ++j) {
        padded[j - 1] = y[j] - line(j);
    }
    Spectrum spectrum = NaiveDft(padded, 1, m);
    const double k = (pts / m) * (pts / m);
    for (int j = 1; j < m; ++j) {
        const int f = std::min(j, m - j);
        spectrum[j] *=
            f == m / 2 ? std::max(0.0, 1 - 0.25 * pts * pts) : std::max(0.0, 1 - k * f * f);
    }
    const Spectrum back = NaiveDft(spectrum, -1, m);
    std::vector<double> out(n + 1);
    for (int j = 1; j <= n; ++j) {
        out[j] = back[j - 1].real() / m + line(j);
    }
    return out;
}

} // namespace

TEST(Fft, ComplexAndRealTransformsMatchANaiveDftAndInvert) {
    std::mt19937 rng(19);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int nn = 1; nn <= 4096; nn *= 2) {
        std::vector<float> input(2 * nn + 1);
        Spectrum z(nn), reals(2 * nn);
        for (int i = 1; i <= 2 * nn; ++i) {
            input[i] = value(rng);
            reals[i - 1] = input[i];
        }
        for (int k = 0; k < nn; ++k) {
            z[k] = {input[2 * k + 1], input[2 * k + 2]};
        }
        // The inverse gives nn times the input.
        const auto expectRestored = [&](const std::vector<float>& data) {
            for (int i = 1; i <= 2 * nn; ++i) {
                ASSERT_NEAR(data[i] / nn, input[i], 1e-6) << nn << ", " << i;
            }
        };
        for (int isign : {1, -1}) {
            std::vector<float> data = input;
            numeric::complex_fft(data.data(), nn, isign);
            Spectrum got(nn);
            for (int k = 0; k < nn; ++k) {
                got[k] = {data[2 * k + 1], data[2 * k + 2]};
            }
            EXPECT_LT(Deviation(got, NaiveDft(z, isign, nn)), 8e-6) << nn << ", " << isign;
            numeric::complex_fft(data.data(), nn, -isign);
            expectRestored(data);
        }
        // The same values as 2nn reals: frequencies 0 .. nn, 0 and nn in data[1] and data[2].
        std::vector<float> data = input;
        numeric::real_fft(data.data(), nn, 1);
        Spectrum got(nn + 1);
        got[0] = data[1];
        got[nn] = data[2];
        for (int k = 1; k < nn; ++k) {
            got[k] = {data[2 * k + 1], data[2 * k + 2]};
        }
        EXPECT_LT(Deviation(got, NaiveDft(reals, 1, nn + 1)), 8e-6) << "real, " << nn;
        numeric::real_fft(data.data(), nn, -1);
        expectRestored(data);
    }
    float impulse[9] = {0, 1, 0, 0, 0, 0, 0, 0, 0};
    numeric::complex_fft(impulse, 4, 1);
    EXPECT_EQ(std::vector<float>(impulse + 1, impulse + 9),
              (std::vector<float>{1, 0, 1, 0, 1, 0, 1, 0}));
}

TEST(FftSmooth, MatchesItsStepsOverANaiveDftAndLowersNoise) {
    struct Case {
        int n;
        double pts;
        int m; // the padded length: the smallest power of 2 not below n + trunc(2 pts + 0.5)
        double (*signal)(int j);
    };
    const auto rough = [](int j) { return std::sin(0.7 * j * j) + 0.3 * j; };
    const Case cases[] = {
        {10, 3.0, 16, rough},
        {16, 0.2, 16, rough}, // n + 0 fills 16 exactly
        {16, 0.3, 32, rough}, // 2 pts + 0.5 = 1.1 adds one: 17
        {37, 1.0, 64, [](int j) { return j % 2 == 0 ? 1.0 : -1.0; }}, // the highest kept at 3/4
        {100, 8.0, 128, rough},
        {10, 3.0, 16, [](int j) { return 2.0 - 0.5 * j; }}, // a line comes back as it was
        {2, 5.0, 16, [](int j) { return 3.0 * j; }},
        {100, 0.0, 128, [](int j) { return std::sin(0.3 * j) + 0.01 * j * j; }}, // unchanged
    };
    for (const Case& c : cases) {
        // Exactly n + 1 elements: the padding is fft_smooth's own.
        std::vector<float> y(c.n + 1);
        for (int j = 1; j <= c.n; ++j) {
            y[j] = float(c.signal(j));
        }
        const std::vector<double> truth = SmoothedByDft(y, c.n, c.pts, c.m);
        numeric::fft_smooth(y.data(), c.n, c.pts);
        for (int j = 1; j <= c.n; ++j) {
            EXPECT_NEAR(y[j], truth[j], 2e-5 * (1.0 + std::fabs(truth[j]))) << c.n << ", " << j;
        }
    }
    // A noisy sine comes out nearer the sine.
    const int n = 500;
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::vector<float> y(n + 1), sine(n + 1);
    double before = 0.0, after = 0.0;
    for (int j = 1; j <= n; ++j) {
        sine[j] = float(std::sin(2.0 * M_PI * j / 125.0));
        y[j] = sine[j] + noise(rng);
        before += (y[j] - sine[j]) * (y[j] - sine[j]);
    }
    numeric::fft_smooth(y.data(), n, 10.0);
    for (int j = 1; j <= n; ++j) {
        after += (y[j] - sine[j]) * (y[j] - sine[j]);
    }
    EXPECT_LT(after, 0.25 * before);
}

TEST(FftDeathTest, ComplexFftRefusesALengthNotAPowerOfTwo) {
    std::vector<float> data(7, 1.0f);
    EXPECT_EXIT(numeric::complex_fft(data.data(), 3, 1), testing::ExitedWithCode(1),
                "\nLength not a power of 2 in routine complex_fft\n");
}

TEST(FftDeathTest, RealFftRefusesALengthNotAPowerOfTwo) {
    std::vector<float> data(13, 1.0f);
    EXPECT_EXIT(numeric::real_fft(data.data(), 6, -1), testing::ExitedWithCode(1),
                "\nLength not a power of 2 in routine real_fft\n");
}

TEST(FftDeathTest, FftSmoothRefusesFewerThanTwoPointsOrANegativeWidth) {
    std::vector<float> y(4, 1.0f);
    EXPECT_EXIT(numeric::fft_smooth(y.data(), 1, 2.0), testing::ExitedWithCode(1),
                "\nInvalid arguments in routine fft_smooth\n");
    EXPECT_EXIT(numeric::fft_smooth(y.data(), 3, -1.0), testing::ExitedWithCode(1),
                "\nInvalid arguments in routine fft_smooth\n");
}
