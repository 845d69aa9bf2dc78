#include "peers/NginxPeer.h"
#include "peers/Curl.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"

#include <gtest/gtest.h>

#include <QSslConfiguration>
#include <QSslSocket>

using namespace vireo::test;

namespace {

class NginxPeerTest : public testing::Test {
protected:
    void SetUp() override {
        m_nginx.SetBasicAuth("alice", "open sesame");
        ASSERT_TRUE(m_nginx.Start());
    }

    NginxPeer m_nginx;
};

TEST_F(NginxPeerTest, ServesAFileByteIdenticalAndARangeAs206) {
    const QByteArray data = RandomBytes(300000);
    m_nginx.Put("dir/data.bin", data);

    CurlResult whole = RunCurl({m_nginx.HttpUrl("/dir/data.bin")});
    EXPECT_EQ(whole.exitCode, 0) << whole.error.toStdString();
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == data);

    CurlResult part = RunCurl({"-r", "1000-1999", m_nginx.HttpUrl("/dir/data.bin")});
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.Header("Content-Range"), "bytes 1000-1999/300000");
    EXPECT_TRUE(part.body == data.mid(1000, 1000));
    EXPECT_TRUE(m_nginx.AccessLog().contains("\"bytes=1000-1999\""));
}

TEST_F(NginxPeerTest, GzipsTextOnlyWhenAskedAndChunkedLocationSendsNoLength) {
    QByteArray text;
    for (int i = 0; i < 500; ++i)
        text += "line " + QByteArray::number(i) + " of a text file\n";
    m_nginx.Put("notes.txt", text);

    CurlResult plain = RunCurl({m_nginx.HttpUrl("/notes.txt")});
    EXPECT_EQ(plain.Header("Content-Encoding"), "");
    EXPECT_EQ(plain.body, text);

    for (const char* version : {"--http1.1", "--http1.0"}) {
        SCOPED_TRACE(version);
        CurlResult raw =
            RunCurl({version, "-H", "Accept-Encoding: gzip", m_nginx.HttpUrl("/notes.txt")});
        EXPECT_EQ(raw.Header("Content-Encoding"), "gzip");
        EXPECT_TRUE(raw.body.startsWith("\x1f\x8b"));
        EXPECT_LT(raw.body.size(), text.size() / 2);
        CurlResult decoded = RunCurl({version, "--compressed", m_nginx.HttpUrl("/notes.txt")});
        EXPECT_EQ(decoded.body, text);
    }

    const QByteArray data = RandomBytes(50000, 7);
    m_nginx.Put("data.bin", data);
    CurlResult chunked = RunCurl({m_nginx.HttpUrl("/chunked/data.bin")});
    EXPECT_EQ(chunked.Header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(chunked.Header("Content-Length"), "");
    EXPECT_TRUE(chunked.body == data);
}

TEST_F(NginxPeerTest, BasicAuthGuardsPrivate) {
    m_nginx.Put("private/secret.txt", "the secret\n");
    struct Case {
        QStringList login;
        int status;
    } cases[] = {
        {{}, 401},
        {{"-u", "alice:wrong"}, 401},
        {{"-u", "alice:open sesame"}, 200},
    };
    for (const Case& c : cases) {
        CurlResult result = RunCurl(c.login + QStringList{m_nginx.HttpUrl("/private/secret.txt")});
        EXPECT_EQ(result.status, c.status) << c.login.join(' ').toStdString();
        if (c.status == 401)
            EXPECT_EQ(result.Header("WWW-Authenticate"), "Basic realm=\"Vireo test\"");
        else
            EXPECT_EQ(result.body, "the secret\n");
    }
}

TEST_F(NginxPeerTest, RedirectsAnswerWithTheirLocation) {
    const QString origin = m_nginx.HttpUrl("");
    struct Case {
        const char* path;
        int status;
        QString location;
    } cases[] = {
        {"/redir/abs/a/file.bin", 302, origin + "/a/file.bin"},
        {"/redir/301/file.bin?x=1", 301, origin + "/file.bin?x=1"},
        {"/redir/303/file.bin", 303, origin + "/file.bin"},
        {"/redir/rel/a/file.bin", 302, "/a/file.bin"},
        {"/redir/empty", 302, ""},
        {"/redir/loop", 302, origin + "/redir/loop"},
        {"/redir/chain/3/file.bin", 302, origin + "/redir/chain/2/file.bin"},
        {"/redir/chain/1/file.bin", 302, origin + "/file.bin"},
    };
    for (const Case& c : cases) {
        CurlResult result = RunCurl({m_nginx.HttpUrl(c.path)});
        EXPECT_EQ(result.status, c.status) << c.path;
        EXPECT_EQ(QString::fromLatin1(result.Header("Location")), c.location) << c.path;
        EXPECT_TRUE(result.headers.contains("\nLocation:")) << c.path;
    }

    m_nginx.Put("file.bin", "end of the chain");
    CurlResult followed =
        RunCurl({"-L", "--max-redirs", "5", m_nginx.HttpUrl("/redir/chain/4/file.bin")});
    EXPECT_EQ(followed.status, 200);
    EXPECT_EQ(followed.body, "end of the chain");
}

TEST_F(NginxPeerTest, StatusPagesAndRealAudioType) {
    for (int code : {403, 404, 500}) {
        CurlResult result = RunCurl({m_nginx.HttpUrl(QString("/status/%1").arg(code))});
        EXPECT_EQ(result.status, code);
        EXPECT_EQ(result.Header("Content-Type"), "text/html");
        EXPECT_TRUE(result.body.contains("<title>" + QByteArray::number(code))) << code;
    }
    m_nginx.Put("song.ram", "pnm://127.0.0.1/song.ra\n");
    EXPECT_EQ(RunCurl({m_nginx.HttpUrl("/song.ram")}).Header("Content-Type"),
              "audio/x-pn-realaudio");
}

TEST_F(NginxPeerTest, HttpsVerifiesOnlyAgainstTheTestCa) {
    m_nginx.Put("hello.bin", "over tls");
    struct Case {
        QString url;
        bool withCa;
        int exitCode;
    } cases[] = {
        {m_nginx.HttpsUrl("/hello.bin"), true, 0},
        {m_nginx.HttpsUrl("/hello.bin"), false, 60},
        {m_nginx.UntrustedUrl("/hello.bin"), true, 60},
    };
    for (const Case& c : cases) {
        QStringList arguments = {c.url};
        if (c.withCa)
            arguments += {"--cacert", m_nginx.CaFile()};
        CurlResult result = RunCurl(arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.url.toStdString() << " " << c.withCa;
        if (c.exitCode == 0) {
            EXPECT_EQ(result.body, "over tls");
        }
    }
}

// The client's own TLS stack must accept the certificate for 127.0.0.1 once given the CA.
TEST_F(NginxPeerTest, QtTlsAcceptsTheServerOnlyWithTheTestCa) {
    for (bool withCa : {true, false}) {
        QSslSocket socket;
        if (withCa) {
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            config.addCaCertificates(m_nginx.CaFile());
            socket.setSslConfiguration(config);
        }
        bool refused = false;
        QObject::connect(&socket, &QSslSocket::sslErrors, [&] { refused = true; });
        socket.connectToHostEncrypted("127.0.0.1", m_nginx.HttpsPort());
        ASSERT_TRUE(WaitUntil([&] { return socket.isEncrypted() || refused; })) << withCa;
        EXPECT_EQ(socket.isEncrypted(), withCa);
    }
}

} // namespace
