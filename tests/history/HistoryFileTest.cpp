#include "history/HistoryFile.h"
#include "HistoryBytes.h"
#include "common/Hex.h"

#include <gtest/gtest.h>

#include <random>

using namespace vireo;
using namespace vireo::test;

namespace {

HistoryTime Day(int day, int hour = 10, int minute = 0, int second = 0) {
    return {1998, 12, uint8_t(day), uint8_t(hour), uint8_t(minute), uint8_t(second)};
}

ByteBuffer FromHex(const std::string& hex) {
    ByteBuffer b;
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        b.AppendByte(uint8_t(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1])));
        i += 2;
    }
    return b;
}

std::string Hex(const ByteBuffer& b) {
    std::string text;
    for (size_t i = 0; i < b.Size(); ++i) {
        text += i ? " " : "";
        AppendHexByte(text, b[i]);
    }
    return text;
}

ByteBuffer Bytes(const HistoryFile& f) {
    ByteBuffer b;
    EXPECT_TRUE(f.Serialize(b));
    return b;
}

// Three records over two days: the file the damage tests start from.
ByteBuffer ThreeRecords() {
    return BuildHistory({{Day(7, 9), "a.zip", "http://example.org/a.zip"},
                         {Day(7, 11), "b.ra", "pnm://example.org/b.ra"},
                         {Day(8, 8), "index.html", "http://example.org/"}},
                        {{Day(7, 9), 2}, {Day(8, 8), 1}});
}

} // namespace

TEST(HistoryFile, FreshFileIsExactly36Bytes) {
    ByteBuffer b = Bytes(HistoryFile::Fresh(Day(8, 10, 20, 30)));
    // magic "hi!!", 0 records, length 36, index at 16; 1 group: 8 Dec 1998 10:20:30, 16, 0
    EXPECT_EQ(Hex(b), Hex(FromHex("68 69 21 21 00 00 00 00 24 00 00 00 10 00 00 00"
                                  "01 00 00 00 CE 07 0C 08 0A 14 1E 00 10 00 00 00 00 00 00 00")));
}

TEST(HistoryFile, OneRecordIsLaidOutLittleEndian) {
    HistoryFile f = HistoryFile::Fresh(Day(8, 10, 20, 30));
    f.Add(Day(8, 10, 21, 5), "a.ra", "pnm://h/a.ra");
    ByteBuffer b = Bytes(f);
    EXPECT_EQ(Hex(b), Hex(FromHex("68 69 21 21 01 00 00 00 40 00 00 00 2C 00 00 00"
                                  // record: 8 Dec 1998 10:21:05, "a.ra", "pnm://h/a.ra"
                                  "CE 07 0C 08 0A 15 05 00 04 00 61 2E 72 61"
                                  "0C 00 70 6E 6D 3A 2F 2F 68 2F 61 2E 72 61"
                                  // index: 1 group created 10:20:30, offset 16, 1 record
                                  "01 00 00 00 CE 07 0C 08 0A 14 1E 00 10 00 00 00 01 00 00 00")));
    EXPECT_EQ(b.Size(), 16u + 12 + 4 + 12 + 4 + 16);
}

TEST(HistoryFile, WellFormedFilesParseAndWriteBackUnchanged) {
    std::vector<ByteBuffer> files = {
        ThreeRecords(),
        BuildHistory({}, {{Day(1), 0}}),
        BuildHistory({}, {}),
        BuildHistory({{Day(2), "", ""}}, {{Day(1), 0}, {Day(2), 1}, {Day(3), 0}}),
        BuildHistory({{Day(2), std::string(65535, 'f'), std::string(65535, 'u')}}, {{Day(2), 1}}),
    };
    for (const ByteBuffer& bytes : files) {
        ASSERT_EQ(DecodeHistory(bytes).error, "");
        HistoryFile f;
        ASSERT_EQ(HistoryFile::Parse(bytes, f), HistoryFile::ParseResult::Ok) << bytes.Size();
        EXPECT_EQ(Bytes(f), bytes);
    }
}

TEST(HistoryFile, DamagedFilesAreTooShortOrInvalid) {
    using R = HistoryFile::ParseResult;
    const ByteBuffer good = ThreeRecords();
    const size_t index = ReadLE32(good.Data() + 12);
    struct Case {
        const char* what;
        size_t at;      // where to patch (npos: patch nothing)
        uint32_t value; // little-endian 32-bit value written there
        R result;
    } cases[] = {
        {"magic", 0, 0x21216969, R::Invalid},
        {"record count too high", 4, 4, R::Invalid},
        {"record count too low", 4, 2, R::Invalid},
        {"length too high", 8, uint32_t(good.Size() + 1), R::Invalid},
        {"length too low", 8, uint32_t(good.Size() - 1), R::Invalid},
        {"index offset 0", 12, 0, R::Invalid},
        {"index offset inside a record", 12, uint32_t(index - 1), R::Invalid},
        {"index offset after the index", 12, uint32_t(index + 1), R::Invalid},
        {"index offset past the end", 12, 0xFFFFFFF0, R::Invalid},
        {"group count too high", index, 3, R::Invalid},
        {"group count huge", index, 0xFFFFFFFF, R::Invalid},
        {"group count too low", index, 1, R::Invalid},
        {"first group offset", index + 4 + 8, 17, R::Invalid},
        {"second group offset", index + 20 + 8, 16, R::Invalid},
        {"group record count", index + 4 + 12, 3, R::Invalid},
        {"group record count huge", index + 20 + 12, 0xFFFFFFFF, R::Invalid},
        // A file name length that runs into the next record, then past the index.
        {"file name length", 16 + 8, 0x00FF | (24u << 16), R::Invalid},
        {"file name length huge", 16 + 8, 0xFFFF | (24u << 16), R::Invalid},
    };
    for (const Case& c : cases) {
        ByteBuffer bytes = good;
        WriteLE32(bytes.Data() + c.at, c.value);
        HistoryFile f;
        EXPECT_EQ(HistoryFile::Parse(bytes, f), c.result) << c.what;
    }

    // Cut short at every length, and lengthened.
    for (size_t n = 0; n < good.Size(); ++n) {
        HistoryFile f;
        EXPECT_EQ(HistoryFile::Parse(good.Data(), n, f), n < 16 ? R::TooShort : R::Invalid) << n;
    }
    ByteBuffer longer = good;
    longer.Append("junk");
    HistoryFile f;
    EXPECT_EQ(HistoryFile::Parse(longer, f), R::Invalid);
    // Extra bytes after the index, with the header's length made to match.
    WriteLE32(longer.Data() + 8, uint32_t(longer.Size()));
    EXPECT_EQ(HistoryFile::Parse(longer, f), R::Invalid);
}

TEST(HistoryFile, DisplayReadingStopsAtTheDamage) {
    const ByteBuffer good = ThreeRecords();
    const std::vector<FileRecord> all = DecodeHistory(good).records;
    // Record ends: 16 + 12 + 5 + 24 = 57, + 12 + 4 + 22 = 95, + 12 + 10 + 19 = 136.
    const size_t ends[] = {57, 95, 136};
    for (size_t n = 0; n <= good.Size(); ++n) {
        // Exactly the bytes [0, n) exist; a copy makes any read past them visible to ASan.
        std::vector<uint8_t> cut(good.Data(), good.Data() + n);
        std::vector<HistoryEntry> read = HistoryFile::ReadRecords(cut.data(), cut.size());
        size_t whole = 0;
        for (size_t end : ends)
            whole += (n >= 16 && end <= n) ? 1 : 0;
        ASSERT_EQ(read.size(), whole) << n;
        for (size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].file, all[i].file);
            EXPECT_EQ(read[i].url, all[i].url);
            EXPECT_EQ(read[i].time, all[i].time);
        }
    }
    ByteBuffer noMagic = good;
    noMagic[0] = 'H';
    EXPECT_TRUE(HistoryFile::ReadRecords(noMagic.Data(), noMagic.Size()).empty());
    // The walk ends at the header's index offset, never in the index.
    ByteBuffer early = good;
    WriteLE32(early.Data() + 12, 95);
    EXPECT_EQ(HistoryFile::ReadRecords(early.Data(), early.Size()).size(), 2u);
    WriteLE32(early.Data() + 12, 94);
    EXPECT_EQ(HistoryFile::ReadRecords(early.Data(), early.Size()).size(), 1u);
}

TEST(HistoryFile, RandomDamageNeverReadsOutsideTheFile) {
    const ByteBuffer good = ThreeRecords();
    std::mt19937 rng(1998);
    for (int round = 0; round < 5000; ++round) {
        std::vector<uint8_t> bytes(good.Data(), good.Data() + good.Size());
        int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 3 == 0)
            bytes.resize(rng() % (bytes.size() + 1));
        if (bytes.size() >= 12 && rng() % 2 == 0)
            WriteLE32(bytes.data() + 8, uint32_t(bytes.size())); // get past the length check
        HistoryFile f;
        if (HistoryFile::Parse(bytes.data(), bytes.size(), f) == HistoryFile::ParseResult::Ok) {
            // Whatever is accepted is consistent: it writes back as a well-formed file of
            // the same size (only the timestamps' pad bytes may differ: they are ignored
            // when read and written as 0).
            ByteBuffer again;
            ASSERT_TRUE(f.Serialize(again));
            EXPECT_EQ(DecodeHistory(again).error, "");
            ASSERT_EQ(again.Size(), bytes.size());
            for (size_t i = 0; i < bytes.size(); ++i) {
                if (again[i] != bytes[i]) {
                    EXPECT_EQ(again[i], 0) << "byte " << i;
                }
            }
        }
        HistoryFile::ReadRecords(bytes.data(), bytes.size());
    }
}

TEST(HistoryFile, DatesShowMonthDayYear) {
    struct Case {
        HistoryTime time;
        const char* text;
    } cases[] = {{{1998, 12, 8, 0, 0, 0}, "12.08.1998"},
                 {{2024, 1, 31, 23, 59, 59}, "01.31.2024"},
                 {{5, 1, 1, 0, 0, 0}, "01.01.5"},
                 {{0, 0, 0, 0, 0, 0}, "00.00.0"},
                 {{65535, 255, 255, 0, 0, 0}, "255.255.65535"}};
    for (const Case& c : cases)
        EXPECT_EQ(FormatHistoryDate(c.time), c.text);
}
