#pragma once
// A real HTTP proxy for the proxy tests: tinyproxy in the foreground with a generated
// configuration, on a free port of 127.0.0.1, accepting clients from 127.0.0.1 only and
// CONNECT to any port. Its log shows which requests went through it.

#include "peers/PeerProcess.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vireo::test {

class ProxyPeer {
public:
    ProxyPeer();
    ~ProxyPeer();
    ProxyPeer(const ProxyPeer&) = delete;
    ProxyPeer& operator=(const ProxyPeer&) = delete;

    testing::AssertionResult Start();
    void Stop();

    quint16 Port() const { return m_port; }
    // "127.0.0.1:<port>", the form of the proxy setting and of http_proxy.
    QString HostPort() const;

    // The request lines the proxy received, in order, as the client sent them:
    // "GET http://127.0.0.1:8080/a HTTP/1.1", "CONNECT 127.0.0.1:8443 HTTP/1.1".
    QStringList Requests() const;
    QString Log() const;

private:
    testing::AssertionResult StartOnce();
    QString Path(const char* name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    PeerProcess m_process;
    quint16 m_port = 0;
};

} // namespace vireo::test
