#include "VideoGrabber.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

using namespace media;

namespace {

// The failure lines go to standard output as they are, status in hexadecimal.
void Report(const char* format, HRESULT hr) {
    std::printf(format, static_cast<unsigned>(hr));
    std::fflush(stdout);
}

void ReportStream(const char* format, int stream, HRESULT hr) {
    std::printf(format, stream, static_cast<unsigned>(hr));
    std::fflush(stdout);
}

// The 5-6-5 fields of the three channels, already shifted into place: trunc(v * 31 / 255) and
// trunc(v * 63 / 255) with the factors as doubles. Worked out once, so a preview pixel costs
// three look-ups instead of three conversions to floating point and back.
struct Rgb565Fields {
    std::array<uint16_t, 256> red{}, green{}, blue{};
};

constexpr Rgb565Fields MakeRgb565Fields() {
    Rgb565Fields f;
    for (int v = 0; v < 256; ++v) {
        f.red[v] = static_cast<uint16_t>(static_cast<unsigned>(v * (31.0 / 255.0)) << 11);
        f.green[v] = static_cast<uint16_t>(static_cast<unsigned>(v * (63.0 / 255.0)) << 5);
        f.blue[v] = static_cast<uint16_t>(static_cast<unsigned>(v * (31.0 / 255.0)));
    }
    return f;
}

constexpr Rgb565Fields kRgb565 = MakeRgb565Fields();

} // namespace

// ---- CSampleGrabberCB ----

HRESULT CSampleGrabberCB::SampleCB(double, const void*) {
    return S_OK;
}

size_t CSampleGrabberCB::RequiredFrameBytes() const {
    const size_t wf = static_cast<size_t>(m_bHalfSize ? m_nWidth / 2 : m_nWidth);
    const size_t hf = static_cast<size_t>(m_bHalfSize ? m_nHeight / 2 : m_nHeight);
    return 3 * wf * (hf + 1);
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
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(3) * width;
    return PictureRows{m_pFrameBuffer + pitch, pitch};
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
    const double s = m_fPreviewStep;
    const bool previewFits =
        m_pPreviewBuffer && m_nPreviewBufferBytes >= static_cast<size_t>(m_nPreviewBytesPerPixel) *
                                                         CVideoGrabber::kPreviewWidth *
                                                         CVideoGrabber::kPreviewHeight;
    // A step that is not a positive number would never leave the sampling loops.
    if (m_bDoPreview && previewFits && s > 0.0 && std::isfinite(s)) {
        WritePreview(top, pitch);
    }
    if (m_bDoFullFrame && m_pFrameBuffer && m_nFrameBufferBytes >= RequiredFrameBytes()) {
        WriteFrame(top, pitch);
    }
}

void CSampleGrabberCB::WritePreview(const uint8_t* top, ptrdiff_t pitch) const {
    const int w = m_nWidth;
    const int h = m_nHeight;
    const int bpp = m_nPreviewBytesPerPixel;
    const double s = m_fPreviewStep;
    const uint32_t rowBytes = 3 * static_cast<uint32_t>(w);
    // The sampled columns are the same on every row: find them once. The leading ones whose
    // pixel is followed by at least one more byte of its row can be read as one 4-byte word.
    uint32_t columns[CVideoGrabber::kPreviewWidth];
    int nx = 0;
    int nWord = 0;
    for (double fx = 0.0; fx < w && nx < CVideoGrabber::kPreviewWidth; fx += s, ++nx) {
        columns[nx] = 3 * static_cast<uint32_t>(fx);
        if (columns[nx] + 4 <= rowBytes) {
            nWord = nx + 1;
        }
    }
    int y = 0;
    for (double fy = 0.0; fy < h && y < CVideoGrabber::kPreviewHeight; fy += s, ++y) {
        const uint8_t* row = top + pitch * static_cast<int>(fy);
        uint8_t* out =
            m_pPreviewBuffer + static_cast<size_t>(bpp) * CVideoGrabber::kPreviewWidth * y;
        if (bpp == 2) {
            for (int x = 0; x < nx; ++x) {
                const uint8_t* p = row + columns[x];
                const unsigned v = kRgb565.red[p[2]] | kRgb565.green[p[1]] | kRgb565.blue[p[0]];
                out[2 * x] = static_cast<uint8_t>(v & 0xFF);
                out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            }
            continue;
        }
        int x = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Two pixels at a time, one 8-byte store: each word keeps the byte 3 it held, so
            // only blue, green and red change.
            for (; x + 1 < nWord; x += 2) {
                uint32_t a = 0, b = 0;
                uint64_t q = 0;
                std::memcpy(&a, row + columns[x], 4);
                std::memcpy(&b, row + columns[x + 1], 4);
                std::memcpy(&q, out + 4 * x, 8);
                q = (q & 0xFF000000FF000000ull) | (a & 0xFFFFFFu) |
                    (static_cast<uint64_t>(b & 0xFFFFFFu) << 32);
                std::memcpy(out + 4 * x, &q, 8);
            }
        }
        for (; x < nx; ++x) {
            const uint8_t* p = row + columns[x];
            uint8_t* q = out + 4 * x;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
}

void CSampleGrabberCB::WriteFrame(const uint8_t* top, ptrdiff_t pitch) const {
    const int w = m_nWidth;
    const int h = m_nHeight;
    if (!m_bHalfSize) {
        // Buffer row k + 1 holds the picture's row k from the top; a picture converted into
        // the buffer already lies there.
        const size_t outPitch = static_cast<size_t>(3) * w;
        if (top == m_pFrameBuffer + outPitch && pitch == static_cast<ptrdiff_t>(outPitch)) {
            return;
        }
        for (int k = 0; k < h; ++k) {
            std::memcpy(m_pFrameBuffer + outPitch * static_cast<size_t>(k + 1), top + pitch * k,
                        outPitch);
        }
        return;
    }
    const int wf = w / 2;
    const int hf = h / 2;
    const size_t outPitch = static_cast<size_t>(3) * wf;
    for (int k = 0; k < hf; ++k) {
        const uint8_t* src = top + pitch * (2 * k);
        uint8_t* dst = m_pFrameBuffer + outPitch * static_cast<size_t>(k + 1);
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
    m_callback.m_nPreviewBytesPerPixel = nScreenBytesPerPixel == 2 ? 2 : 4;
    const size_t previewNeed =
        static_cast<size_t>(m_callback.m_nPreviewBytesPerPixel) * kPreviewWidth * kPreviewHeight;
    if (pPreviewBuffer && previewBytes >= previewNeed) {
        m_callback.m_pPreviewBuffer = pPreviewBuffer;
        m_callback.m_nPreviewBufferBytes = previewBytes;
    } else {
        m_ownPreviewBuffer.assign(std::max(previewNeed, kDefaultBufferBytes), 0);
        m_callback.m_pPreviewBuffer = m_ownPreviewBuffer.data();
        m_callback.m_nPreviewBufferBytes = m_ownPreviewBuffer.size();
    }
    if (pFrameBuffer) {
        m_callback.m_pFrameBuffer = pFrameBuffer;
        m_callback.m_nFrameBufferBytes = frameBytes;
    } else {
        m_ownFrameBuffer.assign(kDefaultBufferBytes, 0);
        m_callback.m_pFrameBuffer = m_ownFrameBuffer.data();
        m_callback.m_nFrameBufferBytes = m_ownFrameBuffer.size();
    }
}

CVideoGrabber::~CVideoGrabber() {
    std::lock_guard<std::recursive_mutex> lock(m_grabLock);
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
    return width > height ? 275.0f / static_cast<float>(width)
                          : 220.0f / static_cast<float>(height);
}

int32_t CVideoGrabber::Open(const char* pFileName, int* pWidth, int* pHeight, int bUseFrameFormat,
                            int bHalfSize) {
    std::lock_guard<std::recursive_mutex> lock(m_grabLock);
    // The new file is built aside; whatever happens, the old one is let go only afterwards,
    // and a failure leaves no file at all rather than a half-replaced one.
    struct FailGuard {
        CVideoGrabber* self;
        bool ok = false;
        ~FailGuard() {
            if (!ok) {
                self->ReleaseFile();
            }
        }
    } guard{this};

    m_bUseFrameFormat = bUseFrameFormat ? 1 : 0;
    // The whole name, however long.
    const std::string name = pFileName ? pFileName : "";
    std::printf("Grabbing samples from %s.\r\n", name.c_str());
    std::fflush(stdout);

    std::unique_ptr<MediaDet> det(new (std::nothrow) MediaDet);
    if (!det) {
        Report("Failed in CoCreateInstance!  hr=0x%x\r\n", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = det->put_Filename(name);
    if (Failed(hr)) {
        Report("Couldn't load the file!  hr=0x%x\r\n", hr);
        return hr;
    }
    int32_t streams = 0;
    hr = det->get_OutputStreams(&streams);
    if (Failed(hr)) {
        Report("Couldn't get the output streams!  hr=0x%x\r\n", hr);
        return hr;
    }
    bool found = false;
    for (int32_t i = 0; i < streams && !found; ++i) {
        hr = det->put_CurrentStream(i);
        if (Failed(hr)) {
            ReportStream("Couldn't put stream %d  hr=0x%x\r\n", i, hr);
            return hr;
        }
        MediaType type;
        hr = det->get_StreamMediaType(&type);
        if (Failed(hr)) {
            ReportStream("Couldn't get stream media type for stream %d  hr=0x%x\r\n", i, hr);
            return hr;
        }
        found = type.majortype == MajorType::Video;
    }
    if (!found) {
        std::printf("Couldn't find a video stream\r\n");
        std::fflush(stdout);
        return 0;
    }
    hr = det->EnterBitmapGrabMode(0.0);
    if (Failed(hr)) {
        Report("Failed in EnterBitmapGrabMode!  hr=0x%x\r\n", hr);
        return hr;
    }
    SampleGrabber* grabber = nullptr;
    hr = det->GetSampleGrabber(&grabber);
    if (Failed(hr) || !grabber) {
        Report("Couldn't find the sample grabber filter!  hr=0x%x\r\n", hr);
        return Failed(hr) ? hr : 0;
    }
    MediaType connected;
    grabber->GetConnectedMediaType(&connected);
    const int width = connected.biWidth;
    const int height = connected.biHeight;
    if (width <= 0 || height <= 0) {
        Report("Failed in EnterBitmapGrabMode!  hr=0x%x\r\n", E_FAIL);
        return E_FAIL;
    }
    hr = grabber->SetOneShot(true);
    if (Failed(hr)) {
        Report("Failed in SetOneShot!  hr=0x%x\r\n", hr);
        return hr;
    }
    hr = grabber->SetBufferSamples(false);
    if (Failed(hr)) {
        Report("Failed in SetBufferSamples!  hr=0x%x\r\n", hr);
        return hr;
    }
    FilterInfo info;
    hr = grabber->QueryFilterInfo(&info);
    if (Failed(hr) || !info.pGraph) {
        Report("Failed in QueryFilterInfo!  hr=0x%x\r\n", Failed(hr) ? hr : E_FAIL);
        return Failed(hr) ? hr : E_FAIL;
    }
    FilterGraph* graph = info.pGraph;
    IMediaSeeking* seeking = graph->Seeking();
    int64_t duration = 0;
    hr = seeking->GetDuration(&duration);
    if (Failed(hr)) {
        Report("Failed in GetDuration!  hr=0x%x\r\n", hr);
        return hr;
    }
    int64_t start = 0;
    hr = seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &duration,
                               AM_SEEKING_AbsolutePositioning);
    if (Failed(hr)) {
        Report("Failed in SetPositions!  hr=0x%x\r\n", hr);
        return hr;
    }
    // A priming run before the callback is installed: it writes nothing.
    graph->Control()->Run();
    hr = graph->Control()->Stop();
    if (Failed(hr)) {
        Report("Failed to run the graph!  hr=0x%x\r\n", hr);
        return hr;
    }
    hr = grabber->SetCallback(&m_callback, 1);
    if (Failed(hr)) {
        Report("Failed in SetCallback!  hr=0x%x\r\n", hr);
        return hr;
    }
    int32_t result = 0;
    if (m_bUseFrameFormat) {
        seeking->SetTimeFormat(TimeFormat::Frame);
        seeking->GetDuration(&duration);
        result = static_cast<int32_t>(std::min<int64_t>(duration, INT32_MAX));
    } else {
        result = static_cast<int32_t>(
            std::min<double>(static_cast<double>(duration) / 10000000.0 * 25.0, INT32_MAX));
    }

    // Size the frame buffer for this video before it is swapped in.
    CSampleGrabberCB sizing;
    sizing.m_nWidth = width;
    sizing.m_nHeight = height;
    sizing.m_bHalfSize = bHalfSize ? 1 : 0;
    const size_t need = sizing.RequiredFrameBytes();
    uint8_t* frameBuffer = m_callback.m_pFrameBuffer;
    size_t frameBytes = m_callback.m_nFrameBufferBytes;
    if (need > frameBytes) {
        try {
            std::vector<uint8_t> grown(need, 0);
            if (frameBuffer && frameBytes > 0) {
                std::memcpy(grown.data(), frameBuffer, frameBytes);
            }
            m_ownFrameBuffer.swap(grown);
        } catch (const std::bad_alloc&) {
            Report("Failed in EnterBitmapGrabMode!  hr=0x%x\r\n", E_OUTOFMEMORY);
            return E_OUTOFMEMORY;
        }
        frameBuffer = m_ownFrameBuffer.data();
        frameBytes = m_ownFrameBuffer.size();
    }

    // Success: the old file goes, the new one comes in.
    ReleaseFile();
    m_callback.m_pFrameBuffer = frameBuffer;
    m_callback.m_nFrameBufferBytes = frameBytes;
    m_callback.m_bHalfSize = bHalfSize ? 1 : 0;
    m_callback.m_nWidth = width;
    m_callback.m_nHeight = height;
    m_pMediaDet = std::move(det);
    m_pSampleGrabber = grabber;
    m_pCallbackRef = &m_callback;
    m_pGrabberFilter = grabber;
    m_pFilterGraph = graph;
    m_pMediaSeeking = seeking;
    if (pWidth) {
        *pWidth = width;
    }
    if (pHeight) {
        *pHeight = height;
    }
    guard.ok = true;
    return result;
}

int CVideoGrabber::GrabLocked(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame) {
    m_callback.m_bDoPreview = bDoPreview;
    m_nCurrentFrame = nFrame;
    m_callback.m_bDoFullFrame = bDoFullFrame;
    m_callback.m_fPreviewStep = static_cast<float>(1.0 / fScale);
    if (!m_pMediaSeeking || !m_pFilterGraph) {
        return 1; // no file: nothing to deliver
    }
    int64_t position = m_bUseFrameFormat ? static_cast<int64_t>(nFrame)
                                         : static_cast<int64_t>(nFrame) * 10000000 / 25;
    m_pMediaSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                  AM_SEEKING_NoPositioning);
    IMediaControl* control = m_pFilterGraph->Control();
    control->Run();
    int32_t code = 0;
    m_pFilterGraph->Event()->WaitForCompletion(INFINITE, &code);
    control->Stop();
    return 1;
}

int CVideoGrabber::GrabFrame(int32_t nFrame, float fScale, int bDoPreview, int bDoFullFrame) {
    std::lock_guard<std::recursive_mutex> lock(m_grabLock);
    return GrabLocked(nFrame, fScale, bDoPreview, bDoFullFrame);
}

int CVideoGrabber::StepFrame() {
    std::lock_guard<std::recursive_mutex> lock(m_grabLock);
    // 64-bit sum: a doubled step cannot wrap around.
    int64_t frame = static_cast<int64_t>(m_nCurrentFrame.load()) + m_nStep.load();
    if (frame < 0) {
        frame = 0;
        m_bPlaying = 0;
    }
    const int32_t count = m_nFrameCount.load();
    if (frame >= count) {
        m_bPlaying = 0;
        frame = count > 0 ? count - 1 : 0;
    }
    m_nCurrentFrame = static_cast<int32_t>(frame);
    return GrabLocked(static_cast<int32_t>(frame),
                      PreviewScale(m_callback.m_nWidth, m_callback.m_nHeight), 1, 1);
}
