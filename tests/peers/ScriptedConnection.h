#pragma once
// Plays one script on one accepted connection, in the thread's event loop. Owned by
// ScriptedServer; tests use the server.

#include "peers/ScriptStep.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

namespace vireo::test {

class ScriptedConnection : public QObject {
public:
    struct Hooks {
        std::function<void(const QByteArray&)> expected; // what an Expect step took
        std::function<void(const QString&)> error;
    };

    ScriptedConnection(int index, QTcpSocket* socket, Script script, Hooks hooks);
    ~ScriptedConnection() override;

    // Every byte read from the client so far.
    const QByteArray& Received() const { return m_received; }
    bool ClosedByClient() const { return m_closedByClient; }
    // Steps completed; equals the script's length once it has been played.
    int StepsPlayed() const { return m_step; }
    bool Finished() const { return m_step >= int(m_script.size()); }

private:
    void OnReadable();
    void OnDisconnected();
    // Plays steps until one has to wait (for bytes, a timer or a connection).
    void Advance();
    void Continue(); // the waiting step is complete
    qsizetype ExpectedLength(const ScriptStep& step) const;
    void Write(QTcpSocket* socket, const QByteArray& bytes);
    void SendPiece(qsizetype from);
    bool StartDataConnection();
    bool ListenForData(const QByteArray& reply);
    void OnDataIncoming();
    void Fail(const QString& what);

    int m_index;
    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<QTcpSocket> m_data;
    std::unique_ptr<QTcpServer> m_dataListener;
    Script m_script;
    Hooks m_hooks;
    int m_step = 0;
    bool m_waiting = false; // a timer or a connection will continue the script
    bool m_closedByClient = false;
    bool m_closedByUs = false;
    QByteArray m_buffer; // read but not yet taken by an Expect step
    QByteArray m_received;
    QByteArray m_lastPortCommand;
};

} // namespace vireo::test
