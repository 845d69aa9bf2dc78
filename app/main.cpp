// Vireo's entry point.
#include "app/gui/GuiApp.h"
#include "app/headless/HeadlessOptions.h"
#include "app/headless/HeadlessSession.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
bool DisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool UseTerminal(const vireo::HeadlessOptions& options) {
    return options.headless || !DisplayAvailable();
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vireo::ParsedArgs parsed = vireo::ParseArgs(args);
    switch (parsed.action) {
    case vireo::ParsedArgs::Help:
        std::fputs(vireo::UsageText(), stdout);
        return 0;
    case vireo::ParsedArgs::Version:
        std::printf("vireo %s\n", VIREO_VERSION);
        return 0;
    case vireo::ParsedArgs::Error:
        std::fprintf(stderr, "vireo: %s\n", parsed.error.c_str());
        return 2;
    case vireo::ParsedArgs::Run:
        break;
    }
    if (UseTerminal(parsed.options))
        return vireo::RunHeadless(parsed.options, argc, argv);
    return vireo::RunGui(parsed.options, argc, argv);
}
