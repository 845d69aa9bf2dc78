#pragma once
// Connections without a network, for driving a transfer with recorded bytes: the test
// plays the other side by calling the job's Handle... events itself, and reads what the
// job sent, where it connected and which lookups it started.

#include "engine/Connection.h"

#include <memory>
#include <string>
#include <vector>

namespace vireo::test {

class FakeConnection : public Connection {
public:
    void ConnectTo(const QString& h, quint16 p, const QString& tlsPeer, bool) override {
        host = h.toStdString();
        port = p;
        tlsPeerName = tlsPeer.toStdString();
    }
    void StartTls(const QString& peerName) override { tlsPeerName = peerName.toStdString(); }
    bool Listen(const QString&, quint16* p) override {
        listening = true;
        if (p)
            *p = listenPort;
        return true;
    }
    ConnectionPtr Accept(TransferJob*) override { return std::move(incoming); }
    void SendText(std::string_view text) override { sent.append(text); }
    bool IsConnected() const override { return connected; }
    QString ErrorText() const override { return QString::fromStdString(errorText); }
    std::string FailureWords() const override { return errorText; }
    bool TlsFailed() const override { return false; }
    QString TlsErrorText() const override { return {}; }
    QString PeerAddress() const override { return QString::fromStdString(peer); }
    QString LocalAddress() const override { return QString::fromStdString(local); }
    // The connector owns every connection: a retired one stays readable for the test.
    void Retire() override { retired = true; }

    std::string host, tlsPeerName, sent;
    quint16 port = 0;
    quint16 listenPort = 0;
    bool connected = true; // what HandleConnected finds
    bool listening = false;
    bool retired = false;
    std::string errorText = "connection refused";
    std::string peer = "127.0.0.1";
    std::string local = "127.0.0.1";
    ConnectionPtr incoming; // what Accept hands out
};

class FakeConnector : public Connector {
public:
    ConnectionPtr Open(TransferJob*) override {
        all.push_back(std::make_unique<FakeConnection>());
        all.back()->listenPort = quint16(40000 + all.size());
        return ConnectionPtr(all.back().get());
    }
    int LookupHost(const QString& name, int) override {
        lookups.push_back(name.toStdString());
        return int(lookups.size());
    }
    void CancelLookup(int id) override { cancelled.push_back(id); }

    FakeConnection& Last() { return *all.back(); }
    // A connection that arrives on a listener (active FTP): owned here like the others.
    ConnectionPtr Incoming() {
        all.push_back(std::make_unique<FakeConnection>());
        return ConnectionPtr(all.back().get());
    }

    std::vector<std::unique_ptr<FakeConnection>> all;
    std::vector<std::string> lookups;
    std::vector<int> cancelled;
};

} // namespace vireo::test
