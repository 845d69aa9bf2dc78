#pragma once
// The command line of the terminal front end.

#include <string>
#include <vector>

namespace vireo {

struct HeadlessOptions {
    bool headless = false;           // --headless was given
    std::string dir;                 // -d: download directory for this run only
    int jobs = 0;                    // -j: parallel downloads for this run only; 0 = stored
    std::vector<std::string> inputs; // -i: list files whose addresses are added
    bool quiet = false;              // -q: only errors and the summary
    std::vector<std::string> urls;   // addresses as given
};

struct ParsedArgs {
    enum Action { Run, Help, Version, Error };
    Action action = Run;
    HeadlessOptions options;
    std::string error; // one line, for Error
};

inline constexpr int kMaxJobs = 32;

// args are the words after the program name. Every address must be valid; the error
// names the first one that is not.
ParsedArgs ParseArgs(const std::vector<std::string>& args);
const char* UsageText();

} // namespace vireo
