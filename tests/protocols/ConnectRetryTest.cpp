// Servers that are down when a download starts: a connection that cannot be made ends its
// attempt only when the attempt's time-out runs out, for every protocol, so a server that
// comes back within the attempts serves the file. And the words a failure is explained
// with, from real servers.
#include "FtpHarness.h"
#include "ItemHarness.h"
#include "engine/ErrorText.h"
#include "peers/FreePort.h"
#include "peers/FtpPeer.h"
#include "peers/LateRelay.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}
} // namespace

// The port stays closed: every attempt is made and waited out before the item fails.
TEST(ConnectRetry, ClosedPortFailsAfterEveryAttemptWasWaitedOut) {
    constexpr int kAttempts = 3;
    for (const char* scheme : {"http", "ftp", "pnm"}) {
        SCOPED_TRACE(scheme);
        ItemHarness h;
        Settings().SetInt(keys::Timeout, 1);
        Settings().SetInt(keys::MaxAttemp, kAttempts);
        std::string url =
            std::string(scheme) + "://127.0.0.1:" + std::to_string(FreePort()) + "/f.bin";
        QElapsedTimer clock;
        clock.start();
        h.Start(url, false, h.Path("f.bin"));
        ASSERT_TRUE(h.WaitDone(20000));
        qint64 elapsed = clock.elapsed();
        EXPECT_EQ(h.error, ErrAttempts);
        // Each attempt waits at least most of its one-second time-out (the first tick
        // may come at once).
        EXPECT_GE(elapsed, (kAttempts - 1) * 1000 - 150) << elapsed << " ms";
        std::string log = h.LogText();
        EXPECT_EQ(Count(log, " E connection failed: "), kAttempts) << log;
        EXPECT_EQ(Count(log, " E timeout\r\n"), 0) << log;
        EXPECT_EQ(h.item->FailureCause(), "connection refused");
        EXPECT_EQ(h.item->AttemptsMade(), kAttempts);
        EXPECT_EQ(h.item->ErrorText(), "(0)"); // the status text stays as it was
        EXPECT_EQ(h.item->FailureText(),
                  "can't establish connection - connection refused (3 attempts)");
    }
}

// With a time-out of 2 s and 5 attempts, a server that comes up 3 s after the start is
// reached by a later attempt.
TEST(ConnectRetry, ServerThatComesUpLateServesTheFile) {
    QByteArray source = RandomBytes(200000, 11);
    NginxPeer web;
    ASSERT_TRUE(web.Start());
    web.Put("late.bin", source);
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    ftp.Put("late.bin", source);

    struct Case {
        const char* scheme;
        quint16 target;
    } cases[] = {{"http", web.HttpPort()}, {"ftp", ftp.Port()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scheme);
        ItemHarness h;
        Settings().SetInt(keys::Timeout, 2);
        Settings().SetInt(keys::MaxAttemp, 5);
        Settings().SetInt(keys::FtpPassive, 1);
        LateRelay relay;
        QElapsedTimer clock;
        clock.start();
        // A coarse timer may fire a little early.
        QTimer::singleShot(3000, Qt::PreciseTimer, [&] { ASSERT_TRUE(relay.Open(c.target)); });
        h.Start(std::string(c.scheme) + "://127.0.0.1:" + std::to_string(relay.Port()) +
                "/late.bin");
        ASSERT_TRUE(h.WaitDone(30000));
        EXPECT_EQ(h.finished, 1) << h.LogText();
        EXPECT_GE(clock.elapsed(), 3000);
        EXPECT_TRUE(h.File("late.bin") == source);
        std::string log = h.LogText();
        int refused = Count(log, " E connection failed: ");
        EXPECT_GE(refused, 1) << log;
        EXPECT_LE(refused, 2) << log; // 3 s hold two attempts of 2 s at most
        EXPECT_TRUE(h.LogHas(" in " + std::to_string(refused + 1) + " attemps\r\n")) << log;
    }
}

// What a failed item says went wrong, for the failures users meet most.
TEST(FailureCause, NamesWhatWentWrong) {
    NginxPeer web;
    ASSERT_TRUE(web.Start());
    QTcpServer silent; // takes connections and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::string silentUrl = "http://127.0.0.1:" + std::to_string(silent.serverPort()) + "/x";

    struct Case {
        const char* name;
        std::string url;
        int maxattemp;
        int error;
        const char* cause;
        const char* text;
    } cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(FreePort()) + "/x", 1, ErrAttempts,
         "connection refused", "can't establish connection - connection refused (1 attempt)"},
        {"host not found", "http://no-such-host.vireo-test.invalid/x", 2, ErrAttempts,
         "host not found", "host not found (2 attempts)"},
        {"timed out", silentUrl, 1, ErrAttempts, "timed out", "timed out (1 attempt)"},
        // Reason phrases are the server's own. A 404 is asked once more with the whole address in
        // the request line.
        {"not found", web.HttpUrl("/status/404").toStdString(), 5, 404, "HTTP 404 Not Found",
         "file not found - HTTP 404 Not Found (2 attempts)"},
        {"unavailable", web.HttpUrl("/status/503").toStdString(), 2, ErrAttempts,
         "HTTP 503 Service Temporarily Unavailable",
         "HTTP 503 Service Temporarily Unavailable (2 attempts)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ItemHarness h;
        Settings().SetInt(keys::Timeout, 1);
        Settings().SetInt(keys::MaxAttemp, c.maxattemp);
        h.Start(c.url);
        ASSERT_TRUE(h.WaitDone(15000));
        EXPECT_EQ(h.error, c.error) << h.LogText();
        EXPECT_EQ(h.item->FailureCause(), c.cause) << h.LogText();
        EXPECT_EQ(h.item->FailureText(), c.text);
    }
}

// A certificate that cannot be trusted fails at once, on the first attempt, with the
// reason the check gave.
TEST(FailureCause, CertificateErrorFailsAtOnceWithItsReason) {
    NginxPeer web;
    ASSERT_TRUE(web.Start());
    ItemHarness h;
    Settings().SetInt(keys::Timeout, 5);
    Settings().SetInt(keys::MaxAttemp, 5);
    QElapsedTimer clock;
    clock.start();
    h.Start(web.UntrustedUrl("/x").toStdString());
    ASSERT_TRUE(h.WaitDone(5000));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(h.error, ErrCertificate);
    EXPECT_EQ(h.item->FailureCause().rfind("certificate error: ", 0), 0u) << h.item->FailureCause();
    EXPECT_GT(h.item->FailureCause().size(), std::string("certificate error: ").size());
    EXPECT_EQ(h.item->AttemptsMade(), 1);
    EXPECT_EQ(h.item->FailureText(), h.item->FailureCause() + " (1 attempt)");
}
