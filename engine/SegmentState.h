#pragma once
// Which byte ranges of a download in several segments are still missing, kept with the
// partial file beside its validators so that a later start continues every segment.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// Bytes first up to (not including) end.
struct ByteRange {
    int64_t first = 0;
    int64_t end = 0;
    int64_t Length() const { return end - first; }
    bool operator==(const ByteRange&) const = default;
};

struct SegmentState {
    int64_t total = -1;             // size of the whole file; -1: no segments are kept
    std::vector<ByteRange> missing; // ascending, apart, inside the file

    bool Empty() const { return total < 0; }
    int64_t MissingBytes() const;
    bool operator==(const SegmentState&) const = default;
};

// "total N" and one "missing FIRST END" line a range.
std::string FormatSegments(const SegmentState& state);
// Reads what FormatSegments wrote. The text comes from the file system: anything that
// could not have been written by FormatSegments (ranges out of order, overlapping or past
// the total, unknown lines) makes the whole state empty.
SegmentState ParseSegments(std::string_view text);

} // namespace vireo
