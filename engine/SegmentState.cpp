#include "engine/SegmentState.h"

#include <charconv>

namespace vireo {

namespace {
// More ranges than any plan of 16 connections leaves: the value stays small.
constexpr size_t kMaxRanges = 256;

bool ReadNumber(std::string_view text, int64_t* value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && *value >= 0;
}
} // namespace

int64_t SegmentState::MissingBytes() const {
    int64_t sum = 0;
    for (const ByteRange& range : missing)
        sum += range.Length();
    return sum;
}

std::string FormatSegments(const SegmentState& state) {
    if (state.Empty())
        return {};
    std::string out = "total " + std::to_string(state.total) + "\n";
    for (const ByteRange& range : state.missing)
        out += "missing " + std::to_string(range.first) + " " + std::to_string(range.end) + "\n";
    return out;
}

SegmentState ParseSegments(std::string_view text) {
    SegmentState state;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty())
            continue;
        if (line.starts_with("total ") && state.total < 0) {
            if (!ReadNumber(line.substr(6), &state.total))
                return {};
            continue;
        }
        if (!line.starts_with("missing ") || state.total < 0 || state.missing.size() == kMaxRanges)
            return {};
        std::string_view numbers = line.substr(8);
        size_t space = numbers.find(' ');
        ByteRange range;
        if (space == std::string_view::npos ||
            !ReadNumber(numbers.substr(0, space), &range.first) ||
            !ReadNumber(numbers.substr(space + 1), &range.end))
            return {};
        int64_t after = state.missing.empty() ? 0 : state.missing.back().end;
        if (range.first < after || range.end <= range.first || range.end > state.total)
            return {};
        state.missing.push_back(range);
    }
    return state;
}

} // namespace vireo
