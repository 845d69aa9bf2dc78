#pragma once
// Takes apart what a PNA server sends after the hello: the reply that tells its kind, the
// stream header (RealAudio from servers of PNA version 8 and 5, RealMedia chunks from
// version 10), then the packets of the stream type with their filler blocks, up to the end
// marker. It never reads a socket: it is fed bytes as they arrive, keeps what is not yet
// whole, and reports what the bytes complete as events. Every decision rests on the bytes
// alone, never on where a read ended, so the events are the same however the bytes were
// split across reads (only the dump of a malformed first RealAudio packet shows what had
// arrived of it, up to 64 bytes). The header takes at most kMaxHeader bytes and is read
// once: a read continues where the previous one stopped.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vireo {

struct PnaEvent {
    enum class Kind {
        Log,             // text, logKind
        Busy,            // the server is busy; nothing follows
        RealAudioHeader, // bytes: the header; pnaVersion 8 or 5
        RealMediaHeader, // chunks: the header chunks in order
        ServerMessage,   // text; nothing follows
        Packet,          // bytes: the payload; RealMedia also timestamp, stream, flags
        Filler,          // a filler block "a"
        End,             // the end marker; nothing follows
        Failure,         // code, bytes: what to dump (may be empty); nothing follows
        HeaderTooLarge,  // no header within kMaxHeader bytes; nothing follows
    };

    Kind kind = Kind::Log;
    std::string text;
    char logKind = 0;
    std::string bytes;
    std::vector<std::string> chunks;
    int pnaVersion = 0;
    int code = 0;
    int streamType = 0; // packets: the framing they came in
    uint32_t timestamp = 0;
    uint16_t stream = 0;
    uint8_t flags = 0;

    bool operator==(const PnaEvent&) const = default;

    static PnaEvent Of(Kind kind) {
        PnaEvent e;
        e.kind = kind;
        return e;
    }
    static PnaEvent LogLine(std::string text, char logKind) {
        PnaEvent e;
        e.text = std::move(text);
        e.logKind = logKind;
        return e;
    }
};

class PnaStreamParser {
public:
    // The reply is judged once it holds more than this many bytes.
    static constexpr size_t kReplyHead = 20;
    // Bytes after a RealAudio header from a version 8 server before the stream data.
    static constexpr size_t kRealAudioGap = 72;
    // The block that ends a RealMedia header.
    static constexpr size_t kEndBlock = 72;
    // The first RealMedia chunk id lies wholly within this many bytes of the reply's start
    // (servers send it right after the 25-byte reply); a reply without one there is not a
    // RealMedia header.
    static constexpr size_t kMaxPreamble = 512;
    // Header chunks are small; a larger size is not a header chunk.
    static constexpr uint32_t kMaxChunk = 1 << 20;
    // The most the reply and stream header may take. A RealAudio header is at most 64 KiB
    // by its 16-bit length; a RealMedia header is a few chunks of some hundred bytes each
    // (tens of KiB with many streams and long texts), and no header chunk exceeds
    // kMaxChunk. A server that sends more without ending its header is not recorded.
    static constexpr size_t kMaxHeader = kMaxChunk;
    static constexpr int kCorrupted = -8;

    void Reset() { *this = PnaStreamParser(); }
    // Takes the next bytes received and appends the events they complete.
    void Feed(std::string_view data, std::vector<PnaEvent>& events);

    // 0 until the reply is judged; then 11, 12, 17, and 20 or 90 once the RealMedia packet
    // framing is known.
    int StreamType() const { return m_streamType; }
    bool HeaderDone() const { return m_phase == Phase::Packets || m_phase == Phase::Ended; }
    bool Ended() const { return m_phase == Phase::Ended; }
    size_t HeaderBuffered() const { return m_header.size(); }
    // Bytes the header step has looked at so far: each received byte a bounded number of
    // times, however the reads fall.
    size_t HeaderWork() const { return m_work; }
    size_t PacketsBuffered() const { return m_packets.size() - m_pos; }

private:
    enum class Phase { Reply, Packets, Ended };

    void ParseReply(std::vector<PnaEvent>& events);
    void RealAudioReply(int pnaVersion, std::vector<PnaEvent>& events);
    void RealMediaReply(std::vector<PnaEvent>& events);
    // Looks for the first chunk id in the preamble; false while it is not found (also when
    // the reply failed for want of one).
    bool FindFirstChunk(std::vector<PnaEvent>& events);
    // The header buffer as the header step sees it: its first kMaxHeader bytes.
    std::string_view Header() const { return std::string_view(m_header).substr(0, kMaxHeader); }
    // The header is complete and the stream data begins at rest of the header buffer.
    void StartPackets(size_t rest, std::vector<PnaEvent>& events);
    void RealAudioPackets(std::vector<PnaEvent>& events);
    void RealMediaPackets(std::vector<PnaEvent>& events);
    void Fail(std::string dump, std::vector<PnaEvent>& events);
    void Stop(PnaEvent::Kind kind, std::vector<PnaEvent>& events);
    size_t Available() const { return m_packets.size() - m_pos; }
    uint8_t At(size_t i) const { return uint8_t(m_packets[m_pos + i]); }

    Phase m_phase = Phase::Reply;
    int m_streamType = 0;
    std::string m_header; // everything received while the header is incomplete
    // The RealMedia header walk, kept between reads: where the preamble search goes on,
    // the chunks taken, where the next one starts (npos before the first one is found).
    size_t m_searched = 0;
    std::vector<std::pair<size_t, size_t>> m_chunks;
    size_t m_walk = std::string::npos;
    size_t m_work = 0;
    std::string m_packets; // stream bytes not yet taken as whole packets, from m_pos
    size_t m_pos = 0;
    size_t m_skip = 0; // bytes still to pass over before the stream data
    bool m_firstPacket = true;
};

} // namespace vireo
