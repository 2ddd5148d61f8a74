// Edge features: a streaming smoothed-gradient detector with non-maximum suppression, one
// thinning pass, and the row routines they are built from.
#pragma once

#include "engine/image.h"

#include <cstdint>

// The smoothed gradient of one image row, handed to a sink as soon as the rows around it are
// known. The rings hold rows of `cols` floats; a row's slot is given by the three indices, the
// centre being the row whose gradient belongs to image row `outputRow`.
struct EDGE_GRADIENT_ROWS {
    float* const* gx; // horizontal gradient (left mean minus right mean)
    float* const* gy; // vertical gradient (later rows minus earlier rows)
    int cols;
    int window; // the odd window in use
    int prevSlot;
    int centreSlot;
    int nextSlot;
    int outputRow; // 0 .. rows - 2, in order
};
using EdgeGradientSink = void (*)(void* context, const EDGE_GRADIENT_ROWS& rows);

// The gradient core shared by every edge detector: window M (an even M is taken as M + 1; M
// above 64 or below 0 ends the process with status 1), binomial smoothing, running means.
// Returns 1, or 0 when its storage cannot be had (the sink is then never called).
int StreamSmoothedGradient(const IMAGE2D source, uint16_t rows, uint16_t cols, int window,
                           EdgeGradientSink sink, void* context);

// The edge windows the Edges features accept (an even one is taken as the next odd one).
constexpr int kMinEdgeWindow = 3;
constexpr int kMaxEdgeWindow = 63;

// Marks (255) the pixels whose smoothed gradient is above the threshold and locally maximal
// across the edge. Output rows 0 .. rows - 2 are written with 0 or 255; the last is left as
// it was. Returns 1, or 0 on exhausted memory with the output untouched. A window outside
// kMinEdgeWindow .. kMaxEdgeWindow ends the process with status 1.
int DetectEdges(const IMAGE2D source, uint16_t rows, uint16_t cols, int window, float threshold,
                IMAGE2D output);

// One output row of non-maximum suppression over the gradient rings.
void SuppressNonMaxima(float* const* gx, float* const* gy, int cols, int prevSlot, int centreSlot,
                       int nextSlot, uint8_t* outputRow, float threshold);

// The squared gradient magnitude interpolated on one side (0 or 1) of interior pixel c of the
// centre ring row, between the two pixels its gradient direction passes between: a pixel is a
// maximum across its edge when its own squared magnitude is strictly greater than both sides
// (side 0 is the one every suppression tests first).
float GradientNeighbour(float* const* gx, float* const* gy, int prevSlot, int centreSlot,
                        int nextSlot, int c, int side);

// The thinning test of one interior pixel c of row, between the rows below (r - 1) and above
// (r + 1): true when its set neighbours match one of the eight templates that only thicken a
// line, so removing it keeps lines connected and their ends in place. Every thinning pass of the
// engine decides with this test.
bool ThinningRemoves(const uint8_t* below, const uint8_t* row, const uint8_t* above, int c);

// One thinning pass in place, rows from the top down, columns left to right. pixelCount receives
// the non-zero interior pixels on entry, percentRemoved the share of them removed (0 when there
// were none).
void ThinEdges(IMAGE2D image, uint16_t rows, uint16_t cols, int* percentRemoved, int* pixelCount);

// kernel[i] = C(n - 1, i) / sum of C(n - 1, j), i = 0 .. n - 1.
void BinomialKernel(int n, float* kernel);

// out[i] = truncated mean of source over the window of half-width W / 2 about i, clipped to
// the row (divided by the number of samples inside it).
void RunningMeanRow(int n, int window, const uint8_t* source, int32_t* output);

// The row convolved with a symmetric kernel of odd length M; near the ends the taps inside
// the row are renormalised. An even M ends the process with status 1.
void SymmetricConvolveRow(int n, int window, const float* kernel, const float* source,
                          float* output);
