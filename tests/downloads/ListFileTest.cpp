#include "DocFixture.h"
#include "common/AsciiCase.h"
#include "common/WriteFileAtomically.h"
#include "downloads/ListText.h"
#include "downloads/RecentLists.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>

#include <csignal>

using namespace vireo;
using namespace vireo::test;

namespace {
using ListFile = DocFixture;
using States = std::vector<ItemState>;

std::string ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}
void WriteAll(const std::string& path, std::string_view text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
}
std::vector<std::string> Urls(CVireoDoc& doc) {
    std::vector<std::string> out;
    for (int i = 0; i < doc.ItemCount(); ++i)
        out.push_back(doc.Item(i).Url());
    return out;
}
} // namespace

TEST(ListText, SplitsAtEveryKindOfLineEndAndStopsAtNul) {
    using Lines = std::vector<std::string_view>;
    struct Case {
        std::string_view text;
        Lines lines;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},       {"a\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},           {"a\r\rb", {"a", "", "b"}}, // CR CR is two line ends
        {"a\n\r\nb", {"a", "", "b"}},                                 // LF then CR LF
        {"a\r\n\r\n", {"a", ""}},         {std::string_view("a\nb\0c\nd", 7), {"a", "b"}},
        {std::string_view("\0a", 2), {}}, {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitListText(c.text), c.lines) << c.text;
}

TEST(ListText, OptionLinesBelongToTheAddressAboveThem) {
    const std::string sha256(64, 'a'), sha1(40, 'B'), md5(32, '0');
    auto entry = [](size_t number, std::string text, ExpectedDigest digest = {},
                    int64_t limit = 0) {
        return ListLine{number, std::move(text), ItemOptions{std::move(digest), limit}, {}};
    };
    auto refused = [](size_t number, std::string text, std::string why) {
        return ListLine{number, std::move(text), {}, std::move(why)};
    };
    struct Case {
        std::string text;
        std::vector<ListLine> lines;
    } cases[] = {
        // Lines without options are what they always were, indented addresses included.
        {"http://h.x/a\r\n  http://h.x/b\n\t h.x/c?d=e\n# x=y\n",
         {entry(1, "http://h.x/a"), entry(2, "http://h.x/b"), entry(3, "h.x/c?d=e")}},
        {"http://h.x/a\n checksum=sha-256=" + sha256 + "\n\tlimit-rate=500k\nhttp://h.x/b\n",
         {entry(1, "http://h.x/a", {DigestType::Sha256, sha256}, 512000),
          entry(4, "http://h.x/b")}},
        // Any case of name and digits; the later option of a kind wins.
        {"ftp://f.x/a\n checksum=SHA-1=" + sha1 + "\n checksum=md5=" + md5 + "\n",
         {entry(1, "ftp://f.x/a", {DigestType::Md5, md5})}},
        // Comments and blank lines between keep the options with their address.
        {"http://h.x/a\n\n# note\n checksum=sha-1=" + sha1 + "\n",
         {entry(1, "http://h.x/a", {DigestType::Sha1, AsciiLower(sha1)})}},
        // Refused option lines are told by number; the address keeps the good ones.
        {" checksum=md5=" + md5 + "\nhttp://h.x/a\n frob=1\n checksum=sha-256=abc\n" +
             " checksum=crc32=00\n limit-rate=fast\n limit-rate=1M\n",
         {refused(1, "checksum=md5=" + md5, "an option line without an address above it"),
          entry(2, "http://h.x/a", {}, 1048576), refused(3, "frob=1", "unknown option 'frob'"),
          refused(4, "checksum=sha-256=abc", "checksum takes sha-256=HEX, sha-1=HEX or md5=HEX"),
          refused(5, "checksum=crc32=00", "checksum takes sha-256=HEX, sha-1=HEX or md5=HEX"),
          refused(6, "limit-rate=fast",
                  "limit-rate takes bytes a second, with k or M after the number")}},
    };
    for (const Case& c : cases) {
        std::vector<ListLine> lines = ParseListText(c.text);
        ASSERT_EQ(lines.size(), c.lines.size()) << c.text;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].number, c.lines[i].number) << c.text;
            EXPECT_EQ(lines[i].text, c.lines[i].text) << c.text;
            EXPECT_EQ(lines[i].options.digest.Text(), c.lines[i].options.digest.Text()) << c.text;
            EXPECT_EQ(lines[i].options.speedLimit, c.lines[i].options.speedLimit) << c.text;
            EXPECT_EQ(lines[i].problem, c.lines[i].problem) << c.text;
        }
    }
}

TEST_F(ListFile, OptionsGoWithTheirEntriesAndAreSavedWithThem) {
    SetMaxDown(0);
    const std::string digest = "sha-256=" + std::string(64, 'c');
    EXPECT_TRUE(doc.AddUrlsFromText("http://h.x/a.zip\r\n  checksum=" + digest +
                                    "\r\n  limit-rate=2k\r\nhttp://h.x/b.zip\r\n"));
    ASSERT_EQ(doc.ItemCount(), 2);
    EXPECT_EQ(doc.Item(0).Digest().Text(), digest);
    EXPECT_EQ(doc.Item(0).SpeedLimit(), 2048);
    EXPECT_FALSE(doc.Item(1).Digest().Valid());
    EXPECT_EQ(doc.ListText(), "http://h.x/a.zip\r\n  checksum=" + digest +
                                  "\r\n  limit-rate=2048\r\nhttp://h.x/b.zip\r\n");
}

TEST_F(ListFile, TextAddsEveryValidLineAndSkipsTheRestQuietly) {
    SetMaxDown(0);
    EXPECT_FALSE(doc.AddUrlsFromText(""));
    std::string text = "http://h.x/a.zip\r\n"
                       "\r\n"
                       "   \t \r\n"
                       "  h.x/dir/b.zip  \n"
                       "no address here\r"
                       "ftp://f.x/c.tar\r\n"
                       "\x01\x02http://h.x/d.zip\x7f\x1f";
    EXPECT_TRUE(doc.AddUrlsFromText(text));
    // The last line keeps its DEL after trimming: a control byte, so no address.
    EXPECT_EQ(Urls(doc), (std::vector<std::string>{"http://h.x/a.zip", "http://h.x/dir/b.zip",
                                                   "ftp://f.x/c.tar"}));
    EXPECT_EQ(doc.States(), (States{W, W, W}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ListFile, SavedListReadsBackAsWaitingEntriesInOrder) {
    AddFiles(3);
    doc.Fake(0).Finish();
    doc.Fake(1).Fail(404);
    std::string path = temp.Path("/saved.txt");
    ui.fileName = path;
    doc.RunCommand(DocCommand::SaveList);
    EXPECT_EQ(ReadAll(path), Url(0) + "\r\n" + Url(1) + "\r\n" + Url(2) + "\r\n");

    FakeDocument other;
    ScriptedUi otherUi;
    other.SetUi(&otherUi);
    SetMaxDown(0);
    ASSERT_TRUE(other.AddUrl("http://h.x/already.zip", false));
    otherUi.fileName = path;
    other.RunCommand(DocCommand::OpenList);
    EXPECT_EQ(Urls(other),
              (std::vector<std::string>{"http://h.x/already.zip", Url(0), Url(1), Url(2)}));
    EXPECT_EQ(other.States(), (States{W, W, W, W}));
}

TEST_F(ListFile, OpenAndSaveDoNothingWhenCancelledOrUnreadable) {
    AddFiles(1);
    ui.fileName = std::nullopt;
    doc.RunCommand(DocCommand::SaveList);
    doc.RunCommand(DocCommand::OpenList);
    ui.fileName = temp.Path("/missing.txt");
    doc.RunCommand(DocCommand::OpenList);
    EXPECT_EQ(doc.ItemCount(), 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.activityInDialog, (std::vector<int>{0, 0, 0}));
}

TEST_F(ListFile, ListFilesUsedLastAreOfferedNewestFirstFourAtMost) {
    AddFiles(1);
    auto use = [&](const std::string& name, DocCommand command) {
        ui.fileName = temp.Path(("/" + name).c_str());
        doc.RunCommand(command);
    };
    use("a.txt", DocCommand::SaveList);
    use("b.txt", DocCommand::SaveList);
    use("a.txt", DocCommand::OpenList);       // once only, first again
    use("missing.txt", DocCommand::OpenList); // unreadable: not offered
    use("c.txt", DocCommand::SaveList);
    use("d.txt", DocCommand::SaveList);
    use("e.txt", DocCommand::SaveList);
    EXPECT_EQ(RecentLists::Names(),
              (std::vector<std::string>{temp.Path("/e.txt"), temp.Path("/d.txt"),
                                        temp.Path("/c.txt"), temp.Path("/a.txt")}));

    // Offered again, a list adds its addresses; one whose file went away is told and
    // offered no more.
    int before = doc.ItemCount();
    EXPECT_TRUE(doc.OpenListFile(temp.Path("/d.txt")));
    EXPECT_GT(doc.ItemCount(), before);
    QFile::remove(QString::fromStdString(temp.Path("/c.txt")));
    EXPECT_FALSE(doc.OpenListFile(temp.Path("/c.txt")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].second.find(temp.Path("/c.txt")), std::string::npos);
    EXPECT_EQ(
        RecentLists::Names(),
        (std::vector<std::string>{temp.Path("/d.txt"), temp.Path("/e.txt"), temp.Path("/a.txt")}));
}

TEST_F(ListFile, LastListIsKeptOnlyWhileKeeplistIsOn) {
    std::string last = temp.Path("/home/lastlist.txt");
    QDir().mkpath(QString::fromStdString(temp.Path("/home")));
    EXPECT_EQ(doc.LastListPath(), last);

    Settings().SetInt(keys::KeepList, 0);
    AddFiles(2);
    doc.OnCloseDocument();
    EXPECT_EQ(ReadAll(last), "<missing>");

    Settings().SetInt(keys::KeepList, 1);
    doc.OnCloseDocument();
    EXPECT_EQ(ReadAll(last), Url(0) + "\r\n" + Url(1) + "\r\n");

    // The next start restores it when the command line is empty...
    {
        FakeDocument next;
        next.AddCommandLine({});
        EXPECT_EQ(Urls(next), (std::vector<std::string>{Url(0), Url(1)}));
    }
    // ...but not when it names addresses; it is still saved at the end.
    {
        FakeDocument next;
        next.AddCommandLine({"h.x/one.zip  http://h.x/two.zip", "bad"});
        EXPECT_EQ(Urls(next),
                  (std::vector<std::string>{"http://h.x/one.zip", "http://h.x/two.zip"}));
        next.OnCloseDocument();
        EXPECT_EQ(ReadAll(last), "http://h.x/one.zip\r\nhttp://h.x/two.zip\r\n");
    }
    // An empty list cuts the file to nothing.
    doc.RunCommand(DocCommand::NewList);
    doc.OnCloseDocument();
    EXPECT_EQ(ReadAll(last), "");
    Settings().SetInt(keys::KeepList, 0);
    FakeDocument off;
    WriteAll(last, Url(5) + "\r\n");
    off.AddCommandLine({});
    EXPECT_EQ(off.ItemCount(), 0);
}

TEST(WriteFileAtomically, ReplacesTheWholeFileOrLeavesTheOldOne) {
    TempSettings temp;
    std::string path = temp.Path("/list.txt");
    WriteAll(path, "old contents that are longer than the new ones\r\n");
    ASSERT_TRUE(WriteFileAtomically(path, "new\r\n"));
    EXPECT_EQ(ReadAll(path), "new\r\n");

    // A disk that fills up halfway: the process may write no file beyond 4 KiB.
    std::string big(64 * 1024, 'x');
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = WriteFileAtomically(path, big);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(path), "new\r\n");

    // A directory that cannot be written to keeps its file as it was.
    EXPECT_FALSE(WriteFileAtomically(temp.Path("/no/such/dir/list.txt"), "x"));
    // Nothing but the list itself is left in its directory.
    QStringList left = QDir(QString::fromStdString(temp.Dir())).entryList(QDir::Files);
    left.removeAll("Vireo.conf");
    EXPECT_EQ(left, QStringList{"list.txt"});
}

TEST_F(ListFile, ALastListWithLinesThatGiveNoEntryIsKeptAside) {
    std::string last = temp.Path("/home/lastlist.txt");
    QDir().mkpath(QString::fromStdString(temp.Path("/home")));
    Settings().SetInt(keys::KeepList, 1);
    struct Case {
        const char* what;
        std::string text;
        bool keptAside;
    } cases[] = {
        {"every line an address, blank lines between", "http://h.x/a.zip\r\n\r\nh.x/b.zip\r\n",
         false},
        {"a line that is no address", "http://h.x/a.zip\r\nnot an address\r\n", true},
        {"text after a NUL", std::string("http://h.x/a.zip\r\n\0http://h.x/b.zip\r\n", 37), true},
        {"only line ends after a NUL", std::string("http://h.x/a.zip\r\n\0\r\n", 21), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(QString::fromStdString(last + ".damaged"));
        WriteAll(last, c.text);
        FakeDocument next;
        next.AddCommandLine({});
        EXPECT_EQ(next.ItemCount() > 0, true);
        EXPECT_EQ(ReadAll(last + ".damaged"), c.keptAside ? c.text : "<missing>");
    }
}
