// The column sums of a vertical window, moved by a row: the inner loops of every box mean of
// the region features (engine/regions.cpp).
#pragma once

#include <cstdint>

namespace {

void AddRow(int32_t* __restrict sums, const uint8_t* __restrict row, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        sums[i] += row[i];
    }
}

void SubtractRow(int32_t* __restrict sums, const uint8_t* __restrict row, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        sums[i] -= row[i];
    }
}

// sums += entering - leaving, one pass for the row that enters a vertical window and the row
// that leaves it.
void SlideRows(int32_t* __restrict sums, const uint8_t* __restrict entering,
               const uint8_t* __restrict leaving, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        sums[i] += static_cast<int32_t>(entering[i]) - static_cast<int32_t>(leaving[i]);
    }
}

} // namespace
