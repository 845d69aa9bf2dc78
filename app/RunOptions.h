#pragma once
// The options of one run that both front ends share: where this run downloads, how many
// downloads run at once and the addresses it starts with. They hold for this run only
// and are never stored.

#include <ostream>
#include <string>
#include <vector>

namespace vireo {

class CVireoDoc;

// A list file's text and the name its lines are told by.
struct RunList {
    std::string name;
    std::string text;
};

struct RunOptions {
    bool headless = false;           // --headless was given
    std::string dir;                 // -d: download directory for this run only
    int jobs = 0;                    // -j: parallel downloads for this run only; 0 = stored
    std::vector<std::string> inputs; // -i: list files whose addresses are added; "-" stdin
    bool quiet = false;              // -q: only errors and the summary
    std::vector<std::string> urls;   // addresses as given
};

// Applies -d and -j as this run's overrides of the settings and reads the list files
// ("-" is standard input). Before the document starts. False with the reason (one line,
// no "vireo: ") in error when one of them cannot be used.
bool ApplyRunOptions(const RunOptions& options, std::vector<RunList>& lists, std::string& error);

// Adds the addresses of the command line and of the lists to a started document; with
// neither, the last list is restored. A list file counts as addresses given: the last
// list stays where it is then. Each address that is refused is told on err with the
// reason, a list's line by its number; lines starting with '#' and blank lines are passed
// over silently. Returns how many were refused.
int AddRunAddresses(CVireoDoc& doc, const RunOptions& options, const std::vector<RunList>& lists,
                    std::ostream& err);

// Why text (a word of the command line, a line of a list) names no address that could
// be queued, or empty when it does.
std::string WhyNoAddress(const std::string& text);

} // namespace vireo
