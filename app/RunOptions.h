#pragma once
// The options of one run that both front ends share: where this run downloads, how many
// downloads run at once and the addresses it starts with. They hold for this run only
// and are never stored.

#include <cstdint>
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
    int segments = 0;                // -s: connections per HTTP download; 0 = stored
    std::vector<std::string> inputs; // -i: list files whose addresses are added; "-" stdin
    bool quiet = false;              // -q: only errors and the summary
    bool json = false;               // --json: one JSON object a line for other programs
    std::vector<std::string> urls;   // addresses as given
    // For this run only as well; the stored settings are never changed.
    std::string output;       // -o: the file's name or path (one address, terminal runs only)
    std::string proxy;        // --proxy: every address through this proxy
    bool noProxy = false;     // --no-proxy: no proxy at all
    std::string user;         // --user USER[:PASS]: the login a server asks for
    bool askPassword = false; // --ask-password: read the password from the terminal
    std::string caFile;       // --ca-certificate: extra trusted CAs (PEM)
    bool ftpPassive = false;  // --ftp-passive
    int timeout = 0;          // --timeout seconds; 0 = stored
    int tries = 0;            // --tries; 0 = stored
    std::vector<std::string> headers; // --header "Name: value", after the request's own
    std::string userAgent;            // --user-agent
    std::vector<std::string> links;   // --links: pages whose links are queued
    std::string accept, reject;       // --accept / --reject: the link filter's extensions
    std::string logDir;               // --log-dir: transfer logs kept there
    int64_t limitRate = -1;           // --limit-rate, bytes per second; -1 = stored
    std::string checksum;             // --checksum TYPE=HEX for the one address
    int hlsMaxHeight = -1;            // --hls-max-height, lines; -1 = stored, 0 = no cap
    int64_t hlsMaxBandwidth = -1;     // --hls-max-bandwidth, bits/s; -1 = stored, 0 = no cap
};

// Applies the options as this run's overrides of the settings (directory, parallel
// downloads, segments, time-out, attempts, passive FTP, CA file, link filter, transfer
// logs, the cap on a stream's variant), the proxy rule and the request's extra lines, and
// reads the list files ("-" is standard input). A terminal run also takes its proxies from the
// environment (http_proxy and the rest) unless --proxy or --no-proxy is given. Before the document
// starts. False with the reason (one line, no "vireo: ") in error when one of them cannot be used.
bool ApplyRunOptions(const RunOptions& options, bool terminal, std::vector<RunList>& lists,
                     std::string& error);

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
