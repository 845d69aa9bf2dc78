#pragma once
// The exact lines of a transfer log. Pure text work, no files: TransferLog
// writes what these return.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vireo {

// Record kinds, chosen by the writer of a numbered record.
struct LogKind {
    static constexpr char Notice = '!'; // a step of the transfer
    static constexpr char Error = 'E';  // errors, and hex dumps of unexpected data
    static constexpr char Info = 'I';   // information received
    static constexpr char Out = 'O';    // requests and commands sent
    static constexpr char Data = 'R';   // the data phase has begun
};

// Texts are C strings in the formats below ("%s"): a text stops at its first zero byte.
// Line breaks inside a text are written unchanged.

// "#%d %c %s\r\n"
std::string FormatLogRecord(int number, char kind, std::string_view text);
// "%s\r\n"
std::string FormatLogLine(std::string_view text);
// "#%d %c %s: %s\r\n"
std::string FormatLogField(int number, char kind, std::string_view name, std::string_view text);
// "%s: %s\r\n"
std::string FormatLogFieldLine(std::string_view name, std::string_view text);

// The text of a dump's header record ("dump: " with its trailing space).
inline constexpr std::string_view kDumpHeader = "dump: ";
// A dump of length bytes has length / 16 + 1 rows; the last covers no bytes when length
// is a multiple of 16.
constexpr uint64_t DumpRowCount(uint64_t length) {
    return length / 16 + 1;
}
// One dump row without its line end: "%X " per byte (with a leading 0 below 0x10), then
// the bytes themselves with every byte below 0x20 shown as '.'. No filler on a short row.
std::string FormatDumpRow(const uint8_t* bytes, size_t count);

} // namespace vireo
