#pragma once
// The history file format as the tests see it, written down on its own, independent of
// history/HistoryFile: builds the bytes of a file and reads one back while checking the
// invariants that must hold after every completed operation.

#include "common/ByteBuffer.h"
#include "common/Endian.h"
#include "history/HistoryEntry.h"

#include <string>
#include <vector>

namespace vireo::test {

struct FileRecord {
    HistoryTime time;
    std::string file, url;
};
struct FileGroup {
    HistoryTime created;
    uint32_t offset, count;
};
struct DecodedHistory {
    std::string error; // empty when every invariant holds
    uint32_t recordCount = 0, length = 0, indexOffset = 0;
    std::vector<FileRecord> records;
    std::vector<FileGroup> groups;
};

inline void PutTime(ByteBuffer& b, const HistoryTime& t) {
    uint8_t raw[8] = {
        uint8_t(t.year), uint8_t(t.year >> 8), t.month, t.day, t.hour, t.minute, t.second, 0};
    b.Append(raw, 8);
}
inline void Put16(ByteBuffer& b, uint16_t v) {
    uint8_t raw[2];
    WriteLE16(raw, v);
    b.Append(raw, 2);
}
inline void Put32(ByteBuffer& b, uint32_t v) {
    uint8_t raw[4];
    WriteLE32(raw, v);
    b.Append(raw, 4);
}

// A well-formed file: the groups are given by their counts, their offsets computed.
inline ByteBuffer BuildHistory(const std::vector<FileRecord>& records,
                               const std::vector<std::pair<HistoryTime, uint32_t>>& groups) {
    ByteBuffer area;
    std::vector<uint32_t> offsets;
    for (const FileRecord& r : records) {
        offsets.push_back(uint32_t(16 + area.Size()));
        PutTime(area, r.time);
        Put16(area, uint16_t(r.file.size()));
        area.Append(r.file);
        Put16(area, uint16_t(r.url.size()));
        area.Append(r.url);
    }
    uint32_t indexOffset = uint32_t(16 + area.Size());
    ByteBuffer b;
    Put32(b, 0x21216968);
    Put32(b, uint32_t(records.size()));
    Put32(b, uint32_t(indexOffset + 4 + 16 * groups.size()));
    Put32(b, indexOffset);
    b.Append(area.Data(), area.Size());
    Put32(b, uint32_t(groups.size()));
    size_t first = 0;
    for (const auto& [created, count] : groups) {
        PutTime(b, created);
        Put32(b, first < offsets.size() ? offsets[first] : indexOffset);
        Put32(b, count);
        first += count;
    }
    return b;
}

inline DecodedHistory DecodeHistory(const ByteBuffer& b) {
    DecodedHistory d;
    const uint8_t* p = b.Data();
    if (b.Size() < 16)
        return d.error = "shorter than the header", d;
    if (ReadLE32(p) != 0x21216968)
        return d.error = "magic", d;
    d.recordCount = ReadLE32(p + 4);
    d.length = ReadLE32(p + 8);
    d.indexOffset = ReadLE32(p + 12);
    if (d.length != b.Size())
        return d.error = "header length is not the file length", d;
    if (d.indexOffset < 16 || d.indexOffset + 4 > b.Size())
        return d.error = "index offset", d;
    size_t pos = 16;
    std::vector<uint32_t> offsets;
    while (pos < d.indexOffset) {
        if (d.indexOffset - pos < 12)
            return d.error = "record past the index offset", d;
        FileRecord r;
        offsets.push_back(uint32_t(pos));
        r.time = HistoryTime::Read(p + pos);
        if (p[pos + 7] != 0)
            return d.error = "timestamp pad byte", d;
        size_t n = ReadLE16(p + pos + 8);
        if (d.indexOffset - pos < 12 + n)
            return d.error = "file name past the index offset", d;
        r.file.assign(reinterpret_cast<const char*>(p + pos + 10), n);
        size_t m = ReadLE16(p + pos + 10 + n);
        if (d.indexOffset - pos < 12 + n + m)
            return d.error = "url past the index offset", d;
        r.url.assign(reinterpret_cast<const char*>(p + pos + 12 + n), m);
        pos += 12 + n + m;
        d.records.push_back(r);
    }
    if (pos != d.indexOffset)
        return d.error = "index offset is not the end of the records", d;
    uint32_t g = ReadLE32(p + d.indexOffset);
    if (b.Size() != d.indexOffset + 4 + size_t(g) * 16)
        return d.error = "index does not fill the rest of the file", d;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < g; ++i) {
        const uint8_t* q = p + d.indexOffset + 4 + 16 * i;
        FileGroup grp{HistoryTime::Read(q), ReadLE32(q + 8), ReadLE32(q + 12)};
        uint32_t expected = sum < offsets.size() ? offsets[sum] : d.indexOffset;
        if (grp.offset != expected)
            return d.error = "group " + std::to_string(i) + " offset", d;
        sum += grp.count;
        d.groups.push_back(grp);
    }
    if (sum != d.recordCount || sum != d.records.size())
        return d.error = "record count is not the sum of the group counts", d;
    return d;
}

} // namespace vireo::test
