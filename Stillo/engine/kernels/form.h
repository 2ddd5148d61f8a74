// Every kernel, gathered into one form of KERNEL_FORM. Included once by engine/kernels/
// baseline.cpp, built for baseline x86-64 (or whatever the target's baseline is), and once by
// engine/kernels/avx2.cpp, built with AVX2 and the population-count instruction.
//
// The two files compile the same source with different instructions, so nothing they define
// may be shared: everything in the kernel headers has internal linkage, as have the helpers
// they use from elsewhere (NormalisedPixel, GreyFromSum), and the kernels call no inline
// function with external linkage: of such a function the linker keeps one copy for every
// caller, and it could keep the AVX2 one. The build fails when the AVX2 object defines a
// function others could call (cmake/check_own_code.cmake).
#pragma once

#include "engine/kernels.h"
#include "engine/kernels/column_sums.h"
#include "engine/kernels/frame_rows.h"
#include "engine/kernels/outline.h"
#include "engine/kernels/pack_row.h"
#include "engine/kernels/search.h"
#include "engine/kernels/window_means.h"

namespace {

constexpr KERNEL_FORM ThisForm() {
#if defined(__AVX2__)
    constexpr bool avx2 = true;
#else
    constexpr bool avx2 = false;
#endif
    return {.avx2 = avx2,
            .addRow = AddRow,
            .subtractRow = SubtractRow,
            .slideRows = SlideRows,
            .exactLevelMasks = ExactLevelMasks,
            .thresholdMasks = ThresholdMasks,
            .outlineRow = OutlineRow,
            .byteWindowMeans = ByteMeansRow,
            .copyBgrRow = BgrRow,
            .copy444Row = Row444,
            .packRow = PackRow,
            .searchColumns = SearchColumns,
            .scoreCandidate = ScoreCandidate};
}

} // namespace
