#include "app/CommandLine.h"

#include "engine/Checksum.h"
#include "engine/RateLimiter.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsKeys.h"

#include <charconv>
#include <climits>

namespace vireo {

namespace {
const char kUsage[] =
    "Usage: vireo [--headless] [options] [URL...]\n"
    "Download manager for HTTP, HTTPS, FTP and PNM addresses.\n"
    "Without URLs the last list is restored (when \"keeplist\" is on).\n"
    "An address needs a scheme (http://nas/f, http://[::1]:8080/f) unless its host has a\n"
    "dot (example.org/f); one that is not an address is told and skipped.\n"
    "\n"
    "Options (each holds for this run only; the settings file is not changed):\n"
    "  --headless           run in the terminal (also chosen when there is no display)\n"
    "  -d, --dir DIR        download directory\n"
    "  -j, --jobs N         parallel downloads, 1 to 32\n"
    "  -s, --segments N     connections per HTTP download, 1 to 16\n"
    "  -i, --input FILE     add the addresses of a list file (one a line; '-' reads\n"
    "                       standard input); lines starting with '#' are comments, and\n"
    "                       each line skipped otherwise is told with its number\n"
    "  -o, --output NAME    with one address: the file's name or path\n"
    "  -q, --quiet          print only errors and the summary\n"
    "  --json               one JSON object a line on standard output for each start,\n"
    "                       progress (once a second), finish and failure, then a\n"
    "                       summary; fields: event, url, file, bytes, size, speed,\n"
    "                       error, text, checksum, variant (a stream's: uri, bandwidth,\n"
    "                       resolution)\n"
    "  --timeout S          seconds without progress before an attempt fails\n"
    "  --tries N            attempts per download\n"
    "  --proxy URL          fetch every address through this HTTP proxy\n"
    "  --no-proxy           use no proxy, whatever the environment or the settings say\n"
    "  --user USER[:PASS]   the login to give a server that asks for one\n"
    "  --ask-password       read the password for --user from the terminal\n"
    "  --ca-certificate FILE  trust the certificate authorities in FILE (PEM) too\n"
    "  --ftp-passive        passive FTP (EPSV, then PASV; over IPv6 EPSV only)\n"
    "  --header 'Name: value'  add this line to every HTTP request (repeatable)\n"
    "  --user-agent TEXT    the User-Agent of every HTTP request\n"
    "  --links URL          download the page and queue the links it holds\n"
    "  --accept LIST        with --links: only links with these extensions (zip,iso)\n"
    "  --reject LIST        with --links: all links but those with these extensions\n"
    "  --log-dir DIR        keep each download's transfer log in DIR (NAME.log)\n"
    "  --limit-rate RATE    read at most RATE bytes a second in all (500k, 2M; 0 = no\n"
    "                       limit), instead of the setting \"maxspeed\"\n"
    "  --checksum TYPE=HEX  with one address: the digest the file must have (sha-256,\n"
    "                       sha-1 or md5); a file that differs fails\n"
    "  --hls-max-height N   of a stream's variants, record the one of the highest\n"
    "                       bandwidth that has at most N lines (0 = no cap; when\n"
    "                       no variant fits the caps, the lowest), instead of the\n"
    "                       setting \"hlsmaxheight\"\n"
    "  --hls-max-bandwidth RATE  the same with at most RATE bits a second (800k,\n"
    "                       2M, k and M as for --limit-rate), instead of the\n"
    "                       setting \"hlsmaxbandwidth\"\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Exit status: 0 when every download is done, 1 when any failed or an address was\n"
    "skipped, 2 for bad usage.\n"
    "\n"
    "Signals: each of these stops the transfers, keeps partial files for a resume,\n"
    "saves the last list as a normal end does and exits with 128 + its number:\n"
    "  SIGINT (Ctrl-C)  130\n"
    "  SIGHUP           129 (the terminal closed; ignored under nohup)\n"
    "  SIGTERM          143\n"
    "  SIGPIPE          141 (the reader of the output went away, as with | head)\n"
    "\n"
    "Transfer logs (n.log, while the setting \"log\" is on or --log-dir is given) are\n"
    "written to $XDG_STATE_HOME/Tarnwell/Vireo/logs, or $VIREO_HOME/logs, and removed\n"
    "at exit; --log-dir keeps a copy of each.\n"
    "\n"
    "Environment:\n"
    "  VIREO_CONFIG  settings file (default $XDG_CONFIG_HOME/Tarnwell/Vireo.conf)\n"
    "  VIREO_HOME    data directory for the history, the last list and the logs\n"
    "                (default $XDG_DATA_HOME/Tarnwell/Vireo)\n"
    "  http_proxy, https_proxy, ftp_proxy, all_proxy, no_proxy (or in upper case)\n"
    "                in a terminal run, the proxy of each scheme and the hosts reached\n"
    "                directly, instead of the stored proxy; --proxy and --no-proxy win\n";

struct ValueOption {
    char shortName; // 0 for none
    const char* longName;
};
constexpr ValueOption kValueOptions[] = {
    {'d', "--dir"},    {'j', "--jobs"},         {'i', "--input"},        {'o', "--output"},
    {0, "--proxy"},    {0, "--user"},           {0, "--timeout"},        {0, "--tries"},
    {0, "--header"},   {0, "--user-agent"},     {0, "--links"},          {0, "--accept"},
    {0, "--reject"},   {0, "--ca-certificate"}, {0, "--log-dir"},        {0, "--limit-rate"},
    {0, "--checksum"}, {'s', "--segments"},     {0, "--hls-max-height"}, {0, "--hls-max-bandwidth"},
};

// A whole number from low to high, or -1.
int Number(const std::string& text, int low, int high) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return -1;
    return value;
}

bool HasControl(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

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
        if (arg == "--json") {
            o.json = true;
            continue;
        }

        if (arg == "--no-proxy" || arg == "--ask-password" || arg == "--ftp-passive") {
            (arg == "--no-proxy"       ? o.noProxy
             : arg == "--ask-password" ? o.askPassword
                                       : o.ftpPassive) = true;
            continue;
        }

        // Options with a value: -dDIR, -d DIR, --dir=DIR, --dir DIR.
        const ValueOption* option = nullptr;
        std::string value;
        bool attached = false;
        for (const ValueOption& candidate : kValueOptions) {
            std::string longName = candidate.longName;
            if (candidate.shortName && arg[1] == candidate.shortName) {
                option = &candidate;
                attached = arg.size() > 2;
                value = arg.substr(2);
            } else if (arg == longName) {
                option = &candidate;
            } else if (arg.rfind(longName + "=", 0) == 0) {
                option = &candidate;
                attached = true;
                value = arg.substr(longName.size() + 1);
            }
            if (option)
                break;
        }
        if (!option)
            return Fail("unknown option '" + arg + "'");
        const std::string name = option->longName;
        if (!attached) {
            if (i + 1 >= args.size())
                return Fail("option '" + name + "' needs a value");
            value = args[++i];
        }
        if (value.empty())
            return Fail("option '" + name + "' needs a value");

        if (name == "--dir") {
            o.dir = value;
        } else if (name == "--input") {
            o.inputs.push_back(value);
        } else if (name == "--jobs") {
            if ((o.jobs = Number(value, 1, kMaxJobs)) < 0)
                return Fail("--jobs takes a number from 1 to 32, not '" + value + "'");
        } else if (name == "--segments") {
            if ((o.segments = Number(value, 1, 16)) < 0)
                return Fail("--segments takes a number from 1 to 16, not '" + value + "'");
        } else if (name == "--timeout") {
            if ((o.timeout = Number(value, 1, 86400)) < 0)
                return Fail("--timeout takes seconds from 1 to 86400, not '" + value + "'");
        } else if (name == "--tries") {
            if ((o.tries = Number(value, 1, 1000)) < 0)
                return Fail("--tries takes a number from 1 to 1000, not '" + value + "'");
        } else if (name == "--header") {
            size_t colon = value.find(':');
            if (HasControl(value))
                return Fail("--header takes one line of text");
            if (colon == 0 || colon == std::string::npos || value.find(' ') < colon)
                return Fail("--header takes 'Name: value', not '" + value + "'");
            o.headers.push_back(value);
        } else if (name == "--user-agent") {
            if (HasControl(value))
                return Fail("--user-agent takes one line of text");
            o.userAgent = value;
        } else if (name == "--proxy") {
            if (!ParseProxyText(value).found)
                return Fail("--proxy takes host:port or http://host:port, not '" + value + "'");
            o.proxy = value;
        } else if (name == "--output") {
            o.output = value;
        } else if (name == "--user") {
            o.user = value;
        } else if (name == "--links") {
            o.links.push_back(value);
        } else if (name == "--accept") {
            o.accept = value;
        } else if (name == "--reject") {
            o.reject = value;
        } else if (name == "--ca-certificate") {
            o.caFile = value;
        } else if (name == "--log-dir") {
            o.logDir = value;
        } else if (name == "--limit-rate") {
            if ((o.limitRate = ParseRateText(value)) < 0)
                return Fail("--limit-rate takes bytes a second, with k or M after the number "
                            "(500k, 2M), not '" +
                            value + "'");
        } else if (name == "--hls-max-height") {
            if ((o.hlsMaxHeight = Number(value, 0, keys::kMaxHlsHeight)) < 0)
                return Fail("--hls-max-height takes lines from 0 to " +
                            std::to_string(keys::kMaxHlsHeight) + ", not '" + value + "'");
        } else if (name == "--hls-max-bandwidth") {
            o.hlsMaxBandwidth = ParseRateText(value);
            if (o.hlsMaxBandwidth < 0 || o.hlsMaxBandwidth > INT_MAX)
                return Fail("--hls-max-bandwidth takes bits a second, with k or M after the "
                            "number (800k, 2M), not '" +
                            value + "'");
        } else if (name == "--checksum") {
            if (!ParseDigestText(value).Valid())
                return Fail("--checksum takes sha-256=HEX, sha-1=HEX or md5=HEX, not '" + value +
                            "'");
            o.checksum = value;
        }
    }
    if (o.noProxy && !o.proxy.empty())
        return Fail("--proxy and --no-proxy exclude each other");
    if (!o.accept.empty() && !o.reject.empty())
        return Fail("--accept and --reject exclude each other");
    if ((!o.accept.empty() || !o.reject.empty()) && o.links.empty())
        return Fail("--accept and --reject filter the links of --links pages");
    if (o.askPassword && (o.user.empty() || o.user.find(':') != std::string::npos))
        return Fail("--ask-password needs --user USER without a password");
    if (!o.checksum.empty() && (o.urls.size() != 1 || !o.inputs.empty() || !o.links.empty()))
        return Fail("--checksum belongs to exactly one address (a list file gives each its own)");
    if (!o.output.empty() && (o.urls.size() != 1 || !o.inputs.empty() || !o.links.empty()))
        return Fail("--output names the file of exactly one address");
    return result;
}

} // namespace vireo
