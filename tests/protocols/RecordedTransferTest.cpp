// HTTP and FTP transfers driven through fake connections: the test plays the server and
// the resolver with recorded bytes by calling the job's events itself, so retries,
// lookups and the reply machine run without a network.
#include "FakeConnection.h"
#include "FakeHost.h"
#include "TempSettings.h"
#include "engine/ItemEvent.h"
#include "peers/TestApp.h"
#include "protocols/FtpTransfer.h"
#include "protocols/HttpRequest.h"
#include "protocols/HttpTransfer.h"

#include <QHostAddress>

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;
using State = TransferJob::AttemptState;

namespace {
class Recorded : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        Settings().SetInt(keys::Proxy, 0);
        Settings().SetInt(keys::Timeout, 5);
        Settings().SetInt(keys::MaxAttemp, 3);
        Settings().SetInt(keys::FtpPassive, 1);
    }
    static QHostInfo Found(const char* address) {
        QHostInfo info;
        info.setAddresses({QHostAddress(QString::fromLatin1(address))});
        return info;
    }
    bool Feed(TransferJob& job, FakeConnection& c, const std::string& bytes) {
        return job.HandleData(&c, bytes.data(), bytes.size());
    }
    bool LogHas(const std::string& text) const { return host.log.find(text) != std::string::npos; }

    TempSettings settings;
    FakeHost host;
    FakeConnector net;
};
} // namespace

// A connection that closes short ends the attempt; the next one looks the host up again
// and asks for the rest.
TEST_F(Recorded, HttpRetryLooksTheHostUpAgainAndAsksForTheRest) {
    host.url = "http://h.x/f.bin";
    HttpTransfer job(&host, "h.x", "/f.bin", 80, false);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    EXPECT_EQ(net.lookups, std::vector<std::string>{"h.x"});
    EXPECT_EQ(job.StateOfAttempt(), State::Resolving);

    job.HandleResolved(Found("10.0.0.7"));
    FakeConnection& first = net.Last();
    EXPECT_EQ(first.host, "10.0.0.7");
    EXPECT_EQ(first.port, 80);
    EXPECT_EQ(job.StateOfAttempt(), State::Connecting);
    job.HandleConnected(&first);
    EXPECT_EQ(job.StateOfAttempt(), State::Talking);
    job.HandleWritable(&first);
    EXPECT_EQ(first.sent, BuildHttpRequest("/f.bin", "h.x", 0, ""));
    EXPECT_TRUE(
        Feed(job, first, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nETag: \"v1\"\r\n\r\n01234"));
    EXPECT_EQ(job.StateOfAttempt(), State::Receiving);
    job.HandleClosed(&first);

    EXPECT_TRUE(first.retired);
    EXPECT_EQ(job.Attempts(), 2);
    ASSERT_EQ(net.lookups.size(), 2u);
    EXPECT_EQ(job.StateOfAttempt(), State::Resolving);
    job.HandleResolved(Found("10.0.0.7"));
    FakeConnection& second = net.Last();
    ASSERT_NE(&first, &second);
    job.HandleConnected(&second);
    job.HandleWritable(&second);
    EXPECT_EQ(second.sent, BuildHttpRequest("/f.bin", "h.x", 5, "", "\"v1\""));
    EXPECT_FALSE(Feed(job, second,
                      "HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-9/10\r\nContent-Length: "
                      "5\r\nETag: \"v1\"\r\n\r\n56789"));
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.file, "0123456789");
    EXPECT_TRUE(LogHas("! file received (10 bytes) in 2 attemps\n")) << host.log;
    EXPECT_EQ(job.StateOfAttempt(), State::Idle);
    EXPECT_TRUE(second.retired);
}

// The proxy's answer to CONNECT may come in pieces; once it is whole, TLS starts for the
// server's name and the request inside names only the path.
TEST_F(Recorded, HttpsTunnelReplyInPieces) {
    Settings().SetInt(keys::Proxy, 1);
    Settings().SetString(keys::ProxyServer, "10.1.1.1");
    Settings().SetInt(keys::ProxyPort, 3128);
    host.url = "https://s.x/a";
    HttpTransfer job(&host, "s.x", "/a", 443, true);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    EXPECT_TRUE(net.lookups.empty()); // the proxy is named by its address
    FakeConnection& c = net.Last();
    EXPECT_EQ(c.host, "10.1.1.1");
    EXPECT_EQ(c.port, 3128);
    job.HandleConnected(&c);
    job.HandleWritable(&c);
    EXPECT_EQ(c.sent, "CONNECT s.x:443 HTTP/1.1\r\nHost: s.x:443\r\n\r\n");
    EXPECT_TRUE(Feed(job, c, "HTTP/1.1 200 Connection established\r"));
    EXPECT_EQ(c.tlsPeerName, "");
    EXPECT_TRUE(Feed(job, c, "\n\r\n"));
    EXPECT_EQ(c.tlsPeerName, "s.x");
    c.sent.clear();
    job.HandleWritable(&c);
    EXPECT_EQ(c.sent, BuildHttpRequest("/a", "s.x", 0, ""));
    EXPECT_TRUE(LogHas("I HTTP/1.1 200 Connection established\n")) << host.log;
}

// The whole passive dialogue from recorded replies: EPSV refused falls back to PASV for
// the rest of the transfer, the size comes from the listing, the time from MDTM.
TEST_F(Recorded, FtpPassiveDialogue) {
    host.url = "ftp://127.0.0.1/pub/f.bin";
    FtpTransfer job(&host, "127.0.0.1", "/pub/f.bin", 21);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    FakeConnection& control = net.Last();
    EXPECT_EQ(control.host, "127.0.0.1");
    EXPECT_EQ(control.port, 21);
    job.HandleConnected(&control);
    for (const char* reply : {"220 hi\r\n", "331 pw\r\n", "230 ok\r\n", "215 UNIX\r\n",
                              "250 ok\r\n", "500 no EPSV\r\n"})
        ASSERT_TRUE(Feed(job, control, reply)) << reply;
    // The address in the reply is not trusted: the data comes from the control's peer.
    ASSERT_TRUE(Feed(job, control, "227 Entering Passive Mode (10,9,9,9,4,1)\r\n"));
    FakeConnection& listing = net.Last();
    EXPECT_EQ(listing.host, "127.0.0.1");
    EXPECT_EQ(listing.port, 1025);
    job.HandleConnected(&listing);
    ASSERT_TRUE(Feed(job, control, "200 ok\r\n150 here\r\n"));
    ASSERT_TRUE(Feed(job, listing, "-rw-r--r-- 1 ftp ftp 6 Jan 1 2024 f.bin\r\n"));
    job.HandleClosed(&listing);
    EXPECT_EQ(job.Size(), 6);
    ASSERT_TRUE(Feed(job, control, "226 done\r\n213 20240101000000\r\n"));
    ASSERT_TRUE(Feed(job, control, "227 Entering Passive Mode (127,0,0,1,4,2)\r\n"));
    FakeConnection& file = net.Last();
    EXPECT_EQ(file.port, 1026);
    job.HandleConnected(&file);
    ASSERT_TRUE(Feed(job, control, "200 ok\r\n150 sending\r\n"));
    ASSERT_TRUE(Feed(job, file, "abcdef"));
    ASSERT_TRUE(Feed(job, control, "226 done\r\n"));
    job.HandleClosed(&file);
    EXPECT_EQ(host.finished, 0); // the dialogue ends with the control connection
    job.HandleClosed(&control);

    EXPECT_EQ(control.sent, "USER anonymous\r\nPASS vireo@users.invalid\r\nSYST\r\nCWD /pub\r\n"
                            "EPSV\r\nPASV\r\nTYPE A\r\nLIST -L f.bin\r\nMDTM f.bin\r\nPASV\r\n"
                            "TYPE I\r\nRETR f.bin\r\nQUIT\r\n");
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.file, "abcdef");
    EXPECT_EQ(host.validators.mdtm, "20240101000000");
    EXPECT_EQ(host.validators.total, 6);
    EXPECT_TRUE(LogHas("O PASS user@host\n")) << host.log;
}

// Replies the dialogue does not expect are logged and left to the time-out; a refused
// login fails at once and asks for credentials.
TEST_F(Recorded, FtpRefusedLoginFails) {
    FtpTransfer job(&host, "127.0.0.1", "/f", 21);
    job.SetConnector(&net);
    job.Start();
    FakeConnection& control = net.Last();
    job.HandleConnected(&control);
    EXPECT_TRUE(Feed(job, control, "220 hi\r\n421 odd\r\n"));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_FALSE(Feed(job, control, "530 no\r\n"));
    EXPECT_EQ(host.errors, std::vector<int>{401});
    EXPECT_EQ(host.notes.back(), NotifyCredentials);
    EXPECT_TRUE(control.retired);
}

namespace {
// A file fetched in two segments from fake connections.
class RecordedSegments : public Recorded {
protected:
    static constexpr int64_t kSize = 3 * 1024 * 1024;
    static constexpr int64_t kHalf = kSize / 2;

    void SetUp() override {
        Recorded::SetUp();
        Settings().SetInt(keys::Segments, 2);
        host.url = "http://10.0.0.7/f.bin";
        for (int64_t i = 0; i < kSize; ++i) {
            v1.push_back(char('a' + i % 23));
            v2.push_back(char('A' + i % 19));
        }
    }
    static std::string Answer(const std::string& status, const std::string& lines) {
        return "HTTP/1.1 " + status + "\r\n" + lines + "\r\n";
    }
    static std::string Partial(int64_t first, int64_t end, const char* etag) {
        return Answer("206 Partial Content",
                      "Content-Range: bytes " + std::to_string(first) + "-" +
                          std::to_string(end - 1) + "/" + std::to_string(kSize) +
                          "\r\nContent-Length: " + std::to_string(end - first) +
                          "\r\nETag: " + etag + "\r\n");
    }
    static std::string Whole(const char* etag) {
        return Answer("200 OK", "Content-Length: " + std::to_string(kSize) +
                                    "\r\nAccept-Ranges: bytes\r\nETag: " + etag + "\r\n");
    }
    // Connects and lets the job send its request; what it sent.
    std::string Open(HttpTransfer& job, FakeConnection& c) {
        job.HandleConnected(&c);
        job.HandleWritable(&c);
        return c.sent;
    }

    std::string v1, v2;
};
} // namespace

// The first answer gives the size, takes ranges and names a validator: the first
// connection goes on with the first half while a second one asks for the back half with
// If-Range. The second is answered with the whole file, the same version: the server
// ignores ranges, so the download goes on with one connection from the first byte not
// on disk, and nothing already written is lost.
TEST_F(RecordedSegments, AWholeAnswerToASegmentGoesOnWithOneConnection) {
    HttpTransfer job(&host, "10.0.0.7", "/f.bin", 80, false);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    FakeConnection& first = net.Last();
    EXPECT_EQ(Open(job, first), BuildHttpRequest("/f.bin", "10.0.0.7", 0, ""));
    ASSERT_TRUE(Feed(job, first, Whole("\"v1\"") + v1.substr(0, 1000)));
    ASSERT_EQ(net.all.size(), 2u);
    EXPECT_EQ(host.file.size(), size_t(kSize)); // the whole size at once
    EXPECT_EQ(host.file.substr(0, 1000), v1.substr(0, 1000));
    EXPECT_EQ(host.segments.total, kSize);
    FakeConnection& second = net.Last();
    EXPECT_EQ(Open(job, second),
              BuildRangeRequest("/f.bin", "10.0.0.7", kHalf, kSize - 1, "", "\"v1\""));
    EXPECT_EQ(second.sent.substr(0, 25), "GET /f.bin HTTP/1.1\r\nUser");
    ASSERT_TRUE(Feed(job, second, Partial(kHalf, kSize, "\"v1\"") + v1.substr(kHalf, 5000)));
    EXPECT_EQ(job.Bytes(), 6000);
    EXPECT_EQ(host.file.substr(kHalf, 5000), v1.substr(kHalf, 5000));
    EXPECT_TRUE(LogHas("O segment 2: HTTP req: /f.bin, bytes 1572864-3145727\n")) << host.log;

    // The first connection's piece ends; its answer runs on and the connection is left.
    ASSERT_TRUE(Feed(job, first, v1.substr(1000, kHalf - 1000)));
    EXPECT_TRUE(first.retired);
    EXPECT_TRUE(LogHas("! segment 1: bytes 0-1572863 received\n")) << host.log;
    ASSERT_EQ(net.all.size(), 3u); // it took half of what the second one has left
    FakeConnection& third = net.Last();
    int64_t middle = kHalf + 5000 + (kSize - kHalf - 5000) / 2;
    EXPECT_EQ(Open(job, third),
              BuildRangeRequest("/f.bin", "10.0.0.7", middle, kSize - 1, "", "\"v1\""));
    EXPECT_FALSE(Feed(job, third, Whole("\"v1\""))); // read no further: another start
    EXPECT_TRUE(second.retired);
    EXPECT_TRUE(third.retired);
    EXPECT_TRUE(host.segments.Empty());
    // Everything up to the first gap stays.
    const int64_t held = kHalf + 5000;
    EXPECT_EQ(host.file.size(), size_t(held));
    EXPECT_TRUE(LogHas("going on with one connection from byte 1577864")) << host.log;

    ASSERT_EQ(net.all.size(), 4u);
    FakeConnection& last = net.Last();
    EXPECT_EQ(Open(job, last), BuildHttpRequest("/f.bin", "10.0.0.7", held, "", "\"v1\""));
    EXPECT_FALSE(Feed(job, last, Partial(held, kSize, "\"v1\"") + v1.substr(held)));
    EXPECT_EQ(net.all.size(), 4u); // no segments for this server any more
    EXPECT_EQ(host.finished, 1);
    EXPECT_TRUE(host.file == v1);
    EXPECT_EQ(job.Attempts(), 1);
}

// Segments kept with the file go on at the next start, each with If-Range. The file has
// changed on the server: the answer is the new version whole, the part on disk goes, and
// the new version arrives in segments again.
TEST_F(RecordedSegments, AChangedFileStartsOverWholeAndInSegmentsAgain) {
    host.file = v1;
    std::fill(host.file.begin() + 1024 * 1024, host.file.begin() + 2 * 1024 * 1024, '\0');
    host.segments = SegmentState{kSize, {{1024 * 1024, 2 * 1024 * 1024}}};
    host.validators.etag = "\"v1\"";
    host.validators.total = kSize;
    HttpTransfer job(&host, "10.0.0.7", "/f.bin", 80, false);
    job.SetConnector(&net);
    job.SetStartOffset(kSize);
    ASSERT_EQ(job.Start(), 1);
    EXPECT_EQ(job.Bytes(), kSize - 1024 * 1024);
    ASSERT_EQ(net.all.size(), 2u); // the missing mebibyte in two halves
    FakeConnection& a = *net.all[0];
    FakeConnection& b = *net.all[1];
    EXPECT_EQ(Open(job, a),
              BuildRangeRequest("/f.bin", "10.0.0.7", 1048576, 1572863, "", "\"v1\""));
    EXPECT_EQ(Open(job, b),
              BuildRangeRequest("/f.bin", "10.0.0.7", 1572864, 2097151, "", "\"v1\""));
    ASSERT_TRUE(Feed(job, b, Partial(1572864, 2097152, "\"v1\"") + v1.substr(1572864, 100)));
    EXPECT_FALSE(Feed(job, a, Whole("\"v2\"") + v2.substr(0, 100)));
    EXPECT_TRUE(a.retired);
    EXPECT_TRUE(b.retired);
    EXPECT_TRUE(host.file.empty());
    EXPECT_TRUE(host.validators.Empty());
    EXPECT_TRUE(host.segments.Empty());
    EXPECT_TRUE(LogHas("the file on the server has changed: the part on disk is not of this "
                       "file, starting over"))
        << host.log;

    ASSERT_EQ(net.all.size(), 3u);
    FakeConnection& fresh = net.Last();
    EXPECT_EQ(Open(job, fresh), BuildHttpRequest("/f.bin", "10.0.0.7", 0, ""));
    ASSERT_TRUE(Feed(job, fresh, Whole("\"v2\"")));
    ASSERT_EQ(net.all.size(), 4u);
    FakeConnection& back = net.Last();
    EXPECT_EQ(Open(job, back),
              BuildRangeRequest("/f.bin", "10.0.0.7", kHalf, kSize - 1, "", "\"v2\""));
    ASSERT_TRUE(Feed(job, back, Partial(kHalf, kSize, "\"v2\"") + v2.substr(kHalf)));
    // Done with its piece, the connection asks on for half of what the first one has
    // left: its answer ended where the piece did.
    const int64_t quarter = kHalf / 2;
    EXPECT_FALSE(back.retired);
    EXPECT_EQ(back.sent,
              BuildRangeRequest("/f.bin", "10.0.0.7", kHalf, kSize - 1, "", "\"v2\"") +
                  BuildRangeRequest("/f.bin", "10.0.0.7", quarter, kHalf - 1, "", "\"v2\""));
    // The first connection's answer runs on past its shortened piece: it is let go.
    EXPECT_TRUE(Feed(job, fresh, v2.substr(0, kHalf)));
    EXPECT_TRUE(fresh.retired);
    EXPECT_EQ(host.finished, 0);
    EXPECT_FALSE(
        Feed(job, back, Partial(quarter, kHalf, "\"v2\"") + v2.substr(quarter, kHalf - quarter)));
    EXPECT_EQ(host.finished, 1);
    EXPECT_TRUE(host.file == v2);
    EXPECT_TRUE(host.segments.Empty());
    EXPECT_EQ(job.Bytes(), kSize);
    EXPECT_EQ(net.all.size(), 4u);
}

// A segment whose connection closes early uses one of the item's attempts and asks again
// for what it is missing; the other segment goes on undisturbed.
TEST_F(RecordedSegments, AFailedSegmentUsesAnAttemptAndAsksForTheRest) {
    HttpTransfer job(&host, "10.0.0.7", "/f.bin", 80, false);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    FakeConnection& first = net.Last();
    Open(job, first);
    ASSERT_TRUE(Feed(job, first, Whole("\"v1\"")));
    FakeConnection& second = net.Last();
    Open(job, second);
    ASSERT_TRUE(Feed(job, second, Partial(kHalf, kSize, "\"v1\"") + v1.substr(kHalf, 7000)));
    job.HandleClosed(&second);
    EXPECT_EQ(job.Attempts(), 2);
    EXPECT_FALSE(first.retired);
    ASSERT_EQ(net.all.size(), 3u);
    FakeConnection& again = net.Last();
    EXPECT_EQ(Open(job, again),
              BuildRangeRequest("/f.bin", "10.0.0.7", kHalf + 7000, kSize - 1, "", "\"v1\""));
    ASSERT_TRUE(Feed(job, again, Partial(kHalf + 7000, kSize, "\"v1\"") + v1.substr(kHalf + 7000)));
    const int64_t quarter = kHalf / 2;
    EXPECT_TRUE(Feed(job, first, v1.substr(0, kHalf)));
    EXPECT_FALSE(Feed(job, again, Partial(quarter, kHalf, "\"v1\"") + v1.substr(quarter, quarter)));
    EXPECT_EQ(host.finished, 1);
    EXPECT_TRUE(host.file == v1);
    EXPECT_TRUE(LogHas("! file received (3145728 bytes) in 2 attemps\n")) << host.log;
}
