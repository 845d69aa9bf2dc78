#include "engine/TextCoding.h"

#include "common/PercentCoding.h"

#include <cstdint>

namespace vireo {

namespace {
bool IsBlank(unsigned char c) {
    return c <= 0x20;
}
} // namespace

std::string PercentEscape(std::string_view text) {
    return PercentEncode(
        text, [](unsigned char c) { return c < '!' || c >= 0x80 || c == '#' || c == '%'; });
}

std::string Base64Encode(std::string_view text) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    text = text.substr(0, text.find('\0'));
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= text.size(); i += 3) {
        uint32_t n = (uint32_t(uint8_t(text[i])) << 16) | (uint32_t(uint8_t(text[i + 1])) << 8) |
                     uint8_t(text[i + 2]);
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    size_t left = text.size() - i;
    if (left > 0) {
        uint32_t n = uint32_t(uint8_t(text[i])) << 16;
        if (left == 2)
            n |= uint32_t(uint8_t(text[i + 1])) << 8;
        out += kAlphabet[n >> 18];
        out += kAlphabet[(n >> 12) & 63];
        out += left == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string MaskText(std::string_view text) {
    return std::string(text.size(), '*');
}

std::string TrimText(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

void TrimTextInPlace(std::string& text) {
    auto drop = [](char ch) {
        auto c = static_cast<unsigned char>(ch);
        return c <= 0x20 || c >= 0x80;
    };
    size_t begin = 0, end = text.size();
    while (begin < end && drop(text[begin]))
        ++begin;
    while (end > begin && drop(text[end - 1]))
        --end;
    text = text.substr(begin, end - begin);
}

std::string FirstLine(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin]))
        ++begin;
    text.remove_prefix(begin);
    text = text.substr(0, text.find_first_of("\r\n"));
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(0, end));
}

} // namespace vireo
