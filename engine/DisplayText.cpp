#include "engine/DisplayText.h"

#include <cstdio>

namespace vireo {

namespace {
std::string Clock(int64_t hours, int64_t minutes, int64_t seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds));
    return text;
}
} // namespace

std::string FormatElapsed(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    return Clock(seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::string FormatTimeLeft(int64_t seconds) {
    if (seconds < 0)
        return "-";
    return Clock(seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
}

} // namespace vireo
