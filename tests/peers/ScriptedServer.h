#pragma once
// A server of our own for the faults real servers do not make: a reply split across
// reads, a connection cut at byte N, a stall, a reset, garbage. It listens on 127.0.0.1 in
// the test's own event loop (single-threaded, like the client) and plays one script per
// accepted connection, in the order the scripts were added:
//
//   ScriptedServer server;
//   server.AddScript({ScriptStep::ExpectRequest(),
//                     ScriptStep::Send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n"),
//                     ScriptStep::SendSlowly("0123456789", 3, 20), ScriptStep::Close()});
//   ... start the client on server.Url("/file") ...
//   ASSERT_TRUE(WaitUntil([&] { return server.AllScriptsPlayed(); }));
//   EXPECT_EQ(server.Requests()[0], "GET /file HTTP/1.0\r\n...\r\n\r\n");
//
// A script that ends without Close or Reset leaves the connection open. A connection
// beyond the scripts added is closed at once and noted in Errors().

#include "peers/ScriptStep.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <deque>
#include <memory>
#include <vector>

namespace vireo::test {

class ScriptedConnection;

class ScriptedServer {
public:
    // Listens at once on a port the system picks.
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // The script for the next connection not yet given one.
    void AddScript(Script script);

    quint16 Port() const;
    QString HostPort() const;                     // "127.0.0.1:<port>"
    QString Url(const QString& path = "/") const; // "http://127.0.0.1:<port>" + path

    // Connections accepted so far.
    int ConnectionCount() const { return int(m_connections.size()); }
    // Every script added has had its connection and played to its end.
    bool AllScriptsPlayed() const;
    // What each Expect step took, exactly as the client sent it (CR LF included), in the
    // order taken, over all connections.
    QList<QByteArray> Requests() const { return m_requests; }
    // Every byte a connection read, also bytes no Expect step took.
    QByteArray Received(int connection) const;
    bool ClosedByClient(int connection) const;
    int StepsPlayed(int connection) const;
    // Connections without a script, Expect steps the client closed on, failed data
    // connections. Empty when all went to plan.
    QStringList Errors() const { return m_errors; }

private:
    void OnNewConnection();

    QTcpServer m_server;
    std::deque<Script> m_scripts;
    std::vector<std::unique_ptr<ScriptedConnection>> m_connections;
    QList<QByteArray> m_requests;
    QStringList m_errors;
};

} // namespace vireo::test
