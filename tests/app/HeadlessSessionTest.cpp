#include "app/headless/HeadlessSession.h"
#include "TempSettings.h"
#include "app/headless/ProgressReport.h"
#include "app/headless/SignalWatcher.h"
#include "app/headless/TerminalUi.h"
#include "downloads/FakeDocument.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <sstream>

using namespace vireo;
using namespace vireo::test;

namespace {
const std::vector<int> kRunSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The watched signals at their default for one scope (a test run started in the background
// or under nohup inherits some of them ignored), then as they were.
class DefaultSignals {
public:
    DefaultSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], nullptr, &m_old[i]);
        for (int signo : kSignals)
            std::signal(signo, SIG_DFL);
    }
    ~DefaultSignals() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &m_old[i], nullptr);
    }
    DefaultSignals(const DefaultSignals&) = delete;
    DefaultSignals& operator=(const DefaultSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction m_old[std::size(kSignals)]{};
};

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        QtApp();
        Settings().SetInt(keys::Version, 1); // not a first run
        Settings().SetInt(keys::MaxDown, 2);
        Settings().SetString(keys::DownPath, temp.Dir());
        doc.SetUi(&ui);
    }
    int Begin() { return session.Begin(); }
    std::string ReadAll(const std::string& path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }

    TempSettings temp;
    RunOptions options;
    std::ostringstream out, err;
    ProgressReport report{out, err, ProgressReport::Mode::Lines};
    TerminalUi ui{report};
    FakeDocument doc;
    HeadlessSession session{doc, options, report, err};
};
} // namespace

TEST_F(Headless, EveryEntryDoneExitsZeroWithOneLinePerEvent) {
    options.urls = {"http://h.x/a.zip", "h.x/b.zip"};
    ASSERT_EQ(Begin(), HeadlessSession::kGoOn) << err.str();
    EXPECT_FALSE(session.Finished());
    doc.Fake(0).Finish();
    EXPECT_FALSE(session.Finished());
    doc.Fake(1).Finish();
    EXPECT_TRUE(session.Finished());
    EXPECT_EQ(session.End(), 0);
    std::string a = temp.Dir() + "/a.zip", b = temp.Dir() + "/b.zip";
    EXPECT_EQ(out.str(),
              "started http://h.x/a.zip -> " + a + "\n" + "started http://h.x/b.zip -> " + b +
                  "\n" + "done http://h.x/a.zip -> " + a + " (0 bytes)\n" +
                  "done http://h.x/b.zip -> " + b + " (0 bytes)\n" + "2 done, 0 failed\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(Headless, AnyFailureExitsOneAndIsListedWithItsError) {
    options.urls = {"http://h.x/a.zip", "http://h.x/b.zip", "http://h.x/c.zip"};
    options.quiet = true;
    ProgressReport quiet(out, err, ProgressReport::Mode::Quiet);
    TerminalUi quietUi(quiet);
    doc.SetUi(&quietUi);
    HeadlessSession run(doc, options, quiet, err);
    ASSERT_EQ(run.Begin(), HeadlessSession::kGoOn);
    doc.Fake(0).Fail(404);
    doc.Fake(1).Finish();
    EXPECT_FALSE(run.Finished());
    doc.Fake(2).Finish();
    ASSERT_TRUE(run.Finished());
    EXPECT_EQ(run.End(), 1);
    EXPECT_EQ(out.str(), "2 done, 1 failed\n");
    EXPECT_EQ(err.str(), "vireo: failed: http://h.x/a.zip: file not found\n");
}

TEST_F(Headless, PasswordRequestsFailTheEntryAsUnauthorized) {
    options.urls = {"http://h.x/secret.zip"};
    ASSERT_EQ(Begin(), HeadlessSession::kGoOn);
    doc.Fake(0).Notify(NotifyCredentials);
    RunQueuedCalls();
    ASSERT_TRUE(session.Finished());
    EXPECT_EQ(session.End(), 1);
    EXPECT_NE(err.str().find("http://h.x/secret.zip: unauthorized"), std::string::npos)
        << err.str();
}

TEST_F(Headless, RunOptionsApplyToThisRunOnly) {
    options.dir = temp.Path("/new/dir");
    options.jobs = 3;
    options.urls = {"http://h.x/1.zip", "http://h.x/2.zip", "http://h.x/3.zip", "http://h.x/4.zip"};
    ASSERT_EQ(Begin(), HeadlessSession::kGoOn);
    EXPECT_EQ(doc.RunningCount(), 3);
    EXPECT_EQ(doc.Item(0).TargetPath(), temp.Path("/new/dir/1.zip"));
    EXPECT_TRUE(QDir(QString::fromStdString(temp.Path("/new/dir"))).exists());
    SettingsStore stored(temp.ConfigPath());
    EXPECT_EQ(stored.GetInt(keys::MaxDown), 2);
    EXPECT_EQ(stored.GetString(keys::DownPath), temp.Dir());
}

TEST_F(Headless, UnusableInputsAreUsageErrors) {
    struct Case {
        std::function<void(RunOptions&)> set;
        std::string error;
    } cases[] = {
        {[&](RunOptions& o) { o.inputs = {temp.Path("/none.txt")}; },
         "vireo: cannot read list file '" + temp.Path("/none.txt") + "'\n"},
        {[&](RunOptions& o) { o.dir = "/proc/vireo-cannot-be-here"; },
         "vireo: cannot use download directory '/proc/vireo-cannot-be-here'\n"},
        {[](RunOptions&) { Settings().SetInt(keys::MaxDown, 0); },
         "vireo: no download may run: \"maxdown\" is below 1 in the settings; give --jobs N\n"},
        {[](RunOptions&) { Settings().SetInt(keys::MaxDown, 2); }, // keeplist is off
         "vireo: no addresses to download\n"},
    };
    for (const Case& c : cases) {
        RunOptions o;
        c.set(o);
        std::ostringstream e;
        FakeDocument d;
        HeadlessSession s(d, o, report, e);
        EXPECT_EQ(s.Begin(), HeadlessSession::kUsageError);
        EXPECT_EQ(e.str(), c.error);
    }
}

TEST_F(Headless, ListFilesAreAddedAndKeepTheLastListUntouched) {
    Settings().SetInt(keys::KeepList, 1);
    std::string last = temp.Path("/home/lastlist.txt");
    QDir().mkpath(QString::fromStdString(temp.Path("/home")));
    QFile lastFile(QString::fromStdString(last));
    ASSERT_TRUE(lastFile.open(QIODevice::WriteOnly));
    lastFile.write("http://h.x/old.zip\r\n");
    lastFile.close();
    std::string list = temp.Path("/list.txt");
    QFile listFile(QString::fromStdString(list));
    ASSERT_TRUE(listFile.open(QIODevice::WriteOnly));
    listFile.write("h.x/one.zip\n\nbad line\nhttp://h.x/two.zip");
    listFile.close();
    options.inputs = {list};
    ASSERT_EQ(Begin(), HeadlessSession::kGoOn);
    ASSERT_EQ(doc.ItemCount(), 2);
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/one.zip");
    EXPECT_EQ(doc.Item(1).Url(), "http://h.x/two.zip");
}

TEST_F(Headless, InterruptStopsTransfersKeepsTheListAndExits130) {
    Settings().SetInt(keys::KeepList, 1);
    QDir().mkpath(QString::fromStdString(temp.Path("/home")));
    options.urls = {"http://h.x/a.zip", "http://h.x/b.zip", "http://h.x/c.zip"};
    ASSERT_EQ(Begin(), HeadlessSession::kGoOn);
    doc.Fake(0).Finish();
    ASSERT_EQ(doc.RunningCount(), 2);
    int status = -1;
    {
        DefaultSignals defaults; // a run started in the background may inherit SIGINT ignored
        SignalWatcher watcher([&](int signo) {
            EXPECT_EQ(signo, SIGINT);
            status = session.Interrupt(signo);
        });
        std::raise(SIGINT);
        for (int i = 0; i < 50 && status < 0; ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    EXPECT_EQ(status, HeadlessSession::kInterrupted);
    EXPECT_EQ(doc.States(),
              (std::vector<ItemState>{ItemState::Done, ItemState::Stopped, ItemState::Stopped}));
    EXPECT_EQ(doc.Fake(1).Job(), nullptr);
    EXPECT_GE(doc.Fake(1).stops, 1);
    EXPECT_EQ(ReadAll(temp.Path("/home/lastlist.txt")),
              "http://h.x/a.zip\r\nhttp://h.x/b.zip\r\nhttp://h.x/c.zip\r\n");
    EXPECT_NE(out.str().find("1 done, 0 failed, 2 stopped"), std::string::npos) << out.str();
}

TEST(SignalWatcher, HangUpTerminateAndAnOutputNobodyReadsArriveOnTheLoop) {
    QtApp();
    DefaultSignals defaults;
    std::vector<int> seen;
    auto spin = [&](size_t count) {
        for (int i = 0; i < 25 && seen.size() < count; ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    };
    auto writeToBrokenPipe = [](int fd) {
        errno = 0;
        return write(fd, "x", 1) == -1 && errno == EPIPE;
    };
    {
        SignalWatcher watcher([&](int signo) { seen.push_back(signo); }, kRunSignals);
        std::raise(SIGHUP);
        std::raise(SIGTERM);
        spin(2);
        EXPECT_EQ(seen, (std::vector<int>{SIGHUP, SIGTERM}));

        // A connection of our own that breaks only fails its write.
        int conn[2];
        ASSERT_EQ(pipe(conn), 0);
        close(conn[0]);
        EXPECT_TRUE(writeToBrokenPipe(conn[1]));
        close(conn[1]);
        spin(3);
        EXPECT_EQ(seen.size(), 2u);

        // Standard output whose reader went away ends the run, and the process lives on.
        std::fflush(stdout);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        int savedStdout = dup(STDOUT_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(out[1]);
        close(out[0]);
        bool failed = writeToBrokenPipe(STDOUT_FILENO);
        spin(3);
        dup2(savedStdout, STDOUT_FILENO);
        close(savedStdout);
        EXPECT_TRUE(failed);
        std::raise(SIGPIPE); // left pending: the watcher drops it as it goes
    }
    EXPECT_EQ(seen, (std::vector<int>{SIGHUP, SIGTERM, SIGPIPE}));
    EXPECT_EQ(HeadlessSession::SignalExitStatus(SIGHUP), 129);
    EXPECT_EQ(HeadlessSession::SignalExitStatus(SIGTERM), 143);
    EXPECT_EQ(HeadlessSession::SignalExitStatus(SIGPIPE), 141);
    EXPECT_EQ(HeadlessSession::SignalExitStatus(SIGINT), HeadlessSession::kInterrupted);
}

TEST(SignalWatcher, ASignalIgnoredAtTheStartStaysIgnored) {
    QtApp();
    DefaultSignals defaults;
    std::signal(SIGHUP, SIG_IGN); // as under nohup
    std::vector<int> seen;
    {
        SignalWatcher watcher([&](int signo) { seen.push_back(signo); }, kRunSignals);
        std::raise(SIGHUP);
        std::raise(SIGTERM);
        for (int i = 0; i < 50 && seen.empty(); ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(seen, std::vector<int>{SIGTERM});
    struct sigaction now {};
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
}

namespace {
// A document whose entries are reported in one mode, with maxDown entries running at once.
struct ReportedDocument {
    ReportedDocument(ProgressReport::Mode mode, int maxDown)
        : report(out, err, mode), settled(temp, maxDown) {
        doc.SetUi(&ui);
        doc.RecountSlots();
    }
    struct Settled {
        Settled(const TempSettings& temp, int maxDown) {
            QtApp();
            Settings().SetInt(keys::MaxDown, maxDown);
            Settings().SetString(keys::DownPath, temp.Dir());
        }
    };
    TempSettings temp;
    std::ostringstream out, err;
    ProgressReport report;
    TerminalUi ui{report};
    Settled settled;
    FakeDocument doc;
};
} // namespace

TEST(ProgressTable, ShowsRunningEntriesAndRedrawsAtMostOnceASecond) {
    ReportedDocument r(ProgressReport::Mode::Table, 1);
    auto& [temp, out, err, report, ui, settled, doc] = r;
    ASSERT_TRUE(doc.AddUrl("http://h.x/big.iso", false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/next.iso", false));
    doc.Fake(0).Fake()->Progress(4 << 20, 1 << 20, 2048, 1536);
    report.Refresh(doc);
    std::string first = out.str();
    EXPECT_NE(first.find("File"), std::string::npos);
    EXPECT_NE(first.find("big.iso"), std::string::npos);
    EXPECT_NE(first.find("4.0 MiB"), std::string::npos);
    EXPECT_NE(first.find("1.0 MiB"), std::string::npos);
    EXPECT_NE(first.find("25%"), std::string::npos);
    EXPECT_NE(first.find("2.0 KiB/s"), std::string::npos);
    EXPECT_NE(first.find("0:25:36"), std::string::npos);
    EXPECT_EQ(first.find("next.iso"), std::string::npos); // waiting, not running

    doc.Fake(0).Finish();
    report.Refresh(doc); // within the second: nothing
    EXPECT_EQ(out.str(), first);
    report.Refresh(doc, true);
    std::string second = out.str().substr(first.size());
    // The old table (header, one row, totals) is wiped, the finished entry scrolls above the
    // new table, and the next entry runs in it.
    EXPECT_EQ(second.rfind("\x1b[3A\x1b[J", 0), 0u);
    EXPECT_NE(second.find("done http://h.x/big.iso"), std::string::npos);
    EXPECT_NE(second.find("next.iso"), std::string::npos);
}

TEST(ProgressTable, FitsTheTerminalsWidthFollowsResizesAndEndsWithTotals) {
    ReportedDocument r(ProgressReport::Mode::Table, 2);
    auto& [temp, out, err, report, ui, settled, doc] = r;
    const std::string longName = "a-very-long-file-name-" + std::string(60, 'x') + ".iso";
    ASSERT_TRUE(doc.AddUrl("http://h.x/" + longName, false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/small.bin", false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/gone.bin", false));
    doc.Fake(0).Fake()->Progress(4 << 20, 1 << 20, 2048, 1536);
    doc.Fake(1).Fake()->Progress(0, 3 << 20, 1024, -1);
    doc.Fake(1).Finish(); // gone.bin starts in its place

    auto lines = [&out](size_t from) {
        std::vector<std::string> all;
        std::istringstream in(out.str().substr(from));
        for (std::string line; std::getline(in, line);)
            all.push_back(line.substr(
                line.rfind("\x1b[J") == std::string::npos ? 0 : line.rfind("\x1b[J") + 3));
        return all;
    };
    for (int width : {120, 60, 20}) {
        size_t from = out.str().size();
        report.SetWidthSource([width] { return width; });
        report.Refresh(doc, true);
        std::vector<std::string> drawn = lines(from);
        ASSERT_GE(drawn.size(), 3u) << width;
        for (const std::string& line : drawn)
            EXPECT_LE(line.size(), size_t(width)) << width << ": " << line;
        // The name is cut with a mark where the row would not fit, never the numbers'
        // columns while there is room for them.
        auto found = std::find_if(drawn.begin(), drawn.end(), [](const std::string& line) {
            return line.rfind("a-very", 0) == 0;
        });
        ASSERT_NE(found, drawn.end()) << width;
        const std::string& row = *found;
        if (width == 120) {
            EXPECT_NE(row.find(longName.substr(0, 60)), std::string::npos) << row;
        }
        if (width == 60) {
            EXPECT_NE(row.find("~"), std::string::npos) << row;
            EXPECT_NE(row.find("1.0 MiB"), std::string::npos) << row;
        }
        if (width != 20) {
            EXPECT_EQ(drawn.back(), "1 done, 0 failed, 2 running, 4.0 MiB, 2.0 KiB/s") << width;
        }
    }
}

TEST(ProgressJson, OneObjectALineForStartsProgressEndsAndTheSummary) {
    ReportedDocument r(ProgressReport::Mode::Json, 2);
    auto& [temp, out, err, report, ui, settled, doc] = r;
    ASSERT_TRUE(doc.AddUrl("http://h.x/a\"quote.bin", false));
    ASSERT_TRUE(doc.AddUrl("http://h.x/b.bin", false));
    doc.Fake(0).Fake()->Progress(4096, 1024, 512, 6);
    report.Refresh(doc);
    report.Refresh(doc); // within the second: no second progress line
    doc.Fake(0).Finish();
    doc.Fake(1).Fail(404);
    EXPECT_EQ(report.Summary(doc, false), 1);

    std::vector<QJsonObject> events;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        QJsonParseError error{};
        QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        ASSERT_TRUE(parsed.isObject()) << line;
        events.push_back(parsed.object());
    }
    std::vector<std::string> kinds;
    for (const QJsonObject& event : events)
        kinds.push_back(event["event"].toString().toStdString());
    // Both running entries report their progress once.
    EXPECT_EQ(kinds, (std::vector<std::string>{"start", "start", "progress", "progress", "done",
                                               "failed", "summary"}));
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0]["url"].toString(), "http://h.x/a\"quote.bin");
    EXPECT_EQ(events[0]["file"].toString().toStdString(), temp.Dir() + "/a_quote.bin");
    EXPECT_EQ(events[2]["bytes"].toInteger(), 1024);
    EXPECT_EQ(events[2]["size"].toInteger(), 4096);
    EXPECT_EQ(events[2]["speed"].toInteger(), 512);
    EXPECT_EQ(events[3]["url"].toString(), "http://h.x/b.bin");
    EXPECT_EQ(events[5]["error"].toInt(), 404);
    EXPECT_EQ(events[5]["text"].toString(), "file not found");
    EXPECT_TRUE(events[5]["size"].isNull()); // never known
    EXPECT_EQ(events[6]["done"].toInt(), 1);
    EXPECT_EQ(events[6]["failed"].toInt(), 1);
    EXPECT_EQ(err.str(), "vireo: failed: http://h.x/b.bin: file not found\n");
}

TEST(ProgressTable, ByteCounts) {
    EXPECT_EQ(ProgressReport::Bytes(0), "0 B");
    EXPECT_EQ(ProgressReport::Bytes(1023), "1023 B");
    EXPECT_EQ(ProgressReport::Bytes(1536), "1.5 KiB");
    EXPECT_EQ(ProgressReport::Bytes(int64_t(5) << 30), "5.0 GiB");
}
