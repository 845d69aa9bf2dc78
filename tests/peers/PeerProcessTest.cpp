#include "peers/PeerProcess.h"
#include "peers/FreePort.h"
#include "peers/WaitUntil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>

using namespace vireo::test;

namespace {

bool Accepts(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost("127.0.0.1", port);
    return probe.waitForConnected(1000);
}

} // namespace

TEST(PeerProcessTest, AFailedStartCarriesTheServersOwnWords) {
    QTemporaryDir dir;
    PeerProcess process("broken", dir.filePath("out"));
    testing::AssertionResult started =
        process.Start("sh", {"-c", "echo config line 3 is wrong >&2; exit 3"}, {FreePort()});
    EXPECT_FALSE(started);
    EXPECT_NE(std::string(started.message()).find("config line 3 is wrong"), std::string::npos)
        << started.message();
    EXPECT_FALSE(process.IsRunning());
}

// The holder program starts a web server and waits; killed outright, it cannot stop the
// server, so the server must go by itself.
TEST(PeerProcessTest, ServersDieWithTheTestProcess) {
    QProcess holder;
    holder.start(PEER_HOLDER_PATH);
    ASSERT_TRUE(WaitUntil(
        [&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }, 10000));
    const quint16 port = holder.readLine().trimmed().toUShort();
    ASSERT_NE(port, 0) << holder.readAll().toStdString();
    ASSERT_TRUE(Accepts(port));

    kill(pid_t(holder.processId()), SIGKILL);
    holder.waitForFinished();
    EXPECT_TRUE(WaitUntil([&] { return !Accepts(port); }, 3000));
}
