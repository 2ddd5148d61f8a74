#include "platform/media/frame_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace media {

namespace {

// FFmpeg's fast converters to 24-bit write whole blocks of this many pixels a row: with rows of
// exactly 3 * width bytes, a width that is not a multiple of it leaves the last pixels of each
// row unwritten or writes past the end of the last row. Measured on libswscale 6.7 (x86).
constexpr int kConverterBlock = 16;

// The largest picture accepted: a header may claim any size, and each copy of a picture is
// held in memory whole.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{8192} * 4096;

// A grab this many frames ahead of the last one decodes on instead of seeking: decoding a few
// pictures is cheaper than going back to a key frame.
constexpr int64_t kDecodeOnFrames = 16;

void QuietLogging() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

// Frame rates a file may state; beyond them the number is a damaged or hostile header's, and
// frame arithmetic with it would overflow or number every picture the same.
constexpr int64_t kMaxFramesPerSecond = 1000;
constexpr int64_t kMinFramesPerSecondDen = 1000; // at least one frame in 1000 s

bool SaneRate(AVRational r) {
    if (r.num <= 0 || r.den <= 0) {
        return false;
    }
    return static_cast<int64_t>(r.num) <= kMaxFramesPerSecond * r.den &&
           static_cast<int64_t>(r.num) * kMinFramesPerSecondDen >= r.den;
}

AVRational FrameRateOf(const AVStream* st) {
    if (SaneRate(st->avg_frame_rate)) {
        return st->avg_frame_rate;
    }
    if (SaneRate(st->r_frame_rate)) {
        return st->r_frame_rate;
    }
    return AVRational{25, 1};
}

// The name FFmpeg opens: always through its file protocol, so a name such as "pipe:0" or
// "concat:a|b" stays a file name.
std::string FileUrl(const std::string& path) {
    return "file:" + path;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The demuxer reads the packets of this stream only.
void KeepOnlyStream(AVFormatContext* fmt, int stream) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        fmt->streams[i]->discard =
            static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

// What a pass over the stream's packets finds: one packet is one picture once the parser has
// split them, and the time stamps show whether pictures can be numbered by them.
struct PacketSurvey {
    int64_t packets = 0;
    bool anyTimestamp = false;
    bool timestampsRestart = false; // decode times go backwards somewhere (files joined)
    std::vector<int64_t> times;     // the presentation times the packets carry
};

// Numbers by time that reach this many times as far as the pictures would by decode order are
// nearly all gaps: a jump in the time stamps, not a variable rate.
constexpr int64_t kMaxNumbersPerPicture = 4;

// A pass of its own over the stream, for containers whose header has no frame count (program
// streams, elementary streams).
PacketSurvey SurveyPackets(const std::string& path, int stream) {
    PacketSurvey survey;
    AVFormatContext* fmt = nullptr;
    if (!IsRegularFile(path) ||
        avformat_open_input(&fmt, FileUrl(path).c_str(), nullptr, nullptr) < 0) {
        return survey;
    }
    if (avformat_find_stream_info(fmt, nullptr) >= 0 &&
        stream < static_cast<int>(fmt->nb_streams)) {
        KeepOnlyStream(fmt, stream);
        int64_t lastDts = AV_NOPTS_VALUE;
        AVPacket* pkt = av_packet_alloc();
        while (pkt && av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == stream) {
                ++survey.packets;
                if (pkt->pts != AV_NOPTS_VALUE || pkt->dts != AV_NOPTS_VALUE) {
                    survey.anyTimestamp = true;
                }
                if (pkt->pts != AV_NOPTS_VALUE) {
                    survey.times.push_back(pkt->pts);
                }
                if (pkt->dts != AV_NOPTS_VALUE) {
                    if (lastDts != AV_NOPTS_VALUE && pkt->dts < lastDts) {
                        survey.timestampsRestart = true;
                    }
                    lastDts = pkt->dts;
                }
            }
            av_packet_unref(pkt);
        }
        av_packet_free(&pkt);
    }
    avformat_close_input(&fmt);
    return survey;
}

// How the stream's pictures are turned for showing: as its display matrix asks, else as stored.
Orientation StreamOrientation(const AVStream* st) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    int32_t matrix[9] = {};
    if (!data || size < sizeof matrix) {
        return Orientation{};
    }
    std::memcpy(matrix, data, sizeof matrix);
    return OrientationOf(matrix);
}

// a - b, or false when it does not fit 64 bits (time stamps of a hostile file).
bool Difference(int64_t a, int64_t b, int64_t* out) {
    return !__builtin_sub_overflow(a, b, out);
}

} // namespace

FrameDecoder::FrameDecoder() {
    QuietLogging();
}

FrameDecoder::~FrameDecoder() {
    Close();
}

void FrameDecoder::Close() {
    sws_freeContext(m_sws);
    m_sws = nullptr;
    av_frame_free(&m_work);
    av_frame_free(&m_held);
    av_frame_free(&m_pending);
    av_packet_free(&m_pkt);
    avcodec_free_context(&m_dec);
    avformat_close_input(&m_fmt);
    m_hasHeld = m_hasPending = m_hasPacket = false;
    m_lastIndex = -1;
    m_maxKnown = -1;
    m_fromStart = false;
    m_stream = -1;
    m_width = m_height = 0;
    m_orientation = Orientation{};
    m_frameCount = 0;
    m_countCorrected = false;
    m_decodeOrder = false;
    m_positioned = false;
}

HRESULT FrameDecoder::OpenFile(const std::string& path) {
    Close();
    m_path = path;
    if (!IsRegularFile(path)) {
        return AVERROR(EINVAL);
    }
    int ret = avformat_open_input(&m_fmt, FileUrl(path).c_str(), nullptr, nullptr);
    if (ret < 0) {
        m_fmt = nullptr;
        return ret;
    }
    ret = avformat_find_stream_info(m_fmt, nullptr);
    if (ret < 0) {
        Close();
        return ret;
    }
    return S_OK;
}

int FrameDecoder::StreamCount() const {
    return m_fmt ? static_cast<int>(m_fmt->nb_streams) : 0;
}

MajorType FrameDecoder::StreamType(int stream) const {
    if (!m_fmt || stream < 0 || stream >= StreamCount()) {
        return MajorType::Other;
    }
    const AVStream* st = m_fmt->streams[stream];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        return MajorType::Video;
    }
    if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        return MajorType::Audio;
    }
    return MajorType::Other;
}

HRESULT FrameDecoder::OpenStream(int stream) {
    if (StreamType(stream) != MajorType::Video) {
        return E_INVALIDARG;
    }
    m_pkt = av_packet_alloc();
    m_work = av_frame_alloc();
    m_held = av_frame_alloc();
    m_pending = av_frame_alloc();
    if (!m_pkt || !m_work || !m_held || !m_pending) {
        return E_OUTOFMEMORY;
    }
    m_stream = stream;
    int ret = OpenDecoder();
    if (ret < 0) {
        return ret;
    }
    KeepOnlyStream(m_fmt, stream);
    const AVStream* st = m_fmt->streams[stream];
    m_orientation = StreamOrientation(st);
    const AVRational fps = FrameRateOf(st);
    m_fpsNum = fps.num;
    m_fpsDen = fps.den;
    m_tbNum = st->time_base.num;
    m_tbDen = st->time_base.den;
    ret = DecodeFirstPicture();
    if (ret < 0) {
        return ret;
    }
    m_frameCount = CountFrames();
    if (m_frameCount <= 0) {
        return E_FAIL;
    }
    return SizePictureBuffers();
}

HRESULT FrameDecoder::DecodeFirstPicture() {
    // The first picture gives the true size and the time stamp that is frame 0. It stays
    // pending, so frame 0 and the frames after it decode on without a seek.
    m_firstDts = AV_NOPTS_VALUE;
    m_sawFirstPacket = false;
    m_flushed = false;
    const int ret = ReceiveNext(m_pending);
    if (ret < 0) {
        return ret == AVERROR_EOF ? E_FAIL : ret;
    }
    if (m_pending->width <= 0 || m_pending->height <= 0 || m_pending->width > kMaxSide ||
        m_pending->height > kMaxSide ||
        static_cast<int64_t>(m_pending->width) * m_pending->height > kMaxPixels) {
        return E_FAIL;
    }
    m_hasPending = true;
    m_width = m_pending->width;
    m_height = m_pending->height;
    // A first picture without a time stamp: the stream has none, and its pictures are numbered
    // as they come. So are those of a stream whose rate is absurd: time stamps counted in its
    // units would make nonsense of every frame number.
    const AVStream* st = m_fmt->streams[m_stream];
    m_decodeOrder = m_pending->best_effort_timestamp == AV_NOPTS_VALUE ||
                    (!SaneRate(st->avg_frame_rate) && !SaneRate(st->r_frame_rate));
    m_firstTs =
        m_pending->best_effort_timestamp != AV_NOPTS_VALUE ? m_pending->best_effort_timestamp : 0;
    if (m_firstDts == AV_NOPTS_VALUE) {
        m_firstDts = m_firstTs;
    }
    m_prevIndex = -1;
    m_lastIndex = -1;
    m_maxSeen = -1;
    m_decoded = 0;
    m_positioned = true;
    m_needKey = false;
    m_fromStart = true;
    return S_OK;
}

int64_t FrameDecoder::CountFrames() {
    const AVStream* st = m_fmt->streams[m_stream];
    const AVRational framesPerUnit = av_inv_q(AVRational{m_fpsNum, m_fpsDen});
    int64_t count = st->nb_frames;
    if (count <= 0) {
        count = CountPackets(m_stream);
    }
    if (count <= 0) {
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
            count = av_rescale_q(st->duration, st->time_base, framesPerUnit);
        } else if (m_fmt->duration > 0) {
            count = av_rescale_q(m_fmt->duration, AVRational{1, AV_TIME_BASE}, framesPerUnit);
        }
    }
    return count < INT32_MAX ? count : INT32_MAX;
}

HRESULT FrameDecoder::SizePictureBuffers() {
    try {
        m_picture.assign(static_cast<size_t>(3) * m_width * m_height, 0);
        m_scratch.clear();
        m_scratchPitch = 0;
        if (m_width % kConverterBlock != 0 || !m_orientation.Upright()) {
            const int padded = (m_width + kConverterBlock - 1) / kConverterBlock * kConverterBlock;
            m_scratchPitch = static_cast<ptrdiff_t>(3) * padded;
            // One spare row as a margin for a converter that reads or writes a little beyond.
            m_scratch.assign(static_cast<size_t>(m_scratchPitch) * (m_height + 1), 0);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT FrameDecoder::OpenDecoder() {
    const AVStream* st = m_fmt->streams[m_stream];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        return AVERROR_DECODER_NOT_FOUND;
    }
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    if (!dec) {
        return E_OUTOFMEMORY;
    }
    int ret = avcodec_parameters_to_context(dec, st->codecpar);
    if (ret >= 0) {
        dec->pkt_timebase = st->time_base;
        // Frame threads hold pictures back and make every seek slower; slices do not.
        dec->thread_type = FF_THREAD_SLICE;
        dec->thread_count = 1;
        ret = avcodec_open2(dec, codec, nullptr);
    }
    if (ret < 0) {
        avcodec_free_context(&dec);
        return ret;
    }
    avcodec_free_context(&m_dec);
    m_dec = dec;
    return S_OK;
}

int64_t FrameDecoder::CountPackets(int stream) {
    PacketSurvey survey = SurveyPackets(m_path, stream);
    if (!survey.anyTimestamp || survey.timestampsRestart) {
        m_decodeOrder = true;
    }
    std::vector<int64_t>& numbers = survey.times;
    if (m_decodeOrder || numbers.empty()) {
        return survey.packets;
    }
    // Numbered by time, the numbers reach the last picture's time: a stream that leaves
    // pictures out (a variable rate) has more numbers than pictures, each gap showing the
    // picture before it. Two pictures on one number would hide one of them, and a picture
    // before the first would never be shown: such a stream is numbered by decode order, as is
    // one whose numbers are nearly all gaps.
    for (int64_t& t : numbers) {
        int64_t sinceFirst = 0;
        if (!Difference(t, m_firstTs, &sinceFirst)) {
            m_decodeOrder = true;
            return survey.packets;
        }
        t = av_rescale_q(sinceFirst, AVRational{m_tbNum, m_tbDen}, AVRational{m_fpsDen, m_fpsNum});
    }
    std::sort(numbers.begin(), numbers.end());
    if (numbers.front() < 0 ||
        std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end() ||
        numbers.back() / kMaxNumbersPerPicture >= survey.packets) {
        m_decodeOrder = true;
        return survey.packets;
    }
    return std::max(survey.packets, numbers.back() + 1);
}

// 0 and a picture in out; AVERROR_EOF once the stream is exhausted; another negative value
// when the decoder fails. A packet the decoder refuses is skipped: a damaged spot in the file
// costs the pictures that depend on it, not the rest of the file. The first time stamp the
// stream's packets carry is kept as the place to rewind to.
int FrameDecoder::ReceiveNext(AVFrame* out) {
    for (;;) {
        int ret = avcodec_receive_frame(m_dec, out);
        if (ret == 0 || ret == AVERROR_EOF) {
            return ret;
        }
        if (ret != AVERROR(EAGAIN)) {
            return ret;
        }
        if (m_flushed) {
            return AVERROR_EOF;
        }
        if (m_hasPacket) {
            m_hasPacket = false;
            ret = 0;
        } else {
            ret = m_fmt ? av_read_frame(m_fmt, m_pkt) : AVERROR_EOF;
        }
        if (ret < 0) {
            // End of file or a truncated file: drain what the decoder still holds.
            avcodec_send_packet(m_dec, nullptr);
            m_flushed = true;
            continue;
        }
        if (m_pkt->stream_index == m_stream) {
            const int64_t ts = m_pkt->dts != AV_NOPTS_VALUE ? m_pkt->dts : m_pkt->pts;
            if (!m_sawFirstPacket) {
                m_sawFirstPacket = true;
                m_firstPacketPos = m_pkt->pos;
                m_firstPacketTs = ts;
            }
            if (m_firstDts == AV_NOPTS_VALUE) {
                m_firstDts = ts;
            }
            avcodec_send_packet(m_dec, m_pkt);
        }
        av_packet_unref(m_pkt);
    }
}

bool FrameDecoder::IndexOf(const AVFrame* frame, int64_t* index) {
    const int64_t ts = frame->best_effort_timestamp;
    int64_t sinceFirst = 0;
    if (m_decodeOrder) {
        *index = m_decoded++;
    } else if (ts != AV_NOPTS_VALUE && Difference(ts, m_firstTs, &sinceFirst)) {
        // index = (ts - first) * time_base * fps, to the nearest frame.
        *index =
            av_rescale_q(sinceFirst, AVRational{m_tbNum, m_tbDen}, AVRational{m_fpsDen, m_fpsNum});
    } else if (m_prevIndex >= 0) {
        *index = m_prevIndex + 1;
    } else {
        return false;
    }
    m_prevIndex = *index;
    m_maxSeen = std::max(m_maxSeen, *index);
    m_maxKnown = std::max(m_maxKnown, *index);
    return true;
}

void FrameDecoder::NoteEndOfStream(int64_t n) {
    if (m_maxSeen >= 0 && n > m_maxKnown && m_maxKnown + 1 < m_frameCount) {
        m_frameCount = m_maxKnown + 1;
        m_countCorrected = true;
    }
}

void FrameDecoder::ResetAfterSeek() {
    avcodec_flush_buffers(m_dec);
    av_frame_unref(m_held);
    av_frame_unref(m_pending);
    DropPacket();
    m_hasHeld = m_hasPending = false;
    m_flushed = false;
    m_needKey = true;
    m_prevIndex = -1;
    m_lastIndex = -1;
    m_maxSeen = -1;
    m_positioned = true;
    ++m_seekCount;
}

void FrameDecoder::DropPacket() {
    if (m_hasPacket) {
        av_packet_unref(m_pkt);
        m_hasPacket = false;
    }
}

// Seeks to a key frame at or before frame (target - extraFrames), allowing for the pictures a
// decoder with B-frames holds back.
void FrameDecoder::SeekBefore(int64_t target, int64_t extraFrames) {
    const int64_t k = target - (m_dec->has_b_frames + 1) - extraFrames;
    int64_t ts = 0;
    if (k <= 0 || m_decodeOrder || !m_fmt ||
        __builtin_add_overflow(
            m_firstTs,
            av_rescale_q(k, AVRational{m_fpsDen, m_fpsNum}, AVRational{m_tbNum, m_tbDen}), &ts) ||
        av_seek_frame(m_fmt, m_stream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
        RewindToStart();
        return;
    }
    ResetAfterSeek();
    m_fromStart = false;
}

void FrameDecoder::RewindToStart(bool reopen) {
    int ret = -1;
    if (m_fmt && !reopen) {
        if (m_decodeOrder && !(m_fmt->iformat->flags & AVFMT_NO_BYTE_SEEK)) {
            // Pictures numbered as they come have no time stamp to seek by: back to the first
            // byte.
            ret = av_seek_frame(m_fmt, -1, 0, AVSEEK_FLAG_BYTE);
        }
        if (ret < 0) {
            // A byte seek would break AVI, so go by time stamps to the very first packet.
            ret = av_seek_frame(m_fmt, m_stream, m_firstDts, AVSEEK_FLAG_BACKWARD);
        }
        if (ret < 0) {
            ret = avformat_seek_file(m_fmt, m_stream, INT64_MIN, m_firstDts, m_firstDts, 0);
        }
    }
    ResetAfterSeek();
    // Demuxers whose seeks land elsewhere (time codes that go backwards, a damaged index, a
    // single picture) would number the pictures after it from the wrong place.
    m_fromStart = (ret >= 0 && AtFirstPacket()) || Reopen();
    m_decoded = 0;
    // From the first packet every picture counts, key or not, as it did at opening.
    m_needKey = false;
    // And a decoder as fresh as at opening: what one learned of a damaged stream (a flag it
    // corrected, a size it guessed) would make the same pictures come out otherwise. Should
    // none be had, the old one goes on.
    if (m_fromStart) {
        OpenDecoder();
    }
}

bool FrameDecoder::AtFirstPacket() {
    for (;;) {
        if (av_read_frame(m_fmt, m_pkt) < 0) {
            return false;
        }
        if (m_pkt->stream_index == m_stream) {
            break;
        }
        av_packet_unref(m_pkt);
    }
    // Decoded first, as it would have been without the look.
    m_hasPacket = true;
    if (m_firstPacketPos >= 0 && m_pkt->pos >= 0) {
        return m_pkt->pos == m_firstPacketPos;
    }
    const int64_t ts = m_pkt->dts != AV_NOPTS_VALUE ? m_pkt->dts : m_pkt->pts;
    return m_firstPacketTs != AV_NOPTS_VALUE && ts == m_firstPacketTs;
}

bool FrameDecoder::Reopen() {
    DropPacket();
    avformat_close_input(&m_fmt);
    if (!IsRegularFile(m_path) ||
        avformat_open_input(&m_fmt, FileUrl(m_path).c_str(), nullptr, nullptr) < 0) {
        m_fmt = nullptr;
        return false;
    }
    if (avformat_find_stream_info(m_fmt, nullptr) < 0 ||
        m_stream >= static_cast<int>(m_fmt->nb_streams) ||
        m_fmt->streams[m_stream]->codecpar->codec_id != m_dec->codec_id) {
        avformat_close_input(&m_fmt);
        return false;
    }
    KeepOnlyStream(m_fmt, m_stream);
    return true;
}

bool FrameDecoder::Deliver(const AVFrame* frame, const PictureRows& target, const RowsSink& sink) {
    const int pitch = 3 * Width();
    PictureRows rows = target;
    // A target whose rows would overlap, or whose pitch the converter cannot take, is not
    // written; the picture goes into the decoder's own buffer instead.
    if (!rows.top || rows.pitch > INT_MAX || rows.pitch < -INT_MAX ||
        (rows.pitch < pitch && rows.pitch > -pitch)) {
        // Bottom-up: the top row is the last one.
        rows.top = m_picture.data() + static_cast<size_t>(pitch) * (Height() - 1);
        rows.pitch = -pitch;
    }
    // The picture as stored, in 24-bit rows: the frame's own when it has that form already.
    const uint8_t* stored = frame->data[0];
    ptrdiff_t storedPitch = frame->linesize[0];
    if (frame->format != AV_PIX_FMT_BGR24 || frame->width != m_width || frame->height != m_height) {
        m_sws = sws_getCachedContext(m_sws, frame->width, frame->height,
                                     static_cast<AVPixelFormat>(frame->format), m_width, m_height,
                                     AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_sws) {
            return false;
        }
        // The converter writes each row where the rows say, so a bottom-up buffer is written
        // from its last row with a negative pitch. A width the converter's blocks do not
        // divide, and a picture to be turned, go through padded rows first.
        const bool padded = !m_scratch.empty();
        uint8_t* dst[4] = {padded ? m_scratch.data() : rows.top, nullptr, nullptr, nullptr};
        int dstStride[4] = {static_cast<int>(padded ? m_scratchPitch : rows.pitch), 0, 0, 0};
        sws_scale(m_sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
        if (!padded) {
            sink(rows);
            return true;
        }
        stored = m_scratch.data();
        storedPitch = m_scratchPitch;
    }
    TurnUpright(stored, storedPitch, m_width, m_height, m_orientation, rows.top, rows.pitch);
    sink(rows);
    return true;
}

HRESULT FrameDecoder::DecodeFrame(int64_t n, const Sink& sink) {
    return DecodeFrameInto(n, PictureRows{},
                           [&](const PictureRows&) { sink(m_picture.data(), m_picture.size()); });
}

HRESULT FrameDecoder::DecodeFrameInto(int64_t n, const PictureRows& target, const RowsSink& sink) {
    if (!m_dec || n < 0 || n >= m_frameCount) {
        return S_FALSE;
    }
    if (n == m_lastIndex) {
        // Asked again at once: the picture is still held.
        return DeliverHeld(n, target, sink);
    }
    // Pictures numbered by decode order are reached only by decoding on: any frame ahead is
    // decoded on to, any other is counted again from the start.
    if (!(m_positioned && n > m_lastIndex &&
          (m_decodeOrder || n <= m_lastIndex + kDecodeOnFrames))) {
        SeekBefore(n, 0);
    }
    FrameSearch search;
    search.n = n;
    search.gotAny = m_hasHeld;
    for (;;) {
        int64_t index = 0;
        const int ret = NextNumberedPicture(&index);
        if (ret == kPassedOver) {
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF) {
                return ret;
            }
            if (RetryAtEnd(&search)) {
                continue;
            }
            return S_FALSE;
        }
        if (index <= n) {
            // The decoded picture stays held (the decoder's pool just keeps one buffer more),
            // so a gap after it shows it again wherever that grab's picture goes.
            av_frame_unref(m_held);
            av_frame_move_ref(m_held, m_work);
            m_hasHeld = true;
            m_lastIndex = -1;
            search.gotAny = true;
            if (index < n) {
                continue;
            }
            return DeliverHeld(n, target, sink);
        }
        // Past the target: a gap in the time stamps, so the picture shown at frame n is the
        // one before it.
        if (m_hasHeld) {
            av_frame_move_ref(m_pending, m_work);
            m_hasPending = true;
            return DeliverHeld(n, target, sink);
        }
        av_frame_unref(m_work);
        if (!RetryEarlier(&search, n <= m_maxKnown)) {
            m_positioned = false;
            return S_FALSE;
        }
    }
}

HRESULT FrameDecoder::DeliverHeld(int64_t n, const PictureRows& target, const RowsSink& sink) {
    // Frame n is where the decoder stands once it is delivered; a gap after it shows it again.
    m_lastIndex = n;
    return Deliver(m_held, target, sink) ? S_OK : E_FAIL;
}

int FrameDecoder::NextNumberedPicture(int64_t* index) {
    if (m_hasPending) {
        av_frame_move_ref(m_work, m_pending);
        m_hasPending = false;
    } else {
        const int ret = ReceiveNext(m_work);
        if (ret < 0) {
            m_positioned = false;
            av_frame_unref(m_work);
            return ret;
        }
    }
    if (m_needKey) {
        // After a seek the pictures before the first key frame lack their references.
        if (!m_work->key_frame) {
            av_frame_unref(m_work);
            return kPassedOver;
        }
        m_needKey = false;
    }
    if (!IndexOf(m_work, index)) {
        av_frame_unref(m_work);
        return kPassedOver;
    }
    return 0;
}

bool FrameDecoder::RetryAtEnd(FrameSearch* search) {
    // An end before a frame known to be there is not the file's.
    const bool belied = search->n <= m_maxKnown || m_maxSeen < m_maxKnown;
    if ((!search->gotAny || belied) && RetryEarlier(search, belied)) {
        return true;
    }
    NoteEndOfStream(search->n);
    return false;
}

// Farther back from the target each time a seek lands past it, or the stream ends before a
// frame known to be there: 2 s, 8 s, 32 s, then the start of the stream, before which there is
// nothing. A frame known to be there (or an end before one) and still not found is looked for
// once more in the file opened again: a damaged file may read on after a seek otherwise than it
// did from its opening.
bool FrameDecoder::RetryEarlier(FrameSearch* search, bool known) {
    if (m_fromStart || search->attempt >= 4) {
        if (search->reopened || !known) {
            return false;
        }
        search->reopened = true;
        RewindToStart(true);
    } else if (++search->attempt == 4) {
        RewindToStart();
    } else {
        // Whole frames a second, plus one.
        const int64_t fps = m_fpsNum / (m_fpsDen > 0 ? m_fpsDen : 1) + 1;
        int64_t back = 2 * fps;
        for (int i = 1; i < search->attempt; ++i) {
            back *= 4;
        }
        SeekBefore(search->n, back);
    }
    search->gotAny = false;
    return true;
}

} // namespace media
