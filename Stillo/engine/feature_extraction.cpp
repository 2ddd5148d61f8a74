#include "engine/feature_extraction.h"

#include "engine/bitmaps.h"
#include "engine/edges.h"
#include "engine/regions.h"

#include <cstdlib>
#include <cstring>

void ReduceImage(IMAGE2D image, uint16_t rows, uint16_t cols, int32_t factor,
                 const uint8_t* divTable) {
    if (factor < 1 || factor > 64) {
        std::exit(1);
    }
    if (factor == 1) {
        return;
    }
    const int32_t n = factor;
    // Row-major blocks: a block's target (r / N, c / N) always lies in a block already read.
    for (int32_t r = 0; r + n <= rows; r += n) {
        for (int32_t c = 0; c + n <= cols; c += n) {
            uint32_t sum = 0;
            for (int32_t i = 0; i < n; ++i) {
                const uint8_t* row = image[r + i];
                for (int32_t j = 0; j < n; ++j) {
                    sum += row[c + j];
                }
            }
            image[r / n][c / n] = divTable[sum];
        }
    }
}

void ThresholdToImage(IMAGE2D src, uint16_t rows, uint16_t cols, int32_t threshold, IMAGE2D dst) {
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* in = src[r];
        uint8_t* out = dst[r];
        for (int32_t c = 0; c < cols; ++c) {
            out[c] = in[c] < threshold ? 0 : 255;
        }
    }
}

namespace {

int ExtractRegions(MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings) {
    const uint16_t rows = frame->nRows;
    const uint16_t cols = frame->nCols;
    IMAGE2D features = frame->ppCurFeatures;
    if (NormaliseLocalMean(frame->ppGreyRows, rows, cols, settings->nNormWindow, features) == 0 ||
        BoxFilterInPlace(features, rows, cols, settings->nSmoothWindow) == 0) {
        return 0;
    }
    int32_t threshold = 256;
    ComputeMomentThreshold(features, rows, cols, &threshold);
    return ThresholdRegionBoundaries(features, rows, cols, threshold);
}

int ExtractEdges(MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings) {
    const uint16_t rows = frame->nRows;
    const uint16_t cols = frame->nCols;
    const RowImage normalised(rows, cols);
    if (!normalised) {
        return 0;
    }
    if (NormaliseLocalMean(frame->ppGreyRows, rows, cols, settings->nNormWindow,
                           normalised.get()) == 0 ||
        DetectEdges(normalised.get(), rows, cols, settings->nSmoothWindow,
                    static_cast<float>(settings->nEdgeThreshold), frame->ppCurFeatures) == 0) {
        return 0;
    }
    int percentRemoved = 0;
    int pixelCount = 0;
    ThinEdges(frame->ppCurFeatures, rows, cols, &percentRemoved, &pixelCount);
    frame->nCurEdgeCount = pixelCount;
    return 1;
}

// Leaves the frame's packed map empty: a frame whose extraction failed must not be matched
// with whatever the map held before.
void ClearPackedMap(MOSAIC_FRAME* frame, int32_t rows, int32_t cols) {
    for (int32_t r = 0; r < rows; ++r) {
        std::memset(frame->ppCurMask[r], 0, static_cast<size_t>(MaskRowBytes(cols)));
        frame->pCurCounts[r] = 0;
    }
}

} // namespace

int ExtractFrameFeatures(MOSAIC_FRAME* frame, MOSAIC_TABLES* tables, MOSAIC_SETTINGS* settings) {
    const int32_t fullRows = frame->nRows;
    const int32_t fullCols = frame->nCols;
    const int32_t n = settings->nReduction;
    if (n != 1) {
        ReduceImage(frame->ppGreyRows, frame->nRows, frame->nCols, n, tables->pReduceDiv);
    }
    frame->nRows = static_cast<uint16_t>(frame->nRows / n);
    frame->nCols = static_cast<uint16_t>(frame->nCols / n);

    const int32_t mode = settings->nFeatureMode;
    int ok = 1;
    switch (mode) {
    case kFeatureRegions:
        ok = ExtractRegions(frame, settings);
        break;
    case kFeatureEdges:
        ok = ExtractEdges(frame, settings);
        break;
    default:
        return 1;
    }
    if (ok == 0) {
        ClearPackedMap(frame, fullRows, fullCols);
        return 0;
    }
    PackBitRows(frame->ppCurFeatures, frame->nRows, frame->nCols, frame->ppCurMask,
                frame->pCurCounts, &frame->nMaskRows, &frame->nMaskWords);
    return 1;
}
