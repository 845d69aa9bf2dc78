#include "peers/ScriptedServer.h"

#include "peers/ScriptedConnection.h"
#include "peers/TestApp.h"

#include <QTcpSocket>

#include <algorithm>

namespace vireo::test {

ScriptedServer::ScriptedServer() {
    EnsureTestApp();
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        m_errors << "cannot listen: " + m_server.errorString();
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server,
                     [this] { OnNewConnection(); });
}

ScriptedServer::~ScriptedServer() {
    m_server.close();
    m_connections.clear();
}

void ScriptedServer::AddScript(Script script) {
    m_scripts.push_back(std::move(script));
}

quint16 ScriptedServer::Port() const {
    return m_server.serverPort();
}

QString ScriptedServer::HostPort() const {
    return QString("127.0.0.1:%1").arg(Port());
}

QString ScriptedServer::Url(const QString& path) const {
    return QString("http://127.0.0.1:%1%2").arg(Port()).arg(path);
}

bool ScriptedServer::AllScriptsPlayed() const {
    return m_scripts.empty() &&
           std::all_of(m_connections.begin(), m_connections.end(),
                       [](const auto& connection) { return connection->Finished(); });
}

QByteArray ScriptedServer::Received(int connection) const {
    if (connection < 0 || connection >= ConnectionCount())
        return {};
    return m_connections[size_t(connection)]->Received();
}

bool ScriptedServer::ClosedByClient(int connection) const {
    return connection >= 0 && connection < ConnectionCount() &&
           m_connections[size_t(connection)]->ClosedByClient();
}

int ScriptedServer::StepsPlayed(int connection) const {
    if (connection < 0 || connection >= ConnectionCount())
        return 0;
    return m_connections[size_t(connection)]->StepsPlayed();
}

void ScriptedServer::OnNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        int index = ConnectionCount();
        Script script;
        if (m_scripts.empty()) {
            m_errors << QString("connection %1 came without a script; closed").arg(index);
            script = {ScriptStep::Close()};
        } else {
            script = std::move(m_scripts.front());
            m_scripts.pop_front();
        }
        ScriptedConnection::Hooks hooks{[this](const QByteArray& taken) { m_requests << taken; },
                                        [this](const QString& error) { m_errors << error; }};
        m_connections.push_back(
            std::make_unique<ScriptedConnection>(index, socket, std::move(script), hooks));
    }
}

} // namespace vireo::test
