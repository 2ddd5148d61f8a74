// The work view's worker: one thread that loops for the life of the form, stepping the video
// while it plays and feeding a mosaic run frame by frame. Each pass that steps a frame runs
// under the pass lock, which the interface thread takes for its own grabs and canvas reads, so
// grabs never overlap and the canvas is never read mid-change. The Stop button's request
// travels to the run through here too.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class CWorkerThread {
public:
    // Plain playback shows at most 25 frames a second.
    static constexpr int kPlayIntervalMs = 40;

    // What one pass did.
    enum class Pass {
        Idle,    // no frame was stepped: the worker sleeps a millisecond
        Played,  // a frame of plain playback: a millisecond's sleep, and the next step is paced
        Snapped, // a frame of a mosaic run: no sleep, only a turn for a waiting interface thread
    };

    // The owner's side of the loop; every hook runs on the worker thread.
    struct Client {
        // The loop goes on while this holds.
        std::function<bool()> keepRunning;
        // A frame is due (the video plays and is loaded). Asked before the pacing wait; the
        // pass asks again under the lock, since the interface thread may have stopped it since.
        std::function<bool()> frameDue;
        // A mosaic run is in progress: its frames are not paced.
        std::function<bool()> inRun;
        // One pass, under the pass lock.
        std::function<Pass()> pass;
        // After a pass that stepped a frame, outside the lock.
        std::function<void(Pass)> afterPass;
    };

    // The clock the loop paces by and the sleep it waits with: the real ones, unless a test
    // starts the loop with its own to count what the loop waits instead of timing it.
    struct Timing {
        std::function<std::chrono::steady_clock::time_point()> now = [] {
            return std::chrono::steady_clock::now();
        };
        std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds d) {
            std::this_thread::sleep_for(d);
        };
    };

    CWorkerThread() = default;
    // Stops and joins the thread.
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the loop with the client's hooks, unless it runs already: a second start while it
    // runs changes nothing.
    void Start(Client client, Timing timing);
    void Start(Client client) { Start(std::move(client), Timing{}); }
    // Leaves the loop after the pass in hand and joins the thread; harmless when none runs.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // The pass lock as the interface thread takes it: once the worker's pass in hand is over,
    // the lock goes to the interface thread before the worker takes it again.
    std::unique_lock<std::mutex> InterfaceLock();
    // An interface caller waits for the pass lock now.
    bool InterfaceWaiting() const { return m_nPassWaiters.load() > 0; }

    // The Stop button: one request, however often it is pressed before the run polls it.
    void RequestStop() { m_bStopRequested = true; }
    // The run's poll after a frame: true once for each request, and the request is gone.
    bool TakeStopRequest() { return m_bStopRequested.exchange(false); }
    // A new run drops a request that came after the previous run's last poll.
    void ClearStopRequest() { m_bStopRequested = false; }

    // How long plain playback waits before its next step: the rest of the interval since the
    // last one, 0 to kPlayIntervalMs (a clock set back never makes it wait longer).
    static int PlayWaitMs(std::chrono::steady_clock::time_point last,
                          std::chrono::steady_clock::time_point now);

private:
    void Loop();
    // After a pass: while interface callers wait for the pass lock, waits until they have it.
    void GiveWayToInterface();

    Client m_client;
    Timing m_timing;
    std::mutex m_passMutex;
    // Interface-thread callers waiting for m_passMutex, lowered under m_handOffMutex once they
    // hold it. A run does not sleep between frames, so without waiting for them the worker
    // would take the lock again before a woken caller gets to run.
    std::atomic<int> m_nPassWaiters{0};
    std::mutex m_handOffMutex;
    std::condition_variable m_handOff;
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bStopRequested{false};
    std::thread m_thread;
};
