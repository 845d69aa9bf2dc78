#include "peers/TestCa.h"

#include "peers/TestFiles.h"

#include <QProcess>

namespace vireo::test {

namespace {

// Elliptic-curve keys: made in a few milliseconds, and every TLS stack accepts them.
const QStringList kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
const char kNames[] = "subjectAltName=IP:127.0.0.1,DNS:localhost";

} // namespace

const TestCa& TestCa::Shared() {
    static TestCa shared;
    return shared;
}

TestCa::TestCa() {
    if (!m_dir.isValid()) {
        m_error = "cannot create a temporary folder for the certificates";
        return;
    }
    WriteFileUnder(m_dir.path(), "server.ext",
                   QByteArray(kNames) +
                       "\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,"
                       "keyEncipherment\nextendedKeyUsage=serverAuth\n");
    QStringList ca = {"req",     "-x509",
                      "-days",   "3650",
                      "-subj",   "/CN=Vireo Test CA",
                      "-keyout", Path("ca.key"),
                      "-out",    CaCertFile(),
                      "-addext", "basicConstraints=critical,CA:TRUE",
                      "-addext", "keyUsage=critical,keyCertSign,cRLSign"};
    QStringList request = {"req",           "-subj", "/CN=127.0.0.1",   "-keyout",
                           ServerKeyFile(), "-out",  Path("server.csr")};
    QStringList sign = {"x509",
                        "-req",
                        "-in",
                        Path("server.csr"),
                        "-CA",
                        CaCertFile(),
                        "-CAkey",
                        Path("ca.key"),
                        "-CAcreateserial",
                        "-days",
                        "3650",
                        "-extfile",
                        Path("server.ext"),
                        "-out",
                        ServerCertFile()};
    QStringList untrusted = {"req",     "-x509",
                             "-days",   "3650",
                             "-subj",   "/CN=127.0.0.1",
                             "-keyout", UntrustedKeyFile(),
                             "-out",    UntrustedCertFile(),
                             "-addext", kNames};
    ca += kNewKey;
    request += kNewKey;
    untrusted += kNewKey;
    for (const QStringList& step : {ca, request, sign, untrusted})
        if (!Run(step))
            return;
}

bool TestCa::Run(const QStringList& arguments) {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start("openssl", arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        m_error = "openssl " + arguments.join(' ') + " failed: " + openssl.errorString() + "\n" +
                  QString::fromUtf8(openssl.readAll());
        return false;
    }
    return true;
}

} // namespace vireo::test
