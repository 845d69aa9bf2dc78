#pragma once
// A TCP connection of a transfer job. Its events become calls of the job's operations;
// once the socket is retired, or its job has left the valid slot range, events are
// ignored. Every read asks the read gate first (speed limits): a connection over its budget
// stops reading until the gate wakes it.
// Without a limit, a plain (unencrypted) connection is read straight from the system once
// the socket's own buffer is empty, and bytes its job passes to the file unchanged go from
// the socket to the file through a pipe: they never cross the program's memory.

#include "engine/Connection.h"
#include "engine/RateLimiter.h"

#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QTcpSocket;
class QSslSocket;
class QTcpServer;

namespace vireo {

class TransferJob;

class JobSocket : public QObject, public Connection, public ThrottledReader {
public:
    // Bytes taken from the socket per read; the job sees blocks of at most this size.
    static constexpr size_t kReadSize = 256 * 1024;
    static constexpr size_t kSendPiece = 512;
    // What the socket holds unread while a speed limit applies: beyond it the bytes stay
    // with the system, whose full buffers make the server wait.
    static constexpr qint64 kLimitedBuffer = 64 * 1024;
    // The most one readiness event reads past the socket's own buffer before the event
    // loop gets its turn again.
    static constexpr size_t kDirectSlice = 1024 * 1024;
    // What the pipe between a socket and its file holds at most.
    static constexpr int kPipeSize = 1024 * 1024;

    explicit JobSocket(TransferJob* owner = nullptr);
    ~JobSocket() override;

    void SetOwner(TransferJob* owner) { m_owner = owner; }
    TransferJob* Owner() const { return m_owner; }
    bool IsDetached() const { return m_detached; }
    void Detach() { m_detached = true; }

    void ConnectTo(const QString& host, quint16 port, const QString& tlsPeerName = {},
                   bool tlsLater = false) override;
    void StartTls(const QString& peerName) override;
    bool Listen(const QString& localAddress, quint16* port) override;
    ConnectionPtr Accept(TransferJob* owner) override;
    // Sends the text in pieces of at most 512 bytes; whatever the socket cannot take at
    // once is sent when it can.
    void SendText(std::string_view text) override;
    void Close();
    // Hands the socket to the socket window, which frees it on a later tick.
    void Retire() override;

    bool IsConnected() const override;
    QString ErrorText() const override;
    std::string FailureWords() const override;
    bool TlsFailed() const override { return m_tlsFailed; }
    QString TlsErrorText() const override { return m_tlsError; }
    QString PeerAddress() const override;
    QString LocalAddress() const override;

    // The gate has budget again for this connection.
    void ResumeReading() override;

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
    // Reads what else waits on a plain connection straight from the system.
    bool DirectReadLoop(std::vector<char>& buffer);
    struct Pipe;
    static Pipe& BytePipe();
    // The same under a speed limit: reads what the gate allows; false when the job said
    // stop.
    bool LimitedReadLoop();
    // Makes the socket take bytes from the network again once its buffer has room.
    void RearmReading();
    void EndLimit();

    TransferJob* m_owner;
    bool m_detached = false;
    bool m_connectReported = false;
    bool m_connectFailed = false; // reported as failed: nothing more comes from it
    bool m_tlsFailed = false;
    bool m_limited = false;      // reads go through the gate; the buffer is bounded
    bool m_closePending = false; // closed by the peer while bytes still wait for budget
    bool m_bounded = false;      // the socket's buffer is bounded for reads through the pipe
    QString m_tlsError;
    QTcpSocket* m_socket = nullptr;
    QSslSocket* m_ssl = nullptr;
    QTcpServer* m_server = nullptr;
};

} // namespace vireo
