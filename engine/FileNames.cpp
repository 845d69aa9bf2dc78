#include "engine/FileNames.h"

#include "common/PercentCoding.h"

#include <cstdint>
#include <cstring>

namespace vireo {

namespace {
bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at the start of text (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF), or 0 when none starts there.
size_t Utf8SequenceLength(std::string_view text) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong below
        if (lead == 0xED)
            high = 0x9F; // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0; // a stray continuation byte, C0, C1 or F5..FF
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (!IsContinuation(byte(i)))
            return 0;
    return length;
}

bool IsReplacedAscii(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::strchr("\"*/:<>?\\|", c) != nullptr;
}

// U+0080..U+009F, the C1 controls, written C2 80..C2 9F.
bool IsC1Control(std::string_view sequence) {
    return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
           static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

} // namespace

std::string SanitizeFileName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        size_t length = Utf8SequenceLength(name.substr(i));
        std::string_view sequence = name.substr(i, length);
        if (length == 0 || (length == 1 && IsReplacedAscii(static_cast<unsigned char>(name[i]))) ||
            IsC1Control(sequence)) {
            out += '_';
            i += length == 0 ? 1 : length;
        } else {
            out += sequence;
            i += length;
        }
    }
    if (!out.empty() && out[0] == '.')
        out[0] = '_';
    while (out.size() > 1 && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string FileNameFromUrl(std::string_view address) {
    address = address.substr(0, address.find('#'));
    size_t slash = address.rfind('/');
    std::string_view last = slash == std::string_view::npos ? address : address.substr(slash + 1);
    std::string name = PercentDecode(last.substr(0, last.find('?')), PercentDigits::Checked);
    if (name == "." || name == "..")
        return std::string();
    return SanitizeFileName(name);
}

namespace {
// Adds one to a run of decimal digits of any length (an empty run reads as 0).
std::string IncrementDigits(std::string_view digits) {
    size_t first = digits.find_first_not_of('0');
    std::string number(first == std::string_view::npos ? std::string_view("0")
                                                       : digits.substr(first));
    for (size_t i = number.size(); i-- > 0;) {
        if (number[i] != '9') {
            ++number[i];
            return number;
        }
        number[i] = '0';
    }
    return "1" + number;
}
} // namespace

std::string NextNumberedName(std::string_view name) {
    size_t dot = name.rfind('.');
    std::string_view base = name.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    size_t digitsStart = base.size();
    while (digitsStart > 0 && base[digitsStart - 1] >= '0' && base[digitsStart - 1] <= '9')
        --digitsStart;
    std::string out(base.substr(0, digitsStart));
    out += IncrementDigits(base.substr(digitsStart));
    out += ext;
    return out;
}

std::string LastPathComponent(std::string_view path) {
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace vireo
