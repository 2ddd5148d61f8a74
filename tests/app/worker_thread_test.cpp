// The work view's worker on its own: the Stop request, pacing and sleeping by the kind of
// pass, the pass lock and the turn it gives a waiting interface thread.
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Pass = CWorkerThread::Pass;

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A client whose passes all return one kind and are counted and timed.
struct FakeClient {
    std::atomic<bool> running{true};
    std::atomic<bool> due{true};
    std::atomic<bool> inRun{false};
    Pass kind = Pass::Played;
    // How long each pass keeps the pass lock.
    std::chrono::microseconds hold{0};
    std::atomic<int> loops{0};
    std::atomic<int> passes{0};
    std::atomic<int> afterPasses{0};
    std::atomic<int> afterPassMismatches{0};
    std::mutex timesMutex;
    std::vector<Clock::time_point> times;

    CWorkerThread::Client Hooks() {
        return {
            [this] {
                ++loops;
                return running.load();
            },
            [this] { return due.load(); },
            [this] { return inRun.load(); },
            [this] {
                {
                    std::lock_guard<std::mutex> lock(timesMutex);
                    times.push_back(Clock::now());
                }
                const auto until = Clock::now() + hold;
                while (Clock::now() < until) {
                }
                ++passes;
                return kind;
            },
            [this](Pass p) {
                ++afterPasses;
                afterPassMismatches += p != kind;
            },
        };
    }
    void WaitForPasses(int n) {
        const auto t0 = Clock::now();
        while (passes < n && MsSince(t0) < 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

} // namespace

TEST(WorkerStopRequest, OnePressOrManyIsOneStopTakenOnce) {
    CWorkerThread worker;
    EXPECT_FALSE(worker.TakeStopRequest()); // nothing pressed: the poll does not wait, and fails
    worker.RequestStop();
    worker.RequestStop(); // a second press before the poll changes nothing
    EXPECT_TRUE(worker.TakeStopRequest());
    EXPECT_FALSE(worker.TakeStopRequest());
    worker.RequestStop();
    worker.ClearStopRequest(); // a new run drops a leftover press
    EXPECT_FALSE(worker.TakeStopRequest());

    // A press on one thread reaches a poll on another.
    std::thread press([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        worker.RequestStop();
    });
    bool taken = false;
    const auto t0 = Clock::now();
    while (!taken && MsSince(t0) < 2000) {
        taken = worker.TakeStopRequest();
    }
    press.join();
    EXPECT_TRUE(taken);
}

TEST(WorkerPacing, PlaybackWaitsOutTheIntervalAndNeverLonger) {
    const auto now = Clock::now();
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now, now), 40);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now - std::chrono::milliseconds(15), now), 25);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now - std::chrono::seconds(5), now), 0);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now + std::chrono::seconds(5), now), 40); // clock set back

    // Over the real clock: a step 30 ms after the previous one waits what is left of the 40.
    const auto last = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const int wait = CWorkerThread::PlayWaitMs(last, Clock::now());
    EXPECT_GE(wait, 0);
    EXPECT_LE(wait, 10);
}

// Each kind of pass: how its frames are spaced and whether the loop sleeps after it.
TEST(WorkerLoop, PlaybackIsPacedARunIsNotAndIdlePassesSleep) {
    {
        // Plain playback: one step per interval.
        FakeClient c;
        CWorkerThread worker;
        worker.Start(c.Hooks());
        c.WaitForPasses(4);
        worker.Stop();
        ASSERT_GE(c.times.size(), 4u);
        for (size_t i = 1; i < c.times.size(); ++i) {
            const double gap =
                std::chrono::duration<double, std::milli>(c.times[i] - c.times[i - 1]).count();
            EXPECT_GE(gap, CWorkerThread::kPlayIntervalMs - 1.5) << "step " << i;
        }
        EXPECT_EQ(c.afterPasses, c.passes);
        EXPECT_EQ(c.afterPassMismatches, 0);
    }
    {
        // A run: neither paced nor slept, so 500 frames take far less than 500 sleeps.
        FakeClient c;
        c.inRun = true;
        c.kind = Pass::Snapped;
        CWorkerThread worker;
        const auto t0 = Clock::now();
        worker.Start(c.Hooks());
        c.WaitForPasses(500);
        const double ms = MsSince(t0);
        worker.Stop();
        EXPECT_GE(c.passes, 500);
        EXPECT_LT(ms, 400.0);
        EXPECT_EQ(c.afterPasses, c.passes);
    }
    // Nothing due (no pass at all), or a pass that finds nothing to step after all: nothing
    // after the pass, and a sleep each time round, so 50 ms hold few turns of the loop.
    for (const bool due : {false, true}) {
        SCOPED_TRACE(due ? "idle pass" : "nothing due");
        FakeClient c;
        c.due = due;
        c.kind = Pass::Idle;
        CWorkerThread worker;
        worker.Start(c.Hooks());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        worker.Stop();
        EXPECT_EQ(c.passes > 0, due);
        EXPECT_EQ(c.afterPasses, 0);
        EXPECT_GE(c.loops, 1);
        EXPECT_LE(c.loops, 60);
    }
}

TEST(WorkerLoop, EndsWhenTheClientSaysSoAndStartsAgainAfterStop) {
    FakeClient c;
    c.inRun = true;
    c.kind = Pass::Snapped;
    CWorkerThread worker;
    worker.Start(c.Hooks());
    c.WaitForPasses(10);
    c.running = false; // the main frame's running flag cleared
    const auto t0 = Clock::now();
    while (worker.IsRunning() && MsSince(t0) < 2000) {
        const int before = c.passes;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (c.passes == before) {
            break;
        }
    }
    const int settled = c.passes;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.passes, settled); // the loop has left
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    worker.Stop(); // harmless twice

    c.running = true;
    worker.Start(c.Hooks());
    EXPECT_TRUE(worker.IsRunning());
    c.WaitForPasses(settled + 10);
    worker.Stop();
    EXPECT_GE(c.passes, settled + 10);
    const int stopped = c.passes;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.passes, stopped);
}

TEST(WorkerPassLock, PassesWaitForTheInterfaceAndARunGivesWayToIt) {
    FakeClient c;
    c.inRun = true;
    c.kind = Pass::Snapped;
    c.hold = std::chrono::microseconds(1000);
    CWorkerThread worker;
    worker.Start(c.Hooks());
    c.WaitForPasses(5);

    // While the interface thread holds the lock no pass runs.
    {
        auto lock = worker.InterfaceLock();
        ASSERT_TRUE(lock.owns_lock());
        const int before = c.passes;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(c.passes, before);
    }
    // A run that holds the lock for a millisecond a frame and never sleeps still lets every
    // request in within a few frames, not after dozens.
    double longest = 0;
    for (int i = 0; i < 20; ++i) {
        const auto t0 = Clock::now();
        auto lock = worker.InterfaceLock();
        longest = std::max(longest, MsSince(t0));
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    worker.Stop();
    EXPECT_LT(longest, 30.0);
}

TEST(WorkerPassLock, ARunLetsAWaitingInterfaceInAfterTheFrameInHand) {
    std::atomic<int> started{0};
    std::atomic<int> askDuring{-1}; // the pass during which the interface thread asks
    std::atomic<bool> asking{false};
    CWorkerThread::Client client{
        [] { return true; },
        [] { return true; },
        [] { return true; },
        [&] {
            const int n = ++started;
            if (n == askDuring) {
                // The interface thread is now blocked on the lock this pass holds.
                while (!asking) {
                    std::this_thread::yield();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return Pass::Snapped;
        },
        [](Pass) {},
    };
    CWorkerThread worker;
    worker.Start(client);
    int straightAfter = 0;
    for (int round = 0; round < 10; ++round) {
        asking = false;
        askDuring = started + 3;
        int gotAfter = 0;
        std::thread interface([&] {
            while (started < askDuring) {
                std::this_thread::yield();
            }
            asking = true;
            auto lock = worker.InterfaceLock();
            gotAfter = started;
        });
        interface.join();
        straightAfter += gotAfter == askDuring;
    }
    worker.Stop();
    // Taken straight back, the lock would go to the next frame first nearly every time.
    EXPECT_GE(straightAfter, 7);
}
