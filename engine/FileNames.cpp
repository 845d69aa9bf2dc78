#include "engine/FileNames.h"

#include <cstdint>
#include <cstring>

namespace vireo {

std::string SanitizeFileName(std::string_view name) {
    size_t lastDot = name.rfind('.');
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c == '.') {
            if (i == lastDot)
                out += '.';
            continue;
        }
        if (c < ' ' || c >= 0x80 || std::strchr("\"*+/:<>?\\|", c))
            out += '_';
        else
            out += char(c);
    }
    while (out.size() > 1 && out.back() == ' ')
        out.pop_back();
    return out;
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
