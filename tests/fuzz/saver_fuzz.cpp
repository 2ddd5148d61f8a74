// CSaverApp::Save over canvases and boxes from the input: any size, pixel width, buffer flag,
// missing row, box and quality. A save succeeds exactly when the canvas is usable and the box,
// clipped to it, is not empty, and what it writes decodes to exactly that clipped box.
#include "engine/mosaic_params.h"
#include "tests/fuzz/fuzz_input.h"
#include "tiler2/SaverApp.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

struct DecodeError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnDecodeError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<DecodeError*>(info->err)->jump, 1);
}

// Decodes the whole file; false when it is no JPEG of cols x rows.
bool DecodesTo(const std::string& path, int cols, int rows) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    jpeg_decompress_struct info{};
    DecodeError error{};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnDecodeError;
    volatile bool ok = false;
    if (setjmp(error.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        jpeg_start_decompress(&info);
        std::vector<JSAMPLE> row(static_cast<size_t>(info.output_width) * info.output_components);
        JSAMPROW rowPointer = row.data();
        while (info.output_scanline < info.output_height) {
            jpeg_read_scanlines(&info, &rowPointer, 1);
        }
        ok = static_cast<int>(info.output_width) == cols &&
             static_cast<int>(info.output_height) == rows;
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return ok;
}

int Coordinate(fuzz::Input& in) {
    return in.Range(0, 5) == 0 ? in.I32() : in.Range(-60, 60);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    MOSAIC_PARAMS canvas{};
    canvas.nRows = in.Range(0, 40);
    canvas.nCols = in.Range(0, 40);
    canvas.nBytesPerPixel = in.Range(1, 4);
    canvas.bRowsACurrent = in.Range(0, 2);
    const int missingRow = in.Range(0, 3) == 0 ? in.Range(0, 40) : -1;
    const int x = Coordinate(in), y = Coordinate(in), width = Coordinate(in),
              height = Coordinate(in);
    const int quality = in.Range(-5, 105);
    const std::vector<uint8_t> pixels = in.Rest();

    // Both row buffers, each row its own block, filled from the input.
    const size_t rowBytes = static_cast<size_t>(canvas.nCols) * 4;
    std::vector<std::vector<uint8_t>> storage(2 * static_cast<size_t>(canvas.nRows));
    std::vector<uint8_t*> rowsA(canvas.nRows), rowsB(canvas.nRows);
    for (size_t i = 0; i < storage.size(); ++i) {
        storage[i].resize(rowBytes);
        for (size_t k = 0; k < rowBytes; ++k) {
            storage[i][k] = pixels.empty() ? static_cast<uint8_t>(i + k)
                                           : pixels[(i * rowBytes + k) % pixels.size()];
        }
    }
    for (int r = 0; r < canvas.nRows; ++r) {
        rowsA[r] = storage[r].data();
        rowsB[r] = storage[canvas.nRows + r].data();
    }
    uint8_t** current = canvas.bRowsACurrent == 1 ? rowsA.data() : rowsB.data();
    if (missingRow >= 0 && missingRow < canvas.nRows) {
        current[missingRow] = nullptr;
    }
    canvas.ppRowsA = canvas.nRows > 0 ? rowsA.data() : nullptr;
    canvas.ppRowsB = canvas.nRows > 0 ? rowsB.data() : nullptr;

    // The plain reference: an inclusive box of width + 1 by height + 1, clipped.
    const bool usable = canvas.nRows > 0 && canvas.nCols > 0 &&
                        (canvas.nBytesPerPixel == 2 || canvas.nBytesPerPixel == 3) &&
                        !(missingRow >= 0 && missingRow < canvas.nRows);
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + width, int64_t{canvas.nCols} - 1);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + height, int64_t{canvas.nRows} - 1);
    const bool expected = usable && right >= left && bottom >= top;

    static const std::string path = fuzz::ScratchFile("saved.jpg");
    std::remove(path.c_str());
    CSaverApp saver;
    const int saved =
        saver.Save(&canvas, x, y, width, height, quality, const_cast<char*>(path.c_str()));
    fuzz::Expect((saved != 0) == expected,
                 "a save succeeds exactly for a usable canvas and a box not empty once clipped");
    fuzz::Expect(!saved || DecodesTo(path, static_cast<int>(right - left + 1),
                                     static_cast<int>(bottom - top + 1)),
                 "a saved file decodes to exactly the clipped box");
    std::remove(path.c_str());
    return 0;
}
