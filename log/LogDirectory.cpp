#include "log/LogDirectory.h"

#include <QDir>

#include <cstdlib>

namespace vireo {

namespace {
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

std::string TransferLogDirectory() {
    const char* home = std::getenv("VIREO_HOME");
    if (home && *home)
        return WithoutTrailingSlash(home) + "/logs";
    // The base directory specification ignores a relative XDG_STATE_HOME.
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base = state && state[0] == '/'
                           ? WithoutTrailingSlash(state)
                           : WithoutTrailingSlash(QDir::homePath().toStdString()) + "/.local/state";
    return base + "/Tarnwell/Vireo/logs";
}

} // namespace vireo
