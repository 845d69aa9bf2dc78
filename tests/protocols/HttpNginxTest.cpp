// Downloads from a real web server and proxy on loopback; every file is compared with
// the source byte for byte.
#include "ItemHarness.h"
#include "OwnFiles.h"
#include "engine/ErrorText.h"
#include "engine/TargetFile.h"
#include "peers/NginxPeer.h"
#include "peers/ProxyPeer.h"
#include "peers/TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class HttpNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureTestApp();
        server = new NginxPeer;
        ASSERT_TRUE(server->Start());
        source = RandomBytes(3 * 1024 * 1024 + 17, 7);
        server->Put("file.bin", source);
        text.clear();
        for (int i = 0; i < 40000; ++i)
            text += "line " + QByteArray::number(i) + " of a text that compresses well\n";
        server->Put("text.txt", text);
        server->Put("private/secret.bin", source.left(1000));
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    std::string Url(const char* path) { return server->HttpUrl(path).toStdString(); }

    static NginxPeer* server;
    static QByteArray source;
    static QByteArray text;
    ItemHarness h;
};
NginxPeer* HttpNginx::server = nullptr;
QByteArray HttpNginx::source;
QByteArray HttpNginx::text;

void WritePartial(const std::string& path, const QByteArray& bytes) {
    ASSERT_TRUE(WriteOwnFile(path, bytes));
}
} // namespace

TEST_F(HttpNginx, FreshDownloadIsIdenticalAndLogged) {
    h.Start(Url("/file.bin"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("file.bin") == source);
    EXPECT_TRUE(h.LogHas("#1 ! log " + Url("/file.bin") + ", " + h.Path("file.bin") + "\r\n"));
    EXPECT_TRUE(h.LogHas(
        " ! Connecting server: 127.0.0.1, port: " + std::to_string(server->HttpPort()) + "\r\n"));
    EXPECT_TRUE(h.LogHas(" O HTTP req: /file.bin\r\n"));
    EXPECT_TRUE(h.LogHas(" I HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(h.LogHas("Content-Length: " + std::to_string(source.size()) + "\r\n"));
    EXPECT_TRUE(h.LogHas(" R receiving data\r\n"));
    EXPECT_TRUE(h.LogHas(" ! file received (" + std::to_string(source.size()) +
                         " bytes) in 1 attemps\r\n"));
    EXPECT_TRUE(TargetFile::IsStampedComplete(h.Path("file.bin")));
    EXPECT_TRUE(server->AccessLog().contains("Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)"));
    // The server listens on a port of its own, and the Host value says so.
    EXPECT_TRUE(
        server->AccessLog().contains("\"127.0.0.1:" + QString::number(server->HttpPort()) + "\" "))
        << server->AccessLog().toStdString();
}

TEST_F(HttpNginx, AWriteTheDiskRefusesFailsTheItemAsDiskFull) {
    {
        FileSizeCap cap(1024 * 1024);
        h.Start(Url("/file.bin"));
        ASSERT_TRUE(h.WaitDone());
    }
    EXPECT_EQ(h.finished, 0);
    EXPECT_EQ(h.failed, 1);
    EXPECT_EQ(h.error, ErrDiskFull);
    // What was written stays for a resume: the start of the file, unstamped as whole.
    QByteArray kept = h.File("file.bin");
    EXPECT_GT(kept.size(), 0);
    EXPECT_LE(kept.size(), 1024 * 1024);
    EXPECT_TRUE(kept == source.left(kept.size()));
    EXPECT_FALSE(TargetFile::IsStampedComplete(h.Path("file.bin")));
}

TEST_F(HttpNginx, CompressedAndChunkedBodiesAreStoredDecoded) {
    for (const char* path : {"/text.txt", "/chunked/text.txt"}) {
        ItemHarness run;
        run.Start(Url(path));
        ASSERT_TRUE(run.WaitDone(8000)) << path << " did not end by itself";
        EXPECT_EQ(run.finished, 1) << path;
        EXPECT_TRUE(run.File("text.txt") == text) << path;
    }
    EXPECT_TRUE(server->AccessLog().contains("\"gzip, deflate\""));
}

TEST_F(HttpNginx, ResumeAsksForTheRestAndGivesTheSameFile) {
    WritePartial(h.Path("file.bin"), source.left(1000000));
    h.Start(Url("/file.bin"), true);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("file.bin") == source);
    EXPECT_TRUE(h.LogHas(" O HTTP req: /file.bin, start: 1000000\r\n"));
    EXPECT_TRUE(server->AccessLog().contains("\"bytes=1000000-\""));
    EXPECT_TRUE(server->AccessLog().contains("Corvid (Build 777) pro"));
}

TEST_F(HttpNginx, WholeFilesFinishWithoutTransfer) {
    // Stamped complete: no connection at all.
    h.Start(Url("/file.bin"));
    ASSERT_TRUE(h.WaitDone());
    int requests = server->AccessLog().count('\n');
    ItemHarness again;
    WritePartial(again.Path("file.bin"), source);
    TargetFile stamp;
    ASSERT_TRUE(stamp.Open(again.Path("file.bin")));
    stamp.Stamp(true);
    stamp.Close();
    again.Start(Url("/file.bin"), true);
    EXPECT_EQ(again.finished, 1);
    EXPECT_EQ(server->AccessLog().count('\n'), requests);

    // Whole but still stamped incomplete (stopped before the stamp): the server's 416
    // shows it is whole.
    ItemHarness unstamped;
    WritePartial(unstamped.Path("file.bin"), source);
    unstamped.Start(Url("/file.bin"), true);
    ASSERT_TRUE(unstamped.WaitDone());
    EXPECT_EQ(unstamped.finished, 1);
    EXPECT_TRUE(unstamped.File("file.bin") == source);
}

TEST_F(HttpNginx, RedirectsAreFollowedAndLoopsEnd) {
    struct Case {
        const char* path;
        bool ok;
    } cases[] = {{"/redir/abs/file.bin", true}, {"/redir/rel/file.bin", true},
                 {"/redir/301/file.bin", true}, {"/redir/303/file.bin", true},
                 {"/redir/307/file.bin", true}, {"/redir/chain/5/file.bin", true},
                 {"/redir/loop", false}};
    for (const Case& c : cases) {
        ItemHarness run;
        run.Start(Url(c.path), false, run.Path("out.bin"));
        ASSERT_TRUE(run.WaitDone()) << c.path;
        if (c.ok) {
            EXPECT_EQ(run.finished, 1) << c.path;
            EXPECT_TRUE(run.File("out.bin") == source) << c.path;
            EXPECT_TRUE(run.LogHas("redirect to location: ")) << c.path;
        } else {
            EXPECT_EQ(run.error, ErrTooManyRedirects) << c.path;
            EXPECT_EQ(run.item->ErrorText(), "too many redirects");
        }
    }
}

TEST_F(HttpNginx, ErrorPagesNeverReachTheFile) {
    struct Case {
        const char* path;
        int error;
    } cases[] = {{"/status/404", 404},
                 {"/status/403", 403},
                 {"/status/410", 410},
                 {"/status/500", ErrAttempts}};
    for (const Case& c : cases) {
        ItemHarness run;
        WritePartial(run.Path("partial.bin"), "kept bytes");
        run.Start(Url(c.path), true, run.Path("partial.bin"));
        ASSERT_TRUE(run.WaitDone()) << c.path;
        EXPECT_EQ(run.error, c.error) << c.path;
        EXPECT_EQ(run.File("partial.bin"), QByteArray("kept bytes")) << c.path;
    }
    // A 404 to a path request is asked once more with the whole URL.
    EXPECT_TRUE(server->AccessLog().contains("\"GET http://127.0.0.1:"));
}

TEST_F(HttpNginx, BasicAuthorization) {
    h.Start(Url("/private/secret.bin"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, 401);
    EXPECT_EQ(h.credentialRequests, 1);
    EXPECT_EQ(h.item->ErrorText(), "unauthorized");

    // What the password dialog stores is sent on the next start.
    h.item->SetCredentials("vireo:secret");
    h.failed = 0;
    h.item->StartItem(h.item->Url(), "", false);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("secret.bin") == source.left(1000));
    EXPECT_TRUE(server->AccessLog().contains("Basic dmlyZW86c2VjcmV0"));

    ItemHarness inUrl;
    std::string url = server->HttpUrl("/private/secret.bin").toStdString();
    url.insert(url.find("//") + 2, "vireo:secret@");
    inUrl.Start(url);
    ASSERT_TRUE(inUrl.WaitDone());
    EXPECT_EQ(inUrl.finished, 1);
}

TEST_F(HttpNginx, MetafileLeadsToTheStreamAndQueuesTheOthers) {
    server->Put("clip.ram", "pnm://127.0.0.1/clip.ra\r\n;http://127.0.0.1/second.rm\r\n");
    h.Start(Url("/clip.ram"));
    ASSERT_TRUE(WaitUntil([&] { return h.item->Url() != Url("/clip.ram"); }, 5000));
    EXPECT_EQ(h.item->Url(), "pnm://127.0.0.1/clip.ra");
    EXPECT_EQ(h.moreUrls, std::vector<std::string>{"http://127.0.0.1/second.rm"});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(h.Path("clip.ram"))));
}

TEST_F(HttpNginx, HttpsVerifiesCertificates) {
    setenv("VIREO_CA_FILE", server->CaFile().toLocal8Bit().constData(), 1);
    h.Start(server->HttpsUrl("/file.bin").toStdString());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("file.bin") == source);

    ItemHarness untrusted;
    untrusted.Start(server->UntrustedUrl("/file.bin").toStdString());
    ASSERT_TRUE(untrusted.WaitDone(3000));
    EXPECT_EQ(untrusted.error, ErrCertificate);
    EXPECT_EQ(untrusted.item->ErrorText(), "certificate error");
    EXPECT_TRUE(untrusted.LogHas(" E certificate error: "));
    unsetenv("VIREO_CA_FILE");
}

// Segments over TLS: every connection makes its own verified handshake.
TEST_F(HttpNginx, HttpsInSegments) {
    setenv("VIREO_CA_FILE", server->CaFile().toLocal8Bit().constData(), 1);
    Settings().SetInt(keys::Segments, 4);
    const QByteArray data = RandomBytes(5 * 1024 * 1024 + 3, 77);
    server->Put("tls-parts.bin", data);
    h.Start(server->HttpsUrl("/tls-parts.bin").toStdString());
    ASSERT_TRUE(h.WaitDone(30000)) << h.LogText();
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_TRUE(h.File("tls-parts.bin") == data);
    EXPECT_GE(server->AccessLog().count(QRegularExpression("tls-parts.bin HTTP/1.1\" 206 ")), 3)
        << server->AccessLog().toStdString();
    unsetenv("VIREO_CA_FILE");
}

TEST_F(HttpNginx, ThroughTheProxy) {
    ProxyPeer proxy;
    ASSERT_TRUE(proxy.Start());
    setenv("VIREO_CA_FILE", server->CaFile().toLocal8Bit().constData(), 1);
    for (bool tls : {false, true}) {
        ItemHarness run;
        Settings().SetInt(keys::Proxy, 1);
        Settings().SetString(keys::ProxyServer, "127.0.0.1");
        Settings().SetInt(keys::ProxyPort, proxy.Port());
        QString url = tls ? server->HttpsUrl("/file.bin") : server->HttpUrl("/file.bin");
        run.Start(url.toStdString());
        ASSERT_TRUE(run.WaitDone()) << tls << run.LogText();
        EXPECT_EQ(run.finished, 1) << tls;
        EXPECT_TRUE(run.File("file.bin") == source) << tls;
        EXPECT_TRUE(run.LogHas("Connecting via proxy host: 127.0.0.1, port: " +
                               std::to_string(proxy.Port())))
            << tls;
    }
    unsetenv("VIREO_CA_FILE");
    QString lines = proxy.Requests().join('\n');
    EXPECT_TRUE(lines.contains("GET " + server->HttpUrl("/file.bin") + " HTTP/1.1"))
        << lines.toStdString();
    EXPECT_TRUE(lines.contains("CONNECT 127.0.0.1:" + QString::number(server->HttpsPort())))
        << lines.toStdString();
}

TEST_F(HttpNginx, FilesLargerThanFourGiB) {
    const int64_t size = 4LL * 1024 * 1024 * 1024 + 123457;
    QString big = server->Put("big.bin", "tail");
    int fd = ::open(big.toLocal8Bit().constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ASSERT_EQ(::pwrite(fd, "tail", 4, size - 4), 4);
    ::close(fd);
    Settings().SetInt(keys::Timeout, 30);
    h.Start(Url("/big.bin"));
    ASSERT_TRUE(h.WaitDone(180000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(h.item->Size(), size);
    QFile got(QString::fromStdString(h.Path("big.bin")));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.size(), size);
    EXPECT_EQ(got.read(4), QByteArray("head"));
    // The middle is zeros on both sides; compare it in blocks.
    QFile want(big);
    ASSERT_TRUE(want.open(QIODevice::ReadOnly));
    bool same = true;
    got.seek(0);
    while (same && !want.atEnd())
        same = want.read(1 << 22) == got.read(1 << 22);
    EXPECT_TRUE(same);
    got.close();
    QFile::remove(QString::fromStdString(h.Path("big.bin")));
    QFile::remove(big);
}
