#pragma once
// Ports for servers the tests start on 127.0.0.1.

#include <QtGlobal>

namespace vireo::test {

// A TCP port on 127.0.0.1 that nobody listens on right now. It is picked at random below
// the kernel's range for outgoing connections, so a client's local port rarely takes it
// before the server binds; still, a server that finds it taken should try another.
quint16 FreePort();

// The first of count consecutive free ports (passive FTP data ports, for instance).
quint16 FreePortRange(int count);

} // namespace vireo::test
