// The engine's hottest loops, reached through one table. Each loop's body is written once, in
// its own header under engine/kernels/, and compiled twice: for baseline x86-64, which every
// processor of the family runs, and for AVX2 with the population-count instruction, chosen at
// run time from what the processor reports. Both forms give the same bits: they differ only in
// how many lanes do the same arithmetic. Where the compiler has no AVX2, or the processor is no
// x86-64, only the baseline form is built.
#pragma once

#include <cstddef>
#include <cstdint>

struct SEARCH_MAPS;
struct SEARCH_STATE;

// One instruction form of every kernel. The per-row kernels keep their callers' contracts
// (engine/regions.cpp, engine/window_means.h, engine/frame_copy.h, engine/bitmaps.h); the search
// kernels are described in engine/search_state.h.
struct KERNEL_FORM {
    bool avx2; // compiled for AVX2: the form the wide instructions are used in
    // Column sums of a vertical window: sums += row, sums -= row, sums += entering - leaving.
    void (*addRow)(int32_t* sums, const uint8_t* row, int32_t n);
    void (*subtractRow)(int32_t* sums, const uint8_t* row, int32_t n);
    void (*slideRows)(int32_t* sums, const uint8_t* entering, const uint8_t* leaving, int32_t n);
    // The byte masks an outline is decided from (0xFF where true), and the outline of a row.
    void (*exactLevelMasks)(const uint8_t* row, uint8_t* bright, uint8_t* dark, int32_t n);
    void (*thresholdMasks)(const uint8_t* row, uint8_t* bright, uint8_t* dark, int32_t n,
                           uint8_t threshold);
    void (*outlineRow)(const uint8_t* belowDark, const uint8_t* bright, const uint8_t* dark,
                       const uint8_t* aboveDark, uint8_t* out, int32_t n);
    void (*byteWindowMeans)(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                            const uint8_t* src, uint8_t* out);
    void (*copyBgrRow)(const uint8_t* src, int32_t n, int32_t bytesPerPixel, uint8_t* colour,
                       uint8_t* grey);
    void (*copy444Row)(const uint8_t* src, int32_t n, uint8_t* colour, uint8_t* grey);
    // One feature row packed into words; the set pixels it holds.
    unsigned (*packRow)(const uint8_t* src, int32_t cols, uint16_t* dst);
    void (*searchColumns)(const SEARCH_MAPS& maps, SEARCH_STATE& state, const int32_t* columns,
                          size_t count);
    uint32_t (*scoreCandidate)(const SEARCH_MAPS& maps, int32_t dx, int32_t dy);
};

// The form this processor runs: the AVX2 form where the processor has it and it is allowed.
const KERNEL_FORM& Kernels();

// Switches the AVX2 form off (false) or back to what the processor allows (true). Tests use it
// to check the baseline form on a machine that has the wider one.
void AllowWideInstructions(bool allow);
