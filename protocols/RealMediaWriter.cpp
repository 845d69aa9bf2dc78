#include "protocols/RealMediaWriter.h"

#include "common/Endian.h"

#include <cctype>
#include <cstring>
#include <optional>

namespace vireo {

namespace {
const uint8_t* Bytes(std::string_view b) {
    return reinterpret_cast<const uint8_t*>(b.data());
}
uint8_t* Bytes(std::string& b) {
    return reinterpret_cast<uint8_t*>(b.data());
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(uint8_t(a[i])) != std::tolower(uint8_t(b[i])))
            return false;
    }
    return true;
}

// A text preceded by its length (one byte, or two big-endian ones) at pos; nothing when
// the length reaches past the end. pos moves past the text.
std::optional<std::string_view> CountedText(std::string_view b, size_t& pos, size_t lengthSize) {
    if (pos + lengthSize > b.size())
        return std::nullopt;
    size_t n = lengthSize == 1 ? uint8_t(b[pos]) : ReadBE16(Bytes(b) + pos);
    if (pos + lengthSize + n > b.size())
        return std::nullopt;
    std::string_view text = b.substr(pos + lengthSize, n);
    pos += lengthSize + n;
    return text;
}

std::string ChunkHeader(std::string_view id, uint32_t size) {
    std::string h(10, '\0');
    std::memcpy(h.data(), id.data(), 4);
    WriteBE32(Bytes(h) + 4, size);
    return h;
}

std::string DataHeader(uint32_t size, uint32_t packets) {
    std::string h = ChunkHeader("DATA", size) + std::string(8, '\0');
    WriteBE32(Bytes(h) + 10, packets);
    return h;
}

std::string IndexChunk(const std::vector<IndexRecord>& records, uint16_t stream, uint32_t next) {
    // The size counts the chunk header alone, not its records.
    std::string out = ChunkHeader("INDX", 20) + std::string(10, '\0');
    WriteBE32(Bytes(out) + 10, uint32_t(records.size()));
    WriteBE16(Bytes(out) + 14, stream);
    WriteBE32(Bytes(out) + 16, next);
    for (const IndexRecord& r : records) {
        std::string rec(IndexRecord::kSize, '\0');
        WriteBE32(Bytes(rec) + 2, r.timestamp);
        WriteBE32(Bytes(rec) + 6, r.offset);
        WriteBE32(Bytes(rec) + 10, r.packets);
        out += rec;
    }
    return out;
}
} // namespace

std::string RealMediaWriter::PacketHeader(uint32_t timestamp, uint16_t stream, uint8_t flags,
                                          size_t payloadSize) {
    std::string h(12, '\0');
    WriteBE16(Bytes(h) + 2, uint16_t(12 + payloadSize));
    WriteBE16(Bytes(h) + 4, stream);
    WriteBE32(Bytes(h) + 6, timestamp);
    h[11] = char(flags);
    return h;
}

int RealMediaWriter::Append(std::string_view bytes) {
    return m_target.Append(bytes.data(), bytes.size()) ? kOk : kStopped;
}

int RealMediaWriter::RealAudioHeader(std::string_view header, int pnaVersion) {
    int version = header.size() > 5 ? uint8_t(header[5]) : 0;
    bool live = false;
    bool clearsCatchingUp = false;
    if (version == 3 && header.size() >= 22) {
        m_target.Log("ra 3.0", 'I');
        m_target.SetTotalSize(int64_t(ReadBE32(Bytes(header) + 18)) + int64_t(header.size()));
        static constexpr const char* kNames[] = {"title", "author", "copyright", "comments"};
        size_t pos = 22;
        std::string_view comment;
        for (const char* name : kNames) {
            std::optional<std::string_view> text = CountedText(header, pos, 1);
            if (!text)
                break;
            if (!text->empty())
                m_target.LogField(name, *text, 'I');
            comment = *text;
        }
        live = EqualsNoCase(comment, "live");
        clearsCatchingUp = pnaVersion == 8;
    } else if (version == 4 && header.size() >= 16) {
        m_target.Log("ra 4.0", 'I');
        uint32_t total = ReadBE32(Bytes(header) + 12);
        m_target.SetTotalSize(total);
        live = total == 0;
        clearsCatchingUp = true;
        size_t pos = 56;
        CountedText(header, pos, 1); // the interleaver
        std::optional<std::string_view> codec = CountedText(header, pos, 1);
        if (codec && !codec->empty())
            m_target.LogField("codec", *codec, 'I');
        pos += 3;
        for (const char* name : {"title", "author", "copyright"}) {
            std::optional<std::string_view> text =
                codec ? CountedText(header, pos, 1) : std::nullopt;
            if (!text)
                break;
            if (!text->empty())
                m_target.LogField(name, *text, 'I');
        }
        m_target.SetSizeLimited(true);
    }
    // A resumed recording has its header already. A live one is written like any other
    // (the final patch fixes its sizes), so the file plays and can be resumed.
    bool write = !m_target.IsCatchingUp();
    if (live) {
        m_target.SetLive(true);
        if (clearsCatchingUp)
            m_target.SetCatchingUp(false);
    }
    return write ? Append(header) : kOk;
}

int RealMediaWriter::RealAudioBlock(std::string_view payload) {
    if (m_target.IsCatchingUp()) {
        if (m_state.HasSignature(Signature::OfBlock(uint32_t(payload.size()), payload))) {
            m_state.seekPosition = 0; // the file's own data: the stream has reached it
            return kOk;
        }
        if (m_state.seekPosition != 0)
            return kOk; // still before the file's last blocks
        // Past the file's end: everything from here on is new.
        m_target.SetCatchingUp(false);
        m_state.signatures.clear();
    }
    if (!m_target.Append(payload.data(), payload.size()))
        return kStopped;
    ++m_state.packets;
    return kOk;
}

int RealMediaWriter::RealMediaHeader(const std::vector<std::string_view>& chunks) {
    m_target.Log("rmf content", 'I');
    std::string out;
    uint32_t headers = 0;
    uint16_t streams = 0;
    size_t propAt = std::string::npos;
    bool live = false;
    if (chunks.empty() || chunks.front().substr(0, 4) != ".RMF") {
        out = ChunkHeader(".RMF", 18) + std::string(8, '\0');
        ++headers;
    }
    for (std::string_view chunk : chunks) {
        std::string_view id = chunk.substr(0, 4);
        if (id == "CONT") {
            static constexpr const char* kNames[] = {"title", "author", "copyright", "comments"};
            size_t pos = 10;
            for (const char* name : kNames) {
                std::optional<std::string_view> text = CountedText(chunk, pos, 2);
                if (!text)
                    break;
                if (!text->empty())
                    m_target.LogField(name, *text, 'I');
            }
        } else if (id == "PROP") {
            if (chunk.size() < 50) {
                m_target.LogDump(chunk.data(), chunk.size());
                return kCorrupted;
            }
            m_state.durationMs = ReadBE32(Bytes(chunk) + 30);
            if (ReadBE16(Bytes(chunk) + 48) & 4) {
                live = true;
                m_target.SetLive(true);
                m_target.SetTotalSize(0xFFFFFFFF);
            }
            propAt = out.size();
        } else if (id == "MDPR") {
            if (chunk.size() < 40) {
                m_target.LogDump(chunk.data(), chunk.size());
                return kCorrupted;
            }
            uint16_t stream = ReadBE16(Bytes(chunk) + 10);
            if (stream > 1)
                continue; // only streams 0 and 1 are recorded
            ++streams;
            size_t pos = 40;
            std::optional<std::string_view> name = CountedText(chunk, pos, 1);
            std::optional<std::string_view> mime = name ? CountedText(chunk, pos, 1) : std::nullopt;
            if (mime && mime->size() >= 5 && EqualsNoCase(mime->substr(0, 5), "video") &&
                pos + 16 <= chunk.size()) {
                std::string_view fourcc = chunk.substr(pos + 8, 8);
                m_target.LogField("video", fourcc, 'I');
                if (fourcc == "VIDOCLV1")
                    m_state.video[stream] = true;
            }
        } else if (id == "DATA") {
            continue;
        }
        out += chunk;
        ++headers;
    }
    if (live && streams > 1) {
        m_target.Log("unsupported format a", 'E');
        return kUnsupported;
    }
    if (propAt != std::string::npos) {
        WriteBE32(Bytes(out) + propAt + 42, uint32_t(out.size()));
        WriteBE16(Bytes(out) + propAt + 46, streams);
    }
    out += DataHeader(0xFFFFFFFF, 0xFFFFFFFF);
    ++headers;
    if (out.size() >= 18 && ReadBE32(Bytes(out) + 4) >= 18)
        WriteBE32(Bytes(out) + 14, headers);
    return m_target.IsCatchingUp() ? kOk : Append(out);
}

bool RealMediaWriter::IsWantedPacket(const Packet& packet) const {
    return packet.stream <= 1 && packet.flags < 3;
}

int RealMediaWriter::RealMediaPacket(const Packet& packet) {
    if (!IsWantedPacket(packet))
        return kOk;
    std::string bytes =
        PacketHeader(packet.timestamp, packet.stream, packet.flags, packet.payload.size());
    bytes.append(packet.payload);
    if (m_target.IsLive()) {
        // Held back so the first timestamp is known before anything is written.
        m_state.delayed.push_back(std::move(bytes));
        m_state.lastTimestamp = packet.timestamp;
        m_state.firstTimestamp =
            std::min(m_state.firstTimestamp, ReadBE32(Bytes(m_state.delayed.front()) + 6));
        if (m_state.delayed.size() <= kDelay)
            return kOk;
        std::string oldest = std::move(m_state.delayed.front());
        m_state.delayed.pop_front();
        return WritePacket(std::move(oldest), true);
    }
    if (m_target.IsCatchingUp()) {
        // The file's last packet ends catching up; it is in the file already.
        Signature s = Signature::OfPacket(uint32_t(12 + packet.payload.size()), packet.payload);
        if (m_state.HasSignature(s))
            m_target.SetCatchingUp(false);
        return kOk;
    }
    m_state.lastTimestamp = packet.timestamp;
    if ((packet.flags & 2) && m_state.lastTimestamp != 0) {
        m_target.SetTotalSize(
            int64_t(uint64_t(m_target.ByteCount()) * m_state.durationMs / m_state.lastTimestamp));
    }
    return WritePacket(std::move(bytes), false);
}

int RealMediaWriter::WritePacket(std::string bytes, bool rebase) {
    uint32_t timestamp = ReadBE32(Bytes(bytes) + 6);
    if (rebase && m_state.firstTimestamp != RecordingState::kNoTimestamp) {
        timestamp = timestamp - m_state.firstTimestamp + m_state.baseTimestamp[0];
        WriteBE32(Bytes(bytes) + 6, timestamp);
    }
    uint16_t stream = ReadBE16(Bytes(bytes) + 4);
    if ((uint8_t(bytes[11]) & 2) && stream <= 1)
        m_state.AddIndexRecord(stream, timestamp, uint32_t(m_target.ByteCount()));
    ++m_state.packets;
    return Append(bytes);
}

void RealMediaWriter::FillerA() {
    if (m_target.IsCatchingUp() && m_state.signatures.empty())
        m_target.SetCatchingUp(false);
}

void RealMediaWriter::FinalPatch() {
    switch (m_state.streamType) {
    case 11:
    case 12:
        PatchRealAudio();
        break;
    case 17:
    case 20:
    case 90:
        PatchRealMedia();
        break;
    default:
        break;
    }
}

void RealMediaWriter::PatchRealAudio() {
    uint8_t head[56];
    // Only a file that starts with a RealAudio header has fields to patch.
    if (!m_target.ReadAt(0, head, 6) || std::memcmp(head, ".ra\xFD", 4) != 0)
        return;
    uint16_t version = ReadBE16(head + 4);
    uint32_t bytes = uint32_t(m_target.ByteCount());
    if (version == 4) {
        if (!m_target.ReadAt(0, head, 56))
            return;
        WriteBE32(head + 12, bytes);
        WriteBE32(head + 28, bytes - ReadBE32(head + 18) - 16);
        m_target.WriteAt(0, head, 56);
    } else if (version == 3) {
        if (!m_target.ReadAt(0, head, 22))
            return;
        WriteBE32(head + 18, m_state.packets * 240);
        m_target.WriteAt(0, head, 22);
    }
}

void RealMediaWriter::PatchRealMedia() {
    if (m_target.IsLive()) {
        while (!m_state.delayed.empty()) {
            std::string oldest = std::move(m_state.delayed.front());
            m_state.delayed.pop_front();
            if (WritePacket(std::move(oldest), true) != kOk)
                return;
        }
        m_target.SetSizeLimited(false);
        m_target.NotifyChanged();
    }
    int64_t bytes = m_target.ByteCount();
    const std::vector<IndexRecord>& first = m_state.index[0];
    const std::vector<IndexRecord>& second = m_state.index[1];
    std::string index;
    if (!first.empty()) {
        uint32_t next = second.empty() ? 0 : uint32_t(bytes + 20 + 14 * int64_t(first.size()));
        index += IndexChunk(first, 0, next);
    }
    if (!second.empty())
        index += IndexChunk(second, 1, 0);
    uint32_t indexOffset = index.empty() ? 0 : uint32_t(bytes);
    if (!index.empty() && !m_target.WriteAt(bytes, index.data(), index.size()))
        return;

    uint32_t duration = m_state.lastTimestamp;
    if (m_target.IsLive()) {
        uint32_t first = m_state.firstTimestamp == RecordingState::kNoTimestamp
                             ? m_state.lastTimestamp
                             : m_state.firstTimestamp;
        duration = m_state.lastTimestamp - first + m_state.seekPosition;
    }
    uint8_t chunk[50];
    if (!m_target.ReadAt(0, chunk, 4) || std::memcmp(chunk, ".RMF", 4) != 0)
        return;
    int64_t pos = 0;
    while (pos < bytes) {
        if (!m_target.ReadAt(pos, chunk, 8))
            return;
        uint32_t size = ReadBE32(chunk + 4);
        if (size == 0)
            return;
        if (std::memcmp(chunk, "DATA", 4) == 0) {
            // The chunk holds every packet written, also when no key frame was indexed.
            std::string header = DataHeader(uint32_t(bytes - pos), m_state.packets);
            m_target.WriteAt(pos, header.data(), header.size());
            return;
        }
        if (std::memcmp(chunk, "PROP", 4) == 0 && size >= 50 && m_target.ReadAt(pos, chunk, 50)) {
            WriteBE32(chunk + 38, indexOffset);
            WriteBE32(chunk + 26, m_state.packets);
            WriteBE32(chunk + 30, duration);
            if (!m_target.WriteAt(pos, chunk, 50))
                return;
        } else if (std::memcmp(chunk, "MDPR", 4) == 0 && size >= 40 &&
                   m_target.ReadAt(pos, chunk, 40)) {
            WriteBE32(chunk + 36, duration);
            if (!m_target.WriteAt(pos, chunk, 40))
                return;
        }
        pos += size;
    }
}

} // namespace vireo
