#pragma once
// Texts of the list's time columns.

#include <cstdint>
#include <string>

namespace vireo {

// H:MM:SS with the hours unbounded (3725 -> "1:02:05", 36000 -> "10:00:00").
std::string FormatElapsed(int64_t seconds);
// H:MM:SS with the hours of the day (25 hours -> "1:00:00"); "-" for a negative
// (unknown) estimate.
std::string FormatTimeLeft(int64_t seconds);

} // namespace vireo
