#pragma once
// Certificates for TLS tests, made with the openssl command line into a temporary folder:
// a test CA, a server certificate for 127.0.0.1 and localhost signed by it, and a
// self-signed certificate for the same names that no client should trust.

#include <QString>
#include <QTemporaryDir>

namespace vireo::test {

class TestCa {
public:
    // Made once per test program (making keys takes a moment); shared by every peer.
    static const TestCa& Shared();

    TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    bool IsValid() const { return m_error.isEmpty(); }
    // Why the certificates could not be made (with openssl's output).
    QString Error() const { return m_error; }

    // PEM of the CA: give it to the client as an additional trusted CA.
    QString CaCertFile() const { return Path("ca.pem"); }
    // Server certificate (subjectAltName IP:127.0.0.1, DNS:localhost) signed by the CA.
    QString ServerCertFile() const { return Path("server.pem"); }
    QString ServerKeyFile() const { return Path("server.key"); }
    // Self-signed, same names: fails verification even with the CA file.
    QString UntrustedCertFile() const { return Path("untrusted.pem"); }
    QString UntrustedKeyFile() const { return Path("untrusted.key"); }

private:
    QString Path(const char* name) const { return m_dir.filePath(name); }
    bool Run(const QStringList& arguments);

    QTemporaryDir m_dir;
    QString m_error;
};

} // namespace vireo::test
