#include "engine/frame_copy.h"

#include "engine/kernels.h"

void CopyBgrRow(const uint8_t* src, int32_t n, int32_t bytesPerPixel, uint8_t* colour,
                uint8_t* grey) {
    Kernels().copyBgrRow(src, n, bytesPerPixel, colour, grey);
}

void Copy444Row(const uint8_t* src, int32_t n, uint8_t* colour, uint8_t* grey) {
    Kernels().copy444Row(src, n, colour, grey);
}
