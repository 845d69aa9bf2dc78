#pragma once
// The history file "history.vro" as an image in memory: parsed from the bytes
// of a whole file, changed by the store's operations, and written back whole. Pure
// logic: no files, no settings, no clock (the caller passes the time).
//
// Layout, all integers little-endian:
//   header  16 bytes: magic 0x21216968 ("hi!!"), record count, file length, index offset
//   records from offset 16 to the index offset: timestamp (8), file name length (2),
//           file name, URL length (2), URL
//   index   group count G (4), then G day groups of 16 bytes: creation timestamp (8),
//           offset of the group's first record (4), record count (4)

#include "common/ByteBuffer.h"
#include "history/HistoryEntry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vireo {

struct HistoryGroup {
    HistoryTime created; // only year, month and day are compared
    uint32_t offset = 0; // file offset of the group's first record
    uint32_t count = 0;  // may be 0
    bool operator==(const HistoryGroup&) const = default;
};

class HistoryFile {
public:
    static constexpr uint32_t kMagic = 0x21216968;
    static constexpr uint32_t kHeaderSize = 16;
    static constexpr uint32_t kGroupSize = 16;
    // A fresh file: the header and an index of one empty group.
    static constexpr uint32_t kFreshSize = kHeaderSize + 4 + kGroupSize;

    enum class ParseResult {
        Ok,
        TooShort, // fewer than 16 bytes: loading fails, the file stays as it is
        Invalid,  // wrong magic, wrong length or an inconsistent index or record area
    };

    // An empty history whose one day group was created at now.
    static HistoryFile Fresh(const HistoryTime& now);
    // Checks every invariant of the format before accepting a file; reads nothing
    // outside [data, data + size).
    static ParseResult Parse(const uint8_t* data, size_t size, HistoryFile& out);
    static ParseResult Parse(const ByteBuffer& bytes, HistoryFile& out) {
        return Parse(bytes.Data(), bytes.Size(), out);
    }
    // The file's bytes; false when it would not fit the format's 32-bit lengths.
    bool Serialize(ByteBuffer& out) const;

    // The records as the history window reads them: from offset 16 up to the header's
    // index offset, without the index. Tolerant of damage: nothing without the magic,
    // and the walk ends at the first record that does not fit before the index offset
    // or the end of the data.
    static std::vector<HistoryEntry> ReadRecords(const uint8_t* data, size_t size);

    // Records that a transfer into file from url started at now: replaces the first
    // record from today's day group on with the same file name (ASCII case ignored), or
    // appends one, counted in the last group. A day without a group gets one first.
    void Add(const HistoryTime& now, std::string_view file, std::string_view url);
    // Deletes the first record from today's group on with that file name (ASCII case
    // ignored). False when there is no group for today or no such record.
    bool Remove(const HistoryTime& now, std::string_view file);
    // Deletes the n oldest records: whole groups first, then the first records of the
    // group that becomes first (which stays, even with 0 records). When n is at least
    // the total, the result is a fresh history created at now.
    void Trim(uint64_t n, const HistoryTime& now);

    const std::vector<HistoryEntry>& Records() const { return m_records; }
    uint32_t RecordCount() const { return uint32_t(m_records.size()); }
    // The index with the offsets the file has.
    std::vector<HistoryGroup> Groups() const;

private:
    struct Group {
        HistoryTime created;
        uint32_t count = 0;
    };

    // Position of the first group created on now's day, or npos.
    size_t TodaysGroup(const HistoryTime& now) const;
    // Index of the first record of group g.
    size_t FirstRecordOf(size_t g) const;
    // Index of the first record at or after first whose file name equals file.
    size_t FindFile(size_t first, std::string_view file) const;
    // Byte size of a record in the file.
    static uint64_t RecordSize(const HistoryEntry& e) { return 12 + e.file.size() + e.url.size(); }

    std::vector<HistoryEntry> m_records;
    std::vector<Group> m_groups;
};

} // namespace vireo
