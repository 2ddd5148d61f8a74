// Frame registration and motion tracking.
#pragma once

#include "engine/records.h"

// RegisterFrame's result when the frame could not be handled: the search could not get its
// working memory (position and tracker unchanged, nothing painted), the canvas could not grow
// (the frame is only partly painted), or a strip file could not be written. The run should
// stop; the canvas keeps what was painted.
constexpr int kRegisterFailed = -1;

// Measures the shift of the current frame's packed map against the previous one in a window
// around the tracker's prediction, updates the tracker and the mosaic position, and paints the
// frame's strip. frameIndex is at least 1 (1 for the run's first registered frame). 1 when a
// strip was completed, 0 otherwise, kRegisterFailed on failure.
int RegisterFrame(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, MOSAIC_SETTINGS* settings,
                  MOSAIC_TABLES* tables, int frameIndex);
