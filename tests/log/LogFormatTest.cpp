#include "log/LogFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vireo;
using namespace std::string_literals;

TEST(LogFormat, RecordLinesAreExact) {
    struct Case {
        bool numbered;
        int number;
        char kind;
        std::string text;
        std::string line;
    } cases[] = {
        {true, 1, LogKind::Notice, "finding host example.org", "#1 ! finding host example.org\r\n"},
        {true, 2, LogKind::Error, "timeout", "#2 E timeout\r\n"},
        {true, 3, LogKind::Info, "ra 4.0", "#3 I ra 4.0\r\n"},
        {true, 4, LogKind::Out, "HTTP req: /a.zip, start: 4096",
         "#4 O HTTP req: /a.zip, start: 4096\r\n"},
        {true, 5, LogKind::Data, "receiving data", "#5 R receiving data\r\n"},
        {true, 12, 'O', "", "#12 O \r\n"},
        {true, 2147483647, 'I', "x", "#2147483647 I x\r\n"},
        // A text is written unchanged: its line breaks make several lines in the file.
        {true, 6, 'I', "HTTP/1.1 200 OK\r\nServer: nginx",
         "#6 I HTTP/1.1 200 OK\r\nServer: nginx\r\n"},
        // "%s": a text ends at its first zero byte.
        {true, 7, 'I', "before\0after"s, "#7 I before\r\n"},
        {false, 0, 0, "47 0A FF G.", "47 0A FF G.\r\n"},
        {false, 0, 0, "", "\r\n"},
        {false, 0, 0, "a\nb", "a\nb\r\n"},
        {false, 0, 0, "cut\0here"s, "cut\r\n"},
    };
    for (const Case& c : cases) {
        std::string line =
            c.numbered ? FormatLogRecord(c.number, c.kind, c.text) : FormatLogLine(c.text);
        EXPECT_EQ(line, c.line) << c.text;
    }
}

TEST(LogFormat, FieldLinesAreExact) {
    struct Case {
        bool numbered;
        int number;
        char kind;
        std::string name, text, line;
    } cases[] = {
        {true, 1, 'I', "title", "Morning news", "#1 I title: Morning news\r\n"},
        {true, 9, 'I', "codec", "", "#9 I codec: \r\n"},
        {true, 10, '!', "", "x", "#10 ! : x\r\n"},
        {false, 0, 0, "author", "Tarnwell", "author: Tarnwell\r\n"},
        {false, 0, 0, "", "", ": \r\n"},
        {false, 0, 0, "na\0me"s, "te\0xt"s, "na: te\r\n"},
    };
    for (const Case& c : cases) {
        std::string line = c.numbered ? FormatLogField(c.number, c.kind, c.name, c.text)
                                      : FormatLogFieldLine(c.name, c.text);
        EXPECT_EQ(line, c.line) << c.name;
    }
}

TEST(LogFormat, DumpRowsAreHexThenText) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::string row;
    } cases[] = {
        {{}, ""},
        {{0x47, 0x0A, 0xFF}, "47 0A FF G.\xFF"},
        {{0x0D, 0x0A}, "0D 0A .."},
        {{0x00}, "00 ."},
        {{0x1F, 0x20, 0x21}, "1F 20 21 . !"},
        {{0x7F, 0x80, 0xA0}, "7F 80 A0 \x7F\x80\xA0"},
        {{'a', 'b', 'c', 0x09}, "61 62 63 09 abc."},
        {{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E,
          0x0F},
         "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................"},
        {{'H', 'T', 'T', 'P', '/', '1', '.', '1', ' ', '5', '0', '0', '\r', '\n', 'x', 'y'},
         "48 54 54 50 2F 31 2E 31 20 35 30 30 0D 0A 78 79 HTTP/1.1 500..xy"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDumpRow(c.bytes.data(), c.bytes.size()), c.row) << c.row;
}

TEST(LogFormat, DumpRowCountIsLengthOver16PlusOne) {
    struct Case {
        uint64_t length, rows;
    } cases[] = {{0, 1},
                 {1, 1},
                 {15, 1},
                 {16, 2},
                 {17, 2},
                 {31, 2},
                 {32, 3},
                 {4096, 257},
                 // Lengths past 4 GiB are counted without overflow.
                 {uint64_t(1) << 32, (uint64_t(1) << 28) + 1},
                 {(uint64_t(5) << 32) + 17, (uint64_t(5) << 28) + 2}};
    for (const Case& c : cases)
        EXPECT_EQ(DumpRowCount(c.length), c.rows) << c.length;
}
