#include "peers/FreePort.h"

#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vireo::test {

namespace {

bool CanBind(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

// Outgoing connections take their local ports from this range; ours stay below it.
int EphemeralStart() {
    QFile range("/proc/sys/net/ipv4/ip_local_port_range");
    if (range.open(QIODevice::ReadOnly)) {
        int start = range.readAll().simplified().split(' ').value(0).toInt();
        if (start > 12000)
            return start;
    }
    return 32768;
}

} // namespace

quint16 FreePortRange(int count) {
    const int low = 10000;
    const int high = EphemeralStart() - count;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int first = QRandomGenerator::global()->bounded(low, high);
        bool allFree = true;
        for (int port = first; allFree && port < first + count; ++port)
            allFree = CanBind(port);
        if (allFree)
            return static_cast<quint16>(first);
    }
    return 0;
}

quint16 FreePort() {
    return FreePortRange(1);
}

} // namespace vireo::test
