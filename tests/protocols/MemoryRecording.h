#pragma once
// A recording target over memory, and builders of the small RealAudio and RealMedia pieces
// the writer tests feed: the writer and the resume analysis run here without a socket or a
// file.

#include "common/Endian.h"
#include "protocols/RecordingTarget.h"

#include <cstring>
#include <string>
#include <vector>

namespace vireo::test {

class MemoryRecording : public RecordingTarget {
public:
    int64_t ByteCount() const override { return bytes; }
    bool Append(const void* data, size_t count) override {
        if (failWrites)
            return false;
        // Like the target file: at the end of what the file holds.
        file.append(static_cast<const char*>(data), count);
        bytes += int64_t(count);
        return true;
    }
    bool WriteAt(int64_t position, const void* data, size_t count) override {
        if (file.size() < size_t(position) + count)
            file.resize(size_t(position) + count);
        std::memcpy(file.data() + position, data, count);
        return true;
    }
    bool ReadAt(int64_t position, void* data, size_t count) override {
        if (position < 0 || size_t(position) + count > file.size())
            return false;
        std::memcpy(data, file.data() + position, count);
        return true;
    }
    void SetStartOffset(int64_t n) override {
        file.resize(size_t(n));
        bytes = n;
    }
    int64_t TotalSize() const override { return total; }
    void SetTotalSize(int64_t size) override { total = size; }
    bool IsLive() const override { return live; }
    void SetLive(bool on) override { live = on; }
    bool IsCatchingUp() const override { return catchingUp; }
    void SetCatchingUp(bool on) override { catchingUp = on; }
    void SetSizeLimited(bool on) override { sizeLimited = on; }
    void NotifyChanged() override { ++changes; }
    void Log(std::string_view text, char kind) override {
        log.push_back(std::string(1, kind) + " " + std::string(text));
    }
    void LogField(std::string_view name, std::string_view value, char kind) override {
        log.push_back(std::string(1, kind) + " " + std::string(name) + ": " + std::string(value));
    }
    void LogDump(const void*, size_t count) override {
        log.push_back("E dump " + std::to_string(count));
    }
    bool Logged(const std::string& line) const {
        for (const std::string& l : log) {
            if (l == line)
                return true;
        }
        return false;
    }

    std::string file;
    int64_t bytes = 0;
    int64_t total = 0;
    bool live = false, catchingUp = false, sizeLimited = false, failWrites = false;
    int changes = 0;
    std::vector<std::string> log;
};

inline std::string Be16(uint16_t v) {
    std::string s(2, '\0');
    WriteBE16(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}
inline std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    WriteBE32(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}
inline uint32_t At32(const std::string& b, size_t offset) {
    return ReadBE32(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}
inline uint16_t At16(const std::string& b, size_t offset) {
    return ReadBE16(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}
inline std::string Counted(const std::string& text) {
    return std::string(1, char(text.size())) + text;
}

struct RaText {
    std::string title, author, copyright, comment;
};

// A RealAudio 3.0 header; rateField at offset 14 (a rate of 8000 is 60000 there).
inline std::string RaV3Header(const RaText& t = {}, uint32_t dataSize = 0,
                              uint32_t rateField = 60000) {
    std::string strings = Counted(t.title) + Counted(t.author) + Counted(t.copyright) +
                          Counted(t.comment) + std::string("\0\x04lpcJ", 6);
    return std::string(".ra\xFD", 4) + Be16(3) + Be16(uint16_t(14 + strings.size())) +
           std::string(6, '\0') + Be32(rateField) + Be32(dataSize) + strings;
}

// A RealAudio 4.0 header for blocks of blockSize bytes; rateField at offset 32 (a rate of
// 8000 is 106667 there).
inline std::string RaV4Header(const RaText& t = {}, uint32_t total = 100000,
                              uint16_t blockSize = 240, uint32_t rateField = 106667) {
    std::string h = std::string(".ra\xFD", 4) + Be16(4) + Be16(0) + ".ra4" + Be32(total) + Be16(4) +
                    Be32(0) /* header size, below */ + Be16(3) + Be32(0) + Be32(0) +
                    Be32(rateField) + Be32(rateField) + Be16(1) + Be16(blockSize) + Be16(0) +
                    Be16(0) + Be16(8000) + Be16(0) + Be16(16) + Be16(1);
    h += Counted("Int0") + Counted("lpcJ") + std::string(3, '\0') + Counted(t.title) +
         Counted(t.author) + Counted(t.copyright) + Counted(t.comment);
    WriteBE32(reinterpret_cast<uint8_t*>(h.data()) + 18, uint32_t(h.size() - 16));
    return h;
}

inline std::string Chunk(const std::string& id, const std::string& body) {
    return id + Be32(uint32_t(10 + body.size())) + Be16(0) + body;
}
inline std::string RmfChunk() {
    return Chunk(".RMF", Be32(0) + Be32(4));
}
// PROP: the 40 bytes after the version; duration at offset 30, flags at 48.
inline std::string PropChunk(uint32_t durationMs, uint16_t flags = 0) {
    return Chunk("PROP", Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(durationMs) +
                             Be32(0) + Be32(0) + Be32(0) + Be16(1) + Be16(flags));
}
inline std::string ContChunk(const RaText& t) {
    auto text = [](const std::string& s) { return Be16(uint16_t(s.size())) + s; };
    return Chunk("CONT", text(t.title) + text(t.author) + text(t.copyright) + text(t.comment));
}
inline std::string MdprChunk(uint16_t stream, const std::string& mime,
                             const std::string& typeSpecific = "") {
    return Chunk("MDPR", Be16(stream) + std::string(28, '\0') + Counted("stream") + Counted(mime) +
                             Be32(uint32_t(typeSpecific.size())) + typeSpecific);
}

} // namespace vireo::test
