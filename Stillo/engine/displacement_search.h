// The displacement search between two bit-packed feature maps (engine/bitmaps.h packs them).
//
// Displacement (dx, dy) pairs pixel (x, y) of the current map with pixel (x - dx, y - dy) of the
// previous one. Only the whole words of a row (W = cols >> 4) take part in matching.
#pragma once

#include "engine/image.h"
#include "engine/records.h"

#include <cstdint>

// The score of a candidate with n coinciding bits: floor(16 W R * n / overlap), formed in 64
// bits. A candidate that shares no pixel with the previous map (|dx| >= 16 W or |dy| >= R)
// scores 0.
uint32_t ScoreDisplacement(uint64_t n, int32_t rows, int32_t words, int32_t dx, int32_t dy);

// Finds the displacement (dx, dy) that pairs current pixel (x, y) with previous pixel
// (x - dx, y - dy) best, over the inclusive window xmin..xmax, ymin..ymax. A candidate scores
// floor(16 W R * n / overlap), n its coinciding set bits, overlap (16 W - |dx|) (R - |dy|).
// Columns are visited outwards from zero, the non-positive side first; rows ascending; only a
// strictly higher score replaces the best, so ties go to the first visited. The outputs are
// written only when some candidate scores above 0. Returns 1 when the search ran (also with no
// candidate), 0 when its working storage could not be had (outputs untouched).
//
// Every candidate of the window takes part, however wide the window. Candidates that share no
// pixel with the previous map (|dx| >= 16 W or |dy| >= R) score 0. For speed a candidate's
// count is given up as soon as even a coincidence for every pixel it has left could not lift
// its score high enough to be the first-visited best, which changes no result.
int MatchBitmapsExhaustive(const MOSAIC_TABLES* tables, IMAGE2D prevRows, IMAGE2D curRows,
                           const uint16_t* prevCounts, const uint16_t* curCounts, int32_t rows,
                           int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                           int32_t* dy, int32_t* dx);

// The same search started from the window's centre (halved toward zero), whose score is
// reported in every case, then the whole window in the exhaustive order. A candidate's count
// is cut short only when it could not score above the best, so it always finds the exhaustive
// search's best score; the centre wins the ties it is part of, and a window where nothing
// scores above 0 reports the centre.
int MatchBitmapsCentred(const MOSAIC_TABLES* tables, IMAGE2D prevRows, IMAGE2D curRows,
                        const uint16_t* prevCounts, const uint16_t* curCounts, int32_t rows,
                        int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                        int32_t* dy, int32_t* dx);

// One candidate as a search met it, in the visiting order: its score when it was counted in
// full; when its count was given up, the least score it would have needed to matter, which it
// is then known to fall short of.
struct SEARCH_CANDIDATE {
    int32_t dx;
    int32_t dy;
    bool counted;
    uint32_t score;
};
using SearchObserver = void (*)(void* context, const SEARCH_CANDIDATE& candidate);

// Either search (centred or exhaustive), reporting every candidate of the window to the
// observer as it goes; the results are those of MatchBitmapsCentred and MatchBitmapsExhaustive.
int MatchBitmapsObserved(bool centred, IMAGE2D prevRows, IMAGE2D curRows, int32_t rows,
                         int32_t words, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax,
                         int32_t* dy, int32_t* dx, SearchObserver observer, void* context);
