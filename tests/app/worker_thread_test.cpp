// The work view's worker on its own: the Stop request, pacing and sleeping by the kind of
// pass, the pass lock and the turn it gives a waiting interface thread.
#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Pass = CWorkerThread::Pass;

// Waits until done() holds; false when it still does not after a minute.
bool WaitUntil(const std::function<bool()>& done) {
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

const char* Name(Pass p) {
    return p == Pass::Idle ? "idle" : p == Pass::Played ? "played" : "snapped";
}

// A client of a run that goes on until stopped, with the passes given.
CWorkerThread::Client RunClient(std::function<Pass()> pass) {
    return {[] { return true; }, [] { return true; }, [] { return true; }, std::move(pass),
            [](Pass) {}};
}

// A client whose passes all return one kind and are counted. Its loop may be given a number of
// turns, after which keepRunning says no.
struct FakeClient {
    std::atomic<int> turns{-1}; // -1: no end
    std::atomic<bool> due{true};
    std::atomic<bool> inRun{false};
    Pass kind = Pass::Played;
    std::atomic<int> loops{0};
    std::atomic<int> passes{0};
    std::atomic<bool> ended{false};
    // What the loop did, in order, on a clock that moves only while it sleeps (FakeTiming);
    // kept only when asked for, as a run's passes come as fast as they can.
    bool keepLog = false;
    std::string log;
    std::atomic<long long> fakeMs{0};

    CWorkerThread::Client Hooks() {
        return {
            [this] {
                const int n = ++loops;
                const bool more = turns < 0 || n <= turns;
                ended = !more;
                return more;
            },
            [this] { return due.load(); },
            [this] { return inRun.load(); },
            [this] {
                ++passes;
                Log("pass@" + std::to_string(fakeMs));
                return kind;
            },
            [this](Pass p) { Log(std::string("after:") + Name(p)); },
        };
    }
    CWorkerThread::Timing FakeTiming() {
        return {
            [this] { return Clock::time_point(std::chrono::milliseconds(fakeMs)); },
            [this](std::chrono::milliseconds d) {
                Log("sleep" + std::to_string(d.count()));
                fakeMs += d.count();
            },
        };
    }
    void Log(const std::string& what) {
        if (keepLog) {
            log += what + " ";
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
    std::thread press([&] { worker.RequestStop(); });
    EXPECT_TRUE(WaitUntil([&] { return worker.TakeStopRequest(); }));
    press.join();
}

TEST(WorkerPacing, PlaybackWaitsOutTheIntervalAndNeverLonger) {
    const auto now = Clock::now();
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now, now), 40);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now - std::chrono::milliseconds(15), now), 25);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now - std::chrono::seconds(5), now), 0);
    EXPECT_EQ(CWorkerThread::PlayWaitMs(now + std::chrono::seconds(5), now), 40); // clock set back
}

// Each kind of pass: how its frames are spaced and whether the loop sleeps after it, on a
// clock that moves only while the loop sleeps, over two turns of the loop.
TEST(WorkerLoop, PlaybackIsPacedARunIsNotAndIdlePassesSleep) {
    const struct {
        const char* what;
        bool due, inRun;
        Pass kind;
        const char* log;
    } cases[] = {
        // One step per interval: the rest of the 40 ms after the millisecond slept.
        {"playback", true, false, Pass::Played,
         "sleep40 pass@40 after:played sleep1 sleep39 pass@80 after:played sleep1 "},
        // Neither paced nor slept.
        {"run", true, true, Pass::Snapped, "pass@0 after:snapped pass@0 after:snapped "},
        // No pass at all, or one that finds nothing to step after all: nothing after the pass,
        // and a sleep each time round.
        {"nothing due", false, false, Pass::Idle, "sleep1 sleep1 "},
        {"nothing stepped", true, true, Pass::Idle, "pass@0 sleep1 pass@1 sleep1 "},
    };
    for (const auto& c : cases) {
        FakeClient client;
        client.keepLog = true;
        client.turns = 2;
        client.due = c.due;
        client.inRun = c.inRun;
        client.kind = c.kind;
        CWorkerThread worker;
        worker.Start(client.Hooks(), client.FakeTiming());
        ASSERT_TRUE(WaitUntil([&] { return client.ended.load(); })) << c.what;
        worker.Stop();
        EXPECT_EQ(client.log, c.log) << c.what;
    }
}

TEST(WorkerLoop, EndsWhenTheClientSaysSoIgnoresASecondStartAndStartsAgainAfterStop) {
    FakeClient c;
    c.inRun = true;
    c.kind = Pass::Snapped;
    c.turns = 10;
    CWorkerThread worker;
    worker.Start(c.Hooks());
    // The main frame's running flag cleared: the loop leaves by itself and asks no more.
    ASSERT_TRUE(WaitUntil([&] { return c.ended.load(); }));
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(c.passes, 10);
    EXPECT_EQ(c.loops, 11);
    worker.Stop(); // harmless twice

    // A second start while the loop runs is ignored: the loop goes on with the first client.
    // Taken up, it would put a new thread over the running one and end the process.
    c.turns = -1;
    worker.Start(c.Hooks());
    EXPECT_TRUE(worker.IsRunning());
    FakeClient second;
    second.inRun = true;
    second.kind = Pass::Snapped;
    worker.Start(second.Hooks());
    const int before = c.passes;
    EXPECT_TRUE(WaitUntil([&] { return c.passes >= before + 10; }));
    worker.Stop();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(second.loops, 0);

    // Stopped, it starts again with the client it is given.
    worker.Start(second.Hooks());
    EXPECT_TRUE(WaitUntil([&] { return second.passes >= 10; }));
    worker.Stop();
}

// A pass never runs while the interface thread holds the lock, nor does the interface thread
// get the lock in the middle of a pass.
TEST(WorkerPassLock, PassesWaitForTheInterfaceAndARunGivesWayToIt) {
    std::atomic<bool> inPass{false}, interfaceHolds{false};
    std::atomic<int> passes{0}, overlaps{0};
    const CWorkerThread::Client client = RunClient([&] {
        inPass = true;
        overlaps += interfaceHolds.load();
        // A pass that takes a while, so that an interface thread without the lock would
        // land inside it.
        for (int i = 0; i < 20; ++i) {
            std::this_thread::yield();
        }
        ++passes;
        inPass = false;
        return Pass::Snapped;
    });
    CWorkerThread worker;
    worker.Start(client);
    ASSERT_TRUE(WaitUntil([&] { return passes > 0; }));
    for (int i = 0; i < 50; ++i) {
        auto lock = worker.InterfaceLock();
        ASSERT_TRUE(lock.owns_lock());
        overlaps += inPass.load();
        interfaceHolds = true;
        const int held = passes;
        for (int k = 0; k < 20; ++k) {
            std::this_thread::yield();
        }
        EXPECT_EQ(passes, held);
        interfaceHolds = false;
    }
    worker.Stop();
    EXPECT_EQ(overlaps, 0);
}

// An interface thread that asks for the lock during a run's pass gets it as soon as that pass
// is over, before the next one.
TEST(WorkerPassLock, ARunLetsAWaitingInterfaceInAfterTheFrameInHand) {
    constexpr int kEvery = 4, kRounds = 10;
    std::atomic<int> started{0};
    std::atomic<int> askDuring{0}; // the pass during which the interface thread asks
    std::atomic<bool> inPass{false}, over{false};
    CWorkerThread worker;
    const CWorkerThread::Client client = RunClient([&] {
        inPass = true;
        const int n = ++started;
        if (n % kEvery == 0 && n <= kEvery * kRounds) {
            // Holds the lock until the interface thread waits for it.
            askDuring = n;
            WaitUntil([&] { return worker.InterfaceWaiting() || over; });
        }
        inPass = false;
        return Pass::Snapped;
    });
    worker.Start(client);
    for (int round = 1; round <= kRounds; ++round) {
        if (!WaitUntil([&] { return askDuring == kEvery * round; })) {
            ADD_FAILURE() << "round " << round << " never came";
            break;
        }
        auto lock = worker.InterfaceLock();
        const int gotAfter = started;
        if (inPass || gotAfter != kEvery * round) {
            ADD_FAILURE() << "asked during pass " << kEvery * round << ", let in after " << gotAfter
                          << (inPass ? " during the next" : "");
            break;
        }
    }
    over = true;
    worker.Stop();
}
