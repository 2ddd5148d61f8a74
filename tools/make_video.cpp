// make-video: writes a test video, a pan over a procedural texture with a frame-number barcode.
//   make-video [--codec raw|mjpeg|mpeg4|mpeg4b|mpeg1|mpeg2|h264|gif|jpeg] [--size WxH]
//              [--frames N] [--motion DX,DY] [--fps N[/D]] [--audio-first] [--audio-only]
//              [--rotate 90|180|270] OUTPUT
#include "tools/video_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: make-video [--codec raw|mjpeg|mpeg4|mpeg4b|mpeg1|mpeg2|h264|gif|jpeg] "
                 "[--size WxH] [--frames N] [--motion DX,DY] [--fps N[/D]] "
                 "[--audio-first] [--audio-only] [--rotate 90|180|270] OUTPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    videotool::VideoSpec spec;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
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
        } else if (arg == "--rotate" && hasValue) {
            // A portrait phone video: MP4 with a display matrix.
            spec.rotation = std::atoi(argv[++i]);
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
