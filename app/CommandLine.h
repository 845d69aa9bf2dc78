#pragma once
// The program's command line, the same for the window and the terminal.

#include "app/RunOptions.h"

#include <string>
#include <vector>

namespace vireo {

struct ParsedArgs {
    enum Action { Run, Help, Version, Error };
    Action action = Run;
    RunOptions options;
    std::string error; // one line, for Error
};

inline constexpr int kMaxJobs = 32;

// args are the words after the program name. Addresses are taken as they stand: one that
// is no address is told and skipped when the run adds them. "-" alone is an address
// word, not an option (it is refused as no address).
ParsedArgs ParseArgs(const std::vector<std::string>& args);
const char* UsageText();

} // namespace vireo
