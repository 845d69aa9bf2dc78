#pragma once
// A PNA stream server for tests: it reads the client hello, answers as a server of PNA
// version 10 (RealMedia, in either packet framing), 8 ("i" or "r" replies) or 5
// (RealAudio), sends the stream header and then the packets with filler blocks between
// them, paced by a timer, up to the end marker. It honours the seek command, and on
// request says it is busy, sends a server message, drops the connection after some
// packets, or streams live without an end. It listens on 127.0.0.1 in the caller's event
// loop; everything stops when it is destroyed.

#include "PnaContent.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>
#include <vector>

namespace vireo::pna {

struct PnaServerOptions {
    int pnaVersion = 10;      // 10: RealMedia; 8 or 5: RealAudio
    char audioReply = 'i';    // the reply of a version 8 server: 'i' or 'r'
    bool longFraming = false; // RealMedia packets with the "Z" framing
    int busyConnections = 0;  // that many connections first hear "busy"
    QByteArray serverMessage; // sent in the header in place of the stream
    bool fillers = true;      // filler blocks between the packets
    bool live = false;        // the content over and over, without the end marker
    int cutAfterPackets = -1; // the first streaming connection is dropped after that many
    int packetsPerTick = 8;
    int tickMs = 2;
    // Between the header and the first packets, unless a seek comes first: a client that
    // resumes asks for its position on the first bytes of the reply.
    int prerollMs = 200;
    uint32_t liveBase = 50000;
};

class PnaStreamServer : public QObject {
public:
    PnaStreamServer(PnaContent content, PnaServerOptions options);
    ~PnaStreamServer() override;

    // Listens on 127.0.0.1 (port 0: one the system picks).
    bool Listen(quint16 port = 0);
    quint16 Port() const { return m_server.serverPort(); }
    QString Url(const QString& path) const;

    int Connections() const { return m_connections; }
    // The path of every hello received, in order.
    const std::vector<QByteArray>& Paths() const { return m_paths; }
    // Every seek position received, in order.
    const std::vector<uint32_t>& Seeks() const { return m_seeks; }
    int PacketsSent() const { return m_packetsSent; }
    // Bytes a client sent that are no command this server knows.
    const QByteArray& Unknown() const { return m_unknown; }

private:
    struct Connection;

    void OnNewConnection();
    void OnReadable(Connection& c);
    void OnHello(Connection& c);
    void Seek(Connection& c, uint32_t position);
    void Tick(Connection& c);
    QByteArray Reply(char kind) const;
    QByteArray Header() const;
    QByteArray Filler(int index) const;
    QByteArray Frame(const Connection& c, size_t index) const;
    size_t Count() const;

    PnaContent m_content;
    PnaServerOptions m_options;
    QTcpServer m_server;
    std::vector<std::unique_ptr<Connection>> m_open;
    int m_connections = 0;
    int m_busyLeft = 0;
    bool m_cutDone = false;
    std::vector<QByteArray> m_paths;
    std::vector<uint32_t> m_seeks;
    int m_packetsSent = 0;
    QByteArray m_unknown;
};

} // namespace vireo::pna
