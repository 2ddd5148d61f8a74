#include "VideoGrabber.h"

#include "FrameBuffer.h"
#include "PictureSampling.h"
#include "ScreenFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

using namespace media;

namespace {

// The frame rate assumed for a file addressed in media time rather than in frames.
constexpr int64_t kAssumedFramesPerSecond = 25;

// What a step of Open gives back besides a failure status: S_OK to go on, or kNoFile to end
// Open with the result 0 (the failure already printed).
constexpr HRESULT kNoFile = S_FALSE;

// Prints a failed step's line to standard output as it is, the line's own arguments first and
// the status last in hexadecimal, and passes the status on.
template <typename... Args> HRESULT ReportFailure(HRESULT hr, const char* line, Args... args) {
    std::printf(line, args..., static_cast<unsigned>(hr));
    std::fflush(stdout);
    return hr;
}

// A step's status: S_OK when it succeeded, else the status, reported with the step's line.
template <typename... Args> HRESULT Checked(HRESULT hr, const char* line, Args... args) {
    return Failed(hr) ? ReportFailure(hr, line, args...) : S_OK;
}

// The frame buffer's bytes for a video of width x height, at full or half size (every second
// row and column).
size_t FrameBytes(int width, int height, bool halfSize) {
    return halfSize ? framebuffer::Bytes(width / 2, height / 2) : framebuffer::Bytes(width, height);
}

// A file being opened, built aside until every step has succeeded.
struct NewFile {
    std::unique_ptr<MediaDet> det;
    SampleGrabber* grabber = nullptr;
    FilterGraph* graph = nullptr;
    IMediaSeeking* seeking = nullptr;
    int width = 0;
    int height = 0;
    int64_t duration = 0; // media time
};

// Makes the detector current on the file's first video stream; kNoFile when there is none.
HRESULT SelectVideoStream(MediaDet& det) {
    int32_t streams = 0;
    if (const HRESULT hr = Checked(det.get_OutputStreams(&streams),
                                   "Couldn't get the output streams!  hr=0x%x\r\n");
        hr != S_OK) {
        return hr;
    }
    for (int32_t i = 0; i < streams; ++i) {
        if (const HRESULT hr =
                Checked(det.put_CurrentStream(i), "Couldn't put stream %d  hr=0x%x\r\n", i);
            hr != S_OK) {
            return hr;
        }
        MediaType type;
        if (const HRESULT hr =
                Checked(det.get_StreamMediaType(&type),
                        "Couldn't get stream media type for stream %d  hr=0x%x\r\n", i);
            hr != S_OK) {
            return hr;
        }
        if (type.majortype == MajorType::Video) {
            return S_OK;
        }
    }
    std::printf("Couldn't find a video stream\r\n");
    std::fflush(stdout);
    return kNoFile;
}

// The media detector on the named file's video stream, in bitmap-grab mode.
HRESULT OpenDetector(const std::string& name, NewFile* file) {
    file->det.reset(new (std::nothrow) MediaDet);
    if (!file->det) {
        return ReportFailure(E_OUTOFMEMORY, "Failed in CoCreateInstance!  hr=0x%x\r\n");
    }
    MediaDet& det = *file->det;
    HRESULT hr = Checked(det.put_Filename(name), "Couldn't load the file!  hr=0x%x\r\n");
    if (hr == S_OK) {
        hr = SelectVideoStream(det);
    }
    if (hr == S_OK) {
        hr = Checked(det.EnterBitmapGrabMode(0.0), "Failed in EnterBitmapGrabMode!  hr=0x%x\r\n");
    }
    return hr;
}

// The detector's sample grabber, set for one picture a run and no kept samples, with the
// picture size and the graph around it.
HRESULT PrepareGrabber(NewFile* file) {
    const HRESULT got = file->det->GetSampleGrabber(&file->grabber);
    if (Failed(got) || !file->grabber) {
        ReportFailure(got, "Couldn't find the sample grabber filter!  hr=0x%x\r\n");
        return Failed(got) ? got : kNoFile;
    }
    SampleGrabber& grabber = *file->grabber;
    MediaType connected;
    grabber.GetConnectedMediaType(&connected);
    file->width = connected.biWidth;
    file->height = connected.biHeight;
    if (file->width <= 0 || file->height <= 0) {
        return ReportFailure(E_FAIL, "Failed in EnterBitmapGrabMode!  hr=0x%x\r\n");
    }
    HRESULT hr = Checked(grabber.SetOneShot(true), "Failed in SetOneShot!  hr=0x%x\r\n");
    if (hr == S_OK) {
        hr = Checked(grabber.SetBufferSamples(false), "Failed in SetBufferSamples!  hr=0x%x\r\n");
    }
    if (hr != S_OK) {
        return hr;
    }
    FilterInfo info;
    hr = grabber.QueryFilterInfo(&info);
    if (Failed(hr) || !info.pGraph) {
        return ReportFailure(Failed(hr) ? hr : E_FAIL, "Failed in QueryFilterInfo!  hr=0x%x\r\n");
    }
    file->graph = info.pGraph;
    file->seeking = file->graph->Seeking();
    return S_OK;
}

// The whole file as the graph's range, and a priming run before the callback is installed,
// which writes nothing.
HRESULT PrimeGraph(NewFile* file) {
    IMediaSeeking& seeking = *file->seeking;
    HRESULT hr =
        Checked(seeking.GetDuration(&file->duration), "Failed in GetDuration!  hr=0x%x\r\n");
    if (hr == S_OK) {
        int64_t start = 0;
        hr = Checked(seeking.SetPositions(&start, AM_SEEKING_AbsolutePositioning, &file->duration,
                                          AM_SEEKING_AbsolutePositioning),
                     "Failed in SetPositions!  hr=0x%x\r\n");
    }
    if (hr == S_OK) {
        file->graph->Control()->Run();
        hr = Checked(file->graph->Control()->Stop(), "Failed to run the graph!  hr=0x%x\r\n");
    }
    return hr;
}

// The number of frames: the duration in frames, or the media time's seconds at the assumed rate.
int32_t FrameCount(NewFile* file, bool useFrameFormat) {
    if (useFrameFormat) {
        // Both statuses are ignored: a duration that cannot be had in frames stays as it was.
        int64_t frames = file->duration;
        file->seeking->SetTimeFormat(TimeFormat::Frame);
        file->seeking->GetDuration(&frames);
        return static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX));
    }
    return static_cast<int32_t>(std::min<double>(static_cast<double>(file->duration) /
                                                     static_cast<double>(kUnitsPerSecond) *
                                                     static_cast<double>(kAssumedFramesPerSecond),
                                                 INT32_MAX));
}

} // namespace

// ---- CSampleGrabberCB ----

HRESULT CSampleGrabberCB::SampleCB(double, const void*) {
    return S_OK;
}

size_t CSampleGrabberCB::RequiredFrameBytes() const {
    return FrameBytes(m_nWidth, m_nHeight, m_bHalfSize != 0);
}

HRESULT CSampleGrabberCB::BufferCB(double, const uint8_t* buffer, long bufferLen) {
    const int w = m_nWidth;
    const int h = m_nHeight;
    const size_t pitch = static_cast<size_t>(3) * (w > 0 ? w : 0);
    // A picture that is not the size this source was opened for is not read at all.
    if (!buffer || w <= 0 || h <= 0 || bufferLen < 0 ||
        static_cast<size_t>(bufferLen) < pitch * static_cast<size_t>(h)) {
        return S_OK;
    }
    // The sample is bottom-up: its top row is the last one.
    Convert(buffer + pitch * static_cast<size_t>(h - 1), -static_cast<ptrdiff_t>(pitch));
    return S_OK;
}

PictureRows CSampleGrabberCB::PictureTarget(int width, int height) {
    if (!m_bDoFullFrame || m_bHalfSize || width != m_nWidth || height != m_nHeight || width <= 0 ||
        height <= 0 || !m_pFrameBuffer || m_nFrameBufferBytes < RequiredFrameBytes()) {
        return PictureRows{};
    }
    const size_t pitch = framebuffer::Pitch(width);
    return PictureRows{m_pFrameBuffer + pitch * framebuffer::RowFromTop(0),
                       static_cast<ptrdiff_t>(pitch)};
}

HRESULT CSampleGrabberCB::RowsCB(double, const PictureRows& rows) {
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(3) * (m_nWidth > 0 ? m_nWidth : 0);
    if (!rows.top || m_nWidth <= 0 || m_nHeight <= 0 ||
        (rows.pitch < pitch && rows.pitch > -pitch)) {
        return S_OK;
    }
    Convert(rows.top, rows.pitch);
    return S_OK;
}

void CSampleGrabberCB::Convert(const uint8_t* top, ptrdiff_t pitch) {
    const bool previewFits =
        m_pPreviewBuffer && m_nPreviewBufferBytes >= static_cast<size_t>(m_nPreviewBytesPerPixel) *
                                                         screen::kPreviewWidth *
                                                         screen::kPreviewHeight;
    if (m_bDoPreview && previewFits) {
        WritePreview(top, pitch);
    }
    if (m_bDoFullFrame && m_pFrameBuffer && m_nFrameBufferBytes >= RequiredFrameBytes()) {
        WriteFrame(top, pitch);
    }
}

static_assert(screen::kPreviewWidth <= sampling::kMaxWidth);

void CSampleGrabberCB::WritePreview(const uint8_t* top, ptrdiff_t pitch) const {
    const int bpp = m_nPreviewBytesPerPixel;
    sampling::SamplePreview(top, pitch, m_nWidth, m_nHeight, m_fPreviewStep,
                            {m_pPreviewBuffer, static_cast<ptrdiff_t>(bpp) * screen::kPreviewWidth,
                             screen::kPreviewWidth, screen::kPreviewHeight, bpp});
}

void CSampleGrabberCB::WriteFrame(const uint8_t* top, ptrdiff_t pitch) const {
    const int w = m_nWidth;
    const int h = m_nHeight;
    if (!m_bHalfSize) {
        // A picture converted into the buffer already lies where it belongs.
        const size_t outPitch = framebuffer::Pitch(w);
        if (top == m_pFrameBuffer + outPitch * framebuffer::RowFromTop(0) &&
            pitch == static_cast<ptrdiff_t>(outPitch)) {
            return;
        }
        for (int k = 0; k < h; ++k) {
            std::memcpy(m_pFrameBuffer + outPitch * framebuffer::RowFromTop(k), top + pitch * k,
                        outPitch);
        }
        return;
    }
    const int wf = w / 2;
    const int hf = h / 2;
    const size_t outPitch = framebuffer::Pitch(wf);
    for (int k = 0; k < hf; ++k) {
        const uint8_t* src = top + pitch * (2 * k);
        uint8_t* dst = m_pFrameBuffer + outPitch * framebuffer::RowFromTop(k);
        for (int j = 0; j < wf; ++j) {
            std::memcpy(dst + 3 * static_cast<size_t>(j), src + 6 * static_cast<size_t>(j), 3);
        }
    }
}

// ---- CVideoGrabber ----

CVideoGrabber::CVideoGrabber(uint8_t* pPreviewBuffer, uint8_t* pFrameBuffer,
                             int nScreenBytesPerPixel, size_t previewBytes, size_t frameBytes) {
    // Screens of neither 2 nor 4 bytes a pixel get the 4-byte layout: a pitch of fewer bytes
    // than the 3 written would overlap pixels and run past the buffer's end.
    m_callback.m_nPreviewBytesPerPixel =
        nScreenBytesPerPixel == screen::kBytes565 ? screen::kBytes565 : screen::kBytes32;
    const size_t previewNeed = static_cast<size_t>(m_callback.m_nPreviewBytesPerPixel) *
                               screen::kPreviewWidth * screen::kPreviewHeight;
    if (pPreviewBuffer && previewBytes >= previewNeed) {
        m_callback.m_pPreviewBuffer = pPreviewBuffer;
        m_callback.m_nPreviewBufferBytes = previewBytes;
    } else {
        m_ownPreviewBuffer.assign(std::max(previewNeed, framebuffer::kLentBytes), 0);
        m_callback.m_pPreviewBuffer = m_ownPreviewBuffer.data();
        m_callback.m_nPreviewBufferBytes = m_ownPreviewBuffer.size();
    }
    if (pFrameBuffer) {
        m_callback.m_pFrameBuffer = pFrameBuffer;
        m_callback.m_nFrameBufferBytes = frameBytes;
    } else {
        m_ownFrameBuffer.assign(framebuffer::kLentBytes, 0);
        m_callback.m_pFrameBuffer = m_ownFrameBuffer.data();
        m_callback.m_nFrameBufferBytes = m_ownFrameBuffer.size();
    }
}

CVideoGrabber::~CVideoGrabber() {
    std::lock_guard<std::mutex> lock(m_grabLock);
    ReleaseFile();
}

void CVideoGrabber::ReleaseFile() {
    // The detector owns the graph: dropping it stops and joins the streaming thread.
    m_pMediaDet.reset();
    m_pSampleGrabber = nullptr;
    m_pCallbackRef = nullptr;
    m_pGrabberFilter = nullptr;
    m_pMediaSeeking = nullptr;
    m_pFilterGraph = nullptr;
}

float CVideoGrabber::PreviewScale(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 1.0f;
    }
    return width > height ? static_cast<float>(screen::kPreviewWidth) / static_cast<float>(width)
                          : static_cast<float>(screen::kPreviewHeight) / static_cast<float>(height);
}

int32_t CVideoGrabber::Open(const char* pFileName, int* pWidth, int* pHeight, int bUseFrameFormat,
                            int bHalfSize) {
    std::lock_guard<std::mutex> lock(m_grabLock);
    const bool useFrameFormat = bUseFrameFormat != 0;
    // The whole name, however long.
    const std::string name = pFileName ? pFileName : "";
    std::printf("Grabbing samples from %s.\r\n", name.c_str());
    std::fflush(stdout);

    // The new file is built aside and swapped in only when every step succeeded: a file that
    // cannot be used leaves the one open before, if any, open and usable as it was.
    NewFile file;
    HRESULT hr = OpenDetector(name, &file);
    if (hr == S_OK) {
        hr = PrepareGrabber(&file);
    }
    if (hr == S_OK) {
        hr = PrimeGraph(&file);
    }
    if (hr == S_OK) {
        hr = Checked(file.grabber->SetCallback(&m_callback, 1),
                     "Failed in SetCallback!  hr=0x%x\r\n");
    }
    int32_t result = 0;
    if (hr == S_OK) {
        result = FrameCount(&file, useFrameFormat);
    }
    if (hr == S_OK && result > 0) {
        hr = FitFrameBuffer(file.width, file.height, bHalfSize != 0);
    }
    if (hr != S_OK) {
        return hr == kNoFile ? 0 : hr;
    }
    // No frame to show (a file shorter than a frame time, counted by time): the file before
    // stays, as for any other file that cannot be used.
    if (result <= 0) {
        return result;
    }

    // The old file goes, the new one comes in.
    ReleaseFile();
    m_bUseFrameFormat = useFrameFormat ? 1 : 0;
    m_callback.m_bHalfSize = bHalfSize ? 1 : 0;
    m_callback.m_nWidth = file.width;
    m_callback.m_nHeight = file.height;
    m_pMediaDet = std::move(file.det);
    m_pSampleGrabber = file.grabber;
    m_pCallbackRef = &m_callback;
    m_pGrabberFilter = file.grabber;
    m_pFilterGraph = file.graph;
    m_pMediaSeeking = file.seeking;
    if (pWidth) {
        *pWidth = file.width;
    }
    if (pHeight) {
        *pHeight = file.height;
    }
    return result;
}

HRESULT CVideoGrabber::FitFrameBuffer(int width, int height, bool halfSize) {
    const size_t need = FrameBytes(width, height, halfSize);
    if (need <= m_callback.m_nFrameBufferBytes) {
        return S_OK;
    }
    try {
        std::vector<uint8_t> grown(need, 0);
        if (m_callback.m_pFrameBuffer && m_callback.m_nFrameBufferBytes > 0) {
            std::memcpy(grown.data(), m_callback.m_pFrameBuffer, m_callback.m_nFrameBufferBytes);
        }
        m_ownFrameBuffer.swap(grown);
    } catch (const std::bad_alloc&) {
        return ReportFailure(E_OUTOFMEMORY, "Failed in EnterBitmapGrabMode!  hr=0x%x\r\n");
    }
    m_callback.m_pFrameBuffer = m_ownFrameBuffer.data();
    m_callback.m_nFrameBufferBytes = m_ownFrameBuffer.size();
    return S_OK;
}

int64_t CVideoGrabber::PositionOf(int32_t frame) const {
    return m_bUseFrameFormat
               ? static_cast<int64_t>(frame)
               : static_cast<int64_t>(frame) * kUnitsPerSecond / kAssumedFramesPerSecond;
}

void CVideoGrabber::TakeRealCount() {
    const int64_t real = m_pFilterGraph->FrameCount();
    if (real >= 0 && real < m_nFrameCount.load()) {
        m_nFrameCount = static_cast<int32_t>(real);
    }
}

int CVideoGrabber::GrabLocked(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame) {
    m_callback.m_bDoPreview = bDoPreview;
    m_nCurrentFrame = nFrame;
    m_callback.m_bDoFullFrame = bDoFullFrame;
    m_callback.m_fPreviewStep = static_cast<float>(1.0 / fScale);
    if (!m_pMediaSeeking || !m_pFilterGraph) {
        return 0; // no file: nothing to deliver
    }
    int64_t position = PositionOf(nFrame);
    m_pMediaSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning);
    IMediaControl* control = m_pFilterGraph->Control();
    control->Run();
    int32_t code = 0;
    m_pFilterGraph->Event()->WaitForCompletion(INFINITE, &code);
    control->Stop();
    if (m_pFilterGraph->LastRunStatus() == S_OK) {
        return 1;
    }
    TakeRealCount();
    return 0;
}

int CVideoGrabber::GrabFrame(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame) {
    std::lock_guard<std::mutex> lock(m_grabLock);
    return GrabLocked(nFrame, fScale, bDoPreview, bDoFullFrame);
}

int32_t CVideoGrabber::StepTarget(int64_t frame, bool* atEnd) const {
    *atEnd = false;
    // 64-bit sum: a doubled step cannot wrap around.
    frame += m_nStep.load();
    if (frame < 0) {
        frame = 0;
        *atEnd = true;
    }
    const int32_t count = m_nFrameCount.load();
    if (frame >= count) {
        *atEnd = true;
        frame = count > 0 ? count - 1 : 0;
    }
    return static_cast<int32_t>(frame);
}

int CVideoGrabber::StepFrame() {
    std::lock_guard<std::mutex> lock(m_grabLock);
    bool atEnd = false;
    const int32_t frame = StepTarget(m_nCurrentFrame.load(), &atEnd);
    if (atEnd) {
        m_bPlaying = 0;
    }
    const int delivered =
        GrabLocked(frame, PreviewScale(m_callback.m_nWidth, m_callback.m_nHeight), 1, 1);
    const int32_t count = m_nFrameCount.load();
    if (!delivered && frame >= count) {
        // The file ended early: its last real frame is the one the buffers still hold.
        m_bPlaying = 0;
        m_nCurrentFrame = count > 0 ? count - 1 : 0;
    }
    return delivered;
}

bool CVideoGrabber::NextStepDelivers() {
    std::lock_guard<std::mutex> lock(m_grabLock);
    if (!m_pFilterGraph) {
        return false;
    }
    bool atEnd = false;
    const int32_t frame = StepTarget(m_nCurrentFrame.load(), &atEnd);
    // The frame is decoded now and kept for the step, which so delivers what was told.
    if (m_pFilterGraph->PeekFrame(PositionOf(frame)) == S_OK) {
        return true;
    }
    TakeRealCount();
    return false;
}

void CVideoGrabber::SetLookAhead(bool on) {
    std::lock_guard<std::mutex> lock(m_grabLock);
    if (m_pFilterGraph) {
        m_pFilterGraph->SetLookAhead(on);
    }
}
