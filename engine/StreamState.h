#pragma once
// Where the recording of a stream playlist stands, kept with the partial file beside its
// stamp so that a later start continues at the next segment.

#include <cstdint>
#include <string>
#include <string_view>

namespace vireo {

struct StreamState {
    std::string playlist; // the address the item was given
    std::string variant;  // the media playlist recorded (the playlist itself if no master)
    int64_t next = -1;    // media sequence number of the next segment; -1: nothing kept
    int64_t bytes = 0;    // the file's length after the last whole segment
    std::string map;      // the initialisation section the file holds, empty for none

    bool Empty() const { return next < 0; }
    bool operator==(const StreamState&) const = default;
};

// One "name value" line a field.
std::string FormatStreamState(const StreamState& state);
// Reads what FormatStreamState wrote; anything else (the text comes from the file system)
// gives the empty state.
StreamState ParseStreamState(std::string_view text);

} // namespace vireo
