#pragma once
// Replacing a small file whole without ever leaving a half-written one: the new content
// goes to a temporary file beside the old one (same directory, so the same file
// system), is flushed to disk, and is renamed over the old file. Until the rename the
// old file is untouched; after it the new one is complete.

#include <cstddef>
#include <string>

namespace vireo {

// False when any step fails; the old file (if any) is then left as it was and the
// temporary file is removed. A new file gets mode 0600; a replaced one keeps its mode.
bool ReplaceFileContents(const std::string& path, const void* data, size_t size);

} // namespace vireo
