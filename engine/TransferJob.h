#pragma once
// One running download of one item. This holds what the list shows of a job; the attempt
// machinery builds on it.

#include "engine/DisplayText.h"

#include <cstdint>
#include <string>

namespace vireo {

class TransferJob {
public:
    virtual ~TransferJob() = default;

    int64_t Size() const { return m_size; }   // 0 while unknown
    int64_t Bytes() const { return m_bytes; } // what the target file holds
    int64_t Speed() const { return m_speed; } // bytes per second in this attempt
    int Attempts() const { return m_attempts; }
    // Seconds left, or -1 while the size or the speed is unknown.
    int64_t TimeLeft() const { return m_timeLeft; }
    std::string TimeLeftText() const { return FormatTimeLeft(m_timeLeft); }

protected:
    uint32_t m_flags = 0;
    int64_t m_size = 0;
    int64_t m_bytes = 0;
    int64_t m_speed = 0;
    int64_t m_timeLeft = -1;
    int m_attempts = 1;
};

} // namespace vireo
