// One row of a frame buffer copied into the engine's colour and grey rows (CopyBgrRow and
// Copy444Row in engine/frame_copy.h).
#pragma once

#include "engine/frame_copy.h"
#include "engine/kernels/lanes.h"
#include "engine/pixel444.h"

namespace {

template <int kBytes>
void BgrPixels(const uint8_t* __restrict src, int32_t n, uint8_t* __restrict colour,
               uint8_t* __restrict grey) {
    for (int32_t j = 0; j < n; ++j) {
        const uint32_t blue = src[kBytes * j];
        const uint32_t green = src[kBytes * j + 1];
        const uint32_t red = src[kBytes * j + 2];
        colour[3 * j] = static_cast<uint8_t>(red);
        colour[3 * j + 1] = static_cast<uint8_t>(green);
        colour[3 * j + 2] = static_cast<uint8_t>(blue);
        grey[j] = GreyFromSum(red + green + blue);
    }
}

#if defined(__AVX2__)

// Byte shuffles of sixteen 3-byte pixels held in three 16-byte chunks: for each output byte,
// the index of its source byte within the chunk it comes from, or 0x80 (a zero byte) when it
// comes from another chunk. Output byte j of a chunk takes source byte source(j) of the 48.
struct ChunkShuffle {
    alignas(16) uint8_t from[3][16];
    template <typename Source> constexpr explicit ChunkShuffle(Source source) : from() {
        for (int j = 0; j < 16; ++j) {
            const int p = source(j);
            for (int chunk = 0; chunk < 3; ++chunk) {
                from[chunk][j] = static_cast<uint8_t>(p / 16 == chunk ? p % 16 : 0x80);
            }
        }
    }
};

// Red, green and blue swapped: colour byte 16 k + j takes source byte 3 (c / 3) + 2 - c % 3,
// c = 16 k + j.
constexpr int SwappedSource(int c) {
    return 3 * (c / 3) + 2 - c % 3;
}
constexpr ChunkShuffle kSwap[3] = {ChunkShuffle([](int j) { return SwappedSource(j); }),
                                   ChunkShuffle([](int j) { return SwappedSource(16 + j); }),
                                   ChunkShuffle([](int j) { return SwappedSource(32 + j); })};
// One channel of the sixteen pixels: byte j takes source byte 3 j + channel.
constexpr ChunkShuffle kChannel[3] = {ChunkShuffle([](int j) { return 3 * j; }),
                                      ChunkShuffle([](int j) { return 3 * j + 1; }),
                                      ChunkShuffle([](int j) { return 3 * j + 2; })};

inline __m256i ShuffleTable(const uint8_t* t) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

inline __m256i Gather(const __m256i chunk[3], const ChunkShuffle& s) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(chunk[0], ShuffleTable(s.from[0])),
                                           _mm256_shuffle_epi8(chunk[1], ShuffleTable(s.from[1]))),
                           _mm256_shuffle_epi8(chunk[2], ShuffleTable(s.from[2])));
}

inline void StoreHalves(uint8_t* low, uint8_t* high, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(low), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(high), _mm256_extracti128_si256(v, 1));
}

// Thirty-two 3-byte pixels a step, by byte shuffles: the first sixteen in the low lanes, the
// next sixteen in the high lanes, shuffled within each lane. Returns the pixels done.
int32_t Bgr24Shuffled(const uint8_t* src, int32_t n, uint8_t* colour, uint8_t* grey) {
    int32_t j = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i third = _mm256_set1_epi16(21846);
    for (; j + 32 <= n; j += 32) {
        const uint8_t* in = src + 3 * j;
        __m256i chunk[3];
        for (int k = 0; k < 3; ++k) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * k));
            const __m128i high =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48 + 16 * k));
            chunk[k] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        }
        uint8_t* out = colour + 3 * j;
        for (int k = 0; k < 3; ++k) {
            StoreHalves(out + 16 * k, out + 48 + 16 * k, Gather(chunk, kSwap[k]));
        }
        const __m256i b = Gather(chunk, kChannel[0]);
        const __m256i g = Gather(chunk, kChannel[1]);
        const __m256i r = Gather(chunk, kChannel[2]);
        // The channel sums in 16 bits, divided by 3 as GreyFromSum does.
        const __m256i lo =
            _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_add_epi16(_mm256_unpacklo_epi8(b, zero),
                                                                 _mm256_unpacklo_epi8(g, zero)),
                                                _mm256_unpacklo_epi8(r, zero)),
                               third);
        const __m256i hi =
            _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_add_epi16(_mm256_unpackhi_epi8(b, zero),
                                                                 _mm256_unpackhi_epi8(g, zero)),
                                                _mm256_unpackhi_epi8(r, zero)),
                               third);
        StoreHalves(grey + j, grey + j + 16, _mm256_packus_epi16(lo, hi));
    }
    return j;
}

#endif // __AVX2__

void BgrRow(const uint8_t* src, int32_t n, int32_t bytesPerPixel, uint8_t* colour, uint8_t* grey) {
    if (bytesPerPixel == 4) {
        BgrPixels<4>(src, n, colour, grey);
        return;
    }
    int32_t j = 0;
#if defined(__AVX2__)
    // Baseline x86-64 has no byte shuffle: there the plain loop does every pixel.
    j = Bgr24Shuffled(src, n, colour, grey);
#endif
    BgrPixels<3>(src + 3 * j, n - j, colour + 3 * j, grey + j);
}

void Row444(const uint8_t* __restrict src, int32_t n, uint8_t* __restrict colour,
            uint8_t* __restrict grey) {
    for (int32_t j = 0; j < n; ++j) {
        const uint32_t word = src[2 * j] | static_cast<uint32_t>(src[2 * j + 1]) << 8;
        const uint32_t sum = ((word >> 8) & 15) + ((word >> 4) & 15) + (word & 15);
        colour[2 * j] = src[2 * j];
        colour[2 * j + 1] = src[2 * j + 1];
        grey[j] = GreyFromSum(kExpand4To8 * sum);
    }
}

} // namespace
