// The built program downloading from a real web server: the parallel limit, the order of
// starting, a run killed or ended by a signal in the middle that the next run finishes,
// and where its transfer logs go.
#include "TempSettings.h"
#include "engine/SegmentState.h"
#include "peers/NginxPeer.h"
#include "peers/ProxyPeer.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"
#include "settings/Startup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <map>
#include <sys/xattr.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class HeadlessDownload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        out = QString::fromStdString(temp.Path("/out"));
        QDir().mkpath(out);
        // A settings file as a first run leaves it, with the last list kept.
        RunFirstRun(Settings(), temp.Path("/out"));
        Settings().SetInt(keys::KeepList, 1);
        Settings().SetInt(keys::Timeout, 10);
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VIREO_CONFIG", temp.ConfigPath());
        env.insert("VIREO_HOME", QString::fromStdString(temp.Path("/home")));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        for (const char* name :
             {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy"}) {
            env.remove(name);
            env.remove(QString(name).toUpper());
        }
        for (const auto& [name, value] : extraEnv)
            env.insert(name, value);
        return env;
    }
    void Launch(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(Env());
        // The signals a run reacts to start at their default, whatever this test inherited
        // (a background or nohup run of the tests has some of them ignored).
        p.setChildProcessModifier([] {
            for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
                std::signal(signo, SIG_DFL);
        });
        p.start(VIREO_BINARY, QStringList{"--headless", "-d", out} + args);
        ASSERT_TRUE(p.waitForStarted());
    }
    QStringList Logs(const QString& dir) const {
        return QDir(dir).entryList({"*.log"}, QDir::Files);
    }
    QString LogDir() const { return QString::fromStdString(temp.Path("/home/logs")); }
    QByteArray Read(const QString& name) const {
        QFile f(out + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Runs the program to its end; its status, standard output and standard error.
    struct Run {
        int status = -1;
        QString out, err;
    };
    Run RunToEnd(const QStringList& args, int ms = 30000) {
        QProcess p;
        Launch(p, args);
        if (!p.waitForFinished(ms))
            p.kill();
        p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }

    TempSettings temp;
    NginxPeer server;
    QString out;
    std::map<QString, QString> extraEnv; // set for the program's runs
};
} // namespace

TEST_F(HeadlessDownload, TwentyEntriesFiveAtATimeInListOrder) {
    QStringList urls;
    std::vector<QByteArray> sources;
    for (int i = 0; i < 20; ++i) {
        QString name = QString("f%1.bin").arg(i);
        sources.push_back(RandomBytes(300000 + i * 1000, quint32(i + 1)));
        server.Put(name, sources.back());
        urls << server.HttpUrl("/slow/" + name);
    }
    QProcess p;
    Launch(p, QStringList{"-j", "5"} + urls);
    ASSERT_TRUE(p.waitForFinished(60000));
    QString output = p.readAllStandardOutput();
    EXPECT_EQ(p.exitCode(), 0) << output.toStdString() << p.readAllStandardError().toStdString();

    int running = 0, most = 0;
    QStringList startOrder;
    for (const QString& line : output.split('\n')) {
        if (line.startsWith("started ")) {
            most = std::max(most, ++running);
            startOrder << line.section(' ', 1, 1);
        } else if (line.startsWith("done ") || line.startsWith("failed ")) {
            --running;
        }
    }
    EXPECT_EQ(most, 5);
    EXPECT_EQ(startOrder, urls);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(Read(QString("f%1.bin").arg(i)) == sources[size_t(i)]) << i;
}

TEST_F(HeadlessDownload, KilledRunIsResumedFromTheLastList) {
    QStringList urls;
    std::vector<QByteArray> sources;
    for (int i = 0; i < 3; ++i) {
        QString name = QString("big%1.bin").arg(i);
        sources.push_back(RandomBytes(6 * 1024 * 1024, quint32(100 + i)));
        server.Put(name, sources.back());
        urls << server.HttpUrl("/slow/" + name);
    }
    QProcess first;
    Launch(first, urls);
    QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return QFile::exists(lastList) && QFile(out + "/big0.bin").size() > 1000000 &&
                   QFile(out + "/big2.bin").size() > 1000000;
        },
        20000));
    first.kill();
    first.waitForFinished();
    qint64 partial = QFile(out + "/big0.bin").size();
    ASSERT_LT(partial, sources[0].size());

    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardOutput().toStdString()
                                    << second.readAllStandardError().toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Read(QString("big%1.bin").arg(i)) == sources[size_t(i)]) << i;
    EXPECT_TRUE(server.AccessLog().contains("\"bytes=")) << server.AccessLog().toStdString();
}

TEST_F(HeadlessDownload, HangUpTerminateAndPipeStopLikeCtrlCAndTheNextRunResumes) {
    const QByteArray source = RandomBytes(4 * 1024 * 1024, 7);
    server.Put("big.bin", source);
    const QString url = server.HttpUrl("/slow/big.bin");
    const QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    struct Case {
        int signo;
        int status;
    } cases[] = {{SIGHUP, 129}, {SIGTERM, 143}, {SIGPIPE, 141}, {SIGINT, 130}};
    for (const Case& c : cases) {
        QFile::remove(out + "/big.bin");
        QFile::remove(lastList);
        QProcess first;
        Launch(first, {url});
        ASSERT_TRUE(WaitUntil([&] { return QFile(out + "/big.bin").size() > 500000; }, 20000));
        // The transfer log is written in the state directory, never beside the download.
        EXPECT_EQ(Logs(LogDir()).size(), 1) << c.signo;
        EXPECT_EQ(Logs(out), QStringList{}) << c.signo;
        ::kill(pid_t(first.processId()), c.signo);
        ASSERT_TRUE(first.waitForFinished(10000)) << c.signo;
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit) << c.signo;
        EXPECT_EQ(first.exitCode(), c.status) << first.readAllStandardError().toStdString();
        EXPECT_NE(first.readAllStandardOutput().indexOf("0 done, 0 failed, 1 stopped"), -1);

        QByteArray partial = Read("big.bin");
        EXPECT_GT(partial.size(), 500000) << c.signo;
        EXPECT_LT(partial.size(), source.size()) << c.signo;
        EXPECT_TRUE(source.startsWith(partial)) << c.signo;
        EXPECT_EQ(Logs(LogDir()), QStringList{}) << c.signo; // removed as at a normal exit
        ASSERT_EQ(ReadWholeFile(lastList), url.toUtf8() + "\r\n") << c.signo;

        QProcess second;
        Launch(second, {});
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_TRUE(Read("big.bin") == source) << c.signo;
    }
    // Every second run continued the partial file rather than starting again.
    EXPECT_GE(server.AccessLog().count("\"bytes="), 4) << server.AccessLog().toStdString();
}

TEST_F(HeadlessDownload, AReaderThatGoesAwayEndsTheRunWith141AfterStoppingIt) {
    const QByteArray small = RandomBytes(600000, 8), big = RandomBytes(4 * 1024 * 1024, 9);
    server.Put("small.bin", small);
    server.Put("big.bin", big);
    const QStringList urls{server.HttpUrl("/slow/small.bin"), server.HttpUrl("/slow/big.bin")};
    // head takes the first byte and leaves; the next line vireo writes meets a closed pipe.
    QProcess first;
    first.setProcessEnvironment(Env());
    first.setChildProcessModifier([] {
        for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            std::signal(signo, SIG_DFL);
    });
    first.start("bash", {"-c", "\"$@\" | head -c1 >/dev/null; exit \"${PIPESTATUS[0]}\"", "run",
                         VIREO_BINARY, "--headless", "-j", "1", "-d", out, urls[0], urls[1]});
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitCode(), 141) << first.readAllStandardError().toStdString();
    EXPECT_LT(QFile(out + "/big.bin").size(), big.size());
    EXPECT_EQ(Logs(LogDir()), QStringList{});
    EXPECT_EQ(ReadWholeFile(QString::fromStdString(temp.Path("/home/lastlist.txt"))),
              (urls.join("\r\n") + "\r\n").toUtf8());

    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("small.bin") == small);
    EXPECT_TRUE(Read("big.bin") == big);
}

// What a user sees in the download folder after runs of the program itself.
TEST_F(HeadlessDownload, TheFolderKeepsWhatIsNotVireosAndNothingIsFetchedTwice) {
    const QByteArray notes = RandomBytes(40000, 11), pkg = RandomBytes(90000, 12);
    server.Put("notes.txt", notes);
    server.Put("pkg-1.2.3.tar.gz", pkg);
    server.Put("dir/index.html", "<html>the page</html>\n");
    std::map<QString, QByteArray> users = {{"notes.txt", "mine\n"},
                                           {"index0.htm", "0"},
                                           {"index1.htm", "1"},
                                           {"index2.htm", "2"},
                                           {"index3.htm", "3"}};
    for (const auto& [name, bytes] : users)
        ASSERT_FALSE(WriteFileUnder(out, name, bytes).isEmpty());
    const QStringList urls{server.HttpUrl("/notes.txt"), server.HttpUrl("/dir/"),
                           server.HttpUrl("/pkg-1.2.3.tar.gz")};

    QProcess first;
    Launch(first, urls);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    for (const auto& [name, bytes] : users)
        EXPECT_TRUE(Read(name) == bytes) << name.toStdString();
    EXPECT_TRUE(Read("notes1.txt") == notes);
    // The page took an index name that was free.
    QStringList pages = QDir(out).entryList({"index*.htm"}, QDir::Files);
    ASSERT_EQ(pages.size(), 5) << pages.join(", ").toStdString();
    for (const QString& name : pages)
        if (!users.count(name))
            EXPECT_TRUE(Read(name) == "<html>the page</html>\n") << name.toStdString();
    EXPECT_TRUE(Read("pkg-1.2.3.tar.gz") == pkg);

    // The same files again: finished already, so no request reaches the server.
    int requests = server.AccessLog().count('\n');
    QProcess second;
    Launch(second, {urls[0], urls[2]});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(server.AccessLog().count('\n'), requests) << server.AccessLog().toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), int(users.size()) + 3)
        << QDir(out).entryList(QDir::Files).join(", ").toStdString();
}

TEST_F(HeadlessDownload, FailuresLeaveTheFolderEmpty) {
    Settings().SetInt(keys::Timeout, 1);
    Settings().SetInt(keys::MaxAttemp, 2);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = QString("http://127.0.0.1:%1/refused.bin").arg(closed.serverPort());
    closed.close();
    QProcess p;
    Launch(p, {server.HttpUrl("/no/such.bin"), refused});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    QString err = p.readAllStandardError();
    EXPECT_TRUE(err.contains("connection refused")) << err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{});
}

TEST_F(HeadlessDownload, JsonLinesAreAllAProgramReadsOnStandardOutput) {
    QByteArray source = RandomBytes(5 * 1024 * 1024, 77);
    server.Put("j.bin", source);
    // The slow path makes the download take a few seconds, so progress is reported.
    Run run = RunToEnd({"--json", server.HttpUrl("/slow/j.bin"), server.HttpUrl("/no/such.bin")});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_TRUE(Read("j.bin") == source);
    std::map<QString, int> seen;
    for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error{};
        QJsonObject event = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        QString kind = event["event"].toString();
        ++seen[kind];
        if (kind == "done") {
            EXPECT_EQ(event["url"].toString(), server.HttpUrl("/slow/j.bin"));
            EXPECT_EQ(event["file"].toString(), out + "/j.bin");
            EXPECT_EQ(event["bytes"].toInteger(), source.size());
            EXPECT_EQ(event["size"].toInteger(), source.size());
        } else if (kind == "failed") {
            EXPECT_EQ(event["error"].toInt(), 404);
            EXPECT_TRUE(event["text"].toString().startsWith("file not found"))
                << line.toStdString();
        } else if (kind == "progress" && event["bytes"].toInteger() > 0) {
            // The size is null until the server has named it.
            EXPECT_EQ(event["size"].toInteger(), source.size()) << line.toStdString();
            EXPECT_LE(event["bytes"].toInteger(), source.size());
            ++seen["progress with bytes"];
        } else if (kind == "summary") {
            EXPECT_EQ(event["done"].toInt(), 1);
            EXPECT_EQ(event["failed"].toInt(), 1);
        }
    }
    EXPECT_EQ(seen["start"], 2);
    EXPECT_GE(seen["progress with bytes"], 1);
    EXPECT_EQ(seen["done"], 1);
    EXPECT_EQ(seen["failed"], 1);
    EXPECT_EQ(seen["summary"], 1);
}

TEST_F(HeadlessDownload, AChangedSourceIsFetchedWholeNotSplicedOntoThePartialFile) {
    const QByteArray before = RandomBytes(4 * 1024 * 1024, 13);
    const QByteArray after = RandomBytes(3 * 1024 * 1024 + 17, 14);
    const QString served = server.Put("moving.bin", before);
    const QString url = server.HttpUrl("/slow/moving.bin");
    QProcess first;
    Launch(first, {url});
    ASSERT_TRUE(WaitUntil([&] { return QFile(out + "/moving.bin").size() > 500000; }, 20000));
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 143);
    ASSERT_LT(QFile(out + "/moving.bin").size(), before.size());

    server.Put("moving.bin", after);
    QFile file(served);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                 QFileDevice::FileModificationTime));
    file.close();
    QProcess second;
    Launch(second, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("moving.bin") == after);
}

// Every address with a written scheme and a host reaches the server: a single-label name,
// an IPv6 literal (connected without its brackets, named with them in Host). A word that
// is no address is told and skipped; the others still run and the status tells of it.
TEST_F(HeadlessDownload, NamesWithoutADotAndIPv6LiteralsDownloadAndABadWordIsSkipped) {
    const QByteArray a = RandomBytes(200000, 21), b = RandomBytes(300000, 22);
    server.Put("a.bin", a);
    server.Put("b.bin", b);
    const QString port = QString::number(server.HttpPort());
    QProcess p;
    Launch(p, {"http://localhost:" + port + "/a.bin", "nohost/x.bin",
               "http://[::1]:" + port + "/b.bin"});
    ASSERT_TRUE(p.waitForFinished(30000));
    QString err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    EXPECT_EQ(err, "vireo: skipped 'nohost/x.bin': no scheme, and the host has no dot: write "
                   "it as http://nohost/x.bin\n");
    EXPECT_TRUE(Read("a.bin") == a);
    EXPECT_TRUE(Read("b.bin") == b);
    QString log = server.AccessLog();
    EXPECT_TRUE(log.contains("\"localhost:" + port + "\"")) << log.toStdString();
    EXPECT_TRUE(log.contains("::1 \"GET /b.bin")) << log.toStdString();
    EXPECT_TRUE(log.contains("\"[::1]:" + port + "\"")) << log.toStdString();
}

// List files, one of them standard input: every line that gives no entry is told with
// its number and why; comments and blank lines are passed over without a word.
TEST_F(HeadlessDownload, ListLinesThatAreSkippedAreToldByNumber) {
    const QByteArray one = RandomBytes(100000, 31), two = RandomBytes(100000, 32),
                     three = RandomBytes(100000, 33);
    server.Put("one.bin", one);
    server.Put("two.bin", two);
    server.Put("three.bin", three);
    const QString port = QString::number(server.HttpPort());
    const QString list = WriteFileUnder(QString::fromStdString(temp.Dir()), "list.txt",
                                        "# the first file\n"
                                        "http://localhost:" +
                                            port.toUtf8() +
                                            "/one.bin\n"
                                            "\n"
                                            "bad line.x/a b\r\n"
                                            "   \t\n"
                                            "nas/file.bin\n"
                                            "#http://h.x/not-this.bin\n"
                                            "http://[::1]:" +
                                            port.toUtf8() + "/two.bin");
    ASSERT_FALSE(list.isEmpty());
    QProcess p;
    Launch(p, {"-i", list, "-i", "-"});
    p.write("\n# from a pipe\nhttp://127.0.0.1:" + port.toUtf8() + "/three.bin\nftp://\n");
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    QString err = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    EXPECT_EQ(err, "vireo: " + list + ":4: skipped 'bad line.x/a b': a space in the address\n" +
                       "vireo: " + list +
                       ":6: skipped 'nas/file.bin': no scheme, and the host has no dot: write it "
                       "as http://nas/file.bin\n"
                       "vireo: standard input:4: skipped 'ftp://': not a valid address\n")
        << err.toStdString();
    EXPECT_TRUE(Read("one.bin") == one);
    EXPECT_TRUE(Read("two.bin") == two);
    EXPECT_TRUE(Read("three.bin") == three);
}

// The proxy variables of the environment, as curl and wget honour them: the request goes
// through the proxy (its log shows it), no_proxy naming the host goes direct, and
// --no-proxy and --proxy overrule the environment. The stored settings stay as they were.
TEST_F(HeadlessDownload, EnvironmentProxiesAreHonouredAndOverruledByTheOptions) {
    ProxyPeer proxy;
    ASSERT_TRUE(proxy.Start());
    const QByteArray data = RandomBytes(150000, 41);
    server.Put("p.bin", data);
    const QString url = server.HttpUrl("/p.bin");
    const QString viaProxy = "GET " + url + " HTTP/1.1";
    struct Case {
        std::map<QString, QString> env;
        QStringList options;
        bool throughProxy;
    } cases[] = {
        {{{"http_proxy", "http://" + proxy.HostPort() + "/"}}, {}, true},
        {{{"HTTP_PROXY", proxy.HostPort()}}, {}, true},
        {{{"all_proxy", proxy.HostPort()}}, {}, true},
        {{{"https_proxy", proxy.HostPort()}, {"ftp_proxy", proxy.HostPort()}}, {}, false},
        {{{"http_proxy", proxy.HostPort()}, {"no_proxy", "example.org, 127.0.0.1"}}, {}, false},
        {{{"http_proxy", proxy.HostPort()}, {"NO_PROXY", "*"}}, {}, false},
        {{{"http_proxy", proxy.HostPort()}}, {"--no-proxy"}, false},
        {{{"http_proxy", "127.0.0.1:9"}}, {"--proxy", "http://" + proxy.HostPort()}, true},
        {{}, {"--proxy", proxy.HostPort()}, true},
    };
    for (const Case& c : cases) {
        QFile::remove(out + "/p.bin");
        extraEnv = c.env;
        int before = int(proxy.Requests().size());
        Run r = RunToEnd(c.options + QStringList{url});
        std::string label = c.options.join(' ').toStdString() + " " +
                            (c.env.empty() ? "" : c.env.begin()->first.toStdString());
        EXPECT_EQ(r.status, 0) << label << r.err.toStdString();
        EXPECT_TRUE(Read("p.bin") == data) << label;
        QStringList seen = proxy.Requests().mid(before);
        EXPECT_EQ(seen, c.throughProxy ? QStringList{viaProxy} : QStringList{})
            << label << " " << seen.join(" | ").toStdString();
    }
    QSettings stored(temp.ConfigPath(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("setup/proxy").toInt(), 0);
}

// The options a script reaches for: the file's name, the login, the request's agent and
// extra lines, the transfer logs kept, a page's links queued through the link filter.
TEST_F(HeadlessDownload, OutputLoginAgentHeadersLogsAndLinksOfAPage) {
    const QByteArray secret = RandomBytes(50000, 51);
    server.Put("private/s.bin", secret);
    const QString logs = QString::fromStdString(temp.Path("/kept-logs"));
    Run r = RunToEnd({"-o", "renamed.dat", "--user", server.User() + ":" + server.Password(),
                      "--user-agent", "probe/1.0", "--header", "X-Trace: abc", "--log-dir", logs,
                      server.HttpUrl("/private/s.bin")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Read("renamed.dat") == secret);
    EXPECT_FALSE(QFile::exists(out + "/s.bin"));
    QString access = server.AccessLog();
    EXPECT_TRUE(access.contains("\"probe/1.0\"")) << access.toStdString();
    EXPECT_TRUE(access.contains(" 401 ")) << access.toStdString();
    EXPECT_TRUE(access.contains(" 200 ")) << access.toStdString();
    // The kept log is the transfer's: the request, the refusal, the login, the file.
    QByteArray log = ReadWholeFile(logs + "/renamed.dat.log");
    EXPECT_TRUE(log.contains("HTTP req: /private/s.bin")) << log.toStdString();
    EXPECT_TRUE(log.contains("401")) << log.toStdString();
    EXPECT_EQ(Logs(LogDir()), QStringList{}); // the working copies are gone as always

    // A wrong login is given once and the entry fails as unauthorized.
    server.Put("private/t.bin", secret);
    r = RunToEnd({"--user", "vireo:wrong", server.HttpUrl("/private/t.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("unauthorized")) << r.err.toStdString();

    std::map<QString, QByteArray> files;
    QByteArray page = "<html><body>";
    for (const char* name : {"a.zip", "b.iso", "c.txt", "sub/d.zip"}) {
        files[name] = RandomBytes(20000 + int(files.size()), quint32(60 + files.size()));
        server.Put(QString("site/") + name, files[name]);
        page += QByteArray("<a href=\"") + name + "\">" + name + "</a>\n";
    }
    server.Put("site/index.html", page + "</body></html>\n");
    r = RunToEnd({"--links", server.HttpUrl("/site/index.html"), "--accept", "zip,iso"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(Read("a.zip") == files["a.zip"]);
    EXPECT_TRUE(Read("b.iso") == files["b.iso"]);
    EXPECT_TRUE(Read("d.zip") == files["sub/d.zip"]);
    EXPECT_FALSE(QFile::exists(out + "/c.txt"));
    EXPECT_FALSE(server.AccessLog().contains("c.txt"));
}

namespace {
// Bytes nginx sent for a path, each answer as the range of the file it covered (from the
// start of its Range, or of the file without one).
std::vector<ByteRange> SentRanges(const QString& accessLog, const QString& path) {
    static const QRegularExpression line(R"re("GET (\S+) HTTP/1\.[01]" (\d+) (\d+) "([^"]*)")re");
    std::vector<ByteRange> sent;
    for (const QString& text : accessLog.split('\n')) {
        QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch() || m.captured(1) != path ||
            (m.captured(2) != "200" && m.captured(2) != "206"))
            continue;
        int64_t first = 0;
        if (m.captured(4).startsWith("bytes="))
            first = m.captured(4).mid(6).section('-', 0, 0).toLongLong();
        sent.push_back({first, first + m.captured(3).toLongLong()});
    }
    return sent;
}

// Bytes sent more than once.
int64_t SentTwice(std::vector<ByteRange> sent) {
    std::sort(sent.begin(), sent.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    int64_t twice = 0, reach = 0;
    for (const ByteRange& r : sent) {
        twice += std::max<int64_t>(0, std::min(reach, r.end) - r.first);
        reach = std::max(reach, r.end);
    }
    return twice;
}

SegmentState Kept(const QString& path) {
    char value[8192];
    ssize_t n =
        ::getxattr(path.toLocal8Bit().constData(), "user.vireo.segments", value, sizeof value);
    return n > 0 ? ParseSegments(std::string_view(value, size_t(n))) : SegmentState{};
}

bool Inside(const ByteRange& r, const std::vector<ByteRange>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const ByteRange& m) { return m.first <= r.first && r.end <= m.end; });
}

// 30 MiB in the suite; VIREO_SEGMENT_TEST_MIB runs the same checks at another size (the
// 200 MB of the benchmark, by hand), the waits growing with it.
int SegmentedMiB() {
    int mib = qEnvironmentVariableIntValue("VIREO_SEGMENT_TEST_MIB");
    return mib > 0 ? mib : 30;
}
const int kSegmentedSize = SegmentedMiB() * 1024 * 1024;
int Scaled(int ms) {
    return ms * std::max(1, SegmentedMiB() / 30);
}
} // namespace

TEST_F(HeadlessDownload, EightSegmentsFetchTheFileWhole) {
    const QByteArray source = RandomBytes(kSegmentedSize, 31);
    server.Put("seg.bin", source);
    Run run = RunToEnd({"-s", "8", server.HttpUrl("/seg.bin")}, Scaled(60000));
    EXPECT_EQ(run.status, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(Read("seg.bin") == source);
    EXPECT_TRUE(Kept(out + "/seg.bin").Empty()); // nothing kept once the file is whole
    QString log = server.AccessLog();
    EXPECT_GE(log.count("\"bytes="), 7) << log.toStdString();
}

// Killed with SIGKILL at about half, the next run continues every segment: it asks only
// for what the kept state names missing, and no byte is sent twice beyond what was on its
// way when the first run died.
TEST_F(HeadlessDownload, EightSegmentsKilledAtHalfAreContinued) {
    const QByteArray source = RandomBytes(kSegmentedSize, 32);
    server.Put("half.bin", source);
    const QString url = server.HttpUrl("/slow/half.bin");
    const QString file = out + "/half.bin";
    const QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    QProcess first;
    Launch(first, {"-s", "8", url});
    ASSERT_TRUE(WaitUntil(
        [&] {
            SegmentState kept = Kept(file);
            return QFile::exists(lastList) && !kept.Empty() &&
                   kept.MissingBytes() <= kSegmentedSize / 2;
        },
        Scaled(30000)));
    first.kill();
    first.waitForFinished();
    const SegmentState kept = Kept(file);
    ASSERT_FALSE(kept.Empty());
    EXPECT_GE(kept.missing.size(), 4u); // pieces were under way side by side
    EXPECT_EQ(QFile(file).size(), kSegmentedSize);
    const size_t firstRunAnswers = SentRanges(server.AccessLog(), "/slow/half.bin").size();

    QProcess second;
    Launch(second, {"-s", "8"});
    ASSERT_TRUE(second.waitForFinished(Scaled(60000)));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardOutput().toStdString()
                                    << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("half.bin") == source);
    EXPECT_TRUE(Kept(file).Empty());

    std::vector<ByteRange> sent = SentRanges(server.AccessLog(), "/slow/half.bin");
    ASSERT_GT(sent.size(), firstRunAnswers);
    for (size_t i = firstRunAnswers; i < sent.size(); ++i)
        EXPECT_TRUE(Inside(sent[i], kept.missing)) << sent[i].first << "-" << sent[i].end;
    // What was on its way at the kill: the state is kept four times a second, so at most
    // a quarter of a second (2 MB/s) and the server's buffers of each of the eight
    // connections.
    RecordProperty("bytes_sent_twice", std::to_string(SentTwice(sent)));
    EXPECT_LE(SentTwice(sent), 8 * 1024 * 1024) << server.AccessLog().toStdString();
}

// The file changes on the server between the kill and the next run: what is on disk is
// of the old version, and the new one arrives whole.
TEST_F(HeadlessDownload, ASegmentedFileChangedOnTheServerArrivesAsTheNewOne) {
    const QByteArray old = RandomBytes(kSegmentedSize, 33);
    const QByteArray fresh = RandomBytes(kSegmentedSize + 4096, 34);
    server.Put("moved.bin", old);
    const QString url = server.HttpUrl("/slow/moved.bin");
    const QString file = out + "/moved.bin";
    const QString lastList = QString::fromStdString(temp.Path("/home/lastlist.txt"));
    QProcess first;
    Launch(first, {"-s", "8", url});
    ASSERT_TRUE(WaitUntil(
        [&] {
            SegmentState kept = Kept(file);
            return QFile::exists(lastList) && !kept.Empty() &&
                   kept.MissingBytes() <= kSegmentedSize / 2;
        },
        Scaled(30000)));
    first.kill();
    first.waitForFinished();
    server.Put("moved.bin", fresh);

    QProcess second;
    Launch(second, {"-s", "8"});
    ASSERT_TRUE(second.waitForFinished(Scaled(60000)));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Read("moved.bin") == fresh);
    EXPECT_TRUE(Kept(file).Empty());
}
