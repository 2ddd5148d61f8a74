// The vector lanes of the instruction set a kernel is compiled for, and the few operations on
// them that the compiler does not make well from plain vector code (moving between byte and
// 32-bit lanes, a mask of bytes, a population count). The kernels are written once, on these
// lanes; the one other instruction-set-specific step is the 3-byte frame copy's byte shuffles,
// which baseline x86-64 has no instruction for (engine/kernels/frame_rows.h).
//
// Only the kernel headers include this, and like them it gives everything internal linkage:
// each form's translation unit keeps its own copy, compiled for its own instruction set, and
// no form can end up running another's (see engine/kernels/form.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// 32-bit lanes in one register: eight with AVX2, four in baseline x86-64 (and elsewhere).
#if defined(__AVX2__)
constexpr int kIntLanes = 8;
#else
constexpr int kIntLanes = 4;
#endif
static_assert(kIntLanes == 4 || kIntLanes == 8);
// Bytes in one register.
constexpr int kByteLanes = 4 * kIntLanes;

typedef int32_t LaneInts __attribute__((vector_size(4 * kIntLanes)));
typedef float LaneFloats __attribute__((vector_size(4 * kIntLanes)));

inline LaneInts LoadInts(const int32_t* p) {
    LaneInts v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline LaneFloats ToFloats(LaneInts v) {
    return __builtin_convertvector(v, LaneFloats);
}

// Toward zero, as a scalar conversion; every lane must fit in 32 bits.
inline LaneInts Truncated(LaneFloats v) {
    return __builtin_convertvector(v, LaneInts);
}

// 0, 1, 2, ... across the lanes.
inline LaneFloats LaneIndices() {
    LaneFloats v{};
    for (int i = 0; i < kIntLanes; ++i) {
        v[i] = static_cast<float>(i);
    }
    return v;
}

// Lane i takes lane i - kBy; the lanes below kBy take 0.
template <int kBy, size_t... kLane>
inline LaneInts ShiftedUp(LaneInts v, std::index_sequence<kLane...>) {
    return __builtin_shufflevector(
        LaneInts{}, v,
        (static_cast<int>(kLane) < kBy ? 0 : kIntLanes + static_cast<int>(kLane) - kBy)...);
}

// Lane i becomes the sum of lanes 0 .. i.
inline LaneInts PrefixSums(LaneInts v) {
    constexpr auto lanes = std::make_index_sequence<kIntLanes>();
    v += ShiftedUp<1>(v, lanes);
    v += ShiftedUp<2>(v, lanes);
    if constexpr (kIntLanes == 8) {
        v += ShiftedUp<4>(v, lanes);
    }
    return v;
}

template <size_t... kLane>
inline LaneInts LastEverywhere(LaneInts v, std::index_sequence<kLane...>) {
    return __builtin_shufflevector(v, v, (static_cast<int>(kLane) * 0 + kIntLanes - 1)...);
}

// The last lane in every lane.
inline LaneInts LastEverywhere(LaneInts v) {
    return LastEverywhere(v, std::make_index_sequence<kIntLanes>());
}

// kIntLanes bytes, one a lane.
inline LaneInts WidenBytes(const uint8_t* p) {
#if defined(__AVX2__)
    int64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return reinterpret_cast<LaneInts>(_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(bytes)));
#elif defined(__SSE2__)
    int32_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const __m128i zero = _mm_setzero_si128();
    return reinterpret_cast<LaneInts>(
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero));
#else
    LaneInts v{};
    for (int i = 0; i < kIntLanes; ++i) {
        v[i] = p[i];
    }
    return v;
#endif
}

// Every lane clipped to 0 .. 255 and stored as a byte.
inline void StoreClippedBytes(LaneInts v, uint8_t* out) {
#if defined(__AVX2__)
    const __m256i m = reinterpret_cast<__m256i>(v);
    const __m128i m16 = _mm_packs_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(m16, m16));
#elif defined(__SSE2__)
    const __m128i m = reinterpret_cast<__m128i>(v);
    const __m128i m16 = _mm_packs_epi32(m, m);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(m16, m16));
    std::memcpy(out, &bytes, sizeof bytes);
#else
    for (int i = 0; i < kIntLanes; ++i) {
        out[i] = static_cast<uint8_t>(v[i] < 0 ? 0 : v[i] > 255 ? 255 : v[i]);
    }
#endif
}

// One bit for each of kByteLanes bytes, set where the byte is not 0; each run of sixteen bytes
// gives sixteen bits with its first byte at the top, the first run in the low bits.
inline uint32_t SetBytesFirstOnTop(const uint8_t* p) {
#if defined(__AVX2__)
    const __m256i reverse = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
                                             15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i empty =
        _mm256_shuffle_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256()), reverse);
    return ~static_cast<uint32_t>(_mm256_movemask_epi8(empty));
#elif defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // The sixteen bytes reversed: the double words, the words within them, the bytes within
    // those.
    __m128i empty = _mm_shuffle_epi32(_mm_cmpeq_epi8(v, _mm_setzero_si128()), 0x1B);
    empty = _mm_shufflehi_epi16(_mm_shufflelo_epi16(empty, 0xB1), 0xB1);
    empty = _mm_or_si128(_mm_slli_epi16(empty, 8), _mm_srli_epi16(empty, 8));
    return static_cast<uint32_t>(_mm_movemask_epi8(empty)) ^ 0xFFFFu;
#else
    uint32_t bits = 0;
    for (int k = 0; k < kByteLanes; ++k) {
        bits |= static_cast<uint32_t>(p[k] != 0) << (16 * (k / 16) + 15 - k % 16);
    }
    return bits;
#endif
}

// Set bits of a word: the instruction where the form has it, else without one.
[[gnu::always_inline]] inline uint64_t BitCount(uint64_t v) {
#if defined(__POPCNT__)
    return static_cast<uint64_t>(__builtin_popcountll(v));
#else
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (v * 0x0101010101010101ull) >> 56;
#endif
}

// The smaller and larger of two, for kernels, which call nothing shared with other forms.
template <typename T> inline T Least(T a, T b) {
    return b < a ? b : a;
}
template <typename T> inline T Most(T a, T b) {
    return a < b ? b : a;
}

} // namespace
