#pragma once
// The transfer for pnm (and rtsp) addresses: records a RealAudio or RealMedia stream from
// a PNA server into a playable file. One connection, the stored hello, the reply that tells
// the server's kind, the stream header, then packets to the end marker. An interrupted
// recording continues in the same file: the partial file tells where, and the server is
// asked to seek there.

#include "engine/ItemFlags.h"
#include "engine/JobSocket.h"
#include "engine/TransferJob.h"
#include "protocols/PnaStreamParser.h"
#include "protocols/RealMediaWriter.h"
#include "protocols/RecordingState.h"
#include "protocols/RecordingTarget.h"

#include <string>

namespace vireo {

// Bits of the flag word of a stream transfer beyond those every job has.
inline constexpr uint32_t JF_REQUEST_PENDING = 0x10000; // the hello is still to be sent
inline constexpr uint32_t JF_FIRST_PACKET = 0x100000;   // no packet taken yet
inline constexpr uint32_t JF_CATCHING_UP = 0x200000;    // repeating what the file holds
inline constexpr uint32_t JF_RESUME_CHECK = 0x800000;   // the partial file is still to judge
// JF_STREAM (header done, packets follow) is shared with the engine.

class PnmTransfer : public TransferJob, private RecordingTarget {
public:
    PnmTransfer(JobHost* item, std::string host, std::string path, int port);
    ~PnmTransfer() override;

    size_t MemoryUse() const override;
    int OnData(JobSocket* socket, const char* data, size_t count) override;
    int OnWritable(JobSocket* socket) override;
    std::string Describe() const override;
    int Retry() override;
    int Connect() override;
    void CloseSockets() override;

    int StreamType() const { return m_state.streamType; }
    const RecordingState& State() const { return m_state; }

private:
    // Takes one read; 0 when the transfer ended, failed or went on to its next attempt.
    int Process(std::string_view bytes);
    int Handle(const PnaEvent& event);
    int Packet(const PnaEvent& event);
    // What a writer step returned, as the read loop's go-on or stop.
    int Outcome(int result);
    int EndOfStream();
    void CheckResume();
    void SendSeek(uint32_t position);
    int ServerPort() const;

    // The recording's view of this transfer.
    int64_t ByteCount() const override { return m_bytes; }
    bool Append(const void* data, size_t count) override;
    bool WriteAt(int64_t position, const void* data, size_t count) override;
    bool ReadAt(int64_t position, void* data, size_t count) override;
    void SetStartOffset(int64_t n) override { TransferJob::SetStartOffset(n); }
    int64_t TotalSize() const override { return m_size; }
    void SetTotalSize(int64_t size) override { m_size = size; }
    bool IsLive() const override { return HasFlag(IF_LIVE); }
    void SetLive(bool live) override;
    bool IsCatchingUp() const override { return HasFlag(JF_CATCHING_UP); }
    void SetCatchingUp(bool on) override;
    void SetSizeLimited(bool on) override;
    void NotifyChanged() override { Notify(NotifyAttempt); }
    void Log(std::string_view text, char kind) override { AddRecord(text, kind); }
    void LogField(std::string_view name, std::string_view value, char kind) override;
    void LogDump(const void* data, size_t count) override;

    JobSocketPtr m_socket;
    PnaStreamParser m_parser;
    RecordingState m_state;
    RealMediaWriter m_writer{*this, m_state};
    std::string m_received;    // bytes that arrived while earlier ones were processed
    bool m_processing = false; // set while received bytes are processed
    // The stream ended before the partial file's data came again: the next attempt
    // records from the start.
    bool m_startOver = false;
};

} // namespace vireo
