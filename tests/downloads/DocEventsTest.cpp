#include "DocFixture.h"

#include <QFile>

using namespace vireo;
using namespace vireo::test;

namespace {
using DocEvents = DocFixture;
using States = std::vector<ItemState>;

void WriteFile(const std::string& path, const std::string& text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
}
} // namespace

TEST_F(DocEvents, FailureShowsTheErrorAndItsImage) {
    struct Case {
        int code;
        const char* status;
        int image;
    } cases[] = {
        {404, "file not found", 4},
        {401, "unauthorized", 28},
        {ErrAttempts, "(0)", 1},
        {10061, "err: 10061", 4},
    };
    SetMaxDown(1);
    for (const Case& c : cases) {
        ASSERT_TRUE(doc.AddUrl(Url(c.code), false));
        int i = doc.ItemCount() - 1;
        ASSERT_EQ(doc.State(i), R);
        doc.Fake(i).Fail(c.code);
        EXPECT_EQ(doc.State(i), F) << c.code;
        EXPECT_EQ(Text(i, ColStatus), c.status);
        EXPECT_EQ(Image(i), c.image) << c.code;
        EXPECT_EQ(doc.Fake(i).Job(), nullptr); // the transfer was stopped
    }
}

TEST_F(DocEvents, FinishMarksDoneAndStartsTheNext) {
    SetMaxDown(1);
    AddFiles(2);
    doc.Fake(0).Finish();
    EXPECT_EQ(doc.States(), (States{D, R}));
    EXPECT_EQ(Text(0, ColStatus), "received");
    EXPECT_EQ(Image(0), 2);
    EXPECT_GE(doc.Fake(0).stops, 1);
}

TEST_F(DocEvents, AMarkedPageIsHarvestedOnceAfterItsRowIsDone) {
    AddFiles(2);
    doc.SetLinkToPage(0, true);
    WriteFile(doc.Item(0).TargetPath(), "<a href=x.zip>");
    WriteFile(doc.Item(1).TargetPath(), "<a href=y.zip>");
    doc.Fake(0).Finish();
    doc.Fake(1).Finish(); // not marked
    ASSERT_EQ(doc.harvested.size(), 1u);
    EXPECT_EQ(doc.harvested[0].first, Url(0));
    EXPECT_EQ(doc.harvested[0].second, "<a href=x.zip>");
    EXPECT_EQ(doc.State(0), D);
}

TEST_F(DocEvents, AMarkedPageThatCannotBeReadIsNotHarvested) {
    AddFiles(1);
    doc.SetLinkToPage(0, true);
    doc.Fake(0).Finish(); // no file was written
    EXPECT_TRUE(doc.harvested.empty());
    EXPECT_EQ(doc.State(0), D);
}

TEST_F(DocEvents, DisplayChangeRefreshesTheRow) {
    AddFiles(1);
    doc.Fake(0).Fake()->Progress(1000, 250, 50, 15);
    doc.Fake(0).Notify(NotifyAttempt);
    EXPECT_EQ(Text(0, ColStatus), "250");
    EXPECT_EQ(Text(0, ColSpeed), "50");
    EXPECT_EQ(Text(0, ColLeft), "0:00:15");
}

TEST_F(DocEvents, MetafileAddressesJoinTheListTrimmedAndInOrder) {
    SetMaxDown(1);
    AddFiles(1);
    doc.Fake(0).Notify(NotifyMoreUrls, 0,
                       {" pnm://media.x/a.ra\r\n", "not an address", "\tpnm://media.x/b.rm "});
    ASSERT_EQ(doc.ItemCount(), 3);
    EXPECT_EQ(doc.Item(1).Url(), "pnm://media.x/a.ra");
    EXPECT_EQ(doc.Item(2).Url(), "pnm://media.x/b.rm");
    EXPECT_EQ(doc.States(), (States{R, W, W}));
}

TEST_F(DocEvents, InformationalAndUnknownNotificationsChangeNothing) {
    AddFiles(1);
    doc.Fake(0).Fake()->Progress(1000, 250, 50, 15);
    auto before = view.lines;
    for (int code : {int(NotifyWritten), int(NotifyStarted), int(NotifyAddressKnown), 5, 42})
        doc.Fake(0).Notify(code);
    EXPECT_EQ(doc.States(), (States{R}));
    EXPECT_EQ(view.lines[0].text, before[0].text);
    EXPECT_TRUE(ui.credentialUrls.empty());
}

TEST_F(DocEvents, CredentialsAreAskedFromTheEventLoopNotInsideTheNotification) {
    AddFiles(2);
    doc.Fake(0).Notify(NotifyCredentials);
    doc.Fake(0).Notify(NotifyCredentials); // a second request while one is on its way
    EXPECT_TRUE(ui.credentialUrls.empty());
    RunQueuedCalls();
    EXPECT_EQ(ui.credentialUrls, std::vector<std::string>{Url(0)});
    EXPECT_EQ(ui.activityInDialog, std::vector<int>{0}); // raised from -1 while open
    EXPECT_EQ(doc.ActivityCounter(), -1);
}

TEST_F(DocEvents, EnteredCredentialsRestartTheEntry) {
    SetMaxDown(1);
    AddFiles(2);
    ui.credentialsAnswer = DocumentUi::CredentialsAnswer::Entered;
    ui.credentials = {"user", ""};
    doc.Fake(0).Notify(NotifyCredentials);
    RunQueuedCalls();
    EXPECT_EQ(doc.Item(0).Credentials(), "user:");
    // Its slot was given back and taken again by the same entry, first in the list.
    EXPECT_EQ(doc.States(), (States{R, W}));
    EXPECT_EQ(doc.script.started, (std::vector<std::string>{Url(0), Url(0)}));
    ExpectSlotsAgree();
}

TEST_F(DocEvents, CancelledCredentialsLeaveTheTransferRunning) {
    AddFiles(1);
    doc.Fake(0).Notify(NotifyCredentials);
    RunQueuedCalls();
    EXPECT_EQ(ui.credentialUrls.size(), 1u);
    EXPECT_EQ(doc.States(), (States{R}));
    EXPECT_NE(doc.Fake(0).Job(), nullptr);
}

TEST_F(DocEvents, RefusedCredentialsFailTheEntryAsUnauthorized) {
    SetMaxDown(1);
    AddFiles(2);
    ui.credentialsAnswer = DocumentUi::CredentialsAnswer::Refused;
    doc.Fake(0).Notify(NotifyCredentials);
    RunQueuedCalls();
    EXPECT_EQ(doc.States(), (States{F, R}));
    EXPECT_EQ(Text(0, ColStatus), "unauthorized");
    EXPECT_EQ(Image(0), 28);
}

TEST_F(DocEvents, ARequestForADeletedItemIsDropped) {
    AddFiles(2);
    doc.Fake(1).Notify(NotifyCredentials);
    Select(1);
    doc.RunCommand(DocCommand::Delete);
    // An item made now may reuse the deleted one's memory.
    ASSERT_TRUE(doc.AddUrl("http://h.x/new.bin", false));
    RunQueuedCalls();
    EXPECT_TRUE(ui.credentialUrls.empty());
}

TEST_F(DocEvents, AFinishedPageQueuesTheLinksThatPassTheFilter) {
    const std::string page = "<a href=\"a.zip\"><a href=\"sub/\"><a href=\"b.htm\">"
                             "<a href=\"notes\"><a href=\"ftp://o.y/c.ZIP\"><a href=\"x:\">";
    struct Case {
        int filter;
        const char* list; // "passonly" for mode 3, else "except"
        std::vector<std::string> queued;
    } cases[] = {
        {3, "*.zip", {"http://h.x/d/a.zip", "ftp://o.y/c.ZIP"}},
        // Addresses without an extension are named "index%d.htm", so they count as htm.
        {1,
         "*.zip;*.txt",
         {"http://h.x/d/sub/", "http://h.x/d/b.htm", "http://h.x/d/notes", "http://h.x/d/x:"}},
        {1, "*.htm", {"http://h.x/d/a.zip", "ftp://o.y/c.ZIP"}},
        {0,
         "*.zip",
         {"http://h.x/d/a.zip", "http://h.x/d/sub/", "http://h.x/d/b.htm", "http://h.x/d/notes",
          "ftp://o.y/c.ZIP", "http://h.x/d/x:"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        FakeDocument d(&view);
        d.SetUi(&ui);
        d.harvestLinks = true;
        d.RecountSlots();
        Settings().SetInt(keys::Filter, c.filter);
        Settings().SetString(c.filter == 3 ? keys::PassOnly : keys::Except, c.list);
        ASSERT_TRUE(d.AddUrl("http://h.x/d/page.htm", false));
        d.SetLinkToPage(0, true);
        WriteFile(d.Item(0).TargetPath(), page);
        d.Fake(0).Finish();
        std::vector<std::string> urls;
        for (int i = 1; i < d.ItemCount(); ++i)
            urls.push_back(d.Item(i).Url());
        EXPECT_EQ(urls, c.queued);
        EXPECT_TRUE(ui.messages.empty()); // skipped links are not reported
        // Queued links wait their turn like any other entry.
        EXPECT_EQ(d.States()[1], R);
        EXPECT_EQ(d.States().back(), c.queued.size() > 2 ? W : R);
    }
}
