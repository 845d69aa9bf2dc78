#include "FakeListLines.h"
#include "OwnFiles.h"
#include "TempSettings.h"
#include "downloads/VireoDoc.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace vireo;
using namespace vireo::test;

namespace {
class DocEntries : public ::testing::Test {
protected:
    void SetUp() override { UseDir(temp.Path("/dl")); }
    void UseDir(const std::string& dir) {
        QDir().mkpath(QString::fromStdString(dir));
        Settings().SetString(keys::DownPath, dir);
        downDir = dir;
    }
    std::string Name(int i) { return view.lines.at(size_t(i)).text[ColFile]; }

    test::TempSettings temp;
    test::FakeListLines view;
    CVireoDoc doc{&view};
    std::string downDir;
};
} // namespace

TEST_F(DocEntries, TargetPathNamesFilesFromAddresses) {
    Settings().SetInt(keys::IndexNum, 0);
    struct Case {
        const char *url, *name;
    } cases[] = {
        {"http://h.x/dir/", "index0.htm"},
        {"http://h.x/dir/page", "index1.htm"},
        {"http://h.x", "index2.htm"},
        {"http://h.x/a/b.c.zip", "b.c.zip"},
        {"http://h.x/a/%D1%84%D0%B0%D0%B9%D0%BB%202.zip?x=1", "файл 2.zip"},
        {"http://h.x/get?f=a/b:c.zip", "b_c.zip"},
        {"ftp://h.x/pub/file.tar.gz", "file.tar.gz"},
        {"pnm://h.x/clip.RA", "clip.RA"},
        {"pnm://h.x/clip.mp3", "clip.rm"},
        {"pnm://h.x/live", "live.rm"},
        {"rtsp://h.x/a.rm", "a.rm"},
        // Names that would be the directory itself get a name of their own.
        {"ftp://h.x/pub/", "download"},
        {"ftp://h.x/pub/..", "download"},
        {"pnm://h.x/", "download.rm"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(doc.TargetPath(c.url), downDir + "/" + c.name) << c.url;
    EXPECT_EQ(Settings().GetInt(keys::IndexNum), 3);
}

TEST_F(DocEntries, StreamNamesIgnoreDotsInTheDirectory) {
    UseDir(temp.Path("/my.files"));
    EXPECT_EQ(doc.TargetPath("pnm://h.x/live"), downDir + "/live.rm");
}

TEST_F(DocEntries, IndexNamesWrapAfter666AndSkipNamesTaken) {
    Settings().SetInt(keys::IndexNum, 666);
    // A page of an earlier run and a file of the user's: both stay as they are.
    std::string own = downDir + "/index0.htm", users = downDir + "/index1.htm";
    ASSERT_TRUE(WriteOwnFile(own, "old page", true));
    ASSERT_TRUE(WriteBytes(users, "mine"));
    EXPECT_EQ(doc.TargetPath("http://h.x/"), downDir + "/index666.htm");
    EXPECT_EQ(doc.TargetPath("http://h.x/"), downDir + "/index2.htm");
    EXPECT_EQ(Settings().GetInt(keys::IndexNum), 3);
    EXPECT_TRUE(ReadBytes(own) == "old page");
    EXPECT_TRUE(ReadBytes(users) == "mine");
}

TEST_F(DocEntries, ClashingNamesAreNumberedWhileTheirEntriesExist) {
    ASSERT_TRUE(doc.AddUrl("http://h.x/name.zip", false));
    ASSERT_TRUE(doc.AddUrl("http://other.y/name.zip", false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/Name.ZIP", false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/name1.zip", false));
    EXPECT_EQ(Name(0), "name.zip");
    EXPECT_EQ(Name(1), "name1.zip");
    EXPECT_EQ(Name(2), "Name2.ZIP");
    EXPECT_EQ(Name(3), "name3.zip");
    // Removing an entry frees its name; files on disk are never consulted.
    doc.RemoveEntry(0);
    ASSERT_TRUE(doc.AddUrl("http://h.x/name.zip", false));
    EXPECT_EQ(Name(3), "name.zip");
    EXPECT_EQ(doc.IndexOf(doc.Item(3)), 3);
    EXPECT_EQ(doc.IndexOf(doc.Item(0)), 0);
}

TEST_F(DocEntries, ClashNumbersGoIntoTheFileNameNotTheDirectory) {
    UseDir(temp.Path("/my.files"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(doc.AddUrl("http://h.x/a.zip", false));
        ASSERT_TRUE(doc.AddUrl("ftp://h.x/readme", false));
    }
    EXPECT_EQ(doc.Item(2).TargetPath(), downDir + "/a1.zip");
    EXPECT_EQ(doc.Item(3).TargetPath(), downDir + "/readme1");
}

TEST_F(DocEntries, ChangedTargetPathsKeepTheClashCheckTrue) {
    ASSERT_TRUE(doc.AddUrl("http://h.x/a.zip", false));
    doc.Item(0).SetTargetPath(downDir + "/b.zip");
    ASSERT_TRUE(doc.AddUrl("http://h.x/a.zip", false));
    EXPECT_EQ(Name(1), "a.zip");
    ASSERT_TRUE(doc.AddUrl("http://h.x/b.zip", false));
    EXPECT_EQ(Name(2), "b1.zip");
}

TEST_F(DocEntries, AddUrlRefusesInvalidAndFilteredAddresses) {
    Settings().SetInt(keys::IndexNum, 0);
    EXPECT_FALSE(doc.AddUrl("http:///a.zip", false));
    EXPECT_FALSE(doc.AddUrl("http://h.x/a b.zip", false));
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_TRUE(view.lines.empty());

    doc.SetLinkFilter({LinkFilter::RetrieveOnly, LinkFilter::ParseList("*.htm")});
    EXPECT_TRUE(doc.AddUrl("http://h.x/a/b.HTM", true));
    EXPECT_FALSE(doc.AddUrl("http://h.x/a/c.zip", true));
    EXPECT_TRUE(doc.AddUrl("http://h.x/a/c.zip", false)); // only harvested links are filtered

    doc.SetLinkFilter({LinkFilter::GetAllExcept, LinkFilter::ParseList("*.htm;*.html;*.txt")});
    int before = Settings().GetInt(keys::IndexNum);
    EXPECT_FALSE(doc.AddUrl("http://h.x/dir/", true)); // its index name is .htm
    EXPECT_EQ(Settings().GetInt(keys::IndexNum), before + 1);
    EXPECT_EQ(doc.ItemCount(), 2);
}

TEST_F(DocEntries, NewEntryWaitsWithResumeAllowed) {
    ASSERT_TRUE(doc.AddUrl("http://h.x/f.bin", false));
    DownloadItem& item = doc.Item(0);
    EXPECT_EQ(item.Flags(), IF_RESUME);
    EXPECT_EQ(item.Url(), "http://h.x/f.bin");
    EXPECT_EQ(doc.Row(0).state, ItemState::Waiting);
    EXPECT_EQ(doc.Row(0).elapsed, 0);
    EXPECT_EQ(doc.Row(0).linkToPage, 0);
    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(view.lines[0].image, 3);
    EXPECT_EQ(view.lines[0].text,
              (std::array<std::string, kColumnCount>{"f.bin", "0", "0", "0:00:00", "", "0", "0",
                                                     "http://h.x/f.bin"}));
}

// The entry list on its own, with plain items that belong to no document.
namespace {
std::unique_ptr<DownloadItem> Plain(const std::string& path) {
    return std::make_unique<DownloadItem>("http://h.x/f", path, nullptr);
}
} // namespace

TEST(EntryListClass, RemovingRenumbersTheLaterEntriesAndFreesThePath) {
    vireo::EntryList list;
    std::vector<DownloadItem*> items;
    for (const char* path : {"/d/a", "/d/b", "/d/c", "/d/d"})
        items.push_back(&list.Append(Plain(path)));
    EXPECT_TRUE(list.TakeChanged());
    EXPECT_FALSE(list.TakeChanged()); // once only
    list.Row(2).linkToPage = 1;

    list.Remove(1);
    EXPECT_TRUE(list.TakeChanged());
    ASSERT_EQ(list.Count(), 3);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.IndexOf(list.Item(i)), i);
    EXPECT_EQ(list.Row(1).linkToPage, 1); // rows move with their items
    EXPECT_EQ(list.Find(items[3]), 2);
    EXPECT_EQ(list.Find(items[1]), -1); // gone, and not touched to find that out
    EXPECT_FALSE(list.PathInUse("/d/b"));
    EXPECT_TRUE(list.PathInUse("/D/C")); // paths compare without regard to case

    list.Remove(-1);
    list.Remove(3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_FALSE(list.TakeChanged());
}

TEST(EntryListClass, ThePathIndexFollowsRenamesAndCountsEveryEntryOfAPath) {
    vireo::EntryList list;
    DownloadItem& a = list.Append(Plain("/d/x.zip"));
    list.Append(Plain("/d/X.ZIP"));
    list.Remove(1);
    EXPECT_TRUE(list.PathInUse("/d/x.zip")); // the first entry still has it

    a.SetTargetPath("/d/y.zip");
    list.OnPathChanged(a, "/d/x.zip");
    EXPECT_FALSE(list.PathInUse("/d/x.zip"));
    EXPECT_TRUE(list.PathInUse("/d/y.zip"));

    // An item that is not listed changes nothing.
    std::unique_ptr<DownloadItem> stranger = Plain("/d/z.zip");
    stranger->SetTargetPath("/d/y.zip");
    list.OnPathChanged(*stranger, "/d/z.zip");
    EXPECT_EQ(list.IndexOf(*stranger), -1);
    EXPECT_FALSE(list.PathInUse("/d/z.zip"));
    // Only an open file counts as written: none of these has one.
    EXPECT_FALSE(list.PathWrittenByOther("/d/y.zip", *stranger));
}
