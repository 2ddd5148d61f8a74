#include "engine/window_means.h"

#include "engine/cpu_dispatch.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// A stretch of positions of one row that treat the window alike: whether a column enters the
// window at each step (i + half inside the row), whether one leaves it (i - half - 1 inside),
// and the window's columns at the first position, changing by `step` a position.
struct Stretch {
    int32_t first;
    int32_t end;
    int32_t columns;
    int32_t step;
};

struct RowArgs {
    const int32_t* colSums;
    int32_t half;
    int32_t count;
    const uint8_t* src; // null: the means themselves
    uint8_t* out;
};

inline uint8_t FloatMean(int32_t s, int32_t d) {
    return static_cast<uint8_t>(
        static_cast<int32_t>(static_cast<float>(s) / static_cast<float>(d)));
}

// The plain form, for the positions that do not fill a vector, and the reference of the others.
template <bool kEnter, bool kLeave>
void StretchScalar(const RowArgs& a, const Stretch& st, int32_t first, int32_t& s) {
    for (int32_t i = first; i < st.end; ++i) {
        if (kEnter) {
            s += a.colSums[i + a.half];
        }
        if (kLeave) {
            s -= a.colSums[i - a.half - 1];
        }
        const uint8_t mean = FloatMean(s, (st.columns + (i - st.first) * st.step) * a.count);
        a.out[i] = a.src == nullptr ? mean : NormalisedPixel(a.src[i], mean);
    }
}

#if defined(__SSE2__)

// The window sums of four positions are the running sum before them plus a prefix sum of what
// enters and leaves, formed in the register; the running sum goes on by the four's total.
template <bool kEnter, bool kLeave> inline __m128i Change4(const RowArgs& a, int32_t i) {
    __m128i v = _mm_setzero_si128();
    if (kEnter) {
        v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.colSums + i + a.half));
    }
    if (kLeave) {
        v = _mm_sub_epi32(
            v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.colSums + i - a.half - 1)));
    }
    v = _mm_add_epi32(v, _mm_slli_si128(v, 4));
    return _mm_add_epi32(v, _mm_slli_si128(v, 8));
}

// The integer quotient of integers held exactly in single precision: exact for the byte means
// and normalised pixels here (see kExactMeanDivisors), and for a larger quotient at least 255.
inline __m128i Quotient4(__m128 num, __m128 den) {
    return _mm_cvttps_epi32(_mm_div_ps(num, den));
}

// 128 src / mean for four pixels (not yet clipped), the mean 0 taken as 1.
inline __m128i Normalise4(__m128i src, __m128i mean) {
    const __m128i isZero = _mm_cmpeq_epi32(mean, _mm_setzero_si128());
    const __m128 p = _mm_mul_ps(_mm_set1_ps(128.0f), _mm_cvtepi32_ps(src));
    return Quotient4(p, _mm_cvtepi32_ps(_mm_sub_epi32(mean, isZero)));
}

template <bool kEnter, bool kLeave>
int32_t StretchSse2(const RowArgs& a, const Stretch& st, int32_t& s) {
    __m128i carry = _mm_set1_epi32(s);
    const float stepDivisor = static_cast<float>(st.step * a.count);
    __m128 divisor =
        _mm_add_ps(_mm_set1_ps(static_cast<float>(st.columns * a.count)),
                   _mm_mul_ps(_mm_set1_ps(stepDivisor), _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f)));
    const __m128 step4 = _mm_set1_ps(4.0f * stepDivisor);
    const __m128i zero = _mm_setzero_si128();
    int32_t i = st.first;
    for (; i + 8 <= st.end; i += 8) {
        const __m128i d0 = Change4<kEnter, kLeave>(a, i);
        const __m128i d1 = Change4<kEnter, kLeave>(a, i + 4);
        const __m128i s0 = _mm_add_epi32(d0, carry);
        carry = _mm_add_epi32(carry, _mm_shuffle_epi32(d0, 0xFF));
        const __m128i s1 = _mm_add_epi32(d1, carry);
        carry = _mm_add_epi32(carry, _mm_shuffle_epi32(d1, 0xFF));
        const __m128i m0 = Quotient4(_mm_cvtepi32_ps(s0), divisor);
        divisor = _mm_add_ps(divisor, step4);
        const __m128i m1 = Quotient4(_mm_cvtepi32_ps(s1), divisor);
        divisor = _mm_add_ps(divisor, step4);
        __m128i bytes;
        if (a.src == nullptr) {
            const __m128i m16 = _mm_packs_epi32(m0, m1);
            bytes = _mm_packus_epi16(m16, m16);
        } else {
            const __m128i px16 = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a.src + i)), zero);
            const __m128i q0 = Normalise4(_mm_unpacklo_epi16(px16, zero), m0);
            const __m128i q1 = Normalise4(_mm_unpackhi_epi16(px16, zero), m1);
            // Quotients stay below 2^15: the saturating packs clip them to 255, and the
            // all-ones mask of a zero mean packs to 255.
            const __m128i q16 = _mm_packs_epi32(q0, q1);
            const __m128i z16 =
                _mm_packs_epi32(_mm_cmpeq_epi32(m0, zero), _mm_cmpeq_epi32(m1, zero));
            bytes = _mm_or_si128(_mm_packus_epi16(q16, q16), _mm_packs_epi16(z16, z16));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(a.out + i), bytes);
    }
    s = _mm_cvtsi128_si32(carry);
    return i;
}

#if STILLO_X86_DISPATCH

STILLO_TARGET_AVX2 inline __m256i Quotient8(__m256 num, __m256 den) {
    return _mm256_cvttps_epi32(_mm256_div_ps(num, den));
}

template <bool kEnter, bool kLeave>
STILLO_TARGET_AVX2 inline __m256i Change8(const RowArgs& a, int32_t i) {
    __m256i v = _mm256_setzero_si256();
    if (kEnter) {
        v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a.colSums + i + a.half));
    }
    if (kLeave) {
        v = _mm256_sub_epi32(
            v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a.colSums + i - a.half - 1)));
    }
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
    // The low half's total goes on into the high half.
    const __m256i lowTotal = _mm256_shuffle_epi32(v, 0xFF);
    return _mm256_add_epi32(v, _mm256_permute2x128_si256(lowTotal, lowTotal, 0x08));
}

template <bool kEnter, bool kLeave>
STILLO_TARGET_AVX2 int32_t StretchAvx2(const RowArgs& a, const Stretch& st, int32_t& s) {
    __m256i carry = _mm256_set1_epi32(s);
    const __m256i last = _mm256_set1_epi32(7);
    const float stepDivisor = static_cast<float>(st.step * a.count);
    __m256 divisor = _mm256_add_ps(
        _mm256_set1_ps(static_cast<float>(st.columns * a.count)),
        _mm256_mul_ps(_mm256_set1_ps(stepDivisor),
                      _mm256_setr_ps(0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f)));
    const __m256 step8 = _mm256_set1_ps(8.0f * stepDivisor);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i byteMax = _mm256_set1_epi32(255);
    int32_t i = st.first;
    for (; i + 8 <= st.end; i += 8) {
        const __m256i d = Change8<kEnter, kLeave>(a, i);
        const __m256i sums = _mm256_add_epi32(d, carry);
        carry = _mm256_add_epi32(carry, _mm256_permutevar8x32_epi32(d, last));
        __m256i m = Quotient8(_mm256_cvtepi32_ps(sums), divisor);
        divisor = _mm256_add_ps(divisor, step8);
        if (a.src != nullptr) {
            const __m256i px =
                _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a.src + i)));
            const __m256i isZero = _mm256_cmpeq_epi32(m, zero);
            const __m256 p = _mm256_mul_ps(_mm256_set1_ps(128.0f), _mm256_cvtepi32_ps(px));
            const __m256 mf = _mm256_cvtepi32_ps(_mm256_sub_epi32(m, isZero));
            const __m256i q = _mm256_min_epi32(Quotient8(p, mf), byteMax);
            m = _mm256_or_si256(q, _mm256_srli_epi32(isZero, 24));
        }
        const __m128i m16 =
            _mm_packs_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(a.out + i), _mm_packus_epi16(m16, m16));
    }
    s = _mm256_cvtsi256_si32(carry);
    return i;
}

#endif // STILLO_X86_DISPATCH
#endif // __SSE2__

template <bool kEnter, bool kLeave>
void RunStretch(const RowArgs& a, const Stretch& st, int32_t& s) {
    if (st.first >= st.end) {
        return;
    }
    int32_t i = st.first;
#if defined(__SSE2__)
#if STILLO_X86_DISPATCH
    if (UseAvx2()) {
        i = StretchAvx2<kEnter, kLeave>(a, st, s);
    } else {
        i = StretchSse2<kEnter, kLeave>(a, st, s);
    }
#else
    i = StretchSse2<kEnter, kLeave>(a, st, s);
#endif
#endif
    StretchScalar<kEnter, kLeave>(a, st, i, s);
}

} // namespace

void ByteWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                     const uint8_t* src, uint8_t* out) {
    if (n < 1) {
        return;
    }
    const int32_t half = window / 2;
    const RowArgs a{colSums, half, count, src, out};
    int32_t s = 0;
    for (int32_t i = 0; i < std::min(half, n); ++i) {
        s += colSums[i];
    }
    // Position i takes in column i + half while that lies in the row (i < n - half) and lets
    // go of column i - half - 1 once that does (i > half).
    const int32_t entersUntil = std::max(0, n - half);
    const int32_t leavesFrom = std::min(half + 1, n);
    if (leavesFrom <= entersUntil) {
        // Clipped on the left, whole windows, clipped on the right.
        RunStretch<true, false>(a, {0, leavesFrom, half + 1, 1}, s);
        RunStretch<true, true>(a, {leavesFrom, entersUntil, 2 * half + 1, 0}, s);
        RunStretch<false, true>(a, {entersUntil, n, n - entersUntil + half, -1}, s);
    } else {
        // A row shorter than the window: clipped on the left, the whole row, on the right.
        RunStretch<true, false>(a, {0, entersUntil, half + 1, 1}, s);
        RunStretch<false, false>(a, {entersUntil, leavesFrom, n, 0}, s);
        RunStretch<false, true>(a, {leavesFrom, n, n - leavesFrom + half, -1}, s);
    }
}

void ExactWindowMeans(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                      uint8_t* out) {
    const int32_t half = window / 2;
    int64_t s = 0;
    for (int32_t i = 0; i < std::min(half, n); ++i) {
        s += colSums[i];
    }
    for (int32_t i = 0; i < n; ++i) {
        if (i + half < n) {
            s += colSums[i + half];
        }
        if (i - half - 1 >= 0) {
            s -= colSums[i - half - 1];
        }
        const int64_t columns = std::min(n - 1, i + half) - std::max(0, i - half) + 1;
        out[i] = static_cast<uint8_t>(s / (columns * count));
    }
}
