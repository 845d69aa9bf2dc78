#include "history/HistoryFile.h"

#include "common/AsciiCase.h"
#include "common/Endian.h"

#include <limits>

namespace vireo {

namespace {

constexpr size_t npos = size_t(-1);

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string_view Cut(std::string_view text) {
    return text.substr(0, HistoryEntry::kMaxText);
}

// Reads one record at pos, which must end at or before end. False when it does not fit.
bool ReadRecord(const uint8_t* data, size_t end, size_t& pos, HistoryEntry& out) {
    if (end - pos < HistoryTime::kSize + 2)
        return false;
    HistoryTime time = HistoryTime::Read(data + pos);
    size_t at = pos + HistoryTime::kSize;
    size_t fileLen = ReadLE16(data + at);
    at += 2;
    if (end - at < fileLen + 2)
        return false;
    const char* file = reinterpret_cast<const char*>(data + at);
    at += fileLen;
    size_t urlLen = ReadLE16(data + at);
    at += 2;
    if (end - at < urlLen)
        return false;
    out.time = time;
    out.file.assign(file, fileLen);
    out.url.assign(reinterpret_cast<const char*>(data + at), urlLen);
    pos = at + urlLen;
    return true;
}

} // namespace

HistoryFile HistoryFile::Fresh(const HistoryTime& now) {
    HistoryFile f;
    f.m_groups.push_back({now, 0});
    return f;
}

HistoryFile::ParseResult HistoryFile::Parse(const uint8_t* data, size_t size, HistoryFile& out) {
    if (size < kHeaderSize)
        return ParseResult::TooShort;
    if (ReadLE32(data) != kMagic || ReadLE32(data + 8) != size)
        return ParseResult::Invalid;
    const uint32_t headerCount = ReadLE32(data + 4);
    const size_t indexOffset = ReadLE32(data + 12);
    if (indexOffset < kHeaderSize || indexOffset > size || size - indexOffset < 4)
        return ParseResult::Invalid;
    // The index fills the rest of the file exactly.
    const uint64_t groupCount = ReadLE32(data + indexOffset);
    if (uint64_t(size - indexOffset - 4) != groupCount * kGroupSize)
        return ParseResult::Invalid;

    // The record area holds whole records up to the index offset exactly.
    HistoryFile image;
    std::vector<size_t> offsets; // offset of every record
    size_t pos = kHeaderSize;
    while (pos < indexOffset) {
        offsets.push_back(pos);
        HistoryEntry e;
        if (!ReadRecord(data, indexOffset, pos, e))
            return ParseResult::Invalid;
        image.m_records.push_back(std::move(e));
    }
    if (headerCount != image.m_records.size())
        return ParseResult::Invalid;

    // Groups tile the records in order: each starts where the previous one's records end.
    size_t next = 0; // index of the next group's first record
    for (uint64_t g = 0; g < groupCount; ++g) {
        const uint8_t* p = data + indexOffset + 4 + g * kGroupSize;
        const uint32_t offset = ReadLE32(p + 8);
        const uint32_t count = ReadLE32(p + 12);
        size_t expected = next < offsets.size() ? offsets[next] : indexOffset;
        if (offset != expected || count > image.m_records.size() - next)
            return ParseResult::Invalid;
        image.m_groups.push_back({HistoryTime::Read(p), count});
        next += count;
    }
    if (next != image.m_records.size())
        return ParseResult::Invalid;

    out = std::move(image);
    return ParseResult::Ok;
}

bool HistoryFile::Serialize(ByteBuffer& out) const {
    uint64_t recordBytes = 0;
    for (const HistoryEntry& e : m_records)
        recordBytes += RecordSize(e);
    const uint64_t indexOffset = kHeaderSize + recordBytes;
    const uint64_t total = indexOffset + 4 + uint64_t(m_groups.size()) * kGroupSize;
    if (total > std::numeric_limits<uint32_t>::max())
        return false;

    ByteBuffer bytes;
    bytes.Resize(size_t(total));
    uint8_t* p = bytes.Data();
    WriteLE32(p, kMagic);
    WriteLE32(p + 4, RecordCount());
    WriteLE32(p + 8, uint32_t(total));
    WriteLE32(p + 12, uint32_t(indexOffset));
    p += kHeaderSize;
    for (const HistoryEntry& e : m_records) {
        e.time.Write(p);
        p += HistoryTime::kSize;
        WriteLE16(p, uint16_t(e.file.size()));
        p += 2;
        p = std::copy(e.file.begin(), e.file.end(), p);
        WriteLE16(p, uint16_t(e.url.size()));
        p += 2;
        p = std::copy(e.url.begin(), e.url.end(), p);
    }
    WriteLE32(p, uint32_t(m_groups.size()));
    p += 4;
    for (const HistoryGroup& g : Groups()) {
        g.created.Write(p);
        WriteLE32(p + 8, g.offset);
        WriteLE32(p + 12, g.count);
        p += kGroupSize;
    }
    out = std::move(bytes);
    return true;
}

std::vector<HistoryEntry> HistoryFile::ReadRecords(const uint8_t* data, size_t size) {
    std::vector<HistoryEntry> records;
    if (size < kHeaderSize || ReadLE32(data) != kMagic)
        return records;
    size_t end = ReadLE32(data + 12);
    if (end > size)
        end = size;
    size_t pos = kHeaderSize;
    HistoryEntry e;
    while (pos < end && ReadRecord(data, end, pos, e))
        records.push_back(e);
    return records;
}

std::vector<HistoryGroup> HistoryFile::Groups() const {
    std::vector<HistoryGroup> groups;
    groups.reserve(m_groups.size());
    uint64_t offset = kHeaderSize;
    size_t record = 0;
    for (const Group& g : m_groups) {
        groups.push_back({g.created, uint32_t(offset), g.count});
        for (uint32_t i = 0; i < g.count; ++i)
            offset += RecordSize(m_records[record++]);
    }
    return groups;
}

size_t HistoryFile::TodaysGroup(const HistoryTime& now) const {
    for (size_t g = 0; g < m_groups.size(); ++g)
        if (m_groups[g].created.SameDay(now))
            return g;
    return npos;
}

size_t HistoryFile::FirstRecordOf(size_t g) const {
    size_t first = 0;
    for (size_t i = 0; i < g; ++i)
        first += m_groups[i].count;
    return first;
}

size_t HistoryFile::FindFile(size_t first, std::string_view file) const {
    for (size_t i = first; i < m_records.size(); ++i)
        if (EqualNoCase(m_records[i].file, file))
            return i;
    return npos;
}

void HistoryFile::Add(const HistoryTime& now, std::string_view file, std::string_view url) {
    file = Cut(file);
    url = Cut(url);
    size_t today = TodaysGroup(now);
    if (today == npos) {
        m_groups.push_back({now, 0});
        today = m_groups.size() - 1;
    }
    HistoryEntry record{now, std::string(file), std::string(url)};
    size_t found = FindFile(FirstRecordOf(today), file);
    if (found != npos) {
        m_records[found] = std::move(record); // in place: its group keeps it
    } else {
        m_records.push_back(std::move(record));
        m_groups.back().count += 1;
    }
}

bool HistoryFile::Remove(const HistoryTime& now, std::string_view file) {
    file = Cut(file);
    size_t today = TodaysGroup(now);
    if (today == npos)
        return false;
    size_t found = FindFile(FirstRecordOf(today), file);
    if (found == npos)
        return false;
    m_records.erase(m_records.begin() + long(found));
    // The group that held the record loses it (the last group, unless the clock went
    // back to a day that already has an earlier group).
    size_t first = 0;
    for (Group& g : m_groups) {
        if (found < first + g.count) {
            g.count -= 1;
            break;
        }
        first += g.count;
    }
    return true;
}

void HistoryFile::Trim(uint64_t n, const HistoryTime& now) {
    uint64_t sum = 0;
    size_t keep = npos; // the first group that survives
    for (size_t g = 0; g < m_groups.size(); ++g) {
        sum += m_groups[g].count;
        if (sum > n) {
            keep = g;
            break;
        }
    }
    if (keep == npos) {
        *this = Fresh(now);
        return;
    }
    size_t dropped = FirstRecordOf(keep);
    n -= dropped;
    m_groups.erase(m_groups.begin(), m_groups.begin() + long(keep));
    // sum > n guarantees the group now first holds more than n records.
    m_groups.front().count -= uint32_t(n);
    m_records.erase(m_records.begin(), m_records.begin() + long(dropped + n));
}

} // namespace vireo
