// Row-pointer images: the form of every picture inside the engine.
#pragma once

#include <cstdint>

// An image is an array of row pointers, each row its own zeroed heap block of the same size.
// Sizes are not stored: every user passes them. Row 0 is the picture's bottom line.
using IMAGE2D = uint8_t**;

IMAGE2D AllocImage2D(int32_t rows, int32_t bytesPerRow);
void FreeBuffer(void* block);
// Releases every non-null row (nulling its pointer) and then the array; rows < 1 releases
// only the array.
void FreeImage2D(IMAGE2D image, int32_t rows);
// As FreeImage2D, without nulling the rows.
void FreeImage2DShort(IMAGE2D image, uint16_t rows);

// Arrays of 4-byte (and 2-byte) elements in the same row-pointer layout.
int32_t** AllocArray2DInt(int32_t rows, int32_t cols);
int32_t** AllocArray2DInt2(int32_t rows, int32_t cols);
int32_t** AllocArray2DInt3(int32_t rows, int32_t cols);
int16_t** AllocArray2DShort(int32_t rows, int32_t cols);
void FreeArray2DInt(void* array, uint16_t rows);
void FreeArray2DInt2(void* array, uint16_t rows);
void FreeArray2DInt3(void* array, uint16_t rows);
void FreeArray2DInt4(void* array, uint16_t rows);
