// video_bench [frames] [rounds]: writes a 640 x 480 MPEG-4 AVI into a temporary folder, then
// times
//   1. a plain loop: read, decode and convert every picture to 24-bit (the least any reader
//      pays for a frame),
//   2. sequential GrabFrame calls through CVideoGrabber over the same file,
//   3. random GrabFrame calls (each one a seek),
//   4. sequential grabs over a portrait phone video (1280 x 720 pictures stored turned, shown
//      720 x 1280 after a quarter turn) against an unturned file of the same stored size whose
//      pan moves the same way through the stored pictures, taking turns as above: what the
//      turn costs a grab.
//   5. backward steps near the end of a long 320 x 240 MPEG-2 transport stream whose time
//      stamps start again half-way (its pictures numbered by decode order), against the same
//      stream without the restart (numbered by time): the last frame grabbed first, then one
//      frame back at a time.
// The plain loop and the sequential grabs take turns for the given number of rounds, so a
// change in the machine's load hits both alike; the figures printed are the medians, and the
// ratio is the median of each round's own ratio. Both are given by the wall clock and by the
// process's processor time (all its threads), which other programs on a busy machine do not
// disturb.
#include "VideoGrabber.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Frames a second by the wall clock and by processor time.
struct Rate {
    double wall = 0;
    double cpu = 0;
};

class Timer {
public:
    Timer() : m_wall(Now()), m_cpu(CpuNow()) {}
    Rate Per(int frames) const {
        return Rate{frames / (Now() - m_wall), frames / (CpuNow() - m_cpu)};
    }

private:
    double m_wall;
    double m_cpu;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Frames a second of the plain loop; convert=false times decoding alone.
Rate PlainLoop(const char* path, bool convert) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(fmt, nullptr) < 0) {
        return Rate{};
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
    const Timer timer;
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
    const Rate rate = timer.Per(n);
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return rate;
}

// A video written and opened for the timings; count 0 when either failed.
struct OpenedVideo {
    CVideoGrabber grabber{nullptr, nullptr, 4};
    int32_t count = 0;
    float scale = 1.0f;

    OpenedVideo(const std::string& path, const videotool::VideoSpec& spec) {
        std::string error;
        if (!videotool::WriteVideo(path, spec, &error)) {
            std::fprintf(stderr, "video_bench: %s\n", error.c_str());
            return;
        }
        int w = 0, h = 0;
        std::fflush(stdout);
        count = std::max(0, grabber.Open(path.c_str(), &w, &h, 1, 0));
        scale = CVideoGrabber::PreviewScale(w, h);
    }
};

// Frames a second of sequential grabs over a whole file, by the wall clock and processor time.
Rate SequentialGrabs(CVideoGrabber& grabber, int32_t count, float scale) {
    const Timer timer;
    for (int n = 0; n < count; ++n) {
        grabber.GrabFrame(n, scale, 1, 1);
    }
    return timer.Per(count);
}

// The cost of turning a phone video upright: sequential grabs over the turned file against an
// unturned one of the same stored size and codec.
bool TurnedFigures(const stillo_test::TempDir& temp, int frames, int rounds) {
    videotool::VideoSpec turnedSpec = videotool::Pan(videotool::Codec::Mpeg4, 720, 1280, frames, 3);
    turnedSpec.rotation = 90;
    // The turned file stores a pan that moves down its pictures: so does the unturned one.
    videotool::VideoSpec flatSpec = videotool::Pan(videotool::Codec::Mpeg4, 1280, 720, frames, 0);
    flatSpec.dy = 3;
    OpenedVideo turned(temp.File("portrait.mp4"), turnedSpec);
    OpenedVideo flat(temp.File("landscape.avi"), flatSpec);
    if (turned.count <= 0 || flat.count <= 0) {
        return false;
    }
    std::vector<double> turnedRate, flatRate, ratio, ratioCpu;
    for (int round = 0; round < rounds; ++round) {
        const Rate f = SequentialGrabs(flat.grabber, flat.count, flat.scale);
        const Rate t = SequentialGrabs(turned.grabber, turned.count, turned.scale);
        flatRate.push_back(f.wall);
        turnedRate.push_back(t.wall);
        ratio.push_back(t.wall / f.wall);
        ratioCpu.push_back(t.cpu / f.cpu);
    }
    std::printf("turned 720x1280 MP4 (stored 1280x720) sequential: %8.1f frames/s\n",
                Median(turnedRate));
    std::printf("unturned 1280x720 AVI sequential:                 %8.1f frames/s\n",
                Median(flatRate));
    std::printf("turned / unturned: %.1f %% by the wall clock, %.1f %% by processor time\n",
                100.0 * Median(ratio), 100.0 * Median(ratioCpu));
    return true;
}

// Milliseconds a backward step takes near the end of a 3000-frame transport stream whose time
// stamps start again at restartAt (0: never), the median of 40 steps; -1 when it cannot be
// written or opened.
double BackwardStepMs(const stillo_test::TempDir& temp, const char* name, int restartAt) {
    constexpr int kFrames = 3000;
    constexpr int kSteps = 40;
    videotool::VideoSpec spec = videotool::Pan(videotool::Codec::Mpeg2, 320, 240, kFrames, 3);
    spec.container = videotool::Container::MpegTs;
    spec.restartAt = restartAt;
    const std::string file = temp.File(name);
    OpenedVideo video(file, spec);
    if (video.count <= 0) {
        return -1;
    }
    video.grabber.GrabFrame(video.count - 1, video.scale, 1, 1);
    std::vector<double> steps;
    for (int n = video.count - 2; n >= video.count - 1 - kSteps; --n) {
        const double t0 = Now();
        video.grabber.GrabFrame(n, video.scale, 1, 1);
        steps.push_back((Now() - t0) * 1000.0);
    }
    std::remove(file.c_str());
    return Median(steps);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
    const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 5);
    const stillo_test::TempDir temp("stillo-video-bench");
    const std::string file = temp.File("pan.avi");
    const char* path = file.c_str();
    const videotool::VideoSpec spec = videotool::Pan(videotool::Codec::Mpeg4, 640, 480, frames, 3);
    OpenedVideo video(file, spec);
    if (video.count <= 0) {
        return 1;
    }
    CVideoGrabber& grabber = video.grabber;
    const int32_t count = video.count;
    const float scale = video.scale;

    std::vector<double> decodeOnly, plain, sequential, ratio, plainCpu, sequentialCpu, ratioCpu;
    for (int round = 0; round < rounds; ++round) {
        decodeOnly.push_back(PlainLoop(path, false).wall);
        const Rate loop = PlainLoop(path, true);
        const Rate grabs = SequentialGrabs(grabber, count, scale);
        plain.push_back(loop.wall);
        sequential.push_back(grabs.wall);
        ratio.push_back(grabs.wall / loop.wall);
        plainCpu.push_back(loop.cpu);
        sequentialCpu.push_back(grabs.cpu);
        ratioCpu.push_back(grabs.cpu / loop.cpu);
    }

    std::mt19937 rng(1);
    std::uniform_int_distribution<int> pick(0, count - 1);
    const int randomGrabs = 100;
    const double t0 = Now();
    for (int i = 0; i < randomGrabs; ++i) {
        grabber.GrabFrame(pick(rng), scale, 1, 1);
    }
    const double randomMs = (Now() - t0) * 1000.0 / randomGrabs;

    std::printf("640x480 MPEG-4, %d frames (GOP 12), medians of %d rounds\n", count, rounds);
    std::printf("plain decode loop, decode only:           %8.1f frames/s\n", Median(decodeOnly));
    std::printf("plain decode loop, decode + 24-bit:       %8.1f frames/s\n", Median(plain));
    std::printf("CVideoGrabber sequential GrabFrame:       %8.1f frames/s  (%.1f %% of the loop)\n",
                Median(sequential), 100.0 * Median(ratio));
    std::printf("by processor time: loop %.1f, grabs %.1f frames/s  (%.1f %% of the loop)\n",
                Median(plainCpu), Median(sequentialCpu), 100.0 * Median(ratioCpu));
    std::printf("CVideoGrabber random GrabFrame latency:   %8.2f ms\n", randomMs);
    std::printf("per-round ratios (wall / processor):");
    for (size_t i = 0; i < ratio.size(); ++i) {
        std::printf(" %.1f/%.1f", 100.0 * ratio[i], 100.0 * ratioCpu[i]);
    }
    std::printf("\n");
    std::remove(path);

    const double byTime = BackwardStepMs(temp, "by-time.ts", 0);
    const double byDecodeOrder = BackwardStepMs(temp, "restarted.ts", 1500);
    if (byTime < 0 || byDecodeOrder < 0) {
        return 1;
    }
    std::printf("320x240 MPEG-2 transport stream, 3000 frames, backward steps near the end:\n");
    std::printf("  numbered by time:                       %8.2f ms a step\n", byTime);
    std::printf("  time stamps start again (decode order): %8.2f ms a step  (%.1f x)\n",
                byDecodeOrder, byDecodeOrder / byTime);
    return TurnedFigures(temp, std::min(frames, 200), rounds) ? 0 : 1;
}
