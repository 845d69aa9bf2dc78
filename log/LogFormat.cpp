#include "log/LogFormat.h"

#include "common/Hex.h"

namespace vireo {

namespace {
// What "%s" takes of a text: everything before its first zero byte.
std::string_view CText(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

void AppendNumber(std::string& out, int number) {
    out += std::to_string(number);
}
} // namespace

std::string FormatLogRecord(int number, char kind, std::string_view text) {
    text = CText(text);
    std::string line;
    line.reserve(text.size() + 16);
    line += '#';
    AppendNumber(line, number);
    line += ' ';
    line += kind;
    line += ' ';
    line += text;
    line += "\r\n";
    return line;
}

std::string FormatLogLine(std::string_view text) {
    text = CText(text);
    std::string line;
    line.reserve(text.size() + 2);
    line += text;
    line += "\r\n";
    return line;
}

std::string FormatLogField(int number, char kind, std::string_view name, std::string_view text) {
    name = CText(name);
    text = CText(text);
    std::string line;
    line.reserve(name.size() + text.size() + 18);
    line += '#';
    AppendNumber(line, number);
    line += ' ';
    line += kind;
    line += ' ';
    line += name;
    line += ": ";
    line += text;
    line += "\r\n";
    return line;
}

std::string FormatLogFieldLine(std::string_view name, std::string_view text) {
    name = CText(name);
    text = CText(text);
    std::string line;
    line.reserve(name.size() + text.size() + 4);
    line += name;
    line += ": ";
    line += text;
    line += "\r\n";
    return line;
}

std::string FormatDumpRow(const uint8_t* bytes, size_t count) {
    std::string row;
    row.reserve(count * 4);
    for (size_t i = 0; i < count; ++i) {
        AppendHexByte(row, bytes[i]);
        row += ' ';
    }
    for (size_t i = 0; i < count; ++i)
        row += bytes[i] < 0x20 ? '.' : char(bytes[i]);
    return row;
}

} // namespace vireo
