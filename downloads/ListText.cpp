#include "downloads/ListText.h"

#include "common/LineSplitter.h"
#include "engine/RateLimiter.h"
#include "engine/TextCoding.h"

namespace vireo {

std::vector<std::string_view> SplitListText(std::string_view text) {
    return SplitLines(text.substr(0, text.find('\0')));
}

bool IsListOptionLine(std::string_view line) {
    if (line.empty() || (line[0] != ' ' && line[0] != '\t'))
        return false;
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return false;
    size_t equals = line.find('=', start);
    if (equals == std::string_view::npos || equals == start)
        return false;
    for (char c : line.substr(start, equals - start))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-'))
            return false;
    return true;
}

namespace {
// Applies one option line to options; the reason when it cannot.
std::string ApplyOption(std::string_view option, ItemOptions& options) {
    size_t equals = option.find('=');
    std::string_view name = option.substr(0, equals);
    std::string_view value = option.substr(equals + 1);
    if (name == "checksum") {
        ExpectedDigest digest = ParseDigestText(value);
        if (!digest.Valid())
            return "checksum takes sha-256=HEX, sha-1=HEX or md5=HEX";
        options.digest = digest;
        return {};
    }
    if (name == "limit-rate") {
        int64_t rate = ParseRateText(value);
        if (rate < 0)
            return "limit-rate takes bytes a second, with k or M after the number";
        options.speedLimit = rate;
        return {};
    }
    std::string why = "unknown option '";
    why.append(name).append("'");
    return why;
}
} // namespace

std::vector<ListLine> ParseListText(std::string_view text) {
    std::vector<ListLine> lines;
    size_t address = std::string::npos; // the line the next option lines belong to
    std::vector<std::string_view> split = SplitListText(text);
    for (size_t i = 0; i < split.size(); ++i) {
        std::string trimmed = TrimText(split[i]);
        if (trimmed.empty() || trimmed.front() == '#')
            continue;
        ListLine line;
        line.number = i + 1;
        line.text = std::move(trimmed);
        if (!IsListOptionLine(split[i])) {
            lines.push_back(std::move(line));
            address = lines.size() - 1;
            continue;
        }
        line.problem = address == std::string::npos
                           ? "an option line without an address above it"
                           : ApplyOption(line.text, lines[address].options);
        if (!line.problem.empty())
            lines.push_back(std::move(line));
    }
    return lines;
}

std::string ListOptionLines(const ItemOptions& options) {
    std::string text;
    if (options.digest.Valid())
        text += "  checksum=" + options.digest.Text() + "\r\n";
    if (options.speedLimit > 0)
        text += "  limit-rate=" + std::to_string(options.speedLimit) + "\r\n";
    return text;
}

} // namespace vireo
