#pragma once
// %XX escapes: a '%' and two hexadecimal digits stand for one byte.

#include <string>
#include <string_view>

namespace vireo {

// What a '%' means when the two characters after it are not both hexadecimal digits.
enum class PercentDigits {
    Checked,   // it is an ordinary '%'
    Unchecked, // it still takes the two characters; one that is no digit counts as 0
};

// The text with each %XX replaced by its byte. A '%' with fewer than two characters after
// it always stays as it is.
std::string PercentDecode(std::string_view text, PercentDigits digits);

// The text with each byte for which escape(byte) holds written as %XX (upper-case digits).
std::string PercentEncode(std::string_view text, bool (*escape)(unsigned char byte));

} // namespace vireo
