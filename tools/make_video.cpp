// make-video: writes a test video, a pan over a procedural texture with a frame-number barcode.
//   make-video [--codec raw|mjpeg|mpeg4|mpeg4b|mpeg1|mpeg2|h264|gif|jpeg] [--size WxH]
//              [--frames N] [--motion DX,DY] [--fps N[/D]] [--audio-first] [--audio-only] OUTPUT
#include "tools/video_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Options for phone-style and damaged files:
//   --container mp4|ts     MP4 (a sample table listing every picture) or a transport stream
//   --drop FIRST,COUNT     pictures FIRST .. FIRST + COUNT - 1 left out
//   --half-rate-from N     pictures from N on two frame times apart
//   --start-at N           the first picture stamped N frame times after 0
//   --time-base D          time counted in units of 1 / D s
//   --restart-at N         time stamps starting again at 0 from picture N on (ts, mpeg1, mpeg2)
//   --blank N              picture N's packet without its scan marker (MJPEG): no pixels
// True when argv[*i] is one of them, its value taken; *bad when the value is not a number.
bool TimingOption(int argc, char** argv, int* i, videotool::VideoSpec* spec, bool* bad) {
    const std::string arg = argv[*i];
    if (*i + 1 >= argc) {
        return false;
    }
    const char* value = argv[*i + 1];
    int* number = arg == "--half-rate-from" ? &spec->halfRateFrom
                  : arg == "--start-at"     ? &spec->startAt
                  : arg == "--time-base"    ? &spec->timeBase
                  : arg == "--restart-at"   ? &spec->restartAt
                  : arg == "--blank"        ? &spec->blankPicture
                                            : nullptr;
    if (number) {
        *bad = std::sscanf(value, "%d", number) != 1;
    } else if (arg == "--drop") {
        *bad = std::sscanf(value, "%d,%d", &spec->firstDropped, &spec->droppedCount) != 2;
    } else if (arg == "--container") {
        const std::string name = value;
        *bad = name != "mp4" && name != "ts";
        spec->container = name == "mp4" ? videotool::Container::Mp4 : videotool::Container::MpegTs;
    } else {
        return false;
    }
    ++*i;
    return true;
}

int Usage() {
    std::fprintf(stderr, "phone-style and damaged files, beside the options below: [--container "
                         "mp4|ts] [--drop FIRST,COUNT] [--half-rate-from N] [--start-at N] "
                         "[--time-base D] [--restart-at N] [--blank N]\n");
    std::fprintf(stderr,
                 "usage: make-video [--codec raw|mjpeg|mpeg4|mpeg4b|mpeg1|mpeg2|h264|gif|jpeg] "
                 "[--size WxH] [--frames N] [--motion DX,DY] [--fps N[/D]] "
                 "[--audio-first] [--audio-only] OUTPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    videotool::VideoSpec spec;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        bool bad = false;
        if (TimingOption(argc, argv, &i, &spec, &bad)) {
            if (bad) {
                return Usage();
            }
            continue;
        }
        if (arg == "--codec" && hasValue) {
            if (!videotool::ParseCodec(argv[++i], &spec.codec)) {
                return Usage();
            }
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &spec.width, &spec.height) != 2) {
                return Usage();
            }
        } else if (arg == "--frames" && hasValue) {
            spec.frames = std::atoi(argv[++i]);
        } else if (arg == "--motion" && hasValue) {
            if (std::sscanf(argv[++i], "%d,%d", &spec.dx, &spec.dy) != 2) {
                return Usage();
            }
        } else if (arg == "--fps" && hasValue) {
            // A whole rate, or a fraction such as 30000/1001.
            const char* rate = argv[++i];
            spec.fps = std::atoi(rate);
            const char* slash = std::strchr(rate, '/');
            spec.fpsDen = slash ? std::atoi(slash + 1) : 1;
        } else if (arg == "--audio-first") {
            spec.audioFirst = true;
        } else if (arg == "--audio-only") {
            spec.audioOnly = true;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty()) {
        return Usage();
    }
    std::string error;
    if (!videotool::WriteVideo(output, spec, &error)) {
        std::fprintf(stderr, "make-video: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
