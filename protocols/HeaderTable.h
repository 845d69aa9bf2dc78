#pragma once
// The parsed header of an HTTP response: the status code and the lines as name/value
// pairs, the status line first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

class HeaderTable {
public:
    // Length of the header at the start of bytes (through the CR LF CR LF or LF LF that
    // ends it), or 0 while it has not ended.
    // The search may start at from: bytes before it were searched already.
    static size_t FindEnd(std::string_view bytes, size_t from = 0);

    void Parse(std::string_view header);
    void Clear() { *this = HeaderTable(); }

    int Status() const { return m_status; }
    size_t Count() const { return m_names.size(); }
    const std::string& Name(size_t i) const { return m_names[i]; }
    const std::string& Value(size_t i) const { return m_values[i]; }
    // The value of the first line with this name, compared without regard to case;
    // empty when there is none.
    std::string Find(std::string_view name) const;
    // The decimal value of a header, or -1 when it is missing or not a number.
    int64_t FindNumber(std::string_view name) const;

private:
    int m_status = 0;
    std::vector<std::string> m_names;
    std::vector<std::string> m_values;
};

// "bytes first-last/total" of a Content-Range; fields that are absent or "*" are -1.
struct ContentRange {
    int64_t first = -1, last = -1, total = -1;
};
bool ParseContentRange(std::string_view text, ContentRange* range);

} // namespace vireo
