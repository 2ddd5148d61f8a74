#include "tools/video_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace videotool {

namespace {

struct Named {
    const char* name;
    Codec codec;
};
constexpr Named kCodecs[] = {{"raw", Codec::Raw},     {"mjpeg", Codec::Mjpeg},
                             {"mpeg4", Codec::Mpeg4}, {"mpeg4b", Codec::Mpeg4BFrames},
                             {"mpeg1", Codec::Mpeg1}, {"mpeg2", Codec::Mpeg2},
                             {"h264", Codec::H264},   {"gif", Codec::Gif},
                             {"jpeg", Codec::Jpeg}};

uint8_t Clamp(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

std::string AvText(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

// Everything one output file holds, released in one place.
struct Output {
    AVFormatContext* oc = nullptr;
    AVCodecContext* enc = nullptr;
    SwsContext* sws = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    // What the packets' time stamps and data are changed by after encoding.
    const VideoSpec* spec = nullptr;
    ~Output() {
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&enc);
        if (oc) {
            if (oc->pb) {
                avio_closep(&oc->pb);
            }
            avformat_free_context(oc);
        }
    }
};

bool Fail(std::string* error, const std::string& what, int err = 0) {
    if (error) {
        *error = err ? what + ": " + AvText(err) : what;
    }
    return false;
}

// A time in frame times as the file stamps it: late by the start, and twice as far apart from
// where the rate halves. Keeps the order of any two times, so decode times stay before
// presentation times.
int64_t Restamped(const VideoSpec& spec, int64_t t) {
    if (t == AV_NOPTS_VALUE) {
        return t;
    }
    if (spec.halfRateFrom > 0 && t > spec.halfRateFrom) {
        t = 2 * t - spec.halfRateFrom;
    }
    return t + spec.startAt;
}

// Overwrites the start-of-scan marker of a JPEG picture: the decoder finds the picture's size
// but nothing to decode into it.
void BlankScan(AVPacket* pkt) {
    for (int i = 0; i + 1 < pkt->size; ++i) {
        if (pkt->data[i] == 0xFF && pkt->data[i + 1] == 0xDA) {
            pkt->data[i] = pkt->data[i + 1] = 0x5A;
            return;
        }
    }
}

// The changes the video description asks of an encoded packet, in the encoder's frame times.
void AlterPacket(const VideoSpec& spec, AVPacket* pkt) {
    if (spec.blankPicture >= 0 && pkt->pts == spec.blankPicture &&
        av_packet_make_writable(pkt) >= 0) {
        BlankScan(pkt);
    }
    if (spec.halfRateFrom > 0 && pkt->pts >= spec.halfRateFrom) {
        pkt->duration *= 2;
    }
    pkt->pts = Restamped(spec, pkt->pts);
    pkt->dts = Restamped(spec, pkt->dts);
}

bool Drain(Output& out, std::string* error) {
    for (;;) {
        int ret = avcodec_receive_packet(out.enc, out.pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return true;
        }
        if (ret < 0) {
            return Fail(error, "encoding failed", ret);
        }
        AlterPacket(*out.spec, out.pkt);
        av_packet_rescale_ts(out.pkt, out.enc->time_base, out.video->time_base);
        out.pkt->stream_index = out.video->index;
        ret = av_interleaved_write_frame(out.oc, out.pkt);
        if (ret < 0) {
            return Fail(error, "writing failed", ret);
        }
    }
}

// One video frame's worth of a quiet tone, 8 kHz mono 16-bit.
bool WriteAudio(Output& out, const VideoSpec& spec, int n, std::string* error) {
    const int samples = static_cast<int>(8000LL * spec.fpsDen / spec.fps);
    if (av_new_packet(out.pkt, samples * 2) < 0) {
        return Fail(error, "out of memory");
    }
    for (int i = 0; i < samples; ++i) {
        const int16_t v = static_cast<int16_t>(800 * std::sin((n * samples + i) * 0.2));
        std::memcpy(out.pkt->data + 2 * i, &v, 2);
    }
    out.pkt->pts = out.pkt->dts =
        av_rescale_q(static_cast<int64_t>(n) * samples, AVRational{1, 8000}, out.audio->time_base);
    out.pkt->duration = av_rescale_q(samples, AVRational{1, 8000}, out.audio->time_base);
    out.pkt->stream_index = out.audio->index;
    out.pkt->flags |= AV_PKT_FLAG_KEY;
    const int ret = av_interleaved_write_frame(out.oc, out.pkt);
    return ret < 0 ? Fail(error, "writing audio failed", ret) : true;
}

} // namespace

bool ParseCodec(const std::string& name, Codec* codec) {
    for (const Named& n : kCodecs) {
        if (name == n.name) {
            *codec = n.codec;
            return true;
        }
    }
    return false;
}

const char* CodecName(Codec codec) {
    for (const Named& n : kCodecs) {
        if (n.codec == codec) {
            return n.name;
        }
    }
    return "?";
}

void RenderFrame(const VideoSpec& spec, int n, std::vector<uint8_t>* rgb) {
    const int w = spec.width;
    const int h = spec.height;
    rgb->assign(static_cast<size_t>(3) * w * h, 0);
    const double ox = static_cast<double>(spec.dx) * n;
    const double oy = static_cast<double>(spec.dy) * n;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = rgb->data() + (static_cast<size_t>(y) * w + x) * 3;
            const double u = x + ox;
            const double v = y + oy;
            p[0] = Clamp(128 + 70 * std::sin(u * 0.13) + 40 * std::sin(v * 0.09 + u * 0.02));
            p[1] = Clamp(128 + 60 * std::sin(v * 0.17 - u * 0.05) + 50 * std::cos(u * 0.031));
            p[2] = Clamp(128 + 80 * std::sin((u + v) * 0.07) * std::cos(v * 0.05));
        }
    }
    const int rows = std::min(kBarcodeRows, h);
    for (int bit = 0; bit < kBarcodeBits; ++bit) {
        const bool one = (n >> (kBarcodeBits - 1 - bit)) & 1;
        const int x0 = bit * w / kBarcodeBits;
        const int x1 = (bit + 1) * w / kBarcodeBits;
        for (int y = 0; y < rows; ++y) {
            for (int x = x0; x < x1; ++x) {
                uint8_t* p = rgb->data() + (static_cast<size_t>(y) * w + x) * 3;
                p[0] = p[1] = p[2] = one ? 255 : 0;
            }
        }
    }
}

int ReadBarcode(int width, int barRows, const std::function<int(int, int)>& luma) {
    int value = 0;
    for (int bit = 0; bit < kBarcodeBits; ++bit) {
        // The middle half of the cell, away from the edges that lossy coding smears.
        const double cell = static_cast<double>(width) / kBarcodeBits;
        const int x0 = static_cast<int>(bit * cell + cell / 4);
        const int x1 = std::max(x0 + 1, static_cast<int>((bit + 1) * cell - cell / 4));
        const int y0 = barRows / 4;
        const int y1 = std::max(y0 + 1, barRows - barRows / 4);
        long sum = 0;
        long count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                sum += luma(x, y);
                ++count;
            }
        }
        value = value * 2 + (sum > 128 * count ? 1 : 0);
    }
    return value;
}

VideoSpec Pan(Codec codec, int width, int height, int frames, int dx) {
    VideoSpec spec;
    spec.codec = codec;
    spec.width = width;
    spec.height = height;
    spec.frames = frames;
    spec.dx = dx;
    return spec;
}

bool WriteVideoIfMissing(const std::string& path, const VideoSpec& spec, std::string* error) {
    return std::filesystem::exists(path) || WriteVideo(path, spec, error);
}

namespace {

bool IsProgramStream(Codec codec) {
    return codec == Codec::Mpeg1 || codec == Codec::Mpeg2;
}

// The 8 kHz mono 16-bit stream of WriteAudio.
bool AddAudioStream(Output& out, std::string* error) {
    out.audio = avformat_new_stream(out.oc, nullptr);
    if (!out.audio) {
        return Fail(error, "out of memory");
    }
    AVCodecParameters* par = out.audio->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_PCM_S16LE;
    par->sample_rate = 8000;
    av_channel_layout_default(&par->ch_layout, 1);
    par->bits_per_coded_sample = 16;
    par->block_align = 2;
    par->bit_rate = 8000 * 16;
    out.audio->time_base = AVRational{1, 8000};
    return true;
}

// The encoder of a codec and the pixel format it is fed.
struct VideoCodec {
    AVCodecID id;
    AVPixelFormat format;
};

VideoCodec VideoCodecOf(Codec codec) {
    switch (codec) {
    case Codec::Raw:
        return {AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_BGR24};
    case Codec::Mjpeg:
        return {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P};
    case Codec::Mpeg4:
    case Codec::Mpeg4BFrames:
        return {AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P};
    case Codec::Mpeg1:
        return {AV_CODEC_ID_MPEG1VIDEO, AV_PIX_FMT_YUV420P};
    case Codec::Mpeg2:
        return {AV_CODEC_ID_MPEG2VIDEO, AV_PIX_FMT_YUV420P};
    case Codec::H264:
        return {AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P};
    case Codec::Gif:
        return {AV_CODEC_ID_GIF, AV_PIX_FMT_RGB8};
    case Codec::Jpeg:
        return {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P};
    }
    return {AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_YUV420P};
}

// The video stream with its open encoder, the picture it is fed and the converter into it.
bool AddVideoStream(Output& out, const VideoSpec& spec, std::string* error) {
    const VideoCodec vc = VideoCodecOf(spec.codec);
    const AVCodec* codec = avcodec_find_encoder(vc.id);
    if (!codec) {
        return Fail(error, std::string("no encoder for ") + CodecName(spec.codec));
    }
    out.video = avformat_new_stream(out.oc, nullptr);
    out.enc = avcodec_alloc_context3(codec);
    out.frame = av_frame_alloc();
    if (!out.video || !out.enc || !out.frame) {
        return Fail(error, "out of memory");
    }
    out.enc->width = spec.width;
    out.enc->height = spec.height;
    out.enc->pix_fmt = vc.format;
    out.enc->time_base = AVRational{spec.fpsDen, spec.fps};
    out.enc->framerate = AVRational{spec.fps, spec.fpsDen};
    out.enc->gop_size = 12;
    out.enc->max_b_frames = (spec.codec == Codec::Mpeg4BFrames || IsProgramStream(spec.codec) ||
                             spec.codec == Codec::H264)
                                ? 2
                                : 0;
    if (vc.id == AV_CODEC_ID_H264) {
        // A fixed fine quantiser, one thread: small files whose barcode survives.
        av_opt_set(out.enc->priv_data, "qp", "12", 0);
        out.enc->thread_count = 1;
    } else if (vc.id != AV_CODEC_ID_RAWVIDEO) {
        // A fixed fine quantiser keeps the barcode readable at any size.
        out.enc->flags |= AV_CODEC_FLAG_QSCALE;
        out.enc->global_quality = FF_QP2LAMBDA * 3;
    }
    if (spec.codec == Codec::Mpeg2) {
        out.enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    }
    if (out.oc->oformat->flags & AVFMT_GLOBALHEADER) {
        out.enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int ret = avcodec_open2(out.enc, codec, nullptr);
    if (ret < 0) {
        return Fail(error, "cannot open the encoder", ret);
    }
    ret = avcodec_parameters_from_context(out.video->codecpar, out.enc);
    if (ret < 0) {
        return Fail(error, "cannot set the stream up", ret);
    }
    out.video->time_base = out.enc->time_base;
    out.video->avg_frame_rate =
        spec.statedFps > 0 ? AVRational{spec.statedFps, 1} : out.enc->framerate;
    out.frame->format = vc.format;
    out.frame->width = spec.width;
    out.frame->height = spec.height;
    ret = av_frame_get_buffer(out.frame, 0);
    if (ret < 0) {
        return Fail(error, "out of memory", ret);
    }
    out.sws = sws_getContext(spec.width, spec.height, AV_PIX_FMT_RGB24, spec.width, spec.height,
                             vc.format, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!out.sws) {
        return Fail(error, "cannot convert pictures");
    }
    return true;
}

// A phone-style file: what its pictures are stored as, and the matrix that turns them upright.
bool IsRotated(const VideoSpec& spec) {
    return spec.rotation != 0;
}

bool RotationSupported(const VideoSpec& spec) {
    const bool codecFits = spec.codec == Codec::Raw || spec.codec == Codec::Mjpeg ||
                           spec.codec == Codec::Mpeg4 || spec.codec == Codec::Mpeg4BFrames ||
                           spec.codec == Codec::H264;
    return (spec.rotation == 90 || spec.rotation == 180 || spec.rotation == 270) && codecFits &&
           !spec.matroska && spec.container != Container::MpegTs && !spec.audioFirst &&
           !spec.audioOnly;
}

const char* RotatedMuxer(const VideoSpec& spec) {
    return spec.codec == Codec::Raw ? "mov" : "mp4";
}

// The description of the stored pictures: a quarter turn swaps the sides.
VideoSpec StoredSpec(const VideoSpec& spec) {
    VideoSpec stored = spec;
    if (spec.rotation % 180 != 0) {
        std::swap(stored.width, stored.height);
    }
    return stored;
}

// The upright picture (red, green, blue rows) turned back into the one the file stores: each
// stored pixel is the upright pixel a clockwise turn by the rotation takes it to.
void TurnBack(const VideoSpec& spec, std::vector<uint8_t>* rgb) {
    const VideoSpec stored = StoredSpec(spec);
    std::vector<uint8_t> out(rgb->size());
    for (int q = 0; q < stored.height; ++q) {
        for (int p = 0; p < stored.width; ++p) {
            int x = p;
            int y = q;
            if (spec.rotation == 90) {
                x = stored.height - 1 - q;
                y = p;
            } else if (spec.rotation == 180) {
                x = stored.width - 1 - p;
                y = stored.height - 1 - q;
            } else if (spec.rotation == 270) {
                x = q;
                y = stored.width - 1 - p;
            }
            std::memcpy(out.data() + 3 * (static_cast<size_t>(q) * stored.width + p),
                        rgb->data() + 3 * (static_cast<size_t>(y) * spec.width + x), 3);
        }
    }
    rgb->swap(out);
}

// The display matrix on the video stream, as phones write it for a portrait recording.
bool MarkRotation(Output& out, const VideoSpec& spec, std::string* error) {
    uint8_t* side =
        av_stream_new_side_data(out.video, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t));
    if (!side) {
        return Fail(error, "out of memory");
    }
    int32_t matrix[9] = {};
    // FFmpeg's matrix for a clockwise turn.
    av_display_rotation_set(matrix, spec.rotation);
    std::memcpy(side, matrix, sizeof matrix);
    return true;
}

// Frame n's picture into the encoder's frame: swapped into blue-green-red rows for the
// uncompressed form, converted for every other.
void FillPicture(Output& out, const VideoSpec& spec, const std::vector<uint8_t>& rgb) {
    if (spec.codec == Codec::Raw) {
        // Our muxer marks uncompressed pictures as stored top row first.
        for (int y = 0; y < spec.height; ++y) {
            const uint8_t* s = rgb.data() + static_cast<size_t>(y) * 3 * spec.width;
            uint8_t* d = out.frame->data[0] + static_cast<ptrdiff_t>(y) * out.frame->linesize[0];
            for (int x = 0; x < spec.width; ++x) {
                d[3 * x] = s[3 * x + 2];
                d[3 * x + 1] = s[3 * x + 1];
                d[3 * x + 2] = s[3 * x];
            }
        }
        return;
    }
    const uint8_t* src[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {3 * spec.width, 0, 0, 0};
    sws_scale(out.sws, src, srcStride, 0, spec.height, out.frame->data, out.frame->linesize);
}

// Renders, encodes and writes frame n.
bool WritePicture(Output& out, const VideoSpec& spec, int n, std::vector<uint8_t>* rgb,
                  std::string* error) {
    int ret = av_frame_make_writable(out.frame);
    if (ret < 0) {
        return Fail(error, "out of memory", ret);
    }
    RenderFrame(spec, n, rgb);
    if (IsRotated(spec)) {
        TurnBack(spec, rgb);
    }
    FillPicture(out, StoredSpec(spec), *rgb);
    out.frame->pts = spec.jumpAt > 0 && n >= spec.jumpAt ? n + spec.jumpFrames : n;
    if (spec.codec == Codec::Mpeg2) {
        out.frame->interlaced_frame = 1;
        out.frame->top_field_first = 1;
    }
    if (out.enc->flags & AV_CODEC_FLAG_QSCALE) {
        out.frame->quality = out.enc->global_quality;
    }
    ret = avcodec_send_frame(out.enc, out.frame);
    if (ret < 0) {
        return Fail(error, "encoding failed", ret);
    }
    return Drain(out, error);
}

// The encoder's held pictures, the trailer, and the file closed.
bool Finish(Output& out, const std::string& path, std::string* error) {
    if (out.enc) {
        avcodec_send_frame(out.enc, nullptr);
        if (!Drain(out, error)) {
            return false;
        }
    }
    int ret = av_write_trailer(out.oc);
    if (ret < 0) {
        return Fail(error, "cannot finish the file", ret);
    }
    ret = avio_closep(&out.oc->pb);
    if (ret < 0) {
        return Fail(error, "cannot close " + path, ret);
    }
    return true;
}

bool ContainerFits(const VideoSpec& spec) {
    return spec.container == Container::Own ||
           (spec.codec != Codec::Raw && spec.codec != Codec::Gif && spec.codec != Codec::Jpeg &&
            !spec.matroska && !spec.audioFirst && !spec.audioOnly);
}

// The pictures before restartAt, then those from it on with their times starting again at 0,
// written as two files and joined.
bool WriteRestarted(const std::string& path, const VideoSpec& spec, std::string* error) {
    const bool joinable = spec.container == Container::MpegTs ||
                          (spec.container == Container::Own && IsProgramStream(spec.codec));
    if (!joinable) {
        return Fail(error, "time stamps start again in transport and program streams only");
    }
    if (spec.droppedCount > 0 || spec.restartAt >= spec.frames) {
        return Fail(error, "the restart must lie inside the pictures, none left out");
    }
    VideoSpec head = spec;
    head.restartAt = 0;
    head.frames = spec.restartAt;
    VideoSpec tail = spec;
    tail.restartAt = 0;
    tail.firstDropped = 0;
    tail.droppedCount = spec.restartAt;
    tail.startAt = spec.startAt - spec.restartAt;
    const std::string tailPath = path + ".tail";
    const bool ok = WriteVideo(path, head, error) && WriteVideo(tailPath, tail, error) &&
                    (AppendFile(path, tailPath) || Fail(error, "cannot join the two parts"));
    std::error_code ec;
    std::filesystem::remove(tailPath, ec);
    return ok;
}

} // namespace

bool WriteVideo(const std::string& path, const VideoSpec& spec, std::string* error) {
    av_log_set_level(AV_LOG_ERROR);
    if (spec.restartAt > 0) {
        return WriteRestarted(path, spec, error);
    }
    if (!ContainerFits(spec)) {
        return Fail(error, "MP4 and transport streams are written with compressed moving "
                           "pictures only, video only");
    }
    if (spec.width <= 0 || spec.height <= 0 || spec.frames <= 0 || spec.fps <= 0 ||
        spec.fpsDen <= 0) {
        return Fail(error, "size, length and rate must be positive");
    }
    if (spec.matroska && spec.codec != Codec::Mjpeg && spec.codec != Codec::Mpeg4 &&
        spec.codec != Codec::Mpeg4BFrames) {
        return Fail(error, "Matroska files are written with MJPEG or MPEG-4 only");
    }
    if (spec.codec == Codec::Jpeg && spec.frames != 1) {
        return Fail(error, "a JPEG picture is one frame");
    }
    if (IsRotated(spec) && !RotationSupported(spec)) {
        return Fail(error,
                    "rotated files are turned by 90, 180 or 270 degrees and written with "
                    "uncompressed, MJPEG, MPEG-4 or H.264 pictures, video only, in MP4 or MOV");
    }
    const char* muxer = spec.container == Container::Mp4      ? "mp4"
                        : spec.container == Container::MpegTs ? "mpegts"
                        : IsRotated(spec)                     ? RotatedMuxer(spec)
                        : spec.matroska                       ? "matroska"
                        : spec.codec == Codec::Mpeg1          ? "mpeg"
                        : spec.codec == Codec::Mpeg2          ? "vob"
                        : spec.codec == Codec::H264           ? "h264"
                        : spec.codec == Codec::Gif            ? "gif"
                        : spec.codec == Codec::Jpeg           ? "mjpeg"
                                                              : "avi";
    if ((spec.audioFirst || spec.audioOnly) && std::strcmp(muxer, "avi") != 0) {
        return Fail(error, "audio streams are written into AVI files only");
    }
    Output out;
    out.spec = &spec;
    int ret = avformat_alloc_output_context2(&out.oc, nullptr, muxer, path.c_str());
    if (ret < 0 || !out.oc) {
        return Fail(error, "cannot create the container", ret);
    }
    out.pkt = av_packet_alloc();
    if (!out.pkt) {
        return Fail(error, "out of memory");
    }
    if ((spec.audioFirst || spec.audioOnly) && !AddAudioStream(out, error)) {
        return false;
    }
    if (!spec.audioOnly && !AddVideoStream(out, StoredSpec(spec), error)) {
        return false;
    }
    if (IsRotated(spec) && !MarkRotation(out, spec, error)) {
        return false;
    }
    ret = avio_open(&out.oc->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) {
        return Fail(error, "cannot open " + path, ret);
    }
    if (out.video && spec.timeBase > 0) {
        out.video->time_base = AVRational{1, spec.timeBase};
    }
    AVDictionary* options = nullptr;
    if (spec.matroska) {
        // Clusters of a few pictures each, so that their time codes can be rewritten.
        av_dict_set(&options, "cluster_time_limit", "200", 0);
        // No checksums: a rewritten time code would break them.
        av_dict_set(&options, "write_crc32", "0", 0);
    }
    ret = avformat_write_header(out.oc, &options);
    av_dict_free(&options);
    if (ret < 0) {
        return Fail(error, "cannot write the header", ret);
    }
    std::vector<uint8_t> rgb;
    for (int n = 0; n < spec.frames; ++n) {
        if (out.audio && !WriteAudio(out, spec, n, error)) {
            return false;
        }
        const bool dropped = (spec.dropEvery > 1 && n % spec.dropEvery == spec.dropEvery - 1) ||
                             (n >= spec.firstDropped && n < spec.firstDropped + spec.droppedCount);
        if (out.video && !dropped && !WritePicture(out, spec, n, &rgb, error)) {
            return false;
        }
    }
    return Finish(out, path, error);
}

namespace {

// The bytes of a whole file, and back.
bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return false;
    }
    bytes->clear();
    uint8_t block[65536];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        bytes->insert(bytes->end(), block, block + n);
    }
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes, const char* mode) {
    FILE* f = std::fopen(path.c_str(), mode);
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void Put32(std::vector<uint8_t>* bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        (*bytes)[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Offset of the data of the first chunk with this four-character code after from, or 0.
size_t FindChunk(const std::vector<uint8_t>& bytes, const char* fourcc, size_t from = 0) {
    for (size_t i = from; i + 8 <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, fourcc, 4) == 0) {
            return i + 8;
        }
    }
    return 0;
}

// Offset of the data of the video stream's header ("strh" of type "vids"), or 0.
size_t VideoStreamHeader(const std::vector<uint8_t>& bytes) {
    for (size_t at = FindChunk(bytes, "strh"); at != 0; at = FindChunk(bytes, "strh", at)) {
        if (at + 40 <= bytes.size() && std::memcmp(bytes.data() + at, "vids", 4) == 0) {
            return at;
        }
    }
    return 0;
}

} // namespace

bool TruncateFile(const std::string& path, uint64_t bytes) {
    std::error_code ec;
    std::filesystem::resize_file(path, bytes, ec);
    return !ec;
}

bool SetAviFrameCount(const std::string& path, uint32_t frames) {
    std::vector<uint8_t> bytes;
    if (!ReadAll(path, &bytes)) {
        return false;
    }
    const size_t avih = FindChunk(bytes, "avih");
    const size_t strh = VideoStreamHeader(bytes);
    if (avih == 0 || strh == 0 || avih + 20 > bytes.size()) {
        return false;
    }
    Put32(&bytes, avih + 16, frames); // dwTotalFrames
    Put32(&bytes, strh + 32, frames); // dwLength
    return WriteAll(path, bytes, "wb");
}

bool SetAviFrameRate(const std::string& path, uint32_t rate, uint32_t scale) {
    std::vector<uint8_t> bytes;
    if (!ReadAll(path, &bytes)) {
        return false;
    }
    const size_t strh = VideoStreamHeader(bytes);
    if (strh == 0) {
        return false;
    }
    Put32(&bytes, strh + 20, scale); // dwScale
    Put32(&bytes, strh + 24, rate);  // dwRate
    return WriteAll(path, bytes, "wb");
}

namespace {

// An EBML number at bytes[at]: its length from the leading zeros of the first byte, its value
// with the length marker taken off (for a size) or kept (for an element id).
bool ReadEbml(const std::vector<uint8_t>& bytes, size_t at, bool keepMarker, size_t* length,
              uint64_t* value) {
    if (at >= bytes.size() || bytes[at] == 0) {
        return false;
    }
    size_t len = 1;
    while (!(bytes[at] & (0x80 >> (len - 1)))) {
        ++len;
    }
    if (at + len > bytes.size()) {
        return false;
    }
    uint64_t v = keepMarker ? bytes[at] : bytes[at] & (0xFF >> len);
    for (size_t i = 1; i < len; ++i) {
        v = v << 8 | bytes[at + i];
    }
    *length = len;
    *value = v;
    return true;
}

} // namespace

bool RewindMatroskaClusters(const std::string& path, int64_t fromMs) {
    std::vector<uint8_t> bytes;
    if (!ReadAll(path, &bytes)) {
        return false;
    }
    constexpr uint8_t kCluster[] = {0x1F, 0x43, 0xB6, 0x75};
    constexpr uint64_t kTimecode = 0xE7;
    bool rewound = false;
    for (size_t at = 0; at + 4 < bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, kCluster, 4) != 0) {
            continue;
        }
        // Cluster id, its size, then its time code: id, size, value most significant first.
        size_t len = 0, idLen = 0, sizeLen = 0;
        uint64_t size = 0, id = 0, valueLen = 0;
        size_t p = at + 4;
        if (!ReadEbml(bytes, p, false, &len, &size) ||
            !ReadEbml(bytes, p += len, true, &idLen, &id) || id != kTimecode ||
            !ReadEbml(bytes, p += idLen, false, &sizeLen, &valueLen) || valueLen > 8 ||
            (p += sizeLen) + valueLen > bytes.size()) {
            continue;
        }
        uint64_t time = 0;
        for (uint64_t i = 0; i < valueLen; ++i) {
            time = time << 8 | bytes[p + i];
        }
        if (static_cast<int64_t>(time) < fromMs) {
            continue;
        }
        // A smaller value fits the bytes of the larger one.
        time -= static_cast<uint64_t>(fromMs);
        for (uint64_t i = valueLen; i-- > 0; time >>= 8) {
            bytes[p + i] = static_cast<uint8_t>(time);
        }
        rewound = true;
    }
    return rewound && WriteAll(path, bytes, "wb");
}

bool DamageFile(const std::string& path, uint64_t offset, uint64_t count) {
    std::vector<uint8_t> bytes;
    if (!ReadAll(path, &bytes) || offset + count > bytes.size()) {
        return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(0x5A ^ (i * 37));
    }
    return WriteAll(path, bytes, "wb");
}

bool AppendFile(const std::string& path, const std::string& tail) {
    std::vector<uint8_t> bytes;
    return ReadAll(tail, &bytes) && WriteAll(path, bytes, "ab");
}

} // namespace videotool
