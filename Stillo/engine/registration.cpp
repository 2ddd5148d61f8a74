#include "engine/registration.h"

#include "engine/bitmaps.h"
#include "engine/canvas.h"
#include "engine/canvas_mutex.h"

#include "numeric/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int kRingSize = 5;
// Radius of the first registered frame's window, and the floor 40 / frameIndex that keeps the
// first windows wide while the tracker learns the motion.
constexpr int kFirstRadius = 30;
constexpr int kEarlyRadiusBase = 40;
constexpr int kEarlyFrames = 5;

void WaitForKey() {
    std::getchar();
}

int RoundToInt(double value) {
    return static_cast<int>(numeric::round_nearest(value));
}

void ClampWindow(int* lo, int* hi, int size) {
    const int half = size / 2;
    for (int* v : {lo, hi}) {
        if (*v < -half) {
            *v = -half;
        }
        if (*v > half) {
            *v = half;
        }
    }
}

int Search(const MOSAIC_SETTINGS* settings, MOSAIC_TABLES* tables, MOSAIC_FRAME* frame, int xmin,
           int xmax, int ymin, int ymax, int* dy, int* dx) {
    if (settings->nMatcher == 1) {
        return MatchBitmapsExhaustive(tables, frame->ppPrevMask, frame->ppCurMask,
                                      frame->pPrevCounts, frame->pCurCounts, frame->nMaskRows,
                                      frame->nMaskWords, xmin, xmax, ymin, ymax, dy, dx);
    }
    return MatchBitmapsCentred(tables, frame->ppPrevMask, frame->ppCurMask, frame->pPrevCounts,
                               frame->pCurCounts, frame->nMaskRows, frame->nMaskWords, xmin, xmax,
                               ymin, ymax, dy, dx);
}

int RadiusFromErrors(const int32_t* ring, int frameIndex) {
    const int largest = *std::max_element(ring, ring + kRingSize);
    int radius = largest * 6 / 4;
    if (radius == 0) {
        radius = 2;
    }
    if (frameIndex >= 1 && frameIndex <= kEarlyFrames) {
        radius = std::max(radius, kEarlyRadiusBase / frameIndex);
    }
    return radius;
}

// Closes a finished strip: writes its counters to the strip file, clears the canvas for the
// next strip and moves the position back. The program's strip length never lets this run.
bool CompleteStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, MOSAIC_SETTINGS* settings) {
    char name[sizeof settings->szStripPrefix + 32];
    std::snprintf(name, sizeof name, "%s%d%d.jpg", settings->szStripPrefix, settings->nDirection,
                  canvas->nStripNumber);
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        return false;
    }
    const int32_t counters[3] = {frame->nStripFrames, frame->nFirstFrameIndex,
                                 frame->nLastFrameIndex};
    const bool written = std::fwrite(counters, sizeof counters, 1, file) == 1;
    if (std::fclose(file) != 0 || !written) {
        return false;
    }
    canvas->nStripNumber += settings->nDirection == 0 ? -1 : 1;
    frame->nStripFrames = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_hCanvasMutex);
        // The next strip starts in ppRowsA: whichever buffer holds the canvas becomes it.
        uint8_t** rows = CurrentCanvasRows(*canvas);
        for (int i = 0; i < canvas->nRows; ++i) {
            std::memset(rows[i], 0, static_cast<size_t>(canvas->nBytesPerPixel) * canvas->nCols);
        }
        canvas->ppRowsA = rows;
        canvas->ppRowsB = nullptr;
        canvas->bRowsACurrent = 1;
        canvas->bRowsBCurrent = 0;
    }
    frame->fPrevStripEnd = static_cast<float>(frame->nPosY);
    frame->nPosY = 0;
    return true;
}

} // namespace

int RegisterFrame(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, MOSAIC_SETTINGS* settings,
                  MOSAIC_TABLES* tables, int frameIndex) {
    frame->nLastFrameIndex = frameIndex;
    if (frame->nStripFrames == 0) {
        frame->nFirstFrameIndex = frameIndex;
    }
    int result = 0;
    int dx = 0;
    int dy = 0;
    if (settings->bPaint == 0 && settings->bNoPause == 0) {
        WaitForKey();
    }

    if (settings->nPredictor == 0) {
        frame->fPredX = static_cast<float>(static_cast<double>(frame->fEstX) + frame->fVelX);
        frame->fPredY = static_cast<float>(static_cast<double>(frame->fEstY) + frame->fVelY);
    } else {
        frame->fPredX = frame->fEstX;
        frame->fPredY = frame->fEstY;
    }
    if (frameIndex == 1) {
        frame->nRadiusX = kFirstRadius;
        frame->nRadiusY = kFirstRadius;
    }

    const int px = RoundToInt(frame->fPredX);
    const int py = RoundToInt(frame->fPredY);
    int xmin = px - frame->nRadiusX;
    int xmax = px + frame->nRadiusX;
    int ymin = py - frame->nRadiusY;
    int ymax = py + frame->nRadiusY;
    ClampWindow(&xmin, &xmax, frame->nReducedCols);
    ClampWindow(&ymin, &ymax, frame->nReducedRows);

    if (Search(settings, tables, frame, xmin, xmax, ymin, ymax, &dy, &dx) == 0) {
        return kRegisterFailed;
    }
    const int ring = frame->nRingIndex;
    if (frameIndex <= 1) {
        frame->pErrRingX[ring] = 0;
        frame->pErrRingY[ring] = 0;
    } else {
        frame->pErrRingX[ring] = std::abs(dx - px);
        frame->pErrRingY[ring] = std::abs(dy - py);
    }

    // A result on the window's edge may be a cut-off peak: move the window that way and look
    // again.
    if (dx == xmin || dx == xmax || dy == ymin || dy == ymax) {
        if (dx == xmin) {
            xmin -= frame->nRadiusX;
            xmax -= frame->nRadiusX / 2;
        }
        if (dx == xmax) {
            xmin += frame->nRadiusX / 2;
            xmax += frame->nRadiusX;
        }
        if (dy == ymin) {
            ymin -= frame->nRadiusY;
            ymax -= frame->nRadiusY / 2;
        }
        if (dy == ymax) {
            ymin += frame->nRadiusY / 2;
            ymax += frame->nRadiusY;
        }
        ClampWindow(&xmin, &xmax, frame->nReducedCols);
        ClampWindow(&ymin, &ymax, frame->nReducedRows);
        if (Search(settings, tables, frame, xmin, xmax, ymin, ymax, &dy, &dx) == 0) {
            return kRegisterFailed;
        }
        frame->pErrRingX[ring] = std::abs(dx - frame->nLastDx);
        frame->pErrRingY[ring] = std::abs(dy - frame->nLastDy);
    }

    frame->nRadiusX = RadiusFromErrors(frame->pErrRingX, frameIndex);
    frame->nRadiusY = RadiusFromErrors(frame->pErrRingY, frameIndex);
    frame->nRingIndex = ring + 1 < kRingSize ? ring + 1 : 0;
    frame->nLastDx = dx;
    frame->nLastDy = dy;

    const double ex = dx - static_cast<double>(frame->fPredX);
    const double ey = dy - static_cast<double>(frame->fPredY);
    frame->fEstX = static_cast<float>(frame->fPredX + settings->fAlpha * ex);
    frame->fEstY = static_cast<float>(frame->fPredY + settings->fAlpha * ey);
    if (settings->nPredictor == 0) {
        frame->fVelX = static_cast<float>(frame->fVelX + settings->fBeta * ex);
        frame->fVelY = static_cast<float>(frame->fVelY + settings->fBeta * ey);
    }

    frame->nPosX -= dx;
    frame->nPosY += dy;
    frame->nStripFrames += 1;

    if (settings->bPaint == 1 && settings->nDirection >= 0 && settings->nDirection <= 2) {
        bool painted = true;
        if (canvas->nStripLength > 0) {
            painted = PaintFrameStrip(canvas, frame, frame->ppCurFeatures, frame->nReducedRows,
                                      frame->nReducedCols, dx, dy, settings) != 0;
        } else {
            // Straightening the finished strip is not part of this engine yet.
            if (!CompleteStrip(canvas, frame, settings)) {
                return kRegisterFailed;
            }
            result = 1;
            const bool forward = settings->nDirection == 0;
            frame->nPosX += forward ? canvas->nStripLength : -canvas->nStripLength;
            if (forward ? frame->nPosX > 0 : frame->nPosX < 0) {
                frame->nPosX = 0;
                frame->nPosY = 0;
            } else {
                painted = PaintFrameStrip(canvas, frame, frame->ppCurFeatures, frame->nReducedRows,
                                          frame->nReducedCols, dx, dy, settings) != 0;
            }
        }
        if (!painted) {
            return kRegisterFailed;
        }
    }
    if (settings->bNoPause == 0) {
        WaitForKey();
    }
    return result;
}
