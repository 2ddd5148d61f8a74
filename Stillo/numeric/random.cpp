#include "numeric/random.h"

#include "numeric/gamma.h"
#include "numeric/vectors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace numeric {

namespace {

// Generator 1 gives a table value's high-order part, generator 2 its low-order part, and
// generator 3 chooses the slot that is handed out next.
constexpr int64_t kModulus1 = 259200;
constexpr int64_t kMultiplier1 = 7141;
constexpr int64_t kIncrement1 = 54773;
constexpr int64_t kModulus2 = 134456;
constexpr int64_t kMultiplier2 = 8121;
constexpr int64_t kIncrement2 = 28411;
constexpr int64_t kModulus3 = 243000;
constexpr int64_t kMultiplier3 = 4561;
constexpr int64_t kIncrement3 = 51349;
constexpr double kScale1 = 3.858024691358025e-06; // 1 / kModulus1
constexpr double kScale2 = 7.437377283274826e-06; // 1 / kModulus2
constexpr int kTableSize = 97;

struct UniformState {
    int seeded = 0;
    // 64-bit, so that forming a state from any 32-bit seed cannot overflow; every valid state
    // and every product of a multiplier with one fits 32 bits, so the sequences are unchanged.
    int64_t state1 = 0;
    int64_t state2 = 0;
    int64_t state3 = 0;
    float r[kTableSize + 1] = {}; // r[1..97]
};
UniformState g_uniform;

// A table value: generator 1's state with generator 2's as the digits below it.
float TableValue(const UniformState& u) {
    return static_cast<float>((static_cast<double>(u.state1) + u.state2 * kScale2) * kScale1);
}

void Step1(UniformState& u) {
    u.state1 = (kMultiplier1 * u.state1 + kIncrement1) % kModulus1;
}

void Step2(UniformState& u) {
    u.state2 = (kMultiplier2 * u.state2 + kIncrement2) % kModulus2;
}

void Reseed(UniformState& u, int32_t seed) {
    u.seeded = 1;
    // The C++ remainder has the dividend's sign, as the generators' arithmetic expects.
    u.state1 = (kIncrement1 - int64_t{seed}) % kModulus1;
    Step1(u);
    u.state2 = u.state1 % kModulus2;
    Step1(u);
    u.state3 = u.state1 % kModulus3;
    for (int j = 1; j <= kTableSize; ++j) {
        Step1(u);
        Step2(u);
        u.r[j] = TableValue(u);
    }
}

// The saved second value of a pair of normal deviates.
struct SavedDeviate {
    int has_saved = 0;
    float saved = 0.0f;
};
SavedDeviate g_normal;
SavedDeviate g_scaledNormal;

// The generator's slot choice and the high-order part of its values repeat together every
// 3,888,000 draws, so 2^21 pairs cover a whole period of pairs from any start: a scale whose
// pairs do not fall inside the unit circle within them never will from there.
constexpr int64_t kMostPolarPairs = int64_t{1} << 21;

// The polar method over draws mapped to -1 .. 1 by `draw`: pairs are drawn until one falls
// strictly inside the unit circle, and both of its values are used.
template <class Draw> float PolarDeviate(SavedDeviate& state, Draw draw, const char* noPairInside) {
    if (state.has_saved == 1) {
        state.has_saved = 0;
        return state.saved;
    }
    float u1;
    float u2;
    float r2;
    int64_t pairs = 0;
    do {
        if (pairs++ == kMostPolarPairs) {
            numeric_error(noPairInside);
        }
        u1 = draw();
        u2 = draw();
        r2 = u1 * u1 + u2 * u2;
    } while (!(r2 > 0.0f && r2 < 1.0f));
    // The logarithm of the double, not the float overload.
    const float fac = static_cast<float>(std::sqrt(-2.0 * std::log(double{r2}) / r2));
    state.saved = u1 * fac;
    state.has_saved = 1;
    return u2 * fac;
}

// Whether draws u = 2 (x s s) - 1, x a value RAN1 can return, can fall inside the unit circle.
// x lies in [0, 1], and a non-zero x is at least the smallest table value; a zero x gives
// u = -1, which never helps. So u ranges over [2 m s s - 1, 2 s s - 1] and a pair can land
// inside only when some u of that range has u * u below one half.
bool UnitCircleReachable(double s) {
    if (!std::isfinite(s)) {
        return false;
    }
    const double smallestDraw = static_cast<double>(static_cast<float>(kScale2 * kScale1));
    const double lo = 2.0 * (smallestDraw * s * s) - 1.0;
    const double hi = 2.0 * (s * s) - 1.0;
    const double nearest = (lo <= 0.0 && hi >= 0.0) ? 0.0 : std::min(std::fabs(lo), std::fabs(hi));
    return 2.0 * nearest * nearest < 1.0;
}

struct PoissonState {
    float last_mean = -1.0f;
    float g = 0.0f;
    float root_2mean = 0.0f;
    float ln_mean = 0.0f;
};
PoissonState g_poisson;

constexpr double kPoissonPi = 3.141592654;
constexpr double kDirectMethodBelow = 12.0;
// The rejection method keeps g in a float. From 2^21 on its rounding (up to 1/8 and more in the
// exponent) can lift the acceptance ratio above 1, which bends the distribution (at a mean of
// 1e7 the variance comes out 1.18 times the mean); from 2^24 on a float holds no odd count,
// and near 7e8 the ratio falls so low that no draw is accepted.
constexpr double kLargestPoissonMean = 2097152.0;

constexpr const char* kNormalNoPairInside =
    "normal_deviate: no pair of draws falls inside the unit circle";
constexpr const char* kScaledNoPairInside =
    "scaled_normal_deviate: no pair of draws falls inside the unit circle at this scale";

} // namespace

float RAN1(int32_t* seed) {
    UniformState& u = g_uniform;
    if (*seed < 0 || u.seeded == 0) {
        Reseed(u, *seed);
        *seed = 1;
    }
    Step1(u);
    Step2(u);
    u.state3 = (kMultiplier3 * u.state3 + kIncrement3) % kModulus3;
    const int64_t j = 1 + (kTableSize * u.state3) / kModulus3;
    if (j > kTableSize || j < 1) {
        numeric_error("RAN1: This cannot happen.");
    }
    const float value = u.r[j];
    u.r[j] = TableValue(u);
    return value;
}

float normal_deviate(int32_t* seed) {
    return PolarDeviate(
        g_normal, [seed] { return static_cast<float>(2.0 * RAN1(seed) - 1.0); },
        kNormalNoPairInside);
}

float scaled_normal_deviate(int32_t* seed, double s) {
    // A value saved from an earlier pair is still handed out; only a fresh pair needs draws.
    if (g_scaledNormal.has_saved != 1 && !UnitCircleReachable(s)) {
        numeric_error(kScaledNoPairInside);
    }
    return PolarDeviate(
        g_scaledNormal, [seed, s] { return static_cast<float>(2.0 * (RAN1(seed) * s * s) - 1.0); },
        kScaledNoPairInside);
}

float exponential_deviate(int32_t* seed) {
    // A draw of exactly 0 (both generators at 0) would give an infinite deviate.
    float x;
    do {
        x = RAN1(seed);
    } while (x == 0.0f);
    return static_cast<float>(-std::log(double{x}));
}

float poisson_deviate(double mean, int32_t* seed) {
    // Written so that a mean that is not a number fails too.
    if (!(mean < kLargestPoissonMean)) {
        numeric_error("poisson_deviate: the mean must be a number below 2097152");
    }
    // Refused also because the constants start out as those of a mean of -1: that mean would
    // find them prepared and count draws until their product underflowed.
    if (mean < 0.0) {
        numeric_error("poisson_deviate: the mean must not be negative");
    }
    PoissonState& p = g_poisson;
    if (mean < kDirectMethodBelow) {
        if (mean != static_cast<double>(p.last_mean)) {
            p.last_mean = static_cast<float>(mean);
            p.g = static_cast<float>(std::exp(-mean));
        }
        // Count the draws whose running product stays above e^-mean.
        float k = -1.0f;
        float t = 1.0f;
        do {
            k += 1.0f;
            t *= RAN1(seed);
        } while (!(t <= p.g));
        return k;
    }
    if (mean != static_cast<double>(p.last_mean)) {
        p.last_mean = static_cast<float>(mean);
        p.root_2mean = static_cast<float>(std::sqrt(2.0 * mean));
        p.ln_mean = static_cast<float>(std::log(mean));
        p.g = static_cast<float>(mean * p.ln_mean - log_gamma(mean + 1.0));
    }
    float k;
    float t;
    do {
        float y;
        do {
            // A Lorentzian deviate, scaled to the distribution's width.
            y = static_cast<float>(std::tan(kPoissonPi * RAN1(seed)));
            k = static_cast<float>(p.root_2mean * static_cast<double>(y) + mean);
        } while (k < 0.0f);
        k = std::floor(k);
        const double yy = static_cast<double>(y) * y;
        t = static_cast<float>(0.9 * (1.0 + yy) *
                               std::exp(static_cast<double>(k) * p.ln_mean -
                                        log_gamma(static_cast<double>(k) + 1.0) - p.g));
    } while (RAN1(seed) > t);
    return k;
}

} // namespace numeric
