// Feature extraction: the frame's grey image becomes its feature image (0 and 255 only) and
// the bit-packed map that the displacement search compares between frames.
#pragma once

#include "engine/image.h"
#include "engine/records.h"

#include <cstdint>

// Reduces (when nReduction is not 1), runs the chain of nFeatureMode (read once) on the grey
// image into ppCurFeatures, and packs the result into ppCurMask and pCurCounts. 1 on success.
// 0 when memory ran out or the mode's chain is not available; the current packed map is then
// left empty, so a stale map can never pass for this frame. Modes other than 0 and 1 extract
// nothing and succeed.
int ExtractFrameFeatures(MOSAIC_FRAME* frame, MOSAIC_TABLES* tables, MOSAIC_SETTINGS* settings);

// Block averages of factor N (1..64, else the process ends with status 1) written in place
// into the top-left rows/N x cols/N pixels; divTable[s] = s / (N * N).
void ReduceImage(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t factor,
                 const uint8_t* divTable);

// dst = 0 where src is below the threshold, else 255.
void ThresholdToImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t threshold, IMAGE2D dst);
