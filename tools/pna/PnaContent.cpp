#include "PnaContent.h"

#include <QFile>

namespace vireo::pna {

namespace {
uint32_t Be32(const QByteArray& b, qsizetype at) {
    auto u = [&](qsizetype i) { return uint32_t(uint8_t(b[at + i])); };
    return (u(0) << 24) | (u(1) << 16) | (u(2) << 8) | u(3);
}
uint16_t Be16(const QByteArray& b, qsizetype at) {
    return uint16_t((uint8_t(b[at]) << 8) | uint8_t(b[at + 1]));
}
void Put32(QByteArray& b, qsizetype at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i));
}
QByteArray Word32(uint32_t v) {
    QByteArray b(4, '\0');
    Put32(b, 0, v);
    return b;
}
QByteArray Word16(uint16_t v) {
    QByteArray b(2, '\0');
    b[0] = char(v >> 8);
    b[1] = char(v);
    return b;
}
QByteArray Counted(const QByteArray& text) {
    return char(text.size()) + text;
}
} // namespace

std::optional<PnaContent> PnaContent::FromRealMedia(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray b = file.readAll();
    PnaContent content;
    qsizetype pos = 0;
    while (pos + 10 <= b.size()) {
        QByteArray id = b.mid(pos, 4);
        uint32_t size = Be32(b, pos + 4);
        if (id == "DATA") {
            pos += 18;
            break;
        }
        if (size < 10 || pos + size > b.size())
            return std::nullopt;
        content.chunks.push_back(b.mid(pos, size));
        pos += size;
    }
    while (pos + 12 <= b.size() && b.mid(pos, 4) != "INDX") {
        uint16_t length = Be16(b, pos + 2);
        if (length < 12 || pos + length > b.size())
            break;
        content.packets.push_back({Be32(b, pos + 6), Be16(b, pos + 4), uint8_t(b[pos + 11]),
                                   b.mid(pos + 12, length - 12)});
        pos += length;
    }
    if (content.chunks.empty() || content.packets.empty())
        return std::nullopt;
    return content;
}

std::optional<PnaContent> PnaContent::FromRealAudio(const QString& path, AudioHeader kind,
                                                    int blockSize, bool live) {
    std::optional<PnaContent> media = FromRealMedia(path);
    if (!media)
        return std::nullopt;
    QByteArray fileHeader;
    for (const QByteArray& chunk : media->chunks) {
        qsizetype at = chunk.indexOf(QByteArray(".ra\xFD", 4));
        if (chunk.startsWith("MDPR") && at >= 4)
            fileHeader = chunk.mid(at, Be32(chunk, at - 4));
    }
    if (fileHeader.size() < 56 || Be16(fileHeader, 4) != 4)
        return std::nullopt;
    QByteArray data;
    for (const MediaPacket& p : media->packets)
        data += p.payload;
    data.truncate(data.size() - data.size() % blockSize);

    PnaContent content;
    // The file's 4.0 header gives bytes per minute at offset 32.
    content.bytesPerSecond = int(Be32(fileHeader, 32) / 60);
    QByteArray comment = live ? "live" : "";
    if (kind == AudioHeader::Version3) {
        QByteArray strings = Counted("Sweep") + Counted("Vireo tests") + Counted("none") +
                             Counted(comment) + QByteArray("\0\x04lpcJ", 6);
        content.audioHeader = QByteArray(".ra\xFD", 4) + Word16(3) +
                              Word16(uint16_t(14 + strings.size())) + QByteArray(6, '\0') +
                              Word32(uint32_t(content.bytesPerSecond * 8 * 75 / 10)) +
                              Word32(uint32_t(data.size())) + strings;
    } else {
        QByteArray h = fileHeader.left(56) + Counted("Int0") + Counted("lpcJ") +
                       QByteArray(3, '\0') + Counted("Sweep") + Counted("Vireo tests") +
                       Counted("none") + Counted(comment);
        Put32(h, 18, uint32_t(h.size() - 16));
        Put32(h, 12, live ? 0 : uint32_t(h.size() + data.size()));
        Put32(h, 28, uint32_t(data.size()));
        h[42] = char(blockSize >> 8);
        h[43] = char(blockSize);
        if (kind == AudioHeader::Version4Corrected) {
            // The rate field read as bit/s * 1000 / 75.
            uint32_t field = uint32_t((int64_t(content.bytesPerSecond) * 8 * 1000 + 74) / 75);
            Put32(h, 32, field);
        }
        content.audioHeader = h;
    }
    for (qsizetype at = 0; at < data.size(); at += blockSize)
        content.blocks.push_back(data.mid(at, blockSize));
    return content;
}

void PnaContent::MakeLive() {
    for (QByteArray& chunk : chunks) {
        if (chunk.startsWith("PROP") && chunk.size() >= 50)
            chunk[49] = char(uint8_t(chunk[49]) | 4);
    }
}

} // namespace vireo::pna
