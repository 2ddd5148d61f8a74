// Bit-packed feature maps: the form in which the displacement search (engine/
// displacement_search.h) compares two frames.
//
// A packed map holds sixteen pixels a 16-bit word: pixel x of a row lies in word x / 16 at bit
// 15 - (x mod 16), so the first pixel of a group is the word's top bit. Only the whole words of
// a row (W = cols >> 4) take part in matching; the last cols mod 16 pixels are packed and
// counted, never compared.
#pragma once

#include "engine/image.h"

#include <cstdint>
#include <cstdio>

// Fills entries 0 .. n-1 of the table with the number of set bits of their index; n < 1 does
// nothing. The engine builds it once per run with 65536 entries.
void BuildBitCountTable(uint16_t* table, int32_t n = 65536);

// Packs a byte feature image (nonzero = set) into 16-bit words, ceil(cols / 16) a row, the bits
// beyond the row's end cleared, and counts the set pixels of every row. Reports the packed
// map's row count (rows) and its whole-word count (cols >> 4).
void PackBitRows(IMAGE2D features, int32_t rows, int32_t cols, IMAGE2D packedRows,
                 uint16_t* rowCounts, int32_t* packedRows_out, int32_t* wordCount_out);

// The header of a strip file: strip files carry no header, so nothing is written. Returns 1.
int WriteMosaicHeaderStub(std::FILE* file, uint8_t** stripRows, int32_t width, int32_t rows);
