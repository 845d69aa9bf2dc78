#pragma once
// One connection of a transfer job, as the job sees it: the network's (JobSocket) or a
// double that tests and fuzz targets feed with recorded bytes. Its events reach the job
// as TransferJob::Handle... calls.

#include <QString>

#include <memory>
#include <string>
#include <string_view>

namespace vireo {

class TransferJob;
class Connection;

// Owner of a job's connection: the connection is retired, not deleted, when the owner
// lets go, so that an event handler on the stack never loses its connection.
struct RetireConnection {
    void operator()(Connection* connection) const;
};
using ConnectionPtr = std::unique_ptr<Connection, RetireConnection>;

class Connection {
public:
    virtual ~Connection() = default;

    // Connects to an address or host name. With tlsPeerName set the connection is
    // encrypted and the server's certificate must be valid for that name; the job hears
    // HandleConnected once the handshake is done (or has failed). tlsLater makes a plain
    // connection that StartTls can encrypt afterwards.
    virtual void ConnectTo(const QString& host, quint16 port, const QString& tlsPeerName = {},
                           bool tlsLater = false) = 0;
    // Starts TLS over an established connection (after a proxy's CONNECT).
    virtual void StartTls(const QString& peerName) = 0;
    // Listens on the given local address for one incoming connection (active FTP).
    virtual bool Listen(const QString& localAddress, quint16* port) = 0;
    // Takes the pending connection of a listening connection.
    virtual ConnectionPtr Accept(TransferJob* owner) = 0;
    // Sends the text; whatever cannot go at once goes when it can.
    virtual void SendText(std::string_view text) = 0;

    virtual bool IsConnected() const = 0;
    virtual QString ErrorText() const = 0;
    // Why the connection could not be made, in plain words ("connection refused").
    virtual std::string FailureWords() const = 0;
    virtual bool TlsFailed() const = 0;
    virtual QString TlsErrorText() const = 0;
    virtual QString PeerAddress() const = 0;
    virtual QString LocalAddress() const = 0;

    // Closes the connection; no event reaches its job afterwards. Freed later, never
    // inside one of its own events.
    virtual void Retire() = 0;
};

inline void RetireConnection::operator()(Connection* connection) const {
    if (connection)
        connection->Retire();
}

// Where a job's connections and host lookups come from.
class Connector {
public:
    virtual ~Connector() = default;
    virtual ConnectionPtr Open(TransferJob* owner) = 0;
    // Starts a lookup whose reply reaches the job holding the slot (HandleResolved);
    // its id, or -1 when it cannot start.
    virtual int LookupHost(const QString& name, int slot) = 0;
    virtual void CancelLookup(int lookupId) = 0;
};

// The network: sockets, and lookups answered through the socket window.
Connector& NetworkConnector();

} // namespace vireo
