// The engine's owner: the one object through which the user interface drives a mosaic run.
#pragma once

#include "engine/records.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// Compose's result when the frame could not be registered or painted.
constexpr int kComposeFailed = -1;

class CMosaicer {
public:
    CMosaicer();
    virtual ~CMosaicer();
    CMosaicer(const CMosaicer&) = delete;
    CMosaicer& operator=(const CMosaicer&) = delete;

    // Starts a run: releases the previous run's buffers and builds new ones for the trim
    // window (rows counted from the frame's bottom line, all bounds inclusive). 1 when the
    // run is ready; 0 when the window, the size or the format is unusable or memory ran out,
    // and then no buffer is left behind and every per-frame call does nothing.
    int Init(const char* prefix, int width, int height, int rowStart, int rowEnd, int colStart,
             int colEnd, int frameCount, int pixelFormat);
    // Copies the trim window of one frame buffer (rows of W pixels, the picture's row b
    // counted from the bottom in buffer row H - b) and extracts its features. 0 when no run
    // is ready or the buffer is smaller than the frame needs.
    int AddFrame(const uint8_t* frameBits, size_t bufferBytes);
    // Makes the current frame the previous one.
    int NextFrame();
    // Chooses the brush and registers the current frame against the previous one: 1 when a
    // strip was completed, 0 when the frame was registered and painted, kComposeFailed when
    // it could not be (no run ready, search or canvas memory exhausted, features missing).
    // The caller should then stop the run; the canvas keeps what was painted. bLastFrame says
    // this frame ends the run (its end frame, a Stop, the frame limit): its strip is carried on
    // to the frame's edge even when frameIndex, counted in steps, stays below the run's length.
    int Compose(int frameIndex, bool bLastFrame = false);
    // Writes the canvas box with left column x, top row y (from the picture's top), and
    // right and bottom edges x + width, y + height inclusive, as JPEG: non-zero when written.
    int Save(int x, int y, int width, int height, int quality, char* path);
    // A copy of the canvas with 4 bytes a pixel (the fourth 0), rows bottom-up; the caller
    // releases it with free(). Null when there is no canvas or memory ran out.
    uint8_t* CopyCanvas32();
    void SetDefaults();

    // Bytes a frame buffer must hold for the current run.
    size_t RequiredFrameBytes() const;
    bool IsReady() const { return m_bReady; }

    // The user interface changes these while the worker runs: they are handed over through
    // atomics and taken into the settings once per frame.
    // Only the modes that exist are taken (kFeatureRegions, kFeatureEdges); any other value
    // leaves the mode as it was.
    void SetFeatureMode(int mode) {
        if (mode == kFeatureRegions || mode == kFeatureEdges) {
            m_nPendingFeatureMode.store(mode);
        }
    }
    void SetBlend(int blend) { m_bPendingBlend.store(blend); }
    void SetThickBrush(int thick) { m_bPendingThickBrush.store(thick); }
    int GetFeatureMode() const { return m_nPendingFeatureMode.load(); }
    int GetBlend() const { return m_bPendingBlend.load(); }
    int GetThickBrush() const { return m_bPendingThickBrush.load(); }

    int32_t m_nPixelFormat = 0;
    int32_t m_nRunFrames = 0;
    int32_t m_nInputWidth = 0;
    int32_t m_nInputHeight = 0;
    MOSAIC_TABLES m_tables{};
    MOSAIC_SETTINGS m_settings{};
    MOSAIC_PARAMS m_canvas{};
    MOSAIC_FRAME m_frame{};
    int32_t m_nWorkCols = 0;
    int32_t m_nWorkRows = 0;

private:
    void ApplyUserSettings();
    MOSAIC_WORK_SIZE WorkSize() const { return {m_nWorkCols, m_nWorkRows}; }
    void ReleaseRun();

    bool m_bReady = false;
    // Set by AddFrame when the frame's features could not be extracted.
    bool m_bFeaturesFailed = false;
    std::atomic<int32_t> m_nPendingFeatureMode{kFeatureRegions};
    std::atomic<int32_t> m_bPendingBlend{0};
    std::atomic<int32_t> m_bPendingThickBrush{1};
};
