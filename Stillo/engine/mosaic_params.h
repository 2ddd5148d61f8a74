// The mosaic canvas record. This one definition is shared by the engine, the user interface
// and the saving library, which reads it without linking the engine: keep it self-contained.
#pragma once

#include <cstdint>

// Mosaic coordinates: x grows to the right, y downwards. The canvas covers nLeft..nRight and
// nTop..nBottom inclusive. Storage is bottom-up without padding: the point (x, y) lies in
// storage row nRows - 1 - (y - nTop), at byte (x - nLeft) * nBytesPerPixel of that row.
// All-zero bytes are a pixel nothing has painted yet.
struct MOSAIC_PARAMS {
    int32_t nTop;
    int32_t nBottom;
    int32_t nLeft;
    int32_t nRight;
    int32_t nRows;
    int32_t nCols;
    int32_t bRowsACurrent; // exactly 1 selects ppRowsA; anything else ppRowsB
    int32_t bRowsBCurrent;
    int32_t nGrowStep;
    int32_t nStripLength;
    int32_t nStripNumber;
    uint8_t** ppRowsA;
    uint8_t** ppRowsB;
    uint8_t** ppStripRows;
    int32_t nCurrentX;
    int32_t nCurrentY; // minus the y of the latest painted frame's centre
    int32_t nBytesPerPixel;
};

// The row buffer that currently holds the canvas.
inline uint8_t** CurrentCanvasRows(const MOSAIC_PARAMS& canvas) {
    return canvas.bRowsACurrent == 1 ? canvas.ppRowsA : canvas.ppRowsB;
}
