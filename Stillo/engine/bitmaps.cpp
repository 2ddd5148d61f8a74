#include "bitmaps.h"

void BuildBitCountTable(uint16_t* table) {
    table[0] = 0;
    for (uint32_t i = 1; i < 65536; ++i) {
        table[i] = static_cast<uint16_t>(table[i >> 1] + (i & 1));
    }
}
