#pragma once
// One server program run as a child of the test: started in its own process group, killed
// with the test process, and stopped (with everything it forked) when this object goes.

#include <gtest/gtest.h>

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace vireo::test {

class PeerProcess {
public:
    // name appears in failure messages; the program's stdout and stderr go to outputFile,
    // never to a pipe that a busy test might leave unread.
    PeerProcess(QString name, QString outputFile);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts the program and waits (at most timeoutMs) until 127.0.0.1 (or ::1) accepts
    // connections on every one of ports. On failure the program is stopped and the message
    // carries its output and the contents of logFiles.
    testing::AssertionResult Start(const QString& program, const QStringList& arguments,
                                   const QList<quint16>& ports, const QStringList& logFiles = {},
                                   int timeoutMs = 10000);
    // Runs startOnce (which picks free ports and calls Start) until it succeeds or fails
    // for another reason than a taken port: a port found free may be taken before the
    // server binds it.
    testing::AssertionResult
    StartOnFreePorts(const std::function<testing::AssertionResult()>& startOnce);
    // Kills the program and every process it started, and waits for it. Safe to repeat.
    void Stop();

    bool IsRunning() const;
    // What the program printed so far, and its log files, for a failure message.
    QString Diagnostics(const QStringList& logFiles = {}) const;
    // The last start failed because the port was taken (the caller may retry elsewhere).
    bool PortWasTaken() const { return m_portTaken; }

private:
    QString m_name;
    QString m_outputFile;
    QProcess m_process;
    bool m_portTaken = false;
};

} // namespace vireo::test
