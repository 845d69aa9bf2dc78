#include "peers/ScriptedServer.h"
#include "peers/Curl.h"
#include "peers/WaitUntil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

using namespace vireo::test;

TEST(ScriptedServerTest, RecordsTheExactRequestAndPlaysTheReplyInPieces) {
    ScriptedServer server;
    const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123456789";
    server.AddScript(
        {ScriptStep::ExpectRequest(), ScriptStep::SendSlowly(reply, 7, 5), ScriptStep::Close()});

    const QByteArray request = "POST /form HTTP/1.0\r\nContent-Length: 5\r\n\r\nabcde";
    QTcpSocket client;
    QByteArray received;
    int reads = 0;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] {
        received += client.readAll();
        ++reads;
    });
    client.connectToHost("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    // Split inside the headers and inside the body: the step waits for the whole request.
    client.write(request.left(12));
    WaitUntil([] { return false; }, 20);
    client.write(request.mid(12, 30));
    WaitUntil([] { return false; }, 20);
    EXPECT_EQ(server.StepsPlayed(0), 0);
    client.write(request.mid(42));

    ASSERT_TRUE(WaitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(received, reply);
    EXPECT_GT(reads, 3);
    EXPECT_EQ(server.Requests(), QList<QByteArray>{request});
    EXPECT_TRUE(server.AllScriptsPlayed());
    EXPECT_TRUE(server.Errors().isEmpty());
}

TEST(ScriptedServerTest, ConnectionFaultsReachTheClient) {
    struct Case {
        const char* name;
        Script script;
        int curlExit;
    } cases[] = {
        {"cut after the headers",
         {ScriptStep::ExpectRequest(),
          ScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"),
          ScriptStep::Close()},
         18},
        {"closed without a reply", {ScriptStep::ExpectRequest(), ScriptStep::Close()}, 52},
        {"reset", {ScriptStep::ExpectRequest(), ScriptStep::Reset()}, 56},
        {"stall", {ScriptStep::ExpectRequest(), ScriptStep::Stall()}, 28},
        {"garbage",
         {ScriptStep::ExpectRequest(), ScriptStep::Send("\x01\x02garbage\r\n\r\n"),
          ScriptStep::Close()},
         1},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        server.AddScript(c.script);
        // Only the stall has to run into the limit; the others answer at once.
        const char* limit = c.curlExit == 28 ? "0.5" : "10";
        CurlResult result = RunCurl({"--max-time", limit, server.Url("/x")});
        EXPECT_EQ(result.exitCode, c.curlExit) << c.name << ": " << result.error.toStdString();
        EXPECT_TRUE(server.Requests().value(0).startsWith("GET /x HTTP/1.1\r\n")) << c.name;
    }
}

TEST(ScriptedServerTest, DelayHoldsTheReplyAndExtraConnectionsAreReported) {
    ScriptedServer server;
    server.AddScript({ScriptStep::ExpectRequest(), ScriptStep::Delay(300),
                      ScriptStep::Send("HTTP/1.0 204 No Content\r\n\r\n"), ScriptStep::Close()});
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(RunCurl({server.Url("/")}).status, 204);
    EXPECT_GE(clock.elapsed(), 300);

    // Closed before the request is read: the client sees a close or a reset.
    EXPECT_NE(RunCurl({server.Url("/")}).exitCode, 0);
    EXPECT_EQ(server.ConnectionCount(), 2);
    ASSERT_EQ(server.Errors().size(), 1);
    EXPECT_TRUE(server.Errors()[0].contains("without a script"));
}

TEST(ScriptedServerTest, PlaysALineProtocolWithAnActiveDataConnection) {
    ScriptedServer server;
    server.AddScript({ScriptStep::Send("220 ready\r\n"), ScriptStep::ExpectLine(),
                      ScriptStep::Send("200 ok\r\n"), ScriptStep::ExpectLine(),
                      ScriptStep::Send("150 here it comes\r\n"), ScriptStep::DataConnect(),
                      ScriptStep::DataSend("file body"), ScriptStep::DataClose(),
                      ScriptStep::Send("226 done\r\n"), ScriptStep::Stall()});

    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    QTcpSocket control;
    control.connectToHost("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    EXPECT_EQ(control.readLine(), "220 ready\r\n");
    // The command arrives in two pieces; the step takes it only once the line is complete.
    control.write("TYPE");
    WaitUntil([] { return false; }, 20);
    control.write(" I\r\n");
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    EXPECT_EQ(control.readLine(), "200 ok\r\n");

    const QByteArray port = QString("PORT 127,0,0,1,%1,%2\r\n")
                                .arg(listener.serverPort() / 256)
                                .arg(listener.serverPort() % 256)
                                .toLatin1();
    control.write(port);
    ASSERT_TRUE(WaitUntil([&] { return listener.hasPendingConnections(); }));
    QTcpSocket* data = listener.nextPendingConnection();
    QByteArray body;
    ASSERT_TRUE(WaitUntil([&] {
        body += data->readAll();
        return data->state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(body, "file body");

    QByteArray replies;
    ASSERT_TRUE(WaitUntil([&] {
        replies += control.readAll();
        return replies.contains("226 done\r\n");
    }));
    EXPECT_EQ(replies, "150 here it comes\r\n226 done\r\n");
    EXPECT_EQ(server.Requests(), (QList<QByteArray>{"TYPE I\r\n", port}));
    EXPECT_TRUE(server.AllScriptsPlayed());
    EXPECT_EQ(control.state(), QAbstractSocket::ConnectedState); // stalled, not closed
    EXPECT_TRUE(server.Errors().isEmpty());
}

TEST(ScriptedServerTest, OffersAPassiveDataConnection) {
    ScriptedServer server;
    server.AddScript({ScriptStep::Send("220 ready\r\n"), ScriptStep::ExpectLine(),
                      ScriptStep::DataListen("227 ok (10,9,8,7,%p1%,%p2%) %port%\r\n"),
                      ScriptStep::DataAccept(), ScriptStep::DataSend("file body"),
                      ScriptStep::DataClose(), ScriptStep::Send("226 done\r\n"),
                      ScriptStep::Stall()});
    QTcpSocket control;
    control.connectToHost("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    EXPECT_EQ(control.readLine(), "220 ready\r\n");
    control.write("PASV\r\n");
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    QList<QByteArray> words = control.readLine().trimmed().split(' ');
    ASSERT_EQ(words.size(), 4);
    const quint16 port = quint16(words[3].toInt());
    EXPECT_EQ(words[2], QString("(10,9,8,7,%1,%2)").arg(port / 256).arg(port % 256).toLatin1());

    QTcpSocket data;
    data.connectToHost("127.0.0.1", port);
    QByteArray body;
    ASSERT_TRUE(WaitUntil([&] {
        body += data.readAll();
        return data.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(body, "file body");
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    EXPECT_EQ(control.readLine(), "226 done\r\n");
    EXPECT_TRUE(server.AllScriptsPlayed());
    EXPECT_TRUE(server.Errors().isEmpty());
}
