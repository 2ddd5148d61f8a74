// The engine's records: lookup tables, settings and the per-frame working state. The
// canvas record lives in mosaic_params.h, shared with the saving library.
#pragma once

#include "engine/image.h"
#include "engine/mosaic_params.h"

#include <cstdint>

// The feature modes of MOSAIC_SETTINGS::nFeatureMode.
constexpr int32_t kFeatureRegions = 0;
constexpr int32_t kFeatureEdges = 1;

// The input pixel formats of a run (MOSAIC_SETTINGS::nPixelFormat): blue, green, red bytes; the
// same with a fourth byte that is ignored; one 16-bit 4-4-4 word (engine/pixel444.h).
constexpr int32_t kPixelBgr24 = 0;
constexpr int32_t kPixelBgrx32 = 1;
constexpr int32_t kPixel444 = 2;

// The tracker's rings of recent prediction errors hold this many entries.
constexpr int32_t kErrorRingSize = 5;

struct MOSAIC_TABLES {
    uint8_t* pReduceDiv; // N*N*256 entries: i / (N*N), N = nReduction
    uint8_t* pSmoothDiv; // M*M*256 entries: i / (M*M), M = nSmoothWindow
    void* pReservedA;    // never set
    uint8_t* pGreyDiv;   // 768 entries: i / 3, grey = pGreyDiv[R + G + B]
    void* pReservedB;    // never set
    uint16_t* pBitCount; // 65536 entries: set bits of the index
};

struct MOSAIC_SETTINGS {
    int32_t nSmoothWindow; // odd box window of the Regions features, at most 64
    int32_t nReservedA;
    int32_t nReduction; // block-average reduction factor, 1..64; 1 = none
    int32_t nMatcher;   // 1: exhaustive search, other: centred search
    int32_t nReservedB;
    int32_t nPredictor; // 0: predict with the velocity; other: prediction = estimate
    int32_t nReservedC;
    int32_t bPaint;        // exactly 1: frames are painted into the canvas
    int32_t bShowFeatures; // exactly 1: feature pixels are painted white
    int32_t bNoPause;      // 0: registration waits for a key on standard input
    int32_t nReservedD;
    int32_t nFeatureMode;   // kFeatureRegions or kFeatureEdges
    int32_t nEdgeThreshold; // edge-strength threshold of the Edges features
    float fAlpha;           // tracker position gain
    float fBeta;            // tracker velocity gain
    float fReservedGain;
    int32_t nRowStart; // trim window, rows counted from the bottom, inclusive
    int32_t nRowEnd;
    int32_t nColStart; // trim window columns, inclusive
    int32_t nColEnd;
    int32_t nPixelFormat; // kPixelBgr24, kPixelBgrx32 or kPixel444
    int32_t nNormWindow;  // odd window of the local-mean normalisation
    float fBrushFactor;   // strip width as a fraction of the frame; 0 = from the shift
    int32_t bBlend;       // average new pixels with painted ones
    int32_t nDirection;   // strip direction; only 0 is accepted by Init
    char szStripPrefix[256];
    int32_t nFirstStripNumber;
    int32_t nReservedE;
    int32_t bThickBrush; // 1 Thick, 0 Thin
};

struct MOSAIC_FRAME {
    uint16_t nRows;
    uint16_t nCols;
    int16_t nReducedRows;
    int16_t nReducedCols;
    IMAGE2D ppColourRows; // R rows of 3K bytes rounded up to 4, red-green-blue
    IMAGE2D ppSpareRows;  // 1 x 1, made and released only
    IMAGE2D ppGreyRows;   // R x K
    IMAGE2D ppPrevFeatures;
    IMAGE2D ppPrevFeatures2; // never made
    IMAGE2D ppCurFeatures;
    IMAGE2D ppCurFeatures2; // never made
    IMAGE2D ppPrevMask;     // R rows of ((K >> 3) | 1) + 1 bytes: packed 16-bit words
    IMAGE2D ppCurMask;
    uint16_t* pPrevCounts; // set pixels per row of the packed maps
    uint16_t* pCurCounts;
    int32_t nLastDx;
    int32_t nLastDy;
    float fEstX;
    float fEstY;
    float fPredX;
    float fPredY;
    int32_t* pErrRingX; // kErrorRingSize recent prediction errors
    int32_t* pErrRingY;
    int32_t nRingIndex;
    int32_t nRadiusY;
    int32_t nRadiusX;
    float fVelX;
    float fVelY;
    float fLineSlope;
    float fLineIntercept;
    int32_t nPosX; // mosaic position of the current frame's centre
    int32_t nPosY;
    float fPrevStripEnd;
    int32_t nStripFrames;
    int32_t nLastFrameIndex;
    int32_t nFirstFrameIndex;
    int32_t nPrevEdgeCount;
    int32_t nCurEdgeCount;
    int32_t nWorkCols;
    int32_t nWorkRows;
    const uint8_t* pInputFrame;
    int32_t bExtendStrip;
    int32_t nMaskRows;
    int32_t nMaskWords;
};

// The trim window's size as the owner records it; the buffer functions read only these two.
struct MOSAIC_WORK_SIZE {
    int32_t nWorkCols;
    int32_t nWorkRows;
};

// Bytes of one colour row: 3 a pixel, rounded up to a multiple of 4.
inline int32_t ColourRowBytes(int32_t cols) {
    return (3 * cols + 3) & ~3;
}
// Bytes of one packed-map row.
inline int32_t MaskRowBytes(int32_t cols) {
    return ((cols >> 3) | 1) + 1;
}

// Builds every buffer of a run: 1 when all were made; 0 after releasing what was made.
int InitMosaicBuffers(MOSAIC_SETTINGS* settings, MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame,
                      MOSAIC_TABLES* tables, const MOSAIC_WORK_SIZE* workSize);
// Releases every buffer of a run and empties the pointers, so a second call is harmless.
void FreeMosaicBuffers(MOSAIC_SETTINGS* settings, MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame,
                       MOSAIC_TABLES* tables, const MOSAIC_WORK_SIZE* workSize);
// Puts the tracker back to its state at the start of a run.
void ResetTracker(MOSAIC_SETTINGS* settings, MOSAIC_FRAME* frame);
