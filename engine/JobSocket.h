#pragma once
// A TCP connection of a transfer job. Its events become calls of the job's operations;
// once the socket is retired, or its job has left the valid slot range, events are
// ignored.

#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <string_view>

class QTcpSocket;
class QSslSocket;
class QTcpServer;

namespace vireo {

class TransferJob;

class JobSocket : public QObject {
public:
    // Bytes taken from the socket per read; the job sees blocks of at most this size.
    static constexpr size_t kReadSize = 256 * 1024;
    static constexpr size_t kSendPiece = 512;

    explicit JobSocket(TransferJob* owner = nullptr);
    ~JobSocket() override;

    void SetOwner(TransferJob* owner) { m_owner = owner; }
    TransferJob* Owner() const { return m_owner; }
    bool IsDetached() const { return m_detached; }
    void Detach() { m_detached = true; }

    // Connects to an address or host name. With tlsPeerName set the connection is
    // encrypted and the server's certificate must be valid for that name; the job hears
    // OnConnected once the handshake is done (or has failed). tlsLater makes a plain
    // connection that StartTls can encrypt afterwards.
    void ConnectTo(const QString& host, quint16 port, const QString& tlsPeerName = {},
                   bool tlsLater = false);
    // Starts TLS over an established connection (after a proxy's CONNECT).
    void StartTls(const QString& peerName);
    // Listens on the given local address for one incoming connection (active FTP).
    bool Listen(const QString& localAddress, quint16* port);
    // Takes the pending connection of a listening socket.
    std::unique_ptr<JobSocket> Accept(TransferJob* owner);

    // Sends the text in pieces of at most 512 bytes; whatever the socket cannot take at
    // once is sent when it can.
    void SendText(std::string_view text);
    void Close();

    bool IsConnected() const;
    QAbstractSocket::SocketError Error() const;
    QString ErrorText() const;
    // Why the connection could not be made, in plain words ("connection refused").
    std::string FailureWords() const;
    bool TlsFailed() const { return m_tlsFailed; }
    QString TlsErrorText() const { return m_tlsError; }
    QString PeerAddress() const;
    QString LocalAddress() const;

private:
    void Adopt(QTcpSocket* socket);
    bool OwnerValid() const;
    void OnReadable();
    void OnConnectedEvent();
    void OnErrorEvent(QAbstractSocket::SocketError error);
    void OnDisconnected();
    void OnIncoming();
    // Hands every block waiting on the socket to the job; false when the job said stop.
    bool ReadLoop(bool passEmpty);

    TransferJob* m_owner;
    bool m_detached = false;
    bool m_connectReported = false;
    bool m_connectFailed = false; // reported as failed: nothing more comes from it
    bool m_tlsFailed = false;
    QString m_tlsError;
    QTcpSocket* m_socket = nullptr;
    QSslSocket* m_ssl = nullptr;
    QTcpServer* m_server = nullptr;
};

// Owner of a job's socket: the socket is retired, not deleted, when the owner lets go.
struct RetireSocket {
    void operator()(JobSocket* socket) const;
};
using JobSocketPtr = std::unique_ptr<JobSocket, RetireSocket>;

} // namespace vireo
