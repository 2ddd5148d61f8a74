// Strip straightening: the columns of a finished strip move up or down, by an amount that changes
// linearly from the first column to the last, so that the strip's dominant line runs level and
// one end of it meets the row where the previous strip's line ended.
#pragma once

#include "engine/image.h"
#include "engine/records.h"

#include <cstdint>

// The three straighteners, one per strip direction (0, 1, 2). Each reads the first `cols`
// pixels (3 bytes, the second green) of the `rows` source rows, storage row 0 at the bottom,
// and writes the destination (rows rows of at least 3 cols bytes): destination row k of column
// x shows source row k + u(x); a destination pixel whose source row falls outside the strip is
// left as it was. The line is found in the strip's grey picture reduced by `factor` with the
// edge window and threshold given. slope and intercept hold the previous strip's line on entry
// and this strip's on return; prevStripEnd is the row where the previous strip ended. The shift
// at the strip's chained end follows the previous line, except for the first strip
// (stripNumber = nFirstStripNumber: the line comes to the middle row at both ends) and strip 100
// (that end is not moved). posY is not used. With fewer than two columns or no rows nothing is
// done. 1 when done, 0 when memory ran out (the record's line is then left as it was).
//
// Direction 0: the line comes to the middle row at column 0; the last column is chained.
int StraightenStripOnLine(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                          int factor, int window, int threshold, int posY, int prevStripEnd,
                          float* slope, float* intercept, int stripNumber,
                          const MOSAIC_SETTINGS* settings);
// Direction 1: column 0 is chained; the line comes to the middle row at the last column.
int StraightenStripOnLineReverse(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                                 int factor, int window, int threshold, int posY, int prevStripEnd,
                                 float* slope, float* intercept, int stripNumber,
                                 const MOSAIC_SETTINGS* settings);
// Direction 2: two lines are found and their middle line is levelled as in direction 1; both
// lines are then marked white where they lie after the shift. The record receives the middle
// line.
int StraightenStripOnLinePair(IMAGE2D source, IMAGE2D destination, uint16_t rows, uint16_t cols,
                              int factor, int window, int threshold, int posY, int prevStripEnd,
                              float* slope, float* intercept, int stripNumber,
                              const MOSAIC_SETTINGS* settings);

// The points of the midpoint (Bresenham) line from (x0, y0) to (x1, y1): max(|dx|, |dy|) + 1.
int64_t RasterisedPointCount(int x0, int y0, int x1, int y1);

// Writes the line's points, both ends included, into the one-based lists xs[1..n], ys[1..n],
// which must hold RasterisedPointCount points; n receives their number (0 when that number
// is no int).
void RasteriseLine(int x0, int y0, int x1, int y1, int32_t* xs, int32_t* ys, int* n);
