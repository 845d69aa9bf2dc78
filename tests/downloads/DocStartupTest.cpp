#include "DocFixture.h"

#include <QElapsedTimer>

using namespace vireo;
using namespace vireo::test;

TEST(DocStartup, FirstStartStoresDefaultsTakesSlotsAndRunsTheTimer) {
    TempSettings temp;
    QtApp();
    ScriptedUi ui;
    FakeDocument doc;
    doc.SetUi(&ui);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(Settings().GetString(keys::Cwd), temp.Path("/home"));
    EXPECT_EQ(Settings().GetInt(keys::Version), 1);
    EXPECT_EQ(doc.FreeSlots(), 5); // the first run's "maxdown"
    EXPECT_TRUE(ui.messages.empty());

    QElapsedTimer clock;
    clock.start();
    while (doc.TickCounter() == 0 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_NE(doc.TickCounter(), 0);
}

TEST(DocStartup, AMissingDownloadDirectoryIsReportedAndReplaced) {
    TempSettings temp;
    Settings().SetInt(keys::Version, 1);
    Settings().SetString(keys::DownPath, temp.Path("/gone"));
    ScriptedUi ui;
    FakeDocument doc;
    doc.SetUi(&ui);
    doc.OnNewDocument();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].first, "download directory no found");
    EXPECT_EQ(ui.messages[0].second, "download directory " + temp.Path("/gone") +
                                         "\nnot found, setting current as download directory");
    EXPECT_NE(Settings().GetString(keys::DownPath), temp.Path("/gone"));
}
