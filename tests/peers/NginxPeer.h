#pragma once
// A real web server for the HTTP tests: nginx in the foreground as one process, with a
// generated configuration under a temporary prefix, on free ports of 127.0.0.1.
//
// Every server (http, https with the test CA's certificate, https with an untrusted
// certificate) serves the document root with the same locations:
//   /<file>                 static file; byte ranges; gzip for text/plain and text/html
//                           (when the request accepts it, over HTTP/1.0 too, also when the
//                           request came through a proxy). A gzipped HTTP/1.1 reply is
//                           chunked; a gzipped HTTP/1.0 reply ends with the connection.
//   /slow/<file>            the same file at 2 MB/s
//   /chunked/<file>         the same file, not compressed, with no Content-Length: chunked
//                           for HTTP/1.1, ended by closing for HTTP/1.0
//   /private/<file>         files under <root>/private/ behind basic authentication
//   /redir/abs/<path>       302, Location http(s)://127.0.0.1:<port>/<path>
//   /redir/301|302|303|307/<path>  that code, absolute Location to /<path>
//   /redir/rel/<path>       302, Location "/<path>" (not absolute)
//   /redir/empty            302 with an empty Location
//   /redir/loop             302 to itself
//   /redir/chain/N/<path>   N redirects (N <= 20) before /<path>
//   /status/NNN             that code with nginx's HTML error page, for 400 401 403 404 407
//                           410 416 500 502 503
// Types: .html .htm text/html, .txt text/plain, .ram and .ra audio/x-pn-realaudio, .rm
// application/vnd.rn-realmedia, .m3u8 and .playlist application/x-mpegURL, anything else
// application/octet-stream.

#include "peers/PeerProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vireo::test {

class NginxPeer {
public:
    NginxPeer();
    ~NginxPeer();
    NginxPeer(const NginxPeer&) = delete;
    NginxPeer& operator=(const NginxPeer&) = delete;

    // The login /private/ asks for; call before Start. Default: "vireo" and "secret".
    void SetBasicAuth(const QString& user, const QString& password);
    // Call before Start: the plain server listens on 127.0.0.1 only, not on [::1].
    void SetIpv4Only() { m_ipv4Only = true; }
    // Starts nginx; fails with nginx's error log when it does not come up.
    testing::AssertionResult Start();
    void Stop();

    // The folder served; fill it before or after Start.
    QString DocRoot() const;
    // Writes a file under the document root ("a/b.txt"); returns its full path.
    QString Put(const QString& relativePath, const QByteArray& data) const;

    // The plain HTTP server also listens on [::1] at this port (unless SetIpv4Only).
    quint16 HttpPort() const { return m_httpPort; }
    quint16 HttpsPort() const { return m_httpsPort; }
    quint16 UntrustedPort() const { return m_untrustedPort; }
    // "http://127.0.0.1:<port>" + path (path starts with '/').
    QString HttpUrl(const QString& path = "/") const;
    QString HttpsUrl(const QString& path = "/") const;
    QString UntrustedUrl(const QString& path = "/") const;
    // The CA the https server's certificate chains to (give it to the client).
    QString CaFile() const;
    QString User() const { return m_user; }
    QString Password() const { return m_password; }

    // One line per request: address "request line" status body-bytes "Range"
    // "Accept-Encoding" "Authorization" "User-Agent" "Host" "If-Range" end request-time
    // (the end in seconds since the epoch and the time the request took, both to the
    // millisecond).
    QString AccessLog() const;
    QString ErrorLog() const;

private:
    testing::AssertionResult StartOnce();
    QString Path(const char* name) const { return m_prefix.filePath(name); }
    QByteArray Config() const;

    QTemporaryDir m_prefix;
    PeerProcess m_process;
    QString m_user = "vireo";
    QString m_password = "secret";
    quint16 m_httpPort = 0;
    quint16 m_httpsPort = 0;
    quint16 m_untrustedPort = 0;
    bool m_ipv4Only = false;
};

} // namespace vireo::test
