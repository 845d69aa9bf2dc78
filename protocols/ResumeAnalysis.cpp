#include "protocols/ResumeAnalysis.h"

#include "common/Endian.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vireo {

namespace {
constexpr size_t kHeadSize = 1024;
constexpr size_t kPacketHeader = 12;
constexpr uint32_t kChunkHeader = 10;
constexpr size_t kIndexHeader = 20;
// More index records than this in one chunk is not an index this program wrote.
constexpr uint32_t kMaxIndexRecords = 1u << 22;

std::optional<std::string_view> ByteText(std::string_view b, size_t& pos) {
    if (pos >= b.size() || pos + 1 + uint8_t(b[pos]) > b.size())
        return std::nullopt;
    std::string_view text = b.substr(pos + 1, uint8_t(b[pos]));
    pos += 1 + text.size();
    return text;
}

bool IsLiveComment(std::optional<std::string_view> text) {
    if (!text || text->size() != 4)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        if (std::tolower(uint8_t((*text)[i])) != "live"[i])
            return false;
    }
    return true;
}

const uint8_t* U8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}
} // namespace

uint32_t ResumeAnalysis::CorrectedRate(uint32_t rate) {
    switch (rate) {
    case 4933:
        return 5000;
    case 8444:
        return 8500;
    case 8979:
        return 16000;
    case 17972:
        return 32000;
    case 11250:
        return 20000;
    case 8550:
        return 15200;
    case 44970:
        return 79900;
    case 45000:
        return 80000;
    case 22480:
    case 22500:
        return 40000;
    default:
        return rate;
    }
}

int64_t ResumeAnalysis::Run() {
    char magic[4];
    if (!m_target.ReadAt(0, magic, 4))
        return kStartOver;
    if (std::memcmp(magic, ".ra\xFD", 4) == 0)
        return RealAudio();
    if (std::memcmp(magic, ".RMF", 4) == 0)
        return RealMedia();
    return kStartOver;
}

int64_t ResumeAnalysis::RealAudio() {
    int64_t length = m_target.ByteCount();
    std::string head(kHeadSize, '\0');
    if (length < int64_t(kHeadSize) || !m_target.ReadAt(0, head.data(), kHeadSize))
        return kStartOver;
    int version = uint8_t(head[5]);
    uint32_t rate = 0;
    uint32_t blockSize = 0;
    int64_t dataStart = 0;
    int64_t dataLength = 0;
    std::optional<std::string_view> comment;
    if (version == 4) {
        rate = CorrectedRate(uint32_t(uint64_t(ReadBE32(U8(head) + 32)) * 75 / 1000));
        blockSize = ReadBE16(U8(head) + 42);
        dataStart = int64_t(ReadBE32(U8(head) + 18)) + 16;
        dataLength = length - dataStart - 16;
        size_t pos = 56;
        bool ok = ByteText(head, pos) && ByteText(head, pos);
        pos += 3;
        ok = ok && ByteText(head, pos) && ByteText(head, pos) && ByteText(head, pos);
        if (ok)
            comment = ByteText(head, pos);
    } else if (version == 3) {
        rate = uint32_t(uint64_t(ReadBE32(U8(head) + 14)) * 10 / 75);
        blockSize = 240;
        size_t pos = 22;
        for (int i = 0; i < 4; ++i) {
            comment = ByteText(head, pos);
            if (!comment)
                return kStartOver;
        }
        dataStart = int64_t(pos) + 2;
        // Texts that fill the head put this past it: read it from the file.
        char codec[4];
        if (m_target.ReadAt(dataStart, codec, 4) && std::memcmp(codec, "lpcJ", 4) == 0)
            dataStart += 4;
        dataLength = length - dataStart;
    } else {
        return kStartOver;
    }
    // A block size of 0 leaves nothing to count or compare.
    if (blockSize == 0 || dataLength <= 0)
        return kStartOver;
    int64_t blocks = dataLength / blockSize;
    m_state.packets = uint32_t(blocks);
    if (IsLiveComment(comment)) {
        // A live stream is continued where the file ends.
        m_target.SetLive(true);
        m_target.SetCatchingUp(true);
        return 0;
    }
    int64_t scan = blocks > 32 ? length - 32 * int64_t(blockSize) : dataStart;
    std::string block(std::min<size_t>(blockSize, 21), '\0');
    for (int64_t pos = scan; pos + blockSize <= length; pos += blockSize) {
        if (!m_target.ReadAt(pos, block.data(), block.size()))
            return kStartOver;
        m_state.signatures.push_back(Signature::OfBlock(blockSize, block));
        if (m_state.signatures.size() > RecordingState::kMaxSignatures)
            m_state.signatures.pop_front();
    }
    if (m_state.signatures.empty() || rate == 0)
        return kStartOver;
    int64_t before = dataLength - 5 * int64_t(blockSize);
    int64_t position = before > 0 ? before * 80 / rate : 0;
    // The seek command carries 32 bits: a position past them is no place to continue at.
    if (position <= 0 || position > int64_t(UINT32_MAX))
        return kStartOver;
    m_target.SetCatchingUp(true);
    return position;
}

int64_t ResumeAnalysis::RealMedia() {
    int64_t length = m_target.ByteCount();
    int64_t pos = 0;
    int64_t dataStart = -1;
    uint32_t indexOffset = 0;
    uint32_t packets = 0;
    uint8_t chunk[50];
    while (pos + 8 <= length) {
        if (!m_target.ReadAt(pos, chunk, 8))
            return kStartOver;
        uint32_t size = ReadBE32(chunk + 4);
        // Smaller than its own id, size and version: not a chunk (and no way forward).
        if (size < kChunkHeader)
            return kStartOver;
        if (std::memcmp(chunk, "PROP", 4) == 0) {
            if (!m_target.ReadAt(pos, chunk, 50))
                return kStartOver;
            m_state.durationMs = ReadBE32(chunk + 30);
            if (ReadBE16(chunk + 48) & 4)
                m_target.SetLive(true);
            indexOffset = ReadBE32(chunk + 38);
            packets = ReadBE32(chunk + 26);
        } else if (std::memcmp(chunk, "DATA", 4) == 0) {
            dataStart = pos + 18;
            break;
        }
        pos += size;
    }
    if (dataStart < 0 || dataStart > length)
        return kStartOver;
    m_state.streamType = 17;

    // The index is cut off only where a readable one lies; after a stop without the final
    // patch PROP still names the place of an earlier index that packets have overwritten
    // since, and the packets themselves tell where the recording ends.
    bool indexed = indexOffset != 0 && indexOffset >= dataStart && indexOffset <= length &&
                   ReadIndex(indexOffset, dataStart);
    if (indexed) {
        m_target.SetStartOffset(indexOffset); // the index leaves the file
        m_state.packets = packets;
    } else {
        m_state.index[0].clear();
        m_state.index[1].clear();
        m_state.packets = 0;
        RebuildIndex(dataStart);
    }

    int64_t resumeAt = ResumeOffset();
    if (resumeAt == 0) {
        m_target.SetCatchingUp(true);
        return 0;
    }
    length = m_target.ByteCount();
    uint8_t header[kPacketHeader];
    if (!m_target.ReadAt(resumeAt, header, kPacketHeader))
        return kStartOver;
    m_state.lastTimestamp = ReadBE32(header + 6);
    int64_t lastAt = -1;
    uint16_t lastLength = 0;
    for (int64_t p = resumeAt; p < length;) {
        if (!m_target.ReadAt(p, header, kPacketHeader))
            return kStartOver;
        uint16_t n = ReadBE16(header + 2);
        if (n < kPacketHeader || p + n > length)
            return kStartOver;
        lastAt = p;
        lastLength = n;
        p += n;
    }
    if (lastAt < 0)
        return kStartOver;
    std::string payload(std::min<size_t>(lastLength - kPacketHeader, 16), '\0');
    if (!m_target.ReadAt(lastAt + int64_t(kPacketHeader), payload.data(), payload.size()))
        return kStartOver;
    m_state.signatures.push_back(Signature::OfPacket(lastLength, payload));

    if (m_target.IsLive()) {
        for (size_t s = 0; s < 2; ++s) {
            const std::vector<IndexRecord>& list = m_state.index[s];
            uint32_t base = 0;
            if (!list.empty()) {
                uint32_t last = list.back().timestamp;
                base = last;
                for (size_t i = list.size() - 1; i-- > 0;) {
                    if (list[i].timestamp != last) {
                        base = last + (last - list[i].timestamp);
                        break;
                    }
                }
            }
            m_state.baseTimestamp[s] = base;
        }
        m_state.seekPosition = m_state.lastTimestamp;
    }
    m_target.SetCatchingUp(true);
    return m_state.lastTimestamp;
}

bool ResumeAnalysis::ReadIndex(int64_t offset, int64_t dataStart) {
    int64_t length = m_target.ByteCount();
    int64_t indexOffset = offset;
    for (int chunk = 0; chunk < 2; ++chunk) {
        uint8_t header[kIndexHeader];
        if (offset < indexOffset || offset + int64_t(kIndexHeader) > length ||
            !m_target.ReadAt(offset, header, kIndexHeader) || std::memcmp(header, "INDX", 4) != 0)
            return false;
        uint32_t count = ReadBE32(header + 10);
        uint16_t stream = ReadBE16(header + 14);
        uint32_t next = ReadBE32(header + 16);
        int64_t records = int64_t(count) * int64_t(IndexRecord::kSize);
        if (count > kMaxIndexRecords || records > length - offset - int64_t(kIndexHeader))
            return false;
        std::string bytes(size_t(records), '\0');
        if (!m_target.ReadAt(offset + int64_t(kIndexHeader), bytes.data(), bytes.size()))
            return false;
        std::vector<IndexRecord>& list = m_state.index[stream == 0 ? 0 : 1];
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* r = U8(bytes) + size_t(i) * IndexRecord::kSize;
            IndexRecord record{ReadBE32(r + 2), ReadBE32(r + 6), ReadBE32(r + 10)};
            // Each record names a packet between the data start and the index.
            if (record.offset < dataStart || record.offset >= indexOffset)
                return false;
            list.push_back(record);
        }
        if (next == 0)
            return true;
        offset = next;
    }
    return true;
}

void ResumeAnalysis::RebuildIndex(int64_t start) {
    int64_t length = m_target.ByteCount();
    int64_t p = start;
    uint8_t header[kPacketHeader];
    while (p < length) {
        uint16_t n = 0;
        if (p + int64_t(kPacketHeader) <= length && m_target.ReadAt(p, header, kPacketHeader))
            n = ReadBE16(header + 2);
        bool whole = n >= kPacketHeader && p + n <= length && std::memcmp(header, "INDX", 4) != 0;
        if (!whole) {
            m_target.SetStartOffset(p);
            return;
        }
        uint16_t stream = ReadBE16(header + 4);
        if ((header[11] & 2) && stream <= 1)
            m_state.AddIndexRecord(stream, ReadBE32(header + 6), uint32_t(p));
        ++m_state.packets;
        p += n;
    }
}

int64_t ResumeAnalysis::ResumeOffset() const {
    const std::vector<IndexRecord>& first = m_state.index[0];
    const std::vector<IndexRecord>& second = m_state.index[1];
    if (first.empty())
        return 0;
    int64_t offset = first.back().offset;
    if (first.size() > 2 && first.back().packets == 1)
        offset = first[first.size() - 3].offset;
    if (!second.empty() && second.back().offset < offset)
        offset = second.back().offset;
    return offset;
}

} // namespace vireo
