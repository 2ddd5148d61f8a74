// Nearest-neighbour sampling of pictures into the screen's pixel forms, over plain buffers: the
// work view's mosaic view and results preview from the canvas and its frame preview from the
// preview buffer, and the video source's preview buffer from a decoded picture. Every line of a
// picture samples the same source columns, so they are found once a picture; nothing is
// allocated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sampling {

// The widest picture sampled; columns beyond it are left as they are.
constexpr int kMaxWidth = 1024;

// Lines of pixels to write: height rows of pitch bytes from top, each width pixels of
// bytesPerPixel bytes (2: the 5-6-5 form; any other: the 4-byte form). The work view's pictures
// are written in whole words: their lines start on a 4-byte boundary, as a QImage's do.
struct Lines {
    uint8_t* top;
    ptrdiff_t pitch;
    int width;
    int height;
    int bytesPerPixel;
};

// The engine's canvas as it stores itself: the picture's row y counted from the top is
// rows[nRows - 1 - y]; a pixel is red, green, blue, bytesPerPixel bytes from the next.
struct Canvas {
    uint8_t* const* rows;
    int nRows;
    int nCols;
    int bytesPerPixel;
};

// The work view's pictures hold native words: a 5-6-5 word, or 0xFFRRGGBB. A picture's line
// stops at the canvas's right edge and the picture at its bottom: what lies beyond them is
// left as it was.

// Mosaic view scrolled to (sx, sy) view pixels, z canvas pixels a view pixel: picture pixel
// (x, y) shows canvas column trunc((x + sx) z) of the picture's row trunc((y + sy) z).
void SampleMosaicView(const Canvas& canvas, const Lines& picture, int sx, int sy, float z);
// Results preview: picture pixel (x, y + yOffset) shows canvas column trunc(x scale) of the
// picture's row trunc(y scale).
void SampleResults(const Canvas& canvas, const Lines& picture, float scale, int yOffset);
// Frame preview: the preview buffer's pixels, in the video source's form (below) with rows
// previewPitch bytes apart, as the picture's, which has the same size and bytes a pixel.
void ShowPreview(const uint8_t* preview, ptrdiff_t previewPitch, const Lines& picture);

// The video source's preview buffer holds a 5-6-5 word low byte first, or blue, green and red
// with the fourth byte left as it was. It samples a decoded picture of width x height pixels
// (blue, green, red; its row y from the top at top + y * pitch) every step pixels: preview
// pixel (x, y) is the picture's pixel at column trunc(x s), row trunc(y s), with the positions
// summed in double steps. A step that is not a positive number samples nothing.
void SamplePreview(const uint8_t* top, ptrdiff_t pitch, int width, int height, double step,
                   const Lines& preview);

} // namespace sampling
