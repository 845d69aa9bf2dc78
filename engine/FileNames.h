#pragma once
// Local file names derived from addresses.

#include <string>
#include <string_view>

namespace vireo {

// A name that is safe to create in the download directory and still reads as the server
// meant it: every '.' and every valid UTF-8 letter stays. '/', the characters other
// systems cannot store (" * : < > ? \ |), control characters (C0, DEL, C1) and bytes
// that are not part of valid UTF-8 become '_'; a leading '.' becomes '_' so the file is
// never hidden (and never "." or ".."). Trailing spaces are dropped (never the first
// character).
std::string SanitizeFileName(std::string_view name);
// The local file name an address suggests: the text after its last '/', cut at a query
// ('?') or fragment ('#'), percent-decoded and sanitized. A '/' inside a query still
// counts as the last '/', so get?f=dir/name.zip gives name.zip. Empty when the address
// names no file (it ends in '/', or its last segment is "." or "..").
std::string FileNameFromUrl(std::string_view address);
// file.zip -> file1.zip, file1.zip -> file2.zip, a9 -> a10.
std::string NextNumberedName(std::string_view name);
// Text after the last '/' of a local path (the whole text without one).
std::string LastPathComponent(std::string_view path);

} // namespace vireo
