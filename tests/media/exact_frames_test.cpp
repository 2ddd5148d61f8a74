// Every format: frame count, size, and the right frame in sequential, backward and random
// order, with the picture itself close to what was written; phone-style files turned upright.
#include "video_fixture.h"

#include <algorithm>
#include <random>

using namespace media_test;
using videotool::Codec;

namespace {

struct FormatCase {
    Codec codec;
    const char* file;
    double maxError;  // mean error allowed per channel below the barcode
    int rotation = 0; // degrees the file's display matrix turns its pictures clockwise
};

class ExactFrames : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ExactFrames, CountSizeAndBarcodesInEveryOrder) {
    const FormatCase& c = GetParam();
    videotool::VideoSpec spec = Spec(c.codec, 96, 64, 75);
    spec.rotation = c.rotation;
    const std::string path = WriteTestVideo(c.file, spec);

    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    const int32_t count = OpenQuietly(grabber, path, &w, &h);
    ASSERT_EQ(count, 75);
    EXPECT_EQ(w, 96);
    EXPECT_EQ(h, 64);

    auto grabAndRead = [&](int n) {
        grabber.GrabFrame(n, CVideoGrabber::PreviewScale(w, h), 1, 1);
        EXPECT_EQ(grabber.m_nCurrentFrame.load(), n);
        return BarcodeOf(grabber.FrameBuffer(), w, videotool::kBarcodeRows);
    };

    for (int n = 0; n < count; ++n) {
        ASSERT_EQ(grabAndRead(n), n) << "sequential";
        ASSERT_LT(MeanError(grabber.FrameBuffer(), spec, n), c.maxError) << "frame " << n;
    }
    for (int n = count - 1; n >= 0; --n) {
        ASSERT_EQ(grabAndRead(n), n) << "backward";
    }
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) {
        order[i] = i;
    }
    std::mt19937 rng(7);
    std::shuffle(order.begin(), order.end(), rng);
    for (int n : order) {
        ASSERT_EQ(grabAndRead(n), n) << "random";
    }
    // Small steps forward, as playing with a doubled step does.
    for (int n = 3; n < count; n += 5) {
        ASSERT_EQ(grabAndRead(n), n) << "stepping";
    }
    // Half size: every second row and column of the same upright picture.
    ASSERT_EQ(OpenQuietly(grabber, path, &w, &h, 1), 75);
    for (int n : {0, 74, 17, 18}) {
        grabber.GrabFrame(n, CVideoGrabber::PreviewScale(w, h), 1, 1);
        EXPECT_EQ(BarcodeOf(grabber.FrameBuffer(), w / 2, videotool::kBarcodeRows / 2), n)
            << "half size";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ExactFrames,
                         ::testing::Values(FormatCase{Codec::Raw, "raw.avi", 0.001},
                                           FormatCase{Codec::Mjpeg, "mjpeg.avi", 12},
                                           FormatCase{Codec::Mpeg4, "mpeg4.avi", 12},
                                           FormatCase{Codec::Mpeg4BFrames, "mpeg4b.avi", 12},
                                           FormatCase{Codec::Mpeg1, "mpeg1.mpg", 12},
                                           FormatCase{Codec::Mpeg2, "mpeg2.mpg", 12},
                                           FormatCase{Codec::H264, "raw.h264", 12},
                                           // Portrait phone videos, stored turned.
                                           FormatCase{Codec::Raw, "raw-90.mov", 0.001, 90},
                                           FormatCase{Codec::Raw, "raw-270.mov", 0.001, 270},
                                           FormatCase{Codec::Mjpeg, "mjpeg-180.mp4", 12, 180},
                                           FormatCase{Codec::H264, "h264-90.mp4", 12, 90}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             const int turn = info.param.rotation;
                             return std::string(videotool::CodecName(info.param.codec)) +
                                    (turn ? "Turned" + std::to_string(turn) : "");
                         });

TEST(ExactFrames, AudioFirstUsesTheVideoStream) {
    videotool::VideoSpec spec = Spec(Codec::Mpeg4BFrames, 96, 64, 30);
    spec.audioFirst = true;
    const std::string path = WriteTestVideo("audio-first.avi", spec);
    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(grabber, path, &w, &h), 30);
    EXPECT_EQ(w, 96);
    for (int n : {0, 29, 5, 6, 7, 20, 1}) {
        grabber.GrabFrame(n, 1.0f, 0, 1);
        EXPECT_EQ(BarcodeOf(grabber.FrameBuffer(), w, videotool::kBarcodeRows), n);
    }
}

TEST(ExactFrames, SequentialGrabsDecodeOnWithoutSeeking) {
    const std::string path = WriteTestVideo("decode-on.avi", Spec(Codec::Mpeg4BFrames, 96, 64, 60));
    media::FrameDecoder decoder;
    ASSERT_EQ(decoder.OpenFile(path), media::S_OK);
    ASSERT_EQ(decoder.OpenStream(0), media::S_OK);
    int got = -1;
    auto sink = [&](const uint8_t* picture, size_t) {
        // Bottom-up picture: the top row is the last one.
        const uint8_t* top = picture + static_cast<size_t>(3) * 96 * 63;
        got = videotool::ReadBarcode(96, videotool::kBarcodeRows, [&](int x, int y) {
            return top[-static_cast<ptrdiff_t>(3 * 96) * y + 3 * x + 1];
        });
    };
    for (int n = 0; n < 60; n += (n % 3) + 1) {
        ASSERT_EQ(decoder.DecodeFrame(n, sink), media::S_OK);
        ASSERT_EQ(got, n);
        ASSERT_EQ(decoder.DecodeFrame(n, sink), media::S_OK); // asked again at once
        ASSERT_EQ(got, n);
    }
    EXPECT_EQ(decoder.SeekCount(), 0);
    ASSERT_EQ(decoder.DecodeFrame(10, sink), media::S_OK);
    EXPECT_EQ(got, 10);
    EXPECT_GE(decoder.SeekCount(), 1);
    // Beyond either end nothing is delivered.
    got = -1;
    EXPECT_EQ(decoder.DecodeFrame(60, sink), media::S_FALSE);
    EXPECT_EQ(decoder.DecodeFrame(-1, sink), media::S_FALSE);
    EXPECT_EQ(got, -1);
    ASSERT_EQ(decoder.DecodeFrame(59, sink), media::S_OK);
    EXPECT_EQ(got, 59);
}

// A grab far from where the decoder stands starts at the key picture before it (every 12th in
// these files): it decodes no picture before that one, whatever the time base or the first
// time stamp, and whether the pictures are numbered by time or by decode order.
TEST(ExactFrames, AFarGrabDecodesFromTheKeyPictureBefore) {
    const auto late = [](videotool::VideoSpec spec) {
        spec.startAt = 7;
        return spec;
    };
    videotool::VideoSpec mp4 = late(Spec(Codec::Mpeg4, 96, 64, 150));
    mp4.container = videotool::Container::Mp4;
    mp4.timeBase = 90000;
    videotool::VideoSpec mkv = late(Spec(Codec::Mpeg4, 96, 64, 150));
    mkv.matroska = true;
    videotool::VideoSpec ts = Spec(Codec::Mpeg2, 96, 64, 72);
    ts.container = videotool::Container::MpegTs;
    ts.restartAt = 36;
    videotool::VideoSpec jump = Spec(Codec::Mpeg4, 96, 64, 72);
    jump.matroska = true;
    jump.jumpAt = 36;
    jump.jumpFrames = int64_t{25} * 3600 * 10;
    const struct {
        const char* name;
        videotool::VideoSpec spec;
        int from;
        std::vector<int> targets;
    } cases[] = {
        {"far-90k.mp4", mp4, 0, {100, 96, 107, 143, 20}},
        {"far-late.mkv", mkv, 0, {100, 96, 107, 143, 20}},
        // Numbered by decode order: backward steps from the end, the key pictures found again
        // by their place in the file or by their time.
        {"far-restarted.ts", ts, 71, {70, 60, 59, 47}},
        {"far-jump.mkv", jump, 71, {70, 60, 59, 47}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteTestVideo(c.name, c.spec);
        media::FrameDecoder decoder;
        ASSERT_EQ(decoder.OpenFile(path), media::S_OK);
        ASSERT_EQ(decoder.OpenStream(0), media::S_OK);
        int got = -1;
        auto sink = [&](const uint8_t* p, size_t) { got = BarcodeOfBottomUp(p, 96, 64); };
        for (const int t : c.targets) {
            ASSERT_EQ(decoder.DecodeFrame(c.from, sink), media::S_OK);
            const int64_t before = decoder.PicturesDecoded();
            ASSERT_EQ(decoder.DecodeFrame(t, sink), media::S_OK);
            EXPECT_EQ(got, t);
            EXPECT_LE(decoder.PicturesDecoded() - before, t % 12 + 1) << "frame " << t;
        }
    }
}

} // namespace
