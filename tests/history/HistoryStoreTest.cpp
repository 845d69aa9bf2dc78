#include "history/HistoryStore.h"
#include "HistoryBytes.h"
#include "TempSettings.h"
#include "history/HistoryWindowSink.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace vireo;
using namespace vireo::test;
namespace fs = std::filesystem;

namespace {

// prefix followed by n in decimal.
std::string Numbered(std::string prefix, int n) {
    return prefix.append(std::to_string(n));
}

HistoryTime Day(int day, int hour = 10, int minute = 0, int second = 0) {
    return {1998, 12, uint8_t(day), uint8_t(hour), uint8_t(minute), uint8_t(second)};
}

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = temp.Path("/home");
        fs::create_directories(home);
        Settings().SetString(keys::Cwd, home);
        Settings().SetInt(keys::History, 1);
        Settings().SetInt(keys::HistoryMax, 100);
        OpenHistory();
        History().SetClock([this] { return now; });
    }
    void TearDown() override { OpenHistory(); }

    std::string Path() const { return home + "/history.vro"; }
    ByteBuffer FileBytes() const {
        ByteBuffer b;
        b.LoadFile(Path());
        return b;
    }
    // The file as it is now, every invariant checked.
    DecodedHistory Decoded() const {
        DecodedHistory d = DecodeHistory(FileBytes());
        EXPECT_EQ(d.error, "");
        return d;
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const FileRecord& r : Decoded().records)
            names.push_back(r.file);
        return names;
    }
    // Day and count of every group.
    std::vector<std::pair<int, uint32_t>> Groups() const {
        std::vector<std::pair<int, uint32_t>> groups;
        for (const FileGroup& g : Decoded().groups)
            groups.emplace_back(g.created.day, g.count);
        return groups;
    }
    size_t FilesInHome() const {
        return size_t(std::distance(fs::directory_iterator(home), fs::directory_iterator()));
    }

    TempSettings temp;
    std::string home;
    HistoryTime now = Day(8);
};

using Names = std::vector<std::string>;
using GroupList = std::vector<std::pair<int, uint32_t>>;

class RecordingWindow : public HistoryWindowSink {
public:
    void CloseHistoryWindow(HistoryStore& store) override {
        ++closed;
        store.DetachWindow(this);
    }
    int closed = 0;
};

} // namespace

TEST_F(HistoryTest, TheFileLivesInCwdAndFollowsIt) {
    EXPECT_EQ(History().FilePath(), home + "/history.vro");
    Settings().SetString(keys::Cwd, temp.Path("/other/"));
    EXPECT_EQ(History().FilePath(), temp.Path("/other/history.vro"));
    OpenHistory("/some/dir");
    EXPECT_EQ(History().FilePath(), "/some/dir/history.vro");
    HistoryStore own(temp.Dir());
    EXPECT_EQ(own.FilePath(), temp.Dir() + "/history.vro");
}

TEST_F(HistoryTest, NothingIsReadOrWrittenBeforeTheFirstOperation) {
    EXPECT_FALSE(History().IsLoaded());
    EXPECT_FALSE(fs::exists(Path()));
    EXPECT_TRUE(History().ReadEntries().empty());
}

TEST_F(HistoryTest, AMissingFileIsCreatedFreshByTheFirstOperation) {
    EXPECT_TRUE(History().Remove("a.zip"));
    EXPECT_TRUE(History().IsLoaded());
    ByteBuffer fresh = BuildHistory({}, {{now, 0}});
    EXPECT_EQ(FileBytes(), fresh);
    EXPECT_EQ(FileBytes().Size(), 36u);
    EXPECT_EQ(History().Index().size(), 1u);
    EXPECT_EQ(FilesInHome(), 1u); // no temporary file stays behind
}

TEST_F(HistoryTest, AddWritesTheRecordWithTheTimeOfTheCall) {
    now = Day(8, 10, 20, 30);
    ASSERT_TRUE(History().Add("a.zip", "http://example.org/a.zip"));
    EXPECT_EQ(FileBytes(), BuildHistory({{now, "a.zip", "http://example.org/a.zip"}}, {{now, 1}}));
    std::vector<HistoryEntry> shown = History().ReadEntries();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], (HistoryEntry{now, "a.zip", "http://example.org/a.zip"}));
    EXPECT_EQ(FormatHistoryDate(shown[0].time), "12.08.1998");
}

TEST_F(HistoryTest, OperationsKeepTheFormatAndItsInvariants) {
    // Each step: the day it runs on, the operation, and the file names and groups after it.
    struct Step {
        int day;
        char op; // 'A' add, 'R' remove, 'T' trim, 'C' clear
        std::string file;
        int trim;
        Names files;
        GroupList groups;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"same name on the same day, any case, keeps one record",
         {{8, 'A', "a.zip", 0, {"a.zip"}, {{8, 1}}},
          {8, 'A', "b.zip", 0, {"a.zip", "b.zip"}, {{8, 2}}},
          {8, 'A', "A.ZIP", 0, {"A.ZIP", "b.zip"}, {{8, 2}}}}},
        {"a new day gets a new group at the end; both records stay",
         {{8, 'A', "a.zip", 0, {"a.zip"}, {{8, 1}}},
          {9, 'A', "a.zip", 0, {"a.zip", "a.zip"}, {{8, 1}, {9, 1}}},
          {9, 'A', "a.zip", 0, {"a.zip", "a.zip"}, {{8, 1}, {9, 1}}}}},
        {"the fresh file's empty group stays when a later day adds",
         {{7, 'C', "", 0, {}, {{7, 0}}}, {8, 'A', "a.zip", 0, {"a.zip"}, {{7, 0}, {8, 1}}}}},
        {"remove deletes today's record only",
         {{8, 'A', "a.zip", 0, {"a.zip"}, {{8, 1}}},
          {9, 'A', "b.zip", 0, {"a.zip", "b.zip"}, {{8, 1}, {9, 1}}},
          {9, 'R', "A.zip", 0, {"a.zip", "b.zip"}, {{8, 1}, {9, 1}}},
          {9, 'R', "B.Zip", 0, {"a.zip"}, {{8, 1}, {9, 0}}},
          {10, 'R', "a.zip", 0, {"a.zip"}, {{8, 1}, {9, 0}}}}},
        {"trim drops whole groups, then records of the group that becomes first",
         {{7, 'A', "a", 0, {"a"}, {{7, 1}}},
          {7, 'A', "b", 0, {"a", "b"}, {{7, 2}}},
          {8, 'A', "c", 0, {"a", "b", "c"}, {{7, 2}, {8, 1}}},
          {8, 'A', "d", 0, {"a", "b", "c", "d"}, {{7, 2}, {8, 2}}},
          {9, 'A', "e", 0, {"a", "b", "c", "d", "e"}, {{7, 2}, {8, 2}, {9, 1}}},
          {9, 'T', "", 1, {"b", "c", "d", "e"}, {{7, 1}, {8, 2}, {9, 1}}},
          {9, 'T', "", 2, {"d", "e"}, {{8, 1}, {9, 1}}},
          {9, 'T', "", 1, {"e"}, {{9, 1}}}}},
        {"trim keeps a first group that reaches 0; trim 0 drops leading empty groups",
         {{7, 'A', "a", 0, {"a"}, {{7, 1}}},
          {7, 'R', "a", 0, {}, {{7, 0}}},
          {8, 'A', "b", 0, {"b"}, {{7, 0}, {8, 1}}},
          {8, 'T', "", -3, {"b"}, {{8, 1}}}}},
        {"trim of the total or more makes a fresh file",
         {{7, 'A', "a", 0, {"a"}, {{7, 1}}},
          {8, 'A', "b", 0, {"a", "b"}, {{7, 1}, {8, 1}}},
          {9, 'T', "", 2, {}, {{9, 0}}},
          {9, 'T', "", 5, {}, {{9, 0}}}}},
        {"a clock set back: records join the last group, and leave the one that holds them",
         {{8, 'A', "a", 0, {"a"}, {{8, 1}}},
          {9, 'A', "b", 0, {"a", "b"}, {{8, 1}, {9, 1}}},
          {8, 'A', "c", 0, {"a", "b", "c"}, {{8, 1}, {9, 2}}},
          {8, 'A', "B", 0, {"a", "B", "c"}, {{8, 1}, {9, 2}}},
          {8, 'R', "a", 0, {"B", "c"}, {{8, 0}, {9, 2}}},
          {8, 'R', "c", 0, {"B"}, {{8, 0}, {9, 1}}}}},
        {"clear empties everything",
         {{8, 'A', "a", 0, {"a"}, {{8, 1}}}, {9, 'C', "", 0, {}, {{9, 0}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Path());
        OpenHistory();
        History().SetClock([this] { return now; });
        int n = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(Numbered("step ", ++n));
            now = Day(s.day, 10, n);
            bool ok = s.op == 'A'   ? History().Add(s.file, std::string("http://h/").append(s.file))
                      : s.op == 'R' ? History().Remove(s.file)
                      : s.op == 'T' ? History().Trim(s.trim)
                                    : History().Clear();
            EXPECT_TRUE(ok);
            EXPECT_EQ(Files(), s.files);
            EXPECT_EQ(Groups(), s.groups);
        }
    }
}

TEST_F(HistoryTest, ASecondAddOnTheSameDayTakesTheNewTimeAndUrl) {
    now = Day(8, 9);
    History().Add("song.ra", "pnm://old/song.ra");
    History().Add("other.ra", "pnm://old/other.ra");
    now = Day(8, 17, 45, 12);
    History().Add("SONG.RA", "pnm://new/a-much-longer-address/song.ra");
    std::vector<FileRecord> records = Decoded().records;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].file, "SONG.RA");
    EXPECT_EQ(records[0].url, "pnm://new/a-much-longer-address/song.ra");
    EXPECT_EQ(records[0].time, now);
    EXPECT_EQ(records[1].url, "pnm://old/other.ra");
}

TEST_F(HistoryTest, TheRecordAfterHistoryMaxTrimsTheOldestTenth) {
    for (int i = 1; i <= 100; ++i) {
        now = Day(i <= 60 ? 7 : 8, 10, i % 60);
        ASSERT_TRUE(History().Add(Numbered("f", i), Numbered("http://h/", i)));
    }
    EXPECT_EQ(Decoded().recordCount, 100u);
    History().Add("f101", "http://h/101");
    DecodedHistory d = Decoded();
    EXPECT_EQ(d.recordCount, 91u);
    EXPECT_EQ(d.records.front().file, "f11");
    EXPECT_EQ(d.records.back().file, "f101");
    EXPECT_EQ(Groups(), (GroupList{{7, 50}, {8, 41}}));

    // With a maximum of 20, the next record (92) trims 9.
    Settings().SetInt(keys::HistoryMax, 20);
    History().Add("f102", "http://h/102");
    EXPECT_EQ(Decoded().recordCount, 83u);
    EXPECT_EQ(Decoded().records.front().file, "f20");
}

TEST_F(HistoryTest, HistoryMaxZeroTrimsTheFirstRecordAway) {
    Settings().SetInt(keys::HistoryMax, 0);
    ASSERT_TRUE(History().Add("a.zip", "http://h/a.zip"));
    EXPECT_EQ(FileBytes(), BuildHistory({}, {{now, 0}}));
}

TEST_F(HistoryTest, WithHistoryOffNothingIsWrittenButClearStillWorks) {
    Settings().SetInt(keys::History, 0);
    EXPECT_FALSE(History().Add("a.zip", "http://h/a.zip"));
    EXPECT_FALSE(History().Remove("a.zip"));
    EXPECT_FALSE(History().Trim(1));
    EXPECT_FALSE(fs::exists(Path()));

    Settings().SetInt(keys::History, 1);
    History().Add("a.zip", "http://h/a.zip");
    Settings().SetInt(keys::History, 0);
    History().Remove("a.zip");
    History().Trim(5);
    History().Add("b.zip", "http://h/b.zip");
    EXPECT_EQ(Files(), (Names{"a.zip"}));
    EXPECT_TRUE(History().Clear());
    EXPECT_EQ(FileBytes().Size(), 36u);
}

TEST_F(HistoryTest, EmptyAndLongTextsRoundTrip) {
    ASSERT_TRUE(History().Add("", ""));
    std::string longName(70000, 'n');
    std::string url65535(65535, 'u');
    ASSERT_TRUE(History().Add(longName, url65535));
    std::vector<HistoryEntry> shown = History().ReadEntries();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].file, "");
    EXPECT_EQ(shown[0].url, "");
    EXPECT_EQ(shown[1].file, std::string(65535, 'n')); // cut to the 16-bit length
    EXPECT_EQ(shown[1].url, url65535);
    // The cut name is the one a later add of the full name finds.
    History().Add(longName, "x");
    EXPECT_EQ(Decoded().recordCount, 2u);
}

TEST_F(HistoryTest, DamagedFilesAreReplacedOrLeftAlone) {
    const ByteBuffer good =
        BuildHistory({{Day(7), "a.zip", "http://h/a.zip"}, {Day(8), "b.zip", "http://h/b.zip"}},
                     {{Day(7), 1}, {Day(8), 1}});
    const ByteBuffer freshPlusOne = BuildHistory({{now, "new.zip", "http://h/new"}}, {{now, 1}});
    struct Case {
        std::string what;
        ByteBuffer bytes;
        bool replaced; // false: the operation does nothing and the file stays as it was
    };
    std::vector<Case> cases;
    for (size_t n = 0; n < good.Size(); ++n)
        cases.push_back({Numbered("cut to ", int(n)), ByteBuffer(good.Data(), n), n >= 16});
    ByteBuffer longer = good;
    longer.Append("tail");
    cases.push_back({"longer than its header says", longer, true});
    ByteBuffer magic = good;
    magic[3] = 'x';
    cases.push_back({"wrong magic", magic, true});
    ByteBuffer count = good;
    WriteLE32(count.Data() + 4, 3);
    cases.push_back({"record count", count, true});
    ByteBuffer groups = good;
    WriteLE32(groups.Data() + ReadLE32(good.Data() + 12), 0x10000000);
    cases.push_back({"group count past the end", groups, true});
    cases.push_back({"text only", ByteBuffer("this is not a history file at all"), true});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenHistory();
        History().SetClock([this] { return now; });
        ASSERT_TRUE(c.bytes.SaveFile(Path()));
        EXPECT_EQ(History().Add("new.zip", "http://h/new"), c.replaced);
        if (c.replaced) {
            EXPECT_EQ(FileBytes(), freshPlusOne);
            // What the damaged file held is kept beside the new one, byte for byte.
            ByteBuffer aside;
            ASSERT_TRUE(aside.LoadFile(Path() + ".damaged"));
            EXPECT_EQ(aside, c.bytes);
            fs::remove(Path() + ".damaged");
        } else {
            EXPECT_EQ(FileBytes(), c.bytes);
        }
        EXPECT_EQ(FilesInHome(), 1u);
    }

    // Longer than a 32-bit length can say (a sparse file, nothing is allocated): set aside
    // and replaced without being read.
    fs::resize_file(Path(), (uint64_t(1) << 32) + 1);
    EXPECT_TRUE(History().ReadEntries().empty());
    EXPECT_TRUE(History().Add("new.zip", "http://h/new"));
    EXPECT_EQ(FileBytes(), freshPlusOne);
    EXPECT_EQ(fs::file_size(Path() + ".damaged"), (uint64_t(1) << 32) + 1);
    // A second damaged file does not overwrite the first one set aside.
    ByteBuffer("not a history either").SaveFile(Path());
    EXPECT_TRUE(History().Add("new.zip", "http://h/new"));
    EXPECT_TRUE(fs::exists(Path() + ".damaged1"));
    fs::remove(Path() + ".damaged");
    fs::remove(Path() + ".damaged1");

    // Too short: every operation fails until Clear replaces the file.
    ByteBuffer("hi!!").SaveFile(Path());
    EXPECT_FALSE(History().Remove("a.zip"));
    EXPECT_FALSE(History().Trim(1));
    EXPECT_TRUE(History().ReadEntries().empty());
    EXPECT_TRUE(History().Clear());
    EXPECT_TRUE(History().Add("a.zip", "http://h/a.zip"));
}

TEST_F(HistoryTest, AWriteThatFailsPartWayKeepsEveryEarlierRecord) {
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(History().Add(Numbered("file", i), Numbered("http://example.org/", i)));
    const ByteBuffer before = FileBytes();
    const std::vector<HistoryGroup> index = History().Index();

    // Files may not grow past half the history: the new file breaks off in the middle.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = before.Size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool added = History().Add("one-more", "http://example.org/one-more");
    bool trimmed = History().Trim(3);
    bool cleared = History().Clear(); // 36 bytes fit: the one that succeeds
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);

    EXPECT_FALSE(added);
    EXPECT_FALSE(trimmed);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(FilesInHome(), 1u); // the broken temporary files are gone
    EXPECT_EQ(FileBytes().Size(), 36u);

    // And the same with the history intact before the failure.
    ASSERT_TRUE(before.SaveFile(Path()));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    added = History().Add("one-more", "http://example.org/one-more");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    EXPECT_FALSE(added);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(History().Index(), index);
    EXPECT_EQ(FilesInHome(), 1u);
    EXPECT_TRUE(History().Add("one-more", "http://example.org/one-more"));
    EXPECT_EQ(Decoded().recordCount, 21u);
}

TEST_F(HistoryTest, AFileThatCannotBeReadIsNeverReplaced) {
    fs::create_directory(Path()); // "history.vro" is a directory
    EXPECT_FALSE(History().Add("a.zip", "http://h/a.zip"));
    EXPECT_FALSE(History().Remove("a.zip"));
    EXPECT_TRUE(History().ReadEntries().empty());
    EXPECT_TRUE(fs::is_directory(Path()));

    OpenHistory(temp.Path("/no/such/dir"));
    EXPECT_FALSE(History().Add("a.zip", "http://h/a.zip"));
    EXPECT_FALSE(History().Clear());
    EXPECT_FALSE(fs::exists(temp.Path("/no")));
}

TEST_F(HistoryTest, AReplacedFileKeepsItsMode) {
    History().Add("a", "u");
    struct stat st {};
    ASSERT_EQ(stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    chmod(Path().c_str(), 0640);
    History().Add("b", "u");
    ASSERT_EQ(stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(HistoryTest, TheWindowIsClosedAtExit) {
    RecordingWindow window, other;
    History().AttachWindow(&window);
    History().DetachWindow(&other);
    EXPECT_EQ(History().Window(), &window);
    History().CloseWindow();
    EXPECT_EQ(window.closed, 1);
    EXPECT_EQ(History().Window(), nullptr);

    History().AttachWindow(&window);
    OpenHistory(); // the old store is destroyed: its window closes first
    EXPECT_EQ(window.closed, 2);
    EXPECT_EQ(History().Window(), nullptr);
}
