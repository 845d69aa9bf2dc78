#include "history/HistoryEntry.h"

#include "common/Endian.h"

#include <cstdio>
#include <ctime>

namespace vireo {

HistoryTime HistoryTime::Now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    HistoryTime t;
    t.year = uint16_t(local.tm_year + 1900);
    t.month = uint8_t(local.tm_mon + 1);
    t.day = uint8_t(local.tm_mday);
    t.hour = uint8_t(local.tm_hour);
    t.minute = uint8_t(local.tm_min);
    t.second = uint8_t(local.tm_sec);
    return t;
}

void HistoryTime::Write(uint8_t* p) const {
    WriteLE16(p, year);
    p[2] = month;
    p[3] = day;
    p[4] = hour;
    p[5] = minute;
    p[6] = second;
    p[7] = 0;
}

HistoryTime HistoryTime::Read(const uint8_t* p) {
    HistoryTime t;
    t.year = ReadLE16(p);
    t.month = p[2];
    t.day = p[3];
    t.hour = p[4];
    t.minute = p[5];
    t.second = p[6];
    return t;
}

std::string FormatHistoryDate(const HistoryTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d.%.2d.%d", int(time.month), int(time.day),
                  int(time.year));
    return text;
}

} // namespace vireo
