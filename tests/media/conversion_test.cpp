// The callback's conversions compared pixel for pixel with the plain mapping of the sample into
// the preview and frame buffers, for every way a picture can reach it; pictures converted by the
// decoder straight into rows of the caller's; and a video with a gap in its time stamps.
#include "video_fixture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstring>
#include <random>
#include <tuple>

using namespace media_test;
using videotool::Codec;

namespace {

constexpr uint8_t kUntouched = 0xAB;

// A picture of random pixels, rows from the top, 3 bytes a pixel (blue, green, red).
std::vector<uint8_t> RandomPicture(int w, int h, uint32_t seed) {
    std::vector<uint8_t> pic(static_cast<size_t>(3) * w * h);
    std::mt19937 rng(seed);
    for (uint8_t& b : pic) {
        b = static_cast<uint8_t>(rng());
    }
    // Pure white and near-white pixels, whose 5-6-5 fields lie at the top of their range.
    for (size_t i = 0; i + 3 <= pic.size(); i += 3 * 7) {
        pic[i] = pic[i + 1] = pic[i + 2] = (i / 3) % 2 ? 255 : 254;
    }
    return pic;
}

// The preview as the mapping gives it: preview pixel (x, y) is the picture's pixel at row
// trunc(y * s), column trunc(x * s), the sums taken in double steps of s; only 275 x 220 shown.
std::vector<uint8_t> ExpectedPreview(const std::vector<uint8_t>& pic, int w, int h, int bpp,
                                     float step, size_t bytes) {
    std::vector<uint8_t> out(bytes, kUntouched);
    const double s = step;
    int y = 0;
    for (double fy = 0; fy < h && y < 220; fy += s, ++y) {
        int x = 0;
        for (double fx = 0; fx < w && x < 275; fx += s, ++x) {
            const uint8_t* p =
                pic.data() + 3 * (static_cast<size_t>(fy) * w + static_cast<size_t>(fx));
            uint8_t* q = out.data() + static_cast<size_t>(bpp) * (275 * y + x);
            if (bpp == 2) {
                const unsigned r = static_cast<unsigned>(p[2] * (31.0 / 255.0));
                const unsigned g = static_cast<unsigned>(p[1] * (63.0 / 255.0));
                const unsigned b = static_cast<unsigned>(p[0] * (31.0 / 255.0));
                const unsigned v = r << 11 | g << 5 | b;
                q[0] = static_cast<uint8_t>(v & 0xFF);
                q[1] = static_cast<uint8_t>(v >> 8);
            } else {
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            }
        }
    }
    return out;
}

// The frame buffer as the mapping gives it: row 0 untouched, buffer row k + 1 the picture's row
// k from the top (half size: row 2k, every second column).
std::vector<uint8_t> ExpectedFrame(const std::vector<uint8_t>& pic, int w, int h, bool half,
                                   size_t bytes) {
    std::vector<uint8_t> out(bytes, kUntouched);
    const int wf = half ? w / 2 : w;
    const int hf = half ? h / 2 : h;
    const int d = half ? 2 : 1;
    for (int k = 0; k < hf; ++k) {
        for (int j = 0; j < wf; ++j) {
            const uint8_t* p = pic.data() + 3 * (static_cast<size_t>(d * k) * w + d * j);
            uint8_t* q = out.data() + 3 * ((static_cast<size_t>(k) + 1) * wf + j);
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
    return out;
}

// Where two buffers first differ, or -1.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) {
        return 0;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// How the picture reaches the callback.
enum class Route {
    Sample,      // BufferCB with the bottom-up sample
    InPlace,     // RowsCB after the decoder converted into the frame buffer it named
    TopDown,     // RowsCB with top-down rows elsewhere, padded
    BottomUpRows // RowsCB with bottom-up rows elsewhere (negative pitch)
};

const char* RouteName(Route r) {
    switch (r) {
    case Route::Sample:
        return "sample";
    case Route::InPlace:
        return "in place";
    case Route::TopDown:
        return "top-down rows";
    case Route::BottomUpRows:
        return "bottom-up rows";
    }
    return "?";
}

struct Buffers {
    CSampleGrabberCB cb;
    std::vector<uint8_t> preview;
    std::vector<uint8_t> frame;
};

// A callback with buffers exactly as big as the video needs, so a write past them is an
// overflow the sanitizer reports.
void Prepare(Buffers& b, int w, int h, int bpp, bool half) {
    b.cb.m_nWidth = w;
    b.cb.m_nHeight = h;
    b.cb.m_bHalfSize = half ? 1 : 0;
    b.cb.m_nPreviewBytesPerPixel = bpp;
    b.cb.m_fPreviewStep = static_cast<float>(1.0 / CVideoGrabber::PreviewScale(w, h));
    b.preview.assign(static_cast<size_t>(bpp) * 275 * 220, kUntouched);
    b.frame.assign(b.cb.RequiredFrameBytes(), kUntouched);
    b.cb.m_pPreviewBuffer = b.preview.data();
    b.cb.m_nPreviewBufferBytes = b.preview.size();
    b.cb.m_pFrameBuffer = b.frame.data();
    b.cb.m_nFrameBufferBytes = b.frame.size();
    b.cb.m_bDoPreview = 1;
    b.cb.m_bDoFullFrame = 1;
}

void Deliver(Buffers& b, const std::vector<uint8_t>& pic, int w, int h, Route route) {
    const size_t pitch = static_cast<size_t>(3) * w;
    switch (route) {
    case Route::Sample: {
        std::vector<uint8_t> sample(pic.size());
        for (int r = 0; r < h; ++r) {
            std::memcpy(sample.data() + pitch * r, pic.data() + pitch * (h - 1 - r), pitch);
        }
        b.cb.BufferCB(0.0, sample.data(), static_cast<long>(sample.size()));
        return;
    }
    case Route::InPlace: {
        const media::PictureRows rows = b.cb.PictureTarget(w, h);
        ASSERT_EQ(rows.top, b.frame.data() + pitch);
        ASSERT_EQ(rows.pitch, static_cast<ptrdiff_t>(pitch));
        std::memcpy(rows.top, pic.data(), pic.size());
        b.cb.RowsCB(0.0, rows);
        return;
    }
    case Route::TopDown:
    case Route::BottomUpRows: {
        const size_t padded = pitch + 5;
        std::vector<uint8_t> rows(padded * h, 0x5A);
        const bool up = route == Route::BottomUpRows;
        for (int k = 0; k < h; ++k) {
            std::memcpy(rows.data() + padded * (up ? h - 1 - k : k), pic.data() + pitch * k, pitch);
        }
        const media::PictureRows view{rows.data() + (up ? padded * (h - 1) : 0),
                                      up ? -static_cast<ptrdiff_t>(padded)
                                         : static_cast<ptrdiff_t>(padded)};
        b.cb.RowsCB(0.0, view);
        return;
    }
    }
}

TEST(Conversion, PreviewAndFrameMatchThePlainMappingOnEveryRoute) {
    const std::pair<int, int> sizes[] = {{1, 1},     {3, 2},      {31, 17},    {97, 61},
                                         {100, 75},  {64, 96},    {275, 220},  {353, 287},
                                         {720, 576}, {1280, 720}, {1920, 1080}};
    uint32_t seed = 1;
    for (auto [w, h] : sizes) {
        const std::vector<uint8_t> pic = RandomPicture(w, h, seed++);
        for (int bpp : {2, 4}) {
            for (bool half : {false, true}) {
                for (Route route :
                     {Route::Sample, Route::InPlace, Route::TopDown, Route::BottomUpRows}) {
                    if (half && route == Route::InPlace) {
                        continue; // a half-size frame is never converted into the buffer
                    }
                    SCOPED_TRACE(testing::Message()
                                 << w << "x" << h << " bpp " << bpp << (half ? " half " : " full ")
                                 << RouteName(route));
                    Buffers b;
                    Prepare(b, w, h, bpp, half);
                    Deliver(b, pic, w, h, route);
                    const float step = b.cb.m_fPreviewStep;
                    EXPECT_EQ(FirstDifference(b.preview, ExpectedPreview(pic, w, h, bpp, step,
                                                                         b.preview.size())),
                              -1)
                        << "first differing preview byte";
                    EXPECT_EQ(
                        FirstDifference(b.frame, ExpectedFrame(pic, w, h, half, b.frame.size())),
                        -1)
                        << "first differing frame byte";
                }
            }
        }
    }
}

TEST(Conversion, OnlyAFullSizeFrameThatFitsIsConvertedIntoTheFrameBuffer) {
    Buffers b;
    Prepare(b, 100, 75, 4, false);
    media::PictureRows rows = b.cb.PictureTarget(100, 75);
    EXPECT_EQ(rows.top, b.frame.data() + 300) << "buffer row 1";
    EXPECT_EQ(rows.pitch, 300);

    // A picture of another size than the one opened.
    EXPECT_EQ(b.cb.PictureTarget(100, 76).top, nullptr);
    EXPECT_EQ(b.cb.PictureTarget(99, 75).top, nullptr);
    // The frame buffer is not to be written.
    b.cb.m_bDoFullFrame = 0;
    EXPECT_EQ(b.cb.PictureTarget(100, 75).top, nullptr);
    b.cb.m_bDoFullFrame = 1;
    // Half size picks pixels out of the whole picture.
    b.cb.m_bHalfSize = 1;
    EXPECT_EQ(b.cb.PictureTarget(100, 75).top, nullptr);
    b.cb.m_bHalfSize = 0;
    // A buffer one byte short of rows 0 .. H.
    b.cb.m_nFrameBufferBytes = b.frame.size() - 1;
    EXPECT_EQ(b.cb.PictureTarget(100, 75).top, nullptr);
    b.cb.m_nFrameBufferBytes = b.frame.size();
    b.cb.m_pFrameBuffer = nullptr;
    EXPECT_EQ(b.cb.PictureTarget(100, 75).top, nullptr);

    // Rows closer together than a row's bytes are not read.
    b.cb.m_pFrameBuffer = b.frame.data();
    std::vector<uint8_t> pic = RandomPicture(100, 75, 9);
    b.cb.RowsCB(0.0, media::PictureRows{pic.data(), 299});
    b.cb.RowsCB(0.0, media::PictureRows{nullptr, 300});
    for (uint8_t v : b.frame) {
        ASSERT_EQ(v, kUntouched);
    }
    for (uint8_t v : b.preview) {
        ASSERT_EQ(v, kUntouched);
    }
}

// The top row of a bottom-up picture of the decoder's own buffer, as rows.
media::PictureRows OwnRows(const uint8_t* picture, int w, int h) {
    return media::PictureRows{const_cast<uint8_t*>(picture) + static_cast<size_t>(3) * w * (h - 1),
                              -3 * static_cast<ptrdiff_t>(w)};
}

TEST(DecodeInto, RowsOfTheCallersGetTheSamePictureAndNothingElse) {
    // Turned files store pictures 66 wide, which the converter's blocks do not divide.
    for (auto [codec, w, rotation, name] :
         {std::tuple{Codec::Mpeg4BFrames, 96, 0, "into-mpeg4b96.avi"},
          std::tuple{Codec::Mpeg4BFrames, 98, 0, "into-mpeg4b98.avi"},
          std::tuple{Codec::Raw, 98, 0, "into-raw98.avi"},
          std::tuple{Codec::Raw, 98, 90, "into-raw98-90.mov"},
          std::tuple{Codec::Mpeg4BFrames, 98, 270, "into-mpeg4b98-270.mp4"}}) {
        SCOPED_TRACE(name);
        videotool::VideoSpec spec = Spec(codec, w, 66, 40);
        spec.rotation = rotation;
        const std::string path = WriteTestVideo(name, spec);
        media::FrameDecoder own, into;
        ASSERT_EQ(own.OpenFile(path), media::S_OK);
        ASSERT_EQ(own.OpenStream(0), media::S_OK);
        ASSERT_EQ(into.OpenFile(path), media::S_OK);
        ASSERT_EQ(into.OpenStream(0), media::S_OK);
        const int h = 66;
        const ptrdiff_t pitch = 3 * w + 7; // padding the decoder must leave alone
        std::vector<uint8_t> target(static_cast<size_t>(pitch) * h, kUntouched);
        const media::PictureRows rows{target.data(), pitch};

        for (int n : {0, 1, 2, 5, 9, 30, 31, 3, 39, 38, 12}) {
            std::vector<uint8_t> expected;
            ASSERT_EQ(own.DecodeFrame(n,
                                      [&](const uint8_t* picture, size_t bytes) {
                                          expected.assign(picture, picture + bytes);
                                      }),
                      media::S_OK);
            media::PictureRows told;
            ASSERT_EQ(into.DecodeFrameInto(n, rows, [&](const media::PictureRows& r) { told = r; }),
                      media::S_OK);
            EXPECT_EQ(told.top, rows.top) << n;
            EXPECT_EQ(told.pitch, rows.pitch) << n;
            const media::PictureRows ref = OwnRows(expected.data(), w, h);
            for (int y = 0; y < h; ++y) {
                ASSERT_EQ(std::memcmp(target.data() + pitch * y, ref.top + ref.pitch * y, 3 * w), 0)
                    << "frame " << n << " row " << y;
                for (ptrdiff_t i = 3 * w; i < pitch; ++i) {
                    ASSERT_EQ(target[pitch * y + i], kUntouched) << "padding of row " << y;
                }
            }
            if (codec == Codec::Raw) {
                std::vector<uint8_t> rgb;
                videotool::RenderFrame(spec, n, &rgb);
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* p = target.data() + pitch * y + 3 * x;
                        const uint8_t* q = rgb.data() + 3 * (static_cast<size_t>(y) * w + x);
                        ASSERT_TRUE(p[0] == q[2] && p[1] == q[1] && p[2] == q[0]) << x << "," << y;
                    }
                }
            }
        }

        // Frames that do not exist write nothing.
        std::fill(target.begin(), target.end(), kUntouched);
        bool called = false;
        EXPECT_EQ(into.DecodeFrameInto(40, rows, [&](const media::PictureRows&) { called = true; }),
                  media::S_FALSE);
        EXPECT_EQ(into.DecodeFrameInto(-1, rows, [&](const media::PictureRows&) { called = true; }),
                  media::S_FALSE);
        EXPECT_FALSE(called);
        for (uint8_t v : target) {
            ASSERT_EQ(v, kUntouched);
        }

        // Rows that would overlap are not written: the picture lands in the decoder's own
        // bottom-up buffer and the sink is told so.
        media::PictureRows told;
        ASSERT_EQ(into.DecodeFrameInto(7, media::PictureRows{target.data(), 3 * w - 1},
                                       [&](const media::PictureRows& r) { told = r; }),
                  media::S_OK);
        EXPECT_EQ(told.pitch, -3 * w);
        EXPECT_NE(told.top, target.data());
        for (uint8_t v : target) {
            ASSERT_EQ(v, kUntouched);
        }
    }
}

// Mean error of the last columns of a top-down picture against the frame as written.
double RightEdgeError(const uint8_t* top, ptrdiff_t pitch, const videotool::VideoSpec& spec, int n,
                      int columns) {
    std::vector<uint8_t> rgb;
    videotool::RenderFrame(spec, n, &rgb);
    double sum = 0;
    long count = 0;
    for (int y = videotool::kBarcodeRows + 4; y < spec.height; ++y) {
        for (int x = spec.width - columns; x < spec.width; ++x) {
            const uint8_t* p = top + pitch * y + 3 * x;
            const uint8_t* q = rgb.data() + 3 * (static_cast<size_t>(y) * spec.width + x);
            sum += std::abs(p[0] - q[2]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[0]);
            count += 3;
        }
    }
    return sum / count;
}

TEST(DecodeInto, WidthsTheConvertersBlocksDoNotDivideAreWrittenWholeAndNoFurther) {
    // The fast converters write 16 pixels at a time: straight into rows of exactly 3 * width
    // bytes these widths would leave the last pixels of each row unwritten (98, 100) or write
    // past the last row (104, 110, 122).
    for (int w : {96, 97, 98, 100, 104, 110, 122}) {
        SCOPED_TRACE(w);
        const videotool::VideoSpec spec = Spec(Codec::Mpeg4, w, 48, 4);
        const std::string path = WriteTestVideo("width-" + std::to_string(w) + ".avi", spec);
        media::FrameDecoder decoder;
        ASSERT_EQ(decoder.OpenFile(path), media::S_OK);
        ASSERT_EQ(decoder.OpenStream(0), media::S_OK);
        ASSERT_EQ(decoder.Width(), w);
        // The picture and a guard behind it: the converter is not instrumented, so a write
        // past the last row shows only as a changed guard.
        const size_t bytes = static_cast<size_t>(3) * w * 48;
        std::vector<uint8_t> target(bytes + 64, kUntouched);
        for (int n = 0; n < 4; ++n) {
            ASSERT_EQ(decoder.DecodeFrameInto(n, media::PictureRows{target.data(), 3 * w},
                                              [](const media::PictureRows&) {}),
                      media::S_OK);
            EXPECT_LT(RightEdgeError(target.data(), 3 * w, spec, n, 3), 12) << "frame " << n;
            for (size_t i = bytes; i < target.size(); ++i) {
                ASSERT_EQ(target[i], kUntouched) << "written " << i - bytes << " bytes past";
            }
            ASSERT_EQ(
                decoder.DecodeFrame(n,
                                    [&](const uint8_t* picture, size_t) {
                                        const media::PictureRows r = OwnRows(picture, w, 48);
                                        EXPECT_LT(RightEdgeError(r.top, r.pitch, spec, n, 3), 12)
                                            << "own buffer, frame " << n;
                                    }),
                media::S_OK);
        }
    }
}

// An MJPEG AVI whose pictures carry the time stamps given (frame units at 25 per second); the
// picture stamped t shows the barcode t. The container fills the holes with empty chunks, as a
// capture that dropped frames does.
std::string WriteVideoWithGaps(const std::string& name, const videotool::VideoSpec& spec,
                               const std::vector<int>& stamps) {
    const std::string path = (TempDir() / name).string();
    AVFormatContext* oc = nullptr;
    EXPECT_GE(avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()), 0);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVStream* st = avformat_new_stream(oc, nullptr);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->width = spec.width;
    enc->height = spec.height;
    enc->pix_fmt = AV_PIX_FMT_YUVJ420P;
    enc->time_base = AVRational{1, 25};
    enc->framerate = AVRational{25, 1};
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * 3;
    EXPECT_GE(avcodec_open2(enc, codec, nullptr), 0);
    avcodec_parameters_from_context(st->codecpar, enc);
    st->time_base = enc->time_base;
    st->avg_frame_rate = enc->framerate;
    EXPECT_GE(avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    EXPECT_GE(avformat_write_header(oc, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    frame->format = enc->pix_fmt;
    frame->width = spec.width;
    frame->height = spec.height;
    av_frame_get_buffer(frame, 0);
    AVPacket* pkt = av_packet_alloc();
    std::vector<uint8_t> rgb;
    auto drain = [&] {
        while (avcodec_receive_packet(enc, pkt) == 0) {
            av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
            pkt->stream_index = st->index;
            EXPECT_GE(av_interleaved_write_frame(oc, pkt), 0);
        }
    };
    for (int t : stamps) {
        av_frame_make_writable(frame);
        videotool::RenderFrame(spec, t, &rgb);
        // Full-range luma and flat chroma: the barcode reads from brightness alone.
        for (int y = 0; y < spec.height; ++y) {
            for (int x = 0; x < spec.width; ++x) {
                const uint8_t* p = rgb.data() + 3 * (static_cast<size_t>(y) * spec.width + x);
                frame->data[0][y * frame->linesize[0] + x] =
                    static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8);
            }
        }
        for (int y = 0; y < spec.height / 2; ++y) {
            std::memset(frame->data[1] + y * frame->linesize[1], 128, spec.width / 2);
            std::memset(frame->data[2] + y * frame->linesize[2], 128, spec.width / 2);
        }
        frame->pts = t;
        frame->quality = enc->global_quality;
        EXPECT_GE(avcodec_send_frame(enc, frame), 0);
        drain();
    }
    avcodec_send_frame(enc, nullptr);
    drain();
    av_write_trailer(oc);
    avio_closep(&oc->pb);
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    avformat_free_context(oc);
    return path;
}

TEST(Gaps, AMissingPictureShowsTheOneBeforeItWhereverTheFrameGoes) {
    const videotool::VideoSpec spec = Spec(Codec::Mjpeg, 96, 64, 8);
    const std::string path = WriteVideoWithGaps("gaps.avi", spec, {0, 1, 2, 4, 5, 7});
    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    ASSERT_EQ(OpenQuietly(grabber, path, &w, &h), 8);
    const int shown[] = {0, 1, 2, 2, 4, 5, 5, 7};
    auto grab = [&](int n, int doFull) {
        grabber.GrabFrame(n, CVideoGrabber::PreviewScale(w, h), 1, doFull);
        return BarcodeOf(grabber.FrameBuffer(), w, videotool::kBarcodeRows);
    };
    // On in order, then back and forth, each frame read from the frame buffer.
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 3, 6, 2, 3, 7, 0}) {
        EXPECT_EQ(grab(n, 1), shown[n]) << "frame " << n;
    }
    // The frame before a gap grabbed for the preview only, then the gap for the frame buffer:
    // the picture shown again lands there as well.
    for (int gap : {3, 6}) {
        std::fill(grabber.FrameBuffer(), grabber.FrameBuffer() + grabber.FrameBufferBytes(), 0);
        grab(gap - 1, 0);
        EXPECT_EQ(grab(gap, 1), shown[gap]) << "frame " << gap;
    }
}

} // namespace
