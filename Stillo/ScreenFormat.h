// The screen's pixel forms, shared by the video source's preview buffer and the work view's
// pictures, and the size of the frame preview that the one fills and the other shows.
#pragma once

#include <array>
#include <cstdint>

namespace screen {

// The frame preview: the part of the preview buffer the work view shows, and its row pitch.
constexpr int kPreviewWidth = 275;
constexpr int kPreviewHeight = 220;

// Bytes a pixel of the two screen forms: one 16-bit 5-6-5 word (low byte first), or blue,
// green, red and a fourth byte.
constexpr int kBytes565 = 2;
constexpr int kBytes32 = 4;

// A 16-bit screen pixel: 5 bits red, 6 green, 5 blue, each the channel scaled down and
// truncated (the integer quotients equal the byte times 31/255 or 63/255 in double precision).
constexpr uint16_t Pack565(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint16_t>((r * 31 / 255) << 11 | (g * 63 / 255) << 5 | (b * 31 / 255));
}

// Each channel's field of a 5-6-5 word, already shifted into place, so a pixel is three
// look-ups instead of three divisions.
struct Channels565 {
    std::array<uint16_t, 256> red{}, green{}, blue{};
};

constexpr Channels565 MakeChannels565() {
    Channels565 t;
    for (int v = 0; v < 256; ++v) {
        const auto c = static_cast<uint8_t>(v);
        t.red[v] = Pack565(c, 0, 0);
        t.green[v] = Pack565(0, c, 0);
        t.blue[v] = Pack565(0, 0, c);
    }
    return t;
}

inline constexpr Channels565 kChannels565 = MakeChannels565();

// The 5-6-5 word of red, green and blue bytes, through the tables.
inline uint16_t To565(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint16_t>(kChannels565.red[r] | kChannels565.green[g] |
                                 kChannels565.blue[b]);
}

} // namespace screen
