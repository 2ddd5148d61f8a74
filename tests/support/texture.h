// Seeded textures with a known content and the frames a camera panning over one would see: the
// ground truth of the engine's tests and the input of its benchmarks.
#pragma once

#include "tests/support/frame_buffer.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace stillo_test {

struct Texture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // The engine's grey: the channels' mean, rounded down.
    uint8_t Grey(int x, int y) const {
        const Rgb c = At(x, y);
        return static_cast<uint8_t>((c.r + c.g + c.b) / 3);
    }
};

// The ground the disks lie on.
constexpr Rgb kTextureGround{90, 110, 70};

// The disks of a texture: how many (a negative count: one for every 600 pixels) and how large.
struct DiskSpec {
    int count = -1;
    int minRadius = 5;
    int maxRadius = 40;
};

// Overlapping disks in random colours on the ground. No channel of a disk is ever 0 (so a
// painted canvas pixel is never black) and its red differs from its blue (so a channel swap
// shows). The same seed gives the same texture.
inline Texture DiskTexture(int width, int height, unsigned seed, DiskSpec disks = {}) {
    Texture t{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height, kTextureGround)};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> channel(1, 255);
    std::uniform_int_distribution<int> radius(disks.minRadius, disks.maxRadius);
    const int count = disks.count < 0 ? width * height / 600 : disks.count;
    for (int i = 0; i < count; ++i) {
        const int cx = static_cast<int>(rng() % width);
        const int cy = static_cast<int>(rng() % height);
        const int r = radius(rng);
        Rgb c{static_cast<uint8_t>(channel(rng)), static_cast<uint8_t>(channel(rng)),
              static_cast<uint8_t>(channel(rng))};
        if (c.r == c.b) {
            c.b = static_cast<uint8_t>(c.r % 255 + 1);
        }
        for (int y = std::max(0, cy - r); y <= std::min(height - 1, cy + r); ++y) {
            for (int x = std::max(0, cx - r); x <= std::min(width - 1, cx + r); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                    t.pixels[static_cast<size_t>(y) * width + x] = c;
                }
            }
        }
    }
    return t;
}

// A point of a texture, y counted downwards.
struct Point {
    int x;
    int y;
};

// The frame whose top-left pixel is the texture's pixel at corner, laid out as the video
// source lays frames out.
inline void CutFrame(const Texture& tex, Point corner, FrameBuffer* frame) {
    for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x) {
            frame->Set(x, y, tex.At(corner.x + x, corner.y + y));
        }
    }
}

} // namespace stillo_test
