// fuzz-seeds OUT: writes each fuzz target's seed corpus into OUT/<target>/: small videos of
// every format the test-video writer makes, damaged and unusual ones, engine runs, canvases and
// boxes, registry files; and beside them the reproducers of faults once found (names starting
// "repro-"), so that replaying the corpus keeps them mended.
#include "tools/video_writer.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using videotool::Codec;

// Builds an input as the targets read it (fuzz::Input): 32-bit numbers most significant byte
// first, a range's value as its offset from the low end, flags as one byte.
class Builder {
public:
    Builder& U32(uint32_t v) {
        for (int i = 3; i >= 0; --i) {
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    Builder& Range(int lo, int v) { return U32(static_cast<uint32_t>(int64_t{v} - lo)); }
    Builder& Flag(bool on) {
        m_bytes.push_back(on ? 1 : 0);
        return *this;
    }
    Builder& Noise(size_t n, unsigned seed) {
        std::mt19937 rng(seed);
        for (size_t i = 0; i < n; ++i) {
            m_bytes.push_back(static_cast<uint8_t>(rng()));
        }
        return *this;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

bool Save(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Write(const fs::path& file, const videotool::VideoSpec& spec) {
    std::string error;
    if (!videotool::WriteVideo(file.string(), spec, &error)) {
        std::fprintf(stderr, "fuzz-seeds: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool Video(const fs::path& file, Codec codec, int frames, bool audioFirst = false,
           bool audioOnly = false) {
    videotool::VideoSpec spec = videotool::Pan(codec, 32, 24, frames, 2);
    spec.audioFirst = audioFirst;
    spec.audioOnly = audioOnly;
    return Write(file, spec);
}

bool VideoSeeds(const fs::path& dir) {
    bool ok = true;
    const std::pair<Codec, const char*> formats[] = {
        {Codec::Raw, "raw.avi"},     {Codec::Mjpeg, "mjpeg.avi"},
        {Codec::Mpeg4, "mpeg4.avi"}, {Codec::Mpeg4BFrames, "mpeg4b.avi"},
        {Codec::Mpeg1, "mpeg1.mpg"}, {Codec::Mpeg2, "mpeg2.mpg"},
        {Codec::H264, "h264.h264"}};
    for (const auto& [codec, name] : formats) {
        ok = Video(dir / name, codec, codec == Codec::Raw ? 2 : 6) && ok;
    }
    ok = Video(dir / "audio-first.avi", Codec::Mjpeg, 4, true) && ok;
    ok = Video(dir / "audio-only.avi", Codec::Mjpeg, 4, false, true) && ok;

    // A stream without time stamps is raw H.264 (above); a file cut short inside its pictures;
    // a header announcing 100,000 frames over 8; two program streams joined; hostile rates.
    const fs::path cut = dir / "repro-truncated.avi";
    ok = Video(cut, Codec::Mjpeg, 12) && ok;
    ok = videotool::TruncateFile(cut.string(), fs::file_size(cut) * 2 / 5) && ok;
    const fs::path many = dir / "repro-too-many-frames.avi";
    ok = Video(many, Codec::Mjpeg, 8) && videotool::SetAviFrameCount(many.string(), 100000) && ok;
    const fs::path joined = dir / "repro-joined.mpg";
    ok = Video(joined, Codec::Mpeg1, 6) && ok;
    ok = videotool::AppendFile(joined.string(), (dir / "mpeg1.mpg").string()) && ok;
    const std::pair<uint32_t, uint32_t> rates[] = {
        {2000000033u, 2000000011u}, {2000000011u, 2000000033u}, {INT_MAX, 1}, {1, INT_MAX}};
    int i = 0;
    for (const auto& [rate, scale] : rates) {
        const fs::path file = dir / ("repro-rate-" + std::to_string(++i) + ".avi");
        ok = Video(file, Codec::Mjpeg, 4) &&
             videotool::SetAviFrameRate(file.string(), rate, scale) && ok;
    }
    return ok;
}

// Phone-style MP4 (a stated count at a halved rate, pictures left out, B-pictures, a fine time
// base and a late start, cut short), a transport stream whose time stamps start again, and a
// Matroska MJPEG file with a picture that decodes to nothing.
bool PhoneAndDamagedSeeds(const fs::path& dir) {
    videotool::VideoSpec halfRate = videotool::Pan(Codec::Mpeg4, 32, 24, 30, 2);
    halfRate.container = videotool::Container::Mp4;
    halfRate.halfRateFrom = 15;
    bool ok = Write(dir / "half-rate.mp4", halfRate);
    videotool::VideoSpec dropped = videotool::Pan(Codec::H264, 32, 24, 30, 2);
    dropped.container = videotool::Container::Mp4;
    dropped.firstDropped = 10;
    dropped.droppedCount = 4;
    dropped.timeBase = 90000;
    dropped.startAt = 3;
    ok = Write(dir / "dropped-b.mp4", dropped) && ok;
    const fs::path cut = dir / "repro-cut.mp4";
    ok =
        Write(cut, halfRate) && videotool::TruncateFile(cut.string(), fs::file_size(cut) / 2) && ok;
    videotool::VideoSpec restarted = videotool::Pan(Codec::Mpeg2, 32, 24, 30, 2);
    restarted.container = videotool::Container::MpegTs;
    restarted.restartAt = 15;
    ok = Write(dir / "restarted.ts", restarted) && ok;
    videotool::VideoSpec blank = videotool::Pan(Codec::Mjpeg, 32, 24, 8, 2);
    blank.matroska = true;
    blank.blankPicture = 3;
    return Write(dir / "blank.mkv", blank) && ok;
}

// Beside the opener's seeds, files whose frames the source once lost track of: Matroska
// cluster times that go backwards, a variable rate (pictures left out), a damaged GIF, and a
// single JPEG picture; and a portrait phone video, whose pictures are turned upright.
bool FrameSeeds(const fs::path& dir) {
    bool ok = VideoSeeds(dir);
    videotool::VideoSpec backward = videotool::Pan(Codec::Mjpeg, 32, 24, 40, 2);
    backward.matroska = true;
    const fs::path rewound = dir / "backward-times.mkv";
    ok = Write(rewound, backward) && videotool::RewindMatroskaClusters(rewound.string(), 800) && ok;
    videotool::VideoSpec dropped = videotool::Pan(Codec::Mpeg4, 32, 24, 40, 2);
    dropped.matroska = true;
    dropped.dropEvery = 7;
    ok = Write(dir / "dropped-pictures.mkv", dropped) && ok;
    // Damaged inside its first picture, the one with the colour table.
    const fs::path gif = dir / "damaged.gif";
    ok = Write(gif, videotool::Pan(Codec::Gif, 32, 24, 3, 2)) &&
         videotool::DamageFile(gif.string(), fs::file_size(gif) / 2, 16) && ok;
    // Large enough that the picture is not all read while the file is probed.
    ok = Write(dir / "single.jpg", videotool::Pan(Codec::Jpeg, 160, 120, 1, 2)) && ok;
    videotool::VideoSpec turned = videotool::Pan(Codec::Mjpeg, 24, 32, 6, 2);
    turned.rotation = 90;
    ok = Write(dir / "turned.mp4", turned) && ok;
    return PhoneAndDamagedSeeds(dir) && ok;
}

// An engine run: size, window (near edges), run length, format, modes, frames and pan.
std::vector<uint8_t> EngineRun(int w, int h, int rowStart, int rowEnd, int colStart, int colEnd,
                               int frameCount, int format, bool edges, bool blend, bool thick,
                               int frames, int dx, unsigned seed) {
    Builder b;
    b.Range(1, w).Range(1, h);
    auto edge = [&](int v, int size) {
        if (v < -2 || v > size + 1) {
            b.Range(0, 0).U32(static_cast<uint32_t>(v));
        } else {
            b.Range(0, 1).Range(-2, v);
        }
    };
    edge(rowStart, h);
    edge(rowEnd, h);
    edge(colStart, w);
    edge(colEnd, w);
    if (frameCount >= -3 && frameCount <= 20) {
        b.Flag(true).Range(-3, frameCount);
    } else {
        b.Flag(false).U32(static_cast<uint32_t>(frameCount));
    }
    b.Range(0, format).Flag(edges).Flag(blend).Flag(thick).Range(1, frames).Range(-6, dx);
    return b.Noise(600, seed).Bytes();
}

bool EngineSeeds(const fs::path& dir) {
    bool ok = Save(dir / "regions-thick.bin",
                   EngineRun(64, 48, 1, 46, 1, 62, 10, 0, false, false, true, 6, 3, 1));
    ok = Save(dir / "edges-thin-blend.bin",
              EngineRun(72, 40, 0, 39, 2, 70, 5, 1, true, true, false, 5, -2, 2)) &&
         ok;
    ok = Save(dir / "format-444.bin",
              EngineRun(48, 30, 3, 26, 0, 47, 4, 2, false, true, true, 4, 1, 3)) &&
         ok;
    ok = Save(dir / "smallest-window.bin",
              EngineRun(16, 6, 0, 5, 0, 15, 3, 0, true, false, false, 3, 0, 4)) &&
         ok;
    // Init once took a run of no frames and windows whose sizes overflow.
    ok = Save(dir / "repro-no-frames.bin",
              EngineRun(64, 48, 1, 46, 1, 62, 0, 0, false, false, true, 3, 3, 5)) &&
         ok;
    ok = Save(dir / "repro-window-overflow.bin",
              EngineRun(64, 48, 5, INT_MIN, 1, 62, 10, 0, false, false, true, 3, 3, 6)) &&
         ok;
    ok = Save(dir / "repro-column-overflow.bin",
              EngineRun(64, 48, 1, 46, 5, INT_MIN, 10, 0, false, false, true, 3, 3, 7)) &&
         ok;
    return ok;
}

// A canvas and box for the saver: coordinates near the canvas unless hostile.
std::vector<uint8_t> SaverCase(int rows, int cols, int bytesPerPixel, int current, int x, int y,
                               int width, int height, int quality, unsigned seed) {
    Builder b;
    b.Range(0, rows).Range(0, cols).Range(1, bytesPerPixel).Range(0, current).Range(0, 1);
    for (const int v : {x, y, width, height}) {
        if (v < -60 || v > 60) {
            b.Range(0, 0).U32(static_cast<uint32_t>(v));
        } else {
            b.Range(0, 1).Range(-60, v);
        }
    }
    b.Range(-5, quality);
    return b.Noise(300, seed).Bytes();
}

bool SaverSeeds(const fs::path& dir) {
    bool ok = Save(dir / "whole.bin", SaverCase(20, 30, 3, 1, 0, 0, 29, 19, 90, 1));
    ok = Save(dir / "clipped.bin", SaverCase(20, 30, 3, 0, -5, 10, 50, 50, 50, 2)) && ok;
    ok = Save(dir / "bytes-444.bin", SaverCase(12, 17, 2, 1, 3, 2, 5, 4, 100, 3)) && ok;
    ok = Save(dir / "empty-box.bin", SaverCase(10, 10, 3, 1, 20, 20, 3, 3, 0, 4)) && ok;
    ok = Save(dir / "hostile-box.bin",
              SaverCase(10, 10, 3, 1, INT_MAX, INT_MIN, INT_MAX, INT_MAX, 90, 5)) &&
         ok;
    return ok;
}

bool Text(const fs::path& file, const std::string& text) {
    return Save(file, std::vector<uint8_t>(text.begin(), text.end()));
}

bool RegistrySeeds(const fs::path& dir) {
    bool ok = Text(dir / "install.ini", "[STILLO01_00013]\nPATH=/opt/stillo\n");
    ok = Text(dir / "browser.ini",
              "; comment\n[Applications\\iexplore.exe\\shell\\open\\command]\n@=firefox %1\n") &&
         ok;
    ok = Text(dir / "odd-lines.ini",
              "[ STILLO01_00013 ]\r\n  PATH =  spaced value  \r\n=\n[\n]\n[]\nno equals\n#x=y\n") &&
         ok;
    ok = Text(dir / "self-named.ini", "k\n[k]\nk=v\n") && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds OUTPUT-FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    bool ok = true;
    const std::pair<const char*, bool (*)(const fs::path&)> targets[] = {
        {"video_open", VideoSeeds},
        {"video_frames", FrameSeeds},
        {"engine", EngineSeeds},
        {"saver", SaverSeeds},
        {"registry", RegistrySeeds}};
    for (const auto& [name, write] : targets) {
        std::error_code ec;
        fs::create_directories(out / name, ec);
        ok = !ec && write(out / name) && ok;
    }
    return ok ? 0 : 1;
}
