#include "engine/RateLimiter.h"

#include "settings/SettingsStore.h"

#include <algorithm>

namespace vireo {

namespace {
constexpr int64_t kNsPerSecond = 1'000'000'000;
// The setting is read again at most this often: reads happen thousands of times a second.
constexpr auto kSettingRefresh = std::chrono::milliseconds(500);
// A download's bucket unused this long is dropped.
constexpr int64_t kGroupIdleNs = 10 * kNsPerSecond;
constexpr int64_t kMaxChunk = 8 * 1024;
} // namespace

int64_t ParseRateText(std::string_view text) {
    double unit = 1;
    if (!text.empty()) {
        char last = text.back();
        if (last == 'k' || last == 'K')
            unit = 1024;
        else if (last == 'm' || last == 'M')
            unit = 1024.0 * 1024.0;
        if (unit != 1)
            text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 20)
        return -1;
    double value = 0, scale = 0;
    for (char c : text) {
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            if (scale != 0)
                value += (c - '0') * (scale /= 10);
            else
                value = value * 10 + (c - '0');
        } else {
            return -1;
        }
    }
    if (text == ".")
        return -1;
    double bytes = value * unit;
    if (bytes > 1e15)
        return -1;
    return int64_t(bytes + 0.5);
}

void TokenBucket::SetRate(int64_t bytesPerSecond, int64_t nowNs) {
    bytesPerSecond = std::max<int64_t>(bytesPerSecond, 0);
    if (bytesPerSecond == m_rate)
        return;
    Refill(nowNs); // what gathered so far gathered at the old rate
    m_rate = bytesPerSecond;
    m_tokens = std::min(m_tokens, double(Capacity()));
}

int64_t TokenBucket::Capacity() const {
    return std::max<int64_t>(m_rate / 10, 64);
}

void TokenBucket::Refill(int64_t nowNs) {
    if (!m_started) {
        m_started = true;
        m_last = nowNs;
        return;
    }
    if (nowNs <= m_last)
        return;
    m_tokens += double(nowNs - m_last) * double(m_rate) / double(kNsPerSecond);
    m_tokens = std::min(m_tokens, double(Capacity()));
    m_last = nowNs;
}

int64_t TokenBucket::Available(int64_t nowNs) {
    Refill(nowNs);
    return int64_t(m_tokens);
}

ReadGate& ReadGate::Instance() {
    // Never destroyed: sockets may forget themselves after static destruction began.
    static ReadGate* gate = new ReadGate;
    return *gate;
}

ReadGate::ReadGate() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kWakeMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { OnWake(); });
}

int64_t ReadGate::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ReadGate::MinChunk(const TokenBucket& bucket) {
    return std::min(bucket.Capacity() / 2, kMaxChunk);
}

int64_t ReadGate::ProgramLimit() {
    if (m_runLimit >= 0)
        return m_runLimit;
    auto now = std::chrono::steady_clock::now();
    if (m_settingRead == std::chrono::steady_clock::time_point{} ||
        now - m_settingRead >= kSettingRefresh) {
        m_settingRead = now;
        m_settingLimit = int64_t(std::max(Settings().GetInt(keys::MaxSpeed), 0)) * 1024;
    }
    return m_settingLimit;
}

size_t ReadGate::Allow(ThrottledReader* reader, const void* group, int64_t groupLimit,
                       size_t want) {
    if (want == 0)
        return 0;
    const int64_t now = NowNs();
    m_program.SetRate(ProgramLimit(), now);
    const bool current = reader == m_current;
    if (!current && IsWaiting(reader))
        return 0; // its turn comes with the timer
    int64_t allowed = int64_t(want);
    if (m_program.Limited()) {
        // Readers queued for the program's budget go first, in turns.
        if (!current && (!m_waiting.empty() || m_roundNext < m_round.size())) {
            Wait(reader);
            return 0;
        }
        int64_t budget = m_program.Available(now);
        int64_t least = MinChunk(m_program);
        if (current) {
            budget = std::min(budget, m_share);
            least = std::min(least, m_minShare);
        }
        if (budget < allowed && budget < std::max<int64_t>(least, 1)) {
            Wait(reader);
            return 0;
        }
        allowed = std::min(allowed, budget);
    }
    if (groupLimit > 0) {
        Group& g = m_groups[group];
        g.bucket.SetRate(groupLimit, now);
        g.lastUse = now;
        int64_t budget = g.bucket.Available(now);
        if (budget < allowed && budget < std::max<int64_t>(MinChunk(g.bucket), 1)) {
            Wait(reader);
            return 0;
        }
        allowed = std::min(allowed, budget);
    }
    return size_t(std::max<int64_t>(allowed, 0));
}

void ReadGate::Took(const void* group, size_t bytes) {
    if (m_program.Limited())
        m_program.Take(int64_t(bytes));
    if (m_current)
        m_share -= int64_t(bytes);
    if (auto it = m_groups.find(group); it != m_groups.end() && it->second.bucket.Limited())
        it->second.bucket.Take(int64_t(bytes));
}

void ReadGate::Wait(ThrottledReader* reader) {
    if (!IsWaiting(reader))
        m_waiting.push_back(reader);
    if (!m_timer.isActive())
        m_timer.start();
}

bool ReadGate::IsWaiting(const ThrottledReader* reader) const {
    return std::find(m_waiting.begin(), m_waiting.end(), reader) != m_waiting.end();
}

void ReadGate::Forget(ThrottledReader* reader) {
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), reader), m_waiting.end());
    std::replace(m_round.begin(), m_round.end(), reader, static_cast<ThrottledReader*>(nullptr));
    if (m_current == reader)
        m_current = nullptr;
}

void ReadGate::OnWake() {
    if (m_waiting.empty()) {
        m_timer.stop();
        const int64_t now = NowNs();
        for (auto it = m_groups.begin(); it != m_groups.end();)
            it = now - it->second.lastUse > kGroupIdleNs ? m_groups.erase(it) : std::next(it);
        return;
    }
    if (!m_round.empty())
        return; // a reader's call is still on its way out of the last round
    m_round.swap(m_waiting);
    // Whoever went first last time goes later now.
    std::rotate(m_round.begin(), m_round.begin() + long(m_rotation++ % m_round.size()),
                m_round.end());
    for (m_roundNext = 0; m_roundNext < m_round.size();) {
        ThrottledReader* reader = m_round[m_roundNext++];
        if (!reader)
            continue;
        // What the program's budget holds now is split between the readers still to
        // come; whatever one of them leaves passes to the next.
        const int64_t now = NowNs();
        m_program.SetRate(ProgramLimit(), now);
        const int64_t left = int64_t(m_round.size() - m_roundNext + 1);
        m_share = std::max<int64_t>(m_program.Available(now), 0) / left;
        m_minShare = m_program.Capacity() / left;
        m_current = reader;
        reader->ResumeReading();
        m_current = nullptr;
    }
    m_round.clear();
    m_roundNext = 0;
}

} // namespace vireo
