#include "peers/PeerProcess.h"

#include "peers/TestApp.h"
#include "peers/TestFiles.h"

#include <QDeadlineTimer>

#include <QFileInfo>
#include <algorithm>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vireo::test {

namespace {

bool AcceptsAt(int family, quint16 port) {
    int fd = socket(family, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    sockaddr_in6 address6{};
    sockaddr* target = reinterpret_cast<sockaddr*>(&address);
    socklen_t size = sizeof address;
    if (family == AF_INET) {
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        address6.sin6_addr = in6addr_loopback;
        target = reinterpret_cast<sockaddr*>(&address6);
        size = sizeof address6;
    }
    // A loopback connect is answered at once: accepted, or refused while nobody listens.
    bool ok = ::connect(fd, target, size) == 0;
    close(fd);
    return ok;
}

// A server on either loopback (one on [::1] only: IPv6 tests).
bool Accepts(quint16 port) {
    return AcceptsAt(AF_INET, port) || AcceptsAt(AF_INET6, port);
}

// How nginx, vsftpd and tinyproxy say that their port is taken.
bool MentionsTakenPort(const QString& text) {
    for (const char* words :
         {"Address already in use", "could not bind", "Could not create listening sockets"})
        if (text.contains(words, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

PeerProcess::PeerProcess(QString name, QString outputFile)
    : m_name(std::move(name)), m_outputFile(std::move(outputFile)) {
    EnsureTestApp();
}

PeerProcess::~PeerProcess() {
    Stop();
}

testing::AssertionResult PeerProcess::Start(const QString& program, const QStringList& arguments,
                                            const QList<quint16>& ports,
                                            const QStringList& logFiles, int timeoutMs) {
    Stop();
    m_portTaken = false;
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_outputFile, QIODevice::Append);
    m_process.setStandardInputFile(QProcess::nullDevice());
    const pid_t parent = getpid();
    m_process.setChildProcessModifier([parent] {
        // Its own group, so a stop also reaches what it forks (FTP sessions).
        setpgid(0, 0);
        // Dies with the test even when the test is killed; the check closes the window in
        // which the parent died before the request was made.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
    });
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs))
        return testing::AssertionFailure()
               << m_name.toStdString() << " (" << program.toStdString()
               << ") did not start: " << m_process.errorString().toStdString()
               << " (scripts/deps.sh test installs the servers the tests use)";

    QDeadlineTimer deadline(timeoutMs);
    auto allAccept = [&ports] {
        return std::all_of(ports.begin(), ports.end(), [](quint16 port) { return Accepts(port); });
    };
    QString portList;
    for (quint16 port : ports)
        portList += (portList.isEmpty() ? "" : ", ") + QString::number(port);
    while (!allAccept()) {
        // Doubles as the pause between probes.
        if (m_process.waitForFinished(10) || m_process.state() == QProcess::NotRunning) {
            QString diagnostics = Diagnostics(logFiles);
            m_portTaken = MentionsTakenPort(diagnostics);
            return testing::AssertionFailure()
                   << m_name.toStdString() << " exited (code " << m_process.exitCode()
                   << ") before it accepted connections on port " << portList.toStdString() << "\n"
                   << diagnostics.toStdString();
        }
        if (deadline.hasExpired()) {
            QString diagnostics = Diagnostics(logFiles);
            Stop();
            return testing::AssertionFailure()
                   << m_name.toStdString() << " did not accept connections on port "
                   << portList.toStdString() << " within " << timeoutMs << " ms\n"
                   << diagnostics.toStdString();
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult
PeerProcess::StartOnFreePorts(const std::function<testing::AssertionResult()>& startOnce) {
    testing::AssertionResult result = testing::AssertionFailure();
    for (int attempt = 0; attempt < 3; ++attempt) {
        result = startOnce();
        if (result || !m_portTaken)
            break;
    }
    return result;
}

void PeerProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    pid_t pid = static_cast<pid_t>(m_process.processId());
    if (pid > 0)
        kill(-pid, SIGKILL);
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool PeerProcess::IsRunning() const {
    return m_process.state() != QProcess::NotRunning;
}

QString PeerProcess::Diagnostics(const QStringList& logFiles) const {
    QString text =
        "--- " + m_name + " output ---\n" + QString::fromUtf8(ReadWholeFile(m_outputFile));
    for (const QString& log : logFiles)
        text +=
            "\n--- " + QFileInfo(log).fileName() + " ---\n" + QString::fromUtf8(ReadWholeFile(log));
    return text;
}

} // namespace vireo::test
