// Faults real FTP servers do not make on demand, played by a scripted server: replies
// trickling in, replies sharing a packet, refused restarts, cut and stalled transfers,
// refused logins, strangers on the data port.
#include "FtpHarness.h"
#include "OwnFiles.h"
#include "engine/ErrorText.h"
#include "engine/TargetFile.h"
#include "peers/ScriptedServer.h"
#include "peers/TestFiles.h"
#include "protocols/FtpTransfer.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;

Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// Waits for the next command and answers it.
Script Reply(const QByteArray& text) {
    return {S::ExpectLine(), S::Send(text)};
}
Script Login() {
    return Script{S::Send("220 ready\r\n")} + Reply("331 password please\r\n") +
           Reply("230 logged in\r\n") + Reply("215 UNIX Type: L8\r\n") + Reply("250 ok\r\n");
}
QByteArray ListLine(qint64 size) {
    return "-rw-r--r--   1 ftp  ftp  " + QByteArray::number(size) + " Jan 01 12:00 f.bin\r\n";
}
// PORT, TYPE A and LIST, the listing on an active data connection.
Script Listing(const QByteArray& listing) {
    return Reply("200 PORT ok\r\n") + Reply("200 TYPE A\r\n") +
           Script{S::ExpectLine(),      S::DataConnect(), S::Send("150 listing\r\n"),
                  S::DataSend(listing), S::DataClose(),   S::Send("226 listed\r\n")};
}
// MDTM, then PORT and TYPE I for the file.
Script FileSetup(const QByteArray& mdtm = "213 20240101120000\r\n") {
    return Reply(mdtm) + Reply("200 PORT ok\r\n") + Reply("200 TYPE I\r\n");
}
Script Retr(const QByteArray& body) {
    return Script{S::ExpectLine(),   S::DataConnect(), S::Send("150 sending\r\n"),
                  S::DataSend(body), S::DataClose(),   S::Send("226 sent\r\n")} +
           Reply("221 bye\r\n") + Script{S::Close()};
}

class FtpScripted : public ::testing::Test {
protected:
    std::string Url(const char* path = "/pub/f.bin") { return FtpUrl(server.Port(), path); }
    // Whether the server received exactly this command line.
    bool Received(const QByteArray& line) const {
        return server.Requests().contains(line + "\r\n");
    }
    void WritePartial(const QByteArray& bytes) {
        ASSERT_TRUE(WriteOwnFile(h.Path("f.bin"), bytes));
    }

    ScriptedServer server;
    QByteArray body = RandomBytes(100000, 3);
    FtpHarness h;
};
} // namespace

TEST_F(FtpScripted, RepliesTricklingInOneByteAtATime) {
    server.AddScript(Script{S::SendSlowly("220-first\r\n220-second\r\n220 ready\r\n", 1, 1),
                            S::ExpectLine(),
                            S::SendSlowly(QByteArray("331 pass\0word\rplease\r\n", 22), 1, 1)} +
                     Reply("230 logged in\r\n") + Reply("215 UNIX\r\n") + Reply("250 ok\r\n") +
                     Listing(ListLine(body.size())) + FileSetup() + Retr(body));
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(server.AllScriptsPlayed());
    // Each command once: a reply was never taken before it was whole.
    ASSERT_EQ(server.Requests().size(), 12);
    EXPECT_EQ(server.Requests()[0], "USER anonymous\r\n");
    EXPECT_EQ(server.Requests()[1], QByteArray("PASS ") + FtpTransfer::kAnonymousPassword + "\r\n");
    EXPECT_TRUE(h.LogHas(" I 220-first\r\n220-second\r\n220 ready\r\n"));
    EXPECT_TRUE(h.LogHas(" I 331 pass.word.please\r\n"));
}

TEST_F(FtpScripted, RepliesSharingAPacketAreAllTaken) {
    // A fast server: 150 and 226 of the listing and of the file each in one packet.
    server.AddScript(Login() + Reply("200 PORT ok\r\n") + Reply("200 TYPE A\r\n") +
                     Script{S::ExpectLine(), S::DataConnect(), S::DataSend(ListLine(body.size())),
                            S::DataClose(), S::Send("150 listing\r\n226 listed\r\n")} +
                     FileSetup() +
                     Script{S::ExpectLine(), S::DataConnect(), S::DataSend(body), S::DataClose(),
                            S::Send("150 sending\r\n226 sent\r\n")} +
                     Reply("221 bye\r\n") + Script{S::Close()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(h.LogHas(" bytes) in 1 attemps\r\n"));
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(FtpScripted, RestRefusedStartsTheFileOver) {
    WritePartial(RandomBytes(1000, 99)); // not the start of the file
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Reply("504 restart not supported\r\n") + Retr(body));
    h.Start(Url(), true);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(Received("REST 1000"));
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(h.LogHas(" bytes) in 1 attemps\r\n"));
}

TEST_F(FtpScripted, OffsetsBeyondFourGiB) {
    // A sparse partial file: 5,000,000,000 bytes held, 100 to come.
    const qint64 held = 5000000000;
    {
        QFile f(QString::fromStdString(h.Path("f.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(held));
    }
    TargetFile::Stamp(h.Path("f.bin"), false); // a partial file of an earlier run
    const QByteArray tail = body.left(100);
    server.AddScript(Login() + Listing(ListLine(held + tail.size())) + FileSetup() +
                     Reply("350 restarting\r\n") + Retr(tail));
    h.Start(Url(), true);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(Received("REST 5000000000"));
    EXPECT_EQ(h.shownSizes, std::vector<int64_t>{held + tail.size()});
    QFile f(QString::fromStdString(h.Path("f.bin")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), held + tail.size());
    ASSERT_TRUE(f.seek(held));
    EXPECT_TRUE(f.readAll() == tail);
}

TEST_F(FtpScripted, CutInTheMiddleOfRetrIsResumed) {
    const int n = 40000;
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Script{S::ExpectLine(), S::DataConnect(), S::Send("150 sending\r\n"),
                            S::DataSend(body.left(n)), S::DataClose(), S::Close()});
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Reply("350 restarting\r\n") + Retr(body.mid(n)));
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(Received("REST 40000"));
    EXPECT_TRUE(h.LogHas(" E connection closed by the server\r\n"));
    EXPECT_TRUE(h.LogHas(" bytes) in 2 attemps\r\n"));
}

// The time-out is counted in ticks; the test runs them by hand instead of waiting.
TEST_F(FtpScripted, StalledTransferTimesOutAndResumes) {
    Settings().SetInt(keys::Timeout, 30);
    const int n = 30000;
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Script{S::ExpectLine(), S::DataConnect(), S::Send("150 sending\r\n"),
                            S::DataSend(body.left(n)), S::Stall()});
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Reply("350 restarting\r\n") + Retr(body.mid(n)));
    h.Start(Url());
    ASSERT_TRUE(WaitUntil([&] { return h.item->Job() && h.item->Job()->Bytes() == n; }));
    ASSERT_TRUE(h.TickUntilTheAttemptEnds());
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(h.LogHas(" E timeout\r\n"));
    EXPECT_TRUE(Received("REST 30000"));
}

TEST_F(FtpScripted, RefusedLoginAsksForCredentials) {
    struct Case {
        const char* what;
        Script script;
    } cases[] = {
        {"530 to USER", Script{S::Send("220 ready\r\n")} + Reply("530 no anonymous\r\n")},
        {"530 to PASS", Script{S::Send("220 ready\r\n")} + Reply("331 password\r\n") +
                            Reply("530 Login incorrect.\r\n")},
    };
    for (Case& c : cases) {
        ScriptedServer refusing;
        refusing.AddScript(c.script + Script{S::Stall()});
        FtpHarness run;
        run.Start(FtpUrl(refusing.Port(), "/f.bin"));
        ASSERT_TRUE(run.WaitDone()) << c.what;
        EXPECT_EQ(run.error, 401) << c.what;
        EXPECT_EQ(run.credentialRequests, 1) << c.what;
        EXPECT_EQ(run.item->ErrorText(), "unauthorized") << c.what;
        EXPECT_EQ(refusing.ConnectionCount(), 1) << c.what;
    }
}

TEST_F(FtpScripted, NoPasswordNeededGoesOnWithSyst) {
    server.AddScript(Script{S::Send("220 ready\r\n")} + Reply("230 no password needed\r\n") +
                     Reply("215 UNIX\r\n") + Reply("250 ok\r\n") + Listing(ListLine(body.size())) +
                     FileSetup() + Retr(body));
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    ASSERT_GE(server.Requests().size(), 2);
    EXPECT_EQ(server.Requests()[1], "SYST\r\n");
}

TEST_F(FtpScripted, UnknownSizeCompletesWithTheEndOfTheFile) {
    // No usable listing. The end is confirmed, and the control connection closed, while
    // the rest of the file is still on its way (as when the client has not read it yet).
    server.AddScript(Login() + Listing("total 0\r\n") + FileSetup() +
                     Script{S::ExpectLine(), S::DataConnect(), S::Send("150 sending\r\n"),
                            S::DataSend(body.left(60000)), S::Send("226 sent\r\n"), S::ExpectLine(),
                            S::Send("221 bye\r\n"), S::Close(), S::Delay(200),
                            S::DataSend(body.mid(60000)), S::DataClose()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(h.shownSizes.empty());
    EXPECT_TRUE(h.LogHas(" bytes) in 1 attemps\r\n"));
}

TEST_F(FtpScripted, OversizedReplyEndsTheAttempt) {
    Settings().SetInt(keys::MaxAttemp, 1);
    server.AddScript({S::Send("220-" + QByteArray(70000, 'x')), S::Stall()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone(3000));
    EXPECT_EQ(h.error, ErrAttempts);
    EXPECT_TRUE(h.LogHas(" E reply longer than 65536 bytes\r\n"));
}

TEST_F(FtpScripted, DataConnectionFromAnotherAddressIsRefused) {
    server.AddScript(Login() + Listing(ListLine(body.size())) + FileSetup() +
                     Script{S::ExpectLine(), S::Delay(1500), S::DataConnect(),
                            S::Send("150 sending\r\n"), S::DataSend(body), S::DataClose(),
                            S::Send("226 sent\r\n")} +
                     Reply("221 bye\r\n") + Script{S::Close()});
    h.Start(Url());
    ASSERT_TRUE(WaitUntil([&] { return Received("RETR f.bin"); }));
    // While the server waits (long enough for a loaded machine), a stranger on another
    // loopback address gets in first.
    QByteArray port; // the file's, the last one
    for (const QByteArray& request : server.Requests())
        if (request.startsWith("PORT "))
            port = request;
    QList<QByteArray> numbers = port.mid(5).trimmed().split(',');
    ASSERT_EQ(numbers.size(), 6);
    QTcpSocket stranger;
    ASSERT_TRUE(stranger.bind(QHostAddress("127.0.0.2")));
    stranger.connectToHost("127.0.0.1", quint16(numbers[4].toInt() * 256 + numbers[5].toInt()));
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QAbstractSocket::ConnectedState; }));
    stranger.write(RandomBytes(5000, 1));
    ASSERT_TRUE(WaitUntil([&] { return stranger.state() == QAbstractSocket::UnconnectedState; }));

    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_TRUE(h.LogHas(" E data connection from 127.0.0.2 refused\r\n"));
}

TEST_F(FtpScripted, PassiveModeFallsBackToPasvAndKeepsToTheServer) {
    Settings().SetInt(keys::FtpPassive, 1);
    // The address in the 227 reply is nowhere; the data connection goes to the server.
    const QByteArray pasv = "227 Entering Passive Mode (10,9,8,7,%p1%,%p2%)\r\n";
    server.AddScript(Login() + Reply("500 EPSV not understood\r\n") +
                     Script{S::ExpectLine(), S::DataListen(pasv)} + Reply("200 TYPE A\r\n") +
                     Script{S::ExpectLine(), S::DataAccept(), S::Send("150 listing\r\n"),
                            S::DataSend(ListLine(body.size())), S::DataClose(),
                            S::Send("226 listed\r\n")} +
                     Reply("213 20240101120000\r\n") +
                     Script{S::ExpectLine(), S::DataListen(pasv)} + Reply("200 TYPE I\r\n") +
                     Script{S::ExpectLine(), S::DataAccept(), S::Send("150 sending\r\n"),
                            S::DataSend(body), S::DataClose(), S::Send("226 sent\r\n")} +
                     Reply("221 bye\r\n") + Script{S::Close()});
    h.Start(Url());
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    EXPECT_EQ(server.Requests().mid(4),
              (QList<QByteArray>{"EPSV\r\n", "PASV\r\n", "TYPE A\r\n", "LIST -L f.bin\r\n",
                                 "MDTM f.bin\r\n", "PASV\r\n", "TYPE I\r\n", "RETR f.bin\r\n",
                                 "QUIT\r\n"}));
    EXPECT_TRUE(server.Errors().isEmpty()) << server.Errors().join('\n').toStdString();
}

TEST_F(FtpScripted, FtpAddressesGoThroughTheHttpProxy) {
    // A proxy of our own: the proxy that tests use for HTTP does not fetch ftp addresses.
    Settings().SetInt(keys::Proxy, 1);
    Settings().SetString(keys::ProxyServer, "127.0.0.1");
    Settings().SetInt(keys::ProxyPort, server.Port());
    server.AddScript({S::ExpectRequest(),
                      S::Send("HTTP/1.0 200 OK\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body),
                      S::Close()});
    h.Start("ftp://files.invalid/pub/f.bin");
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("f.bin") == body);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_TRUE(server.Requests()[0].startsWith("GET ftp://files.invalid/pub/f.bin HTTP/"))
        << server.Requests()[0].toStdString();
    EXPECT_FALSE(h.LogHas("finding host files.invalid"));
}
