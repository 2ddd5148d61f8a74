// Writes test videos: a pan over a procedural texture with a known motion per frame, and the
// frame number as a barcode in the top rows, so a reader can tell exactly which frame it got.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace videotool {

enum class Codec {
    Raw,          // AVI, uncompressed 24-bit
    Mjpeg,        // AVI
    Mpeg4,        // AVI, I and P pictures
    Mpeg4BFrames, // AVI, two B pictures between references
    Mpeg1,        // MPEG-1 program stream, GOP 12, two B pictures
    Mpeg2,        // MPEG-2 program stream, GOP 12, two B pictures, interlaced coding
    H264,         // raw H.264 elementary stream: no container, no time stamps
    Gif,          // GIF animation, 256 colours
    Jpeg,         // one JPEG picture, nothing around it (one frame)
};

// Where the pictures are written when not in their codec's own file (AVI, program stream, ...).
enum class Container {
    Own,
    Mp4,    // as phones write, with a sample table that lists every picture
    MpegTs, // an MPEG transport stream, as broadcast and camcorders write
};

struct VideoSpec {
    Codec codec = Codec::Mjpeg;
    int width = 96;
    int height = 64;
    int frames = 30;
    int dx = 2; // texture motion per frame, pixels to the left
    int dy = 0; // and upwards
    int fps = 25;
    int fpsDen = 1;          // the rate is fps / fpsDen frames a second (30000 / 1001 for 29.97)
    bool audioFirst = false; // an audio stream before the video stream (AVI only)
    bool audioOnly = false;  // no video stream at all (AVI only)
    bool matroska = false;   // MJPEG or MPEG-4 in a Matroska file (clusters of 200 ms)
    // MP4 or a transport stream: any codec but the uncompressed, GIF and single-JPEG ones.
    Container container = Container::Own;
    // Pictures firstDropped .. firstDropped + droppedCount - 1 are left out (a phone dropping
    // pictures); the others keep their barcodes and times.
    int firstDropped = 0;
    int droppedCount = 0;
    // From this picture on the pictures come two frame times apart (the rate halves); 0: never.
    int halfRateFrom = 0;
    // The first picture is stamped this many frame times after 0 (a late start).
    int startAt = 0;
    // The video stream counts time in units of 1 / timeBase s (90000 as phones and broadcast
    // write); 0: in frame times.
    int timeBase = 0;
    // The time stamps start again from 0 at this picture while the barcodes go on (two
    // transport or program streams joined); 0: never.
    int restartAt = 0;
    // This picture's packet loses its scan marker (MJPEG), so it decodes to no pixels; -1: none.
    int blankPicture = -1;
    // k > 1: picture n is left out where n % k == k - 1, its time left empty (a variable-rate
    // file); the barcode of every other picture is still its frame time n.
    int dropEvery = 0;
    // Pictures from frame jumpAt on are stamped jumpFrames frame times later (a jump in the time
    // stamps); 0: none.
    int jumpAt = 0;
    int64_t jumpFrames = 0;
    // The rate the file states, when not the rate its pictures come at (Matroska); 0: that rate.
    int statedFps = 0;
    // 90, 180 or 270: a portrait phone video. The file's display matrix tells a player to turn
    // its pictures this many degrees clockwise, and the pictures are stored turned back by as
    // much, so they show upright at width x height once turned. Written as MP4 (MOV for the
    // uncompressed form, which MP4 does not carry).
    int rotation = 0;
};

// Rows at the top of every frame that carry the barcode, and its number of bits (most
// significant first, one cell each, white for 1).
constexpr int kBarcodeRows = 16;
constexpr int kBarcodeBits = 12;

bool ParseCodec(const std::string& name, Codec* codec);
const char* CodecName(Codec codec);

// The picture of frame n, rows from the top, pixels red, green, blue.
void RenderFrame(const VideoSpec& spec, int n, std::vector<uint8_t>* rgb);

// Reads the barcode of a picture width pixels wide whose barcode is barRows high (kBarcodeRows,
// or half of it for a half-size frame); luma(x, yFromTop) gives a pixel's brightness.
int ReadBarcode(int width, int barRows, const std::function<int(int, int)>& luma);

// A pan of the given size and length, moving dx pixels a frame to the left.
VideoSpec Pan(Codec codec, int width, int height, int frames, int dx);

// Writes the video; returns true, or false with the reason in error.
bool WriteVideo(const std::string& path, const VideoSpec& spec, std::string* error);
// WriteVideo unless a file is at path already: tests and benchmarks write each video once.
bool WriteVideoIfMissing(const std::string& path, const VideoSpec& spec, std::string* error);

// Damaged and hostile forms of a written file, for the tests of broken input.
// Keeps the first bytes of the file only.
bool TruncateFile(const std::string& path, uint64_t bytes);
// Rewrites the frame count an AVI's headers announce (the main header's total and the video
// stream's length).
bool SetAviFrameCount(const std::string& path, uint32_t frames);
// Rewrites the video stream's rate and scale (frames a second = rate / scale) in an AVI.
bool SetAviFrameRate(const std::string& path, uint32_t rate, uint32_t scale);
// Makes the cluster time codes of a Matroska file go backwards: every cluster at fromMs or
// later is set fromMs earlier, so the time starts again from 0 there. False when the file has
// no cluster there.
bool RewindMatroskaClusters(const std::string& path, int64_t fromMs);
// Overwrites count bytes from offset with a pattern of its own (a damaged spot).
bool DamageFile(const std::string& path, uint64_t offset, uint64_t count);
// Appends the bytes of the second file to the first (two program streams joined end to end,
// time stamps starting again at the join).
bool AppendFile(const std::string& path, const std::string& tail);

} // namespace videotool
