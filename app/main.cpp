// Vireo's entry point.
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {
const char kUsage[] =
    "Usage: vireo [options] [URL...]\n"
    "Download manager for HTTP, HTTPS, FTP and PNM addresses.\n"
    "\n"
    "Options:\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Environment:\n"
    "  VIREO_CONFIG  settings file (default $XDG_CONFIG_HOME/Tarnwell/Vireo.conf)\n"
    "  VIREO_HOME    data directory for the history and the last list\n"
    "                (default $XDG_DATA_HOME/Tarnwell/Vireo)\n";
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vireo %s\n", VIREO_VERSION);
            return 0;
        }
    }
    // The downloading front ends are not built yet: say so instead of pretending.
    std::fputs("vireo: downloading is not available in this build yet; see --help\n", stderr);
    return 2;
}
