#include "downloads/ListText.h"

#include "common/LineSplitter.h"

namespace vireo {

std::vector<std::string_view> SplitListText(std::string_view text) {
    return SplitLines(text.substr(0, text.find('\0')));
}

} // namespace vireo
