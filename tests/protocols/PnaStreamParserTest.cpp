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

// Equal, except that a malformed first RealAudio packet dumps what had arrived of it: a
// prefix of what the whole input shows.
bool SameEvents(const std::vector<PnaEvent>& split, const std::vector<PnaEvent>& whole) {
    if (split.size() != whole.size())
        return false;
    for (size_t i = 0; i < split.size(); ++i) {
        const PnaEvent& a = split[i];
        const PnaEvent& b = whole[i];
        bool firstPacket = i > 0 && whole[i - 1].kind == K::RealAudioHeader;
        bool dumpOk = firstPacket && a.kind == K::Failure && a.code == b.code &&
                      b.bytes.compare(0, a.bytes.size(), a.bytes) == 0 && !a.bytes.empty();
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
// A short-framing packet whose bytes 4 to 7, read as a chunk size, give 16: a size that
// fits in what follows.
std::string packetSized16 =
    Be16(20) + Be32(0) + Be32(0x00100000) + std::string("\0\x02", 2) + "payload!";
std::string preamble(PnaStreamParser::kMaxPreamble - 25, '-');

std::string Preamble(size_t idEndsAt) {
    return Reply(10, 'O') + std::string(idEndsAt - 4 - 25, '-');
}

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
        {"bytes after a chunk that are no header chunk are the stream data, whatever their size",
         Reply(10, 'O') + prop + packetSized16 + "E",
         {RmHeader({prop}), Log("(20)", 'I'), Payload(20, "payload!", 0x00100000, 0, 2), kEnd}},
        {"a header chunk id with a size no chunk has",
         Reply(10, 'O') + prop + "MDPR" + Be32(9) + std::string(30, 'x'),
         {Failure(Reply(10, 'O') + prop + "MDPR" + Be32(9))}},
        {"first chunk id ending at the preamble's last byte",
         Preamble(PnaStreamParser::kMaxPreamble) + prop + EndBlock() + "E",
         {RmHeader({prop}), kEnd}},
        {"first chunk id reaching past the preamble",
         Preamble(PnaStreamParser::kMaxPreamble + 1) + prop + EndBlock() + "E",
         {Failure((Preamble(PnaStreamParser::kMaxPreamble + 1) + prop).substr(0, 512))}},
        {"a preamble without a chunk id",
         Reply(10, 'O') + preamble + std::string(500, '-'),
         {Failure(Reply(10, 'O') + preamble)}},
        {"a preamble one byte short waits", Reply(10, 'O') + preamble.substr(1), {}},
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

// Server bytes that once gave other events depending on where reads ended: byte 0 of each
// file seeds the cuts, the rest is what the server sent. Fed whole, cut once at every
// byte, fed in pieces of every size up to 64 and a byte at a time, they give the same
// events, dumps included. A first chunk id past the preamble is refused however the bytes
// arrive; bytes after a chunk that are no header chunk are the stream data.
TEST(PnaStreamParser, SplitDivergenceCasesGiveTheSameEventsHoweverTheyArrive) {
    struct Case {
        const char* file;
        std::vector<K> kinds; // of the events, fed whole
    } cases[] = {
        {"case1.bin", {K::Failure}},
        {"case2.bin", {K::RealMediaHeader, K::Log, K::Failure}},
        {"case3.bin", {K::RealMediaHeader, K::Log, K::Failure}},
        {"case4.bin", {K::RealMediaHeader, K::Log}},
        {"case5.bin", {K::RealMediaHeader, K::Log, K::Packet, K::Failure}},
        {"case6.bin", {K::Failure}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string file = FixtureBytes(std::string("pna/split-divergence/") + c.file);
        ASSERT_GT(file.size(), 1u);
        std::string bytes = file.substr(1);
        std::vector<PnaEvent> whole = FeedInPieces(bytes, {});
        std::vector<K> kinds;
        for (const PnaEvent& e : whole)
            kinds.push_back(e.kind);
        EXPECT_EQ(kinds, c.kinds);

        for (size_t cut = 0; cut <= bytes.size(); ++cut)
            ASSERT_EQ(FeedInPieces(bytes, {cut}), whole) << "cut at " << cut;
        for (size_t piece = 1; piece <= 64; ++piece) {
            std::vector<size_t> cuts;
            for (size_t at = piece; at < bytes.size(); at += piece)
                cuts.push_back(at);
            ASSERT_EQ(FeedInPieces(bytes, cuts), whole) << "pieces of " << piece;
        }
        // Cuts drawn from the file's seed, a piece of 1 to 600 bytes at a time.
        uint32_t state = uint8_t(file[0]) + 1;
        std::vector<size_t> cuts;
        for (size_t at = 0;;) {
            state = state * 1103515245u + 12345u;
            at += 1 + (state >> 16) % 600;
            if (at >= bytes.size())
                break;
            cuts.push_back(at);
        }
        EXPECT_EQ(FeedInPieces(bytes, cuts), whole) << "seeded cuts";
    }
}

// A server that never ends its header: an unknown PNA version followed by endless bytes,
// and a RealMedia header of endless 1 MiB MDPR chunks. Fed 64 MiB in 16 KiB reads, the
// header buffer never holds more than the limit, the attempt ends once it is passed and
// nothing is taken after that.
TEST(PnaStreamParser, HeaderThatNeverEndsStopsAtTheLimit) {
    constexpr size_t kRead = 16 * 1024;
    constexpr size_t kFed = 64 * 1024 * 1024;
    std::string mdpr = MdprChunk(0, "audio/x");
    mdpr.replace(4, 4, Be32(PnaStreamParser::kMaxChunk));
    mdpr.resize(PnaStreamParser::kMaxChunk, 'm');
    struct Case {
        const char* name;
        std::string start; // then repeat for ever
        std::string repeat;
    } cases[] = {
        {"unknown version", Reply(7, 'O'), std::string(4096, 'v')},
        {"endless MDPR chunks", Reply(10, 'O') + prop, mdpr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PnaStreamParser parser;
        std::vector<PnaEvent> events;
        size_t fed = 0;
        size_t endedAt = 0;
        std::string piece;
        for (size_t at = 0; fed < kFed; fed += kRead) {
            piece.clear();
            while (piece.size() < kRead) {
                const std::string& from = at < c.start.size() ? c.start : c.repeat;
                size_t offset = at < c.start.size() ? at : (at - c.start.size()) % c.repeat.size();
                size_t n = std::min(kRead - piece.size(), from.size() - offset);
                piece.append(from, offset, n);
                at += n;
            }
            parser.Feed(piece, events);
            ASSERT_LE(parser.HeaderBuffered(), PnaStreamParser::kMaxHeader + 1);
            if (parser.Ended() && endedAt == 0)
                endedAt = fed + kRead;
        }
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, K::HeaderTooLarge);
        // Ended by the read that brought the byte past the limit.
        EXPECT_EQ(endedAt, PnaStreamParser::kMaxHeader + kRead);
        EXPECT_EQ(parser.HeaderBuffered(), 0u);
        EXPECT_EQ(parser.PacketsBuffered(), 0u);
    }
}

// The header step looks at each byte a bounded number of times and at a few more per read
// (a chunk's id and size while it waits for the rest): a header just under the limit costs
// about its own length however it is read, not a rescan of all received per read.
TEST(PnaStreamParser, HeaderIsReadOnceHoweverTheReadsFall) {
    std::string header = Reply(10, 'O') + rmf + prop;
    std::string chunk = MdprChunk(0, "audio/x-pn-realaudio", std::string(4000, 's'));
    while (header.size() + chunk.size() + 72 < PnaStreamParser::kMaxHeader)
        header += chunk;
    std::string bytes = header + EndBlock() + "E";
    for (size_t read : {size_t(1), size_t(7), size_t(16 * 1024), bytes.size()}) {
        SCOPED_TRACE(read);
        PnaStreamParser parser;
        std::vector<PnaEvent> events;
        size_t reads = 0;
        for (size_t at = 0; at < bytes.size(); at += read, ++reads)
            parser.Feed(std::string_view(bytes).substr(at, read), events);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].kind, K::RealMediaHeader);
        EXPECT_EQ(events[1], kEnd);
        EXPECT_LE(parser.HeaderWork(), 2 * bytes.size() + 8 * reads);
    }
}
