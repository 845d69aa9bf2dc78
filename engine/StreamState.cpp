#include "engine/StreamState.h"

#include <charconv>

namespace vireo {

namespace {
bool ReadNumber(std::string_view text, int64_t* value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && *value >= 0;
}
} // namespace

std::string FormatStreamState(const StreamState& state) {
    if (state.Empty())
        return {};
    std::string out = "playlist " + state.playlist + "\nvariant " + state.variant + "\nnext " +
                      std::to_string(state.next) + "\nbytes " + std::to_string(state.bytes) + "\n";
    if (!state.map.empty())
        out += "map " + state.map + "\n";
    return out;
}

StreamState ParseStreamState(std::string_view text) {
    StreamState state;
    bool next = false, bytes = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return {};
        std::string_view name = line.substr(0, space), value = line.substr(space + 1);
        if (name == "playlist")
            state.playlist = value;
        else if (name == "variant")
            state.variant = value;
        else if (name == "map")
            state.map = value;
        else if (name == "next" && ReadNumber(value, &state.next))
            next = true;
        else if (name == "bytes" && ReadNumber(value, &state.bytes))
            bytes = true;
        else
            return {};
    }
    if (!next || !bytes || state.playlist.empty() || state.variant.empty())
        return {};
    return state;
}

} // namespace vireo
