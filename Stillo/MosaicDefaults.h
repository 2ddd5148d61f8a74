// The engine settings every run starts from: the engine owner's defaults, kept here for the owner
// and for the tests and benchmarks that drive the engine's functions without it.
#pragma once

#include "engine/records.h"

#include <cstdint>

// Writes the defaults into the settings. The velocity gain, the pixel format and the strip
// prefix are left as they are: a run's start sets them.
inline void SetMosaicDefaults(MOSAIC_SETTINGS& s) {
    s.nSmoothWindow = 5;
    s.nReservedA = 1;
    s.nReduction = 1;
    s.nMatcher = 1;
    s.nReservedB = 0;
    s.nPredictor = 1;
    s.nReservedC = 0;
    s.bPaint = 1;
    s.bShowFeatures = 0;
    s.bNoPause = 1;
    s.nReservedD = 0;
    s.nFeatureMode = kFeatureRegions;
    s.nEdgeThreshold = 15;
    s.fAlpha = 0.8f;
    s.fReservedGain = 0.8f;
    s.nRowStart = 20;
    s.nRowEnd = 580;
    s.nColStart = 20;
    s.nColEnd = 700;
    s.nNormWindow = 51;
    s.fBrushFactor = 0.0f;
    s.bBlend = 0;
    s.nDirection = 0;
    s.nFirstStripNumber = 0;
    s.bThickBrush = 1;
}

// The owner's work size before its first run (it does not follow from the default window).
constexpr int32_t kDefaultWorkCols = 596;
constexpr int32_t kDefaultWorkRows = 720;
