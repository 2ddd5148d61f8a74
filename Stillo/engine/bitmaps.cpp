#include "engine/bitmaps.h"

#include "engine/kernels.h"

#include <bit>
#include <cstdint>

void BuildBitCountTable(uint16_t* table, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        table[i] = static_cast<uint16_t>(std::popcount(static_cast<uint32_t>(i)));
    }
}

void PackBitRows(IMAGE2D features, int32_t rows, int32_t cols, IMAGE2D packedRows,
                 uint16_t* rowCounts, int32_t* packedRows_out, int32_t* wordCount_out) {
    *packedRows_out = rows;
    *wordCount_out = cols >> 4;
    const KERNEL_FORM& kernels = Kernels();
    for (int32_t y = 0; y < rows; ++y) {
        auto* dst = reinterpret_cast<uint16_t*>(packedRows[y]);
        rowCounts[y] = static_cast<uint16_t>(kernels.packRow(features[y], cols, dst));
    }
}

int WriteMosaicHeaderStub(std::FILE* /*file*/, uint8_t** /*stripRows*/, int32_t /*width*/,
                          int32_t /*rows*/) {
    return 1;
}
