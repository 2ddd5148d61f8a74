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

// Every new picture buffer starts with these bytes in its first row, where every decoder we
// know writes first: a picture that still holds them was not written at all (a damaged JPEG
// whose scan is lost comes out as the buffer's last contents, another frame's picture).
constexpr uint8_t kUnwritten[] = {0x13, 0xF1, 0x07, 0xE5, 0x29, 0xD3, 0x3B, 0xC7};
// Fewer marked bytes would match real pictures too often.
constexpr int kMinUnwritten = 4;

// The bytes of the first row of the first plane the mark covers; 0 when it is too narrow.
int MarkedBytes(const AVFrame* frame) {
    const int row =
        av_image_get_linesize(static_cast<AVPixelFormat>(frame->format), frame->width, 0);
    const int bytes = std::min(row, static_cast<int>(sizeof kUnwritten));
    return frame->data[0] && bytes >= kMinUnwritten && frame->linesize[0] >= bytes ? bytes : 0;
}

int MarkedBuffer(AVCodecContext* dec, AVFrame* frame, int flags) {
    const int ret = avcodec_default_get_buffer2(dec, frame, flags);
    const int bytes = ret >= 0 ? MarkedBytes(frame) : 0;
    if (bytes > 0) {
        std::memcpy(frame->data[0], kUnwritten, bytes);
    }
    return ret;
}

bool Unwritten(const AVFrame* frame) {
    const int bytes = MarkedBytes(frame);
    return bytes > 0 && std::memcmp(frame->data[0], kUnwritten, bytes) == 0;
}

// Marks a picture that came out of the decoder once the file was known to be cut short.
char kCutShort;
// A file that ends within this many packets after one the demuxer marked damaged was cut short
// at that one: the pictures decoded from there on lack their data (a picture cut short, the
// pictures after it concealed from older ones).
constexpr int kTailPackets = 4;

// Frames remembered as delivered, at most: beyond them a picture not decoded after a seek is
// taken as it came.
constexpr int64_t kMaxRemembered = int64_t{1} << 24;

// Key pictures remembered at most: beyond it a hostile file would fill the memory.
constexpr size_t kMaxKeys = 1 << 18;
// Packets read on, without decoding, from where a seek lands to a key picture's: a demuxer
// lands at its own index points (clusters, cue points) before it.
constexpr int kMaxPacketsToKey = 4096;

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
    av_packet_free(&m_nextPkt);
    avcodec_free_context(&m_dec);
    avformat_close_input(&m_fmt);
    m_hasHeld = m_hasPending = m_hasPacket = m_hasNextPacket = false;
    m_heldUndecoded = false;
    m_sinceDamaged = -1;
    m_cutTail = false;
    m_keys.clear();
    m_indexPos.clear();
    m_delivered.clear();
    m_checkKey = false;
    m_numbersTrusted = false;
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
    m_nextPkt = av_packet_alloc();
    m_work = av_frame_alloc();
    m_held = av_frame_alloc();
    m_pending = av_frame_alloc();
    if (!m_pkt || !m_nextPkt || !m_work || !m_held || !m_pending) {
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
    m_numbersTrusted = true;
    return S_OK;
}

int64_t FrameDecoder::CountFrames() {
    const AVStream* st = m_fmt->streams[m_stream];
    const AVRational framesPerUnit = av_inv_q(AVRational{m_fpsNum, m_fpsDen});
    int64_t count = st->nb_frames;
    if (count <= 0) {
        count = CountPackets(m_stream);
    } else {
        CountIndexed(count, &count);
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
        dec->get_buffer2 = MarkedBuffer;
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
    return NumberByTimes(std::move(survey.times), m_firstTs, survey.packets);
}

bool FrameDecoder::CountIndexed(int64_t stated, int64_t* count) {
    AVStream* st = m_fmt->streams[m_stream];
    const int entries = avformat_index_get_entries_count(st);
    if (entries != stated) {
        return false;
    }
    // Pictures an edit list leaves out are decoded but never come out of the decoder.
    std::vector<const AVIndexEntry*> shown;
    std::vector<int64_t> times;
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (!e) {
            return false;
        }
        if (!(e->flags & AVINDEX_DISCARD_FRAME)) {
            shown.push_back(e);
            times.push_back(e->timestamp);
        }
    }
    if (times.empty()) {
        return false;
    }
    // The index's times are the decode times: the same spacing as the presentation times, which
    // are later by the pictures a decoder holds back.
    const int64_t first = *std::min_element(times.begin(), times.end());
    *count = NumberByTimes(std::move(times), first, static_cast<int64_t>(shown.size()));
    if (m_decodeOrder) {
        NumberByIndex(shown);
    }
    return true;
}

int64_t FrameDecoder::NumberByTimes(std::vector<int64_t> times, int64_t first, int64_t pictures) {
    std::vector<int64_t>& numbers = times;
    if (m_decodeOrder || numbers.empty()) {
        return pictures;
    }
    // Numbered by time, the numbers reach the last picture's time: a stream that leaves
    // pictures out (a variable rate) has more numbers than pictures, each gap showing the
    // picture before it. Two pictures on one number would hide one of them, and a picture
    // before the first would never be shown: such a stream is numbered by decode order, as is
    // one whose numbers are nearly all gaps.
    for (int64_t& t : numbers) {
        int64_t sinceFirst = 0;
        if (!Difference(t, first, &sinceFirst)) {
            m_decodeOrder = true;
            return pictures;
        }
        t = av_rescale_q(sinceFirst, AVRational{m_tbNum, m_tbDen}, AVRational{m_fpsDen, m_fpsNum});
    }
    std::sort(numbers.begin(), numbers.end());
    if (numbers.front() < 0 ||
        std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end() ||
        numbers.back() / kMaxNumbersPerPicture >= pictures) {
        m_decodeOrder = true;
        return pictures;
    }
    return std::max(pictures, numbers.back() + 1);
}

void FrameDecoder::NumberByIndex(const std::vector<const AVIndexEntry*>& entries) {
    // Only a decoder that holds no picture back gives them out in the index's order, and only
    // positions that rise tell each packet's place at once.
    const AVStream* st = m_fmt->streams[m_stream];
    if (m_dec->has_b_frames > 0 || st->codecpar->video_delay > 0 ||
        m_pending->pkt_pos != entries.front()->pos) {
        return;
    }
    std::vector<int64_t> pos;
    std::vector<KeyPicture> keys;
    for (const AVIndexEntry* e : entries) {
        if (e->pos < 0 || (!pos.empty() && e->pos <= pos.back())) {
            return;
        }
        if ((e->flags & AVINDEX_KEYFRAME) && keys.size() < kMaxKeys) {
            keys.push_back(KeyPicture{static_cast<int64_t>(pos.size()), e->pos, e->timestamp});
        }
        pos.push_back(e->pos);
    }
    m_indexPos = std::move(pos);
    m_keys = std::move(keys);
}

// 0 and a picture in out; AVERROR_EOF once the stream is exhausted; another negative value
// when the decoder fails. A packet the decoder refuses is skipped: a damaged spot in the file
// costs the pictures that depend on it, not the rest of the file. The first time stamp the
// stream's packets carry is kept as the place to rewind to.
int FrameDecoder::ReceiveNext(AVFrame* out) {
    for (;;) {
        int ret = avcodec_receive_frame(m_dec, out);
        if (ret == 0) {
            ++m_picturesDecoded;
            if (m_cutTail) {
                out->opaque = &kCutShort;
            }
            return ret;
        }
        if (ret == AVERROR_EOF) {
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
            if (m_pkt->flags & AV_PKT_FLAG_CORRUPT) {
                m_sinceDamaged = 0;
            } else if (m_sinceDamaged >= 0 && ++m_sinceDamaged > kTailPackets) {
                m_sinceDamaged = -1;
            }
            if (m_sinceDamaged >= 0) {
                NoteIfCutShort();
            }
            avcodec_send_packet(m_dec, m_pkt);
        }
        av_packet_unref(m_pkt);
        if (m_hasNextPacket) {
            av_packet_move_ref(m_pkt, m_nextPkt);
            m_hasNextPacket = false;
            m_hasPacket = true;
        }
    }
}

void FrameDecoder::NoteIfCutShort() {
    // Demuxers mark a packet damaged for many reasons (a transport stream's counters that jump
    // where two files were joined); only where the file ends right after it is it sure that
    // the pictures from there on lost their data.
    if (av_read_frame(m_fmt, m_nextPkt) >= 0) {
        m_hasNextPacket = true;
    } else {
        m_cutTail = true;
    }
}

bool FrameDecoder::CutShort(const AVFrame* frame) {
    return frame->opaque == &kCutShort;
}

bool FrameDecoder::Undecoded(const AVFrame* frame) {
    return CutShort(frame) || Unwritten(frame);
}

void FrameDecoder::LookPastUndecoded(int64_t n) {
    if (CutShort(m_held)) {
        // Nothing the decoder gives out after it was decoded whole.
        NoteEndOfStream(n);
        return;
    }
    if (m_hasPending) {
        return;
    }
    const int ret = ReceiveNext(m_pending);
    if (ret == 0) {
        m_hasPending = true;
        return;
    }
    av_frame_unref(m_pending);
    if (ret == AVERROR_EOF) {
        NoteEndOfStream(n);
    }
}

bool FrameDecoder::IndexOf(const AVFrame* frame, int64_t* index) {
    const int64_t ts = frame->best_effort_timestamp;
    int64_t sinceFirst = 0;
    if (!m_indexPos.empty()) {
        if (!PlaceInIndex(frame, index)) {
            return false;
        }
    } else if (m_decodeOrder) {
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
    return true;
}

bool FrameDecoder::PlaceInIndex(const AVFrame* frame, int64_t* index) const {
    const auto at = std::lower_bound(m_indexPos.begin(), m_indexPos.end(), frame->pkt_pos);
    if (at == m_indexPos.end() || *at != frame->pkt_pos) {
        return false;
    }
    *index = at - m_indexPos.begin();
    return true;
}

void FrameDecoder::NoteEndOfStream(int64_t n) {
    // Never below one frame: a file none of whose pictures was decoded keeps its first frame,
    // which delivers nothing.
    const int64_t real = std::max<int64_t>(m_maxKnown + 1, 1);
    if (m_maxSeen >= 0 && n > m_maxKnown && real < m_frameCount) {
        m_frameCount = real;
        m_countCorrected = true;
    }
}

void FrameDecoder::ResetAfterSeek() {
    avcodec_flush_buffers(m_dec);
    av_frame_unref(m_held);
    av_frame_unref(m_pending);
    DropPacket();
    m_hasHeld = m_hasPending = false;
    m_heldUndecoded = false;
    m_checkKey = false;
    m_sinceDamaged = -1;
    m_cutTail = false;
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
    if (m_hasNextPacket) {
        av_packet_unref(m_nextPkt);
        m_hasNextPacket = false;
    }
}

// Seeks to a key frame at or before frame (target - extraFrames), allowing for the pictures a
// decoder with B-frames holds back: to the last time stamp that is numbered so, so a key
// picture on that frame itself is found, not the one before it.
void FrameDecoder::SeekBefore(int64_t target, int64_t extraFrames) {
    const int64_t k = target - m_dec->has_b_frames - extraFrames;
    // Frame k ends before (k + 1/2) frame times: the last unit before it.
    const int64_t units = k > 0 && k < INT64_MAX / 2
                              ? av_rescale_rnd(2 * k + 1, int64_t{m_fpsDen} * m_tbDen,
                                               2 * int64_t{m_fpsNum} * m_tbNum, AV_ROUND_UP) -
                                    1
                              : 0;
    int64_t ts = 0;
    if (k <= 0 || m_decodeOrder || !m_fmt || units < 0 ||
        __builtin_add_overflow(m_firstTs, units, &ts) ||
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
    m_numbersTrusted = m_fromStart;
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

bool FrameDecoder::ReadNextPacket() {
    for (;;) {
        if (!m_fmt || av_read_frame(m_fmt, m_pkt) < 0) {
            return false;
        }
        if (m_pkt->stream_index == m_stream) {
            break;
        }
        av_packet_unref(m_pkt);
    }
    // Decoded first, as it would have been without the look.
    m_hasPacket = true;
    return true;
}

bool FrameDecoder::AtFirstPacket() {
    if (!ReadNextPacket()) {
        return false;
    }
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
    PositionFor(n);
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
            m_heldUndecoded = Undecoded(m_held);
            m_lastIndex = -1;
            search.gotAny = true;
            if (index < n) {
                continue;
            }
            if (m_heldUndecoded && RetryFromStart(&search)) {
                continue;
            }
            if (m_heldUndecoded) {
                LookPastUndecoded(n);
            }
            return DeliverHeld(n, target, sink);
        }
        // Past the target: a gap in the time stamps, so the picture shown at frame n is the
        // one before it.
        if (m_hasHeld && m_heldUndecoded && RetryFromStart(&search)) {
            av_frame_unref(m_work);
            continue;
        }
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
    if (m_heldUndecoded) {
        return AVERROR_INVALIDDATA;
    }
    // A frame delivered is in the file, even shown over a gap before a picture not decoded.
    m_maxKnown = std::max(m_maxKnown, n);
    if (n < kMaxRemembered) {
        if (m_delivered.size() <= static_cast<size_t>(n)) {
            m_delivered.resize(n + 1);
        }
        m_delivered[n] = true;
    }
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
        if (m_checkKey) {
            m_checkKey = false;
            if (!AtKey(m_work->pkt_pos, m_work->pts, m_expectedKey)) {
                av_frame_unref(m_work);
                ForgetKey(m_expectedKey.number);
                RewindToStart();
                return kPassedOver;
            }
        }
    }
    if (!IndexOf(m_work, index)) {
        av_frame_unref(m_work);
        return kPassedOver;
    }
    if (!CutShort(m_work)) {
        // Frames up to a picture are in the file, but for one its end cut short.
        m_maxKnown = std::max(m_maxKnown, *index);
    }
    if (m_work->key_frame && m_decodeOrder && m_numbersTrusted && m_indexPos.empty()) {
        LearnKey(m_work, *index);
    }
    return 0;
}

void FrameDecoder::PositionFor(int64_t n) {
    const bool ahead = m_positioned && n > m_lastIndex;
    if (!m_decodeOrder) {
        if (!ahead || n > m_lastIndex + kDecodeOnFrames) {
            SeekBefore(n, 0);
        }
        return;
    }
    // Pictures numbered by decode order are reached by decoding on: from where the decoder
    // stands when the frame is ahead, from the last key picture before it when that is nearer,
    // else from the start.
    const KeyPicture* key = KeyAtOrBefore(n);
    const int64_t standing = std::max(m_lastIndex, m_prevIndex);
    if (key && (!ahead || key->number > standing + kDecodeOnFrames)) {
        JumpToKey(*key);
    } else if (!ahead) {
        SeekBefore(n, 0);
    }
}

const FrameDecoder::KeyPicture* FrameDecoder::KeyAtOrBefore(int64_t n) const {
    const auto after =
        std::upper_bound(m_keys.begin(), m_keys.end(), n,
                         [](int64_t v, const KeyPicture& k) { return v < k.number; });
    return after == m_keys.begin() ? nullptr : &*(after - 1);
}

void FrameDecoder::JumpToKey(KeyPicture key) {
    ResetAfterSeek();
    m_fromStart = false;
    m_numbersTrusted = false;
    if (!m_indexPos.empty()) {
        // Each picture's number is its packet's place: wherever the seek lands.
        if (!m_fmt || av_seek_frame(m_fmt, m_stream, key.ts, AVSEEK_FLAG_BACKWARD) < 0) {
            RewindToStart();
        }
        return;
    }
    // As a rewind, by the packet's place where the pictures may have no time stamps to seek by
    // (and a byte seek does not lose the demuxer), else by the key's time stamp, which need not
    // be the only one of its value: the numbers go on from the key's only once its packet is
    // found where the decoder starts.
    const bool byBytes = key.pos >= 0 && m_fmt && !(m_fmt->iformat->flags & AVFMT_NO_BYTE_SEEK);
    const bool found =
        m_fmt &&
        ((byBytes && av_seek_frame(m_fmt, -1, key.pos, AVSEEK_FLAG_BYTE) >= 0 &&
          ReadOnToKey(key)) ||
         (av_seek_frame(m_fmt, m_stream, key.ts, AVSEEK_FLAG_BACKWARD) >= 0 && ReadOnToKey(key)));
    if (!found) {
        ForgetKey(key.number);
        RewindToStart();
        return;
    }
    m_decoded = key.number;
    m_numbersTrusted = true;
    m_checkKey = true;
    m_expectedKey = key;
}

bool FrameDecoder::ReadOnToKey(const KeyPicture& key) {
    // Without positions a time stamp may come again: only the packet landed on is taken.
    const int packets = key.pos >= 0 ? kMaxPacketsToKey : 1;
    for (int i = 0; i < packets && ReadNextPacket(); ++i) {
        if (AtKey(m_pkt->pos, m_pkt->pts, key)) {
            return true;
        }
        const bool past = m_pkt->pos > key.pos;
        DropPacket();
        if (past) {
            break;
        }
    }
    return false;
}

bool FrameDecoder::AtKey(int64_t pos, int64_t ts, const KeyPicture& key) {
    return pos >= 0 && key.pos >= 0 ? pos == key.pos : ts == key.ts;
}

void FrameDecoder::LearnKey(const AVFrame* frame, int64_t number) {
    if ((frame->pkt_pos < 0 && frame->pts == AV_NOPTS_VALUE) || m_keys.size() >= kMaxKeys) {
        return;
    }
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), number,
                                     [](const KeyPicture& k, int64_t v) { return k.number < v; });
    if (at == m_keys.end() || at->number != number) {
        m_keys.insert(at, KeyPicture{number, frame->pkt_pos, frame->pts});
    }
}

void FrameDecoder::ForgetKey(int64_t number) {
    m_keys.erase(std::remove_if(m_keys.begin(), m_keys.end(),
                                [&](const KeyPicture& k) { return k.number == number; }),
                 m_keys.end());
}

bool FrameDecoder::RetryFromStart(FrameSearch* search) {
    const bool delivered =
        search->n < static_cast<int64_t>(m_delivered.size()) && m_delivered[search->n];
    if (m_fromStart || search->fromStart || !delivered) {
        return false;
    }
    search->fromStart = true;
    search->gotAny = false;
    RewindToStart();
    return true;
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
