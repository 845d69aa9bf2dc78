#include "DocFixture.h"
#include "common/WriteFileAtomically.h"
#include "downloads/ListText.h"

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
