// The frame buffer: one frame as the video source fills it and the engine's owner reads it.
// Rows of the frame's width without padding; buffer row 0 is not used, the picture's top line is
// row 1 and its bottom line row H, so the picture's row b counted from the bottom is row H - b.
// The source writes 3 bytes a pixel (blue, green, red); the owner reads other pixel sizes too.
#pragma once

#include <cstddef>

namespace framebuffer {

constexpr int kBytesPerPixel = 3;

// The bytes of one row.
constexpr size_t Pitch(int width, int bytesPerPixel = kBytesPerPixel) {
    return static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
}
// The bytes a buffer needs for a frame of width x height: its rows and the unused row 0.
constexpr size_t Bytes(int width, int height, int bytesPerPixel = kBytesPerPixel) {
    return Pitch(width, bytesPerPixel) * (static_cast<size_t>(height) + 1);
}
// The buffer row of the picture's row y counted from the top.
constexpr size_t RowFromTop(int y) {
    return static_cast<size_t>(y) + 1;
}
// The buffer row of the picture's row b counted from the bottom, in a frame height rows high.
constexpr size_t RowFromBottom(int height, int b) {
    return static_cast<size_t>(height - b);
}

// The buffers the work view lends the video source, the frame buffer and the preview buffer
// alike: 1024 pixels across and 596 rows, 1,830,912 bytes. A video whose frames need more gets
// larger buffers of the source's own.
constexpr int kLentWidth = 1024;
constexpr int kLentRows = 596;
constexpr size_t kLentBytes = Pitch(kLentWidth) * kLentRows;

} // namespace framebuffer
