#pragma once
// Speed limits on what the program reads from the network. A TokenBucket is one limit
// (pure: the caller gives the time). The ReadGate is asked by every connection before it
// reads: it holds the program's limit (setting "maxspeed", or this run's --limit-rate) and
// one bucket per download with a limit of its own, so that every connection of every
// protocol shares them. A connection over its budget stops reading (what the server sends
// meanwhile waits in the socket buffers, and TCP slows the server down) and is woken by a
// timer once there is budget again.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <string_view>

namespace vireo {

// A rate as people write it: bytes per second, or with k/K (1024) or m/M (1024 * 1024)
// after the number ("500k", "2M", "1.5m"). -1 when the text is no rate.
int64_t ParseRateText(std::string_view text);

class TokenBucket {
public:
    // A rate of 0 is no limit. The bucket starts empty at the time of its first use.
    void SetRate(int64_t bytesPerSecond, int64_t nowNs);
    int64_t Rate() const { return m_rate; }
    bool Limited() const { return m_rate > 0; }
    // The most that can gather while nobody reads: a tenth of a second's worth, so that
    // any ten seconds hold at most 1% above the rate.
    int64_t Capacity() const;
    // Bytes that may be read at nowNs (negative while bytes read beyond it are paid back).
    int64_t Available(int64_t nowNs);
    void Take(int64_t bytes) { m_tokens -= double(bytes); }

private:
    void Refill(int64_t nowNs);

    int64_t m_rate = 0;
    double m_tokens = 0;
    int64_t m_last = 0;
    bool m_started = false;
};

// What the gate wakes: a connection that stopped reading because it was over budget.
class ThrottledReader {
public:
    virtual void ResumeReading() = 0;

protected:
    ~ThrottledReader() = default;
};

class ReadGate : public QObject {
public:
    static constexpr int kWakeMs = 10;

    // Lives to the end of the program.
    static ReadGate& Instance();

    // This run's program-wide limit in bytes per second (0: none); -1 follows "maxspeed".
    void SetRunLimit(int64_t bytesPerSecond) { m_runLimit = bytesPerSecond; }
    // The program-wide limit in force, bytes per second; 0 for none.
    int64_t ProgramLimit();
    // Whether a limit applies to a download whose own limit is groupLimit (bytes/s).
    bool Limits(int64_t groupLimit) { return groupLimit > 0 || ProgramLimit() > 0; }

    // How many of the want bytes waiting on the reader's connection it may read now, for
    // the download group (any pointer naming it) with its own limit groupLimit. 0: none
    // now; the reader is then woken through ResumeReading once there is budget.
    size_t Allow(ThrottledReader* reader, const void* group, int64_t groupLimit, size_t want);
    // Counts bytes read after Allow.
    void Took(const void* group, size_t bytes);
    // The reader is going away: it is woken no more.
    void Forget(ThrottledReader* reader);
    bool IsWaiting(const ThrottledReader* reader) const;

private:
    ReadGate();
    void Wait(ThrottledReader* reader);
    void OnWake();
    static int64_t NowNs();
    // The least worth waking a reader for: small reads cost more than they carry.
    static int64_t MinChunk(const TokenBucket& bucket);

    struct Group {
        TokenBucket bucket;
        int64_t lastUse = 0;
    };

    int64_t m_runLimit = -1;
    int64_t m_settingLimit = 0;
    std::chrono::steady_clock::time_point m_settingRead{};
    TokenBucket m_program;
    std::unordered_map<const void*, Group> m_groups;
    std::vector<ThrottledReader*> m_waiting;
    // The wake round under way: the readers still to be woken, and the one being woken
    // with its share of the program's budget.
    std::vector<ThrottledReader*> m_round;
    size_t m_roundNext = 0;
    ThrottledReader* m_current = nullptr;
    int64_t m_share = 0;
    int64_t m_minShare = 0;
    size_t m_rotation = 0;
    QTimer m_timer;
};

} // namespace vireo
