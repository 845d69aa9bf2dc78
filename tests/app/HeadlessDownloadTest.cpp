// The built program downloading from a real web server: the parallel limit, the order of
// starting, and a run killed in the middle that the next run finishes.
#include "TempSettings.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"
#include "settings/Startup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

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
        Settings().SetInt("keeplist", 1);
        Settings().SetInt("timeout", 10);
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
        p.start(VIREO_BINARY, QStringList{"--headless", "-d", out} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
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
