// A byte image of the engine's row-pointer form, with its size, released on scope exit: the
// images the engine tests fill, filter and compare.
#pragma once

#include "engine/image.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

namespace stillo_test {

struct ByteImage {
    int32_t rows, cols;
    IMAGE2D px;
    ByteImage(int32_t r, int32_t c) : rows(r), cols(c), px(AllocImage2D(r, c)) {}
    ~ByteImage() { FreeImage2D(px, rows); }
    ByteImage(const ByteImage&) = delete;
    ByteImage& operator=(const ByteImage&) = delete;

    uint8_t& operator()(int32_t x, int32_t y) { return px[y][x]; }
    uint8_t at(int32_t x, int32_t y) const { return px[y][x]; }
    void Fill(uint8_t v) {
        for (int32_t y = 0; y < rows; ++y) {
            std::memset(px[y], v, static_cast<size_t>(cols));
        }
    }
    // pixel(x, y) for every pixel.
    template <typename Pixel,
              typename = std::enable_if_t<std::is_invocable_v<Pixel, int32_t, int32_t>>>
    void Fill(Pixel pixel) {
        for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < cols; ++x) {
                px[y][x] = static_cast<uint8_t>(pixel(x, y));
            }
        }
    }
    void Random(std::mt19937& rng) {
        Fill([&](int32_t, int32_t) { return rng(); });
    }
    // The pixels, row after row.
    std::vector<uint8_t> Copy() const {
        std::vector<uint8_t> v;
        for (int32_t y = 0; y < rows; ++y) {
            v.insert(v.end(), px[y], px[y] + cols);
        }
        return v;
    }
};

} // namespace stillo_test
