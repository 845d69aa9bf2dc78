// Vireo's entry point.
#include "app/CommandLine.h"
#if VIREO_WIDGETS
#include "app/gui/GuiApp.h"
#endif
#include "app/headless/HeadlessSession.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {
#if VIREO_WIDGETS
bool DisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool UseTerminal(const vireo::RunOptions& options) {
    return options.headless || !DisplayAvailable();
}
#endif
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
#if VIREO_WIDGETS
    int status = UseTerminal(parsed.options) ? vireo::RunHeadless(parsed.options, argc, argv)
                                             : vireo::RunGui(parsed.options, argc, argv);
#else
    int status = vireo::RunHeadless(parsed.options, argc, argv); // built without the window
#endif
    // Everything the program owns is saved and closed by now. A host-name lookup that was
    // abandoned may still be running in the network library's thread pool, and that pool
    // does not survive the teardown of static objects; so leave without it.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
