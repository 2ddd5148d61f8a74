#include "engine/image.h"

#include <cstdlib>
#include <cstring>

namespace {

// The one allocator behind every image and array: rows × bytes, each row zeroed, everything
// made so far released again when any block cannot be had.
void** AllocRows(int32_t rows, int64_t bytesPerRow) {
    if (rows < 1 || bytesPerRow < 1) {
        return nullptr;
    }
    auto** array = static_cast<void**>(std::calloc(static_cast<size_t>(rows), sizeof(void*)));
    if (array == nullptr) {
        return nullptr;
    }
    for (int32_t r = 0; r < rows; ++r) {
        array[r] = std::calloc(1, static_cast<size_t>(bytesPerRow));
        if (array[r] == nullptr) {
            for (int32_t k = 0; k < r; ++k) {
                std::free(array[k]);
            }
            std::free(array);
            return nullptr;
        }
    }
    return array;
}

void FreeRows(void* array, int32_t rows, bool clearPointers) {
    if (array == nullptr) {
        return;
    }
    auto** rowPointers = static_cast<void**>(array);
    for (int32_t r = 0; r < rows; ++r) {
        std::free(rowPointers[r]);
        if (clearPointers) {
            rowPointers[r] = nullptr;
        }
    }
    std::free(array);
}

} // namespace

IMAGE2D AllocImage2D(int32_t rows, int32_t bytesPerRow) {
    return reinterpret_cast<IMAGE2D>(AllocRows(rows, bytesPerRow));
}

void FreeBuffer(void* block) {
    if (block != nullptr) {
        std::free(block);
    }
}

void FreeImage2D(IMAGE2D image, int32_t rows) {
    FreeRows(image, rows, true);
}

void FreeImage2DShort(IMAGE2D image, uint16_t rows) {
    FreeRows(image, rows, false);
}

void ClearImage(IMAGE2D image, int32_t rows, int32_t bytesPerRow) {
    for (int32_t r = 0; r < rows; ++r) {
        std::memset(image[r], 0, static_cast<size_t>(bytesPerRow));
    }
}

int32_t** AllocArray2DInt(int32_t rows, int32_t cols) {
    return reinterpret_cast<int32_t**>(AllocRows(rows, int64_t{4} * cols));
}
int32_t** AllocArray2DInt2(int32_t rows, int32_t cols) {
    return AllocArray2DInt(rows, cols);
}
int32_t** AllocArray2DInt3(int32_t rows, int32_t cols) {
    return AllocArray2DInt(rows, cols);
}

int16_t** AllocArray2DShort(int32_t rows, int32_t cols) {
    return reinterpret_cast<int16_t**>(AllocRows(rows, int64_t{2} * cols));
}

void FreeArray2DInt(void* array, uint16_t rows) {
    FreeRows(array, rows, false);
}
void FreeArray2DInt2(void* array, uint16_t rows) {
    FreeArray2DInt(array, rows);
}
void FreeArray2DInt3(void* array, uint16_t rows) {
    FreeArray2DInt(array, rows);
}
void FreeArray2DInt4(void* array, uint16_t rows) {
    FreeArray2DInt(array, rows);
}
