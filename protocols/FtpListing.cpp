#include "protocols/FtpListing.h"

#include <array>
#include <string>
#include <vector>

namespace vireo {

namespace {
bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool AllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!IsDigit(c))
            return false;
    return true;
}

// A decimal number that fills the whole field and fits 63 bits; -1 otherwise.
int64_t Number(std::string_view field) {
    if (!AllDigits(field) || field.size() > 18)
        return -1;
    int64_t value = 0;
    for (char c : field)
        value = value * 10 + (c - '0');
    return value;
}

std::vector<std::string_view> Fields(std::string_view line, size_t most) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (fields.size() < most) {
        while (pos < line.size() && IsSpace(line[pos]))
            ++pos;
        if (pos == line.size())
            break;
        size_t end = pos;
        while (end < line.size() && !IsSpace(line[end]))
            ++end;
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

bool IsMonth(std::string_view field) {
    static constexpr std::array<std::string_view, 12> kMonths{
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (field.size() != 3)
        return false;
    std::string lower;
    for (char c : field)
        lower += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (std::string_view month : kMonths)
        if (lower == month)
            return true;
    return false;
}

bool IsDay(std::string_view field) {
    return (field.size() == 1 || field.size() == 2) && AllDigits(field);
}

// "12:34" or a year.
bool IsTimeOrYear(std::string_view field) {
    if (field.size() == 4 && AllDigits(field))
        return true;
    size_t colon = field.find(':');
    return colon != std::string_view::npos && colon > 0 && AllDigits(field.substr(0, colon)) &&
           AllDigits(field.substr(colon + 1));
}

// "-rw-r--r--", "drwxr-xr-x", "lrwxrwxrwx", with an ACL or attribute mark at the end.
bool IsUnixMode(std::string_view field) {
    if (field.size() < 10 || std::string_view("-dlbcpsD").find(field[0]) == std::string_view::npos)
        return false;
    for (size_t i = 1; i < 10; ++i)
        if (std::string_view("rwxsStTlL-").find(field[i]) == std::string_view::npos)
            return false;
    return true;
}

int64_t UnixSize(std::string_view line) {
    // Mode, links, owner, group, size, month, day, time: the name comes after at most
    // eight fields, so nothing of it is read.
    std::vector<std::string_view> f = Fields(line, 8);
    for (size_t month = 3; month + 2 < f.size(); ++month) {
        if (IsMonth(f[month]) && IsDay(f[month + 1]) && IsTimeOrYear(f[month + 2])) {
            int64_t size = Number(f[month - 1]);
            if (size >= 0)
                return size;
        }
    }
    return -1;
}

int64_t SizeBeforeLastFourFields(std::string_view line) {
    size_t end = line.size();
    for (int field = 0; field < 4; ++field) {
        while (end > 0 && !IsSpace(line[end - 1]))
            --end;
        while (end > 0 && IsSpace(line[end - 1]))
            --end;
    }
    size_t start = end;
    while (start > 0 && !IsSpace(line[start - 1]))
        --start;
    return Number(line.substr(start, end - start));
}
} // namespace

int64_t ListingSize(std::string_view line) {
    std::vector<std::string_view> first = Fields(line, 1);
    if (!first.empty() && IsUnixMode(first[0]))
        return UnixSize(line);
    return SizeBeforeLastFourFields(line);
}

} // namespace vireo
