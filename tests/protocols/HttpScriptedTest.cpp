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

TEST_F(HttpScripted, AResumeAppendsOnlyToTheSameVersionOfTheFile) {
    // A partial file of 500 bytes whose first answer named version "v1" of 100000 bytes.
    const QByteArray total = QByteArray::number(body.size());
    const QByteArray fresh = RandomBytes(body.size(), 77); // what the server has now
    auto range = [&](const QByteArray& tag, const QByteArray& size) {
        return Header(206, "ETag: " + tag +
                               "\r\nContent-Length: " + QByteArray::number(body.size() - 500) +
                               "\r\nContent-Range: bytes 500-" +
                               QByteArray::number(body.size() - 1) + "/" + size + "\r\n");
    };
    const QByteArray whole = Header(200, "ETag: \"v2\"\r\nContent-Length: " + total + "\r\n");
    struct Case {
        const char* what;
        FileValidators stored;
        QByteArray ifRange; // the line the resume must carry
        QByteArray answer;  // to the resume
        bool startsOver;    // a second request from byte 0 gets the new version
        bool newVersion;    // the file ends as the new version
    } cases[] = {
        {"same version",
         {"\"v1\"", "", "", body.size()},
         "If-Range: \"v1\"\r\n",
         range("\"v1\"", total) + body.mid(500),
         false,
         false},
        {"changed: the whole file comes",
         {"\"v1\"", "", "", body.size()},
         "If-Range: \"v1\"\r\n",
         whole + fresh,
         false,
         true},
        {"changed, If-Range ignored",
         {"\"v1\"", "", "", body.size()},
         "If-Range: \"v1\"\r\n",
         range("\"v2\"", total) + fresh.mid(500),
         true,
         true},
        {"changed length",
         {"", "", "", body.size()},
         "",
         range("\"v2\"", "100500") + fresh.mid(500),
         true,
         true},
        {"only a date",
         {"", "Tue, 01 Dec 2026 10:00:00 GMT", "", -1},
         "If-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n",
         range("\"x\"", total) + body.mid(500),
         false,
         false},
    };
    for (const Case& c : cases) {
        ItemHarness run;
        ScriptedServer peer;
        ASSERT_TRUE(WriteOwnFile(run.Path("f.bin"), body.left(500), false, c.stored));
        peer.AddScript({S::ExpectRequest(), S::Send(c.answer)});
        peer.AddScript({S::ExpectRequest(), S::Send(whole + fresh)});
        run.Start(peer.Url("/f.bin").toStdString(), true);
        ASSERT_TRUE(run.WaitDone()) << c.what;
        EXPECT_EQ(run.finished, 1) << c.what;
        EXPECT_TRUE(run.File("f.bin") == (c.newVersion ? fresh : body)) << c.what;
        ASSERT_EQ(peer.Requests().size(), c.startsOver ? 2 : 1) << c.what;
        // The resume is the described request with one line more, or none without a
        // validator.
        QByteArray resume = peer.Requests()[0];
        EXPECT_TRUE(resume.startsWith("GET /f.bin HTTP/1.0\r\n")) << c.what;
        EXPECT_TRUE(resume.endsWith("Host: 127.0.0.1\r\n" + c.ifRange + "\r\n"))
            << c.what << ": " << resume.toStdString();
        if (c.startsOver) {
            EXPECT_FALSE(peer.Requests()[1].contains("Range")) << c.what;
            EXPECT_TRUE(run.LogHas("starting over")) << c.what;
        }
        if (c.newVersion && !c.startsOver)
            EXPECT_TRUE(run.LogHas("starting over from its first byte")) << c.what;
    }
}
