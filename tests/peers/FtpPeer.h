#pragma once
// A real FTP server for the FTP tests: vsftpd in the foreground with a generated
// configuration on a free port of 127.0.0.1. Anonymous login ("anonymous" or "ftp", any
// password) reads the root the test fills; active (PORT) and passive (PASV, EPSV) data
// connections both work. Uploads are off.
//
// Run as root it is vsftpd as sites run it (a privileged parent, sessions chrooted to the
// root). Run as another user it runs as that user without chroot and without password
// logins (vsftpd cannot switch users then).

#include "peers/PeerProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vireo::test {

class FtpPeer {
public:
    FtpPeer();
    ~FtpPeer();
    FtpPeer(const FtpPeer&) = delete;
    FtpPeer& operator=(const FtpPeer&) = delete;

    // Whether SetLogin can work here: it needs root (a PAM service of our own in
    // /etc/pam.d, a virtual user that maps to the system's "ftp" user), the pam_userdb
    // module and perl's DB_File to write its database. No system user is created.
    static bool PasswordLoginAvailable();
    // Adds a login with a password next to anonymous; it sees the same root. Call before
    // Start; Start fails when PasswordLoginAvailable() is false.
    void SetLogin(const QString& user, const QString& password);

    // Call before Start: vsftpd listens on [::1] only, so that the control and data
    // connections are IPv6 (EPSV and EPRT).
    void SetIpv6Only() { m_ipv6 = true; }

    testing::AssertionResult Start();
    // Stops vsftpd and its sessions and removes the PAM service file.
    void Stop();

    // The folder served as "/"; fill it before or after Start.
    QString Root() const;
    // Writes a file under the root ("dir/f.bin"); returns its full path.
    QString Put(const QString& relativePath, const QByteArray& data) const;

    quint16 Port() const { return m_port; }
    // "ftp://127.0.0.1:<port>" + path (path starts with '/'); "ftp://[::1]:<port>" + path
    // with SetIpv6Only.
    QString Url(const QString& path = "/") const;
    // vsftpd's log: every command and reply of every session, and each transfer.
    QString Log() const;

private:
    testing::AssertionResult StartOnce();
    testing::AssertionResult PrepareLogin();
    QString Path(const char* name) const { return m_dir.filePath(name); }
    QByteArray Config() const;

    QTemporaryDir m_dir;
    PeerProcess m_process;
    QString m_user;
    QString m_password;
    QString m_pamService;
    quint16 m_port = 0;
    quint16 m_passiveFirst = 0;
    bool m_ipv6 = false;
};

} // namespace vireo::test
