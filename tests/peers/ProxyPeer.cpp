#include "peers/ProxyPeer.h"

#include "peers/FreePort.h"
#include "peers/TestFiles.h"

#include <QRegularExpression>

namespace vireo::test {

ProxyPeer::ProxyPeer() : m_process("tinyproxy", m_dir.filePath("tinyproxy.out")) {}

ProxyPeer::~ProxyPeer() {
    Stop();
}

QString ProxyPeer::HostPort() const {
    return QString("127.0.0.1:%1").arg(m_port);
}

QString ProxyPeer::Log() const {
    return QString::fromUtf8(ReadWholeFile(Path("tinyproxy.log")));
}

QStringList ProxyPeer::Requests() const {
    static const QRegularExpression line(R"(Request \(file descriptor \d+\): (.*)$)",
                                         QRegularExpression::MultilineOption);
    QStringList requests;
    for (const QRegularExpressionMatch& match : line.globalMatch(Log()))
        requests << match.captured(1).trimmed();
    return requests;
}

testing::AssertionResult ProxyPeer::Start() {
    if (!m_dir.isValid())
        return testing::AssertionFailure() << "tinyproxy: cannot create a temporary folder";
    return m_process.StartOnFreePorts([this] { return StartOnce(); });
}

testing::AssertionResult ProxyPeer::StartOnce() {
    m_port = FreePort();
    // No ConnectPort line: CONNECT is then allowed to every port. The log level that shows
    // every request line is Connect (Info shows more).
    QString config = QString("Port %1\n"
                             "Listen 127.0.0.1\n"
                             "Timeout 60\n"
                             "MaxClients 64\n"
                             "Allow 127.0.0.1\n"
                             "LogLevel Info\n"
                             "LogFile \"%2\"\n"
                             "PidFile \"%3\"\n")
                         .arg(m_port)
                         .arg(Path("tinyproxy.log"), Path("tinyproxy.pid"));
    if (WriteFileUnder(m_dir.path(), "tinyproxy.conf", config.toUtf8()).isEmpty())
        return testing::AssertionFailure() << "tinyproxy: cannot write the configuration";
    return m_process.Start("tinyproxy", {"-d", "-c", Path("tinyproxy.conf")}, {m_port},
                           {Path("tinyproxy.log")});
}

void ProxyPeer::Stop() {
    m_process.Stop();
}

} // namespace vireo::test
