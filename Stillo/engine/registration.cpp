#include "engine/registration.h"

#include "engine/canvas.h"
#include "engine/canvas_mutex.h"
#include "engine/displacement_search.h"
#include "engine/straighten.h"

#include "numeric/rounding.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

namespace {

// What the straighteners are given: the strip's grey picture halved, the edge window and the
// edge threshold.
constexpr int kStripReduction = 2;
constexpr int kStripEdgeWindow = 31;
constexpr int kStripEdgeThreshold = 15;

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
    const int largest = *std::max_element(ring, ring + kErrorRingSize);
    int radius = largest * 6 / 4;
    if (radius == 0) {
        radius = 2;
    }
    if (frameIndex >= 1 && frameIndex <= kEarlyFrames) {
        radius = std::max(radius, kEarlyRadiusBase / frameIndex);
    }
    return radius;
}

// The whole number of a float toward zero, held to the range of an int.
int TruncToInt(float value) {
    const double limit = std::numeric_limits<int>::max();
    return static_cast<int>(
        std::clamp(std::trunc(static_cast<double>(value)), -limit - 1.0, limit));
}

// Straightens the finished strip along its line into rows of its own. The straighteners take
// the strip's width from the strip length, bounded by the canvas: they read that many 3-byte
// pixels of every canvas row. The record's ppStripRows stays the one-pixel placeholder its
// release expects; the straightened rows live while the strip is completed. false when memory
// ran out.
bool StraightenStrip(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings) {
    const int64_t rowBytes = int64_t{canvas->nBytesPerPixel} * canvas->nCols;
    const auto rows = static_cast<uint16_t>(std::clamp(canvas->nRows, 0, 0xFFFF));
    const auto cols = static_cast<uint16_t>(
        std::min<int64_t>(static_cast<uint16_t>(canvas->nStripLength), rowBytes / 3));
    if (rows == 0 || cols <= 1) {
        return true;
    }
    RowImage strip(rows, 3 * cols);
    if (!strip) {
        return false;
    }
    using Straightener = int (*)(IMAGE2D, IMAGE2D, uint16_t, uint16_t, int, int, int, int, int,
                                 float*, float*, int, const MOSAIC_SETTINGS*);
    static constexpr Straightener kByDirection[3] = {
        StraightenStripOnLine, StraightenStripOnLineReverse, StraightenStripOnLinePair};
    const Straightener straighten = kByDirection[settings->nDirection];
    return straighten(CurrentCanvasRows(*canvas), strip.get(), rows, cols, kStripReduction,
                      kStripEdgeWindow, kStripEdgeThreshold, frame->nPosY,
                      TruncToInt(frame->fPrevStripEnd), &frame->fLineSlope, &frame->fLineIntercept,
                      canvas->nStripNumber, settings) != 0;
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

// The tracker's prediction of this frame's shift.
void Predict(MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings) {
    if (settings->nPredictor == 0) {
        frame->fPredX = static_cast<float>(static_cast<double>(frame->fEstX) + frame->fVelX);
        frame->fPredY = static_cast<float>(static_cast<double>(frame->fEstY) + frame->fVelY);
    } else {
        frame->fPredX = frame->fEstX;
        frame->fPredY = frame->fEstY;
    }
}

struct SearchWindow {
    int xmin, xmax, ymin, ymax;
    bool OnEdge(int dx, int dy) const {
        return dx == xmin || dx == xmax || dy == ymin || dy == ymax;
    }
};

void ClampToFrame(SearchWindow* w, const MOSAIC_FRAME* frame) {
    ClampWindow(&w->xmin, &w->xmax, frame->nReducedCols);
    ClampWindow(&w->ymin, &w->ymax, frame->nReducedRows);
}

// A result on the window's edge may be a cut-off peak: the window moves that way.
void MoveTowardsEdge(SearchWindow* w, const MOSAIC_FRAME* frame, int dx, int dy) {
    if (dx == w->xmin) {
        w->xmin -= frame->nRadiusX;
        w->xmax -= frame->nRadiusX / 2;
    }
    if (dx == w->xmax) {
        w->xmin += frame->nRadiusX / 2;
        w->xmax += frame->nRadiusX;
    }
    if (dy == w->ymin) {
        w->ymin -= frame->nRadiusY;
        w->ymax -= frame->nRadiusY / 2;
    }
    if (dy == w->ymax) {
        w->ymin += frame->nRadiusY / 2;
        w->ymax += frame->nRadiusY;
    }
}

// Measures the shift in the window about the prediction (px, py), searching once more further
// out when the best lies on the window's edge, and records the prediction's error in the
// rings. false when the search could not get its working memory.
bool MeasureShift(MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings, MOSAIC_TABLES* tables,
                  int frameIndex, int px, int py, int* dx, int* dy) {
    SearchWindow w{px - frame->nRadiusX, px + frame->nRadiusX, py - frame->nRadiusY,
                   py + frame->nRadiusY};
    ClampToFrame(&w, frame);
    if (Search(settings, tables, frame, w.xmin, w.xmax, w.ymin, w.ymax, dy, dx) == 0) {
        return false;
    }
    const int ring = frame->nRingIndex;
    if (frameIndex <= 1) {
        frame->pErrRingX[ring] = 0;
        frame->pErrRingY[ring] = 0;
    } else {
        frame->pErrRingX[ring] = std::abs(*dx - px);
        frame->pErrRingY[ring] = std::abs(*dy - py);
    }
    if (w.OnEdge(*dx, *dy)) {
        MoveTowardsEdge(&w, frame, *dx, *dy);
        ClampToFrame(&w, frame);
        if (Search(settings, tables, frame, w.xmin, w.xmax, w.ymin, w.ymax, dy, dx) == 0) {
            return false;
        }
        frame->pErrRingX[ring] = std::abs(*dx - frame->nLastDx);
        frame->pErrRingY[ring] = std::abs(*dy - frame->nLastDy);
    }
    return true;
}

// Next windows' radii, the rings' next slot, the tracker's estimate and the mosaic position.
void Track(MOSAIC_FRAME* frame, const MOSAIC_SETTINGS* settings, int frameIndex, int dx, int dy) {
    frame->nRadiusX = RadiusFromErrors(frame->pErrRingX, frameIndex);
    frame->nRadiusY = RadiusFromErrors(frame->pErrRingY, frameIndex);
    frame->nRingIndex = frame->nRingIndex + 1 < kErrorRingSize ? frame->nRingIndex + 1 : 0;
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
}

// Paints the frame's strip, first closing the strip when its length is used up. 1 when a
// strip was completed, 0 when not, kRegisterFailed on failure.
int PaintShiftedFrame(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, MOSAIC_SETTINGS* settings, int dx,
                      int dy) {
    auto paint = [&] {
        return PaintFrameStrip(canvas, frame, frame->ppCurFeatures, frame->nReducedRows,
                               frame->nReducedCols, dx, dy, settings) != 0;
    };
    if (canvas->nStripLength > 0) {
        return paint() ? 0 : kRegisterFailed;
    }
    if (!StraightenStrip(canvas, frame, settings) || !CompleteStrip(canvas, frame, settings)) {
        return kRegisterFailed;
    }
    const bool forward = settings->nDirection == 0;
    frame->nPosX += forward ? canvas->nStripLength : -canvas->nStripLength;
    if (forward ? frame->nPosX > 0 : frame->nPosX < 0) {
        frame->nPosX = 0;
        frame->nPosY = 0;
        return 1;
    }
    return paint() ? 1 : kRegisterFailed;
}

} // namespace

int RegisterFrame(MOSAIC_PARAMS* canvas, MOSAIC_FRAME* frame, MOSAIC_SETTINGS* settings,
                  MOSAIC_TABLES* tables, int frameIndex) {
    frame->nLastFrameIndex = frameIndex;
    if (frame->nStripFrames == 0) {
        frame->nFirstFrameIndex = frameIndex;
    }
    if (settings->bPaint == 0 && settings->bNoPause == 0) {
        WaitForKey();
    }
    Predict(frame, settings);
    if (frameIndex == 1) {
        frame->nRadiusX = kFirstRadius;
        frame->nRadiusY = kFirstRadius;
    }
    int dx = 0;
    int dy = 0;
    if (!MeasureShift(frame, settings, tables, frameIndex, RoundToInt(frame->fPredX),
                      RoundToInt(frame->fPredY), &dx, &dy)) {
        return kRegisterFailed;
    }
    Track(frame, settings, frameIndex, dx, dy);

    int result = 0;
    if (settings->bPaint == 1 && settings->nDirection >= 0 && settings->nDirection <= 2) {
        result = PaintShiftedFrame(canvas, frame, settings, dx, dy);
        if (result == kRegisterFailed) {
            return kRegisterFailed;
        }
    }
    if (settings->bNoPause == 0) {
        WaitForKey();
    }
    return result;
}
