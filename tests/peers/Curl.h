#pragma once
// Runs the curl command line against a peer, spinning the event loop meanwhile so that an
// in-process scripted server can answer.

#include "peers/TestApp.h"
#include "peers/WaitUntil.h"

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>

namespace vireo::test {

struct CurlResult {
    int exitCode = -1;  // curl's: 0 ok, 7 refused, 28 timeout, 52 empty reply, 56 reset,
                        // 60 certificate, 67 login denied
    int status = 0;     // the last HTTP status line received
    QByteArray headers; // every header block received (-D)
    QByteArray body;    // stdout
    QByteArray error;   // stderr

    // A header of the last response, empty when absent.
    QByteArray Header(const QByteArray& name) const {
        QList<QByteArray> blocks = headers.split('\n');
        QByteArray value;
        for (const QByteArray& line : blocks) {
            if (line.startsWith("HTTP/"))
                value.clear();
            else if (line.toLower().startsWith(name.toLower() + ":"))
                value = line.mid(name.size() + 1).trimmed();
        }
        return value;
    }
};

inline CurlResult RunCurl(const QStringList& arguments, int timeoutMs = 15000) {
    EnsureTestApp();
    CurlResult result;
    QTemporaryFile headers;
    headers.open();
    QProcess curl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
                             "FTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY",
                             "CURL_HOME", "CURL_CA_BUNDLE", "SSL_CERT_FILE"})
        environment.remove(name);
    curl.setProcessEnvironment(environment);
    curl.start("curl", QStringList{"-q", "-sS", "-D", headers.fileName()} + arguments);
    if (!curl.waitForStarted(5000)) {
        result.error = curl.errorString().toUtf8();
        return result;
    }
    WaitUntil([&] { return curl.state() == QProcess::NotRunning; }, timeoutMs);
    if (curl.state() != QProcess::NotRunning) {
        curl.kill();
        curl.waitForFinished();
        result.error = "curl did not finish";
        return result;
    }
    result.exitCode = curl.exitStatus() == QProcess::NormalExit ? curl.exitCode() : -1;
    result.body = curl.readAllStandardOutput();
    result.error = curl.readAllStandardError();
    result.headers = headers.readAll();
    static const QRegularExpression statusLine(R"(^HTTP/[\d.]+ (\d{3}))",
                                               QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& match :
         statusLine.globalMatch(QString::fromLatin1(result.headers)))
        result.status = match.captured(1).toInt();
    return result;
}

} // namespace vireo::test
