// The document with its real items against real servers: what a user's download folder
// holds before and after. A finished file is never fetched again, a partial file whose
// source changed ends as the new file, files Vireo did not make are never touched, and a
// failure leaves nothing behind.
#include "OwnFiles.h"
#include "PnaStreamServer.h"
#include "PnmFixtures.h"
#include "TempSettings.h"
#include "downloads/VireoDoc.h"
#include "engine/FileNames.h"
#include "engine/TargetFile.h"
#include "peers/ApachePeer.h"
#include "peers/Curl.h"
#include "peers/FtpPeer.h"
#include "peers/LighttpdPeer.h"
#include "peers/NginxPeer.h"
#include "peers/TestApp.h"
#include "peers/TestFiles.h"
#include "peers/WaitUntil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace vireo;
using namespace vireo::test;

namespace {
class DocTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        dir = temp.Path("/out");
        QDir().mkpath(QString::fromStdString(dir));
        Settings().SetString(keys::DownPath, dir);
        Settings().SetString(keys::Cwd, temp.Path("/home"));
        Settings().SetInt(keys::MaxDown, 5);
        Settings().SetInt(keys::History, 0);
        Settings().SetInt(keys::Log, 0);
        Settings().SetInt(keys::Timeout, 5);
        Settings().SetInt(keys::MaxAttemp, 3);
        Settings().SetInt(keys::Proxy, 0);
        Settings().SetInt(keys::IndexNum, 0);
    }

    // One session of the program: a new document downloads the addresses and ends when
    // every entry is done or failed. Returns the entries' final states and file names.
    struct Entry {
        ItemState state;
        std::string name;
    };
    std::vector<Entry> Run(const std::vector<std::string>& urls, int ms = 30000) {
        CVireoDoc doc;
        doc.RecountSlots();
        for (const std::string& url : urls)
            EXPECT_TRUE(doc.AddUrl(url, false)) << url;
        auto ended = [&] {
            for (int i = 0; i < doc.ItemCount(); ++i)
                if (doc.State(i) == ItemState::Running || doc.State(i) == ItemState::Waiting)
                    return false;
            return true;
        };
        EXPECT_TRUE(WaitUntil(ended, ms));
        std::vector<Entry> out;
        for (int i = 0; i < doc.ItemCount(); ++i)
            out.push_back({doc.State(i), LastPathComponent(doc.Item(i).TargetPath())});
        return out;
    }
    Entry RunOne(const std::string& url) {
        std::vector<Entry> r = Run({url});
        return r.empty() ? Entry{ItemState::Stopped, ""} : r.front();
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    QStringList Folder() const {
        return QDir(QString::fromStdString(dir)).entryList(QDir::Files | QDir::Hidden);
    }
    // What a run stopped in the middle leaves: the first part of the file, stamped as
    // Vireo's own partial file, with the validators of its first answer.
    void CutBack(const std::string& name, qint64 keep) {
        QFile f(QString::fromStdString(Path(name)));
        ASSERT_TRUE(f.resize(keep));
        TargetFile::Stamp(Path(name), false);
    }

    TempSettings temp;
    std::string dir;
};

// Each protocol: a server, the address of a file it serves, and how to take it away.
struct Served {
    std::string url;
    std::function<void()> stop;
};

std::string FtpAddress(const FtpPeer& server, const char* path) {
    return server.Url(path).toStdString();
}

// Where a file is served from: put a file there, its address, and the server's access log
// (none for FTP).
struct Source {
    std::string kind;
    std::function<QString(const QString& name, const QByteArray& data)> put;
    std::function<std::string(const QString& name)> url;
    std::function<QString()> accessLog;
};

template <class WebPeer> Source WebSource(const char* kind, WebPeer& peer) {
    return {kind,
            [&peer](const QString& name, const QByteArray& data) { return peer.Put(name, data); },
            [&peer](const QString& name) { return peer.HttpUrl("/" + name).toStdString(); },
            [&peer] { return peer.AccessLog(); }};
}

// A web server of each kind that users run.
struct WebServers {
    NginxPeer nginx;
    LighttpdPeer lighttpd;
    ApachePeer apache;

    testing::AssertionResult Start() {
        testing::AssertionResult started = nginx.Start();
        if (started)
            started = lighttpd.Start();
        if (started)
            started = apache.Start();
        return started;
    }
    std::vector<Source> Sources() {
        return {WebSource("nginx", nginx), WebSource("lighttpd", lighttpd),
                WebSource("apache2", apache)};
    }
};

// A file that has been on a server for a while, as most are: apache2 tags a file changed
// within the last second weakly, and takes an If-Range date only for a file a minute old.
QDateTime ADayAgo() {
    return QDateTime::currentDateTime().addDays(-1);
}

// What the web server names as the version of the file it serves.
QByteArray VersionServed(const std::string& url) {
    CurlResult head = RunCurl({"-I", QString::fromStdString(url)});
    return head.Header("ETag") + " " + head.Header("Last-Modified") + " " +
           head.Header("Content-Length");
}

// The access-log line of the request for the rest of name from byte start, with the
// If-Range it carried; empty when there was none.
QString ResumeLine(const QString& log, const QString& name, int start) {
    for (const QString& line : log.split('\n'))
        if (line.contains("/" + name + " ") && line.contains(QString("\"bytes=%1-\"").arg(start)) &&
            !line.endsWith("\"-\""))
            return line;
    return {};
}
} // namespace

TEST_F(DocTransfers, AFinishedFileIsNeverFetchedAgain) {
    const QByteArray source = RandomBytes(300000, 21);
    NginxPeer nginx;
    ASSERT_TRUE(nginx.Start());
    nginx.Put("done.bin", source);
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    ftp.Put("pub/done.zip", source);
    StreamFixtures& media = StreamFixtures::Get();
    ASSERT_TRUE(media.Ok()) << media.Error().toStdString();
    std::optional<pna::PnaContent> content = pna::PnaContent::FromRealMedia(media.Audio());
    ASSERT_TRUE(content);
    pna::PnaServerOptions options;
    options.pnaVersion = 10;
    auto pna = std::make_unique<pna::PnaStreamServer>(*content, options);
    ASSERT_TRUE(pna->Listen());

    std::vector<Served> cases = {
        {nginx.HttpUrl("/done.bin").toStdString(), [&] { nginx.Stop(); }},
        {FtpAddress(ftp, "/pub/done.zip"), [&] { ftp.Stop(); }},
        {pna->Url("/clip.rm").toStdString(), [&] { pna.reset(); }},
    };
    for (Served& c : cases) {
        Entry first = RunOne(c.url);
        ASSERT_EQ(first.state, ItemState::Done) << c.url;
        QByteArray bytes = ReadBytes(Path(first.name));
        ASSERT_FALSE(bytes.isEmpty()) << c.url;
        EXPECT_TRUE(TargetFile::IsStampedComplete(Path(first.name))) << c.url;

        // With the server gone, only a download that makes no connection can finish.
        c.stop();
        Entry again = RunOne(c.url);
        EXPECT_EQ(again.state, ItemState::Done) << c.url;
        EXPECT_EQ(again.name, first.name) << c.url;
        EXPECT_TRUE(ReadBytes(Path(first.name)) == bytes) << c.url;
    }
}

TEST_F(DocTransfers, APartialFileWhoseSourceChangedEndsAsTheNewFile) {
    WebServers web;
    ASSERT_TRUE(web.Start());
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    const Source ftpSource = {
        "ftp",
        [&](const QString& name, const QByteArray& data) { return ftp.Put("pub/" + name, data); },
        [&](const QString& name) {
            return FtpAddress(ftp, ("/pub/" + name.toStdString()).c_str());
        },
        {}};
    std::vector<Source> sources = web.Sources();
    sources.push_back(ftpSource);
    struct Case {
        const char* what;
        int oldSize, newSize;
    } cases[] = {
        {"longer", 400000, 500000},
        {"same length", 400000, 400000},
        {"shorter than the part held", 400000, 100000},
    };
    int seed = 30;
    for (const Source& source : sources) {
        for (const Case& c : cases) {
            std::string what = source.kind + ", " + c.what;
            QString name = QString("changing%1.bin").arg(seed);
            QByteArray before = RandomBytes(c.oldSize, quint32(++seed));
            QByteArray after = RandomBytes(c.newSize, quint32(++seed));
            QString served = source.put(name, before);
            ASSERT_TRUE(SetModified(served, ADayAgo()));
            std::string url = source.url(name);
            Entry first = RunOne(url);
            ASSERT_EQ(first.state, ItemState::Done) << what;
            CutBack(name.toStdString(), 200000);
            const QByteArray version = source.accessLog ? VersionServed(url) : QByteArray();

            // A new version, a minute newer (a server's times have whole seconds).
            source.put(name, after);
            ASSERT_TRUE(SetModified(served, QDateTime::currentDateTime().addSecs(60)));
            // lighttpd goes on naming the old length and tag for up to a second, over the
            // new bytes; no client can tell, and a real file does not change that fast.
            if (source.accessLog) {
                ASSERT_TRUE(WaitUntil([&] { return VersionServed(url) != version; })) << what;
            }

            Entry again = RunOne(url);
            EXPECT_EQ(again.state, ItemState::Done) << what;
            EXPECT_EQ(again.name, name.toStdString()) << what;
            EXPECT_TRUE(ReadBytes(Path(again.name)) == after) << what;
            // The resume asked only for the same version of the file.
            if (source.accessLog) {
                EXPECT_NE(ResumeLine(source.accessLog(), name, 200000), "") << what;
            }
        }
    }
}

// The other half: while the file on the server is the one the part came from, the resume
// asks for the rest, with the version it was cut from, and the file ends as the source.
TEST_F(DocTransfers, APartialFileOfAnUnchangedSourceIsAppendedTo) {
    WebServers web;
    ASSERT_TRUE(web.Start());
    int seed = 50;
    for (const Source& source : web.Sources()) {
        // lighttpd takes no range in an HTTP/1.0 request, and a resume is one: it sends
        // the whole file again.
        const bool appended = source.kind != "lighttpd";
        QString name = QString("steady%1.bin").arg(seed);
        QByteArray data = RandomBytes(400000, quint32(++seed));
        ASSERT_TRUE(SetModified(source.put(name, data), ADayAgo()));
        std::string url = source.url(name);
        Entry first = RunOne(url);
        ASSERT_EQ(first.state, ItemState::Done) << source.kind;
        CutBack(name.toStdString(), 150000);

        Entry again = RunOne(url);
        EXPECT_EQ(again.state, ItemState::Done) << source.kind;
        EXPECT_TRUE(ReadBytes(Path(again.name)) == data) << source.kind;
        QString log = source.accessLog();
        QString resume = ResumeLine(log, name, 150000);
        EXPECT_TRUE(resume.contains(appended ? " 206 250000 " : " 200 400000 "))
            << source.kind << "\n"
            << log.toStdString();
    }
}

// Eight segments against each web server users run: the pieces are asked for over several
// connections, each with a range and the file's version, and the file arrives whole.
TEST_F(DocTransfers, ASegmentedDownloadEndsWholeFromEveryWebServer) {
    WebServers web;
    ASSERT_TRUE(web.Start());
    Settings().SetInt(keys::Segments, 8);
    int seed = 70;
    for (const Source& source : web.Sources()) {
        QString name = QString("parts%1.bin").arg(seed);
        QByteArray data = RandomBytes(6 * 1024 * 1024 + 777, quint32(++seed));
        ASSERT_TRUE(SetModified(source.put(name, data), ADayAgo()));
        Entry done = RunOne(source.url(name));
        EXPECT_EQ(done.state, ItemState::Done) << source.kind;
        EXPECT_TRUE(ReadBytes(Path(done.name)) == data) << source.kind;
        EXPECT_TRUE(TargetFile::IsStampedComplete(Path(done.name))) << source.kind;
        QString log = source.accessLog();
        int ranged = 0;
        for (const QString& line : log.split('\n'))
            if (line.contains("/" + name + " ") && line.contains(" 206 "))
                ++ranged;
        EXPECT_GE(ranged, 4) << source.kind << "\n" << log.toStdString();
    }
}

TEST_F(DocTransfers, FilesVireoDidNotMakeAreNeverTouched) {
    NginxPeer nginx;
    ASSERT_TRUE(nginx.Start());
    const QByteArray notes = RandomBytes(50000, 40), page = "<html>a page</html>\n";
    nginx.Put("notes.txt", notes);
    nginx.Put("dir/index.html", page);
    std::map<std::string, QByteArray> users = {{"notes.txt", "my own notes\n"},
                                               {"index0.htm", "mine 0"},
                                               {"index1.htm", "mine 1"},
                                               {"index2.htm", "mine 2"},
                                               {"index3.htm", "mine 3"}};
    for (const auto& [name, bytes] : users)
        ASSERT_TRUE(WriteBytes(Path(name), bytes));

    std::vector<Entry> run =
        Run({nginx.HttpUrl("/notes.txt").toStdString(), nginx.HttpUrl("/dir/").toStdString()});
    ASSERT_EQ(run.size(), 2u);
    for (const Entry& e : run)
        EXPECT_EQ(e.state, ItemState::Done) << e.name;
    for (const auto& [name, bytes] : users)
        EXPECT_TRUE(ReadBytes(Path(name)) == bytes) << name;
    EXPECT_EQ(run[0].name, "notes1.txt");
    EXPECT_TRUE(ReadBytes(Path(run[0].name)) == notes);
    EXPECT_EQ(users.count(run[1].name), 0u) << run[1].name;
    EXPECT_TRUE(ReadBytes(Path(run[1].name)) == page) << run[1].name;

    // Vireo's own partial file still resumes under its own name.
    const QByteArray big = RandomBytes(300000, 41);
    nginx.Put("big.bin", big);
    ASSERT_TRUE(WriteOwnFile(Path("big.bin"), big.left(100000)));
    Entry resumed = RunOne(nginx.HttpUrl("/big.bin").toStdString());
    EXPECT_EQ(resumed.state, ItemState::Done);
    EXPECT_EQ(resumed.name, "big.bin");
    EXPECT_TRUE(ReadBytes(Path("big.bin")) == big);
    EXPECT_TRUE(nginx.AccessLog().contains("\"bytes=100000-\""));
}

TEST_F(DocTransfers, FailuresLeaveTheFolderEmpty) {
    NginxPeer nginx;
    ASSERT_TRUE(nginx.Start());
    Settings().SetInt(keys::Log, 1);
    Settings().SetInt(keys::Timeout, 1);
    Settings().SetInt(keys::MaxAttemp, 1);
    QTcpServer closed; // a port nothing listens on
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    quint16 port = closed.serverPort();
    closed.close();

    std::vector<Entry> run = Run({nginx.HttpUrl("/no/such.bin").toStdString(),
                                  "http://127.0.0.1:" + std::to_string(port) + "/refused.bin"});
    ASSERT_EQ(run.size(), 2u);
    for (const Entry& e : run)
        EXPECT_EQ(e.state, ItemState::Failed) << e.name;
    EXPECT_TRUE(Folder().isEmpty()) << Folder().join(", ").toStdString();
}
