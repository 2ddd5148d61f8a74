#include "platform/media/graph.h"

#include <sched.h>

#include <chrono>
#include <climits>

namespace media {

namespace {

// Steps between runs larger than this are not decoded ahead: such a run seeks anyway.
constexpr int64_t kLookAheadStepLimit = 16;

// Decoding ahead pays only with a second core to decode on: on one, the streaming thread would
// take its time from the caller's work, and each picture would be copied once more.
bool SeveralCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return std::thread::hardware_concurrency() > 1;
    }
    return CPU_COUNT(&set) > 1;
}

} // namespace

int64_t FramesToMediaTime(int64_t frames, int fpsNum, int fpsDen) {
    // frames / fps seconds in 100 ns units, in 128 bits: frames, units and the rate's
    // denominator together overflow 64.
    const __int128 units = static_cast<__int128>(frames) * kUnitsPerSecond * fpsDen / fpsNum;
    return units > INT64_MAX   ? INT64_MAX
           : units < INT64_MIN ? INT64_MIN
                               : static_cast<int64_t>(units);
}

int64_t MediaTimeToFrame(int64_t t, int fpsNum, int fpsDen, bool roundUp) {
    // frame = t * fps / 10^7. A duration truncated to whole units must still stop after the
    // last frame, not before it: stops round up.
    const __int128 scaled = static_cast<__int128>(t) * fpsNum;
    const __int128 den = static_cast<__int128>(kUnitsPerSecond) * fpsDen;
    __int128 q = scaled / den;
    const __int128 r = scaled % den;
    if (r != 0 && scaled < 0 && !roundUp) {
        --q;
    } else if (r != 0 && scaled > 0 && roundUp) {
        ++q;
    }
    return q > INT64_MAX ? INT64_MAX : q < INT64_MIN ? INT64_MIN : static_cast<int64_t>(q);
}

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
    m_frameCount.store(m_decoder->FrameCount());
    m_lookAhead = SeveralCores();
    m_thread = std::thread([this] { StreamingLoop(); });
}

FilterGraph::~FilterGraph() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        Announce();
    }
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
    const int64_t frames = m_frameCount.load();
    if (m_format == TimeFormat::Frame) {
        *duration = frames;
    } else {
        *duration = FramesToMediaTime(frames, m_decoder->FpsNum(), m_decoder->FpsDen());
    }
    return S_OK;
}

int64_t FilterGraph::ToFrame(int64_t position, bool roundUp) const {
    if (m_format == TimeFormat::Frame) {
        return position;
    }
    return MediaTimeToFrame(position, m_decoder->FpsNum(), m_decoder->FpsDen(), roundUp);
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
        m_stopFrame = ToFrame(*stop, true);
    }
    Announce();
    return S_OK;
}

HRESULT FilterGraph::Run() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_runPending || m_busy) {
        return S_OK;
    }
    m_runPending = true;
    Announce();
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // A run not yet taken up is dropped; the streaming thread finds nothing to do.
    m_runPending = false;
    m_stopping.store(true);
    m_changed.wait(lock, [this] { return !m_busy; });
    m_stopping.store(false);
    Announce();
    return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(int32_t timeoutMs, int32_t* eventCode) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto done = [this] { return !m_runPending && !m_busy; };
    if (timeoutMs == INFINITE) {
        m_changed.wait(lock, done);
    } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) {
        return E_ABORT;
    }
    if (eventCode) {
        *eventCode = EC_COMPLETE;
    }
    return S_OK;
}

void FilterGraph::StreamingLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // While a caller decodes ahead on its own thread the decoder is its.
        m_work.wait(lock, [this] {
            return m_quit || (m_decoderUser == DecoderUser::None && (m_runPending || AheadDue()));
        });
        if (m_quit) {
            return;
        }
        if (m_runPending) {
            ServeRun(lock);
        } else {
            DecodeAhead(lock, DecoderUser::Streaming);
        }
    }
}

void FilterGraph::ServeRun(std::unique_lock<std::mutex>& lock) {
    m_runPending = false;
    m_busy = true;
    const int64_t frame = m_currentFrame;
    const int64_t stopFrame = m_stopFrame;
    // A picture decoded ahead serves only a run at exactly its frame.
    Prefetched ahead;
    const bool hit = TakeAhead(frame, &ahead);
    m_decoderUser = DecoderUser::Streaming;
    lock.unlock();

    HRESULT status = S_FALSE;
    if (frame < stopFrame && !m_stopping.load()) {
        status = hit ? DeliverAhead(frame, ahead) : DeliverDecoded(frame);
    }
    m_lastStatus.store(status);

    lock.lock();
    m_decoderUser = DecoderUser::None;
    if (hit && !ahead.picture.empty()) {
        m_spare.push_back(std::move(ahead.picture));
    }
    EndRun(frame, status);
}

double FilterGraph::SampleTime(int64_t frame) const {
    return static_cast<double>(frame) * m_decoder->FpsDen() / m_decoder->FpsNum();
}

void FilterGraph::ToCallback(int64_t frame, const uint8_t* picture, size_t bytes) {
    ISampleGrabberCB* cb = m_grabber->Callback();
    if (!cb || m_stopping.load()) {
        return;
    }
    if (m_grabber->CallbackKind() == 1) {
        cb->BufferCB(SampleTime(frame), picture, static_cast<long>(bytes));
    } else {
        cb->SampleCB(SampleTime(frame), picture);
    }
}

HRESULT FilterGraph::DeliverAhead(int64_t frame, const Prefetched& ahead) {
    if (ahead.status == S_OK) {
        ToCallback(frame, ahead.picture.data(), ahead.picture.size());
        ++m_aheadHits;
    }
    return ahead.status;
}

HRESULT FilterGraph::DeliverDecoded(int64_t frame) {
    ISampleGrabberCB* cb = m_grabber->Callback();
    const bool buffers = cb && m_grabber->CallbackKind() == 1;
    const PictureRows target =
        buffers ? cb->PictureTarget(m_decoder->Width(), m_decoder->Height()) : PictureRows{};
    if (!target.top) {
        return m_decoder->DecodeFrame(frame, [&](const uint8_t* picture, size_t bytes) {
            ToCallback(frame, picture, bytes);
        });
    }
    return m_decoder->DecodeFrameInto(frame, target, [&](const PictureRows& rows) {
        if (!m_stopping.load()) {
            cb->RowsCB(SampleTime(frame), rows);
        }
    });
}

void FilterGraph::EndRun(int64_t frame, HRESULT status) {
    m_frameCount.store(m_decoder->FrameCount());
    m_busy = false;
    if (status == S_OK) {
        m_currentFrame = frame + 1;
    }
    m_aheadStep = StepFromLastRun(frame);
    m_lastRunFrame = frame;
    if (status == S_OK && m_lookAhead) {
        PlanAhead(frame, m_aheadStep);
    } else {
        DropAhead();
    }
    Announce();
}

int64_t FilterGraph::StepFromLastRun(int64_t frame) const {
    const int64_t step = frame - m_lastRunFrame;
    return step >= 1 && step <= kLookAheadStepLimit ? step : 1;
}

bool FilterGraph::AheadDue() const {
    return m_aheadNext >= 0 && m_aheadNext < m_stopFrame && m_aheadNext < m_frameCount.load() &&
           m_ready.size() < kAhead;
}

bool FilterGraph::StreamingIdle() const {
    return m_decoderUser == DecoderUser::None && !m_runPending && !m_busy;
}

void FilterGraph::DropAhead() {
    for (Prefetched& p : m_ready) {
        m_spare.push_back(std::move(p.picture));
    }
    m_ready.clear();
    m_aheadNext = -1;
}

void FilterGraph::PlanAhead(int64_t frame, int64_t step) {
    // What is ready stays while it continues frame, frame + step, ...; the rest goes.
    int64_t expect = frame + step;
    size_t keep = 0;
    while (keep < m_ready.size() && m_ready[keep].frame == expect && m_ready[keep].status == S_OK) {
        ++keep;
        expect += step;
    }
    while (m_ready.size() > keep) {
        m_spare.push_back(std::move(m_ready.back().picture));
        m_ready.pop_back();
    }
    m_aheadNext = expect;
}

const FilterGraph::Prefetched* FilterGraph::FindAhead(int64_t frame) const {
    for (const Prefetched& p : m_ready) {
        if (p.frame == frame) {
            return &p;
        }
    }
    return nullptr;
}

bool FilterGraph::TakeAhead(int64_t frame, Prefetched* out) {
    if (!FindAhead(frame)) {
        DropAhead();
        return false;
    }
    // Those before it were asked for and passed over (a step that changed); those after it
    // may still be wanted.
    while (m_ready.front().frame != frame) {
        m_spare.push_back(std::move(m_ready.front().picture));
        m_ready.pop_front();
    }
    *out = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

FilterGraph::Prefetched FilterGraph::DecodeOne(int64_t frame, std::vector<uint8_t> picture) {
    const int w = m_decoder->Width();
    const int h = m_decoder->Height();
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(3) * w;
    Prefetched out{frame, E_OUTOFMEMORY, {}};
    try {
        picture.resize(static_cast<size_t>(pitch) * h);
        // Bottom-up, as the decoder's own buffer: the top row is the last one.
        const PictureRows rows{picture.data() + pitch * (h - 1), -pitch};
        out.status = m_decoder->DecodeFrameInto(frame, rows, [](const PictureRows&) {});
        out.picture = std::move(picture);
    } catch (const std::bad_alloc&) {
    }
    return out;
}

std::vector<uint8_t> FilterGraph::TakeSpare() {
    std::vector<uint8_t> picture;
    if (!m_spare.empty()) {
        picture = std::move(m_spare.back());
        m_spare.pop_back();
    }
    return picture;
}

void FilterGraph::DecodeAhead(std::unique_lock<std::mutex>& lock, DecoderUser user) {
    const int64_t frame = m_aheadNext;
    m_decoderUser = user;
    std::vector<uint8_t> picture = TakeSpare();
    lock.unlock();
    Prefetched decoded = DecodeOne(frame, std::move(picture));
    lock.lock();
    m_decoderUser = DecoderUser::None;
    m_frameCount.store(m_decoder->FrameCount());
    if (m_aheadNext == frame) {
        // A picture that could not be had (no memory for it either) ends the look-ahead; with
        // decoding ahead off only the frame asked for is decoded: one more would be dropped
        // at the next run and cost a seek to decode again.
        m_aheadNext = decoded.status == S_OK && m_lookAhead ? frame + m_aheadStep : -1;
        m_ready.push_back(std::move(decoded));
    } else if (!decoded.picture.empty()) {
        // Re-planned meanwhile: this frame is not wanted any more.
        m_spare.push_back(std::move(decoded.picture));
    }
    // A caller's decode ends too: the streaming thread may go on ahead from here.
    Announce();
}

HRESULT FilterGraph::PeekFrame(int64_t position) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const int64_t frame = ToFrame(position);
    for (;;) {
        if (frame < 0 || frame >= m_stopFrame || frame >= m_frameCount.load()) {
            return S_FALSE;
        }
        if (const Prefetched* p = FindAhead(frame)) {
            return p->status;
        }
        if (m_aheadNext != frame || m_ready.size() >= kAhead) {
            // Not on the way: decode ahead from this frame on instead.
            DropAhead();
            m_aheadStep = StepFromLastRun(frame);
            m_aheadNext = frame;
            Announce();
        }
        if (StreamingIdle()) {
            // Decode here rather than hand the frame over and wait for it, which on one core
            // costs a turn of every thread that is ready.
            DecodeAhead(lock, DecoderUser::Caller);
        } else {
            m_changed.wait(lock, [&] { return FindAhead(frame) || StreamingIdle(); });
        }
    }
}

void FilterGraph::SetLookAhead(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lookAhead = on;
    if (!on) {
        DropAhead();
    }
    Announce();
}

std::vector<int64_t> FilterGraph::SettledAhead() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool settled = m_changed.wait_for(lock, std::chrono::minutes(1),
                                            [this] { return StreamingIdle() && !AheadDue(); });
    std::vector<int64_t> frames;
    for (const Prefetched& p : m_ready) {
        frames.push_back(p.frame);
    }
    if (!settled) {
        frames.push_back(-1);
    }
    return frames;
}

void FilterGraph::Announce() {
    m_work.notify_all();
    m_changed.notify_all();
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
