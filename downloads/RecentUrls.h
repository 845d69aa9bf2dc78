#pragma once
// The addresses last confirmed in the insert-link dialog, newest first, kept in
// "prefer.dat" in the start directory: one address a line, each ended by CR LF.

#include <string>
#include <string_view>
#include <vector>

namespace vireo {

class RecentUrls {
public:
    static constexpr size_t kMaxEntries = 25;

    // The lines of a file's text in order; LF, CR LF or CR end a line, empty lines are
    // passed over.
    static std::vector<std::string> Parse(std::string_view text);
    // Every entry followed by CR LF.
    static std::string Text(const std::vector<std::string>& urls);
    // Puts url at the top; an identical (case-sensitive) entry moves rather than repeats,
    // and the oldest entries beyond kMaxEntries drop out. An empty url changes nothing.
    static void Confirm(std::vector<std::string>& urls, const std::string& url);

    // "prefer.dat" in the "cwd" directory.
    static std::string FilePath();
    // The stored list; empty when the file is missing or unreadable.
    static std::vector<std::string> Load();
    // Replaces the stored list whole; false when it could not be written (the old file is
    // then left as it was).
    static bool Save(const std::vector<std::string>& urls);
};

} // namespace vireo
