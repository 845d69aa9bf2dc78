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
#include "peers/FtpPeer.h"
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

using namespace vireo;
using namespace vireo::test;

namespace {
class DocTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureTestApp();
        dir = temp.Path("/out");
        QDir().mkpath(QString::fromStdString(dir));
        Settings().SetString("downpath", dir);
        Settings().SetString("cwd", temp.Path("/home"));
        Settings().SetInt("maxdown", 5);
        Settings().SetInt("history", 0);
        Settings().SetInt("log", 0);
        Settings().SetInt("timeout", 5);
        Settings().SetInt("maxattemp", 3);
        Settings().SetInt("proxy", 0);
        Settings().SetInt("indexnum", 0);
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
    NginxPeer nginx;
    ASSERT_TRUE(nginx.Start());
    FtpPeer ftp;
    ASSERT_TRUE(ftp.Start());
    struct Case {
        const char* what;
        int oldSize, newSize;
        bool ftp;
    } cases[] = {
        {"http, longer", 400000, 500000, false},
        {"http, same length", 400000, 400000, false},
        {"http, shorter than the part held", 400000, 100000, false},
        {"ftp, longer", 400000, 500000, true},
        {"ftp, same length", 400000, 400000, true},
        {"ftp, shorter than the part held", 400000, 100000, true},
    };
    int seed = 30;
    for (const Case& c : cases) {
        std::string name = "changing" + std::to_string(seed) + ".bin";
        QByteArray before = RandomBytes(c.oldSize, quint32(++seed));
        QByteArray after = RandomBytes(c.newSize, quint32(++seed));
        QString served = c.ftp ? ftp.Put("pub/" + QString::fromStdString(name), before)
                               : nginx.Put(QString::fromStdString(name), before);
        std::string url = c.ftp ? FtpAddress(ftp, ("/pub/" + name).c_str())
                                : nginx.HttpUrl("/" + QString::fromStdString(name)).toStdString();
        Entry first = RunOne(url);
        ASSERT_EQ(first.state, ItemState::Done) << c.what;
        CutBack(name, 200000);

        // A new version, a minute newer (a server's times have whole seconds).
        c.ftp ? ftp.Put("pub/" + QString::fromStdString(name), after)
              : nginx.Put(QString::fromStdString(name), after);
        QFile file(served);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                     QFileDevice::FileModificationTime));
        file.close();

        Entry again = RunOne(url);
        EXPECT_EQ(again.state, ItemState::Done) << c.what;
        EXPECT_EQ(again.name, name) << c.what;
        EXPECT_TRUE(ReadBytes(Path(name)) == after) << c.what;
    }
    // The resumes asked only for the same version of the file.
    EXPECT_TRUE(nginx.AccessLog().contains("\"bytes=200000-\"")) << nginx.AccessLog().toStdString();
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
    Settings().SetInt("log", 1);
    Settings().SetInt("timeout", 1);
    Settings().SetInt("maxattemp", 1);
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
