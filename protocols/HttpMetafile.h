#pragma once
// A metafile: a small text answer that names the address of a stream (and perhaps more
// of them, one a line) instead of being the file itself.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// Whether an answer of this Content-Type that starts with these bytes (at least its
// first five) is a metafile and not the stream itself.
bool IsMetafile(std::string_view contentType, std::string_view head);

struct MetafileLinks {
    std::string target;            // where the item goes on (the first line)
    std::vector<std::string> more; // the other addresses, for new items
};

// Reads the addresses of a metafile's text (which ends at its first NUL): one a line,
// a leading ';' and surrounding blanks dropped. Nothing when the text is empty.
std::optional<MetafileLinks> ReadMetafile(std::string_view text);

} // namespace vireo
