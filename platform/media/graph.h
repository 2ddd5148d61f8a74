// The pieces of a one-shot frame grabbing graph, shaped like the media detector, sample
// grabber and filter graph of a DirectShow program: the detector opens a file and picks a
// stream, bitmap-grab mode builds a graph around a sample grabber, and each run of the graph
// delivers one picture to the grabber's callback on the graph's own streaming thread.
#pragma once

#include "platform/media/frame_decoder.h"
#include "platform/media/status.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace media {

// The connected media type: what AM_MEDIA_TYPE and its VIDEOINFOHEADER tell a grabber.
struct MediaType {
    MajorType majortype = MajorType::Other;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
};

enum class TimeFormat { MediaTime, Frame };

constexpr int32_t AM_SEEKING_NoPositioning = 0;
constexpr int32_t AM_SEEKING_AbsolutePositioning = 1;
constexpr int32_t INFINITE = -1;
constexpr int32_t EC_COMPLETE = 1;
// Media time runs in units of 100 ns.
constexpr int64_t kUnitsPerSecond = 10000000;

// Media time of a number of frames at num / den frames a second, truncated to whole units and
// kept within 64 bits.
int64_t FramesToMediaTime(int64_t frames, int fpsNum, int fpsDen);
// The frame shown at media time t (rounded down); with roundUp the first frame that starts at
// or after t, which is the frame count when t is the truncated duration of the whole count.
int64_t MediaTimeToFrame(int64_t t, int fpsNum, int fpsDen, bool roundUp);

// Receives the grabbed pictures: 24-bit blue-green-red, bottom row first, rows of exactly
// 3 * width bytes. Runs on the graph's streaming thread.
class ISampleGrabberCB {
public:
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT SampleCB(double sampleTime, const void* sample) = 0;
    virtual HRESULT BufferCB(double sampleTime, const uint8_t* buffer, long bufferLen) = 0;

    // A BufferCB callback that keeps every whole picture in 24-bit rows of its own may name
    // them here, asked on the streaming thread before each picture: the picture is then
    // converted straight into those rows (height rows of at least 3 * width bytes) and handed
    // to RowsCB instead of BufferCB, which spares a copy per frame. No rows (top null): the
    // picture goes to BufferCB.
    virtual PictureRows PictureTarget(int /*width*/, int /*height*/) { return PictureRows{}; }
    // The picture, top row first, in the rows PictureTarget named.
    virtual HRESULT RowsCB(double /*sampleTime*/, const PictureRows& /*rows*/) { return S_OK; }
};

class IMediaSeeking {
public:
    virtual ~IMediaSeeking() = default;
    virtual HRESULT SetTimeFormat(TimeFormat format) = 0;
    // In the current time format: frames, or media time.
    virtual HRESULT GetDuration(int64_t* duration) = 0;
    virtual HRESULT SetPositions(int64_t* current, int32_t currentFlags, int64_t* stop,
                                 int32_t stopFlags) = 0;
};

class IMediaControl {
public:
    virtual ~IMediaControl() = default;
    virtual HRESULT Run() = 0;
    // Returns only when the streaming thread writes nothing more.
    virtual HRESULT Stop() = 0;
};

class IMediaEvent {
public:
    virtual ~IMediaEvent() = default;
    // Milliseconds, or INFINITE. Completion comes on every path: a picture delivered, the end
    // of the file, a decoding failure, a stop.
    virtual HRESULT WaitForCompletion(int32_t timeoutMs, int32_t* eventCode) = 0;
};

class FilterGraph;

struct FilterInfo {
    FilterGraph* pGraph = nullptr;
};

class SampleGrabber {
public:
    explicit SampleGrabber(FilterGraph* graph, MediaType type) : m_graph(graph), m_type(type) {}
    HRESULT GetConnectedMediaType(MediaType* type) const;
    // Only one-shot grabbing is offered: every run delivers one picture.
    HRESULT SetOneShot(bool oneShot);
    // Samples are never kept: the callback sees each one.
    HRESULT SetBufferSamples(bool buffer);
    // which 0: SampleCB, 1: BufferCB. A null callback stops the deliveries.
    HRESULT SetCallback(ISampleGrabberCB* callback, int which);
    HRESULT QueryFilterInfo(FilterInfo* info) const;

    ISampleGrabberCB* Callback() const { return m_callback.load(); }
    int CallbackKind() const { return m_which.load(); }

private:
    FilterGraph* m_graph;
    MediaType m_type;
    std::atomic<ISampleGrabberCB*> m_callback{nullptr};
    std::atomic<int> m_which{1};
};

class FilterGraph final : public IMediaSeeking, public IMediaControl, public IMediaEvent {
public:
    explicit FilterGraph(std::unique_ptr<FrameDecoder> decoder);
    ~FilterGraph() override;
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    SampleGrabber* Grabber() { return m_grabber.get(); }
    IMediaSeeking* Seeking() { return this; }
    IMediaControl* Control() { return this; }
    IMediaEvent* Event() { return this; }
    const FrameDecoder& Decoder() const { return *m_decoder; }

    HRESULT SetTimeFormat(TimeFormat format) override;
    HRESULT GetDuration(int64_t* duration) override;
    HRESULT SetPositions(int64_t* current, int32_t currentFlags, int64_t* stop,
                         int32_t stopFlags) override;
    HRESULT Run() override;
    HRESULT Stop() override;
    HRESULT WaitForCompletion(int32_t timeoutMs, int32_t* eventCode) override;

    // The status of the last run's decoding (S_OK delivered, S_FALSE no picture).
    HRESULT LastRunStatus() const { return m_lastStatus.load(); }
    // The stream's frame count as decoding knows it: lowered once the real end came early.
    int64_t FrameCount() const { return m_frameCount.load(); }

    // Whether a run at position (in the current time format) would deliver a picture. The frame
    // is decoded ahead if it is not already (and kept for that run), so this waits at most one
    // decode.
    HRESULT PeekFrame(int64_t position);
    // Decoding ahead: after each run the streaming thread decodes the next frames at the step
    // between the last two runs into buffers of the graph's own, while the caller works on the
    // picture it has. A run that asks for such a frame takes it from there; one that asks for
    // any other drops them. On by default where the process may run on more than one core.
    void SetLookAhead(bool on);
    // Runs served from pictures decoded ahead, for tests and benchmarks.
    int64_t LookAheadHits() const { return m_aheadHits.load(); }
    // For tests: waits until the streaming thread has nothing left to do, then gives the frames
    // decoded ahead, in order; -1 after them when it is still at work after a minute.
    std::vector<int64_t> SettledAhead();
    // For tests: a Stop is waiting for the run it ends.
    bool Stopping() const { return m_stopping.load(); }

private:
    // A frame decoded ahead, bottom row first, rows of 3 * width bytes.
    struct Prefetched {
        int64_t frame = -1;
        HRESULT status = S_FALSE;
        std::vector<uint8_t> picture;
    };
    static constexpr size_t kAhead = 2;

    // Who uses the decoder while the lock is let go: the streaming thread, or a caller asking
    // ahead while the streaming thread was idle. Never both.
    enum class DecoderUser { None, Streaming, Caller };

    void StreamingLoop();
    // One run: the picture delivered to the callback. Called and returns holding lock.
    void ServeRun(std::unique_lock<std::mutex>& lock);
    // The parts of a run done without the lock: the picture decoded ahead, or one decoded now,
    // handed to the callback.
    HRESULT DeliverAhead(int64_t frame, const Prefetched& ahead);
    HRESULT DeliverDecoded(int64_t frame);
    void ToCallback(int64_t frame, const uint8_t* picture, size_t bytes);
    double SampleTime(int64_t frame) const;
    // The run's end under the lock: its status counted, the next frames planned ahead.
    void EndRun(int64_t frame, HRESULT status);
    // Decodes m_aheadNext ahead, on whichever thread calls it. Called and returns holding lock.
    void DecodeAhead(std::unique_lock<std::mutex>& lock, DecoderUser user);
    // Decodes frame into picture (a spare buffer, or empty); the lock is not held.
    Prefetched DecodeOne(int64_t frame, std::vector<uint8_t> picture);
    std::vector<uint8_t> TakeSpare();
    bool AheadDue() const;
    // The step from the last run to frame, when it is one that decoding on serves; else 1.
    int64_t StepFromLastRun(int64_t frame) const;
    // The frames to decode ahead after a run at frame: what is ready and fits the step stays.
    void PlanAhead(int64_t frame, int64_t step);
    void DropAhead();
    const Prefetched* FindAhead(int64_t frame) const;
    // The picture decoded ahead for frame, those before it passed over; false (and all of them
    // dropped) when there is none.
    bool TakeAhead(int64_t frame, Prefetched* out);
    // Frame of a media time: the frame shown at it, or with roundUp the first frame not before
    // it (a stop position: frames starting before it are played).
    int64_t ToFrame(int64_t position, bool roundUp = false) const;
    bool StreamingIdle() const;
    // Wakes both sides to look at the state again; called holding the lock after each change.
    void Announce();

    std::unique_ptr<FrameDecoder> m_decoder;
    std::unique_ptr<SampleGrabber> m_grabber;
    // Guards the state below. Every change is made under it and announced to both sides, and
    // every wait is for a condition of that state: no wake-up can be lost.
    std::mutex m_mutex;
    // The streaming thread waits on it for a run, a frame to decode ahead or the end.
    std::condition_variable m_work;
    // Callers wait on it for the end of a run or of a decode.
    std::condition_variable m_changed;
    std::thread m_thread;
    TimeFormat m_format = TimeFormat::MediaTime;
    int64_t m_currentFrame = 0;
    int64_t m_stopFrame = INT64_MAX;
    bool m_runPending = false;
    bool m_busy = false;
    bool m_quit = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<HRESULT> m_lastStatus{S_FALSE};
    std::atomic<int64_t> m_frameCount{0};

    // Decoding ahead, guarded by m_mutex.
    bool m_lookAhead = true;
    std::deque<Prefetched> m_ready;            // in frame order, at most kAhead
    std::vector<std::vector<uint8_t>> m_spare; // picture buffers to reuse
    int64_t m_aheadNext = -1;                  // the next frame to decode ahead; -1 none
    int64_t m_aheadStep = 1;
    int64_t m_lastRunFrame = -1;
    std::atomic<int64_t> m_aheadHits{0};
    DecoderUser m_decoderUser = DecoderUser::None;
};

class MediaDet {
public:
    MediaDet() = default;
    // Opens the file (UTF-8 path); the previous file of this detector is closed first.
    HRESULT put_Filename(const std::string& path);
    HRESULT get_OutputStreams(int32_t* count) const;
    HRESULT put_CurrentStream(int32_t stream);
    HRESULT get_StreamMediaType(MediaType* type) const;
    // Opens the decoder of the current stream and builds the grabbing graph around it; fails
    // when the stream is not video or cannot be decoded.
    HRESULT EnterBitmapGrabMode(double seekTime);
    HRESULT GetSampleGrabber(SampleGrabber** grabber);

private:
    std::unique_ptr<FrameDecoder> m_decoder;
    std::unique_ptr<FilterGraph> m_graph;
    int32_t m_current = 0;
};

} // namespace media
