#pragma once
// What a recording remembers between packets and what the resume analysis of a partial
// file restores: counts, timestamps, the key-frame index of each stream, the packets a live
// stream holds back, and the signatures that recognise data the file already has.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// One record of a RealMedia index, as the file stores it (14 bytes).
struct IndexRecord {
    static constexpr size_t kSize = 14;
    uint32_t timestamp = 0;
    uint32_t offset = 0;  // file offset of the packet
    uint32_t packets = 0; // packets before it

    bool operator==(const IndexRecord&) const = default;
};

// A length and up to 16 bytes of data taken from it.
struct Signature {
    uint32_t length = 0;
    std::string bytes;

    bool operator==(const Signature&) const = default;

    // A RealAudio block of length bytes, given its bytes (at least its first 21, when it
    // has them): the length and the 16 bytes from offset 5, or fewer when the block is
    // shorter.
    static Signature OfBlock(uint32_t length, std::string_view block) {
        std::string_view data = block.substr(0, length);
        data = data.size() > 5 ? data.substr(5, 16) : std::string_view();
        return {length, std::string(data)};
    }
    // A RealMedia packet: its length field and up to 16 bytes of its payload.
    static Signature OfPacket(uint32_t lengthField, std::string_view payload) {
        return {lengthField, std::string(payload.substr(0, 16))};
    }
};

struct RecordingState {
    static constexpr uint32_t kNoTimestamp = 0xFFFFFFFF;
    static constexpr size_t kMaxSignatures = 32;

    int streamType = 0; // 11, 12, 17, 20 or 90; 0 before the reply was judged
    uint32_t packets = 0;
    uint32_t lastTimestamp = 0;
    uint32_t firstTimestamp = kNoTimestamp;
    std::array<uint32_t, 2> baseTimestamp{};
    uint32_t durationMs = 0;
    std::array<bool, 2> video{};
    // Position last asked for with a seek; 0 once the stream has passed the partial file.
    uint32_t seekPosition = 0;
    std::array<std::vector<IndexRecord>, 2> index;
    // Whole packets (12-byte header and payload) a live stream holds back.
    std::deque<std::string> delayed;
    std::deque<Signature> signatures;

    void Reset() { *this = RecordingState(); }
    bool HasSignature(const Signature& s) const {
        return std::find(signatures.begin(), signatures.end(), s) != signatures.end();
    }
    // Adds a key frame's record unless the stream's last record has the same timestamp.
    void AddIndexRecord(int stream, uint32_t timestamp, uint32_t offset) {
        std::vector<IndexRecord>& list = index[size_t(stream)];
        if (list.empty() || list.back().timestamp != timestamp)
            list.push_back({timestamp, offset, packets});
    }
};

} // namespace vireo
