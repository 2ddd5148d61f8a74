#include "engine/bitmaps.h"
#include "engine/canvas_mutex.h"
#include "engine/records.h"

#include <cstdlib>
#include <cstring>

std::recursive_mutex g_hCanvasMutex;

namespace {

constexpr int32_t kCanvasRows = 200;
constexpr int32_t kCanvasCols = 300;
constexpr int32_t kGrowStep = 100;
constexpr int32_t kStripLength = 400;

// Division table: entry i = i / divisor for i below entries.
uint8_t* MakeDivisionTable(int64_t entries, int64_t divisor) {
    if (entries < 1 || divisor < 1) {
        return nullptr;
    }
    auto* table = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(entries)));
    if (table != nullptr) {
        for (int64_t i = 0; i < entries; ++i) {
            table[i] = static_cast<uint8_t>(i / divisor);
        }
    }
    return table;
}

template <typename T> T* AllocZeroed(int64_t count) {
    return count < 1 ? nullptr
                     : static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
}

} // namespace

void ResetTracker(MOSAIC_SETTINGS* settings, MOSAIC_FRAME* frame) {
    std::memset(frame->pErrRingX, 0, kErrorRingSize * sizeof(int32_t));
    std::memset(frame->pErrRingY, 0, kErrorRingSize * sizeof(int32_t));
    frame->nRingIndex = 0;
    frame->nRadiusY = 10;
    frame->nRadiusX = 25;
    frame->fLineSlope = 0;
    frame->fLineIntercept = 0;
    settings->fBeta = 0.7f;
    frame->fEstX = 0;
    frame->fEstY = 0;
    frame->fVelX = 0;
    frame->fVelY = 0;
}

int InitMosaicBuffers(MOSAIC_SETTINGS* settings, MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame,
                      MOSAIC_TABLES* tables, const MOSAIC_WORK_SIZE* workSize) {
    const int32_t R = workSize->nWorkRows;
    const int32_t K = workSize->nWorkCols;
    const int64_t N = settings->nReduction;
    const int64_t M = settings->nSmoothWindow;

    // Any failure below releases everything made so far; the records' pointers start empty,
    // so the release touches only what exists.
    auto fail = [&] {
        FreeMosaicBuffers(settings, canvas, frame, tables, workSize);
        return 0;
    };

    tables->pGreyDiv = MakeDivisionTable(768, 3);
    tables->pReduceDiv = MakeDivisionTable(N * N * 256, N * N);
    tables->pSmoothDiv = MakeDivisionTable(M * M * 256, M * M);
    tables->pBitCount = AllocZeroed<uint16_t>(65536);
    if (!tables->pGreyDiv || !tables->pReduceDiv || !tables->pSmoothDiv || !tables->pBitCount) {
        return fail();
    }
    BuildBitCountTable(tables->pBitCount);

    canvas->nRows = kCanvasRows;
    canvas->nCols = kCanvasCols;
    canvas->nGrowStep = kGrowStep;
    canvas->bRowsACurrent = 1;
    canvas->bRowsBCurrent = 0;
    canvas->ppRowsA = AllocImage2D(kCanvasRows, canvas->nBytesPerPixel * kCanvasCols);
    canvas->ppStripRows = AllocImage2D(1, 1);
    if (!canvas->ppRowsA || !canvas->ppStripRows) {
        return fail();
    }

    frame->ppColourRows = AllocImage2D(R, ColourRowBytes(K));
    frame->ppSpareRows = AllocImage2D(1, 1);
    frame->ppGreyRows = AllocImage2D(R, K);
    frame->ppPrevFeatures = AllocImage2D(R, K);
    frame->ppCurFeatures = AllocImage2D(R, K);
    frame->ppPrevMask = AllocImage2D(R, MaskRowBytes(K));
    frame->ppCurMask = AllocImage2D(R, MaskRowBytes(K));
    frame->pPrevCounts = AllocZeroed<uint16_t>(R);
    frame->pCurCounts = AllocZeroed<uint16_t>(R);
    frame->pErrRingX = AllocZeroed<int32_t>(kErrorRingSize);
    frame->pErrRingY = AllocZeroed<int32_t>(kErrorRingSize);
    if (!frame->ppColourRows || !frame->ppSpareRows || !frame->ppGreyRows ||
        !frame->ppPrevFeatures || !frame->ppCurFeatures || !frame->ppPrevMask ||
        !frame->ppCurMask || !frame->pPrevCounts || !frame->pCurCounts || !frame->pErrRingX ||
        !frame->pErrRingY) {
        return fail();
    }

    ResetTracker(settings, frame);
    canvas->nLeft = 0;
    canvas->nTop = -(canvas->nRows / 2);
    canvas->nBottom = canvas->nRows / 2 - 1;
    canvas->nRight = canvas->nCols - 1;
    canvas->nStripLength = kStripLength;
    canvas->nStripNumber = settings->nFirstStripNumber;
    return 1;
}

namespace {

// Releasing also empties the pointer, so a second release of the same run is harmless.
template <typename T> void ReleaseBlock(T*& block) {
    FreeBuffer(block);
    block = nullptr;
}

void ReleaseImage(IMAGE2D& image, int32_t rows) {
    FreeImage2D(image, rows);
    image = nullptr;
}

} // namespace

void FreeMosaicBuffers(MOSAIC_SETTINGS* /*settings*/, MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame,
                       MOSAIC_TABLES* tables, const MOSAIC_WORK_SIZE* workSize) {
    const int32_t R = workSize->nWorkRows;

    ReleaseBlock(tables->pGreyDiv);
    ReleaseBlock(tables->pReduceDiv);
    ReleaseBlock(tables->pSmoothDiv);
    ReleaseBlock(tables->pBitCount);

    // Only the current canvas buffer is alive; the other pointer is stale after growth.
    {
        std::lock_guard<std::recursive_mutex> lock(g_hCanvasMutex);
        FreeImage2D(CurrentCanvasRows(*canvas), canvas->nRows);
        canvas->ppRowsA = nullptr;
        canvas->ppRowsB = nullptr;
        ReleaseImage(canvas->ppStripRows, 1);
    }

    ReleaseImage(frame->ppColourRows, R);
    ReleaseImage(frame->ppSpareRows, 1);
    ReleaseImage(frame->ppGreyRows, R);
    ReleaseImage(frame->ppPrevFeatures, R);
    ReleaseImage(frame->ppCurFeatures, R);
    ReleaseImage(frame->ppPrevMask, R);
    ReleaseImage(frame->ppCurMask, R);
    ReleaseBlock(frame->pPrevCounts);
    ReleaseBlock(frame->pCurCounts);
    ReleaseBlock(frame->pErrRingX);
    ReleaseBlock(frame->pErrRingY);
}
