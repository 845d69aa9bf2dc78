#pragma once
// One record of the download history and its 8-byte timestamp.

#include <cstdint>
#include <string>

namespace vireo {

// Local time as the history file stores it: year (16-bit), month 1..12, day 1..31, hour,
// minute, second, then one zero byte.
struct HistoryTime {
    static constexpr size_t kSize = 8;

    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;

    // The current local time.
    static HistoryTime Now();
    // Day groups compare year, month and day only.
    bool SameDay(const HistoryTime& other) const {
        return year == other.year && month == other.month && day == other.day;
    }
    bool operator==(const HistoryTime&) const = default;

    void Write(uint8_t* p) const;
    static HistoryTime Read(const uint8_t* p);
};

struct HistoryEntry {
    // File names and URLs longer than this are cut to it (their lengths are 16-bit).
    static constexpr size_t kMaxText = 65535;

    HistoryTime time;
    std::string file;
    std::string url;

    bool operator==(const HistoryEntry&) const = default;
};

// The date column of the history window: "%.2d.%.2d.%d" from month, day and year, so
// 8 December 1998 reads "12.08.1998".
std::string FormatHistoryDate(const HistoryTime& time);

} // namespace vireo
