// Sending a support report against a scripted support server: the pieces, their
// requests byte for byte, and every way the sending can fail.
#include "protocols/SupportSender.h"

#include "TempSettings.h"
#include "common/PercentCoding.h"
#include "peers/FreePort.h"
#include "peers/ScriptedServer.h"
#include "peers/TestApp.h"
#include "peers/WaitUntil.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nthanks";

std::string Headers(const std::string& host) {
    return " HTTP/1.1\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
           "application/vnd ms-excel, application/msword, */*\r\n"
           "Accept-Language: en-us,ru;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\nHost: " +
           host + "\r\nExtension: Security/Remote-passphrase\r\n\r\n";
}

// Report bytes of every kind the escaping must handle, cycled to the wanted length.
std::string Report(size_t length) {
    const std::string kinds = std::string("##name: A b\r\n#%\x01\xe9\x7f~", 20);
    std::string r;
    while (r.size() < length)
        r += kinds[r.size() % kinds.size()];
    return r;
}

class SupportSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        FreshServer();
    }
    // A new server that the next report goes to; the outcome counts start again.
    void FreshServer() {
        server = std::make_unique<ScriptedServer>();
        Settings().SetString(keys::SupportServer, server->HostPort().toStdString());
        sent = failed = 0;
    }
    void Send(const std::string& report) {
        sender = std::make_unique<SupportSender>();
        sender->onSent = [this] { ++sent; };
        sender->onFailed = [this] { ++failed; };
        sender->Start(report);
    }
    bool WaitOutcome() {
        const bool ended = WaitUntil([this] { return sent + failed > 0; });
        WaitUntil([] { return false; }, 100); // nothing more may follow
        return ended;
    }
    // The query of each request, unescaped.
    std::vector<std::string> Pieces() const {
        std::vector<std::string> pieces;
        for (const QByteArray& request : server->Requests()) {
            const int q = request.indexOf('?');
            const int end = request.indexOf(" HTTP/1.1\r\n");
            std::string piece = request.mid(q + 1, end - q - 1).toStdString();
            piece = PercentDecode(piece, PercentDigits::Checked);
            pieces.push_back(piece);
        }
        return pieces;
    }

    TempSettings settings;
    std::unique_ptr<SupportSender> sender;
    std::unique_ptr<ScriptedServer> server;
    int sent = 0;
    int failed = 0;
};
} // namespace

TEST_F(SupportSenderTest, PiecesOfAtMost1024BytesOnAConnectionEach) {
    const struct {
        size_t length;
        std::vector<size_t> pieces;
    } cases[] = {{1, {1}}, {1024, {1024}}, {1025, {1024, 1}}, {2500, {1024, 1024, 452}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        FreshServer();
        for (size_t i = 0; i < c.pieces.size(); ++i)
            server->AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
        const std::string report = Report(c.length);
        Send(report);
        ASSERT_TRUE(WaitOutcome());
        EXPECT_EQ(sent, 1);
        EXPECT_EQ(failed, 0);
        EXPECT_EQ(server->ConnectionCount(), int(c.pieces.size()));
        EXPECT_TRUE(server->Errors().isEmpty()) << server->Errors().join("; ").toStdString();
        std::string joined;
        const auto pieces = Pieces();
        ASSERT_EQ(pieces.size(), c.pieces.size());
        for (size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].size(), c.pieces[i]);
            joined += pieces[i];
        }
        EXPECT_EQ(joined, report);
        for (const QByteArray& request : server->Requests()) {
            EXPECT_TRUE(request.startsWith("GET /cgi-bin/techsupport.cgi?"));
            EXPECT_TRUE(request.endsWith(Headers(server->HostPort().toStdString()).c_str()));
        }
    }
}

TEST_F(SupportSenderTest, RequestBytesEscapeSpacesBreaksHashAndPercent) {
    server->AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    Send(std::string("##end a\r\n%\x80~\x7f", 13));
    ASSERT_TRUE(WaitOutcome());
    EXPECT_EQ(sent, 1);
    ASSERT_EQ(server->Requests().size(), 1);
    // DEL, which the query's own escaping leaves, is escaped as every control byte of a
    // request target is.
    EXPECT_EQ(server->Requests()[0].toStdString(),
              "GET /cgi-bin/techsupport.cgi?%23%23end%20a%0D%0A%25%80~%7F" +
                  Headers(server->HostPort().toStdString()));
}

TEST_F(SupportSenderTest, ThroughTheProxyTheRequestNamesTheWholeAddress) {
    Settings().SetInt(keys::Proxy, 1);
    Settings().SetString(keys::ProxyServer, "127.0.0.1");
    Settings().SetInt(keys::ProxyPort, server->Port());
    Settings().SetString(keys::SupportServer, "support.invalid:8080");
    server->AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    Send("a b");
    ASSERT_TRUE(WaitOutcome());
    EXPECT_EQ(sent, 1);
    ASSERT_EQ(server->Requests().size(), 1);
    EXPECT_EQ(server->Requests()[0].toStdString(),
              "GET http://support.invalid:8080/cgi-bin/techsupport.cgi?a%20b" +
                  Headers("support.invalid:8080"));
}

TEST_F(SupportSenderTest, ARefusedConnectionFailsAfterFiveAttempts) {
    Settings().SetString(keys::SupportServer, "127.0.0.1:" + std::to_string(FreePort()));
    Send("report");
    ASSERT_TRUE(WaitOutcome());
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(sent, 0);
}

TEST_F(SupportSenderTest, AnErrorAnswerStopsTheReportAndIsNeverFollowedBySuccess) {
    const struct {
        const char* what;
        std::vector<Script> scripts;
    } cases[] = {
        {"first piece refused",
         {{S::ExpectRequest(), S::Send("HTTP/1.1 500 Internal Error\r\n\r\n"), S::Close()}}},
        {"second piece refused",
         {{S::ExpectRequest(), S::Send(kOk), S::Close()},
          {S::ExpectRequest(), S::Send("HTTP/1.0 404 Not Found\r\n\r\n"), S::Close()}}},
        {"closed without an answer", {{S::ExpectRequest(), S::Close()}}},
        {"reset before the answer", {{S::ExpectRequest(), S::Reset()}}},
        {"status line in two reads",
         {{S::ExpectRequest(), S::SendSlowly("HTTP/1.1 503 Busy\r\n\r\n", 5, 10), S::Close()}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FreshServer();
        for (const Script& s : c.scripts)
            server->AddScript(s);
        Send(Report(3000)); // three pieces
        ASSERT_TRUE(WaitOutcome());
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(sent, 0);
        EXPECT_EQ(server->ConnectionCount(), int(c.scripts.size())); // nothing after it
    }
}

TEST_F(SupportSenderTest, StartingAgainSendsTheWholeReportFromItsBeginning) {
    server->AddScript({S::ExpectRequest(), S::Send("HTTP/1.1 500 X\r\n\r\n"), S::Close()});
    server->AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    server->AddScript({S::ExpectRequest(), S::Send(kOk), S::Close()});
    const std::string report = Report(1500);
    Send(report);
    ASSERT_TRUE(WaitOutcome());
    ASSERT_EQ(failed, 1);
    failed = 0;
    sender->Start(report);
    ASSERT_TRUE(WaitOutcome());
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(failed, 0);
    const auto pieces = Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1] + pieces[2], report);
}
