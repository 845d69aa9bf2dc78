#include "peers/ScriptedConnection.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTimer>

#include <sys/socket.h>

namespace vireo::test {

ScriptedConnection::ScriptedConnection(int index, QTcpSocket* socket, Script script, Hooks hooks)
    : m_index(index), m_socket(socket), m_script(std::move(script)), m_hooks(std::move(hooks)) {
    m_socket->setParent(nullptr);
    QObject::connect(m_socket.get(), &QTcpSocket::readyRead, this, &ScriptedConnection::OnReadable);
    QObject::connect(m_socket.get(), &QTcpSocket::disconnected, this,
                     &ScriptedConnection::OnDisconnected);
    // Starts from the event loop, so a server made in the middle of a test call never
    // writes before the test returns to the loop.
    QTimer::singleShot(0, this, [this] { Advance(); });
}

ScriptedConnection::~ScriptedConnection() {
    // No more events into a half-destroyed script.
    m_socket->disconnect(this);
    m_socket->abort();
    if (m_data) {
        m_data->disconnect(this);
        m_data->abort();
    }
    if (m_dataListener)
        m_dataListener->disconnect(this);
}

void ScriptedConnection::OnReadable() {
    QByteArray bytes = m_socket->readAll();
    m_received += bytes;
    m_buffer += bytes;
    if (!m_waiting)
        Advance();
}

void ScriptedConnection::OnDisconnected() {
    if (m_closedByUs)
        return;
    OnReadable();
    m_closedByClient = true;
    if (!m_waiting)
        Advance();
}

qsizetype ScriptedConnection::ExpectedLength(const ScriptStep& step) const {
    switch (step.kind) {
    case ScriptStep::Kind::ExpectLine: {
        qsizetype end = m_buffer.indexOf("\r\n");
        return end < 0 ? 0 : end + 2;
    }
    case ScriptStep::Kind::ExpectBytes:
        return m_buffer.size() >= step.count ? step.count : 0;
    case ScriptStep::Kind::ExpectRequest: {
        qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return 0;
        qsizetype headerLength = end + 4;
        static const QRegularExpression contentLength(R"(\r\ncontent-length:[ \t]*(\d+))",
                                                      QRegularExpression::CaseInsensitiveOption);
        QRegularExpressionMatch match =
            contentLength.match(QString::fromLatin1(m_buffer.left(headerLength)));
        qsizetype total = headerLength + (match.hasMatch() ? match.captured(1).toLongLong() : 0);
        return m_buffer.size() >= total ? total : 0;
    }
    default:
        return 0;
    }
}

void ScriptedConnection::Write(QTcpSocket* socket, const QByteArray& bytes) {
    // A client that has gone simply misses what is left of the script.
    if (socket && socket->state() == QAbstractSocket::ConnectedState) {
        socket->write(bytes);
        socket->flush();
    }
}

void ScriptedConnection::Continue() {
    m_waiting = false;
    ++m_step;
    Advance();
}

void ScriptedConnection::Advance() {
    while (!m_waiting && m_step < int(m_script.size())) {
        const ScriptStep& step = m_script[size_t(m_step)];
        switch (step.kind) {
        case ScriptStep::Kind::ExpectRequest:
        case ScriptStep::Kind::ExpectLine:
        case ScriptStep::Kind::ExpectBytes: {
            qsizetype length = ExpectedLength(step);
            if (length == 0) {
                if (m_closedByClient)
                    Fail("the client closed the connection while the server waited");
                return;
            }
            QByteArray taken = m_buffer.left(length);
            m_buffer.remove(0, length);
            if (taken.startsWith("PORT ") || taken.startsWith("port "))
                m_lastPortCommand = taken;
            m_hooks.expected(taken);
            break;
        }
        case ScriptStep::Kind::Send:
            Write(m_socket.get(), step.bytes);
            break;
        case ScriptStep::Kind::SendSlowly:
            m_waiting = true;
            SendPiece(0);
            return;
        case ScriptStep::Kind::Delay:
            m_waiting = true;
            QTimer::singleShot(step.ms, this, [this] { Continue(); });
            return;
        case ScriptStep::Kind::Close:
            m_closedByUs = true;
            m_socket->disconnectFromHost();
            break;
        case ScriptStep::Kind::Reset:
            m_closedByUs = true;
            if (m_socket->socketDescriptor() >= 0) {
                // Zero linger makes the close send a reset instead of a FIN.
                linger hard{1, 0};
                setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                           sizeof hard);
            }
            m_socket->abort();
            m_step = int(m_script.size());
            return;
        case ScriptStep::Kind::Stall:
            m_step = int(m_script.size());
            return;
        case ScriptStep::Kind::DataConnect:
            if (!StartDataConnection())
                return;
            m_waiting = true;
            return;
        case ScriptStep::Kind::DataListen:
            if (!ListenForData(step.bytes))
                return;
            break;
        case ScriptStep::Kind::DataAccept:
            if (!m_dataListener) {
                Fail("DataAccept without a DataListen before it");
                return;
            }
            m_waiting = true;
            OnDataIncoming(); // the client may have connected already
            return;
        case ScriptStep::Kind::DataSend:
            Write(m_data.get(), step.bytes);
            break;
        case ScriptStep::Kind::DataClose:
            if (m_data && m_data->state() != QAbstractSocket::UnconnectedState) {
                // Continues once the close is done; with nothing left to send that is
                // already the case when disconnectFromHost returns.
                m_waiting = true;
                m_data->disconnectFromHost();
                return;
            }
            break;
        }
        ++m_step;
    }
}

void ScriptedConnection::SendPiece(qsizetype from) {
    const ScriptStep& step = m_script[size_t(m_step)];
    qsizetype piece = step.count > 0 ? step.count : 1;
    Write(m_socket.get(), step.bytes.mid(from, piece));
    if (from + piece >= step.bytes.size()) {
        Continue();
        return;
    }
    QTimer::singleShot(step.ms, this, [this, from, piece] { SendPiece(from + piece); });
}

bool ScriptedConnection::StartDataConnection() {
    static const QRegularExpression port(R"(^PORT\s+(\d+),(\d+),(\d+),(\d+),(\d+),(\d+))",
                                         QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch match = port.match(QString::fromLatin1(m_lastPortCommand));
    if (!match.hasMatch()) {
        Fail("DataConnect without a PORT command before it");
        return false;
    }
    QString host =
        QString("%1.%2.%3.%4")
            .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4));
    quint16 dataPort = quint16(match.captured(5).toInt() * 256 + match.captured(6).toInt());
    if (m_data)
        m_data->abort();
    m_data = std::make_unique<QTcpSocket>();
    QTcpSocket* data = m_data.get();
    QObject::connect(data, &QTcpSocket::connected, this, [this] { Continue(); });
    QObject::connect(data, &QTcpSocket::disconnected, this, [this] {
        if (m_waiting && m_script[size_t(m_step)].kind == ScriptStep::Kind::DataClose)
            Continue();
    });
    QObject::connect(data, &QTcpSocket::errorOccurred, this, [this, data] {
        if (data->state() != QAbstractSocket::ConnectedState &&
            m_script[size_t(m_step)].kind == ScriptStep::Kind::DataConnect && m_waiting) {
            m_waiting = false;
            Fail("data connection failed: " + data->errorString());
        }
    });
    data->connectToHost(QHostAddress(host), dataPort);
    return true;
}

bool ScriptedConnection::ListenForData(const QByteArray& reply) {
    m_dataListener = std::make_unique<QTcpServer>();
    if (!m_dataListener->listen(QHostAddress::LocalHost, 0)) {
        Fail("cannot listen for a data connection: " + m_dataListener->errorString());
        return false;
    }
    QObject::connect(m_dataListener.get(), &QTcpServer::newConnection, this,
                     [this] { OnDataIncoming(); });
    quint16 port = m_dataListener->serverPort();
    QByteArray text = reply;
    text.replace("%p1%", QByteArray::number(port / 256));
    text.replace("%p2%", QByteArray::number(port % 256));
    text.replace("%port%", QByteArray::number(port));
    Write(m_socket.get(), text);
    return true;
}

void ScriptedConnection::OnDataIncoming() {
    if (!m_waiting || m_step >= int(m_script.size()) ||
        m_script[size_t(m_step)].kind != ScriptStep::Kind::DataAccept ||
        !m_dataListener->hasPendingConnections())
        return;
    QTcpSocket* socket = m_dataListener->nextPendingConnection();
    socket->setParent(nullptr);
    if (m_data)
        m_data->abort();
    m_data.reset(socket);
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (m_waiting && m_script[size_t(m_step)].kind == ScriptStep::Kind::DataClose)
            Continue();
    });
    Continue();
}

void ScriptedConnection::Fail(const QString& what) {
    m_hooks.error(QString("connection %1, step %2 (%3): %4")
                      .arg(m_index)
                      .arg(m_step)
                      .arg(StepName(m_script[size_t(m_step)].kind))
                      .arg(what));
    // Nothing after a broken step can be meaningful.
    m_step = int(m_script.size());
}

} // namespace vireo::test
