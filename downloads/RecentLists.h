#pragma once
// The four list files opened or saved last, newest first, kept in the settings file beside
// section "setup" (section "Recent File List", keys File1 to File4) so that the File menu
// can offer them again.

#include <string>
#include <vector>

namespace vireo {

class RecentLists {
public:
    static constexpr int kMost = 4;

    // The names stored now, newest first; empty entries are left out.
    static std::vector<std::string> Names();
    // Puts name first (once), keeping at most kMost.
    static void Note(const std::string& name);
    // Drops name, as when its file cannot be read any more.
    static void Forget(const std::string& name);

private:
    static void Store(const std::vector<std::string>& names);
};

} // namespace vireo
