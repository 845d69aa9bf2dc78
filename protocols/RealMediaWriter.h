#pragma once
// Turns what a PNM stream delivers into a file a player opens: RealAudio 3.0 and 4.0 files
// (the header as received, then the blocks) and RealMedia files (a header built from the
// received chunks, packets with a key-frame index per stream, live streams written a few
// packets late so their timestamps can start at zero). After every stop the final patch
// makes the header's sizes, counts, duration and index agree with what is on disk.
//
// While the recording catches up with a partial file (see ResumeAnalysis), incoming data
// is compared with the file's last blocks instead of being written.

#include "protocols/RecordingState.h"
#include "protocols/RecordingTarget.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

class RealMediaWriter {
public:
    // What each step returns: kOk to go on, kStopped when a write failed (the item has
    // failed already), or a negative error code to fail the transfer with.
    static constexpr int kOk = 1;
    static constexpr int kStopped = 0;
    // The transfer's codes for a stream it cannot take apart and one it cannot record.
    static constexpr int kCorrupted = -8;
    static constexpr int kUnsupported = -11;
    // Packets a live stream holds back before writing the oldest.
    static constexpr size_t kDelay = 16;

    struct Packet {
        uint32_t timestamp = 0;
        uint16_t stream = 0;
        uint8_t flags = 0; // 2 marks a key frame
        std::string_view payload;
    };

    RealMediaWriter(RecordingTarget& target, RecordingState& state)
        : m_target(target), m_state(state) {}

    // The RealAudio header as received from a server of PNA version 8 or 5.
    int RealAudioHeader(std::string_view header, int pnaVersion);
    // One block: written, or compared while catching up.
    int RealAudioBlock(std::string_view payload);

    // The header chunks as received, in order (each starts with its id and size).
    int RealMediaHeader(const std::vector<std::string_view>& chunks);
    int RealMediaPacket(const Packet& packet);

    // A filler block "a": ends catching up when nothing is left to compare with.
    void FillerA();
    // Makes the file agree with what it holds; for the stream type in the state.
    void FinalPatch();

    // The RealMedia packet header as the file stores it.
    static std::string PacketHeader(uint32_t timestamp, uint16_t stream, uint8_t flags,
                                    size_t payloadSize);

private:
    int Append(std::string_view bytes);
    // Indexes, counts and appends one whole packet; rebase moves a live stream's
    // timestamp so the recording starts at its base.
    int WritePacket(std::string bytes, bool rebase);
    void PatchRealAudio();
    void PatchRealMedia();
    bool IsWantedPacket(const Packet& packet) const;

    RecordingTarget& m_target;
    RecordingState& m_state;
};

} // namespace vireo
