#pragma once
// The text of a list file: one address a line.

#include <string_view>
#include <vector>

namespace vireo {

// The lines of a list text. A line ends at CR, LF or CR LF; the first NUL ends the text;
// a last line without an end counts. Lines are returned as they stand (not trimmed).
std::vector<std::string_view> SplitListText(std::string_view text);

} // namespace vireo
