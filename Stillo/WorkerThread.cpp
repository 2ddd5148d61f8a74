#include "WorkerThread.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// The worker's sleep at the end of a pass that ran no frame of a run.
constexpr auto kIdleSleep = std::chrono::milliseconds(1);

} // namespace

CWorkerThread::~CWorkerThread() {
    Stop();
}

void CWorkerThread::Start(Client client, Timing timing) {
    if (m_thread.joinable()) {
        return;
    }
    m_client = std::move(client);
    m_timing = std::move(timing);
    m_bQuit = false;
    m_thread = std::thread([this] { Loop(); });
}

void CWorkerThread::Stop() {
    m_bQuit = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

int CWorkerThread::PlayWaitMs(Clock::time_point last, Clock::time_point now) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
    return static_cast<int>(std::clamp<long long>(kPlayIntervalMs - elapsed, 0, kPlayIntervalMs));
}

void CWorkerThread::Loop() {
    auto lastStep = m_timing.now();
    while (!m_bQuit && m_client.keepRunning()) {
        Pass pass = Pass::Idle;
        if (m_client.frameDue()) {
            if (!m_client.inRun()) {
                const int wait = PlayWaitMs(lastStep, m_timing.now());
                if (wait > 0) {
                    m_timing.sleep(std::chrono::milliseconds(wait));
                }
            }
            lastStep = m_timing.now();
            {
                std::lock_guard<std::mutex> lock(m_passMutex);
                pass = m_client.pass();
            }
            if (pass != Pass::Idle) {
                m_client.afterPass(pass);
            }
            GiveWayToInterface();
        }
        if (pass == Pass::Snapped) {
            // A run goes as fast as frames come: no sleep.
            continue;
        }
        m_timing.sleep(kIdleSleep);
    }
}

void CWorkerThread::GiveWayToInterface() {
    // A mutex does not hand itself to the thread that waits for it: a worker that locks again
    // at once, as a run does, would mostly win against an interface thread still waking. So
    // the worker waits here, holding nothing, until the callers that wait have the lock. They
    // wait on the pass lock alone, which is free now, so this wait always ends: within the
    // frame in hand, whatever the scheduler does.
    if (m_nPassWaiters.load() == 0) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_handOffMutex);
    m_handOff.wait(lock, [this] { return m_nPassWaiters.load() == 0; });
}

std::unique_lock<std::mutex> CWorkerThread::InterfaceLock() {
    m_nPassWaiters.fetch_add(1);
    std::unique_lock<std::mutex> lock(m_passMutex);
    {
        std::lock_guard<std::mutex> handOff(m_handOffMutex);
        m_nPassWaiters.fetch_sub(1);
    }
    m_handOff.notify_all();
    return lock;
}
