#pragma once
// The text of a list file: one address a line, each optionally followed by option lines
// that belong to it. An option line starts with a space or a tab and holds NAME=VALUE:
//
//   https://example.org/file.iso
//     checksum=sha-256=0123…   the digest the file must have (sha-256, sha-1 or md5)
//     limit-rate=500k          the download's own speed limit (bytes a second, k or M)
//
// Every other line is as it always was: trimmed, an address; blank lines and lines
// starting with '#' say nothing.

#include "downloads/DownloadItem.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// The lines of a list text. A line ends at CR, LF or CR LF; the first NUL ends the text;
// a last line without an end counts. Lines are returned as they stand (not trimmed).
std::vector<std::string_view> SplitListText(std::string_view text);

// An address line with its options, or an option line that could not be taken.
struct ListLine {
    size_t number = 0; // from 1
    std::string text;  // the address (trimmed), or the refused option line (trimmed)
    ItemOptions options;
    std::string problem; // why the option line was refused; empty for an address
    bool operator==(const ListLine&) const = default;
};

// Whether the line is an option line (indented NAME=VALUE, NAME of letters, digits, '-').
bool IsListOptionLine(std::string_view line);
// The addresses and refused option lines of a list text, in line order.
std::vector<ListLine> ParseListText(std::string_view text);
// The option lines that give an entry its options, each ending in CR LF; empty without.
std::string ListOptionLines(const ItemOptions& options);

} // namespace vireo
