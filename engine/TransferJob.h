#pragma once
// One running download of one item: the life of an attempt (host lookup, connect,
// receive, time-out), the count of attempts, speed and time left, and the bytes handed to
// the item's target file. Protocols derive from it.

#include "engine/DisplayText.h"
#include "engine/FailureCause.h"
#include "engine/JobHost.h"

#include <QHostInfo>

#include <cstdint>
#include <string>

namespace vireo {

class JobSocket;

// Bits of the job's flag word beyond the item flags it shares.
inline constexpr uint32_t JF_SIZE_LIMITED = 0x4; // finish once bytes reach the known size
inline constexpr uint32_t JF_ACTIVE = 0x20;      // registered with the socket window
inline constexpr uint32_t JF_NO_PROXY = 0x400;   // never go through the proxy
inline constexpr uint32_t JF_HEADER_DONE = 0x100000;
inline constexpr uint32_t JF_HEADER_JUDGED = 0x200000;
inline constexpr uint32_t JF_STREAM = 0x40000;

class TransferJob {
public:
    TransferJob(JobHost* item, std::string host, std::string path, int port);
    virtual ~TransferJob(); // stops the job

    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // The operations protocols override, in this order.
    virtual size_t MemoryUse() const;
    virtual void OnFinished();
    virtual void OnConnected(JobSocket* socket);
    virtual int OnClosed(JobSocket* socket);
    virtual int OnData(JobSocket* socket, const char* data, size_t count);
    virtual int OnWritable(JobSocket* socket);
    virtual int OnAccept(JobSocket* socket);
    virtual std::string Describe() const;
    virtual int Start();
    virtual int Stop();
    virtual int Retry();
    virtual void OnTick();
    virtual void OnHostResolved(const QHostInfo& reply);
    virtual int Connect();
    virtual void CloseSockets();

    // Cuts or extends the target file to n bytes; bytes and receive start become n.
    void SetStartOffset(int64_t n);
    // Stops the job and fails the item with code; returns 0.
    int Fail(int code);
    void Notify(int code, int arg = 0, std::vector<std::string> urls = {});
    void AddRecord(std::string_view text, char kind);
    void ChangeFlags(uint32_t set, uint32_t clear);
    bool HasFlag(uint32_t flag) const { return (m_flags & flag) != 0; }

    int64_t Size() const { return m_size; } // 0 while unknown
    int64_t Bytes() const { return m_bytes; }
    int64_t Speed() const { return m_speed; }
    int Attempts() const { return m_attempts; }
    // Seconds left, or -1 while the size or the speed is unknown.
    int64_t TimeLeft() const { return m_timeLeft; }
    std::string TimeLeftText() const { return FormatTimeLeft(m_timeLeft); }
    int Countdown() const { return m_countdown; }
    uint32_t Flags() const { return m_flags; }
    const std::string& Host() const { return m_host; }
    const std::string& Path() const { return m_path; }
    int Port() const { return m_port; }

    int SlotNumber() const { return m_slot; }
    void SetSlotNumber(int slot) { m_slot = slot; }
    int LookupId() const { return m_lookupId; }

    // Why the current (or, once the job failed, the last) attempt went wrong, and how
    // many attempts were started.
    const FailureCause& Cause() const { return m_cause; }

protected:
    // The time-out in seconds from the setting "timeout".
    static int TimeoutSetting(int fallback);
    // Starts the lookup of the host (or the proxy); 0 when it cannot start.
    int StartLookup();
    void CancelLookup();
    // Names why this attempt failed, in plain words; kind is the error code the words
    // belong to (ErrConnect for a connection that could not be made), if any.
    void NoteCause(std::string_view words, int kind = 0);
    // A connection that could not be made: certificate and TLS failures fail the item at
    // once; anything else ends the attempt when its time-out runs out.
    void OnConnectFailed(JobSocket& socket);
    // Whether this attempt goes through the configured proxy.
    bool UsesProxy() const;
    // The data path without the size limit: appends the block to the target file, counts
    // it and re-arms the time-out. 0 when the write failed (the item has failed then).
    int AppendData(const char* data, size_t count);

    uint32_t m_flags = 0;
    int m_ticks = 0;
    int64_t m_receiveStart = 0;
    int64_t m_timeLeft = -1;
    std::string m_host;
    std::string m_path;
    int m_port;
    int64_t m_speed = 0;
    int m_attempts = 1;
    int64_t m_size = 0;
    int m_slot = -1;
    int64_t m_bytes = 0;
    JobHost* m_item;
    int m_lookupId = -1;
    int m_countdown = -1;
    // The address the lookup found (empty when the name was an address already).
    std::string m_address;
    FailureCause m_cause;
    // The last error line this attempt logged: the cause when nothing named one.
    std::string m_lastErrorLine;
    // This attempt's connection could not be made; it waits for its time-out.
    bool m_connectFailed = false;
};

} // namespace vireo
