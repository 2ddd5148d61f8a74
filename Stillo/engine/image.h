// Row-pointer images: the form of every picture inside the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

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
// Sets the first bytesPerRow bytes of every row to 0.
void ClearImage(IMAGE2D image, int32_t rows, int32_t bytesPerRow);

// Arrays of 4-byte (and 2-byte) elements in the same row-pointer layout.
int32_t** AllocArray2DInt(int32_t rows, int32_t cols);
int32_t** AllocArray2DInt2(int32_t rows, int32_t cols);
int32_t** AllocArray2DInt3(int32_t rows, int32_t cols);
int16_t** AllocArray2DShort(int32_t rows, int32_t cols);
void FreeArray2DInt(void* array, uint16_t rows);
void FreeArray2DInt2(void* array, uint16_t rows);
void FreeArray2DInt3(void* array, uint16_t rows);
void FreeArray2DInt4(void* array, uint16_t rows);

// The engine's temporaries own their storage and give it back on every way out of the function
// that made them; an empty one means the memory could not be had (the function then reports 0).
struct FreeDeleter {
    void operator()(void* block) const noexcept { std::free(block); }
};
// A flat block of count zeroed elements (at least one, so an empty row still has a block).
template <class T> using HeapBlock = std::unique_ptr<T[], FreeDeleter>;
template <class T> HeapBlock<T> ZeroedBlock(size_t count) {
    return HeapBlock<T>(static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T))));
}

// A row image of rows x bytesPerRow zeroed bytes, released with its rows.
class RowImage {
public:
    RowImage() = default;
    RowImage(int32_t rows, int32_t bytesPerRow)
        : m_rows(rows), m_image(AllocImage2D(rows, bytesPerRow)) {}
    ~RowImage() { FreeImage2D(m_image, m_rows); }
    RowImage(RowImage&& other) noexcept
        : m_rows(other.m_rows), m_image(std::exchange(other.m_image, nullptr)) {}
    RowImage& operator=(RowImage&& other) noexcept {
        std::swap(m_rows, other.m_rows);
        std::swap(m_image, other.m_image);
        return *this;
    }
    RowImage(const RowImage&) = delete;
    RowImage& operator=(const RowImage&) = delete;

    explicit operator bool() const { return m_image != nullptr; }
    IMAGE2D get() const { return m_image; }
    uint8_t* operator[](int32_t row) const { return m_image[row]; }

private:
    int32_t m_rows = 0;
    IMAGE2D m_image = nullptr;
};
