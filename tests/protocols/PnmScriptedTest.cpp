// The PNM transfer against a server played byte by byte: what goes on the wire, what the
// transfer makes of replies no real server sends on demand, and resuming partial files.
#include "FakeConnection.h"
#include "FakeHost.h"
#include "ItemHarness.h"
#include "OwnFiles.h"
#include "PnaBytes.h"
#include "downloads/JobFactory.h"
#include "engine/ErrorText.h"
#include "peers/FreePort.h"
#include "peers/ScriptedServer.h"
#include "protocols/PnaTemplate.h"
#include "protocols/PnmTransfer.h"
#include "protocols/RealMediaWriter.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace vireo;
using namespace vireo::test;

namespace {
using S = ScriptStep;

QByteArray Q(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

struct Packet {
    uint32_t ts;
    uint8_t flags;
    std::string payload;
};

std::vector<Packet> Packets() {
    std::vector<Packet> p;
    for (uint32_t ts : {0u, 4000u, 8000u, 12000u, 12500u, 13000u, 13500u, 14000u}) {
        std::string payload(40 + ts / 500, char('a' + ts / 500 % 26));
        p.push_back({ts, uint8_t(ts % 4000 == 0 ? 2 : 0), payload});
    }
    return p;
}

std::vector<std::string> MediaChunks() {
    return {PropChunk(5005), MdprChunk(0, "audio/x-pn-realaudio")};
}

// The file a recording of packets [0, count) leaves.
std::string MediaFile(size_t count) {
    MemoryRecording rec;
    RecordingState state;
    state.streamType = 20;
    RealMediaWriter writer(rec, state);
    std::vector<std::string> chunks = MediaChunks();
    writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
    std::vector<Packet> packets = Packets();
    for (size_t i = 0; i < count; ++i)
        writer.RealMediaPacket({packets[i].ts, 0, packets[i].flags, packets[i].payload});
    writer.FinalPatch();
    return rec.file;
}

// The server's side: reply, header chunks, the end block, then packets [from, to).
std::string MediaStream(size_t from, size_t to, bool end = true) {
    std::string out = Reply(10, 'O');
    for (const std::string& c : MediaChunks())
        out += c;
    out += EndBlock();
    std::vector<Packet> packets = Packets();
    for (size_t i = from; i < to; ++i)
        out += Packet20(packets[i].ts, 0, packets[i].flags, packets[i].payload);
    return end ? out + "E" : out;
}

class PnmScripted : public ::testing::Test {
protected:
    void SetUp() override { PnaTemplate::Load(); }
    std::string Url(const std::string& path) {
        return "pnm://127.0.0.1:" + std::to_string(server.Port()) + path;
    }
    static int HelloSize(const std::string& path) { return int(374 + path.size() - 1); }
    // A recording an earlier run left.
    void WriteFile(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(WriteOwnFile(h.Path(name), Q(bytes)));
    }
    PnmTransfer* Job() { return dynamic_cast<PnmTransfer*>(h.item->Job()); }

    ScriptedServer server;
    ItemHarness h;
};
} // namespace

TEST_F(PnmScripted, HelloIsTheStoredTemplateWithThePath) {
    server.AddScript({S::ExpectBytes(HelloSize("/dir/a.rm")), S::Send(Q(MediaStream(0, 2)))});
    h.Start(Url("/dir/a.rm"), false, h.Path("a.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(server.Received(0), Q(*PnaTemplate::BuildRequest("/dir/a.rm")));
    EXPECT_TRUE(h.LogHas(" O sending request\r\n"));
    EXPECT_TRUE(h.LogHas(" ! connecting server: 127.0.0.1, port: " + std::to_string(server.Port()) +
                         "\r\n"));
    EXPECT_TRUE(h.File("a.rm") == Q(MediaFile(2)));
}

TEST_F(PnmScripted, AddressWithoutPortUsesThePnmPortSetting) {
    Settings().SetInt(keys::PnmPort, server.Port());
    server.AddScript({S::ExpectBytes(HelloSize("/b.rm")), S::Send(Q(MediaStream(0, 1)))});
    h.Start("rtsp://127.0.0.1/b.rm", false, h.Path("b.rm"));
    ASSERT_NE(Job(), nullptr);
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
}

TEST_F(PnmScripted, ReplyThatIsNotPnaFailsWithADump) {
    server.AddScript({S::ExpectBytes(HelloSize("/c.rm")), S::Send("HTTP/1.0 404 Not found\r\n\r\n"),
                      S::Stall()});
    h.Start(Url("/c.rm"), false, h.Path("c.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, ErrCorrupted);
    EXPECT_TRUE(h.LogHas(" E dump: "));
    EXPECT_TRUE(h.LogHas(" E file corrupted\r\n"));
}

TEST_F(PnmScripted, DescribeShowsTheDurationAndTheStreamType) {
    server.AddScript(
        {S::ExpectBytes(HelloSize("/d.rm")), S::Send(Q(MediaStream(0, 1, false))), S::Stall()});
    h.Start(Url("/d.rm"), false, h.Path("d.rm"));
    ASSERT_TRUE(WaitUntil([&] { return Job() && Job()->StreamType() == 20; }));
    EXPECT_EQ(Job()->Describe(), "Duration: 5.005\nType: 20\n");
    EXPECT_GT(Job()->MemoryUse(), TransferJob(h.item.get(), "127.0.0.1", "/d.rm", 1).MemoryUse());
}

// A read of nothing while nothing waits is nothing to do; later data still arrives.
TEST_F(PnmScripted, EmptyReadInThePacketPhaseChangesNothing) {
    std::string stream = MediaStream(0, 3);
    size_t split = stream.size() - 30;
    server.AddScript({S::ExpectBytes(HelloSize("/e.rm")), S::Send(Q(stream.substr(0, split))),
                      S::Delay(400), S::Send(Q(stream.substr(split)))});
    h.Start(Url("/e.rm"), false, h.Path("e.rm"));
    ASSERT_TRUE(WaitUntil([&] { return Job() && Job()->State().packets == 2; }));
    EXPECT_TRUE(Job()->HandleData(nullptr, "", 0));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.File("e.rm") == Q(MediaFile(3)));
}

TEST_F(PnmScripted, ResumeSeeksToTheLastKeyFrameAndContinuesTheFile) {
    WriteFile("r.rm", MediaFile(6)); // up to 13000; the last key frame is at 12000
    server.AddScript({S::ExpectBytes(HelloSize("/r.rm")), S::Send(Q(Reply(10, 'O'))),
                      S::ExpectBytes(7), S::Send(Q(MediaStream(3, 8).substr(25)))});
    h.Start(Url("/r.rm"), true, h.Path("r.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_TRUE(server.Received(0).endsWith(QByteArray("PS\0\0\x2e\xe0"
                                                       "B",
                                                       7)));
    EXPECT_TRUE(h.LogHas(" O starting from: 12000\r\n"));
    EXPECT_TRUE(h.File("r.rm") == Q(MediaFile(8)));
}

TEST_F(PnmScripted, SmallPartialRealAudioFileIsRecordedAgain) {
    std::string header = RaV3Header({"t", "", "", ""});
    WriteFile("s.ra", header + std::string(480, 'x')); // below 1024 bytes
    std::string blocks;
    std::string stream = RaReplyI(header) + Gap();
    for (int i = 0; i < 3; ++i) {
        stream += Packet11(std::string(240, char('0' + i)));
        blocks += std::string(240, char('0' + i));
    }
    server.AddScript({S::ExpectBytes(HelloSize("/s.ra")), S::Send(Q(stream + "E"))});
    h.Start(Url("/s.ra"), true, h.Path("s.ra"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(server.Received(0).size(), HelloSize("/s.ra")); // no seek
    std::string expected = header + blocks;
    expected.replace(18, 4, Be32(720));
    EXPECT_TRUE(h.File("s.ra") == Q(expected));
}

TEST_F(PnmScripted, LiveRecordingIsNeverSoughtAndContinuesAtItsEnd) {
    std::string header = RaV3Header({"", "", "", "live"});
    std::string old = header + std::string(240 * 5, 'o');
    old.replace(18, 4, Be32(1200));
    WriteFile("l.ra", old);
    std::string stream = RaReplyR(header) + Gap() + Packet11(std::string(240, 'n')) + "E";
    server.AddScript({S::ExpectBytes(HelloSize("/l.ra")), S::Send(Q(stream))});
    h.Start(Url("/l.ra"), true, h.Path("l.ra"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_EQ(server.Received(0).size(), HelloSize("/l.ra"));
    EXPECT_FALSE(h.LogHas("starting from"));
    EXPECT_TRUE(h.item->HasFlag(IF_LIVE));
    std::string expected = old + std::string(240, 'n');
    expected.replace(18, 4, Be32(1440));
    EXPECT_TRUE(h.File("l.ra") == Q(expected));
}

// A version 8 stream whose bytes reach the header's total size is whole, also when the
// server goes away without the end marker.
TEST_F(PnmScripted, RealAudioThatReachedItsSizeIsCompleteWithoutTheEndMarker) {
    Settings().SetInt(keys::Timeout, 1);
    struct Case {
        std::string header;
        const char* finishedBy;
    } cases[] = {{RaV3Header({}, 480), "timeout"}, {RaV4Header({}, 0), "size"}};
    for (Case& c : cases) {
        SCOPED_TRACE(c.finishedBy);
        ItemHarness harness;
        ScriptedServer peer;
        if (c.header[5] == 4)
            c.header.replace(12, 4, Be32(uint32_t(c.header.size() + 480)));
        std::string stream = RaReplyI(c.header) + Gap() + Packet11(std::string(240, 'a')) +
                             Packet11(std::string(240, 'b'));
        peer.AddScript({S::ExpectBytes(HelloSize("/z.ra")), S::Send(Q(stream)), S::Close()});
        harness.Start("pnm://127.0.0.1:" + std::to_string(peer.Port()) + "/z.ra", false,
                      harness.Path("z.ra"));
        ASSERT_TRUE(harness.WaitDone(10000));
        EXPECT_EQ(harness.finished, 1);
        EXPECT_EQ(peer.ConnectionCount(), 1);
        EXPECT_EQ(harness.LogHas(" E timeout\r\n"), std::string(c.finishedBy) == "timeout");
        EXPECT_TRUE(harness.LogHas(" in 1 attemps\r\n"));
        EXPECT_EQ(harness.File("z.ra").size(), qsizetype(c.header.size() + 480));
    }
}

TEST(PnmJobs, StreamSchemesGetTheStreamTransfer) {
    TempSettings settings;
    for (const char* url : {"pnm://host/a.rm", "RTSP://host/a.rm"}) {
        DownloadItem item(url, "", nullptr);
        UrlParts parts;
        ParseUrl(url, parts, 7070);
        std::unique_ptr<TransferJob> job = CreateTransferJob(&item, url, parts);
        EXPECT_NE(dynamic_cast<PnmTransfer*>(job.get()), nullptr) << url;
        EXPECT_TRUE(job->HasFlag(JF_NO_PROXY));
    }
}

// In the long framing a stream whose codec marks it as video carries its key-frame flag
// the other way round; the file gets the usual flags and index.
TEST_F(PnmScripted, LongFramingOfVideoInvertsTheKeyFrameFlag) {
    std::string video = MdprChunk(0, "video/x-pn-realvideo", Be32(34) + "VIDOCLV1");
    std::string stream = Reply(10, 'O') + PropChunk(300) + video + EndBlock() +
                         Packet90(0, 0, 0, "key one") + Packet90(100, 0, 2, "delta") +
                         Packet90(200, 0, 0, "key two") + "E";
    server.AddScript({S::ExpectBytes(HelloSize("/v.rm")), S::Send(Q(stream))});
    h.Start(Url("/v.rm"), false, h.Path("v.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1);
    EXPECT_TRUE(h.LogHas(" I video: VIDOCLV1\r\n"));
    EXPECT_TRUE(h.LogHas(" I (5A)\r\n"));

    MemoryRecording rec;
    RecordingState state;
    state.streamType = 90;
    RealMediaWriter writer(rec, state);
    std::vector<std::string> chunks = {PropChunk(300), video};
    writer.RealMediaHeader(std::vector<std::string_view>(chunks.begin(), chunks.end()));
    writer.RealMediaPacket({0, 0, 2, "key one"});
    writer.RealMediaPacket({100, 0, 0, "delta"});
    writer.RealMediaPacket({200, 0, 2, "key two"});
    writer.FinalPatch();
    EXPECT_EQ(state.index[0].size(), 2u);
    EXPECT_TRUE(h.File("v.rm") == Q(rec.file));
}

// A server that cannot be reached is tried again when the time-out runs out, up to the
// attempts allowed.
TEST_F(PnmScripted, UnreachableServerUsesUpTheAttempts) {
    Settings().SetInt(keys::Timeout, 1);
    Settings().SetInt(keys::MaxAttemp, 2);
    h.Start("pnm://127.0.0.1:" + std::to_string(FreePort()) + "/u.rm", false, h.Path("u.rm"));
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.error, ErrAttempts);
    EXPECT_TRUE(h.LogHas(" I all attemps passed\r\n"));
    EXPECT_EQ(h.File("u.rm").size(), 0);
}

// A version 5 server sends a RealAudio 3.0 header whose texts fill the 1024 bytes the
// resume analysis reads first, four blocks, and closes. The retry judges that partial
// file: it cannot be continued, so the recording starts again from the beginning.
TEST_F(PnmScripted, PartialFileWhoseTextsFillTheHeadIsRecordedAgain) {
    Settings().SetInt(keys::Timeout, 1);
    std::string stream = FixtureBytes("pna/pna-stream-ra3-header-then-close.bin").substr(1);
    ASSERT_EQ(stream.substr(0, 3), "PNA");
    server.AddScript({S::ExpectBytes(HelloSize("/f.ra")), S::Send(Q(stream)), S::Close()});
    server.AddScript({S::ExpectBytes(HelloSize("/f.ra")), S::Send(Q(stream + "E"))});
    h.Start(Url("/f.ra"), false, h.Path("f.ra"));
    ASSERT_TRUE(h.WaitDone(10000));
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_EQ(server.Received(1).size(), HelloSize("/f.ra")); // no seek
    EXPECT_TRUE(h.LogHas(" I partial file cannot be continued, recording from the start\r\n"));
    // The header as received, then the four blocks; the size field counts them.
    std::string expected = stream.substr(12, 1024);
    for (size_t at = 12 + 1024; at < stream.size(); at += 7 + 240)
        expected += stream.substr(at + 7, 240);
    ASSERT_EQ(expected.size(), 1024u + 4 * 240);
    expected.replace(18, 4, Be32(4 * 240));
    EXPECT_TRUE(h.File("f.ra") == Q(expected));
}

// A server whose header does not end within the limit: the attempt ends with an error
// line and the next one records the stream.
TEST_F(PnmScripted, HeaderPastTheLimitEndsTheAttempt) {
    std::string endless = Reply(7, 'O') + std::string(PnaStreamParser::kMaxHeader, 'v');
    server.AddScript({S::ExpectBytes(HelloSize("/g.rm")), S::Send(Q(endless)), S::Stall()});
    server.AddScript({S::ExpectBytes(HelloSize("/g.rm")), S::Send(Q(MediaStream(0, 2)))});
    h.Start(Url("/g.rm"), false, h.Path("g.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_TRUE(h.LogHas(" E stream header too large (more than 1048576 bytes)\r\n"));
    EXPECT_TRUE(h.File("g.rm") == Q(MediaFile(2)));
}

// The resume's seek goes through the job's connection: with a fake one the whole resume
// runs on recorded bytes.
TEST(PnmRecorded, ResumeSeeksThroughTheConnection) {
    EnsureTestApp();
    TempSettings settings;
    PnaTemplate::Load();
    FakeHost host;
    FakeConnector net;
    host.url = "pnm://127.0.0.1:7070/r.rm";
    host.file = MediaFile(6); // the last key frame is at 12000
    PnmTransfer job(&host, "127.0.0.1", "/r.rm", 7070);
    job.SetConnector(&net);
    static_cast<TransferJob&>(job).SetStartOffset(int64_t(host.file.size()));
    ASSERT_EQ(job.Start(), 1);
    FakeConnection& c = net.Last();
    EXPECT_EQ(c.port, 7070);
    job.HandleConnected(&c);
    job.HandleWritable(&c);
    EXPECT_EQ(c.sent.size(), size_t(374 + 4));
    // The partial file is judged when the first bytes come.
    std::string reply = Reply(10, 'O');
    EXPECT_TRUE(job.HandleData(&c, reply.data(), reply.size()));
    EXPECT_EQ(c.sent.substr(c.sent.size() - 7), std::string("PS\0\0\x2e\xe0"
                                                            "B",
                                                            7));
    std::string rest = MediaStream(3, 8).substr(reply.size());
    EXPECT_FALSE(job.HandleData(&c, rest.data(), rest.size()));
    EXPECT_EQ(host.finished, 1) << host.log;
    EXPECT_TRUE(host.file == MediaFile(8));
    EXPECT_NE(host.log.find("O starting from: 12000\n"), std::string::npos);
}
