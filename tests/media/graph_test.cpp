// The hand-off between the callers of a graph and its streaming thread: waits that time out,
// several waiters at once, stops that wait for a picture being written, runs stopped before
// they began.
#include "video_fixture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace media_test;
using videotool::Codec;

namespace {

// Holds each picture on the streaming thread until released.
class GatedCallback : public media::ISampleGrabberCB {
public:
    media::HRESULT SampleCB(double, const void*) override { return media::S_OK; }
    media::HRESULT BufferCB(double, const uint8_t*, long) override {
        entered.store(true);
        const bool held = !open.load();
        while (!open.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (held) {
            // Still writing a while after the gate opens.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ++delivered;
        return media::S_OK;
    }
    std::atomic<bool> open{true};
    std::atomic<bool> entered{false};
    std::atomic<int> delivered{0};
};

struct GraphFixture {
    media::MediaDet det;
    media::FilterGraph* graph = nullptr;
    GatedCallback cb;

    explicit GraphFixture(const std::string& path) {
        EXPECT_EQ(det.put_Filename(path), media::S_OK);
        EXPECT_EQ(det.EnterBitmapGrabMode(0), media::S_OK);
        media::SampleGrabber* grabber = nullptr;
        EXPECT_EQ(det.GetSampleGrabber(&grabber), media::S_OK);
        grabber->SetCallback(&cb, 1);
        media::FilterInfo info;
        grabber->QueryFilterInfo(&info);
        graph = info.pGraph;
        graph->SetTimeFormat(media::TimeFormat::Frame);
    }
    void Position(int64_t frame) {
        graph->SetPositions(&frame, media::AM_SEEKING_AbsolutePositioning, nullptr,
                            media::AM_SEEKING_NoPositioning);
    }
    void WaitEntered() {
        while (!cb.entered.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

TEST(Handoff, TimedOutWaitsAndSeveralWaitersAllSeeTheEnd) {
    GraphFixture f(WriteTestVideo("handoff.avi", Spec(Codec::Mjpeg, 96, 64, 6)));
    f.cb.open = false;
    f.Position(1);
    f.graph->Run();
    f.WaitEntered();
    int32_t code = 0;
    EXPECT_EQ(f.graph->WaitForCompletion(30, &code), media::E_ABORT) << "the picture is held";
    EXPECT_EQ(f.graph->WaitForCompletion(0, &code), media::E_ABORT);

    // Three callers wait at once, one of them with a time limit it will not reach.
    auto waiter = [&](int32_t timeout) {
        return std::async(std::launch::async, [&, timeout] {
            int32_t c = 0;
            return f.graph->WaitForCompletion(timeout, &c);
        });
    };
    auto a = waiter(media::INFINITE);
    auto b = waiter(media::INFINITE);
    auto c = waiter(60000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(f.cb.delivered.load(), 0);
    f.cb.open = true;
    EXPECT_EQ(a.get(), media::S_OK);
    EXPECT_EQ(b.get(), media::S_OK);
    EXPECT_EQ(c.get(), media::S_OK);
    EXPECT_EQ(f.cb.delivered.load(), 1);
    f.graph->Stop();

    // The graph goes on working after the timed-out waits: each run delivers one picture.
    for (int64_t n : {2, 3, 5}) {
        f.Position(n);
        f.graph->Run();
        EXPECT_EQ(f.graph->WaitForCompletion(60000, &code), media::S_OK) << n;
        f.graph->Stop();
    }
    EXPECT_EQ(f.cb.delivered.load(), 4);
}

TEST(Handoff, StopWaitsForThePictureBeingWrittenAndDropsARunNotBegun) {
    GraphFixture f(WriteTestVideo("handoff-stop.avi", Spec(Codec::Mjpeg, 96, 64, 6)));
    // The picture held is one decoded ahead: frame 1, after a run at frame 0.
    f.graph->SetLookAhead(true);
    f.Position(0);
    f.graph->Run();
    int32_t code = 0;
    f.graph->WaitForCompletion(media::INFINITE, &code);
    f.graph->Stop();
    ASSERT_EQ(f.graph->SettledAhead(), (std::vector<int64_t>{1, 2}));
    f.cb.open = false;
    f.cb.entered = false;
    f.Position(1);
    f.graph->Run();
    f.WaitEntered();
    // What the callback had written when Stop returned.
    auto stopped = std::async(std::launch::async, [&] {
        f.graph->Stop();
        return f.cb.delivered.load();
    });
    const auto ceiling = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!f.graph->Stopping() &&
           stopped.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < ceiling) {
    }
    f.cb.open = true;
    EXPECT_EQ(stopped.get(), 2) << "Stop returned while the callback was still writing";
    EXPECT_EQ(f.graph->LookAheadHits(), 1);

    // Runs stopped at once, whether the streaming thread took them up or not, never leave a
    // later run waiting or deliver twice.
    for (int i = 0; i < 50; ++i) {
        f.Position(i % 6);
        f.graph->Run();
        f.graph->Stop();
    }
    f.Position(4);
    const int before = f.cb.delivered.load();
    f.graph->Run();
    EXPECT_EQ(f.graph->WaitForCompletion(60000, &code), media::S_OK);
    f.graph->Stop();
    EXPECT_EQ(f.cb.delivered.load(), before + 1);
}

} // namespace
