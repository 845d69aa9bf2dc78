// The speed limits measured on the built program against real servers: the program's
// limit over one and several downloads, over HTTP and FTP together, and a download's own
// limit from a list file. Each run lasts about ten seconds, the time the limit is held to.
#include "HeadlessRun.h"
#include "peers/FtpPeer.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"

#include <QSettings>

using namespace vireo;
using namespace vireo::test;

namespace {
constexpr int kMiB = 1024 * 1024;

class SpeedLimit : public HeadlessRun {
protected:
    void SetUp() override {
        HeadlessRun::SetUp();
        ASSERT_TRUE(server.Start());
    }
    // The run took seconds within 5% of the expected ones; the rate is shown either way.
    static void ExpectSeconds(const Run& run, int64_t bytes, double expected) {
        double rate = double(bytes) / run.seconds / kMiB;
        std::printf("    %lld bytes in %.2f s: %.3f MiB/s\n", (long long)bytes, run.seconds, rate);
        EXPECT_GE(run.seconds, expected * 0.95);
        EXPECT_LE(run.seconds, expected * 1.05);
    }

    NginxPeer server;
};
} // namespace

TEST_F(SpeedLimit, TwoMiBASecondFetchesTwentyMiBInTenSeconds) {
    QByteArray data = RandomBytes(20 * kMiB, 7);
    server.Put("big.bin", data);
    Run run = RunToEnd({"--limit-rate", "2M", server.HttpUrl("/big.bin")});
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(Read("big.bin") == data);
    ExpectSeconds(run, data.size(), 10.0);
}

TEST_F(SpeedLimit, FourDownloadsAtOnceShareTheLimit) {
    QStringList urls;
    std::vector<QByteArray> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(RandomBytes(5 * kMiB, quint32(20 + i)));
        server.Put(QString("part%1.bin").arg(i), files.back());
        urls << server.HttpUrl(QString("/part%1.bin").arg(i));
    }
    Run run = RunToEnd(QStringList{"-j", "4", "--limit-rate", "2M"} + urls);
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Read(QString("part%1.bin").arg(i)) == files[size_t(i)]) << i;
    ExpectSeconds(run, 20 * kMiB, 10.0);
}

TEST_F(SpeedLimit, TheSettingHoldsForHttpAndFtpTogether) {
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    QByteArray web = RandomBytes(5 * kMiB, 31), file = RandomBytes(5 * kMiB, 32);
    server.Put("web.bin", web);
    ftp.Put("file.bin", file);
    {
        QSettings settings(temp.ConfigPath(), QSettings::IniFormat);
        settings.setValue("setup/maxspeed", 1024); // KB/s
    }
    Run run = RunToEnd({"-j", "2", server.HttpUrl("/web.bin"), ftp.Url("/file.bin")});
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(Read("web.bin") == web);
    EXPECT_TRUE(Read("file.bin") == file);
    ExpectSeconds(run, 10 * kMiB, 10.0);
}

TEST_F(SpeedLimit, AListLineGivesADownloadItsOwnLimit) {
    QByteArray slow = RandomBytes(5 * kMiB, 41), fast = RandomBytes(8 * kMiB, 42);
    server.Put("slow.bin", slow);
    server.Put("fast.bin", fast);
    QString list = WriteList("list.txt", server.HttpUrl("/slow.bin") + "\n  limit-rate=512k\n" +
                                             server.HttpUrl("/fast.bin") + "\n");
    Run run = RunToEnd({"-j", "2", "-i", list});
    ASSERT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(Read("slow.bin") == slow);
    EXPECT_TRUE(Read("fast.bin") == fast);
    // The other download is not held back: it ends first.
    EXPECT_LT(run.out.indexOf("done " + server.HttpUrl("/fast.bin")),
              run.out.indexOf("done " + server.HttpUrl("/slow.bin")));
    ExpectSeconds(run, slow.size(), 10.0);
}
