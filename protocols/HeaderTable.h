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
    // The decimal value of a header (its leading digits), -1 when it is missing or not a
    // number, kTooLarge when its digits name a value beyond 2^63 - 1.
    int64_t FindNumber(std::string_view name) const;
    static constexpr int64_t kTooLarge = -2;

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
// Why a range answer cannot be what it says (its range ends before it starts or past the
// file, its Content-Length is not the range's, or the two end past 2^63 - 1); empty when
// it can. contentLength is -1 when the answer has none.
std::string RangeProblem(const ContentRange& range, int64_t contentLength);

} // namespace vireo
