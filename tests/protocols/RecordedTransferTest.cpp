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
        Settings().SetInt("proxy", 0);
        Settings().SetInt("timeout", 5);
        Settings().SetInt("maxattemp", 3);
        Settings().SetInt("ftppassive", 1);
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
    Settings().SetInt("proxy", 1);
    Settings().SetString("proxyserver", "10.1.1.1");
    Settings().SetInt("proxyport", 3128);
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
