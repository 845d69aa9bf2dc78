#include "engine/JobSocket.h"

#include "engine/FailureCause.h"
#include "engine/SocketWindow.h"
#include "engine/TlsConfig.h"
#include "engine/TransferJob.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTcpServer>

#include <vector>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vireo {

namespace {
class NetworkConnections : public Connector {
public:
    ConnectionPtr Open(TransferJob* owner) override { return ConnectionPtr(new JobSocket(owner)); }
    int LookupHost(const QString& name, int slot) override {
        return SocketWindow::Instance().LookupHost(name, slot);
    }
    void CancelLookup(int lookupId) override { SocketWindow::CancelLookup(lookupId); }
};
} // namespace

// The pipe every plain body passes through on its way from a socket to its file. Sockets
// are read one at a time, and each call leaves it empty.
struct JobSocket::Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    size_t capacity = 0;
    bool disabled = false;

    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        readEnd = fds[0];
        writeEnd = fds[1];
        // A larger pipe takes more per call; the system may refuse it.
        int size = ::fcntl(writeEnd, F_SETPIPE_SZ, kPipeSize);
        if (size <= 0)
            size = ::fcntl(writeEnd, F_GETPIPE_SZ);
        capacity = size > 0 ? size_t(size) : 0;
    }
    bool Works() const { return !disabled && capacity > 0; }
    void Disable() { disabled = true; }
    void Drain() const {
        char block[64 * 1024];
        while (::read(readEnd, block, sizeof block) > 0) {
        }
    }
};

JobSocket::Pipe& JobSocket::BytePipe() {
    static Pipe* pipe = new Pipe; // kept to the end: sockets may read during shutdown
    return *pipe;
}

Connector& NetworkConnector() {
    static NetworkConnections connector;
    return connector;
}

void JobSocket::Retire() {
    SocketWindow::Instance().Retire(this);
}

JobSocket::JobSocket(TransferJob* owner) : m_owner(owner) {}

JobSocket::~JobSocket() {
    ReadGate::Instance().Forget(this);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    if (m_server) {
        m_server->disconnect(this);
        m_server->close();
        m_server->deleteLater();
    }
}

void JobSocket::Adopt(QTcpSocket* socket) {
    m_socket = socket;
    m_ssl = qobject_cast<QSslSocket*>(socket);
    connect(socket, &QTcpSocket::readyRead, this, &JobSocket::OnReadable);
    connect(socket, &QTcpSocket::errorOccurred, this, &JobSocket::OnErrorEvent);
    connect(socket, &QTcpSocket::disconnected, this, &JobSocket::OnDisconnected);
    if (m_ssl) {
        connect(m_ssl, &QSslSocket::encrypted, this, &JobSocket::OnConnectedEvent);
        connect(m_ssl, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            m_tlsFailed = true;
            QStringList texts;
            for (const QSslError& e : errors)
                texts << e.errorString();
            m_tlsError = texts.join(QStringLiteral("; "));
        });
    }
}

void JobSocket::ConnectTo(const QString& host, quint16 port, const QString& tlsPeerName,
                          bool tlsLater) {
    if (tlsPeerName.isEmpty()) {
        Adopt(tlsLater ? new QSslSocket : new QTcpSocket);
        connect(m_socket, &QTcpSocket::connected, this, &JobSocket::OnConnectedEvent);
        m_socket->connectToHost(host, port);
        return;
    }
    auto* ssl = new QSslSocket;
    ssl->setSslConfiguration(ClientTlsConfiguration());
    Adopt(ssl);
    ssl->connectToHostEncrypted(host, port, tlsPeerName);
}

void JobSocket::StartTls(const QString& peerName) {
    if (!m_ssl)
        return;
    m_connectReported = false;
    m_ssl->setSslConfiguration(ClientTlsConfiguration());
    m_ssl->setPeerVerifyName(peerName);
    m_ssl->startClientEncryption();
}

bool JobSocket::Listen(const QString& localAddress, quint16* port) {
    m_server = new QTcpServer;
    m_server->setMaxPendingConnections(1);
    if (!m_server->listen(QHostAddress(localAddress), 0))
        return false;
    if (port)
        *port = m_server->serverPort();
    connect(m_server, &QTcpServer::newConnection, this, &JobSocket::OnIncoming);
    return true;
}

ConnectionPtr JobSocket::Accept(TransferJob* owner) {
    if (!m_server)
        return nullptr;
    QTcpSocket* socket = m_server->nextPendingConnection();
    if (!socket)
        return nullptr;
    socket->setParent(nullptr);
    auto* accepted = new JobSocket(owner);
    accepted->Adopt(socket);
    accepted->m_connectReported = true;
    return ConnectionPtr(accepted);
}

void JobSocket::SendText(std::string_view text) {
    if (!m_socket)
        return;
    // QTcpSocket keeps what the network cannot take yet and sends it when it can.
    for (size_t pos = 0; pos < text.size(); pos += kSendPiece) {
        std::string_view piece = text.substr(pos, kSendPiece);
        m_socket->write(piece.data(), qint64(piece.size()));
    }
}

void JobSocket::Close() {
    ReadGate::Instance().Forget(this);
    m_closePending = false;
    if (m_socket)
        m_socket->abort();
    if (m_server)
        m_server->close();
}

bool JobSocket::IsConnected() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState &&
           (!m_ssl || m_ssl->isEncrypted() || m_ssl->mode() == QSslSocket::UnencryptedMode);
}

QString JobSocket::ErrorText() const {
    return m_socket ? m_socket->errorString() : QString();
}

std::string JobSocket::FailureWords() const {
    if (!m_socket)
        return "no connection";
    switch (m_socket->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return "connection refused";
    case QAbstractSocket::RemoteHostClosedError:
        return "connection closed by the server";
    case QAbstractSocket::HostNotFoundError:
        return "host not found";
    case QAbstractSocket::SocketTimeoutError:
        return "timed out";
    default:
        break;
    }
    // The system's own words: "Network unreachable", "Host unreachable", ...
    std::string words = PlainWords(m_socket->errorString().toStdString());
    if (!words.empty() && words[0] >= 'A' && words[0] <= 'Z')
        words[0] = char(words[0] - 'A' + 'a');
    return words.empty() ? "connection failed" : words;
}

QString JobSocket::PeerAddress() const {
    return m_socket ? m_socket->peerAddress().toString() : QString();
}

QString JobSocket::LocalAddress() const {
    return m_socket ? m_socket->localAddress().toString() : QString();
}

bool JobSocket::OwnerValid() const {
    return !m_detached && m_owner && SocketWindow::IsValidSlot(m_owner->SlotNumber());
}

void JobSocket::OnConnectedEvent() {
    if (m_connectReported || !OwnerValid())
        return;
    m_connectReported = true;
    m_owner->HandleConnected(this);
    // The connection can take data now: the job sends its request on this event.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OwnerValid())
                m_owner->HandleWritable(this);
        },
        Qt::QueuedConnection);
}

void JobSocket::OnErrorEvent(QAbstractSocket::SocketError error) {
    if (m_connectReported || !OwnerValid())
        return;
    if (error == QAbstractSocket::SslHandshakeFailedError)
        m_tlsFailed = true;
    // A connection that could not be made is reported as the connected event; the job
    // looks at Error() to tell. The socket has nothing more to say after that.
    m_connectReported = true;
    m_connectFailed = true;
    m_owner->HandleConnected(this);
}

void JobSocket::OnReadable() {
    if (!OwnerValid() || !m_connectReported || m_connectFailed)
        return;
    if (ReadGate::Instance().IsWaiting(this))
        return; // the gate's timer reads it
    ReadLoop(true);
}

void JobSocket::OnDisconnected() {
    if (!OwnerValid() || !m_connectReported || m_connectFailed)
        return;
    // Whatever arrived before the close belongs to the job first, at the speed allowed.
    ReadGate& gate = ReadGate::Instance();
    if (m_socket->bytesAvailable() > 0 && !gate.IsWaiting(this) && !ReadLoop(false))
        return;
    if (gate.IsWaiting(this)) {
        m_closePending = true; // told once the rest is read
        return;
    }
    if (OwnerValid())
        m_owner->HandleClosed(this);
}

void JobSocket::ResumeReading() {
    if (!OwnerValid() || !m_socket)
        return;
    if (!LimitedReadLoop() || !OwnerValid())
        return;
    if (m_closePending && !ReadGate::Instance().IsWaiting(this)) {
        m_closePending = false;
        m_owner->HandleClosed(this);
    }
}

void JobSocket::RearmReading() {
    // Setting the size again re-enables the socket's read notifier when its buffer has
    // room; reading alone does not when the last read emptied the buffer exactly.
    m_socket->setReadBufferSize(0);
    m_socket->setReadBufferSize(kLimitedBuffer);
}

void JobSocket::EndLimit() {
    m_limited = false;
    m_bounded = false;
    ReadGate::Instance().Forget(this);
    m_socket->setReadBufferSize(0);
}

bool JobSocket::LimitedReadLoop() {
    static std::vector<char> buffer(kReadSize);
    ReadGate& gate = ReadGate::Instance();
    JobHost* item = m_owner->Item();
    const int64_t itemLimit = item ? item->SpeedLimit() : 0;
    if (!gate.Limits(itemLimit)) {
        EndLimit();
        return ReadLoop(false);
    }
    if (!m_limited) {
        m_limited = true;
        m_socket->setReadBufferSize(kLimitedBuffer);
    }
    for (;;) {
        qint64 pending = m_socket->bytesAvailable();
        if (pending <= 0)
            break;
        size_t allowed =
            gate.Allow(this, item, itemLimit, size_t(std::min<qint64>(pending, qint64(kReadSize))));
        if (allowed == 0)
            break; // the gate wakes it
        qint64 n = m_socket->read(buffer.data(), qint64(allowed));
        if (n <= 0)
            break;
        gate.Took(item, size_t(n));
        RearmReading();
        if (!m_owner->HandleData(this, buffer.data(), size_t(n)) || !OwnerValid())
            return false;
    }
    return true;
}

void JobSocket::OnIncoming() {
    if (OwnerValid())
        m_owner->HandleAccept(this);
}

bool JobSocket::ReadLoop(bool passEmpty) {
    if (m_limited ||
        ReadGate::Instance().Limits(m_owner->Item() ? m_owner->Item()->SpeedLimit() : 0))
        return LimitedReadLoop();
    static std::vector<char> buffer(kReadSize);
    qint64 n = m_socket->read(buffer.data(), qint64(buffer.size()));
    if (n < 0 || (n == 0 && !passEmpty))
        return true;
    if (!m_owner->HandleData(this, buffer.data(), size_t(n)) || !OwnerValid())
        return false;
    while (n > 0) {
        n = m_socket->read(buffer.data(), qint64(buffer.size()));
        if (n <= 0)
            break;
        if (!m_owner->HandleData(this, buffer.data(), size_t(n)) || !OwnerValid())
            return false;
    }
    return DirectReadLoop(buffer);
}

bool JobSocket::DirectReadLoop(std::vector<char>& buffer) {
    // What the socket's own buffer held is passed on: the bytes after it are taken from
    // the system straight into our block, which spares copying every byte once more
    // through that buffer. Encrypted bytes must go through the TLS layer.
    if (m_ssl || m_socket->state() != QAbstractSocket::ConnectedState)
        return true;
    const int fd = int(m_socket->socketDescriptor());
    if (fd < 0)
        return true;
    // Back to the event loop now and then, so that timers and other downloads get their
    // turn on a fast link.
    for (size_t taken = 0; taken < kDirectSlice;) {
        if (int64_t plain = m_owner->PlainBytes(this); plain > 0 && BytePipe().Works()) {
            // Bytes that go to the file as they are move from the socket to the file
            // through a pipe, without a copy in our memory.
            Pipe& pipe = BytePipe();
            if (!m_bounded) {
                // The socket itself then takes a little per event, not everything the
                // system holds: the rest comes through the pipe.
                m_bounded = true;
                m_socket->setReadBufferSize(kLimitedBuffer);
            }
            ssize_t n = ::splice(fd, nullptr, pipe.writeEnd, nullptr,
                                 size_t(std::min<int64_t>(plain, pipe.capacity)),
                                 SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                pipe.Disable(); // no splicing from this kind of socket: through memory
                continue;
            }
            if (n <= 0)
                break;
            taken += size_t(n);
            const bool goesOn = m_owner->HandlePiped(this, pipe.readEnd, size_t(n));
            if (!goesOn)
                pipe.Drain(); // the file took no more: the rest is not the next one's
            if (!goesOn || !OwnerValid())
                return false;
        } else {
            ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            // Nothing waiting, the end or an error: the socket finds that out on its next
            // read itself (an end stays readable, so it is told as before).
            if (n <= 0)
                break;
            taken += size_t(n);
            if (!m_owner->HandleData(this, buffer.data(), size_t(n)) || !OwnerValid())
                return false;
        }
        if (ReadGate::Instance().Limits(m_owner->Item() ? m_owner->Item()->SpeedLimit() : 0))
            break; // a limit was set meanwhile: the next read goes through the gate
    }
    return true;
}

} // namespace vireo
