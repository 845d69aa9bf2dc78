#pragma once
// A server that comes up late: a port of 127.0.0.1 on which nothing listens (so
// connections are refused) until Open, and which from then on passes every connection on
// to a real server on another port, both ways, byte for byte. The client meets the real
// server's behaviour once the port is open.

#include <QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

namespace vireo::test {

class LateRelay {
public:
    LateRelay(); // picks a free port; does not listen yet
    ~LateRelay();
    LateRelay(const LateRelay&) = delete;
    LateRelay& operator=(const LateRelay&) = delete;

    quint16 Port() const { return m_port; }
    // Starts listening; connections go on to 127.0.0.1:targetPort.
    bool Open(quint16 targetPort);
    // Connections accepted since Open.
    int Accepted() const { return int(m_pairs.size()); }

private:
    struct Pair;
    void OnNewConnection();

    quint16 m_port;
    quint16 m_target = 0;
    QTcpServer m_server;
    std::vector<std::unique_ptr<Pair>> m_pairs;
};

} // namespace vireo::test
