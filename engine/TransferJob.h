#pragma once
// One running download of one item: the life of an attempt (host lookup, connect,
// receive, time-out), the count of attempts, speed and time left, and the bytes handed to
// the item's target file. Protocols derive from it.
//
// Events (a connection's, the tick, a lookup's reply) come in through the Handle...
// calls. Each asks the protocol's handler, which returns what happened as a Step, and
// the job acts on that Step once the handler has returned: retrying, failing, finishing
// and restarting happen in one place (Act). A job the item lets go of is freed later by
// the socket window, never inside one of its own calls.

#include "engine/Connection.h"
#include "engine/DisplayText.h"
#include "engine/FailureCause.h"
#include "engine/JobHost.h"

#include <QHostInfo>
#include <QLoggingCategory>

#include <cstdint>
#include <string>
#include <vector>

namespace vireo {

// The phases of an attempt, traced (never into the transfer log).
Q_DECLARE_LOGGING_CATEGORY(lcAttempt)

// Bits of the job's flag word beyond the item flags it shares. Protocols keep bits of
// their own next to their transfer.
inline constexpr uint32_t JF_SIZE_LIMITED = 0x4; // finish once bytes reach the known size
inline constexpr uint32_t JF_ACTIVE = 0x20;      // registered with the socket window
inline constexpr uint32_t JF_NO_PROXY = 0x400;   // never go through the proxy

// What a handler did, for the job to act on after the handler returned.
struct Step {
    enum class Kind {
        GoOn,      // nothing to do: the transfer goes on
        Hold,      // stop reading this connection; the job waits (its countdown runs)
        Retry,     // this attempt ends; the next one starts (or the attempts are used up)
        StartOver, // a new attempt from the current offset that is no failed attempt
        Fail,      // the item fails with code
        Finish,    // the file is whole
        Restart,   // the item starts again at url (a redirect, a metafile)
        Ended,     // the item was told already (a write failed): the job only stops
    };
    Kind kind = Kind::GoOn;
    int code = 0;
    std::string url;

    static Step GoOn() { return {}; }
    static Step Hold() { return Of(Kind::Hold); }
    static Step Retry() { return Of(Kind::Retry); }
    static Step StartOver() { return Of(Kind::StartOver); }
    static Step Fail(int code) { return Of(Kind::Fail, code); }
    static Step Finish() { return Of(Kind::Finish); }
    static Step Restart(std::string url) { return Of(Kind::Restart, 0, std::move(url)); }
    static Step Ended() { return Of(Kind::Ended); }
    static Step Of(Kind kind, int code = 0, std::string url = {}) {
        Step step;
        step.kind = kind;
        step.code = code;
        step.url = std::move(url);
        return step;
    }
    bool GoesOn() const { return kind == Kind::GoOn; }
};

class TransferJob {
public:
    enum class AttemptState { Idle, Resolving, Connecting, Talking, Receiving };

    // Seconds an address has to answer before the next address of the host is tried (at
    // most the attempt's time-out). The last address has the attempt's time-out.
    static constexpr int kAddressWindow = 5;

    TransferJob(JobHost* item, std::string host, std::string path, int port);
    virtual ~TransferJob(); // stops the job

    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // Where connections and lookups come from; the network unless a test says otherwise.
    void SetConnector(Connector* connector) { m_connector = connector; }

    // The events. Each runs the handler and acts on its Step.
    void HandleConnected(Connection* connection); // connected, or failed to
    // False when the connection is to be read no further.
    bool HandleData(Connection* connection, const char* data, size_t count);
    // How many of the next bytes on the connection go to the end of the file just as
    // they come (no header, coding or listing in them); 0 for none. Such bytes may come
    // through HandlePiped instead of HandleData.
    int64_t PlainBytes(Connection* connection) const;
    // count bytes of the connection, no more than PlainBytes allowed, wait in the pipe;
    // false when the connection is to be read no further. The pipe may still hold bytes
    // then.
    bool HandlePiped(Connection* connection, int pipeFd, size_t count);
    void HandleClosed(Connection* connection);
    void HandleWritable(Connection* connection);
    void HandleAccept(Connection* listener);
    void HandleResolved(const QHostInfo& reply);
    // The one-second tick: speed, time left and the attempt's countdown.
    void HandleTick();
    // Whether one of the job's calls is on the stack (it must not be freed then).
    bool InCall() const { return m_calls > 0; }

    virtual size_t MemoryUse() const;
    virtual std::string Describe() const;
    // For a download made of parts whose count is known (a recorded playlist): parts done
    // and parts in all; total 0 for every other download.
    struct Parts {
        int done = 0;
        int total = 0;
    };
    virtual Parts PartsDone() const { return {}; }
    virtual int Start();
    virtual int Stop();
    virtual int Retry();
    virtual void CloseSockets();
    // The file is whole: finishes the item (after the protocol's last look at it).
    void OnFinished();

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
    AttemptState StateOfAttempt() const { return m_state; }
    // The item the job serves (its connections share the item's speed limit).
    JobHost* Item() const { return m_item; }

    int SlotNumber() const { return m_slot; }
    void SetSlotNumber(int slot) { m_slot = slot; }
    int LookupId() const { return m_lookupId; }

    // Why the current (or, once the job failed, the last) attempt went wrong, and how
    // many attempts were started.
    const FailureCause& Cause() const { return m_cause; }

protected:
    // The handlers protocols override. None of them retries, fails or finishes by itself:
    // they say so in the Step they return.
    virtual Step OnConnected(Connection* connection);
    virtual Step OnClosed(Connection* connection);
    // The data path: the block goes to the file; finishes once the size is reached.
    virtual Step OnData(Connection* connection, const char* data, size_t count);
    // What PlainBytes says for the protocol; bytes it allows take the path of
    // TransferJob::OnData.
    virtual int64_t PlainBytesOn(const Connection*) const { return 0; }
    // The bytes PlainBytesOn allowed, waiting in the pipe: by default appended to the
    // file as TransferJob::OnData appends a block.
    virtual Step OnPiped(Connection* connection, int pipeFd, size_t count);
    virtual Step OnWritable(Connection* connection);
    virtual Step OnAccept(Connection* listener);
    virtual Step OnHostResolved(const QHostInfo& reply);
    // Opens the attempt's connection to m_address. Called again, within the attempt, for
    // each further address of the host when one cannot be reached.
    virtual Step Connect();
    // Every tick, after the speed and before the countdown: for connections of the
    // protocol's own beside the attempt's.
    virtual Step OnTick() { return Step::GoOn(); }
    // The protocol's last look before the item finishes: Finish, or what to do instead.
    virtual Step BeforeFinish() { return Step::Finish(); }

    // Acts on what a handler returned.
    void Act(const Step& step);
    void SetAttemptState(AttemptState state);
    Connector& Connections() const { return *m_connector; }
    // The time-out in seconds from the setting "timeout".
    static int TimeoutSetting(int fallback);
    // Starts the lookup of the host (or the proxy); 0 when it cannot start.
    int StartLookup();
    void CancelLookup();
    // Names why this attempt failed, in plain words; kind is the error code the words
    // belong to (ErrConnect for a connection that could not be made), if any.
    void NoteCause(std::string_view words, int kind = 0);
    // One of several fetches the job runs at once went wrong, the others going on: notes
    // why (see NoteCause) and spends one of the item's attempts. Fail (ErrAttempts) once
    // they are used up.
    Step SpendAttempt(std::string_view why, int kind = 0);
    // A connection that could not be made: certificate and TLS failures fail the item at
    // once; anything else ends the attempt when its time-out runs out.
    Step OnConnectFailed(Connection& connection);
    // Whether this attempt goes through the configured proxy.
    bool UsesProxy() const;
    // Connects to m_address, with the time it has to answer.
    Step ConnectAddress();
    // m_address could not be reached and the host has another address: connects there.
    Step NextAddress();
    bool HasNextAddress() const { return m_addressIndex + 1 < m_addresses.size(); }
    // The data path without the size limit: appends the block to the target file, counts
    // it and re-arms the time-out. 0 when the write failed (the item has failed then).
    int AppendData(const char* data, size_t count);
    int AppendFromPipe(int pipeFd, size_t count);
    void BeginReceiving();
    void Received(size_t count);

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
    // The address this attempt connects to: one of m_addresses, in the resolver's order.
    std::string m_address;
    // Every address of the host (or the proxy) this attempt may try; one when the name
    // was an address already.
    std::vector<std::string> m_addresses;
    size_t m_addressIndex = 0;
    FailureCause m_cause;
    // The last error line this attempt logged: the cause when nothing named one.
    std::string m_lastErrorLine;
    // This attempt's connection could not be made; it waits for its time-out.
    bool m_connectFailed = false;

private:
    // Marks a call of the job's own as running while it is on the stack.
    class CallScope;
    // The item finishes now, with no further look by the protocol.
    void Finished();

    AttemptState m_state = AttemptState::Idle;
    Connector* m_connector;
    int m_calls = 0;
};

} // namespace vireo
