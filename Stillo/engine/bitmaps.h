// Bit-packed feature maps and the displacement search between two of them.
#pragma once

#include <cstdint>

// Fills the 65536-entry table with the number of set bits of each index.
void BuildBitCountTable(uint16_t* table);
