#pragma once
// Which links harvested from a page are queued: only listed extensions, or all but them.

#include <string>
#include <string_view>
#include <vector>

namespace vireo {

struct LinkFilter {
    enum Mode { None = 0, GetAllExcept = 1, RetrieveOnly = 3 };
    int mode = None;
    std::vector<std::string> extensions; // lower-case, without "*."

    // Mode and list from the settings "filter", "passonly" and "except".
    static LinkFilter FromSettings();
    // "*.RA; *.ram;;*.rm" -> ra, ram, rm
    static std::vector<std::string> ParseList(std::string_view list);
    // ext is the text after the last '.' of the link's local file name.
    bool Passes(std::string_view ext) const;
};

} // namespace vireo
