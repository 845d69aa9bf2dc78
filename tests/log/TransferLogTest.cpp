#include "log/TransferLog.h"
#include "TempSettings.h"
#include "log/LogDirectory.h"
#include "log/LogWindowSink.h"

#include "common/ByteBuffer.h"

#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace vireo;
namespace fs = std::filesystem;

namespace {

// A profile with logging on, the download directory in the test's own folder and the
// logs in $VIREO_HOME/logs (not created yet).
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        downDir = temp.Path("/down");
        logDir = temp.Path("/home/logs");
        fs::create_directories(downDir);
        Settings().SetString(keys::DownPath, downDir);
        Settings().SetInt(keys::Log, 1);
    }

    std::string FileText(const std::string& path) const {
        ByteBuffer b;
        if (!b.LoadFile(path))
            return "<missing>";
        return b.ToString();
    }
    int StoredLogNum() const {
        QSettings raw(temp.ConfigPath(), QSettings::IniFormat);
        return raw.value("setup/lognum", -999).toInt();
    }

    test::TempSettings temp;
    std::string downDir, logDir;
};

// Sets an environment variable for one scope, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A window that records what the log tells it, and checks that every line it hears of
// is already on disk.
class RecordingWindow : public LogWindowSink {
public:
    void OnLogRecordAdded(const TransferLog& log) override {
        const std::string& line = log.LastRecord();
        records.push_back(line);
        heard += line.size();
        // Everything heard of so far, this line included, is in the file.
        ByteBuffer onDisk;
        onDisk.LoadFile(log.FilePath());
        onDiskFirst = onDiskFirst && onDisk.Size() >= heard &&
                      onDisk.View(heard - line.size(), line.size()) == line;
    }
    void CloseLogWindow(TransferLog& log) override {
        ++closed;
        if (detachOnClose)
            log.DetachWindow(this);
    }

    std::vector<std::string> records;
    bool onDiskFirst = true;
    size_t heard = 0;
    int closed = 0;
    bool detachOnClose = true;
};

} // namespace

TEST_F(LogTest, FileNumbersRunFrom2To667AndAreStoredAtOnce) {
    struct Case {
        int stored; // -1000: no "lognum" in the profile
        int file;
    } cases[] = {{-1000, 2}, {1, 2},   {2, 3},    {100, 101}, {665, 666}, {666, 667},
                 {667, 2},   {668, 2}, {5000, 2}, {0, 2},     {-7, 2}};
    for (const Case& c : cases) {
        test::TempSettings fresh;
        Settings().SetString(keys::DownPath, downDir);
        if (c.stored != -1000)
            Settings().SetInt(keys::LogNum, c.stored);
        TransferLog log;
        EXPECT_EQ(log.FilePath(), fresh.Path("/home/logs/") + std::to_string(c.file) + ".log")
            << c.stored;
        QSettings raw(fresh.ConfigPath(), QSettings::IniFormat);
        EXPECT_EQ(raw.value("setup/lognum").toInt(), c.file) << c.stored;
    }
}

TEST_F(LogTest, EachNewLogTakesTheNextNumberAndWrapsAfter667) {
    Settings().SetInt(keys::LogNum, 665);
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        TransferLog log;
        names.push_back(fs::path(log.FilePath()).filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"666.log", "667.log", "2.log", "3.log"}));
    EXPECT_EQ(StoredLogNum(), 3);
}

TEST_F(LogTest, TheLogDirectoryIsTheUsersStateDirectory) {
    std::string home = temp.Path("/user");
    struct Case {
        const char *vireoHome, *stateHome;
        std::string dir;
    } cases[] = {
        {"/v/home", "/s", "/v/home/logs"},
        {"/v/home//", nullptr, "/v/home/logs"},
        {nullptr, "/s/state", "/s/state/Tarnwell/Vireo/logs"},
        {"", "/s/state/", "/s/state/Tarnwell/Vireo/logs"},
        {nullptr, nullptr, home + "/.local/state/Tarnwell/Vireo/logs"},
        {nullptr, "relative/state", home + "/.local/state/Tarnwell/Vireo/logs"},
    };
    for (const Case& c : cases) {
        ScopedEnv vireoHome("VIREO_HOME", c.vireoHome);
        ScopedEnv stateHome("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(TransferLogDirectory(), c.dir)
            << (c.vireoHome ? c.vireoHome : "-") << " " << (c.stateHome ? c.stateHome : "-");
    }
}

TEST_F(LogTest, LogsAreWrittenToTheLogDirectoryNeverBesideTheDownloads) {
    ASSERT_FALSE(fs::exists(logDir));
    TransferLog log;
    EXPECT_EQ(log.FilePath(), logDir + "/2.log");
    EXPECT_TRUE(fs::is_regular_file(logDir + "/2.log")); // the directory is made for it
    log.AddRecord("receiving data", LogKind::Data);
    EXPECT_EQ(FileText(logDir + "/2.log"), "#1 R receiving data\r\n");
    EXPECT_TRUE(fs::is_empty(downDir));

    // The path is fixed when the log is made; a directory removed meanwhile comes back.
    {
        ScopedEnv elsewhere("VIREO_HOME", temp.Path("/elsewhere").c_str());
        fs::remove_all(logDir);
        log.AddRecord("again", LogKind::Info);
    }
    EXPECT_EQ(FileText(logDir + "/2.log"), "#2 I again\r\n");
    EXPECT_FALSE(fs::exists(temp.Path("/elsewhere")));
}

TEST_F(LogTest, ConstructionEmptiesAnOldFileOnlyWhileLogging) {
    fs::create_directories(logDir);
    ByteBuffer("stale line\r\n").SaveFile(logDir + "/2.log");
    {
        TransferLog log;
        EXPECT_EQ(FileText(log.FilePath()), "");
    }
    Settings().SetInt(keys::Log, 0);
    ByteBuffer("stale line\r\n").SaveFile(logDir + "/3.log");
    TransferLog off;
    EXPECT_EQ(FileText(off.FilePath()), "stale line\r\n");
    TransferLog offToo;
    EXPECT_FALSE(fs::exists(offToo.FilePath())); // not created while logging is off
    EXPECT_EQ(StoredLogNum(), 4);                // but the number still advances
}

TEST_F(LogTest, NumberedRecordsCountWithoutGapsAndUnnumberedOnesDoNot) {
    TransferLog log;
    log.AddRecord("log http://example.org/a.zip, a.zip", LogKind::Notice, true);
    log.AddRecord("sending request", LogKind::Out, true);
    log.AddRecord("GET /a.zip HTTP/1.1", LogKind::Out, false);
    log.AddField("title", "Morning news", LogKind::Info, true);
    log.AddField("author", "Tarnwell", LogKind::Info, false);
    log.AddRecord("receiving data", LogKind::Data);
    log.AddRecord("timeout", LogKind::Error, true);
    EXPECT_EQ(log.Counter(), 5);
    EXPECT_EQ(FileText(log.FilePath()), "#1 ! log http://example.org/a.zip, a.zip\r\n"
                                        "#2 O sending request\r\n"
                                        "GET /a.zip HTTP/1.1\r\n"
                                        "#3 I title: Morning news\r\n"
                                        "author: Tarnwell\r\n"
                                        "#4 R receiving data\r\n"
                                        "#5 E timeout\r\n");
    EXPECT_EQ(log.LastRecord(), "#5 E timeout\r\n");
}

TEST_F(LogTest, ALineBreakInATextMakesSeveralLines) {
    TransferLog log;
    log.AddRecord("HTTP/1.1 302 Found\r\nLocation: /b", LogKind::Info, true);
    EXPECT_EQ(FileText(log.FilePath()), "#1 I HTTP/1.1 302 Found\r\nLocation: /b\r\n");
}

TEST_F(LogTest, WithLoggingOffNothingIsWrittenCountedOrShown) {
    TransferLog log;
    RecordingWindow window;
    log.AttachWindow(&window);
    log.AddRecord("one", '!', true);
    Settings().SetInt(keys::Log, 0);
    log.AddRecord("two", '!', true);
    log.AddField("name", "value", 'I', true);
    const uint8_t bytes[] = {1, 2, 3};
    log.AddDump(bytes, sizeof bytes, 'E');
    EXPECT_EQ(log.Counter(), 1);
    EXPECT_EQ(log.LastRecord(), "#1 ! one\r\n");
    EXPECT_EQ(window.records.size(), 1u);
    EXPECT_EQ(FileText(log.FilePath()), "#1 ! one\r\n");
    log.RemoveFile(); // logging is off: the file stays
    EXPECT_TRUE(fs::exists(log.FilePath()));
    log.DetachWindow(&window);
}

TEST_F(LogTest, SwitchingLoggingOnLaterAppendsWithoutEmptying) {
    Settings().SetInt(keys::Log, 0);
    TransferLog log;
    EXPECT_FALSE(fs::exists(log.FilePath()));
    log.AddRecord("lost", '!', true);
    Settings().SetInt(keys::Log, 1);
    log.AddRecord("kept", '!', true);
    EXPECT_EQ(FileText(log.FilePath()), "#1 ! kept\r\n");

    ByteBuffer("someone else's line\r\n").SaveFile(logDir + "/3.log");
    Settings().SetInt(keys::Log, 0);
    TransferLog other;
    Settings().SetInt(keys::Log, 1);
    other.AddRecord("next", '!', true);
    EXPECT_EQ(FileText(other.FilePath()), "someone else's line\r\n#1 ! next\r\n");
}

TEST_F(LogTest, DumpsHaveAHeaderAndLengthOver16PlusOneRows) {
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(0x30 + i);
    struct Case {
        size_t length;
        std::string rows;
    } cases[] = {
        {0, "\r\n"},
        {1, "30 0\r\n"},
        {16, "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\r\n\r\n"},
        {17, "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\r\n40 @\r\n"},
        {32, "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\r\n"
             "40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO\r\n\r\n"},
    };
    for (const Case& c : cases) {
        TransferLog log;
        log.AddDump(bytes.data(), c.length, LogKind::Error);
        EXPECT_EQ(FileText(log.FilePath()), "#1 E dump: \r\n" + c.rows) << c.length;
        EXPECT_EQ(log.Counter(), 1);
    }
}

TEST_F(LogTest, DumpMatchesTheWorkedExample) {
    TransferLog log;
    for (int i = 0; i < 6; ++i)
        log.AddRecord("step", '!', true);
    const uint8_t bytes[] = {0x47, 0x0A, 0xFF};
    log.AddDump(bytes, sizeof bytes, 'E');
    std::string text = FileText(log.FilePath());
    EXPECT_EQ(text.substr(text.find("#7")), "#7 E dump: \r\n47 0A FF G.\xFF\r\n");
    EXPECT_EQ(log.LastRecord(), "47 0A FF G.\xFF\r\n");

    TransferLog crlf;
    const uint8_t crlfBytes[] = {0x0D, 0x0A};
    crlf.AddDump(crlfBytes, sizeof crlfBytes, 'I');
    EXPECT_EQ(FileText(crlf.FilePath()), "#1 I dump: \r\n0D 0A ..\r\n");
}

TEST_F(LogTest, ALargeDumpWritesEveryRowAndShowsEachOnce) {
    std::vector<uint8_t> bytes(100007);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    TransferLog log;
    RecordingWindow window;
    log.AttachWindow(&window);
    log.AddDump(bytes.data(), bytes.size(), 'E');

    std::string expected = "#1 E dump: \r\n";
    std::vector<std::string> rows{"#1 E dump: \r\n"};
    for (size_t at = 0; at <= bytes.size(); at += 16) {
        size_t n = std::min<size_t>(16, bytes.size() - at);
        rows.push_back(FormatDumpRow(bytes.data() + at, n) + "\r\n");
        expected += rows.back();
    }
    EXPECT_EQ(rows.size(), DumpRowCount(bytes.size()) + 1);
    EXPECT_EQ(FileText(log.FilePath()), expected);
    EXPECT_EQ(window.records, rows);
    EXPECT_TRUE(window.onDiskFirst);
    EXPECT_EQ(log.LastRecord(), rows.back());
    log.DetachWindow(&window);
}

TEST_F(LogTest, AWindowHearsOfEveryLineAfterItIsOnDisk) {
    TransferLog log;
    RecordingWindow window;
    log.AttachWindow(&window);
    EXPECT_EQ(log.Window(), &window);
    log.AddRecord("finding host example.org", '!', true);
    log.AddField("codec", "cook", 'I', false);
    EXPECT_EQ(window.records,
              (std::vector<std::string>{"#1 ! finding host example.org\r\n", "codec: cook\r\n"}));
    EXPECT_TRUE(window.onDiskFirst);

    RecordingWindow other;
    log.DetachWindow(&other); // not the attached one: ignored
    EXPECT_EQ(log.Window(), &window);
    log.DetachWindow(&window);
    EXPECT_EQ(log.Window(), nullptr);
    log.AddRecord("unseen", '!', true);
    EXPECT_EQ(window.records.size(), 2u);
}

TEST_F(LogTest, CloseWindowClosesAndForgetsEvenAWindowThatDoesNotDetach) {
    TransferLog log;
    RecordingWindow window;
    window.detachOnClose = false;
    log.AttachWindow(&window);
    log.CloseWindow();
    EXPECT_EQ(window.closed, 1);
    EXPECT_EQ(log.Window(), nullptr);
    log.CloseWindow(); // nothing attached: nothing happens
    EXPECT_EQ(window.closed, 1);
}

TEST_F(LogTest, DestructionClosesTheWindowThenRemovesTheFile) {
    RecordingWindow window;
    std::string path;
    {
        TransferLog log;
        path = log.FilePath();
        log.AttachWindow(&window);
        log.AddRecord("x", '!', true);
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_EQ(window.closed, 1);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(LogTest, ClearingRemovesTheFileAndTheNextRecordIsAloneInANewOne) {
    TransferLog log;
    log.AddRecord("first", '!', true);
    log.AddRecord("second", '!', true);
    log.RemoveFile();
    EXPECT_FALSE(fs::exists(log.FilePath()));
    log.RemoveFile(); // already gone: ignored
    log.AddRecord("third", 'O', true);
    EXPECT_EQ(FileText(log.FilePath()), "#3 O third\r\n");
}

TEST_F(LogTest, CopyReplacesTheDestinationEntirely) {
    TransferLog log;
    log.AddRecord("short log", '!', true);
    std::string dest = temp.Path("/copy.txt");
    ByteBuffer(std::string(5000, 'z')).SaveFile(dest);
    log.CopyTo(dest);
    EXPECT_EQ(FileText(dest), "#1 ! short log\r\n");

    std::string fresh = temp.Path("/new.txt");
    log.CopyTo(fresh);
    EXPECT_EQ(FileText(fresh), "#1 ! short log\r\n");

    log.CopyTo(temp.Path("/no/such/dir/x.txt")); // cannot be created: nothing happens

    log.RemoveFile();
    log.CopyTo(dest); // the log cannot be read: the destination stays as it was
    EXPECT_EQ(FileText(dest), "#1 ! short log\r\n");
}

TEST_F(LogTest, ADirectoryThatCannotBeMadeMakesEveryWriteANoOp) {
    ByteBuffer("a file, not a directory").SaveFile(temp.Path("/blocker"));
    ScopedEnv home("VIREO_HOME", temp.Path("/blocker/home").c_str());
    TransferLog log;
    RecordingWindow window;
    log.AttachWindow(&window);
    log.AddRecord("lost", '!', true);
    const uint8_t bytes[] = {0x41, 0x42};
    log.AddDump(bytes, sizeof bytes, 'E');
    EXPECT_EQ(log.Counter(), 2); // the counter advances all the same
    EXPECT_EQ(log.LastRecord(), "41 42 AB\r\n");
    EXPECT_TRUE(window.records.empty());
    log.CopyTo(temp.Path("/copy.txt"));
    EXPECT_FALSE(fs::exists(temp.Path("/copy.txt")));
    log.DetachWindow(&window);
}

TEST_F(LogTest, ManyRecordsStayCompleteAndInOrder) {
    TransferLog log;
    const int n = 20000;
    for (int i = 0; i < n; ++i)
        log.AddRecord("block " + std::to_string(i), 'I', true);
    ByteBuffer b;
    ASSERT_TRUE(b.LoadFile(log.FilePath()));
    std::vector<std::string> lines = b.SplitLines();
    ASSERT_EQ(lines.size(), size_t(n));
    for (int i = 0; i < n; i += 997)
        EXPECT_EQ(lines[size_t(i)] + "\r\n",
                  FormatLogRecord(i + 1, 'I', "block " + std::to_string(i)));
}
