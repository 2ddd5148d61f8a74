// Every kernel, gathered into one form of KERNEL_FORM. Included once by engine/kernels/
// baseline.cpp, built for baseline x86-64 (or whatever the target's baseline is), and once by
// engine/kernels/avx2.cpp, built with AVX2 and the population-count instruction.
//
// The two files compile the same source with different instructions, so nothing they define
// may be shared: the kernel headers give everything internal linkage and call nothing inline
// from outside them (a shared inline function could be kept from either file and run
// everywhere). The build checks that the AVX2 object defines nothing but its table.
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
    KERNEL_FORM form{};
#if defined(__AVX2__)
    form.avx2 = true;
#endif
    form.addRow = AddRow;
    form.subtractRow = SubtractRow;
    form.slideRows = SlideRows;
    form.exactLevelMasks = ExactLevelMasks;
    form.thresholdMasks = ThresholdMasks;
    form.outlineRow = OutlineRow;
    form.byteWindowMeans = ByteMeansRow;
    form.copyBgrRow = BgrRow;
    form.copy444Row = Row444;
    form.packRow = PackRow;
    form.searchColumns = SearchColumns;
    form.scoreCandidate = ScoreCandidate;
    return form;
}

} // namespace
