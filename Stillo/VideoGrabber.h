// The video frame source: opens one video file and fetches single frames by number into the
// frame buffer (24-bit, for the engine) and the preview buffer (screen format, 275 x 220).
#pragma once

#include "FrameBuffer.h"
#include "platform/media/graph.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Receives each grabbed picture on the streaming thread and converts it into the buffers.
class CSampleGrabberCB : public media::ISampleGrabberCB {
public:
    CSampleGrabberCB() = default;
    ~CSampleGrabberCB() override = default;

    media::HRESULT SampleCB(double sampleTime, const void* sample) override;
    media::HRESULT BufferCB(double sampleTime, const uint8_t* buffer, long bufferLen) override;
    // A full-size frame is converted straight into the frame buffer's rows 1 .. H; the preview
    // is then built from there.
    media::PictureRows PictureTarget(int width, int height) override;
    media::HRESULT RowsCB(double sampleTime, const media::PictureRows& rows) override;

    // Bytes the frame buffer needs for the current size and mode.
    size_t RequiredFrameBytes() const;

    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int32_t m_bHalfSize = 0;
    int32_t m_nPreviewBytesPerPixel = 4;
    float m_fPreviewStep = 1.0f;
    uint8_t* m_pPreviewBuffer = nullptr;
    uint8_t* m_pFrameBuffer = nullptr;
    int32_t m_bDoPreview = 1;
    int32_t m_bDoFullFrame = 1;
    // What the two buffers hold; nothing is written beyond them.
    size_t m_nPreviewBufferBytes = 0;
    size_t m_nFrameBufferBytes = 0;

private:
    // Fills the buffers from a picture whose row y (from the top) starts at top + y * pitch.
    void Convert(const uint8_t* top, ptrdiff_t pitch);
    void WritePreview(const uint8_t* top, ptrdiff_t pitch) const;
    void WriteFrame(const uint8_t* top, ptrdiff_t pitch) const;
};

class CVideoGrabber {
public:
    // The two buffers are lent (never freed here) and hold the given number of bytes. A null
    // buffer, or one too small for a video, is replaced by storage the source owns; read the
    // current ones from m_callback (or FrameBuffer/PreviewBuffer) after every Open.
    CVideoGrabber(uint8_t* pPreviewBuffer, uint8_t* pFrameBuffer, int nScreenBytesPerPixel,
                  size_t previewBytes = framebuffer::kLentBytes,
                  size_t frameBytes = framebuffer::kLentBytes);
    virtual ~CVideoGrabber();
    CVideoGrabber(const CVideoGrabber&) = delete;
    CVideoGrabber& operator=(const CVideoGrabber&) = delete;

    // The number of frames, or a value <= 0 when the file cannot be used; then the source
    // keeps the file it had open before, as it was (with none, grabs deliver nothing).
    int32_t Open(const char* pFileName, int* pWidth, int* pHeight, int bUseFrameFormat,
                 int bHalfSize);
    // 1 when the frame was delivered into the buffers, 0 when no picture came (the buffers are
    // as they were). When the file ends before the frame count it announced, m_nFrameCount is
    // lowered to the real count.
    int GrabFrame(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame);
    // GrabFrame's result. A step past the real end of a file stays on its last frame and stops
    // playing, as a step past the count does.
    int StepFrame();
    // Whether the next StepFrame would deliver a picture: false when the file really ends
    // before the frame the step lands on (the count is then lowered). Decodes that frame ahead
    // if it is not already, so a run can tell before composing a frame that it is the last.
    bool NextStepDelivers();
    // Decoding of the next frames while the caller works on the current one; on by default
    // where the process has more than one core.
    void SetLookAhead(bool on);

    // 275 / W when the video is wider than high, else 220 / H.
    static float PreviewScale(int width, int height);

    uint8_t* FrameBuffer() const { return m_callback.m_pFrameBuffer; }
    size_t FrameBufferBytes() const { return m_callback.m_nFrameBufferBytes; }
    uint8_t* PreviewBuffer() const { return m_callback.m_pPreviewBuffer; }
    size_t PreviewBufferBytes() const { return m_callback.m_nPreviewBufferBytes; }
    bool HasFile() const { return m_pMediaSeeking != nullptr; }

    std::atomic<int32_t> m_nStartFrame{0};
    std::atomic<int32_t> m_nEndFrame{0};
    std::atomic<int32_t> m_nCurrentFrame{0};
    std::atomic<int32_t> m_bUseFrameFormat{1};
    std::atomic<int32_t> m_bPlaying{0};
    std::atomic<int32_t> m_nStep{1};
    std::atomic<int32_t> m_nFrameCount{0};
    CSampleGrabberCB m_callback;

private:
    void ReleaseFile();
    // Replaces the frame buffer by a larger one of the source's own when the video's frames
    // would not fit it; a failure status when that memory cannot be had.
    media::HRESULT FitFrameBuffer(int width, int height, bool halfSize);
    int GrabLocked(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame);
    // The frame StepFrame goes to from frame with the current step, clamped to the file.
    int32_t StepTarget(int64_t frame, bool* atEnd) const;
    // The graph's position of a frame: the frame itself, or its media time at the assumed rate.
    int64_t PositionOf(int32_t frame) const;
    // Takes a lowered frame count from the graph.
    void TakeRealCount();

    // One lock for Open, GrabFrame and StepFrame: grabs never overlap, and no grab meets a
    // graph that Open is replacing.
    std::mutex m_grabLock;
    std::unique_ptr<media::MediaDet> m_pMediaDet;
    media::SampleGrabber* m_pSampleGrabber = nullptr;
    media::ISampleGrabberCB* m_pCallbackRef = nullptr;
    media::SampleGrabber* m_pGrabberFilter = nullptr;
    media::IMediaSeeking* m_pMediaSeeking = nullptr;
    media::FilterGraph* m_pFilterGraph = nullptr;
    std::vector<uint8_t> m_ownFrameBuffer;
    std::vector<uint8_t> m_ownPreviewBuffer;
};
