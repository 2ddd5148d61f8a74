// What the displacement search (engine/displacement_search.cpp) hands its kernels
// (engine/kernels/search.h): both maps in 64-bit words, the window, and the best so far.
#pragma once

#include "engine/displacement_search.h"

#include <cstdint>

// Both maps re-laid into 64-bit words of 64 pixels, pixel x at bit 63 - (x mod 64) of word
// x / 64, the same order as the 16-bit words, so a shift along the row is one shift across
// the word sequence. Only the first 16 W pixels of a row are taken; the rest stays 0.
struct SEARCH_MAPS {
    int32_t rows;
    int32_t pixels; // 16 W, the pixels of a row that are compared
    int32_t stride; // 64-bit words a row
    const uint64_t* prev;
    const uint64_t* cur;
    uint64_t* work; // the previous map shifted by the column being visited
    // Set pixels of each row, for the column being visited: of the current map within the
    // columns that can meet the shifted previous map, and of the shifted previous map. A row
    // holds at most 16 W < 2^15 pixels.
    int16_t* curRow;
    int16_t* workRow;
    uint64_t* columnMask; // stride words: the current map's columns that can meet it
};

// The candidates dx = xmin .. xmax, dy = ymin .. ymax, all sharing pixels with the previous map.
struct SEARCH_WINDOW {
    int32_t xmin, xmax, ymin, ymax;
};

struct SEARCH_STATE {
    SEARCH_WINDOW window;
    bool bounded;     // candidates passed over by the bounds (else every one counted in full)
    uint64_t total;   // T = 16 W R
    uint32_t best;    // the best score so far; only a higher one replaces it
    uint32_t reached; // a score some candidate of the window is known to reach (0: none)
    int32_t* dy;
    int32_t* dx;
    SearchObserver observer;
    void* context;
};

// The kernels, KERNEL_FORM's searchColumns and scoreCandidate:
// - searchColumns visits the window's candidates column by column, in the order given, each
//   column's rows ascending, and keeps the best in the state (and its outputs);
// - scoreCandidate gives the full score of one candidate.
// Both leave the previous map shifted by their last column in the maps' work rows.
