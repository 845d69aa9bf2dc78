#include "peers/NginxPeer.h"

#include "peers/FreePort.h"
#include "peers/TestCa.h"
#include "peers/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace vireo::test {

namespace {

const int kStatusPages[] = {400, 401, 403, 404, 407, 410, 416, 500, 502, 503};
const int kLongestChain = 20;

// Locations every server shares; @ROOT@ and @PREFIX@ are filled in.
const char kLocations[] = R"(
    location /private/ {
        auth_basic "Vireo test";
        auth_basic_user_file @PREFIX@/htpasswd;
    }
    # Any filter that may change the length drops Content-Length, which makes nginx send
    # the body chunked. The pattern never matches (and would be put back unchanged).
    # The same files at a limited rate, so that transfers are still running when a test
    # looks at them or interrupts them.
    location /slow/ {
        alias @ROOT@/;
        limit_rate 2m;
    }
    location /chunked/ {
        alias @ROOT@/;
        gzip off;
        sub_filter_types *;
        sub_filter 'vireo-never-3f9c0d' 'vireo-never-3f9c0d';
    }
    location ~ ^/redir/abs/(.*)$ { return 302 $scheme://127.0.0.1:$server_port/$1$is_args$args; }
    location ~ ^/redir/301/(.*)$ { return 301 $scheme://127.0.0.1:$server_port/$1$is_args$args; }
    location ~ ^/redir/302/(.*)$ { return 302 $scheme://127.0.0.1:$server_port/$1$is_args$args; }
    location ~ ^/redir/303/(.*)$ { return 303 $scheme://127.0.0.1:$server_port/$1$is_args$args; }
    location ~ ^/redir/307/(.*)$ { return 307 $scheme://127.0.0.1:$server_port/$1$is_args$args; }
    location ~ ^/redir/rel/(.*)$ {
        absolute_redirect off;
        return 302 /$1$is_args$args;
    }
    location = /redir/empty { return 302; }
    location = /redir/loop { return 302 $scheme://127.0.0.1:$server_port/redir/loop; }
)";

QByteArray Fill(QByteArray text, const QString& root, const QString& prefix) {
    return text.replace("@ROOT@", root.toUtf8()).replace("@PREFIX@", prefix.toUtf8());
}

} // namespace

NginxPeer::NginxPeer() : m_process("nginx", m_prefix.filePath("nginx.out")) {
    // Readable by whichever user the server ends up using.
    MakeReadableByAll(m_prefix.path());
    QDir(m_prefix.path()).mkpath("www");
    QDir(m_prefix.path()).mkpath("temp");
}

NginxPeer::~NginxPeer() {
    Stop();
}

void NginxPeer::SetBasicAuth(const QString& user, const QString& password) {
    m_user = user;
    m_password = password;
}

QString NginxPeer::DocRoot() const {
    return Path("www");
}

QString NginxPeer::Put(const QString& relativePath, const QByteArray& data) const {
    return WriteFileUnder(DocRoot(), relativePath, data);
}

QString NginxPeer::HttpUrl(const QString& path) const {
    return QString("http://127.0.0.1:%1%2").arg(m_httpPort).arg(path);
}

QString NginxPeer::HttpsUrl(const QString& path) const {
    return QString("https://127.0.0.1:%1%2").arg(m_httpsPort).arg(path);
}

QString NginxPeer::UntrustedUrl(const QString& path) const {
    return QString("https://127.0.0.1:%1%2").arg(m_untrustedPort).arg(path);
}

QString NginxPeer::CaFile() const {
    return TestCa::Shared().CaCertFile();
}

QString NginxPeer::AccessLog() const {
    return QString::fromUtf8(ReadSettledFile(Path("access.log")));
}

QString NginxPeer::ErrorLog() const {
    return QString::fromUtf8(ReadWholeFile(Path("error.log")));
}

testing::AssertionResult NginxPeer::Start() {
    if (!m_prefix.isValid())
        return testing::AssertionFailure() << "nginx: cannot create a temporary prefix";
    const TestCa& ca = TestCa::Shared();
    if (!ca.IsValid())
        return testing::AssertionFailure() << ca.Error().toStdString();

    QProcess openssl;
    openssl.start("openssl", {"passwd", "-apr1", "-stdin"});
    openssl.write(m_password.toUtf8() + "\n");
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished(10000) || openssl.exitCode() != 0)
        return testing::AssertionFailure()
               << "openssl passwd failed: " << openssl.readAllStandardError().toStdString();
    WriteFileUnder(m_prefix.path(), "htpasswd",
                   m_user.toUtf8() + ":" + openssl.readAllStandardOutput().trimmed() + "\n");

    return m_process.StartOnFreePorts([this] { return StartOnce(); });
}

testing::AssertionResult NginxPeer::StartOnce() {
    m_httpPort = FreePort();
    m_httpsPort = FreePort();
    m_untrustedPort = FreePort();
    if (WriteFileUnder(m_prefix.path(), "nginx.conf", Config()).isEmpty())
        return testing::AssertionFailure() << "nginx: cannot write the configuration";
    QFile::remove(Path("error.log"));
    QStringList arguments = {"-p", m_prefix.path() + "/", "-c", Path("nginx.conf"),
                             "-e", Path("error.log")};
    return m_process.Start("nginx", arguments, {m_httpPort, m_httpsPort, m_untrustedPort},
                           {Path("error.log")});
}

void NginxPeer::Stop() {
    m_process.Stop();
}

QByteArray NginxPeer::Config() const {
    const QString prefix = m_prefix.path();
    const QString root = DocRoot();
    const TestCa& ca = TestCa::Shared();

    QByteArray locations = Fill(kLocations, root, prefix);
    for (int n = 1; n <= kLongestChain; ++n) {
        QString next = n == 1 ? "" : QString("redir/chain/%1/").arg(n - 1);
        locations += QString("    location ~ ^/redir/chain/%1/(.*)$ { return 302 "
                             "$scheme://127.0.0.1:$server_port/%2$1; }\n")
                         .arg(n)
                         .arg(next)
                         .toUtf8();
    }
    for (int code : kStatusPages)
        locations += QString("    location = /status/%1 { return %1; }\n").arg(code).toUtf8();

    auto server = [&](quint16 port, const QString& cert, const QString& key) {
        QByteArray text = QString("  server {\n    listen 127.0.0.1:%1%2;\n    root %3;\n")
                              .arg(port)
                              .arg(cert.isEmpty() ? "" : " ssl")
                              .arg(root)
                              .toUtf8();
        // The plain server answers on the IPv6 loopback too, at the same port.
        if (port == m_httpPort && !m_ipv4Only)
            text += QString("    listen [::1]:%1;\n").arg(port).toUtf8();
        if (!cert.isEmpty())
            text += QString("    ssl_certificate %1;\n    ssl_certificate_key %2;\n")
                        .arg(cert, key)
                        .toUtf8();
        return text + locations + "  }\n";
    };

    QByteArray config = Fill(R"(daemon off;
master_process off;
worker_processes 1;
pid @PREFIX@/nginx.pid;
lock_file @PREFIX@/nginx.lock;
error_log @PREFIX@/error.log info;
events { worker_connections 256; }
http {
  log_format vireo '$remote_addr "$request" $status $body_bytes_sent "$http_range" '
                   '"$http_accept_encoding" "$http_authorization" "$http_user_agent" "$http_host" "$http_if_range" '
                   '$msec $request_time';
  access_log @PREFIX@/access.log vireo;
  client_body_temp_path @PREFIX@/temp/body;
  proxy_temp_path @PREFIX@/temp/proxy;
  fastcgi_temp_path @PREFIX@/temp/fastcgi;
  uwsgi_temp_path @PREFIX@/temp/uwsgi;
  scgi_temp_path @PREFIX@/temp/scgi;
  types {
    text/html html htm;
    text/plain txt;
    audio/x-pn-realaudio ram ra;
    application/vnd.rn-realmedia rm;
    application/x-mpegURL m3u8 playlist;
  }
  default_type application/octet-stream;
  gzip on;
  gzip_min_length 20;
  gzip_types text/plain text/html;
  gzip_http_version 1.0;
  gzip_proxied any;
)",
                             root, prefix);
    config += server(m_httpPort, {}, {});
    config += server(m_httpsPort, ca.ServerCertFile(), ca.ServerKeyFile());
    config += server(m_untrustedPort, ca.UntrustedCertFile(), ca.UntrustedKeyFile());
    return config + "}\n";
}

} // namespace vireo::test
