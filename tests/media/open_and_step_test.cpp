// Opening files good and bad, stepping through a file, and grabs from several threads.
#include "video_fixture.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

using namespace media_test;
using videotool::Codec;

namespace {

constexpr uint8_t kUntouched = 0xAB;

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An AVI whose header claims a picture of 0 x 0.
std::string ZeroSizeVideo() {
    const std::string good = WriteTestVideo("zero-src.avi", Spec(Codec::Raw, 32, 32, 3));
    std::string bytes = ReadBytes(good);
    const size_t strf = bytes.find("strf");
    EXPECT_NE(strf, std::string::npos);
    // strf: tag, size, then the bitmap header: its size, width, height.
    std::memset(&bytes[strf + 12], 0, 8);
    const size_t avih = bytes.find("avih");
    // avih: tag, size, then ten 32-bit fields; width and height are the 9th and 10th.
    std::memset(&bytes[avih + 8 + 32], 0, 8);
    const std::string path = (TempDir() / "zero.avi").string();
    WriteBytes(path, bytes);
    return path;
}

class BadFiles : public ::testing::Test {
protected:
    void SetUp() override {
        frame.assign(framebuffer::kLentBytes, kUntouched);
        preview.assign(framebuffer::kLentBytes, kUntouched);
        grabber = std::make_unique<CVideoGrabber>(preview.data(), frame.data(), 4);
        good = WriteTestVideo("good.avi", Spec(Codec::Mjpeg, 96, 64, 10));
    }
    // The file fails with the step's line and writes nothing; the file open before stays open
    // and delivers its frames, and a source that had none has none and delivers nothing.
    void ExpectCleanFailure(const std::string& path, const std::string& line) {
        int w = 0, h = 0;
        ASSERT_GT(OpenCapturing(*grabber, good, &w, &h).result, 0);
        grabber->m_nFrameCount = 10;
        std::fill(frame.begin(), frame.end(), kUntouched);
        std::fill(preview.begin(), preview.end(), kUntouched);
        w = h = -7;
        const OpenResult r = OpenCapturing(*grabber, path, &w, &h);
        EXPECT_LE(r.result, 0) << path;
        EXPECT_EQ(r.printed.rfind("Grabbing samples from " + path + ".\r\n", 0), 0u) << r.printed;
        EXPECT_NE(r.printed.find(line), std::string::npos) << r.printed;
        EXPECT_TRUE(grabber->HasFile());
        EXPECT_EQ(w, -7) << "the sizes are not touched";
        EXPECT_EQ(std::count(frame.begin(), frame.end(), kUntouched), std::ssize(frame));
        EXPECT_EQ(std::count(preview.begin(), preview.end(), kUntouched), std::ssize(preview));
        grabber->m_nCurrentFrame = 5;
        EXPECT_EQ(grabber->StepFrame(), 1);
        EXPECT_EQ(BarcodeOf(frame.data(), 96, videotool::kBarcodeRows), 6);

        CVideoGrabber fresh(preview.data(), frame.data(), 4);
        EXPECT_LE(OpenCapturing(fresh, path, &w, &h).result, 0);
        EXPECT_FALSE(fresh.HasFile());
        std::fill(frame.begin(), frame.end(), kUntouched);
        EXPECT_EQ(fresh.GrabFrame(3, 1.0f, 1, 1), 0);
        fresh.m_nCurrentFrame = 2;
        EXPECT_EQ(fresh.StepFrame(), 0);
        EXPECT_FALSE(fresh.NextStepDelivers());
        EXPECT_EQ(std::count(frame.begin(), frame.end(), kUntouched), std::ssize(frame));
        EXPECT_EQ(OpenCapturing(fresh, good, &w, &h).result, 10);
    }
    std::vector<uint8_t> frame, preview;
    std::unique_ptr<CVideoGrabber> grabber;
    std::string good;
};

TEST_F(BadFiles, MissingFile) {
    ExpectCleanFailure((TempDir() / "no-such-file.avi").string(), "Couldn't load the file!  hr=0x");
}

TEST_F(BadFiles, GarbageFile) {
    const std::string path = (TempDir() / "garbage.avi").string();
    std::string junk(50000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    WriteBytes(path, junk);
    ExpectCleanFailure(path, "Couldn't load the file!  hr=0x");
}

TEST_F(BadFiles, TruncatedFile) {
    const std::string full = WriteTestVideo("tofit.avi", Spec(Codec::Mpeg4, 96, 64, 20));
    const std::string path = (TempDir() / "truncated.avi").string();
    WriteBytes(path, ReadBytes(full).substr(0, 300));
    ExpectCleanFailure(path, "hr=0x");
}

TEST_F(BadFiles, AudioOnly) {
    videotool::VideoSpec spec = Spec(Codec::Mjpeg, 96, 64, 10);
    spec.audioOnly = true;
    const std::string path = WriteTestVideo("audio-only.avi", spec);
    ExpectCleanFailure(path, "Couldn't find a video stream\r\n");
    int w = 0, h = 0;
    EXPECT_EQ(OpenCapturing(*grabber, path, &w, &h).result, 0);
}

TEST_F(BadFiles, ZeroSizeVideo) {
    ExpectCleanFailure(ZeroSizeVideo(), "Failed in EnterBitmapGrabMode!  hr=0x");
}

// Counted by time rather than in frames, a file shorter than a frame time has no frame: the
// file before stays, in the counting it was opened with.
TEST_F(BadFiles, FileShorterThanAFrameTimeKeepsTheFileBefore) {
    videotool::VideoSpec spec = Spec(Codec::Mjpeg, 96, 64, 1);
    spec.fps = 30;
    const std::string path = WriteTestVideo("one-thirtieth.avi", spec);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(*grabber, good, &w, &h), 10);
    testing::internal::CaptureStdout();
    EXPECT_EQ(grabber->Open(path.c_str(), &w, &h, 0, 0), 0);
    testing::internal::GetCapturedStdout();
    grabber->m_nCurrentFrame = 5;
    EXPECT_EQ(grabber->StepFrame(), 1);
    EXPECT_EQ(BarcodeOf(frame.data(), 96, videotool::kBarcodeRows), 6);
}

TEST(Open, PrintsTheFileNameAndReopensWithTheNewSize) {
    CVideoGrabber grabber(nullptr, nullptr, 4);
    const std::string a = WriteTestVideo("first.avi", Spec(Codec::Mjpeg, 96, 64, 12));
    const std::string b = WriteTestVideo("second.mpg", Spec(Codec::Mpeg2, 160, 112, 30));
    int w = 0, h = 0;
    const OpenResult r = OpenCapturing(grabber, a, &w, &h);
    EXPECT_EQ(r.printed, "Grabbing samples from " + a + ".\r\n");
    EXPECT_EQ(r.result, 12);
    EXPECT_EQ(OpenCapturing(grabber, b, &w, &h).result, 30);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 112);
    grabber.GrabFrame(17, 1.0f, 0, 1);
    EXPECT_EQ(BarcodeOf(grabber.FrameBuffer(), 160, videotool::kBarcodeRows), 17);
}

TEST(Open, LongPathsWork) {
    std::filesystem::path dir = TempDir();
    for (int i = 0; i < 4; ++i) {
        dir /= std::string(90, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "long.avi").string();
    ASSERT_GT(path.size(), 360u);
    std::string error;
    ASSERT_TRUE(videotool::WriteVideo(path, Spec(Codec::Mjpeg, 96, 64, 4), &error)) << error;
    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    EXPECT_EQ(OpenCapturing(grabber, path, &w, &h).result, 4);
}

TEST(Open, TheProbeVideoIsBuiltBesideTheProgram) {
    // The tests run in the build's bin folder.
    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    EXPECT_EQ(OpenCapturing(grabber, "vantor.AVI", &w, &h).result, 5);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
}

TEST(StepFrame, ClampsAtBothEndsAndStopsPlaying) {
    CVideoGrabber grabber(nullptr, nullptr, 4);
    const std::string path = WriteTestVideo("step.avi", Spec(Codec::Mpeg4BFrames, 96, 64, 20));
    int w = 0, h = 0;
    grabber.m_nFrameCount = OpenCapturing(grabber, path, &w, &h).result;
    ASSERT_EQ(grabber.m_nFrameCount.load(), 20);
    auto shown = [&] { return BarcodeOf(grabber.FrameBuffer(), w, videotool::kBarcodeRows); };

    grabber.m_bPlaying = 1;
    grabber.m_nCurrentFrame = 19;
    grabber.m_nStep = 1;
    grabber.StepFrame();
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), 19);
    EXPECT_EQ(grabber.m_bPlaying.load(), 0);
    EXPECT_EQ(shown(), 19);

    grabber.m_bPlaying = 1;
    grabber.m_nCurrentFrame = 0;
    grabber.m_nStep = -1;
    grabber.StepFrame();
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), 0);
    EXPECT_EQ(grabber.m_bPlaying.load(), 0);
    EXPECT_EQ(shown(), 0);

    grabber.m_bPlaying = 1;
    grabber.m_nCurrentFrame = 18;
    grabber.m_nStep = 2;
    grabber.StepFrame();
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), 19);
    EXPECT_EQ(grabber.m_bPlaying.load(), 0);

    grabber.m_bPlaying = 1;
    grabber.m_nCurrentFrame = 4;
    grabber.m_nStep = 3;
    grabber.StepFrame();
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), 7);
    EXPECT_EQ(grabber.m_bPlaying.load(), 1);
    EXPECT_EQ(shown(), 7);

    // A huge step does not wrap around.
    grabber.m_nCurrentFrame = 10;
    grabber.m_nStep = INT32_MAX;
    grabber.StepFrame();
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), 19);
}

// Records the thread each picture arrives on.
class ThreadRecorder : public media::ISampleGrabberCB {
public:
    media::HRESULT SampleCB(double, const void*) override { return media::S_OK; }
    media::HRESULT BufferCB(double, const uint8_t*, long len) override {
        thread = std::this_thread::get_id();
        bytes = len;
        ++calls;
        return media::S_OK;
    }
    std::thread::id thread;
    long bytes = 0;
    std::atomic<int> calls{0};
};

TEST(Graph, CallbackRunsOnTheStreamingThreadAndCompletionAlwaysComes) {
    const std::string path = WriteTestVideo("graph.avi", Spec(Codec::Mjpeg, 96, 64, 5));
    media::MediaDet det;
    ASSERT_EQ(det.put_Filename(path), media::S_OK);
    ASSERT_EQ(det.EnterBitmapGrabMode(0), media::S_OK);
    media::SampleGrabber* grabber = nullptr;
    ASSERT_EQ(det.GetSampleGrabber(&grabber), media::S_OK);
    ThreadRecorder cb;
    grabber->SetCallback(&cb, 1);
    media::FilterInfo info;
    grabber->QueryFilterInfo(&info);
    media::FilterGraph* graph = info.pGraph;
    graph->SetTimeFormat(media::TimeFormat::Frame);
    int64_t duration = 0;
    graph->GetDuration(&duration);
    EXPECT_EQ(duration, 5);

    for (int64_t pos : {2, 7, -3, 4}) {
        graph->SetPositions(&pos, media::AM_SEEKING_AbsolutePositioning, nullptr,
                            media::AM_SEEKING_NoPositioning);
        const int before = cb.calls;
        graph->Run();
        int32_t code = 0;
        EXPECT_EQ(graph->WaitForCompletion(5000, &code), media::S_OK) << pos;
        graph->Stop();
        EXPECT_EQ(cb.calls - before, pos >= 0 && pos < 5 ? 1 : 0) << pos;
    }
    EXPECT_NE(cb.thread, std::this_thread::get_id());
    EXPECT_EQ(cb.bytes, 3 * 96 * 64);

    // Media time: five frames at 25 per second last 0.2 s.
    graph->SetTimeFormat(media::TimeFormat::MediaTime);
    graph->GetDuration(&duration);
    EXPECT_EQ(duration, media::kUnitsPerSecond / 5);
}

TEST(Concurrency, GrabsAndOpensFromSeveralThreadsNeverOverlap) {
    CVideoGrabber grabber(nullptr, nullptr, 4);
    const std::string a = WriteTestVideo("conc-a.avi", Spec(Codec::Mpeg4, 96, 64, 30));
    const std::string b = WriteTestVideo("conc-b.avi", Spec(Codec::Mjpeg, 320, 240, 30));
    int w = 0, h = 0;
    grabber.m_nFrameCount = OpenCapturing(grabber, a, &w, &h).result;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        int n = 0;
        while (!stop) {
            grabber.GrabFrame(n, 0.5f, 1, 1);
            n = (n + 7) % 30;
        }
    });
    std::thread stepper([&] {
        while (!stop) {
            grabber.StepFrame();
        }
    });
    testing::internal::CaptureStdout();
    for (int i = 0; i < 8; ++i) {
        int ww = 0, hh = 0;
        grabber.Open((i % 2 ? a : b).c_str(), &ww, &hh, 1, i % 3 == 0);
    }
    stop = true;
    worker.join();
    stepper.join();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(OpenCapturing(grabber, a, &w, &h).result, 30);
    grabber.GrabFrame(12, 1.0f, 0, 1);
    EXPECT_EQ(BarcodeOf(grabber.FrameBuffer(), 96, videotool::kBarcodeRows), 12);
}

} // namespace
