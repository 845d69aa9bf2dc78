// Starts a web server, prints its port and waits to be killed; the peer tests check that
// the server does not outlive it.

#include "peers/NginxPeer.h"

#include <cstdio>
#include <unistd.h>

int main() {
    vireo::test::NginxPeer nginx;
    testing::AssertionResult started = nginx.Start();
    if (!started) {
        std::fprintf(stderr, "%s\n", started.message());
        return 1;
    }
    std::printf("%u\n", unsigned(nginx.HttpPort()));
    std::fflush(stdout);
    for (;;)
        pause();
}
