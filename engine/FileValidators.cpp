#include "engine/FileValidators.h"

#include <charconv>

namespace vireo {

namespace {
constexpr size_t kMaxValue = 512;

bool Printable(std::string_view text) {
    if (text.empty() || text.size() > kMaxValue)
        return false;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}
} // namespace

std::string FormatValidators(const FileValidators& v) {
    std::string out;
    auto line = [&out](const char* name, const std::string& value) {
        if (Printable(value))
            out += std::string(name) + " " + value + "\n";
    };
    line("etag", v.etag);
    line("modified", v.lastModified);
    line("mdtm", v.mdtm);
    if (v.total >= 0)
        out += "total " + std::to_string(v.total) + "\n";
    return out;
}

FileValidators ParseValidators(std::string_view text) {
    FileValidators v;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        size_t space = line.find(' ');
        if (space == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, space);
        std::string_view value = line.substr(space + 1);
        if (!Printable(value))
            continue;
        if (name == "etag")
            v.etag = StrongEtag(value);
        else if (name == "modified")
            v.lastModified = std::string(value);
        else if (name == "mdtm")
            v.mdtm = std::string(value);
        else if (name == "total") {
            int64_t n = -1;
            auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec == std::errc() && ptr == value.data() + value.size() && n >= 0)
                v.total = n;
        }
    }
    return v;
}

std::string StrongEtag(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    // A weak tag (W/"...") only says two versions are alike: a byte range of one is no
    // part of the other.
    if (value.size() < 2 || value.front() != '"' || value.back() != '"' || !Printable(value))
        return {};
    if (value.substr(1, value.size() - 2).find('"') != std::string_view::npos)
        return {};
    return std::string(value);
}

} // namespace vireo
