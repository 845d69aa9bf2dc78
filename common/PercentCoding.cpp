#include "common/PercentCoding.h"

#include "common/Hex.h"

#include <algorithm>

namespace vireo {

std::string PercentDecode(std::string_view text, PercentDigits digits) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = HexDigitValue(text[i + 1]), low = HexDigitValue(text[i + 2]);
            if (digits == PercentDigits::Unchecked || (high >= 0 && low >= 0)) {
                out += char(std::max(0, high) * 16 + std::max(0, low));
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string PercentEncode(std::string_view text, bool (*escape)(unsigned char byte)) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (escape(static_cast<unsigned char>(c))) {
            out += '%';
            AppendHexByte(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace vireo
