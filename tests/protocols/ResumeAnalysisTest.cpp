// Where an interrupted recording continues: the resume point of a partial file, what it
// restores, and that a recording cut anywhere and resumed equals one never cut.
#include "protocols/ResumeAnalysis.h"
#include "MemoryRecording.h"
#include "PnaBytes.h"
#include "protocols/RealMediaWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vireo;
using namespace vireo::test;

namespace {
std::string Block(int i, size_t size = 240) {
    std::string b(size, '\0');
    for (size_t k = 0; k < size; ++k)
        b[k] = char((i * 131 + k * 7 + (k * k) % 11) & 0xFF);
    return b;
}

struct Recording {
    MemoryRecording rec;
    RecordingState state;
    RealMediaWriter writer{rec, state};

    int64_t Resume(const std::string& file) {
        rec.file = file;
        rec.bytes = int64_t(file.size());
        return ResumeAnalysis(rec, state).Run();
    }
};

// A RealAudio recording of blocks [0, count).
std::string RealAudioFile(const std::string& header, int count, size_t blockSize = 240) {
    Recording r;
    r.state.streamType = 11;
    r.writer.RealAudioHeader(header, 8);
    for (int i = 0; i < count; ++i)
        r.writer.RealAudioBlock(Block(i, blockSize));
    r.writer.FinalPatch();
    return r.rec.file;
}

struct MediaPacket {
    uint32_t ts;
    uint16_t stream;
    uint8_t flags;
    std::string payload;
};

// Two streams, a key frame every fourth packet of stream 0 and every sixth of stream 1.
std::vector<MediaPacket> MediaStream(int count) {
    std::vector<MediaPacket> packets;
    for (int i = 0; i < count; ++i) {
        uint16_t stream = i % 3 == 2 ? 1 : 0;
        uint8_t flags = (stream == 0 ? i % 4 == 0 : i % 6 == 2) ? 2 : 0;
        packets.push_back({uint32_t(i * 40), stream, flags, Block(i, 30 + i % 17)});
    }
    return packets;
}

std::vector<std::string> MediaHeader(uint16_t flags = 0) {
    return {PropChunk(4000, flags), MdprChunk(0, "audio/x-pn-realaudio"),
            MdprChunk(1, "video/x-pn-realvideo", Be32(34) + "VIDORV10")};
}

void Feed(Recording& r, const std::vector<MediaPacket>& packets, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        r.writer.RealMediaPacket(
            {packets[i].ts, packets[i].stream, packets[i].flags, packets[i].payload});
}

std::string MediaFile(const std::vector<MediaPacket>& packets, size_t count) {
    Recording r;
    r.state.streamType = 20;
    std::vector<std::string> chunks = MediaHeader();
    r.writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
    Feed(r, packets, 0, count);
    r.writer.FinalPatch();
    return r.rec.file;
}
} // namespace

TEST(ResumeAnalysis, FilesThatCannotBeContinuedStartOver) {
    std::string v3 = RaV3Header({"t", "", "", ""});
    std::string v4ZeroBlocks = RaV4Header({}, 100000, 0);
    std::string v2 = v3;
    v2[5] = 2;
    std::string noData = MediaFile(MediaStream(4), 4);
    noData.replace(noData.find("DATA"), 4, "XXXX");
    std::string zeroSize = MediaFile(MediaStream(4), 4);
    zeroSize.replace(zeroSize.find("PROP") + 4, 4, Be32(0));
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"RealAudio below 1024 bytes", RealAudioFile(v3, 3)},
        {"exactly five blocks of data", RealAudioFile(v3, 5)},
        {"block size 0", v4ZeroBlocks + std::string(2000, 'x')},
        {"unknown RealAudio version", v2 + std::string(2000, 'x')},
        {"not a recording", std::string(4000, 'x')},
        {"empty", ""},
        {"RealMedia without DATA", noData},
        {"RealMedia chunk of size 0", zeroSize},
    };
    for (const Case& c : cases) {
        Recording r;
        EXPECT_EQ(r.Resume(c.file), ResumeAnalysis::kStartOver) << c.what;
        EXPECT_FALSE(r.rec.catchingUp) << c.what;
    }
}

TEST(ResumeAnalysis, RateTable) {
    const std::pair<uint32_t, uint32_t> table[] = {
        {4933, 5000},   {8444, 8500},   {8979, 16000},  {17972, 32000}, {11250, 20000},
        {8550, 15200},  {44970, 79900}, {45000, 80000}, {22480, 40000}, {22500, 40000},
        {12000, 12000}, {8000, 8000},   {0, 0}};
    for (auto [in, out] : table)
        EXPECT_EQ(ResumeAnalysis::CorrectedRate(in), out) << in;
}

TEST(ResumeAnalysis, RealAudioSeeksFiveBlocksBeforeTheEndAndKeepsTheLastSignatures) {
    // At 8000 bit/s in tenths of a second: position = bytes * 80 / 8000.
    struct Case {
        std::string header;
        int blocks;
        int64_t position;
    } cases[] = {{RaV3Header({"a", "b", "c", "d"}), 20, 15 * 240 * 80 / 8000},
                 {RaV3Header(), 40, 35 * 240 * 80 / 8000},
                 {RaV4Header({"t", "", "", "x"}), 40, (35 * 240 - 16) * 80 / 8000}};
    for (const Case& c : cases) {
        Recording r;
        std::string file = RealAudioFile(c.header, c.blocks);
        EXPECT_EQ(r.Resume(file), c.position) << c.blocks;
        EXPECT_TRUE(r.rec.catchingUp);
        EXPECT_EQ(r.rec.file, file); // nothing cut
        size_t kept = std::min(c.blocks, 32);
        ASSERT_EQ(r.state.signatures.size(), kept);
        EXPECT_EQ(r.state.signatures.back(), Signature::OfBlock(240, Block(c.blocks - 1)));
        EXPECT_EQ(r.state.signatures.front(), Signature::OfBlock(240, Block(c.blocks - kept)));
    }
}

TEST(ResumeAnalysis, LiveRealAudioContinuesAtTheEnd) {
    Recording v3;
    EXPECT_EQ(v3.Resume(RealAudioFile(RaV3Header({"", "", "", "Live"}), 10)), 0);
    EXPECT_EQ(v3.state.packets, 10u); // the final patch of a 3.0 file counts on them
    EXPECT_TRUE(v3.rec.live);
    EXPECT_TRUE(v3.rec.catchingUp);
    Recording v4;
    EXPECT_EQ(v4.Resume(RealAudioFile(RaV4Header({"", "", "", "live"}), 10)), 0);
    EXPECT_TRUE(v4.rec.live);
    EXPECT_TRUE(v4.rec.catchingUp);
}

// The server answers a seek by starting at the block that holds the position.
TEST(ResumeAnalysis, RealAudioCutAnywhereAndResumedEqualsAnUncutRecording) {
    struct Case {
        std::string header;
        size_t blockSize;
    } cases[] = {{RaV3Header({"t", "", "", ""}), 240}, {RaV4Header({}, 0x7FFFFFFF, 20), 20}};
    for (const Case& c : cases) {
        const int total = 120;
        std::string whole = RealAudioFile(c.header, total, c.blockSize);
        for (int cut : {60, 90, 119}) {
            SCOPED_TRACE(cut);
            Recording r;
            int64_t position = r.Resume(RealAudioFile(c.header, cut, c.blockSize));
            ASSERT_GT(position, 0);
            int64_t from = position * 8000 / 80 / int64_t(c.blockSize);
            ASSERT_LT(from, cut);
            r.state.seekPosition = uint32_t(position);
            r.state.streamType = 11;
            r.writer.RealAudioHeader(c.header, 8);
            for (int i = int(from); i < total; ++i)
                r.writer.RealAudioBlock(Block(i, c.blockSize));
            r.writer.FinalPatch();
            EXPECT_EQ(r.rec.file, whole);
            EXPECT_FALSE(r.rec.catchingUp);
        }
    }
}

TEST(ResumeAnalysis, RealMediaCutAnywhereAndResumedEqualsAnUncutRecording) {
    std::vector<MediaPacket> packets = MediaStream(60);
    std::string whole = MediaFile(packets, packets.size());
    for (size_t cut : {13, 30, 59}) {
        for (bool patched : {true, false}) {
            SCOPED_TRACE(std::to_string(cut) + (patched ? " patched" : " unpatched"));
            std::string partial = MediaFile(packets, cut);
            if (!patched) {
                // Killed before the final patch, in the middle of a packet.
                partial = partial.substr(0, partial.find("INDX") - 5);
                partial.replace(partial.find("PROP") + 38, 4, Be32(0));
            }
            Recording r;
            int64_t position = r.Resume(partial);
            ASSERT_GT(position, 0);
            EXPECT_TRUE(r.rec.catchingUp);
            EXPECT_EQ(r.rec.file.find("INDX"), std::string::npos);
            // The server starts at the key frame of that time.
            size_t from = 0;
            while (packets[from].ts < position)
                ++from;
            EXPECT_LT(from, cut);
            EXPECT_TRUE(packets[from].flags & 2);
            r.state.streamType = 20;
            std::vector<std::string> chunks = MediaHeader();
            r.writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
            Feed(r, packets, from, packets.size());
            r.writer.FinalPatch();
            EXPECT_FALSE(r.rec.catchingUp);
            EXPECT_EQ(r.rec.file, whole);
        }
    }
}

TEST(ResumeAnalysis, LiveRealMediaContinuesTheTimeline) {
    Recording live;
    live.state.streamType = 20;
    std::vector<std::string> chunks = {PropChunk(0, 4), MdprChunk(0, "audio/x")};
    live.writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
    for (uint32_t i = 0; i < 30; ++i)
        live.writer.RealMediaPacket({7000 + i * 100, 0, uint8_t(i % 2 ? 0 : 2), Block(int(i), 50)});
    live.writer.FinalPatch();

    Recording r;
    int64_t position = r.Resume(live.rec.file);
    EXPECT_TRUE(r.rec.live);
    EXPECT_TRUE(r.rec.catchingUp);
    // Key frames every 200 ms up to 2800: the next recording goes on from 3000.
    EXPECT_EQ(r.state.baseTimestamp[0], 3000u);
    EXPECT_EQ(r.state.baseTimestamp[1], 0u);
    EXPECT_EQ(position, 2800);
    EXPECT_EQ(r.state.seekPosition, 2800u);
}

// A RealAudio 3.0 head whose four texts end near or at the end of the 1024 bytes read
// first: the codec id and the data start lie past it, in the file.
TEST(ResumeAnalysis, RealAudioTextsThatFillTheHead) {
    auto head = [](size_t textsEndAt) {
        // 22 bytes, three texts of 255 characters, the comment making up the rest.
        return RaV3Header({std::string(255, 't'), std::string(255, 'a'), std::string(255, 'c'),
                           std::string(textsEndAt - 22 - 3 * 256 - 1, 'm')});
    };
    std::string blocks;
    for (int i = 0; i < 40; ++i)
        blocks += Block(i);
    struct Case {
        const char* what;
        std::string file;
        int64_t position;
    } cases[] = {
        // A recording whose data start lies past its head and holds less than five blocks.
        {"fixture: texts end at 1024, three blocks",
         FixtureBytes("pna/ra3-partial-file-resume-throws.bin"), ResumeAnalysis::kStartOver},
        {"texts end at 1024, codec id past the head", head(1024) + blocks, 35 * 240 * 80 / 8000},
        {"texts end at 1022, codec id across the head's end", head(1022) + blocks,
         35 * 240 * 80 / 8000},
        {"texts end at 1024, no codec id", head(1024).substr(0, 1026) + blocks,
         35 * 240 * 80 / 8000},
        {"a text reaching past the head", head(1025) + blocks, ResumeAnalysis::kStartOver},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.file.size(), 1024u);
        Recording r;
        int64_t position = ResumeAnalysis::kStartOver;
        ASSERT_NO_THROW(position = r.Resume(c.file));
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(r.rec.file, c.file);
        if (position > 0) {
            EXPECT_EQ(r.state.signatures.back(), Signature::OfBlock(240, Block(39)));
        }
    }
}

// Whatever a partial file holds, the analysis answers without throwing, never makes the
// file longer and never asks for a position the seek command cannot carry: recordings of
// each kind cut at many lengths, and with each byte of their heads set to 0, to 255 and
// raised by 1 to 6 (lengths of texts and chunks that reach a little further).
TEST(ResumeAnalysis, AnyFileContentGivesAnAnswer) {
    std::vector<MediaPacket> packets = MediaStream(30);
    std::string unpatched = MediaFile(packets, 30);
    unpatched = unpatched.substr(0, unpatched.find("INDX"));
    const std::string files[] = {
        RealAudioFile(RaV3Header({std::string(255, 't'), std::string(255, 'a'),
                                  std::string(255, 'c'), std::string(229, 'm')}),
                      40),
        RealAudioFile(RaV4Header({"t", "a", "c", "m"}, 0x7FFFFFFF, 20), 400, 20),
        MediaFile(packets, 30),
        unpatched,
    };
    auto check = [](const std::string& file) {
        Recording r;
        int64_t position = ResumeAnalysis::kStartOver;
        EXPECT_NO_THROW(position = r.Resume(file));
        EXPECT_LE(r.rec.file.size(), file.size());
        EXPECT_TRUE(position == ResumeAnalysis::kStartOver ||
                    (position >= 0 && position <= int64_t(UINT32_MAX)))
            << position;
    };
    for (const std::string& file : files) {
        for (size_t length = 0; length <= file.size(); length += 1 + length / 64)
            check(file.substr(0, length));
        for (size_t at = 0; at < std::min<size_t>(file.size(), 1100); ++at) {
            for (int change : {-256, 255, 1, 2, 3, 4, 5, 6}) {
                std::string changed = file;
                changed[at] = char(std::clamp(uint8_t(file[at]) + change, 0, 255));
                check(changed);
            }
        }
    }
}

// A recording resumed once and stopped again without its final patch: PROP still names
// the index the first stop wrote, but the second stint's packets have overwritten it since.
// The next resume keeps every whole packet and continues after the last of them.
TEST(ResumeAnalysis, RealMediaStoppedUnpatchedAfterAResumeKeepsItsPackets) {
    std::vector<MediaPacket> packets = MediaStream(60);
    std::string whole = MediaFile(packets, packets.size());
    struct Case {
        const char* what;
        size_t killedAfter; // packets on disk when the second stint stopped
        size_t partial;     // bytes of the next packet written before it stopped
    } cases[] = {
        {"between packets", 45, 0},
        {"inside a packet", 45, 20},
        {"before the second stint wrote anything", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string first = MediaFile(packets, 20);
        uint32_t oldIndex = At32(first, first.find("PROP") + 38);
        ASSERT_NE(oldIndex, 0u);

        Recording second;
        int64_t position = second.Resume(first);
        ASSERT_GT(position, 0);
        size_t from = 0;
        while (packets[from].ts < position)
            ++from;
        second.state.streamType = 20;
        std::vector<std::string> chunks = MediaHeader();
        second.writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
        Feed(second, packets, from, std::max(from, c.killedAfter));
        std::string kept = second.rec.file;
        Feed(second, packets, c.killedAfter, c.killedAfter + 1);
        std::string killed = second.rec.file.substr(0, kept.size() + c.partial);
        ASSERT_EQ(At32(killed, killed.find("PROP") + 38), oldIndex);

        Recording third;
        position = third.Resume(killed);
        ASSERT_GT(position, 0);
        EXPECT_EQ(third.rec.file.size(), kept.size());
        EXPECT_TRUE(third.rec.file == kept);
        EXPECT_EQ(third.rec.file.find("INDX"), std::string::npos);
        from = 0;
        while (packets[from].ts < position)
            ++from;
        EXPECT_TRUE(packets[from].flags & 2);
        if (c.killedAfter > 20) {
            EXPECT_GE(from, 20u); // the second stint's key frames count
        }
        third.state.streamType = 20;
        third.writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
        Feed(third, packets, from, packets.size());
        third.writer.FinalPatch();
        EXPECT_TRUE(third.rec.file == whole);
    }
}
