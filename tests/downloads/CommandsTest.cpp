#include "DocFixture.h"
#include "OwnFiles.h"

#include <QFile>

#include <sys/xattr.h>

using namespace vireo;
using namespace vireo::test;

namespace {
using Commands = DocFixture;
using States = std::vector<ItemState>;

bool Exists(const std::string& path) {
    return QFile::exists(QString::fromStdString(path));
}
void Touch(const std::string& path) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// Puts entry i (of five, maxdown 5) into each state.
void MakeEveryState(DocFixture& f) {
    f.SetMaxDown(0);
    f.AddFiles(5);
    f.SetMaxDown(1);
    f.doc.Schedule();        // 0 runs
    f.doc.Fake(0).Fail(404); // 0 failed, 1 runs
    f.doc.Fake(1).Finish();  // 1 done, 2 runs
    f.Select(3);
    f.doc.RunCommand(DocCommand::Stop); // 3 stopped, 2 still runs
    ASSERT_EQ(f.doc.States(), (States{F, D, R, S, W}));
}
} // namespace

TEST_F(Commands, EnablingFollowsTheSelectedRowsState) {
    MakeEveryState(*this);
    struct Case {
        DocCommand command;
        // Enabled with no selection, then with F, D, R, S, W selected.
        std::array<bool, 6> enabled;
    } cases[] = {
        {DocCommand::Stop, {0, 0, 0, 1, 0, 1}},
        {DocCommand::Start, {0, 1, 1, 0, 1, 0}},
        {DocCommand::OpenFile, {0, 1, 1, 0, 1, 0}},
        {DocCommand::ViewSource, {0, 1, 1, 0, 1, 0}},
        {DocCommand::DeleteFile, {0, 1, 1, 0, 1, 0}},
        {DocCommand::Delete, {0, 1, 1, 1, 1, 1}},
        {DocCommand::Copy, {0, 1, 1, 1, 1, 1}},
        {DocCommand::StopAll, {1, 1, 1, 1, 1, 1}},
        {DocCommand::InsertLink, {1, 1, 1, 1, 1, 1}},
        {DocCommand::TargetDirectory, {1, 1, 1, 1, 1, 1}},
        {DocCommand::Settings, {1, 1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        for (int sel = -1; sel < 5; ++sel) {
            Select(sel);
            EXPECT_EQ(doc.CommandEnabled(c.command), c.enabled[size_t(sel + 1)])
                << int(c.command) << " with line " << sel;
        }
    }
}

TEST_F(Commands, EnablingThatDependsOnSettingsWindowsAndTheClipboard) {
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::StopAll)); // empty list
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::StartAll));
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::NewList));
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::Paste));
    ui.clipboard = "http://h.x/a.zip";
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::Paste));

    AddFiles(1);
    Select(0);
    Settings().SetInt(keys::Log, 1);
    Settings().SetInt(keys::History, 1);
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::Log));
    EXPECT_TRUE(doc.CommandEnabled(DocCommand::History));
    doc.SetLogWindowFree(false);
    doc.SetHistoryWindowFree(false);
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::Log));
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::History));
    doc.SetLogWindowFree(true);
    doc.SetHistoryWindowFree(true);
    Settings().SetInt(keys::Log, 0);
    Settings().SetInt(keys::History, 0);
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::Log));
    EXPECT_FALSE(doc.CommandEnabled(DocCommand::History));
    // A disabled command does nothing when it is sent anyway.
    doc.RunCommand(DocCommand::History);
    EXPECT_TRUE(ui.windows.empty());
}

TEST_F(Commands, StartOnADoneRowAsksWhetherToContinue) {
    struct Case {
        DocumentUi::ContinueAnswer answer;
        ItemState state;
        bool resume;
        bool received;
    } cases[] = {
        {DocumentUi::ContinueAnswer::Cancel, D, false, true},
        {DocumentUi::ContinueAnswer::Continue, R, true, false},
        {DocumentUi::ContinueAnswer::Reload, R, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.answer));
        doc.RunCommand(DocCommand::NewList);
        AddFiles(1);
        // A file the finished entry wrote (the fake items write none themselves).
        ASSERT_TRUE(WriteOwnFile(doc.Item(0).TargetPath(), "", true));
        doc.Fake(0).Finish();
        ui.continueAnswer = c.answer;
        ui.activityInDialog.clear();
        Select(0);
        doc.RunCommand(DocCommand::Start);
        EXPECT_EQ(ui.activityInDialog, std::vector<int>{0});
        EXPECT_EQ(doc.State(0), c.state);
        if (c.state == R) {
            EXPECT_EQ(doc.Fake(0).lastResume, c.resume);
            EXPECT_EQ(doc.Item(0).HasFlag(IF_RECEIVED), c.received);
        }
        if (c.answer == DocumentUi::ContinueAnswer::Continue) {
            // The file no longer counts as complete, so the start resumes it.
            char stamp[32] = {};
            ssize_t n = getxattr(doc.Item(0).TargetPath().c_str(), "user.vireo.stamp", stamp,
                                 sizeof stamp - 1);
            if (n >= 0 || errno != ENOTSUP) {
                EXPECT_STREQ(stamp, "incomplete");
            }
        }
    }
}

TEST_F(Commands, StartAllRequeuesFailedAndStoppedButNotDone) {
    MakeEveryState(*this);
    SetMaxDown(0);
    doc.RunCommand(DocCommand::StartAll);
    EXPECT_EQ(doc.States(), (States{W, D, R, W, W}));
    EXPECT_EQ(Image(0), 3);
    EXPECT_EQ(Image(3), 3);
}

TEST_F(Commands, StartOnAStoppedOrFailedRowQueuesIt) {
    MakeEveryState(*this);
    SetMaxDown(2);
    for (int i : {3, 0}) {
        Select(i);
        doc.RunCommand(DocCommand::Start);
    }
    EXPECT_EQ(doc.States(), (States{W, D, R, R, W}));
    // The next free slot goes to the first waiting row in list order.
    doc.Fake(2).Finish();
    EXPECT_EQ(doc.States(), (States{R, D, D, R, W}));
    ExpectSlotsAgree();
}

TEST_F(Commands, DeleteAndNewRemoveEntriesAndTheirLines) {
    MakeEveryState(*this);
    Select(2); // the running one
    doc.RunCommand(DocCommand::Delete);
    EXPECT_EQ(doc.States(), (States{F, D, S, R}));
    EXPECT_EQ(view.lines.size(), 4u);
    EXPECT_EQ(doc.Item(3).Url(), Url(4));
    ExpectSlotsAgree();

    doc.RunCommand(DocCommand::NewList);
    EXPECT_EQ(doc.ItemCount(), 0);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(doc.RunningCount(), 0);
    // The list can be used again afterwards.
    AddFiles(1);
    EXPECT_EQ(doc.States(), (States{R}));
}

TEST_F(Commands, DeleteFileAsksAndRemovesEntryAndFile) {
    MakeEveryState(*this);
    std::string path = doc.Item(1).TargetPath();
    Touch(path);
    Select(1);
    ui.yes = false;
    doc.RunCommand(DocCommand::DeleteFile);
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Do you really want to delete\n" + path});
    EXPECT_EQ(doc.ItemCount(), 5);
    EXPECT_TRUE(Exists(path));
    ui.yes = true;
    doc.RunCommand(DocCommand::DeleteFile);
    EXPECT_EQ(doc.ItemCount(), 4);
    EXPECT_FALSE(Exists(path));
    // A file already gone is no error.
    Select(0);
    doc.RunCommand(DocCommand::DeleteFile);
    EXPECT_EQ(doc.ItemCount(), 3);
}

TEST_F(Commands, PasteTakesTheFirstLineAndReportsWhatItCannotParse) {
    ui.clipboard = "  h.x/dir/file.zip \r\nhttp://second.x/b.zip";
    doc.RunCommand(DocCommand::Paste);
    ASSERT_EQ(doc.ItemCount(), 1);
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/dir/file.zip");
    EXPECT_TRUE(ui.messages.empty());

    // Without a scheme a host needs a dot; with one, a single-label host will do.
    ui.clipboard = "nohost";
    doc.RunCommand(DocCommand::Paste);
    EXPECT_EQ(doc.ItemCount(), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].second, "Error parsing url - \nnohost");
    ui.clipboard = "http://nas:8080/f.zip";
    doc.RunCommand(DocCommand::Paste);
    ASSERT_EQ(doc.ItemCount(), 2);
    EXPECT_EQ(doc.Item(1).Url(), "http://nas:8080/f.zip");
}

TEST_F(Commands, CopyPutsTheSelectedAddressOnTheClipboard) {
    AddFiles(2);
    Select(1);
    doc.RunCommand(DocCommand::Copy);
    EXPECT_EQ(ui.clipboard, Url(1));
}

TEST_F(Commands, InsertLinkAddsTheAddressAndMarksPagesForHarvesting) {
    ui.insertLink = DocumentUi::InsertLinkAnswer{" h.x/page.htm ", false};
    doc.RunCommand(DocCommand::InsertLink);
    ASSERT_EQ(doc.ItemCount(), 1);
    EXPECT_EQ(doc.Item(0).Url(), "http://h.x/page.htm");
    EXPECT_EQ(doc.Row(0).linkToPage, 0);
    EXPECT_EQ(ui.activityInDialog, std::vector<int>{0});

    ui.insertLink = DocumentUi::InsertLinkAnswer{"http://h.x/links.htm", true};
    doc.RunCommand(DocCommand::InsertLink);
    EXPECT_EQ(doc.Row(1).linkToPage, 1);
    EXPECT_TRUE(doc.harvested.empty()); // harvested when it finishes

    // A page complete on disk is done inside the add and harvested at once.
    doc.script.results["http://h.x/done.htm"] = StartResult::Complete;
    SetMaxDown(5);
    ASSERT_TRUE(WriteOwnFile(downDir + "/done.htm", "<html>", true));
    ui.insertLink = DocumentUi::InsertLinkAnswer{"http://h.x/done.htm", true};
    doc.RunCommand(DocCommand::InsertLink);
    ASSERT_EQ(doc.harvested.size(), 1u);
    EXPECT_EQ(doc.harvested[0],
              (std::pair<std::string, std::string>{"http://h.x/done.htm", "<html>"}));

    ui.insertLink = DocumentUi::InsertLinkAnswer{"", false};
    doc.RunCommand(DocCommand::InsertLink);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].second, "Error parsing url - \nhttp://");
}

TEST_F(Commands, ShellWindowAndSettingsCommands) {
    MakeEveryState(*this);
    Settings().SetInt(keys::Log, 1);
    Settings().SetInt(keys::History, 1);
    Select(1);
    std::string path = doc.Item(1).TargetPath();
    doc.RunCommand(DocCommand::OpenFile);
    doc.RunCommand(DocCommand::ViewSource);
    doc.RunCommand(DocCommand::TargetDirectory);
    doc.RunCommand(DocCommand::Help);
    EXPECT_EQ(ui.shell, (std::vector<std::string>{path + "|" + downDir + "/", "editor:" + path,
                                                  downDir + "/|", "help"}));
    doc.RunCommand(DocCommand::Log);
    doc.RunCommand(DocCommand::History);
    EXPECT_EQ(ui.windows, (std::vector<std::string>{"close logs", "log " + Url(1), "history"}));

    // Raising "maxdown" in the settings starts waiting entries at once.
    ui.duringSettings = [] { Settings().SetInt(keys::MaxDown, 2); };
    doc.RunCommand(DocCommand::Settings);
    EXPECT_EQ(doc.States(), (States{F, D, R, S, R}));
    EXPECT_EQ(ui.activityInDialog, std::vector<int>{0});
}

// The window asks the document which ids are its own; anything else is never enabled or
// run by it.
TEST_F(Commands, TheDocumentKnowsItsOwnIdsOnly) {
    AddFiles(1);
    Select(0);
    for (DocCommand c : {DocCommand::Stop, DocCommand::Copy, DocCommand::OpenFile,
                         DocCommand::DeleteFile, DocCommand::Help})
        EXPECT_TRUE(CVireoDoc::HasCommand(int(c))) << int(c);
    for (int id : {0, 57665, 57664, 59392, 32885}) {
        EXPECT_FALSE(CVireoDoc::HasCommand(id)) << id;
        EXPECT_FALSE(doc.CommandEnabled(DocCommand(id))) << id;
        doc.RunCommand(DocCommand(id));
    }
    EXPECT_EQ(doc.ItemCount(), 1);
    EXPECT_TRUE(ui.shell.empty() && ui.windows.empty() && ui.messages.empty());
}
