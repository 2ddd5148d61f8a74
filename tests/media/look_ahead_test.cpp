// Decoding ahead: while the caller works on one frame the graph decodes the next ones into
// buffers of its own. Runs at the frames decoded ahead take them from there; every other run
// drops them; nothing decoded ahead is ever written into the caller's buffers.
#include "video_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <random>
#include <sched.h>
#include <thread>

using namespace media_test;
using videotool::Codec;

namespace {

// Records the barcode of every picture delivered to it.
class Recorder : public media::ISampleGrabberCB {
public:
    Recorder(int w, int h) : m_w(w), m_h(h) {}
    media::HRESULT SampleCB(double, const void*) override { return media::S_OK; }
    media::HRESULT BufferCB(double, const uint8_t* buffer, long) override {
        barcodes.push_back(BarcodeOfBottomUp(buffer, m_w, m_h));
        return media::S_OK;
    }
    std::vector<int> barcodes;

private:
    int m_w, m_h;
};

struct Graph {
    media::MediaDet det;
    media::FilterGraph* graph = nullptr;

    // ahead: decoding ahead on whatever cores the tests are given; else the graph's own choice.
    explicit Graph(const std::string& path, bool ahead = true) {
        EXPECT_EQ(det.put_Filename(path), media::S_OK);
        EXPECT_EQ(det.EnterBitmapGrabMode(0), media::S_OK);
        media::SampleGrabber* grabber = nullptr;
        EXPECT_EQ(det.GetSampleGrabber(&grabber), media::S_OK);
        media::FilterInfo info;
        grabber->QueryFilterInfo(&info);
        graph = info.pGraph;
        graph->SetTimeFormat(media::TimeFormat::Frame);
        if (ahead) {
            graph->SetLookAhead(true);
        }
    }
    void Callback(media::ISampleGrabberCB* cb) {
        media::SampleGrabber* grabber = nullptr;
        det.GetSampleGrabber(&grabber);
        grabber->SetCallback(cb, 1);
    }
    // One grab as the video source makes it; the run's status.
    media::HRESULT Grab(int64_t frame) {
        graph->SetPositions(&frame, media::AM_SEEKING_AbsolutePositioning, nullptr,
                            media::AM_SEEKING_NoPositioning);
        graph->Run();
        int32_t code = 0;
        graph->WaitForCompletion(media::INFINITE, &code);
        graph->Stop();
        return graph->LastRunStatus();
    }
};

struct Order {
    const char* name;
    std::vector<int> frames;
    // Runs that must at least have been served from pictures decoded ahead; where there are
    // any, each next frame is asked for ahead, so that none depends on the streaming thread
    // getting to it before the caller does.
    int minHits;
};

class LookAhead : public ::testing::TestWithParam<Codec> {};

TEST_P(LookAhead, FramesStayExactInEveryOrderAndSequentialRunsAreServedAhead) {
    const Codec codec = GetParam();
    const std::string path =
        WriteTestVideo(std::string("ahead-") + videotool::CodecName(codec) + ExtensionOf(codec),
                       Spec(codec, 96, 64, 40));
    std::vector<int> forward, stepThree, backward, random(40);
    for (int n = 0; n < 40; ++n) {
        forward.push_back(n);
        backward.push_back(39 - n);
        random[n] = n;
    }
    for (int n = 1; n < 40; n += 3) {
        stepThree.push_back(n);
    }
    std::shuffle(random.begin(), random.end(), std::mt19937(16));
    // Forward runs after the first are served ahead.
    const Order orders[] = {{"forward", forward, 39},
                            {"step 3", stepThree, 12},
                            {"backward", backward, 0},
                            {"random", random, 0}};
    for (const Order& order : orders) {
        Graph g(path);
        Recorder rec(96, 64);
        g.Callback(&rec);
        for (size_t i = 0; i < order.frames.size(); ++i) {
            ASSERT_EQ(g.Grab(order.frames[i]), media::S_OK) << order.name << " frame " << i;
            // The caller's work on the frame, during which the next one is decoded.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (order.minHits > 0 && i + 1 < order.frames.size()) {
                ASSERT_EQ(g.graph->PeekFrame(order.frames[i + 1]), media::S_OK) << order.name;
            }
        }
        EXPECT_EQ(rec.barcodes, order.frames) << order.name;
        EXPECT_GE(g.graph->LookAheadHits(), order.minHits) << order.name;
        if (order.minHits == 0) {
            EXPECT_LE(g.graph->LookAheadHits(), static_cast<int64_t>(order.frames.size()) / 4)
                << order.name << ": frames decoded ahead are not used out of order";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LookAhead,
                         ::testing::Values(Codec::Mjpeg, Codec::Mpeg4BFrames, Codec::Mpeg2,
                                           Codec::H264),
                         [](const auto& info) {
                             return std::string(videotool::CodecName(info.param));
                         });

TEST(LookAhead, NothingDecodedAheadReachesTheCallersBuffers) {
    const std::string path = WriteTestVideo("ahead-quiet.avi", Spec(Codec::Mpeg4, 96, 64, 20));
    Graph g(path);
    Recorder rec(96, 64);
    g.Callback(&rec);
    for (int n = 0; n < 6; ++n) {
        ASSERT_EQ(g.Grab(n), media::S_OK);
    }
    // The graph now decodes 6 and 7 ahead; the callback hears nothing of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(g.graph->PeekFrame(6), media::S_OK);
    EXPECT_EQ(rec.barcodes.size(), 6u);
    EXPECT_EQ(g.Grab(6), media::S_OK);
    EXPECT_EQ(rec.barcodes.back(), 6);
    EXPECT_GE(g.graph->LookAheadHits(), 1);
}

// As far ahead as the limit, and no farther, at the step between the last two runs; whatever
// drops the pictures decoded ahead, a run that delivers nothing or decoding ahead turned off,
// drops what was to be decoded next with them: nothing more is decoded, and no seek made.
TEST(LookAhead, DecodesUpToTheLimitAndForgetsItsTargetWithThePictures) {
    const std::string path = WriteTestVideo("ahead-limit.avi", Spec(Codec::Mpeg4, 96, 64, 20));
    const std::function<void(Graph&)> drops[] = {
        [](Graph& g) { EXPECT_EQ(g.Grab(25), media::S_FALSE); },
        [](Graph& g) { g.graph->SetLookAhead(false); }};
    for (const auto& drop : drops) {
        Graph g(path);
        for (int n = 0; n < 3; ++n) {
            ASSERT_EQ(g.Grab(n), media::S_OK);
        }
        EXPECT_EQ(g.graph->SettledAhead(), (std::vector<int64_t>{3, 4}));
        // A run takes its frame wherever it stands among those decoded ahead.
        const int64_t hits = g.graph->LookAheadHits();
        ASSERT_EQ(g.Grab(4), media::S_OK);
        EXPECT_EQ(g.graph->LookAheadHits(), hits + 1);
        EXPECT_EQ(g.graph->SettledAhead(), (std::vector<int64_t>{6, 8}));
        const int64_t seeks = g.graph->Decoder().SeekCount();
        drop(g);
        EXPECT_EQ(g.graph->SettledAhead(), std::vector<int64_t>{});
        EXPECT_EQ(g.graph->Decoder().SeekCount(), seeks);
    }
}

// A process that may run on one core only decodes nothing ahead: the streaming thread would
// take its time from the caller's work.
TEST(LookAhead, OffWhereTheProcessHasOneCore) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; CPU_COUNT(&one) == 0 && cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    {
        Graph g(WriteTestVideo("ahead-one-core.avi", Spec(Codec::Mpeg4, 96, 64, 20)), false);
        for (int n = 0; n < 4; ++n) {
            ASSERT_EQ(g.Grab(n), media::S_OK);
        }
        EXPECT_EQ(g.graph->SettledAhead(), std::vector<int64_t>{});
        EXPECT_EQ(g.graph->LookAheadHits(), 0);
    }
    sched_setaffinity(0, sizeof all, &all);
}

TEST(LookAhead, OffDecodesEveryRunItself) {
    const std::string path = WriteTestVideo("ahead-off.avi", Spec(Codec::Mpeg4, 96, 64, 20));
    Graph g(path);
    Recorder rec(96, 64);
    g.Callback(&rec);
    g.graph->SetLookAhead(false);
    for (int n = 0; n < 10; ++n) {
        ASSERT_EQ(g.Grab(n), media::S_OK);
    }
    EXPECT_EQ(g.graph->LookAheadHits(), 0);
    EXPECT_EQ(rec.barcodes.back(), 9);
}

// With decoding ahead off, asking ahead decodes the frame asked for and no other: a run that
// asks before each step still decodes each frame once, on without a seek.
TEST(LookAhead, AskingWithDecodingAheadOffDecodesEachFrameOnce) {
    const std::string path = WriteTestVideo("ahead-off-ask.avi", Spec(Codec::Mpeg4, 96, 64, 30));
    Graph g(path);
    Recorder rec(96, 64);
    g.Callback(&rec);
    g.graph->SetLookAhead(false);
    for (int n = 0; n < 29; ++n) {
        ASSERT_EQ(g.Grab(n), media::S_OK);
        ASSERT_EQ(g.graph->PeekFrame(n + 1), media::S_OK);
        // The caller's work on frame n: time for the streaming thread to decode more.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(g.graph->Decoder().SeekCount(), 0);
    EXPECT_EQ(g.graph->LookAheadHits(), 28) << "every grab after the first takes what was asked";
    EXPECT_EQ(rec.barcodes.back(), 28);
}

// Asking ahead races with the streaming thread's decode: however the two interleave, the
// answer comes (a decode that ends while the asker lets go of the lock still wakes it). A lost
// wake-up leaves the asker waiting for ever, which the suite's time limit for a test ends.
TEST(LookAhead, EveryAskAheadIsAnswered) {
    const std::string path = WriteTestVideo("ahead-ask.avi", Spec(Codec::Mjpeg, 32, 24, 8));
    Graph g(path);
    Recorder rec(32, 24);
    g.Callback(&rec);
    g.graph->SetLookAhead(false); // every ask starts a decode of its own
    for (int i = 0; i < 2000; ++i) {
        const int n = i % 7;
        ASSERT_EQ(g.Grab(n), media::S_OK) << i;
        ASSERT_EQ(g.graph->PeekFrame(n + 1), media::S_OK) << i;
    }
}

// The video source asks ahead before a run composes a frame; the frame it asked for is then
// the next one delivered, from what was decoded, whatever the size of the frames it fills.
TEST(LookAhead, SourceModesApplyToFramesDecodedAhead) {
    const std::string path =
        WriteTestVideo("ahead-modes.avi", Spec(Codec::Mpeg4BFrames, 96, 64, 20));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 20);
    g.SetLookAhead(true);
    g.m_nStep = 1;
    ASSERT_EQ(g.GrabFrame(4, 1.0f, 1, 1), 1);
    ASSERT_TRUE(g.NextStepDelivers());
    // The next grab of 5 at half size: every second row and column of frame 5.
    g.m_callback.m_bHalfSize = 1;
    ASSERT_EQ(g.StepFrame(), 1);
    EXPECT_EQ(BarcodeOf(g.FrameBuffer(), w / 2, videotool::kBarcodeRows / 2), 5);
    g.m_callback.m_bHalfSize = 0;
    ASSERT_EQ(g.StepFrame(), 1);
    EXPECT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), 6);
}

} // namespace
