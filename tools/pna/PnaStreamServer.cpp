#include "PnaStreamServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace vireo::pna {

namespace {
QByteArray Word16(uint16_t v) {
    QByteArray b(2, '\0');
    b[0] = char(v >> 8);
    b[1] = char(v);
    return b;
}
QByteArray Word32(uint32_t v) {
    return Word16(uint16_t(v >> 16)) + Word16(uint16_t(v));
}
uint32_t Be32(const QByteArray& b, qsizetype at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}
} // namespace

struct PnaStreamServer::Connection {
    QTcpSocket* socket = nullptr;
    QTimer timer;
    QByteArray in;
    bool helloDone = false;
    bool streaming = false;
    bool started = false; // packets are on their way
    size_t next = 0;
    uint32_t loop = 0;
    int sent = 0;
    bool cutHere = false;
};

PnaStreamServer::PnaStreamServer(PnaContent content, PnaServerOptions options)
    : m_content(std::move(content)), m_options(std::move(options)),
      m_busyLeft(m_options.busyConnections) {
    if (m_options.live && !m_content.IsAudio())
        m_content.MakeLive();
    connect(&m_server, &QTcpServer::newConnection, this, [this] { OnNewConnection(); });
}

PnaStreamServer::~PnaStreamServer() {
    m_server.close();
    for (auto& c : m_open) {
        c->timer.stop();
        c->socket->disconnect(this);
        c->socket->abort();
        delete c->socket;
    }
}

bool PnaStreamServer::Listen(quint16 port) {
    return m_server.listen(QHostAddress::LocalHost, port);
}

QString PnaStreamServer::Url(const QString& path) const {
    return QString("pnm://127.0.0.1:%1%2").arg(Port()).arg(path);
}

size_t PnaStreamServer::Count() const {
    return m_content.IsAudio() ? m_content.blocks.size() : m_content.packets.size();
}

void PnaStreamServer::OnNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        auto c = std::make_unique<Connection>();
        c->socket = socket;
        socket->setParent(nullptr);
        Connection* raw = c.get();
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { OnReadable(*raw); });
        connect(socket, &QTcpSocket::disconnected, this, [raw] { raw->timer.stop(); });
        c->timer.setInterval(m_options.tickMs);
        connect(&c->timer, &QTimer::timeout, this, [this, raw] { Tick(*raw); });
        m_open.push_back(std::move(c));
    }
}

void PnaStreamServer::OnReadable(Connection& c) {
    c.in += c.socket->readAll();
    if (!c.helloDone) {
        if (c.in.size() < 372)
            return;
        int length = (uint8_t(c.in[370]) << 8) | uint8_t(c.in[371]);
        if (c.in.size() < 374 + length)
            return;
        if (!c.in.startsWith("PNA") || c.in.mid(372 + length, 2) != "yB") {
            c.socket->abort();
            return;
        }
        m_paths.push_back(c.in.mid(372, length));
        c.in.remove(0, 374 + length);
        c.helloDone = true;
        OnHello(c);
    }
    while (!c.in.isEmpty()) {
        if (c.in[0] == 'P') {
            c.in.remove(0, 1);
        } else if (c.in[0] == 'S') {
            if (c.in.size() < 6)
                return;
            if (c.in[5] == 'B')
                Seek(c, Be32(c.in, 1));
            else
                m_unknown += c.in.left(6);
            c.in.remove(0, 6);
        } else {
            m_unknown += c.in.left(1);
            c.in.remove(0, 1);
        }
    }
}

QByteArray PnaStreamServer::Reply(char kind) const {
    return QByteArray("PNA\0", 4) + char(m_options.pnaVersion) + QByteArray(4, '\0') + kind +
           QByteArray(15, '\0');
}

QByteArray PnaStreamServer::Header() const {
    if (m_options.pnaVersion == 10) {
        QByteArray out = Reply('O');
        for (size_t i = 0; i < m_content.chunks.size(); ++i) {
            out += m_content.chunks[i];
            if (i == 0 && m_options.fillers)
                out += QByteArray("r\x01\x02", 3);
        }
        if (!m_options.serverMessage.isEmpty())
            return out + 'X' + Word16(uint16_t(m_options.serverMessage.size())) +
                   m_options.serverMessage;
        return out + 'L' + QByteArray(71, '\x11');
    }
    const QByteArray& h = m_content.audioHeader;
    QByteArray length = Word16(uint16_t(h.size()));
    QByteArray gap(72, '\x22');
    if (m_options.pnaVersion == 5)
        return Reply('i').left(10) + length + h;
    if (m_options.audioReply == 'r')
        return Reply('r').left(10) + length + h + gap;
    return Reply('i').left(25) + length + h + gap;
}

void PnaStreamServer::OnHello(Connection& c) {
    if (m_busyLeft > 0) {
        --m_busyLeft;
        c.socket->write(Reply('X'));
        c.socket->disconnectFromHost();
        return;
    }
    c.socket->write(Header());
    if (!m_options.serverMessage.isEmpty()) {
        c.socket->disconnectFromHost();
        return;
    }
    c.streaming = true;
    if (!m_cutDone && m_options.cutAfterPackets >= 0) {
        c.cutHere = true;
        m_cutDone = true;
    }
    QTimer::singleShot(m_options.prerollMs, &c.timer, [&c] {
        if (!c.started) {
            c.started = true;
            c.timer.start();
        }
    });
}

void PnaStreamServer::Seek(Connection& c, uint32_t position) {
    m_seeks.push_back(position);
    if (c.streaming && !c.started) {
        c.started = true;
        c.timer.start(); // no need to wait longer for a seek
    }
    if (m_options.live)
        return;
    size_t index = 0;
    if (m_content.IsAudio()) {
        // Positions are tenths of a second.
        int64_t byte = int64_t(position) * m_content.bytesPerSecond / 10;
        index = size_t(byte / m_content.blocks.front().size());
    } else {
        while (index < m_content.packets.size() && m_content.packets[index].timestamp < position)
            ++index;
    }
    c.next = std::min(index, Count());
}

QByteArray PnaStreamServer::Filler(int index) const {
    if (!m_options.fillers || index == 0)
        return {};
    QByteArray out;
    bool media = !m_content.IsAudio();
    if (index % 5 == 0)
        out += "??";
    if (index % 7 == 0)
        out += media ? QByteArray("b1234567") : QByteArray("a");
    if (index % 11 == 0)
        out += media                       ? QByteArray("a1234")
               : m_options.pnaVersion == 5 ? QByteArray("a")
                                           : QByteArray("a\x01\x02\x03\x04\x05", 6);
    if (media && !m_options.longFraming && index % 13 == 0)
        out += Word16(10) + QByteArray(8, '\x33');
    return out;
}

QByteArray PnaStreamServer::Frame(const Connection& c, size_t index) const {
    if (m_content.IsAudio()) {
        const QByteArray& block = m_content.blocks[index];
        if (m_options.pnaVersion == 5)
            return 'A' + Word16(uint16_t(index)) + QByteArray(3, '\0') + char(block.size()) + block;
        return 'A' + Word16(uint16_t(block.size())) + block;
    }
    const MediaPacket& p = m_content.packets[index];
    uint32_t timestamp = p.timestamp;
    if (m_options.live)
        timestamp += m_options.liveBase + c.loop * (m_content.LastTimestamp() + 40);
    QByteArray fields = Word32(timestamp) + char(p.stream) + char(p.flags) + p.payload;
    uint16_t length = uint16_t(12 + p.payload.size());
    if (m_options.longFraming)
        return 'Z' + Word16(length) + Word32(uint32_t(index)) + 'Z' + '\0' + fields;
    return Word16(length) + Word32(uint32_t(index)) + fields;
}

void PnaStreamServer::Tick(Connection& c) {
    if (!c.socket || c.socket->state() != QAbstractSocket::ConnectedState) {
        c.timer.stop();
        return;
    }
    QByteArray out;
    if (c.sent == 0 && m_content.IsAudio() && m_options.pnaVersion == 8 && m_options.fillers)
        out += QByteArray("e12345678", 9) + Word16(4) + "info";
    for (int i = 0; i < m_options.packetsPerTick; ++i) {
        if (c.next >= Count()) {
            if (m_options.live) {
                c.next = 0;
                ++c.loop;
            } else {
                out += 'E';
                c.timer.stop();
                break;
            }
        }
        out += Filler(c.sent) + Frame(c, c.next);
        ++c.next;
        ++c.sent;
        ++m_packetsSent;
        if (c.cutHere && c.sent >= m_options.cutAfterPackets) {
            c.socket->write(out);
            c.timer.stop();
            c.socket->disconnectFromHost();
            return;
        }
    }
    c.socket->write(out);
}

} // namespace vireo::pna
