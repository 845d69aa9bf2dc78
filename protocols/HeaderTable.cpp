#include "protocols/HeaderTable.h"

#include "common/AsciiCase.h"
#include "common/LineSplitter.h"

#include <cstdio>

namespace vireo {

size_t HeaderTable::FindEnd(std::string_view b, size_t from) {
    for (size_t i = from; i + 1 < b.size(); ++i) {
        if (b[i] == '\n' && b[i + 1] == '\n')
            return i + 2;
        if (i + 3 < b.size() && b[i] == '\r' && b[i + 1] == '\n' && b[i + 2] == '\r' &&
            b[i + 3] == '\n')
            return i + 4;
    }
    return 0;
}

void HeaderTable::Parse(std::string_view header) {
    Clear();
    std::vector<std::string> lines;
    LineSplitter splitter(header);
    bool endedByLf = false;
    for (std::string_view line; splitter.Next(&line);) {
        // An LF right after a line-ending LF belongs to it: no empty line between them.
        bool lf = splitter.End() == "\n";
        if (line.empty() && lf && endedByLf) {
            endedByLf = false;
            continue;
        }
        endedByLf = lf;
        lines.emplace_back(line);
    }

    for (const std::string& l : lines) {
        size_t colon = l.find(':');
        if (colon == std::string::npos) {
            m_names.push_back(l);
            m_values.push_back(l);
            continue;
        }
        size_t valueStart = colon + 1;
        if (valueStart < l.size() && l[valueStart] == ' ')
            ++valueStart;
        m_names.push_back(l.substr(0, colon));
        m_values.push_back(l.substr(valueStart));
    }
    if (!lines.empty()) {
        // The first line is the status line; it never splits at a ':'.
        m_names[0] = lines[0];
        m_values[0] = lines[0];
        int status = 0;
        if (std::sscanf(lines[0].c_str(), "%*s %d", &status) == 1)
            m_status = status;
    }
}

std::string HeaderTable::Find(std::string_view name) const {
    std::string wanted = AsciiLower(name);
    for (size_t i = 0; i < m_names.size(); ++i)
        if (AsciiLower(m_names[i]) == wanted)
            return m_values[i];
    return {};
}

namespace {
// Appends one decimal digit to n; false when the result would not fit.
bool AddDigit(int64_t* n, char c) {
    int digit = c - '0';
    if (*n > (INT64_MAX - digit) / 10)
        return false;
    *n = *n * 10 + digit;
    return true;
}
} // namespace

int64_t HeaderTable::FindNumber(std::string_view name) const {
    std::string value = Find(name);
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    if (i == value.size() || value[i] < '0' || value[i] > '9')
        return -1;
    int64_t n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        if (!AddDigit(&n, value[i]))
            return kTooLarge;
    }
    return n;
}

bool ParseContentRange(std::string_view text, ContentRange* range) {
    *range = ContentRange();
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!StartsWithNoCase(text, "bytes"))
        return false;
    text.remove_prefix(5);
    while (!text.empty() && (text.front() == ' ' || text.front() == '='))
        text.remove_prefix(1);
    auto number = [&](int64_t* out) {
        if (!text.empty() && text.front() == '*') {
            text.remove_prefix(1);
            return true;
        }
        if (text.empty() || text.front() < '0' || text.front() > '9')
            return false;
        int64_t n = 0;
        while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
            if (!AddDigit(&n, text.front()))
                return false;
            text.remove_prefix(1);
        }
        *out = n;
        return true;
    };
    if (!number(&range->first))
        return false;
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
        if (!number(&range->last))
            return false;
    }
    if (text.empty() || text.front() != '/')
        return false;
    text.remove_prefix(1);
    return number(&range->total);
}

std::string RangeProblem(const ContentRange& r, int64_t contentLength) {
    auto text = [&] {
        auto part = [](int64_t n) { return n < 0 ? std::string("*") : std::to_string(n); };
        std::string words = "bytes " + part(r.first) + "-" + part(r.last) + "/" + part(r.total);
        if (contentLength >= 0)
            words = "Content-Length " + std::to_string(contentLength) + ", " + words;
        return words;
    };
    if (r.last >= 0 && r.first >= 0 && r.last < r.first)
        return text() + ": the range ends before it starts";
    if (r.last >= 0 && r.total >= 0 && r.last >= r.total)
        return text() + ": the range ends past the file";
    if (contentLength >= 0 && r.first >= 0) {
        if (contentLength > INT64_MAX - r.first)
            return text() + ": the range ends past any file";
        if (r.last >= 0 && contentLength - 1 != r.last - r.first)
            return text() + ": the length is not the range's";
    }
    return {};
}

} // namespace vireo
