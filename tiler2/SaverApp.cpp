#include "tiler2/SaverApp.h"

#include "engine/pixel444.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include <jpeglib.h>

// jerror.h needs what jpeglib.h declares.
#include <jerror.h>
#include <sys/stat.h>

namespace {

// The largest side a JPEG file can describe.
constexpr int64_t kMaxJpegSide = 65500;

// libjpeg's default handler ends the process; ours jumps back to Save, which reports 0.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// The jump carries the cause Encode reports.
[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump,
                 info->err->msg_code == JERR_OUT_OF_MEMORY ? ENOMEM : EIO);
}

void IgnoreJpegMessage(j_common_ptr /*info*/) {}

// Collects the encoded bytes in a vector, so nothing libjpeg allocated outlives an error.
struct VectorDestination {
    jpeg_destination_mgr base;
    std::vector<JOCTET>* bytes;
};

constexpr size_t kDestinationChunk = 1 << 16;

// Grows the encoded bytes to size, the room past used offered to libjpeg.
void GrowDestination(j_compress_ptr info, size_t used, size_t size) {
    auto* dest = reinterpret_cast<VectorDestination*>(info->dest);
    // No exception may cross libjpeg's frames: out of memory becomes a libjpeg error.
    bool grown = true;
    try {
        dest->bytes->resize(size);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) {
        ERREXIT(info, JERR_OUT_OF_MEMORY);
    }
    dest->base.next_output_byte = dest->bytes->data() + used;
    dest->base.free_in_buffer = size - used;
}

void InitDestination(j_compress_ptr info) {
    GrowDestination(info, 0, kDestinationChunk);
}

boolean EmptyDestination(j_compress_ptr info) {
    // libjpeg asks for more room only when the whole buffer is full.
    const size_t used = reinterpret_cast<VectorDestination*>(info->dest)->bytes->size();
    GrowDestination(info, used, used * 2);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    auto* dest = reinterpret_cast<VectorDestination*>(info->dest);
    dest->bytes->resize(dest->bytes->size() - dest->base.free_in_buffer);
}

struct Box {
    int left;
    int top; // counted from the picture's top
    int cols;
    int rows;
};

// Feeds the box's rows to the encoder, top row first.
void WriteRows(jpeg_compress_struct* info, const MOSAIC_PARAMS& canvas, const Box& box,
               std::vector<JSAMPLE>& rgb) {
    uint8_t** rows = CurrentCanvasRows(canvas);
    const int b = canvas.nBytesPerPixel;
    for (int i = 0; i < box.rows; ++i) {
        // Storage is bottom-up: the box's row counted from the top lies nRows - 1 - y down.
        const uint8_t* src =
            rows[canvas.nRows - 1 - (box.top + i)] + static_cast<size_t>(box.left) * b;
        if (b == 3) {
            std::copy(src, src + rgb.size(), rgb.begin());
        } else {
            for (int k = 0; k < box.cols; ++k) {
                const PIXEL444 p = Unpack444(ReadWord444(src + 2 * k));
                rgb[3 * k] = static_cast<JSAMPLE>(p.high * kExpand4To8);
                rgb[3 * k + 1] = static_cast<JSAMPLE>(p.middle * kExpand4To8);
                rgb[3 * k + 2] = static_cast<JSAMPLE>(p.low * kExpand4To8);
            }
        }
        JSAMPROW row = rgb.data();
        jpeg_write_scanlines(info, &row, 1);
    }
}

// Encodes the box into out: 0, or the cause of the failure (ENOMEM when memory ran out, EIO
// for any other encoder error), which the jump brings. Nothing local is changed between the
// jump point and an error, so no local needs to be volatile.
int Encode(const MOSAIC_PARAMS& canvas, const Box& box, int quality, std::vector<JOCTET>* out,
           std::vector<JSAMPLE>& rgb) {
    jpeg_compress_struct info{};
    ErrorManager err{};
    VectorDestination dest{};
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnJpegError;
    err.base.output_message = IgnoreJpegMessage;
    dest.bytes = out;
    dest.base.init_destination = InitDestination;
    dest.base.empty_output_buffer = EmptyDestination;
    dest.base.term_destination = TermDestination;
    switch (setjmp(err.jump)) {
    case 0:
        break;
    case ENOMEM:
        jpeg_destroy_compress(&info);
        return ENOMEM;
    default:
        jpeg_destroy_compress(&info);
        return EIO;
    }
    jpeg_create_compress(&info);
    info.dest = &dest.base;
    info.image_width = static_cast<JDIMENSION>(box.cols);
    info.image_height = static_cast<JDIMENSION>(box.rows);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 0, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    WriteRows(&info, canvas, box, rgb);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return 0;
}

bool CanvasUsable(const MOSAIC_PARAMS* canvas) {
    if (canvas == nullptr || canvas->nRows < 1 || canvas->nCols < 1 ||
        (canvas->nBytesPerPixel != 2 && canvas->nBytesPerPixel != 3)) {
        return false;
    }
    uint8_t** rows = CurrentCanvasRows(*canvas);
    if (rows == nullptr) {
        return false;
    }
    for (int i = 0; i < canvas->nRows; ++i) {
        if (rows[i] == nullptr) {
            return false;
        }
    }
    return true;
}

// Writes the block to path: 0, or the error the open or a write met. A file we created or
// truncated is removed when any write fails; a device such as /dev/full is never removed.
int WriteFile(const char* path, const JOCTET* data, size_t bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return errno != 0 ? errno : EIO;
    }
    struct stat st {};
    const bool regular = fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    // The first error met is the cause; what closing and removing meet after it is not.
    int cause = 0;
    auto note = [&cause](bool ok) {
        if (!ok && cause == 0) {
            cause = errno != 0 ? errno : EIO;
        }
    };
    errno = 0;
    note(std::fwrite(data, 1, bytes, file) == bytes);
    note(std::fflush(file) == 0);
    note(std::fclose(file) == 0);
    if (cause != 0 && regular) {
        std::remove(path);
    }
    return cause;
}

// Save's work: 0 when the file was written, else the cause of the failure.
int SaveBox(const MOSAIC_PARAMS* canvas, int x, int y, int width, int height, int quality,
            const char* path) {
    if (path == nullptr || path[0] == '\0' || !CanvasUsable(canvas)) {
        return EINVAL;
    }
    // The caller passes right - left and bottom - top of an inclusive box: the box holds one
    // more column and row than that. Clip every edge to the canvas.
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + width, canvas->nCols - 1);
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height, canvas->nRows - 1);
    if (right < left || bottom < top) {
        return EINVAL;
    }
    const Box box{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left + 1),
                  static_cast<int>(bottom - top + 1)};
    if (box.cols > kMaxJpegSide || box.rows > kMaxJpegSide) {
        return EFBIG;
    }
    std::vector<JOCTET> encoded;
    try {
        std::vector<JSAMPLE> rgb(static_cast<size_t>(box.cols) * 3);
        if (const int cause = Encode(*canvas, box, quality, &encoded, rgb); cause != 0) {
            return cause;
        }
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    return WriteFile(path, encoded.data(), encoded.size());
}

} // namespace

CSaverApp::CSaverApp() = default;

CSaverApp& CSaverApp::operator=(const CSaverApp& /*other*/) {
    return *this;
}

int CSaverApp::Save(MOSAIC_PARAMS* canvas, int x, int y, int width, int height, int quality,
                    char* path) {
    // Set once everything SaveBox held is gone, so no release can change it on the way out.
    const int cause = SaveBox(canvas, x, y, width, height, quality, path);
    if (cause != 0) {
        errno = cause;
        return 0;
    }
    return 1;
}
