#pragma once
// The size of a file as a directory listing line shows it.

#include <cstdint>
#include <string_view>

namespace vireo {

// The size in a listing line, or -1 when the line shows none. A Unix-style line
// (permissions, links, owner, [group,] size, month, day, time or year, name) is read
// from its left, so a name with spaces does not matter; any other line is read from its
// right: before the last four fields (month, day, time or year, name) comes the size.
int64_t ListingSize(std::string_view line);

} // namespace vireo
