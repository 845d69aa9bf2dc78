#include "protocols/HttpMetafile.h"

#include "common/AsciiCase.h"
#include "common/LineSplitter.h"
#include "engine/TextCoding.h"

namespace vireo {

bool IsMetafile(std::string_view contentType, std::string_view head) {
    std::string type = AsciiLower(TrimText(std::string(contentType)));
    if (type != "audio/x-realaudio" && type != "audio/x-pn-realaudio")
        return false;
    // A stream's own file starts with its signature.
    return head.size() > 4 && head.substr(0, 3) != ".ra" && head.substr(0, 4) != ".RMF";
}

std::optional<MetafileLinks> ReadMetafile(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.empty())
        return std::nullopt;
    MetafileLinks links;
    std::vector<std::string> lines;
    for (std::string_view text_line : SplitLines(text)) {
        std::string line(text_line);
        if (!line.empty() && line.front() == ';')
            line.erase(0, 1);
        TrimTextInPlace(line);
        lines.push_back(line);
    }
    links.target = lines.front();
    links.more.assign(lines.begin() + 1, lines.end());
    return links;
}

} // namespace vireo
