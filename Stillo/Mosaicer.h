// The engine's owner: the one object through which the user interface drives a mosaic run.
#pragma once

#include "engine/records.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

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
    void SetDefaults();

    // Bytes a frame buffer must hold for the current run.
    size_t RequiredFrameBytes() const;
    bool IsReady() const { return m_bReady; }

    // The user interface changes these while the worker runs: they are handed over through
    // atomics and taken into the settings once per frame.
    void SetFeatureMode(int mode) { m_nPendingFeatureMode.store(mode); }
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
    std::atomic<int32_t> m_nPendingFeatureMode{0};
    std::atomic<int32_t> m_bPendingBlend{0};
    std::atomic<int32_t> m_bPendingThickBrush{1};
};
