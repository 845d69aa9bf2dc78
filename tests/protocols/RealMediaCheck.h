#pragma once
// Reads a RealMedia file back on its own terms and says where its header, packets and
// index disagree with each other. Empty when they agree.

#include "common/Endian.h"

#include <QByteArray>

#include <map>
#include <string>
#include <vector>

namespace vireo::test {

struct RealMediaFacts {
    std::string problem; // empty when the file is consistent
    uint32_t packets = 0;
    uint32_t firstTimestamp = 0;
    uint32_t lastTimestamp = 0;
    int indexRecords = 0;
};

inline RealMediaFacts CheckRealMedia(const QByteArray& file, bool live = false) {
    RealMediaFacts facts;
    auto u8 = [&](qsizetype at) { return reinterpret_cast<const uint8_t*>(file.constData()) + at; };
    auto fail = [&](std::string why) {
        facts.problem = why;
        return facts;
    };
    if (!file.startsWith(".RMF") || file.size() < 18)
        return fail("no .RMF chunk");
    uint32_t headers = ReadBE32(u8(14));
    uint32_t propPackets = 0, duration = 0, indexOffset = 0, dataOffset = 0;
    std::vector<qsizetype> mdprs;
    uint32_t counted = 0;
    qsizetype pos = 0;
    while (true) {
        if (pos + 10 > file.size())
            return fail("no DATA chunk");
        QByteArray id = file.mid(pos, 4);
        uint32_t size = ReadBE32(u8(pos + 4));
        ++counted;
        if (id == "DATA")
            break;
        if (id == "PROP") {
            propPackets = ReadBE32(u8(pos + 26));
            duration = ReadBE32(u8(pos + 30));
            indexOffset = ReadBE32(u8(pos + 38));
            dataOffset = ReadBE32(u8(pos + 42));
        }
        if (id == "MDPR")
            mdprs.push_back(pos);
        if (size < 10)
            return fail("chunk of size " + std::to_string(size));
        pos += size;
    }
    if (counted != headers)
        return fail("header count " + std::to_string(headers) + ", chunks " +
                    std::to_string(counted));
    if (dataOffset != uint32_t(pos))
        return fail("PROP data offset " + std::to_string(dataOffset) + ", DATA at " +
                    std::to_string(pos));
    uint32_t dataEnd = indexOffset ? indexOffset : uint32_t(file.size());
    if (ReadBE32(u8(pos + 4)) != dataEnd - pos)
        return fail("DATA size " + std::to_string(ReadBE32(u8(pos + 4))) + ", holds " +
                    std::to_string(dataEnd - pos));
    if (ReadBE32(u8(pos + 10)) != propPackets)
        return fail("DATA packet count differs from PROP");

    struct Key {
        uint32_t ts, offset, number;
    };
    std::map<int, std::vector<Key>> keys;
    uint32_t number = 0;
    for (qsizetype p = pos + 18; p < dataEnd;) {
        if (p + 12 > dataEnd)
            return fail("packet header cut at " + std::to_string(p));
        uint16_t length = ReadBE16(u8(p + 2));
        if (length < 12 || p + length > dataEnd)
            return fail("packet length " + std::to_string(length) + " at " + std::to_string(p));
        int stream = ReadBE16(u8(p + 4));
        uint32_t ts = ReadBE32(u8(p + 6));
        if (number == 0)
            facts.firstTimestamp = ts;
        facts.lastTimestamp = ts;
        if (*u8(p + 11) & 2) {
            std::vector<Key>& list = keys[stream];
            if (list.empty() || list.back().ts != ts)
                list.push_back({ts, uint32_t(p), number});
        }
        ++number;
        p += length;
    }
    facts.packets = number;
    if (number != propPackets)
        return fail("PROP says " + std::to_string(propPackets) + " packets, DATA holds " +
                    std::to_string(number));
    if (!live && duration != facts.lastTimestamp)
        return fail("duration " + std::to_string(duration) + ", last timestamp " +
                    std::to_string(facts.lastTimestamp));
    for (qsizetype m : mdprs) {
        if (ReadBE32(u8(m + 36)) != duration)
            return fail("MDPR duration differs from PROP");
    }

    if (keys.empty()) {
        if (indexOffset != 0)
            return fail("index without key frames");
        return facts;
    }
    qsizetype at = indexOffset;
    for (auto& [stream, list] : keys) {
        if (at + 20 > file.size() || file.mid(at, 4) != "INDX")
            return fail("no INDX for stream " + std::to_string(stream));
        uint32_t count = ReadBE32(u8(at + 10));
        if (ReadBE16(u8(at + 14)) != stream || count != list.size())
            return fail("INDX of stream " + std::to_string(stream) + " has " +
                        std::to_string(count) + " records, " + std::to_string(list.size()) +
                        " key frames");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* r = u8(at + 20 + qsizetype(i) * 14);
            if (ReadBE32(r + 2) != list[i].ts || ReadBE32(r + 6) != list[i].offset ||
                ReadBE32(r + 10) != list[i].number)
                return fail("INDX record " + std::to_string(i) + " of stream " +
                            std::to_string(stream));
            ++facts.indexRecords;
        }
        uint32_t next = ReadBE32(u8(at + 16));
        at += 20 + qsizetype(count) * 14;
        if (next != 0 && next != uint32_t(at))
            return fail("INDX next header points elsewhere");
    }
    if (at != file.size())
        return fail("bytes after the index");
    return facts;
}

} // namespace vireo::test
