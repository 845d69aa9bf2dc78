#pragma once
// Small text routines around addresses: percent escaping, base64 for Basic authorization,
// masking for logs, trimming. Decoding %XX is common/PercentCoding.h.

#include <string>
#include <string_view>

namespace vireo {

// Controls, space, bytes of 0x80 and above, '#' and '%' become %XX (upper-case hex).
std::string PercentEscape(std::string_view text);
// RFC 2045 base64 of the bytes up to the first NUL, without line breaks.
std::string Base64Encode(std::string_view text);
// As many '*' as the text has bytes.
std::string MaskText(std::string_view text);
// Drops leading and trailing bytes 0x00..0x20.
std::string TrimText(std::string_view text);
// In-place variant for buffers: also drops bytes of 0x80 and above at both ends.
void TrimTextInPlace(std::string& text);
// Skips leading bytes 0x00..0x20, cuts at the first CR or LF, drops trailing 0x00..0x20.
std::string FirstLine(std::string_view text);

} // namespace vireo
