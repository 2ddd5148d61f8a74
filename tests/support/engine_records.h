// The engine's four records as a run has them, for tests and benchmarks that drive the
// engine's functions without its owner: built by InitMosaicBuffers from explicit settings
// and released by FreeMosaicBuffers when the fixture goes.
#pragma once

#include "MosaicDefaults.h"
#include "engine/records.h"

#include <cstdint>
#include <cstring>

namespace stillo_test {

// The settings a run of the program hands the engine (the owner's defaults, with the strip
// prefix the work view gives), for a trim window covering a whole frame of rows x cols.
inline MOSAIC_SETTINGS ProgramSettings(int32_t rows, int32_t cols) {
    MOSAIC_SETTINGS s{};
    SetMosaicDefaults(s);
    s.nRowStart = 0;
    s.nRowEnd = rows - 1;
    s.nColStart = 0;
    s.nColEnd = cols - 1;
    s.nPixelFormat = kPixelBgr24;
    std::strcpy(s.szStripPrefix, "c:");
    return s;
}

// The same with another feature mode.
inline MOSAIC_SETTINGS ProgramSettings(int32_t rows, int32_t cols, int32_t featureMode) {
    MOSAIC_SETTINGS s = ProgramSettings(rows, cols);
    s.nFeatureMode = featureMode;
    return s;
}

// Tables, settings, canvas and frame records of a run over frames of rows x cols (the trim
// window's size), with the frame record's size and position as the owner's Init leaves them.
struct EngineRecords {
    MOSAIC_SETTINGS settings;
    MOSAIC_PARAMS canvas{};
    MOSAIC_FRAME frame{};
    MOSAIC_TABLES tables{};
    const MOSAIC_WORK_SIZE size;
    // 1 when every buffer was made (InitMosaicBuffers's result).
    const int ok;

    EngineRecords(int32_t rows, int32_t cols, const MOSAIC_SETTINGS& s, int32_t canvasBytes = 3)
        : settings(s), size{cols, rows}, ok(Init(canvasBytes)) {
        frame.nRows = static_cast<uint16_t>(rows);
        frame.nCols = static_cast<uint16_t>(cols);
        frame.nPosX = 0;
        frame.nPosY = 0;
    }
    ~EngineRecords() { FreeMosaicBuffers(&settings, &canvas, &frame, &tables, &size); }
    EngineRecords(const EngineRecords&) = delete;
    EngineRecords& operator=(const EngineRecords&) = delete;

private:
    int Init(int32_t canvasBytes) {
        canvas.nBytesPerPixel = canvasBytes;
        return InitMosaicBuffers(&settings, &canvas, &frame, &tables, &size);
    }
};

} // namespace stillo_test
