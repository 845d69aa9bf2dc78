#pragma once
// The options of one run that both front ends share: where this run downloads, how many
// downloads run at once and the addresses it starts with. They hold for this run only
// and are never stored.

#include <string>
#include <vector>

namespace vireo {

class ByteBuffer;
class CVireoDoc;

struct RunOptions {
    bool headless = false;           // --headless was given
    std::string dir;                 // -d: download directory for this run only
    int jobs = 0;                    // -j: parallel downloads for this run only; 0 = stored
    std::vector<std::string> inputs; // -i: list files whose addresses are added
    bool quiet = false;              // -q: only errors and the summary
    std::vector<std::string> urls;   // addresses as given
};

// Applies -d and -j as this run's overrides of the settings and reads the list files
// into lists. Before the document starts. False with the reason (one line, no "vireo: ")
// in error when one of them cannot be used.
bool ApplyRunOptions(const RunOptions& options, std::vector<ByteBuffer>& lists, std::string& error);

// Adds the addresses of the command line and of the lists to a started document; with
// neither, the last list is restored. A list file counts as addresses given: the last
// list stays where it is then.
void AddRunAddresses(CVireoDoc& doc, const RunOptions& options,
                     const std::vector<ByteBuffer>& lists);

} // namespace vireo
