#include "platform/media/graph.h"

#include <chrono>

namespace media {

// ---- SampleGrabber ----

HRESULT SampleGrabber::GetConnectedMediaType(MediaType* type) const {
    if (!type) {
        return E_POINTER;
    }
    *type = m_type;
    return S_OK;
}

HRESULT SampleGrabber::SetOneShot(bool oneShot) {
    return oneShot ? S_OK : E_NOTIMPL;
}

HRESULT SampleGrabber::SetBufferSamples(bool buffer) {
    return buffer ? E_NOTIMPL : S_OK;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB* callback, int which) {
    if (which != 0 && which != 1) {
        return E_INVALIDARG;
    }
    m_which.store(which);
    m_callback.store(callback);
    return S_OK;
}

HRESULT SampleGrabber::QueryFilterInfo(FilterInfo* info) const {
    if (!info) {
        return E_POINTER;
    }
    info->pGraph = m_graph;
    return S_OK;
}

// ---- FilterGraph ----

FilterGraph::FilterGraph(std::unique_ptr<FrameDecoder> decoder) : m_decoder(std::move(decoder)) {
    MediaType type;
    type.majortype = MajorType::Video;
    type.biWidth = m_decoder->Width();
    type.biHeight = m_decoder->Height();
    m_grabber = std::make_unique<SampleGrabber>(this, type);
    m_stopFrame = m_decoder->FrameCount();
    m_thread = std::thread([this] { StreamingLoop(); });
}

FilterGraph::~FilterGraph() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.release();
    m_thread.join();
}

HRESULT FilterGraph::SetTimeFormat(TimeFormat format) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_format = format;
    return S_OK;
}

HRESULT FilterGraph::GetDuration(int64_t* duration) {
    if (!duration) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const int64_t frames = m_decoder->FrameCount();
    if (m_format == TimeFormat::Frame) {
        *duration = frames;
    } else {
        // frames / fps seconds in 100 ns units.
        *duration = frames * kUnitsPerSecond * m_decoder->FpsDen() / m_decoder->FpsNum();
    }
    return S_OK;
}

int64_t FilterGraph::ToFrame(int64_t position) const {
    if (m_format == TimeFormat::Frame) {
        return position;
    }
    // The frame shown at media time t is floor(t * fps / 10^7).
    const __int128 scaled = static_cast<__int128>(position) * m_decoder->FpsNum();
    const __int128 den = static_cast<__int128>(kUnitsPerSecond) * m_decoder->FpsDen();
    __int128 q = scaled / den;
    if (scaled % den != 0 && scaled < 0) {
        --q;
    }
    return static_cast<int64_t>(q);
}

HRESULT FilterGraph::SetPositions(int64_t* current, int32_t currentFlags, int64_t* stop,
                                  int32_t stopFlags) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (currentFlags == AM_SEEKING_AbsolutePositioning) {
        if (!current) {
            return E_POINTER;
        }
        m_currentFrame = ToFrame(*current);
    }
    if (stopFlags == AM_SEEKING_AbsolutePositioning) {
        if (!stop) {
            return E_POINTER;
        }
        m_stopFrame = ToFrame(*stop);
    }
    return S_OK;
}

int FilterGraph::TakeWaiters() {
    const int waiters = m_waiters;
    m_waiters = 0;
    ++m_signals;
    return waiters;
}

template <typename Done>
bool FilterGraph::WaitLocked(std::unique_lock<std::mutex>& lock, Done done,
                             const std::chrono::steady_clock::time_point* deadline) {
    while (!done()) {
        const uint64_t signals = m_signals;
        ++m_waiters;
        lock.unlock();
        const bool woken =
            deadline ? m_done.try_acquire_until(*deadline) : (m_done.acquire(), true);
        lock.lock();
        if (!woken) {
            if (m_signals == signals) {
                --m_waiters; // never woken: withdraw, so no token is left for it
                return false;
            }
            // Woken just as the time ran out: its token is on the way; take it.
            lock.unlock();
            m_done.acquire();
            lock.lock();
        }
    }
    return true;
}

HRESULT FilterGraph::Run() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_runPending || m_busy) {
            return S_OK;
        }
        m_completed = false;
        m_runPending = true;
    }
    m_wake.release();
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // A run not yet taken up is dropped; the streaming thread finds nothing to do.
    m_runPending = false;
    m_stopping.store(true);
    const auto idle = [this] { return !m_busy; };
    WaitLocked(lock, idle, nullptr);
    m_stopping.store(false);
    m_completed = true;
    const int waiters = TakeWaiters();
    lock.unlock();
    if (waiters > 0) {
        m_done.release(waiters);
    }
    return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(int32_t timeoutMs, int32_t* eventCode) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto done = [this] { return m_completed || (!m_runPending && !m_busy); };
    if (timeoutMs == INFINITE) {
        WaitLocked(lock, done, nullptr);
    } else {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!WaitLocked(lock, done, &deadline)) {
            return E_ABORT;
        }
    }
    if (eventCode) {
        *eventCode = EC_COMPLETE;
    }
    return S_OK;
}

void FilterGraph::StreamingLoop() {
    for (;;) {
        m_wake.acquire();
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_quit) {
            return;
        }
        if (!m_runPending) {
            continue; // the run was stopped before it began
        }
        m_runPending = false;
        m_busy = true;
        const int64_t frame = m_currentFrame;
        const int64_t stopFrame = m_stopFrame;
        lock.unlock();

        HRESULT status = S_FALSE;
        if (frame < stopFrame && !m_stopping.load()) {
            const double sampleTime =
                static_cast<double>(frame) * m_decoder->FpsDen() / m_decoder->FpsNum();
            ISampleGrabberCB* cb = m_grabber->Callback();
            const bool buffers = cb && m_grabber->CallbackKind() == 1;
            const PictureRows target =
                buffers ? cb->PictureTarget(m_decoder->Width(), m_decoder->Height())
                        : PictureRows{};
            if (target.top) {
                status = m_decoder->DecodeFrameInto(frame, target, [&](const PictureRows& rows) {
                    if (!m_stopping.load()) {
                        cb->RowsCB(sampleTime, rows);
                    }
                });
            } else {
                status = m_decoder->DecodeFrame(frame, [&](const uint8_t* picture, size_t bytes) {
                    ISampleGrabberCB* now = m_grabber->Callback();
                    if (!now || m_stopping.load()) {
                        return;
                    }
                    if (m_grabber->CallbackKind() == 1) {
                        now->BufferCB(sampleTime, picture, static_cast<long>(bytes));
                    } else {
                        now->SampleCB(sampleTime, picture);
                    }
                });
            }
        }
        m_lastStatus.store(status);

        lock.lock();
        m_busy = false;
        m_completed = true;
        if (status == S_OK) {
            m_currentFrame = frame + 1;
        }
        const int waiters = TakeWaiters();
        lock.unlock();
        if (waiters > 0) {
            m_done.release(waiters);
        }
    }
}

// ---- MediaDet ----

HRESULT MediaDet::put_Filename(const std::string& path) {
    m_graph.reset();
    m_decoder = std::make_unique<FrameDecoder>();
    m_current = 0;
    const HRESULT hr = m_decoder->OpenFile(path);
    if (Failed(hr)) {
        m_decoder.reset();
    }
    return hr;
}

HRESULT MediaDet::get_OutputStreams(int32_t* count) const {
    if (!count) {
        return E_POINTER;
    }
    if (!m_decoder) {
        return E_FAIL;
    }
    *count = m_decoder->StreamCount();
    return S_OK;
}

HRESULT MediaDet::put_CurrentStream(int32_t stream) {
    if (!m_decoder) {
        return E_FAIL;
    }
    if (stream < 0 || stream >= m_decoder->StreamCount()) {
        return E_INVALIDARG;
    }
    m_current = stream;
    return S_OK;
}

HRESULT MediaDet::get_StreamMediaType(MediaType* type) const {
    if (!type) {
        return E_POINTER;
    }
    if (!m_decoder) {
        return E_FAIL;
    }
    *type = MediaType{};
    type->majortype = m_decoder->StreamType(m_current);
    return S_OK;
}

HRESULT MediaDet::EnterBitmapGrabMode(double /*seekTime*/) {
    if (!m_decoder) {
        return m_graph ? S_OK : E_FAIL;
    }
    const HRESULT hr = m_decoder->OpenStream(m_current);
    if (Failed(hr)) {
        m_decoder.reset();
        return hr;
    }
    try {
        m_graph = std::make_unique<FilterGraph>(std::move(m_decoder));
    } catch (const std::exception&) {
        m_decoder.reset();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MediaDet::GetSampleGrabber(SampleGrabber** grabber) {
    if (!grabber) {
        return E_POINTER;
    }
    *grabber = m_graph ? m_graph->Grabber() : nullptr;
    return m_graph ? S_OK : E_FAIL;
}

} // namespace media
