// The files a recording writes: RealAudio headers and blocks, the RealMedia header built
// from the received chunks, packets with their index, live streams written late, and the
// final patches.
#include "protocols/RealMediaWriter.h"
#include "MemoryRecording.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class Writer : public ::testing::Test {
protected:
    std::string Block(int i, size_t size = 240) {
        std::string b(size, '\0');
        for (size_t k = 0; k < size; ++k)
            b[k] = char(i * 31 + k * 7);
        return b;
    }
    RealMediaWriter::Packet Packet(uint32_t ts, uint16_t stream, uint8_t flags,
                                   const std::string& payload) {
        return {ts, stream, flags, payload};
    }
    int Header(const std::vector<std::string>& chunks) {
        std::vector<std::string_view> views(chunks.begin(), chunks.end());
        state.streamType = 17;
        return writer.RealMediaHeader(views);
    }
    // The chunks of the file from offset 0 to DATA.
    std::vector<std::string> Ids() {
        std::vector<std::string> ids;
        for (size_t pos = 0; pos + 8 <= rec.file.size();) {
            ids.push_back(rec.file.substr(pos, 4));
            if (ids.back() == "DATA" || At32(rec.file, pos + 4) == 0)
                break;
            pos += At32(rec.file, pos + 4);
        }
        return ids;
    }
    size_t Find(const std::string& id) { return rec.file.find(id); }

    MemoryRecording rec;
    RecordingState state;
    RealMediaWriter writer{rec, state};
};
} // namespace

TEST_F(Writer, RealAudio3HeaderIsWrittenAsReceivedAndPatchedToItsBlocks) {
    std::string header = RaV3Header({"Song", "Band", "", "none"}, 99999);
    state.streamType = 11;
    ASSERT_EQ(writer.RealAudioHeader(header, 8), RealMediaWriter::kOk);
    EXPECT_EQ(rec.file, header);
    EXPECT_EQ(rec.total, 99999 + int64_t(header.size()));
    EXPECT_TRUE(rec.Logged("I ra 3.0"));
    EXPECT_TRUE(rec.Logged("I title: Song"));
    EXPECT_TRUE(rec.Logged("I author: Band"));
    EXPECT_FALSE(rec.Logged("I copyright: "));
    EXPECT_TRUE(rec.Logged("I comments: none"));
    EXPECT_FALSE(rec.live);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(writer.RealAudioBlock(Block(i)), RealMediaWriter::kOk);
    EXPECT_EQ(rec.file.substr(header.size(), 240), Block(0));
    writer.FinalPatch();
    EXPECT_EQ(At32(rec.file, 18), 2400u);
    EXPECT_EQ(rec.file.size(), header.size() + 2400);
}

TEST_F(Writer, RealAudio4HeaderLimitsTheSizeAndIsPatchedToTheByteCount) {
    std::string header = RaV4Header({"T", "A", "C", ""}, 5000);
    state.streamType = 12;
    ASSERT_EQ(writer.RealAudioHeader(header, 5), RealMediaWriter::kOk);
    EXPECT_TRUE(rec.Logged("I ra 4.0"));
    EXPECT_TRUE(rec.Logged("I codec: lpcJ"));
    EXPECT_TRUE(rec.Logged("I title: T"));
    EXPECT_TRUE(rec.Logged("I copyright: C"));
    EXPECT_TRUE(rec.sizeLimited);
    EXPECT_EQ(rec.total, 5000);
    writer.RealAudioBlock(Block(1));
    writer.RealAudioBlock(Block(2, 100));
    writer.FinalPatch();
    EXPECT_EQ(At32(rec.file, 12), rec.file.size());
    EXPECT_EQ(At32(rec.file, 28), 340u);
}

TEST_F(Writer, LiveRealAudioIsWrittenWithItsHeaderSoItPlaysAndResumes) {
    struct Case {
        std::string header;
        int pna;
    } cases[] = {{RaV3Header({"", "", "", "LIVE"}), 8},
                 {RaV3Header({"", "", "", "live"}), 5},
                 {RaV4Header({}, 0), 8}};
    for (const Case& c : cases) {
        MemoryRecording r;
        RecordingState s;
        s.streamType = 11;
        RealMediaWriter w(r, s);
        ASSERT_EQ(w.RealAudioHeader(c.header, c.pna), RealMediaWriter::kOk);
        EXPECT_TRUE(r.live);
        w.RealAudioBlock(Block(1));
        w.FinalPatch();
        EXPECT_EQ(r.file.substr(0, 4), ".ra\xFD");
        EXPECT_EQ(r.file.size(), c.header.size() + 240);
    }
}

TEST_F(Writer, ResumedLiveRealAudioAppendsWithoutASecondHeader) {
    rec.file = RaV3Header({"", "", "", "live"}) + Block(1);
    rec.bytes = int64_t(rec.file.size());
    rec.catchingUp = true;
    state.streamType = 11;
    writer.RealAudioHeader(RaV3Header({"", "", "", "live"}), 8);
    EXPECT_FALSE(rec.catchingUp);
    writer.RealAudioBlock(Block(2));
    EXPECT_EQ(rec.file, RaV3Header({"", "", "", "live"}) + Block(1) + Block(2));
}

TEST_F(Writer, RealMediaHeaderGetsASyntheticFileChunkAndItsDataHeader) {
    ASSERT_EQ(Header({PropChunk(5005), ContChunk({"Title", "", "Copy", ""}),
                      MdprChunk(0, "audio/x-pn-realaudio"), MdprChunk(2, "audio/other")}),
              RealMediaWriter::kOk);
    EXPECT_TRUE(rec.Logged("I rmf content"));
    EXPECT_TRUE(rec.Logged("I title: Title"));
    EXPECT_TRUE(rec.Logged("I copyright: Copy"));
    EXPECT_EQ(Ids(), (std::vector<std::string>{".RMF", "PROP", "CONT", "MDPR", "DATA"}));
    EXPECT_EQ(At32(rec.file, 4), 18u);
    EXPECT_EQ(At32(rec.file, 14), 5u); // the synthetic chunk and DATA count too
    size_t prop = Find("PROP");
    size_t data = Find("DATA");
    EXPECT_EQ(At32(rec.file, prop + 42), data);
    EXPECT_EQ(At16(rec.file, prop + 46), 1);
    EXPECT_EQ(rec.file.size(), data + 18);
    EXPECT_EQ(At32(rec.file, data + 4), 0xFFFFFFFFu);
    EXPECT_EQ(state.durationMs, 5005u);

    // Stream 2 was not copied, so its packets are not written either; neither are flags
    // of 3 and above.
    writer.RealMediaPacket(Packet(0, 2, 2, "two"));
    writer.RealMediaPacket(Packet(0, 0, 3, "bad"));
    EXPECT_EQ(rec.file.size(), data + 18);
    EXPECT_EQ(state.packets, 0u);
}

TEST_F(Writer, ReceivedFileChunkIsKeptAndCounted) {
    ASSERT_EQ(Header({RmfChunk(), PropChunk(10), MdprChunk(0, "audio/x")}), RealMediaWriter::kOk);
    EXPECT_EQ(Ids(), (std::vector<std::string>{".RMF", "PROP", "MDPR", "DATA"}));
    EXPECT_EQ(At32(rec.file, 14), 4u);
}

TEST_F(Writer, RealMediaHeaderFaults) {
    std::string video = Be32(34) + "VIDOCLV1";
    struct Case {
        std::vector<std::string> chunks;
        int result;
        const char* logged;
    } cases[] = {
        {{PropChunk(0, 4), MdprChunk(0, "audio/x"), MdprChunk(1, "video/x", video)},
         RealMediaWriter::kUnsupported,
         "E unsupported format a"},
        {{Chunk("PROP", std::string(20, '\0'))}, RealMediaWriter::kCorrupted, "E dump 30"},
        {{Chunk("MDPR", Be16(0))}, RealMediaWriter::kCorrupted, "E dump 12"},
        {{PropChunk(0), MdprChunk(0, "audio/x"), MdprChunk(1, "Video/x", video)},
         RealMediaWriter::kOk,
         "I video: VIDOCLV1"},
    };
    for (const Case& c : cases) {
        MemoryRecording r;
        RecordingState s;
        RealMediaWriter w(r, s);
        std::vector<std::string_view> views(c.chunks.begin(), c.chunks.end());
        EXPECT_EQ(w.RealMediaHeader(views), c.result) << c.logged;
        EXPECT_TRUE(r.Logged(c.logged)) << c.logged;
    }
}

TEST_F(Writer, VideoMarkerOnlyForTheClearVideoCodec) {
    Header({PropChunk(0), MdprChunk(0, "video/x-pn-realvideo", Be32(34) + "VIDORV10"),
            MdprChunk(1, "video/x-pn-realvideo", Be32(34) + "VIDOCLV1"),
            // A string length that reaches past the chunk is not read.
            Chunk("CONT", Be16(400) + "x")});
    EXPECT_TRUE(rec.Logged("I video: VIDORV10"));
    EXPECT_FALSE(state.video[0]);
    EXPECT_TRUE(state.video[1]);
}

TEST_F(Writer, PacketsAreIndexedByKeyFrameAndPatchedWithTheIndex) {
    Header({PropChunk(3000), MdprChunk(0, "audio/x"), MdprChunk(1, "video/x")});
    size_t data = Find("DATA");
    int64_t firstPacket = rec.bytes;
    writer.RealMediaPacket(Packet(0, 0, 2, "aaaa"));
    writer.RealMediaPacket(Packet(0, 1, 2, "vvvvvv")); // same timestamp, other stream
    writer.RealMediaPacket(Packet(100, 0, 0, "bbbb"));
    writer.RealMediaPacket(Packet(200, 0, 2, "cccc"));
    writer.RealMediaPacket(Packet(200, 0, 2, "dddd")); // same timestamp: one record
    EXPECT_EQ(state.packets, 5u);
    EXPECT_EQ(state.index[0], (std::vector<IndexRecord>{{0, uint32_t(firstPacket), 0},
                                                        {200, uint32_t(firstPacket + 50), 3}}));
    EXPECT_EQ(state.index[1].size(), 1u);
    // Key frames re-estimate the size from the duration.
    EXPECT_EQ(rec.total, (firstPacket + 66) * 3000 / 200);
    EXPECT_EQ(rec.file.substr(size_t(firstPacket), 16),
              RealMediaWriter::PacketHeader(0, 0, 2, 4) + "aaaa");

    writer.FinalPatch();
    int64_t indexAt = rec.bytes;
    size_t prop = Find("PROP");
    EXPECT_EQ(At32(rec.file, prop + 38), indexAt);
    EXPECT_EQ(At32(rec.file, prop + 26), 5u);
    EXPECT_EQ(At32(rec.file, prop + 30), 200u);
    EXPECT_EQ(At32(rec.file, Find("MDPR") + 36), 200u);
    EXPECT_EQ(At32(rec.file, data + 4), indexAt - int64_t(data));
    EXPECT_EQ(At32(rec.file, data + 10), 5u);
    // Two INDX chunks, the first naming the second.
    std::string index = rec.file.substr(size_t(indexAt));
    ASSERT_EQ(index.size(), 20u + 2 * 14 + 20 + 14);
    EXPECT_EQ(index.substr(0, 4), "INDX");
    EXPECT_EQ(At32(index, 4), 20u);
    EXPECT_EQ(At32(index, 10), 2u);
    EXPECT_EQ(At16(index, 14), 0);
    EXPECT_EQ(At32(index, 16), indexAt + 48);
    EXPECT_EQ(At32(index, 20 + 14 + 2), 200u);
    EXPECT_EQ(At32(index, 20 + 14 + 10), 3u);
    EXPECT_EQ(index.substr(48, 4), "INDX");
    EXPECT_EQ(At16(index, 48 + 14), 1);
    EXPECT_EQ(At32(index, 48 + 16), 0u);
}

TEST_F(Writer, StoppedBeforeAnyKeyFrameWritesNoIndex) {
    Header({PropChunk(3000), MdprChunk(0, "audio/x")});
    size_t data = Find("DATA");
    writer.FinalPatch();
    EXPECT_EQ(rec.file.size(), data + 18);
    EXPECT_EQ(At32(rec.file, Find("PROP") + 38), 0u);
    EXPECT_EQ(At32(rec.file, data + 4), 18u);
    // Packets without key frames still belong to DATA.
    writer.RealMediaPacket(Packet(40, 0, 0, "xxxx"));
    writer.FinalPatch();
    EXPECT_EQ(At32(rec.file, data + 4), 18u + 16);
    EXPECT_EQ(rec.file.size(), data + 34);
}

TEST_F(Writer, LiveStreamIsWrittenSixteenPacketsLateFromTimestampZero) {
    Header({PropChunk(0, 4), MdprChunk(0, "audio/x")});
    EXPECT_TRUE(rec.live);
    EXPECT_EQ(rec.total, 0xFFFFFFFF);
    int64_t start = rec.bytes;
    for (uint32_t i = 0; i < 20; ++i)
        writer.RealMediaPacket(Packet(50000 + i * 100, 0, 2, std::string(3, char('a' + i))));
    // Four written, sixteen held back.
    EXPECT_EQ(state.packets, 4u);
    EXPECT_EQ(state.delayed.size(), 16u);
    EXPECT_EQ(At32(rec.file, size_t(start) + 6), 0u);
    EXPECT_EQ(At32(rec.file, size_t(start) + 15 + 6), 100u);
    writer.FinalPatch();
    EXPECT_EQ(state.packets, 20u);
    EXPECT_EQ(rec.changes, 1);
    EXPECT_EQ(At32(rec.file, size_t(start) + 19 * 15 + 6), 1900u);
    EXPECT_EQ(state.index[0].back().timestamp, 1900u);
    EXPECT_EQ(At32(rec.file, Find("PROP") + 30), 1900u); // last - first + seek position
}

TEST_F(Writer, CatchingUpRealAudioSkipsWhatTheFileHas) {
    state.streamType = 11;
    for (int i = 5; i < 8; ++i)
        state.signatures.push_back(Signature::OfBlock(240, Block(i)));
    state.seekPosition = 123;
    rec.catchingUp = true;
    writer.RealAudioBlock(Block(1)); // before the file's last blocks: skipped
    EXPECT_EQ(state.seekPosition, 123u);
    writer.RealAudioBlock(Block(6)); // the file's own
    EXPECT_EQ(state.seekPosition, 0u);
    writer.RealAudioBlock(Block(7));
    EXPECT_TRUE(rec.file.empty());
    writer.RealAudioBlock(Block(8)); // new: written, and so is everything after it
    writer.RealAudioBlock(Block(5));
    EXPECT_FALSE(rec.catchingUp);
    EXPECT_TRUE(state.signatures.empty());
    EXPECT_EQ(rec.file, Block(8) + Block(5));
}

TEST_F(Writer, ShortBlocksAreComparedByTheBytesTheyHave) {
    state.signatures.push_back(Signature::OfBlock(20, Block(3, 20)));
    state.seekPosition = 1;
    rec.catchingUp = true;
    writer.RealAudioBlock(Block(3, 20));
    EXPECT_EQ(state.seekPosition, 0u);
    EXPECT_EQ(Signature::OfBlock(4, "abcd").bytes, "");
}

TEST_F(Writer, CatchingUpRealMediaEndsAtTheFilesLastPacket) {
    state.streamType = 20;
    state.signatures.push_back(Signature::OfPacket(12 + 4, "last"));
    rec.catchingUp = true;
    writer.RealMediaPacket(Packet(10, 0, 2, "past"));
    writer.RealMediaPacket(Packet(20, 0, 2, "last"));
    EXPECT_FALSE(rec.catchingUp);
    EXPECT_TRUE(rec.file.empty());
    writer.RealMediaPacket(Packet(30, 0, 2, "next"));
    EXPECT_EQ(rec.file, RealMediaWriter::PacketHeader(30, 0, 2, 4) + "next");
    // A filler ends catching up only when there is nothing to compare with.
    rec.catchingUp = true;
    writer.FillerA();
    EXPECT_TRUE(rec.catchingUp);
    state.signatures.clear();
    writer.FillerA();
    EXPECT_FALSE(rec.catchingUp);
}

TEST_F(Writer, FinalPatchLeavesAFileWithoutItsHeaderAlone) {
    rec.file = "not a recording at all, just bytes";
    rec.bytes = int64_t(rec.file.size());
    std::string before = rec.file;
    for (int type : {11, 12, 17, 20, 90}) {
        state.streamType = type;
        writer.FinalPatch();
        EXPECT_EQ(rec.file, before) << type;
    }
}

TEST_F(Writer, FailedWriteStopsTheRecording) {
    rec.failWrites = true;
    state.streamType = 11;
    EXPECT_EQ(writer.RealAudioHeader(RaV3Header(), 8), RealMediaWriter::kStopped);
    EXPECT_EQ(writer.RealAudioBlock(Block(1)), RealMediaWriter::kStopped);
}
