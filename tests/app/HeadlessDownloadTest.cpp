// The built program downloading from a real web server: the parallel limit, the order of
// starting, a run killed or ended by a signal in the middle that the next run finishes,
// and where its transfer logs go.
#include "TempSettings.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"
#include "settings/Startup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <csignal>
#include <map>

using namespace vireo;
using namespace vireo::test;

namespace {
class HeadlessDownload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        out = QString::fromStdString(temp.Path("/out"));
        QDir().mkpath(out);
        // A settings file as a first run leaves it, with the last list kept.
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::KeepList, 1);
        Settings().SetInt(keys::Timeout, 10);
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }
    void Launch(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(Env());
        // The signals a run reacts to start at their default, whatever this test inherited
        // (a background or nohup run of the tests has some of them ignored).
        p.setChildProcessModifier([] {
            for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
                std::signal(signo, SIG_DFL);
        });
        p.start(VIREO_BINARY, QStringList{"--headless", "-d", out} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
    QStringList Logs(const QString& dir) const {
        return QDir(dir).entryList({"*.log"}, QDir::Files);
    }
    QString LogDir() const { return QString::fromStdString(temp.Path("/home/logs")); }
    QByteArray Read(const QString& name) const {
        QFile f(out + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempSettings temp;
    NginxPeer server;
    QString out;
};
} // namespace

TEST_F(HeadlessDownload, TwentyEntriesFiveAtATimeInListOrder) {
    QStringList urls;
    std::vector<QByteArray> sources;
    for (int i = 0; i < 20; ++i) {
        QString name = QString("f%1.bin").arg(i);
        sources.push_back(RandomBytes(300000 + i * 1000, quint32(i + 1)));
        server.Put(name, sources.back());
        urls << server.HttpUrl("/slow/" + name);
    }
    QProcess p;
    Launch(p, QStringList{"-j", "5"} + urls);
    ASSERT_TRUE(p.waitForFinished(60000));
    QString output = p.readAllStandardOutput();
    EXPECT_EQ(p.exitCode(), 0) << output.toStdString() << p.readAllStandardError().toStdString();

    int running = 0, most = 0;
    QStringList startOrder;
    for (const QString& line : output.split('\n')) {
        if (line.startsWith("started ")) {
            most = std::max(most, ++running);
            startOrder << line.section(' ', 1, 1);
        } else if (line.startsWith("done ") || line.startsWith("failed ")) {
            --running;
        }
    }
    EXPECT_EQ(most, 5);
    EXPECT_EQ(startOrder, urls);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(Read(QString("f%1.bin").arg(i)) == sources[size_t(i)]) << i;
}

TEST_F(HeadlessDownload, KilledRunIsResumedFromTheLastList) {
    QStringList urls;
    std::vector<QByteArray> sources;
    for (int i = 0; i < 3; ++i) {
        QString name = QString("big%1.bin").arg(i);
        sources.push_back(RandomBytes(6 * 1024 * 1024, quint32(100 + i)));
        server.Put(name, sources.back());
        urls << server.HttpUrl("/slow/" + name);
    }
    QProcess first;
    Launch(first, urls);
    QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return QFile::exists(lastList) && QFile(out + "/big0.bin").size() > 1000000 &&
                   QFile(out + "/big2.bin").size() > 1000000;
        },
        20000));
    first.kill();
    first.waitForFinished();
    qint64 partial = QFile(out + "/big0.bin").size();
    ASSERT_LT(partial, sources[0].size());

    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardOutput().toStdString()
                                    << second.readAllStandardError().toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Read(QString("big%1.bin").arg(i)) == sources[size_t(i)]) << i;
    EXPECT_TRUE(server.AccessLog().contains("\"bytes=")) << server.AccessLog().toStdString();
}

TEST_F(HeadlessDownload, HangUpTerminateAndPipeStopLikeCtrlCAndTheNextRunResumes) {
    const QByteArray source = RandomBytes(4 * 1024 * 1024, 7);
    server.Put("big.bin", source);
    const QString url = server.HttpUrl("/slow/big.bin");
    const QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    struct Case {
        int signo;
        int status;
    } cases[] = {{SIGHUP, 129}, {SIGTERM, 143}, {SIGPIPE, 141}, {SIGINT, 130}};
    for (const Case& c : cases) {
        QFile::remove(out + "/big.bin");
        QFile::remove(lastList);
        QProcess first;
        Launch(first, {url});
        ASSERT_TRUE(WaitUntil([&] { return QFile(out + "/big.bin").size() > 500000; }, 20000));
        // The transfer log is written in the state directory, never beside the download.
        EXPECT_EQ(Logs(LogDir()).size(), 1) << c.signo;
        EXPECT_EQ(Logs(out), QStringList{}) << c.signo;
        ::kill(pid_t(first.processId()), c.signo);
        ASSERT_TRUE(first.waitForFinished(10000)) << c.signo;
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit) << c.signo;
        EXPECT_EQ(first.exitCode(), c.status) << first.readAllStandardError().toStdString();
        EXPECT_NE(first.readAllStandardOutput().indexOf("0 done, 0 failed, 1 stopped"), -1);

        QByteArray partial = Read("big.bin");
        EXPECT_GT(partial.size(), 500000) << c.signo;
        EXPECT_LT(partial.size(), source.size()) << c.signo;
        EXPECT_TRUE(source.startsWith(partial)) << c.signo;
        EXPECT_EQ(Logs(LogDir()), QStringList{}) << c.signo; // removed as at a normal exit
        ASSERT_EQ(ReadWholeFile(lastList), url.toUtf8() + "\r\n") << c.signo;

        QProcess second;
        Launch(second, {});
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_TRUE(Read("big.bin") == source) << c.signo;
    }
    // Every second run continued the partial file rather than starting again.
    EXPECT_GE(server.AccessLog().count("\"bytes="), 4) << server.AccessLog().toStdString();
}

TEST_F(HeadlessDownload, AReaderThatGoesAwayEndsTheRunWith141AfterStoppingIt) {
    const QByteArray small = RandomBytes(600000, 8), big = RandomBytes(4 * 1024 * 1024, 9);
    server.Put("small.bin", small);
    server.Put("big.bin", big);
    const QStringList urls{server.HttpUrl("/slow/small.bin"), server.HttpUrl("/slow/big.bin")};
    // head takes the first byte and leaves; the next line vireo writes meets a closed pipe.
    QProcess first;
    first.setProcessEnvironment(Env());
    first.setChildProcessModifier([] {
        for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(signo, SIG_DFL);
    });
    first.start("bash", {"-c", "\"$@\" | head -c1 >/dev/null; exit \"${PIPESTATUS[0]}\"", "run",
                         VIREO_BINARY, "--headless", "-j", "1", "-d", out, urls[0], urls[1]});
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitCode(), 141) << first.readAllStandardError().toStdString();
    EXPECT_LT(QFile(out + "/big.bin").size(), big.size());
    EXPECT_EQ(Logs(LogDir()), QStringList{});
    EXPECT_EQ(ReadWholeFile(QString::fromStdString(temp.Path("/home/lastlist.txt"))),
              (urls.join("\r\n") + "\r\n").toUtf8());

    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("small.bin") == small);
    EXPECT_TRUE(Read("big.bin") == big);
}

// What a user sees in the download folder after runs of the program itself.
TEST_F(HeadlessDownload, TheFolderKeepsWhatIsNotVireosAndNothingIsFetchedTwice) {
    const QByteArray notes = RandomBytes(40000, 11), pkg = RandomBytes(90000, 12);
    server.Put("notes.txt", notes);
    server.Put("pkg-1.2.3.tar.gz", pkg);
    server.Put("dir/index.html", "<html>the page</html>\n");
    std::map<QString, QByteArray> users = {{"notes.txt", "mine\n"},
                                           {"index0.htm", "0"},
                                           {"index1.htm", "1"},
                                           {"index2.htm", "2"},
                                           {"index3.htm", "3"}};
    for (const auto& [name, bytes] : users)
        ASSERT_FALSE(WriteFileUnder(out, name, bytes).isEmpty());
    const QStringList urls{server.HttpUrl("/notes.txt"), server.HttpUrl("/dir/"),
                           server.HttpUrl("/pkg-1.2.3.tar.gz")};

    QProcess first;
    Launch(first, urls);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    for (const auto& [name, bytes] : users)
        EXPECT_TRUE(Read(name) == bytes) << name.toStdString();
    EXPECT_TRUE(Read("notes1.txt") == notes);
    // The page took an index name that was free.
    QStringList pages = QDir(out).entryList({"index*.htm"}, QDir::Files);
    ASSERT_EQ(pages.size(), 5) << pages.join(", ").toStdString();
    for (const QString& name : pages)
        if (!users.count(name))
            EXPECT_TRUE(Read(name) == "<html>the page</html>\n") << name.toStdString();
    EXPECT_TRUE(Read("pkg-1.2.3.tar.gz") == pkg);

    // The same files again: finished already, so no request reaches the server.
    int requests = server.AccessLog().count('\n');
    QProcess second;
    Launch(second, {urls[0], urls[2]});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(server.AccessLog().count('\n'), requests) << server.AccessLog().toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), int(users.size()) + 3)
        << QDir(out).entryList(QDir::Files).join(", ").toStdString();
}

TEST_F(HeadlessDownload, FailuresLeaveTheFolderEmpty) {
    Settings().SetInt(keys::Timeout, 1);
    Settings().SetInt(keys::MaxAttemp, 2);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QString("http://127.0.0.1:%1/refused.bin").arg(closed.serverPort());
    closed.close();
    QProcess p;
    Launch(p, {server.HttpUrl("/no/such.bin"), refused});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    QString err = p.readAllStandardError();
    EXPECT_TRUE(err.contains("connection refused")) << err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{});
}

TEST_F(HeadlessDownload, AChangedSourceIsFetchedWholeNotSplicedOntoThePartialFile) {
    const QByteArray before = RandomBytes(4 * 1024 * 1024, 13);
    const QByteArray after = RandomBytes(3 * 1024 * 1024 + 17, 14);
    const QString served = server.Put("moving.bin", before);
    const QString url = server.HttpUrl("/slow/moving.bin");
    QProcess first;
    Launch(first, {url});
    ASSERT_TRUE(WaitUntil([&] { return QFile(out + "/moving.bin").size() > 500000; }, 20000));
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 143);
    ASSERT_LT(QFile(out + "/moving.bin").size(), before.size());

    server.Put("moving.bin", after);
    QFile file(served);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                 QFileDevice::FileModificationTime));
    file.close();
    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("moving.bin") == after);
}
