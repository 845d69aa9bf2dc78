#include "downloads/LinkFilter.h"

#include "common/AsciiCase.h"
#include "settings/SettingsStore.h"

namespace vireo {

LinkFilter LinkFilter::FromSettings() {
    LinkFilter filter;
    filter.mode = Settings().GetInt(keys::Filter);
    if (filter.mode == RetrieveOnly)
        filter.extensions = ParseList(Settings().GetString(keys::PassOnly));
    else if (filter.mode == GetAllExcept)
        filter.extensions = ParseList(Settings().GetString(keys::Except));
    return filter;
}

std::vector<std::string> LinkFilter::ParseList(std::string_view list) {
    std::vector<std::string> entries;
    std::string lower = AsciiLower(list);
    size_t pos = 0;
    while (pos <= lower.size()) {
        size_t end = lower.find(';', pos);
        if (end == std::string::npos)
            end = lower.size();
        std::string entry = lower.substr(pos, end - pos);
        if (!entry.empty()) {
            size_t dot = entry.find('.');
            if (dot != std::string::npos && dot + 1 < entry.size())
                entry = entry.substr(dot + 1);
            entries.push_back(entry);
        }
        pos = end + 1;
    }
    return entries;
}

bool LinkFilter::Passes(std::string_view ext) const {
    std::string lower = AsciiLower(ext);
    bool listed = false;
    for (const std::string& e : extensions)
        if (e == lower)
            listed = true;
    if (mode == RetrieveOnly)
        return listed;
    if (mode == GetAllExcept)
        return !listed;
    return true;
}

} // namespace vireo
