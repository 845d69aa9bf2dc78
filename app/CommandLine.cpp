#include "app/CommandLine.h"

#include <charconv>

namespace vireo {

namespace {
const char kUsage[] =
    "Usage: vireo [--headless] [options] [URL...]\n"
    "Download manager for HTTP, HTTPS, FTP and PNM addresses.\n"
    "Without URLs the last list is restored (when \"keeplist\" is on).\n"
    "\n"
    "Options:\n"
    "  --headless       run in the terminal (also chosen when there is no display)\n"
    "  -d, --dir DIR    download directory for this run (not stored)\n"
    "  -j, --jobs N     parallel downloads for this run, 1 to 32 (not stored)\n"
    "  -i, --input FILE add the addresses of a list file (one per line)\n"
    "  -q, --quiet      print only errors and the summary\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status: 0 when every download is done, 1 when any failed, 2 for bad usage.\n"
    "\n"
    "Signals: each of these stops the transfers, keeps partial files for a resume,\n"
    "saves the last list as a normal end does and exits with 128 + its number:\n"
    "  SIGINT (Ctrl-C)  130\n"
    "  SIGHUP           129 (the terminal closed; ignored under nohup)\n"
    "  SIGTERM          143\n"
    "  SIGPIPE          141 (the reader of the output went away, as with | head)\n"
    "\n"
    "Transfer logs (n.log, while the setting \"log\" is on) are written to\n"
    "$XDG_STATE_HOME/Tarnwell/Vireo/logs, or $VIREO_HOME/logs, and removed at exit.\n"
    "\n"
    "Environment:\n"
    "  VIREO_CONFIG  settings file (default $XDG_CONFIG_HOME/Tarnwell/Vireo.conf)\n"
    "  VIREO_HOME    data directory for the history, the last list and the logs\n"
    "                (default $XDG_DATA_HOME/Tarnwell/Vireo)\n";

struct ValueOption {
    char shortName;
    const char* longName;
};
constexpr ValueOption kDir{'d', "--dir"};
constexpr ValueOption kJobs{'j', "--jobs"};
constexpr ValueOption kInput{'i', "--input"};

ParsedArgs Fail(std::string reason) {
    ParsedArgs result;
    result.action = ParsedArgs::Error;
    result.error = std::move(reason) + " (see --help)";
    return result;
}

} // namespace

const char* UsageText() {
    return kUsage;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args) {
    ParsedArgs result;
    RunOptions& o = result.options;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            o.urls.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            result.action = ParsedArgs::Help;
            return result;
        }
        if (arg == "--version") {
            result.action = ParsedArgs::Version;
            return result;
        }
        if (arg == "--headless") {
            o.headless = true;
            continue;
        }
        if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
            continue;
        }

        // Options with a value: -dDIR, -d DIR, --dir=DIR, --dir DIR.
        const ValueOption* option = nullptr;
        std::string value;
        bool attached = false;
        for (const ValueOption* candidate : {&kDir, &kJobs, &kInput}) {
            std::string longName = candidate->longName;
            if (arg[1] == candidate->shortName) {
                option = candidate;
                attached = arg.size() > 2;
                value = arg.substr(2);
            } else if (arg == longName) {
                option = candidate;
            } else if (arg.rfind(longName + "=", 0) == 0) {
                option = candidate;
                attached = true;
                value = arg.substr(longName.size() + 1);
            }
            if (option)
                break;
        }
        if (!option)
            return Fail("unknown option '" + arg + "'");
        if (!attached) {
            if (i + 1 >= args.size())
                return Fail(std::string("option '") + option->longName + "' needs a value");
            value = args[++i];
        }
        if (value.empty())
            return Fail(std::string("option '") + option->longName + "' needs a value");

        if (option == &kDir) {
            o.dir = value;
        } else if (option == &kInput) {
            o.inputs.push_back(value);
        } else {
            int jobs = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), jobs);
            if (ec != std::errc() || end != value.data() + value.size() || jobs < 1 ||
                jobs > kMaxJobs)
                return Fail("--jobs takes a number from 1 to 32, not '" + value + "'");
            o.jobs = jobs;
        }
    }
    return result;
}

} // namespace vireo
