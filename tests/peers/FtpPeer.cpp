#include "peers/FtpPeer.h"

#include "peers/FreePort.h"
#include "peers/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace vireo::test {

namespace {

const int kPassivePorts = 4;
const char kPamDir[] = "/etc/pam.d";
const char kPamPrefix[] = "vireo-test-ftp-";

bool IsRoot() {
    return geteuid() == 0;
}

bool HasPamUserdb() {
    for (const char* base : {"/lib", "/usr/lib", "/lib64", "/usr/lib64"}) {
        if (QFile::exists(QString(base) + "/security/pam_userdb.so"))
            return true;
        for (const QString& arch : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFile::exists(QString("%1/%2/security/pam_userdb.so").arg(base, arch)))
                return true;
    }
    return false;
}

// Writes user and password into the Berkeley DB hash file pam_userdb reads.
bool WriteUserDb(const QString& file, const QString& user, const QString& password,
                 QString* error) {
    QProcess perl;
    perl.setProcessChannelMode(QProcess::MergedChannels);
    perl.start("perl", {"-MDB_File", "-MFcntl", "-e",
                        "my %h; tie(%h, 'DB_File', $ARGV[0], O_RDWR|O_CREAT|O_TRUNC, 0600, "
                        "$DB_HASH) or die \"$ARGV[0]: $!\"; $h{$ARGV[1]} = $ARGV[2]; untie %h;",
                        file, user, password});
    if (perl.waitForFinished(10000) && perl.exitStatus() == QProcess::NormalExit &&
        perl.exitCode() == 0)
        return true;
    *error = "perl DB_File: " + perl.errorString() + " " + QString::fromUtf8(perl.readAll());
    return false;
}

bool PerlHasDbFile() {
    QProcess perl;
    perl.start("perl", {"-MDB_File", "-e", "1"});
    return perl.waitForFinished(10000) && perl.exitStatus() == QProcess::NormalExit &&
           perl.exitCode() == 0;
}

// PAM service files left by test programs that were killed.
void RemoveStalePamServices() {
    QDir pam(kPamDir);
    for (const QString& name : pam.entryList({QString(kPamPrefix) + "*"}, QDir::Files)) {
        pid_t owner = name.mid(int(strlen(kPamPrefix))).section('-', 0, 0).toInt();
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH)
            pam.remove(name);
    }
}

} // namespace

FtpPeer::FtpPeer() : m_process("vsftpd", m_dir.filePath("vsftpd.out")) {
    // The anonymous session runs as the "ftp" user when started by root: it must reach
    // the root through the prefix, but must not be able to write there.
    QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ReadGroup |
                                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QDir(m_dir.path()).mkpath("root");
    QDir(m_dir.path()).mkpath("empty");
}

FtpPeer::~FtpPeer() {
    Stop();
}

bool FtpPeer::PasswordLoginAvailable() {
    static const bool available =
        IsRoot() && QFileInfo(kPamDir).isWritable() && HasPamUserdb() && PerlHasDbFile();
    return available;
}

void FtpPeer::SetLogin(const QString& user, const QString& password) {
    m_user = user;
    m_password = password;
}

QString FtpPeer::Root() const {
    return Path("root");
}

QString FtpPeer::Put(const QString& relativePath, const QByteArray& data) const {
    return WriteFileUnder(Root(), relativePath, data);
}

QString FtpPeer::Url(const QString& path) const {
    return QString("ftp://%1:%2%3").arg(m_ipv6 ? "[::1]" : "127.0.0.1").arg(m_port).arg(path);
}

QString FtpPeer::Log() const {
    return QString::fromUtf8(ReadWholeFile(Path("vsftpd.log")));
}

testing::AssertionResult FtpPeer::Start() {
    if (!m_dir.isValid())
        return testing::AssertionFailure() << "vsftpd: cannot create a temporary folder";
    if (!m_user.isEmpty()) {
        testing::AssertionResult login = PrepareLogin();
        if (!login)
            return login;
    }
    return m_process.StartOnFreePorts([this] { return StartOnce(); });
}

testing::AssertionResult FtpPeer::PrepareLogin() {
    if (!PasswordLoginAvailable())
        return testing::AssertionFailure()
               << "vsftpd: a login with a password needs root, pam_userdb and perl's "
                  "DB_File (check FtpPeer::PasswordLoginAvailable() first)";
    QString error;
    if (!WriteUserDb(Path("users.db"), m_user, m_password, &error))
        return testing::AssertionFailure() << error.toStdString();
    RemoveStalePamServices();
    static int serial = 0;
    m_pamService = QString("%1%2-%3").arg(kPamPrefix).arg(getpid()).arg(++serial);
    QString db = Path("users"); // pam_userdb adds ".db"
    QByteArray service = QString("auth required pam_userdb.so db=%1\n"
                                 "account required pam_userdb.so db=%1\n")
                             .arg(db)
                             .toUtf8();
    if (WriteFileUnder(kPamDir, m_pamService, service).isEmpty()) {
        m_pamService.clear();
        return testing::AssertionFailure() << "vsftpd: cannot write the PAM service file";
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult FtpPeer::StartOnce() {
    m_port = FreePort();
    m_passiveFirst = FreePortRange(kPassivePorts);
    if (WriteFileUnder(m_dir.path(), "vsftpd.conf", Config()).isEmpty())
        return testing::AssertionFailure() << "vsftpd: cannot write the configuration";
    return m_process.Start("vsftpd", {Path("vsftpd.conf")}, {m_port}, {Path("vsftpd.log")});
}

void FtpPeer::Stop() {
    m_process.Stop();
    if (!m_pamService.isEmpty()) {
        QDir(kPamDir).remove(m_pamService);
        m_pamService.clear();
    }
}

QByteArray FtpPeer::Config() const {
    QString config = QString(m_ipv6 ? "listen=NO\n"
                                      "listen_ipv6=YES\n"
                                      "listen_address6=::1\n"
                                    : "listen=YES\n"
                                      "listen_ipv6=NO\n"
                                      "listen_address=127.0.0.1\n") +
                     QString("listen_port=%1\n"
                             "background=NO\n"
                             "anonymous_enable=YES\n"
                             "anon_root=%2\n"
                             "write_enable=NO\n"
                             "pasv_enable=YES\n"
                             "pasv_address=127.0.0.1\n"
                             "pasv_min_port=%3\n"
                             "pasv_max_port=%4\n"
                             "port_enable=YES\n"
                             // The client's data port is unprivileged; so is ours.
                             "connect_from_port_20=NO\n"
                             // Containers often forbid the namespaces and the syscall filter.
                             "seccomp_sandbox=NO\n"
                             "isolate=NO\n"
                             "isolate_network=NO\n"
                             "xferlog_enable=YES\n"
                             "xferlog_std_format=NO\n"
                             "log_ftp_protocol=YES\n"
                             "vsftpd_log_file=%5\n"
                             "idle_session_timeout=120\n"
                             "data_connection_timeout=120\n"
                             "delay_failed_login=0\n")
                         .arg(m_port)
                         .arg(Root())
                         .arg(m_passiveFirst)
                         .arg(m_passiveFirst + kPassivePorts - 1)
                         .arg(Path("vsftpd.log"));
    if (!IsRoot()) {
        config += "run_as_launching_user=YES\nlocal_enable=NO\n";
    } else {
        config += QString("secure_chroot_dir=%1\n").arg(Path("empty"));
        if (m_pamService.isEmpty()) {
            config += "local_enable=NO\n";
        } else {
            // Virtual users: PAM checks the password, the session runs as "ftp".
            config += QString("local_enable=YES\n"
                              "guest_enable=YES\n"
                              "guest_username=ftp\n"
                              "virtual_use_local_privs=NO\n"
                              "local_root=%1\n"
                              "pam_service_name=%2\n")
                          .arg(Root(), m_pamService);
        }
    }
    return config.toUtf8();
}

} // namespace vireo::test
