// What a PNA server's bytes become, fed whole and again split at every byte: the same
// events either way.
#include "protocols/PnaStreamParser.h"
#include "MemoryRecording.h"
#include "PnaBytes.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace vireo {
// Readable failures: the kind and what the event carries.
void PrintTo(const PnaEvent& e, std::ostream* os) {
    *os << "{kind " << int(e.kind) << ", text \"" << e.text << "\", " << e.bytes.size()
        << " bytes, " << e.chunks.size() << " chunks, type " << e.streamType << ", ts "
        << e.timestamp << ", stream " << e.stream << ", flags " << int(e.flags) << "}";
}
} // namespace vireo

namespace {
using K = PnaEvent::Kind;

PnaEvent Log(const char* text, char kind) {
    return PnaEvent::LogLine(text, kind);
}
PnaEvent RaHeader(const std::string& bytes, int version) {
    PnaEvent e = PnaEvent::Of(K::RealAudioHeader);
    e.bytes = bytes;
    e.pnaVersion = version;
    return e;
}
PnaEvent RmHeader(std::vector<std::string> chunks) {
    PnaEvent e = PnaEvent::Of(K::RealMediaHeader);
    e.chunks = std::move(chunks);
    return e;
}
PnaEvent Payload(int type, const std::string& bytes, uint32_t ts = 0, uint16_t stream = 0,
                 uint8_t flags = 0) {
    PnaEvent e = PnaEvent::Of(K::Packet);
    e.streamType = type;
    e.bytes = bytes;
    e.timestamp = ts;
    e.stream = stream;
    e.flags = flags;
    return e;
}
PnaEvent Failure(std::string dump = {}) {
    PnaEvent e = PnaEvent::Of(K::Failure);
    e.code = -8;
    e.bytes = std::move(dump);
    return e;
}
PnaEvent Message(const char* text) {
    PnaEvent e = PnaEvent::Of(K::ServerMessage);
    e.text = text;
    return e;
}
const PnaEvent kEnd = PnaEvent::Of(K::End);
const PnaEvent kFiller = PnaEvent::Of(K::Filler);

std::vector<PnaEvent> FeedInPieces(const std::string& bytes, const std::vector<size_t>& cuts) {
    PnaStreamParser parser;
    std::vector<PnaEvent> events;
    size_t from = 0;
    for (size_t cut : cuts) {
        parser.Feed(std::string_view(bytes).substr(from, cut - from), events);
        from = cut;
    }
    parser.Feed(std::string_view(bytes).substr(from), events);
    return events;
}

// Equal, except that a failure dumps what had arrived when it was seen: a prefix of what
// the whole input shows.
bool SameEvents(const std::vector<PnaEvent>& split, const std::vector<PnaEvent>& whole) {
    if (split.size() != whole.size())
        return false;
    for (size_t i = 0; i < split.size(); ++i) {
        const PnaEvent& a = split[i];
        const PnaEvent& b = whole[i];
        bool dumpOk = a.kind == PnaEvent::Kind::Failure && a.code == b.code &&
                      b.bytes.compare(0, a.bytes.size(), a.bytes) == 0 &&
                      a.bytes.empty() == b.bytes.empty();
        if (!(a == b) && !dumpOk)
            return false;
    }
    return true;
}

struct Case {
    const char* name;
    std::string bytes;
    std::vector<PnaEvent> events;
};

std::string ra3 = RaV3Header({"Title", "", "", ""});
std::string prop = PropChunk(3000);
std::string cont = ContChunk({"T", "A", "", ""});
std::string mdpr = MdprChunk(0, "audio/x-pn-realaudio");
std::string data18 = Chunk("DATA", Be32(0) + Be32(0));
std::string rmf = RmfChunk();
std::string rmHeader = rmf + prop + "r\x01\x02" + cont + mdpr + data18 + EndBlock();

std::vector<Case> Cases() {
    return {
        {"version 8 'i': e block, fillers, packets, end",
         RaReplyI(ra3) + Gap() + "e" + std::string(8, 'x') + Be16(3) + "xyz" + Packet11("one") +
             "??" + "a" + Packet11("two") + "aE.E.E" + Packet11(std::string(300, 'E')) + "E",
         {Log("realserver 3.0", '!'), RaHeader(ra3, 8), Payload(11, "one"), kFiller,
          Payload(11, "two"), kFiller, Payload(11, std::string(300, 'E')), kEnd}},
        {"version 8 'r'",
         RaReplyR(ra3) + Gap() + Packet11("p") + "E",
         {Log("realserver 3.0a", '!'), RaHeader(ra3, 8), Payload(11, "p"), kEnd}},
        {"version 5: the packets right after the header count",
         RaReply5(ra3) + Packet12("first") + "a?" + Packet12("second") + "E",
         {Log("realserver 3.0f", '!'), RaHeader(ra3, 5), Payload(12, "first"), kFiller,
          Payload(12, "second"), kEnd}},
        {"RealMedia, short framing",
         Reply(10, 'O') + rmHeader + "??b1234567a1234" + Packet20(0, 0, 2, "p0") + Be16(10) +
             std::string(8, 'E') + Packet20(40, 1, 0, std::string(70, 'E')) + "E",
         {RmHeader({rmf, prop, cont, mdpr, data18}), kFiller, Log("(20)", 'I'),
          Payload(20, "p0", 0, 0, 2), Payload(20, std::string(70, 'E'), 40, 1, 0), kEnd}},
        {"RealMedia, long framing",
         Reply(10, 'O') + prop + mdpr + EndBlock() + Packet90(7, 1, 2, "pp") + "b1234567" +
             Packet90(9, 0, 0, "") + "E",
         {RmHeader({prop, mdpr}), Log("(5A)", 'I'), Payload(90, "pp", 7, 1, 2),
          Payload(90, "", 9, 0, 0), kEnd}},
        {"a 10-byte block followed by the end marker",
         Reply(10, 'O') + prop + EndBlock() + Packet20(1, 0, 2, "x") + Be16(10) +
             std::string(8, '\0') + "E",
         {RmHeader({prop}), Log("(20)", 'I'), Payload(20, "x", 1, 0, 2), kEnd}},
        {"end before any packet",
         Reply(10, 'O') + prop + EndBlock() + "E",
         {RmHeader({prop}), kEnd}},
        {"busy", Reply(8, 'X') + "rest", {PnaEvent::Of(K::Busy)}},
        {"server message",
         Reply(10, 'O') + prop + "X" + Be16(9) + "Too many!" + "more",
         {Message("Too many!")}},
        {"not PNA", "HTTP/1.0 200 OK\r\n\r\nhe", {Failure("HTTP/1.0 200 OK\r\n\r\nhe")}},
        {"unknown RealAudio reply", Reply(8, 'q') + std::string(20, 'x'), {Failure()}},
        {"RealAudio header of length 0", RaReplyI("") + std::string(20, 'x'), {Failure()}},
        {"first packet is not a packet",
         RaReplyI(ra3) + Gap() + "Zzz",
         {Log("realserver 3.0", '!'), RaHeader(ra3, 8), Failure("Zzz")}},
        {"packet length 0",
         Reply(10, 'O') + prop + EndBlock() + Be16(0) + std::string(20, 'x'),
         {RmHeader({prop}), Log("(20)", 'I'), Failure()}},
        {"packet length below 12",
         Reply(10, 'O') + prop + EndBlock() + "Z" + Be16(11) + "1234Z" + std::string(20, 'x'),
         {RmHeader({prop}), Log("(5A)", 'I'), Failure()}},
        {"twenty bytes are not judged", Reply(10, 'O').substr(0, 20), {}},
        {"unknown version waits", Reply(7, 'O') + std::string(100, 'x'), {}},
        {"stream cut inside a packet",
         Reply(10, 'O') + prop + EndBlock() + Packet20(1, 0, 2, "whole") +
             Packet20(2, 0, 2, "cut").substr(0, 13),
         {RmHeader({prop}), Log("(20)", 'I'), Payload(20, "whole", 1, 0, 2)}},
    };
}
} // namespace

TEST(PnaStreamParser, SameEventsWholeAndSplitAtEveryByte) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::vector<PnaEvent> whole = FeedInPieces(c.bytes, {});
        EXPECT_EQ(whole, c.events);
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            std::vector<PnaEvent> split = FeedInPieces(c.bytes, {cut});
            ASSERT_TRUE(SameEvents(split, c.events))
                << "cut at " << cut << ": " << ::testing::PrintToString(split);
        }
        std::vector<size_t> everyByte;
        for (size_t i = 1; i < c.bytes.size(); ++i)
            everyByte.push_back(i);
        std::vector<PnaEvent> bytes = FeedInPieces(c.bytes, everyByte);
        EXPECT_TRUE(SameEvents(bytes, c.events)) << ::testing::PrintToString(bytes);
    }
}

TEST(PnaStreamParser, ReplyIsJudgedAtItsTwentyFirstByte) {
    PnaStreamParser parser;
    std::vector<PnaEvent> events;
    std::string reply = Reply(8, 'X');
    parser.Feed(reply.substr(0, 20), events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(parser.HeaderBuffered(), 20u);
    parser.Feed(reply.substr(20, 1), events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, K::Busy);
    EXPECT_TRUE(parser.Ended());
}

TEST(PnaStreamParser, HeaderWithoutChunksFailsOnlyOnceItCannotBeAPreamble) {
    PnaStreamParser parser;
    std::vector<PnaEvent> events;
    std::string reply = Reply(10, 'O') + std::string(PnaStreamParser::kMaxPreamble, '-');
    parser.Feed(reply.substr(0, PnaStreamParser::kMaxPreamble - 1), events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(parser.StreamType(), 17);
    parser.Feed(reply.substr(PnaStreamParser::kMaxPreamble - 1), events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], Failure(reply));
}

// Bytes after a chunk that are neither a header chunk nor a block of the header are judged
// by what has arrived: if they reach past it they are the stream data (packets sent without
// the end block), otherwise they are a chunk of an unknown kind.
TEST(PnaStreamParser, UnknownChunkInsideTheHeaderFails) {
    std::string bytes = Reply(10, 'O') + prop + Chunk("JUNK", "12") + std::string(30, 'x');
    EXPECT_EQ(FeedInPieces(bytes, {}), (std::vector<PnaEvent>{Failure(bytes)}));
}

TEST(PnaStreamParser, DataWithoutTheEndBlockFollowsTheLastChunk) {
    std::string packet = Packet20(5, 0, 2, std::string(40, 'q'));
    std::vector<PnaEvent> events = FeedInPieces(Reply(10, 'O') + prop + packet, {});
    EXPECT_EQ(events, (std::vector<PnaEvent>{RmHeader({prop}), Log("(20)", 'I'),
                                             Payload(20, std::string(40, 'q'), 5, 0, 2)}));
}

TEST(PnaStreamParser, StreamTypeFollowsTheReplyAndTheFraming) {
    struct Case {
        std::string bytes;
        int type;
    } cases[] = {{RaReplyI(ra3), 11},
                 {RaReply5(ra3), 12},
                 {Reply(10, 'O') + prop, 17},
                 {Reply(10, 'O') + prop + EndBlock() + Packet20(0, 0, 0, "x"), 20},
                 {Reply(10, 'O') + prop + EndBlock() + Packet90(0, 0, 0, "x"), 90}};
    for (const Case& c : cases) {
        PnaStreamParser parser;
        std::vector<PnaEvent> events;
        parser.Feed(c.bytes, events);
        EXPECT_EQ(parser.StreamType(), c.type);
    }
}
