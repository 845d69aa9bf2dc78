#pragma once
// What the test server streams: the header chunks and packets of a RealMedia file, or a
// RealAudio header and its blocks, all taken from an .rm file (as ffmpeg writes them).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vireo::pna {

struct MediaPacket {
    uint32_t timestamp = 0;
    uint16_t stream = 0;
    uint8_t flags = 0;
    QByteArray payload;
};

struct PnaContent {
    // RealMedia: the chunks before DATA (".RMF", PROP, CONT, MDPR...) and the packets.
    std::vector<QByteArray> chunks;
    std::vector<MediaPacket> packets;
    // RealAudio: the header the server sends and the blocks that follow it.
    QByteArray audioHeader;
    std::vector<QByteArray> blocks;
    int bytesPerSecond = 0;

    bool IsAudio() const { return !audioHeader.isEmpty(); }
    uint32_t LastTimestamp() const { return packets.empty() ? 0 : packets.back().timestamp; }

    // The RealMedia content of an .rm file; nothing when the file cannot be read.
    static std::optional<PnaContent> FromRealMedia(const QString& path);

    enum class AudioHeader {
        Version3,          // a RealAudio 3.0 header with the rate its seeks are made by
        Version4,          // the file's own 4.0 header, block size and sizes filled in
        Version4Corrected, // the same with the rate field servers use for 8000 bit/s
    };
    // The RealAudio content of an .rm file whose stream is RealAudio (14.4): blocks of
    // blockSize bytes (whole blocks only). live marks the stream as one without an end.
    static std::optional<PnaContent> FromRealAudio(const QString& path, AudioHeader kind,
                                                   int blockSize = 240, bool live = false);

    // Marks a RealMedia header as live (PROP flag 4).
    void MakeLive();
};

} // namespace vireo::pna
