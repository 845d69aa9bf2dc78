// Recording real RealMedia and RealAudio streams from our PNA server: every stream kind
// opens and decodes, an interrupted recording resumes into the same file, a busy server is
// waited for, live streams are recorded until stopped.
#include "ItemHarness.h"
#include "PnaStreamServer.h"
#include "PnmFixtures.h"
#include "RealMediaCheck.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "peers/FreePort.h"
#include "peers/ScriptedServer.h"
#include "protocols/PnmTransfer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace vireo;
using namespace vireo::pna;
using namespace vireo::test;

namespace {
enum class Source { Audio, Movie, Speech };

struct Stream {
    const char* name;
    Source source;
    PnaServerOptions options;
    PnaContent::AudioHeader audio = PnaContent::AudioHeader::Version4Corrected;
    QStringList codecs;
    double packetSeconds; // one packet of the content
};

PnaServerOptions Options(int version, char reply = 'i', bool longFraming = false) {
    PnaServerOptions o;
    o.pnaVersion = version;
    o.audioReply = reply;
    o.longFraming = longFraming;
    return o;
}

const Stream kAudio20{"RealMedia, short framing", Source::Audio, Options(10), {}, {"ac3"}, 0.035};
const Stream kMovie90{"RealMedia with video, long framing",
                      Source::Movie,
                      Options(10, 'i', true),
                      {},
                      {"rv10", "ac3"},
                      0.1};
const Stream kSpeech8i{"RealAudio 3.0 from a version 8 server", Source::Speech, Options(8, 'i'),
                       PnaContent::AudioHeader::Version3,       {"ra_144"},     0.24};
const Stream kSpeech8r{"RealAudio 4.0 from a version 8 server ('r')",
                       Source::Speech,
                       Options(8, 'r'),
                       PnaContent::AudioHeader::Version4,
                       {"ra_144"},
                       0.24};
const Stream kSpeech5{"RealAudio 4.0 from a version 5 server", Source::Speech, Options(5),
                      PnaContent::AudioHeader::Version4,       {"ra_144"},     0.24};
// The rate field of this header is the one servers seek by (players read it otherwise, so
// only the resume tests use it).
const Stream kSpeech5Seekable{
    "RealAudio 4.0 from a version 5 server, seekable", Source::Speech, Options(5),
    PnaContent::AudioHeader::Version4Corrected,        {"ra_144"},     0.24};

class PnmStream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixtures.Ok()) << fixtures.Error().toStdString();
        Settings().SetInt(keys::BusyIdle, 1);
    }

    static QString SourceFile(Source source) {
        StreamFixtures& f = StreamFixtures::Get();
        return source == Source::Audio   ? f.Audio()
               : source == Source::Movie ? f.Movie()
                                         : f.Speech();
    }
    static PnaContent Content(const Stream& s, bool live = false) {
        std::optional<PnaContent> content =
            s.source == Source::Speech
                ? PnaContent::FromRealAudio(SourceFile(s.source), s.audio, 240, live)
                : PnaContent::FromRealMedia(SourceFile(s.source));
        EXPECT_TRUE(content) << s.name;
        return content ? *content : PnaContent();
    }
    std::unique_ptr<PnaStreamServer> Serve(const Stream& s, PnaServerOptions options,
                                           bool live = false) {
        options.live = live;
        auto server = std::make_unique<PnaStreamServer>(Content(s, live), options);
        EXPECT_TRUE(server->Listen());
        return server;
    }
    // Records the server's stream into name; true when the item finished.
    bool Record(ItemHarness& harness, PnaStreamServer& server, const std::string& name,
                bool resume = false) {
        harness.Start(server.Url("/media/" + QString::fromStdString(name)).toStdString(), resume,
                      harness.Path(name));
        return harness.WaitDone(40000) && harness.finished == 1;
    }
    QString PathOf(ItemHarness& harness, const std::string& name) {
        return QString::fromStdString(harness.Path(name));
    }

    StreamFixtures& fixtures = StreamFixtures::Get();
};
} // namespace

TEST_F(PnmStream, EveryStreamKindOpensWithItsCodecsAndDuration) {
    for (const Stream* s : {&kAudio20, &kMovie90, &kSpeech8i, &kSpeech8r, &kSpeech5}) {
        SCOPED_TRACE(s->name);
        ItemHarness h;
        std::unique_ptr<PnaStreamServer> server = Serve(*s, s->options);
        ASSERT_TRUE(Record(h, *server, "stream.rm")) << h.LogText();
        EXPECT_EQ(server->Paths().front(), "media/stream.rm");
        EXPECT_TRUE(server->Seeks().empty());
        QString path = PathOf(h, "stream.rm");

        Probe probe = ProbeFile(path);
        ASSERT_TRUE(probe.ok) << probe.error.toStdString();
        EXPECT_EQ(probe.codecs, s->codecs);
        double sourceDuration = ProbeFile(SourceFile(s->source)).duration;
        if (s->source == Source::Speech)
            sourceDuration = 6.0; // the content is cut to whole blocks
        EXPECT_LE(std::abs(probe.duration - sourceDuration), s->packetSeconds)
            << probe.duration << " against " << sourceDuration;
        ToolRun decode = DecodeFile(path);
        EXPECT_TRUE(decode.Ok() && decode.err.isEmpty()) << decode.err.toStdString();

        QByteArray audio = DecodedAudio(path);
        QByteArray source = DecodedAudio(SourceFile(s->source));
        EXPECT_GT(audio.size(), source.size() * 9 / 10);
        EXPECT_TRUE(audio == source.left(audio.size())) << "decoded audio differs";
        if (s->source != Source::Speech) {
            RealMediaFacts facts = CheckRealMedia(h.File("stream.rm"));
            EXPECT_EQ(facts.problem, "");
            EXPECT_GT(facts.indexRecords, 0);
            EXPECT_TRUE(h.LogHas(" I rmf content\r\n"));
        }
    }
}

TEST_F(PnmStream, RecordingCutInTheMiddleResumesIntoTheSameFile) {
    struct Case {
        const Stream* stream;
        int cutAfter;
    } cases[] = {{&kAudio20, 50}, {&kMovie90, 70}, {&kSpeech8i, 14}, {&kSpeech5Seekable, 17}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream->name);
        ItemHarness whole;
        std::unique_ptr<PnaStreamServer> first = Serve(*c.stream, c.stream->options);
        ASSERT_TRUE(Record(whole, *first, "whole.rm"));

        ItemHarness h;
        Settings().SetInt(keys::Timeout, 1);
        PnaServerOptions cut = c.stream->options;
        cut.cutAfterPackets = c.cutAfter;
        std::unique_ptr<PnaStreamServer> server = Serve(*c.stream, cut);
        ASSERT_TRUE(Record(h, *server, "cut.rm")) << h.LogText();
        EXPECT_EQ(server->Connections(), 2);
        ASSERT_EQ(server->Seeks().size(), 1u);
        EXPECT_GT(server->Seeks()[0], 0u);
        EXPECT_TRUE(h.LogHas(" O starting from: " + std::to_string(server->Seeks()[0]) + "\r\n"));
        EXPECT_TRUE(h.LogHas(" in 2 attemps\r\n"));
        EXPECT_TRUE(server->Unknown().isEmpty());

        QByteArray resumed = h.File("cut.rm");
        EXPECT_TRUE(resumed == whole.File("whole.rm")) << "the files differ";
        EXPECT_TRUE(DecodedAudio(PathOf(h, "cut.rm")) == DecodedAudio(PathOf(whole, "whole.rm")));
        if (c.stream->source != Source::Speech) {
            EXPECT_EQ(CheckRealMedia(resumed).problem, "");
        }
    }
}

// A RealAudio 4.0 header whose rate field the rate table does not correct makes the seek
// land past the partial file: the stream ends before the file's data comes again, and the
// recording starts over instead of finishing with what was there.
TEST_F(PnmStream, SeekPastThePartialFileRecordsAgainFromTheStart) {
    Stream s = kSpeech8r;
    ItemHarness whole;
    std::unique_ptr<PnaStreamServer> first = Serve(s, s.options);
    ASSERT_TRUE(Record(whole, *first, "whole.ra"));

    ItemHarness h;
    Settings().SetInt(keys::Timeout, 1);
    PnaServerOptions cut = s.options;
    cut.cutAfterPackets = 20;
    std::unique_ptr<PnaStreamServer> server = Serve(s, cut);
    ASSERT_TRUE(Record(h, *server, "cut.ra")) << h.LogText();
    EXPECT_TRUE(h.LogHas(" E stream ended before the recorded part, recording from the start\r\n"));
    EXPECT_EQ(server->Connections(), 3);
    EXPECT_EQ(server->Seeks().size(), 1u);
    EXPECT_TRUE(h.File("cut.ra") == whole.File("whole.ra"));
}

TEST_F(PnmStream, BusyServerIsAskedAgainAfterTheBusyIdleTime) {
    PnaServerOptions options = kAudio20.options;
    options.busyConnections = 1;
    std::unique_ptr<PnaStreamServer> server = Serve(kAudio20, options);
    ItemHarness h;
    Settings().SetInt(keys::BusyIdle, 1);
    QElapsedTimer clock;
    clock.start();
    h.Start(server->Url("/busy.rm").toStdString(), false, h.Path("busy.rm"));
    ASSERT_TRUE(WaitUntil([&] { return h.item->HasFlag(IF_BUSY); }, 5000));
    EXPECT_TRUE(h.LogHas(" ! server busy\r\n"));
    ASSERT_TRUE(h.WaitDone(20000));
    EXPECT_EQ(h.finished, 1);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(server->Connections(), 2);
    EXPECT_FALSE(h.item->HasFlag(IF_BUSY));
    EXPECT_EQ(ProbeFile(PathOf(h, "busy.rm")).codecs, QStringList{"ac3"});
}

// A server that starts listening 3 s after the recording began (time-out 2 s, 5
// attempts) is reached by a later attempt: refused connections wait out their time-out.
TEST_F(PnmStream, ServerThatComesUpLateIsRecorded) {
    PnaStreamServer server(Content(kAudio20), kAudio20.options);
    quint16 port = FreePort();
    ItemHarness h;
    Settings().SetInt(keys::Timeout, 2);
    Settings().SetInt(keys::MaxAttemp, 5);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(3000, Qt::PreciseTimer, [&] { ASSERT_TRUE(server.Listen(port)); });
    h.Start("pnm://127.0.0.1:" + std::to_string(port) + "/media/late.rm", false, h.Path("late.rm"));
    ASSERT_TRUE(h.WaitDone(40000));
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_GE(clock.elapsed(), 3000);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_TRUE(h.LogHas(" E connection failed: "));
    EXPECT_EQ(ProbeFile(PathOf(h, "late.rm")).codecs, QStringList{"ac3"});
}

TEST_F(PnmStream, LiveStreamIsRecordedUntilStoppedWithItsTimestampsFromZero) {
    for (const Stream* s : {&kAudio20, &kSpeech8i}) {
        SCOPED_TRACE(s->name);
        PnaServerOptions options = s->options;
        options.tickMs = 5;
        std::unique_ptr<PnaStreamServer> server = Serve(*s, options, true);
        ItemHarness h;
        h.Start(server->Url("/live.rm").toStdString(), false, h.Path("live.rm"));
        // More than the content once: the server went round at least once.
        int64_t enough = s->source == Source::Speech ? 8000 : 60000;
        ASSERT_TRUE(WaitUntil([&] { return h.item->Received() > enough; }, 20000)) << h.LogText();
        EXPECT_TRUE(h.item->HasFlag(IF_LIVE));
        PnmTransfer* job = dynamic_cast<PnmTransfer*>(h.item->Job());
        ASSERT_NE(job, nullptr);
        h.item->StopTransfer();
        EXPECT_EQ(h.finished + h.failed, 0);

        QString path = PathOf(h, "live.rm");
        Probe probe = ProbeFile(path);
        ASSERT_TRUE(probe.ok) << probe.error.toStdString();
        EXPECT_EQ(probe.codecs, s->codecs);
        EXPECT_GT(probe.duration, 3.0);
        ToolRun decode = DecodeFile(path);
        EXPECT_TRUE(decode.Ok()) << decode.err.toStdString();
        if (s->source == Source::Audio) {
            RealMediaFacts facts = CheckRealMedia(h.File("live.rm"), true);
            EXPECT_EQ(facts.problem, "");
            EXPECT_EQ(facts.firstTimestamp, 0u); // the server began at 50000
            EXPECT_GT(facts.lastTimestamp, 3000u);

            // Resumed, a live recording is not sought: it goes on at the end of the file,
            // its timeline continuing.
            int64_t before = h.File("live.rm").size();
            h.Start(server->Url("/live.rm").toStdString(), true, h.Path("live.rm"));
            ASSERT_TRUE(WaitUntil([&] { return h.item->Received() > before + enough; }, 20000));
            h.item->StopTransfer();
            EXPECT_TRUE(server->Seeks().empty());
            RealMediaFacts more = CheckRealMedia(h.File("live.rm"), true);
            EXPECT_EQ(more.problem, "");
            EXPECT_EQ(more.firstTimestamp, 0u);
            EXPECT_GT(more.packets, facts.packets);
            EXPECT_GT(more.lastTimestamp, facts.lastTimestamp + 3000);
            EXPECT_TRUE(DecodeFile(path).Ok());
        } else {
            EXPECT_TRUE(h.File("live.rm").startsWith(".ra\xFD"));
        }
    }
}

TEST_F(PnmStream, ServerMessageFailsTheItemWithTheMessageInTheLog) {
    PnaServerOptions options = kAudio20.options;
    options.serverMessage = "Server full, try later";
    std::unique_ptr<PnaStreamServer> server = Serve(kAudio20, options);
    ItemHarness h;
    h.Start(server->Url("/m.rm").toStdString(), false, h.Path("m.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, ErrCorrupted);
    EXPECT_TRUE(h.LogHas(" ! Server full, try later\r\n"));
}

TEST_F(PnmStream, PathLongerThanARequestHoldsFailsTheItem) {
    std::unique_ptr<PnaStreamServer> server = Serve(kAudio20, kAudio20.options);
    ItemHarness h;
    h.Start(server->Url("/" + QString(1100, 'p') + ".rm").toStdString(), false, h.Path("p.rm"));
    ASSERT_TRUE(h.WaitDone());
    EXPECT_EQ(h.error, ErrParseUrl);
    EXPECT_TRUE(server->Paths().empty());
}

// A RealAudio metafile fetched over HTTP leads the item to the stream it names.
TEST_F(PnmStream, MetafileOverHttpLeadsToTheRecording) {
    std::unique_ptr<PnaStreamServer> server = Serve(kAudio20, kAudio20.options);
    ScriptedServer web;
    QByteArray body = server->Url("/stream.rm").toUtf8() + "\r\n";
    web.AddScript({ScriptStep::ExpectRequest(),
                   ScriptStep::Send("HTTP/1.0 200 OK\r\nContent-Type: audio/x-pn-realaudio\r\n"
                                    "Content-Length: " +
                                    QByteArray::number(body.size()) + "\r\n\r\n" + body)});
    ItemHarness h;
    h.Start(web.Url("/clip.ram").toStdString());
    ASSERT_TRUE(h.WaitDone(20000));
    EXPECT_EQ(h.finished, 1) << h.LogText();
    EXPECT_EQ(h.item->Url(), server->Url("/stream.rm").toStdString());
    EXPECT_EQ(ProbeFile(PathOf(h, "stream.rm")).codecs, QStringList{"ac3"});
}
