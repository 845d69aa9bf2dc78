// Faults real servers do not make on demand, played by a scripted server: cut
// connections, stalls, ignored ranges, headers trickling in, wrong ranges.
#include "ItemHarness.h"
#include "OwnFiles.h"
#include "engine/ErrorText.h"
#include "peers/ScriptedServer.h"
#include "peers/TestFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;

QByteArray Header(int status, const QByteArray& extra) {
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + extra + "\r\n";
}

// The fresh request, byte for byte, with its target and Host value.
QByteArray FreshRequest(const QByteArray& target, const QByteArray& host) {
    return "GET " + target +
           " HTTP/1.1\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
           "application/vnd ms-excel, application/msword, */*\r\n"
           "Accept-Language: en-us,ru;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\nHost: " +
           host + "\r\nExtension: Security/Remote-passphrase\r\n\r\n";
}

// One gzip member holding text.
QByteArray Gzip(const QByteArray& text) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(text.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray Chunked(const QByteArray& body) {
    return QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
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
    // The server listens on a port of its own: the Host value names it.
    EXPECT_EQ(server.Requests()[0], FreshRequest("/f.bin", server.HostPort().toLatin1()));
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

// The time-out is counted in ticks; the test runs them by hand instead of waiting.
TEST_F(HttpScripted, StalledConnectionTimesOutAndRetries) {
    Settings().SetInt(keys::Timeout, 30);
    QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    server.AddScript(
        {S::ExpectRequest(), S::Send(Header(200, length) + body.left(100)), S::Stall()});
    server.AddScript({S::ExpectRequest(), S::Send(Header(200, length) + body)});
    h.Start(Url());
    ASSERT_TRUE(WaitUntil([&] { return h.item->Job() && h.item->Job()->Bytes() == 100; }));
    ASSERT_TRUE(h.TickUntilTheAttemptEnds());
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.LogHas(" E timeout\r\n"));
    // The second server ignored the range and sent everything: the file starts over.
    EXPECT_TRUE(h.File("f.bin") == body);
}

TEST_F(HttpScripted, AttemptsRunOutWithTheByteCount) {
    Settings().SetInt(keys::Timeout, 30);
    Settings().SetInt(keys::MaxAttemp, 1);
    server.AddScript(
        {S::ExpectRequest(), S::Send(Header(200, "Content-Length: 10\r\n") + "abc"), S::Stall()});
    h.Start(Url());
    ASSERT_TRUE(WaitUntil([&] { return h.item->Job() && h.item->Job()->Bytes() == 3; }));
    ASSERT_TRUE(h.TickUntilTheAttemptEnds());
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
    Settings().SetInt(keys::MaxAttemp, 1);
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
        EXPECT_TRUE(
            resume.endsWith("Host: " + peer.HostPort().toLatin1() + "\r\n" + c.ifRange + "\r\n"))
            << c.what << ": " << resume.toStdString();
        if (c.startsOver) {
            EXPECT_FALSE(peer.Requests()[1].contains("Range")) << c.what;
            EXPECT_TRUE(run.LogHas("starting over")) << c.what;
        }
        if (c.newVersion && !c.startsOver)
            EXPECT_TRUE(run.LogHas("starting over from its first byte")) << c.what;
    }
}

// Through a proxy the request names the whole address; its Host value carries the port
// only where the scheme would not imply it, and so does the tunnel request.
TEST_F(HttpScripted, ProxyRequestsNameThePortOnlyWhereItIsNotTheDefault) {
    struct Case {
        const char* url;
        QByteArray request;
    } cases[] = {
        {"http://h.x/f.bin", FreshRequest("http://h.x/f.bin", "h.x")},
        {"http://h.x:8080/f.bin", FreshRequest("http://h.x:8080/f.bin", "h.x:8080")},
        {"http://h.x:443/f.bin", FreshRequest("http://h.x:443/f.bin", "h.x:443")},
        {"https://h.x/f.bin", "CONNECT h.x:443 HTTP/1.1\r\nHost: h.x:443\r\n\r\n"},
        {"https://h.x:8443/f.bin", "CONNECT h.x:8443 HTTP/1.1\r\nHost: h.x:8443\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ItemHarness run;
        ScriptedServer proxy;
        Settings().SetInt(keys::Proxy, 1);
        Settings().SetString(keys::ProxyServer, "127.0.0.1");
        Settings().SetInt(keys::ProxyPort, proxy.Port());
        Settings().SetInt(keys::MaxAttemp, 1);
        proxy.AddScript({S::ExpectRequest(), S::Send(Header(403, "Content-Length: 0\r\n"))});
        run.Start(c.url);
        ASSERT_TRUE(run.WaitDone()) << c.url;
        ASSERT_EQ(proxy.Requests().size(), 1) << c.url;
        EXPECT_EQ(proxy.Requests()[0], c.request) << c.url;
    }
}

// An interim answer (1xx but 101) only says the real one is coming: it is logged and
// skipped, and the answer after it is judged.
TEST_F(HttpScripted, InterimAnswersAreSkipped) {
    const QByteArray final = Header(200, "Content-Length: 5\r\n") + "hello";
    struct Case {
        const char* what;
        QByteArray interim;
        const char* logged; // the interim status line as the log shows it
    } cases[] = {
        {"100", "HTTP/1.1 100 Continue\r\n\r\n", "HTTP/1.1 100 Continue"},
        {"102", "HTTP/1.1 102 Processing\r\n\r\n", "HTTP/1.1 102 Processing"},
        {"103 with its header lines",
         "HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n",
         "HTTP/1.1 103 Early Hints"},
        {"two of them, LF only",
         "HTTP/1.1 100 Continue\n\nHTTP/1.1 103 Early Hints\nLink: </a.css>\n\n",
         "HTTP/1.1 103 Early Hints"},
    };
    for (const Case& c : cases) {
        for (bool cut : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (cut ? ", cut reads" : ", one read"));
            ItemHarness run;
            ScriptedServer peer;
            Settings().SetInt(keys::MaxAttemp, 1);
            QByteArray answer = c.interim + final;
            peer.AddScript(
                {S::ExpectRequest(), cut ? S::SendSlowly(answer, 4, 1) : S::Send(answer)});
            run.Start(peer.Url("/f.bin").toStdString());
            ASSERT_TRUE(run.WaitDone());
            EXPECT_EQ(run.finished, 1);
            EXPECT_EQ(run.File("f.bin"), QByteArray("hello"));
            EXPECT_EQ(peer.Requests().size(), 1);
            EXPECT_TRUE(run.LogHas(std::string(" I ") + c.logged + "\r\n"));
            EXPECT_TRUE(run.LogHas(" I HTTP/1.1 200 X\r\n"));
        }
    }
}

// The file holds exactly what Content-Length names; what comes after it is dropped.
TEST_F(HttpScripted, BytesPastTheLengthStayOutOfTheFile) {
    struct Case {
        const char* what;
        QByteArray held;
        QByteArray answer;
        bool cut;
    } cases[] = {
        {"one read", "", Header(200, "Content-Length: 5\r\n") + "helloEXTRA", false},
        {"cut reads", "", Header(200, "Content-Length: 5\r\n") + "helloEXTRA", true},
        {"a resumed range", "hel",
         Header(206, "Content-Length: 2\r\nContent-Range: bytes 3-4/5\r\n") + "loEXTRA", false},
        {"a compressed body", "",
         Header(200, "Content-Encoding: gzip\r\nContent-Length: " +
                         QByteArray::number(Gzip("hello").size()) + "\r\n") +
             Gzip("hello") + "EXTRA",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ItemHarness run;
        ScriptedServer peer;
        if (!c.held.isEmpty())
            ASSERT_TRUE(WriteOwnFile(run.Path("f.bin"), c.held));
        peer.AddScript(
            {S::ExpectRequest(), c.cut ? S::SendSlowly(c.answer, 4, 1) : S::Send(c.answer)});
        run.Start(peer.Url("/f.bin").toStdString(), !c.held.isEmpty());
        ASSERT_TRUE(run.WaitDone());
        EXPECT_EQ(run.finished, 1);
        EXPECT_EQ(run.File("f.bin"), QByteArray("hello"));
        EXPECT_EQ(run.item->Size(), 5);
        EXPECT_TRUE(run.LogHas(" E received data exceed original size\r\n"));
        EXPECT_TRUE(run.LogHas(" ! file received (5 bytes) in 1 attemps\r\n"));
    }
}

// A gzip body of several members is all of them; one that cannot be decoded to its end
// ends the attempt, and the next one asks for the rest.
TEST_F(HttpScripted, EveryGzipMemberReachesTheFile) {
    const QByteArray members = Gzip("Hello, ") + Gzip("World!\n");
    const QByteArray length = "Content-Length: " + QByteArray::number(members.size()) + "\r\n";
    struct Case {
        const char* what;
        QByteArray answer;
        bool close;
    } cases[] = {
        {"with a length", Header(200, "Content-Encoding: gzip\r\n" + length) + members, false},
        {"chunked",
         Header(200, "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n") + Chunked(members),
         false},
        {"to the close", Header(200, "Content-Encoding: gzip\r\n") + members, true},
    };
    for (const Case& c : cases) {
        for (bool cut : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (cut ? ", cut reads" : ", one read"));
            ItemHarness run;
            ScriptedServer peer;
            Script script{S::ExpectRequest(),
                          cut ? S::SendSlowly(c.answer, 5, 1) : S::Send(c.answer)};
            if (c.close)
                script.push_back(S::Close());
            peer.AddScript(script);
            run.Start(peer.Url("/f.txt").toStdString());
            ASSERT_TRUE(run.WaitDone());
            EXPECT_EQ(run.finished, 1);
            EXPECT_EQ(run.File("f.txt"), QByteArray("Hello, World!\n"));
        }
    }
}

TEST_F(HttpScripted, ACompressedBodyThatDoesNotDecodeToItsEndIsNotDone) {
    const QByteArray one = Gzip("Hello, "), two = Gzip("World!\n");
    const QByteArray rest =
        Header(206, "Content-Length: 7\r\nContent-Range: bytes 7-13/14\r\n") + "World!\n";
    struct Case {
        const char* what;
        QByteArray body;
        const char* line;
    } cases[] = {
        // Cut inside its header, so that what reached the file is the first member's.
        {"second member cut short", one + two.left(6), "compressed body ends early"},
        {"garbage after the first member", one + "garbage!", "bad compressed body"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ItemHarness run;
        ScriptedServer peer;
        peer.AddScript({S::ExpectRequest(),
                        S::Send(Header(200, "Content-Encoding: gzip\r\nContent-Length: " +
                                                QByteArray::number(c.body.size()) + "\r\n") +
                                c.body)});
        peer.AddScript({S::ExpectRequest(), S::Send(rest)});
        run.Start(peer.Url("/f.txt").toStdString());
        ASSERT_TRUE(run.WaitDone());
        EXPECT_EQ(run.finished, 1) << run.LogText();
        EXPECT_TRUE(run.LogHas(std::string(" E ") + c.line + "\r\n"));
        ASSERT_EQ(peer.Requests().size(), 2);
        EXPECT_TRUE(peer.Requests()[1].contains("\r\nRange: bytes=7-\r\n"));
        EXPECT_EQ(run.File("f.txt"), QByteArray("Hello, World!\n"));
    }
}

// Numbers no answer can hold end the attempt with a line in the log; the next answer is
// judged afresh and nothing of the impossible one stays in the file.
TEST_F(HttpScripted, ImpossibleLengthsEndTheAttempt) {
    // Byte 0: how many bytes each read takes; byte 1: the bytes of the file already held;
    // then the answer to the resume.
    const QByteArray hostile("\x07\xc8HTTP/1.1 206 P\r\nContent-Length: 9223372036854775799\r\n"
                             "Content-Range: bytes 200-209/210\r\n\r\nabc",
                             94);
    const int piece = uint8_t(hostile[0]), held = uint8_t(hostile[1]);
    const QByteArray file = RandomBytes(210, 5);
    struct Case {
        const char* what;
        int held;
        ScriptStep answer;
    } cases[] = {
        {"held + Content-Length passes 2^63, cut reads", held,
         S::SendSlowly(hostile.mid(2), piece, 1)},
        {"held + Content-Length passes 2^63, one read", held, S::Send(hostile.mid(2))},
        {"Content-Length beyond 2^63", 0,
         S::Send(Header(200, "Content-Length: 99999999999999999999\r\n") + file)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ItemHarness run;
        ScriptedServer peer;
        if (c.held)
            ASSERT_TRUE(WriteOwnFile(run.Path("f.bin"), file.left(c.held)));
        peer.AddScript({S::ExpectRequest(), c.answer, S::Close()});
        peer.AddScript(
            {S::ExpectRequest(),
             S::Send(c.held ? Header(206,
                                     "Content-Length: 10\r\nContent-Range: bytes 200-209/210\r\n") +
                                  file.mid(200)
                            : Header(200, "Content-Length: 210\r\n") + file)});
        run.Start(peer.Url("/f.bin").toStdString(), c.held != 0);
        ASSERT_TRUE(run.WaitDone());
        EXPECT_EQ(run.finished, 1);
        EXPECT_TRUE(run.File("f.bin") == file);
        EXPECT_EQ(run.item->Size(), 210);
        EXPECT_EQ(peer.Requests().size(), 2);
        EXPECT_TRUE(run.LogHas(" E impossible ")) << run.LogText();
    }
}

// An address with a control byte never reaches a request line: a redirect to one fails
// the download before anything is sent, as the address check refuses it elsewhere.
TEST_F(HttpScripted, ARedirectToAnAddressWithControlBytesIsRefused) {
    server.AddScript({S::ExpectRequest(),
                      S::Send(Header(302, "Location: /f.zip\tHTTP/1.1\r\nContent-Length: 0\r\n"))});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, ErrParseUrl);
    EXPECT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_TRUE(h.LogHas(" E control byte in the address\r\n"));
}
