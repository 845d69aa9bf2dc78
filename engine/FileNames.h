#pragma once
// Local file names derived from addresses.

#include <string>
#include <string_view>

namespace vireo {

// Replaces characters no file name should hold by '_', keeps only the last '.', drops
// trailing spaces (never the first character).
std::string SanitizeFileName(std::string_view name);
// file.zip -> file1.zip, file1.zip -> file2.zip, a9 -> a10.
std::string NextNumberedName(std::string_view name);
// Text after the last '/' of a local path (the whole text without one).
std::string LastPathComponent(std::string_view path);

} // namespace vireo
