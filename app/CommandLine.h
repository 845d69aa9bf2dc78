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

// args are the words after the program name. Every address must be valid; the error
// names the first one that is not.
ParsedArgs ParseArgs(const std::vector<std::string>& args);
const char* UsageText();

} // namespace vireo
