#include "WorkerThread.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// The worker's sleep at the end of a pass that ran no frame of a run, and the longest it gives
// way to the interface thread after one that did: it never waits on the interface thread.
constexpr auto kIdleSleep = std::chrono::milliseconds(1);

} // namespace

CWorkerThread::~CWorkerThread() {
    Stop();
}

void CWorkerThread::Start(Client client) {
    if (m_thread.joinable()) {
        return;
    }
    m_client = std::move(client);
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
    auto lastStep = Clock::now();
    while (!m_bQuit && m_client.keepRunning()) {
        Pass pass = Pass::Idle;
        if (m_client.frameDue()) {
            if (!m_client.inRun()) {
                const int wait = PlayWaitMs(lastStep, Clock::now());
                if (wait > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
                }
            }
            lastStep = Clock::now();
            {
                std::lock_guard<std::recursive_mutex> lock(m_passMutex);
                pass = m_client.pass();
            }
            if (pass != Pass::Idle) {
                m_client.afterPass(pass);
            }
        }
        if (pass == Pass::Snapped) {
            // A run goes as fast as frames come: no idle sleep, only a turn for the
            // interface thread when it waits for the lock.
            GiveWayToInterface();
            continue;
        }
        std::this_thread::sleep_for(kIdleSleep);
    }
}

void CWorkerThread::GiveWayToInterface() {
    const auto until = Clock::now() + kIdleSleep;
    while (m_nPassWaiters.load() > 0 && Clock::now() < until) {
        std::this_thread::yield();
    }
}

std::unique_lock<std::recursive_mutex> CWorkerThread::InterfaceLock() {
    m_nPassWaiters.fetch_add(1);
    std::unique_lock<std::recursive_mutex> lock(m_passMutex);
    m_nPassWaiters.fetch_sub(1);
    return lock;
}
