#include "protocols/PnaStreamParser.h"

#include "common/Endian.h"

#include <algorithm>
#include <array>

namespace vireo {

namespace {
constexpr size_t npos = std::string::npos;

uint16_t Be16(std::string_view b, size_t offset) {
    return ReadBE16(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}
uint32_t Be32(std::string_view b, size_t offset) {
    return ReadBE32(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}

constexpr std::string_view kHeaderChunks[] = {"MDPR", "PROP", "CONT", ".RMF",
                                              std::string_view("\0\0\x23\0", 4)};

bool IsHeaderChunk(std::string_view id) {
    return std::find(std::begin(kHeaderChunks), std::end(kHeaderChunks), id) !=
           std::end(kHeaderChunks);
}

// Whether bytes after a chunk (the first up to four of them) may begin another chunk of
// the header; anything else begins the stream data.
bool MayStartHeaderChunk(std::string_view prefix) {
    if (std::string_view("DATA").starts_with(prefix))
        return true;
    for (std::string_view id : kHeaderChunks) {
        if (id.starts_with(prefix))
            return true;
    }
    return false;
}
} // namespace

void PnaStreamParser::Feed(std::string_view data, std::vector<PnaEvent>& events) {
    if (m_phase == Phase::Ended)
        return;
    if (m_phase == Phase::Reply) {
        // One byte past the limit tells that the header did not end within it.
        size_t take = std::min(data.size(), kMaxHeader + 1 - m_header.size());
        m_header.append(data.substr(0, take));
        ParseReply(events);
        if (m_phase == Phase::Reply && m_header.size() > kMaxHeader) {
            m_header.clear();
            m_header.shrink_to_fit();
            return Stop(PnaEvent::Kind::HeaderTooLarge, events);
        }
        if (m_phase == Phase::Packets && take < data.size())
            Feed(data.substr(take), events);
        return;
    }
    m_packets.append(data);
    if (m_streamType == 11 || m_streamType == 12)
        RealAudioPackets(events);
    else
        RealMediaPackets(events);
    if (m_phase == Phase::Packets) {
        m_packets.erase(0, m_pos);
        m_pos = 0;
    }
}

void PnaStreamParser::Fail(std::string dump, std::vector<PnaEvent>& events) {
    PnaEvent e = PnaEvent::Of(PnaEvent::Kind::Failure);
    e.code = kCorrupted;
    e.bytes = std::move(dump);
    events.push_back(std::move(e));
    m_phase = Phase::Ended;
}

void PnaStreamParser::Stop(PnaEvent::Kind kind, std::vector<PnaEvent>& events) {
    events.push_back(PnaEvent::Of(kind));
    m_phase = Phase::Ended;
}

void PnaStreamParser::ParseReply(std::vector<PnaEvent>& events) {
    if (m_header.size() <= kReplyHead)
        return;
    if (m_header.compare(0, 3, "PNA") != 0)
        return Fail(m_header.substr(0, kReplyHead + 1), events); // the bytes judged
    if (m_header[9] == 'X')
        return Stop(PnaEvent::Kind::Busy, events);
    switch (uint8_t(m_header[4])) {
    case 10:
        m_streamType = 17;
        return RealMediaReply(events);
    case 8:
        m_streamType = 11;
        return RealAudioReply(8, events);
    case 5:
        m_streamType = 12;
        return RealAudioReply(5, events);
    default:
        return; // not a version this program knows; more bytes may tell
    }
}

void PnaStreamParser::RealAudioReply(int pnaVersion, std::vector<PnaEvent>& events) {
    size_t start = 12;
    size_t needed = 0;
    const char* server = "realserver 3.0f";
    size_t have = Header().size();
    if (pnaVersion == 8 && m_header[9] == 'i') {
        if (have < 32)
            return;
        start = 27;
        needed = start + Be16(m_header, 25);
        server = "realserver 3.0";
    } else if (pnaVersion == 8 && m_header[9] == 'r') {
        if (have < 16)
            return;
        needed = 14 + Be16(m_header, 10);
        server = "realserver 3.0a";
    } else if (pnaVersion == 8) {
        return Fail({}, events);
    } else {
        needed = start + Be16(m_header, 10);
    }
    size_t length = Be16(m_header, start - 2);
    if (length == 0)
        return Fail({}, events);
    if (have < needed)
        return;
    events.push_back(PnaEvent::LogLine(server, '!'));
    PnaEvent header;
    header.kind = PnaEvent::Kind::RealAudioHeader;
    header.bytes = m_header.substr(start, length);
    header.pnaVersion = pnaVersion;
    events.push_back(std::move(header));
    // A version 8 server puts a block of its own between the header and the data.
    m_skip = pnaVersion == 8 ? kRealAudioGap : 0;
    StartPackets(start + length, events);
}

bool PnaStreamParser::FindFirstChunk(std::vector<PnaEvent>& events) {
    std::string_view b = Header();
    std::string_view window = b.substr(0, kMaxPreamble);
    size_t found = npos;
    for (const char* id : {".RMF", "PROP", "CONT", "MDPR", "DATA"})
        found = std::min(found, window.find(id, m_searched));
    m_work += window.size() - std::min(window.size(), m_searched);
    if (found != npos) {
        m_walk = found;
        return true;
    }
    // An id may still start in the last three bytes searched.
    m_searched = std::max(m_searched, window.size() >= 3 ? window.size() - 3 : 0);
    if (window.size() == kMaxPreamble)
        Fail(std::string(window), events);
    return false;
}

void PnaStreamParser::RealMediaReply(std::vector<PnaEvent>& events) {
    if (m_walk == npos && !FindFirstChunk(events))
        return;
    std::string_view b = Header();
    size_t n = b.size();
    size_t end = npos;
    // Each pass takes one whole chunk or block and moves m_walk past it: bytes already
    // walked are not looked at again.
    while (end == npos) {
        size_t pos = m_walk;
        if (!m_chunks.empty()) {
            if (pos >= n)
                return;
            char c = b[pos];
            if (c == 'L') {
                if (n - pos < kEndBlock)
                    return;
                end = pos + kEndBlock;
                break;
            }
            if (c == 'X') {
                if (n - pos < 3 || n - pos < 3 + size_t(Be16(b, pos + 1)))
                    return;
                PnaEvent message;
                message.kind = PnaEvent::Kind::ServerMessage;
                message.text = std::string(b.substr(pos + 3, Be16(b, pos + 1)));
                events.push_back(std::move(message));
                m_phase = Phase::Ended;
                return;
            }
            if (c == 'r') {
                if (n - pos < 3)
                    return;
                m_walk += 3;
                continue;
            }
            if (!MayStartHeaderChunk(b.substr(pos, 4))) {
                // Packets sent without the end block: the stream data begins here.
                end = pos;
                break;
            }
        }
        if (n - pos < 8)
            return;
        std::string_view id = b.substr(pos, 4);
        uint32_t size = Be32(b, pos + 4);
        m_work += 8;
        if (id == "DATA") {
            // Only its header belongs to the stream header.
            size = 18;
        } else if (!IsHeaderChunk(id) || size < 10 || size > kMaxChunk) {
            // Dumps what led here: the bytes up to the chunk's size, at most kMaxPreamble.
            size_t to = pos + 8;
            size_t from = to > kMaxPreamble ? to - kMaxPreamble : 0;
            return Fail(std::string(b.substr(from, to - from)), events);
        }
        if (n - pos < size)
            return; // cut by the end of a read: the rest follows
        m_chunks.emplace_back(pos, size);
        m_walk = pos + size;
    }
    PnaEvent header;
    header.kind = PnaEvent::Kind::RealMediaHeader;
    for (auto [at, size] : m_chunks) {
        header.chunks.emplace_back(b.substr(at, size));
        m_work += size;
    }
    events.push_back(std::move(header));
    StartPackets(end, events);
}

void PnaStreamParser::StartPackets(size_t rest, std::vector<PnaEvent>& events) {
    m_packets = m_header.substr(rest);
    m_pos = 0;
    m_header.clear();
    m_header.shrink_to_fit();
    m_phase = Phase::Packets;
    m_firstPacket = true;
    Feed({}, events);
}

void PnaStreamParser::RealAudioPackets(std::vector<PnaEvent>& events) {
    bool eight = m_streamType == 11;
    while (m_phase == Phase::Packets) {
        if (m_skip > 0) {
            size_t n = std::min(m_skip, Available());
            m_pos += n;
            m_skip -= n;
            if (m_skip > 0)
                return;
        }
        if (Available() == 0)
            return;
        if (At(0) == 'E')
            return Stop(PnaEvent::Kind::End, events);
        if (m_firstPacket && eight) {
            if (At(0) == 'e') {
                if (Available() < 11 || Available() < 11 + size_t(Be16(m_packets, m_pos + 9)))
                    return;
                m_pos += 11 + Be16(m_packets, m_pos + 9);
                continue;
            }
            if (At(0) != 'A')
                return Fail(m_packets.substr(m_pos, 64), events);
        }
        m_firstPacket = false;
        uint8_t c = At(0);
        if (c == '?') {
            ++m_pos;
            continue;
        }
        if (c == 'a') {
            size_t skip = 1;
            if (eight) {
                if (Available() < 2)
                    return;
                skip = At(1) == 'A' ? 1 : 6;
                if (Available() < skip)
                    return;
            }
            m_pos += skip;
            events.push_back(PnaEvent::Of(PnaEvent::Kind::Filler));
            continue;
        }
        size_t head = eight ? 3 : 7;
        if (Available() < head)
            return;
        size_t length = eight ? Be16(m_packets, m_pos + 1) : At(6);
        if (Available() < head + length)
            return;
        PnaEvent packet;
        packet.kind = PnaEvent::Kind::Packet;
        packet.streamType = m_streamType;
        packet.bytes = m_packets.substr(m_pos + head, length);
        events.push_back(std::move(packet));
        m_pos += head + length;
    }
}

void PnaStreamParser::RealMediaPackets(std::vector<PnaEvent>& events) {
    while (m_phase == Phase::Packets) {
        if (Available() == 0)
            return;
        uint8_t c = At(0);
        if (c == '?') {
            ++m_pos;
            continue;
        }
        if (c == 'b' || c == 'a') {
            size_t size = c == 'b' ? 8 : 5;
            if (Available() < size)
                return;
            m_pos += size;
            if (c == 'a')
                events.push_back(PnaEvent::Of(PnaEvent::Kind::Filler));
            continue;
        }
        if (c == 'E')
            return Stop(PnaEvent::Kind::End, events);
        if (m_streamType == 17) {
            if (Available() < 8)
                return;
            bool framed = At(0) == 'Z' && At(7) == 'Z';
            m_streamType = framed ? 90 : 20;
            events.push_back(PnaEvent::LogLine(framed ? "(5A)" : "(20)", 'I'));
        }
        bool wide = m_streamType == 90;
        size_t lengthAt = wide ? 1 : 0;
        if (Available() < lengthAt + 2)
            return;
        size_t length = Be16(m_packets, m_pos + lengthAt);
        if (!wide && length == 10) {
            // A 10-byte block of the short framing carries nothing to record.
            if (Available() < 10)
                return;
            m_pos += 10;
            continue;
        }
        // The length counts a 12-byte header: anything shorter is no packet.
        if (length < 12)
            return Fail({}, events);
        size_t occupies = wide ? length + 3 : length;
        if (Available() < occupies)
            return;
        size_t p = m_pos;
        PnaEvent packet;
        packet.kind = PnaEvent::Kind::Packet;
        packet.streamType = m_streamType;
        packet.timestamp = Be32(m_packets, p + (wide ? 9 : 6));
        packet.stream = uint8_t(m_packets[p + (wide ? 13 : 10)]);
        packet.flags = uint8_t(m_packets[p + (wide ? 14 : 11)]);
        packet.bytes = m_packets.substr(p + (wide ? 15 : 12), length - 12);
        events.push_back(std::move(packet));
        m_pos += occupies;
    }
}

} // namespace vireo
