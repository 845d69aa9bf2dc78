// Digests checked by the built program against a real web server: a right one is told as
// verified, a wrong one fails the download with its log line, from the command line and
// from a list file.
#include "HeadlessRun.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace vireo;
using namespace vireo::test;

namespace {
class Checksums : public HeadlessRun {
protected:
    void SetUp() override {
        HeadlessRun::SetUp();
        ASSERT_TRUE(server.Start());
        Settings().SetInt(keys::History, 1);
        Settings().SetInt(keys::HistoryMax, 100);
        data = RandomBytes(3 * 1024 * 1024 + 17, 5);
        server.Put("f.bin", data);
        logs = QString::fromStdString(temp.Path("/logs"));
    }
    QString Hex(QCryptographicHash::Algorithm algorithm) const {
        return QCryptographicHash::hash(data, algorithm).toHex();
    }
    QString Log(const QString& name) const {
        QFile f(logs + "/" + name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QString Checks() const {
        QFile f(QString::fromStdString(temp.Path("/home/history-checks.txt")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    NginxPeer server;
    QByteArray data;
    QString logs;
};
} // namespace

TEST_F(Checksums, ARightDigestIsVerifiedAndShown) {
    QString url = server.HttpUrl("/f.bin");
    Run run = RunToEnd({"--log-dir", logs, "--checksum",
                        "SHA-256=" + Hex(QCryptographicHash::Sha256).toUpper(), url});
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(
        QString("done %1 -> %2/f.bin (%3 bytes, sha-256 verified)").arg(url, out).arg(data.size())))
        << run.out.toStdString();
    EXPECT_TRUE(Read("f.bin") == data);
    EXPECT_TRUE(
        Log("f.bin.log")
            .contains("checksum verified (sha-256 " + Hex(QCryptographicHash::Sha256) + ")"))
        << Log("f.bin.log").toStdString();
    EXPECT_EQ(Checks(), "verified\t" + out + "/f.bin\n");
}

TEST_F(Checksums, AWrongDigestFailsTheDownloadWithBothInItsLog) {
    QString url = server.HttpUrl("/f.bin");
    QString wrong = QString(64, 'e');
    Run run = RunToEnd({"--log-dir", logs, "--checksum", "sha-256=" + wrong, url});
    EXPECT_EQ(run.status, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("failed " + url + ": checksum mismatch")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("done "));
    QString log = Log("f.bin.log");
    EXPECT_TRUE(log.contains("checksum mismatch: expected sha-256 " + wrong + ", got " +
                             Hex(QCryptographicHash::Sha256)))
        << log.toStdString();
    EXPECT_EQ(Checks(), "mismatch\t" + out + "/f.bin\n");
    // The bytes stay for a look (they are not marked whole).
    EXPECT_TRUE(Read("f.bin") == data);
}

TEST_F(Checksums, AListFileGivesEachAddressItsOwnDigest) {
    server.Put("g.bin", data);
    server.Put("h.bin", data);
    QString list = WriteList(
        "list.txt", server.HttpUrl("/f.bin") + "\n  checksum=md5=" + Hex(QCryptographicHash::Md5) +
                        "\n" + server.HttpUrl("/g.bin") + "\n\tchecksum=sha-1=" + QString(40, '0') +
                        "\n" + server.HttpUrl("/h.bin") + "\n");
    Run run = RunToEnd({"-i", list});
    EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("md5 verified")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("failed " + server.HttpUrl("/g.bin") + ": checksum mismatch"))
        << run.out.toStdString();
    // The line without options is a plain download, as it always was.
    EXPECT_TRUE(run.out.contains(QString("done %1 -> %2/h.bin (%3 bytes)\n")
                                     .arg(server.HttpUrl("/h.bin"), out)
                                     .arg(data.size())))
        << run.out.toStdString();
    EXPECT_FALSE(run.err.contains("skipped")) << run.err.toStdString(); // no line refused
}

TEST_F(Checksums, JsonLinesCarryTheResult) {
    server.Put("g.bin", data);
    QString list = WriteList("list.txt", server.HttpUrl("/f.bin") +
                                             "\n  checksum=md5=" + Hex(QCryptographicHash::Md5) +
                                             "\n" + server.HttpUrl("/g.bin") +
                                             "\n  checksum=sha-1=" + QString(40, '0') + "\n");
    Run run = RunToEnd({"--json", "-i", list});
    EXPECT_EQ(run.status, 1) << run.out.toStdString() << run.err.toStdString();
    std::map<QString, QJsonObject> ends; // by event
    for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
        QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        ASSERT_FALSE(event.isEmpty()) << line.toStdString();
        ends[event["event"].toString()] = event;
    }
    QJsonObject done = ends["done"]["checksum"].toObject();
    EXPECT_EQ(done["type"].toString(), "md5");
    EXPECT_EQ(done["result"].toString(), "verified");
    QJsonObject failed = ends["failed"]["checksum"].toObject();
    EXPECT_EQ(failed["type"].toString(), "sha-1");
    EXPECT_EQ(failed["result"].toString(), "mismatch");
}
