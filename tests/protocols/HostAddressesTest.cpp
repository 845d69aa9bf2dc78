// A host with several addresses, through fake connections: the test plays the resolver
// and the servers. An address that refuses or stays silent gives way to the next one
// within the same attempt; FTP over IPv6 asks for its data connections with EPSV and
// EPRT.
#include "FakeConnection.h"
#include "FakeHost.h"
#include "TempSettings.h"
#include "engine/ErrorText.h"
#include "peers/TestApp.h"
#include "protocols/FtpTransfer.h"
#include "protocols/HttpRequest.h"
#include "protocols/HttpTransfer.h"

#include <QHostAddress>

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class HostAddresses : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        Settings().SetInt(keys::Proxy, 0);
        Settings().SetInt(keys::Timeout, 20);
        Settings().SetInt(keys::MaxAttemp, 3);
        Settings().SetInt(keys::FtpPassive, 1);
    }
    static QHostInfo Found(std::initializer_list<const char*> addresses) {
        QList<QHostAddress> list;
        for (const char* a : addresses)
            list << QHostAddress(QString::fromLatin1(a));
        QHostInfo info;
        info.setAddresses(list);
        return info;
    }
    bool Feed(TransferJob& job, FakeConnection& c, const std::string& bytes) {
        return job.HandleData(&c, bytes.data(), bytes.size());
    }
    // The job hears that c could not be made.
    void Refuse(TransferJob& job, FakeConnection& c, const char* words = "connection refused") {
        c.connected = false;
        c.errorText = words;
        job.HandleConnected(&c);
    }
    std::vector<std::string> Hosts() const {
        std::vector<std::string> hosts;
        for (const auto& c : net.all)
            hosts.push_back(c->host);
        return hosts;
    }
    bool LogHas(const std::string& text) const { return host.log.find(text) != std::string::npos; }
    int LogCount(const std::string& text) const {
        int n = 0;
        for (size_t p = host.log.find(text); p != std::string::npos; p = host.log.find(text, p + 1))
            ++n;
        return n;
    }

    TempSettings settings;
    FakeHost host;
    FakeConnector net;
};
} // namespace

// The first address refuses, the next cannot be reached, the third serves the file: one
// attempt, the addresses in the resolver's order, each one named in the log.
TEST_F(HostAddresses, HttpGoesOnToTheNextAddressWithinTheAttempt) {
    host.url = "http://h.x/f.bin";
    HttpTransfer job(&host, "h.x", "/f.bin", 80, false);
    job.SetConnector(&net);
    ASSERT_EQ(job.Start(), 1);
    job.HandleResolved(Found({"2001:db8::7", "10.0.0.7", "10.0.0.8"}));
    ASSERT_EQ(Hosts(), std::vector<std::string>{"2001:db8::7"});
    Refuse(job, net.Last());
    ASSERT_EQ(Hosts(), (std::vector<std::string>{"2001:db8::7", "10.0.0.7"}));
    EXPECT_TRUE(net.all[0]->retired);
    Refuse(job, net.Last(), "network unreachable");
    ASSERT_EQ(Hosts(), (std::vector<std::string>{"2001:db8::7", "10.0.0.7", "10.0.0.8"}));
    FakeConnection& third = net.Last();
    EXPECT_EQ(third.port, 80);
    job.HandleConnected(&third);
    job.HandleWritable(&third);
    EXPECT_EQ(third.sent, BuildHttpRequest("/f.bin", "h.x", 0, ""));
    EXPECT_FALSE(Feed(job, third, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));

    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(host.file, "abc");
    EXPECT_EQ(job.Attempts(), 1);
    EXPECT_EQ(net.lookups.size(), 1u);
    EXPECT_TRUE(LogHas("! server found, ip: 2001:db8::7\n"
                       "! trying address 2001:db8::7 (1 of 3)\n"
                       "! Connecting server: h.x, port: 80\n"
                       "E connection failed: connection refused\n"
                       "! trying address 10.0.0.7 (2 of 3)\n"
                       "! Connecting server: h.x, port: 80\n"
                       "E connection failed: network unreachable\n"
                       "! trying address 10.0.0.8 (3 of 3)\n"))
        << host.log;
}

// Every address refuses: that is one failed attempt, with the last address's cause, and
// it ends when the attempt's time-out runs out, as with a single address.
TEST_F(HostAddresses, AllAddressesRefusingIsOneFailedAttempt) {
    Settings().SetInt(keys::Timeout, 3);
    Settings().SetInt(keys::MaxAttemp, 1);
    host.url = "http://h.x/f.bin";
    HttpTransfer job(&host, "h.x", "/f.bin", 80, false);
    job.SetConnector(&net);
    job.Start();
    job.HandleResolved(Found({"::1", "127.0.0.1"}));
    Refuse(job, net.Last(), "network unreachable");
    Refuse(job, net.Last());
    EXPECT_EQ(Hosts(), (std::vector<std::string>{"::1", "127.0.0.1"}));
    EXPECT_EQ(job.Cause().words, "connection refused");
    EXPECT_EQ(job.Cause().kind, ErrConnect);
    int ticks = 0;
    while (host.errors.empty() && ticks < 10) {
        job.HandleTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 4); // the time-out of 3 s counted down to 0, then the attempt ended
    EXPECT_EQ(host.errors, std::vector<int>{ErrAttempts});
    EXPECT_EQ(job.Cause().words, "connection refused");
    EXPECT_EQ(job.Cause().attempts, 1);
    EXPECT_EQ(net.all.size(), 2u); // nothing was tried again
    EXPECT_EQ(LogCount("E connection failed: "), 2) << host.log;
    EXPECT_FALSE(LogHas("E timeout")) << host.log;
}

// An address that never answers has the smaller of 5 s and the attempt's time-out; the
// last address has the whole time-out, then the attempt ends and the next one starts
// from the first address again.
TEST_F(HostAddresses, SilentAddressGivesWayAfterItsWindow) {
    struct Case {
        int timeout, window;
    } cases[] = {{20, TransferJob::kAddressWindow}, {2, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeout);
        FakeHost h;
        FakeConnector n;
        Settings().SetInt(keys::Timeout, c.timeout);
        h.url = "http://h.x/f.bin";
        HttpTransfer job(&h, "h.x", "/f.bin", 80, false);
        job.SetConnector(&n);
        job.Start();
        job.HandleResolved(Found({"10.0.0.1", "10.0.0.2"}));
        for (int i = 0; i < c.window; ++i)
            job.HandleTick();
        EXPECT_EQ(n.all.size(), 1u);
        job.HandleTick();
        ASSERT_EQ(n.all.size(), 2u);
        EXPECT_EQ(n.all[1]->host, "10.0.0.2");
        EXPECT_TRUE(n.all[0]->retired);
        EXPECT_NE(h.log.find("E no answer from 10.0.0.1 within " + std::to_string(c.window) +
                             " s\n! trying address 10.0.0.2 (2 of 2)\n"),
                  std::string::npos)
            << h.log;
        EXPECT_EQ(job.Attempts(), 1);
        // The last address: the attempt's whole time-out, then the next attempt.
        for (int i = 0; i < c.timeout; ++i)
            job.HandleTick();
        EXPECT_EQ(job.Attempts(), 1);
        job.HandleTick();
        EXPECT_EQ(job.Attempts(), 2);
        EXPECT_EQ(n.lookups.size(), 2u);
        EXPECT_NE(h.log.find("E timeout\n"), std::string::npos) << h.log;
        job.HandleResolved(Found({"10.0.0.1", "10.0.0.2"}));
        EXPECT_EQ(n.Last().host, "10.0.0.1");
    }
}

// A proxy named by a host name: its addresses are tried the same way, at its port.
TEST_F(HostAddresses, ProxyAddressesAreTriedInTurn) {
    Settings().SetInt(keys::Proxy, 1);
    Settings().SetString(keys::ProxyServer, "proxy.x");
    Settings().SetInt(keys::ProxyPort, 3128);
    host.url = "http://s.x/a";
    HttpTransfer job(&host, "s.x", "/a", 80, false);
    job.SetConnector(&net);
    job.Start();
    EXPECT_EQ(net.lookups, std::vector<std::string>{"proxy.x"});
    job.HandleResolved(Found({"fd00::3", "10.1.1.1"}));
    Refuse(job, net.Last());
    FakeConnection& second = net.Last();
    EXPECT_EQ(second.host, "10.1.1.1");
    EXPECT_EQ(second.port, 3128);
    job.HandleConnected(&second);
    job.HandleWritable(&second);
    EXPECT_EQ(second.sent.rfind("GET http://s.x/a HTTP/1.", 0), 0u) << second.sent;
    EXPECT_EQ(job.Attempts(), 1);
}

// The control connection's first address refuses; the dialogue runs on the second.
TEST_F(HostAddresses, FtpControlGoesOnToTheNextAddress) {
    host.url = "ftp://f.x/f.bin";
    FtpTransfer job(&host, "f.x", "/f.bin", 21);
    job.SetConnector(&net);
    job.Start();
    job.HandleResolved(Found({"fd00::9", "10.0.0.9"}));
    Refuse(job, net.Last());
    FakeConnection& control = net.Last();
    EXPECT_EQ(control.host, "10.0.0.9");
    EXPECT_EQ(control.port, 21);
    control.peer = "10.0.0.9";
    job.HandleConnected(&control);
    ASSERT_TRUE(Feed(job, control, "220 hi\r\n331 pw\r\n"));
    EXPECT_EQ(control.sent, "USER anonymous\r\nPASS vireo@users.invalid\r\n");
    EXPECT_EQ(job.Attempts(), 1);
    EXPECT_TRUE(host.errors.empty());
}

// Over an IPv6 control connection the data connections are asked for with EPSV (passive)
// or EPRT (active); PASV and PORT, which carry IPv4 addresses only, are never sent.
TEST_F(HostAddresses, FtpOverIpv6UsesEpsvAndEprt) {
    for (int passive : {1, 0}) {
        SCOPED_TRACE(passive);
        FakeHost h;
        FakeConnector n;
        Settings().SetInt(keys::FtpPassive, passive);
        h.url = "ftp://f.x/pub/f.bin";
        FtpTransfer job(&h, "f.x", "/pub/f.bin", 21);
        job.SetConnector(&n);
        job.Start();
        job.HandleResolved(Found({"fd00::9"}));
        FakeConnection& control = n.Last();
        control.peer = "fd00::9";
        control.local = "fd00::1";
        job.HandleConnected(&control);
        ASSERT_TRUE(Feed(job, control, "220 hi\r\n331 pw\r\n230 ok\r\n215 UNIX\r\n250 ok\r\n"));
        std::string listing, file;
        if (passive) {
            ASSERT_TRUE(Feed(job, control, "229 Entering Extended Passive Mode (|||5001|)\r\n"));
            FakeConnection& data = n.Last();
            EXPECT_EQ(data.host, "fd00::9");
            EXPECT_EQ(data.port, 5001);
            job.HandleConnected(&data);
            ASSERT_TRUE(Feed(job, control, "200 ok\r\n150 here\r\n"));
            job.HandleClosed(&data);
        } else {
            // The listeners were opened on the control's local address after it connected.
            listing = "EPRT |2|fd00::1|" + std::to_string(n.all[1]->listenPort) + "|\r\n";
            file = "EPRT |2|fd00::1|" + std::to_string(n.all[2]->listenPort) + "|\r\n";
            ASSERT_TRUE(Feed(job, control, "200 ok\r\n200 ok\r\n150 here\r\n"));
        }
        ASSERT_TRUE(Feed(job, control, "226 done\r\n213 20240101000000\r\n"));
        if (passive)
            ASSERT_TRUE(Feed(job, control, "229 Entering Extended Passive Mode (|||5002|)\r\n"));
        else
            ASSERT_TRUE(Feed(job, control, "200 ok\r\n"));
        std::string expected =
            "USER anonymous\r\nPASS vireo@users.invalid\r\nSYST\r\nCWD /pub\r\n" +
            (passive ? std::string("EPSV\r\n") : listing) +
            "TYPE A\r\nLIST -L f.bin\r\nMDTM f.bin\r\n" +
            (passive ? std::string("EPSV\r\n") : file) + "TYPE I\r\n";
        EXPECT_EQ(control.sent, expected);
    }
}

// Without EPSV there is no passive data connection over IPv6: the item fails at once
// rather than asking with PASV.
TEST_F(HostAddresses, FtpEpsvRefusedOverIpv6Fails) {
    FtpTransfer job(&host, "f.x", "/f.bin", 21);
    job.SetConnector(&net);
    job.Start();
    job.HandleResolved(Found({"fd00::9"}));
    FakeConnection& control = net.Last();
    control.peer = "fd00::9";
    control.local = "fd00::1";
    job.HandleConnected(&control);
    ASSERT_TRUE(Feed(job, control, "220 hi\r\n230 ok\r\n215 UNIX\r\n250 ok\r\n"));
    EXPECT_FALSE(Feed(job, control, "500 EPSV not understood\r\n"));
    EXPECT_EQ(host.errors, std::vector<int>{ErrConnect});
    EXPECT_EQ(control.sent.find("PASV"), std::string::npos) << control.sent;
    EXPECT_EQ(job.Cause().words, "the server refused passive mode over IPv6 (EPSV)");
}
