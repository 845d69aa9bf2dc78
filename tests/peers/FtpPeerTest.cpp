#include "peers/FtpPeer.h"
#include "peers/Curl.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"

#include <gtest/gtest.h>

#include <QTcpSocket>

using namespace vireo::test;

TEST(FtpPeerTest, ServesAnonymouslyInPassiveAndActiveMode) {
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    const QByteArray data = RandomBytes(200000, 3);
    ftp.Put("pub/data.bin", data);

    struct Case {
        const char* mode;
        QStringList arguments;
        const char* command; // what the log must show the client asked for
    } cases[] = {
        {"passive", {"--disable-epsv"}, "\"PASV\""},
        {"active", {"-P", "127.0.0.1", "--disable-eprt"}, "\"PORT 127,0,0,1,"},
    };
    for (const Case& c : cases) {
        CurlResult result = RunCurl(c.arguments + QStringList{ftp.Url("/pub/data.bin")});
        EXPECT_EQ(result.exitCode, 0) << c.mode << ": " << result.error.toStdString();
        EXPECT_TRUE(result.body == data) << c.mode;
        EXPECT_TRUE(ftp.Log().contains(c.command)) << c.mode;
    }
    // The client's own greeting: a password after "USER anonymous", as real servers ask.
    EXPECT_TRUE(ftp.Log().contains("\"331 Please specify the password.\""));
}

TEST(FtpPeerTest, LoginWithPasswordNextToAnonymous) {
    if (!FtpPeer::PasswordLoginAvailable())
        GTEST_SKIP() << "password logins need root, pam_userdb and perl DB_File";
    FtpPeer ftp;
    ftp.SetLogin("alice", "s3cret");
    ASSERT_TRUE(ftp.Start());
    ftp.Put("mine.txt", "alice's file");

    EXPECT_EQ(RunCurl({"-u", "alice:s3cret", ftp.Url("/mine.txt")}).body, "alice's file");
    EXPECT_EQ(RunCurl({"-u", "alice:wrong", ftp.Url("/mine.txt")}).exitCode, 67);
    EXPECT_EQ(RunCurl({"-u", "bob:s3cret", ftp.Url("/mine.txt")}).exitCode, 67);
    EXPECT_EQ(RunCurl({ftp.Url("/mine.txt")}).body, "alice's file");
}

TEST(FtpPeerTest, StopEndsOpenSessions) {
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    QTcpSocket control;
    control.connectToHost("127.0.0.1", ftp.Port());
    ASSERT_TRUE(WaitUntil([&] { return control.canReadLine(); }));
    EXPECT_TRUE(control.readLine().startsWith("220 "));

    // The session is a process of its own, forked by the listener.
    ftp.Stop();
    EXPECT_TRUE(
        WaitUntil([&] { return control.state() == QAbstractSocket::UnconnectedState; }, 3000));
}
