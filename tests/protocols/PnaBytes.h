#pragma once
// What a PNA server sends, piece by piece, for tests that play the server byte by byte.

#include "MemoryRecording.h"

#include <fstream>
#include <iterator>
#include <string>

namespace vireo::test {

// The first 25 bytes of a reply: "PNA", the version at offset 4, the kind at offset 9.
inline std::string Reply(int version, char kind) {
    std::string r = std::string("PNA\0", 4) + char(version) + std::string(4, '\0') + kind;
    return r + std::string(15, '\0');
}
inline std::string RaReplyI(const std::string& header) {
    return Reply(8, 'i').substr(0, 25) + Be16(uint16_t(header.size())) + header;
}
inline std::string RaReplyR(const std::string& header) {
    return Reply(8, 'r').substr(0, 10) + Be16(uint16_t(header.size())) + header;
}
inline std::string RaReply5(const std::string& header) {
    return Reply(5, 'i').substr(0, 10) + Be16(uint16_t(header.size())) + header;
}
// The gap after a version 8 header; its bytes look like stream data on purpose.
inline std::string Gap() {
    return std::string(36, 'E') + std::string(36, 'A');
}
inline std::string Packet11(const std::string& payload) {
    return std::string("A") + Be16(uint16_t(payload.size())) + payload;
}
inline std::string Packet12(const std::string& payload) {
    return std::string("A") + std::string(5, '\0') + char(payload.size()) + payload;
}
inline std::string Packet20(uint32_t ts, uint8_t stream, uint8_t flags,
                            const std::string& payload) {
    return Be16(uint16_t(12 + payload.size())) + "ab12" + Be32(ts) + char(stream) + char(flags) +
           payload;
}
inline std::string Packet90(uint32_t ts, uint8_t stream, uint8_t flags,
                            const std::string& payload) {
    return std::string("Z") + Be16(uint16_t(12 + payload.size())) + "ab12Z?" + Be32(ts) +
           char(stream) + char(flags) + payload;
}
inline std::string EndBlock() {
    return std::string("L") + std::string(71, 'E');
}

#ifdef VIREO_FIXTURES
// The bytes of a file under tests/fixtures; empty when it cannot be read.
inline std::string FixtureBytes(const std::string& name) {
    std::ifstream in(std::string(VIREO_FIXTURES) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
#endif

} // namespace vireo::test
