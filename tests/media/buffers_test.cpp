// Where each pixel lands: the frame buffer at full and half size on an uncompressed video
// (bit-exact), both preview formats, and buffers sized for large videos.
#include "video_fixture.h"

#include <cmath>

using namespace media_test;
using videotool::Codec;

namespace {

constexpr uint8_t kUntouched = 0xAB;

struct Opened {
    videotool::VideoSpec spec;
    std::vector<uint8_t> preview;
    std::vector<uint8_t> frame;
    std::unique_ptr<CVideoGrabber> grabber;
    int w = 0, h = 0;
    int32_t count = 0;
};

// Opens a video with lent buffers of the given sizes, filled with a marker byte.
std::unique_ptr<Opened> OpenWith(const std::string& file, const videotool::VideoSpec& spec, int bpp,
                                 int halfSize, size_t previewBytes = framebuffer::kLentBytes,
                                 size_t frameBytes = framebuffer::kLentBytes) {
    auto o = std::make_unique<Opened>();
    o->spec = spec;
    o->preview.assign(previewBytes, kUntouched);
    o->frame.assign(frameBytes, kUntouched);
    o->grabber = std::make_unique<CVideoGrabber>(o->preview.data(), o->frame.data(), bpp,
                                                 previewBytes, frameBytes);
    const std::string path = WriteTestVideo(file, spec);
    o->count = OpenQuietly(*o->grabber, path, &o->w, &o->h, halfSize);
    return o;
}

TEST(FrameBuffer, FullSizeRowsAreBitExactAndRowZeroUntouched) {
    auto o = OpenWith("full.avi", Spec(Codec::Raw, 100, 75, 6), 4, 0);
    ASSERT_EQ(o->count, 6);
    o->grabber->GrabFrame(4, 1.0f, 0, 1);
    std::vector<uint8_t> rgb;
    videotool::RenderFrame(o->spec, 4, &rgb);
    const size_t pitch = 3 * 100;
    for (size_t i = 0; i < pitch; ++i) {
        ASSERT_EQ(o->frame[i], kUntouched) << "row 0 byte " << i;
    }
    for (int k = 0; k < 75; ++k) {
        for (int j = 0; j < 100; ++j) {
            const uint8_t* b = o->frame.data() + pitch * (k + 1) + 3 * j;
            const uint8_t* p = rgb.data() + (static_cast<size_t>(k) * 100 + j) * 3;
            ASSERT_EQ(b[0], p[2]) << k << "," << j;
            ASSERT_EQ(b[1], p[1]) << k << "," << j;
            ASSERT_EQ(b[2], p[0]) << k << "," << j;
        }
    }
    EXPECT_EQ(o->frame[pitch * 76], kUntouched) << "nothing past row H";
}

TEST(FrameBuffer, HalfSizeTakesEvenRowsAndColumns) {
    // Odd height: the half-size frame is floor(75 / 2) = 37 rows.
    auto o = OpenWith("half.avi", Spec(Codec::Raw, 100, 75, 6), 4, 1);
    ASSERT_EQ(o->count, 6);
    EXPECT_EQ(o->w, 100) << "Open reports the video's own size";
    o->grabber->GrabFrame(3, 1.0f, 0, 1);
    std::vector<uint8_t> rgb;
    videotool::RenderFrame(o->spec, 3, &rgb);
    const int wf = 50, hf = 37;
    const size_t pitch = 3 * wf;
    for (size_t i = 0; i < pitch; ++i) {
        ASSERT_EQ(o->frame[i], kUntouched) << "row 0 byte " << i;
    }
    for (int k = 0; k < hf; ++k) {
        for (int j = 0; j < wf; ++j) {
            const uint8_t* b = o->frame.data() + pitch * (k + 1) + 3 * j;
            const uint8_t* p = rgb.data() + (static_cast<size_t>(2 * k) * 100 + 2 * j) * 3;
            ASSERT_EQ(b[0], p[2]) << k << "," << j;
            ASSERT_EQ(b[1], p[1]);
            ASSERT_EQ(b[2], p[0]);
        }
    }
    EXPECT_EQ(o->frame[pitch * (hf + 1)], kUntouched);
    EXPECT_EQ(BarcodeOf(o->frame.data(), wf, videotool::kBarcodeRows / 2), 3);
}

TEST(FrameBuffer, FullFrameOffLeavesItAlone) {
    auto o = OpenWith("nofull.avi", Spec(Codec::Raw, 100, 75, 3), 4, 0);
    o->grabber->GrabFrame(1, CVideoGrabber::PreviewScale(100, 75), 1, 0);
    for (uint8_t b : o->frame) {
        ASSERT_EQ(b, kUntouched);
    }
    EXPECT_NE(o->preview[0], kUntouched) << "the preview was written";
    // Frames that do not exist deliver nothing either.
    o->grabber->GrabFrame(-1, 1.0f, 1, 1);
    o->grabber->GrabFrame(3, 1.0f, 1, 1);
    for (uint8_t b : o->frame) {
        ASSERT_EQ(b, kUntouched);
    }
}

// The preview pixel (x, y) samples the picture at the truncated accumulated step.
void ExpectPreview(const Opened& o, int n, int bpp) {
    std::vector<uint8_t> rgb;
    videotool::RenderFrame(o.spec, n, &rgb);
    const float scale = CVideoGrabber::PreviewScale(o.w, o.h);
    const float step = static_cast<float>(1.0 / scale);
    int y = 0;
    for (double fy = 0; fy < o.h && y < 220; fy += step, ++y) {
        int x = 0;
        for (double fx = 0; fx < o.w && x < 275; fx += step, ++x) {
            const uint8_t* p =
                rgb.data() + (static_cast<size_t>(fy) * o.w + static_cast<size_t>(fx)) * 3;
            const uint8_t* q = o.preview.data() + static_cast<size_t>(bpp) * (275 * y + x);
            if (bpp == 2) {
                const int v = q[0] | (q[1] << 8);
                ASSERT_EQ(v >> 11, static_cast<int>(p[0] * 31 / 255)) << x << "," << y;
                ASSERT_EQ((v >> 5) & 63, static_cast<int>(p[1] * 63 / 255));
                ASSERT_EQ(v & 31, static_cast<int>(p[2] * 31 / 255));
            } else {
                ASSERT_EQ(q[0], p[2]) << x << "," << y;
                ASSERT_EQ(q[1], p[1]);
                ASSERT_EQ(q[2], p[0]);
                ASSERT_EQ(q[3], kUntouched) << "byte 3 is left as it was";
            }
        }
    }
}

TEST(Preview, FourByteFormat) {
    auto o = OpenWith("preview4.avi", Spec(Codec::Raw, 100, 75, 3), 4, 0);
    o->grabber->GrabFrame(2, CVideoGrabber::PreviewScale(o->w, o->h), 1, 1);
    ExpectPreview(*o, 2, 4);
}

TEST(Preview, FiveSixFiveFormat) {
    auto o = OpenWith("preview2.avi", Spec(Codec::Raw, 100, 75, 3), 2, 0);
    o->grabber->GrabFrame(1, CVideoGrabber::PreviewScale(o->w, o->h), 1, 1);
    ExpectPreview(*o, 1, 2);
    // Frame 1's barcode ends in a white cell at the top right: pure white is 0xFFFF.
    const uint8_t* q = o->preview.data() + 2 * (275 * 2 + 270);
    EXPECT_EQ(q[0] | (q[1] << 8), 0xFFFF);
}

TEST(Preview, TallVideoScalesByHeight) {
    auto o = OpenWith("tall.avi", Spec(Codec::Raw, 64, 96, 2), 4, 0);
    EXPECT_FLOAT_EQ(CVideoGrabber::PreviewScale(64, 96), 220.0f / 96);
    o->grabber->GrabFrame(0, CVideoGrabber::PreviewScale(o->w, o->h), 1, 1);
    ExpectPreview(*o, 0, 4);
}

TEST(Preview, LargeVideoStaysInsideTheBox) {
    // 720 x 576 samples 276 x 221 points; only 275 x 220 may be written. The lent preview
    // is exactly that big, so a write outside it is an overflow the sanitizer reports.
    auto o = OpenWith("pal.avi", Spec(Codec::Mjpeg, 720, 576, 2), 4, 0, 4 * 275 * 220);
    ASSERT_EQ(o->count, 2);
    EXPECT_FLOAT_EQ(CVideoGrabber::PreviewScale(720, 576), 275.0f / 720);
    o->grabber->GrabFrame(1, CVideoGrabber::PreviewScale(o->w, o->h), 1, 1);
    EXPECT_NE(o->preview[4 * (275 * 219 + 274)], kUntouched) << "the last shown pixel";
}

TEST(FrameBuffer, LargeVideosGetABufferOfTheirSize) {
    for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        auto o = OpenWith("large.avi", Spec(Codec::Mjpeg, w, h, 3), 4, 0);
        ASSERT_EQ(o->count, 3) << w;
        EXPECT_GE(o->grabber->FrameBufferBytes(), static_cast<size_t>(3) * w * (h + 1));
        EXPECT_NE(o->grabber->FrameBuffer(), o->frame.data()) << "the lent buffer is too small";
        o->grabber->GrabFrame(2, CVideoGrabber::PreviewScale(w, h), 1, 1);
        EXPECT_EQ(BarcodeOf(o->grabber->FrameBuffer(), w, videotool::kBarcodeRows), 2);
        for (uint8_t b : o->frame) {
            ASSERT_EQ(b, kUntouched) << "the small lent buffer is not written";
        }
    }
    // A small video keeps the lent buffer.
    auto small = OpenWith("small.avi", Spec(Codec::Mjpeg, 160, 120, 2), 4, 0);
    EXPECT_EQ(small->grabber->FrameBuffer(), small->frame.data());
}

} // namespace
