// make-video: writes a test video, a pan over a procedural texture with a frame-number barcode.
// Run bare or with --help for its options.
#include "tools/video_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// One of the options of a number (or two) for phone-style and damaged files: true when argv[*i] is
// one, its value taken; *bad when the value cannot be read.
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
                  : arg == "--rotate"       ? &spec->rotation
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

// Every option with its meaning and default; the defaults are read from the writer's own.
void PrintHelp(std::FILE* out) {
    const videotool::VideoSpec d;
    std::fprintf(out,
                 "usage: make-video [OPTION]... OUTPUT\n"
                 "Writes OUTPUT, a test video: a procedural texture panned by a fixed motion a\n"
                 "frame, with the frame number as a barcode in its top %d rows.\n"
                 "\n"
                 "  --codec NAME     the picture coding and container (default %s):\n"
                 "                     raw     AVI, uncompressed 24-bit\n"
                 "                     mjpeg   AVI, Motion JPEG\n"
                 "                     mpeg4   AVI, MPEG-4, I and P pictures\n"
                 "                     mpeg4b  AVI, MPEG-4, two B pictures between references\n"
                 "                     mpeg1   MPEG-1 program stream, GOP 12, two B pictures\n"
                 "                     mpeg2   MPEG-2 program stream, GOP 12, two B pictures,\n"
                 "                             interlaced coding\n"
                 "                     h264    raw H.264 stream: no container, no time stamps\n"
                 "                     gif     GIF animation, 256 colours\n"
                 "                     jpeg    one JPEG picture (needs --frames 1)\n"
                 "  --size WxH       picture width and height in pixels (default %dx%d)\n"
                 "  --frames N       number of frames (default %d)\n"
                 "  --motion DX,DY   texture motion a frame in pixels, DX to the left and DY\n"
                 "                   upwards (default %d,%d)\n"
                 "  --fps N[/D]      frame rate, whole or a fraction such as 30000/1001\n"
                 "                   (default %d)\n"
                 "  --audio-first    an audio stream before the video stream (AVI only; default\n"
                 "                   off)\n"
                 "  --audio-only     an audio stream and no video stream (AVI only; default off)\n"
                 "  --rotate DEG     mark the video to be shown turned clockwise by 90, 180 or\n"
                 "                   270 degrees, as phones mark portrait recordings; the\n"
                 "                   pictures are stored turned back (MP4, MOV for raw;\n"
                 "                   default 0)\n"
                 "Phone-style and damaged files (each off by default):\n"
                 "  --container mp4|ts  an MP4 file (its sample table lists every picture) or an\n"
                 "                   MPEG transport stream, in place of the codec's own container\n"
                 "  --drop FIRST,COUNT  pictures FIRST to FIRST + COUNT - 1 left out, their time\n"
                 "                   kept: a phone dropping pictures\n"
                 "  --half-rate-from N  pictures from N on two frame times apart\n"
                 "  --start-at N     the first picture stamped N frame times after 0\n"
                 "  --time-base D    time counted in units of 1/D s (90000 as phones write)\n"
                 "  --restart-at N   time stamps start again at 0 from picture N on (ts, mpeg1,\n"
                 "                   mpeg2)\n"
                 "  --blank N        picture N's packet without its scan (mjpeg): a picture that\n"
                 "                   decodes to nothing\n"
                 "  --help           this text\n",
                 videotool::kBarcodeRows, videotool::CodecName(d.codec), d.width, d.height,
                 d.frames, d.dx, d.dy, d.fps);
}

// A command line that cannot be followed: the help, on the error stream.
int Usage() {
    PrintHelp(stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    videotool::VideoSpec spec;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return 0;
        }
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
