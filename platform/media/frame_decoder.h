// Synchronous access to the pictures of one video stream by frame number: frame N is the Nth
// picture presented. Every delivered picture is 24-bit blue-green-red: in the decoder's own
// buffer the bottom row first, rows of exactly 3 * width bytes; or in rows the caller names.
// Pictures are delivered upright, turned as the stream's display matrix asks (a portrait phone
// video stored as landscape pictures), and the size given is the upright one.
//
// How pictures are numbered, one rule for every container, decided at opening: by time, frame n
// is the picture whose time stamp, counted from the first picture's at the stream's rate, rounds
// to n, and a number no picture falls on shows the picture before it; the count reaches the last
// picture. Where numbering by time would put two pictures on one number, give a picture a number
// below the first, or reach four times as far as there are pictures (a jump in the time stamps,
// not a variable rate), or the stream has no time stamps or they start again, frame n is the nth
// picture presented instead (decode order) and the count is the number of pictures. So every
// picture the file holds is delivered, the last included, and none is passed over. The time
// stamps are read from the container's index where it lists every picture the header counts
// (the MP4 sample table, the AVI index: nothing more is decoded or read for it), else from a pass
// over the packets where the header states no count; a count stated without such an index is
// taken as it is, with the pictures numbered by time.
//
// A picture that was not decoded is never delivered (its grab fails): one the decoder wrote no
// pixel of, or one decoded from what the end of the file cut short (the file ends a few packets
// after one the demuxer marked damaged), and the count then ends before it. A picture the
// decoder concealed inside the file, partly from an earlier one, is delivered as it came.
#pragma once

#include "platform/media/orientation.h"
#include "platform/media/status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVIndexEntry;
struct AVPacket;
struct SwsContext;

namespace media {

enum class MajorType { Video, Audio, Other };

// Where the rows of a 24-bit picture lie: row y, counted from the top, starts at top + y * pitch.
// The pitch may be negative (the bottom row first in memory).
struct PictureRows {
    uint8_t* top = nullptr;
    ptrdiff_t pitch = 0;
};

class FrameDecoder {
public:
    using Sink = std::function<void(const uint8_t* picture, size_t bytes)>;
    // Told where the delivered picture's rows are.
    using RowsSink = std::function<void(const PictureRows& rows)>;

    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Opens the container (path in UTF-8). Nothing is decoded yet. Anything but a regular file
    // (a FIFO, a device, a folder) is refused before it is opened: reading one could block for
    // ever.
    HRESULT OpenFile(const std::string& path);
    int StreamCount() const;
    // Attached pictures (cover art) do not count as video.
    MajorType StreamType(int stream) const;
    // Opens the decoder of one video stream and decodes its first picture for the true size
    // and first time stamp; counts the frames. Fails for a stream that cannot be decoded.
    HRESULT OpenStream(int stream);

    // The size of the delivered, upright pictures.
    int Width() const { return UprightWidth(m_orientation, m_width, m_height); }
    int Height() const { return UprightHeight(m_orientation, m_width, m_height); }
    // The announced count, lowered to the real one once decoding found the file's end before
    // it; never below a frame once decoded. Pictures numbered by time count to the last one.
    int64_t FrameCount() const { return m_frameCount; }
    // True once the count was lowered so.
    bool CountCorrected() const { return m_countCorrected; }
    // Pictures are numbered by the order they come out of the decoder, counted from the start
    // of the stream: the stream has no time stamps, they start again somewhere, or numbers by
    // time would hide pictures or leave vast gaps.
    // Such pictures are found again from the key pictures whose numbers are known: those of the
    // container's index when its pictures come out in the order it lists them, else every one
    // met while decoding.
    bool NumbersByDecodeOrder() const { return m_decodeOrder; }
    // Frames per second as a fraction, within sane bounds (a rate outside them is replaced).
    int FpsNum() const { return m_fpsNum; }
    int FpsDen() const { return m_fpsDen; }

    // Delivers frame n through the sink. S_OK when delivered, S_FALSE when the frame does not
    // exist (n < 0, n >= count, past the real end), negative on a decoding failure.
    HRESULT DecodeFrame(int64_t n, const Sink& sink);
    // The same, but the picture is converted straight into the rows of target (rows of at least
    // 3 * width bytes, height of them), sparing a reader who keeps the picture anyway a copy.
    // Without a target (top null) it goes into the decoder's own bottom-up buffer. The target
    // is written only when a picture is delivered.
    HRESULT DecodeFrameInto(int64_t n, const PictureRows& target, const RowsSink& sink);
    // How many seeks the decoder has made, for tests of the decode-on rule.
    int64_t SeekCount() const { return m_seekCount; }
    // How many pictures came out of the decoder, for tests of how far back a grab starts.
    int64_t PicturesDecoded() const { return m_picturesDecoded; }

private:
    // A key picture of a stream numbered by decode order: its number, and where the demuxer
    // finds its packet (the position in the file, -1 unknown; the time stamp).
    struct KeyPicture {
        int64_t number = 0;
        int64_t pos = -1;
        int64_t ts = 0;
    };
    // One search for a frame: how far back it has gone and what it has found.
    struct FrameSearch {
        int64_t n = 0;
        int attempt = 0;
        bool reopened = false;
        bool gotAny = false;
        bool fromStart = false; // gone back to the start for a picture not decoded
    };
    // NextNumberedPicture's result for a picture passed over.
    static constexpr int kPassedOver = 1;

    void Close();
    // The first picture, kept pending: the true size, the first time stamp and the numbering.
    HRESULT DecodeFirstPicture();
    // From the header, else a pass over the packets, else the duration; at most INT32_MAX.
    int64_t CountFrames();
    HRESULT SizePictureBuffers();
    int ReceiveNext(AVFrame* out);
    bool IndexOf(const AVFrame* frame, int64_t* index);
    // A new decoder for the stream, in place of the one there is.
    HRESULT OpenDecoder();
    // The count of a stream whose header has none, from a pass over its packets; decides the
    // numbering too.
    int64_t CountPackets(int stream);
    // The count of a stream whose index lists every picture, from the index; decides the
    // numbering too. False when the index does not list them all.
    bool CountIndexed(int64_t stated, int64_t* count);
    // Decides the numbering from the pictures' presentation times (in any order; first: the
    // time that is frame 0) and gives the count.
    int64_t NumberByTimes(std::vector<int64_t> times, int64_t first, int64_t pictures);
    // Pictures numbered by decode order that come out as the index lists them: numbered by
    // their packets' place in it, and found again from its key pictures.
    void NumberByIndex(const std::vector<const AVIndexEntry*>& entries);
    void SeekBefore(int64_t target, int64_t extraFrames);
    // Puts the decoder where frame n is reached soonest: where it stands, at a key picture
    // before n, or at a seek.
    void PositionFor(int64_t n);
    // The last key picture numbered at or before n; null none.
    const KeyPicture* KeyAtOrBefore(int64_t n) const;
    // Decoding goes on from the key picture: checked, as a rewind is, unless the numbers come
    // from the packets' places; a key that is not found where it was is forgotten and the
    // stream decoded from its start instead.
    void JumpToKey(KeyPicture key);
    // Reads on from where a seek landed to the key picture's packet, kept to be decoded first;
    // false when it is not met.
    bool ReadOnToKey(const KeyPicture& key);
    void LearnKey(const AVFrame* frame, int64_t number);
    void ForgetKey(int64_t number);
    // Whether a packet, or the picture decoded from it, found at pos with time stamp ts is the
    // key picture's.
    static bool AtKey(int64_t pos, int64_t ts, const KeyPicture& key);
    // The number of the packet a picture came from, by its place in the index; false when it
    // is not there.
    bool PlaceInIndex(const AVFrame* frame, int64_t* index) const;
    // Back to the stream's first packet, checked: a seek that lands elsewhere is mended by
    // opening the file again, as is done at once with reopen. m_fromStart tells whether either
    // got there.
    void RewindToStart(bool reopen = false);
    bool AtFirstPacket();
    // Reads the stream's next packet into m_pkt, to be decoded before any other; false at the
    // end.
    bool ReadNextPacket();
    // Near a packet marked damaged: the file was cut short there when it ends a few packets
    // later.
    void NoteIfCutShort();
    // The picture came out of the decoder once the file was known to be cut short.
    static bool CutShort(const AVFrame* frame);
    // A picture not decoded: the decoder wrote no pixel of it, or it was cut short.
    static bool Undecoded(const AVFrame* frame);
    // Frame n was not decoded: when it was cut short, or nothing follows it, the file ends
    // before it.
    void LookPastUndecoded(int64_t n);
    bool Reopen();
    // Forgets the packets read ahead.
    void DropPacket();
    void ResetAfterSeek();
    // False when the picture could not be converted.
    bool Deliver(const AVFrame* frame, const PictureRows& target, const RowsSink& sink);
    // Delivers m_held as frame n.
    HRESULT DeliverHeld(int64_t n, const PictureRows& target, const RowsSink& sink);
    // The next picture in m_work with its number: 0; kPassedOver when it has none or lacks its
    // references; ReceiveNext's failure.
    int NextNumberedPicture(int64_t* index);
    // The frame's picture came out undecoded after a seek where it was delivered before: the
    // decoder carried over what it learned elsewhere in a damaged stream (the tables of a JPEG
    // picture that lacks its own). True when the search goes on from the start, as decoding
    // from the opening does.
    bool RetryFromStart(FrameSearch* search);
    // The stream ended during the search: true when it goes on from farther back.
    bool RetryAtEnd(FrameSearch* search);
    // Positions the decoder farther back for the search; false when nothing is left to try.
    // known: the frame is known to be in the file.
    bool RetryEarlier(FrameSearch* search, bool known);
    // The end of the stream met while looking for frame n: frames past the last one ever seen
    // do not exist.
    void NoteEndOfStream(int64_t n);

    AVFormatContext* m_fmt = nullptr;
    AVCodecContext* m_dec = nullptr;
    SwsContext* m_sws = nullptr;
    AVPacket* m_pkt = nullptr;
    AVFrame* m_work = nullptr;
    // The last picture at or before the frame asked for: the one shown over a gap in the time
    // stamps.
    AVFrame* m_held = nullptr;
    AVFrame* m_pending = nullptr; // decoded but not yet looked at
    bool m_hasHeld = false;
    bool m_hasPending = false;
    // A packet read while checking a rewind, sent to the decoder before any other.
    bool m_hasPacket = false;
    // The packet after one near a packet marked damaged, read to learn whether the file ends
    // there.
    AVPacket* m_nextPkt = nullptr;
    bool m_hasNextPacket = false;
    // Packets read since the last one the demuxer marked damaged; -1 none lately.
    int m_sinceDamaged = -1;
    // The file ended a few packets after a damaged one: it was cut short there, and what the
    // decoder gives out from then on was decoded from what was left.
    bool m_cutTail = false;
    // m_held was not decoded: it is never delivered, nor shown over a gap after it.
    bool m_heldUndecoded = false;
    std::string m_path;
    int m_stream = -1;
    // The pictures' size as decoded; turned upright on delivery as m_orientation says.
    int m_width = 0;
    int m_height = 0;
    Orientation m_orientation;
    int64_t m_frameCount = 0;
    bool m_countCorrected = false;
    bool m_decodeOrder = false;
    // Pictures out of the decoder since the last rewind, in decode-order numbering.
    int64_t m_decoded = 0;
    // The highest index seen since the decoder was last positioned; -1 none.
    int64_t m_maxSeen = -1;
    // The highest number a picture decoded since the stream was opened was given (or a frame
    // delivered), but for pictures cut short: frames up to it are in the file. -1 none.
    int64_t m_maxKnown = -1;
    // The decoder is positioned by decoding on from the stream's first packet, not by a seek:
    // where the stream ends, it really ends.
    bool m_fromStart = false;
    int m_fpsNum = 25;
    int m_fpsDen = 1;
    int m_tbNum = 1;
    int m_tbDen = 25;
    int64_t m_firstTs = 0;
    int64_t m_firstDts = 0;
    // The stream's first packet as it was read at opening: where a rewind must land.
    bool m_sawFirstPacket = false;
    int64_t m_firstPacketPos = -1;
    int64_t m_firstPacketTs = 0;
    bool m_positioned = false; // decoding on from m_lastIndex needs no seek
    // The frame m_held was last delivered as; -1 when it holds no such picture (none delivered
    // since the decoder was positioned, or another picture decoded into it since).
    int64_t m_lastIndex = -1;
    int64_t m_prevIndex = -1; // index of the last decoded picture; -1 unknown
    bool m_needKey = false;
    bool m_flushed = false;
    int64_t m_seekCount = 0;
    int64_t m_picturesDecoded = 0;
    // The frames delivered since the stream was opened.
    std::vector<bool> m_delivered;
    // Key pictures by rising number (decode order only).
    std::vector<KeyPicture> m_keys;
    // Pictures numbered by their packets' places in the index: the positions of those packets,
    // rising. Empty: not so numbered.
    std::vector<int64_t> m_indexPos;
    // The numbers of the pictures decoded since the decoder was last positioned are those from
    // the start of the stream (decode order).
    bool m_numbersTrusted = false;
    // The first key picture after a jump must be this one.
    bool m_checkKey = false;
    KeyPicture m_expectedKey;
    std::vector<uint8_t> m_picture;
    // Where the converter writes when the picture's width is not a multiple of its block, or
    // the picture is to be turned: rows padded to whole blocks, copied or turned out from there.
    std::vector<uint8_t> m_scratch;
    ptrdiff_t m_scratchPitch = 0;
};

} // namespace media
