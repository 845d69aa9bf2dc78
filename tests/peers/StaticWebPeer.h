#pragma once
// What the web servers that serve only static files share: one server program in the
// foreground, started with a generated configuration on a free port of 127.0.0.1, serving
// a temporary document root, with an access log that names each request's range and
// If-Range. A subclass writes the configuration.

#include "peers/PeerProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vireo::test {

class StaticWebPeer {
public:
    virtual ~StaticWebPeer();

    // Starts the server; fails with its output and error log when it does not come up.
    testing::AssertionResult Start();
    void Stop();

    // Writes a file under the document root ("a/b.txt"); returns its full path.
    QString Put(const QString& relativePath, const QByteArray& data) const;
    // "http://127.0.0.1:<port>" + path (path starts with '/').
    QString HttpUrl(const QString& path = "/") const;
    // One line per request: address "request line" status body-bytes "Range" "If-Range".
    QString AccessLog() const;
    QString ErrorLog() const;

protected:
    // program runs as `program foregroundOption -f <configuration>`.
    StaticWebPeer(QString program, QString foregroundOption);
    // The configuration that serves DocRoot() on 127.0.0.1:port, writes its errors to
    // Path("error.log") and its requests to Path("access.log") as AccessLog() describes.
    virtual QString Config(quint16 port) const = 0;
    QString Path(const char* name) const { return m_dir.filePath(name); }
    QString DocRoot() const { return Path("www"); }

private:
    testing::AssertionResult StartOnce();

    QString m_program;
    QString m_foregroundOption;
    QTemporaryDir m_dir;
    PeerProcess m_process;
    quint16 m_port = 0;
};

} // namespace vireo::test
