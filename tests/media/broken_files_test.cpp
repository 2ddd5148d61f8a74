// Files that lie or break: each gives its real frames or a clean refusal. A stream without time
// stamps, a truncated file, a header announcing more frames than there are, two program
// streams joined end to end, hostile frame rates, and names that are not regular files.
#include "video_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fstream>
#include <future>
#include <random>

using namespace media_test;
using videotool::Codec;

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Grabs of every frame below count in sequential, backward and random order; barcode(n) is
// the number frame n shows, or -1 for a frame whose picture was not decoded: its grab fails and
// leaves the frame delivered before it in the buffer.
void ExpectExactEverywhere(CVideoGrabber& g, int w, int count,
                           const std::function<int(int)>& barcode) {
    std::vector<int> order;
    for (int n = 0; n < count; ++n) {
        order.push_back(n);
    }
    for (int n = count - 1; n >= 0; --n) {
        order.push_back(n);
    }
    std::vector<int> shuffled(order.begin(), order.begin() + count);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(15));
    order.insert(order.end(), shuffled.begin(), shuffled.end());
    int shown = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        const int n = order[i];
        const bool decoded = barcode(n) >= 0;
        ASSERT_EQ(g.GrabFrame(n, 1.0f, 0, 1), decoded ? 1 : 0) << "grab " << i << " of " << n;
        shown = decoded ? barcode(n) : shown;
        if (shown >= 0) {
            ASSERT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), shown)
                << "grab " << i << " of frame " << n;
        }
    }
}

int Same(int n) {
    return n;
}

// A fast pan: a picture taken for the one before it is far from it.
videotool::VideoSpec FastPan(Codec codec, int frames) {
    return videotool::Pan(codec, 96, 64, frames, 9);
}

// An MJPEG AVI of frames pictures, cut inside the picture data after about keep of them: the
// header and index still announce every frame.
std::string TruncatedAvi(const std::string& name, int frames, double keep) {
    const std::string path = WriteTestVideo(name, FastPan(Codec::Mjpeg, frames));
    const std::string bytes = ReadBytes(path);
    const size_t movi = bytes.find("movi");
    const size_t idx1 = bytes.find("idx1");
    EXPECT_NE(movi, std::string::npos);
    EXPECT_NE(idx1, std::string::npos);
    const double perFrame = static_cast<double>(idx1 - movi) / frames;
    EXPECT_TRUE(videotool::TruncateFile(path, movi + static_cast<uint64_t>(perFrame * keep)));
    return path;
}

TEST(NoTimestamps, RawH264CountsPicturesByDecodeOrder) {
    // Longer than a decode-on distance and two key intervals, so grabs meet both paths.
    const std::string path = WriteTestVideo("notime.h264", Spec(Codec::H264, 96, 64, 45));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 45);
    EXPECT_EQ(w, 96);
    ExpectExactEverywhere(g, w, 45, Same);
    // A run through it: every step delivers the next picture.
    g.GrabFrame(0, 1.0f, 0, 1);
    g.m_nStep = 1;
    for (int n = 1; n < 45; ++n) {
        ASSERT_TRUE(g.NextStepDelivers()) << n;
        ASSERT_EQ(g.StepFrame(), 1) << n;
        ASSERT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), n);
    }
}

// The picture the end of the file cut short is not delivered, whole or concealed from the one
// before it: the count ends before it.
TEST(EarlyEnd, TruncatedFileEndsAtItsLastRealFrameWithTheCountLowered) {
    const std::string program = WriteTestVideo("truncated.mpg", FastPan(Codec::Mpeg1, 60));
    ASSERT_TRUE(videotool::TruncateFile(program, std::filesystem::file_size(program) * 55 / 100));
    const struct {
        std::string path;
        Codec codec;
        int lastAtLeast;
        int lastAtMost;
    } cases[] = {
        // The header's count, until decoding knows; picture 4 is cut short.
        {TruncatedAvi("truncated.avi", 60, 4.5), Codec::Mjpeg, 3, 3},
        // Counted by its packets, the last one cut short.
        {program, Codec::Mpeg1, 30, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        CVideoGrabber g(nullptr, nullptr, 4);
        int w = 0, h = 0;
        const int opened = OpenQuietly(g, c.path, &w, &h);
        // Step through as a run does: the step past the last real frame is known before it is
        // taken, and taking it delivers nothing.
        g.GrabFrame(0, 1.0f, 1, 1);
        g.m_nStep = 1;
        g.m_bPlaying = 1;
        int last = 0;
        while (g.NextStepDelivers()) {
            ASSERT_EQ(g.StepFrame(), 1);
            last = g.m_nCurrentFrame;
            ASSERT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), last);
            ASSERT_LT(MeanError(g.FrameBuffer(), FastPan(c.codec, 60), last), 12) << last;
        }
        EXPECT_GT(opened, last) << "the count at opening";
        EXPECT_GE(last, c.lastAtLeast);
        EXPECT_LE(last, c.lastAtMost);
        EXPECT_EQ(g.m_nFrameCount.load(), last + 1) << "the count is the real one";
        // The step itself stays on the last real frame and ends playing.
        EXPECT_EQ(g.StepFrame(), 1) << "clamped to the lowered count: the last frame again";
        EXPECT_EQ(g.m_nCurrentFrame.load(), last);
        EXPECT_EQ(g.m_bPlaying.load(), 0);
        EXPECT_EQ(g.GrabFrame(last + 1, 1.0f, 0, 1), 0);
        EXPECT_EQ(g.GrabFrame(opened - 1, 1.0f, 0, 1), opened == last + 1 ? 1 : 0);
        ExpectExactEverywhere(g, w, last + 1, Same);
    }
    // Cut inside its first picture: nothing is delivered, and the count stays at one frame.
    const std::string first = TruncatedAvi("truncated-first.avi", 3, 0.5);
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, first, &w, &h), 3);
    EXPECT_EQ(g.GrabFrame(0, 1.0f, 0, 1), 0);
    EXPECT_EQ(g.GrabFrame(2, 1.0f, 0, 1), 0);
    EXPECT_EQ(g.m_nFrameCount.load(), 1);
}

TEST(EarlyEnd, AStepPastTheRealEndIsReportedAndStopsOnTheLastFrame) {
    const std::string path = TruncatedAvi("truncated-step.avi", 40, 6.5);
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 40);
    // Without asking first: the grab past the end says so, and the source stays on the last
    // frame it delivered.
    g.GrabFrame(0, 1.0f, 0, 1);
    g.m_nStep = 1;
    g.m_bPlaying = 1;
    int delivered = 0;
    for (int i = 1; i < 40 && g.StepFrame() == 1; ++i) {
        delivered = i;
    }
    EXPECT_GE(delivered, 4);
    EXPECT_EQ(g.m_nFrameCount.load(), delivered + 1);
    EXPECT_EQ(g.m_nCurrentFrame.load(), delivered);
    EXPECT_EQ(g.m_bPlaying.load(), 0);
    EXPECT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), delivered);
}

// A grab past the real end decodes on through pictures it does not deliver: the frame delivered
// before it, asked again, is still its own picture.
TEST(EarlyEnd, AGrabPastTheEndLeavesTheFrameBeforeItDeliverable) {
    const std::string path = TruncatedAvi("truncated-again.avi", 40, 6.5);
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 40);
    g.SetLookAhead(false); // no picture decoded but for the grabs
    ASSERT_EQ(g.GrabFrame(2, 1.0f, 0, 1), 1);
    ASSERT_EQ(g.GrabFrame(10, 1.0f, 0, 1), 0);
    ASSERT_EQ(g.GrabFrame(2, 1.0f, 0, 1), 1);
    EXPECT_EQ(BarcodeOf(g.FrameBuffer(), w, videotool::kBarcodeRows), 2);
}

TEST(EarlyEnd, HeaderAnnouncingTooManyFramesIsCorrectedByAGrabPastTheEnd) {
    const std::string path = WriteTestVideo("too-many.avi", Spec(Codec::Mjpeg, 96, 64, 60));
    ASSERT_TRUE(videotool::SetAviFrameCount(path, 100000));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 100000);
    EXPECT_EQ(g.GrabFrame(5000, 1.0f, 0, 1), 0);
    EXPECT_EQ(g.m_nFrameCount.load(), 60);
    ExpectExactEverywhere(g, w, 60, Same);
}

TEST(TimestampReset, JoinedProgramStreamsKeepDecodeOrderNumbers) {
    const std::string first = WriteTestVideo("join-a.mpg", Spec(Codec::Mpeg1, 96, 64, 30));
    const std::string joined = WriteTestVideo("joined.mpg", Spec(Codec::Mpeg1, 96, 64, 30));
    ASSERT_TRUE(videotool::AppendFile(joined, first));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, joined, &w, &h), 60);
    // The second half shows its own barcodes again from 0: frame 30 + k is its picture k.
    ExpectExactEverywhere(g, w, 60, [](int n) { return n % 30; });
}

// Files whose frames the source once lost track of: every picture is reachable in every order,
// every number below the count delivers one, and the last picture is the last frame.
TEST(UnusualFiles, EveryPictureIsReachableInEveryOrder) {
    const auto matroska = [](Codec codec, int frames) {
        videotool::VideoSpec spec = Spec(codec, 96, 64, frames);
        spec.matroska = true;
        return spec;
    };
    videotool::VideoSpec dropped = matroska(Codec::Mpeg4, 100);
    dropped.dropEvery = 7;
    videotool::VideoSpec jump = matroska(Codec::Mjpeg, 40);
    jump.jumpAt = 20;
    jump.jumpFrames = int64_t{25} * 3600 * 10;
    videotool::VideoSpec halfRate = matroska(Codec::Mjpeg, 40);
    halfRate.statedFps = 12;
    videotool::VideoSpec blank = matroska(Codec::Mjpeg, 30);
    blank.blankPicture = 5;
    // Phone-style MP4: a stated count, the rate halved half-way or pictures left out, with and
    // without B-pictures (whose decoder gives the pictures out of the index's order).
    const auto mp4 = [](Codec codec, int frames, int halfRateFrom, int firstDropped) {
        videotool::VideoSpec spec = Spec(codec, 96, 64, frames);
        spec.container = videotool::Container::Mp4;
        spec.halfRateFrom = halfRateFrom;
        spec.firstDropped = firstDropped;
        spec.droppedCount = firstDropped > 0 ? 6 : 0;
        return spec;
    };
    videotool::VideoSpec restarted = Spec(Codec::Mpeg2, 96, 64, 72);
    restarted.container = videotool::Container::MpegTs;
    restarted.restartAt = 36;
    const struct {
        const char* name;
        videotool::VideoSpec spec;
        int64_t rewindMs; // cluster times start again here
        int count;
        std::function<int(int)> barcode;
    } cases[] = {
        // Numbered by time: a frame left out shows the picture before it.
        {"dropped.mkv", dropped, 0, 100, [](int n) { return n % 7 == 6 ? n - 1 : n; }},
        // Ten hours between two pictures, two pictures to a frame time of the rate stated, and
        // time codes that go backwards: numbered as decoded.
        {"jump.mkv", jump, 0, 40, Same},
        {"half-rate.mkv", halfRate, 0, 40, Same},
        {"backward.mkv", matroska(Codec::Mjpeg, 40), 800, 40, Same},
        // One picture, read as a picture sequence by its name.
        {"single.jpg", Spec(Codec::Jpeg, 160, 120, 1), 0, 1, Same},
        // A picture that decodes to nothing is never delivered.
        {"blank.mkv", blank, 0, 30, [](int n) { return n == 5 ? -1 : n; }},
        // Numbers by time would put two pictures on one number: numbered by decode order.
        {"half-rate.mp4", mp4(Codec::Mpeg4, 120, 60, 0), 0, 120, Same},
        {"half-rate-b.mp4", mp4(Codec::H264, 120, 60, 0), 0, 120, Same},
        {"dropped.mp4", mp4(Codec::Mpeg4, 120, 0, 40), 0, 114,
         [](int n) { return n < 40 ? n : n + 6; }},
        // Time stamps that start again: numbered by decode order, the barcodes going on.
        {"restarted.ts", restarted, 0, 72, Same},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteTestVideo(c.name, c.spec);
        if (c.rewindMs > 0) {
            ASSERT_TRUE(videotool::RewindMatroskaClusters(path, c.rewindMs));
        }
        CVideoGrabber g(nullptr, nullptr, 4);
        int w = 0, h = 0;
        ASSERT_EQ(OpenQuietly(g, path, &w, &h), c.count);
        ExpectExactEverywhere(g, w, c.count, c.barcode);
        EXPECT_EQ(g.GrabFrame(c.count, 1.0f, 0, 1), 0);
        EXPECT_EQ(g.m_nFrameCount.load(), c.count);
    }
}

// A damaged file that reads on after a seek less far than from its opening: a frame past those
// delivered is found all the same, and the count stays the file's.
TEST(UnusualFiles, ASeekThatReadsOnLessDoesNotShortenTheFile) {
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, STILLO_FUZZ_REPRO "/video_frames/seek-reads-on-less-than-opening.mkv",
                          &w, &h),
              16);
    for (const int n : {0, 1, 2, 3, 4, 5, 6, 7, 3}) {
        ASSERT_EQ(g.GrabFrame(n, 1.0f, 0, 1), 1) << n;
    }
    // Decoding on from the seek to frame 3 ends before frame 7, which was delivered.
    EXPECT_EQ(g.GrabFrame(12, 1.0f, 0, 1), 1);
    EXPECT_EQ(g.m_nFrameCount.load(), 16);
}

// A file cut short on disk while it is open: the frames already delivered still count.
TEST(EarlyEnd, AFileCutWhileOpenKeepsTheFramesDelivered) {
    // Larger than what opening reads ahead.
    const std::string path =
        WriteTestVideo("cut-while-open.avi", Spec(Codec::Mjpeg, 320, 240, 100));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 100);
    g.SetLookAhead(false); // frames decoded ahead count as delivered
    for (int n = 0; n < 60; ++n) {
        ASSERT_EQ(g.GrabFrame(n, 1.0f, 0, 1), 1) << n;
    }
    ASSERT_TRUE(videotool::TruncateFile(path, std::filesystem::file_size(path) / 4));
    EXPECT_EQ(g.GrabFrame(5, 1.0f, 0, 1), 1);
    EXPECT_EQ(g.GrabFrame(99, 1.0f, 0, 1), 0);
    EXPECT_EQ(g.m_nFrameCount.load(), 60);
}

struct HostileRate {
    uint32_t rate, scale;
    const char* name;
};

class HostileRates : public ::testing::TestWithParam<HostileRate> {};

TEST_P(HostileRates, OpenWithTheirRealFramesWithoutOverflow) {
    const HostileRate& r = GetParam();
    const std::string path =
        WriteTestVideo(std::string("rate-") + r.name + ".avi", Spec(Codec::Mjpeg, 96, 64, 20));
    ASSERT_TRUE(videotool::SetAviFrameRate(path, r.rate, r.scale));
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(g, path, &w, &h), 20);
    ExpectExactEverywhere(g, w, 20, Same);
    EXPECT_EQ(g.GrabFrame(20, 1.0f, 0, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Headers, HostileRates,
                         ::testing::Values(HostileRate{2000000033u, 2000000011u, "near_one"},
                                           HostileRate{2000000011u, 2000000033u, "below_one"},
                                           HostileRate{INT_MAX, 1, "int_max"},
                                           HostileRate{1, INT_MAX, "one_in_int_max"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Opening a name that is not a regular file is refused at once with the loading step's line;
// the file open before stays open.
TEST(NotARegularFile, FifoDeviceAndFolderAreRefusedAtOnce) {
    const std::string fifo = (TempDir() / "video.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string good = WriteTestVideo("regular.avi", Spec(Codec::Mjpeg, 96, 64, 5));
    for (const std::string& path : {fifo, std::string("/dev/zero"), TempDir().string()}) {
        CVideoGrabber g(nullptr, nullptr, 4);
        int w = 0, h = 0;
        ASSERT_EQ(OpenQuietly(g, good, &w, &h), 5);
        auto opened =
            std::async(std::launch::async, [&] { return OpenCapturing(g, path, &w, &h); });
        if (opened.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            // Let a reader blocked on the FIFO go, so the failure ends the test.
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            ADD_FAILURE() << path << " blocked the opener";
        }
        const auto [result, printed] = opened.get();
        EXPECT_LT(result, 0) << path;
        EXPECT_NE(printed.find("Couldn't load the file!  hr=0x"), std::string::npos) << printed;
        EXPECT_TRUE(g.HasFile());
        EXPECT_EQ(g.GrabFrame(1, 1.0f, 0, 1), 1);
    }
}

// A name FFmpeg would read as a protocol is a file name like any other.
TEST(NotARegularFile, ProtocolLookingNamesAreFiles) {
    const std::string path = (TempDir() / "pipe:0").string();
    const std::string good = WriteTestVideo("proto-src.avi", Spec(Codec::Mjpeg, 96, 64, 5));
    std::filesystem::copy_file(good, path, std::filesystem::copy_options::overwrite_existing);
    CVideoGrabber g(nullptr, nullptr, 4);
    int w = 0, h = 0;
    EXPECT_EQ(OpenQuietly(g, path, &w, &h), 5);
    const auto missing = (TempDir() / "concat:a|b").string();
    EXPECT_LE(OpenQuietly(g, missing, &w, &h), 0);
}

} // namespace
