// Frame buffers laid out as the video source fills them (FrameBuffer.h), pixels blue-green-red.
#pragma once

#include "FrameBuffer.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace stillo_test {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

struct FrameBuffer {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;

    FrameBuffer(int w, int h) : width(w), height(h), bytes(framebuffer::Bytes(w, h), 0) {}

    // The picture's pixel at column x, row y counted from the TOP (y = 0 is the top line).
    uint8_t* PixelFromTop(int x, int y) {
        return bytes.data() + framebuffer::RowFromTop(y) * framebuffer::Pitch(width) +
               framebuffer::Pitch(x);
    }
    void Set(int x, int yFromTop, Rgb c) {
        uint8_t* p = PixelFromTop(x, yFromTop);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
    Rgb Get(int x, int yFromTop) {
        const uint8_t* p = PixelFromTop(x, yFromTop);
        return {p[2], p[1], p[0]};
    }
};

// Fills a frame from picture(x, yFromTop) -> Rgb.
template <typename Picture> FrameBuffer MakeFrame(int w, int h, Picture picture) {
    FrameBuffer frame(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            frame.Set(x, y, picture(x, y));
        }
    }
    return frame;
}

} // namespace stillo_test
