// The mosaic canvas: strip painting and growth of the canvas buffers.
#pragma once

#include "engine/records.h"

// Paints the strip of the frame just registered, chosen by the main direction of motion and
// the brush. rows and cols are the frame's reduced size, dx and dy the shift just measured.
// 1 when painted (or painting is off); 0 when a canvas growth ran out of memory, and then the
// frame is only partly painted.
int PaintFrameStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows,
                    int cols, int dx, int dy, const MOSAIC_SETTINGS* settings);

// Paints a band of the frame centred on (posX, posY): angle 0/180 a band of rows, 90/270 a band
// of columns (a negative angle has 360 added); width in frame pixels. Grows the canvas as
// needed. 1 when done; 0 when a growth failed.
int PaintStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, IMAGE2D features, int rows, int cols,
               int posX, int posY, int angle, int width, const MOSAIC_SETTINGS* settings);

// Writes frame pixel (r, k) at mosaic point (x, y), which must lie inside the canvas: a copy,
// a blend with what is painted, or the feature overlay.
void PutCanvasPixel(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                    int y, int x, const MOSAIC_SETTINGS* settings);

// Writes frame pixels (r, k) .. (r, k + count - 1) at mosaic points (x, y) .. (x + count - 1, y),
// all of which must lie inside the canvas, exactly as PutCanvasPixel writes each of them; a
// copy without blending or overlay is one block copy.
void PutCanvasRun(MOSAIC_PARAMS* canvas, IMAGE2D features, IMAGE2D colourRows, int r, int k,
                  int count, int y, int x, const MOSAIC_SETTINGS* settings);

// Grows the canvas by one step on each side that (x, y) lies on or beyond, under the canvas
// mutex. 1 when done; 0 when memory ran out or the canvas would outgrow what its sizes can
// address, and then the side that failed is left exactly as it was.
int GrowCanvasToFit(int y, int x, MOSAIC_PARAMS* canvas);

int Min4(int a, int b, int c, int d);
int Max4(int a, int b, int c, int d);
// Lowers *value to hi when above it, then raises it to lo when below it.
void ClampInt(int* value, int lo, int hi);
