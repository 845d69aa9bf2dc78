#pragma once
// Finds where an interrupted recording continues. It reads the partial file, restores what
// the recording needs to go on writing into it (packet count, index, the live timestamps)
// and the signatures of its last data, and answers with the position to ask the server
// for. The stream then repeats a little of what the file holds; the writer recognises the
// file's last data by its signature and writes only what follows (catching up).

#include "protocols/RecordingState.h"
#include "protocols/RecordingTarget.h"

#include <cstdint>

namespace vireo {

class ResumeAnalysis {
public:
    static constexpr int64_t kStartOver = -1;

    ResumeAnalysis(RecordingTarget& target, RecordingState& state)
        : m_target(target), m_state(state) {}

    // kStartOver when the file cannot be continued (the caller empties it); otherwise the
    // seek position (RealMedia: milliseconds), 0 meaning continue without one. May cut the
    // file back to its last whole packet.
    int64_t Run();

    // Bit rates as RealAudio 4.0 headers give them, mapped to the rates servers seek by.
    static uint32_t CorrectedRate(uint32_t rate);

private:
    int64_t RealAudio();
    int64_t RealMedia();
    // Reads the INDX chunk(s) at offset into the index lists: false unless they lie wholly
    // in the file and every record names a packet between dataStart and offset.
    bool ReadIndex(int64_t offset, int64_t dataStart);
    // Walks the packets from start, indexing key frames; cuts the file at the first packet
    // that is not whole.
    void RebuildIndex(int64_t start);
    int64_t ResumeOffset() const;

    RecordingTarget& m_target;
    RecordingState& m_state;
};

} // namespace vireo
