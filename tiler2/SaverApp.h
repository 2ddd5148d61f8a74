// The mosaic saving library: writes a box of the mosaic canvas as a JPEG file.
#pragma once

#include "engine/mosaic_params.h"

#define TILER2_EXPORT __attribute__((visibility("default")))

class TILER2_EXPORT CSaverApp {
public:
    CSaverApp();
    CSaverApp& operator=(const CSaverApp& other);

    // Writes the canvas box with left column x and top row y (counted from the picture's top)
    // and right/bottom edges x + width, y + height, both inclusive, as a JPEG of the given
    // quality (0-100) to path. The box is clipped to the canvas; the canvas is only read.
    // Non-zero when the file was written; 0 for a null or malformed canvas, a null path, an
    // empty box, a box over 65,500 pixels a side, or any encoding, open or write failure, and
    // then no partial file is left behind and errno holds the cause: the error the open or the
    // write met (ENOSPC, EACCES, EROFS, ENOENT, ...), EFBIG for a box over 65,500 pixels a
    // side, ENOMEM when memory ran out, EIO for another encoding failure, EINVAL for a canvas,
    // box or path that cannot be used.
    int Save(MOSAIC_PARAMS* canvas, int x, int y, int width, int height, int quality, char* path);
};
