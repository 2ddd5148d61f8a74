#include "Mosaicer.h"

#include "FrameBuffer.h"
#include "MosaicDefaults.h"
#include "engine/canvas_mutex.h"
#include "engine/feature_extraction.h"
#include "engine/frame_copy.h"
#include "engine/registration.h"
#include "tiler2/SaverApp.h"

#include <cstdlib>
#include <cstring>

// The program's one saving object, built before the program's own start-up code runs.
CSaverApp g_saverApp;

namespace {

// The smallest window the engine accepts: the search compares whole 16-pixel words, and the
// column bands leave a frame's top rows unpainted.
constexpr int kMinWorkCols = 16;
constexpr int kMinWorkRows = 6;
// Frame sizes are held in 16 bits.
constexpr int kMaxSide = 32767;

int BytesPerInputPixel(int pixelFormat) {
    switch (pixelFormat) {
    case kPixelBgrx32:
        return 4;
    case kPixel444:
        return 2;
    default:
        return 3;
    }
}

} // namespace

CMosaicer::CMosaicer() {
    SetDefaults();
}

CMosaicer::~CMosaicer() {
    ReleaseRun();
}

void CMosaicer::SetDefaults() {
    SetMosaicDefaults(m_settings);
    m_nWorkCols = kDefaultWorkCols;
    m_nWorkRows = kDefaultWorkRows;
    m_nPendingFeatureMode.store(m_settings.nFeatureMode);
    m_bPendingBlend.store(m_settings.bBlend);
    m_bPendingThickBrush.store(m_settings.bThickBrush);
}

void CMosaicer::ApplyUserSettings() {
    m_settings.nFeatureMode = m_nPendingFeatureMode.load();
    m_settings.bBlend = m_bPendingBlend.load();
    m_settings.bThickBrush = m_bPendingThickBrush.load();
}

void CMosaicer::ReleaseRun() {
    const MOSAIC_WORK_SIZE size = WorkSize();
    FreeMosaicBuffers(&m_settings, &m_canvas, &m_frame, &m_tables, &size);
    m_frame = MOSAIC_FRAME{};
    m_canvas = MOSAIC_PARAMS{};
    m_tables = MOSAIC_TABLES{};
    m_bReady = false;
    m_bFeaturesFailed = false;
}

int CMosaicer::Init(const char* prefix, int width, int height, int rowStart, int rowEnd,
                    int colStart, int colEnd, int frameCount, int pixelFormat) {
    ReleaseRun();
    ApplyUserSettings();

    const bool sizeOk = width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
    // The window's sizes in 64 bits: a hostile end below INT_MIN + start would overflow.
    const bool windowOk = rowStart >= 0 && colStart >= 0 && rowEnd < height && colEnd < width &&
                          int64_t{rowEnd} - rowStart + 1 >= kMinWorkRows &&
                          int64_t{colEnd} - colStart + 1 >= kMinWorkCols;
    const bool formatOk =
        pixelFormat == kPixelBgr24 || pixelFormat == kPixelBgrx32 || pixelFormat == kPixel444;
    // Transposed strips would overrun the upright buffers: only direction 0 is built.
    // A run of no frames has no last frame for Compose to find.
    if (!sizeOk || !windowOk || !formatOk || frameCount <= 0 || m_settings.nDirection != 0) {
        return 0;
    }

    m_nPixelFormat = pixelFormat;
    m_nRunFrames = frameCount;
    m_settings.nRowStart = rowStart;
    m_settings.nRowEnd = rowEnd;
    m_settings.nColStart = colStart;
    m_settings.nColEnd = colEnd;
    m_settings.nPixelFormat = pixelFormat;
    m_canvas.nBytesPerPixel = pixelFormat == kPixel444 ? 2 : 3;

    std::memset(m_settings.szStripPrefix, 0, sizeof m_settings.szStripPrefix);
    if (prefix != nullptr) {
        std::strncpy(m_settings.szStripPrefix, prefix, sizeof m_settings.szStripPrefix - 1);
    }

    m_nInputHeight = height;
    m_nInputWidth = width;
    m_nWorkRows = rowEnd - rowStart + 1;
    m_nWorkCols = colEnd - colStart + 1;

    const MOSAIC_WORK_SIZE size = WorkSize();
    if (InitMosaicBuffers(&m_settings, &m_canvas, &m_frame, &m_tables, &size) == 0) {
        m_frame = MOSAIC_FRAME{};
        m_canvas = MOSAIC_PARAMS{};
        m_tables = MOSAIC_TABLES{};
        return 0;
    }
    m_frame.nPosX = 0;
    m_frame.nPosY = 0;
    m_frame.nRows = static_cast<uint16_t>(m_nWorkRows);
    m_frame.nCols = static_cast<uint16_t>(m_nWorkCols);
    m_bReady = true;
    return 1;
}

size_t CMosaicer::RequiredFrameBytes() const {
    return framebuffer::Bytes(m_nInputWidth, m_nInputHeight, BytesPerInputPixel(m_nPixelFormat));
}

int CMosaicer::AddFrame(const uint8_t* frameBits, size_t bufferBytes) {
    if (!m_bReady) {
        return 0;
    }
    if (frameBits == nullptr || bufferBytes < RequiredFrameBytes()) {
        // The frame is lost: registering the stale one would misplace everything after it.
        m_bFeaturesFailed = true;
        return 0;
    }
    ApplyUserSettings();

    const int b = BytesPerInputPixel(m_nPixelFormat);
    const int rowStart = m_settings.nRowStart;
    const int colStart = m_settings.nColStart;
    const size_t pitch = framebuffer::Pitch(m_nInputWidth, b);

    for (int i = 0; i < m_nWorkRows; ++i) {
        const uint8_t* src = frameBits +
                             pitch * framebuffer::RowFromBottom(m_nInputHeight, rowStart + i) +
                             static_cast<size_t>(colStart) * b;
        if (m_nPixelFormat == kPixel444) {
            Copy444Row(src, m_nWorkCols, m_frame.ppColourRows[i], m_frame.ppGreyRows[i]);
        } else {
            CopyBgrRow(src, m_nWorkCols, b, m_frame.ppColourRows[i], m_frame.ppGreyRows[i]);
        }
    }
    m_frame.pInputFrame = frameBits;
    // A frame without its features must not reach registration: Compose reports it.
    m_bFeaturesFailed = ExtractFrameFeatures(&m_frame, &m_tables, &m_settings) == 0;
    return m_bFeaturesFailed ? 0 : 1;
}

int CMosaicer::NextFrame() {
    if (!m_bReady) {
        return 0;
    }
    const int reduction = m_settings.nReduction;
    m_frame.nRows = static_cast<uint16_t>(m_settings.nRowEnd - m_settings.nRowStart + 1);
    m_frame.nCols = static_cast<uint16_t>(m_settings.nColEnd - m_settings.nColStart + 1);
    m_frame.nReducedRows = static_cast<int16_t>(m_frame.nRows / reduction);
    m_frame.nReducedCols = static_cast<int16_t>(m_frame.nCols / reduction);

    const size_t featureBytes = static_cast<size_t>(m_frame.nReducedCols);
    const size_t maskBytes = static_cast<size_t>(m_frame.nReducedCols / 16) * 2;
    for (int r = 0; r < m_frame.nReducedRows; ++r) {
        std::memcpy(m_frame.ppPrevFeatures[r], m_frame.ppCurFeatures[r], featureBytes);
        std::memset(m_frame.ppCurFeatures[r], 0, featureBytes);
        std::memcpy(m_frame.ppPrevMask[r], m_frame.ppCurMask[r], maskBytes);
        m_frame.pPrevCounts[r] = m_frame.pCurCounts[r];
    }
    m_frame.nPrevEdgeCount = m_frame.nCurEdgeCount;
    return 1;
}

int CMosaicer::Compose(int frameIndex, bool bLastFrame) {
    if (!m_bReady || m_bFeaturesFailed) {
        return kComposeFailed;
    }
    if (m_settings.bThickBrush == 0) {
        m_settings.fBrushFactor = 0.0f;
        m_frame.bExtendStrip = bLastFrame || frameIndex >= m_nRunFrames - 1 ? 1 : 0;
    } else {
        // The first registered frame is painted whole, every later one from its centre band
        // to its edge.
        m_settings.fBrushFactor = frameIndex == 1 ? 1.0f : 0.0f;
        m_frame.bExtendStrip = 1;
    }
    m_frame.nWorkCols = m_nWorkCols;
    m_frame.nWorkRows = m_nWorkRows;
    const int result = RegisterFrame(&m_canvas, &m_frame, &m_settings, &m_tables, frameIndex);
    return result == kRegisterFailed ? kComposeFailed : (result != 0 ? 1 : 0);
}

int CMosaicer::Save(int x, int y, int width, int height, int quality, char* path) {
    if (!m_bReady) {
        return 0;
    }
    return g_saverApp.Save(&m_canvas, x, y, width, height, quality, path);
}

uint8_t* CMosaicer::CopyCanvas32() {
    if (!m_bReady || m_canvas.nBytesPerPixel != 3) {
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(g_hCanvasMutex);
    const size_t rows = static_cast<size_t>(m_canvas.nRows);
    const size_t cols = static_cast<size_t>(m_canvas.nCols);
    auto* block = static_cast<uint8_t*>(std::calloc(rows * cols, 4));
    if (block == nullptr) {
        return nullptr;
    }
    uint8_t** canvasRows = CurrentCanvasRows(m_canvas);
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t* src = canvasRows[r];
        uint8_t* dst = block + r * cols * 4;
        for (size_t k = 0; k < cols; ++k) {
            std::memcpy(dst + 4 * k, src + 3 * k, 3);
        }
    }
    return block;
}
