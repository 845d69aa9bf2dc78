#pragma once
// The transfer for pnm (and rtsp) addresses: records a RealAudio or RealMedia stream from
// a PNA server into a playable file. One connection, the stored hello, the reply that tells
// the server's kind, the stream header, then packets to the end marker. An interrupted
// recording continues in the same file: the partial file tells where, and the server is
// asked to seek there.

#include "engine/ItemFlags.h"
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
inline constexpr uint32_t JF_STREAM = 0x40000;          // header done, packets follow

class PnmTransfer : public TransferJob, private RecordingTarget {
public:
    PnmTransfer(JobHost* item, std::string host, std::string path, int port);
    ~PnmTransfer() override;

    size_t MemoryUse() const override;
    std::string Describe() const override;
    // A RealAudio stream whose whole size is on disk is finished instead.
    int Retry() override;
    void CloseSockets() override;

    int StreamType() const { return m_state.streamType; }
    const RecordingState& State() const { return m_state; }

protected:
    Step OnData(Connection* connection, const char* data, size_t count) override;
    Step OnWritable(Connection* connection) override;
    Step Connect() override;

private:
    // Takes one read; anything but GoOn ends the reading of this connection.
    Step Process(std::string_view bytes);
    Step Handle(const PnaEvent& event);
    Step Packet(const PnaEvent& event);
    // What a writer step returned, as the transfer's Step.
    Step Outcome(int result);
    Step EndOfStream();
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

    ConnectionPtr m_socket;
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
