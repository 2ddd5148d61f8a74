// video_bench [frames]: writes a 640 x 480 MPEG-4 AVI into /tmp, then times
//   1. a plain loop: read, decode and convert every picture to 24-bit (the least any reader
//      pays for a frame),
//   2. sequential GrabFrame calls through CVideoGrabber over the same file,
//   3. random GrabFrame calls (each one a seek).
#include "VideoGrabber.h"
#include "video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Frames a second of the plain loop; convert=false times decoding alone.
double PlainLoop(const char* path, bool convert, int* frames) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(fmt, nullptr) < 0) {
        return 0;
    }
    const int si = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(fmt->streams[si]->codecpar->codec_id);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, fmt->streams[si]->codecpar);
    dec->thread_type = FF_THREAD_SLICE;
    dec->thread_count = 1;
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    std::vector<uint8_t> bgr(static_cast<size_t>(3) * dec->width * dec->height);
    int n = 0;
    const double t0 = Now();
    auto take = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            if (convert) {
                sws = sws_getCachedContext(sws, frame->width, frame->height,
                                           static_cast<AVPixelFormat>(frame->format), frame->width,
                                           frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                           nullptr, nullptr);
                uint8_t* dst[4] = {bgr.data(), nullptr, nullptr, nullptr};
                int stride[4] = {3 * frame->width, 0, 0, 0};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
            }
            ++n;
        }
    };
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == si) {
            avcodec_send_packet(dec, pkt);
            take();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(dec, nullptr);
    take();
    const double t = Now() - t0;
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    *frames = n;
    return n / t;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
    const char* path = "/tmp/stillo-video-bench.avi";
    videotool::VideoSpec spec;
    spec.codec = videotool::Codec::Mpeg4;
    spec.width = 640;
    spec.height = 480;
    spec.frames = frames;
    spec.dx = 3;
    std::string error;
    if (!videotool::WriteVideo(path, spec, &error)) {
        std::fprintf(stderr, "video_bench: %s\n", error.c_str());
        return 1;
    }

    int decoded = 0;
    const double decodeOnly = PlainLoop(path, false, &decoded);
    const double plain = PlainLoop(path, true, &decoded);

    CVideoGrabber grabber(nullptr, nullptr, 4);
    int w = 0, h = 0;
    std::fflush(stdout);
    const int32_t count = grabber.Open(path, &w, &h, 1, 0);
    if (count <= 0) {
        return 1;
    }
    const float scale = CVideoGrabber::PreviewScale(w, h);
    double t0 = Now();
    for (int n = 0; n < count; ++n) {
        grabber.GrabFrame(n, scale, 1, 1);
    }
    const double sequential = count / (Now() - t0);

    std::mt19937 rng(1);
    std::uniform_int_distribution<int> pick(0, count - 1);
    const int randomGrabs = 100;
    t0 = Now();
    for (int i = 0; i < randomGrabs; ++i) {
        grabber.GrabFrame(pick(rng), scale, 1, 1);
    }
    const double randomMs = (Now() - t0) * 1000.0 / randomGrabs;

    std::printf("640x480 MPEG-4, %d frames (GOP 12)\n", count);
    std::printf("plain decode loop, decode only:           %8.1f frames/s\n", decodeOnly);
    std::printf("plain decode loop, decode + 24-bit:       %8.1f frames/s\n", plain);
    std::printf("CVideoGrabber sequential GrabFrame:       %8.1f frames/s  (%.0f %% of the loop)\n",
                sequential, 100.0 * sequential / plain);
    std::printf("CVideoGrabber random GrabFrame latency:   %8.2f ms\n", randomMs);
    std::remove(path);
    return 0;
}
