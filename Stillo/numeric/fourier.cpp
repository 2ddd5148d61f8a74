#include "numeric/fourier.h"

#include "numeric/vectors.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace numeric {

namespace {

// The largest length fft_smooth pads to: its work vector's upper bound is a 32-bit int.
constexpr int64_t kLargestSmoothingLength = int64_t{1} << 30;

bool IsPowerOfTwo(int64_t n) {
    return n >= 1 && (n & (n - 1)) == 0;
}

// wr + i wi times wpr + 1 + i wpi: the next twiddle factor, by the trigonometric recurrence.
void AdvanceTwiddle(double& wr, double& wi, double wpr, double wpi) {
    const double wtemp = wr;
    wr = wr * wpr - wi * wpi + wr;
    wi = wi * wpr + wtemp * wpi + wi;
}

} // namespace

void complex_fft(float* data, int nn, int isign) {
    // Any other length would read and write past data[2nn] in the bit reversal.
    if (!IsPowerOfTwo(nn)) {
        numeric_error("Length not a power of 2 in routine complex_fft");
    }
    // Indices in 64 bits: 2nn itself does not fit a 32-bit int for nn = 2^30.
    const int64_t n = 2 * int64_t{nn};
    int64_t j = 1;
    for (int64_t i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int64_t m = n / 2;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    int64_t mmax = 2;
    while (n > mmax) {
        const int64_t istep = 2 * mmax;
        const double theta = 6.28318530717959 / static_cast<double>(isign * mmax);
        const double wtemp = std::sin(0.5 * theta);
        const double wpr = -2.0 * wtemp * wtemp;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int64_t m = 1; m < mmax; m += 2) {
            for (int64_t i = m; i <= n; i += istep) {
                const int64_t k = i + mmax;
                const float tempr = static_cast<float>(wr * data[k] - wi * data[k + 1]);
                const float tempi = static_cast<float>(wr * data[k + 1] + wi * data[k]);
                data[k] = data[i] - tempr;
                data[k + 1] = data[i + 1] - tempi;
                data[i] += tempr;
                data[i + 1] += tempi;
            }
            AdvanceTwiddle(wr, wi, wpr, wpi);
        }
        mmax = istep;
    }
}

void real_fft(float* data, int n, int isign) {
    if (!IsPowerOfTwo(n)) {
        numeric_error("Length not a power of 2 in routine real_fft");
    }
    double theta = 3.141592653589793 / n;
    const float c1 = 0.5f;
    float c2 = 0.5f;
    if (isign == 1) {
        c2 = -0.5f;
        complex_fft(data, n, 1);
    } else {
        theta = -theta;
    }
    const double wtemp = std::sin(0.5 * theta);
    const double wpr = -2.0 * wtemp * wtemp;
    const double wpi = std::sin(theta);
    double wr = 1.0 + wpr;
    double wi = wpi;
    const int64_t np3 = 2 * int64_t{n} + 3;
    for (int64_t i = 2; i <= n / 2; ++i) {
        const int64_t i1 = 2 * i - 1;
        const int64_t i2 = i1 + 1;
        const int64_t i3 = np3 - i2;
        const int64_t i4 = i3 + 1;
        const float h1r = c1 * (data[i1] + data[i3]);
        const float h1i = c1 * (data[i2] - data[i4]);
        const float h2r = -c2 * (data[i2] + data[i4]);
        const float h2i = c2 * (data[i1] - data[i3]);
        data[i1] = static_cast<float>(h1r + wr * h2r - wi * h2i);
        data[i2] = static_cast<float>(h1i + wr * h2i + wi * h2r);
        data[i3] = static_cast<float>(h1r - wr * h2r + wi * h2i);
        data[i4] = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        AdvanceTwiddle(wr, wi, wpr, wpi);
    }
    const float h1r = data[1];
    if (isign == 1) {
        data[1] = h1r + data[2];
        data[2] = h1r - data[2];
    } else {
        data[1] = c1 * (h1r + data[2]);
        data[2] = c1 * (h1r - data[2]);
        complex_fft(data, n, -1);
    }
}

void fft_smooth(float* y, int n, double pts) {
    if (n < 2 || !(pts >= 0.0) ||
        n + std::trunc(2.0 * pts + 0.5) > static_cast<double>(kLargestSmoothingLength)) {
        numeric_error("Invalid arguments in routine fft_smooth");
    }
    const int64_t nmin = n + static_cast<int64_t>(std::trunc(2.0 * pts + 0.5));
    int64_t m = 2;
    while (m < nmin) {
        m *= 2;
    }
    const float k = static_cast<float>((pts / m) * (pts / m));
    // The padded series lives in a vector of its own, not in the caller's y[n+1..m].
    float* s = vector(1, static_cast<int32_t>(m));
    for (int j = 1; j <= n; ++j) {
        s[j] = y[j];
    }
    // The line through the end points, taken out and put back at the end.
    const float y1 = s[1];
    const float yn = s[n];
    const float rn1 = static_cast<float>(1.0 / (n - 1.0));
    auto line = [=](int j) {
        return rn1 * (y1 * static_cast<float>(n - j) + yn * static_cast<float>(j - 1));
    };
    for (int j = 1; j <= n; ++j) {
        s[j] -= line(j);
    }
    for (int64_t j = n + 1; j <= m; ++j) {
        s[j] = 0.0f;
    }
    const int64_t mo2 = m / 2;
    real_fft(s, static_cast<int>(mo2), 1);
    s[1] /= static_cast<float>(mo2);
    float fac = 1.0f;
    for (int64_t j = 1; j < mo2; ++j) {
        const int64_t k2 = 2 * j + 1;
        if (fac != 0.0f) {
            fac = static_cast<float>((1.0 - k * static_cast<double>(j) * j) / mo2);
            if (fac < 0.0f) {
                fac = 0.0f;
            }
            s[k2] *= fac;
            s[k2 + 1] *= fac;
        } else {
            s[k2] = 0.0f;
            s[k2 + 1] = 0.0f;
        }
    }
    fac = static_cast<float>((1.0 - 0.25 * pts * pts) / mo2);
    if (fac < 0.0f) {
        fac = 0.0f;
    }
    s[2] *= fac;
    // The divisions by mo2 above are the normalisation of this round trip.
    real_fft(s, static_cast<int>(mo2), -1);
    for (int j = 1; j <= n; ++j) {
        y[j] = s[j] + line(j);
    }
    release_vector(s, 1, static_cast<int32_t>(m));
}

} // namespace numeric
