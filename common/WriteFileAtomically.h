#pragma once
// Rewriting a whole file so that it is either the old file or the new one, never a cut
// one: the text goes to a temporary file in the same directory, which is renamed over the
// old file only once it is complete on disk.

#include <string>
#include <string_view>

namespace vireo {

// False when the new contents could not be written whole; the old file is untouched then
// and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

} // namespace vireo
