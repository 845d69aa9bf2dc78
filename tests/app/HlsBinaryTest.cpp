// The built program recording stream playlists from a real web server: streams that
// ffmpeg makes from generated pictures and sound (MPEG-TS, fragmented MP4, AES-128, a
// master playlist of two variants, a live playlist this test advances), checked with
// ffprobe and ffmpeg.
#include "TempSettings.h"
#include "peers/NginxPeer.h"
#include "peers/ProxyPeer.h"
#include "peers/ScriptedServer.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"
#include "settings/Startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <sys/xattr.h>

using namespace vireo;
using namespace vireo::test;

namespace {
// Runs a tool; its standard error (ffmpeg and ffprobe report there), or "exit N: ...".
QString Tool(const QString& program, const QStringList& args, const QString& dir = {},
             QString* out = nullptr) {
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return "timed out";
    if (out)
        *out = p.readAllStandardOutput();
    QString err = p.readAllStandardError();
    if (p.exitCode() != 0)
        return "exit " + QString::number(p.exitCode()) + ": " + err;
    return err;
}

QStringList Source(int seconds, const QString& size, const QStringList& video) {
    return QStringList{"-v",
                       "error",
                       "-y",
                       "-f",
                       "lavfi",
                       "-i",
                       "testsrc=size=" + size + ":rate=25",
                       "-f",
                       "lavfi",
                       "-i",
                       "sine",
                       "-t",
                       QString::number(seconds)} +
           video + QStringList{"-c:a", "aac", "-f", "hls", "-hls_playlist_type", "vod"};
}

// Every stream is made once per run of this program.
class Streams {
public:
    Streams() {
        const QStringList h264{"-c:v", "libx264", "-preset",       "ultrafast",
                               "-g",   "50",      "-sc_threshold", "0"};
        Make("ts",
             Source(12, "320x240", h264) +
                 QStringList{"-hls_time", "2", "-hls_segment_filename", "seg%d.ts", "index.m3u8"});
        Make("fmp4", Source(12, "320x240", h264) +
                         QStringList{"-hls_time", "2", "-hls_segment_type", "fmp4",
                                     "-hls_fmp4_init_filename", "init.mp4", "-hls_segment_filename",
                                     "seg%d.m4s", "index.m3u8"});
        QDir().mkpath(Dir("aes"));
        WriteFileUnder(Dir("aes"), "key.bin", "0123456789abcdef");
        WriteFileUnder(Dir("aes"), "keyinfo",
                       "key.bin\n" + Dir("aes").toUtf8() +
                           "/key.bin\n00112233445566778899aabbccddeeff\n");
        Make("aes", Source(12, "320x240", h264) +
                        QStringList{"-hls_time", "2", "-hls_key_info_file", "keyinfo",
                                    "-hls_segment_filename", "seg%d.ts", "index.m3u8"});
        // Two variants: the high one is large enough to take seconds at 2 MB/s.
        Make("master/low",
             Source(12, "160x120", h264) +
                 QStringList{"-hls_time", "2", "-hls_segment_filename", "seg%d.ts", "index.m3u8"});
        Make("master/high",
             Source(12, "320x240",
                    QStringList{"-vf", "noise=alls=80:allf=t+u", "-b:v", "6M"} + h264) +
                 QStringList{"-hls_time", "2", "-hls_segment_filename", "seg%d.ts", "index.m3u8"});
        WriteFileUnder(Dir("master"), "master.m3u8",
                       "#EXTM3U\n"
                       "#EXT-X-STREAM-INF:BANDWIDTH=300000,RESOLUTION=160x120\nlow/index.m3u8\n"
                       "#EXT-X-STREAM-INF:BANDWIDTH=6500000,RESOLUTION=320x240\nhigh/index.m3u8\n");
        // One-second segments for the live playlist the test writes.
        Make("live",
             Source(40, "160x120",
                    QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
                                "-sc_threshold", "0"}) +
                 QStringList{"-hls_time", "1", "-hls_segment_filename", "seg%d.ts", "index.m3u8"});
    }
    QString Dir(const QString& name) const { return m_dir.path() + "/" + name; }
    QString errors;

private:
    void Make(const QString& name, const QStringList& args) {
        QDir().mkpath(Dir(name));
        QString err = Tool("ffmpeg", args, Dir(name));
        if (!err.isEmpty())
            errors += name + ": " + err + "\n";
    }
    QTemporaryDir m_dir;
};

Streams& TheStreams() {
    static Streams streams;
    return streams;
}

QByteArray Concat(const QString& dir, const QString& first, const QString& pattern, int count) {
    QByteArray all = first.isEmpty() ? QByteArray() : ReadWholeFile(dir + "/" + first);
    for (int i = 0; i < count; ++i)
        all += ReadWholeFile(dir + "/" + pattern.arg(i));
    return all;
}

// When nginx served each GET of its access log, by path: from the request's first byte to
// the reply's last, in seconds.
struct Served {
    double start = 0, end = 0;
};
std::map<QString, Served> ServedByPath(const QString& accessLog) {
    static const QRegularExpression line(
        R"re("GET (\S+) HTTP/1\.[01]" 200 .* (\d+\.\d+) (\d+\.\d+)$)re");
    std::map<QString, Served> served;
    for (const QString& text : accessLog.split('\n')) {
        QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            served[m.captured(1)] = {m.captured(2).toDouble() - m.captured(3).toDouble(),
                                     m.captured(2).toDouble()};
    }
    return served;
}

class HlsRecording : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TheStreams().errors, "");
        ASSERT_TRUE(server.Start());
        out = QString::fromStdString(temp.Path("/out"));
        logs = QString::fromStdString(temp.Path("/logs"));
        QDir().mkpath(out);
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::Timeout, 10);
    }
    void Serve(const QString& name) {
        QDir source(TheStreams().Dir(name));
        for (const QString& file : source.entryList(QDir::Files))
            server.Put(name + "/" + file, ReadWholeFile(source.filePath(file)));
    }
    void Launch(QProcess& p, const QStringList& args, const QString& dir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy"}) {
            env.remove(name);
            env.remove(QString(name).toUpper());
        }
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([] {
            for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
                std::signal(signo, SIG_DFL);
        });
        QDir().mkpath(dir);
        p.start(VIREO_BINARY, QStringList{"--headless", "--log-dir", logs, "-d", dir} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
    // Runs to the end; standard output and error.
    QString Run(const QStringList& args, const QString& dir, int* status) {
        QProcess p;
        Launch(p, args, dir);
        if (!p.waitForFinished(60000))
            p.kill();
        p.waitForFinished();
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        return p.readAllStandardOutput() + p.readAllStandardError();
    }
    // The transfer logs of a run that has not ended.
    QString RunningLogs() const {
        QDir dir(QString::fromStdString(temp.Path("/home/logs")));
        QString all;
        for (const QString& name : dir.entryList({"*.log"}, QDir::Files))
            all += ReadWholeFile(dir.filePath(name));
        return all;
    }
    QString Log(const QString& name) const { return ReadWholeFile(logs + "/" + name + ".log"); }
    // The media sequence numbers the log names as written, in order.
    static std::vector<int> SegmentsLogged(const QString& log) {
        std::vector<int> numbers;
        QRegularExpression re("! segment (\\d+): ");
        for (auto it = re.globalMatch(log); it.hasNext();)
            numbers.push_back(it.next().captured(1).toInt());
        return numbers;
    }
    // Codecs and duration as ffprobe reads them, and what ffmpeg says decoding the file.
    struct Probe {
        QStringList codecs;
        double duration = -1;
        QString decodeErrors;
    };
    static Probe Examine(const QString& file) {
        Probe probe;
        QString text;
        Tool("ffprobe",
             {"-v", "error", "-show_entries", "stream=codec_name:format=duration", "-of",
              "default=nw=1", file},
             {}, &text);
        for (const QString& line : text.split('\n')) {
            if (line.startsWith("codec_name="))
                probe.codecs << line.mid(11);
            if (line.startsWith("duration="))
                probe.duration = line.mid(9).toDouble();
        }
        probe.codecs.sort();
        probe.codecs.removeDuplicates(); // a transport stream lists its program's streams too
        probe.decodeErrors = Tool("ffmpeg", {"-v", "error", "-i", file, "-f", "null", "-"});
        return probe;
    }

    // The live playlist: a sliding window of three one-second segments from first, with an
    // end when end is set.
    void WriteWindow(int first, bool end = false) {
        QByteArray text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                          "#EXT-X-MEDIA-SEQUENCE:" +
                          QByteArray::number(first) + "\n";
        for (int i = first; i < first + 3; ++i)
            text += "#EXTINF:1.000000,\n" +
                    (elsewhere.count(i) ? elsewhere[i] : "seg" + QByteArray::number(i) + ".ts") +
                    "\n";
        if (end)
            text += "#EXT-X-ENDLIST\n";
        QSaveFile f(server.DocRoot() + "/live/live.m3u8");
        f.open(QIODevice::WriteOnly);
        f.write(text);
        f.commit();
    }
    // Moves the window on by one segment every second, from first, for ms or until the run
    // ends; the window's first segment at the end.
    int Advance(QProcess& p, int first, int ms) {
        QElapsedTimer clock;
        clock.start();
        int shown = -1;
        WaitUntil(
            [&] {
                int now = first + int(clock.elapsed() / 1000);
                if (now != shown)
                    WriteWindow(shown = now);
                return p.state() == QProcess::NotRunning;
            },
            ms);
        return shown;
    }
    // SIGINT to a run that is still going; false when it had ended already or does not end.
    static bool Interrupt(QProcess& p) {
        if (p.state() != QProcess::Running)
            return false;
        ::kill(pid_t(p.processId()), SIGINT);
        return p.waitForFinished(10000);
    }
    // The JSON objects the run printed with the given event.
    static std::vector<QJsonObject> JsonEvents(const QString& output, const QString& event) {
        std::vector<QJsonObject> events;
        for (const QString& line : output.split('\n')) {
            QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            if (object["event"].toString() == event)
                events.push_back(object);
        }
        return events;
    }

    TempSettings temp;
    NginxPeer server;
    QString out, logs;
    std::map<int, QByteArray> elsewhere; // live segments served from another address
};

TEST_F(HlsRecording, TsFragmentedMp4AndAes128RecordingsPlay) {
    struct Case {
        const char* dir;
        const char* playlist;
        const char* file; // what the recording is named
        const char* first;
        const char* pattern;
    } cases[] = {{"ts", "index.m3u8", "index.ts", "", "seg%1.ts"},
                 {"fmp4", "index.m3u8", "index.mp4", "init.mp4", "seg%1.m4s"},
                 {"aes", "index.m3u8", "index.ts", "", ""},
                 // Known by its type alone (application/x-mpegURL), not by its name.
                 {"ts", "index.playlist", "index.ts", "", "seg%1.ts"}};
    for (const Case& c : cases) {
        Serve(c.dir);
        server.Put(QString(c.dir) + "/index.playlist",
                   ReadWholeFile(TheStreams().Dir(c.dir) + "/index.m3u8"));
        const QString url = server.HttpUrl("/" + QString(c.dir) + "/" + c.playlist);
        QString dir = out + "/" + c.dir + "-" + c.playlist;
        int status = 0;
        QString output = Run({url}, dir, &status);
        EXPECT_EQ(status, 0) << c.dir << output.toStdString();
        QString file = dir + "/" + c.file;
        ASSERT_TRUE(QFile::exists(file)) << c.dir << output.toStdString();
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{c.file}) << c.playlist;
        Probe probe = Examine(file);
        EXPECT_EQ(probe.codecs, (QStringList{"aac", "h264"})) << c.dir;
        EXPECT_NEAR(probe.duration, 12.0, 2.0) << c.dir;
        EXPECT_EQ(probe.decodeErrors, "") << c.dir;
        if (*c.pattern) // the plain segments, whole and in order
            EXPECT_TRUE(ReadWholeFile(file) ==
                        Concat(TheStreams().Dir(c.dir), c.first, c.pattern, 6))
                << c.dir;
        QString log = Log(c.file);
        EXPECT_TRUE(log.contains("playlist: " + url)) << log.toStdString();
        EXPECT_EQ(SegmentsLogged(log), (std::vector<int>{0, 1, 2, 3, 4, 5})) << log.toStdString();
        QFile::remove(logs + "/" + c.file + ".log");
    }
    // The encrypted segments are not what was written: they were decrypted.
    EXPECT_FALSE(ReadWholeFile(out + "/aes-index.m3u8/index.ts")
                     .contains(ReadWholeFile(TheStreams().Dir("aes") + "/seg1.ts").left(4096)));
}

TEST_F(HlsRecording, MasterTakesTheHighestBandwidthAndAKilledRecordingContinues) {
    Serve("master");
    Serve("master/low");
    Serve("master/high");
    const QByteArray high = Concat(TheStreams().Dir("master/high"), "", "seg%1.ts", 6);
    ASSERT_GT(high.size(), 6 * 1024 * 1024); // some seconds at 2 MB/s

    int status = 0;
    QString whole = out + "/whole";
    QString output = Run({server.HttpUrl("/master/master.m3u8")}, whole, &status);
    ASSERT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(ReadWholeFile(whole + "/master.ts") == high);
    QString log = Log("master.ts");
    EXPECT_TRUE(log.contains("variant: " + server.HttpUrl("/master/high/index.m3u8") +
                             ", bandwidth 6500000, resolution 320x240"))
        << log.toStdString();
    QFile::remove(logs + "/master.ts.log");

    // Slowly, killed at about half, then started again.
    const QString url = server.HttpUrl("/slow/master/master.m3u8");
    const QString dir = out + "/killed", file = dir + "/master.ts";
    QProcess first;
    Launch(first, {url}, dir);
    ASSERT_TRUE(WaitUntil([&] { return QFile(file).size() > high.size() / 2; }, 30000))
        << RunningLogs().toStdString();
    first.kill();
    first.waitForFinished();
    qint64 partial = QFile(file).size();
    ASSERT_LT(partial, high.size());
    char state[4096];
    ssize_t n = ::getxattr(file.toUtf8().constData(), "user.vireo.stream", state, sizeof state);
    ASSERT_GT(n, 0);
    EXPECT_TRUE(
        std::string(state, size_t(n))
            .find("variant " + server.HttpUrl("/slow/master/high/index.m3u8").toStdString()) !=
        std::string::npos)
        << std::string(state, size_t(n));

    // A cap that the first run did not have would take the low variant: the recording
    // still goes on with the variant it began with, and tells that one.
    QFile::remove(logs + "/master.ts.log");
    output = Run({"--json", "--hls-max-height", "200", url}, dir, &status);
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(ReadWholeFile(file) == high);
    log = Log("master.ts");
    EXPECT_TRUE(log.contains("continuing the recording at segment ")) << log.toStdString();
    EXPECT_TRUE(log.contains("variant: " + server.HttpUrl("/slow/master/high/index.m3u8") +
                             " (as the recording began)"))
        << log.toStdString();
    std::vector<QJsonObject> done = JsonEvents(output, "done");
    ASSERT_EQ(done.size(), 1u) << output.toStdString();
    const QJsonObject highVariant{{"uri", server.HttpUrl("/slow/master/high/index.m3u8")},
                                  {"bandwidth", 6500000},
                                  {"resolution", "320x240"}};
    EXPECT_EQ(done[0]["variant"].toObject(), highVariant) << output.toStdString();
    // Progress lines name the variant once it is known (how many come depends on the pace:
    // the segments now arrive several at once).
    for (const QJsonObject& line : JsonEvents(output, "progress")) {
        if (line.contains("variant")) {
            EXPECT_EQ(line["variant"].toObject(), highVariant);
        }
    }
    std::vector<int> second = SegmentsLogged(log);
    ASSERT_FALSE(second.empty());
    EXPECT_GT(second.front(), 0); // the segments the first run wrote were not fetched again
    EXPECT_EQ(second.back(), 5);
    // The finished recording keeps no state.
    EXPECT_LT(::getxattr(file.toUtf8().constData(), "user.vireo.stream", state, sizeof state), 0);
}

TEST_F(HlsRecording, TheVariantKeepsWithinTheCapAndJsonNamesIt) {
    Serve("master");
    Serve("master/low");
    Serve("master/high");
    const QByteArray low = Concat(TheStreams().Dir("master/low"), "", "seg%1.ts", 6);
    const QByteArray high = Concat(TheStreams().Dir("master/high"), "", "seg%1.ts", 6);
    const QJsonObject lowVariant{{"uri", server.HttpUrl("/master/low/index.m3u8")},
                                 {"bandwidth", 300000},
                                 {"resolution", "160x120"}};
    const QJsonObject highVariant{{"uri", server.HttpUrl("/master/high/index.m3u8")},
                                  {"bandwidth", 6500000},
                                  {"resolution", "320x240"}};
    struct Case {
        int storedHeight; // the setting "hlsmaxheight"
        QStringList args;
        const QByteArray& recorded;
        const QJsonObject& variant;
        const char* why;
    } cases[] = {
        {120, {}, low, lowVariant, "(the highest bandwidth within 120 lines)"},
        {0,
         {"--hls-max-bandwidth", "6500000"},
         high,
         highVariant,
         "(the highest bandwidth within 6500000 bits/s)"},
        {0,
         {"--hls-max-bandwidth", "100k"},
         low,
         lowVariant,
         "(the lowest bandwidth: none is within 102400 bits/s)"},
        {120, {"--hls-max-height", "0"}, high, highVariant, "(the highest bandwidth)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Settings().SetInt(keys::HlsMaxHeight, c.storedHeight);
        QString dir = out + "/cap" + QString::number(n++);
        int status = 0;
        QString output =
            Run(QStringList{"--json"} + c.args + QStringList{server.HttpUrl("/master/master.m3u8")},
                dir, &status);
        ASSERT_EQ(status, 0) << output.toStdString();
        EXPECT_TRUE(ReadWholeFile(dir + "/master.ts") == c.recorded);
        QString log = Log("master.ts");
        EXPECT_TRUE(log.contains("variant: " + c.variant["uri"].toString() + ", bandwidth " +
                                 QString::number(c.variant["bandwidth"].toInteger()) +
                                 ", resolution " + c.variant["resolution"].toString() + " " +
                                 c.why))
            << log.toStdString();
        std::vector<QJsonObject> done = JsonEvents(output, "done");
        ASSERT_EQ(done.size(), 1u) << output.toStdString();
        EXPECT_EQ(done[0]["variant"].toObject(), c.variant) << output.toStdString();
        QFile::remove(logs + "/master.ts.log");
    }
    // A media playlist given directly has no variant to tell.
    Serve("ts");
    int status = 0;
    QString output = Run({"--json", server.HttpUrl("/ts/index.m3u8")}, out + "/direct", &status);
    ASSERT_EQ(status, 0) << output.toStdString();
    std::vector<QJsonObject> done = JsonEvents(output, "done");
    ASSERT_EQ(done.size(), 1u) << output.toStdString();
    EXPECT_FALSE(done[0].contains("variant")) << output.toStdString();
}

TEST_F(HlsRecording, LivePlaylistIsRecordedWithoutGapsOrRepeatsUntilStopped) {
    Serve("live");
    WriteWindow(0);
    QProcess p;
    const QString dir = out + "/live";
    Launch(p, {server.HttpUrl("/live/live.m3u8")}, dir);
    Advance(p, 0, 20000); // twenty seconds of a live stream
    ASSERT_TRUE(Interrupt(p)) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();

    QString log = Log("live.ts");
    std::vector<int> numbers = SegmentsLogged(log);
    ASSERT_GE(numbers.size(), 16u) << log.toStdString();
    for (size_t i = 1; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], numbers[i - 1] + 1) << log.toStdString();
    EXPECT_TRUE(log.contains("live playlist: ")) << log.toStdString();
    EXPECT_TRUE(log.contains("reloading the playlist")) << log.toStdString();
    Probe probe = Examine(dir + "/live.ts");
    EXPECT_EQ(probe.codecs, (QStringList{"aac", "h264"}));
    EXPECT_NEAR(probe.duration, double(numbers.size()), 1.5);
    EXPECT_EQ(probe.decodeErrors, "");
}

// A segment still on its way when the live playlist has moved past it is no gap: it was
// listed and is being fetched. The recording waits for it and goes on in order.
TEST_F(HlsRecording, ASlowSegmentTheLivePlaylistMovedPastIsStillRecorded) {
    Serve("live");
    const QByteArray seg2 = ReadWholeFile(TheStreams().Dir("live") + "/seg2.ts");
    ASSERT_GT(seg2.size(), 4000);
    ScriptedServer slow; // about four seconds for the one segment
    slow.AddScript(
        {ScriptStep::ExpectRequest(),
         ScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(seg2.size()) +
                          "\r\nConnection: close\r\n\r\n"),
         ScriptStep::SendSlowly(seg2, seg2.size() / 40 + 1, 100), ScriptStep::Close()});
    elsewhere[2] = slow.Url("/seg2.ts").toUtf8();
    WriteWindow(0);
    QProcess p;
    const QString dir = out + "/slowlive";
    Launch(p, {server.HttpUrl("/live/live.m3u8")}, dir);
    Advance(p, 0, 10000); // the scripted server answers in this loop
    ASSERT_TRUE(Interrupt(p)) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(slow.AllScriptsPlayed());

    QString log = Log("live.ts");
    std::vector<int> numbers = SegmentsLogged(log);
    ASSERT_GE(numbers.size(), 6u) << log.toStdString();
    for (size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], int(i)) << log.toStdString();
    EXPECT_FALSE(log.contains("left the playlist")) << log.toStdString();
    Probe probe = Examine(dir + "/live.ts");
    EXPECT_EQ(probe.codecs, (QStringList{"aac", "h264"}));
    EXPECT_EQ(probe.decodeErrors, "");
}

TEST_F(HlsRecording, ARestartedLiveRecordingGoesOnAtTheLiveEdge) {
    Serve("live");
    const QString url = server.HttpUrl("/live/live.m3u8");
    const QString dir = out + "/live", file = dir + "/live.ts";
    WriteWindow(0);
    QProcess first;
    Launch(first, {url}, dir);
    Advance(first, 0, 5000);
    ASSERT_TRUE(Interrupt(first)) << first.readAllStandardError().toStdString();
    EXPECT_EQ(first.exitCode(), 130);
    std::vector<int> before = SegmentsLogged(Log("live.ts"));
    ASSERT_GE(before.size(), 3u) << Log("live.ts").toStdString();
    QFile::remove(logs + "/live.ts.log");

    // While nothing records, the window moves past the next segment.
    const int edge = before.back() + 4;
    WriteWindow(edge);
    QProcess second;
    Launch(second, {url}, dir);
    int window = Advance(second, edge, 5000);
    // Within a running recording a gap still fails the entry: the user must hear of it.
    WriteWindow(window + 6);
    second.waitForFinished(15000);
    QString output = second.readAllStandardOutput() + second.readAllStandardError();
    ASSERT_EQ(second.state(), QProcess::NotRunning) << RunningLogs().toStdString();
    EXPECT_EQ(second.exitCode(), 1) << output.toStdString();
    EXPECT_TRUE(output.contains("left the playlist before they were recorded"))
        << output.toStdString();

    QString log = Log("live.ts");
    EXPECT_TRUE(
        log.contains("continuing the recording at segment " + QString::number(before.back() + 1)))
        << log.toStdString();
    QRegularExpression warning("segments (\\d+) to (\\d+) left the playlist while the recording "
                               "was stopped: it continues at segment (\\d+)");
    QRegularExpressionMatch m = warning.match(log);
    ASSERT_TRUE(m.hasMatch()) << log.toStdString();
    EXPECT_EQ(m.captured(1).toInt(), before.back() + 1);
    int resumed = m.captured(3).toInt();
    EXPECT_EQ(m.captured(2).toInt(), resumed - 1);
    EXPECT_GE(resumed, edge);
    std::vector<int> after = SegmentsLogged(log);
    ASSERT_GE(after.size(), 3u) << log.toStdString();
    EXPECT_EQ(after.front(), resumed);
    for (size_t i = 1; i < after.size(); ++i)
        EXPECT_EQ(after[i], after[i - 1] + 1) << log.toStdString();
    Probe probe = Examine(file);
    EXPECT_EQ(probe.codecs, (QStringList{"aac", "h264"}));
    // The stretch that went by unrecorded is a jump in time, not a break in the stream.
    EXPECT_EQ(probe.decodeErrors, "");
    EXPECT_GT(probe.duration, double(before.size() + after.size()) - 1);
    QFile::remove(logs + "/live.ts.log");

    // A playlist with an end that has moved past the kept state fails as it always did.
    WriteWindow(after.back() + 5, true);
    int status = 0;
    output = Run({url}, dir, &status);
    EXPECT_EQ(status, 1) << output.toStdString();
    EXPECT_TRUE(output.contains("segments " + QString::number(after.back() + 1) + " to " +
                                QString::number(after.back() + 4) +
                                " left the playlist before they were recorded"))
        << output.toStdString();
}

TEST_F(HlsRecording, WhatCannotBeRecordedFailsWithAClearText) {
    server.Put("bad/page.m3u8", "<html>not a playlist</html>\n");
    server.Put("bad/sample.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                                  "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k.bin\"\n"
                                  "#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n");
    server.Put("bad/method.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                                  "#EXT-X-KEY:METHOD=AES-256,URI=\"k.bin\"\n"
                                  "#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n");
    server.Put("bad/shortkey.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                                    "#EXT-X-KEY:METHOD=AES-128,URI=\"k.bin\"\n"
                                    "#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n");
    server.Put("bad/k.bin", "short");
    Settings().SetInt(keys::MaxAttemp, 2);
    Settings().SetInt(keys::Timeout, 2);
    server.Put("bad/missing.m3u8",
               "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\ngone.ts\n#EXT-X-ENDLIST\n");
    struct Case {
        const char* name;
        const char* text;
    } cases[] = {
        {"page", "not a stream playlist"},
        {"sample", "SAMPLE-AES, which Vireo does not record"},
        {"method", "unknown method: AES-256"},
        {"shortkey", "has 5 bytes, not 16"},
        {"missing", "HTTP 404"},
    };
    for (const Case& c : cases) {
        int status = 0;
        QString output =
            Run({server.HttpUrl("/bad/" + QString(c.name) + ".m3u8")}, out + "/" + c.name, &status);
        EXPECT_NE(status, 0) << c.name;
        EXPECT_TRUE(output.contains("failed")) << output.toStdString();
        EXPECT_TRUE(output.contains(c.text)) << c.name << ": " << output.toStdString();
        // Nothing unverified was left behind.
        EXPECT_FALSE(QFile::exists(out + "/" + c.name + "/" + c.name + ".ts")) << c.name;
    }
}
// While the first segment crawls through the rate-limited location, the next ones come
// over connections of their own and wait in memory; none starts more than four places
// after the next one to write, and the file holds them in playlist order.
TEST_F(HlsRecording, SegmentsComeSeveralAtOnceAndAreWrittenInOrder) {
    Settings().SetInt(keys::Segments, 1); // the least: four at once
    Serve("master/high");
    const QString source = TheStreams().Dir("master/high");
    ASSERT_GT(QFile(source + "/seg0.ts").size(), 1000000); // over half a second at 2 MB/s
    QByteArray list = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n/slow/master/high/seg0.ts\n";
    for (int i = 1; i < 6; ++i)
        list += "#EXTINF:2,\nseg" + QByteArray::number(i) + ".ts\n";
    server.Put("master/high/paced.m3u8", list + "#EXT-X-ENDLIST\n");

    int status = 0;
    QString output = Run({server.HttpUrl("/master/high/paced.m3u8")}, out + "/paced", &status);
    ASSERT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(ReadWholeFile(out + "/paced/paced.ts") == Concat(source, "", "seg%1.ts", 6));
    QString log = Log("paced.ts");
    EXPECT_EQ(SegmentsLogged(log), (std::vector<int>{0, 1, 2, 3, 4, 5})) << log.toStdString();

    const QString access = server.AccessLog();
    std::map<QString, Served> served = ServedByPath(access);
    ASSERT_EQ(served.count("/slow/master/high/seg0.ts"), 1u) << access.toStdString();
    const Served first = served["/slow/master/high/seg0.ts"];
    for (int i = 1; i < 6; ++i) {
        const QString path = "/master/high/seg" + QString::number(i) + ".ts";
        ASSERT_EQ(served.count(path), 1u) << access.toStdString();
        if (i < 4) { // under way beside the first, and done before it
            EXPECT_LT(served[path].start, first.end) << i << access.toStdString();
            EXPECT_LT(served[path].end, first.end) << i << access.toStdString();
        } else { // waits until the first is written (the log's times are to the millisecond)
            EXPECT_GE(served[path].start, first.end - 0.05) << i << access.toStdString();
        }
    }
}

// A segment the server answers 404 for costs an attempt each time and is asked again
// while the others go on; when it comes at the third asking, the recording is whole.
TEST_F(HlsRecording, ASegmentMissingTwiceIsAskedAgainWhileTheOthersGoOn) {
    Settings().SetInt(keys::MaxAttemp, 3);
    Serve("ts");
    const QString source = TheStreams().Dir("ts");
    const QByteArray seg2 = ReadWholeFile(source + "/seg2.ts");
    ScriptedServer flaky;
    for (int i = 0; i < 2; ++i)
        flaky.AddScript({ScriptStep::ExpectRequest(),
                         ScriptStep::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
                                          "Connection: close\r\n\r\n"),
                         ScriptStep::Close()});
    flaky.AddScript(
        {ScriptStep::ExpectRequest(),
         ScriptStep::Send("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(seg2.size()) +
                          "\r\nConnection: close\r\n\r\n" + seg2),
         ScriptStep::Close()});
    QByteArray list = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
    for (int i = 0; i < 6; ++i)
        list += "#EXTINF:2,\n" +
                (i == 2 ? flaky.Url("/seg2.ts").toUtf8() : "seg" + QByteArray::number(i) + ".ts") +
                "\n";
    server.Put("ts/flaky.m3u8", list + "#EXT-X-ENDLIST\n");

    QProcess p;
    const QString dir = out + "/flaky";
    Launch(p, {server.HttpUrl("/ts/flaky.m3u8")}, dir);
    // The scripted server answers in this loop.
    ASSERT_TRUE(WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(ReadWholeFile(dir + "/flaky.ts") == Concat(source, "", "seg%1.ts", 6));
    EXPECT_EQ(flaky.ConnectionCount(), 3);
    EXPECT_TRUE(flaky.AllScriptsPlayed());
    QString log = Log("flaky.ts");
    EXPECT_EQ(log.count("404 Not Found for " + flaky.Url("/seg2.ts")), 2) << log.toStdString();
    EXPECT_EQ(SegmentsLogged(log), (std::vector<int>{0, 1, 2, 3, 4, 5})) << log.toStdString();
    // No other segment was asked for again: the failures were the one fetch's alone.
    const QString access = server.AccessLog();
    for (int i : {0, 1, 3, 4, 5})
        EXPECT_EQ(access.count("\"GET /ts/seg" + QString::number(i) + ".ts "), 1)
            << i << access.toStdString();
}

// With a proxy set, every fetch of the recording goes through it: plain requests name the
// whole address, https ones go through a tunnel. A playlist known only by its type is
// recorded through the proxy too.
TEST_F(HlsRecording, ThroughTheProxyEveryFetchGoesViaIt) {
    ProxyPeer proxy;
    ASSERT_TRUE(proxy.Start());
    Serve("ts");
    server.Put("ts/index.playlist", ReadWholeFile(TheStreams().Dir("ts") + "/index.m3u8"));
    const QByteArray whole = Concat(TheStreams().Dir("ts"), "", "seg%1.ts", 6);
    struct Case {
        QString url;
        QString file;
        QString seen; // what the proxy's log shows for each fetch
    } cases[] = {
        {server.HttpUrl("/ts/index.m3u8"), "index.ts", "GET " + server.HttpUrl("/ts/")},
        {server.HttpUrl("/ts/index.playlist"), "index.ts", "GET " + server.HttpUrl("/ts/")},
        {server.HttpsUrl("/ts/index.m3u8"), "index.ts",
         "CONNECT 127.0.0.1:" + QString::number(server.HttpsPort())},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString dir = out + "/proxied" + QString::number(n++);
        int before = int(proxy.Requests().size());
        int status = 0;
        QString output =
            Run({"--proxy", proxy.HostPort(), "--ca-certificate", server.CaFile(), c.url}, dir,
                &status);
        EXPECT_EQ(status, 0) << c.url.toStdString() << output.toStdString();
        EXPECT_TRUE(ReadWholeFile(dir + "/" + c.file) == whole)
            << c.url.toStdString() << Log(c.file).toStdString() << output.toStdString();
        QStringList seen = proxy.Requests().mid(before);
        // The playlist (typed: asked twice, the second time to record it) and six segments.
        int fetches = c.url.endsWith(".playlist") ? 8 : 7;
        EXPECT_EQ(seen.filter(c.seen).size(), fetches)
            << c.url.toStdString() << seen.join('\n').toStdString();
        QFile::remove(logs + "/" + c.file + ".log");
    }
}
} // namespace
