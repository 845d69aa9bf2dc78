#pragma once
// Real content for the stream tests, made by ffmpeg from generated sound (and a test
// picture), and ffprobe/ffmpeg as the judges of whether a recording opens and decodes.

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vireo::test {

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
    bool Ok() const { return exitCode == 0; }
};

inline ToolRun RunTool(const QString& program, const QStringList& args, int ms = 60000) {
    QProcess p;
    p.start(program, args);
    ToolRun run;
    if (!p.waitForStarted(ms) || !p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        run.err = "did not finish";
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// Sweeps, so that no two packets of the content are alike.
inline const char* kSweep = "aevalsrc=sin(2*PI*(300+200*t)*t)|sin(2*PI*(500+100*t)*t):s=44100:d=3";
inline const char* kSweep8k = "aevalsrc=sin(2*PI*(300+200*t)*t):s=8000:d=6";

// The content files, made once per test program in a folder of their own.
class StreamFixtures {
public:
    static StreamFixtures& Get() {
        static StreamFixtures fixtures;
        return fixtures;
    }
    bool Ok() const { return m_ok; }
    const QString& Error() const { return m_error; }
    QString Audio() const { return m_dir.filePath("ac3.rm"); }    // one AC-3 stream
    QString Movie() const { return m_dir.filePath("movie.rm"); }  // RealVideo and AC-3
    QString Speech() const { return m_dir.filePath("ra144.rm"); } // RealAudio 14.4

private:
    StreamFixtures() {
        const QStringList common = {"-hide_banner", "-loglevel", "error", "-y"};
        struct Make {
            QString name;
            QStringList args;
        } makes[] = {
            {"ac3.rm", {"-f", "lavfi", "-i", kSweep, "-c:a", "ac3", "-b:a", "96k"}},
            {"movie.rm",
             {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=3", "-f", "lavfi", "-i",
              kSweep, "-c:v", "rv10", "-c:a", "ac3", "-b:a", "96k"}},
            {"ra144.rm", {"-f", "lavfi", "-i", kSweep8k, "-ac", "1", "-c:a", "real_144"}},
        };
        m_ok = m_dir.isValid();
        for (const Make& m : makes) {
            ToolRun run = RunTool("ffmpeg", common + m.args + QStringList{m_dir.filePath(m.name)});
            if (!run.Ok()) {
                m_ok = false;
                m_error += "ffmpeg " + m.name + ": " + QString::fromUtf8(run.err);
            }
        }
    }
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
};

// What ffprobe says about a file.
struct Probe {
    bool ok = false;
    QString error;
    QStringList codecs; // one per stream, in stream order
    double duration = -1;
};

inline Probe ProbeFile(const QString& path) {
    Probe probe;
    ToolRun run = RunTool("ffprobe", {"-v", "error", "-show_entries",
                                      "stream=codec_name:format=duration", "-of", "json", path});
    probe.error = QString::fromUtf8(run.err);
    if (!run.Ok())
        return probe;
    QJsonObject root = QJsonDocument::fromJson(run.out).object();
    for (const QJsonValue& s : root["streams"].toArray())
        probe.codecs << s.toObject()["codec_name"].toString();
    probe.duration = root["format"].toObject()["duration"].toString().toDouble();
    probe.ok = true;
    return probe;
}

// Decodes every stream of the file; errors are what ffmpeg reports at level "error".
inline ToolRun DecodeFile(const QString& path) {
    return RunTool("ffmpeg", {"-hide_banner", "-v", "error", "-i", path, "-f", "null", "-"});
}

// The decoded audio of the file as raw samples.
inline QByteArray DecodedAudio(const QString& path) {
    ToolRun run = RunTool(
        "ffmpeg", {"-hide_banner", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le", "-"});
    return run.Ok() ? run.out : QByteArray();
}

} // namespace vireo::test
