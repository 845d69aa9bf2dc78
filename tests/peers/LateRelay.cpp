#include "peers/LateRelay.h"

#include "peers/FreePort.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace vireo::test {

struct LateRelay::Pair {
    QTcpSocket* client = nullptr; // accepted, owned by the server
    QTcpSocket server;
    QByteArray early; // what the client sent before the server connection was up
};

LateRelay::LateRelay() : m_port(FreePort()) {
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] { OnNewConnection(); });
}

LateRelay::~LateRelay() {
    for (auto& pair : m_pairs) {
        pair->server.disconnect();
        pair->server.abort();
        if (pair->client) {
            pair->client->disconnect();
            pair->client->abort();
        }
    }
    m_server.close();
}

bool LateRelay::Open(quint16 targetPort) {
    m_target = targetPort;
    return m_server.listen(QHostAddress::LocalHost, m_port);
}

void LateRelay::OnNewConnection() {
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        auto pair = std::make_unique<Pair>();
        Pair* p = pair.get();
        p->client = client;
        QObject::connect(client, &QTcpSocket::readyRead, [p] {
            QByteArray bytes = p->client->readAll();
            if (p->server.state() == QAbstractSocket::ConnectedState)
                p->server.write(bytes);
            else
                p->early += bytes;
        });
        QObject::connect(&p->server, &QTcpSocket::connected, [p] {
            p->server.write(p->early);
            p->early.clear();
        });
        QObject::connect(&p->server, &QTcpSocket::readyRead,
                         [p] { p->client->write(p->server.readAll()); });
        // A side that closes closes the other once what it sent has been passed on.
        QObject::connect(client, &QTcpSocket::disconnected, [p] {
            p->server.write(p->client->readAll());
            p->server.disconnectFromHost();
        });
        QObject::connect(&p->server, &QTcpSocket::disconnected, [p] {
            p->client->write(p->server.readAll());
            p->client->disconnectFromHost();
        });
        p->server.connectToHost(QHostAddress::LocalHost, m_target);
        m_pairs.push_back(std::move(pair));
    }
}

} // namespace vireo::test
