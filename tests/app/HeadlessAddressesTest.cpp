// The built program against hosts reachable over IPv6 or at only some of their addresses:
// a name whose first address refuses is served by its second one, and FTP over IPv6 runs
// its data connections with EPSV (passive) and EPRT (active).
#include "TempSettings.h"
#include "peers/FtpPeer.h"
#include "peers/NginxPeer.h"
#include "peers/TestFiles.h"
#include "settings/Startup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace vireo;
using namespace vireo::test;

namespace {
// A name of our own, known only to the program's private hosts file.
constexpr const char* kTwoAddressName = "both.vireo.test";

class HeadlessAddresses : public ::testing::Test {
protected:
    void SetUp() override {
        out = QString::fromStdString(temp.Path("/out"));
        logs = QString::fromStdString(temp.Path("/logs"));
        QDir().mkpath(out);
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::Timeout, 10);
    }

    struct Run {
        int status = -1;
        QString out, err;
    };
    // Runs the program to its end; with a hosts file, in a mount namespace of its own in
    // which that file is /etc/hosts (the machine's is never touched).
    Run RunToEnd(const QStringList& args, const QString& hostsFile = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        for (const char* name : {"http_proxy", "ftp_proxy", "all_proxy", "no_proxy"}) {
            env.remove(name);
            env.remove(QString(name).toUpper());
        }
        QStringList programArgs = QStringList{"--headless", "-d", out, "--log-dir", logs} + args;
        QProcess p;
        p.setProcessEnvironment(env);
        if (hostsFile.isEmpty())
            p.start(VIREO_BINARY, programArgs);
        else
            p.start("unshare", NamespaceArgs() +
                                   QStringList{"--", "sh", "-c",
                                               "mount --bind \"$0\" /etc/hosts && "
                                               "exec \"$@\"",
                                               hostsFile, VIREO_BINARY} +
                                   programArgs);
        if (!p.waitForFinished(60000))
            p.kill();
        p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    // A private mount namespace; without root, inside a user namespace of our own.
    static QStringList NamespaceArgs() {
        return geteuid() == 0 ? QStringList{"-m"} : QStringList{"-rm"};
    }
    static bool CanBindHosts() {
        QProcess p;
        p.start("unshare", NamespaceArgs() +
                               QStringList{"--", "sh", "-c", "mount --bind /etc/hosts /etc/hosts"});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    QByteArray Read(const QString& name) const { return ReadWholeFile(out + "/" + name); }
    QByteArray Log(const QString& name) const { return ReadWholeFile(logs + "/" + name + ".log"); }

    TempSettings temp;
    QString out, logs;
};
} // namespace

// The name has ::1 and 127.0.0.1, in that order (IPv6 loopback before IPv4 in the
// resolver's default order); the server listens on 127.0.0.1 only. The refused first
// address gives way to the second within the first attempt.
TEST_F(HeadlessAddresses, FirstAddressRefusesTheSecondServes) {
    if (!CanBindHosts())
        GTEST_SKIP() << "no private mount namespace here (unshare -m)";
    NginxPeer server;
    server.SetIpv4Only();
    ASSERT_TRUE(server.Start());
    const QByteArray source = RandomBytes(400000, 71);
    server.Put("c.bin", source);
    const QString hosts = WriteFileUnder(QString::fromStdString(temp.Dir()), "hosts",
                                         QByteArray("::1 ") + kTwoAddressName + "\n127.0.0.1 " +
                                             kTwoAddressName + "\n");
    ASSERT_FALSE(hosts.isEmpty());

    const QString url = QString("http://%1:%2/c.bin").arg(kTwoAddressName).arg(server.HttpPort());
    Run r = RunToEnd({url}, hosts);
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(Read("c.bin") == source);
    const QByteArray log = Log("c.bin");
    EXPECT_TRUE(log.contains("server found, ip: ::1")) << log.toStdString();
    EXPECT_TRUE(log.contains("trying address ::1 (1 of 2)")) << log.toStdString();
    EXPECT_TRUE(log.contains("connection failed: ")) << log.toStdString();
    EXPECT_TRUE(log.contains("trying address 127.0.0.1 (2 of 2)")) << log.toStdString();
    EXPECT_TRUE(log.contains("in 1 attemps")) << log.toStdString();
    const QString access = server.AccessLog();
    EXPECT_TRUE(access.startsWith("127.0.0.1 \"GET /c.bin")) << access.toStdString();
    EXPECT_TRUE(access.contains(QString("\"%1:%2\"").arg(kTwoAddressName).arg(server.HttpPort())))
        << access.toStdString();
}

// vsftpd on [::1] only: the passive run asks with EPSV, the active one with EPRT; both
// download the file whole, and neither sends PASV or PORT.
TEST_F(HeadlessAddresses, FtpOverIpv6PassiveAndActive) {
    FtpPeer ftp;
    ftp.SetIpv6Only();
    ASSERT_TRUE(ftp.Start());
    const QByteArray source = RandomBytes(700000, 72);
    ftp.Put("v6/f.bin", source);

    struct Case {
        bool passive;
        const char* command;
    } cases[] = {{true, "\"EPSV\""}, {false, "\"EPRT |2|::1|"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        QFile::remove(out + "/f.bin");
        const int before = ftp.Log().size();
        QStringList args{ftp.Url("/v6/f.bin")};
        if (c.passive)
            args.prepend("--ftp-passive");
        Run r = RunToEnd(args);
        EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(Read("f.bin") == source);
        const QString session = ftp.Log().mid(before);
        EXPECT_TRUE(session.contains(c.command)) << session.toStdString();
        EXPECT_FALSE(session.contains("\"PASV\"")) << session.toStdString();
        EXPECT_FALSE(session.contains("\"PORT ")) << session.toStdString();
        EXPECT_TRUE(session.contains("OK DOWNLOAD")) << session.toStdString();
    }
}
