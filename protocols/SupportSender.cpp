#include "protocols/SupportSender.h"

#include "engine/TextCoding.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"
#include "settings/SettingsStore.h"

#include <QTcpSocket>

namespace vireo {

namespace {
// "host" or "host:port"; the port is 80 unless one is given.
void SplitHostPort(const std::string& address, QString& host, quint16& port) {
    port = 80;
    host = QString::fromStdString(address);
    const auto colon = address.rfind(':');
    if (colon == std::string::npos || address.find(':') != colon)
        return;
    bool ok = false;
    const uint value = QString::fromStdString(address.substr(colon + 1)).toUInt(&ok);
    if (ok && value > 0 && value < 65536) {
        host = QString::fromStdString(address.substr(0, colon));
        port = quint16(value);
    }
}
} // namespace

SupportSender::SupportSender(QObject* parent)
    : QObject(parent), m_viaProxy(Settings().GetInt(keys::Proxy) != 0),
      m_server(Settings().GetString(keys::SupportServer)) {}

SupportSender::~SupportSender() {
    DropSocket();
}

std::string SupportSender::BuildRequest(const std::string& piece, const std::string& script,
                                        const std::string& server, bool viaProxy) {
    std::string target = "/cgi-bin/" + script + "?" + PercentEscape(piece);
    if (viaProxy)
        target = "http://" + server + target;
    return BuildHttpRequest(target, server, 0, "");
}

void SupportSender::Start(const std::string& report, const std::string& script) {
    DropSocket();
    ++m_run;
    m_script = script;
    m_remaining = report;
    m_attempts = 0;
    Connect();
}

void SupportSender::Stop() {
    ++m_run;
    DropSocket();
    m_remaining.clear();
}

void SupportSender::Connect() {
    DropSocket();
    m_statusLine.clear();
    m_statusRead = false;
    m_confirmed = false;
    m_connected = false;
    ++m_attempts;

    QString host;
    quint16 port = 80;
    if (m_viaProxy) {
        host = QString::fromStdString(Settings().GetString(keys::ProxyServer));
        port = quint16(Settings().GetInt(keys::ProxyPort));
    } else {
        SplitHostPort(m_server, host, port);
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &SupportSender::OnConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SupportSender::OnReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &SupportSender::OnDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &SupportSender::OnError);
    m_socket->connectToHost(host, port);
}

void SupportSender::OnConnected() {
    m_connected = true;
    m_attempts = 0;
    std::string piece;
    if (m_remaining.size() > kPieceSize) {
        piece = m_remaining.substr(0, kPieceSize);
        m_remaining.erase(0, kPieceSize);
    } else {
        piece.swap(m_remaining);
    }
    const std::string request = BuildRequest(piece, m_script, m_server, m_viaProxy);
    m_socket->write(request.data(), qint64(request.size()));
}

void SupportSender::OnReadyRead() {
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    if (m_statusRead)
        return; // the body says nothing we need
    m_statusLine.append(data.constData(), size_t(data.size()));
    const auto end = m_statusLine.find('\n');
    if (end == std::string::npos && m_statusLine.size() < 512)
        return; // the status line is still coming
    m_statusRead = true;
    HeaderTable reply;
    reply.Parse(std::string_view(m_statusLine).substr(0, end));
    m_confirmed = reply.Status() == 200;
    if (!m_confirmed)
        Fail();
}

void SupportSender::OnDisconnected() {
    if (!m_socket)
        return;
    if (m_socket->bytesAvailable() > 0)
        OnReadyRead();
    if (!m_socket)
        return; // the reply failed the report
    if (!m_confirmed) {
        // Closed before a status line: the piece may never have arrived.
        Fail();
        return;
    }
    DropSocket();
    if (!m_remaining.empty()) {
        m_attempts = 0;
        Connect();
        return;
    }
    if (onSent)
        onSent();
}

void SupportSender::OnError() {
    if (!m_socket)
        return;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return; // the server's close, handled when the socket reports it
    if (m_confirmed) {
        OnDisconnected(); // a reset after the 200: the piece has arrived
        return;
    }
    if (!m_connected && m_attempts < kConnectAttempts) {
        // Try again at once; the failed socket goes away after its handler.
        QMetaObject::invokeMethod(
            this,
            [this, run = m_run] {
                if (run == m_run)
                    Connect();
            },
            Qt::QueuedConnection);
        DropSocket();
        return;
    }
    Fail();
}

void SupportSender::Fail() {
    DropSocket();
    m_remaining.clear();
    QMetaObject::invokeMethod(
        this,
        [this, run = m_run] {
            if (run == m_run && onFailed)
                onFailed();
        },
        Qt::QueuedConnection);
}

void SupportSender::DropSocket() {
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace vireo
