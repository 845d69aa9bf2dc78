// Faults real servers do not make on demand, played by a scripted server: cut
// connections, stalls, ignored ranges, headers trickling in, wrong ranges.
#include "ItemHarness.h"
#include "OwnFiles.h"
#include "engine/ErrorText.h"
#include "peers/ScriptedServer.h"
#include "peers/TestFiles.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;

QByteArray Header(int status, const QByteArray& extra) {
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + extra + "\r\n";
}

class HttpScripted : public ::testing::Test {
protected:
    void SetUp() override { EnsureTestApp(); }
    std::string Url(const char* path = "/f.bin") { return server.Url(path).toStdString(); }

    ScriptedServer server;
    QByteArray body = RandomBytes(100000, 3);
    ItemHarness h;
};
} // namespace

TEST_F(HttpScripted, FreshRequestIsTheBrowserTemplate) {
    server.AddScript({S::ExpectRequest(), S::Send(Header(200, "Content-Length: 5\r\n") + "hello")});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0],
              "GET /f.bin HTTP/1.1\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, "
              "image/pjpeg, application/vnd ms-excel, application/msword, */*\r\n"
              "Accept-Language: en-us,ru;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\nHost: 127.0.0.1\r\n"
              "Extension: Security/Remote-passphrase\r\n\r\n");
}

TEST_F(HttpScripted, ConnectionCutAtByteNIsResumed) {
    const int n = 40000;
    QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    server.AddScript({S::ExpectRequest(), S::Send(Header(200, length) + body.left(n)), S::Close()});
    server.AddScript({S::ExpectRequest(),
                      S::Send(Header(206, "Content-Length: " + QByteArray::number(body.size() - n) +
                                              "\r\nContent-Range: bytes " + QByteArray::number(n) +
                                              "-" + QByteArray::number(body.size() - 1) + "/" +
                                              QByteArray::number(body.size()) + "\r\n") +
                              body.mid(n))});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests()[1].startsWith("GET /f.bin HTTP/1.0\r\n"));
    EXPECT_TRUE(server.Requests()[1].contains("\r\nRange: bytes=40000-\r\n"));
    EXPECT_TRUE(h.LogHas(" in 2 attemps"));
}

TEST_F(HttpScripted, StalledConnectionTimesOutAndRetries) {
    Settings().SetInt("timeout", 1);
    QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    server.AddScript(
        {S::ExpectRequest(), S::Send(Header(200, length) + body.left(100)), S::Stall()});
    server.AddScript({S::ExpectRequest(), S::Send(Header(200, length) + body)});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.LogHas(" E timeout\r\n"));
    // The second server ignored the range and sent everything: the file starts over.
    EXPECT_TRUE(h.File("f.bin") == body);
}

TEST_F(HttpScripted, AttemptsRunOutWithTheByteCount) {
    Settings().SetInt("timeout", 1);
    Settings().SetInt("maxattemp", 1);
    server.AddScript(
        {S::ExpectRequest(), S::Send(Header(200, "Content-Length: 10\r\n") + "abc"), S::Stall()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.error, ErrAttempts);
    EXPECT_EQ(h.item->ErrorText(), "(3)");
    EXPECT_TRUE(h.LogHas(" I all attemps passed\r\n"));
}

TEST_F(HttpScripted, HeaderTricklingInOneByteAtATime) {
    server.AddScript(
        {S::ExpectRequest(), S::SendSlowly("HTTP/1.0 200 OK\nContent-Length: 3\n\nabc", 1, 2)});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(h.File("f.bin"), QByteArray("abc"));
}

TEST_F(HttpScripted, RangesThatCannotBeAppendedStartTheFileOver) {
    QByteArray total = QByteArray::number(body.size());
    QByteArray answers[] = {
        // A range that starts elsewhere than the end of the partial file.
        Header(206, "Content-Length: 10\r\nContent-Range: bytes 0-9/" + total + "\r\n") +
            body.left(10),
        // The right range, but compressed: coded bytes never follow decoded ones.
        Header(206, "Content-Length: 10\r\nContent-Encoding: gzip\r\nContent-Range: bytes "
                    "500-509/" +
                        total + "\r\n") +
            body.mid(500, 10),
        // No Content-Range at all: where the bytes belong is unknown.
        Header(206, "Content-Length: 10\r\n") + body.mid(500, 10),
    };
    for (const QByteArray& answer : answers) {
        ItemHarness run;
        ScriptedServer peer;
        ASSERT_TRUE(WriteOwnFile(run.Path("f.bin"), body.left(500)));
        peer.AddScript({S::ExpectRequest(), S::Send(answer)});
        peer.AddScript(
            {S::ExpectRequest(), S::Send(Header(200, "Content-Length: " + total + "\r\n") + body)});
        run.Start(peer.Url("/f.bin").toStdString(), true);
        ASSERT_TRUE(run.WaitDone());
        EXPECT_EQ(run.finished, 1);
        EXPECT_TRUE(run.File("f.bin") == body);
        ASSERT_EQ(peer.Requests().size(), 2);
        EXPECT_TRUE(peer.Requests()[0].contains("Range: bytes=500-"));
        EXPECT_FALSE(peer.Requests()[1].contains("Range:"));
    }
}

TEST_F(HttpScripted, OversizedHeaderEndsTheAttempt) {
    Settings().SetInt("maxattemp", 1);
    server.AddScript({S::ExpectRequest(),
                      S::Send("HTTP/1.1 200 OK\r\nX: " + QByteArray(70000, 'x')), S::Stall()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, ErrAttempts);
    EXPECT_TRUE(h.LogHas("response header too large"));
}

TEST_F(HttpScripted, EmptyBodyAndUnknownLength) {
    server.AddScript({S::ExpectRequest(), S::Send(Header(200, "Content-Length: 0\r\n"))});
    h.Start(Url("/empty.bin"));
    ASSERT_TRUE(h.WaitDone(3000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(h.File("empty.bin"), QByteArray());

    ItemHarness unknown;
    server.AddScript({S::ExpectRequest(), S::Send("HTTP/1.0 200 OK\r\n\r\n" + body), S::Close()});
    unknown.Start(Url("/u.bin"));
    ASSERT_TRUE(unknown.WaitDone());
    EXPECT_EQ(unknown.finished, 1);
    EXPECT_TRUE(unknown.File("u.bin") == body);
}

TEST_F(HttpScripted, RedirectToAnotherHostDropsCredentials) {
    ScriptedServer other;
    other.AddScript({S::ExpectRequest(), S::Send(Header(200, "Content-Length: 2\r\n") + "ok")});
    // The other server is reached by another spelling of loopback, so it counts as
    // another host.
    std::string otherUrl = "http://127.1:" + std::to_string(other.Port()) + "/f.bin";
    server.AddScript(
        {S::ExpectRequest(), S::Send(Header(302, "Location: " + QByteArray(otherUrl.c_str()) +
                                                     "\r\nContent-Length: 0\r\n"))});
    std::string url = Url();
    url.insert(url.find("//") + 2, "user:pw@");
    h.Start(url);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_TRUE(server.Requests()[0].contains("Authorization: Basic dXNlcjpwdw=="));
    ASSERT_EQ(other.Requests().size(), 1);
    EXPECT_FALSE(other.Requests()[0].contains("Authorization"));
}
