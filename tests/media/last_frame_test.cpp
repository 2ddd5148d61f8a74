// The last frame of every clip: the frame count goes to media time and back (the graph's stop
// position), and frame count - 1 must still be grabbed and stepped to, at every common rate and
// in every format the writer makes. And the conversions themselves, for any rate and count.
#include "platform/media/graph.h"
#include "video_fixture.h"

#include <climits>
#include <random>
#include <tuple>

using namespace media_test;
using videotool::Codec;

namespace {

struct Rate {
    int num, den;
    const char* name;
};

constexpr Rate kRates[] = {{24, 1, "24"}, {25, 1, "25"}, {30000, 1001, "29_97"},
                           {30, 1, "30"}, {50, 1, "50"}, {60, 1, "60"}};
constexpr Codec kFormats[] = {Codec::Raw,   Codec::Mjpeg, Codec::Mpeg4, Codec::Mpeg4BFrames,
                              Codec::Mpeg1, Codec::Mpeg2, Codec::H264};

class LastFrame : public ::testing::TestWithParam<std::tuple<Codec, Rate>> {};

TEST_P(LastFrame, IsGrabbedAndSteppedTo) {
    const auto [codec, rate] = GetParam();
    constexpr int kFrames = 14;
    videotool::VideoSpec spec = Spec(codec, 96, 64, kFrames);
    spec.fps = rate.num;
    spec.fpsDen = rate.den;
    const std::string path = WriteTestVideo(std::string("last-") + videotool::CodecName(codec) +
                                                "-" + rate.name + ExtensionOf(codec),
                                            spec);
    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(grabber, path, &w, &h), kFrames);
    auto shown = [&] { return BarcodeOf(grabber.FrameBuffer(), w, videotool::kBarcodeRows); };

    EXPECT_EQ(grabber.GrabFrame(kFrames - 1, 1.0f, 0, 1), 1);
    EXPECT_EQ(shown(), kFrames - 1);
    // Stepping from the one before, as a run to the default end frame does.
    ASSERT_EQ(grabber.GrabFrame(kFrames - 3, 1.0f, 0, 1), 1);
    grabber.m_nCurrentFrame = kFrames - 2;
    grabber.m_nStep = 1;
    EXPECT_TRUE(grabber.NextStepDelivers());
    EXPECT_EQ(grabber.StepFrame(), 1);
    EXPECT_EQ(grabber.m_nCurrentFrame.load(), kFrames - 1);
    EXPECT_EQ(shown(), kFrames - 1);
    // Past the end nothing comes, and the grab says so.
    EXPECT_EQ(grabber.GrabFrame(kFrames, 1.0f, 0, 1), 0);
    EXPECT_EQ(grabber.m_nFrameCount.load(), kFrames);
}

INSTANTIATE_TEST_SUITE_P(RatesAndFormats, LastFrame,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kRates)),
                         [](const auto& info) {
                             return std::string(videotool::CodecName(std::get<0>(info.param))) +
                                    "_" + std::get<1>(info.param).name;
                         });

// The whole count, turned into media time and back as a stop position, is the count again;
// the frame shown at a frame's own start time is that frame; against exact fractions.
TEST(MediaTime, RoundTripsEveryCountAtSaneRates) {
    std::mt19937_64 rng(15);
    std::uniform_int_distribution<int> num(1, 120000), den(1, 1001);
    std::uniform_int_distribution<int64_t> count(0, INT32_MAX);
    for (int i = 0; i < 20000; ++i) {
        int n = num(rng), d = den(rng);
        if (static_cast<int64_t>(n) > 1000LL * d) {
            n = 1000 * d; // the rates the decoder keeps: at most 1000 a second
        }
        const int64_t frames = i < 10 ? i : count(rng);
        const int64_t t = media::FramesToMediaTime(frames, n, d);
        // The plain reference: floor(frames * 10^7 * d / n) in exact integers.
        const __int128 exact = static_cast<__int128>(frames) * media::kUnitsPerSecond * d / n;
        ASSERT_EQ(t, static_cast<int64_t>(exact)) << frames << " at " << n << "/" << d;
        ASSERT_EQ(media::MediaTimeToFrame(t, n, d, true), frames)
            << frames << " at " << n << "/" << d;
        // The start of frame k, rounded up to a whole unit, shows frame k.
        const __int128 start =
            (static_cast<__int128>(frames) * media::kUnitsPerSecond * d + n - 1) / n;
        if (start <= INT64_MAX) {
            ASSERT_EQ(media::MediaTimeToFrame(static_cast<int64_t>(start), n, d, false), frames);
        }
    }
}

// Hostile rates and counts stay in range (the sanitizers watch the arithmetic) and keep order.
TEST(MediaTime, HostileRatesNeitherOverflowNorReorder) {
    const std::pair<int, int> rates[] = {
        {INT_MAX, 1}, {1, INT_MAX}, {2000000033, 2000000011}, {2000000011, 2000000033}, {1, 1}};
    const int64_t counts[] = {0, 1, 60, INT32_MAX, INT64_MAX / 2, INT64_MAX};
    for (const auto& [n, d] : rates) {
        int64_t previous = INT64_MIN;
        for (const int64_t c : counts) {
            const int64_t t = media::FramesToMediaTime(c, n, d);
            EXPECT_GE(t, previous) << c << " at " << n << "/" << d;
            EXPECT_GE(t, 0);
            previous = t;
            const int64_t back = media::MediaTimeToFrame(t, n, d, true);
            EXPECT_GE(back, 0);
            // Counts a file can state come back whole while a frame lasts at least one unit
            // (at most 10^7 frames a second) and the time fits 64 bits; faster rates are the
            // decoder's to replace.
            if (c <= INT32_MAX && t < INT64_MAX &&
                static_cast<int64_t>(n) <= media::kUnitsPerSecond * d) {
                EXPECT_EQ(back, c) << c << " at " << n << "/" << d;
            }
        }
        EXPECT_LE(media::MediaTimeToFrame(INT64_MIN, n, d, false), 0);
        EXPECT_GE(media::MediaTimeToFrame(INT64_MAX, n, d, true), 0);
    }
}

} // namespace
